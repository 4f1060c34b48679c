#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>

#include "lab.h"
#include "posix_child.h"
#include "records/subject_list.h"
#include "system/files.h"

namespace pelorin::test {
namespace {

namespace fs = std::filesystem;

// The registration screen of a fresh experiment in a given folder: what one program sees.
struct Station {
    explicit Station(const std::string& folder) : host(1024, 768, folder) { experiment.Greet(); }

    // Types the three entries and clicks "Start", from the given virtual time on.
    void Register(const std::string& id, const std::string& initials, const std::string& condition, int64_t at = 10) {
        at = host.ScheduleText(at, id);
        host.Schedule(at++, InputEvent::KeyDown(KEY_TAB));
        at = host.ScheduleText(at, initials);
        host.Schedule(at++, InputEvent::KeyDown(KEY_TAB));
        at = host.ScheduleText(at, condition);
        host.Schedule(at, InputEvent::Click(experiment.Greet().Command1));
        RunUntilIdle();
    }
    // Ctrl+Tab fills the boxes, Enter in the order-condition box registers.
    void QuickRegister(int64_t at = 10) {
        host.Schedule(at, InputEvent::KeyDown(KEY_TAB, CTRL_MASK));
        host.Schedule(at + 1, InputEvent::KeyPress(KEY_RETURN));
        RunUntilIdle();
    }
    void RunUntilIdle() {
        try {
            for (;;) experiment.runtime.WaitPass();
        } catch (const HeadlessIdle&) {
        }
    }
    std::vector<std::string> Boxes() const {
        std::vector<std::string> boxes;
        for (const TraceEntry& entry : host.Find("msgbox")) boxes.push_back(entry.what);
        return boxes;
    }
    std::string Top() const {
        Screen* top = const_cast<Experiment&>(experiment).runtime.ActiveScreen();
        return top != nullptr ? top->Name() : "";
    }

