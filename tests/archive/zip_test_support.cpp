#include "tests/archive/zip_test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ferrolo::archive::testing {

using ::ferrolo::testing::run_command;
using ::ferrolo::testing::shell_quote;

Names words(const std::string& text, const std::string& prefix) {
    Names found;
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        found.push_back(prefix + word);
    }
    return found;
}

std::vector<PeerEntry> check_with_peers(const std::string& archive) {
    const auto python =
        run_command("/usr/bin/python3 " + shell_quote(FERROLO_ARCHIVE_TEST_DIR "/peer_zipfile.py") + " " +
                    shell_quote(archive));
    EXPECT_EQ(python.exit_status, 0) << "Python's zipfile rejects " << archive << ":\n" << python.output;
    std::vector<PeerEntry> entries;
    std::istringstream lines(python.exit_status == 0 ? python.output : "");
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        std::string hex[2];  // the name's, the extra field's (none when it is empty)
        PeerEntry& e = entries.emplace_back();
        in >> hex[0] >> e.flags >> e.create_version >> e.create_system >> e.extract_version >>
            e.external_attributes >> e.method >> e.crc >> e.compressed_size >> e.size >> e.header_offset >>
            e.dos_time >> e.time;
        EXPECT_FALSE(in.fail()) << "unexpected line from zipfile: " << line;
        in >> hex[1];
        for (size_t i = 0; i + 1 < hex[0].size() + hex[1].size(); i += 2) {
            (i < hex[0].size() ? e.name : e.extra) +=
                static_cast<char>(std::stoi((hex[0] + hex[1]).substr(i, 2), nullptr, 16));
        }
    }
    const auto unzip = run_command("unzip -t " + shell_quote(archive));
    const bool empty = entries.empty() && unzip.output.find("zipfile is empty") != std::string::npos;
    EXPECT_TRUE(empty ||
                (unzip.exit_status == 0 && unzip.output.find("No errors detected") != std::string::npos))
        << "unzip -t rejects " << archive << ":\n"
        << unzip.output;
    const auto seven_zip = run_command("7z t -bd " + shell_quote(archive));
    EXPECT_TRUE(seven_zip.exit_status == 0 &&
                seven_zip.output.find("Everything is Ok") != std::string::npos &&
                seven_zip.output.find("arning") == std::string::npos &&
                seven_zip.output.find("ARNING") == std::string::npos)
        << "7z t rejects " << archive << ":\n"
        << seven_zip.output;
    // Each local header is rewritten once its entry's data is known: it must end as the directory says.
    for (const PeerEntry& e : entries) {
        const std::string fixed = bytes_at(archive, e.header_offset, 30);
        const LocalHeader h =
            local_header_at(bytes_at(archive, e.header_offset, 30 + le(fixed, 26, 2) + le(fixed, 28, 2)), 0);
        EXPECT_EQ(std::tuple(h.signature, h.name, h.version_needed, h.flags, h.method, h.dos_time, h.crc,
                             h.compressed_size, h.size),
                  std::tuple(0x04034b50u, e.name, e.extract_version, e.flags, e.method, e.dos_time, e.crc,
                             e.compressed_size, e.size))
            << "local header of " << e.name;
    }
    return entries;
}

Names names_of(const std::vector<PeerEntry>& entries) {
    Names names;
    for (const PeerEntry& entry : entries) {
        names.push_back(entry.name);
    }
    return names;
}

uint64_t le(const std::string& bytes, uint64_t offset, size_t width) {
    EXPECT_LE(offset + width, bytes.size()) << "read past the end";
    uint64_t value = 0;
    for (size_t i = width; i-- > 0;) {
        value = value << 8 | static_cast<uint8_t>(offset + i < bytes.size() ? bytes[offset + i] : 0);
    }
    return value;
}

std::string le_bytes(uint64_t value, size_t width) {
    std::string bytes;
    for (size_t i = 0; i < width; ++i) {
        bytes += static_cast<char>(value >> (8 * i));
    }
    return bytes;
}

