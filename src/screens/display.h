#pragma once

#include <array>
#include <cstdint>

#include "ui/control.h"
#include "ui/screen.h"

namespace pelorin {

class Experiment;

// The block sequencer: each Start counts a visit; the first three announce and start the fixed blocks,
// every later one shows the menu.
class Display : public Screen {
public:
    explicit Display(Experiment& experiment);

    void Start() override;

    void Form_Load() override;
    void Form_Resize() override;
    void Form_KeyPress(int16_t& KeyAscii) override;

    // NOTE: "Conutinue?", so spelt: the heading is the experiment's own text, word for word.
    Label Label1{*this, "Label1", "Conutinue?", 2400, 3120, 4815, 495, Font{18, true}, Alignment::Center};
    Label Label2{*this, "Label2", "", 720, 960, 8175, 1455, Font{13.5f, true}, Alignment::Center};
    std::array<Button, 4> Command1{
        Button{*this, "Command1", 0, "Tone task", 360, 4680, 1935, 495, Font{9.75f, true}, [this] { Command1_Click(0); }},
        Button{*this, "Command1", 1, "Letter task", 2640, 4680, 1935, 495, Font{9.75f, true}, [this] { Command1_Click(1); }},
        Button{*this, "Command1", 2, "Tone + Letter", 4920, 4680, 1935, 495, Font{9.75f, true}, [this] { Command1_Click(2); }},
        Button{*this, "Command1", 3, "Quit", 7200, 4680, 1935, 495, Font{9.75f, true}, [this] { Command1_Click(3); }},
    };

private:
    void Command1_Click(int Index);
    // The task screen of block 1, 2 or 3, in the fixed order and the menu's.
    Screen& TaskScreen(int block);

    Experiment& experiment;
};

}  // namespace pelorin
