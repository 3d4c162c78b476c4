#include "libdeflate.h"

#include <zlib.h>

#include <limits>
#include <new>

// One raw deflate or inflate stream each, reset for every buffer.
struct libdeflate_compressor {
    z_stream stream{};
};

struct libdeflate_decompressor {
    z_stream stream{};
};

namespace {

// zlib counts in 32 bits: larger buffers are left to the engine's streaming path, which never calls here.
bool fits(size_t size) {
    return size <= std::numeric_limits<uInt>::max();
}

}  // namespace

libdeflate_compressor* libdeflate_alloc_compressor(int level) {
    auto* compressor = new (std::nothrow) libdeflate_compressor;
    if (compressor != nullptr &&
        deflateInit2(&compressor->stream, level, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
        delete compressor;
        return nullptr;
    }
    return compressor;
}

void libdeflate_free_compressor(libdeflate_compressor* compressor) {
    if (compressor != nullptr) {
        deflateEnd(&compressor->stream);
        delete compressor;
    }
}

size_t libdeflate_deflate_compress_bound(libdeflate_compressor* compressor, size_t size) {
    return deflateBound(&compressor->stream, static_cast<uLong>(size));
}

size_t libdeflate_deflate_compress(libdeflate_compressor* compressor, const void* input, size_t input_size,
                                   void* output, size_t output_size) {
    z_stream& stream = compressor->stream;
    if (!fits(input_size) || !fits(output_size) || deflateReset(&stream) != Z_OK) {
        return 0;
    }
    stream.next_in = static_cast<Bytef*>(const_cast<void*>(input));
    stream.avail_in = static_cast<uInt>(input_size);
    stream.next_out = static_cast<Bytef*>(output);
    stream.avail_out = static_cast<uInt>(output_size);
    return deflate(&stream, Z_FINISH) == Z_STREAM_END ? stream.total_out : 0;
}

libdeflate_decompressor* libdeflate_alloc_decompressor() {
    auto* decompressor = new (std::nothrow) libdeflate_decompressor;
    if (decompressor != nullptr && inflateInit2(&decompressor->stream, -MAX_WBITS) != Z_OK) {
        delete decompressor;
        return nullptr;
    }
    return decompressor;
}

void libdeflate_free_decompressor(libdeflate_decompressor* decompressor) {
    if (decompressor != nullptr) {
        inflateEnd(&decompressor->stream);
        delete decompressor;
    }
}

libdeflate_result libdeflate_deflate_decompress_ex(libdeflate_decompressor* decompressor, const void* input,
                                                   size_t input_size, void* output, size_t output_size,
                                                   size_t* input_used, size_t* output_made) {
    z_stream& stream = decompressor->stream;
    if (!fits(input_size) || !fits(output_size) || inflateReset(&stream) != Z_OK) {
        return LIBDEFLATE_BAD_DATA;
    }
    stream.next_in = static_cast<Bytef*>(const_cast<void*>(input));
    stream.avail_in = static_cast<uInt>(input_size);
    stream.next_out = static_cast<Bytef*>(output);
    stream.avail_out = static_cast<uInt>(output_size);
    const int result = inflate(&stream, Z_FINISH);
    *input_used = stream.total_in;
    *output_made = stream.total_out;
    if (result == Z_STREAM_END) {
        return LIBDEFLATE_SUCCESS;
    }
    return result == Z_BUF_ERROR && stream.avail_out == 0 ? LIBDEFLATE_INSUFFICIENT_SPACE
                                                          : LIBDEFLATE_BAD_DATA;
}

uint32_t libdeflate_crc32(uint32_t crc, const void* bytes, size_t size) {
    return static_cast<uint32_t>(crc32_z(crc, static_cast<const Bytef*>(bytes), size));
}
