#include "zip/zip_records.h"

#include <algorithm>

namespace ferrolo::zip {

void ByteWriter::u16(uint16_t value) {
    out_.push_back(static_cast<std::byte>(value & 0xFF));
    out_.push_back(static_cast<std::byte>(value >> 8));
}

void ByteWriter::u32(uint32_t value) {
    u16(static_cast<uint16_t>(value & 0xFFFF));
    u16(static_cast<uint16_t>(value >> 16));
}

void ByteWriter::u64(uint64_t value) {
    u32(static_cast<uint32_t>(value & 0xFFFFFFFF));
    u32(static_cast<uint32_t>(value >> 32));
}

void ByteWriter::bytes(std::string_view text) {
    const auto raw = std::as_bytes(std::span(text.data(), text.size()));
    out_.insert(out_.end(), raw.begin(), raw.end());
}

bool ByteReader::take(size_t count) {
    if (!ok_ || in_.size() - position_ < count) {
        ok_ = false;
        return false;
    }
    return true;
}

uint16_t ByteReader::u16() {
    if (!take(2)) {
        return 0;
    }
    const auto value = static_cast<uint16_t>(std::to_integer<uint16_t>(in_[position_]) |
                                             std::to_integer<uint16_t>(in_[position_ + 1]) << 8);
    position_ += 2;
    return value;
}

uint32_t ByteReader::u32() {
    const uint32_t low = u16();
    const uint32_t high = u16();
    return ok_ ? low | high << 16 : 0;
}

uint64_t ByteReader::u64() {
    const uint64_t low = u32();
    const uint64_t high = u32();
    return ok_ ? low | high << 32 : 0;
}

std::string ByteReader::bytes(size_t count) {
    if (!take(count)) {
        return {};
    }
    std::string text(reinterpret_cast<const char*>(in_.data() + position_), count);
    position_ += count;
    return text;
}

bool Zip64ExtraField::empty() const {
    return !uncompressed_size && !compressed_size && !local_header_offset && !disk_number_start;
}

size_t Zip64ExtraField::size() const {
    return 4 + (uncompressed_size ? 8 : 0) + (compressed_size ? 8 : 0) + (local_header_offset ? 8 : 0) +
           (disk_number_start ? 4 : 0);
}

void Zip64ExtraField::write(ByteWriter& out) const {
    out.u16(header_id);
    out.u16(static_cast<uint16_t>(size() - 4));
    if (uncompressed_size) {
        out.u64(*uncompressed_size);
    }
    if (compressed_size) {
        out.u64(*compressed_size);
    }
    if (local_header_offset) {
        out.u64(*local_header_offset);
    }
    if (disk_number_start) {
        out.u32(*disk_number_start);
    }
}

namespace {

// The record of type `Record` at the start of `bytes`, its signature checked; nullopt when it does not fit.
// A header's fields end with the lengths of its texts, which are sized to them but not read.
template <typename Record>
std::optional<Record> read_record(std::span<const std::byte> bytes) {
    ByteReader in(bytes);
    if (in.u32() != Record::signature) {
        return std::nullopt;
    }
    Record record;
    Record::fields(record, in);
    return in.ok() ? std::optional(record) : std::nullopt;
}

template <typename Header>
bool read_header_texts(Header& header, std::span<const std::byte> bytes) {
    ByteReader in(bytes);
    Header::texts(header, in);
    return in.ok();
}

template <typename Header>
void write_header(const Header& header, ByteWriter& out) {
    out.u32(Header::signature);
    Header::fields(header, out);
    Header::texts(header, out);
}

}  // namespace

void LocalFileHeader::write(ByteWriter& out) const {
    write_header(*this, out);
}

std::optional<LocalFileHeader> LocalFileHeader::read_fixed(std::span<const std::byte> bytes) {
    return read_record<LocalFileHeader>(bytes);
}

bool LocalFileHeader::read_texts(std::span<const std::byte> bytes) {
    return read_header_texts(*this, bytes);
}

void CentralDirectoryHeader::write(ByteWriter& out) const {
    write_header(*this, out);
}

std::optional<CentralDirectoryHeader> CentralDirectoryHeader::read_fixed(std::span<const std::byte> bytes) {
    return read_record<CentralDirectoryHeader>(bytes);
}

std::optional<CentralDirectoryHeader> CentralDirectoryHeader::read(std::span<const std::byte> bytes) {
    auto header = read_fixed(bytes);
    if (!header || bytes.size() < fixed_size || !read_header_texts(*header, bytes.subspan(fixed_size))) {
        return std::nullopt;
    }
    return header;
}

void Zip64EndOfCentralDirectory::write(ByteWriter& out) const {
    out.u32(signature);
    out.u64(record_size);
    fields(*this, out);
}

std::optional<Zip64EndOfCentralDirectory> Zip64EndOfCentralDirectory::read(std::span<const std::byte> bytes) {
    ByteReader in(bytes);
    if (in.u32() != signature || in.u64() < record_size) {
        return std::nullopt;
    }
    Zip64EndOfCentralDirectory record;
    fields(record, in);
    return in.ok() ? std::optional(record) : std::nullopt;
}

void Zip64EndLocator::write(ByteWriter& out) const {
    out.u32(signature);
    fields(*this, out);
}

std::optional<Zip64EndLocator> Zip64EndLocator::read(std::span<const std::byte> bytes) {
    return read_record<Zip64EndLocator>(bytes);
}

void EndOfCentralDirectory::write(ByteWriter& out) const {
    out.u32(signature);
    fields(*this, out);
}

std::optional<EndOfCentralDirectory> EndOfCentralDirectory::read(std::span<const std::byte> bytes) {
    return read_record<EndOfCentralDirectory>(bytes);
}

namespace {

uint32_t field32(uint64_t value, std::optional<uint64_t>& zip64_value, bool force) {
    if (force || value >= kFieldFull32) {
        zip64_value = value;
        return kFieldFull32;
    }
    return static_cast<uint32_t>(value);
}

std::string extra_bytes(const Zip64ExtraField& zip64, std::string_view other_extra) {
    std::vector<std::byte> bytes;
    if (!zip64.empty()) {
        ByteWriter out(bytes);
        zip64.write(out);
    }
    std::string extra(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    // Fields kept from another tool give way when they no longer fit beside the Zip64 field in the 16-bit
    // length: without the Zip64 values the entry cannot be found, without theirs it can.
    if (extra.size() + other_extra.size() <= kFieldFull16) {
        extra.append(other_extra);
    }
    return extra;
}

}  // namespace

LocalFileHeader local_header_of(const ZipEntry& entry) {
    LocalFileHeader header;
    header.version_needed = entry.version_needed;
    header.flags = entry.flags;
    header.method = entry.method;
    header.dos_time = entry.dos_time;
    header.dos_date = entry.dos_date;
    header.crc32 = entry.crc32;
    header.name = entry.name;
    if (entry.local_zip64) {
        // APPNOTE: in a local header the Zip64 field holds both sizes, and both 32-bit fields read all ones.
        Zip64ExtraField zip64;
        zip64.uncompressed_size = entry.uncompressed_size;
        zip64.compressed_size = entry.compressed_size;
        header.compressed_size = kFieldFull32;
        header.uncompressed_size = kFieldFull32;
        header.extra = extra_bytes(zip64, entry.local_extra);
    } else {
        header.compressed_size = static_cast<uint32_t>(entry.compressed_size);
        header.uncompressed_size = static_cast<uint32_t>(entry.uncompressed_size);
        header.extra = extra_bytes({}, entry.local_extra);
    }
    return header;
}

CentralDirectoryHeader central_header_of(const ZipEntry& entry, bool force_zip64) {
    CentralDirectoryHeader header;
    header.version_made_by = entry.version_made_by;
    header.version_needed = entry.version_needed;
    header.flags = entry.flags;
    header.method = entry.method;
    header.dos_time = entry.dos_time;
    header.dos_date = entry.dos_date;
    header.crc32 = entry.crc32;
    Zip64ExtraField zip64;
    header.uncompressed_size = field32(entry.uncompressed_size, zip64.uncompressed_size, force_zip64);
    header.compressed_size = field32(entry.compressed_size, zip64.compressed_size, force_zip64);
    header.local_header_offset = field32(entry.local_header_offset, zip64.local_header_offset, force_zip64);
    if (entry.disk_number_start >= kFieldFull16) {
        zip64.disk_number_start = entry.disk_number_start;
        header.disk_number_start = kFieldFull16;
    } else {
        header.disk_number_start = static_cast<uint16_t>(entry.disk_number_start);
    }
    header.internal_attributes = entry.internal_attributes;
    header.external_attributes = entry.external_attributes;
    header.name = entry.name;
    header.extra = extra_bytes(zip64, entry.other_extra);
    header.comment = entry.comment;
    return header;
}

namespace {

// Fills the values of `entry` whose central fields read all ones from the Zip64 field in `extra`, and
// keeps every other field of `extra` in `entry.other_extra`; false when a needed value is missing.
bool apply_extra(std::string_view extra, bool need_uncompressed, bool need_compressed, bool need_offset,
                 bool need_disk, ZipEntry& entry) {
    ByteReader fields(std::as_bytes(std::span(extra.data(), extra.size())));
    while (fields.remaining() >= 4) {
        const size_t field_start = extra.size() - fields.remaining();
        const uint16_t id = fields.u16();
        const uint16_t length = fields.u16();
        if (length > fields.remaining()) {
            return false;
        }
        const std::string data = fields.bytes(length);
        if (id != Zip64ExtraField::header_id) {
            entry.other_extra.append(extra.substr(field_start, 4u + length));
            continue;
        }
        ByteReader values(std::as_bytes(std::span(data.data(), data.size())));
        if (need_uncompressed) {
            entry.uncompressed_size = values.u64();
            need_uncompressed = !values.ok();
        }
        if (need_compressed) {
            entry.compressed_size = values.u64();
            need_compressed = !values.ok();
        }
        if (need_offset) {
            entry.local_header_offset = values.u64();
            need_offset = !values.ok();
        }
        if (need_disk) {
            entry.disk_number_start = values.u32();
            need_disk = !values.ok();
        }
    }
    return !need_uncompressed && !need_compressed && !need_offset && !need_disk;
}

}  // namespace

std::optional<std::pair<uint64_t, uint64_t>> local_header_sizes(const LocalFileHeader& header) {
    ZipEntry sizes;
    sizes.uncompressed_size = header.uncompressed_size;
    sizes.compressed_size = header.compressed_size;
    if (!apply_extra(header.extra, header.uncompressed_size == kFieldFull32,
                     header.compressed_size == kFieldFull32, false, false, sizes)) {
        return std::nullopt;
    }
    return std::pair(sizes.uncompressed_size, sizes.compressed_size);
}

std::optional<ZipEntry> read_central_header(std::span<const std::byte> record) {
    const auto header = CentralDirectoryHeader::read(record);
    if (!header) {
        return std::nullopt;
    }
    ZipEntry entry;
    entry.version_made_by = header->version_made_by;
    entry.version_needed = header->version_needed;
    entry.flags = header->flags;
    entry.method = header->method;
    entry.dos_time = header->dos_time;
    entry.dos_date = header->dos_date;
    entry.crc32 = header->crc32;
    entry.compressed_size = header->compressed_size;
    entry.uncompressed_size = header->uncompressed_size;
    entry.name = header->name;
    entry.comment = header->comment;
    entry.disk_number_start = header->disk_number_start;
    entry.internal_attributes = header->internal_attributes;
    entry.external_attributes = header->external_attributes;
    entry.local_header_offset = header->local_header_offset;
    if (!apply_extra(header->extra, header->uncompressed_size == kFieldFull32,
                     header->compressed_size == kFieldFull32, header->local_header_offset == kFieldFull32,
                     header->disk_number_start == kFieldFull16, entry)) {
        return std::nullopt;
    }
    return entry;
}

}  // namespace ferrolo::zip
