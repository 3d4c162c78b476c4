// tests/zip/zip_test_support.h — what the engine's tests share: the peers that check every archive
// written, a reader of the written bytes independent of the engine, packing as the backup run packs, and a
// recorder of the engine's events.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/command.h"
#include "tests/support/temp_folder.h"
#include "zip/zip_archiver.h"

namespace ferrolo::zip::testing {

using ::ferrolo::testing::read_file;
using ::ferrolo::testing::run_command;
using ::ferrolo::testing::shell_quote;
using ::ferrolo::testing::TempFolder;
using ::ferrolo::testing::write_file;
using Names = std::vector<std::string>;

// "a b c" as {"a", "b", "c"}, each with `prefix`.
Names words(const std::string& text, const std::string& prefix = "");

// One entry as Python's zipfile reads it from the central directory, with its local header's extra field.
struct PeerEntry {
    std::string name;  // the stored bytes
    int flags = 0, create_version = 0, create_system = 0, extract_version = 0, method = 0;
    uint64_t external_attributes = 0, crc = 0, compressed_size = 0, size = 0, header_offset = 0;
    std::string time, extra, local_extra;  // "YYYY-MM-DDThh:mm:ss"; the extra fields, central and local
};
Names names_of(const std::vector<PeerEntry>& entries);

// Little-endian fields, read and written without the engine's code.
uint64_t le(const std::string& bytes, uint64_t offset, size_t width);
std::string le_bytes(uint64_t value, size_t width);
// `count` bytes of `path` from `offset` (fewer at its end), without reading the rest.
std::string bytes_at(const std::string& path, uint64_t offset, uint64_t count);
// Offset of the last end record in `bytes`.
uint64_t end_record_offset(const std::string& bytes);

std::string text_of_size(size_t size);  // compressible

struct Event {
    enum class Kind { FileProgress, OverallProgress, Failure, DiskFull };
    Kind kind = Kind::FileProgress;
    std::string name = {};
    double progress = 0;
    TZipProcessOperation operation = TZipProcessOperation::poAdd;
    TZipProgressPhase phase = TZipProgressPhase::ppStart;
    int native_error = 0, error_code = 0;
    std::string message = {};
};
// Records every event of `zip` (a disk-full event with the volume's number as its native error), the
// failures once more on their own, answering them with `failure_answer`. `react` sees each event as it comes
// and may act on it; returning true sets Cancel where the event has one.
class EventRecorder {
public:
    explicit EventRecorder(TZipArchiver& zip);
    std::vector<Event> events;
    TZipAction failure_answer = TZipAction::zaIgnore;
    std::function<bool(const Event&)> react;
    std::vector<Event> failures;
};
// The names in the file notices of `phase`, in order.
Names file_names(const std::vector<Event>& events, TZipProgressPhase phase = TZipProgressPhase::ppStart);
// The events as "<name without `strip`> <phase> <progress>", "overall <phase> <progress>" or
// "failure <name> <code>", joined by ", "; progress printed exactly. Every event must be of `operation`.
std::string describe(const std::vector<Event>& events, TZipProcessOperation operation,
                     const std::string& strip = "");

struct PackOptions {
    // `archive` is taken from the folder unless it is a full path.
    std::string mask = "data/*.*", archive = "out.zip";
    TZipCompressionLevel level = TZipCompressionLevel::clMax;
    // Above 0: split into volumes of this size (at least 65,536); -1: volumes as large as the drive holds.
    int64_t volume_size = 0;
    bool advanced_naming = false;
};
struct Packed {
    std::string path;
    std::vector<PeerEntry> entries;  // of an archive in one file
};
// Packs as the backup run does, each of the blank-separated masks in one update (names relative to
// `folder`, so "data/…"), then has the peers and the engine's own test read the archive or the set of
// volumes.
Packed pack(TZipArchiver& zip, const TempFolder& folder, const PackOptions& options = {});
// The volumes of the split `archive` in order, the last under the archive's own name.
Names volumes_of(const std::string& archive);

struct TestRun {
    std::vector<Event> events, failures;
};
// Tests `archive` as the run does, its volumes named by the scheme `advanced_naming` chooses, with
// `worker_threads` as the engine's setting; `react` as the recorder's.
TestRun test_archive(const std::string& archive, const std::function<bool(const Event&)>& react = {},
                     bool advanced_naming = false, unsigned worker_threads = 0);

}  // namespace ferrolo::zip::testing
