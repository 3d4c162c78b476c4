// zip/zlib_fallback/libdeflate.h — the few libdeflate calls the engine makes, served by zlib, for a build
// without libdeflate (the mingw-w64 cross build). The output is zlib's: as valid, a little larger.
#pragma once

#include <cstddef>
#include <cstdint>

struct libdeflate_compressor;
struct libdeflate_decompressor;

enum libdeflate_result {
    LIBDEFLATE_SUCCESS = 0,
    LIBDEFLATE_BAD_DATA = 1,
    LIBDEFLATE_SHORT_OUTPUT = 2,
    LIBDEFLATE_INSUFFICIENT_SPACE = 3,
};

libdeflate_compressor* libdeflate_alloc_compressor(int level);
void libdeflate_free_compressor(libdeflate_compressor* compressor);
size_t libdeflate_deflate_compress_bound(libdeflate_compressor* compressor, size_t size);
size_t libdeflate_deflate_compress(libdeflate_compressor* compressor, const void* input, size_t input_size,
                                   void* output, size_t output_size);

libdeflate_decompressor* libdeflate_alloc_decompressor();
void libdeflate_free_decompressor(libdeflate_decompressor* decompressor);
libdeflate_result libdeflate_deflate_decompress_ex(libdeflate_decompressor* decompressor, const void* input,
                                                   size_t input_size, void* output, size_t output_size,
                                                   size_t* input_used, size_t* output_made);

uint32_t libdeflate_crc32(uint32_t crc, const void* bytes, size_t size);
