// tests/mail/smtp_servers.h — the servers the mail tests talk to: aiosmtpd on 127.0.0.1, a test CA for
// its certificate, and a scripted fake for exchanges no real server can be made to show.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ferrolo::testing {

// A CA and a certificate for 127.0.0.1 and localhost (or for `names` in openssl's subjectAltName form),
// made with the openssl tool in `folder`.
struct TestCertificates {
    std::string ca;           // the CA certificate (PEM), for SSL_CERT_FILE
    std::string certificate;  // the server's certificate
    std::string key;          // the server's key
};
TestCertificates make_test_certificates(const std::string& folder,
                                        const std::string& names = "DNS:localhost,IP:127.0.0.1");

// Points OpenSSL's default trust store at `ca_file` for the life of the object.
class TrustedCa {
public:
    explicit TrustedCa(const std::string& ca_file);
    ~TrustedCa();
    TrustedCa(const TrustedCa&) = delete;
    TrustedCa& operator=(const TrustedCa&) = delete;

private:
    std::optional<std::string> previous_;
};

// aiosmtpd, started by the constructor and stopped by the destructor; messages land in `folder`.
class SmtpSink {
public:
    struct Options {
        std::string tls = "none";  // "none", "starttls" or "implicit"
        std::string user;          // AUTH is required when not empty
        std::string password;
        bool without_login = false;  // AUTH PLAIN is the only mechanism offered
        std::optional<TestCertificates> certificates;
    };
    SmtpSink(const std::string& folder, const Options& options);
    ~SmtpSink();
    SmtpSink(const SmtpSink&) = delete;
    SmtpSink& operator=(const SmtpSink&) = delete;

    uint16_t port() const { return port_; }
    // The n-th message received (from 1), raw; empty when there is none.
    std::string message(int number) const;
    // MAIL FROM and the RCPT TO addresses of the n-th message.
    std::vector<std::string> envelope(int number) const;
    // One line per AUTH attempt: "<mechanism> <login> ok|refused".
    std::string auth_log() const;

private:
    std::string folder_;
    uint16_t port_ = 0;
    int pid_ = 0;
    FILE* output_ = nullptr;
};

// The n-th message as Python's email package reads it: "name: value" lines (from, to, cc, subject, date,
// multipart, text, attachment; bytes in base64), keyed by name; repeated names are joined by "\n".
std::map<std::string, std::string> parsed_message(const std::string& raw_message, const std::string& folder);

// A server that answers by rules and records what it was sent. It serves one connection and ends when
// the client closes it.
class FakeSmtpServer {
public:
    struct Script {
        std::string greeting = "220 fake ESMTP\r\n";
        std::string ehlo = "250-fake.test\r\n250 HELP\r\n";
        // Replies by the beginning of the command line, before the default ones; "<close>" closes the
        // connection, "<silence>" answers nothing.
        std::vector<std::pair<std::string, std::string>> replies;
        // Closes the connection after this many bytes of message data.
        std::optional<size_t> close_in_data;
    };
    explicit FakeSmtpServer(Script script);
    ~FakeSmtpServer();
    FakeSmtpServer(const FakeSmtpServer&) = delete;
    FakeSmtpServer& operator=(const FakeSmtpServer&) = delete;

    uint16_t port() const { return port_; }
    // Waits for the connection to end, then gives every command line received (message data aside).
    std::vector<std::string> commands();
    // The message data received (up to the "."), as sent.
    std::string data();

private:
    void serve(int connection);
    std::string answer(const std::string& line);

    Script script_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
    std::vector<std::string> commands_;
    std::string data_;
    int auth_steps_ = 0;
};

}  // namespace ferrolo::testing
