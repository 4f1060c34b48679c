#include "tone_onsets.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace pelorin::bench {

namespace {

// How far above the line an earliest arrival may lie and still count for it.
constexpr double LINE_TOLERANCE_MICROS = 100;
// The line is drawn through the earliest arrivals this many seconds either side of a frame.
constexpr double WINDOW_SECONDS = 4;

}  // namespace

MonitorRecorder::MonitorRecorder(std::string source, int rate, std::function<int64_t()> nowMicros)
    : source(std::move(source)), rate(rate), nowMicros(std::move(nowMicros)) {}

MonitorRecorder::~MonitorRecorder() { Stop(); }

bool MonitorRecorder::Start() {
    int fds[2];
    if (pipe(fds) != 0) return false;
    child = fork();
    if (child < 0) return false;
    if (child == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        std::string device = "--device=" + source;
        std::string rateArg = "--rate=" + std::to_string(rate);
        // Small fragments, so that arrival times follow the monitor closely.
        execlp("parec", "parec", device.c_str(), "--format=s16le", "--channels=2", rateArg.c_str(), "--raw",
               "--latency-msec=2", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    reader = std::thread([this, fd = fds[0]] { Read(fd); });
    return true;
}

void MonitorRecorder::Read(int fd) {
    uint8_t buffer[4096];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) break;
        int64_t now = nowMicros();
        std::lock_guard lock(mutex);
        partial.insert(partial.end(), buffer, buffer + got);
        size_t frames = partial.size() / 4;
        for (size_t i = 0; i < frames; ++i) {
            int16_t sample;
            std::memcpy(&sample, &partial[i * 4], 2);
            left.push_back(sample);
        }
        partial.erase(partial.begin(), partial.begin() + static_cast<std::ptrdiff_t>(frames * 4));
        arrivals.emplace_back(static_cast<double>(left.size()), static_cast<double>(now));
    }
    close(fd);
}

void MonitorRecorder::Stop() {
    if (child > 0) {
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
        child = -1;
    }
    if (reader.joinable()) reader.join();
}

std::vector<int16_t> MonitorRecorder::Samples() {
    std::lock_guard lock(mutex);
    return left;
}

MonitorRecorder::Line MonitorRecorder::EarliestLine(double from, double to) {
    std::lock_guard lock(mutex);
    // The earliest arrival of each half second, as (frames, micros less the frames' nominal time).
    const double nominal = 1e6 / rate;
    const double stretch = rate / 2.0;
    std::vector<std::pair<double, double>> earliest;
    for (const auto& [frames, micros] : arrivals) {
        double offset = micros - frames * nominal;
        if (earliest.empty() || frames >= earliest.back().first - std::fmod(earliest.back().first, stretch) + stretch) {
            earliest.emplace_back(frames, offset);
        } else if (offset < earliest.back().second) {
            earliest.back() = {frames, offset};
        }
    }
    std::erase_if(earliest, [&](const auto& point) { return point.first < from || point.first > to; });
    Line line;
    if (earliest.empty()) return line;
    // A least-squares line through them; then again without those that lie well above it, such as
    // the first arrivals while the recording stream starts: the line runs along the earliest.
    line.offset = earliest.front().second;
    for (int pass = 0; pass < 3; ++pass) {
        double n = 0, sumX = 0, sumY = 0, sumXX = 0, sumXY = 0;
        for (const auto& [x, y] : earliest) {
            if (pass > 0 && y - (line.offset + line.drift * x) > LINE_TOLERANCE_MICROS) continue;
            n += 1;
            sumX += x;
            sumY += y;
            sumXX += x * x;
            sumXY += x * y;
        }
        if (n < 2) break;
        double spread = n * sumXX - sumX * sumX;
        line.drift = spread > 0 ? (n * sumXY - sumX * sumY) / spread : 0;
        line.offset = (sumY - line.drift * sumX) / n;
    }
    return line;
}

double MonitorRecorder::FrameMicros(double frame) { return FrameMicrosWithin(frame, -INFINITY, INFINITY); }

double MonitorRecorder::FrameMicrosWithin(double frame, double from, double to) {
    // Only the arrivals within a few seconds of the frame: the machine's clock may be slewed at a rate
    // that changes over a run.
    const double window = WINDOW_SECONDS * rate;
    const Line line = EarliestLine(std::max(from, frame - window), std::min(to, frame + window));
    return line.offset + frame * (1e6 / rate + line.drift);
}

double MonitorRecorder::FramesPerSecond(double from, double to) {
    const Line line = EarliestLine(from, to);
    return 1e6 / (1e6 / rate + line.drift);
}

}  // namespace pelorin::bench
