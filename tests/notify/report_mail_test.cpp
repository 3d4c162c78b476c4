// The report e-mail step: recipients, the debug address, the texts of the trace, the run log and the
// status label, and what a failure leaves, against aiosmtpd and a scripted server on 127.0.0.1.
#include "notify/report_mail.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "mail/mail_message.h"
#include "tests/archive/run_steps_fixture.h"
#include "tests/mail/smtp_servers.h"

namespace ferrolo::testing {
namespace {

using core::Label;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsSubsetOf;
using ::testing::IsSupersetOf;
using ::testing::Not;
using namespace std::chrono_literals;

constexpr std::string_view kPassword = "Pa55-w0rd!";

platform::LocalTime day_after(int days) {
    return platform::to_local_time(std::chrono::system_clock::now() + std::chrono::days(days));
}

std::string date_text(const platform::LocalTime& day) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d", day.day, day.month, day.year);
    return text;
}

class ReportMailTest : public RunStepsTest {
protected:
    ReportMailTest() {
        job.HOST_SMTP = "127.0.0.1";
        job.USERID_SMTP = "ferrolo";
        job.PASSWORD_SMTP = kPassword;
        job.MSG_FROM_SMTP = "Ferrolo";
        job.MSG_EMAIL_FROM_SMTP = "ferrolo@example.com";
        job.MSG_SUBJECT_SMTP = "Report copie interne";
        log.Append_Log(true, true, "Copia di lunedì");
        log.Append_Log(true, true, ".");
        SMTP.Limits = {2000ms, 1000ms, 1000ms};
    }

    void mail_to(uint16_t port) {
        job.PORT_SMTP = std::to_string(port);
        notify::ReportMail(run, agent, SMTP, SMTPMsg, MailLog).Invia_SMTP(attachment);
        EXPECT_FALSE(MailLog.Active);
    }
    static SmtpSink::Options login_required() {
        SmtpSink::Options options;
        options.user = "ferrolo";
        options.password = kPassword;
        return options;
    }
    std::string server() const { return "127.0.0.1:" + job.PORT_SMTP; }
    // The run log as it was mailed: its whole text before the step's own line.
    std::string mailed_text() const {
        std::string text = read_file(job.PARAM_3);
        text.erase(text.find("Allego file: "));
        std::erase(text, '\r');
        return text;
    }
    std::vector<std::string> trace_starting(std::string_view prefix) const {
        std::vector<std::string> found;
        for (const std::string& line : trace()) {
            if (line.starts_with(prefix)) {
                found.push_back(line);
            }
        }
        return found;
    }

