#include "ZALibraryDecoders.h"

#include "ZAAesItem.h"
#include "ZAConst.h"
#include "ZADirArray.h"

namespace za {

std::unique_ptr<TZAStreamDecoder> LibraryDecoder([[maybe_unused]] const TDirItem& item) {
#ifdef CERTINSTALL_LIBRARY_DECODERS
    switch (CompressionMethodOf(item)) {
    case kMethodBzip2:
        return MakeBzip2Decoder();
    case kMethodLzma:
        return MakeLzmaDecoder(item);
    case kMethodXz:
        return MakeXzDecoder();
    case kMethodZstandard:
        return MakeZstandardDecoder();
    default:
        break;
    }
#endif
    return nullptr;
}

TWholeDecode WholeLibraryDecoder([[maybe_unused]] uint16_t method) {
#ifdef CERTINSTALL_LIBRARY_DECODERS
    if (method == kMethodZstandard)
        return DecodeZstandardWhole;
#endif
    return nullptr;
}

} // namespace za
