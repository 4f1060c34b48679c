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

    static Dataset Read() {
        std::string error;
        auto dataset = ReadDataset(folder->path + "/Res_Data", &error);
        EXPECT_TRUE(dataset) << error;
        return dataset ? *dataset : Dataset{};
    }

    static inline TempDir* folder = nullptr;
    static inline std::vector<ForcedSubject> forced;
};

TEST_F(ReportTest, FlagsStandExactlyWhereTheRunsForcedThem) {
    Dataset dataset = Read();
    ASSERT_EQ(dataset.subjects.size(), 2u);
    for (const DatasetSubject& subject : dataset.subjects) {
        ASSERT_EQ(subject.runs.size(), 1u);
        for (const DatasetRun& run : subject.runs) {
            EXPECT_EQ(run.error, "");
            std::cout << subject.participantId << " run " << run.run << " " << run.acqTime << "\n" << Summarize(run.rows);
        }
    }
    std::set<std::string> flags;
    for (const ReportFlag& flag : FindFlags(dataset)) {
        flags.insert(flag.participantId + " " + std::to_string(flag.run) + " " + std::to_string(flag.block) + " " +
                     flag.channel + " " + std::to_string(int(flag.kind)));
        std::cout << flag.text << "\n";
    }
}

}  // namespace
}  // namespace pelorin::test
