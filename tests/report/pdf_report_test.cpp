// The PDF report of the extended log: its pages as qpdf decodes them, what PDF readers show, its ZIP file.
#include "report/pdf_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "platform/file_system.h"
#include "tests/archive/run_steps_fixture.h"
#include "tests/support/command.h"

namespace ferrolo::report {
namespace {

using testing::read_file, testing::run_command, testing::shell_quote;
using namespace std::string_literals;

class PdfReport : public testing::RunStepsTest {
protected:
    // Writes the extended log and makes its report, which qpdf must accept; returns the report's name.
    std::string report(const std::string& extended_log) {
        testing::write_file(job.PARAM_4, extended_log);
        Genera_File_PDF(run, agent, job.PARAM_4, folder / "ext.PDF");
        const auto check = run_command("qpdf --check " + shell_quote(folder / "ext.PDF"));
        EXPECT_EQ(check.exit_status, 0) << check.output;
        return folder / "ext.PDF";
    }
    std::string agent_log() const { return read_file(folder / "Ferrolo.LOG"); }
};

// The operators of page `page` (from 1) of `pdf`, inflated by qpdf, the time in the title left out.
std::string page_of(const std::string& pdf, int page) {
    const std::string show = "qpdf --filtered-stream-data --show-object=" + std::to_string(2 * page) + " ";
    return std::regex_replace(run_command(show + shell_quote(pdf)).output,
                              std::regex(R"(Report data: \d\d/\d\d/\d{4}-\d\d:\d\d:\d\d\))"),
                              "Report data: T)");
}

std::string text_at(int y, const std::string& text) {
    return "BT\r\n/F5 6 Tf\r\n30 " + std::to_string(y) + " Td\r\n(" + text + ") Tj\r\nET\r\n";
}

TEST_F(PdfReport, PagesHoldOneHundredThirtyFourLinesUnderTheirFrameTitleAndHeader) {
    for (const int lines : {0, 134, 135}) {
        SCOPED_TRACE(std::to_string(lines) + " lines");
        const std::string head =
            "2 928 m\r\n2 3 l\r\n1 w\r\nS\r\n2 3 m\r\n637 3 l\r\n1 w\r\nS\r\n637 3 m\r\n"
            "637 928 l\r\n1 w\r\nS\r\n637 928 m\r\n2 928 l\r\n1 w\r\nS\r\nBT\r\n/F2 16 Tf\r\n200 900 Td\r\n"
            "(Report data: T) Tj\r\nET\r\n" +
            text_at(880, "Subdir from : ") + text_at(874, "Nomefile ZIP: " + job.PARAM_2) +
            text_at(868, "File di log : " + job.PARAM_3);
        std::string extended;
        std::vector<std::string> pages{head};
        for (int line = 1; line <= lines; ++line) {
            extended += "riga " + std::to_string(line) + "\r\n";
            if (line == 135) {
                pages.push_back(head);
            }
            pages.back() += text_at(857 - 6 * ((line - 1) % 134), "riga " + std::to_string(line));
        }
        const std::string pdf = report(extended);
        EXPECT_EQ(run_command("qpdf --show-npages " + shell_quote(pdf)).output,
                  std::to_string(pages.size()) + "\n");
        for (size_t page = 0; page < pages.size(); ++page) {
            EXPECT_EQ(page_of(pdf, static_cast<int>(page + 1)), pages[page]) << "page " << page + 1;
        }
        // The top 4 rows of page 1 as a PGM, a pixel per point: the frame's top side is black.
        const std::string top =
            run_command("pdftoppm -r 72 -gray -singlefile -H 4 " + shell_quote(pdf)).output;
        ASSERT_TRUE(top.starts_with("P5\n640 4\n255\n"));
        EXPECT_GT(std::count(top.begin() + 13, top.end(), '\0'), 600);
    }
}

TEST_F(PdfReport, ReadersShowLogLinesAsWrittenCutToOneHundredSixtyFiveCharactersInWindows1252) {
    const std::string pdf =
        report("Add: C:\\temp\\file (1).txt\r\n) chiusa ( aperta\n" + std::string(100, 'a') +
               std::string(100, 'b') + "\rcaff\u00e8 \u20ac \u65e5 \xff(\n");
    const std::string text = run_command("pdftotext -layout " + shell_quote(pdf) + " -").output;
    for (const std::string& shown :
         {"Add: C:\\temp\\file (1).txt"s, ") chiusa ( aperta"s,
          std::string(79, 'a') + "..." + std::string(83, 'b'), "caff\u00e8 \u20ac ? ?("s}) {
        EXPECT_NE(text.find(shown + "\n"), std::string::npos) << shown << " in\n" << text;
    }
    for (const std::string& message : {"inizia generazione file pdf su: " + pdf, "dati da: " + job.PARAM_4,
                                       "fine generazione file pdf."s}) {
        EXPECT_NE(agent_log().find("|F_Main\\Genera_File_PDF\\" + message + "\r\n"), std::string::npos);
    }
}

TEST_F(PdfReport, AMissingLogGivesNoReportAndRemovesTheEarlierOne) {
    const std::string pdf = folder.write("ext.PDF", "the last run's report");
    Genera_File_PDF(run, agent, folder / "missing.log.txt", pdf);
    EXPECT_FALSE(platform::file_exists(pdf));
    EXPECT_EQ(agent_log().find("Genera_File_PDF"), std::string::npos) << "no message";
}

TEST_F(PdfReport, AReportThatCannotBeWrittenIsAWarningAndLeavesTheStatusInProgress) {
    Genera_File_PDF(run, agent, job.PARAM_4, folder / "missing/ext.PDF");
    EXPECT_NE(agent_log().find("|F_Main\\Genera_File_PDF\\errore generazione file pdf.\r\n"),
              std::string::npos);
    EXPECT_EQ(display.label(core::Label::l_stato), "Generazione report in corso...");
}

TEST_F(PdfReport, TheReportIsPackedIntoTheZipBesideItAndAMissingReportLeavesNoZip) {
    const std::string pdf = report("riga\r\n");
    zip::TZipArchiver Zip_Ext{"Zip_Ext"};
    const std::string zip = Zippo_File_PDF(Zip_Ext, pdf);
    EXPECT_EQ(zip, folder / "ext.ZIP");
    EXPECT_EQ(run_command("unzip -t " + shell_quote(zip)).exit_status, 0);
    EXPECT_EQ(run_command("unzip -p " + shell_quote(zip) + " '*ext.PDF'").output, read_file(pdf))
        << "the report, which stays beside its ZIP";

    platform::remove_file(pdf);
    EXPECT_EQ(Zippo_File_PDF(Zip_Ext, pdf), zip);
    EXPECT_FALSE(platform::file_exists(zip)) << "no archive without the report";
    EXPECT_EQ(report_zip_name("/t.d/log"), "/t.d/log.ZIP") << "a dot in a folder is no extension";
}

}  // namespace
}  // namespace ferrolo::report
