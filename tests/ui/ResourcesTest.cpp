#include "BinaryData.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

#include <cstring>

namespace
{
enum class Kind
{
    transparentPng,
    jpeg
};

struct Picture
{
    const char* name;
    const char* data;
    int size;
    int width;
    int height;
    Kind kind;
};

const Picture pictures[] = {
    { "button_png", BinaryData::button_png, BinaryData::button_pngSize, 400, 200, Kind::transparentPng },
    { "button_on_png", BinaryData::button_on_png, BinaryData::button_on_pngSize, 400, 200, Kind::transparentPng },
    { "wide_button_png", BinaryData::wide_button_png, BinaryData::wide_button_pngSize, 400, 200, Kind::transparentPng },
    { "wide_button_on_png", BinaryData::wide_button_on_png, BinaryData::wide_button_on_pngSize, 400, 200, Kind::transparentPng },
    { "square_button_png", BinaryData::square_button_png, BinaryData::square_button_pngSize, 200, 200, Kind::transparentPng },
    { "square_button_on_png", BinaryData::square_button_on_png, BinaryData::square_button_on_pngSize, 200, 200, Kind::transparentPng },
    { "knob_png", BinaryData::knob_png, BinaryData::knob_pngSize, 300, 300, Kind::transparentPng },
    { "knob_hover_png", BinaryData::knob_hover_png, BinaryData::knob_hover_pngSize, 300, 300, Kind::transparentPng },
    { "slider_thumb_png", BinaryData::slider_thumb_png, BinaryData::slider_thumb_pngSize, 200, 200, Kind::transparentPng },
    { "logo_png", BinaryData::logo_png, BinaryData::logo_pngSize, 1200, 243, Kind::transparentPng },
    { "panel_texture_jpg", BinaryData::panel_texture_jpg, BinaryData::panel_texture_jpgSize, 200, 200, Kind::jpeg },
};

juce::Image decode(const char* data, int size)
{
    return juce::ImageCache::getFromMemory(data, size);
}

bool sameBytes(const char* a, int aSize, const char* b, int bSize)
{
    return aSize == bSize && std::memcmp(a, b, static_cast<size_t>(aSize)) == 0;
}

bool samePixels(const juce::Image& a, const juce::Image& b)
{
    if (a.getBounds() != b.getBounds())
        return false;
    for (int y = 0; y < a.getHeight(); ++y)
        for (int x = 0; x < a.getWidth(); ++x)
            if (a.getPixelAt(x, y) != b.getPixelAt(x, y))
                return false;
    return true;
}
} // namespace

TEST(Resources, EveryPictureDecodesAtItsSizeAndKind)
{
    for (const auto& picture : pictures)
    {
        SCOPED_TRACE(picture.name);
        ASSERT_GT(picture.size, 0);
        juce::MemoryInputStream stream(picture.data, static_cast<size_t>(picture.size), false);
        auto* format = juce::ImageFileFormat::findImageFormatForStream(stream);
        ASSERT_NE(format, nullptr);

        const auto image = decode(picture.data, picture.size);
        ASSERT_TRUE(image.isValid());
        EXPECT_EQ(image.getWidth(), picture.width);
        EXPECT_EQ(image.getHeight(), picture.height);

        if (picture.kind == Kind::jpeg)
        {
            EXPECT_NE(dynamic_cast<juce::JPEGImageFormat*>(format), nullptr);
            EXPECT_FALSE(image.hasAlphaChannel());
        }
        else
        {
            // Drawn over the screen's own background: the corners must let it show.
            EXPECT_NE(dynamic_cast<juce::PNGImageFormat*>(format), nullptr);
            ASSERT_TRUE(image.hasAlphaChannel());
            for (const auto corner : { juce::Point<int> { 0, 0 }, { picture.width - 1, 0 },
                                       { 0, picture.height - 1 }, { picture.width - 1, picture.height - 1 } })
                EXPECT_EQ(image.getPixelAt(corner.x, corner.y).getAlpha(), 0) << corner.toString();
        }
    }
}

