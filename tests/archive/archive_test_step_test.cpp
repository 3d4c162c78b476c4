#include "archive/archive_test_step.h"

#include <gtest/gtest.h>

#include "tests/archive/run_steps_fixture.h"
#include "tests/support/command.h"

namespace ferrolo::archive {
namespace {

using report::kRuleLine;

class ArchiveTest : public testing::RunStepsTest {
protected:
    // An archive made by Info-ZIP's zip from folder "data" (stored names "data/..."); `options` as zip's.
    void make_archive(const std::string& options) {
        const auto made = testing::run_command("cd " + testing::shell_quote(folder.path()) +
                                               " && zip -q -r " + options + " lun.zip data");
        ASSERT_EQ(made.exit_status, 0) << made.output;
    }

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

    TZipArchiver zip_test{"ZipTest"};
};

TEST_F(ArchiveTest, MissingArchiveWritesItsLineAndNoSummary) {
    Test_Zip(run, zip_test);
    EXPECT_EQ(run_log(),
              (Lines{"", kRuleLine, "Inizio test archivio.", "File: " + job.PARAM_2 + " non trovato !"}));
    EXPECT_EQ(trace(), Lines{"                    Inizio testing: <when>"});
    EXPECT_EQ(display.label(core::Label::l_stato), "Test archivio...");
}

TEST_F(ArchiveTest, SoundArchiveCountsNonEmptyFilesPlusTwoAndListsEveryNotice) {
    folder.write("data/a.txt", "alpha alpha alpha");
    folder.write("data/b.txt", "beta");
    folder.write("data/empty.txt", "");
    make_archive("");
    Test_Zip(run, zip_test);
    EXPECT_EQ(run_log(), logged({}, 2 + 2, 0));
    EXPECT_FALSE(state.Test_Error);
    const auto extended = extended_log();
    EXPECT_EQ(std::count(extended.begin(), extended.end(), "Test: data/a.txt"), 3) << "start, one block, end";
    EXPECT_EQ(std::count(extended.begin(), extended.end(), "Test: data/empty.txt"), 2)
        << "nothing to decompress";
    EXPECT_EQ(std::count(extended.begin(), extended.end(), "Test: data/"), 2) << "the folder entry";
    EXPECT_EQ(display.label(core::Label::l_stato), "Fine test archivio.");
    EXPECT_EQ(display.label(core::Label::l_operation), "test");
    EXPECT_EQ(trace(),
              (Lines{"                    Inizio testing: <when>", "                      Fine test: <when>",
                     "Nessun errore durante il test.", "                        Fine copia: <when>",
                     "                    Inizio testing: <when>",
                     "                        Fine copia: <when>", "Durata test: <when>"}));
}

TEST_F(ArchiveTest, CorruptedEntryIsReportedAndTheTestGoesOnWhileAFileThatIsNoArchiveFailsWithItsReason) {
    folder.write("data/a.txt", "first file, intact");
    folder.write("data/b.txt", "second file, to be damaged");
    folder.write("data/c.txt", "third file, intact too");
    make_archive("-0");
    std::string archive = testing::read_file(job.PARAM_2);
    archive[archive.find("second file")] = 'S';
    testing::write_file(job.PARAM_2, archive);
    const std::string damaged_entry =
        "Errore:ZipTest: Invalid size or check sum of file or unsupported compression format - Native error: "
        "00008 8,4 processando: data/b.txt";
    const std::string no_archive =
        "Errore:ZipTest: Cannot open archive file. Opening aborted or invalid file - Native error: 00045";
    Test_Zip(run, zip_test);
    Lines expected = logged({damaged_entry}, 3 + 2, 1);  // every entry tested
    testing::write_file(job.PARAM_2, std::string(5000, 'x'));
    Test_Zip(run, zip_test);
    const Lines second = logged({no_archive}, 0, 0);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(run_log(), expected);
    EXPECT_TRUE(state.Test_Error);
    const auto traced = trace();
    EXPECT_EQ(std::count(traced.begin(), traced.end(), damaged_entry), 1);
    EXPECT_EQ(std::count(traced.begin(), traced.end(), no_archive), 1);
}

}  // namespace
}  // namespace ferrolo::archive
