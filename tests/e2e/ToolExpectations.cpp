// The settings window as the end-to-end tests expect it, in GoogleTest
// expectations (declared in ToolChecks.h; the rest of those checks need no
// GoogleTest and are shared with the bench driver).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/ToolChecks.h"
#include "tests/e2e/ToolProcess.h"

// ------------------------------------------------------ the settings window

namespace {

DWORD const kCheckBox = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
DWORD const kGroupBox = WS_CHILD | WS_VISIBLE | BS_GROUPBOX;
DWORD const kRadio = WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON;
DWORD const kPlain = WS_CHILD | WS_VISIBLE;

// Where a control hangs: straight on the main window, on a group box (the
// group's panel), or on the panel inside a group box.
enum class Parent { Main, Group, Panel };

struct ControlRow {
    wchar_t const* text; // the panels have none
    wchar_t const* group; // the group box it belongs to, or null
    Parent parent;
    wchar_t const* className;
    DWORD style;
    int x, y, width, height; // 96-dpi units
};

// In creation order.
ControlRow const kControls[] = {
    {L"Enable scaling", nullptr, Parent::Main, L"Button", kCheckBox, 2, 3, 155, 19},
    {L"Start with Windows", nullptr, Parent::Main, L"Button", kCheckBox, 160, 3, 155, 19},
    {L"Start minimized", nullptr, Parent::Main, L"Button", kCheckBox, 2, 23, 155, 19},
    {L"OSD Keyboard indicator", nullptr, Parent::Main, L"Button", kCheckBox, 160, 23, 155, 19},
    {L"Resolution", nullptr, Parent::Main, L"Button", kGroupBox, 2, 43, 155, 80},
    {L"", L"Resolution", Parent::Group, L"Static", kPlain, 2, 17, 151, 61},
    {L"800 x 480", L"Resolution", Parent::Panel, L"Button", kRadio | WS_GROUP, 2, 0, 147, 19},
    {L"800 x 600", L"Resolution", Parent::Panel, L"Button", kRadio, 2, 20, 147, 19},
    {L"1024 x 768", L"Resolution", Parent::Panel, L"Button", kRadio, 2, 40, 147, 19},
    {L"Keyboard indicator", nullptr, Parent::Main, L"Button", kGroupBox, 160, 43, 155, 80},
    {L"", L"Keyboard indicator", Parent::Group, L"Static", kPlain, 2, 17, 151, 61},
    {L"Num lock", L"Keyboard indicator", Parent::Panel, L"Button", kCheckBox | WS_GROUP, 2, 0, 147, 19},
    {L"Caps lock", L"Keyboard indicator", Parent::Panel, L"Button", kCheckBox, 2, 20, 147, 19},
    {L"Scroll lock", L"Keyboard indicator", Parent::Panel, L"Button", kCheckBox, 2, 40, 147, 19},
    {L"Apply", nullptr, Parent::Main, L"Button", kPlain | WS_TABSTOP | BS_DEFPUSHBUTTON, 111, 127, 100, 26},
    {L"Build: 736", nullptr, Parent::Main, L"Static", kPlain, 3, 137, 100, 20},
};

std::vector<HWND> childrenOf(HWND parent)
{
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

HWND childWithText(HWND parent, wchar_t const* text)
{
    for (HWND const child : childrenOf(parent))
        if (windowText(child) == text)
            return child;
    return nullptr;
}

int countDescendants(HWND parent)
{
    int count = 0;
    for (HWND const child : childrenOf(parent))
        count += 1 + countDescendants(child);
    return count;
}

// The control of a row, found through the parent the row names; null when
// it is not there.
HWND controlOf(HWND main, ControlRow const& row)
{
    if (row.parent == Parent::Main)
        return childWithText(main, row.text);
    HWND const group = childWithText(main, row.group);
    if (group == nullptr)
        return nullptr;
    std::vector<HWND> const inGroup = childrenOf(group);
    // The group box carries its panel and nothing else.
    if (inGroup.size() != 1)
        return nullptr;
    HWND const panel = inGroup[0];
    return row.parent == Parent::Group ? panel : childWithText(panel, row.text);
}

} // namespace

void expectControlsAt(HWND main, int dpi)
{
    auto scaled = [dpi](int units) { return units * dpi / 96; };
    EXPECT_EQ(16, countDescendants(main));
    std::vector<std::wstring> topLevelOrder;
    for (HWND const child : childrenOf(main))
        topLevelOrder.push_back(windowText(child));
    std::vector<std::wstring> expectedOrder;
    for (ControlRow const& row : kControls)
        if (row.parent == Parent::Main)
            expectedOrder.push_back(row.text);
    EXPECT_EQ(expectedOrder, topLevelOrder) << "the main window's own controls, in creation order";

    for (ControlRow const& row : kControls) {
        std::string const name = row.text[0] != 0 ? narrow(row.text) : "panel of " + narrow(row.group);
        HWND const control = controlOf(main, row);
        ASSERT_NE(nullptr, control) << name << " is not where it belongs";
        EXPECT_EQ(0, lstrcmpiW(windowClass(control).c_str(), row.className))
            << name << ": class " << narrow(windowClass(control));
        EXPECT_EQ(std::wstring(row.text), windowText(control)) << name;
        EXPECT_EQ(0, GetDlgCtrlID(control)) << name;
        DWORD style = DWORD(GetWindowLongPtrW(control, GWL_STYLE));
        // The button control itself makes the checked radio button the
        // group's tab stop; the program asks for none.
        if ((row.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON && isButtonChecked(control))
            style &= ~DWORD(WS_TABSTOP);
        EXPECT_EQ(row.style, style) << name << ": style " << std::hex << style;
        RECT const rect = rectInParent(control);
        EXPECT_EQ(scaled(row.x), rect.left) << name;
        EXPECT_EQ(scaled(row.y), rect.top) << name;
        EXPECT_EQ(scaled(row.width), rect.right - rect.left) << name;
        EXPECT_EQ(scaled(row.height), rect.bottom - rect.top) << name;
    }
}

void expectWindowSizeAt(HWND main, int dpi)
{
    RECT window = {};
    RECT client = {};
    GetWindowRect(main, &window);
    GetClientRect(main, &client);
    EXPECT_EQ(324 * dpi / 96, window.right - window.left) << "outer width, frame included";
    EXPECT_EQ(156 * dpi / 96, client.bottom) << "client height";
}

void expectChecks(HWND main, Checks const& expected)
{
    struct Box {
        wchar_t const* text;
        bool checked;
    };
    Box const boxes[] = {
        {L"Enable scaling", expected.scaling},   {L"Start with Windows", expected.startup},
        {L"Start minimized", expected.minimized}, {L"OSD Keyboard indicator", expected.osd},
        {L"800 x 480", expected.r480},           {L"800 x 600", expected.r600},
        {L"1024 x 768", expected.r768},          {L"Num lock", expected.numLock},
        {L"Caps lock", expected.capsLock},       {L"Scroll lock", expected.scrollLock},
    };
    for (Box const& box : boxes) {
        HWND const control = findDescendant(main, box.text);
        ASSERT_NE(nullptr, control) << narrow(box.text);
        EXPECT_EQ(box.checked, isButtonChecked(control)) << narrow(box.text);
    }
}
