// The message as DATA carries it: headers, folding, names, dates, the MIME parts and base64, checked
// byte by byte and by Python's email package.
#include "mail/mail_message.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "tests/mail/smtp_servers.h"

namespace ferrolo::testing {
namespace {

using mail::TMailMessage;

std::string written(const TMailMessage& message) {
    platform::File attachment = message.open_attachment();
    std::string text;
    message.write(attachment, [&](std::string_view piece) { text += piece; });
    return text;
}

TEST(MailMessage, WritesTheBytesTheFormatAsks) {
    TempFolder folder;
    const std::string base64_76 =
        "paWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWl";
    const struct {
        std::string from_name = "Ferrolo";
        std::string subject = "Report copie interne";
        mail::MessageDate date = {{2026, 12, 6, 18, 5, 9}, 60};
        std::vector<std::string> body = {"Inizio", ".", "..due", "Fine"};
        std::optional<std::string> attachment = {};  // the content of log_ext.ZIP
        std::string expected = "";                   // a part of the text
    } cases[] = {
        // Plain text: the headers in order; a line beginning with a dot gets one more.
        {.expected = "From: \"Ferrolo\" <f@x.it>\r\nSubject: Report copie interne\r\nTo: ops@example.com\r\n"
                     "Date: Sun, 6 Dec 2026 18:05:09 +0100\r\n\r\nInizio\r\n..\r\n...due\r\nFine\r\n"},
        // An empty run log with an attachment: the attachment part alone. "<B>" stands for the boundary.
        {.body = {"", " \t"},
         .attachment = "PK",
         .expected =
             "Content-Type: multipart/mixed; boundary=\"<B>\"\r\nMIME-Version: 1.0\r\nDate: Sun, 6 Dec 2026 "
             "18:05:09 +0100\r\n\r\nThis is a multi-part message in MIME "
             "format\r\n\r\n--<B>\r\nContent-Type: "
             "application/octet-stream;\r\n        name=\"log_ext.ZIP\"\r\nContent-Transfer-Encoding: "
             "base64\r\n"
             "Content-Disposition: attachment;\r\n        "
             "filename=\"log_ext.ZIP\"\r\n\r\nUEs=\r\n\r\n--<B>--\r\n\r\n"},
        {.body = {"lunedi"},
         .attachment = "x",
         .expected =
             "--<B>\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: 7bit\r\n\r\nlunedi\r\n"},
        {.body = {"lunedì", "."},
         .attachment = "x",
         .expected = "Content-Transfer-Encoding: 8bit\r\n\r\nlunedì\r\n..\r\n"},
        // 100 bytes make base64 lines of 76 and 60 characters.
        {.attachment = std::string(100, '\xA5'),
         .expected = "\r\n\r\n" + base64_76 + "\r\n" + base64_76.substr(0, 56) + "pQ==\r\n\r\n--<B>--"},
        {.from_name = "Il \"backup\" \\ notte",
         .expected = "From: \"Il \\\"backup\\\" \\\\ notte\" <f@x.it>\r\n"},
        {.from_name = "Società", .expected = "From: =?utf-8?B?U29jaWV0w6A=?= <f@x.it>\r\n"},
        {.from_name = "", .expected = "From: \"f@x.it\" <f@x.it>\r\n"},
        // Folded at a blank before column 78; a word longer than that is kept whole.
        {.subject = std::string(60, 'a') + " " + std::string(60, 'b') + " c",
         .expected = "Subject: " + std::string(60, 'a') + "\r\n " + std::string(60, 'b') + " c\r\n"},
        {.subject = std::string(90, 'x'), .expected = "Subject: " + std::string(90, 'x') + "\r\nTo:"},
        {.date = {{2025, 7, 14, 23, 59, 59}, -270}, .expected = "Date: Mon, 14 Jul 2025 23:59:59 -0430\r\n"}};
    for (const auto& c : cases) {
        TMailMessage message;
        message.From = {c.from_name, "f@x.it"};
        message.Recipients = {{"", "ops@example.com"}};
        message.Subject = c.subject;
        message.Date = c.date;
        message.Body = c.body;
        if (c.attachment) {
            message.Attachment = folder.write("log_ext.ZIP", *c.attachment);
        }
        EXPECT_THAT(written(message), ::testing::HasSubstr(std::regex_replace(c.expected, std::regex("<B>"),
                                                                              mail::boundary())));
    }
}

TEST(PythonEmailPeer, ReadsNamesSubjectTextAndAttachmentAsWritten) {
    TempFolder folder;
    std::string bytes;
    for (int n = 0; n < 5000; ++n) {
        bytes += static_cast<char>(n * 7919 % 251);
    }
    TMailMessage message;
    message.From = {"Società Ferrolo, sede di Forlì", "f@x.it"};
    message.Recipients = {{"Ufficio \"Backup\"", "backup.notturno@example.com"}, {"", "sistemi@example.com"}};
    message.CCList = {{"", "d@x.it"}};
    message.Subject = "Rapporto delle copie di sicurezza di lunedì: città, società, qualità, novità";
    message.Date = {{2026, 12, 6, 18, 5, 9}, 60};
    message.Body = {"Copia di lunedì", ".", "fine"};
    message.Attachment = folder.write("log_ext.ZIP", bytes);
    // As a server keeps it: without the dots added for the transfer.
    write_file(folder / "message.eml",
               std::regex_replace(written(message), std::regex("\r\n\\.\\."), "\r\n."));
    EXPECT_EQ(read_by_python(folder / "message.eml"),
              "defects: 0\nfrom: \"Società Ferrolo, sede di Forlì\" <f@x.it>\nto: \"Ufficio \\\"Backup\\\"\" "
              "<backup.notturno@example.com>, sistemi@example.com\ncc: d@x.it\nsubject: " +
                  message.Subject + "\ndate: 2026-12-06T18:05:09+01:00\nmultipart: True\ntext: 8bit " +
                  mail::base64("Copia di lunedì\n.\nfine\n") + "\nattachment: log_ext.ZIP " +
                  mail::base64(bytes) + "\n");
}

}  // namespace
}  // namespace ferrolo::testing
