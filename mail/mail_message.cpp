#include "mail/mail_message.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <random>

#include "platform/file_system.h"

namespace ferrolo::mail {

namespace {

constexpr size_t kFoldColumn = 78;
// 57 bytes make one base64 line of 76 characters.
constexpr size_t kBase64LineBytes = 57;
constexpr size_t kAttachmentChunk = kBase64LineBytes * 1024;
// 45 bytes make 60 base64 characters, so a word with its "=?utf-8?B?" and "?=" stays within 75.
constexpr size_t kEncodedWordBytes = 45;
// The system's 8-bit code page is UTF-8 on this platform.
constexpr std::string_view kCharset = "utf-8";
constexpr std::string_view kBlanks = " \t";

std::string_view trim_blanks(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool is_printable_ascii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 32 && byte < 127;
    });
}

bool has_eight_bit(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) > 127; });
}

bool is_utf8_continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// `text` as B-encoded words separated by blanks; a UTF-8 sequence is never cut between two words.
std::string encoded_words(std::string_view text) {
    std::string words;
    while (!text.empty()) {
        size_t length = std::min(kEncodedWordBytes, text.size());
        while (length < text.size() && length > 1 && is_utf8_continuation(text[length])) {
            --length;
        }
        if (!words.empty()) {
            words += ' ';
        }
        words += "=?" + std::string(kCharset) + "?B?" + base64(text.substr(0, length)) + "?=";
        text.remove_prefix(length);
    }
    return words;
}

// `text` in double quotes, with a backslash before each backslash and double quote inside it.
std::string quoted(std::string_view text) {
    std::string result = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            result += '\\';
        }
        result += c;
    }
    return result + "\"";
}

std::string list_text(const std::vector<MailAddress>& items) {
    std::string text;
    for (const MailAddress& item : items) {
        text += (text.empty() ? "" : ", ") + address_text(item);
    }
    return text;
}

// One item of an address list being read: the text outside and inside angle brackets, and comments.
struct AddressParts {
    std::string phrase;
    std::string angle;
    std::string comment;
    bool has_angle = false;

    std::optional<MailAddress> finish() const {
        MailAddress item;
        if (has_angle) {
            item.address = trim_blanks(angle);
            item.name = trim_blanks(phrase);
        } else {
            item.address = trim_blanks(phrase);
        }
        if (item.name.empty()) {
            item.name = trim_blanks(comment);
        }
        if (item.address.empty()) {
            return std::nullopt;
        }
        return item;
    }
};

void write_lines(const std::vector<std::string>& lines, const std::function<void(std::string_view)>& out) {
    for (const std::string& line : lines) {
        out(line.starts_with('.') ? "." + line + "\r\n" : line + "\r\n");
    }
}

void write_base64_lines(platform::File& file, const std::function<void(std::string_view)>& out) {
    std::string chunk(kAttachmentChunk, '\0');
    std::string lines;
    for (size_t length; (length = file.read_fully(std::as_writable_bytes(std::span(chunk)))) > 0;) {
        lines.clear();
        for (size_t offset = 0; offset < length; offset += kBase64LineBytes) {
            lines +=
                base64(std::string_view(chunk).substr(offset, std::min(kBase64LineBytes, length - offset)));
            lines += "\r\n";
        }
        out(lines);
    }
}

}  // namespace

std::vector<MailAddress> parse_address_list(std::string_view text) {
    std::vector<MailAddress> items;
    AddressParts parts;
    bool in_quotes = false;
    bool in_angle = false;
    int comment_depth = 0;
    const auto keep = [&](char c) {
        (comment_depth > 0 ? parts.comment : in_angle ? parts.angle : parts.phrase) += c;
    };
    for (size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if ((in_quotes || comment_depth > 0) && c == '\\' && at + 1 < text.size()) {
            keep(text[++at]);
        } else if (in_quotes) {
            c == '"' ? void(in_quotes = false) : keep(c);
        } else if (c == '(') {
            if (comment_depth++ > 0) {
                keep(c);
            }
        } else if (comment_depth > 0) {
            if (c == ')' && --comment_depth == 0) {
                continue;
            }
            keep(c);
        } else if (c == '"') {
            in_quotes = true;
        } else if (c == '<') {
            in_angle = parts.has_angle = true;
        } else if (c == '>') {
            in_angle = false;
        } else if (c == ',' && !in_angle) {
            if (auto item = parts.finish()) {
                items.push_back(std::move(*item));
            }
            parts = AddressParts();
        } else {
            keep(c);
        }
    }
    if (auto item = parts.finish()) {
        items.push_back(std::move(*item));
    }
    return items;
}

std::string date_text(const MessageDate& date) {
    using namespace std::chrono;
    static constexpr std::array<const char*, 7> kWeekdays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const platform::LocalTime& local = date.local;
    const year_month_day day{year{local.year}, month{static_cast<unsigned>(local.month)},
                             std::chrono::day{static_cast<unsigned>(local.day)}};
    const unsigned weekday_number = weekday{sys_days{day}}.c_encoding();
    const int offset = std::abs(date.utc_offset_minutes);
    char text[64];
    const int length = std::snprintf(
        text, sizeof text, "%s, %d %s %d %02d:%02d:%02d %c%02d%02d", kWeekdays[weekday_number], local.day,
        kMonths[static_cast<size_t>(std::clamp(local.month, 1, 12) - 1)], local.year, local.hour,
        local.minute, local.second, date.utc_offset_minutes < 0 ? '-' : '+', offset / 60, offset % 60);
    return std::string(text, static_cast<size_t>(std::clamp(length, 0, static_cast<int>(sizeof text) - 1)));
}

