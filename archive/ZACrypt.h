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
    void Update(unsigned char plain);
    uint32_t keys_[3];
};

} // namespace za
