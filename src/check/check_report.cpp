#include "check/check_report.h"

#include <cmath>
#include <cstdio>

#include "measure/stats.h"

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

}  // namespace

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
    std::string text = "Pelorin timing check, " + f.started + "\n" + f.program + " on " + f.system + "\n\n";

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

std::string ReportFileName(int year, int month, int day, int hour, int minute, int second) {
    char name[64];
    std::snprintf(name, sizeof name, "timing-check-%04d-%02d-%02d-%02d%02d%02d.txt", year, month, day, hour, minute,
                  second);
    return name;
}

}  // namespace pelorin::check
