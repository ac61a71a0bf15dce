#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The program's look-and-feel. It makes the embedded typeface the default
// sans-serif face, installs itself as the application's default look-and-feel
// while it exists, and draws buttons from bitmap faces instead of vector shapes.
class Look : public juce::LookAndFeel_V4
{
public:
    Look();
    ~Look() override;

    void drawButtonBackground(juce::Graphics& g, juce::Button& button, const juce::Colour& backgroundColour,
                              bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;
    void drawButtonText(juce::Graphics& g, juce::TextButton& button, bool shouldDrawButtonAsHighlighted,
                        bool shouldDrawButtonAsDown) override;
    void fillTextEditorBackground(juce::Graphics& g, int width, int height, juce::TextEditor& editor) override;
    void drawTextEditorOutline(juce::Graphics& g, int width, int height, juce::TextEditor& editor) override;
    void drawPopupMenuBackground(juce::Graphics& g, int width, int height) override;
    void drawPopupMenuItem(juce::Graphics& g, const juce::Rectangle<int>& area, bool isSeparator, bool isActive,
                           bool isHighlighted, bool isTicked, bool hasSubMenu, const juce::String& text,
                           const juce::String& shortcutKeyText, const juce::Drawable* icon,
                           const juce::Colour* textColour) override;
    void drawPopupMenuSectionHeader(juce::Graphics& g, const juce::Rectangle<int>& area,
                                    const juce::String& sectionName) override;
    void drawComboBox(juce::Graphics& g, int width, int height, bool isButtonDown, int buttonX, int buttonY,
                      int buttonW, int buttonH, juce::ComboBox& box) override;
    juce::Font getLabelFont(juce::Label& label) override;
    void drawLinearSlider(juce::Graphics& g, int x, int y, int width, int height, float sliderPos, float minSliderPos,
                          float maxSliderPos, juce::Slider::SliderStyle style, juce::Slider& slider) override;
    void drawRotarySlider(juce::Graphics& g, int x, int y, int width, int height, float sliderPos,
                          float rotaryStartAngle, float rotaryEndAngle, juce::Slider& slider) override;
    juce::Label* createSliderTextBox(juce::Slider& slider) override;
    void drawImageButton(juce::Graphics& g, juce::Image* image, int imageX, int imageY, int imageW, int imageH,
                         const juce::Colour& overlayColour, float imageOpacity, juce::ImageButton& button) override;

    juce::Image sliderThumbImage;
    juce::Image knobImage;
    juce::Image knobHoverImage;
    juce::Image buttonImage;
    juce::Image buttonOnImage;
    juce::Image squareButtonImage;
    juce::Image squareButtonOnImage;
    juce::Image wideButtonImage;
    juce::Image wideButtonOnImage;

    // Rewritten by the main screen's layout on every resize, so labels scale
    // with the window.
    float labelFontHeight = 16.0f;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(Look)
};
