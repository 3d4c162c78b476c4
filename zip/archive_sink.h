// zip/archive_sink.h — where the archive's bytes go. The writer sees one sink; whether they land in
// one file or in volumes is the sink's business.
#pragma once

#include <cstddef>
#include <cstdint>
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
};

// The archive as one file, written from its current position on.
class FileSink final : public ArchiveSink {
public:
    FileSink(platform::File& file, std::string component_name);

    void write(std::span<const std::byte> bytes, Piece piece) override;
    void make_room(uint64_t) override {}
    uint64_t room_left() const override { return UINT64_MAX; }
    uint32_t current_volume() const override { return 0; }
    uint64_t offset_in_volume() const override { return position_; }
    uint64_t bytes_written() const override { return position_; }

private:
    platform::File& file_;
    std::string component_name_;
    uint64_t position_;
};

}  // namespace ferrolo::zip
