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

using testing::run_command;
using testing::shell_quote;

const platform::LocalTime kCreated{2024, 1, 31, 23, 5, 9};

// A document of `pages` 640 x 930 pages, each after the first with one line at (30, 73), checked by qpdf and
// by its cross-reference table: every entry points at the first digit of its object, startxref at "xref".
struct Document {
    Document(int pages, bool compress) {
        testing::TempFolder folder;
        TPdfWriter writer;
        writer.FileName = folder / "out.pdf";
        writer.Compress = compress;
        writer.PageWidth = 640;
        writer.PageHeight = 930;
        writer.BeginDoc(kCreated);
        for (int page = 2; page <= pages; ++page) {
            writer.NewPage();
            writer.TextOut(30, 73, "riga");
        }
        writer.EndDoc();
        const auto check = run_command("qpdf --check " + shell_quote(writer.FileName));
        EXPECT_EQ(check.exit_status, 0) << check.output;
        for (int page = 1; page <= pages; ++page) {
            contents.push_back(run_command("qpdf --filtered-stream-data --show-object=" +
                                           std::to_string(2 * page) + " " + shell_quote(writer.FileName))
                                   .output);
        }
        bytes = testing::read_file(writer.FileName);
        const size_t xref = std::stoull(bytes.substr(bytes.rfind("startxref\r\n") + 11));
        EXPECT_EQ(bytes.substr(xref, 8), "xref\r\n0 ") << "startxref points at xref";
        size_t entry = bytes.find("0000000000 65535 f\r\n", xref) + 20;
        for (int number = 1; entry < bytes.find("trailer\r\n", xref); ++number, entry += 20) {
            const size_t offset = std::stoull(bytes.substr(entry, 10));
            const std::string head = std::to_string(number) + " 0 obj\r\n";
            EXPECT_EQ(bytes.substr(offset, head.size()), head)
                << "entry " << number << " points at its object";
            objects[number] = bytes.substr(offset, bytes.find("endobj\r\n", offset) + 8 - offset);
        }
    }

    std::string bytes;
    std::map<int, std::string> objects;  // by number: from "n 0 obj" to "endobj"
    std::vector<std::string> contents;   // page by page: the operators, as qpdf inflates them
};

TEST(PdfWriter, ObjectsOfPPagesAreContentsAndLengthsFirstThenFontsPagesAndTheCatalogLast) {
    for (const bool compress : {false, true}) {
        for (const int pages : {1, 2, 7}) {  // one page and nothing drawn: the empty document
            const Document document(pages, compress);
            const std::string row = std::to_string(pages) + (compress ? " compressed pages" : " pages");
            const auto object = [&](int number) { return document.objects.at(number); };
            const auto ref = [](int number) { return std::to_string(number) + " 0 R"; };
            ASSERT_EQ(document.objects.size(), 3u * pages + 19) << row;
            for (int page = 1; page <= pages; ++page) {
                const std::string& content = object(2 * page);
                const size_t start = content.find(">>\r\nstream\r\n") + 12;
                EXPECT_TRUE(content.starts_with(std::to_string(2 * page) + " 0 obj\r\n<< /Length " +
                                                ref(2 * page + 1) +
                                                (compress ? "\r\n/Filter [/FlateDecode]\r\n" : "\r\n")))
                    << row;
                EXPECT_EQ(object(2 * page + 1), std::to_string(2 * page + 1) + " 0 obj\r\n" +
                                                    std::to_string(content.rfind("endstream") - start) +
                                                    "\r\nendobj\r\n")
                    << row << ": the length of page " << page << "'s stream";
                EXPECT_EQ(document.contents[page - 1],
                          page == 1 ? "" : "BT\r\n/F5 12 Tf\r\n30 857 Td\r\n(riga) Tj\r\nET\r\n")
                    << row;
                EXPECT_NE(object(2 * pages + 18 + page)
                              .find("/MediaBox [ 0 0 640 930]\r\n/Contents " + ref(2 * page)),
                          std::string::npos)
                    << row;
                EXPECT_NE(object(2 * pages + 17).find(ref(2 * pages + 18 + page)), std::string::npos) << row;
            }
            EXPECT_NE(object(2 * pages + 3).find("/BaseFont /Helvetica\r\n"), std::string::npos) << row;
            EXPECT_NE(object(2 * pages + 16).find("/BaseFont /ZapfDingbats\r\n"), std::string::npos) << row;
            EXPECT_EQ(object(3 * pages + 19), std::to_string(3 * pages + 19) +
                                                  " 0 obj\r\n<< /Type /Catalog\r\n/Pages " +
                                                  ref(2 * pages + 17) + "\r\n/Outlines " +
                                                  ref(2 * pages + 2) + "\r\n>>\r\nendobj\r\n")
                << row;
            EXPECT_NE(document.bytes.find("trailer\r\n<< /Size " + std::to_string(3 * pages + 20) +
                                          "\r\n/Root " + ref(3 * pages + 19) + "\r\n/Info 1 0 R\r\n"),
                      std::string::npos)
                << row;
            EXPECT_TRUE(document.bytes.starts_with(
                "%PDF-1.4\r\n1 0 obj\r\n<<\r\n/Producer (Producer-Name)\r\n/Author "
                "(Author-Name)\r\n/CreationDate (D:20240131230509)\r\n"))
                << row;
        }
    }
}

TEST(PdfWriter, ADocumentThatCannotBeSavedWholeThrowsAndLeavesNoFile) {
    testing::SmallDrive drive("16k");
    ASSERT_TRUE(drive.mounted()) << "needs root";
    TPdfWriter writer;
    writer.FileName = drive.path() + "full.pdf";
    writer.Compress = false;
    writer.BeginDoc(kCreated);
    for (int line = 0; line < 1000; ++line) {
        writer.TextOut(0, 0, "more than the drive holds");
    }
    EXPECT_THROW(writer.EndDoc(), platform::SystemError);
    EXPECT_FALSE(platform::file_exists(writer.FileName));
}

}  // namespace
}  // namespace ferrolo::pdf
