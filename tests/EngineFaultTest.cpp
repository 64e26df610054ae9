// Valid archives that once came back short, wrong or not at all, and inputs that made the
// engine hang or answer for another item.
#include "ArchiveFixture.h"
#include "TestTools.h"
#include "ZipWriter.h"
#include "archive/ZAHashedList.h"
#include "platform/CodePages.h"

#include <gtest/gtest.h>

#include <random>

using namespace test;

namespace {

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

// A memory stream with a stretch it cannot deliver, as a torn file or a failing medium has:
// reads stop short at its start. Reads are counted, so that a search that never ends shows
// as a failure instead of a hang.
class TornStream : public TStream {
public:
    TornStream(std::string bytes, int64_t tornFrom, int64_t tornTo)
        : bytes_(std::move(bytes)), tornFrom_(tornFrom), tornTo_(tornTo) {}

    int64_t Read(void* buffer, int64_t count) override {
        if (++reads_ > kMaxReads)
            throw std::runtime_error("the reads do not end");
        if (position_ < 0 || count <= 0 || (position_ >= tornFrom_ && position_ < tornTo_))
            return 0;
        const int64_t end = position_ < tornFrom_ ? tornFrom_ : Size();
        const int64_t n = std::max<int64_t>(std::min(count, end - position_), 0);
        std::copy_n(bytes_.data() + position_, n, static_cast<char*>(buffer));
        position_ += n;
        return n;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override {
        return position_ = SeekTarget(position_, offset, origin, [this] { return Size(); });
    }
    void SetSize(int64_t) override {}
    int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }

private:
    static constexpr int kMaxReads = 1000000;
    std::string bytes_;
    int64_t tornFrom_, tornTo_;
    int64_t position_ = 0;
    int reads_ = 0;
};

} // namespace

TEST(EngineFaults, SkipAnsweredForAnEarlierItemDoesNotHideAFailure) {
    std::string zip = BuildZip({Entry{.name = "secret", .data = "hidden", .password = "right"},
                                Entry{.name = "unreadable", .data = "its header is gone"}});
    PatchCentral32(zip, 1, 42, 0x7FFFFFF0); // local header far past the end of the stream
    OpenArchive archive(zip, [](TZipArchiver& a) {
        a.OnPassword = [](TZABaseArchiver*, const std::string&, std::string&, bool& skip) {
            skip = true;
        };
    });
    EXPECT_EQ(archive.Archiver().ExtractToString("secret"), "");
    EXPECT_EQ(NativeErrorOf([&] { archive.Archiver().ExtractToString("unreadable"); }), 8);
}

TEST(EngineFaults, CancelAnsweredForAnEarlierExtractionDoesNotHideAFailure) {
    OpenArchive archive(BuildZip({Entry{.name = "long", .data = RandomBytes(100000, 1)},
                                  Entry{.name = "bad crc", .data = "data", .centralCrc = 1}}));
    TZipArchiver& a = archive.Archiver();
    a.ReportProgress = true;
    a.OnFileProgress = [](TZABaseArchiver*, const std::string&, double, TZAProcessOperation,
                          TZAProgressPhase, bool& cancel) { cancel = true; };
    TStringStream cancelled;
    a.ExtractItemToStream(0, cancelled);
    a.OnFileProgress = nullptr;
    EXPECT_EQ(NativeErrorOf([&] { a.ExtractToString("bad crc"); }), 8);
}

TEST(EngineFaults, SearchOverAStreamThatDeliversLessThanItHoldsEnds) {
    // The end record search reads the last 65,600 bytes, out of the torn stretch's way.
    const std::string zip =
        BuildZip({Entry{.name = "a.txt", .data = "first"},
                  Entry{.name = "b.txt", .data = RandomBytes(70000, 5), .method = 0},
                  Entry{.name = "c.txt", .data = "second"}});
    // The stub search starts at the first local header, whose bytes after the second are torn.
    TornStream torn(zip, 2, 20);
    TZipArchiver archiver(nullptr);
    archiver.OpenArchive(torn, false);
    EXPECT_EQ(archiver.DirManager()->Items.Count(), 3);
    EXPECT_EQ(archiver.ExtractToString("c.txt"), "second");
}

TEST(EngineFaults, SaturatedZip64SizesAreCountedWhole) {
    const std::string data = RandomBytes(5000, 2);
    OpenArchive archive(BuildZip({Entry{.name = "a", .data = data, .zip64 = true},
                                  Entry{.name = "b", .data = data, .method = 0, .zip64 = true}},
                                 {.zip64EndRecords = true}),
                        [](TZipArchiver& a) { a.RebuildDirOnError = false; });
    EXPECT_EQ(archive.Archiver().ExtractToString("a"), data);
    EXPECT_EQ(archive.Archiver().ExtractToString("b"), data);
}

