#include "app/front_end.h"

#include <gtest/gtest.h>

namespace ferrolo::app {
namespace {

TEST(FrontEnd, FerroloUiDecidesAndOtherwiseADisplayNameAsksForTheWindow) {
    struct Case {
        const char* ferrolo_ui;
        const char* display;
        FrontEnd expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, FrontEnd::Console},
        {nullptr, "", FrontEnd::Console},
        {nullptr, ":0", FrontEnd::WindowIfAvailable},
        {"", ":0", FrontEnd::WindowIfAvailable},
        {"console", ":0", FrontEnd::Console},
        {"window", nullptr, FrontEnd::Window},
        {"Window", nullptr, FrontEnd::Console},  // only the documented words count
        {"finestra", ":1", FrontEnd::WindowIfAvailable},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(std::string(each.ferrolo_ui ? each.ferrolo_ui : "(unset)") + " / " +
                     (each.display ? each.display : "(unset)"));
        EXPECT_EQ(choose_front_end(each.ferrolo_ui, each.display), each.expected);
    }
}

}  // namespace
}  // namespace ferrolo::app
