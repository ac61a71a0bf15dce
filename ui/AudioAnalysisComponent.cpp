#include "ui/AudioAnalysisComponent.h"

#include "ui/DragAndDropDemoTarget.h"
#include "ui/ListPanel.h"
#include "ui/Palette.h"

#include <algorithm>

namespace
{
constexpr float noResult = AudioAnalysisThread::missingValue;

// Thresholds are strict: a value on a boundary takes the next row. NaN fails
// every comparison and lands on the last row; minus infinity (silence) on the first.
juce::Colour loudnessColour(float lufs)
{
    if (lufs < -30.0f)
        return juce::Colour(0xFF646478);
    if (lufs < -20.0f)
        return juce::Colour(0xFF325032);
    if (lufs < -16.0f)
        return juce::Colour(0xFF326432);
    if (lufs < -12.0f)
        return juce::Colour(0xFF646432);
    if (lufs < -6.0f)
        return juce::Colour(0xFF785032);
    return juce::Colour(0xFF783232);
}

juce::Colour truePeakColour(float truePeak)
{
    if (truePeak < -6.0f)
        return juce::Colour(0xFF325032);
    if (truePeak < -3.0f)
        return juce::Colour(0xFF505032);
    if (truePeak < -1.0f)
        return juce::Colour(0xFF644632);
    return juce::Colour(0xFF783232);
}

juce::Label* makeValueCell()
{
    auto* cell = new juce::Label({}, "Pending...");
    cell->setColour(juce::Label::backgroundColourId, greyDownKavri);
    cell->setColour(juce::Label::textColourId, greyWhiteKavri);
    cell->setJustificationType(juce::Justification::centred);
    return cell;
}
} // namespace

AudioAnalysisComponent::AudioAnalysisComponent()
{
    listpanel::buildFrame(*this, closeButton, viewport, contentComponent);
    closeButton->onClick = [this] {
        setVisible(false);
        // Showing the list switched the drop zone off; closing it switches it back on.
        if (auto* parent = getParentComponent())
        {
            for (auto* child : parent->getChildren())
            {
                if (auto* dropZone = dynamic_cast<DragAndDropDemoTarget*>(child))
                {
                    dropZone->acceptsFiles = true;
                    break;
                }
            }
        }
    };

    installResultHandler();

    startTimer(200);
}

AudioAnalysisComponent::~AudioAnalysisComponent()
{
    stopTimer();
    if (analysisThread.isThreadRunning())
        analysisThread.stopThread(5000);
    analysisThread.onAnalysisComplete = nullptr;
    analysisThread.clearQueue();
}

void AudioAnalysisComponent::installResultHandler()
{
    // The safe pointer is made here, on the message thread: creating one
    // touches the panel's weak-reference master, which the worker must not.
    // The worker only copies it, and only the message thread reads it.
    const juce::Component::SafePointer<AudioAnalysisComponent> panel(this);

    analysisThread.onAnalysisComplete = [panel](const std::string& path, int index, float lufs, float truePeak) {
        juce::MessageManager::callAsync([panel, path, index, lufs, truePeak] {
            if (auto* target = panel.getComponent())
                target->updateAnalysisResult(path, index, lufs, truePeak);
        });
    };
}

