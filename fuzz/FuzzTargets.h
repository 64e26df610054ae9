#pragma once

#include <cstddef>
#include <cstdint>

// The work of each fuzz target, shared with the test suite that replays the kept inputs.
namespace fuzz {

// Opens the bytes as an archive, counts, walks and extracts every item, under both settings
// of RebuildDirOnError and ExtractCorruptedFiles.
void Archive(const uint8_t* data, size_t size);
// Hands the bytes to the unzip facade as a bundle and reads every entry.
void Unzip(const uint8_t* data, size_t size);
// The first byte splits the rest into a name and a mask, matched both ways.
void Masks(const uint8_t* data, size_t size);

} // namespace fuzz
