#include "ui/Look.h"

#include "BinaryData.h"
#include "ui/Palette.h"

#include <algorithm>

namespace
{
using juce::Rectangle;

// Truncation toward zero, as every size here is computed.
int truncated(double value)
{
    return static_cast<int>(value);
}

juce::Image decode(const char* data, int size)
{
    return juce::ImageCache::getFromMemory(data, size);
}

void drawPiece(juce::Graphics& g, const juce::Image& image, Rectangle<int> destination, Rectangle<int> source)
{
    g.drawImage(image, destination.getX(), destination.getY(), destination.getWidth(), destination.getHeight(),
                source.getX(), source.getY(), source.getWidth(), source.getHeight());
}

void drawWhole(juce::Graphics& g, const juce::Image& image, Rectangle<int> destination)
{
    drawPiece(g, image, destination, image.getBounds());
}

// The pointer only lights up a widget that would react to it.
bool isLit(const juce::Component& component)
{
    return component.isMouseOverOrDragging() && component.isEnabled();
}

// A translucent pill over a lit button, inset so the face's rim shows round it.
void fillHoverOverlay(juce::Graphics& g, const juce::Component& button)
{
    if (!isLit(button))
        return;

    const double w = button.getWidth();
    const double h = button.getHeight();
    Rectangle<float> area;
    double corner = 0.5 * h;
    if (button.getWidth() == button.getHeight())
    {
        area = { float(0.1 * w), float(0.1 * w), float(0.8 * w), float(0.8 * w) };
        corner = 0.5 * w;
    }
    else if (button.getWidth() < 2 * button.getHeight() + 3)
        area = { float(0.05 * w), float(0.15 * h), float(0.9 * w), float(0.7 * h) };
    else
        area = { float(0.03 * w), float(0.15 * h), float(0.94 * w), float(0.7 * h) };

    g.setColour(lightKavri2);
    g.fillRoundedRectangle(area, float(corner));
}
} // namespace

Look::Look()
{
    setDefaultSansSerifTypeface(juce::Typeface::createSystemTypefaceFor(
        BinaryData::LeagueSpartanMedium_otf, static_cast<size_t>(BinaryData::LeagueSpartanMedium_otfSize)));
    juce::LookAndFeel::setDefaultLookAndFeel(this);

    const std::pair<int, juce::Colour> table[] = {
        { juce::Label::textColourId, whiteOpacityKavri },
        { juce::PopupMenu::textColourId, greyWhiteKavri },
        { juce::PopupMenu::backgroundColourId, greyOpacityKavri },
        { juce::PopupMenu::headerTextColourId, blueKavri },
        { juce::PopupMenu::highlightedTextColourId, whiteKavri },
        { juce::PopupMenu::highlightedBackgroundColourId, blueDarkKavri2 },
        { juce::ProgressBar::backgroundColourId, blueKavri },
        { juce::ProgressBar::foregroundColourId, whiteKavri },
        { juce::AlertWindow::textColourId, whiteKavri },
        { juce::AlertWindow::backgroundColourId, greyDownKavri },
        { juce::AlertWindow::outlineColourId, whiteKavri },
        { juce::TextButton::buttonColourId, whiteKavri },
        { juce::TextButton::buttonOnColourId, blueDarkKavri },
        { juce::TextButton::textColourOffId, backgroundKavri2 },
        { juce::TextButton::textColourOnId, blueKavri },
        { juce::ComboBox::outlineColourId, whiteLightKavri },
        { juce::ScrollBar::thumbColourId, whiteKavri },
        { juce::ScrollBar::backgroundColourId, blueKavri },
        { juce::ScrollBar::trackColourId, blueKavri },
        { juce::TextEditor::backgroundColourId, greyBlackKavri },
        { juce::TextEditor::highlightColourId, orangeKavri },
        { juce::TextEditor::focusedOutlineColourId, orangeTransLanth },
        { juce::TextEditor::outlineColourId, greyWhiteKavri },
        { juce::TextEditor::textColourId, whiteKavri },
        { juce::TextEditor::shadowColourId, blackKavri },
        { juce::ListBox::outlineColourId, whiteKavri },
        { juce::ListBox::backgroundColourId, blackKavri },
        { juce::TableHeaderComponent::backgroundColourId, blackKavri },
        { juce::TableHeaderComponent::textColourId, whiteKavri },
        { juce::TableHeaderComponent::outlineColourId, blackKavri },
        { juce::TableHeaderComponent::highlightColourId, blackKavri },
        { juce::FileChooserDialogBox::titleTextColourId, whiteKavri },
        { juce::TooltipWindow::backgroundColourId, blackKavri },
        { juce::FileBrowserComponent::currentPathBoxTextColourId, whiteKavri },
        { juce::FileBrowserComponent::currentPathBoxArrowColourId, whiteKavri },
        { juce::FileBrowserComponent::filenameBoxBackgroundColourId, blackKavri },
        { juce::FileBrowserComponent::filenameBoxTextColourId, whiteKavri },
        { juce::Slider::textBoxOutlineColourId, juce::Colours::transparentBlack },
    };
    for (const auto& [id, colour] : table)
        setColour(id, colour);

    knobImage = decode(BinaryData::knob_png, BinaryData::knob_pngSize);
    knobHoverImage = decode(BinaryData::knob_hover_png, BinaryData::knob_hover_pngSize);
    sliderThumbImage = decode(BinaryData::slider_thumb_png, BinaryData::slider_thumb_pngSize);
    buttonImage = decode(BinaryData::button_png, BinaryData::button_pngSize);
    buttonOnImage = decode(BinaryData::button_on_png, BinaryData::button_on_pngSize);
    squareButtonImage = decode(BinaryData::square_button_png, BinaryData::square_button_pngSize);
    squareButtonOnImage = decode(BinaryData::square_button_on_png, BinaryData::square_button_on_pngSize);
    wideButtonImage = decode(BinaryData::wide_button_png, BinaryData::wide_button_pngSize);
    wideButtonOnImage = decode(BinaryData::wide_button_on_png, BinaryData::wide_button_on_pngSize);
}

