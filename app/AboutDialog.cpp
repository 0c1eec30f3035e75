#include "app/AboutDialog.h"

#include "app/resource.h"

namespace {

// The template carries a placeholder in the title line; the real title is
// the same string the main window uses.
void showTitle(HWND dialog)
{
    wchar_t title[kLoadedStringCapacity] = {};
    HINSTANCE const instance =
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE));
    LoadStringW(instance, IDS_APP_TITLE, title, kLoadedStringCapacity);
    SetDlgItemTextW(dialog, IDC_ABOUT_TITLE, title);
}

}  // namespace

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        showTitle(dialog);
        return TRUE;  // the system focuses the first tab stop, the OK button
    case WM_COMMAND: {
        WORD const command = LOWORD(wParam);
        if (command == IDOK || command == IDCANCEL) {
            EndDialog(dialog, command);
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}
