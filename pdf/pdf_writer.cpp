#include "pdf/pdf_writer.h"

#include <zlib.h>

#include <array>
#include <cstdio>
#include <stdexcept>

#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/system_error.h"

namespace ferrolo::pdf {

namespace {

constexpr std::array<std::string_view, 14> kBaseFonts = {
    "Helvetica",   "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique",
    "Courier",     "Courier-Bold",   "Courier-Oblique",   "Courier-BoldOblique",
    "Times-Roman", "Times-Bold",     "Times-Italic",      "Times-BoldItalic",
    "Symbol",      "ZapfDingbats",
};

constexpr std::string_view kLineEnd = "\r\n";

std::string number(int64_t value) {
    return std::to_string(value);
}

std::string reference(int object) {
    return number(object) + " 0 R";
}

// A date and time as "yyyymmddhhnnss".
std::string pdf_date(const platform::LocalTime& moment) {
    char text[96];
    const int length = std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", moment.year, moment.month,
                                     moment.day, moment.hour, moment.minute, moment.second);
    return std::string(text, static_cast<size_t>(length < 0 ? 0 : length));
}

// `text` as a PDF string body. A caller's doubled backslash is already an escape and is kept; a lone one
// would escape the next byte, or the closing parenthesis itself, so it is doubled.
std::string string_body(std::string_view text) {
    std::string body;
    body.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\') {
            body += "\\\\";
            if (i + 1 < text.size() && text[i + 1] == '\\') {
                ++i;
            }
        } else {
            if (c == '(' || c == ')') {
                body += '\\';
            }
            body += c;
        }
    }
    return body;
}

// `content` as one zlib stream at the default level, appended to `out`.
void append_deflated(std::string& out, const std::string& content) {
    uLongf size = compressBound(static_cast<uLong>(content.size()));
    const size_t start = out.size();
    out.resize(start + size);
    const int status = compress2(reinterpret_cast<Bytef*>(out.data() + start), &size,
                                 reinterpret_cast<const Bytef*>(content.data()),
                                 static_cast<uLong>(content.size()), Z_DEFAULT_COMPRESSION);
    if (status != Z_OK) {
        throw std::runtime_error("zlib compress2 failed with status " + number(status));
    }
    out.resize(start + size);
}

}  // namespace

void TPdfWriter::BeginDoc() {
    BeginDoc(platform::local_now());
}

void TPdfWriter::BeginDoc(const platform::LocalTime& created) {
    page_number_ = 1;
    object_count_ = 0;
    output_.clear();
    object_.clear();
    content_.clear();
    offsets_.clear();
    content_objects_.clear();
    font_objects_.clear();

    add_line(output_, "%PDF-1.4");
    offsets_.push_back(output_.size());

    begin_object();
    add_line(object_, "<<");
    add_line(object_, "/Producer (" + Producer + ")");
    add_line(object_, "/Author (" + Author + ")");
    add_line(object_, "/CreationDate (D:" + pdf_date(created) + ")");
    add_line(object_, "/Creator (" + Creator + ")");
    add_line(object_, "/Keywords (" + Keywords + ")");
    add_line(object_, "/Subject (" + Subject + ")");
    add_line(object_, "/Title (" + TITLE + ")");
    add_line(object_, "/ModDate ()");
    add_line(object_, ">>");
    add_line(object_, "endobj");
    complete_object();

    begin_content_stream();
}

void TPdfWriter::TextOut(int32_t x, int32_t y, std::string_view text) {
    add_line(content_, "BT");
    add_line(content_, "/F" + number(Font.FontIndex + 1) + " " + number(Font.Size) + " Tf");
    add_line(content_, flipped(x, y) + " Td");
    add_line(content_, "(" + string_body(text) + ") Tj");
    add_line(content_, "ET");
}

void TPdfWriter::DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    add_line(content_, flipped(x1, y1) + " m");
    add_line(content_, flipped(x2, y2) + " l");
    add_line(content_, number(LineWidth) + " w");
    add_line(content_, "S");
}

void TPdfWriter::DrawRectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    DrawLine(x1, y1, x1, y2);
    DrawLine(x1, y2, x2, y2);
    DrawLine(x2, y2, x2, y1);
    DrawLine(x2, y1, x1, y1);
}

void TPdfWriter::NewPage() {
    ++page_number_;
    end_content_stream();
    begin_content_stream();
}

void TPdfWriter::EndDoc() {
    end_content_stream();
    write_closing_objects();
    write_cross_references();
    try {
        platform::File file = platform::File::open(FileName, platform::File::Mode::Create);
        file.write(output_);
        file.close();
    } catch (const platform::SystemError&) {
        // Half a report would pass for a whole one further on.
        platform::remove_file(FileName);
        throw;
    }
}

void TPdfWriter::add_line(std::string& buffer, std::string_view text) {
    buffer += text;
    buffer += kLineEnd;
}

