#pragma once

#include <cstddef>
#include <cstdint>

// The work of each fuzz target, shared with the test suite that replays the kept inputs.
namespace fuzz {

// Opens the bytes as an archive, counts, walks and extracts every item; with
// RebuildDirOnError when the directory does not read without it.
void Archive(const uint8_t* data, size_t size);
// Hands the bytes to the unzip facade as a bundle and reads every entry.
void Unzip(const uint8_t* data, size_t size);
// The input is a recipe: a payload, how zlib writes it into an archive and bytes to change in
// that archive. The engine must return the payload from the archive as written and, from the
// changed one, for every item whose result matches its CRC-32, what zlib's own inflate makes
// of the item's data. A difference aborts.
void Differential(const uint8_t* data, size_t size);
// Byte 0 picks a method that a library beside zlib decodes, bytes 1-3 are the declared size,
// 4-7 the CRC-32, the rest the item's data in that method. With damaged items extracted, a
// memory stream and a stream outside memory must get the same error, or the same bytes.
void Methods(const uint8_t* data, size_t size);
// The first byte splits the rest into a name and a mask, matched both ways.
void Masks(const uint8_t* data, size_t size);

} // namespace fuzz
