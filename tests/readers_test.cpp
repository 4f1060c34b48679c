#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "dataset.h"
#include "events_summary.h"
#include "readers_harness.h"
#include "records/event_columns.h"
#include "report.h"
#include "system/files.h"
#include "test_support.h"

namespace pelorin::test {
namespace {

namespace fs = std::filesystem;

// A tone block as the program writes it, each row's cells in the vocabulary's order: two tones, both
// answered right after 0.3 and 0.5 s.
const std::vector<std::vector<std::string>> TONE_BLOCK = {
    {"1.000000", "n/a", "block_start", "1", "tone", "n/a", "n/a", "n/a", "n/a", "n/a", "0.333", "0.333", "n/a", "n/a"},
    {"1.000000", "0.100000", "tone", "1", "tone", "500Hz", "n/a", "n/a", "n/a", "n/a", "0.333", "0.333", "n/a",
     "audio_clock"},
    {"1.300000", "n/a", "response", "1", "tone", "500Hz", "s", "tone", "1", "0.300000", "0.281", "0.338", "n/a", "n/a"},
    {"1.400000", "0.100000", "tone", "1", "tone", "200Hz", "n/a", "n/a", "n/a", "n/a", "0.281", "0.338", "n/a",
     "audio_clock"},
    {"1.900000", "n/a", "response", "1", "tone", "200Hz", "x", "tone", "1", "0.500000", "0.240", "0.350", "n/a", "n/a"},
    {"61.000000", "n/a", "time_up", "1", "tone", "n/a", "n/a", "n/a", "n/a", "n/a", "0.990", "0.999", "n/a", "n/a"},
};
const std::string BLOCK_SUMMARY = ",1,1,tone,time_up,tone,2,2,2,1.000,0.400000,0,0.000000,NA,NA\n";

// The block under a header of the given columns: a column of the vocabulary gets its cells, any other
// the lab's text.
std::string EventsFile(const std::vector<std::string>& columns, const std::string& lineEnd = "\n") {
    std::string text;
    for (size_t i = 0; i < columns.size(); ++i) text += (i ? "\t" : "") + columns[i];
    text += lineEnd;
    for (const auto& row : TONE_BLOCK) {
        for (size_t i = 0; i < columns.size(); ++i) {
            std::string cell = "checked";
            for (size_t c = 0; c < EVENT_COLUMN_COUNT; ++c) {
                if (EVENT_COLUMNS[c].name == columns[i]) cell = row[c];
            }
            text += (i ? "\t" : "") + cell;
        }
        text += lineEnd;
    }
    return text;
}

std::vector<std::string> TodaysColumns() {
    std::vector<std::string> columns;
    for (const Column& column : EVENT_COLUMNS) columns.emplace_back(column.name);
    return columns;
}

// A dataset as a lab hands it back: files re-saved, columns added and moved, an earlier version's file,
// tails torn by a power cut, a broken line, a symbolic link in a loop, and IDs that sort wrongly as text
// or as numbers alone, listed twice in participants.tsv.
class LabEditedDatasetTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = JoinPath(dir.path, "Res_Data");
        std::vector<std::string> withComment = TodaysColumns();
        withComment.insert(withComment.begin() + 3, "comment");
        std::vector<std::string> reordered = TodaysColumns();
        std::reverse(reordered.begin(), reordered.end());
        std::vector<std::string> earlier = TodaysColumns();
        earlier.resize(LETTER_BAR + 1);
        earlier.push_back("value");
        std::string today = EventsFile(TodaysColumns());
        Write("sub-1", EventsFile(withComment));
        Write("sub-2", EventsFile(reordered, "\r\n"));
        Write("sub-3", EventsFile(earlier));
        // A power cut: half a row, or the room the system had given the file and no data in it.
        Write("sub-10", today + today.substr(today.find("\n1.9") + 1, 20));
        Write("sub-1a", today + std::string(4096, '\0'));
        std::string broken = today;
        broken.insert(broken.find("1.300000"), "12.5\tgarbage\n");
        Write("sub-02", broken);
        // A system that refuses links (Windows without the right) has no loop to read.
        std::error_code refused;
        fs::create_directory_symlink("sub-7", JoinPath(root, "sub-7"), refused);
        loop = !refused;
        // participants.tsv as a spreadsheet exports it: a byte order mark, CR LF, the columns moved.
        std::ofstream(JoinPath(root, "participants.tsv"), std::ios::binary)
            << "\xEF\xBB\xBF" "order_condition\tage\tparticipant_id\r\n2\t23\tsub-2\r\n1\t31\tsub-10\r\n1\t40\tsub-1a\r\n"
               "2\t23\tsub-2\r\n";
    }

