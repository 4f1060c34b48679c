#include "system/console.h"

#include "system/files.h"

namespace pelorin {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
}

void UseStartingConsole() {}

std::string DefaultDataFolder() {
    return CurrentFolder();
}

bool ConsoleWindowIsOwn() {
    return false;
}

void WaitForKeyPress() {}

// NOTE: a shell user opens the page; a tool starting a browser on its own would surprise scripts.
bool OpenWithDefaultProgram(const std::string&) {
    return false;
}

}  // namespace pelorin