TEST(EngineFaults, NameTooLongForAMaskIsNotFound) {
    const std::string name(300, 'n');
    OpenArchive archive(BuildZip(
        {Entry{.name = "short", .data = "x"}, Entry{.name = "long/" + name, .data = "long name"}}));
    EXPECT_EQ(NativeErrorOf([&] { archive.Archiver().ExtractToString(name); }), 15);
    EXPECT_EQ(NativeErrorOf([&] { archive.Archiver().ExtractToString("dir\\" + name); }), 15);
    EXPECT_EQ(archive.Archiver().ExtractToString("long\\" + name), "long name");
}

// Names that differ in case alone: every item stays with its own contents, and a name
// looked up in any case finds the later twin.
struct CaseTwins {
    std::vector<Entry> entries;
    std::vector<std::pair<std::string, std::string>> found; // a name looked up, its contents
};

TEST(EngineFaults, CaseTwinsKeepTheirOwnContents) {
    const CaseTwins rows[] = {
        {{{.name = "A.txt", .data = "upper"},
          {.name = "a.txt", .data = "lower"},
          {.name = "B.txt", .data = "only"}},
         {{"A.txt", "upper"}, {"a.txt", "lower"}, {"b.TXT", "only"}, {"A.TXT", "lower"}}},
        {{{.name = "Readme.TXT", .data = "first"}, {.name = "README.txt", .data = "second"}},
         {{"readme.txt", "second"}}},
    };
    for (const CaseTwins& row : rows) {
        SCOPED_TRACE(row.entries[0].name);
        const std::string zip = BuildZip(row.entries);
        OpenArchive archive(zip);
        EXPECT_EQ(archive.Items().Count(), static_cast<int32_t>(row.entries.size()));
        for (const auto& [name, contents] : row.found)
            EXPECT_EQ(archive.Archiver().ExtractToString(name), contents) << name;
        TUnZip unzip;
        unzip.LoadFromString(zip, false);
        ASSERT_EQ(unzip.Count(), static_cast<int32_t>(row.entries.size()));
        std::string name, contents;
        unzip.GetEntry(0, name, contents);
        EXPECT_EQ(contents, row.entries[0].data);
    }
}

// File items whose stored names end in "/" are missed by the name index as the facade asks
// for them; they must still come back, each with its own bytes.
TEST(EngineFaults, FileItemsNamedLikeFoldersThroughTheFacade) {
    std::vector<Entry> entries;
    for (int i = 0; i < 50; ++i)
        entries.push_back(Entry{.name = "dir/item" + std::to_string(i) + "/",
                                .data = "contents " + std::to_string(i)});
    TUnZip unzip;
    unzip.LoadFromString(BuildZip(entries), false);
    ASSERT_EQ(unzip.Count(), 50);
    for (int i = 0; i < 50; ++i) {
        std::string name, contents;
        unzip.GetEntry(i, name, contents);
        EXPECT_EQ(name, "dir\\item" + std::to_string(i));
        EXPECT_EQ(contents, entries[static_cast<size_t>(i)].data);
    }
}

TEST(EngineFaults, ReopeningOverTheArchiversOwnStream) {
    TempDir dir;
    WriteFile(dir / "a.zip", BuildZip({Entry{.name = "a.txt", .data = "kept alive"}}));
    TZipArchiver archiver(nullptr);
    archiver.FileName = (dir / "a.zip").string();
    archiver.OpenArchive();
    archiver.OpenArchive(*archiver.ArchiveStream(), false);
    EXPECT_EQ(archiver.ExtractToString("a.txt"), "kept alive");
}

TEST(EngineFaults, FailedFileOpenLeavesNoDirectoryBehind) {
    TempDir dir;
    WriteFile(dir / "plain.txt", "no archive at all");
    TZipArchiver archiver(nullptr);
    archiver.FileName = (dir / "plain.txt").string();
    archiver.RebuildDirOnError = false;
    EXPECT_EQ(NativeErrorOf([&] { archiver.OpenArchive(); }), 48);
    EXPECT_EQ(archiver.DirManager(), nullptr);
    EXPECT_EQ(archiver.ArchiveStream(), nullptr);
}

