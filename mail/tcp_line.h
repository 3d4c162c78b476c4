// mail/tcp_line.h — the TCP connection under both transports, on standalone Asio. Every operation is started
// asynchronously and the context is run in short slices, so a limit can end it and the caller's window is
// served between slices. The TLS layer of each platform runs on top of it.
#pragma once

#include <asio.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "mail/mail_error.h"
#include "mail/transport.h"

namespace ferrolo::mail {

class TcpLine {
public:
    // `while_waiting` (it may be empty) is called between the slices of every wait.
    explicit TcpLine(const std::function<void()>& while_waiting) : while_waiting_(while_waiting) {}

    // Resolves `host` and connects to `port`, both within `limit`.
    void connect(const std::string& host, uint16_t port, std::chrono::milliseconds limit);
    // Writes all of `bytes` to `stream`: the socket itself, or a TLS stream on it. `what` names the
    // operation in a failure.
    template <typename Stream>
    void write(Stream& stream, std::string_view bytes, std::chrono::milliseconds limit,
               std::string_view what = "sending") {
        std::optional<std::error_code> outcome;
        asio::async_write(stream, asio::const_buffer(bytes.data(), bytes.size()),
                          [&](const std::error_code& error, size_t) { outcome = error; });
        await(outcome, limit, what);
    }
    // The bytes from `stream` that arrived together (at least one).
    template <typename Stream>
    std::string read_some(Stream& stream, std::chrono::milliseconds limit,
                          std::string_view what = "receiving") {
        std::string block(kReadBlock, '\0');
        std::optional<std::error_code> outcome;
        size_t received = 0;
        stream.async_read_some(asio::mutable_buffer(block.data(), block.size()),
                               [&](const std::error_code& error, size_t bytes) {
                                   outcome = error;
                                   received = bytes;
                               });
        await(outcome, limit, what);
        block.resize(received);
        return block;
    }
    // Runs the context until `outcome` is set by the operation the caller started on `socket()`; a failure
    // or the end of `limit` closes the connection and throws MailError with `what` naming the operation.
    void await(const std::optional<std::error_code>& outcome, std::chrono::milliseconds limit,
               std::string_view what);
    // Closes the socket and lets the handlers of its cancelled operations run.
    void close() noexcept;

    bool is_open() const { return socket_.is_open(); }
    asio::ip::tcp::socket& socket() { return socket_; }
    // The name the network layer gives this computer; empty when it has none.
    static std::string local_host_name();

private:
    static constexpr size_t kReadBlock = 16384;

    const std::function<void()>& while_waiting_;
    asio::io_context io_;
    asio::ip::tcp::socket socket_{io_};
    std::optional<asio::ip::tcp::resolver> resolver_;
};

// A transport on a TCP line: what both platforms share. The TLS layer on the line is each platform's own.
class LineTransport : public Transport {
public:
    void connect(const std::string& host, uint16_t port, std::chrono::milliseconds limit) final {
        close();
        line_.connect(host, port, limit);
    }
    bool is_open() const final { return line_.is_open(); }
    std::string local_host_name() const final { return TcpLine::local_host_name(); }

protected:
    void require_open() const {
        if (!is_open()) {
            throw MailError("not connected");
        }
    }

    TcpLine line_{while_waiting};
};

}  // namespace ferrolo::mail
