// The inspector's numbers: four significant digits, the point always
// shown, infinities and not-a-number as the formatting prints them.
#include <gtest/gtest.h>

#include "panels/PixelInfoPanel.h"

namespace {

TEST(PixelInfoNumbers, FourDigitsPointAlwaysShown)
{
    using ravelcast::PixelInfoPanel;
    EXPECT_EQ(PixelInfoPanel::number(0.5), "  0.5000");
    EXPECT_EQ(PixelInfoPanel::number(1.0), "   1.000");
    EXPECT_EQ(PixelInfoPanel::number(-12.3456), "  -12.35");
    EXPECT_EQ(PixelInfoPanel::number(1e20), "1.000e+20");
    // A normalised value of a channel whose minimum equals its maximum.
    const double zero = 0.0;
    EXPECT_EQ(PixelInfoPanel::number(1.0 / zero), "     inf");
    EXPECT_EQ(PixelInfoPanel::number(zero / zero).find("nan") != std::string::npos, true);
}

} // namespace
