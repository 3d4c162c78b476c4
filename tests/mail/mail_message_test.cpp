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

std::string repeated(const std::string& text, int times) {
    std::string result;
    for (int n = 0; n < times; ++n) {
        result += text;
    }
    return result;
}

TEST(MailMessage, WritesTheBytesTheFormatAsks) {
    TempFolder folder;
    const std::string b = mail::boundary();
    const struct {
        std::string name;
        std::string from_name = "Ferrolo";
        std::string subject = "Report copie interne";
        mail::MessageDate date = {{2026, 12, 6, 18, 5, 9}, 60};
        std::vector<std::string> body = {"Inizio", ".", "..due", "Fine"};
        std::optional<std::string> attachment = {};  // the content of log_ext.ZIP
        std::string expected = "";                   // a part of the text
    } cases[] = {
        {.name = "plain text: headers in order, lines beginning with a dot doubled",
         .expected = "From: \"Ferrolo\" <f@x.it>\r\nSubject: Report copie interne\r\nTo: ops@example.com\r\n"
                     "Date: Sun, 6 Dec 2026 18:05:09 +0100\r\n\r\nInizio\r\n..\r\n...due\r\nFine\r\n"},
        {.name = "empty run log: the attachment part alone",
         .body = {"", " \t"},
         .attachment = "PK",
         .expected =
             "Content-Type: multipart/mixed; boundary=\"" + b +
             "\"\r\nMIME-Version: 1.0\r\nDate: Sun, 6 Dec 2026 18:05:09 +0100\r\n\r\nThis is a multi-part "
             "message in MIME format\r\n\r\n--" +
             b +
             "\r\nContent-Type: application/octet-stream;\r\n        name=\"log_ext.ZIP\"\r\n"
             "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n"
             "        filename=\"log_ext.ZIP\"\r\n\r\nUEs=\r\n\r\n--" +
             b + "--\r\n\r\n"},
        {.name = "ASCII text: 7bit",
         .body = {"Verbale di lunedi"},
         .attachment = "x",
         .expected = "--" + b +
                     "\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: 7bit\r\n\r\n"
                     "Verbale di lunedi\r\n"},
        {.name = "accented text: 8bit",
         .body = {"Verbale di lunedì", "."},
         .attachment = "x",
         .expected = "Content-Transfer-Encoding: 8bit\r\n\r\nVerbale di lunedì\r\n..\r\n"},
        {.name = "100 bytes attached: lines of 76 and 60",
         .attachment = std::string(100, '\xA5'),
         .expected =
             "\r\n\r\n" + repeated("paWl", 19) + "\r\n" + repeated("paWl", 14) + "pQ==\r\n\r\n--" + b},
        {.name = "quote and backslash in a name",
         .from_name = "Il \"backup\" \\ notte",
         .expected = "From: \"Il \\\"backup\\\" \\\\ notte\" <f@x.it>\r\n"},
        {.name = "accent in a name",
         .from_name = "Società",
         .expected = "From: =?utf-8?B?U29jaWV0w6A=?= <f@x.it>\r\n"},
        {.name = "no name", .from_name = "", .expected = "From: \"f@x.it\" <f@x.it>\r\n"},
        {.name = "long subject folded at a blank",
         .subject = std::string(60, 'a') + " " + std::string(60, 'b') + " c",
         .expected = "Subject: " + std::string(60, 'a') + "\r\n " + std::string(60, 'b') + " c\r\n"},
        {.name = "long subject without blanks kept whole",
         .subject = std::string(90, 'x'),
         .expected = "Subject: " + std::string(90, 'x') + "\r\nTo:"},
        {.name = "negative offset from UTC",
         .date = {{2025, 7, 14, 23, 59, 59}, -270},
         .expected = "Date: Mon, 14 Jul 2025 23:59:59 -0430\r\n"},
    };
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
        EXPECT_THAT(written(message), ::testing::HasSubstr(c.expected)) << c.name;
    }
}

TEST(AddressLists, NamesQuotesCommentsAndAngleBracketsAreUnderstood) {
    const struct {
        std::string text;
        std::vector<mail::MailAddress> items;
    } cases[] = {
        {"m@x.it (Mario (ufficio))", {{"Mario (ufficio)", "m@x.it"}}},
        {" , <solo@x.it> ,, ", {{"", "solo@x.it"}}},
        {"\"Il \\\"capo\\\"\" <c@x.it>,Anna <a@y.it>", {{"Il \"capo\"", "c@x.it"}, {"Anna", "a@y.it"}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(mail::parse_address_list(c.text), c.items) << c.text;
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
              (std::map<std::string, std::string>{
                  {"defects", "0"},
                  {"from", "\"Società Ferrolo, sede di Forlì\" <f@x.it>"},
                  {"to", "\"Ufficio \\\"Backup\\\"\" <backup.notturno@example.com>, sistemi@example.com"},
                  {"cc", "d@x.it"},
                  {"subject", message.Subject},
                  {"date", "2026-12-06T18:05:09+01:00"},
                  {"multipart", "True"},
                  {"text", "8bit " + mail::base64("Copia di lunedì\n.\nfine\n")},
                  {"attachment", "log_ext.ZIP " + mail::base64(bytes)},
              }));
}

}  // namespace
}  // namespace ferrolo::testing
