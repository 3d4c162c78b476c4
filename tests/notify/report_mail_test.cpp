// The report e-mail step: recipients, the debug address, the texts of the trace, the run log and the
// status label, and what a failure leaves, against aiosmtpd and a scripted server on 127.0.0.1.
#include "notify/report_mail.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/routines.h"
#include "tests/archive/run_steps_fixture.h"
#include "tests/mail/smtp_servers.h"

namespace ferrolo::testing {
namespace {

using core::Label;
using ::testing::HasSubstr;
using namespace std::chrono_literals;

class ReportMailTest : public RunStepsTest {
protected:
    ReportMailTest() {
        job.HOST_SMTP = "127.0.0.1";
        job.USERID_SMTP = "ferrolo";
        job.PASSWORD_SMTP = "Pa55-w0rd!";
        job.MSG_FROM_SMTP = "Ferrolo";
        job.MSG_EMAIL_FROM_SMTP = "ferrolo@example.com";
        job.MSG_SUBJECT_SMTP = "Report copie interne";
        job.EMAIL_TO_SMTP[0] = "a@x.it";
        log.Append_Log(true, true, ".");
        SMTP.Limits = {2000ms, 1000ms, 1000ms};
    }

    void mail_to(uint16_t port) {
        job.PORT_SMTP = std::to_string(port);
        notify::ReportMail(run, agent, SMTP, SMTPMsg, MailLog).Invia_SMTP(attachment);
        EXPECT_FALSE(MailLog.Active);
    }
    std::string server() const { return "127.0.0.1:" + job.PORT_SMTP; }

    std::string attachment = folder.write("log_ext.ZIP", "PK");  // its bytes are the client tests' concern
    mail::TSmtpClient SMTP;
    mail::TMailMessage SMTPMsg;
    notify::TMailLog MailLog{log};
};

TEST_F(ReportMailTest, MailGoesWhereTheJobsKeysSayWithTheConversationEchoedButNotTheCredentials) {
    const auto now = std::chrono::system_clock::now();
    const auto date = [&](int days) {  // dd/mm/yyyy
        return core::trace_stamp(platform::to_local_time(now + std::chrono::days(days))).substr(0, 10);
    };
    const struct {
        std::array<std::string, 5> to;
        std::string debug;
        std::string debug_date;
        std::string envelope;  // after the sender; empty: the send is refused
        std::string headers;   // the To and Cc lines as Python reads them
        bool attach = true;
    } cases[] = {
        // Two addresses in the first key.
        {{"\"R, M\" <m@x.it>, a@x.it"}, "", "", "m@x.it\na@x.it\n", "to: \"R, M\" <m@x.it>, a@x.it\n"},
        {{"m@x.it (Mario)"}, "", "", "m@x.it\n", "to: Mario <m@x.it>\n"},
        // Only the third key: no To.
        {{"", "", "c@x.it"}, "", "", "c@x.it\n", "cc: c@x.it\n"},
        // The debug address up to tomorrow, up to today, and alone without a date.
        {{"a@x.it"}, "dbg@x.it", date(1), "a@x.it\ndbg@x.it\n", "to: a@x.it\ncc: dbg@x.it\n"},
        {{"a@x.it"}, "dbg@x.it", date(0), "a@x.it\n", "to: a@x.it\n"},
        {{}, "dbg@x.it", "", "", ""},
        // SEND_ATTACHMENT=NO: plain text.
        {{"a@x.it"}, "", "", "a@x.it\n", "to: a@x.it\n", false}};
    for (const auto& c : cases) {
        const std::string row = "row " + std::to_string(&c - cases);
        TestServer sink("smtp_sink.py", "--user ferrolo --password Pa55-w0rd!");
        display.trace.clear();
        job.EMAIL_TO_SMTP = c.to;
        job.EMAIL_DEBUG = c.debug;
        job.EMAIL_DEBUG_TO_DATE = c.debug_date;
        job.SEND_ATTACHMENT = c.attach;
        mail_to(sink.port);
        const bool sent = !c.envelope.empty();
        EXPECT_EQ(run_log().back(), (c.attach ? "Allego file: " : "Non allego file: ") + attachment) << row;
        EXPECT_EQ(display.label(Label::l_stato), sent ? "Invio mail terminato." : "Invio mail...") << row;
        EXPECT_EQ(state.Mail_Error, !sent) << row;
        EXPECT_EQ(sink.file("message-1.envelope"), sent ? "ferrolo@example.com\n" + c.envelope : "") << row;
        if (sent) {
            const std::string peer = read_by_python(sink.folder / "message-1.eml");
            EXPECT_THAT(peer, HasSubstr("<ferrolo@example.com>\n" + c.headers + "subject: ")) << row;
            EXPECT_THAT(peer, HasSubstr(c.attach ? "multipart: True" : "multipart: False")) << row;
        }
        // The echo: "dd/mm/yyyy hh:nn:ss-" and the block.
        std::vector<std::string> lines = trace();
        for (std::string& line : lines) {
            line = std::regex_replace(line, std::regex(R"(^\d\d/\d\d/\d{4} \d\d:\d\d:\d\d-)"), "<echo>");
        }
        EXPECT_THAT((std::vector<std::string>{"Connected.", "<echo>AUTH LOGIN", "<echo>****", "<echo>****",
                                              "Connesso a: " + server(), "<echo>QUIT", "Disconnected.",
                                              "Stato non connesso."}),
                    ::testing::IsSubsetOf(lines))
            << row;
    }
}

TEST_F(ReportMailTest, WithoutAConnectionTheStepEndsInTimeWithTheStatusOnConnecting) {
    TestServer silent = fake_smtp_server({{"<greeting>", "<silence>"}});
    uint16_t refusing = 0;
    {
        TestServer gone = fake_smtp_server({});
        refusing = gone.port;
    }
    // No recipient at all: nothing is tried or said. A refused connection, a silent server: one error line.
    for (const auto& [first_key, port] :
         {std::pair{" ", refusing}, {"a@x.it", refusing}, {"a@x.it", silent.port}}) {
        job.EMAIL_TO_SMTP[0] = first_key;
        display.trace.clear();
        const int pumps = display.pumps;
        const auto started = std::chrono::steady_clock::now();
        mail_to(port);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
        std::vector<std::string> expected = {"Connessione in corso a: " + server() + "...",
                                             "Server SMTP:127.0.0.1", "Invio userID e password..."};
        if (port == silent.port) {
            expected.insert(expected.end(), {"Connected.", "Disconnected."});
            EXPECT_GE(display.pumps - pumps - 6, 5) << "the window is served while the server is silent";
        }
        expected.push_back("Errore di connessione a: " + server());
        EXPECT_EQ(trace(), first_key[0] == ' ' ? std::vector<std::string>{} : expected);
        EXPECT_EQ(display.label(Label::l_stato), "Connessione a: " + server());
        EXPECT_EQ(run_log().back(), ".");
        EXPECT_EQ(state.Mail_Error, first_key[0] != ' ');
    }
}

TEST(MailLogEcho, LineEndsAreShownAsMarks) {
    EXPECT_EQ(notify::echo_text("x\ry\nz\n\r\r\n"), "x<CR>y<LF>z<LF><CR><EOL>");
}

}  // namespace
}  // namespace ferrolo::testing
