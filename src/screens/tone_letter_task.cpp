#include "screens/tone_letter_task.h"

#include "records/results_log.h"
#include "screens/template_variables.h"

namespace pelorin {

Tone_LetterTask::Tone_LetterTask(const TaskServices& services)
    : BarGame(services, "Tone_LetterTask", EventLevel(TASK, "dual"), Labels{"", 1455, "task.dual.praise", 4215}) {}

void Tone_LetterTask::Form_Load() {
    BarGame::Form_Load();
    letterRan.SetInterval(1, 3);
    toneRan.SetInterval(1, 3);
}

void Tone_LetterTask::Start() {
    BeginBlock();
    ShowLetter();
    if (!PresentTone(toneRan, toneIndex)) return;
    // Unlike the tone block, the first tone is armed only once it has played.
    toneArmed = true;
    letterArmed = true;
}

void Tone_LetterTask::ShowLetter() {
    letterIndex = letterRan.GetNextRanWR();
    // Label1 stays visible through the block: an answered letter stays until the next replaces it.
    Label1.SetCaption(services.variables.letters[static_cast<size_t>(letterIndex)]);
    services.results.Letter(Label1.Caption());
    letterArmed = true;
}

void Tone_LetterTask::PlayTone() {
    if (PresentTone(toneRan, toneIndex)) toneArmed = true;
}

void Tone_LetterTask::Grow() {
    Shape1.SetHeight(Shape1.Height() + GROWTH_PER_TICK);
    Shape2.SetHeight(Shape2.Height() + GROWTH_PER_TICK);
}

void Tone_LetterTask::Disarm() {
    toneArmed = false;
    letterArmed = false;
}

void Tone_LetterTask::AnswerKey(char key, const InputEvent& typed) {
    if (int16_t tone = KeyNumber(key, TONE_KEYS); tone != 0 && toneArmed) {
        toneArmed = false;
        if (Answer(key, typed, Shape1, tone == toneIndex, TONE_FALL)) PlayTone();
    } else if (int16_t letter = KeyNumber(key, LETTER_KEYS); letter != 0 && letterArmed) {
        letterArmed = false;
        if (Answer(key, typed, Shape2, letter == letterIndex, LETTER_FALL)) ShowLetter();
    } else {
        Unanswered(key, typed);
    }
}

std::unique_ptr<BarGame> MakeTone_LetterTask(TaskServices& services) { return std::make_unique<Tone_LetterTask>(services); }

}  // namespace pelorin
