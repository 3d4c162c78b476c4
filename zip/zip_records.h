// zip/zip_records.h — the on-disk records of a ZIP archive, written and read field by field in
// little-endian order; never a packed struct copied to disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ferrolo::zip {

// Appends little-endian values to a byte buffer.
class ByteWriter {
public:
    explicit ByteWriter(std::vector<std::byte>& out) : out_(out) {}
    void u16(uint16_t value);
    void u32(uint32_t value);
    void u64(uint64_t value);
    void bytes(std::string_view text);
    // A record's field list, the same one its reading goes through: numbers, the 16-bit length of a
    // text, and the text.
    void field(uint16_t value) { u16(value); }
    void field(uint32_t value) { u32(value); }
    void field(uint64_t value) { u64(value); }
    void length_of(const std::string& text) { u16(static_cast<uint16_t>(text.size())); }
    void text(const std::string& text) { bytes(text); }

private:
    std::vector<std::byte>& out_;
};

// Reads little-endian values from a byte range; every read is checked against its end, and after a read
// past it ok() is false and every value read is 0.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::byte> in) : in_(in) {}
    uint16_t u16();
    uint32_t u32();
    uint64_t u64();
    std::string bytes(size_t count);
    // A record's field list, the same one its writing goes through. A text's length is read into its
    // size, and the text then fills it.
    void field(uint16_t& value) { value = u16(); }
    void field(uint32_t& value) { value = u32(); }
    void field(uint64_t& value) { value = u64(); }
    void length_of(std::string& text) { text.assign(u16(), '\0'); }
    void text(std::string& text) { text = bytes(text.size()); }
    bool ok() const { return ok_; }
    size_t remaining() const { return ok_ ? in_.size() - position_ : 0; }

private:
    bool take(size_t count);

    std::span<const std::byte> in_;
    size_t position_ = 0;
    bool ok_ = true;
};

inline constexpr uint32_t kFieldFull32 = 0xFFFFFFFF;  // a 32-bit field whose value is in the Zip64 extra
inline constexpr uint16_t kFieldFull16 = 0xFFFF;
inline constexpr uint16_t kFlagFolder = 0x0002;  // what this writer puts in a folder entry's flags
inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kFlagDataDescriptor = 0x0008;  // CRC and sizes follow the data, not the header
inline constexpr uint16_t kFlagUtf8Name = 0x0800;        // language encoding: name and comment are UTF-8
inline constexpr uint16_t kMethodStored = 0;
inline constexpr uint16_t kMethodDeflated = 8;
inline constexpr uint16_t kMethodDeflate64 = 9;
inline constexpr uint16_t kVersionDefault = 20;
inline constexpr uint16_t kVersionZip64 = 45;
inline constexpr uint16_t kVersionNtfsHost =
    0x0B14;  // made on NTFS, version 2.0: names in the ANSI code page

// The Zip64 extended information extra field (header ID 1). Only the values present are written, in
// this fixed order.
struct Zip64ExtraField {
    static constexpr uint16_t header_id = 0x0001;
    std::optional<uint64_t> uncompressed_size;
    std::optional<uint64_t> compressed_size;
    std::optional<uint64_t> local_header_offset;
    std::optional<uint32_t> disk_number_start;

    bool empty() const;
    size_t size() const;  // header included
    void write(ByteWriter& out) const;
};

struct LocalFileHeader {
    static constexpr uint32_t signature = 0x04034b50;
    static constexpr size_t fixed_size = 30;
    uint16_t version_needed = kVersionDefault;
    uint16_t flags = 0;
    uint16_t method = kMethodStored;
    uint16_t dos_time = 0;
    uint16_t dos_date = 0;
    uint32_t crc32 = 0;
    uint32_t compressed_size = 0;
    uint32_t uncompressed_size = 0;
    std::string name;
    std::string extra;

