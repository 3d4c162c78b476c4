#include "ui/console_display.h"

#include <gtest/gtest.h>

namespace ferrolo::ui {
namespace {

// A crafted file name in the backed-up tree must not reach a terminal as escape sequences; a log file or
// pipe gets the bytes as they are.
TEST(ConsoleDisplay, ShowsControlCharactersAsQuestionMarksOnlyOnATerminal) {
    const std::string name = "/data/a\x1b]0;titolo\x07\x7f.txt";
    for (const bool terminal : {true, false}) {
        ConsoleDisplay display(terminal);
        ::testing::internal::CaptureStdout();
        display.append_trace(name);
        display.set_label(core::Label::l_stato, name);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(),
                  terminal ? "/data/a?]0;titolo??.txt\nStato: /data/a?]0;titolo??.txt\n"
                           : name + "\nStato: " + name + "\n");
    }
}

}  // namespace
}  // namespace ferrolo::ui
