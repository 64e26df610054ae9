#include "ZADirManager.h"

#include "ZAExcept.h"
#include "ZALittleEndian.h"
#include "ZAZlib.h"
#include "ZipArchiver.h"
#include "platform/CodePages.h"
#include "runtime/Exception.h"
#include "runtime/Streams.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

using namespace za;

namespace {

constexpr int64_t kEndRecordSearchSpan = 65600;
constexpr int64_t kLocalHeaderSearchBlock = 65535;
constexpr int64_t kStubSearchBlock = 10000;
// Items whose local headers may show the bytes in front of the archive.
constexpr int32_t kPrefixWitnesses = 64;
constexpr uint16_t kMaxRebuiltNameLength = 260;

// The first place in [begin, end) where the four signature bytes start, or end. Only the
// places holding the signature's first byte are compared, and the library finds those.
const unsigned char* FindSignature(const unsigned char* begin, const unsigned char* end,
                                   const unsigned char (&signature)[4]) {
    for (const unsigned char* p = begin; end - p >= 4; ++p) {
        p = static_cast<const unsigned char*>(
            std::memchr(p, signature[0], static_cast<size_t>(end - p - 3)));
        if (p == nullptr)
            break;
        if (std::memcmp(p, signature, 4) == 0)
            return p;
    }
    return end;
}

// Finds a 4-byte signature forward from a position, reading the stream in blocks. Searches
// that start inside a stretch already searched reuse its answer, so a scan that asks again
// and again from later positions reads the stream about once.
class SignatureFinder {
public:
    SignatureFinder(TStream& stream, uint32_t signature, int64_t blockSize)
        : stream_(stream), blockSize_(blockSize), streamSize_(stream.Size()) {
        PutLe32(signature_, signature);
    }

    // The first position at or after from where the signature starts, or -1.
    int64_t Next(int64_t from) {
        from = std::max<int64_t>(from, 0);
        if (answered_ && from >= askedFrom_ && (answer_ < 0 || from <= answer_))
            return answer_;
        const int64_t saved = stream_.Position();
        answer_ = Search(from);
        askedFrom_ = from;
        answered_ = true;
        stream_.SetPosition(saved);
        return answer_;
    }

    int64_t StreamSize() const { return streamSize_; }

private:
    int64_t Search(int64_t from) {
        while (from + 4 <= streamSize_) {
            if (!(from >= blockStart_ && from + 4 <= blockStart_ + BlockLength()))
                LoadBlock(from);
            const auto* block = reinterpret_cast<const unsigned char*>(block_.data());
            const unsigned char* end = block + block_.size();
            const unsigned char* hit = FindSignature(block + (from - blockStart_), end, signature_);
            if (hit != end)
                return blockStart_ + (hit - block);
            // A signature may straddle the block end: go on three bytes before it. A stream
            // that delivers less than it claims can leave the search with nowhere further.
            const int64_t next = blockStart_ + BlockLength() - 3;
            if (next <= from || blockStart_ + BlockLength() >= streamSize_)
                break;
            from = next;
        }
        return -1;
    }

    int64_t BlockLength() const { return static_cast<int64_t>(block_.size()); }

    void LoadBlock(int64_t from) {
        block_.resize(static_cast<size_t>(std::min(blockSize_, streamSize_ - from)));
        stream_.SetPosition(from);
        block_.resize(static_cast<size_t>(stream_.Read(block_.data(), BlockLength())));
        blockStart_ = from;
    }

    TStream& stream_;
    unsigned char signature_[4];
    int64_t blockSize_;
    int64_t streamSize_;
    std::string block_;
    int64_t blockStart_ = 0;
    bool answered_ = false;
    int64_t askedFrom_ = 0;
    int64_t answer_ = -1;
};

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

// Field offsets of the records.
namespace end_record {
constexpr int kThisDisk = 4, kDirectoryDisk = 6, kTotalEntries = 10, kDirectorySize = 12,
              kDirectoryOffset = 16, kCommentLength = 20;
}
namespace locator {
constexpr int kEndRecordOffset = 8, kTotalDisks = 16;
}
namespace zip64_end {
constexpr int kDirectoryDisk = 20, kTotalEntries = 32, kDirectorySize = 40, kDirectoryOffset = 48;
}

} // namespace

TZADirManager::TZADirManager(TStream& stream, TZABaseArchiver& archiver, bool createMode)
    : stream_(&stream), createMode_(createMode), customStream_(archiver.ArchiveStream() != &stream),
      archiver_(archiver) {
    ResetDir();
    if (createMode)
        archiver.CurrentVolume().SetFirst(true);
}

void TZADirManager::ResetDir() {
    Items.SetCount(0);
    EndRecord.fill(0);
    PutLe32(EndRecord.data(), kEndOfCentralDirSignature);
}

