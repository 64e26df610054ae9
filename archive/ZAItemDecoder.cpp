#include "ZAItemDecoder.h"

#include "ZAConst.h"
#include "ZADirArray.h"
#include "ZADirManager.h"
#include "ZAExcept.h"
#include "ZALittleEndian.h"
#include "ZAOutputRoom.h"
#include "ZipArchiver.h"
#include "platform/CodePages.h"
#include "platform/MemoryStatus.h"
#include "runtime/Streams.h"

#include <algorithm>
#include <cmath>
#include <limits>

using namespace za;

namespace {

constexpr int64_t kChunkLimit = 0x100000;
constexpr int64_t kSmallestHalvedChunk = 512;
constexpr uint64_t kMemoryShareDivisor = 20;

namespace block {
constexpr int kBlockSize = 0, kTotalSize = 8, kBlockCount = 16, kAlgorithm = 20, kCompressed = 21,
              kEncryption = 22;
}

} // namespace

TZAItemDecoder::TZAItemDecoder(TZABaseArchiver& archiver, TStream& archive, TStream& output,
                               TDirItem& item, TZADecodingScratch& scratch)
    : archiver_(archiver), archive_(archive), output_(output), item_(item), scratch_(scratch),
      encrypted_((item.Flags & kFlagEncrypted) != 0),
      memoryOutput_(dynamic_cast<TMemoryStream*>(&output)) {}

std::string TZAItemDecoder::StoredName() const {
    return platform::WideToAnsi(item_.FileName);
}

bool TZAItemDecoder::ReadExactly(unsigned char* buffer, int64_t count) {
    return archive_.Read(buffer, count) == count;
}

bool TZAItemDecoder::ReadLocalHeader() {
    if (!ReadExactly(localHeader_, kLocalHeaderSize))
        return false;
    archive_.Seek(Le16(localHeader_ + local::kNameLength) +
                      Le16(localHeader_ + local::kExtraLength),
                  TSeekOrigin::soCurrent);
    return true;
}

bool TZAItemDecoder::Run() {
    // A skip answered for an earlier item must not excuse a failure of this one.
    archiver_.SkipCurrentFile = false;
    if (!ReadLocalHeader())
        return false;
    remaining_ = static_cast<int64_t>(
        std::min<uint64_t>(item_.FullCompressedSize(), std::numeric_limits<int64_t>::max() / 2));
    // Compressed data never runs into the central directory.
    const int64_t dataStart = archive_.Position();
    const int64_t directoryStart = archiver_.DirManager()->CentralDirStart;
    if (archiver_.SpanningMode() == smNone && dataStart + remaining_ > directoryStart)
        remaining_ = directoryStart - dataStart;
    archiver_.BytesToProcess = remaining_;

    bool ok;
    switch (item_.CompressionMethod) {
    case kMethodStored:
    case kMethodDeflate:
        ok = DecodeStoredOrDeflated();
        break;
    case kMethodDeflate64:
        throw EZAException::Create(neDeflate64);
    default:
        ok = item_.VersionNeeded > 10 && DecodeBlocks();
    }
    // What was consumed, however the data was decoded and wherever it stopped.
    archiver_.BytesProcessed = consumed_;
    if (!ok || written_ != item_.FullUncompressedSize())
        return false;
    return archiver_.SkipCurrentFile || crc_ == item_.Crc32;
}

uint64_t TZAItemDecoder::OutputRoom() const {
    const uint64_t declared = item_.FullUncompressedSize();
    return declared > written_ ? declared - written_ : 0;
}

// A power of two near what a chunk inflates to at the item's overall ratio.
uint64_t TZAItemDecoder::OutputEstimate(int64_t chunk) const {
    const uint64_t compressed = std::max<uint64_t>(item_.FullCompressedSize(), 1);
    const double ratio = static_cast<double>(item_.FullUncompressedSize() / compressed + 1);
    const double v = std::ldexp(
        std::floor(std::ldexp(ratio * static_cast<double>(chunk + chunk / 2 + 12 + 255), -8)), 8);
    const double exponent = std::round(std::log2(std::max(v, 1.0)));
    return exponent >= 63 ? std::numeric_limits<uint64_t>::max() >> 1
                          : uint64_t{1} << static_cast<int>(exponent);
}

