// archive/remote_copy.h — the copy of the archive into a further folder, checked by sampling.
#pragma once

#include <string>

#include "core/run_context.h"

namespace ferrolo::archive {

// Copies the archive (PARAM_2) to `destination` + its file name and writes the copy's block to the logs.
// The copy is made under a temporary name beside the target, checked, and only then takes the target's
// name, so a failed copy never destroys the previous one.
void Copia_Su_Remoto(core::RunContext& run, const std::string& destination);

// True when sampled bytes of both files agree (files under 100 bytes are not sampled); false, with
// Zip_Error set, on a difference or when the files cannot be read.
bool Verifica(core::RunContext& run, const std::string& source, const std::string& target);

}  // namespace ferrolo::archive
