#pragma once

#include <cstdint>

#include "screens/bar_game.h"
#include "screens/my_random.h"
#include "ui/wave_player.h"

namespace pelorin {

// The dual block: tones and letters at once, each with its own keys and its own bar.
class Tone_LetterTask : public BarGame {
public:
    explicit Tone_LetterTask(const TaskServices& services);

    // Begins a block; returns once the first letter is shown and the first tone has played and its
    // 35 ms wait has passed.
    void Start() override;
    void Form_Load() override;

    WavePlayer MMControl1{*this};

    int16_t letterIndex = 0;
    int16_t toneIndex = 0;
    MyRandom letterRan{runtime};
    MyRandom toneRan{runtime};
    bool toneArmed = false;
    bool letterArmed = false;

private:
    void ShowLetter();
    void PlayTone();
    void Grow() override;
    void AnswerKey(char key, const InputEvent& typed) override;
    void Disarm() override;
    void CloseOtherPlayers() override { MMControl1.Command("Close"); }
};

}  // namespace pelorin
