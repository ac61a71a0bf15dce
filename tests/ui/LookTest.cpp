#include "GuiTestSupport.h"
#include "ui/Look.h"
#include "ui/MainComponent.h"
#include "ui/Palette.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace
{
using juce::Rectangle;
using Calls = std::vector<juce::String>;

juce::String describe(const juce::AffineTransform& t)
{
    const auto n = [](float v) { return juce::String(v, 3); };
    return "[" + n(t.mat00) + " " + n(t.mat01) + " " + n(t.mat02) + " / " + n(t.mat10) + " " + n(t.mat11) + " "
           + n(t.mat12) + "]";
}

juce::String describe(const juce::FillType& fill)
{
    return fill.isColour() ? fill.colour.toDisplayString(true) : juce::String("gradient");
}

// A renderer that draws nothing and writes down, as text, every picture, shape
// and glyph it is asked for. Pictures are named, with the part of the picture
// that was cut out of them, so that a drawing can be compared with the same
// drawing made directly through juce::Graphics.
class RecordingContext : public juce::LowLevelGraphicsContext
{
public:
    explicit RecordingContext(std::vector<std::pair<juce::Image, juce::String>> names) : pictures(std::move(names)) {}

    Calls calls;

    bool isVectorDevice() const override { return false; }
    void setOrigin(juce::Point<int> o) override { calls.push_back("origin " + o.toString()); }
    void addTransform(const juce::AffineTransform& t) override { calls.push_back("transform " + describe(t)); }
    float getPhysicalPixelScaleFactor() override { return 1.0f; }
    bool clipToRectangle(const Rectangle<int>&) override { return true; }
    bool clipToRectangleList(const juce::RectangleList<int>&) override { return true; }
    void excludeClipRectangle(const Rectangle<int>&) override {}
    void clipToPath(const juce::Path&, const juce::AffineTransform&) override {}
    void clipToImageAlpha(const juce::Image& image, const juce::AffineTransform& t) override
    {
        calls.push_back("silhouette of " + nameOf(image) + " " + describe(t));
    }
    bool clipRegionIntersects(const Rectangle<int>&) override { return true; }
    Rectangle<int> getClipBounds() const override { return { -10000, -10000, 20000, 20000 }; }
    bool isClipEmpty() const override { return false; }
    void saveState() override { stack.push_back(state); }
    void restoreState() override
    {
        state = stack.back();
        stack.pop_back();
    }
    void beginTransparencyLayer(float) override {}
    void endTransparencyLayer() override {}
    void setFill(const juce::FillType& fill) override { state.fill = fill; }
    void setOpacity(float opacity) override { state.fill.setOpacity(opacity); }
    void setInterpolationQuality(juce::Graphics::ResamplingQuality q) override
    {
        calls.push_back("quality " + juce::String(int(q)));
    }
    void fillRect(const Rectangle<int>& r, bool) override { calls.push_back("rect " + r.toString() + " " + describe(state.fill)); }
    void fillRect(const Rectangle<float>& r) override { calls.push_back("rect " + r.toString() + " " + describe(state.fill)); }
    void fillRectList(const juce::RectangleList<float>& list) override
    {
        for (const auto& r : list)
            fillRect(r);
    }
    void fillPath(const juce::Path& path, const juce::AffineTransform& t) override
    {
        calls.push_back("path " + path.toString() + " " + describe(t) + " " + describe(state.fill));
    }
    void drawImage(const juce::Image& image, const juce::AffineTransform& t) override
    {
        calls.push_back("image " + nameOf(image) + " " + describe(t) + " alpha "
                        + juce::String(state.fill.getOpacity(), 3));
    }
    void drawLine(const juce::Line<float>& line) override { calls.push_back("line " + line.getStart().toString() + " " + line.getEnd().toString() + " " + describe(state.fill)); }
    void setFont(const juce::Font& font) override { state.font = font; }
    const juce::Font& getFont() override { return state.font; }
    void drawGlyph(int glyph, const juce::AffineTransform& t) override
    {
        calls.push_back("glyph " + juce::String(glyph) + " " + describe(t) + " font "
                        + juce::String(state.font.getHeight(), 3) + (state.font.isBold() ? " bold " : " ")
                        + describe(state.fill));
    }

private:
    // Which named picture the (possibly cut-out) image shows, and where the cut starts.
    juce::String nameOf(const juce::Image& image) const
    {
        const juce::Image::BitmapData part(image, juce::Image::BitmapData::readOnly);
        for (const auto& [picture, name] : pictures)
        {
            if (!picture.isValid())
                continue;
            const juce::Image::BitmapData whole(picture, juce::Image::BitmapData::readOnly);
            const auto offset = part.data - whole.data;
            if (offset >= 0 && offset < whole.lineStride * whole.height)
                return name + " from " + juce::String(int(offset % whole.lineStride) / whole.pixelStride) + ","
                       + juce::String(int(offset / whole.lineStride)) + " size " + juce::String(image.getWidth())
                       + "x" + juce::String(image.getHeight());
        }
        return "unknown picture " + image.getBounds().toString();
    }

    struct State
    {
        juce::FillType fill { juce::Colours::black };
        juce::Font font;
    };
    State state;
    std::vector<State> stack;
    std::vector<std::pair<juce::Image, juce::String>> pictures;
};

struct LookTest : ::testing::Test
{
    Look look;
    juce::Image icon { juce::Image::ARGB, 50, 20, true };

    Calls record(const std::function<void(juce::Graphics&)>& draw)
    {
        RecordingContext context({ { look.buttonImage, "button" },
                                   { look.buttonOnImage, "buttonOn" },
                                   { look.squareButtonImage, "square" },
                                   { look.squareButtonOnImage, "squareOn" },
                                   { look.wideButtonImage, "wide" },
                                   { look.wideButtonOnImage, "wideOn" },
                                   { icon, "icon" } });
        juce::Graphics g(context);
        draw(g);
        return context.calls;
    }
};

// Puts a component into a window of its own, where a synthetic mouse move can
// place the pointer over it.
struct OnDesktop
{
    explicit OnDesktop(juce::Component& c) : content(c)
    {
        host.setBounds(40, 40, 400, 120);
        content.setTopLeftPosition(10, 10);
        host.addAndMakeVisible(content);
        host.addToDesktop(0);
        host.setVisible(true);
    }
    ~OnDesktop()
    {
        pointAt({ 1, 1 });
        host.removeFromDesktop();
    }
    void pointAt(juce::Point<int> p)
    {
        host.getPeer()->handleMouseEvent(juce::MouseInputSource::InputSourceType::mouse, p.toFloat(), {},
                                         juce::MouseInputSource::defaultPressure,
                                         juce::MouseInputSource::defaultOrientation, juce::Time::currentTimeMillis());
    }
    void hover() { pointAt(content.getBounds().getCentre()); }

    juce::Component host;
    juce::Component& content;
};

struct Piece
{
    Rectangle<int> destination, source;
};

struct Overlay
{
    double x, y, w, h, corner;
};

void drawPieces(juce::Graphics& g, const juce::Image& image, const std::vector<Piece>& pieces)
{
    for (const auto& p : pieces)
        g.drawImage(image, p.destination.getX(), p.destination.getY(), p.destination.getWidth(),
                    p.destination.getHeight(), p.source.getX(), p.source.getY(), p.source.getWidth(),
                    p.source.getHeight());
}

void fillOverlay(juce::Graphics& g, const Overlay& o)
{
    g.setColour(lightKavri2);
    g.fillRoundedRectangle({ float(o.x), float(o.y), float(o.w), float(o.h) }, float(o.corner));
}

Calls only(const Calls& calls, const char* kind)
{
    Calls kept;
    for (const auto& c : calls)
        if (c.startsWith(kind))
            kept.push_back(c);
    return kept;
}
} // namespace

