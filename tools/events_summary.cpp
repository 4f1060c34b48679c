#include "events_summary.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <map>
#include <set>

#include "flow/event_columns.h"

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

bool IsNa(std::string_view cell) { return cell == NOT_APPLICABLE; }

// Parses one cell into its row field; the reason on failure.
class CellReader {
public:
    std::optional<std::string> error;

    void Seconds(std::string_view cell, std::optional<int64_t>& out, bool optional, const char* column) {
        if (optional && IsNa(cell)) return;
        out = Fixed(cell, 6);
        if (!out) Fail(column, cell, "seconds with six decimals");
    }
    void Fraction(std::string_view cell, std::optional<double>& out, const char* column) {
        if (IsNa(cell)) return;
        auto thousandths = Fixed(cell, 3);
        if (!thousandths || *thousandths < 0) return Fail(column, cell, "a fraction with three decimals");
        out = static_cast<double>(*thousandths) / 1000;
    }
    void Level(std::string_view cell, std::string& out, std::initializer_list<std::string_view> levels,
               const char* column) {
        if (IsNa(cell)) return;
        if (std::find(levels.begin(), levels.end(), cell) == levels.end()) return Fail(column, cell, "one of its levels");
        out = cell;
    }
    void Fail(const char* column, std::string_view cell, const char* expected) {
        if (!error) error = "column " + std::string(column) + " holds \"" + std::string(cell) + "\", not " + expected;
    }
};

