// The host's side of an embedded editor's menu, for the screen tests: the
// editor's menu on the host's frame, the frame's WM_COMMAND and WM_INITMENU
// handed to the editor's bind window, and the editor's accelerators
// translated for the frame as the thread's messages are taken (a hook, so
// that the modal loops the editor runs translate them too).  One routing at
// a time per program.
#pragma once

#include <windows.h>

namespace fxtest {

class MenuRouting {
public:
    ~MenuRouting() { Stop(); }

    // Routes frame's menu and keys to bind; true when the hook is in place.
    bool Start(HWND frame, HWND bind, HMENU menu, HACCEL accelerators)
    {
        Stop();
        State &s = Now();
        s.bind = bind;
        s.frame = frame;
        s.accel = accelerators;
        SetMenu(frame, menu);
        s.frameProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(frame, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FrameRelay)));
        s.hook = SetWindowsHookExA(WH_GETMESSAGE, TranslateHook, nullptr, GetCurrentThreadId());
        return s.hook != nullptr;
    }

    // Gives the frame its own procedure back and takes its menu away.
    void Stop()
    {
        State &s = Now();
        if (s.hook) UnhookWindowsHookEx(s.hook);
        if (s.frame) {
            if (s.frameProc) SetWindowLongPtrA(s.frame, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(s.frameProc));
            SetMenu(s.frame, nullptr);
        }
        s = State();
    }

private:
    struct State {
        HWND bind = nullptr, frame = nullptr;
        HACCEL accel = nullptr;
        WNDPROC frameProc = nullptr;
        HHOOK hook = nullptr;
    };
    static State &Now()
    {
        static State s;
        return s;
    }
    static LRESULT CALLBACK FrameRelay(HWND w, UINT msg, WPARAM wp, LPARAM lp)
    {
        const State &s = Now();
        if ((msg == WM_COMMAND || msg == WM_INITMENU) && s.bind && IsWindow(s.bind))
            return SendMessageA(s.bind, msg, wp, lp);
        return CallWindowProcA(s.frameProc, w, msg, wp, lp);
    }
    // The host's accelerators: keys for the editor become its commands.
    static LRESULT CALLBACK TranslateHook(int code, WPARAM wp, LPARAM lp)
    {
        const State &s = Now();
        MSG *m = reinterpret_cast<MSG *>(lp);
        if (code == HC_ACTION && wp == PM_REMOVE && s.accel && s.frame && m &&
            (m->message == WM_KEYDOWN || m->message == WM_SYSKEYDOWN) && TranslateAcceleratorA(s.frame, s.accel, m))
            m->message = WM_NULL;
        return CallNextHookEx(s.hook, code, wp, lp);
    }
};

}  // namespace fxtest
