#include "frame_values.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// The time within the day, with the seconds rounded up without a carry and
// signed fields for a negative counter.
TEST(TimeText, ShowsTheTimeWithinTheDay) {
    struct Case {
        int32_t counter;
        const char* text;
    };
    for (Case c :
         {Case{45296789, "12:34:56.8"}, Case{0, "00:00:00.0"}, Case{86400000, "00:00:00.0"},
          Case{90061500, "01:01:01.5"}, Case{86399999, "23:59:60.0"}, Case{-1, "00:00:-0.0"},
          Case{-86399999, "-23:-59:-60.0"}, Case{INT32_MIN, "-20:-31:-23.6"}}) {
        char text[TIME_TEXT_SIZE];
        time_text(c.counter, text, TIME_TEXT_SIZE);
        EXPECT_STREQ(text, c.text) << c.counter;
    }
}

} // namespace
