#include "platform/sdl/sdl_host.h"

#include "platform/sdl/backend.h"

namespace pelorin::sdl {

SdlHost::SdlHost() : backend(std::make_unique<Backend>()) {}
SdlHost::~SdlHost() = default;

void SdlHost::Attach(Runtime& runtime) { backend->Attach(runtime); }
int64_t SdlHost::NowMicros() { return backend->NowMicros(); }
int SdlHost::DisplayWidthPixels() { return backend->DisplayWidthPixels(); }
int SdlHost::DisplayHeightPixels() { return backend->DisplayHeightPixels(); }
void SdlHost::WaitForInput(int64_t deadlineMicros) { backend->WaitForInput(deadlineMicros); }
std::optional<InputEvent> SdlHost::PollInput() { return backend->PollInput(); }
void SdlHost::Present() { backend->Present(); }
int SdlHost::ShowMessageBox(const std::string& prompt, int style, const std::string& title) {
    return backend->ShowMessageBox(prompt, style, title);
}
void SdlHost::SetCursorPos(int x, int y) { backend->SetCursorPos(x, y); }
void SdlHost::SetTopMost(Screen& screen) { backend->SetTopMost(screen); }
void SdlHost::PlaySoundSync(const std::string& path) { backend->PlaySoundSync(path); }
SoundOnset SdlHost::LastSoundOnset() { return backend->LastSoundOnset(); }
void SdlHost::OnNextPresent(std::function<void(int64_t presentedMicros)> callback) {
    backend->OnNextPresent(std::move(callback));
}
AudioOutput SdlHost::DescribeAudio() { return backend->DescribeAudio(); }
int SdlHost::WaveOpen(const std::string& path) { return backend->WaveOpen(path); }
void SdlHost::WaveRewind(int handle) { backend->WaveRewind(handle); }
void SdlHost::WavePlay(int handle) { backend->WavePlay(handle); }
void SdlHost::WaveClose(int handle) { backend->WaveClose(handle); }
std::string SdlHost::CurrentDirectory() { return backend->CurrentDirectory(); }

}  // namespace pelorin::sdl
