// Every text of every shipped language inside its control, in the real host's fonts and pixels, on a
// small display, a 4K one and a 4K one at 150 %: shrunk or wrapped as need be, never past its box.
#include <gtest/gtest.h>

#include "check/text_fit_check.h"
#include "hosts/sdl/text_fit.h"
#include "ui/translations.h"

namespace pelorin::sdl {
namespace {

TEST(TextFitTest, EveryShippedTextFitsItsControl) {
    std::vector<std::string> languages{"en"};
    for (const ShippedTranslation& shipped : SHIPPED_TRANSLATIONS) languages.emplace_back(shipped.language);
    for (const check::DisplayShape& display : check::DISPLAY_SHAPES) {
        for (const std::string& language : languages) {
            SCOPED_TRACE(language + " on " + display.name);
            EXPECT_EQ(check::TextsThatDoNotFit(LoadLanguage(language, "").texts, display), std::vector<std::string>{});
        }
    }
    // A lab's text too long for its label even shrunk is found, where it stands.
    Texts texts;
    texts.Take({{"greet.subject-id", "Die Nummer der Versuchsperson im Labor"}});
    EXPECT_EQ(check::TextsThatDoNotFit(texts, check::DISPLAY_SHAPES[0]),
              std::vector<std::string>{"Greet.Label3 \"Die Nummer der Versuchsperson im Labor\""});
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
