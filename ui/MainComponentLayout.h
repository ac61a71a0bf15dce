#pragma once

#include <juce_graphics/juce_graphics.h>

class MainComponent;

// The main screen's measures. Everything scales with the screen's width, so
// the screen looks the same at every window size; only the spacing of the
// target rows follows the height.
struct ScreenMetrics
{
    double gridWidth = 0.0;
    double scaleWidth = 0.0;
    int logoHeight = 0;
    int gap = 0;
    int blockWidth = 0;
    int squareSize = 0;
    int columnGap = 0;
    int sideMargin = 0;
    int rowStep = 0;
    double blockLeft = 0.0;
    int buttonHeight = 0;
};

ScreenMetrics screenMetrics(int width, int height);

// The framed, textured panel behind the target grid, from where the grid's
// labels and toggles sit.
juce::Rectangle<float> targetPanelBounds(const MainComponent& screen);

// The progress bar's length in pixels: the engine's progress, plus one pixel
// for every repaint since its last step, never past 98 % of the status line.
int progressBarLength(int animationCounter, float progress, int statusWidth);
