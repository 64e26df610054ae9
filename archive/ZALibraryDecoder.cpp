#include "ZALibraryDecoder.h"

namespace za {

TDecodeResult TZALibraryDecoder::Decode(void* output, size_t capacity, size_t& produced) {
    produced = 0;
    if (ended_)
        return TDecodeResult::StreamEnd;
    const size_t inputBefore = InputLeft();
    const TStep step = Step(output, capacity, produced);
    if (step == TStep::Ended) {
        ended_ = true;
        return TDecodeResult::StreamEnd;
    }
    if (step == TStep::Failed)
        return TDecodeResult::Failed;
    // Output that came back full as the input ran out is followed by a call that has
    // nothing to give: that call drained the library.
    if (InputLeft() == 0 && produced < capacity)
        return TDecodeResult::InputUsed;
    return produced == 0 && InputLeft() == inputBefore ? TDecodeResult::Failed
                                                       : TDecodeResult::NeedsOutput;
}

} // namespace za
