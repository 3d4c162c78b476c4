// The testing half of TZipArchiver: every selected entry decompressed into nothing, its size and CRC-32
// compared with the directory.
#include <algorithm>
#include <array>

#include "zip/entry_name.h"
#include "zip/name_mask.h"
#include "zip/zip_archiver_impl.h"
#include "zip/zip_reader.h"

namespace ferrolo::zip {

namespace {

constexpr size_t kCompressedChunk = 64 * 1024;

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
    VolumeReader reader(owner.Name(), owner.FileName, last_volume, owner.SpanningOptions.AdvancedNaming);
    Inflater inflater;
    std::vector<std::byte> block(block_size_of_mode(owner.CompressionMode()));
    std::vector<std::byte> compressed(kCompressedChunk);
    EntryCheck check(owner.Name(), reader, inflater, block, compressed);
    const double count = static_cast<double>(selected.size());
    bool stopped = false;
    for (size_t index = 0; index < selected.size() && !stopped; ++index) {
        const SelectedEntry& item = selected[index];
        const ZipEntry& entry = *item.entry;
        // Returns false when stopped.
        const auto test_entry = [&] {
            file_progress(item.display_name, 0.0, TZipProcessOperation::poTest, TZipProgressPhase::ppStart);
            if (cancel) {
                return false;
            }
            if (entry.is_folder()) {
                check.check_folder(entry);
            } else {
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
                if (!check.run(entry, on_block)) {
                    return false;
                }
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
