// The PDF writer, checked byte by byte with its content uncompressed, and by qpdf for every file written.
#include "pdf/pdf_writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <map>
#include <regex>

#include "platform/file_system.h"
#include "platform/system_error.h"
#include "tests/support/command.h"
#include "tests/support/small_drive.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::pdf {
namespace {

using testing::read_file;
using testing::run_command;
using testing::shell_quote;
using testing::TempFolder;

const platform::LocalTime kCreated{2024, 1, 31, 23, 5, 9};

// A written document and the objects its cross-reference table points at.
struct Document {
    std::string bytes;
    std::map<int, std::string> objects;  // object number → text from its number to "endobj"
    uint64_t startxref = 0;

    // The bytes between the line end after "stream" and "endstream" of object `number`.
    std::string stream(int number) const {
        const std::string& text = objects.at(number);
        const size_t start = text.find("stream\r\n") + 8;
        return text.substr(start, text.rfind("endstream") - start);
    }
};

// Reads the cross-reference table of `bytes`, checking that every entry and startxref land where they
// must: on the first digit of "n 0 obj" and on "xref".
Document parse(std::string bytes) {
    Document document;
    document.bytes = std::move(bytes);
    const std::string& pdf = document.bytes;
    std::smatch found;
    EXPECT_TRUE(std::regex_search(pdf, found, std::regex("startxref\r\n(\\d+)\r\n%%EOF\r\n$")));
    document.startxref = std::stoull(found[1]);
    EXPECT_EQ(pdf.substr(document.startxref, 6), "xref\r\n") << "startxref points at xref";
    const std::string table = pdf.substr(document.startxref);
    EXPECT_TRUE(std::regex_search(table, found, std::regex("^xref\r\n0 (\\d+)\r\n0000000000 65535 f\r\n")));
    const int size = std::stoi(found[1]);
    size_t entry = static_cast<size_t>(found.length(0));
    for (int number = 1; number < size; ++number, entry += 20) {
        EXPECT_EQ(table.substr(entry + 10, 10), " 00000 n\r\n") << "entry " << number << " is 20 bytes";
        const size_t offset = std::stoull(table.substr(entry, 10));
        const std::string head = std::to_string(number) + " 0 obj\r\n";
        EXPECT_EQ(pdf.substr(offset, head.size()), head) << "entry " << number << " points at its object";
        document.objects[number] = pdf.substr(offset, pdf.find("endobj\r\n", offset) + 8 - offset);
    }
    return document;
}

// Writes a document drawn by `draw` and checks it with qpdf.
Document write(const std::function<void(TPdfWriter&)>& draw, bool compress = false) {
    TempFolder folder;
    TPdfWriter writer;
    writer.FileName = folder / "out.pdf";
    writer.Compress = compress;
    writer.BeginDoc(kCreated);
    draw(writer);
    writer.EndDoc();
    const auto check = run_command("qpdf --check " + shell_quote(writer.FileName));
    EXPECT_EQ(check.exit_status, 0) << check.output;
    return parse(read_file(writer.FileName));
}

std::string inflate(const std::string& data) {
    std::string out(1 << 20, '\0');
    uLongf size = static_cast<uLongf>(out.size());
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                         reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size())),
              Z_OK);
    out.resize(size);
    return out;
}

