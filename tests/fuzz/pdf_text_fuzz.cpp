// tests/fuzz/pdf_text_fuzz.cpp — libFuzzer target: any bytes, cut into lines at CR and LF as a log is, each
// line drawn by the PDF writer's TextOut. Whatever a line holds (parentheses, backslashes, control
// characters, invalid UTF-8), qpdf must accept the file, content streams included.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "pdf/pdf_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    ferrolo::pdf::TPdfWriter writer;
    writer.FileName = "pdf_text_" + std::to_string(::getpid()) + ".pdf";  // in the fuzzer's working folder
    writer.BeginDoc({2024, 1, 31, 23, 5, 9});
    for (size_t start = 0, end = 0; start <= input.size(); start = end + 1) {
        end = std::min(input.find_first_of("\r\n", start), input.size());
        writer.TextOut(30, 73, input.substr(start, end - start));
    }
    writer.EndDoc();
    const int status = std::system(("qpdf --check " + writer.FileName + " >/dev/null 2>&1").c_str());
    std::remove(writer.FileName.c_str());
    if (status != 0) {
        std::abort();
    }
    return 0;
}
