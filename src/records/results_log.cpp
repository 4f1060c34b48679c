#include "records/results_log.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <utility>

#include "records/event_columns.h"
#include "records/provenance.h"
#include "system/append_file.h"
#include "system/calendar.h"
#include "system/files.h"
#include "system/warning.h"
#include "tasks/task_table.h"
#include "ui/runtime.h"
#include "ui/text.h"


namespace pelorin {

namespace {

// Run numbers beyond this are taken for a folder gone wrong, not searched on.
constexpr int MAX_RUNS = 999;

// Seconds to the microsecond, from whole microseconds: no rounding of a binary fraction on the way.
std::string Seconds(int64_t micros) {
    char text[32];
    int64_t magnitude = micros < 0 ? -micros : micros;
    std::snprintf(text, sizeof text, "%s%lld.%06lld", micros < 0 ? "-" : "", static_cast<long long>(magnitude / 1000000),
                  static_cast<long long>(magnitude % 1000000));
    return text;
}

std::string Fraction(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

// A key as one cell: the character it types in UTF-8, or a name for one that is blank, a control
// character, or one that a reader of tab-separated text takes for a quote or an escape.
std::string KeyName(int16_t keyAscii) {
    switch (keyAscii) {
    case ' ':
        return "space";
    case '\t':
        return "tab";
    case '\r':
        return "return";
    case '\b':
        return "backspace";
    case '"':
        return "quote";
    case '\'':
        return "apostrophe";
    case '\\':
        return "backslash";
    default:
        break;
    }
    if (keyAscii > ' ' && keyAscii < 127) return std::string(1, static_cast<char>(keyAscii));
    // Latin-1, the character codes' range, as UTF-8: two bytes.
    if (keyAscii >= 0xA0 && keyAscii <= 0xFF) {
        return {static_cast<char>(0xC0 | (keyAscii >> 6)), static_cast<char>(0x80 | (keyAscii & 0x3F))};
    }
    return "code-" + std::to_string(keyAscii);
}

std::string_view ChannelName(Channel channel) {
    switch (channel) {
    case Channel::Tone:
        return EventLevel(CHANNEL, "tone");
    case Channel::Letter:
        return EventLevel(CHANNEL, "letter");
    case Channel::None:
        break;
    }
    return {};
}

// The local time, such as 2026-03-14T09:26:53, and its offset from UTC, such as +01:00.
struct LocalTime {
    std::string time;
    std::string offset;
};

LocalTime LocalTimeOf(const CalendarTime& calendar) {
    std::string text = FormatLocalTime(calendar);
    size_t offset = text.find_first_of("+-", text.find('T'));
    return {text.substr(0, offset), text.substr(offset)};
}

}  // namespace

struct ResultsLog::Row {
    Row(int64_t onsetMicros, std::string_view trialType) : onsetMicros(onsetMicros), trialType(trialType) {}

