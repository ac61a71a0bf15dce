#include "GuiTestSupport.h"
#include "app/TarnvaleApplication.h"
#include "ui/MainComponent.h"
#include "ui/MainComponentLayout.h"
#include "ui/Palette.h"

#include <gtest/gtest.h>

namespace
{
const juce::Colour barColour(0xFFC74D11);

struct Screen
{
    explicit Screen(int width = 860, int height = 587)
    {
        screen.setVisible(true);
        screen.setSize(width, height);
    }

    // The screen with its children, as the window would show it.
    juce::Image snapshot()
    {
        juce::Image image(juce::Image::ARGB, screen.getWidth(), screen.getHeight(), true);
        juce::Graphics g(image);
        screen.paintEntireComponent(g, true);
        return image;
    }

    // What the screen itself draws under its children.
    juce::Image background()
    {
        juce::Image image(juce::Image::ARGB, screen.getWidth(), screen.getHeight(), true);
        juce::Graphics g(image);
        screen.paint(g);
        return image;
    }

    void startExport(float progress, int counter)
    {
        screen.converter = std::make_unique<AudioConverter>(std::vector<AudioConverter::ConversionTask> {});
        screen.converter->progress = progress;
        screen.converter->barAnimationCounter = counter;
    }

    MainComponent screen;
};

bool near(juce::Colour a, juce::Colour b)
{
    return std::abs(a.getRed() - b.getRed()) <= 6 && std::abs(a.getGreen() - b.getGreen()) <= 6
           && std::abs(a.getBlue() - b.getBlue()) <= 6;
}

int countPixels(const juce::Image& image, juce::Rectangle<int> area, const std::function<bool(juce::Colour)>& match)
{
    int count = 0;
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            count += match(image.getPixelAt(x, y)) ? 1 : 0;
    return count;
}
} // namespace

TEST(MainLayout, MeasuresAndPlacesEverythingAtTheDesignSize)
{
    const auto m = screenMetrics(860, 587);
    EXPECT_DOUBLE_EQ(m.scaleWidth, 602.0);
    EXPECT_DOUBLE_EQ(m.blockLeft, 273.5);
    const struct
    {
        const char* name;
        int actual;
        int expected;
    } measures[] = {
        { "logoHeight", m.logoHeight, 34 }, { "gap", m.gap, 27 },         { "blockWidth", m.blockWidth, 313 },
        { "squareSize", m.squareSize, 36 }, { "columnGap", m.columnGap, 108 }, { "sideMargin", m.sideMargin, 86 },
        { "rowStep", m.rowStep, 78 },       { "buttonHeight", m.buttonHeight, 43 },
    };
    for (const auto& measure : measures)
        EXPECT_EQ(measure.actual, measure.expected) << measure.name;

    Screen s;
    auto& c = s.screen;
    EXPECT_FLOAT_EQ(c.look.labelFontHeight, 13.244f);

    using R = juce::Rectangle<int>;
    const std::pair<juce::Component*, R> placed[] = {
        { &c.logoButton, { 346, 12, 167, 34 } },        { &c.openButton, { 327, 54, 205, 43 } },
        { &c.exportButton, { 327, 534, 205, 43 } },     { &c.analyzeButton, { 246, 99, 367, 43 } },
        { &c.directoryButton, { 246, 489, 367, 43 } },  { &c.infoLabel, { 165, 151, 529, 27 } },
        { &c.clearButton, { 165, 444, 529, 43 } },      { &c.buttonNetflix, { 194, 232, 36, 36 } },
        { &c.buttonARIB, { 338, 232, 36, 36 } },        { &c.buttonOP59, { 482, 232, 36, 36 } },
        { &c.buttonTASA, { 626, 232, 36, 36 } },        { &c.buttonATSC, { 194, 310, 36, 36 } },
        { &c.buttonCustom, { 410, 310, 36, 36 } },      { &c.buttonAGCOM, { 626, 310, 36, 36 } },
        { &c.buttonEBU, { 194, 388, 36, 36 } },         { &c.buttonFranceTV, { 338, 388, 36, 36 } },
        { &c.buttonPodcast, { 482, 388, 36, 36 } },     { &c.buttonStreaming, { 626, 388, 36, 36 } },
        { &c.targetLabels[0], { 125, 203, 172, 36 } },  { &c.targetLabels[1], { 269, 203, 172, 36 } },
        { &c.targetLabels[2], { 413, 203, 172, 36 } },  { &c.targetLabels[3], { 557, 203, 172, 36 } },
        { &c.targetLabels[4], { 125, 281, 172, 36 } },  { &c.targetLabels[5], { 125, 359, 172, 36 } },
        { &c.targetLabels[6], { 269, 359, 172, 36 } },  { &c.targetLabels[7], { 557, 281, 172, 36 } },
        { &c.targetLabels[8], { 413, 359, 172, 36 } },  { &c.targetLabels[9], { 557, 359, 172, 36 } },
        { &c.targetLabels[10], { 341, 274, 172, 14 } }, { &c.customLufsEditor, { 309, 292, 108, 21 } },
        { &c.customPeakEditor, { 438, 292, 108, 21 } }, { &c.dropTarget, { 0, 0, 860, 587 } },
    };
    for (const auto& [child, bounds] : placed)
        EXPECT_EQ(child->getBounds(), bounds) << child->getName() << " expected at " << bounds.toString();
    EXPECT_TRUE(c.targetLabels[10].isVisible());

    EXPECT_EQ(targetPanelBounds(c), juce::Rectangle<float>(87.5f, 198.0f, 679.0f, 231.0f));

    // The bar: half of 98 % at 0.5, never past 98 % of the status line, never negative.
    const struct
    {
        int counter;
        float progress;
        int expected;
    } bars[] = { { 0, 0.5f, 259 }, { 10, 0.5f, 269 }, { 100000, 0.5f, 518 }, { -400, 0.1f, 0 } };
    for (const auto& bar : bars)
        EXPECT_EQ(progressBarLength(bar.counter, bar.progress, 529), bar.expected) << bar.counter;
}

