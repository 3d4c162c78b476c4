// The service control manager on real calls: the running services of the end-to-end test, and here a
// start the manager refuses. The service runs Wine's own update service program.
#include "platform/services.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace ferrolo::platform {
namespace {

TEST(WindowsServices, ADisabledServiceIsReportedNotStarted) {
    ASSERT_EQ(std::system("sc create FerroloSpento start= disabled binPath= "
                          "C:\\windows\\system32\\wuauserv.exe >nul"),
              0);
    const auto manager = system_service_manager(std::chrono::seconds(30));
    ASSERT_TRUE(manager->open_manager());
    auto service = manager->open_service("FerroloSpento");
    ASSERT_TRUE(service.has_value());
    EXPECT_FALSE(manager->start(*service));
    EXPECT_EQ(manager->query_state(*service), ServiceState::Stopped);
    EXPECT_TRUE(manager->release(*service));
    std::system("sc delete FerroloSpento >nul");
    EXPECT_FALSE(manager->open_service("FerroloSpento").has_value()) << "no such service any more";
}

}  // namespace
}  // namespace ferrolo::platform
