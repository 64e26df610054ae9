#pragma once

#include "platform/AesCipher.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TDirItem;

// Items encrypted with AES in the WinZip form: method 99, the real method in an extra field
// of their own; their data is the salt, a 2-byte password verifier, the encrypted data and a
// 10-byte authentication code, all counted in the compressed size.
namespace za {

constexpr uint16_t kAesExtraId = 0x9901;
constexpr size_t kAesVerifierSize = 2;
constexpr size_t kAesCodeSize = 10;
constexpr size_t kAesLargestSalt = 16;

// What an item's AES extra field says.
struct TZAAesExtra {
    uint16_t VendorVersion; // 1 (AE-1) keeps the CRC-32; 2 (AE-2) has none
    uint8_t Strength;       // 1, 2 or 3: a key of 128, 192 or 256 bits
    uint16_t Method;        // what the data is compressed with

    size_t KeyLength() const { return 8 + 8 * size_t{Strength}; }
    size_t SaltLength() const { return KeyLength() / 2; }
    // The bytes of the item's data around the encrypted data.
    int64_t Overhead() const {
        return static_cast<int64_t>(SaltLength() + kAesVerifierSize + kAesCodeSize);
    }
};

// The AES extra field of an item of method 99; none for another method, or where the field
// is missing or of a version or strength not known here.
std::optional<TZAAesExtra> AesExtraOf(const TDirItem& item);

// The method an item's data is compressed with: the item's own, or under AES the extra
// field's.
uint16_t CompressionMethodOf(const TDirItem& item);

// Whether the item's CRC-32 stands for its contents: not under AE-2, whose authentication code
// alone vouches for them (its CRC field is 0, so that the CRC of the plain text gives nothing
// away).
bool CrcVouches(const TDirItem& item);

// The keys one password and an item's salt give, decrypting the item's data piece by piece
// while its authentication code is taken over the encrypted bytes.
class TZAAesDecryptor {
public:
    TZAAesDecryptor(std::string_view password, std::string_view salt, size_t keyLength);

    // Whether the item's password verifier is the one these keys came with.
    bool Verifies(const unsigned char* verifier) const;
    // Decrypts in place; pieces need not be whole blocks.
    void Decrypt(unsigned char* data, size_t length);
    // Whether the item's authentication code is that of every byte decrypted.
    bool Authenticates(const unsigned char* code);

private:
    // From the keys the password gave.
    TZAAesDecryptor(const std::string& keys, size_t keyLength);
    void RefillKeystream(size_t wanted);

    platform::TAesBlockCipher cipher_;         // keyed with the encryption key
    platform::THmacSha1 hmac_;                 // keyed with the authentication key
    unsigned char verifier_[kAesVerifierSize]; // what the password gives for the verifier
    uint64_t counter_ = 0;                     // the counter block last encrypted
    std::vector<unsigned char> keystream_;     // encrypted counter blocks, not all used yet
    size_t keystreamUsed_ = 0;                 // bytes of it used
};

} // namespace za
