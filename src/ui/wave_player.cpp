#include "ui/wave_player.h"

#include "ui/runtime.h"
#include "ui/screen.h"

namespace pelorin {

WavePlayer::WavePlayer(Screen& owner) : runtime(owner.runtime) {}

WavePlayer::~WavePlayer() { Close(); }

void WavePlayer::Command(const std::string& command) {
    if (command == "Open") {
        Close();
        handle = runtime.host.WaveOpen(fileName);
        if (handle >= 0) runtime.AddWave(handle);
    } else if (command == "Prev") {
        if (handle >= 0) runtime.host.WaveRewind(handle);
    } else if (command == "Play") {
        if (handle >= 0) runtime.host.WavePlay(handle);
    } else if (command == "Close") {
        Close();
    }
}

void WavePlayer::Close() {
    if (handle < 0) return;
    runtime.host.WaveClose(handle);
    runtime.RemoveWave(handle);
    handle = -1;
}

}  // namespace pelorin