TEST_F(LookTest, ColourTable)
{
    const struct
    {
        int id;
        juce::uint32 argb;
    } table[] = {
        { juce::Label::textColourId, 0xCCE6E6E6 },
        { juce::PopupMenu::textColourId, 0xFFD2D3D3 },
        { juce::PopupMenu::backgroundColourId, 0xD91A1A1A },
        { juce::PopupMenu::headerTextColourId, 0xFF2ACBD6 },
        { juce::PopupMenu::highlightedTextColourId, 0xFFFAFBFB },
        { juce::PopupMenu::highlightedBackgroundColourId, 0xFF148596 },
        { juce::ProgressBar::backgroundColourId, 0xFF2ACBD6 },
        { juce::ProgressBar::foregroundColourId, 0xFFFAFBFB },
        { juce::AlertWindow::textColourId, 0xFFFAFBFB },
        { juce::AlertWindow::backgroundColourId, 0xFF414242 },
        { juce::AlertWindow::outlineColourId, 0xFFFAFBFB },
        { juce::TextButton::buttonColourId, 0xFFFAFBFB },
        { juce::TextButton::buttonOnColourId, 0xFF146D78 },
        { juce::TextButton::textColourOffId, 0xFFAAACB1 },
        { juce::TextButton::textColourOnId, 0xFF2ACBD6 },
        { juce::ComboBox::outlineColourId, 0xFFE6E7E7 },
        { juce::ScrollBar::thumbColourId, 0xFFFAFBFB },
        { juce::ScrollBar::backgroundColourId, 0xFF2ACBD6 },
        { juce::ScrollBar::trackColourId, 0xFF2ACBD6 },
        { juce::TextEditor::backgroundColourId, 0xFF323333 },
        { juce::TextEditor::highlightColourId, 0xFFECA019 },
        { juce::TextEditor::focusedOutlineColourId, 0xFF5A3C0A },
        { juce::TextEditor::outlineColourId, 0xFFD2D3D3 },
        { juce::TextEditor::textColourId, 0xFFFAFBFB },
        { juce::TextEditor::shadowColourId, 0xFF282929 },
        { juce::ListBox::outlineColourId, 0xFFFAFBFB },
        { juce::ListBox::backgroundColourId, 0xFF282929 },
        { juce::TableHeaderComponent::backgroundColourId, 0xFF282929 },
        { juce::TableHeaderComponent::textColourId, 0xFFFAFBFB },
        { juce::TableHeaderComponent::outlineColourId, 0xFF282929 },
        { juce::TableHeaderComponent::highlightColourId, 0xFF282929 },
        { juce::FileChooserDialogBox::titleTextColourId, 0xFFFAFBFB },
        { juce::TooltipWindow::backgroundColourId, 0xFF282929 },
        { juce::FileBrowserComponent::currentPathBoxTextColourId, 0xFFFAFBFB },
        { juce::FileBrowserComponent::currentPathBoxArrowColourId, 0xFFFAFBFB },
        { juce::FileBrowserComponent::filenameBoxBackgroundColourId, 0xFF282929 },
        { juce::FileBrowserComponent::filenameBoxTextColourId, 0xFFFAFBFB },
        { juce::Slider::textBoxOutlineColourId, 0x00000000 },
    };
    ASSERT_EQ(std::size(table), 38u);
    for (const auto& row : table)
        EXPECT_EQ(look.findColour(row.id).getARGB(), row.argb) << "colour id 0x" << juce::String::toHexString(row.id);

    // Colours outside the table keep the framework's scheme.
    const juce::LookAndFeel_V4 framework;
    EXPECT_EQ(look.findColour(juce::Slider::thumbColourId), framework.findColour(juce::Slider::thumbColourId));

    // A widget with no colour of its own takes the table's.
    juce::TextEditor editor;
    EXPECT_EQ(editor.findColour(juce::TextEditor::backgroundColourId).getARGB(), 0xFF323333u);
}

