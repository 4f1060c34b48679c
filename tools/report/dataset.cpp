#include "dataset.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>
#include <system_error>

#include "platform/files.h"

namespace pelorin {

namespace {

namespace fs = std::filesystem;

// A tab-separated table with a header: each row's cells by column name.
std::vector<std::map<std::string, std::string>> ReadTable(const std::string& path) {
    std::vector<std::map<std::string, std::string>> table;
    auto text = ReadWholeFile(path);
    if (!text) return table;
    auto split = [](const std::string& line) {
        std::vector<std::string> cells;
        for (size_t start = 0;;) {
            size_t tab = line.find('\t', start);
            cells.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) return cells;
            start = tab + 1;
        }
    };
    std::vector<std::string> lines = SplitLines(*text);
    if (lines.empty()) return table;
    std::vector<std::string> header = split(lines[0]);
    for (size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty()) continue;
        std::vector<std::string> cells = split(lines[i]);
        std::map<std::string, std::string> row;
        for (size_t c = 0; c < header.size() && c < cells.size(); ++c) row[header[c]] = cells[c];
        table.push_back(std::move(row));
    }
    return table;
}

// The string value of a top-level key of a JSON object, read without a JSON library: the files are
// the program's own, and a key it cannot find is simply left out of the page.
std::string JsonStringValue(const std::string& json, const std::string& key) {
    size_t at = json.find("\"" + key + "\"");
    if (at == std::string::npos) return "";
    at = json.find(':', at);
    if (at == std::string::npos) return "";
    at = json.find_first_not_of(" \t\r\n", at + 1);
    if (at == std::string::npos || json[at] != '"') return "";
    std::string value;
    for (++at; at < json.size() && json[at] != '"'; ++at) {
        if (json[at] == '\\' && at + 1 < json.size()) ++at;
        value += json[at];
    }
    return value;
}

std::optional<bool> JsonBoolValue(const std::string& json, const std::string& key) {
    size_t at = json.find("\"" + key + "\"");
    if (at == std::string::npos) return std::nullopt;
    at = json.find(':', at);
    if (at == std::string::npos) return std::nullopt;
    at = json.find_first_not_of(" \t\r\n", at + 1);
    if (at == std::string::npos) return std::nullopt;
    if (json.compare(at, 4, "true") == 0) return true;
    if (json.compare(at, 5, "false") == 0) return false;
    return std::nullopt;
}

// The run number of an events file's name: k for _run-<k>_, 1 without.
int RunNumber(const std::string& name) {
    size_t at = name.find("_run-");
    if (at == std::string::npos) return 1;
    int run = 1;
    const char* start = name.c_str() + at + 5;
    std::from_chars(start, name.c_str() + name.size(), run);
    return run;
}

// Subject IDs in numeric order where both are numbers, else in text order.
bool IdBefore(const std::string& a, const std::string& b) {
    auto number = [](const std::string& id) -> std::optional<long long> {
        std::string digits = id.substr(4);
        long long value = 0;
        auto [end, status] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (status != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
        return value;
    };
    auto left = number(a);
    auto right = number(b);
    if (left && right && *left != *right) return *left < *right;
    return a < b;
}

std::string Utf8(const fs::path& path) {
    auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace

std::optional<ReportDataset> ReadReportDataset(const std::string& root, std::string* error) {
    std::error_code failure;
    if (!fs::is_directory(PathFromUtf8(root), failure)) {
        if (error) *error = "not a folder";
        return std::nullopt;
    }
    ReportDataset dataset;
    if (auto description = ReadWholeFile(JoinPath(root, "dataset_description.json"))) {
        dataset.name = JsonStringValue(*description, "Name");
    }
    std::map<std::string, std::string> conditions;
    std::vector<std::string> ids;
    for (auto& row : ReadTable(JoinPath(root, "participants.tsv"))) {
        const std::string& id = row["participant_id"];
        if (!id.starts_with("sub-")) continue;
        conditions[id] = row["order_condition"];
        ids.push_back(id);
    }
    for (fs::directory_iterator entry(PathFromUtf8(root), failure), end; !failure && entry != end;
         entry.increment(failure)) {
        std::string name = Utf8(entry->path().filename());
        if (name.starts_with("sub-") && entry->is_directory() && !conditions.contains(name)) {
            conditions[name] = "";
            ids.push_back(name);
        }
    }
    std::sort(ids.begin(), ids.end(), IdBefore);
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());

    for (const std::string& id : ids) {
        ReportSubject subject{id, conditions[id], {}};
        std::string folder = JoinPath(root, id);
        std::map<std::string, std::string> started;
        for (auto& row : ReadTable(JoinPath(folder, id + "_scans.tsv"))) started[row["filename"]] = row["acq_time"];
        std::error_code listFailure;
        for (fs::directory_iterator entry(PathFromUtf8(JoinPath(folder, "beh")), listFailure), end;
             !listFailure && entry != end; entry.increment(listFailure)) {
            std::string name = Utf8(entry->path().filename());
            if (!name.starts_with(id + "_") || !name.ends_with("_events.tsv")) continue;
            ReportRun run;
            run.run = RunNumber(name);
            run.filename = "beh/" + name;
            run.acqTime = started[run.filename];
            std::string path = JoinPath(folder, run.filename);
            std::string sidecarPath = path.substr(0, path.size() - 4) + ".json";
            if (auto sidecar = ReadWholeFile(sidecarPath)) run.silent = JsonBoolValue(*sidecar, "Silent");
            auto read = ReadRun(path);
            if (auto* data = std::get_if<DatasetRun>(&read)) {
                run.data = std::move(*data);
            } else {
                // The reason without the path, which the page gives as the subject's file.
                run.error = std::get<std::string>(read);
                if (run.error.starts_with(path + ": ")) run.error.erase(0, path.size() + 2);
            }
            subject.runs.push_back(std::move(run));
        }
        std::sort(subject.runs.begin(), subject.runs.end(),
                  [](const ReportRun& a, const ReportRun& b) { return a.run < b.run; });
        dataset.subjects.push_back(std::move(subject));
    }
    return dataset;
}

}  // namespace pelorin
