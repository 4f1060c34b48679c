// pelorin-summary [--csv FILE] [PATH...]: per subject, run, block and channel, the stimuli presented and
// answered, the share correct, the median response time of correct answers, the keys that answered
// nothing and how long quit questions were up. PATH is a dataset folder (Res_Data) or an events file.
// --csv FILE writes the same table as CSV, one row per subject x run x block x channel. Whatever cannot
// be read (a row, a file, a folder entry) is skipped with the file, the line and the reason, and the
// rest is still summarised; the exit code then says so (see USAGE). Without PATH it reads Res_Data, and
// a run folder given stands for its Res_Data (see tool_start.h).
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
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
    "PATH is a results dataset such as Res_Data, one of its events files, or a run folder that holds a\n"
    "Res_Data (its dataset is read). Without PATH: Res_Data in the current folder (on Windows, beside the\n"
    "program).\n"
    "\n"
    "Options:\n"
    "      --csv FILE    also write the table as CSV into FILE\n"
    "  -h, --help        print this and exit\n"
    "      --version     print the version and exit\n"
    "\n"
    "Exit code: 0 everything was read; 1 something was skipped (each named on standard error with its\n"
    "file and line) or the CSV could not be written, the rest summarised, or a PATH holds no dataset\n"
    "(nothing summarised or written); 2 a wrong command line.\n";

int Usage() {
    std::cerr << USAGE;
    return 2;
}

int Summarize(const std::vector<std::string>& arguments) {
    std::string csvPath;
    std::vector<std::string> given;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--csv") {
            if (++i == arguments.size()) return Usage();
            csvPath = arguments[i];
        } else if (argument.starts_with("-") && argument.size() > 1) {
            std::cerr << "pelorin-summary: unknown option " << argument << "\n";
            return Usage();
        } else {
            given.push_back(argument);
        }
    }
    // Every path is the dataset its user meant, or nothing is summarised and nothing written.
    std::vector<std::string> paths;
    if (given.empty()) given.emplace_back();
    for (const std::string& path : given) {
        auto dataset = pelorin::DatasetToRead("pelorin-summary", path.empty() ? std::nullopt : std::optional(path),
                                              std::cerr);
        if (!dataset) return 1;
        paths.push_back(*dataset);
    }

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
    pelorin::ToolStart start = pelorin::StartTool("pelorin-summary", USAGE, argc, argv, std::cout);
    if (start.exitCode) return pelorin::EndTool(start, *start.exitCode);
    // Started from Explorer, the table is what the window is for: it stays until a key is pressed.
    return pelorin::EndTool(start, Summarize(start.arguments), true);
}
