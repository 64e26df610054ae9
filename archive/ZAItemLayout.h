#pragma once

#include <cstdint>
#include <optional>
#include <vector>

class TZADirArray;
struct TDirItem;

// Where the file items' local headers lie, each volume apart: an item's data must end before
// the next item's local header, and no item may share the header of an item listed before it.
// Layouts that break this make a few bytes of an archive decode again and again, for every
// item that points into them (zip bombs); a writer never makes them.
class TZAItemLayout {
public:
    explicit TZAItemLayout(const TZADirArray& items);

    // Where the item's bytes must end: at the next item's local header, or at its own when an
    // item listed before it starts there; none when no item follows on its volume, and for a
    // folder.
    std::optional<uint64_t> EndOf(const TDirItem& item, int32_t index) const;

private:
    struct Start {
        uint32_t volume;
        uint64_t offset;
        int32_t index;
        auto operator<=>(const Start&) const = default;
    };
    static Start StartOf(const TDirItem& item, int32_t index);

    std::vector<Start> starts_; // every item's local header, in the order they lie
};
