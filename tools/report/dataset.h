#pragma once

#include <optional>
#include <string>
#include <vector>

#include "events_summary.h"

namespace pelorin {

// One run of a subject: its events file read back, with what scans.tsv and the sidecar say of it.
struct ReportRun {
    int run = 1;
    // The events file, relative to the subject's folder as scans.tsv names it (beh/sub-1_task-..._events.tsv).
    std::string filename;
    // The local start time from scans.tsv; empty when the run is not listed there.
    std::string acqTime;
    // Whether the sidecar says the run had no sound; none when it does not say.
    std::optional<bool> silent;
    // The language of the texts the subject read (a BCP 47 tag); empty when the sidecar does not say.
    std::string language;
    // The events file as the summary reads it.
    DatasetRun data;
    // Why the events file could not be read (with the line), or empty.
    std::string error;
};

struct ReportSubject {
    // sub-<ID>
    std::string participantId;
    std::string orderCondition;
    std::vector<ReportRun> runs;
};

struct ReportDataset {
    // From dataset_description.json; empty when it has none.
    std::string name;
    std::vector<ReportSubject> subjects;
    // Everything that was skipped, "PATH: reason" or "PATH: line N: reason": folder entries that cannot
    // be read, events files that cannot be read at all, and their lines that cannot.
    std::vector<std::string> skipped;
};

// Reads a Res_Data folder laid out as a BIDS dataset: participants.tsv, and every subject folder's
// events files (found by the summary's ListDataset, read by its ReadRun) with their sidecars and
// scans.tsv. Subjects come once each in the order of SubjectBefore (sub-2 before sub-10), runs in run
// order. A subject folder without a participants.tsv row still counts. nullopt with the reason when
// the folder cannot be read at all.
std::optional<ReportDataset> ReadReportDataset(const std::string& root, std::string* error);

}  // namespace pelorin
