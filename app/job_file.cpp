#include "app/job_file.h"

namespace ferrolo::app {

bool Leggi_File_INI(const std::string&, core::JobSettings&, core::RunState&, report::TAgente&) { return false; }

void Crea_File_INI(const std::string&) {}

}  // namespace ferrolo::app
