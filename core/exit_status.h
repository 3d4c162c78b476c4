// core/exit_status.h — what the process tells its scheduler when it ends.
#pragma once

namespace ferrolo::core {

enum class ExitStatus : int {
    Clean = 0,        // the run ended with no error
    StepErrors = 1,   // the run ended, but packing, the test, a copy or the mail reported errors
    NotRunnable = 2,  // the job could not run (usage shown, or a job parameter missing)
    Fatal = 3,        // a log could not be created or written, or an unexpected error ended the run
};

}  // namespace ferrolo::core