std::optional<std::string> ParseRow(std::string_view line, EventRow& row) {
    std::array<std::string_view, EVENT_COLUMNS.size()> cells;
    size_t count = 0;
    for (size_t start = 0;;) {
        size_t tab = line.find('\t', start);
        if (count == cells.size()) return "more than " + std::to_string(cells.size()) + " columns";
        cells[count++] = line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    if (count != cells.size()) return std::to_string(count) + " columns, not " + std::to_string(cells.size());
    CellReader read;
    std::optional<int64_t> onset;
    read.Seconds(cells[0], onset, false, "onset");
    if (onset) row.onsetMicros = *onset;
    read.Seconds(cells[1], row.durationMicros, true, "duration");
    read.Level(cells[2], row.trialType,
               {"block_start", "tone", "letter", "response", "overflow", "time_up", "quit_question", "quit"},
               "trial_type");
    if (!IsNa(cells[3])) {
        int block = 0;
        auto [end, status] = std::from_chars(cells[3].data(), cells[3].data() + cells[3].size(), block);
        if (!IsDigits(cells[3]) || status != std::errc() || block < 1) read.Fail("block", cells[3], "a block number");
        row.block = block;
    }
    read.Level(cells[4], row.task, {"tone", "letter", "tone+letter"}, "task");
    read.Level(cells[5], row.stimulus, {"200", "500", "800", "A", "B", "C"}, "stimulus");
    if (!IsNa(cells[6])) {
        if (cells[6].empty()) read.Fail("key", cells[6], "a key");
        row.key = cells[6];
    }
    read.Level(cells[7], row.channel, {"tone", "letter"}, "channel");
    std::string correct;
    read.Level(cells[8], correct, {"0", "1"}, "correct");
    if (!correct.empty()) row.correct = correct == "1";
    read.Seconds(cells[9], row.responseMicros, true, "response_time");
    read.Fraction(cells[10], row.toneBar, "tone_bar");
    read.Fraction(cells[11], row.letterBar, "letter_bar");
    read.Level(cells[12], row.value, {"yes", "no"}, "value");
    if (read.error) return read.error;
    if (row.trialType.empty()) return std::string("no trial_type");
    // What each kind of row must hold, as the program writes it.
    bool tone = row.trialType == "tone";
    bool letter = row.trialType == "letter";
    bool inBlock = row.block.has_value();
    if (inBlock != !row.task.empty() || inBlock != row.toneBar.has_value() || inBlock != row.letterBar.has_value()) {
        return std::string("block, task and the bars are not all given or all n/a");
    }
    if ((tone || letter || row.trialType == "block_start" || row.trialType == "overflow" ||
         row.trialType == "time_up") && !inBlock) {
        return "a " + row.trialType + " row outside a block";
    }
    if (tone != row.durationMicros.has_value()) return std::string("a duration on a row that is no tone, or none on a tone");
    if (tone && !IsDigits(row.stimulus)) return std::string("a tone without its frequency");
    if (letter && (row.stimulus.empty() || IsDigits(row.stimulus))) return std::string("a letter without its letter");
    if (!tone && !letter && !row.stimulus.empty()) return std::string("a stimulus on a row that is none");
    bool response = row.trialType == "response";
    if (response == row.key.empty()) return std::string("a key on a row that is no response, or none on a response");
    if (!response && (!row.channel.empty() || row.correct)) return std::string("an answer on a row that is no response");
    if (row.responseMicros && (!row.correct || row.channel.empty())) {
        return std::string("a response time on a key that answered nothing");
    }
    if ((row.trialType == "quit_question") == row.value.empty()) {
        return std::string("a value on a row that is no quit_question, or none on one");
    }
    return std::nullopt;
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

}  // namespace

std::variant<std::vector<EventRow>, std::string> ReadEvents(std::string_view text) {
    std::string header;
    for (std::string_view column : EVENT_COLUMNS) header += std::string(column) + "\t";
    header.back() = '\n';
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

std::vector<ChannelSummary> SummarizeChannels(const std::vector<EventRow>& rows) {
    struct ChannelCounts {
        int presented = 0;
        int answered = 0;
        int correct = 0;
        int unanswered = 0;
        std::vector<int64_t> correctTimes;
    };
    struct Block {
        std::string task;
        std::string ended = "not ended";
        std::map<std::string, ChannelCounts> channels;
    };
    std::map<int, Block> blocks;
    for (const EventRow& row : rows) {
        if (!row.block) continue;
        Block& block = blocks[*row.block];
        block.task = row.task;
        if (row.trialType == "overflow" || row.trialType == "time_up") block.ended = row.trialType;
        if (row.trialType == "quit" && block.ended == "not ended") block.ended = "quit";
        if (row.trialType == "tone" || row.trialType == "letter") ++block.channels[row.trialType].presented;
        if (row.trialType != "response" || row.channel.empty()) continue;
        ChannelCounts& counts = block.channels[row.channel];
        if (!row.correct) {
            ++counts.unanswered;
            continue;
        }
        ++counts.answered;
        if (*row.correct) {
            ++counts.correct;
            if (row.responseMicros) counts.correctTimes.push_back(*row.responseMicros);
        }
    }
    std::vector<ChannelSummary> summaries;
    for (auto& [number, block] : blocks) {
        std::vector<std::string> order;
        if (block.task != "letter") order.push_back("tone");
        if (block.task != "tone") order.push_back("letter");
        for (auto& [name, counts] : block.channels) {
            if (std::find(order.begin(), order.end(), name) == order.end()) order.push_back(name);
        }
        for (const std::string& name : order) {
            ChannelCounts& counts = block.channels[name];
            ChannelSummary summary;
            summary.block = number;
            summary.task = block.task;
            summary.ended = block.ended;
            summary.channel = name;
            summary.presented = counts.presented;
            summary.answered = counts.answered;
            summary.correct = counts.correct;
            if (counts.answered > 0) summary.shareCorrect = double(counts.correct) / counts.answered;
            std::vector<int64_t>& times = counts.correctTimes;
            if (!times.empty()) {
                std::sort(times.begin(), times.end());
                size_t middle = times.size() / 2;
                double micros = times.size() % 2 == 1 ? double(times[middle])
                                                      : (double(times[middle - 1]) + double(times[middle])) / 2;
                summary.medianRtCorrect = micros / 1e6;
            }
            summary.keysUnanswered = counts.unanswered;
            summaries.push_back(std::move(summary));
        }
    }
    return summaries;
}

std::string Summarize(const std::vector<EventRow>& rows) {
    std::string out;
    char line[160];
    std::snprintf(line, sizeof line, "%5s  %-11s  %-9s  %-7s  %9s  %8s  %13s  %13s  %15s\n", "block", "task", "ended",
                  "channel", "presented", "answered", "share correct", "median RT (s)", "keys unanswered");
    out += line;
    std::vector<ChannelSummary> summaries = SummarizeChannels(rows);
    for (size_t i = 0; i < summaries.size(); ++i) {
        const ChannelSummary& summary = summaries[i];
        bool first = i == 0 || summaries[i - 1].block != summary.block;
        std::string share = summary.shareCorrect ? Seconds(*summary.shareCorrect) : "-";
        std::string median = summary.medianRtCorrect ? Seconds(*summary.medianRtCorrect) : "-";
        std::snprintf(line, sizeof line, "%5s  %-11s  %-9s  %-7s  %9d  %8d  %13s  %13s  %15d\n",
                      first ? std::to_string(summary.block).c_str() : "", first ? summary.task.c_str() : "",
                      first ? summary.ended.c_str() : "", summary.channel.c_str(), summary.presented,
                      summary.answered, share.c_str(), median.c_str(), summary.keysUnanswered);
        out += line;
    }
    if (summaries.empty()) out += "(no block was run)\n";
    return out;
}

}  // namespace pelorin
