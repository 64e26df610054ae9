#include "ZAItemLayout.h"

#include "ZAConst.h"
#include "ZADirArray.h"

#include <algorithm>

TZAItemLayout::TZAItemLayout(const TZADirArray& items) {
    starts_.reserve(static_cast<size_t>(items.Count()));
    // Folders are left out: no data of theirs is read, and the offsets of a folder behind
    // bytes in front of the archive are not corrected.
    for (int32_t i = 0; i < items.Count(); ++i)
        if ((items.GetItem(i).ExternalAttributes & za::faDirectory) == 0)
            starts_.push_back(StartOf(items.GetItem(i), i));
    // Writers list items in the order they lie, so that this is mostly a check.
    if (!std::is_sorted(starts_.begin(), starts_.end()))
        std::sort(starts_.begin(), starts_.end());
}

TZAItemLayout::Start TZAItemLayout::StartOf(const TDirItem& item, int32_t index) {
    const uint32_t volume =
        item.DiskNumberStart == za::kSaturated16 ? item.DiskNumberStart32 : item.DiskNumberStart;
    return {volume, item.FullLocalHeaderOffset(), index};
}

std::optional<uint64_t> TZAItemLayout::EndOf(const TDirItem& item, int32_t index) const {
    const auto sameHeader = [](const Start& a, const Start& b) {
        return a.volume == b.volume && a.offset == b.offset;
    };
    const Start start = StartOf(item, index);
    const auto at = std::lower_bound(starts_.begin(), starts_.end(), start);
    if (at == starts_.end() || *at != start)
        return std::nullopt;
    if (at != starts_.begin() && sameHeader(*(at - 1), *at))
        return at->offset;
    const auto next =
        std::find_if(at + 1, starts_.end(), [&](const Start& s) { return !sameHeader(s, *at); });
    if (next == starts_.end() || next->volume != at->volume)
        return std::nullopt;
    return next->offset;
}
