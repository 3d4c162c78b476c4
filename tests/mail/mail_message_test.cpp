// The message as DATA carries it: headers, folding, names, dates, the MIME parts and base64, checked
// byte by byte and by Python's email package.
#include "mail/mail_message.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/mail/smtp_servers.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::testing {
namespace {

using mail::MailAddress;
using mail::TMailMessage;
using ::testing::HasSubstr;
using ::testing::Not;

std::string written(const TMailMessage& message) {
    platform::File attachment = message.open_attachment();
    std::string text;
    message.write(attachment, [&](std::string_view piece) { text += piece; });
    return text;
}

TMailMessage report_message() {
    TMailMessage message;
    message.From = {"Ferrolo", "ferrolo@example.com"};
    message.Recipients = {{"", "ops@example.com"}};
    message.Subject = "Report copie interne";
    message.Date = {{2026, 12, 6, 18, 5, 9}, 60};
    message.Body = {"Inizio", ".", "..due", "Fine"};
    return message;
}

// The lines between the first "--boundary" and the closing one.
std::vector<std::string> mime_lines(const std::string& text) {
    const std::string start = "--" + mail::boundary() + "\r\n";
    return crlf_lines(text.substr(text.find(start)));
}

TEST(PlainMessage, HasTheHeadersInOrderAndDotStuffedBodyLines) {
    EXPECT_EQ(written(report_message()),
              "From: \"Ferrolo\" <ferrolo@example.com>\r\n"
              "Subject: Report copie interne\r\n"
              "To: ops@example.com\r\n"
              "Date: Sun, 6 Dec 2026 18:05:09 +0100\r\n"
              "\r\n"
              "Inizio\r\n..\r\n...due\r\nFine\r\n");
}

TEST(MimeMessage, EmptyRunLogGivesThePreambleAndTheAttachmentPartOnly) {
    TempFolder folder;
    TMailMessage message = report_message();
    message.Body = {"", " \t"};
    message.Attachment = folder.write("log_ext.ZIP", "PK");
    const std::string text = written(message);
    const std::string b = mail::boundary();
    EXPECT_THAT(text, HasSubstr("Content-Type: multipart/mixed; boundary=\"" + b +
                                "\"\r\nMIME-Version: 1.0\r\n"
                                "Date: "));
    EXPECT_THAT(text,
                HasSubstr("\r\n\r\nThis is a multi-part message in MIME format\r\n\r\n--" + b +
                          "\r\nContent-Type: application/octet-stream;\r\n        name=\"log_ext.ZIP\"\r\n"
                          "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n"
                          "        filename=\"log_ext.ZIP\"\r\n\r\nUEs=\r\n\r\n--" +
                          b + "--\r\n\r\n"));
    EXPECT_THAT(text, Not(HasSubstr("text/plain")));
}

TEST(MimeMessage, TextPartIsEightBitOnlyWhenALineHoldsAByteAbove127) {
    TempFolder folder;
    const std::string attachment = folder.write("r.ZIP", "x");
    for (const auto& [line, encoding] :
         {std::pair{"Verbale di lunedi", "7bit"}, {"Verbale di lunedì", "8bit"}}) {
        TMailMessage message = report_message();
        message.Body = {line, "."};
        message.Attachment = attachment;
        EXPECT_THAT(mime_lines(written(message)),
                    ::testing::IsSupersetOf(std::vector<std::string>{
                        "Content-Type: text/plain", "Content-Transfer-Encoding: " + std::string(encoding),
                        line, ".."}))
            << line;
    }
}

TEST(MimeMessage, AttachmentOf100BytesTakesOneLineOf76AndOneOf60) {
    TempFolder folder;
    TMailMessage message = report_message();
    message.Attachment = folder.write("cento.bin", std::string(100, '\xA5'));
    const std::vector<std::string> lines = mime_lines(written(message));
    const auto first = std::find(lines.begin(), lines.end(), "        filename=\"cento.bin\"") + 2;
    ASSERT_LT(first + 2, lines.end());
    EXPECT_EQ(first[0].size(), 76u);
    EXPECT_EQ(first[1].size(), 60u);
    EXPECT_TRUE(first[1].ends_with("pQ=="));
    EXPECT_EQ(first[2], "");
}

TEST(MessageHeaders, DisplayNamesAreQuotedOrEncoded) {
    const struct {
        std::string name;
        std::string header;
    } cases[] = {
        {"Ferrolo", "From: \"Ferrolo\" <f@x.it>"},
        {"", "From: \"f@x.it\" <f@x.it>"},
        {"Il \"backup\" \\ notte", "From: \"Il \\\"backup\\\" \\\\ notte\" <f@x.it>"},
        {"Società", "From: =?utf-8?B?U29jaWV0w6A=?= <f@x.it>"},
    };
    for (const auto& c : cases) {
        TMailMessage message = report_message();
        message.From = {c.name, "f@x.it"};
        EXPECT_EQ(crlf_lines(written(message))[0], c.header) << c.name;
    }
}

TEST(MessageHeaders, LongHeadersAreFoldedBeforeColumn78AtBlanksOrCommas) {
    const struct {
        std::string header;
        std::vector<std::string> lines;
    } cases[] = {
        {"To: alpha.beta.gamma@example.com, delta.epsilon.zeta@example.com, eta.theta@example.com",
         {"To: alpha.beta.gamma@example.com, delta.epsilon.zeta@example.com,", " eta.theta@example.com"}},
        {"Subject: " + std::string(60, 'a') + " " + std::string(60, 'b') + " c",
         {"Subject: " + std::string(60, 'a'), " " + std::string(60, 'b') + " c"}},
        {"Subject: " + std::string(90, 'x'), {"Subject: " + std::string(90, 'x')}},
        {"Subject: short", {"Subject: short"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(crlf_lines(mail::fold_header(c.header)), c.lines) << c.header;
    }
}

TEST(MessageHeaders, DateCarriesTheWeekdayAndTheOffsetFromUtc) {
    const struct {
        mail::MessageDate date;
        std::string text;
    } cases[] = {
        {{{2026, 12, 6, 18, 5, 9}, 60}, "Sun, 6 Dec 2026 18:05:09 +0100"},
        {{{2024, 2, 29, 0, 0, 0}, 0}, "Thu, 29 Feb 2024 00:00:00 +0000"},
        {{{2025, 7, 14, 23, 59, 59}, -270}, "Mon, 14 Jul 2025 23:59:59 -0430"},
        {{{2000, 1, 1, 9, 30, 0}, 345}, "Sat, 1 Jan 2000 09:30:00 +0545"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(mail::date_text(c.date), c.text);
    }
}

TEST(MessageHeaders, BoundaryIsMadeOncePerProcessOfLettersDigitsAndOneEqualsUnderscore) {
    const std::string& b = mail::boundary();
    EXPECT_EQ(&b, &mail::boundary());
    ASSERT_EQ(b.size(), 34u);
    const size_t pair = b.find("=_");
    ASSERT_NE(pair, std::string::npos);
    std::string rest = b;
    rest.erase(pair, 2);
    EXPECT_TRUE(std::all_of(rest.begin(), rest.end(), [](char c) { return std::isalnum(c); })) << b;
}

TEST(AddressLists, NamesQuotesCommentsAndAngleBracketsAreUnderstood) {
    const struct {
        std::string text;
        std::vector<MailAddress> items;
    } cases[] = {
        {"a@x.it, b@y.it", {{"", "a@x.it"}, {"", "b@y.it"}}},
        {"\"Rossi, Mario\" <m@x.it>,Anna <a@y.it>", {{"Rossi, Mario", "m@x.it"}, {"Anna", "a@y.it"}}},
        {"m@x.it (Mario (ufficio))", {{"Mario (ufficio)", "m@x.it"}}},
        {" , <solo@x.it> ,, ", {{"", "solo@x.it"}}},
        {"\"Il \\\"capo\\\"\" <c@x.it>", {{"Il \"capo\"", "c@x.it"}}},
        {"", {}},
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
    TMailMessage message = report_message();
    message.From = {"Società Ferrolo, sede di Forlì", "f@x.it"};
    message.Recipients = {{"Ufficio \"Backup\"", "b@x.it"}, {"", "c@x.it"}};
    message.CCList = {{"", "d@x.it"}};
    message.Subject = "Rapporto delle copie di sicurezza di lunedì: città, società, qualità, novità";
    message.Body = {"Copia di lunedì", ".", "fine"};
    message.Attachment = folder.write("log_ext.ZIP", bytes);
    // As a server keeps it: without the dots added for the transfer.
    std::string received;
    for (const std::string& line : crlf_lines(written(message))) {
        received += (line.starts_with("..") ? line.substr(1) : line) + "\r\n";
    }
    auto fields = parsed_message(received, folder.path());
    EXPECT_EQ(fields["defects"], "0");
    EXPECT_EQ(fields["from"], "\"Società Ferrolo, sede di Forlì\" <f@x.it>");
    EXPECT_EQ(fields["to"], "\"Ufficio \\\"Backup\\\"\" <b@x.it>, c@x.it");
    EXPECT_EQ(fields["cc"], "d@x.it");
    EXPECT_EQ(fields["subject"], message.Subject);
    EXPECT_EQ(fields["date"], "2026-12-06T18:05:09+01:00");
    EXPECT_EQ(fields["text"], "8bit " + mail::base64("Copia di lunedì\n.\nfine\n"));
    EXPECT_EQ(fields["attachment"], "log_ext.ZIP " + mail::base64(bytes));
}

}  // namespace
}  // namespace ferrolo::testing
