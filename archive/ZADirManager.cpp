#include "ZADirManager.h"

#include "ZAExcept.h"
#include "ZALittleEndian.h"
#include "runtime/Streams.h"

#include <exception>

using namespace za;

TZADirManager::TZADirManager(TStream& stream, const TZADirSettings& settings)
    : stream_(&stream), settings_(settings) {
    ResetDir();
}

void TZADirManager::ResetDir() {
    Items.SetCount(0);
    EndRecord.fill(0);
    PutLe32(EndRecord.data(), kEndOfCentralDirSignature);
}

uint32_t TZADirManager::LocalHeaderSignature() const {
    return settings_.IsZipFormat ? kLocalHeaderSignature : kAltLocalHeaderSignature;
}

std::optional<uint32_t> TZADirManager::SignatureAt(int64_t position) {
    unsigned char signature[4];
    stream_->SetPosition(position);
    if (stream_->Read(signature, 4) != 4)
        return std::nullopt;
    return Le32(signature);
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
    if (ItemCountMissing()) {
        RebuildFromLocalHeaders();
        return;
    }
    const DirectoryToRead directory = PositionAtDirectory(directoryEnd);
    try {
        ReadItems(directory);
    } catch (const std::exception&) {
        if (!settings_.RebuildDirOnError)
            throw;
        RebuildFromLocalHeaders();
        return;
    }
    CheckSizes();
    if (ThisDiskNumber() == 0)
        DetectStub(directoryEnd);
}

void TZADirManager::WriteEmptyCentralDir() {
    stream_->SetPosition(0);
    stream_->WriteBuffer(EndRecord.data(), kEndRecordSize);
    stream_->WriteBuffer(ArchiveComment.data(), static_cast<int64_t>(ArchiveComment.size()));
}

void TZADirManager::CheckSizes() {
    if (settings_.RebuildDirOnError || settings_.SpanningMode != smNone)
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

void TZADirManager::ReadBytes(size_t length, std::string& into) {
    into.resize(length);
    stream_->ReadBuffer(into.data(), static_cast<int64_t>(length));
}