uint32_t TZADirManager::LocalHeaderSignature() const {
    return archiver_.IsZipFormat() ? kLocalHeaderSignature : kAltLocalHeaderSignature;
}

TZADirManager::EndRecordSearch TZADirManager::FindEndRecord(uint32_t signature) {
    ArchiveComment.clear();
    EndRecordSearch result;
    const int64_t size = stream_->Size();
    const int64_t n = std::min(kEndRecordSearchSpan, size);
    std::string tail(static_cast<size_t>(n), '\0');
    stream_->SetPosition(size - n);
    stream_->ReadBuffer(tail.data(), n);
    unsigned char sig[4];
    PutLe32(sig, signature);
    const auto* bytes = reinterpret_cast<const unsigned char*>(tail.data());
    const unsigned char* const end = bytes + n;
    // The record nearest the end whose comment length fits wins: the last one found.
    const unsigned char* record = nullptr;
    for (const unsigned char* p = FindSignature(bytes, end, sig); p != end;
         p = FindSignature(p + 1, end, sig)) {
        const int64_t recordEnd = size - n + (p - bytes) + kEndRecordSize;
        if (recordEnd <= size && Le16(p + end_record::kCommentLength) == size - recordEnd)
            record = p;
    }
    if (record == nullptr)
        return result;
    const int64_t inTail = record - bytes;
    const uint16_t commentLength = Le16(record + end_record::kCommentLength);
    result.found = true;
    result.position = size - n + inTail;
    std::memcpy(result.record.data(), record, kEndRecordSize);
    ArchiveComment.assign(tail, static_cast<size_t>(inTail + kEndRecordSize), commentLength);
    stream_->SetPosition(result.position + kEndRecordSize + commentLength);
    return result;
}

TZADirManager::EndRecordSearch TZADirManager::FindFormatEndRecord() {
    if (archiver_.IsZipFormat())
        return FindEndRecord(kEndOfCentralDirSignature);
    EndRecordSearch alternate = FindEndRecord(kAltEndOfCentralDirSignature);
    return alternate.found ? alternate : FindEndRecord(kEndOfCentralDirSignature);
}

bool TZADirManager::HasEndRecord() {
    const auto search = FindEndRecord(archiver_.IsZipFormat() ? kEndOfCentralDirSignature
                                                              : kAltEndOfCentralDirSignature);
    if (search.found)
        EndRecord = search.record;
    return search.found || archiver_.RebuildDirOnError;
}

void TZADirManager::WriteEmptyCentralDir() {
    stream_->SetPosition(0);
    stream_->WriteBuffer(EndRecord.data(), kEndRecordSize);
    stream_->WriteBuffer(ArchiveComment.data(), static_cast<int64_t>(ArchiveComment.size()));
}

uint32_t TZADirManager::ThisDiskNumber() const {
    const uint16_t thisDisk = Le16(EndRecord.data() + end_record::kThisDisk);
    if (thisDisk != kSaturated16)
        return thisDisk;
    return IsZip64 ? Le32(Zip64Locator.data() + locator::kTotalDisks) - 1 : 0;
}

// Returns where the directory is taken to end: the end record, or for Zip64 the Zip64 end
// record of 56 bytes right before the locator.
int64_t TZADirManager::ReadZip64Records(int64_t p) {
    IsZip64 = false;
    if (p > kZip64LocatorSize) {
        stream_->SetPosition(p - kZip64LocatorSize);
        stream_->ReadBuffer(Zip64Locator.data(), kZip64LocatorSize);
        IsZip64 = Le32(Zip64Locator.data()) == kZip64LocatorSignature;
    }
    if (!IsZip64)
        return p;
    p -= kZip64LocatorSize;
    // An archive without items has its Zip64 end record at the very start.
    if (p < kZip64EndRecordSize)
        throw EZAException::Create(neZip64EndRecordMissing);
    // Behind a stub the locator's offset counts from the archive's own start; the record
    // of 56 bytes right before the locator is then the one it means.
    const uint64_t stated = Le64(Zip64Locator.data() + locator::kEndRecordOffset);
    if (!ReadZip64EndRecordAt(stated) &&
        !ReadZip64EndRecordAt(static_cast<uint64_t>(p - kZip64EndRecordSize)))
        throw EZAException::Create(neZip64EndRecordMissing);
    return p - kZip64EndRecordSize;
}

bool TZADirManager::ReadZip64EndRecordAt(uint64_t position) {
    if (position > static_cast<uint64_t>(stream_->Size() - kZip64EndRecordSize))
        return false;
    stream_->SetPosition(static_cast<int64_t>(position));
    stream_->ReadBuffer(Zip64EndRecord.data(), kZip64EndRecordSize);
    return Le32(Zip64EndRecord.data()) == kZip64EndOfCentralDirSignature;
}

