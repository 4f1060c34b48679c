#pragma once

#include <array>
#include <memory>
#include <string_view>

#include "records/results_log.h"
#include "screens/template_variables.h"
#include "tasks/task_table.h"
#include "ui/runtime.h"

namespace pelorin {

class BarGame;
class Blanke;
class Display;
class Greet;
class Instruction;
class LetterTask;
class MyDebug;
class Tone_LetterTask;
class ToneTask;

// One run of the experiment: its state and one instance of each screen, created and loaded the first
// time it is used. The task screens are the task table's, made by its rows and reached by their index.
class Experiment {
public:
    explicit Experiment(Host& host);
    ~Experiment();
    Experiment(const Experiment&) = delete;
    Experiment& operator=(const Experiment&) = delete;

    Runtime runtime;
    TemplateVariables templateVariables;
    // Where the results go and what they are: the experiment's Res_Data unless set otherwise before
    // registration.
    DatasetSettings dataset;
    // The events file of the subject registered in this run.
    ResultsLog results{runtime};

    // The run folder that takes the subject list and the dataset (dataset.folder in it): the current
    // folder when empty. Data files (instruction.txt, wave/) are read from the current folder whatever
    // it is.
    std::string recordsFolder;
    // A file or folder of the run folder.
    std::string RecordsPath(const std::string& name);

    // Shows the registration screen and runs the event loop until the program ends (ProgramEnded),
    // the results' last row written.
    [[noreturn]] void Run();

    pelorin::Greet& Greet();
    pelorin::Instruction& Instruction();
    pelorin::Display& Display();
    pelorin::Blanke& Blanke();
    // The task screen of the task table's row.
    BarGame& Task(size_t row);
    pelorin::ToneTask& ToneTask();
    pelorin::LetterTask& LetterTask();
    pelorin::Tone_LetterTask& Tone_LetterTask();
    MyDebug& myDebug();

private:
    // The task screen with this name, of its class.
    template <class T>
    T& TaskNamed(std::string_view screen);
    // Creates the screen on first use and loads it; a screen its own load reaches is not loaded twice.
    template <class T, class... Args>
    T& Use(std::unique_ptr<T>& slot, Args&... args) {
        if (!slot) slot = std::make_unique<T>(args...);
        slot->Load();
        return *slot;
    }

    std::unique_ptr<pelorin::Blanke> blanke;
    std::unique_ptr<pelorin::Greet> greet;
    std::unique_ptr<pelorin::Instruction> instruction;
    std::unique_ptr<pelorin::Display> display;
    std::array<std::unique_ptr<BarGame>, TASK_COUNT> tasks;
    std::unique_ptr<MyDebug> debug;
};

}  // namespace pelorin
