// app/front_end.h — which front end shows the run: the desktop window or the console.
#pragma once

namespace ferrolo::app {

enum class FrontEnd {
    Console,
    Window,             // asked for: without a display the job cannot run
    WindowIfAvailable,  // the console when the display cannot be opened
};

// The choice from the environment: FERROLO_UI "console" or "window" decides (it may be missing: nullptr);
// otherwise the window when a user can see it (`desktop`).
FrontEnd choose_front_end(const char* ferrolo_ui, bool desktop);

}  // namespace ferrolo::app
