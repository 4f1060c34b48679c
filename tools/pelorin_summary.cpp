// pelorin-summary FILE...: per block of each events file, the task, how it ended, and per channel the
// stimuli presented and answered, the share correct and the median response time of correct answers.
// A file that is not an events file as Pelorin writes it is refused with the reason; the exit code is
// then 1.
#include <iostream>
#include <variant>

#include "events_summary.h"
#include "platform/files.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: pelorin-summary FILE...\n"
                     "  FILE: an events file from Res_Data, such as sub-12_task-dualtask_events.tsv\n";
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        std::string path = argv[i];
        std::string error;
        auto text = pelorin::ReadWholeFile(path, &error);
        if (!text) {
            std::cerr << "pelorin-summary: " << path << ": cannot read: " << error << "\n";
            status = 1;
            continue;
        }
        auto events = pelorin::ReadEvents(*text);
        if (auto* reason = std::get_if<std::string>(&events)) {
            std::cerr << "pelorin-summary: " << path << ": not an events file as Pelorin writes it: " << *reason << "\n";
            status = 1;
            continue;
        }
        if (i > 1) std::cout << "\n";
        std::cout << path << "\n" << pelorin::Summarize(std::get<std::vector<pelorin::EventRow>>(events));
    }
    return status;
}
