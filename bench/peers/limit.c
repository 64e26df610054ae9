#include "limit.h"

#include <stdio.h>
#include <stdlib.h>

static uint32_t le16(const unsigned char* p) {
    return p[0] | p[1] << 8;
}
static uint32_t le32(const unsigned char* p) {
    return le16(p) | (uint32_t)le16(p + 2) << 16;
}

static unsigned char* read_whole(const char* path, long* size) {
    FILE* in = fopen(path, "rb");
    if (!in)
        return NULL;
    fseek(in, 0, SEEK_END);
    *size = ftell(in);
    fseek(in, 0, SEEK_SET);
    unsigned char* bytes = malloc((size_t)*size);
    if (bytes && fread(bytes, 1, (size_t)*size, in) != (size_t)*size) {
        free(bytes);
        bytes = NULL;
    }
    fclose(in);
    return bytes;
}

int limit_main(int argc, char** argv, const char* name, limit_inflate inflate, limit_crc crc) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s ARCHIVE\n", name);
        return 2;
    }
    long size = 0;
    unsigned char* archive = read_whole(argv[1], &size);
    if (!archive)
        return 2;
    const unsigned char* end = archive + size - 22;
    const unsigned count = le16(end + 10);
    const unsigned char* header = archive + le32(end + 16);
    int bad = 0;
    for (unsigned i = 0; i < count; ++i) {
        const unsigned method = le16(header + 10);
        const uint32_t expected = le32(header + 16), packed = le32(header + 20),
                       unpacked = le32(header + 24);
        const unsigned char* local = archive + le32(header + 42);
        const unsigned char* data = local + 30 + le16(local + 26) + le16(local + 28);
        header += 46 + le16(header + 28) + le16(header + 30) + le16(header + 32);
        unsigned char* out = malloc(unpacked ? unpacked : 1);
        uint32_t sum = 0;
        if (method == 8)
            bad += inflate(data, packed, out, unpacked, &sum) != 0;
        else
            sum = crc(data, unpacked);
        bad += sum != expected;
        free(out);
    }
    free(archive);
    printf("%u items, %d bad\n", count, bad);
    return bad ? 1 : 0;
}
