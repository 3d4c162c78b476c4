// mail/smtp_client.h — the SMTP client: one connection, authentication, the envelope and the message.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mail/mail_message.h"
#include "mail/transport.h"

namespace ferrolo::mail {

// Sees every block that passes the connection, as it passed, and its openings and closings.
class ConnectionLog {
public:
    virtual void received(std::string_view block) = 0;
    // A block that carried credentials arrives with them replaced by "****".
    virtual void sent(std::string_view block) = 0;
    virtual void status(std::string_view text) = 0;

protected:
    ~ConnectionLog() = default;
};

enum class TlsMode {
    None,      // plain TCP throughout
    Implicit,  // TLS from the first byte
    Explicit,  // STARTTLS after EHLO; a server that does not offer it gets neither credentials nor message
};

// How long the client waits; a silent server fails the operation when its limit passes.
struct TimeLimits {
    std::chrono::milliseconds connect{30000};
    std::chrono::milliseconds reply{120000};
    std::chrono::milliseconds data_end{600000};  // the reply to the "." that ends the message
};

struct Reply {
    int code = 0;
    std::vector<std::string> lines;  // the text after each line's code
};

// Every failure throws MailError; the caller decides what it means for its run.
class TSmtpClient {
public:
    explicit TSmtpClient(std::unique_ptr<Transport> transport = make_transport());

    std::string Host;
    int Port = 25;
    std::string Username;
    std::string Password;
    TlsMode UseTLS = TlsMode::None;
    CertificateCheck Certificates = CertificateCheck::Verify;
    TimeLimits Limits;
    ConnectionLog* Intercept = nullptr;

    // Called again and again while the client waits for the network.
    void set_while_waiting(std::function<void()> callback) {
        transport_->while_waiting = std::move(callback);
    }

    // Opens the connection, reads the greeting and introduces itself (EHLO, or HELO when EHLO is refused).
    void Connect();
    // Authenticates once per connection when the server allows it, then sends the envelope and `message`.
    void Send(const TMailMessage& message);
    // Says QUIT, if the connection is open, and closes it; never fails.
    void Disconnect();
    bool Connected() const { return transport_->is_open(); }

    // The EHLO reply's lines after the first; empty after HELO.
    const std::vector<std::string>& capabilities() const { return capabilities_; }

private:
    void greet();
    void start_tls();
    void authenticate();
    void plain_transfer(const TMailMessage& message, platform::File& attachment,
                        const std::vector<MailAddress>& recipients);
    void pipelined_transfer(const TMailMessage& message, platform::File& attachment,
                            const std::vector<MailAddress>& recipients);
    void write_message(const TMailMessage& message, platform::File& attachment);
    bool offers(std::string_view capability) const;
    std::vector<std::string> auth_mechanisms() const;

    Reply command(std::string_view line, std::initializer_list<int> accepted);
    // `line` as sent, echoed to the log as `echo`.
    Reply secret_command(std::string_view line, std::string_view echo, std::initializer_list<int> accepted);
    void write(std::string_view bytes, std::string_view echo);
    Reply read_reply(std::chrono::milliseconds limit);
    std::string read_line(std::chrono::steady_clock::time_point deadline);
    // Runs a transport call; a failure of the line closes the connection before it goes on.
    template <typename Operation>
    auto on_line(Operation operation) -> decltype(operation());
    // Closes the connection and forgets what belonged to it.
    void drop();

    std::unique_ptr<Transport> transport_;
    std::string received_;  // bytes read but not yet taken as lines
    std::vector<std::string> capabilities_;
    bool authenticated_ = false;
    bool announced_ = false;  // "Connected." was logged and "Disconnected." is owed
};

// The reply's code must be one of `accepted`; otherwise MailError with the reply.
void expect(const Reply& reply, std::initializer_list<int> accepted);

}  // namespace ferrolo::mail
