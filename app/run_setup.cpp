#include "app/run_setup.h"

#include "core/routines.h"
#include "platform/code_page.h"
#include "platform/file_system.h"

namespace ferrolo::app {

std::string time_stamped_name(std::string_view archive, const platform::LocalTime& moment) {
    const std::string_view name = platform::name_part(archive);
    const size_t first_dot = name.find('.');
    const size_t last_dot = name.rfind('.');
    const std::string_view base = name.substr(0, first_dot);
    const std::string_view extension =
        last_dot == std::string_view::npos ? std::string_view() : name.substr(last_dot);
    return std::string(platform::folder_part(archive)) + std::string(base) + "-" + core::file_stamp(moment) +
           std::string(extension);
}

std::string report_file_name(std::string_view extended_log) {
    const std::string_view name = platform::name_part(extended_log);
    const std::string report = std::string(name.substr(0, name.find('.'))) + ".PDF";
    return report == name ? report + ".PDF" : report;
}

}  // namespace ferrolo::app
