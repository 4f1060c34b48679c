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
    // In UTF-8; when none were given, the path of the Res_Data found.
    std::vector<std::string> arguments;
    // Set when the start answered already: --help and --version (0), no Res_Data found (noDataCode).
    std::optional<int> exitCode;
    // The console window is the program's own, gone when it ends.
    bool ownWindow = false;
};

// Reads the command line: --help prints the usage and --version "NAME VERSION" on out. Without
// arguments it looks for Res_Data in DefaultDataFolder() and says on err where it looked when there
// is none.
ToolStart StartTool(const char* name, const char* usage, int noDataCode, int argc, char** argv, std::ostream& out,
                    std::ostream& err);

// The exit code, after waiting for a key in a console window of the program's own when status is not 0,
// or always with keepOpen (the output is what the program was started for), so that it can be read.
int EndTool(const ToolStart& start, int status, bool keepOpen = false);

// Opens the page in the default browser when the program was started from Explorer (a command line
// has its path printed); false when it did not.
bool ShowPage(const ToolStart& start, const std::string& path);

}  // namespace pelorin
