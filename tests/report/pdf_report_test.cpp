// The PDF report of the extended log: its pages as drawn, what PDF readers give back, and its ZIP file.
#include "report/pdf_report.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <regex>

#include "platform/file_system.h"
#include "report/run_log.h"
#include "tests/support/command.h"
#include "tests/support/recording_display.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::report {
namespace {

using testing::read_file;
using testing::run_command;
using testing::shell_quote;
using testing::TempFolder;

// `count` lines "riga 1", "riga 2", … each ended by CR LF.
std::string numbered_lines(int count) {
    std::string log;
    for (int n = 1; n <= count; ++n) {
        log += "riga " + std::to_string(n) + "\r\n";
    }
    return log;
}

// A job whose logs lie in a temporary folder, with the window and agent a report step needs.
struct ReportRun {
    ReportRun() {
        job.PARAM_1 = "C:\\dati\\*.*";
        job.PARAM_2 = folder / "notte.zip";
        job.PARAM_3 = folder / "log.txt";
        job.PARAM_4 = folder / "ext.log.txt";
        Agente.Path_Agente = folder.path();
        Agente.FileName = Agente.ApplicationName = "Ferrolo";
        Agente.StartUp();
    }

    // Writes `log` as the extended log and makes its report; returns the report's name.
    std::string report(const std::string& extended_log) {
        folder.write("ext.log.txt", extended_log);
        const std::string pdf = folder / "ext.PDF";
        Genera_File_PDF(context, Agente, job.PARAM_4, pdf);
        return pdf;
    }
    std::string agent_log() const { return read_file(folder / "Ferrolo.LOG"); }

