// ui/console_display.h — the window as a console: the trace and the status on standard output, the
// user's requests as signals.
#pragma once

#include <array>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include "core/window_display.h"
#include "platform/interrupts.h"
#include "platform/process.h"

namespace ferrolo::ui {

// Ctrl+C is "Annulla"; a second Ctrl+C or a termination request is "Chiudi". Messages go to standard
// error and never wait. A window that would stay open with nothing left to do is closed at once.
class ConsoleDisplay final : public core::Window_Display {
public:
    // `terminal`: standard output is a terminal, which gets a live line of counters, and where the
    // control characters of names from the backed-up tree are shown as "?" so they cannot drive it.
    explicit ConsoleDisplay(bool terminal = platform::standard_output_is_terminal());

    // The message loop: delivers timer ticks and the user's requests to `events` until the window closes.
    void run(core::WindowEvents& events);

    void set_label(core::Label label, std::string_view text) override;
    void append_trace(std::string_view line) override;
    void process_messages() override;
    void enable_start(bool) override {}
    void set_caption(std::string_view) override {}
    void select_first_tab() override {}
    core::MessageAnswer show_message(std::string_view title, std::string_view text,
                                     core::MessageButtons buttons) override;
    void arm_timer(core::Timer timer, std::chrono::milliseconds interval) override;
    void disarm_timer(core::Timer timer) override { timers_.erase(timer); }
    void close() override;

private:
    using SteadyClock = std::chrono::steady_clock;
    struct ArmedTimer {
        std::chrono::milliseconds interval;
        SteadyClock::time_point due;
    };

    void deliver(platform::Interrupt interrupt);
    void fire_due_timers();
    void print_line(std::string_view text);
    void draw_live_line();
    void erase_live_line();
    void write_output(std::string_view text);

    platform::InterruptWatcher interrupts_;
    core::WindowEvents* events_ = nullptr;
    std::map<core::Timer, ArmedTimer> timers_;
    std::array<std::string, 6> labels_;
    const bool terminal_;
    bool live_line_shown_ = false;
    SteadyClock::time_point live_line_drawn_{};
    bool cancel_delivered_ = false;
    bool output_lost_ = false;  // standard output was closed (a pipe's reader ended): nothing more goes there
    bool closed_ = false;
};

}  // namespace ferrolo::ui
