// The tray icon record against the real shell (under Wine, its notification
// area docked into the test display's tray host), probed from outside the
// record with wintest::shellHasIcon.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <string.h>

#include <string>

#include "tests/win/WinTestSupport.h"
#include "tray/TrayIcon.h"

using namespace wintest;

namespace {

HICON ownedIcon()
{
    return CopyIcon(LoadIconW(nullptr, IDI_APPLICATION));
}

bool iconDestroyed(HICON icon)
{
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info))
        return true;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return false;
}

HINSTANCE instanceAt(UINT_PTR address)
{
    return reinterpret_cast<HINSTANCE>(address);
}

bool isZeros(NOTIFYICONDATAW const& data)
{
    NOTIFYICONDATAW zeros;
    memset(&zeros, 0, sizeof(zeros));
    return memcmp(&zeros, &data, sizeof(zeros)) == 0;
}

class TrayIconShell : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(nullptr, owner_); }
    void TearDown() override { DestroyWindow(owner_); }

    // A record of the test window, ready to add.
    void init(TrayIcon& record, UINT number, UINT callback = WM_APP + 1)
    {
        record.init(owner_, nullptr, callback, number);
    }

    HWND const owner_ = createTestWindow(L"tray owner");
};

} // namespace

TEST(TrayIconRecord, StartsAsZerosAndInitBindsItToItsOwner)
{
    TrayIcon record;
    EXPECT_TRUE(isZeros(record.iconData));
    EXPECT_FALSE(record.added);
    EXPECT_EQ(0u, record.id);

    HWND const owner = GetDesktopWindow();
    record.bgColor = 255;
    record.fgColor = 65280;
    record.lockOn = true;
    record.init(owner, instanceAt(0x400000), WM_APP + 1, 1);
    EXPECT_EQ(owner, record.owner);
    EXPECT_EQ(instanceAt(0x400000), record.instance);
    EXPECT_EQ(1u, record.id);
    EXPECT_FALSE(record.lockOn);
    EXPECT_FALSE(record.added);
    EXPECT_NE(nullptr, record.glyphFont);
    EXPECT_EQ(DWORD(sizeof(NOTIFYICONDATAW)), record.iconData.cbSize);
    EXPECT_EQ(owner, record.iconData.hWnd);
    EXPECT_EQ(record.id, record.iconData.uID);
    EXPECT_EQ(UINT(WM_APP + 1), record.iconData.uCallbackMessage);
    EXPECT_EQ(COLORREF(255), record.bgColor) << "the caller sets the colours";
    EXPECT_EQ(COLORREF(65280), record.fgColor);
#ifndef _WIN64
    EXPECT_EQ(952u, record.iconData.cbSize);
#endif
}

// The module's address changes from boot to boot under ASLR; the shell
// keeps the user's choices for an icon partly by its identifier.
TEST(TrayIconRecord, IdentifiersAreTheNumbersWhereverTheModuleIsLoaded)
{
    for (UINT_PTR const address : {UINT_PTR(0), UINT_PTR(0x400000), UINT_PTR(0x10000000),
                                   UINT_PTR(0x7FFF0000), UINT_PTR(-1), UINT_PTR(0x140000000ull)}) {
        TrayIcon records[4];
        for (UINT number = 1; number <= 4; ++number) {
            records[number - 1].init(nullptr, instanceAt(address), 0, number);
            EXPECT_EQ(number, records[number - 1].id) << "instance " << address;
            EXPECT_EQ(number, records[number - 1].iconData.uID) << "instance " << address;
        }
    }
}

