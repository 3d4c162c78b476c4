// The writing half of TZipArchiver: selection, entries, central directory and end records.
#include <algorithm>

#include "platform/clock.h"
#include "platform/path_limit.h"
#include "platform/path_names.h"
#include "zip/dos_time.h"
#include "zip/entry_name.h"
#include "zip/file_selection.h"
#include "zip/zip_archiver_impl.h"
#include "zip/zip_reader.h"

namespace ferrolo::zip {

namespace {

// Entries staged in a temporary file reach the volumes in pieces of this size, the central directory
// too.
constexpr size_t kCopyPieceSize = 1'000'000;
constexpr char kTemporaryFilePrefix[] = "FC";

std::span<const std::byte> bytes_of(const std::vector<std::byte>& bytes) {
    return std::span(bytes.data(), bytes.size());
}

std::vector<std::byte> local_header_bytes(const ZipEntry& entry) {
    std::vector<std::byte> bytes;
    ByteWriter out(bytes);
    local_header_of(entry).write(out);
    return bytes;
}

// Info-ZIP's Unicode Path extra field: the exact UTF-8 name beside its code page 850 bytes, which Linux
// peers (unzip, 7-Zip, bsdtar) would otherwise extract as raw bytes; the CRC-32 of the stored bytes tells
// a reader the field still belongs to the name. Readers that do not know the field skip it.
std::string unicode_path_field(std::string_view stored_bytes, std::string_view utf8_name) {
    constexpr uint16_t kUnicodePathId = 0x7075;
    constexpr char kVersion = 1;
    const uint32_t crc = update_crc32(0, std::as_bytes(std::span(stored_bytes.data(), stored_bytes.size())));
    const size_t length = 1 + 4 + utf8_name.size();
    std::string field;
    for (const uint64_t value : {uint64_t{kUnicodePathId}, uint64_t{length}}) {
        field.push_back(static_cast<char>(value & 0xFF));
        field.push_back(static_cast<char>((value >> 8) & 0xFF));
    }
    field.push_back(kVersion);
    for (int shift = 0; shift < 32; shift += 8) {
        field.push_back(static_cast<char>((crc >> shift) & 0xFF));
    }
    field.append(utf8_name);
    return field;
}

}  // namespace

void TZipArchiver::Impl::create(const std::string& path) {
    const std::string current = platform::current_folder();
    archive_path = absolute_path(path, current);
    entries.clear();
    queue.clear();
    finished = false;
    update_depth = 0;
    last_volume = 0;
    if (owner.SpanningMode() != TZipSpanningMode::smNone) {
        VolumeSettings settings;
        settings.archive_name = path;
        settings.advanced_naming = owner.SpanningOptions.AdvancedNaming;
        settings.volume_size = static_cast<uint64_t>(
            volume_size_in_bytes(owner.SpanningOptions.VolumeSize, owner.SpanningOptions.CustomVolumeSize()));
        if (owner.SpanningOptions.FirstVolumeSize > 0) {
            settings.first_volume_size =
                static_cast<uint64_t>(std::max(owner.SpanningOptions.FirstVolumeSize, kMinimumVolumeSize));
        }
        settings.flush_buffers = owner.Options.FlushBuffers;
        sink = std::make_unique<VolumeSink>(owner.Name(), std::move(settings),
                                            [this](int volume_number, const std::string& volume_file_name) {
                                                return disk_full(volume_number, volume_file_name);
                                            });
    } else {
        // What a run that died left under the temporary names of this archive goes first.
        for (const std::string& leftover : platform::TemporaryFile::leftovers_beside(path)) {
            platform::remove_file(leftover);
        }
        sink = std::make_unique<FileSink>(
            as_zip_error(owner.Name(), zip_error::kCannotOpenFile, {.file_name = path},
                         [&] { return platform::TemporaryFile::create_beside(path); }),
            path, owner.Options.FlushBuffers, owner.Name());
    }
    directory_start = 0;
    access = Access::Write;
}

bool TZipArchiver::Impl::disk_full(int volume_number, const std::string& volume_file_name) {
    if (!owner.OnDiskFull) {
        return false;
    }
    std::string name = volume_file_name;
    bool cancel_wait = false;
    owner.OnDiskFull(owner, volume_number, name, cancel_wait);
    return cancel_wait;
}

void TZipArchiver::Impl::open_existing(const std::string& path, bool for_writing) {
    const std::string current = platform::current_folder();
    ArchiveDirectory directory =
        read_archive_directory(owner.Name(), path, owner.SpanningOptions.AdvancedNaming);
    archive_path = absolute_path(path, current);
    entries = std::move(directory.entries);
    last_volume = directory.last_volume;
    finished = true;
    update_depth = 0;
    access = Access::Read;
    directory_start = directory.directory_offset;
    if (for_writing) {
        // Volumes are written once: a split archive gets no sink, and a further update is refused.
        if (last_volume == 0) {
            sink = file_sink(path, platform::File::Mode::ReadWrite, directory_start);
        }
        access = Access::Write;
    }
}

std::unique_ptr<ArchiveSink> TZipArchiver::Impl::file_sink(const std::string& path, platform::File::Mode mode,
                                                           uint64_t start) const {
    platform::File file = as_zip_error(owner.Name(), zip_error::kCannotOpenFile, {.file_name = path},
                                       [&] { return platform::File::open(path, mode); });
    return std::make_unique<FileSink>(std::move(file), start, owner.Options.FlushBuffers, owner.Name());
}

void TZipArchiver::Impl::select(const std::string& mask, uint32_t search_attr,
                                const std::string& exclusion_mask) {
    if (update_aborted) {
        return;
    }
    const std::string base = base_folder();
    SelectionRules rules;
    rules.mask = absolute_path(mask, base);
    rules.search_attr = search_attr;
    rules.recurse = owner.Options.Recurse;
    rules.exclusions = owner.ExclusionMasks;
    if (!exclusion_mask.empty()) {
        rules.exclusions.push_back(exclusion_mask);
    }
    // The archive's own files by their exact paths: as masks they would also leave out "LUN.ZIP" beside
    // "lun.zip", and more when the path holds "?" or "*".
    rules.excluded_files = owner.ExcludedFiles;
    rules.excluded_files.push_back(archive_path);
    if (sink) {
        rules.excluded_files.push_back(absolute_path(sink->current_path(), platform::current_folder()));
    }
    const auto found = [&](const std::string& path, const platform::DirEntry& entry) {
        auto stored = stored_name_of(path, entry.is_folder(), owner.Options.StorePath, base);
        if (!stored) {
            return;
        }
        QueuedFile file;
        file.source_path = path;
        file.stored_name = std::move(*stored);
        file.attributes = entry.attributes;
        file.size = entry.size;
        file.last_write = entry.last_write;
        file.is_folder = entry.is_folder();
        if (owner.OnStoreFile) {
            owner.OnStoreFile(owner, file.stored_name, file.attributes, file.comment, path);
            if (file.stored_name.empty()) {
                return;
            }
        }
        queue.push_back(std::move(file));
    };
    // A folder that cannot be listed is reported like a file that cannot be opened, never skipped silently.
    const auto unreadable = [&](const std::string& folder) {
        return failure_action(folder, TZipProcessOperation::poAdd,
                              EZipError(owner.Name(), zip_error::kCannotOpenFile, {.file_name = folder}));
    };
    if (!select_files(rules, found, unreadable)) {
        update_aborted = true;
    }
}

void TZipArchiver::Impl::write_update() {
    cancel = false;
    if (finished) {
        // The entries added to a finished archive take the place of its directory, which is written anew.
        sink->rewind(0, directory_start);
    }
    finished = false;
    overall_progress(0.0, TZipProcessOperation::poAdd, TZipProgressPhase::ppStart);
    try {
        if (!cancel && !update_aborted) {
            write_queue();
        }
    } catch (...) {
        queue.clear();
        salvage();
        throw;
    }
    const bool stopped = cancel || update_aborted;
    queue.clear();
    finish_archive();
    if (!stopped) {
        overall_progress(100.0, TZipProcessOperation::poAdd, TZipProgressPhase::ppEnd);
    }
}

void TZipArchiver::Impl::write_queue() {
    AddProgress progress;
    for (const QueuedFile& file : queue) {
        progress.total += file.size;
    }
    for (const QueuedFile& file : queue) {
        const uint64_t bytes_before = progress.done;
        EntryOutcome outcome = EntryOutcome::Done;
        const Attempt attempt = attempt_until_decided<EZipError>(
            [&] { outcome = write_entry(file, progress); },
            [&](const EZipError& error) {
                progress.done = bytes_before;
                return failure_action(file.source_path, TZipProcessOperation::poAdd, error);
            });
        if (attempt == Attempt::Aborted) {
            update_aborted = true;
            return;
        }
        if ((attempt == Attempt::Done && outcome == EntryOutcome::Cancelled) || cancel) {
            return;
        }
    }
}

ZipEntry TZipArchiver::Impl::entry_header(const QueuedFile& file) const {
    ZipEntry entry;
    const bool oem = owner.Options.OEMFileNames;
    EncodedName name = encode_entry_name(file.stored_name, oem);
    if (name.bytes.size() > 0xFFFF) {
        raise(zip_error::kNameTooLong, {.file_name = file.stored_name});
    }
    // A name that fell back to UTF-8 is marked as made on NTFS: with the MS-DOS host, Info-ZIP's unzip
    // converts its bytes as if they were OEM and garbles them.
    entry.version_made_by = oem && !name.utf8 ? kVersionDefault : kVersionNtfsHost;
    entry.version_needed = entry.version_made_by;
    if (oem && !name.utf8 && name.bytes != file.stored_name) {
        entry.other_extra = unicode_path_field(name.bytes, file.stored_name);
        entry.local_extra = entry.other_extra;
    }
    entry.name = std::move(name.bytes);
    if (name.utf8) {
        entry.flags |= kFlagUtf8Name;
    }
    entry.comment = file.comment.substr(0, 0xFFFF);
    if (file.is_folder) {
        entry.flags |= kFlagFolder;
    }
    const DosDateTime time = to_dos_date_time(platform::to_local_time(file.last_write));
    entry.dos_time = time.time;
    entry.dos_date = time.date;
    entry.external_attributes = file.attributes;
    entry.local_zip64 = owner.Zip64Mode == TZip64Mode::zmAlways;
    return entry;
}

// Where an entry's data goes while it is compressed: straight into the archive, or a staging file.
class EntryTarget {
public:
    using Write = std::function<void(std::span<const std::byte> bytes)>;
    explicit EntryTarget(Write write) : write_(std::move(write)) {}