// JUCE holds the default look-and-feel by weak reference and falls back to its
// own once this one is gone, so the destructor need not unset it; unsetting it
// would make every component still alive repaint during the screen's teardown.
Look::~Look() = default;

void Look::drawButtonBackground(juce::Graphics& g, juce::Button& button, const juce::Colour&, bool, bool)
{
    g.setImageResamplingQuality(juce::Graphics::highResamplingQuality);

    const int w = button.getWidth();
    const int h = button.getHeight();
    const bool on = button.getToggleState();

    if (w == h)
    {
        drawWhole(g, on ? squareButtonOnImage : squareButtonImage, { 0, 0, w, w });
    }
    else if (2 * h - 2 < w && w < 2 * h + 2)
    {
        drawWhole(g, on ? buttonOnImage : buttonImage, { 0, 0, w, h });
    }
    else if (w > h)
    {
        // Longer buttons keep the picture's rounded ends at their own scale and
        // stretch a strip from its middle between them.
        const auto& face = on ? wideButtonOnImage : wideButtonImage;
        const int iw = face.getWidth();
        const int ih = face.getHeight();
        if (w > 2 * h)
        {
            drawPiece(g, face, { 0, 0, h, h }, { 0, 0, ih, ih });
            drawPiece(g, face, { w - h, 0, h, h }, { iw - ih, 0, ih, ih });
            drawPiece(g, face, { h, 0, w - 2 * h, h }, { ih, 0, truncated(0.5 * ih), ih });
        }
        else
        {
            // Too short for two whole caps: half of each. The right one's source
            // reaches past the picture, which clips it to the cap's outer half.
            const int hh = truncated(0.5 * h);
            const int rx = truncated(w - 0.5 * h);
            drawPiece(g, face, { 0, 0, hh, h }, { 0, 0, truncated(0.5 * ih), ih });
            drawPiece(g, face, { rx, 0, h, h }, { truncated(iw - 0.5 * ih), 0, ih, ih });
            drawPiece(g, face, { hh, 0, w - h, h }, { truncated(0.5 * ih), 0, truncated(0.6 * ih), ih });
        }
    }

    fillHoverOverlay(g, button);
}

