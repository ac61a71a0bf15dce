// Behaviour the ISRC list and the analysis list share: which paths they take,
// how rows name their files, removing a row and the layout arithmetic.
#include "GuiTestSupport.h"
#include "ui/AudioAnalysisComponent.h"
#include "ui/ISRCListComponent.h"

#include <gtest/gtest.h>

#include <set>

namespace
{
template <typename Map>
std::set<std::string> keysOf(const Map& map)
{
    std::set<std::string> keys;
    for (const auto& entry : map)
        keys.insert(entry.first);
    return keys;
}

juce::StringArray toStringArray(const std::vector<std::string>& paths)
{
    juce::StringArray array;
    for (const auto& p : paths)
        array.add(juce::String(p));
    return array;
}

struct IsrcList
{
    using Panel = ISRCListComponent;
    static juce::OwnedArray<juce::Label>& names(Panel& p) { return p.nameLabels; }

    // Every per-row container and map must describe the same files in the same order.
    static void expectInStep(Panel& p)
    {
        const auto n = static_cast<int>(p.files.size());
        EXPECT_EQ(p.nameLabels.size(), n);
        EXPECT_EQ(p.formatLabels.size(), n);
        EXPECT_EQ(p.isrcEditors.size(), n);
        EXPECT_EQ(p.removeButtons.size(), n);
        EXPECT_EQ(keysOf(p.isrcCodes), std::set<std::string>(p.files.begin(), p.files.end()));
        EXPECT_EQ(p.contentComponent->getNumChildComponents(), 4 * n);
    }

    static std::vector<juce::Rectangle<int>> rowBounds(Panel& p, int i)
    {
        return { p.nameLabels[i]->getBounds(), p.formatLabels[i]->getBounds(), p.isrcEditors[i]->getBounds(),
                 p.removeButtons[i]->getBounds() };
    }

    // Panel 700 wide: u = 25, viewport width 650.
    static std::vector<juce::Rectangle<int>> expectedRow1()
    {
        return { { 0, 22, 435, 20 }, { 435, 22, 58, 20 }, { 493, 22, 124, 20 }, { 619, 20, 25, 25 } };
    }
    static int expectedContentHeight(int rows) { return rows * 25; }
};

struct AnalysisList
{
    using Panel = AudioAnalysisComponent;
    static juce::OwnedArray<juce::Label>& names(Panel& p) { return p.fileNameLabels; }

    static void expectInStep(Panel& p)
    {
        const auto n = static_cast<int>(p.files.size());
        EXPECT_EQ(p.fileNameLabels.size(), n);
        EXPECT_EQ(p.lufsLabels.size(), n);
        EXPECT_EQ(p.truePeakLabels.size(), n);
        EXPECT_EQ(p.removeButtons.size(), n);
        const std::set<std::string> listed(p.files.begin(), p.files.end());
        EXPECT_EQ(keysOf(p.isrcByFile), listed);
        EXPECT_EQ(keysOf(p.lufsByFile), listed);
        EXPECT_EQ(keysOf(p.truePeakByFile), listed);
        EXPECT_EQ(keysOf(p.analyzingByFile), listed);
        EXPECT_EQ(p.contentComponent->getNumChildComponents(), 4 * n);
    }

    static std::vector<juce::Rectangle<int>> rowBounds(Panel& p, int i)
    {
        return { p.fileNameLabels[i]->getBounds(), p.lufsLabels[i]->getBounds(), p.truePeakLabels[i]->getBounds(),
                 p.removeButtons[i]->getBounds() };
    }

    static std::vector<juce::Rectangle<int>> expectedRow1()
    {
        return { { 0, 22, 449, 20 }, { 449, 22, 91, 20 }, { 540, 22, 78, 20 }, { 620, 20, 25, 25 } };
    }
    static int expectedContentHeight(int rows) { return static_cast<int>(rows * 25 * 0.9); }
};

template <typename List>
class FileLists : public ::testing::Test
{
protected:
    typename List::Panel panel;
};

using BothLists = ::testing::Types<IsrcList, AnalysisList>;
TYPED_TEST_SUITE(FileLists, BothLists);
} // namespace

