#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string_view>

namespace pelorin {

class BarGame;
struct TaskServices;

// The answer keys, each string in the order of the stimuli its keys name: x, s, w answer the tones
// 1 to 3 (200, 500, 800 Hz), b, n, m the letters 1 to 3. The records' readers score by them too.
inline constexpr char TONE_KEYS[] = "xsw";
inline constexpr char LETTER_KEYS[] = "bnm";

// What a task is, apart from how its screen is made: everything the records, the summary and the
// report need, none of which links the screens.
struct TaskFacts {
    // The task screen's name, as the host shows and traces it.
    std::string_view screen;
    // The task's level in the results' task column, and what the level means there.
    std::string_view level;
    std::string_view description;
    // Which answer channels the block presents, and so which bars rise.
    bool tones = false;
    bool letters = false;
    // The key of the text said on the block sequencer before the task's block in the run's fixed
    // order; a task without one is on the menu only.
    const char* announcement = "";
    // The key of the task's button's caption on the menu.
    const char* caption = "";
};

// One row a task: its facts and how its screen is made. The run's fixed order is the order of the
// rows with an announcement; the menu shows a button a row, in the table's order, then Quit.
struct TaskRow {
    TaskFacts facts;
    std::unique_ptr<BarGame> (*make)(TaskServices& services);
};

std::unique_ptr<BarGame> MakeToneTask(TaskServices& services);
std::unique_ptr<BarGame> MakeLetterTask(TaskServices& services);
std::unique_ptr<BarGame> MakeTone_LetterTask(TaskServices& services);

inline constexpr TaskRow TASK_TABLE[] = {
    {{.screen = "ToneTask",
      .level = "tone",
      .description = "The tone block: tones only, answered with x, s, w; only the red tone bar rises.",
      .tones = true,
      .announcement = "task.tone.announcement",
      .caption = "task.tone.caption"},
     &MakeToneTask},
    {{.screen = "LetterTask",
      .level = "letter",
      .description = "The letter block: letters only, answered with b, n, m; only the blue letter bar rises.",
      .letters = true,
      .announcement = "task.letter.announcement",
      .caption = "task.letter.caption"},
     &MakeLetterTask},
    {{.screen = "Tone_LetterTask",
      .level = "dual",
      .description = "The dual block: tones and letters at once, each with its own keys; both bars rise.",
      .tones = true,
      .letters = true,
      .announcement = "task.dual.announcement",
      .caption = "task.dual.caption"},
     &MakeTone_LetterTask},
};

inline constexpr size_t TASK_COUNT = std::size(TASK_TABLE);

// The table's facts alone, taken when the program is built: reading them never reaches the screens.
consteval std::array<TaskFacts, TASK_COUNT> FactsOfTasks() {
    std::array<TaskFacts, TASK_COUNT> facts{};
    for (size_t task = 0; task < TASK_COUNT; ++task) facts[task] = TASK_TABLE[task].facts;
    return facts;
}
inline constexpr std::array<TaskFacts, TASK_COUNT> TASK_FACTS = FactsOfTasks();

// The row of the task whose screen has this name, or TASK_COUNT.
constexpr size_t TaskRowOf(std::string_view screen) {
    for (size_t row = 0; row < TASK_COUNT; ++row) {
        if (TASK_TABLE[row].facts.screen == screen) return row;
    }
    return TASK_COUNT;
}

// The row of the block'th block (from 1) of the run's fixed order, or -1 past its end.
constexpr int FixedOrderRow(int block) {
    for (size_t row = 0; row < TASK_COUNT; ++row) {
        if (*TASK_TABLE[row].facts.announcement != '\0' && --block == 0) return static_cast<int>(row);
    }
    return -1;
}

// The facts of the task with this results level, or nullptr.
constexpr const TaskFacts* FindTask(std::string_view level) {
    for (const TaskFacts& task : TASK_FACTS) {
        if (task.level == level) return &task;
    }
    return nullptr;
}

// Whether a block of the task presents the stimuli of the answer channel ("tone" or "letter"). A task
// the table does not name (a lab's own, a torn row) may have presented either.
constexpr bool TaskPresents(std::string_view task, std::string_view channel) {
    const TaskFacts* facts = FindTask(task);
    if (channel == "tone") return facts == nullptr || facts->tones;
    if (channel == "letter") return facts == nullptr || facts->letters;
    return false;
}

}  // namespace pelorin
