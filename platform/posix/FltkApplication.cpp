#include "ConsoleApplication.h"
#include "FltkText.h"
#include "certinstall_icon.h"
#include "platform/CodePages.h"
#include "platform/Dialogs.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

#include <algorithm>

#include <cstdlib>

namespace platform {
namespace {

// Text height of the window and its boxes, in pixels: an 8-point font at 96 pixels per inch.
constexpr int kTextHeight = 11;

// The program's icon, at each size it is drawn in; the window keeps copies.
void SetProgramIcon(Fl_Window& window) {
    using namespace certinstall_icon;
    const Fl_RGB_Image icons[] = {
        {kPixels16, 16, 16, 4}, {kPixels32, 32, 32, 4}, {kPixels48, 48, 48, 4}};
    const Fl_RGB_Image* list[] = {&icons[0], &icons[1], &icons[2]};
    window.icons(list, 3);
}

// The main window: fixed size, centred; only its close box closes it.
class MainWindow : public Fl_Double_Window {
public:
    MainWindow(const TMainWindow& layout)
        : Fl_Double_Window(layout.clientWidth, layout.clientHeight), layout_(layout) {
        copy_label(AnsiToUtf8(layout.caption).c_str());
        SetProgramIcon(*this);
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
        InstallDialogs(&dialogs_);
    }
    ~FltkApplication() override { InstallDialogs(nullptr); }

    void Run(const TMainWindow& layout) override {
        MainWindow window(layout);
        window_ = &window;
        window.show();
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
        Show(errorCaption_, true, WideToAnsi(text));
    }
    void ShowInfoMessage(const std::string& text) override { Show(title_, false, text); }
    void ShowUnhandledError(const std::u16string& text) override {
        Show(title_, true, WideToAnsi(text));
    }

private:
    // A modal box centred on the screen with one "OK" button, which Return presses.
    static void Show(const std::string& caption, bool withIcon, const std::string& text) {
        const int iconWidth = withIcon ? 50 : 0;
        fl_font(FL_HELVETICA, kTextHeight);
        int textWidth = 0, textHeight = 0;
        const std::string shown = FltkLabel(text);
        fl_measure(shown.c_str(), textWidth, textHeight);
        const int width = std::max(200, textWidth + iconWidth + 40);
        const int height = std::max(textHeight, 30) + 60;
        Fl_Double_Window box((Fl::w() - width) / 2, (Fl::h() - height) / 2, width, height);
        box.copy_label(caption.c_str());
        if (withIcon) {
            auto* icon = new Fl_Box(10, 15, 35, 35, "!");
            icon->box(FL_THIN_UP_BOX);
            icon->labelfont(FL_TIMES_BOLD);
            icon->labelsize(28);
            icon->labelcolor(FL_RED);
        }
        auto* message = new Fl_Box(iconWidth + 20, 15, width - iconWidth - 30, height - 55);
        message->copy_label(shown.c_str());
        message->labelsize(kTextHeight);
        message->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
        auto* ok = new Fl_Return_Button((width - 80) / 2, height - 35, 80, 25, "OK");
        ok->labelsize(kTextHeight);
        ok->callback([](Fl_Widget* button, void*) { button->window()->hide(); });
        box.end();
        box.set_modal();
        box.show();
        while (box.shown())
            Fl::wait();
    }

    std::string title_;
    std::string errorCaption_;
    FltkDialogs dialogs_;
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
