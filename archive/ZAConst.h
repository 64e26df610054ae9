#pragma once

#include <cstdint>

namespace za {

// Record signatures of the standard format and of the component's alternate format.
constexpr uint32_t kEndOfCentralDirSignature = 0x06054B50;
constexpr uint32_t kAltEndOfCentralDirSignature = 0x06054141;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr uint32_t kZip64EndOfCentralDirSignature = 0x06064B50;
constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kAltLocalHeaderSignature = 0x05045C61;
constexpr uint32_t kDataDescriptorSignature = 0x08074B50;

constexpr int kEndRecordSize = 22;
constexpr int kZip64LocatorSize = 20;
constexpr int kZip64EndRecordSize = 56;
constexpr int kCentralHeaderSize = 46;
constexpr int kLocalHeaderSize = 30;
constexpr int kDataDescriptorSize = 16;
constexpr int kEncryptionHeaderSize = 12;
constexpr int kBlockHeaderSize = 50;

// Field offsets of the local file header.
namespace local {
constexpr int kVersionNeeded = 4, kFlags = 6, kMethod = 8, kTime = 10, kDate = 12, kCrc = 14,
              kCompressedSize = 18, kUncompressedSize = 22, kNameLength = 26, kExtraLength = 28;
}

constexpr uint16_t kZip64ExtraId = 0x0001;
// The name again in UTF-8, with the CRC-32 of the name bytes it was written for.
constexpr uint16_t kUnicodePathExtraId = 0x7075;
constexpr uint32_t kSaturated32 = 0xFFFFFFFF;
constexpr uint16_t kSaturated16 = 0xFFFF;

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
// Name and comment are UTF-8.
constexpr uint16_t kFlagUtf8 = 0x0800;

// The host system in the high byte of "version made by".
constexpr uint16_t kHostUnix = 3;

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflate = 8;
constexpr uint16_t kMethodDeflate64 = 9;
constexpr uint16_t kMethodBzip2 = 12;
constexpr uint16_t kMethodLzma = 14;
constexpr uint16_t kMethodZstandard = 93;
constexpr uint16_t kMethodXz = 95;
// Not a method of its own: the data is encrypted with AES, its method in an extra field.
constexpr uint16_t kMethodAes = 99;

// Windows file attribute bits.
constexpr uint32_t faReadOnly = 0x01;
constexpr uint32_t faHidden = 0x02;
constexpr uint32_t faSysFile = 0x04;
constexpr uint32_t faVolumeID = 0x08;
constexpr uint32_t faDirectory = 0x10;
constexpr uint32_t faArchive = 0x20;
constexpr uint32_t faNormal = 0x80;
constexpr uint32_t faCompressed = 0x800;
constexpr uint32_t faNotContentIndexed = 0x2000;
// The item attributes that can keep an item out of a search.
constexpr uint32_t kExcludingAttributes = faHidden | faSysFile | faVolumeID | faDirectory;
constexpr int32_t kAllItemsAttr = 10431; // 0x28BF: every bit above

// Native error codes, each naming the place and kind of a failure.
enum NativeError : int32_t {
    neUnknown = 0,
    neSetItemIndex = 1,
    neGetItemIndex = 2,
    neItemRefIndex = 3,
    neDeleteItemIndex = 4,
    neCompressionMode = 5,
    neCorruptedItem = 8,
    neBlankFileName = 9,
    neBlankFileNameForMode = 10,
    neArchiveFileNotFound = 12,
    neArchiveNotOpen = 13,
    neEntryNotFound = 15,
    neExtractIndex = 16,
    neUpdateNotEnded = 26,
    neInMemoryCreateOnly = 28,
    neBlankFileNameInMemory = 29,
    neInvalidArchive = 35,
    neZip64EndRecordMissing = 40,
    neRebuildMultiVolume = 44,
    neDamagedArchiveOpen = 48,
    neCustomStreamMultiVolume = 51,
    neDeflate64 = 55,
    neDamagedArchiveSizes = 57,
    neNameListOutOfStep = 58,
    neNameIndexedElsewhere = 59,
    neFileNameTooLong = 61,
    neUnsupportedMethod = 63,
    neOverlappingItem = 64,
    neLocalNameDiffers = 65,
};

} // namespace za
