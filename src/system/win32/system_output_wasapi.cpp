// The system's sound output on Windows: a WASAPI shared-mode stream, fed on a thread of its own each
// time the audio engine signals that it wants frames, with IAudioClock's position, stamped with the
// performance counter, read at every refill and whenever the program asks. Every COM call is made on
// that thread, whatever apartment the program's thread is in.
#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/system_output.h"
#include "system/monotonic_clock.h"
#include "system/win32/wasapi_com.h"
#include "system/win32/win32_handle.h"

namespace pelorin::sdl {

namespace {

// The engine's buffer asked for: 10 ms, in 100-ns units.
constexpr REFERENCE_TIME BUFFER_DURATION = 100'000;
// Wine's WASAPI works its position out from the sound server's timing and its own clock, and misses
// the server's output by milliseconds (against a null sink's monitor: 17 ms late on average, 2.8 ms
// standard deviation and more): under Wine no onset read from it is exact.
bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Beyond the buffer and the stream's own latency: the engine may take frames a little before it
// signals, and the position a sound is placed by is up to a buffer old.
constexpr int64_t MARGIN_NANOS = 2'000'000;

int64_t FramesToNanos(uint64_t frames) { return static_cast<int64_t>(frames * 1'000'000'000 / OUTPUT_RATE); }

class WasapiOutput : public SystemOutput {
public:
    explicit WasapiOutput(Mixer& mixer) : mixer(mixer) {}
    ~WasapiOutput() override;
    WasapiOutput(const WasapiOutput&) = delete;
    WasapiOutput& operator=(const WasapiOutput&) = delete;

    bool Open();

    std::string Driver() const override { return "wasapi"; }
    std::string DeviceName() const override { return "default"; }
    bool ReadsBackExactly() const override { return !underWine; }
    int BufferFrames() const override { return bufferFrames; }
    int64_t FixedLatencyNanos() const override { return fixedLatency; }
    uint64_t AskTiming() override {
        const uint64_t number = ++asked;
        SetEvent(timingAsked.Get());
        return number;
    }
    bool Answered(uint64_t number) override { return answers.load() >= number; }
    OutputTimeline Timeline() override {
        std::lock_guard lock(timingMutex);
        return timeline;
    }

private:
    // The feeding thread: opens the stream, says whether it could, then feeds it until stopped.
    void Run(std::promise<bool>& opened);
    bool Start(IAudioClient* client, IAudioRenderClient* render, IAudioClock* clock, REFERENCE_TIME period);
    void Refill(IAudioClient* client, IAudioRenderClient* render);
    void ReadClock(IAudioClock* clock);

    Mixer& mixer;
    std::thread thread;
    Win32Handle bufferWanted{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    Win32Handle timingAsked{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    Win32Handle stop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    int bufferFrames = 0;
    int64_t fixedLatency = 0;
    UINT32 engineFrames = 0;
    UINT32 aheadFrames = 0;
    UINT64 clockFrequency = 0;
    const bool underWine = UnderWine();
    // Frames handed to the engine, and where the stream last ran dry: the engine found nothing
    // left to play when it asked for the frames that follow.
    uint64_t written = 0;
    uint64_t dryAt = 0;

    std::mutex timingMutex;
    OutputTimeline timeline{OUTPUT_RATE};
    std::atomic<uint64_t> asked = 0;
    std::atomic<uint64_t> answers = 0;
};

WasapiOutput::~WasapiOutput() {
    if (thread.joinable()) {
        SetEvent(stop.Get());
        thread.join();
    }
}

bool WasapiOutput::Open() {
    if (!bufferWanted || !timingAsked || !stop) return false;
    std::promise<bool> opened;
    std::future<bool> result = opened.get_future();
    thread = std::thread([this, &opened] { Run(opened); });
    if (result.get()) return true;
    thread.join();
    return false;
}

void WasapiOutput::Run(std::promise<bool>& opened) {
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    {
        Com<IMMDeviceEnumerator> devices;
        Com<IMMDevice> device;
        Com<IAudioClient> client;
        Com<IAudioRenderClient> render;
        Com<IAudioClock> clock;
        WAVEFORMATEX format{};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = OUTPUT_CHANNELS;
        format.nSamplesPerSec = OUTPUT_RATE;
        format.wBitsPerSample = 16;
        format.nBlockAlign = 2 * OUTPUT_CHANNELS;
        format.nAvgBytesPerSec = OUTPUT_RATE * format.nBlockAlign;
        REFERENCE_TIME streamLatency = 0;
        REFERENCE_TIME period = 0;
        const bool open =
            com &&
            SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                       reinterpret_cast<void**>(&devices))) &&
            SUCCEEDED(devices->GetDefaultAudioEndpoint(eRender, eConsole, &device)) &&
            SUCCEEDED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&client))) &&
            SUCCEEDED(client->Initialize(AUDCLNT_SHAREMODE_SHARED,
                                         AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM |
                                             AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY,
                                         BUFFER_DURATION, 0, &format, nullptr)) &&
            SUCCEEDED(client->SetEventHandle(bufferWanted.Get())) &&
            SUCCEEDED(client->GetBufferSize(&engineFrames)) &&
            SUCCEEDED(client->GetStreamLatency(&streamLatency)) && SUCCEEDED(client->GetDevicePeriod(&period, nullptr)) &&
            SUCCEEDED(client->GetService(__uuidof(IAudioRenderClient), reinterpret_cast<void**>(&render))) &&
            SUCCEEDED(client->GetService(__uuidof(IAudioClock), reinterpret_cast<void**>(&clock))) &&
            SUCCEEDED(clock->GetFrequency(&clockFrequency)) && clockFrequency > 0 &&
            Start(client.p, render.p, clock.p, period);
        if (open) {
            bufferFrames = static_cast<int>(aheadFrames);
            fixedLatency = FramesToNanos(aheadFrames) + streamLatency * 100 + MARGIN_NANOS;
        }
        opened.set_value(open);
        if (open) {
            SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
            const HANDLE events[] = {stop.Get(), bufferWanted.Get(), timingAsked.Get()};
            for (;;) {
                const DWORD woken = WaitForMultipleObjects(3, events, FALSE, INFINITE);
                if (woken == WAIT_OBJECT_0 + 1) {
                    Refill(client.p, render.p);
                } else if (woken != WAIT_OBJECT_0 + 2) {
                    break;
                }
                ReadClock(clock.p);
            }
            client->Stop();
        }
    }
    if (com) CoUninitialize();
}

bool WasapiOutput::Start(IAudioClient* client, IAudioRenderClient* render, IAudioClock* clock, REFERENCE_TIME period) {
    // Two of the engine's periods kept in its buffer, however large it is: the engine signals every
    // period, and a sound asked for is placed after what is kept.
    aheadFrames = std::min<UINT32>(engineFrames, static_cast<UINT32>(2 * period * OUTPUT_RATE / 10'000'000));
    // The buffer is filled before the stream starts, so that it does not begin by running dry.
    Refill(client, render);
    dryAt = 0;
    if (FAILED(client->Start())) return false;
    ReadClock(clock);
    return true;
}

void WasapiOutput::Refill(IAudioClient* client, IAudioRenderClient* render) {
    UINT32 padding = 0;
    if (FAILED(client->GetCurrentPadding(&padding)) || padding >= aheadFrames) return;
    // Nothing left in the engine's buffer: it ran dry, and what is written now plays late.
    if (padding == 0) dryAt = written;
    const UINT32 frames = aheadFrames - padding;
    BYTE* data = nullptr;
    if (frames == 0 || FAILED(render->GetBuffer(frames, &data)) || data == nullptr) return;
    {
        std::lock_guard lock(mixer.mutex);
        mixer.MixNext(reinterpret_cast<int16_t*>(data), size_t{frames} * OUTPUT_CHANNELS);
    }
    render->ReleaseBuffer(frames, 0);
    written += frames;
}

void WasapiOutput::ReadClock(IAudioClock* clock) {
    const uint64_t answering = asked.load();
    const int64_t before = MonotonicNanos();
    UINT64 position = 0;
    UINT64 counter = 0;
    if (SUCCEEDED(clock->GetPosition(&position, &counter))) {
        // The position is the frame at the output when the performance counter (in 100-ns units)
        // read `counter`.
        TimingSnapshot snapshot;
        snapshot.nanos = static_cast<int64_t>(counter) * 100;
        snapshot.askedNanos = std::min(before, snapshot.nanos);
        snapshot.framesTaken = position * OUTPUT_RATE / clockFrequency;
        snapshot.latencyNanos = 0;
        snapshot.framesSinceUnderrun = snapshot.framesTaken - std::min(snapshot.framesTaken, dryAt);
        snapshot.playing = snapshot.framesTaken > 0;
        std::lock_guard lock(timingMutex);
        timeline.Add(snapshot);
    }
    answers = std::max(answers.load(), answering);
}

}  // namespace

std::unique_ptr<SystemOutput> OpenSystemOutput(Mixer& mixer) {
    auto output = std::make_unique<WasapiOutput>(mixer);
    if (!output->Open()) return nullptr;
    return output;
}

}  // namespace pelorin::sdl
