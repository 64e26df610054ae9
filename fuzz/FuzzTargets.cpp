#include "FuzzTargets.h"

#include "archive/ZAMasks.h"
#include "archive/ZipArchiver.h"
#include "platform/CodePages.h"
#include "runtime/Exception.h"
#include "unzip/uzip.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace fuzz {
namespace {

void OpenWalkAndExtract(const uint8_t* data, size_t size, bool rebuild, bool corrupted) {
    TReadMemoryStream stream;
    stream.AttachMemory(data, static_cast<int64_t>(size));
    TZipArchiver archiver(nullptr);
    archiver.RebuildDirOnError = rebuild;
    archiver.ExtractCorruptedFiles = corrupted;
    archiver.Password = "fuzz";
    try {
        archiver.OpenArchive(stream, false);
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
}

} // namespace

void Archive(const uint8_t* data, size_t size) {
    for (bool rebuild : {true, false})
        for (bool corrupted : {true, false})
            OpenWalkAndExtract(data, size, rebuild, corrupted);
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
