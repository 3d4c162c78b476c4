#include "tests/zip/zip_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ferrolo::zip::testing {

Names words(const std::string& text, const std::string& prefix) {
    Names found;
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        found.push_back(prefix + word);
    }
    return found;
}

// Has the peers check the archive of `volumes` (one file, or the volumes of a set in order); returns
// zipfile's entries of an archive in one file.
static std::vector<PeerEntry> check_with_peers(const Names& volumes) {
    std::string command = "/usr/bin/python3 " + shell_quote(FERROLO_ZIP_TEST_DIR "/peer_zipfile.py");
    for (const std::string& volume : volumes) {
        command += " " + shell_quote(volume);
    }
    const auto peers = run_command(command);
    EXPECT_EQ(peers.exit_status, 0) << peers.output;
    std::vector<PeerEntry> entries;
    std::istringstream lines(peers.exit_status == 0 ? peers.output : "");
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        PeerEntry& e = entries.emplace_back();
        in >> e.name >> e.flags >> e.create_version >> e.create_system >> e.extract_version >>
            e.external_attributes >> e.method >> e.crc >> e.compressed_size >> e.size >> e.header_offset >>
            e.time >> e.extra >> e.local_extra;
        EXPECT_FALSE(in.fail()) << "unexpected line from the peers: " << line;
        for (std::string* hex : {&e.name, &e.extra, &e.local_extra}) {  // "x" and the bytes in hex
            std::string bytes;
            for (size_t i = 1; i + 1 < hex->size(); i += 2) {
                bytes += static_cast<char>(std::stoi(hex->substr(i, 2), nullptr, 16));
            }
            *hex = bytes;
        }
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
    Packed packed{zip.FileName, check_with_peers(options.volume_size != 0 ? volumes_of(zip.FileName)
                                                                          : Names{zip.FileName})};
    // The engine's own test, which prefers advanced names, must find the volumes of either scheme.
    EXPECT_TRUE(test_archive(zip.FileName, {}, options.advanced_naming).failures.empty())
        << "the engine's test rejects " << zip.FileName;
    return packed;
}

TestRun test_archive(const std::string& archive, const std::function<bool(const Event&)>& react,
                     bool advanced_naming, unsigned worker_threads) {
    TZipArchiver tester{"ZipTest"};
    tester.WorkerThreads = worker_threads;
    tester.SpanningOptions.AdvancedNaming = advanced_naming;
    EventRecorder recorder(tester);
    recorder.react = react;
    tester.FileName = archive;
    tester.SetCompressionLevel(TZipCompressionLevel::clNormal);
    tester.Open(kOpenForReading);
    tester.TestMask("*.*", kDefaultSearchAttr, "");
    tester.Close();
    return {recorder.events, recorder.failures};
}

}  // namespace ferrolo::zip::testing
