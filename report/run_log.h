// report/run_log.h — the run's two text logs and its trace, and the context every step of a run gets.
#pragma once

#include <string>
#include <string_view>

#include "core/job_settings.h"
#include "core/run_state.h"
#include "core/window_display.h"
#include "report/agente.h"

namespace ferrolo::report {

// The rule that frames the job header and every summary in the logs.
inline const std::string kRuleLine(68, '-');

// `label` followed by today's date and the time now, as the summaries write their start and end.
std::string stamped_line(std::string_view label);

// Writes the run log (PARAM_3) and the extended log (PARAM_4), opening and closing the file for every
// line, and the trace, which the window shows and the agent keeps.
class RunLog {
public:
    RunLog(const core::JobSettings& job, TAgente& agent, core::Window_Display& display)
        : job_(job), agent_(agent), display_(display) {}

    // Creates `file_name` afresh with the banner. A log that cannot be created ends the process
    // (status 3) after a warning in the agent log.
    void Crea_Log(const std::string& file_name);
    // Appends `text` as one line to the run log (mirrored to the agent log) and/or the extended log.
    void Append_Log(bool to_run_log, bool to_extended_log, std::string_view text);
    // One time-stamped line in the window's trace, copied to the agent log.
    void Tracing_Out(std::string_view text);

    // True once a line could not be appended: the run goes on, but its logs are not whole.
    bool lines_lost() const { return lines_lost_; }

private:
    void append_line(const std::string& file_name, std::string_view text);

    const core::JobSettings& job_;
    TAgente& agent_;
    core::Window_Display& display_;
    bool lines_lost_ = false;
};

// What every step of a run works with: the job, its flags and counters, the window and the logs.
struct RunContext {
    core::JobSettings& job;
    core::RunState& state;
    core::Window_Display& display;
    RunLog& log;
};

}  // namespace ferrolo::report
