#include "measure/CheckedReader.h"

#include "measure/RiffChunks.h"

#include <cstdint>
#include <cstring>
#include <limits>

#include <sys/stat.h>

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

namespace
{
// True when any of the samples is a NaN or an infinity, that is, has every
// exponent bit set. Tested on the bits four samples at a time, with the
// compiler's vector extension, so the test costs next to nothing beside the
// decoding.
bool anyNonFinite(const float* samples, int count)
{
    using Lanes = std::int32_t __attribute__((vector_size(16)));
    constexpr std::int32_t exponent = 0x7f800000;
    constexpr Lanes mask = { exponent, exponent, exponent, exponent };

    Lanes found = {};
    int i = 0;
    for (; i + 4 <= count; i += 4)
    {
        Lanes bits;
        std::memcpy(&bits, samples + i, sizeof(bits));
        found |= (bits & mask) == mask;
    }

    bool any = (found[0] | found[1] | found[2] | found[3]) != 0;
    for (; i < count; ++i)
    {
        std::int32_t one = 0;
        std::memcpy(&one, samples + i, sizeof(one));
        any = any || (one & exponent) == exponent;
    }
    return any;
}

// True when the file's chunks, walked with their pad bytes, have a `fmt `
// chunk and after it a `data` chunk of 0 bytes. That the format is one of
// samples JUCE decodes, the reader has already made sure: it opens no other.
bool chunksDeclareNoFrames(const juce::File& file)
{
    juce::FileInputStream in(file);
    if (!in.openedOk())
        return false;

    bool sawFormat = false;
    bool empty = false;
    RiffChunks::forEach(in, [&](const RiffChunks::Chunk& chunk) {
        sawFormat = sawFormat || chunk.id == "fmt ";
        if (chunk.id != "data")
            return true;
        empty = sawFormat && chunk.size == 0;
        return false;
    });
    return empty;
}
} // namespace

bool CheckedReader::isRegularFile(const juce::File& file)
{
    struct stat info {};
    return ::stat(file.getFullPathName().toRawUTF8(), &info) == 0 && S_ISREG(info.st_mode);
}

CheckedReader::CheckedReader(juce::AudioFormatManager& formats, const juce::File& file)
{
    if (!isRegularFile(file))
        return;

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
            emptyByDeclaration = reader->lengthInSamples == 0 && chunksDeclareNoFrames(file);
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
    if (!reader->read(&destination, startInDestination, numSamples, readerStart, true, true) || cameUpShort())
        return false;

    // Integer samples always decode to finite values.
    if (reader->usesFloatingPointData)
        for (int ch = 0; ch < destination.getNumChannels(); ++ch)
            if (anyNonFinite(destination.getReadPointer(ch, startInDestination), numSamples))
                return false;
    return true;
}

bool CheckedReader::canDecode() const
{
    if (reader == nullptr)
        return false;

    const auto bits = reader->bitsPerSample;
    const double rate = reader->sampleRate;
    return (reader->lengthInSamples > 0 || emptyByDeclaration) && reader->numChannels > 0
           && (bits == 8 || bits == 16 || bits == 24 || bits == 32)
           && rate >= 1.0 && rate <= static_cast<double>(std::numeric_limits<int>::max());
}
