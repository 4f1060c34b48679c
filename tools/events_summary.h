#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// Reads back the results dataset Pelorin writes and summarises it: the library behind pelorin-summary,
// for any program that wants the same figures.
namespace pelorin {

// One row of an events file, as written.
struct EventRow {
    int64_t onsetMicros = 0;
    std::optional<int64_t> durationMicros;
    std::string trialType;
    std::optional<int> block;
    std::string task;  // empty for n/a, as every text column below
    std::string stimulus;
    std::string key;
    std::string channel;
    std::optional<bool> correct;
    std::optional<int64_t> responseMicros;
    std::optional<double> toneBar;
    std::optional<double> letterBar;
    std::string quitAnswer;
    std::string onsetSource;

    bool operator==(const EventRow&) const = default;
};

// An events file as a lab may hand it back: whatever could be kept.
struct EventsRead {
    std::vector<EventRow> rows;
    // "line N: reason" for each line that was skipped (a row that cannot be read, a torn tail), the
    // first MAX_SKIPPED_LINES of them, then one that counts the rest.
    std::vector<std::string> skipped;
};
inline constexpr size_t MAX_SKIPPED_LINES = 20;

// Reads an events file by its header's column names: columns it does not know are ignored, a column of
// the vocabulary that is missing is n/a on every row (onset and trial_type must be there), CR LF line
// ends are taken, and a row that cannot be read is skipped while the rows around it are kept: so a file
// a spreadsheet re-saved, one of an earlier or later version, and one whose tail a power cut tore off
// are read as far as they can be. A cell is read in its column's form, a number in any decimal form (a
// spreadsheet writes 12.5 for 12.500000), and each kind of row must hold what the program writes on it,
// as far as the file's columns say. Refused, with "line 1: reason", only
// when the header has no onset or trial_type.
std::variant<EventsRead, std::string> ReadEventsKeeping(std::string_view text);

// Reads an events file exactly as the program writes it: today's header, then whole rows ending in a
// line feed, each as ReadEventsKeeping takes it but with its numbers in the program's own form (six
// decimals for seconds, three for a fraction). Anything else is refused with "line N: reason".
std::variant<std::vector<EventRow>, std::string> ReadEvents(std::string_view text);

// A block's frames as its run's sidecar lists them (BlockFrames): the stamp they were counted by, and
// where the display stamped them, how many were shown and how many a refresh or more late.
struct BlockFrames {
    std::string stamp;  // display_refresh, present_call, virtual_clock; empty when the entry says none
    std::optional<int64_t> shown;
    std::optional<int64_t> late;
};

// The BlockFrames of an events sidecar's text, by block number: none for a sidecar without them (a
// run of an earlier version), and as many entries as can be read of one a hand has spoiled.
std::map<int, BlockFrames> ReadBlockFrames(std::string_view sidecar);

// One run of the dataset: whose, which, and its rows.
struct DatasetRun {
    std::string participantId;  // "sub-12"
    int run = 1;
    std::string path;
    std::vector<EventRow> rows;
    // The lines of the file that were skipped, "line N: reason".
    std::vector<std::string> skipped;
    // Each block's frames, from the sidecar beside the events file; none where it has no BlockFrames.
    std::map<int, BlockFrames> frames;
};

// Subject IDs in one total order: sub-<number> first, by the number's value (sub-2 before sub-10, sub-02
// beside sub-2), then the others by their text; IDs that differ in text never compare equal.
bool SubjectBefore(std::string_view a, std::string_view b);

// The events files of a dataset folder: sub-<ID>/beh/sub-<ID>_..._events.tsv.
struct DatasetFile {
    std::string participantId;
    int run = 1;
    std::string path;
    // Relative to the subject's folder, as scans.tsv names it: beh/sub-1_task-..._events.tsv.
    std::string filename;
};
struct DatasetListing {
    // Every sub-* folder, in subject order.
    std::vector<std::string> subjects;
    // Their events files, by subject then run.
    std::vector<DatasetFile> files;
    // "PATH: cannot read: reason" for each entry that was skipped (a folder that cannot be listed, a
    // sub-* entry whose kind cannot be told, such as a symbolic link in a loop).
    std::vector<std::string> skipped;
};
DatasetListing ListDataset(const std::string& root);

// Every events file of a dataset (Res_Data or another), by participant ID then run, and in errors, for
// everything that was skipped, "PATH: reason" or "PATH: line N: reason". Files an earlier version left
// at the top of the folder are no part of it.
struct Dataset {
    std::vector<DatasetRun> runs;
    std::vector<std::string> errors;
};
Dataset ReadDataset(const std::string& root);

// One events file given by its path, read as ReadEventsKeeping reads it: its participant and run are
// read from its name where it has them. The reason, with the path, when nothing of it can be read.
std::variant<DatasetRun, std::string> ReadRun(const std::string& path);

// A dataset folder, or one events file, as ReadDataset reads it.
Dataset ReadPath(const std::string& path);

// Whether a response answered the stimulus it was scored against right: its correct cell, or in a file
// without that column, whether its key is that stimulus's answer key. nullopt for a key that answered
// nothing.
std::optional<bool> ScoredRight(const EventRow& row);
// A response's answer channel: its channel cell, or in a file without that column, the channel its key
// belongs to. Empty for a key of no channel.
std::string ResponseChannel(const EventRow& row);

// One row per participant x run x block x channel: the channels of the block's task, a channel the task
// lacks when its keys were typed, and "none" for keys of no channel (q, space, tab, ...).
struct SummaryRow {
    std::string participantId;
    int run = 1;
    int block = 0;
    std::string task;
    std::string ended;    // time_up, overflow, quit, or not_ended for a run cut off in the block
    std::string channel;  // tone, letter, none
    int presented = 0;    // stimuli of the channel presented
    int answered = 0;     // keys scored against one of them
    int correct = 0;
    std::optional<double> shareCorrect;  // correct / answered
    // The median response time of the correct answers, leaving out those that span a quit question
    // (the question was up between the stimulus and the key) and those without a response time.
    std::optional<int64_t> medianRtCorrectMicros;
    int keysUnanswered = 0;  // keys of the channel that answered nothing; for "none", every key of no channel
    int64_t quitQuestionMicros = 0;  // how long quit questions were up during the block
    // The block's frames, where the display stamped them: shown, and shown a refresh or more late.
    std::optional<int64_t> framesShown;
    std::optional<int64_t> framesLate;
};
std::vector<SummaryRow> Summarize(const DatasetRun& run);

// The summary as a table for the experimenter, and as CSV (a header line, NA where a value is missing).
std::string FormatTable(const std::vector<SummaryRow>& rows);
std::string FormatCsv(const std::vector<SummaryRow>& rows);

}  // namespace pelorin
