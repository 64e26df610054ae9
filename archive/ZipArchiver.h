#pragma once

#include "ZAArchiveItem.h"
#include "ZADecodingScratch.h"
#include "ZADirArray.h"
#include "ZAEvents.h"
#include "ZAItemLayout.h"
#include "ZAOptions.h"
#include "ZAVolumeNumberInfo.h"
#include "runtime/Component.h"
#include "runtime/Streams.h"
#include "runtime/StringList.h"

#include <cstdint>
#include <memory>
#include <string>

class TZADirManager;

// The archiver component: settings, the open archive with its directory, search and
// extraction into memory.
class TZABaseArchiver : public TComponent {
public:
    explicit TZABaseArchiver(TComponent* owner);
    ~TZABaseArchiver() override;

    // Opens an archive held in a stream that the caller keeps owning.
    void OpenArchive(TStream& stream, bool create);
    // Opens FileName, or starts a new archive in memory while InMemory is set.
    void OpenArchive();
    void OpenArchive(uint16_t mode);
    void CloseArchive() noexcept;
    bool IsOpen() const { return isOpen_; }
    void CheckOpen() const;
    void CheckNoUpdate() const;
    void CheckItemIndex(int32_t index) const;
    void SelectVolume(const TZAVolumeNumberInfo& volume);
    // The number of items that are not folders.
    int32_t FileCount();

    bool FindFirst(const std::string& mask, TZAArchiveItem& item, int32_t searchAttr,
                   const std::string& searchTag = {});
    bool FindNext(TZAArchiveItem& item);

    std::string ExtractToString(const std::string& name);
    // The same for the item at an index, as a search found it: names that the ANSI code page
    // cannot tell apart still reach their own items.
    std::string ExtractItemToString(int32_t index);
    bool FindItemByName(const std::string& name, int32_t& index);
    void ExtractItemToStream(int32_t index, TStream& output);
    // Room to reserve for an item's contents before extraction, by the output room's rule: its
    // declared size and the one byte past it that extraction looks at, where the item's bytes
    // present in the stream can honestly become that much; otherwise none, and the room then
    // grows with the output that comes.
    int64_t ExtractionReserve(int32_t index) const;
    bool ExtractItemData(TStream& archive, TStream& output, TDirItem& item);

    std::string CurrentVersion() const;
    void SetCurrentVersion(const std::string&) {}
    bool InMemory() const { return inMemory_; }
    void SetInMemory(bool value);
    TZACompressionLevel CompressionLevel() const { return compressionLevel_; }
    void SetCompressionLevel(TZACompressionLevel level);
    uint8_t CompressionMode() const { return compressionMode_; }
    void SetCompressionMode(uint8_t mode);
    TZASpanningMode SpanningMode() const { return spanningMode_; }
    void SetSpanningMode(TZASpanningMode mode);
    TStringList& FileMasks() { return fileMasks_; }
    void SetFileMasks(const TStringList& masks) { fileMasks_.Assign(masks); }
    TStringList& ExclusionMasks() { return exclusionMasks_; }
    void SetExclusionMasks(const TStringList& masks) { exclusionMasks_.Assign(masks); }
    TStringList& NoCompressionMasks() { return noCompressionMasks_; }
    void SetNoCompressionMasks(const TStringList& masks) { noCompressionMasks_.Assign(masks); }
    TZAOptions& Options() { return options_; }
    TZASpanningOptions& SpanningOptions() { return spanningOptions_; }
    const TZAVolumeNumberInfo& CurrentVolume() const { return currentVolume_; }
    TZAVolumeNumberInfo& CurrentVolume() { return currentVolume_; }

    bool IsZipFormat() const { return isZipFormat_; }
    bool StreamOwnedByCaller() const { return streamOwnedByCaller_; }
    uint16_t WriteCompressionMethod() const { return writeCompressionMethod_; }
    uint8_t Zip64WriteMode() const { return zip64WriteMode_; }
    int32_t UpdateDepth() const { return updateDepth_; }
    TStream* ArchiveStream() const { return archiveStream_; }
    TZADirManager* DirManager() const { return dirManager_.get(); }

    bool ExtractCorruptedFiles = false;
    // Items may decode whole, in one call, where no result can differ from decoding them a
    // chunk at a time. Off, every item decodes a chunk at a time.
    bool DecodeWholeItems = true;
    bool RebuildDirOnError = true;
    std::string Password;
    std::string FileName;
    std::string BaseDir;
    std::string TempDir;
    std::string SFXStub;

    // Working fields of the running operation.
    int32_t FilesDone = 0;
    int32_t FilesTotal = 0;
    bool ProgressCancelled = false;
    bool ReportProgress = false;
    bool SkipCurrentFile = false;
    // Compressed bytes of the current item consumed so far; all of them once it is decoded.
    int64_t BytesProcessed = 0;
    int64_t BytesToProcess = 0;
    // How many items so far came back from the whole-item decoder.
    int64_t ItemsDecodedWhole = 0;

