// The system's sound output on Linux: a PulseAudio playback stream (PipeWire serves the same
// interface), fed from its threaded main loop whenever the server asks for frames, with the server's
// timing information read after every asking for it and on the server's own schedule.
#include <pulse/pulseaudio.h>
#include <sys/time.h>

#include <atomic>
#include <mutex>

#include "audio/sound_thread.h"
#include "audio/system_output.h"
#include "system/monotonic_clock.h"

namespace pelorin::sdl {

namespace {

constexpr int FRAME_BYTES = 2 * OUTPUT_CHANNELS;
// The server asks for this many frames at a time (5.8 ms), and keeps this many handed over ahead
// of the output (sound server and device together, 11.6 ms): a sound asked for is placed after them.
constexpr uint32_t ASKED_FRAMES = 256;
constexpr uint32_t AHEAD_FRAMES = 512;
// Beyond what is handed over: the server may take its next frames a little before it asks, and the
// timing a sound is placed by is up to a second and a half old.
constexpr int64_t MARGIN_NANOS = 4'000'000;

int64_t FramesToNanos(uint64_t frames) { return static_cast<int64_t>(frames * 1'000'000'000 / OUTPUT_RATE); }

class PulseOutput : public SystemOutput {
public:
    explicit PulseOutput(Mixer& mixer) : mixer(mixer) {}
    ~PulseOutput() override;
    PulseOutput(const PulseOutput&) = delete;
    PulseOutput& operator=(const PulseOutput&) = delete;

    bool Open();

    std::string Driver() const override { return "pulseaudio"; }
    std::string DeviceName() const override { return device; }
    int BufferFrames() const override { return bufferFrames; }
    int64_t FixedLatencyNanos() const override { return fixedLatency; }
    uint64_t AskTiming() override;
    bool Answered(uint64_t asked) override { return answers.load() >= asked; }
    OutputTimeline Timeline() override {
        std::lock_guard lock(timingMutex);
        return timeline;
    }

private:
    static void ContextChanged(pa_context* context, void* self);
    static void StreamChanged(pa_stream* stream, void* self);
    static void Write(pa_stream* stream, size_t bytes, void* self);
    static void TimingCame(pa_stream* stream, void* self);
    static void TimingAnswered(pa_stream* stream, int success, void* self);

    // Runs the main loop until `ready` says the connection is made or has failed.
    template <class Ready>
    bool WaitUntil(Ready ready);

    Mixer& mixer;
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    std::string device;
    int bufferFrames = 0;
    int64_t fixedLatency = 0;
    bool raised = false;

    std::mutex timingMutex;
    OutputTimeline timeline{OUTPUT_RATE};
    // Askings sent, under the main loop's lock; answers come in the order they were sent.
    uint64_t asked = 0;
    std::atomic<uint64_t> answers = 0;
};

PulseOutput::~PulseOutput() {
    if (loop != nullptr) pa_threaded_mainloop_stop(loop);
    if (stream != nullptr) {
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
    if (context != nullptr) {
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
    if (loop != nullptr) pa_threaded_mainloop_free(loop);
}

void PulseOutput::ContextChanged(pa_context*, void* self) {
    pa_threaded_mainloop_signal(static_cast<PulseOutput*>(self)->loop, 0);
}

void PulseOutput::StreamChanged(pa_stream*, void* self) {
    pa_threaded_mainloop_signal(static_cast<PulseOutput*>(self)->loop, 0);
}

template <class Ready>
bool PulseOutput::WaitUntil(Ready ready) {
    for (;;) {
        if (const std::optional<bool> done = ready()) return *done;
        pa_threaded_mainloop_wait(loop);
    }
}

bool PulseOutput::Open() {
    loop = pa_threaded_mainloop_new();
    if (loop == nullptr) return false;
    context = pa_context_new(pa_threaded_mainloop_get_api(loop), "Pelorin");
    if (context == nullptr) return false;
    pa_context_set_state_callback(context, &ContextChanged, this);
    // Without a server running, none is started: SDL's output takes over.
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
    pa_threaded_mainloop_lock(loop);
    if (pa_threaded_mainloop_start(loop) < 0) {
        pa_threaded_mainloop_unlock(loop);
        return false;
    }
    bool open = WaitUntil([this]() -> std::optional<bool> {
        const pa_context_state_t state = pa_context_get_state(context);
        if (state == PA_CONTEXT_READY) return true;
        if (!PA_CONTEXT_IS_GOOD(state)) return false;
        return std::nullopt;
    });
    if (open) {
        const pa_sample_spec format{PA_SAMPLE_S16LE, OUTPUT_RATE, OUTPUT_CHANNELS};
        stream = pa_stream_new(context, "Pelorin", &format, nullptr);
        open = stream != nullptr;
    }
    if (open) {
        pa_stream_set_state_callback(stream, &StreamChanged, this);
        pa_stream_set_write_callback(stream, &Write, this);
        pa_stream_set_latency_update_callback(stream, &TimingCame, this);
        pa_buffer_attr attr{};
        attr.maxlength = UINT32_MAX;
        attr.tlength = AHEAD_FRAMES * FRAME_BYTES;
        // Plays again as soon as a block has come after running dry.
        attr.prebuf = ASKED_FRAMES * FRAME_BYTES;
        attr.minreq = ASKED_FRAMES * FRAME_BYTES;
        attr.fragsize = UINT32_MAX;
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
        open = pa_stream_connect_playback(stream, nullptr, &attr, flags, nullptr, nullptr) == 0 &&
               WaitUntil([this]() -> std::optional<bool> {
                   const pa_stream_state_t state = pa_stream_get_state(stream);
                   if (state == PA_STREAM_READY) return true;
                   if (!PA_STREAM_IS_GOOD(state)) return false;
                   return std::nullopt;
               });
    }
    if (open) {
        const char* name = pa_stream_get_device_name(stream);
        device = name != nullptr ? name : "default";
        const pa_buffer_attr* granted = pa_stream_get_buffer_attr(stream);
        const uint32_t ahead = granted != nullptr ? granted->tlength / FRAME_BYTES : AHEAD_FRAMES;
        bufferFrames = static_cast<int>(granted != nullptr ? granted->minreq / FRAME_BYTES : ASKED_FRAMES);
        fixedLatency = FramesToNanos(ahead + static_cast<uint64_t>(bufferFrames)) + MARGIN_NANOS;
    }
    pa_threaded_mainloop_unlock(loop);
    return open;
}

void PulseOutput::Write(pa_stream* stream, size_t bytes, void* userdata) {
    auto& self = *static_cast<PulseOutput*>(userdata);
    if (!self.raised) {
        RaiseSoundThread();
        self.raised = true;
    }
    while (bytes >= FRAME_BYTES) {
        void* data = nullptr;
        size_t size = bytes;
        if (pa_stream_begin_write(stream, &data, &size) < 0 || data == nullptr) return;
        size -= size % FRAME_BYTES;
        {
            std::lock_guard lock(self.mixer.mutex);
            self.mixer.MixNext(static_cast<int16_t*>(data), size / sizeof(int16_t));
        }
        if (pa_stream_write(stream, data, size, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
        bytes -= std::min(size, bytes);
    }
}

void PulseOutput::TimingCame(pa_stream* stream, void* userdata) {
    auto& self = *static_cast<PulseOutput*>(userdata);
    const pa_timing_info* info = pa_stream_get_timing_info(stream);
    if (info == nullptr || info->read_index_corrupt || info->read_index < 0) return;
    // The server's time stamp is on the system's wall clock: moved to the monotonic one.
    timeval wall{};
    gettimeofday(&wall, nullptr);
    const int64_t monotonic = MonotonicNanos();
    const int64_t stamp = int64_t{info->timestamp.tv_sec} * 1'000'000'000 + int64_t{info->timestamp.tv_usec} * 1000;
    const int64_t wallNow = int64_t{wall.tv_sec} * 1'000'000'000 + int64_t{wall.tv_usec} * 1000;
    // Stamped by the server when it answered, or (clocks apart) half way: the asking was sent a
    // transport time before.
    const int64_t transport = static_cast<int64_t>(info->transport_usec) * 1000;
    TimingSnapshot snapshot;
    snapshot.nanos = monotonic - (wallNow - stamp) + (info->synchronized_clocks ? 0 : transport);
    snapshot.askedNanos = monotonic - (wallNow - stamp) - transport;
    snapshot.framesTaken = static_cast<uint64_t>(info->read_index) / FRAME_BYTES;
    snapshot.latencyNanos = static_cast<int64_t>(info->sink_usec) * 1000;
    snapshot.framesSinceUnderrun = info->since_underrun > 0 ? static_cast<uint64_t>(info->since_underrun) / FRAME_BYTES : 0;
    snapshot.playing = info->playing != 0;
    std::lock_guard lock(self.timingMutex);
    self.timeline.Add(snapshot);
}

void PulseOutput::TimingAnswered(pa_stream*, int, void* userdata) {
    ++static_cast<PulseOutput*>(userdata)->answers;
}

uint64_t PulseOutput::AskTiming() {
    pa_threaded_mainloop_lock(loop);
    pa_operation* operation = pa_stream_update_timing_info(stream, &TimingAnswered, this);
    // An asking that could not be sent counts as answered: the timeline keeps what it had.
    if (operation != nullptr) {
        pa_operation_unref(operation);
        ++asked;
    }
    const uint64_t number = asked;
    pa_threaded_mainloop_unlock(loop);
    return number;
}

}  // namespace

std::unique_ptr<SystemOutput> OpenSystemOutput(Mixer& mixer) {
    auto output = std::make_unique<PulseOutput>(mixer);
    if (!output->Open()) return nullptr;
    return output;
}

}  // namespace pelorin::sdl
