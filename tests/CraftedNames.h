#pragma once

#include <cstdint>
#include <string>

namespace test {

// The n-th of up to 16^5 names that all share one rotate-xor hash: bytes x and x ^ 3
// sixteen places apart add the same to that hash whatever x is.
inline std::string NameOfOneRotateXorHash(int64_t n) {
    std::string name(32, 'm');
    for (size_t digit = 0; digit < 5; ++digit, n /= 16) {
        name[digit] = static_cast<char>('a' + n % 16);
        name[digit + 16] = static_cast<char>(name[digit] ^ 3);
    }
    return name;
}

} // namespace test