// Halves the chunk while its estimated output would take a twentieth or more of the free
// physical memory, down to about 512 bytes.
int64_t TZAItemDecoder::ChunkSize(int64_t left) const {
    int64_t chunk = std::min(kChunkLimit, left);
    for (bool first = true;; first = false) {
        if (!first)
            chunk /= 2;
        if (chunk < kSmallestHalvedChunk ||
            OutputEstimate(chunk) < availableMemory_ / kMemoryShareDivisor)
            return std::max<int64_t>(chunk, 1);
    }
}

bool TZAItemDecoder::CancelledByProgress() {
    archiver_.BytesProcessed = consumed_;
    if (!archiver_.ReportProgress)
        return false;
    const double itemShare = static_cast<double>(archiver_.BytesProcessed) /
                             static_cast<double>(archiver_.BytesToProcess);
    archiver_.DoFileProgress(StoredName(), itemShare * 100, TZAProcessOperation(item_.Operation),
                             ppProcess, archiver_.ProgressCancelled);
    if (archiver_.ProgressCancelled)
        return true;
    archiver_.DoOverallProgress((itemShare + archiver_.FilesDone) / archiver_.FilesTotal * 100,
                                TZAProcessOperation(item_.Operation), ppProcess,
                                archiver_.ProgressCancelled);
    return archiver_.ProgressCancelled;
}

TZAItemDecoder::PasswordCheck TZAItemDecoder::CheckTraditionalPassword() {
    unsigned char header[kEncryptionHeaderSize];
    if (!ReadExactly(header, kEncryptionHeaderSize))
        return PasswordCheck::Unreadable;
    keys_.emplace(archiver_.Password);
    keys_->Decrypt(header, kEncryptionHeaderSize);
    const bool timeChecks = (Le16(localHeader_ + local::kFlags) & kFlagDataDescriptor) != 0;
    const unsigned char expected =
        timeChecks ? localHeader_[local::kTime + 1] : localHeader_[local::kCrc + 3];
    return header[kEncryptionHeaderSize - 1] == expected ? PasswordCheck::Passed
                                                         : PasswordCheck::Failed;
}

// Asks for passwords until one passes or the user skips the item; false for a skip or an
// unreadable check.
bool TZAItemDecoder::AskForPasswordUntilItPasses(const std::function<PasswordCheck()>& check) {
    const int64_t start = archive_.Position();
    for (;;) {
        archive_.SetPosition(start);
        const PasswordCheck result = check();
        if (result == PasswordCheck::Passed)
            return true;
        if (result == PasswordCheck::Unreadable)
            return false;
        archiver_.DoPassword(StoredName(), archiver_.Password, archiver_.SkipCurrentFile);
        if (archiver_.SkipCurrentFile)
            return false;
    }
}

void TZAItemDecoder::BeginOutputArea() {
    inPlace_ = memoryOutput_ && memoryOutput_->Position() == memoryOutput_->Size();
    areaStart_ = inPlace_ ? memoryOutput_->Position() : 0;
}

bool TZAItemDecoder::EnsureOutputCapacity(uint64_t capacity) {
    if (capacity > std::numeric_limits<size_t>::max() / 2)
        return false;
    if (inPlace_) {
        const int64_t end = areaStart_ + static_cast<int64_t>(capacity);
        if (memoryOutput_->Size() >= end)
            return true;
        // A reserve that was kept small grows to meet output that really comes.
        if (end > memoryOutput_->Capacity())
            memoryOutput_->Reserve(static_cast<int64_t>(
                RoomGrown(static_cast<uint64_t>(memoryOutput_->Capacity()),
                          static_cast<uint64_t>(end), areaStart_ + areaLimit_)));
        memoryOutput_->SetSize(end);
        return true;
    }
    if (capacity <= outputCapacity_)
        return true;
    auto grown = std::make_unique_for_overwrite<unsigned char[]>(capacity);
    std::copy_n(outputBuffer_.get(), outputCapacity_, grown.get());
    outputBuffer_ = std::move(grown);
    outputCapacity_ = static_cast<size_t>(capacity);
    return true;
}

