#include "check/check_report.h"

#include <cmath>
#include <cstdio>

#include "measure/stats.h"
#include "records/provenance.h"

namespace pelorin::check {

using measure::Distribution;
using measure::Fixed;
using measure::Summarise;

namespace {

std::string Line(const std::string& label, const std::string& value) {
    char text[64];
    std::snprintf(text, sizeof text, "  %-38s", label.c_str());
    return text + value + "\n";
}

std::string Milliseconds(const std::vector<double>& values) {
    if (values.empty()) return "not measured";
    measure::Stats stats = Summarise(values);
    return "p50 " + Fixed(stats.p50) + "  p99 " + Fixed(stats.p99) + "  max " + Fixed(stats.max) + " ms  (n " +
           std::to_string(stats.n) + ")";
}

std::string WithLost(const std::vector<double>& values, double lost) {
    return Milliseconds(values) + (lost > 0 ? "  LOST " + Fixed(lost, 0) : "");
}

// A paragraph broken into lines of at most `width` characters, at blanks.
std::string Wrap(const std::string& paragraph, size_t width) {
    std::string text;
    size_t lineStart = 0;
    size_t start = 0;
    while (start < paragraph.size()) {
        size_t end = paragraph.find(' ', start);
        if (end == std::string::npos) end = paragraph.size();
        if (text.size() > lineStart && text.size() - lineStart + 1 + (end - start) > width) {
            text += "\n";
            lineStart = text.size();
        } else if (text.size() > lineStart) {
            text += " ";
        }
        text += paragraph.substr(start, end - start);
        start = end + 1;
    }
    return text + "\n";
}

constexpr const char* STUDY = "Bridges et al. 2020";

// PsychoPy's rows of the study's Table 2 on the systems a check runs on; the study has more rows
// (other packages, systems and browsers), but only these are at hand here.
constexpr MegaStudyRow MEGA_STUDY_ROWS[] = {
    {ReferenceSystem::Linux, "Ubuntu", "visual", 4.71, 0.34},
    {ReferenceSystem::Linux, "Ubuntu", "audio", -0.71, 0.31},
    {ReferenceSystem::Linux, "Ubuntu", "response", 8.43, 0.31},
    {ReferenceSystem::Windows, "Windows 10", "audio", 0.85, 0.96},
};

const char* SystemNameOf(ReferenceSystem system) { return system == ReferenceSystem::Windows ? "Windows 10" : "Ubuntu"; }

// Lag (the mean) and SD as the study gives them, with the study's row for the same measure on the
// same system beside them.
std::string LagAndSd(const std::vector<double>& values, ReferenceSystem system, const std::string& measure) {
    if (values.empty()) return "not measured";
    measure::Stats stats = Summarise(values);
    std::string text = "lag " + Fixed(stats.mean) + "  SD " + Fixed(stats.sd) + " ms (n " + std::to_string(stats.n) + ")";
    if (const MegaStudyRow* row = MegaStudyRowFor(system, measure)) {
        return text + "; " + STUDY + ", " + row->systemName + ": lag " + Fixed(row->lagMs, 2) + "  SD " +
               Fixed(row->sdMs, 2) + " ms";
    }
    return text + "; " + STUDY + ": no " + SystemNameOf(system) + " row at hand";
}

}  // namespace

const MegaStudyRow* MegaStudyRowFor(ReferenceSystem system, const std::string& measure) {
    for (const MegaStudyRow& row : MEGA_STUDY_ROWS) {
        if (row.system == system && measure == row.measure) return &row;
    }
    return nullptr;
}

std::vector<Warning> Warnings(const CheckFigures& f) {
    std::vector<Warning> warnings;
    const DisplayFigures& d = f.display;
    // NOTE: a scaled display is no warning: Pelorin draws at its DPI, so its screens keep their size.
    if (d.refreshHz == 0) {
        warnings.push_back({"the system reports no refresh rate for the display",
                            "check in the display settings that the monitor runs at 60 Hz or more"});
    } else if (d.refreshHz < MIN_REFRESH_HZ) {
        warnings.push_back({"the display refreshes at " + std::to_string(d.refreshHz) + " Hz",
                            "set the monitor to 60 Hz or more in the display settings: a frame then waits at "
                            "most 16.7 ms to be shown"});
    }
    // Over the whole check, not its block alone: a short block can miss what the tones and keys bring.
    if (d.checkStamp == FrameStamp::DisplayRefresh && d.checkFramesShown > 0 &&
        d.checkFramesMissed * 100 > d.checkFramesShown * MAX_LATE_FRAMES_PERCENT) {
        warnings.push_back({Fixed(d.checkFramesMissed, 0) + " of " + Fixed(d.checkFramesShown, 0) +
                                " frames were shown a refresh or more after the one they were aimed at (" +
                                Fixed(100 * d.checkFramesMissed / d.checkFramesShown, 1) + " %, more than " +
                                Fixed(MAX_LATE_FRAMES_PERCENT, 0) + " %): a letter on such a frame shows a refresh or "
                                "more later than it was drawn (its onset in the file is still the refresh that showed it)",
                            "close other programs, run the monitor at its native resolution, turn off the "
                            "desktop's effects or compositor where it has them, and run the check again; a "
                            "virtual display (Xvfb, a remote session) counts frames late by its own clock"});
    }
    const AudioOutput& out = f.sound.output;
    if (out.silent) {
        warnings.push_back({"no sound device: a run would be silent (tones keep their durations, nobody hears them)",
                            "connect and switch on the speakers or headphones, make them the system's default "
                            "output, and run the check again"});
    } else if (out.bufferFrames > MAX_BUFFER_FRAMES) {
        warnings.push_back({"the sound device's buffer is " + std::to_string(out.bufferFrames) + " frames",
                            "choose a buffer of 1024 frames or less in the sound driver's settings (or another "
                            "output device): a tone starts that much later after it is asked for"});
    }
    if (!f.keys.layout.untypable.empty()) {
        std::string keys;
        for (char key : f.keys.layout.untypable) keys += std::string(keys.empty() ? "" : ", ") + key;
        warnings.push_back({"the active keyboard layout, " + f.keys.layout.name + ", cannot type the answer keys " + keys,
                            "switch to a layout that types them, such as English (Windows: Win+Space; Linux: the "
                            "desktop's keyboard settings), before the subject starts: the answers are these letters"});
    }
    const SoundFigures& s = f.sound;
    if (!out.silent && !std::isnan(s.driftPpm) && std::abs(s.driftPpm) > MAX_DRIFT_PPM) {
        warnings.push_back({"the sound output's clock runs " + Fixed(std::abs(s.driftPpm) / 1e4, 2) + " % " +
                                (s.driftPpm > 0 ? "slower" : "faster") + " than the system's (" + Fixed(s.driftPpm, 0) +
                                " ppm): tones last " + (s.driftPpm > 0 ? "longer" : "shorter") +
                                " than their files, and an onset not read back from the output is off by " +
                                Fixed(std::abs(s.driftPpm) * 0.06, 0) + " ms a minute",
                            "play through a real sound device and the system's own sound server (Linux: PulseAudio "
                            "or PipeWire; Windows: the device's own driver through WASAPI), not SDL's dummy or disk "
                            "driver or a remote session's sound; set the device to 44100 or 48000 Hz in the sound "
                            "settings and run the check again"});
    }
    if (!out.silent && !s.latency.empty() && s.exact < static_cast<int>(s.latency.size())) {
        warnings.push_back({std::to_string(s.exact) + " of " + std::to_string(s.latency.size()) +
                                " onsets read back from the output: the results would hold planned onsets for the "
                                "others (onset_source says which), which the output may have played milliseconds "
                                "apart from their plan",
                            "play through the system's own sound server (Linux: start PulseAudio or PipeWire; "
                            "Windows: a device with its WASAPI driver), which tells when each tone reached the "
                            "output; where it already does, close the programs that keep the PC busy and run the "
                            "check again"});
    }
    const LoopbackFigures& l = f.loopback;
    if (l.asked && !l.error.empty()) {
        warnings.push_back({"the sound check by cable could not record: " + l.error,
                            "wire the output (line-out or headphones) to an input (line-in), make that input the "
                            "system's default recording device or name it with --loopback-input, and run "
                            "pelorin --check --loopback again"});
    } else if (l.asked && static_cast<int>(l.recordedMinusWritten.size()) < l.played) {
        warnings.push_back({"the sound check by cable found " + std::to_string(l.recordedMinusWritten.size()) + " of " +
                                std::to_string(l.played) + " tones in the recording",
                            "check the cable from the output to the input, turn the output's volume up and the "
                            "input's gain so that the tones are recorded well above the noise (not clipped), "
                            "and run pelorin --check --loopback again"});
    }
    if (l.asked && l.recordedMinusWritten.size() > 1) {
        double sd = Summarise(l.recordedMinusWritten).sd;
        if (sd > MAX_LOOPBACK_SD_MS) {
            warnings.push_back({"the recorded tone onsets spread by SD " + Fixed(sd, 2) +
                                    " ms about the onsets the results file would write",
                                "play through the system's own sound server with the device's own driver, close "
                                "the programs that keep the PC busy, and run pelorin --check --loopback again; "
                                "if the spread stays, response times to tones carry it"});
        }
    }
    if (!f.disk.flushes.empty()) {
        double slowest = Summarise(f.disk.flushes).max;
        if (slowest > MAX_FLUSH_MS) {
            warnings.push_back({"a flush of the results file took " + Fixed(slowest, 1) + " ms in " + f.disk.folder,
                                "run Pelorin from a folder on the PC's own disk (not a network share, USB stick "
                                "or synchronised cloud folder), and copy the data off after the session"});
        }
    }
    // A disk that failed once, even after good writes, can lose a run's results.
    if (f.disk.flushes.empty()) {
        warnings.push_back({"the folder could not be written to: " + f.disk.error,
                            "start Pelorin in a folder it may write to, on the PC's own disk"});
    } else if (!f.disk.error.empty()) {
        warnings.push_back({"writing to the disk failed after " + std::to_string(f.disk.flushes.size()) +
                                " good rows: " + f.disk.error,
                            "check the disk (its free space, its health, the cable or network it is reached "
                            "through) or start Pelorin in a folder on another disk, and run the check again"});
    }
    if (f.power.checked && f.power.plan.empty()) {
        warnings.push_back({"the power plan could not be read",
                            "check in Control Panel > Power Options that the High performance plan is chosen"});
    } else if (f.power.checked && !f.power.highPerformance) {
        warnings.push_back({"the power plan is \"" + f.power.plan + "\"",
                            "choose the High performance plan (Control Panel > Power Options): power saving lets "
                            "the processor sleep and wakes the program late"});
    }
    if (f.power.checked && f.power.onBattery) {
        warnings.push_back({"the PC runs on its battery",
                            "plug in the power supply: on battery the system slows the processor and timers"});
    }
    return warnings;
}

std::string FormatReport(const CheckFigures& f) {
    std::string text = "Pelorin timing check, " + f.started + "\n" + f.program + " on " + f.system + "\n" +
                       TimingCheckMachineLine(f.machine) + "\n\n";

    const DisplayFigures& d = f.display;
    text += "Display\n";
    for (const DisplayInfo& listed : d.listed) {
        std::string place = std::to_string(listed.width) + " x " + std::to_string(listed.height) + " at " +
                            std::to_string(listed.left) + "," + std::to_string(listed.top) + ", " +
                            (listed.refreshHz > 0 ? std::to_string(listed.refreshHz) + " Hz" : "no refresh rate") +
                            ", " + Fixed(listed.dpi, 0) + " dpi";
        text += Line("display " + std::to_string(listed.number) + (listed.number == d.number ? " (checked)" : ""),
                     (listed.name.empty() ? std::string("no name") : listed.name) + ": " + place);
    }
    text += Line("size", std::to_string(d.width) + " x " + std::to_string(d.height) + " pixels");
    text += Line("system scaling", std::to_string(d.scalingPercent) + " % (" + d.scalingSource + ")");
    text += Line("Pelorin draws at", Fixed(d.twipsPerPixel, 2) + " twips a pixel (1440 / " +
                                         Fixed(TWIPS_PER_INCH / d.twipsPerPixel, 0) +
                                         " dpi): its screens keep their physical size");
    text += Line("refresh rate the system reports", d.refreshHz > 0 ? std::to_string(d.refreshHz) + " Hz" : "none");
    text += Line("present of a growing bar", Milliseconds(d.presents));
    const bool stamped = d.onsetStamp == FrameStamp::DisplayRefresh;
    text += Line("a frame's onset taken at", stamped ? "the refresh that showed it, as the display stamps it"
                                                     : "the present call's return: no refresh's stamp here");
    if (stamped) {
        text += Line("refresh period from its stamps",
                     d.measuredRefreshMs > 0 ? Fixed(d.measuredRefreshMs) + " ms (" + Fixed(1000 / d.measuredRefreshMs, 2) +
                                                   " Hz; the system reports " +
                                                   (d.refreshHz > 0 ? std::to_string(d.refreshHz) + " Hz)" : "none)")
                                             : std::string("not measured"));
        text += Line("frames shown a refresh late", Fixed(d.framesMissed, 0) + " of " + Fixed(d.framesShown, 0) +
                                                        " over the " + std::to_string(f.waits.blockSeconds) + " s block");
    }
    text += Line("frames late over the whole check",
                 d.checkStamp == FrameStamp::DisplayRefresh
                     ? Fixed(d.checkFramesMissed, 0) + " of " + Fixed(d.checkFramesShown, 0) + " over " +
                           Fixed(d.checkSeconds, 0) + " s, counted at the display's refresh"
                     : std::string("not counted: no refresh's stamp here (frames timed at the present call)"));
    text += Line("visual onset after the present call", LagAndSd(d.onsets.empty() ? d.presents : d.onsets, f.reference, "visual"));

    const WaitFigures& w = f.waits;
    text += "\nWaits\n";
    text += Line("Wait(25) overshoot", Milliseconds(w.wait25));
    text += Line("Wait(35) overshoot", Milliseconds(w.wait35));
    text += Line("growth-tick lateness, " + std::to_string(w.blockSeconds) + " s block", Milliseconds(w.ticks));
    text += Line("growth ticks fired", Fixed(w.ticksFired, 0) + " of " + Fixed(w.ticksDue, 0) + " due");
    text += Line("process CPU over the block", Fixed(w.cpuProcess, 2) + " % of a core (main thread " +
                                                   Fixed(w.cpuThread, 2) + " %)");

    const SoundFigures& s = f.sound;
    text += "\nSound\n";
    if (s.output.silent) {
        text += Line("device", "none: the run would be silent");
    } else {
        text += Line("driver", s.output.driver);
        text += Line("device", s.output.device);
        text += Line("rate", std::to_string(s.output.rate) + " Hz");
        text += Line("buffer", std::to_string(s.output.bufferFrames) + " frames (" +
                                   Fixed(1000.0 * s.output.bufferFrames / std::max(s.output.rate, 1), 1) + " ms)");
        measure::Jitter placed = measure::JitterOf(s.latency);
        text += Line("fixed latency (call to first sample)", Fixed(placed.mean) + " ms");
        text += Line("sound onset after the call", LagAndSd(s.latency, f.reference, "audio"));
        text += Line(std::to_string(placed.n) + " tones against the audio clock",
                     "spread sd " + Fixed(placed.sd) + " ms, max deviation " + Fixed(placed.maxDeviation) +
                         " ms; " + std::to_string(s.exact) + " of " + std::to_string(placed.n) +
                         " onsets read back from the output");
        text += Line("audio clock against the system clock",
                     std::isnan(s.driftPpm) ? "not known"
                                            : Fixed(s.driftPpm, 0) + " ppm (" + Fixed(s.driftPpm * 0.06, 1) +
                                                  " ms a minute)");
    }
    text += Line("tones played", s.tones);

    const KeyFigures& k = f.keys;
    text += "\nKeyboard path\n";
    text += Line("keyboard layout", k.layout.name.empty() ? "not known" : k.layout.name);
    if (!k.layout.untypable.empty()) text += Line("answer keys it cannot type", k.layout.untypable);
    if (k.injector.empty()) {
        text += Line("keys injected", "not possible here");
    } else {
        text += Line("keys injected through", k.injector);
        text += Line("injection to handler", WithLost(k.idleToHandler, k.idleLost));
        text += Line("key to its stamp", LagAndSd(k.idleToStamp, f.reference, "response"));
        text += Line("during a tone: injection to its time", WithLost(k.toneToStamp, k.toneLost));
        text += Line("during a tone: injection to handler", Milliseconds(k.toneToHandler));
    }

    text += "\nDisk (" + f.disk.folder + ")\n";
    if (!f.disk.error.empty()) text += Line("error", f.disk.error);
    text += Line("write a results row", Milliseconds(f.disk.rows));
    text += Line("flush the file to the disk", Milliseconds(f.disk.flushes));

    if (f.power.checked) {
        text += "\nPower\n";
        text += Line("power plan", f.power.plan.empty() ? "not known (the system does not say)" : f.power.plan);
        text += Line("power source", f.power.onBattery ? "battery" : "mains");
    }

    const LoopbackFigures& l = f.loopback;
    if (l.asked) {
        text += "\nSound by cable (output wired to an input)\n";
        if (!l.error.empty()) {
            text += Line("input", "none: " + l.error);
        } else {
            text += Line("input", l.input);
            text += Line("tones found in the recording", std::to_string(l.recordedMinusWritten.size()) + " of " +
                                                             std::to_string(l.played) + " played");
            text += Line("recorded onset - results file's", LagAndSd(l.recordedMinusWritten, f.reference, "audio"));
            measure::Jitter jitter = measure::JitterOf(l.recordedMinusWritten);
            text += Line("largest deviation from the lag", l.recordedMinusWritten.empty() ? "not measured"
                                                                                            : Fixed(jitter.maxDeviation) + " ms");
            text += Line("results file's onsets read back", std::to_string(l.written) + " of " +
                                                                std::to_string(l.recordedMinusWritten.size()));
            // The planned onsets apart: an output that could not read some back is told from a cable
            // that spreads every tone.
            if (l.written < static_cast<int>(l.recordedMinusWritten.size()) && !l.readBackMinusWritten.empty()) {
                measure::Stats readBack = Summarise(l.readBackMinusWritten);
                text += Line("of those read back", "lag " + Fixed(readBack.mean) + "  SD " + Fixed(readBack.sd) +
                                                       " ms (n " + std::to_string(readBack.n) + ")");
            }
            text += Line("input's clock against the system's",
                         std::isnan(l.pacePpm) ? "not known" : Fixed(l.pacePpm, 0) + " ppm (taken out)");
        }
    }

    text += "\n" + Wrap("Lag and SD as the timing mega-study gives them, beside its rows for PsychoPy on the same system: "
            "Bridges, Pitiot, MacAskill & Peirce (2020), The timing mega-study: comparing a range of experiment "
            "generators, both lab-based and online. PeerJ 8:e9414, Table 2. The study measured at the monitor "
            "(photodiode), the loudspeaker (microphone) and the key (robot); this check measures inside the PC: "
            "the visual onset up to the refresh the display says showed the frame (where it says so; else up to the "
            "display server taking the frame), the sound onset up to the output's own "
            "clock (placed a known time after the call, which the results take into account), the key from "
            "its injection through the system. Only --loopback records the sound after the output.", 100);

    std::vector<Warning> warnings = Warnings(f);
    text += "\nVerdict: ";
    if (warnings.empty()) {
        text += "ready: nothing out of bounds.\n";
    } else {
        text += std::to_string(warnings.size()) + (warnings.size() == 1 ? " warning" : " warnings") +
                ": put right before the first subject.\n";
        for (const Warning& warning : warnings) text += "WARNING: " + warning.what + ". What to do: " + warning.todo + ".\n";
    }
    return text;
}

int CheckExitCode(const CheckFigures& figures, bool reportWritten) {
    return reportWritten && figures.disk.error.empty() ? 0 : 1;
}

std::string ReportFileName(int year, int month, int day, int hour, int minute, int second) {
    char name[64];
    std::snprintf(name, sizeof name, "timing-check-%04d-%02d-%02d-%02d%02d%02d.txt", year, month, day, hour, minute,
                  second);
    return name;
}

}  // namespace pelorin::check
