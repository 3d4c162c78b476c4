#include "archive/step_texts.h"

#include "core/routines.h"

namespace ferrolo::archive {

namespace {
struct OperationWords {
    std::string_view label;
    std::string_view log;
};

OperationWords words_of(zip::TZipProcessOperation operation) {
    switch (operation) {
        case zip::TZipProcessOperation::poAdd:
            return {"add", "Add"};
        case zip::TZipProcessOperation::poMove:
            return {"move", "Move"};
        case zip::TZipProcessOperation::poDelete:
            return {"delete", "Delete"};
        case zip::TZipProcessOperation::poUpdate:
            return {"update", "Update"};
        case zip::TZipProcessOperation::poExtract:
            return {"extract", "Extract"};
        case zip::TZipProcessOperation::poTest:
            return {"test", "Test"};
        case zip::TZipProcessOperation::poMakeSFX:
            return {"makesfx", "Makesfx"};
        case zip::TZipProcessOperation::poRename:
        case zip::TZipProcessOperation::poChangeAttr:
        case zip::TZipProcessOperation::poChangeComment:
            break;
    }
    return {};
}
}  // namespace

std::string_view operation_label_word(zip::TZipProcessOperation operation) {
    return words_of(operation).label;
}

std::string_view operation_log_word(zip::TZipProcessOperation operation) {
    return words_of(operation).log;
}

std::string failure_line(const std::string& file_name, int native_error, int error_code,
                         const std::string& error_message) {
    return "Errore:" + error_message + " " + std::to_string(native_error) + "," + std::to_string(error_code) +
           " processando: " + file_name;
}

std::string shown_file_name(const std::string& file_name) {
    constexpr size_t kShownWhole = 60;
    return file_name.size() < kShownWhole ? file_name : core::Shorten_Text(file_name, 40);
}

void write_outcome(core::RunLogLines& log, std::string_view status, const std::string& start_line,
                   std::string_view duration_label, core::Clock::duration elapsed) {
    constexpr size_t kLabelWidth = 36;
    log.Append_Log(true, true, core::kRuleLine);
    log.Append_Log(true, true, "Stato:");
    log.Tracing_Out(status);
    log.Append_Log(true, true, status);
    const std::string end_line = core::stamped_line("                        Fine copia: ");
    log.Tracing_Out(end_line);
    log.Append_Log(true, true, start_line);
    log.Tracing_Out(start_line);
    log.Append_Log(true, true, end_line);
    log.Tracing_Out(end_line);
    const std::string duration = core::duration_text(elapsed);
    log.Append_Log(
        true, true,
        std::string(kLabelWidth - duration_label.size(), ' ') + std::string(duration_label) + duration);
    log.Tracing_Out(std::string(duration_label) + duration);
}

}  // namespace ferrolo::archive