// Inflates one piece of input into the output area. Output beyond the item's declared size
// fails the piece: a stream that inflates further than it says must not take memory, nor
// is room made for more than the input so far can become. A failed piece leaves no bytes of
// its own in the output.
bool TZAItemDecoder::Inflate(za::TZAInflater& inflater, const unsigned char* input, int64_t length,
                             uint64_t firstOutputSize, uint64_t growStep, bool wholeStream,
                             size_t& produced) {
    BeginOutputArea();
    const bool inflated =
        InflateIntoArea(inflater, input, length, firstOutputSize, growStep, wholeStream, produced);
    if (!inflated && inPlace_)
        memoryOutput_->SetSize(areaStart_);
    return inflated;
}

// Output is offered a piece at a time and its CRC taken right away, while the piece is
// still in the cache. In place, room is cleared before it is written, so it grows a piece at
// a time just ahead of the output: the clearing happens in the cache too. A piece is as long
// as the output so far, within bounds, so that a stream that ends or fails early clears
// little.
bool TZAItemDecoder::InflateIntoArea(TZAInflater& inflater, const unsigned char* input,
                                     int64_t length, uint64_t firstOutputSize, uint64_t growStep,
                                     bool wholeStream, size_t& produced) {
    constexpr size_t kFirstPiece = 16 << 10;
    constexpr size_t kPiece = 256 << 10;
    const uint64_t honest =
        ExpandedAtMost(kMethodDeflate, static_cast<uint64_t>(consumed_ + length));
    const uint64_t limit = std::min(OutputRoom(), honest > written_ ? honest - written_ : 0) + 1;
    areaLimit_ = limit;
    uint64_t capacity = std::clamp<uint64_t>(firstOutputSize, 1, limit);
    inflater.SetInput(input, static_cast<size_t>(length));
    produced = 0;
    areaCrc_ = crc_;
    for (;;) {
        if (inPlace_)
            capacity =
                std::min<uint64_t>(limit, produced + std::clamp(produced, kFirstPiece, kPiece));
        if (!EnsureOutputCapacity(capacity))
            return false;
        size_t part = 0;
        unsigned char* piece = OutputArea() + produced;
        const TInflateResult result =
            inflater.Inflate(piece, std::min<size_t>(capacity - produced, kPiece), part);
        areaCrc_ = UpdateCrc32(areaCrc_, piece, part);
        produced += part;
        if (produced >= limit || result == TInflateResult::Failed)
            return false;
        if (result == TInflateResult::StreamEnd)
            return true;
        if (result == TInflateResult::InputUsed)
            return !wholeStream;
        if (produced == capacity)
            capacity = std::min(limit, std::max(capacity + growStep, capacity * 2));
    }
}

unsigned char* TZAItemDecoder::OutputArea() {
    return inPlace_ ? reinterpret_cast<unsigned char*>(memoryOutput_->WritableMemory()) + areaStart_
                    : outputBuffer_.get();
}

// The area's first bytes, whose CRC is taken already, become output; in place, the rest
// of the area goes again.
bool TZAItemDecoder::EmitOutputArea(size_t length) {
    if (inPlace_) {
        const int64_t end = areaStart_ + static_cast<int64_t>(length);
        memoryOutput_->SetSize(end);
        memoryOutput_->SetPosition(end);
    } else if (output_.Write(outputBuffer_.get(), static_cast<int64_t>(length)) !=
               static_cast<int64_t>(length)) {
        return false;
    }
    crc_ = areaCrc_;
    written_ += length;
    return true;
}

bool TZAItemDecoder::EmitOutput(const unsigned char* data, size_t length) {
    crc_ = UpdateCrc32(crc_, data, length);
    if (output_.Write(data, static_cast<int64_t>(length)) != static_cast<int64_t>(length))
        return false;
    written_ += length;
    return true;
}

