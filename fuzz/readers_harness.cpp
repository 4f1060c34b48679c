#include "readers_harness.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <random>
#include <string_view>
#include <variant>

#include "dataset.h"
#include "events_summary.h"
#include "report.h"
#include "system/files.h"
#include "system/saved_text.h"

namespace pelorin::fuzz {

namespace {

namespace fs = std::filesystem;

// Lines as the reader counts them: ended by LF, or by CR alone in a file whose first line ends so.
size_t CountLines(std::string_view text) {
    std::optional<LineEnd> first = FindLineEnd(WithoutByteOrderMark(text), 0);
    char end = first && first->next - first->at == 1 && WithoutByteOrderMark(text)[first->at] == '\r' ? '\r' : '\n';
    return std::count(text.begin(), text.end(), end) + (text.empty() || text.ends_with(end) ? 0 : 1);
}

std::string WithCrLf(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// The text as Excel for Mac saves it: CR alone ends each line.
std::string WithCrOnly(std::string_view text) {
    std::string out(text);
    std::replace(out.begin(), out.end(), '\n', '\r');
    return out;
}

// The text as LibreOffice saves it with every text cell quoted: each cell of a line that holds anything
// in double quotes (a text without quotes of its own).
std::string WithQuotedCells(std::string_view text) {
    // A byte order mark stays before the first cell's quote.
    std::string out(text.substr(0, text.size() - WithoutByteOrderMark(text).size()));
    text = WithoutByteOrderMark(text);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        if (line.find_first_not_of(" \t") != std::string_view::npos) {
            for (size_t cell = 0;;) {
                size_t tab = std::min(line.find('\t', cell), line.size());
                out += '"' + std::string(line.substr(cell, tab - cell)) + '"';
                if (tab == line.size()) break;
                out += '\t';
                cell = tab + 1;
            }
        } else {
            out += line;
        }
        if (end < text.size()) out += '\n';
        start = end + 1;
    }
    return out;
}

std::string CheckSummary(const DatasetRun& run) {
    for (const SummaryRow& row : Summarize(run)) {
        if (row.correct > row.answered || row.answered > row.presented + row.answered ||
            (row.medianRtCorrectMicros && row.correct == 0) || row.keysUnanswered < 0) {
            return "a summary row that does not hold together: block " + std::to_string(row.block) + " " + row.channel;
        }
    }
    return "";
}

// The folder every dataset case of this process is built in, removed when the process ends.
struct CaseRoot {
    fs::path path;
    CaseRoot() {
        std::random_device random;
        // In memory where the system has a folder for it: a case makes and removes a dozen files.
        std::error_code error;
        fs::path base = fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
        path = base / ("pelorin-fuzz-" + std::to_string(random()));
    }
    ~CaseRoot() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

const fs::path& CaseFolder() {
    static const CaseRoot root;
    return root.path;
}

}  // namespace

std::string RunEventsCase(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto kept = ReadEventsKeeping(text);
    if (auto* reason = std::get_if<std::string>(&kept)) {
        if (!reason->starts_with("line 1: ")) return "a refusal without its line: " + *reason;
        if (std::holds_alternative<std::vector<EventRow>>(ReadEvents(text))) return "the strict reader took a refused file";
        return "";
    }
    const EventsRead& read = std::get<EventsRead>(kept);
    if (read.rows.size() + std::min(read.skipped.size(), MAX_SKIPPED_LINES) + 1 > CountLines(text)) {
        return "more rows and skipped lines than lines";
    }
    if (read.skipped.size() > MAX_SKIPPED_LINES + 1) return "more skipped lines named than the bound";
    for (size_t i = 0; i < read.skipped.size(); ++i) {
        const std::string& skipped = read.skipped[i];
        bool counted = i == MAX_SKIPPED_LINES && skipped.ends_with(" more lines skipped");
        if (!counted && !skipped.starts_with("line ")) return "a skipped line without its number: " + skipped;
    }
    auto strict = ReadEvents(text);
    if (auto* rows = std::get_if<std::vector<EventRow>>(&strict)) {
        if (*rows != read.rows || !read.skipped.empty()) return "the strict reader read otherwise";
    }
    // The same file as the lab's tools save it again reads the same, every row and every line skipped.
    auto readsAlike = [&](const std::string& resaved) {
        auto again = ReadEventsKeeping(resaved);
        auto* same = std::get_if<EventsRead>(&again);
        return same && same->rows == read.rows && same->skipped == read.skipped;
    };
    if (!text.starts_with(BYTE_ORDER_MARK) && !readsAlike(std::string(BYTE_ORDER_MARK) + std::string(text))) {
        return "a byte order mark read otherwise";
    }
    if (text.find('\r') == std::string_view::npos) {
        if (!readsAlike(WithCrLf(text))) return "CR LF line ends read otherwise";
        if (!readsAlike(WithCrOnly(text))) return "CR line ends read otherwise";
        if (text.find('"') == std::string_view::npos && !readsAlike(WithQuotedCells(text))) {
            return "quoted cells read otherwise";
        }
    }
    DatasetRun run;
    run.rows = read.rows;
    return CheckSummary(run);
}

std::string MakeDatasetCase(const uint8_t* data, size_t size) {
    const fs::path& root = CaseFolder();
    std::error_code ignored;
    fs::remove_all(root, ignored);
    fs::create_directories(root, ignored);
    uint8_t layout = size > 0 ? data[0] : 0;
    std::string_view rest(reinterpret_cast<const char*>(data) + (size > 0 ? 1 : 0), size > 0 ? size - 1 : 0);
    for (const char* name : DATASET_CASE_FILES) {
        size_t end = rest.find('\x1e');
        std::string_view contents = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (contents.empty()) continue;
        fs::path path = root / name;
        fs::create_directories(path.parent_path(), ignored);
        std::ofstream(path, std::ios::binary) << contents;
    }
    // Entries no program of ours makes and a lab's hands or a system may: where the system refuses one
    // (links on Windows without the right), the case goes on without it.
    if (layout & 1) fs::create_directory_symlink("sub-7", root / "sub-7", ignored);
    if (layout & 2) std::ofstream(root / "sub-3", std::ios::binary) << "not a folder";
    if (layout & 4) {
        fs::create_directories(root / "sub-4", ignored);
        fs::create_directory_symlink("beh", root / "sub-4" / "beh", ignored);
    }
    if (layout & 8) fs::create_directories(root / "sub-5/beh/sub-5_task-dualtask_events.tsv", ignored);
    if ((layout & 16) && fs::exists(root / DATASET_CASE_FILES[2], ignored)) {
        fs::copy_file(root / DATASET_CASE_FILES[2], root / "sub-1/beh/sub-1_task-dualtask_run-2_events.tsv", ignored);
    }
    if (layout & 32) fs::create_directory_symlink(".", root / "sub-6", ignored);
    return root.string();
}

std::string RunDatasetCase(const uint8_t* data, size_t size) {
    std::string root = MakeDatasetCase(data, size);
    Dataset dataset = ReadDataset(root);
    for (size_t i = 1; i < dataset.runs.size(); ++i) {
        const DatasetRun& a = dataset.runs[i - 1];
        const DatasetRun& b = dataset.runs[i];
        if (SubjectBefore(b.participantId, a.participantId) ||
            (a.participantId == b.participantId && b.run < a.run)) {
            return "runs out of order: " + a.path + " before " + b.path;
        }
    }
    for (const std::string& error : dataset.errors) {
        if (!error.starts_with(root)) return "a skipped entry without its path: " + error;
    }
    for (const DatasetRun& run : dataset.runs) {
        if (auto broken = CheckSummary(run); !broken.empty()) return broken;
    }

    std::string error;
    auto report = ReadReportDataset(root, &error);
    if (!report) return "the report cannot read the dataset: " + error;
    size_t runsRead = 0;
    for (size_t i = 0; i < report->subjects.size(); ++i) {
        const ReportSubject& subject = report->subjects[i];
        if (i > 0 && !SubjectBefore(report->subjects[i - 1].participantId, subject.participantId)) {
            return "subjects not in one strict order: " + report->subjects[i - 1].participantId + ", " +
                   subject.participantId;
        }
        for (const ReportRun& run : subject.runs) {
            if (run.error.empty()) ++runsRead;
            if (run.error.empty() && run.data.participantId != subject.participantId) {
                return "a run of " + run.data.participantId + " under " + subject.participantId;
            }
        }
    }
    if (runsRead != dataset.runs.size()) {
        return "the summary read " + std::to_string(dataset.runs.size()) + " runs, the report " + std::to_string(runsRead);
    }
    if (report->skipped.size() < dataset.errors.size()) return "the report skipped less than the summary";
    return "";
}

namespace {

// Whether the text is one JSON value and nothing else.
class JsonCheck {
public:
    explicit JsonCheck(std::string_view text) : text_(text) {}
    bool Valid() {
        if (!Value(0)) return false;
        Space();
        return at_ == text_.size();
    }

private:
    void Space() {
        while (at_ < text_.size() && std::string_view(" \t\r\n").find(text_[at_]) != std::string_view::npos) ++at_;
    }
    bool Take(char c) {
        Space();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool String() {
        if (!Take('"')) return false;
        while (at_ < text_.size() && text_[at_] != '"') {
            auto c = static_cast<unsigned char>(text_[at_]);
            if (c < 0x20) return false;
            if (c == '\\') {
                if (++at_ >= text_.size()) return false;
                if (text_[at_] == 'u') {
                    if (at_ + 4 >= text_.size()) return false;
                    for (int i = 1; i <= 4; ++i) {
                        if (!std::isxdigit(static_cast<unsigned char>(text_[at_ + i]))) return false;
                    }
                    at_ += 4;
                } else if (std::string_view("\"\\/bfnrt").find(text_[at_]) == std::string_view::npos) {
                    return false;
                }
            }
            ++at_;
        }
        return Take('"');
    }
    bool Value(int depth) {
        if (depth > 64) return false;
        Space();
        if (at_ >= text_.size()) return false;
        char c = text_[at_];
        if (c == '"') return String();
        if (c == '{' || c == '[') {
            ++at_;
            char close = c == '{' ? '}' : ']';
            if (Take(close)) return true;
            do {
                if (c == '{' && (!String() || !Take(':'))) return false;
                if (!Value(depth + 1)) return false;
            } while (Take(','));
            return Take(close);
        }
        for (std::string_view word : {"true", "false", "null"}) {
            if (text_.substr(at_).starts_with(word)) {
                at_ += word.size();
                return true;
            }
        }
        size_t start = at_;
        if (text_[at_] == '-') ++at_;
        while (at_ < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[at_])) || text_[at_] == '.' ||
                                       text_[at_] == 'e' || text_[at_] == 'E' || text_[at_] == '+' || text_[at_] == '-')) {
            ++at_;
        }
        return at_ > start && std::isdigit(static_cast<unsigned char>(text_[at_ - 1]));
    }

