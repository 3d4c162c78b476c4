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

struct RecordingLog final : mail::ConnectionLog {
    void received(std::string_view) override {}
    void sent(std::string_view block) override { sent_blocks += std::string(block) + "|"; }
    void status(std::string_view text) override { statuses.emplace_back(text); }
    std::string sent_blocks;  // each followed by "|"
    std::vector<std::string> statuses;
};

class SmtpClientTest : public ::testing::Test {
protected:
    SmtpClientTest() {
        client.Host = "127.0.0.1";
        client.Username = "ferrolo";
        client.Password = "s3gr3t0";
        client.Intercept = &log;
        message.From = {"Ferrolo", "f@x.it"};
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

    TempFolder folder;
    RecordingLog log;
    mail::TSmtpClient client;
    mail::TMailMessage message;
};

// The EHLO reply of a server that offers `capability`.
std::pair<std::string, std::string> offering(const std::string& capability) {
    return {"EHLO", "250-fake\r\n250 " + capability + "\r\n"};
}

TEST_F(SmtpClientTest, ExchangesFollowTheServersCapabilitiesAndReplies) {
    const std::string two = "RSET|MAIL FROM: <f@x.it>|RCPT TO:<a@x.it>|RCPT TO:<b@x.it>|";
    const std::string envelope = two + "RCPT TO:<c@x.it>|DATA";
    const std::string sent = "EHLO|" + envelope + "|.|QUIT";
    const std::string login = "EHLO|AUTH LOGIN|ZmVycm9sbw==|czNncjN0MA==|";  // "ferrolo", "s3gr3t0"
    const std::string batch =
        "|RSET\r\nMAIL FROM: <f@x.it>\r\nRCPT TO:<a@x.it>\r\nRCPT TO:<b@x.it>\r\nRCPT "
        "TO:<c@x.it>\r\nDATA\r\n|";
    const auto pipelining = offering("PIPELINING");
    const std::string big = folder.write("big", std::string(4 << 20, 'b'));
    const struct {
        std::string name;
        Replies script;
        std::string transcript;
        int outcome = 0;  // as deliver gives it
        std::optional<std::string> attachment = {};
        std::string user = "ferrolo";
    } cases[] = {
        {"EHLO refused: HELO, no AUTH", {{"EHLO", "500 what\r\n"}}, "EHLO|HELO|" + envelope + "|.|QUIT"},
        {"LOGIN in the old AUTH= form", {offering("auth=login")}, login + envelope + "|.|QUIT"},
        {"only PLAIN, on a line without TLS", {offering("AUTH PLAIN")}, sent},
        {"only CRAM-MD5", {offering("AUTH CRAM-MD5")}, sent},
        {"empty user name", {offering("AUTH LOGIN")}, sent, 0, {}, ""},
        {"password refused", {offering("AUTH LOGIN"), {"czNn", "535 5.7.8 no\r\n"}}, login + "QUIT", 535},
        {"second of three refused", {{"RCPT TO:<b@", "550 5.1.1 no\r\n"}}, "EHLO|" + two + "QUIT", 550},
        {"DATA refused", {{"DATA", "554 no data\r\n"}}, "EHLO|" + envelope + "|QUIT", 554},
        {"pipelined", {pipelining}, sent},
        // Refusals in a pipelined envelope: the first one counts, RSET follows.
        {"pipelined refusals",
         {pipelining, {"RCPT TO:<a@", "550 a\r\n"}, {"RCPT", "551 b\r\n"}},
         "EHLO|" + envelope + "|.|RSET|QUIT",
         550},
        {"no greeting: time-out", {{"<greeting>", "<silence>"}}, "", -1},
        {"greeting other than 220", {{"<greeting>", "554 go away\r\n"}}, "QUIT", 554},
        {"EHLO and HELO refused", {{"EHLO", "500 no\r\n"}, {"HELO", "501 no\r\n"}}, "EHLO|HELO|QUIT", 501},
        {"reply line of 16385 bytes", {{"<greeting>", "220 " + std::string(16381, 'a') + "\r\n"}}, "", -1},
        {"reply line of 16384 bytes", {{"<greeting>", "220 " + std::string(16380, 'a') + "\r\n"}}, sent},
        {"line closed in the middle of the message", {{"<data>", "<close>"}}, "EHLO|" + envelope, -1, big},
        {"no answer to the end of the message", {{".", "<silence>"}}, "EHLO|" + envelope + "|.", -1},
        // Inside the message, QUIT would be taken for part of it: only closing the line ends it.
        {"attachment failing while read", {}, "EHLO|" + envelope, -1, "/proc/self/mem"}};
    client.Limits = {2000ms, 500ms, 500ms};
    message.Recipients = {{"", "a@x.it"}, {"Bi", "b@x.it"}, {"", "c@x.it"}};
    for (const auto& c : cases) {
        TestServer server = fake_smtp_server(c.script);
        client.Username = c.user;
        message.Attachment = c.attachment;
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(deliver(server.port), c.outcome) << c.name;
        EXPECT_EQ(server.rest_of_output(), c.transcript) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - started, 3s) << c.name;
        EXPECT_EQ(log.statuses, (std::vector<std::string>{"Connected.", "Disconnected."})) << c.name;
        EXPECT_THAT(log.sent_blocks, Not(HasSubstr("czNncjN0MA=="))) << c.name;
        // The envelope leaves in one write exactly when the server pipelines.
        EXPECT_EQ(log.sent_blocks.find(batch) != std::string::npos,
                  !c.script.empty() && c.script[0] == pipelining)
            << c.name;
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
        {"starttls", mail::TlsMode::Explicit, ok},
        {"implicit", mail::TlsMode::Implicit, ok},
        {"starttls", mail::TlsMode::Explicit, "PLAIN ferrolo ok\n", true},
        {"starttls", mail::TlsMode::Explicit, "", false, "DNS:other.example"},
        {"implicit", mail::TlsMode::Implicit, "", false, "DNS:other.example"},
        {"starttls", mail::TlsMode::Explicit, ok, false, "DNS:other.example", mail::CertificateCheck::Skip},
        {"none", mail::TlsMode::Explicit, ""}};  // the last one: STARTTLS not offered
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
        TestServer sink("smtp_sink.py", "--user ferrolo --password s3gr3t0 --tls " + c.tls +
                                            " --certificates " + certificates.path() +
                                            (c.without_login ? " --without-login" : ""));
        client.UseTLS = c.mode;
        client.Certificates = c.check;
        EXPECT_EQ(deliver(sink.port) == 0, !c.auth_log.empty()) << row;
        EXPECT_EQ(sink.file("auth.log"), c.auth_log) << row;
        EXPECT_EQ(log.sent_blocks.find("AUTH") != std::string::npos, !c.auth_log.empty()) << row;
        for (const std::string& secret :
             {mail::base64("s3gr3t0"), mail::base64(std::string("\0ferrolo\0s3gr3t0", 16))}) {
            EXPECT_THAT(log.sent_blocks, Not(HasSubstr(secret))) << row;
        }
        if (c.auth_log.empty()) {
            EXPECT_EQ(sink.file("message-1.eml"), "") << row;
            continue;
        }
        EXPECT_EQ(sink.file("message-1.envelope"), "f@x.it\nops@example.com\ncc@example.com\n") << row;
        EXPECT_EQ(
            read_by_python(sink.folder / "message-1.eml"),
            "defects: 0\nfrom: Ferrolo <f@x.it>\nto: Ops <ops@example.com>\ncc: cc@example.com\nsubject: "
            "Report\ndate: 2026-12-06T18:00:00+00:00\nmultipart: True\ntext: 7bit " +
                mail::base64("riga uno\n.\nriga tre\n") + "\nattachment: log_ext.ZIP " +
                mail::base64(attachment) + "\n")
            << row;
    }
}

}  // namespace
}  // namespace ferrolo::testing
