#include "ZAVolumeNumberInfo.h"

void TZAVolumeNumberInfo::Reset() {
    Kind = vkUnknown;
    Number = -1;
    LastNumber = -1;
}

void TZAVolumeNumberInfo::SetFirst(bool flag) {
    if (flag) {
        Number = 0;
        Kind = vkFirst;
    }
}

bool TZAVolumeNumberInfo::IsLast() const {
    return LastNumber == -1 ? Kind == vkLast : Number == LastNumber;
}

void TZAVolumeNumberInfo::SetLast(bool flag) {
    if (flag) {
        Number = LastNumber;
        Kind = vkLast;
    }
}

void TZAVolumeNumberInfo::SetNumber(int32_t n) {
    Kind = vkNumbered;
    Number = n;
}

bool TZAVolumeNumberInfo::SameVolume(const TZAVolumeNumberInfo& other) const {
    if (IsLast())
        return other.IsLast();
    if (IsFirst())
        return other.IsFirst();
    if (Number < 0)
        return Kind == other.Kind;
    return Number == other.Number;
}
