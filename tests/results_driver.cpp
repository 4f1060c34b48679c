// Runs Pelorin on the headless host in a folder with 100 ms tones: subject 1 registered by quick fill, the instructions
// clicked through, the tone block played by a subject who answers every tone, and Yes to the quit
// question during the next announcement. Each thing a person would see goes to standard output as it
// happens, one write each, so that a system-call trace shows when the results file was written and
// flushed.
//   results_driver FOLDER
#include <unistd.h>

#include <cstdio>
#include <string>

#include "lab.h"

int main(int argc, char** argv) {
    using namespace pelorin;
    if (argc != 2) {
        std::fprintf(stderr, "usage: results_driver FOLDER\n");
        return 2;
    }
    std::string folder = argv[1];
    for (const char* tone : {"200", "500", "800", "error"}) test::MakeWav(folder + "/wave/" + tone + ".wav", 100);
    HeadlessHost host(1024, 768, folder);
    Experiment experiment(host);
    test::SimulatedSubject subject(host);
    host.onTrace = [&](const TraceEntry& entry) {
        subject.See(entry);
        if (entry.what == "top Instruction") {
            host.Schedule(entry.Millis() + 10, InputEvent::Click(experiment.Instruction().Command1));
            host.Schedule(entry.Millis() + 20, InputEvent::Click(experiment.Instruction().Command1));
        } else if (entry.what.starts_with("show ToneTask.Label2")) {
            host.Schedule(entry.Millis() + 3000, InputEvent::KeyPress(KEY_ESCAPE));
            host.AnswerMessageBox(ID_YES);
        }
        std::string line = entry.what + "\n";
        [[maybe_unused]] ssize_t ignored = write(STDOUT_FILENO, line.data(), line.size());
    };
    host.Schedule(10, InputEvent::KeyDown(KEY_TAB, CTRL_MASK));
    host.Schedule(11, InputEvent::KeyPress(KEY_RETURN));
    try {
        experiment.Run();
    } catch (const ProgramEnded&) {
        return 0;
    }
}
