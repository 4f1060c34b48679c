#include "events_summary.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>

#include "measure/stats.h"
#include "records/dataset.h"
#include "records/event_columns.h"
#include "records/json.h"
#include "system/files.h"
#include "system/saved_text.h"
#include "tasks/task_table.h"

namespace pelorin {

namespace {

bool IsDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Digits, a point and exactly `decimals` digits, with an optional minus sign before.
std::optional<int64_t> Fixed(std::string_view text, size_t decimals) {
    bool negative = text.starts_with('-');
    if (negative) text.remove_prefix(1);
    size_t point = text.find('.');
    if (point == std::string_view::npos || !IsDigits(text.substr(0, point)) ||
        text.size() - point - 1 != decimals || !IsDigits(text.substr(point + 1))) {
        return std::nullopt;
    }
    int64_t whole = 0;
    int64_t fraction = 0;
    std::string_view wholeText = text.substr(0, point);
    std::string_view fractionText = text.substr(point + 1);
    if (wholeText.size() > 12) return std::nullopt;
    std::from_chars(wholeText.data(), wholeText.data() + wholeText.size(), whole);
    std::from_chars(fractionText.data(), fractionText.data() + fractionText.size(), fraction);
    int64_t scale = 1;
    for (size_t i = 0; i < decimals; ++i) scale *= 10;
    int64_t value = whole * scale + fraction;
    return negative ? -value : value;
}

// A decimal number as a spreadsheet re-saves one (12.5 for 12.500000, 3 for 3.000), in units of
// 10^-decimals, rounded half away from zero at the first digit beyond them.
std::optional<int64_t> Decimal(std::string_view text, size_t decimals) {
    bool negative = text.starts_with('-');
    if (negative) text.remove_prefix(1);
    size_t point = text.find('.');
    std::string_view wholeText = text.substr(0, point);
    std::string_view fractionText = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if ((wholeText.empty() && fractionText.empty()) || (!wholeText.empty() && !IsDigits(wholeText)) ||
        (point != std::string_view::npos && !IsDigits(fractionText)) || wholeText.size() > 12) {
        return std::nullopt;
    }
    std::string digits(wholeText);
    for (size_t i = 0; i < decimals; ++i) digits += i < fractionText.size() ? fractionText[i] : '0';
    int64_t value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (fractionText.size() > decimals && fractionText[decimals] >= '5') ++value;
    return negative ? -value : value;
}

// A cell in its column's form, or the reason it is not; nullopt for n/a.
struct Cell {
    std::optional<std::string_view> text;
    std::optional<int64_t> number;  // Seconds in microseconds, Count, Fraction in thousandths
};

// exactForms: numbers only in the form the program writes (six decimals for seconds, three for a
// fraction); otherwise in any decimal form.
std::optional<std::string> ReadCell(const Column& column, std::string_view text, bool exactForms, Cell& cell) {
    if (text == NOT_APPLICABLE) return std::nullopt;
    auto fail = [&](const char* expected) {
        return "column " + std::string(column.name) + " holds \"" + std::string(text) + "\", not " + expected;
    };
    cell.text = text;
    switch (column.form) {
    case CellForm::Seconds:
        cell.number = exactForms ? Fixed(text, 6) : Decimal(text, 6);
        if (!cell.number) return fail(exactForms ? "seconds with six decimals" : "seconds");
        break;
    case CellForm::Count: {
        int value = 0;
        auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (!IsDigits(text) || status != std::errc() || value < 1) return fail("a whole number from 1");
        cell.number = value;
        break;
    }
    case CellForm::Fraction:
        cell.number = exactForms ? Fixed(text, 3) : Decimal(text, 3);
        if (!cell.number || *cell.number < 0) return fail(exactForms ? "a fraction with three decimals" : "a fraction");
        break;
    case CellForm::Level:
        if (!IsLevel(column, text)) return fail("one of its levels");
        break;
    case CellForm::Text:
        if (text.empty() || text.find_first_of("\"\\\r") != std::string_view::npos) {
            return fail("text without a quote, a backslash or a line end");
        }
        break;
    }
    return std::nullopt;
}

bool IsTone(std::string_view stimulus) { return stimulus.ends_with("Hz"); }

// Where each column of the vocabulary stands in a file's header, if it is there.
struct Layout {
    std::array<std::optional<size_t>, EVENT_COLUMN_COUNT> at;
    size_t width = 0;  // cells in the header
    bool Has(EventColumn column) const { return at[column].has_value(); }
};

std::string_view WithoutCr(std::string_view line) {
    if (line.ends_with('\r')) line.remove_suffix(1);
    return line;
}

// The cells of a line: a spreadsheet's quoted cells unquoted where the file is read as a lab hands it
// back; the program's own files hold no quotes, and the strict reader takes none.
std::vector<std::string_view> LineCells(std::string_view line, bool exactForms, std::vector<std::string>& unquoted) {
    if (exactForms || line.find('"') == std::string_view::npos) return SplitTabs(line);
    unquoted = SplitCells(line);
    return std::vector<std::string_view>(unquoted.begin(), unquoted.end());
}

std::optional<std::string> ParseRow(std::string_view line, const Layout& layout, bool exactForms, EventRow& row) {
    std::vector<std::string> unquoted;
    std::vector<std::string_view> texts = LineCells(line, exactForms, unquoted);
    if (texts.size() != layout.width) {
        return std::to_string(texts.size()) + " columns, not " + std::to_string(layout.width);
    }
    std::array<Cell, EVENT_COLUMN_COUNT> cells;
    for (size_t i = 0; i < EVENT_COLUMN_COUNT; ++i) {
        if (!layout.at[i]) continue;
        std::string_view text = texts[*layout.at[i]];
        // A later version may add a level here; no figure depends on it, so any text is kept.
        if (i == ONSET_SOURCE && text != NOT_APPLICABLE) {
            if (text.empty() || text.find_first_of("\"\\") != std::string_view::npos) {
                return "column onset_source holds \"" + std::string(text) + "\", not a level's name";
            }
            cells[i].text = text;
            continue;
        }
        if (auto error = ReadCell(EVENT_COLUMNS[i], text, exactForms, cells[i])) return error;
    }
    auto text = [&](EventColumn column) { return std::string(cells[column].text.value_or("")); };
    if (!cells[ONSET].number) return std::string("no onset");
    if (!cells[TRIAL_TYPE].text) return std::string("no trial_type");
    row.onsetMicros = *cells[ONSET].number;
    row.durationMicros = cells[DURATION].number;
    row.trialType = text(TRIAL_TYPE);
    if (cells[BLOCK].number) row.block = static_cast<int>(*cells[BLOCK].number);
    row.task = text(TASK);
    row.stimulus = text(STIMULUS);
    row.key = text(KEY);
    row.channel = text(CHANNEL);
    if (cells[CORRECT_COLUMN].text) row.correct = *cells[CORRECT_COLUMN].text == "1";
    row.responseMicros = cells[RESPONSE_TIME].number;
    if (cells[TONE_BAR].number) row.toneBar = static_cast<double>(*cells[TONE_BAR].number) / 1000;
    if (cells[LETTER_BAR].number) row.letterBar = static_cast<double>(*cells[LETTER_BAR].number) / 1000;
    row.quitAnswer = text(QUIT_ANSWER);
    row.onsetSource = text(ONSET_SOURCE);

    // What each kind of row must hold, as the program writes it: each rule as far as the file has the
    // columns it concerns.
    auto has = [&](std::initializer_list<EventColumn> columns) {
        return std::all_of(columns.begin(), columns.end(), [&](EventColumn c) { return layout.Has(c); });
    };
    bool tone = row.trialType == "tone";
    bool letter = row.trialType == "letter";
    bool response = row.trialType == "response";
    bool question = row.trialType == "quit_question";
    std::optional<bool> inBlock;
    for (EventColumn column : {BLOCK, TASK, TONE_BAR, LETTER_BAR}) {
        if (!layout.Has(column)) continue;
        bool given = cells[column].text.has_value();
        if (inBlock && *inBlock != given) {
            return std::string("block, task and the bars are not all given or all n/a");
        }
        inBlock = given;
    }
    if ((tone || letter || row.trialType == "block_start" || row.trialType == "overflow" ||
         row.trialType == "time_up") && inBlock == false) {
        return "a " + row.trialType + " row outside a block";
    }
    if (has({DURATION}) && (tone || question) != row.durationMicros.has_value()) {
        return std::string("a duration on a row that is no tone or quit_question, or none on one");
    }
    if (has({STIMULUS})) {
        if (tone && !IsTone(row.stimulus)) return std::string("a tone without its frequency");
        if (letter && (row.stimulus.empty() || IsTone(row.stimulus))) return std::string("a letter without its letter");
    }
    // Letters of earlier versions have none.
    if (has({ONSET_SOURCE}) && (tone ? row.onsetSource.empty() : !letter && !row.onsetSource.empty())) {
        return std::string("an onset_source on a row that is no tone or letter, or none on a tone");
    }
    if (has({KEY}) && response == row.key.empty()) {
        return std::string("a key on a row that is no response, or none on a response");
    }
    if (!response && (!row.channel.empty() || row.correct)) return std::string("an answer on a row that is no response");
    if (response && has({CORRECT_COLUMN, STIMULUS})) {
        if (row.correct.has_value() != !row.stimulus.empty()) {
            return std::string("a response that answered nothing with a stimulus, or one that answered without one");
        }
    }
    if (response && has({CHANNEL}) && !row.stimulus.empty() && IsTone(row.stimulus) != (row.channel == "tone")) {
        return std::string("a response scored against a stimulus of the other channel");
    }
    if (!response && !tone && !letter && !row.stimulus.empty()) {
        return std::string("a stimulus on a row that is none and no response");
    }
    if (row.responseMicros && ((has({CORRECT_COLUMN}) && !row.correct) || (has({CHANNEL}) && row.channel.empty()))) {
        return std::string("a response time on a key that answered nothing");
    }
    if (has({QUIT_ANSWER}) && question == row.quitAnswer.empty()) {
        return std::string("a quit_answer on a row that is no quit_question, or none on one");
    }
    return std::nullopt;
}

// sub-<ID>[_...]_task-..._run-<k>_..._events.tsv: the participant and run a file's name gives.
void NameRun(const std::string& path, DatasetRun& run) {
    auto utf8 = std::filesystem::path(PathFromUtf8(path)).filename().u8string();
    std::string name(utf8.begin(), utf8.end());
    static const std::regex pattern("^(sub-[A-Za-z0-9]+)_.*?(?:_run-([0-9]+))?_events\\.tsv$");
    std::smatch match;
    if (!std::regex_match(name, match, pattern)) return;
    run.participantId = match[1];
    if (match[2].matched) run.run = std::atoi(match[2].str().c_str());
}

std::variant<EventsRead, std::string> ReadEventsAs(std::string_view text, bool exactForms) {
    // A spreadsheet's UTF-8 export may begin with a byte order mark, and Excel for Mac ends its lines
    // with a CR alone: the header's line end is the file's.
    text = WithoutByteOrderMark(text);
    std::optional<LineEnd> headerLineEnd = FindLineEnd(text, 0);
    bool crOnly = headerLineEnd && headerLineEnd->next == headerLineEnd->at + 1 && text[headerLineEnd->at] == '\r';
    const char lineEnd = crOnly ? '\r' : '\n';
    size_t headerEnd = text.find(lineEnd);
    std::string_view headerLine = WithoutCr(text.substr(0, headerEnd));
    Layout layout;
    std::vector<std::string> unquotedNames;
    std::vector<std::string_view> names = LineCells(headerLine, exactForms, unquotedNames);
    layout.width = names.size();
    for (size_t i = 0; i < names.size(); ++i) {
        for (size_t c = 0; c < EVENT_COLUMN_COUNT; ++c) {
            // A column named twice is read from its first place.
            if (names[i] == EVENT_COLUMNS[c].name && !layout.at[c]) layout.at[c] = i;
        }
    }
    if (!layout.Has(ONSET) || !layout.Has(TRIAL_TYPE) || headerEnd == std::string_view::npos) {
        std::string shown(headerLine.substr(0, 80));
        std::replace(shown.begin(), shown.end(), '\0', ' ');
        return "line 1: not the header of an events file (" + shown + ")";
    }
    EventsRead read;
    // Room for every row at once, so that a long file's rows are never held twice while they move: a
    // row a line, and no more than a row's shortest form (an onset, a tab a column) fits into the text.
    read.rows.reserve(std::min(static_cast<size_t>(std::count(text.begin(), text.end(), lineEnd)),
                               text.size() / (layout.width + 8)));
    size_t skippedLines = 0;
    auto skip = [&](int lineNumber, const std::string& reason) {
        if (++skippedLines <= MAX_SKIPPED_LINES) read.skipped.push_back("line " + std::to_string(lineNumber) + ": " + reason);
    };
    size_t position = headerEnd + 1;
    for (int lineNumber = 2; position < text.size(); ++lineNumber) {
        size_t end = text.find(lineEnd, position);
        bool ended = end != std::string_view::npos;
        std::string_view line = text.substr(position, ended ? end - position : std::string_view::npos);
        position = ended ? end + 1 : text.size();
        if (line.find('\0') != std::string_view::npos) {
            // What a power cut leaves where the system had given the file room and no data: a torn tail.
            skip(lineNumber, "NUL bytes: the file was cut off here (a torn write); the rows before it are read");
            continue;
        }
        line = WithoutCr(line);
        // An empty line, or the empty row a spreadsheet leaves (its tabs alone), holds no event.
        if (IsBlankLine(line)) continue;
        // Every row is written whole with its line end: a last line without one is what a power cut left,
        // even where it happens to read as a row (its last cell cut short).
        if (!ended) {
            skip(lineNumber, "cut off: it has no line end");
            continue;
        }
        EventRow row;
        auto error = ParseRow(line, layout, exactForms, row);
        if (error) {
            skip(lineNumber, *error);
        } else {
            read.rows.push_back(std::move(row));
        }
    }
    if (skippedLines > MAX_SKIPPED_LINES) {
        read.skipped.push_back(std::to_string(skippedLines - MAX_SKIPPED_LINES) + " more lines skipped");
    }
    return read;
}

}  // namespace

std::variant<EventsRead, std::string> ReadEventsKeeping(std::string_view text) { return ReadEventsAs(text, false); }

std::variant<std::vector<EventRow>, std::string> ReadEvents(std::string_view text) {
    std::string header = TsvHeader(EVENT_COLUMNS);
    if (!text.starts_with(header)) {
        size_t end = text.find('\n');
        return "line 1: not the header of an events file (" + std::string(text.substr(0, std::min<size_t>(end, 80))) +
               ")";
    }
    for (size_t position = header.size(), lineNumber = 2; position < text.size(); ++lineNumber) {
        size_t end = text.find('\n', position);
        std::string prefix = "line " + std::to_string(lineNumber) + ": ";
        if (end == std::string_view::npos) return prefix + "cut off: it has no line end";
        if (text.substr(position, end - position).find('\r') != std::string_view::npos) {
            return prefix + "a carriage return: lines end in a line feed alone";
        }
        position = end + 1;
    }
    auto read = ReadEventsAs(text, true);
    if (auto* reason = std::get_if<std::string>(&read)) return *reason;
    EventsRead& kept = std::get<EventsRead>(read);
    if (!kept.skipped.empty()) return kept.skipped.front();
    return std::move(kept.rows);
}

bool SubjectBefore(std::string_view a, std::string_view b) {
    // The number of sub-<digits>, without its leading zeros, compared by length then digits: any length.
    auto number = [](std::string_view id) -> std::optional<std::string_view> {
        std::string_view label = id.substr(std::min<size_t>(4, id.size()));
        if (!id.starts_with("sub-") || !IsDigits(label)) return std::nullopt;
        size_t first = label.find_first_not_of('0');
        return first == std::string_view::npos ? std::string_view() : label.substr(first);
    };
    auto left = number(a);
    auto right = number(b);
    if (left.has_value() != right.has_value()) return left.has_value();
    if (left) {
        if (left->size() != right->size()) return left->size() < right->size();
        if (*left != *right) return *left < *right;
    }
    return a < b;
}

std::map<int, BlockFrames> ReadBlockFrames(std::string_view text) {
    std::map<int, BlockFrames> blocks;
    size_t at = 0;
    auto skip = [&] {
        while (at < text.size() && std::string_view(" \t\r\n").find(text[at]) != std::string_view::npos) ++at;
    };
    auto take = [&](char expected) {
        skip();
        if (at >= text.size() || text[at] != expected) return false;
        ++at;
        return true;
    };
    // The key's name, not a text that says it: the first that a list follows.
    for (size_t name = 0;; name += 13) {
        name = text.find("\"BlockFrames\"", name);
        if (name == std::string_view::npos) return blocks;
        at = name + 13;
        if (take(':') && take('[')) break;
    }
    while (!take(']')) {
        if (!take('{')) return blocks;
        std::optional<int64_t> number;
        BlockFrames frames;
        while (!take('}')) {
            skip();
            std::optional<std::string> name = ReadJsonString(text, at);
            if (!name || !take(':')) return blocks;
            skip();
            std::optional<std::string> textValue;
            std::optional<int64_t> value;
            if (at < text.size() && text[at] == '"') {
                textValue = ReadJsonString(text, at);
                if (!textValue) return blocks;
            } else {
                size_t end = text.find_first_of(",} \t\r\n", at);
                if (end == std::string_view::npos) return blocks;
                std::string_view word = text.substr(at, end - at);
                int64_t read = 0;
                auto [last, error] = std::from_chars(word.data(), word.data() + word.size(), read);
                if (error == std::errc() && last == word.data() + word.size()) value = read;
                at = end;
            }
            if (*name == "Block") number = value;
            if (*name == "FrameStamp" && textValue) frames.stamp = *textValue;
            if (*name == "FramesShown") frames.shown = value;
            if (*name == "FramesLate") frames.late = value;
            take(',');
        }
        if (number) blocks[static_cast<int>(*number)] = frames;
        take(',');
    }
    return blocks;
}

std::variant<DatasetRun, std::string> ReadRun(const std::string& path) {
    DatasetRun run;
    run.path = path;
    NameRun(path, run);
    std::string error;
    auto text = ReadWholeFile(path, &error);
    if (!text) return path + ": cannot read: " + error;
    // Excel's "Unicode Text" is UTF-16; anything else is read as it is.
    if (text->starts_with("\xFF\xFE") || text->starts_with("\xFE\xFF")) text = SavedTextAsUtf8(*text);
    auto events = ReadEventsKeeping(*text);
    if (auto* reason = std::get_if<std::string>(&events)) return path + ": " + *reason;
    run.rows = std::move(std::get<EventsRead>(events).rows);
    run.skipped = std::move(std::get<EventsRead>(events).skipped);
    // The frame counts are the sidecar's: a run without it, or of an earlier version, has none.
    if (path.ends_with(".tsv")) {
        if (auto sidecar = ReadWholeFile(path.substr(0, path.size() - 4) + ".json")) run.frames = ReadBlockFrames(*sidecar);
    }
    return run;
}

DatasetListing ListDataset(const std::string& root) {
    namespace fs = std::filesystem;
    DatasetListing listing;
    auto utf8 = [](const fs::path& path) {
        auto text = path.filename().u8string();
        return std::string(text.begin(), text.end());
    };
    // A folder's entries, each with whether it is a folder; an entry whose kind cannot be told is skipped.
    auto list = [&](const std::string& folder, bool missingIsEmpty) {
        std::vector<std::pair<std::string, bool>> entries;
        std::error_code failure;
        fs::directory_iterator entry(PathFromUtf8(folder), failure), end;
        if (failure) {
            if (!(missingIsEmpty && failure == std::errc::no_such_file_or_directory)) {
                listing.skipped.push_back(folder + ": cannot read: " + failure.message());
            }
            return entries;
        }
        for (; entry != end; entry.increment(failure)) {
            std::string name = utf8(entry->path());
            std::error_code kind;
            bool folderEntry = entry->is_directory(kind);
            if (kind && name.starts_with("sub-")) {
                listing.skipped.push_back(JoinPath(folder, name) + ": cannot read: " + kind.message());
                continue;
            }
            entries.emplace_back(name, folderEntry);
        }
        if (failure) listing.skipped.push_back(folder + ": cannot read it all: " + failure.message());
        return entries;
    };
    for (auto& [name, isFolder] : list(root, false)) {
        if (name.starts_with("sub-") && isFolder) listing.subjects.push_back(name);
    }
    std::sort(listing.subjects.begin(), listing.subjects.end(), SubjectBefore);
    for (const std::string& id : listing.subjects) {
        std::string folder = JoinPath(root, id);
        std::vector<DatasetFile> files;
        for (auto& [name, isFolder] : list(JoinPath(folder, "beh"), true)) {
            if (!name.starts_with(id + "_") || !name.ends_with("_events.tsv")) continue;
            DatasetFile file{id, 1, JoinPath(folder, "beh/" + name), "beh/" + name};
            DatasetRun named;
            NameRun(name, named);
            file.run = named.run;
            files.push_back(std::move(file));
        }
        std::sort(files.begin(), files.end(), [](const DatasetFile& a, const DatasetFile& b) {
            return std::tie(a.run, a.filename) < std::tie(b.run, b.filename);
        });
        listing.files.insert(listing.files.end(), files.begin(), files.end());
    }
    return listing;
}

Dataset ReadDataset(const std::string& root) {
    Dataset dataset;
    DatasetListing listing = ListDataset(root);
    dataset.errors = std::move(listing.skipped);
    for (const DatasetFile& file : listing.files) {
        auto run = ReadRun(file.path);
        if (auto* reason = std::get_if<std::string>(&run)) {
            dataset.errors.push_back(*reason);
            continue;
        }
        DatasetRun& read = std::get<DatasetRun>(run);
        read.participantId = file.participantId;
        for (const std::string& line : read.skipped) dataset.errors.push_back(file.path + ": " + line);
        dataset.runs.push_back(std::move(read));
    }
    return dataset;
}

Dataset ReadPath(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(PathFromUtf8(path), error)) return ReadDataset(path);
    Dataset dataset;
    auto run = ReadRun(path);
    if (auto* reason = std::get_if<std::string>(&run)) {
        dataset.errors.push_back(*reason);
    } else {
        DatasetRun& read = std::get<DatasetRun>(run);
        for (const std::string& line : read.skipped) dataset.errors.push_back(path + ": " + line);
        dataset.runs.push_back(std::move(read));
    }
    return dataset;
}

