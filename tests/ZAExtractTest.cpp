#include "ArchiveFixture.h"
#include "ZipWriter.h"
#include "archive/ZALibraryDecoder.h"
#include "archive/ZAOutputRoom.h"
#include "platform/Dialogs.h"

#include <gtest/gtest.h>

#include <random>
#include <zlib.h>

using namespace test;

namespace {

std::string Mixed(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string data;
    while (data.size() < size) {
        if (random() % 2)
            data += "certificate line " + std::to_string(random() % 1000) + "\n";
        else
            for (int i = 0; i < 64; ++i)
                data += static_cast<char>(random());
    }
    data.resize(size);
    return data;
}

std::string ExtractWith(const std::string& bytes, const std::string& name,
                        const std::function<void(TZipArchiver&)>& configure = {}) {
    OpenArchive archive(bytes, configure);
    return archive.Archiver().ExtractToString(name);
}

} // namespace

TEST(Extraction, StoredDeflatedAtEveryLevelAndEmpty) {
    const std::string data = Mixed(300000, 1);
    std::vector<Entry> entries = {Entry{.name = "stored", .data = data, .method = 0},
                                  Entry{.name = "empty", .data = ""},
                                  Entry{.name = "empty-stored", .data = "", .method = 0}};
    for (int level = 0; level <= 9; ++level)
        entries.push_back(
            Entry{.name = "level" + std::to_string(level), .data = data, .level = level});
    OpenArchive archive(BuildZip(entries));
    for (const Entry& e : entries)
        EXPECT_EQ(archive.Archiver().ExtractToString(e.name), e.data) << e.name;
}

TEST(Extraction, LargeItemSpansManyChunks) {
    const std::string data = Mixed(5 << 20, 2) + std::string(3 << 20, 'z');
    OpenArchive archive(BuildZip({Entry{.name = "big", .data = data},
                                  Entry{.name = "big-stored", .data = data, .method = 0}}));
    EXPECT_EQ(archive.Archiver().ExtractToString("big"), data);
    EXPECT_EQ(archive.Archiver().ExtractToString("big-stored"), data);
}

TEST(Extraction, NameLookupThroughIndexAndSearch) {
    OpenArchive archive(BuildZip({Entry{.name = "Dir/Sub/File.TXT", .data = "found"},
                                  Entry{.name = "other.txt", .data = "other"}}));
    TZipArchiver& a = archive.Archiver();
    EXPECT_EQ(a.ExtractToString("dir/sub/file.txt"), "found");
    EXPECT_EQ(a.ExtractToString("Dir\\Sub\\File.TXT"), "found");
    EXPECT_EQ(a.ExtractToString("*.txt"), "other"); // the folder must match: only the root
    EXPECT_EQ(a.ExtractToString("Dir/Sub/*"), "found");
    try {
        a.ExtractToString("missing.bin");
        FAIL();
    } catch (const EZAException& e) {
        EXPECT_EQ(e.NativeError(), 15);
        EXPECT_EQ(e.Message(), "File \"missing.bin\" not found - Native error: 00015");
    }
    EXPECT_TRUE(a.Options().Recurse);
}

TEST(Extraction, CrcAndSizeDamage) {
    const std::string data = Mixed(4000, 3);
    Entry crc{.name = "crc", .data = data};
    crc.centralCrc = Crc32Of(data) ^ 1;
    Entry size{.name = "size", .data = data};
    size.centralUncompressed = 3999;
    const std::string bytes = BuildZip({crc, size});
    EXPECT_EQ(NativeErrorOf([&] { ExtractWith(bytes, "crc"); }), 8);
    EXPECT_EQ(NativeErrorOf([&] { ExtractWith(bytes, "size"); }), 8);
    auto corrupted = [](TZipArchiver& a) { a.ExtractCorruptedFiles = true; };
    EXPECT_EQ(ExtractWith(bytes, "crc", corrupted), data);
    // Never more than the declared size: the chunk that overflows it is not delivered.
    EXPECT_EQ(ExtractWith(bytes, "size", corrupted), "");
}

TEST(Extraction, FlippedDeflateByte) {
    const std::string data = Mixed(20000, 4);
    Entry e{.name = "x", .data = data};
    std::string payload = RawDeflate(data, 6);
    payload[payload.size() / 2] ^= 0x55;
    e.payload = payload;
    const std::string bytes = BuildZip({e});
    EXPECT_EQ(NativeErrorOf([&] { ExtractWith(bytes, "x"); }), 8);
    const std::string got =
        ExtractWith(bytes, "x", [](TZipArchiver& a) { a.ExtractCorruptedFiles = true; });
    EXPECT_TRUE(got.empty() || (got.size() == data.size() && got != data));
}

