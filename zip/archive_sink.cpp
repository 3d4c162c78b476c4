#include "zip/archive_sink.h"

#include "platform/system_error.h"
#include "zip/zip_error.h"

namespace ferrolo::zip {

FileSink::FileSink(platform::File& file, std::string component_name)
    : file_(file), component_name_(std::move(component_name)), position_(file.position()) {}

void FileSink::write(std::span<const std::byte> bytes, Piece) {
    try {
        file_.write(bytes);
    } catch (const platform::SystemError&) {
        throw EZipError(component_name_, zip_error::kWriteFailed);
    }
    position_ += bytes.size();
}

}  // namespace ferrolo::zip