std::optional<bool> ScoredRight(const EventRow& row) {
    if (row.correct || row.stimulus.empty()) return row.correct;
    // The stimuli stand in the vocabulary in the order of their keys: the tones', then the letters'.
    constexpr size_t TONES = std::size(TONE_KEYS) - 1;
    static_assert(std::size(STIMULI) == TONES + std::size(LETTER_KEYS) - 1);
    for (size_t i = 0; i < std::size(STIMULI); ++i) {
        if (STIMULI[i].value != row.stimulus) continue;
        char key = i < TONES ? TONE_KEYS[i] : LETTER_KEYS[i - TONES];
        return row.key == std::string_view(&key, 1);
    }
    return std::nullopt;
}

std::string ResponseChannel(const EventRow& row) {
    if (!row.channel.empty() || row.key.size() != 1) return row.channel;
    if (std::string_view(TONE_KEYS).find(row.key[0]) != std::string_view::npos) return "tone";
    if (std::string_view(LETTER_KEYS).find(row.key[0]) != std::string_view::npos) return "letter";
    return "";
}

std::vector<SummaryRow> Summarize(const DatasetRun& run) {
    struct ChannelCounts {
        int presented = 0;
        int answered = 0;
        int correct = 0;
        int unanswered = 0;
        std::vector<int64_t> correctTimes;
    };
    struct Block {
        std::string task;
        std::string ended = "not_ended";
        std::map<std::string, ChannelCounts> channels;
        int64_t questionMicros = 0;
        // When each quit question was up: [put, answered).
        std::vector<std::pair<int64_t, int64_t>> questions;
    };
    std::map<int, Block> blocks;
    for (const EventRow& row : run.rows) {
        if (!row.block) continue;
        Block& block = blocks[*row.block];
        block.task = row.task;
        if (row.trialType == "overflow" || row.trialType == "time_up") block.ended = row.trialType;
        if (row.trialType == "quit" && block.ended == "not_ended") block.ended = "quit";
        if (row.trialType == "quit_question") {
            block.questionMicros += row.durationMicros.value_or(0);
            block.questions.emplace_back(row.onsetMicros, row.onsetMicros + row.durationMicros.value_or(0));
        }
        if (row.trialType == "tone" || row.trialType == "letter") ++block.channels[row.trialType].presented;
        if (row.trialType != "response") continue;
        std::string channel = ResponseChannel(row);
        ChannelCounts& counts = block.channels[channel.empty() ? "none" : channel];
        std::optional<bool> right = ScoredRight(row);
        if (!right) {
            ++counts.unanswered;
            continue;
        }
        ++counts.answered;
        if (!*right) continue;
        ++counts.correct;
        if (!row.responseMicros) continue;
        int64_t presented = row.onsetMicros - *row.responseMicros;
        bool spansQuestion = std::any_of(block.questions.begin(), block.questions.end(), [&](const auto& question) {
            return question.first >= presented && question.first < row.onsetMicros;
        });
        if (!spansQuestion) counts.correctTimes.push_back(*row.responseMicros);
    }
    std::vector<SummaryRow> rows;
    for (auto& [number, block] : blocks) {
        // The channels of the block's task come first and always; a channel the task lacks, and keys of
        // no channel, only when typed.
        std::vector<std::string> order;
        for (const char* channel : {"tone", "letter"}) {
            if (TaskPresents(block.task, channel)) order.push_back(channel);
        }
        for (const char* other : {"tone", "letter", "none"}) {
            if (block.channels.contains(other) && std::find(order.begin(), order.end(), other) == order.end()) {
                order.push_back(other);
            }
        }
        for (const std::string& name : order) {
            ChannelCounts& counts = block.channels[name];
            SummaryRow row;
            row.participantId = run.participantId;
            row.run = run.run;
            row.block = number;
            row.task = block.task;
            row.ended = block.ended;
            row.channel = name;
            row.presented = counts.presented;
            row.answered = counts.answered;
            row.correct = counts.correct;
            if (counts.answered > 0) row.shareCorrect = double(counts.correct) / counts.answered;
            std::vector<int64_t>& times = counts.correctTimes;
            if (!times.empty()) {
                std::sort(times.begin(), times.end());
                size_t middle = times.size() / 2;
                // The middle of two microsecond times, rounded down to the microsecond.
                row.medianRtCorrectMicros = times.size() % 2 == 1 ? times[middle]
                                                                  : (times[middle - 1] + times[middle]) / 2;
            }
            row.keysUnanswered = counts.unanswered;
            row.quitQuestionMicros = block.questionMicros;
            if (auto frames = run.frames.find(number); frames != run.frames.end()) {
                row.framesShown = frames->second.shown;
                row.framesLate = frames->second.late;
            }
            rows.push_back(row);
        }
    }
    return rows;
}

