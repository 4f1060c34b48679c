#pragma once

#include <array>
#include <string_view>

namespace pelorin {

// The columns of a run's events file, in their order: what the program writes and the summary reads.
inline constexpr std::array<std::string_view, 13> EVENT_COLUMNS = {
    "onset",   "duration", "trial_type",    "block",    "task",       "stimulus", "key",
    "channel", "correct",  "response_time", "tone_bar", "letter_bar", "value",
};

// The value of a column that does not apply to a row.
inline constexpr std::string_view NOT_APPLICABLE = "n/a";

// The events file and its sidecar of a run: sub-<ID>_task-dualtask[_run-<k>]_events.tsv and .json.
inline constexpr std::string_view EVENTS_TASK = "dualtask";

}  // namespace pelorin