TEST(Extraction, DecompressionBombIsCutAtTheDeclaredSize) {
    Entry bomb{.name = "bomb", .data = std::string(64 << 20, '\0')};
    bomb.payload = RawDeflate(bomb.data, 9);
    bomb.data = std::string(1000, '\0'); // declared: 1000 bytes
    bomb.centralCrc = Crc32Of(std::string(1000, '\0'));
    const std::string bytes = BuildZip({bomb});
    EXPECT_EQ(NativeErrorOf([&] { ExtractWith(bytes, "bomb"); }), 8);
    EXPECT_EQ(ExtractWith(bytes, "bomb", [](TZipArchiver& a) { a.ExtractCorruptedFiles = true; }),
              "");
}

TEST(Extraction, DataIsBoundedByTheDirectoryStart) {
    Entry e{.name = "a", .data = "0123456789"};
    e.method = 0;
    e.centralCompressed = 5000; // reaches into the directory
    const std::string bytes = BuildZip({e});
    EXPECT_EQ(ExtractWith(bytes, "a"), "0123456789");
    OpenArchive archive(bytes);
    EXPECT_EQ(archive.Dir().CentralDirStart, 30 + 1 + 10);
}

// An item of a method without a decoder is refused by name, whatever ExtractCorruptedFiles
// says, not taken for a damaged one; the block format is taken only where its header is.
TEST(Extraction, UnsupportedMethods) {
    Entry deflate64{.name = "d64", .data = "x", .method = 9};
    deflate64.payload = "raw";
    Entry aes{.name = "m99", .data = "x", .method = 99, .versionNeeded = 10};
    aes.payload = "raw";
    // Data of another method, long enough for a block header that does not agree with it.
    Entry ppmd{.name = "m98", .data = "x", .method = 98, .versionNeeded = 63};
    ppmd.payload = "\x07\x00\x52\x00" + std::string(60, '\x5A');
    Entry unnamed{.name = "m77", .data = "x", .method = 77, .versionNeeded = 20};
    unnamed.payload = "raw";
    const std::string bytes = BuildZip({deflate64, aes, ppmd, unnamed});
    auto corrupted = [](TZipArchiver& a) { a.ExtractCorruptedFiles = true; };
    EXPECT_EQ(NativeErrorOf([&] { ExtractWith(bytes, "d64", corrupted); }), 55);
    EXPECT_EQ(EZAException::Create(55).Message(),
              "Deflate64 compression method is not supported - Native error: 00055");
    const std::pair<const char*, const char*> refused[] = {
        {"m99", "Compression method 99 (AES encryption) is not supported - Native error: 00063"},
        {"m98", "Compression method 98 (PPMd) is not supported - Native error: 00063"},
        {"m77", "Compression method 77 is not supported - Native error: 00063"}};
    for (const auto& [name, message] : refused) {
        try {
            ExtractWith(bytes, name, corrupted);
            ADD_FAILURE() << name << " extracted";
        } catch (const EZAException& e) {
            EXPECT_EQ(e.Message(), message);
        }
    }
}

TEST(Extraction, TraditionalEncryption) {
    const std::string data = Mixed(50000, 5);
    Entry e{.name = "secret.bin", .data = data, .password = "pa55"};
    Entry d{.name = "streamed", .data = data, .password = "pa55", .dataDescriptor = true};
    const std::string bytes = BuildZip({e, d});

    EXPECT_EQ(ExtractWith(bytes, "secret.bin", [](TZipArchiver& a) { a.Password = "pa55"; }), data);
    EXPECT_EQ(ExtractWith(bytes, "streamed", [](TZipArchiver& a) { a.Password = "pa55"; }), data);

    // Wrong password, then the right one from the handler; it stays for later items.
    OpenArchive archive(bytes);
    TZipArchiver& a = archive.Archiver();
    a.Password = "wrong";
    int asked = 0;
    a.OnPassword = [&](TZABaseArchiver*, const std::string& name, std::string& password, bool&) {
        ++asked;
        EXPECT_EQ(name, "secret.bin");
        password = "pa55";
    };
    EXPECT_EQ(a.ExtractToString("secret.bin"), data);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(a.Password, "pa55");

    // Skipped: no error, nothing delivered.
    OpenArchive skipping(bytes);
    skipping.Archiver().OnPassword = [](TZABaseArchiver*, const std::string&, std::string&,
                                        bool& skip) { skip = true; };
    skipping.Archiver().Password = "nope";
    EXPECT_EQ(skipping.Archiver().ExtractToString("secret.bin"), "");
    EXPECT_TRUE(skipping.Archiver().SkipCurrentFile);
}

