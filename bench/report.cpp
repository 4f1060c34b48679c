#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "measure/stats.h"
#include "system.h"

namespace pelorin::bench {

using namespace pelorin::measure;

namespace {

double First(const Figures& figures, const std::string& name) {
    auto found = figures.find(name);
    return found != figures.end() && !found->second.empty() ? found->second.front() : NAN;
}

std::vector<double> Series(const Figures& figures, const std::string& name) {
    auto found = figures.find(name);
    return found != figures.end() ? found->second : std::vector<double>{};
}

void Row(const std::string& figure, const std::string& target, const std::string& pelorin, const std::string& baseline,
         const std::string& verdict) {
    std::printf("%-44s %-18s %-60s %-60s %s\n", figure.c_str(), target.c_str(), pelorin.c_str(), baseline.c_str(),
                verdict.c_str());
}

// A figure this system cannot be watched from outside for.
void NotMeasuredRow(const std::string& figure, const std::string& target) {
    Row(figure, target, NotMeasuredHere(), "-", "");
}

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

const char* Env(const char* name, const char* otherwise) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : otherwise;
}

void PrintLoopRows(const Measured& m) {
    Stats tickP = Summarise(Series(m.blockPelorin, "tick"));
    Stats tickT = Summarise(Series(m.blockBaseline, "tick"));
    int blockSeconds = m.settings.BlockMillis() / 1000;
    Row("growth-tick lateness, " + std::to_string(blockSeconds) + " s block", "p99<=0.5 mean<=0.2",
        Distribution(tickP, true), Distribution(tickT, true),
        Verdict(tickP.n > 0 && tickP.p99 <= 0.5 && tickP.mean <= 0.2));
    auto fired = [](const Figures& f) {
        return Fixed(First(f, "ticks.fired"), 0) + " of " + Fixed(First(f, "ticks.due"), 0) + " due";
    };
    Row("growth ticks fired", "all, none extra", fired(m.blockPelorin), fired(m.blockBaseline),
        Verdict(First(m.blockPelorin, "ticks.fired") == First(m.blockPelorin, "ticks.due")));
    // Frames shown later than the refresh they were aimed at, where the display stamps its refreshes.
    auto late = [](const Figures& f) {
        if (First(f, "frames.stamped") != 1) return std::string("not stamped (presented at the call)");
        return Fixed(First(f, "frames.missed"), 0) + " of " + Fixed(First(f, "frames.shown"), 0) + " (refresh " +
               Fixed(First(f, "refresh")) + " ms)";
    };
    const double shownP = First(m.blockPelorin, "frames.shown");
    Row("frames shown a refresh late, idle block", "<=1 %", late(m.blockPelorin), late(m.blockBaseline),
        Verdict(First(m.blockPelorin, "frames.stamped") == 1 && First(m.blockPelorin, "frames.missed") <= shownP / 100));
    Row("growth frame: present call -> its onset", "-", Distribution(Summarise(Series(m.blockPelorin, "onset")), true),
        Distribution(Summarise(Series(m.blockBaseline, "onset")), true), "");
    double drawP = First(m.blockPelorin, "draw");
    Row("drawing (wall), ms per growth tick", "<=0.3", Fixed(drawP), Fixed(First(m.blockBaseline, "draw")),
        Verdict(drawP <= 0.3));
    for (int millis : {25, 35, 500, 2000}) {
        std::string name = "wait" + std::to_string(millis);
        Stats waitP = Summarise(Series(m.miscPelorin, name));
        Stats waitT = Summarise(Series(m.miscBaseline, name));
        Row("Wait " + std::to_string(millis) + " ms overshoot", "p99<=0.5", Distribution(waitP, false),
            Distribution(waitT, false), Verdict(waitP.n > 0 && waitP.p99 <= 0.5));
    }
    double errorP = First(m.blockPelorin, "block.error");
    Row("block timer error at " + Fixed(First(m.blockPelorin, "block.millis"), 0) + " ms", "|error|<=1",
        Fixed(errorP), Fixed(First(m.blockBaseline, "block.error")), Verdict(std::abs(errorP) <= 1));
    for (auto [name, label] : {std::pair{"key.x", "key -> handler, X server (XTest)"},
                               std::pair{"key.push", "key -> handler, SDL_PushEvent"}}) {
        if (std::string(name) == "key.x" && !NotMeasuredHere().empty()) {
            NotMeasuredRow(label, "p99<=1");
            continue;
        }
        Stats keyP = Summarise(Series(m.miscPelorin, name));
        Stats keyT = Summarise(Series(m.miscBaseline, name));
        std::string lost = std::string(name) + ".lost";
        Row(label, "p99<=1", Distribution(keyP, true) + " lost " + Fixed(First(m.miscPelorin, lost), 0),
            Distribution(keyT, true) + " lost " + Fixed(First(m.miscBaseline, lost), 0),
            Verdict(keyP.n > 0 && keyP.p99 <= 1 && First(m.miscPelorin, lost) == 0));
    }
    double cpuP = First(m.blockPelorin, "cpu.process");
    auto cpu = [](const Figures& f) {
        double process = First(f, "cpu.process");
        double thread = First(f, "cpu.thread");
        return Fixed(process, 2) + " (main " + Fixed(thread, 2) + ", other threads " + Fixed(process - thread, 2) + ")";
    };
    Row("CPU over the idle block, % of a core", "<=1", cpu(m.blockPelorin), cpu(m.blockBaseline), Verdict(cpuP <= 1));
    // The stack's floor, measured in the same run: what the window, the sound device and 28.6
    // presents a second cost a program that does nothing else.
    double floor = First(m.floor, "cpu.floor");
    if (std::isnan(floor)) {
        Row("idle block CPU / floor (bare SDL, 28.6 fps)", "<=1.5 x floor", "floor not measured", "-", "");
        return;
    }
    auto ratio = [floor](const Figures& f) {
        double process = First(f, "cpu.process");
        return Fixed(process / floor, 2) + " x (" + Fixed(process, 2) + " % against " + Fixed(floor, 2) + " %)";
    };
    Row("idle block CPU / floor (bare SDL, 28.6 fps)", "<=1.5 x floor", ratio(m.blockPelorin), ratio(m.blockBaseline),
        Verdict(cpuP <= 1.5 * floor));
}

void ToneInFileRow(const std::string& label, const Figures& pelorin, const Figures& baseline, bool recorded) {
    Jitter fileP = JitterOf(Series(pelorin, "tone.vs.file"));
    Jitter fileT = JitterOf(Series(baseline, "tone.vs.file"));
    auto exact = [](const Figures& f) {
        std::vector<double> flags = Series(f, "tone.exact");
        double count = 0;
        for (double flag : flags) count += flag;
        return " exact " + Fixed(count, 0) + " of " + std::to_string(flags.size());
    };
    Row(label, "max dev<=0.5 n>=50", recorded ? JitterText(fileP) + exact(pelorin) : "-",
        recorded ? JitterText(fileT) + exact(baseline) : "-",
        recorded ? Verdict(fileP.n >= 50 && fileP.maxDeviation <= 0.5) : "");
}

// Keys typed while a tone holds the program's thread: each one's onset in the results file against the
// time it was sent through the X server.
void PrintKeyDuringToneRow(const Measured& m) {
    const std::string label = "key typed during a tone: results onset - XTest send";
    if (!NotMeasuredHere().empty()) return NotMeasuredRow(label, "p99<=1");
    Stats keyP = Summarise(Series(m.miscPelorin, "key.tone"));
    Stats keyT = Summarise(Series(m.miscBaseline, "key.tone"));
    auto lost = [](const Figures& f) { return " lost " + Fixed(First(f, "key.tone.lost"), 0); };
    Row(label, "p99<=1", Distribution(keyP, false) + lost(m.miscPelorin), Distribution(keyT, false) + lost(m.miscBaseline),
        Verdict(keyP.n >= 100 && keyP.p99 <= 1 && First(m.miscPelorin, "key.tone.lost") == 0));
}

void PrintOnsetRows(const Measured& m) {
    if (!NotMeasuredHere().empty()) {
        NotMeasuredRow("letter onset: X damage - reported present", "p99 |.|<=1");
        NotMeasuredRow("tone: reported onset - call (fixed latency)", "<=25");
        NotMeasuredRow("tone: recorded onset - call (jitter = sd)", "sd<=0.1");
        NotMeasuredRow("tone: recorded onset - reported onset", "-");
        NotMeasuredRow("tone in a real block: recorded - results file", "max dev<=0.5 n>=50");
        NotMeasuredRow("PlaySound return - (reported onset+length)", "-");
        return;
    }
    Stats letterP = Summarise(Series(m.miscPelorin, "letter.onset"));
    Stats letterT = Summarise(Series(m.miscBaseline, "letter.onset"));
    auto missed = [](const Figures& f) { return " missed " + Fixed(First(f, "letter.missed"), 0); };
    std::vector<double> absolute = Series(m.miscPelorin, "letter.onset");
    for (double& value : absolute) value = std::abs(value);
    Stats letterAbs = Summarise(absolute);
    auto absoluteP99 = [](const Figures& f) {
        std::vector<double> values = Series(f, "letter.onset");
        for (double& value : values) value = std::abs(value);
        return " |.| p99 " + Fixed(Summarise(values).p99);
    };
    Row("letter onset: X damage - reported present", "p99 |.|<=1",
        Distribution(letterP, true) + absoluteP99(m.miscPelorin) + missed(m.miscPelorin),
        Distribution(letterT, true) + absoluteP99(m.miscBaseline) + missed(m.miscBaseline),
        Verdict(letterAbs.n > 0 && letterAbs.p99 <= 1 && First(m.miscPelorin, "letter.missed") == 0));
    Jitter reportedP = JitterOf(Series(m.miscPelorin, "tone.reported"));
    Jitter reportedT = JitterOf(Series(m.miscBaseline, "tone.reported"));
    Row("tone: reported onset - call (fixed latency)", "<=25", JitterText(reportedP), JitterText(reportedT),
        Verdict(reportedP.n > 0 && reportedP.mean + reportedP.maxDeviation <= 25));
    bool recorded = !m.settings.monitor.empty();
    Jitter latencyP = JitterOf(Series(m.miscPelorin, "tone.latency"));
    Jitter latencyT = JitterOf(Series(m.miscBaseline, "tone.latency"));
    auto found = [](const Figures& f) {
        return " found " + Fixed(First(f, "tone.found"), 0) + " of " + Fixed(First(f, "tone.calls"), 0);
    };
    Row("tone: recorded onset - call (jitter = sd)", "sd<=0.1",
        recorded ? JitterText(latencyP) + found(m.miscPelorin) : "not recorded (no PulseAudio monitor)",
        recorded ? JitterText(latencyT) + found(m.miscBaseline) : "-",
        recorded ? Verdict(latencyP.n > 1 && latencyP.sd <= 0.1) : "");
    Jitter versusP = JitterOf(Series(m.miscPelorin, "tone.vs.reported"));
    Jitter versusT = JitterOf(Series(m.miscBaseline, "tone.vs.reported"));
    Row("tone: recorded onset - reported onset", "-", recorded ? JitterText(versusP) : "-",
        recorded ? JitterText(versusT) : "-", "");
    // In a real block (bars drawing, keys arriving, the results file written): what the file says.
    ToneInFileRow("tone in a real block: recorded - results file", m.miscPelorin, m.miscBaseline, recorded);
    Row("PlaySound return - (reported onset+length)", "-", Distribution(Summarise(Series(m.miscPelorin, "sound.return")), true),
        Distribution(Summarise(Series(m.miscBaseline, "sound.return")), true), "");
}

}  // namespace

