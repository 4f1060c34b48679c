#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "tasks/task_table.h"

namespace pelorin {

// The one vocabulary of the results dataset: every column of the events files, participants.tsv and
// scans.tsv, in its order, with the form of its cells, its BIDS description and its allowed values.
// The writer, the sidecars, the dataset's README, the summary and the tests all read it from here.

// A value a column may hold, and what it means.
struct Level {
    std::string_view value;
    std::string_view description;
};

// How a column's cells are written, and so how every reader takes them.
enum class CellForm {
    Seconds,   // seconds with six decimals, a minus sign where negative
    Count,     // a whole number from 1
    Fraction,  // a number from 0 with three decimals
    Level,     // one of the column's levels
    Text,      // free text: never a tab, a quote, a backslash or a line end
};

struct Column {
    std::string_view name;
    CellForm form;
    std::string_view longName;
    std::string_view description;
    // A BIDS unit, or empty where none applies.
    std::string_view units;
    std::span<const Level> levels;
    // Whether a reader takes the column for numbers: its levels, when it has any, are all numbers.
    bool numeric = false;
};

// The value of a cell that does not apply to its row.
inline constexpr std::string_view NOT_APPLICABLE = "n/a";

// The task entity of every events file: sub-<ID>/beh/sub-<ID>_task-dualtask[_run-<k>]_events.tsv.
inline constexpr std::string_view EVENTS_TASK = "dualtask";

inline constexpr Level TRIAL_TYPES[] = {
    {"block_start", "A block began: the bars stand at a third of the display's height and rise from here."},
    {"tone", "A tone was played to its end."},
    {"letter", "A letter was shown."},
    {"response", "A key was typed on a task screen, whether it answered a stimulus or not."},
    {"overflow", "A bar reached the top of the display: the block ended with the error sound."},
    {"time_up", "The block's 60 s passed: it ended with the praise."},
    {"quit_question",
     "Esc or the window's close button asked whether to quit; quit_answer holds the answer, duration how long the "
     "question was up."},
    {"quit", "The program ended, by Yes to the quit question or by Quit on the menu."},
};

// One level a row of the task table.
consteval std::array<Level, TASK_COUNT> TaskLevels() {
    std::array<Level, TASK_COUNT> levels{};
    for (size_t task = 0; task < TASK_COUNT; ++task) levels[task] = {TASK_FACTS[task].level, TASK_FACTS[task].description};
    return levels;
}
inline constexpr std::array<Level, TASK_COUNT> TASKS = TaskLevels();

inline constexpr Level STIMULI[] = {
    {"200Hz", "The 200 Hz tone (wave/200.wav), answered with x."},
    {"500Hz", "The 500 Hz tone (wave/500.wav), answered with s."},
    {"800Hz", "The 800 Hz tone (wave/800.wav), answered with w."},
    {"A", "The letter A, answered with b."},
    {"B", "The letter B, answered with n."},
    {"C", "The letter C, answered with m."},
};

inline constexpr Level CHANNELS[] = {
    {"tone", "x, s or w: the keys that answer tones."},
    {"letter", "b, n or m: the keys that answer letters."},
};

inline constexpr Level CORRECT[] = {
    {"1", "The right key: the bar fell."},
    {"0", "A wrong key: the bar stayed."},
};

inline constexpr Level QUIT_ANSWERS[] = {
    {"yes", "Quit: the program ended."},
    {"no", "Carry on: the run went on where it was, every timer having held while the question was up."},
};

inline constexpr Level ONSET_SOURCES[] = {
    {"audio_clock",
     "Read back from the audio output's clock after the tone played: when its first sample really reached the "
     "output, good to 0.5 ms."},
    {"audio_plan",
     "The onset planned before the tone played: the output could not confirm when it played (a device that ran dry "
     "plays late, a sound server that stalled while the tone played), so it may be off by milliseconds."},
    {"not_played",
     "Nothing was heard (no audio device opened, a sound file that could not be played, or a sound output that "
     "took no sample of the tone): the time the tone was due; the program waited for its duration all the same."},
    {"virtual_clock",
     "Never played to an output or shown on a display: a run on the test host or of a simulated subject (pelorin "
     "--simulate), which has no audio output (the sidecar's Audio says Silent) and no display. The onset is exact on "
     "the run's virtual clock, on which the tone took its duration."},
    {"display_refresh",
     "letter: the display's own time of the refresh at which the frame that first showed the letter began (on X11, "
     "the X server's Present extension, which the frame was presented through; on Windows, DWM's composition "
     "timing, which says at which refresh the composition carrying the frame reached the display), good to a few "
     "microseconds of what the display reports. The refresh scans the picture from its top: the letter's own rows "
     "appear later by the sidecar's LetterOnsets.LetterScanDelayMs."},
    {"present_call",
     "letter: when the frame that first showed the letter was handed to the display, where the display gives no "
     "time of its refresh (no Present extension on X11; on Windows, desktop composition off or not answering, as "
     "under Wine; a frame whose refresh DWM's timing could not tell): the subject saw it at a later refresh, on "
     "X11 the next, up to a refresh period (16.7 ms at 60 Hz) later, on Windows up to two periods later."},
};

// The columns of an events file, in their order.
enum EventColumn : size_t {
    ONSET,
    DURATION,
    TRIAL_TYPE,
    BLOCK,
    TASK,
    STIMULUS,
    KEY,
    CHANNEL,
    CORRECT_COLUMN,
    RESPONSE_TIME,
    TONE_BAR,
    LETTER_BAR,
    QUIT_ANSWER,
    ONSET_SOURCE,
    EVENT_COLUMN_COUNT,
};

inline constexpr std::array<Column, EVENT_COLUMN_COUNT> EVENT_COLUMNS = {{
    {"onset", CellForm::Seconds, "Event onset",
     "Time of the event from the moment the subject's record was written to the subject list, on the program's "
     "monotonic clock. block_start: when the block's growth and block timers started (its 60 s count from here). "
     "tone: when its first sample reached the audio output (onset_source says how it was taken). letter: when the "
     "frame that first shows it began to show: the display's refresh that showed it where the display stamps it, "
     "else when the frame was presented (onset_source says which; a letter drawn over the same letter changes "
     "nothing on the screen: then the first frame presented after it was drawn). response: when the system handed the key to the "
     "program, whatever the program was doing then; on X11, where the program read it later than the X server's "
     "own stamp of the key press allows (its stamp is to the millisecond), the latest moment that stamp allows. "
     "overflow, time_up: when the ending began. quit_question: when "
     "the question was put. quit: when the program ended.",
     "s", {}, true},
    {"duration", CellForm::Seconds, "Event duration",
     "tone: the tone's length (0 for a sound file that could not be played). quit_question: how long the question "
     "was up, from when it was put to its answer; every timer of the block held meanwhile, while the onsets ran "
     "on. n/a for every other event.",
     "s", {}, true},
    {"trial_type", CellForm::Level, "Event type", "What happened.", {}, TRIAL_TYPES},
    {"block", CellForm::Count, "Block number",
     "1 for the first block of the run, 2 for the next, and on through the blocks chosen on the menu; n/a outside "
     "a block. A block lasts from its block_start to the hand-over after its ending.",
     {}, {}, true},
    {"task", CellForm::Level, "Task of the block", "Which stimuli the block presents; n/a outside a block.", {},
     TASKS},
    {"stimulus", CellForm::Level, "Stimulus",
     "tone, letter: the stimulus presented. response: the stimulus the key was scored against, presented or about "
     "to be (n/a for a key that answered nothing). n/a for every other event.",
     {}, STIMULI},
    {"key", CellForm::Text, "Key typed",
     "response: the character the key typed, in UTF-8, case kept; by name where the character is blank or could "
     "break a reader: space, tab, return, backspace, quote (the double quote), apostrophe, backslash, and "
     "code-<number> for any other control character. Esc and the grave accent are no responses. n/a for every "
     "other event.",
     {}, {}},
    {"channel", CellForm::Level, "Answer channel of the key",
     "response: the channel the key belongs to, whether or not that channel is part of the block; n/a for a key "
     "of no channel and for every other event.",
     {}, CHANNELS},
    {"correct", CellForm::Level, "Answer correct",
     "response: for a key scored against a stimulus, whether it was the right one; n/a for a key that answered "
     "nothing (its channel was closed: no stimulus awaited an answer, or it is no answer key) and for every other "
     "event.",
     {}, CORRECT, true},
    {"response_time", CellForm::Seconds, "Response time",
     "response: for a key scored against a stimulus, its onset minus that stimulus's onset. n/a for a key that "
     "answered nothing, and for a key scored against a stimulus not yet presented: the tone block arms its first "
     "tone before playing it, so a key handled before it is heard answers it (that tone's row then follows, and "
     "the next tone is played twice); so too a key typed between a tone's start and its first sample reaching "
     "the output, or before a letter's frame was presented. Never negative.",
     "s", {}, true},
    {"tone_bar", CellForm::Fraction, "Tone bar height",
     "The red tone bar's height after the event, as a fraction of the display's height: 0.333 at a block's "
     "start, 1.000 at the top; n/a outside a block.",
     {}, {}, true},
    {"letter_bar", CellForm::Fraction, "Letter bar height",
     "The blue letter bar's height after the event, as a fraction of the display's height: 0.333 at a block's "
     "start, 1.000 at the top; n/a outside a block.",
     {}, {}, true},
    {"quit_answer", CellForm::Level, "Answer to the quit question",
     "quit_question: the answer given; n/a for every other event.", {}, QUIT_ANSWERS},
    {"onset_source", CellForm::Level, "How the onset was taken", "tone, letter: how its onset was taken; n/a for every other event.",
     {}, ONSET_SOURCES},
}};

// participants.tsv: one row per subject ID, appended at registration. Never the initials.
enum ParticipantColumn : size_t { PARTICIPANT_ID, ORDER_CONDITION, PARTICIPANT_COLUMN_COUNT };

// One level per order condition the registration offers.
inline constexpr Level ORDER_CONDITIONS[] = {
    {"1", "Order condition 1."},
    {"2", "Order condition 2."},
};

inline constexpr std::array<Column, PARTICIPANT_COLUMN_COUNT> PARTICIPANT_COLUMNS = {{
    {"participant_id", CellForm::Text, "Participant",
     "sub-<ID>, the subject ID typed at registration. The subject's initials are kept in the subject list "
     "CurrentSubjects.txt only, outside this dataset.",
     {}, {}},
    {"order_condition", CellForm::Level, "Order condition",
     "The order condition typed at registration: the group the lab assigns the subject to.", {},
     ORDER_CONDITIONS, true},
}};

// sub-<ID>/sub-<ID>_scans.tsv: one row per run of the subject.
enum ScanColumn : size_t { FILENAME, ACQ_TIME, UTC_OFFSET, SCAN_COLUMN_COUNT };

inline constexpr std::array<Column, SCAN_COLUMN_COUNT> SCAN_COLUMNS = {{
    {"filename", CellForm::Text, "File name", "The run's events file, from the subject's folder.", {}, {}},
    {"acq_time", CellForm::Text, "Start of the run",
     "The local date and time at which the subject's record was written, where the run's onsets count from.", {},
     {}},
    {"utc_offset", CellForm::Text, "Offset of the local time from UTC",
     "The local time's offset from UTC when the run began, as +hh:mm or -hh:mm; acq_time minus it is UTC.", {}, {}},
}};

// Whether value is one of column's levels.
constexpr bool IsLevel(const Column& column, std::string_view value) {
    for (const Level& level : column.levels) {
        if (level.value == value) return true;
    }
    return false;
}

// A level of an events column, checked when the program is built: a value that is not in the vocabulary
// fails to compile.
consteval std::string_view EventLevel(EventColumn column, std::string_view value) {
    if (!IsLevel(EVENT_COLUMNS[column], value)) throw "not a level of this column";
    return value;
}

template <size_t N>
constexpr bool EveryColumnDescribed(const std::array<Column, N>& columns) {
    for (const Column& column : columns) {
        if (column.name.empty() || column.longName.empty() || column.description.empty()) return false;
        if ((column.form == CellForm::Level) == column.levels.empty()) return false;
        for (const Level& level : column.levels) {
            if (level.value.empty() || level.description.empty()) return false;
        }
    }
    return true;
}

static_assert(EveryColumnDescribed(EVENT_COLUMNS), "every events column has its description and levels");
static_assert(EveryColumnDescribed(PARTICIPANT_COLUMNS), "every participants column has its description");
static_assert(EveryColumnDescribed(SCAN_COLUMNS), "every scans column has its description");
static_assert(EVENT_COLUMNS[ONSET].name == "onset" && EVENT_COLUMNS[DURATION].name == "duration",
              "BIDS puts onset and duration first");

}  // namespace pelorin