TEST(Extraction, EncryptedWithoutHandlerOrShellIsSkipped) {
    const std::string bytes = BuildZip({Entry{.name = "s", .data = "data", .password = "pw"}});
    OpenArchive archive(bytes);
    archive.Archiver().Password = "not it"; // may pass the one-byte check by chance: CRC decides
    std::string got;
    const int error = NativeErrorOf([&] { got = archive.Archiver().ExtractToString("s"); });
    EXPECT_TRUE(error == -1 || error == 8);
    EXPECT_EQ(got, "");
}

// What 7-Zip wrote for a.txt ("AES item written by 7-Zip" and a line feed, stored) and b.txt
// ("deflated " 40 times, deflated): 7z a -tzip -pSECRET -mem=AES256 -mtc=off.
const char kSevenZipAes256[] = "\x50\x4b\x03\x04\x33\x00\x01\x00\x63\x00\xb2\xa6\x8a\x5d\x00\x00"
                               "\x00\x00\x36\x00\x00\x00\x1a\x00"
                               "\x00\x00\x05\x00\x0b\x00\x61\x2e\x74\x78\x74\x01\x99\x07\x00\x02"
                               "\x00\x41\x45\x03\x00\x00\x8f\xe2"
                               "\xd7\x38\x61\xeb\x36\x18\xb0\x5e\xf1\x29\x4c\xfe\x27\x46\x04\x5d"
                               "\x39\xf6\x07\x1a\xdc\xf7\xd0\x31"
                               "\xe4\x57\xbd\x6e\x7c\x1f\xf4\x9f\xeb\x56\x16\xda\x1e\xb7\xdc\xae"
                               "\x5d\x2b\xe5\x8b\xe8\xc4\x79\x8a"
                               "\x9b\x61\xc9\x03\x50\x4b\x03\x04\x33\x00\x01\x00\x63\x00\xb2\xa6"
                               "\x8a\x5d\x00\x00\x00\x00\x38\x00"
                               "\x00\x00\x68\x01\x00\x00\x05\x00\x0b\x00\x62\x2e\x74\x78\x74\x01"
                               "\x99\x07\x00\x02\x00\x41\x45\x03"
                               "\x08\x00\xe5\xdd\xe6\x17\x3e\x44\x44\x45\x7f\x7d\x36\xc4\xa4\x83"
                               "\xb0\x24\x28\xfe\xac\x8c\xa5\x12"
                               "\x76\xef\xe7\x94\x53\x68\x99\x26\x36\x3f\xf7\x2e\xd0\x2a\x48\x70"
                               "\x41\xa1\xaa\xdc\x30\x04\xc3\x89"
                               "\x73\xf2\x18\x38\x4c\x58\x70\x30\x56\xaf\x50\x4b\x01\x02\x3f\x03"
                               "\x33\x00\x01\x00\x63\x00\xb2\xa6"
                               "\x8a\x5d\x00\x00\x00\x00\x36\x00\x00\x00\x1a\x00\x00\x00\x05\x00"
                               "\x2f\x00\x00\x00\x00\x00\x00\x00"
                               "\x20\x80\xa4\x81\x00\x00\x00\x00\x61\x2e\x74\x78\x74\x0a\x00\x20"
                               "\x00\x00\x00\x00\x00\x01\x00\x18"
                               "\x00\x6d\xfe\x9d\x85\xe8\x88\xdd\x01\x00\x00\x00\x00\x00\x00\x00"
                               "\x00\x00\x00\x00\x00\x00\x00\x00"
                               "\x00\x01\x99\x07\x00\x02\x00\x41\x45\x03\x00\x00\x50\x4b\x01\x02"
                               "\x3f\x03\x33\x00\x01\x00\x63\x00"
                               "\xb2\xa6\x8a\x5d\x00\x00\x00\x00\x38\x00\x00\x00\x68\x01\x00\x00"
                               "\x05\x00\x2f\x00\x00\x00\x00\x00"
                               "\x00\x00\x20\x80\xa4\x81\x64\x00\x00\x00\x62\x2e\x74\x78\x74\x0a"
                               "\x00\x20\x00\x00\x00\x00\x00\x01"
                               "\x00\x18\x00\x4d\x63\xe5\x85\xe8\x88\xdd\x01\x00\x00\x00\x00\x00"
                               "\x00\x00\x00\x00\x00\x00\x00\x00"
                               "\x00\x00\x00\x01\x99\x07\x00\x02\x00\x41\x45\x03\x08\x00\x50\x4b"
                               "\x05\x06\x00\x00\x00\x00\x02\x00"
                               "\x02\x00\xc4\x00\x00\x00\xca\x00\x00\x00\x00\x00";