void Look::drawButtonText(juce::Graphics& g, juce::TextButton& button, bool, bool)
{
    const int w = button.getWidth();
    const int h = button.getHeight();

    g.setFont(juce::Font(static_cast<float>(h) * 0.3f));
    g.setColour(button.findColour(button.getToggleState() ? juce::TextButton::textColourOnId
                                                          : juce::TextButton::textColourOffId)
                    .withMultipliedAlpha(button.isEnabled() ? 1.0f : 0.5f));

    // The side indents are measured in units of yIndent; a button too low to
    // have one has no room for a caption either.
    const int yIndent = juce::roundToInt(static_cast<float>(h) * 0.1f);
    if (yIndent <= 0)
        return;

    const int cornerSize = std::min(w, h) / 2;
    const int leftIndent = cornerSize / (button.isConnectedOnLeft() ? 2 * yIndent : yIndent);
    const int rightIndent = cornerSize / (button.isConnectedOnRight() ? 2 * yIndent : yIndent);
    const int textWidth = w - leftIndent - rightIndent;

    if (textWidth > 0)
        g.drawFittedText(button.getButtonText(), leftIndent, yIndent + 1, textWidth, h - 2 * yIndent,
                         juce::Justification::centred, 2, 0.5f);
}

void Look::fillTextEditorBackground(juce::Graphics& g, int width, int height, juce::TextEditor& editor)
{
    g.setColour(editor.findColour(juce::TextEditor::backgroundColourId));
    g.fillRoundedRectangle(3.0f, 3.0f, float(width - 4), float(height - 4), float(0.5 * height));
}

void Look::drawTextEditorOutline(juce::Graphics& g, int width, int height, juce::TextEditor& editor)
{
    if (!editor.isEnabled())
        return;

    g.setColour(editor.findColour(editor.hasKeyboardFocus(true) ? juce::TextEditor::focusedOutlineColourId
                                                                : juce::TextEditor::outlineColourId));
    g.drawRoundedRectangle(1.0f, 1.0f, float(width - 2), float(height - 2), float(0.5 * height), 1.5f);
}

void Look::drawPopupMenuBackground(juce::Graphics& g, int width, int height)
{
    g.setColour(findColour(juce::PopupMenu::backgroundColourId));
    g.fillRoundedRectangle(0.0f, 0.0f, float(width), float(height), 6.0f);
}

void Look::drawPopupMenuItem(juce::Graphics& g, const juce::Rectangle<int>& area, bool isSeparator, bool isActive,
                             bool isHighlighted, bool, bool hasSubMenu, const juce::String& text,
                             const juce::String& shortcutKeyText, const juce::Drawable*,
                             const juce::Colour* textColour)
{
    const float w = float(area.getWidth());
    const float h = float(area.getHeight());

    if (isSeparator)
    {
        g.setColour(whitePadKavri);
        g.drawLine(0.0f, h, w, h);
        return;
    }

    g.setColour(termsKavri);
    g.drawLine(0.4f * w, 0.0f, 0.6f * w, 0.0f);

    auto colour = textColour != nullptr ? *textColour : findColour(juce::PopupMenu::textColourId);
    if (isHighlighted)
    {
        g.setColour(findColour(juce::PopupMenu::highlightedBackgroundColourId));
        g.fillRect(area);
        colour = findColour(juce::PopupMenu::highlightedTextColourId);
    }

    g.setColour(colour);
    if (!isActive)
        g.setOpacity(0.3f);

    auto font = getPopupMenuFont().withHeight(0.64f * h);
    font.setBold(false);
    g.setFont(font);

    auto textArea = area;
    if (hasSubMenu)
    {
        const float a = 0.6f * getPopupMenuFont().getAscent();
        const int x = textArea.removeFromRight(static_cast<int>(a)).getX();
        const int cy = textArea.getY() + textArea.getHeight() / 2;
        juce::Path arrow;
        arrow.addTriangle(float(x), float(cy) - 0.5f * a, float(x), float(cy) + 0.5f * a, float(x) + 0.6f * a,
                          float(cy));
        g.fillPath(arrow);
    }

    g.drawFittedText(text, textArea, juce::Justification::centred, 1);

    if (shortcutKeyText.isNotEmpty())
    {
        auto shortcutFont = font.withHeight(0.75f * font.getHeight());
        shortcutFont.setHorizontalScale(0.95f);
        g.setFont(shortcutFont);
        g.drawText(shortcutKeyText, textArea, juce::Justification::centred, true);
    }
}

