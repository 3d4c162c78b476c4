// archive/packing_steps.h — the run's answers to the engine's notices while it packs the backup.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/routines.h"
#include "core/run_context.h"
#include "zip/zip_archiver.h"

namespace ferrolo::archive {

// Shows the operation, file, count and megabytes; counts selected, packed and failed files; writes one
// extended-log line per entry; reports failures and a full disk to both logs and the trace; passes
// "Annulla" back. A failure on the archive's side ends the packing and marks the archive unsound; a file
// of the source that cannot be read does not.
class PackingHandlers {
public:
    using Now = std::function<core::Clock::time_point()>;

    // Routes the five notices of `zip` here for the life of this object.
    PackingHandlers(core::RunContext& run, zip::TZipArchiver& zip, Now now = core::Clock::now);
    ~PackingHandlers();
    PackingHandlers(const PackingHandlers&) = delete;
    PackingHandlers& operator=(const PackingHandlers&) = delete;

    void ZipStoreFile(const std::string& original_file_name, uint32_t file_attr);
    void ZipOverallProgress(zip::TZipProcessOperation operation, bool& cancel);
    void ZipFileProgress(const std::string& file_name, double progress, zip::TZipProcessOperation operation,
                         zip::TZipProgressPhase phase);
    void ZipDiskFull(bool& cancel);
    void ZipProcessFileFailure(const std::string& file_name, int native_error, int error_code,
                               const std::string& error_message, zip::TZipAction& action);

    // Files (not folders) the masks selected so far.
    int64_t files_selected() const { return files_selected_; }
    // True once a wait for room on a full drive was cancelled, by the user or for lasting too long.
    bool wait_cancelled() const { return wait_cancelled_; }

private:
    core::RunContext& run_;
    zip::TZipArchiver& zip_;
    Now now_;
    // Since when the destination drive has been reported full without any progress in between.
    std::optional<core::Clock::time_point> full_since_;
    int64_t files_selected_ = 0;
    bool wait_cancelled_ = false;
};

}  // namespace ferrolo::archive
