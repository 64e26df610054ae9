#include "ZACrypt.h"

#include "ZAZlib.h"

namespace za {

TZATraditionalKeys::TZATraditionalKeys(std::string_view password)
    : keys_{0x12345678, 0x23456789, 0x34567890}, crcTable_(Crc32Table()) {
    for (char c : password)
        Update(static_cast<unsigned char>(c));
}

uint32_t TZATraditionalKeys::CrcStep(uint32_t crc, unsigned char b) const {
    return crcTable_[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

void TZATraditionalKeys::Update(unsigned char plain) {
    keys_[0] = CrcStep(keys_[0], plain);
    keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813 + 1;
    keys_[2] = CrcStep(keys_[2], static_cast<unsigned char>(keys_[1] >> 24));
}

void TZATraditionalKeys::Decrypt(unsigned char* data, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        const uint16_t temp = static_cast<uint16_t>(keys_[2] | 2);
        data[i] ^= static_cast<unsigned char>((uint32_t{temp} * (temp ^ 1u)) >> 8);
        Update(data[i]);
    }
}

} // namespace za
