#include "platform/code_page.h"
#include "platform/win32/wide.h"

// Text files are in the ANSI code page, as Windows users' editors and readers expect.
namespace ferrolo::platform {

std::string to_system_code_page(std::string_view text) {
    return win32::wide_to_ansi(win32::to_wide(text));
}

std::string from_system_code_page(std::string_view text) {
    return win32::to_utf8(win32::ansi_to_wide(text));
}

}  // namespace ferrolo::platform
