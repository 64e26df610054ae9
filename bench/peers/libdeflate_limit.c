/* The libdeflate limit: each item's stream decoded whole in one call, then libdeflate's
   CRC-32 over the output. */
#include "limit.h"

#include <libdeflate.h>

static struct libdeflate_decompressor* decompressor;

static uint32_t sum(const unsigned char* data, size_t length) {
    return libdeflate_crc32(0, data, length);
}

static int inflate_item(const unsigned char* data, uint32_t packed, unsigned char* out,
                        uint32_t unpacked, uint32_t* crc) {
    const enum libdeflate_result result =
        libdeflate_deflate_decompress(decompressor, data, packed, out, unpacked, NULL);
    *crc = sum(out, unpacked);
    return result == LIBDEFLATE_SUCCESS ? 0 : 1;
}

int main(int argc, char** argv) {
    decompressor = libdeflate_alloc_decompressor();
    const int status = limit_main(argc, argv, "libdeflate_limit", inflate_item, sum);
    libdeflate_free_decompressor(decompressor);
    return status;
}
