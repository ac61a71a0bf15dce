#include "ui/MainComponentLayout.h"

#include "ui/MainComponent.h"
#include "ui/Palette.h"

#include <cmath>

namespace
{
// Sizes are truncated toward zero, never rounded, so that neighbours read back
// from placed children add up the same way at every size.
int toInt(double value)
{
    return static_cast<int>(value);
}

constexpr int customRow = 10;
constexpr int streamingRow = 9;
constexpr const char* versionText = JUCE_APPLICATION_VERSION_STRING;
constexpr float panelCorner = 25.0f;
constexpr float customBoxCorner = 13.5f;

juce::Rectangle<float> box(double x, double y, double width, double height)
{
    return { static_cast<float>(x), static_cast<float>(y), static_cast<float>(width), static_cast<float>(height) };
}

juce::Point<float> point(double x, double y)
{
    return { static_cast<float>(x), static_cast<float>(y) };
}

int paintPad(int width)
{
    return toInt(0.03 * width);
}
} // namespace

ScreenMetrics screenMetrics(int width, int height)
{
    ScreenMetrics m;
    m.gridWidth = 0.8 * width;
    m.scaleWidth = m.gridWidth - 0.1 * width;
    m.logoHeight = toInt(0.058 * m.scaleWidth);
    m.gap = toInt(0.045 * m.scaleWidth);
    m.blockWidth = toInt(0.52 * m.scaleWidth);
    m.squareSize = toInt(0.06 * m.scaleWidth);
    m.columnGap = toInt((m.gridWidth - 4 * m.squareSize) / 5.0);
    m.sideMargin = toInt((width - m.gridWidth) * 0.5);
    m.rowStep = toInt(height * 0.4 / 3.0);
    m.blockLeft = 0.5 * width - 0.5 * m.blockWidth;
    m.buttonHeight = toInt(1.6 * m.gap);
    return m;
}

juce::Rectangle<float> targetPanelBounds(const MainComponent& screen)
{
    const auto pad = paintPad(screen.getWidth());
    const auto first = screen.targetLabels[0].getBounds();
    const auto last = screen.targetLabels[streamingRow].getBounds();
    return box(first.getX() - 1.5 * pad, first.getY() - 0.2 * pad, last.getRight() - first.getX() + 3 * pad,
               (screen.buttonPodcast.getBottom() - first.getY()) + 0.4 * pad);
}

int progressBarLength(int animationCounter, float progress, int statusWidth)
{
    const double full = 0.98 * statusWidth;
    // Clamped before truncating, so that a counter grown huge cannot overflow.
    const double length = animationCounter + statusWidth * 0.98 * static_cast<double>(progress);
    if (length < 0.0)
        return 0;
    return toInt(juce::jmin(length, full));
}

