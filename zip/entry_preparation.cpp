#include "zip/entry_preparation.h"

#include <algorithm>

#include "zip/zip_error.h"

namespace ferrolo::zip {

namespace {

// What the files read ahead may hold at once, and how many they may be.
constexpr uint64_t kLookAheadBytes = 48 * 1024 * 1024;
// Each file ahead holds a descriptor until a worker has read it: well below the usual limit of 1,024.
constexpr size_t kLookAheadFiles = 256;
// Blocks of a large file in flight at once, at most; each holds its input and its output.
constexpr size_t kMostPiecesInFlight = 8;
// Deflate reaches back 32 KiB: a piece primed with this much finds every match a single stream would.
constexpr size_t kDictionarySize = 32 * 1024;

uint64_t look_ahead_cost(uint64_t size) {
    // The whole file, its compressed copy, and the bookkeeping of a job.
    return 2 * size + 4096;
}

// Opens the file and asks its size; a failure is kept for its turn.
PreparedData open_prepared(const std::string& path, const PreparationSettings& settings) {
    PreparedData prepared;
    const ZipErrorDetail unreadable{.file_name = path};
    try {
        prepared.source = as_zip_error(settings.component_name, zip_error::kCannotOpenFile, unreadable, [&] {
            return platform::File::open(path, platform::File::Mode::Read);
        });
        prepared.size = as_zip_error(settings.component_name, zip_error::kCannotOpenFile, unreadable,
                                     [&] { return prepared.source->size(); });
    } catch (const EZipError&) {
        prepared.open_failure = std::current_exception();
        return prepared;
    }
    prepared.streamed = prepared.size > kWholeEntryLimit;
    return prepared;
}

// Reads an opened file that is not streamed whole, and deflates it (or keeps it, when stored).
void read_whole(PreparedData& prepared, const PreparationSettings& settings, EntryCodecs& codecs) {
    if (prepared.open_failure || prepared.streamed) {
        return;
    }
    std::vector<std::byte> input(static_cast<size_t>(prepared.size));
    try {
        // The blocks follow one another in the buffer.
        prepared.bytes_read = read_blocks(
            *prepared.source, settings, prepared.size,
            [&](size_t wanted) {
                return std::span(input).subspan(static_cast<size_t>(prepared.bytes_read), wanted);
            },
            [&](std::span<const std::byte> block, bool) {
                prepared.bytes_read += block.size();
                prepared.block_counts.push_back(block.size());
                return true;
            });
    } catch (const EZipError&) {
        prepared.read_failure = std::current_exception();
    }
    prepared.source.reset();
    if (prepared.read_failure || prepared.bytes_read != prepared.size) {
        return;
    }
    prepared.crc = update_crc32(0, input);
    if (settings.mode > 0 && prepared.size > 0) {
        prepared.data = codecs.whole(settings.mode).compress(input);
    } else {
        prepared.data = std::move(input);
    }
}

}  // namespace

uint64_t deflated_size_bound(uint64_t size, size_t block_size) {
    // A sync flush costs an empty stored block and the bits up to the next byte; the block it ends starts
    // anew, so a few bytes more each.
    constexpr uint64_t kPieceOverhead = 16;
    return deflate_bound(size) + (size > kWholeEntryLimit ? (size / block_size + 1) * kPieceOverhead : 0);
}

const WholeBufferDeflater& EntryCodecs::whole(int level) {
    if (!whole_) {
        whole_ = std::make_unique<WholeBufferDeflater>(level);
    }
    return *whole_;
}

Deflater& EntryCodecs::piece(int level) {
    if (!piece_) {
        piece_ = std::make_unique<Deflater>(level);
    }
    return *piece_;
}

uint64_t read_blocks(platform::File& source, const PreparationSettings& settings, uint64_t size,
                     const std::function<std::span<std::byte>(size_t wanted)>& buffer_for,
                     const std::function<bool(std::span<const std::byte> block, bool last)>& on_block) {
    const auto read = [&](std::span<std::byte> into) {
        return as_zip_error(settings.component_name, zip_error::kCannotOpenFile, {.file_name = source.path()},
                            [&] { return source.read_fully(into); });
    };
    uint64_t bytes_read = 0;
    // At least one block, so that an empty file also gives its progress notice.
    do {
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(settings.block_size, size - bytes_read));
        const std::span<std::byte> into = buffer_for(wanted);
        const size_t count = read(into);
        bytes_read += count;
        if (!on_block(into.first(count), count < wanted || bytes_read == size) || count < wanted) {
            return bytes_read;
        }
    } while (bytes_read < size);
    std::byte probe{};
    return bytes_read + read(std::span(&probe, 1));
}

