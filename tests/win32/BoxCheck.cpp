// Reads a message box of another program off the screen:
//   boxcheck TITLE
// waits up to a minute for a box with exactly that title and prints what the user sees in
// it: "icon: error" when its icon is the red error sign, "icon: none" without one, then its
// text, in UTF-8. Exits 1 when no such box came.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Box {
    std::wstring title;
    HWND window = nullptr;
};

BOOL CALLBACK FindBox(HWND window, LPARAM lParam) {
    auto* box = reinterpret_cast<Box*>(lParam);
    wchar_t className[16], title[512];
    GetClassNameW(window, className, std::size(className));
    GetWindowTextW(window, title, std::size(title));
    if (IsWindowVisible(window) && std::wstring(className) == L"#32770" && box->title == title) {
        box->window = window;
        return FALSE;
    }
    return TRUE;
}

struct Contents {
    HWND icon = nullptr;
    std::wstring text;
};

BOOL CALLBACK ReadControl(HWND control, LPARAM lParam) {
    auto* contents = reinterpret_cast<Contents*>(lParam);
    wchar_t className[16];
    GetClassNameW(control, className, std::size(className));
    if (!IsWindowVisible(control) || _wcsicmp(className, L"Static") != 0)
        return TRUE;
    if ((GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        contents->icon = control;
    } else {
        std::vector<wchar_t> text(GetWindowTextLengthW(control) + 1);
        GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
        contents->text = text.data();
    }
    return TRUE;
}

// Whether the control shows the error sign: a good part of it is the sign's red.
bool ShowsErrorSign(HWND control) {
    RECT area;
    GetWindowRect(control, &area);
    const HDC screen = GetDC(nullptr);
    int red = 0, all = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x, ++all) {
            const COLORREF c = GetPixel(screen, x, y);
            red += GetRValue(c) > 160 && GetGValue(c) < 100 && GetBValue(c) < 100;
        }
    ReleaseDC(nullptr, screen);
    return all && red * 5 > all;
}

std::string Utf8(const std::wstring& text) {
    std::string bytes(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr),
                      '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                        static_cast<int>(bytes.size()), nullptr, nullptr);
    return bytes;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: boxcheck TITLE\n");
        return 2;
    }
    Box box{argv[1]};
    for (int i = 0; i < 600 && !box.window; ++i) {
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&box));
        if (!box.window)
            Sleep(100);
    }
    if (!box.window) {
        std::fprintf(stderr, "no box \"%s\" within 60 s\n", Utf8(box.title).c_str());
        return 1;
    }
    Contents contents;
    EnumChildWindows(box.window, ReadControl, reinterpret_cast<LPARAM>(&contents));
    const bool sign = contents.icon && ShowsErrorSign(contents.icon);
    const std::string out =
        std::string("icon: ") + (sign ? "error" : "none") + "\n" + Utf8(contents.text) + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
