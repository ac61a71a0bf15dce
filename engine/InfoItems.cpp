#include "engine/InfoItems.h"

#include <algorithm>

namespace InfoItems
{
namespace
{
// Every INFO type JUCE's WAV writer stores (its riffInfo… keys).
const juce::StringArray& writerTypes()
{
    static const juce::StringArray types = juce::StringArray::fromTokens(
        "IARL IART IBSU ICNM CMNT ICMT COMM ICMS ICOP ICDS ICNT ICRP ICRD IDIT ICAS IDIM DIRC IDST IDPI IEDT IAS8 "
        "CODE TCDO IENG IAS5 IAS1 IAS4 GENR IKEY LANG TLEN ILGT LOCA ILIU ILGU IMED IMBI IMBU IMIT IMIU IMUS IAS9 "
        "PRT2 TORG PRT1 IPRO IPRD IPDS ISDT RATE AGES IRTD IRIP ISGN IAS2 IAS7 ISHP IAS6 ISFT DISP ISRC ISRF ISTR "
        "STAR TCOD STAT ISBJ TAPE ITCH IAS3 ISMP INAM IPRT TRCK TURL VMAJ VMIN TVER IWMU IWRI YEAR",
        false);
    return types;
}

juce::String readTag(juce::InputStream& in)
{
    char tag[4] {};
    if (in.read(tag, 4) != 4)
        return {};
    return juce::String(juce::CharPointer_ASCII(tag), 4);
}

// RIFF sizes are unsigned 32-bit; every item and chunk is padded to an even
// length.
juce::int64 paddedEnd(juce::int64 dataStart, juce::int64 size)
{
    return dataStart + size + (size & 1);
}

void readItems(juce::InputStream& in, juce::int64 position, juce::int64 end, juce::StringPairArray& items)
{
    const auto& types = writerTypes();
    while (position + 8 <= end && in.setPosition(position))
    {
        // The writer's types are capitals; the reader matches them ignoring case.
        const auto type = readTag(in).toUpperCase();
        const auto size = static_cast<juce::int64>(static_cast<juce::uint32>(in.readInt()));
        const auto dataStart = position + 8;
        if (type.length() != 4)
            return;

        if (types.contains(type))
        {
            juce::MemoryBlock data;
            const auto available = std::min(size, end - dataStart);
            in.readIntoMemoryBlock(data, static_cast<ssize_t>(available));
            items.set(type, juce::String::createStringFromData(data.getData(), static_cast<int>(data.getSize())));
        }
        position = paddedEnd(dataStart, size);
    }
}
} // namespace

juce::StringPairArray read(juce::InputStream& wav, bool& foundInfo)
{
    juce::StringPairArray items;
    foundInfo = false;

    const auto container = readTag(wav);
    const bool rf64 = container == "RF64";
    if (container != "RIFF" && !rf64)
        return items;
    wav.readInt();
    if (readTag(wav) != "WAVE")
        return items;

    const auto total = wav.getTotalLength();
    juce::int64 rf64DataSize = -1;
    for (auto position = wav.getPosition(); position + 8 <= total && wav.setPosition(position);)
    {
        const auto id = readTag(wav);
        juce::int64 size = static_cast<juce::uint32>(wav.readInt());
        const auto dataStart = position + 8;

        // RF64 keeps the real data size in its ds64 chunk.
        if (rf64 && id == "ds64" && size >= 16)
        {
            wav.readInt64();
            rf64DataSize = wav.readInt64();
        }
        else if (rf64 && id == "data" && size == 0xffffffff && rf64DataSize >= 0)
        {
            size = rf64DataSize;
        }
        else if (id == "LIST" && size >= 4)
        {
            const auto listType = readTag(wav);
            if (listType == "INFO" || listType == "info")
            {
                foundInfo = true;
                readItems(wav, dataStart + 4, std::min(dataStart + size, total), items);
            }
        }
        position = paddedEnd(dataStart, size);
    }
    return items;
}

void correct(juce::StringPairArray& metadata, const juce::File& file)
{
    juce::FileInputStream in(file);
    if (!in.openedOk())
        return;

    bool foundInfo = false;
    const auto items = read(in, foundInfo);
    if (!foundInfo)
        return;

    // "ISRC" is also where the reader puts a code found in the axml chunk, so
    // it is only ever replaced, never dropped.
    for (const auto& type : writerTypes())
        if (type != "ISRC" && !items.containsKey(type))
            metadata.remove(juce::StringRef(type));

    metadata.addArray(items);
}
} // namespace InfoItems