void MainComponent::resized()
{
    const int width = getWidth();
    const int height = getHeight();

    // The window keeps the design proportion. Its resize lays the screen out
    // again, so nothing is placed at the wrong proportion.
    const double ratio = static_cast<double>(designWidth) / designHeight;
    const double actual = static_cast<double>(width) / height;
    if (std::abs(actual - ratio) > 0.01)
    {
        if (auto* window = findParentComponentOfClass<juce::DocumentWindow>())
        {
            if (actual > ratio)
                window->setSize(toInt(height * ratio), height);
            else
                window->setSize(width, toInt(width / ratio));
            return;
        }
    }

    const auto m = screenMetrics(width, height);
    const int square = m.squareSize;
    const int columnGap = m.columnGap;

    look.labelFontHeight = static_cast<float>(m.scaleWidth * 0.022f);
    backgroundGradient = juce::ColourGradient(juce::Colour(0xFFD2E1F0), point(0.25 * m.gridWidth, 0.06 * height),
                                              juce::Colour(0xFF37414B), point(0.89 * m.gridWidth, 1.2 * height), true);
    panelGradient = juce::ColourGradient(juce::Colour(0xFF42494B), point(0.3 * m.gridWidth, 0.15 * height),
                                         blackUltraKavri, point(0.75 * m.gridWidth, 1.1 * height), true);

    const double logoWidth = 4.9382 * m.logoHeight;
    logoButton.setBounds(toInt(0.5 * width - 0.5 * logoWidth), toInt(0.46 * m.gap), toInt(logoWidth), m.logoHeight);
    openButton.setBounds(toInt(m.blockLeft + 2 * m.gap), 2 * m.gap, m.blockWidth - 4 * m.gap, m.buttonHeight);
    analyzeButton.setBounds(toInt(m.blockLeft - m.gap), toInt(openButton.getBottom() + 0.1 * m.gap),
                            m.blockWidth + 2 * m.gap, m.buttonHeight);
    infoLabel.setBounds(toInt(m.blockLeft - 4 * m.gap), toInt(analyzeButton.getBottom() + 0.35 * m.gap),
                        m.blockWidth + 8 * m.gap, m.gap);

    // The target grid: four columns and three rows of squares. The middle row
    // has Custom between columns two and three.
    const auto placeSquare = [square](juce::Component& toggle, int x, int y) { toggle.setBounds(x, y, square, square); };
    placeSquare(buttonNetflix, m.sideMargin + columnGap, infoLabel.getBottom() + 2 * m.gap);
    placeSquare(buttonARIB, buttonNetflix.getRight() + columnGap, buttonNetflix.getY());
    placeSquare(buttonOP59, buttonARIB.getRight() + columnGap, buttonARIB.getY());
    placeSquare(buttonTASA, buttonOP59.getRight() + columnGap, buttonOP59.getY());
    placeSquare(buttonATSC, buttonNetflix.getX(), buttonNetflix.getY() + m.rowStep);
    placeSquare(buttonCustom, toInt(buttonARIB.getX() + 0.5 * (square + columnGap)), buttonATSC.getY());
    placeSquare(buttonAGCOM, buttonTASA.getX(), buttonATSC.getY());
    placeSquare(buttonEBU, buttonNetflix.getX(), buttonATSC.getY() + m.rowStep);
    placeSquare(buttonFranceTV, buttonARIB.getX(), buttonEBU.getY());
    placeSquare(buttonPodcast, buttonOP59.getX(), buttonEBU.getY());
    placeSquare(buttonStreaming, buttonTASA.getX(), buttonEBU.getY());

    // Each preset caption is centred over its square and overlaps its top.
    const auto toggles = targetButtons();
    const int labelWidth = toInt(1.6 * columnGap);
    for (size_t row = 0; row < customRow; ++row)
    {
        const auto& toggle = *toggles[row];
        targetLabels[row].setBounds(toInt(toggle.getX() + 0.5 * square - 0.8 * columnGap),
                                    toInt(toggle.getY() - 0.8 * square), labelWidth, square);
    }

    auto& customLabel = targetLabels[customRow];
    customLabel.setBounds(toInt(buttonCustom.getX() + 0.5 * square - 0.8 * columnGap), buttonCustom.getY() - square,
                          labelWidth, toInt(0.4 * square));
    customLabel.setText("Custom LUFS", juce::dontSendNotification);

    // The editors' position is worked out in single precision on purpose: it
    // decides which pixel column their edges land on.
    const auto editorX = static_cast<float>(buttonCustom.getX() + 0.5 * square - 1.1 * columnGap);
    const auto editorY = static_cast<float>(buttonCustom.getY() - 0.8 * square);
    const auto editorHeight = static_cast<float>(0.6 * square);
    const int editorTop = toInt(editorY + 0.3 * square);
    customLufsEditor.setBounds(toInt(editorX), editorTop, columnGap, toInt(editorHeight));
    customPeakEditor.setBounds(toInt((editorX + static_cast<float>(columnGap)) + 0.2 * columnGap), editorTop, columnGap,
                               toInt(editorHeight));
    customLabel.setVisible(true);

    clearButton.setBounds(infoLabel.getX(), toInt(buttonPodcast.getBottom() + 0.75 * m.gap), infoLabel.getWidth(),
                          m.buttonHeight);
    directoryButton.setBounds(analyzeButton.getX(), toInt(clearButton.getBottom() + 0.1 * m.gap),
                              analyzeButton.getWidth(), m.buttonHeight);
    exportButton.setBounds(openButton.getX(), toInt(directoryButton.getBottom() + 0.1 * m.gap), openButton.getWidth(),
                           m.buttonHeight);

    dropTarget.setBounds(0, 0, width, height);
    if (analysisComponent.isVisible())
        analysisComponent.setBounds(0, 0, width, height);
}

