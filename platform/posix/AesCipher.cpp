#include "platform/AesCipher.h"

#include <stdexcept>

#include <openssl/core_names.h>
#include <openssl/evp.h>

#include <algorithm>
#include <climits>
#include <string>

namespace platform {
namespace {

// libcrypto fails these calls only for want of memory or of its own providers.
void Check(int result, const char* call) {
    if (result != 1)
        throw std::runtime_error(std::string("The cryptographic library failed in ") + call);
}

template <class T> T* Checked(T* made, const char* call) {
    Check(made != nullptr ? 1 : 0, call);
    return made;
}

const EVP_CIPHER* AesEcb(size_t keyLength) {
    switch (keyLength) {
    case 16:
        return EVP_aes_128_ecb();
    case 24:
        return EVP_aes_192_ecb();
    case 32:
        return EVP_aes_256_ecb();
    default:
        throw std::runtime_error("AES takes a key of 16, 24 or 32 bytes");
    }
}

// libcrypto counts lengths in int; a longer run goes in pieces.
constexpr size_t kLargestPiece = INT_MAX / TAesBlockCipher::kBlockSize;

} // namespace

std::string Pbkdf2HmacSha1(std::string_view password, std::string_view salt, unsigned iterations,
                           size_t length) {
    std::string key(length, '\0');
    Check(PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()),
                                 reinterpret_cast<const unsigned char*>(salt.data()),
                                 static_cast<int>(salt.size()), static_cast<int>(iterations),
                                 static_cast<int>(length),
                                 reinterpret_cast<unsigned char*>(key.data())),
          "PKCS5_PBKDF2_HMAC_SHA1");
    return key;
}

struct TAesBlockCipher::State {
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context{
        Checked(EVP_CIPHER_CTX_new(), "EVP_CIPHER_CTX_new"), &EVP_CIPHER_CTX_free};
};

TAesBlockCipher::TAesBlockCipher(std::string_view key) : state_(std::make_unique<State>()) {
    Check(EVP_EncryptInit_ex(state_->context.get(), AesEcb(key.size()), nullptr,
                             reinterpret_cast<const unsigned char*>(key.data()), nullptr),
          "EVP_EncryptInit_ex");
    Check(EVP_CIPHER_CTX_set_padding(state_->context.get(), 0), "EVP_CIPHER_CTX_set_padding");
}

TAesBlockCipher::~TAesBlockCipher() = default;

void TAesBlockCipher::Encrypt(unsigned char* blocks, size_t count) {
    while (count > 0) {
        const size_t piece = std::min(count, kLargestPiece);
        int written = 0;
        Check(EVP_EncryptUpdate(state_->context.get(), blocks, &written, blocks,
                                static_cast<int>(piece * kBlockSize)),
              "EVP_EncryptUpdate");
        blocks += piece * kBlockSize;
        count -= piece;
    }
}

struct THmacSha1::State {
    std::unique_ptr<EVP_MAC_CTX, decltype(&EVP_MAC_CTX_free)> context{nullptr, &EVP_MAC_CTX_free};
};

THmacSha1::THmacSha1(std::string_view key) : state_(std::make_unique<State>()) {
    const std::unique_ptr<EVP_MAC, decltype(&EVP_MAC_free)> mac(
        Checked(EVP_MAC_fetch(nullptr, "HMAC", nullptr), "EVP_MAC_fetch"), &EVP_MAC_free);
    state_->context.reset(Checked(EVP_MAC_CTX_new(mac.get()), "EVP_MAC_CTX_new"));
    char digest[] = "SHA1";
    const OSSL_PARAM parameters[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0), OSSL_PARAM_END};
    Check(EVP_MAC_init(state_->context.get(), reinterpret_cast<const unsigned char*>(key.data()),
                       key.size(), parameters),
          "EVP_MAC_init");
}

THmacSha1::~THmacSha1() = default;

void THmacSha1::Update(const unsigned char* data, size_t length) {
    Check(EVP_MAC_update(state_->context.get(), data, length), "EVP_MAC_update");
}

std::array<unsigned char, THmacSha1::kSize> THmacSha1::Final() {
    std::array<unsigned char, kSize> code{};
    size_t length = 0;
    Check(EVP_MAC_final(state_->context.get(), code.data(), &length, code.size()), "EVP_MAC_final");
    return code;
}

} // namespace platform
