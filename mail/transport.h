// mail/transport.h — the byte stream under the SMTP client: TCP with an optional TLS layer, every wait
// bounded. One implementation per platform, so the client never sees sockets or a TLS library.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace ferrolo::mail {

enum class CertificateCheck {
    Verify,  // the chain must lead to a trusted root and the certificate must name the host
    Skip,    // any certificate is accepted (a private server with its own certificate)
};

// Every call throws MailError when it fails or its limit passes; the connection is then closed.
class Transport {
public:
    virtual ~Transport() = default;

    // Opens a TCP connection to `host`:`port`.
    virtual void connect(const std::string& host, uint16_t port, std::chrono::milliseconds limit) = 0;
    // Runs a TLS handshake (TLS 1.2 or newer) on the open connection; everything after it is encrypted.
    virtual void start_tls(const std::string& host, CertificateCheck check,
                           std::chrono::milliseconds limit) = 0;
    // Writes all of `bytes`.
    virtual void write(std::string_view bytes, std::chrono::milliseconds limit) = 0;
    // Waits for bytes from the server and returns those that arrived together (at least one).
    virtual std::string read_some(std::chrono::milliseconds limit) = 0;
    // Closes the connection, if open, without a word to the server.
    virtual void close() noexcept = 0;

    virtual bool is_open() const = 0;
    virtual bool is_secure() const = 0;
    // The name the network layer gives this computer.
    virtual std::string local_host_name() const = 0;

    // Called repeatedly while a call waits, so the caller's window stays alive.
    std::function<void()> while_waiting;
};

// The limit for a call that must end by `deadline`: the time left, or zero once it has passed.
inline std::chrono::milliseconds left_until(std::chrono::steady_clock::time_point deadline) {
    return std::max(std::chrono::milliseconds{0}, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                      deadline - std::chrono::steady_clock::now()));
}

// The platform's transport: TCP through Asio, TLS through OpenSSL on Linux and Schannel on Windows.
std::unique_ptr<Transport> make_transport();

}  // namespace ferrolo::mail
