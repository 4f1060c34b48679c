#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace pelorin {

// How pelorin-summary and pelorin-report start and end, alike: from a command line, or from
// Windows' Explorer, double-clicked (no arguments: the Res_Data beside the program) or with a folder
// dropped on them (the folder as the one argument), in a console window that closes as they end.
struct ToolStart {
    // In UTF-8.
    std::vector<std::string> arguments;
    // Set when the start answered already: --help and --version (0).
    std::optional<int> exitCode;
    // The console window is the program's own, gone when it ends.
    bool ownWindow = false;
};

// Reads the command line: --help prints the usage and --version "NAME VERSION" on out.
ToolStart StartTool(const char* name, const char* usage, int argc, char** argv, std::ostream& out);

// The dataset a tool reads, as its user means it. Where no folder was given (a double-click, or options
// alone), the Res_Data in DefaultDataFolder(). A folder given is read when it is a dataset (it holds
// dataset_description.json, participants.tsv or a sub-* folder); a folder that is none but holds a
// Res_Data folder (a run folder, such as Pilot_Data, or one dropped on the program) stands for that
// Res_Data, which err is told; a file is given back as it is (one events file). Anything else is no
// dataset: err is told where it looked, and nothing is given back, so that nothing is written.
std::optional<std::string> DatasetToRead(const char* name, const std::optional<std::string>& given, std::ostream& err);

// The exit code, after waiting for a key in a console window of the program's own when status is not 0,
// or always with keepOpen (the output is what the program was started for), so that it can be read.
int EndTool(const ToolStart& start, int status, bool keepOpen = false);

// Opens the page in the default browser when the program was started from Explorer (a command line
// has its path printed); false when it did not.
bool ShowPage(const ToolStart& start, const std::string& path);

}  // namespace pelorin
