#pragma once

#include <cstdint>

#include "ui/control.h"
#include "ui/screen.h"

namespace pelorin {

class Experiment;

// The welcome and instruction screen: the first "Continue" shows instruction.txt, the second hands
// over to the block sequencer.
class Instruction : public Screen {
public:
    explicit Instruction(Experiment& experiment);

    // Loads the instruction file and shows the screen.
    void Start() override;

    void Form_Load() override;
    void Form_Resize() override;
    void Form_KeyPress(int16_t& KeyAscii) override;

    TextView RichTextBox1{*this, "RichTextBox1", 480, -1080, 10215, 6735, Font{13.5f}, BUTTON_FACE};
    Label Label1{*this, "Label1", Text("instruction.welcome"), 240, 5880, 10335, 975, Font{24, true}, Alignment::Center};
    Button Command1{*this, "Command1", -1, Text("instruction.continue"), 2280, 8880, 2415, 495, Font{13.5f}, [this] { Command1_Click(); }};
    Frame Frame1{*this, "Frame1", 6600, 7080, 3375, 2415};
    Label Label4;
    Label Label2;
    Label Label3;
    Label Label5;

    // Clicks on "Continue" since the screen was loaded.
    int16_t continueClicks = 0;

private:
    void Command1_Click();

    Experiment& experiment;
};

}  // namespace pelorin
