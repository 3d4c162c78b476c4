// The testing half of TZipArchiver: every selected entry decompressed into nothing, its size and CRC-32
// compared with the directory.
#include <algorithm>
#include <array>

#include "zip/entry_name.h"
#include "zip/entry_preparation.h"
#include "zip/name_mask.h"
#include "zip/whole_buffer_codec.h"
#include "zip/work_pool.h"
#include "zip/zip_archiver_impl.h"
#include "zip/zip_reader.h"

namespace ferrolo::zip {

namespace {

constexpr size_t kCompressedChunk = 64 * 1024;
// Entries checked ahead of their turn, at most; each leaves only its block counts behind.
constexpr size_t kEntriesCheckedAhead = 256;

struct SelectedEntry {
    const ZipEntry* entry;
    std::string display_name;  // UTF-8, as the events show it
};

// Decompresses one entry block by block into a buffer that is thrown away.
class EntryCheck {
public:
    EntryCheck(const std::string& component_name, VolumeReader& reader, Inflater& inflater,
               std::vector<std::byte>& block, std::vector<std::byte>& compressed)
        : component_name_(component_name),
          reader_(reader),
          inflater_(inflater),
          block_(block),
          compressed_(compressed) {}

    // Checks the local header of a folder entry, which has no data.
    void check_folder(const ZipEntry& entry) { read_local_header(entry); }

    // Checks `entry` in one piece when all is well; false when anything is amiss (or unusual), so that
    // run() finds out what and after how many blocks. `input` and `output` are reused.
    bool run_whole(const ZipEntry& entry, const WholeBufferInflater& inflater, std::vector<std::byte>& input,
                   std::vector<std::byte>& output) {
        if ((entry.flags & kFlagEncrypted) != 0 ||
            (entry.method != kMethodStored && entry.method != kMethodDeflated)) {
            return false;
        }
        try {
            read_local_header(entry);
        } catch (const EZipError&) {
            return false;
        }
        input.resize(static_cast<size_t>(entry.compressed_size));
        if (!reader_.read_exactly(input)) {
            return false;
        }
        if (entry.method == kMethodStored) {
            return entry.compressed_size == entry.uncompressed_size && update_crc32(0, input) == entry.crc32;
        }
        output.resize(static_cast<size_t>(entry.uncompressed_size));
        return inflater.inflate_exactly(input, output) && update_crc32(0, output) == entry.crc32;
    }

    // Checks `entry`, calling `on_block` with the bytes produced so far after each block; stops when it
    // returns false. Throws EZipError 8 on any mismatch or damage, 55 for Deflate64, 45 for a missing
    // volume. Returns false when stopped.
    template <typename OnBlock>
    bool run(const ZipEntry& entry, OnBlock on_block) {
        if ((entry.flags & kFlagEncrypted) != 0) {
            bad();
        }
        if (entry.method == kMethodDeflate64) {
            throw EZipError(component_name_, zip_error::kDeflate64);
        }
        if (entry.method != kMethodStored && entry.method != kMethodDeflated) {
            bad();
        }
        read_local_header(entry);
        left_ = entry.compressed_size;
        produced_ = 0;
        crc_ = 0;
        const bool finished =
            entry.method == kMethodStored ? copy_stored(entry, on_block) : inflate(entry, on_block);
        if (!finished) {
            return false;
        }
        if (produced_ != entry.uncompressed_size || crc_ != entry.crc32) {
            bad();
        }
        return true;
    }

private:
    [[noreturn]] void bad() const { throw EZipError(component_name_, zip_error::kBadEntryData); }

    // Reads the entry's local header whole, checks it against the directory's record, and leaves the
    // reader at the entry's data. Throws EZipError 8 when they disagree.
    void read_local_header(const ZipEntry& entry) {
        if (!reader_.seek(entry.disk_number_start, entry.local_header_offset)) {
            bad();
        }
        std::array<std::byte, LocalFileHeader::fixed_size> fixed{};
        if (!reader_.read_exactly(fixed)) {
            bad();
        }
        auto header = LocalFileHeader::read_fixed(fixed);
        if (!header) {
            bad();
        }
        texts_.resize(header->size() - LocalFileHeader::fixed_size);
        if (!reader_.read_exactly(texts_) || !header->read_texts(texts_)) {
            bad();
        }
        if (header->name != entry.name || header->method != entry.method || header->flags != entry.flags) {
            bad();
        }
        // With a data descriptor the header's CRC and sizes may read 0; the directory's are the ones checked.
        if ((header->flags & kFlagDataDescriptor) == 0) {
            const auto sizes = local_header_sizes(*header);
            if (!sizes || header->crc32 != entry.crc32 ||
                *sizes != std::pair(entry.uncompressed_size, entry.compressed_size)) {
                bad();
            }
        }
    }

