// What every platform's files share; the calls on the system are in posix/ and win32/.
#include "platform/file.h"

#include <cstdio>
#include <utility>

#include "platform/file_system.h"
#include "platform/system_error.h"

namespace ferrolo::platform {

namespace {

// ".ferrolo-" and 16 hexadecimal digits of the FNV-1a hash of `target`'s name, then "-": 26 bytes, so the
// temporary name fits any folder's name limit, and runs for different targets never take each other's
// leftovers.
std::string own_prefix(const std::string& target) {
    uint64_t hash = 0xcbf29ce484222325;
    for (const char c : name_part(target)) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3;
    }
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
    // Built by appending: gcc 12 at -O3 wrongly sees overlapping copies in a chain of operator+.
    std::string prefix = ".ferrolo-";
    prefix.append(digits).append("-");
    return prefix;
}

}  // namespace

size_t File::read_fully(std::span<std::byte> buffer) {
    size_t total = 0;
    while (total < buffer.size()) {
        const size_t count = read(buffer.subspan(total));
        if (count == 0) {
            break;
        }
        total += count;
    }
    return total;
}

void File::write(std::string_view text) {
    write(std::as_bytes(std::span(text.data(), text.size())));
}

TemporaryFile TemporaryFile::create(std::string_view prefix) {
    return create_in(temporary_folder(), prefix);
}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept
    : file_(std::move(other.file_)), path_(std::exchange(other.path_, {})) {}

TemporaryFile& TemporaryFile::operator=(TemporaryFile&& other) noexcept {
    if (this != &other) {
        remove();
        file_ = std::move(other.file_);
        path_ = std::exchange(other.path_, {});
    }
    return *this;
}

TemporaryFile::~TemporaryFile() {
    remove();
}

TemporaryFile TemporaryFile::create_beside(const std::string& target) {
    return create_in(std::string(folder_part(target)), own_prefix(target));
}

std::vector<std::string> TemporaryFile::leftovers_beside(const std::string& target) {
    const std::string folder(folder_part(target));
    std::vector<std::string> paths;
    try {
        for (const DirEntry& entry : find_files(folder, own_prefix(target) + "*")) {
            if (!entry.is_folder()) {
                paths.push_back(folder + entry.name);
            }
        }
    } catch (const SystemError&) {
    }
    return paths;
}

void TemporaryFile::keep_as(const std::string& path) {
    file_.close();
    rename_file(path_, path);
    path_.clear();
}

void TemporaryFile::remove() noexcept {
    if (path_.empty()) {
        return;
    }
    try {
        file_.close();
    } catch (const SystemError&) {
        // The file is deleted anyway; nothing written to it is kept.
    }
    remove_file(path_);
    path_.clear();
}

}  // namespace ferrolo::platform