    std::string attachment =
        folder.write("log_ext.ZIP", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    mail::TSmtpClient SMTP;
    mail::TMailMessage SMTPMsg;
    notify::TMailLog MailLog{log};
};

TEST_F(ReportMailTest, MailsTheRunLogAndTheReportToARealServerWithAuthLogin) {
    TempFolder mailbox;
    SmtpSink sink(mailbox.path(), login_required());
    job.EMAIL_TO_SMTP[0] = "\"Rossi, Mario\" <mario@example.com>, anna@example.com";
    mail_to(sink.port());

    EXPECT_EQ(sink.auth_log(), "LOGIN ferrolo ok\n");
    EXPECT_THAT(sink.envelope(1),
                ElementsAre("ferrolo@example.com", "mario@example.com", "anna@example.com"));
    auto fields = parsed_message(sink.message(1), mailbox.path());
    EXPECT_EQ(fields["from"], "Ferrolo <ferrolo@example.com>");
    EXPECT_EQ(fields["to"], "\"Rossi, Mario\" <mario@example.com>, anna@example.com");
    EXPECT_EQ(fields.count("cc"), 0u);
    EXPECT_EQ(fields["subject"], "Report copie interne");
    EXPECT_EQ(fields["text"], "8bit " + mail::base64(mailed_text()));
    EXPECT_EQ(fields["attachment"], "log_ext.ZIP " + mail::base64(read_file(attachment)));

    EXPECT_EQ(run_log().back(), "Allego file: " + attachment);
    EXPECT_THAT((std::vector<std::string>{"Connessione in corso a: " + server() + "...",
                                          "Server SMTP:127.0.0.1", "Invio userID e password...", "Connected.",
                                          "Connesso a: " + server(), "Stato non connesso."}),
                IsSubsetOf(trace()));
    EXPECT_EQ(display.label(Label::l_stato), "Invio mail terminato.");
    EXPECT_THAT(display.label_changes, Contains(std::pair{Label::l_stato, "Connessione a: " + server()}));
    EXPECT_THAT(display.label_changes, Contains(std::pair{Label::l_stato, std::string("Invio mail...")}));
    EXPECT_FALSE(state.Mail_Error);
}

TEST_F(ReportMailTest, TheConversationIsEchoedWithoutTheCredentials) {
    TempFolder mailbox;
    SmtpSink sink(mailbox.path(), login_required());
    job.EMAIL_TO_SMTP[0] = "ops@example.com";
    mail_to(sink.port());
    agent.ShutDown();

    const std::regex echo(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d-(.*))");
    std::vector<std::string> echoed;
    for (const std::string& line : trace()) {
        std::smatch parts;
        if (std::regex_match(line, parts, echo)) {
            echoed.push_back(parts[1]);
        }
    }
    EXPECT_THAT(echoed, IsSupersetOf(std::vector<std::string>{
                            "AUTH LOGIN", "334 VXNlciBOYW1lAA==", "****", "334 UGFzc3dvcmQA",
                            "235 2.7.0 Authentication successful", "QUIT", "221 Bye"}));
    std::string trace_text;
    for (const std::string& line : display.trace) {
        trace_text += line + "\n";
    }
    const std::string application_log = read_file(folder / "Ferrolo.LOG");
    for (const std::string& secret : {std::string(kPassword), mail::base64(kPassword)}) {
        EXPECT_THAT(trace_text, Not(HasSubstr(secret)));
        EXPECT_THAT(application_log, Not(HasSubstr(secret)));
    }
}

TEST_F(ReportMailTest, RecipientsFollowTheJobsKeysAndTheDebugDate) {
    const std::string today = date_text(day_after(0));
    const std::string tomorrow = date_text(day_after(1));
    const struct {
        std::string name;
        std::array<std::string, 5> to;
        std::string debug;
        std::string debug_date;
        std::vector<std::string> envelope;  // after the sender; empty: nothing was delivered
        std::string to_header;              // "-" when absent
        std::string cc_header;
    } cases[] = {
        {"only the third key", {"", "", "c@x.it"}, "", "", {"c@x.it"}, "-", "c@x.it"},
        {"debug up to tomorrow",
         {"a@x.it"},
         "dbg@x.it",
         tomorrow,
         {"a@x.it", "dbg@x.it"},
         "a@x.it",
         "dbg@x.it"},
        {"debug up to today", {"a@x.it"}, "dbg@x.it", today, {"a@x.it"}, "a@x.it", "-"},
        {"debug date not a date", {"a@x.it"}, "dbg@x.it", "domani", {"a@x.it"}, "a@x.it", "-"},
        {"debug alone without a date", {}, "dbg@x.it", "", {}, "", ""},
        {"every copy key",
         {"", "b@x.it", "c@x.it", "d@x.it", "e@x.it"},
         "",
         "",
         {"b@x.it", "c@x.it", "d@x.it", "e@x.it"},
         "-",
         "b@x.it, c@x.it, d@x.it, e@x.it"},
    };
    for (const auto& c : cases) {
        TempFolder mailbox;
        SmtpSink sink(mailbox.path(), {});
        job.EMAIL_TO_SMTP = c.to;
        job.EMAIL_DEBUG = c.debug;
        job.EMAIL_DEBUG_TO_DATE = c.debug_date;
        mail_to(sink.port());
        EXPECT_THAT(trace(), Contains("Connesso a: " + server())) << c.name;
        if (c.envelope.empty()) {
            EXPECT_EQ(sink.message(1), "") << c.name;
            EXPECT_EQ(display.label(Label::l_stato), "Invio mail...") << c.name;
            EXPECT_TRUE(state.Mail_Error) << c.name;
            continue;
        }
        std::vector<std::string> expected = {"ferrolo@example.com"};
        expected.insert(expected.end(), c.envelope.begin(), c.envelope.end());
        EXPECT_EQ(sink.envelope(1), expected) << c.name;
        auto fields = parsed_message(sink.message(1), mailbox.path());
        EXPECT_EQ(fields.contains("to") ? fields["to"] : "-", c.to_header) << c.name;
        EXPECT_EQ(fields.contains("cc") ? fields["cc"] : "-", c.cc_header) << c.name;
        EXPECT_EQ(display.label(Label::l_stato), "Invio mail terminato.") << c.name;
    }
}

TEST_F(ReportMailTest, WithoutAttachmentTheRunLogSaysSoAndTheMessageIsPlainText) {
    TempFolder mailbox;
    SmtpSink sink(mailbox.path(), {});
    job.EMAIL_TO_SMTP[0] = "a@x.it";
    job.SEND_ATTACHMENT = false;
    mail_to(sink.port());
    EXPECT_EQ(run_log().back(), "Non allego file: " + attachment);
    auto fields = parsed_message(sink.message(1), mailbox.path());
    EXPECT_EQ(fields["multipart"], "False");
    EXPECT_EQ(fields.count("attachment"), 0u);
    EXPECT_THAT(sink.message(1), Not(HasSubstr("Non allego")));
}

TEST_F(ReportMailTest, WithoutRecipientsNothingIsDoneOrSaid) {
    job.EMAIL_TO_SMTP = {" ", "", "\t"};
    mail_to(1);
    EXPECT_TRUE(display.trace.empty());
    EXPECT_EQ(display.label(Label::l_stato), "Connessione a: 127.0.0.1:1");
    EXPECT_FALSE(state.Mail_Error);
}

TEST_F(ReportMailTest, RefusedOrSilentServersEndTheStepWithOneTraceLine) {
    FakeSmtpServer::Script silent;
    silent.greeting = "";
    FakeSmtpServer quiet(silent);
    uint16_t closed_port = 0;
    {
        FakeSmtpServer gone({});
        closed_port = gone.port();
    }
    for (const uint16_t port : {closed_port, quiet.port()}) {
        display.trace.clear();
        job.EMAIL_TO_SMTP[0] = "a@x.it";
        const auto started = std::chrono::steady_clock::now();
        const int pumps = display.pumps;
        mail_to(port);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
        if (port == quiet.port()) {
            const auto trace_pumps =
                static_cast<int>(display.trace.size());  // each trace line serves it once
            EXPECT_GE(display.pumps - pumps - trace_pumps, 5)
                << "the window is served while the server is silent";
        }
        EXPECT_THAT(trace_starting("Errore di connessione a: "),
                    ElementsAre("Errore di connessione a: " + server()));
        EXPECT_EQ(display.label(Label::l_stato), "Connessione a: " + server());
        EXPECT_EQ(run_log().back(), ".");
        EXPECT_TRUE(state.Mail_Error);
    }
}

TEST_F(ReportMailTest, RefusedSendLeavesTheStatusOnSendingAndTheTraceShowsTheReplyThenQuit) {
    FakeSmtpServer::Script refusing;
    refusing.replies = {{"RCPT", "550 5.1.1 sconosciuto\r\n"}};
    FakeSmtpServer server(refusing);
    job.EMAIL_TO_SMTP[0] = "a@x.it";
    mail_to(server.port());
    const std::vector<std::string> lines = trace();
    const auto refusal = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.ends_with("-550 5.1.1 sconosciuto");
    });
    ASSERT_NE(refusal, lines.end());
    EXPECT_TRUE(refusal[1].ends_with("-QUIT")) << refusal[1];
    EXPECT_TRUE(refusal[2].ends_with("-221 bye")) << refusal[2];
    EXPECT_EQ(lines.back(), "Stato non connesso.");
    EXPECT_EQ(display.label(Label::l_stato), "Invio mail...");
    EXPECT_TRUE(state.Mail_Error);
}