void MainComponent::paint(juce::Graphics& g)
{
    const int width = getWidth();
    const int pad = paintPad(width);

    g.setImageResamplingQuality(juce::Graphics::highResamplingQuality);
    g.setGradientFill(backgroundGradient);
    g.fillAll();

    const auto panel = targetPanelBounds(*this);
    g.setGradientFill(panelGradient);
    g.fillRoundedRectangle(panel, panelCorner);
    g.setTiledImageFill(backgroundImage, 0, 0, 0.3f);
    g.fillRoundedRectangle(panel, panelCorner);
    g.setColour(blackUltraKavri);
    g.drawRoundedRectangle(panel, panelCorner, 3.0f);

    // The custom target's box: a tint, a dark frame offset by a pixel and a
    // thin red edge.
    const auto customLabel = targetLabels[customRow].getBounds();
    const int customHeight = buttonCustom.getBottom() - customLabel.getY();
    const double boxX = customLabel.getX() - 1.5 * pad;
    const double boxY = customLabel.getY() - 0.2 * pad;
    const double boxWidth = customLabel.getWidth() + 3 * pad;
    const double boxHeight = customHeight + 0.2 * pad;
    g.setColour(lightKavri);
    g.fillRoundedRectangle(box(boxX, boxY + 1, boxWidth, boxHeight + 2), customBoxCorner);
    g.setColour(blackUltraKavri);
    g.drawRoundedRectangle(box(boxX + 1, boxY + 2, boxWidth, boxHeight + 1), customBoxCorner, 3.0f);
    g.setColour(redKavri);
    g.drawRoundedRectangle(box(boxX - 1, boxY, boxWidth + 1, boxHeight + 3), customBoxCorner, 1.0f);

    // The status box, framed in red while the status line reports an error.
    const auto status = infoLabel.getBounds().toFloat();
    const float statusCorner = 0.5f * status.getHeight();
    if (infoLabel.getText().startsWith("Error"))
    {
        g.setColour(redKavri);
        g.drawRoundedRectangle(status, statusCorner, 2.0f);
    }
    else
    {
        g.setColour(blackOpacityKavri);
        g.drawRoundedRectangle(status.getX() + 1.0f, status.getY() + 1.0f, status.getWidth(), status.getHeight() - 1.0f,
                               statusCorner, 1.0f);
    }
    g.setColour(OpacityKavri);
    g.fillRoundedRectangle(status, statusCorner);

    if (converter != nullptr)
    {
        // Progress 1 (done) and the failure value both hide the bar.
        const float progress = converter->progress.load();
        if (progress > 0.0f && progress < 1.0f)
        {
            const int barUnit = toInt(0.05 * width);
            const int length =
                progressBarLength(converter->barAnimationCounter.load(), progress, infoLabel.getWidth());
            const double barHeight = analyzeButton.getHeight() - 0.5 * barUnit - 0.06 * barUnit;
            g.setColour(juce::Colour(0xFFC74D11));
            g.fillRoundedRectangle(box(infoLabel.getX() + 0.12 * barUnit, infoLabel.getY() + 0.1 * barUnit, length,
                                       barHeight),
                                   static_cast<float>(0.5 * barHeight));
            // The bar creeps on between the engine's steps; the engine resets
            // the counter at each step.
            converter->barAnimationCounter.fetch_add(1);
        }
    }

    if (!analysisComponent.isVisible())
    {
        g.setColour(redKavri);
        g.setFont(10.0f);
        g.drawText(versionText, logoButton.getX(), logoButton.getBottom(), logoButton.getWidth(),
                   toInt(0.3 * logoButton.getHeight()), juce::Justification::centredTop, true);
    }
}
