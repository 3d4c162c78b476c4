// The PDF writer, checked byte by byte with its content uncompressed, and by qpdf for every file written.
#include "pdf/pdf_writer.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/file_system.h"
#include "platform/system_error.h"
#include "tests/support/command.h"
#include "tests/support/small_drive.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::pdf {
namespace {

// Documents of P pages 930 points high, each after the first with one line at (30, 73), one page and
// nothing drawn being the empty document. Every entry of the cross-reference table must point at the first
// digit of its object, startxref at "xref", and qpdf must accept the file.
TEST(PdfWriter, ObjectsOfPPagesAreContentsAndLengthsFirstThenFontsPagesAndTheCatalogLast) {
    for (const bool compress : {false, true}) {
        for (const int pages : {1, 2, 7}) {
            SCOPED_TRACE(std::to_string(pages) + (compress ? " compressed pages" : " pages"));
            const testing::TempFolder folder;
            TPdfWriter writer;
            writer.FileName = folder / "out.pdf";
            writer.Compress = compress;
            writer.PageHeight = 930;
            writer.BeginDoc({2024, 1, 31, 23, 5, 9});
            for (int page = 2; page <= pages; ++page) {
                writer.NewPage();
                writer.TextOut(30, 73, "riga");
            }
            writer.EndDoc();
            const auto check = testing::run_command("qpdf --check " + folder.path() + "out.pdf");
            EXPECT_EQ(check.exit_status, 0) << check.output;
            const std::string pdf = testing::read_file(writer.FileName);
            const size_t xref = std::stoull(pdf.substr(pdf.rfind("startxref\r\n") + 11));
            EXPECT_EQ(pdf.substr(xref, 8), "xref\r\n0 ") << "startxref points at xref";
            std::map<int, std::string> objects;  // by number: from "n 0 obj" to "endobj"
            size_t entry = pdf.find(" 65535 f\r\n", xref) + 10;
            for (int number = 1; pdf.compare(entry, 7, "trailer") != 0; ++number, entry += 20) {
                const size_t offset = std::stoull(pdf.substr(entry, 10));
                EXPECT_TRUE(pdf.substr(offset).starts_with(std::to_string(number) + " 0 obj\r\n"))
                    << "entry " << number;
                objects[number] = pdf.substr(offset, pdf.find("endobj\r\n", offset) + 8 - offset);
            }
            const auto ref = [](int number) { return std::to_string(number) + " 0 R"; };
            const auto has = [&](int number, const std::string& text) {
                return objects.at(number).find(text) != std::string::npos;
            };
            ASSERT_EQ(objects.size(), static_cast<size_t>(3 * pages + 19));
            for (int page = 1; page <= pages; ++page) {
                const std::string& content = objects.at(2 * page);
                const size_t length = content.rfind("endstream") - content.find(">>\r\nstream\r\n") - 12;
                EXPECT_TRUE(has(2 * page, "<< /Length " + ref(2 * page + 1)));
                EXPECT_TRUE(has(2 * page + 1, " 0 obj\r\n" + std::to_string(length) + "\r\nendobj"));
                EXPECT_EQ(testing::run_command("qpdf --filtered-stream-data --show-object=" +
                                               std::to_string(2 * page) + " " + writer.FileName)
                              .output,
                          page == 1 ? "" : "BT\r\n/F5 12 Tf\r\n30 857 Td\r\n(riga) Tj\r\nET\r\n")
                    << "page " << page << "'s operators";
                EXPECT_TRUE(has(2 * pages + 18 + page, "/Contents " + ref(2 * page)));
                EXPECT_TRUE(has(2 * pages + 17, ref(2 * pages + 18 + page))) << "the pages' kids";
            }
            EXPECT_TRUE(has(2 * pages + 16, "/Name /F14\r\n/BaseFont /ZapfDingbats"));
            EXPECT_TRUE(has(3 * pages + 19, "<< /Type /Catalog\r\n/Pages " + ref(2 * pages + 17) +
                                                "\r\n/Outlines " + ref(2 * pages + 2)));
            EXPECT_NE(
                pdf.find("<< /Size " + std::to_string(3 * pages + 20) + "\r\n/Root " + ref(3 * pages + 19)),
                std::string::npos);
            EXPECT_TRUE(has(1, "/CreationDate (D:20240131230509)"));
        }
    }
}

TEST(PdfWriter, ADocumentThatCannotBeSavedWholeThrowsAndLeavesNoFile) {
    testing::SmallDrive drive("16k");
    ASSERT_TRUE(drive.mounted()) << "needs root";
    TPdfWriter writer;
    writer.FileName = drive.path() + "full.pdf";
    writer.Compress = false;
    writer.BeginDoc();
    writer.TextOut(0, 0, std::string(20000, 'x'));  // more than the drive holds
    EXPECT_THROW(writer.EndDoc(), platform::SystemError);
    EXPECT_FALSE(platform::file_exists(writer.FileName));
}

}  // namespace
}  // namespace ferrolo::pdf
