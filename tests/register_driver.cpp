// Test driver: registers one subject on the headless host in a folder and writes each thing a person
// would see to standard output as it happens, one write each, so that a system-call trace shows what
// the program did to the disk before the screen moved on.
//   register_driver FOLDER ID INITIALS CONDITION
#include <unistd.h>

#include <cstdio>
#include <string>

#include "hosts/headless/headless_host.h"
#include "screens/experiment.h"
#include "screens/greet.h"

int main(int argc, char** argv) {
    using namespace pelorin;
    if (argc != 5) {
        std::fprintf(stderr, "usage: register_driver FOLDER ID INITIALS CONDITION\n");
        return 2;
    }
    HeadlessHost host(1024, 768, argv[1]);
    host.onTrace = [](const TraceEntry& entry) {
        std::string line = entry.what + "\n";
        [[maybe_unused]] ssize_t ignored = write(STDOUT_FILENO, line.data(), line.size());
    };
    Experiment experiment(host);
    Greet& greet = experiment.Greet();
    int64_t at = host.ScheduleText(10, argv[2]);
    host.Schedule(at++, InputEvent::KeyDown(KEY_TAB));
    at = host.ScheduleText(at, argv[3]);
    host.Schedule(at++, InputEvent::KeyDown(KEY_TAB));
    at = host.ScheduleText(at, argv[4]);
    host.Schedule(at, InputEvent::Click(greet.Command1));
    try {
        for (;;) experiment.runtime.WaitPass();
    } catch (const HeadlessIdle&) {
    }
    return experiment.runtime.ActiveScreen() == &greet ? 1 : 0;
}
