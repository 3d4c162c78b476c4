// What the window hands to the program, the same whichever toolkit draws it.
#include "ui/f_main.h"
#include "ui/interrupt_buttons.h"

namespace ferrolo::ui {

void F_Main::deliver(void (core::WindowEvents::*handler)()) {
    if (events_ != nullptr && !closed_) {
        (events_->*handler)();
    }
}

void F_Main::take_interrupts() {
    while (const auto interrupt = interrupts_.wait(std::chrono::milliseconds(0))) {
        deliver(button_for(*interrupt, cancel_pressed_));
    }
}

}  // namespace ferrolo::ui
