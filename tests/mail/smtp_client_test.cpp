// The SMTP client against a scripted server for the exact exchanges, and against aiosmtpd on 127.0.0.1
// for real delivery, authentication and TLS.
#include "mail/smtp_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "mail/mail_error.h"
#include "platform/system_error.h"
#include "tests/mail/smtp_servers.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::testing {
namespace {

using mail::MailError;
using ::testing::HasSubstr;
using namespace std::chrono_literals;

struct RecordingLog final : mail::ConnectionLog {
    void received(std::string_view block) override { received_blocks.emplace_back(block); }
    void sent(std::string_view block) override { sent_blocks.emplace_back(block); }
    void status(std::string_view text) override { statuses.emplace_back(text); }
    std::string everything_sent() const {
        std::string all;
        for (const std::string& block : sent_blocks) {
            all += block;
        }
        return all;
    }
    std::vector<std::string> received_blocks;
    std::vector<std::string> sent_blocks;
    std::vector<std::string> statuses;
};

using Replies = std::vector<std::pair<std::string, std::string>>;

// A script answering EHLO with `ehlo` (the default one when empty) and the commands with `replies`.
FakeSmtpServer::Script script(const std::string& ehlo, Replies replies = {}) {
    FakeSmtpServer::Script result;
    if (!ehlo.empty()) {
        result.ehlo = ehlo;
    }
    result.replies = std::move(replies);
    return result;
}

class SmtpClientTest : public ::testing::Test {
protected:
    SmtpClientTest() {
        client.Host = "127.0.0.1";
        client.Limits = {5000ms, 2000ms, 2000ms};
        client.Intercept = &log;
        message.From = {"Ferrolo", "f@x.it"};
        message.Recipients = {{"", "a@x.it"}};
        message.Subject = "Report";
        message.Date = {{2026, 12, 6, 18, 0, 0}, 0};
        message.Body = {"riga uno", ".", "riga tre"};
    }

    // Connects, sends and disconnects; the error of the send, if any.
    std::optional<MailError> deliver(uint16_t port) {
        client.Port = port;
        std::optional<MailError> failure;
        try {
            client.Connect();
            client.Send(message);
        } catch (const MailError& error) {
            failure = error;
        }
        client.Disconnect();
        return failure;
    }

    // The commands a server received, with the computer's name after EHLO and HELO left out.
    static std::vector<std::string> verbs(FakeSmtpServer& server) {
        std::vector<std::string> commands = server.commands();
        for (std::string& command : commands) {
            if (command.starts_with("EHLO ") || command.starts_with("HELO ")) {
                command.resize(4);
            }
        }
        return commands;
    }