TEST_F(ReportMailTest, PortThatIsNoNumberLeavesTheStepBeforeAnyConnection) {
    job.EMAIL_TO_SMTP[0] = "a@x.it";
    job.PORT_SMTP = "25a";
    EXPECT_THROW(notify::ReportMail(run, agent, SMTP, SMTPMsg, MailLog).Invia_SMTP(attachment),
                 std::invalid_argument);
    EXPECT_EQ(trace(), (std::vector<std::string>{"Connessione in corso a: 127.0.0.1:25a..."}));
}

TEST_F(ReportMailTest, ProtSslAsksForStarttlsAndVerifiesTheCertificateUnlessTheJobSaysNo) {
    TempFolder certificates_folder;
    SmtpSink::Options options;
    options.tls = "starttls";
    options.certificates = make_test_certificates(certificates_folder.path(), "DNS:other.example");
    TrustedCa trusted(options.certificates->ca);
    job.PROT_SSL = true;
    job.EMAIL_TO_SMTP[0] = "a@x.it";
    for (const bool verify : {true, false}) {
        TempFolder mailbox;
        SmtpSink sink(mailbox.path(), options);
        job.SSL_VERIFICA_CERTIFICATO = verify;
        mail_to(sink.port());
        EXPECT_THAT(trace(), Contains(HasSubstr("-STARTTLS")));
        EXPECT_EQ(sink.message(1).empty(), verify);
        EXPECT_EQ(state.Mail_Error, verify);
    }
}

