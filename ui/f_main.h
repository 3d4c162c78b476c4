// ui/f_main.h — the desktop window: the run's labels, trace and buttons in one small window, drawn with
// FLTK (ui/f_main.cpp) or with Windows' own controls (ui/win32/f_main.cpp); CMake builds one of them.
#pragma once

#include <memory>

#include "core/window_display.h"
#include "platform/interrupts.h"

namespace ferrolo::ui {

// The window "Ferrolo": the tab "Copia" with the six value labels, the tab "Tracing" with the trace list,
// and the buttons "Inizia", "Annulla" and "Chiudi" below them. The close box acts as "Chiudi". Pending
// events are handled without waiting, so the buttons act while a run pumps messages; a message waits
// until the user dismisses it. Ctrl+C and termination requests press "Annulla" and "Chiudi", as in the
// console.
class F_Main final : public core::Window_Display {
public:
    // The window on the user's desktop; nullptr when it cannot be shown there (no display to open).
    static std::unique_ptr<F_Main> open();
    ~F_Main() override;
    F_Main(const F_Main&) = delete;
    F_Main& operator=(const F_Main&) = delete;

    // The message loop: shows the window and delivers button presses, timer ticks and the close box to
    // `events` until the window closes.
    void run(core::WindowEvents& events);

    void set_label(core::Label label, std::string_view text) override;
    void append_trace(std::string_view line) override;
    void process_messages() override;
    void enable_start(bool enabled) override;
    void set_caption(std::string_view caption) override;
    void select_first_tab() override;
    core::MessageAnswer show_message(std::string_view title, std::string_view text,
                                     core::MessageButtons buttons) override;
    void arm_timer(core::Timer timer, std::chrono::milliseconds interval) override;
    void disarm_timer(core::Timer timer) override;
    void close() override;

private:
    struct Widgets;

    F_Main();
    // Hands a user's or timer's act to the program; nothing is delivered outside run().
    void deliver(void (core::WindowEvents::*handler)());
    // Presses the buttons that the interrupts received since the last look stand for.
    void take_interrupts();

    // Held from before the window shows, so that no request to end the program can kill it mid-run.
    platform::InterruptWatcher interrupts_;
    bool cancel_pressed_ = false;
    std::unique_ptr<Widgets> widgets_;
    core::WindowEvents* events_ = nullptr;
    bool closed_ = false;
};

}  // namespace ferrolo::ui
