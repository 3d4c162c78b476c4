#include "core/routines.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>
#include <vector>

namespace ferrolo::core {
namespace {

TEST(ShortenText, KeepsTextsThatFitCutsLongOnesInTheMiddleAndNarrowWidthsKeepOnlyTheTail) {
    std::string hundred;
    for (int i = 1; i <= 100; ++i) {
        hundred += static_cast<char>('A' + i % 26);
    }
    const std::string ten = hundred.substr(0, 10), forty = hundred.substr(0, 40);
    // Text, width, shortened text.
    const std::tuple<std::string, int, std::string> cases[] = {
        {ten, 40, ten},
        {hundred, 40, hundred.substr(0, 17) + "..." + hundred.substr(79)},  // characters 1-17 and 80-100
        {forty, 40, forty},                                                 // as wide as allowed
        {hundred.substr(0, 41), 40, hundred.substr(0, 17) + "..." + hundred.substr(20, 21)},
        {"abcdefghij", 4, "...hij"},  // no head when half the width is 3 or less
        {"abcdefghij", 0, "abcdefghij"},
        {"", 40, ""},
        // Characters, not bytes: "à" and "è" are two bytes each and never split.
        {"àbcdefghè", 8, "à...efghè"},
        {"ààà", 3, "ààà"},
    };
    for (const auto& [text, width, shortened] : cases) {
        EXPECT_EQ(Shorten_Text(text, width), shortened) << text << ", " << width;
    }
}

TEST(ClockTexts, AreZeroPaddedInTheirPatternsAndDurationsWrapAtTwentyFourHours) {
    using namespace std::chrono_literals;
    const platform::LocalTime moment{2024, 1, 31, 23, 5, 9};
    EXPECT_EQ(Date_Today(moment), "31.01.2024");
    EXPECT_EQ(Time_Now(moment), "23:05:09");
    EXPECT_EQ(trace_stamp(moment), "31/01/2024-23:05:09");
    EXPECT_EQ(file_stamp(moment), "20240131-230509");
    const int huge = std::numeric_limits<int>::min();
    EXPECT_EQ(trace_stamp({huge, huge, huge, huge, huge, huge}).size(), 71u) << "no number is cut or overrun";
    EXPECT_EQ(duration_text(0s), "00:00:00");
    EXPECT_EQ(duration_text(30s), "00:00:30");
    EXPECT_EQ(duration_text(25h), "01:00:00");
    EXPECT_EQ(duration_text(23h + 59min + 59s + 999ms), "23:59:59") << "fractions of a second are dropped";
}

TEST(Trim, RemovesBlanksAndControlCharactersOnly) {
    EXPECT_EQ(trim(" \t\r\n value  x \x01"), "value  x");
}

}  // namespace
}  // namespace ferrolo::core
