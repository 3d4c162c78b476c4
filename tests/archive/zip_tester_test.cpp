// Testing archives: the notices of a test, entries that fail their check, and archives that are damaged
// or are no archives at all.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "archive/zip_archiver.h"
#include "tests/archive/zip_test_support.h"
#include "tests/support/command.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::archive::testing {
namespace {

using ::ferrolo::testing::read_file;
using ::ferrolo::testing::run_command;
using ::ferrolo::testing::shell_quote;
using ::ferrolo::testing::TempFolder;
using ::ferrolo::testing::write_file;

std::string compressible(size_t size) {
    std::string text;
    for (size_t i = 0; text.size() < size; ++i) {
        text += "record " + std::to_string(i * 104729 % 1000003) + ";";
    }
    text.resize(size);
    return text;
}

void put_u16(std::string& bytes, uint64_t offset, uint16_t value) {
    bytes[offset] = static_cast<char>(value & 0xFF);
    bytes[offset + 1] = static_cast<char>(value >> 8);
}

void put_u32(std::string& bytes, uint64_t offset, uint32_t value) {
    put_u16(bytes, offset, static_cast<uint16_t>(value & 0xFFFF));
    put_u16(bytes, offset + 2, static_cast<uint16_t>(value >> 16));
}

// Offsets of the central headers of an archive without Zip64 records.
std::vector<uint64_t> central_headers(const std::string& bytes) {
    const uint64_t end = end_record_offset(bytes);
    std::vector<uint64_t> offsets;
    uint64_t offset = u32_at(bytes, end + 16);
    for (int i = 0; i < u16_at(bytes, end + 10); ++i) {
        offsets.push_back(offset);
        offset += 46 + u16_at(bytes, offset + 28) + u16_at(bytes, offset + 30) + u16_at(bytes, offset + 32);
    }
    return offsets;
}

struct TestRun {
    std::vector<Event> events;
    std::vector<Event> failures;
};

TestRun run_test(const std::string& archive,
                 const std::function<void(TZipArchiver&, EventRecorder&)>& set_up = {},
                 const std::string& mask = "*.*", const std::string& exclusion = "") {
    TZipArchiver tester{"ZipTest"};
    EventRecorder recorder(tester);
    tester.FileName = archive;
    tester.SetCompressionLevel(TZipCompressionLevel::clNormal);
    if (set_up) {
        set_up(tester, recorder);
    }
    tester.Open(kOpenForReading);
    tester.TestMask(mask, kDefaultSearchAttr, exclusion);
    tester.Close();
    return {recorder.events, recorder.failures()};
}

std::vector<std::string> describe(const std::vector<Event>& events) {
    std::vector<std::string> lines;
    for (const Event& event : events) {
        EXPECT_EQ(event.operation, TZipProcessOperation::poTest);
        const char* phase = event.phase == TZipProgressPhase::ppStart     ? "start"
                            : event.phase == TZipProgressPhase::ppProcess ? "process"
                                                                          : "end";
        switch (event.kind) {
            case Event::Kind::OverallProgress:
                lines.push_back("overall " + std::string(phase) + " " + std::to_string(event.progress));
                break;
            case Event::Kind::FileProgress:
                lines.push_back(event.name + " " + phase + " " + std::to_string(event.progress));
                break;
            case Event::Kind::Failure:
                lines.push_back("failure " + event.name + " " + std::to_string(event.native_error));
                break;
            default:
                lines.push_back("other");
        }
    }
    return lines;
}

TEST(ArchiveTest, SmallFilesGiveOneOverallNoticePerNonEmptyFilePlusTwo) {
    TempFolder folder;
    folder.write("data/a.txt", "alpha");
    folder.write("data/b.txt", compressible(70'000));
    folder.write("data/c.txt", "");
    folder.make_folder("data/sub");
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, "data/*.*");
    const TestRun run = run_test(archive);
    EXPECT_TRUE(run.failures.empty());
    EXPECT_EQ(describe(run.events),
              (std::vector<std::string>{
                  "overall start 0.000000", "data/a.txt start 0.000000", "data/a.txt process 100.000000",
                  "overall process 25.000000", "data/a.txt end 100.000000", "data/b.txt start 0.000000",
                  "data/b.txt process 100.000000", "overall process 50.000000", "data/b.txt end 100.000000",
                  "data/c.txt start 0.000000", "data/c.txt end 100.000000", "data/sub/ start 0.000000",
                  "data/sub/ end 100.000000", "overall end 100.000000"}));
    EXPECT_EQ(std::count_if(run.events.begin(), run.events.end(),
                            [](const Event& event) { return event.kind == Event::Kind::OverallProgress; }),
              2 + 2)
        << "Files_Tested counts the overall notices: two non-empty files plus two";
}

TEST(ArchiveTest, OverallProgressIsEntriesDonePlusTheFractionOfTheCurrentOne) {
    TempFolder folder;
    folder.write("data/a.txt", "a");
    folder.write("data/big.txt", compressible(3'000'000));
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, "data/*.*");
    std::vector<double> overall;
    for (const Event& event : run_test(archive).events) {
        if (event.kind == Event::Kind::OverallProgress && event.phase == TZipProgressPhase::ppProcess) {
            overall.push_back(event.progress);
        }
    }
    ASSERT_EQ(overall.size(), 4u) << "one block for a.txt, three blocks of 1 MiB for big.txt at mode 6";
    EXPECT_DOUBLE_EQ(overall[0], 50.0);
    EXPECT_DOUBLE_EQ(overall[1], (1.0 + 1'048'576.0 / 3'000'000.0) / 2.0 * 100.0);
    EXPECT_DOUBLE_EQ(overall[2], (1.0 + 2'097'152.0 / 3'000'000.0) / 2.0 * 100.0);
    EXPECT_DOUBLE_EQ(overall[3], 100.0);
}

TEST(ArchiveTest, CorruptedEntryIsReportedWithCode8AndPublic4AndTheTestGoesOn) {
    for (const auto level : {TZipCompressionLevel::clMax, TZipCompressionLevel::clNone}) {
        SCOPED_TRACE(level == TZipCompressionLevel::clMax ? "deflated" : "stored");
        TempFolder folder;
        folder.write("data/a.txt", compressible(5000));
        folder.write("data/b.txt", compressible(50'000));
        folder.write("data/c.txt", compressible(5000));
        TZipArchiver zip{"Zip"};
        set_up_like_backup(zip, folder, "out.zip");
        zip.Open(kCreateArchive);
        zip.SetCompressionLevel(level);
        zip.AddMask("data/*.*", kDefaultSearchAttr, "");
        zip.Close();
        std::string bytes = read_file(zip.FileName);
        const uint64_t second = u32_at(bytes, central_headers(bytes)[1] + 42);
        const uint64_t data = second + 30 + u16_at(bytes, second + 26) + u16_at(bytes, second + 28);
        bytes[data + 100] = static_cast<char>(bytes[data + 100] ^ 0x10);
        write_file(zip.FileName, bytes);

        const TestRun run = run_test(zip.FileName);
        ASSERT_EQ(run.failures.size(), 1u);
        EXPECT_EQ(run.failures[0].name, "data/b.txt");
        EXPECT_EQ(run.failures[0].operation, TZipProcessOperation::poTest);
        EXPECT_EQ(run.failures[0].native_error, 8);
        EXPECT_EQ(run.failures[0].error_code, 4);
        EXPECT_EQ(run.failures[0].message,
                  "ZipTest: Invalid size or check sum of file or unsupported compression format - Native "
                  "error: 00008");
        std::vector<std::string> ended;
        for (const Event& event : run.events) {
            if (event.kind == Event::Kind::FileProgress && event.phase == TZipProgressPhase::ppEnd) {
                ended.push_back(event.name);
            }
        }
        EXPECT_EQ(ended, (std::vector<std::string>{"data/a.txt", "data/c.txt"}))
            << "the test goes on after it";
        EXPECT_EQ(describe({run.events.back()}), (std::vector<std::string>{"overall end 100.000000"}));
    }
}

TEST(ArchiveTest, Deflate64IsReported55AndOtherMethodsOrEncryptionAre8) {
    TempFolder folder;
    folder.write("data/a.txt", compressible(1000));
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, "data/*.*");
    const std::string original = read_file(archive);
    const uint64_t central = central_headers(original)[0];
    const auto failure_after = [&](const std::function<void(std::string&)>& damage) {
        std::string bytes = original;
        damage(bytes);
        write_file(archive, bytes);
        const TestRun run = run_test(archive);
        return run.failures.size() == 1 ? run.failures[0] : Event{};
    };
    const Event deflate64 = failure_after([&](std::string& bytes) {
        put_u16(bytes, 8, 9);
        put_u16(bytes, central + 10, 9);
    });
    EXPECT_EQ(deflate64.native_error, 55);
    EXPECT_EQ(deflate64.error_code, 32);
    EXPECT_EQ(deflate64.message,
              "ZipTest: Deflate64 compression method is not supported - Native error: 00055");
    EXPECT_EQ(failure_after([&](std::string& bytes) { put_u16(bytes, central + 10, 12); }).native_error, 8)
        << "bzip2 is not supported either";
    EXPECT_EQ(failure_after([&](std::string& bytes) { put_u16(bytes, central + 8, 1); }).native_error, 8)
        << "an encrypted entry cannot be checked";
    EXPECT_EQ(failure_after([&](std::string& bytes) { put_u32(bytes, central + 24, 999); }).native_error, 8)
        << "more data than the directory promises";
    EXPECT_EQ(failure_after([&](std::string& bytes) { put_u32(bytes, central + 24, 5000); }).native_error, 8)
        << "less data than the directory promises";
    EXPECT_EQ(failure_after([&](std::string& bytes) { put_u32(bytes, central + 42, 5); }).native_error, 8)
        << "no local header where the directory points";
    EXPECT_EQ(failure_after([&](std::string& bytes) { put_u32(bytes, central + 20, 3); }).native_error, 8)
        << "compressed data cut short";
}

TEST(ArchiveTest, AbortStopsTheTestAndTheOverallEndStillComes) {
    TempFolder folder;
    folder.write("data/a.txt", compressible(5000));
    folder.write("data/b.txt", compressible(5000));
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, "data/*.*");
    std::string bytes = read_file(archive);
    put_u32(bytes, central_headers(bytes)[0] + 16, 12345);  // a wrong CRC for a.txt
    write_file(archive, bytes);
    const TestRun run = run_test(archive, [](TZipArchiver&, EventRecorder& recorder) {
        recorder.failure_answer = TZipAction::zaAbort;
    });
    EXPECT_EQ(describe(run.events),
              (std::vector<std::string>{"overall start 0.000000", "data/a.txt start 0.000000",
                                        "data/a.txt process 100.000000", "overall process 50.000000",
                                        "failure data/a.txt 8", "overall end 100.000000"}));
}

TEST(ArchiveTest, CancelEndsTheTestAfterTheBlockWithTheEndNoticeUnlessSetAtTheStart) {
    TempFolder folder;
    folder.write("data/a.txt", "a");
    folder.write("data/b.txt", "b");
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, "data/*.*");
    const TestRun midway = run_test(archive, [](TZipArchiver&, EventRecorder& recorder) {
        recorder.cancel_when = [](const Event& event) { return event.phase == TZipProgressPhase::ppProcess; };
    });
    EXPECT_EQ(describe(midway.events),
              (std::vector<std::string>{"overall start 0.000000", "data/a.txt start 0.000000",
                                        "data/a.txt process 100.000000", "overall process 50.000000",
                                        "overall end 100.000000"}))
        << "both notices of the block come before the test stops";
    const TestRun at_start = run_test(archive, [](TZipArchiver&, EventRecorder& recorder) {
        recorder.cancel_when = [](const Event&) { return true; };
    });
    EXPECT_EQ(describe(at_start.events), (std::vector<std::string>{"overall start 0.000000"}));
}