    void write_data(std::span<const std::byte> bytes) {
        write_(bytes);
        data_written_ += bytes.size();
    }
    uint64_t data_written() const { return data_written_; }

private:
    Write write_;
    uint64_t data_written_ = 0;
};

namespace {

void mark_zip64(ZipEntry& entry) {
    entry.version_made_by = kVersionZip64;
    entry.version_needed = kVersionZip64;
}

}  // namespace

TZipArchiver::Impl::EntryOutcome TZipArchiver::Impl::write_entry(const QueuedFile& file,
                                                                 AddProgress& progress) {
    file_progress(file.source_path, 0.0, TZipProcessOperation::poAdd, TZipProgressPhase::ppStart);
    if (cancel) {
        return EntryOutcome::Cancelled;
    }
    ZipEntry entry = entry_header(file);
    std::optional<platform::File> source;
    if (!file.is_folder) {
        source = open_source(file, entry);
    }
    if (entry.local_zip64) {
        mark_zip64(entry);
    }
    const EntryOutcome outcome = sink->rewrites_in_place() ? write_in_place(file, entry, source, progress)
                                                           : write_staged(file, entry, source, progress);
    if (outcome == EntryOutcome::Cancelled) {
        return outcome;
    }
    file_progress(file.source_path, 100.0, TZipProcessOperation::poAdd, TZipProgressPhase::ppEnd);
    entries.push_back(std::move(entry));
    return EntryOutcome::Done;
}

std::optional<platform::File> TZipArchiver::Impl::open_source(const QueuedFile& file, ZipEntry& entry) {
    if (file.source_path.size() >= platform::path_length_limit()) {
        raise(zip_error::kNameTooLong, {.file_name = file.source_path});
    }
    const ZipErrorDetail unreadable{.file_name = file.source_path};
    std::optional<platform::File> source =
        as_zip_error(owner.Name(), zip_error::kCannotOpenFile, unreadable,
                     [&] { return platform::File::open(file.source_path, platform::File::Mode::Read); });
    const uint64_t size =
        as_zip_error(owner.Name(), zip_error::kCannotOpenFile, unreadable, [&] { return source->size(); });
    entry.method = owner.CompressionMode() > 0 && size > 0 ? kMethodDeflated : kMethodStored;
    entry.uncompressed_size = size;
    const bool zip64_allowed = owner.Zip64Mode != TZip64Mode::zmDisabled;
    if (size >= kFieldFull32 && !zip64_allowed) {
        raise(zip_error::kZip64SizeDisabled, {.file_name = file.source_path});
    }
    // The local header is written before the data, so room for Zip64 sizes is kept whenever the
    // compressed data could reach 4 GiB, even when the file itself is a little smaller.
    const uint64_t largest = entry.method == kMethodStored ? size : deflate_bound(size);
    entry.local_zip64 = entry.local_zip64 || (zip64_allowed && largest >= kFieldFull32);
    return source;
}

void TZipArchiver::Impl::place_header(const QueuedFile& file, ZipEntry& entry) const {
    entry.disk_number_start = sink->current_volume();
    entry.local_header_offset = sink->offset_in_volume();
    if (entry.local_header_offset >= kFieldFull32) {
        if (owner.Zip64Mode == TZip64Mode::zmDisabled) {
            raise(zip_error::kZip64OffsetDisabled, {.file_name = file.source_path});
        }
        mark_zip64(entry);
    }
}

TZipArchiver::Impl::EntryOutcome TZipArchiver::Impl::write_in_place(const QueuedFile& file, ZipEntry& entry,
                                                                    std::optional<platform::File>& source,
                                                                    AddProgress& progress) {
    place_header(file, entry);
    try {
        sink->write(bytes_of(local_header_bytes(entry)), ArchiveSink::Piece::KeptWhole);
        if (source) {
            EntryTarget target(
                [&](std::span<const std::byte> bytes) { sink->write(bytes, ArchiveSink::Piece::MayBeCut); });
            if (compress(file, entry, *source, target, progress) == EntryOutcome::Cancelled) {
                cut_back_to(entry.disk_number_start, entry.local_header_offset);
                return EntryOutcome::Cancelled;
            }
            // The header is written again in place because CRC and sizes are known only after the data.
            sink->rewrite(entry.local_header_offset, bytes_of(local_header_bytes(entry)));
        }
    } catch (...) {
        cut_back_to(entry.disk_number_start, entry.local_header_offset);
        throw;
    }
    return EntryOutcome::Done;
}

TZipArchiver::Impl::EntryOutcome TZipArchiver::Impl::write_staged(const QueuedFile& file, ZipEntry& entry,
                                                                  std::optional<platform::File>& source,
                                                                  AddProgress& progress) {
    // A folder entry is its header alone; a file's data is staged whole first, so that the volumes only
    // ever receive entries that are complete, their headers written once with the final CRC and sizes.
    std::optional<platform::TemporaryFile> staging;
    uint64_t data_size = 0;
    if (source) {
        staging = create_staging_file();
        EntryTarget target([&](std::span<const std::byte> bytes) {
            as_zip_error(owner.Name(), zip_error::kWriteFailed, [&] { staging->file().write(bytes); });
        });
        if (compress(file, entry, *source, target, progress) == EntryOutcome::Cancelled) {
            return EntryOutcome::Cancelled;
        }
        data_size = target.data_written();
    }

    sink->make_room(local_header_of(entry).size());
    place_header(file, entry);
    try {
        sink->write(bytes_of(local_header_bytes(entry)), ArchiveSink::Piece::KeptWhole);
        if (staging) {
            copy_staged_data(staging->file(), data_size);
        }
    } catch (...) {
        cut_back_to(entry.disk_number_start, entry.local_header_offset);
        throw;
    }
    return EntryOutcome::Done;
}

void TZipArchiver::Impl::cut_back_to(uint32_t volume, uint64_t offset) {
    // What reached the current volume is cut away; bytes already in earlier volumes stay as a gap no
    // directory entry points into.
    try {
        sink->rewind(volume, offset);
    } catch (const EZipError&) {
    }
}

platform::TemporaryFile TZipArchiver::Impl::create_staging_file() const {
    std::string folder = owner.TempDir;
    if (!folder.empty() && !platform::ends_with_separator(folder)) {
        folder += platform::kPathSeparator;
    }
    return as_zip_error(owner.Name(), zip_error::kWriteFailed, [&] {
        return folder.empty() ? platform::TemporaryFile::create(kTemporaryFilePrefix)
                              : platform::TemporaryFile::create_in(folder, kTemporaryFilePrefix);
    });
}

void TZipArchiver::Impl::copy_staged_data(platform::File& staged, uint64_t data_size) {
    copy_buffer.resize(kCopyPieceSize);
    as_zip_error(owner.Name(), zip_error::kWriteFailed, [&] { staged.seek(0); });
    for (uint64_t left = data_size; left > 0;) {
        const auto piece =
            std::span(copy_buffer.data(), static_cast<size_t>(std::min<uint64_t>(copy_buffer.size(), left)));
        const size_t count =
            as_zip_error(owner.Name(), zip_error::kWriteFailed, [&] { return staged.read_fully(piece); });
        if (count != piece.size()) {
            raise(zip_error::kWriteFailed);
        }
        sink->write(piece, ArchiveSink::Piece::MayBeCut);
        left -= count;
    }
}

TZipArchiver::Impl::EntryOutcome TZipArchiver::Impl::compress(const QueuedFile& file, ZipEntry& entry,
                                                              platform::File& source, EntryTarget& target,
                                                              AddProgress& progress) {
    const size_t block_size = block_size_of_mode(owner.CompressionMode());
    if (block_buffer.size() < block_size) {
        block_buffer.resize(block_size);
    }
    const bool deflate = entry.method == kMethodDeflated;
    if (deflate) {
        if (!deflater) {
            deflater = std::make_unique<Deflater>(owner.CompressionMode());
        } else {
            deflater->restart(owner.CompressionMode());
        }
    }
    const auto emit = [&](std::span<const std::byte> bytes) { target.write_data(bytes); };
    const auto read = [&](std::span<std::byte> buffer) {
        return as_zip_error(owner.Name(), zip_error::kCannotOpenFile, {.file_name = file.source_path},
                            [&] { return source.read_fully(buffer); });
    };
    const uint64_t size = entry.uncompressed_size;
    uint64_t bytes_read = 0;
    uint32_t crc = 0;
    // At least one block, so that an empty file also gives its progress notice.
    do {
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(block_size, size - bytes_read));
        const size_t count = read(std::span(block_buffer.data(), wanted));
        const auto data = std::span<const std::byte>(block_buffer.data(), count);
        crc = update_crc32(crc, data);
        if (deflate) {
            deflater->compress(data, false, emit);
        } else {
            emit(data);
        }
        bytes_read += count;
        progress.done += count;
        file_progress(file.source_path,
                      size == 0 ? 100.0 : static_cast<double>(bytes_read) * 100.0 / static_cast<double>(size),
                      TZipProcessOperation::poAdd, TZipProgressPhase::ppProcess);
        overall_progress(progress.total == 0 ? 50.0
                                             : std::min(100.0, static_cast<double>(progress.done) * 100.0 /
                                                                   static_cast<double>(progress.total)),
                         TZipProcessOperation::poAdd, TZipProgressPhase::ppProcess);
        if (cancel) {
            return EntryOutcome::Cancelled;
        }
        if (count < wanted) {
            break;
        }
    } while (bytes_read < size);
    if (bytes_read == size) {
        // One byte more tells a file that grew since it was opened.
        std::byte probe{};
        bytes_read += read(std::span(&probe, 1));
    }
    if (bytes_read != size) {
        raise(zip_error::kSizeChanged,
              {.first = static_cast<int64_t>(size), .second = static_cast<int64_t>(bytes_read)});
    }
    if (deflate) {
        deflater->compress({}, true, emit);
    }
    entry.crc32 = crc;
    entry.compressed_size = target.data_written();
    if (entry.compressed_size >= kFieldFull32 && !entry.local_zip64) {
        raise(zip_error::kZip64SizeDisabled, {.file_name = file.source_path});
    }
    return EntryOutcome::Done;
}

