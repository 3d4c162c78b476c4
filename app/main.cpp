// Ferrolo: one start, one backup job, then the process ends with a status the scheduler can read.
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/front_end.h"
#include "app/tf_main.h"
#include "core/exit_status.h"
#include "platform/desktop.h"
#include "platform/process.h"
#include "report/agente.h"
#include "ui/console_display.h"
#include "ui/f_main.h"

namespace {

using namespace ferrolo;

// The job's whole life in one front end: start-up, then its message loop until the window closes.
template <typename FrontEndDisplay>
int run_job(FrontEndDisplay& display, const app::CommandLine& parameters) {
    app::TF_Main form(display, platform::program_path(), parameters);
    form.FormCreate();
    display.run(form);
    return static_cast<int>(form.exit_status());
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const app::CommandLine parameters = app::job_parameters(platform::program_arguments(argc, argv));
        const app::FrontEnd front_end =
            app::choose_front_end(std::getenv("FERROLO_UI"), platform::desktop_available());
        if (front_end != app::FrontEnd::Console) {
            if (const auto window = ui::F_Main::open()) {
                return run_job(*window, parameters);
            }
            if (front_end == app::FrontEnd::Window) {
                std::fputs("Ferrolo: impossibile aprire il display per la finestra (FERROLO_UI=window)\n",
                           stderr);
                return static_cast<int>(core::ExitStatus::Fatal);
            }
        }
        // The console holds Ctrl+C from here on, before anything else can start a thread.
        ui::ConsoleDisplay console;
        return run_job(console, parameters);
    } catch (const report::AgentFailure&) {
        // Its message has been shown; without its log the program cannot go on.
        return static_cast<int>(core::ExitStatus::Fatal);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Ferrolo: %s\n", error.what());
        return static_cast<int>(core::ExitStatus::Fatal);
    }
}