    TempFolder folder;
    core::JobSettings job;
    core::RunState state;
    testing::RecordingDisplay display;
    TAgente Agente;
    RunLog run_log{job, Agente, display};
    core::RunContext context{job, state, display, run_log};
};

// The drawing operators of each page of `pdf`, the report's pages being its deflated streams in order.
std::vector<std::string> pages_of(const std::string& pdf) {
    const std::string bytes = read_file(pdf);
    std::vector<std::string> pages;
    for (size_t start = 0; (start = bytes.find(">>\r\nstream\r\n", start)) != std::string::npos;) {
        start += 12;
        const size_t end = bytes.find("endstream\r\nendobj\r\n", start);
        std::string content(1 << 20, '\0');
        uLongf size = static_cast<uLongf>(content.size());
        EXPECT_EQ(
            uncompress(reinterpret_cast<Bytef*>(content.data()), &size,
                       reinterpret_cast<const Bytef*>(bytes.data() + start), static_cast<uLong>(end - start)),
            Z_OK);
        content.resize(size);
        pages.push_back(content);
    }
    return pages;
}

// The text lines of one page's operators: "x y|text" for each text drawn, in order.
std::vector<std::string> texts_of(const std::string& page) {
    std::vector<std::string> texts;
    const std::regex text(R"((\d+ \d+) Td\r\n\((.*)\) Tj\r\n)");
    for (std::sregex_iterator found(page.begin(), page.end(), text), end; found != end; ++found) {
        texts.push_back((*found)[1].str() + "|" + (*found)[2].str());
    }
    return texts;
}

std::string checked_by_qpdf(const std::string& pdf) {
    const auto check = run_command("qpdf --check " + shell_quote(pdf));
    EXPECT_EQ(check.exit_status, 0) << check.output;
    return pdf;
}

// What pdftotext reads on the page `page` (from 1), UTF-8, in reading order.
std::string text_of_page(const std::string& pdf, int page) {
    const std::string number = std::to_string(page);
    return run_command("pdftotext -layout -f " + number + " -l " + number + " " + shell_quote(pdf) + " -")
        .output;
}

const std::regex kTitle(R"(200 900\|Report data: \d\d/\d\d/\d{4}-\d\d:\d\d:\d\d)");

// The frame, title and header every page opens with, as the writer draws them.
void expect_page_head(const std::string& page, const std::string& context) {
    EXPECT_TRUE(page.starts_with(
        "2 928 m\r\n2 3 l\r\n1 w\r\nS\r\n2 3 m\r\n637 3 l\r\n1 w\r\nS\r\n637 3 m\r\n637 928 l\r\n1 w\r\nS\r\n"
        "637 928 m\r\n2 928 l\r\n1 w\r\nS\r\nBT\r\n/F2 16 Tf\r\n"))
        << context << ": the frame (2, 2)-(637, 927), then the title in Helvetica-Bold 16";
    const auto texts = texts_of(page);
    ASSERT_GE(texts.size(), 4u) << context;
    EXPECT_TRUE(std::regex_match(texts[0], kTitle)) << context << ": " << texts[0];
    EXPECT_EQ(texts[1], "30 880|Subdir from : C:\\\\dati\\\\*.*") << context;
    EXPECT_TRUE(texts[2].starts_with("30 874|Nomefile ZIP: /")) << context;
    EXPECT_TRUE(texts[3].starts_with("30 868|File di log : /")) << context;
    EXPECT_EQ(page.find("/F5 6 Tf\r\n30 880 Td"), page.find("/F5 6 Tf"))
        << context << ": headers in Courier 6";
}

TEST(PdfReport, AnEmptyLogGivesOnePageWithTheFrameTitleAndHeaderOnly) {
    ReportRun run;
    const std::string pdf = checked_by_qpdf(run.report(""));
    const auto pages = pages_of(pdf);
    ASSERT_EQ(pages.size(), 1u);
    expect_page_head(pages[0], "page 1");
    EXPECT_EQ(texts_of(pages[0]).size(), 4u);
    const std::string text = text_of_page(pdf, 1);
    EXPECT_NE(text.find("Subdir from : C:\\dati\\*.*"), std::string::npos) << text;
    EXPECT_EQ(run.display.label(core::Label::l_stato), "Generazione report terminata.");
    EXPECT_NE(
        run.agent_log().find("|F_Main\\Genera_File_PDF\\inizia generazione file pdf su: " + pdf + "\r\n"),
        std::string::npos);
    EXPECT_NE(run.agent_log().find("|F_Main\\Genera_File_PDF\\dati da: " + run.job.PARAM_4 + "\r\n"),
              std::string::npos);
    EXPECT_NE(run.agent_log().find("|F_Main\\Genera_File_PDF\\fine generazione file pdf.\r\n"),
              std::string::npos);
}

TEST(PdfReport, PagesHoldOneHundredThirtyFourLinesSixPointsApart) {
    // Lines in the log, and the pages they fill.
    for (const auto& [lines, page_count] : {std::pair{134, 1}, {135, 2}, {268, 2}, {269, 3}}) {
        ReportRun run;
        const std::string pdf = checked_by_qpdf(run.report(numbered_lines(lines)));
        const auto pages = pages_of(pdf);
        ASSERT_EQ(pages.size(), static_cast<size_t>(page_count)) << lines << " lines";
        int line = 1;
        for (size_t page = 0; page < pages.size(); ++page) {
            const std::string where = std::to_string(lines) + " lines, page " + std::to_string(page + 1);
            expect_page_head(pages[page], where);
            const auto texts = texts_of(pages[page]);
            for (size_t row = 4; row < texts.size(); ++row, ++line) {
                EXPECT_EQ(texts[row], std::to_string(30) + " " + std::to_string(930 - 73 - 6 * (row - 4)) +
                                          "|riga " + std::to_string(line))
                    << where;
            }
            EXPECT_LE(texts.size(), 4u + 134u) << where;
        }
        EXPECT_EQ(line, lines + 1) << "every line once";
    }
}

TEST(PdfReport, LineTextsAreEscapedCutToOneHundredSixtyFiveCharactersAndInWindows1252) {
    const std::string two_hundred = [] {
        std::string text;
        for (int i = 0; i < 200; ++i) {
            text += static_cast<char>('a' + i % 26);
        }
        return text;
    }();
    // Log line, report line text.
    const std::pair<std::string, std::string> cases[] = {
        {two_hundred, two_hundred.substr(0, 79) + "..." + two_hundred.substr(117)},
        {"C:\\temp\\a (1).txt", "C:\\\\temp\\\\a (1).txt"},
        {std::string(100, '\\'), std::string(79, '\\') + "..." + std::string(83, '\\')},
        {"Add: caff\u00e8 \u20ac \u65e5", "Add: caff\xe8 \x80 ?"},
        {"\xff(", "?("},
        {std::string(160, 'x') + "\u00e8\u00e8\u00e8\u00e8\u00e8\u00e8",
         std::string(79, 'x') + "..." + std::string(77, 'x') + std::string(6, '\xe8')},
    };
    for (const auto& [line, text] : cases) {
        EXPECT_EQ(report_line_text(line), text) << line;
    }
}

TEST(PdfReport, ReadersShowLogLinesAsWrittenWithSingleBackslashesAndParentheses) {
    ReportRun run;
    const std::string pdf = checked_by_qpdf(
        run.report("Add: C:\\temp\\file (1).txt\r\nsolo ( aperta\nsolo ) chiusa\r\rcaff\u00e8 \u20ac\r\n"));
    const std::string text = text_of_page(pdf, 1);
    for (const std::string expected :
         {"Add: C:\\temp\\file (1).txt\n", "solo ( aperta\n", "solo ) chiusa\n", "\ncaff\u00e8 \u20ac\n"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " in\n" << text;
    }
    const auto texts = texts_of(pages_of(pdf)[0]);
    ASSERT_EQ(texts.size(), 4u + 5u) << "an empty line keeps its row";
    EXPECT_EQ(texts[7], "30 839|");
}

TEST(PdfReport, TheFirstPageShowsItsFrameWhenRendered) {
    ReportRun run;
    const std::string pdf = run.report(numbered_lines(50));
    ASSERT_EQ(run_command("pdftoppm -r 72 -gray -singlefile -f 1 -l 1 " + shell_quote(pdf) + " " +
                          shell_quote(run.folder / "page"))
                  .exit_status,
              0);
    // A binary PGM of 640 x 930 pixels, a pixel per point; the frame lies 2 points inside the edges.
    const std::string image = read_file(run.folder / "page.pgm");
    std::smatch header;
    ASSERT_TRUE(std::regex_search(image, header, std::regex(R"(^P5\s+(\d+)\s+(\d+)\s+255\s)")));
    const int width = std::stoi(header[1]), height = std::stoi(header[2]);
    const auto pixel = [&](int x, int y) {
        return static_cast<unsigned char>(image[static_cast<size_t>(header.length(0) + y * width + x)]);
    };
    const auto dark = [&](int x0, int y0, int x1, int y1) {  // dark pixels in a box
        int count = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                count += pixel(x, y) < 160;
            }
        }
        return count;
    };
    EXPECT_GT(dark(0, 0, 3, height), height * 9 / 10) << "left side of the frame";
    EXPECT_GT(dark(0, 0, width, 3), width * 9 / 10) << "top side of the frame";
    EXPECT_GT(dark(width - 3, 0, width, height), height * 9 / 10) << "right side of the frame";
    EXPECT_GT(dark(10, 80, width / 2, 360), 500) << "the log lines";
    EXPECT_EQ(dark(10, 400, width - 10, height - 10), 0) << "nothing below the last line";
}

