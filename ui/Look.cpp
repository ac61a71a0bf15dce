#include "ui/Look.h"

#include "BinaryData.h"

Look::Look()
{
    setDefaultSansSerifTypeface(juce::Typeface::createSystemTypefaceFor(
        BinaryData::LeagueSpartanMedium_otf, static_cast<size_t>(BinaryData::LeagueSpartanMedium_otfSize)));
    juce::LookAndFeel::setDefaultLookAndFeel(this);
}

Look::~Look()
{
    // Components created later must not find a dangling default.
    if (&juce::LookAndFeel::getDefaultLookAndFeel() == this)
        juce::LookAndFeel::setDefaultLookAndFeel(nullptr);
}

juce::Font Look::getLabelFont(juce::Label&)
{
    return juce::Font(labelFontHeight);
}
