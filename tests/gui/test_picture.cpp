// Numbers under display pictures.
#include <gtest/gtest.h>

#include "gui/picture.h"

namespace {

using kv::gui::format_number;
using kv::gui::number_fits;

TEST(Picture, NumbersUnderPictures) {
    struct Case {
        double value;
        const char* picture;
        const char* shown;
    } cases[] = {
        {7, "999", "  7"},
        {0, "999", "  0"},
        {999, "999", "999"},
        {1000, "999", "***"},
        {-5, "999", " -5"},
        {-99, "999", "-99"},
        {-100, "999", "***"},
        {3.14159, "99.99", " 3.14"},
        {99.996, "99.99", "**.**"},  // rounds up past the places
        {0.5, ".99", ".50"},
        {1234567, "9,999,999", "1,234,567"},
        {1234, "9,999,999", "    1,234"},
        {42, "@Z 9999", "  42"},
        {42, "", "42"},
        {2.5, "", "2.5"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(format_number(c.value, c.picture), c.shown) << c.value << " " << c.picture;
        EXPECT_EQ(number_fits(c.value, c.picture),
                  std::string(c.shown).find('*') == std::string::npos)
            << c.value << " " << c.picture;
    }
}

TEST(Picture, ShownTextsReadBack) {
    EXPECT_EQ(kv::gui::parse_number("  1,234.5"), 1234.5);
    EXPECT_EQ(kv::gui::parse_number(" -7 "), -7);
    EXPECT_EQ(kv::gui::parse_number("abc"), 0);
    EXPECT_EQ(kv::gui::parse_number(""), 0);
}

}  // namespace
