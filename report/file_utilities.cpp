#include "report/file_utilities.h"

#include "platform/system_error.h"
#include "platform/version.h"
#include "platform/wildcard.h"

namespace ferrolo::report {

int64_t TotalFilesSize(const std::string& mask) {
    const std::string_view pattern = platform::name_part(mask);
    // A plain name needs no listing of its folder; that keeps per-file calls cheap in large folders.
    if (!platform::has_wildcards(pattern)) {
        const auto entry = platform::path_entry(mask);
        return entry && !pattern.empty() ? static_cast<int64_t>(entry->size) : 0;
    }
    try {
        int64_t total = 0;
        for (const platform::DirEntry& entry :
             platform::find_files(std::string(platform::folder_part(mask)), pattern)) {
            total += static_cast<int64_t>(entry.size);
        }
        return total;
    } catch (const platform::SystemError&) {
        return -1;
    }
}

std::string GetFileVersion(const std::string& file_name) {
    return platform::file_version(file_name);
}

std::optional<platform::FileTime> GetFileDateTime(const std::string& file_name) {
    const auto entry = platform::path_entry(file_name);
    if (!entry || entry->is_folder()) {
        return std::nullopt;
    }
    return entry->last_write;
}

bool IsFileLocked(const std::string& file_name) {
    return platform::file_exists(file_name) && !platform::can_open_exclusively(file_name);
}

}  // namespace ferrolo::report
