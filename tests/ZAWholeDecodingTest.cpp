// Damaged items decoded whole where the decoder may, and a chunk at a time: a caller must
// see the same either way, whether the archive lies in memory or in a file.
#include "ArchiveFixture.h"
#include "TestTools.h"
#include "ZipWriter.h"
#include "runtime/Exception.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <tuple>

using namespace test;

namespace {

std::string Text(size_t size) {
    std::string out;
    for (size_t line = 0; out.size() < size; ++line)
        out += std::to_string(line * 7919 % 100003) + " revocation list entry\n";
    out.resize(size);
    return out;
}

const std::string kData = Text(1100000);

struct Damage {
    const char* name;
    std::function<void(Entry&)> apply;
    bool intact = false; // what it leaves is still a sound item
    // unzip reads sizes from the local header, Python checks none: neither sees a lie told
    // only in the central header's size
    bool judged = true;
};

std::string Flipped(std::string bytes) {
    bytes[bytes.size() / 2] ^= 0x55;
    return bytes;
}

const Damage kDamages[] = {
    {"none", [](Entry&) {}, true},
    {"declared one byte short",
     [](Entry& e) { e.centralUncompressed = static_cast<uint32_t>(kData.size() - 1); }},
    {"declared one byte more",
     [](Entry& e) { e.centralUncompressed = static_cast<uint32_t>(kData.size() + 1); }, false,
     false},
    {"wrong CRC", [](Entry& e) { e.centralCrc = Crc32Of(kData) ^ 1; }},
    {"flipped byte", [](Entry& e) { e.payload = Flipped(RawDeflate(kData, 6)); }},
    {"stream cut in half",
     [](Entry& e) {
         const std::string deflated = RawDeflate(kData, 6);
         e.payload = deflated.substr(0, deflated.size() / 2);
     }},
    {"bytes after the stream's end",
     [](Entry& e) { e.payload = RawDeflate(kData, 6) + "trailing bytes"; }, true},
    {"stored", [](Entry& e) { e.method = 0; }, true},
    {"stored, declared one byte short",
     [](Entry& e) {
         e.method = 0;
         e.centralUncompressed = static_cast<uint32_t>(kData.size() - 1);
     }},
    {"stored, compressed size one byte short",
     [](Entry& e) {
         e.method = 0;
         e.centralCompressed = static_cast<uint32_t>(kData.size() - 1);
     }},
    {"stored, wrong CRC",
     [](Entry& e) {
         e.method = 0;
         e.centralCrc = Crc32Of(kData) ^ 1;
     }},
    // The room is the declared size and cleared: a zero after a stream one byte short
    // must not pass for the missing byte.
    {"one byte short, CRC of a zero after it",
     [](Entry& e) {
         e.data.pop_back();
         e.centralUncompressed = static_cast<uint32_t>(kData.size());
         e.centralCrc = Crc32Of(e.data + '\0');
     }},
    {"stored, bytes beyond the declared size",
     [](Entry& e) {
         e.method = 0;
         e.payload = kData + "more";
     }},
};

void PrintTo(const Damage& damage, std::ostream* out) {
    *out << damage.name;
}

} // namespace

namespace test {
void PrintTo(const ExtractionOutcome& o, std::ostream* out) {
    *out << o.bytes.size() << " bytes, error \"" << o.error << "\", " << o.processed
         << " processed";
}
} // namespace test