    void Write(const std::string& id, const std::string& text) {
        std::string path = JoinPath(root, id + "/beh/" + id + "_task-dualtask_events.tsv");
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    std::string File(const std::string& id) { return JoinPath(root, id + "/beh/" + id + "_task-dualtask_events.tsv"); }

    TempDir dir;
    std::string root;
    bool loop = false;
};

TEST_F(LabEditedDatasetTest, TheSummaryReadsWhatCanBeReadAndNamesWhatItSkipped) {
    Dataset dataset = ReadDataset(root);
    std::string csv;
    for (const DatasetRun& run : dataset.runs) {
        std::string table = FormatCsv(Summarize(run));
        csv += csv.empty() ? table : table.substr(table.find('\n') + 1);
    }
    std::string expected = "participant_id,run,block,task,ended,channel,presented,answered,correct,share_correct,"
                           "median_rt_correct,keys_unanswered,quit_question_time,frames_shown,frames_late\n";
    // Numbers by value (sub-02 beside sub-2), then the other IDs.
    for (const char* id : {"sub-1", "sub-02", "sub-2", "sub-3", "sub-10", "sub-1a"}) {
        expected += std::string(id) + BLOCK_SUMMARY;
    }
    EXPECT_EQ(csv, expected);
    ASSERT_EQ(dataset.errors.size(), loop ? 4u : 3u) << ::testing::PrintToString(dataset.errors);
    size_t at = 0;
    if (loop) {
        EXPECT_TRUE(dataset.errors[at].starts_with(JoinPath(root, "sub-7") + ": cannot read: ")) << dataset.errors[at];
        ++at;
    }
    EXPECT_EQ(dataset.errors[at], File("sub-02") + ": line 4: 2 columns, not 14");
    EXPECT_EQ(dataset.errors[at + 1], File("sub-10") + ": line 8: cut off: it has no line end");
    EXPECT_TRUE(dataset.errors[at + 2].starts_with(File("sub-1a") + ": line 8: NUL bytes")) << dataset.errors[at + 2];
}

TEST_F(LabEditedDatasetTest, TheReportCountsEachSubjectOnceInOneOrder) {
    std::string error;
    auto dataset = ReadReportDataset(root, &error);
    ASSERT_TRUE(dataset) << error;
    std::vector<std::string> subjects;
    for (const ReportSubject& subject : dataset->subjects) {
        subjects.push_back(subject.participantId + ":" + subject.orderCondition + ":" +
                           std::to_string(subject.runs.size()));
        for (const ReportRun& run : subject.runs) EXPECT_EQ(run.error, "") << subject.participantId;
    }
    EXPECT_EQ(subjects, (std::vector<std::string>{"sub-1::1", "sub-02::1", "sub-2:2:1", "sub-3::1", "sub-10:1:1",
                                                  "sub-1a:1:1"}));
    std::string page = MakeReport(*dataset, "test");
    EXPECT_NE(page.find(". 6 subjects, 6 runs, 6 blocks."), std::string::npos);
    EXPECT_EQ(dataset->skipped.size(), loop ? 4u : 3u) << ::testing::PrintToString(dataset->skipped);
    EXPECT_NE(page.find("<li class=\"skipped\">" + File("sub-10") + ": line 8: cut off: it has no line end</li>"),
              std::string::npos);
    EXPECT_NE(page.find("data-col=\"median_rt_correct\" data-value=\"0.400000\""), std::string::npos);
}

// A dataset as Windows tools save it back: an events file in each form (a byte order mark, CR alone as
// Excel for Mac ends lines, CR LF with a trailing empty line, every text cell quoted as LibreOffice
// quotes it, no correct column, Excel's "Unicode Text"), participants.tsv quoted and CR-only after its byte order mark, a scans
// table with CR LF and an empty line, and the dataset's name as Python's json.dump writes it. Both
// readers read every block of every run, alike, and skip nothing.
TEST(WindowsSavedDatasetTest, EveryBlockOfEveryFormIsRead) {
    TempDir dir;
    std::string root = JoinPath(dir.path, "Res_Data");
    auto write = [&](const std::string& name, const std::string& text) {
        fs::create_directories(fs::path(PathFromUtf8(JoinPath(root, name))).parent_path());
        std::ofstream(PathFromUtf8(JoinPath(root, name)), std::ios::binary) << text;
    };
    auto events = [](const std::string& id) { return id + "/beh/" + id + "_task-dualtask_events.tsv"; };
    auto replaced = [](std::string text, const std::string& what, const std::string& by) {
        for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += by.size()) text.replace(at, what.size(), by);
        return text;
    };
    const std::string written = EventsFile(TodaysColumns());
    write(events("sub-1"), "\xEF\xBB\xBF" + written);
    write(events("sub-2"), replaced(written, "\n", "\r"));
    write(events("sub-3"), replaced(written, "\n", "\r\n") + "\r\n\t\t\r\n");
    std::string quoted;
    for (std::string_view line : SplitLines(written)) {
        std::string cells;
        for (std::string_view cell : SplitTabs(line)) {
            bool number = cell.find_first_not_of("0123456789.") == std::string_view::npos;
            cells += (cells.empty() ? "" : "\t") + (number ? std::string(cell) : "\"" + std::string(cell) + "\"");
        }
        quoted += cells + "\n";
    }
    ASSERT_NE(quoted.find("\"response\"\t1\t\"tone\"\t\"500Hz\"\t\"s\""), std::string::npos);
    write(events("sub-4"), quoted);
    std::vector<std::string> withoutCorrect = TodaysColumns();
    withoutCorrect.erase(withoutCorrect.begin() + CORRECT_COLUMN);
    write(events("sub-5"), EventsFile(withoutCorrect));
    // Excel's "Unicode Text": UTF-16 LE after its byte order mark, CR LF.
    std::string utf16 = "\xFF\xFE";
    for (char c : replaced(written, "\n", "\r\n")) utf16 += std::string{c, '\0'};
    write(events("sub-6"), utf16);
    write("participants.tsv", "\xEF\xBB\xBF\"participant_id\"\t\"order_condition\"\r\"sub-1\"\t1\r\"sub-2\"\t2\r"
                              "\"sub-3\"\t1\r\"sub-4\"\t2\r\"sub-5\"\t1\r\"sub-6\"\t2\r\r");
    write("sub-3/sub-3_scans.tsv", "filename\tacq_time\tutc_offset\r\nbeh/sub-3_task-dualtask_events.tsv\t"
                                   "2026-01-05T09:00:00\t+00:00\r\n\r\n");
    write("dataset_description.json", "{\"Name\": \"\\u00c9tude \\ud83d\\ude00\", \"BIDSVersion\": \"1.9.0\"}");

