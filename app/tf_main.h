// app/tf_main.h — the main window's logic: start-up, the buttons and timers, the run and the close.
#pragma once

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/services.h"
#include "core/exit_status.h"
#include "core/job_settings.h"
#include "core/run_state.h"
#include "core/window_display.h"
#include "mail/mail_message.h"
#include "mail/smtp_client.h"
#include "notify/report_mail.h"
#include "platform/services.h"
#include "report/agente.h"
#include "report/run_log.h"
#include "zip/zip_archiver.h"

namespace ferrolo::app {

// How long a service's stop or start is waited for; systemd's own stop time-out is 90 s.
inline constexpr std::chrono::milliseconds kServiceWaitLimit{120'000};

// The first four command-line arguments after the program's name, trimmed; missing ones are empty.
using CommandLine = std::array<std::string, 4>;
CommandLine job_parameters(const std::vector<std::string>& arguments);

// Owns the job, the run state, the log agent and the engines for the life of the process. The front end
// calls FormCreate once, then delivers button presses and timer ticks until the window is closed.
class TF_Main final : public core::WindowEvents {
public:
    TF_Main(core::Window_Display& display, std::string program_file, const CommandLine& parameters,
            std::chrono::milliseconds service_wait_limit = kServiceWaitLimit);

    void FormCreate();

    void btn_startClick() override;
    void btn_annullaClick() override;
    void btn_chiudiClick() override;
    void T_GoTimer() override;
    void T_ShutDownTimer() override;
    void close_requested() override;

    // What the process tells its scheduler when the window has closed.
    core::ExitStatus exit_status() const { return exit_status_; }
    const core::JobSettings& job() const { return job_; }
    const core::RunState& run_state() const { return state_; }

private:
    enum class ServiceRequest { Stop, Start };

    void run();
    void Go();
    void begin_packing_block();
    zip::TZipAction ask_zip_action(std::string_view text, zip::TZipActionChoices choices);
    void copy_to_remote_folders();
    void mail_report(const std::string& attachment);
    void control_services(ServiceRequest request);
    void end_run();
    void Close();
    void FormClose();
    void show_usage();
    void clear_parameters();
    bool choose_job_file();
    bool job_is_runnable() const;
    void Tracing_Out(std::string_view text) { log_.Tracing_Out(text); }
    void Append_Log(std::string_view text) { log_.Append_Log(true, true, text); }

    core::Window_Display& display_;
    const std::string program_file_;
    std::string Program_Dir;
    std::string Program_Version;
    std::string Program_Date;

    core::JobSettings job_;
    core::RunState state_;
    report::TAgente Agente;
    report::RunLog log_;
    core::RunContext run_context_{job_, state_, display_, log_};
    zip::TZipArchiver Zip{"Zip"};
    zip::TZipArchiver ZipTest{"ZipTest"};
    zip::TZipArchiver Zip_Ext{"Zip_Ext"};
    mail::TSmtpClient SMTP;
    mail::TMailMessage SMTPMsg;
    notify::TMailLog MailLog{log_};
    std::unique_ptr<platform::ServiceManager> service_manager_;
    ServiceControl services_;

    int runs_in_progress_ = 0;  // Go on the stack (nested runs are not possible: "Inizia" is disabled)
    bool close_pending_ = false;
    bool closed_ = false;
    // Until a run ends, the job has not run: a window closed before its start must not look like success.
    core::ExitStatus exit_status_ = core::ExitStatus::NotRunnable;
};

}  // namespace ferrolo::app
