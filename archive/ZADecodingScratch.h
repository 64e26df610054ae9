#pragma once

#include "ZAZlib.h"

#include <algorithm>
#include <memory>
#include <vector>

// What decoding items needs and may keep from one item to the next, so that extracting many
// items neither allocates nor faults in a new read buffer and zlib stream each time.
class TZADecodingScratch {
public:
    // What item data is read into, with room for at least this many bytes.
    unsigned char* ReadBuffer(size_t atLeast) {
        readBuffer_.resize(std::max(readBuffer_.size(), atLeast));
        return readBuffer_.data();
    }

    // A raw deflate stream at its start; not Ready when zlib could not make one.
    za::TZAInflater& FreshRawInflater() {
        if (!rawInflater_ || !rawInflater_->Restart())
            rawInflater_ = std::make_unique<za::TZAInflater>(true);
        return *rawInflater_;
    }

private:
    std::vector<unsigned char> readBuffer_;        // grown to the largest chunk read so far
    std::unique_ptr<za::TZAInflater> rawInflater_; // restarted for each deflated item
};
