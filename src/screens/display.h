#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "tasks/task_table.h"
#include "ui/control.h"
#include "ui/screen.h"

namespace pelorin {

class Experiment;

// The block sequencer: each Start counts a visit; the first ones announce and start the task table's
// blocks in its order, every later one shows the menu: a button a task, then Quit.
class Display : public Screen {
public:
    explicit Display(Experiment& experiment);

    void Start() override;

    void Form_Load() override;
    void Form_Resize() override;
    void Form_KeyPress(int16_t& KeyAscii) override;

    Label Label1{*this, "Label1", Text("sequencer.continue"), 2400, 3120, 4815, 495, Font{18, true}, Alignment::Center};
    Label Label2{*this, "Label2", "", 720, 960, 8175, 1455, Font{13.5f, true}, Alignment::Center};
    std::array<Button, TASK_COUNT + 1> Command1 = MenuButtons(std::make_index_sequence<TASK_COUNT>());

private:
    // Index i at Left 360 + 2280 i, a task's caption, Quit last; captions by their keys.
    Button MenuButton(int Index, std::string_view captionKey) {
        return Button{*this, "Command1", Index, Text(captionKey), 360.0f + 2280.0f * static_cast<float>(Index), 4680, 1935, 495,
                      Font{9.75f, true}, [this, Index] { Command1_Click(Index); }};
    }
    template <size_t... Task>
    std::array<Button, TASK_COUNT + 1> MenuButtons(std::index_sequence<Task...>) {
        return {MenuButton(static_cast<int>(Task), TASK_TABLE[Task].facts.caption)...,
                MenuButton(static_cast<int>(TASK_COUNT), "sequencer.quit")};
    }

    void Command1_Click(int Index);
    // The task screen of the task table's row.
    Screen& TaskScreen(int row);

    Experiment& experiment;
};

}  // namespace pelorin
