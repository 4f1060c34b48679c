#include "check/text_fit_check.h"

#include "check/check_screen.h"
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

namespace pelorin::check {

namespace {

void AddOverflowing(sdl::Fonts& fonts, const Screen& screen, std::vector<std::string>& overflowing) {
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
            inset = 2 * (sdl::BORDER + 2);
        } else {
            continue;
        }
        sdl::PixelRect rect = sdl::PixelRectOf(*control, fonts.TwipsPerPixel());
        sdl::FittedText fitted = sdl::FitText(fonts, font, DisplayText(caption), rect.w - inset, rect.h - inset);
        if (!fitted.fits) overflowing.push_back(screen.Name() + "." + control->Name() + " \"" + caption + "\"");
    }
}

}  // namespace

std::vector<std::string> TextsThatDoNotFit(const Texts& texts, const DisplayShape& display) {
    sdl::TtfLibrary ttf;
    sdl::Fonts fonts(display.dpi);
    // The screens are laid out in twips; the test host counts 15 to a pixel, so its display is the real
    // one's size in twips.
    float scale = display.dpi / 96.0f;
    HeadlessHost host(static_cast<int>(static_cast<float>(display.width) / scale),
                      static_cast<int>(static_cast<float>(display.height) / scale), "/nowhere");
    Experiment experiment(host);
    experiment.runtime.texts = texts;
    std::vector<std::string> overflowing;
    AddOverflowing(fonts, experiment.Greet(), overflowing);
    AddOverflowing(fonts, experiment.Instruction(), overflowing);
    Display& sequencer = experiment.Display();
    AddOverflowing(fonts, sequencer, overflowing);
    // Each announcement in the label that says it.
    for (size_t row = 0; row < TASK_COUNT; ++row) {
        if (*TASK_TABLE[row].facts.announcement == '\0') continue;
        sequencer.Label2.SetCaption(texts.Get(TASK_TABLE[row].facts.announcement));
        AddOverflowing(fonts, sequencer, overflowing);
    }
    for (size_t row = 0; row < TASK_COUNT; ++row) AddOverflowing(fonts, experiment.Task(row), overflowing);
    // The timing check's screen, each step it says, with values as long as a run gives them.
    CheckScreen check(experiment.runtime);
    check.Show();
    check.Label1.SetCaption(texts.Get("check.title-on-display", {{"number", "1"}}));
    const std::pair<std::string, std::string> steps[] = {
        {texts.Get("check.display"), texts.Get("check.display-detail")},
        {texts.Get("check.waits"), texts.Get("check.waits-detail", {{"count", "40"}})},
        {texts.Get("check.block", {{"seconds", "10"}}), texts.Get("check.block-detail")},
        {texts.Get("check.sound"), texts.Get("check.sound-detail", {{"count", "20"}})},
        {texts.Get("check.loopback"),
         texts.Get("check.loopback-detail", {{"count", "20"}, {"input", texts.Get("check.default-input")}})},
        {texts.Get("check.keys"), texts.Get("check.keys-detail", {{"count", "60"}, {"injector", "XTest"}})},
        {texts.Get("check.disk"), texts.Get("check.disk-detail", {{"folder", "C:\\Users\\lab\\Pelorin"}})},
        {texts.Get("check.done-warnings", {{"count", "12"}}),
         texts.Get("check.report-in", {{"path", "C:\\Users\\lab\\Pelorin\\timing-check-2026-12-08-09-30-00.txt"}})},
        {texts.Get("check.done"), texts.Get("check.report-not-written")},
    };
    for (const auto& [what, detail] : steps) {
        check.Say(what, detail);
        AddOverflowing(fonts, check, overflowing);
    }
    return overflowing;
}

}  // namespace pelorin::check