void Look::drawPopupMenuSectionHeader(juce::Graphics& g, const juce::Rectangle<int>& area,
                                      const juce::String& sectionName)
{
    g.setFont(getPopupMenuFont().boldened());
    g.setColour(findColour(juce::PopupMenu::headerTextColourId));
    g.drawFittedText(sectionName, area, juce::Justification::centred, 1, 0.0f);
}

void Look::drawComboBox(juce::Graphics& g, int width, int height, bool, int buttonX, int buttonY, int buttonW,
                        int buttonH, juce::ComboBox&)
{
    const auto w = float(width);
    const auto h = float(height);
    g.setGradientFill(juce::ColourGradient(backgroundKavriL, 0.48f * w, 0.0f, greyBlackKavri, 0.51f * w, h, false));
    const Rectangle<float> body(2.0f, 2.0f, w - 4.0f, h - 4.0f);
    g.fillRoundedRectangle(body, 0.4f * h);
    g.setColour(blackKavri);
    g.drawRoundedRectangle(body, 0.4f * h, 2.0f);

    g.setColour(whiteKavri);
    g.setFont(g.getCurrentFont().withHeight(float(buttonW)));
    g.drawText(":", buttonX, buttonY, buttonW, buttonH, juce::Justification::left, true);
}

juce::Font Look::getLabelFont(juce::Label& label)
{
    // Every label follows the window's size, whatever font it was given.
    label.setFont(juce::Font(labelFontHeight, juce::Font::plain));
    return label.getFont();
}

void Look::drawLinearSlider(juce::Graphics& g, int x, int, int width, int height, float sliderPos,
                            float minSliderPos, float maxSliderPos, juce::Slider::SliderStyle, juce::Slider& slider)
{
    const auto w = float(width);
    const auto h = float(height);
    const int trackW = truncated(0.4 * width);
    const float trackX = float(x + 0.5 * width - 0.5 * trackW);
    const auto corner = float(trackW / 2);
    const Rectangle<float> track(trackX, 4.0f, float(trackW), h - 4.0f);

    g.setColour(blackKavri);
    g.drawRoundedRectangle(track, corner, 2.0f);
    g.setGradientFill(juce::ColourGradient(greyKavri, 0.5f * w, 0.0f, greyPlusKavri, 0.5f * w, h, false));
    g.fillRoundedRectangle(track, corner);

    if (!slider.isEnabled())
        return;

    const bool hovered = slider.isMouseOverOrDragging();
    g.setGradientFill(juce::ColourGradient(hovered ? orangeKavri : blueKavri, 0.5f * w, 0.3f * h,
                                           hovered ? orangeDarkKavri : blueDarkKavri, 0.5f * w, h, false));
    const float thumbY = 0.85f * sliderPos + 0.3f * (maxSliderPos - minSliderPos);
    g.fillRoundedRectangle(trackX, thumbY + 4.0f, float(trackW), h - thumbY - 4.0f, corner);

    drawWhole(g, sliderThumbImage, { 0, truncated(thumbY - 0.2 * width), width, width });

    if (hovered)
    {
        g.setColour(orangeKavri);
        g.drawEllipse(0.25f * w, thumbY + 0.05f * w, 0.5f * w, 0.5f * w, 3.0f);
    }
}

