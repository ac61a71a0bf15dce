#include "ui/Palette.h"

#include <gtest/gtest.h>

// The palette is drawn over other layers: its alpha values decide what shows through.
TEST(Palette, TranslucentTonesKeepTheirAlpha)
{
    EXPECT_EQ(transparentKavri.getAlpha(), 0x00);
    EXPECT_EQ(lightKavri.getAlpha(), 0x2B);
    EXPECT_EQ(randomTransKavri.getAlpha(), 0x0F);
    EXPECT_EQ(OpacityKavri.getARGB(), 0x66000000u);
    EXPECT_EQ(greyWhiteKavri.getARGB(), 0xFFD2D3D3u);
}
