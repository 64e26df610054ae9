#include "ZAItemDecoder.h"

#include "ZABlockDecoder.h"
#include "ZADecodingScratch.h"
#include "ZADirArray.h"
#include "ZAExcept.h"
#include "ZALibraryDecoders.h"
#include "ZALittleEndian.h"
#include "ZAMethods.h"
#include "ZAOutputRoom.h"
#include "ZAWholeItemDecoder.h"
#include "platform/MemoryStatus.h"

#include <algorithm>
#include <limits>

using namespace za;

TZAItemDecoder::TZAItemDecoder(const TZADecodingRequest& request, TZADecodingScratch& scratch)
    : request_(request), scratch_(scratch), output_(request.Output, request.Item) {}

TZADecodingOutcome TZAItemDecoder::Run() {
    if (!ReadLocalHeader())
        return {};
    FindData();
    const bool decoded = Decode();
    // An item under AE-2 is judged by its authentication code alone.
    return {.Complete = decoded && output_.Written() == request_.Item.FullUncompressedSize(),
            .CrcMatches = output_.Crc() == request_.Item.Crc32 || !CrcVouches(request_.Item),
            .Consumed = consumed_,
            .DecodedWhole = decodedWhole_};
}

bool TZAItemDecoder::ReadLocalHeader() {
    if (!request_.Read(localHeader_, kLocalHeaderSize))
        return false;
    request_.Archive.Seek(Le16(localHeader_ + local::kNameLength) +
                              Le16(localHeader_ + local::kExtraLength),
                          TSeekOrigin::soCurrent);
    return true;
}

// Compressed data never runs into the central directory.
void TZAItemDecoder::FindData() {
    dataSize_ = static_cast<int64_t>(std::min<uint64_t>(request_.Item.FullCompressedSize(),
                                                        std::numeric_limits<int64_t>::max() / 2));
    const int64_t dataStart = request_.Archive.Position();
    if (request_.DataEnd && dataStart + dataSize_ > *request_.DataEnd)
        dataSize_ = *request_.DataEnd - dataStart;
    request_.Host.DataFound(dataSize_);
}

bool TZAItemDecoder::Decode() {
    aesExtra_ = AesExtraOf(request_.Item);
    switch (CompressionMethodOf(request_.Item)) {
    case kMethodStored:
    case kMethodDeflate:
        return DecodeData();
    case kMethodDeflate64:
        throw EZAException::Create(neDeflate64);
    default:
        return DecodeOtherMethod();
    }
}

bool TZAItemDecoder::DecodeData() {
    availableMemory_ = platform::AvailablePhysicalMemory();
    if ((request_.Item.Flags & kFlagEncrypted) != 0 || aesExtra_) {
        dataSize_ -= aesExtra_ ? aesExtra_->Overhead() : kEncryptionHeaderSize;
        // Data too short for what AES puts around it is damaged, no password to ask for.
        if ((aesExtra_ && dataSize_ < 0) || !PasswordPasses())
            return false;
    } else if (DecodeWhole()) {
        return true;
    }
    return DecodeChunks() && Authenticated();
}

bool TZAItemDecoder::DecodeWhole() {
    decodedWhole_ = TZAWholeItemDecoder(request_, dataSize_, output_, scratch_).Run();
    if (decodedWhole_)
        consumed_ = dataSize_;
    return decodedWhole_;
}

bool TZAItemDecoder::DecodeChunks() {
    TZAStreamDecoder* const decoder = StreamDecoder();
    if (decoder && !decoder->Ready())
        return false;
    unsigned char* const input = scratch_.ReadBuffer(
        static_cast<size_t>(std::min(kChunkLimit, std::max<int64_t>(dataSize_, 1))));
    bool decoded = true;
    while (decoded && MoreToDecode())
        decoded = DecodeChunk(decoder, input);
    return decoded;
}

// None for stored data, which is copied as it is.
TZAStreamDecoder* TZAItemDecoder::StreamDecoder() {
    if (CompressionMethodOf(request_.Item) == kMethodDeflate)
        return &scratch_.FreshRawInflater();
    return libraryDecoder_.get();
}

bool TZAItemDecoder::MoreToDecode() {
    return consumed_ < dataSize_ && !request_.Host.Cancelled(consumed_);
}

