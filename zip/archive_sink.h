// zip/archive_sink.h — where the archive's bytes go. The writer sees one sink; whether they land in
// one file or in volumes is the sink's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/file.h"

namespace ferrolo::zip {

class ArchiveSink {
public:
    enum class Piece { MayBeCut, KeptWhole };

    virtual ~ArchiveSink() = default;

    // Writes `bytes`; a piece kept whole never straddles two volumes. Throws EZipError 46 when the bytes
    // cannot be written.
    virtual void write(std::span<const std::byte> bytes, Piece piece) = 0;
    // Makes sure that a piece of `size` bytes kept whole, written next, lands where current_volume() and
    // offset_in_volume() then point.
    virtual void make_room(uint64_t size) = 0;
    // Bytes that still fit in the current volume.
    virtual uint64_t room_left() const = 0;
    // The volume the next byte goes to, counted from 0 as stored in the headers.
    virtual uint32_t current_volume() const = 0;
    virtual uint64_t offset_in_volume() const = 0;
    // Bytes written over all volumes.
    virtual uint64_t bytes_written() const = 0;
    // True when bytes already written can be written again in place (`rewrite`): an entry then goes
    // straight in, its header rewritten once CRC and sizes are known. A volume may be closed by then, so
    // a split archive takes each entry whole, staged first.
    virtual bool rewrites_in_place() const = 0;
    // Writes `bytes` again at `offset` of the current volume, where they were written before.
    virtual void rewrite(uint64_t offset, std::span<const std::byte> bytes) = 0;
    // Cuts the current volume back to `offset` when it is `volume`, so the next bytes go there; nothing
    // when the writer has moved on to a later volume.
    virtual void rewind(uint32_t volume, uint64_t offset) = 0;
    // The end records are written: forces the archive to the device (when asked) and gives it its name.
    virtual void finish() = 0;
    // Releases the archive's file; EZipError 46 when it cannot be closed.
    virtual void close() = 0;
    // The file the next byte goes to.
    virtual const std::string& current_path() const = 0;
};

// The archive as one file, written from `start` on (0 for a new archive, the directory's start when
// entries are added to an existing one). Finishing cuts away whatever lay beyond the last byte written.
class FileSink final : public ArchiveSink {
public:
    FileSink(platform::File file, uint64_t start, bool flush_buffers, std::string component_name);
    // A new archive, written under a temporary name beside `archive_name` and renamed onto it by close(),
    // so a run that dies half-way leaves no invalid file under the archive's name, and an earlier archive
    // of that name stays until the new one is whole.
    FileSink(platform::TemporaryFile file, std::string archive_name, bool flush_buffers,
             std::string component_name);

    void write(std::span<const std::byte> bytes, Piece piece) override;
    void make_room(uint64_t) override {}
    uint64_t room_left() const override { return UINT64_MAX; }
    uint32_t current_volume() const override { return 0; }
    uint64_t offset_in_volume() const override { return position_; }
    uint64_t bytes_written() const override { return position_; }
    bool rewrites_in_place() const override { return true; }
    void rewrite(uint64_t offset, std::span<const std::byte> bytes) override;
    void rewind(uint32_t volume, uint64_t offset) override;
    // Keeps the file open: a further update may add entries where the directory began.
    void finish() override;
    // The bytes already reached the device when the archive was finished; a new archive takes its name.
    void close() override;
    const std::string& current_path() const override {
        return temporary_ ? temporary_->path() : file_.path();
    }

private:
    platform::File& file() { return temporary_ ? temporary_->file() : file_; }

    platform::File file_;
    std::optional<platform::TemporaryFile> temporary_;
    std::string archive_name_;
    uint64_t position_;
    bool flush_buffers_;
    std::string component_name_;
};

}  // namespace ferrolo::zip
