#include "records/dataset.h"

#include <algorithm>
#include <filesystem>
#include <variant>
#include <vector>

#include "system/append_file.h"
#include "system/files.h"
#include "system/saved_text.h"

#ifndef PELORIN_VERSION
#define PELORIN_VERSION "unknown"
#endif

namespace pelorin {

namespace {

// The newest release both validators know.
constexpr const char* BIDS_VERSION = "1.9.0";

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
           "--------\n" +
           std::string(TASK_DESCRIPTION) +
           "\n\n"
           "The files\n"
           "---------\n"
           "- participants.tsv: one row per subject, written at registration (participants.json describes the "
           "columns). The subject's initials are never in this dataset: they stay in the subject list, "
           "CurrentSubjects.txt, beside it. Columns a lab adds (such as age, sex, handedness) stay, in the order "
           "it gives them: a new row gets n/a in them, and participants.json keeps the lab's descriptions.\n"
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
           ColumnsText(SCAN_COLUMNS) +
           "\nWhat only the lab can say\n"
           "-------------------------\n"
           "Authors, License, Funding and EthicsApprovals go into dataset_description.json, once, and the "
           "institution into this README: Pelorin writes both only where they are absent and never changes "
           "them afterwards.\n";
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

// The names of a JSON object's members and where its closing brace stands, or nothing for a text
// that is no JSON object. Values are skipped over, not checked.
struct JsonMembers {
    std::vector<std::string> names;
    size_t closingBrace = 0;
};

std::optional<JsonMembers> ReadJsonMembers(std::string_view text) {
    size_t at = 0;
    auto skipBlanks = [&] {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n')) ++at;
    };
    // A string from its opening quote; false at a text that ends inside it.
    auto skipString = [&] { return ReadJsonString(text, at).has_value(); };
    auto skipValue = [&] {
        int depth = 0;
        while (at < text.size()) {
            char c = text[at];
            if (c == '"') {
                if (!skipString()) return false;
                continue;
            }
            if (depth == 0 && (c == ',' || c == '}')) return true;
            if (c == '{' || c == '[') ++depth;
            if (c == '}' || c == ']') --depth;
            if (depth < 0) return false;
            ++at;
        }
        return false;
    };
    if (text.starts_with("\xEF\xBB\xBF")) at = 3;
    skipBlanks();
    if (at >= text.size() || text[at] != '{') return std::nullopt;
    ++at;
    JsonMembers members;
    skipBlanks();
    if (at < text.size() && text[at] == '}') {
        members.closingBrace = at;
    } else {
        for (;;) {
            skipBlanks();
            std::optional<std::string> name = ReadJsonString(text, at);
            if (!name) return std::nullopt;
            skipBlanks();
            if (at >= text.size() || text[at] != ':') return std::nullopt;
            ++at;
            if (!skipValue()) return std::nullopt;
            members.names.push_back(std::move(*name));
            if (text[at] == '}') break;
            ++at;
        }
        members.closingBrace = at;
    }
    ++at;
    skipBlanks();
    if (at != text.size()) return std::nullopt;
    return members;
}

// A data dictionary: written whole where absent; where the lab has one, the columns it does not
// describe get Pelorin's descriptions added before its closing brace, and all it holds stays. A file
// that is no JSON object is the lab's to mend and is left as it is.
std::optional<DatasetError> DescribeColumns(const std::string& root, const std::string& name,
                                            std::span<const Column> columns) {
    std::string path = JoinPath(root, name);
    std::optional<std::string> contents = ReadWholeFile(path);
    if (!contents) return WriteIfAbsent(path, Dictionary(columns));
    std::optional<JsonMembers> members = ReadJsonMembers(*contents);
    if (!members) return std::nullopt;
    std::vector<Column> missing;
    for (const Column& column : columns) {
        if (std::find(members->names.begin(), members->names.end(), column.name) == members->names.end()) {
            missing.push_back(column);
        }
    }
    if (missing.empty()) return std::nullopt;
    std::string_view before = std::string_view(*contents).substr(0, members->closingBrace);
    while (!before.empty() && std::string_view(" \t\r\n").find(before.back()) != std::string_view::npos) {
        before.remove_suffix(1);
    }
    std::string added = (members->names.empty() ? "\n" : ",\n") + ColumnsJson(missing);
    if (contents->find("\r\n") != std::string::npos) {
        for (size_t at = 0; (at = added.find('\n', at)) != std::string::npos; at += 2) added.insert(at, "\r");
    }
    std::string merged = std::string(before) + added + contents->substr(members->closingBrace);
    // The lab's file is replaced whole or not at all; a hidden name keeps a leftover out of validation.
    std::string temporary = JoinPath(root, "." + name + ".new");
    std::error_code ignored;
    std::filesystem::remove(PathFromUtf8(temporary), ignored);
    if (auto error = WriteIfAbsent(temporary, merged)) return error;
    std::error_code renamed;
    std::filesystem::rename(PathFromUtf8(temporary), PathFromUtf8(path), renamed);
    if (renamed) {
        std::filesystem::remove(PathFromUtf8(temporary), ignored);
        return DatasetError{"write", path, renamed.message()};
    }
    return std::nullopt;
}

// A row for a table as the lab left it: its text to append (empty when the subject has a row).
struct TableRow {
    std::string text;
};

// participants.tsv's row for a subject, its cells under the header's names wherever they stand: the
// lab's own columns get n/a, the file's line ends are kept. The table is read as the lab's tools leave
// it (ReadTableText: a byte order mark, CR LF or CR alone, quoted cells, blank lines). Or, where the file
// cannot be read as a table that takes the row, what the lab must mend.
std::variant<TableRow, std::string> RowByHeader(std::string_view contents, const std::string& participant,
                                                 const std::string& orderCondition) {
    if (contents.starts_with("\xFF\xFE") || contents.starts_with("\xFE\xFF")) {
        // Rows in UTF-8 would corrupt it, and rewriting it whole is the lab's to do.
        return std::string("it is saved as UTF-16 (Excel's \"Unicode Text\"), which the BIDS validators do not read: "
                           "save it as tab-separated text in UTF-8 (\"Text (Tab delimited)\")");
    }
    if (contents.find('\0') != std::string_view::npos) return std::string("it holds NUL bytes: it is no text table");
    TableText table = ReadTableText(contents);
    const std::vector<std::string>& names = table.header;
    if (names.size() == 1 && names[0].find(',') != std::string::npos) {
        return std::string("its header is separated by commas, not tabs: save it as tab-separated text");
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i].empty()) return "column " + std::to_string(i + 1) + " of its header has no name";
        if (table.Column(names[i]) != i) return "its header names the column " + names[i] + " twice";
    }
    std::optional<size_t> idColumn = table.Column(PARTICIPANT_COLUMNS[PARTICIPANT_ID].name);
    std::optional<size_t> conditionColumn = table.Column(PARTICIPANT_COLUMNS[ORDER_CONDITION].name);
    for (auto [column, found] : {std::pair{PARTICIPANT_ID, idColumn}, std::pair{ORDER_CONDITION, conditionColumn}}) {
        if (!found) {
            return "its header (the first line) has no column " + std::string(PARTICIPANT_COLUMNS[column].name) +
                   ": add it, tab-separated, to the first line";
        }
    }
    // Every row must stand under the header, or a new one would not read as the others do.
    for (const TableText::Row& row : table.rows) {
        if (row.cells.size() != names.size()) {
            return "line " + std::to_string(row.line) + " has " + std::to_string(row.cells.size()) +
                   " cells where the header has " + std::to_string(names.size()) +
                   ": give it one cell per column, n/a where there is no value";
        }
        // One row per subject ID: a second run of an ID keeps the first row.
        if (row.cells[*idColumn] == participant) return TableRow{};
    }
    std::string row;
    for (size_t i = 0; i < names.size(); ++i) {
        row += i == *idColumn ? participant : i == *conditionColumn ? orderCondition : std::string(NOT_APPLICABLE);
        if (i + 1 < names.size()) row += '\t';
    }
    return TableRow{RowToAppend(contents, row)};
}

