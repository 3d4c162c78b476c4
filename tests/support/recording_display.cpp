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

core::MessageAnswer RecordingDisplay::show_message(std::string_view title, std::string_view text,
                                                   core::MessageButtons buttons) {
    messages.push_back({std::string(title), std::string(text), buttons});
    return answer.value_or(buttons == core::MessageButtons::Ok ? core::MessageAnswer::Ok
                                                               : core::MessageAnswer::Ignore);
}

}  // namespace ferrolo::testing