bool TZAItemDecoder::DecodeStoredOrDeflated() {
    availableMemory_ = platform::AvailablePhysicalMemory();
    if (encrypted_) {
        remaining_ -= kEncryptionHeaderSize;
        if (!AskForPasswordUntilItPasses([this] { return CheckTraditionalPassword(); }))
            return false;
    } else if (DecodeWhole()) {
        return true;
    }
    const bool deflated = item_.CompressionMethod == kMethodDeflate;
    TZAInflater* const inflater = deflated ? &scratch_.FreshRawInflater() : nullptr;
    if (deflated && !inflater->Ready())
        return false;
    unsigned char* const input = scratch_.ReadBuffer(
        static_cast<size_t>(std::min(kChunkLimit, std::max<int64_t>(remaining_, 1))));
    while (consumed_ < remaining_) {
        if (CancelledByProgress())
            break;
        const int64_t chunk = ChunkSize(remaining_ - consumed_);
        if (!ReadExactly(input, chunk))
            return false;
        if (encrypted_)
            keys_->Decrypt(input, static_cast<size_t>(chunk));
        if (deflated) {
            size_t produced = 0;
            if (!Inflate(*inflater, input, chunk, OutputEstimate(chunk), kChunkLimit, false,
                         produced) ||
                !EmitOutputArea(produced))
                return false;
        } else if (static_cast<uint64_t>(chunk) > OutputRoom() ||
                   !EmitOutput(input, static_cast<size_t>(chunk))) {
            return false;
        }
        consumed_ += chunk;
    }
    return true;
}

// The whole item in one call, taken only where its outcome cannot differ from the chunked
// path's, but for one known difference: libdeflate reads some codes that zlib refuses as if
// they were their valid neighbours (length symbols 286 and 287 as 285, distance codes 30
// and 31 as 29, a header listing more than 286 length or 30 distance symbols, code lengths
// that run past the last symbol). A stream holding one fails a chunk at a time and, when
// its CRC-32 still matches, succeeds whole. Finding them means walking every symbol, which
// doubled the time of whole decoding. Any failure puts both streams back as they were, so
// that the chunked path decodes the item again and gives its own result, partial output
// and all.
bool TZAItemDecoder::DecodeWhole() {
    if (!WholeDecodingAllowed())
        return false;
    const int64_t dataStart = archive_.Position();
    // The input comes first: what it allocates may fail before the output has changed.
    std::unique_ptr<unsigned char[]> held;
    const bool stored = item_.CompressionMethod == kMethodStored;
    const unsigned char* input = stored ? nullptr : WholeInput(held);
    if (!stored && !input) {
        archive_.SetPosition(dataStart);
        return false;
    }
    const int64_t outputStart = memoryOutput_->Position();
    const auto size = static_cast<size_t>(item_.FullUncompressedSize());
    const int64_t outputEnd = outputStart + static_cast<int64_t>(size);
    memoryOutput_->SetSize(outputEnd);
    auto* output = reinterpret_cast<unsigned char*>(memoryOutput_->WritableMemory()) + outputStart;
    const bool decoded = stored
                             ? ReadExactly(output, remaining_)
                             : InflateWhole(input, static_cast<size_t>(remaining_), output, size);
    if (!decoded || UpdateCrc32(crc_, output, size) != item_.Crc32) {
        memoryOutput_->SetSize(outputStart);
        archive_.SetPosition(dataStart);
        return false;
    }
    memoryOutput_->SetPosition(outputEnd);
    written_ = size;
    crc_ = item_.Crc32;
    consumed_ = remaining_;
    ++archiver_.ItemsDecodedWhole;
    return true;
}