bool TZAItemDecoder::DecodeChunk(TZAStreamDecoder* decoder, unsigned char* input) {
    const int64_t chunk = ChunkSize(request_.Item, dataSize_ - consumed_, availableMemory_);
    if (!request_.Read(input, chunk))
        return false;
    const auto length = static_cast<size_t>(chunk);
    if (keys_)
        keys_->Decrypt(input, length);
    else if (aes_)
        aes_->Decrypt(input, length);
    const bool emitted = decoder
                             ? output_
                                   .Decode({.Decoder = *decoder,
                                            .Input = input,
                                            .Length = length,
                                            .InputSoFar = static_cast<uint64_t>(consumed_ + chunk),
                                            .FirstRoom = OutputEstimate(request_.Item, chunk),
                                            .GrowStep = kChunkLimit,
                                            .WholeStream = false})
                                   .has_value()
                             : output_.Emit(input, length);
    if (emitted)
        consumed_ += chunk;
    return emitted;
}

// Any other method is the component's own block format where its header is found, never under
// AES, and else decoded by a library where one reads it; an item of a method that no decoder
// here reads must not pass for a damaged one.
bool TZAItemDecoder::DecodeOtherMethod() {
    const int64_t dataStart = request_.Archive.Position();
    TZABlockDecoder blocks(request_, output_);
    if (!aesExtra_ && request_.Item.VersionNeeded > 10 && blocks.FindHeader()) {
        const bool decoded = blocks.Run();
        consumed_ = blocks.Consumed();
        return decoded;
    }
    libraryDecoder_ = LibraryDecoder(request_.Item);
    if (!libraryDecoder_)
        throw EZAException::CreateWithArgs(neUnsupportedMethod, nullptr,
                                           {MethodShown(CompressionMethodOf(request_.Item))});
    request_.Archive.SetPosition(dataStart);
    return DecodeData();
}

// Asks for passwords until one passes or the caller skips the item; false for a skip or an
// unreadable check.
bool TZAItemDecoder::PasswordPasses() {
    const int64_t start = request_.Archive.Position();
    std::optional<std::string> password = request_.Password;
    PasswordCheck check;
    do {
        request_.Archive.SetPosition(start);
        check = CheckPassword(*password);
    } while (check == PasswordCheck::Failed &&
             (password = request_.Host.NextPassword()).has_value());
    return check == PasswordCheck::Passed;
}

TZAItemDecoder::PasswordCheck TZAItemDecoder::CheckPassword(const std::string& password) {
    return aesExtra_ ? CheckAesPassword(password) : CheckTraditionalPassword(password);
}

TZAItemDecoder::PasswordCheck
TZAItemDecoder::CheckTraditionalPassword(const std::string& password) {
    unsigned char header[kEncryptionHeaderSize];
    if (!request_.Read(header, kEncryptionHeaderSize))
        return PasswordCheck::Unreadable;
    keys_.emplace(password);
    keys_->Decrypt(header, kEncryptionHeaderSize);
    const bool timeChecks = (Le16(localHeader_ + local::kFlags) & kFlagDataDescriptor) != 0;
    const unsigned char expected =
        timeChecks ? localHeader_[local::kTime + 1] : localHeader_[local::kCrc + 3];
    return header[kEncryptionHeaderSize - 1] == expected ? PasswordCheck::Passed
                                                         : PasswordCheck::Failed;
}

TZAItemDecoder::PasswordCheck TZAItemDecoder::CheckAesPassword(const std::string& password) {
    unsigned char header[kAesLargestSalt + kAesVerifierSize];
    const size_t saltLength = aesExtra_->SaltLength();
    if (!request_.Read(header, static_cast<int64_t>(saltLength + kAesVerifierSize)))
        return PasswordCheck::Unreadable;
    aes_.emplace(password, std::string_view(reinterpret_cast<char*>(header), saltLength),
                 aesExtra_->KeyLength());
    return aes_->Verifies(header + saltLength) ? PasswordCheck::Passed : PasswordCheck::Failed;
}

// The authentication code follows the data of an item encrypted with AES; a cancel leaves it
// unread.
bool TZAItemDecoder::Authenticated() {
    if (!aes_ || consumed_ < dataSize_)
        return true;
    unsigned char code[kAesCodeSize];
    return request_.Read(code, kAesCodeSize) && aes_->Authenticates(code);
}
