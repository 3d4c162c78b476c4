// app/job_file.h — the job file: reading it into the job settings and writing the default one.
#pragma once

#include <string>

#include "core/job_settings.h"
#include "core/run_state.h"
#include "report/agente.h"

namespace ferrolo::app {

// Fills `job` from the job file `file_name`, writing the default file when none exists. True only when
// the file existed and every key was read. Reports to the agent log only.
bool Leggi_File_INI(const std::string& file_name, core::JobSettings& job, core::RunState& state,
                    report::TAgente& agent);

// Writes the default job file as `file_name`, replacing any file there; failures are not reported.
void Crea_File_INI(const std::string& file_name);

}  // namespace ferrolo::app