TYPED_TEST(FileLists, TakesEachWavPathOnceByItsExactSpelling)
{
    juce::StringArray paths { "/music/B.WAV", "/music/c.Wav",   "/music/d.wav", "/music/e.wave",
                              "/music/f.wav.bak", "wav",       "/music/g.mp3", "/music/d.wav",
                              "/music/./d.wav" };
    this->panel.addList(paths);

    const std::vector<std::string> expected { "/music/B.WAV", "/music/c.Wav", "/music/d.wav", "/music/./d.wav" };
    EXPECT_EQ(this->panel.files, expected);
    TypeParam::expectInStep(this->panel);

    // A second drop of listed paths adds nothing.
    this->panel.addList(paths);
    EXPECT_EQ(this->panel.files, expected);
    TypeParam::expectInStep(this->panel);
}

TYPED_TEST(FileLists, NamesEachRowAfterTheLastSeparator)
{
    juce::StringArray paths { "C:\\music\\take 1.wav", "/a\\b/c.wav", "/a/b\\d.wav", "plain.wav", "/x/y/Mix+final.WAV" };
    this->panel.addList(paths);

    const auto& names = TypeParam::names(this->panel);
    ASSERT_EQ(names.size(), 5);
    EXPECT_EQ(names[0]->getText(), "take 1.wav");
    EXPECT_EQ(names[1]->getText(), "c.wav");
    EXPECT_EQ(names[2]->getText(), "d.wav");
    EXPECT_EQ(names[3]->getText(), "plain.wav");
    EXPECT_EQ(names[4]->getText(), "Mix+final.WAV");
    for (auto* label : names)
        EXPECT_TRUE(label->getName().isEmpty());
}

TYPED_TEST(FileLists, RemovingTheMiddleRowMovesTheLastOneUp)
{
    this->panel.setSize(700, 480);
    const std::vector<std::string> paths { "/m/one.wav", "/m/two.wav", "/m/three.wav" };
    auto array = toStringArray(paths);
    this->panel.addList(array);

    this->panel.removeButtons[1]->triggerClick();
    ASSERT_TRUE(testgui::pumpUntil([&] { return this->panel.files.size() == 2; }));

    EXPECT_EQ(this->panel.files, (std::vector<std::string> { "/m/one.wav", "/m/three.wav" }));
    TypeParam::expectInStep(this->panel);
    EXPECT_EQ(TypeParam::names(this->panel)[1]->getText(), "three.wav");
    EXPECT_EQ(TypeParam::rowBounds(this->panel, 1), TypeParam::expectedRow1());
    EXPECT_EQ(this->panel.contentComponent->getHeight(), TypeParam::expectedContentHeight(2));

    // The moved row's button still removes its own file, wherever the row now is.
    this->panel.removeButtons[1]->triggerClick();
    ASSERT_TRUE(testgui::pumpUntil([&] { return this->panel.files.size() == 1; }));
    EXPECT_EQ(this->panel.files, (std::vector<std::string> { "/m/one.wav" }));
    TypeParam::expectInStep(this->panel);
}

TYPED_TEST(FileLists, LaysOutFrameWithNoRows)
{
    this->panel.setSize(700, 480);

    EXPECT_EQ(this->panel.closeButton->getBounds(), juce::Rectangle<int>(642, 7, 30, 30));
    EXPECT_EQ(this->panel.viewport->getBounds(), juce::Rectangle<int>(25, 55, 650, 405));
    EXPECT_EQ(this->panel.contentComponent->getBounds(),
              juce::Rectangle<int>(0, 0, 650 - this->panel.viewport->getScrollBarThickness(), 0));
}

TYPED_TEST(FileLists, ClearListEmptiesEverythingAndTakesTheSameFilesAgain)
{
    juce::StringArray paths { "/m/a.wav", "/m/b.wav" };
    this->panel.addList(paths);
    this->panel.clearList();

    EXPECT_TRUE(this->panel.files.empty());
    TypeParam::expectInStep(this->panel);

    this->panel.addList(paths);
    EXPECT_EQ(this->panel.files.size(), 2u);
    TypeParam::expectInStep(this->panel);
}
