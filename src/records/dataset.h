#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "records/event_columns.h"
#include "records/json.h"
#include "system/files.h"

namespace pelorin {

// The task's name in the events sidecars: the label of the events files' names, as BIDS derives one.
inline constexpr std::string_view TASK_NAME = "dualtask";
// The run folder's instruction text, which the instruction screen shows and the sidecars record.
inline constexpr std::string_view INSTRUCTION_FILE = "instruction.txt";

// The task, in words, for the dataset's README and the events sidecars.
inline constexpr std::string_view TASK_DESCRIPTION =
    "One subject at a time hears tones and sees letters and answers each with its own keys, in three "
    "blocks of 60 s: the tone block (tones of 200, 500 and 800 Hz, answered with x, s and w), the letter "
    "block (the letters A, B and C, answered with b, n and m) and the dual block (tones and letters at "
    "once, each with its own keys). After them the experimenter may run more blocks from a menu. In every "
    "block a red tone bar and a blue letter bar rise from a third of the screen's height, the bars of the "
    "block's task by a step every 35 ms; each right answer pushes its bar down. A block ends after 60 s "
    "with praise, or earlier when a bar reaches the top, with an error sound. Each answer, right or wrong, "
    "brings the next stimulus of its kind; a tone plays to its end before anything else is handled. Esc "
    "asks whether to quit; every timer holds while the question is up.";

// What a dataset holds: the experiment's results, or runs that are not data.
enum class DatasetKind { Experiment, Pilot, Simulated };

// Where a run's results go and what they are. The folder is named inside the run folder.
struct DatasetSettings {
    std::string folder = "Res_Data";
    DatasetKind kind = DatasetKind::Experiment;
    // A free note for the dataset's description and README, such as how the runs were simulated.
    std::string note;
};

// A failure to write a file of the dataset: which file, what was tried and why it failed.
struct DatasetError {
    std::string what;  // "create", "write", "add a row to"
    std::string path;
    std::string reason;
    // The file is the lab's and cannot take what was to be added as it stands: nothing was written, the
    // reason says what to mend, and the run's own files can still be written.
    bool mend = false;
    // A file the lab edits (participants.json), which the run's own files never wait for: what it lacks
    // is added at the next registration.
    bool lab = false;
};

// The files at the dataset's root that describe it: dataset_description.json, README,
// participants.json, scans.json and .bidsignore. Each is written only when absent: a lab edits them,
// and a folder shared by two stations keeps the first one's. A participants.json of the lab's that does
// not describe Pelorin's columns gets their descriptions added, its own kept.
std::optional<DatasetError> DescribeDataset(const std::string& root, const DatasetSettings& settings);

// A row that one of the dataset's shared tables, participants.tsv or a subject's scans.tsv, could not
// take now (a spreadsheet holds it open, it is read-only, its shape takes no row): the row waits in a
// file beside the table, named after it (.participants-rows-to-add.tsv, in the table's own columns),
// until the table can take it. Nothing of the run waits for it.
struct RowKept {
    std::string table;  // the table's path
    std::string reason;  // what stood in the way, in the system's words or what to mend
    AppendResult::Cause cause = AppendResult::Cause::Other;
    bool mend = false;  // the table's shape stood in the way: the reason says what to mend
    // The rows that wait for the table now, by their first cell (sub-2; beh/sub-2_task-..._events.tsv).
    std::vector<std::string> waiting;
    // Where they wait; empty when this row could not be kept either, for keepError.
    std::string waitingFile;
    std::string keepError;
    // The row's cells under Pelorin's columns, for a hand that must add it.
    std::vector<std::string> cells;
};

// Appends the subject's row to participants.tsv (its header first when the file is new), locked, whole
// and flushed like the subject list's record, its cells under the header's column names: columns the
// lab added get n/a. An ID that has its row keeps it. Rows that wait for the table go first, in the
// order they were kept; a table that cannot take them keeps this row waiting too.
std::optional<RowKept> AddParticipant(const std::string& root, int16_t id, int16_t orderCondition);

// Appends one run to the subject's sub-<ID>_scans.tsv the same way: its events file, from the subject's
// folder, and the local time it began with the offset from UTC. A run that has its row keeps it.
std::optional<RowKept> AddScan(const std::string& subjectFolder, int16_t id, const std::string& eventsFile,
                               const std::string& localTime, const std::string& utcOffset);

// Adds the rows that wait beside the dataset's tables (participants.tsv and every subject's scans.tsv)
// to them, where they can take them now, and removes the files they waited in; the others keep
// waiting. Says nothing: each was said when it was kept. Returns the files in which rows still wait.
std::vector<std::string> AddWaitingRows(const std::string& root);

// The file beside a shared table in which its rows wait: "<folder>/.<name>-rows-to-add.tsv".
std::string WaitingRowsFile(const std::string& table);

// "sub-<ID>".
std::string ParticipantId(int16_t id);

// The BIDS data dictionary of some columns: for each, LongName, Description, Levels and Units, as
// the members of a JSON object, indented by two spaces, without the braces.
std::string ColumnsJson(std::span<const Column> columns);
// The header line of a table of these columns.
std::string TsvHeader(std::span<const Column> columns);

}  // namespace pelorin
