// archive/packing.h — the packing of the backup: deletion of earlier archives, the job header, the source
// and include masks packed with the engine, and the packing summary.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/run_context.h"
#include "zip/zip_archiver.h"

namespace ferrolo::archive {

// Packs the job's source mask (PARAM_1) and include masks into the archive (PARAM_2) with `Zip`, after
// deleting earlier archives when the job asks for it and writing the job header; ends with the packing
// summary in both logs and the trace. Failures of single files are counted and logged, not raised.
void pack_backup(core::RunContext& run, zip::TZipArchiver& Zip);

// The mask of the archive's earlier copies, volumes and time-stamped siblings: folder + the name up to its
// first ".zip" (in any case) + "*.Z*". nullopt when the name holds no ".zip" after a base, so the deletion
// never widens to every archive of the folder.
std::optional<std::string> earlier_archives_mask(std::string_view archive);

// The engine's volume size for the job's SIZE_SPLIT: a keyword ("VS700MB") selects its size; a number of
// bytes (decimal, or hexadecimal after "$", "x" or "0x") selects a custom size, taken modulo 2^32, and
// text that is no number gives 1048576. nullopt for a "VS" text that is no keyword: the size stays as set.
struct VolumeSetting {
    zip::TZipVolumeSize size = zip::TZipVolumeSize::vsCustom;
    int64_t custom_bytes = 0;
    bool understood = true;  // false for no number, or a number below the smallest volume
};
std::optional<VolumeSetting> split_volume_size(std::string_view SIZE_SPLIT);

// True for the names earlier archives and their volumes have: extension ".zip" or ".z" and digits, in
// any letter case.
bool is_archive_name(std::string_view name);

}  // namespace ferrolo::archive