TEST_F(LookTest, BecomesTheDefaultWithTheEmbeddedTypeface)
{
    EXPECT_EQ(&juce::LookAndFeel::getDefaultLookAndFeel(), &look);
    const juce::Font font(20.0f);
    ASSERT_NE(font.getTypefacePtr(), nullptr);
    EXPECT_TRUE(font.getTypefacePtr()->getName().startsWith("League Spartan")) << font.getTypefacePtr()->getName();

    // The pictures decode at construction; their sizes are the resources' own.
    EXPECT_EQ(look.wideButtonOnImage.getBounds(), juce::Rectangle<int>(400, 200));
    EXPECT_EQ(look.labelFontHeight, 16.0f);
}

// Every width of a 30-pixel-high button, hovered, plain and toggled: which
// picture is cut how, and where the hover overlay lies.
TEST_F(LookTest, ButtonFacesFollowTheButtonsProportions)
{
    enum class Pair
    {
        none,
        square,
        twoToOne,
        wide
    };
    const struct
    {
        int width;
        Pair pair;
        std::vector<Piece> pieces;
        Overlay overlay;
    } cases[] = {
        { 29, Pair::none, {}, { 1.45, 4.5, 26.1, 21, 15 } },
        { 30, Pair::square, { { { 0, 0, 30, 30 }, { 0, 0, 200, 200 } } }, { 3, 3, 24, 24, 15 } },
        { 58, Pair::wide,
          { { { 0, 0, 15, 30 }, { 0, 0, 100, 200 } },
            { { 43, 0, 30, 30 }, { 300, 0, 200, 200 } },
            { { 15, 0, 28, 30 }, { 100, 0, 120, 200 } } },
          { 2.9, 4.5, 52.2, 21, 15 } },
        { 59, Pair::twoToOne, { { { 0, 0, 59, 30 }, { 0, 0, 400, 200 } } }, { 2.95, 4.5, 53.1, 21, 15 } },
        { 60, Pair::twoToOne, { { { 0, 0, 60, 30 }, { 0, 0, 400, 200 } } }, { 3, 4.5, 54, 21, 15 } },
        { 61, Pair::twoToOne, { { { 0, 0, 61, 30 }, { 0, 0, 400, 200 } } }, { 3.05, 4.5, 54.9, 21, 15 } },
        { 62, Pair::wide,
          { { { 0, 0, 30, 30 }, { 0, 0, 200, 200 } },
            { { 32, 0, 30, 30 }, { 200, 0, 200, 200 } },
            { { 30, 0, 2, 30 }, { 200, 0, 100, 200 } } },
          { 3.1, 4.5, 55.8, 21, 15 } },
        { 63, Pair::wide,
          { { { 0, 0, 30, 30 }, { 0, 0, 200, 200 } },
            { { 33, 0, 30, 30 }, { 200, 0, 200, 200 } },
            { { 30, 0, 3, 30 }, { 200, 0, 100, 200 } } },
          { 0.03 * 63, 4.5, 0.94 * 63, 21, 15 } },
    };

    juce::TextButton button;
    OnDesktop desktop(button);
    for (const auto& c : cases)
    {
        for (const bool toggled : { false, true })
        {
            SCOPED_TRACE(juce::String(c.width) + (toggled ? " toggled" : " plain"));
            button.setSize(c.width, 30);
            button.setToggleState(toggled, juce::dontSendNotification);
            desktop.hover();
            ASSERT_TRUE(button.isMouseOverOrDragging());

            const juce::Image* face = nullptr;
            if (c.pair == Pair::square)
                face = toggled ? &look.squareButtonOnImage : &look.squareButtonImage;
            else if (c.pair == Pair::twoToOne)
                face = toggled ? &look.buttonOnImage : &look.buttonImage;
            else if (c.pair == Pair::wide)
                face = toggled ? &look.wideButtonOnImage : &look.wideButtonImage;

            const auto expected = record([&](juce::Graphics& g) {
                g.setImageResamplingQuality(juce::Graphics::highResamplingQuality);
                if (face != nullptr)
                    drawPieces(g, *face, c.pieces);
                fillOverlay(g, c.overlay);
            });
            EXPECT_EQ(record([&](juce::Graphics& g) { look.drawButtonBackground(g, button, {}, false, false); }),
                      expected);
        }
    }
}

