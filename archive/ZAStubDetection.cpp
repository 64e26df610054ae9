#include "ZADirManager.h"
#include "ZALittleEndian.h"
#include "ZASignatureFinder.h"
#include "runtime/Streams.h"

#include <algorithm>
#include <optional>
#include <string>

using namespace za;

namespace {

constexpr int64_t kStubSearchBlock = 10000;
// Items whose local headers may show the bytes in front of the archive.
constexpr int32_t kPrefixWitnesses = 64;

// Positions and restores the stream around a look-ahead.
class PositionKeeper {
public:
    explicit PositionKeeper(TStream& stream) : stream_(stream), saved_(stream.Position()) {}
    ~PositionKeeper() { stream_.SetPosition(saved_); }
    PositionKeeper(const PositionKeeper&) = delete;
    PositionKeeper& operator=(const PositionKeeper&) = delete;

private:
    TStream& stream_;
    int64_t saved_;
};

// What a writer may leave out of a local header and give elsewhere: the CRC and both sizes in
// a data descriptor after the data, the sizes in a Zip64 extra field.
struct LeftOut {
    bool crc;
    bool sizes;
};

LeftOut LeftOutOf(const unsigned char* localHeader) {
    const bool described = (Le16(localHeader + local::kFlags) & kFlagDataDescriptor) != 0;
    const bool zip64 = Le32(localHeader + local::kCompressedSize) == kSaturated32 ||
                       Le32(localHeader + local::kUncompressedSize) == kSaturated32;
    return {described, described || zip64};
}

} // namespace

// Finds data prepended to the archive, StubSize the position of its first local header, and
// moves the offsets that do not count it.
void TZADirManager::DetectStub(int64_t directoryEnd) {
    // The items read, as many as the directory record counts: a Zip64 archive may say 0 in the
    // old end record.
    if (Items.Count() == 0) {
        StubSize = directoryEnd;
        return;
    }
    if (const auto prefix = PrefixFromRecords(directoryEnd)) {
        StubSize = prefix->confirmedAt;
        MoveFileOffsets(prefix->size);
        return;
    }
    SearchFirstLocalHeader();
    // Offsets written relative to the archive's own start lie before it.
    const int32_t withData = FirstItemWithData();
    if (withData >= 0 &&
        Items.GetItem(withData).FullLocalHeaderOffset() < static_cast<uint64_t>(StubSize))
        MoveFileOffsets(StubSize);
}

// How far behind the place its records give the directory lies: the bytes in front of an
// archive whose offsets count from its own start. Believed when an item's own local header
// lies as far behind its stated offset, the first such among the first items: one wrong offset,
// such as a folder's that no extraction uses, does not decide for the others, and a directory
// of millions of items is not read a second time.
std::optional<TZADirManager::Prefix> TZADirManager::PrefixFromRecords(int64_t directoryEnd) {
    const StatedDirectory stated = DirectoryRecord();
    const auto end = static_cast<uint64_t>(directoryEnd);
    if (stated.offset > end || stated.size > end - stated.offset)
        return std::nullopt;
    const uint64_t prefix = end - stated.offset - stated.size;
    const uint64_t room = static_cast<uint64_t>(stream_->Size()) - prefix;
    PositionKeeper keeper(*stream_);
    int64_t central = CentralDirStart;
    for (int32_t i = 0; i < std::min(Items.Count(), kPrefixWitnesses); ++i) {
        const TDirItem& item = Items.GetItem(i);
        const uint64_t offset = item.FullLocalHeaderOffset();
        const auto at = static_cast<int64_t>(offset + prefix);
        if (offset < room && LocalHeaderOf(at, central, item))
            return Prefix{static_cast<int64_t>(prefix), at};
        central +=
            kCentralHeaderSize + item.FileNameLength + item.ExtraFieldLength + item.CommentLength;
    }
    return std::nullopt;
}

// The first item, in directory order, with stored data, whose offset extraction depends on;
// -1 when none has any.
int32_t TZADirManager::FirstItemWithData() const {
    for (int32_t i = 0; i < Items.Count(); ++i)
        if (Items.GetItem(i).CompressedSize != 0)
            return i;
    return -1;
}

// Sets StubSize to the first local header, from item 0's offset on, that could be item 0's.
void TZADirManager::SearchFirstLocalHeader() {
    PositionKeeper keeper(*stream_);
    SignatureFinder finder(*stream_, LocalHeaderSignature(), kStubSearchBlock);
    int64_t start = static_cast<int64_t>(
        std::min<uint64_t>(Items.GetItem(0).FullLocalHeaderOffset(), finder.StreamSize()));
    while (start < finder.StreamSize()) {
        const int64_t q = finder.Next(start);
        if (q < 0)
            return;
        if (q == 0 || LocalHeaderMatchesFirstItem(q)) {
            StubSize = q;
            return;
        }
        start = q + 1;
    }
}

bool TZADirManager::LocalHeaderMatchesFirstItem(int64_t position) {
    const TDirItem& first = Items.GetItem(0);
    const auto header = LocalHeaderOf(position, CentralDirStart, first);
    if (!header)
        return false;
    const unsigned char* h = header->data();
    const LeftOut left = LeftOutOf(h);
    return Le16(h + local::kVersionNeeded) == first.VersionNeeded &&
           Le16(h + local::kMethod) == first.CompressionMethod &&
           Le16(h + local::kTime) == first.ModTime && Le16(h + local::kDate) == first.ModDate &&
           (left.crc || Le32(h + local::kCrc) == first.Crc32) &&
           (left.sizes || (Le32(h + local::kCompressedSize) == first.CompressedSize &&
                           Le32(h + local::kUncompressedSize) == first.UncompressedSize));
}

// The fixed bytes of the local header at a position when it is the item's: it carries the
// local signature and, byte for byte, the name the item's central header gives. Another
// item's header names another item, and no stretch of data is taken for a header.
std::optional<TZADirManager::LocalHeaderBytes>
TZADirManager::LocalHeaderOf(int64_t position, int64_t centralHeader, const TDirItem& item) {
    LocalHeaderBytes header;
    stream_->SetPosition(position);
    if (stream_->Read(header.data(), kLocalHeaderSize) != kLocalHeaderSize ||
        Le32(header.data()) != LocalHeaderSignature() ||
        Le16(header.data() + local::kNameLength) != item.FileNameLength)
        return std::nullopt;
    const int64_t length = item.FileNameLength;
    std::string localName(item.FileNameLength, '\0');
    std::string centralName(item.FileNameLength, '\0');
    if (stream_->Read(localName.data(), length) != length)
        return std::nullopt;
    stream_->SetPosition(centralHeader + kCentralHeaderSize);
    if (stream_->Read(centralName.data(), length) != length || localName != centralName)
        return std::nullopt;
    return header;
}

// The bytes in front are added to every file item's offset; folder items keep theirs. An
// offset that no longer fits 32 bits moves to its Zip64 value.
void TZADirManager::MoveFileOffsets(int64_t prefix) {
    if (prefix == 0)
        return;
    for (int32_t i = 0; i < Items.Count(); ++i) {
        TDirItem& item = Items.ItemRef(i);
        if (item.ExternalAttributes & faDirectory)
            continue;
        const uint64_t corrected = item.FullLocalHeaderOffset() + static_cast<uint64_t>(prefix);
        if (item.LocalHeaderOffset != kSaturated32 && corrected < kSaturated32) {
            item.LocalHeaderOffset = static_cast<uint32_t>(corrected);
        } else {
            item.LocalHeaderOffset = kSaturated32;
            item.LocalHeaderOffset64 = corrected;
        }
    }
}
