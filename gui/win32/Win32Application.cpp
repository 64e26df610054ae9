// The program's window and boxes on the Windows API. The program's texts are CP1251 and go
// through the wide functions converted from 1251 explicitly, so they read right whatever the
// system's ANSI code page is.
#include "gui/ConsoleApplication.h"
#include "gui/Gui.h"
#include "platform/Dialogs.h"
#include "platform/win32/WideText.h"

#include <windows.h>

#include <memory>
#include <type_traits>
#include <vector>

namespace platform {
namespace {

constexpr unsigned kTextCodePage = 1251;
constexpr UINT kActivated = WM_APP;
constexpr int kButtonId = 1;
constexpr wchar_t kWindowClass[] = L"TForm1";
constexpr wchar_t kApplicationClass[] = L"TApplication";

std::wstring Text(const std::string& cp1251) {
    return WideOf(kTextCodePage, cp1251);
}

std::wstring Wide(const std::u16string& text) {
    return std::wstring(text.begin(), text.end());
}

// The window is laid out at 96 pixels per inch and scaled to the screen's resolution.
int ScreenDpi() {
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

int Scaled(int pixels, int dpi) {
    return MulDiv(pixels, dpi, 96);
}

// The archiver's questions: a message box with the chosen buttons and a small input dialog.
// Their texts are in the system's ANSI code page, as the engine's names are.
class Win32Dialogs : public IDialogs {
public:
    explicit Win32Dialogs(HWND& owner) : owner_(owner) {}

    bool InputQuery(const std::string& caption, const std::string& prompt,
                    std::string& value) override;

    TDialogResult Ask(const std::string& text, const std::string& caption,
                      TDialogButtons buttons) override {
        const UINT kind = buttons == TDialogButtons::OkCancel ? MB_OKCANCEL
                          : buttons == TDialogButtons::YesNo  ? MB_YESNO
                                                              : MB_ABORTRETRYIGNORE;
        switch (MessageBoxW(owner_, WideOf(CP_ACP, text).c_str(), WideOf(CP_ACP, caption).c_str(),
                            kind | MB_ICONQUESTION)) {
        case IDOK:
            return TDialogResult::Ok;
        case IDYES:
            return TDialogResult::Yes;
        case IDNO:
            return TDialogResult::No;
        case IDABORT:
            return TDialogResult::Abort;
        case IDRETRY:
            return TDialogResult::Retry;
        case IDIGNORE:
            return TDialogResult::Ignore;
        default:
            return TDialogResult::Cancel;
        }
    }

private:
    HWND& owner_;
};

// An in-memory dialog template: the header, then each control, each on a 4-byte boundary.
class DialogTemplate {
public:
    DialogTemplate(const std::wstring& caption, short width, short height) {
        Put32(DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU);
        Put32(0);
        controls_ = words_.size();
        Put16(0); // control count, counted up below
        Put16(0), Put16(0), Put16(width), Put16(height);
        Put16(0), Put16(0); // no menu, the standard class
        PutText(caption);
        Put16(8);
        PutText(L"MS Sans Serif");
    }

    void Add(const wchar_t* windowClass, const std::wstring& text, DWORD style, short x, short y,
             short width, short height, WORD id) {
        if (words_.size() % 2)
            Put16(0);
        Put32(style | WS_CHILD | WS_VISIBLE);
        Put32(0);
        Put16(x), Put16(y), Put16(width), Put16(height), Put16(id);
        PutText(windowClass);
        PutText(text);
        Put16(0); // no creation data
        ++words_[controls_];
    }

    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void Put16(WORD w) { words_.push_back(w); }
    void Put32(DWORD d) { Put16(LOWORD(d)), Put16(HIWORD(d)); }
    void PutText(const std::wstring& text) {
        words_.insert(words_.end(), text.begin(), text.end());
        Put16(0);
    }
    std::vector<WORD> words_; // starts on a 4-byte boundary, as the template must
    size_t controls_ = 0;
};

constexpr WORD kEditId = 100;

struct InputState {
    std::wstring value;
};

INT_PTR CALLBACK InputDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<InputState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        SetDlgItemTextW(dialog, kEditId, reinterpret_cast<InputState*>(lParam)->value.c_str());
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            std::vector<wchar_t> text(
                static_cast<size_t>(GetWindowTextLengthW(GetDlgItem(dialog, kEditId))) + 1);
            GetDlgItemTextW(dialog, kEditId, text.data(), static_cast<int>(text.size()));
            state->value = text.data();
        }
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}

bool Win32Dialogs::InputQuery(const std::string& caption, const std::string& prompt,
                              std::string& value) {
    const auto wide = [](const std::string& ansi) { return WideOf(CP_ACP, ansi); };
    DialogTemplate dialog(wide(caption), 200, 66);
    dialog.Add(L"STATIC", wide(prompt), SS_LEFT, 8, 6, 184, 10, 0xFFFF);
    dialog.Add(L"EDIT", L"", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 8, 20, 184, 12, kEditId);
    dialog.Add(L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 86, 42, 50, 14, IDOK);
    dialog.Add(L"BUTTON", L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, 142, 42, 50, 14, IDCANCEL);
    InputState state{wide(value)};
    if (DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.Get(), owner_, InputDialogProc,
                                reinterpret_cast<LPARAM>(&state)) != IDOK)
        return false;
    value = BytesOf(CP_ACP, state.value);
    return true;
}

