#pragma once

#include <cstdint>

// Multi-byte values of the archive records are little-endian, whatever the machine.
namespace za {

inline uint16_t Le16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t Le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t Le64(const unsigned char* p) {
    return static_cast<uint64_t>(Le32(p)) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
}

inline void PutLe16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

inline void PutLe32(unsigned char* p, uint32_t v) {
    PutLe16(p, static_cast<uint16_t>(v));
    PutLe16(p + 2, static_cast<uint16_t>(v >> 16));
}

} // namespace za
