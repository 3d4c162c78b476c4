#include "platform/process.h"

#include <objbase.h>
#include <shellapi.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/system_error.h"
#include "platform/win32/wide.h"

namespace ferrolo::platform {

std::vector<std::string> program_arguments(int, const char* const*) {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int n = 0; wide != nullptr && n < count; ++n) {
        arguments.push_back(win32::to_utf8(wide[n]));
    }
    ::LocalFree(wide);
    return arguments;
}

std::string program_path() {
    // The buffer grows until the path fits: a cut path would give a wrong program folder.
    for (std::wstring path(MAX_PATH, L'\0');; path.resize(path.size() * 2)) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            throw SystemError("find program file", "", static_cast<int>(::GetLastError()));
        }
        if (length < path.size()) {
            path.resize(length);
            return win32::to_utf8(path);
        }
    }
}

void end_process(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}

// The shell may hand the file to an extension that needs COM on this thread.
void open_with_associated_program(const std::string& path) {
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ::ShellExecuteW(nullptr, L"open", win32::to_wide(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
}

// The live line is drawn with terminal control sequences, which a console shows only once asked to.
bool standard_output_is_terminal() {
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return ::GetConsoleMode(output, &mode) &&
           ::SetConsoleMode(output, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

}  // namespace ferrolo::platform