class Win32Application : public IApplication {
public:
    Win32Application(const std::string& title, const std::string& errorCaption)
        : title_(Text(title)), errorCaption_(Text(errorCaption)), dialogs_(window_) {
        InstallDialogs(&dialogs_);
    }
    ~Win32Application() override { InstallDialogs(nullptr); }

    void Run(const TMainWindow& window) override {
        layout_ = &window;
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        RegisterWindowClasses(instance);
        // The task-bar entry: an unowned window of no size captioned with the application
        // title, which owns the main window (an owned window has no entry of its own).
        const std::unique_ptr<std::remove_pointer_t<HWND>, decltype(&DestroyWindow)> application(
            CreateWindowExW(0, kApplicationClass, title_.c_str(),
                            WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS,
                            GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0,
                            0, nullptr, nullptr, instance, this),
            &DestroyWindow);
        ShowWindow(application.get(), SW_SHOWNOACTIVATE);
        const int dpi = ScreenDpi();
        const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU, extended = WS_EX_DLGMODALFRAME;
        RECT frame{0, 0, Scaled(window.clientWidth, dpi), Scaled(window.clientHeight, dpi)};
        AdjustWindowRectEx(&frame, style, FALSE, extended);
        const int width = frame.right - frame.left, height = frame.bottom - frame.top;
        window_ = CreateWindowExW(extended, kWindowClass, Text(window.caption).c_str(), style,
                                  (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                  (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
                                  application.get(), nullptr, instance, this);
        // The button's caption is Cyrillic: asked for by the system's own character set, the
        // font would be a Western one on a system whose ANSI code page is not 1251, and
        // draw a box for every letter.
        font_ = CreateFontW(Scaled(-11, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                            RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                            DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"MS Sans Serif");
        SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        button_ = CreateWindowExW(0, L"BUTTON", Text(window.buttonCaption).c_str(),
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                  Scaled(window.buttonLeft, dpi), Scaled(window.buttonTop, dpi),
                                  Scaled(window.buttonWidth, dpi), Scaled(window.buttonHeight, dpi),
                                  window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButtonId)),
                                  instance, nullptr);
        SendMessageW(button_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        ShowWindow(window_, SW_SHOWNORMAL);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0)
            if (!IsDialogMessageW(window_, &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        DeleteObject(font_);
    }

    void CloseMainWindow() override { DestroyWindow(window_); }

    void ShowErrorDialog(const std::u16string& text) override {
        MessageBoxW(window_, Wide(text).c_str(), errorCaption_.c_str(), MB_OK | MB_ICONERROR);
    }
    void ShowInfoMessage(const std::string& text) override {
        MessageBoxW(window_, Text(text).c_str(), title_.c_str(), MB_OK);
    }
    void ShowUnhandledError(const std::u16string& text) override {
        MessageBoxW(window_, Wide(text).c_str(), title_.c_str(), MB_OK | MB_ICONSTOP);
    }

private:
    // Both windows carry the program's main icon.
    static void RegisterWindowClasses(HINSTANCE instance) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = instance;
        windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
        windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // the arrow
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kWindowClass;
        RegisterClassExW(&windowClass);
        windowClass.lpfnWndProc = ApplicationWindowProc;
        windowClass.lpszClassName = kApplicationClass;
        RegisterClassExW(&windowClass);
    }

    static Win32Application* SelfOf(HWND window, UINT message, LPARAM lParam) {
        if (message == WM_NCCREATE)
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(
                                  reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        return reinterpret_cast<Win32Application*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    }

    // The task-bar entry hands what it is asked to the main window, or to its open box.
    static LRESULT CALLBACK ApplicationWindowProc(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
        Win32Application* self = SelfOf(window, message, lParam);
        switch (message) {
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && GetLastActivePopup(window) != window)
                SetActiveWindow(GetLastActivePopup(window));
            return 0;
        case WM_CLOSE:
            if (self->window_ && IsWindowEnabled(self->window_))
                PostMessageW(self->window_, WM_CLOSE, 0, 0);
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        Win32Application* self = SelfOf(window, message, lParam);
        switch (message) {
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE)
                break;
            // Once, when first shown; the event itself runs after activation has finished,
            // so that its boxes open over a window that is already there.
            if (!self->activated_) {
                self->activated_ = true;
                PostMessageW(window, kActivated, 0, 0);
            }
            // Back from a box, the button has the focus again, so that Space presses it.
            SetFocus(self->button_);
            return 0;
        case kActivated:
            if (self->layout_->onActivate)
                self->layout_->onActivate();
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == kButtonId && HIWORD(wParam) == BN_CLICKED &&
                self->layout_->onButtonClick)
                self->layout_->onButtonClick();
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    std::wstring title_, errorCaption_;
    HWND window_ = nullptr;
    HWND button_ = nullptr;
    HFONT font_ = nullptr;
    const TMainWindow* layout_ = nullptr;
    bool activated_ = false;
    Win32Dialogs dialogs_;
};

} // namespace

std::unique_ptr<IApplication> CreateApplication(const std::string& title,
                                                const std::string& errorCaption,
                                                TPresentation presentation) {
    if (presentation == TPresentation::Window)
        return std::make_unique<Win32Application>(title, errorCaption);
    return CreateConsoleApplication(title, errorCaption, presentation);
}

} // namespace platform
