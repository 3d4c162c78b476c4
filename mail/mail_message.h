// mail/mail_message.h — the message: addresses, headers and body, written as the lines DATA carries.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/file.h"

namespace ferrolo::mail {

struct MailAddress {
    std::string name;     // display name; may be empty
    std::string address;  // the part inside angle brackets
    bool operator==(const MailAddress&) const = default;
};

// Reads an address list: commas separate the items; display names, quoted strings, comments and angle
// brackets are understood. Empty items are dropped.
std::vector<MailAddress> parse_address_list(std::string_view text);

// The local date and time of the message with the offset of local time from UTC.
struct MessageDate {
    platform::LocalTime local;
    int utc_offset_minutes = 0;
};

// "Sun, 6 Dec 2026 18:26:33 +0100".
std::string date_text(const MessageDate& date);
// `bytes` in standard base64 with padding, on one line.
std::string base64(std::string_view bytes);
// The boundary of every multipart message of this process: 34 letters and digits, two of them in a row
// replaced by "=_", which no base64 or quoted-printable text holds.
const std::string& boundary();

// The message is plain text without an attachment and MIME multipart (text part and one base64 file
// part) with one.
class TMailMessage {
public:
    MailAddress From;
    std::vector<MailAddress> Recipients;  // the To list
    std::vector<MailAddress> CCList;
    std::string Subject;
    MessageDate Date;
    std::vector<std::string> Body;          // lines without their ends
    std::optional<std::string> Attachment;  // the path of the one attached file; read while writing

    // Empties every field.
    void Clear() { *this = TMailMessage(); }

    // The envelope recipients: the To list, then the Cc list, read again as one address list.
    std::vector<MailAddress> envelope_recipients() const;
    // Opens the attachment (a closed file when there is none); throws SystemError when it cannot.
    platform::File open_attachment() const;
    // Writes header and body as DATA carries them: each line ends with CR LF, lines beginning with "."
    // get one more. `attachment` is the file open_attachment gave. `out` receives the text in pieces.
    void write(platform::File& attachment, const std::function<void(std::string_view)>& out) const;

private:
    std::vector<std::string> header_lines(bool multipart) const;
};

// `header` ("Name: value") broken before column 78 at a blank, a tab or a comma, each continuation line
// starting with one blank; the lines are joined with CR LF.
std::string fold_header(std::string_view header);
// The text form of an address: the address alone without a name, else the name (quoted, or as encoded
// words when it holds characters outside printable ASCII) and the address in angle brackets.
std::string address_text(const MailAddress& item);

}  // namespace ferrolo::mail
