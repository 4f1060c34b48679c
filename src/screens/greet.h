#pragma once

#include <cstdint>
#include <string>

#include "ui/control.h"
#include "ui/screen.h"

namespace pelorin {

class Experiment;

// The start-up screen: registers the subject in the subject list and hands over to the instructions.
class Greet : public Screen {
public:
    explicit Greet(Experiment& experiment);

    // True when subjectId is not yet in the subject list.
    bool SubjectIsNew();
    // Checks every entry, appends the subject's record, makes Res_Data and hands over to Instruction.
    void RegisterSubject();
    // Fills the ID box with the ID after the list's last record and sets subjectId.
    void SuggestSubjectId();

    void Form_Load() override;
    void Form_Activate() override;
    void Form_Resize() override;
    void Form_KeyPress(int16_t& KeyAscii) override;
    void Form_KeyDown(int keyCode, int shift) override;

    Label Label2{*this, "Label2", Text("greet.welcome"), 1200, 2880, 10215, 735,
                 Font{24, true}, Alignment::Center};
    Label Label3{*this, "Label3", Text("greet.subject-id"), 5160, 4440, 2055, 495, Font{18, true}, Alignment::Right};
    TextBox Text1{*this, "Text1", 7440, 4320, 1215, 615, Font{18, true}, 3};
    Label Label4{*this, "Label4", Text("greet.initials"), 4440, 5280, 2775, 495, Font{18, true}, Alignment::Right};
    TextBox Text2{*this, "Text2", 7440, 5160, 1215, 615, Font{18, true}, 3};
    Label Label5{*this, "Label5", "", 3480, 6120, 3735, 495, Font{18, true}, Alignment::Right};
    TextBox Text3{*this, "Text3", 7440, 6120, 1215, 555, Font{18, true}, 1};
    Button Command1{*this, "Command1", -1, Text("greet.start"), 6360, 7560, 1215, 495, Font{}, [this] { RegisterSubject(); }};

private:
    void Text1_KeyPress(int16_t& KeyAscii);
    void Text2_KeyPress(int16_t& KeyAscii);
    void Text3_KeyPress(int16_t& KeyAscii);
    void Text1_Validate(bool& Cancel);
    void Text2_Validate(bool& Cancel);
    void Text3_Validate(bool& Cancel);

    // The checks on leaving each box; each shows its message when it fails.
    bool CheckSubjectId();
    bool CheckInitials();
    bool CheckOrderCondition();
    void ShowDuplicate();
    void Refuse(int16_t& KeyAscii, const std::string& message);

    Experiment& experiment;
};

}  // namespace pelorin
