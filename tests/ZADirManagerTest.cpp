#include "ArchiveFixture.h"
#include "ZipWriter.h"
#include "platform/CodePages.h"
#include "runtime/Cp1251Literal.h"

#include <gtest/gtest.h>

using namespace test;

namespace {

std::vector<Entry> ThreeFiles() {
    Entry a{.name = "a.txt", .data = "alpha alpha alpha"};
    Entry b{.name = "dir/b.bin", .data = std::string(3000, 'b'), .method = 0};
    Entry c{.name = "dir/c.txt", .data = "gamma", .comment = "item comment"};
    return {a, Folder("dir/"), b, c};
}

std::u16string NameOf(OpenArchive& archive, int i) {
    return archive.Item(i).FileName;
}

// A local header of no name that claims data of the size given.
std::string LocalHeaderClaiming(uint32_t compressedSize) {
    std::string header;
    Put32(header, 0x04034B50);
    header += std::string(14, '\0');
    Put32(header, compressedSize);
    header += std::string(8, '\0');
    return header;
}

} // namespace

TEST(CentralDirectory, ReadsEveryHeaderField) {
    Entry e{.name = "x/y.dat",
            .data = "payload",
            .externalAttributes = 0x81A40021,
            .internalAttributes = 0x0001,
            .diskNumberStart = 0x0203,
            .versionMadeBy = 63,
            .versionNeeded = 45,
            .modTime = 0x1234,
            .modDate = 0x5678,
            .comment = "note"};
    e.centralExtra = std::string("\x0A\x00\x04\x00"
                                 "abcd",
                                 8);
    OpenArchive archive(BuildZip({e}, {.comment = "archive comment"}));
    ASSERT_EQ(archive.Items().Count(), 1);
    const TDirItem& item = archive.Item(0);
    EXPECT_EQ(item.Signature, 0x02014B50u);
    EXPECT_EQ(item.VersionMadeBy, 63);
    EXPECT_EQ(item.VersionNeeded, 45);
    EXPECT_EQ(item.Flags, 0);
    EXPECT_EQ(item.CompressionMethod, 8);
    EXPECT_EQ(item.ModTime, 0x1234);
    EXPECT_EQ(item.ModDate, 0x5678);
    EXPECT_EQ(item.Crc32, Crc32Of("payload"));
    EXPECT_EQ(item.CompressedSize, RawDeflate("payload", 6).size());
    EXPECT_EQ(item.UncompressedSize, 7u);
    EXPECT_EQ(item.FileNameLength, 7);
    EXPECT_EQ(item.ExtraFieldLength, 8);
    EXPECT_EQ(item.CommentLength, 4);
    EXPECT_EQ(item.DiskNumberStart, 0x0203);
    EXPECT_EQ(item.InternalAttributes, 0x0001);
    EXPECT_EQ(item.ExternalAttributes, 0x81A40021u);
    EXPECT_EQ(item.LocalHeaderOffset, 0u);
    EXPECT_EQ(item.FileName, u"x/y.dat");
    EXPECT_EQ(item.Comment, "note");
    ASSERT_EQ(item.Extras.size(), 1u);
    EXPECT_EQ(item.Extras[0].HeaderId, 0x000A);
    EXPECT_EQ(item.Extras[0].Data, "abcd");
    EXPECT_FALSE(item.HasZip64Extra);
    EXPECT_EQ(archive.Dir().ArchiveComment, "archive comment");
    EXPECT_EQ(archive.Dir().CentralDirStart,
              static_cast<int64_t>(archive.Bytes().find("PK\x01\x02")));
    EXPECT_FALSE(archive.Dir().IsZip64);
}

TEST(CentralDirectory, CommentWithAFalseEndSignature) {
    const std::string fake = std::string("PK\x05\x06", 4) + std::string(18, '\0');
    OpenArchive archive(BuildZip(ThreeFiles(), {.comment = "before " + fake + " after"}));
    EXPECT_EQ(archive.Items().Count(), 4);
    EXPECT_EQ(archive.Item(3).Comment, "item comment"); // read from the real directory
    EXPECT_EQ(archive.Dir().ArchiveComment, "before " + fake + " after");
}