TEST(MainLayout, ScalesWithWidthAndCoversTheScreenWithTheShownAnalysisList)
{
    Screen s(1720, 1174);
    auto& c = s.screen;
    EXPECT_FLOAT_EQ(c.look.labelFontHeight, static_cast<float>(1204.0 * 0.022f));
    EXPECT_EQ(c.openButton.getBounds(), juce::Rectangle<int>(655, 108, 410, 86));
    // A hidden list keeps its old bounds; a shown one follows every resize.
    EXPECT_TRUE(c.analysisComponent.getBounds().isEmpty());
    c.analysisComponent.setVisible(true);
    c.setSize(688, 469);
    EXPECT_EQ(c.analysisComponent.getBounds(), juce::Rectangle<int>(0, 0, 688, 469));
}

TEST(MainLayout, WindowKeepsTheDesignProportion)
{
    if (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() == nullptr)
        GTEST_SKIP() << "needs an X display";

    TarnvaleApplication app;
    app.initialise({});
    auto& window = *app.mainWindow;
    auto& screen = *dynamic_cast<MainComponent*>(window.getContentComponent());

    const struct
    {
        int width, height, expectedWidth, expectedHeight;
    } sizes[] = { { 861, 587, 861, 587 }, { 1000, 587, 860, 587 }, { 860, 700, 860, 587 } };
    for (const auto& size : sizes)
    {
        window.setSize(size.width, size.height);
        testgui::pumpFor(300);
        const juce::Rectangle<int> expected(size.expectedWidth, size.expectedHeight);
        EXPECT_EQ(window.getLocalBounds(), expected) << size.width << " x " << size.height;
        EXPECT_EQ(screen.getBounds(), expected);
        // Laid out at the size kept, not at the size asked for.
        EXPECT_EQ(screen.dropTarget.getBounds(), expected);
    }
    testgui::saveSnapshot(screen.createComponentSnapshot(screen.getLocalBounds()), "main-window-860x587");
    app.shutdown();
}

TEST(MainLayout, StatusBoxIsFramedInRedOnlyWhenTheStatusStartsWithError)
{
    const struct
    {
        const char* text;
        bool red;
    } cases[] = { { "Error export directory", true },
                  { "error export directory", false },
                  { "Export failed: Error", false },
                  { "DRAG & DROP WAV files !", false } };
    for (const auto& testCase : cases)
    {
        Screen s;
        s.screen.infoLabel.setText(testCase.text, juce::dontSendNotification);
        const auto image = s.snapshot();
        // The row above the status line's top edge: only the 2-pixel frame reaches it.
        EXPECT_EQ(near(image.getPixelAt(430, 150), redKavri), testCase.red) << testCase.text;
        EXPECT_EQ(near(image.getPixelAt(430, 178), redKavri), testCase.red) << testCase.text;
        if (testCase.red)
            testgui::saveSnapshot(image.getClippedImage({ 150, 140, 560, 50 }), "status-box-error");
    }
}

