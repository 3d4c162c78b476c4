// Archives written by the engine: the fields of each entry, the selection of files, the stored names, what
// happens when a source file fails or the caller cancels, and the notices of a write. pack() has every
// archive checked by the peers, each local header against its central one included.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <map>

#include "tests/support/small_drive.h"
#include "tests/zip/zip_test_support.h"
#include "zip/entry_preparation.h"

namespace ferrolo::zip::testing {
namespace {

const std::string kEmptyArchive = std::string("PK\x05\x06", 4) + std::string(18, '\0');

TEST(WrittenEntries, EachEntryHoldsTheMethodSizesNameEncodingTimeAndAttributesOfItsSource) {
    TempFolder folder;
    const std::string text = folder.write("data/text.txt", text_of_size(3'000'000));  // two blocks at level 9
    folder.write("data/empty.txt", "");
    folder.make_folder("data/empty");
    for (const char* name : {"data/città.txt", "data/raw\xff\xfe.txt", "data/日本.txt"}) {
        folder.write(name, "x");
    }
    for (const char* name : {"data/.dated", "data/1970.txt", "data/2200.txt"}) {
        folder.write(name, name);
    }
    ASSERT_EQ(
        run_command("cd " + shell_quote(folder / "data") +
                    " && touch -d '2021-03-04 05:06:09' .dated && chmod 444 .dated && touch -d @0 1970.txt"
                    " && touch -d @7258118400 2200.txt")
            .exit_status,
        0);
    TZipArchiver zip{"Zip"};
    const Packed packed = pack(zip, folder);
    // Flags, method, external attributes and, where it is the point, the time of each entry.
    const std::map<std::string, std::tuple<int, int, uint64_t, std::string>> expected = {
        {"data/empty.txt", {0, 0, 0x20, ""}},
        {"data/empty/", {2, 0, 0x10, ""}},
        {"data/text.txt", {0, 8, 0x20, ""}},
        {"data/citt\x85.txt", {0, 8, 0x20, ""}},     // à is 0x85 in code page 850
        {"data/raw\xff\xfe.txt", {0, 8, 0x20, ""}},  // not UTF-8: its bytes as they are
        {"data/日本.txt",
         {0x800, 8, 0x20, ""}},  // no place in code page 850: UTF-8 with bit 11, made on NTFS
        {"data/.dated", {0, 8, 0x23, "2021-03-04T05:06:08"}},  // read-only, hidden by its dot; seconds halved
        {"data/1970.txt", {0, 8, 0x20, "1980-01-01T00:00:00"}},  // held within the DOS range
        {"data/2200.txt", {0, 8, 0x20, "2107-12-31T23:59:58"}},
    };
    ASSERT_EQ(packed.entries.size(), expected.size());
    std::pair<uint64_t, uint64_t> deflated;  // where the text's entry starts, its compressed size
    for (const PeerEntry& e : packed.entries) {
        deflated = e.name == "data/text.txt" ? std::pair(e.header_offset, e.compressed_size) : deflated;
        SCOPED_TRACE(e.name);
        ASSERT_TRUE(expected.contains(e.name));
        const auto& [flags, method, attributes, time] = expected.at(e.name);
        EXPECT_EQ(std::tuple(e.flags, e.method, e.external_attributes, e.create_version, e.create_system,
                             e.extract_version, time.empty() ? "" : e.time),
                  e.name == "data/日本.txt" ? std::tuple(flags, method, attributes, 20, 11, 2836, time)
                                            : std::tuple(flags, method, attributes, 20, 0, 20, time));
        EXPECT_TRUE(method != 0 || e.crc + e.size + e.compressed_size == 0) << "stored only when empty";
    }
    // Raw deflate (no zlib header or trailer) follows the local header's 30 bytes and the name, no extra
    // field, and inflates to the source.
    const std::string source = read_file(text);
    std::string raw = bytes_at(packed.path, deflated.first + 30 + 13, deflated.second);
    std::string inflated(source.size() + 1, '\0');
    z_stream stream{};
    inflateInit2(&stream, -15);
    stream.next_in = reinterpret_cast<Bytef*>(raw.data());
    stream.avail_in = static_cast<uInt>(raw.size());
    stream.next_out = reinterpret_cast<Bytef*>(inflated.data());
    stream.avail_out = static_cast<uInt>(inflated.size());
    EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
    inflateEnd(&stream);
    EXPECT_EQ(std::pair(stream.avail_in, inflated.substr(0, stream.total_out)), std::pair(0u, source));
}

TEST(Selection, MasksChooseFilesAndFoldersInSearchOrderButNeverTheArchiveAFifoASocketOrALinkToAFolder) {
    TempFolder folder;
    const std::string names =
        "b.txt a.txt OUT.ZIP.txt noext docs/z.txt docs/z.doc docs/inner/y.txt notes.txt/c.txt";
    for (const std::string& name : words(names, "data/")) {
        folder.write(name, name);
    }
    folder.write("data/locked.txt", "l");
    folder.make_folder("data/empty");
    // A socket's file stays when its program has ended.
    ASSERT_EQ(
        run_command("cd " + shell_quote(folder / "data") +
                    " && chmod 444 locked.txt && mkfifo pipe && ln -s \"$PWD\" loop && ln -s a.txt link.txt"
                    " && python3 -c 'import socket; socket.socket(socket.AF_UNIX).bind(\"sock\")'")
            .exit_status,
        0);
    const std::string files = "OUT.ZIP.txt a.txt b.txt link.txt locked.txt ";
    for (const auto& [mask, expected] : std::vector<std::pair<std::string, std::string>>{
             // Files of a folder before its sub-folders, each folder entry before its contents; "*.*" takes
             // names without a dot; a link to a file is followed.
             {"*.*", files +
                         "noext docs/ docs/z.doc docs/z.txt docs/inner/ docs/inner/y.txt empty/ notes.txt/ "
                         "notes.txt/c.txt"},
             // The file part selects files in every folder, but folder entries only where it matches.
             {"*.txt", files + "docs/z.txt docs/inner/y.txt notes.txt/ notes.txt/c.txt"},
             {"a.txt", "a.txt"}}) {
        TZipArchiver zip{"Zip"};
        EXPECT_EQ(names_of(pack(zip, folder, {.mask = "data/" + mask, .archive = "data/out.zip"}).entries),
                  words(expected, "data/"))
            << mask;
    }
}

TEST(StoredNames, FullPathsAreResolvedWithoutLeadingSlashAndRelativeOnesNeverClimbOutOfTheBaseFolder) {
    TempFolder folder, elsewhere;
    const std::string file = folder.write("data/docs/a.txt", "a"), outside = elsewhere.write("b.txt", "b");
    const auto names_in = [&](TZipStorePathMode mode, const std::string& mask) {
        TZipArchiver zip{"Zip"};
        zip.Options.StorePath = mode;
        return names_of(pack(zip, folder, {.mask = mask}).entries);
    };
    // Several masks in one update, as the run adds its includes.
    EXPECT_EQ(names_in(TZipStorePathMode::spFullPath, "data/./x/../docs//*.txt " + outside),
              (Names{file.substr(1), outside.substr(1)}));
    EXPECT_EQ(names_in(TZipStorePathMode::spRelativePath, "data/docs/*.txt " + outside),
              (Names{"data/docs/a.txt", outside.substr(1)}));
}

TEST(SourceFailures, AVanishedFileIsReported33And12AndTheArchiveKeepsWhatTheAnswerAllows) {
    // The failure handler's answer (none: no handler, as in an unattended run), the entries kept, the
    // failures reported.
    for (const auto& [answer, kept, failed] : std::vector<std::tuple<int, const char*, const char*>>{
             {static_cast<int>(TZipAction::zaIgnore), "a d", "b c"},
             {static_cast<int>(TZipAction::zaAbort), "a", "b"},
             {-1, "a d", ""}}) {
        SCOPED_TRACE(answer);
        TempFolder folder;
        for (const std::string& name : words("a b c d", "data/")) {
            folder.write(name, name);
        }
        const std::string gone = folder / "data/b", fifo = folder / "data/c";
        TZipArchiver zip{"Zip"};
        // b vanishes once queued, as if removed by another program; c becomes a FIFO, never to be opened as a
        // file nor waited on.
        zip.OnStoreFile = [&](TZipArchiver&, std::string&, uint32_t&, std::string&, const std::string& path) {
            if (path == gone || path == fifo) {
                std::filesystem::remove(path);
                EXPECT_TRUE(path == gone || ::mkfifo(path.c_str(), 0644) == 0);
            }
        };
        EventRecorder recorder(zip);
        recorder.failure_answer = static_cast<TZipAction>(answer);
        if (answer < 0) {
            zip.OnProcessFileFailure = nullptr;
        }
        const Packed packed = pack(zip, folder);
        EXPECT_EQ(names_of(packed.entries), words(kept, "data/"));
        Names reported;
        for (const Event& failure : recorder.failures) {
            reported.push_back(failure.name);
            EXPECT_EQ(
                std::tuple(failure.operation, failure.native_error, failure.error_code, failure.message),
                std::tuple(TZipProcessOperation::poAdd, 33, 12,
                           "Zip: Cannot open file \"" + failure.name + "\" - Native error: 00033"));
        }
        EXPECT_EQ(reported, words(failed, folder / "data/"));
        EXPECT_TRUE(answer != static_cast<int>(TZipAction::zaAbort) ||
                    recorder.events.back().phase != TZipProgressPhase::ppEnd)
            << "no overall end after an abort";
    }
}

TEST(SourceFailures, AFileThatGrowsOrShrinksWhileReadIsReported34WithBothSizes) {
    // Large enough to be read block by block between the progress notices.
    constexpr uint64_t kSize = kWholeEntryLimit + 1'000'000;
    for (const uint64_t changed_size : {kSize + 1, kSize - 200'000}) {
        TempFolder folder;
        const std::string path = folder.write("data/log.txt", text_of_size(kSize));
        folder.write("data/z.txt", "z");
        TZipArchiver zip{"Zip"};
        EventRecorder recorder(zip);
        recorder.react = [&, changed = false](const Event& event) mutable {
            if (!changed && event.phase == TZipProgressPhase::ppProcess) {
                changed = true;
                std::filesystem::resize_file(path, changed_size);
            }
            return false;
        };
        EXPECT_EQ(names_of(pack(zip, folder).entries), Names{"data/z.txt"});
        ASSERT_EQ(recorder.failures.size(), 1u);
        EXPECT_EQ(std::tuple(recorder.failures[0].error_code, recorder.failures[0].message),
                  std::tuple(17, "Zip: Invalid compressed size, rfs.size = " + std::to_string(kSize) +
                                     ", count = " + std::to_string(changed_size) + " - Native error: 00034"));
    }
}

TEST(SourceFailures, PathTooLongIsError61AndAFolderThatCannotBeListedIsError33NotASilentGap) {
    TempFolder folder;
    const std::string root = folder.make_folder("data");
    folder.write("data/short.txt", "s");
    const struct TreeRemover {  // std::filesystem cannot remove paths this long
        std::string path;
        ~TreeRemover() { run_command("rm -rf " + shell_quote(path)); }
    } remover{root};
    // 19 folders down to about 3,870 bytes: the deepest can still be listed, what lies in it cannot (4,096
    // bytes or more), and the names stored for the folders stay short enough for the peers. Made one folder
    // at a time, as no path that long can be named.
    const std::string level((3870 - root.size()) / 19 - 1, 'd'), long_file(250, 'f'), long_folder(250, 'g');
    ASSERT_EQ(run_command("cd " + shell_quote(root) + " && python3 -c " +
                          shell_quote("import os\nfor _ in range(19): os.mkdir('" + level + "'); os.chdir('" +
                                      level + "')\nos.mkdir('" + long_folder + "'); open('" + long_file +
                                      "', 'w')"))
                  .exit_status,
              0);
    std::string deep = root;
    for (int i = 0; i < 19; ++i) {
        deep += "/" + level;
    }
    ASSERT_GE(deep.size() + 1 + long_file.size(), 4096u) << "longer than the system takes";
    TZipArchiver zip{"Zip"};
    EventRecorder recorder(zip);
    EXPECT_EQ(pack(zip, folder).entries.front().name, "data/short.txt");
    const auto failures = recorder.failures;
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(std::tuple(failures[0].name, failures[0].native_error, failures[0].error_code),
              std::tuple(deep + "/" + long_folder, 33, 12))
        << "the folder, found while selecting";
    EXPECT_EQ(std::tuple(failures[1].error_code, failures[1].message),
              std::tuple(36, "Zip: File name is too long: \r\n\"" + deep + "/" + long_file +
                                 "\" - Native error: 00061"));
}

TEST(CancelAndAbort, CancelLeavesAValidArchiveOfTheEntriesFinishedBeforeIt) {
    TempFolder folder;
    folder.write("data/a.txt", text_of_size(10'000));
    folder.write("data/b.txt", text_of_size(5'000'000));
    folder.write("data/c.txt", "c");
    TZipArchiver after_first{"Zip"};
    EventRecorder recorder(after_first);
    recorder.react = [first_done = false](const Event& event) mutable {
        first_done = first_done || event.phase == TZipProgressPhase::ppEnd;
        return first_done && event.kind == Event::Kind::OverallProgress;
    };
    const Packed packed = pack(after_first, folder);
    EXPECT_EQ(names_of(packed.entries), Names{"data/a.txt"});
    EXPECT_LT(std::filesystem::file_size(packed.path), 10'000u) << "the dropped entry's data is cut away";
    EXPECT_NE(recorder.events.back().phase, TZipProgressPhase::ppEnd) << "no overall end after a cancel";

    TZipArchiver at_start{"Zip"};
    EventRecorder start_recorder(at_start);
    start_recorder.react = [](const Event&) { return true; };
    EXPECT_EQ(read_file(pack(at_start, folder).path), kEmptyArchive);
    EXPECT_EQ(start_recorder.events.size(), 1u) << "the overall start only";
}

TEST(Progress, AddingFiresStartOneNoticePerBlockOfTheModeAndEndWithExactValuesInOrder) {
    TempFolder folder;
    folder.write("data/a.txt", text_of_size(1000));
    folder.write("data/b.txt", text_of_size(3000));
    folder.make_folder("data/sub");
    TZipArchiver zip{"Zip"};
    EventRecorder recorder(zip);
    pack(zip, folder);
    EXPECT_EQ(
        describe(recorder.events, TZipProcessOperation::poAdd, folder.path() + "data/"),
        "overall start 0, a.txt start 0, a.txt process 100, overall process 25, a.txt end 100, b.txt start "
        "0, b.txt process 100, overall process 100, b.txt end 100, sub start 0, sub end 100, overall end "
        "100");
    // Each level's deflate mode, and one notice per block of the mode: 1.5 MiB at 9, 0.5 MiB at 1, 1 MiB at 6
    // and when stored.
    folder.write("data/big.txt", text_of_size(4'000'000));
    for (const auto& [level, mode_and_blocks] :
         std::map<TZipCompressionLevel, std::string>{{TZipCompressionLevel::clMax, "9 3"},
                                                     {TZipCompressionLevel::clNormal, "6 4"},
                                                     {TZipCompressionLevel::clFastest, "1 8"},
                                                     {TZipCompressionLevel::clNone, "0 4"}}) {
        TZipArchiver by_level{"Zip"};
        EventRecorder notices(by_level);
        pack(by_level, folder, {.mask = "data/big.txt", .level = level});
        EXPECT_EQ(std::to_string(by_level.CompressionMode()) + " " +
                      std::to_string(file_names(notices.events, TZipProgressPhase::ppProcess).size()),
                  mode_and_blocks);
    }
}

TEST(Updates, OpenRaisesItsErrorsWithNameTextFileAndFiveDigitCodeAndAnArchiveWithoutEntriesIsTheEndRecord) {
    TempFolder folder;
    TZipArchiver zip{"Zip"};
    // The public number, then the message, as the run logs them.
    const auto error_of = [&](const std::string& name, uint16_t mode) {
        zip.FileName = name;
        try {
            zip.Open(mode);
        } catch (const EZipError& error) {
            return std::to_string(error.ErrorCode()) + " " + error.what();
        }
        return std::string("opened");
    };
    EXPECT_EQ(error_of(folder.path(), kCreateArchive),
              "5 Zip: File name is blank. Specify appropriate file name - Native error: 00010");
    EXPECT_EQ(error_of(folder / "missing.zip", kOpenForReading),
              "6 Zip: File \"" + folder / "missing.zip" + "\" not found - Native error: 00012");
    EXPECT_EQ(error_of(folder / "no/out.zip", kCreateArchive),
              "12 Zip: Cannot open file \"" + folder / "no/out.zip" + "\" - Native error: 00033");
    EXPECT_EQ(error_of(folder / "out.zip", kCreateArchive), "opened");
    zip.Close();
    EXPECT_EQ(read_file(zip.FileName), kEmptyArchive);
}

TEST(Updates, AppendingWithZip64DropsTheExtraFieldsOfAnotherToolThatNoLongerFitBesideIt) {
    TempFolder folder;
    folder.write("data/new.txt", "new");
    const std::string archive = folder / "old.zip";
    // An entry whose extra field (ID 0xCAFE) takes 65,530 of the 65,535 bytes its length can count.
    const std::string script =
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w') as archive:\n"
        "    info = zipfile.ZipInfo('old.txt')\n"
        "    info.extra = b'\\xfe\\xca\\xf6\\xff' + bytes(65526)\n"
        "    archive.writestr(info, 'old')\n";
    ASSERT_EQ(run_command("python3 -c " + shell_quote(script) + " " + shell_quote(archive)).exit_status, 0);
    TZipArchiver zip{"Zip"};
    zip.FileName = archive;
    zip.BaseDir = folder.path();
    zip.Zip64Mode = TZip64Mode::zmAlways;
    zip.Open(kOpenForReadWrite);
    zip.AddMask("data/new.txt", kDefaultSearchAttr, "");
    zip.Close();
    EXPECT_EQ(file_names(test_archive(archive).events, TZipProgressPhase::ppEnd),
              words("old.txt data/new.txt"));
    const auto unzip = run_command("unzip -t " + shell_quote(archive));
    EXPECT_EQ(unzip.exit_status, 0) << unzip.output;
}

TEST(Updates, AnArchiveThatCannotBeFinishedFailsItsCloseOnceAndTheNextOpenWorks) {
    const ::ferrolo::testing::SmallDrive drive("64k");
    if (!drive.mounted()) {
        GTEST_SKIP() << "mounting a tmpfs needs root";
    }
    run_command("cat /dev/zero > " + shell_quote(drive.path() + "ballast"));  // fails once the drive is full
    TZipArchiver zip{"Zip"};
    zip.FileName = drive.path() + "out.zip";
    zip.Open(kCreateArchive);
    try {
        zip.Close();
        ADD_FAILURE() << "the end record found room on a full drive";
    } catch (const EZipError& error) {
        EXPECT_EQ(error.NativeError(), 46);
    }
    EXPECT_FALSE(zip.IsOpen());
    TempFolder folder;
    zip.FileName = folder / "next.zip";
    zip.Open(kCreateArchive);
    zip.Close();
    EXPECT_EQ(read_file(zip.FileName), kEmptyArchive);
}

// Files up to 8 MiB are compressed whole, larger ones in blocks side by side: neither way depends on the
// number of workers or their timing, and peers read both.
TEST(Workers, OneWorkerAndSeveralPackTheSameTreeIntoTheSameBytes) {
    TempFolder folder;
    folder.write("data/large.txt", text_of_size(20'000'000) + std::string(3'000'000, 'x'));
    for (int i = 0; i < 40; ++i) {
        folder.write("data/small/" + std::to_string(i) + ".txt", text_of_size(static_cast<size_t>(i) * 999));
    }
    std::vector<std::string> archives;
    for (const unsigned workers : {1u, 4u}) {
        TZipArchiver zip{"Zip"};
        zip.WorkerThreads = workers;
        archives.push_back(read_file(pack(zip, folder, {.archive = std::to_string(workers) + ".zip"}).path));
    }
    EXPECT_TRUE(archives[0] == archives[1]) << "the archives differ";
}

}  // namespace
}  // namespace ferrolo::zip::testing
