// zip/zlib_stream.h — raw deflate and inflate (RFC 1951, no zlib header or trailer) as streams, and CRC-32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace ferrolo::zip {

// CRC-32 of APPNOTE (zlib's) over `bytes`, continuing from `crc` (0 to start).
uint32_t update_crc32(uint32_t crc, std::span<const std::byte> bytes);
// The CRC-32 of two pieces one after the other, from the CRC-32 of each and the second one's length.
uint32_t combine_crc32(uint32_t first, uint32_t second, uint64_t second_length);

// The most bytes raw deflate with memory level 8 can make of `size` input bytes (zlib's documented
// bound), computed in 64 bits.
uint64_t deflate_bound(uint64_t size);

// Raw deflate in pieces: 32 KiB window, memory level 8, default strategy.
class Deflater {
public:
    using Output = std::function<void(std::span<const std::byte>)>;

    explicit Deflater(int level);
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Starts a new stream at `level` without giving back the memory of the last one.
    void restart(int level);
    // Compresses `input` as one piece of a larger stream, handing the compressed bytes to `output` as they
    // come: primed with `dictionary` (the 32 KiB before it) and ended on a byte boundary (sync flush), or
    // ending the stream when `last`; the pieces one after the other form one valid deflate stream.
    void compress_piece(std::span<const std::byte> dictionary, std::span<const std::byte> input, bool last,
                        const Output& output);

private:
    struct Stream;
    std::unique_ptr<Stream> stream_;
};

// One raw inflate stream.
class Inflater {
public:
    enum class Status { Progress, StreamEnd, DataError };
    struct Step {
        Status status = Status::Progress;
        size_t consumed = 0;
        size_t produced = 0;
    };

    Inflater();
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    void restart();
    // Inflates from `input` into `output` until one of them is used up or the stream ends.
    Step inflate(std::span<const std::byte> input, std::span<std::byte> output);

private:
    struct Stream;
    std::unique_ptr<Stream> stream_;
};

}  // namespace ferrolo::zip
