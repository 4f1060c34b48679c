#pragma once

#include <string>
#include <vector>

namespace pelorin {

// The program's arguments after its name, in UTF-8 whatever the system's code page.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Connects standard output and error to the console the program was started from, where a windowed
// program has none of its own; nothing where they lead somewhere already.
void UseStartingConsole();

}  // namespace pelorin
