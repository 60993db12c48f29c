/*
 * Message boxes in window tests: while a BoxCapture lives, every "#32770"
 * window the thread activates that is not one of the class library's own
 * dialogs (those carry the library's window property from WM_INITDIALOG on)
 * is read (text, caption), recorded and closed at once with the button
 * chosen by the test (IDOK by default; IDNO/IDYES for questions).
 */
#ifndef CORV_CLASSLIB_TESTS_BOX_CAPTURE_H
#define CORV_CLASSLIB_TESTS_BOX_CAPTURE_H

#include <windows.h>
#include <string>
#include <vector>

namespace {
const DWORD box_capture_tls = TlsAlloc();
}

class BoxCapture {
public:
    struct Box { std::string text, caption; };
    explicit BoxCapture(int answer = IDOK) : answer_(answer)
    {
        previous_ = static_cast<BoxCapture *>(TlsGetValue(box_capture_tls));
        TlsSetValue(box_capture_tls, this);
        hook_ = SetWindowsHookExA(WH_CBT, &BoxCapture::proc, nullptr, GetCurrentThreadId());
    }
    ~BoxCapture()
    {
        if (hook_) UnhookWindowsHookEx(hook_);
        TlsSetValue(box_capture_tls, previous_);
    }
    BoxCapture(const BoxCapture &) = delete;
    BoxCapture &operator=(const BoxCapture &) = delete;

    void answer(int a) { answer_ = a; }
    const std::vector<Box> &boxes() const { return boxes_; }
    std::vector<std::string> texts() const
    {
        std::vector<std::string> t;
        for (const auto &b : boxes_) t.push_back(b.text);
        return t;
    }
    void clear() { boxes_.clear(); }

private:
    static BOOL CALLBACK longest(HWND w, LPARAM lp)
    {
        char cls[32] = {};
        GetClassNameA(w, cls, sizeof(cls));
        if (!lstrcmpiA(cls, "Static")) {
            char buf[1024] = {};
            GetWindowTextA(w, buf, sizeof(buf));
            auto *s = reinterpret_cast<std::string *>(lp);
            if (strlen(buf) > s->size()) *s = buf;
        }
        return TRUE;
    }
    static LRESULT CALLBACK proc(int code, WPARAM wp, LPARAM lp)
    {
        auto *self = static_cast<BoxCapture *>(TlsGetValue(box_capture_tls));
        if (code == HCBT_ACTIVATE && self) {
            HWND w = reinterpret_cast<HWND>(wp);
            char cls[32] = {};
            GetClassNameA(w, cls, sizeof(cls));
            /* A box is activated again whenever it wins the foreground back
             * from another program's window: it is recorded once.  Wine also
             * calls the hook for another program's dialog taking the
             * foreground: only this thread's own boxes count. */
            if (!strcmp(cls, "#32770") && GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId() &&
                !GetPropA(w, "CorvClassLibObject") && !GetPropA(w, "CorvBoxSeen")) {
                SetPropA(w, "CorvBoxSeen", reinterpret_cast<HANDLE>(1));
                Box b;
                EnumChildWindows(w, longest, reinterpret_cast<LPARAM>(&b.text));
                char buf[512] = {};
                GetWindowTextA(w, buf, sizeof(buf));
                b.caption = buf;
                self->boxes_.push_back(b);
                int a = self->answer_;
                if (!GetDlgItem(w, a)) a = GetDlgItem(w, IDOK) ? IDOK : IDCANCEL;
                PostMessageA(w, WM_COMMAND, a, 0);
            }
        }
        return CallNextHookEx(self ? self->hook_ : nullptr, code, wp, lp);
    }
    int answer_;
    HHOOK hook_ = nullptr;
    BoxCapture *previous_ = nullptr;
    std::vector<Box> boxes_;
};

#endif
