#include "flow/results_log.h"

#include <cstdio>
#include <filesystem>

#include "flow/event_columns.h"
#include "platform/append_file.h"
#include "platform/calendar.h"
#include "platform/files.h"
#include "platform/runtime.h"

#ifndef PELORIN_VERSION
#define PELORIN_VERSION "unknown"
#endif

namespace pelorin {

namespace {

constexpr const char* ERROR_TITLE = "ERROR";
// Run numbers beyond this are taken for a folder gone wrong, not searched on.
constexpr int MAX_RUNS = 999;

#if defined(_WIN32)
constexpr const char* OPERATING_SYSTEM = "Windows";
#elif defined(__APPLE__)
constexpr const char* OPERATING_SYSTEM = "macOS";
#else
constexpr const char* OPERATING_SYSTEM = "Linux";
#endif

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

// A key as one cell: the character itself, or a name for one that is blank or a control character.
std::string KeyName(char key) {
    switch (key) {
    case ' ':
        return "space";
    case '\t':
        return "tab";
    case '\r':
        return "return";
    case '\b':
        return "backspace";
    default:
        break;
    }
    if (key > ' ' && key < 127) return std::string(1, key);
    return "code-" + std::to_string(static_cast<int>(key));
}

const char* ChannelName(Channel channel) {
    switch (channel) {
    case Channel::Tone:
        return "tone";
    case Channel::Letter:
        return "letter";
    case Channel::None:
        break;
    }
    return nullptr;
}

std::string JsonString(const std::string& text) {
    std::string quoted = "\"";
    for (char character : text) {
        auto code = static_cast<unsigned char>(character);
        if (character == '"' || character == '\\') {
            quoted += '\\';
            quoted += character;
        } else if (code < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", code);
            quoted += escaped;
        } else {
            quoted += character;
        }
    }
    return quoted + "\"";
}

std::string AudioFacts(const AudioOutput& audio) {
    if (audio.silent) {
        return "{\"Silent\": true, \"Description\": \"No audio device opened: every tone kept its duration "
               "but none was heard.\"}";
    }
    return "{\"Silent\": false, \"Driver\": " + JsonString(audio.driver) + ", \"Device\": " + JsonString(audio.device) +
           ", \"SampleRate\": " + std::to_string(audio.rate) + ", \"BufferFrames\": " + std::to_string(audio.bufferFrames) +
           "}";
}

// The BIDS descriptions of the columns.
constexpr const char* COLUMN_DESCRIPTIONS = R"(  "onset": {
    "LongName": "Event onset",
    "Description": "Time of the event from the moment the subject's record was written to the subject list, on the program's monotonic clock. block_start: when the block's growth and block timers started (its 60 s count from here). tone: when the tone's first sample is due at the audio output, as the audio device reports it. letter: when the frame that first shows the letter was presented (a letter drawn twice in a row changes nothing on the screen: then the first frame presented after it was drawn). response: when the program received the key. overflow, time_up: when the ending began. quit_question: when the question was put. quit: when the program ended.",
    "Units": "s"
  },
  "duration": {
    "LongName": "Event duration",
    "Description": "The tone's length for a tone (0 for a sound file that could not be played); n/a for every other event.",
    "Units": "s"
  },
  "trial_type": {
    "LongName": "Event type",
    "Description": "What happened.",
    "Levels": {
      "block_start": "A block began: the bars stand at a third of the display's height and rise from here.",
      "tone": "A tone was played to its end.",
      "letter": "A letter was shown.",
      "response": "A key was typed on a task screen, whether it answered a stimulus or not.",
      "overflow": "A bar reached the top of the display: the block ended with the error sound.",
      "time_up": "The block's 60 seconds passed: it ended with the praise.",
      "quit_question": "Esc or the window's close button asked whether to quit; value holds the answer.",
      "quit": "The program ended, by Yes to the quit question or by Quit on the menu."
    }
  },
  "block": {
    "LongName": "Block number",
    "Description": "1 for the first block of the run, 2 for the next, and on through the blocks chosen on the menu; n/a outside a block. A block lasts from its block_start to the hand-over after its ending."
  },
  "task": {
    "LongName": "Task of the block",
    "Description": "Which stimuli the block presents; n/a outside a block.",
    "Levels": {
      "tone": "Tones only, answered with x, s, w.",
      "letter": "Letters only, answered with b, n, m.",
      "tone+letter": "Tones and letters at once, each with its own keys."
    }
  },
  "stimulus": {
    "LongName": "Stimulus presented",
    "Description": "For a tone its frequency in Hz, for a letter the letter; n/a for every other event.",
    "Levels": {
      "200": "The 200 Hz tone (wave/200.wav), answered with x.",
      "500": "The 500 Hz tone (wave/500.wav), answered with s.",
      "800": "The 800 Hz tone (wave/800.wav), answered with w.",
      "A": "The letter A, answered with b.",
      "B": "The letter B, answered with n.",
      "C": "The letter C, answered with m."
    }
  },
  "key": {
    "LongName": "Key typed",
    "Description": "For a response, the character typed, case kept; space, tab, return and backspace by name, other control characters as code-<number>. Esc and the grave accent are no responses. n/a for every other event."
  },
  "channel": {
    "LongName": "Answer channel of the key",
    "Description": "The channel the key belongs to, whether or not that channel is part of the block; n/a for a key that belongs to none and for every other event.",
    "Levels": {
      "tone": "x, s or w.",
      "letter": "b, n or m."
    }
  },
  "correct": {
    "LongName": "Answer correct",
    "Description": "For a key that answered a stimulus, whether it was the right one; n/a for a key that answered nothing (its channel was closed: no stimulus awaited an answer, or it is no answer key) and for every other event.",
    "Levels": {
      "1": "The right key: the bar fell.",
      "0": "A wrong key: the bar stayed."
    }
  },
  "response_time": {
    "LongName": "Response time",
    "Description": "For a key that answered a stimulus, its onset minus the onset of the stimulus it answered; n/a otherwise, and when that stimulus had not been presented yet.",
    "Units": "s"
  },
  "tone_bar": {
    "LongName": "Tone bar height",
    "Description": "The red tone bar's height after the event, as a fraction of the display's height: 0.333 at a block's start, 1.000 at the top; n/a outside a block.",
    "Units": "1"
  },
  "letter_bar": {
    "LongName": "Letter bar height",
    "Description": "The blue letter bar's height after the event, as a fraction of the display's height; n/a outside a block.",
    "Units": "1"
  },
  "value": {
    "LongName": "Answer to the quit question",
    "Description": "For quit_question, the answer given; n/a for every other event.",
    "Levels": {
      "yes": "Quit: the program ended.",
      "no": "Carry on: the run went on where it was."
    }
  }
)";

}  // namespace

