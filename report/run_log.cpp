#include "report/run_log.h"

#include "core/exit_status.h"
#include "core/routines.h"
#include "platform/code_page.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/system_error.h"
#include "report/log_banner.h"

namespace ferrolo::report {

namespace {
constexpr std::string_view kEndMarker = "<EOL>";
constexpr size_t kLongestTraceText = 150;
}  // namespace

void RunLog::Crea_Log(const std::string& file_name) {
    if (file_name.empty()) {
        return;
    }
    try {
        create_log_file(file_name);
    } catch (const platform::SystemError&) {
        // A run that cannot keep its log must not run: the scheduler sees status 3.
        agent_.WriteWarning("F_Main\\Crea_Log\\impossibile creare il file: " + file_name);
        platform::end_process(static_cast<int>(core::ExitStatus::Fatal));
    }
}

// A name's control characters could forge lines or terminal commands: every line is written printable.
void RunLog::Append_Log(bool to_run_log, bool to_extended_log, std::string_view text) {
    const std::string line = core::printable(text);
    if (to_run_log) {
        agent_.WriteMessage("F_Main\\Append_Log\\" + line);
        append_line(job_.PARAM_3, line);
    }
    if (to_extended_log) {
        append_line(job_.PARAM_4, line);
    }
}

void RunLog::append_line(const std::string& file_name, std::string_view text) {
    try {
        platform::File file = platform::File::open(file_name, platform::File::Mode::Append,
                                                   platform::File::Allowed::RegularFileOrCharacterDevice);
        file.write(platform::to_system_code_page(text) + "\r\n");
        file.close();
    } catch (const platform::SystemError&) {
        lines_lost_ = true;
        agent_.WriteWarning("F_Main\\Append_Log\\impossibile aggiornare il file: " + file_name);
    }
}

void RunLog::Tracing_Out(std::string_view text) {
    std::string shown = core::printable(text);
    // Removing one marker can join the pieces of another, so repeat until none is left.
    for (size_t found; (found = shown.find(kEndMarker)) != std::string::npos;) {
        shown.erase(found, kEndMarker.size());
    }
    shown.resize(core::first_characters(shown, kLongestTraceText).size());
    display_.append_trace(core::trace_stamp(platform::local_now()) + "\\" + shown);
    agent_.WriteMessage("F_Main\\Tracing:" + shown);
    display_.process_messages();
}

}  // namespace ferrolo::report
