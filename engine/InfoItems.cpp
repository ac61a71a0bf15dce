#include "engine/InfoItems.h"

#include "measure/RiffChunks.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <algorithm>

namespace InfoItems
{
namespace
{
// Every INFO type JUCE's WAV writer stores (its riffInfo… keys), in the order
// it writes them.
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

void readItems(juce::InputStream& in, juce::int64 position, juce::int64 end, List& items)
{
    while (position + 8 <= end && in.setPosition(position))
    {
        auto id = RiffChunks::readTag(in);
        const auto size = static_cast<juce::int64>(static_cast<juce::uint32>(in.readInt()));
        const auto dataStart = position + 8;
        // Past an id that is not text the list is not items any more.
        if (id.isEmpty())
            return;

        // JUCE's reader matches the types it knows ignoring case.
        if (writerTypes().contains(id.toUpperCase()))
            id = id.toUpperCase();

        juce::MemoryBlock data;
        in.readIntoMemoryBlock(data, static_cast<ssize_t>(std::min(size, end - dataStart)));
        items.push_back({ id, juce::String::createStringFromData(data.getData(), static_cast<int>(data.getSize())) });
        position = RiffChunks::paddedEnd(dataStart, size);
    }
}

const Item* find(const List& items, const juce::String& id)
{
    const auto found = std::find_if(items.begin(), items.end(), [&id](const Item& item) { return item.id == id; });
    return found == items.end() ? nullptr : &*found;
}

// An item as JUCE's writer stores it: the text in UTF-8 with its terminating
// zero, the size counting the pad byte that evens it up.
void writeItem(juce::MemoryOutputStream& out, const Item& item)
{
    const auto textBytes = static_cast<int>(item.text.getNumBytesAsUTF8()) + 1;
    out.write(item.id.toRawUTF8(), 4);
    out.writeInt(textBytes + (textBytes & 1));
    out.write(item.text.toRawUTF8(), static_cast<size_t>(textBytes));
    if ((textBytes & 1) != 0)
        out.writeByte(0);
}
} // namespace

List read(juce::InputStream& wav, bool& foundInfo)
{
    List items;
    foundInfo = false;
    const auto total = wav.getTotalLength();
    RiffChunks::forEach(wav, [&](const RiffChunks::Chunk& chunk) {
        if (chunk.id == "LIST" && chunk.size >= 4)
        {
            const auto listType = RiffChunks::readTag(wav);
            if (listType == "INFO" || listType == "info")
            {
                foundInfo = true;
                readItems(wav, chunk.dataStart + 4, std::min(chunk.dataStart + chunk.size, total), items);
            }
        }
        return true;
    });
    return items;
}

List correct(juce::StringPairArray& metadata, const juce::File& file)
{
    juce::FileInputStream in(file);
    if (!in.openedOk())
        return {};

    bool foundInfo = false;
    const auto items = read(in, foundInfo);
    if (!foundInfo)
        return {};

    // "ISRC" is also where the reader puts a code found in the axml chunk, so
    // it is only ever replaced, never dropped.
    for (const auto& type : writerTypes())
        if (type != "ISRC" && find(items, type) == nullptr)
            metadata.remove(juce::StringRef(type));

    // A type given twice: the reader keeps the last one, and so do we.
    for (const auto& item : items)
        if (writerTypes().contains(item.id))
            metadata.set(item.id, item.text);
    return items;
}

juce::MemoryBlock chunkFor(const List& items, const juce::StringPairArray& metadata)
{
    List all = items;
    for (const auto& type : writerTypes())
    {
        const auto value = metadata.getValue(type, {});
        if (value.isNotEmpty() && find(items, type) == nullptr)
            all.push_back({ type, value });
    }

    juce::MemoryOutputStream list;
    for (const auto& item : all)
        if (item.text.isNotEmpty())
            writeItem(list, item);
    if (list.getDataSize() == 0)
        return {};

    juce::MemoryOutputStream chunk;
    chunk.write("LIST", 4);
    chunk.writeInt(static_cast<int>(list.getDataSize()) + 4);
    chunk.write("INFO", 4);
    chunk << list.getMemoryBlock();
    return chunk.getMemoryBlock();
}

juce::StringPairArray withoutInfo(const juce::StringPairArray& metadata)
{
    auto forWriter = metadata;
    for (const auto& type : writerTypes())
        forWriter.remove(juce::StringRef(type));

    // The writer takes the axml chunk's ISRC from this key, or else from the
    // INFO one.
    const auto isrcKey = juce::WavAudioFormat::internationalStandardRecordingCode;
    if (!forWriter.containsKey(isrcKey) && metadata.containsKey(juce::WavAudioFormat::riffInfoSource))
        forWriter.set(isrcKey, metadata[juce::WavAudioFormat::riffInfoSource]);

    // Given any value at all, the writer adds its smpl chunk; it still must.
    // JUCE's reader sets this key beside anything else it finds.
    if (forWriter.size() == 0 && metadata.size() > 0)
        forWriter.set("MetaDataSource", "WAV");
    return forWriter;
}
} // namespace InfoItems
