// Testing archives: the notices of a test, entries that fail their check, archives written by peers, and
// files that are damaged archives or no archives at all.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "tests/zip/zip_test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace ferrolo::zip::testing {
namespace {

// Offset of the central header of entry `index` in an archive without Zip64 records.
uint64_t central_header(const std::string& bytes, int index) {
    uint64_t offset = le(bytes, end_record_offset(bytes) + 16, 4);
    for (int i = 0; i < index; ++i) {
        offset += 46 + le(bytes, offset + 28, 2) + le(bytes, offset + 30, 2) + le(bytes, offset + 32, 2);
    }
    return offset;
}

TEST(ArchiveTest, NoticesComeInOrderWithDecodedNamesAndAnOverallNoticePerBlockUntilACancelThenTheOverallEnd) {
    TempFolder folder;
    folder.write("data/città.txt", "alpha");  // stored in code page 850
    folder.write("data/empty.txt", "");
    folder.write("data/日本.txt", text_of_size(70'000));  // stored in UTF-8
    folder.make_folder("data/sub");
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder).path;
    const auto notices = [&](const std::function<bool(const Event&)>& cancel_when = {}) {
        return describe(test_archive(archive, cancel_when).events, TZipProcessOperation::poTest);
    };
    // The run counts the overall notices as the files tested: two non-empty files plus two.
    EXPECT_EQ(
        notices(),
        "overall start 0, data/città.txt start 0, data/città.txt process 100, overall process 25, "
        "data/città.txt end 100, data/empty.txt start 0, data/empty.txt end 100, data/日本.txt start 0, "
        "data/日本.txt process 100, overall process 75, data/日本.txt end 100, data/sub/ start 0, "
        "data/sub/ end 100, overall end 100");
    // Cancel stops the test after both notices of the block, and the overall end still comes.
    EXPECT_EQ(notices([](const Event& event) { return event.phase == TZipProgressPhase::ppProcess; }),
              "overall start 0, data/città.txt start 0, data/città.txt process 100, overall process 25, "
              "overall end 100");
    EXPECT_EQ(notices([](const Event&) { return true; }), "overall start 0");

    folder.write("data/日本.txt", text_of_size(3'000'000));  // three blocks of 1 MiB at the run's mode 6
    std::vector<double> overall;
    for (const Event& event : test_archive(pack(zip, folder).path).events) {
        if (event.kind == Event::Kind::OverallProgress && event.phase == TZipProgressPhase::ppProcess) {
            overall.push_back(event.progress);
        }
    }
    EXPECT_EQ(overall, (std::vector<double>{25.0, (2.0 + 1'048'576.0 / 3'000'000.0) / 4.0 * 100.0,
                                            (2.0 + 2'097'152.0 / 3'000'000.0) / 4.0 * 100.0, 75.0}))
        << "entries done plus the fraction of the current one";
}

// Each case damages an archive of three entries. A damaged entry is reported through the failure event and
// the test goes on with the next one; an archive that is not sound fails to open with error 45: never a
// crash, a hang or an allocation without bound.
TEST(DamagedArchives, ADamagedEntryFailsAloneWith8Or55AndAnArchiveThatIsNotSoundFailsToOpenWith45) {
    TempFolder folder;
    for (const auto& [name, size] : {std::pair("a", 5000u), {"b", 50'000u}, {"c", 5000u}}) {
        folder.write("data/" + std::string(name) + ".txt", text_of_size(size));
    }
    TZipArchiver zip{"Zip"};
    const std::string deflated = read_file(pack(zip, folder).path);
    const std::string stored = read_file(pack(zip, folder, {.level = TZipCompressionLevel::clNone}).path);
    const uint64_t end = end_record_offset(deflated), directory = le(deflated, end + 16, 4);
    const uint64_t b = central_header(deflated, 1);      // the second entry's central header
    const auto in_data = [](const std::string& bytes) {  // a byte well inside the second entry's data
        const uint64_t local = le(bytes, central_header(bytes, 1) + 42, 4);
        return local + 130 + le(bytes, local + 26, 2) + le(bytes, local + 28, 2);
    };
    const uint64_t in_deflated = in_data(deflated), in_stored = in_data(stored);
    const auto locator = [](uint64_t at) {
        return le_bytes(0x07064b50, 8) + le_bytes(at, 8) + le_bytes(1, 4);
    };
    const auto zip64_record = [&](uint64_t entries) {
        return le_bytes(0x06064b50, 4) + le_bytes(44, 8) + std::string(12, '\0') + le_bytes(entries, 8) +
               le_bytes(entries, 8) + le_bytes(end - directory, 8) + le_bytes(directory, 8);
    };
    const uint64_t local_b = le(deflated, b + 42, 4);
    std::vector<std::tuple<std::string, std::string, int>> cases = {
        {"empty file", "", 45},
        {"text", "this is not an archive\n", 45},
        {"end record alone, cut", deflated.substr(end, 21), 45},
        {"archive cut short", deflated.substr(0, deflated.size() - 5), 45},
        {"a Zip64 locator pointing nowhere", std::string(deflated).insert(end, locator(0xFFFFFFFFFFF0)), 45},
        {"a Zip64 record claiming 2^60 entries",
         std::string(deflated).insert(end, zip64_record(1ull << 60) + locator(end)), 45},
        {"a Zip64 record counting one entry fewer",
         std::string(deflated).insert(end, zip64_record(2) + locator(end)), 45},
        {"a stray end record appended", deflated + deflated.substr(end), 45},
    };
    const auto damaged = [&](const char* what, std::string bytes, uint64_t at, uint64_t value, size_t width,
                             int code) {
        cases.emplace_back(what, bytes.replace(at, width, le_bytes(value, width)), code);
    };
    damaged("one byte flipped in deflated data", deflated, in_deflated, le(deflated, in_deflated, 1) ^ 0x10,
            1, 8);
    damaged("one byte flipped in stored data", stored, in_stored, le(stored, in_stored, 1) ^ 0x10, 1, 8);
    damaged("Deflate64", deflated, b + 10, 9, 2, 55);
    damaged("bzip2", deflated, b + 10, 12, 2, 8);
    damaged("encrypted", deflated, b + 8, 1, 2, 8);
    damaged("more data than the directory promises", deflated, b + 24, 49'999, 4, 8);
    damaged("less data than the directory promises", deflated, b + 24, 50'001, 4, 8);
    damaged("compressed data cut short", deflated, b + 20, 3, 4, 8);
    damaged("compressed size past the deflate stream's end", deflated, b + 20, le(deflated, b + 20, 4) + 4, 4,
            8);
    damaged("no local header where the directory points", deflated, b + 42, 5, 4, 8);
    damaged("directory offset past the end", deflated, end + 16, 0x7FFFFFFF, 4, 45);
    damaged("directory size past the end record", deflated, end + 12, 0x7FFFFFFF, 4, 45);
    damaged("entry count beyond the directory", deflated, end + 8, 0xFFFEFFFE, 4, 45);
    damaged("one entry more than there are", deflated, end + 8, 0x00040004, 4, 45);
    damaged("one entry fewer than there are", deflated, end + 8, 0x00020002, 4, 45);
    damaged("the local header names another file", deflated, local_b + 30, 'X', 1, 8);
    damaged("the local header's method differs", deflated, local_b + 8, 0, 2, 8);
    damaged("the local header's CRC-32 differs", deflated, local_b + 14, le(deflated, local_b + 14, 4) ^ 1, 4,
            8);
    damaged("directory header signature", deflated, directory, 'X', 1, 45);
    damaged("name length past the directory", deflated, directory + 28, 0xFFFF, 2, 45);
    damaged("Zip64 size without its extra field", deflated, directory + 24, 0xFFFFFFFF, 4, 45);
    damaged("comment length past the end", deflated, end + 20, 100, 2, 45);
    damaged("a volume that does not exist", deflated, end + 4, 0x00010003, 4, 45);
    const std::map<int, std::pair<int, std::string>> errors = {
        {8, {4, "Invalid size or check sum of file or unsupported compression format - Native error: 00008"}},
        {45, {24, "Cannot open archive file. Opening aborted or invalid file - Native error: 00045"}},
        {55, {32, "Deflate64 compression method is not supported - Native error: 00055"}}};
    for (const auto& [what, bytes, code] : cases) {
        SCOPED_TRACE(what);
        write_file(folder / "damaged.zip", bytes);
        const auto expected = std::tuple(code, errors.at(code).first, "ZipTest: " + errors.at(code).second);
        try {
            const TestRun run = test_archive(folder / "damaged.zip");
            // Several workers check entries at once, yet their notices come as one worker's do.
            EXPECT_EQ(describe(test_archive(folder / "damaged.zip", {}, false, 4).events,
                               TZipProcessOperation::poTest),
                      describe(test_archive(folder / "damaged.zip", {}, false, 1).events,
                               TZipProcessOperation::poTest));
            ASSERT_EQ(run.failures.size(), 1u);
            const Event& failure = run.failures[0];
            EXPECT_EQ(std::tuple(failure.name, failure.operation),
                      std::tuple("data/b.txt", TZipProcessOperation::poTest));
            EXPECT_EQ(std::tuple(failure.native_error, failure.error_code, failure.message), expected);
            EXPECT_EQ(file_names(run.events, TZipProgressPhase::ppEnd), words("data/a.txt data/c.txt"));
            EXPECT_EQ(describe({run.events.back()}, TZipProcessOperation::poTest), "overall end 100");
        } catch (const EZipError& error) {
            EXPECT_EQ(std::tuple(error.NativeError(), error.ErrorCode(), std::string(error.what())),
                      expected);
        }
    }
}

// The test trusts nothing it has not read: any damage that unzip, 7-Zip and Python's zipfile all refuse —
// an archive cut short, a field of the end record, of a central or a local header changed, a byte flipped
// anywhere, the directory's count or size off, a stray end record — the test refuses too (error 45 on
// opening, or a failed entry).
TEST(DamagedArchives, WhatEveryPeerRefusesTheTestRefusesToo) {
    TempFolder folder;
    folder.write("data/a.txt", text_of_size(3000));
    folder.write("data/b.txt", std::string(700, 'b'));
    std::filesystem::create_directories(folder / "data/vuota");
    TZipArchiver zip{"Zip"};
    const std::string archive = read_file(pack(zip, folder).path);
    const uint64_t end = end_record_offset(archive), directory = le(archive, end + 16, 4);
    std::vector<std::pair<std::string, std::string>> mutations = {
        {"a stray end record appended", archive + archive.substr(end)},
        {"one entry fewer counted", std::string(archive).replace(end + 8, 4, le_bytes(0x00020002, 4))},
    };
    const uint64_t size = archive.size();
    for (const uint64_t cut : std::vector<uint64_t>{1, 21, 22, 23, 31, end - directory, size / 2}) {
        mutations.emplace_back("cut to " + std::to_string(archive.size() - cut),
                               archive.substr(0, archive.size() - cut));
    }
    // Every 16-bit field of the end record, the first central header and the first local header, raised
    // by one and turned to all ones; and one byte in every 61 flipped.
    for (const auto& [start, length] : {std::pair(end, 22ull), {directory, 46ull}, {0ull, 30ull}}) {
        for (uint64_t at = start + 4; at < start + length; at += 2) {
            for (const uint64_t value : std::vector<uint64_t>{le(archive, at, 2) + 1, 0xFFFF}) {
                mutations.emplace_back("field at " + std::to_string(at) + " = " + std::to_string(value),
                                       std::string(archive).replace(at, 2, le_bytes(value & 0xFFFF, 2)));
            }
        }
    }
    for (uint64_t at = 0; at < archive.size(); at += 61) {
        std::string flipped = archive;
        flipped[at] = static_cast<char>(flipped[at] ^ 0x04);
        mutations.emplace_back("byte " + std::to_string(at) + " flipped", flipped);
    }
    std::string paths;
    for (size_t n = 0; n < mutations.size(); ++n) {
        write_file(folder / ("m" + std::to_string(n) + ".zip"), mutations[n].second);
        paths += " " + shell_quote(folder / ("m" + std::to_string(n) + ".zip"));
    }
    const auto verdicts =
        run_command("/usr/bin/python3 " + shell_quote(FERROLO_ZIP_TEST_DIR "/peer_verdicts.py") + paths)
            .output;
    ASSERT_EQ(verdicts.size(), 2 * mutations.size()) << verdicts;
    size_t refused_by_all = 0;
    for (size_t n = 0; n < mutations.size(); ++n) {
        if (verdicts[2 * n] == '1') {
            continue;
        }
        ++refused_by_all;
        bool refused = true;
        try {
            refused = !test_archive(folder / ("m" + std::to_string(n) + ".zip")).failures.empty();
        } catch (const EZipError&) {
        }
        EXPECT_TRUE(refused) << mutations[n].first << ": every peer refuses it, the test passes it";
    }
    EXPECT_GT(refused_by_all, mutations.size() / 3) << "the damage reaches the peers";
}

// Every input kept for the reader's fuzzer, its seeds and the inputs that once crashed it, goes through the
// fuzzer's own code in every build, so that a fixed crash stays fixed; an exception escaping fails the test.
// The seeds are archives written by the peers (Info-ZIP's zip, also with Zip64 and from a pipe; 7-Zip;
// bsdtar, with data descriptors) and by the engine: each must pass the test.
TEST(DamagedArchives, TheFuzzersSeedsByPeersPassTheTestAndInputsThatOnceCrashedTheReaderAreHandled) {
    EXPECT_FALSE(std::filesystem::is_empty(FERROLO_FUZZ_DIR "/corpus")) << "no seeds";
    for (const std::string kept : {"corpus", "crashes"}) {
        for (const auto& entry : std::filesystem::directory_iterator(FERROLO_FUZZ_DIR "/" + kept)) {
            SCOPED_TRACE(entry.path());
            const std::string bytes = read_file(entry.path());
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            if (kept == "corpus") {
                // Throws when the engine refuses to open one; a lone last volume fails its entry.
                EXPECT_EQ(test_archive(entry.path()).failures.empty(),
                          !entry.path().filename().string().starts_with("split"));
            }
        }
    }
}

}  // namespace
}  // namespace ferrolo::zip::testing
