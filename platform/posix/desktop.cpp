#include "platform/desktop.h"

#include <cstdlib>

namespace ferrolo::platform {

bool desktop_available() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && *display != '\0';
}

}  // namespace ferrolo::platform