void put_le(std::string& bytes, uint64_t offset, uint64_t value, size_t width) {
    bytes.replace(offset, width, le_bytes(value, width));
}

std::string bytes_at(const std::string& path, uint64_t offset, uint64_t count) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::string bytes(count, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    return bytes.substr(0, static_cast<size_t>(in.gcount()));
}

uint64_t end_record_offset(const std::string& bytes) {
    const size_t found = bytes.rfind(std::string("PK\x05\x06", 4));
    EXPECT_NE(found, std::string::npos) << "no end record";
    return found == std::string::npos ? 0 : found;
}

LocalHeader local_header_at(const std::string& bytes, uint64_t at) {
    LocalHeader h{le(bytes, at, 4),      le(bytes, at + 4, 2),  le(bytes, at + 6, 2),  le(bytes, at + 8, 2),
                  le(bytes, at + 10, 4), le(bytes, at + 14, 4), le(bytes, at + 18, 4), le(bytes, at + 22, 4)};
    h.name = bytes.substr(at + 30, le(bytes, at + 26, 2));
    h.extra = bytes.substr(at + 30 + h.name.size(), le(bytes, at + 28, 2));
    if ((h.size == 0xFFFFFFFF || h.compressed_size == 0xFFFFFFFF) && h.extra.size() >= 20 &&
        le(h.extra, 0, 2) == 1) {
        h.size = le(h.extra, 4, 8);
        h.compressed_size = le(h.extra, 12, 8);
    }
    return h;
}

std::string text_of_size(size_t size) {
    std::string text;
    for (size_t i = 0; text.size() < size; ++i) {
        text += "line " + std::to_string(i * 7919 % 10007) + " of the sample text\n";
    }
    return text.substr(0, size);
}

EventRecorder::EventRecorder(TZipArchiver& zip) {
    const auto record = [this](Event event, bool& cancel) {
        events.push_back(std::move(event));
        cancel = (react && react(events.back())) || cancel;
    };
    zip.OnFileProgress = [=](TZipArchiver&, const std::string& name, double progress, TZipProcessOperation op,
                             TZipProgressPhase phase, bool& cancel) {
        record({.name = name, .progress = progress, .operation = op, .phase = phase}, cancel);
    };
    zip.OnOverallProgress = [=](TZipArchiver&, double progress, TZipProcessOperation op,
                                TZipProgressPhase phase, bool& cancel) {
        record({Event::Kind::OverallProgress, "", progress, op, phase}, cancel);
    };
    zip.OnProcessFileFailure = [=, this](TZipArchiver&, const std::string& name, TZipProcessOperation op,
                                         int native_error, int error_code, const std::string& message,
                                         TZipAction& action) {
        EXPECT_EQ(action, TZipAction::zaIgnore) << "the failure event is entered with zaIgnore";
        bool no_cancel = false;
        record({Event::Kind::Failure, name, 0, op, {}, native_error, error_code, message}, no_cancel);
        failures.push_back(events.back());
        action = failure_answer;
    };
    zip.OnDiskFull = [=](TZipArchiver&, int number, std::string& volume, bool& cancel) {
        EXPECT_FALSE(cancel) << "the disk-full event is entered with Cancel false";
        record({.kind = Event::Kind::DiskFull, .name = volume, .native_error = number}, cancel);
    };
}

Names file_names(const std::vector<Event>& events, TZipProgressPhase phase) {
    Names names;
    for (const Event& event : events) {
        if (event.kind == Event::Kind::FileProgress && event.phase == phase) {
            names.push_back(event.name);
        }
    }
    return names;
}

std::string describe(const std::vector<Event>& events, TZipProcessOperation operation,
                     const std::string& strip) {
    std::string text;
    for (const Event& e : events) {
        EXPECT_EQ(e.operation, operation);
        const char* phases[] = {"start", "process", "end"};
        char line[300];
        const std::string name = e.name.starts_with(strip) ? e.name.substr(strip.size()) : e.name;
        if (e.kind == Event::Kind::Failure) {
            std::snprintf(line, sizeof line, "failure %s %d", name.c_str(), e.native_error);
        } else {
            std::snprintf(line, sizeof line, "%s %s %.17g", e.name.empty() ? "overall" : name.c_str(),
                          phases[static_cast<int>(e.phase)], e.progress);
        }
        text += (text.empty() ? "" : ", ") + std::string(line);
    }
    return text;
}

