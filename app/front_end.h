// app/front_end.h — which front end shows the run: the desktop window or the console.
#pragma once

namespace ferrolo::app {

enum class FrontEnd {
    Console,
    Window,             // asked for: without a display the job cannot run
    WindowIfAvailable,  // the console when the display cannot be opened
};

// The choice from the environment: FERROLO_UI "console" or "window" decides; otherwise the window when
// DISPLAY names a display. Either variable may be missing (nullptr).
FrontEnd choose_front_end(const char* ferrolo_ui, const char* display);

}  // namespace ferrolo::app
