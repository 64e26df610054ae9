#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The scan state of one search, kept in the caller's item record.
struct TInternalSearchRec {
    static constexpr size_t kMaskCapacity = 260;

    int32_t DirItemIndex = 0;
    char FileMask[kMaskCapacity] = {};
    bool HasWildcards = false;
    int32_t SearchAttr = 0;
    std::string SearchTag;
    bool UseFileMasks = false;
};

// The public record of an item found by FindFirst and FindNext.
struct TZAArchiveItem {
    std::u16string FileName;   // after the last backslash
    std::u16string StoredPath; // up to and including the last backslash
    int64_t CompressedSize = 0;
    int64_t UncompressedSize = 0;
    double CompressionRate = 0;
    bool Encrypted = false;
    uint16_t LastModFileDate = 0;
    uint16_t LastModFileTime = 0;
    uint32_t CRC = 0;
    uint32_t ExternalFileAttributes = 0;
    std::string Comment;
    TInternalSearchRec InternalSearchRec;
};
