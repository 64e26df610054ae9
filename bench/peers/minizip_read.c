/* minizip doing what zaread does: -l lists every item, -t reads every item into memory,
   where closing the item checks its CRC. */
#include <minizip/unzip.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
    if (argc != 3 || (strcmp(argv[1], "-l") && strcmp(argv[1], "-t"))) {
        fprintf(stderr, "usage: minizip_read -l|-t ARCHIVE\n");
        return 2;
    }
    const int test = strcmp(argv[1], "-t") == 0;
    unzFile archive = unzOpen64(argv[2]);
    if (!archive)
        return 2;
    int bad = 0, count = 0;
    char name[65536];
    for (int at = unzGoToFirstFile(archive); at == UNZ_OK; at = unzGoToNextFile(archive)) {
        unz_file_info64 info;
        unzGetCurrentFileInfo64(archive, &info, name, sizeof(name), NULL, 0, NULL, 0);
        ++count;
        if (!test) {
            printf("%s\t%llu\t%llu\t%08lx\n", name, (unsigned long long)info.uncompressed_size,
                   (unsigned long long)info.compressed_size, info.crc);
            continue;
        }
        char* contents = malloc(info.uncompressed_size ? info.uncompressed_size : 1);
        unsigned long long done = 0;
        if (unzOpenCurrentFile(archive) != UNZ_OK) {
            ++bad;
        } else {
            int n;
            /* unzReadCurrentFile takes at most 4 GiB - 1 a call */
            while (done < info.uncompressed_size &&
                   (n = unzReadCurrentFile(archive, contents + done,
                                           (unsigned)(info.uncompressed_size - done > 0x40000000
                                                          ? 0x40000000
                                                          : info.uncompressed_size - done))) > 0)
                done += (unsigned long long)n;
            if (unzCloseCurrentFile(archive) != UNZ_OK || done != info.uncompressed_size)
                ++bad;
        }
        free(contents);
    }
    unzClose(archive);
    if (test)
        printf("%d items, %d bad\n", count, bad);
    return bad ? 1 : 0;
}
