#include "mail/smtp_client.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "mail/mail_error.h"
#include "platform/system_error.h"

namespace ferrolo::mail {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr size_t kLongestLine = 16384;
// The message leaves in blocks of this size, each one write and one log event.
constexpr size_t kDataBlock = 65536;
constexpr std::string_view kMasked = "****";

std::string upper(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    return result;
}

std::string reply_text(const Reply& reply) {
    std::string text;
    for (const std::string& line : reply.lines) {
        text += (text.empty() ? "" : " ") + line;
    }
    return text;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

void expect(const Reply& reply, std::initializer_list<int> accepted) {
    if (accepted.size() != 0 && std::find(accepted.begin(), accepted.end(), reply.code) == accepted.end()) {
        throw MailError(reply.code, reply_text(reply));
    }
}

template <typename Operation>
auto TSmtpClient::on_line(Operation operation) -> decltype(operation()) {
    try {
        return operation();
    } catch (const MailError&) {
        drop();
        throw;
    }
}

TSmtpClient::TSmtpClient(std::unique_ptr<Transport> transport) : transport_(std::move(transport)) {}

void TSmtpClient::Connect() {
    if (Port < 1 || Port > 65535) {
        throw MailError("port " + std::to_string(Port) + " is out of range");
    }
    drop();
    transport_->connect(Host, static_cast<uint16_t>(Port), Limits.connect);
    announced_ = true;
    if (Intercept) {
        Intercept->status("Connected.");
    }
    try {
        if (UseTLS == TlsMode::Implicit) {
            on_line([&] { transport_->start_tls(Host, Certificates, Limits.connect); });
        }
        expect(read_reply(Limits.reply), {220});
        greet();
    } catch (const MailError&) {
        Disconnect();
        throw;
    }
}

void TSmtpClient::greet() {
    capabilities_.clear();
    std::string name = transport_->local_host_name();
    if (name.empty()) {
        name = "localhost";
    }
    const Reply ehlo = command("EHLO " + name, {});
    if (ehlo.code == 250) {
        capabilities_.assign(ehlo.lines.begin() + 1, ehlo.lines.end());
        return;
    }
    command("HELO " + name, {250});
}

void TSmtpClient::Send(const TMailMessage& message) {
    // Opened first, so that an unreadable file fails the send before any of it leaves.
    platform::File attachment = message.open_attachment();
    if (UseTLS == TlsMode::Explicit && !transport_->is_secure()) {
        start_tls();
    }
    authenticate();
    const std::vector<MailAddress> recipients = message.envelope_recipients();
    if (offers("PIPELINING")) {
        pipelined_transfer(message, attachment, recipients);
    } else {
        plain_transfer(message, attachment, recipients);
    }
}

void TSmtpClient::start_tls() {
    if (!offers("STARTTLS")) {
        throw MailError("the server does not offer STARTTLS");
    }
    command("STARTTLS", {220});
    // Bytes that came before the handshake were not protected by it and could be anybody's.
    if (!received_.empty()) {
        drop();
        throw MailError("the server sent data before the TLS handshake");
    }
    on_line([&] { transport_->start_tls(Host, Certificates, Limits.reply); });
    greet();
}

// LOGIN when offered, on any connection; PLAIN, which carries the password in one piece, only inside TLS.
void TSmtpClient::authenticate() {
    if (authenticated_ || Username.empty()) {
        return;
    }
    const std::vector<std::string> mechanisms = auth_mechanisms();
    const auto has = [&](std::string_view name) {
        return std::find(mechanisms.begin(), mechanisms.end(), name) != mechanisms.end();
    };
    if (has("LOGIN")) {
        command("AUTH LOGIN", {334});
        secret_command(base64(Username), kMasked, {334});
        secret_command(base64(Password), kMasked, {235});
    } else if (has("PLAIN") && transport_->is_secure()) {
        const std::string token = base64(std::string(1, '\0') + Username + std::string(1, '\0') + Password);
        secret_command("AUTH PLAIN " + token, "AUTH PLAIN " + std::string(kMasked), {235});
    } else {
        return;
    }
    authenticated_ = true;
}

std::vector<std::string> TSmtpClient::auth_mechanisms() const {
    std::vector<std::string> mechanisms;
    for (const std::string& line : capabilities_) {
        std::string text = upper(line);
        if (text.size() < 5 || !text.starts_with("AUTH") || (text[4] != ' ' && text[4] != '=')) {
            continue;
        }
        std::replace(text.begin(), text.end(), '=', ' ');
        std::string_view rest = std::string_view(text).substr(5);
        while (!rest.empty()) {
            const size_t end = std::min(rest.find(' '), rest.size());
            const std::string name(rest.substr(0, end));
            if (!name.empty() && std::find(mechanisms.begin(), mechanisms.end(), name) == mechanisms.end()) {
                mechanisms.push_back(name);
            }
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
    }
    return mechanisms;
}

bool TSmtpClient::offers(std::string_view capability) const {
    return std::any_of(capabilities_.begin(), capabilities_.end(), [&](const std::string& line) {
        const std::string word = upper(line.substr(0, line.find(' ')));
        return word == capability;
    });
}

void TSmtpClient::plain_transfer(const TMailMessage& message, platform::File& attachment,
                                 const std::vector<MailAddress>& recipients) {
    command("RSET", {});
    command("MAIL FROM: <" + message.From.address + ">", {250});
    for (const MailAddress& recipient : recipients) {
        command("RCPT TO:<" + recipient.address + ">", {250, 251});
    }
    command("DATA", {354});
    write_message(message, attachment);
    expect(read_reply(Limits.data_end), {250});
}

void TSmtpClient::pipelined_transfer(const TMailMessage& message, platform::File& attachment,
                                     const std::vector<MailAddress>& recipients) {
    std::string batch = "RSET\r\nMAIL FROM: <" + message.From.address + ">\r\n";
    for (const MailAddress& recipient : recipients) {
        batch += "RCPT TO:<" + recipient.address + ">\r\n";
    }
    batch += "DATA\r\n";
    write(batch, batch);

    std::optional<MailError> failure;
    const auto check = [&](const Reply& reply, std::initializer_list<int> accepted) {
        try {
            expect(reply, accepted);
        } catch (const MailError& error) {
            failure = failure.value_or(error);
        }
    };
    check(read_reply(Limits.reply), {250});
    check(read_reply(Limits.reply), {250});
    for (size_t n = 0; n < recipients.size(); ++n) {
        check(read_reply(Limits.reply), {250, 251});
    }
    const Reply data = read_reply(Limits.reply);
    if (data.code == 354) {
        write_message(message, attachment);
        check(read_reply(Limits.data_end), {250});
    } else {
        check(data, {354});
    }
    if (failure) {
        command("RSET", {});
        throw *failure;
    }
}

void TSmtpClient::write_message(const TMailMessage& message, platform::File& attachment) {
    std::string block;
    try {
        message.write(attachment, [&](std::string_view piece) {
            block += piece;
            if (block.size() >= kDataBlock) {
                write(block, block);
                block.clear();
            }
        });
    } catch (const platform::SystemError&) {
        // The server is inside the message and would read QUIT as part of it: only closing ends it.
        drop();
        throw;
    }
    block += ".\r\n";
    write(block, block);
}

void TSmtpClient::Disconnect() {
    if (transport_->is_open()) {
        // The server's answer to QUIT is in the log; the connection closes whatever it says.
        try {
            command("QUIT", {});
        } catch (const MailError&) {
            return;  // the line already failed and was closed
        }
    }
    drop();
}

void TSmtpClient::drop() {
    transport_->close();
    received_.clear();
    authenticated_ = false;
    if (announced_ && Intercept) {
        Intercept->status("Disconnected.");
    }
    announced_ = false;
}

Reply TSmtpClient::command(std::string_view line, std::initializer_list<int> accepted) {
    return secret_command(line, line, accepted);
}

Reply TSmtpClient::secret_command(std::string_view line, std::string_view echo,
                                  std::initializer_list<int> accepted) {
    write(std::string(line) + "\r\n", std::string(echo) + "\r\n");
    Reply reply = read_reply(Limits.reply);
    expect(reply, accepted);
    return reply;
}

void TSmtpClient::write(std::string_view bytes, std::string_view echo) {
    if (Intercept) {
        Intercept->sent(echo);
    }
    on_line([&] { transport_->write(bytes, Limits.reply); });
}

Reply TSmtpClient::read_reply(std::chrono::milliseconds limit) {
    const SteadyClock::time_point deadline = SteadyClock::now() + limit;
    Reply reply;
    for (;;) {
        const std::string line = read_line(deadline);
        if (line.size() < 3 || !std::all_of(line.begin(), line.begin() + 3, is_digit)) {
            drop();
            throw MailError("not an SMTP reply: " + line.substr(0, 80));
        }
        if (reply.lines.empty()) {
            reply.code = std::stoi(line.substr(0, 3));
        }
        reply.lines.push_back(line.size() > 4 ? line.substr(4) : "");
        if (line.size() < 4 || line[3] != '-') {
            return reply;
        }
    }
}

std::string TSmtpClient::read_line(SteadyClock::time_point deadline) {
    for (;;) {
        const size_t end = received_.find('\n');
        if (end == std::string::npos) {
            // One byte more than the bound may be the CR of a line whose LF is still on its way.
            if (received_.size() > kLongestLine + 1) {
                drop();
                throw MailError("reply line longer than " + std::to_string(kLongestLine) + " bytes");
            }
        } else {
            std::string line = received_.substr(0, end);
            received_.erase(0, end + 1);
            if (line.ends_with('\r')) {
                line.pop_back();
            }
            if (line.size() > kLongestLine) {
                drop();
                throw MailError("reply line longer than " + std::to_string(kLongestLine) + " bytes");
            }
            return line;
        }
        const std::string block = on_line([&] { return transport_->read_some(left_until(deadline)); });
        if (Intercept) {
            Intercept->received(block);
        }
        received_ += block;
    }
}

}  // namespace ferrolo::mail
