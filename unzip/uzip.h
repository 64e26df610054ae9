#pragma once

#include "runtime/Streams.h"
#include "runtime/StringList.h"

#include <memory>
#include <string>

class TZipArchiver;

// Reads caller memory in place, without owning or copying it; writes transfer nothing.
class TReadMemoryStream : public TCustomMemoryStream {
public:
    void AttachMemory(const void* memory, int64_t size);

    int64_t Write(const void* buffer, int64_t count) override;
    void SetSize(int64_t newSize) override;
};

// Unpacks a whole ZIP archive held in a byte string into two parallel lists, the names and
// the contents of its file entries, in archive order, and lets go of the archive.
class TUnZip {
public:
    TUnZip();
    ~TUnZip();
    TUnZip(const TUnZip&) = delete;
    TUnZip& operator=(const TUnZip&) = delete;

    // Errors of the engine pass through unchanged; damaged entries deliver what decoded.
    void LoadFromString(const std::string& bytes, bool namesOnly);
    int32_t Count() const;
    // Assigns nothing when the index is outside the contents list.
    void GetEntry(int32_t index, std::string& name, std::string& contents) const;

private:
    // The archiver reads through the stream, which must outlive it: declared first, it goes last.
    std::unique_ptr<TReadMemoryStream> stream_;
    std::unique_ptr<TZipArchiver> archiver_;
    std::unique_ptr<TStringList> names_;
    std::unique_ptr<TStringList> contents_;
};
