// Answers the next modal dialog a call opens with real input: a CBT hook
// notices the dialog that shows a given control, and a timer inside its
// loop runs the answer.
#pragma once

#include <windows.h>

#include <functional>
#include <utility>

namespace fxtest {

namespace modal_detail {
inline std::function<void(HWND)> act;
inline int want;
inline HWND seen;

inline void CALLBACK ActTimer(HWND w, UINT, UINT_PTR id, DWORD)
{
    KillTimer(w, id);
    auto run = std::move(act);
    act = nullptr;
    if (run) run(w);
    // A dialog the answer left open would hold the test: it is cancelled.
    if (IsWindow(w) && IsWindowVisible(w)) PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
}

inline LRESULT CALLBACK WatchHook(int code, WPARAM wparam, LPARAM lparam)
{
    if (code == HCBT_ACTIVATE && act && !seen && GetDlgItem(HWND(wparam), want)) {
        seen = HWND(wparam);
        SetTimer(seen, 91, 50, ActTimer);
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}
}  // namespace modal_detail

// Runs `open` (which starts a modal dialog with control `control`) and answers
// the dialog with `answer`; the dialog seen, null when none came.
inline HWND Answer(int control, const std::function<void()> &open, std::function<void(HWND)> answer)
{
    modal_detail::want = control;
    modal_detail::seen = nullptr;
    modal_detail::act = std::move(answer);
    HHOOK hook = SetWindowsHookExA(WH_CBT, modal_detail::WatchHook, nullptr, GetCurrentThreadId());
    open();
    UnhookWindowsHookEx(hook);
    modal_detail::act = nullptr;
    return modal_detail::seen;
}

}  // namespace fxtest
