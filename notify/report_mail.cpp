#include "notify/report_mail.h"

#include <charconv>
#include <chrono>
#include <stdexcept>
#include <tuple>

#include "core/routines.h"
#include "platform/code_page.h"
#include "platform/file.h"
#include "platform/file_system.h"

namespace ferrolo::notify {

namespace {

using core::Label;

// The lines of `path` as a text list loads them: CR LF, LF or CR end a line, and a last end adds none.
std::vector<std::string> load_lines(const std::string& path) {
    platform::File file = platform::File::open(path, platform::File::Mode::Read);
    std::string content(file.size(), '\0');
    content.resize(file.read_fully(std::as_writable_bytes(std::span(content))));
    content = platform::from_system_code_page(content);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < content.size()) {
        const size_t end = std::min(content.find_first_of("\r\n", start), content.size());
        lines.push_back(content.substr(start, end - start));
        start = end + (content.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

// The echo's stamp: the trace's date and time with a blank between them.
std::string echo_stamp() {
    std::string stamp = core::trace_stamp(platform::local_now());
    stamp[stamp.find('-')] = ' ';
    return stamp;
}

// A whole decimal number in `text`, or nothing.
template <typename Number>
std::optional<Number> decimal(std::string_view text) {
    Number value{};
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::string echo_text(std::string_view block) {
    std::string text;
    for (size_t at = 0; at < block.size(); ++at) {
        if (block.compare(at, 2, "\r\n") == 0) {
            text += "<EOL>";
            ++at;
        } else if (block[at] == '\r') {
            text += "<CR>";
        } else if (block[at] == '\n') {
            text += "<LF>";
        } else {
            text += block[at];
        }
    }
    return text;
}

std::optional<platform::LocalTime> debug_limit(std::string_view text) {
    const size_t first = text.find('/');
    const size_t second = first == std::string_view::npos ? first : text.find('/', first + 1);
    if (second == std::string_view::npos) {
        return std::nullopt;
    }
    const auto day = decimal<unsigned>(text.substr(0, first));
    const auto month = decimal<unsigned>(text.substr(first + 1, second - first - 1));
    const auto year = decimal<int>(text.substr(second + 1));
    if (!day || !month || !year || text.size() - second - 1 != 4 ||
        !std::chrono::year_month_day(std::chrono::year(*year), std::chrono::month(*month),
                                     std::chrono::day(*day))
             .ok()) {
        return std::nullopt;
    }
    return platform::LocalTime{*year, static_cast<int>(*month), static_cast<int>(*day), 0, 0, 0};
}

bool before_limit(const platform::LocalTime& now, const platform::LocalTime& limit) {
    const auto moment = [](const platform::LocalTime& t) {
        return std::tie(t.year, t.month, t.day, t.hour, t.minute, t.second);
    };
    return moment(now) <= moment(limit);
}

int port_number(std::string_view text) {
    const bool negative = text.starts_with('-');
    const auto number = decimal<int>(negative ? text.substr(1) : text);
    if (!number) {
        throw std::invalid_argument("'" + std::string(text) + "' is not a valid integer value");
    }
    return negative ? -*number : *number;
}

void TMailLog::received(std::string_view block) {
    if (Active) {
        MailLogReceived(echo_stamp(), block);
    }
}

void TMailLog::sent(std::string_view block) {
    if (Active) {
        MailLogSent(echo_stamp(), block);
    }
}

void TMailLog::status(std::string_view text) {
    if (Active) {
        MailLogStatus(text);
    }
}

void TMailLog::MailLogReceived(std::string_view Text, std::string_view Data) {
    log_.Tracing_Out(std::string(Text) + "-" + echo_text(Data));
}

void TMailLog::MailLogSent(std::string_view Text, std::string_view Data) {
    log_.Tracing_Out(std::string(Text) + "-" + echo_text(Data));
}

void TMailLog::MailLogStatus(std::string_view Text) {
    log_.Tracing_Out(Text);
}

ReportMail::ReportMail(core::RunContext& run, report::TAgente& agent, mail::TSmtpClient& smtp,
                       mail::TMailMessage& message, TMailLog& mail_log)
    : run_(run), agent_(agent), SMTP(smtp), SMTPMsg(message), MailLog(mail_log) {}

void ReportMail::Invia_SMTP(const std::string& AttachmentPath) {
    const core::JobSettings& job = run_.job;
    core::Azzera_Campi_Video(run_.display);
    run_.display.set_label(Label::l_stato, "Connessione a: " + job.HOST_SMTP + ":" + job.PORT_SMTP);
    run_.state.Mail_Error = false;
    if (!has_recipients()) {
        return;
    }
    const std::optional<platform::LocalTime> debug_date = debug_limit(job.EMAIL_DEBUG_TO_DATE);
    MailLog.Active = true;
    if (!Connetti_SMTP()) {
        MailLog.Active = false;
        run_.state.Mail_Error = true;
        return;
    }
    run_.display.set_label(Label::l_stato, "Invio mail...");
    try {
        if (SMTP.Connected()) {
            build_message(AttachmentPath, debug_date);
            SMTP.Send(SMTPMsg);
        }
        Disconnetti_smtp();
    } catch (const std::exception& error) {
        // The trace shows the server's side through the connection log; why the client gave up (a lost
        // line, a time-out, a certificate) goes to the application log.
        agent_.WriteMessage("F_Main\\Invia_SMTP: " + std::string(error.what()));
        run_.state.Mail_Error = true;
        Disconnetti_smtp();
        MailLog.Active = false;
        return;
    }
    MailLog.Active = false;
    run_.display.set_label(Label::l_stato, "Invio mail terminato.");
}

bool ReportMail::has_recipients() const {
    const core::JobSettings& job = run_.job;
    const auto is_set = [](const std::string& value) { return !core::trim(value).empty(); };
    return std::any_of(job.EMAIL_TO_SMTP.begin(), job.EMAIL_TO_SMTP.end(), is_set) || is_set(job.EMAIL_DEBUG);
}

bool ReportMail::Connetti_SMTP() {
    const core::JobSettings& job = run_.job;
    const std::string server = job.HOST_SMTP + ":" + job.PORT_SMTP;
    if (SMTP.Connected()) {
        SMTP.Disconnect();
        Tracing_Out("Stato non connesso");
    }
    Tracing_Out("Connessione in corso a: " + server + "...");
    SMTP.Host = job.HOST_SMTP;
    SMTP.Port = port_number(job.PORT_SMTP);
    Tracing_Out("Server SMTP:" + SMTP.Host);
    Tracing_Out("Invio userID e password...");
    SMTP.Username = job.USERID_SMTP;
    SMTP.Password = job.PASSWORD_SMTP;
    // Port 465 speaks TLS from the first byte; any other port is asked for STARTTLS.
    constexpr int kImplicitTlsPort = 465;
    SMTP.UseTLS = !job.PROT_SSL                   ? mail::TlsMode::None
                  : SMTP.Port == kImplicitTlsPort ? mail::TlsMode::Implicit
                                                  : mail::TlsMode::Explicit;
    SMTP.Certificates =
        job.SSL_VERIFICA_CERTIFICATO ? mail::CertificateCheck::Verify : mail::CertificateCheck::Skip;
    SMTP.Intercept = &MailLog;
    // The client outlives this step object; the window does not.
    SMTP.set_while_waiting([&display = run_.display] { display.process_messages(); });
    try {
        SMTP.Connect();
    } catch (const std::exception& error) {
        agent_.WriteMessage("F_Main\\Connetti_SMTP: " + std::string(error.what()));
        Tracing_Out("Errore di connessione a: " + server);
        return false;
    }
    Tracing_Out("Connesso a: " + server);
    return true;
}

void ReportMail::Disconnetti_smtp() {
    agent_.WriteMessage("F_Main\\Disconnetti_SMTP: disconnetti SMTP");
    if (SMTP.Connected()) {
        SMTP.Disconnect();
        Tracing_Out("Stato non connesso.");
    }
}

void ReportMail::build_message(const std::string& AttachmentPath,
                               const std::optional<platform::LocalTime>& debug_date) {
    const core::JobSettings& job = run_.job;
    std::vector<std::string> text;
    if (platform::file_exists(job.PARAM_3)) {
        text = load_lines(job.PARAM_3);
    }
    SMTPMsg.Clear();
    const std::vector<mail::MailAddress> sender = mail::parse_address_list(job.MSG_EMAIL_FROM_SMTP);
    if (!sender.empty()) {
        SMTPMsg.From = sender.front();
    }
    SMTPMsg.From.name = job.MSG_FROM_SMTP;
    if (!core::trim(job.EMAIL_TO_SMTP[0]).empty()) {
        SMTPMsg.Recipients = mail::parse_address_list(job.EMAIL_TO_SMTP[0]);
    }
    // Each further key is one address, taken as written.
    for (size_t n = 1; n < job.EMAIL_TO_SMTP.size(); ++n) {
        if (!core::trim(job.EMAIL_TO_SMTP[n]).empty()) {
            SMTPMsg.CCList.push_back({"", job.EMAIL_TO_SMTP[n]});
        }
    }
    const auto now = std::chrono::system_clock::now();
    const platform::LocalTime local = platform::to_local_time(now);
    if (!core::trim(job.EMAIL_DEBUG).empty() && debug_date && before_limit(local, *debug_date)) {
        SMTPMsg.CCList.push_back({"", job.EMAIL_DEBUG});
    }
    SMTPMsg.Subject = job.MSG_SUBJECT_SMTP;
    SMTPMsg.Body = std::move(text);
    SMTPMsg.Date = {local, platform::utc_offset_minutes(now)};
    if (job.SEND_ATTACHMENT) {
        run_.log.Append_Log(true, true, "Allego file: " + AttachmentPath);
        SMTPMsg.Attachment = AttachmentPath;
    } else {
        run_.log.Append_Log(true, true, "Non allego file: " + AttachmentPath);
    }
}

}  // namespace ferrolo::notify
