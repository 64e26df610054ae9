#include "ZADirManager.h"
#include "ZAExcept.h"
#include "ZALittleEndian.h"
#include "ZASignatureFinder.h"
#include "runtime/Streams.h"

#include <algorithm>
#include <string_view>
#include <vector>

using namespace za;

namespace {

constexpr int64_t kLocalHeaderSearchBlock = 65535;
constexpr uint16_t kMaxRebuiltNameLength = 260;
// Extra entries that only a Unix host writes: the owner of the file, in PKWARE's form and in
// Info-ZIP's two later ones.
constexpr uint16_t kUnixOwnerExtraIds[] = {0x000D, 0x7855, 0x7875};

// The entries of an extra field held as bytes; one that claims more than is left is cut.
std::vector<TDirItemExtra> ExtraEntries(std::string_view field) {
    std::vector<TDirItemExtra> entries;
    const auto* bytes = reinterpret_cast<const unsigned char*>(field.data());
    for (size_t at = 0; at + 4 <= field.size();) {
        const std::string_view data = field.substr(at + 4, Le16(bytes + at + 2));
        entries.push_back(
            {Le16(bytes + at), static_cast<uint16_t>(data.size()), std::string(data)});
        at += 4 + data.size();
    }
    return entries;
}

bool WrittenOnUnix(const std::vector<TDirItemExtra>& extras) {
    return std::any_of(extras.begin(), extras.end(), [](const TDirItemExtra& extra) {
        return std::find(std::begin(kUnixOwnerExtraIds), std::end(kUnixOwnerExtraIds),
                         extra.HeaderId) != std::end(kUnixOwnerExtraIds);
    });
}

// A folder is an item without data whose name ends in "/": an empty file is none.
uint32_t RebuiltAttributes(const TDirItem& item, std::string_view storedName) {
    const bool noData = item.UncompressedSize == 0 && !(item.Flags & kFlagDataDescriptor);
    return noData && storedName.ends_with('/') ? faDirectory : faArchive;
}

} // namespace

void TZADirManager::RebuildFromLocalHeaders() {
    Items.Clear();
    if (settings_.SpanningMode != smNone)
        throw EZAException::Create(neRebuildMultiVolume);
    SignatureFinder headers(*stream_, LocalHeaderSignature(), kLocalHeaderSearchBlock);
    const int64_t size = headers.StreamSize();
    auto nextHeader = [&](int64_t from) {
        const int64_t p = headers.Next(from);
        return p >= 0 && size - p >= kLocalHeaderSize ? p : -1;
    };
    int64_t p = nextHeader(0);
    if (p < 0)
        throw EZAException::Create(neInvalidArchive);
    SignatureFinder descriptors(*stream_, kDataDescriptorSignature, kLocalHeaderSearchBlock);
    for (; p >= 0; p = nextHeader(RebuildItemAt(p, descriptors))) {
    }
    CentralDirStart = size;
}

// Adds the item of the local header at the position when the header is plausible. Returns
// where the search goes on: behind the item's data where its size is known and a record
// starts there, so that the items of an archive stored inside never become items of this
// one; else four bytes on, where a header may still hide in what looked like data.
int64_t TZADirManager::RebuildItemAt(int64_t position, SignatureFinder& descriptors) {
    unsigned char header[kLocalHeaderSize];
    stream_->SetPosition(position);
    stream_->ReadBuffer(header, kLocalHeaderSize);
    const int64_t size = descriptors.StreamSize();
    const int64_t next = position + 4;
    if (Le32(header + local::kCompressedSize) >= static_cast<uint64_t>(size) ||
        Le16(header + local::kNameLength) > kMaxRebuiltNameLength)
        return next;
    const int32_t index = AddRebuiltItem(position, header, size);
    const int64_t dataStart = position + kLocalHeaderSize + Le16(header + local::kNameLength) +
                              Le16(header + local::kExtraLength);
    if (!(Items.GetItem(index).Flags & kFlagDataDescriptor)) {
        const int64_t dataEnd = dataStart + Le32(header + local::kCompressedSize);
        return RecordStartsAt(dataEnd) ? dataEnd : next;
    }
    const int64_t d = descriptors.Next(position);
    if (d < 0 || size - d < kDataDescriptorSize)
        return next;
    ApplyDataDescriptor(index, d);
    return d == dataStart + Items.GetItem(index).CompressedSize ? d + kDataDescriptorSize : next;
}

