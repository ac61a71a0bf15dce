#include "measure/RiffChunks.h"

namespace RiffChunks
{
juce::String readTag(juce::InputStream& in)
{
    char tag[4] {};
    if (in.read(tag, 4) != 4)
        return {};
    for (const char c : tag)
        if (c < 0x20 || c > 0x7e)
            return {};
    return juce::String(tag, 4);
}

bool forEach(juce::InputStream& wav, const std::function<bool(const Chunk&)>& visit)
{
    if (!wav.setPosition(0))
        return false;
    const auto container = readTag(wav);
    const bool rf64 = container == "RF64";
    if (container != "RIFF" && !rf64)
        return false;
    wav.readInt();
    if (readTag(wav) != "WAVE")
        return false;

    const auto total = wav.getTotalLength();
    juce::int64 rf64DataSize = -1;
    for (juce::int64 position = 12; position + 8 <= total && wav.setPosition(position);)
    {
        Chunk chunk;
        chunk.id = readTag(wav);
        chunk.size = static_cast<juce::uint32>(wav.readInt());
        chunk.dataStart = position + 8;

        if (rf64 && chunk.id == "ds64" && chunk.size >= 16)
        {
            wav.readInt64();
            rf64DataSize = wav.readInt64();
        }
        else if (rf64 && chunk.id == "data" && chunk.size == 0xffffffff && rf64DataSize >= 0)
        {
            chunk.size = rf64DataSize;
        }

        if (!wav.setPosition(chunk.dataStart) || !visit(chunk))
            break;
        position = paddedEnd(chunk.dataStart, chunk.size);
    }
    return true;
}
} // namespace RiffChunks