TEST(PdfWriter, AnEmptyDocumentHasOnePageOfNoOperatorsAndTwentyTwoObjects) {
    const Document document = write([](TPdfWriter&) {});
    EXPECT_TRUE(document.bytes.starts_with("%PDF-1.4\r\n1 0 obj\r\n")) << "no comment line between";
    EXPECT_EQ(document.objects.size(), 22u);
    EXPECT_EQ(
        document.objects.at(1),
        "1 0 obj\r\n<<\r\n/Producer (Producer-Name)\r\n/Author (Author-Name)\r\n"
        "/CreationDate (D:20240131230509)\r\n/Creator (Creatore-Name)\r\n/Keywords ()\r\n/Subject ()\r\n"
        "/Title ()\r\n/ModDate ()\r\n>>\r\nendobj\r\n");
    EXPECT_EQ(document.objects.at(2),
              "2 0 obj\r\n<< /Length 3 0 R\r\n >>\r\nstream\r\nendstream\r\nendobj\r\n");
    EXPECT_EQ(document.objects.at(3), "3 0 obj\r\n0\r\nendobj\r\n");
    EXPECT_EQ(document.objects.at(6),
              "6 0 obj\r\n<< /Type /Font\r\n/Subtype /Type1\r\n/Name /F2\r\n/BaseFont /Helvetica-Bold\r\n"
              "/Encoding /WinAnsiEncoding\r\n>>\r\nendobj\r\n");
    EXPECT_TRUE(
        document.objects.at(20).starts_with("20 0 obj\r\n<< /ProcSet [ /PDF /Text /ImageC]\r\n/XObject << "
                                            "\r\n>>\r\n/Font << \r\n/F1 5 0 R \r\n"));
    EXPECT_EQ(
        document.objects.at(21),
        "21 0 obj\r\n<< /Type /Page\r\n/Parent 19 0 R\r\n/MediaBox [ 0 0 612 792]\r\n/Contents 2 0 R\r\n"
        "/Resources 20 0 R\r\n>>\r\nendobj\r\n");
    EXPECT_EQ(document.objects.at(22),
              "22 0 obj\r\n<< /Type /Catalog\r\n/Pages 19 0 R\r\n/Outlines 4 0 R\r\n>>\r\nendobj\r\n");
    EXPECT_TRUE(document.bytes.ends_with(
        "trailer\r\n<< /Size 23\r\n/Root 22 0 R\r\n/Info 1 0 R\r\n>>\r\nstartxref\r\n" +
        std::to_string(document.startxref) + "\r\n%%EOF\r\n"));
}

TEST(PdfWriter, ObjectsOfPPagesAreNumberedContentsFirstThenFontsPagesAndCatalog) {
    for (const int pages : {2, 3, 7}) {
        const Document document = write([pages](TPdfWriter& writer) {
            for (int page = 2; page <= pages; ++page) {
                writer.NewPage();
                EXPECT_EQ(writer.PageNumber(), page);
            }
        });
        const int kids_start = 2 * pages + 19;
        EXPECT_EQ(document.objects.size(), static_cast<size_t>(3 * pages + 19));
        for (int page = 1; page <= pages; ++page) {
            EXPECT_NE(
                document.objects.at(2 * page).find("<< /Length " + std::to_string(2 * page + 1) + " 0 R"),
                std::string::npos);
            EXPECT_NE(document.objects.at(kids_start + page - 1)
                          .find("/Contents " + std::to_string(2 * page) + " 0 R"),
                      std::string::npos);
            EXPECT_NE(
                document.objects.at(2 * pages + 17).find(std::to_string(kids_start + page - 1) + " 0 R"),
                std::string::npos);
        }
        EXPECT_NE(document.objects.at(2 * pages + 2).find("/Type /Outlines"), std::string::npos);
        EXPECT_NE(document.objects.at(2 * pages + 3).find("/BaseFont /Helvetica\r\n"), std::string::npos);
        EXPECT_NE(document.objects.at(2 * pages + 17).find("/Count " + std::to_string(pages)),
                  std::string::npos);
        EXPECT_NE(document.bytes.find("/Size " + std::to_string(3 * pages + 20) + "\r\n/Root " +
                                      std::to_string(3 * pages + 19) + " 0 R"),
                  std::string::npos);
    }
}