TZADirManager::StatedDirectory TZADirManager::DirectoryRecord() const {
    if (IsZip64)
        return {Le64(Zip64EndRecord.data() + zip64_end::kDirectoryOffset),
                Le64(Zip64EndRecord.data() + zip64_end::kDirectorySize),
                Le64(Zip64EndRecord.data() + zip64_end::kTotalEntries)};
    return {Le32(EndRecord.data() + end_record::kDirectoryOffset),
            Le32(EndRecord.data() + end_record::kDirectorySize),
            Le16(EndRecord.data() + end_record::kTotalEntries)};
}

// Positions the stream at the first central header; returns the announced item count.
uint64_t TZADirManager::PositionAtDirectory(int64_t directoryEnd) {
    const StatedDirectory stated = DirectoryRecord();
    // For one volume the stored offset is not used: the directory is the block of the stated
    // size that ends where the end records begin.
    stream_->SetPosition(archiver_.SpanningMode() != smNone
                             ? static_cast<int64_t>(stated.offset)
                             : directoryEnd -
                                   static_cast<int64_t>(std::min<uint64_t>(
                                       stated.size, std::numeric_limits<int64_t>::max() / 2)));
    return stated.count;
}

void TZADirManager::ReadCentralDir() {
    ResetDir();
    StubSize = 0;
    const EndRecordSearch end = FindFormatEndRecord();
    if (!end.found) {
        RebuildFromLocalHeaders();
        return;
    }
    EndRecord = end.record;
    const int64_t directoryEnd = ReadZip64Records(end.position);
    if (!IsZip64 && Le16(EndRecord.data() + end_record::kTotalEntries) == kSaturated16) {
        RebuildFromLocalHeaders();
        return;
    }
    const uint64_t announced = PositionAtDirectory(directoryEnd);
    try {
        ReadItems(announced);
    } catch (const std::exception&) {
        if (!archiver_.RebuildDirOnError)
            throw;
        RebuildFromLocalHeaders();
        return;
    }
    CheckSizes();
    if (ThisDiskNumber() == 0)
        DetectStub(directoryEnd);
}

