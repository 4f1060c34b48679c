#include "audio/sdl/sdl_audio.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "audio/audio_clock.h"
#include "audio/sound_mixer.h"
#include "audio/sound_thread.h"
#include "audio/system_output.h"
#include "audio/wav_file.h"
#include "system/monotonic_clock.h"
#include "system/warning.h"

namespace pelorin::sdl {

namespace {

using std::chrono::microseconds;

// Other buffer sizes crash SDL 2.26's dummy driver; 512 frames are 11.6 ms.
constexpr Uint16 DEVICE_FRAMES = 512;
// A synchronous play whose output stops taking samples gives up this long after the sound's end.
constexpr int64_t STALL_LIMIT_NANOS = 1'000'000'000;
// How often a wait for the sound server's answer looks again.
constexpr int64_t ANSWER_POLL_NANOS = 250'000;
// How long an output that has just opened may take to start playing the stream: a sound server may
// first play out what its sink holds from before (up to 2 s on a PulseAudio sink left idle).
constexpr int64_t START_LIMIT_NANOS = 3'000'000'000;
constexpr int64_t START_POLL_NANOS = 5'000'000;
// How long after a loosely pinned onset the server is still asked again: half of what a read-back
// reaches back (OutputTimeline::MAX_BACK_SECONDS).
constexpr int64_t LOOSE_RETRY_NANOS = 50'000'000;
// How often a synchronous play whose output is behind its plan looks again.
constexpr int64_t BEHIND_POLL_NANOS = 1'000'000;
// Askings in a row, each at least half a buffer after the one before, that show the device has
// settled: while a sound server's stream connects, SDL asks for buffers as fast as it can and
// drops them.
constexpr int SETTLED_ASKINGS = 16;

int64_t Nanos(microseconds duration) { return std::chrono::nanoseconds(duration).count(); }

// Waits until the monotonic clock reaches `until`, through the caller's wait.
void WaitTill(int64_t until, const std::function<void(int64_t)>& waitUntil) {
    while (MonotonicNanos() < until) waitUntil(until);
}

// SDL's converter has no 24-bit format: each sample goes into the top of a 32-bit one.
std::vector<uint8_t> Widen24To32(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> wide(bytes.size() / 3 * 4);
    for (size_t in = 0, out = 0; in + 3 <= bytes.size(); in += 3, out += 4) {
        wide[out] = 0;
        std::memcpy(&wide[out + 1], &bytes[in], 3);
    }
    return wide;
}

// Converts with SDL_AudioCVT in one go: SDL 2.26's SDL_AudioStream cuts ~12 ms off resampled ends.
std::vector<int16_t> ConvertToDevice(const WavData& wav, const SDL_AudioSpec& output) {
    if (wav.bytes.empty() || wav.info.channels > UINT8_MAX) {
        return {};
    }
    std::vector<uint8_t> source;
    SDL_AudioFormat format = AUDIO_S32LSB;
    switch (wav.info.bitsPerSample) {
    case 8:
        format = AUDIO_U8;
        break;
    case 16:
        format = AUDIO_S16LSB;
        break;
    case 24:
        source = Widen24To32(wav.bytes);
        break;
    default:
        break;
    }
    const std::vector<uint8_t>& input = source.empty() ? wav.bytes : source;
    SDL_AudioCVT cvt{};
    if (SDL_BuildAudioCVT(&cvt, format, static_cast<Uint8>(wav.info.channels), wav.info.sampleRate,
                          output.format, output.channels, output.freq) < 0 ||
        input.size() > static_cast<size_t>(INT_MAX / cvt.len_mult)) {
        return {};
    }
    std::vector<uint8_t> buffer(input.size() * static_cast<size_t>(cvt.len_mult));
    std::memcpy(buffer.data(), input.data(), input.size());
    cvt.buf = buffer.data();
    cvt.len = static_cast<int>(input.size());
    if (SDL_ConvertAudio(&cvt) < 0) {
        return {};
    }
    size_t count = static_cast<size_t>(cvt.len_cvt) / sizeof(int16_t);
    count -= count % output.channels;
    std::vector<int16_t> samples(count);
    std::memcpy(samples.data(), buffer.data(), count * sizeof(int16_t));
    return samples;
}

void SayRunningSilent() {
    const char* reason = SDL_GetError();
    Warn(std::string("no audio device (") + (*reason != '\0' ? reason : "unknown reason") + "); running silent");
}

class AudioSubsystem {
public:
    AudioSubsystem() : initialised(SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {}
    ~AudioSubsystem() {
        if (initialised) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        }
    }
    AudioSubsystem(const AudioSubsystem&) = delete;
    AudioSubsystem& operator=(const AudioSubsystem&) = delete;

