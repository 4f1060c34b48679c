#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "records/event_columns.h"

namespace pelorin {

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
    std::string what;  // "create", "write"
    std::string path;
    std::string reason;
};

// The files at the dataset's root that describe it: dataset_description.json, README,
// participants.json, scans.json and .bidsignore. Each is written only when absent: a lab edits them,
// and a folder shared by two stations keeps the first one's.
std::optional<DatasetError> DescribeDataset(const std::string& root, const DatasetSettings& settings);

// Appends the subject's row to participants.tsv (its header first when the file is new), locked, whole
// and flushed like the subject list's record. An ID that has its row keeps it.
std::optional<DatasetError> AddParticipant(const std::string& root, int16_t id, int16_t orderCondition);

// Appends one run to the subject's sub-<ID>_scans.tsv the same way: its events file, from the subject's
// folder, and the local time it began with the offset from UTC.
std::optional<DatasetError> AddScan(const std::string& subjectFolder, int16_t id, const std::string& eventsFile,
                                    const std::string& localTime, const std::string& utcOffset);

// "sub-<ID>".
std::string ParticipantId(int16_t id);

// A JSON string literal of UTF-8 text.
std::string JsonString(std::string_view text);
// The BIDS data dictionary of some columns: for each, LongName, Description, Levels and Units, as
// the members of a JSON object, indented by two spaces, without the braces.
std::string ColumnsJson(std::span<const Column> columns);
// The header line of a table of these columns.
std::string TsvHeader(std::span<const Column> columns);

}  // namespace pelorin