int TPdfWriter::begin_object() {
    object_.clear();
    ++object_count_;
    add_line(object_, number(object_count_) + " 0 obj");
    return object_count_;
}

void TPdfWriter::complete_object() {
    output_ += object_;
    offsets_.push_back(output_.size());
}

// The stream's length is not known until the page ends, so it is an object of its own, the next one.
void TPdfWriter::begin_content_stream() {
    const int stream = begin_object();
    content_objects_.push_back(stream);
    add_line(object_, "<< /Length " + reference(stream + 1));
    if (Compress) {
        add_line(object_, "/Filter [/FlateDecode]");
    }
    add_line(object_, " >>");
    add_line(object_, "stream");
    content_.clear();
}

void TPdfWriter::end_content_stream() {
    const size_t data_start = object_.size();
    if (Compress) {
        append_deflated(object_, content_);
    } else {
        object_ += content_;
    }
    const size_t length = object_.size() - data_start;
    content_.clear();
    add_line(object_, "endstream");
    add_line(object_, "endobj");
    complete_object();

    begin_object();
    add_line(object_, number(static_cast<int64_t>(length)));
    add_line(object_, "endobj");
    complete_object();
}

void TPdfWriter::write_closing_objects() {
    outlines_object_ = begin_object();
    add_line(object_, "<< /Type /Outlines");
    add_line(object_, "/Count 0");
    add_line(object_, ">>");
    add_line(object_, "endobj");
    complete_object();

    for (size_t k = 0; k < kBaseFonts.size(); ++k) {
        font_objects_.push_back(begin_object());
        add_line(object_, "<< /Type /Font");
        add_line(object_, "/Subtype /Type1");
        add_line(object_, "/Name /F" + number(static_cast<int64_t>(k + 1)));
        add_line(object_, "/BaseFont /" + std::string(kBaseFonts[k]));
        add_line(object_, "/Encoding /WinAnsiEncoding");
        add_line(object_, ">>");
        add_line(object_, "endobj");
        complete_object();
    }

    // The page objects follow the resources, so their numbers are known before they are written.
    pages_object_ = begin_object();
    const int resources = pages_object_ + 1;
    add_line(object_, "<< /Type /Pages");
    add_line(object_, "/Kids [");
    for (int page = 1; page <= page_number_; ++page) {
        add_line(object_, reference(resources + page));
    }
    add_line(object_, "]");
    add_line(object_, "/Count " + number(page_number_));
    add_line(object_, ">>");
    add_line(object_, "endobj");
    complete_object();

    begin_object();
    add_line(object_, "<< /ProcSet [ /PDF /Text /ImageC]");
    add_line(object_, "/XObject << ");
    add_line(object_, ">>");
    add_line(object_, "/Font << ");
    for (size_t k = 0; k < font_objects_.size(); ++k) {
        add_line(object_,
                 "/F" + number(static_cast<int64_t>(k + 1)) + " " + reference(font_objects_[k]) + " ");
    }
    add_line(object_, ">>");
    add_line(object_, ">>");
    add_line(object_, "endobj");
    complete_object();

    for (const int content : content_objects_) {
        begin_object();
        add_line(object_, "<< /Type /Page");
        add_line(object_, "/Parent " + reference(pages_object_));
        add_line(object_, "/MediaBox [ 0 0 " + number(PageWidth) + " " + number(PageHeight) + "]");
        add_line(object_, "/Contents " + reference(content));
        add_line(object_, "/Resources " + reference(resources));
        add_line(object_, ">>");
        add_line(object_, "endobj");
        complete_object();
    }

    catalog_object_ = begin_object();
    add_line(object_, "<< /Type /Catalog");
    add_line(object_, "/Pages " + reference(pages_object_));
    add_line(object_, "/Outlines " + reference(outlines_object_));
    add_line(object_, ">>");
    add_line(object_, "endobj");
    complete_object();
}

void TPdfWriter::write_cross_references() {
    const int size = object_count_ + 1;
    add_line(output_, "xref");
    add_line(output_, "0 " + number(size));
    add_line(output_, "0000000000 65535 f");
    for (int object = 1; object < size; ++object) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010llu 00000 n",
                      static_cast<unsigned long long>(offsets_[static_cast<size_t>(object - 1)]));
        add_line(output_, entry);
    }
    add_line(output_, "trailer");
    add_line(output_, "<< /Size " + number(size));
    add_line(output_, "/Root " + reference(catalog_object_));
    add_line(output_, "/Info 1 0 R");
    add_line(output_, ">>");
    add_line(output_, "startxref");
    add_line(output_, number(static_cast<int64_t>(offsets_.back())));
    add_line(output_, "%%EOF");
}

std::string TPdfWriter::flipped(int32_t x, int32_t y) const {
    return number(x) + " " + number(static_cast<int64_t>(PageHeight) - y);
}

}  // namespace ferrolo::pdf
