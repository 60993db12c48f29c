/*
 * Message boxes in tests: while a MsgBoxCapture lives, every message box the
 * current thread opens is read (its text and caption), recorded and closed
 * at once, so a test never waits on one.
 *
 *   MsgBoxCapture boxes;
 *   call_that_may_warn();
 *   REQUIRE(boxes.texts() == std::vector<std::string>{"..."});
 *
 * A WH_CBT hook on the thread catches the activation of the "#32770" dialog
 * class, reads its static text (the control with id 0xFFFF, else the
 * longest static child) and posts IDOK/IDCANCEL to it.  Header-only.
 */
#ifndef CORV_TESTS_MSGBOX_CAPTURE_H
#define CORV_TESTS_MSGBOX_CAPTURE_H

#include <windows.h>
#include <string>
#include <vector>

namespace {
/* One slot per test program (internal linkage, set up before main). */
const DWORD msgbox_capture_tls = TlsAlloc();
}

class MsgBoxCapture {
public:
    struct Box { std::string text, caption; };

    MsgBoxCapture()
    {
        previous_ = get();
        set(this);
        hook_ = SetWindowsHookExA(WH_CBT, &MsgBoxCapture::proc, nullptr, GetCurrentThreadId());
    }
    ~MsgBoxCapture()
    {
        if (hook_) UnhookWindowsHookEx(hook_);
        set(previous_);
    }
    MsgBoxCapture(const MsgBoxCapture &) = delete;
    MsgBoxCapture &operator=(const MsgBoxCapture &) = delete;

    const std::vector<Box> &boxes() const { return boxes_; }
    std::vector<std::string> texts() const
    {
        std::vector<std::string> t;
        for (const auto &b : boxes_) t.push_back(b.text);
        return t;
    }
    size_t count() const { return boxes_.size(); }
    void clear() { boxes_.clear(); }

private:
    /* The capture of the calling thread, in a Win32 TLS slot (winelib
     * programs are shared objects where C++ thread_local and inline-function
     * statics do not link). */
    static DWORD tls() { return msgbox_capture_tls; }
    static MsgBoxCapture *get() { return static_cast<MsgBoxCapture *>(TlsGetValue(tls())); }
    static void set(MsgBoxCapture *c) { TlsSetValue(tls(), c); }

    struct Longest { std::string text; };
    static BOOL CALLBACK child(HWND w, LPARAM lp)
    {
        char cls[32] = {};
        GetClassNameA(w, cls, sizeof(cls));
        if (!lstrcmpiA(cls, "Static")) {
            char buf[1024] = {};
            GetWindowTextA(w, buf, sizeof(buf));
            auto *l = reinterpret_cast<Longest *>(lp);
            if (strlen(buf) > l->text.size()) l->text = buf;
        }
        return TRUE;
    }

    static LRESULT CALLBACK proc(int code, WPARAM wp, LPARAM lp)
    {
        MsgBoxCapture *self = get();
        if (code == HCBT_ACTIVATE && self) {
            HWND w = reinterpret_cast<HWND>(wp);
            char cls[32] = {};
            GetClassNameA(w, cls, sizeof(cls));
            /* A box is activated again whenever it wins the foreground back
             * from another program's window: it is recorded once.  Wine also
             * calls the hook for another program's dialog taking the
             * foreground: only this thread's own boxes count. */
            if (!strcmp(cls, "#32770") && GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId() &&
                !GetPropA(w, "CorvMsgBoxSeen")) {
                SetPropA(w, "CorvMsgBoxSeen", reinterpret_cast<HANDLE>(1));
                Box b;
                char buf[1024] = {};
                HWND text = GetDlgItem(w, 0xFFFF);
                if (text && GetWindowTextA(text, buf, sizeof(buf))) b.text = buf;
                else { Longest l; EnumChildWindows(w, child, reinterpret_cast<LPARAM>(&l)); b.text = l.text; }
                GetWindowTextA(w, buf, sizeof(buf));
                b.caption = buf;
                self->boxes_.push_back(b);
                /* A box with an OK button ends on IDOK; others on IDCANCEL. */
                PostMessageA(w, WM_COMMAND, GetDlgItem(w, IDOK) ? IDOK : IDCANCEL, 0);
            }
        }
        return CallNextHookEx(self ? self->hook_ : nullptr, code, wp, lp);
    }

    HHOOK hook_ = nullptr;
    MsgBoxCapture *previous_ = nullptr;
    std::vector<Box> boxes_;
};

#endif
