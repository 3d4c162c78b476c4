// ui/f_main_layout.h — where the window's controls stand, the same whichever toolkit draws them.
#pragma once

#include <array>

#include "core/window_display.h"

namespace ferrolo::ui::layout {

// The client area, in pixels; the button row fills it below the tab control.
constexpr int kWidth = 450;
constexpr int kHeight = 199;
constexpr int kPanelTop = 166;
// The tab sheets, which the group box " Situazione copia " and the trace list fill.
constexpr int kSheetWidth = 442;
constexpr int kSheetHeight = 138;
constexpr int kRowHeight = 13;

// A caption and its value label, placed from the group box's left and top edges.
struct Row {
    int top;
    const char* caption;
    int caption_left;
    core::Label label;
    int value_left;
    int value_width;
    bool right_aligned;
};
constexpr std::array<Row, 6> kRows{{
    {24, "Operaz.", 6, core::Label::l_operation, 48, 385, false},
    {40, "A:", 33, core::Label::l_to, 48, 385, false},
    {56, "File:", 24, core::Label::l_file, 48, 385, false},
    {72, "N. files:", 8, core::Label::l_nfiles, 48, 161, true},
    {72, "Megabytes:", 216, core::Label::l_bytes, 280, 153, true},
    {112, "Stato:", 15, core::Label::l_stato, 48, 385, false},
}};

// The buttons of the row, placed from its top, in the order "Inizia", "Annulla", "Chiudi".
struct Button {
    int left;
    const char* text;
    void (core::WindowEvents::*pressed)();
};
constexpr std::array<Button, 3> kButtons{{
    {4, "Inizia", &core::WindowEvents::btn_startClick},
    {84, "Annulla", &core::WindowEvents::btn_annullaClick},
    {368, "Chiudi", &core::WindowEvents::btn_chiudiClick},
}};
constexpr int kButtonTop = 4;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

}  // namespace ferrolo::ui::layout
