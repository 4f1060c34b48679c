#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <set>

#include "dataset.h"
#include "report.h"
#include "report_dataset.h"
#include "system/files.h"

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

// The exact value a cell carries beside the figure it shows.
std::string Value(const std::string& page, const std::string& rowId, const std::string& column) {
    size_t row = page.find("<tr id=\"" + rowId + "\"");
    if (row == std::string::npos) return "no row " + rowId;
    size_t cell = page.find("data-col=\"" + column + "\" data-value=\"", row);
    if (cell == std::string::npos || cell > page.find("</tr>", row)) return "no value " + column;
    cell = page.find("data-value=\"", cell) + 12;
    return page.substr(cell, page.find('"', cell) - cell);
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
        // The language the subject read, as the sidecar says it, stands in the run's heading.
        EXPECT_EQ(subject.runs[0].language, "en");
        EXPECT_NE(MakeReport(dataset, "test").find(subject.participantId + ", run 1, started "), std::string::npos);
    }
    EXPECT_EQ(std::regex_search(MakeReport(dataset, "test"), std::regex("sub-2, run 1, started [^<]*, in language en")), true);
    // Subject 1 did the task with sound and answered No to a quit question: nothing. Subject 2: the
    // silent run, every tone wrong, the letters left from 20 s until the bar overflowed, the quit in the
    // dual block; and nothing else.
    std::multiset<std::string> flags;
    for (const ReportFlag& flag : FindFlags(dataset)) {
        flags.insert(std::string(FlagName(flag.kind)) + " " + flag.participantId + " run " + std::to_string(flag.run) +
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
            // The summary's own CSV, field by field against the page's table and group figure.
            std::vector<std::string> lines = SplitLines(FormatCsv(Summarize(run.data)));
            ASSERT_EQ(lines[0],
                      "participant_id,run,block,task,ended,channel,presented,answered,correct,share_correct,"
                      "median_rt_correct,keys_unanswered,quit_question_time,frames_shown,frames_late");
            for (size_t i = 1; i < lines.size(); ++i) {
                std::vector<std::string> f;
                std::stringstream fields(lines[i]);
                for (std::string field; std::getline(fields, field, ',');) f.push_back(field);
                ASSERT_EQ(f.size(), 15u) << lines[i];
                ++rows;
                std::string row = "row-" + f[0] + "-run-" + f[1] + "-block-" + f[2] + "-" + f[5];
                SCOPED_TRACE(row);
                EXPECT_EQ(Cell(page, row, "presented"), f[6]);
                EXPECT_EQ(Cell(page, row, "answered"), f[7]);
                EXPECT_EQ(Cell(page, row, "correct"), f[8]);
                EXPECT_EQ(Cell(page, row, "share_correct"), f[9] == "NA" ? "–" : f[9]);
                EXPECT_EQ(Value(page, row, "median_rt_correct"), f[10]);
                EXPECT_EQ(Cell(page, row, "keys_unanswered"), f[11]);
                // The group figure's dot of the subject is the first block of the task.
                const std::string& task = f[3];
                const std::string& channel = f[5];
                bool taskChannel = channel == "tone" ? task != "letter" : channel == "letter" && task != "tone";
                if (!taskChannel || !grouped.insert({task, channel}).second) continue;
                auto three = [](const std::string& field) {
                    return field == "NA" ? std::string("null") : Fixed3(std::stod(field));
                };
                std::string dot = "{\"subject\":\"" + f[0] + "\",\"channel\":\"" + channel + "\",\"condition\":\"" +
                                  (task == "dual" ? "in the dual block" : "alone") + "\",\"share\":" + three(f[9]) +
                                  ",\"rt\":" + three(f[10]) + "}";
                EXPECT_NE(page.find(dot), std::string::npos) << dot;
            }
        }
        EXPECT_EQ(grouped.size(), 4u) << subject.participantId;
    }
    size_t tableRows = 0;
    for (size_t at = page.find("<tr id=\"row-"); at != std::string::npos; at = page.find("<tr id=\"row-", at + 1)) {
        ++tableRows;
    }
    EXPECT_EQ(tableRows, rows);
    EXPECT_GE(rows, 8u);
}

