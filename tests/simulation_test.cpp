// Simulated subjects: whole runs on the test host, written as the real program writes them, the same
// for the same seed, and read back by the summary's reader with the answers the options asked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <variant>

#include "demo_waves.h"
#include "events_summary.h"
#include "flow/experiment.h"
#include "platform/files.h"
#include "simulation/simulated_subject.h"
#include "simulation/simulation.h"
#include "test_support.h"

namespace pelorin::test {
namespace {

namespace fs = std::filesystem;

// A folder with the demo's tones and an instruction text, as a lab's run folder holds them.
struct DataFolder {
    DataFolder() {
        EXPECT_TRUE(WriteDemoWaves(fs::path(dir.path) / "wave"));
        std::ofstream(fs::path(dir.path) / "instruction.txt") << "Answer every tone and every letter.\r\n";
    }
    TempDir dir;
};

// Every file under a folder, by its path relative to it, with its bytes.
std::map<std::string, std::string> FilesUnder(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        files[fs::relative(entry.path(), folder).generic_string()] = *ReadWholeFile(entry.path().string());
    }
    return files;
}

int Simulate(const SimulationSettings& settings, const std::string& dataFolder, std::string* printed = nullptr) {
    std::ostringstream out;
    std::ostringstream err;
    int code = RunSimulation(settings, dataFolder, out, err);
    EXPECT_EQ(err.str(), "");
    if (printed != nullptr) *printed = out.str();
    return code;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The median of a lognormal distribution with this mean and standard deviation.
double LognormalMedian(double mean, double sd) { return mean / std::sqrt(1 + (sd * sd) / (mean * mean)); }

TEST(SimulationTest, TheSameSeedWritesTheSameFilesAndAnotherSeedOthers) {
    DataFolder data;
    SimulationSettings settings;
    settings.subjects = 3;
    settings.seed = 1;
    settings.out = "first";
    ASSERT_EQ(Simulate(settings, data.dir.path), 0);
    settings.out = data.dir.path + "/second";
    ASSERT_EQ(Simulate(settings, data.dir.path), 0);
    auto first = FilesUnder(data.dir.path + "/first");
    auto second = FilesUnder(data.dir.path + "/second");
    // The subject list and an events file with its sidecar per subject, and nothing beside.
    EXPECT_EQ(first, second);
    EXPECT_EQ(first.size(), 7u);
    EXPECT_EQ(first["CurrentSubjects.txt"], " 1 kvt 2 \r\n 2 kvt 1 \r\n 3 kvt 2 \r\n");
    // The sidecar's start time follows the virtual calendar, sessions an hour apart, registration a few
    // seconds in.
    EXPECT_NE(first["Res_Data/sub-2_task-dualtask_events.json"].find("\"2026-01-05T10:00:0"), std::string::npos);

    settings.seed = 2;
    settings.out = "third";
    ASSERT_EQ(Simulate(settings, data.dir.path), 0);
    auto third = FilesUnder(data.dir.path + "/third");
    EXPECT_EQ(third["CurrentSubjects.txt"], first["CurrentSubjects.txt"]);
    EXPECT_NE(third["Res_Data/sub-1_task-dualtask_events.tsv"], first["Res_Data/sub-1_task-dualtask_events.tsv"]);

    // Into a run folder that holds subjects already: the next IDs, the others' files untouched.
    settings.subjects = 1;
    settings.out = "first";
    std::string printed;
    ASSERT_EQ(Simulate(settings, data.dir.path, &printed), 0);
    EXPECT_TRUE(printed.starts_with("sub-4\n")) << printed;
    auto grown = FilesUnder(data.dir.path + "/first");
    EXPECT_EQ(grown.size(), 9u);
    for (const auto& [name, bytes] : first) {
        if (name != "CurrentSubjects.txt") {
            EXPECT_EQ(grown[name], bytes) << name;
        }
    }
}

TEST(SimulationTest, AnswersAsTheOptionsSayReadBackFromTheEventsFiles) {
    DataFolder data;
    SimulationSettings settings;
    settings.subjects = 3;
    settings.seed = 1;
    settings.accuracy = 0.8;
    settings.rtMeanMs = 550;
    settings.rtSdMs = 120;
    settings.dualCostMs = 300;
    ASSERT_EQ(Simulate(settings, data.dir.path), 0);

    std::vector<double> singleRts;
    std::vector<double> dualRts;
    int answered = 0;
    int correct = 0;
    int stray = 0;
    int presented = 0;
    for (int subject = 1; subject <= 3; ++subject) {
        std::string path = data.dir.path + "/Simulated_Data/Res_Data/sub-" + std::to_string(subject) +
                           "_task-dualtask_events.tsv";
        auto text = ReadWholeFile(path);
        ASSERT_TRUE(text) << path;
        auto read = ReadEvents(*text);
        ASSERT_TRUE(std::holds_alternative<std::vector<EventRow>>(read)) << std::get<std::string>(read);
        const auto& rows = std::get<std::vector<EventRow>>(read);
        // The whole experiment: three blocks in their order, then the quit from the menu.
        std::vector<std::string> tasks;
        for (const EventRow& row : rows) {
            if (row.trialType == "block_start") tasks.push_back(row.task);
            if (row.trialType == "tone" || row.trialType == "letter") ++presented;
            if (row.trialType != "response") continue;
            if (row.channel.empty()) ++stray;
            if (!row.correct) continue;
            ++answered;
            correct += *row.correct ? 1 : 0;
            if (*row.correct) (row.task == "tone+letter" ? dualRts : singleRts).push_back(static_cast<double>(*row.responseMicros) / 1000);
        }
        EXPECT_EQ(tasks, (std::vector<std::string>{"tone", "letter", "tone+letter"})) << path;
        EXPECT_EQ(rows.back().trialType, "quit") << path;
    }
    // Hundreds of answers: the share correct within 0.05 of the accuracy asked for (about five
    // standard errors), and the median response times within 8 % of the distribution's, 15 % in the
    // dual block, which has fewer answers.
    ASSERT_GT(answered, 300);
    EXPECT_NEAR(static_cast<double>(correct) / answered, settings.accuracy, 0.05);
    double single = LognormalMedian(settings.rtMeanMs, settings.rtSdMs);
    double dual = LognormalMedian(settings.rtMeanMs + settings.dualCostMs, settings.rtSdMs);
    EXPECT_NEAR(Median(singleRts), single, 0.08 * single);
    EXPECT_NEAR(Median(dualRts), dual, 0.15 * dual);
    // The dual-task cost shows: the dual block's median is later by about the cost.
    EXPECT_NEAR(Median(dualRts) - Median(singleRts), dual - single, 0.3 * (dual - single));
    // Stray keys of no channel now and then, a few in a hundred stimuli.
    EXPECT_GT(stray, 0);
    EXPECT_LT(stray, presented / 10);
}

TEST(SimulationTest, ResponseTimesHaveTheMeanAndSpreadAskedFor) {
    SimulationSettings settings;
    HeadlessHost host(1024, 768, ".");
    Experiment experiment(host);
    SimulatedSubject subject(host, experiment, settings, 1);
    std::vector<double> draws;
    for (int i = 0; i < 20000; ++i) draws.push_back(subject.DrawResponseTime(600, 150));
    auto count = static_cast<double>(draws.size());
    double mean = 0;
    for (double draw : draws) mean += draw / count;
    double variance = 0;
    for (double draw : draws) variance += (draw - mean) * (draw - mean) / (count - 1);
    EXPECT_NEAR(mean, 600, 5);
    EXPECT_NEAR(std::sqrt(variance), 150, 5);
    // Skewed to the right: the median below the mean, no draw at or below zero.
    EXPECT_NEAR(Median(draws), LognormalMedian(600, 150), 5);
    EXPECT_GT(*std::min_element(draws.begin(), draws.end()), 0);
}

}  // namespace
}  // namespace pelorin::test
