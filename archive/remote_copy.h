// archive/remote_copy.h — the copy of the archive into a further folder, checked whole.
#pragma once

#include <string>

#include "core/run_context.h"

namespace ferrolo::archive {

// Copies the archive (PARAM_2) to `destination` + its file name and writes the copy's block to the logs.
// The copy is made under a temporary name beside the target, checked, and only then takes the target's
// name, so a failed copy never destroys the previous one. An archive marked unsound is not copied at all:
// one line says so, and Copy_Error is set.
void Copia_Su_Remoto(core::RunContext& run, const std::string& destination);

// The file a copy of `archive` to `destination` is written as: in that folder, also when it is named
// without its trailing separator.
std::string copy_target(const std::string& destination, const std::string& archive);

// True when both files hold the same bytes, `target` read from its device; false, with Zip_Error set, on
// a difference or when the files cannot be read.
bool Verifica(core::RunContext& run, const std::string& source, const std::string& target);

}  // namespace ferrolo::archive
