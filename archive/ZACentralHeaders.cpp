#include "ZADirManager.h"
#include "ZALittleEndian.h"
#include "platform/CodePages.h"
#include "runtime/Streams.h"

#include <algorithm>
#include <limits>

using namespace za;

void TZADirManager::ReadItems(const DirectoryToRead& directory) {
    // Every central header takes at least 46 bytes, so no more items can be read than the
    // rest of the stream holds; the slots of a larger announced count are never allocated,
    // the read simply fails where the bytes run out.
    const int64_t position = stream_->Position();
    const int64_t available = position < 0 ? 0 : std::max<int64_t>(stream_->Size() - position, 0);
    const uint64_t readable = static_cast<uint64_t>(available / kCentralHeaderSize) + 1;
    const uint64_t count =
        std::min({directory.count, readable, uint64_t{std::numeric_limits<int32_t>::max()}});
    Items.SetCount(0);
    Items.SetCount(static_cast<int32_t>(count));
    for (int32_t i = 0; i < Items.Count(); ++i)
        ReadItem(i);
    // A 16-bit count wraps round past 65,535 items where no Zip64 records say more: the
    // headers behind the counted ones are read too.
    while (Items.Count() < std::numeric_limits<int32_t>::max() &&
           CentralHeaderBefore(directory.end)) {
        Items.SetCount(Items.Count() + 1);
        ReadItem(Items.Count() - 1);
    }
}

// Whether a whole central header starts at the stream's position before the directory's end.
// The stream keeps its position.
bool TZADirManager::CentralHeaderBefore(int64_t directoryEnd) {
    const int64_t position = stream_->Position();
    if (directoryEnd - position < kCentralHeaderSize)
        return false;
    const std::optional<uint32_t> signature = SignatureAt(position);
    stream_->SetPosition(position);
    return signature == kCentralHeaderSignature;
}

void TZADirManager::ReadItem(int32_t index) {
    if (index == 0)
        CentralDirStart = stream_->Position();
    unsigned char header[kCentralHeaderSize];
    stream_->ReadBuffer(header, kCentralHeaderSize);
    TDirItem& item = Items.ItemRef(index);
    item.ReadCentralHeader(header);
    ReadBytes(item.FileNameLength, headerBytes_);
    ReadExtraField(item);
    Items.Rename(index, DecodedName(headerBytes_, item.Extras, item));
    TDirItem& named = Items.ItemRef(index);
    // Into the item only once read whole: a failed read leaves it without a comment.
    ReadBytes(named.CommentLength, headerBytes_);
    named.Comment = headerBytes_;
    if (named.Flags & kFlagUtf8)
        named.Comment = platform::Utf8ToAnsi(named.Comment);
}

void TZADirManager::ReadExtraField(TDirItem& item) {
    const int64_t m = item.ExtraFieldLength;
    if (m == 0)
        return;
    const int64_t commentStart = stream_->Position() + m;
    item.HasZip64Extra = false;
    for (int64_t consumed = 0; consumed < m;) {
        // An entry header that does not fit ends the extra field; the comment follows at the
        // place the field's length gives.
        if (m - consumed < 4) {
            stream_->SetPosition(commentStart);
            break;
        }
        unsigned char entryHeader[4];
        stream_->ReadBuffer(entryHeader, 4);
        consumed += 4;
        TDirItemExtra& extra = item.Extras.emplace_back();
        extra.HeaderId = Le16(entryHeader);
        extra.DataSize =
            static_cast<uint16_t>(std::min<int64_t>(Le16(entryHeader + 2), m - consumed));
        extra.Data.assign(extra.DataSize, '\0');
        stream_->ReadBuffer(extra.Data.data(), extra.DataSize);
        consumed += extra.DataSize;
        if (extra.HeaderId != kZip64ExtraId)
            continue;
        const auto* data = reinterpret_cast<const unsigned char*>(extra.Data.data());
        size_t offset = 0;
        // Only the saturated fields have values here, in this order; one that does not fit
        // stays zero, and so do those after it.
        auto take64 = [&](uint32_t field, uint64_t& value) {
            if (field != kSaturated32)
                return true;
            if (offset + 8 > extra.Data.size())
                return false;
            value = Le64(data + offset);
            offset += 8;
            return true;
        };
        if (take64(item.UncompressedSize, item.UncompressedSize64) &&
            take64(item.CompressedSize, item.CompressedSize64) &&
            take64(item.LocalHeaderOffset, item.LocalHeaderOffset64) &&
            item.DiskNumberStart == kSaturated16 && offset + 4 <= extra.Data.size())
            item.DiskNumberStart32 = Le32(data + offset);
        item.HasZip64Extra = true;
    }
}