    Dataset dataset = ReadDataset(root);
    EXPECT_EQ(dataset.errors, std::vector<std::string>{});
    ASSERT_EQ(dataset.runs.size(), 6u);
    for (const DatasetRun& run : dataset.runs) {
        std::string csv = FormatCsv(Summarize(run));
        EXPECT_EQ(csv.substr(csv.find('\n') + 1), run.participantId + BLOCK_SUMMARY);
    }
    std::string error;
    auto report = ReadReportDataset(root, &error);
    ASSERT_TRUE(report) << error;
    EXPECT_EQ(report->name, "\xC3\x89tude \xF0\x9F\x98\x80");
    EXPECT_EQ(report->skipped, std::vector<std::string>{});
    std::vector<std::string> subjects;
    for (const ReportSubject& subject : report->subjects) {
        subjects.push_back(subject.participantId + ":" + subject.orderCondition + ":" +
                           std::to_string(subject.runs.size()) + ":" +
                           (subject.runs.empty() ? "" : subject.runs[0].acqTime));
    }
    for (size_t i = 0; i < std::min(report->subjects.size(), dataset.runs.size()); ++i) {
        ASSERT_EQ(report->subjects[i].runs.size(), 1u);
        EXPECT_EQ(report->subjects[i].runs[0].data.rows, dataset.runs[i].rows) << report->subjects[i].participantId;
        // Every form holds the rows as written; the file without correct has n/a there, and no other.
        std::vector<EventRow> asWritten = dataset.runs[0].rows;
        if (i == 4) {
            for (EventRow& row : asWritten) row.correct.reset();
        }
        EXPECT_EQ(dataset.runs[i].rows, asWritten) << dataset.runs[i].participantId;
    }
    EXPECT_EQ(subjects, (std::vector<std::string>{"sub-1:1:1:", "sub-2:2:1:", "sub-3:1:1:2026-01-05T09:00:00",
                                                  "sub-4:2:1:", "sub-5:1:1:", "sub-6:2:1:"}));
}

