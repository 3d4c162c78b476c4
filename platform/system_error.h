// platform/system_error.h — the one error type of the OS layer.
#pragma once

#include <stdexcept>
#include <string>

namespace ferrolo::platform {

// A failed operating-system call: what was attempted, on which path, and the system's error number.
class SystemError : public std::runtime_error {
public:
    SystemError(std::string operation, std::string path, int error_number);

    const std::string& operation() const { return operation_; }
    const std::string& path() const { return path_; }
    // The system's error number (errno on POSIX, GetLastError on Windows).
    int error_number() const { return error_number_; }
    // True when the call failed because the device or its quota is full.
    bool is_disk_full() const;

private:
    std::string operation_;
    std::string path_;
    int error_number_;
};

}  // namespace ferrolo::platform