TEST(Resources, PlainFacesAreSharedAndToggledFacesDiffer)
{
    EXPECT_NE(BinaryData::button_png, BinaryData::wide_button_png);
    EXPECT_TRUE(sameBytes(BinaryData::button_png, BinaryData::button_pngSize,
                          BinaryData::wide_button_png, BinaryData::wide_button_pngSize));
    EXPECT_TRUE(samePixels(decode(BinaryData::button_png, BinaryData::button_pngSize),
                           decode(BinaryData::wide_button_png, BinaryData::wide_button_pngSize)));

    EXPECT_FALSE(sameBytes(BinaryData::button_on_png, BinaryData::button_on_pngSize,
                           BinaryData::wide_button_on_png, BinaryData::wide_button_on_pngSize));
    EXPECT_FALSE(samePixels(decode(BinaryData::button_on_png, BinaryData::button_on_pngSize),
                            decode(BinaryData::wide_button_on_png, BinaryData::wide_button_on_pngSize)));

    // Each toggled face must look different from its plain one.
    EXPECT_FALSE(samePixels(decode(BinaryData::button_png, BinaryData::button_pngSize),
                            decode(BinaryData::button_on_png, BinaryData::button_on_pngSize)));
    EXPECT_FALSE(samePixels(decode(BinaryData::square_button_png, BinaryData::square_button_pngSize),
                            decode(BinaryData::square_button_on_png, BinaryData::square_button_on_pngSize)));
}

// Button faces are stretched by slicing: square halves as caps, and a middle
// strip taken from columns 200-299 (100-219 for buttons narrower than 2:1).
// A face stays seamless only if those columns are alike in every row.
TEST(Resources, StretchableFacesHaveAUniformMiddle)
{
    for (const auto& picture : pictures)
    {
        if (picture.width != 400 || picture.height != 200)
            continue;
        SCOPED_TRACE(picture.name);
        const auto image = decode(picture.data, picture.size);
        int unlike = 0;
        for (int y = 0; y < image.getHeight(); ++y)
        {
            const auto reference = image.getPixelAt(200, y);
            for (int x = 100; x < 300; ++x)
            {
                const auto pixel = image.getPixelAt(x, y);
                const auto apart = [](juce::uint8 a, juce::uint8 b) { return std::abs(int(a) - int(b)) > 2; };
                if (apart(pixel.getAlpha(), reference.getAlpha()) || apart(pixel.getRed(), reference.getRed())
                    || apart(pixel.getGreen(), reference.getGreen()) || apart(pixel.getBlue(), reference.getBlue()))
                    ++unlike;
            }
        }
        EXPECT_EQ(unlike, 0);
    }
}

TEST(Resources, PanelTextureIsDarkAndTilesWithoutASeam)
{
    const auto texture = decode(BinaryData::panel_texture_jpg, BinaryData::panel_texture_jpgSize);
    ASSERT_TRUE(texture.isValid());

    double brightness = 0.0;
    double stepInside = 0.0;
    double stepAcrossEdge = 0.0;
    const int size = texture.getWidth();
    for (int i = 0; i < size; ++i)
    {
        for (int j = 0; j < size; ++j)
            brightness += texture.getPixelAt(i, j).getPerceivedBrightness();
        // Compare the wrap-around step with the step between two inner columns and rows.
        const auto step = [&](int x1, int y1, int x2, int y2)
        { return std::abs(texture.getPixelAt(x1, y1).getPerceivedBrightness() - texture.getPixelAt(x2, y2).getPerceivedBrightness()); };
        stepAcrossEdge += step(size - 1, i, 0, i) + step(i, size - 1, i, 0);
        stepInside += step(size / 2 - 1, i, size / 2, i) + step(i, size / 2 - 1, i, size / 2);
    }
    EXPECT_LT(brightness / (size * size), 0.3);
    EXPECT_LT(stepAcrossEdge, 1.5 * stepInside + 1.0);
}

TEST(Resources, EmbeddedTypefaceLoadsAndDraws)
{
    const auto typeface = juce::Typeface::createSystemTypefaceFor(BinaryData::LeagueSpartanMedium_otf,
                                                                  static_cast<size_t>(BinaryData::LeagueSpartanMedium_otfSize));
    ASSERT_NE(typeface, nullptr);
    EXPECT_TRUE(typeface->getName().startsWith("League Spartan")) << typeface->getName();
    EXPECT_EQ(typeface->getStyle(), "Medium");

    const auto font = juce::Font(typeface).withHeight(40.0f);
    EXPECT_GT(font.getStringWidthFloat("DRAG & DROP WAV files !"), 100.0f);

    juce::Image image(juce::Image::ARGB, 400, 60, true);
    {
        juce::Graphics g(image);
        g.setFont(font);
        g.setColour(juce::Colours::white);
        g.drawText("EBU R128", image.getBounds(), juce::Justification::centred);
    }
    int inked = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            inked += image.getPixelAt(x, y).getAlpha() > 128 ? 1 : 0;
    EXPECT_GT(inked, 500);
}
