#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simulation/simulation_settings.h"
#include "ui/texts.h"

namespace pelorin {

// What the command line asks for. Without options the program runs the experiment as it always has.
struct ProgramOptions {
    enum class Mode {
        Experiment,  // the experiment, writing the subject list and Res_Data of the current folder
        Pilot,       // the experiment marked as a pilot, writing only under Pilot_Data
        Simulate,    // simulated subjects on the test host, writing only under their own folder
        Check,       // the timing check in the real window, writing only its report
        DemoFolder,  // writes the demo's instruction.txt and wave/ into demoFolder, keeping what is there
        Exit,        // the command line is answered (help, version) or refused: exit with exitCode
    };
    Mode mode = Mode::Experiment;
    int exitCode = 0;
    SimulationSettings simulation;
    std::string demoFolder;
    // The display the screens go on, by the number the system lists it with (0 is the first); none
    // given: the first. Where it was given, for a refusal: "--display" or "pelorin.ini line 2".
    std::optional<int> display;
    std::string displayGivenBy;
    // The line of pelorin.ini that gave the display; 0 when the command line gave it or none was given.
    int displayLine = 0;
    // The check's sound check by cable: the output wired to an input, recorded (the default input
    // unless one is named).
    bool loopback = false;
    std::string loopbackInput;
    // The language of every text the subject and the experimenter read, as given (a BCP 47 tag such as
    // de or pt-BR); empty: English. Where it was given, for a refusal.
    std::string language;
    std::string languageGivenBy;
};

// The settings file a lab may keep in the run folder, beside instruction.txt.
inline constexpr const char* SETTINGS_FILE = "pelorin.ini";

// The exit code of a refused command line.
inline constexpr int USAGE_ERROR = 2;

// Reads the program's arguments (without the program's name), in UTF-8. Help and the version go to
// out; a refusal goes to err as its reason followed by the usage.
// languages lists the languages at hand, for the help.
ProgramOptions ParseProgramOptions(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                                   const std::string& languages = "en");

// One thing the settings file held that could not be used, kept as the key of its text and the values
// put in, so that it is said in the run's language once that is known (the file may choose it).
struct SettingsNote {
    std::string_view key;
    std::vector<TextValue> values;
    // The file's line it is about; 0 for the whole file.
    int line = 0;
};

// The note in the language's words, with the file and its line.
std::string SettingsNoteText(const SettingsNote& note, const Texts& texts);
// The box that says, before the registration screen takes a key, what the file held that could not
// be used: every note on a line of its own.
std::string SettingsBoxText(const std::vector<SettingsNote>& skipped, const Texts& texts);

// What reading the settings file has to say: what it skipped, and why it refuses the run (when it does).
struct SettingsNotes {
    std::vector<SettingsNote> skipped;
    std::optional<SettingsNote> refusal;
};

// Takes the settings of SETTINGS_FILE in the folder that the command line left open: lines of
// NAME=VALUE, blank lines and lines starting with # or ; skipped, and so is what it cannot use, each
// said in skipped. The file is read as editors save it: UTF-8 with a byte order mark or without, or
// UTF-16 (Notepad's "Unicode"), any line ends. Of two display= or language= lines the first holds;
// the command line wins over either. A value that
// cannot be right (display=abc) refuses the run like the command line: mode Exit, exit code 2; the
// file's language is still taken, for the refusal's box. A folder without the file changes nothing.
SettingsNotes ApplySettingsFile(const std::string& folder, ProgramOptions& options);

}  // namespace pelorin
