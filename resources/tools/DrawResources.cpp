// Draws every picture that Tarnvale embeds: the button faces, the knob and its
// hover ring, the fader thumb, the logo and the panel texture.
//
// To redraw them after changing this program:
//
//     cmake --build build --target regenerate_resources
//
// which builds this program and writes the pictures back into resources/;
// commit the changed files with it. By hand:
//
//     tarnvale_draw_resources <output folder> <LeagueSpartan-Medium.otf>
//
// The drawing is deterministic (fixed random seeds), so running an unchanged
// program again leaves every file byte for byte as it was.
//
// The look-and-feel stretches the faces of 400 x 200 pictures by slicing them:
// the caps are the picture's square halves and the middle strip is taken from
// columns 200-299 (100-219 for buttons narrower than 2:1). So every face keeps
// its rounded ends within the outer 100 columns and is painted with vertical
// gradients only, which leaves columns 100-299 identical.

#include "ui/Palette.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <iostream>

namespace
{
using juce::Colour;
using juce::ColourGradient;
namespace Colours = juce::Colours;
using juce::DropShadow;
using juce::Graphics;
using juce::Image;
using juce::Path;
using juce::PathStrokeType;
using juce::Rectangle;

using Shape = std::function<Path(Rectangle<float>)>;

enum class Light
{
    off,
    orange,
    blue
};

struct Accent
{
    Colour bright, dark;
};

Accent accentOf(Light light)
{
    if (light == Light::blue)
        return { blueKavri, blueDarkKavri };
    return { orangeKavri, orangeDarkKavri };
}

Path pill(Rectangle<float> r)
{
    Path p;
    p.addRoundedRectangle(r, 0.5f * r.getHeight());
    return p;
}

Path disc(Rectangle<float> r)
{
    Path p;
    p.addEllipse(r);
    return p;
}

Image blankImage(int width, int height)
{
    return Image(Image::ARGB, width, height, true);
}

// A highlight that runs along the upper edge of a shape and fades out towards
// its middle, as if lit from above.
void strokeTopEdge(Graphics& g, const Path& outline, Colour colour, float thickness)
{
    const auto area = outline.getBounds();
    g.setGradientFill(ColourGradient::vertical(colour, area.getY(),
                                               colour.withAlpha(0.0f), area.getY() + 0.45f * area.getHeight()));
    g.strokePath(outline, PathStrokeType(thickness));
}

// A raised face: a soft shadow, a bevelled rim and a dark body lit from above.
// Lit faces glow in their accent colour; `solid` ones are filled with it, like
// a lamp, for buttons too small to show a glow alone.
void paintFace(Graphics& g, const Shape& shape, Rectangle<float> area, Light light, bool solid = false)
{
    const auto outline = shape(area);
    const auto rim = 0.035f * area.getHeight();
    const auto bodyArea = area.reduced(rim);
    const auto body = shape(bodyArea);
    const auto top = area.getY();
    const auto bottom = area.getBottom();
    const auto accent = accentOf(light);

    if (light != Light::off)
        DropShadow(accent.bright.withAlpha(0.8f), 16, {}).drawForPath(g, outline);
    DropShadow(Colours::black.withAlpha(0.7f), 9, { 0, 4 }).drawForPath(g, outline);

    // Rim: light at the top, dark at the bottom, so the face stands out.
    if (light == Light::off)
        g.setGradientFill(ColourGradient::vertical(greyKavri, top, blackFullKavri, bottom));
    else
        g.setGradientFill(ColourGradient::vertical(accent.bright.brighter(0.3f), top, accent.dark.darker(0.6f), bottom));
    g.fillPath(outline);

    // Body.
    if (light == Light::off)
        g.setGradientFill(ColourGradient::vertical(greyDownKavri, bodyArea.getY(), blackUltraKavri, bodyArea.getBottom()));
    else if (solid)
        g.setGradientFill(ColourGradient::vertical(accent.bright.brighter(0.25f), bodyArea.getY(),
                                                   accent.dark, bodyArea.getBottom()));
    else
        g.setGradientFill(ColourGradient::vertical(accent.dark.darker(1.2f), bodyArea.getY(),
                                                   blackUltraKavri, bodyArea.getBottom()));
    g.fillPath(body);

    if (light != Light::off && !solid)
    {
        // Light rising from the lower edge, and a thin lit line round the body.
        g.setGradientFill(ColourGradient::vertical(accent.bright.withAlpha(0.0f), bodyArea.getCentreY(),
                                                   accent.bright.withAlpha(0.35f), bodyArea.getBottom()));
        g.fillPath(body);
        g.setColour(accent.bright.withAlpha(0.85f));
        g.strokePath(body, PathStrokeType(0.02f * area.getHeight()));
    }

    // Gloss over the upper half and a bright line along the top edge.
    g.setGradientFill(ColourGradient::vertical(Colours::white.withAlpha(solid ? 0.25f : 0.08f), bodyArea.getY(),
                                               Colours::white.withAlpha(0.0f), bodyArea.getCentreY()));
    g.fillPath(body);
    strokeTopEdge(g, body, Colours::white.withAlpha(solid ? 0.6f : 0.3f), 0.012f * area.getHeight());
}

Image drawPillButton(Light light)
{
    auto image = blankImage(400, 200);
    Graphics g(image);
    // Ends inside the outer 100 columns; 15 % of the height free above and below,
    // where the hover overlay also leaves it.
    paintFace(g, pill, { 20.0f, 30.0f, 360.0f, 140.0f }, light);
    return image;
}

Image drawSquareButton(Light light)
{
    auto image = blankImage(200, 200);
    Graphics g(image);
    const Rectangle<float> area { 22.0f, 22.0f, 156.0f, 156.0f };
    paintFace(g, disc, area, light, light != Light::off);

    // The lamp in the middle: dark when off; when on the whole face is lit.
    if (light == Light::off)
    {
        const auto lamp = area.withSizeKeepingCentre(30.0f, 30.0f);
        g.setColour(blackFullKavri.withAlpha(0.8f));
        g.fillEllipse(lamp);
        g.setColour(orangeTransLanth.withAlpha(0.6f));
        g.fillEllipse(lamp.reduced(5.0f));
        strokeTopEdge(g, disc(lamp), Colours::black.withAlpha(0.6f), 2.0f);
    }
    return image;
}

Image drawKnob()
{
    auto image = blankImage(300, 300);
    Graphics g(image);
    const juce::Point<float> centre { 150.0f, 150.0f };
    const auto circle = [centre](float radius) { return Rectangle<float>(2 * radius, 2 * radius).withCentre(centre); };

    DropShadow(Colours::black.withAlpha(0.8f), 14, { 0, 6 }).drawForPath(g, disc(circle(118.0f)));

    // Bevelled outer ring.
    g.setGradientFill(ColourGradient::vertical(greyKavri, centre.y - 118.0f, blackFullKavri, centre.y + 118.0f));
    g.fillEllipse(circle(118.0f));
    g.setGradientFill(ColourGradient::vertical(blackKavri, centre.y - 112.0f, blackUltraKavri, centre.y + 112.0f));
    g.fillEllipse(circle(112.0f));

    // Knurled skirt: fine grooves all round.
    for (int i = 0; i < 90; ++i)
    {
        const auto angle = juce::MathConstants<float>::twoPi * static_cast<float>(i) / 90.0f;
        const auto along = juce::Point<float>(std::sin(angle), -std::cos(angle));
        g.setColour((i % 2 == 0 ? Colours::white.withAlpha(0.07f) : Colours::black.withAlpha(0.45f)));
        g.drawLine({ centre + along * 99.0f, centre + along * 110.0f }, 2.0f);
    }

    // The cap, brushed in rings, lit from above.
    DropShadow(Colours::black.withAlpha(0.8f), 8, { 0, 4 }).drawForPath(g, disc(circle(96.0f)));
    ColourGradient cap(greyDownKavri.brighter(0.15f), centre.x, centre.y - 70.0f,
                       blackKavri, centre.x, centre.y + 96.0f, true);
    g.setGradientFill(cap);
    g.fillEllipse(circle(96.0f));
    juce::Random random(300);
    for (float radius = 4.0f; radius < 95.0f; radius += 1.5f)
    {
        g.setColour(Colours::white.withAlpha(0.035f * random.nextFloat()));
        g.drawEllipse(circle(radius), 1.0f);
    }
    strokeTopEdge(g, disc(circle(95.0f)), Colours::white.withAlpha(0.35f), 2.0f);
    return image;
}

Image drawKnobHover()
{
    // Drawn over the knob and its pointer: only a lit ring, the rest left clear.
    auto image = blankImage(300, 300);
    Graphics g(image);
    const auto ring = Rectangle<float>(246.0f, 246.0f).withCentre({ 150.0f, 150.0f });
    Path stroke;
    PathStrokeType(4.0f).createStrokedPath(stroke, disc(ring));
    DropShadow(blueKavri.withAlpha(0.9f), 14, {}).drawForPath(g, stroke);
    g.setColour(blueKavri);
    g.fillPath(stroke);
    g.setColour(blueKavri.withAlpha(0.06f));
    g.fillEllipse(ring.withSizeKeepingCentre(192.0f, 192.0f));
    return image;
}

Image drawSliderThumb()
{
    // Centred, since the fader draws its hover ring round the picture's middle.
    auto image = blankImage(200, 200);
    Graphics g(image);
    const auto area = Rectangle<float>(84.0f, 84.0f).withCentre({ 100.0f, 100.0f });
    DropShadow(Colours::black.withAlpha(0.85f), 10, { 0, 5 }).drawForPath(g, disc(area));
    g.setGradientFill(ColourGradient::vertical(greyWhiteKavri, area.getY(), greyBlackKavri, area.getBottom()));
    g.fillEllipse(area);
    const auto body = area.reduced(4.0f);
    g.setGradientFill(ColourGradient::vertical(greyKavri, body.getY(), blackKavri, body.getBottom()));
    g.fillEllipse(body);
    strokeTopEdge(g, disc(body), Colours::white.withAlpha(0.4f), 1.5f);

    // Engraved grip line across the middle.
    const auto y = area.getCentreY();
    g.setColour(blackFullKavri);
    g.fillRoundedRectangle({ body.getX() + 10.0f, y - 2.5f, body.getWidth() - 20.0f, 4.0f }, 2.0f);
    g.setColour(greyWhiteKavri.withAlpha(0.8f));
    g.fillRoundedRectangle({ body.getX() + 10.0f, y + 1.5f, body.getWidth() - 20.0f, 1.5f }, 0.75f);
    return image;
}

Image drawLogo(const juce::Typeface::Ptr& typeface)
{
    // A level-meter mark beside the word "Tarnvale", all in one group scaled to
    // fill the picture, over a soft shadow so it reads on light and dark alike.
    juce::GlyphArrangement word;
    word.addLineOfText(juce::Font(typeface).withHeight(200.0f), "Tarnvale", 0.0f, 0.0f);
    Path text;
    word.createPath(text);
    const auto textBounds = text.getBounds();
    const auto h = textBounds.getHeight();

    const float barWidth = 0.17f * h;
    const float barGap = 0.09f * h;
    const float levels[] = { 0.42f, 0.7f, 1.0f, 0.78f, 0.52f };
    Path bars;
    for (int i = 0; i < 5; ++i)
    {
        const auto barHeight = levels[i] * h;
        bars.addRoundedRectangle(textBounds.getX() - 0.3f * h - 5 * barWidth - 4 * barGap + static_cast<float>(i) * (barWidth + barGap),
                                 textBounds.getBottom() - barHeight, barWidth, barHeight, 0.3f * barWidth);
    }

    const auto groupBounds = bars.getBounds().getUnion(textBounds);
    const auto fit = juce::RectanglePlacement(juce::RectanglePlacement::centred)
                         .getTransformToFit(groupBounds, { 24.0f, 26.0f, 1152.0f, 186.0f });
    text.applyTransform(fit);
    bars.applyTransform(fit);

    auto group = blankImage(1200, 243);
    {
        Graphics g(group);
        const auto barArea = bars.getBounds();
        g.setGradientFill(ColourGradient::vertical(orangeKavri, barArea.getY(), blueKavri, barArea.getBottom()));
        g.fillPath(bars);

        const auto textArea = text.getBounds();
        g.setGradientFill(ColourGradient::vertical(blackKavri, textArea.getY(), blackUltraKavri, textArea.getBottom()));
        g.fillPath(text);
        strokeTopEdge(g, text, Colours::white.withAlpha(0.25f), 2.0f);
    }

    auto image = blankImage(1200, 243);
    Graphics g(image);
    DropShadow(Colours::white.withAlpha(0.35f), 10, { 0, 3 }).drawForImage(g, group);
    g.setOpacity(1.0f); // the shadow left its own opacity set
    g.drawImageAt(group, 0, 0);
    return image;
}

Image drawPanelTexture()
{
    // A fine, dark carbon weave with grain. Every period divides 200, so the
    // picture tiles without seams.
    Image image(Image::RGB, 200, 200, true);
    const int cell = 10;
    juce::Random random(200);
    for (int y = 0; y < image.getHeight(); ++y)
    {
        for (int x = 0; x < image.getWidth(); ++x)
        {
            const int cx = x / cell;
            const int cy = y / cell;
            const bool across = ((cx + cy) % 2) == 0;
            const int along = across ? y % cell : x % cell;
            // Each strand is round: brightest along its middle.
            const auto t = (static_cast<float>(along) + 0.5f) / static_cast<float>(cell);
            const auto shade = std::sin(juce::MathConstants<float>::pi * t);
            const auto grain = 0.04f * (random.nextFloat() - 0.5f);
            const auto level = juce::jlimit(0.0f, 1.0f, 0.1f + 0.07f * shade + grain + (across ? 0.012f : 0.0f));
            image.setPixelAt(x, y, Colour::fromFloatRGBA(level, level * 1.01f, level * 1.02f, 1.0f));
        }
    }
    return image;
}

bool write(juce::ImageFileFormat& format, const Image& image, const juce::File& file)
{
    // Write whole, then replace, so a failed run never leaves half a picture.
    juce::TemporaryFile temporary(file);
    {
        juce::FileOutputStream out(temporary.getFile());
        if (!out.openedOk() || !format.writeImageToStream(image, out))
            return false;
        out.flush();
        if (out.getStatus().failed())
            return false;
    }
    return temporary.overwriteTargetFileWithTemporary();
}

bool writePng(const Image& image, const juce::File& file)
{
    juce::PNGImageFormat png;
    return write(png, image, file);
}
} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3)
    {
        std::cerr << "usage: tarnvale_draw_resources <output folder> <LeagueSpartan-Medium.otf>\n";
        return 2;
    }
    const juce::ScopedJuceInitialiser_GUI juceInitialiser;

    const juce::File folder(juce::File::getCurrentWorkingDirectory().getChildFile(argv[1]));
    const juce::File fontFile(juce::File::getCurrentWorkingDirectory().getChildFile(argv[2]));
    juce::MemoryBlock fontData;
    if (!folder.isDirectory() || !fontFile.loadFileAsData(fontData))
    {
        std::cerr << "cannot use folder " << argv[1] << " or read font " << argv[2] << "\n";
        return 1;
    }
    const auto typeface = juce::Typeface::createSystemTypefaceFor(fontData.getData(), fontData.getSize());
    if (typeface == nullptr)
    {
        std::cerr << "not a font: " << argv[2] << "\n";
        return 1;
    }

    // The plain face serves both the 2:1 and the wide buttons: the same picture
    // under two names.
    const auto plainFace = drawPillButton(Light::off);
    juce::JPEGImageFormat jpeg;
    jpeg.setQuality(0.92f);

    const bool ok = writePng(plainFace, folder.getChildFile("button.png"))
                    && writePng(drawPillButton(Light::orange), folder.getChildFile("button_on.png"))
                    && writePng(plainFace, folder.getChildFile("wide_button.png"))
                    && writePng(drawPillButton(Light::blue), folder.getChildFile("wide_button_on.png"))
                    && writePng(drawSquareButton(Light::off), folder.getChildFile("square_button.png"))
                    && writePng(drawSquareButton(Light::orange), folder.getChildFile("square_button_on.png"))
                    && writePng(drawKnob(), folder.getChildFile("knob.png"))
                    && writePng(drawKnobHover(), folder.getChildFile("knob_hover.png"))
                    && writePng(drawSliderThumb(), folder.getChildFile("slider_thumb.png"))
                    && writePng(drawLogo(typeface), folder.getChildFile("logo.png"))
                    && write(jpeg, drawPanelTexture(), folder.getChildFile("panel_texture.jpg"));
    if (!ok)
    {
        std::cerr << "could not write the pictures into " << folder.getFullPathName() << "\n";
        return 1;
    }
    return 0;
}