    // The fields after the signature up to the lengths of the texts, in their order on disk.
    template <typename Self, typename Io>
    static void fields(Self& self, Io& io) {
        io.field(self.version_needed);
        io.field(self.flags);
        io.field(self.method);
        io.field(self.dos_time);
        io.field(self.dos_date);
        io.field(self.crc32);
        io.field(self.compressed_size);
        io.field(self.uncompressed_size);
        io.length_of(self.name);
        io.length_of(self.extra);
    }
    template <typename Self, typename Io>
    static void texts(Self& self, Io& io) {
        io.text(self.name);
        io.text(self.extra);
    }

    size_t size() const { return fixed_size + name.size() + extra.size(); }
    void write(ByteWriter& out) const;
    // The fixed part at the start of `bytes`, its texts sized but not yet read (size() is the whole
    // header's); nullopt when the signature does not match or the bytes are too few.
    static std::optional<LocalFileHeader> read_fixed(std::span<const std::byte> bytes);
    // Reads the texts from `bytes`, which hold the name and extra field that follow the fixed part.
    bool read_texts(std::span<const std::byte> bytes);
};

struct CentralDirectoryHeader {
    static constexpr uint32_t signature = 0x02014b50;
    static constexpr size_t fixed_size = 46;
    uint16_t version_made_by = kVersionDefault;
    uint16_t version_needed = kVersionDefault;
    uint16_t flags = 0;
    uint16_t method = kMethodStored;
    uint16_t dos_time = 0;
    uint16_t dos_date = 0;
    uint32_t crc32 = 0;
    uint32_t compressed_size = 0;
    uint32_t uncompressed_size = 0;
    uint16_t disk_number_start = 0;
    uint16_t internal_attributes = 0;
    uint32_t external_attributes = 0;
    uint32_t local_header_offset = 0;
    std::string name;
    std::string extra;
    std::string comment;

    // The fields after the signature up to the lengths of the texts, in their order on disk.
    template <typename Self, typename Io>
    static void fields(Self& self, Io& io) {
        io.field(self.version_made_by);
        io.field(self.version_needed);
        io.field(self.flags);
        io.field(self.method);
        io.field(self.dos_time);
        io.field(self.dos_date);
        io.field(self.crc32);
        io.field(self.compressed_size);
        io.field(self.uncompressed_size);
        io.length_of(self.name);
        io.length_of(self.extra);
        io.length_of(self.comment);
        io.field(self.disk_number_start);
        io.field(self.internal_attributes);
        io.field(self.external_attributes);
        io.field(self.local_header_offset);
    }
    template <typename Self, typename Io>
    static void texts(Self& self, Io& io) {
        io.text(self.name);
        io.text(self.extra);
        io.text(self.comment);
    }

    size_t size() const { return fixed_size + name.size() + extra.size() + comment.size(); }
    void write(ByteWriter& out) const;
    // As for the local header: the fixed part, with size() giving the whole header's length.
    static std::optional<CentralDirectoryHeader> read_fixed(std::span<const std::byte> bytes);
    // The whole header at the start of `bytes`; nullopt when it does not fit.
    static std::optional<CentralDirectoryHeader> read(std::span<const std::byte> bytes);
};

struct Zip64EndOfCentralDirectory {
    static constexpr uint32_t signature = 0x06064b50;
    static constexpr size_t fixed_size = 56;
    static constexpr uint64_t record_size = 44;  // what follows the size field
    uint16_t version_made_by = kVersionZip64;
    uint16_t version_needed = kVersionZip64;
    uint32_t this_disk = 0;
    uint32_t directory_disk = 0;
    uint64_t entries_on_this_disk = 0;
    uint64_t total_entries = 0;
    uint64_t directory_size = 0;
    uint64_t directory_offset = 0;

    // The fields after the size field, in their order on disk.
    template <typename Self, typename Io>
    static void fields(Self& self, Io& io) {
        io.field(self.version_made_by);
        io.field(self.version_needed);
        io.field(self.this_disk);
        io.field(self.directory_disk);
        io.field(self.entries_on_this_disk);
        io.field(self.total_entries);
        io.field(self.directory_size);
        io.field(self.directory_offset);
    }
    void write(ByteWriter& out) const;
    // The record at the start of `bytes`; nullopt when the signature or the size does not fit.
    static std::optional<Zip64EndOfCentralDirectory> read(std::span<const std::byte> bytes);
};

