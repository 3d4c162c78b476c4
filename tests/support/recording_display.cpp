#include "tests/support/recording_display.h"

#include <gtest/gtest.h>

namespace ferrolo::testing {

void RecordingDisplay::fire(core::Timer timer) {
    ASSERT_TRUE(is_armed(timer)) << "the timer is not armed";
    ASSERT_NE(events, nullptr);
    if (timer == core::Timer::T_Go) {
        events->T_GoTimer();
    } else {
        events->T_ShutDownTimer();
    }
}

std::string RecordingDisplay::label(core::Label which) const {
    const auto found = labels.find(which);
    return found == labels.end() ? std::string() : found->second;
}

void RecordingDisplay::set_label(core::Label which, std::string_view text) {
    labels[which] = std::string(text);
    label_changes.emplace_back(which, std::string(text));
}

void RecordingDisplay::append_trace(std::string_view line) {
    trace.emplace_back(line);
}

void RecordingDisplay::process_messages() {
    ++pumps;
    if (on_process_messages) {
        on_process_messages();
    }
}

core::MessageAnswer RecordingDisplay::show_message(std::string_view title, std::string_view text,
                                                   core::MessageButtons buttons) {
    messages.push_back({std::string(title), std::string(text), buttons});
    if (answer) {
        return *answer;
    }
    return buttons == core::MessageButtons::Ok ? core::MessageAnswer::Ok : core::MessageAnswer::Ignore;
}

void RecordingDisplay::arm_timer(core::Timer timer, std::chrono::milliseconds interval) {
    armed_timers[timer] = interval;
}

}  // namespace ferrolo::testing
