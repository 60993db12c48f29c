/* DlgX, carried by Tundrix32 and by Placet.dll (see dlgx.cpp). */
#ifndef TUNDRIX_DLGX_H
#define TUNDRIX_DLGX_H

#include <windows.h>

/* The registered command message "dlgX-Halvard" (registered on first use). */
UINT DlgXMessage();
/* "dlgX-Notify-Halvard", sent with wParam 1 to a dialog that Placet
 * extended, as it initialises. */
UINT DlgXNotifyMessage();
/* Registers both messages and the atom; FALSE when one of them fails. */
BOOL DlgXStartup();
/* How many times the dialog's extension was installed (0: none). */
int DlgXUseCount(HWND dlg);

extern "C" {
BOOL WINAPI InstallDlgX(HWND dlg);
BOOL WINAPI RemoveDlgX(HWND dlg);
LRESULT CALLBACK DlgXProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp);
}

#endif
