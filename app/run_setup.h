// app/run_setup.h — what a run derives from its job: the time-stamped archive name, the mask of earlier
// archives, the report's file name and the volume size.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "archive/zip_archiver.h"
#include "platform/clock.h"

namespace ferrolo::app {

// The archive name with the moment stamped in: folder + base + "-" + "yyyymmdd-hhnnss" + extension, the base
// ending at the name's first dot and the extension starting at its last. A name without a dot keeps all of
// it as the base.
std::string time_stamped_name(std::string_view archive, const platform::LocalTime& moment);

// The mask of the archive's earlier copies, volumes and time-stamped siblings: folder + the name up to its
// first ".zip" (in any case) + "*.Z*". nullopt when the name holds no ".zip" after a base, so the deletion
// never widens to every archive of the folder.
std::optional<std::string> earlier_archives_mask(std::string_view archive);

// The report's file name beside the extended log: its name up to the first dot + ".PDF", or the whole
// name + ".PDF" when it has no dot, so the report is never written over the log it is made from.
std::string report_file_name(std::string_view extended_log);

// The engine's volume size for the job's SIZE_SPLIT: a keyword ("VS700MB") selects its size; a number of
// bytes (decimal, or hexadecimal after "$", "x" or "0x") selects a custom size, taken modulo 2^32, and
// text that is no number gives 1048576. nullopt for a "VS" text that is no keyword: the size stays as set.
struct VolumeSetting {
    archive::TZipVolumeSize size = archive::TZipVolumeSize::vsCustom;
    int64_t custom_bytes = 0;
};
std::optional<VolumeSetting> split_volume_size(std::string_view SIZE_SPLIT);

}  // namespace ferrolo::app
