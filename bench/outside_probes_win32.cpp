// On Windows the benchmark cannot reach the X server or a sound server: the probes that would watch
// the program through them are never available, and their figures are printed as not measured.
#include "tone_onsets.h"
#include "x11_probe.h"

namespace pelorin::bench {

struct DamageWatcher::Connection {};
DamageWatcher::DamageWatcher(std::function<int64_t()> nowMicros) : nowMicros(std::move(nowMicros)) {}
DamageWatcher::~DamageWatcher() = default;
bool DamageWatcher::Start(const std::string&) { return false; }
void DamageWatcher::Stop() {}
std::vector<DamageWatcher::Damage> DamageWatcher::Events() { return {}; }
void DamageWatcher::Run() {}

MonitorRecorder::MonitorRecorder(std::string source, int rate, std::function<int64_t()> nowMicros)
    : source(std::move(source)), rate(rate), nowMicros(std::move(nowMicros)) {}
MonitorRecorder::~MonitorRecorder() = default;
bool MonitorRecorder::Start() { return false; }
void MonitorRecorder::Stop() {}
std::vector<int16_t> MonitorRecorder::Samples() { return {}; }
double MonitorRecorder::FrameMicros(double) { return 0; }
double MonitorRecorder::FrameMicrosWithin(double, double, double) { return 0; }
double MonitorRecorder::FramesPerSecond(double, double) { return 0; }
void MonitorRecorder::Read(int) {}

}  // namespace pelorin::bench
