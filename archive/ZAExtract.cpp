#include "ZAConst.h"
#include "ZADirManager.h"
#include "ZAExcept.h"
#include "ZAItemDecoder.h"
#include "ZAOutputRoom.h"
#include "ZAScopedValue.h"
#include "ZipArchiver.h"

#include <algorithm>
#include <limits>

using namespace za;

std::string TZABaseArchiver::ExtractToString(const std::string& name) {
    CheckOpen();
    CheckNoUpdate();
    int32_t index = -1;
    {
        ScopedValue<bool> sameFolderOnly(options_.Recurse, false);
        if (!FindItemByName(name, index))
            throw EZAException::CreateWithArgs(neEntryNotFound, this, {name});
    }
    return ExtractItemToString(index);
}

std::string TZABaseArchiver::ExtractItemToString(int32_t index) {
    CheckOpen();
    CheckNoUpdate();
    CheckItemIndex(index);
    ReportProgress = false;
    TStringStream output;
    output.Reserve(ExtractionReserve(index));
    ExtractItemToStream(index, output);
    std::string result = output.TakeDataString();
    // A caller keeping many results (the facade keeps them all) must not keep the room that
    // a failed or lying item left unused.
    if (HoldsSpareRoom(result.size(), result.capacity()))
        result.shrink_to_fit();
    return result;
}

void TZABaseArchiver::CheckItemIndex(int32_t index) const {
    if (index < 0 || index >= dirManager_->Items.Count())
        throw EZAException::Create(neExtractIndex, this);
}

int64_t TZABaseArchiver::ExtractionReserve(int32_t index) const {
    const TDirItem& item = dirManager_->Items.GetItem(index);
    const uint64_t offset = item.FullLocalHeaderOffset();
    const uint64_t streamSize = static_cast<uint64_t>(archiveStream_->Size());
    const uint64_t present =
        std::min(item.FullCompressedSize(), offset < streamSize ? streamSize - offset : 0);
    return static_cast<int64_t>(
        RoomUpFront(item.CompressionMethod, item.FullUncompressedSize(), present));
}

bool TZABaseArchiver::FindItemByName(const std::string& name, int32_t& index) {
    TZADirArray& items = dirManager_->Items;
    if (items.FindName(name, index))
        return true;
    const std::string mask = MaskAsHeld(name);
    // The search would find the same item as stored, or stored with a final "/" (a file item
    // named like a folder), here without a walk over the directory. A mask that is the name
    // itself was looked up already.
    if (mask.find_first_of("*?") == std::string::npos &&
        ((mask != name && items.FindName(mask, index)) || items.FindName(mask + '/', index)))
        return true;
    // No item matches a name too long to be a mask.
    if (mask.size() >= TInternalSearchRec::kMaskCapacity)
        return false;
    TZAArchiveItem found;
    if (!FindFirst(name, found, kAllItemsAttr))
        return false;
    index = found.InternalSearchRec.DirItemIndex;
    return true;
}

void TZABaseArchiver::ExtractItemToStream(int32_t index, TStream& output) {
    CheckItemIndex(index);
    // A cancel answered during an earlier extraction must not excuse a failure of this one.
    ProgressCancelled = false;
    TDirItem& item = dirManager_->Items.ItemRef(index);
    TZAVolumeNumberInfo volume;
    volume.LastNumber = static_cast<int32_t>(dirManager_->ThisDiskNumber());
    volume.SetNumber(item.DiskNumberStart != kSaturated16 ? item.DiskNumberStart
                     : dirManager_->IsZip64 ? static_cast<int32_t>(item.DiskNumberStart32)
                                            : 0);
    SelectVolume(volume);
    archiveStream_->SetPosition(static_cast<int64_t>(
        std::min<uint64_t>(item.FullLocalHeaderOffset(), std::numeric_limits<int64_t>::max())));
    const bool ok = ExtractItemData(*archiveStream_, output, item);
    if (!ok && !ProgressCancelled && !ExtractCorruptedFiles && !SkipCurrentFile)
        throw EZAException::Create(neCorruptedItem, this);
}

bool TZABaseArchiver::ExtractItemData(TStream& archive, TStream& output, TDirItem& item) {
    return TZAItemDecoder(*this, archive, output, item, decodingScratch_).Run();
}
