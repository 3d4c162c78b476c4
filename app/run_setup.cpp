#include "app/run_setup.h"

#include <cstdint>
#include <utility>

#include "core/routines.h"
#include "platform/code_page.h"
#include "platform/file_system.h"

namespace ferrolo::app {

std::string time_stamped_name(std::string_view archive, const platform::LocalTime& moment) {
    const std::string_view name = platform::name_part(archive);
    const size_t first_dot = name.find('.');
    const size_t last_dot = name.rfind('.');
    const std::string_view base = name.substr(0, first_dot);
    const std::string_view extension =
        last_dot == std::string_view::npos ? std::string_view() : name.substr(last_dot);
    return std::string(platform::folder_part(archive)) + std::string(base) + "-" + core::file_stamp(moment) +
           std::string(extension);
}

std::optional<std::string> earlier_archives_mask(std::string_view archive) {
    const std::string_view name = platform::name_part(archive);
    const size_t zip = platform::upper_ascii(name).find(".ZIP");
    if (zip == std::string::npos || zip == 0) {
        return std::nullopt;
    }
    return std::string(platform::folder_part(archive)) + std::string(name.substr(0, zip)) + "*.Z*";
}

std::string report_file_name(std::string_view extended_log) {
    const std::string_view name = platform::name_part(extended_log);
    return std::string(name.substr(0, name.find('.'))) + ".PDF";
}

namespace {

// The integer reading the job file has always used: leading blanks, a sign, decimal digits or hexadecimal
// ones after "$", "x" or "0x"; nothing may follow. nullopt when the text is no such number.
std::optional<int64_t> read_integer(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    uint64_t base = 10;
    if (!text.empty() && (text.front() == '$' || text.front() == 'x' || text.front() == 'X')) {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (const char c : text) {
        uint64_t digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint64_t>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = static_cast<uint64_t>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = static_cast<uint64_t>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        if (value > (UINT64_MAX - digit) / base) {
            return std::nullopt;
        }
        value = value * base + digit;
    }
    return static_cast<int64_t>(negative ? 0 - value : value);
}

}  // namespace

std::optional<VolumeSetting> split_volume_size(std::string_view SIZE_SPLIT) {
    using archive::TZipVolumeSize;
    const std::string upper = platform::upper_ascii(SIZE_SPLIT);
    if (upper.rfind("VS", 0) == 0) {
        static constexpr std::pair<std::string_view, TZipVolumeSize> kKeywords[] = {
            {"VS1_44MB", TZipVolumeSize::vs1_44MB}, {"VS100MB", TZipVolumeSize::vs100MB},
            {"VS200MB", TZipVolumeSize::vs200MB},   {"VS250MB", TZipVolumeSize::vs250MB},
            {"VS600MB", TZipVolumeSize::vs600MB},   {"VS650MB", TZipVolumeSize::vs650MB},
            {"VS700MB", TZipVolumeSize::vs700MB},   {"VS4700MB", TZipVolumeSize::vs4700MB},
        };
        for (const auto& [keyword, size] : kKeywords) {
            if (SIZE_SPLIT == keyword) {
                return VolumeSetting{size, 0};
            }
        }
        return std::nullopt;
    }
    constexpr int64_t kWhenNoNumber = 1048576;
    const auto bytes = read_integer(SIZE_SPLIT);
    return VolumeSetting{TZipVolumeSize::vsCustom,
                         bytes ? static_cast<int64_t>(static_cast<uint32_t>(*bytes)) : kWhenNoNumber};
}

}  // namespace ferrolo::app
