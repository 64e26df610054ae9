#include "ZADirManager.h"
#include "ZALittleEndian.h"
#include "ZAZlib.h"
#include "platform/CodePages.h"

#include <optional>
#include <string>
#include <vector>

using namespace za;

namespace {

// The UTF-8 name of a Unicode path entry, when it was written for exactly these name bytes.
std::optional<std::string> UnicodePath(const std::vector<TDirItemExtra>& extras,
                                       std::string_view storedName) {
    for (const TDirItemExtra& extra : extras) {
        if (extra.HeaderId != kUnicodePathExtraId || extra.Data.size() < 5 || extra.Data[0] != 1)
            continue;
        const auto* data = reinterpret_cast<const unsigned char*>(extra.Data.data());
        if (Le32(data + 1) == UpdateCrc32(0, storedName.data(), storedName.size()))
            return extra.Data.substr(5);
    }
    return std::nullopt;
}

std::string_view UpToZero(std::string_view name) {
    return name.substr(0, name.find('\0'));
}

} // namespace

// UTF-8 where the item says so, or where it comes from a Unix host, whose tools store the
// names as the file system holds them, now UTF-8 almost everywhere; otherwise the stored
// bytes, from the OEM code page when the options say so. Cut at a zero byte.
std::u16string TZADirManager::DecodedName(std::string_view storedName,
                                          const std::vector<TDirItemExtra>& extras,
                                          const TDirItem& item) {
    if (const auto unicode = UnicodePath(extras, storedName))
        return platform::Utf8ToWide(UpToZero(*unicode));
    const bool fromUnix = item.VersionMadeBy >> 8 == kHostUnix && platform::IsUtf8(storedName);
    if ((item.Flags & kFlagUtf8) || fromUnix)
        return platform::Utf8ToWide(UpToZero(storedName));
    if (!settings_.OEMFileNames)
        return platform::AnsiToWide(UpToZero(storedName));
    return platform::AnsiToWide(UpToZero(platform::OemToAnsi(storedName)));
}

// Read by the central header's rules: equal bytes give an equal name.
bool TZADirManager::NamesItem(std::string_view localName, const TDirItem& item) {
    return DecodedName(localName, item.Extras, item) == item.FileName;
}
