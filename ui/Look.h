#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The program's look-and-feel. It makes the embedded typeface the default
// sans-serif face and installs itself as the application's default
// look-and-feel while it exists.
class Look : public juce::LookAndFeel_V4
{
public:
    Look();
    ~Look() override;

    juce::Font getLabelFont(juce::Label& label) override;

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