TEST(ArchiveTest, NamesAreShownDecodedAndTheMaskMatchesThemWithoutRegardToCase) {
    TempFolder folder;
    folder.write("data/città.txt", "x");
    folder.write("data/日本.TXT", "y");
    folder.write("data/skip.txt", "z");
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, "data/*.*");
    std::vector<std::string> started;
    for (const Event& event : run_test(archive, {}, "DATA/*.txt", "*skip*").events) {
        if (event.kind == Event::Kind::FileProgress && event.phase == TZipProgressPhase::ppStart) {
            started.push_back(event.name);
        }
    }
    EXPECT_EQ(started, (std::vector<std::string>{"data/città.txt", "data/日本.TXT"}));
}

TEST(ArchiveTest, ArchivesWrittenByPeersPassTheTest) {
    TempFolder folder;
    folder.write("src/a.txt", compressible(100'000));
    folder.write("src/sub/b.bin", std::string(1000, '\0'));
    folder.write("src/sub/c.txt", "");
    const std::string source = folder / "src";
    const std::vector<std::string> commands = {
        "cd " + shell_quote(folder.path()) + " && zip -qr info-zip.zip src",
        "cd " + shell_quote(folder.path()) + " && zip -qr -fz info-zip64.zip src",
        "cd " + shell_quote(folder.path()) + " && 7z a -bd -tzip 7zip.zip src > /dev/null",
        "cd " + shell_quote(folder.path()) + " && bsdtar -a -cf bsdtar.zip src",
        "cd " + shell_quote(folder.path()) + " && cat src/a.txt | zip -q piped.zip -",
    };
    for (const std::string& command : commands) {
        SCOPED_TRACE(command);
        const auto made = run_command(command);
        ASSERT_EQ(made.exit_status, 0) << made.output;
    }
    for (const char* name : {"info-zip.zip", "info-zip64.zip", "7zip.zip", "bsdtar.zip", "piped.zip"}) {
        SCOPED_TRACE(name);
        const TestRun run = run_test(folder / name);
        EXPECT_TRUE(run.failures.empty());
        EXPECT_GE(std::count_if(run.events.begin(), run.events.end(),
                                [](const Event& event) { return event.phase == TZipProgressPhase::ppEnd; }),
                  2);
    }
}

// Open for reading must reject every one of these with error 45: never crash, hang or allocate without
// bound.
TEST(DamagedArchives, OpeningAFileThatIsNoSoundArchiveRaises45) {
    TempFolder folder;
    folder.write("data/a.txt", compressible(3000));
    folder.write("data/b.txt", compressible(3000));
    TZipArchiver zip{"Zip"};
    const std::string good = read_file(pack(zip, folder, "data/*.*"));
    const uint64_t end = end_record_offset(good);
    const uint64_t directory = u32_at(good, end + 16);

    std::mt19937 random(7);
    std::string noise(100'000, '\0');
    for (char& c : noise) {
        c = static_cast<char>(random());
    }
    std::vector<std::pair<std::string, std::string>> cases = {
        {"empty file", ""},
        {"text", "this is not an archive\n"},
        {"noise", noise},
        {"end record alone, cut", good.substr(end, 21)},
        {"archive cut short", good.substr(0, good.size() - 5)},
    };
    const auto damaged = [&](const std::string& what, const std::function<void(std::string&)>& damage) {
        std::string bytes = good;
        damage(bytes);
        cases.emplace_back(what, bytes);
    };
    damaged("directory offset past the end", [&](std::string& b) { put_u32(b, end + 16, 0x7FFFFFFF); });
    damaged("directory size past the end record", [&](std::string& b) { put_u32(b, end + 12, 0x7FFFFFFF); });
    damaged("entry count beyond the directory", [&](std::string& b) {
        put_u16(b, end + 8, 0xFFFE);
        put_u16(b, end + 10, 0xFFFE);
    });
    damaged("one entry more than there are", [&](std::string& b) {
        put_u16(b, end + 8, 3);
        put_u16(b, end + 10, 3);
    });
    damaged("directory header signature", [&](std::string& b) { b[directory] = 'X'; });
    damaged("name length past the directory", [&](std::string& b) { put_u16(b, directory + 28, 0xFFFF); });
    damaged("Zip64 size without its extra field",
            [&](std::string& b) { put_u32(b, directory + 24, 0xFFFFFFFF); });
    damaged("comment length past the end", [&](std::string& b) { put_u16(b, end + 20, 100); });
    damaged("a volume that does not exist", [&](std::string& b) {
        put_u16(b, end + 4, 3);
        put_u16(b, end + 6, 1);
    });
    damaged("a Zip64 locator pointing nowhere", [&](std::string& b) {
        std::string locator(20, '\0');
        put_u32(locator, 0, 0x07064b50);
        put_u32(locator, 8, 0xFFFFFFF0);
        put_u32(locator, 12, 0xFFFF);
        put_u32(locator, 16, 1);
        b.insert(end, locator);
    });
    damaged("a Zip64 record claiming 2^60 entries", [&](std::string& b) {
        std::string zip64(56, '\0');
        put_u32(zip64, 0, 0x06064b50);
        zip64[4] = 44;
        zip64[32 + 7] = 0x10;  // total entries
        zip64[24 + 7] = 0x10;  // entries on this disk
        put_u32(zip64, 40, static_cast<uint32_t>(end - directory));
        put_u32(zip64, 48, static_cast<uint32_t>(directory));
        std::string locator(20, '\0');
        put_u32(locator, 0, 0x07064b50);
        put_u32(locator, 8, static_cast<uint32_t>(end));
        put_u32(locator, 16, 1);
        b.insert(end, zip64 + locator);
    });

    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        const std::string path = folder / "damaged.zip";
        write_file(path, bytes);
        TZipArchiver tester{"ZipTest"};
        tester.FileName = path;
        try {
            tester.Open(kOpenForReading);
            ADD_FAILURE() << "opened";
        } catch (const EZipError& error) {
            EXPECT_EQ(error.NativeError(), 45);
            EXPECT_EQ(error.ErrorCode(), 24);
            EXPECT_STREQ(
                error.what(),
                "ZipTest: Cannot open archive file. Opening aborted or invalid file - Native error: 00045");
        }
        EXPECT_FALSE(tester.IsOpen());
    }
}

}  // namespace
}  // namespace ferrolo::archive::testing
