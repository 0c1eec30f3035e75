// The main window: its class, creation, window procedure and the small
// procedures the settings window uses.
#pragma once

#include <windows.h>

#include "app/CommandLine.h"
#include "controller/ToolController.h"
#include "tray/TrayMessages.h"

extern ToolController theController;
extern HINSTANCE appInstance;
extern wchar_t windowTitle[100];
extern wchar_t windowClassName[100];

void registerMainClass(HINSTANCE instance);
bool createMainWindow(HINSTANCE instance);
LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Called once the settings window is built: carries out the command the
// program was started with (None, Mode, Show or Tray) and from then on
// takes the commands later starts hand over; until then they are answered
// kReplyStarting, or kReplyBusy while a question of that command's Apply is
// open.
void finishStartup(ToolCommand command);

// Tab, the arrows, Space, Enter and Esc in the settings window, as in a
// dialog (the window is no dialog: WM_USER and WM_USER + 1 are the dialog
// manager's DM_GETDEFID and DM_SETDEFID there, and mean nothing else). True
// when the message was taken, translated and dispatched.
bool isSettingsDialogMessage(MSG* message);

// Timer callback of the main window's lock timer: polls `theController`.
// A tick that arrives while a poll is still running returns at once.
void CALLBACK lockTimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD time);

// Shows a window that is in the tray, or puts a shown window back there.
void toggleMainWindow(HWND window);
void uncheckModeItems(HMENU menu);
BOOL CALLBACK setChildFont(HWND child, LPARAM font);
// Window procedure of the panel that carries the resolution radio buttons:
// a click sets the chosen mode at once; nothing else happens until Apply.
LRESULT CALLBACK resolutionPanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
