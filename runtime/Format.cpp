#include "Format.h"

#include <cctype>

namespace {

std::string Padded(std::string text, size_t width, bool leftAligned) {
    if (text.size() >= width)
        return text;
    const std::string padding(width - text.size(), ' ');
    return leftAligned ? text + padding : padding + text;
}

const std::string* AsString(const TFormatArg& arg) {
    return std::get_if<std::string>(&arg);
}
const int64_t* AsInteger(const TFormatArg& arg) {
    return std::get_if<int64_t>(&arg);
}

} // namespace

std::string Format(std::string_view format, const std::vector<TFormatArg>& args) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out += format[i];
            continue;
        }
        size_t j = i + 1;
        const bool leftAligned = j < format.size() && format[j] == '-';
        if (leftAligned)
            ++j;
        size_t width = 0;
        while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j])))
            width = width * 10 + static_cast<size_t>(format[j++] - '0');
        const char kind = j < format.size() ? format[j] : '\0';
        std::string text;
        bool filled = false;
        if (kind == '%' && j == i + 1) {
            text = "%";
            filled = true;
        } else if (next < args.size() && kind == 's' && AsString(args[next])) {
            text = *AsString(args[next++]);
            filled = true;
        } else if (next < args.size() && kind == 'd' && AsInteger(args[next])) {
            text = std::to_string(*AsInteger(args[next++]));
            filled = true;
        }
        if (filled) {
            out += Padded(std::move(text), width, leftAligned);
            i = j;
        } else {
            out += '%';
        }
    }
    return out;
}
