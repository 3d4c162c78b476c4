#include "platform/code_page.h"

// The system's code page for text files is UTF-8, which is how Ferrolo keeps text.
namespace ferrolo::platform {

std::string to_system_code_page(std::string_view text) {
    return std::string(text);
}

std::string from_system_code_page(std::string_view text) {
    return std::string(text);
}

}  // namespace ferrolo::platform
