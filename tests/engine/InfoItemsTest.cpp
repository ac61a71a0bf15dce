#include "engine/InfoItems.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
struct Piece
{
    std::string id;
    std::string bytes;
    juce::int64 claimedSize = -1; // -1: the real size
};

// A RIFF-style container: each piece as id, size and bytes, padded to even.
std::string container(const std::string& kind, const std::vector<Piece>& pieces)
{
    juce::MemoryOutputStream out;
    out.write(kind.data(), 4);
    out.writeInt(-1);
    out.write("WAVE", 4);
    for (const auto& p : pieces)
    {
        out.write(p.id.data(), 4);
        out.writeInt(static_cast<int>(p.claimedSize >= 0 ? p.claimedSize : static_cast<juce::int64>(p.bytes.size())));
        out.write(p.bytes.data(), p.bytes.size());
        if ((p.bytes.size() & 1) != 0)
            out.writeByte(0);
    }
    return std::string(static_cast<const char*>(out.getData()), out.getDataSize());
}

// An item's bytes as they lie inside an INFO list (with the pad byte).
std::string item(const std::string& id, const std::string& text, juce::int64 claimedSize = -1)
{
    juce::MemoryOutputStream out;
    out.write(id.data(), 4);
    out.writeInt(static_cast<int>(claimedSize >= 0 ? claimedSize : static_cast<juce::int64>(text.size())));
    out.write(text.data(), text.size());
    if ((text.size() & 1) != 0)
        out.writeByte(0);
    return std::string(static_cast<const char*>(out.getData()), out.getDataSize());
}

std::string ds64(juce::int64 dataSize)
{
    juce::MemoryOutputStream out;
    out.writeInt64(0);
    out.writeInt64(dataSize);
    out.writeInt64(0);
    out.writeInt(0);
    return std::string(static_cast<const char*>(out.getData()), out.getDataSize());
}
} // namespace

TEST(InfoItems, ReadsEveryItemInFileOrderWhereverTheListLies)
{
    const std::string fmt(16, '\x01');
    struct Case
    {
        const char* name;
        std::string bytes;
        bool foundInfo;
        std::vector<std::pair<const char*, const char*>> expected;
    };
    const Case cases[] = {
        { "before the data, lower-case list type and item id",
          container("RIFF", { { "fmt ", fmt }, { "LIST", "info" + item("iart", "Ann") + item("ignr", "Folk") },
                              { "data", "abcd" } }),
          true, { { "IART", "Ann" }, { "ignr", "Folk" } } },
        { "odd items without their zero, an unknown one between",
          container("RIFF", { { "data", "abc" }, { "LIST", "INFO" + item("INAM", "abc") + item("IGNR", "x")
                                                               + item("IART", "xy") } }),
          true, { { "INAM", "abc" }, { "IGNR", "x" }, { "IART", "xy" } } },
        { "an item claiming more than its list holds",
          container("RIFF", { { "LIST", "INFO" + item("ICMT", "short", 100) } }), true, { { "ICMT", "short" } } },
        { "an id that is not text ends the list",
          container("RIFF", { { "LIST", "INFO" + item("IART", "Ann") + item(std::string("I\0\x01Z", 4), "?")
                                            + item("INAM", "lost") } }),
          true, { { "IART", "Ann" } } },
        { "RF64 with the data size in ds64",
          container("RF64", { { "ds64", ds64(4) }, { "data", "wxyz", 0xffffffff }, { "LIST", "INFO" + item("ICRD", "2024") } }),
          true, { { "ICRD", "2024" } } },
        { "a list of another type", container("RIFF", { { "LIST", "adtl" + item("IART", "no") } }), false, {} },
        { "not a RIFF file", "not a wave file at all", false, {} },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        juce::MemoryInputStream in(c.bytes.data(), c.bytes.size(), false);
        bool foundInfo = !c.foundInfo;
        const auto items = InfoItems::read(in, foundInfo);
        EXPECT_EQ(foundInfo, c.foundInfo);
        std::vector<std::pair<std::string, std::string>> got;
        for (const auto& i : items)
            got.emplace_back(i.id.toStdString(), i.text.toStdString());
        EXPECT_EQ(got, (std::vector<std::pair<std::string, std::string>>(c.expected.begin(), c.expected.end())));
    }
}

// Correcting keeps what the reader found elsewhere (an axml ISRC, broadcast
// fields), replaces misread INFO values and drops INFO keys the file lacks.
TEST(InfoItems, CorrectingReplacesOnlyInfoValues)
{
    const auto file = juce::File::createTempFile(".wav");
    const auto bytes = container("RIFF", { { "LIST", "INFO" + item("IART", "Ann") } });
    ASSERT_TRUE(file.replaceWithData(bytes.data(), bytes.size()));

    juce::StringPairArray metadata;
    metadata.set("IART", "garbled");
    metadata.set("ICMT", "misread");
    metadata.set("ISRC", "USS1Z9900001");
    metadata.set("bwav description", "kept");
    InfoItems::correct(metadata, file);
    file.deleteFile();

    EXPECT_EQ(metadata.getValue("IART", {}), "Ann");
    EXPECT_FALSE(metadata.containsKey("ICMT"));
    EXPECT_EQ(metadata.getValue("ISRC", {}), "USS1Z9900001");
    EXPECT_EQ(metadata.getValue("bwav description", {}), "kept");
    EXPECT_EQ(metadata.size(), 3);
}
