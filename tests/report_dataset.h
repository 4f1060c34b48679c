#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "lab.h"
#include "system/files.h"

namespace pelorin::test {

// What each subject of the report's dataset is forced to do, through whole runs on the test host.
struct ForcedSubject {
    std::string id;
    std::string orderCondition;
    // Every answer of the tone block wrong: a share correct below chance.
    bool toneBlockWrong = false;
    // In the letter block the subject stops answering this many ms after its start (0: never).
    int64_t letterStopsAfter = 0;
    // In the letter block Esc this many ms after its start, answered No after 12 s: longer than a
    // channel may go unanswered, but the question held the block (0: none).
    int64_t carryOnInLetterAfter = 0;
    // In the dual block Esc this many ms after its start, answered Yes (0: the run ends by Quit on the menu).
    int64_t quitInDualAfter = 0;
    // Whether the run had sound. The test host never has a sound device: a run with sound is told so
    // in its sidecar afterwards.
    bool sound = true;
};

// Runs the subject through registration, the instructions and the three blocks in the lab's folder.
inline void RunForcedSubject(const std::string& folder, const ForcedSubject& forced) {
    HeadlessHost host(1024, 768, folder);
    Experiment experiment{host};
    SimulatedSubject subject(host);
    subject.wrongEvery = 7;
    int64_t letterStart = -1;
    host.onTrace = [&](const TraceEntry& entry) {
        const std::string& what = entry.what;
        int64_t now = entry.Millis();
        if (letterStart >= 0 && forced.letterStopsAfter > 0 && now >= letterStart + forced.letterStopsAfter) {
            subject.listening = false;
        }
        subject.See(entry);
        if (what == "top Instruction") {
            host.Schedule(now + 10, InputEvent::Click(experiment.Instruction().Command1));
            host.Schedule(now + 20, InputEvent::Click(experiment.Instruction().Command1));
        } else if (what == "top ToneTask") {
            subject.wrong = forced.toneBlockWrong;
        } else if (what == "top LetterTask") {
            subject.wrong = false;
            letterStart = now;
            if (forced.carryOnInLetterAfter > 0) {
                host.Schedule(now + forced.carryOnInLetterAfter, InputEvent::KeyPress(KEY_ESCAPE));
                host.AnswerMessageBox(ID_NO, 12000);
            }
        } else if (what == "top Tone_LetterTask") {
            letterStart = -1;
            subject.listening = true;
            if (forced.quitInDualAfter > 0) {
                host.Schedule(now + forced.quitInDualAfter, InputEvent::KeyPress(KEY_ESCAPE));
                host.AnswerMessageBox(ID_YES);
            }
        } else if (what == "show Display.Label1 \"Conutinue?\"") {
            subject.listening = false;
            host.Schedule(now + 500, InputEvent::Click(experiment.Display().Command1.back()));
        }
    };
    int64_t at = host.ScheduleText(10, forced.id) + 10;
    host.Schedule(at, InputEvent::KeyDown(KEY_TAB));
    at = host.ScheduleText(at + 10, "ab") + 10;
    host.Schedule(at, InputEvent::KeyDown(KEY_TAB));
    at += 10;
    host.Schedule(host.ScheduleText(at, forced.orderCondition) + 10, InputEvent::KeyPress(KEY_RETURN));
    try {
        experiment.Run();
    } catch (const ProgramEnded&) {
    }
}

// Writes the sidecar's sound: the test host has no sound device, so its runs say they are silent.
inline void SetSound(const std::string& results, const ForcedSubject& forced) {
    std::string id = "sub-" + forced.id;
    std::string path = results + "/" + id + "/beh/" + id + "_task-dualtask_events.json";
    std::string text = *ReadWholeFile(path);
    std::string silent = "\"Silent\": true";
    size_t at = text.find(silent);
    if (at != std::string::npos && forced.sound) text.replace(at, silent.size(), "\"Silent\": false");
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The dataset of the report's tests in the folder (which gets the wave files): subject 1 does the task
// through the three blocks with sound, answering No to a quit question in the letter block; subject 2, in a silent run, answers every tone wrong, stops
// answering letters 20 s into the letter block, and quits 15 s into the dual block.
inline std::vector<ForcedSubject> MakeReportDataset(const std::string& folder) {
    for (const char* tone : {"200", "500", "800"}) MakeWav(folder + "/wave/" + tone + ".wav", 100);
    MakeWav(folder + "/wave/error.wav", 400);
    std::vector<ForcedSubject> subjects{
        {.id = "1", .orderCondition = "1", .carryOnInLetterAfter = 30000},
        {.id = "2", .orderCondition = "2", .toneBlockWrong = true, .letterStopsAfter = 20000, .quitInDualAfter = 15000,
         .sound = false},
    };
    std::string results = folder + "/Res_Data";
    for (const ForcedSubject& forced : subjects) {
        RunForcedSubject(folder, forced);
        SetSound(results, forced);
    }
    return subjects;
}

}  // namespace pelorin::test