TEST_F(LookTest, HoverOverlayOnlyOnEnabledButtonsUnderThePointer)
{
    juce::TextButton button;
    button.setSize(40, 40);
    OnDesktop desktop(button);
    const auto overlays = [&] {
        return only(record([&](juce::Graphics& g) { look.drawButtonBackground(g, button, {}, false, false); }), "path");
    };

    EXPECT_TRUE(overlays().empty());

    desktop.hover();
    const auto square = record([](juce::Graphics& g) { fillOverlay(g, { 4, 4, 32, 32, 20 }); });
    EXPECT_EQ(overlays(), square);

    button.setEnabled(false);
    EXPECT_TRUE(button.isMouseOverOrDragging());
    EXPECT_TRUE(overlays().empty());
}

// The caption's box comes from its indents; the glyphs must land exactly where
// drawFittedText puts them for that box.
TEST_F(LookTest, CaptionsSitInTheirIndentedBox)
{
    const auto off = backgroundKavri2;
    const auto on = blueKavri;
    const struct
    {
        const char* what;
        int width, height, edges;
        bool toggled, enabled;
        Rectangle<int> box; // empty: no caption
        juce::Colour colour;
    } cases[] = {
        { "200x40", 200, 40, 0, false, true, { 5, 5, 190, 32 }, off },
        { "connected on the left", 200, 40, juce::Button::ConnectedOnLeft, false, true, { 2, 5, 193, 32 }, off },
        { "connected on both sides", 200, 40, juce::Button::ConnectedOnLeft | juce::Button::ConnectedOnRight, false,
          true, { 2, 5, 196, 32 }, off },
        { "toggled", 200, 40, 0, true, true, { 5, 5, 190, 32 }, on },
        { "disabled", 200, 40, 0, false, false, { 5, 5, 190, 32 }, off.withMultipliedAlpha(0.5f) },
        { "15 high: 1.5 rounds up to 2", 100, 15, 0, false, true, { 3, 3, 94, 11 }, off },
        { "25 high: 2.5 rounds down to 2", 100, 25, 0, false, true, { 6, 3, 88, 21 }, off },
        { "6 high: the lowest with a caption", 100, 6, 0, false, true, { 3, 2, 94, 4 }, off },
        { "5 high: too low for a caption", 100, 5, 0, false, true, {}, off },
        { "no width", 0, 40, 0, false, true, {}, off },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        juce::TextButton button("EXPORT");
        button.setSize(c.width, c.height);
        button.setConnectedEdges(c.edges);
        button.setToggleState(c.toggled, juce::dontSendNotification);
        button.setEnabled(c.enabled);

        const auto expected = record([&](juce::Graphics& g) {
            g.setFont(juce::Font(float(c.height) * 0.3f));
            g.setColour(c.colour);
            if (!c.box.isEmpty())
                g.drawFittedText("EXPORT", c.box, juce::Justification::centred, 2, 0.5f);
        });
        const auto drawn = record([&](juce::Graphics& g) { look.drawButtonText(g, button, false, false); });
        EXPECT_EQ(drawn, expected);
        EXPECT_EQ(drawn.empty(), c.box.isEmpty());
    }
}

