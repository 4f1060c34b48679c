#include "options/program_options.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <ostream>

#include "records/provenance.h"
#include "records/rehearsal_folder.h"
#include "system/files.h"
#include "system/saved_text.h"


namespace pelorin {

namespace {

constexpr const char* PROGRAM = "pelorin";
// IDs have three digits at most: no more subjects fit into one subject list.
constexpr int MOST_SUBJECTS = 999;

// A whole text as a number, or nothing: "12x" and "" are no numbers.
bool ReadNumber(std::string_view text, double& value) {
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end;
}

// "MEAN_MS,SD_MS": a mean above 0 and a standard deviation of at least 0.
std::string ReadResponseTimes(const std::string& text, SimulationSettings& settings) {
    size_t comma = text.find(',');
    double mean = 0;
    double sd = 0;
    if (comma == std::string::npos || !ReadNumber(std::string_view(text).substr(0, comma), mean) ||
        !ReadNumber(std::string_view(text).substr(comma + 1), sd)) {
        return "--rt takes MEAN_MS,SD_MS, two numbers of milliseconds such as 600,150, not \"" + text + "\"";
    }
    if (!(mean > 0 && mean <= 60000) || !(sd >= 0 && sd <= 60000)) {
        return "--rt: the mean must be above 0 and the standard deviation at least 0, both at most 60000 ms";
    }
    settings.rtMeanMs = mean;
    settings.rtSdMs = sd;
    return {};
}

}  // namespace

ProgramOptions ParseProgramOptions(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                                   const std::string& languages) {
    ProgramOptions options;
    SimulationSettings& simulation = options.simulation;

    CLI::App app("Pelorin: a dual-task experiment with tones, letters and rising bars. Started without options it "
                 "runs the experiment in the current folder, which holds instruction.txt and wave/.",
                 PROGRAM);
    app.set_version_flag("--version", std::string(PROGRAM) + " " + VersionText(),
                         "Print the version and the source commit it was built from, and exit");
    app.get_formatter()->column_width(34);

    bool pilot = false;
    std::string responseTimes;
    CLI::Option* pilotFlag = app.add_flag(
        "--pilot", pilot,
        "Rehearse the whole experiment, marked PILOT on every screen: it reads instruction.txt and wave/ as usual "
        "and writes only into Pilot_Data/ (its own subject list and dataset), never the subject list or Res_Data");
    CLI::Option* simulate =
        app.add_option("--simulate", simulation.subjects,
                       "Run N simulated subjects through the whole experiment in virtual time and write their dataset")
            ->type_name("N")
            ->check(CLI::Range(1, MOST_SUBJECTS));
    int display = 0;
    CLI::Option* displayOption =
        app.add_option("--display", display,
                       "Show every screen on display N, 0 being the first the system lists (--check lists them). "
                       "The run folder's pelorin.ini may say the same (display=N) for a double-click; this wins")
            ->type_name("N")
            ->check(CLI::NonNegativeNumber)
            ->excludes(simulate);
    CLI::Option* languageOption =
        app.add_option("--language", options.language,
                       "Show every screen and box in language LANG (a BCP 47 tag); at hand here: " + languages +
                           ". A lab's pelorin-LANG.po beside instruction.txt adds a language or changes texts. The run "
                           "folder's pelorin.ini may say the same (language=LANG); this wins")
            ->type_name("LANG");
    bool check = false;
    CLI::Option* checkFlag = app.add_flag(
        "--check",
        check,
        "Check this PC's timing in the real full-screen window (about 30 s): the display, the waits, the sound, "
        "the keyboard path and the disk; prints a report, writes it as timing-check-<date>-<time>.txt in the "
        "current folder with a warning for each thing out of bounds, and writes nothing else");
    CLI::Option* demoFolder =
        app.add_option("--demo-folder", options.demoFolder,
                       "Make DIR a run folder with the demo's instruction.txt and tones (wave/200.wav, 500.wav, "
                       "800.wav, error.wav) and exit; files that are there already are kept")
            ->type_name("DIR");
    CLI::Option* loopbackFlag = app.add_flag(
        "--loopback", options.loopback,
        "With --check, and the sound output wired to an input (line-out to line-in): plays tones, records the "
        "input and reports each tone's recorded onset against the onset the results file would write");
    app.add_option("--loopback-input", options.loopbackInput,
                   "The input --loopback records (a PulseAudio source; on Windows a recording device's name or part "
                   "of it); the system's default input when not given")
        ->type_name("NAME")
        ->check([](const std::string& name) -> std::string { return name.empty() ? "the input's name is empty" : ""; })
        ->needs(loopbackFlag);
    loopbackFlag->needs(checkFlag);
    // --pilot=0 and the like would read as "no pilot" and start the experiment itself.
    pilotFlag->disable_flag_override();
    checkFlag->disable_flag_override();
    loopbackFlag->disable_flag_override();
    pilotFlag->excludes(simulate);
    checkFlag->excludes(pilotFlag)->excludes(simulate);
    demoFolder->excludes(pilotFlag)->excludes(simulate)->excludes(checkFlag);
    app.add_option("--seed", simulation.seed, "Seed of the simulated subjects: the same seed writes the same files")
        ->type_name("S")
        ->capture_default_str()
        ->check(CLI::NonNegativeNumber)
        ->needs(simulate);
    app.add_option("--accuracy", simulation.accuracy, "Chance that an answer is right")
        ->type_name("P")
        ->capture_default_str()
        ->check(CLI::Range(0.0, 1.0))
        ->needs(simulate);
    app.add_option("--rt", responseTimes, "Mean and standard deviation of the response times (default 600,150)")
        ->type_name("MEAN_MS,SD_MS")
        ->needs(simulate);
    app.add_option("--dual-cost", simulation.dualCostMs, "Milliseconds added to the mean response time in the dual block")
        ->type_name("MS")
        ->capture_default_str()
        ->check(CLI::Range(0.0, 60000.0))
        ->needs(simulate);
    app.add_option("--out", simulation.out, "The simulated subjects' run folder (its subject list and dataset)")
        ->type_name("DIR")
        ->capture_default_str()
        ->check([](const std::string& folder) -> std::string {
            if (folder.empty()) return "the folder's name is empty";
            // Simulated subjects never go into the lab's own subject list and Res_Data.
            if (std::string reason = ReachesLabRecords(folder, CurrentFolder()); !reason.empty()) {
                return folder + " " + reason + ": simulated subjects go into a run folder of their own";
            }
            return {};
        })
        ->needs(simulate);

    auto refuse = [&](const std::string& reason) {
        err << PROGRAM << ": " << reason << "\n\n" << app.help();
        options.mode = ProgramOptions::Mode::Exit;
        options.exitCode = USAGE_ERROR;
        return options;
    };

    std::vector<const char*> argv{PROGRAM};
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        options.mode = ProgramOptions::Mode::Exit;
        return options;
    } catch (const CLI::CallForVersion&) {
        out << app.version() << '\n';
        options.mode = ProgramOptions::Mode::Exit;
        return options;
    } catch (const CLI::ParseError& error) {
        return refuse(error.what());
    }
    if (!responseTimes.empty()) {
        if (std::string reason = ReadResponseTimes(responseTimes, simulation); !reason.empty()) return refuse(reason);
    } else if (*app.get_option("--rt")) {
        return refuse("--rt takes MEAN_MS,SD_MS, two numbers of milliseconds such as 600,150");
    }
    if (*displayOption) {
        options.display = display;
        options.displayGivenBy = "--display " + std::to_string(display);
    }
    if (*languageOption) options.languageGivenBy = "--language";
    if (pilot) options.mode = ProgramOptions::Mode::Pilot;
    if (*simulate) options.mode = ProgramOptions::Mode::Simulate;
    if (check) options.mode = ProgramOptions::Mode::Check;
    if (*demoFolder) {
        if (options.demoFolder.empty()) return refuse("--demo-folder: the folder's name is empty");
        options.mode = ProgramOptions::Mode::DemoFolder;
    }
    return options;
}

