#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <regex>
#include <thread>

#include "system/append_file.h"
#include "system/files.h"
#include "system/warning.h"
#include "system/win32/win32_handle.h"
#include "test_support.h"

namespace pelorin::test {
namespace {

// A lab folder such as C:\Users\Zoë\Experiment: every path is wide inside, UTF-8 outside.
TEST(WindowsFilesTest, AFolderWithANonAsciiNameHoldsTheListAndResData) {
    TempDir dir;
    std::string lab = JoinPath(dir.path, "Zo\xC3\xAB");
    ASSERT_EQ(MakeFolder(lab), std::nullopt);
    std::string list = JoinPath(lab, "CurrentSubjects.txt");
    auto accept = [](const std::string&) { return true; };
    EXPECT_EQ(AppendIfAccepted(list, accept, " 1 ab 1 \r\n").status, AppendResult::Status::Written);
    EXPECT_EQ(ReadWholeFile(list), " 1 ab 1 \r\n");
    EXPECT_EQ(MakeFolder(JoinPath(lab, "Res_Data")), std::nullopt);
    EXPECT_TRUE(std::filesystem::is_directory(PathFromUtf8(JoinPath(lab, "Res_Data"))));

    // The current folder comes back in the spelling it was entered with.
    std::wstring before(MAX_PATH, L'\0');
    before.resize(GetCurrentDirectoryW(MAX_PATH, before.data()));
    ASSERT_TRUE(SetCurrentDirectoryW(WideFromUtf8(lab).c_str()));
    std::string current = CurrentFolder();
    SetCurrentDirectoryW(before.c_str());
    EXPECT_TRUE(current.ends_with("\\Zo\xC3\xAB")) << current;
}

// Windows' locks are mandatory: a lock over the records would make another program's reading of the
// list fail while one registers. The registration lock keeps the list readable, as flock does.
TEST(WindowsFilesTest, TheListStaysReadableWhileARegistrationHoldsIt) {
    TempDir dir;
    std::string list = JoinPath(dir.path, "CurrentSubjects.txt");
    auto accept = [](const std::string&) { return true; };
    ASSERT_EQ(AppendIfAccepted(list, accept, " 1 ab 1 \r\n").status, AppendResult::Status::Written);
    std::optional<std::string> readMeanwhile;
    auto readWhileHeld = [&](const std::string&) {
        std::thread reader([&] { readMeanwhile = ReadWholeFile(list); });
        reader.join();
        return true;
    };
    EXPECT_EQ(AppendIfAccepted(list, readWhileHeld, " 2 cd 2 \r\n").status, AppendResult::Status::Written);
    EXPECT_EQ(readMeanwhile, " 1 ab 1 \r\n");
}

// Two processes, as two lab PCs on one shared folder: the second's registration waits in LockFileEx
// until the first has written and flushed, then appends after it.
TEST(WindowsFilesTest, ReadingRefusesFoldersAndDevicesAndSaysWhy) {
    TempDir dir;
    std::string reason;
    EXPECT_EQ(ReadWholeFile(dir.path, &reason), std::nullopt);
    EXPECT_EQ(reason, "is a folder");
    // NUL never ends and holds nothing.
    EXPECT_EQ(ReadWholeFile("NUL", &reason), std::nullopt);
    EXPECT_EQ(reason, "not a regular file");
    EXPECT_EQ(ReadWholeFile(JoinPath(dir.path, "missing.txt"), &reason), std::nullopt);
    EXPECT_EQ(reason, SystemMessage(ERROR_FILE_NOT_FOUND));
}

// The results file: made new only, never over one that exists, appended whole, readable meanwhile.
TEST(WindowsAppendFileTest, MakesANewFileOnlyAndAppendsWholePieces) {
    TempDir dir;
    std::string path = JoinPath(JoinPath(dir.path, "Zo\xC3\xAB"), "sub-1_events.tsv");
    ASSERT_EQ(MakeFolder(JoinPath(dir.path, "Zo\xC3\xAB")), std::nullopt);
    AppendFile::Created created = AppendFile::CreateNew(path);
    ASSERT_TRUE(created.file) << created.error;
    EXPECT_EQ(created.file->Append("onset\tduration\n"), std::nullopt);
    EXPECT_EQ(created.file->Append("0.000001\t0.3\n"), std::nullopt);
    EXPECT_EQ(ReadWholeFile(path), "onset\tduration\n0.000001\t0.3\n");
    EXPECT_EQ(created.file->Sync(), std::nullopt);

    AppendFile::Created again = AppendFile::CreateNew(path);
    EXPECT_FALSE(again.file);
    EXPECT_TRUE(again.exists);
    EXPECT_EQ(ReadWholeFile(path), "onset\tduration\n0.000001\t0.3\n");
}

// A spreadsheet holds the file it has open with read sharing only: an append then fails, said as the
// file being in use, and leaves the file as it was, which stays readable. (Read-only files: the Linux
// tests, as an ordinary user; Wine, run as root, writes them.)
TEST(WindowsFilesTest, AFileHeldOpenIsSaidToBeInUseAndLeftAsItWas) {
    TempDir dir;
    std::string table = JoinPath(dir.path, "participants.tsv");
    std::ofstream(PathFromUtf8(table), std::ios::binary) << "participant_id\torder_condition\r\n";
    auto accept = [](const std::string&) { return true; };
    {
        Win32Handle spreadsheet(CreateFileW(WideFromUtf8(table).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(spreadsheet);
        AppendResult held = AppendIfAccepted(table, accept, "sub-2\t1\r\n");
        EXPECT_EQ(held.status, AppendResult::Status::Failed);
        EXPECT_EQ(held.cause, AppendResult::Cause::InUse) << held.error;
        EXPECT_EQ(ReadWholeFile(table), "participant_id\torder_condition\r\n");
    }
    // Let go, the file takes the row.
    EXPECT_EQ(AppendIfAccepted(table, accept, "sub-2\t1\r\n").status, AppendResult::Status::Written);
    EXPECT_EQ(ReadWholeFile(table), "participant_id\torder_condition\r\nsub-2\t1\r\n");
}

// Names as Windows resolves them: letter case ignored, an 8.3 name, a symbolic link: the same folder by
// its identity, and its path in the spelling the system keeps.
TEST(WindowsFilesTest, OneFolderWhateverNameReachesIt) {
    TempDir dir;
    std::string folder = JoinPath(dir.path, "Res_Data");
    ASSERT_EQ(MakeFolder(folder), std::nullopt);
    std::optional<FileIdentity> identity = IdentityOf(folder);
    ASSERT_TRUE(identity);
    EXPECT_TRUE(identity->folder);
    EXPECT_EQ(IdentityOf(JoinPath(dir.path, "res_data")), identity);
    EXPECT_EQ(IdentityOf(JoinPath(dir.path, "RES_DATA")), identity);
    std::optional<std::string> resolved = ResolvedPath(JoinPath(dir.path, "res_data"));
    ASSERT_TRUE(resolved);
    EXPECT_TRUE(resolved->ends_with("\\Res_Data")) << *resolved;
    EXPECT_FALSE(resolved->starts_with("\\\\?\\")) << *resolved;
    EXPECT_TRUE(SameName("Res_Data", "RES_data"));
    EXPECT_TRUE(SameName("Zo\xC3\xAB", "ZO\xC3\x8B"));
    EXPECT_FALSE(SameName("Res_Data", "Res_Data2"));

    std::wstring shortName(MAX_PATH, L'\0');
    DWORD length = GetShortPathNameW(WideFromUtf8(folder).c_str(), shortName.data(), MAX_PATH);
    ASSERT_GT(length, 0u);
    shortName.resize(length);
    EXPECT_EQ(IdentityOf(Utf8FromWide(shortName)), identity) << Utf8FromWide(shortName);

    // A symbolic link, where the system makes one: Windows with the right to, not Wine, whose links are
    // the Linux side's (which it follows as the folders they lead to: tests/wine/lab_hands.sh).
    EXPECT_FALSE(IsLink(folder));
    std::string link = JoinPath(dir.path, "Linked");
    if (CreateSymbolicLinkW(WideFromUtf8(link).c_str(), WideFromUtf8(folder).c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) &&
        GetFileAttributesW(WideFromUtf8(link).c_str()) != INVALID_FILE_ATTRIBUTES) {
        EXPECT_TRUE(IsLink(link));
        EXPECT_EQ(IdentityOf(link), identity);
        EXPECT_EQ(LinkTarget(link), folder);
    }
}

// A program started by a double-click has no console: the warning must be in pelorin.log beside the
// subject list, one dated line each, after what earlier runs left there.
TEST(WindowsWarningTest, WarningsGoToPelorinLogInTheCurrentFolder) {
    TempDir dir;
    std::ofstream(PathFromUtf8(JoinPath(dir.path, "pelorin.log")), std::ios::binary) << "earlier\r\n";
    std::wstring before(MAX_PATH, L'\0');
    before.resize(GetCurrentDirectoryW(MAX_PATH, before.data()));
    ASSERT_TRUE(SetCurrentDirectoryW(WideFromUtf8(dir.path).c_str()));
    Warn("no audio device (none); running silent");
    SetCurrentDirectoryW(before.c_str());
    auto log = ReadWholeFile(JoinPath(dir.path, "pelorin.log"));
    ASSERT_TRUE(log);
    EXPECT_TRUE(std::regex_match(*log, std::regex("earlier\r\n\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d "
                                                  "no audio device \\(none\\); running silent\r\n")))
        << *log;
}

}  // namespace
}  // namespace pelorin::test
