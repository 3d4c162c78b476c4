#include "zip/archive_sink.h"

#include "zip/zip_error.h"

namespace ferrolo::zip {

FileSink::FileSink(platform::File file, uint64_t start, bool flush_buffers, std::string component_name)
    : file_(std::move(file)),
      position_(start),
      flush_buffers_(flush_buffers),
      component_name_(std::move(component_name)) {
    as_zip_error(component_name_, zip_error::kWriteFailed, [&] { file_.seek(start); });
}

FileSink::FileSink(platform::TemporaryFile file, std::string archive_name, bool flush_buffers,
                   std::string component_name)
    : temporary_(std::move(file)),
      archive_name_(std::move(archive_name)),
      position_(0),
      flush_buffers_(flush_buffers),
      component_name_(std::move(component_name)) {}

void FileSink::write(std::span<const std::byte> bytes, Piece) {
    as_zip_error(component_name_, zip_error::kWriteFailed, [&] { file().write(bytes); });
    position_ += bytes.size();
}

void FileSink::rewrite(uint64_t offset, std::span<const std::byte> bytes) {
    as_zip_error(component_name_, zip_error::kWriteFailed, [&] {
        file().seek(offset);
        file().write(bytes);
        file().seek(position_);
    });
}

void FileSink::rewind(uint32_t, uint64_t offset) {
    if (offset > position_) {
        return;
    }
    as_zip_error(component_name_, zip_error::kWriteFailed, [&] { file().seek(offset); });
    position_ = offset;
}

void FileSink::finish() {
    as_zip_error(component_name_, zip_error::kWriteFailed, [&] {
        // What a dropped entry left beyond the end records is cut away.
        file().set_length(position_);
        if (flush_buffers_) {
            file().sync();
        }
    });
}

void FileSink::close() {
    as_zip_error(component_name_, zip_error::kWriteFailed, [&] {
        if (temporary_) {
            temporary_->keep_as(archive_name_);
            temporary_.reset();
        } else {
            file_.close();
        }
    });
}

}  // namespace ferrolo::zip
