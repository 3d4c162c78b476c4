#include "platform/file.h"

#include <io.h>
#include <windows.h>

#include <cstdio>
#include <utility>

#include "platform/file_system.h"
#include "platform/system_error.h"
#include "platform/win32/wide.h"

// The descriptor is the C runtime's over the file's handle (_open_osfhandle), so that the class keeps one
// shape on every platform; every call below goes to the handle itself.
namespace ferrolo::platform {

namespace {

HANDLE handle_of(int descriptor) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
}

[[noreturn]] void fail(const char* operation, const std::string& path) {
    throw SystemError(operation, path, static_cast<int>(::GetLastError()));
}

struct OpenRequest {
    DWORD access;
    DWORD disposition;
};

OpenRequest request_for(File::Mode mode) {
    switch (mode) {
        case File::Mode::Read:
            return {GENERIC_READ, OPEN_EXISTING};
        case File::Mode::ReadWrite:
            return {GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING};
        case File::Mode::Create:
        case File::Mode::CreateOwnerOnly:
            return {GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS};
        case File::Mode::Append:
            return {FILE_APPEND_DATA, OPEN_EXISTING};
    }
    return {GENERIC_READ, OPEN_EXISTING};
}

// Readers share everything (a source file may be in use); writers let others read, as the system's own
// text writers do, so a log can be watched while it grows.
constexpr DWORD kShareRead = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kShareWrite = FILE_SHARE_READ;

int descriptor_for(HANDLE handle, const std::string& path) {
    const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), 0);
    if (descriptor < 0) {
        ::CloseHandle(handle);
        throw SystemError("open", path, ERROR_TOO_MANY_OPEN_FILES);
    }
    return descriptor;
}

}  // namespace

File File::open(const std::string& path, Mode mode, Allowed allowed) {
    const OpenRequest request = request_for(mode);
    const HANDLE handle = ::CreateFileW(win32::file_call_path(path).c_str(), request.access,
                                        mode == Mode::Read ? kShareRead : kShareWrite, nullptr,
                                        request.disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        fail("open", path);
    }
    File file(descriptor_for(handle, path), path);
    const DWORD type = ::GetFileType(handle);
    const bool device_allowed = allowed == Allowed::RegularFileOrCharacterDevice && type == FILE_TYPE_CHAR;
    if (type != FILE_TYPE_DISK && !device_allowed) {
        throw SystemError("open", path, ERROR_INVALID_FUNCTION);
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
            ::_close(descriptor_);
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
        ::_close(descriptor_);
    }
}

size_t File::read(std::span<std::byte> buffer) {
    DWORD count = 0;
    const auto wanted = static_cast<DWORD>(std::min<size_t>(buffer.size(), 1u << 30));
    if (::ReadFile(handle_of(descriptor_), buffer.data(), wanted, &count, nullptr) == 0) {
        fail("read", path_);
    }
    return count;
}

void File::write(std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        DWORD count = 0;
        const auto wanted = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
        if (::WriteFile(handle_of(descriptor_), bytes.data(), wanted, &count, nullptr) == 0) {
            fail("write", path_);
        }
        if (count == 0) {
            throw SystemError("write", path_, ERROR_DISK_FULL);
        }
        bytes = bytes.subspan(count);
    }
}

void File::seek(uint64_t offset) {
    LARGE_INTEGER distance{};
    distance.QuadPart = static_cast<LONGLONG>(offset);
    if (::SetFilePointerEx(handle_of(descriptor_), distance, nullptr, FILE_BEGIN) == 0) {
        fail("seek", path_);
    }
}

uint64_t File::position() const {
    LARGE_INTEGER position{};
    if (::SetFilePointerEx(handle_of(descriptor_), LARGE_INTEGER{}, &position, FILE_CURRENT) == 0) {
        fail("seek", path_);
    }
    return static_cast<uint64_t>(position.QuadPart);
}

uint64_t File::size() const {
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(handle_of(descriptor_), &size) == 0) {
        fail("size", path_);
    }
    return static_cast<uint64_t>(size.QuadPart);
}

void File::set_length(uint64_t length) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    if (::SetFileInformationByHandle(handle_of(descriptor_), FileEndOfFileInfo, &end, sizeof end) == 0) {
        fail("set length", path_);
    }
}

void File::sync() {
    // A console or the null device has nothing to flush.
    if (::FlushFileBuffers(handle_of(descriptor_)) == 0 && ::GetLastError() != ERROR_INVALID_HANDLE &&
        ::GetLastError() != ERROR_INVALID_FUNCTION) {
        fail("flush", path_);
    }
}

// Windows has no advice to forget a file's cached pages; a copy is checked against the cache.
void File::drop_cached_pages() noexcept {}

void File::close() {
    if (descriptor_ < 0) {
        return;
    }
    const int descriptor = std::exchange(descriptor_, -1);
    if (::_close(descriptor) != 0) {
        throw SystemError("close", path_, ERROR_INVALID_HANDLE);
    }
}

// A random name tried until one is new (CREATE_NEW), as mkstemp does; the file is deleted on close
// unless kept.
TemporaryFile TemporaryFile::create_in(const std::string& folder, std::string_view prefix) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const uint64_t random = (static_cast<uint64_t>(::GetTickCount64()) << 20) ^
                                (static_cast<uint64_t>(::GetCurrentProcessId()) << 8) ^
                                static_cast<uint64_t>(attempt) * 0x9E3779B97F4A7C15;
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08llx", static_cast<unsigned long long>(random & 0xFFFFFFFF));
        std::string path = folder + std::string(prefix) + digits;
        const HANDLE handle = ::CreateFileW(win32::file_call_path(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                            kShareWrite, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            return TemporaryFile(File(descriptor_for(handle, path), path), path);
        }
        if (::GetLastError() != ERROR_FILE_EXISTS) {
            fail("create temporary file", path);
        }
    }
    throw SystemError("create temporary file", folder + std::string(prefix), ERROR_FILE_EXISTS);
}

}  // namespace ferrolo::platform
