#include "Exception.h"

#include "Cp1251Literal.h"
#include "Format.h"

EReadError::EReadError() : Exception(CP1251("Ошибка чтения потока")) {}

EWriteError::EWriteError() : Exception(CP1251("Ошибка записи потока")) {}

namespace {

// The system's text without the blanks, control characters and full stops at its end.
std::string Trimmed(std::string text) {
    while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

std::string Win32ErrorMessage(int32_t code, const std::string& description) {
    if (code == 0)
        return CP1251("Ошибка функции Win32 API");
    return Format(CP1251("Ошибка Win32.  Код: %d.\n%s"), {int64_t{code}, Trimmed(description)});
}

} // namespace

EWin32Error::EWin32Error(int32_t errorCode, const std::string& description)
    : Exception(Win32ErrorMessage(errorCode, description)), errorCode_(errorCode) {}
