#include "zip/zlib_stream.h"

#include <libdeflate.h>
#include <zlib.h>

#include <array>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

namespace ferrolo::zip {

namespace {

constexpr int kRawDeflateWindowBits = -15;  // negative: no zlib header or trailer, as ZIP entries want
constexpr int kMemoryLevel = 8;
constexpr size_t kOutputChunk = 256 * 1024;

// zlib counts in uInt; the engine never hands it more than a block at a time.
uInt zlib_length(size_t length) {
    if (length > std::numeric_limits<uInt>::max()) {
        throw std::length_error("block too large for zlib");
    }
    return static_cast<uInt>(length);
}

Bytef* zlib_bytes(const std::byte* bytes) {
    // zlib's API is not const-correct; it never writes through next_in.
    return reinterpret_cast<Bytef*>(const_cast<std::byte*>(bytes));
}

[[noreturn]] void zlib_failure(const char* operation, int status) {
    if (status == Z_MEM_ERROR) {
        throw std::bad_alloc();
    }
    throw std::runtime_error(std::string("zlib ") + operation + " failed with status " +
                             std::to_string(status));
}

}  // namespace

uint32_t update_crc32(uint32_t crc, std::span<const std::byte> bytes) {
    // libdeflate's CRC-32 uses the processor's carry-less multiply, several times faster than zlib's.
    return ::libdeflate_crc32(crc, bytes.data(), bytes.size());
}

uint32_t combine_crc32(uint32_t first, uint32_t second, uint64_t second_length) {
    return static_cast<uint32_t>(::crc32_combine64(first, second, static_cast<z_off64_t>(second_length)));
}

uint64_t deflate_bound(uint64_t size) {
    return size + (size >> 12) + (size >> 14) + (size >> 25) + 13;
}

struct Deflater::Stream {
    z_stream z{};
    int level = 0;
    std::array<std::byte, kOutputChunk> output{};
};

Deflater::Deflater(int level) : stream_(std::make_unique<Stream>()) {
    stream_->level = level;
    const int status = ::deflateInit2(&stream_->z, level, Z_DEFLATED, kRawDeflateWindowBits, kMemoryLevel,
                                      Z_DEFAULT_STRATEGY);
    if (status != Z_OK) {
        zlib_failure("deflateInit2", status);
    }
}

Deflater::~Deflater() {
    ::deflateEnd(&stream_->z);
}

void Deflater::restart(int level) {
    int status = ::deflateReset(&stream_->z);
    if (status == Z_OK && level != stream_->level) {
        status = ::deflateParams(&stream_->z, level, Z_DEFAULT_STRATEGY);
        stream_->level = level;
    }
    if (status != Z_OK) {
        zlib_failure("deflateReset", status);
    }
}

void Deflater::compress_piece(std::span<const std::byte> dictionary, std::span<const std::byte> input,
                              bool last, const Output& output) {
    restart(stream_->level);
    if (!dictionary.empty()) {
        const int status = ::deflateSetDictionary(&stream_->z, zlib_bytes(dictionary.data()),
                                                  zlib_length(dictionary.size()));
        if (status != Z_OK) {
            zlib_failure("deflateSetDictionary", status);
        }
    }
    z_stream& z = stream_->z;
    z.next_in = zlib_bytes(input.data());
    z.avail_in = zlib_length(input.size());
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
        z.next_out = reinterpret_cast<Bytef*>(stream_->output.data());
        z.avail_out = static_cast<uInt>(stream_->output.size());
        const int status = ::deflate(&z, flush);
        if (status == Z_STREAM_ERROR) {
            zlib_failure("deflate", status);
        }
        const size_t produced = stream_->output.size() - z.avail_out;
        if (produced > 0) {
            output(std::span(stream_->output.data(), produced));
        }
        if (last ? status == Z_STREAM_END : (z.avail_in == 0 && z.avail_out != 0)) {
            return;
        }
    }
}

struct Inflater::Stream {
    z_stream z{};
};

Inflater::Inflater() : stream_(std::make_unique<Stream>()) {
    const int status = ::inflateInit2(&stream_->z, kRawDeflateWindowBits);
    if (status != Z_OK) {
        zlib_failure("inflateInit2", status);
    }
}

Inflater::~Inflater() {
    ::inflateEnd(&stream_->z);
}

void Inflater::restart() {
    const int status = ::inflateReset(&stream_->z);
    if (status != Z_OK) {
        zlib_failure("inflateReset", status);
    }
}

Inflater::Step Inflater::inflate(std::span<const std::byte> input, std::span<std::byte> output) {
    z_stream& z = stream_->z;
    z.next_in = zlib_bytes(input.data());
    z.avail_in = zlib_length(input.size());
    z.next_out = reinterpret_cast<Bytef*>(output.data());
    z.avail_out = zlib_length(output.size());
    const int status = ::inflate(&z, Z_NO_FLUSH);
    Step step;
    step.consumed = input.size() - z.avail_in;
    step.produced = output.size() - z.avail_out;
    if (status == Z_STREAM_END) {
        step.status = Status::StreamEnd;
    } else if (status == Z_OK || status == Z_BUF_ERROR) {
        step.status = Status::Progress;
    } else if (status == Z_MEM_ERROR) {
        throw std::bad_alloc();
    } else {
        step.status = Status::DataError;
    }
    return step;
}

}  // namespace ferrolo::zip
