#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pelorin::fuzz {

// The readers of the results dataset, each run on one case and checked. Each returns an empty string
// when every invariant held, otherwise what broke.

// The case's bytes are an events file: read as the summary and the report read it, and again with CR LF
// line ends, which must read the same; the strict reader takes nothing the keeping one would not, and
// the summary of what was kept holds together.
std::string RunEventsCase(const uint8_t* data, size_t size);

// The case builds a small dataset in a folder of its own (DatasetCaseLayout below) and reads it as
// pelorin-summary and pelorin-report do: nothing throws, every subject comes once in the one order,
// every run is read or skipped with its file named, and the two readers agree on what they read.
std::string RunDatasetCase(const uint8_t* data, size_t size);

// The same dataset made into the report's page: its figures are valid JSON inside their script
// element, and nothing from the dataset opens a tag or a script of its own.
std::string RunReportCase(const uint8_t* data, size_t size);

// A dataset case: a first byte whose bits add folder entries (a sub-* symbolic link in a loop, a
// sub-* file, a beh that is a link in a loop, an events file that is a folder, a second run), then
// the files' contents, separated by the byte 0x1e, in the order of DATASET_CASE_FILES.
inline constexpr const char* DATASET_CASE_FILES[] = {
    "participants.tsv",
    "dataset_description.json",
    "sub-1/beh/sub-1_task-dualtask_events.tsv",
    "sub-1/beh/sub-1_task-dualtask_events.json",
    "sub-1/sub-1_scans.tsv",
    "sub-10/beh/sub-10_task-dualtask_events.tsv",
    "sub-02/beh/sub-02_task-dualtask_events.tsv",
    "sub-1a/beh/sub-1a_task-dualtask_events.tsv",
};

// Builds a dataset case's folder afresh (the same folder for every case of the process) and returns
// the dataset's root.
std::string MakeDatasetCase(const uint8_t* data, size_t size);

}  // namespace pelorin::fuzz
