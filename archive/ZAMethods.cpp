#include "ZAMethods.h"

#include <algorithm>
#include <array>
#include <utility>

namespace za {
namespace {

constexpr std::array<std::pair<uint16_t, const char*>, 24> kMethodNames = {{
    {0, "Stored"},
    {1, "Shrunk"},
    {2, "Reduced with factor 1"},
    {3, "Reduced with factor 2"},
    {4, "Reduced with factor 3"},
    {5, "Reduced with factor 4"},
    {6, "Imploded"},
    {7, "Tokenized"},
    {8, "Deflate"},
    {9, "Deflate64"},
    {10, "PKWARE DCL Imploded"},
    {12, "BZIP2"},
    {14, "LZMA"},
    {16, "IBM z/OS CMPSC"},
    {18, "IBM TERSE"},
    {19, "IBM LZ77"},
    {20, "Zstandard"},
    {93, "Zstandard"},
    {94, "MP3"},
    {95, "XZ"},
    {96, "JPEG"},
    {97, "WavPack"},
    {98, "PPMd"},
    {99, "AES encryption"},
}};

} // namespace

const char* MethodName(uint16_t method) {
    const auto* found = std::find_if(kMethodNames.begin(), kMethodNames.end(),
                                     [&](const auto& entry) { return entry.first == method; });
    return found != kMethodNames.end() ? found->second : nullptr;
}

std::string MethodShown(uint16_t method) {
    const char* name = MethodName(method);
    return std::to_string(method) + (name ? std::string(" (") + name + ")" : std::string());
}

} // namespace za
