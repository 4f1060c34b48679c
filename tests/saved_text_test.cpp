#include <gtest/gtest.h>

#include <fstream>

#include "records/dataset.h"
#include "system/files.h"
#include "system/saved_text.h"
#include "test_support.h"

namespace pelorin::test {
namespace {

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(PathFromUtf8(path), std::ios::binary) << bytes;
}

// participants.tsv as the lab's tools save it: each form takes the subject's row under the header's
// names, in the file's own line ends, and a subject with a row keeps it. What was there stays byte for
// byte before the row; a form a row would corrupt gets none.
TEST(SavedTablesTest, ParticipantsTakeTheRowAsEachToolSavedThem) {
    for (auto [saved, added] : std::initializer_list<std::pair<std::string, std::string>>{
             // An editor's trailing empty line: it stays, and the row comes after it.
             {"participant_id\torder_condition\nsub-1\t2\n\n", "sub-12\t1\n"},
             // Excel for Mac: CR alone, and no end to the last line. The row ends in CR LF, which the
             // legacy BIDS validator asks of a table and every reader takes.
             {"participant_id\tage\torder_condition\rsub-1\t23\t2", "\r\nsub-12\tn/a\t1\r\n"},
             // Excel's "CSV UTF-8" as tab-separated text: a byte order mark, CR LF, and the cell it quotes.
             {"\xEF\xBB\xBF" "participant_id\tnote\torder_condition\r\nsub-1\t\"said \"\"stop\"\"\ttwice\"\t2\r\n\r\n",
              "sub-12\tn/a\t1\r\n"},
             // LibreOffice with every text cell quoted, the header too.
             {"\"participant_id\"\t\"order_condition\"\t\"handedness\"\n\"sub-1\"\t2\t\"R\"\n", "sub-12\t1\tn/a\n"},
         }) {
        TempDir dir;
        WriteBytes(dir.path + "/participants.tsv", saved);
        EXPECT_FALSE(AddParticipant(dir.path, 12, 1)) << saved;
        EXPECT_EQ(ReadWholeFile(dir.path + "/participants.tsv"), saved + added);
        // The subject's row is found however it was saved: a second run adds none.
        EXPECT_FALSE(AddParticipant(dir.path, 12, 2));
        EXPECT_EQ(ReadWholeFile(dir.path + "/participants.tsv"), saved + added);
        // A quoted ID is the same subject's.
        if (saved.find("\"sub-1\"") != std::string::npos) {
            EXPECT_FALSE(AddParticipant(dir.path, 1, 2));
            EXPECT_EQ(ReadWholeFile(dir.path + "/participants.tsv"), saved + added);
        }
    }
    // Excel's "Unicode Text" is UTF-16: a row in UTF-8 would corrupt it, so none is added, and the
    // reason says how to save it; the table stays as it was.
    TempDir dir;
    std::string saved("\xFF\xFEp\0a\0r\0t\0", 10);
    WriteBytes(dir.path + "/participants.tsv", saved);
    std::optional<RowKept> kept = AddParticipant(dir.path, 12, 1);
    ASSERT_TRUE(kept);
    EXPECT_TRUE(kept->mend);
    EXPECT_TRUE(kept->reason.starts_with("it is saved as UTF-16 (Excel's \"Unicode Text\")")) << kept->reason;
    EXPECT_EQ(ReadWholeFile(dir.path + "/participants.tsv"), saved);
    // A scans table saved so keeps its bytes too; the run's row waits beside it.
    WriteBytes(dir.path + "/sub-1_scans.tsv", saved);
    kept = AddScan(dir.path, 1, "beh/sub-1_task-dualtask_events.tsv", "2026-01-05T09:00:00", "+00:00");
    ASSERT_TRUE(kept);
    EXPECT_TRUE(kept->mend);
    EXPECT_EQ(kept->waiting, std::vector<std::string>{"beh/sub-1_task-dualtask_events.tsv"});
    EXPECT_EQ(ReadWholeFile(dir.path + "/sub-1_scans.tsv"), saved);
}

// A subject's scans table saved CR LF, LF or CR alone gets the next run's row ended as its own rows are,
// a CR-only one with the LF the legacy BIDS validator asks for beside the CR.
TEST(SavedTablesTest, ScansTakeTheRowInTheFilesOwnLineEnds) {
    for (std::string lineEnd : {"\r", "\n", "\r\n"}) {
        TempDir dir;
        std::string saved = "filename\tacq_time\tutc_offset" + lineEnd +
                            "beh/sub-1_task-dualtask_events.tsv\t2026-01-05T09:00:00\t+00:00" + lineEnd;
        WriteBytes(dir.path + "/sub-1_scans.tsv", saved);
        EXPECT_FALSE(AddScan(dir.path, 1, "beh/sub-1_task-dualtask_run-2_events.tsv", "2026-01-05T10:00:00", "+00:00"));
        EXPECT_EQ(ReadWholeFile(dir.path + "/sub-1_scans.tsv"),
                  saved + "beh/sub-1_task-dualtask_run-2_events.tsv\t2026-01-05T10:00:00\t+00:00" +
                      (lineEnd == "\r" ? "\r\n" : lineEnd));
    }
}

// Cells as spreadsheets quote them; a quote that does not close so is the cell's own text.
TEST(SavedTablesTest, QuotedCellsAreUnquotedAndOthersKeptAsTheyStand) {
    EXPECT_EQ(SplitCells("\"a\tb\"\t\"say \"\"hi\"\"\"\t\t\"\""),
              (std::vector<std::string>{"a\tb", "say \"hi\"", "", ""}));
    EXPECT_EQ(SplitCells("5\" screen\t\"open\tx\"y"), (std::vector<std::string>{"5\" screen", "\"open", "x\"y"}));
    EXPECT_EQ(SplitCells("\"unended\tnext"), (std::vector<std::string>{"\"unended", "next"}));
    TableText table = ReadTableText("\n\xEF\xBB\xBF\"a\"\tb\r\r1\t2\r \t \r3\t\"4\"");
    // The byte order mark stands before the first line only: here it is the lab's text.
    EXPECT_EQ(table.header, (std::vector<std::string>{"\xEF\xBB\xBF\"a\"", "b"}));
    EXPECT_EQ(table.lineEnd, "\r");
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[1].line, 6u);
    EXPECT_EQ(table.rows[1].cells, (std::vector<std::string>{"3", "4"}));
}

}  // namespace
}  // namespace pelorin::test
