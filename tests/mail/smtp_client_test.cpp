// The SMTP client against a scripted server for the exact exchanges, and against aiosmtpd on 127.0.0.1
// for real delivery, authentication and TLS.
#include "mail/smtp_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "mail/mail_error.h"
#include "tests/mail/smtp_servers.h"

namespace ferrolo::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;
using namespace std::string_literals;

struct RecordingLog final : mail::ConnectionLog {
    void received(std::string_view) override {}
    void sent(std::string_view block) override { sent_blocks.emplace_back(block); }
    void status(std::string_view text) override { statuses.emplace_back(text); }
    std::vector<std::string> sent_blocks;
    std::vector<std::string> statuses;
};

class SmtpClientTest : public ::testing::Test {
protected:
    SmtpClientTest() {
        client.Host = "127.0.0.1";
        client.Username = "ferrolo";
        client.Password = "s3gr3t0";
        client.Limits = {5000ms, 2000ms, 2000ms};
        client.Intercept = &log;
        message.From = {"Ferrolo", "f@x.it"};
        message.Recipients = {{"", "a@x.it"}};
        message.Subject = "Report";
        message.Date = {{2026, 12, 6, 18, 0, 0}, 0};
        message.Body = {"riga uno", ".", "riga tre"};
    }

    // Connects, sends and disconnects: 0 when delivered, else the refusing reply's code, or -1 for a
    // failure without one.
    int deliver(uint16_t port) {
        log = {};
        client.Port = port;
        int outcome = 0;
        try {
            client.Connect();
            client.Send(message);
        } catch (const std::exception& failure) {
            const auto* refusal = dynamic_cast<const mail::MailError*>(&failure);
            outcome = refusal && refusal->reply_code() != 0 ? refusal->reply_code() : -1;
        }
        client.Disconnect();
        return outcome;
    }
    std::string everything_sent() const {
        std::string all;
        for (const std::string& block : log.sent_blocks) {
            all += block;
        }
        return all;
    }

    TempFolder folder;
    RecordingLog log;
    mail::TSmtpClient client;
    mail::TMailMessage message;
};

TEST_F(SmtpClientTest, ExchangesFollowTheServersCapabilitiesAndReplies) {
    const std::string login = "250-fake\r\n250 AUTH LOGIN\r\n";
    const std::string pipelining = "250-fake\r\n250 PIPELINING\r\n";
    const std::string auth = "AUTH LOGIN|ZmVycm9sbw==|czNncjN0MA==|";  // "ferrolo", "s3gr3t0"
    const std::string two = "RSET|MAIL FROM: <f@x.it>|RCPT TO:<a@x.it>|RCPT TO:<b@x.it>|";
    const std::string envelope = two + "RCPT TO:<c@x.it>|";
    const struct {
        std::string name;
        FakeSmtpServer::Script script;
        std::string transcript;
        int outcome = 0;  // as deliver gives it
        std::string user = "ferrolo";
        std::optional<std::string> attachment = {};
        std::string one_write = "";  // a block the client must write at once
    } cases[] = {
        {"EHLO refused: HELO, no AUTH", {.ehlo = "500 what\r\n"}, "EHLO|HELO|" + envelope + "DATA|.|QUIT"},
        {"LOGIN among the mechanisms",
         {.ehlo = "250-fake\r\n250-AUTH PLAIN LOGIN\r\n250 8BITMIME\r\n"},
         "EHLO|" + auth + envelope + "DATA|.|QUIT"},
        {"LOGIN in the old AUTH= form",
         {.ehlo = "250-fake\r\n250 auth=login\r\n"},
         "EHLO|" + auth + envelope + "DATA|.|QUIT"},
        {"only PLAIN on a line without TLS",
         {.ehlo = "250-fake\r\n250 AUTH PLAIN\r\n"},
         "EHLO|" + envelope + "DATA|.|QUIT"},
        {"only CRAM-MD5", {.ehlo = "250-fake\r\n250 AUTH CRAM-MD5\r\n"}, "EHLO|" + envelope + "DATA|.|QUIT"},
        {"empty user name", {.ehlo = login}, "EHLO|" + envelope + "DATA|.|QUIT", 0, ""},
        {"password refused",
         {.ehlo = login, .replies = {{"czNn", "535 5.7.8 no\r\n"}}},
         "EHLO|" + auth + "QUIT",
         535},
        {"second of three recipients refused: no DATA",
         {.replies = {{"RCPT TO:<b@", "550 5.1.1 unknown\r\n"}}},
         "EHLO|" + two + "QUIT",
         550},
        {"DATA refused", {.replies = {{"DATA", "554 no data\r\n"}}}, "EHLO|" + envelope + "DATA|QUIT", 554},
        {"pipelined envelope",
         {.ehlo = pipelining},
         "EHLO|" + envelope + "DATA|.|QUIT",
         0,
         "ferrolo",
         {},
         "RSET\r\nMAIL FROM: <f@x.it>\r\nRCPT TO:<a@x.it>\r\nRCPT TO:<b@x.it>\r\nRCPT "
         "TO:<c@x.it>\r\nDATA\r\n"},
        {"pipelined refusals: the first one counts, RSET follows",
         {.ehlo = pipelining, .replies = {{"RCPT TO:<a@", "550 no a\r\n"}, {"RCPT", "551 no\r\n"}}},
         "EHLO|" + envelope + "DATA|.|RSET|QUIT",
         550},
        {"no greeting: time-out", {.greeting = ""}, "", -1},
        {"greeting other than 220", {.greeting = "554 go away\r\n"}, "QUIT", 554},
        {"EHLO and HELO refused",
         {.ehlo = "500 no\r\n", .replies = {{"HELO", "501 no\r\n"}}},
         "EHLO|HELO|QUIT",
         501},
        {"reply line of 16385 bytes", {.greeting = "220 " + std::string(16381, 'a') + "\r\n"}, "", -1},
        {"reply line of 16384 bytes",
         {.greeting = "220 " + std::string(16380, 'a') + "\r\n"},
         "EHLO|" + envelope + "DATA|.|QUIT"},
        {"line closed in the middle of the message",
         {.close_in_data = true},
         "EHLO|" + envelope + "DATA",
         -1,
         "ferrolo",
         folder.write("big", std::string(4 << 20, 'b'))},
        {"no answer to the end of the message",
         {.replies = {{".", "<silence>"}}},
         "EHLO|" + envelope + "DATA|.",
         -1},
        // Inside the message, QUIT would be taken for part of it: only closing the line ends it.
        {"attachment failing while read", {}, "EHLO|" + envelope + "DATA", -1, "ferrolo", "/proc/self/mem"},
    };
    client.Limits = {2000ms, 500ms, 500ms};
    message.Recipients = {{"", "a@x.it"}, {"Bi", "b@x.it"}, {"", "c@x.it"}};
    for (const auto& c : cases) {
        FakeSmtpServer server(c.script);
        client.Username = c.user;
        message.Attachment = c.attachment;
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(deliver(server.port), c.outcome) << c.name;
        EXPECT_EQ(server.transcript(), c.transcript) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - started, 3s) << c.name;
        EXPECT_EQ(log.statuses, (std::vector<std::string>{"Connected.", "Disconnected."})) << c.name;
        EXPECT_THAT(everything_sent(), Not(HasSubstr("czNncjN0MA=="))) << c.name;
        if (!c.one_write.empty()) {
            EXPECT_THAT(log.sent_blocks, ::testing::Contains(c.one_write)) << c.name;
        }
    }
}

