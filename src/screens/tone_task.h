#pragma once

#include <cstdint>

#include "screens/bar_game.h"
#include "screens/my_random.h"

namespace pelorin {

// The tone block: tones answered with "x", "s", "w"; the red tone bar rises and falls.
class ToneTask : public BarGame {
public:
    explicit ToneTask(const TaskServices& services);

    // Begins a block; returns once the first tone has played and its 35 ms wait has passed.
    void Start() override;
    void Form_Load() override;

    bool toneArmed = false;
    int16_t toneIndex = 0;
    MyRandom toneRan{runtime};

private:
    void PlayTone();
    void Grow() override;
    void AnswerKey(char key, const InputEvent& typed) override;
    void Disarm() override { toneArmed = false; }
};

}  // namespace pelorin