TEST_F(TrayIconShell, AddAndRemoveFollowWhatTheShellConfirms)
{
    TrayIcon record;
    record.init(owner_, instanceAt(0x400000), WM_APP + 1, 1);
    HICON const icon = ownedIcon();
    ASSERT_TRUE(record.add(L"", L"main", icon));
    EXPECT_TRUE(record.added);
    EXPECT_TRUE(shellHasIcon(owner_, record.id));
    EXPECT_TRUE(iconDestroyed(icon)) << "the shell keeps its own copy";
    EXPECT_EQ(UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP), record.iconData.uFlags);

    // Adding an added icon sends nothing (a real NIM_ADD of a known icon
    // fails, so TRUE means none was sent) but still consumes the icon.
    HICON const again = ownedIcon();
    EXPECT_TRUE(record.add(L"", L"second tip", again));
    EXPECT_TRUE(iconDestroyed(again));
    EXPECT_TRUE(record.added);
    EXPECT_TRUE(record.add(L"N", L"third tip", nullptr));
    EXPECT_STREQ(L"main", record.iconData.szTip) << "the record was not even prepared";

    // A record never added, with the same owner and identifier, asks
    // nobody when it is removed.
    TrayIcon twin;
    twin.init(owner_, instanceAt(0x400000), 0, 1);
    EXPECT_FALSE(twin.remove());
    EXPECT_TRUE(shellHasIcon(owner_, record.id));

    EXPECT_TRUE(record.remove());
    EXPECT_FALSE(record.added);
    EXPECT_FALSE(shellHasIcon(owner_, record.id));
    EXPECT_FALSE(record.remove());
    // Adding again works after a remove; without an icon a glyph is drawn.
    EXPECT_TRUE(record.add(L"A", L"glyph", nullptr));
    EXPECT_TRUE(record.added);
    EXPECT_TRUE(shellHasIcon(owner_, record.id));
}

TEST_F(TrayIconShell, ModifyWorksOnlyOnAnIconInTheShellAndLeavesAddedAlone)
{
    TrayIcon record;
    init(record, 2, 0);
    HICON const early = ownedIcon();
    EXPECT_FALSE(record.modify(L"", L"not there", early));
    EXPECT_TRUE(iconDestroyed(early));
    EXPECT_FALSE(record.added);
    EXPECT_FALSE(shellHasIcon(owner_, record.id));

    ASSERT_TRUE(record.add(L"", L"off", nullptr));
    HICON const late = ownedIcon();
    EXPECT_TRUE(record.modify(L"", L"on", late));
    EXPECT_TRUE(iconDestroyed(late));
    EXPECT_TRUE(record.modify(L"N", L"rendered", nullptr));
    EXPECT_TRUE(record.added);
    EXPECT_STREQ(L"rendered", record.iconData.szTip);

    // The shell lost the icon behind the record's back.
    ASSERT_TRUE(shellDeleteIcon(owner_, record.id));
    EXPECT_FALSE(record.modify(L"", L"gone", nullptr));
    EXPECT_TRUE(record.added) << "as the record last saw it";
}

TEST_F(TrayIconShell, DestructionTakesTheIconOutAndClearsTheData)
{
    UINT id = 0;
    {
        TrayIcon record;
        init(record, 1);
        ASSERT_TRUE(record.add(L"", L"main", ownedIcon()));
        id = record.id;
        ASSERT_TRUE(shellHasIcon(owner_, id));
    }
    EXPECT_FALSE(shellHasIcon(owner_, id)) << "the destructor deleted it";

    TrayIcon record;
    init(record, 1);
    ASSERT_TRUE(record.add(L"", L"main", ownedIcon()));
    record.destroy();
    EXPECT_FALSE(shellHasIcon(owner_, record.id));
    EXPECT_TRUE(isZeros(record.iconData));
    EXPECT_TRUE(record.added) << "destruction leaves the flag as it was";
    EXPECT_NE(nullptr, record.glyphFont);

    // A never-added record keeps its data: the NIM_DELETE is refused.
    TrayIcon never;
    init(never, 4, 0);
    never.modify(L"S", L"Scroll lock is ON", nullptr); // fills the data, refused
    NOTIFYICONDATAW const before = never.iconData;
    never.destroy();
    EXPECT_EQ(0, memcmp(&before, &never.iconData, sizeof(before)));
}

