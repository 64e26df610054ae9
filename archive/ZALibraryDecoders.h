#pragma once

#include "ZAStreamDecoder.h"

#include <cstddef>
#include <cstdint>
#include <memory>

struct TDirItem;

namespace za {

// A decoder for an item whose method a compression library beside zlib reads: bzip2, LZMA,
// XZ and Zstandard. None for any other method, and none where this build has no such
// library: the Windows program reads only deflated bundles.
std::unique_ptr<TZAStreamDecoder> LibraryDecoder(const TDirItem& item);

// The decoders, one per library, for the build that has them.
std::unique_ptr<TZAStreamDecoder> MakeBzip2Decoder();
// LZMA as ZIP holds it: a header of its own before the data, which ends at the item's
// declared size or at an end marker there.
std::unique_ptr<TZAStreamDecoder> MakeLzmaDecoder(const TDirItem& item);
std::unique_ptr<TZAStreamDecoder> MakeXzDecoder();
std::unique_ptr<TZAStreamDecoder> MakeZstandardDecoder();

// Decodes a whole item's data in one call; true when it decodes to exactly the output's size.
using TWholeDecode = bool (*)(const void* input, size_t inputLength, void* output,
                              size_t outputLength);
// The one-call decoder of a method whose library decodes a whole buffer faster than a chunk
// at a time (Zstandard, by a third); none for any other.
TWholeDecode WholeLibraryDecoder(uint16_t method);
bool DecodeZstandardWhole(const void* input, size_t inputLength, void* output, size_t outputLength);

} // namespace za
