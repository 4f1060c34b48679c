#include "screens/experiment.h"

#include <stdexcept>
#include <string>

#include "screens/blanke.h"
#include "screens/display.h"
#include "screens/greet.h"
#include "screens/instruction.h"
#include "screens/letter_task.h"
#include "screens/my_debug.h"
#include "screens/tone_letter_task.h"
#include "screens/tone_task.h"
#include "system/files.h"

namespace pelorin {

Experiment::Experiment(Host& host) : runtime(host) {
    // The window system's close button asks the quit question, as Esc does.
    runtime.SetCloseHandler([this] { Blanke().Unload(); });
    // The event loop's timed waits are the blank screen's.
    runtime.SetWaits([this]() -> Waits& { return Blanke(); });
    // The results say what failed; the experimenter sees it over the screen on top.
    results.onFailure = [this](const std::string& message) { runtime.MsgBox(message, MB_EXCLAMATION, runtime.texts.Get("box.error")); };
}

Experiment::~Experiment() = default;

void Experiment::Run() {
    try {
        // Rows a shared table of the dataset could not take at an earlier run go in now, where it can.
        AddWaitingRows(RecordsPath(dataset.folder));
        Greet().Show();
        for (;;) runtime.WaitPass();
    } catch (const ProgramEnded&) {
        results.Quit();
        throw;
    }
}

std::string Experiment::RecordsPath(const std::string& name) {
    return recordsFolder.empty() ? runtime.DataPath(name) : JoinPath(recordsFolder, name);
}

Greet& Experiment::Greet() { return Use(greet, *this); }
Instruction& Experiment::Instruction() { return Use(instruction, *this); }
Display& Experiment::Display() { return Use(display, *this); }
Blanke& Experiment::Blanke() {
    if (!blanke) {
        blanke = std::make_unique<pelorin::Blanke>(runtime);
        blanke->onQuitQuestion = [this](int64_t askedMicros, int64_t answeredMicros, bool quit) {
            results.QuitQuestion(askedMicros, answeredMicros, quit);
        };
    }
    return Use(blanke, runtime);
}
BarGame& Experiment::Task(size_t row) {
    std::unique_ptr<BarGame>& slot = tasks.at(row);
    if (!slot) {
        TaskServices services{runtime, results, templateVariables, Blanke(), Display(), [this] { ToggleDebugWindow(*this); }};
        slot = TASK_TABLE[row].make(services);
    }
    slot->Load();
    return *slot;
}

// The three tasks of the experiment, by their screens' names, wherever their rows stand in the table.
template <class T>
T& Experiment::TaskNamed(std::string_view screen) {
    size_t row = TaskRowOf(screen);
    if (row == TASK_COUNT) throw std::logic_error("no task screen " + std::string(screen) + " in the task table");
    return static_cast<T&>(Task(row));
}
ToneTask& Experiment::ToneTask() { return TaskNamed<pelorin::ToneTask>("ToneTask"); }
LetterTask& Experiment::LetterTask() { return TaskNamed<pelorin::LetterTask>("LetterTask"); }
Tone_LetterTask& Experiment::Tone_LetterTask() { return TaskNamed<pelorin::Tone_LetterTask>("Tone_LetterTask"); }
MyDebug& Experiment::myDebug() { return Use(debug, *this); }

}  // namespace pelorin
