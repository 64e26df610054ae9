#pragma once

#include "ZAHashedList.h"

#include <cstdint>
#include <string>
#include <vector>

// One entry of an item's extra field, its data owned by the item.
struct TDirItemExtra {
    uint16_t HeaderId = 0;
    uint16_t DataSize = 0;
    std::string Data;
};

// The in-memory directory item: the fixed fields of the central file header in file order,
// then what the reader decodes around them.
struct TDirItem {
    uint32_t Signature = 0;
    uint16_t VersionMadeBy = 0;
    uint16_t VersionNeeded = 0;
    uint16_t Flags = 0;
    uint16_t CompressionMethod = 0;
    uint16_t ModTime = 0;
    uint16_t ModDate = 0;
    uint32_t Crc32 = 0;
    uint32_t CompressedSize = 0;
    uint32_t UncompressedSize = 0;
    uint16_t FileNameLength = 0;
    uint16_t ExtraFieldLength = 0;
    uint16_t CommentLength = 0;
    uint16_t DiskNumberStart = 0;
    uint16_t InternalAttributes = 0;
    uint32_t ExternalAttributes = 0;
    uint32_t LocalHeaderOffset = 0;

    std::u16string FileName; // as stored, "/" between folders
    std::u16string SpareName;
    std::string Comment;
    std::vector<TDirItemExtra> Extras;
    bool HasZip64Extra = false;
    uint64_t UncompressedSize64 = 0;
    uint64_t CompressedSize64 = 0;
    uint64_t LocalHeaderOffset64 = 0;
    uint32_t DiskNumberStart32 = 0;
    // What the running operation does with the item; reported with its progress.
    uint8_t Operation = 0;

    // Fills the fixed fields from the 46 bytes of a central file header.
    void ReadCentralHeader(const unsigned char* header);

    // The sizes and offset with saturated 32-bit fields replaced by their Zip64 values.
    uint64_t FullCompressedSize() const;
    uint64_t FullUncompressedSize() const;
    uint64_t FullLocalHeaderOffset() const;
};

// The growable array of directory items with the lower-cased names of the items, entry i
// belonging to item i, answered through a hash index.
class TZADirArray {
public:
    int32_t Count() const { return count_; }
    int32_t Capacity() const { return capacity_; }
    int32_t GrowBy() const { return growBy_; }
    const TZAHashedStringList& ItemNames() const { return itemNames_; }

    void SetCount(int32_t n);
    // The stored item; valid until the item or the array changes.
    const TDirItem& GetItem(int32_t index) const;
    void SetItem(int32_t index, const TDirItem& item);
    TDirItem& ItemRef(int32_t index);
    void Delete(int32_t index);
    void Clear();
    void Assign(const TZADirArray& source);
    // The item stored with exactly the name; else the one with the name, letter case
    // ignored, the highest index among equals.
    bool FindName(const std::string& name, int32_t& index);
    // The name in the ANSI code page, or already wide.
    void Rename(int32_t index, const std::string& name);
    void Rename(int32_t index, std::u16string name);

private:
    static constexpr int32_t kMaxGrowBy = 10000;
    static constexpr size_t kFirstRoom = 16;

    void CheckIndex(int32_t index, int32_t nativeError) const;
    void Rename(int32_t index, std::string lowerName, std::u16string name);
    void Grow(int32_t n);

    // As many as the count; the capacity is bookkeeping only, the vector growing with the count.
    std::vector<TDirItem> items_;
    TZAHashedStringList itemNames_;
    int32_t growBy_ = 500;
    int32_t capacity_ = 0;
    int32_t count_ = 0;
};