// Items encrypted with AES read as 7-Zip extracts them, with the system's own cryptography on
// every system; a wrong password is not accepted.
TEST(Extraction, SevenZipAesItemsRead) {
    OpenArchive archive(std::string(kSevenZipAes256, sizeof kSevenZipAes256 - 1));
    archive.Archiver().Password = "SECRET";
    EXPECT_EQ(archive.Archiver().ExtractToString("a.txt"), "AES item written by 7-Zip\n");
    std::string deflated;
    for (int i = 0; i < 40; ++i)
        deflated += "deflated ";
    EXPECT_EQ(archive.Archiver().ExtractToString("b.txt"), deflated);
    archive.Archiver().OnPassword = [](TZABaseArchiver*, const std::string&, std::string&,
                                       bool& skip) { skip = true; };
    archive.Archiver().Password = "secret";
    EXPECT_EQ(archive.Archiver().ExtractToString("b.txt"), "");
    EXPECT_TRUE(archive.Archiver().SkipCurrentFile);
}

namespace {

// An item in the component's own block format, blocks stored or each a zlib stream.
std::string BlockPayload(const std::string& data, uint32_t blockSize, bool compressed) {
    std::string out;
    Put32(out, blockSize);
    Put32(out, 0);
    Put32(out, static_cast<uint32_t>(data.size()));
    Put32(out, 0);
    const auto blocks = static_cast<uint32_t>((data.size() + blockSize - 1) / blockSize);
    Put32(out, blocks);
    out += '\0';
    out += compressed ? '\1' : '\0';
    Put16(out, 0xFFFF);
    out += std::string(26, '\0');
    for (uint32_t i = 0; i < blocks; ++i) {
        std::string block = data.substr(i * blockSize, blockSize);
        if (compressed) {
            uLongf size = compressBound(static_cast<uLong>(block.size()));
            std::string packed(size, '\0');
            compress(reinterpret_cast<Bytef*>(packed.data()), &size,
                     reinterpret_cast<const Bytef*>(block.data()),
                     static_cast<uLong>(block.size()));
            packed.resize(size);
            block = packed;
        }
        Put32(out, static_cast<uint32_t>(block.size()));
        out += block;
    }
    return out;
}

} // namespace

TEST(Extraction, BlockFormat) {
    const std::string data = Mixed(70000, 6);
    Entry packed{.name = "packed", .data = data, .method = 12, .versionNeeded = 20};
    packed.payload = BlockPayload(data, 16384, true);
    Entry plain{.name = "plain", .data = data, .method = 12, .versionNeeded = 20};
    plain.payload = BlockPayload(data, 30000, false);
    Entry locked{.name = "locked", .data = data, .method = 12, .versionNeeded = 20};
    std::string payload = BlockPayload(data, 30000, false);
    payload[22] = 0;
    payload[23] = 0;
    locked.payload = payload;
    const std::string bytes = BuildZip({packed, plain, locked});
    EXPECT_EQ(ExtractWith(bytes, "packed"), data);
    EXPECT_EQ(ExtractWith(bytes, "plain"), data);
    EXPECT_EQ(NativeErrorOf([&] { ExtractWith(bytes, "locked"); }), 8);
}

TEST(Extraction, ProgressEventsWhenReported) {
    const std::string data = Mixed(3 << 20, 7);
    OpenArchive archive(BuildZip({Entry{.name = "p", .data = data}}));
    TZipArchiver& a = archive.Archiver();
    std::vector<double> seen;
    a.OnFileProgress = [&](TZABaseArchiver*, const std::string&, double progress,
                           TZAProcessOperation, TZAProgressPhase phase, bool& cancel) {
        EXPECT_EQ(phase, ppProcess);
        seen.push_back(progress);
        cancel = seen.size() == 2;
    };
    a.ReportProgress = true;
    a.FilesTotal = 1;
    TStringStream out;
    a.ExtractItemToStream(0, out); // a cancel is no error
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], 0.0);
    EXPECT_TRUE(a.ProgressCancelled);
    EXPECT_LT(out.Size(), static_cast<int64_t>(data.size()));
    EXPECT_EQ(NativeErrorOf([&] { a.ExtractItemToStream(5, out); }), 16);
}

