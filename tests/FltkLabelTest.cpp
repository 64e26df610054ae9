// Texts in the window's boxes show as they are: measured as the toolkit draws the label, a
// text is as wide as the same text drawn without the toolkit's symbols.
#include "gui/posix/FltkText.h"

#include <gtest/gtest.h> // before the toolkit, whose X headers define names it uses

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

namespace {

class FltkLabel : public ::testing::TestWithParam<std::string> {
protected:
    static void SetUpTestSuite() {
        static Fl_Window window(10, 10); // the display's fonts come with a shown window
        window.show();
    }
    static int Width(const std::string& text, bool symbols) {
        fl_font(FL_HELVETICA, 11);
        int width = 0, height = 0;
        fl_measure(text.c_str(), width, height, symbols);
        return width;
    }
};

} // namespace

TEST_P(FltkLabel, ShowsTheTextAsItIs) {
    EXPECT_EQ(Width(platform::FltkLabel(GetParam()), true),
              Width(platform::AnsiToUtf8(GetParam()), false));
}

INSTANTIATE_TEST_SUITE_P(Texts, FltkLabel,
                         ::testing::Values("user@example.org", "@+", "@", "x@", "a@@b",
                                           "\xCE\xF8\xE8\xE1\xEA\xE0 @ 5"));
