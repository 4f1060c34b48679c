#include "platform/sdl/sdl_audio.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/sdl/audio_clock.h"
#include "platform/sdl/input_wait.h"
#include "platform/sdl/sound_thread.h"
#include "platform/warning.h"
#include "platform/wav_file.h"

namespace pelorin::sdl {

namespace {

using std::chrono::microseconds;

constexpr int DEVICE_RATE = 44100;
constexpr Uint8 DEVICE_CHANNELS = 2;
// Other buffer sizes crash SDL 2.26's dummy driver; 512 frames are 11.6 ms.
constexpr Uint16 DEVICE_FRAMES = 512;
// A synchronous play whose device stops taking samples gives up this long after the sound's end.
constexpr auto STALL_LIMIT = std::chrono::seconds(1);
// How often a play past its end looks again whether the device has taken its last sample.
constexpr int64_t STALL_CHECK_NANOS = 1'000'000;
// Askings in a row, each at least half a buffer after the one before, that show the device has
// settled: while a sound server's stream connects, SDL asks for buffers as fast as it can and
// drops them.
constexpr int SETTLED_ASKINGS = 16;

// A wave file converted to the device's format.
struct Sound {
    microseconds duration{0};
    // Interleaved device samples; empty if the device cannot take the file's format.
    std::vector<int16_t> samples;
};

struct Voice {
    std::shared_ptr<const Sound> sound;
    size_t position = 0;
    bool playing = false;
    // The stream's frame its first sample goes out in; a frame already passed means at once.
    uint64_t startFrame = 0;
};

// Adds a playing voice's next samples to the buffer that starts at the stream's frame bufferStart;
// true if it handed out its last sample just now.
bool MixVoice(Voice& voice, int16_t* out, size_t count, uint64_t bufferStart, size_t channels) {
    if (!voice.playing) {
        return false;
    }
    size_t skip = 0;
    if (voice.position == 0 && voice.startFrame > bufferStart) {
        const uint64_t framesAhead = voice.startFrame - bufferStart;
        if (framesAhead * channels >= count) {
            return false;
        }
        skip = static_cast<size_t>(framesAhead) * channels;
    }
    const std::vector<int16_t>& samples = voice.sound->samples;
    const size_t n = std::min(count - skip, samples.size() - voice.position);
    for (size_t i = 0; i < n; ++i) {
        const int sum = out[skip + i] + samples[voice.position + i];
        out[skip + i] = static_cast<int16_t>(std::clamp(sum, INT16_MIN, INT16_MAX));
    }
    voice.position += n;
    if (voice.position < samples.size()) {
        return false;
    }
    voice.playing = false;
    return true;
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

}  // namespace

class Audio::Device {
public:
    Device();

    bool IsOpen() const { return device.id != 0; }
    std::shared_ptr<const Sound> Load(const std::string& path);

    // The format the device was opened with, which every sound is converted to.
    SDL_AudioSpec output{};
    // Loaded sounds by path: tones are played hundreds of times a block. Main thread only.
    std::unordered_map<std::string, std::shared_ptr<const Sound>> cache;
    StartMode startMode = StartMode::SamplePlaced;
    PlayedSound last;

    // Shared with the callback.
    std::mutex mutex;
    std::map<int, Voice> players;
    int nextHandle = 0;
    Voice syncVoice;
    bool syncFinished = false;
    // Frames of the stream handed to the device so far, and when it asked for them.
    uint64_t framesMixed = 0;
    std::unique_ptr<AudioClock> clock;
    int64_t lastAsked = 0;
    int steadyAskings = 0;
    bool settled = false;
    // Callback thread only.
    bool raised = false;

private:
    static void SDLCALL Callback(void* userdata, Uint8* stream, int len);

    // Callback thread only.
    std::vector<int16_t> mixBuffer;

