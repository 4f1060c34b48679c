#include "measure/measuring_host.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "measure/process_times.h"
#include "screens/blanke.h"
#include "screens/tone_letter_task.h"
#include "ui/runtime.h"

namespace pelorin::measure {

namespace {

constexpr int64_t PERIOD_MICROS = int64_t{BarGame::GROWTH_TICK_MS} * 1000;

double Millis(int64_t micros) { return static_cast<double>(micros) / 1000.0; }

// The answer key of a demo tone: x for the low, s for the middle, w for the high one.
char ToneKey(const std::string& path) {
    if (path.ends_with("200.wav")) return 'x';
    if (path.ends_with("500.wav")) return 's';
    return 'w';
}

}  // namespace

void MeasuringHost::Watch(Tone_LetterTask& watched) {
    task = &watched;
    lastDue = task->Timer1.DueAt();
    lastCaption = task->Label1.Caption();
}

void MeasuringHost::Present() {
    int64_t began = NowMicros();
    bool tick = task != nullptr && Look(began);
    if (tick) {
        OnNextPresent([this, began](const PresentedFrame& frame) {
            tickOnsets.push_back(Millis(frame.micros - began));
            onsetStamp = frame.stamp;
        });
    }
    SdlHost::Present();
    int64_t took = NowMicros() - began;
    drawMicros += took;
    if (tick) tickPresents.push_back(Millis(took));
}

SoundOnset MeasuringHost::PlaySoundSync(const std::string& path) {
    Tone tone{path, NowMicros(), 0, {}};
    playing = true;
    tone.onset = SdlHost::PlaySoundSync(path);
    playing = false;
    tone.returned = NowMicros();
    tones.push_back(tone);
    answerKey = ToneKey(path);
    ++tonesPlayed;
    return tone.onset;
}

std::optional<InputEvent> MeasuringHost::PollInput() {
    std::optional<InputEvent> event = SdlHost::PollInput();
    if (event && event->kind == InputEvent::Kind::KeyPress && event->keyAscii > 0) {
        keysHandled.push_back({NowMicros(), event->timestampMicros});
    }
    return event;
}

bool MeasuringHost::Look(int64_t now) {
    int64_t due = task->Timer1.DueAt();
    bool tick = due != lastDue && lastDue != NO_DEADLINE && due != NO_DEADLINE;
    if (tick) tickLateness.push_back(Millis(now - lastDue));
    lastDue = due;
    // The bars start again from a third of the screen where the block would end by overflow, so
    // that it runs its whole length.
    float height = task->Height();
    for (Shape* bar : {&task->Shape1, &task->Shape2}) {
        if (bar->Height() >= height * 0.9f) bar->Move(bar->Left(), height * 2 / 3, bar->Width(), height / 3);
    }
    if (task->Label1.Caption() != lastCaption) {
        lastCaption = task->Label1.Caption();
        size_t index = letters.size();
        letters.push_back({now, 0});
        OnNextPresent([this, index](const PresentedFrame& presented) {
            letters[index].presented = presented.micros;
            letters[index].stamp = presented.stamp;
        });
    }
    if (stopAtEnd && task->Label2.Visible()) {
        endMicros = now;
        throw BlockOver{};
    }
    return tick;
}

BlockFigures MeasureIdleBlock(MeasuringHost& host, Runtime& runtime, Tone_LetterTask& task, int blockMillis) {
    if (blockMillis != BarGame::BLOCK_MS) task.Timer2.SetInterval(blockMillis);
    int64_t blockStart = task.Timer2.DueAt() - int64_t{blockMillis} * 1000;
    int64_t firstTick = task.Timer1.DueAt();
    host.Watch(task);
    host.tickLateness.clear();
    host.tickPresents.clear();
    host.tickOnsets.clear();
    const FrameCounts framesBefore = host.CountFrames();
    host.drawMicros = 0;
    host.stopAtEnd = true;
    double processBefore = ProcessCpuSeconds();
    double threadBefore = ThreadCpuSeconds();
    int64_t wallBefore = host.NowMicros();
    try {
        for (;;) runtime.WaitPass();
    } catch (const BlockOver&) {
    }
    host.stopAtEnd = false;
    double wall = static_cast<double>(host.NowMicros() - wallBefore) / 1e6;
    double process = ProcessCpuSeconds() - processBefore;
    double thread = ThreadCpuSeconds() - threadBefore;
    int64_t blockEnd = blockStart + int64_t{blockMillis} * 1000;

    BlockFigures figures;
    figures.tickLateness = host.tickLateness;
    host.FinishPresents();
    const FrameCounts framesAfter = host.CountFrames();
    figures.tickPresents = host.tickPresents;
    figures.tickOnsets = host.tickOnsets;
    figures.onsetStamp = host.onsetStamp;
    figures.framesShown = static_cast<double>(framesAfter.shown - framesBefore.shown);
    figures.framesMissed = static_cast<double>(framesAfter.missed - framesBefore.missed);
    figures.refreshMs = framesAfter.refreshMicros / 1000;
    size_t ticks = host.tickLateness.size();
    figures.ticksFired = static_cast<double>(ticks);
    figures.ticksDue = static_cast<double>((blockEnd - 1 - firstTick) / PERIOD_MICROS + 1);
    figures.blockError = Millis(host.endMicros - blockEnd);
    figures.cpuProcess = 100.0 * process / wall;
    figures.cpuThread = 100.0 * thread / wall;
    figures.peakMemory = PeakMemoryMegabytes();
    figures.drawPerTick = Millis(host.drawMicros) / static_cast<double>(std::max<size_t>(ticks, 1));
    return figures;
}

std::vector<double> WaitOvershoots(MeasuringHost& host, Blanke& blanke, int millis, int reps) {
    std::vector<double> overshoot;
    for (int i = 0; i < reps; ++i) {
        int64_t before = host.NowMicros();
        blanke.Wait(static_cast<int16_t>(millis));
        overshoot.push_back(Millis(host.NowMicros() - before - int64_t{millis} * 1000));
    }
    return overshoot;
}

std::vector<int64_t> KeyStream::Sent() {
    std::lock_guard lock(mutex);
    return sent;
}

void KeyStream::SleepMillis(int millis) { std::this_thread::sleep_for(std::chrono::milliseconds(millis)); }

KeyFigures MeasureKeys(MeasuringHost& host, Runtime& runtime, int count, const std::function<void(char)>& send) {
    host.keysHandled.clear();
    KeyStream stream(count, 5);
    std::atomic<bool> finished = false;
    std::function<int64_t()> now = [&host] { return host.NowMicros(); };
    std::thread typist([&] {
        stream.Run(now, send);
        finished = true;
    });
    int64_t giveUp = 0;
    while (host.keysHandled.size() < static_cast<size_t>(count)) {
        runtime.WaitPass();
        if (finished && giveUp == 0) giveUp = host.NowMicros() + 1'000'000;
        if (giveUp != 0 && host.NowMicros() > giveUp) break;
    }
    typist.join();
    std::vector<int64_t> sent = stream.Sent();
    KeyFigures figures;
    for (size_t i = 0; i < std::min(sent.size(), host.keysHandled.size()); ++i) {
        figures.toHandler.push_back(Millis(host.keysHandled[i].handled - sent[i]));
        figures.toStamp.push_back(Millis(host.keysHandled[i].stamped - sent[i]));
    }
    figures.lost = static_cast<double>(sent.size() - figures.toHandler.size());
    return figures;
}

}  // namespace pelorin::measure
