#include "ZAAesItem.h"

#include "ZAConst.h"
#include "ZADirArray.h"
#include "ZALittleEndian.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace za {
namespace {

constexpr size_t kAesExtraSize = 7;
constexpr unsigned kKeyIterations = 1000;
// Keystream made at a time: enough for a chunk to take few library calls, small enough to
// stay in the cache while it is used.
constexpr size_t kKeystreamBlocks = 2048;
constexpr size_t kBlock = platform::TAesBlockCipher::kBlockSize;

bool Known(const TZAAesExtra& extra) {
    return (extra.VendorVersion == 1 || extra.VendorVersion == 2) && extra.Strength >= 1 &&
           extra.Strength <= 3;
}

// Word by word: a byte at a time took a fifth of decrypting.
void XorInto(unsigned char* data, const unsigned char* key, size_t length) {
    size_t i = 0;
    for (uint64_t word, keyWord; i + sizeof word <= length; i += sizeof word) {
        std::memcpy(&word, data + i, sizeof word);
        std::memcpy(&keyWord, key + i, sizeof word);
        word ^= keyWord;
        std::memcpy(data + i, &word, sizeof word);
    }
    for (; i < length; ++i)
        data[i] ^= key[i];
}

} // namespace

std::optional<TZAAesExtra> AesExtraOf(const TDirItem& item) {
    if (item.CompressionMethod != kMethodAes)
        return std::nullopt;
    const auto found = std::find_if(item.Extras.begin(), item.Extras.end(), [](const auto& e) {
        return e.HeaderId == kAesExtraId && e.Data.size() >= kAesExtraSize;
    });
    if (found == item.Extras.end() || found->Data.compare(2, 2, "AE") != 0)
        return std::nullopt;
    const auto* data = reinterpret_cast<const unsigned char*>(found->Data.data());
    const TZAAesExtra extra{
        .VendorVersion = Le16(data), .Strength = data[4], .Method = Le16(data + 5)};
    return Known(extra) ? std::optional(extra) : std::nullopt;
}

uint16_t CompressionMethodOf(const TDirItem& item) {
    const std::optional<TZAAesExtra> extra = AesExtraOf(item);
    return extra ? extra->Method : item.CompressionMethod;
}

bool CrcVouches(const TDirItem& item) {
    const std::optional<TZAAesExtra> extra = AesExtraOf(item);
    return !extra || extra->VendorVersion == 1;
}

// The password gives the encryption key, the authentication key and the verifier, in this
// order.
TZAAesDecryptor::TZAAesDecryptor(std::string_view password, std::string_view salt, size_t keyLength)
    : TZAAesDecryptor(platform::Pbkdf2HmacSha1(password, salt, kKeyIterations,
                                               2 * keyLength + kAesVerifierSize),
                      keyLength) {}

TZAAesDecryptor::TZAAesDecryptor(const std::string& keys, size_t keyLength)
    : cipher_(std::string_view(keys).substr(0, keyLength)),
      hmac_(std::string_view(keys).substr(keyLength, keyLength)) {
    std::copy_n(keys.data() + 2 * keyLength, kAesVerifierSize, verifier_);
}

bool TZAAesDecryptor::Verifies(const unsigned char* verifier) const {
    return std::equal(verifier_, verifier_ + kAesVerifierSize, verifier);
}

// The code is taken over the encrypted bytes, before they are decrypted.
void TZAAesDecryptor::Decrypt(unsigned char* data, size_t length) {
    hmac_.Update(data, length);
    while (length > 0) {
        if (keystreamUsed_ == keystream_.size())
            RefillKeystream(length);
        const size_t piece = std::min(length, keystream_.size() - keystreamUsed_);
        XorInto(data, keystream_.data() + keystreamUsed_, piece);
        data += piece;
        length -= piece;
        keystreamUsed_ += piece;
    }
}

// The counter is a little-endian 128-bit number from 1 on, one block for each 16 bytes; an
// item never reaches its upper half.
void TZAAesDecryptor::RefillKeystream(size_t wanted) {
    const size_t blocks = std::min(kKeystreamBlocks, (wanted + kBlock - 1) / kBlock);
    keystream_.resize(blocks * kBlock);
    for (size_t i = 0; i < blocks; ++i) {
        unsigned char* const block = &keystream_[i * kBlock];
        ++counter_;
        PutLe32(block, static_cast<uint32_t>(counter_));
        PutLe32(block + 4, static_cast<uint32_t>(counter_ >> 32));
        std::fill_n(block + 8, kBlock - 8, 0);
    }
    cipher_.Encrypt(keystream_.data(), blocks);
    keystreamUsed_ = 0;
}

bool TZAAesDecryptor::Authenticates(const unsigned char* code) {
    const auto full = hmac_.Final();
    return std::equal(full.begin(), full.begin() + kAesCodeSize, code);
}

} // namespace za
