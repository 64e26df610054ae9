// Damaged and hostile archives: every one must end in an archive error, a stream read error,
// a rebuilt directory or a failed item, and an item that does extract must give bytes that
// really were in the archive.
#include "ArchiveFixture.h"
#include "ZipWriter.h"
#include "archive/ZAConst.h"
#include "platform/CodePages.h"
#include "runtime/Exception.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

using namespace test;

namespace {

struct ReadItem {
    std::string name;
    bool folder = false;
    std::optional<std::string> data; // empty when the item failed
};

struct Reading {
    bool opened = false;
    std::vector<ReadItem> items;
};

// Opens, walks every item and extracts it. Archive errors and the stream read error are the
// expected outcomes; anything else escapes and fails the test.
Reading ReadHostile(const std::string& bytes, bool rebuild, bool corrupted = false) {
    Reading reading;
    TReadMemoryStream stream;
    stream.AttachMemory(bytes.data(), static_cast<int64_t>(bytes.size()));
    TZipArchiver archiver(nullptr);
    archiver.RebuildDirOnError = rebuild;
    archiver.ExtractCorruptedFiles = corrupted;
    try {
        archiver.OpenArchive(stream, false);
    } catch (const EZAException&) {
        return reading;
    } catch (const EReadError&) {
        return reading;
    }
    reading.opened = true;
    TZAArchiveItem item;
    for (bool found = archiver.FindFirst("*.*", item, za::kAllItemsAttr); found;
         found = archiver.FindNext(item)) {
        ReadItem read{platform::WideToAnsi(item.StoredPath + item.FileName),
                      (item.ExternalFileAttributes & za::faDirectory) != 0};
        try {
            read.data = archiver.ExtractToString(read.name);
        } catch (const EZAException&) {
        }
        reading.items.push_back(std::move(read));
    }
    return reading;
}

const std::vector<Entry>& SmallEntries() {
    static const std::vector<Entry> entries = {
        Entry{.name = "docs/readme.txt", .data = std::string(400, 'r') + "end of readme"},
        Folder("docs/sub/"),
        Entry{.name = "docs/sub/table.bin", .data = "0123456789abcdef", .method = 0},
        Entry{.name = "empty.txt", .data = ""}};
    return entries;
}

const std::string& SmallArchive() {
    static const std::string bytes = BuildZip(SmallEntries(), Layout{.comment = "comment"});
    return bytes;
}

// What an item that extracts may give: contents that are in the archive, or nothing for a
// folder.
void ExpectOnlyRealContents(const Reading& reading, const std::string& context) {
    for (const ReadItem& item : reading.items) {
        if (!item.data || (item.folder && item.data->empty()))
            continue;
        bool known = false;
        for (const Entry& e : SmallEntries())
            known = known || *item.data == e.data;
        EXPECT_TRUE(known) << context << ": " << item.name << " gave " << item.data->size()
                           << " bytes that no item holds";
    }
}

size_t CentralDirectoryStart(const std::string& bytes) {
    return bytes.find("PK\1\2");
}

// Points the central header of item `index` at another offset.
std::string WithLocalOffset(std::string bytes, int index, uint32_t offset) {
    size_t header = CentralDirectoryStart(bytes);
    for (int i = 0; i < index; ++i)
        header = bytes.find("PK\1\2", header + 4);
    std::string field;
    Put32(field, offset);
    bytes.replace(header + 42, 4, field);
    return bytes;
}

} // namespace

TEST(MalformedArchives, EveryTruncation) {
    const std::string& whole = SmallArchive();
    const size_t centralStart = CentralDirectoryStart(whole);
    for (size_t length = 0; length < whole.size(); ++length) {
        const std::string cut = whole.substr(0, length);
        const std::string context = "cut at " + std::to_string(length);
        ExpectOnlyRealContents(ReadHostile(cut, false), context);
        const Reading rebuilt = ReadHostile(cut, true);
        ExpectOnlyRealContents(rebuilt, context);
        if (length < centralStart)
            continue;
        // All data is still there: the rebuild finds every item whole.
        ASSERT_TRUE(rebuilt.opened) << context;
        ASSERT_EQ(rebuilt.items.size(), SmallEntries().size()) << context;
        for (const ReadItem& item : rebuilt.items)
            EXPECT_TRUE(item.data.has_value()) << context << ": " << item.name;
    }
}

