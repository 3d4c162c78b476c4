// zip/volume_sink.h — an archive split into volume files of a fixed size.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/file.h"
#include "zip/archive_sink.h"

namespace ferrolo::zip {

// Name of volume `volume` (from 0) of the archive `archive_name`: "lun_001.zip" with advanced naming,
// else "lun.z01" ("lun.Z01" on Windows; at least three and two digits).
std::string volume_file_name(const std::string& archive_name, uint32_t volume, bool advanced_naming);

// A drive holding this many bytes or fewer gets no new volume.
inline constexpr uint64_t kDiskFullLimit = 65536;

struct VolumeSettings {
    std::string archive_name;
    bool advanced_naming = true;
    uint64_t volume_size = 0;        // 0: no limit, a volume takes what its drive holds
    uint64_t first_volume_size = 0;  // 0: as volume_size
    bool flush_buffers = true;       // force each finished volume to the device
};

class VolumeSink final : public ArchiveSink {
public:
    // Called with the volume number (from 1) and file name while the drive lacks room for a new volume;
    // true cancels. The drive is checked again at most once a second.
    using DiskFullHandler = std::function<bool(int volume_number, const std::string& volume_file_name)>;

    // Creates the first volume; throws EZipError 45 when the disk-full handler cancels, 33 when the
    // volume cannot be created.
    VolumeSink(std::string component_name, VolumeSettings settings, DiskFullHandler on_disk_full);

    void write(std::span<const std::byte> bytes, Piece piece) override;
    void make_room(uint64_t size) override;
    uint64_t room_left() const override;
    uint32_t current_volume() const override { return volume_; }
    uint64_t offset_in_volume() const override { return offset_; }
    uint64_t bytes_written() const override { return bytes_written_; }
    bool rewrites_in_place() const override { return false; }
    // Only within the current volume; EZipError 46 for bytes in a volume already closed.
    void rewrite(uint64_t offset, std::span<const std::byte> bytes) override;
    void rewind(uint32_t volume, uint64_t offset) override;
    // Closes the last volume and gives it the archive's own name.
    void finish() override;
    // Closes the volume being written, if any.
    void close() override { close_volume(); }
    const std::string& current_path() const override { return path_; }

private:
    uint64_t limit_of(uint32_t volume) const;
    void next_volume();
    void open_volume(uint32_t volume);
    void close_volume();
    void write_here(std::span<const std::byte> bytes);

    // The place make_room promised to the next piece kept whole. The writer records it in the headers before
    // writing, so the piece goes there even if the drive's free space shrank meanwhile.
    struct Grant {
        uint32_t volume;
        uint64_t offset;
        uint64_t size;
    };

    std::string component_name_;
    VolumeSettings settings_;
    DiskFullHandler on_disk_full_;
    std::optional<platform::File> file_;
    std::string path_;
    uint32_t volume_ = 0;
    uint64_t offset_ = 0;
    uint64_t bytes_written_ = 0;
    std::optional<Grant> grant_;
};

}  // namespace ferrolo::zip
