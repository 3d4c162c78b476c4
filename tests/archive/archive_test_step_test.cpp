#include "archive/archive_test_step.h"

#include <gtest/gtest.h>

#include "tests/archive/run_steps_fixture.h"
#include "tests/support/command.h"

namespace ferrolo::archive {
namespace {

using core::kRuleLine;

class ArchiveTest : public testing::RunStepsTest {
protected:
    // What a test that gets to open the archive writes to the run log: its start, `errors` (the error
    // lines), and the summary, which is the same whatever the outcome but for the failure line.
    static Lines logged(const Lines& errors, int64_t tested, int64_t failures) {
        Lines lines = {"", kRuleLine, "Inizio test archivio."};
        lines.insert(lines.end(), errors.begin(), errors.end());
        lines.insert(
            lines.end(),
            {kRuleLine,
             "Stato:", errors.empty() ? "Nessun errore durante il test." : "Errori durante il test !",
             "                    Inizio testing: <when>", "                        Fine copia: <when>",
             "                       Durata test: <when>",
             "               Totale file testati: " + std::to_string(tested),
             "            Totale file con errori: " + std::to_string(failures)});
        if (!errors.empty()) {
            lines.push_back("Errori riscontrati durante il test archivio.");
        }
        lines.insert(lines.end(), {"Fine test archivio.", kRuleLine});
        return lines;
    }

    zip::TZipArchiver zip_test{"ZipTest"};
};

// One archive's life in the same logs: missing, sound, with a damaged entry, then a file that is no archive.
TEST_F(ArchiveTest, CountsTestedEntriesListsEveryNoticeAndReportsADamagedEntryOrNoArchive) {
    Test_Zip(run, zip_test);
    Lines expected = {"", kRuleLine, "Inizio test archivio.", "File: " + job.PARAM_2 + " non trovato !"};
    EXPECT_EQ(run_log(), expected) << "no summary";
    EXPECT_TRUE(state.Test_Error) << "a missing archive is a failed test";
    EXPECT_EQ(trace(), Lines{"                    Inizio testing: <when>"});
    EXPECT_EQ(display.label(core::Label::l_stato), "Test archivio...");

    folder.write("data/a.txt", "first file, intact");
    folder.write("data/b.txt", "second file, to be damaged");
    folder.write("data/empty.txt", "");
    folder.write("data/big.bin", std::string(1'000'000, 'g'));  // many progress notices, one entry
    // Stored, so that a byte of a file can be found and flipped; the damaged file is not the last entry.
    const auto made =
        testing::run_command("cd " + testing::shell_quote(folder.path()) +
                             " && zip -q -0 lun.zip data/ data/b.txt data/a.txt data/empty.txt data/big.bin");
    ASSERT_EQ(made.exit_status, 0) << made.output;
    Test_Zip(run, zip_test);
    EXPECT_FALSE(state.Test_Error);
    const auto extended = extended_log();
    EXPECT_EQ(std::count(extended.begin(), extended.end(), "Test: data/a.txt"), 3) << "start, one block, end";
    EXPECT_EQ(std::count(extended.begin(), extended.end(), "Test: data/empty.txt"), 2)
        << "nothing to decompress";
    EXPECT_EQ(std::count(extended.begin(), extended.end(), "Test: data/"), 2) << "the folder entry";
    EXPECT_EQ(display.label(core::Label::l_stato), "Fine test archivio.");
    EXPECT_EQ(display.label(core::Label::l_operation), "test");
    const Lines sound_trace = trace();
    EXPECT_EQ(Lines(sound_trace.begin() + 1, sound_trace.end()),
              (Lines{"                    Inizio testing: <when>", "                      Fine test: <when>",
                     "Nessun errore durante il test.", "                        Fine copia: <when>",
                     "                    Inizio testing: <when>",
                     "                        Fine copia: <when>", "Durata test: <when>"}));

    std::string archive = testing::read_file(job.PARAM_2);
    archive[archive.find("second file")] = 'S';
    testing::write_file(job.PARAM_2, archive);
    Test_Zip(run, zip_test);
    testing::write_file(job.PARAM_2, std::string(5000, 'x'));
    Test_Zip(run, zip_test);
    const std::string damaged_entry =
        "Errore:ZipTest: Invalid size or check sum of file or unsupported compression format - Native error: "
        "00008 8,4 processando: data/b.txt";
    const std::string no_archive =
        "Errore:ZipTest: Cannot open archive file. Opening aborted or invalid file - Native error: 00045";
    // Every entry is tested, the one after the damaged one too, and counted once.
    for (const Lines& block : {logged({}, 5, 0), logged({damaged_entry}, 5, 1), logged({no_archive}, 0, 0)}) {
        expected.insert(expected.end(), block.begin(), block.end());
    }
    EXPECT_EQ(run_log(), expected);
    EXPECT_TRUE(state.Test_Error);
    const auto traced = trace();
    EXPECT_EQ(std::count(traced.begin(), traced.end(), damaged_entry), 1);
    EXPECT_EQ(std::count(traced.begin(), traced.end(), no_archive), 1);
}

}  // namespace
}  // namespace ferrolo::archive
