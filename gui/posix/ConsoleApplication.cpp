#include "ConsoleApplication.h"

#include "platform/CodePages.h"

#include <cstdio>

namespace platform {

ConsoleApplication::ConsoleApplication(std::string title, std::string errorCaption)
    : title_(std::move(title)), errorCaption_(std::move(errorCaption)) {}

void ConsoleApplication::Run(const TMainWindow& window) {
    if (window.onActivate)
        window.onActivate();
}

void ConsoleApplication::Print(const std::string& caption, const std::string& text) {
    std::printf("[%s] %s\n", AnsiToUtf8(caption).c_str(), AnsiToUtf8(text).c_str());
    std::fflush(stdout);
}

void ConsoleApplication::ShowErrorDialog(const std::u16string& text) {
    Print(errorCaption_, WideToAnsi(text));
}
void ConsoleApplication::ShowInfoMessage(const std::string& text) {
    Print(title_, text);
}
void ConsoleApplication::ShowUnhandledError(const std::u16string& text) {
    Print(title_, WideToAnsi(text));
}

} // namespace platform
