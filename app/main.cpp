// Ferrolo: one start, one backup job, then the process ends with a status the scheduler can read.
#include <cstdio>
#include <exception>

#include "app/tf_main.h"
#include "core/exit_status.h"
#include "platform/process.h"
#include "report/agente.h"
#include "ui/console_display.h"

int main(int argc, char** argv) {
    using namespace ferrolo;
    try {
        // The console holds Ctrl+C from here on, before anything else can start a thread.
        ui::ConsoleDisplay display;
        app::TF_Main form(display, platform::program_path(), app::job_parameters(argc, argv));
        form.FormCreate();
        display.run(form);
        return static_cast<int>(form.exit_status());
    } catch (const report::AgentFailure&) {
        // Its message has been shown; without its log the program cannot go on.
        return static_cast<int>(core::ExitStatus::Fatal);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Ferrolo: %s\n", error.what());
        return static_cast<int>(core::ExitStatus::Fatal);
    }
}