// Appends a row to a table, with its header first when the table is new or empty, in the table's own
// line ends (RowToAppend); refuse says when the row must not be added.
std::optional<DatasetError> AppendRow(const std::string& path, const std::string& header, const std::string& row,
                                      const std::function<bool(const std::string& contents)>& refuse) {
    AppendResult result = AppendComposed(path, [&](const std::string& contents) -> std::optional<std::string> {
        if (refuse(contents)) return std::nullopt;
        if (contents.empty()) return header + row;
        return RowToAppend(contents, std::string_view(row).substr(0, row.find('\n')));
    });
    if (result.status == AppendResult::Status::Failed) return DatasetError{"write", path, result.error};
    return std::nullopt;
}

}  // namespace

std::string ParticipantId(int16_t id) { return "sub-" + std::to_string(id); }

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
        {"scans.json", Dictionary(SCAN_COLUMNS)},
        {".bidsignore", BIDS_IGNORE},
    };
    for (const auto& [name, contents] : files) {
        if (auto error = WriteIfAbsent(JoinPath(root, name), contents)) return error;
    }
    return DescribeColumns(root, "participants.json", PARTICIPANT_COLUMNS);
}

std::optional<DatasetError> AddParticipant(const std::string& root, int16_t id, int16_t orderCondition) {
    std::string path = JoinPath(root, "participants.tsv");
    std::string participant = ParticipantId(id);
    std::string unreadable;
    AppendResult result = AppendComposed(path, [&](const std::string& contents) -> std::optional<std::string> {
        if (contents.empty()) {
            return TsvHeader(PARTICIPANT_COLUMNS) + Tsv({participant, std::to_string(orderCondition)});
        }
        std::variant<TableRow, std::string> row = RowByHeader(contents, participant, std::to_string(orderCondition));
        if (auto* problem = std::get_if<std::string>(&row)) {
            unreadable = std::move(*problem);
            return std::nullopt;
        }
        return std::get<TableRow>(row).text;
    });
    if (result.status == AppendResult::Status::Failed) return DatasetError{"write", path, result.error};
    if (!unreadable.empty()) return DatasetError{"add a row to", path, unreadable, true};
    return std::nullopt;
}

std::optional<DatasetError> AddScan(const std::string& subjectFolder, int16_t id, const std::string& eventsFile,
                                    const std::string& localTime, const std::string& utcOffset) {
    return AppendRow(JoinPath(subjectFolder, ParticipantId(id) + "_scans.tsv"), TsvHeader(SCAN_COLUMNS),
                     Tsv({eventsFile, localTime, utcOffset}), [](const std::string&) { return false; });
}

}  // namespace pelorin
