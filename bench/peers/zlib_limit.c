/* The limit: the archive read into memory, then only zlib's raw inflate and crc32 over each
   item's deflate stream, into a buffer of the item's size (a stored item is only summed). No
   checks beyond the CRC; for
   archives without Zip64 records or an archive comment, as the benchmark writes them. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <zlib.h>

static uint32_t le16(const unsigned char* p) {
    return p[0] | p[1] << 8;
}
static uint32_t le32(const unsigned char* p) {
    return le16(p) | (uint32_t)le16(p + 2) << 16;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: zlib_limit ARCHIVE\n");
        return 2;
    }
    FILE* in = fopen(argv[1], "rb");
    if (!in)
        return 2;
    fseek(in, 0, SEEK_END);
    const long size = ftell(in);
    fseek(in, 0, SEEK_SET);
    unsigned char* archive = malloc((size_t)size);
    if (fread(archive, 1, (size_t)size, in) != (size_t)size)
        return 2;
    fclose(in);

    const unsigned char* end = archive + size - 22;
    const unsigned count = le16(end + 10);
    const unsigned char* header = archive + le32(end + 16);
    int bad = 0;
    for (unsigned i = 0; i < count; ++i) {
        const unsigned method = le16(header + 10);
        const uint32_t crc = le32(header + 16), packed = le32(header + 20),
                       unpacked = le32(header + 24);
        const unsigned char* local = archive + le32(header + 42);
        const unsigned char* data = local + 30 + le16(local + 26) + le16(local + 28);
        header += 46 + le16(header + 28) + le16(header + 30) + le16(header + 32);
        unsigned char* out = malloc(unpacked ? unpacked : 1);
        /* Output in 256 KiB pieces, each CRC taken while it is in the cache. */
        uLong sum = crc32(0, NULL, 0);
        if (method == 8) {
            z_stream z = {0};
            inflateInit2(&z, -MAX_WBITS);
            z.next_in = (unsigned char*)data;
            z.avail_in = packed;
            z.next_out = out;
            int result = Z_OK;
            while (result == Z_OK) {
                unsigned char* piece = z.next_out;
                const uint32_t left = unpacked - (uint32_t)(piece - out);
                z.avail_out = left < (256u << 10) ? left : 256u << 10;
                result = inflate(&z, Z_NO_FLUSH);
                sum = crc32(sum, piece, (uInt)(z.next_out - piece));
                if (result == Z_BUF_ERROR && z.next_out == out + unpacked)
                    break;
            }
            if (result != Z_STREAM_END)
                ++bad;
            inflateEnd(&z);
        } else {
            sum = crc32(sum, data, unpacked);
        }
        if (sum != crc)
            ++bad;
        free(out);
    }
    free(archive);
    printf("%u items, %d bad\n", count, bad);
    return bad ? 1 : 0;
}
