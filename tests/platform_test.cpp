#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "hosts/headless/headless_host.h"
#include "system/calendar.h"
#include "system/files.h"
#include "test_support.h"
#include "ui/control.h"
#include "ui/runtime.h"
#include "ui/screen.h"
#include "ui/text.h"
#include "ui/timer.h"

namespace pelorin {
namespace {

// A screen with a box that refuses to be left empty, a second box, a button and two timers.
class Form : public Screen {
public:
    explicit Form(Runtime& runtime) : Screen(runtime, "Form", 9000, 6000) {
        Text1.SetTabIndex(1);
        Text2.SetTabIndex(2);
        Command1.SetTabIndex(3);
        Text1.onValidate = [this](bool& Cancel) {
            if (Text1.Text().empty()) {
                this->runtime.MsgBox("empty!");
                Cancel = true;
            }
        };
        Text2.onKeyPress = [](int16_t& KeyAscii) {
            if (KeyAscii == 'z') KeyAscii = 0;
        };
    }

    void Form_KeyPressAt(int16_t& KeyAscii, const InputEvent& typed) override {
        if (onKeyAt) onKeyAt(KeyAscii, typed.timestampMicros);
        Form_KeyPress(KeyAscii);
    }
    void Form_KeyPress(int16_t& KeyAscii) override {
        keys.push_back(KeyAscii);
        if (KeyAscii == KEY_ESCAPE) KeyAscii = 0;
    }
    void Form_KeyDown(int keyCode, int shift) override { keyDowns.push_back(keyCode * 10 + shift); }

    TextBox Text1{*this, "Text1", 0, 0, 1000, 400, Font{}, 3};
    TextBox Text2{*this, "Text2", 0, 500, 1000, 400, Font{}, 3};
    Button Command1{*this, "Command1", -1, "Go", 0, 1000, 1000, 400, Font{}, [this] { ++clicks; }};
    Timer Timer1{*this, [this] { ticks.push_back(this->runtime.host.NowMicros() / 1000); }};

    std::function<void(int16_t, int64_t)> onKeyAt;
    std::vector<int16_t> keys;
    std::vector<int> keyDowns;
    std::vector<int64_t> ticks;
    int clicks = 0;
};

class PlatformTest : public ::testing::Test {
protected:
    // Runs the event loop until the virtual clock reaches the time.
    void RunUntil(int64_t millis) {
        Timer stop{form, [this] { stopped = true; }};
        stopped = false;
        stop.SetInterval(static_cast<int>(millis - host.NowMillis()));
        stop.SetEnabled(true);
        while (!stopped) runtime.WaitPass();
    }