struct ResultsLog::Row {
    Row(int64_t onsetMicros, const char* trialType) : onsetMicros(onsetMicros), trialType(trialType) {}

    int64_t onsetMicros;
    const char* trialType;
    std::optional<int64_t> durationMicros;
    std::string stimulus;
    std::string key;
    Channel channel = Channel::None;
    std::optional<bool> correct;
    std::optional<int64_t> responseMicros;
    std::string value;
};

ResultsLog::ResultsLog(Runtime& runtime) : runtime(runtime) {}

ResultsLog::~ResultsLog() {
    // The program is ending some other way than the quit question or the menu's Quit.
    if (file) {
        [[maybe_unused]] auto ignored = file->Sync();
    }
}

std::string ResultsLog::EventsPath() const { return file ? file->Path() : std::string(); }

void ResultsLog::Open(const std::string& folder, const Subject& subject, int64_t recordMicros) {
    zeroMicros = recordMicros;
    std::string stem = JoinPath(folder, "sub-" + std::to_string(subject.id)) + "_task-" + std::string(EVENTS_TASK);
    for (int run = 1; run <= MAX_RUNS; ++run) {
        std::string name = stem + (run == 1 ? "" : "_run-" + std::to_string(run)) + "_events";
        auto events = AppendFile::CreateNew(name + ".tsv");
        if (events.exists) continue;
        if (!events.file) return Fail("create", name + ".tsv", events.error);
        auto sidecar = AppendFile::CreateNew(name + ".json");
        std::error_code ignored;
        if (!sidecar.file) {
            // Nothing of this run stays behind: an empty events file would only take the name.
            events.file.reset();
            std::filesystem::remove(PathFromUtf8(name + ".tsv"), ignored);
            if (sidecar.exists) continue;
            return Fail("create", name + ".json", sidecar.error);
        }
        AudioOutput audio = runtime.host.DescribeAudio();
        std::string json = "{\n  \"TaskName\": " + JsonString(std::string(EVENTS_TASK)) +
                           ",\n  \"SubjectID\": " + JsonString(std::to_string(subject.id)) +
                           ",\n  \"SubjectInitials\": " + JsonString(subject.initials) +
                           ",\n  \"OrderCondition\": " + std::to_string(subject.orderCondition) +
                           ",\n  \"StartTime\": " + JsonString(FormatLocalTime(runtime.host.CalendarNow())) +
                           ",\n  \"StimulusPresentation\": {\"OperatingSystem\": " + JsonString(OPERATING_SYSTEM) +
                           ", \"SoftwareName\": \"Pelorin\", \"SoftwareVersion\": " + JsonString(PELORIN_VERSION) +
                           "},\n  \"Display\": {\"WidthPixels\": " + std::to_string(runtime.host.DisplayWidthPixels()) +
                           ", \"HeightPixels\": " + std::to_string(runtime.host.DisplayHeightPixels()) +
                           "},\n  \"Audio\": " + AudioFacts(audio) + ",\n" + COLUMN_DESCRIPTIONS + "}\n";
        std::optional<std::string> error = sidecar.file->Append(json);
        if (!error) error = sidecar.file->Sync();
        if (error) {
            events.file.reset();
            sidecar.file.reset();
            std::filesystem::remove(PathFromUtf8(name + ".tsv"), ignored);
            std::filesystem::remove(PathFromUtf8(name + ".json"), ignored);
            return Fail("write", name + ".json", *error);
        }
        file = std::move(events.file);
        std::string header;
        for (std::string_view column : EVENT_COLUMNS) header += std::string(column) + (column == "value" ? "\n" : "\t");
        if (auto headerError = file->Append(header)) return Fail("write", file->Path(), *headerError);
        Flush();
        return;
    }
    Fail("create", stem + "_events.tsv", "every run number up to " + std::to_string(MAX_RUNS) + " is taken");
}

