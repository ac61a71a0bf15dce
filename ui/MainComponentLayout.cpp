#include "ui/MainComponent.h"

void MainComponent::resized()
{
}

void MainComponent::paint(juce::Graphics&)
{
}
