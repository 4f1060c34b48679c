#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "hosts/headless/headless_host.h"
#include "simulation/simulation_settings.h"

namespace pelorin {

class Experiment;

// One simulated person at the keyboard of a run on the test host: the experimenter who registers the
// subject with Ctrl+Tab and Enter, then the subject, who reads the instructions, answers what it hears
// and sees, and ends on the menu with Quit. It knows only what the host's trace shows a person, and
// acts through the host's input, each key at the virtual time it is pressed.
//
// Every stimulus is answered after a response time drawn from a lognormal distribution with the
// settings' mean and standard deviation (plus the dual-task cost in the block with both tasks), with
// the right key with the settings' accuracy, otherwise one of its channel's two other keys. Now and
// then a stimulus is missed altogether (its channel then waits, as the program does, until the block
// ends) or a stray key of no channel is typed before the answer. A key the program did not take (one
// typed while a tone still played) is pressed again; a letter drawn twice in a row, which changes
// nothing on the screen, is answered again once the subject sees that nothing moved on.
class SimulatedSubject {
public:
    SimulatedSubject(HeadlessHost& host, Experiment& experiment, const SimulationSettings& settings,
                     uint64_t subjectSeed);
    SimulatedSubject(const SimulatedSubject&) = delete;
    SimulatedSubject& operator=(const SimulatedSubject&) = delete;

    // Chances per stimulus.
    static constexpr double MISS_RATE = 0.005;
    static constexpr double STRAY_KEY_RATE = 0.03;

    // A lognormal response time in milliseconds with this mean and standard deviation.
    double DrawResponseTime(double meanMs, double sdMs);

private:
    enum class ChannelId { Tone = 0, Letter = 1 };
    struct ChannelState {
        // Counts the stimuli perceived on the channel: a plan made for an older one is dropped.
        uint64_t stimulus = 0;
        bool missed = false;
        // The last key pressed for the current stimulus, or -1.
        int64_t pressedAt = -1;
        char rightKey = 0;
    };

    void See(const TraceEntry& entry);
    void BlockEnded();
    void Perceive(ChannelId channel, char rightKey, int64_t atMillis);
    void PlanAnswer(ChannelId channel, int64_t fromMillis);
    void Press(ChannelId channel, uint64_t stimulus, int64_t atMillis);
    void CheckTaken(ChannelId channel, uint64_t stimulus, int64_t pressedAt, int64_t atMillis);
    // When a key pressed then was handled: after the sound that played at that moment, if one did.
    int64_t HandledAt(int64_t pressedAt) const;
    char WrongKey(ChannelId channel, char rightKey);
    double Uniform();

    HeadlessHost& host;
    Experiment& experiment;
    SimulationSettings settings;
    std::mt19937_64 random;

    ChannelState channels[2];
    // The task screen whose block runs, empty between blocks.
    std::string block;
    bool dual = false;
    char letterShown = 0;
    // The last sound heard: its start and end, -1 while it plays.
    int64_t soundStart = -1;
    int64_t soundEnd = -1;
    bool quitting = false;
};

}  // namespace pelorin
