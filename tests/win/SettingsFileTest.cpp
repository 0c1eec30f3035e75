// SettingsFile on the real file system: paths beside the executable, whole
// reads, atomic rewrites and the load-or-create rules.
#include <gtest/gtest.h>
#include <windows.h>

#include "settings/SettingsFile.h"
#include "tests/win/WinTestSupport.h"

namespace {

TEST(SettingsFilePath, IsBesideTheExecutableOrLeftAloneWhenTooLong)
{
    SettingsFile file;
    wchar_t path[kSettingsPathCapacity] = L"unchanged";
    file.buildPath(std::wstring(kSettingsPathCapacity, L'x').c_str(), path);
    EXPECT_EQ(std::wstring(L"unchanged"), path);
    file.buildPath(L"Resolution.ini", path);
    EXPECT_EQ(wintest::folderOf(ownExecutablePath()) + L"\\Resolution.ini", std::wstring(path));
}

TEST(SettingsFileRead, ClassifiesMissingEmptyReadAndUnreadable)
{
    TempFolder folder;
    SettingsFile file;
    SettingsBuffer text;

    EXPECT_EQ(SettingsReadResult::MissingOrEmpty, file.readText(folder.file(L"none.ini").c_str(), text));
    EXPECT_EQ(SettingsReadResult::MissingOrEmpty,
              file.readText(folder.file(L"nofolder\\x.ini").c_str(), text));

    ASSERT_TRUE(writeFileBytes(folder.file(L"empty.ini"), ""));
    EXPECT_EQ(SettingsReadResult::MissingOrEmpty, file.readText(folder.file(L"empty.ini").c_str(), text));

    ASSERT_TRUE(CreateDirectoryW(folder.file(L"dir.ini").c_str(), nullptr));
    EXPECT_EQ(SettingsReadResult::Unreadable, file.readText(folder.file(L"dir.ini").c_str(), text));

    ASSERT_TRUE(writeFileBytes(folder.file(L"locked.ini"), "[h]\r\nKbInd=0;"));
    HANDLE const lock = CreateFileW(folder.file(L"locked.ini").c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    EXPECT_EQ(SettingsReadResult::Unreadable, file.readText(folder.file(L"locked.ini").c_str(), text));
    CloseHandle(lock);

    EXPECT_EQ(SettingsReadResult::Unreadable, file.readText(nullptr, text));
    EXPECT_EQ(0u, text.length()) << "nothing was taken from the failed reads";

    ASSERT_TRUE(writeFileBytes(folder.file(L"ok.ini"), "[h]\r\nKbInd=0;\r\n\xE9"));
    ASSERT_EQ(SettingsReadResult::Read, file.readText(folder.file(L"ok.ini").c_str(), text));
    EXPECT_EQ(std::wstring(L"[h]\nKbInd=0;\n\u00e9"), text.text());
}

TEST(SettingsFileRead, KeepsTheWholeTextOfALongFile)
{
    TempFolder folder;
    std::string bytes = "[KOVIX Tool resolution settings]\r\n";
    for (int i = 0; i < 300; ++i)
        bytes += ";comment line " + std::to_string(i) + "\r\n";
    bytes += "KbIndPos=2;";
    ASSERT_GT(bytes.size(), 4000u);
    ASSERT_TRUE(writeFileBytes(folder.file(L"long.ini"), bytes));

    SettingsFile file;
    SettingsBuffer text;
    ASSERT_EQ(SettingsReadResult::Read, file.readText(folder.file(L"long.ini").c_str(), text));
    wchar_t value[kSettingsValueCapacity];
    ASSERT_TRUE(file.findValue(text.text(), L"KbIndPos", value, kSettingsValueCapacity));
    EXPECT_EQ(std::wstring(L"2"), value);
}

TEST(SettingsFileWrite, WritesCrLfWithoutBomOrFinalLineEnd)
{
    TempFolder folder;
    SettingsFile file;
    std::wstring const path = folder.file(L"w.ini");
    ASSERT_TRUE(file.writeText(path.c_str(), L"[h]\nA=1;\n\nB=2;"));
    EXPECT_EQ(std::string("[h]\r\nA=1;\r\n\r\nB=2;"), readFileBytes(path));

    ASSERT_TRUE(file.writeText(path.c_str(), L"[h]\nC=3;"));
    EXPECT_EQ(std::string("[h]\r\nC=3;"), readFileBytes(path)) << "replaced whole, not appended";
    EXPECT_FALSE(fileExists(folder.file(L"w.in~"))) << "no temporary file is left behind";

    std::wstring const odd = folder.file(L"odd.in~"); // ends in the temporary mark
    ASSERT_TRUE(file.writeText(odd.c_str(), L"x"));
    EXPECT_EQ(std::string("x"), readFileBytes(odd));
}

TEST(SettingsFileWrite, AReadOnlyFileStaysWholeAndTheFailureIsReported)
{
    TempFolder folder;
    SettingsFile file;
    std::wstring const path = folder.file(L"ro.ini");
    ASSERT_TRUE(writeFileBytes(path, "[h]\r\nold=1;"));
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_FALSE(file.writeText(path.c_str(), L"[h]\nnew=1;"));
    EXPECT_EQ(std::string("[h]\r\nold=1;"), readFileBytes(path));
    EXPECT_FALSE(fileExists(folder.file(L"ro.in~")));
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(SettingsFileWrite, AFolderInTheFilesPlaceFailsWithoutWaiting)
{
    TempFolder folder;
    SettingsFile file;
    std::wstring const path = folder.file(L"dir.ini");
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    DWORD const start = GetTickCount();
    EXPECT_FALSE(file.writeText(path.c_str(), L"[h]\nnew=1;"));
    // The wait for a busy file takes a second; this refusal is for good.
    EXPECT_LT(GetTickCount() - start, 500u);
    EXPECT_FALSE(fileExists(folder.file(L"dir.in~")));
}

} // namespace

namespace {

// A reader that holds the file for a moment must not cost the save.
DWORD WINAPI releaseLater(LPVOID handle)
{
    Sleep(300);
    CloseHandle(static_cast<HANDLE>(handle));
    return 0;
}

TEST(SettingsFileWrite, WaitsForAReaderThatHoldsTheFileBriefly)
{
    TempFolder folder;
    SettingsFile file;
    std::wstring const path = folder.file(L"held.ini");
    ASSERT_TRUE(writeFileBytes(path, "[h]\r\nold=1;"));
    HANDLE const reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    HANDLE const thread = CreateThread(nullptr, 0, releaseLater, reader, 0, nullptr);
    EXPECT_TRUE(file.writeText(path.c_str(), L"[h]\nnew=1;"));
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(std::string("[h]\r\nnew=1;"), readFileBytes(path));
}

} // namespace
