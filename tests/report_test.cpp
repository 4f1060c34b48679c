#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "dataset.h"
#include "report.h"
#include "report_dataset.h"

namespace pelorin::test {
namespace {

std::string Cell(const std::string& page, const std::string& rowId, const std::string& column) {
    size_t row = page.find("<tr id=\"" + rowId + "\"");
    if (row == std::string::npos) return "no row " + rowId;
    size_t end = page.find("</tr>", row);
    size_t cell = page.find("data-col=\"" + column + "\">", row);
    if (cell == std::string::npos || cell > end) return "no cell " + column;
    cell = page.find('>', cell) + 1;
    return page.substr(cell, page.find('<', cell) - cell);
}

std::string Fixed3(const std::optional<double>& value) {
    if (!value) return "–";
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", *value);
    return text;
}

class ReportTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new TempDir;
        forced = MakeReportDataset(folder->path);
    }
    static void TearDownTestSuite() { delete folder; }

    static ReportDataset Read() {
        std::string error;
        auto dataset = ReadReportDataset(folder->path + "/Res_Data", &error);
        EXPECT_TRUE(dataset) << error;
        return dataset ? *dataset : ReportDataset{};
    }

    static inline TempDir* folder = nullptr;
    static inline std::vector<ForcedSubject> forced;
};

const char* KindName(ReportFlag::Kind kind) {
    switch (kind) {
    case ReportFlag::Kind::Quit: return "quit";
    case ReportFlag::Kind::Unanswered: return "unanswered";
    case ReportFlag::Kind::Silent: return "silent";
    case ReportFlag::Kind::BelowChance: return "below-chance";
    case ReportFlag::Kind::Unreadable: return "unreadable";
    }
    return "";
}

