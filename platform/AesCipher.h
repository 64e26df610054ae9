#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// The cryptographic primitives that items encrypted with AES need, from the system's own
// library: the keys derived from a password, the block cipher and the keyed hash.
namespace platform {

// PBKDF2 with HMAC-SHA1: this many bytes derived from the password and the salt.
std::string Pbkdf2HmacSha1(std::string_view password, std::string_view salt, unsigned iterations,
                           size_t length);

// AES encrypting whole blocks, each on its own, with a key of 16, 24 or 32 bytes.
class TAesBlockCipher {
public:
    static constexpr size_t kBlockSize = 16;

    explicit TAesBlockCipher(std::string_view key);
    ~TAesBlockCipher();
    TAesBlockCipher(const TAesBlockCipher&) = delete;
    TAesBlockCipher& operator=(const TAesBlockCipher&) = delete;

    // Encrypts this many blocks in place.
    void Encrypt(unsigned char* blocks, size_t count);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// HMAC-SHA1 over bytes given piece by piece.
class THmacSha1 {
public:
    static constexpr size_t kSize = 20;

    explicit THmacSha1(std::string_view key);
    ~THmacSha1();
    THmacSha1(const THmacSha1&) = delete;
    THmacSha1& operator=(const THmacSha1&) = delete;

    void Update(const unsigned char* data, size_t length);
    // The code of every byte given; nothing may be given after it.
    std::array<unsigned char, kSize> Final();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace platform