    TZAFileProgressEvent OnFileProgress;
    TZAProgressEvent OnOverallProgress;
    TZACopyTempFileProgressEvent OnCopyTempFileProgress;
    TZAConfirmOverwriteEvent OnConfirmOverwrite;
    TZAConfirmProcessFileEvent OnConfirmProcessFile;
    TNotifyEvent AfterOpen;
    TZAOnPasswordEvent OnPassword;
    TZAProcessFileFailureEvent OnProcessFileFailure;
    TZAOnRequestBlankVolumeEvent OnRequestBlankVolume;
    TZAOnRequestFirstVolumeEvent OnRequestFirstVolume;
    TZAOnRequestLastVolumeEvent OnRequestLastVolume;
    TZAOnRequestMiddleVolumeEvent OnRequestMiddleVolume;
    TZAOnDiskFullEvent OnDiskFull;
    TZANotificationEvent OnNotification;
    TZAOnStoreFileEvent OnStoreFile;
    TZAOnExtractFileEvent OnExtractFile;

    // Event dispatchers: the assigned handler, or the default answer.
    virtual void DoOverallProgress(double progress, TZAProcessOperation operation,
                                   TZAProgressPhase phase, bool& cancel);
    virtual void DoFileProgress(const std::string& fileName, double progress,
                                TZAProcessOperation operation, TZAProgressPhase phase,
                                bool& cancel);
    virtual void DoCopyTempFileProgress(double progress, TZAProgressPhase phase, bool& cancel);
    virtual void DoConfirmOverwrite(const std::string& sourceFileName, std::string& destFileName,
                                    bool& confirm);
    virtual void DoConfirmProcessFile(const std::string& fileName, TZAProcessOperation operation,
                                      bool& confirm);
    virtual void DoPassword(const std::string& fileName, std::string& newPassword, bool& skipFile);
    virtual void DoProcessFileFailure(const std::string& fileName, TZAProcessOperation operation,
                                      int32_t nativeError, int32_t errorCode,
                                      const std::string& errorMessage, TZAAction& action);
    virtual void DoRequestBlankVolume(int32_t volumeNumber, std::string& volumeFileName,
                                      bool& cancel);
    virtual void DoRequestFirstVolume(std::string& volumeFileName, bool& cancel);
    virtual void DoRequestLastVolume(std::string& volumeFileName, bool& cancel);
    virtual void DoRequestMiddleVolume(int32_t volumeNumber, std::string& volumeFileName,
                                       bool& cancel);
    virtual void DoDiskFull(int32_t volumeNumber, const std::string& volumeFileName, bool& cancel);
    virtual void DoNotification(uint8_t kind, int32_t a, int32_t b, int32_t c);
    virtual void DoStoreFile(std::string& fileName, uint32_t& fileAttr, std::string& comment,
                             const std::string& originalFileName);
    virtual void DoExtractFile(std::string& fileName, uint32_t& fileAttr,
                               const std::string& comment);

protected:
    virtual void UpdateCompressionMethod();

    bool isZipFormat_ = false;
    uint16_t writeCompressionMethod_ = 0;
    uint8_t zip64WriteMode_ = 1;

private:
    void OpenExistingArchiveFile();
    // A directory manager over the stream, with the settings it reads; a new archive starts
    // on its first volume.
    void StartDirectory(TStream& stream, bool create);
    void SetArchiveStream(TStream* stream, std::unique_ptr<TStream> owned);
    void ReleaseArchive();
    // Refuses an item whose local header names another item, or whose bytes run into the
    // next item's local header; the stream is at the item's local header.
    void CheckItemPlace(int32_t index, const TDirItem& item);
    std::string MaskAsHeld(const std::string& mask) const;
    std::string PreparedMask(const std::string& mask) const;
    void CopyArchiveToFile();
    bool ScanForItem(TZAArchiveItem& item);
    bool ItemMatchesSearch(const std::string& storedName, const TZAArchiveItem& item);

    int32_t updateDepth_ = 0;
    bool isOpen_ = false;
    bool streamOwnedByCaller_ = false;
    std::string currentVolumeFileName_;
    TZAVolumeNumberInfo currentVolume_;
    uint16_t openMode_ = 0;
    TZAOptions options_;
    TStringList fileMasks_;
    TStringList exclusionMasks_;
    TStringList noCompressionMasks_;
    bool inMemory_ = false;
    TZASpanningMode spanningMode_ = smNone;
    TZASpanningOptions spanningOptions_;
    std::unique_ptr<TZADirManager> dirManager_;
    std::unique_ptr<TZAItemLayout> itemLayout_; // made at the first extraction
    uint8_t compressionMode_ = 1;
    TZACompressionLevel compressionLevel_ = clFastest;
    TStream* archiveStream_ = nullptr;
    TZADecodingScratch decodingScratch_;
    std::unique_ptr<TStream> ownedStream_;
};

// The archiver of standard ZIP archives.
class TZipArchiver : public TZABaseArchiver {
public:
    explicit TZipArchiver(TComponent* owner);

protected:
    void UpdateCompressionMethod() override;
};
