#include "platform/file_length.h"

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>

#include "platform/system_error.h"

namespace ferrolo::platform {

void set_file_length(const std::string& path, uint64_t length) {
    int result;
    do {
        result = ::truncate(path.c_str(), static_cast<off_t>(length));
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        throw SystemError("set length", path, errno);
    }
}

}  // namespace ferrolo::platform