    HeadlessHost host{1024, 768, "/nonexistent"};
    Runtime runtime{host};
    Form form{runtime};
    bool stopped = false;
};

TEST_F(PlatformTest, TimersTickOnScheduleWithoutBurstsAndRestartWhenEnabled) {
    form.Show();
    form.Timer1.SetInterval(35);
    form.Timer1.SetEnabled(true);
    RunUntil(106);
    EXPECT_EQ(form.ticks, (std::vector<int64_t>{35, 70, 105}));

    // A handler that keeps the thread busy past several due times (a 100 ms sound): one tick
    // afterwards, then the schedule the timer was started with (140, 175 and 210 fell due while busy;
    // 245 is next).
    form.ticks.clear();
    test::TempDir dir;
    test::MakeWav(dir.path + "/busy.wav", 100);
    Timer busy{form, [&] {
                   busy.SetEnabled(false);
                   runtime.PlaySound(dir.path + "/busy.wav");
               }};
    busy.SetInterval(15);
    busy.SetEnabled(true);  // falls due at 121; the sound holds the thread until 221
    RunUntil(250);
    EXPECT_EQ(form.ticks, (std::vector<int64_t>{221, 245})) << "one late tick, no burst, schedule kept";

    // A message box holds every timer instead: the tick 20 ms off when the box came up at 260 comes
    // 20 ms after it closed at 360, and the schedule moves with it. A key typed under the box is the
    // box's. (RunUntil's own timer is held too: it ends at 420, not 320.)
    form.ticks.clear();
    host.ScheduleText(300, "b");
    Timer asks{form, [&] {
                   asks.SetEnabled(false);
                   host.AnswerMessageBox(ID_OK, 100);
                   runtime.MsgBox("busy");
               }};
    asks.SetInterval(10);
    asks.SetEnabled(true);
    RunUntil(320);
    EXPECT_EQ(host.NowMillis(), 420);
    EXPECT_EQ(form.ticks, (std::vector<int64_t>{380, 415}));
    EXPECT_EQ(form.Text1.Text(), "");

    // Re-enabling restarts the count; interval 0 never ticks.
    form.ticks.clear();
    form.Timer1.SetEnabled(false);
    RunUntil(440);
    form.Timer1.SetEnabled(true);
    RunUntil(480);
    EXPECT_EQ(form.ticks, (std::vector<int64_t>{475}));
    form.Timer1.SetInterval(0);
    form.ticks.clear();
    RunUntil(1000);
    EXPECT_TRUE(form.ticks.empty());
    EXPECT_THROW(form.Timer1.SetInterval(-1), std::invalid_argument);
}

TEST_F(PlatformTest, FocusMovesWithTabAndClicksOnlyPastAValidationThatPasses) {
    form.SetKeyPreview(true);
    form.Show();
    EXPECT_EQ(form.FocusedControl(), &form.Text1) << "a screen comes up with its first tab stop focused";

    // Tab out of the empty box: refused with its message, the focus stays.
    host.Schedule(10, InputEvent::KeyDown(KEY_TAB));
    // A click on the button is refused the same way and does not click.
    host.Schedule(20, InputEvent::Click(form.Command1));
    host.ScheduleText(30, "7");
    host.Schedule(40, InputEvent::KeyDown(KEY_TAB));
    // Shift+Tab goes back; Ctrl+Tab reaches the form and moves nothing.
    host.Schedule(50, InputEvent::KeyDown(KEY_TAB, SHIFT_MASK));
    host.Schedule(60, InputEvent::KeyDown(KEY_TAB, CTRL_MASK));
    RunUntil(45);
    EXPECT_EQ(host.Find("msgbox").size(), 2u);
    EXPECT_EQ(form.clicks, 0);
    EXPECT_EQ(form.FocusedControl(), &form.Text2);
    RunUntil(100);
    EXPECT_EQ(form.FocusedControl(), &form.Text1);
    EXPECT_EQ(form.keyDowns.back(), KEY_TAB * 10 + CTRL_MASK);

    // A programmatic move validates too, and a click that passes it clicks.
    form.Text1.SetText("");
    EXPECT_FALSE(runtime.SetFocus(form.Command1));
    form.Text1.SetText("1");
    host.Schedule(110, InputEvent::Click(form.Command1));
    RunUntil(120);
    EXPECT_EQ(form.clicks, 1);
    EXPECT_EQ(form.FocusedControl(), &form.Command1);
    // Enter and Space click a focused button.
    host.Schedule(130, InputEvent::KeyPress(KEY_RETURN));
    host.Schedule(131, InputEvent::KeyPress(KEY_SPACE));
    RunUntil(140);
    EXPECT_EQ(form.clicks, 3);
}

TEST_F(PlatformTest, KeysPassThePreviewThenTheFilterThenTheBox) {
    form.Show();
    form.SetKeyPreview(true);
    runtime.SetFocus(form.Text1);
    form.Text1.SetText("1");
    runtime.SetFocus(form.Text2);
    // The preview swallows Esc; the box's filter swallows 'z'; the box takes at most 3 characters,
    // and backspace deletes.
    host.ScheduleText(10, "a\x1bzbcd");
    host.Schedule(20, InputEvent::KeyPress(KEY_BACK));
    RunUntil(30);
    EXPECT_EQ(form.Text2.Text(), "ab");
    EXPECT_EQ(form.keys, (std::vector<int16_t>{'a', KEY_ESCAPE, 'z', 'b', 'c', 'd', KEY_BACK}));

    // A held key repeats into a text box but never into a screen without one.
    host.Schedule(40, InputEvent::KeyPress(KEY_BACK, true));
    RunUntil(50);
    EXPECT_EQ(form.Text2.Text(), "a");
    form.keys.clear();
    form.Text1.SetVisible(false);
    form.Text2.SetVisible(false);
    form.Command1.SetVisible(false);
    host.Schedule(60, InputEvent::KeyPress('x'));
    host.Schedule(61, InputEvent::KeyPress('x', true));
    host.Schedule(62, InputEvent::KeyDown('X', 0, true));
    RunUntil(70);
    EXPECT_EQ(form.keys, (std::vector<int16_t>{'x'}));
    EXPECT_EQ(form.keyDowns, std::vector<int>{});
}

TEST_F(PlatformTest, EndingUnwindsNestedWaitsToTheCaller) {
    form.Show();
    int depth = 0;
    Timer inner{form, [&] {
                    ++depth;
                    runtime.End();
                }};
    Timer outer{form, [&] {
                    ++depth;
                    outer.SetEnabled(false);
                    inner.SetInterval(10);
                    inner.SetEnabled(true);
                    for (;;) runtime.WaitPass();
                }};
    outer.SetInterval(10);
    outer.SetEnabled(true);
    EXPECT_THROW(
        {
            for (;;) runtime.WaitPass();
        },
        ProgramEnded);
    EXPECT_EQ(depth, 2);
    EXPECT_EQ(host.NowMillis(), 20);
}

TEST_F(PlatformTest, OnsetsAreTheTimesOfTheCallTheEventAndThePresent) {
    test::TempDir dir;
    std::string tone = dir.path + "/tone.wav";
    test::MakeWav(tone, 300);
    form.Show();
    // A key comes to its handler with the time it was typed, also to one that runs inside a wait
    // another key's handler runs.
    std::vector<int64_t> eventTimes;
    form.SetKeyPreview(true);
    form.onKeyAt = [&](int16_t KeyAscii, int64_t typedMicros) {
        eventTimes.push_back(typedMicros);
        if (KeyAscii == 'a') RunUntil(host.NowMillis() + 50);
        eventTimes.push_back(typedMicros);
    };
    host.Schedule(120, InputEvent::KeyPress('a'));
    host.Schedule(140, InputEvent::KeyPress('b'));
    RunUntil(300);
    EXPECT_EQ(eventTimes, (std::vector<int64_t>{120000, 140000, 140000, 120000}));
    form.onKeyAt = nullptr;
    form.SetKeyPreview(false);
    // A sound's onset is the time of the call; one that cannot be played is not heard.
    int64_t called = host.NowMicros();
    SoundOnset played = runtime.PlaySound(tone);
    EXPECT_EQ(played.onsetMicros, called);
    EXPECT_EQ(played.durationMicros, 300000);
    EXPECT_TRUE(played.audible);
    SoundOnset missing = runtime.PlaySound(dir.path + "/missing.wav");
    EXPECT_EQ(missing.onsetMicros, called + 300000);
    EXPECT_EQ(missing.durationMicros, 0);
    EXPECT_FALSE(missing.audible);
    // A change is presented by the pass that draws it.
    PresentedFrame presented{-1, FrameStamp::PresentCall};
    form.Text1.SetText("changed");
    runtime.OnNextPresent([&](const PresentedFrame& frame) { presented = frame; });
    RunUntil(host.NowMillis() + 100);
    EXPECT_EQ(presented.micros, called + 300000);
    EXPECT_EQ(presented.stamp, FrameStamp::VirtualClock);
}

}  // namespace
}  // namespace pelorin