    TempFolder folder;
    RecordingLog log;
    mail::TSmtpClient client;
    mail::TMailMessage message;
};

TEST_F(SmtpClientTest, ExchangesFollowTheServersCapabilitiesAndReplies) {
    const std::string user = mail::base64("ferrolo");
    const std::string password = mail::base64("s3gr3t0");
    const struct {
        std::string name;
        std::string ehlo;
        std::vector<std::pair<std::string, std::string>> replies;
        std::string username;
        std::vector<std::string> commands;
        int refusal;  // the reply code the send fails with; 0 for success
    } cases[] = {
        {"EHLO refused: HELO, no AUTH",
         "500 what\r\n",
         {},
         "ferrolo",
         {"EHLO", "HELO", "RSET", "MAIL FROM: <f@x.it>", "RCPT TO:<a@x.it>", "DATA", "QUIT"},
         0},
        {"LOGIN among the mechanisms",
         "250-fake\r\n250-AUTH PLAIN LOGIN\r\n250 8BITMIME\r\n",
         {},
         "ferrolo",
         {"EHLO", "AUTH LOGIN", user, password, "RSET", "MAIL FROM: <f@x.it>", "RCPT TO:<a@x.it>", "DATA",
          "QUIT"},
         0},
        {"LOGIN in the old AUTH= form",
         "250-fake\r\n250 auth=login\r\n",
         {},
         "ferrolo",
         {"EHLO", "AUTH LOGIN", user, password, "RSET", "MAIL FROM: <f@x.it>", "RCPT TO:<a@x.it>", "DATA",
          "QUIT"},
         0},
        {"only PLAIN offered on a plain line",
         "250-fake\r\n250 AUTH PLAIN\r\n",
         {},
         "ferrolo",
         {"EHLO", "RSET", "MAIL FROM: <f@x.it>", "RCPT TO:<a@x.it>", "DATA", "QUIT"},
         0},
        {"only CRAM-MD5 offered",
         "250-fake\r\n250 AUTH CRAM-MD5\r\n",
         {},
         "ferrolo",
         {"EHLO", "RSET", "MAIL FROM: <f@x.it>", "RCPT TO:<a@x.it>", "DATA", "QUIT"},
         0},
        {"empty user name",
         "250-fake\r\n250 AUTH LOGIN\r\n",
         {},
         "",
         {"EHLO", "RSET", "MAIL FROM: <f@x.it>", "RCPT TO:<a@x.it>", "DATA", "QUIT"},
         0},
        {"password refused",
         "250-fake\r\n250 AUTH LOGIN\r\n",
         {{password, "535 5.7.8 no\r\n"}},
         "ferrolo",
         {"EHLO", "AUTH LOGIN", user, password, "QUIT"},
         535},
        {"sender refused",
         "250 fake\r\n",
         {{"MAIL", "553 not you\r\n"}},
         "",
         {"EHLO", "RSET", "MAIL FROM: <f@x.it>", "QUIT"},
         553},
        {"DATA refused",
         "250 fake\r\n",
         {{"DATA", "554 no data\r\n"}},
         "",
         {"EHLO", "RSET", "MAIL FROM: <f@x.it>", "RCPT TO:<a@x.it>", "DATA", "QUIT"},
         554},
    };
    for (const auto& c : cases) {
        FakeSmtpServer server(script(c.ehlo, c.replies));
        client.Username = c.username;
        client.Password = "s3gr3t0";
        const auto failure = deliver(server.port());
        EXPECT_EQ(verbs(server), c.commands) << c.name;
        EXPECT_EQ(failure ? failure->reply_code() : 0, c.refusal) << c.name;
    }
}

TEST_F(SmtpClientTest, SecondOfThreeRecipientsRefusedStopsThePlainTransferBeforeData) {
    FakeSmtpServer server(script("", {{"RCPT TO:<b@", "550 5.1.1 unknown\r\n"}}));
    message.Recipients = {{"", "a@x.it"}, {"", "b@x.it"}, {"", "c@x.it"}};
    const auto failure = deliver(server.port());
    ASSERT_TRUE(failure);
    EXPECT_STREQ(failure->what(), "550 5.1.1 unknown");
    EXPECT_EQ(verbs(server), (std::vector<std::string>{"EHLO", "RSET", "MAIL FROM: <f@x.it>",
                                                       "RCPT TO:<a@x.it>", "RCPT TO:<b@x.it>", "QUIT"}));
}

TEST_F(SmtpClientTest, PipeliningSendsTheEnvelopeInOneWriteAndTheMessageAfterDataIsAccepted) {
    FakeSmtpServer server(script("250-fake\r\n250 PIPELINING\r\n"));
    message.Recipients = {{"", "a@x.it"}, {"Bi", "b@x.it"}};
    EXPECT_FALSE(deliver(server.port()));
    EXPECT_THAT(log.sent_blocks,
                ::testing::Contains(
                    "RSET\r\nMAIL FROM: <f@x.it>\r\nRCPT TO:<a@x.it>\r\nRCPT TO:<b@x.it>\r\nDATA\r\n"));
    EXPECT_THAT(server.data(), HasSubstr("\r\nriga uno\r\n..\r\nriga tre\r\n"));
}

TEST_F(SmtpClientTest, PipelinedRefusalIsFollowedByRsetAndReportsTheFirstFailure) {
    FakeSmtpServer server(
        script("250-fake\r\n250 PIPELINING\r\n", {{"RCPT TO:<a@", "550 no a\r\n"}, {"RCPT", "551 no\r\n"}}));
    message.Recipients = {{"", "a@x.it"}, {"", "b@x.it"}};
    const auto failure = deliver(server.port());
    ASSERT_TRUE(failure);
    EXPECT_STREQ(failure->what(), "550 no a");
    EXPECT_EQ(verbs(server),
              (std::vector<std::string>{"EHLO", "RSET", "MAIL FROM: <f@x.it>", "RCPT TO:<a@x.it>",
                                        "RCPT TO:<b@x.it>", "DATA", "RSET", "QUIT"}));
}

TEST_F(SmtpClientTest, FailuresOfTheLineEndTheConnectionWithinTheLimits) {
    const auto greeting = [](std::string text) {
        FakeSmtpServer::Script result;
        result.greeting = std::move(text);
        return result;
    };
    FakeSmtpServer::Script closing = script("");
    closing.close_in_data = 40;
    const struct {
        std::string name;
        FakeSmtpServer::Script script;
        bool connects;
    } cases[] = {
        {"no greeting", greeting(""), false},
        {"greeting other than 220", greeting("554 go away\r\n"), false},
        {"EHLO and HELO refused", script("500 no\r\n", {{"HELO", "501 no\r\n"}}), false},
        {"reply line of 16385 bytes", greeting("220 " + std::string(16381, 'a') + "\r\n"), false},
        {"reply line of 16384 bytes", greeting("220 " + std::string(16380, 'a') + "\r\n"), true},
        {"line closed in the middle of the message", closing, true},
        {"no answer to the end of the message", script("", {{"<end of data>", "<silence>"}}), true},
    };
    for (const auto& c : cases) {
        FakeSmtpServer server(c.script);
        client.Limits = {2000ms, 500ms, 500ms};
        client.Port = server.port();
        const auto started = std::chrono::steady_clock::now();
        bool connected = false;
        try {
            client.Connect();
            connected = true;
            client.Send(message);
            if (c.script.greeting.size() < 16384) {
                ADD_FAILURE() << c.name << ": the send succeeded";
            }
        } catch (const MailError& error) {
            EXPECT_FALSE(client.Connected()) << c.name << ": " << error.what();
        }
        client.Disconnect();
        EXPECT_EQ(connected, c.connects) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - started, 3s) << c.name;
        EXPECT_EQ(log.statuses, (std::vector<std::string>{"Connected.", "Disconnected."})) << c.name;
        log.statuses.clear();
    }
}

