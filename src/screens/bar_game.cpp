#include "screens/bar_game.h"

#include <cstring>

#include "records/results_log.h"
#include "screens/blanke.h"
#include "screens/my_random.h"
#include "ui/layout.h"
#include "ui/runtime.h"

namespace pelorin {

namespace {

// The tone's frequency in Hz, which names its wave file.
const char* ToneHz(int16_t toneIndex) {
    if (toneIndex == 1) return "200";
    if (toneIndex == 2) return "500";
    return "800";
}

std::string ToneFile(int16_t toneIndex) { return "wave/" + std::string(ToneHz(toneIndex)) + ".wav"; }

// The tone as the results name it.
std::string_view ToneStimulus(int16_t toneIndex) {
    if (toneIndex == 1) return EventLevel(STIMULUS, "200Hz");
    if (toneIndex == 2) return EventLevel(STIMULUS, "500Hz");
    return EventLevel(STIMULUS, "800Hz");
}

Channel ChannelOf(char key) {
    if (key != '\0' && std::strchr(TONE_KEYS, key) != nullptr) return Channel::Tone;
    if (key != '\0' && std::strchr(LETTER_KEYS, key) != nullptr) return Channel::Letter;
    return Channel::None;
}

}  // namespace

BarGame::BarGame(const TaskServices& services, std::string name, std::string_view task, const Labels& labels)
    : Screen(services.runtime, std::move(name), 9600, 7200),
      Label1(*this, "Label1", labels.label1Caption, 0, 0, 1215, labels.label1Height, Font{48}, Alignment::Center),
      Label2(*this, "Label2", Text(labels.label2Key), 0, 0, labels.label2Width, 495, Font{18}, Alignment::Center),
      services(services),
      task(task) {}

float BarGame::ScreenWidth() { return services.sequencer.Width(); }
float BarGame::ScreenHeight() { return services.sequencer.Height(); }

void BarGame::Form_Load() {
    Label1.SetVisible(false);
    Label2.SetVisible(false);
    Shape1.SetVisible(false);
    Shape2.SetVisible(false);
    Shape1.SetHeight(ScreenHeight() / 3);
    Shape2.SetHeight(ScreenHeight() / 3);
}

void BarGame::Form_Resize() {
    CenterControl(Label1, *this);
    CenterControl(Label2, *this);
    MoveBars();
}

void BarGame::PlaceBars() {
    CenterControl(Label1, *this);
    MoveBars();
}

void BarGame::MoveBars() {
    Shape1.Move(ScreenWidth() / 2 - (Label1.Width() + Shape1.Width()), ScreenHeight() - Shape1.Height());
    Shape2.Move(ScreenWidth() / 2 + Label1.Width(), ScreenHeight() - Shape2.Height());
}

void BarGame::Form_KeyPressAt(int16_t& KeyAscii, const InputEvent& typed) {
    if (KeyAscii == KEY_ESCAPE) {
        services.blanke.Unload();
    } else if (KeyAscii == KEY_GRAVE) {
        services.toggleDebug();
    } else if (KeyAscii > 0 && KeyAscii < 128) {
        AnswerKey(static_cast<char>(KeyAscii), typed);
    } else if (KeyAscii > 0) {
        // A letter beyond ASCII (é, ß, §) answers nothing, but it was typed.
        Unanswered(KeyAscii, typed);
    }
}

void BarGame::Form_KeyDownAt(int keyCode, int /*shift*/, const InputEvent& typed) {
    // Tab types no character code, but it was typed on the screen all the same.
    if (keyCode == KEY_TAB) Unanswered(KEY_TAB, typed);
}

void BarGame::BeginBlock() {
    ++blockCounter;
    ShowForms({this});
    Shape1.SetHeight(ScreenHeight() / 3);
    Shape2.SetHeight(ScreenHeight() / 3);
    Label1.SetVisible(false);
    Label2.SetVisible(false);
    Shape1.SetVisible(false);
    Shape2.SetVisible(false);
    PlaceBars();
    Timer1.SetInterval(GROWTH_TICK_MS);
    Timer2.SetInterval(BLOCK_MS);
    Timer1.SetEnabled(true);
    Timer2.SetEnabled(true);
    services.results.BlockStart(task, [this] {
        return ResultsLog::Bars{Shape1.Height() / ScreenHeight(), Shape2.Height() / ScreenHeight()};
    });
    Label1.SetVisible(true);
    Shape1.SetVisible(true);
    Shape2.SetVisible(true);
}

bool BarGame::PresentTone(MyRandom& toneRan, int16_t& toneIndex) {
    int block = blockCounter;
    toneIndex = toneRan.GetNextRanWR();
    services.results.ToneDrawn(ToneStimulus(toneIndex));
    runtime.DoEvents();
    if (block != blockCounter) return false;
    SoundOnset onset = runtime.PlaySound(runtime.DataPath(ToneFile(toneIndex)));
    services.results.Tone(ToneStimulus(toneIndex), onset);
    runtime.Wait(35);
    return block == blockCounter;
}

bool BarGame::Answer(char key, const InputEvent& typed, Shape& bar, bool correct, float fall) {
    int block = blockCounter;
    if (correct) {
        float height = bar.Height() - fall;
        bar.SetHeight(height < 0 ? 0 : height);
    }
    PlaceBars();
    services.results.Response(key, typed.timestampMicros, &bar == &Shape1 ? Channel::Tone : Channel::Letter, correct);
    runtime.Wait(25);
    return block == blockCounter;
}

void BarGame::Unanswered(int16_t keyAscii, const InputEvent& typed) {
    Channel channel = keyAscii > 0 && keyAscii < 128 ? ChannelOf(static_cast<char>(keyAscii)) : Channel::None;
    services.results.Response(keyAscii, typed.timestampMicros, channel, std::nullopt);
}

int16_t BarGame::KeyNumber(char key, const char* keys) {
    const char* found = key != '\0' ? std::strchr(keys, key) : nullptr;
    return found != nullptr ? static_cast<int16_t>(found - keys + 1) : int16_t{0};
}

void BarGame::Timer1_Timer() {
    Grow();
    PlaceBars();
    float height = ScreenHeight();
    // Reaching or passing the top ends the block: on most displays the rise never meets it exactly.
    if (Shape1.Height() >= height || Shape2.Height() >= height) OverflowEnding();
}

void BarGame::OverflowEnding() {
    ++blockCounter;
    services.results.Overflow();
    Disarm();
    Timer1.SetEnabled(false);
    Label1.SetVisible(false);
    Shape1.SetVisible(false);
    Shape2.SetVisible(false);
    Timer2.SetEnabled(false);
    CloseOtherPlayers();
    MMControl2.SetFileName(runtime.DataPath("wave/error.wav"));
    MMControl2.Command("Open");
    for (int play = 0; play < 5; ++play) {
        MMControl2.Command("Prev");
        MMControl2.Command("Play");
        runtime.Wait(500);
    }
    MMControl2.Command("Close");
    services.results.EndBlock();
    services.blanke.ShowBlanke(2000, services.sequencer);
}

void BarGame::Timer2_Timer() { TimeUpEnding(); }

void BarGame::TimeUpEnding() {
    ++blockCounter;
    services.results.TimeUp();
    Disarm();
    MMControl2.Command("Close");
    Label1.SetVisible(false);
    Shape1.SetVisible(false);
    Shape2.SetVisible(false);
    Label2.SetVisible(true);
    Timer2.SetEnabled(false);
    Timer1.SetEnabled(false);
    runtime.Wait(2000);
    services.results.EndBlock();
    services.blanke.ShowBlanke(100, services.sequencer);
}

}  // namespace pelorin
