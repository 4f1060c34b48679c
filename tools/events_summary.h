#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pelorin {

// One row of an events file, as written.
struct EventRow {
    int64_t onsetMicros = 0;
    std::optional<int64_t> durationMicros;
    std::string trialType;
    std::optional<int> block;
    std::string task;      // empty for n/a, as every text column below
    std::string stimulus;
    std::string key;
    std::string channel;
    std::optional<bool> correct;
    std::optional<int64_t> responseMicros;
    std::optional<double> toneBar;
    std::optional<double> letterBar;
    std::string value;
};

// Reads an events file exactly as the program writes it: the header, then whole rows of the thirteen
// columns, each value in its column's form. Anything else is refused with the line and the reason.
std::variant<std::vector<EventRow>, std::string> ReadEvents(std::string_view text);

// One channel of one block: what the summary's table shows on one line.
struct ChannelSummary {
    int block = 0;
    std::string task;
    // time_up, overflow, quit, or "not ended" for a run cut off inside the block.
    std::string ended;
    std::string channel;
    int presented = 0;
    int answered = 0;
    int correct = 0;
    // correct / answered; none when nothing was answered.
    std::optional<double> shareCorrect;
    // The median response time of the correct answers, in seconds; none without a correct answer.
    std::optional<double> medianRtCorrect;
    int keysUnanswered = 0;
};

// Per block in order, per channel: the channels of the block's task first and always, a channel the
// task lacks only when its keys were typed.
std::vector<ChannelSummary> SummarizeChannels(const std::vector<EventRow>& rows);

// Per block: the task, how it ended, and per channel the stimuli presented, the keys that answered
// them, the share correct, the median response time of the correct answers, and keys that answered
// nothing. A table for the experimenter.
std::string Summarize(const std::vector<EventRow>& rows);

}  // namespace pelorin