// Bytes after the archive, as a padded download has them: the end record nearest the end whose
// comment fits before them is the archive's.
TEST(CentralDirectory, BytesAfterTheEndRecordLeaveTheDirectoryRead) {
    OpenArchive archive(BuildZip(ThreeFiles(), {.comment = "note", .trailing = "!\n"}));
    ASSERT_EQ(archive.Items().Count(), 4);
    EXPECT_EQ(archive.Item(3).Comment, "item comment");
    EXPECT_EQ(archive.Dir().ArchiveComment, "note");
    EXPECT_EQ(archive.Dir().CentralDirStart,
              static_cast<int64_t>(archive.Bytes().find("PK\x01\x02")));
}

TEST(CentralDirectory, EndRecordCutShortRebuildsFromLocalHeaders) {
    const std::string whole = BuildZip(ThreeFiles());
    OpenArchive archive(whole.substr(0, whole.size() - 1));
    ASSERT_EQ(archive.Items().Count(), 4);
    EXPECT_EQ(NameOf(archive, 1), u"dir/");
    EXPECT_EQ(archive.Item(1).ExternalAttributes, 0x10u); // empty and no descriptor: a folder
    EXPECT_EQ(archive.Item(2).ExternalAttributes, 0x20u);
    EXPECT_TRUE(archive.Item(3).Comment.empty());
    EXPECT_EQ(archive.Dir().CentralDirStart, static_cast<int64_t>(archive.Bytes().size()));
    EXPECT_EQ(archive.Archiver().ExtractToString("dir/c.txt"), "gamma");
}

TEST(CentralDirectory, WrongCommentLengthRebuildsWithRebuildOnAndFailsOpenWithoutSignatures) {
    OpenArchive rebuilt(BuildZip(ThreeFiles(), {.comment = "abc", .commentLength = 4}));
    EXPECT_EQ(rebuilt.Items().Count(), 4);

    TZipArchiver archiver(nullptr);
    TStringStream junk(std::string(100, 'x'));
    EXPECT_EQ(NativeErrorOf([&] { archiver.OpenArchive(junk, false); }), 35);
    EXPECT_FALSE(archiver.IsOpen());
    TStringStream tiny("PK");
    EXPECT_EQ(NativeErrorOf([&] { archiver.OpenArchive(tiny, false); }), 35);
}

TEST(CentralDirectory, EmptyArchiveOfOnlyAnEndRecord) {
    OpenArchive archive(BuildZip({}));
    EXPECT_EQ(archive.Bytes().size(), 22u);
    EXPECT_EQ(archive.Items().Count(), 0);
    EXPECT_EQ(archive.Dir().StubSize, 0);
    EXPECT_EQ(archive.Archiver().FileCount(), 0);
}

TEST(CentralDirectory, StubWithRelativeOffsetsIsAddedToFileItems) {
    const std::string plain = BuildZip(ThreeFiles());
    // The stub holds a copy of the first local header that differs in its uncompressed size
    // alone: it is looked at and passed over.
    std::string decoy = plain.substr(0, 30 + 5);
    decoy[22] = static_cast<char>(decoy[22] + 1);
    std::string stub = "MZ" + decoy;
    stub.resize(777, 'S');
    OpenArchive archive(BuildZip(ThreeFiles(), {.stub = stub}));
    EXPECT_EQ(archive.Dir().StubSize, 777);
    OpenArchive reference(plain);
    EXPECT_EQ(archive.Item(0).LocalHeaderOffset, reference.Item(0).LocalHeaderOffset + 777);
    EXPECT_EQ(archive.Item(1).LocalHeaderOffset, reference.Item(1).LocalHeaderOffset); // folder
    EXPECT_EQ(archive.Item(2).LocalHeaderOffset, reference.Item(2).LocalHeaderOffset + 777);
    EXPECT_EQ(archive.Archiver().ExtractToString("dir/b.bin"), std::string(3000, 'b'));
}

TEST(CentralDirectory, Zip64RecordsAndFullExtra) {
    std::vector<Entry> entries = ThreeFiles();
    for (Entry& e : entries)
        e.zip64 = true;
    OpenArchive archive(BuildZip(entries, {.zip64EndRecords = true}));
    ASSERT_TRUE(archive.Dir().IsZip64);
    ASSERT_EQ(archive.Items().Count(), 4);
    const TDirItem& b = archive.Item(2);
    EXPECT_TRUE(b.HasZip64Extra);
    EXPECT_EQ(b.UncompressedSize, 0xFFFFFFFFu);
    EXPECT_EQ(b.UncompressedSize64, 3000u);
    EXPECT_EQ(b.CompressedSize64, 3000u);
    const size_t folderHeader = archive.Bytes().find("PK\x03\x04", 4);
    EXPECT_EQ(b.LocalHeaderOffset64, archive.Bytes().find("PK\x03\x04", folderHeader + 4));
    EXPECT_EQ(archive.Archiver().ExtractToString("dir/b.bin"), std::string(3000, 'b'));
    EXPECT_EQ(archive.Archiver().ExtractToString("a.txt"), "alpha alpha alpha");
    EXPECT_EQ(archive.Archiver().FileCount(), 3);
}

