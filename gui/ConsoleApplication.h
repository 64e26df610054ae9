#pragma once

#include "gui/Gui.h"

#include <ostream>

namespace platform {

// Every dialog is a line "[caption] text" in UTF-8 on a stream, and nobody is waited for: the
// run without a display (standard output), the quiet run (standard error), and the log.
class ConsoleApplication : public IApplication {
public:
    ConsoleApplication(std::string title, std::string errorCaption, std::ostream& lines);
    void Run(const TMainWindow& window) override;
    void CloseMainWindow() override {}
    void ShowErrorDialog(const std::u16string& text) override;
    void ShowInfoMessage(const std::string& text) override;
    void ShowUnhandledError(const std::u16string& text) override;

private:
    void Print(const std::string& caption, const std::string& text);
    std::string title_;
    std::string errorCaption_;
    std::ostream& lines_;
};

// The console in place of a window: on standard error when quiet, else on standard output.
std::unique_ptr<IApplication> CreateConsoleApplication(const std::string& title,
                                                       const std::string& errorCaption,
                                                       TPresentation presentation);

} // namespace platform
