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
    if (step == TStep::Failed || (produced == 0 && InputLeft() == inputBefore))
        return TDecodeResult::Failed;
    return InputLeft() == 0 && produced < capacity ? TDecodeResult::InputUsed
                                                   : TDecodeResult::NeedsOutput;
}

} // namespace za
