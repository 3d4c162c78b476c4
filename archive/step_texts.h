// archive/step_texts.h — texts the packing and the test steps share.
#pragma once

#include <string>
#include <string_view>

#include "archive/zip_archiver.h"

namespace ferrolo::archive {

// The operation's word for the window ("add") and for log lines ("Add"); empty for operations that have none.
std::string_view operation_label_word(TZipProcessOperation operation);
std::string_view operation_log_word(TZipProcessOperation operation);

// "Errore:" + message + " " + internal code + "," + public number + " processando: " + file.
std::string failure_line(const std::string& file_name, int native_error, int error_code,
                         const std::string& error_message);

// The file as the window shows it: whole below 60 characters, shortened to about 40 otherwise.
std::string shown_file_name(const std::string& file_name);

}  // namespace ferrolo::archive
