#pragma once

#include "runtime/Streams.h"

#include <cstdint>
#include <optional>
#include <string>

struct TDirItem;

// What the item decoder tells its caller, and asks it, while it works.
class TZADecodingHost {
public:
    virtual ~TZADecodingHost() = default;

    // The item's compressed data is found, this long as far as it will be read.
    virtual void DataFound(int64_t size) = 0;
    // Called before each chunk or block with the compressed bytes consumed so far; true
    // cancels the item.
    virtual bool Cancelled(int64_t consumed) = 0;
    // Another password to try after one failed; none skips the item.
    virtual std::optional<std::string> NextPassword() = 0;
};

// One item to decode.
struct TZADecodingRequest {
    TStream& Archive;               // at the item's local header
    TStream& Output;                // where the decoded bytes go
    const TDirItem& Item;           // the item's central header, as the directory holds it
    std::optional<int64_t> DataEnd; // the data never runs past this, where it is known
    bool MayDecodeWhole;            // the item may decode in one call where the outcome is the same
    const std::string& Password;    // tried first on an encrypted item
    TZADecodingHost& Host;          // told of progress and asked for passwords

    // Reads exactly this many bytes of the archive.
    bool Read(unsigned char* buffer, int64_t count) const {
        return Archive.Read(buffer, count) == count;
    }
};

// How decoding an item ended.
struct TZADecodingOutcome {
    bool Complete = false;           // decoded to the data's end, or to a cancel, with the
                                     // declared size
    bool CrcMatches = false;         // the CRC-32 of the bytes written is the item's
    std::optional<int64_t> Consumed; // compressed bytes consumed; none without a local header
    bool DecodedWhole = false;       // the whole-item path decoded it, in one call
};
