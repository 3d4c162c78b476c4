#include "zip/zip_archiver.h"

#include "platform/file_system.h"
#include "platform/path_names.h"
#include "zip/entry_name.h"
#include "zip/zip_archiver_impl.h"

namespace ferrolo::zip {

void TZipSpanningOptions::SetCustomVolumeSize(int64_t size) {
    custom_volume_size_ = size < kMinimumVolumeSize ? kMinimumVolumeSize : size;
}

int64_t volume_size_in_bytes(TZipVolumeSize size, int64_t custom_volume_size) {
    switch (size) {
        case TZipVolumeSize::vsAutoDetect:
            return 0;
        case TZipVolumeSize::vsCustom:
            // Never below the floor, even when the size was not set through its setter: a volume of 0
            // bytes would never take a byte.
            return custom_volume_size < kMinimumVolumeSize ? kMinimumVolumeSize : custom_volume_size;
        case TZipVolumeSize::vs1_44MB:
            return 1'457'664;
        case TZipVolumeSize::vs100MB:
            return 104'857'600;
        case TZipVolumeSize::vs200MB:
            return 209'715'200;
        case TZipVolumeSize::vs250MB:
            return 262'144'000;
        case TZipVolumeSize::vs600MB:
            return 629'145'600;
        case TZipVolumeSize::vs650MB:
            return 681'574'400;
        case TZipVolumeSize::vs700MB:
            return 734'003'200;
        case TZipVolumeSize::vs4700MB:
            return 4'928'307'200;
    }
    return 0;
}

size_t block_size_of_mode(int mode) {
    if (mode == 0) {
        return 1'048'576;
    }
    if (mode <= 3) {
        return 524'288;
    }
    if (mode <= 6) {
        return 1'048'576;
    }
    return 1'572'864;
}

TArchiverBase::TArchiverBase(std::string name) : name_(std::move(name)) {}

TArchiverBase::~TArchiverBase() = default;

void TArchiverBase::SetCompressionLevel(TZipCompressionLevel level) {
    compression_level_ = level;
    switch (level) {
        case TZipCompressionLevel::clNone:
            compression_mode_ = 0;
            break;
        case TZipCompressionLevel::clFastest:
            compression_mode_ = 1;
            break;
        case TZipCompressionLevel::clNormal:
            compression_mode_ = 6;
            break;
        case TZipCompressionLevel::clMax:
            compression_mode_ = 9;
            break;
    }
}

void TArchiverBase::SetCompressionMode(int mode) {
    if (mode < 0 || mode > 9) {
        throw EZipError(name_, zip_error::kInvalidCompressionMode);
    }
    compression_mode_ = mode;
    if (mode == 0) {
        compression_level_ = TZipCompressionLevel::clNone;
    } else if (mode <= 3) {
        compression_level_ = TZipCompressionLevel::clFastest;
    } else if (mode <= 6) {
        compression_level_ = TZipCompressionLevel::clNormal;
    } else {
        compression_level_ = TZipCompressionLevel::clMax;
    }
}

std::string TArchiverBase::CurrentVersion() {
    return "2.75 ";
}

TZipArchiver::TZipArchiver(std::string name)
    : TArchiverBase(std::move(name)), impl_(std::make_unique<Impl>(*this)) {}

TZipArchiver::~TZipArchiver() {
    impl_->close_files();
}

void TZipArchiver::SetSpanningMode(TZipSpanningMode mode) {
    if (IsOpen()) {
        throw std::runtime_error("Cannot set spanning mode on open archive");
    }
    spanning_mode_ = mode;
}

bool TZipArchiver::IsOpen() const {
    return impl_->access != Impl::Access::Closed;
}

void TZipArchiver::Open(uint16_t mode) {
    Close();
    if (platform::name_part(FileName).empty()) {
        impl_->raise(zip_error::kBlankFileName);
    }
    if (mode == kCreateArchive) {
        impl_->create(FileName);
        return;
    }
    if (!platform::file_exists(FileName)) {
        impl_->raise(zip_error::kFileNotFound, {.file_name = FileName});
    }
    impl_->open_existing(FileName, (mode & 3) != 0);
}

void TZipArchiver::BeginUpdate() {
    if (!IsOpen()) {
        Open(platform::file_exists(FileName) ? kOpenForReadWrite : kCreateArchive);
    }
    if (impl_->access == Impl::Access::Read) {
        impl_->raise(zip_error::kReadOnlyArchive);
    }
    if (impl_->update_depth == 0) {
        // Entries added to a finished archive replace its directory in place, which volumes already closed
        // cannot do.
        if (impl_->finished && !(impl_->sink && impl_->sink->rewrites_in_place())) {
            impl_->raise(zip_error::kSecondVolumeUpdate);
        }
        impl_->queue.clear();
        impl_->update_aborted = false;
    }
    ++impl_->update_depth;
}

void TZipArchiver::AddMask(const std::string& mask, uint32_t search_attr, const std::string& exclusion_mask) {
    impl_->require_open();
    BeginUpdate();
    try {
        impl_->select(mask, search_attr, exclusion_mask);
    } catch (...) {
        // The selection failed: this bracket ends without writing, an outer update stays open.
        if (--impl_->update_depth == 0) {
            impl_->queue.clear();
        }
        throw;
    }
    EndUpdate();
}

void TZipArchiver::EndUpdate() {
    if (impl_->update_depth == 0) {
        return;
    }
    if (--impl_->update_depth == 0) {
        impl_->write_update();
    }
}

void TZipArchiver::TestMask(const std::string& mask, uint32_t, const std::string& exclusion_mask) {
    impl_->require_open();
    if (impl_->update_depth > 0) {
        impl_->raise(zip_error::kUpdateNotEnded);
    }
    impl_->test(mask, exclusion_mask);
}

void TZipArchiver::Close() {
    if (!IsOpen()) {
        return;
    }
    // The files are released however the finishing ends, so that a failure is raised once and the next
    // Open starts afresh.
    try {
        if (impl_->update_depth > 0) {
            impl_->update_depth = 0;
            impl_->write_update();
        }
        if (impl_->access == Impl::Access::Write && !impl_->finished) {
            impl_->finish_archive();
        }
        if (impl_->sink) {
            impl_->sink->close();
        }
    } catch (...) {
        impl_->close_files();
        throw;
    }
    impl_->close_files();
}

[[noreturn]] void TZipArchiver::Impl::raise(int native_error, const ZipErrorDetail& detail) const {
    throw EZipError(owner.Name(), native_error, detail);
}

void TZipArchiver::Impl::require_open() const {
    if (access == Access::Closed) {
        raise(zip_error::kArchiveNotOpen);
    }
}

std::string TZipArchiver::Impl::base_folder() const {
    const std::string current = platform::current_folder();
    return owner.BaseDir.empty() ? current : absolute_path(owner.BaseDir, current);
}

void TZipArchiver::Impl::file_progress(const std::string& file_name, double progress,
                                       TZipProcessOperation operation, TZipProgressPhase phase) {
    if (owner.OnFileProgress) {
        bool cancel_now = cancel;
        owner.OnFileProgress(owner, file_name, progress, operation, phase, cancel_now);
        cancel = cancel || cancel_now;
    }
}

void TZipArchiver::Impl::overall_progress(double progress, TZipProcessOperation operation,
                                          TZipProgressPhase phase) {
    if (owner.OnOverallProgress) {
        bool cancel_now = cancel;
        owner.OnOverallProgress(owner, progress, operation, phase, cancel_now);
        cancel = cancel || cancel_now;
    }
}

TZipAction TZipArchiver::Impl::failure_action(const std::string& file_name, TZipProcessOperation operation,
                                              const EZipError& error) {
    if (owner.OnProcessFileFailure) {
        TZipAction action = TZipAction::zaIgnore;
        owner.OnProcessFileFailure(owner, file_name, operation, error.NativeError(), error.ErrorCode(),
                                   error.what(), action);
        return action;
    }
    if (error.NativeError() == zip_error::kInvalidArchive) {
        return TZipAction::zaAbort;
    }
    const bool name_too_long = error.NativeError() == zip_error::kNameTooLong;
    const std::string text =
        name_too_long ? std::string(error.what())
                      : std::string(error.what()) + ". File processing error, possibly disk is full";
    const TZipActionChoices choices =
        name_too_long ? TZipActionChoices::AbortIgnore : TZipActionChoices::AbortRetryIgnore;
    const TZipAction action = owner.AskUser ? owner.AskUser(text, choices) : TZipAction::zaIgnore;
    return name_too_long && action == TZipAction::zaRetry ? TZipAction::zaAbort : action;
}

}  // namespace ferrolo::zip