// A line that cannot be read is skipped and named, the run's other rows kept; a run that cannot be read
// at all is flagged; the rest is reported.
TEST_F(ReportTest, WhatCannotBeReadIsNamedAndTheRestStillReported) {
    TempDir copy;
    std::filesystem::copy(folder->path + "/Res_Data", copy.path + "/Res_Data", std::filesystem::copy_options::recursive);
    std::string events = copy.path + "/Res_Data/sub-1/beh/sub-1_task-dualtask_events.tsv";
    size_t lines = SplitLines(*ReadWholeFile(events)).size();
    std::ofstream(events, std::ios::app) << "12.5\tgarbage\n";
    std::string second = copy.path + "/Res_Data/sub-1/beh/sub-1_task-dualtask_run-2_events.tsv";
    std::ofstream(second, std::ios::binary) << "start\tduration\n";
    // A subject folder that participants.tsv does not list still counts.
    std::filesystem::create_directories(copy.path + "/Res_Data/sub-10/beh");

    std::string error;
    auto dataset = ReadReportDataset(copy.path + "/Res_Data", &error);
    ASSERT_TRUE(dataset) << error;
    ASSERT_EQ(dataset->subjects.size(), 3u);
    EXPECT_EQ(dataset->subjects[2].participantId, "sub-10");
    ASSERT_EQ(dataset->subjects[0].runs.size(), 2u);
    EXPECT_EQ(dataset->subjects[0].runs[0].error, "");
    EXPECT_EQ(dataset->subjects[0].runs[0].data.rows.size(), lines - 1);
    EXPECT_EQ(dataset->subjects[0].runs[1].error, "line 1: not the header of an events file (start\tduration)");
    // Named as the reader joins the dataset's path with its folders (\ on Windows).
    std::string beh = JoinPath(JoinPath(copy.path + "/Res_Data", "sub-1"), "beh");
    std::string eventsNamed = JoinPath(beh, "sub-1_task-dualtask_events.tsv");
    std::string secondNamed = JoinPath(beh, "sub-1_task-dualtask_run-2_events.tsv");
    EXPECT_EQ(dataset->skipped,
              (std::vector<std::string>{eventsNamed + ": line " + std::to_string(lines + 1) + ": 2 columns, not 14",
                                        secondNamed + ": line 1: not the header of an events file (start\tduration)"}));
    std::string page = MakeReport(*dataset, "test");
    std::multiset<std::string> flags = PageFlags(page);
    EXPECT_EQ(flags.count("unreadable sub-1 run 2 "), 1u);
    EXPECT_EQ(flags.count("unreadable sub-1 run 1 "), 0u);
    EXPECT_EQ(flags.count("quit sub-2 run 1 block 3 "), 1u);
    EXPECT_NE(page.find("beh/sub-1_task-dualtask_run-2_events.tsv cannot be read: line 1: "), std::string::npos);
    EXPECT_NE(page.find("<li class=\"skipped\">" + eventsNamed + ": line "), std::string::npos);

    EXPECT_FALSE(ReadReportDataset(copy.path + "/Res_Data/participants.tsv", &error));
    EXPECT_EQ(error, "not a folder");
}

// A lab's scans table is its own text: what it holds is shown as text, never taken for the page's tags.
TEST_F(ReportTest, TheLabsTextIsShownAsText) {
    TempDir copy;
    std::filesystem::copy(folder->path + "/Res_Data", copy.path + "/Res_Data", std::filesystem::copy_options::recursive);
    std::string scans = copy.path + "/Res_Data/sub-1/sub-1_scans.tsv";
    std::string table = ReadWholeFile(scans).value_or("");
    std::vector<std::string> lines = SplitLines(table);
    ASSERT_GE(lines.size(), 2u);
    std::vector<std::string_view> cells = SplitTabs(lines[1]);
    ASSERT_GE(cells.size(), 2u);
    cells[1] = "<img src=x>";
    std::ofstream(scans, std::ios::binary) << lines[0] << "\n" << cells[0] << "\t" << cells[1] << "\n";
    std::string error;
    auto dataset = ReadReportDataset(copy.path + "/Res_Data", &error);
    ASSERT_TRUE(dataset) << error;
    std::string page = MakeReport(*dataset, "test");
    EXPECT_EQ(page.find("<img src=x"), std::string::npos);
    EXPECT_NE(page.find("&lt;img src=x"), std::string::npos);
}

}  // namespace
}  // namespace pelorin::test
