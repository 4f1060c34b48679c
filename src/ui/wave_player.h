#pragma once

#include <string>

namespace pelorin {

class Runtime;
class Screen;

// The wave-player control: set FileName, then issue "Open", "Prev", "Play" or "Close". "Play" returns
// at once. Failures of the device or the file are ignored, as the screens expect.
class WavePlayer {
public:
    explicit WavePlayer(Screen& owner);
    ~WavePlayer();
    WavePlayer(const WavePlayer&) = delete;
    WavePlayer& operator=(const WavePlayer&) = delete;

    void SetFileName(const std::string& value) { fileName = value; }
    void Command(const std::string& command);

private:
    void Close();

    Runtime& runtime;
    std::string fileName;
    int handle = -1;
};

}  // namespace pelorin
