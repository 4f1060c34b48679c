// Pelorin. Started without options: the experiment on the registration screen in the current folder,
// returning 0 when the run is ended by "Quit" or by Yes to the quit question. The options (--help)
// rehearse it as a marked pilot, run simulated subjects, check the PC's timing or make a demo run
// folder; none touches the subject list or Res_Data.
#include <algorithm>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "check/text_fit_check.h"
#include "check/timing_check.h"
#include "demo/demo_folder.h"
#include "hosts/sdl/displays.h"
#include "hosts/sdl/failure_box.h"
#include "hosts/sdl/sdl_host.h"
#include "options/program_options.h"
#include "records/rehearsal_folder.h"
#include "screens/bar_game.h"
#include "screens/experiment.h"
#include "simulation/simulation.h"
#include "system/console.h"
#include "system/files.h"
#include "system/warning.h"
#include "ui/runtime.h"
#include "ui/translations.h"

namespace {

// The pilot's run folder, inside the current one.
constexpr const char* PILOT_FOLDER = "Pilot_Data";

// Why the pilot's folder cannot keep its records apart from the lab's, or empty once it is ready: it
// must be a real folder (made when absent), neither a file nor a link to another one, and hold no
// link into the lab's subject list or Res_Data.
std::string PilotFolderProblem(const std::string& folder, const pelorin::Texts& texts) {
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::symlink_status(pelorin::PathFromUtf8(folder), error);
    // Asked of the system: a junction is a link too, which the library does not tell on every system.
    if (pelorin::IsLink(folder)) {
        return texts.Get("pilot.folder-link", {{"folder", folder}});
    }
    if (std::filesystem::exists(status) && !std::filesystem::is_directory(status)) {
        return texts.Get("pilot.folder-not-folder", {{"folder", folder}});
    }
    if (auto made = pelorin::MakeFolder(folder)) {
        return texts.Get("pilot.folder-cannot-make", {{"folder", folder}, {"reason", *made}});
    }
    if (std::string reason = pelorin::ReachesLabRecords(folder, pelorin::CurrentFolder()); !reason.empty()) {
        return texts.Get("pilot.folder-reaches-records", {{"folder", folder}, {"reason", reason}});
    }
    return {};
}

// Tells the experimenter, before the registration screen takes a key, when the active keyboard
// layout cannot type an answer key: the keys are the letters themselves, so a Cyrillic or Greek
// layout would leave every answer of that channel unanswered.
void WarnOfKeyboardLayout(pelorin::Host& host, pelorin::Runtime& runtime) {
    pelorin::KeyboardLayout layout = host.DescribeKeyboard(std::string(pelorin::TONE_KEYS) + pelorin::LETTER_KEYS);
    if (layout.untypable.empty()) return;
    std::string keys;
    for (char key : layout.untypable) keys += std::string(keys.empty() ? "" : ", ") + key;
    std::string name = layout.name.empty() ? "" : ", " + layout.name + ",";
    pelorin::Warn("the active keyboard layout" + name + " cannot type the answer keys " + keys +
                  ": switch to a layout that types them (such as English) before the subject starts");
    runtime.MsgBox(runtime.texts.Get("keyboard.untypable", {{"name", name}, {"keys", keys}}), pelorin::MB_EXCLAMATION,
                   runtime.texts.Get("keyboard.title"));
}

// Shows, before the registration screen takes a key, what pelorin.ini held that the program could not
// use: a double-click has no console, and a setting skipped (a display not chosen) must not pass
// unseen.
void ShowSettingsNotes(const std::vector<pelorin::SettingsNote>& skipped, pelorin::Runtime& runtime) {
    if (skipped.empty()) return;
    runtime.MsgBox(pelorin::SettingsBoxText(skipped, runtime.texts), pelorin::MB_EXCLAMATION,
                   runtime.texts.Get("settings.title"));
}

// Refuses a display the system does not list, before anything is opened or written. Given on the
// command line, the refusal goes where the command line's go, in English as they are; from the
// settings file, which a double-click reads, also where a double-click sees it, in the run's language.
bool DisplayListed(const pelorin::ProgramOptions& options, const pelorin::Texts& texts) {
    if (!options.display) return true;
    std::vector<pelorin::DisplayInfo> displays;
    try {
        displays = pelorin::sdl::ListDisplays();
    } catch (const std::exception&) {
        // No display at all: the window's start says so.
        return true;
    }
    int count = static_cast<int>(displays.size());
    if (*options.display < count) return true;
    bool fromFile = options.displayLine > 0;
    const pelorin::Texts english;
    const pelorin::Texts& words = fromFile ? texts : english;
    std::string given = fromFile ? words.Get("settings.where", {{"file", pelorin::SETTINGS_FILE},
                                                                {"line", std::to_string(options.displayLine)}})
                                 : options.displayGivenBy;
    std::string number = std::to_string(*options.display);
    std::string reason =
        count == 1 ? words.Get("display.missing-one", {{"given", given}, {"number", number}})
                   : words.Get("display.missing-many", {{"given", given},
                                                        {"number", number},
                                                        {"count", std::to_string(count)},
                                                        {"last", std::to_string(count - 1)}});
    if (fromFile) {
        pelorin::ReportFailure(reason);
    } else {
        std::cerr << "pelorin: " << reason << '\n';
    }
    return false;
}

// The texts of the language chosen, or English where it is not at hand (its refusal comes later):
// for a refusal of pelorin.ini, said before the language is checked.
pelorin::Texts TextsIfAtHand(const pelorin::ProgramOptions& options, const std::string& folder,
                             const std::vector<std::string>& languages) {
    std::string tag = options.language.empty() ? "en" : pelorin::LanguageTag(options.language);
    if (std::find(languages.begin(), languages.end(), tag) == languages.end()) return {};
    return pelorin::LoadLanguage(tag, folder).texts;
}

// The texts of the language the command line or pelorin.ini chose, English by default; a lab's file
// that cannot be read, or keys a language lacks, are said on one line each and never stop a run. A
// language not at hand refuses the run, where the choice was made, before anything is written.
std::optional<pelorin::Texts> ChosenTexts(const pelorin::ProgramOptions& options, const std::string& folder,
                                          const std::vector<std::string>& languages) {
    std::string tag = options.language.empty() ? "en" : pelorin::LanguageTag(options.language);
    if (std::find(languages.begin(), languages.end(), tag) == languages.end()) {
        std::string reason = options.languageGivenBy + ": no language \"" + options.language +
                             "\" at hand; the languages at hand are " + pelorin::LanguageList(languages) +
                             " (a lab adds one as pelorin-LANG.po beside instruction.txt)";
        if (options.languageGivenBy.starts_with("--")) {
            std::cerr << "pelorin: " << reason << '\n';
        } else {
            pelorin::ReportFailure(reason);
        }
        return std::nullopt;
    }
    pelorin::LanguageTexts loaded = pelorin::LoadLanguage(tag, folder);
    for (const std::string& note : loaded.notes) pelorin::Warn(note);
    if (std::vector<std::string> missing = loaded.texts.Missing(); tag != "en" && !missing.empty()) {
        pelorin::Warn("language " + tag + " has no text for " + pelorin::LanguageList(missing) +
                      "; they are shown in English");
    }
    return loaded.texts;
}

// What the timing check says of the languages: each at hand, and what a lab's file lacks or could not give.
void ListLanguages(const std::string& folder, const std::vector<std::string>& languages, std::ostream& out) {
    out << "\nLanguages at hand: " << pelorin::LanguageList(languages) << '\n';
    for (const std::string& language : languages) {
        if (language == "en") continue;
        pelorin::LanguageTexts loaded = pelorin::LoadLanguage(language, folder);
        std::vector<std::string> missing = loaded.texts.Missing();
        out << "  " << language << ": "
            << (missing.empty() ? "every text" : "no text for " + pelorin::LanguageList(missing) + " (shown in English)")
            << '\n';
        for (const std::string& note : loaded.notes) out << "  " << language << ": " << note << '\n';
        // A lab's own text may be longer than its control can show, even shrunk or wrapped.
        for (const pelorin::check::DisplayShape& display : pelorin::check::DISPLAY_SHAPES) {
            for (const std::string& control : pelorin::check::TextsThatDoNotFit(loaded.texts, display)) {
                out << "  WARNING " << language << ": does not fit on " << display.name << ": " << control << '\n';
            }
        }
    }
}

int RunExperiment(bool pilot, int display, const std::vector<pelorin::SettingsNote>& settingsSkipped,
                  const pelorin::Texts& texts) {
    try {
        std::string pilotFolder;
        if (pilot) {
            // Made before the window opens: a pilot that could not keep its records apart does not start.
            pilotFolder = pelorin::JoinPath(pelorin::CurrentFolder(), PILOT_FOLDER);
            if (std::string reason = PilotFolderProblem(pilotFolder, texts); !reason.empty()) {
                pelorin::ReportFailure(reason);
                return 1;
            }
        }
        pelorin::sdl::SdlHost host(display);
        host.UseTexts(texts);
        if (pilot) host.SetMark(texts.Get("pilot.mark"));
        pelorin::Experiment experiment(host);
        // Before any screen is made: each takes its texts when it is.
        experiment.runtime.texts = texts;
        if (pilot) {
            experiment.dataset.kind = pelorin::DatasetKind::Pilot;
            experiment.recordsFolder = pilotFolder;
        }
        ShowSettingsNotes(settingsSkipped, experiment.runtime);
        WarnOfKeyboardLayout(host, experiment.runtime);
        experiment.Run();
    } catch (const pelorin::ProgramEnded&) {
        return 0;
    } catch (const std::exception& error) {
        pelorin::ReportFailure(error.what());
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    using Mode = pelorin::ProgramOptions::Mode;
    // What stops the program before its window opens is shown where a desktop launch shows it, too.
    pelorin::ShowFailuresIn(pelorin::sdl::ShowFailureBox);
    std::vector<std::string> arguments = pelorin::ProgramArguments(argc, argv);
    if (!arguments.empty()) pelorin::UseStartingConsole();
    std::string folder = pelorin::CurrentFolder();
    std::vector<std::string> languages = pelorin::LanguagesAtHand(folder);
    pelorin::ProgramOptions options =
        pelorin::ParseProgramOptions(arguments, std::cout, std::cerr, pelorin::LanguageList(languages));
    pelorin::SettingsNotes settings;
    bool windowed = options.mode == Mode::Experiment || options.mode == Mode::Pilot || options.mode == Mode::Check;
    if (windowed) {
        // Read whatever the command line gives: each setting it gives wins over the file's, and the
        // file's others (its language with --display) still hold.
        settings = pelorin::ApplySettingsFile(folder, options);
        // The console's lines stay English, as everything the program writes there does.
        for (const pelorin::SettingsNote& skipped : settings.skipped) {
            pelorin::Warn(pelorin::SettingsNoteText(skipped, pelorin::Texts{}));
        }
        if (settings.refusal) {
            pelorin::ReportFailure(
                pelorin::SettingsNoteText(*settings.refusal, TextsIfAtHand(options, folder, languages)));
            return options.exitCode;
        }
    }
    int display = options.display.value_or(0);
    pelorin::Texts texts;
    if (windowed || options.mode == Mode::Simulate) {
        std::optional<pelorin::Texts> chosen = ChosenTexts(options, folder, languages);
        if (!chosen) return pelorin::USAGE_ERROR;
        texts = *chosen;
        options.simulation.texts = texts;
    }
    if (windowed && !DisplayListed(options, texts)) return pelorin::USAGE_ERROR;
    std::ostringstream languagesNote;
    if (options.mode == Mode::Check) ListLanguages(folder, languages, languagesNote);
    switch (options.mode) {
    case Mode::Exit:
        return options.exitCode;
    case Mode::Simulate:
        try {
            return pelorin::RunSimulation(options.simulation, pelorin::CurrentFolder(), std::cout, std::cerr);
        } catch (const std::exception& error) {
            std::cerr << "pelorin: " << error.what() << '\n';
            return 1;
        }
    case Mode::Pilot:
        return RunExperiment(true, display, settings.skipped, texts);
    case Mode::Check:
        return pelorin::check::RunTimingCheck(
            {.folder = {}, .display = display, .loopback = options.loopback, .loopbackInput = options.loopbackInput,
             .languages = languagesNote.str(), .texts = texts});
    case Mode::DemoFolder:
        return pelorin::WriteDemoFolder(options.demoFolder, std::cout, std::cerr) ? 0 : 1;
    case Mode::Experiment:
        break;
    }
    return RunExperiment(false, display, settings.skipped, texts);
}
