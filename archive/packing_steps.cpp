#include "archive/packing_steps.h"

#include <cstdio>

#include "archive/step_texts.h"
#include "platform/file_system.h"

namespace ferrolo::archive {

namespace {
using core::Label;

// An unattended run must not wait for space for ever: after this long the packing is cancelled.
constexpr std::chrono::minutes kLongestWaitForSpace{5};

// Failures of one source file (missing, unreadable, changed while read, a name too long): the archive
// stays sound without it. Every other failure is the archive's own.
bool is_source_failure(int native_error) {
    using namespace zip::zip_error;
    return native_error == kFileNotFound || native_error == kCannotOpenFile || native_error == kSizeChanged ||
           native_error == kNameTooLong;
}

std::string megabytes(int64_t bytes) {
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%8.2f", static_cast<double>(bytes) / 1048576.0);
    return std::string(text, static_cast<size_t>(length));
}
}  // namespace

PackingHandlers::PackingHandlers(core::RunContext& run, zip::TZipArchiver& zip, Now now)
    : run_(run), zip_(zip), now_(std::move(now)) {
    zip.OnStoreFile = [this](zip::TZipArchiver&, std::string&, uint32_t& file_attr, std::string&,
                             const std::string& original) { ZipStoreFile(original, file_attr); };
    zip.OnOverallProgress = [this](zip::TZipArchiver&, double, zip::TZipProcessOperation operation,
                                   zip::TZipProgressPhase,
                                   bool& cancel) { ZipOverallProgress(operation, cancel); };
    zip.OnFileProgress = [this](zip::TZipArchiver&, const std::string& file_name, double progress,
                                zip::TZipProcessOperation operation, zip::TZipProgressPhase phase,
                                bool&) { ZipFileProgress(file_name, progress, operation, phase); };
    zip.OnDiskFull = [this](zip::TZipArchiver&, int, std::string&, bool& cancel) { ZipDiskFull(cancel); };
    zip.OnProcessFileFailure = [this](zip::TZipArchiver&, const std::string& file_name,
                                      zip::TZipProcessOperation, int native_error, int error_code,
                                      const std::string& error_message, zip::TZipAction& action) {
        ZipProcessFileFailure(file_name, native_error, error_code, error_message, action);
    };
}

PackingHandlers::~PackingHandlers() {
    zip_.OnStoreFile = nullptr;
    zip_.OnOverallProgress = nullptr;
    zip_.OnFileProgress = nullptr;
    zip_.OnDiskFull = nullptr;
    zip_.OnProcessFileFailure = nullptr;
}

void PackingHandlers::ZipStoreFile(const std::string& original_file_name, uint32_t file_attr) {
    if ((file_attr & platform::attribute::kDirectory) == 0) {
        ++files_selected_;
    }
    run_.display.process_messages();
    run_.display.set_label(Label::l_file, core::Shorten_Text(original_file_name, 40));
}

void PackingHandlers::ZipOverallProgress(zip::TZipProcessOperation operation, bool& cancel) {
    full_since_.reset();
    if (const std::string_view word = operation_label_word(operation); !word.empty()) {
        run_.display.set_label(Label::l_operation, word);
    }
    if (run_.state.Stop_Requested) {
        cancel = true;
    }
    run_.display.process_messages();
}

void PackingHandlers::ZipFileProgress(const std::string& file_name, double progress,
                                      zip::TZipProcessOperation operation, zip::TZipProgressPhase phase) {
    full_since_.reset();
    if (progress == 100.0 && phase == zip::TZipProgressPhase::ppEnd) {
        core::RunState& state = run_.state;
        // The size of this very file: on POSIX a name may hold "*" or "?", which a mask would widen.
        const auto entry = platform::path_entry(file_name);
        state.Bytes_Zipped += entry ? static_cast<int64_t>(entry->size) : 0;
        run_.display.set_label(Label::l_bytes, megabytes(state.Bytes_Zipped));
        run_.log.Append_Log(false, true, std::string(operation_log_word(operation)) + ": " + file_name);
        ++state.Files_Zipped;
        run_.display.set_label(Label::l_nfiles, std::to_string(state.Files_Zipped));
    }
    run_.display.set_label(Label::l_file, shown_file_name(file_name));
    run_.display.process_messages();
}

// Written once per wait, not once per look at the drive; a stop pressed meanwhile ends the wait at once.
void PackingHandlers::ZipDiskFull(bool& cancel) {
    const auto now = now_();
    if (!full_since_) {
        full_since_ = now;
        run_.log.Tracing_Out(kDiskFull);
        run_.log.Append_Log(true, true, kDiskFull);
        run_.state.Zip_Error = true;
    }
    run_.display.process_messages();
    cancel = run_.state.Stop_Requested || now - *full_since_ >= kLongestWaitForSpace;
    wait_cancelled_ = wait_cancelled_ || cancel;
}

void PackingHandlers::ZipProcessFileFailure(const std::string& file_name, int native_error, int error_code,
                                            const std::string& error_message, zip::TZipAction& action) {
    action = zip::TZipAction::zaIgnore;
    run_.state.Zip_Error = true;
    if (!is_source_failure(native_error)) {
        // Nothing sound can follow a failed write to the archive: the packing ends with the entries
        // written whole.
        action = zip::TZipAction::zaAbort;
        run_.state.archive_unsound = true;
        if (wait_cancelled_) {
            return;  // the engine's echo of the cancelled wait, already told by the "full" line
        }
    }
    const std::string line = failure_line(file_name, native_error, error_code, error_message);
    run_.log.Tracing_Out(line);
    run_.log.Append_Log(true, true, line);
    ++run_.state.Files_Failed;
}

}  // namespace ferrolo::archive
