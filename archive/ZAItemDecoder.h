#pragma once

#include "ZAAesItem.h"
#include "ZAConst.h"
#include "ZACrypt.h"
#include "ZADecodingRequest.h"
#include "ZAOutputArea.h"
#include "ZAStreamDecoder.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class TZADecodingScratch;

// Reads one item's data from its local header on: checks the password of an encrypted item
// and decodes its data chunk by chunk (stored, deflated, or of a method a library beside zlib
// reads), unless the whole-item path takes it; the component's block format goes to its own
// decoder. Never writes more than the item's
// declared size.
class TZAItemDecoder {
public:
    // The scratch may be kept for the next item.
    TZAItemDecoder(const TZADecodingRequest& request, TZADecodingScratch& scratch);

    TZADecodingOutcome Run();

private:
    enum class PasswordCheck { Passed, Failed, Unreadable };

    bool ReadLocalHeader();
    void FindData();
    bool Decode();
    bool DecodeData();
    bool DecodeWhole();
    bool DecodeChunks();
    za::TZAStreamDecoder* StreamDecoder();
    bool MoreToDecode();
    bool DecodeChunk(za::TZAStreamDecoder* decoder, unsigned char* input);
    bool DecodeOtherMethod();
    bool PasswordPasses();
    PasswordCheck CheckPassword(const std::string& password);
    PasswordCheck CheckTraditionalPassword(const std::string& password);
    PasswordCheck CheckAesPassword(const std::string& password);
    bool Authenticated();

    const TZADecodingRequest& request_;                    // the item, its streams and the caller
    TZADecodingScratch& scratch_;                          // what decoding keeps from item to item
    TZAOutputArea output_;                                 // where the decoded bytes go
    unsigned char localHeader_[za::kLocalHeaderSize] = {}; // the item's local header, as read
    int64_t dataSize_ = 0;                                 // the compressed bytes to decode
    int64_t consumed_ = 0;                                 // of those, consumed so far
    uint64_t availableMemory_ = 0;                         // free physical memory as decoding began
    std::optional<za::TZATraditionalKeys> keys_; // the cipher's keys after a password check
    std::optional<za::TZAAesExtra> aesExtra_;    // what an item encrypted with AES says of it
    std::optional<za::TZAAesDecryptor> aes_;     // its keys after a password check
    std::unique_ptr<za::TZAStreamDecoder> libraryDecoder_; // for a method zlib does not read
    bool decodedWhole_ = false;                            // the whole-item path decoded the item
};
