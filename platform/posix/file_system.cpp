#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "platform/system_error.h"
#include "platform/wildcard.h"

namespace ferrolo::platform {

namespace {

// Held inside the clock's range: a file may carry any date (touch -d 2400-01-01), the clock counts
// nanoseconds in 64 bits, and the DOS time of an entry clamps what is far off anyway.
FileTime to_file_time(const struct timespec& time) {
    constexpr auto kLimit =
        std::chrono::duration_cast<std::chrono::seconds>(FileTime::duration::max()).count() - 1;
    const auto seconds = std::clamp<long long>(time.tv_sec, -kLimit, kLimit);
    return FileTime(std::chrono::duration_cast<FileTime::duration>(std::chrono::seconds(seconds) +
                                                                   std::chrono::nanoseconds(time.tv_nsec)));
}

uint32_t derived_attributes(const struct stat& status, std::string_view name) {
    uint32_t attributes = S_ISDIR(status.st_mode) ? attribute::kDirectory : attribute::kArchive;
    if ((status.st_mode & S_IWUSR) == 0) {
        attributes |= attribute::kReadOnly;
    }
    if (!name.empty() && name.front() == '.') {
        attributes |= attribute::kHidden;
    }
    return attributes;
}

DirEntry entry_of(const struct stat& status, std::string_view name) {
    DirEntry entry;
    entry.name = std::string(name);
    entry.attributes = derived_attributes(status, name);
    entry.size = S_ISREG(status.st_mode) ? static_cast<uint64_t>(status.st_size) : 0;
    entry.last_write = to_file_time(status.st_mtim);
    return entry;
}

// The entry for `name` in the folder open as `folder_descriptor` (AT_FDCWD: a path), following links to
// files only; nullopt for anything that is neither a regular file nor a real folder. `unexamined` is set
// when the name was listed but cannot be examined (no search permission, or gone meanwhile); a dangling
// link is no such name.
std::optional<DirEntry> entry_at(int folder_descriptor, const char* path, std::string_view name,
                                 bool& unexamined) {
    struct stat status {};
    if (::fstatat(folder_descriptor, path, &status, 0) != 0) {
        struct stat link_status {};
        unexamined = ::fstatat(folder_descriptor, path, &link_status, AT_SYMLINK_NOFOLLOW) != 0 ||
                     !S_ISLNK(link_status.st_mode);
        return std::nullopt;
    }
    if (S_ISDIR(status.st_mode)) {
        struct stat link_status {};
        if (::fstatat(folder_descriptor, path, &link_status, AT_SYMLINK_NOFOLLOW) != 0 ||
            S_ISLNK(link_status.st_mode)) {
            return std::nullopt;
        }
    } else if (!S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    return entry_of(status, name);
}

struct FolderCloser {
    void operator()(DIR* folder) const { ::closedir(folder); }
};

}  // namespace

std::vector<DirEntry> find_files(const std::string& folder, std::string_view pattern,
                                 LetterCase letter_case) {
    std::vector<std::string> unexamined;
    return find_files(folder, pattern, letter_case, unexamined);
}

std::vector<DirEntry> find_files(const std::string& folder, std::string_view pattern, LetterCase letter_case,
                                 std::vector<std::string>& unexamined) {
    const std::string opened = folder.empty() ? "." : folder;
    std::unique_ptr<DIR, FolderCloser> listing(::opendir(opened.c_str()));
    if (!listing) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return {};
        }
        throw SystemError("search folder", folder, errno);
    }
    std::vector<DirEntry> entries;
    for (;;) {
        errno = 0;
        const dirent* found = ::readdir(listing.get());
        if (found == nullptr) {
            if (errno != 0) {
                throw SystemError("search folder", folder, errno);
            }
            break;
        }
        const std::string_view name = found->d_name;
        if (name == "." || name == ".." || !matches_file_mask(name, pattern, letter_case)) {
            continue;
        }
        bool not_examined = false;
        if (auto entry = entry_at(::dirfd(listing.get()), found->d_name, name, not_examined)) {
            entries.push_back(std::move(*entry));
        } else if (not_examined) {
            unexamined.emplace_back(name);
        }
    }
    std::sort(entries.begin(), entries.end(),
              [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return entries;
}

std::optional<DirEntry> path_entry(const std::string& path) {
    struct stat status {};
    if (path.empty() || ::stat(path.c_str(), &status) != 0 ||
        !(S_ISREG(status.st_mode) || S_ISDIR(status.st_mode))) {
        return std::nullopt;
    }
    std::string_view name = path;
    while (name.size() > 1 && name.back() == '/') {
        name.remove_suffix(1);
    }
    name = name_part(name);
    return entry_of(status, name);
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
    const int descriptor = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    const bool free = ::flock(descriptor, LOCK_EX | LOCK_NB) == 0;
    ::close(descriptor);
    return free;
}

uint64_t free_space(const std::string& path) {
    struct statvfs status {};
    if (::statvfs(path.c_str(), &status) != 0) {
        const int first_error = errno;
        std::string folder(folder_part(path));
        if (first_error != ENOENT || ::statvfs(folder.empty() ? "." : folder.c_str(), &status) != 0) {
            throw SystemError("free space", path, first_error);
        }
    }
    return static_cast<uint64_t>(status.f_bavail) * static_cast<uint64_t>(status.f_frsize);
}

bool remove_file(const std::string& path) noexcept {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode) && ::unlink(path.c_str()) == 0;
}

void rename_file(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        throw SystemError("rename to '" + to + "'", from, errno);
    }
}

std::string temporary_folder() {
    const char* configured = std::getenv("TMPDIR");
    std::string folder = configured != nullptr && *configured != '\0' ? configured : "/tmp";
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

}  // namespace ferrolo::platform