TEST(MainLayout, ProgressBarShowsOnlyWhileTheEngineIsBetweenStartAndEnd)
{
    const struct
    {
        float progress;
        int counter;
        int expectedLength;
    } cases[] = { { 0.0f, 0, 0 }, { 1.0f, 0, 0 }, { 6666.0f, 0, 0 }, { 0.5f, 0, 259 }, { 0.5f, 100000, 518 } };
    for (const auto& testCase : cases)
    {
        Screen s;
        s.screen.infoLabel.setText({}, juce::dontSendNotification);
        s.startExport(testCase.progress, testCase.counter);
        const auto image = s.snapshot();
        const int length = countPixels(image, { 0, 165, 860, 1 }, [](juce::Colour c) { return near(c, barColour); });
        EXPECT_NEAR(length, testCase.expectedLength, 1) << testCase.progress;
        // Each drawn bar moves the animation on by one.
        EXPECT_EQ(s.screen.converter->barAnimationCounter.load(), testCase.counter + (length > 0 ? 1 : 0));
    }

    Screen s;
    s.screen.infoLabel.setText("Normalizing EBU R128 (2/5)", juce::dontSendNotification);
    s.startExport(0.4f, 30);
    testgui::saveSnapshot(s.snapshot().getClippedImage({ 150, 140, 560, 50 }), "progress-bar-mid-export");
}

TEST(MainLayout, VersionTextShowsUnderTheLogoOnlyWhileTheAnalysisListIsHidden)
{
    Screen s;
    const juce::Rectangle<int> band(346, 46, 167, 10);
    const auto reddish = [](juce::Colour c) { return c.getRed() - c.getBlue() > 100; };
    EXPECT_GT(countPixels(s.background(), band, reddish), 10);
    s.screen.analysisComponent.setVisible(true);
    EXPECT_EQ(countPixels(s.background(), band, reddish), 0);
}

TEST(MainLayout, SnapshotsOfTheWholeScreen)
{
    for (const auto& [width, height] : { std::pair { 688, 469 }, { 860, 587 }, { 1720, 1174 } })
    {
        Screen s(width, height);
        const auto image = s.snapshot();
        // Finished at every size: the export button stays on the screen.
        EXPECT_LE(s.screen.exportButton.getBottom(), height);
        testgui::saveSnapshot(image, "main-screen-" + juce::String(width) + "x" + juce::String(height));
    }
}

// Painting details a glance at a snapshot would miss, each at a pixel that
// only it decides, with the custom loudness editor focused.
TEST(MainLayout, PaintedDetailsAtTheDesignSize)
{
    Screen s;
    s.screen.addToDesktop(0);
    s.screen.customLufsEditor.grabKeyboardFocus();
    ASSERT_TRUE(testgui::pumpUntil([&] { return s.screen.customLufsEditor.hasKeyboardFocus(false); }, 3000));
    const auto image = s.snapshot();

    const struct
    {
        const char* what;
        juce::Point<int> at;
        juce::Colour expected;
    } probes[] = {
        { "background gradient at its centre", { 172, 35 }, juce::Colour(0xFFD2E1F0) },
        { "texture at 0.3 where it is darkest against the panel gradient", { 249, 253 }, juce::Colour(0xFF2B2F30) },
        { "custom box's red edge, left of its dark frame", { 302, 305 }, redKavri },
        { "status outline's right end, a pixel beyond the box", { 694, 164 }, juce::Colour(0xFF474F56) },
        { "focused editor's outline", { 333, 292 }, juce::Colour(0xFFAC4A1B) },
    };
    for (const auto& probe : probes)
    {
        const auto got = testgui::colourAt(image, probe.at);
        EXPECT_TRUE(std::abs(got.getRed() - probe.expected.getRed()) <= 2
                    && std::abs(got.getGreen() - probe.expected.getGreen()) <= 2
                    && std::abs(got.getBlue() - probe.expected.getBlue()) <= 2)
            << probe.what << ": " << got.toDisplayString(true) << " instead of " << probe.expected.toDisplayString(true);
    }
}
