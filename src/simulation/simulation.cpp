#include "simulation/simulation.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ostream>

#include "hosts/headless/headless_host.h"
#include "records/dataset.h"
#include "records/rehearsal_folder.h"
#include "screens/experiment.h"
#include "simulation/simulated_subject.h"
#include "system/files.h"

namespace pelorin {

namespace {

// The first subject's session starts at 2026-01-05T09:00:00Z, the next ones an hour apart: the
// calendar of a simulated run, like all else in it, follows from the settings alone.
constexpr int64_t FIRST_SESSION = 1767603600;
constexpr int64_t SESSION_SPACING = 3600;

}  // namespace

int RunSimulation(const SimulationSettings& settings, const std::string& dataFolder, std::ostream& out,
                  std::ostream& err) {
    std::string folder = PathFromUtf8(settings.out).is_absolute() ? settings.out : JoinPath(dataFolder, settings.out);
    // Simulated subjects never go into the lab's own subject list and Res_Data.
    if (std::string reason = ReachesLabRecords(folder, dataFolder); !reason.empty()) {
        err << "pelorin: --out " << settings.out << " " << reason
            << ": simulated subjects go into a run folder of their own, never into its subject list and Res_Data\n";
        return SIMULATION_REFUSED;
    }
    if (auto error = MakeFolder(folder)) {
        err << "pelorin: cannot make the folder " << folder << ": " << *error << '\n';
        return 1;
    }
    // How the subjects answered, for the dataset's description and README: the options that made them.
    char note[320];
    std::snprintf(note, sizeof note,
                  "Made by pelorin --simulate with seed %llu: response times lognormal with mean %g ms and SD %g ms, "
                  "%g ms more in the dual block, right with probability %g.",
                  static_cast<unsigned long long>(settings.seed), settings.rtMeanMs, settings.rtSdMs,
                  settings.dualCostMs, settings.accuracy);
    auto started = std::chrono::steady_clock::now();
    for (int subject = 1; subject <= settings.subjects; ++subject) {
        HeadlessHost host(SIMULATED_DISPLAY_WIDTH, SIMULATED_DISPLAY_HEIGHT, dataFolder);
        host.SetCalendarStart(FIRST_SESSION + (subject - 1) * SESSION_SPACING);
        Experiment experiment(host);
        experiment.runtime.texts = settings.texts;
        experiment.dataset.kind = DatasetKind::Simulated;
        experiment.dataset.note = note;
        experiment.recordsFolder = folder;
        // A row a shared table could not take waits to be added: said, and the subjects go on.
        experiment.results.onRowKept = [&err, subject](std::string message) {
            std::replace(message.begin(), message.end(), '\r', ' ');
            err << "pelorin: simulated subject " << subject << ": " << message << '\n';
        };
        SimulatedSubject person(host, experiment, settings, static_cast<uint64_t>(subject));
        std::string stopped;
        try {
            experiment.Run();
        } catch (const ProgramEnded&) {
        } catch (const HeadlessError& error) {
            stopped = error.what();
        }
        // Any message box is a failure here: a refused registration, a results file not written.
        for (const TraceEntry& entry : host.Find("msgbox ")) {
            err << "pelorin: simulated subject " << subject << " at " << entry.Millis() << " ms: " << entry.what
                << '\n';
            stopped = stopped.empty() ? "a message box was shown" : stopped;
        }
        if (!stopped.empty()) {
            err << "pelorin: simulated subject " << subject << " did not complete the experiment: " << stopped << '\n';
            return 1;
        }
        out << "sub-" << experiment.templateVariables.subjectId << '\n';
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    char line[160];
    std::snprintf(line, sizeof line, "%d simulated subjects in %.2f s (%.3f s a subject), written into ",
                  settings.subjects, seconds, seconds / settings.subjects);
    out << line << folder << '\n';
    std::vector<std::string> waiting = AddWaitingRows(JoinPath(folder, DatasetSettings().folder));
    for (const std::string& file : waiting) {
        err << "pelorin: rows still wait in " << file << " to be added to their table; the next registration adds them\n";
    }
    return waiting.empty() ? 0 : 1;
}

}  // namespace pelorin