    // Declared last, so the device closes (and its callback stops) before any other member goes.
    AudioSubsystem subsystem;
    AudioDevice device;
};

Audio::Device::Device() {
    if (!subsystem.initialised) {
        SayRunningSilent();
        return;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = DEVICE_RATE;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = DEVICE_CHANNELS;
    wanted.samples = DEVICE_FRAMES;
    wanted.callback = &Callback;
    wanted.userdata = this;
    // NOTE: no changes allowed: SDL converts to whatever the hardware takes, so every sound is
    // converted here to this one fixed format.
    device.id = SDL_OpenAudioDevice(nullptr, 0, &wanted, &output, 0);
    if (device.id == 0) {
        SayRunningSilent();
        return;
    }
    clock = std::make_unique<AudioClock>(output.freq, output.samples);
    mixBuffer.resize(output.size / sizeof(int16_t));
    // The device runs from now on, playing silence between sounds, so that its pace is known when
    // the first sound is asked for and every sound starts at the same latency. Until it has settled,
    // a fraction of a second, a sound starts in the next buffer.
    SDL_PauseAudioDevice(device.id, 0);
    const char* driver = SDL_GetCurrentAudioDriver();
    // Said on standard output: standard error is for what went wrong.
    std::printf("pelorin: sounds start %.2f ms after they are asked for (%s, %d Hz, %d-frame buffers)\n",
                static_cast<double>(clock->FixedLatencyNanos()) / 1e6, driver != nullptr ? driver : "unknown",
                output.freq, int{output.samples});
    std::fflush(stdout);
}

void SDLCALL Audio::Device::Callback(void* userdata, Uint8* stream, int len) {
    auto& self = *static_cast<Device*>(userdata);
    const int64_t now = MonotonicNanos();
    if (!self.raised) {
        RaiseSoundThread();
        self.raised = true;
    }
    const size_t count = static_cast<size_t>(len) / sizeof(int16_t);
    if (self.mixBuffer.size() != count) {
        self.mixBuffer.resize(count);
    }
    std::fill(self.mixBuffer.begin(), self.mixBuffer.end(), int16_t{0});
    {
        std::lock_guard lock(self.mutex);
        const uint64_t bufferStart = self.framesMixed;
        const size_t channels = self.output.channels;
        const int64_t bufferNanos = self.clock->FramesToNanos(self.output.samples);
        self.steadyAskings = now - self.lastAsked >= bufferNanos / 2 ? self.steadyAskings + 1 : 0;
        self.lastAsked = now;
        if (!self.settled && self.steadyAskings >= SETTLED_ASKINGS) {
            self.settled = true;
            self.clock = std::make_unique<AudioClock>(self.output.freq, self.output.samples);
        }
        if (self.settled) self.clock->Asked(bufferStart, now);
        for (auto& player : self.players) {
            MixVoice(player.second, self.mixBuffer.data(), count, bufferStart, channels);
        }
        if (MixVoice(self.syncVoice, self.mixBuffer.data(), count, bufferStart, channels)) {
            self.syncFinished = true;
        }
        self.framesMixed += count / channels;
    }
    std::memcpy(stream, self.mixBuffer.data(), count * sizeof(int16_t));
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

Audio::Audio() : device(std::make_unique<Device>()) {}

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
    output.rate = device->output.freq;
    output.bufferFrames = device->output.samples;
    return output;
}

int64_t Audio::FixedLatencyNanos() const {
    return device->IsOpen() ? device->clock->FixedLatencyNanos() : 0;
}

void Audio::SetStartMode(StartMode mode) {
    device->startMode = mode;
}

PlayedSound Audio::LastPlayed() const {
    return device->last;
}

void Audio::PlaySync(const std::string& path, const std::function<void(int64_t untilNanos)>& waitUntil) {
    const int64_t called = MonotonicNanos();
    device->last = PlayedSound{called, 0, false};
    const auto sound = device->Load(path);
    if (!sound) {
        return;
    }
    device->last.durationNanos = std::chrono::nanoseconds(sound->duration).count();
    if (sound->samples.empty()) {
        // Silent mode, or a format the device cannot take: the run keeps the sound's timing.
        const int64_t until = called + std::chrono::nanoseconds(sound->duration).count();
        while (MonotonicNanos() < until) waitUntil(until);
        return;
    }
    Device& d = *device;
    const uint64_t frames = sound->samples.size() / d.output.channels;
    std::unique_lock lock(d.mutex);
    // A sound asked for too late for its place (the first one, after a stall) goes in the next buffer.
    uint64_t start = d.framesMixed;
    if (d.startMode == StartMode::SamplePlaced && d.clock->Known()) {
        start = std::max(start, d.clock->FrameAt(called + d.clock->FixedLatencyNanos()));
    }
    d.syncVoice = Voice{sound, 0, true, start};
    d.syncFinished = false;
    // Start-at-next-buffer's sound begins in the buffer after the one being filled at the call.
    const int64_t onset = d.clock->OutputNanos(start);
    const int64_t end = d.clock->OutputNanos(start + frames);
    const int64_t durationNanos = std::chrono::nanoseconds(sound->duration).count();
    const int64_t giveUp =
        called + d.clock->FixedLatencyNanos() + durationNanos + std::chrono::nanoseconds(STALL_LIMIT).count();
    // SDL's dummy and disk drivers wait whole milliseconds per buffer and so run ~5% fast; the run
    // still gets the sound's full duration.
    const int64_t until = std::max(end, called + durationNanos);
    lock.unlock();
    // The caller's wait takes in input meanwhile; it holds no lock of this device.
    for (;;) {
        const bool finished = [&d] {
            std::lock_guard guard(d.mutex);
            return d.syncFinished;
        }();
        const int64_t now = MonotonicNanos();
        if (finished && now >= until) break;
        if (!finished && now >= giveUp) {
            std::lock_guard guard(d.mutex);
            d.syncVoice.playing = false;
            return;
        }
        // Past the sound's end and its last sample not yet taken: the device is late; looked at again
        // every millisecond until it gives up.
        waitUntil(now < until ? until : std::min(giveUp, now + STALL_CHECK_NANOS));
    }
    d.last = PlayedSound{onset, end - onset, true};
}

int Audio::Open(const std::string& path) {
    auto sound = device->Load(path);
    if (!sound) {
        return -1;
    }
    std::lock_guard lock(device->mutex);
    const int handle = device->nextHandle++;
    device->players.emplace(handle, Voice{std::move(sound), 0, false});
    return handle;
}

void Audio::Rewind(int handle) {
    std::lock_guard lock(device->mutex);
    if (const auto player = device->players.find(handle); player != device->players.end()) {
        player->second.position = 0;
        player->second.playing = false;
    }
}

void Audio::Play(int handle) {
    std::lock_guard lock(device->mutex);
    if (const auto player = device->players.find(handle); player != device->players.end()) {
        Voice& voice = player->second;
        // NOTE: a sound played to its end stays there until rewound, so playing it again is silent.
        voice.playing = voice.position < voice.sound->samples.size();
    }
}

void Audio::Close(int handle) {
    std::lock_guard lock(device->mutex);
    device->players.erase(handle);
}

void Audio::CloseAll() {
    std::lock_guard lock(device->mutex);
    device->players.clear();
}

}  // namespace pelorin::sdl
