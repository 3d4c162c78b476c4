// zip/zip_reader.h — reading an archive for the test: its directory and the bytes of its entries,
// with every size, offset and count checked against the files, so that a damaged or hostile archive
// gives an error and never a crash, a hang or a huge allocation.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "zip/zip_records.h"

namespace ferrolo::zip {

// The bytes of an archive that may be split into volumes, read as one stream from any position. The
// last volume is the archive's own file; the others under the set's naming scheme, numbered volumes in
// either letter case.
class VolumeReader {
public:
    VolumeReader(std::string component_name, std::string archive_name, uint32_t last_volume,
                 bool advanced_naming);

    // Moves to `offset` in volume `volume`; false when the volume is shorter than that or does not exist
    // in the set. Throws EZipError 45 when the volume's file is missing.
    bool seek(uint32_t volume, uint64_t offset);
    // Reads up to `buffer.size()` bytes, going on at the start of the following volumes; fewer only at
    // the end of the last volume.
    size_t read(std::span<std::byte> buffer);
    // Reads exactly `buffer.size()` bytes; false when the archive ends first.
    bool read_exactly(std::span<std::byte> buffer);
    // Where the next byte comes from: volume and offset, the end of a volume counting as the start of the
    // next one.
    std::pair<uint32_t, uint64_t> position() const;

private:
    std::string path_of(uint32_t volume) const;
    void open(uint32_t volume);

    std::string component_name_;
    std::string archive_name_;
    uint32_t last_volume_;
    bool advanced_naming_;
    std::optional<platform::File> file_;
    uint32_t volume_ = 0;
    uint64_t volume_size_ = 0;
    uint64_t offset_ = 0;
};

struct ArchiveDirectory {
    std::vector<ZipEntry> entries;
    uint32_t last_volume = 0;
    uint64_t directory_offset = 0;  // in the volume where the directory starts
};

// Reads the end records and the central directory of `archive_name` (the last volume of a split set).
// Throws EZipError 45 when the file is no ZIP archive or its end records or directory are damaged, or
// when a volume that holds part of the directory is missing.
ArchiveDirectory read_archive_directory(const std::string& component_name, const std::string& archive_name,
                                        bool advanced_naming);

}  // namespace ferrolo::zip