void Look::drawRotarySlider(juce::Graphics& g, int x, int y, int width, int height, float sliderPos,
                            float rotaryStartAngle, float rotaryEndAngle, juce::Slider& slider)
{
    const int radius = std::min(width / 2, height / 2);
    const float length = float(radius - 0.22 * width);
    const bool lit = isLit(slider);

    g.setImageResamplingQuality(juce::Graphics::highResamplingQuality);
    const Rectangle<int> knobArea(0, truncated(-0.1 * width), width, width);
    drawWhole(g, knobImage, knobArea);

    const float angle = rotaryStartAngle + sliderPos * (rotaryEndAngle - rotaryStartAngle);
    juce::Path pointer;
    pointer.addRectangle(-2.0f, -1.0f - length, 4.0f, 0.55f * length + 1.0f);
    pointer.applyTransform(juce::AffineTransform::rotation(angle).translated(float(x + 0.5 * width),
                                                                               float(y + 0.5 * height - 1.0)));
    g.setColour(lit ? blueKavri : greyWhiteKavri);
    g.fillPath(pointer);

    if (lit)
        drawWhole(g, knobHoverImage, knobArea);
    slider.setColour(juce::Slider::textBoxTextColourId, lit ? blueLightKavri : greyTextBoxKavri);

    const float cx = float(x + 0.5 * width);
    const auto boxW = float(slider.getTextBoxWidth());
    const auto boxH = float(slider.getTextBoxHeight());
    const float corner = float(0.05 * height);
    g.setColour(lit ? blueblueKavri : maskKavri);
    g.drawRoundedRectangle(cx - 0.5f * boxW, float(height + 3), boxW, boxH - 6.0f, corner, 2.0f);
    g.setColour(maskTextBox);
    g.fillRoundedRectangle(cx - 0.5f * boxW - 1.0f, float(height + 2), boxW - 1.0f, boxH - 6.0f, corner);
}

juce::Label* Look::createSliderTextBox(juce::Slider& slider)
{
    auto* label = juce::LookAndFeel_V2::createSliderTextBox(slider);
    label->setColour(juce::Label::textColourId, slider.isMouseOverOrDragging() ? blueLightKavri : greyTextBoxKavri);
    label->setFont(juce::Font(label->getFont().getHeight() - 2.0f));
    return label;
}

void Look::drawImageButton(juce::Graphics& g, juce::Image* image, int imageX, int imageY, int imageW, int imageH,
                           const juce::Colour& overlayColour, float imageOpacity, juce::ImageButton& button)
{
    g.setImageResamplingQuality(juce::Graphics::highResamplingQuality);

    const int w = button.getWidth();
    const int h = button.getHeight();

    if (button.findColour(juce::TextButton::buttonColourId) == transparentKavri)
    {
        // A picture on its own: it shrinks a little under the pointer instead of
        // taking an overlay.
        if (image != nullptr)
            drawWhole(g, *image, button.isMouseOverOrDragging() ? Rectangle<int>(6, 2, w - 12, h - 4)
                                                                : Rectangle<int>(0, 0, w, h));
        return;
    }

    const bool on = button.getToggleState();
    if (w == h)
        drawWhole(g, on ? squareButtonOnImage : squareButtonImage, { 0, 0, w, w });
    else
        drawWhole(g, on ? buttonOnImage : buttonImage, { 0, 0, w, h });

    if (image != nullptr)
    {
        // The icon sits in the middle 40 % of the face.
        const auto icon = juce::RectanglePlacement(juce::RectanglePlacement::stretchToFit)
                              .getTransformToFit(image->getBounds().toFloat(),
                                                 Rectangle<int>(imageX, imageY, imageW, imageH).toFloat())
                              .scaled(0.4f)
                              .translated(float(0.3 * w), float(0.3 * h));

        if (overlayColour.getAlpha() != 255)
        {
            g.setOpacity(imageOpacity * (button.isEnabled() ? 1.0f : 0.2f));
            g.drawImageTransformed(*image, icon, false);
        }
        if (overlayColour.getAlpha() != 0)
        {
            g.setColour(overlayColour);
            g.drawImageTransformed(*image, icon, true);
        }
    }

    fillHoverOverlay(g, button);
}