    const bool initialised;
};

class AudioDevice {
public:
    AudioDevice() = default;
    ~AudioDevice() {
        if (id != 0) {
            SDL_CloseAudioDevice(id);
        }
    }
    AudioDevice(const AudioDevice&) = delete;
    AudioDevice& operator=(const AudioDevice&) = delete;

    SDL_AudioDeviceID id = 0;
};

// SDL's output: the device asks for buffers on its own thread, and the pace of its askings tells
// when each frame is due. It cannot say when a frame really reached the output.
class SdlOutput {
public:
    explicit SdlOutput(Mixer& mixer);

    bool IsOpen() const { return device.id != 0; }

    // The format the device was opened with.
    SDL_AudioSpec output{};
    // Under the mixer's lock.
    std::unique_ptr<AudioClock> clock;

private:
    static void SDLCALL Callback(void* userdata, Uint8* stream, int len);

    Mixer& mixer;
    // Under the mixer's lock.
    int64_t lastAsked = 0;
    int steadyAskings = 0;
    bool settled = false;
    // Callback thread only.
    bool raised = false;
    std::vector<int16_t> mixBuffer;

    // Declared last, so the device closes (and its callback stops) before any other member goes.
    AudioSubsystem subsystem;
    AudioDevice device;
};

SdlOutput::SdlOutput(Mixer& mixer) : mixer(mixer) {
    if (!subsystem.initialised) return;
    SDL_AudioSpec wanted{};
    wanted.freq = OUTPUT_RATE;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = OUTPUT_CHANNELS;
    wanted.samples = DEVICE_FRAMES;
    wanted.callback = &Callback;
    wanted.userdata = this;
    // NOTE: no changes allowed: SDL converts to whatever the hardware takes, so every sound is
    // converted here to this one fixed format.
    device.id = SDL_OpenAudioDevice(nullptr, 0, &wanted, &output, 0);
    if (device.id == 0) return;
    clock = std::make_unique<AudioClock>(output.freq, output.samples);
    mixBuffer.resize(output.size / sizeof(int16_t));
    // The device runs from now on, playing silence between sounds, so that its pace is known when
    // the first sound is asked for and every sound starts at the same latency. Until it has settled,
    // a fraction of a second, a sound starts in the next buffer.
    SDL_PauseAudioDevice(device.id, 0);
}

void SDLCALL SdlOutput::Callback(void* userdata, Uint8* stream, int len) {
    auto& self = *static_cast<SdlOutput*>(userdata);
    const int64_t now = MonotonicNanos();
    if (!self.raised) {
        RaiseSoundThread();
        self.raised = true;
    }
    const size_t count = static_cast<size_t>(len) / sizeof(int16_t);
    if (self.mixBuffer.size() != count) {
        self.mixBuffer.resize(count);
    }
    {
        std::lock_guard lock(self.mixer.mutex);
        const int64_t bufferNanos = self.clock->FramesToNanos(self.output.samples);
        self.steadyAskings = now - self.lastAsked >= bufferNanos / 2 ? self.steadyAskings + 1 : 0;
        self.lastAsked = now;
        if (!self.settled && self.steadyAskings >= SETTLED_ASKINGS) {
            self.settled = true;
            self.clock = std::make_unique<AudioClock>(self.output.freq, self.output.samples);
        }
        if (self.settled) self.clock->Asked(self.mixer.framesMixed, now);
        self.mixer.MixNext(self.mixBuffer.data(), count);
    }
    std::memcpy(stream, self.mixBuffer.data(), count * sizeof(int16_t));
}

}  // namespace

// Which output opens: SDL's where SDL_AUDIODRIVER names one of its other drivers (the tests' dummy
// and disk), the system's own where a sound server answers, SDL's again where none does.
enum class OutputChoice { SystemFirst, Sdl };

class Audio::Device {
public:
    explicit Device(OutputChoice choice);