TEST_F(LookTest, ImageOnlyButtonsShowTheirPictureAlone)
{
    juce::ImageButton button;
    button.setColour(juce::TextButton::buttonColourId, transparentKavri);
    button.setSize(100, 40);
    OnDesktop desktop(button);

    const auto drawn = [&] {
        return record([&](juce::Graphics& g) {
            look.drawImageButton(g, &icon, 10, 5, 20, 10, juce::Colours::red.withAlpha(0.5f), 0.3f, button);
        });
    };
    const auto pictureAt = [&](Rectangle<int> r) {
        return record([&](juce::Graphics& g) {
            g.setImageResamplingQuality(juce::Graphics::highResamplingQuality);
            drawPieces(g, icon, { { r, icon.getBounds() } });
        });
    };

    EXPECT_EQ(drawn(), pictureAt({ 0, 0, 100, 40 }));
    desktop.hover();
    EXPECT_EQ(drawn(), pictureAt({ 6, 2, 88, 36 }));
}

TEST_F(LookTest, FramedImageButtonsCentreAFadedIcon)
{
    const auto red = juce::Colours::red;
    const struct
    {
        const char* what;
        int width, height;
        bool toggled, enabled, hovered;
        juce::Colour overlayColour;
        float opacity;
        const juce::Image Look::*face;
        bool icon, silhouette;
        float iconAlpha;
    } cases[] = {
        { "plain icon", 100, 40, false, true, false, transparentKavri, 0.8f, &Look::buttonImage, true, false, 0.8f },
        { "disabled: a fifth of the opacity", 100, 40, false, false, false, transparentKavri, 0.5f, &Look::buttonImage,
          true, false, 0.1f },
        { "opaque overlay: silhouette only", 100, 40, false, true, false, red, 1.0f, &Look::buttonImage, false, true, 0 },
        { "translucent overlay: both", 100, 40, false, true, false, red.withAlpha(0.5f), 1.0f, &Look::buttonImage, true,
          true, 1.0f },
        { "square and toggled", 40, 40, true, true, false, transparentKavri, 1.0f, &Look::squareButtonOnImage, true,
          false, 1.0f },
        { "wide and toggled: still the 2:1 face", 200, 40, true, true, false, transparentKavri, 1.0f,
          &Look::buttonOnImage, true, false, 1.0f },
        { "hovered", 100, 40, false, true, true, transparentKavri, 1.0f, &Look::buttonImage, true, false, 1.0f },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        juce::ImageButton button;
        button.setSize(c.width, c.height);
        button.setToggleState(c.toggled, juce::dontSendNotification);
        button.setEnabled(c.enabled);
        OnDesktop desktop(button);
        if (c.hovered)
            desktop.hover();

        // The icon's own rectangle is the whole button: it lands on the middle 40 %.
        const auto iconAt = juce::AffineTransform::scale(0.4f * float(c.width) / 50.0f, 0.4f * float(c.height) / 20.0f)
                                .translated(0.3f * float(c.width), 0.3f * float(c.height));
        const auto expected = record([&](juce::Graphics& g) {
            g.setImageResamplingQuality(juce::Graphics::highResamplingQuality);
            const auto& face = look.*(c.face);
            drawPieces(g, face, { { { 0, 0, c.width, c.height }, face.getBounds() } });
            if (c.icon)
            {
                g.setOpacity(c.iconAlpha);
                g.drawImageTransformed(icon, iconAt, false);
            }
            if (c.silhouette)
            {
                g.setColour(c.overlayColour);
                g.drawImageTransformed(icon, iconAt, true);
            }
            if (c.hovered)
                fillOverlay(g, { 3, 6, 94, 28, 20 }); // 100 >= 2 * 40 + 3: the wide geometry
        });
        EXPECT_EQ(record([&](juce::Graphics& g) {
                      look.drawImageButton(g, &icon, 0, 0, c.width, c.height, c.overlayColour, c.opacity, button);
                  }),
                  expected);
    }
}

