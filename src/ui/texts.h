#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin {

// One text the program shows, by the key every language knows it by, with its built-in English.
// A {name} in a text stands for a value the program puts in when it shows it.
struct TextEntry {
    std::string_view key;
    std::string_view english;
};

// Every text a screen or a box of the program shows. The English is the experiment's own, word for
// word, its spellings included: "Conutinue?", "allready exsists", "Congralulations".
inline constexpr TextEntry TEXT_TABLE[] = {
    // Registration.
    {"greet.welcome", "Welcome  please enter subject information:"},
    {"greet.subject-id", "Subject ID"},
    {"greet.initials", "Subject Initials"},
    {"greet.order-condition", "Order Condition 1-{total}"},
    {"greet.start", "Start"},
    {"greet.numbers-only", "Please enter numbers only!"},
    {"greet.letters-only", "Please enter letters only!"},
    {"greet.order-only", "Please enter numbers 1 to {total} only!"},
    {"greet.insert-id", "Please insert subject id!"},
    {"greet.insert-initials", "Please insert subject initials!"},
    {"greet.insert-order", "Please insert Order Condition!"},
    {"greet.duplicate", "Sorry subject {id} allready exsists.\rLook in {path} to see current subjects."},
    {"greet.cannot-write", "Could not write {path}:\r{reason}"},
    {"greet.cannot-make-folder", "Could not make the folder {folder}:\r{reason}"},
    // The instruction screen; the credits are a lab's to fill in.
    {"instruction.welcome", " Welcome to Pelorin"},
    {"instruction.continue", "Continue"},
    {"instruction.cannot-open", "Cannot open {path}: {reason}"},
    {"instruction.created-by", "Created by"},
    {"instruction.author-one", "Author one"},
    {"instruction.author-two", "Author two"},
    {"instruction.institution", "Your lab or institution"},
    // The block sequencer: the announcements of the fixed order and the menu.
    {"sequencer.continue", "Conutinue?"},
    {"sequencer.quit", "Quit"},
    {"task.tone.announcement", "Let's start with a trial where you only have to respond to tone."},
    {"task.letter.announcement", "Now let's move on to a trial where you only have to respond to letters."},
    {"task.dual.announcement", "Now let's move on to a trial where you have to respond to both letters and tones."},
    {"task.tone.caption", "Tone task"},
    {"task.letter.caption", "Letter task"},
    {"task.dual.caption", "Tone + Letter"},
    // The task screens' praise, each spelt as its screen has it.
    {"task.tone.praise", "Congratulations"},
    {"task.letter.praise", "Congralulations"},
    {"task.dual.praise", "Congralulation"},
    // The quit question and the boxes' own words.
    {"quit.question", "Do you really want to quit?"},
    {"box.error", "ERROR"},
    {"box.ok", "OK"},
    {"box.yes", "Yes"},
    {"box.no", "No"},
    {"debug.caption", "My Debug Window"},
    {"pilot.mark", "PILOT"},
    // Before the registration screen takes a key.
    {"keyboard.title", "Keyboard layout"},
    {"keyboard.untypable",
     "The active keyboard layout{name} cannot type the answer keys {keys}.\rSwitch to a layout that types them "
     "(such as English) before the subject starts."},
    {"settings.title", "Settings"},
    {"settings.skipped",
     "Pelorin could not use every line of its settings file:\r{lines}Mend pelorin.ini beside instruction.txt, or "
     "carry on without those settings."},
    // What pelorin.ini held that could not be used: {where} is settings.where, {line} the line as written.
    {"settings.where", "{file} line {line}"},
    {"settings.cannot-read", "{file}: cannot read it ({reason}); its settings were not used"},
    {"settings.not-text",
     "{file}: not text Pelorin can read (it holds NUL bytes): save it as UTF-8 or Unicode; its settings were not used"},
    {"settings.not-setting", "{where}: \"{line}\" is no NAME=VALUE setting; skipped"},
    {"settings.given-twice", "{where}: {name} is given on line {first} already, and the first holds; skipped"},
    {"settings.unknown", "{where}: unknown setting \"{name}\"; skipped"},
    {"settings.display-skipped",
     "{where}: display takes a display's number (0 is the first), not \"{value}\"; skipped, {given} holds"},
    {"settings.display-refused", "{where}: display takes a display's number (0 is the first), not \"{value}\""},
    {"display.missing-one", "{given}: there is no display {number}: this PC has one display, 0 (pelorin --check lists them)"},
    {"display.missing-many",
     "{given}: there is no display {number}: this PC has {count} displays, 0 to {last} (pelorin --check lists them)"},
    // The timing check's own screen, while it measures; its written report stays English, a technical record.
    {"check.title", "Pelorin timing check"},
    {"check.title-on-display", "Pelorin timing check on display {number}"},
    {"check.display", "The display"},
    {"check.display-detail", "its size, scaling and refresh rate; every display shows its number"},
    {"check.waits", "The waits"},
    {"check.waits-detail", "Wait(25) and Wait(35), {count} of each"},
    {"check.block", "Next: a {seconds}-second block of the dual task"},
    {"check.block-detail", "its growth ticks, its presents and the CPU it takes"},
    {"check.sound", "The sound"},
    {"check.sound-detail", "{count} tones, a key typed during each"},
    {"check.loopback", "The sound by cable"},
    {"check.loopback-detail", "{count} tones played and recorded from {input}"},
    {"check.default-input", "the default input"},
    {"check.keys", "The keyboard path"},
    {"check.keys-detail", "{count} keys typed through {injector}"},
    {"check.disk", "The disk"},
    {"check.disk-detail", "results rows written and flushed in {folder}"},
    {"check.done", "Done: nothing out of bounds"},
    {"check.done-warning", "Done: 1 warning"},
    {"check.done-warnings", "Done: {count} warnings"},
    {"check.report-in", "the report is in {path}"},
    {"check.report-not-written", "the report could not be written"},
    // What stops a pilot before its window opens.
    {"pilot.folder-link",
     "{folder} is a link to another folder: a pilot writes only into a real folder of its own; remove the link"},
    {"pilot.folder-not-folder", "{folder} is no folder: a pilot writes only into a folder of its own; rename or remove it"},
    {"pilot.folder-cannot-make", "cannot make the folder {folder}: {reason}"},
    {"pilot.folder-reaches-records",
     "{folder} {reason}: a pilot writes only into a folder of its own, never into the lab's subject list and "
     "Res_Data"},
    // The results: a file that cannot be written, and rows a shared table could not take.
    {"results.cannot-write", "Could not write the results file {path}:\r{reason}"},
    {"results.cannot-create", "Could not create the results file {path}:\r{reason}"},
    {"results.cannot-make-folder", "Could not make the results folder {path}:\r{reason}"},
    {"results.runs-taken", "every run number up to {count} is taken"},
    {"results.column-descriptions",
     "Could not add Pelorin's column descriptions to {path}: {reason}.\rThe run goes on and is recorded; they are "
     "added at the next registration."},
    {"results.row-lost",
     "Could not add a row to {table}: {reason}, nor keep it to add later ({error}).\rThe run goes on and is "
     "recorded; add the row by hand once the file can be written: {cells}."},
    {"results.rows-run", "the run's row"},
    {"results.rows-runs", "the rows of {count} runs"},
    {"results.rows-subject", "{subject}'s row"},
    {"results.rows-subjects", "the rows of {subjects}"},
    {"results.list-and", " and "},
    {"results.table-mend", "{table} cannot take a row as it stands: {reason}.\rOnce it is mended, {rows} will be added."},
    {"results.table-in-use", "{table} is open in another program: close it; {rows} will be added."},
    {"results.table-read-only", "{table} may not be written ({reason}): make it writable; {rows} will be added."},
    {"results.table-failed", "{table} could not be written ({reason}); {rows} will be added once it can be."},
    {"results.row-waits",
     "\rThe run goes on and is recorded. Until then the row waits in {file}; Pelorin adds it at the end of a block "
     "or of the run, or at the next registration or start."},
    {"results.rows-wait",
     "\rThe run goes on and is recorded. Until then the rows wait in {file}; Pelorin adds them at the end of a "
     "block or of the run, or at the next registration or start."},
};

// The built-in English of the key; a key the table lacks is the program's own fault.
std::string_view EnglishText(std::string_view key);

// A value the program puts in place of its {name} in a text.
struct TextValue {
    std::string_view name;
    std::string value;
};

// The texts of the run's language: a translation's where it has one, English otherwise.
class Texts {
public:
    // The language's BCP 47 tag.
    std::string language = "en";

    // The key's text with its values put in.
    std::string Get(std::string_view key, std::initializer_list<TextValue> values = {}) const;
    std::string Get(std::string_view key, const std::vector<TextValue>& values) const;
    // Takes these translations, by key, over the ones taken before (a lab's file over a shipped one).
    // Keys the table does not know are left out and returned.
    std::vector<std::string> Take(const std::map<std::string, std::string>& translations);
    // The keys of the table the language has no text of its own for.
    std::vector<std::string> Missing() const;

private:
    std::string Fill(std::string_view key, const TextValue* values, size_t count) const;

    std::map<std::string, std::string, std::less<>> translated;
};

}  // namespace pelorin
