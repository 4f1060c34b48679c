#include "screens/letter_task.h"

#include "records/results_log.h"
#include "screens/template_variables.h"

namespace pelorin {

LetterTask::LetterTask(const TaskServices& services)
    : BarGame(services, "LetterTask", EventLevel(TASK, "letter"), Labels{"A", 1335, "task.letter.praise", 4815}) {}

void LetterTask::Form_Load() {
    BarGame::Form_Load();
    letterRan.SetInterval(1, 3);
}

void LetterTask::Start() {
    BeginBlock();
    letterArmed = true;
    ShowLetter();
}

void LetterTask::ShowLetter() {
    letterIndex = letterRan.GetNextRanWR();
    Label1.SetVisible(true);
    Label1.SetCaption(services.variables.letters[static_cast<size_t>(letterIndex)]);
    services.results.Letter(Label1.Caption());
    letterArmed = true;
}

void LetterTask::Grow() { Shape2.SetHeight(Shape2.Height() + GROWTH_PER_TICK); }

void LetterTask::AnswerKey(char key, const InputEvent& typed) {
    int16_t answer = KeyNumber(key, LETTER_KEYS);
    if (answer == 0 || !letterArmed) return Unanswered(key, typed);
    letterArmed = false;
    // The answered letter disappears at once.
    Label1.SetVisible(false);
    if (Answer(key, typed, Shape2, answer == letterIndex, LETTER_FALL)) ShowLetter();
}

std::unique_ptr<BarGame> MakeLetterTask(TaskServices& services) { return std::make_unique<LetterTask>(services); }

}  // namespace pelorin
