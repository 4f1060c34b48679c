#include "events_summary.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>

#include "platform/files.h"
#include "records/dataset.h"
#include "records/event_columns.h"

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

// A cell in its column's form, or the reason it is not; nullopt for n/a.
struct Cell {
    std::optional<std::string_view> text;
    std::optional<int64_t> number;  // Seconds in microseconds, Count, Fraction in thousandths
};

std::optional<std::string> ReadCell(const Column& column, std::string_view text, Cell& cell) {
    if (text == NOT_APPLICABLE) return std::nullopt;
    auto fail = [&](const char* expected) {
        return "column " + std::string(column.name) + " holds \"" + std::string(text) + "\", not " + expected;
    };
    cell.text = text;
    switch (column.form) {
    case CellForm::Seconds:
        cell.number = Fixed(text, 6);
        if (!cell.number) return fail("seconds with six decimals");
        break;
    case CellForm::Count: {
        int value = 0;
        auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (!IsDigits(text) || status != std::errc() || value < 1) return fail("a whole number from 1");
        cell.number = value;
        break;
    }
    case CellForm::Fraction:
        cell.number = Fixed(text, 3);
        if (!cell.number || *cell.number < 0) return fail("a fraction with three decimals");
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

std::optional<std::string> ParseRow(std::string_view line, EventRow& row) {
    std::array<std::string_view, EVENT_COLUMN_COUNT> texts;
    size_t count = 0;
    for (size_t start = 0;;) {
        size_t tab = line.find('\t', start);
        if (count == texts.size()) return "more than " + std::to_string(texts.size()) + " columns";
        texts[count++] = line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    if (count != texts.size()) return std::to_string(count) + " columns, not " + std::to_string(texts.size());
    std::array<Cell, EVENT_COLUMN_COUNT> cells;
    for (size_t i = 0; i < texts.size(); ++i) {
        if (auto error = ReadCell(EVENT_COLUMNS[i], texts[i], cells[i])) return error;
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

    // What each kind of row must hold, as the program writes it.
    bool tone = row.trialType == "tone";
    bool letter = row.trialType == "letter";
    bool response = row.trialType == "response";
    bool question = row.trialType == "quit_question";
    bool inBlock = row.block.has_value();
    if (inBlock != !row.task.empty() || inBlock != row.toneBar.has_value() || inBlock != row.letterBar.has_value()) {
        return std::string("block, task and the bars are not all given or all n/a");
    }
    if ((tone || letter || row.trialType == "block_start" || row.trialType == "overflow" ||
         row.trialType == "time_up") && !inBlock) {
        return "a " + row.trialType + " row outside a block";
    }
    if ((tone || question) != row.durationMicros.has_value()) {
        return std::string("a duration on a row that is no tone or quit_question, or none on one");
    }
    if (tone && !IsTone(row.stimulus)) return std::string("a tone without its frequency");
    if (letter && (row.stimulus.empty() || IsTone(row.stimulus))) return std::string("a letter without its letter");
    if (tone == row.onsetSource.empty()) return std::string("an onset_source on a row that is no tone, or none on a tone");
    if (response == row.key.empty()) return std::string("a key on a row that is no response, or none on a response");
    if (!response && (!row.channel.empty() || row.correct)) return std::string("an answer on a row that is no response");
    if (response) {
        if (row.correct.has_value() != !row.stimulus.empty()) {
            return std::string("a response that answered nothing with a stimulus, or one that answered without one");
        }
        if (!row.stimulus.empty() && IsTone(row.stimulus) != (row.channel == "tone")) {
            return std::string("a response scored against a stimulus of the other channel");
        }
    } else if (!tone && !letter && !row.stimulus.empty()) {
        return std::string("a stimulus on a row that is none and no response");
    }
    if (row.responseMicros && (!row.correct || row.channel.empty())) {
        return std::string("a response time on a key that answered nothing");
    }
    if (question == row.quitAnswer.empty()) {
        return std::string("a quit_answer on a row that is no quit_question, or none on one");
    }
    return std::nullopt;
}

std::string Decimals(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// sub-<ID>[_...]_task-..._run-<k>_..._events.tsv: the participant and run a file's name gives.
void NameRun(const std::string& path, DatasetRun& run) {
    std::string name = std::filesystem::path(PathFromUtf8(path)).filename().string();
    static const std::regex pattern("^(sub-[A-Za-z0-9]+)_.*?(?:_run-([0-9]+))?_events\\.tsv$");
    std::smatch match;
    if (!std::regex_match(name, match, pattern)) return;
    run.participantId = match[1];
    if (match[2].matched) run.run = std::atoi(match[2].str().c_str());
}

// The number in sub-<number>, for an order people expect (sub-2 before sub-10).
long SubjectNumber(const std::string& participantId) {
    std::string digits = participantId.substr(std::min<size_t>(4, participantId.size()));
    return IsDigits(digits) && digits.size() < 10 ? std::atol(digits.c_str()) : -1;
}

}  // namespace

std::variant<std::vector<EventRow>, std::string> ReadEvents(std::string_view text) {
    std::string header = TsvHeader(EVENT_COLUMNS);
    if (!text.starts_with(header)) {
        size_t end = text.find('\n');
        return "line 1: not the header of an events file (" + std::string(text.substr(0, std::min<size_t>(end, 80))) +
               ")";
    }
    std::vector<EventRow> rows;
    size_t position = header.size();
    for (int lineNumber = 2; position < text.size(); ++lineNumber) {
        size_t end = text.find('\n', position);
        std::string prefix = "line " + std::to_string(lineNumber) + ": ";
        if (end == std::string_view::npos) return prefix + "cut off: it has no line end";
        std::string_view line = text.substr(position, end - position);
        if (line.find('\r') != std::string_view::npos) return prefix + "a carriage return: lines end in a line feed alone";
        EventRow row;
        if (auto error = ParseRow(line, row)) return prefix + *error;
        rows.push_back(std::move(row));
        position = end + 1;
    }
    return rows;
}

std::variant<DatasetRun, std::string> ReadRun(const std::string& path) {
    DatasetRun run;
    run.path = path;
    NameRun(path, run);
    std::string error;
    auto text = ReadWholeFile(path, &error);
    if (!text) return path + ": cannot read: " + error;
    auto events = ReadEvents(*text);
    if (auto* reason = std::get_if<std::string>(&events)) return path + ": " + *reason;
    run.rows = std::move(std::get<std::vector<EventRow>>(events));
    return run;
}

Dataset ReadDataset(const std::string& root) {
    namespace fs = std::filesystem;
    Dataset dataset;
    std::vector<std::string> paths;
    std::error_code error;
    for (const auto& subject : fs::directory_iterator(PathFromUtf8(root), error)) {
        std::string name = subject.path().filename().string();
        if (!name.starts_with("sub-") || !subject.is_directory()) continue;
        std::error_code inner;
        for (const auto& file : fs::directory_iterator(subject.path() / "beh", inner)) {
            std::string fileName = file.path().filename().string();
            if (fileName.ends_with("_events.tsv")) paths.push_back(JoinPath(JoinPath(root, name), "beh/" + fileName));
        }
    }
    if (error) dataset.errors.push_back(root + ": cannot read: " + error.message());
    for (const std::string& path : paths) {
        auto run = ReadRun(path);
        if (auto* reason = std::get_if<std::string>(&run)) {
            dataset.errors.push_back(*reason);
        } else {
            dataset.runs.push_back(std::move(std::get<DatasetRun>(run)));
        }
    }
    std::sort(dataset.runs.begin(), dataset.runs.end(), [](const DatasetRun& a, const DatasetRun& b) {
        return std::tuple(SubjectNumber(a.participantId), a.participantId, a.run) <
               std::tuple(SubjectNumber(b.participantId), b.participantId, b.run);
    });
    std::sort(dataset.errors.begin(), dataset.errors.end());
    return dataset;
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
        ChannelCounts& counts = block.channels[row.channel.empty() ? "none" : row.channel];
        if (!row.correct) {
            ++counts.unanswered;
            continue;
        }
        ++counts.answered;
        if (!*row.correct) continue;
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
        if (block.task != "letter") order.push_back("tone");
        if (block.task != "tone") order.push_back("letter");
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
            rows.push_back(row);
        }
    }
    return rows;
}

std::string FormatTable(const std::vector<SummaryRow>& rows) {
    std::string out;
    char line[256];
    std::snprintf(line, sizeof line, "%-11s  %3s  %5s  %-6s  %-9s  %-7s  %9s  %8s  %7s  %13s  %13s  %15s  %17s\n",
                  "participant", "run", "block", "task", "ended", "channel", "presented", "answered", "correct",
                  "share correct", "median RT (s)", "keys unanswered", "quit question (s)");
    out += line;
    const SummaryRow* previous = nullptr;
    for (const SummaryRow& row : rows) {
        // A block's own columns once, on its first channel's line.
        bool sameBlock = previous != nullptr && previous->participantId == row.participantId &&
                         previous->run == row.run && previous->block == row.block;
        std::string share = row.shareCorrect ? Decimals(*row.shareCorrect, 3) : "-";
        std::string median = row.medianRtCorrectMicros ? Decimals(double(*row.medianRtCorrectMicros) / 1e6, 3) : "-";
        std::string question = row.quitQuestionMicros > 0 ? Decimals(double(row.quitQuestionMicros) / 1e6, 3) : "-";
        std::snprintf(line, sizeof line, "%-11s  %3s  %5s  %-6s  %-9s  %-7s  %9d  %8d  %7d  %13s  %13s  %15d  %17s\n",
                      sameBlock ? "" : row.participantId.c_str(), sameBlock ? "" : std::to_string(row.run).c_str(),
                      sameBlock ? "" : std::to_string(row.block).c_str(), sameBlock ? "" : row.task.c_str(),
                      sameBlock ? "" : row.ended.c_str(), row.channel.c_str(), row.presented, row.answered,
                      row.correct, share.c_str(), median.c_str(), row.keysUnanswered,
                      sameBlock ? "" : question.c_str());
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
        "keys_unanswered,quit_question_time\n";
    for (const SummaryRow& row : rows) {
        out += row.participantId.empty() ? "NA" : row.participantId;
        out += "," + std::to_string(row.run) + "," + std::to_string(row.block) + "," + row.task + "," + row.ended +
               "," + row.channel + "," + std::to_string(row.presented) + "," + std::to_string(row.answered) + "," +
               std::to_string(row.correct) + "," + (row.shareCorrect ? Decimals(*row.shareCorrect, 3) : "NA") + "," +
               (row.medianRtCorrectMicros ? Decimals(double(*row.medianRtCorrectMicros) / 1e6, 6) : "NA") + "," +
               std::to_string(row.keysUnanswered) + "," + Decimals(double(row.quitQuestionMicros) / 1e6, 6) + "\n";
    }
    return out;
}

}  // namespace pelorin
