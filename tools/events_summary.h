#pragma once

#include <cstdint>
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
};

// Reads an events file exactly as the program writes it: the header, then whole rows of the columns of
// the vocabulary, each value in its column's form, each kind of row with what it must hold. Anything
// else is refused with "line N: reason".
std::variant<std::vector<EventRow>, std::string> ReadEvents(std::string_view text);

// One run of the dataset: whose, which, and its rows.
struct DatasetRun {
    std::string participantId;  // "sub-12"
    int run = 1;
    std::string path;
    std::vector<EventRow> rows;
};

// Every events file of a dataset (Res_Data or another), by participant ID then run, and for each file
// that cannot be read or is malformed, "PATH: line N: reason" in errors. Files an earlier version left at
// the top of the folder are no part of it.
struct Dataset {
    std::vector<DatasetRun> runs;
    std::vector<std::string> errors;
};
Dataset ReadDataset(const std::string& root);

// One events file given by its path: its participant and run are read from its name where it has them.
std::variant<DatasetRun, std::string> ReadRun(const std::string& path);

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
};
std::vector<SummaryRow> Summarize(const DatasetRun& run);

// The summary as a table for the experimenter, and as CSV (a header line, NA where a value is missing).
std::string FormatTable(const std::vector<SummaryRow>& rows);
std::string FormatCsv(const std::vector<SummaryRow>& rows);

}  // namespace pelorin
