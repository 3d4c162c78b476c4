#include "platform/path_names.h"

#include <unistd.h>

#include <cerrno>

#include "platform/system_error.h"

namespace ferrolo::platform {

std::string_view drive_part(std::string_view) {
    return {};
}

bool is_absolute_path(std::string_view path) {
    return path.starts_with('/');
}

bool same_path(std::string_view a, std::string_view b) {
    return a == b;
}

std::string current_folder() {
    std::string folder(4096, '\0');
    if (::getcwd(folder.data(), folder.size()) == nullptr) {
        throw SystemError("find current folder", "", errno);
    }
    folder.resize(folder.find('\0'));
    return folder;
}

}  // namespace ferrolo::platform
