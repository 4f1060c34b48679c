#include "tool_start.h"

#include <filesystem>
#include <ostream>
#include <system_error>

#include "system/console.h"
#include "system/files.h"

#ifndef PELORIN_VERSION
#define PELORIN_VERSION "unknown"
#endif

namespace pelorin {

namespace {

constexpr const char* DATASET = "Res_Data";

}  // namespace

ToolStart StartTool(const char* name, const char* usage, int noDataCode, int argc, char** argv, std::ostream& out,
                    std::ostream& err) {
    ToolStart start;
    start.arguments = ProgramArguments(argc, argv);
    start.ownWindow = ConsoleWindowIsOwn();
    for (const std::string& argument : start.arguments) {
        if (argument == "--help" || argument == "-h") {
            out << usage;
            start.exitCode = 0;
            return start;
        }
        if (argument == "--version") {
            out << name << " " << PELORIN_VERSION << "\n";
            start.exitCode = 0;
            return start;
        }
    }
    if (start.arguments.empty()) {
        std::string folder = DefaultDataFolder();
        std::string dataset = JoinPath(folder, DATASET);
        std::error_code error;
        if (!std::filesystem::is_directory(PathFromUtf8(dataset), error)) {
            err << name << ": no " << DATASET << " folder in " << folder
                << ": put the program beside the experiment's Res_Data, drop a results folder on it, or name the "
                   "folder, as in: "
                << name << " " << DATASET << "\n";
            start.exitCode = noDataCode;
            return start;
        }
        start.arguments.push_back(dataset);
    }
    return start;
}

int EndTool(const ToolStart& start, int status, bool keepOpen) {
    if (start.ownWindow && (status != 0 || keepOpen)) WaitForKeyPress();
    return status;
}

bool ShowPage(const ToolStart& start, const std::string& path) {
    return start.ownWindow && OpenWithDefaultProgram(path);
}

}  // namespace pelorin