void TZADirManager::ReadItems(uint64_t announced) {
    // Every central header takes at least 46 bytes, so no more items can be read than the
    // rest of the stream holds; the slots of a larger announced count are never allocated,
    // the read simply fails where the bytes run out.
    const int64_t position = stream_->Position();
    const int64_t available = position < 0 ? 0 : std::max<int64_t>(stream_->Size() - position, 0);
    const uint64_t readable = static_cast<uint64_t>(available / kCentralHeaderSize) + 1;
    const uint64_t count =
        std::min({announced, readable, uint64_t{std::numeric_limits<int32_t>::max()}});
    Items.SetCount(0);
    Items.SetCount(static_cast<int32_t>(count));
    for (int32_t i = 0; i < Items.Count(); ++i)
        ReadItem(i);
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

void TZADirManager::ReadBytes(size_t length, std::string& into) {
    into.resize(length);
    stream_->ReadBuffer(into.data(), static_cast<int64_t>(length));
}

namespace {

// The UTF-8 name of a Unicode path entry, when it was written for exactly these name bytes.
std::optional<std::string> UnicodePath(const std::vector<TDirItemExtra>& extras,
                                       std::string_view storedName) {
    for (const TDirItemExtra& extra : extras) {
        if (extra.HeaderId != kUnicodePathExtraId || extra.Data.size() < 5 || extra.Data[0] != 1)
            continue;
        const auto* data = reinterpret_cast<const unsigned char*>(extra.Data.data());
        if (Le32(data + 1) == UpdateCrc32(0, storedName.data(), storedName.size()))
            return extra.Data.substr(5);
    }
    return std::nullopt;
}

// The Unicode path entries of an extra field held as bytes, the only ones that can name an
// item; one that claims more than is left is cut.
std::vector<TDirItemExtra> UnicodePathEntries(std::string_view field) {
    std::vector<TDirItemExtra> entries;
    const auto* bytes = reinterpret_cast<const unsigned char*>(field.data());
    for (size_t at = 0; at + 4 <= field.size();) {
        const std::string_view data = field.substr(at + 4, Le16(bytes + at + 2));
        if (Le16(bytes + at) == kUnicodePathExtraId)
            entries.push_back(
                {kUnicodePathExtraId, static_cast<uint16_t>(data.size()), std::string(data)});
        at += 4 + data.size();
    }
    return entries;
}

std::string_view UpToZero(std::string_view name) {
    return name.substr(0, name.find('\0'));
}

} // namespace

// UTF-8 where the item says so, or where it comes from a Unix host, whose tools store the
// names as the file system holds them, now UTF-8 almost everywhere; otherwise the stored
// bytes, from the OEM code page when the options say so. Cut at a zero byte.
std::u16string TZADirManager::DecodedName(std::string_view storedName,
                                          const std::vector<TDirItemExtra>& extras,
                                          const TDirItem& item) {
    if (const auto unicode = UnicodePath(extras, storedName))
        return platform::Utf8ToWide(UpToZero(*unicode));
    const bool fromUnix = item.VersionMadeBy >> 8 == kHostUnix && platform::IsUtf8(storedName);
    if ((item.Flags & kFlagUtf8) || fromUnix)
        return platform::Utf8ToWide(UpToZero(storedName));
    if (!archiver_.Options().OEMFileNames)
        return platform::AnsiToWide(UpToZero(storedName));
    return platform::AnsiToWide(UpToZero(platform::OemToAnsi(storedName)));
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

void TZADirManager::CheckSizes() {
    if (archiver_.RebuildDirOnError || archiver_.SpanningMode() != smNone)
        return;
    const auto size = static_cast<uint64_t>(stream_->Size());
    // Summed so that Zip64 sizes near 2^64 cannot wrap the total round below the size.
    uint64_t total = 0;
    for (int32_t i = 0; i < Items.Count(); ++i) {
        const uint64_t compressed = Items.GetItem(i).FullCompressedSize();
        if (compressed > size - total)
            throw EZAException::Create(neDamagedArchiveSizes);
        total += compressed;
    }
}

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

namespace {

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

bool TZADirManager::LocalHeaderMatchesFirstItem(int64_t q) {
    const TDirItem& first = Items.GetItem(0);
    const auto header = LocalHeaderOf(q, CentralDirStart, first);
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

void TZADirManager::RebuildFromLocalHeaders() {
    Items.Clear();
    if (archiver_.SpanningMode() != smNone)
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

int32_t TZADirManager::AddRebuiltItem(int64_t p, const unsigned char* h, int64_t streamSize) {
    const int32_t index = Items.Count();
    Items.SetCount(index + 1);
    TDirItem& item = Items.ItemRef(index);
    item.Signature = Le32(h);
    item.VersionMadeBy = item.VersionNeeded = Le16(h + local::kVersionNeeded);
    item.Flags = Le16(h + local::kFlags);
    item.CompressionMethod = Le16(h + local::kMethod);
    item.ModTime = Le16(h + local::kTime);
    item.ModDate = Le16(h + local::kDate);
    item.Crc32 = Le32(h + local::kCrc);
    item.CompressedSize = Le32(h + local::kCompressedSize);
    item.UncompressedSize = Le32(h + local::kUncompressedSize);
    item.FileNameLength = Le16(h + local::kNameLength);
    item.ExtraFieldLength = Le16(h + local::kExtraLength);
    const bool hasDescriptor = (item.Flags & kFlagDataDescriptor) != 0;
    item.ExternalAttributes =
        item.UncompressedSize == 0 && !hasDescriptor ? faDirectory : faArchive;
    item.LocalHeaderOffset = static_cast<uint32_t>(p);
    if (p >= int64_t{kSaturated32}) {
        item.LocalHeaderOffset = kSaturated32;
        item.LocalHeaderOffset64 = static_cast<uint64_t>(p);
    }
    const uint16_t nameLength = item.FileNameLength;
    const bool nameFits = nameLength != 0 && p + kLocalHeaderSize + nameLength <= streamSize;
    if (!nameFits) {
        Items.Rename(index, std::u16string());
        return index;
    }
    // The extra field is not kept, but a Unicode path entry in it names the item as the
    // central directory would. Name and field come in one read.
    const bool extraFits = p + kLocalHeaderSize + nameLength + item.ExtraFieldLength <= streamSize;
    stream_->SetPosition(p + kLocalHeaderSize);
    ReadBytes(nameLength + (extraFits ? item.ExtraFieldLength : 0), headerBytes_);
    const std::string_view bytes = headerBytes_;
    const std::string_view storedName = bytes.substr(0, nameLength);
    const auto unicodePaths = UnicodePathEntries(bytes.substr(nameLength));
    Items.Rename(index, DecodedName(storedName, unicodePaths, item));
    return index;
}

void TZADirManager::ApplyDataDescriptor(int32_t index, int64_t d) {
    unsigned char descriptor[kDataDescriptorSize];
    stream_->SetPosition(d);
    stream_->ReadBuffer(descriptor, kDataDescriptorSize);
    TDirItem& described = Items.ItemRef(index);
    described.Crc32 = Le32(descriptor + 4);
    described.CompressedSize = Le32(descriptor + 8);
    described.UncompressedSize = Le32(descriptor + 12);
}
