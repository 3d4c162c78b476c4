#include "zip/zip_reader.h"

#include <algorithm>
#include <array>

#include "platform/file_system.h"
#include "zip/volume_sink.h"
#include "zip/zip_error.h"

namespace ferrolo::zip {

VolumeReader::VolumeReader(std::string component_name, std::string archive_name, uint32_t last_volume,
                           bool advanced_naming)
    : component_name_(std::move(component_name)),
      archive_name_(std::move(archive_name)),
      last_volume_(last_volume),
      advanced_naming_(advanced_naming) {}

std::string VolumeReader::path_of(uint32_t volume) const {
    if (volume == last_volume_) {
        return archive_name_;
    }
    // Only the set's own scheme: a stale set of the other scheme beside it is no part of this archive.
    // Numbered volumes may come in either letter case, as other systems name them.
    std::string name = volume_file_name(archive_name_, volume, advanced_naming_);
    if (platform::file_exists(name)) {
        return name;
    }
    if (!advanced_naming_) {
        char& letter = name[name.rfind('.') + 1];
        letter = letter == 'z' ? 'Z' : 'z';
        if (platform::file_exists(name)) {
            return name;
        }
    }
    throw EZipError(component_name_, zip_error::kInvalidArchive);
}

void VolumeReader::open(uint32_t volume) {
    if (file_ && volume_ == volume) {
        return;
    }
    file_.reset();
    const std::string path = path_of(volume);
    platform::File file = as_zip_error(component_name_, zip_error::kInvalidArchive, [&] {
        return platform::File::open(path, platform::File::Mode::Read);
    });
    volume_size_ = as_zip_error(component_name_, zip_error::kInvalidArchive, [&] { return file.size(); });
    file_ = std::move(file);
    volume_ = volume;
    offset_ = 0;
}

bool VolumeReader::seek(uint32_t volume, uint64_t offset) {
    if (volume > last_volume_) {
        return false;
    }
    open(volume);
    if (offset > volume_size_) {
        return false;
    }
    as_zip_error(component_name_, zip_error::kInvalidArchive, [&] { file_->seek(offset); });
    offset_ = offset;
    return true;
}

size_t VolumeReader::read(std::span<std::byte> buffer) {
    size_t total = 0;
    while (total < buffer.size() && file_) {
        if (offset_ == volume_size_) {
            if (volume_ == last_volume_) {
                break;
            }
            open(volume_ + 1);
            continue;
        }
        const size_t wanted =
            static_cast<size_t>(std::min<uint64_t>(buffer.size() - total, volume_size_ - offset_));
        const size_t count = as_zip_error(component_name_, zip_error::kInvalidArchive,
                                          [&] { return file_->read(buffer.subspan(total, wanted)); });
        if (count == 0) {
            // Shorter than it was when opened: the rest of this volume is gone.
            volume_size_ = offset_;
            continue;
        }
        offset_ += count;
        total += count;
    }
    return total;
}

bool VolumeReader::read_exactly(std::span<std::byte> buffer) {
    return read(buffer) == buffer.size();
}

std::pair<uint32_t, uint64_t> VolumeReader::position() const {
    if (offset_ == volume_size_ && volume_ < last_volume_) {
        return {volume_ + 1, 0};
    }
    return {volume_, offset_};
}

namespace {

// An archive comment is at most 65,535 bytes, so the end record lies in the file's last 65,557 bytes.
constexpr uint64_t kEndSearchSpan = EndOfCentralDirectory::fixed_size + 0xFFFF;

[[noreturn]] void damaged(const std::string& component_name) {
    throw EZipError(component_name, zip_error::kInvalidArchive);
}

// Fills `buffer` from `offset` of `file`; a short or failed read is a damaged archive.
void read_at(const std::string& component_name, platform::File& file, uint64_t offset,
             std::span<std::byte> buffer) {
    const size_t count = as_zip_error(component_name, zip_error::kInvalidArchive, [&] {
        file.seek(offset);
        return file.read_fully(buffer);
    });
    if (count != buffer.size()) {
        damaged(component_name);
    }
}

struct EndRecords {
    uint32_t this_disk = 0;
    uint32_t directory_disk = 0;
    uint64_t total_entries = 0;
    uint64_t directory_size = 0;
    uint64_t directory_offset = 0;
    uint64_t directory_limit = 0;  // where the end records begin in the last volume
};

std::vector<std::byte> read_tail(const std::string& component_name, platform::File& file,
                                 uint64_t file_size) {
    const uint64_t start = file_size > kEndSearchSpan ? file_size - kEndSearchSpan : 0;
    std::vector<std::byte> tail(static_cast<size_t>(file_size - start));
    read_at(component_name, file, start, tail);
    return tail;
}

EndRecords find_end_records(const std::string& component_name, const std::string& archive_name) {
    platform::File file = as_zip_error(component_name, zip_error::kInvalidArchive, [&] {
        return platform::File::open(archive_name, platform::File::Mode::Read);
    });
    const uint64_t file_size =
        as_zip_error(component_name, zip_error::kInvalidArchive, [&] { return file.size(); });
    if (file_size < EndOfCentralDirectory::fixed_size) {
        damaged(component_name);
    }
    const std::vector<std::byte> tail = read_tail(component_name, file, file_size);
    const uint64_t tail_start = file_size - tail.size();

    // The last signature whose comment length reaches no further than the file is the end record.
    std::optional<EndOfCentralDirectory> end;
    size_t end_position = 0;
    for (size_t i = tail.size() - EndOfCentralDirectory::fixed_size + 1; i-- > 0;) {
        auto candidate = EndOfCentralDirectory::read(std::span(tail).subspan(i));
        if (candidate && i + EndOfCentralDirectory::fixed_size + candidate->comment_length <= tail.size()) {
            end = candidate;
            end_position = i;
            break;
        }
    }
    if (!end) {
        damaged(component_name);
    }

    EndRecords records;
    records.this_disk = end->this_disk;
    records.directory_disk = end->directory_disk;
    records.total_entries = end->total_entries;
    records.directory_size = end->directory_size;
    records.directory_offset = end->directory_offset;
    records.directory_limit = tail_start + end_position;

    if (end_position < Zip64EndLocator::fixed_size) {
        return records;
    }
    const auto locator =
        Zip64EndLocator::read(std::span(tail).subspan(end_position - Zip64EndLocator::fixed_size));
    if (!locator) {
        return records;
    }
    // The Zip64 end record must lie in the last volume, before its locator: the writer keeps the end
    // records together, and another place could only be a damaged or hostile archive.
    const uint64_t locator_position = records.directory_limit - Zip64EndLocator::fixed_size;
    if (locator->zip64_end_offset > locator_position ||
        locator_position - locator->zip64_end_offset < Zip64EndOfCentralDirectory::fixed_size ||
        locator->total_disks == 0 || locator->zip64_end_disk != locator->total_disks - 1) {
        damaged(component_name);
    }
    std::array<std::byte, Zip64EndOfCentralDirectory::fixed_size> zip64_bytes{};
    read_at(component_name, file, locator->zip64_end_offset, zip64_bytes);
    const auto zip64 = Zip64EndOfCentralDirectory::read(zip64_bytes);
    if (!zip64 || zip64->this_disk != locator->zip64_end_disk) {
        damaged(component_name);
    }
    records.this_disk = zip64->this_disk;
    records.directory_disk = zip64->directory_disk;
    records.total_entries = zip64->total_entries;
    records.directory_size = zip64->directory_size;
    records.directory_offset = zip64->directory_offset;
    records.directory_limit = locator->zip64_end_offset;
    return records;
}

}  // namespace

ArchiveDirectory read_archive_directory(const std::string& component_name, const std::string& archive_name,
                                        bool advanced_naming) {
    const EndRecords end = find_end_records(component_name, archive_name);
    if (end.directory_disk > end.this_disk ||
        (end.directory_disk == end.this_disk &&
         (end.directory_offset > end.directory_limit ||
          end.directory_size > end.directory_limit - end.directory_offset)) ||
        end.total_entries > end.directory_size / CentralDirectoryHeader::fixed_size) {
        damaged(component_name);
    }

    ArchiveDirectory directory;
    directory.last_volume = end.this_disk;
    directory.directory_offset = end.directory_offset;
    VolumeReader reader(component_name, archive_name, end.this_disk, advanced_naming);
    if (!reader.seek(end.directory_disk, end.directory_offset)) {
        damaged(component_name);
    }
    // A directory spread over volumes is not bounded by the last file: the list grows with what is read.
    directory.entries.reserve(static_cast<size_t>(std::min<uint64_t>(end.total_entries, 65536)));
    uint64_t left = end.directory_size;
    std::vector<std::byte> record;
    for (uint64_t i = 0; i < end.total_entries; ++i) {
        record.resize(CentralDirectoryHeader::fixed_size);
        if (left < record.size() || !reader.read_exactly(record)) {
            damaged(component_name);
        }
        const auto fixed = CentralDirectoryHeader::read_fixed(record);
        if (!fixed) {
            damaged(component_name);
        }
        const size_t length = fixed->size();
        if (left < length) {
            damaged(component_name);
        }
        record.resize(length);
        if (!reader.read_exactly(std::span(record).subspan(CentralDirectoryHeader::fixed_size))) {
            damaged(component_name);
        }
        auto entry = read_central_header(record);
        if (!entry || entry->disk_number_start > end.this_disk) {
            damaged(component_name);
        }
        directory.entries.push_back(std::move(*entry));
        left -= length;
    }
    // The entries the end record counts use the directory up, and the end records follow it at once, as
    // every reader expects: a count too low, a size too large or a stray end record is damage.
    if (left != 0 || reader.position() != std::pair(end.this_disk, end.directory_limit)) {
        damaged(component_name);
    }
    return directory;
}

}  // namespace ferrolo::zip
