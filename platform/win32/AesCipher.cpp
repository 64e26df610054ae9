#include "platform/AesCipher.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <string>

namespace platform {
namespace {

// The calls fail only for want of memory or of the system's providers.
void Check(NTSTATUS status, const char* call) {
    if (!BCRYPT_SUCCESS(status))
        throw std::runtime_error(std::string("The system's cryptography failed in ") + call);
}

// An algorithm provider of the system, closed when done.
class TProvider {
public:
    TProvider(const wchar_t* algorithm, ULONG flags) {
        Check(BCryptOpenAlgorithmProvider(&handle_, algorithm, nullptr, flags),
              "BCryptOpenAlgorithmProvider");
    }
    ~TProvider() { BCryptCloseAlgorithmProvider(handle_, 0); }
    TProvider(const TProvider&) = delete;
    TProvider& operator=(const TProvider&) = delete;
    BCRYPT_ALG_HANDLE Handle() const { return handle_; }

private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

PUCHAR Bytes(std::string_view text) {
    return reinterpret_cast<PUCHAR>(const_cast<char*>(text.data()));
}

ULONG Length(std::string_view text) {
    return static_cast<ULONG>(text.size());
}

// The system counts lengths in 32 bits; a longer run goes in pieces.
constexpr size_t kLargestPiece = ULONG_MAX / TAesBlockCipher::kBlockSize;

} // namespace

std::string Pbkdf2HmacSha1(std::string_view password, std::string_view salt, unsigned iterations,
                           size_t length) {
    const TProvider hmac(BCRYPT_SHA1_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG);
    std::string key(length, '\0');
    Check(BCryptDeriveKeyPBKDF2(hmac.Handle(), Bytes(password), Length(password), Bytes(salt),
                                Length(salt), iterations, Bytes(key), Length(key), 0),
          "BCryptDeriveKeyPBKDF2");
    return key;
}

struct TAesBlockCipher::State {
    TProvider aes{BCRYPT_AES_ALGORITHM, 0};
    BCRYPT_KEY_HANDLE key = nullptr;
    ~State() {
        if (key)
            BCryptDestroyKey(key);
    }
};

TAesBlockCipher::TAesBlockCipher(std::string_view key) : state_(std::make_unique<State>()) {
    Check(BCryptSetProperty(state_->aes.Handle(), BCRYPT_CHAINING_MODE,
                            reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_ECB)),
                            sizeof(BCRYPT_CHAIN_MODE_ECB), 0),
          "BCryptSetProperty");
    Check(BCryptGenerateSymmetricKey(state_->aes.Handle(), &state_->key, nullptr, 0, Bytes(key),
                                     Length(key), 0),
          "BCryptGenerateSymmetricKey");
}

TAesBlockCipher::~TAesBlockCipher() = default;

void TAesBlockCipher::Encrypt(unsigned char* blocks, size_t count) {
    while (count > 0) {
        const size_t piece = std::min(count, kLargestPiece);
        const auto length = static_cast<ULONG>(piece * kBlockSize);
        ULONG written = 0;
        Check(BCryptEncrypt(state_->key, blocks, length, nullptr, nullptr, 0, blocks, length,
                            &written, 0),
              "BCryptEncrypt");
        blocks += length;
        count -= piece;
    }
}

struct THmacSha1::State {
    TProvider hmac{BCRYPT_SHA1_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG};
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~State() {
        if (hash)
            BCryptDestroyHash(hash);
    }
};

THmacSha1::THmacSha1(std::string_view key) : state_(std::make_unique<State>()) {
    Check(BCryptCreateHash(state_->hmac.Handle(), &state_->hash, nullptr, 0, Bytes(key),
                           Length(key), 0),
          "BCryptCreateHash");
}

THmacSha1::~THmacSha1() = default;

void THmacSha1::Update(const unsigned char* data, size_t length) {
    while (length > 0) {
        const auto piece = static_cast<ULONG>(std::min<size_t>(length, ULONG_MAX));
        Check(BCryptHashData(state_->hash, const_cast<PUCHAR>(data), piece, 0), "BCryptHashData");
        data += piece;
        length -= piece;
    }
}

std::array<unsigned char, THmacSha1::kSize> THmacSha1::Final() {
    std::array<unsigned char, kSize> code{};
    Check(BCryptFinishHash(state_->hash, code.data(), kSize, 0), "BCryptFinishHash");
    return code;
}

} // namespace platform