std::string base64(std::string_view bytes) {
    static constexpr std::string_view kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t at = 0; at < bytes.size(); at += 3) {
        const size_t count = std::min<size_t>(3, bytes.size() - at);
        uint32_t group = 0;
        for (size_t n = 0; n < 3; ++n) {
            group = group << 8 | (n < count ? static_cast<unsigned char>(bytes[at + n]) : 0u);
        }
        for (size_t n = 0; n < 4; ++n) {
            text += n <= count ? kAlphabet[group >> (18 - 6 * n) & 0x3F] : '=';
        }
    }
    return text;
}

const std::string& boundary() {
    static const std::string value = [] {
        static constexpr std::string_view kCharacters =
            "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        std::random_device seed;
        std::mt19937 random(seed());
        std::uniform_int_distribution<size_t> character(0, kCharacters.size() - 1);
        std::string text(34, ' ');
        for (char& c : text) {
            c = kCharacters[character(random)];
        }
        const size_t pair = std::uniform_int_distribution<size_t>(0, text.size() - 2)(random);
        text[pair] = '=';
        text[pair + 1] = '_';
        return text;
    }();
    return value;
}

std::string address_text(const MailAddress& item) {
    if (item.name.empty()) {
        return item.address;
    }
    const std::string name = is_printable_ascii(item.name) ? quoted(item.name) : encoded_words(item.name);
    return name + " <" + item.address + ">";
}

std::string fold_header(std::string_view header) {
    std::string folded;
    std::string line(header);
    // The first break may not fall inside the name or on the blank after its colon.
    const size_t separator = line.find(": ");
    size_t first_break = separator == std::string::npos ? 1 : separator + 2;
    while (line.size() > kFoldColumn) {
        size_t cut = std::string::npos;
        for (size_t at = kFoldColumn - 1; at >= first_break; --at) {
            if (line[at] == ' ' || line[at] == '\t' || line[at] == ',') {
                cut = at;
                break;
            }
        }
        if (cut == std::string::npos) {
            break;
        }
        const size_t kept = line[cut] == ',' ? cut + 1 : cut;
        const std::string_view rest = std::string_view(line).substr(kept);
        const size_t next = rest.find_first_not_of(kBlanks);
        if (next == std::string_view::npos) {
            break;
        }
        folded += line.substr(0, kept) + "\r\n";
        line = " " + std::string(rest.substr(next));
        first_break = 1;
    }
    return folded + line;
}

std::vector<MailAddress> TMailMessage::envelope_recipients() const {
    std::vector<MailAddress> all = Recipients;
    all.insert(all.end(), CCList.begin(), CCList.end());
    return parse_address_list(list_text(all));
}

platform::File TMailMessage::open_attachment() const {
    return Attachment ? platform::File::open(*Attachment, platform::File::Mode::Read) : platform::File();
}

std::vector<std::string> TMailMessage::header_lines(bool multipart) const {
    // From always carries a name: the address stands in for a missing one.
    MailAddress sender = From;
    if (sender.name.empty()) {
        sender.name = sender.address;
    }
    const std::array<std::pair<std::string_view, std::string>, 7> headers = {{
        {"From", address_text(sender)},
        {"Subject", is_printable_ascii(Subject) ? Subject : encoded_words(Subject)},
        {"To", list_text(Recipients)},
        {"Cc", list_text(CCList)},
        {"Content-Type", multipart ? "multipart/mixed; boundary=" + quoted(boundary()) : ""},
        {"MIME-Version", multipart ? "1.0" : ""},
        {"Date", date_text(Date)},
    }};
    std::vector<std::string> lines;
    for (const auto& [name, value] : headers) {
        if (!value.empty()) {
            lines.push_back(std::string(name) + ": " + value);
        }
    }
    return lines;
}

void TMailMessage::write(platform::File& attachment, const std::function<void(std::string_view)>& out) const {
    const bool multipart = Attachment.has_value();
    for (const std::string& line : header_lines(multipart)) {
        out(fold_header(line) + "\r\n");
    }
    out("\r\n");
    if (!multipart) {
        write_lines(Body, out);
        return;
    }
    const bool has_text = std::any_of(Body.begin(), Body.end(),
                                      [](const std::string& line) { return !trim_blanks(line).empty(); });
    const std::string delimiter = "--" + boundary() + "\r\n";
    out("This is a multi-part message in MIME format\r\n\r\n");
    if (has_text) {
        const bool eight_bit = std::any_of(Body.begin(), Body.end(), has_eight_bit);
        out(delimiter + "Content-Type: text/plain\r\nContent-Transfer-Encoding: " +
            (eight_bit ? "8bit" : "7bit") + "\r\n\r\n");
        write_lines(Body, out);
        out("\r\n");
    }
    const std::string name = quoted(platform::name_part(*Attachment));
    out(delimiter + "Content-Type: application/octet-stream;\r\n        name=" + name +
        "\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n        filename=" +
        name + "\r\n\r\n");
    write_base64_lines(attachment, out);
    out("\r\n--" + boundary() + "--\r\n\r\n");
}

}  // namespace ferrolo::mail
