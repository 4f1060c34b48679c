// Recording an input through PulseAudio's simple interface (PipeWire serves it too): small fragments
// read on a thread of their own, so that each block's arrival follows the input closely.
#include <pulse/error.h>
#include <pulse/simple.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "audio/sound_thread.h"
#include "measure/sound_capture.h"

namespace pelorin::measure {

namespace {

constexpr int RATE = 44100;
// 2 ms a read: the server hands over that much at a time.
constexpr size_t READ_FRAMES = 88;

class PulseCapture : public SoundCapture {
public:
    PulseCapture(std::string name, std::function<int64_t()> nowMicros)
        : name(std::move(name)), nowMicros(std::move(nowMicros)) {}
    ~PulseCapture() override { Stop(); }
    PulseCapture(const PulseCapture&) = delete;
    PulseCapture& operator=(const PulseCapture&) = delete;

    std::string Describe() const override {
        return "pulseaudio: " + (name.empty() ? std::string("the default input") : name);
    }

    bool Start(std::string& error) override {
        const pa_sample_spec format{PA_SAMPLE_S16LE, RATE, 1};
        pa_buffer_attr attr{};
        attr.maxlength = UINT32_MAX;
        attr.fragsize = static_cast<uint32_t>(READ_FRAMES * sizeof(int16_t));
        int failure = 0;
        stream = pa_simple_new(nullptr, "Pelorin", PA_STREAM_RECORD, name.empty() ? nullptr : name.c_str(),
                               "timing check by cable", &format, nullptr, &attr, &failure);
        if (stream == nullptr) {
            error = std::string("PulseAudio cannot record ") + (name.empty() ? "the default input" : name) + ": " +
                    pa_strerror(failure);
            return false;
        }
        recording.rate = RATE;
        reader = std::thread([this] { Read(); });
        return true;
    }

    Recording Stop() override {
        stopping = true;
        if (reader.joinable()) reader.join();
        if (stream != nullptr) {
            pa_simple_free(stream);
            stream = nullptr;
        }
        std::lock_guard lock(mutex);
        return recording;
    }

private:
    void Read() {
        // Stamped as promptly as the output is fed: a late wake-up would read as a late sample.
        pelorin::sdl::RaiseSoundThread();
        int16_t block[READ_FRAMES];
        while (!stopping) {
            int failure = 0;
            if (pa_simple_read(stream, block, sizeof block, &failure) < 0) break;
            const double now = static_cast<double>(nowMicros());
            std::lock_guard lock(mutex);
            recording.samples.insert(recording.samples.end(), block, block + READ_FRAMES);
            recording.arrivals.emplace_back(static_cast<double>(recording.samples.size()), now);
        }
    }

    std::string name;
    std::function<int64_t()> nowMicros;
    pa_simple* stream = nullptr;
    std::thread reader;
    std::atomic<bool> stopping = false;
    std::mutex mutex;
    Recording recording;
};

}  // namespace

std::unique_ptr<SoundCapture> MakeSoundCapture(const std::string& name, std::function<int64_t()> nowMicros) {
    return std::make_unique<PulseCapture>(name, std::move(nowMicros));
}

}  // namespace pelorin::measure
