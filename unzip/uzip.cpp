#include "uzip.h"

#include "runtime/Exception.h"

void TReadMemoryStream::AttachMemory(const void* memory, int64_t size) {
    SetPointer(static_cast<const char*>(memory), size);
    Seek(0, TSeekOrigin::soBeginning);
}

int64_t TReadMemoryStream::Write(const void*, int64_t) { return 0; }

// The memory belongs to the caller; its size is not ours to change.
void TReadMemoryStream::SetSize(int64_t) { throw EWriteError(); }