namespace {

// The item as a string result gets it, into a fresh archiver each time.
ExtractionOutcome Extracted(TStream& archive, bool whole, bool corrupted, int64_t& decodedWhole) {
    TZipArchiver archiver(nullptr);
    archiver.ExtractCorruptedFiles = corrupted;
    archive.SetPosition(0);
    archiver.OpenArchive(archive, false);
    const ExtractionOutcome outcome = ExtractedWithRoom(archiver, 0, whole);
    decodedWhole = archiver.ItemsDecodedWhole;
    return outcome;
}

using Param = std::tuple<Damage, bool /*in a file*/, bool /*corrupted files extracted*/>;

class WholeDecoding : public ::testing::TestWithParam<Param> {};

TEST_P(WholeDecoding, ShowsWhatChunkedDecodingShows) {
    const auto& [damage, inFile, corrupted] = GetParam();
    Entry entry{.name = "list.txt", .data = kData};
    damage.apply(entry);
    const std::string bytes = BuildZip({entry});
    TempDir dir;
    WriteFile(dir / "a.zip", bytes);
    TFileStream file((dir / "a.zip").string(), fmOpenRead);
    TStringStream memory(bytes);
    TStream& archive = inFile ? static_cast<TStream&>(file) : memory;

    if (!inFile && !corrupted && damage.judged) {
        EXPECT_EQ(ToolsReadSound(bytes), damage.intact);
    }
    int64_t decodedWhole = 0, decodedChunked = 0;
    const ExtractionOutcome chunked = Extracted(archive, false, corrupted, decodedChunked);
    EXPECT_EQ(Extracted(archive, true, corrupted, decodedWhole), chunked);
    // The whole decoder's own result stands exactly where the item is sound.
    EXPECT_EQ(decodedWhole, damage.intact ? 1 : 0);
    EXPECT_EQ(decodedChunked, 0);
    if (damage.intact) {
        EXPECT_TRUE(chunked.error.empty() && chunked.bytes == kData);
    } else if (!corrupted) {
        // A damaged item fails, as the outside tools judge it above.
        EXPECT_TRUE(chunked.error.ends_with("Native error: 00008")) << chunked.error;
    }
}

// An item read from a file whose compressed bytes pass what a chunk holds, but stay under a
// tenth of the item: its input is read into a buffer of its own.
TEST(WholeDecoding, LargeItemFromAFileShowsWhatChunkedDecodingShows) {
    // Spaces with a letter in about one place of 25: about 12 to 1.
    std::mt19937 random(5);
    std::string data(16 << 20, ' ');
    for (char& c : data)
        if (random() % 25 == 0)
            c = static_cast<char>('a' + random() % 20);
    const std::string deflated = RawDeflate(data, 6);
    ASSERT_GT(deflated.size(), 1u << 20);
    ASSERT_LT(deflated.size(), data.size() / 10);
    const std::function<void(Entry&)> damages[] = {
        [](Entry&) {}, [&](Entry& e) { e.centralCrc = Crc32Of(data) ^ 1; },
        [&](Entry& e) { e.payload = Flipped(deflated); }};
    for (const auto& damage : damages) {
        Entry entry{.name = "large.txt", .data = data};
        damage(entry);
        TempDir dir;
        WriteFile(dir / "a.zip", BuildZip({entry}));
        TFileStream file((dir / "a.zip").string(), fmOpenRead);
        for (bool corrupted : {false, true}) {
            int64_t decodedWhole = 0, decodedChunked = 0;
            const ExtractionOutcome chunked = Extracted(file, false, corrupted, decodedChunked);
            EXPECT_EQ(Extracted(file, true, corrupted, decodedWhole), chunked);
            EXPECT_EQ(decodedWhole, &damage == damages ? 1 : 0);
        }
    }
}

// Progress events come a chunk at a time, and a cancel answered to one stops the item there:
// an item that may otherwise decode whole keeps to its chunks while events are asked for.
TEST(WholeDecoding, ProgressEventsComeForEveryChunk) {
    std::mt19937 random(7);
    std::string data(5 << 19, '\0'); // two and a half chunks, which deflate cannot shrink
    for (char& c : data)
        c = static_cast<char>(random());
    for (uint16_t method : {0, 8}) {
        SCOPED_TRACE(method);
        OpenArchive archive(BuildZip({Entry{.name = "random", .data = data, .method = method}}));
        TZipArchiver& a = archive.Archiver();
        std::vector<double> shown;
        bool cancel = false;
        a.OnFileProgress = [&](TZABaseArchiver*, const std::string&, double progress,
                               TZAProcessOperation, TZAProgressPhase, bool& cancelled) {
            shown.push_back(progress);
            cancelled = cancel;
        };
        a.FilesTotal = 1;
        a.ReportProgress = true;
        EXPECT_EQ(ExtractedWithRoom(a, 0, true).bytes, data);
        EXPECT_EQ(shown.size(), 3u);
        EXPECT_EQ(a.ItemsDecodedWhole, 0);
        cancel = true;
        a.ReportProgress = true;
        EXPECT_EQ(ExtractedWithRoom(a, 0, true), ExtractionOutcome{});
    }
}

// Deflate streams written bit by bit, Huffman codes highest bit first.
class BitWriter {
public:
    void Put(uint32_t value, int bits) {
        for (int i = 0; i < bits; ++i)
            Bit((value >> i) & 1);
    }
    void PutCode(uint32_t code, int bits) {
        for (int i = bits - 1; i >= 0; --i)
            Bit((code >> i) & 1);
    }
    std::string Done() const { return bytes_; }

private:
    void Bit(uint32_t bit) {
        if (used_ % 8 == 0)
            bytes_ += '\0';
        bytes_.back() = static_cast<char>(bytes_.back() | bit << (used_++ % 8));
    }
    std::string bytes_;
    size_t used_ = 0;
};

constexpr int kRuns = 100; // of 258 bytes, after the first: past code 29's least distance

// A fixed block: "a", runs that copy it with the given length symbol, then a copy of 3
// bytes from the given distance code's least distance, and the end of the block.
std::string FixedBlock(uint32_t lengthSymbol, uint32_t distanceCode) {
    BitWriter out;
    out.Put(1, 1);                    // last block
    out.Put(1, 2);                    // fixed codes
    out.PutCode(0x30 + 'a', 8);       // literal
    for (int i = 0; i < kRuns; ++i) { // length 258, distance 1
        out.PutCode(0xC0 + lengthSymbol - 280, 8);
        out.PutCode(0, 5);
    }
    out.PutCode(1, 7); // length 3
    out.PutCode(distanceCode, 5);
    out.Put(0, 13);
    out.PutCode(0, 7); // end of block
    return out.Done();
}

// A dynamic block whose header lists `lengths` length symbols (zlib takes 286 at most) with
// codes for "a" and the end of the block, and two distance codes, or one and a run of zeros
// that goes `pastEnd` code lengths beyond the last symbol; then "aaa".
std::string DynamicBlock(int lengths, int pastEnd) {
    BitWriter out;
    out.Put(1, 1);
    out.Put(2, 2);
    out.Put(lengths - 257, 5);
    out.Put(2 - 1, 5);
    out.Put(18 - 4, 4);
    // Code length codes in their order 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13 2 14 1: 18 ("11
    // to 138 zeros") is 0, 0 is 10 and 1 is 11.
    for (int length : {0, 0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2})
        out.Put(static_cast<uint32_t>(length), 3);
    const auto zeros = [&](int count) {
        out.PutCode(0, 1);
        out.Put(static_cast<uint32_t>(count - 11), 7);
    };
    zeros('a');
    out.PutCode(3, 2); // "a": 1 bit
    zeros(138);
    zeros(255 - 'a' - 138);
    out.PutCode(3, 2); // end of block: 1 bit
    zeros(lengths - 257);
    out.PutCode(3, 2); // a distance code of 1 bit
    if (pastEnd > 0)
        zeros(1 + pastEnd); // the other distance code unused, and on past the end
    else
        out.PutCode(3, 2); // another of 1 bit
    for (int i = 0; i < 3; ++i)
        out.PutCode(0, 1);
    out.PutCode(1, 1);
    return out.Done();
}

struct RefusedStream {
    const char* name;
    std::string stream;
    std::string decoded; // what libdeflate makes of it
};

// Streams that zlib, unzip and Python refuse, but libdeflate reads as if they held the valid
// code next to the one they hold: with a CRC-32 of what libdeflate reads, they fail whole as
// they fail a chunk at a time, whatever the item's size.
TEST(WholeDecoding, StreamsZlibRefusesFailOnEveryPath) {
    const std::string runs((1 + kRuns * 258) + 3, 'a');
    const RefusedStream streams[] = {
        {"length symbol 286", FixedBlock(286, 0), runs},
        {"length symbol 287", FixedBlock(287, 0), runs},
        {"distance code 30", FixedBlock(285, 30), runs},
        {"distance code 31", FixedBlock(285, 31), runs},
        {"287 length symbols", DynamicBlock(287, 0), "aaa"},
        {"code lengths past the last symbol", DynamicBlock(286, 10), "aaa"}};
    for (const RefusedStream& refused : streams) {
        SCOPED_TRACE(refused.name);
        // Python reads deflate data with zlib.
        const std::string bytes = BuildZip(
            {Entry{.name = "refused", .data = refused.decoded, .payload = refused.stream}});
        EXPECT_FALSE(ToolsReadSound(bytes));
        TStringStream memory(bytes);
        int64_t decodedWhole = 0, decodedChunked = 0;
        const ExtractionOutcome chunked = Extracted(memory, false, false, decodedChunked);
        EXPECT_TRUE(chunked.error.ends_with("Native error: 00008")) << chunked.error;
        EXPECT_EQ(Extracted(memory, true, false, decodedWhole), chunked);
        EXPECT_EQ(decodedWhole, 0);
    }
}

// A local header whose lengths put its data behind the central directory gives the item no
// data at all, as the chunked path has it, even where a sound stream lies there.
TEST(WholeDecoding, DataBehindTheDirectoryIsNoData) {
    const Entry entry{.name = "late.txt", .data = Text(2000)};
    const std::string stream = RawDeflate(entry.data, 6);
    std::string bytes = BuildZip({entry}, Layout{.comment = stream});
    const size_t extraLength = bytes.size() - stream.size() - 30 - entry.name.size();
    bytes[28] = static_cast<char>(extraLength);
    bytes[29] = static_cast<char>(extraLength >> 8);
    for (bool whole : {true, false}) {
        OpenArchive archive(bytes, [&](TZipArchiver& a) { a.DecodeWholeItems = whole; });
        EXPECT_EQ(NativeErrorOf([&] { archive.Archiver().ExtractItemToString(0); }), 8)
            << (whole ? "whole" : "chunked");
    }
}

std::string ParamName(const ::testing::TestParamInfo<Param>& info) {
    std::string name = std::get<0>(info.param).name;
    for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name + (std::get<1>(info.param) ? "_file" : "_memory") +
           (std::get<2>(info.param) ? "_corruptedKept" : "");
}

INSTANTIATE_TEST_SUITE_P(Damages, WholeDecoding,
                         ::testing::Combine(::testing::ValuesIn(kDamages), ::testing::Bool(),
                                            ::testing::Bool()),
                         ParamName);

} // namespace