TEST_F(SmtpClientTest, AiosmtpdReceivesTheMessageOnlyOverALineItCanTrust) {
    const std::string ok = "LOGIN ferrolo ok\n";
    const struct {
        std::string tls;
        mail::TlsMode mode;
        std::string auth_log;  // empty: nothing may reach the server
        bool without_login = false;
        std::string certificate_names = "DNS:localhost,IP:127.0.0.1";
        mail::CertificateCheck check = mail::CertificateCheck::Verify;
    } cases[] = {
        {"none", mail::TlsMode::None, ok},
        {"starttls", mail::TlsMode::Explicit, ok},
        {"implicit", mail::TlsMode::Implicit, ok},
        {"starttls", mail::TlsMode::Explicit, "PLAIN ferrolo ok\n", true},
        {"starttls", mail::TlsMode::Explicit, "", false, "DNS:other.example"},
        {"implicit", mail::TlsMode::Implicit, "", false, "DNS:other.example"},
        {"starttls", mail::TlsMode::Explicit, ok, false, "DNS:other.example", mail::CertificateCheck::Skip},
        {"none", mail::TlsMode::Explicit, ""},  // STARTTLS not offered
    };
    message.Recipients = {{"Ops", "ops@example.com"}};
    message.CCList = {{"", "cc@example.com"}};
    const std::string attachment = std::string("PK\x03\x04\xFF\x00", 6) + std::string(3000, 'z');
    message.Attachment = folder.write("log_ext.ZIP", attachment);
    for (const auto& c : cases) {
        const std::string row = c.tls + " " + c.certificate_names + " " + c.auth_log;
        TempFolder certificates;
        if (c.tls != "none") {
            trust_test_ca(certificates.path(), c.certificate_names);
        }
        SmtpSink sink("--user ferrolo --password s3gr3t0 --tls " + c.tls + " --certificates " +
                      certificates.path() + (c.without_login ? " --without-login" : ""));
        client.UseTLS = c.mode;
        client.Certificates = c.check;
        EXPECT_EQ(deliver(sink.port) == 0, !c.auth_log.empty()) << row;
        EXPECT_EQ(sink.file("auth.log"), c.auth_log) << row;
        EXPECT_EQ(everything_sent().find("AUTH") != std::string::npos, !c.auth_log.empty()) << row;
        for (const std::string& secret : {mail::base64("s3gr3t0"), mail::base64("\0ferrolo\0s3gr3t0"s)}) {
            EXPECT_THAT(everything_sent(), Not(HasSubstr(secret))) << row;
        }
        if (c.auth_log.empty()) {
            EXPECT_EQ(sink.file("message-1.eml"), "") << row;
            continue;
        }
        EXPECT_EQ(sink.file("message-1.envelope"), "f@x.it\nops@example.com\ncc@example.com\n") << row;
        EXPECT_EQ(read_by_python(sink.folder / "message-1.eml"),
                  (std::map<std::string, std::string>{
                      {"defects", "0"},
                      {"from", "Ferrolo <f@x.it>"},
                      {"to", "Ops <ops@example.com>"},
                      {"cc", "cc@example.com"},
                      {"subject", "Report"},
                      {"date", "2026-12-06T18:00:00+00:00"},
                      {"multipart", "True"},
                      {"text", "7bit " + mail::base64("riga uno\n.\nriga tre\n")},
                      {"attachment", "log_ext.ZIP " + mail::base64(attachment)},
                  }))
            << row;
    }
}

}  // namespace
}  // namespace ferrolo::testing
