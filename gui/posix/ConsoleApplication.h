#pragma once

#include "gui/Gui.h"

namespace platform {

// Without a display every dialog is a line on standard output, in UTF-8, and nobody is waited
// for.
class ConsoleApplication : public IApplication {
public:
    ConsoleApplication(std::string title, std::string errorCaption);
    void Run(const TMainWindow& window) override;
    void CloseMainWindow() override {}
    void ShowErrorDialog(const std::u16string& text) override;
    void ShowInfoMessage(const std::string& text) override;
    void ShowUnhandledError(const std::u16string& text) override;

private:
    void Print(const std::string& caption, const std::string& text);
    std::string title_;
    std::string errorCaption_;
};

} // namespace platform
