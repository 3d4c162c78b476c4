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

void FileSink::write(std::span<const std::byte> bytes, Piece) {
    as_zip_error(component_name_, zip_error::kWriteFailed, [&] { file_.write(bytes); });
    position_ += bytes.size();
}

void FileSink::rewrite(uint64_t offset, std::span<const std::byte> bytes) {
    as_zip_error(component_name_, zip_error::kWriteFailed, [&] {
        file_.seek(offset);
        file_.write(bytes);
        file_.seek(position_);
    });
}

void FileSink::rewind(uint32_t, uint64_t offset) {
    if (offset > position_) {
        return;
    }
    as_zip_error(component_name_, zip_error::kWriteFailed, [&] { file_.seek(offset); });
    position_ = offset;
}

void FileSink::finish() {
    as_zip_error(component_name_, zip_error::kWriteFailed, [&] {
        // What a dropped entry left beyond the end records is cut away.
        file_.set_length(position_);
        if (flush_buffers_) {
            file_.sync();
        }
    });
}

void FileSink::close() {
    as_zip_error(component_name_, zip_error::kWriteFailed, [&] { file_.close(); });
}

}  // namespace ferrolo::zip