void TZipArchiver::Impl::finish_archive() {
    const uint32_t entries_end_volume = sink->current_volume();
    const uint64_t entries_end = sink->offset_in_volume();
    try {
        DirectoryPlace directory = write_central_directory();
        const EndRecordsPlace end = place_end_records(directory);
        sink->write(bytes_of(end_records_bytes(directory, end)), ArchiveSink::Piece::KeptWhole);
        sink->finish();
        last_volume = end.volume;
    } catch (...) {
        // A later attempt (Close) writes the directory again where the entries end.
        cut_back_to(entries_end_volume, entries_end);
        throw;
    }
    finished = true;
}

DirectoryPlace TZipArchiver::Impl::write_central_directory() {
    const bool force_zip64 = owner.Zip64Mode == TZip64Mode::zmAlways;
    // Each central header is kept whole, as APPNOTE asks of split archives (7-Zip cannot read a set where
    // one straddles two volumes); headers that fit together in the room left go as one piece.
    DirectoryPlace place;
    directory_start = sink->bytes_written();
    std::vector<std::byte> group;
    size_t records_in_group = 0;
    uint64_t room = 0;
    const auto write_group = [&] {
        if (group.empty()) {
            return;
        }
        sink->make_room(group.size());
        const uint32_t volume = sink->current_volume();
        if (sink->bytes_written() == directory_start) {
            place.volume = volume;
            place.offset = sink->offset_in_volume();
        }
        sink->write(bytes_of(group), ArchiveSink::Piece::KeptWhole);
        place.records_in_counted_volume = volume == place.counted_volume
                                              ? place.records_in_counted_volume + records_in_group
                                              : records_in_group;
        place.counted_volume = volume;
        group.clear();
        records_in_group = 0;
    };
    std::vector<std::byte> record;
    for (const ZipEntry& entry : entries) {
        record.clear();
        ByteWriter out(record);
        central_header_of(entry, force_zip64).write(out);
        if (group.size() + record.size() > std::min<uint64_t>(room, kCopyPieceSize)) {
            write_group();
            sink->make_room(record.size());
            room = sink->room_left();
        }
        group.insert(group.end(), record.begin(), record.end());
        ++records_in_group;
    }
    write_group();
    place.size = sink->bytes_written() - directory_start;
    return place;
}

