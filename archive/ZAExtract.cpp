#include "ZAAesItem.h"
#include "ZAConst.h"
#include "ZADirManager.h"
#include "ZAExcept.h"
#include "ZAItemDecoder.h"
#include "ZALittleEndian.h"
#include "ZAOutputRoom.h"
#include "ZAScopedValue.h"
#include "ZipArchiver.h"
#include "platform/CodePages.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>

using namespace za;

namespace {

// The archiver's side of decoding one item: its working fields and its events.
class TArchiverDecodingHost final : public TZADecodingHost {
public:
    TArchiverDecodingHost(TZABaseArchiver& archiver, const TDirItem& item)
        : archiver_(archiver), item_(item) {}

    void DataFound(int64_t size) override { archiver_.BytesToProcess = size; }

    bool Cancelled(int64_t consumed) override {
        archiver_.BytesProcessed = consumed;
        return archiver_.ReportProgress && CancelledByEvents();
    }

    std::optional<std::string> NextPassword() override {
        archiver_.DoPassword(StoredName(), archiver_.Password, archiver_.SkipCurrentFile);
        if (archiver_.SkipCurrentFile)
            return std::nullopt;
        return archiver_.Password;
    }

private:
    bool CancelledByEvents() {
        const double itemShare = static_cast<double>(archiver_.BytesProcessed) /
                                 static_cast<double>(archiver_.BytesToProcess);
        const auto operation = TZAProcessOperation(item_.Operation);
        archiver_.DoFileProgress(StoredName(), itemShare * 100, operation, ppProcess,
                                 archiver_.ProgressCancelled);
        if (!archiver_.ProgressCancelled)
            archiver_.DoOverallProgress((itemShare + archiver_.FilesDone) / archiver_.FilesTotal *
                                            100,
                                        operation, ppProcess, archiver_.ProgressCancelled);
        return archiver_.ProgressCancelled;
    }

    std::string StoredName() const { return platform::WideToAnsi(item_.FileName); }

    TZABaseArchiver& archiver_; // whose fields and events the item's decoding reaches
    const TDirItem& item_;      // the item being decoded
};

} // namespace

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
    ReserveRoom(output, static_cast<uint64_t>(ExtractionReserve(index)));
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
        RoomUpFront(CompressionMethodOf(item), item.FullUncompressedSize(), present));
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
    const auto localHeader = static_cast<int64_t>(
        std::min<uint64_t>(item.FullLocalHeaderOffset(), std::numeric_limits<int64_t>::max()));
    archiveStream_->SetPosition(localHeader);
    CheckItemPlace(index, item);
    archiveStream_->SetPosition(localHeader);
    const bool ok = ExtractItemData(*archiveStream_, output, item);
    if (!ok && !ProgressCancelled && !ExtractCorruptedFiles && !SkipCurrentFile)
        throw EZAException::Create(neCorruptedItem, this);
}

// A header that cannot be read is left to the decoder, which fails the item for it.
void TZABaseArchiver::CheckItemPlace(int32_t index, const TDirItem& item) {
    unsigned char header[kLocalHeaderSize];
    if (archiveStream_->Read(header, kLocalHeaderSize) != kLocalHeaderSize)
        return;
    std::string localName(Le16(header + local::kNameLength), '\0');
    if (archiveStream_->Read(localName.data(), static_cast<int64_t>(localName.size())) !=
        static_cast<int64_t>(localName.size()))
        return;
    const auto refused = [&](NativeError error) {
        return EZAException::CreateWithArgs(error, this, {platform::WideToAnsi(item.FileName)});
    };
    if (!dirManager_->NamesItem(localName, item))
        throw refused(neLocalNameDiffers);
    if (!itemLayout_)
        itemLayout_ = std::make_unique<TZAItemLayout>(dirManager_->Items);
    const std::optional<uint64_t> end = itemLayout_->EndOf(item, index);
    const uint64_t dataStart =
        static_cast<uint64_t>(archiveStream_->Position()) + Le16(header + local::kExtraLength);
    if (end && (dataStart > *end || item.FullCompressedSize() > *end - dataStart))
        throw refused(neOverlappingItem);
}

bool TZABaseArchiver::ExtractItemData(TStream& archive, TStream& output, TDirItem& item) {
    // A skip answered for an earlier item must not excuse a failure of this one.
    SkipCurrentFile = false;
    TArchiverDecodingHost host(*this, item);
    const TZADecodingRequest request{
        .Archive = archive,
        .Output = output,
        .Item = item,
        .DataEnd =
            spanningMode_ == smNone ? std::optional(dirManager_->CentralDirStart) : std::nullopt,
        // Progress events come a chunk at a time, so they keep the chunked path.
        .MayDecodeWhole = DecodeWholeItems && !ReportProgress,
        .Password = Password,
        .Host = host};
    const TZADecodingOutcome outcome = TZAItemDecoder(request, decodingScratch_).Run();
    if (outcome.Consumed)
        BytesProcessed = *outcome.Consumed;
    ItemsDecodedWhole += outcome.DecodedWhole ? 1 : 0;
    return outcome.Complete && (SkipCurrentFile || outcome.CrcMatches);
}
