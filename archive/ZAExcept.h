#pragma once

#include "runtime/Exception.h"
#include "runtime/Format.h"

#include <cstdint>
#include <vector>

class TComponent;

// The one error class of the archive engine: a native error code naming the failure, the
// index of its message in the message table and the composed message.
class EZAException : public Exception {
public:
    static constexpr int kMessageCount = 41;
    static constexpr int kNativeErrorCount = 66;

    // The table text as it stands, placeholders left unfilled.
    static EZAException Create(int32_t nativeError, const TComponent* component = nullptr);
    // The table text used as a format over the arguments.
    static EZAException CreateWithArgs(int32_t nativeError, const TComponent* component,
                                       const std::vector<TFormatArg>& args);

    int32_t ErrorCode() const { return errorCode_; }
    int32_t NativeError() const { return nativeError_; }

    static int32_t MessageIndexOf(int32_t nativeError);
    static const char* MessageText(int32_t errorCode);

private:
    EZAException(std::string message, int32_t errorCode, int32_t nativeError)
        : Exception(std::move(message)), errorCode_(errorCode), nativeError_(nativeError) {}
    static EZAException Compose(int32_t nativeError, const TComponent* component,
                                const std::vector<TFormatArg>* args);

    int32_t errorCode_;
    int32_t nativeError_;
};
