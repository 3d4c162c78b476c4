// pdf/pdf_writer.h — writes a PDF 1.4 file of text pages: strings in the 14 standard Type 1 fonts,
// straight lines and rectangle outlines, each page's content optionally deflated. The file is assembled in
// memory and saved in one piece by EndDoc; its bytes follow from the calls, the creation time and zlib.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace ferrolo::pdf {

// The current font: an index into the standard-font table (0 Helvetica … 4 Courier … 13 ZapfDingbats)
// and a size in points. Callers change both fields directly between drawing calls.
struct TPdfFont {
    uint8_t FontIndex = 4;
    int32_t Size = 12;
};

// Coordinates are integer points from the top left corner of the page, y downwards; the writer flips y
// against PageHeight, so the page size is set before BeginDoc and left alone afterwards.
class TPdfWriter {
public:
    std::string FileName;  // written by EndDoc
    std::string TITLE;
    int32_t PageWidth = 612;
    int32_t PageHeight = 792;
    int32_t LineWidth = 1;
    std::string Author = "Author-Name";
    std::string Creator = "Creatore-Name";
    std::string Keywords;
    std::string Subject;
    std::string Producer = "Producer-Name";
    TPdfFont Font;
    bool Compress = true;  // deflate page contents and mark them /FlateDecode

    // Pages begun so far; 1 after BeginDoc.
    int32_t PageNumber() const { return page_number_; }

    // Starts a document created now, or at `created`, and opens its first page. Resets everything, so one
    // writer can write several documents in turn.
    void BeginDoc();
    void BeginDoc(const platform::LocalTime& created);
    // Draws `text` (8-bit Windows-1252) with its baseline start at (x, y) in the current font. The text is
    // a PDF string body whose backslashes the caller has already escaped: a doubled backslash is kept as
    // it is, a lone one is doubled here, and parentheses are escaped here, so no text can end the string
    // early.
    void TextOut(int32_t x, int32_t y, std::string_view text);
    // One stroked line from (x1, y1) to (x2, y2) in LineWidth.
    void DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    // The outline of the rectangle with opposite corners (x1, y1) and (x2, y2), as four lines.
    void DrawRectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    // Ends the current page and begins the next.
    void NewPage();
    // Ends the last page, writes the closing objects, the cross-reference table and the trailer, and saves
    // the file to FileName. A file that cannot be written whole is removed and platform::SystemError is
    // thrown.
    void EndDoc();

private:
    void add_line(std::string& buffer, std::string_view text);
    // The number of a new object, whose first line is written into the object buffer.
    int begin_object();
    // Appends the object buffer to the output and records where the next object starts.
    void complete_object();
    void begin_content_stream();
    void end_content_stream();
    void write_closing_objects();
    void write_cross_references();
    std::string flipped(int32_t x, int32_t y) const;

    int32_t page_number_ = 0;
    int object_count_ = 0;
    std::string output_;
    std::string object_;
    std::string content_;
    std::vector<uint64_t> offsets_;  // entry k: where object k + 1 starts; the last: where "xref" starts
    std::vector<int> content_objects_;
    std::vector<int> font_objects_;
    int outlines_object_ = 0;
    int pages_object_ = 0;
    int catalog_object_ = 0;
};

}  // namespace ferrolo::pdf