    bool IsOpen() const { return system != nullptr || (sdl != nullptr && sdl->IsOpen()); }
    std::shared_ptr<const Sound> Load(const std::string& path);
    int64_t FixedLatencyNanos() const;
    void Play(const std::shared_ptr<const Sound>& sound, int64_t called, const std::function<void(int64_t)>& waitUntil);

    // Loaded sounds by path: tones are played hundreds of times a block. Main thread only.
    std::unordered_map<std::string, std::shared_ptr<const Sound>> cache;
    StartMode startMode = StartMode::SamplePlaced;
    PlayedSound last;
    // When the system's output opened, and whether it has been seen playing (or given up on).
    int64_t openedNanos = 0;
    bool started = false;

    // Declared before the outputs, so that it outlives their threads.
    Mixer mixer;
    std::unique_ptr<SystemOutput> system;
    std::unique_ptr<SdlOutput> sdl;

    // Until the system's output plays the stream (its timeline is known), for at most START_LIMIT_NANOS
    // after it opened, through the caller's wait; at once when it already does.
    void WaitForSystemOutput(const std::function<void(int64_t)>& waitUntil);

private:
    void PlayThroughSystem(const Sound& sound, uint64_t start, const std::function<void(int64_t)>& waitUntil);
    void PlayThroughSdl(const Sound& sound, int64_t called, uint64_t start,
                        const std::function<void(int64_t)>& waitUntil);
};

namespace {

bool SdlDriverNamed() {
    // SDL's own, which reads what SDL_setenv set on every system.
    const char* driver = SDL_getenv("SDL_AUDIODRIVER");
    if (driver == nullptr || *driver == '\0') return false;
    const std::string name = driver;
    return name != "pulseaudio" && name != "pipewire";
}

}  // namespace

Audio::Device::Device(OutputChoice choice) {
    if (choice == OutputChoice::SystemFirst && !SdlDriverNamed()) system = OpenSystemOutput(mixer);
    if (system == nullptr) {
        sdl = std::make_unique<SdlOutput>(mixer);
        if (!sdl->IsOpen()) {
            SayRunningSilent();
            return;
        }
    }
    // NOTE: the output is not waited on here. It warms up on its own while the window opens and the
    // experimenter registers; the first synchronous play waits for it (WaitForSystemOutput).
    openedNanos = MonotonicNanos();
    const std::string systemDriver = system != nullptr ? system->Driver() : "";
    const char* driver = system != nullptr ? systemDriver.c_str() : SDL_GetCurrentAudioDriver();
    const int frames = system != nullptr ? system->BufferFrames() : int{sdl->output.samples};
    // Said on standard output: standard error is for what went wrong.
    std::printf("pelorin: sounds start %.2f ms after they are asked for (%s, %d Hz, %d-frame buffers)\n",
                static_cast<double>(FixedLatencyNanos()) / 1e6, driver != nullptr ? driver : "unknown", OUTPUT_RATE,
                frames);
    std::fflush(stdout);
}

void Audio::Device::WaitForSystemOutput(const std::function<void(int64_t)>& waitUntil) {
    // A sound asked for before the stream plays would be placed by guesswork and could start a second
    // or more late, or be given up on while it waits and recorded unplayed though it then plays.
    if (started || system == nullptr) return;
    const int64_t giveUp = openedNanos + START_LIMIT_NANOS;
    for (;;) {
        const uint64_t asked = system->AskTiming();
        while (!system->Answered(asked) && MonotonicNanos() < giveUp) WaitTill(MonotonicNanos() + ANSWER_POLL_NANOS, waitUntil);
        if (system->Timeline().Known()) break;
        if (MonotonicNanos() >= giveUp) {
            Warn("the sound output did not start playing within " + std::to_string(START_LIMIT_NANOS / 1'000'000'000) +
                 " s of opening: the first sounds may start late");
            break;
        }
        WaitTill(MonotonicNanos() + START_POLL_NANOS, waitUntil);
    }
    started = true;
}

int64_t Audio::Device::FixedLatencyNanos() const {
    if (system != nullptr) return system->FixedLatencyNanos();
    return sdl != nullptr && sdl->IsOpen() ? sdl->clock->FixedLatencyNanos() : 0;
}

std::shared_ptr<const Sound> Audio::Device::Load(const std::string& path) {
    if (const auto cached = cache.find(path); cached != cache.end()) {
        return cached->second;
    }
    auto sound = std::make_shared<Sound>();
    if (IsOpen()) {
        const auto wav = ReadWavData(path);
        if (!wav) {
            return nullptr;
        }
        sound->duration = microseconds(wav->info.DurationMicros());
        SDL_AudioSpec output{};
        output.freq = OUTPUT_RATE;
        output.format = AUDIO_S16SYS;
        output.channels = OUTPUT_CHANNELS;
        sound->samples = ConvertToDevice(*wav, output);
    } else {
        const auto info = ReadWavInfo(path);
        if (!info) {
            return nullptr;
        }
        sound->duration = microseconds(info->DurationMicros());
    }
    cache.emplace(path, sound);
    return sound;
}

void Audio::Device::Play(const std::shared_ptr<const Sound>& sound, int64_t called,
                         const std::function<void(int64_t)>& waitUntil) {
    uint64_t start = 0;
    {
        std::lock_guard lock(mixer.mutex);
        // A sound asked for too late for its place (the first one, after a stall) goes in the next block.
        start = mixer.framesMixed;
        const int64_t due = called + FixedLatencyNanos();
        if (system != nullptr) {
            if (const std::optional<uint64_t> frame = system->Timeline().FrameAt(due)) start = std::max(start, *frame);
        } else if (startMode == StartMode::SamplePlaced && sdl->clock->Known()) {
            start = std::max(start, sdl->clock->FrameAt(due));
        }
        mixer.syncVoice = Voice{sound, 0, true, start};
        mixer.syncFinished = false;
    }
    if (system != nullptr) {
        PlayThroughSystem(*sound, start, waitUntil);
    } else {
        PlayThroughSdl(*sound, called, start, waitUntil);
    }
    // SDL's dummy and disk drivers wait whole milliseconds per buffer and so run ~5% fast; the run
    // still gets the sound's full duration.
    WaitTill(called + Nanos(sound->duration), waitUntil);
}

void Audio::Device::PlayThroughSystem(const Sound& sound, uint64_t start, const std::function<void(int64_t)>& waitUntil) {
    const uint64_t end = start + sound.samples.size() / OUTPUT_CHANNELS;
    const int64_t length = Nanos(sound.duration);
    const int64_t planned = system->Timeline().PlannedNanos(start).value_or(MonotonicNanos() + FixedLatencyNanos());
    const int64_t giveUp = planned + length + STALL_LIMIT_NANOS;
    // Asks the server for its timing and waits for the answer; false once the play has given up.
    const auto askTiming = [&]() {
        const uint64_t asked = system->AskTiming();
        for (int64_t now = MonotonicNanos(); !system->Answered(asked); now = MonotonicNanos()) {
            if (now > giveUp) return false;
            waitUntil(now + ANSWER_POLL_NANOS);
        }
        return true;
    };
    // Once the first frame is due, the server has taken it: the timing it gives then says when that
    // frame reached the output, and whether the stream ran dry after it.
    WaitTill(planned, waitUntil);
    // The server's answers pin the onset down closer the sooner each comes: it is asked again
    // while the first frame is within reach of a read-back and the answers leave it loose.
    std::optional<PlayedTime> onset;
    while (askTiming()) {
        const OutputTimeline timeline = system->Timeline();
        if (!timeline.Taken(start)) {
            // Not taken yet: the stream ran dry, or the server is late (or gone).
            if (MonotonicNanos() > giveUp) break;
            WaitTill(MonotonicNanos() + BEHIND_POLL_NANOS, waitUntil);
            continue;
        }
        onset = timeline.PlayedAt(start);
        if (!onset || onset->exact || MonotonicNanos() > onset->nanos + LOOSE_RETRY_NANOS) break;
    }
    // Then until the last frame has been played: by the time it is due the server has taken it (as
    // little as a fraction of a millisecond before, on a sink that keeps little ahead), and its
    // timing then says whether it has played.
    std::optional<PlayedTime> ended;
    for (;;) {
        const int64_t due = system->Timeline().PlannedNanos(end).value_or(planned + length);
        WaitTill(std::min(due, giveUp), waitUntil);
        if (!askTiming()) break;
        const OutputTimeline timeline = system->Timeline();
        bool finished = false;
        {
            std::lock_guard lock(mixer.mutex);
            finished = mixer.syncFinished;
        }
        if (finished && timeline.Taken(end)) {
            ended = timeline.PlayedAt(end);
            if (ended) WaitTill(ended->nanos, waitUntil);
            break;
        }
        if (MonotonicNanos() > giveUp) break;
        WaitTill(MonotonicNanos() + BEHIND_POLL_NANOS, waitUntil);
    }
    if (!ended || !onset) {
        {
            std::lock_guard lock(mixer.mutex);
            mixer.syncVoice.playing = false;
        }
        // The server stalled or went: a tone whose first frame it took has started, and may play on
        // once it comes back, so it keeps its planned onset; only one it never took went unheard.
        if (onset || system->Timeline().Taken(start)) last = PlayedSound{planned, length, true, false};
        return;
    }
    last = PlayedSound{onset->nanos, ended->nanos - onset->nanos, true, onset->exact && system->ReadsBackExactly()};
}

void Audio::Device::PlayThroughSdl(const Sound& sound, int64_t called, uint64_t start,
                                   const std::function<void(int64_t)>& waitUntil) {
    const uint64_t end = start + sound.samples.size() / OUTPUT_CHANNELS;
    const int64_t giveUp = called + FixedLatencyNanos() + Nanos(sound.duration) + STALL_LIMIT_NANOS;
    int64_t due = 0;
    {
        std::lock_guard lock(mixer.mutex);
        due = sdl->clock->OutputNanos(end);
    }
    // The device hands out the last sample a buffer or two before it is due: by then it has.
    WaitTill(std::min(due, giveUp), waitUntil);
    for (;;) {
        {
            std::lock_guard lock(mixer.mutex);
            if (mixer.syncFinished) break;
            if (MonotonicNanos() > giveUp) {
                mixer.syncVoice.playing = false;
                return;
            }
        }
        WaitTill(MonotonicNanos() + BEHIND_POLL_NANOS, waitUntil);
    }
    // When the sound played, from the device's pace as it stands now that it has played.
    int64_t onset = 0;
    {
        std::lock_guard lock(mixer.mutex);
        onset = sdl->clock->OutputNanos(start);
        due = sdl->clock->OutputNanos(end);
    }
    last = PlayedSound{onset, due - onset, true, false};
    WaitTill(due, waitUntil);
}

Audio::Audio() : device(std::make_unique<Device>(OutputChoice::SystemFirst)) {}

Audio::~Audio() = default;

bool Audio::Silent() const {
    return !device->IsOpen();
}

AudioOutput Audio::Describe() const {
    AudioOutput output;
    if (!device->IsOpen()) {
        return output;
    }
    output.silent = false;
    output.rate = OUTPUT_RATE;
    output.fixedLatencyMs = static_cast<double>(device->FixedLatencyNanos()) / 1e6;
    if (device->system != nullptr) {
        output.driver = device->system->Driver();
        output.device = device->system->DeviceName();
        output.bufferFrames = device->system->BufferFrames();
        return output;
    }
    const char* driver = SDL_GetCurrentAudioDriver();
    output.driver = driver != nullptr ? driver : "unknown";
    char* name = nullptr;
    SDL_AudioSpec defaultFormat{};
    // The device is opened as the system's default: this names the one that is.
    if (SDL_GetDefaultAudioInfo(&name, &defaultFormat, 0) == 0 && name != nullptr) {
        output.device = name;
        SDL_free(name);
    } else {
        output.device = "default";
    }
    output.rate = device->sdl->output.freq;
    output.bufferFrames = device->sdl->output.samples;
    return output;
}

int64_t Audio::FixedLatencyNanos() const {
    return device->FixedLatencyNanos();
}

void Audio::UseSdlOutputFromNextBuffer() {
    device.reset();
    device = std::make_unique<Device>(OutputChoice::Sdl);
    device->startMode = StartMode::NextBuffer;
}

PlayedSound Audio::LastPlayed() const {
    return device->last;
}

void Audio::WaitUntilPlaying(const std::function<void(int64_t untilNanos)>& waitUntil) {
    device->WaitForSystemOutput(waitUntil);
}

void Audio::PlaySync(const std::string& path, const std::function<void(int64_t untilNanos)>& waitUntil) {
    // A sound asked for while the output still warms up is placed once it plays, from then on.
    device->WaitForSystemOutput(waitUntil);
    const int64_t called = MonotonicNanos();
    device->last = PlayedSound{called, 0, false, false};
    const auto sound = device->Load(path);
    if (!sound) {
        return;
    }
    device->last.durationNanos = Nanos(sound->duration);
    if (sound->samples.empty()) {
        // Silent mode, or a format the output cannot take: the run keeps the sound's timing.
        WaitTill(called + Nanos(sound->duration), waitUntil);
        return;
    }
    device->Play(sound, called, waitUntil);
}

int Audio::Open(const std::string& path) {
    auto sound = device->Load(path);
    if (!sound) {
        return -1;
    }
    std::lock_guard lock(device->mixer.mutex);
    const int handle = device->mixer.nextHandle++;
    device->mixer.players.emplace(handle, Voice{std::move(sound), 0, false});
    return handle;
}

void Audio::Rewind(int handle) {
    std::lock_guard lock(device->mixer.mutex);
    if (const auto player = device->mixer.players.find(handle); player != device->mixer.players.end()) {
        player->second.position = 0;
        player->second.playing = false;
    }
}

void Audio::Play(int handle) {
    std::lock_guard lock(device->mixer.mutex);
    if (const auto player = device->mixer.players.find(handle); player != device->mixer.players.end()) {
        Voice& voice = player->second;
        // NOTE: a sound played to its end stays there until rewound, so playing it again is silent.
        voice.playing = voice.position < voice.sound->samples.size();
    }
}

void Audio::Close(int handle) {
    std::lock_guard lock(device->mixer.mutex);
    device->mixer.players.erase(handle);
}

void Audio::CloseAll() {
    std::lock_guard lock(device->mixer.mutex);
    device->mixer.players.clear();
}

}  // namespace pelorin::sdl
