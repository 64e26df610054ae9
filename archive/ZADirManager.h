#pragma once

#include "ZAConst.h"
#include "ZADirArray.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TStream;
class TZABaseArchiver;

// Reads an archive's central directory into directory items, or rebuilds it from the local
// headers when the directory cannot be found or read.
class TZADirManager {
public:
    TZADirManager(TStream& stream, TZABaseArchiver& archiver, bool createMode);
    TZADirManager(const TZADirManager&) = delete;
    TZADirManager& operator=(const TZADirManager&) = delete;

    void ReadCentralDir();
    // Whether an end record is there; always true while a damaged directory may be rebuilt.
    bool HasEndRecord();
    // Writes the end record of an archive without items at the start of the stream.
    void WriteEmptyCentralDir();

    // The volume that holds the end record, from the end record or the Zip64 locator.
    uint32_t ThisDiskNumber() const;

    bool CreateMode() const { return createMode_; }
    bool CustomStream() const { return customStream_; }

    TZADirArray UpdateItems;
    TZADirArray Items;
    std::string ArchiveComment;
    std::array<unsigned char, za::kZip64LocatorSize> Zip64Locator{};
    std::array<unsigned char, za::kZip64EndRecordSize> Zip64EndRecord{};
    std::array<unsigned char, za::kEndRecordSize> EndRecord{};
    int64_t StubSize = 0;
    bool IsZip64 = false;
    int64_t CentralDirStart = 0;

private:
    // The directory's place and item count as its records give them.
    struct StatedDirectory {
        uint64_t offset, size, count;
    };
    // Bytes in front of the archive and the local header that showed them.
    struct Prefix {
        int64_t size, confirmedAt;
    };
    using LocalHeaderBytes = std::array<unsigned char, za::kLocalHeaderSize>;
    struct EndRecordSearch {
        bool found = false;
        int64_t position = -1;
        std::array<unsigned char, za::kEndRecordSize> record{};
    };

    void ResetDir();
    EndRecordSearch FindEndRecord(uint32_t signature);
    EndRecordSearch FindFormatEndRecord();
    int64_t ReadZip64Records(int64_t endRecordPosition);
    bool ReadZip64EndRecordAt(uint64_t position);
    StatedDirectory DirectoryRecord() const;
    uint64_t PositionAtDirectory(int64_t directoryEnd);
    void ReadItems(uint64_t announced);
    void ReadItem(int32_t index);
    // The next bytes of the stream into a string whose room is reused.
    void ReadBytes(size_t length, std::string& into);
    std::u16string DecodedName(std::string_view storedName,
                               const std::vector<TDirItemExtra>& extras, const TDirItem& item);
    void ReadExtraField(TDirItem& item);
    void CheckSizes();
    void DetectStub(int64_t directoryEnd);
    std::optional<Prefix> PrefixFromRecords(int64_t directoryEnd);
    int32_t FirstItemWithData() const;
    void SearchFirstLocalHeader();
    bool LocalHeaderMatchesFirstItem(int64_t position);
    std::optional<LocalHeaderBytes> LocalHeaderOf(int64_t position, int64_t centralHeader,
                                                  const TDirItem& item);
    void MoveFileOffsets(int64_t prefix);
    void RebuildFromLocalHeaders();
    int32_t AddRebuiltItem(int64_t position, const unsigned char* header, int64_t streamSize);
    void ApplyDataDescriptor(int32_t index, int64_t descriptorPosition);
    uint32_t LocalHeaderSignature() const;

    TStream* stream_;
    // A header's stored name (for the rebuild with its extra field behind) or its comment:
    // one room from header to header.
    std::string headerBytes_;
    bool createMode_;
    bool customStream_;
    TZABaseArchiver& archiver_;
};
