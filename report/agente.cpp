#include "report/agente.h"

#include "core/routines.h"
#include "platform/code_page.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/system_error.h"
#include "report/file_utilities.h"
#include "report/log_banner.h"

namespace ferrolo::report {

namespace {
// A log past this size is started afresh; there is no rotation.
constexpr int64_t kLargestKeptLog = 5'000'000;
const std::string kRule(80, '-');
}  // namespace

void TAgente::StartUp() {
    if (Path_Agente.empty()) {
        Path_Agente = std::string(platform::folder_part(platform::program_path()));
    }
    if (FileName.empty()) {
        FileName = Name;
    }
    LogFileName_ = Path_Agente + FileName + ".LOG";
    if (!ActiveLog) {
        return;
    }
    MessageCount_ = 0;
    WarningCount_ = 0;
    if (TotalFilesSize(LogFileName_) > kLargestKeptLog || !platform::file_exists(LogFileName_)) {
        NewLogFile();
    }
    try {
        log_ = platform::File::open(LogFileName_, platform::File::Mode::Append);
        const std::string stamp = prefix();
        write_lines("\r\n\r\n" + stamp + "Start Up AGENTE\r\n" + stamp + "Who: " + ApplicationName + "\r\n");
    } catch (const platform::SystemError&) {
        fail("AGENTE: impossibile fare lo start-up del file di log !");
    }
    ActiveLog = true;
    started_ = true;
}

void TAgente::NewLogFile() {
    try {
        create_log_file(LogFileName_);
    } catch (const platform::SystemError&) {
        fail("AGENTE: impossibile creare file di log !");
    }
}

bool TAgente::may_write() const {
    return !LogFileName_.empty() && ActiveLog && started_;
}

void TAgente::WriteMessage(std::string_view text) {
    if (!may_write() || text.empty()) {
        return;
    }
    ++MessageCount_;
    try {
        write_lines(prefix() + std::string(text) + "\r\n");
    } catch (const platform::SystemError&) {
        fail("AGENTE: impossibile aggiornare il file di log !");
    }
}

void TAgente::WriteWarning(std::string_view text) {
    if (!may_write() || text.empty()) {
        return;
    }
    ++WarningCount_;
    try {
        write_lines("\r\n" + kRule + "\r\nWarning Agente !\r\n" + prefix() + std::string(text) + "\r\n" +
                    kRule + "\r\n\r\n");
    } catch (const platform::SystemError&) {
        fail("AGENTE: impossibile aggiornare il file di log !");
    }
}

void TAgente::ShutDown() {
    if (!may_write()) {
        return;
    }
    try {
        write_lines(prefix() + "Num. of messages: " + std::to_string(MessageCount_) + "\r\n");
        write_lines(prefix() + "Num. of warnings: " + std::to_string(WarningCount_) + "\r\n");
        write_lines(prefix() + "ShutDown Agente of " + ApplicationName + "\r\n");
        log_.close();
    } catch (const platform::SystemError&) {
        fail("AGENTE: impossibile fare lo shut-down del file di log !");
    }
    ActiveLog = false;
    started_ = false;
    LogFileName_.clear();
}

std::string TAgente::prefix() const {
    const platform::LocalTime now = platform::local_now();
    return VersionOfApplication + "|" + core::Date_Today(now) + "|" + core::Time_Now(now) + "|";
}

// Every block goes out in one unbuffered write, so it is in the file when the call returns.
void TAgente::write_lines(std::string_view text) {
    log_.write(platform::to_system_code_page(text));
}

void TAgente::fail(const std::string& message) {
    started_ = false;
    if (Alert) {
        Alert(message);
    }
    throw AgentFailure(message);
}

}  // namespace ferrolo::report
