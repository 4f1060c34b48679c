#include "screens/experiment.h"

#include "screens/my_debug.h"
#include "screens/display.h"
#include "screens/greet.h"
#include "screens/instruction.h"
#include "system/files.h"
#include "screens/letter_task.h"
#include "screens/tone_letter_task.h"
#include "screens/tone_task.h"
#include "screens/blanke.h"

namespace pelorin {

Experiment::Experiment(Host& host) : runtime(host) {
    // The window system's close button asks the quit question, as Esc does.
    runtime.SetCloseHandler([this] { Blanke().Unload(); });
}

Experiment::~Experiment() = default;

void Experiment::Run() {
    try {
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
ToneTask& Experiment::ToneTask() { return Use(toneTask, *this); }
LetterTask& Experiment::LetterTask() { return Use(letterTask, *this); }
Tone_LetterTask& Experiment::Tone_LetterTask() { return Use(toneLetterTask, *this); }
MyDebug& Experiment::myDebug() { return Use(debug, *this); }

}  // namespace pelorin
