#include "platform/process.h"

#include <io.h>
#include <windows.h>

#include <shellapi.h>

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
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            throw SystemError("find program file", "", static_cast<int>(::GetLastError()));
        }
        if (length < path.size()) {
            path.resize(length);
            return win32::to_utf8(path);
        }
        path.resize(path.size() * 2);
    }
}

void end_process(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}

// Placeholders until ShellExecuteW and CreateProcessW land.
void open_with_associated_program(const std::string&) {}

std::optional<std::string> find_program(const std::string&) {
    return std::nullopt;
}

ProgramOutcome run_program(const std::string&, const std::vector<std::string>&, std::chrono::milliseconds) {
    return {};
}

bool standard_output_is_terminal() {
    return ::_isatty(::_fileno(stdout)) != 0;
}

}  // namespace ferrolo::platform
