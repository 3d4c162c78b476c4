#include "platform/system_error.h"

#include "platform/native_error.h"

namespace ferrolo::platform {

namespace {
std::string describe(const std::string& operation, const std::string& path, int error_number) {
    std::string text = operation;
    if (!path.empty()) {
        text += " '" + path + "'";
    }
    return text + ": " + native_error_text(error_number);
}
}  // namespace

SystemError::SystemError(std::string operation, std::string path, int error_number)
    : std::runtime_error(describe(operation, path, error_number)),
      operation_(std::move(operation)),
      path_(std::move(path)),
      error_number_(error_number) {}

bool SystemError::is_disk_full() const {
    return native_error_is_disk_full(error_number_);
}

}  // namespace ferrolo::platform
