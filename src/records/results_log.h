#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/dataset.h"
#include "ui/host.h"

namespace pelorin {

class AppendFile;
class Runtime;

// The channel an answer key belongs to: x, s, w the tone's, b, n, m the letter's.
enum class Channel { None, Tone, Letter };

// The results of a run, in a BIDS dataset (Res_Data unless the settings name another folder): one events
// file per registered subject, a row per block start, stimulus, key, ending and quit question, each
// written whole the moment it happens (or once the keys typed before it are handled: rows stand in
// onset order), beside a sidecar that describes the run and every column; the
// subject's row in participants.tsv and the run's in the subject's scans.tsv. The events file is flushed
// to the disk at block ends and when the program ends, never inside a block: the log alone decides when.
// A file that cannot be made or written is reported once, to onFailure, and the run goes on without it.
class ResultsLog {
public:
    explicit ResultsLog(Runtime& runtime);
    ~ResultsLog();
    ResultsLog(const ResultsLog&) = delete;
    ResultsLog& operator=(const ResultsLog&) = delete;

    // Told what to say to the experimenter when a file could not be made or written: the screens show
    // it. Unset, it goes to the program's warnings.
    std::function<void(const std::string& message)> onFailure;
    // Told when a row of a shared table (participants.tsv, the subject's scans.tsv) could not be added
    // and waits beside it to be added later, the run recorded all the same: what to say. Unset, it goes
    // where onFailure goes.
    std::function<void(const std::string& message)> onRowKept;

    // What the dataset keeps of a subject: never the initials, which stay in the subject list.
    struct Subject {
        int16_t id = 0;
        int16_t orderCondition = 0;
    };
    // The bars' heights as fractions of the display's height.
    struct Bars {
        double tone = 0;
        double letter = 0;
    };

    // Makes the dataset in root where it is new, adds the subject and makes the run's events file and
    // sidecar, for a subject whose record was written at recordMicros, from which onsets count. A name
    // already taken gets the next free run number. The run's own files never wait for the shared
    // tables: a row participants.tsv or scans.tsv cannot take now waits beside it and is added at a
    // block's end, at the quit or at a later registration, whichever finds the table free first.
    void Open(const std::string& root, const DatasetSettings& settings, const Subject& subject, int64_t recordMicros);
    // The events file being written, or empty.
    std::string EventsPath() const;

    // A block begins now, its timers just started; bars reads its bars for every row until it ends.
    // task is a level of the task column.
    void BlockStart(std::string_view task, std::function<Bars()> bars);
    // The next tone is drawn: a key scored from now on is scored against it, before it is heard too.
    void ToneDrawn(std::string_view stimulus);
    // A tone played to its end, with the onset its play returned; stimulus is a level.
    void Tone(std::string_view stimulus, const SoundOnset& sound);
    // A letter put on the screen: its row follows once the frame that shows it is shown, at the
    // display's refresh where the host hears of it; rows after its drawing wait for it.
    void Letter(const std::string& letter);
    // A key typed on a task screen at typedMicros (when the host received it), as its character code
    // (0 to 255, Latin-1): correct is empty for a key that answered nothing; one that answered is
    // scored against its channel's current stimulus.
    void Response(int16_t keyAscii, int64_t typedMicros, Channel channel, std::optional<bool> correct);
    void Overflow();
    void TimeUp();
    // The block is over: its rows go to the disk.
    void EndBlock();
    // The quit question was put at askedMicros and answered at answeredMicros.
    void QuitQuestion(int64_t askedMicros, int64_t answeredMicros, bool quit);
    // The program ends: the last row, and everything to the disk.
    void Quit();

private:
    struct Row;

    void Write(const Row& row);
    // Appends the held rows stamped up to through, in onset order; all of them with no argument.
    void Release(int64_t through = NO_DEADLINE);
    void Flush();
    // The block's frames shown and shown late, as the sidecar's BlockFrames lists them.
    void CountBlockFrames();
    // Replaces the sidecar with one that lists every block's frames; the reason on failure, when the
    // sidecar as it was stays.
    std::optional<std::string> ReplaceSidecar();
    // Flushes while the next timed wait runs (registration and a block's end are followed by a blank
    // screen), so that a flush's cost stretches no screen's specified time.
    void FlushDuringNextWait();
    // A file of the run could not be made or written: said once, with what follows it (after).
    void Fail(std::string_view key, std::string path, const std::string& reason, const std::string& after = {});
    void Report(const std::string& message);
    void ReportKept(const std::string& message);
    // The sidecar's Instructions line, or nothing when the run folder has no instruction text to show.
    std::string InstructionsJson();
    // The Language and Announcements of the sidecar's StimulusPresentation: what the run's texts were.
    std::string LanguageJson();

    Runtime& runtime;
    std::unique_ptr<AppendFile> file;
    // Rows waiting, in onset order, until every key typed before their onset has been handled (a tone's
    // onset is known only once it has played; keys typed meanwhile are read after it): so the file
    // stays in onset order.
    struct HeldRow {
        int64_t onsetMicros;
        std::string line;
    };
    std::vector<HeldRow> held;
    // When each letter whose frame is not shown yet was drawn, oldest first.
    std::deque<int64_t> lettersWaiting;
    // The run's sidecar until its first flush, which takes it to the disk with the events file.
    std::unique_ptr<AppendFile> sidecar;
    // The sidecar's text around its BlockFrames list, which a block's end adds to: the whole file is
    // replaced then, so that it is whole JSON at every moment.
    std::string sidecarPath;
    std::string sidecarHead;
    std::string sidecarTail;
    std::vector<std::string> blockFrames;
    bool sidecarDue = false;
    // The host's frame counts when the block in progress began.
    FrameCounts framesAtStart;
    bool failed = false;
    bool flushDue = false;
    // The dataset of the run, and whether rows of its shared tables wait to be added.
    std::string datasetRoot;
    bool rowsWaiting = false;
    int64_t zeroMicros = 0;
    // The block in progress (0 outside one), counted over the whole run.
    int block = 0;
    int blocksRun = 0;
    std::string_view task;
    std::function<Bars()> bars;
    // The stimuli the channels answer now and their onsets; -1 until it is presented.
    std::string toneStimulus;
    std::string letterStimulus;
    int64_t toneOnset = -1;
    int64_t letterOnset = -1;
};

}  // namespace pelorin