int32_t TZADirManager::AddRebuiltItem(int64_t position, const unsigned char* header,
                                      int64_t streamSize) {
    const int32_t index = Items.Count();
    Items.SetCount(index + 1);
    TDirItem& item = Items.ItemRef(index);
    item.Signature = Le32(header);
    item.VersionMadeBy = item.VersionNeeded = Le16(header + local::kVersionNeeded);
    item.Flags = Le16(header + local::kFlags);
    item.CompressionMethod = Le16(header + local::kMethod);
    item.ModTime = Le16(header + local::kTime);
    item.ModDate = Le16(header + local::kDate);
    item.Crc32 = Le32(header + local::kCrc);
    item.CompressedSize = Le32(header + local::kCompressedSize);
    item.UncompressedSize = Le32(header + local::kUncompressedSize);
    item.FileNameLength = Le16(header + local::kNameLength);
    item.ExtraFieldLength = Le16(header + local::kExtraLength);
    item.LocalHeaderOffset = static_cast<uint32_t>(position);
    if (position >= int64_t{kSaturated32}) {
        item.LocalHeaderOffset = kSaturated32;
        item.LocalHeaderOffset64 = static_cast<uint64_t>(position);
    }
    const bool nameFits =
        item.FileNameLength != 0 && position + kLocalHeaderSize + item.FileNameLength <= streamSize;
    if (nameFits) {
        NameRebuiltItem(index, position);
    } else {
        item.ExternalAttributes = RebuiltAttributes(item, {});
        Items.Rename(index, std::u16string());
    }
    return index;
}

// Names the item as a central header would, from the name and whatever of the extra field
// follows it: a Unicode path entry names it, and an entry that only a Unix host writes tells
// the host, which no local header does. Name and field come in one read.
void TZADirManager::NameRebuiltItem(int32_t index, int64_t position) {
    TDirItem& item = Items.ItemRef(index);
    const int64_t nameEnd = position + kLocalHeaderSize + item.FileNameLength;
    const bool extraFits = nameEnd + item.ExtraFieldLength <= stream_->Size();
    stream_->SetPosition(position + kLocalHeaderSize);
    ReadBytes(item.FileNameLength + (extraFits ? item.ExtraFieldLength : 0), headerBytes_);
    const std::string_view bytes = headerBytes_;
    const std::string_view storedName = bytes.substr(0, item.FileNameLength);
    const std::vector<TDirItemExtra> extras = ExtraEntries(bytes.substr(item.FileNameLength));
    if (WrittenOnUnix(extras))
        item.VersionMadeBy = static_cast<uint16_t>(kHostUnix << 8 | (item.VersionNeeded & 0xFF));
    item.ExternalAttributes = RebuiltAttributes(item, storedName);
    Items.Rename(index, DecodedName(storedName, extras, item));
}

void TZADirManager::ApplyDataDescriptor(int32_t index, int64_t descriptorPosition) {
    unsigned char descriptor[kDataDescriptorSize];
    stream_->SetPosition(descriptorPosition);
    stream_->ReadBuffer(descriptor, kDataDescriptorSize);
    TDirItem& described = Items.ItemRef(index);
    described.Crc32 = Le32(descriptor + 4);
    described.CompressedSize = Le32(descriptor + 8);
    described.UncompressedSize = Le32(descriptor + 12);
}

// Whether the position is where an item's data may end: the end of the stream, or the start
// of the next local header or of the central directory.
bool TZADirManager::RecordStartsAt(int64_t position) {
    if (position == stream_->Size())
        return true;
    const std::optional<uint32_t> found = SignatureAt(position);
    return found == LocalHeaderSignature() || found == kCentralHeaderSignature;
}
