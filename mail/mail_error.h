// mail/mail_error.h — the one error the mail engine raises: a refused reply, a lost line or a time-out.
#pragma once

#include <stdexcept>
#include <string>

namespace ferrolo::mail {

class MailError : public std::runtime_error {
public:
    // A failure of the connection itself (no reply code).
    explicit MailError(const std::string& message) : std::runtime_error(message) {}
    // A reply the command did not accept: its code and its text.
    MailError(int reply_code, const std::string& reply_text)
        : std::runtime_error(std::to_string(reply_code) + " " + reply_text), reply_code_(reply_code) {}

    // The server's reply code, or 0 when no reply caused the failure.
    int reply_code() const { return reply_code_; }

private:
    int reply_code_ = 0;
};

}  // namespace ferrolo::mail
