// Shuts the current user out of a system store or lets them in again:
//   storeaccess deny|allow STORE
#include "StoreAccess.h"

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3 || (std::wcscmp(argv[1], L"deny") != 0 && std::wcscmp(argv[1], L"allow") != 0)) {
        std::fprintf(stderr, "usage: storeaccess deny|allow STORE\n");
        return 2;
    }
    const LONG result = SetStoreAccess(argv[2], std::wcscmp(argv[1], L"allow") == 0);
    if (result != ERROR_SUCCESS)
        std::fprintf(stderr, "the store's permissions were not changed: error %ld\n", result);
    return result == ERROR_SUCCESS ? 0 : 1;
}
