#include "platform/file_system.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include "platform/system_error.h"
#include "platform/win32/wide.h"

namespace ferrolo::platform {

namespace {

// 100-nanosecond ticks between 1601-01-01, where FILETIME counts from, and 1970-01-01.
constexpr int64_t kUnixEpochTicks = 116444736000000000;

FileTime to_file_time(const FILETIME& time) {
    const auto ticks =
        static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    return FileTime(std::chrono::duration_cast<FileTime::duration>(
        std::chrono::duration<int64_t, std::ratio<1, 10000000>>(ticks - kUnixEpochTicks)));
}

// A junction or a link to a folder is not walked, as on every platform: it may lead in a circle.
bool is_real_entry(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

DirEntry entry_of(std::string name, DWORD attributes, DWORD size_high, DWORD size_low,
                  const FILETIME& written) {
    DirEntry entry;
    entry.name = std::move(name);
    entry.attributes = attributes;
    entry.size = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                     ? 0
                     : (static_cast<uint64_t>(size_high) << 32) | size_low;
    entry.last_write = to_file_time(written);
    return entry;
}

struct SearchCloser {
    void operator()(HANDLE search) const { ::FindClose(search); }
};

// Names in the order NTFS keeps them: by their upper-case form, code unit by code unit.
bool name_before(const DirEntry& a, const DirEntry& b) {
    const std::wstring first = win32::to_wide(a.name);
    const std::wstring second = win32::to_wide(b.name);
    return ::CompareStringOrdinal(first.c_str(), static_cast<int>(first.size()), second.c_str(),
                                  static_cast<int>(second.size()), TRUE) == CSTR_LESS_THAN;
}

}  // namespace

std::vector<DirEntry> find_files(const std::string& folder, std::string_view pattern,
                                 LetterCase letter_case) {
    std::vector<std::string> unexamined;
    return find_files(folder, pattern, letter_case, unexamined);
}

// The system matches the mask itself, with its own wildcard rules and without regard to letter case.
std::vector<DirEntry> find_files(const std::string& folder, std::string_view pattern, LetterCase,
                                 std::vector<std::string>&) {
    const std::wstring mask = win32::file_call_path(folder + std::string(pattern));
    WIN32_FIND_DATAW found{};
    std::unique_ptr<void, SearchCloser> search(::FindFirstFileExW(
        mask.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (search.get() == INVALID_HANDLE_VALUE) {
        search.release();
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_NO_MORE_FILES) {
            return {};
        }
        throw SystemError("search folder", folder, static_cast<int>(error));
    }
    std::vector<DirEntry> entries;
    do {
        const std::wstring_view name = found.cFileName;
        if (name == L"." || name == L".." || !is_real_entry(found.dwFileAttributes)) {
            continue;
        }
        entries.push_back(entry_of(win32::to_utf8(name), found.dwFileAttributes, found.nFileSizeHigh,
                                   found.nFileSizeLow, found.ftLastWriteTime));
    } while (::FindNextFileW(search.get(), &found) != 0);
    if (::GetLastError() != ERROR_NO_MORE_FILES) {
        throw SystemError("search folder", folder, static_cast<int>(::GetLastError()));
    }
    std::sort(entries.begin(), entries.end(), name_before);
    return entries;
}

std::optional<DirEntry> path_entry(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (path.empty() ||
        ::GetFileAttributesExW(win32::file_call_path(path).c_str(), GetFileExInfoStandard, &data) == 0 ||
        !is_real_entry(data.dwFileAttributes)) {
        return std::nullopt;
    }
    std::string_view name = path;
    while (name.size() > 1 && (name.back() == '\\' || name.back() == '/')) {
        name.remove_suffix(1);
    }
    return entry_of(std::string(name_part(name)), data.dwFileAttributes, data.nFileSizeHigh,
                    data.nFileSizeLow, data.ftLastWriteTime);
}

bool file_exists(const std::string& path) {
    const auto entry = path_entry(path);
    return entry && !entry->is_folder();
}

bool folder_exists(const std::string& path) {
    const auto entry = path_entry(path);
    return entry && entry->is_folder();
}

bool can_open_exclusively(const std::string& path) {
    const HANDLE handle = ::CreateFileW(win32::file_call_path(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    ::CloseHandle(handle);
    return true;
}

uint64_t free_space(const std::string& path) {
    ULARGE_INTEGER available{};
    if (::GetDiskFreeSpaceExW(win32::file_call_path(path).c_str(), &available, nullptr, nullptr) == 0) {
        const DWORD first_error = ::GetLastError();
        const std::string folder(folder_part(path));
        if (::GetDiskFreeSpaceExW(win32::file_call_path(folder.empty() ? "." : folder).c_str(), &available,
                                  nullptr, nullptr) == 0) {
            throw SystemError("free space", path, static_cast<int>(first_error));
        }
    }
    return available.QuadPart;
}

bool remove_file(const std::string& path) noexcept {
    return ::DeleteFileW(win32::file_call_path(path).c_str()) != 0;
}

void rename_file(const std::string& from, const std::string& to) {
    if (::MoveFileExW(win32::file_call_path(from).c_str(), win32::file_call_path(to).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        throw SystemError("rename to '" + to + "'", from, static_cast<int>(::GetLastError()));
    }
}

std::string temporary_folder() {
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
    std::string path =
        length == 0 || length > MAX_PATH ? std::string(".\\") : win32::to_utf8({folder, length});
    if (path.back() != '\\') {
        path += '\\';
    }
    return path;
}

}  // namespace ferrolo::platform