void PrintRecordedToneRow(const std::string& label, const Figures& pelorin, const Figures& baseline) {
    Row("figure", "target", "pelorin", "baseline (whole frames, SDL sound, next buffer)", "");
    ToneInFileRow(label, pelorin, baseline, true);
}

void PrintReport(const Measured& m) {
    std::printf("\nPelorin timing benchmark%s: display %dx%d, SDL_VIDEODRIVER %s, SDL_AUDIODRIVER %s%s, %u cores%s\n",
                SystemNote().c_str(), m.width, m.height, Env("SDL_VIDEODRIVER", DefaultVideoDriver()),
                Env("SDL_AUDIODRIVER", "default"),
                m.settings.monitor.empty() ? "" : (" (recorded from " + m.settings.monitor + ")").c_str(),
                std::thread::hardware_concurrency(), m.settings.quick ? ", QUICK (fewer repetitions)" : "");
    std::printf("All times in ms. \"baseline\": the same program drawing every frame in full and playing each tone through\n"
                "SDL's sound output, started in the next buffer the device asks for, with the onset planned for it;\n"
                "\"pelorin\": only what changed drawn, tones through the system's own sound output (PulseAudio where a\n"
                "server answers), their onsets read back once played; the baseline also stamps keys when it reads\n"
                "them, after a tone has played. The verdict is the program's.\n\n");
    Row("figure", "target", "pelorin", "baseline (whole frames, SDL sound, next buffer)", "");
    Row(std::string(44, '-'), std::string(18, '-'), std::string(60, '-'), std::string(60, '-'), "-------");
    PrintLoopRows(m);
    PrintKeyDuringToneRow(m);
    PrintOnsetRows(m);
    double rssP = First(m.blockPelorin, "rss");
    Row("peak resident memory, block, MB", "<=50", Fixed(rssP, 1), Fixed(First(m.blockBaseline, "rss"), 1),
        Verdict(rssP <= 50));
    if (!NotMeasuredHere().empty()) {
        NotMeasuredRow("peak resident memory, pelorin start, MB", "<=50");
        NotMeasuredRow("start-up to first frame (baseline: bare SDL)", "<=bare+100");
        return;
    }
    Row("peak resident memory, pelorin start, MB", "<=50", Fixed(m.startPelorin.peakRssMegabytes, 1),
        Fixed(m.startBare.peakRssMegabytes, 1) + " (bare SDL)", Verdict(m.startPelorin.peakRssMegabytes <= 50));
    Stats upP = Summarise(m.startPelorin.millis);
    Stats upB = Summarise(m.startBare.millis);
    Row("start-up to first frame (baseline: bare SDL)", "<=bare+100", Distribution(upP, true, 1), Distribution(upB, true, 1),
        Verdict(upP.n > 0 && upB.n > 0 && upP.p50 - upB.p50 <= 100));
    std::printf("\nStart-up is pelorin's median minus the bare program's: %s ms.\n", Fixed(upP.p50 - upB.p50, 1).c_str());
}

}  // namespace pelorin::bench
