#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "check/check_report.h"
#include "lab.h"
#include "records/dataset.h"
#include "records/provenance.h"
#include "system/files.h"
#include "system/system_facts.h"

namespace pelorin::test {
namespace {

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(PathFromUtf8(path), std::ios::binary) << text;
}

std::string Report(const std::string& machine, const std::string& verdict) {
    return "Pelorin timing check, 2026-12-07 10:00:00 UTC+00:00\nPelorin 0.1.0 on Linux\n" +
           TimingCheckMachineLine(machine) + "\n\nDisplay\n  size  800 x 600 pixels\n\nVerdict: " + verdict + "\n";
}

// The newest report of this PC: by the date and time in its name, a second report of the same second
// after the first; another PC's, a report that names no PC and files of other names are passed over,
// a report renamed by hand too (its name says nothing of when the check ran, and sorts after a date).
TEST(ProvenanceTest, NewestTimingCheckIsThisPcsLatestReport) {
    TempDir dir;
    EXPECT_TRUE(NewestTimingCheck(dir.path, "lab-pc-3").file.empty());
    WriteText(dir.path + "/timing-check-2026-01-01-100000.txt", Report("lab-pc-3", "ready: nothing out of bounds."));
    WriteText(dir.path + "/timing-check-2026-01-02-090000.txt", Report("lab-pc-3", "2 warnings: put right."));
    WriteText(dir.path + "/timing-check-2026-01-02-090000-2.txt", Report("lab-pc-3", "1 warning: put right."));
    WriteText(dir.path + "/timing-check-2026-01-03-080000.txt", Report("lab-pc-4", "ready: nothing out of bounds."));
    WriteText(dir.path + "/timing-check-2026-01-04-080000.txt", "Pelorin timing check\nVerdict: ready\n");
    WriteText(dir.path + "/timing-check-2026-01-05-080000.txt.bak", Report("lab-pc-3", "ready"));
    WriteText(dir.path + "/timing-check-latest.txt", Report("lab-pc-3", "ready"));
    WriteText(dir.path + "/timing-check-before-new-screen-2.txt", Report("lab-pc-3", "3 warnings: put right."));
    WriteText(dir.path + "/timing-check-2026-13-02-090000.txt", Report("lab-pc-3", "3 warnings: put right."));
    TimingCheckFound found = NewestTimingCheck(dir.path, "lab-pc-3");
    EXPECT_EQ(found.file, "timing-check-2026-01-02-090000-2.txt");
    EXPECT_EQ(found.verdict, "1 warning: put right.");
    EXPECT_EQ(NewestTimingCheck(dir.path, "lab-pc-4").file, "timing-check-2026-01-03-080000.txt");
    // A PC that does not say its name finds none: it cannot tell its reports from others'.
    EXPECT_TRUE(NewestTimingCheck(dir.path, "").file.empty());
    EXPECT_TRUE(NewestTimingCheck(dir.path + "/no-such-folder", "lab-pc-3").file.empty());
}

// A report as the check writes it is found again, with its verdict.
TEST(ProvenanceTest, TheChecksOwnReportIsFound) {
    TempDir dir;
    check::CheckFigures figures;
    figures.machine = "lab-pc-3";
    figures.display.scalingPercent = 150;
    std::string report = check::FormatReport(figures);
    WriteText(dir.path + "/" + check::ReportFileName(2026, 12, 7, 10, 0, 0), report);
    TimingCheckFound found = NewestTimingCheck(dir.path, "lab-pc-3");
    EXPECT_EQ(found.file, "timing-check-2026-12-07-100000.txt");
    EXPECT_EQ(report.find("Verdict: " + found.verdict + "\n") != std::string::npos, true) << found.verdict;
    EXPECT_TRUE(found.verdict.find("warning") != std::string::npos) << found.verdict;
}

// The sidecar of a registered run holds the build, the system, the display, the sound output and the
// PC's latest check, each under its key.
TEST(ProvenanceTest, SidecarSaysWhatTheRunRanOn) {
    Lab lab;
    WriteText(lab.dir.path + "/timing-check-2026-12-07-100000.txt",
              Report(MachineName(), "ready: nothing out of bounds."));
    lab.experiment.Greet();
    lab.Register(10, "12", "kvt", "1");
    lab.RunUntilIdle();
    std::string sidecar =
        ReadWholeFile(lab.dir.path + "/Res_Data/sub-12/beh/sub-12_task-dualtask_events.json").value_or("");
    ASSERT_FALSE(sidecar.empty());
    for (const std::string& fact : {
             "\"OperatingSystem\": " + JsonString(OperatingSystemDescription()),
             std::string("\"SoftwareName\": \"Pelorin\""),
             "\"SoftwareVersion\": " + JsonString(PELORIN_TEST_VERSION),
             "\"SourceCommit\": " + JsonString(PELORIN_TEST_COMMIT),
             std::string("\"ScreenResolution\": [1024, 768]"),
             // The test host knows no name, refresh rate or layout: said so, not made up; it lays the
             // screens out at 96 dpi.
             std::string("\"Display\": {\"Index\": 0, \"Name\": \"n/a\", \"RefreshRate\": \"n/a\", \"ScalingPercent\": "
                         "100, \"DPI\": 96}"),
             std::string("\"KeyboardLayout\": \"n/a\""),
             std::string("\"Audio\": {\"Silent\": true"),
             std::string("\"TimingCheck\": {\"File\": \"timing-check-2026-12-07-100000.txt\", \"Verdict\": \"ready: "
                         "nothing out of bounds.\"}"),
         }) {
        EXPECT_NE(sidecar.find(fact), std::string::npos) << fact << " in " << sidecar;
    }
    EXPECT_EQ(sidecar.find("\"ScreenRefreshRate\""), std::string::npos) << "no rate the host does not know";
}

// The facts a host knows go into BIDS's own keys: refresh rate in Hz, size in metres.
TEST(ProvenanceTest, KnownDisplayAndSoundFactsGoUnderBidsKeys) {
    Provenance p;
    p.softwareVersion = "0.1.0";
    p.sourceCommit = "unknown";
    p.codeUrl = "https://example.org/pelorin";
    p.operatingSystem = "Windows 10.0 build 19045";
    p.display = {1, "DELL U2720Q", 3840, 2160, 59.94, 150, 144, 597, 336};
    p.keyboardLayout = "00000419";
    p.audio = {false, "wasapi", "Speakers", 44100, 441, 22.5};
    p.timingCheck = {"timing-check-2026-12-07-100000.txt", "ready: nothing out of bounds."};
    std::string json = StimulusPresentationJson(p);
    for (const char* fact : {"\"Code\": \"https://example.org/pelorin\"", "\"ScreenResolution\": [3840, 2160]",
                             "\"ScreenRefreshRate\": 59.94", "\"ScreenSize\": [0.597, 0.336]",
                             "\"Display\": {\"Index\": 1, \"Name\": \"DELL U2720Q\", \"RefreshRate\": 59.94, "
                             "\"ScalingPercent\": 150, \"DPI\": 144}",
                             "\"KeyboardLayout\": \"00000419\"",
                             "\"Driver\": \"wasapi\", \"Device\": \"Speakers\", \"SampleRate\": 44100, \"BufferFrames\": "
                             "441, \"FixedLatencyMs\": 22.5"}) {
        EXPECT_NE(json.find(fact), std::string::npos) << fact << " in " << json;
    }
    p.codeUrl.clear();
    EXPECT_EQ(StimulusPresentationJson(p).find("\"Code\""), std::string::npos) << "no address the build does not know";
}

}  // namespace
}  // namespace pelorin::test
