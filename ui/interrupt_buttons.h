// ui/interrupt_buttons.h — which button a user's interrupt presses, the same in every front end.
#pragma once

#include "core/window_display.h"
#include "platform/interrupts.h"

namespace ferrolo::ui {

using Button = void (core::WindowEvents::*)();

// The first Ctrl+C is "Annulla"; a second one, a termination request or a lost terminal is "Chiudi", so a
// scheduler or a logout ends the run the way the window's own button does.
inline Button button_for(platform::Interrupt interrupt, bool& cancel_pressed) {
    if (interrupt == platform::Interrupt::Cancel && !cancel_pressed) {
        cancel_pressed = true;
        return &core::WindowEvents::btn_annullaClick;
    }
    return &core::WindowEvents::btn_chiudiClick;
}

}  // namespace ferrolo::ui
