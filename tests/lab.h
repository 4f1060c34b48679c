#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "hosts/headless/headless_host.h"
#include "screens/bar_game.h"
#include "screens/blanke.h"
#include "screens/display.h"
#include "screens/experiment.h"
#include "screens/greet.h"
#include "screens/instruction.h"
#include "screens/letter_task.h"
#include "screens/my_debug.h"
#include "screens/tone_letter_task.h"
#include "screens/tone_task.h"
#include "simulation/perception.h"
#include "test_support.h"

namespace pelorin::test {

// A fresh experiment on the headless host, in a folder holding the three tones and the error sound.
struct Lab {
    explicit Lab(int toneMillis = 100, int widthPixels = 1024, int heightPixels = 768)
        : host(widthPixels, heightPixels, dir.path) {
        for (const char* tone : {"200", "500", "800"}) MakeWav(dir.path + "/wave/" + tone + ".wav", toneMillis);
        MakeWav(dir.path + "/wave/error.wav", 400);
    }

    // Runs the event loop until only a person could move the run on.
    void RunUntilIdle() {
        try {
            for (;;) experiment.runtime.WaitPass();
        } catch (const HeadlessIdle&) {
        }
    }

    // Types the registration's three boxes, Tab between them and Enter at the end, 10 ms apart.
    void Register(int64_t at, const std::string& id, const std::string& initials, const std::string& condition) {
        for (const std::string* box : {&id, &initials}) {
            at = host.ScheduleText(at, *box) + 10;
            host.Schedule(at, InputEvent::KeyDown(KEY_TAB));
            at += 10;
        }
        host.Schedule(host.ScheduleText(at, condition) + 10, InputEvent::KeyPress(KEY_RETURN));
    }

    // From the trace: "Continue" twice once the instructions are on top, 10 ms apart.
    void ContinueThroughInstructions(const TraceEntry& entry) {
        if (entry.what != "top Instruction") return;
        host.Schedule(entry.Millis() + 10, InputEvent::Click(experiment.Instruction().Command1));
        host.Schedule(entry.Millis() + 20, InputEvent::Click(experiment.Instruction().Command1));
    }

    // Loads the block sequencer and sets its visit count, so that the next hand-back to it starts the
    // block after that count (3: the menu, where a run comes to rest).
    void SetBlockNumber(int16_t blockNumber) {
        experiment.Display();
        experiment.templateVariables.blockNumber = blockNumber;
    }

    // (time, height) of each drawn change of a control, from trace entries "show|change X l t w h".
    std::vector<std::pair<int64_t, float>> Heights(const std::string& control) const {
        std::vector<std::pair<int64_t, float>> heights;
        for (const TraceEntry& entry : host.Trace()) {
            if (!entry.what.starts_with("show " + control + " ") && !entry.what.starts_with("change " + control + " ")) {
                continue;
            }
            float left, top, width, height;
            size_t start = entry.what.find(' ', entry.what.find(' ') + 1);
            if (std::sscanf(entry.what.c_str() + start, "%f %f %f %f", &left, &top, &width, &height) == 4) {
                heights.emplace_back(entry.Millis(), height);
            }
        }
        return heights;
    }

    // The height of a control first drawn at the time, or -1 if none was drawn then.
    float HeightAt(const std::string& control, int64_t millis) const {
        for (auto [at, height] : Heights(control)) {
            if (at == millis) return height;
        }
        return -1;
    }

    // Times of the entries that start with the prefix.
    std::vector<int64_t> Times(const std::string& prefix) const {
        std::vector<int64_t> times;
        for (const TraceEntry& entry : host.Find(prefix)) times.push_back(entry.Millis());
        return times;
    }

    TempDir dir;
    HeadlessHost host;
    Experiment experiment{host};
};

// A subject who answers every tone it hears and every letter it sees, read from the trace and typed as
// the program's simulated subjects do, but after a fixed delay and with the right key unless told to
// err every so often. A letter still on show lookAgain ms after its answer is taken for a new
// one: the same letter drawn twice in a row changes nothing on the screen.
class SimulatedSubject {
public:
    explicit SimulatedSubject(HeadlessHost& host) : host(host) {
        host.onTrace = [this](const TraceEntry& entry) { See(entry); };
    }

    void See(const TraceEntry& entry) {
        const std::string& what = entry.what;
        if (what.starts_with("top ")) letter = 0;
        if (!listening) return;
        if (int tone = ToneStarted(what); tone >= 0) Press(entry.Millis() + toneDelay, TONE_KEYS, tone);
        bool letterControl = what.find("Task.Label1") != std::string::npos;
        if (letterControl && what.starts_with("hide ")) letter = 0;
        if (letterControl && (what.starts_with("show ") || what.starts_with("change "))) {
            letter = LetterShown(what);
            if (letter != 0) AnswerLetter(entry.Millis());
        } else if (letter != 0 && entry.Millis() >= lastLetterKey + lookAgain) {
            AnswerLetter(entry.Millis());
        }
    }

    // A key the subject typed as an answer, and whether it meant the right one.
    struct Pressed {
        int64_t at;
        char key;
        bool right;
    };

    int toneDelay = 200;
    int letterDelay = 150;
    int lookAgain = 300;
    // Every answer wrong while set; when wrongEvery is not 0, every n-th answer is wrong.
    bool wrong = false;
    int wrongEvery = 0;
    bool listening = true;
    std::vector<Pressed> presses;

private:
    void AnswerLetter(int64_t seenAt) {
        lastLetterKey = seenAt + letterDelay;
        Press(lastLetterKey, LETTER_KEYS, letter - 'A');
    }
    void Press(int64_t at, const char* keys, int right) {
        bool err = wrong || (wrongEvery != 0 && (presses.size() + 1) % static_cast<size_t>(wrongEvery) == 0);
        char key = keys[err ? (right + 1) % 3 : right];
        presses.push_back(Pressed{at, key, !err});
        PressKey(host, at, key);
    }

    HeadlessHost& host;
    char letter = 0;
    int64_t lastLetterKey = 0;
};

}  // namespace pelorin::test
