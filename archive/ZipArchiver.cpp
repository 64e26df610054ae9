#include "ZipArchiver.h"

#include "ZAConst.h"
#include "ZADirManager.h"
#include "ZAExcept.h"
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
    // Opening again over the stream the archiver opened itself keeps that stream alive.
    std::unique_ptr<TStream> kept =
        &stream == ownedStream_.get() ? std::move(ownedStream_) : nullptr;
    CloseArchive();
    streamOwnedByCaller_ = !kept;
    if (create)
        stream.SetSize(0);
    dirManager_ = std::make_unique<TZADirManager>(stream, *this, create);
    SetArchiveStream(&stream, std::move(kept));
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
        ReleaseArchive();
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
