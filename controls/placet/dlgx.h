/*
 * The dialog extension used by the positioner: a subclass of the dialog that
 * reflects the command and scroll messages of chosen child controls to a
 * target window and tells registered windows about WM_INITDIALOG before the
 * dialog's own procedure sees it.
 *
 *   InstallDlgX(dialog)                       subclass once (counted)
 *   DlgXProc(dialog, DLGX_HOOK, part id, target)   reflect that part to target
 *   DlgXProc(dialog, DLGX_WANTINIT, 0, target)     target gets PLM_DLGINIT
 *   RemoveDlgX(dialog)                        drop one install; the last restores
 *
 * Reflected messages reach the target unchanged (WM_COMMAND, WM_HSCROLL,
 * WM_VSCROLL); the dialog's own procedure does not see them.
 */
#ifndef CONTROLS_PLACET_DLGX_H
#define CONTROLS_PLACET_DLGX_H

#include <windows.h>

enum {
    DLGX_HOOK = 1,
    DLGX_UNHOOK = 2,
    DLGX_WANTINIT = 3,
};

/* Sent to a window that asked with DLGX_WANTINIT, wParam/lParam of WM_INITDIALOG. */
#define PLM_DLGINIT (WM_USER + 0x1F0)

extern "C" {
BOOL WINAPI InstallDlgX(HWND dialog);
BOOL WINAPI RemoveDlgX(HWND dialog);
LRESULT WINAPI DlgXProc(HWND dialog, UINT sub, WPARAM wparam, LPARAM lparam);
}

#endif