    // Adds a finished block to the count and the CRC; false when the caller stops.
    template <typename OnBlock>
    bool block_done(const ZipEntry& entry, size_t count, OnBlock& on_block) {
        produced_ += count;
        if (produced_ > entry.uncompressed_size) {
            // More than the directory promises: no need to inflate the rest to know it is wrong.
            bad();
        }
        crc_ = update_crc32(crc_, std::span(block_.data(), count));
        return on_block(produced_);
    }

    template <typename OnBlock>
    bool copy_stored(const ZipEntry& entry, OnBlock& on_block) {
        while (left_ > 0) {
            const size_t count = static_cast<size_t>(std::min<uint64_t>(left_, block_.size()));
            if (!reader_.read_exactly(std::span(block_.data(), count))) {
                bad();
            }
            left_ -= count;
            if (!block_done(entry, count, on_block)) {
                return false;
            }
        }
        return true;
    }

    template <typename OnBlock>
    bool inflate(const ZipEntry& entry, OnBlock& on_block) {
        inflater_.restart();
        size_t input_start = 0;
        size_t input_end = 0;
        bool ended = false;
        while (!ended) {
            size_t filled = 0;
            while (filled < block_.size() && !ended) {
                if (input_start == input_end) {
                    if (left_ == 0) {
                        bad();  // the data ends before the deflate stream does
                    }
                    const size_t count = static_cast<size_t>(std::min<uint64_t>(left_, compressed_.size()));
                    if (!reader_.read_exactly(std::span(compressed_.data(), count))) {
                        bad();
                    }
                    left_ -= count;
                    input_start = 0;
                    input_end = count;
                }
                const Inflater::Step step =
                    inflater_.inflate(std::span(compressed_.data() + input_start, input_end - input_start),
                                      std::span(block_.data() + filled, block_.size() - filled));
                if (step.status == Inflater::Status::DataError ||
                    (step.status == Inflater::Status::Progress && step.consumed == 0 && step.produced == 0)) {
                    bad();
                }
                input_start += step.consumed;
                filled += step.produced;
                ended = step.status == Inflater::Status::StreamEnd;
            }
            if (filled > 0 && !block_done(entry, filled, on_block)) {
                return false;
            }
        }
        if (input_start != input_end || left_ > 0) {
            bad();  // the directory counts bytes past the end of the deflate stream
        }
        return true;
    }

    const std::string& component_name_;
    VolumeReader& reader_;
    Inflater& inflater_;
    std::vector<std::byte>& block_;
    std::vector<std::byte>& compressed_;
    std::vector<std::byte> texts_;  // a local header's name and extra field
    uint64_t left_ = 0;
    uint64_t produced_ = 0;
    uint32_t crc_ = 0;
};

// What one thread needs to check entries: its own reader of the archive, its inflaters and buffers.
struct CheckerState {
    CheckerState(const std::string& component_name, const std::string& archive_name, uint32_t last_volume,
                 bool advanced_naming, size_t block_size)
        : reader(component_name, archive_name, last_volume, advanced_naming),
          block(block_size),
          compressed(kCompressedChunk),
          check(component_name, reader, inflater, block, compressed) {}

