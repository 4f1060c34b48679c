#include "screens/tone_task.h"

#include "records/results_log.h"
#include "screens/template_variables.h"

namespace pelorin {

ToneTask::ToneTask(const TaskServices& services)
    : BarGame(services, "ToneTask", EventLevel(TASK, "tone"), Labels{"", 975, "task.tone.praise", 4695}) {}

void ToneTask::Form_Load() {
    BarGame::Form_Load();
    toneRan.SetInterval(1, 3);
}

void ToneTask::Start() {
    BeginBlock();
    // NOTE: armed before the first tone is drawn, so a key handled while it plays already answers it.
    toneArmed = true;
    PlayTone();
}

void ToneTask::PlayTone() {
    if (PresentTone(toneRan, toneIndex)) toneArmed = true;
}

void ToneTask::Grow() { Shape1.SetHeight(Shape1.Height() + GROWTH_PER_TICK); }

void ToneTask::AnswerKey(char key, const InputEvent& typed) {
    int16_t answer = KeyNumber(key, TONE_KEYS);
    if (answer == 0 || !toneArmed) return Unanswered(key, typed);
    toneArmed = false;
    if (Answer(key, typed, Shape1, answer == toneIndex, TONE_FALL)) PlayTone();
}

std::unique_ptr<BarGame> MakeToneTask(TaskServices& services) { return std::make_unique<ToneTask>(services); }

}  // namespace pelorin
