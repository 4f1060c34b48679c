// pelorin-report Res_Data [-o FILE]: one page for the whole dataset, the figures drawn by the plotting
// scripts built into the program. Without -o the page goes to Res_Data/derivatives/pelorin-report/
// index.html beside the description a BIDS derivative needs. Whatever cannot be read (a folder entry, an
// events file, a line of one) is skipped, named on the page and on standard error with its file and
// line, and the rest is reported; the exit code says so (see USAGE).
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>

#include "dataset.h"
#include "platform/files.h"
#include "report.h"

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

constexpr const char* USAGE =
    "usage: pelorin-report Res_Data [-o FILE]\n"
    "  Res_Data: the results folder, a BIDS dataset\n"
    "  FILE: where the page goes (Res_Data/derivatives/pelorin-report/index.html unless given)\n"
    "exit code: 0 the page was written from everything; 1 the page was written, and something was skipped\n"
    "  (each named on standard error and on the page with its file and line); 2 a wrong command line;\n"
    "  3 no page: the folder could not be read or the page not written\n";

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

}  // namespace

int main(int argc, char** argv) {
    std::string root;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::cout << USAGE;
            return 0;
        }
        if (argument == "-o" && i + 1 < argc) {
            output = argv[++i];
        } else if (root.empty() && !argument.starts_with("-")) {
            root = argument;
        } else {
            root.clear();
            break;
        }
    }
    if (root.empty()) {
        std::cerr << USAGE;
        return 2;
    }
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
    return dataset->skipped.empty() ? 0 : 1;
}
