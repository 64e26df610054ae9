/* The zlib limit: raw inflate and crc32, the output offered 256 KiB at a time and each piece's
   CRC taken while it is in the cache. */
#include "limit.h"

#include <zlib.h>

static uint32_t sum(const unsigned char* data, size_t length) {
    return (uint32_t)crc32(crc32(0, NULL, 0), data, (uInt)length);
}

static int inflate_item(const unsigned char* data, uint32_t packed, unsigned char* out,
                        uint32_t unpacked, uint32_t* crc) {
    z_stream z = {0};
    inflateInit2(&z, -MAX_WBITS);
    z.next_in = (unsigned char*)data;
    z.avail_in = packed;
    z.next_out = out;
    uLong running = crc32(0, NULL, 0);
    int result = Z_OK;
    while (result == Z_OK) {
        unsigned char* piece = z.next_out;
        const uint32_t left = unpacked - (uint32_t)(piece - out);
        z.avail_out = left < (256u << 10) ? left : 256u << 10;
        result = inflate(&z, Z_NO_FLUSH);
        running = crc32(running, piece, (uInt)(z.next_out - piece));
        if (result == Z_BUF_ERROR && z.next_out == out + unpacked)
            break;
    }
    inflateEnd(&z);
    *crc = (uint32_t)running;
    return result == Z_STREAM_END ? 0 : 1;
}

int main(int argc, char** argv) {
    return limit_main(argc, argv, "zlib_limit", inflate_item, sum);
}