TEST(PdfReport, AMissingLogGivesNoReportAndRemovesTheEarlierOne) {
    ReportRun run;
    const std::string pdf = run.folder.write("ext.PDF", "the last run's report");
    Genera_File_PDF(run.context, run.Agente, run.folder / "missing.log.txt", pdf);
    EXPECT_FALSE(platform::file_exists(pdf));
    EXPECT_EQ(run.agent_log().find("Genera_File_PDF"), std::string::npos) << "no message";
}

TEST(PdfReport, AReportThatCannotBeWrittenIsAWarningAndLeavesTheStatusInProgress) {
    ReportRun run;
    run.folder.write("ext.log.txt", "riga\r\n");
    Genera_File_PDF(run.context, run.Agente, run.job.PARAM_4, run.folder / "missing/ext.PDF");
    const std::string log = run.agent_log();
    EXPECT_NE(log.find("|F_Main\\Genera_File_PDF\\errore generazione file pdf.\r\n"), std::string::npos);
    EXPECT_EQ(log.find("fine generazione"), std::string::npos);
    EXPECT_EQ(run.display.label(core::Label::l_stato), "Generazione report in corso...");
}

TEST(PdfReport, TheReportIsPackedIntoTheZipBesideItAndAMissingReportLeavesNoZip) {
    ReportRun run;
    const std::string pdf = run.report(numbered_lines(10));
    zip::TZipArchiver Zip_Ext{"Zip_Ext"};
    const std::string zip = Zippo_File_PDF(Zip_Ext, pdf);
    EXPECT_EQ(zip, run.folder / "ext.ZIP");
    const auto test = run_command("unzip -t " + shell_quote(zip));
    EXPECT_EQ(test.exit_status, 0) << test.output;
    EXPECT_NE(test.output.find("ext.PDF"), std::string::npos) << test.output;
    EXPECT_EQ(run_command("unzip -p " + shell_quote(zip)).output, read_file(pdf));
    EXPECT_TRUE(platform::file_exists(pdf)) << "the report stays where it is";

    platform::remove_file(pdf);
    EXPECT_EQ(Zippo_File_PDF(Zip_Ext, pdf), zip);
    EXPECT_EQ(report_zip_name("/t.d/log"), "/t.d/log.ZIP") << "a dot in a folder is no extension";
    EXPECT_EQ(report_zip_name("/t/x.PDF.PDF"), "/t/x.PDF.ZIP");
    EXPECT_FALSE(platform::file_exists(zip)) << "no archive without the report";
}

// Random bytes as log lines, with parentheses, backslashes, control characters and invalid UTF-8 made
// likely: every report must pass qpdf, whatever the log holds.
TEST(PdfReport, ReportsOfRandomLinesPassQpdf) {
    std::mt19937 random(20240131);
    const std::string likely = "()\\\\\t\x01\x7f\xc3\xa8\xe2\x82\xac\xff\xc3";
    for (int report = 0; report < 12; ++report) {
        std::string log;
        for (int line = 0; line < 200; ++line) {
            const int length = static_cast<int>(random() % 240);
            for (int i = 0; i < length; ++i) {
                log +=
                    random() % 3 == 0 ? likely[random() % likely.size()] : static_cast<char>(random() % 256);
            }
            log += "\r\n";
        }
        ReportRun run;
        checked_by_qpdf(run.report(log));
        EXPECT_EQ(run.agent_log().find("errore"), std::string::npos) << "report " << report;
    }
}

}  // namespace
}  // namespace ferrolo::report