void AudioAnalysisComponent::addList(juce::StringArray& paths)
{
    for (const auto& entry : paths)
    {
        const std::string path = entry.toStdString();
        if (!listpanel::isWavPath(path) || isrcByFile.count(path) != 0)
            continue;

        auto* nameCell = listpanel::makeNameLabel(path);
        contentComponent->addAndMakeVisible(nameCell);
        fileNameLabels.add(nameCell);

        auto* lufsCell = makeValueCell();
        contentComponent->addAndMakeVisible(lufsCell);
        lufsLabels.add(lufsCell);

        auto* truePeakCell = makeValueCell();
        contentComponent->addAndMakeVisible(truePeakCell);
        truePeakLabels.add(truePeakCell);

        auto* removeButton = new juce::TextButton("X");
        removeButton->setColour(juce::TextButton::textColourOffId, juce::Colour(0xFFB5857C));
        removeButton->setColour(juce::TextButton::textColourOnId, whiteKavri);
        // The handler is deleted together with its button while it runs: it
        // hands a copy of the path on and touches none of its captures afterwards.
        removeButton->onClick = [this, path] {
            const std::string removedPath = path;
            removeFile(removedPath);
        };
        contentComponent->addAndMakeVisible(removeButton);
        removeButtons.add(removeButton);

        isrcByFile[path] = {};
        lufsByFile[path] = noResult;
        truePeakByFile[path] = noResult;
        analyzingByFile[path] = false;
        files.push_back(path);
    }

    resized();
    startBackgroundAnalysis();
}

void AudioAnalysisComponent::removeFile(const std::string& path)
{
    const auto found = std::find(files.begin(), files.end(), path);
    if (found == files.end())
        return;

    const int i = static_cast<int>(std::distance(files.begin(), found));

    // A task of this file still queued is measured all the same; its result
    // finds the path unlisted and is dropped.
    fileNameLabels.remove(i);
    lufsLabels.remove(i);
    truePeakLabels.remove(i);
    removeButtons.remove(i); // the button whose click is being handled

    isrcByFile.erase(path);
    lufsByFile.erase(path);
    truePeakByFile.erase(path);
    analyzingByFile.erase(path);
    files.erase(files.begin() + i);

    if (closeButton->isShowing())
        closeButton->grabKeyboardFocus();
    resized();
    repaint();
}

void AudioAnalysisComponent::releaseInterruptedFiles()
{
    // Called only while the worker is stopped. A marked file without a result
    // was dropped from its queue or abandoned on a stop request and will get
    // no result, so it must be free to be queued again. A result posted just
    // before the worker ended may still be on its way: that file is then
    // queued once more at most and simply measured twice, since its arriving
    // result clears the mark and the stored value stops any further queueing.
    for (size_t i = 0; i < files.size(); ++i)
    {
        const auto& path = files[i];
        if (!analyzingByFile.at(path) || lufsByFile.at(path) != noResult)
            continue;

        analyzingByFile[path] = false;
        const int row = static_cast<int>(i);
        if (row < lufsLabels.size() && row < truePeakLabels.size())
        {
            lufsLabels[row]->setText("Pending...", juce::dontSendNotification);
            truePeakLabels[row]->setText("Pending...", juce::dontSendNotification);
        }
    }
}

void AudioAnalysisComponent::startBackgroundAnalysis()
{
    if (!analysisThread.isThreadRunning())
    {
        analysisThread.clearQueue();
        releaseInterruptedFiles();
    }

    for (size_t i = 0; i < files.size(); ++i)
    {
        const auto& path = files[i];
        if (lufsByFile.at(path) != noResult || analyzingByFile.at(path))
            continue;

        analyzingByFile[path] = true;
        const int row = static_cast<int>(i);
        if (row < lufsLabels.size() && row < truePeakLabels.size())
        {
            lufsLabels[row]->setText("Analyzing", juce::dontSendNotification);
            truePeakLabels[row]->setText(".", juce::dontSendNotification);
        }
        analysisThread.addTask({ path, row });
    }

    if (analysisThread.hasQueuedTasks() && !analysisThread.isThreadRunning())
        analysisThread.startThread();
}

