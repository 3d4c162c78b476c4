#include "tests/archive/zip_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>

#include "tests/support/command.h"

namespace ferrolo::archive::testing {

using ::ferrolo::testing::run_command;
using ::ferrolo::testing::shell_quote;

void expect_peers_accept(const std::string& archive) {
    const auto unzip = run_command("unzip -t " + shell_quote(archive));
    EXPECT_EQ(unzip.exit_status, 0) << "unzip -t rejects " << archive << ":\n" << unzip.output;
    EXPECT_NE(unzip.output.find("No errors detected"), std::string::npos) << unzip.output;
    const auto seven_zip = run_command("7z t -bd " + shell_quote(archive));
    EXPECT_EQ(seven_zip.exit_status, 0) << "7z t rejects " << archive << ":\n" << seven_zip.output;
    EXPECT_NE(seven_zip.output.find("Everything is Ok"), std::string::npos) << seven_zip.output;
    std::string lower = seven_zip.output;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    EXPECT_EQ(lower.find("warning"), std::string::npos) << seven_zip.output;
    const auto python =
        run_command("/usr/bin/python3 " + shell_quote(FERROLO_ARCHIVE_TEST_DIR "/peer_zipfile.py") + " " +
                    shell_quote(archive) + " > /dev/null");
    EXPECT_EQ(python.exit_status, 0) << "Python's zipfile rejects " << archive << ":\n" << python.output;
}

namespace {

std::string from_hex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

}  // namespace

std::vector<PeerEntry> python_entries(const std::string& archive) {
    const auto listing =
        run_command("/usr/bin/python3 " + shell_quote(FERROLO_ARCHIVE_TEST_DIR "/peer_zipfile.py") + " " +
                    shell_quote(archive));
    EXPECT_EQ(listing.exit_status, 0) << listing.output;
    std::vector<PeerEntry> entries;
    if (listing.exit_status != 0) {
        return entries;
    }
    std::istringstream lines(listing.output);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) {
            fields.push_back(cell);
        }
        if (line.ends_with('\t')) {
            fields.emplace_back();
        }
        if (fields.size() != 12) {
            ADD_FAILURE() << "unexpected line from zipfile: " << line;
            continue;
        }
        PeerEntry entry;
        entry.name = from_hex(fields[0]);
        entry.flags = std::stoi(fields[1]);
        entry.create_version = std::stoi(fields[2]);
        entry.create_system = std::stoi(fields[3]);
        entry.extract_version = std::stoi(fields[4]);
        entry.external_attributes = static_cast<uint32_t>(std::stoul(fields[5]));
        entry.method = std::stoi(fields[6]);
        entry.crc = static_cast<uint32_t>(std::stoul(fields[7]));
        entry.compressed_size = std::stoull(fields[8]);
        entry.size = std::stoull(fields[9]);
        entry.header_offset = std::stoull(fields[10]);
        entry.extra_hex = fields[11];
        entries.push_back(entry);
    }
    return entries;
}

uint16_t u16_at(const std::string& bytes, uint64_t offset) {
    if (offset + 2 > bytes.size()) {
        ADD_FAILURE() << "read past the end at " << offset;
        return 0;
    }
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[offset]) | static_cast<uint8_t>(bytes[offset + 1])
                                                                           << 8);
}

uint32_t u32_at(const std::string& bytes, uint64_t offset) {
    return u16_at(bytes, offset) | static_cast<uint32_t>(u16_at(bytes, offset + 2)) << 16;
}

uint64_t u64_at(const std::string& bytes, uint64_t offset) {
    return u32_at(bytes, offset) | static_cast<uint64_t>(u32_at(bytes, offset + 4)) << 32;
}

RawLocalHeader local_header_at(const std::string& bytes, uint64_t offset) {
    RawLocalHeader header;
    header.signature = u32_at(bytes, offset);
    header.version_needed = u16_at(bytes, offset + 4);
    header.flags = u16_at(bytes, offset + 6);
    header.method = u16_at(bytes, offset + 8);
    header.crc = u32_at(bytes, offset + 14);
    header.compressed_size = u32_at(bytes, offset + 18);
    header.uncompressed_size = u32_at(bytes, offset + 22);
    const uint16_t name_length = u16_at(bytes, offset + 26);
    const uint16_t extra_length = u16_at(bytes, offset + 28);
    if (offset + 30 + name_length + extra_length <= bytes.size()) {
        header.name = bytes.substr(offset + 30, name_length);
        header.extra = bytes.substr(offset + 30 + name_length, extra_length);
    }
    return header;
}