TEST_F(LookTest, EditorsAreRoundedAndDisabledOnesHaveNoOutline)
{
    juce::TextEditor editor;
    editor.setSize(120, 20);
    const auto background = record([&](juce::Graphics& g) { look.fillTextEditorBackground(g, 120, 20, editor); });
    const auto outline = [&] {
        return record([&](juce::Graphics& g) { look.drawTextEditorOutline(g, 120, 20, editor); });
    };

    EXPECT_EQ(background, record([](juce::Graphics& g) {
                  g.setColour(greyBlackKavri);
                  g.fillRoundedRectangle(3, 3, 116, 16, 10);
              }));
    EXPECT_EQ(outline(), record([](juce::Graphics& g) {
                  g.setColour(greyWhiteKavri);
                  g.drawRoundedRectangle(1, 1, 118, 18, 10, 1.5f);
              }));

    editor.setEnabled(false);
    EXPECT_TRUE(outline().empty());
    EXPECT_EQ(record([&](juce::Graphics& g) { look.fillTextEditorBackground(g, 120, 20, editor); }), background);
}

TEST_F(LookTest, LabelsAreDrawnPlainAtTheSharedHeight)
{
    juce::Label label("status", "DRAG & DROP WAV files !");
    label.setSize(300, 40);
    label.setFont(juce::Font(30.0f, juce::Font::bold));

    for (const float height : { 21.5f, 12.0f })
    {
        look.labelFontHeight = height;
        const auto glyphs = only(record([&](juce::Graphics& g) { label.paintEntireComponent(g, false); }), "glyph");
        ASSERT_FALSE(glyphs.empty());
        for (const auto& glyph : glyphs)
            EXPECT_TRUE(glyph.contains(" font " + juce::String(height, 3) + " ")) << glyph;
        EXPECT_EQ(label.getFont().getHeight(), height);
        EXPECT_FALSE(label.getFont().isBold());
    }
}

