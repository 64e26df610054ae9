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
