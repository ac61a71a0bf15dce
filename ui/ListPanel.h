#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>
#include <string>

// What the two file lists (ISRC codes and analysis results) share: which paths
// they take, how a row names its file, and the framed scrolling area.
namespace listpanel
{
// True when the path ends in ".wav" in any letter case (ASCII only).
bool isWavPath(const std::string& path);

// The part after the last slash or backslash; the whole path when it has neither.
std::string fileNameOf(const std::string& path);

// Builds the panel's fixed children: the "X" close button and the viewport,
// which shows the content component without owning it.
void buildFrame(juce::Component& panel, std::unique_ptr<juce::TextButton>& closeButton,
                std::unique_ptr<juce::Viewport>& viewport, std::unique_ptr<juce::Component>& content);

// A row's name cell: the file name, centred on the mask colour.
juce::Label* makeNameLabel(const std::string& path);

// Places the close button at the top right and the viewport below it. u is the
// panel's unit, 3.6 % of its width.
void placeFrame(juce::Component& panel, int u, juce::Component& closeButton, juce::Viewport& viewport);

// The panel's background and the rounded frame around its viewport.
void paintFrame(juce::Graphics& g, juce::Rectangle<float> viewportBounds);
} // namespace listpanel
