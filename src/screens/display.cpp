#include "screens/display.h"

#include "screens/bar_game.h"
#include "screens/blanke.h"
#include "screens/experiment.h"
#include "screens/my_debug.h"
#include "ui/layout.h"
#include "ui/runtime.h"

namespace pelorin {

Display::Display(Experiment& experiment) : Screen(experiment.runtime, "Display", 9930, 7920), experiment(experiment) {}

void Display::Form_Load() {
    SetKeyPreview(true);
    Label1.SetVisible(false);
    Label2.SetVisible(false);
    TemplateVariables& variables = experiment.templateVariables;
    variables.blockNumber = 0;
    variables.letters[1] = "A";
    variables.letters[2] = "B";
    variables.letters[3] = "C";
}

Screen& Display::TaskScreen(int row) { return experiment.Task(static_cast<size_t>(row)); }

void Display::Start() {
    Label1.SetVisible(false);
    for (Button& button : Command1) button.SetVisible(false);
    ShowForms({this});
    CenterControlGroup(*this);
    int16_t blockNumber = ++experiment.templateVariables.blockNumber;
    if (int row = blockNumber >= 1 ? FixedOrderRow(blockNumber) : -1; row >= 0) {
        Label2.SetCaption(Text(TASK_TABLE[row].facts.announcement));
        Label2.SetVisible(true);
        runtime.Wait(3000);
        Label2.SetVisible(false);
        experiment.Blanke().ShowBlankeCross(1000, 1000, 500, TaskScreen(row));
        return;
    }
    for (Button& button : Command1) {
        Label1.SetVisible(true);
        button.SetVisible(true);
    }
    CenterControlGroup(*this);
}

void Display::Command1_Click(int Index) {
    if (Index >= 0 && Index < static_cast<int>(TASK_COUNT)) {
        experiment.Blanke().ShowBlankeCross(1000, 1000, 1000, TaskScreen(Index));
    } else {
        runtime.End();
    }
}

void Display::Form_KeyPress(int16_t& KeyAscii) {
    if (KeyAscii == KEY_ESCAPE) {
        KeyAscii = 0;
        experiment.Blanke().Unload();
    } else if (KeyAscii == KEY_GRAVE) {
        KeyAscii = 0;
        ToggleDebugWindow(experiment);
    }
}

void Display::Form_Resize() {
    CenterControlGroup(*this);
    CenterControl(Label2, *this);
}

}  // namespace pelorin
