#include "records/dataset.h"

#include <cstdio>
#include <filesystem>

#include "platform/append_file.h"
#include "platform/files.h"

#ifndef PELORIN_VERSION
#define PELORIN_VERSION "unknown"
#endif

namespace pelorin {

namespace {

constexpr const char* BIDS_VERSION = "1.10.0";

std::string Tsv(std::initializer_list<std::string_view> cells) {
    std::string line;
    for (std::string_view cell : cells) line += std::string(cell) + '\t';
    line.back() = '\n';
    return line;
}

std::string KindName(DatasetKind kind) {
    switch (kind) {
    case DatasetKind::Pilot:
        return "pilot runs";
    case DatasetKind::Simulated:
        return "simulated runs";
    case DatasetKind::Experiment:
        break;
    }
    return "";
}

// What the dataset is, in one sentence; the note after it.
std::string Purpose(const DatasetSettings& settings) {
    std::string purpose;
    switch (settings.kind) {
    case DatasetKind::Pilot:
        purpose = "Pilot runs, made to try the set-up: no data of the experiment.";
        break;
    case DatasetKind::Simulated:
        purpose = "Simulated runs, answered by a program in place of a subject: no data of the experiment.";
        break;
    case DatasetKind::Experiment:
        purpose = "The runs of the experiment, one events file per run.";
        break;
    }
    if (!settings.note.empty()) purpose += " " + settings.note;
    return purpose;
}

std::string Title(const DatasetSettings& settings) {
    std::string kind = KindName(settings.kind);
    return "Pelorin dual-task experiment" + (kind.empty() ? std::string() : ": " + kind);
}

std::string Description(const DatasetSettings& settings) {
    return "{\n  \"Name\": " + JsonString(Title(settings)) + ",\n  \"BIDSVersion\": " + JsonString(BIDS_VERSION) +
           ",\n  \"DatasetType\": \"raw\",\n  \"GeneratedBy\": [\n    {\n      \"Name\": \"Pelorin\",\n"
           "      \"Version\": " + JsonString(PELORIN_VERSION) + ",\n      \"Description\": " +
           JsonString(Purpose(settings)) + "\n    }\n  ]\n}\n";
}

std::string ColumnsText(std::span<const Column> columns) {
    std::string text;
    for (const Column& column : columns) {
        text += "- " + std::string(column.name) + " (" + std::string(column.longName) +
                (column.units.empty() ? std::string() : ", in " + std::string(column.units)) + "): " +
                std::string(column.description) + "\n";
        for (const Level& level : column.levels) {
            text += "    " + std::string(level.value) + ": " + std::string(level.description) + "\n";
        }
    }
    return text;
}

std::string Readme(const DatasetSettings& settings) {
    std::string title = Title(settings);
    return title + "\n" + std::string(title.size(), '=') + "\n\n" + Purpose(settings) +
           "\n\n"
           "The task\n"
           "--------\n"
           "One subject at a time hears tones and sees letters and answers each with its own keys, in three "
           "blocks of 60 s: the tone block (tones of 200, 500 and 800 Hz, answered with x, s and w), the letter "
           "block (the letters A, B and C, answered with b, n and m) and the dual block (tones and letters at "
           "once, each with its own keys). After them the experimenter may run more blocks from a menu. In every "
           "block a red tone bar and a blue letter bar rise from a third of the screen's height, the bars of the "
           "block's task by a step every 35 ms; each right answer pushes its bar down. A block ends after 60 s "
           "with praise, or earlier when a bar reaches the top, with an error sound. Each answer, right or wrong, "
           "brings the next stimulus of its kind; a tone plays to its end before anything else is handled. Esc "
           "asks whether to quit; every timer holds while the question is up.\n\n"
           "The files\n"
           "---------\n"
           "- participants.tsv: one row per subject, written at registration (participants.json describes the "
           "columns). The subject's initials are never in this dataset: they stay in the subject list, "
           "CurrentSubjects.txt, beside it.\n"
           "- sub-<ID>/sub-<ID>_scans.tsv: one row per run of the subject, its events file and the local time "
           "it began (scans.json describes the columns).\n"
           "- sub-<ID>/beh/sub-<ID>_task-" + std::string(EVENTS_TASK) +
           "[_run-<k>]_events.tsv: every block start, stimulus, key, ending and quit question of a run, one row "
           "each, written the moment it happened; its .json sidecar describes the columns, the display and the "
           "sound output. A subject ID registered again (an edited subject list) gets run 2, 3, ...\n"
           "- Files named sub-<ID>_task-" + std::string(EVENTS_TASK) +
           "*_events.* at the top of this folder were written by an earlier version of Pelorin, in its own "
           "columns; .bidsignore keeps them out of validation.\n\n"
           "The columns of the events files\n"
           "-------------------------------\n"
           "Tab-separated, n/a where a value does not apply. Every stimulus, key and ending is a row.\n\n" +
           ColumnsText(EVENT_COLUMNS) +
           "\nThe columns of participants.tsv\n"
           "-------------------------------\n" +
           ColumnsText(PARTICIPANT_COLUMNS) +
           "\nThe columns of the scans files\n"
           "------------------------------\n" +
           ColumnsText(SCAN_COLUMNS);
}

std::string Dictionary(std::span<const Column> columns) { return "{\n" + ColumnsJson(columns) + "}\n"; }

// The files an earlier version wrote at the top of the folder.
constexpr const char* BIDS_IGNORE = "/sub-*_task-*_events.tsv\n/sub-*_task-*_events.json\n";

// Writes a file that is absent; one that exists is left as it is.
std::optional<DatasetError> WriteIfAbsent(const std::string& path, const std::string& contents) {
    auto created = AppendFile::CreateNew(path);
    if (created.exists) return std::nullopt;
    if (!created.file) return DatasetError{"create", path, created.error};
    std::optional<std::string> error = created.file->Append(contents);
    if (!error) error = created.file->Sync();
    if (!error) return std::nullopt;
    // An empty or partial file would stand for good: it is never written again.
    created.file.reset();
    std::error_code ignored;
    std::filesystem::remove(PathFromUtf8(path), ignored);
    return DatasetError{"write", path, *error};
}

// Appends a row to a table, with its header first when the table is new or empty. A table whose last
// line has no end gets one first; refuse says when the row must not be added.
std::optional<DatasetError> AppendRow(const std::string& path, const std::string& header, const std::string& row,
                                      const std::function<bool(const std::string& contents)>& refuse) {
    AppendResult result = AppendComposed(path, [&](const std::string& contents) -> std::optional<std::string> {
        if (refuse(contents)) return std::nullopt;
        if (contents.empty()) return header + row;
        return (contents.back() == '\n' ? "" : "\n") + row;
    });
    if (result.status == AppendResult::Status::Failed) return DatasetError{"write", path, result.error};
    return std::nullopt;
}

}  // namespace

std::string ParticipantId(int16_t id) { return "sub-" + std::to_string(id); }

std::string JsonString(std::string_view text) {
    std::string quoted = "\"";
    for (char character : text) {
        auto code = static_cast<unsigned char>(character);
        if (character == '"' || character == '\\') {
            quoted += '\\';
            quoted += character;
        } else if (code < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", code);
            quoted += escaped;
        } else {
            quoted += character;
        }
    }
    return quoted + "\"";
}

std::string ColumnsJson(std::span<const Column> columns) {
    std::string json;
    for (const Column& column : columns) {
        if (!json.empty()) json += ",\n";
        json += "  " + JsonString(column.name) + ": {\n    \"LongName\": " + JsonString(column.longName) +
                ",\n    \"Description\": " + JsonString(column.description);
        if (!column.levels.empty()) {
            json += ",\n    \"Levels\": {";
            for (size_t i = 0; i < column.levels.size(); ++i) {
                json += std::string(i == 0 ? "\n" : ",\n") + "      " + JsonString(column.levels[i].value) + ": " +
                        JsonString(column.levels[i].description);
            }
            json += "\n    }";
        }
        if (!column.units.empty()) json += ",\n    \"Units\": " + JsonString(column.units);
        json += "\n  }";
    }
    return json + "\n";
}

std::string TsvHeader(std::span<const Column> columns) {
    std::string header;
    for (const Column& column : columns) header += std::string(column.name) + '\t';
    header.back() = '\n';
    return header;
}

std::optional<DatasetError> DescribeDataset(const std::string& root, const DatasetSettings& settings) {
    const std::pair<const char*, std::string> files[] = {
        {"dataset_description.json", Description(settings)},
        {"README", Readme(settings)},
        {"participants.json", Dictionary(PARTICIPANT_COLUMNS)},
        {"scans.json", Dictionary(SCAN_COLUMNS)},
        {".bidsignore", BIDS_IGNORE},
    };
    for (const auto& [name, contents] : files) {
        if (auto error = WriteIfAbsent(JoinPath(root, name), contents)) return error;
    }
    return std::nullopt;
}

std::optional<DatasetError> AddParticipant(const std::string& root, int16_t id, int16_t orderCondition) {
    std::string participant = ParticipantId(id);
    return AppendRow(JoinPath(root, "participants.tsv"), TsvHeader(PARTICIPANT_COLUMNS),
                     Tsv({participant, std::to_string(orderCondition)}), [&](const std::string& contents) {
                         // One row per subject ID: a second run of an ID keeps the first row.
                         std::string key = "\n" + participant + "\t";
                         return ("\n" + contents).find(key) != std::string::npos;
                     });
}

std::optional<DatasetError> AddScan(const std::string& subjectFolder, int16_t id, const std::string& eventsFile,
                                    const std::string& localTime, const std::string& utcOffset) {
    return AppendRow(JoinPath(subjectFolder, ParticipantId(id) + "_scans.tsv"), TsvHeader(SCAN_COLUMNS),
                     Tsv({eventsFile, localTime, utcOffset}), [](const std::string&) { return false; });
}

}  // namespace pelorin
