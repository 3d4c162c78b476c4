// zip/zip_archiver_impl.h — the state of an open archive, shared by the archiver's source files.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/file_system.h"
#include "zip/entry_preparation.h"
#include "zip/volume_sink.h"
#include "zip/zip_archiver.h"
#include "zip/zip_records.h"
#include "zip/zlib_stream.h"

namespace ferrolo::zip {

// One file or folder queued by AddMask.
struct QueuedFile {
    std::string source_path;  // absolute
    std::string stored_name;  // UTF-8, "/" between folders
    std::string comment;
    uint32_t attributes = 0;
    uint64_t size = 0;  // at selection
    platform::FileTime last_write{};
    bool is_folder = false;
};

class EntryTarget;

// Where the central directory went: its first volume and offset there, its size, and how many of its
// headers lie in `counted_volume`.
struct DirectoryPlace {
    uint32_t volume = 0;
    uint64_t offset = 0;
    uint64_t size = 0;
    uint32_t counted_volume = 0;
    uint64_t records_in_counted_volume = 0;
};

// Where the end records go, and whether they include the Zip64 pair.
struct EndRecordsPlace {
    uint32_t volume = 0;
    uint64_t offset = 0;
    bool zip64 = false;
};

struct TZipArchiver::Impl {
    enum class Access { Closed, Read, Write };
    // What became of one entry: written, or stopped by Cancel (the entry is dropped).
    enum class EntryOutcome { Done, Cancelled };
    // Bytes read of all queued files, and their total at selection.
    struct AddProgress {
        uint64_t done = 0;
        uint64_t total = 0;
    };

    explicit Impl(TZipArchiver& archiver) : owner(archiver) {}

    TZipArchiver& owner;
    Access access = Access::Closed;
    int update_depth = 0;
    bool update_aborted = false;  // a failure handler stopped the selection of this update
    bool finished = false;        // the end records are on disk
    bool cancel = false;          // the one Cancel flag of the progress events
    std::string archive_path;     // FileName made absolute, as the exclusions see it
    // Deques: a million entries grow without a copy of them all, and the queue gives back what was written.
    std::deque<ZipEntry> entries;
    std::deque<QueuedFile> queue;
    uint32_t last_volume = 0;  // of the archive on disk, for reading it back

    // Where the archive is written: one file, or volumes. None once a split archive is finished, or when
    // one was opened: volumes are written once.
    std::unique_ptr<ArchiveSink> sink;
    // Where the directory of a finished archive begins: a further update writes its entries from there.
    uint64_t directory_start = 0;
    // The workers and the files they read ahead, while a write lasts.
    std::unique_ptr<EntryFeed> feed;
    // Reused for the blocks of every large file.
    std::vector<std::byte> block_buffer;
    std::vector<std::byte> copy_buffer;

    [[noreturn]] void raise(int native_error, const ZipErrorDetail& detail = {}) const;
    void require_open() const;
    std::string base_folder() const;

    // Events; the Cancel a handler sets stays set.
    void file_progress(const std::string& file_name, double progress, TZipProcessOperation operation,
                       TZipProgressPhase phase);
    void overall_progress(double progress, TZipProcessOperation operation, TZipProgressPhase phase);
    // What to do after `error` on `file_name`: the handler's answer, or the engine's own choice.
    TZipAction failure_action(const std::string& file_name, TZipProcessOperation operation,
                              const EZipError& error);

    // zip_writer.cpp
    void create(const std::string& path);
    std::unique_ptr<ArchiveSink> file_sink(const std::string& path, platform::File::Mode mode,
                                           uint64_t start) const;
    // OnDiskFull for the volume writer: true when the handler cancels the wait.
    bool disk_full(int volume_number, const std::string& volume_file_name);
    void open_existing(const std::string& path, bool for_writing);
    void select(const std::string& mask, uint32_t search_attr, const std::string& exclusion_mask);
    void write_update();
    void write_queue();
    ZipEntry entry_header(const QueuedFile& file) const;
    // Writes `file` as one entry; Cancelled when a handler set Cancel on the way (nothing of it stays).
    EntryOutcome write_entry(size_t index, const QueuedFile& file, AddProgress& progress);
    // The source of queue entry `index`, opened (and read, when small) ahead or now; settles method, size and
    // whether the local header needs Zip64 room.
    PreparedData open_source(size_t index, const QueuedFile& file, ZipEntry& entry);
    // Records where the local header goes, now that the sink made room for it.
    void place_header(const QueuedFile& file, ZipEntry& entry) const;
    EntryOutcome write_in_place(const QueuedFile& file, ZipEntry& entry, std::optional<PreparedData>& source,
                                AddProgress& progress);
    EntryOutcome write_staged(const QueuedFile& file, ZipEntry& entry, std::optional<PreparedData>& source,
                              AddProgress& progress);
    // Cuts what a failed or cancelled entry (or directory) left in the sink back to `offset` of `volume`,
    // so the next bytes go where it began.
    void cut_back_to(uint32_t volume, uint64_t offset);
    platform::TemporaryFile create_staging_file() const;
    void copy_staged_data(platform::File& staged, uint64_t data_size);
    // Gives one progress notice per block of the source read, and its data deflated (or stored) to
    // `target`.
    EntryOutcome compress(const QueuedFile& file, ZipEntry& entry, PreparedData& source, EntryTarget& target,
                          AddProgress& progress);
    // The central directory and the end records, then the sink's finish.
    void finish_archive();
    DirectoryPlace write_central_directory();
    // Makes room for the end records; an archive without entries gets its (empty) directory there too.
    EndRecordsPlace place_end_records(DirectoryPlace& directory);
    std::vector<std::byte> end_records_bytes(const DirectoryPlace& directory,
                                             const EndRecordsPlace& end) const;
    void salvage();
    void close_files() noexcept;

    // zip_tester.cpp
    void test(const std::string& mask, const std::string& exclusion_mask);
};

// Bytes read from a source file per block (and per progress notice) at compression mode `mode`.
size_t block_size_of_mode(int mode);

}  // namespace ferrolo::zip
