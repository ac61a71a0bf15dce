#include "GuiTestSupport.h"
#include "common/Signals.h"
#include "common/WavFiles.h"
#include "ui/ISRCListComponent.h"
#include "ui/Palette.h"

#include <gtest/gtest.h>

namespace
{
class IsrcListTest : public ::testing::Test
{
protected:
    // A short stereo WAV file, optionally carrying an ISRC value in its metadata.
    std::string writeWav(const juce::String& name, double sampleRate, int bits, const juce::String& isrc = {})
    {
        juce::StringPairArray metadata;
        if (isrc.isNotEmpty())
            metadata.set("ISRC", isrc);
        const auto file = temp.file(name);
        EXPECT_TRUE(testwav::write(file, testsig::sine(2, sampleRate, 1000.0, -20.0, 0.1), sampleRate, bits, metadata));
        return file.getFullPathName().toStdString();
    }

    std::string writeNotAudio(const juce::String& name)
    {
        const auto file = temp.file(name);
        file.replaceWithText("not audio at all");
        return file.getFullPathName().toStdString();
    }

    void add(std::initializer_list<std::string> paths)
    {
        juce::StringArray array;
        for (const auto& p : paths)
            array.add(juce::String(p));
        list.addList(array);
    }

    testwav::TempFolder temp;
    ISRCListComponent list;
};
} // namespace

TEST_F(IsrcListTest, RowShowsFormatAndStoredCode)
{
    const auto coded = writeWav("coded.wav", 44100.0, 24, "USS1Z9900001");
    const auto plain = writeWav("plain.wav", 22050.0, 16);
    const auto broken = writeNotAudio("broken.wav");
    const auto missing = temp.file("missing.wav").getFullPathName().toStdString();
    add({ coded, plain, broken, missing });

    ASSERT_EQ(list.files.size(), 4u);
    EXPECT_EQ(list.formatLabels[0]->getText(), "44k-24b");
    EXPECT_EQ(list.formatLabels[1]->getText(), "22k-16b");
    EXPECT_EQ(list.formatLabels[2]->getText(), "");
    EXPECT_EQ(list.formatLabels[3]->getText(), "");

    EXPECT_EQ(list.isrcEditors[0]->getText(), "USS1Z9900001");
    EXPECT_EQ(list.isrcCodes[coded], "USS1Z9900001");
    for (int i = 1; i < 4; ++i)
    {
        EXPECT_EQ(list.isrcEditors[i]->getText(), "");
        EXPECT_EQ(list.isrcEditors[i]->getTextToShowWhenEmpty(), "ISRC Code");
    }
    EXPECT_EQ(list.isrcCodes[plain], "");
    EXPECT_EQ(list.isrcCodes[broken], "");
    EXPECT_EQ(list.isrcCodes[missing], "");
}

TEST_F(IsrcListTest, EditorTakesOnlyFifteenCodeCharactersAndTheMapFollows)
{
    const auto path = writeWav("a.wav", 48000.0, 24);
    add({ path });
    auto& editor = *list.isrcEditors[0];

    EXPECT_FALSE(editor.isMultiLine());
    EXPECT_FALSE(editor.isReadOnly());
    EXPECT_TRUE(editor.getWantsKeyboardFocus());

    editor.insertTextAtCaret(juce::String::fromUTF8("abc xyz!\xc3\xa9_"));
    EXPECT_EQ(editor.getText(), "");

    editor.insertTextAtCaret("US-s1Z");
    EXPECT_EQ(editor.getText(), "US-1Z");

    editor.insertTextAtCaret("9900001234567890");
    EXPECT_EQ(editor.getText(), "US-1Z9900001234");
    EXPECT_EQ(editor.getText().length(), 15);

    editor.insertTextAtCaret("7");
    EXPECT_EQ(editor.getText(), "US-1Z9900001234");

    ASSERT_TRUE(testgui::pumpUntil([&] { return list.isrcCodes[path] == "US-1Z9900001234"; }));
}

TEST_F(IsrcListTest, StoredCodeIsShownWholeBeyondTheTypingLimit)
{
    // The stored value keeps only capitals and digits; its length is not limited.
    const auto path = writeWav("long.wav", 44100.0, 16, "ab-CDEFGHIJKLMNOPQRSTUV-12");
    add({ path });
    auto& editor = *list.isrcEditors[0];

    EXPECT_EQ(editor.getText(), "CDEFGHIJKLMNOPQRSTUV12");
    EXPECT_EQ(list.isrcCodes[path], "CDEFGHIJKLMNOPQRSTUV12");

    editor.insertTextAtCaret("Z");
    EXPECT_EQ(editor.getText(), "CDEFGHIJKLMNOPQRSTUV12");
}

TEST_F(IsrcListTest, RemovingTheOnlyRowEmptiesTheListAndFlagsTheChange)
{
    add({ writeWav("only.wav", 44100.0, 24) });
    EXPECT_FALSE(list.listChanged);

    list.removeButtons[0]->triggerClick();
    ASSERT_TRUE(testgui::pumpUntil([&] { return list.listChanged; }));

    EXPECT_TRUE(list.files.empty());
    EXPECT_TRUE(list.isrcCodes.empty());
    EXPECT_EQ(list.nameLabels.size() + list.formatLabels.size() + list.isrcEditors.size() + list.removeButtons.size(), 0);
    EXPECT_EQ(list.contentComponent->getNumChildComponents(), 0);

    // Emptying the list is not a removal: the flag is left for the main screen.
    list.listChanged = false;
    add({ writeWav("again.wav", 44100.0, 24) });
    list.clearList();
    EXPECT_FALSE(list.listChanged);
}

TEST_F(IsrcListTest, EditsAfterRemovalReachOnlyTheirOwnRow)
{
    const auto first = writeWav("first.wav", 44100.0, 24);
    const auto second = writeWav("second.wav", 44100.0, 24);
    add({ first, second });

    list.removeButtons[0]->triggerClick();
    ASSERT_TRUE(testgui::pumpUntil([&] { return list.files.size() == 1; }));
    EXPECT_TRUE(list.listChanged);

    list.isrcEditors[0]->insertTextAtCaret("GB");
    ASSERT_TRUE(testgui::pumpUntil([&] { return list.isrcCodes[second] == "GB"; }));
    EXPECT_EQ(list.isrcCodes.count(first), 0u);
}

TEST_F(IsrcListTest, CloseButtonHidesThePanel)
{
    juce::Component parent;
    parent.addAndMakeVisible(list);
    list.closeButton->triggerClick();
    ASSERT_TRUE(testgui::pumpUntil([&] { return !list.isVisible(); }));
}

TEST_F(IsrcListTest, SnapshotOfThreeRows)
{
    add({ writeWav("Interview take 3.wav", 44100.0, 24, "USS1Z9900001"), writeWav("jingle.wav", 22050.0, 16),
          writeNotAudio("notes.wav") });
    list.setSize(860, 587);

    const auto image = list.createComponentSnapshot(list.getLocalBounds());
    const auto file = testgui::saveSnapshot(image, "isrc-list-three-rows");
    EXPECT_TRUE(file.existsAsFile());

    // The frame fill lies under the rows; the panel background shows outside it.
    const auto frameInside = list.viewport->getBounds().getBottomLeft().translated(2, 2);
    EXPECT_EQ(testgui::colourAt(image, frameInside), greyBlackKavri);
}
