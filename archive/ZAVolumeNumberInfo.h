#pragma once

#include <cstdint>

// Names one volume of an archive.
class TZAVolumeNumberInfo {
public:
    enum : uint8_t { vkFirst = 0, vkLast = 1, vkNumbered = 2, vkUnknown = 3 };

    uint8_t Kind = vkUnknown;
    int32_t Number = -1;
    int32_t LastNumber = -1;

    void Reset();
    bool IsFirst() const { return Number == 0; }
    void SetFirst(bool flag);
    bool IsLast() const;
    void SetLast(bool flag);
    void SetNumber(int32_t n);
    bool SameVolume(const TZAVolumeNumberInfo& other) const;
};
