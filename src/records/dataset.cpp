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

std::string Tsv(const std::vector<std::string>& cells) {
    std::string line;
    for (const std::string& cell : cells) line += cell + '\t';
    line.back() = '\n';
    return line;
}

// A table saved as UTF-16 (Excel's "Unicode Text"): rows in UTF-8 would corrupt it, and rewriting it
// whole is the lab's to do.
bool IsUtf16(std::string_view contents) { return contents.starts_with("\xFF\xFE") || contents.starts_with("\xFE\xFF"); }

constexpr std::string_view UTF16_TABLE =
    "it is saved as UTF-16 (Excel's \"Unicode Text\"), which the BIDS validators do not read: save it as "
    "tab-separated text in UTF-8 (\"Text (Tab delimited)\")";

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
           "it gives them: a new row gets n/a in them, and participants.json keeps the lab's descriptions. A row "
           "this table or a scans file cannot take at once (open in a spreadsheet, read-only) waits in a file "
           "beside it whose name begins with a dot and ends in -rows-to-add.tsv, and is added as soon as it can be.\n"
           "- sub-<ID>/sub-<ID>_scans.tsv: one row per run of the subject, its events file and the local time "
           "it began (scans.json describes the columns).\n"
           "- sub-<ID>/beh/sub-<ID>_task-" + std::string(EVENTS_TASK) +
           "[_run-<k>]_events.tsv: every block start, stimulus, key, ending and quit question of a run, one row "
           "each, written the moment it happened; its .json sidecar describes the columns, the display, the "
           "sound output and, from each block's end, the frames the block showed and those shown a refresh "
           "late (StimulusPresentation.BlockFrames). A subject ID registered again (an edited subject list) gets run 2, 3, ...\n"
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
    if (IsUtf16(contents)) return std::string(UTF16_TABLE);
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

// Why a shared table took no row.
struct Refusal {
    std::string reason;
    AppendResult::Cause cause = AppendResult::Cause::Other;
    bool mend = false;
    // Not the table: the file of the rows that wait for it could not be read.
    bool unreadWaiting = false;
};

std::optional<Refusal> RefusalOf(const AppendResult& result) {
    if (result.status != AppendResult::Status::Failed) return std::nullopt;
    return Refusal{result.error, result.cause, false};
}

// One of the dataset's shared tables: where it is, Pelorin's columns in it, and how a row of those
// columns is added to it as it stands now (nothing where it has the row).
struct SharedTable {
    std::string path;
    std::span<const Column> columns;
    std::function<std::optional<Refusal>(const std::string& path, const std::vector<std::string>& cells)> add;
};

std::optional<Refusal> AddParticipantRow(const std::string& path, const std::vector<std::string>& cells) {
    const std::string& participant = cells[PARTICIPANT_ID];
    const std::string& orderCondition = cells[ORDER_CONDITION];
    std::string unreadable;
    AppendResult result = AppendComposed(path, [&](const std::string& contents) -> std::optional<std::string> {
        if (contents.empty()) return TsvHeader(PARTICIPANT_COLUMNS) + Tsv(cells);
        std::variant<TableRow, std::string> row = RowByHeader(contents, participant, orderCondition);
        if (auto* problem = std::get_if<std::string>(&row)) {
            unreadable = std::move(*problem);
            return std::nullopt;
        }
        std::string& text = std::get<TableRow>(row).text;
        if (text.empty()) return std::nullopt;
        return text;
    });
    if (!unreadable.empty()) return Refusal{unreadable, AppendResult::Cause::Other, true};
    return RefusalOf(result);
}

// Whether a scans table has a row of this events file, under its filename column, read as the lab's
// tools leave it (ReadTableText).
bool ScansHold(const std::string& contents, const std::string& eventsFile) {
    TableText table = ReadTableText(contents);
    size_t column = table.Column(SCAN_COLUMNS[0].name).value_or(0);
    return std::any_of(table.rows.begin(), table.rows.end(), [&](const TableText::Row& row) {
        return column < row.cells.size() && row.cells[column] == eventsFile;
    });
}

std::optional<Refusal> AddScanRow(const std::string& path, const std::vector<std::string>& cells) {
    std::string unreadable;
    AppendResult result = AppendComposed(path, [&](const std::string& contents) -> std::optional<std::string> {
        if (contents.empty()) return TsvHeader(SCAN_COLUMNS) + Tsv(cells);
        if (IsUtf16(contents)) {
            unreadable = UTF16_TABLE;
            return std::nullopt;
        }
        if (ScansHold(contents, cells[0])) return std::nullopt;
        std::string row = Tsv(cells);
        row.pop_back();
        return RowToAppend(contents, row);
    });
    if (!unreadable.empty()) return Refusal{unreadable, AppendResult::Cause::Other, true};
    return RefusalOf(result);
}

