#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "platform/files.h"
#include "platform/win32_handle.h"
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

}  // namespace
}  // namespace pelorin::test
