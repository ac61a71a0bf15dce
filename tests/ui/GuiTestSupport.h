#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

namespace testgui
{
// Runs the message loop until the predicate holds or the time is up.
// Returns the predicate's final value.
bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 10000);

// Runs the message loop for the given time.
void pumpFor(int milliseconds);

// Writes a PNG of the image into the build's snapshots folder, for a person
// to look at; returns the file written.
juce::File saveSnapshot(const juce::Image& image, const juce::String& name);

// The colour of one pixel of an image.
juce::Colour colourAt(const juce::Image& image, juce::Point<int> point);
} // namespace testgui
