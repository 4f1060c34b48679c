#pragma once

#include <string>
#include <vector>

#include "dataset.h"

namespace pelorin {

// Something in the dataset a researcher acts on.
struct ReportFlag {
    enum class Kind { Quit, Unanswered, Silent, BelowChance, Unreadable };
    Kind kind;
    std::string participantId;
    int run = 0;
    // 0 for a flag of the whole run.
    int block = 0;
    // The channel a flag of one channel is about, or empty.
    std::string channel;
    // The sentence the page shows.
    std::string text;
};

// The flag's name in the page, as its data-flag attribute holds it.
const char* FlagName(ReportFlag::Kind kind);

// The longest a channel may go without an answer while its stimuli come before it is flagged.
inline constexpr double UNANSWERED_SECONDS = 10.0;
// Three stimuli, three keys a channel: a share correct below a third is worse than guessing.
inline constexpr double CHANCE = 1.0 / 3.0;

// The blocks of a run that get a figure and table rows of their own: a longer run's other blocks are
// shown, with the first ones, in one figure of the whole run.
inline constexpr size_t MAX_BLOCK_FIGURES = 12;

// The flags of the dataset, in the order of subjects, runs and blocks.
std::vector<ReportFlag> FindFlags(const ReportDataset& dataset);

// The whole page: the dataset at a glance with its flags, a figure per block of every run, the group,
// and the plotting scripts inline, so that it fetches nothing.
std::string MakeReport(const ReportDataset& dataset, const std::string& version);

}  // namespace pelorin