struct Zip64EndLocator {
    static constexpr uint32_t signature = 0x07064b50;
    static constexpr size_t fixed_size = 20;
    uint32_t zip64_end_disk = 0;
    uint64_t zip64_end_offset = 0;
    uint32_t total_disks = 1;

    // The fields after the signature, in their order on disk.
    template <typename Self, typename Io>
    static void fields(Self& self, Io& io) {
        io.field(self.zip64_end_disk);
        io.field(self.zip64_end_offset);
        io.field(self.total_disks);
    }
    void write(ByteWriter& out) const;
    static std::optional<Zip64EndLocator> read(std::span<const std::byte> bytes);
};

struct EndOfCentralDirectory {
    static constexpr uint32_t signature = 0x06054b50;
    static constexpr size_t fixed_size = 22;
    uint16_t this_disk = 0;
    uint16_t directory_disk = 0;
    uint16_t entries_on_this_disk = 0;
    uint16_t total_entries = 0;
    uint32_t directory_size = 0;
    uint32_t directory_offset = 0;
    uint16_t comment_length = 0;

    // The fields after the signature, in their order on disk.
    template <typename Self, typename Io>
    static void fields(Self& self, Io& io) {
        io.field(self.this_disk);
        io.field(self.directory_disk);
        io.field(self.entries_on_this_disk);
        io.field(self.total_entries);
        io.field(self.directory_size);
        io.field(self.directory_offset);
        io.field(self.comment_length);
    }
    void write(ByteWriter& out) const;
    static std::optional<EndOfCentralDirectory> read(std::span<const std::byte> bytes);
};

// One entry of the archive's directory with its full 64-bit values, as kept while the archive is open.
struct ZipEntry {
    uint16_t version_made_by = kVersionDefault;
    uint16_t version_needed = kVersionDefault;
    uint16_t flags = 0;
    uint16_t method = kMethodStored;
    uint16_t dos_time = 0;
    uint16_t dos_date = 0;
    uint32_t crc32 = 0;
    uint64_t compressed_size = 0;
    uint64_t uncompressed_size = 0;
    std::string name;         // the stored bytes: code page 850, or UTF-8 with kFlagUtf8Name
    std::string comment;      // stored bytes
    std::string other_extra;  // extra fields of the central header other than Zip64, kept as found
    std::string local_extra;  // extra fields the local header carries besides Zip64
    uint32_t disk_number_start = 0;
    uint16_t internal_attributes = 0;
    uint32_t external_attributes = 0;
    uint64_t local_header_offset = 0;
    bool local_zip64 = false;  // the local header holds both sizes in a Zip64 extra field

    bool is_folder() const { return !name.empty() && name.back() == '/'; }
};

// The local header of `entry`: with `entry.local_zip64`, both size fields read 0xFFFFFFFF and the sizes
// follow the name in a Zip64 extra field.
LocalFileHeader local_header_of(const ZipEntry& entry);
// The central header of `entry`: a value that does not fit its field (or every one, with
// `force_zip64`) reads all ones there and is written in the Zip64 extra field instead.
CentralDirectoryHeader central_header_of(const ZipEntry& entry, bool force_zip64);
// The uncompressed and compressed sizes a local header gives, from its Zip64 field where the 32-bit
// fields read all ones; nullopt when that field lacks them.
std::optional<std::pair<uint64_t, uint64_t>> local_header_sizes(const LocalFileHeader& header);
// Parses the whole central header `record`; nullopt when it is damaged: wrong signature, a length past
// its end, a Zip64 value missing from the extra field.
std::optional<ZipEntry> read_central_header(std::span<const std::byte> record);

}  // namespace ferrolo::zip