TEST_F(TrayIconShell, ACopyNeverTakesTheIconOutOfTheNotificationArea)
{
    TrayIcon record;
    record.init(owner_, instanceAt(0x400000), WM_APP + 1, 1);
    record.bgColor = 255;
    ASSERT_TRUE(record.add(L"", L"main", ownedIcon()));
    {
        TrayIcon copy(record);
        EXPECT_EQ(record.id, copy.id);
        EXPECT_EQ(record.owner, copy.owner);
        EXPECT_EQ(record.glyphFont, copy.glyphFont);
        EXPECT_EQ(COLORREF(255), copy.bgColor);
        EXPECT_TRUE(copy.added);
        EXPECT_EQ(0, memcmp(&record.iconData, &copy.iconData, sizeof(record.iconData)));
        TrayIcon assigned;
        assigned = record;
        EXPECT_EQ(record.id, assigned.id);
        // A copy of a copy, destroyed explicitly: still nothing sent.
        TrayIcon second(copy);
        second.destroy();
        copy.destroy();
    }
    EXPECT_TRUE(shellHasIcon(owner_, record.id));
    EXPECT_TRUE(record.modify(L"", L"still mine", ownedIcon()));
    EXPECT_TRUE(record.remove());
}

TEST_F(TrayIconShell, TipsBalloonTextsAndTitlesAreCutToTheirBuffers)
{
    TrayIcon record;
    init(record, 1);
    ASSERT_TRUE(record.add(L"", std::wstring(200, L't').c_str(), ownedIcon()));
    EXPECT_EQ(std::wstring(127, L't'), record.iconData.szTip);

    std::wstring text;
    for (int i = 0; i < 300; ++i)
        text += wchar_t(L'a' + i % 26);
    std::wstring const title(100, L'T');
    EXPECT_TRUE(record.showBalloon(text.c_str(), title.c_str(), 3000, NIIF_WARNING));
    EXPECT_EQ(text.substr(0, 255), record.iconData.szInfo);
    EXPECT_EQ(title.substr(0, 63), record.iconData.szInfoTitle);
    EXPECT_EQ(UINT(NIF_INFO), record.iconData.uFlags);
    EXPECT_EQ(UINT(3000), record.iconData.uTimeout);
    EXPECT_EQ(DWORD(NIIF_WARNING), record.iconData.dwInfoFlags);
    EXPECT_EQ(std::wstring(127, L't'), record.iconData.szTip) << "the tip is not sent again";

    // A short text replaces the long one whole.
    EXPECT_TRUE(record.showBalloon(L"Short", L"", 3000, NIIF_ERROR));
    EXPECT_STREQ(L"Short", record.iconData.szInfo);
    EXPECT_STREQ(L"", record.iconData.szInfoTitle);

    ASSERT_TRUE(record.remove());
    EXPECT_FALSE(record.showBalloon(L"nobody", L"there", 3000, NIIF_ERROR));
}

TEST_F(TrayIconShell, RestorePutsBackOnlyWhatTheRecordHoldsAsAdded)
{
    TrayIcon main;
    init(main, 1);
    ASSERT_TRUE(main.add(L"", L"800x480x32bit", ownedIcon()));

    // The notification area forgets everything (a restarted shell).
    ASSERT_TRUE(shellDeleteIcon(owner_, main.id));
    HICON const icon = ownedIcon();
    EXPECT_TRUE(main.restore(L"", main.iconData.szTip, icon));
    EXPECT_TRUE(iconDestroyed(icon));
    EXPECT_TRUE(shellHasIcon(owner_, main.id));
    EXPECT_TRUE(main.added);
    EXPECT_STREQ(L"800x480x32bit", main.iconData.szTip) << "its own tip survives";

    // A notice while the shell still holds the icon refreshes it in place.
    EXPECT_TRUE(main.restore(L"", L"refreshed", ownedIcon()));
    EXPECT_TRUE(main.added);

    TrayIcon never;
    init(never, 2, 0);
    HICON const unused = ownedIcon();
    EXPECT_FALSE(never.restore(L"", L"no", unused));
    EXPECT_TRUE(iconDestroyed(unused));
    EXPECT_FALSE(shellHasIcon(owner_, never.id));
}
