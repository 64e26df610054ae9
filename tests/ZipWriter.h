#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A small ZIP writer for building test archives byte by byte, including damaged ones.
namespace test {

struct Entry {
    std::string name; // stored name bytes, as they go into the headers
    std::string data; // uncompressed contents
    uint16_t method = 8;
    int level = 6;
    int strategy = 0;     // zlib's deflate strategy, Z_DEFAULT_STRATEGY by default
    std::string password; // traditional encryption when not empty
    bool dataDescriptor = false;
    uint16_t flags = 0; // general purpose bits besides those two
    uint32_t externalAttributes = 0x20;
    uint16_t internalAttributes = 0;
    uint16_t diskNumberStart = 0;
    uint16_t versionMadeBy = 20;
    uint16_t versionNeeded = 20;
    uint16_t modTime = 0x6000;
    uint16_t modDate = 0x5A21;
    std::string localExtra;
    std::string centralExtra;
    std::string comment;
    // Zip64: saturated sizes and offset in the central header, their values in a Zip64
    // extra entry.
    bool zip64 = false;
    std::optional<std::string> payload; // the data bytes as stored, instead of data
    std::optional<uint32_t> centralCrc; // central header values instead of the true ones
    std::optional<uint32_t> centralCompressed;
    std::optional<uint32_t> centralUncompressed;
    std::optional<uint32_t> centralSignature;
};

struct Layout {
    std::string comment;
    std::string stub; // bytes in front of the archive
    bool offsetsIncludeStub = false;
    bool directoryOffsetIncludesStub = false; // the end record's offset counts it, items' not
    bool zip64EndRecords = false;             // a Zip64 end record and locator, 0xFFFF counts
    bool zip64DiskNumbers = false; // with them, 0xFFFF disk numbers in the end record too
    std::optional<uint16_t> totalEntries;
    std::optional<uint16_t> commentLength;
    std::string trailing; // bytes after the end record and comment
};

std::string BuildZip(const std::vector<Entry>& entries, const Layout& layout = {});
std::string RawDeflate(const std::string& data, int level, int strategy = 0);
uint32_t Crc32Of(const std::string& data);
// A folder entry: stored, empty, directory attribute.
Entry Folder(const std::string& name);

void Put16(std::string& out, uint16_t v);
void Put32(std::string& out, uint32_t v);
void Put64(std::string& out, uint64_t v);
// Sets a 32-bit field of the central header of the given item.
void PatchCentral32(std::string& zip, int item, size_t field, uint32_t value);

} // namespace test
