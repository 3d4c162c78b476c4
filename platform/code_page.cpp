#include "platform/code_page.h"

#include <array>
#include <cstdint>

namespace ferrolo::platform {

namespace {

using UpperHalf = std::array<char16_t, 128>;

// Unicode of bytes 0x80-0xFF; the lower half of both code pages is ASCII.
constexpr UpperHalf kCp850 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C,
    0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580, 0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6,
    0x00A7, 0x00F7, 0x00B8, 0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};

constexpr UpperHalf kCp1252 = [] {
    UpperHalf table{};
    constexpr std::array<char16_t, 32> kFirstRow = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    for (size_t i = 0; i < table.size(); ++i) {
        table[i] = i < kFirstRow.size() ? kFirstRow[i] : static_cast<char16_t>(0x80 + i);
    }
    return table;
}();

void append_utf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Decodes one UTF-8 character at `text[pos]`, advancing `pos`; nullopt (and one byte skipped) when the
// bytes there are not a valid, shortest-form UTF-8 character.
std::optional<char32_t> next_code_point(std::string_view text, size_t& pos) {
    const auto lead = static_cast<uint8_t>(text[pos]);
    size_t length = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1Fu, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0Fu, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07u, minimum = 0x10000;
    } else {
        ++pos;
        return std::nullopt;
    }
    if (pos + length > text.size()) {
        ++pos;
        return std::nullopt;
    }
    for (size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<uint8_t>(text[pos + i]);
        if ((byte & 0xC0) != 0x80) {
            ++pos;
            return std::nullopt;
        }
        code = (code << 6) | (byte & 0x3Fu);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        ++pos;
        return std::nullopt;
    }
    pos += length;
    return code;
}

std::optional<char> encode(char32_t code, const UpperHalf& table) {
    if (code < 0x80) {
        return static_cast<char>(code);
    }
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i] == code) {
            return static_cast<char>(0x80 + i);
        }
    }
    return std::nullopt;
}

std::string decode(std::string_view text, const UpperHalf& table) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const char c : text) {
        const auto byte = static_cast<uint8_t>(c);
        append_utf8(out, byte < 0x80 ? byte : table[byte - 0x80u]);
    }
    return out;
}

}  // namespace

std::string upper_ascii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        c = upper_ascii(c);
    }
    return upper;
}

bool is_valid_utf8(std::string_view text) {
    for (size_t pos = 0; pos < text.size();) {
        if (!next_code_point(text, pos)) {
            return false;
        }
    }
    return true;
}

size_t utf8_character_size(std::string_view text, size_t pos) {
    const size_t start = pos;
    next_code_point(text, pos);
    return pos - start;
}

std::optional<std::string> utf8_to_cp850(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) {
        const auto code = next_code_point(text, pos);
        const auto byte = code ? encode(*code, kCp850) : std::nullopt;
        if (!byte) {
            return std::nullopt;
        }
        out += *byte;
    }
    return out;
}

std::string cp850_to_utf8(std::string_view text) {
    return decode(text, kCp850);
}

std::string utf8_to_cp1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) {
        const auto code = next_code_point(text, pos);
        out += code ? encode(*code, kCp1252).value_or('?') : '?';
    }
    return out;
}

std::string cp1252_to_utf8(std::string_view text) {
    return decode(text, kCp1252);
}

}  // namespace ferrolo::platform
