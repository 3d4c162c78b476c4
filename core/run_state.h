// core/run_state.h — the flags and counters the steps of a run share.
#pragma once

#include <cstdint>

namespace ferrolo::core {

struct RunState {
    // Flags. Go clears Stop_Requested and Zip_Error when its packing begins.
    bool Zip_Started = false;         // the packing block has begun since start-up or "Inizia"
    bool Stop_Requested = false;      // "Annulla" or "Chiudi" was pressed
    bool Zip_Error = false;           // packing, a full disk or a copy check went wrong
    bool Test_Error = false;          // the archive test found an error
    bool Shutdown_Requested = false;  // closing must power the machine off
    bool Copy_Error = false;          // a remote copy failed (decides the exit status only)
    bool Service_Error = false;       // a service did not stop, or did not start again (exit status only)
    bool Mail_Error = false;          // the report e-mail was not sent (decides the exit status only)
    // The archive may not replace a good copy: writing it failed on the archive's side, or the packing
    // selected nothing. Go clears it with Zip_Error.
    bool archive_unsound = false;

    // Counters.
    int64_t Bytes_Zipped = 0;
    int64_t Files_Zipped = 0;
    int64_t Files_Failed = 0;
    int64_t Files_Tested = 0;
    int64_t Test_Failures = 0;
};

}  // namespace ferrolo::core
