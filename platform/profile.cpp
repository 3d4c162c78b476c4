#include "platform/profile.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/code_page.h"
#include "platform/file.h"

namespace ferrolo::platform {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr uint64_t kFirstAllocation = 16 * 1024 * 1024;

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view strip_blanks(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view strip_quotes(std::string_view text) {
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front()) {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

// The text of the line starting at `content[start]`, and the start of the next line.
struct Line {
    std::string_view text;
    size_t next = 0;
};

Line next_line(std::string_view content, size_t start) {
    size_t end = start;
    while (end < content.size() && content[end] != '\r' && content[end] != '\n') {
        ++end;
    }
    size_t next = end;
    if (next < content.size()) {
        next += (content[next] == '\r' && next + 1 < content.size() && content[next + 1] == '\n') ? 2 : 1;
    }
    std::string_view text = content.substr(start, end - start);
    text = text.substr(0, text.find('\0'));
    return {text, next};
}

}  // namespace

ProfileFile ProfileFile::load(const std::string& path) {
    File file = File::open(path, File::Mode::Read);
    std::string content;
    // The size only guides the first allocation, and a sparse giant must not claim its whole size at once;
    // reading goes on to the real end, since the file may change meanwhile.
    content.reserve(static_cast<size_t>(std::min<uint64_t>(file.size(), kFirstAllocation)));
    std::array<std::byte, 65536> buffer{};
    for (size_t count; (count = file.read(buffer)) != 0;) {
        content.append(reinterpret_cast<const char*>(buffer.data()), count);
    }
    // A file that says it is UTF-8 is read as such; any other is in the system's code page.
    return parse(content.starts_with(kByteOrderMark) ? content : from_system_code_page(content));
}

ProfileFile ProfileFile::parse(std::string_view content) {
    ProfileFile profile;
    if (content.starts_with(kByteOrderMark)) {
        content.remove_prefix(kByteOrderMark.size());
    }
    Section* section = nullptr;
    for (size_t start = 0; start < content.size();) {
        const Line line = next_line(content, start);
        start = line.next;
        const std::string_view text = strip_blanks(line.text);
        if (text.empty() || text.front() == ';') {
            continue;
        }
        if (text.front() == '[') {
            section = &profile.sections_[upper_ascii(strip_blanks(text.substr(1, text.find(']') - 1)))];
            continue;
        }
        const size_t equals = text.find('=');
        if (!section || equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = strip_blanks(text.substr(0, equals));
        if (key.empty()) {
            continue;
        }
        const std::string_view value = strip_quotes(strip_blanks(text.substr(equals + 1)));
        section->try_emplace(upper_ascii(key), value.substr(0, kLongestValue));
    }
    return profile;
}

std::optional<std::string> ProfileFile::value(std::string_view section, std::string_view key) const {
    const auto found_section = sections_.find(upper_ascii(section));
    if (found_section == sections_.end()) {
        return std::nullopt;
    }
    const auto found = found_section->second.find(upper_ascii(key));
    if (found == found_section->second.end()) {
        return std::nullopt;
    }
    return found->second;
}

}  // namespace ferrolo::platform
