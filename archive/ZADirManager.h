#pragma once

#include "ZAConst.h"
#include "ZADirArray.h"
#include "ZAOptions.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TStream;
namespace za {
class SignatureFinder;
}

// What the archiver's settings say about reading a directory.
struct TZADirSettings {
    // Standard signatures only, not also the component's alternate ones.
    bool IsZipFormat = true;
    // A directory that cannot be read is rebuilt from the local headers instead.
    bool RebuildDirOnError = true;
    TZASpanningMode SpanningMode = smNone;
    // Names that say nothing of their code page are in the OEM one.
    bool OEMFileNames = true;
};

// Reads an archive's central directory into directory items, or rebuilds it from the local
// headers when the directory cannot be found or read. Each stage has a file of its own: the end
// records and Zip64 (ZAEndRecords.cpp), the central headers (ZACentralHeaders.cpp), the item
// names (ZAItemNames.cpp), the bytes in front of the archive (ZAStubDetection.cpp) and the
// rebuild (ZADirRebuild.cpp).
class TZADirManager {
public:
    TZADirManager(TStream& stream, const TZADirSettings& settings);
    TZADirManager(const TZADirManager&) = delete;
    TZADirManager& operator=(const TZADirManager&) = delete;

    void ReadCentralDir();
    // Whether an end record is there; it is kept in EndRecord.
    bool HasEndRecord();
    // Writes the end record of an archive without items at the start of the stream.
    void WriteEmptyCentralDir();

    // The volume that holds the end record, from the end record or the Zip64 locator.
    uint32_t ThisDiskNumber() const;
    // Whether a local header's name bytes name the item as its central header does.
    bool NamesItem(std::string_view localName, const TDirItem& item);

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
    // The headers to read: as many as counted, and more while they stand before the end of
    // the directory, which is 0 where it is not known.
    struct DirectoryToRead {
        uint64_t count;
        int64_t end;
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
    void CheckSizes();
    uint32_t LocalHeaderSignature() const;
    // The four bytes at the position as a signature; none where the stream ends before them.
    std::optional<uint32_t> SignatureAt(int64_t position);
    // The next bytes of the stream into a string whose room is reused.
    void ReadBytes(size_t length, std::string& into);

    // End records and Zip64.
    EndRecordSearch FindEndRecord(uint32_t signature);
    EndRecordSearch FindFormatEndRecord();
    int64_t ReadZip64Records(int64_t endRecordPosition);
    bool ReadZip64EndRecordAt(uint64_t position);
    // The end record leaves the item count to Zip64 records that are not there.
    bool ItemCountMissing() const;
    StatedDirectory DirectoryRecord() const;
    DirectoryToRead PositionAtDirectory(int64_t directoryEnd);

    // Central headers and their extra fields.
    void ReadItems(const DirectoryToRead& directory);
    bool CentralHeaderBefore(int64_t directoryEnd);
    void ReadItem(int32_t index);
    void ReadExtraField(TDirItem& item);

    // Item names.
    std::u16string DecodedName(std::string_view storedName,
                               const std::vector<TDirItemExtra>& extras, const TDirItem& item);

    // Bytes in front of the archive.
    void DetectStub(int64_t directoryEnd);
    std::optional<Prefix> PrefixFromRecords(int64_t directoryEnd);
    int32_t FirstItemWithData() const;
    void SearchFirstLocalHeader();
    bool LocalHeaderMatchesFirstItem(int64_t position);
    std::optional<LocalHeaderBytes> LocalHeaderOf(int64_t position, int64_t centralHeader,
                                                  const TDirItem& item);
    void MoveFileOffsets(int64_t prefix);

    // The rebuild from local headers.
    void RebuildFromLocalHeaders();
    int64_t RebuildItemAt(int64_t position, za::SignatureFinder& descriptors);
    int32_t AddRebuiltItem(int64_t position, const unsigned char* header, int64_t streamSize);
    void NameRebuiltItem(int32_t index, int64_t position);
    void ApplyDataDescriptor(int32_t index, int64_t descriptorPosition);
    bool RecordStartsAt(int64_t position);

    TStream* stream_;
    TZADirSettings settings_;
    // A header's stored name (for the rebuild with its extra field behind) or its comment:
    // one room from header to header.
    std::string headerBytes_;
};
