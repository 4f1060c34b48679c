#include "records/provenance.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <tuple>
#include <vector>

#include "records/dataset.h"
#include "system/files.h"
#include "system/system_facts.h"

#ifndef PELORIN_VERSION
#define PELORIN_VERSION "unknown"
#endif
#ifndef PELORIN_COMMIT
#define PELORIN_COMMIT "unknown"
#endif
#ifndef PELORIN_CODE_URL
#define PELORIN_CODE_URL ""
#endif

namespace pelorin {

namespace {

constexpr const char* REPORT_PREFIX = "timing-check-";
constexpr const char* MACHINE_PREFIX = "PC: ";
constexpr const char* VERDICT_PREFIX = "Verdict: ";
constexpr const char* NOT_KNOWN = "\"n/a\"";

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string KnownNumber(double value) { return value > 0 ? Number(value) : NOT_KNOWN; }

std::string KnownText(const std::string& text) { return text.empty() ? NOT_KNOWN : JsonString(text); }

// Whether a name's stamp is a check's local date and time, YYYY-MM-DD-HHMMSS: a report renamed by hand
// ("timing-check-before-new-screen-2.txt") says nothing of when the check ran.
bool IsCheckStamp(std::string_view stamp) {
    constexpr std::string_view FORM = "dddd-dd-dd-dddddd";
    if (stamp.size() != FORM.size()) return false;
    for (size_t i = 0; i < FORM.size(); ++i) {
        bool digit = stamp[i] >= '0' && stamp[i] <= '9';
        if (FORM[i] == 'd' ? !digit : stamp[i] != FORM[i]) return false;
    }
    auto field = [&](size_t at) { return (stamp[at] - '0') * 10 + (stamp[at + 1] - '0'); };
    int month = field(5), day = field(8), hour = field(11), minute = field(13), second = field(15);
    return month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour <= 23 && minute <= 59 && second <= 60;
}

// The date, time and attempt of a report's name (timing-check-2026-12-07-101500-2.txt), by which the
// newest sorts last; nothing for another name.
std::optional<std::tuple<std::string, int>> ReportStamp(const std::string& name) {
    constexpr size_t STAMP = 17;  // 2026-12-07-101500
    const std::string prefix = REPORT_PREFIX;
    if (!name.starts_with(prefix) || !name.ends_with(".txt") || name.size() < prefix.size() + STAMP + 4) return {};
    std::string stamp = name.substr(prefix.size(), STAMP);
    if (!IsCheckStamp(stamp)) return {};
    std::string rest = name.substr(prefix.size() + STAMP, name.size() - prefix.size() - STAMP - 4);
    int attempt = 1;
    if (!rest.empty()) {
        if (rest.size() < 2 || rest[0] != '-' || !std::all_of(rest.begin() + 1, rest.end(), [](char c) { return c >= '0' && c <= '9'; })) return {};
        attempt = std::stoi(rest.substr(1, 3));
    }
    return std::tuple{stamp, attempt};
}

std::string AudioJson(const AudioOutput& audio) {
    constexpr const char* ONSETS = "\"ToneOnsets\": \"Each tone row's onset_source says how its onset was taken.\"";
    if (audio.silent) {
        return std::string("{\"Silent\": true, \"Description\": \"No audio device opened: every tone kept its duration "
                           "but none was heard.\", ") + ONSETS + "}";
    }
    return "{\"Silent\": false, \"Driver\": " + JsonString(audio.driver) + ", \"Device\": " + JsonString(audio.device) +
           ", \"SampleRate\": " + std::to_string(audio.rate) + ", \"BufferFrames\": " + std::to_string(audio.bufferFrames) +
           ", \"FixedLatencyMs\": " + Number(audio.fixedLatencyMs) + ", " + ONSETS + "}";
}

}  // namespace

std::string VersionText() { return std::string(PELORIN_VERSION) + " (commit " + PELORIN_COMMIT + ")"; }

Provenance GatherProvenance(Host& host, const std::string& runFolder) {
    Provenance provenance;
    provenance.softwareVersion = PELORIN_VERSION;
    provenance.sourceCommit = PELORIN_COMMIT;
    provenance.codeUrl = PELORIN_CODE_URL;
    provenance.operatingSystem = OperatingSystemDescription();
    provenance.audio = host.DescribeAudio();
    DisplayInfo shown = host.DescribeDisplay();
    provenance.display.index = shown.number;
    provenance.display.name = shown.name;
    provenance.display.widthPixels = shown.width;
    provenance.display.heightPixels = shown.height;
    provenance.display.refreshHz = shown.refreshHz;
    provenance.display.scalingPercent = shown.ScalingPercent();
    provenance.display.dpi = shown.dpi;
    provenance.display.widthMm = shown.widthMm;
    provenance.display.heightMm = shown.heightMm;
    const FrameCounts frames = host.CountFrames();
    provenance.display.letterStamp = frames.stamp;
    provenance.display.measuredRefreshMs = frames.refreshMicros / 1000;
    provenance.keyboardLayout = host.DescribeKeyboard({}).name;
    provenance.timingCheck = NewestTimingCheck(runFolder, MachineName());
    return provenance;
}

std::string StimulusPresentationJson(const Provenance& p, const std::string& more) {
    const DisplayFacts& d = p.display;
    std::string json = "{\n    \"OperatingSystem\": " + JsonString(p.operatingSystem) +
                       ",\n    \"SoftwareName\": \"Pelorin\",\n    \"SoftwareVersion\": " + JsonString(p.softwareVersion);
    if (!p.codeUrl.empty()) json += ",\n    \"Code\": " + JsonString(p.codeUrl);
    json += ",\n    \"SourceCommit\": " + JsonString(p.sourceCommit);
    json += ",\n    \"ScreenResolution\": [" + std::to_string(d.widthPixels) + ", " + std::to_string(d.heightPixels) + "]";
    if (d.refreshHz > 0) json += ",\n    \"ScreenRefreshRate\": " + Number(d.refreshHz);
    if (d.widthMm > 0 && d.heightMm > 0) {
        json += ",\n    \"ScreenSize\": [" + Number(d.widthMm / 1000) + ", " + Number(d.heightMm / 1000) + "]";
    }
    json += ",\n    \"Display\": {\"Index\": " + std::to_string(d.index) + ", \"Name\": " + KnownText(d.name) +
            ", \"RefreshRate\": " + KnownNumber(d.refreshHz) + ", \"ScalingPercent\": " +
            KnownNumber(d.scalingPercent) + ", \"DPI\": " + KnownNumber(d.dpi) + "}";
    // The letter stands in the middle of the screen (its label centred): the refresh that shows it
    // reaches its rows about half a period after it begins, which a lab may add to its onsets.
    const char* stamp = d.letterStamp == FrameStamp::DisplayRefresh ? "display_refresh"
                        : d.letterStamp == FrameStamp::VirtualClock ? "virtual_clock"
                                                                    : "present_call";
    const double period = d.measuredRefreshMs > 0 ? d.measuredRefreshMs : d.refreshHz > 0 ? 1000 / d.refreshHz : 0;
    json += ",\n    \"LetterOnsets\": {\"OnsetSource\": \"" + std::string(stamp) + "\", \"MeasuredRefreshPeriodMs\": " +
            KnownNumber(d.measuredRefreshMs) + ", \"LetterVerticalPosition\": 0.5, \"LetterScanDelayMs\": " +
            KnownNumber(period / 2) + "}";
    json += ",\n    \"KeyboardLayout\": " + KnownText(p.keyboardLayout);
    json += ",\n    \"Audio\": " + AudioJson(p.audio);
    json += ",\n    \"TimingCheck\": ";
    if (p.timingCheck.file.empty()) {
        json += "{\"File\": \"n/a\", \"Verdict\": \"no timing check of this PC in the run folder\"}";
    } else {
        json += "{\"File\": " + JsonString(p.timingCheck.file) + ", \"Verdict\": " + JsonString(p.timingCheck.verdict) + "}";
    }
    return json + more + "\n  }";
}

std::string TimingCheckMachineLine(const std::string& machine) { return MACHINE_PREFIX + machine; }

TimingCheckFound NewestTimingCheck(const std::string& folder, const std::string& machine) {
    std::vector<std::tuple<std::string, int, std::string>> reports;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(PathFromUtf8(folder), error), end; !error && entry != end;
         entry.increment(error)) {
        std::u8string name8 = entry->path().filename().u8string();
        std::string name(name8.begin(), name8.end());
        if (auto stamp = ReportStamp(name)) reports.emplace_back(std::get<0>(*stamp), std::get<1>(*stamp), name);
    }
    std::sort(reports.rbegin(), reports.rend());
    const std::string machineLine = TimingCheckMachineLine(machine);
    for (const auto& [stamp, attempt, name] : reports) {
        std::optional<std::string> text = ReadWholeFile(JoinPath(folder, name));
        if (!text) continue;
        bool ours = false;
        std::string verdict;
        for (const std::string& line : SplitLines(*text)) {
            if (line == machineLine) ours = true;
            if (line.starts_with(VERDICT_PREFIX) && verdict.empty()) verdict = line.substr(std::string(VERDICT_PREFIX).size());
        }
        if (ours && !machine.empty() && !verdict.empty()) return {name, verdict};
    }
    return {};
}

}  // namespace pelorin
