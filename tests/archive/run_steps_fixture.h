// tests/archive/run_steps_fixture.h — a run context on a temporary folder, for the steps of a run.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/job_settings.h"
#include "core/run_state.h"
#include "report/agente.h"
#include "report/run_log.h"
#include "tests/support/recording_display.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::testing {

class RunStepsTest : public ::testing::Test {
protected:
    RunStepsTest() {
        job.PARAM_2 = folder / "lun.zip";
        job.PARAM_3 = folder / "log.txt";
        job.PARAM_4 = folder / "log_ext.txt";
        agent.Path_Agente = folder.path();
        agent.FileName = "Ferrolo";
        agent.StartUp();
        log.Crea_Log(job.PARAM_3);
        log.Crea_Log(job.PARAM_4);
    }

    // The lines written after the banner.
    std::vector<std::string> run_log() const { return lines_after_banner(job.PARAM_3); }
    std::vector<std::string> extended_log() const { return lines_after_banner(job.PARAM_4); }
    // The trace lines without their time stamps.
    std::vector<std::string> trace() const {
        std::vector<std::string> texts;
        for (const std::string& line : display.trace) {
            texts.push_back(line.substr(line.find('\\') + 1));
        }
        return texts;
    }

    static std::vector<std::string> lines_after_banner(const std::string& file) {
        const auto lines = crlf_lines(read_file(file));
        return lines.size() < 6 ? lines : std::vector<std::string>(lines.begin() + 6, lines.end());
    }

    TempFolder folder;
    core::JobSettings job;
    core::RunState state;
    report::TAgente agent;
    RecordingDisplay display;
    report::RunLog log{job, agent, display};
    report::RunContext run{job, state, display, log};
};

// True when `line` is `label` followed by a date and time as the logs write them.
inline bool is_stamped(const std::string& line, const std::string& label) {
    return line.size() == label.size() + 19 && line.compare(0, label.size(), label) == 0 &&
           line[label.size() + 2] == '.' && line[label.size() + 10] == '-' && line[label.size() + 13] == ':';
}

}  // namespace ferrolo::testing
