#include "ZADirArray.h"

#include "ZAConst.h"
#include "ZAExcept.h"
#include "ZALittleEndian.h"
#include "platform/CodePages.h"

#include <algorithm>

namespace {

using za::Le16;
using za::Le32;

std::string LowerAnsiName(const std::u16string& wide) {
    return platform::AnsiLowerCase(platform::WideToAnsi(wide));
}

} // namespace

void TDirItem::ReadCentralHeader(const unsigned char* h) {
    Signature = Le32(h + 0);
    VersionMadeBy = Le16(h + 4);
    VersionNeeded = Le16(h + 6);
    Flags = Le16(h + 8);
    CompressionMethod = Le16(h + 10);
    ModTime = Le16(h + 12);
    ModDate = Le16(h + 14);
    Crc32 = Le32(h + 16);
    CompressedSize = Le32(h + 20);
    UncompressedSize = Le32(h + 24);
    FileNameLength = Le16(h + 28);
    ExtraFieldLength = Le16(h + 30);
    CommentLength = Le16(h + 32);
    DiskNumberStart = Le16(h + 34);
    InternalAttributes = Le16(h + 36);
    ExternalAttributes = Le32(h + 38);
    LocalHeaderOffset = Le32(h + 42);
}

uint64_t TDirItem::FullCompressedSize() const {
    return CompressedSize == za::kSaturated32 ? CompressedSize64 : CompressedSize;
}

uint64_t TDirItem::FullUncompressedSize() const {
    return UncompressedSize == za::kSaturated32 ? UncompressedSize64 : UncompressedSize;
}

uint64_t TDirItem::FullLocalHeaderOffset() const {
    return LocalHeaderOffset == za::kSaturated32 ? LocalHeaderOffset64 : LocalHeaderOffset;
}

void TZADirArray::CheckIndex(int32_t index, int32_t nativeError) const {
    if (index < 0 || index >= count_)
        throw EZAException::Create(nativeError);
}

// The capacity grows by a step that doubles each time up to its limit. The slots themselves
// are made when they come into use, the storage doubling as the count needs it: a directory
// that turns out short pays neither for the room nor for clearing the rest.
void TZADirArray::Grow(int32_t n) {
    growBy_ = std::min(growBy_ * 2, kMaxGrowBy);
    const int64_t stepped = int64_t{capacity_} + growBy_;
    capacity_ = static_cast<int32_t>(stepped > n ? stepped : n);
}

void TZADirArray::SetCount(int32_t n) {
    n = std::max(n, 0);
    if (n > capacity_) {
        Grow(n);
    } else if (n == 0) {
        items_.clear();
        items_.shrink_to_fit();
        capacity_ = 0;
    }
    // Slots going out of use go, so that they come back blank. The storage starts with room
    // for a few, so that a rebuild adding items one by one does not move them at each of
    // the first doublings; the names take room as the items do.
    if (n > 0 && items_.capacity() < kFirstRoom)
        items_.reserve(std::max(static_cast<size_t>(n), kFirstRoom));
    items_.resize(static_cast<size_t>(n));
    itemNames_.SetCapacity(static_cast<int32_t>(items_.capacity()));
    count_ = n;
}

const TDirItem& TZADirArray::GetItem(int32_t index) const {
    CheckIndex(index, za::neGetItemIndex);
    return items_[static_cast<size_t>(index)];
}

TDirItem& TZADirArray::ItemRef(int32_t index) {
    CheckIndex(index, za::neItemRefIndex);
    return items_[static_cast<size_t>(index)];
}

void TZADirArray::SetItem(int32_t index, const TDirItem& item) {
    CheckIndex(index, za::neSetItemIndex);
    const int32_t named = itemNames_.Count();
    if (index >= named && named != index)
        throw EZAException::Create(za::neNameListOutOfStep);
    const std::string lowerName = LowerAnsiName(item.FileName);
    if (index < named)
        itemNames_.Replace(index, lowerName);
    else
        itemNames_.Add(lowerName);
    items_[static_cast<size_t>(index)] = item;
}

void TZADirArray::Delete(int32_t index) {
    CheckIndex(index, za::neDeleteItemIndex);
    // Entry i belongs to item i, so the deleted item's own entry goes, even when other
    // items share its name.
    if (index < itemNames_.Count())
        itemNames_.Delete(index);
    items_.erase(items_.begin() + index);
    --count_;
}

void TZADirArray::Clear() {
    items_.clear();
    count_ = 0;
    itemNames_.Clear();
}

void TZADirArray::Assign(const TZADirArray& source) {
    if (&source == this)
        return;
    Clear();
    SetCount(source.Count());
    for (int32_t i = 0; i < source.Count(); ++i)
        SetItem(i, source.GetItem(i));
}

// Names that differ only in letter case belong to different items: the one stored exactly
// as asked for is the one meant.
bool TZADirArray::FindName(const std::string& name, int32_t& index) {
    int32_t highest = -1;
    const bool exact = itemNames_.AnyIndexOf(platform::AnsiLowerCase(name), [&](int32_t i) {
        if (platform::WideToAnsi(items_[static_cast<size_t>(i)].FileName) == name) {
            index = i;
            return true;
        }
        highest = std::max(highest, i);
        return false;
    });
    if (!exact)
        index = highest;
    return index >= 0;
}

void TZADirArray::Rename(int32_t index, const std::string& name) {
    Rename(index, platform::AnsiLowerCase(name), platform::AnsiToWide(name));
}

void TZADirArray::Rename(int32_t index, std::u16string name) {
    // Lower-cased before the name is moved from: the order of arguments is not fixed.
    std::string lowerName = LowerAnsiName(name);
    Rename(index, std::move(lowerName), std::move(name));
}

// Entry i of the name list is item i's, so the entry to change is found by the index, not by
// the current name: a lookup of the name would find whichever earlier item shares it (every
// slot starts with the empty name) and refuse the rest of the archive. A slot not yet named is
// the next to get an entry; a name beyond that would break the pairing.
void TZADirArray::Rename(int32_t index, std::string lowerName, std::u16string name) {
    TDirItem& item = items_.at(static_cast<size_t>(index));
    const int32_t named = itemNames_.Count();
    if (index > named)
        throw EZAException::Create(za::neNameIndexedElsewhere);
    if (index == named)
        itemNames_.Add(std::move(lowerName));
    else
        itemNames_.Replace(index, lowerName);
    item.FileName = std::move(name);
}