void ResultsLog::BlockStart(const char* blockTask, std::function<Bars()> blockBars) {
    if (!file) return;
    block = ++blocksRun;
    task = blockTask;
    bars = std::move(blockBars);
    toneOnset = -1;
    letterOnset = -1;
    Write(Row(runtime.host.NowMicros(), "block_start"));
}

void ResultsLog::Tone(const char* stimulus) {
    if (!file) return;
    SoundOnset sound = runtime.LastSoundOnset();
    toneOnset = sound.onsetMicros;
    Row row(sound.onsetMicros, "tone");
    row.durationMicros = sound.durationMicros;
    row.stimulus = stimulus;
    Write(row);
}

void ResultsLog::Letter(const std::string& letter) {
    if (!file) return;
    // An answer that comes before the letter is on the screen has no onset to count from.
    letterOnset = -1;
    runtime.OnNextPresent([this, letter](int64_t presented) {
        if (!file) return;
        letterOnset = presented;
        Row row(presented, "letter");
        row.stimulus = letter;
        Write(row);
    });
}

std::optional<int64_t> ResultsLog::StimulusOnset(Channel channel) const {
    int64_t onset = channel == Channel::Tone ? toneOnset : channel == Channel::Letter ? letterOnset : -1;
    return onset >= 0 ? std::optional<int64_t>(onset) : std::nullopt;
}

void ResultsLog::Response(char key, Channel channel, std::optional<bool> correct) {
    if (!file) return;
    int64_t received = runtime.CurrentEventMicros();
    std::optional<int64_t> responseMicros;
    if (auto onset = StimulusOnset(channel); onset && correct) responseMicros = received - *onset;
    Row row(received, "response");
    row.key = KeyName(key);
    row.channel = channel;
    row.correct = correct;
    row.responseMicros = responseMicros;
    Write(row);
}

void ResultsLog::Overflow() { Write(Row(runtime.host.NowMicros(), "overflow")); }

void ResultsLog::TimeUp() { Write(Row(runtime.host.NowMicros(), "time_up")); }

void ResultsLog::EndBlock() {
    Flush();
    block = 0;
    task.clear();
    bars = nullptr;
}

void ResultsLog::QuitQuestion(int64_t askedMicros, bool quit) {
    Row row(askedMicros, "quit_question");
    row.value = quit ? "yes" : "no";
    Write(row);
}

void ResultsLog::Quit() {
    Write(Row(runtime.host.NowMicros(), "quit"));
    Flush();
    file.reset();
}

void ResultsLog::Write(const Row& row) {
    if (!file) return;
    auto cell = [](const std::string& text) { return text.empty() ? std::string(NOT_APPLICABLE) : text; };
    auto seconds = [](std::optional<int64_t> micros) {
        return micros ? Seconds(*micros) : std::string(NOT_APPLICABLE);
    };
    std::optional<Bars> heights;
    if (block != 0 && bars) heights = bars();
    const char* channel = ChannelName(row.channel);
    std::string line = Seconds(row.onsetMicros - zeroMicros) + '\t' + seconds(row.durationMicros) + '\t' +
                       row.trialType + '\t' + (block != 0 ? std::to_string(block) : cell({})) + '\t' +
                       cell(block != 0 ? task : std::string()) + '\t' + cell(row.stimulus) + '\t' + cell(row.key) +
                       '\t' + cell(channel != nullptr ? channel : "") + '\t' +
                       cell(row.correct ? (*row.correct ? "1" : "0") : "") + '\t' + seconds(row.responseMicros) +
                       '\t' + (heights ? Fraction(heights->tone) : cell({})) + '\t' +
                       (heights ? Fraction(heights->letter) : cell({})) + '\t' + cell(row.value) + '\n';
    if (auto error = file->Append(line)) Fail("write", file->Path(), *error);
}

void ResultsLog::Flush() {
    if (!file) return;
    if (auto error = file->Sync()) Fail("write", file->Path(), *error);
}

void ResultsLog::Fail(const std::string& what, std::string path, const std::string& reason) {
    // The path may be the file's own: taken by value before the file goes.
    file.reset();
    // One box for the run: after a failure nothing more is written, so nothing more can fail.
    if (failed) return;
    failed = true;
    runtime.MsgBox("Could not " + what + " the results file " + path + ":\r" + reason, MB_EXCLAMATION, ERROR_TITLE);
}

}  // namespace pelorin
