// pelorin-summary [--csv FILE] [PATH...]: per subject, run, block and channel, the stimuli presented and
// answered, the share correct, the median response time of correct answers, the keys that answered
// nothing and how long quit questions were up. PATH is a dataset folder (Res_Data) or an events file.
// --csv FILE writes the same table as CSV, one row per subject x run x block x channel. Whatever cannot
// be read (a row, a file, a folder entry) is skipped with the file, the line and the reason, and the
// rest is still summarised; the exit code then says so (see USAGE). Without PATH it reads Res_Data (see
// tool_start.h).
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <variant>
#include <vector>

#include "events_summary.h"
#include "system/files.h"
#include "tool_start.h"

namespace {

constexpr const char* USAGE =
    "Usage: pelorin-summary [--csv FILE] [PATH]...\n"
    "Summarise Pelorin's results per subject, run, block and channel: the stimuli presented and answered,\n"
    "the share correct, the median response time, the keys that answered nothing.\n"
    "\n"
    "PATH is a results dataset such as Res_Data, or one of its events files. Without PATH: Res_Data in\n"
    "the current folder (on Windows, beside the program).\n"
    "\n"
    "Options:\n"
    "      --csv FILE    also write the table as CSV into FILE\n"
    "  -h, --help        print this and exit\n"
    "      --version     print the version and exit\n"
    "\n"
    "Exit code: 0 everything was read; 1 something was skipped (each named on standard error with its\n"
    "file and line) or the CSV could not be written, the rest summarised; 2 a wrong command line.\n";

int Usage() {
    std::cerr << USAGE;
    return 2;
}

int Summarize(const std::vector<std::string>& arguments) {
    std::string csvPath;
    std::vector<std::string> paths;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--csv") {
            if (++i == arguments.size()) return Usage();
            csvPath = arguments[i];
        } else {
            paths.push_back(argument);
        }
    }
    if (paths.empty()) return Usage();

    int status = 0;
    std::vector<pelorin::SummaryRow> rows;
    auto refuse = [&](const std::string& reason) {
        std::cerr << "pelorin-summary: " << reason << "\n";
        status = 1;
    };
    for (const std::string& path : paths) {
        pelorin::Dataset dataset = pelorin::ReadPath(path);
        for (const std::string& reason : dataset.errors) refuse(reason);
        for (const pelorin::DatasetRun& run : dataset.runs) {
            std::vector<pelorin::SummaryRow> summary = pelorin::Summarize(run);
            rows.insert(rows.end(), summary.begin(), summary.end());
        }
    }
    std::cout << pelorin::FormatTable(rows);
    if (!csvPath.empty()) {
        std::ofstream csv(pelorin::PathFromUtf8(csvPath), std::ios::binary | std::ios::trunc);
        csv << pelorin::FormatCsv(rows);
        csv.close();
        if (!csv) refuse(csvPath + ": cannot write it");
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    pelorin::ToolStart start = pelorin::StartTool("pelorin-summary", USAGE, 1, argc, argv, std::cout, std::cerr);
    if (start.exitCode) return pelorin::EndTool(start, *start.exitCode);
    // Started from Explorer, the table is what the window is for: it stays until a key is pressed.
    return pelorin::EndTool(start, Summarize(start.arguments), true);
}