std::string FormatTable(const std::vector<SummaryRow>& rows) {
    std::string out;
    char line[256];
    // Frames late only where some block's display stamped them: a summary of earlier runs stays as it was.
    const bool framesCounted = std::any_of(rows.begin(), rows.end(), [](const SummaryRow& row) { return row.framesShown.has_value(); });
    std::snprintf(line, sizeof line, "%-11s  %3s  %5s  %-6s  %-9s  %-7s  %9s  %8s  %7s  %13s  %13s  %15s  %17s%s\n",
                  "participant", "run", "block", "task", "ended", "channel", "presented", "answered", "correct",
                  "share correct", "median RT (s)", "keys unanswered", "quit question (s)",
                  framesCounted ? "  frames late" : "");
    out += line;
    const SummaryRow* previous = nullptr;
    for (const SummaryRow& row : rows) {
        // A block's own columns once, on its first channel's line.
        bool sameBlock = previous != nullptr && previous->participantId == row.participantId &&
                         previous->run == row.run && previous->block == row.block;
        std::string share = row.shareCorrect ? measure::Fixed(*row.shareCorrect, 3) : "-";
        std::string median = row.medianRtCorrectMicros ? measure::Fixed(double(*row.medianRtCorrectMicros) / 1e6, 3) : "-";
        std::string question = row.quitQuestionMicros > 0 ? measure::Fixed(double(row.quitQuestionMicros) / 1e6, 3) : "-";
        // Late of shown, where the display stamped the block's frames.
        std::string frames = row.framesShown && row.framesLate
                                 ? std::to_string(*row.framesLate) + " of " + std::to_string(*row.framesShown)
                                 : "-";
        if (!framesCounted || sameBlock) frames.clear();
        std::snprintf(line, sizeof line, "%-11s  %3s  %5s  %-6s  %-9s  %-7s  %9d  %8d  %7d  %13s  %13s  %15d  %17s  %11s\n",
                      sameBlock ? "" : row.participantId.c_str(), sameBlock ? "" : std::to_string(row.run).c_str(),
                      sameBlock ? "" : std::to_string(row.block).c_str(), sameBlock ? "" : row.task.c_str(),
                      sameBlock ? "" : row.ended.c_str(), row.channel.c_str(), row.presented, row.answered,
                      row.correct, share.c_str(), median.c_str(), row.keysUnanswered,
                      sameBlock ? "" : question.c_str(), frames.c_str());
        std::string text = line;
        // A block's later lines end in blanks where its own columns would be.
        text.erase(text.find_last_not_of(" \n") + 1);
        out += text + "\n";
        previous = &row;
    }
    if (rows.empty()) out += "(no block was run)\n";
    return out;
}

std::string FormatCsv(const std::vector<SummaryRow>& rows) {
    std::string out =
        "participant_id,run,block,task,ended,channel,presented,answered,correct,share_correct,median_rt_correct,"
        "keys_unanswered,quit_question_time,frames_shown,frames_late\n";
    for (const SummaryRow& row : rows) {
        out += row.participantId.empty() ? "NA" : row.participantId;
        out += "," + std::to_string(row.run) + "," + std::to_string(row.block) + "," + row.task + "," + row.ended +
               "," + row.channel + "," + std::to_string(row.presented) + "," + std::to_string(row.answered) + "," +
               std::to_string(row.correct) + "," + (row.shareCorrect ? measure::Fixed(*row.shareCorrect, 3) : "NA") + "," +
               (row.medianRtCorrectMicros ? measure::Fixed(double(*row.medianRtCorrectMicros) / 1e6, 6) : "NA") + "," +
               std::to_string(row.keysUnanswered) + "," + measure::Fixed(double(row.quitQuestionMicros) / 1e6, 6) + "," +
               (row.framesShown ? std::to_string(*row.framesShown) : "NA") + "," +
               (row.framesLate ? std::to_string(*row.framesLate) : "NA") + "\n";
    }
    return out;
}

}  // namespace pelorin