SharedTable ParticipantsTable(const std::string& root) {
    return {JoinPath(root, "participants.tsv"), PARTICIPANT_COLUMNS, AddParticipantRow};
}

SharedTable ScansTable(const std::string& subjectFolder, const std::string& participant) {
    return {JoinPath(subjectFolder, participant + "_scans.tsv"), SCAN_COLUMNS, AddScanRow};
}

// Adds the rows that wait for a table, in the order they were kept, and removes their file once the
// table holds every one; the first that the table refuses stops it (the ones added before stay: a row a
// table holds is not added twice). Nothing when none wait, or the table took them all.
std::optional<Refusal> AddWaiting(const SharedTable& table) {
    std::string waitingFile = WaitingRowsFile(table.path);
    std::optional<Refusal> refused;
    bool read = false;
    std::optional<std::string> error = SettleFile(waitingFile, [&](const std::string& contents) {
        read = true;
        std::vector<std::string> lines = SplitLines(contents);
        for (size_t i = 1; i < lines.size(); ++i) {
            std::vector<std::string> cells;
            for (std::string_view cell : SplitTabs(lines[i])) cells.emplace_back(cell);
            // Rows are written whole: anything else is not Pelorin's to add.
            if (cells.size() != table.columns.size()) continue;
            if ((refused = table.add(table.path, cells))) return false;
        }
        return true;
    });
    if (error && !read) return Refusal{"cannot read " + waitingFile + ": " + *error, AppendResult::Cause::Other, false, true};
    return refused;
}

// Keeps a row the table refused in the file beside it, after the rows waiting there already.
RowKept KeepRow(const SharedTable& table, const std::vector<std::string>& cells, const Refusal& refusal) {
    RowKept kept{table.path, refusal.reason, refusal.cause, refusal.mend, {}, WaitingRowsFile(table.path), {}, cells};
    AppendResult result = AppendComposed(kept.waitingFile, [&](const std::string& contents) {
        return (contents.empty() ? TsvHeader(table.columns) : contents.back() == '\n' ? "" : "\n") + Tsv(cells);
    });
    if (result.status == AppendResult::Status::Failed) {
        kept.waitingFile.clear();
        kept.keepError = result.error;
        kept.waiting = {cells[0]};
        return kept;
    }
    std::vector<std::string> lines = SplitLines(ReadWholeFile(kept.waitingFile).value_or(""));
    for (size_t i = 1; i < lines.size(); ++i) {
        std::string_view first = SplitTabs(lines[i])[0];
        if (std::find(kept.waiting.begin(), kept.waiting.end(), first) == kept.waiting.end()) {
            kept.waiting.emplace_back(first);
        }
    }
    return kept;
}

// Adds a row to a shared table after the rows that wait for it; a table that cannot take them all
// keeps this one waiting too, so that rows reach it in the order they came.
std::optional<RowKept> AddToShared(const SharedTable& table, const std::vector<std::string>& cells) {
    std::optional<Refusal> refused = AddWaiting(table);
    // Waiting rows that cannot even be read hold nothing up: this one is not kept from its table.
    if (!refused || refused->unreadWaiting) refused = table.add(table.path, cells);
    if (!refused) return std::nullopt;
    return KeepRow(table, cells, *refused);
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
    std::optional<DatasetError> error = DescribeColumns(root, "participants.json", PARTICIPANT_COLUMNS);
    if (error) error->lab = true;
    return error;
}

std::optional<RowKept> AddParticipant(const std::string& root, int16_t id, int16_t orderCondition) {
    return AddToShared(ParticipantsTable(root), {ParticipantId(id), std::to_string(orderCondition)});
}

std::optional<RowKept> AddScan(const std::string& subjectFolder, int16_t id, const std::string& eventsFile,
                               const std::string& localTime, const std::string& utcOffset) {
    return AddToShared(ScansTable(subjectFolder, ParticipantId(id)), {eventsFile, localTime, utcOffset});
}

std::vector<std::string> AddWaitingRows(const std::string& root) {
    std::vector<std::string> waiting;
    auto add = [&](const SharedTable& table) {
        if (AddWaiting(table)) waiting.push_back(WaitingRowsFile(table.path));
    };
    add(ParticipantsTable(root));
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(PathFromUtf8(root), error)) {
        std::u8string name = entry.path().filename().u8string();
        std::string participant(name.begin(), name.end());
        std::error_code notFolder;
        if (participant.starts_with("sub-") && entry.is_directory(notFolder)) {
            add(ScansTable(JoinPath(root, participant), participant));
        }
    }
    return waiting;
}

std::string WaitingRowsFile(const std::string& table) {
    size_t slash = table.find_last_of(std::string("/") + PATH_SEPARATOR);
    std::string folder = slash == std::string::npos ? std::string() : table.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? table : table.substr(slash + 1);
    if (name.ends_with(".tsv")) name.resize(name.size() - 4);
    return folder + "." + name + "-rows-to-add.tsv";
}

}  // namespace pelorin
