#include "ZipArchiver.h"

#include "ZAConst.h"
#include "ZADirManager.h"
#include "ZAExcept.h"
#include "platform/FileSystem.h"
#include "runtime/Exception.h"

#include <cctype>
#include <filesystem>

using namespace za;

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
    itemLayout_.reset();
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
    StartDirectory(stream, create);
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
        StartDirectory(*archiveStream_, true);
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
    StartDirectory(*archiveStream_, false);
    if (!dirManager_->HasEndRecord() && !RebuildDirOnError) {
        ReleaseArchive();
        throw EZAException::Create(neDamagedArchiveOpen, this);
    }
    dirManager_->ReadCentralDir();
}

void TZABaseArchiver::StartDirectory(TStream& stream, bool create) {
    const TZADirSettings settings{.IsZipFormat = isZipFormat_,
                                  .RebuildDirOnError = RebuildDirOnError,
                                  .SpanningMode = spanningMode_,
                                  .OEMFileNames = options_.OEMFileNames};
    itemLayout_.reset();
    dirManager_ = std::make_unique<TZADirManager>(stream, settings);
    if (create)
        currentVolume_.SetFirst(true);
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