// The chunk an item's data is read in: 1 MiB at most, halved while the output estimated for
// it (for an item that does not shrink, 4 MiB for 1 MiB and 2 MiB for 512 KiB) would take a
// twentieth of the free physical memory or more, and not below 512 bytes.
TEST(Extraction, ChunkHalvedWhileItsOutputWouldTakeATwentiethOfFreeMemory) {
    TDirItem item;
    item.CompressedSize = item.UncompressedSize = 1 << 20;
    struct Row {
        int64_t left;
        uint64_t memory;
        int64_t chunk;
    };
    const Row rows[] = {{1 << 20, (80 << 20) + 20, 1 << 20},
                        {1 << 20, 80 << 20, 512 << 10},
                        {3 << 20, uint64_t{1} << 40, 1 << 20},
                        {1 << 20, 0, 256},
                        {100, 0, 100}};
    for (const Row& row : rows)
        EXPECT_EQ(za::ChunkSize(item, row.left, row.memory), row.chunk)
            << row.left << " bytes left, " << row.memory << " bytes free";
}

// A memory stream's reserve that output outgrew goes at once to the most the item may need
// where that is well within the free memory (its pages come as output fills them), so that no
// copy holds the old block beside the new one; a need beyond the memory doubles.
TEST(Extraction, OutgrownReserveLeapsToTheMostWhereMemoryAllows) {
    EXPECT_EQ(za::ReserveGrown(16 << 10, 32 << 10, (64 << 20) + 1), (64 << 20) + 1);
    EXPECT_EQ(za::ReserveGrown(16 << 10, 64 << 10, 48 << 10), 64u << 10);
    const uint64_t beyondMemory = uint64_t{1} << 60;
    EXPECT_EQ(za::ReserveGrown(16 << 10, 20 << 10, beyondMemory), 32u << 10);
}

// A library decoder whose output came back full as its input ran out: the next call, with
// nothing to give, drained it and is no failure; a call that takes no input it has and gives
// nothing cannot go on; after the stream's end nothing more comes.
TEST(Extraction, LibraryDecoderTellsDrainedFromStuck) {
    class Scripted : public za::TZALibraryDecoder {
    public:
        bool Ready() const override { return true; }
        void SetInput(const void*, size_t length) override { inputLeft_ = length; }
        size_t InputLeft() const override { return inputLeft_; }
        size_t pending = 0; // output the next steps give
        bool takes = true;  // a step takes all input
        bool ends = false;  // the step that gives the last pending byte ends the stream

    protected:
        TStep Step(void*, size_t capacity, size_t& produced) override {
            inputLeft_ = takes ? 0 : inputLeft_;
            produced = std::min(capacity, pending);
            pending -= produced;
            return ends && pending == 0 ? TStep::Ended : TStep::Going;
        }

    private:
        size_t inputLeft_ = 0;
    };
    Scripted decoder;
    unsigned char output[100];
    size_t produced = 0;
    decoder.SetInput(output, 10);
    decoder.pending = 100;
    EXPECT_EQ(decoder.Decode(output, 100, produced), za::TDecodeResult::NeedsOutput);
    EXPECT_EQ(produced, 100u);
    EXPECT_EQ(decoder.Decode(output, 100, produced), za::TDecodeResult::InputUsed);
    EXPECT_EQ(produced, 0u);
    decoder.SetInput(output, 10);
    decoder.takes = false;
    EXPECT_EQ(decoder.Decode(output, 100, produced), za::TDecodeResult::Failed);
    decoder.takes = true;
    decoder.ends = true;
    decoder.pending = 5;
    EXPECT_EQ(decoder.Decode(output, 100, produced), za::TDecodeResult::StreamEnd);
    decoder.pending = 5;
    EXPECT_EQ(decoder.Decode(output, 100, produced), za::TDecodeResult::StreamEnd);
    EXPECT_EQ(produced, 0u);
}

TEST(Extraction, LocalHeaderBeyondTheStreamFailsTheItem) {
    Entry e{.name = "far", .data = "x"};
    std::string bytes = BuildZip({e});
    const size_t central = bytes.find("PK\x01\x02");
    bytes[central + 42] = '\x7F'; // local header offset far beyond the end
    bytes[central + 45] = '\x00';
    OpenArchive archive(bytes, [](TZipArchiver& a) { a.RebuildDirOnError = false; });
    EXPECT_EQ(NativeErrorOf([&] { archive.Archiver().ExtractToString("far"); }), 8);
}
