#include "GuiTestSupport.h"

#include "ui/DragAndDropDemoTarget.h"
#include "ui/Palette.h"

#include <gtest/gtest.h>

namespace
{
// Stands in for the main screen: an opaque gradient with the drop zone over all of it.
struct Screen : juce::Component
{
    Screen()
    {
        addAndMakeVisible(zone);
        setSize(300, 200);
    }

    void resized() override { zone.setBounds(getLocalBounds()); }
    void paint(juce::Graphics& g) override
    {
        g.setGradientFill(juce::ColourGradient::horizontal(juce::Colour(0xFF5A6A7A), 0.0f,
                                                           blackUltraKavri, static_cast<float>(getWidth())));
        g.fillAll();
    }

    juce::Image snapshot() { return createComponentSnapshot(getLocalBounds(), true, 1.0f); }

    DragAndDropDemoTarget zone;
};

bool near(juce::Colour actual, juce::Colour expected)
{
    const auto close = [](juce::uint8 a, juce::uint8 b) { return std::abs(int(a) - int(b)) <= 1; };
    return close(actual.getRed(), expected.getRed()) && close(actual.getGreen(), expected.getGreen())
           && close(actual.getBlue(), expected.getBlue()) && actual.getAlpha() == expected.getAlpha();
}

const juce::StringArray someFiles { "/music/one.wav", "/music/two.WAV", "/music/folder" };
} // namespace

TEST(DropZone, InterestFollowsAcceptanceWhateverIsDragged)
{
    DragAndDropDemoTarget zone;
    EXPECT_TRUE(zone.isInterestedInFileDrag(someFiles));
    EXPECT_TRUE(zone.isInterestedInFileDrag({ "/notes.txt" }));

    zone.acceptsFiles = false;
    EXPECT_FALSE(zone.isInterestedInFileDrag(someFiles));

    zone.acceptsFiles = true;
    EXPECT_TRUE(zone.isInterestedInFileDrag(someFiles));
}

TEST(DropZone, DropKeepsUncollectedPathsAndEndsTheHover)
{
    DragAndDropDemoTarget zone;
    zone.droppedFiles = { "/earlier/drop.wav", "/from/open/dialog.wav" };

    zone.fileDragEnter(someFiles, 10, 10);
    EXPECT_TRUE(zone.isDragOver);
    zone.fileDragMove(someFiles, 20, 20);
    EXPECT_TRUE(zone.isDragOver);

    zone.filesDropped(someFiles, 20, 20);
    EXPECT_FALSE(zone.isDragOver);
    juce::StringArray expected { "/earlier/drop.wav", "/from/open/dialog.wav" };
    expected.addArray(someFiles);
    EXPECT_EQ(zone.droppedFiles, expected);
}

TEST(DropZone, DragThatLeavesWithoutDroppingKeepsThePaths)
{
    DragAndDropDemoTarget zone;
    const juce::StringArray waiting { "/waiting/one.wav" };
    zone.droppedFiles = waiting;

    zone.fileDragEnter(someFiles, 5, 5);
    zone.fileDragMove(someFiles, 6, 6);
    zone.fileDragExit(someFiles);

    EXPECT_FALSE(zone.isDragOver);
    EXPECT_EQ(zone.droppedFiles, waiting);
}

TEST(DropZone, TintAndFrameShowOnlyWhileADragHovers)
{
    Screen screen;
    const juce::Point<int> onFrame { 5, 100 };
    const juce::Point<int> justInsideFrame { 12, 100 };
    const juce::Point<int> middle { 150, 100 };

    const auto idle = screen.snapshot();
    const auto background = [&idle](juce::Point<int> p) { return testgui::colourAt(idle, p); };
    const auto tinted = [&background](juce::Point<int> p) { return background(p).overlaidWith(randomTransKavri); };
    EXPECT_FALSE(near(background(onFrame), greyWhiteKavri));

    screen.zone.fileDragEnter(someFiles, 150, 100);
    const auto hovering = screen.snapshot();
    testgui::saveSnapshot(hovering, "drop_zone_hovering");
    for (const auto point : { juce::Point<int> { 0, 0 }, juce::Point<int> { 299, 199 }, onFrame })
        EXPECT_TRUE(near(testgui::colourAt(hovering, point), greyWhiteKavri)) << point.toString();
    for (const auto point : { justInsideFrame, middle })
    {
        EXPECT_TRUE(near(testgui::colourAt(hovering, point), tinted(point))) << point.toString();
        EXPECT_NE(testgui::colourAt(hovering, point), background(point)) << point.toString();
    }

    screen.zone.fileDragExit(someFiles);
    const auto left = screen.snapshot();
    screen.zone.fileDragEnter(someFiles, 150, 100);
    screen.zone.filesDropped(someFiles, 150, 100);
    const auto dropped = screen.snapshot();
    for (const auto point : { onFrame, justInsideFrame, middle })
    {
        EXPECT_EQ(testgui::colourAt(left, point), background(point)) << point.toString();
        EXPECT_EQ(testgui::colourAt(dropped, point), background(point)) << point.toString();
    }
}
