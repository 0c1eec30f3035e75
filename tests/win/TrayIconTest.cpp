// The tray icon record against the real shell (under Wine, its notification
// area docked into the test display's tray host). What the shell holds is
// probed from outside the record: a modify with no flags succeeds exactly
// when the shell knows the (window, identifier) pair.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <string.h>

#include <string>

#include "tray/TrayIcon.h"

namespace {

LRESULT CALLBACK ownerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND createOwnerWindow()
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = ownerWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KovixTrayIconTest";
    RegisterClassExW(&windowClass);
    return CreateWindowExW(0, L"KovixTrayIconTest", L"tray owner", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                           100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

bool shellHas(HWND owner, UINT id)
{
    NOTIFYICONDATAW probe = {};
    probe.cbSize = sizeof(probe);
    probe.hWnd = owner;
    probe.uID = id;
    probe.uFlags = 0;
    return Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
}

bool shellDelete(HWND owner, UINT id)
{
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = owner;
    data.uID = id;
    return Shell_NotifyIconW(NIM_DELETE, &data) != FALSE;
}

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

class TrayIconShell : public testing::Test {
protected:
    void SetUp() override
    {
        owner_ = createOwnerWindow();
        ASSERT_NE(nullptr, owner_);
    }
    void TearDown() override { DestroyWindow(owner_); }

    HWND owner_ = nullptr;
};

} // namespace

TEST(TrayIconRecord, StartsAsZerosAndInitBindsItToItsOwner)
{
    TrayIcon record;
    NOTIFYICONDATAW zeros;
    memset(&zeros, 0, sizeof(zeros));
    EXPECT_EQ(0, memcmp(&zeros, &record.iconData, sizeof(zeros)));
    EXPECT_FALSE(record.added);
    EXPECT_EQ(0u, record.id);

    HWND const owner = GetDesktopWindow();
    record.bgColor = 255;
    record.fgColor = 65280;
    record.lockOn = true;
    record.init(owner, instanceAt(0x400000), WM_APP + 1, 1);
    EXPECT_EQ(owner, record.owner);
    EXPECT_EQ(instanceAt(0x400000), record.instance);
    EXPECT_EQ(0x400001u, record.id);
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

TEST(TrayIconRecord, IdentifiersOfTheFourIconsDifferByOneForAnyInstance)
{
    UINT_PTR const instances[] = {0,          0x400000,  0x10000000, 0x7FFF0000,
                                  0xFFFFFFFE, UINT_PTR(-1), UINT_PTR(0x140000000ull)};
    for (UINT_PTR const address : instances) {
        TrayIcon records[4];
        for (UINT number = 1; number <= 4; ++number)
            records[number - 1].init(nullptr, instanceAt(address), 0, number);
        for (int i = 1; i < 4; ++i)
            EXPECT_EQ(1u, records[i].id - records[i - 1].id) << "instance " << address;
        if (address == 0) {
            EXPECT_EQ(1u, records[0].id);
        }
    }
}

TEST_F(TrayIconShell, AddedFollowsWhatTheShellConfirms)
{
    TrayIcon record;
    record.init(owner_, instanceAt(0x400000), WM_APP + 1, 1);
    HICON const icon = ownedIcon();
    ASSERT_TRUE(record.add(L"", L"main", icon));
    EXPECT_TRUE(record.added);
    EXPECT_TRUE(shellHas(owner_, record.id));
    EXPECT_TRUE(iconDestroyed(icon)) << "the shell keeps its own copy";
    EXPECT_EQ(UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP), record.iconData.uFlags);

    // A second record with the same owner and identifier: the shell refuses
    // the duplicate, and that record does not count itself as added.
    TrayIcon twin;
    twin.init(owner_, instanceAt(0x400000), 0, 1);
    HICON const twinIcon = ownedIcon();
    EXPECT_FALSE(twin.add(L"", L"twin", twinIcon));
    EXPECT_FALSE(twin.added);
    EXPECT_TRUE(iconDestroyed(twinIcon)) << "destroyed whatever the result";

    EXPECT_TRUE(record.remove());
    EXPECT_FALSE(record.added);
    EXPECT_FALSE(shellHas(owner_, record.id));
    EXPECT_FALSE(record.remove());

    // Adding again works after a remove; without an icon a glyph is drawn.
    EXPECT_TRUE(record.add(L"A", L"glyph", nullptr));
    EXPECT_TRUE(record.added);
    EXPECT_TRUE(shellHas(owner_, record.id));
}

TEST_F(TrayIconShell, AddingAnAddedIconMakesNoShellCallButStillConsumesTheIcon)
{
    TrayIcon record;
    record.init(owner_, nullptr, WM_APP + 1, 1);
    ASSERT_TRUE(record.add(L"", L"first tip", ownedIcon()));

    HICON const icon = ownedIcon();
    // A real NIM_ADD of a known icon fails, so TRUE means none was sent.
    EXPECT_TRUE(record.add(L"", L"second tip", icon));
    EXPECT_TRUE(iconDestroyed(icon));
    EXPECT_STREQ(L"first tip", record.iconData.szTip) << "the record was not even prepared";
    EXPECT_TRUE(record.added);

    // Without an icon nothing is rendered or destroyed, and still TRUE.
    EXPECT_TRUE(record.add(L"N", L"third tip", nullptr));
    EXPECT_STREQ(L"first tip", record.iconData.szTip);
}

TEST_F(TrayIconShell, ModifyWorksOnlyOnAnIconInTheShellAndLeavesAddedAlone)
{
    TrayIcon record;
    record.init(owner_, nullptr, 0, 2);
    HICON const early = ownedIcon();
    EXPECT_FALSE(record.modify(L"", L"not there", early));
    EXPECT_TRUE(iconDestroyed(early));
    EXPECT_FALSE(record.added);
    EXPECT_FALSE(shellHas(owner_, record.id));

    ASSERT_TRUE(record.add(L"", L"off", nullptr));
    HICON const late = ownedIcon();
    EXPECT_TRUE(record.modify(L"", L"on", late));
    EXPECT_TRUE(iconDestroyed(late));
    EXPECT_TRUE(record.modify(L"N", L"rendered", nullptr));
    EXPECT_TRUE(record.added);
    EXPECT_STREQ(L"rendered", record.iconData.szTip);

    // The shell lost the icon behind the record's back: modify fails and
    // `added` stays as the record last saw it.
    ASSERT_TRUE(shellDelete(owner_, record.id));
    EXPECT_FALSE(record.modify(L"", L"gone", nullptr));
    EXPECT_TRUE(record.added);
}

TEST_F(TrayIconShell, RemovingANeverAddedIconAsksNobody)
{
    // The shell holds an icon of this owner and identifier that another
    // record added; the never-added record must not delete it.
    TrayIcon holder;
    holder.init(owner_, nullptr, 0, 3);
    ASSERT_TRUE(holder.add(L"a", L"holder", nullptr));

    TrayIcon record;
    record.init(owner_, nullptr, 0, 3);
    EXPECT_FALSE(record.remove());
    EXPECT_TRUE(shellHas(owner_, holder.id));
    EXPECT_FALSE(record.added);
}

TEST_F(TrayIconShell, DestructionTakesTheIconOutAndClearsTheData)
{
    UINT id = 0;
    {
        TrayIcon record;
        record.init(owner_, nullptr, WM_APP + 1, 1);
        ASSERT_TRUE(record.add(L"", L"main", ownedIcon()));
        id = record.id;
        ASSERT_TRUE(shellHas(owner_, id));
    }
    EXPECT_FALSE(shellHas(owner_, id)) << "the destructor deleted it";

    TrayIcon record;
    record.init(owner_, nullptr, WM_APP + 1, 1);
    ASSERT_TRUE(record.add(L"", L"main", ownedIcon()));
    record.destroy();
    EXPECT_FALSE(shellHas(owner_, record.id));
    NOTIFYICONDATAW zeros;
    memset(&zeros, 0, sizeof(zeros));
    EXPECT_EQ(0, memcmp(&zeros, &record.iconData, sizeof(zeros)));
    EXPECT_TRUE(record.added) << "destruction leaves the flag as it was";
    EXPECT_NE(nullptr, record.glyphFont);
}

TEST_F(TrayIconShell, DestroyingANeverAddedRecordLeavesItsDataIntact)
{
    TrayIcon record;
    record.init(owner_, nullptr, 0, 4);
    record.modify(L"S", L"Scroll lock is ON", nullptr); // fills the data, refused
    NOTIFYICONDATAW before;
    memcpy(&before, &record.iconData, sizeof(before));
    record.destroy(); // NIM_DELETE is sent and refused
    EXPECT_EQ(0, memcmp(&before, &record.iconData, sizeof(before)));
}

TEST_F(TrayIconShell, ACopyNeverTakesTheIconOutOfTheNotificationArea)
{
    TrayIcon record;
    record.init(owner_, instanceAt(0x400000), WM_APP + 1, 1);
    record.bgColor = 255;
    ASSERT_TRUE(record.add(L"", L"main", ownedIcon()));
    {
        TrayIcon const copy(record);
        EXPECT_EQ(record.id, copy.id);
        EXPECT_EQ(record.owner, copy.owner);
        EXPECT_EQ(record.glyphFont, copy.glyphFont);
        EXPECT_EQ(COLORREF(255), copy.bgColor);
        EXPECT_TRUE(copy.added);
        EXPECT_EQ(0, memcmp(&record.iconData, &copy.iconData, sizeof(record.iconData)));
    }
    {
        TrayIcon assigned;
        assigned = record;
        EXPECT_EQ(record.id, assigned.id);
    }
    {
        // A copy of a copy, destroyed explicitly: still nothing sent.
        TrayIcon copy(record);
        TrayIcon second(copy);
        second.destroy();
        copy.destroy();
    }
    EXPECT_TRUE(shellHas(owner_, record.id));
    EXPECT_TRUE(record.modify(L"", L"still mine", ownedIcon()));
    EXPECT_TRUE(record.remove());
}

TEST_F(TrayIconShell, TipsBalloonTextsAndTitlesAreCutToTheirBuffers)
{
    TrayIcon record;
    record.init(owner_, nullptr, WM_APP + 1, 1);
    std::wstring const longTip(200, L't');
    ASSERT_TRUE(record.add(L"", longTip.c_str(), ownedIcon()));
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
    main.init(owner_, nullptr, WM_APP + 1, 1);
    ASSERT_TRUE(main.add(L"", L"800x480x32bit", ownedIcon()));

    // The notification area forgets everything (a restarted shell).
    ASSERT_TRUE(shellDelete(owner_, main.id));
    HICON const icon = ownedIcon();
    EXPECT_TRUE(main.restore(L"", main.iconData.szTip, icon));
    EXPECT_TRUE(iconDestroyed(icon));
    EXPECT_TRUE(shellHas(owner_, main.id));
    EXPECT_TRUE(main.added);
    EXPECT_STREQ(L"800x480x32bit", main.iconData.szTip) << "its own tip survives";

    // A notice while the shell still holds the icon refreshes it in place.
    EXPECT_TRUE(main.restore(L"", L"refreshed", ownedIcon()));
    EXPECT_TRUE(main.added);

    TrayIcon never;
    never.init(owner_, nullptr, 0, 2);
    HICON const unused = ownedIcon();
    EXPECT_FALSE(never.restore(L"", L"no", unused));
    EXPECT_TRUE(iconDestroyed(unused));
    EXPECT_FALSE(shellHas(owner_, never.id));
}
