#pragma once

#include <functional>
#include <memory>
#include <string>

// The program's window and modal dialogs. Texts come in the ANSI code page.
namespace platform {

struct TMainWindow {
    std::string caption;
    std::string buttonCaption;
    int clientWidth;
    int clientHeight;
    // The button's place in the client area.
    int buttonLeft, buttonTop, buttonWidth, buttonHeight;
    std::function<void()> onActivate; // once, when the window first becomes active
    std::function<void()> onButtonClick;
};

class IApplication {
public:
    virtual ~IApplication() = default;
    // Shows the window and runs the message loop until the window is closed.
    virtual void Run(const TMainWindow& window) = 0;
    virtual void CloseMainWindow() = 0;
    // Modal boxes: caption "Ошибка" with the error icon; the title as caption with no icon;
    // the title as caption with the stop icon. Error texts come as wide text, since they may
    // hold the system's words beside the program's.
    virtual void ShowErrorDialog(const std::u16string& text) = 0;
    virtual void ShowInfoMessage(const std::string& text) = 0;
    virtual void ShowUnhandledError(const std::u16string& text) = 0;
};

// How the program meets its user: a window on the display when there is one (the console
// otherwise), the console's standard output, or standard error alone.
enum class TPresentation { Window, Console, Quiet };

std::unique_ptr<IApplication> CreateApplication(const std::string& title,
                                                const std::string& errorCaption,
                                                TPresentation presentation = TPresentation::Window);

} // namespace platform
