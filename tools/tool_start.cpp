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

ToolStart StartTool(const char* name, const char* usage, int argc, char** argv, std::ostream& out) {
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
    return start;
}

std::optional<std::string> DatasetToRead(const char* name, const std::optional<std::string>& given, std::ostream& err) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (!given) {
        std::string folder = DefaultDataFolder();
        std::string dataset = JoinPath(folder, DATASET);
        if (!fs::is_directory(PathFromUtf8(dataset), error)) {
            err << name << ": no " << DATASET << " folder in " << folder
                << ": put the program beside the experiment's Res_Data, drop a results folder on it, or name the "
                   "folder, as in: "
                << name << " " << DATASET << "\n";
            return std::nullopt;
        }
        return dataset;
    }
    const std::string& path = *given;
    fs::file_status status = fs::status(PathFromUtf8(path), error);
    if (fs::is_regular_file(status)) return path;
    if (!fs::is_directory(status)) {
        err << name << ": " << path << ": " << (error ? error.message() : std::string("no folder")) << "\n";
        return std::nullopt;
    }
    auto has = [&](const std::string& folder, const char* entry) {
        std::error_code ignored;
        return fs::exists(PathFromUtf8(JoinPath(folder, entry)), ignored);
    };
    bool dataset = has(path, "dataset_description.json") || has(path, "participants.tsv");
    for (fs::directory_iterator entry(PathFromUtf8(path), error), end; !dataset && !error && entry != end;
         entry.increment(error)) {
        std::u8string entryName = entry->path().filename().u8string();
        dataset = entryName.starts_with(u8"sub-");
    }
    if (dataset) return path;
    std::string inside = JoinPath(path, DATASET);
    if (fs::is_directory(PathFromUtf8(inside), error)) {
        err << name << ": " << path << " is a run folder: reading its dataset, " << inside << "\n";
        return inside;
    }
    err << name << ": " << path << " holds no dataset (no dataset_description.json, participants.tsv or sub-* "
        << "folder) and no " << DATASET << " folder: name the results folder, as in: " << name << " " << DATASET
        << "\n";
    return std::nullopt;
}

int EndTool(const ToolStart& start, int status, bool keepOpen) {
    if (start.ownWindow && (status != 0 || keepOpen)) WaitForKeyPress();
    return status;
}

bool ShowPage(const ToolStart& start, const std::string& path) {
    return start.ownWindow && OpenWithDefaultProgram(path);
}

}  // namespace pelorin
