#include "ZipArchiver.h"

#include "ZAConst.h"
#include "ZADirManager.h"
#include "ZAExcept.h"
#include "ZAItemDecoder.h"
#include "ZAMasks.h"
#include "ZAStrFunc.h"
#include "platform/CodePages.h"
#include "platform/Dialogs.h"
#include "platform/FileSystem.h"
#include "runtime/Exception.h"
#include "runtime/Format.h"

#include <algorithm>
#include <filesystem>
#include <limits>

using namespace za;

void TZAOptions::Assign(const TPersistent& source) {
    const auto* other = dynamic_cast<const TZAOptions*>(&source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    const TZAFileShareMode keptShareMode = ShareMode;
    *this = *other;
    ShareMode = keptShareMode;
}

void TZASpanningOptions::Assign(const TPersistent& source) {
    const auto* other = dynamic_cast<const TZASpanningOptions*>(&source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    *this = *other;
}

void TZAVolumeNumberInfo::Reset() {
    Kind = vkUnknown;
    Number = -1;
    LastNumber = -1;
}

void TZAVolumeNumberInfo::SetFirst(bool flag) {
    if (flag) {
        Number = 0;
        Kind = vkFirst;
    }
}

bool TZAVolumeNumberInfo::IsLast() const {
    return LastNumber == -1 ? Kind == vkLast : Number == LastNumber;
}

void TZAVolumeNumberInfo::SetLast(bool flag) {
    if (flag) {
        Number = LastNumber;
        Kind = vkLast;
    }
}

void TZAVolumeNumberInfo::SetNumber(int32_t n) {
    Kind = vkNumbered;
    Number = n;
}

bool TZAVolumeNumberInfo::SameVolume(const TZAVolumeNumberInfo& other) const {
    if (IsLast())
        return other.IsLast();
    if (IsFirst())
        return other.IsFirst();
    if (Number < 0)
        return Kind == other.Kind;
    return Number == other.Number;
}

TZABaseArchiver::TZABaseArchiver(TComponent* owner) : TComponent(owner) {
    SetCompressionLevel(clFastest);
}

TZABaseArchiver::~TZABaseArchiver() {
    CloseArchive();
}

void TZABaseArchiver::UpdateCompressionMethod() {
    writeCompressionMethod_ = 0xFFFF;
}

TZipArchiver::TZipArchiver(TComponent* owner) : TZABaseArchiver(owner) {
    // A base constructor cannot reach this class's override, so the method is derived again.
    UpdateCompressionMethod();
    isZipFormat_ = true;
    zip64WriteMode_ = 0;
}

void TZipArchiver::UpdateCompressionMethod() {
    writeCompressionMethod_ = CompressionMode() != 0 ? kMethodDeflate : kMethodStored;
}

void TZABaseArchiver::SetArchiveStream(TStream* stream, std::unique_ptr<TStream> owned) {
    ownedStream_ = std::move(owned);
    archiveStream_ = stream;
}

// The manager goes first: it refers to the stream. A caller's stream is only let go of.
void TZABaseArchiver::ReleaseArchive() {
    dirManager_.reset();
    SetArchiveStream(nullptr, nullptr);
}

void TZABaseArchiver::OpenArchive(TStream& stream, bool create) {
    if (spanningMode_ != smNone)
        throw EZAException::Create(neCustomStreamMultiVolume, this);
    CloseArchive();
    streamOwnedByCaller_ = true;
    if (create)
        stream.SetSize(0);
    dirManager_ = std::make_unique<TZADirManager>(stream, *this, create);
    SetArchiveStream(&stream, nullptr);
    if (create)
        dirManager_->WriteEmptyCentralDir();
    else
        dirManager_->ReadCentralDir();
    isOpen_ = true;
    if (AfterOpen)
        AfterOpen(this);
}

void TZABaseArchiver::CloseArchive() noexcept {
    if (isOpen_) {
        // Write-back failures are not the caller's concern once the archive goes away.
        try {
            if (archiveStream_ && archiveStream_->Size() == 0)
                dirManager_->WriteEmptyCentralDir();
        } catch (...) {
        }
        isOpen_ = false;
    }
    ReleaseArchive();
}

void TZABaseArchiver::CheckOpen() const {
    if (!isOpen_)
        throw EZAException::Create(neArchiveNotOpen, this);
}

void TZABaseArchiver::CheckNoUpdate() const {
    if (updateDepth_ > 0)
        throw EZAException::Create(neUpdateNotEnded, this);
}

namespace {

// Restores a setting however the operation that changed it ends.
template <class T> class ScopedValue {
public:
    ScopedValue(T& target, T value) : target_(target), saved_(target) { target_ = value; }
    ~ScopedValue() { target_ = saved_; }
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

private:
    T& target_;
    T saved_;
};

bool HasNamePart(const std::string& fileName) {
    return !std::filesystem::path(fileName).filename().empty();
}

bool FileExists(const std::string& fileName) {
    std::error_code error;
    return std::filesystem::is_regular_file(fileName, error);
}

bool OnRemovableDrive(const std::string& fileName) {
    const bool floppyLetter = fileName.size() >= 2 && fileName[1] == ':' &&
                              (std::toupper(static_cast<unsigned char>(fileName[0])) == 'A' ||
                               std::toupper(static_cast<unsigned char>(fileName[0])) == 'B');
    return floppyLetter || platform::IsRemovableDrive(fileName);
}

} // namespace

void TZABaseArchiver::OpenArchive() {
    if (!inMemory_ && !HasNamePart(FileName))
        throw EZAException::Create(neBlankFileName, this);
    uint16_t mode = fmCreate;
    if (!inMemory_ && FileExists(FileName)) {
        try {
            TFileStream probe(FileName, fmOpenReadWrite | fmShareDenyWrite);
            mode = fmOpenReadWrite | fmShareDenyWrite;
        } catch (const EFOpenError&) {
            mode = fmOpenRead | fmShareDenyNone;
        }
    }
    OpenArchive(mode);
}

void TZABaseArchiver::OpenArchive(uint16_t mode) {
    if (!inMemory_ && !HasNamePart(FileName))
        throw EZAException::Create(neBlankFileNameForMode, this);
    if (mode != fmCreate && !FileExists(FileName) && spanningMode_ != smSpanning &&
        !OnRemovableDrive(FileName))
        throw EZAException::CreateWithArgs(neArchiveFileNotFound, this, {FileName});
    if (mode != fmCreate && inMemory_)
        throw EZAException::CreateWithArgs(neInMemoryCreateOnly, this, {FileName});
    CloseArchive();
    streamOwnedByCaller_ = false;
    openMode_ = mode;
    if (mode == fmCreate || inMemory_) {
        if (inMemory_) {
            auto memory = std::make_unique<TMemoryStream>();
            TStream* stream = memory.get();
            SetArchiveStream(stream, std::move(memory));
        } else {
            TZAVolumeNumberInfo first;
            first.SetFirst(true);
            SelectVolume(first);
        }
        dirManager_ = std::make_unique<TZADirManager>(*archiveStream_, *this, true);
    } else {
        OpenExistingArchiveFile();
    }
    isOpen_ = true;
    if (AfterOpen)
        AfterOpen(this);
}

// Self-extracting archives (".exe") are read like any other: stub detection finds the
// archive behind the program.
void TZABaseArchiver::OpenExistingArchiveFile() {
    spanningMode_ = smNone;
    currentVolume_.Reset();
    TZAVolumeNumberInfo last;
    last.SetLast(true);
    SelectVolume(last);
    dirManager_ = std::make_unique<TZADirManager>(*archiveStream_, *this, false);
    const bool rebuild = RebuildDirOnError;
    RebuildDirOnError = false;
    bool found;
    try {
        found = dirManager_->HasEndRecord();
    } catch (...) {
        RebuildDirOnError = rebuild;
        throw;
    }
    RebuildDirOnError = rebuild;
    if (!found && !RebuildDirOnError) {
        SetArchiveStream(nullptr, nullptr);
        throw EZAException::Create(neDamagedArchiveOpen, this);
    }
    dirManager_->ReadCentralDir();
}

void TZABaseArchiver::SelectVolume(const TZAVolumeNumberInfo& volume) {
    if (!archiveStream_) {
        auto file = std::make_unique<TFileStream>(FileName, openMode_);
        TStream* stream = file.get();
        SetArchiveStream(stream, std::move(file));
        currentVolumeFileName_ = FileName;
    }
    currentVolume_.Number = volume.Number;
    currentVolume_.Kind = volume.Kind;
}

std::string TZABaseArchiver::CurrentVersion() const {
    // The version is written with a full stop whatever the locale says.
    return "2.77 ";
}

// A new archive has no directory until it is closed; the copy must carry one, or the file
// could not be opened again.
void TZABaseArchiver::CopyArchiveToFile() {
    if (archiveStream_->Size() == 0)
        dirManager_->WriteEmptyCentralDir();
    TFileStream file(FileName, fmCreate);
    archiveStream_->SetPosition(0);
    file.CopyFrom(*archiveStream_, archiveStream_->Size());
}

void TZABaseArchiver::SetInMemory(bool value) {
    if (value == inMemory_)
        return;
    if (isOpen_) {
        if (!value) {
            if (FileName.empty())
                throw EZAException::Create(neBlankFileNameInMemory, this);
            CopyArchiveToFile();
            CloseArchive();
            inMemory_ = false;
        } else {
            CloseArchive();
            inMemory_ = true;
        }
        OpenArchive();
    }
    inMemory_ = value;
}

void TZABaseArchiver::SetCompressionLevel(TZACompressionLevel level) {
    compressionLevel_ = level;
    switch (level) {
    case clNone:
        compressionMode_ = 0;
        break;
    case clFastest:
        compressionMode_ = 1;
        break;
    case clNormal:
        compressionMode_ = 6;
        break;
    case clMax:
        compressionMode_ = 9;
        break;
    default:
        compressionMode_ = 0;
    }
    UpdateCompressionMethod();
}

void TZABaseArchiver::SetCompressionMode(uint8_t mode) {
    if (mode > 9)
        throw EZAException::Create(neCompressionMode, this);
    compressionMode_ = mode;
    compressionLevel_ = mode == 0 ? clNone : mode <= 3 ? clFastest : mode <= 6 ? clNormal : clMax;
    UpdateCompressionMethod();
}

void TZABaseArchiver::SetSpanningMode(TZASpanningMode mode) {
    if (isOpen_)
        throw Exception("Cannot set spanning mode on open archive");
    spanningMode_ = mode;
}

int32_t TZABaseArchiver::FileCount() {
    CheckOpen();
    ScopedValue<bool> recurse(options_.Recurse, true);
    int32_t folders = 0;
    TZAArchiveItem item;
    for (bool found = FindFirst("*.*", item, faDirectory); found; found = FindNext(item))
        folders += (item.ExternalFileAttributes & faDirectory) != 0;
    return dirManager_->Items.Count() - folders;
}

// Default answers of the events. Those that need the user ask through the shell's dialogs;
// without a shell they take the answer that does no harm: cancel, skip or abort.
namespace {

platform::TDialogResult AskUser(const std::string& text, platform::TDialogButtons buttons,
                                platform::TDialogResult unattended) {
    platform::IDialogs* dialogs = platform::InstalledDialogs();
    return dialogs ? dialogs->Ask(text, "", buttons) : unattended;
}

bool VolumePromptCancelled(const std::string& text) {
    return AskUser(text, platform::TDialogButtons::OkCancel, platform::TDialogResult::Cancel) !=
           platform::TDialogResult::Ok;
}

} // namespace

void TZABaseArchiver::DoOverallProgress(double progress, TZAProcessOperation operation,
                                        TZAProgressPhase phase, bool& cancel) {
    if (OnOverallProgress)
        OnOverallProgress(this, progress, operation, phase, cancel);
    else
        cancel = false;
}

void TZABaseArchiver::DoFileProgress(const std::string& fileName, double progress,
                                     TZAProcessOperation operation, TZAProgressPhase phase,
                                     bool& cancel) {
    if (!OnFileProgress) {
        cancel = false;
        return;
    }
    std::string shown = fileName;
    ReplaceAll(shown, '/', '\\');
    OnFileProgress(this, shown, progress, operation, phase, cancel);
}

void TZABaseArchiver::DoCopyTempFileProgress(double progress, TZAProgressPhase phase,
                                             bool& cancel) {
    if (OnCopyTempFileProgress)
        OnCopyTempFileProgress(this, progress, phase, cancel);
    else
        cancel = false;
}

void TZABaseArchiver::DoConfirmOverwrite(const std::string& sourceFileName,
                                         std::string& destFileName, bool& confirm) {
    if (OnConfirmOverwrite) {
        OnConfirmOverwrite(this, sourceFileName, destFileName, confirm);
        return;
    }
    const std::string text =
        Format("Overwrite file \"%s\" with \"%s\"", {destFileName, sourceFileName});
    confirm = AskUser(text, platform::TDialogButtons::YesNo, platform::TDialogResult::No) ==
              platform::TDialogResult::Yes;
}

void TZABaseArchiver::DoConfirmProcessFile(const std::string& fileName,
                                           TZAProcessOperation operation, bool& confirm) {
    if (OnConfirmProcessFile)
        OnConfirmProcessFile(this, fileName, operation, confirm);
    else
        confirm = true;
}

void TZABaseArchiver::DoPassword(const std::string& fileName, std::string& newPassword,
                                 bool& skipFile) {
    if (OnPassword) {
        OnPassword(this, fileName, newPassword, skipFile);
        return;
    }
    platform::IDialogs* dialogs = platform::InstalledDialogs();
    skipFile = !dialogs || !dialogs->InputQuery(Format("Password for \"%s\"", {fileName}),
                                                "Enter password: ", newPassword);
}

void TZABaseArchiver::DoProcessFileFailure(const std::string& fileName,
                                           TZAProcessOperation operation, int32_t nativeError,
                                           int32_t errorCode, const std::string& errorMessage,
                                           TZAAction& action) {
    if (OnProcessFileFailure) {
        OnProcessFileFailure(this, fileName, operation, nativeError, errorCode, errorMessage,
                             action);
        return;
    }
    const auto answer =
        AskUser(Format("%s. File processing error, possibly disk is full", {errorMessage}),
                platform::TDialogButtons::AbortRetryIgnore, platform::TDialogResult::Abort);
    action = answer == platform::TDialogResult::Retry    ? acRetry
             : answer == platform::TDialogResult::Ignore ? acIgnore
                                                         : acAbort;
}

void TZABaseArchiver::DoRequestBlankVolume(int32_t volumeNumber, std::string& volumeFileName,
                                           bool& cancel) {
    if (OnRequestBlankVolume)
        OnRequestBlankVolume(this, volumeNumber, volumeFileName, cancel);
    else
        cancel = VolumePromptCancelled(
            Format("Please insert a blank disk #%d", {int64_t{volumeNumber}}));
}

void TZABaseArchiver::DoRequestFirstVolume(std::string& volumeFileName, bool& cancel) {
    if (OnRequestFirstVolume)
        OnRequestFirstVolume(this, volumeFileName, cancel);
    else
        cancel = VolumePromptCancelled("Please insert the first disk");
}

void TZABaseArchiver::DoRequestLastVolume(std::string& volumeFileName, bool& cancel) {
    if (OnRequestLastVolume)
        OnRequestLastVolume(this, volumeFileName, cancel);
    else
        cancel = VolumePromptCancelled("Please insert the last disk");
}

void TZABaseArchiver::DoRequestMiddleVolume(int32_t volumeNumber, std::string& volumeFileName,
                                            bool& cancel) {
    if (OnRequestMiddleVolume)
        OnRequestMiddleVolume(this, volumeNumber, volumeFileName, cancel);
    else
        cancel = VolumePromptCancelled(Format("Please insert disk #%d", {int64_t{volumeNumber}}));
}

void TZABaseArchiver::DoDiskFull(int32_t volumeNumber, const std::string& volumeFileName,
                                 bool& cancel) {
    if (OnDiskFull)
        OnDiskFull(this, volumeNumber, volumeFileName, cancel);
    else
        cancel = VolumePromptCancelled("Disk is full. Required free space: %d bytes, but available "
                                       "only: %d bytes. Clean the disk or find another blank disk");
}

void TZABaseArchiver::DoNotification(uint8_t kind, int32_t a, int32_t b, int32_t c) {
    if (OnNotification)
        OnNotification(this, kind, a, b, c);
}

void TZABaseArchiver::DoStoreFile(std::string& fileName, uint32_t& fileAttr, std::string& comment,
                                  const std::string& originalFileName) {
    if (OnStoreFile)
        OnStoreFile(this, fileName, fileAttr, comment, originalFileName);
}

void TZABaseArchiver::DoExtractFile(std::string& fileName, uint32_t& fileAttr,
                                    const std::string& comment) {
    if (OnExtractFile)
        OnExtractFile(this, fileName, fileAttr, comment);
}

namespace {

bool AttributesAdmitted(uint32_t itemAttributes, int32_t searchAttr) {
    return (itemAttributes & kExcludingAttributes & ~static_cast<uint32_t>(searchAttr)) == 0;
}

// The folder part of a name, "\"-separated and lower-cased; a final "/" does not count.
std::string LowerFolderOf(std::string name) {
    if (!name.empty() && name.back() == '/')
        name.pop_back();
    ReplaceAll(name, '/', '\\');
    return platform::AnsiLowerCase(ExtractFilePath(name));
}

void FillRecord(TZAArchiveItem& record, const TDirItem& item) {
    std::u16string name = item.FileName;
    ReplaceAll(name, u'/', u'\\');
    if (!name.empty() && name.back() == u'\\')
        name.pop_back();
    const size_t split = name.find_last_of(u"\\:");
    const size_t nameStart = split == std::u16string::npos ? 0 : split + 1;
    record.FileName = name.substr(nameStart);
    record.StoredPath = name.substr(0, nameStart);
    record.CompressedSize = static_cast<int64_t>(item.FullCompressedSize());
    record.UncompressedSize = static_cast<int64_t>(item.FullUncompressedSize());
    record.CompressionRate =
        record.UncompressedSize > 0
            ? std::max(0.0, (1.0 - static_cast<double>(record.CompressedSize) /
                                       static_cast<double>(record.UncompressedSize)) *
                                100.0)
            : 100.0;
    record.Encrypted = (item.Flags & kFlagEncrypted) != 0;
    record.LastModFileDate = item.ModDate;
    record.LastModFileTime = item.ModTime;
    record.CRC = item.Crc32;
    record.ExternalFileAttributes = item.ExternalAttributes;
    record.Comment = item.Comment;
}

} // namespace

// The mask as the search holds it: without a drive unless paths keep their drives, with "/"
// between folders; refused when it does not fit the record.
std::string TZABaseArchiver::PreparedMask(const std::string& mask) const {
    std::string prepared = mask;
    const std::string drive = ExtractFileDrive(mask);
    if (!drive.empty() && options_.StorePath != spFullPathWithDrive)
        prepared.erase(0, drive.size());
    ReplaceAll(prepared, '\\', '/');
    if (prepared.size() >= TInternalSearchRec::kMaskCapacity)
        throw EZAException::CreateWithArgs(neFileNameTooLong, this, {prepared});
    return prepared;
}

bool TZABaseArchiver::FindFirst(const std::string& mask, TZAArchiveItem& item, int32_t searchAttr,
                                const std::string& searchTag) {
    CheckOpen();
    const std::string prepared = PreparedMask(mask);
    TInternalSearchRec& search = item.InternalSearchRec;
    std::fill(std::begin(search.FileMask), std::end(search.FileMask), '\0');
    std::copy(prepared.begin(), prepared.end(), search.FileMask);
    search.SearchTag = searchTag;
    search.UseFileMasks = false;
    search.HasWildcards = prepared.find_first_of("*?") != std::string::npos;
    search.SearchAttr = searchAttr;
    search.DirItemIndex = 0;
    return ScanForItem(item);
}

bool TZABaseArchiver::FindNext(TZAArchiveItem& item) {
    CheckOpen();
    ++item.InternalSearchRec.DirItemIndex;
    return ScanForItem(item);
}

bool TZABaseArchiver::ScanForItem(TZAArchiveItem& item) {
    const TInternalSearchRec& search = item.InternalSearchRec;
    const TZADirArray& items = dirManager_->Items;
    const bool sameFolderOnly = !options_.Recurse;
    const std::string maskFolder = sameFolderOnly ? LowerFolderOf(search.FileMask) : std::string();
    for (int32_t i = std::max(search.DirItemIndex, 0); i < items.Count(); ++i) {
        const TDirItem& candidate = items.GetItem(i);
        const std::string storedName = platform::WideToAnsi(candidate.FileName);
        if (sameFolderOnly && LowerFolderOf(storedName) != maskFolder)
            continue;
        if (!ItemMatchesSearch(storedName, item) ||
            !AttributesAdmitted(candidate.ExternalAttributes, search.SearchAttr))
            continue;
        item.InternalSearchRec.DirItemIndex = i;
        FillRecord(item, candidate);
        return true;
    }
    return false;
}

bool TZABaseArchiver::ItemMatchesSearch(const std::string& storedName, const TZAArchiveItem& item) {
    if (item.InternalSearchRec.UseFileMasks) {
        std::string name = storedName;
        ReplaceAll(name, '/', '\\');
        bool matched = false;
        for (int32_t i = 0; i < fileMasks_.Count(); ++i) {
            if (!MatchesMask(name, fileMasks_[i]))
                continue;
            matched = true;
            for (int32_t j = 0; j < exclusionMasks_.Count(); ++j)
                if (MatchesMask(name, exclusionMasks_[j]))
                    return false;
        }
        return matched;
    }
    std::string_view name = storedName;
    if (!name.empty() && (name.back() == '\\' || name.back() == '/'))
        name.remove_suffix(1);
    const std::string_view mask = item.InternalSearchRec.FileMask;
    if (MatchesMask(name, mask))
        return true;
    // A mask without a folder matches an item in any folder by its last name component.
    std::string lastComponent(name);
    ReplaceAll(lastComponent, '/', '\\');
    return MatchesMask(ExtractFileName(lastComponent), mask);
}

std::string TZABaseArchiver::ExtractToString(const std::string& name) {
    CheckOpen();
    CheckNoUpdate();
    ReportProgress = false;
    ScopedValue<bool> sameFolderOnly(options_.Recurse, false);
    int32_t index = -1;
    if (!FindItemByName(name, index))
        throw EZAException::CreateWithArgs(neEntryNotFound, this, {name});
    TStringStream output;
    output.Reserve(ExtractionReserve(index));
    ExtractItemToStream(index, output);
    return output.TakeDataString();
}

int64_t TZABaseArchiver::ExtractionReserve(int32_t index) const {
    const TDirItem& item = dirManager_->Items.GetItem(index);
    const uint64_t offset = item.FullLocalHeaderOffset();
    const uint64_t streamSize = static_cast<uint64_t>(archiveStream_->Size());
    const uint64_t present =
        std::min(item.FullCompressedSize(), offset < streamSize ? streamSize - offset : 0);
    const uint64_t honestLimit =
        item.CompressionMethod == kMethodStored ? present : present * kMaxDeflateRatio + 65536;
    // One byte more: extraction looks one byte past the declared size to tell a stream that
    // inflates further.
    return static_cast<int64_t>(std::min(item.FullUncompressedSize(), honestLimit) + 1);
}

bool TZABaseArchiver::FindItemByName(const std::string& name, int32_t& index) {
    if (dirManager_->Items.FindName(name, index))
        return true;
    TZAArchiveItem found;
    if (!FindFirst(name, found, kAllItemsAttr))
        return false;
    index = found.InternalSearchRec.DirItemIndex;
    return true;
}

void TZABaseArchiver::ExtractItemToStream(int32_t index, TStream& output) {
    TZADirArray& items = dirManager_->Items;
    if (index < 0 || index >= items.Count())
        throw EZAException::Create(neExtractIndex, this);
    TDirItem& item = items.ItemRef(index);
    TZAVolumeNumberInfo volume;
    volume.LastNumber = static_cast<int32_t>(dirManager_->ThisDiskNumber());
    volume.SetNumber(item.DiskNumberStart != kSaturated16 ? item.DiskNumberStart
                     : dirManager_->IsZip64 ? static_cast<int32_t>(item.DiskNumberStart32)
                                            : 0);
    SelectVolume(volume);
    archiveStream_->SetPosition(static_cast<int64_t>(
        std::min<uint64_t>(item.FullLocalHeaderOffset(), std::numeric_limits<int64_t>::max())));
    const bool ok = ExtractItemData(*archiveStream_, output, item);
    if (!ok && !ProgressCancelled && !ExtractCorruptedFiles && !SkipCurrentFile)
        throw EZAException::Create(neCorruptedItem, this);
}

bool TZABaseArchiver::ExtractItemData(TStream& archive, TStream& output, TDirItem& item) {
    return TZAItemDecoder(*this, archive, output, item, readBuffer_).Run();
}
