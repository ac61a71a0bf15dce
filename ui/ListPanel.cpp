#include "ui/ListPanel.h"

#include "ui/Palette.h"

namespace listpanel
{
bool isWavPath(const std::string& path)
{
    if (path.size() < 4)
        return false;

    static const char wav[] = ".wav";
    for (size_t i = 0; i < 4; ++i)
    {
        auto c = path[path.size() - 4 + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != wav[i])
            return false;
    }
    return true;
}

std::string fileNameOf(const std::string& path)
{
    const auto separator = path.find_last_of("/\\");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

void buildFrame(juce::Component& panel, std::unique_ptr<juce::TextButton>& closeButton,
                std::unique_ptr<juce::Viewport>& viewport, std::unique_ptr<juce::Component>& content)
{
    closeButton = std::make_unique<juce::TextButton>("X");
    panel.addAndMakeVisible(closeButton.get());

    viewport = std::make_unique<juce::Viewport>(juce::String());
    panel.addAndMakeVisible(viewport.get());

    content = std::make_unique<juce::Component>();
    viewport->setViewedComponent(content.get(), false);
}

juce::Label* makeNameLabel(const std::string& path)
{
    auto* label = new juce::Label({}, juce::String(fileNameOf(path)));
    label->setColour(juce::Label::backgroundColourId, maskKavri);
    label->setJustificationType(juce::Justification::centred);
    return label;
}

void placeFrame(juce::Component& panel, int u, juce::Component& closeButton, juce::Viewport& viewport)
{
    const int w = panel.getWidth();
    const int h = panel.getHeight();
    const int closeSize = static_cast<int>(1.2 * u);
    closeButton.setBounds(static_cast<int>(w - 2.3 * u), static_cast<int>(0.3 * u), closeSize, closeSize);
    viewport.setBounds(u, static_cast<int>(2.2 * u), w - 2 * u, h - 3 * u);
}

void paintFrame(juce::Graphics& g, juce::Rectangle<float> r)
{
    g.fillAll(lightKavri);

    g.setColour(greyKavri);
    g.drawRoundedRectangle(r.getX() - 9, r.getY() - 9, r.getWidth() + 20, r.getHeight() + 20, 25.0f, 2.0f);

    g.setColour(blackOpacityKavri);
    g.drawRoundedRectangle(r.getX() - 11, r.getY() - 11, r.getWidth() + 20, r.getHeight() + 21, 25.0f, 5.0f);

    // The fill goes over both outlines, leaving only their outer parts visible.
    g.setColour(greyBlackKavri);
    g.fillRoundedRectangle(r.getX() - 10, r.getY() - 10, r.getWidth() + 20, r.getHeight() + 20, 25.0f);
}
} // namespace listpanel
