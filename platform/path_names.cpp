#include "platform/path_names.h"

#include <algorithm>


namespace ferrolo::platform {

namespace {

// Where the name begins: after the last separator, and never inside the drive part ("C:lun.zip").
size_t name_start(std::string_view path) {
    const size_t separator = path.find_last_of(kPathSeparators);
    return std::max(separator == std::string_view::npos ? 0 : separator + 1, drive_part(path).size());
}

}  // namespace

bool ends_with_separator(std::string_view path) {
    return !path.empty() && is_path_separator(path.back());
}

std::string_view folder_part(std::string_view path) {
    return path.substr(0, name_start(path));
}

std::string_view name_part(std::string_view path) {
    return path.substr(name_start(path));
}

}  // namespace ferrolo::platform
