#include "ui/ISRCListComponent.h"

#include "engine/AudioConverter.h"
#include "ui/ListPanel.h"
#include "ui/Palette.h"

#include <algorithm>

namespace
{
const juce::String isrcCharacters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-";
constexpr int isrcMaxLength = 15;

juce::String formatText(double sampleRate, int bitsPerSample)
{
    if (sampleRate == 0.0)
        return {};
    return juce::String(static_cast<int>(sampleRate / 1000)) + "k-" + juce::String(bitsPerSample) + "b";
}
} // namespace

ISRCListComponent::ISRCListComponent()
{
    listpanel::buildFrame(*this, closeButton, viewport, contentComponent);
    closeButton->onClick = [this] { setVisible(false); };
}

ISRCListComponent::~ISRCListComponent() = default;

void ISRCListComponent::addList(juce::StringArray& paths)
{
    for (const auto& entry : paths)
    {
        const std::string p = entry.toStdString();
        if (!listpanel::isWavPath(p) || isrcCodes.count(p) != 0)
            continue;

        auto* nameLabel = listpanel::makeNameLabel(p);
        contentComponent->addAndMakeVisible(nameLabel);
        nameLabels.add(nameLabel);

        auto* editor = new juce::TextEditor(juce::String());
        editor->setColour(juce::TextEditor::backgroundColourId, maskKavri);
        editor->setColour(juce::TextEditor::highlightColourId, orangeKavri);
        editor->setColour(juce::TextEditor::focusedOutlineColourId, orangeTransLanth);
        editor->setColour(juce::TextEditor::outlineColourId, greyLightKavriO);
        editor->setColour(juce::TextEditor::textColourId, greyWhiteKavri);
        editor->setColour(juce::TextEditor::shadowColourId, termsKavri);
        editor->setInputRestrictions(isrcMaxLength, isrcCharacters);
        editor->setTextToShowWhenEmpty("ISRC Code", termsKavri);
        editor->setJustification(juce::Justification::centred);
        editor->setCaretVisible(true);
        editor->setMultiLine(false);
        editor->setReadOnly(false);
        editor->setWantsKeyboardFocus(true);
        setupISRCEditor(editor, p);
        contentComponent->addAndMakeVisible(editor);

        double sampleRate = 0.0;
        int bitsPerSample = 0;
        juce::String isrc;
        // juce::File takes absolute paths only; anything else names no file.
        if (juce::File::isAbsolutePath(juce::String(p)))
            AudioConverter::getFileInfo(juce::File(juce::String(p)), sampleRate, bitsPerSample, isrc);

        auto* formatLabel = new juce::Label({}, formatText(sampleRate, bitsPerSample));
        formatLabel->setColour(juce::Label::backgroundColourId, lightKavri);
        formatLabel->setJustificationType(juce::Justification::centred);
        contentComponent->addAndMakeVisible(formatLabel);
        formatLabels.add(formatLabel);

        auto* removeButton = new juce::TextButton("X");
        removeButton->setColour(juce::TextButton::textColourOffId, greyLightKavriO);
        removeButton->setColour(juce::TextButton::textColourOnId, whiteKavri);
        // The handler is deleted together with its button while it runs: it
        // hands a copy of the path on and touches none of its captures afterwards.
        removeButton->onClick = [this, p] {
            const std::string path = p;
            removeFile(path);
        };
        contentComponent->addAndMakeVisible(removeButton);
        removeButtons.add(removeButton);

        // A stored code is shown as read, whatever its length.
        editor->setText(isrc, false);
        isrcEditors.add(editor);

        isrcCodes[p] = isrc.toStdString();
        files.push_back(p);
    }

    resized();
}

void ISRCListComponent::setupISRCEditor(juce::TextEditor* editor, const std::string& path)
{
    editor->onTextChange = [this, path, editor] { isrcCodes[path] = editor->getText().toStdString(); };
}

void ISRCListComponent::removeFile(const std::string& path)
{
    const auto found = std::find(files.begin(), files.end(), path);
    if (found != files.end())
    {
        const int i = static_cast<int>(std::distance(files.begin(), found));

        // Keeps the focus from jumping into another row's editor while the
        // focused widgets go away.
        for (auto* editor : isrcEditors)
            editor->setWantsKeyboardFocus(false);

        nameLabels.remove(i);
        formatLabels.remove(i);
        isrcEditors.remove(i);
        removeButtons.remove(i); // the button whose click is being handled

        isrcCodes.erase(path);
        files.erase(files.begin() + i);

        if (closeButton->isShowing())
            closeButton->grabKeyboardFocus();
        for (auto* editor : isrcEditors)
            editor->setWantsKeyboardFocus(true);
        resized();
        repaint();
    }

    listChanged = true;
}

void ISRCListComponent::clearList()
{
    contentComponent->removeAllChildren();
    nameLabels.clear();
    formatLabels.clear();
    isrcEditors.clear();
    removeButtons.clear();
    isrcCodes.clear();
    files.clear();
}

void ISRCListComponent::resized()
{
    const int u = static_cast<int>(0.036 * getWidth());

    listpanel::placeFrame(*this, u, *closeButton, *viewport);
    closeButton->setAlwaysOnTop(false);

    const int vw = viewport->getWidth();
    contentComponent->setBounds(0, 0, vw - viewport->getScrollBarThickness(), static_cast<int>(files.size()) * u);

    const int rowHeight = static_cast<int>(0.8 * u);
    for (int i = 0; i < static_cast<int>(files.size()) && i < nameLabels.size(); ++i)
    {
        const int y = static_cast<int>(i * u * 0.9);

        auto* name = nameLabels[i];
        auto* format = formatLabels[i];
        auto* editor = isrcEditors[i];
        auto* remove = removeButtons[i];

        name->setBounds(0, y, static_cast<int>(0.67 * vw), rowHeight);
        format->setBounds(name->getRight(), y, static_cast<int>(0.09 * vw), rowHeight);
        editor->setBounds(format->getRight(), y, static_cast<int>(0.23 * vw - u), rowHeight);
        remove->setBounds(editor->getRight() + 2, static_cast<int>(i * u * 0.9 - 2), u, u);

        editor->setAlwaysOnTop(false);
        remove->setAlwaysOnTop(false);
    }
}

void ISRCListComponent::paint(juce::Graphics& g)
{
    listpanel::paintFrame(g, viewport->getBounds().toFloat());
}
