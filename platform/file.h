// platform/file.h — one open file, move-only; every failure throws SystemError with the path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ferrolo::platform {

class File {
public:
    enum class Mode {
        Read,             // existing file, read only
        ReadWrite,        // existing file, read and write, positioned at the start
        Create,           // created or truncated, read and write
        CreateOwnerOnly,  // the same, and readable by its owner alone whatever the umask
        Append,           // existing file, writes go to the end
    };

    // What `path` may name besides a regular file: a log may be a character device such as /dev/null.
    enum class Allowed { RegularFile, RegularFileOrCharacterDevice };

    // Opens `path` in `mode`; throws SystemError on failure. A mode that writes never goes through a
    // symbolic link another user owns (EACCES), the rule the kernel applies in sticky folders.
    static File open(const std::string& path, Mode mode, Allowed allowed = Allowed::RegularFile);

    // A file that is not open; assign an opened one to use it.
    File() = default;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    // Closes the file, ignoring errors; call close() to see them.
    ~File();

    // Reads up to `buffer.size()` bytes at the current position; 0 only at the end of the file.
    size_t read(std::span<std::byte> buffer);
    // Reads until `buffer` is full or the file ends; returns the bytes read.
    size_t read_fully(std::span<std::byte> buffer);
    // Writes all of `bytes` at the current position.
    void write(std::span<const std::byte> bytes);
    void write(std::string_view text);
    // Moves the position to `offset` bytes from the start.
    void seek(uint64_t offset);
    uint64_t position() const;
    uint64_t size() const;
    // Sets the file's length to `length` bytes, cutting off what lies beyond (or adding zeros); the position
    // stays where it was.
    void set_length(uint64_t length);
    // Forces written data to the device.
    void sync();
    // Asks the system to forget the file's cached pages, so that the next read comes from the device;
    // only advice, so nothing is reported when the system declines.
    void drop_cached_pages() noexcept;
    // Closes the file and reports a failure of the close itself.
    void close();

    bool is_open() const { return descriptor_ >= 0; }
    const std::string& path() const { return path_; }

private:
    friend class TemporaryFile;
    File(int descriptor, std::string path) : descriptor_(descriptor), path_(std::move(path)) {}
    // Closes `descriptor`, ignoring errors.
    static void close_descriptor(int descriptor) noexcept;

    int descriptor_ = -1;
    std::string path_;
};

// A new, empty file in the temporary folder with a unique name starting with `prefix`, open for reading
// and writing and readable by its owner alone; the file is deleted when the object goes.
class TemporaryFile {
public:
    static TemporaryFile create(std::string_view prefix);
    // The same in `folder` (with its trailing "/"), so that it can later take a name there in one rename.
    static TemporaryFile create_in(const std::string& folder, std::string_view prefix);
    // The same in the folder of `target`, under a short hidden name of Ferrolo's own derived from
    // `target`'s name, so that it fits the name limit whatever the target's length and a later run can
    // find it with leftovers_beside.
    static TemporaryFile create_beside(const std::string& target);
    // Paths of the files create_beside made for `target` that are still there (a run was killed);
    // none when the folder cannot be listed.
    static std::vector<std::string> leftovers_beside(const std::string& target);

    // Closes the file and gives it the name `path`, replacing any file or link there; from then on it is
    // kept, still readable by its owner alone.
    void keep_as(const std::string& path);

    TemporaryFile(TemporaryFile&& other) noexcept;
    TemporaryFile& operator=(TemporaryFile&& other) noexcept;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile();

    File& file() { return file_; }
    const std::string& path() const { return path_; }

private:
    TemporaryFile(File file, std::string path) : file_(std::move(file)), path_(std::move(path)) {}
    void remove() noexcept;

    File file_;
    std::string path_;  // empty once removed or moved from
};

}  // namespace ferrolo::platform
