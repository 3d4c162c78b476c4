#include "platform/native_error.h"

#include <cerrno>
#include <cstring>

namespace ferrolo::platform {

std::string native_error_text(int error_number) {
    return std::strerror(error_number);
}

bool native_error_is_disk_full(int error_number) {
    return error_number == ENOSPC || error_number == EDQUOT;
}

}  // namespace ferrolo::platform
