// What every platform's directory calls share; the calls on the system are in posix/ and win32/.
#include "platform/file_system.h"

namespace ferrolo::platform {

std::vector<DirEntry> find_files(const std::string& folder, std::string_view pattern,
                                 LetterCase letter_case) {
    std::vector<std::string> unexamined;
    return find_files(folder, pattern, letter_case, unexamined);
}

bool file_exists(const std::string& path) {
    const auto entry = path_entry(path);
    return entry && !entry->is_folder();
}

bool folder_exists(const std::string& path) {
    const auto entry = path_entry(path);
    return entry && entry->is_folder();
}

}  // namespace ferrolo::platform