TEST(CentralDirectory, PartialZip64ExtraTakesOnlyWhatIsThere) {
    Entry e{.name = "big", .data = "0123456789"};
    e.centralUncompressed = 0xFFFFFFFF;
    std::string extra;
    Put16(extra, 0x0001);
    Put16(extra, 8);
    Put64(extra, 10);
    e.centralExtra = extra;
    OpenArchive archive(BuildZip({e}));
    const TDirItem& item = archive.Item(0);
    EXPECT_TRUE(item.HasZip64Extra);
    EXPECT_EQ(item.UncompressedSize64, 10u);
    EXPECT_EQ(item.CompressedSize64, 0u);
    EXPECT_EQ(archive.Archiver().ExtractToString("big"), "0123456789");

    Entry cut{.name = "cut", .data = "x"};
    cut.centralUncompressed = 0xFFFFFFFF;
    cut.centralCompressed = 0xFFFFFFFF;
    std::string shortExtra;
    Put16(shortExtra, 0x0001);
    Put16(shortExtra, 12);
    Put64(shortExtra, 1);
    Put32(shortExtra, 7); // not a whole 8-byte value
    cut.centralExtra = shortExtra;
    OpenArchive partial(BuildZip({cut}));
    EXPECT_EQ(partial.Item(0).UncompressedSize64, 1u);
    EXPECT_EQ(partial.Item(0).CompressedSize64, 0u);
}

TEST(CentralDirectory, Zip64LocatorWithoutItsEndRecordFails) {
    std::string bytes = BuildZip(ThreeFiles(), {.zip64EndRecords = true});
    const size_t record = bytes.rfind(std::string("PK\x06\x06", 4));
    bytes[record + 3] = 'X';
    for (bool rebuild : {true, false}) {
        TZipArchiver archiver(nullptr);
        archiver.RebuildDirOnError = rebuild;
        TStringStream stream(bytes);
        EXPECT_EQ(NativeErrorOf([&] { archiver.OpenArchive(stream, false); }), 40);
        EXPECT_FALSE(archiver.IsOpen());
    }
}

TEST(CentralDirectory, WrongCentralSignaturesAreStillRead) {
    std::vector<Entry> entries = ThreeFiles();
    entries[0].centralSignature = 0x12345678;
    OpenArchive archive(BuildZip(entries));
    EXPECT_EQ(archive.Item(0).Signature, 0x12345678u);
    EXPECT_EQ(archive.Item(3).Comment, "item comment");
}

TEST(CentralDirectory, OemNamesWithCyrillicLetters) {
    const std::string oemName = "CA/\x91\xA5\xE0\xE2.cer"; // "Серт" in CP866
    Entry e{.name = oemName, .data = "der"};
    const std::string bytes = BuildZip({e});
    OpenArchive oem(bytes);
    EXPECT_EQ(oem.Item(0).FileName, u"CA/Серт.cer");
    EXPECT_EQ(oem.Archiver().ExtractToString(CP1251("ca/сЕРТ.CER")), "der");

    OpenArchive ansi(bytes, [](TZipArchiver& a) { a.Options().OEMFileNames = false; });
    EXPECT_EQ(ansi.Item(0).FileName, platform::AnsiToWide(oemName));
}