TEST(MalformedArchives, EverySingleByteCorruption) {
    const std::string& whole = SmallArchive();
    for (size_t at = 0; at < whole.size(); ++at)
        for (const int change : {0x00, 0xFF, 0x80, 0x01}) {
            std::string damaged = whole;
            damaged[at] =
                static_cast<char>(change == 0x80 || change == 0x01 ? damaged[at] ^ change : change);
            const std::string context =
                "byte " + std::to_string(at) + " set with " + std::to_string(change);
            for (const bool rebuild : {false, true}) {
                ExpectOnlyRealContents(ReadHostile(damaged, rebuild), context);
                ReadHostile(damaged, rebuild, true); // anything may come out, but no fault
            }
        }
}

TEST(MalformedArchives, OverlappingItemsAreEachBoundedByTheirOwnHeaders) {
    // The second and third central headers point at the first item's local header: the
    // bytes there are the first item's, which the others' CRCs reject.
    const uint32_t first = 0;
    std::string bytes = WithLocalOffset(SmallArchive(), 2, first);
    bytes = WithLocalOffset(bytes, 3, first);
    const Reading reading = ReadHostile(bytes, false);
    ASSERT_TRUE(reading.opened);
    ExpectOnlyRealContents(reading, "overlap");
    EXPECT_EQ(reading.items[0].data, SmallEntries()[0].data);
    EXPECT_FALSE(reading.items[2].data.has_value());
    EXPECT_FALSE(reading.items[3].data.has_value());
}

TEST(MalformedArchives, ItemWhoseDataPointsIntoTheCentralDirectory) {
    const std::string& whole = SmallArchive();
    const auto centralStart = static_cast<uint32_t>(CentralDirectoryStart(whole));
    for (const uint32_t offset : {centralStart, centralStart + 10, uint32_t(whole.size() - 4),
                                  uint32_t(whole.size()), 0xFFFFFFF0u}) {
        const Reading reading = ReadHostile(WithLocalOffset(whole, 0, offset), false);
        ASSERT_TRUE(reading.opened) << offset;
        EXPECT_FALSE(reading.items[0].data.has_value()) << offset;
        EXPECT_EQ(reading.items[2].data, SmallEntries()[2].data) << offset;
    }
}

TEST(MalformedArchives, HugeCommentLengths) {
    // The archive comment claims 65535 bytes where 7 are: no end record fits, so the
    // directory is rebuilt whatever the setting.
    const std::string bytes =
        BuildZip(SmallEntries(), Layout{.comment = "comment", .commentLength = 0xFFFF});
    for (const bool rebuild : {false, true}) {
        const Reading rebuilt = ReadHostile(bytes, rebuild);
        ASSERT_TRUE(rebuilt.opened);
        EXPECT_EQ(rebuilt.items.size(), SmallEntries().size());
    }

    // An item comment running past the directory into the end record and beyond.
    std::string itemComment = SmallArchive();
    itemComment[CentralDirectoryStart(itemComment) + 32] = '\xFF';
    itemComment[CentralDirectoryStart(itemComment) + 33] = '\xFF';
    EXPECT_FALSE(ReadHostile(itemComment, false).opened);
    EXPECT_EQ(ReadHostile(itemComment, true).items.size(), SmallEntries().size());
}

TEST(MalformedArchives, LongestAndZeroBearingNames) {
    const std::string longest(65535, 'n');
    const std::string data = "under the longest name";
    OpenArchive archive(BuildZip({Entry{.name = longest, .data = data},
                                  Entry{.name = std::string("cut\0tail", 8), .data = "z"}}));
    EXPECT_EQ(archive.Archiver().ExtractToString(longest), data);
    EXPECT_EQ(archive.Archiver().ExtractToString("cut"), "z");
    const Reading reading = ReadHostile(archive.Bytes(), false);
    ASSERT_EQ(reading.items.size(), 2u);
    EXPECT_EQ(reading.items[0].name, longest);
    EXPECT_EQ(reading.items[0].data, data);
}

TEST(MalformedArchives, Zip64CountsAndOffsetsBeyondTheStreamAreNotTrusted) {
    const std::string whole = BuildZip(SmallEntries(), Layout{.zip64EndRecords = true});
    const size_t record = whole.find("PK\6\6");
    ASSERT_NE(record, std::string::npos);
    const auto patched = [&](size_t field, uint64_t value) {
        std::string bytes = whole, eight;
        Put64(eight, value);
        bytes.replace(record + field, 8, eight);
        return bytes;
    };
    for (const uint64_t huge : {uint64_t(1) << 40, ~uint64_t(0), uint64_t(whole.size())})
        for (const size_t field : {24u, 32u, 40u, 48u}) // counts, directory size and start
            for (const bool rebuild : {false, true}) {
                const Reading reading = ReadHostile(patched(field, huge), rebuild);
                ExpectOnlyRealContents(reading, "field " + std::to_string(field));
                EXPECT_LE(reading.items.size(), SmallEntries().size());
            }
}