bool TZAItemDecoder::WholeDecodingAllowed() {
    const uint64_t declared = item_.FullUncompressedSize();
    const bool deflated = item_.CompressionMethod == kMethodDeflate;
    // The room must be reserved already, for the declared size and the byte more that the
    // chunked path looks at: a header that lies about the size never makes this path
    // allocate. Progress events come a chunk at a time, so they keep the chunked path.
    // Data that the directory cuts off before it starts is no data to decode.
    return archiver_.DecodeWholeItems && !archiver_.ReportProgress && remaining_ >= 0 &&
           memoryOutput_ && memoryOutput_->Position() == memoryOutput_->Size() &&
           static_cast<uint64_t>(memoryOutput_->Capacity() - memoryOutput_->Position()) >
               declared &&
           (deflated ? WholeInflateAvailable() : static_cast<uint64_t>(remaining_) == declared);
}

// The item's compressed bytes in one piece: in place in a memory archive; otherwise read into
// a buffer where that holds no more than the chunked path would, or a tenth of the item.
const unsigned char* TZAItemDecoder::WholeInput(std::unique_ptr<unsigned char[]>& held) {
    const int64_t start = archive_.Position();
    if (auto* memory = dynamic_cast<TCustomMemoryStream*>(&archive_)) {
        if (start < 0 || remaining_ > memory->Size() - start)
            return nullptr;
        memory->SetPosition(start + remaining_);
        return reinterpret_cast<const unsigned char*>(memory->Memory()) + start;
    }
    unsigned char* buffer = nullptr;
    if (remaining_ <= kChunkLimit) {
        buffer = scratch_.ReadBuffer(static_cast<size_t>(std::max<int64_t>(remaining_, 1)));
    } else if (static_cast<uint64_t>(remaining_) <= item_.FullUncompressedSize() / 10) {
        held = std::make_unique_for_overwrite<unsigned char[]>(static_cast<size_t>(remaining_));
        buffer = held.get();
    } else {
        return nullptr;
    }
    return ReadExactly(buffer, remaining_) ? buffer : nullptr;
}

// The component's own format: a 50-byte header, then blocks of a 4-byte length and data,
// each block stored or a complete zlib stream.
bool TZAItemDecoder::DecodeBlocks() {
    unsigned char header[kBlockHeaderSize];
    if (!ReadExactly(header, kBlockHeaderSize))
        return false;
    consumed_ += kBlockHeaderSize;
    // The cipher of encrypted block-format items is not known; such items fail to decode.
    if (Le16(header + block::kEncryption) != kSaturated16)
        return false;
    const uint32_t blockSize = Le32(header + block::kBlockSize);
    const uint64_t total = item_.UncompressedSize == kSaturated32
                               ? item_.UncompressedSize64
                               : Le32(header + block::kTotalSize);
    const auto blockCount = static_cast<int32_t>(Le32(header + block::kBlockCount));
    const bool compressed = header[block::kCompressed] != 0;
    std::string data;
    for (int32_t i = 0; i < blockCount; ++i) {
        if (CancelledByProgress())
            return true;
        unsigned char lengthBytes[4];
        if (!ReadExactly(lengthBytes, 4))
            return false;
        consumed_ += 4;
        const auto length = static_cast<int32_t>(Le32(lengthBytes));
        // A block longer than the rest of the stream cannot be read whole.
        if (length < 0 || length > archive_.Size() - archive_.Position())
            return false;
        data.resize(static_cast<size_t>(length));
        if (!ReadExactly(reinterpret_cast<unsigned char*>(data.data()), length))
            return false;
        const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
        if (compressed) {
            if (header[block::kAlgorithm] != 0 || length == 0)
                return false;
            const uint64_t expected =
                i < blockCount - 1 ? blockSize : (total > written_ ? total - written_ : 0);
            const uint64_t step = (static_cast<uint64_t>(length) + 255) / 256 * 256;
            TZAInflater inflater(false);
            size_t produced = 0;
            if (!inflater.Ready() ||
                !Inflate(inflater, bytes, length, std::max<uint64_t>(expected, 1), step, true,
                         produced) ||
                !EmitOutputArea(produced) || produced == 0)
                return false;
        } else if (static_cast<uint64_t>(length) > OutputRoom() ||
                   !EmitOutput(bytes, static_cast<size_t>(length))) {
            return false;
        }
        consumed_ += length;
    }
    return true;
}
