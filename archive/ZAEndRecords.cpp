#include "ZADirManager.h"
#include "ZAExcept.h"
#include "ZALittleEndian.h"
#include "ZASignatureFinder.h"
#include "runtime/Streams.h"

#include <algorithm>
#include <cstring>
#include <limits>

using namespace za;

namespace {

constexpr int64_t kEndRecordSearchSpan = 65600;

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

// Whether a local or a central header starts in the bytes.
bool HoldsHeaders(const unsigned char* begin, const unsigned char* end, uint32_t localSignature) {
    for (const uint32_t signature : {localSignature, kCentralHeaderSignature}) {
        unsigned char bytes[4];
        PutLe32(bytes, signature);
        if (FindSignature(begin, end, bytes) != end)
            return true;
    }
    return false;
}

} // namespace

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
    // The record nearest the end whose comment reaches the end exactly wins. Where none does,
    // bytes may have been added after the archive, as a padded or resumed download or an
    // appended signature has them: the record nearest the end whose comment fits before the end
    // wins, unless headers follow it. Those make it the record of an archive stored inside
    // another whose own end record is lost.
    const unsigned char* exact = nullptr;
    const unsigned char* fitting = nullptr;
    for (const unsigned char* p = FindSignature(bytes, end, sig); p != end;
         p = FindSignature(p + 1, end, sig)) {
        const int64_t recordEnd = size - n + (p - bytes) + kEndRecordSize;
        if (recordEnd > size)
            continue;
        const uint16_t commentLength = Le16(p + end_record::kCommentLength);
        if (commentLength == size - recordEnd)
            exact = p;
        else if (commentLength < size - recordEnd)
            fitting = p;
    }
    if (fitting != nullptr &&
        HoldsHeaders(fitting + kEndRecordSize + Le16(fitting + end_record::kCommentLength), end,
                     LocalHeaderSignature()))
        fitting = nullptr;
    const unsigned char* record = exact != nullptr ? exact : fitting;
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
    if (settings_.IsZipFormat)
        return FindEndRecord(kEndOfCentralDirSignature);
    EndRecordSearch alternate = FindEndRecord(kAltEndOfCentralDirSignature);
    return alternate.found ? alternate : FindEndRecord(kEndOfCentralDirSignature);
}

bool TZADirManager::HasEndRecord() {
    const auto search = FindEndRecord(settings_.IsZipFormat ? kEndOfCentralDirSignature
                                                            : kAltEndOfCentralDirSignature);
    if (search.found)
        EndRecord = search.record;
    return search.found;
}

uint32_t TZADirManager::ThisDiskNumber() const {
    const uint16_t thisDisk = Le16(EndRecord.data() + end_record::kThisDisk);
    if (thisDisk != kSaturated16)
        return thisDisk;
    return IsZip64 ? Le32(Zip64Locator.data() + locator::kTotalDisks) - 1 : 0;
}

// Returns where the directory is taken to end: the end record, or for Zip64 the Zip64 end
// record of 56 bytes right before the locator.
int64_t TZADirManager::ReadZip64Records(int64_t endRecordPosition) {
    IsZip64 = false;
    if (endRecordPosition > kZip64LocatorSize) {
        stream_->SetPosition(endRecordPosition - kZip64LocatorSize);
        stream_->ReadBuffer(Zip64Locator.data(), kZip64LocatorSize);
        IsZip64 = Le32(Zip64Locator.data()) == kZip64LocatorSignature;
    }
    if (!IsZip64)
        return endRecordPosition;
    const int64_t locatorPosition = endRecordPosition - kZip64LocatorSize;
    // An archive without items has its Zip64 end record at the very start.
    if (locatorPosition < kZip64EndRecordSize)
        throw EZAException::Create(neZip64EndRecordMissing);
    // Behind a stub the locator's offset counts from the archive's own start; the record
    // of 56 bytes right before the locator is then the one it means.
    const uint64_t stated = Le64(Zip64Locator.data() + locator::kEndRecordOffset);
    const int64_t beforeLocator = locatorPosition - kZip64EndRecordSize;
    if (!ReadZip64EndRecordAt(stated) &&
        !ReadZip64EndRecordAt(static_cast<uint64_t>(beforeLocator)))
        throw EZAException::Create(neZip64EndRecordMissing);
    return beforeLocator;
}

bool TZADirManager::ReadZip64EndRecordAt(uint64_t position) {
    if (position > static_cast<uint64_t>(stream_->Size() - kZip64EndRecordSize))
        return false;
    stream_->SetPosition(static_cast<int64_t>(position));
    stream_->ReadBuffer(Zip64EndRecord.data(), kZip64EndRecordSize);
    return Le32(Zip64EndRecord.data()) == kZip64EndOfCentralDirSignature;
}

// 0xFFFF is a real count where the directory's stated size holds that many headers: writers
// put it for exactly 65,535 items.
bool TZADirManager::ItemCountMissing() const {
    const StatedDirectory stated = DirectoryRecord();
    return !IsZip64 && stated.count == kSaturated16 &&
           stated.size < uint64_t{kSaturated16} * kCentralHeaderSize;
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

// Positions the stream at the first central header.
TZADirManager::DirectoryToRead TZADirManager::PositionAtDirectory(int64_t directoryEnd) {
    const StatedDirectory stated = DirectoryRecord();
    if (settings_.SpanningMode != smNone) {
        stream_->SetPosition(static_cast<int64_t>(stated.offset));
        return {stated.count, 0};
    }
    // For one volume the stored offset is not used: the directory is the block of the stated
    // size that ends where the end records begin.
    stream_->SetPosition(directoryEnd - static_cast<int64_t>(std::min<uint64_t>(
                                            stated.size, std::numeric_limits<int64_t>::max() / 2)));
    return {stated.count, directoryEnd};
}