TEST_F(ReportMailTest, ProtSslMeansTlsFromTheFirstByteOnPort465AndStarttlsOnAnyOther) {
    job.EMAIL_TO_SMTP[0] = "a@x.it";
    for (const auto& [prot_ssl, port, mode] : {std::tuple{false, 465, mail::TlsMode::None},
                                               {true, 465, mail::TlsMode::Implicit},
                                               {true, 587, mail::TlsMode::Explicit},
                                               {true, 25, mail::TlsMode::Explicit}}) {
        job.PROT_SSL = prot_ssl;
        mail_to(static_cast<uint16_t>(port));  // nothing listens there: the connection is refused
        EXPECT_EQ(SMTP.UseTLS, mode) << prot_ssl << " " << port;
    }
}

TEST(DebugDate, IsADayMonthYearDateThatEndsAtItsOwnMidnight) {
    const struct {
        std::string text;
        std::optional<std::array<int, 3>> day;
    } cases[] = {
        {"31/12/2026", std::array{2026, 12, 31}},
        {"1/2/2027", std::array{2027, 2, 1}},
        {"29/02/2024", std::array{2024, 2, 29}},
        {"29/02/2026", std::nullopt},
        {"2026-12-31", std::nullopt},
        {"12/2026", std::nullopt},
        {"31/12/26", std::nullopt},
        {"", std::nullopt},
        {"aa/bb/cccc", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto limit = notify::debug_limit(c.text);
        ASSERT_EQ(limit.has_value(), c.day.has_value()) << c.text;
        if (limit) {
            EXPECT_EQ((std::array{limit->year, limit->month, limit->day}), *c.day) << c.text;
        }
    }
    const platform::LocalTime limit{2026, 12, 31, 0, 0, 0};
    EXPECT_TRUE(notify::before_limit({2026, 12, 30, 23, 59, 59}, limit));
    EXPECT_TRUE(notify::before_limit({2026, 12, 31, 0, 0, 0}, limit));
    EXPECT_FALSE(notify::before_limit({2026, 12, 31, 0, 0, 1}, limit));
}

TEST(MailLogEcho, LineEndsAreShownAsMarkers) {
    EXPECT_EQ(notify::echo_text("250-a\r\n250 b\r\n"), "250-a<EOL>250 b<EOL>");
    EXPECT_EQ(notify::echo_text("x\ry\nz\n\r\r\n"), "x<CR>y<LF>z<LF><CR><EOL>");
}

TEST(SmtpPort, OnlyADecimalIntegerIsAPort) {
    EXPECT_EQ(notify::port_number("587"), 587);
    EXPECT_EQ(notify::port_number("+25"), 25);
    EXPECT_EQ(notify::port_number("-1"), -1);
    for (const std::string text : {"", "25a", " 25", "0x19", "99999999999"}) {
        EXPECT_THROW(notify::port_number(text), std::invalid_argument) << text;
    }
}

}  // namespace
}  // namespace ferrolo::testing
