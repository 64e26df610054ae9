#include "ShownMessage.h"

#include "archive/ZAExcept.h"
#include "platform/CodePages.h"
#include "runtime/Exception.h"

std::u16string ShownMessage(const std::exception& error) {
    const auto* own = dynamic_cast<const Exception*>(&error);
    if (own && !own->WideMessage().empty())
        return own->WideMessage();
    if (dynamic_cast<const EZAException*>(&error))
        return platform::AnsiToWide(error.what());
    return platform::Cp1251ToWide(error.what());
}
