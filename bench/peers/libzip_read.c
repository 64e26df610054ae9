/* libzip doing what zaread does: -l lists every item, -t reads every item into memory,
   where libzip checks its CRC. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zip.h>

int main(int argc, char** argv) {
    if (argc != 3 || (strcmp(argv[1], "-l") && strcmp(argv[1], "-t"))) {
        fprintf(stderr, "usage: libzip_read -l|-t ARCHIVE\n");
        return 2;
    }
    const int test = strcmp(argv[1], "-t") == 0;
    int error = 0;
    zip_t* archive = zip_open(argv[2], ZIP_RDONLY, &error);
    if (!archive)
        return 2;
    int bad = 0;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_index(archive, (zip_uint64_t)i, 0, &st);
        if (!test) {
            printf("%s\t%llu\t%llu\t%08x\n", st.name, (unsigned long long)st.size,
                   (unsigned long long)st.comp_size, st.crc);
            continue;
        }
        char* contents = malloc(st.size ? st.size : 1);
        zip_file_t* file = zip_fopen_index(archive, (zip_uint64_t)i, 0);
        zip_int64_t got = file ? zip_fread(file, contents, st.size) : -1;
        if (got != (zip_int64_t)st.size || (file && zip_fclose(file) != 0))
            ++bad;
        free(contents);
    }
    zip_close(archive);
    if (test)
        printf("%lld items, %d bad\n", (long long)count, bad);
    return bad ? 1 : 0;
}
