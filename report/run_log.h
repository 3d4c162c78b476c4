// report/run_log.h — the run's two text logs and its trace.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "core/job_settings.h"
#include "core/run_context.h"
#include "core/window_display.h"
#include "platform/file.h"
#include "report/agente.h"

namespace ferrolo::report {

// Writes the run log (PARAM_3) and the extended log (PARAM_4), and the trace, which the window shows and
// the agent keeps. Each line goes to the file its log's name then names, as if the file were opened for it.
class RunLog final : public core::RunLogLines {
public:
    RunLog(const core::JobSettings& job, TAgente& agent, core::Window_Display& display)
        : job_(job), agent_(agent), display_(display) {}

    // Creates `file_name` afresh with the banner. A log that cannot be created ends the process
    // (status 3) after a warning in the agent log.
    void Crea_Log(const std::string& file_name);
    // Appends `text` as one line to the run log (mirrored to the agent log) and/or the extended log.
    void Append_Log(bool to_run_log, bool to_extended_log, std::string_view text) override;
    // One time-stamped line in the window's trace, copied to the agent log.
    void Tracing_Out(std::string_view text) override;

    // True once a line could not be appended: the run goes on, but its logs are not whole.
    bool lines_lost() const { return lines_lost_; }

private:
    void append_line(const std::string& file_name, std::string_view text);

    const core::JobSettings& job_;
    TAgente& agent_;
    core::Window_Display& display_;
    bool lines_lost_ = false;
    // The logs stay open between lines: opening and closing a file for each of a large run's lines cost
    // more than writing them.
    std::map<std::string, platform::File, std::less<>> open_logs_;
};

}  // namespace ferrolo::report
