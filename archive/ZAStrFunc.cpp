#include "ZAStrFunc.h"

#include <algorithm>

namespace za {
namespace {

size_t AfterLastDelimiter(std::string_view name) {
    const size_t last = name.find_last_of("\\:");
    return last == std::string_view::npos ? 0 : last + 1;
}

} // namespace

std::string ExtractFileDrive(std::string_view name) {
    if (name.size() >= 2 && name[1] == ':')
        return std::string(name.substr(0, 2));
    if (name.size() >= 2 && name[0] == '\\' && name[1] == '\\') {
        // Server and share: up to the backslash after the share, or the whole name.
        size_t separators = 0;
        size_t i = 2;
        for (; i < name.size(); ++i)
            if (name[i] == '\\' && ++separators == 2)
                break;
        return std::string(name.substr(0, i));
    }
    return {};
}

std::string ExtractFilePath(std::string_view name) {
    return std::string(name.substr(0, AfterLastDelimiter(name)));
}

std::string ExtractFileName(std::string_view name) {
    return std::string(name.substr(AfterLastDelimiter(name)));
}

std::string ExtractFileExt(std::string_view name) {
    const size_t last = name.find_last_of(".\\:");
    if (last == std::string_view::npos || name[last] != '.')
        return {};
    return std::string(name.substr(last));
}

std::string_view UpToZero(std::string_view s) {
    return s.substr(0, s.find('\0'));
}

void ReplaceAll(std::string& s, char from, char to) {
    std::replace(s.begin(), s.end(), from, to);
}

void ReplaceAll(std::u16string& s, char16_t from, char16_t to) {
    std::replace(s.begin(), s.end(), from, to);
}

} // namespace za