TEST_F(SmtpClientTest, AttachmentThatFailsWhileBeingReadClosesTheLineInsteadOfSayingQuit) {
    FakeSmtpServer server(script(""));
    // Opens as a regular file; reading it fails.
    message.Attachment = "/proc/self/mem";
    client.Port = server.port();
    client.Connect();
    EXPECT_THROW(client.Send(message), platform::SystemError);
    EXPECT_FALSE(client.Connected());
    client.Disconnect();
    EXPECT_EQ(verbs(server).back(), "DATA");
}

// Real servers: aiosmtpd with AUTH LOGIN required, plain, with STARTTLS and with TLS from the first byte.
class RealServerTest : public SmtpClientTest {
protected:
    RealServerTest() {
        client.Username = "ferrolo";
        client.Password = "s3gr3t0";
        message.Recipients = {{"Ops", "ops@example.com"}};
        message.CCList = {{"", "cc@example.com"}};
        message.Attachment =
            folder.write("log_ext.ZIP", std::string("PK\x03\x04\xFF\x00", 6) + std::string(3000, 'z'));
    }
    SmtpSink::Options sink_options(const std::string& tls) {
        SmtpSink::Options options;
        options.tls = tls;
        options.user = "ferrolo";
        options.password = "s3gr3t0";
        options.certificates = certificates;
        return options;
    }

    TestCertificates certificates = make_test_certificates(folder.path());
    TrustedCa trusted{certificates.ca};
};

