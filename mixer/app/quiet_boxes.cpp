#include "quiet_boxes.h"
#include <cstring>

namespace {
/* The innermost instance; one user-interface thread uses them. */
QuietBoxes *g_quiet = nullptr;
constexpr char kSeen[] = "CorvQuietBoxSeen";

BOOL CALLBACK LongestStatic(HWND w, LPARAM lp)
{
    char cls[16] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (!lstrcmpiA(cls, "Static")) {
        char text[1024] = {};
        GetWindowTextA(w, text, sizeof text);
        auto *best = reinterpret_cast<std::string *>(lp);
        if (strlen(text) > best->size()) *best = text;
    }
    return TRUE;
}
} // namespace

QuietBoxes::QuietBoxes() : previous_(g_quiet)
{
    g_quiet = this;
    hook_ = SetWindowsHookExA(WH_CBT, Hook, nullptr, GetCurrentThreadId());
}

QuietBoxes::~QuietBoxes()
{
    if (hook_) UnhookWindowsHookEx(hook_);
    g_quiet = previous_;
}

LRESULT CALLBACK QuietBoxes::Hook(int code, WPARAM wp, LPARAM lp)
{
    QuietBoxes *self = g_quiet;
    if (code == HCBT_CREATEWND && self) {
        /* Only dialogs made while we live: the main window (a dialog too)
         * may be activated meanwhile and is left alone. */
        HWND w = reinterpret_cast<HWND>(wp);
        char cls[16] = {};
        GetClassNameA(w, cls, sizeof cls);
        if (!strcmp(cls, "#32770")) self->made_.push_back(w);
    }
    if (code == HCBT_ACTIVATE && self) {
        HWND w = reinterpret_cast<HWND>(wp);
        bool ours = false;
        for (HWND m : self->made_) ours = ours || m == w;
        /* Each box once (it may be activated again before its close arrives). */
        if (ours) {
            if (!GetPropA(w, kSeen)) {
                SetPropA(w, kSeen, reinterpret_cast<HANDLE>(1));
                std::string text;
                char buf[1024] = {};
                HWND label = GetDlgItem(w, 0xFFFF);
                if (label && GetWindowTextA(label, buf, sizeof buf)) text = buf;
                else EnumChildWindows(w, LongestStatic, reinterpret_cast<LPARAM>(&text));
                self->texts_.push_back(text);
                PostMessageA(w, WM_COMMAND, GetDlgItem(w, IDOK) ? IDOK : IDCANCEL, 0);
            }
            /* Not handed on: nobody else is to see or answer it. */
            return 0;
        }
    }
    return CallNextHookEx(self ? self->hook_ : nullptr, code, wp, lp);
}