// Claims near 2^64 must not wrap the sum of the sizes round to something the stream holds.
TEST(EngineFaults, SizeSumThatWouldWrapIsRefused) {
    std::string extra;
    Put16(extra, 0x0001);
    Put16(extra, 16);
    Put64(extra, 1);
    Put64(extra, ~uint64_t{0});
    Entry liar{.name = "a",
               .data = "x",
               .method = 0,
               .centralExtra = extra,
               .centralCompressed = 0xFFFFFFFF,
               .centralUncompressed = 0xFFFFFFFF};
    Entry twin = liar;
    twin.name = "b";
    const std::string zip = BuildZip({liar, twin, Entry{.name = "c", .data = "x", .method = 0}});
    EXPECT_EQ(NativeErrorOf([&] {
                  OpenArchive archive(zip, [](TZipArchiver& a) { a.RebuildDirOnError = false; });
              }),
              57);
}

// A block whose zlib header asks for a preset dictionary that no one has.
TEST(EngineFaults, BlockNeedingAPresetDictionaryFails) {
    std::string blocks(50, '\0');
    blocks.replace(0, 4, std::string("\x10\x00\x00\x00", 4));  // block size
    blocks.replace(8, 4, std::string("\x10\x00\x00\x00", 4));  // total size
    blocks.replace(16, 4, std::string("\x01\x00\x00\x00", 4)); // one block
    blocks[21] = 1;                                            // compressed
    blocks.replace(22, 2, "\xFF\xFF");                         // not encrypted
    const std::string block = std::string("\x78\x20\x01\x02\x03\x04", 6) + "more bytes";
    Put32(blocks, static_cast<uint32_t>(block.size()));
    blocks += block;
    OpenArchive archive(BuildZip(
        {Entry{.name = "dict", .data = std::string(16, 'd'), .method = 99, .payload = blocks}}));
    EXPECT_EQ(NativeErrorOf([&] { archive.Archiver().ExtractToString("dict"); }), 8);
}

TEST(EngineFaults, HashTableOfNoBuckets) {
    TZAStringHash hash(0);
    hash.Add("key", 7);
    EXPECT_EQ(hash.ValueOf("key"), 7);
}

// A header that claims far more than its bytes can be: on a 32-bit system reserving the
// claim up front threw std::bad_alloc out of the extraction instead of failing the item.
TEST(EngineFaults, ClaimedSizeBeyondTheBytesFailsTheItem) {
    const std::string data = RandomBytes(4 << 20, 3);
    OpenArchive archive(
        BuildZip({Entry{.name = "liar", .data = data, .centralUncompressed = 0xF0000000u}}));
    EXPECT_EQ(NativeErrorOf([&] { archive.Archiver().ExtractToString("liar"); }), 8);
    archive.Archiver().ExtractCorruptedFiles = true;
    EXPECT_EQ(archive.Archiver().ExtractToString("liar"), data);
    // A Zip64 claim of a terabyte over 48 MiB of data, which deflate's utmost ratio would
    // let become 50 GB: more than this machine's memory, 64-bit or not.
    std::string extra;
    Put16(extra, 0x0001);
    Put16(extra, 8);
    Put64(extra, uint64_t{1} << 40);
    const std::string more = RandomBytes(48 << 20, 6);
    OpenArchive zip64(BuildZip({Entry{.name = "liar",
                                      .data = more,
                                      .level = 1,
                                      .centralExtra = extra,
                                      .centralUncompressed = 0xFFFFFFFF}}));
    EXPECT_EQ(NativeErrorOf([&] { zip64.Archiver().ExtractToString("liar"); }), 8);
}

// Items that claim 1 MiB but hold a 2-byte stream (an empty final block): room is made only
// for what two bytes can become, and a failed result gives even that back. The facade keeps
// every result, so each room kept once made a small archive take gigabytes.
TEST(EngineFaults, ShortStreamClaimingMuchKeepsNoRoom) {
    const Entry liar{
        .name = "liar", .payload = std::string("\x03\x00", 2), .centralUncompressed = 1 << 20};
    OpenArchive archive(BuildZip({liar, liar}),
                        [](TZipArchiver& a) { a.ExtractCorruptedFiles = true; });
    const std::string result = archive.Archiver().ExtractItemToString(0);
    EXPECT_EQ(result, "");
    EXPECT_LT(result.capacity(), 64u);
    // A claim its bytes cannot honestly make gets no room before output comes.
    EXPECT_EQ(archive.Archiver().ExtractionReserve(1), 0);
    TStringStream output;
    output.Reserve(archive.Archiver().ExtractionReserve(1));
    archive.Archiver().ExtractItemToStream(1, output);
    EXPECT_LE(output.Capacity(), 2 * 1032 + 1);
    // Output that really comes grows its room, but never past what the data can become.
    OpenArchive zeros(
        BuildZip({Entry{
            .name = "zeros", .data = std::string(4 << 20, '\0'), .centralUncompressed = 1 << 30}}),
        [](TZipArchiver& a) { a.ExtractCorruptedFiles = true; });
    TStringStream grown;
    grown.Reserve(zeros.Archiver().ExtractionReserve(0));
    zeros.Archiver().ExtractItemToStream(0, grown);
    EXPECT_EQ(grown.Size(), 4 << 20);
    EXPECT_LE(grown.Capacity(), zeros.Item(0).FullCompressedSize() * 1032 + 1);
}