EntryFeed::EntryFeed(PreparationSettings settings, unsigned requested_workers)
    : settings_(std::move(settings)),
      worker_codecs_(worker_count(requested_workers)),
      pool_(worker_codecs_.size()),
      window_(pool_, kLookAheadBytes, kLookAheadFiles) {}

bool EntryFeed::look_ahead(size_t index, const std::string& path, uint64_t size) {
    if (size > kWholeEntryLimit) {
        return true;
    }
    const uint64_t cost = look_ahead_cost(size);
    if (!window_.has_room(cost)) {
        return false;
    }
    // Opened here, in queue order, so that a file deleted or replaced meanwhile gives the same archive
    // whatever the workers' timing; the worker reads the open file.
    auto opened = std::make_shared<PreparedData>(open_prepared(path, settings_));
    window_.submit(index, cost, [this, opened](size_t worker, PreparedData& result) {
        result = std::move(*opened);
        read_whole(result, settings_, worker_codecs_[worker]);
    });
    return true;
}

PreparedData EntryFeed::take(size_t index, const std::string& path) {
    if (std::optional<PreparedData> prepared = window_.take(index)) {
        return std::move(*prepared);
    }
    PreparedData prepared = open_prepared(path, settings_);
    read_whole(prepared, settings_, caller_codecs_);
    return prepared;
}

void EntryFeed::PieceStream::add(std::span<const std::byte> block, bool last,
                                 const std::function<void(std::span<const std::byte>)>& output) {
    while (pieces_.size() >= std::min(kMostPiecesInFlight, 2 * feed_.pool_.workers() + 1)) {
        hand_over_front(output);
    }
    auto piece = std::make_shared<Piece>();
    piece->dictionary = tail_;
    piece->input.assign(block.begin(), block.end());
    piece->length = block.size();
    piece->last = last;
    const size_t kept = std::min(kDictionarySize, tail_.size() + block.size());
    std::vector<std::byte> tail(kept);
    const size_t from_block = std::min(kept, block.size());
    std::copy(tail_.end() - static_cast<ptrdiff_t>(kept - from_block), tail_.end(), tail.begin());
    std::copy(block.end() - static_cast<ptrdiff_t>(from_block), block.end(),
              tail.begin() + static_cast<ptrdiff_t>(kept - from_block));
    tail_ = std::move(tail);

    const int mode = feed_.settings_.mode;
    // The stream may be dropped (a cancel) while its pieces are compressed; the feed outlives them.
    EntryFeed* feed = &feed_;
    std::future<void> done = feed_.pool_.submit([feed, piece, mode](size_t worker) {
        piece->crc = update_crc32(0, piece->input);
        if (mode == 0) {
            piece->output = std::move(piece->input);
            return;
        }
        feed->worker_codecs_[worker].piece(mode).compress_piece(
            piece->dictionary, piece->input, piece->last, [&](std::span<const std::byte> bytes) {
                piece->output.insert(piece->output.end(), bytes.begin(), bytes.end());
            });
        piece->input = {};
    });
    pieces_.emplace_back(std::move(piece), std::move(done));
}

uint32_t EntryFeed::PieceStream::finish(const std::function<void(std::span<const std::byte>)>& output) {
    while (!pieces_.empty()) {
        hand_over_front(output);
    }
    return crc_;
}

void EntryFeed::PieceStream::hand_over_front(const std::function<void(std::span<const std::byte>)>& output) {
    auto& [piece, done] = pieces_.front();
    done.get();
    crc_ = combine_crc32(crc_, piece->crc, piece->length);
    output(piece->output);
    pieces_.pop_front();
}

}  // namespace ferrolo::zip