// Every way a name is decoded cuts it there: OEM or ANSI bytes, UTF-8 by the flag or from a
// Unix host, a Unicode path entry.
TEST(CentralDirectory, NameWithAZeroByteIsCutThere) {
    const std::string utf8 = std::string("добро") + '\0' + "зло";
    std::string unicodePath;
    Put16(unicodePath, 0x7075);
    Put16(unicodePath, static_cast<uint16_t>(5 + utf8.size()));
    unicodePath += '\1';
    Put32(unicodePath, Crc32Of("stored"));
    unicodePath += utf8;
    const struct {
        Entry entry;
        bool oemNames;
        std::u16string expected;
    } cases[] = {
        {{.name = std::string("good\0bad", 8)}, true, u"good"},
        {{.name = std::string("good\0bad", 8)}, false, u"good"},
        {{.name = utf8, .versionMadeBy = 3 << 8 | 20}, true, u"добро"},
        {{.name = utf8, .flags = 0x0800}, true, u"добро"},
        {{.name = "stored", .centralExtra = unicodePath}, true, u"добро"},
    };
    for (const auto& [entry, oemNames, expected] : cases) {
        Entry item = entry;
        item.data = "z";
        OpenArchive archive(BuildZip({item}),
                            [&](TZipArchiver& a) { a.Options().OEMFileNames = oemNames; });
        EXPECT_EQ(archive.Item(0).FileName, expected) << entry.name;
        EXPECT_EQ(archive.Archiver().ExtractItemToString(0), "z");
    }
}

// Without the rebuild a directory that fails to read keeps its announced count, and no item
// keeps what a failed read of its comment left.
TEST(CentralDirectory, FailedReadKeepsTheCountAndNoHalfReadComment) {
    std::string bytes = BuildZip(
        {Entry{.name = "a", .data = "x", .comment = "hello"}, Entry{.name = "b", .data = "y"}});
    const size_t central = bytes.find("PK\x01\x02");
    bytes[central + 32] = '\xFF'; // the comment runs past the end
    bytes[central + 33] = '\xFF';
    TZipArchiver strict(nullptr);
    strict.RebuildDirOnError = false;
    TStringStream stream(bytes);
    EXPECT_ANY_THROW(strict.OpenArchive(stream, false));
    EXPECT_FALSE(strict.IsOpen());
    EXPECT_EQ(strict.DirManager()->Items.Count(), 2);
    EXPECT_EQ(strict.DirManager()->Items.GetItem(0).Comment, "");
    strict.CloseArchive();
    EXPECT_EQ(strict.DirManager(), nullptr);
}

TEST(CentralDirectory, ExtraEntryThatOverrunsIsCut) {
    Entry e{.name = "e", .data = "data", .comment = "C!"};
    std::string extra;
    Put16(extra, 0x7777);
    Put16(extra, 100); // claims far more than the field holds
    extra += "xyz";
    e.centralExtra = extra;
    OpenArchive archive(BuildZip({e}));
    const TDirItem& item = archive.Item(0);
    ASSERT_EQ(item.Extras.size(), 1u);
    EXPECT_EQ(item.Extras[0].DataSize, 3);
    EXPECT_EQ(item.Extras[0].Data, "xyz");
    EXPECT_EQ(item.Comment, "C!");
}

TEST(CentralDirectory, ExtraFieldTooShortForAnEntryHeaderGoesOnAtTheComment) {
    Entry e{.name = "e", .data = "data", .comment = "kept"};
    e.centralExtra = std::string("\x0A\x00\x02\x00"
                                 "ab"
                                 "\x01\x02",
                                 8);
    OpenArchive archive(BuildZip({e, Entry{.name = "f", .data = "next"}}));
    EXPECT_EQ(archive.Item(0).Extras.size(), 1u);
    EXPECT_EQ(archive.Item(0).Comment, "kept");
    EXPECT_EQ(archive.Item(1).FileName, u"f");
}

TEST(CentralDirectory, SizeCheckWithoutRebuild) {
    std::vector<Entry> entries = ThreeFiles();
    entries[0].centralCompressed = 0x7FFFFFFF;
    const std::string bytes = BuildZip(entries);
    TZipArchiver strict(nullptr);
    strict.RebuildDirOnError = false;
    TStringStream stream(bytes);
    EXPECT_EQ(NativeErrorOf([&] { strict.OpenArchive(stream, false); }), 57);
    OpenArchive tolerant(bytes);
    EXPECT_EQ(tolerant.Items().Count(), 4);
}

TEST(CentralDirectory, AnnouncedCountBeyondTheStreamAllocatesNothingForIt) {
    std::string bytes = BuildZip(ThreeFiles(), {.totalEntries = 0xFFFE});
    TZipArchiver strict(nullptr);
    strict.RebuildDirOnError = false;
    TStringStream stream(bytes);
    EXPECT_THROW(strict.OpenArchive(stream, false), EReadError);
    EXPECT_LE(strict.DirManager()->Items.Capacity(), 1000);
    OpenArchive rebuilt(bytes);
    EXPECT_EQ(rebuilt.Items().Count(), 4);
}

