#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/file_system.h"
#include "platform/posix/interrupted.h"
#include "platform/system_error.h"

namespace ferrolo::platform {

namespace {

int open_flags(File::Mode mode) {
    switch (mode) {
        case File::Mode::Read:
            return O_RDONLY;
        case File::Mode::ReadWrite:
            return O_RDWR;
        case File::Mode::Create:
        case File::Mode::CreateOwnerOnly:
            return O_RDWR | O_CREAT | O_TRUNC;
        case File::Mode::Append:
            return O_WRONLY | O_APPEND;
    }
    return O_RDONLY;
}

int open_retrying(const std::string& path, int flags) {
    return retry_if_interrupted([&] { return ::open(path.c_str(), flags, 0666); });
}

// A link the running user made may be followed; one planted by another user may not.
bool link_owned_by_us(const std::string& path) {
    struct stat link {};
    return ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode) && link.st_uid == ::geteuid();
}

}  // namespace

File File::open(const std::string& path, Mode mode, Allowed allowed) {
    // Opened without blocking, so that a FIFO or a device put in a file's place can never hang the run.
    const int flags = open_flags(mode) | O_CLOEXEC | O_NONBLOCK;
    const bool writes = mode != Mode::Read;
    int descriptor = open_retrying(path, writes ? flags | O_NOFOLLOW : flags);
    if (descriptor < 0 && errno == ELOOP && writes && link_owned_by_us(path)) {
        descriptor = open_retrying(path, flags);
    }
    if (descriptor < 0) {
        throw SystemError("open", path, errno == ELOOP && writes ? EACCES : errno);
    }
    File file(descriptor, path);
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        throw SystemError("open", path, errno);
    }
    const bool device_allowed = allowed == Allowed::RegularFileOrCharacterDevice && S_ISCHR(status.st_mode);
    if (!S_ISREG(status.st_mode) && !device_allowed) {
        throw SystemError("open", path, S_ISDIR(status.st_mode) ? EISDIR : EINVAL);
    }
    // An existing file keeps its mode when truncated, so the mode is set, not only asked for.
    if (mode == Mode::CreateOwnerOnly && ::fchmod(descriptor, 0600) != 0) {
        throw SystemError("open", path, errno);
    }
    if (::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0) {
        throw SystemError("open", path, errno);
    }
    return file;
}

File::File(File&& other) noexcept : descriptor_(other.descriptor_), path_(std::move(other.path_)) {
    other.descriptor_ = -1;
    other.path_.clear();
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
        descriptor_ = other.descriptor_;
        path_ = std::move(other.path_);
        other.descriptor_ = -1;
        other.path_.clear();
    }
    return *this;
}

File::~File() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

size_t File::read(std::span<std::byte> buffer) {
    const ssize_t count =
        retry_if_interrupted([&] { return ::read(descriptor_, buffer.data(), buffer.size()); });
    if (count < 0) {
        throw SystemError("read", path_, errno);
    }
    return static_cast<size_t>(count);
}

void File::write(std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        const ssize_t count =
            retry_if_interrupted([&] { return ::write(descriptor_, bytes.data(), bytes.size()); });
        if (count < 0) {
            throw SystemError("write", path_, errno);
        }
        if (count == 0) {
            throw SystemError("write", path_, ENOSPC);
        }
        bytes = bytes.subspan(static_cast<size_t>(count));
    }
}

void File::seek(uint64_t offset) {
    if (::lseek(descriptor_, static_cast<off_t>(offset), SEEK_SET) < 0) {
        throw SystemError("seek", path_, errno);
    }
}

uint64_t File::position() const {
    const off_t offset = ::lseek(descriptor_, 0, SEEK_CUR);
    if (offset < 0) {
        throw SystemError("seek", path_, errno);
    }
    return static_cast<uint64_t>(offset);
}

uint64_t File::size() const {
    struct stat status {};
    if (::fstat(descriptor_, &status) != 0) {
        throw SystemError("size", path_, errno);
    }
    return static_cast<uint64_t>(status.st_size);
}

void File::set_length(uint64_t length) {
    const int result =
        retry_if_interrupted([&] { return ::ftruncate(descriptor_, static_cast<off_t>(length)); });
    if (result != 0) {
        throw SystemError("set length", path_, errno);
    }
}

void File::sync() {
    if (::fsync(descriptor_) != 0 && errno != EINVAL) {
        throw SystemError("flush", path_, errno);
    }
}

void File::drop_cached_pages() noexcept {
    ::posix_fadvise(descriptor_, 0, 0, POSIX_FADV_DONTNEED);
}

void File::close() {
    if (descriptor_ < 0) {
        return;
    }
    const int descriptor = descriptor_;
    descriptor_ = -1;
    if (::close(descriptor) != 0 && errno != EINTR) {
        throw SystemError("close", path_, errno);
    }
}

TemporaryFile TemporaryFile::create_in(const std::string& folder, std::string_view prefix) {
    std::string path = folder + std::string(prefix) + "XXXXXX";
    const int descriptor = ::mkostemp(path.data(), O_CLOEXEC);
    if (descriptor < 0) {
        throw SystemError("create temporary file", path, errno);
    }
    return TemporaryFile(File(descriptor, path), path);
}

}  // namespace ferrolo::platform
