// zip/entry_preparation.h — reading and compressing the data of entries on worker threads, ahead of their
// turn. A file up to a fixed size is read whole and compressed in one call; a larger one is read in blocks
// on the calling thread and its blocks compressed side by side, each primed with the 32 KiB before it, so
// that they join into one deflate stream. Which way a file goes depends on its size alone, so the archive's
// bytes never depend on the number of threads or their timing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/file.h"
#include "zip/whole_buffer_codec.h"
#include "zip/work_pool.h"
#include "zip/zlib_stream.h"

namespace ferrolo::zip {

// Files up to this size are read and compressed whole by libdeflate, several times faster than zlib on
// binaries such as static libraries; such a file in flight (read and deflated) takes two thirds of the
// look-ahead budget.
inline constexpr uint64_t kWholeEntryLimit = 16 * 1024 * 1024;

// The most bytes the deflated data of a file of `size` bytes can take, whichever way it is compressed
// (blocks of `block_size` each end with a sync flush when the file is streamed).
uint64_t deflated_size_bound(uint64_t size, size_t block_size);

struct PreparationSettings {
    std::string component_name;  // for the errors raised
    int mode = 0;                // compression mode 0-9; 0 stores
    size_t block_size = 0;       // bytes read per block, one progress notice each
};

// One file opened, and read and compressed when it is small enough.
struct PreparedData {
    std::exception_ptr open_failure;  // opening it or asking its size failed
    std::optional<platform::File> source;
    uint64_t size = 0;      // at opening
    bool streamed = false;  // larger than kWholeEntryLimit: still open, its data still to be read
    // Of a file read whole: the bytes of each block read, as the progress notices count them, then what
    // the next read raised, if anything.
    std::vector<size_t> block_counts;
    std::exception_ptr read_failure;
    uint64_t bytes_read = 0;  // including a byte found past `size`
    uint32_t crc = 0;
    std::vector<std::byte> data;  // deflated (or stored) when all `size` bytes, and no more, were read
};

// The compressors one thread uses, made when first needed; one write uses one level.
class EntryCodecs {
public:
    const WholeBufferDeflater& whole(int level);
    Deflater& piece(int level);

private:
    std::unique_ptr<WholeBufferDeflater> whole_;
    std::unique_ptr<Deflater> piece_;
};

// Reads `source` as the progress notices count it: blocks of `block_size` bytes up to `size`, each into
// the span `buffer_for` gives for its size, stopping early at a short block; each block goes to `on_block`
// with whether it is the last, and reading stops when that returns false. Then, when all `size` bytes
// came, one byte more tells a file that grew. Returns the bytes read.
uint64_t read_blocks(platform::File& source, const PreparationSettings& settings, uint64_t size,
                     const std::function<std::span<std::byte>(size_t wanted)>& buffer_for,
                     const std::function<bool(std::span<const std::byte> block, bool last)>& on_block);

// The files of one write, handed to the workers ahead of their turn within a bound of memory, and taken back
// in order.
class EntryFeed {
public:
    EntryFeed(PreparationSettings settings, unsigned requested_workers);

    const PreparationSettings& settings() const { return settings_; }
    // Hands the file `index` (at `path`, `size` bytes when selected) to a worker; false when the bound of
    // memory leaves no room for it now. Files too large to be read whole are not handed out.
    bool look_ahead(size_t index, const std::string& path, uint64_t size);
    // The file `index`, prepared by a worker, or now on the calling thread when it was not handed out (or
    // was taken already: a retry reads it again).
    PreparedData take(size_t index, const std::string& path);

    // One large file's blocks, compressed side by side and handed back in order.
    class PieceStream {
    public:
        explicit PieceStream(EntryFeed& feed) : feed_(feed) {}
        // Queues `block` (copied); hands the pieces ready in order to `output`.
        void add(std::span<const std::byte> block, bool last,
                 const std::function<void(std::span<const std::byte>)>& output);
        // Hands every piece left to `output`; returns the CRC-32 of all blocks.
        uint32_t finish(const std::function<void(std::span<const std::byte>)>& output);

    private:
        struct Piece {
            std::vector<std::byte> dictionary, input, output;
            uint64_t length = 0;  // of the input
            uint32_t crc = 0;
            bool last = false;
        };
        void hand_over_front(const std::function<void(std::span<const std::byte>)>& output);

        EntryFeed& feed_;
        std::deque<std::pair<std::shared_ptr<Piece>, std::future<void>>> pieces_;
        std::vector<std::byte> tail_;  // the last 32 KiB queued, the next piece's dictionary
        uint32_t crc_ = 0;
    };

private:
    PreparationSettings settings_;
    EntryCodecs caller_codecs_;
    // The workers' codecs outlive the pool, whose threads use them until it is gone.
    std::vector<EntryCodecs> worker_codecs_;
    WorkPool pool_;
    JobWindow<PreparedData> window_;
};

}  // namespace ferrolo::zip
