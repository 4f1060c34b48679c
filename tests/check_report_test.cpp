#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "check/check_report.h"
#include "measure/stats.h"

namespace pelorin::test {
namespace {

using check::CheckFigures;
using check::Warning;

TEST(StatsTest, NearestRankQuantilesOfAnyOrder) {
    std::vector<double> values;
    for (int i = 1; i <= 100; ++i) values.push_back(i);
    std::shuffle(values.begin(), values.end(), std::mt19937(3));
    measure::Stats stats = measure::Summarise(values);
    // The 99th of 100 values, not the largest: one late wake-up in a hundred does not set p99.
    EXPECT_EQ(stats.n, 100u);
    EXPECT_EQ(stats.p50, 50);
    EXPECT_EQ(stats.p99, 99);
    EXPECT_EQ(stats.max, 100);
    EXPECT_DOUBLE_EQ(stats.mean, 50.5);
    // Fewer than a hundred: p99 is the largest; one value is every quantile and has no spread.
    stats = measure::Summarise({3, 1, 2});
    EXPECT_EQ(stats.p50, 2);
    EXPECT_EQ(stats.p99, 3);
    stats = measure::Summarise({7});
    EXPECT_EQ(stats.p50, 7);
    EXPECT_EQ(stats.sd, 0);
    EXPECT_EQ(measure::Summarise({}).n, 0u);
    EXPECT_EQ(measure::Distribution(measure::Summarise({}), false), "no data");
    // A constant latency drops out of the jitter: only the deviations from the mean are left.
    measure::Jitter jitter = measure::JitterOf({24, 24.5, 23.5});
    EXPECT_DOUBLE_EQ(jitter.mean, 24);
    EXPECT_DOUBLE_EQ(jitter.maxDeviation, 0.5);
}

// A PC where every figure is within bounds.
CheckFigures GoodPc() {
    CheckFigures f;
    f.started = "2026-12-07 10:00:00 +0100";
    f.program = "Pelorin 0.1.0";
    f.system = "Windows 10.0 build 19045";
    f.display = {1920, 1080, 100, "system DPI 96", 60, {0.2, 0.3}};
    f.waits.wait25 = {0.01, 0.02};
    f.waits.wait35 = {0.01};
    f.waits.blockSeconds = 10;
    f.waits.ticks = {0.02, 0.05};
    f.waits.ticksFired = f.waits.ticksDue = 286;
    f.sound.output = {false, "wasapi", "Speakers", 48000, 480};
    f.sound.latency = {20, 20.1};
    f.sound.exact = 2;
    f.sound.driftPpm = 12;
    f.keys.injector = "SendInput";
    f.keys.idleToHandler = {0.2};
    f.keys.idleToStamp = {0.1};
    f.keys.toneToStamp = {0.3};
    f.disk = {"C:\\Lab", {0.01}, {4, 50}, ""};
    f.power = {true, "High performance", true, false};
    return f;
}

std::vector<std::string> WarningsOf(const CheckFigures& figures) {
    std::vector<std::string> what;
    for (const Warning& warning : check::Warnings(figures)) what.push_back(warning.what);
    return what;
}

TEST(CheckReportTest, EachBoundRaisesItsOwnWarningAndNothingElse) {
    EXPECT_TRUE(WarningsOf(GoodPc()).empty());
    EXPECT_EQ(check::CheckExitCode(GoodPc(), true), 0);
    EXPECT_EQ(check::CheckExitCode(GoodPc(), false), 1) << "no report written";
    std::string report = check::FormatReport(GoodPc());
    EXPECT_NE(report.find("Verdict: ready"), std::string::npos);
    EXPECT_EQ(report.find("WARNING"), std::string::npos);

    auto only = [](CheckFigures figures, const std::string& expected) {
        std::vector<std::string> what = WarningsOf(figures);
        ASSERT_EQ(what.size(), 1u) << expected;
        EXPECT_NE(what[0].find(expected), std::string::npos) << what[0];
        std::string report = check::FormatReport(figures);
        EXPECT_NE(report.find("Verdict: 1 warning"), std::string::npos);
        EXPECT_NE(report.find("WARNING: " + what[0] + ". What to do: "), std::string::npos) << report;
    };
    // A scaled display is drawn at its DPI: nothing to put right.
    CheckFigures f = GoodPc();
    f.display.scalingPercent = 150;
    f.display.twipsPerPixel = 10;
    EXPECT_TRUE(WarningsOf(f).empty());
    EXPECT_NE(check::FormatReport(f).find("Pelorin draws at                      10.00 twips a pixel (1440 / 144 dpi)"),
              std::string::npos)
        << check::FormatReport(f);
    // A layout that types some answer keys but not all is named with the ones it lacks.
    f = GoodPc();
    f.keys.layout = {"ru (Russian)", "xswbnm"};
    only(f, "keyboard layout, ru (Russian), cannot type the answer keys x, s, w, b, n, m");
    f.keys.layout = {"fr (French)", ""};
    EXPECT_TRUE(WarningsOf(f).empty());
    f = GoodPc();
    f.display.refreshHz = 59;
    only(f, "refreshes at 59 Hz");
    f.display.refreshHz = 0;
    only(f, "reports no refresh rate");
    // Where the display stamps its refreshes, the report names the stamp, the period its stamps give
    // and the frames shown late; where it does not, it says the onset is the present call's.
    f = GoodPc();
    f.display.onsetStamp = FrameStamp::DisplayRefresh;
    f.display.measuredRefreshMs = 16.667;
    f.display.framesShown = 300;
    f.display.framesMissed = 3;
    EXPECT_TRUE(WarningsOf(f).empty());
    for (const char* line : {"  a frame's onset taken at              the refresh that showed it, as the display stamps it\n",
                             "  refresh period from its stamps        16.667 ms (60.00 Hz; the system reports 60 Hz)\n",
                             "  frames shown a refresh late           3 of 300 over the 10 s block\n"}) {
        EXPECT_NE(check::FormatReport(f).find(line), std::string::npos) << line << check::FormatReport(f);
    }
    f = GoodPc();
    EXPECT_NE(check::FormatReport(f).find("the present call's return: no refresh's stamp here"), std::string::npos);
    EXPECT_EQ(check::FormatReport(f).find("frames shown a refresh late"), std::string::npos);
    // Over the whole check: 1 % of the frames late is within bounds, more is warned of; a display that
    // stamps no refresh has none counted, and nothing to warn of.
    f = GoodPc();
    f.display.checkStamp = FrameStamp::DisplayRefresh;
    f.display.checkFramesShown = 1800;
    f.display.checkFramesMissed = 18;
    f.display.checkSeconds = 31.4;
    EXPECT_TRUE(WarningsOf(f).empty());
    EXPECT_NE(check::FormatReport(f).find("  frames late over the whole check      18 of 1800 over 31 s, counted at the "
                                          "display's refresh\n"),
              std::string::npos)
        << check::FormatReport(f);
    f.display.checkFramesMissed = 19;
    only(f, "19 of 1800 frames were shown a refresh or more after the one they were aimed at (1.1 %, more than 1 %)");
    f.display.checkStamp = FrameStamp::PresentCall;
    EXPECT_TRUE(WarningsOf(f).empty());
    EXPECT_NE(check::FormatReport(f).find("  frames late over the whole check      not counted: no refresh's stamp here"),
              std::string::npos)
        << check::FormatReport(f);
    f = GoodPc();
    f.sound.output = {};
    only(f, "no sound device");
    // 1024 frames are within bounds, 1025 are not.
    f = GoodPc();
    f.sound.output.bufferFrames = 1024;
    EXPECT_TRUE(WarningsOf(f).empty());
    f.sound.output.bufferFrames = 1025;
    only(f, "buffer is 1025 frames");
    // A flush of exactly 50 ms is within bounds; the slowest one counts, not the typical.
    f = GoodPc();
    f.disk.flushes = {3, 3, 3, 50.5};
    only(f, "took 50.5 ms");
    f = GoodPc();
    f.disk.flushes.clear();
    f.disk.error = "Permission denied";
    only(f, "could not be written to: Permission denied");
    EXPECT_EQ(check::CheckExitCode(f, true), 1) << "a folder that cannot be written";
    // A flush that failed after good ones is a failing disk all the same, for a lab's script too.
    f = GoodPc();
    f.disk.error = "Input/output error";
    only(f, "writing to the disk failed after 2 good rows: Input/output error");
    EXPECT_EQ(check::CheckExitCode(f, true), 1) << "a disk that failed after good flushes";
    f = GoodPc();
    f.power.plan = "Balanced";
    f.power.highPerformance = false;
    only(f, "power plan is \"Balanced\"");
    f.power.plan.clear();
    only(f, "power plan could not be read");
    f = GoodPc();
    f.power.onBattery = true;
    only(f, "runs on its battery");
    // Where the system has no power plans, none is asked for.
    f = GoodPc();
    f.power = {};
    EXPECT_TRUE(WarningsOf(f).empty());
    EXPECT_EQ(check::FormatReport(f).find("Power"), std::string::npos);

    // The sound output's clock 0.1 % apart from the system's is within bounds, either way; beyond, not.
    f = GoodPc();
    f.sound.driftPpm = -1000;
    EXPECT_TRUE(WarningsOf(f).empty());
    f.sound.driftPpm = 1001;
    only(f, "runs 0.10 % slower than the system's (1001 ppm)");
    f.sound.driftPpm = -44978;
    only(f, "runs 4.50 % faster than the system's (-44978 ppm): tones last shorter");
    f.sound.driftPpm = NAN;
    EXPECT_TRUE(WarningsOf(f).empty());
    // Every onset read back, or the results hold plans.
    f = GoodPc();
    f.sound.exact = 1;
    only(f, "1 of 2 onsets read back from the output: the results would hold planned onsets");
    f.sound.exact = 0;
    only(f, "0 of 2 onsets read back");

    // The check by cable: an input that cannot be recorded, tones it did not hear, a spread above 1 ms.
    f = GoodPc();
    f.loopback.asked = true;
    f.loopback.played = 3;
    f.loopback.recordedMinusWritten = {0.5, 0.6, 0.4};
    EXPECT_TRUE(WarningsOf(f).empty());
    f.loopback.error = "Connection refused";
    only(f, "could not record: Connection refused");
    f.loopback.error.clear();
    f.loopback.played = 4;
    only(f, "found 3 of 4 tones in the recording");
    f.loopback.played = 3;
    f.loopback.recordedMinusWritten = {0.5, 2.7, 0.4};
    only(f, "spread by SD 1.30 ms");

    f = GoodPc();
    f.keys.layout.untypable = "x";
    f.sound.output = {};
    f.power.onBattery = true;
    EXPECT_EQ(WarningsOf(f).size(), 3u);
    EXPECT_EQ(check::CheckExitCode(f, true), 0) << "warnings a lab puts right are no failure";
    EXPECT_NE(check::FormatReport(f).find("Verdict: 3 warnings"), std::string::npos);
}

// Each section gives lag and SD as the timing mega-study does, beside the study's row for the same
// system where it has one, and the report names its source.
TEST(CheckReportTest, SectionsGiveLagAndSdBesideTheMegaStudysRows) {
    CheckFigures f = GoodPc();
    f.reference = check::ReferenceSystem::Linux;
    f.display.presents = {1, 2, 3};
    f.display.onsets = {1, 2, 3};
    f.sound.latency = {21.5, 22.5};
    f.sound.exact = 2;
    f.keys.idleToStamp = {0.2, 0.2, 0.2};
    std::string report = check::FormatReport(f);
    for (const char* line : {
             "  visual onset after the present call   lag 2.000  SD 1.000 ms (n 3); Bridges et al. 2020, Ubuntu: lag "
             "4.71  SD 0.34 ms\n",
             "  sound onset after the call            lag 22.000  SD 0.707 ms (n 2); Bridges et al. 2020, Ubuntu: lag "
             "-0.71  SD 0.31 ms\n",
             "  key to its stamp                      lag 0.200  SD 0.000 ms (n 3); Bridges et al. 2020, Ubuntu: lag "
             "8.43  SD 0.31 ms\n",
             "PeerJ 8:e9414, Table 2",
         }) {
        EXPECT_NE(report.find(line), std::string::npos) << line << "\nin\n" << report;
    }
    // Windows 10: the study's audio row is at hand, its others are not, and none is made up.
    f.reference = check::ReferenceSystem::Windows;
    report = check::FormatReport(f);
    EXPECT_NE(report.find("(n 2); Bridges et al. 2020, Windows 10: lag 0.85  SD 0.96 ms\n"), std::string::npos) << report;
    EXPECT_NE(report.find("(n 3); Bridges et al. 2020: no Windows 10 row at hand\n"), std::string::npos) << report;
    EXPECT_EQ(report.find("4.71"), std::string::npos) << report;

    // The check by cable's own section: the recorded onsets against the results file's.
    f.loopback.asked = true;
    f.loopback.input = "pulseaudio: lab.monitor";
    f.loopback.played = 3;
    f.loopback.recordedMinusWritten = {0.5, 0.6, 0.4};
    f.loopback.written = 3;
    f.loopback.pacePpm = 1797;
    report = check::FormatReport(f);
    for (const char* line : {"\nSound by cable (output wired to an input)\n",
                             "  input                                 pulseaudio: lab.monitor\n",
                             "  tones found in the recording          3 of 3 played\n",
                             "  recorded onset - results file's       lag 0.500  SD 0.100 ms (n 3); Bridges et al. "
                             "2020, Windows 10: lag 0.85  SD 0.96 ms\n",
                             "  input's clock against the system's    1797 ppm (taken out)\n"}) {
        EXPECT_NE(report.find(line), std::string::npos) << line << "\nin\n" << report;
    }
}

TEST(CheckReportTest, SilentRunSaysSoAndReportIsNamedByItsLocalTime) {
    CheckFigures f = GoodPc();
    f.sound.output = {};
    std::string report = check::FormatReport(f);
    EXPECT_NE(report.find("none: the run would be silent"), std::string::npos);
    EXPECT_EQ(report.find("fixed latency"), std::string::npos);
    EXPECT_EQ(check::ReportFileName(2026, 1, 2, 3, 4, 5), "timing-check-2026-01-02-030405.txt");
}

}  // namespace
}  // namespace pelorin::test
