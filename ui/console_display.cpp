#include "ui/console_display.h"

#include "core/routines.h"
#include "ui/interrupt_buttons.h"

namespace ferrolo::ui {

namespace {
// The live line is redrawn at most this often, so a run over many small files is not slowed by it.
constexpr std::chrono::milliseconds kLiveLinePeriod{100};
constexpr std::string_view kEraseLine = "\r\x1b[K";

size_t slot(core::Label label) {
    return static_cast<size_t>(label);
}

}  // namespace

ConsoleDisplay::ConsoleDisplay(bool terminal) : terminal_(terminal) {}

void ConsoleDisplay::run(core::WindowEvents& events) {
    events_ = &events;
    while (!closed_) {
        if (timers_.empty()) {
            // Nothing will ever happen in an idle window without a user; close it as the user would.
            events.close_requested();
            break;
        }
        auto next_due = SteadyClock::time_point::max();
        for (const auto& [timer, armed] : timers_) {
            next_due = std::min(next_due, armed.due);
        }
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next_due - SteadyClock::now());
        if (const auto interrupt = interrupts_.wait(std::max(wait, std::chrono::milliseconds(0)))) {
            deliver(*interrupt);
        }
        fire_due_timers();
    }
    events_ = nullptr;
}

void ConsoleDisplay::process_messages() {
    if (events_ == nullptr) {
        return;
    }
    while (const auto interrupt = interrupts_.wait(std::chrono::milliseconds(0))) {
        deliver(*interrupt);
    }
    fire_due_timers();
}

void ConsoleDisplay::deliver(platform::Interrupt interrupt) {
    const Button button = button_for(interrupt, cancel_delivered_);
    print_line(button == &core::WindowEvents::btn_annullaClick ? "Annulla" : "Chiudi");
    (events_->*button)();
}

void ConsoleDisplay::fire_due_timers() {
    const auto now = SteadyClock::now();
    for (const core::Timer timer : {core::Timer::T_Go, core::Timer::T_ShutDown}) {
        auto armed = timers_.find(timer);
        if (closed_ || armed == timers_.end() || armed->second.due > now) {
            continue;
        }
        armed->second.due = now + armed->second.interval;
        if (timer == core::Timer::T_Go) {
            events_->T_GoTimer();
        } else {
            events_->T_ShutDownTimer();
        }
    }
}

void ConsoleDisplay::set_label(core::Label label, std::string_view text) {
    labels_[slot(label)] = std::string(text);
    if (label == core::Label::l_stato) {
        if (!text.empty()) {
            print_line("Stato: " + std::string(text));
        }
    } else if (terminal_ && SteadyClock::now() - live_line_drawn_ >= kLiveLinePeriod) {
        draw_live_line();
    }
}

void ConsoleDisplay::append_trace(std::string_view line) {
    print_line(line);
}

core::MessageAnswer ConsoleDisplay::show_message(std::string_view, std::string_view text,
                                                 core::MessageButtons buttons) {
    erase_live_line();
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
    return buttons == core::MessageButtons::Ok ? core::MessageAnswer::Ok : core::MessageAnswer::Ignore;
}

void ConsoleDisplay::arm_timer(core::Timer timer, std::chrono::milliseconds interval) {
    timers_[timer] = {interval, SteadyClock::now() + interval};
}

void ConsoleDisplay::close() {
    erase_live_line();
    closed_ = true;
}

void ConsoleDisplay::print_line(std::string_view text) {
    erase_live_line();
    write_output((terminal_ ? core::printable(text) : std::string(text)) + "\n");
}

void ConsoleDisplay::write_output(std::string_view text) {
    if (output_lost_) {
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    output_lost_ = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
}

void ConsoleDisplay::draw_live_line() {
    const std::string line = labels_[slot(core::Label::l_operation)] + " " +
                             labels_[slot(core::Label::l_file)] +
                             "  N. files: " + labels_[slot(core::Label::l_nfiles)] +
                             "  Megabytes: " + labels_[slot(core::Label::l_bytes)];
    write_output(std::string(kEraseLine) + core::printable(line));
    live_line_shown_ = true;
    live_line_drawn_ = SteadyClock::now();
}

void ConsoleDisplay::erase_live_line() {
    if (live_line_shown_) {
        write_output(kEraseLine);
        live_line_shown_ = false;
    }
}

}  // namespace ferrolo::ui
