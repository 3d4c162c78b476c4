// mail/openssl_transport.cpp — the transport on Asio's TCP line and OpenSSL.
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <asio/ssl.hpp>
#include <optional>

#include "mail/mail_error.h"
#include "mail/tcp_line.h"
#include "mail/transport.h"

namespace ferrolo::mail {

namespace {

using Milliseconds = std::chrono::milliseconds;
using Stream = asio::ssl::stream<asio::ip::tcp::socket&>;

class OpenSslTransport final : public LineTransport {
public:
    void start_tls(const std::string& host, CertificateCheck check, Milliseconds limit) override;
    void write(std::string_view bytes, Milliseconds limit) override;
    std::string read_some(Milliseconds limit) override;
    void close() noexcept override;

    bool is_secure() const override { return is_open() && stream_.has_value(); }

private:
    // Makes the TLS session for `host`, checking its certificate as `check` says.
    void set_up_session(const std::string& host, CertificateCheck check);

    std::optional<asio::ssl::context> tls_context_;
    std::optional<Stream> stream_;  // after the handshake, everything passes through it
};

void OpenSslTransport::set_up_session(const std::string& host, CertificateCheck check) {
    try {
        tls_context_.emplace(asio::ssl::context::tls_client);
    } catch (const asio::system_error& error) {
        throw MailError("TLS set-up: " + std::string(error.what()));
    }
    SSL_CTX_set_min_proto_version(tls_context_->native_handle(), TLS1_2_VERSION);
    Stream& stream = stream_.emplace(line_.socket(), *tls_context_);
    SSL* session = stream.native_handle();
    std::error_code not_an_address;
    asio::ip::make_address(host, not_an_address);
    const bool host_is_address = !not_an_address;
    if (!host_is_address) {
        SSL_set_tlsext_host_name(session, host.c_str());
    }
    if (check == CertificateCheck::Skip) {
        stream.set_verify_mode(asio::ssl::verify_none);
        return;
    }
    SSL_CTX_set_default_verify_paths(tls_context_->native_handle());
    stream.set_verify_mode(asio::ssl::verify_peer);
    X509_VERIFY_PARAM* parameters = SSL_get0_param(session);
    if (host_is_address) {
        X509_VERIFY_PARAM_set1_ip_asc(parameters, host.c_str());
    } else {
        X509_VERIFY_PARAM_set_hostflags(parameters, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        X509_VERIFY_PARAM_set1_host(parameters, host.c_str(), 0);
    }
}

void OpenSslTransport::start_tls(const std::string& host, CertificateCheck check, Milliseconds limit) {
    require_open();
    set_up_session(host, check);
    std::optional<std::error_code> outcome;
    stream_->async_handshake(Stream::client, [&](const std::error_code& error) { outcome = error; });
    try {
        line_.await(outcome, limit, "TLS handshake with " + host);
    } catch (const MailError&) {
        close();
        throw;
    }
}

void OpenSslTransport::write(std::string_view bytes, Milliseconds limit) {
    require_open();
    if (stream_) {
        line_.write(*stream_, bytes, limit);
    } else {
        line_.write(line_.socket(), bytes, limit);
    }
}

std::string OpenSslTransport::read_some(Milliseconds limit) {
    require_open();
    return stream_ ? line_.read_some(*stream_, limit) : line_.read_some(line_.socket(), limit);
}

void OpenSslTransport::close() noexcept {
    line_.close();
    stream_.reset();
    tls_context_.reset();
}

}  // namespace

std::unique_ptr<Transport> make_transport() {
    return std::make_unique<OpenSslTransport>();
}

}  // namespace ferrolo::mail
