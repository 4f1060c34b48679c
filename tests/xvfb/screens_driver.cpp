// Test driver of the program's screens and boxes in one language, for reading each back by OCR: the
// real screen classes on the real host, drawn one after another as a run would show them, without
// running a 60-second block for each. Once a page is up it prints "page NAME"; a screen goes on at a
// space, a box at its own button. Every page carries the pilot's mark.
//
//   screens_driver LANG
//
// Run in a folder without instruction.txt (the instruction screen then says it cannot open it) and
// with a pelorin.ini whose lines it cannot use (the settings box says them).
#include <cstdio>
#include <iostream>

#include "check/check_screen.h"
#include "hosts/sdl/sdl_host.h"
#include "options/program_options.h"
#include "screens/bar_game.h"
#include "screens/display.h"
#include "screens/experiment.h"
#include "screens/instruction.h"
#include "system/files.h"
#include "system/warning.h"
#include "tasks/task_table.h"
#include "ui/layout.h"
#include "ui/runtime.h"
#include "ui/translations.h"

namespace {

using namespace pelorin;

// Keys turn the pages and reach no screen: a screen's own keys (Esc, the answer keys) would run it.
class PagingHost : public sdl::SdlHost {
public:
    std::optional<InputEvent> PollInput() override {
        for (;;) {
            std::optional<InputEvent> event = SdlHost::PollInput();
            if (!event || (event->kind != InputEvent::Kind::KeyPress && event->kind != InputEvent::Kind::KeyDown)) {
                return event;
            }
            if (event->kind == InputEvent::Kind::KeyPress && event->keyAscii == ' ') turned = true;
        }
    }

    bool turned = false;
};

// Shows what is set up until a space is typed.
void Page(Runtime& runtime, PagingHost& host, const std::string& name) {
    host.turned = false;
    runtime.Changed();
    host.Present();
    std::printf("page %s\n", name.c_str());
    std::fflush(stdout);
    while (!host.turned) runtime.WaitPass();
}

// A box, answered by its own button.
void BoxPage(Runtime& runtime, const std::string& name, const std::string& prompt, const std::string& title) {
    std::printf("page %s\n", name.c_str());
    std::fflush(stdout);
    runtime.MsgBox(prompt, MB_EXCLAMATION, title);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: screens_driver LANG\n";
        return 2;
    }
    try {
        std::string folder = CurrentFolder();
        LanguageTexts loaded = LoadLanguage(argv[1], folder);
        for (const std::string& note : loaded.notes) Warn(note);
        const Texts& texts = loaded.texts;
        PagingHost host;
        host.UseTexts(texts);
        host.SetMark(texts.Get("pilot.mark"));
        Experiment experiment(host);
        Runtime& runtime = experiment.runtime;
        runtime.texts = texts;

        // What pelorin.ini held that could not be used, as the program says it before registration.
        ProgramOptions options;
        SettingsNotes settings = ApplySettingsFile(folder, options);
        BoxPage(runtime, "settings", SettingsBoxText(settings.skipped, texts), texts.Get("settings.title"));
        // The keyboard-layout box, as a Greek layout brings it.
        BoxPage(runtime, "keyboard",
                texts.Get("keyboard.untypable", {{"name", ", Greek,"}, {"keys", "x, s, w, b, n, m"}}),
                texts.Get("keyboard.title"));

        // The instruction screen without its file, the file's place saying why.
        Instruction& instruction = experiment.Instruction();
        instruction.Start();
        instruction.RichTextBox1.SetVisible(true);
        Page(runtime, host, "instruction");

        // The sequencer: each block's announcement, then the menu.
        Display& sequencer = experiment.Display();
        for (Button& button : sequencer.Command1) button.SetVisible(false);
        sequencer.Show();
        for (size_t row = 0; row < TASK_COUNT; ++row) {
            if (*TASK_TABLE[row].facts.announcement == '\0') continue;
            sequencer.Label2.SetCaption(texts.Get(TASK_TABLE[row].facts.announcement));
            sequencer.Label2.SetVisible(true);
            CenterControl(sequencer.Label2, sequencer);
            Page(runtime, host, std::string("announcement-") + std::string(TASK_TABLE[row].facts.level));
        }
        sequencer.Label2.SetVisible(false);
        sequencer.Label1.SetVisible(true);
        for (Button& button : sequencer.Command1) button.SetVisible(true);
        CenterControlGroup(sequencer);
        Page(runtime, host, "menu");

        // Each task screen's praise at a block's end.
        for (size_t row = 0; row < TASK_COUNT; ++row) {
            BarGame& task = experiment.Task(row);
            task.Show();
            task.Label2.SetVisible(true);
            CenterControl(task.Label2, task);
            Page(runtime, host, std::string("praise-") + std::string(TASK_TABLE[row].facts.level));
        }

        // A results file that cannot be made: the box over the screen, the system's reason as it gives it.
        BoxPage(runtime, "results",
                texts.Get("results.cannot-create", {{"path", JoinPath(folder, "Res_Data")}, {"reason", "Permission denied"}}),
                texts.Get("box.error"));

        // The timing check's screen.
        check::CheckScreen check(runtime);
        check.Label1.SetCaption(texts.Get("check.title-on-display", {{"number", "0"}}));
        check.Show();
        check.Say(texts.Get("check.sound"), texts.Get("check.sound-detail", {{"count", "20"}}));
        Page(runtime, host, "check");
        check.Say(texts.Get("check.done"), texts.Get("check.report-not-written"));
        Page(runtime, host, "check-done");
        std::printf("done\n");
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "screens_driver: " << error.what() << '\n';
        return 1;
    }
}
