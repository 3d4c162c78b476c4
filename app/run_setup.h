// app/run_setup.h — what a run derives from its job: the time-stamped archive name and the report's file
// name.
#pragma once

#include <string>
#include <string_view>

#include "platform/clock.h"

namespace ferrolo::app {

// The archive name with the moment stamped in: folder + base + "-" + "yyyymmdd-hhnnss" + extension, the base
// ending at the name's first dot and the extension starting at its last. A name without a dot keeps all of
// it as the base.
std::string time_stamped_name(std::string_view archive, const platform::LocalTime& moment);

// The report's file name beside the extended log: its name up to the first dot + ".PDF", or the whole
// name + ".PDF" when it has no dot or is itself such a name ("x.PDF"), so the report is never written over
// the log it is made from.
std::string report_file_name(std::string_view extended_log);

}  // namespace ferrolo::app