uint64_t end_record_offset(const std::string& bytes) {
    const size_t found = bytes.rfind(std::string("PK\x05\x06", 4));
    EXPECT_NE(found, std::string::npos) << "no end of central directory record";
    return found == std::string::npos ? 0 : found;
}

EventRecorder::EventRecorder(TZipArchiver& zip) {
    const auto maybe_cancel = [this](bool& cancel) {
        if (cancel_when && cancel_when(events.back())) {
            cancel = true;
        }
    };
    zip.OnFileProgress = [this, maybe_cancel](TZipArchiver&, const std::string& name, double progress,
                                              TZipProcessOperation operation, TZipProgressPhase phase,
                                              bool& cancel) {
        events.push_back({.kind = Event::Kind::FileProgress,
                          .name = name,
                          .progress = progress,
                          .operation = operation,
                          .phase = phase});
        maybe_cancel(cancel);
    };
    zip.OnOverallProgress = [this, maybe_cancel](TZipArchiver&, double progress,
                                                 TZipProcessOperation operation, TZipProgressPhase phase,
                                                 bool& cancel) {
        events.push_back({.kind = Event::Kind::OverallProgress,
                          .progress = progress,
                          .operation = operation,
                          .phase = phase});
        maybe_cancel(cancel);
    };
    zip.OnProcessFileFailure = [this](TZipArchiver&, const std::string& name, TZipProcessOperation operation,
                                      int native_error, int error_code, const std::string& message,
                                      TZipAction& action) {
        EXPECT_EQ(action, TZipAction::zaIgnore) << "the failure event is entered with zaIgnore";
        events.push_back({.kind = Event::Kind::Failure,
                          .name = name,
                          .operation = operation,
                          .native_error = native_error,
                          .error_code = error_code,
                          .message = message});
        action = failure_answer;
    };
    zip.OnDiskFull = [this, maybe_cancel](TZipArchiver&, int volume_number, std::string& volume_file_name,
                                          bool& cancel) {
        EXPECT_FALSE(cancel) << "the disk-full event is entered with Cancel false";
        events.push_back(
            {.kind = Event::Kind::DiskFull, .name = volume_file_name, .volume_number = volume_number});
        maybe_cancel(cancel);
    };
    zip.OnStoreFile = [this](TZipArchiver&, std::string& file_name, uint32_t&, std::string&,
                             const std::string& original_file_name) {
        events.push_back({.kind = Event::Kind::StoreFile, .name = file_name, .message = original_file_name});
    };
}

std::vector<Event> EventRecorder::of_kind(Event::Kind kind) const {
    std::vector<Event> found;
    for (const Event& event : events) {
        if (event.kind == kind) {
            found.push_back(event);
        }
    }
    return found;
}

void set_up_like_backup(TZipArchiver& zip, const ::ferrolo::testing::TempFolder& folder,
                        const std::string& archive_name) {
    zip.FileName = folder / archive_name;
    zip.BaseDir = folder.path();
    zip.Options.StorePath = TZipStorePathMode::spRelativePath;
}

std::string pack(TZipArchiver& zip, const ::ferrolo::testing::TempFolder& folder, const std::string& mask,
                 const std::string& archive_name) {
    set_up_like_backup(zip, folder, archive_name);
    zip.Open(kCreateArchive);
    zip.Zip64Mode = TZip64Mode::zmAuto;
    zip.SetCompressionLevel(TZipCompressionLevel::clMax);
    zip.BeginUpdate();
    zip.AddMask(mask, kDefaultSearchAttr, "");
    zip.EndUpdate();
    zip.Close();
    return zip.FileName;
}

std::vector<Event> test_archive(const std::string& archive, std::vector<Event>* all_events) {
    TZipArchiver tester{"ZipTest"};
    EventRecorder recorder(tester);
    tester.FileName = archive;
    tester.Open(kOpenForReading);
    tester.TestMask("*.*", kDefaultSearchAttr, "");
    tester.Close();
    if (all_events != nullptr) {
        *all_events = recorder.events;
    }
    return recorder.failures();
}

void remove_tree(const std::string& path) {
    run_command("rm -rf " + shell_quote(path));
}

}  // namespace ferrolo::archive::testing
