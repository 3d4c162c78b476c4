#include "app/front_end.h"

#include <string_view>

namespace ferrolo::app {

FrontEnd choose_front_end(const char* ferrolo_ui, bool desktop) {
    const std::string_view asked = ferrolo_ui == nullptr ? "" : ferrolo_ui;
    if (asked == "console") {
        return FrontEnd::Console;
    }
    if (asked == "window") {
        return FrontEnd::Window;
    }
    return desktop ? FrontEnd::WindowIfAvailable : FrontEnd::Console;
}

}  // namespace ferrolo::app