    VolumeReader reader;
    Inflater inflater;
    WholeBufferInflater whole_inflater;
    std::vector<std::byte> block, compressed, whole_input, whole_output;
    EntryCheck check;
};

// An entry checked by a worker ahead of its turn: the bytes produced after each block, as the progress
// notices count them, and what the check raised after them.
struct CheckedEntry {
    std::vector<uint64_t> produced;
    std::exception_ptr failure;
};

// Folders and entries small enough to be held whole are checked by the workers; the calling thread checks
// the others itself, block by block between its notices.
bool checked_ahead(const ZipEntry& entry) {
    return entry.is_folder() ||
           (entry.uncompressed_size <= kWholeEntryLimit && entry.compressed_size <= 2 * kWholeEntryLimit);
}

void check_ahead(CheckerState& state, const ZipEntry& entry, CheckedEntry& result) {
    try {
        if (entry.is_folder()) {
            state.check.check_folder(entry);
        } else if (state.check.run_whole(entry, state.whole_inflater, state.whole_input,
                                         state.whole_output)) {
            // The blocks a check block by block would have produced: all full but the last.
            for (uint64_t produced = 0; produced < entry.uncompressed_size;) {
                produced = std::min<uint64_t>(produced + state.block.size(), entry.uncompressed_size);
                result.produced.push_back(produced);
            }
        } else {
            state.check.run(entry, [&](uint64_t produced) {
                result.produced.push_back(produced);
                return true;
            });
        }
    } catch (const EZipError&) {
        result.failure = std::current_exception();
    }
}

}  // namespace

void TZipArchiver::Impl::test(const std::string& mask, const std::string& exclusion_mask) {
    const std::string entry_mask = mask == "*.*" ? "*" : mask;
    std::vector<SelectedEntry> selected;
    for (const ZipEntry& entry : entries) {
        std::string name = decode_entry_name(entry.name, (entry.flags & kFlagUtf8Name) != 0);
        if (!matches_name_mask(name, entry_mask) ||
            (!exclusion_mask.empty() && matches_name_mask(name, exclusion_mask)) ||
            std::any_of(owner.ExclusionMasks.begin(), owner.ExclusionMasks.end(),
                        [&](const std::string& exclusion) { return matches_name_mask(name, exclusion); })) {
            continue;
        }
        selected.push_back({&entry, std::move(name)});
    }

    cancel = false;
    overall_progress(0.0, TZipProcessOperation::poTest, TZipProgressPhase::ppStart);
    if (cancel) {
        return;
    }
    const size_t block_size = block_size_of_mode(owner.CompressionMode());
    const auto new_state = [&] {
        return std::make_unique<CheckerState>(owner.Name(), owner.FileName, last_volume,
                                              owner.SpanningOptions.AdvancedNaming, block_size);
    };
    const std::unique_ptr<CheckerState> own_state = new_state();
    // The workers' states outlive the pool, whose threads use them until it is gone.
    std::vector<std::unique_ptr<CheckerState>> worker_states(worker_count(owner.WorkerThreads));
    WorkPool pool(worker_states.size());
    JobWindow<CheckedEntry> ahead(pool, kEntriesCheckedAhead, kEntriesCheckedAhead);
    size_t next_ahead = 0;
    const double count = static_cast<double>(selected.size());
    bool stopped = false;
    for (size_t index = 0; index < selected.size() && !stopped; ++index) {
        for (; next_ahead < selected.size() && ahead.has_room(1); ++next_ahead) {
            const ZipEntry& ahead_entry = *selected[next_ahead].entry;
            if (checked_ahead(ahead_entry)) {
                ahead.submit(next_ahead, 1,
                             [&worker_states, &new_state, &ahead_entry](size_t worker, CheckedEntry& result) {
                                 if (!worker_states[worker]) {
                                     worker_states[worker] = new_state();
                                 }
                                 check_ahead(*worker_states[worker], ahead_entry, result);
                             });
            }
        }
        const SelectedEntry& item = selected[index];
        const ZipEntry& entry = *item.entry;
        // Returns false when stopped.
        const auto test_entry = [&] {
            file_progress(item.display_name, 0.0, TZipProcessOperation::poTest, TZipProgressPhase::ppStart);
            if (cancel) {
                return false;
            }
            // A retry checks the entry again here.
            std::optional<CheckedEntry> checked = ahead.take(index);
            const auto on_block = [&](uint64_t produced) {
                const double fraction =
                    entry.uncompressed_size == 0
                        ? 1.0
                        : static_cast<double>(produced) / static_cast<double>(entry.uncompressed_size);
                file_progress(item.display_name, fraction * 100.0, TZipProcessOperation::poTest,
                              TZipProgressPhase::ppProcess);
                overall_progress((static_cast<double>(index) + fraction) / count * 100.0,
                                 TZipProcessOperation::poTest, TZipProgressPhase::ppProcess);
                return !cancel;
            };
            if (checked) {
                for (const uint64_t produced : checked->produced) {
                    if (!on_block(produced)) {
                        return false;
                    }
                }
                if (checked->failure) {
                    std::rethrow_exception(checked->failure);
                }
            } else if (entry.is_folder()) {
                own_state->check.check_folder(entry);
            } else if (!own_state->check.run(entry, on_block)) {
                return false;
            }
            file_progress(item.display_name, 100.0, TZipProcessOperation::poTest, TZipProgressPhase::ppEnd);
            return !cancel;
        };
        const Attempt attempt = attempt_until_decided<EZipError>(
            [&] { stopped = !test_entry(); },
            [&](const EZipError& error) {
                return failure_action(item.display_name, TZipProcessOperation::poTest, error);
            });
        stopped = stopped || attempt == Attempt::Aborted;
    }
    overall_progress(100.0, TZipProcessOperation::poTest, TZipProgressPhase::ppEnd);
}

}  // namespace ferrolo::zip
