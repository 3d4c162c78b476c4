#include "zip/whole_buffer_codec.h"

#include <libdeflate.h>

#include <new>
#include <stdexcept>

namespace ferrolo::zip {

WholeBufferDeflater::WholeBufferDeflater(int level)
    : level_(level), compressor_(::libdeflate_alloc_compressor(level)) {
    if (compressor_ == nullptr) {
        throw std::bad_alloc();
    }
}

WholeBufferDeflater::~WholeBufferDeflater() {
    ::libdeflate_free_compressor(compressor_);
}

size_t WholeBufferDeflater::bound(size_t size) const {
    return ::libdeflate_deflate_compress_bound(compressor_, size);
}

std::vector<std::byte> WholeBufferDeflater::compress(std::span<const std::byte> input) const {
    std::vector<std::byte> output(bound(input.size()));
    const size_t size =
        ::libdeflate_deflate_compress(compressor_, input.data(), input.size(), output.data(), output.size());
    if (size == 0) {
        throw std::logic_error("libdeflate found its own bound too small");
    }
    output.resize(size);
    return output;
}

WholeBufferInflater::WholeBufferInflater() : decompressor_(::libdeflate_alloc_decompressor()) {
    if (decompressor_ == nullptr) {
        throw std::bad_alloc();
    }
}

WholeBufferInflater::~WholeBufferInflater() {
    ::libdeflate_free_decompressor(decompressor_);
}

bool WholeBufferInflater::inflate_exactly(std::span<const std::byte> input,
                                          std::span<std::byte> output) const {
    size_t consumed = 0;
    size_t produced = 0;
    const libdeflate_result result = ::libdeflate_deflate_decompress_ex(
        decompressor_, input.data(), input.size(), output.data(), output.size(), &consumed, &produced);
    return result == LIBDEFLATE_SUCCESS && consumed == input.size() && produced == output.size();
}

}  // namespace ferrolo::zip