EndRecordsPlace TZipArchiver::Impl::place_end_records(DirectoryPlace& directory) {
    // The end records are one piece kept whole: a reader finds the locator right before the end record,
    // and both in the last volume. The Zip64 pair joins them when a value does not fit the plain record,
    // which may move them to the next volume and so be needed only then.
    const bool force_zip64 = owner.Zip64Mode == TZip64Mode::zmAlways;
    EndRecordsPlace end;
    for (;;) {
        const size_t end_size =
            (end.zip64 ? Zip64EndOfCentralDirectory::fixed_size + Zip64EndLocator::fixed_size : 0) +
            EndOfCentralDirectory::fixed_size;
        sink->make_room(end_size);
        end.volume = sink->current_volume();
        end.offset = sink->offset_in_volume();
        if (entries.empty()) {
            directory.volume = end.volume;
            directory.offset = end.offset;
        }
        const bool needed = force_zip64 || entries.size() >= kFieldFull16 || end.offset >= kFieldFull32 ||
                            directory.offset >= kFieldFull32 || directory.size >= kFieldFull32 ||
                            end.volume >= kFieldFull16 || directory.volume >= kFieldFull16;
        if (!needed || end.zip64) {
            return end;
        }
        end.zip64 = true;
    }
}

std::vector<std::byte> TZipArchiver::Impl::end_records_bytes(const DirectoryPlace& directory,
                                                             const EndRecordsPlace& end) const {
    const uint64_t entries_on_last =
        directory.counted_volume == end.volume ? directory.records_in_counted_volume : 0;
    std::vector<std::byte> bytes;
    ByteWriter out(bytes);
    if (end.zip64) {
        Zip64EndOfCentralDirectory{
            .this_disk = end.volume,
            .directory_disk = directory.volume,
            .entries_on_this_disk = entries_on_last,
            .total_entries = entries.size(),
            .directory_size = directory.size,
            .directory_offset = directory.offset,
        }
            .write(out);
        Zip64EndLocator{
            .zip64_end_disk = end.volume, .zip64_end_offset = end.offset, .total_disks = end.volume + 1}
            .write(out);
    }
    const auto clamp16 = [](uint64_t value) {
        return static_cast<uint16_t>(std::min<uint64_t>(value, kFieldFull16));
    };
    const auto clamp32 = [](uint64_t value) {
        return static_cast<uint32_t>(std::min<uint64_t>(value, kFieldFull32));
    };
    EndOfCentralDirectory{
        .this_disk = clamp16(end.volume),
        .directory_disk = clamp16(directory.volume),
        .entries_on_this_disk = clamp16(entries_on_last),
        .total_entries = clamp16(entries.size()),
        .directory_size = clamp32(directory.size),
        .directory_offset = clamp32(directory.offset),
    }
        .write(out);
    return bytes;
}

void TZipArchiver::Impl::salvage() {
    // A write that fails half-way still leaves an archive of the entries written whole, when it can.
    if (access != Access::Write || finished || !sink) {
        return;
    }
    try {
        finish_archive();
    } catch (...) {
    }
}

void TZipArchiver::Impl::close_files() noexcept {
    sink.reset();
    access = Access::Closed;
    finished = false;
    update_depth = 0;
    update_aborted = false;
    entries.clear();
    queue.clear();
    last_volume = 0;
}

}  // namespace ferrolo::zip
