// notify/report_mail.h — the report e-mail: the run log as the text, the report attached, the whole SMTP
// conversation echoed into the trace.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/run_context.h"
#include "mail/mail_message.h"
#include "mail/smtp_client.h"
#include "platform/clock.h"
#include "report/agente.h"

namespace ferrolo::notify {

// `block` with every CR LF shown as "<EOL>", then every lone CR as "<CR>" and every lone LF as "<LF>".
std::string echo_text(std::string_view block);

// The last day of the debug recipient, written day/month/year; nothing for a text that is no date.
std::optional<platform::LocalTime> debug_limit(std::string_view text);
// True while `now` is not later than the start of the day `limit`.
bool before_limit(const platform::LocalTime& now, const platform::LocalTime& limit);

// PORT_SMTP as a number; a text that is not a decimal integer throws std::invalid_argument.
int port_number(std::string_view text);

// The connection log `MailLog`: while active, one trace line per block received or sent and per change
// of the connection.
class TMailLog final : public mail::ConnectionLog {
public:
    explicit TMailLog(core::RunLogLines& log) : log_(log) {}

    bool Active = false;

    void received(std::string_view block) override;
    void sent(std::string_view block) override;
    void status(std::string_view text) override;

private:
    void MailLogReceived(std::string_view Text, std::string_view Data);
    void MailLogSent(std::string_view Text, std::string_view Data);
    void MailLogStatus(std::string_view Text);

    core::RunLogLines& log_;
};

// The e-mail step on the window's client, message and connection log.
class ReportMail {
public:
    ReportMail(core::RunContext& run, report::TAgente& agent, mail::TSmtpClient& SMTP,
               mail::TMailMessage& SMTPMsg, TMailLog& MailLog);

    // Mails the run log with `AttachmentPath` to the job's recipients. A failure of the connection or the
    // send ends the step (Mail_Error is set) but not the run; a PORT_SMTP that is no number ends the run.
    void Invia_SMTP(const std::string& AttachmentPath);
    // Opens the connection; true when connected.
    bool Connetti_SMTP();
    // Closes the connection, if open.
    void Disconnetti_smtp();

private:
    bool has_recipients() const;
    void build_message(const std::string& AttachmentPath,
                       const std::optional<platform::LocalTime>& debug_date);
    void Tracing_Out(std::string_view text) { run_.log.Tracing_Out(text); }

    core::RunContext& run_;
    report::TAgente& agent_;
    mail::TSmtpClient& SMTP;
    mail::TMailMessage& SMTPMsg;
    TMailLog& MailLog;
};

}  // namespace ferrolo::notify
