#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace za {

// The three keys of the traditional PKWARE encryption.
class TZATraditionalKeys {
public:
    explicit TZATraditionalKeys(std::string_view password);
    // Decrypts in place, each plain byte moving the keys on.
    void Decrypt(unsigned char* data, size_t length);

private:
    uint32_t CrcStep(uint32_t crc, unsigned char b) const;
    void Update(unsigned char plain);
    uint32_t keys_[3];
    const uint32_t* crcTable_; // held, not asked for at every byte
};

} // namespace za
