// tests/archive/zip_test_support.h — what the engine's tests share: peers that check an archive, an
// independent reader of the written bytes, and a recorder of the engine's events.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/zip_archiver.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::archive::testing {

// One entry as Python's zipfile sees it.
struct PeerEntry {
    std::string name;  // the stored bytes
    int flags = 0;
    int create_version = 0;
    int create_system = 0;
    int extract_version = 0;
    uint32_t external_attributes = 0;
    int method = 0;
    uint32_t crc = 0;
    uint64_t compressed_size = 0;
    uint64_t size = 0;
    uint64_t header_offset = 0;
    std::string extra_hex;  // of the central header
};

// Runs unzip -t, 7z t and Python's zipfile (testzip) on `archive`; adds a test failure, with the
// peer's output, for each that rejects it.
void expect_peers_accept(const std::string& archive);
// The entries of `archive` as Python's zipfile lists them (empty, with a failure, when it cannot).
std::vector<PeerEntry> python_entries(const std::string& archive);

// A local header read straight from the archive's bytes, without the engine's own reader.
struct RawLocalHeader {
    uint32_t signature = 0;
    uint16_t version_needed = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t crc = 0;
    uint32_t compressed_size = 0;
    uint32_t uncompressed_size = 0;
    std::string name = {};
    std::string extra;
};
RawLocalHeader local_header_at(const std::string& bytes, uint64_t offset);
uint16_t u16_at(const std::string& bytes, uint64_t offset);
uint32_t u32_at(const std::string& bytes, uint64_t offset);
uint64_t u64_at(const std::string& bytes, uint64_t offset);
// Offset of the end of central directory record (the last signature in the file).
uint64_t end_record_offset(const std::string& bytes);

// One event of the engine, in the order it came.
struct Event {
    enum class Kind { FileProgress, OverallProgress, Failure, DiskFull, StoreFile };
    Kind kind = Kind::FileProgress;
    std::string name = {};
    double progress = 0;
    TZipProcessOperation operation = TZipProcessOperation::poAdd;
    TZipProgressPhase phase = TZipProgressPhase::ppStart;
    int native_error = 0;
    int error_code = 0;
    std::string message = {};
    int volume_number = 0;
};

// Records every event of `zip`. Failures are answered with `failure_answer` (zaIgnore unless set);
// `cancel_when` may set Cancel for the event it is given.
class EventRecorder {
public:
    explicit EventRecorder(TZipArchiver& zip);

    std::vector<Event> events;
    TZipAction failure_answer = TZipAction::zaIgnore;
    std::function<bool(const Event&)> cancel_when;

    std::vector<Event> of_kind(Event::Kind kind) const;
    std::vector<Event> failures() const { return of_kind(Event::Kind::Failure); }
};

// An archiver set up as the backup run sets it up: level 9, Zip64 as needed, names relative to
// `folder` so that they read "data/…" wherever the folder lies.
void set_up_like_backup(TZipArchiver& zip, const ::ferrolo::testing::TempFolder& folder,
                        const std::string& archive_name);
// Packs `mask` into `archive_name` inside `folder` with `zip`, as the run does; returns the archive path.
std::string pack(TZipArchiver& zip, const ::ferrolo::testing::TempFolder& folder, const std::string& mask,
                 const std::string& archive_name = "out.zip");

// Tests `archive` with a fresh archiver; returns its failure events.
std::vector<Event> test_archive(const std::string& archive, std::vector<Event>* all_events = nullptr);

// Removes `path` and everything below it, however deep.
void remove_tree(const std::string& path);

}  // namespace ferrolo::archive::testing
