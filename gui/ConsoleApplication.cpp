#include "ConsoleApplication.h"

#include "platform/CodePages.h"

#include <iostream>

namespace platform {

ConsoleApplication::ConsoleApplication(std::string title, std::string errorCaption,
                                       std::ostream& lines)
    : title_(std::move(title)), errorCaption_(std::move(errorCaption)), lines_(lines) {}

void ConsoleApplication::Run(const TMainWindow& window) {
    if (window.onActivate)
        window.onActivate();
}

void ConsoleApplication::Print(const std::string& caption, const std::string& text) {
    lines_ << '[' << AnsiToUtf8(caption) << "] " << AnsiToUtf8(text) << std::endl;
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

std::unique_ptr<IApplication> CreateConsoleApplication(const std::string& title,
                                                       const std::string& errorCaption,
                                                       TPresentation presentation) {
    std::ostream& lines = presentation == TPresentation::Quiet ? std::cerr : std::cout;
    return std::make_unique<ConsoleApplication>(title, errorCaption, lines);
}

} // namespace platform
