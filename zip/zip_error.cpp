#include "zip/zip_error.h"

#include <array>
#include <cstdio>

namespace ferrolo::zip {

namespace {

struct ErrorRow {
    int native_error;
    int error_code;
    std::string_view text;
};

constexpr std::array<ErrorRow, 16> kErrorTable = {{
    {5, 2, "Invalid compression mode. Mode must be in [0-9] range"},
    {8, 4, "Invalid size or check sum of file or unsupported compression format"},
    {10, 5, "File name is blank. Specify appropriate file name"},
    {12, 6, "File \"%s\" not found"},
    {13, 7, "Archive is not open"},
    {26, 13, "Cannot proceed when update is not ended. Preceding EndUpdate call is required."},
    {32, 16, "File is open in read-only mode"},
    {33, 12, "Cannot open file \"%s\""},
    {34, 17, "Invalid compressed size, rfs.size = %d, count = %d"},
    {41, 23, "Cannot compress file '%s'. Zip64 mode is not enabled"},
    {43, 23, "Cannot compress file '%s'. Zip64 mode is not enabled"},
    {45, 24, "Cannot open archive file. Opening aborted or invalid file"},
    {46, 25, "Write to stream error"},
    {55, 32, "Deflate64 compression method is not supported"},
    {61, 36, "File name is too long: \r\n\"%s\""},
    {62, 37, "Multiple transactions are not supported for multi-volume archives"},
}};

const ErrorRow* find_row(int native_error) {
    for (const ErrorRow& row : kErrorTable) {
        if (row.native_error == native_error) {
            return &row;
        }
    }
    return nullptr;
}

std::string full_message(std::string_view component_name, int native_error, const ZipErrorDetail& detail) {
    std::string message;
    if (!component_name.empty()) {
        message.append(component_name).append(": ");
    }
    std::array<char, 16> code{};
    std::snprintf(code.data(), code.size(), "%05d", native_error);
    return message + zip_error_text(native_error, detail) + " - Native error: " + code.data();
}

}  // namespace

int zip_error_number(int native_error) {
    const ErrorRow* row = find_row(native_error);
    return row == nullptr ? 0 : row->error_code;
}

std::string zip_error_text(int native_error, const ZipErrorDetail& detail) {
    const ErrorRow* row = find_row(native_error);
    if (row == nullptr) {
        return "Unknown error";
    }
    std::string text;
    bool first_number_used = false;
    for (size_t i = 0; i < row->text.size(); ++i) {
        const std::string_view rest = row->text.substr(i);
        if (rest.starts_with("%s")) {
            text += detail.file_name;
            ++i;
        } else if (rest.starts_with("%d")) {
            text += std::to_string(first_number_used ? detail.second : detail.first);
            first_number_used = true;
            ++i;
        } else {
            text += row->text[i];
        }
    }
    return text;
}

EZipError::EZipError(std::string_view component_name, int native_error, const ZipErrorDetail& detail)
    : std::runtime_error(full_message(component_name, native_error, detail)),
      native_error_(native_error),
      error_code_(zip_error_number(native_error)) {}

}  // namespace ferrolo::zip