// A record after the last header that the directory's stated size counts, as a signature
// there: the counted headers are all the items.
TEST(CentralDirectory, RecordAfterTheLastHeaderIsNoItem) {
    std::string bytes = BuildZip(ThreeFiles());
    const size_t end = bytes.rfind("PK\x05\x06");
    std::string record = "PK\x05\x05";
    Put16(record, 60);
    record += std::string(60, 'x');
    bytes.insert(end, record);
    std::string directorySize;
    Put32(directorySize, static_cast<uint32_t>(end - bytes.find("PK\x01\x02") + record.size()));
    bytes.replace(end + record.size() + 12, 4, directorySize);
    OpenArchive archive(bytes);
    ASSERT_EQ(archive.Items().Count(), 4);
    EXPECT_EQ(archive.Item(3).Comment, "item comment");
}

TEST(CentralDirectory, TotalEntriesSaturatedWithoutZip64Rebuilds) {
    OpenArchive archive(BuildZip(ThreeFiles(), {.comment = "lost", .totalEntries = 0xFFFF}));
    EXPECT_EQ(archive.Items().Count(), 4);
    EXPECT_TRUE(archive.Item(3).Comment.empty());
}

TEST(CentralDirectory, RebuildTakesSizesFromDataDescriptors) {
    std::vector<Entry> entries = {
        Entry{.name = "s1", .data = std::string(5000, 'q'), .dataDescriptor = true},
        Entry{.name = "s2", .data = "tail", .dataDescriptor = true}};
    OpenArchive archive(BuildZip(entries, {.commentLength = 1}));
    ASSERT_EQ(archive.Items().Count(), 2);
    EXPECT_EQ(archive.Item(0).UncompressedSize, 5000u);
    EXPECT_EQ(archive.Item(0).Crc32, Crc32Of(std::string(5000, 'q')));
    EXPECT_EQ(archive.Archiver().ExtractToString("s1"), std::string(5000, 'q'));
    EXPECT_EQ(archive.Archiver().ExtractToString("s2"), "tail");
}

// The archive cut off inside the last local header's extra field: the item keeps its name.
TEST(CentralDirectory, RebuildNamesAnItemCutOffInItsExtraField) {
    Entry cut{.name = "cut.txt", .data = "lost"};
    cut.localExtra = std::string(40, 'x');
    const std::string bytes = BuildZip({Entry{.name = "a.txt", .data = "alpha"}, cut});
    const size_t second = bytes.find("PK\x03\x04", 1);
    OpenArchive archive(bytes.substr(0, second + 30 + cut.name.size() + 10));
    ASSERT_EQ(archive.Items().Count(), 2);
    EXPECT_EQ(archive.Item(1).FileName, u"cut.txt");
    EXPECT_EQ(archive.Archiver().ExtractItemToString(0), "alpha");
}

TEST(CentralDirectory, RebuildSkipsHeadersWithHugeSizesOrLongNames) {
    std::string bytes = BuildZip(ThreeFiles(), {.commentLength = 1});
    OpenArchive archive(LocalHeaderClaiming(0xFFFFFFF0) + bytes); // beyond the stream
    EXPECT_EQ(archive.Items().Count(), 4);
}

// Data whose claimed end is no place where a record starts may hide headers: the search goes
// on inside it.
TEST(CentralDirectory, RebuildLooksInsideDataThatEndsWhereNoRecordStarts) {
    const std::string bytes = BuildZip(ThreeFiles(), {.commentLength = 1});
    OpenArchive archive(LocalHeaderClaiming(40) + bytes); // ends inside a.txt's header
    EXPECT_EQ(archive.Items().Count(), 5);
    EXPECT_EQ(archive.Archiver().ExtractToString("a.txt"), "alpha alpha alpha");
}

// A descriptor that lost its signature: the one found next is the next item's, which does not
// end the first item's data, so the search goes on inside it and finds the next item.
TEST(CentralDirectory, RebuildKeepsTheItemAfterADescriptorNotItsOwn) {
    std::string bytes =
        BuildZip({Entry{.name = "s1", .data = std::string(5000, 'q'), .dataDescriptor = true},
                  Entry{.name = "s2", .data = "tail", .dataDescriptor = true}},
                 {.commentLength = 1});
    bytes.replace(bytes.find("PK\x07\x08"), 4, "DDDD");
    OpenArchive archive(bytes);
    ASSERT_EQ(archive.Items().Count(), 2);
    EXPECT_EQ(archive.Archiver().ExtractToString("s2"), "tail");
}
