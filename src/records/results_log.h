#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace pelorin {

class AppendFile;
class Runtime;

// The channel an answer key belongs to: x, s, w the tone's, b, n, m the letter's.
enum class Channel { None, Tone, Letter };

// The results of a run: one events file per registered subject in Res_Data, a row per block start,
// stimulus, key, ending and quit question, each written whole the moment it happens, beside a sidecar
// that describes the run and every column. The file is flushed to the disk at block ends and when the
// program ends, never inside a block. A file that cannot be made or written is reported once, in an
// ERROR box, and the run goes on without it.
class ResultsLog {
public:
    explicit ResultsLog(Runtime& runtime);
    ~ResultsLog();
    ResultsLog(const ResultsLog&) = delete;
    ResultsLog& operator=(const ResultsLog&) = delete;

    struct Subject {
        int16_t id = 0;
        std::string initials;
        int16_t orderCondition = 0;
    };
    // The bars' heights as fractions of the display's height.
    struct Bars {
        double tone = 0;
        double letter = 0;
    };

    // Makes the events file and its sidecar in folder for a subject whose record was written at
    // recordMicros, from which onsets count. A name already taken gets the next free run number.
    void Open(const std::string& folder, const Subject& subject, int64_t recordMicros);
    // The events file being written, or empty.
    std::string EventsPath() const;

    // A block begins now, its timers just started; bars reads its bars for every row until it ends.
    void BlockStart(const char* task, std::function<Bars()> bars);
    // The tone the last synchronous play played, its onset as the host reports it: "200", "500", "800".
    void Tone(const char* stimulus);
    // A letter put on the screen: its row follows once the frame that shows it is presented.
    void Letter(const std::string& letter);
    // A key typed on a task screen: correct is empty for a key that answered nothing.
    void Response(char key, Channel channel, std::optional<bool> correct);
    void Overflow();
    void TimeUp();
    // The block is over: its rows go to the disk.
    void EndBlock();
    void QuitQuestion(int64_t askedMicros, bool quit);
    // The program ends: the last row, and everything to the disk.
    void Quit();

private:
    struct Row;

    void Write(const Row& row);
    void Flush();
    void Fail(const std::string& what, std::string path, const std::string& reason);
    std::optional<int64_t> StimulusOnset(Channel channel) const;

    Runtime& runtime;
    std::unique_ptr<AppendFile> file;
    bool failed = false;
    int64_t zeroMicros = 0;
    // The block in progress (0 outside one), counted over the whole run.
    int block = 0;
    int blocksRun = 0;
    std::string task;
    std::function<Bars()> bars;
    // Onsets of the stimuli the channels answer now; -1 before one was presented in this block.
    int64_t toneOnset = -1;
    int64_t letterOnset = -1;
};

}  // namespace pelorin
