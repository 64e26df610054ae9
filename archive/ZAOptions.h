#pragma once

#include "runtime/Component.h"

#include <cstdint>

enum TZACompressionLevel : uint8_t { clNone, clFastest, clNormal, clMax };
enum TZASpanningMode : uint8_t { smNone, smSpanning, smSplitting };
enum TZAStorePathMode : uint8_t { spNoPath, spRelativePath, spFullPath, spFullPathWithDrive };
enum TZAOverwriteMode : uint8_t { omPrompt, omAlways, omNever, omIfNewer, omIfOlder };
enum TZAFileShareMode : uint8_t {
    smShareCompat,
    smShareExclusive,
    smShareDenyWrite,
    smShareDenyRead,
    smShareDenyNone
};
enum TZAVolumeSize : uint8_t {
    vsAutoDetect,
    vsCustom,
    vs1_44MB,
    vs100MB,
    vs200MB,
    vs250MB,
    vs600MB,
    vs650MB,
    vs700MB,
    vs4700MB
};

class TZAOptions : public TPersistent {
public:
    bool Recurse = true;
    TZAStorePathMode StorePath = spRelativePath;
    TZAFileShareMode ShareMode = smShareDenyNone;
    TZAOverwriteMode OverwriteMode = omAlways;
    bool CreateDirs = true;
    bool ReplaceReadOnly = true;
    bool SetAttributes = true;
    int32_t SearchAttr = 10431;
    bool FlushBuffers = true;
    bool OEMFileNames = true;

    // Copies every setting but the share mode.
    void Assign(const TPersistent& source) override;
};

class TZASpanningOptions : public TPersistent {
public:
    bool AdvancedNaming = true;
    int64_t FirstVolumeSize = 0;
    TZAVolumeSize VolumeSize = vsAutoDetect;

    int64_t CustomVolumeSize() const { return customVolumeSize_; }
    // Volumes smaller than 64 KiB are not made.
    void SetCustomVolumeSize(int64_t size) { customVolumeSize_ = size < 65536 ? 65536 : size; }

    void Assign(const TPersistent& source) override;

private:
    int64_t customVolumeSize_ = 0;
    bool volumeNamingFixed_ = false;
};
