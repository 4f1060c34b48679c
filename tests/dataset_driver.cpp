// Writes a results dataset the way whole runs on the test host write it, for the checks that read it
// as the BIDS validator and as pandas do (tests/bids/check_dataset.sh). In FOLDER, whose Res_Data
// already holds an events file of an earlier version at its top:
//   - subject 1 and subject 2, each through the three blocks and the menu's Quit, answering every
//     stimulus, one answer in five wrong, typing keys that answer nothing (tab, space, both quotes, a
//     backslash, letters beyond ASCII) and answering a quit question No in the letter block;
//   - subject 2 again after the list was edited, its second run, ended by Yes in the tone block;
//   - subjects 3, 4 and 5, each ended by Yes in the tone block.
// Subject 1 runs in English, subject 2 in Greek and then German, 3 to 5 in French, Spanish and Dutch.
//   dataset_driver FOLDER
// With --columns it prints the events columns of the vocabulary instead, "name<TAB>numeric|text" a line,
// for the checks that read the files.
//   dataset_driver --columns
#include <cstdio>
#include <fstream>
#include <string>

#include "lab.h"
#include "records/event_columns.h"
#include "ui/translations.h"

namespace {

using namespace pelorin;

// Keys that answer nothing, typed in the tone block.
void TypeStrayKeys(HeadlessHost& host, int64_t at) {
    host.Schedule(at, InputEvent::KeyDown(KEY_TAB));
    int16_t keys[] = {' ', '"', '\'', '\\', 'q', 0xE9, 0xDF, 0xA7, '#', ','};
    for (int16_t key : keys) host.Schedule(at += 7, InputEvent::KeyPress(key));
}

// One run in a language: registration with the ID and order condition, the instructions, the blocks,
// the end.
void Run(const std::string& folder, const std::string& id, const std::string& order, bool quitInToneBlock,
         const std::string& language = "en") {
    HeadlessHost host(1024, 768, folder);
    Experiment experiment(host);
    experiment.runtime.texts = LoadLanguage(language, folder).texts;
    std::string menuShown = "show Display.Label1 \"" + experiment.runtime.texts.Get("sequencer.continue") + "\"";
    test::SimulatedSubject subject(host);
    subject.wrongEvery = 5;
    bool toneBlockSeen = false;
    bool letterBlockSeen = false;
    host.onTrace = [&](const TraceEntry& entry) {
        subject.See(entry);
        int64_t at = entry.Millis();
        if (entry.what == "top Instruction") {
            host.Schedule(at + 500, InputEvent::Click(experiment.Instruction().Command1));
            host.Schedule(at + 1500, InputEvent::Click(experiment.Instruction().Command1));
        } else if (entry.what == "top ToneTask" && !toneBlockSeen) {
            toneBlockSeen = true;
            TypeStrayKeys(host, at + 1000);
            if (quitInToneBlock) {
                host.Schedule(at + 20000, InputEvent::KeyPress(KEY_ESCAPE));
                host.AnswerMessageBox(ID_YES, 800);
            }
        } else if (entry.what == "top LetterTask" && !letterBlockSeen) {
            letterBlockSeen = true;
            host.Schedule(at + 20000, InputEvent::KeyPress(KEY_ESCAPE));
            host.AnswerMessageBox(ID_NO, 1500);
        } else if (entry.what == menuShown) {
            subject.listening = false;
            host.Schedule(at + 500, InputEvent::Click(experiment.Display().Command1.back()));
        }
    };
    int64_t at = host.ScheduleText(10, id) + 10;
    host.Schedule(at, InputEvent::KeyDown(KEY_TAB));
    at = host.ScheduleText(at + 10, "kvt") + 10;
    host.Schedule(at, InputEvent::KeyDown(KEY_TAB));
    host.Schedule(host.ScheduleText(at + 10, order) + 10, InputEvent::KeyPress(KEY_RETURN));
    try {
        experiment.Run();
    } catch (const ProgramEnded&) {
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dataset_driver FOLDER | --columns\n");
        return 2;
    }
    if (std::string(argv[1]) == "--columns") {
        for (const Column& column : EVENT_COLUMNS) {
            std::printf("%.*s\t%s\n", static_cast<int>(column.name.size()), column.name.data(),
                        column.numeric ? "numeric" : "text");
        }
        return 0;
    }
    std::string folder = argv[1];
    for (const char* tone : {"200", "500", "800", "error"}) test::MakeWav(folder + "/wave/" + tone + ".wav", 100);
    std::ofstream(folder + "/instruction.txt") << "Answer the tones and the letters.";
    std::filesystem::create_directories(folder + "/Res_Data");
    std::ofstream(folder + "/Res_Data/sub-9_task-dualtask_events.tsv")
        << "onset\tduration\ttrial_type\tblock\ttask\tstimulus\tkey\tchannel\tcorrect\tresponse_time\ttone_bar\t"
           "letter_bar\tvalue\n9.238847\tn/a\tblock_start\t1\ttone\tn/a\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\n";
    std::ofstream(folder + "/Res_Data/sub-9_task-dualtask_events.json") << "{\"SubjectInitials\": \"abc\"}\n";

    Run(folder, "1", "2", false);
    Run(folder, "2", "1", false, "el");
    // The list edited: subject 2's record taken out, so that 2 registers again.
    std::ofstream(folder + "/CurrentSubjects.txt", std::ios::binary | std::ios::trunc) << " 1 kvt 2 \r\n";
    Run(folder, "2", "1", true, "de");
    // The other shipped languages, a short run each: the data's words stay English in every one.
    Run(folder, "3", "1", true, "fr");
    Run(folder, "4", "2", true, "es");
    Run(folder, "5", "1", true, "nl");
    std::printf("dataset in %s/Res_Data\n", folder.c_str());
    return 0;
}
