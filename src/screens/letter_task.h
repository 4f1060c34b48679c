#pragma once

#include <cstdint>

#include "screens/bar_game.h"
#include "screens/my_random.h"

namespace pelorin {

// The letter block: letters answered with "b", "n", "m"; the blue letter bar rises and falls.
class LetterTask : public BarGame {
public:
    explicit LetterTask(const TaskServices& services);

    // Begins a block; returns once the first letter is shown.
    void Start() override;
    void Form_Load() override;

    bool letterArmed = false;
    int16_t letterIndex = 0;
    MyRandom letterRan{runtime};

private:
    void ShowLetter();
    void Grow() override;
    void AnswerKey(char key, const InputEvent& typed) override;
    void Disarm() override { letterArmed = false; }
};

}  // namespace pelorin
