#include "measure/CheckedReader.h"

#include <limits>

class CheckedReader::Watch final : public juce::InputStream
{
public:
    explicit Watch(std::unique_ptr<juce::InputStream> source) : in(std::move(source)) {}

    juce::int64 getTotalLength() override { return in->getTotalLength(); }
    bool isExhausted() override { return in->isExhausted(); }
    juce::int64 getPosition() override { return in->getPosition(); }
    bool setPosition(juce::int64 position) override { return in->setPosition(position); }

    int read(void* dest, int bytes) override
    {
        const int got = in->read(dest, bytes);
        if (got < bytes)
            cameUpShort = true;
        return got;
    }

    bool cameUpShort = false;

private:
    std::unique_ptr<juce::InputStream> in;
};

CheckedReader::CheckedReader(juce::AudioFormatManager& formats, const juce::File& file)
{
    for (int i = 0; i < formats.getNumKnownFormats(); ++i)
    {
        auto* format = formats.getKnownFormat(i);
        if (!format->canHandleFile(file))
            continue;

        auto stream = file.createInputStream();
        if (stream == nullptr)
            continue;

        auto newWatch = std::make_unique<Watch>(std::move(stream));
        auto* watchPointer = newWatch.get();
        // On failure the format deletes the stream it was given.
        reader.reset(format->createReaderFor(newWatch.release(), true));
        if (reader != nullptr)
        {
            // Header parsing may legitimately probe past the end.
            watchPointer->cameUpShort = false;
            watch = watchPointer;
            return;
        }
    }
}

CheckedReader::~CheckedReader() = default;

bool CheckedReader::cameUpShort() const noexcept
{
    return watch != nullptr && watch->cameUpShort;
}

bool CheckedReader::readComplete(juce::AudioBuffer<float>& destination, int startInDestination, int numSamples,
                                 juce::int64 readerStart)
{
    if (reader == nullptr)
        return false;
    const bool ok = reader->read(&destination, startInDestination, numSamples, readerStart, true, true);
    return ok && !cameUpShort();
}

bool CheckedReader::lengthAndRateFitInt(int& numSamples, int& sampleRate) const
{
    if (reader == nullptr)
        return false;

    constexpr auto intMax = std::numeric_limits<int>::max();
    const auto length = reader->lengthInSamples;
    const double rate = reader->sampleRate;
    if (length < 0 || length > intMax || !(rate >= 1.0 && rate <= static_cast<double>(intMax)))
        return false;

    numSamples = static_cast<int>(length);
    sampleRate = static_cast<int>(rate);
    return true;
}