// A spreadsheet re-saves the numbers as it shows them (1 for 1.000000, 0.3 for 0.300000, 0.24 for 0.240)
// and ends its lines with CR LF: the rows read as the program wrote them; the strict reader of the
// program's own files still asks for its forms.
TEST(SpreadsheetResaveTest, NumbersInTheSpreadsheetsFormReadAsWritten) {
    std::string written = EventsFile(TodaysColumns());
    std::string resaved;
    for (std::string_view line : SplitLines(written)) {
        std::string cells(line);
        std::string shown;
        for (size_t start = 0; start <= cells.size();) {
            size_t tab = std::min(cells.find('\t', start), cells.size());
            std::string cell = cells.substr(start, tab - start);
            if (cell.find('.') != std::string::npos && cell.find_first_not_of("0123456789.") == std::string::npos) {
                cell.erase(cell.find_last_not_of('0') + 1);
                if (cell.ends_with('.')) cell.pop_back();
            }
            shown += (start ? "\t" : "") + cell;
            start = tab + 1;
        }
        resaved += shown + "\r\n";
    }
    ASSERT_NE(resaved.find("\n1.3\tn/a\tresponse\t1\ttone\t500Hz\ts\ttone\t1\t0.3\t0.281\t0.338"), std::string::npos);
    auto before = ReadEventsKeeping(written);
    auto after = ReadEventsKeeping(resaved);
    ASSERT_TRUE(std::holds_alternative<EventsRead>(before));
    ASSERT_TRUE(std::holds_alternative<EventsRead>(after));
    EXPECT_EQ(std::get<EventsRead>(after).skipped, std::vector<std::string>{});
    EXPECT_EQ(std::get<EventsRead>(after).rows, std::get<EventsRead>(before).rows);
    EXPECT_TRUE(std::holds_alternative<std::string>(ReadEvents(resaved)));
}

