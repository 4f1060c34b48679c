// Simulated subjects: whole runs on the test host, written as the real program writes them, the same
// for the same seed, and read back by the summary's reader with the answers the options asked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "demo/demo_waves.h"
#include "screens/experiment.h"
#include "simulation/simulated_subject.h"
#include "simulation/simulation.h"
#include "system/files.h"
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

// (The same seed writing the same files, the dataset's validity and the answers read back by the
// summary are checked on the program itself: tests/bids/simulated.sh.)
TEST(SimulationTest, AnotherSeedOtherAnswersAndAFolderWithSubjectsTheNextIDs) {
    DataFolder data;
    SimulationSettings settings;
    settings.subjects = 2;
    settings.seed = 1;
    settings.out = "first";
    ASSERT_EQ(Simulate(settings, data.dir.path), 0);
    settings.seed = 2;
    settings.out = data.dir.path + "/second";
    ASSERT_EQ(Simulate(settings, data.dir.path), 0);
    auto first = FilesUnder(data.dir.path + "/first");
    auto second = FilesUnder(data.dir.path + "/second");
    const std::string events = "Res_Data/sub-1/beh/sub-1_task-dualtask_events.tsv";
    const std::string scans = "Res_Data/sub-2/sub-2_scans.tsv";
    EXPECT_EQ(first["CurrentSubjects.txt"], " 1 kvt 2 \r\n 2 kvt 1 \r\n");
    EXPECT_EQ(second["CurrentSubjects.txt"], first["CurrentSubjects.txt"]);
    EXPECT_NE(second[events], first[events]);
    // The calendar is virtual: sessions an hour apart, registration a few seconds in, in UTC.
    EXPECT_NE(first[scans].find("\t2026-01-05T10:00:0"), std::string::npos) << first[scans];
    EXPECT_NE(first[scans].find("\t+00:00"), std::string::npos) << first[scans];

    // Into the run folder that holds them: the next IDs, the others' files untouched.
    settings.subjects = 1;
    settings.out = "first";
    std::string printed;
    ASSERT_EQ(Simulate(settings, data.dir.path, &printed), 0);
    EXPECT_TRUE(printed.starts_with("sub-3\n")) << printed;
    auto grown = FilesUnder(data.dir.path + "/first");
    EXPECT_TRUE(grown.contains("Res_Data/sub-3/beh/sub-3_task-dualtask_events.tsv"));
    for (const auto& [name, bytes] : first) {
        if (name != "CurrentSubjects.txt" && name != "Res_Data/participants.tsv") {
            EXPECT_EQ(grown[name], bytes) << name;
        }
    }
}

// A run folder the subjects cannot register into stops the simulation with the reason; the current
// folder is refused.
TEST(SimulationTest, ARunFolderThatCannotTakeTheSubjectsStopsTheRun) {
    DataFolder data;
    SimulationSettings settings;
    settings.subjects = 2;
    settings.out = "full";
    // A list whose last ID is taken by the next suggestion: 999 is followed by 1, which it holds.
    fs::create_directories(fs::path(data.dir.path) / "full");
    std::ofstream(fs::path(data.dir.path) / "full" / "CurrentSubjects.txt") << " 1 ab 1 \r\n 999 cd 2 \r\n";
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunSimulation(settings, data.dir.path, out, err), 1);
    EXPECT_NE(err.str().find("allready exsists"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("did not complete the experiment"), std::string::npos) << err.str();

    // The folder the program runs in is no run folder for simulated subjects: nothing is written.
    settings.out = data.dir.path;
    EXPECT_EQ(RunSimulation(settings, data.dir.path, out, err), SIMULATION_REFUSED);
    EXPECT_FALSE(fs::exists(fs::path(data.dir.path) / "CurrentSubjects.txt"));
    EXPECT_FALSE(fs::exists(fs::path(data.dir.path) / "Res_Data"));
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
