#include "ConsoleApplication.h"
#include "platform/CodePages.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_ask.H>

#include <cstdlib>

namespace platform {
namespace {

// The main window: fixed size, centred, with the activation event once it is first shown.
class MainWindow : public Fl_Double_Window {
public:
    MainWindow(const TMainWindow& layout)
        : Fl_Double_Window(layout.clientWidth, layout.clientHeight), layout_(layout) {
        copy_label(AnsiToUtf8(layout.caption).c_str());
        button_ = new Fl_Button(layout.buttonLeft, layout.buttonTop, layout.buttonWidth,
                                layout.buttonHeight);
        button_->copy_label(AnsiToUtf8(layout.buttonCaption).c_str());
        button_->callback([](Fl_Widget*, void* self) {
            auto* window = static_cast<MainWindow*>(self);
            if (window->layout_.onButtonClick)
                window->layout_.onButtonClick();
        }, this);
        end();
        size_range(w(), h(), w(), h());
        position((Fl::w() - w()) / 2, (Fl::h() - h()) / 2);
    }

    int handle(int event) override {
        const int handled = Fl_Double_Window::handle(event);
        if (event == FL_SHOW && !activated_) {
            activated_ = true;
            Fl::add_timeout(0.2, [](void* self) {
                auto* window = static_cast<MainWindow*>(self);
                if (window->layout_.onActivate)
                    window->layout_.onActivate();
            }, this);
        }
        return handled;
    }

private:
    const TMainWindow& layout_;
    Fl_Button* button_;
    bool activated_ = false;
};

class FltkApplication : public IApplication {
public:
    FltkApplication(std::string title, std::string errorCaption)
        : title_(AnsiToUtf8(title)), errorCaption_(AnsiToUtf8(errorCaption)) {}

    void Run(const TMainWindow& layout) override {
        MainWindow window(layout);
        window_ = &window;
        window.show();
        Fl::run();
        window_ = nullptr;
    }

    void CloseMainWindow() override {
        if (window_)
            window_->hide();
    }

    void ShowErrorDialog(const std::string& text) override {
        Show(errorCaption_, "!", text);
    }
    void ShowInfoMessage(const std::string& text) override { Show(title_, nullptr, text); }
    void ShowUnhandledError(const std::string& text) override { Show(title_, "X", text); }

private:
    static void Show(const std::string& caption, const char* icon, const std::string& text) {
        fl_message_title(caption.c_str());
        Fl_Widget* iconBox = fl_message_icon();
        if (icon) {
            iconBox->label(icon);
            iconBox->show();
        } else {
            iconBox->hide();
        }
        fl_choice("%s", "OK", nullptr, nullptr, AnsiToUtf8(text).c_str());
    }

    std::string title_;
    std::string errorCaption_;
    Fl_Window* window_ = nullptr;
};

bool HasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

} // namespace

std::unique_ptr<IApplication> CreateApplication(const std::string& title,
                                                const std::string& errorCaption) {
    if (HasDisplay())
        return std::make_unique<FltkApplication>(title, errorCaption);
    return std::make_unique<ConsoleApplication>(title, errorCaption);
}

} // namespace platform
