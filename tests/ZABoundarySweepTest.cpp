// Items at and around every size the decoder turns on, stored or deflated by zlib in each of
// its ways, read back through every output path and compared with the bytes they were made
// from.
#include "ArchiveFixture.h"
#include "TestTools.h"
#include "ZipWriter.h"
#include "runtime/Exception.h"
#include "unzip/uzip.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <random>
#include <tuple>

using namespace test;

namespace {

enum class Payload { Zeros, Text, Sparse, Random, Runs };
constexpr const char* kPayloadNames[] = {"zeros", "text", "sparse", "random", "runs"};

struct Coding {
    const char* name;
    uint16_t method;
    int level;
    int strategy;
};

constexpr Coding kCodings[] = {{"stored", 0, 0, Z_DEFAULT_STRATEGY},
                               {"level1", 8, 1, Z_DEFAULT_STRATEGY},
                               {"level6", 8, 6, Z_DEFAULT_STRATEGY},
                               {"level9", 8, 9, Z_DEFAULT_STRATEGY},
                               {"filtered", 8, 6, Z_FILTERED},
                               {"huffman", 8, 6, Z_HUFFMAN_ONLY},
                               {"rle", 8, 6, Z_RLE},
                               {"fixed", 8, 6, Z_FIXED}};

// The smallest halved chunk, zlib's window, the output piece (256 KiB) and its multiples up
// to the compressed chunk limit (1 MiB), each with the offsets where output that fills a piece
// exactly leaves bytes inside zlib; then the larger powers of two, where the output estimate
// also lands. Under the sanitizers a subset.
struct SizesAround {
    std::vector<size_t> boundaries;
    std::vector<int> offsets;
};

#ifdef CERTINSTALL_SANITIZED
const SizesAround kSizes[] = {{{512, 32 << 10, 256 << 10, 1 << 20}, {0, 1, 21}}};
#else
const SizesAround kSizes[] = {
    {{512, 32 << 10, 64 << 10, 128 << 10, 256 << 10, 512 << 10, 768 << 10, 1 << 20},
     {-1, 0, 1, 2, 21, 100}},
    {{2 << 20, 4 << 20}, {0}}};
#endif
// zaread -p prints items up to this size; the larger ones pass through zaread -t.
constexpr size_t kLargestPrinted = (1 << 20) + 100;

std::vector<size_t> Sizes() {
    std::vector<size_t> sizes;
    for (const SizesAround& group : kSizes)
        for (size_t boundary : group.boundaries)
            for (int offset : group.offsets)
                sizes.push_back(boundary + offset);
    return sizes;
}

std::string Generate(Payload kind, size_t size) {
    std::mt19937 random(static_cast<unsigned>(kind) + 1);
    std::string out;
    out.reserve(size + 400);
    switch (kind) {
    case Payload::Zeros:
        out.assign(size, '\0');
        break;
    case Payload::Text:
        for (size_t line = 0; out.size() < size; ++line)
            out += std::to_string(line) + " certificate line\n";
        break;
    case Payload::Sparse:
        out.assign(size, '\0');
        for (size_t i = 0; i < size; i += 1 + random() % 1000)
            out[i] = static_cast<char>(random());
        break;
    case Payload::Random:
        out.resize(size);
        std::generate(out.begin(), out.end(), [&] { return static_cast<char>(random()); });
        break;
    case Payload::Runs:
        while (out.size() < size)
            out.append(1 + random() % 300, static_cast<char>(random()));
        break;
    }
    out.resize(size);
    return out;
}

// Compares without printing megabytes: the sizes and the first offset that differs, or the
// error that the read raised.
::testing::AssertionResult SameBytes(const std::function<std::string()>& read,
                                     const std::string& expected) {
    std::string got;
    try {
        got = read();
    } catch (const Exception& e) {
        return ::testing::AssertionFailure() << e.Message();
    }
    if (got == expected)
        return ::testing::AssertionSuccess();
    const size_t common = std::min(got.size(), expected.size());
    const auto at =
        std::mismatch(got.begin(), got.begin() + static_cast<ptrdiff_t>(common), expected.begin())
            .first -
        got.begin();
    return ::testing::AssertionFailure() << got.size() << " bytes instead of " << expected.size()
                                         << ", first difference at " << at;
}

struct OutputPath {
    const char* name;
    std::function<std::string(TZipArchiver&, int32_t index, const std::string& name)> read;
};

const OutputPath kPaths[] = {
    {"ExtractToString",
     [](TZipArchiver& a, int32_t, const std::string& name) { return a.ExtractToString(name); }},
    {"stream not at its end",
     [](TZipArchiver& a, int32_t index, const std::string&) {
         const std::string head = "head";
         TStringStream out(head + "tail");
         out.SetPosition(static_cast<int64_t>(head.size()));
         a.ExtractItemToStream(index, out);
         const std::string bytes = out.DataString();
         return bytes.starts_with(head) ? bytes.substr(head.size()) : "head overwritten";
     }},
    {"stream holding bytes, at its end",
     [](TZipArchiver& a, int32_t index, const std::string&) {
         const std::string head = "head";
         TStringStream out(head);
         out.SetPosition(static_cast<int64_t>(head.size()));
         out.Reserve(static_cast<int64_t>(head.size()) + a.ExtractionReserve(index));
         a.ExtractItemToStream(index, out);
         const std::string bytes = out.DataString();
         return bytes.starts_with(head) ? bytes.substr(head.size()) : "head overwritten";
     }},
    {"stream not in memory", [](TZipArchiver& a, int32_t index, const std::string&) {
         AppendingStream out;
         a.ExtractItemToStream(index, out);
         return out.bytes;
     }}};

// Whole items decoded in one call where the decoder may, or every item a chunk at a time.
enum class Decoding { Whole, Chunked };
constexpr const char* kDecodingNames[] = {"whole", "chunked"};

using SweepParam = std::tuple<Payload, Coding, Decoding>;

void PrintTo(Payload payload, std::ostream* out) {
    *out << kPayloadNames[static_cast<int>(payload)];
}
void PrintTo(const Coding& coding, std::ostream* out) {
    *out << coding.name;
}
void PrintTo(Decoding decoding, std::ostream* out) {
    *out << kDecodingNames[static_cast<int>(decoding)];
}

std::vector<Entry> SweepEntries(const SweepParam& param) {
    const auto& [payload, coding, decoding] = param;
    const std::vector<size_t> sizes = Sizes();
    const std::string source = Generate(payload, *std::ranges::max_element(sizes));
    std::vector<Entry> entries;
    for (size_t size : sizes)
        entries.push_back(Entry{.name = std::to_string(size),
                                .data = source.substr(0, size),
                                .method = coding.method,
                                .level = coding.level,
                                .strategy = coding.strategy});
    return entries;
}

// The facade extracts with damaged items allowed, so a short item shows only in its bytes.
void ExpectFacadeGivesSourceBytes(const std::string& bytes, const std::vector<Entry>& entries) {
    TUnZip unzip;
    unzip.LoadFromString(bytes, false);
    ASSERT_EQ(unzip.Count(), static_cast<int32_t>(entries.size()));
    std::string name, contents;
    for (int32_t i = 0; i < unzip.Count(); ++i) {
        unzip.GetEntry(i, name, contents);
        EXPECT_EQ(name, entries[i].name);
        EXPECT_TRUE(SameBytes([&] { return contents; }, entries[i].data))
            << "facade, item " << name;
    }
}

#ifdef ZAREAD_PATH
void ExpectZareadGivesSourceBytes(const std::string& bytes, const std::vector<Entry>& entries) {
    TempDir dir;
    const std::string archive = (dir / "sweep.zip").string();
    WriteFile(archive, bytes);
    std::string tested;
    for (const Entry& e : entries)
        tested += "OK " + e.name + "\n";
    EXPECT_EQ(RunCommand(std::string(ZAREAD_PATH) + " -t '" + archive + "'"),
              tested + std::to_string(entries.size()) + " items OK, 0 bad\n");

    // The items printed in turn by one shell; where the bytes differ tells the item.
    std::string names, expected;
    std::vector<const Entry*> printed;
    for (const Entry& e : entries)
        if (e.data.size() <= kLargestPrinted) {
            names += " " + e.name;
            expected += e.data;
            printed.push_back(&e);
        }
    const std::string output = RunCommand("for name in" + names + "; do " + ZAREAD_PATH + " -p '" +
                                          archive + "' $name; done");
    const size_t differs = static_cast<size_t>(
        std::mismatch(output.begin(), output.end(), expected.begin(), expected.end()).second -
        expected.begin());
    size_t end = 0;
    for (const Entry* e : printed)
        if ((end += e->data.size()) > differs) {
            ADD_FAILURE() << "zaread -p, item " << e->name << " or the one before";
            break;
        }
    EXPECT_EQ(output.size(), expected.size()) << "zaread -p";
}
#endif

class BoundarySweep : public ::testing::TestWithParam<SweepParam> {};

TEST_P(BoundarySweep, EveryOutputPathGivesTheSourceBytes) {
    const std::vector<Entry> entries = SweepEntries(GetParam());
    const std::string bytes = BuildZip(entries);
    const bool whole = std::get<Decoding>(GetParam()) == Decoding::Whole;
    OpenArchive archive(bytes, [&](TZipArchiver& a) { a.DecodeWholeItems = whole; });
    for (const OutputPath& path : kPaths)
        for (int32_t i = 0; i < static_cast<int32_t>(entries.size()); ++i)
            EXPECT_TRUE(SameBytes([&] { return path.read(archive.Archiver(), i, entries[i].name); },
                                  entries[i].data))
                << path.name << ", item " << entries[i].name;
    // Either way the sweep must have gone the way it names.
    EXPECT_EQ(archive.Archiver().ItemsDecodedWhole > 0, whole);
    // The facade and zaread decode as they do by default, whole where they may.
    if (!whole)
        return;
    ExpectFacadeGivesSourceBytes(bytes, entries);
#ifdef ZAREAD_PATH
    ExpectZareadGivesSourceBytes(bytes, entries);
#endif
}

std::string SweepName(const ::testing::TestParamInfo<SweepParam>& info) {
    return std::string(kPayloadNames[static_cast<int>(std::get<0>(info.param))]) + "_" +
           std::get<1>(info.param).name + "_" +
           kDecodingNames[static_cast<int>(std::get<2>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(Sizes, BoundarySweep,
                         ::testing::Combine(::testing::Values(Payload::Zeros, Payload::Text,
                                                              Payload::Sparse, Payload::Random,
                                                              Payload::Runs),
                                            ::testing::ValuesIn(kCodings),
                                            ::testing::Values(Decoding::Whole, Decoding::Chunked)),
                         SweepName);

} // namespace