TEST(PdfWriter, DrawingOperatorsFlipYAgainstThePageHeightAndLengthCountsTheStreamBytes) {
    const Document document = write([](TPdfWriter& writer) {
        writer.PageWidth = 640;
        writer.PageHeight = 930;
        writer.TextOut(30, 73, "riga");
        writer.Font = {1, 16};
        writer.LineWidth = 2;
        writer.DrawRectangle(2, 2, 637, 927);
    });
    const std::string expected =
        "BT\r\n/F5 12 Tf\r\n30 857 Td\r\n(riga) Tj\r\nET\r\n"
        "2 928 m\r\n2 3 l\r\n2 w\r\nS\r\n"
        "2 3 m\r\n637 3 l\r\n2 w\r\nS\r\n"
        "637 3 m\r\n637 928 l\r\n2 w\r\nS\r\n"
        "637 928 m\r\n2 928 l\r\n2 w\r\nS\r\n";
    EXPECT_EQ(document.stream(2), expected);
    EXPECT_EQ(document.objects.at(3), "3 0 obj\r\n" + std::to_string(expected.size()) + "\r\nendobj\r\n");
    EXPECT_NE(document.objects.at(21).find("/MediaBox [ 0 0 640 930]"), std::string::npos);
}

TEST(PdfWriter, TextEndsItsStringOnlyAtTheClosingParenthesisWithCallerEscapedBackslashesKept) {
    // Text as given (backslashes already doubled where the caller means one), and as written.
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\\\temp\\\\log.txt", "(C:\\\\temp\\\\log.txt) Tj"},
        {"f(x) = (a", "(f\\(x\\) = \\(a) Tj"},
        {"fine)", "(fine\\)) Tj"},
        {"lone \\ in the middle", "(lone \\\\ in the middle) Tj"},
        {"ends with \\", "(ends with \\\\) Tj"},
        {"\\\\\\(", "(\\\\\\\\\\() Tj"},  // a pair, a lone one, a parenthesis
        {"\xe8 \x80", "(\xe8 \x80) Tj"},  // Windows-1252 bytes pass unchanged
    };
    const Document document = write([&](TPdfWriter& writer) {
        for (const auto& [text, written] : cases) {
            writer.TextOut(0, 0, text);
        }
    });
    const std::string content = document.stream(2);
    for (const auto& [text, written] : cases) {
        EXPECT_NE(content.find("\r\n" + written + "\r\n"), std::string::npos) << text;
    }
}

TEST(PdfWriter, CompressedStreamsInflateToTheSameOperators) {
    const auto draw = [](TPdfWriter& writer) {
        for (int line = 0; line < 300; ++line) {
            writer.TextOut(30, line, "riga " + std::to_string(line));
            if (line % 100 == 99) {
                writer.NewPage();
            }
        }
    };
    const Document plain = write(draw, false);
    const Document packed = write(draw, true);
    ASSERT_EQ(packed.objects.size(), plain.objects.size());
    for (int page = 1; page <= 4; ++page) {
        const int stream = 2 * page;
        EXPECT_NE(packed.objects.at(stream).find("/Length " + std::to_string(stream + 1) +
                                                 " 0 R\r\n/Filter [/FlateDecode]\r\n >>\r\nstream\r\n"),
                  std::string::npos);
        EXPECT_EQ(packed.objects.at(stream + 1), std::to_string(stream + 1) + " 0 obj\r\n" +
                                                     std::to_string(packed.stream(stream).size()) +
                                                     "\r\nendobj\r\n");
        EXPECT_EQ(inflate(packed.stream(stream)), plain.stream(stream)) << "page " << page;
    }
}

TEST(PdfWriter, ADocumentThatCannotBeSavedWholeThrowsAndLeavesNoFile) {
    TempFolder folder;
    testing::SmallDrive drive("16k");
    ASSERT_TRUE(drive.mounted()) << "needs root";
    for (const std::string& path : {folder / "missing/out.pdf", drive.path() + "full.pdf"}) {
        TPdfWriter writer;
        writer.FileName = path;
        writer.Compress = false;
        writer.BeginDoc(kCreated);
        for (int line = 0; line < 1000; ++line) {
            writer.TextOut(0, 0, "more than the drive holds");
        }
        EXPECT_THROW(writer.EndDoc(), platform::SystemError) << path;
        EXPECT_FALSE(platform::file_exists(path)) << path;
    }
}

}  // namespace
}  // namespace ferrolo::pdf