namespace pelorin {
namespace {

TEST(AppendTest, AppendsWholeRecordsOnlyWhenAcceptedAndReportsFailures) {
    test::TempDir dir;
    std::string path = dir.path + "/list.txt";
    auto accept = [](const std::string&) { return true; };

    // Creates the file; a record after a last line without its end gets one first.
    EXPECT_EQ(AppendIfAccepted(path, accept, " 1 ab 1 \r\n").status, AppendResult::Status::Written);
    {
        std::ofstream(path, std::ios::app) << "# note";
    }
    EXPECT_EQ(AppendIfAccepted(path, accept, " 2 cd 2 \r\n").status, AppendResult::Status::Written);
    EXPECT_EQ(ReadWholeFile(path), " 1 ab 1 \r\n# note\r\n 2 cd 2 \r\n");

    // The check sees the whole file; refused, nothing is written.
    std::string seen;
    auto refuse = [&](const std::string& contents) {
        seen = contents;
        return false;
    };
    EXPECT_EQ(AppendIfAccepted(path, refuse, " 3 ef 1 \r\n").status, AppendResult::Status::Refused);
    EXPECT_EQ(seen, " 1 ab 1 \r\n# note\r\n 2 cd 2 \r\n");
    EXPECT_EQ(ReadWholeFile(path), seen);

    // A folder in the file's place fails (full disks and devices: the records tests).
    std::filesystem::create_directory(dir.path + "/folder.txt");
    AppendResult folder = AppendIfAccepted(dir.path + "/folder.txt", accept, "x");
    EXPECT_EQ(folder.status, AppendResult::Status::Failed);
    EXPECT_FALSE(folder.error.empty());
}

// An append of a record on another thread, started while hold holds the file's lock: hold is given the
// check to run under the lock, which starts the append, gives it time to reach the lock and returns
// true when it has not run yet. Returns what the append saw of the file.
using UnderLock = std::function<bool(const std::string& contents)>;
std::string AppendWhileHeld(const std::string& path, const std::string& record,
                            const std::function<void(const UnderLock& underLock)>& hold) {
    std::string seen = "none";
    std::thread append;
    hold([&](const std::string&) {
        append = std::thread([&] {
            AppendIfAccepted(path, [&](const std::string& contents) { seen = contents; return true; }, record);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return seen == "none";
    });
    append.join();
    return seen;
}

TEST(AppendTest, ASecondAppendWaitsForTheFirstAndSeesItsRecord) {
    test::TempDir dir;
    std::string path = JoinPath(dir.path, "list.txt");
    // The second registration starts while the first holds the list: it must wait, then check the list
    // with the first's record in it.
    std::string seenBySecond = AppendWhileHeld(path, " 2 cd 1 \r\n", [&](const UnderLock& underLock) {
        EXPECT_EQ(AppendIfAccepted(path, underLock, " 1 ab 1 \r\n").status, AppendResult::Status::Written);
    });
    EXPECT_EQ(seenBySecond, " 1 ab 1 \r\n");
    EXPECT_EQ(ReadWholeFile(path), " 1 ab 1 \r\n 2 cd 1 \r\n");
}

// A file that rows wait in is read and removed under the lock appends take: an append that waited for
// the lock meanwhile makes the file anew instead of writing into the one removed.
TEST(AppendTest, ASettledFileGoesAndAnAppendThatWaitedMakesItAnew) {
    test::TempDir dir;
    std::string path = JoinPath(dir.path, "waiting.tsv");
    bool called = false;
    EXPECT_EQ(SettleFile(path, [&](const std::string&) { return called = true; }), std::nullopt);
    EXPECT_FALSE(called);

    auto accept = [](const std::string&) { return true; };
    ASSERT_EQ(AppendIfAccepted(path, accept, "a\n").status, AppendResult::Status::Written);
    // Not settled: the file stays as it was.
    EXPECT_EQ(SettleFile(path, [](const std::string& contents) { return contents != "a\n"; }), std::nullopt);
    EXPECT_EQ(ReadWholeFile(path), "a\n");

    std::string seen = AppendWhileHeld(path, "b\n", [&](const UnderLock& underLock) {
        EXPECT_EQ(SettleFile(path, underLock), std::nullopt);
    });
    EXPECT_EQ(seen, "");
    EXPECT_EQ(ReadWholeFile(path), "b\n");
}

// What the system knows a file by, whatever the name that reaches it: a hard link and a path through
// ".." are the same file; another file is not, and nothing is there for a missing name.
TEST(PathTest, AFileIsKnownByItsIdentityWhateverNameReachesIt) {
    test::TempDir dir;
    std::string folder = JoinPath(dir.path, "Res_Data");
    ASSERT_EQ(MakeFolder(folder), std::nullopt);
    std::string file = JoinPath(folder, "participants.tsv");
    std::ofstream(PathFromUtf8(file)) << "participant_id\n";
    std::string linked = JoinPath(dir.path, "linked.tsv");
    std::filesystem::create_hard_link(PathFromUtf8(file), PathFromUtf8(linked));
    std::optional<FileIdentity> identity = IdentityOf(file);
    ASSERT_TRUE(identity);
    EXPECT_FALSE(identity->folder);
    EXPECT_EQ(IdentityOf(linked), identity);
    EXPECT_EQ(IdentityOf(JoinPath(dir.path, "Res_Data/../Res_Data/participants.tsv")), identity);
    EXPECT_TRUE(IdentityOf(folder)->folder);
    EXPECT_NE(IdentityOf(folder), identity);
    EXPECT_EQ(IdentityOf(JoinPath(dir.path, "missing")), std::nullopt);
    EXPECT_EQ(ResolvedPath(JoinPath(dir.path, "missing")), std::nullopt);
    EXPECT_EQ(IdentityOf(*ResolvedPath(JoinPath(dir.path, "Res_Data/../linked.tsv"))), identity);
    EXPECT_FALSE(IsLink(file));
    EXPECT_TRUE(SameName("Res_Data", "Res_Data"));
    EXPECT_FALSE(SameName("Res_Data", "Res_Dat"));
}

TEST(PathTest, NamesJoinTheFolderWithTheSystemsSeparator) {
    std::string sep(1, PATH_SEPARATOR);
    EXPECT_EQ(JoinPath("lab", "wave/200.wav"), "lab" + sep + "wave" + sep + "200.wav");
    // A folder that already ends with a separator, such as a drive's root, gets no second one.
    EXPECT_EQ(JoinPath("lab" + sep, "list.txt"), "lab" + sep + "list.txt");
}

}  // namespace
}  // namespace pelorin

namespace pelorin {
namespace {

TEST(CalendarTest, LocalTimesWithTheirOffsetAcrossDaysMonthsAndLeapYears) {
    // A Monday morning in UTC, and the same moment an hour east.
    EXPECT_EQ(FormatLocalTime({1767603600, 0}), "2026-01-05T09:00:00+00:00");
    EXPECT_EQ(FormatLocalTime({1767603600, 60}), "2026-01-05T10:00:00+01:00");
    // West of UTC across midnight into the day before, the end of a leap year's February.
    EXPECT_EQ(FormatLocalTime({1709166600, -330}), "2024-02-28T19:00:00-05:30");
    EXPECT_EQ(FormatLocalTime({1709251199, 0}), "2024-02-29T23:59:59+00:00");
    EXPECT_EQ(FormatLocalTime({1709251200, 0}), "2024-03-01T00:00:00+00:00");
    // Before 1970 and at the turn of a century that is no leap year.
    EXPECT_EQ(FormatLocalTime({-1, 0}), "1969-12-31T23:59:59+00:00");
    EXPECT_EQ(FormatLocalTime({4107542400, 0}), "2100-03-01T00:00:00+00:00");
    // The machine's own clock reads as its C library has it.
    CalendarTime now = SystemCalendarNow();
    std::time_t seconds = static_cast<std::time_t>(now.unixSeconds);
    char expected[32];
    std::strftime(expected, sizeof expected, "%Y-%m-%dT%H:%M:%S", std::localtime(&seconds));
    EXPECT_TRUE(FormatLocalTime(now).starts_with(expected)) << FormatLocalTime(now);
}

TEST(DisplayTextTest, MakesAnyBytesDrawable) {
    // Line ends of every kind; a tab is blanks.
    EXPECT_EQ(DisplayText("a\r\nb\rc\nd\te"), "a\nb\nc\nd    e");
    // UTF-8 is kept, its byte-order mark dropped.
    EXPECT_EQ(DisplayText("\xEF\xBB\xBFgr\xC3\xBC\xC3\x9F"), "gr\xC3\xBC\xC3\x9F");
    // Bytes that are not UTF-8 are Windows-1252: quotes, dash, accented letters.
    EXPECT_EQ(DisplayText("\x93Hi\x94 \x96 caf\xE9"), "\xE2\x80\x9CHi\xE2\x80\x9D \xE2\x80\x93 caf\xC3\xA9");
    // Overlong and cut-off sequences are read byte by byte too.
    EXPECT_EQ(DisplayText("\xC0\xAF"), "\xC3\x80\xC2\xAF");
    EXPECT_EQ(DisplayText("x\xE2\x82"), "x\xC3\xA2\xE2\x80\x9A");
    // Control bytes, NUL included, show as the replacement character.
    EXPECT_EQ(DisplayText(std::string("a\0b\x1b", 4)), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

}  // namespace
}  // namespace pelorin
