#include "Exception.h"

#include "Cp1251Literal.h"
#include "Format.h"
#include "platform/CodePages.h"

EReadError::EReadError() : Exception(CP1251("Ошибка чтения потока")) {}

EWriteError::EWriteError() : Exception(CP1251("Ошибка записи потока")) {}

namespace {

// The system's text without the blanks, control characters and full stops at its end.
std::u16string Trimmed(std::u16string text) {
    while (!text.empty() && (text.back() <= u' ' || text.back() == u'.'))
        text.pop_back();
    return text;
}

// The program's words, in Windows-1251, that come before the system's description.
std::string Win32ErrorLead(int32_t code) {
    if (code == 0)
        return CP1251("Ошибка функции Win32 API");
    return Format(CP1251("Ошибка Win32.  Код: %d.\n"), {int64_t{code}});
}

std::u16string Win32ErrorDescription(int32_t code, const std::u16string& description) {
    return code == 0 ? std::u16string() : Trimmed(description);
}

} // namespace

EWin32Error::EWin32Error(int32_t errorCode, const std::u16string& description)
    : Exception(Win32ErrorLead(errorCode) +
                    platform::WideToAnsi(Win32ErrorDescription(errorCode, description)),
                platform::Cp1251ToWide(Win32ErrorLead(errorCode)) +
                    Win32ErrorDescription(errorCode, description)),
      errorCode_(errorCode) {}
