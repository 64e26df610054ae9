#include "gui/posix/FltkMessageBox.h"

#include "gui/posix/FltkFrame.h"
#include "gui/posix/FltkText.h"
#include "gui/posix/IconTheme.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_PNG_Image.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <memory>

namespace platform {
namespace {

constexpr int kWrapWidth = 400;
constexpr int kMargin = 15;
constexpr int kIconSize = 48;
constexpr int kButtonWidth = 80, kButtonHeight = 25;

// Room for the caption in a title bar: the caption in a bold font as large as title fonts
// come (11 points), and beside it the window's icon and three buttons.
int CaptionWidth(const std::string& caption) {
    constexpr int kTitleTextHeight = 15, kTitleBarRest = 4 * 30;
    fl_font(FL_HELVETICA_BOLD, kTitleTextHeight);
    return static_cast<int>(fl_width(caption.c_str())) + kTitleBarRest;
}

// The toolkit draws a label aligned left this far inside its box, on both sides.
constexpr int kLabelInset = 3;

struct TextSize {
    int width, height;
};

// The text's size in the boxes' font, wrapped at the width.
TextSize Measure(const std::string& text, int wrapWidth) {
    fl_font(FL_HELVETICA, kTextHeight);
    TextSize size{wrapWidth, 0};
    fl_measure(text.c_str(), size.width, size.height);
    return size;
}

// The error icon where the icon themes have none: a white cross on a red disc.
class DrawnErrorIcon : public Fl_Widget {
public:
    DrawnErrorIcon(int x, int y, int size) : Fl_Widget(x, y, size, size) {}
    void draw() override {
        fl_color(fl_rgb_color(204, 0, 0));
        fl_pie(x(), y(), w(), h(), 0, 360);
        const int reach = w() / 5, cx = x() + w() / 2, cy = y() + h() / 2;
        fl_color(FL_WHITE);
        fl_line_style(FL_SOLID | FL_CAP_ROUND, w() / 8);
        fl_line(cx - reach, cy - reach, cx + reach, cy + reach);
        fl_line(cx - reach, cy + reach, cx + reach, cy - reach);
        fl_line_style(0);
    }
};

// The theme's "dialog-error" at the icon size, or the drawing. The picture lives as long
// as the box that shows it.
void AddErrorIcon(int x, int y, std::unique_ptr<Fl_Image>& picture) {
    const auto file = ThemeIconFile("dialog-error", kIconSize);
    if (!file.empty()) {
        Fl_PNG_Image png(file.c_str());
        if (png.w() > 0 && png.h() > 0) {
            Fl_Image::RGB_scaling(FL_RGB_SCALING_BILINEAR);
            picture.reset(png.copy(kIconSize, kIconSize));
            (new Fl_Box(x, y, kIconSize, kIconSize))->image(picture.get());
            return;
        }
    }
    new DrawnErrorIcon(x, y, kIconSize);
}

} // namespace

void ShowMessageBox(const std::string& caption, TBoxIcon icon, const std::string& text) {
    const int textLeft = icon == TBoxIcon::NoIcon ? kMargin : 2 * kMargin + kIconSize;
    const TextSize wrapped = Measure(text, kWrapWidth);
    const int width =
        std::min(Fl::w(), std::max({textLeft + wrapped.width + kMargin, CaptionWidth(caption),
                                    kButtonWidth + 2 * kMargin}));
    // The text takes the box's whole width, which the caption may have made wider.
    const int textWidth = width - textLeft - kMargin;
    const int bodyHeight =
        std::max(Measure(text, textWidth).height, icon == TBoxIcon::NoIcon ? 0 : kIconSize);
    const int height = 3 * kMargin + bodyHeight + kButtonHeight;

    Fl_Double_Window box((Fl::w() - width) / 2, (Fl::h() - height) / 2, width, height);
    box.copy_label(caption.c_str());
    std::unique_ptr<Fl_Image> picture;
    if (icon == TBoxIcon::Error)
        AddErrorIcon(kMargin, kMargin, picture);
    auto* message =
        new Fl_Box(textLeft - kLabelInset, kMargin, textWidth + 2 * kLabelInset, bodyHeight);
    message->copy_label(text.c_str());
    message->labelsize(kTextHeight);
    message->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
    auto* ok = new Fl_Return_Button((width - kButtonWidth) / 2, height - kMargin - kButtonHeight,
                                    kButtonWidth, kButtonHeight, "OK");
    ok->labelsize(kTextHeight);
    ok->callback([](Fl_Widget* button, void*) { button->window()->hide(); });
    box.end();
    box.set_modal();
    ShowOfferingCloseOnly(box);
    while (box.shown())
        Fl::wait();
}

} // namespace platform
