#include "ZAExcept.h"

#include "runtime/Component.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

constexpr std::array<const char*, EZAException::kMessageCount> kMessages = {
    "Unknown error",
    "Index out of bounds",
    "Invalid compression mode. Mode must be in [0-9] range",
    "Unexpected nil pointer",
    "Invalid size or check sum of file or unsupported compression format",
    "File name is blank. Specify appropriate file name",
    "File \"%s\" not found",
    "Archive is not open",
    "SFXStub property is not specified",
    "Cannot create file \"%s\"",
    "Cannot create directory \"%s\"",
    "Internal error. Update is not started",
    "Cannot open file \"%s\"",
    "Cannot proceed when update is not ended. Preceding EndUpdate call is required.",
    "Cannot delete file \"%s\"",
    "In-memory archive can be created only",
    "File is open in read-only mode",
    "Invalid compressed size, rfs.size = %d, count = %d",
    "Invalid archive file.",
    "Cannot create output file. Probably file is locked by another process. FileName = '%s'.",
    "Archive is open. You should close it beore performing this operation.",
    "Unable to create directory",
    "Cannot find Zip64 directory end record",
    "Cannot compress file '%s'. Zip64 mode is not enabled",
    "Cannot open archive file. Opening aborted or invalid file",
    "Write to stream error",
    "Cannot place SFX stub on volume. Volume size limit is too small",
    "Archive is damaged. Open failed",
    "MakeSFX is not allowed for splitted or spanned archives. Set SFXStub before archive "
    "creation instead of MakeSFX",
    "Archive already has SFX stub",
    "Multi-volume archive is not allowed for custom stream",
    "Multi-spanned archive is not allowed for modification. Use BeginUpdate/EndUpdate methods "
    "to add files several times",
    "Deflate64 compression method is not supported",
    "MakeSFX error",
    "Hashed list of file names is invalid",
    "Cannot delete folder \"%s\"",
    "File name is too long: \r\n\"%s\"",
    "Multiple transactions are not supported for multi-volume archives",
    "Compression method %s is not supported",
    "Item \"%s\" overlaps another item's data (possible zip bomb)",
    "Item \"%s\" has another name in its local header",
};

// Message index of native error code i; pair i of the native error map holds code i.
constexpr std::array<int8_t, EZAException::kNativeErrorCount> kNativeErrorMap = {
    0,  1,  1,  1,  1,  2,  3,  1,  4,  5, 5,  6,  6,  7,  7,  6,  1,  8,  6,  9,  10, 1,
    11, 9,  1,  11, 13, 14, 15, 5,  6,  6, 16, 12, 17, 18, 19, 20, 6,  21, 22, 23, 6,  23,
    24, 24, 25, 26, 27, 28, 29, 30, 31, 6, 6,  32, 33, 27, 34, 34, 35, 36, 37, 38, 39, 40,
};

// "%5d" with every blank turned into a zero: 15 gives 00015.
std::string FiveDigits(int32_t value) {
    std::string digits = Format("%5d", {int64_t{value}});
    std::replace(digits.begin(), digits.end(), ' ', '0');
    return digits;
}

} // namespace

int32_t EZAException::MessageIndexOf(int32_t nativeError) {
    if (nativeError < 0 || nativeError >= kNativeErrorCount)
        return 0;
    return kNativeErrorMap[static_cast<size_t>(nativeError)];
}

const char* EZAException::MessageText(int32_t errorCode) {
    return kMessages.at(static_cast<size_t>(errorCode));
}

EZAException EZAException::Compose(int32_t nativeError, const TComponent* component,
                                   const std::vector<TFormatArg>* args) {
    const int32_t errorCode = MessageIndexOf(nativeError);
    std::string text = MessageText(errorCode);
    if (args)
        text = Format(text, *args);
    if (component && !component->Name.empty())
        text = Format("%s: %s", {component->Name, std::move(text)});
    return EZAException(text + " - Native error: " + FiveDigits(nativeError), errorCode,
                        nativeError);
}

EZAException EZAException::Create(int32_t nativeError, const TComponent* component) {
    return Compose(nativeError, component, nullptr);
}

EZAException EZAException::CreateWithArgs(int32_t nativeError, const TComponent* component,
                                          const std::vector<TFormatArg>& args) {
    return Compose(nativeError, component, &args);
}
