// Every text of every shipped language inside its control, in the real host's fonts and pixels, on a
// small display, a 4K one and a 4K one at 150 %: shrunk or wrapped as need be, never past its box.
#include <gtest/gtest.h>

#include "hosts/headless/headless_host.h"
#include "hosts/sdl/canvas.h"
#include "hosts/sdl/geometry.h"
#include "hosts/sdl/text_fit.h"
#include "screens/bar_game.h"
#include "screens/display.h"
#include "screens/experiment.h"
#include "screens/greet.h"
#include "screens/instruction.h"
#include "ui/text.h"
#include "ui/translations.h"

namespace pelorin::sdl {
namespace {

struct Setting {
    const char* name;
    int width, height;
    float dpi;
};

// The display in pixels and its DPI; the screens are laid out in twips, 1440 / DPI to a pixel.
constexpr Setting SETTINGS[] = {{"1024x768", 1024, 768, 96}, {"3840x2160", 3840, 2160, 96}, {"3840x2160 at 150 %", 3840, 2160, 144}};

// What does not fit in a screen's labels and buttons: "Greet.Label2 \"...\"" a control.
std::vector<std::string> Overflowing(Fonts& fonts, const Screen& screen) {
    std::vector<std::string> overflowing;
    float twipsPerPixel = fonts.TwipsPerPixel();
    for (const Control* control : screen.Controls()) {
        std::string caption;
        Font font;
        int inset = 0;
        if (control->Kind() == ControlKind::Label) {
            caption = static_cast<const Label*>(control)->Caption();
            font = static_cast<const Label*>(control)->GetFont();
        } else if (control->Kind() == ControlKind::Button) {
            caption = static_cast<const Button*>(control)->Caption();
            font = static_cast<const Button*>(control)->GetFont();
            // As the painter draws it: inside the face's edges.
            inset = 2 * (BORDER + 2);
        } else {
            continue;
        }
        PixelRect rect = PixelRectOf(*control, twipsPerPixel);
        FittedText fitted = FitText(fonts, font, DisplayText(caption), rect.w - inset, rect.h - inset);
        if (!fitted.fits) overflowing.push_back(screen.Name() + "." + control->Name() + " \"" + caption + "\"");
    }
    return overflowing;
}

TEST(TextFitTest, EveryShippedTextFitsItsControl) {
    TtfLibrary ttf;
    std::vector<std::string> languages{"en"};
    for (const ShippedTranslation& shipped : SHIPPED_TRANSLATIONS) languages.emplace_back(shipped.language);
    for (const Setting& setting : SETTINGS) {
        Fonts fonts(setting.dpi);
        for (const std::string& language : languages) {
            SCOPED_TRACE(language + " on " + setting.name);
            // The test host counts 15 twips to a pixel: the display's size in twips is what counts.
            float scale = setting.dpi / 96.0f;
            HeadlessHost host(static_cast<int>(static_cast<float>(setting.width) / scale),
                              static_cast<int>(static_cast<float>(setting.height) / scale), "/nowhere");
            Experiment experiment(host);
            experiment.runtime.texts = LoadLanguage(language, "").texts;
            std::vector<std::string> overflowing;
            auto check = [&](const Screen& screen) {
                for (std::string& control : Overflowing(fonts, screen)) overflowing.push_back(std::move(control));
            };
            check(experiment.Greet());
            check(experiment.Instruction());
            Display& display = experiment.Display();
            check(display);
            // Each announcement in the label that says it.
            for (size_t row = 0; row < TASK_COUNT; ++row) {
                display.Label2.SetCaption(experiment.runtime.texts.Get(TASK_TABLE[row].facts.announcement));
                check(display);
            }
            for (size_t row = 0; row < TASK_COUNT; ++row) check(experiment.Task(row));
            EXPECT_EQ(overflowing, std::vector<std::string>{});
        }
    }
}

TEST(TextFitTest, ALongTextShrinksOrWrapsInsideItsBoxOrIsSaidNotToFit) {
    TtfLibrary ttf;
    Fonts fonts;
    Font font{18, true};
    // At its design size where it fits.
    FittedText fitted = FitText(fonts, font, "Weiter", 200, 30);
    EXPECT_TRUE(fitted.fits);
    EXPECT_EQ(fitted.font, &fonts.Get(font));
    // A third longer than its one-line box: smaller, on one line, inside the box.
    int wide = FitText(fonts, font, "Reihenfolge der Bedingungen", 1000, 30).widths.at(0);
    fitted = FitText(fonts, font, "Reihenfolge der Bedingungen", wide * 3 / 4, 30);
    EXPECT_TRUE(fitted.fits);
    ASSERT_EQ(fitted.lines.size(), 1u);
    EXPECT_LE(fitted.widths[0], wide * 3 / 4);
    EXPECT_NE(fitted.font, &fonts.Get(font));
    // A box with room for lines wraps it at its design size.
    fitted = FitText(fonts, font, "Reihenfolge der Bedingungen", wide * 3 / 4, 100);
    EXPECT_TRUE(fitted.fits);
    EXPECT_EQ(fitted.lines.size(), 2u);
    EXPECT_EQ(fitted.font, &fonts.Get(font));
    // Far too long: said not to fit, at the smallest size.
    fitted = FitText(fonts, font, "Reihenfolge der Bedingungen", wide / 3, 30);
    EXPECT_FALSE(fitted.fits);
    EXPECT_EQ(fitted.font, &fonts.Get(font.size * SMALLEST_SHARE + 0.25f, true));
}

}  // namespace
}  // namespace pelorin::sdl
