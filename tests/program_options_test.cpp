#include <gtest/gtest.h>

#include <fstream>

#include "options/program_options.h"
#include "system/files.h"
#include "test_support.h"

namespace pelorin::test {
namespace {

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(PathFromUtf8(path), std::ios::binary) << bytes;
}

// The notes as a language says them.
std::vector<std::string> Said(const std::vector<SettingsNote>& notes, const Texts& texts = {}) {
    std::vector<std::string> said;
    for (const SettingsNote& note : notes) said.push_back(SettingsNoteText(note, texts));
    return said;
}

// pelorin.ini as Notepad saves it: UTF-8 with or without a byte order mark, "Unicode" (UTF-16 LE) and
// "Unicode big endian", each with a byte order mark; an editor's UTF-16 without one. Each says display
// 1, whatever the line ends; a second display= never overrides the first and is said, as is every
// line that cannot be used.
TEST(SettingsFileTest, EveryEncodingNotepadSavesIsReadAndWhatCannotBeIsSaid) {
    auto utf16 = [](const std::string& ascii, bool bigEndian, bool mark) {
        std::string bytes = mark ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
        for (char c : ascii) bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
        return bytes;
    };
    const std::string text = "; the subjects' monitor\r\ndisplay = 1\r\nDisplay=0\r\n";
    for (const std::string& bytes : {text, "\xEF\xBB\xBF" + text, utf16(text, false, true), utf16(text, true, true),
                                     utf16(text, false, false), std::string("display=1\rdisplay=0\r")}) {
        TempDir dir;
        WriteBytes(dir.path + "/pelorin.ini", bytes);
        ProgramOptions options;
        SettingsNotes notes = ApplySettingsFile(dir.path, options);
        EXPECT_EQ(options.mode, ProgramOptions::Mode::Experiment);
        EXPECT_EQ(options.display, 1);
        ASSERT_EQ(notes.skipped.size(), 1u);
        EXPECT_TRUE(Said(notes.skipped)[0].ends_with(": display is given on line " +
                                               std::string(bytes.find('\n') != std::string::npos ? "2" : "1") +
                                               " already, and the first holds; skipped"))
            << Said(notes.skipped)[0];
    }
    // The command line wins over the file.
    TempDir dir;
    WriteBytes(dir.path + "/pelorin.ini", "display=1\n");
    ProgramOptions given;
    given.display = 0;
    given.displayGivenBy = "--display 0";
    ApplySettingsFile(dir.path, given);
    EXPECT_EQ(given.display, 0);
    // and the file's other settings hold beside it, a display it cannot read skipped, not fatal.
    WriteBytes(dir.path + "/pelorin.ini", "display=left\nlanguage=de\n");
    SettingsNotes beside = ApplySettingsFile(dir.path, given);
    EXPECT_EQ(given.mode, ProgramOptions::Mode::Experiment);
    EXPECT_FALSE(beside.refusal);
    EXPECT_EQ(given.display, 0);
    EXPECT_EQ(given.language, "de");
    EXPECT_EQ(Said(beside.skipped), std::vector<std::string>{"pelorin.ini line 1: display takes a display's number (0 is the "
                                                       "first), not \"left\"; skipped, --display 0 holds"});

    // What cannot be read is said, with the file and line, and the run goes on without it.
    WriteBytes(dir.path + "/pelorin.ini", std::string("display=1\0\x01\x02\0\0\0", 15));
    ProgramOptions options;
    SettingsNotes notes = ApplySettingsFile(dir.path, options);
    EXPECT_EQ(Said(notes.skipped), std::vector<std::string>{"pelorin.ini: not text Pelorin can read (it holds NUL bytes): "
                                                      "save it as UTF-8 or Unicode; its settings were not used"});
    EXPECT_FALSE(options.display);
    WriteBytes(dir.path + "/pelorin.ini", "monitor=1\nshow it\n");
    notes = ApplySettingsFile(dir.path, options);
    EXPECT_EQ(Said(notes.skipped), (std::vector<std::string>{"pelorin.ini line 1: unknown setting \"monitor\"; skipped",
                                                       "pelorin.ini line 2: \"show it\" is no NAME=VALUE setting; skipped"}));
}

// The file may choose the language its own notes are said in, on a line after the one it refuses: the
// notes wait for it, and are said in its words with the file's values as written.
TEST(SettingsFileTest, NotesAreSaidInTheLanguageTheFileChoosesAfterThem) {
    TempDir dir;
    WriteBytes(dir.path + "/pelorin.ini", "monitor=1\ndisplay=left\nfarbe=rot\nlanguage=de\n");
    ProgramOptions options;
    SettingsNotes notes = ApplySettingsFile(dir.path, options);
    EXPECT_EQ(options.mode, ProgramOptions::Mode::Exit);
    EXPECT_EQ(options.exitCode, USAGE_ERROR);
    EXPECT_EQ(options.language, "de");
    ASSERT_TRUE(notes.refusal);
    EXPECT_EQ(SettingsNoteText(*notes.refusal, {}),
              "pelorin.ini line 2: display takes a display's number (0 is the first), not \"left\"");
    // Lines after a refusal are not gone through, but for the language.
    EXPECT_EQ(Said(notes.skipped), std::vector<std::string>{"pelorin.ini line 1: unknown setting \"monitor\"; skipped"});
    Texts german;
    german.Take({{"settings.where", "{file} Zeile {line}"},
                 {"settings.display-refused", "{where}: display braucht eine Nummer, nicht „{value}“"}});
    EXPECT_EQ(SettingsNoteText(*notes.refusal, german), "pelorin.ini Zeile 2: display braucht eine Nummer, nicht „left“");
}

}  // namespace
}  // namespace pelorin::test
