#pragma once

#include "ZACrypt.h"
#include "ZADecodingScratch.h"
#include "ZAZlib.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TMemoryStream;
class TStream;
class TZABaseArchiver;
struct TDirItem;

// Reads one item's data from its local header on: checks the password of an encrypted item,
// decodes stored, deflated or block-format data chunk by chunk into the output and keeps
// the CRC-32 of what it wrote; a whole item in one call where that cannot change the result,
// but for deflate streams holding codes that zlib refuses and libdeflate reads (DecodeWhole).
// Never writes more than the item's declared size.
class TZAItemDecoder {
public:
    // The scratch may be kept for the next item.
    TZAItemDecoder(TZABaseArchiver& archiver, TStream& archive, TStream& output, TDirItem& item,
                   TZADecodingScratch& scratch);

    // True when the data decoded completely with the declared size and CRC-32, or when the
    // item was skipped at the password request.
    bool Run();

private:
    enum class PasswordCheck { Passed, Failed, Unreadable };

    bool ReadLocalHeader();
    bool DecodeStoredOrDeflated();
    bool DecodeBlocks();
    bool DecodeWhole();
    bool WholeDecodingAllowed();
    const unsigned char* WholeInput(std::unique_ptr<unsigned char[]>& held);
    bool AskForPasswordUntilItPasses(const std::function<PasswordCheck()>& check);
    PasswordCheck CheckTraditionalPassword();
    int64_t ChunkSize(int64_t left) const;
    uint64_t OutputEstimate(int64_t chunk) const;
    bool ReadExactly(unsigned char* buffer, int64_t count);
    bool Inflate(za::TZAInflater& inflater, const unsigned char* input, int64_t length,
                 uint64_t firstOutputSize, uint64_t growStep, bool wholeStream, size_t& produced);
    bool InflateIntoArea(za::TZAInflater& inflater, const unsigned char* input, int64_t length,
                         uint64_t firstOutputSize, uint64_t growStep, bool wholeStream,
                         size_t& produced);
    void BeginOutputArea();
    bool EnsureOutputCapacity(uint64_t capacity);
    unsigned char* OutputArea();
    bool EmitOutputArea(size_t length);
    bool EmitOutput(const unsigned char* data, size_t length);
    bool CancelledByProgress();
    uint64_t OutputRoom() const;
    std::string StoredName() const;

    TZABaseArchiver& archiver_;
    TStream& archive_;
    TStream& output_;
    TDirItem& item_;
    TZADecodingScratch& scratch_;
    unsigned char localHeader_[30] = {};
    bool encrypted_;
    int64_t remaining_ = 0;
    int64_t consumed_ = 0;
    uint64_t written_ = 0;
    uint32_t crc_ = 0;
    uint64_t availableMemory_ = 0;
    std::optional<za::TZATraditionalKeys> keys_;
    std::unique_ptr<unsigned char[]> outputBuffer_;
    size_t outputCapacity_ = 0;
    // A memory stream written at its end takes inflated bytes in place, sparing a buffer
    // and a copy; the area starts at its end.
    TMemoryStream* memoryOutput_;
    bool inPlace_ = false;
    int64_t areaStart_ = 0;
    uint64_t areaLimit_ = 0; // the room the area may take: one byte past the most it may hold
    uint32_t areaCrc_ = 0;   // the item's CRC with the area's bytes so far
};
