#include "FuzzTargets.h"

#include "archive/ZADirArray.h"
#include "archive/ZAMasks.h"
#include "archive/ZipArchiver.h"
#include "platform/CodePages.h"
#include "runtime/Exception.h"
#include "tests/ArchiveFixture.h"
#include "tests/ZipWriter.h"
#include "unzip/uzip.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {
namespace {

// False when the archive does not open.
bool OpenWalkAndExtract(const uint8_t* data, size_t size, bool rebuild) {
    TReadMemoryStream stream;
    stream.AttachMemory(data, static_cast<int64_t>(size));
    TZipArchiver archiver(nullptr);
    archiver.RebuildDirOnError = rebuild;
    archiver.Password = "fuzz";
    try {
        archiver.OpenArchive(stream, false);
    } catch (const Exception&) {
        return false;
    }
    try {
        archiver.FileCount();
        TZAArchiveItem item;
        for (bool found = archiver.FindFirst("*.*", item, 10431); found;
             found = archiver.FindNext(item)) {
            try {
                archiver.ExtractToString(platform::WideToAnsi(item.StoredPath + item.FileName));
            } catch (const Exception&) {
            }
        }
    } catch (const Exception&) {
    }
    return true;
}

// The recipe: byte 0 the coding (bit 0 deflate, then level and strategy), byte 1 the shape of
// the payload (bits 0-1), a size factor (bits 2-6) and whether the directory is rebuilt on
// error (bit 7), bytes 2-3 the size, byte 4 the number of changes, four bytes per change (a
// 24-bit offset into the archive and a byte to XOR there), the rest seeds the payload.
class Recipe {
public:
    Recipe(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    test::Entry Item() const {
        const uint8_t coding = At(0);
        return test::Entry{.name = "item",
                           .data = Payload(),
                           .method = static_cast<uint16_t>(coding & 1 ? 8 : 0),
                           .level = (coding >> 1) % 10,
                           .strategy = (coding >> 5) % 5};
    }
    bool Rebuild() const { return (At(1) & 0x80) != 0; }

    // The changes applied to the archive; none leaves it as written.
    std::string Mutated(std::string archive) const {
        for (size_t i = 0; i < Changes() && !archive.empty(); ++i) {
            const size_t at = kHeader + 4 * i;
            const size_t offset = At(at) | At(at + 1) << 8 | At(at + 2) << 16;
            archive[offset % archive.size()] ^= static_cast<char>(At(at + 3));
        }
        return archive;
    }

private:
    static constexpr size_t kHeader = 5;

    uint8_t At(size_t i) const { return i < size_ ? data_[i] : 0; }
    size_t Changes() const {
        return std::min<size_t>(At(4), (size_ - std::min(size_, kHeader)) / 4);
    }

    // Literal seed bytes, the seed repeated, or (length, byte) runs from the seed; both of
    // the latter up to the size, zeros when the seed is empty.
    std::string Payload() const {
        const size_t start = std::min(size_, kHeader + 4 * Changes());
        const std::string seed(reinterpret_cast<const char*>(data_) + start, size_ - start);
        const size_t length = (At(2) | At(3) << 8) * (((At(1) >> 2) & 31) + 1);
        std::string out;
        switch (At(1) & 3) {
        case 0:
            return seed;
        case 1:
            if (seed.empty())
                return std::string(length, '\0');
            for (out.reserve(length); out.size() < length;)
                out += seed;
            break;
        default:
            if (seed.size() < 2)
                return std::string(length, '\0');
            for (size_t i = 0; out.size() < length; i = (i + 2) % (seed.size() - 1))
                out.append(static_cast<uint8_t>(seed[i]) + 1u, seed[i + 1]);
        }
        out.resize(length);
        return out;
    }

    const uint8_t* data_;
    size_t size_;
};

[[noreturn]] void Mismatch(const char* what, size_t got, size_t expected) {
    std::fprintf(stderr, "%s: %zu bytes returned, %zu expected\n", what, got, expected);
    std::abort();
}

// The item's data as it lies in the archive: behind its local header, at most its
// compressed size, never into the central directory.
std::string_view StoredData(const std::string& archive, const TDirItem& item,
                            uint64_t directoryStart) {
    const uint64_t header = item.FullLocalHeaderOffset();
    if (header > archive.size() || archive.size() - header < za::kLocalHeaderSize)
        return {};
    // The name and extra field lengths end the local header.
    const auto* local = reinterpret_cast<const uint8_t*>(archive.data()) + header;
    const uint64_t start =
        header + za::kLocalHeaderSize + (local[26] | local[27] << 8) + (local[28] | local[29] << 8);
    const uint64_t end = std::min<uint64_t>(directoryStart, archive.size());
    if (start >= end)
        return {};
    return std::string_view(archive).substr(start,
                                            std::min(item.FullCompressedSize(), end - start));
}

// What zlib's raw inflate gives in one call. A buffer one byte longer than the engine's
// result tells the same as one of the declared size, without gigabytes for a lying header.
std::string InflatedOnce(std::string_view data, uint64_t declared, size_t resultSize) {
    std::string out(static_cast<size_t>(std::min<uint64_t>(declared, resultSize + 1)), '\0');
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        std::abort();
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

// Every item of an archive, changed or not: decoding it whole must show exactly what decoding
// it a chunk at a time shows, and a result that matches its CRC-32 must be what zlib makes of
// the data. Encrypted items and the component's own block format are left out of
// the comparison with zlib, which cannot read them.
void CompareWithZlib(const std::string& archive, bool rebuild) {
    try {
        test::OpenArchive open(archive, [&](TZipArchiver& a) {
            a.RebuildDirOnError = rebuild;
            a.ExtractCorruptedFiles = true;
            a.OnPassword = [](TZABaseArchiver*, const std::string&, std::string&, bool& skip) {
                skip = true;
            };
        });
        for (int32_t i = 0; i < open.Items().Count(); ++i) {
            const TDirItem& item = open.Item(i);
            const test::ExtractionOutcome whole = test::ExtractedWithRoom(open.Archiver(), i, true);
            const test::ExtractionOutcome chunked =
                test::ExtractedWithRoom(open.Archiver(), i, false);
            if (whole != chunked) {
                std::fprintf(stderr, "whole: %s, %lld processed; chunked: %s, %lld processed\n",
                             whole.error.c_str(), static_cast<long long>(whole.processed),
                             chunked.error.c_str(), static_cast<long long>(chunked.processed));
                Mismatch("whole and chunked decoding differ", whole.bytes.size(),
                         chunked.bytes.size());
            }
            const bool stored = item.CompressionMethod == za::kMethodStored;
            if ((item.Flags & za::kFlagEncrypted) ||
                (!stored && item.CompressionMethod != za::kMethodDeflate) || !chunked.error.empty())
                continue;
            const std::string& got = chunked.bytes;
            if (test::Crc32Of(got) != item.Crc32)
                continue;
            const std::string_view data = StoredData(archive, item, open.Dir().CentralDirStart);
            const std::string expected =
                stored ? std::string(data.substr(
                             0, std::min<uint64_t>(data.size(), item.FullUncompressedSize())))
                       : InflatedOnce(data, item.FullUncompressedSize(), got.size());
            if (got != expected)
                Mismatch("changed archive, item differs from zlib's inflate", got.size(),
                         expected.size());
        }
    } catch (const Exception&) {
    }
}

} // namespace

// A directory that reads is the same with RebuildDirOnError set, so the rebuild is tried only
// where the directory failed. ExtractCorruptedFiles only decides whether a damaged item raises
// once decoded; the facade's target runs with it set, this one with it clear.
void Archive(const uint8_t* data, size_t size) {
    if (!OpenWalkAndExtract(data, size, false))
        OpenWalkAndExtract(data, size, true);
}

void Unzip(const uint8_t* data, size_t size) {
    TUnZip unzip;
    try {
        unzip.LoadFromString(std::string(reinterpret_cast<const char*>(data), size), false);
        std::string name, contents;
        for (int32_t i = 0; i < unzip.Count(); ++i)
            unzip.GetEntry(i, name, contents);
    } catch (const Exception&) {
    }
}

void Differential(const uint8_t* data, size_t size) {
    const Recipe recipe(data, size);
    const test::Entry item = recipe.Item();
    const std::string archive = test::BuildZip({item});
    try {
        test::OpenArchive open(archive);
        const std::string got = open.Archiver().ExtractToString(item.name);
        if (got != item.data)
            Mismatch("ExtractToString", got.size(), item.data.size());
        test::AppendingStream output;
        open.Archiver().ExtractItemToStream(0, output);
        if (output.bytes != item.data)
            Mismatch("ExtractItemToStream into a stream not in memory", output.bytes.size(),
                     item.data.size());
    } catch (const Exception& e) {
        std::fprintf(stderr, "the archive as written: %s\n", e.Message().c_str());
        std::abort();
    }
    CompareWithZlib(recipe.Mutated(archive), recipe.Rebuild());
}

void Methods(const uint8_t* data, size_t size) {
    constexpr uint16_t kMethods[] = {za::kMethodBzip2, za::kMethodLzma, za::kMethodZstandard,
                                     za::kMethodXz};
    constexpr size_t kHeader = 8;
    if (size < kHeader)
        return;
    const auto at = [&](size_t i) { return static_cast<uint32_t>(data[i]); };
    const test::Entry item{
        .name = "item",
        .method = kMethods[data[0] % std::size(kMethods)],
        .payload = std::string(reinterpret_cast<const char*>(data) + kHeader, size - kHeader),
        .centralCrc = at(4) | at(5) << 8 | at(6) << 16 | at(7) << 24,
        .centralUncompressed = at(1) | at(2) << 8 | at(3) << 16};
    const std::string archive = test::BuildZip({item});
    try {
        test::OpenArchive open(archive, [](TZipArchiver& a) { a.ExtractCorruptedFiles = true; });
        const test::ExtractionOutcome inMemory = test::ExtractedWithRoom(open.Archiver(), 0, false);
        test::AppendingStream appended;
        std::string error;
        try {
            open.Archiver().ExtractItemToStream(0, appended);
        } catch (const Exception& e) {
            error = e.Message();
        }
        if (error != inMemory.error || (error.empty() && appended.bytes != inMemory.bytes))
            Mismatch("a stream not in memory and a memory stream differ", appended.bytes.size(),
                     inMemory.bytes.size());
    } catch (const Exception&) {
    }
}

void Masks(const uint8_t* data, size_t size) {
    if (size == 0)
        return;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t split = std::min<size_t>(data[0], input.size());
    const std::string_view name = input.substr(0, split), mask = input.substr(split);
    za::MatchesMask(name, mask);
    za::WildcardMatch(name, mask, false);
}

} // namespace fuzz
