#include "dataset.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>
#include <system_error>

#include "records/json.h"
#include "system/files.h"
#include "system/saved_text.h"

namespace pelorin {

namespace {

namespace fs = std::filesystem;

// A tab-separated table with a header, as the lab's tools leave it (ReadTableText): each row's cells by
// column name.
std::vector<std::map<std::string, std::string>> ReadTable(const std::string& path) {
    std::vector<std::map<std::string, std::string>> table;
    auto text = ReadWholeFile(path);
    if (!text) return table;
    TableText read = ReadTableText(SavedTextAsUtf8(*text).value_or(*text));
    for (TableText::Row& cells : read.rows) {
        std::map<std::string, std::string> row;
        for (size_t c = 0; c < read.header.size() && c < cells.cells.size(); ++c) {
            row.try_emplace(read.header[c], std::move(cells.cells[c]));
        }
        table.push_back(std::move(row));
    }
    return table;
}

// The string value of a top-level key of a JSON object, read without a JSON library (its escapes as
// JSON reads them, whoever wrote the file): a key it cannot find is simply left out of the page.
std::string JsonStringValue(const std::string& json, const std::string& key) {
    size_t at = json.find("\"" + key + "\"");
    if (at == std::string::npos) return "";
    at = json.find(':', at);
    if (at == std::string::npos) return "";
    at = json.find_first_not_of(" \t\r\n", at + 1);
    if (at == std::string::npos) return "";
    return ReadJsonString(json, at).value_or("");
}

// Where the value of a key of the sidecar starts, or npos.
size_t ValueAt(const std::string& json, const std::string& key) {
    size_t at = json.find("\"" + key + "\"");
    if (at == std::string::npos) return at;
    at = json.find(':', at);
    return at == std::string::npos ? at : json.find_first_not_of(" \t\r\n", at + 1);
}

std::optional<bool> JsonBoolValue(const std::string& json, const std::string& key) {
    size_t at = ValueAt(json, key);
    if (at == std::string::npos) return std::nullopt;
    if (json.compare(at, 4, "true") == 0) return true;
    if (json.compare(at, 5, "false") == 0) return false;
    return std::nullopt;
}

// A text value of the sidecar, or empty where it has none (an earlier version's run).
std::string JsonTextValue(const std::string& json, const std::string& key) {
    size_t at = ValueAt(json, key);
    if (at == std::string::npos || json[at] != '"') return {};
    return ReadJsonString(json, at).value_or("");
}

}  // namespace

std::optional<ReportDataset> ReadReportDataset(const std::string& root, std::string* error) {
    std::error_code failure;
    if (!fs::is_directory(PathFromUtf8(root), failure)) {
        if (error) *error = failure ? failure.message() : "not a folder";
        return std::nullopt;
    }
    ReportDataset dataset;
    if (auto description = ReadWholeFile(JoinPath(root, "dataset_description.json"))) {
        dataset.name = JsonStringValue(*description, "Name");
    }
    DatasetListing listing = ListDataset(root);
    dataset.skipped = std::move(listing.skipped);
    // The subjects of participants.tsv and of the folders, each once, in one order.
    std::map<std::string, std::string, bool (*)(std::string_view, std::string_view)> conditions(SubjectBefore);
    for (auto& row : ReadTable(JoinPath(root, "participants.tsv"))) {
        const std::string& id = row["participant_id"];
        // An ID is a folder's name: one that would lead out of the dataset is none.
        if (!id.starts_with("sub-") || id.find_first_of("/\\") != std::string::npos || id == "sub-." ||
            id == "sub-..") {
            continue;
        }
        conditions.try_emplace(id, row["order_condition"]);
    }
    for (const std::string& id : listing.subjects) conditions.try_emplace(id, "");

    auto file = listing.files.begin();
    for (auto& [id, condition] : conditions) {
        ReportSubject subject{id, condition, {}};
        std::string folder = JoinPath(root, id);
        std::map<std::string, std::string> started;
        for (auto& row : ReadTable(JoinPath(folder, id + "_scans.tsv"))) started[row["filename"]] = row["acq_time"];
        // The listing holds the files in the same subject order.
        while (file != listing.files.end() && SubjectBefore(file->participantId, id)) ++file;
        for (; file != listing.files.end() && file->participantId == id; ++file) {
            ReportRun run;
            run.run = file->run;
            run.filename = file->filename;
            run.acqTime = started[run.filename];
            const std::string& path = file->path;
            std::string sidecarPath = path.substr(0, path.size() - 4) + ".json";
            if (auto sidecar = ReadWholeFile(sidecarPath)) {
                run.silent = JsonBoolValue(*sidecar, "Silent");
                run.language = JsonTextValue(*sidecar, "Language");
            }
            auto read = ReadRun(path);
            if (auto* data = std::get_if<DatasetRun>(&read)) {
                run.data = std::move(*data);
                run.data.participantId = id;
                for (const std::string& line : run.data.skipped) dataset.skipped.push_back(path + ": " + line);
            } else {
                // The reason without the path, which the page gives as the subject's file.
                run.error = std::get<std::string>(read);
                if (run.error.starts_with(path + ": ")) run.error.erase(0, path.size() + 2);
                dataset.skipped.push_back(path + ": " + run.error);
            }
            subject.runs.push_back(std::move(run));
        }
        dataset.subjects.push_back(std::move(subject));
    }
    return dataset;
}

}  // namespace pelorin