// The size check after decoding: the CRC alone does not tell an item one byte short.
class DeclaredOneByteMore : public ::testing::TestWithParam<uint16_t> {};

TEST_P(DeclaredOneByteMore, FailsTheItem) {
    const std::string data = RandomBytes(3000, 4);
    OpenArchive archive(BuildZip(
        {Entry{.name = "short", .data = data, .method = GetParam(), .centralUncompressed = 3001}}));
    EXPECT_EQ(NativeErrorOf([&] { archive.Archiver().ExtractToString("short"); }), 8);
}

INSTANTIATE_TEST_SUITE_P(Methods, DeclaredOneByteMore, ::testing::Values(0, 8));

// Signature searches read blocks that overlap by three bytes, so that a header straddling a
// block edge is found. The position is where a local header starts.
class HeaderAtABlockEdge : public ::testing::TestWithParam<int> {};

// The rebuild reads 65,535-byte blocks from the start of the stream.
TEST_P(HeaderAtABlockEdge, RebuildFindsTheSecondItem) {
    const std::string name = "first";
    const int position = 65535 - GetParam();
    const std::string filler(static_cast<size_t>(position - 30) - name.size(), 'f');
    const std::string zip = BuildZip(
        {Entry{.name = name, .data = filler, .method = 0}, Entry{.name = "second", .data = "2nd"}},
        {.commentLength = 1}); // no end record is accepted: the directory is rebuilt
    ASSERT_EQ(zip.find("PK\x03\x04", 4), static_cast<size_t>(position));
    OpenArchive archive(zip);
    ASSERT_EQ(archive.Items().Count(), 2);
    EXPECT_EQ(archive.Archiver().ExtractToString("second"), "2nd");
}

// The search goes on four bytes after each header it looks at, there a header right behind
// data that ends like a signature starts.
TEST(SignatureSearch, RebuildFindsAHeaderRightBehindSignatureBytes) {
    const std::string zip =
        BuildZip({Entry{.name = "first", .data = "data PK\x03\x04", .method = 0},
                  Entry{.name = "second", .data = "2nd"}},
                 {.commentLength = 1});
    OpenArchive archive(zip);
    EXPECT_EQ(archive.Archiver().ExtractToString("second"), "2nd");
}

// Stub detection reads 10,000-byte blocks from the first item's stated offset, 0, where the
// end record's directory offset disagrees with the items' about the stub.
TEST_P(HeaderAtABlockEdge, StubDetectionFindsTheFirstItem) {
    const std::string stub(static_cast<size_t>(10000 - GetParam()), 'S');
    const std::string zip = BuildZip(
        {Entry{.name = "a.txt", .data = "behind a stub"}, Entry{.name = "b.txt", .data = "also"}},
        {.stub = stub, .directoryOffsetIncludesStub = true});
    OpenArchive archive(zip);
    EXPECT_EQ(archive.Dir().StubSize, static_cast<int64_t>(stub.size()));
    EXPECT_EQ(archive.Archiver().ExtractToString("a.txt"), "behind a stub");
}

INSTANTIATE_TEST_SUITE_P(BytesBeforeTheEdge, HeaderAtABlockEdge, ::testing::Range(1, 8));

// The rebuild takes local headers with names of up to 260 bytes.
class RebuiltNameLength : public ::testing::TestWithParam<size_t> {};

TEST_P(RebuiltNameLength, ListedUpTo260) {
    const std::string name(GetParam(), 'n');
    OpenArchive archive(BuildZip({Entry{.name = name, .data = "named"}}, {.commentLength = 1}));
    if (GetParam() <= 260) {
        ASSERT_EQ(archive.Items().Count(), 1);
        EXPECT_EQ(platform::WideToAnsi(archive.Item(0).FileName), name);
    } else {
        EXPECT_EQ(archive.Items().Count(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, RebuiltNameLength, ::testing::Values(1, 259, 260, 261));