std::string SettingsNoteText(const SettingsNote& note, const Texts& texts) {
    std::vector<TextValue> values = note.values;
    values.push_back({"file", SETTINGS_FILE});
    if (note.line > 0) {
        values.push_back({"where", texts.Get("settings.where", {{"file", SETTINGS_FILE}, {"line", std::to_string(note.line)}})});
    }
    return texts.Get(note.key, values);
}

std::string SettingsBoxText(const std::vector<SettingsNote>& skipped, const Texts& texts) {
    std::string lines;
    for (const SettingsNote& note : skipped) lines += SettingsNoteText(note, texts) + ".\r";
    return texts.Get("settings.skipped", {{"lines", lines}});
}

SettingsNotes ApplySettingsFile(const std::string& folder, ProgramOptions& options) {
    SettingsNotes notes;
    std::string reason;
    std::optional<std::string> bytes = ReadWholeFile(JoinPath(folder, SETTINGS_FILE), &reason);
    if (!bytes) {
        // No file changes nothing; a file that is there and cannot be read is said.
        std::error_code error;
        if (std::filesystem::exists(PathFromUtf8(JoinPath(folder, SETTINGS_FILE)), error)) {
            notes.skipped.push_back(SettingsNote{"settings.cannot-read", {{"reason", reason}}});
        }
        return notes;
    }
    // As Notepad and other editors save it: UTF-8 with a byte order mark or without, or "Unicode".
    std::optional<std::string> text = SavedTextAsUtf8(*bytes);
    if (!text) {
        notes.skipped.push_back(SettingsNote{"settings.not-text", {}});
        return notes;
    }
    auto trim = [](const std::string& text) {
        size_t first = text.find_first_not_of(" \t");
        if (first == std::string::npos) return std::string();
        size_t last = text.find_last_not_of(" \t");
        return text.substr(first, last - first + 1);
    };
    int displayLine = 0;
    int languageLine = 0;
    int number = 0;
    for (const std::string& whole : SplitLines(*text)) {
        ++number;
        std::string line = trim(whole);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        std::string where = std::string(SETTINGS_FILE) + " line " + std::to_string(number);
        size_t equals = line.find('=');
        // Once refused, only the language is still wanted: the refusal is said in it.
        if (notes.refusal && equals == std::string::npos) continue;
        if (equals == std::string::npos) {
            notes.skipped.push_back(SettingsNote{"settings.not-setting", {{"line", line}}, number});
            continue;
        }
        std::string name = trim(line.substr(0, equals));
        std::string value = trim(line.substr(equals + 1));
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (name == "language") {
            // Checked against the languages at hand once the run folder's files are known.
            if (languageLine > 0) {
                notes.skipped.push_back(SettingsNote{
                    "settings.given-twice", {{"name", name}, {"first", std::to_string(languageLine)}}, number});
                continue;
            }
            languageLine = number;
            if (!options.languageGivenBy.empty()) continue;
            options.language = value;
            options.languageGivenBy = where;
            continue;
        }
        if (notes.refusal) continue;
        if (name != "display") {
            notes.skipped.push_back(SettingsNote{"settings.unknown", {{"name", name}}, number});
            continue;
        }
        double wanted = 0;
        if (!ReadNumber(value, wanted) || wanted < 0 || wanted > 99 || wanted != static_cast<int>(wanted)) {
            // A display the command line gives makes the file's unused: a mistake in it is said, not fatal.
            if (options.display) {
                notes.skipped.push_back(SettingsNote{
                    "settings.display-skipped", {{"value", value}, {"given", options.displayGivenBy}}, number});
                continue;
            }
            notes.refusal = SettingsNote{"settings.display-refused", {{"value", value}}, number};
            options.mode = ProgramOptions::Mode::Exit;
            options.exitCode = USAGE_ERROR;
            continue;
        }
        // The file's first display= holds, as a reader of the file top down takes it; a later one is said.
        if (displayLine > 0) {
            notes.skipped.push_back(
                SettingsNote{"settings.given-twice", {{"name", name}, {"first", std::to_string(displayLine)}}, number});
            continue;
        }
        displayLine = number;
        // The command line wins over the file.
        if (options.display) continue;
        options.display = static_cast<int>(wanted);
        options.displayGivenBy = where;
        options.displayLine = number;
    }
    return notes;
}

}  // namespace pelorin
