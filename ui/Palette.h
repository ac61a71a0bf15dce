#pragma once

#include <juce_graphics/juce_graphics.h>

// The program's colours, ARGB. Everything that draws takes its colours from here.

// Opaque
extern const juce::Colour blueKavri;
extern const juce::Colour blueLightKavri;
extern const juce::Colour blueDarkKavri;
extern const juce::Colour blueDarkKavri2;
extern const juce::Colour orangeKavri;
extern const juce::Colour orangeDarkKavri;
extern const juce::Colour orangeTransLanth;
extern const juce::Colour redKavri;
extern const juce::Colour whiteKavri;
extern const juce::Colour whiteLightKavri;
extern const juce::Colour greyWhiteKavri;
extern const juce::Colour greyTextBoxKavri;
extern const juce::Colour greyLightKavriO;
extern const juce::Colour greyKavri;
extern const juce::Colour greyPlusKavri;
extern const juce::Colour backgroundKavri2;
extern const juce::Colour backgroundKavriL;
extern const juce::Colour greyDownKavri;
extern const juce::Colour greyBlackKavri;
extern const juce::Colour blackKavri;
extern const juce::Colour blackUltraKavri;
extern const juce::Colour blackFullKavri;

// Translucent and transparent
extern const juce::Colour greyOpacityKavri;
extern const juce::Colour whiteOpacityKavri;
extern const juce::Colour whitePadKavri;
extern const juce::Colour termsKavri;
extern const juce::Colour lightKavri2;
extern const juce::Colour randomTransKavri;
extern const juce::Colour blueblueKavri;
extern const juce::Colour maskTextBox;
extern const juce::Colour blackOpacityKavri;
extern const juce::Colour OpacityKavri;
extern const juce::Colour maskKavri;
extern const juce::Colour lightKavri;
extern const juce::Colour transparentKavri;
