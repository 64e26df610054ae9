#pragma once

#include "ZAStreamDecoder.h"

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

} // namespace za
