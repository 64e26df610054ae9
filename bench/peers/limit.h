/* The limit programs: the archive read into memory, then only each item's decode into a
   buffer of the item's size and its CRC-32, nothing else. No checks beyond the CRC; for
   archives without Zip64 records or an archive comment, as the benchmark writes them. */
#ifndef LIMIT_H
#define LIMIT_H

#include <stddef.h>
#include <stdint.h>

/* A raw deflate stream decoded into out, which it fills exactly; its CRC-32 in *crc. Returns
   0 when the stream decoded whole. */
typedef int (*limit_inflate)(const unsigned char* data, uint32_t packed, unsigned char* out,
                             uint32_t unpacked, uint32_t* crc);
typedef uint32_t (*limit_crc)(const unsigned char* data, size_t length);

/* Runs over the archive named by argv[1]; the exit status of the program. */
int limit_main(int argc, char** argv, const char* name, limit_inflate inflate, limit_crc crc);

#endif