// The screen's layout rewrites the shared height; every label must follow it.
TEST(LookOnScreen, LabelsFollowTheHeightAfterAResize)
{
    MainComponent screen;
    for (const auto& size : { juce::Point<int> { 1720, 1174 }, { 688, 469 } })
    {
        screen.setSize(size.x, size.y);
        for (auto* label : { &screen.targetLabels[0], &screen.targetLabels[10], &screen.infoLabel })
        {
            juce::Image image(juce::Image::ARGB, 10, 10, true);
            juce::Graphics g(image);
            label->paintEntireComponent(g, false);
            EXPECT_EQ(label->getFont().getHeight(), screen.look.labelFontHeight) << size.toString();
        }
    }
}

TEST_F(LookTest, Snapshots)
{
    const auto onBackground = [](juce::Component& c) {
        juce::Image image(juce::Image::ARGB, c.getWidth() + 20, c.getHeight() + 20, true);
        juce::Graphics g(image);
        g.fillAll(blackUltraKavri);
        g.drawImageAt(c.createComponentSnapshot(c.getLocalBounds()), 10, 10);
        return image;
    };

    juce::TextButton hovered("EXPORT"), disabled("ANALYZE"), toggle;
    hovered.setSize(200, 40);
    hovered.setColour(juce::TextButton::textColourOffId, redKavri);
    {
        OnDesktop desktop(hovered);
        desktop.hover();
        ASSERT_TRUE(hovered.isMouseOverOrDragging());
        testgui::saveSnapshot(onBackground(hovered), "look-button-hovered");
    }

    disabled.setSize(200, 40);
    disabled.setEnabled(false);
    testgui::saveSnapshot(onBackground(disabled), "look-button-disabled");

    toggle.setSize(40, 40);
    toggle.setToggleState(true, juce::dontSendNotification);
    testgui::saveSnapshot(onBackground(toggle), "look-toggle-ticked");
}
