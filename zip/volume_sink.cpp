#include "zip/volume_sink.h"

#include <algorithm>
#include <cstdio>
#include <thread>
#include <utility>

#include "platform/file_system.h"
#include "platform/path_names.h"
#include "platform/system_error.h"
#include "zip/zip_error.h"

namespace ferrolo::zip {

std::string volume_file_name(const std::string& archive_name, uint32_t volume, bool advanced_naming) {
    const std::string folder(platform::folder_part(archive_name));
    const std::string_view name = platform::name_part(archive_name);
    const size_t dot = name.rfind('.');
    const std::string_view base = name.substr(0, dot);
    const std::string_view extension = dot == std::string_view::npos ? std::string_view() : name.substr(dot);
    char number[16];
    if (advanced_naming) {
        std::snprintf(number, sizeof number, "_%03u", volume + 1);
    } else {
        std::snprintf(number, sizeof number, ".%c%02u", platform::kVolumeLetter, volume + 1);
    }
    std::string result = folder;
    result.append(base).append(number);
    if (advanced_naming) {
        result.append(extension);
    }
    return result;
}

VolumeSink::VolumeSink(std::string component_name, VolumeSettings settings, DiskFullHandler on_disk_full)
    : component_name_(std::move(component_name)),
      settings_(std::move(settings)),
      on_disk_full_(std::move(on_disk_full)) {
    open_volume(0);
}

uint64_t VolumeSink::limit_of(uint32_t volume) const {
    if (volume == 0 && settings_.first_volume_size > 0) {
        return settings_.first_volume_size;
    }
    return settings_.volume_size;
}

uint64_t VolumeSink::room_left() const {
    if (!file_) {
        return 0;
    }
    const uint64_t free =
        as_zip_error(component_name_, zip_error::kWriteFailed, [&] { return platform::free_space(path_); });
    const uint64_t limit = limit_of(volume_);
    return limit == 0 ? free : std::min(free, limit > offset_ ? limit - offset_ : 0);
}

void VolumeSink::open_volume(uint32_t volume) {
    for (;;) {
        const std::string name = volume_file_name(settings_.archive_name, volume, settings_.advanced_naming);
        const auto checked = std::chrono::steady_clock::now();
        const uint64_t free = as_zip_error(component_name_, zip_error::kCannotOpenFile, {.file_name = name},
                                           [&] { return platform::free_space(name); });
        if (free > kDiskFullLimit) {
            file_ = as_zip_error(component_name_, zip_error::kCannotOpenFile, {.file_name = name}, [&] {
                return platform::File::open(name, platform::File::Mode::CreateOwnerOnly);
            });
            path_ = name;
            volume_ = volume;
            offset_ = 0;
            return;
        }
        if (on_disk_full_ && on_disk_full_(static_cast<int>(volume) + 1, name)) {
            throw EZipError(component_name_, zip_error::kInvalidArchive);
        }
        // The handler decides how long to wait; the drive itself is asked at most once a second.
        std::this_thread::sleep_until(checked + std::chrono::seconds(1));
    }
}

void VolumeSink::close_volume() {
    if (!file_) {
        return;
    }
    // The volume is let go whether or not its last bytes reach the device.
    platform::File volume = std::move(*std::exchange(file_, std::nullopt));
    as_zip_error(component_name_, zip_error::kWriteFailed, [&] {
        if (settings_.flush_buffers) {
            volume.sync();
        }
        volume.close();
    });
}

void VolumeSink::next_volume() {
    close_volume();
    open_volume(volume_ + 1);
}

void VolumeSink::write_here(std::span<const std::byte> bytes) {
    as_zip_error(component_name_, zip_error::kWriteFailed, [&] {
        try {
            file_->write(bytes);
        } catch (const platform::SystemError&) {
            // Part of the bytes may be on disk; the position says how many.
            const uint64_t position = file_->position();
            bytes_written_ += position - offset_;
            offset_ = position;
            throw;
        }
    });
    offset_ += bytes.size();
    bytes_written_ += bytes.size();
}

void VolumeSink::write(std::span<const std::byte> bytes, Piece piece) {
    const std::optional<Grant> grant = std::exchange(grant_, std::nullopt);
    if (piece == Piece::KeptWhole && grant && grant->volume == volume_ && grant->offset == offset_ &&
        bytes.size() <= grant->size) {
        write_here(bytes);
        return;
    }
    while (!bytes.empty()) {
        if (!file_) {
            open_volume(volume_ + 1);
        }
        const uint64_t room = room_left();
        if (piece == Piece::KeptWhole) {
            if (bytes.size() <= room) {
                write_here(bytes);
                return;
            }
            if (offset_ == 0) {
                // Not even an empty volume takes it.
                throw EZipError(component_name_, zip_error::kWriteFailed);
            }
            next_volume();
            continue;
        }
        if (room == 0) {
            next_volume();
            continue;
        }
        const size_t count = static_cast<size_t>(std::min<uint64_t>(room, bytes.size()));
        write_here(bytes.first(count));
        bytes = bytes.subspan(count);
    }
}

void VolumeSink::make_room(uint64_t size) {
    grant_.reset();
    if (!file_) {
        // The last attempt to start a volume failed; this one asks the drive again.
        open_volume(volume_ + 1);
    }
    uint64_t room = room_left();
    if (offset_ > 0 && room < std::max<uint64_t>(size, 1)) {
        next_volume();
        room = room_left();
    }
    if (size <= room) {
        grant_ = Grant{volume_, offset_, size};
    }
}

void VolumeSink::rewrite(uint64_t offset, std::span<const std::byte> bytes) {
    if (!file_ || offset + bytes.size() > offset_) {
        throw EZipError(component_name_, zip_error::kWriteFailed);
    }
    as_zip_error(component_name_, zip_error::kWriteFailed, [&] {
        file_->seek(offset);
        file_->write(bytes);
        file_->seek(offset_);
    });
}

void VolumeSink::rewind(uint32_t volume, uint64_t offset) {
    if (!file_ || volume != volume_ || offset > offset_) {
        return;
    }
    grant_.reset();
    as_zip_error(component_name_, zip_error::kWriteFailed, [&] {
        file_->set_length(offset);
        file_->seek(offset);
    });
    bytes_written_ -= offset_ - offset;
    offset_ = offset;
}

void VolumeSink::finish() {
    close_volume();
    if (path_ == settings_.archive_name) {
        return;
    }
    // The rename replaces an archive of that name left by an earlier run, so there is never a moment
    // without one.
    as_zip_error(component_name_, zip_error::kWriteFailed,
                 [&] { platform::rename_file(path_, settings_.archive_name); });
    path_ = settings_.archive_name;
}

}  // namespace ferrolo::zip
