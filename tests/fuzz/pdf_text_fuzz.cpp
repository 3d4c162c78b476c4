// tests/fuzz/pdf_text_fuzz.cpp — libFuzzer target: any bytes, cut into lines as the report cuts a log, drawn
// with the PDF writer's TextOut, uncompressed. Every string must read back, by the PDF rules for literal
// strings, as the text meant (a doubled backslash meaning one), ending at its own ") Tj"; anything else
// aborts. The report's tests run qpdf over reports of random lines; this target searches the writer alone.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pdf/pdf_writer.h"
#include "platform/file_system.h"

namespace {

struct ScratchFile {
    std::string path;
    ~ScratchFile() { std::remove(path.c_str()); }
};

// What a reader shows of `text`: a doubled backslash is one backslash, and so is a lone one.
std::string meant(const std::string& text) {
    std::string shown;
    for (size_t i = 0; i < text.size(); ++i) {
        shown += text[i];
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            ++i;
        }
    }
    return shown;
}

// Reads the literal string that opens `line` as a PDF reader does; aborts unless it ends with the line's
// ") Tj".
std::string read_string(const std::string& line) {
    if (line.empty() || line[0] != '(') {
        std::abort();
    }
    std::string text;
    int depth = 1;
    size_t i = 1;
    for (; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\') {
            if (++i == line.size()) {
                std::abort();
            }
            text += line[i];  // every escape the writer makes stands for the byte after the backslash
            continue;
        }
        depth += c == '(' ? 1 : c == ')' ? -1 : 0;
        if (depth == 0) {
            break;
        }
        text += c;
    }
    if (line.substr(i) != ") Tj") {
        std::abort();
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const ScratchFile scratch{ferrolo::platform::temporary_folder() + "ferrolo-fuzz-" +
                                     std::to_string(::getpid()) + ".pdf"};
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < size; ++i) {
        const auto c = static_cast<char>(data[i]);
        if (c == '\r' || c == '\n') {
            lines.emplace_back();
        } else {
            lines.back() += c;
        }
    }
    ferrolo::pdf::TPdfWriter writer;
    writer.FileName = scratch.path;
    writer.Compress = false;
    writer.BeginDoc({2024, 1, 31, 23, 5, 9});
    for (const std::string& line : lines) {
        writer.TextOut(30, 73, line);
    }
    writer.EndDoc();

    std::ifstream written(scratch.path, std::ios::binary);
    size_t next = 0;
    for (std::string line; std::getline(written, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.starts_with("(") && line.ends_with(" Tj")) {
            if (next == lines.size() || read_string(line) != meant(lines[next])) {
                std::abort();
            }
            ++next;
        }
    }
    if (next != lines.size()) {
        std::abort();
    }
    return 0;
}
