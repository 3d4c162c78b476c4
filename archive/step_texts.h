// archive/step_texts.h — texts the packing and the test steps share.
#pragma once

#include <string>
#include <string_view>

#include "core/routines.h"
#include "core/run_context.h"
#include "zip/zip_archiver.h"

namespace ferrolo::archive {

// What the packing and the test say when the archive's drive is full.
inline constexpr std::string_view kDiskFull = "Disco di destinazione pieno !";

// The operation's word for the window ("add") and for log lines ("Add"); empty for operations that have none.
std::string_view operation_label_word(zip::TZipProcessOperation operation);
std::string_view operation_log_word(zip::TZipProcessOperation operation);

// "Errore:" + message + " " + internal code + "," + public number + " processando: " + file.
std::string failure_line(const std::string& file_name, int native_error, int error_code,
                         const std::string& error_message);

// The file as the window shows it: whole below 60 characters, shortened to about 40 otherwise.
std::string shown_file_name(const std::string& file_name);

// The part of the test's and the copy's summaries that they share: the rule, "Stato:" and `status`; the end
// line; the start and end lines in both logs and the trace; the duration as "hh:nn:ss" after
// `duration_label` ("Durata test: "), right-aligned to 36 characters in the logs.
void write_outcome(core::RunLogLines& log, std::string_view status, const std::string& start_line,
                   std::string_view duration_label, core::Clock::duration elapsed);

}  // namespace ferrolo::archive
