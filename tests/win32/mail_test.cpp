// tests/win32/mail_test.cpp — under Wine: mail through the Schannel transport to the aiosmtpd servers that
// smtp_servers.py runs on the host, with the certificate checked or not.
#include <gtest/gtest.h>
#include <windows.h>

#include <wincrypt.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "mail/mail_error.h"
#include "mail/smtp_client.h"

namespace ferrolo {
namespace {

// The contents of `path`; empty when there is no such file.
std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SchannelMail, ArrivesWholeOnlyOverALineItCanTrust) {
    // The prefix is the build's own and every run makes a new CA, whose key is gone when the run ends.
    const std::string test_ca = contents(std::getenv("FERROLO_TEST_CA"));
    ASSERT_TRUE(CertAddEncodedCertificateToSystemStoreW(
        L"Root", reinterpret_cast<const BYTE*>(test_ca.data()), static_cast<DWORD>(test_ca.size())));
    mail::TMailMessage message;
    message.From = {"", "ferrolo@example.com"};
    message.Recipients = {{"", "admin@example.com"}};
    // Several TLS records' worth, so records are cut and joined on both sides.
    for (int line = 0; line < 600; ++line) {
        message.Body.push_back("Riga " + std::to_string(line) +
                               std::string(90, static_cast<char>('a' + line % 26)));
    }
    platform::File no_attachment = message.open_attachment();
    std::string sent;
    message.write(no_attachment, [&](std::string_view piece) { sent += piece; });

    struct Case {
        std::string server;
        mail::TlsMode mode;
        mail::CertificateCheck check;
        std::string refusal;  // empty when the message must arrive
    };
    using enum mail::TlsMode;
    using enum mail::CertificateCheck;
    const Case cases[] = {{"plain", None, Verify, ""},
                          {"trusted", Explicit, Verify, ""},
                          {"implicit", Implicit, Verify, ""},
                          {"untrusted", Explicit, Verify, "no chain to a trusted root"},
                          {"untrusted", Explicit, Skip, ""},  // after the refusal, which must leave no trace
                          {"other-name", Explicit, Verify, "certificate verify failed"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.server);
        const std::string folder = std::string(std::getenv("FERROLO_SMTP_SERVERS")) + c.server + "/";
        mail::TSmtpClient client;
        client.Host = "localhost";  // Wine matches a certificate's DNS names only
        client.Port = std::stoi(contents(folder + "port"));
        client.Username = "ferrolo";
        client.Password = "secret";
        client.UseTLS = c.mode;
        client.Certificates = c.check;
        std::string failure;
        try {
            client.Connect();
            client.Send(message);
            client.Disconnect();
        } catch (const mail::MailError& error) {
            failure = error.what();
        }
        if (c.refusal.empty()) {
            EXPECT_EQ(failure, "");
            EXPECT_TRUE(contents(folder + "message-1.eml") == sent) << "the message did not arrive whole";
            EXPECT_EQ(contents(folder + "auth.log"), "LOGIN ferrolo ok\n");
        } else {
            EXPECT_NE(failure.find(c.refusal), std::string::npos) << failure;
            EXPECT_EQ(contents(folder + "auth.log"), "") << "credentials left over a line not trusted";
        }
    }
}

}  // namespace
}  // namespace ferrolo