TEST_F(RealServerTest, DeliversWithAuthLoginOverEachKindOfConnection) {
    const struct {
        std::string tls;
        mail::TlsMode mode;
    } cases[] = {{"none", mail::TlsMode::None},
                 {"starttls", mail::TlsMode::Explicit},
                 {"implicit", mail::TlsMode::Implicit}};
    for (const auto& c : cases) {
        TempFolder mailbox;
        SmtpSink sink(mailbox.path(), sink_options(c.tls));
        client.UseTLS = c.mode;
        const auto failure = deliver(sink.port());
        EXPECT_FALSE(failure) << c.tls << ": " << failure->what();
        EXPECT_EQ(sink.auth_log(), "LOGIN ferrolo ok\n") << c.tls;
        EXPECT_EQ(sink.envelope(1),
                  (std::vector<std::string>{"f@x.it", "ops@example.com", "cc@example.com"}));
        auto fields = parsed_message(sink.message(1), mailbox.path());
        EXPECT_EQ(fields["attachment"], "log_ext.ZIP " + mail::base64(read_file(*message.Attachment)))
            << c.tls;
    }
}

TEST_F(RealServerTest, CertificateForAnotherNameGetsNoCredentialsUnlessVerificationIsOff) {
    TempFolder other_folder;
    certificates = make_test_certificates(other_folder.path(), "DNS:other.example");
    TrustedCa other_ca{certificates.ca};
    for (const std::string tls : {"starttls", "implicit"}) {
        for (const auto check : {mail::CertificateCheck::Verify, mail::CertificateCheck::Skip}) {
            TempFolder mailbox;
            SmtpSink sink(mailbox.path(), sink_options(tls));
            client.UseTLS = tls == "starttls" ? mail::TlsMode::Explicit : mail::TlsMode::Implicit;
            client.Certificates = check;
            const bool verified = check == mail::CertificateCheck::Verify;
            const auto failure = deliver(sink.port());
            EXPECT_EQ(failure.has_value(), verified) << tls;
            EXPECT_EQ(sink.auth_log(), verified ? "" : "LOGIN ferrolo ok\n") << tls;
            EXPECT_EQ(sink.message(1).empty(), verified) << tls;
            EXPECT_EQ(log.everything_sent().find("AUTH") == std::string::npos, verified) << tls;
            log.sent_blocks.clear();
        }
    }
}

TEST_F(RealServerTest, AuthPlainIsUsedInsideTlsOnlyWhenLoginIsNotOffered) {
    for (const auto mode : {mail::TlsMode::None, mail::TlsMode::Explicit}) {
        TempFolder mailbox;
        SmtpSink::Options options = sink_options(mode == mail::TlsMode::None ? "none" : "starttls");
        options.without_login = true;
        SmtpSink sink(mailbox.path(), options);
        client.UseTLS = mode;
        const bool secure = mode == mail::TlsMode::Explicit;
        const auto failure = deliver(sink.port());
        EXPECT_EQ(failure.has_value(), !secure)
            << "the server wants a login, which the plain line never gives";
        EXPECT_EQ(sink.auth_log(), secure ? "PLAIN ferrolo ok\n" : "");
        EXPECT_EQ(log.everything_sent().find("AUTH PLAIN ****\r\n") != std::string::npos, secure);
        EXPECT_EQ(log.everything_sent().find(mail::base64(std::string(1, '\0') + "ferrolo")),
                  std::string::npos);
        log.sent_blocks.clear();
    }
}

TEST_F(RealServerTest, ServerWithoutStarttlsGetsNeitherCredentialsNorMessage) {
    SmtpSink sink(folder.path(), sink_options("none"));
    client.UseTLS = mail::TlsMode::Explicit;
    const auto failure = deliver(sink.port());
    ASSERT_TRUE(failure);
    EXPECT_THAT(failure->what(), HasSubstr("STARTTLS"));
    EXPECT_EQ(sink.auth_log(), "");
    EXPECT_EQ(sink.message(1), "");
}

}  // namespace
}  // namespace ferrolo::testing
