#include "simulation/simulated_subject.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "screens/bar_game.h"
#include "screens/display.h"
#include "screens/experiment.h"
#include "screens/instruction.h"
#include "simulation/perception.h"
#include "tasks/task_table.h"

namespace pelorin {

namespace {

// How long after a key was handled the subject expects the program to have moved on: a taken answer
// brings the next tone or letter 25 ms later (its wait), a little more when handlers nest.
constexpr int64_t CHECK_MS = 120;
// The wait between a taken answer and the next stimulus.
constexpr int64_t NEXT_STIMULUS_MS = 25;
// Keys of no channel that a subject hits now and then.
constexpr const char* STRAY_KEYS = "qazpv ";

int64_t Round(double millis) { return static_cast<int64_t>(std::llround(millis)); }

const TaskFacts* TaskOfScreen(const std::string& name) {
    for (const TaskFacts& task : TASK_FACTS) {
        if (task.screen == name) return &task;
    }
    return nullptr;
}

}  // namespace

SimulatedSubject::SimulatedSubject(HeadlessHost& host, Experiment& experiment, const SimulationSettings& settings,
                                   uint64_t subjectSeed)
    : host(host), experiment(experiment), settings(settings) {
    // seed_seq and mt19937_64 are the same on every standard library, so a seed gives the same subject
    // everywhere; the draws below are made from its raw output for the same reason.
    std::seed_seq sequence{static_cast<uint32_t>(settings.seed), static_cast<uint32_t>(settings.seed >> 32),
                           static_cast<uint32_t>(subjectSeed), static_cast<uint32_t>(subjectSeed >> 32)};
    random.seed(sequence);
    host.onTrace = [this](const TraceEntry& entry) { See(entry); };
    // The experimenter takes the suggested ID with Ctrl+Tab and registers with Enter, after a moment
    // that differs from subject to subject (it also seeds the program's own draws of stimuli).
    int64_t at = 1000 + Round(Uniform() * 3000);
    host.Schedule(at, InputEvent::KeyDown(KEY_TAB, CTRL_MASK));
    host.Schedule(at + 1500 + Round(Uniform() * 1000), InputEvent::KeyPress(KEY_RETURN));
}

double SimulatedSubject::Uniform() { return static_cast<double>(random() >> 11) * 0x1.0p-53; }

double SimulatedSubject::DrawResponseTime(double meanMs, double sdMs) {
    // Box-Muller: a standard normal draw from two uniform ones.
    double u1 = 1.0 - Uniform();
    double u2 = Uniform();
    double normal = std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
    double sigma2 = std::log(1.0 + (sdMs * sdMs) / (meanMs * meanMs));
    double mu = std::log(meanMs) - sigma2 / 2;
    return std::exp(mu + std::sqrt(sigma2) * normal);
}

char SimulatedSubject::WrongKey(ChannelId channel, char rightKey) {
    const char* keys = channel == ChannelId::Tone ? TONE_KEYS : LETTER_KEYS;
    char others[2];
    int count = 0;
    for (int i = 0; i < 3; ++i) {
        if (keys[i] != rightKey) others[count++] = keys[i];
    }
    return others[Uniform() < 0.5 ? 0 : 1];
}

void SimulatedSubject::See(const TraceEntry& entry) {
    const std::string& what = entry.what;
    int64_t at = entry.Millis();
    if (what.starts_with("top ")) {
        std::string top = what.substr(4);
        BlockEnded();
        if (const TaskFacts* task = TaskOfScreen(top)) {
            block = top;
            // Both channels at once cost the subject time.
            dual = task->tones && task->letters;
        }
        if (top == "Instruction") {
            // The first Continue shows the text, which the subject reads; the second moves on.
            Button& next = experiment.Instruction().Command1;
            int64_t first = at + 2000 + Round(Uniform() * 2000);
            host.Schedule(first, InputEvent::Click(next));
            host.Schedule(first + 15000 + Round(Uniform() * 10000), InputEvent::Click(next));
        }
        return;
    }
    if (what.starts_with("show Display.Command1(3)") && !quitting) {
        quitting = true;
        host.Schedule(at + 1500 + Round(Uniform() * 1500), InputEvent::Click(experiment.Display().Command1.back()));
        return;
    }
    if (what.starts_with("sound end ")) {
        soundEnd = at;
        return;
    }
    if (what.starts_with("sound wave/")) {
        soundStart = at;
        soundEnd = -1;
        int tone = ToneStarted(what);
        if (tone >= 0 && !block.empty()) Perceive(ChannelId::Tone, TONE_KEYS[tone], at);
        return;
    }
    if (block.empty()) return;
    std::string prefix = block + ".";
    // The praise (time up) or the bars gone (overflow): the block is over.
    if (what.starts_with("show " + prefix + "Label2") || what.starts_with("hide " + prefix + "Shape1")) {
        BlockEnded();
        return;
    }
    if (what.starts_with("hide " + prefix + "Label1")) {
        letterShown = 0;
        return;
    }
    if (what.starts_with("show " + prefix + "Label1 ") || what.starts_with("change " + prefix + "Label1 ")) {
        letterShown = LetterShown(what);
        if (letterShown != 0) Perceive(ChannelId::Letter, LETTER_KEYS[letterShown - 'A'], at);
    }
}

void SimulatedSubject::BlockEnded() {
    block.clear();
    letterShown = 0;
    for (ChannelState& channel : channels) {
        // Plans made in the block are dropped.
        ++channel.stimulus;
        channel.missed = false;
        channel.pressedAt = -1;
    }
}

void SimulatedSubject::Perceive(ChannelId id, char rightKey, int64_t atMillis) {
    ChannelState& channel = channels[static_cast<int>(id)];
    ++channel.stimulus;
    channel.rightKey = rightKey;
    channel.pressedAt = -1;
    // A missed stimulus leaves the channel waiting until the block ends.
    if (channel.missed) return;
    if (Uniform() < MISS_RATE) {
        channel.missed = true;
        return;
    }
    PlanAnswer(id, atMillis);
}

void SimulatedSubject::PlanAnswer(ChannelId id, int64_t fromMillis) {
    ChannelState& channel = channels[static_cast<int>(id)];
    double rt = DrawResponseTime(settings.rtMeanMs + (dual ? settings.dualCostMs : 0), settings.rtSdMs);
    int64_t due = std::max(fromMillis + Round(rt), host.NowMillis());
    if (Uniform() < STRAY_KEY_RATE) {
        char stray = STRAY_KEYS[static_cast<size_t>(Uniform() * 6)];
        PressKey(host, fromMillis + Round(Uniform() * rt), stray);
    }
    uint64_t stimulus = channel.stimulus;
    host.ScheduleCall(due, [this, id, stimulus](int64_t at) { Press(id, stimulus, at); });
}

void SimulatedSubject::Press(ChannelId id, uint64_t stimulus, int64_t atMillis) {
    ChannelState& channel = channels[static_cast<int>(id)];
    if (channel.stimulus != stimulus || block.empty()) return;
    char key = Uniform() < settings.accuracy ? channel.rightKey : WrongKey(id, channel.rightKey);
    // At the moment the subject pressed it, even when the call comes after a sound that held the thread.
    PressKey(host, atMillis, key);
    channel.pressedAt = atMillis;
    host.ScheduleCall(std::max(atMillis, host.NowMillis()) + CHECK_MS, [this, id, stimulus, atMillis](int64_t at) {
        CheckTaken(id, stimulus, atMillis, at);
    });
}

int64_t SimulatedSubject::HandledAt(int64_t pressedAt) const {
    bool duringSound = soundStart >= 0 && soundStart <= pressedAt && (soundEnd < 0 || soundEnd > pressedAt);
    if (!duringSound) return pressedAt;
    return soundEnd >= 0 ? soundEnd : host.NowMillis();
}

void SimulatedSubject::CheckTaken(ChannelId id, uint64_t stimulus, int64_t pressedAt, int64_t atMillis) {
    ChannelState& channel = channels[static_cast<int>(id)];
    if (channel.stimulus != stimulus || block.empty() || channel.missed) return;
    int64_t handled = HandledAt(pressedAt);
    // A sound that played after the key kept the program from handling it until now: look again later.
    if (soundStart > pressedAt) handled = std::max(handled, soundEnd >= 0 ? soundEnd : host.NowMillis());
    if (atMillis < handled + CHECK_MS) {
        host.ScheduleCall(handled + CHECK_MS, [this, id, stimulus, pressedAt](int64_t at) {
            CheckTaken(id, stimulus, pressedAt, at);
        });
        return;
    }
    // Nothing moved on since the key.
    if (id == ChannelId::Letter) {
        // The letter on the screen is taken for a new one, shown when the answer was handled: the
        // same letter drawn again looks no different.
        if (letterShown == 0) return;
        Perceive(ChannelId::Letter, LETTER_KEYS[letterShown - 'A'], handled + NEXT_STIMULUS_MS);
        return;
    }
    // The tone's answer was not taken (typed while the tone played): pressed again.
    PlanAnswer(id, atMillis - Round(settings.rtMeanMs / 2));
}

}  // namespace pelorin