    std::string_view text_;
    size_t at_ = 0;
};

size_t Count(std::string_view text, std::string_view what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

}  // namespace

std::string RunReportCase(const uint8_t* data, size_t size) {
    std::string root = MakeDatasetCase(data, size);
    std::string error;
    auto dataset = ReadReportDataset(root, &error);
    if (!dataset) return "the report cannot read the dataset: " + error;
    std::string page = MakeReport(*dataset, "fuzz");
    // The scripts' own text holds the page's script elements' end tags a fixed number of times.
    static const size_t scriptEnds = Count(MakeReport(ReportDataset{}, "fuzz"), "</script");
    if (Count(page, "</script") != scriptEnds) return "a script element ended where the page did not end one";
    std::string_view marker = "<script type=\"application/json\" id=\"pelorin-figures\">";
    size_t figures = page.find(marker);
    if (figures == std::string::npos) return "no figures";
    figures += marker.size();
    size_t end = page.find("</script>", figures);
    if (!JsonCheck(std::string_view(page).substr(figures, end - figures)).Valid()) return "the figures are no valid JSON";
    // The page outside its scripts: every '<' opens one of the page's own tags.
    std::string outside;
    for (size_t at = page.find('<'); at != std::string::npos; at = page.find('<', at + 1)) {
        if (page.compare(at, 7, "<script") == 0) {
            at = page.find("</script>", at);
            if (at == std::string::npos) return "a script element that does not end";
            continue;
        }
        char next = at + 1 < page.size() ? page[at + 1] : ' ';
        if (!std::isalpha(static_cast<unsigned char>(next)) && next != '/' && next != '!') {
            return "a '<' in the page's text: " + page.substr(at, 40);
        }
        size_t close = page.find('>', at);
        outside += page.substr(at, close == std::string::npos ? std::string::npos : close + 1 - at);
    }
    for (std::string_view tag : {"<img", "<iframe", "<object", "<embed", "<link", "<base", "<form"}) {
        if (outside.find(tag) != std::string::npos) return "a tag the page never writes: " + std::string(tag);
    }
    return "";
}

}  // namespace pelorin::fuzz