void AudioAnalysisComponent::updateAnalysisResult(const std::string& path, int, float lufs, float truePeak)
{
    const auto found = std::find(files.begin(), files.end(), path);
    if (found == files.end())
        return;

    const int i = static_cast<int>(std::distance(files.begin(), found));

    lufsByFile[path] = lufs;
    truePeakByFile[path] = truePeak;
    analyzingByFile[path] = false;

    if (i < lufsLabels.size() && i < truePeakLabels.size())
    {
        auto* lufsCell = lufsLabels[i];
        auto* truePeakCell = truePeakLabels[i];

        if (lufs == noResult)
        {
            lufsCell->setText("Error", juce::dontSendNotification);
            truePeakCell->setText("Error", juce::dontSendNotification);
        }
        else
        {
            lufsCell->setText(juce::String(lufs, 2) + " LUFS", juce::dontSendNotification);
            truePeakCell->setText(juce::String(truePeak, 2) + " dBTP", juce::dontSendNotification);
            lufsCell->setColour(juce::Label::backgroundColourId, loudnessColour(lufs));
            truePeakCell->setColour(juce::Label::backgroundColourId, truePeakColour(truePeak));
        }
    }

    repaint();
}

void AudioAnalysisComponent::timerCallback()
{
    if (!analysisThread.isThreadRunning())
    {
        if (analysisThread.hasQueuedTasks())
        {
            // A worker stopped on request (an export, a cleared list) leaves
            // its queue behind to be dropped. One that ended by itself just as
            // files were queued, while it still counted as running, is started
            // again for them instead of leaving them unmeasured.
            if (analysisThread.threadShouldExit())
                analysisThread.clearQueue();
            else
                analysisThread.startThread();
        }
        if (!analysisThread.isThreadRunning())
            releaseInterruptedFiles();
    }

    ++animationCounter;

    const int dots = ((animationCounter / 6) % 8) + 1;
    const auto dotText = juce::String::repeatedString(".", dots);
    for (size_t i = 0; i < files.size(); ++i)
    {
        const int row = static_cast<int>(i);
        if (!analyzingByFile.at(files[i]) || row >= lufsLabels.size() || row >= truePeakLabels.size())
            continue;

        lufsLabels[row]->setText("Analyzing", juce::dontSendNotification);
        truePeakLabels[row]->setText(dotText, juce::dontSendNotification);
    }
}

void AudioAnalysisComponent::clearList()
{
    if (analysisThread.isThreadRunning())
        analysisThread.stopThread(2000);

    // The callback is replaced only while the worker is stopped.
    analysisThread.onAnalysisComplete = nullptr;
    analysisThread.clearQueue();

    contentComponent->removeAllChildren();
    fileNameLabels.clear();
    lufsLabels.clear();
    truePeakLabels.clear();
    removeButtons.clear();

    isrcByFile.clear();
    lufsByFile.clear();
    truePeakByFile.clear();
    analyzingByFile.clear();
    files.clear();

    installResultHandler();
}

void AudioAnalysisComponent::resized()
{
    const int u = static_cast<int>(0.036 * getWidth());

    listpanel::placeFrame(*this, u, *closeButton, *viewport);

    const int vw = viewport->getWidth();
    const int rows = static_cast<int>(files.size());
    contentComponent->setBounds(0, 0, vw - viewport->getScrollBarThickness(), static_cast<int>(rows * u * 0.9));

    const int rowHeight = static_cast<int>(0.8 * u);
    for (int i = 0; i < fileNameLabels.size(); ++i)
    {
        auto* name = fileNameLabels[i];
        auto* lufs = lufsLabels[i];
        auto* truePeak = truePeakLabels[i];
        auto* remove = removeButtons[i];
        if (lufs == nullptr || truePeak == nullptr || remove == nullptr)
            break;

        const int y = static_cast<int>(i * u * 0.9);
        name->setBounds(0, y, static_cast<int>(0.692 * vw), rowHeight);
        lufs->setBounds(name->getRight(), y, static_cast<int>(0.14 * vw), rowHeight);
        truePeak->setBounds(lufs->getRight(), y, static_cast<int>(0.12 * vw), rowHeight);
        remove->setBounds(truePeak->getRight() + 2, static_cast<int>(i * u * 0.9 - 2.0), u, u);
    }
}

void AudioAnalysisComponent::paint(juce::Graphics& g)
{
    listpanel::paintFrame(g, viewport->getBounds().toFloat());
}
