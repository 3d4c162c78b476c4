// tests/support/recording_display.h — a window that records what the program shows and lets a test
// press the buttons and fire the timers itself, so no test waits for a real timer.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/window_display.h"

namespace ferrolo::testing {

class RecordingDisplay final : public core::Window_Display {
public:
    struct Message {
        std::string title;
        std::string text;
        core::MessageButtons buttons;
    };

    // The program whose handlers fire() and the hooks call.
    core::WindowEvents* events = nullptr;

    std::map<core::Label, std::string> labels;                       // current text of each label
    std::vector<std::pair<core::Label, std::string>> label_changes;  // every set, in order
    std::vector<std::string> trace;
    std::vector<Message> messages;
    std::map<core::Timer, std::chrono::milliseconds> armed_timers;
    bool start_enabled = true;
    std::string caption;
    bool first_tab_selected = false;
    int close_count = 0;
    int pumps = 0;

    // The answer show_message gives; by default Ok, or Ignore where the buttons offer it.
    std::optional<core::MessageAnswer> answer;
    // Runs on every process_messages, as pending window messages would (for example "Annulla").
    std::function<void()> on_process_messages;

    // Fires `timer` as if its interval had passed; the timer must be armed.
    void fire(core::Timer timer);
    bool is_armed(core::Timer timer) const { return armed_timers.count(timer) != 0; }
    std::string label(core::Label which) const { return labels.contains(which) ? labels.at(which) : ""; }

    void set_label(core::Label which, std::string_view text) override {
        labels[which] = text;
        label_changes.emplace_back(which, text);
    }
    void append_trace(std::string_view line) override { trace.emplace_back(line); }
    void process_messages() override {
        ++pumps;
        if (on_process_messages) {
            on_process_messages();
        }
    }
    void enable_start(bool enabled) override { start_enabled = enabled; }
    void set_caption(std::string_view text) override { caption = text; }
    void select_first_tab() override { first_tab_selected = true; }
    core::MessageAnswer show_message(std::string_view title, std::string_view text,
                                     core::MessageButtons buttons) override;
    void arm_timer(core::Timer timer, std::chrono::milliseconds interval) override {
        armed_timers[timer] = interval;
    }
    void disarm_timer(core::Timer timer) override { armed_timers.erase(timer); }
    void close() override { ++close_count; }
};

}  // namespace ferrolo::testing
