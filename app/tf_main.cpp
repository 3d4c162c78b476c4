#include "app/tf_main.h"

#include <algorithm>
#include <exception>

#include "app/job_file.h"
#include "app/run_setup.h"
#include "archive/archive_test_step.h"
#include "archive/packing.h"
#include "archive/remote_copy.h"
#include "core/routines.h"
#include "platform/code_page.h"
#include "platform/file_system.h"
#include "platform/power.h"
#include "platform/process.h"
#include "report/file_utilities.h"
#include "report/pdf_report.h"

namespace ferrolo::app {

namespace {

using core::Label;
using core::Timer;

constexpr std::string_view kApplicationTitle = "Ferrolo";
constexpr std::chrono::milliseconds kStartDelay{10000};
constexpr std::chrono::milliseconds kShutDownDelay{5000};
// The service control's name buffer, terminator included.
constexpr size_t kServiceNameSize = 500;
constexpr std::string_view kUsage =
    "Uso: Ferrolo c:\\hp\\*.* c:\\temp\\lun.zip c:\\temp\\log.txt [c:\\temp\\log_ext.txt]\n"
    "oppure:\n"
    "Ferrolo lun.ini";

// The extension from the last dot of the name, dot included.
std::string_view extension_of(std::string_view file_name) {
    const size_t dot = file_name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : file_name.substr(dot);
}

// The file of `folder` named `name` exactly, or else in any letter case, as users of case-blind file
// systems expect; the name is taken literally, so "*" and "?" match only themselves.
std::optional<std::string> file_named(const std::string& folder, const std::string& name) {
    if (platform::file_exists(folder + name)) {
        return folder + name;
    }
    const std::string wanted = platform::upper_ascii(name);
    for (const platform::DirEntry& entry : platform::find_files(folder, "*")) {
        if (!entry.is_folder() && platform::upper_ascii(entry.name) == wanted) {
            return folder + entry.name;
        }
    }
    return std::nullopt;
}

}  // namespace

CommandLine job_parameters(const std::vector<std::string>& arguments) {
    CommandLine parameters;
    for (size_t n = 1; n <= parameters.size() && n < arguments.size(); ++n) {
        parameters[n - 1] = std::string(core::trim(arguments[n]));
    }
    return parameters;
}

TF_Main::TF_Main(core::Window_Display& display, std::string program_file, const CommandLine& parameters,
                 std::chrono::milliseconds service_wait_limit)
    : display_(display),
      program_file_(std::move(program_file)),
      log_(job_, Agente, display),
      service_manager_(platform::system_service_manager(service_wait_limit)),
      services_(run_context_, *service_manager_, service_wait_limit) {
    // The backup keeps full paths; the form gives both engines normal compression until the run asks for
    // more.
    for (zip::TZipArchiver* engine : {&Zip, &ZipTest}) {
        engine->Options.StorePath = zip::TZipStorePathMode::spFullPath;
        engine->SetCompressionLevel(zip::TZipCompressionLevel::clNormal);
    }
    for (zip::TZipArchiver* engine : {&Zip, &ZipTest, &Zip_Ext}) {
        // Asked only where a step has no failure handler of its own, as packing the report has none.
        engine->AskUser = [this](std::string_view text, zip::TZipActionChoices choices) {
            return ask_zip_action(text, choices);
        };
    }
    job_.PARAM_1 = parameters[0];
    job_.PARAM_2 = parameters[1];
    job_.PARAM_3 = parameters[2];
    job_.PARAM_4 = parameters[3];
}

zip::TZipAction TF_Main::ask_zip_action(std::string_view text, zip::TZipActionChoices choices) {
    const core::MessageButtons buttons = choices == zip::TZipActionChoices::AbortIgnore
                                             ? core::MessageButtons::AbortIgnore
                                             : core::MessageButtons::AbortRetryIgnore;
    switch (display_.show_message(kApplicationTitle, text, buttons)) {
        case core::MessageAnswer::Retry:
            return zip::TZipAction::zaRetry;
        case core::MessageAnswer::Ignore:
            return zip::TZipAction::zaIgnore;
        default:
            return zip::TZipAction::zaAbort;
    }
}

void TF_Main::FormCreate() {
    Program_Dir = std::string(platform::folder_part(program_file_));
    Program_Version = report::GetFileVersion(program_file_);
    const auto program_time = report::GetFileDateTime(program_file_);
    Program_Date = program_time ? core::Date_Today(platform::to_local_time(*program_time)) : "??.??.????";

    Agente.VersionOfApplication = Program_Version;
    Agente.Path_Agente = Program_Dir;
    Agente.ApplicationName = "Ferrolo";
    Agente.FileName = "Ferrolo";
    Agente.Alert = [this](std::string_view message) {
        display_.show_message(kApplicationTitle, message, core::MessageButtons::Ok);
    };
    Agente.StartUp();
    Agente.WriteMessage("F_Main\\Formcreate\\Versione del programma: " + Program_Version);
    Agente.WriteMessage("F_Main\\Formcreate\\Data versione del programma: " + Program_Date);
    Agente.WriteMessage("F_Main\\Formcreate\\Versione ZipLibrary: " + Zip.CurrentVersion());

    state_.Zip_Started = false;
    display_.set_caption(kApplicationTitle);
    display_.select_first_tab();

    if (core::trim(job_.PARAM_1).empty()) {
        show_usage();
        return;
    }
    if (!choose_job_file()) {
        const std::string default_name = "Ferrolo.INI";
        Leggi_File_INI(file_named(Program_Dir, default_name).value_or(Program_Dir + default_name), job_,
                       state_, Agente);
    }
    if (!job_is_runnable()) {
        show_usage();
        return;
    }
    display_.set_label(Label::l_stato, "Procedure preliminari in corso...");
    display_.process_messages();
    display_.arm_timer(Timer::T_Go, kStartDelay);
}

// Job-file mode: PARAM_1 names an ".INI" file in the program folder, in any letter case. The job file
// then supplies all.
bool TF_Main::choose_job_file() {
    const std::string argument = job_.PARAM_1;
    if (platform::upper_ascii(extension_of(argument)) != ".INI") {
        return false;
    }
    const auto job_file = platform::folder_part(argument).empty() ? file_named(Program_Dir, argument)
                                                                  : std::optional<std::string>();
    if (!job_file && !platform::file_exists(Program_Dir + argument)) {
        return false;
    }
    clear_parameters();
    Leggi_File_INI(job_file.value_or(Program_Dir + argument), job_, state_, Agente);
    return true;
}

bool TF_Main::job_is_runnable() const {
    return platform::folder_exists(std::string(platform::folder_part(job_.PARAM_1))) &&
           !core::trim(job_.PARAM_2).empty() && !core::trim(job_.PARAM_3).empty();
}

void TF_Main::show_usage() {
    display_.show_message(kApplicationTitle, kUsage, core::MessageButtons::Ok);
    clear_parameters();
    display_.enable_start(false);
    display_.disarm_timer(Timer::T_Go);
    exit_status_ = core::ExitStatus::NotRunnable;
}

void TF_Main::clear_parameters() {
    for (std::string* parameter : {&job_.PARAM_1, &job_.PARAM_2, &job_.PARAM_3, &job_.PARAM_4}) {
        parameter->clear();
    }
}

// A run started by hand is the run the start timer was waiting for: left armed, it would start a second
// one nested in this, which would test and copy an archive still being written.
void TF_Main::btn_startClick() {
    display_.disarm_timer(Timer::T_Go);
    state_.Zip_Started = false;
    run();
}

void TF_Main::btn_annullaClick() {
    state_.Stop_Requested = true;
}

void TF_Main::btn_chiudiClick() {
    state_.Stop_Requested = true;
    Close();
}

void TF_Main::T_GoTimer() {
    display_.disarm_timer(Timer::T_Go);
    run();
}

void TF_Main::T_ShutDownTimer() {
    display_.disarm_timer(Timer::T_ShutDown);
    if (!job_.SHUTDOWN) {
        return;
    }
    display_.set_label(Label::l_stato, "Spegnimento in corso...");
    Append_Log("Richiesto down del sistema.");
    Agente.WriteMessage("F_Main\\Richiesto spegnimento di Windows");
    state_.Shutdown_Requested = true;
    Close();
}

void TF_Main::close_requested() {
    Close();
}

// The boundary of a run: an error that no step caught ends the run here and is shown; the window stays
// open with "Inizia" disabled, and the process will end with the fatal status.
void TF_Main::run() {
    ++runs_in_progress_;
    try {
        Go();
    } catch (const report::AgentFailure&) {
        // The agent has shown why; without its log the program ends, once the run has wound up.
        exit_status_ = core::ExitStatus::Fatal;
        close_pending_ = true;
    } catch (const std::exception& error) {
        exit_status_ = core::ExitStatus::Fatal;
        display_.show_message(kApplicationTitle, error.what(), core::MessageButtons::Ok);
    }
    --runs_in_progress_;
    if (runs_in_progress_ == 0 && close_pending_) {
        close_pending_ = false;
        Close();
    }
}

void TF_Main::Go() {
    core::Azzera_Campi_Video(display_);
    if (core::trim(job_.PARAM_1).empty() || core::trim(job_.PARAM_2).empty() ||
        core::trim(job_.PARAM_3).empty() || core::trim(job_.PARAM_4).empty()) {
        exit_status_ = core::ExitStatus::NotRunnable;
        return;
    }
    if (job_.NOMEFILE_AUTOMATICO) {
        job_.PARAM_2 = time_stamped_name(job_.PARAM_2, platform::local_now());
    }
    display_.set_label(Label::l_to, job_.PARAM_2);
    display_.enable_start(false);
    const bool packs = !state_.Zip_Started;
    if (packs) {
        begin_packing_block();
        display_.set_label(Label::l_stato, "Crea log...");
        log_.Crea_Log(job_.PARAM_3);
        log_.Crea_Log(job_.PARAM_4);
    }
    // Whatever ends the run from here on, the services stopped for it are started again first.
    try {
        if (packs) {
            control_services(ServiceRequest::Stop);
            archive::pack_backup(run_context_, Zip);
        }
        const std::string report_file =
            std::string(platform::folder_part(job_.PARAM_4)) + report_file_name(job_.PARAM_4);
        if (job_.TEST_ZIP) {
            archive::Test_Zip(run_context_, ZipTest);
        }
        if (!job_.SPLITTING) {
            copy_to_remote_folders();
        }
        report::Genera_File_PDF(run_context_, Agente, job_.PARAM_4, report_file);
        const std::string report_zip = report::Zippo_File_PDF(Zip_Ext, report_file);
        mail_report(platform::file_exists(report_zip) ? report_zip : report_file);
        display_.enable_start(true);
        MailLog.Active = false;
        control_services(ServiceRequest::Start);
    } catch (const std::exception& error) {
        // The logs say why the run ended here, before the services come back (again, for those that
        // already had: an error among the starts must not leave the others stopped).
        const std::string line = "Errore:" + std::string(error.what());
        Tracing_Out(line);
        Append_Log(line);
        control_services(ServiceRequest::Start);
        throw;
    }
    end_run();
}

void TF_Main::begin_packing_block() {
    state_.Zip_Started = true;
    state_.Stop_Requested = false;
    state_.Zip_Error = false;
    state_.Copy_Error = false;
    state_.Service_Error = false;
    state_.archive_unsound = false;
    state_.Bytes_Zipped = 0;
    state_.Files_Zipped = 0;
    state_.Files_Failed = 0;
}

// The packed report when it was made, else the report itself, both beside the extended log.
void TF_Main::mail_report(const std::string& attachment) {
    notify::ReportMail(run_context_, Agente, SMTP, SMTPMsg, MailLog).Invia_SMTP(attachment);
}

void TF_Main::copy_to_remote_folders() {
    for (const std::string& destination : job_.COPIA_SU_REMOTO) {
        if (!core::trim(destination).empty()) {
            archive::Copia_Su_Remoto(run_context_, destination);
        }
    }
}

// The service control takes names of fewer than 500 characters; a longer one is refused, and said so.
void TF_Main::control_services(ServiceRequest request) {
    for (const std::string& name : job_.SERVIZIO) {
        if (name.empty()) {
            continue;
        }
        if (name.size() >= kServiceNameSize) {
            const std::string line =
                std::string(request == ServiceRequest::Stop
                                ? "Nome del servizio troppo lungo, servizio non fermato: "
                                : "Nome del servizio troppo lungo, servizio non avviato: ") +
                name;
            Tracing_Out(line);
            Append_Log(line);
        } else if (request == ServiceRequest::Stop) {
            services_.ArrestaServizio(name);
        } else {
            services_.AvviaServizio(name);
        }
    }
}

void TF_Main::end_run() {
    // A backup stopped by the user is incomplete, which the scheduler must not take for success; logs
    // that lost lines are a failure of their own.
    const bool incomplete = state_.Zip_Error || state_.Test_Error || state_.Copy_Error ||
                            state_.Service_Error || state_.Mail_Error || state_.Stop_Requested;
    exit_status_ = log_.lines_lost() ? core::ExitStatus::Fatal
                   : incomplete      ? core::ExitStatus::StepErrors
                                     : core::ExitStatus::Clean;
    // The power-off follows from the shut-down timer, unless the window is closed before it fires.
    if (job_.SHUTDOWN) {
        display_.set_label(Label::l_stato, "Richiesta spegnimento del sistema, attendere...");
        display_.arm_timer(Timer::T_ShutDown, kShutDownDelay);
        return;
    }
    if (job_.MOSTRA_RIS_COPIE) {
        Tracing_Out("Mostro il file di log delle copie.");
        platform::open_with_associated_program(job_.PARAM_3);
    }
    Close();
}

// Closing waits for a run in progress to finish, so the agent is shut down once, after its last use.
void TF_Main::Close() {
    if (closed_) {
        return;
    }
    if (runs_in_progress_ > 0) {
        close_pending_ = true;
        return;
    }
    closed_ = true;
    FormClose();
    display_.close();
}

// The agent's closing lines are written before the power-off is asked for.
void TF_Main::FormClose() {
    Agente.ShutDown();
    if (state_.Shutdown_Requested) {
        platform::Shutdown_System();
    }
}

}  // namespace ferrolo::app
