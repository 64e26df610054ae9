// The engine's hot paths, each on its own: name index lookups, name search, mask matching,
// directory reading per item and extraction throughput.
#include "CraftedNames.h"
#include "ZipWriter.h"
#include "archive/ZAHashedList.h"
#include "archive/ZAMasks.h"
#include "archive/ZipArchiver.h"
#include "unzip/uzip.h"

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <map>
#include <random>

namespace {

std::string NameOf(int64_t i) {
    return "Folder" + std::to_string(i % 97) + "/Sub/file-" + std::to_string(i) + ".cer";
}

// Archives of N empty stored items, built once per size.
const std::string& ArchiveOf(int64_t items) {
    static std::map<int64_t, std::string> made;
    auto& bytes = made[items];
    if (bytes.empty()) {
        std::vector<test::Entry> entries;
        for (int64_t i = 0; i < items; ++i)
            entries.push_back(test::Entry{.name = NameOf(i), .method = 0});
        bytes = test::BuildZip(entries, test::Layout{.zip64EndRecords = items > 0xFFFF});
    }
    return bytes;
}

class OpenedArchive {
public:
    explicit OpenedArchive(const std::string& bytes) {
        stream_.AttachMemory(bytes.data(), static_cast<int64_t>(bytes.size()));
        archiver_.OpenArchive(stream_, false);
    }
    TZipArchiver& Archiver() { return archiver_; }

private:
    TReadMemoryStream stream_;
    TZipArchiver archiver_{nullptr};
};

template <class Name> void HashLookups(benchmark::State& state, Name name) {
    TZAHashedStringList list;
    std::vector<std::string> names;
    for (int64_t i = 0; i < state.range(0); ++i)
        list.Add(names.emplace_back(name(i)));
    list.IndexOf(names[0]); // the table is made at the first lookup
    std::mt19937 random(1);
    for (auto _ : state)
        benchmark::DoNotOptimize(list.IndexOf(names[random() % names.size()]));
}

void BM_HashLookup(benchmark::State& state) {
    HashLookups(state, NameOf);
}
BENCHMARK(BM_HashLookup)->RangeMultiplier(10)->Range(1000, 1000000);

// Names an attacker chose to share one rotate-xor hash: lookups stay flat all the same.
void BM_HashLookupOfCraftedNames(benchmark::State& state) {
    HashLookups(state, test::NameOfOneRotateXorHash);
}
BENCHMARK(BM_HashLookupOfCraftedNames)->RangeMultiplier(10)->Range(1000, 1000000);

void BM_FindItemByName(benchmark::State& state) {
    OpenedArchive archive(ArchiveOf(state.range(0)));
    std::vector<std::string> names;
    for (int64_t i = 0; i < state.range(0); ++i)
        names.push_back(NameOf(i));
    std::mt19937 random(2);
    int32_t index = 0;
    // The name table is made at the first lookup, not at every one.
    archive.Archiver().FindItemByName(names[0], index);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            archive.Archiver().FindItemByName(names[random() % names.size()], index));
}
BENCHMARK(BM_FindItemByName)->RangeMultiplier(10)->Range(1000, 1000000);

void BM_WildcardMatch(benchmark::State& state) {
    const std::string name = "Certificates/Authorities/Intermediate/ЛАРКОН-2026-issuing.cer";
    const std::vector<std::string> masks = {"*.*", "*.cer",
                                            "Cert*/*/Inter*/*-20?"
                                            "?-*.cer",
                                            "*a*b*c*d*e*f*"};
    size_t at = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(za::WildcardMatch(name, masks[at++ % masks.size()], true));
}
BENCHMARK(BM_WildcardMatch);

// Opening an archive and reading its directory, per item.
void BM_ReadDirectory(benchmark::State& state) {
    const std::string& bytes = ArchiveOf(state.range(0));
    for (auto _ : state) {
        OpenedArchive archive(bytes);
        benchmark::DoNotOptimize(archive.Archiver().FileCount());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadDirectory)
    ->RangeMultiplier(10)
    ->Range(1000, 1000000)
    ->Unit(benchmark::kMillisecond);

// The facade loading file items whose stored names end in "/", which its names do not
// carry: per item, flat over the archive's size.
void BM_FacadeLoadsFolderLikeFileNames(benchmark::State& state) {
    std::vector<test::Entry> entries;
    for (int64_t i = 0; i < state.range(0); ++i)
        entries.push_back(test::Entry{.name = NameOf(i) + "/", .data = "x", .method = 0});
    const std::string bytes = test::BuildZip(entries);
    for (auto _ : state) {
        TUnZip unzip;
        unzip.LoadFromString(bytes, false);
        benchmark::DoNotOptimize(unzip.Count());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FacadeLoadsFolderLikeFileNames)
    ->RangeMultiplier(4)
    ->Range(1000, 16000)
    ->Unit(benchmark::kMillisecond);

// The facade over 2,000 items that each claim 1 MiB but hold a 2-byte stream (an empty final
// block): every item fails, and what the results hold afterwards is the room they kept.
// Run it alone for the peak to be its own:
//   micro_benchmarks --benchmark_filter=FacadeOfShortStreams
void BM_FacadeOfShortStreams(benchmark::State& state) {
    std::vector<test::Entry> entries;
    for (int i = 0; i < 2000; ++i)
        entries.push_back(test::Entry{.name = NameOf(i),
                                      .payload = std::string("\x03\x00", 2),
                                      .centralUncompressed = 1 << 20});
    const std::string bytes = test::BuildZip(entries);
    size_t held = 0;
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        TUnZip unzip;
        unzip.LoadFromString(bytes, false);
        held = mallinfo2().uordblks - before;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["archive_KiB"] = static_cast<double>(bytes.size()) / 1024;
    state.counters["held_MiB"] = static_cast<double>(held) / (1 << 20);
    state.counters["peak_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024;
}
BENCHMARK(BM_FacadeOfShortStreams)->Unit(benchmark::kMillisecond);

std::string Compressible(size_t size) {
    std::mt19937 random(3);
    std::string data;
    while (data.size() < size)
        data += "serial " + std::to_string(random() % 100000) + " issuer CN=ЛАРКОН\n";
    data.resize(size);
    return data;
}

// Extraction to memory, in uncompressed bytes a second; the arguments are the method and
// whether the item may decode whole.
void BM_Extract(benchmark::State& state) {
    const std::string data = Compressible(16 << 20);
    const std::string bytes = test::BuildZip({test::Entry{
        .name = "item", .data = data, .method = static_cast<uint16_t>(state.range(0))}});
    OpenedArchive archive(bytes);
    archive.Archiver().DecodeWholeItems = state.range(1) != 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(archive.Archiver().ExtractToString("item"));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_Extract)
    ->ArgsProduct({{0, 8}, {1, 0}})
    ->ArgNames({"method", "whole"})
    ->Unit(benchmark::kMillisecond);

} // namespace
