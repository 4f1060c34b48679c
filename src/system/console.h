#pragma once

#include <string>
#include <vector>

namespace pelorin {

// The program's arguments after its name, in UTF-8 whatever the system's code page.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Connects standard output and error to the console the program was started from, where a windowed
// program has none of its own; nothing where they lead somewhere already.
void UseStartingConsole();

// The folder where a tool started without arguments looks for the data: beside the program on
// Windows, where Explorer starts it from its folder on a double-click; the current folder elsewhere,
// where it is started from a shell in the run folder.
std::string DefaultDataFolder();

// True when the console window is the program's own (Windows opened it for a double-click or a drop
// and closes it as the program ends), and its input is that console, so a key can be waited for.
// False when started from a console or a script, and everywhere but Windows.
bool ConsoleWindowIsOwn();

// Asks for a key on the console and waits until one is pressed.
void WaitForKeyPress();

// Opens a file in the program the system opens it with (a page: the default browser); false when it
// could not, or where the system has no such choice for a console program (everywhere but Windows).
bool OpenWithDefaultProgram(const std::string& path);

}  // namespace pelorin
