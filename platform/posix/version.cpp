#include "platform/version.h"

#include <elf.h>

#include <array>
#include <cstring>
#include <vector>

#include "platform/file.h"
#include "platform/system_error.h"

namespace ferrolo::platform {

namespace {

constexpr std::string_view kVersionSection = ".ferrolo.version";
constexpr uint64_t kLongestVersion = 64;

template <typename Record>
bool read_record(File& file, uint64_t offset, Record& record) {
    file.seek(offset);
    return file.read_fully(std::as_writable_bytes(std::span(&record, 1))) == sizeof(Record);
}

// Reads the version section of a 64-bit little-endian ELF file; every offset is checked against the
// file's size, so a damaged or foreign file gives the empty text.
std::string read_version_section(File& file) {
    const uint64_t file_size = file.size();
    Elf64_Ehdr header{};
    if (!read_record(file, 0, header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB ||
        header.e_shentsize != sizeof(Elf64_Shdr) || header.e_shstrndx >= header.e_shnum ||
        header.e_shoff > file_size || header.e_shnum > (file_size - header.e_shoff) / sizeof(Elf64_Shdr)) {
        return {};
    }
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    file.seek(header.e_shoff);
    if (file.read_fully(std::as_writable_bytes(std::span(sections))) !=
        sections.size() * sizeof(Elf64_Shdr)) {
        return {};
    }
    const Elf64_Shdr& names = sections[header.e_shstrndx];
    if (names.sh_offset > file_size || names.sh_size > file_size - names.sh_offset) {
        return {};
    }
    std::string name_table(names.sh_size, '\0');
    file.seek(names.sh_offset);
    if (file.read_fully(std::as_writable_bytes(std::span(name_table.data(), name_table.size()))) !=
        name_table.size()) {
        return {};
    }
    for (const Elf64_Shdr& section : sections) {
        if (section.sh_name >= name_table.size() ||
            std::string_view(name_table.c_str() + section.sh_name) != kVersionSection) {
            continue;
        }
        if (section.sh_type != SHT_PROGBITS || section.sh_offset > file_size ||
            section.sh_size > file_size - section.sh_offset || section.sh_size > kLongestVersion) {
            return {};
        }
        std::string version(section.sh_size, '\0');
        file.seek(section.sh_offset);
        version.resize(file.read_fully(std::as_writable_bytes(std::span(version.data(), version.size()))));
        return version.substr(0, version.find('\0'));
    }
    return {};
}

}  // namespace

std::string file_version(const std::string& path) {
    try {
        File file = File::open(path, File::Mode::Read);
        return read_version_section(file);
    } catch (const SystemError&) {
        return {};
    }
}

}  // namespace ferrolo::platform