    int64_t onsetMicros;
    std::string_view trialType;
    std::optional<int64_t> durationMicros;
    std::string_view stimulus;
    std::string key;
    Channel channel = Channel::None;
    std::optional<bool> correct;
    std::optional<int64_t> responseMicros;
    std::string_view quitAnswer;
    std::string_view onsetSource;
};

ResultsLog::ResultsLog(Runtime& runtime) : runtime(runtime) {
    runtime.OnInputHandled([this](int64_t through) { Release(through); });
}

ResultsLog::~ResultsLog() {
    runtime.OnInputHandled(nullptr);
    // The program is ending some other way than the quit question or the menu's Quit.
    Release();
    if (sidecar) [[maybe_unused]] auto ignored = sidecar->Sync();
    if (file) [[maybe_unused]] auto ignored = file->Sync();
}

std::string ResultsLog::EventsPath() const { return file ? file->Path() : std::string(); }

std::string ResultsLog::InstructionsJson() {
    // The text as the instruction screen draws it; a file it cannot show has no instructions to record.
    std::optional<std::string> raw = ReadWholeFile(runtime.DataPath(std::string(INSTRUCTION_FILE)));
    return raw ? "  \"Instructions\": " + JsonString(DisplayText(*raw)) + ",\n" : std::string();
}

std::string ResultsLog::LanguageJson() {
    // What the subject read besides the lab's instructions: the language of the run's texts, and each
    // announcement as the sequencer showed it, by the task's level (which stays the data's English).
    std::string announcements;
    for (const TaskFacts& task : TASK_FACTS) {
        if (*task.announcement == '\0') continue;
        announcements += std::string(announcements.empty() ? "" : ", ") + JsonString(task.level) + ": " +
                         JsonString(runtime.texts.Get(task.announcement));
    }
    return ",\n    \"Language\": " + JsonString(runtime.texts.language) + ",\n    \"Announcements\": {" + announcements + "}";
}

namespace {

// The file name at the end of a path.
std::string FileName(const std::string& path) {
    size_t slash = path.find_last_of(std::string("/") + PATH_SEPARATOR);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "sub-2's row", "the rows of sub-2 and sub-3"; for a scans table, whose rows are runs, "the run's row".
std::string RowsNamed(const Texts& texts, const RowKept& kept, bool participants) {
    if (!participants) {
        return kept.waiting.size() == 1 ? texts.Get("results.rows-run")
                                        : texts.Get("results.rows-runs", {{"count", std::to_string(kept.waiting.size())}});
    }
    if (kept.waiting.size() == 1) return texts.Get("results.rows-subject", {{"subject", kept.waiting[0]}});
    std::string names;
    for (size_t i = 0; i < kept.waiting.size(); ++i) {
        names += (i == 0 ? "" : i + 1 == kept.waiting.size() ? texts.Get("results.list-and") : ", ") + kept.waiting[i];
    }
    return texts.Get("results.rows-subjects", {{"subjects", names}});
}

// What the experimenter is told of a row a shared table could not take: what to do about the table,
// in plain words, and that the row will be added (or, where it could not even be kept, how to add it).
std::string KeptMessage(const Texts& texts, const RowKept& kept, bool participants) {
    if (kept.waitingFile.empty()) {
        std::string cells;
        for (size_t i = 0; i < kept.cells.size(); ++i) {
            cells += (i == 0 ? "" : ", ") +
                     std::string(participants ? PARTICIPANT_COLUMNS[i].name : SCAN_COLUMNS[i].name) + " " + kept.cells[i];
        }
        return texts.Get("results.row-lost",
                         {{"table", kept.table}, {"reason", kept.reason}, {"error", kept.keepError}, {"cells", cells}});
    }
    std::string_view key = kept.mend                                         ? "results.table-mend"
                           : kept.cause == AppendResult::Cause::InUse    ? "results.table-in-use"
                           : kept.cause == AppendResult::Cause::ReadOnly ? "results.table-read-only"
                                                                         : "results.table-failed";
    std::string what = texts.Get(
        key, {{"table", FileName(kept.table)}, {"reason", kept.reason}, {"rows", RowsNamed(texts, kept, participants)}});
    return what + texts.Get(kept.waiting.size() == 1 ? "results.row-waits" : "results.rows-wait",
                            {{"file", kept.waitingFile}});
}

}  // namespace

void ResultsLog::Open(const std::string& root, const DatasetSettings& settings, const Subject& subject,
                      int64_t recordMicros) {
    zeroMicros = recordMicros;
    datasetRoot = root;
    LocalTime start = LocalTimeOf(runtime.host.CalendarNow());
    // What the experimenter is told of the dataset's shared files, once the run's own are written.
    std::vector<std::string> notices;
    if (std::optional<DatasetError> error = DescribeDataset(root, settings)) {
        bool creating = error->what == "create";
        if (!error->lab) return Fail(creating ? "results.cannot-create" : "results.cannot-write", error->path, error->reason);
        notices.push_back(
            runtime.texts.Get("results.column-descriptions", {{"path", error->path}, {"reason", error->reason}}));
    }
    // Rows that earlier runs kept waiting go first, where their tables can take them now.
    AddWaitingRows(root);
    // The subject list holds the record: a participants.tsv that cannot take the row keeps nothing of the
    // run from being recorded, and the row waits until the table can take it.
    if (std::optional<RowKept> kept = AddParticipant(root, subject.id, subject.orderCondition)) {
        notices.push_back(KeptMessage(runtime.texts, *kept, true));
        rowsWaiting = true;
    }
    std::string participant = ParticipantId(subject.id);
    std::string subjectFolder = JoinPath(root, participant);
    std::string folder = JoinPath(subjectFolder, "beh");
    auto fail = [&](std::string_view key, const std::string& path, const std::string& reason) {
        // Folders made for a run that left nothing in them go too (a folder that holds anything stays).
        std::error_code ignored;
        std::filesystem::remove(PathFromUtf8(folder), ignored);
        std::filesystem::remove(PathFromUtf8(subjectFolder), ignored);
        std::string after;
        for (const std::string& notice : notices) after += "\r\r" + notice;
        Fail(key, path, reason, after);
    };
    for (const std::string& made : {subjectFolder, folder}) {
        if (auto reason = MakeFolder(made)) return fail("results.cannot-make-folder", made, *reason);
    }
    std::string task = "_task-" + std::string(EVENTS_TASK);
    for (int run = 1; run <= MAX_RUNS; ++run) {
        std::string entities = participant + task + (run == 1 ? "" : "_run-" + std::to_string(run)) + "_events";
        std::string name = JoinPath(folder, entities);
        auto events = AppendFile::CreateNew(name + ".tsv");
        if (events.exists) continue;
        if (!events.file) return fail("results.cannot-create", name + ".tsv", events.error);
        auto sidecar = AppendFile::CreateNew(name + ".json");
        // Nothing of a run that cannot be written stays behind: an empty or header-only file would only
        // take the name.
        auto removeBoth = [&] {
            events.file.reset();
            sidecar.file.reset();
            std::error_code ignored;
            std::filesystem::remove(PathFromUtf8(name + ".tsv"), ignored);
            if (!sidecar.exists) std::filesystem::remove(PathFromUtf8(name + ".json"), ignored);
        };
        if (!sidecar.file) {
            removeBoth();
            if (sidecar.exists) continue;
            return fail("results.cannot-create", name + ".json", sidecar.error);
        }
        // What the run ran on: the build, the system, the sound output, the display, the keyboard
        // layout and the PC's latest timing check in the run folder.
        Provenance provenance = GatherProvenance(runtime.host, runtime.host.CurrentDirectory());
        // BlockFrames ends StimulusPresentation, the one object of the sidecar that no validator takes
        // for a column's description; each block's end replaces the file with one more entry in it.
        std::string presentation = StimulusPresentationJson(provenance, LanguageJson());
        const std::string closing = "\n  }";
        presentation.resize(presentation.size() - closing.size());
        sidecarHead = "{\n  \"TaskName\": " + JsonString(TASK_NAME) + ",\n  \"TaskDescription\": " +
                      JsonString(TASK_DESCRIPTION) + ",\n" + InstructionsJson() + "  \"StimulusPresentation\": " +
                      presentation + ",\n    \"BlockFrames\": [";
        sidecarTail = "]" + closing + ",\n" + ColumnsJson(EVENT_COLUMNS) + "}\n";
        sidecarPath = name + ".json";
        std::string json = sidecarHead + sidecarTail;
        if (std::optional<std::string> writeError = sidecar.file->Append(json)) {
            removeBoth();
            return fail("results.cannot-write", name + ".json", *writeError);
        }
        if (std::optional<std::string> headerError = events.file->Append(TsvHeader(EVENT_COLUMNS))) {
            removeBoth();
            return fail("results.cannot-write", name + ".tsv", *headerError);
        }
        file = std::move(events.file);
        this->sidecar = std::move(sidecar.file);
        // BIDS names a subject's files with '/', whatever the system.
        if (std::optional<RowKept> kept =
                AddScan(subjectFolder, subject.id, "beh/" + entities + ".tsv", start.time, start.offset)) {
            notices.push_back(KeptMessage(runtime.texts, *kept, false));
            rowsWaiting = true;
        }
        for (const std::string& notice : notices) ReportKept(notice);
        FlushDuringNextWait();
        return;
    }
    fail("results.cannot-create", JoinPath(folder, participant + task + "_events.tsv"),
         runtime.texts.Get("results.runs-taken", {{"count", std::to_string(MAX_RUNS)}}));
}

void ResultsLog::BlockStart(std::string_view blockTask, std::function<Bars()> blockBars) {
    if (!file) return;
    block = ++blocksRun;
    task = blockTask;
    bars = std::move(blockBars);
    toneStimulus.clear();
    letterStimulus.clear();
    toneOnset = -1;
    letterOnset = -1;
    framesAtStart = runtime.host.CountFrames();
    Write(Row(runtime.host.NowMicros(), EventLevel(TRIAL_TYPE, "block_start")));
}

void ResultsLog::ToneDrawn(std::string_view stimulus) {
    toneStimulus = stimulus;
    toneOnset = -1;
}

void ResultsLog::Tone(std::string_view stimulus, const SoundOnset& sound) {
    if (!file) return;
    toneStimulus = stimulus;
    toneOnset = sound.onsetMicros;
    Row row(sound.onsetMicros, EventLevel(TRIAL_TYPE, "tone"));
    row.durationMicros = sound.durationMicros;
    row.stimulus = stimulus;
    row.onsetSource = !sound.audible     ? EventLevel(ONSET_SOURCE, "not_played")
                      : sound.virtualClock ? EventLevel(ONSET_SOURCE, "virtual_clock")
                      : sound.exact        ? EventLevel(ONSET_SOURCE, "audio_clock")
                                           : EventLevel(ONSET_SOURCE, "audio_plan");
    Write(row);
}

void ResultsLog::Letter(const std::string& letter) {
    if (!file) return;
    // An answer that comes before the letter is on the screen has no onset to count from.
    letterStimulus = letter;
    letterOnset = -1;
    lettersWaiting.push_back(runtime.host.NowMicros());
    runtime.OnNextPresent([this, letter](const PresentedFrame& frame) {
        if (!lettersWaiting.empty()) lettersWaiting.pop_front();
        if (!file) return;
        if (letter == letterStimulus) letterOnset = frame.micros;
        Row row(frame.micros, EventLevel(TRIAL_TYPE, "letter"));
        row.stimulus = letter;
        row.onsetSource = frame.stamp == FrameStamp::DisplayRefresh ? EventLevel(ONSET_SOURCE, "display_refresh")
                          : frame.stamp == FrameStamp::VirtualClock ? EventLevel(ONSET_SOURCE, "virtual_clock")
                                                                    : EventLevel(ONSET_SOURCE, "present_call");
        Write(row);
    });
}

void ResultsLog::Response(int16_t keyAscii, int64_t received, Channel channel, std::optional<bool> correct) {
    if (!file) return;
    Row row(received, EventLevel(TRIAL_TYPE, "response"));
    row.key = KeyName(keyAscii);
    row.channel = channel;
    row.correct = correct;
    // What the key was scored against; it counts from that stimulus's onset once it was presented.
    if (correct && channel != Channel::None) {
        bool tone = channel == Channel::Tone;
        row.stimulus = tone ? toneStimulus : letterStimulus;
        int64_t onset = tone ? toneOnset : letterOnset;
        // A key typed before the stimulus's onset (between a tone's call and its first sample) has no
        // time to count from either.
        if (onset >= 0 && received >= onset) row.responseMicros = received - onset;
    }
    Write(row);
}

void ResultsLog::Overflow() { Write(Row(runtime.host.NowMicros(), EventLevel(TRIAL_TYPE, "overflow"))); }

void ResultsLog::TimeUp() { Write(Row(runtime.host.NowMicros(), EventLevel(TRIAL_TYPE, "time_up"))); }

void ResultsLog::EndBlock() {
    // The block's last letter is shown by now: its row belongs to the block.
    runtime.host.FinishPresents();
    CountBlockFrames();
    FlushDuringNextWait();
    block = 0;
    task = {};
    bars = nullptr;
}

void ResultsLog::QuitQuestion(int64_t askedMicros, int64_t answeredMicros, bool quit) {
    Row row(askedMicros, EventLevel(TRIAL_TYPE, "quit_question"));
    row.durationMicros = answeredMicros - askedMicros;
    row.quitAnswer = quit ? EventLevel(QUIT_ANSWER, "yes") : EventLevel(QUIT_ANSWER, "no");
    Write(row);
}

void ResultsLog::Quit() {
    runtime.host.FinishPresents();
    // A block the quit cut short is counted up to it.
    if (block != 0) CountBlockFrames();
    flushDue = false;
    Write(Row(runtime.host.NowMicros(), EventLevel(TRIAL_TYPE, "quit")));
    Flush();
    file.reset();
    // The last chance this run has to add what it kept waiting, when no block ended since.
    if (rowsWaiting) rowsWaiting = !AddWaitingRows(datasetRoot).empty();
}

void ResultsLog::Write(const Row& row) {
    if (!file) return;
    std::array<std::string, EVENT_COLUMN_COUNT> cells;
    cells.fill(std::string(NOT_APPLICABLE));
    auto set = [&](EventColumn column, std::string_view text) {
        if (!text.empty()) cells[column] = text;
    };
    cells[ONSET] = Seconds(row.onsetMicros - zeroMicros);
    if (row.durationMicros) cells[DURATION] = Seconds(*row.durationMicros);
    cells[TRIAL_TYPE] = row.trialType;
    if (block != 0) {
        cells[BLOCK] = std::to_string(block);
        cells[TASK] = task;
        if (bars) {
            Bars heights = bars();
            cells[TONE_BAR] = Fraction(heights.tone);
            cells[LETTER_BAR] = Fraction(heights.letter);
        }
    }
    set(STIMULUS, row.stimulus);
    set(KEY, row.key);
    set(CHANNEL, ChannelName(row.channel));
    if (row.correct) cells[CORRECT_COLUMN] = *row.correct ? EventLevel(CORRECT_COLUMN, "1") : EventLevel(CORRECT_COLUMN, "0");
    if (row.responseMicros) cells[RESPONSE_TIME] = Seconds(*row.responseMicros);
    set(QUIT_ANSWER, row.quitAnswer);
    set(ONSET_SOURCE, row.onsetSource);
    std::string line;
    for (const std::string& cell : cells) line += cell + '\t';
    line.back() = '\n';
    auto after = std::upper_bound(held.begin(), held.end(), row.onsetMicros,
                                  [](int64_t onset, const HeldRow& other) { return onset < other.onsetMicros; });
    held.insert(after, HeldRow{row.onsetMicros, std::move(line)});
    Release(runtime.InputHandledThrough());
}

void ResultsLog::Release(int64_t through) {
    // A letter shown at a refresh to come has its onset after its drawing: what came later waits for it.
    if (!lettersWaiting.empty()) through = std::min(through, lettersWaiting.front());
    auto end = std::find_if(held.begin(), held.end(), [through](const HeldRow& row) { return row.onsetMicros > through; });
    // Taken out first: a failed write reports in a box, whose pass may release again.
    std::vector<HeldRow> due(std::make_move_iterator(held.begin()), std::make_move_iterator(end));
    held.erase(held.begin(), end);
    for (const HeldRow& row : due) {
        if (!file) return;
        if (auto error = file->Append(row.line)) Fail("results.cannot-write", file->Path(), *error);
    }
}

void ResultsLog::Flush() {
    // What is held goes first: a flush is where the rows written so far reach the disk.
    Release();
    if (!file) return;
    std::optional<std::string> error;
    std::optional<std::string> sidecarError;
    std::string failedPath = file->Path();
    runtime.RunAside([&] {
        // Rows this run could not add to a shared table are tried again while the blank waits.
        if (rowsWaiting) rowsWaiting = !AddWaitingRows(datasetRoot).empty();
        if (sidecar) {
            error = sidecar->Sync();
            if (error) {
                failedPath = sidecar->Path();
                return;
            }
        }
        error = file->Sync();
        // Closed before it is replaced: Windows renames nothing over a file held open.
        sidecar.reset();
        if (!error && std::exchange(sidecarDue, false)) sidecarError = ReplaceSidecar();
    });
    sidecar.reset();
    if (error) Fail("results.cannot-write", failedPath, *error);
    // The frame counts are a measure of the display, not the run's data: the run goes on with the
    // sidecar as it was, and the next block's end tries again with every block's counts.
    if (sidecarError) Warn("Pelorin: the frame counts of block " + std::to_string(blocksRun) + " could not be added to " +
                           sidecarPath + ": " + *sidecarError + "; the events file is whole, and the next block's end tries again");
}

void ResultsLog::CountBlockFrames() {
    if (!file || sidecarPath.empty()) return;
    const FrameCounts now = runtime.host.CountFrames();
    auto stampName = [](FrameStamp stamp) {
        return stamp == FrameStamp::DisplayRefresh ? EventLevel(ONSET_SOURCE, "display_refresh")
               : stamp == FrameStamp::VirtualClock ? EventLevel(ONSET_SOURCE, "virtual_clock")
                                                   : EventLevel(ONSET_SOURCE, "present_call");
    };
    // Counts only where the display stamped every frame of the block: one that stopped stamping in it
    // (the window presented at the call from then on) counted only part of them.
    const FrameStamp stamp = framesAtStart.stamp != FrameStamp::DisplayRefresh ? framesAtStart.stamp : now.stamp;
    const bool counted = stamp == FrameStamp::DisplayRefresh;
    std::string entry = "{\"Block\": " + std::to_string(block) + ", \"Task\": " + JsonString(task) +
                        ", \"FrameStamp\": " + JsonString(stampName(stamp));
    if (counted) {
        entry += ", \"FramesShown\": " + std::to_string(now.shown - framesAtStart.shown) +
                 ", \"FramesLate\": " + std::to_string(now.missed - framesAtStart.missed);
    }
    blockFrames.push_back(entry + "}");
    sidecarDue = true;
}

std::optional<std::string> ResultsLog::ReplaceSidecar() {
    std::string list;
    for (const std::string& entry : blockFrames) list += std::string(list.empty() ? "\n" : ",\n") + "      " + entry;
    const std::string json = sidecarHead + list + (list.empty() ? "" : "\n    ") + sidecarTail;
    // Written whole and flushed beside it, then renamed over it: a crash leaves the old one or the new
    // one. A hidden name keeps a leftover out of validation.
    const size_t slash = sidecarPath.find_last_of(std::string("/") + PATH_SEPARATOR);
    const std::string temporary = sidecarPath.substr(0, slash + 1) + "." + sidecarPath.substr(slash + 1) + ".new";
    std::error_code ignored;
    std::filesystem::remove(PathFromUtf8(temporary), ignored);
    std::optional<std::string> error;
    {
        auto created = AppendFile::CreateNew(temporary);
        if (!created.file) return created.exists ? "a file is in the way: " + temporary : created.error;
        error = created.file->Append(json);
        if (!error) error = created.file->Sync();
    }
    if (!error) {
        std::error_code renamed;
        std::filesystem::rename(PathFromUtf8(temporary), PathFromUtf8(sidecarPath), renamed);
        if (!renamed) return std::nullopt;
        error = renamed.message();
    }
    std::filesystem::remove(PathFromUtf8(temporary), ignored);
    return error;
}

void ResultsLog::FlushDuringNextWait() {
    if (!file || flushDue) return;
    flushDue = true;
    runtime.DuringNextWait([this] {
        if (std::exchange(flushDue, false)) Flush();
    });
}

void ResultsLog::Fail(std::string_view key, std::string path, const std::string& reason, const std::string& after) {
    // The path may be the file's own: taken by value before the file goes.
    file.reset();
    sidecar.reset();
    // One box for the run: after a failure nothing more is written, so nothing more can fail.
    if (failed) return;
    failed = true;
    Report(runtime.texts.Get(key, {{"path", path}, {"reason", reason}}) + after);
}

void ResultsLog::ReportKept(const std::string& message) {
    if (onRowKept) {
        onRowKept(message);
    } else {
        Report(message);
    }
}

void ResultsLog::Report(const std::string& message) {
    if (onFailure) {
        onFailure(message);
    } else {
        Warn(message);
    }
}

}  // namespace pelorin
