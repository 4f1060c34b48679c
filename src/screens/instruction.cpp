#include "screens/instruction.h"

#include "records/dataset.h"
#include "screens/blanke.h"
#include "screens/display.h"
#include "screens/experiment.h"
#include "ui/layout.h"
#include "ui/runtime.h"

namespace pelorin {

Instruction::Instruction(Experiment& experiment)
    : Screen(experiment.runtime, "Instruction", 10740, 9630),
      // The credits in the bottom-right corner: a lab puts its own here, through its own texts.
      Label4(*this, "Label4", Text("instruction.created-by"), 120, 240, 1935, 375, Font{13.5f}, Alignment::Left, &Frame1),
      Label2(*this, "Label2", Text("instruction.author-one"), 120, 720, 1935, 375, Font{13.5f}, Alignment::Left, &Frame1),
      Label3(*this, "Label3", Text("instruction.author-two"), 120, 1200, 2295, 375, Font{13.5f}, Alignment::Left, &Frame1),
      Label5(*this, "Label5", Text("instruction.institution"), 120, 1800, 2655, 375, Font{}, Alignment::Left, &Frame1),
      experiment(experiment) {
    RichTextBox1.SetTabIndex(0);
    Command1.SetTabIndex(1);
}

void Instruction::Form_Load() {
    RichTextBox1.SetVisible(false);
    continueClicks = 0;
    // Esc reaches the screen although "Continue" has the focus.
    SetKeyPreview(true);
    Start();
}

void Instruction::Start() {
    // A missing or unreadable file leaves a one-line message naming it in the view; the run goes on.
    std::string path = runtime.DataPath(std::string(INSTRUCTION_FILE));
    if (std::string error; !RichTextBox1.LoadFile(path, &error)) {
        RichTextBox1.SetText(Text("instruction.cannot-open", {{"path", path}, {"reason", error}}));
    }
    ShowForms({this});
}

void Instruction::Command1_Click() {
    ++continueClicks;
    if (continueClicks < 2) {
        RichTextBox1.SetVisible(true);
    } else {
        experiment.Blanke().ShowBlanke(2000, experiment.Display());
    }
}

void Instruction::Form_KeyPress(int16_t& KeyAscii) {
    if (KeyAscii == KEY_ESCAPE) {
        KeyAscii = 0;
        experiment.Blanke().Unload();
    }
}

void Instruction::Form_Resize() {
    CenterControl(RichTextBox1, *this);
    CenterControl(Label1, *this);
    Command1.Move(Width() / 2 - Command1.Width() / 2, Height() - 2 * Command1.Height());
    Frame1.Move(Width() - Frame1.Width(), Height() - Frame1.Height());
}

}  // namespace pelorin
