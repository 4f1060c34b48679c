// Recording an input through WASAPI capture in shared mode, as 16-bit mono at 44.1 kHz (the engine
// converts), on a thread of its own woken each time the engine has a packet; every COM call is made
// on that thread.
#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <propidl.h>

#include <atomic>
#include <cwctype>
#include <future>
#include <mutex>
#include <thread>

#include "measure/sound_capture.h"
#include "system/win32/wasapi_com.h"
#include "system/win32/win32_handle.h"

namespace pelorin::measure {

namespace {

constexpr int RATE = 44100;
// The engine's buffer asked for: 10 ms, in 100-ns units.
constexpr REFERENCE_TIME BUFFER_DURATION = 100'000;
// PKEY_Device_FriendlyName, spelt out: not every SDK's headers define it.
constexpr PROPERTYKEY FRIENDLY_NAME{{0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::string FriendlyName(IMMDevice* device) {
    Com<IPropertyStore> properties;
    if (FAILED(device->OpenPropertyStore(STGM_READ, &properties))) return "";
    PROPVARIANT value;
    PropVariantInit(&value);
    std::string name;
    if (SUCCEEDED(properties->GetValue(FRIENDLY_NAME, &value)) && value.vt == VT_LPWSTR && value.pwszVal != nullptr) {
        name = Utf8FromWide(value.pwszVal);
    }
    PropVariantClear(&value);
    return name;
}

class WasapiCapture : public SoundCapture {
public:
    WasapiCapture(std::string name, std::function<int64_t()> nowMicros)
        : wanted(std::move(name)), nowMicros(std::move(nowMicros)) {}
    ~WasapiCapture() override { Stop(); }
    WasapiCapture(const WasapiCapture&) = delete;
    WasapiCapture& operator=(const WasapiCapture&) = delete;

    std::string Describe() const override {
        return "wasapi: " + (device.empty() ? (wanted.empty() ? std::string("the default input") : wanted) : device);
    }

    bool Start(std::string& error) override {
        if (!packetReady || !stop) {
            error = "no event could be made";
            return false;
        }
        std::promise<std::string> opened;
        std::future<std::string> result = opened.get_future();
        thread = std::thread([this, &opened] { Run(opened); });
        error = result.get();
        if (error.empty()) return true;
        thread.join();
        return false;
    }

    Recording Stop() override {
        if (thread.joinable()) {
            SetEvent(stop.Get());
            thread.join();
        }
        std::lock_guard lock(mutex);
        return recording;
    }

private:
    // Finds the input: the default, or the first whose name contains the one asked for.
    bool FindDevice(IMMDeviceEnumerator* devices, IMMDevice** found) {
        if (wanted.empty()) return SUCCEEDED(devices->GetDefaultAudioEndpoint(eCapture, eConsole, found));
        Com<IMMDeviceCollection> inputs;
        UINT count = 0;
        if (FAILED(devices->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, &inputs)) || FAILED(inputs->GetCount(&count))) {
            return false;
        }
        const std::wstring part = Lower(WideFromUtf8(wanted));
        for (UINT i = 0; i < count; ++i) {
            IMMDevice* input = nullptr;
            if (FAILED(inputs->Item(i, &input))) continue;
            if (Lower(WideFromUtf8(FriendlyName(input))).find(part) != std::wstring::npos) {
                *found = input;
                return true;
            }
            input->Release();
        }
        return false;
    }

    void Run(std::promise<std::string>& opened) {
        const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        {
            Com<IMMDeviceEnumerator> devices;
            Com<IMMDevice> input;
            Com<IAudioClient> client;
            Com<IAudioCaptureClient> capture;
            WAVEFORMATEX format{};
            format.wFormatTag = WAVE_FORMAT_PCM;
            format.nChannels = 1;
            format.nSamplesPerSec = RATE;
            format.wBitsPerSample = 16;
            format.nBlockAlign = 2;
            format.nAvgBytesPerSec = RATE * 2;
            std::string error;
            if (!com || FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                                __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(&devices)))) {
                error = "the system's sound devices cannot be listed";
            } else if (!FindDevice(devices.p, &input)) {
                error = wanted.empty() ? "the system has no default recording device"
                                       : "no recording device's name contains \"" + wanted + "\"";
            } else {
                device = FriendlyName(input.p);
                if (FAILED(input->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&client))) ||
                    FAILED(client->Initialize(AUDCLNT_SHAREMODE_SHARED,
                                              AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM |
                                                  AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY,
                                              BUFFER_DURATION, 0, &format, nullptr)) ||
                    FAILED(client->SetEventHandle(packetReady.Get())) ||
                    FAILED(client->GetService(__uuidof(IAudioCaptureClient), reinterpret_cast<void**>(&capture))) ||
                    FAILED(client->Start())) {
                    error = "WASAPI cannot record " + (device.empty() ? std::string("the input") : device);
                }
            }
            recording.rate = RATE;
            opened.set_value(error);
            if (error.empty()) {
                // Stamped as promptly as the output is fed: a late wake-up would read as a late sample.
                SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
                const HANDLE events[] = {stop.Get(), packetReady.Get()};
                while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) Take(capture.p);
                client->Stop();
            }
        }
        if (com) CoUninitialize();
    }

    // Every packet the engine has, noted with the moment it was taken.
    void Take(IAudioCaptureClient* capture) {
        UINT32 frames = 0;
        while (SUCCEEDED(capture->GetNextPacketSize(&frames)) && frames > 0) {
            BYTE* data = nullptr;
            DWORD flags = 0;
            if (FAILED(capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr))) return;
            const double now = static_cast<double>(nowMicros());
            {
                std::lock_guard lock(mutex);
                const auto* samples = reinterpret_cast<const int16_t*>(data);
                if ((flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0 || data == nullptr) {
                    recording.samples.insert(recording.samples.end(), frames, 0);
                } else {
                    recording.samples.insert(recording.samples.end(), samples, samples + frames);
                }
                recording.arrivals.emplace_back(static_cast<double>(recording.samples.size()), now);
            }
            capture->ReleaseBuffer(frames);
        }
    }

    std::string wanted;
    std::string device;
    std::function<int64_t()> nowMicros;
    std::thread thread;
    Win32Handle packetReady{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    Win32Handle stop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::mutex mutex;
    Recording recording;
};

}  // namespace

std::unique_ptr<SoundCapture> MakeSoundCapture(const std::string& name, std::function<int64_t()> nowMicros) {
    return std::make_unique<WasapiCapture>(name, std::move(nowMicros));
}

}  // namespace pelorin::measure