// A long run: its first blocks each with a figure and table rows, then one figure of every block, and
// the page says so; flags of the later blocks lead to that figure.
TEST(LongRunPageTest, DrawsTheFirstBlocksAndOneFigureOfAll) {
    std::string text = EventsFile(TodaysColumns());
    std::string file = text.substr(0, text.find('\n') + 1);
    for (int block = 1; block <= 30; ++block) {
        for (auto row : TONE_BLOCK) {
            row[BLOCK] = std::to_string(block);
            // The later blocks' every answer wrong: below chance.
            if (block > 20 && row[CORRECT_COLUMN] == "1") row[CORRECT_COLUMN] = "0";
            std::string line;
            for (const std::string& cell : row) line += (line.empty() ? "" : "\t") + cell;
            file += line + "\n";
        }
    }
    auto read = ReadEvents(file);
    ASSERT_TRUE(std::holds_alternative<std::vector<EventRow>>(read)) << std::get<std::string>(read);
    ReportDataset dataset;
    ReportRun run;
    run.filename = "beh/sub-1_task-dualtask_events.tsv";
    run.data = {"sub-1", 1, "", std::get<std::vector<EventRow>>(read), {}};
    dataset.subjects.push_back({"sub-1", "1", {run}});
    std::string page = MakeReport(dataset, "test");
    auto count = [&](const std::string& what) {
        size_t n = 0;
        for (size_t at = page.find(what); at != std::string::npos; at = page.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("<div class=\"figure\" id=\"block-sub-1-run-1-"), MAX_BLOCK_FIGURES);
    EXPECT_EQ(count("<div class=\"figure\" id=\"blocks-sub-1-run-1\">"), 1u);
    EXPECT_EQ(count("<tr id=\"row-sub-1-run-1-block-"), MAX_BLOCK_FIGURES);
    EXPECT_NE(page.find("This run has 30 blocks: the first 12 have a figure each"), std::string::npos);
    EXPECT_NE(page.find("18 more blocks, 13 to 30: block by block in <a href=\"#blocks-sub-1-run-1\">"),
              std::string::npos);
    EXPECT_EQ(count("data-flag=\"below-chance\""), 10u);
    EXPECT_EQ(count("<a href=\"#blocks-sub-1-run-1\">sub-1 run 1 block"), 10u);
}

// A cell the lab typed goes into the page's figures escaped: no text can end the page's script element
// or open a tag of its own, and the figures read it back whole.
TEST(LongRunPageTest, TheLabsCellsCannotEndThePagesScript) {
    const std::string cell = "</script><b>&";
    std::string text = EventsFile(TodaysColumns());
    text.replace(text.find("\ts\t"), 3, "\t" + cell + "\t");
    auto read = ReadEventsKeeping(text);
    ASSERT_TRUE(std::holds_alternative<EventsRead>(read));
    ASSERT_EQ(std::get<EventsRead>(read).rows[2].key, cell);
    ReportDataset dataset;
    ReportRun run;
    run.data = {"sub-1", 1, "", std::get<EventsRead>(read).rows, {}};
    dataset.subjects.push_back({"sub-1", "1", {run}});
    std::string page = MakeReport(dataset, "test");
    auto count = [](const std::string& in, const std::string& what) {
        size_t n = 0;
        for (size_t at = in.find(what); at != std::string::npos; at = in.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count(page, "</script"), count(MakeReport(ReportDataset{}, "test"), "</script"));
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_NE(page.find("\"key\":\"\\u003c/script\\u003e\\u003cb\\u003e\\u0026\""), std::string::npos);
}

// The order is a strict total one over IDs a lab may give, so a sort is defined and equal IDs meet.
TEST(SubjectOrderTest, IsStrictAndTotal) {
    std::vector<std::string> ids{"sub-2",  "sub-10", "sub-1a", "sub-02", "sub-1", "sub-", "sub-0",
                                 "sub-00", "sub-99999999999999999999", "sub-A", "sub-a", "sub-100000000000000000000"};
    for (const auto& a : ids) {
        EXPECT_FALSE(SubjectBefore(a, a)) << a;
        for (const auto& b : ids) {
            if (a != b) {
                EXPECT_NE(SubjectBefore(a, b), SubjectBefore(b, a)) << a << " " << b;
            }
            for (const auto& c : ids) {
                if (SubjectBefore(a, b) && SubjectBefore(b, c)) {
                    EXPECT_TRUE(SubjectBefore(a, c)) << a << " " << b << " " << c;
                }
            }
        }
    }
    std::sort(ids.begin(), ids.end(), SubjectBefore);
    EXPECT_EQ(ids, (std::vector<std::string>{"sub-0", "sub-00", "sub-1", "sub-02", "sub-2", "sub-10",
                                             "sub-99999999999999999999", "sub-100000000000000000000", "sub-",
                                             "sub-1a", "sub-A", "sub-a"}));
}

// Every case the readers' fuzzers keep holds the invariants.
TEST(ReadersFuzzCorpusTest, EveryKeptCaseHoldsTheInvariants) {
    using Case = std::string (*)(const uint8_t*, size_t);
    for (auto [folder, run] : {std::pair<const char*, Case>{"events", fuzz::RunEventsCase},
                               {"dataset", fuzz::RunDatasetCase},
                               {"report", fuzz::RunReportCase}}) {
        size_t cases = 0;
        for (const auto& entry : fs::directory_iterator(fs::path(PELORIN_FUZZ_CORPUS) / folder)) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(in)), {});
            EXPECT_EQ(run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), "")
                << folder << "/" << entry.path().filename();
            ++cases;
        }
        EXPECT_GT(cases, 0u) << folder;
    }
}

}  // namespace
}  // namespace pelorin::test
