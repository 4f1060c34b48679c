// pelorin-report Res_Data [-o FILE]: one page for the whole dataset, the figures drawn by the plotting
// scripts built into the program. Without -o the page goes to Res_Data/derivatives/pelorin-report/
// index.html beside the description a BIDS derivative needs. Whatever cannot be read (a folder entry, an
// events file, a line of one) is skipped, named on the page and on standard error with its file and
// line, and the rest is reported; the exit code says so (see USAGE). Without arguments it reads
// Res_Data, a run folder given stands for its Res_Data, and started from Explorer it opens the page in
// the browser (see tool_start.h).
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "dataset.h"
#include "report.h"
#include "system/files.h"
#include "tool_start.h"

#ifndef PELORIN_VERSION
#define PELORIN_VERSION "unknown"
#endif

namespace {

// Writes the file whole or not at all: into a file beside it, then renamed over it.
std::optional<std::string> WriteFile(const std::string& path, const std::string& text) {
    std::string partial = path + ".partial";
    {
        std::ofstream out(pelorin::PathFromUtf8(partial), std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) return "cannot write " + partial;
    }
    std::error_code failure;
    std::filesystem::rename(pelorin::PathFromUtf8(partial), pelorin::PathFromUtf8(path), failure);
    if (failure) return "cannot rename " + partial + " to " + path + ": " + failure.message();
    return std::nullopt;
}

constexpr const char* DERIVATIVE_DESCRIPTION = R"({
  "Name": "Pelorin report",
  "BIDSVersion": "1.10.0",
  "DatasetType": "derivative",
  "GeneratedBy": [
    {
      "Name": "pelorin-report",
      "Version": "@VERSION@",
      "Description": "One HTML page with the dataset at a glance, a figure per block and the group."
    }
  ]
}
)";

constexpr const char* USAGE =
    "Usage: pelorin-report [Res_Data] [-o FILE]\n"
    "Write one page for a whole dataset of Pelorin's: every block's figure, the group's and the flags to\n"
    "act on. It needs no internet connection.\n"
    "\n"
    "Res_Data is the results folder, a BIDS dataset, or a run folder that holds one (its Res_Data is\n"
    "read). Without it: Res_Data in the current folder (on Windows, beside the program, and the page is\n"
    "opened in the browser when started from Explorer).\n"
    "\n"
    "Options:\n"
    "  -o FILE           where the page goes (Res_Data/derivatives/pelorin-report/index.html unless given)\n"
    "  -h, --help        print this and exit\n"
    "      --version     print the version and exit\n"
    "\n"
    "Exit code: 0 the page was written from everything; 1 the page was written, and something was skipped\n"
    "(each named on standard error and on the page with its file and line); 2 a wrong command line;\n"
    "3 no page: the folder holds no dataset, could not be read, or the page could not be written.\n";

// Writes the page; its path goes to page.
int Report(const std::vector<std::string>& arguments, std::string& page) {
    std::optional<std::string> given;
    std::string output;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-o" && i + 1 < arguments.size()) {
            output = arguments[++i];
        } else if (!given && !argument.starts_with("-")) {
            given = argument;
        } else {
            std::cerr << USAGE;
            return 2;
        }
    }
    // Nothing is made, derivatives/ neither, before the folder is known to be the dataset meant.
    std::optional<std::string> found = pelorin::DatasetToRead("pelorin-report", given, std::cerr);
    if (!found) return 3;
    const std::string& root = *found;
    std::string error;
    auto dataset = pelorin::ReadReportDataset(root, &error);
    if (!dataset) {
        std::cerr << "pelorin-report: " << root << ": " << error << "\n";
        return 3;
    }
    if (output.empty()) {
        std::string folder = pelorin::JoinPath(root, "derivatives/pelorin-report");
        std::error_code failure;
        std::filesystem::create_directories(pelorin::PathFromUtf8(folder), failure);
        if (failure) {
            std::cerr << "pelorin-report: cannot make " << folder << ": " << failure.message() << "\n";
            return 3;
        }
        std::string description = DERIVATIVE_DESCRIPTION;
        description.replace(description.find("@VERSION@"), 9, PELORIN_VERSION);
        if (auto failed = WriteFile(pelorin::JoinPath(folder, "dataset_description.json"), description)) {
            std::cerr << "pelorin-report: " << *failed << "\n";
            return 3;
        }
        output = pelorin::JoinPath(folder, "index.html");
    }
    if (auto failed = WriteFile(output, pelorin::MakeReport(*dataset, PELORIN_VERSION))) {
        std::cerr << "pelorin-report: " << *failed << "\n";
        return 3;
    }
    for (const std::string& skipped : dataset->skipped) std::cerr << "pelorin-report: skipped " << skipped << "\n";
    std::cout << output << "\n";
    page = output;
    return dataset->skipped.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    pelorin::ToolStart start = pelorin::StartTool("pelorin-report", USAGE, argc, argv, std::cout);
    if (start.exitCode) return pelorin::EndTool(start, *start.exitCode);
    std::string page;
    int status = Report(start.arguments, page);
    bool shown = !page.empty() && pelorin::ShowPage(start, page);
    return pelorin::EndTool(start, status, !shown);
}
