#include "ui/Palette.h"

const juce::Colour blueKavri { 0xFF2ACBD6 };
const juce::Colour blueLightKavri { 0xFF20B7C8 };
const juce::Colour blueDarkKavri { 0xFF146D78 };
const juce::Colour blueDarkKavri2 { 0xFF148596 };
const juce::Colour orangeKavri { 0xFFECA019 };
const juce::Colour orangeDarkKavri { 0xFF8E5F23 };
const juce::Colour orangeTransLanth { 0xFF5A3C0A };
const juce::Colour redKavri { 0xFFD95617 };
const juce::Colour whiteKavri { 0xFFFAFBFB };
const juce::Colour whiteLightKavri { 0xFFE6E7E7 };
const juce::Colour greyWhiteKavri { 0xFFD2D3D3 };
const juce::Colour greyTextBoxKavri { 0xFF969798 };
const juce::Colour greyLightKavriO { 0xFF877965 };
const juce::Colour greyKavri { 0xFF646565 };
const juce::Colour greyPlusKavri { 0xFF5F6060 };
const juce::Colour backgroundKavri2 { 0xFFAAACB1 };
const juce::Colour backgroundKavriL { 0xFF494A4A };
const juce::Colour greyDownKavri { 0xFF414242 };
const juce::Colour greyBlackKavri { 0xFF323333 };
const juce::Colour blackKavri { 0xFF282929 };
const juce::Colour blackUltraKavri { 0xFF191A1A };
const juce::Colour blackFullKavri { 0xFF050606 };

const juce::Colour greyOpacityKavri { 0xD91A1A1A };
const juce::Colour whiteOpacityKavri { 0xCCE6E6E6 };
const juce::Colour whitePadKavri { 0x99E6E6E6 };
const juce::Colour termsKavri { 0x4CE6E6E6 };
const juce::Colour lightKavri2 { 0x33E6E6E6 };
const juce::Colour randomTransKavri { 0x0FE6E6E6 };
const juce::Colour blueblueKavri { 0x212ACAD5 };
const juce::Colour maskTextBox { 0x66121213 };
const juce::Colour blackOpacityKavri { 0x99000000 };
const juce::Colour OpacityKavri { 0x66000000 };
const juce::Colour maskKavri { 0x4C000000 };
const juce::Colour lightKavri { 0x2B000000 };
const juce::Colour transparentKavri { 0x00000000 };