// The flags of the page's list, as "kind where channel".
std::multiset<std::string> PageFlags(const std::string& page) {
    std::multiset<std::string> flags;
    std::regex item(R"re(<li class="flag" data-flag="([a-z-]+)" data-where="([^"]*)" data-channel="([a-z]*)")re");
    for (std::sregex_iterator match(page.begin(), page.end(), item), end; match != end; ++match) {
        flags.insert((*match)[1].str() + " " + (*match)[2].str() + " " + (*match)[3].str());
    }
    return flags;
}

TEST_F(ReportTest, FlagsStandExactlyWhereTheRunsForcedThem) {
    ReportDataset dataset = Read();
    ASSERT_EQ(dataset.subjects.size(), 2u);
    EXPECT_EQ(dataset.subjects[1].orderCondition, "2");
    for (const ReportSubject& subject : dataset.subjects) {
        ASSERT_EQ(subject.runs.size(), 1u);
        EXPECT_EQ(subject.runs[0].error, "");
        EXPECT_FALSE(subject.runs[0].acqTime.empty());
    }
    // Subject 1 did the task with sound: nothing. Subject 2: the silent run, every tone wrong, the letters
    // left from 20 s until the bar overflowed, the quit in the dual block; and nothing else.
    std::multiset<std::string> flags;
    for (const ReportFlag& flag : FindFlags(dataset)) {
        flags.insert(std::string(KindName(flag.kind)) + " " + flag.participantId + " run " + std::to_string(flag.run) +
                     (flag.block > 0 ? " block " + std::to_string(flag.block) : "") + " " + flag.channel);
    }
    std::multiset<std::string> forcedFlags{"silent sub-2 run 1 ", "below-chance sub-2 run 1 block 1 tone",
                                           "unanswered sub-2 run 1 block 2 letter", "quit sub-2 run 1 block 3 "};
    EXPECT_EQ(flags, forcedFlags);
    // The page lists the same flags, each where it belongs.
    EXPECT_EQ(PageFlags(MakeReport(dataset, "test")), forcedFlags);
}

TEST_F(ReportTest, TheNumbersInThePageAreTheSummarys) {
    ReportDataset dataset = Read();
    std::string page = MakeReport(dataset, "test");
    size_t rows = 0;
    for (const ReportSubject& subject : dataset.subjects) {
        std::set<std::pair<std::string, std::string>> grouped;
        for (const ReportRun& run : subject.runs) {
            for (const ChannelSummary& summary : SummarizeChannels(run.rows)) {
                ++rows;
                std::string row = "row-" + subject.participantId + "-run-" + std::to_string(run.run) + "-block-" +
                                  std::to_string(summary.block) + "-" + summary.channel;
                SCOPED_TRACE(row);
                EXPECT_EQ(Cell(page, row, "presented"), std::to_string(summary.presented));
                EXPECT_EQ(Cell(page, row, "answered"), std::to_string(summary.answered));
                EXPECT_EQ(Cell(page, row, "correct"), std::to_string(summary.correct));
                EXPECT_EQ(Cell(page, row, "share_correct"), Fixed3(summary.shareCorrect));
                EXPECT_EQ(Cell(page, row, "median_rt_correct"), Fixed3(summary.medianRtCorrect));
                EXPECT_EQ(Cell(page, row, "keys_unanswered"), std::to_string(summary.keysUnanswered));
                // The group figure's dot of the subject is the task's first block.
                bool dual = summary.task != "tone" && summary.task != "letter";
                if (!grouped.insert({dual ? "dual" : summary.task, summary.channel}).second) continue;
                std::string dot = "{\"subject\":\"" + subject.participantId + "\",\"channel\":\"" + summary.channel +
                                  "\",\"condition\":\"" + (dual ? "in the dual block" : "alone") + "\",\"share\":" +
                                  (summary.shareCorrect ? Fixed3(summary.shareCorrect) : "null") + ",\"rt\":" +
                                  (summary.medianRtCorrect ? Fixed3(summary.medianRtCorrect) : "null") + "}";
                EXPECT_NE(page.find(dot), std::string::npos) << dot;
            }
        }
    }
    EXPECT_EQ(rows, 8u);
    size_t tableRows = 0;
    for (size_t at = page.find("<tr id=\"row-"); at != std::string::npos; at = page.find("<tr id=\"row-", at + 1)) {
        ++tableRows;
    }
    EXPECT_EQ(tableRows, rows);
}

TEST_F(ReportTest, ARunThatCannotBeReadIsNamedAndTheRestStillReported) {
    TempDir copy;
    std::filesystem::copy(folder->path + "/Res_Data", copy.path + "/Res_Data", std::filesystem::copy_options::recursive);
    std::string events = copy.path + "/Res_Data/sub-1/beh/sub-1_task-dualtask_events.tsv";
    size_t lines = SplitLines(*ReadWholeFile(events)).size();
    std::ofstream(events, std::ios::app) << "12.5\tgarbage\n";
    // A subject folder that participants.tsv does not list still counts.
    std::filesystem::create_directories(copy.path + "/Res_Data/sub-10/beh");

    std::string error;
    auto dataset = ReadReportDataset(copy.path + "/Res_Data", &error);
    ASSERT_TRUE(dataset) << error;
    ASSERT_EQ(dataset->subjects.size(), 3u);
    EXPECT_EQ(dataset->subjects[2].participantId, "sub-10");
    EXPECT_EQ(dataset->subjects[0].runs[0].error.rfind("line " + std::to_string(lines + 1) + ": ", 0), 0u)
        << dataset->subjects[0].runs[0].error;
    std::string page = MakeReport(*dataset, "test");
    std::multiset<std::string> flags = PageFlags(page);
    EXPECT_EQ(flags.count("unreadable sub-1 run 1 "), 1u);
    EXPECT_EQ(flags.count("quit sub-2 run 1 block 3 "), 1u);
    EXPECT_NE(page.find("beh/sub-1_task-dualtask_events.tsv cannot be read: line "), std::string::npos);

    EXPECT_FALSE(ReadReportDataset(copy.path + "/Res_Data/participants.tsv", &error));
    EXPECT_EQ(error, "not a folder");
}

}  // namespace
}  // namespace pelorin::test
