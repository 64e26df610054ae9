#include "ZADirManager.h"
#include "ZAExcept.h"
#include "ZALittleEndian.h"
#include "ZASignatureFinder.h"
#include "runtime/Streams.h"

using namespace za;

namespace {

constexpr int64_t kLocalHeaderSearchBlock = 65535;
constexpr uint16_t kMaxRebuiltNameLength = 260;

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
    for (; p >= 0; p = nextHeader(p + 4)) {
        unsigned char header[kLocalHeaderSize];
        stream_->SetPosition(p);
        stream_->ReadBuffer(header, kLocalHeaderSize);
        if (Le32(header + local::kCompressedSize) >= static_cast<uint64_t>(size) ||
            Le16(header + local::kNameLength) > kMaxRebuiltNameLength)
            continue;
        const int32_t index = AddRebuiltItem(p, header, size);
        if (!(Items.GetItem(index).Flags & kFlagDataDescriptor))
            continue;
        const int64_t d = descriptors.Next(p);
        if (d >= 0 && size - d >= kDataDescriptorSize)
            ApplyDataDescriptor(index, d);
    }
    CentralDirStart = size;
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
    const bool hasDescriptor = (item.Flags & kFlagDataDescriptor) != 0;
    item.ExternalAttributes =
        item.UncompressedSize == 0 && !hasDescriptor ? faDirectory : faArchive;
    item.LocalHeaderOffset = static_cast<uint32_t>(position);
    if (position >= int64_t{kSaturated32}) {
        item.LocalHeaderOffset = kSaturated32;
        item.LocalHeaderOffset64 = static_cast<uint64_t>(position);
    }
    const uint16_t nameLength = item.FileNameLength;
    const bool nameFits = nameLength != 0 && position + kLocalHeaderSize + nameLength <= streamSize;
    if (!nameFits) {
        Items.Rename(index, std::u16string());
        return index;
    }
    // The extra field is not kept, but a Unicode path entry in it names the item as the
    // central directory would. Name and field come in one read.
    const bool extraFits =
        position + kLocalHeaderSize + nameLength + item.ExtraFieldLength <= streamSize;
    stream_->SetPosition(position + kLocalHeaderSize);
    ReadBytes(nameLength + (extraFits ? item.ExtraFieldLength : 0), headerBytes_);
    Items.Rename(index, DecodedLocalName(headerBytes_, item));
    return index;
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
