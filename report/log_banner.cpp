#include "report/log_banner.h"

#include "core/routines.h"
#include "platform/file.h"

namespace ferrolo::report {

void create_log_file(const std::string& path) {
    const std::string stars = std::string(13, ' ') + std::string(57, '*');
    const platform::LocalTime now = platform::local_now();
    const std::string created = "             *** File di Log creato in data: " + core::Date_Today(now) +
                                " - " + core::Time_Now(now) + " ***";
    platform::File file = platform::File::open(path, platform::File::Mode::Create,
                                               platform::File::Allowed::RegularFileOrCharacterDevice);
    file.write("\r\n" + stars + "\r\n" + created + "\r\n" + stars + "\r\n\r\n\r\n");
    file.close();
}

}  // namespace ferrolo::report
