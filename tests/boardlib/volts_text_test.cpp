// The tool's reading of signed reading texts back into plain numbers.
#include <gtest/gtest.h>

#include "volts_text.h"

namespace kestrane::board {
namespace {

TEST(VoltsText, PlainValueOfShownReadings) {
    const struct {
        const char* shown;
        const char* plain;  // nullptr: no number
    } cases[] = {
        {"+ 12.345", "12.345"},
        {"- 0.5", "-0.5"},
        {"- 0.000188", "-0.000188"},
        {"+ 0", "0"},
        {"- 0", "0"},  // no negative zero
        {"- 0.000", "0.000"},
        {"+ 25", "25"},
        {"+ 1.234567890123450E+0016", "1.234567890123450E+0016"},
        {"12.5", "12.5"},
        {"  DISABLED", nullptr},
        {"", nullptr},
        {"+", nullptr},
        {"+ ", nullptr},
        {"+ 1.", nullptr},
        {"+ .5", nullptr},
        {"+ 1e", nullptr},
        {"+ -1", nullptr},
        {"+ 1,5", nullptr},
        {"+ NAN", nullptr},
        {"+ 12.3x", nullptr},
    };
    for (const auto& c : cases) {
        const auto v = PlainValue(c.shown);
        if (c.plain == nullptr) {
            EXPECT_FALSE(v.has_value()) << '"' << c.shown << '"';
        } else {
            ASSERT_TRUE(v.has_value()) << '"' << c.shown << '"';
            EXPECT_EQ(*v, c.plain);
        }
    }
}

}  // namespace
}  // namespace kestrane::board
