#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "records/event_columns.h"
#include "tasks/task_table.h"
#include "ui/control.h"
#include "ui/screen.h"
#include "ui/timer.h"
#include "ui/wave_player.h"

namespace pelorin {

class Blanke;
class MyRandom;
class ResultsLog;
struct TemplateVariables;

// What a task screen is given: the event loop it runs on (with its waits), the results it writes, the
// letters it shows, the blank screen's hand-overs, the block sequencer it hands back to (whose size is
// the screen size), and the debug window's toggle.
struct TaskServices {
    Runtime& runtime;
    ResultsLog& results;
    const TemplateVariables& variables;
    Blanke& blanke;
    Screen& sequencer;
    std::function<void()> toggleDebug;
};

inline constexpr Color TONE_BAR_COLOR{255, 0, 0};
inline constexpr Color LETTER_BAR_COLOR{0, 0, 192};

// The rising-bar game the three task screens share: the bars and their layout, the growth and block
// timers, both endings and the hand-back to the block sequencer. Each task screen adds its stimuli,
// its answer keys and which bars rise.
class BarGame : public Screen {
public:
    void Form_Load() override;
    void Form_Resize() override;
    void Form_KeyPressAt(int16_t& KeyAscii, const InputEvent& typed) override;
    void Form_KeyDownAt(int keyCode, int shift, const InputEvent& typed) override;

    Label Label1;
    Label Label2;
    Shape Shape1{*this, "Shape1", TONE_BAR_COLOR, 0, 0, 1215, 495};
    Shape Shape2{*this, "Shape2", LETTER_BAR_COLOR, 0, 0, 1215, 495};
    Timer Timer1{*this, [this] { Timer1_Timer(); }};
    Timer Timer2{*this, [this] { Timer2_Timer(); }};
    WavePlayer MMControl2{*this};

    static constexpr int GROWTH_TICK_MS = 35;
    static constexpr float GROWTH_PER_TICK = 30;
    static constexpr int BLOCK_MS = 60000;
    static constexpr float TONE_FALL = 600;
    static constexpr float LETTER_FALL = 480;

protected:
    // The designed captions and sizes that tell the task screens' labels apart.
    struct Labels {
        const char* label1Caption;
        float label1Height;
        // The key of the praise for a block played to its time.
        const char* label2Key;
        float label2Width;
    };

    // task names the block's task in the results: a level of their task column.
    BarGame(const TaskServices& services, std::string name, std::string_view task, const Labels& labels);

    // The screen size is the block sequencer's, read afresh at every use.
    float ScreenWidth();
    float ScreenHeight();

    // Centres Label1 and stands both bars on the bottom edge beside it.
    void PlaceBars();
    // Shows this screen with both bars at a third of the screen height and both timers started.
    void BeginBlock();
    // Draws a tone, plays it to its end and waits 35 ms. False when an ending ran meanwhile.
    bool PresentTone(MyRandom& toneRan, int16_t& toneIndex);
    // Lowers the bar on a correct answer, not below 0, places the bars and waits 25 ms. False when an
    // ending ran during the wait: the block the answer belonged to is over. typed is the key's input
    // event, stamped when the host received it.
    bool Answer(char key, const InputEvent& typed, Shape& bar, bool correct, float fall);
    // A key that answers nothing, its channel closed or no answer key: kept in the results all the same.
    void Unanswered(int16_t keyAscii, const InputEvent& typed);

    // Adds a growth tick to the bars that rise in this task.
    virtual void Grow() = 0;
    // A key other than Esc and the back quote, with its input event.
    virtual void AnswerKey(char key, const InputEvent& typed) = 0;
    // Closes every answer channel.
    virtual void Disarm() = 0;
    // Stops players other than the error sound's when the overflow ending begins.
    virtual void CloseOtherPlayers() {}

    // The number 1 to 3 of an answer key among three (TONE_KEYS: x 1, s 2, w 3), or 0.
    static int16_t KeyNumber(char key, const char* keys);

    TaskServices services;

private:
    void Timer1_Timer();
    void Timer2_Timer();
    void MoveBars();
    void OverflowEnding();
    void TimeUpEnding();

    // Bumped by every Start and every ending, so that a handler an ending interrupted can tell that
    // its block is over when its wait returns, even if a new block has begun on this screen meanwhile.
    int blockCounter = 0;
    std::string_view task;
};

}  // namespace pelorin
