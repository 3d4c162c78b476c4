#include "core/routines.h"

#include <algorithm>
#include <cstdio>

#include "platform/clock.h"
#include "platform/code_page.h"

namespace ferrolo::core {

namespace {
// Room for six numbers of any size: a clock gone wrong must give a long text, never a read past the end.
template <typename... Numbers>
std::string format(const char* pattern, Numbers... numbers) {
    char text[96];
    const int length = std::snprintf(text, sizeof text, pattern, numbers...);
    return std::string(text, std::min(static_cast<size_t>(std::max(length, 0)), sizeof text - 1));
}
}  // namespace

std::string stamped_line(std::string_view label) {
    const platform::LocalTime now = platform::local_now();
    return std::string(label) + Date_Today(now) + "-" + Time_Now(now);
}

std::string Date_Today(const platform::LocalTime& moment) {
    return format("%02d.%02d.%04d", moment.day, moment.month, moment.year);
}

std::string Time_Now(const platform::LocalTime& moment) {
    return format("%02d:%02d:%02d", moment.hour, moment.minute, moment.second);
}

std::string trace_stamp(const platform::LocalTime& moment) {
    return format("%02d/%02d/%04d-%02d:%02d:%02d", moment.day, moment.month, moment.year, moment.hour,
                  moment.minute, moment.second);
}

std::string file_stamp(const platform::LocalTime& moment) {
    return format("%04d%02d%02d-%02d%02d%02d", moment.year, moment.month, moment.day, moment.hour,
                  moment.minute, moment.second);
}

std::string duration_text(Clock::duration elapsed) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    const long long of_day = ((seconds % 86400) + 86400) % 86400;
    return format("%02lld:%02lld:%02lld", of_day / 3600, of_day / 60 % 60, of_day % 60);
}

// Counted in characters, so that no cut falls inside a UTF-8 character.
std::string Shorten_Text(std::string_view text, int width) {
    // Called for every file packed: the characters are counted, not collected.
    long long length = 0;
    for (size_t pos = 0; pos < text.size(); pos += platform::utf8_character_size(text, pos)) {
        ++length;
    }
    if (width <= 0 || width >= length) {
        return std::string(text);
    }
    const long long half = width / 2;
    const long long head = half - 3 > 0 ? half - 3 : 0;
    std::string shortened(first_characters(text, static_cast<size_t>(head)));
    shortened += "...";
    shortened += text.substr(first_characters(text, static_cast<size_t>(length - half - 1)).size());
    return shortened;
}

std::string_view first_characters(std::string_view text, size_t count) {
    size_t end = 0;
    for (size_t taken = 0; taken < count && end < text.size(); ++taken) {
        end += platform::utf8_character_size(text, end);
    }
    return text.substr(0, end);
}

std::string printable(std::string_view text) {
    std::string shown(text);
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return shown;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace ferrolo::core