Names volumes_of(const std::string& archive) {
    const std::filesystem::path path(archive);
    Names volumes;
    for (const auto& entry : std::filesystem::directory_iterator(path.parent_path())) {
        if (entry.path().filename().string().starts_with(path.stem().string())) {
            volumes.push_back(entry.path().string());
        }
    }
    std::sort(volumes.begin(), volumes.end());
    std::stable_partition(volumes.begin(), volumes.end(), [&](const std::string& v) { return v != archive; });
    return volumes;
}

Packed pack(TZipArchiver& zip, const TempFolder& folder, const PackOptions& options) {
    zip.FileName = options.archive.starts_with('/') ? options.archive : folder / options.archive;
    zip.BaseDir = folder.path();
    std::filesystem::create_directories(std::filesystem::path(zip.FileName).parent_path());
    if (options.volume_size != 0) {
        zip.SpanningOptions.AdvancedNaming = options.advanced_naming;
        zip.SetSpanningMode(TZipSpanningMode::smSplitting);
        zip.SpanningOptions.VolumeSize =
            options.volume_size < 0 ? TZipVolumeSize::vsAutoDetect : TZipVolumeSize::vsCustom;
        zip.SpanningOptions.SetCustomVolumeSize(options.volume_size);
    }
    zip.Open(kCreateArchive);
    zip.Zip64Mode = TZip64Mode::zmAuto;
    zip.SetCompressionLevel(options.level);
    zip.BeginUpdate();
    for (const std::string& mask : words(options.mask)) {
        zip.AddMask(mask, kDefaultSearchAttr, "");
    }
    zip.EndUpdate();
    zip.Close();
    const Names volumes = options.volume_size != 0 ? volumes_of(zip.FileName) : Names{zip.FileName};
    if (volumes.size() == 1) {
        return {zip.FileName, check_with_peers(zip.FileName)};
    }
    // A set is read by 7-Zip under the names it knows (lun.z01…, then lun.zip), and by libarchive's streaming
    // reader, which checks every CRC-32 across the cuts, over the volumes laid end to end. (Info-ZIP's
    // "zip -s 0" would be the obvious joiner, but the zip 3.0 installed here drops the data in the last
    // volume even of sets it split itself.)
    const TempFolder peer;
    std::string cat = "cat";
    for (size_t i = 0; i < volumes.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, i + 1 < volumes.size() ? "lun.z%02zu" : "lun.zip", i + 1);
        EXPECT_EQ(::symlink(volumes[i].c_str(), (peer / name).c_str()), 0);
        cat += " " + shell_quote(volumes[i]);
    }
    const auto seven_zip = run_command("7z t -bd " + shell_quote(peer / "lun.zip"));
    EXPECT_TRUE(seven_zip.exit_status == 0 &&
                seven_zip.output.find("Everything is Ok") != std::string::npos &&
                seven_zip.output.find("Volumes = " + std::to_string(volumes.size())) != std::string::npos)
        << seven_zip.output;
    const auto streamed = run_command(cat + " | bsdtar -xOf - > /dev/null");
    EXPECT_EQ(streamed.exit_status, 0) << streamed.output;
    return {zip.FileName, {}};
}

TestRun test_archive(const std::string& archive, const std::function<bool(const Event&)>& react) {
    TZipArchiver tester{"ZipTest"};
    EventRecorder recorder(tester);
    recorder.react = react;
    tester.FileName = archive;
    tester.SetCompressionLevel(TZipCompressionLevel::clNormal);
    tester.Open(kOpenForReading);
    tester.TestMask("*.*", kDefaultSearchAttr, "");
    tester.Close();
    return {recorder.events, recorder.failures};
}

}  // namespace ferrolo::archive::testing
