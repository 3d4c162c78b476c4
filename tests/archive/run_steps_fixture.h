// tests/archive/run_steps_fixture.h — a run context on a temporary folder, for the steps of a run.
#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "core/job_settings.h"
#include "core/routines.h"
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

    using Lines = std::vector<std::string>;

    // The lines written after the banner, and the trace lines without their stamps; dates, times and
    // durations read "<when>".
    Lines run_log() const { return lines_after_banner(job.PARAM_3); }
    Lines extended_log() const { return lines_after_banner(job.PARAM_4); }
    Lines trace() const {
        Lines texts;
        for (const std::string& line : display.trace) {
            texts.push_back(without_clock(line.substr(line.find('\\') + 1)));
        }
        return texts;
    }

    static Lines lines_after_banner(const std::string& file) {
        Lines lines;
        for (const std::string& line : crlf_lines(read_file(file))) {
            lines.push_back(without_clock(line));
        }
        return lines.size() < 6 ? lines : Lines(lines.begin() + 6, lines.end());
    }
    static std::string without_clock(const std::string& line) {
        static const std::regex clock(R"((\d\d\.\d\d\.\d{4}-)?\d\d:\d\d:\d\d$)");
        return std::regex_replace(line, clock, "<when>");
    }

    TempFolder folder;
    core::JobSettings job;
    core::RunState state;
    report::TAgente agent;
    RecordingDisplay display;
    report::RunLog log{job, agent, display};
    core::RunContext run{job, state, display, log};
};

}  // namespace ferrolo::testing
