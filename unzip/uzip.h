#pragma once

#include "runtime/Streams.h"

// Reads caller memory in place, without owning or copying it; writes transfer nothing.
class TReadMemoryStream : public TCustomMemoryStream {
public:
    void AttachMemory(const void* memory, int64_t size);

    int64_t Write(const void* buffer, int64_t count) override;
    void SetSize(int64_t newSize) override;
};
