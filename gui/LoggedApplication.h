#pragma once

#include "gui/ConsoleApplication.h"

#include <memory>
#include <ostream>

namespace platform {

// An application whose messages also go to a log, each a line as the console prints it: what
// a deployment agent reads where a program with a window has no console.
class LoggedApplication : public IApplication {
public:
    LoggedApplication(std::unique_ptr<IApplication> shown, const std::string& title,
                      const std::string& errorCaption, std::ostream& log);
    void Run(const TMainWindow& window) override { shown_->Run(window); }
    void CloseMainWindow() override { shown_->CloseMainWindow(); }
    void ShowErrorDialog(const std::u16string& text) override;
    void ShowInfoMessage(const std::string& text) override;
    void ShowUnhandledError(const std::u16string& text) override;

private:
    std::unique_ptr<IApplication> shown_;
    ConsoleApplication log_;
};

} // namespace platform
