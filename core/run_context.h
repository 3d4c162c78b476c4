// core/run_context.h — what every step of a run works with: the job, its flags and counters, the window
// and the lines it writes to the logs.
#pragma once

#include <string_view>

#include "core/job_settings.h"
#include "core/run_state.h"
#include "core/window_display.h"

namespace ferrolo::core {

// The run's lines: the run log (PARAM_3), the extended log (PARAM_4) and the trace. Steps write through
// this, so they need not know how the logs are kept.
class RunLogLines {
public:
    // Appends `text` as one line to the run log (mirrored to the agent log) and/or the extended log.
    virtual void Append_Log(bool to_run_log, bool to_extended_log, std::string_view text) = 0;
    // One time-stamped line in the window's trace, copied to the agent log.
    virtual void Tracing_Out(std::string_view text) = 0;

protected:
    ~RunLogLines() = default;
};

struct RunContext {
    JobSettings& job;
    RunState& state;
    Window_Display& display;
    RunLogLines& log;
};

}  // namespace ferrolo::core