    HeadlessHost host;
    Experiment experiment{host};
};

std::string WriteFailure(const std::string& folder, const std::string& reason) {
    return "msgbox 48 \"ERROR\" \"Could not write " + folder + "/CurrentSubjects.txt:\\r" + reason + "\"";
}

void Write(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

// A sparse file one byte past what any data file is read up to.
void WriteHuge(const std::string& path) {
    Write(path, "");
    fs::resize_file(path, MAX_READ_BYTES + 1);
}

TEST(RecordsTest, AListThatCannotTakeTheRecordIsReportedAndRegistrationStays) {
    struct Case {
        const char* what;
        std::function<void(const std::string& list)> make;
        const char* reason;
    };
    std::vector<Case> cases = {
        // A full disk: a device that refuses every byte. Reading it would never end, so the ID check
        // and the quick fill must not read it.
        {"full disk", [](const std::string& list) { fs::create_symlink("/dev/full", list); },
         "No space left on device"},
        // A FIFO would hold the record nowhere; opening it must not wait for a writer.
        {"FIFO", [](const std::string& list) { mkfifo(list.c_str(), 0644); }, "not a regular file"},
        // Far beyond any subject list: refused without being read (the file is sparse).
        {"huge", WriteHuge, "larger than 32 MB"},
    };
    for (const Case& fault : cases) {
        SCOPED_TRACE(fault.what);
        TempDir dir;
        std::string list = dir.path + "/CurrentSubjects.txt";
        fault.make(list);
        auto statusBefore = fs::symlink_status(list);
        Station station(dir.path);
        station.QuickRegister();
        // The quick fill found no record to add 1 to; the failure names the reason; the run stays
        // on the registration screen, nothing else was made, and the list's place is as it was.
        EXPECT_EQ(station.experiment.Greet().Text1.Text(), "1");
        EXPECT_EQ(station.Boxes(), std::vector<std::string>{WriteFailure(dir.path, fault.reason)});
        EXPECT_EQ(station.Top(), "Greet");
        EXPECT_FALSE(fs::exists(dir.path + "/Res_Data"));
        EXPECT_EQ(fs::symlink_status(list).type(), statusBefore.type());

        // Once the fault is mended, the same screen registers the subject, once.
        fs::remove(list);
        station.host.Schedule(station.host.NowMillis() + 1, InputEvent::Click(station.experiment.Greet().Command1));
        station.RunUntilIdle();
        EXPECT_EQ(ReadWholeFile(list), " 1 kvt 2 \r\n");
        EXPECT_EQ(station.Top(), "Instruction");
    }
}

TEST(RecordsTest, AReadOnlyFolderForAnOrdinaryUser) {
    // Root writes wherever permission bits say otherwise: the program runs as nobody in a child.
    TempDir dir;
    std::string list = dir.path + "/CurrentSubjects.txt";
    auto readOnly = [&] { fs::permissions(dir.path, fs::perms(0555)); };
    auto writable = [&] { fs::permissions(dir.path, fs::perms(0777)); };
    auto run = [&](std::function<void(Station&)> act) {
        return RunAsOrdinaryUser([&] {
            Station station(dir.path);
            act(station);
            std::string seen = "top " + station.Top();
            for (const std::string& box : station.Boxes()) seen += "\n" + box;
            if (station.Top() == "Instruction") seen += "\nview " + station.experiment.Instruction().RichTextBox1.Text();
            return seen;
        });
    };
    readOnly();
    auto probe = RunAsOrdinaryUser([&] { return std::string(access(dir.path.c_str(), W_OK) == 0 ? "w" : "-"); });
    if (probe != "-") PELORIN_SKIP("cannot run as a user that a read-only folder stops (root without CAP_SETUID?)");

    // No list yet and the folder read-only: the list cannot be made, the run stays.
    EXPECT_EQ(run([](Station& station) { station.QuickRegister(); }),
              "top Greet\n" + WriteFailure(dir.path, "Permission denied"));
    EXPECT_FALSE(fs::exists(list));

    // A list the user may read but not write: the ID check still works, the write is refused.
    writable();
    Write(list, " 1 ab 1 \r\n");
    fs::permissions(list, fs::perms(0644));
    readOnly();
    EXPECT_EQ(run([](Station& station) {
                  station.host.ScheduleText(10, "1");
                  station.host.Schedule(20, InputEvent::KeyDown(KEY_TAB));
                  station.RunUntilIdle();
              }),
              "top Greet\nmsgbox 48 \"ERROR\" \"Sorry subject 1 allready exsists.\\rLook in " + list +
                  " to see current subjects.\"");
    EXPECT_EQ(run([](Station& station) { station.Register("2", "cd", "2"); }),
              "top Greet\n" + WriteFailure(dir.path, "Permission denied"));
    EXPECT_EQ(ReadWholeFile(list), " 1 ab 1 \r\n");

    // A writable list in a read-only folder: the record is written, Res_Data cannot be made, which
    // is reported, and the run goes on; an instruction file it may not read is named in the view.
    fs::permissions(list, fs::perms(0666));
    writable();
    Write(dir.path + "/instruction.txt", "secret");
    fs::permissions(dir.path + "/instruction.txt", fs::perms(0600));
    readOnly();
    EXPECT_EQ(run([&](Station& station) { station.Register("2", "cd", "2"); }),
              "top Instruction\nmsgbox 48 \"ERROR\" \"Could not make the folder " + dir.path +
                  "/Res_Data:\\rPermission denied\"\nview Cannot open " + dir.path +
                  "/instruction.txt: Permission denied");
    EXPECT_EQ(ReadWholeFile(list), " 1 ab 1 \r\n 2 cd 2 \r\n");
}

TEST(RecordsTest, AnyInstructionFileLeavesTheRunGoingOn) {
    struct Case {
        const char* what;
        std::function<void(const std::string& path)> make;
        std::function<std::string(const std::string& path)> shown;
    };
    std::string binary("\0\x01\xff\xfe text\0\r\n\x80", 13);
    std::string large(10 << 20, 'x');
    for (size_t i = 79; i < large.size(); i += 80) large[i] = '\n';
    auto message = [](const char* reason) {
        return [reason](const std::string& path) { return "Cannot open " + path + ": " + reason; };
    };
    std::vector<Case> cases = {
        {"folder", [](const std::string& path) { fs::create_directory(path); }, message("Is a directory")},
        // A FIFO with no writer would stall the open and then the read for good.
        {"FIFO", [](const std::string& path) { mkfifo(path.c_str(), 0644); }, message("not a regular file")},
        {"device", [](const std::string& path) { fs::create_symlink("/dev/zero", path); },
         message("not a regular file")},
        {"empty", [](const std::string& path) { Write(path, ""); }, [](const std::string&) { return ""; }},
        // Shown byte for byte; what a font cannot draw is the drawing's business.
        {"binary", [&](const std::string& path) { Write(path, binary); }, [&](const std::string&) { return binary; }},
        {"10 MB", [&](const std::string& path) { Write(path, large); }, [&](const std::string&) { return large; }},
        {"huge", WriteHuge, message("larger than 32 MB")},
    };
    for (const Case& file : cases) {
        SCOPED_TRACE(file.what);
        Lab lab;
        std::string path = lab.dir.path + "/instruction.txt";
        file.make(path);
        lab.SetBlockNumber(3);
        Instruction& instruction = lab.experiment.Instruction();
        lab.host.Schedule(100, InputEvent::Click(instruction.Command1));
        lab.host.Schedule(200, InputEvent::Click(instruction.Command1));
        lab.RunUntilIdle();
        EXPECT_TRUE(instruction.RichTextBox1.Text() == file.shown(path));
        EXPECT_EQ(lab.host.TimeOf("top Display"), 2200);
        EXPECT_TRUE(lab.host.Find("msgbox").empty());
    }
}

TEST(RecordsTest, TwoProgramsOneFolder) {
    constexpr int PROGRAMS = 6;
    constexpr int ROUNDS = 8;
    // Each program passes the ID check, then all click "Start" at once; their initials "aba", "abb",
    // ... tell them apart. Exit 0: registered and on the instruction screen; 1: refused as a duplicate
    // and still registering; 2: anything else.
    auto race = [&](const std::string& folder, bool sameId) {
        int ready[2];
        int barrier[2];
        EXPECT_EQ(pipe(ready), 0);
        EXPECT_EQ(pipe(barrier), 0);
        std::vector<pid_t> children;
        for (int program = 0; program < PROGRAMS; ++program) {
            pid_t child = fork();
            if (child == 0) {
                close(ready[0]);
                close(barrier[1]);
                int code = 2;
                try {
                    Station station(folder);
                    station.host.ScheduleText(10, sameId ? "7" : std::to_string(10 + program));
                    station.host.Schedule(20, InputEvent::KeyDown(KEY_TAB));
                    station.host.ScheduleText(30, std::string("ab") + static_cast<char>('a' + program));
                    station.host.Schedule(40, InputEvent::KeyDown(KEY_TAB));
                    station.host.ScheduleText(50, "1");
                    station.RunUntilIdle();
                    char go = 0;
                    [[maybe_unused]] ssize_t told = write(ready[1], &go, 1);
                    [[maybe_unused]] ssize_t released = read(barrier[0], &go, 1);
                    station.host.Schedule(station.host.NowMillis() + 1, InputEvent::Click(station.experiment.Greet().Command1));
                    station.RunUntilIdle();
                    auto boxes = station.Boxes();
                    if (station.Top() == "Instruction" && boxes.empty()) code = 0;
                    if (station.Top() == "Greet" && boxes.size() == 1 &&
                        boxes[0].find("Sorry subject 7 allready exsists.") != std::string::npos) {
                        code = 1;
                    }
                } catch (...) {
                }
                _exit(code);
            }
            children.push_back(child);
        }
        // Every program has passed its ID check before any clicks "Start".
        close(ready[1]);
        char go;
        for (int program = 0; program < PROGRAMS; ++program) EXPECT_EQ(read(ready[0], &go, 1), 1);
        close(ready[0]);
        close(barrier[0]);
        close(barrier[1]);
        std::vector<int> codes;
        for (pid_t child : children) {
            int status = 0;
            waitpid(child, &status, 0);
            codes.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        }
        return codes;
    };
    for (int round = 0; round < ROUNDS; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        {
            // The same ID: one wins, the others get the duplicate message; one whole record.
            TempDir dir;
            auto codes = race(dir.path, true);
            EXPECT_EQ(std::count(codes.begin(), codes.end(), 0), 1);
            EXPECT_EQ(std::count(codes.begin(), codes.end(), 1), PROGRAMS - 1);
            std::string list = ReadWholeFile(dir.path + "/CurrentSubjects.txt").value_or("");
            EXPECT_TRUE(std::regex_match(list, std::regex(" 7 ab[a-f] 1 \r\n"))) << list;
            EXPECT_EQ(ReadWholeFile(dir.path + "/Res_Data/participants.tsv"),
                      "participant_id\torder_condition\nsub-7\t1\n");
        }
        {
            // Different IDs: every program registers; the list is their whole records, none torn or
            // interleaved, each ID once.
            TempDir dir;
            auto codes = race(dir.path, false);
            EXPECT_EQ(std::count(codes.begin(), codes.end(), 0), PROGRAMS);
            std::string list = ReadWholeFile(dir.path + "/CurrentSubjects.txt").value_or("");
            EXPECT_TRUE(std::regex_match(list, std::regex("( 1[0-5] ab[a-f] 1 \r\n){6}"))) << list;
            std::set<long> ids;
            for (const std::string& line : SplitLines(list)) ids.insert(RecordId(line).value_or(-1));
            EXPECT_EQ(ids, (std::set<long>{10, 11, 12, 13, 14, 15}));
            // The dataset's shared table the same: one whole row each after one header, and each
            // subject's own files.
            std::string participants = ReadWholeFile(dir.path + "/Res_Data/participants.tsv").value_or("");
            EXPECT_TRUE(std::regex_match(participants, std::regex("participant_id\torder_condition\n(sub-1[0-5]\t1\n){6}")))
                << participants;
            std::set<std::string> rows;
            for (const std::string& line : SplitLines(participants)) rows.insert(line);
            EXPECT_EQ(rows.size(), 7u);
            for (int id = 10; id <= 15; ++id) {
                std::string subject = dir.path + "/Res_Data/sub-" + std::to_string(id);
                EXPECT_EQ(SplitLines(ReadWholeFile(subject + "/sub-" + std::to_string(id) + "_scans.tsv").value_or("")).size(), 2u);
                EXPECT_TRUE(fs::exists(subject + "/beh/sub-" + std::to_string(id) + "_task-dualtask_events.json"));
            }
            EXPECT_TRUE(ReadWholeFile(dir.path + "/Res_Data/dataset_description.json").value_or("").ends_with("}\n"));
        }
    }
}

TEST(RecordsTest, TheDuplicateCheckRunsOnWhatTheListHoldsUnderTheLock) {
    // Another program holds the lock and writes subject 7 while this one, its ID check passed, waits
    // for it after "Start": the registration sees 7 once it has the lock and refuses.
    TempDir dir;
    std::string list = dir.path + "/CurrentSubjects.txt";
    Write(list, " 6 ab 1 \r\n");
    int held = open(list.c_str(), O_RDWR | O_APPEND);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    pid_t child = fork();
    if (child == 0) {
        // The lock belongs to the open file, which the child shares until it lets go of it.
        close(held);
        Station station(dir.path);
        station.Register("7", "cd", "2");
        auto boxes = station.Boxes();
        bool refused = station.Top() == "Greet" && boxes.size() == 1 &&
                       boxes[0].find("Sorry subject 7 allready exsists.") != std::string::npos;
        _exit(refused ? 0 : 1);
    }
    // Wait until the child is queued on the lock, as /proc/locks shows a blocked request ("->").
    bool waiting = false;
    for (int attempt = 0; attempt < 10000 && !waiting; ++attempt) {
        std::string locks = ReadWholeFile("/proc/locks").value_or("");
        waiting = locks.find("-> FLOCK  ADVISORY  WRITE " + std::to_string(child) + " ") != std::string::npos;
        if (!waiting) usleep(1000);
    }
    EXPECT_TRUE(waiting) << "the child never queued on the lock";
    ASSERT_EQ(write(held, " 7 ef 1 \r\n", 10), 10);
    close(held);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the registration did not refuse 7";
    EXPECT_EQ(ReadWholeFile(list), " 6 ab 1 \r\n 7 ef 1 \r\n");
}

}  // namespace
}  // namespace pelorin::test
