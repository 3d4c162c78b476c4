#include "archive/archive_test_step.h"

#include <gtest/gtest.h>

#include "tests/archive/run_steps_fixture.h"
#include "tests/support/command.h"

namespace ferrolo::archive {
namespace {

using testing::is_stamped;

class ArchiveTest : public testing::RunStepsTest {
protected:
    // An archive made by Info-ZIP's zip from folder "data" (stored names "data/..."); `options` as zip's.
    void make_archive(const std::string& options) {
        const auto made = testing::run_command("cd " + testing::shell_quote(folder.path()) +
                                               " && zip -q -r " + options + " lun.zip data");
        ASSERT_EQ(made.exit_status, 0) << made.output;
    }

    // Checks the summary block, which has the same shape whatever the outcome; returns its first line.
    size_t expect_summary(const std::vector<std::string>& lines, const std::string& status, int64_t tested,
                          int64_t failures) {
        const bool failed = failures > 0 || status != "Nessun errore durante il test.";
        const size_t first = lines.size() - (failed ? 11 : 10);
        EXPECT_EQ(lines[first], report::kRuleLine);
        EXPECT_EQ(lines[first + 1], "Stato:");
        EXPECT_EQ(lines[first + 2], status);
        EXPECT_TRUE(is_stamped(lines[first + 3], "                    Inizio testing: ")) << lines[first + 3];
        EXPECT_TRUE(is_stamped(lines[first + 4], "                        Fine copia: ")) << lines[first + 4];
        EXPECT_EQ(lines[first + 5].substr(0, 36), "                       Durata test: ");
        EXPECT_EQ(lines[first + 6], "               Totale file testati: " + std::to_string(tested));
        EXPECT_EQ(lines[first + 7], "            Totale file con errori: " + std::to_string(failures));
        if (failed) {
            EXPECT_EQ(lines[first + 8], "Errori riscontrati durante il test archivio.");
        }
        EXPECT_EQ(lines[lines.size() - 2], "Fine test archivio.");
        EXPECT_EQ(lines.back(), report::kRuleLine);
        return first;
    }

    TZipArchiver zip_test{"ZipTest"};
};

TEST_F(ArchiveTest, MissingArchiveWritesItsLineAndNoSummary) {
    Test_Zip(run, zip_test);
    EXPECT_EQ(run_log(), (std::vector<std::string>{"", report::kRuleLine, "Inizio test archivio.",
                                                   "File: " + job.PARAM_2 + " non trovato !"}));
    ASSERT_EQ(trace().size(), 1u);
    EXPECT_TRUE(is_stamped(trace()[0], "                    Inizio testing: "));
    EXPECT_EQ(display.label(core::Label::l_stato), "Test archivio...");
}

TEST_F(ArchiveTest, SoundArchiveCountsNonEmptyFilesPlusTwoAndListsEveryNotice) {
    folder.write("data/a.txt", "alpha alpha alpha");
    folder.write("data/b.txt", "beta");
    folder.write("data/empty.txt", "");
    make_archive("");
    Test_Zip(run, zip_test);

    const auto lines = run_log();
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3),
              (std::vector<std::string>{"", report::kRuleLine, "Inizio test archivio."}));
    EXPECT_EQ(expect_summary(lines, "Nessun errore durante il test.", 2 + 2, 0), 3u);
    EXPECT_EQ(state.Files_Tested, 4);
    EXPECT_FALSE(state.Test_Error);
    const auto extended = extended_log();
    EXPECT_EQ(std::count(extended.begin(), extended.end(), "Test: data/a.txt"), 3) << "start, one block, end";
    EXPECT_EQ(std::count(extended.begin(), extended.end(), "Test: data/empty.txt"), 2)
        << "nothing to decompress";
    EXPECT_EQ(std::count(extended.begin(), extended.end(), "Test: data/"), 2) << "the folder entry";
    EXPECT_EQ(display.label(core::Label::l_stato), "Fine test archivio.");
    EXPECT_EQ(display.label(core::Label::l_operation), "test");
    const auto traced = trace();
    EXPECT_EQ(traced[2], "Nessun errore durante il test.");
    EXPECT_EQ(traced.back().substr(0, 13), "Durata test: ");
}

TEST_F(ArchiveTest, CorruptedEntryIsReportedAndTheTestGoesOn) {
    folder.write("data/a.txt", "first file, intact");
    folder.write("data/b.txt", "second file, to be damaged");
    folder.write("data/c.txt", "third file, intact too");
    make_archive("-0");
    std::string archive = testing::read_file(job.PARAM_2);
    const size_t data = archive.find("second file");
    ASSERT_NE(data, std::string::npos);
    archive[data] = 'S';
    testing::write_file(job.PARAM_2, archive);
    Test_Zip(run, zip_test);

    const std::string failure =
        "Errore:ZipTest: Invalid size or check sum of file or unsupported compression "
        "format - Native error: 00008 8,4 processando: data/b.txt";
    const auto lines = run_log();
    expect_summary(lines, "Errori durante il test !", 3 + 2, 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), failure), 1);
    const auto traced = trace();
    EXPECT_EQ(std::count(traced.begin(), traced.end(), failure), 1);
    EXPECT_TRUE(state.Test_Error);
    const auto extended = extended_log();
    EXPECT_EQ(std::count(extended.begin(), extended.end(), "Test: data/c.txt"), 3)
        << "the next entry is tested";
}

TEST_F(ArchiveTest, FileThatIsNoArchiveFailsTheTestWithItsReason) {
    testing::write_file(job.PARAM_2, std::string(5000, 'x'));
    Test_Zip(run, zip_test);
    const auto lines = run_log();
    const size_t summary = expect_summary(lines, "Errori durante il test !", 0, 0);
    EXPECT_EQ(lines[summary - 1].substr(0, 7), "Errore:");
    EXPECT_NE(lines[summary - 1].find("Cannot open archive file"), std::string::npos) << lines[summary - 1];
    EXPECT_TRUE(state.Test_Error);
}

}  // namespace
}  // namespace ferrolo::archive
