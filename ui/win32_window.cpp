// Placeholder until the Win32 window lands: the window never opens, so the console shows the run.
#include "ui/f_main.h"

namespace ferrolo::ui {

struct F_Main::Widgets {};

std::unique_ptr<F_Main> F_Main::open() {
    return nullptr;
}

F_Main::~F_Main() = default;
void F_Main::run(core::WindowEvents&) {}
void F_Main::set_label(core::Label, std::string_view) {}
void F_Main::append_trace(std::string_view) {}
void F_Main::process_messages() {}
void F_Main::enable_start(bool) {}
void F_Main::set_caption(std::string_view) {}
void F_Main::select_first_tab() {}
core::MessageAnswer F_Main::show_message(std::string_view, std::string_view, core::MessageButtons) {
    return {};
}
void F_Main::arm_timer(core::Timer, std::chrono::milliseconds) {}
void F_Main::disarm_timer(core::Timer) {}
void F_Main::close() {}

}  // namespace ferrolo::ui
