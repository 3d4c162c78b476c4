// mail/asio_transport.cpp — the transport on standalone Asio and OpenSSL. Every operation is started
// asynchronously and the context is run in short slices, so a limit can end it and the caller's window is
// served between slices.
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <asio.hpp>
#include <asio/ssl.hpp>
#include <optional>

#include "mail/mail_error.h"
#include "mail/transport.h"

namespace ferrolo::mail {

namespace {

using Milliseconds = std::chrono::milliseconds;
using Stream = asio::ssl::stream<asio::ip::tcp::socket>;

constexpr Milliseconds kSlice{100};
constexpr size_t kReadBlock = 16384;

class AsioTransport final : public Transport {
public:
    void connect(const std::string& host, uint16_t port, Milliseconds limit) override;
    void start_tls(const std::string& host, CertificateCheck check, Milliseconds limit) override;
    void write(std::string_view bytes, Milliseconds limit) override;
    std::string read_some(Milliseconds limit) override;
    void close() noexcept override;

    bool is_open() const override { return stream_ && stream_->lowest_layer().is_open(); }
    bool is_secure() const override { return secure_; }
    std::string local_host_name() const override;

private:
    void require_open() const {
        if (!is_open()) {
            throw MailError("not connected");
        }
    }
    // Runs the context until `outcome` is set; a failure or the end of `limit` closes the connection and
    // throws with `what` naming the operation.
    void await(const std::optional<std::error_code>& outcome, Milliseconds limit, std::string_view what);

    asio::io_context io_;
    std::optional<asio::ssl::context> tls_context_;
    std::optional<Stream> stream_;
    std::optional<asio::ip::tcp::resolver> resolver_;
    bool secure_ = false;
};

void AsioTransport::connect(const std::string& host, uint16_t port, Milliseconds limit) {
    close();
    try {
        tls_context_.emplace(asio::ssl::context::tls_client);
    } catch (const asio::system_error& error) {
        throw MailError("TLS set-up: " + std::string(error.what()));
    }
    SSL_CTX_set_min_proto_version(tls_context_->native_handle(), TLS1_2_VERSION);
    stream_.emplace(io_, *tls_context_);

    const auto deadline = std::chrono::steady_clock::now() + limit;
    resolver_.emplace(io_);
    std::optional<std::error_code> outcome;
    asio::ip::tcp::resolver::results_type endpoints;
    resolver_->async_resolve(host, std::to_string(port),
                             [&](const std::error_code& error, asio::ip::tcp::resolver::results_type found) {
                                 outcome = error;
                                 endpoints = std::move(found);
                             });
    await(outcome, limit, "resolving " + host);
    resolver_.reset();
    outcome.reset();
    asio::async_connect(
        stream_->lowest_layer(), endpoints,
        [&](const std::error_code& error, const asio::ip::tcp::endpoint&) { outcome = error; });
    const auto left = std::chrono::duration_cast<Milliseconds>(deadline - std::chrono::steady_clock::now());
    await(outcome, std::max(left, Milliseconds{0}), "connecting to " + host);
}

void AsioTransport::start_tls(const std::string& host, CertificateCheck check, Milliseconds limit) {
    SSL* session = stream_->native_handle();
    require_open();
    std::error_code not_an_address;
    asio::ip::make_address(host, not_an_address);
    const bool host_is_address = !not_an_address;
    if (!host_is_address) {
        SSL_set_tlsext_host_name(session, host.c_str());
    }
    if (check == CertificateCheck::Verify) {
        SSL_CTX_set_default_verify_paths(tls_context_->native_handle());
        stream_->set_verify_mode(asio::ssl::verify_peer);
        X509_VERIFY_PARAM* parameters = SSL_get0_param(session);
        if (host_is_address) {
            X509_VERIFY_PARAM_set1_ip_asc(parameters, host.c_str());
        } else {
            X509_VERIFY_PARAM_set_hostflags(parameters, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            X509_VERIFY_PARAM_set1_host(parameters, host.c_str(), 0);
        }
    } else {
        stream_->set_verify_mode(asio::ssl::verify_none);
    }
    std::optional<std::error_code> outcome;
    stream_->async_handshake(Stream::client, [&](const std::error_code& error) { outcome = error; });
    await(outcome, limit, "TLS handshake with " + host);
    secure_ = true;
}

void AsioTransport::write(std::string_view bytes, Milliseconds limit) {
    require_open();
    std::optional<std::error_code> outcome;
    const auto done = [&](const std::error_code& error, size_t) { outcome = error; };
    const asio::const_buffer buffer(bytes.data(), bytes.size());
    if (secure_) {
        asio::async_write(*stream_, buffer, done);
    } else {
        asio::async_write(stream_->next_layer(), buffer, done);
    }
    await(outcome, limit, "sending");
}

std::string AsioTransport::read_some(Milliseconds limit) {
    require_open();
    std::string block(kReadBlock, '\0');
    std::optional<std::error_code> outcome;
    size_t received = 0;
    const auto done = [&](const std::error_code& error, size_t bytes) {
        outcome = error;
        received = bytes;
    };
    const asio::mutable_buffer buffer(block.data(), block.size());
    if (secure_) {
        stream_->async_read_some(buffer, done);
    } else {
        stream_->next_layer().async_read_some(buffer, done);
    }
    await(outcome, limit, "receiving");
    block.resize(received);
    return block;
}

void AsioTransport::await(const std::optional<std::error_code>& outcome, Milliseconds limit,
                          std::string_view what) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    io_.restart();
    while (!outcome) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            // Closing cancels the operation; its handler must run before its captures go.
            close();
            throw MailError(std::string(what) + ": no answer within " + std::to_string(limit.count() / 1000) +
                            " s");
        }
        io_.run_for(std::min<std::chrono::steady_clock::duration>(kSlice, deadline - now));
        if (!outcome && while_waiting) {
            while_waiting();
        }
    }
    if (*outcome) {
        const std::string reason =
            *outcome == asio::error::eof ? "connection closed by the server" : outcome->message();
        close();
        throw MailError(std::string(what) + ": " + reason);
    }
}

void AsioTransport::close() noexcept {
    if (resolver_) {
        resolver_->cancel();
    }
    if (stream_) {
        std::error_code ignored;
        stream_->lowest_layer().close(ignored);
    }
    io_.restart();
    io_.run();
    resolver_.reset();
    stream_.reset();
    secure_ = false;
}

std::string AsioTransport::local_host_name() const {
    std::error_code error;
    std::string name = asio::ip::host_name(error);
    return error ? std::string() : name;
}

}  // namespace

std::unique_ptr<Transport> make_transport() {
    return std::make_unique<AsioTransport>();
}

}  // namespace ferrolo::mail
