#include "gui/ConsoleApplication.h"
#include "FltkFrame.h"
#include "FltkMessageBox.h"
#include "FltkText.h"
#include "platform/CodePages.h"
#include "platform/Dialogs.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_ask.H>
#include <FL/x.H>

namespace platform {
namespace {

// The main window: fixed size, centred; only its close box closes it.
class MainWindow : public Fl_Double_Window {
public:
    MainWindow(const TMainWindow& layout)
        : Fl_Double_Window(layout.clientWidth, layout.clientHeight), layout_(layout) {
        copy_label(AnsiToUtf8(layout.caption).c_str());
        button_ = new Fl_Button(layout.buttonLeft, layout.buttonTop, layout.buttonWidth,
                                layout.buttonHeight);
        button_->copy_label(FltkLabel(layout.buttonCaption).c_str());
        button_->labelsize(kTextHeight);
        button_->align(FL_ALIGN_CENTER | FL_ALIGN_WRAP | FL_ALIGN_CLIP);
        button_->callback(
            [](Fl_Widget*, void* self) {
                auto* window = static_cast<MainWindow*>(self);
                if (window->layout_.onButtonClick)
                    window->layout_.onButtonClick();
            },
            this);
        end();
        callback([](Fl_Widget* window, void*) {
            // Esc means nothing to a fixed dialog frame.
            if (!(Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape))
                window->hide();
        });
        size_range(w(), h(), w(), h());
        position((Fl::w() - w()) / 2, (Fl::h() - h()) / 2);
    }

private:
    const TMainWindow& layout_;
    Fl_Button* button_;
};

// The dialogs that the archive engine's default event answers ask for.
class FltkDialogs : public IDialogs {
public:
    bool InputQuery(const std::string& caption, const std::string& prompt,
                    std::string& value) override {
        fl_message_title(AnsiToUtf8(caption).c_str());
        const char* entered = fl_input("%s", AnsiToUtf8(value).c_str(), FltkLabel(prompt).c_str());
        if (!entered)
            return false;
        value = Utf8ToAnsi(entered);
        return true;
    }

    TDialogResult Ask(const std::string& text, const std::string& caption,
                      TDialogButtons buttons) override {
        fl_message_title(AnsiToUtf8(caption).c_str());
        const std::string shown = FltkLabel(text);
        switch (buttons) {
        case TDialogButtons::OkCancel:
            return fl_choice("%s", "Cancel", "OK", nullptr, shown.c_str()) == 1
                       ? TDialogResult::Ok
                       : TDialogResult::Cancel;
        case TDialogButtons::YesNo:
            return fl_choice("%s", "No", "Yes", nullptr, shown.c_str()) == 1 ? TDialogResult::Yes
                                                                             : TDialogResult::No;
        case TDialogButtons::AbortRetryIgnore:
            switch (fl_choice("%s", "Abort", "Retry", "Ignore", shown.c_str())) {
            case 1:
                return TDialogResult::Retry;
            case 2:
                return TDialogResult::Ignore;
            default:
                return TDialogResult::Abort;
            }
        }
        return TDialogResult::Cancel;
    }
};

class FltkApplication : public IApplication {
public:
    FltkApplication(std::string title, std::string errorCaption)
        : title_(AnsiToUtf8(title)), errorCaption_(AnsiToUtf8(errorCaption)) {
        SetProgramLook();
        InstallDialogs(&dialogs_);
    }
    ~FltkApplication() override { InstallDialogs(nullptr); }

    void Run(const TMainWindow& layout) override {
        MainWindow window(layout);
        window_ = &window;
        ShowOfferingCloseOnly(window);
        // The activation runs once the window is on the screen and before any event reaches
        // it, so that no click can come first and the activation never runs inside one.
        window.wait_for_expose();
        Fl::flush();
        if (layout.onActivate)
            layout.onActivate();
        Fl::run();
        window_ = nullptr;
    }

    void CloseMainWindow() override {
        if (window_)
            window_->hide();
    }

    void ShowErrorDialog(const std::u16string& text) override {
        ShowMessageBox(errorCaption_, TBoxIcon::Error, FltkLabel(WideToAnsi(text)));
    }
    void ShowInfoMessage(const std::string& text) override {
        ShowMessageBox(title_, TBoxIcon::NoIcon, FltkLabel(text));
    }
    void ShowUnhandledError(const std::u16string& text) override {
        ShowMessageBox(title_, TBoxIcon::Error, FltkLabel(WideToAnsi(text)));
    }

private:
    std::string title_;
    std::string errorCaption_;
    FltkDialogs dialogs_;
    Fl_Window* window_ = nullptr;
};

// The toolkit draws on an X server only, and ends the program when it cannot reach one. So
// the server is reached here and handed over; without one (a Wayland session without its X
// server, a display inherited from a shell that has gone) the run goes to the console.
bool OpenDisplay() {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    fl_open_display(display);
    return true;
}

} // namespace

std::unique_ptr<IApplication> CreateApplication(const std::string& title,
                                                const std::string& errorCaption,
                                                TPresentation presentation) {
    if (presentation == TPresentation::Window && OpenDisplay())
        return std::make_unique<FltkApplication>(title, errorCaption);
    return CreateConsoleApplication(title, errorCaption, presentation);
}

} // namespace platform
