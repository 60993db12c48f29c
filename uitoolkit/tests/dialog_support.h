/* Helpers of the dialog tests: an owner window, finding the dialogs a call
 * opens, and the Knobset class loaded for the test's lifetime. */
#ifndef TUNDRIX_TEST_DIALOG_SUPPORT_H
#define TUNDRIX_TEST_DIALOG_SUPPORT_H

#include <windows.h>
#include <string>
#include <vector>

#include "internal.h"

struct ControlsLoaded {
    bool ok;
    ControlsLoaded() : ok(TundrixLoadControls() != 0) {}
    ~ControlsLoaded() { if (ok) TundrixReleaseControls(); }
};

struct OwnerWindow {
    HWND hwnd;
    OwnerWindow()
    {
        hwnd = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 100, 100, 400, 300, nullptr, nullptr,
                               nullptr, nullptr);
    }
    ~OwnerWindow() { DestroyWindow(hwnd); }
};

struct FindDialog { HWND owner, found; };
inline BOOL CALLBACK FindDialogProc(HWND w, LPARAM lp)
{
    auto *f = reinterpret_cast<FindDialog *>(lp);
    char cls[16] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (!strcmp(cls, "#32770") && (!f->owner || GetWindow(w, GW_OWNER) == f->owner)) {
        f->found = w;
        return FALSE;
    }
    return TRUE;
}

/* The first "#32770" window of this thread owned by owner (null: any). */
inline HWND FindThreadDialog(HWND owner)
{
    FindDialog f = {owner, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindDialogProc, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

inline std::string WindowText(HWND w)
{
    char buf[1024] = {};
    GetWindowTextA(w, buf, sizeof buf);
    return buf;
}

/* Runs the queue until nothing is left. */
inline void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

#endif
