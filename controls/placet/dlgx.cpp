#include "dlgx.h"

#include <vector>

namespace {

const char kProp[] = "Placet DlgX - Halvard";

struct Hook {
    int id;
    HWND target;
};

struct DlgX {
    WNDPROC previous = nullptr;
    int installs = 0;
    std::vector<Hook> hooks;
    std::vector<HWND> want_init;
};

DlgX *Find(HWND dialog)
{
    return static_cast<DlgX *>(GetPropA(dialog, kProp));
}

HWND TargetFor(DlgX *x, int id)
{
    for (const Hook &h : x->hooks)
        if (h.id == id && IsWindow(h.target)) return h.target;
    return nullptr;
}

LRESULT CALLBACK SubclassProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp)
{
    DlgX *x = Find(dialog);
    if (!x) return DefWindowProcA(dialog, msg, wp, lp);
    WNDPROC previous = x->previous;
    switch (msg) {
    case WM_INITDIALOG: {
        /* Copy: a target may hook or unhook while it initialises. */
        std::vector<HWND> targets = x->want_init;
        for (HWND t : targets)
            if (IsWindow(t)) SendMessageA(t, PLM_DLGINIT, wp, lp);
        break;
    }
    case WM_COMMAND:
        if (lp) {
            HWND target = TargetFor(x, GetDlgCtrlID(reinterpret_cast<HWND>(lp)));
            if (target && reinterpret_cast<HWND>(lp) != target) return SendMessageA(target, msg, wp, lp);
        }
        break;
    case WM_HSCROLL:
    case WM_VSCROLL:
        if (lp) {
            HWND target = TargetFor(x, GetDlgCtrlID(reinterpret_cast<HWND>(lp)));
            if (target) return SendMessageA(target, msg, wp, lp);
        }
        break;
    case WM_NCDESTROY:
        SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        RemovePropA(dialog, kProp);
        delete x;
        return CallWindowProcA(previous, dialog, msg, wp, lp);
    }
    return CallWindowProcA(previous, dialog, msg, wp, lp);
}

} // namespace

extern "C" BOOL WINAPI InstallDlgX(HWND dialog)
{
    if (!IsWindow(dialog)) return FALSE;
    DlgX *x = Find(dialog);
    if (x) {
        ++x->installs;
        return TRUE;
    }
    x = new (std::nothrow) DlgX;
    if (!x) return FALSE;
    if (!SetPropA(dialog, kProp, x)) {
        delete x;
        return FALSE;
    }
    x->installs = 1;
    x->previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc)));
    if (!x->previous) {
        RemovePropA(dialog, kProp);
        delete x;
        return FALSE;
    }
    return TRUE;
}

extern "C" BOOL WINAPI RemoveDlgX(HWND dialog)
{
    DlgX *x = Find(dialog);
    if (!x) return FALSE;
    if (--x->installs > 0) return TRUE;
    /* Only unhook when nobody subclassed the dialog after us. */
    if (GetWindowLongPtrA(dialog, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(SubclassProc)) {
        SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(x->previous));
        RemovePropA(dialog, kProp);
        delete x;
    } else {
        x->installs = 0;
        x->hooks.clear();
        x->want_init.clear();
    }
    return TRUE;
}

extern "C" LRESULT WINAPI DlgXProc(HWND dialog, UINT sub, WPARAM wp, LPARAM lp)
{
    DlgX *x = Find(dialog);
    if (!x) return 0;
    HWND target = reinterpret_cast<HWND>(lp);
    switch (sub) {
    case DLGX_HOOK:
        if (!IsWindow(target) || !GetDlgItem(dialog, static_cast<int>(wp))) return 0;
        for (Hook &h : x->hooks)
            if (h.id == static_cast<int>(wp)) {
                h.target = target;
                return 1;
            }
        x->hooks.push_back({static_cast<int>(wp), target});
        return 1;
    case DLGX_UNHOOK:
        for (size_t i = 0; i < x->hooks.size(); ++i)
            if (x->hooks[i].id == static_cast<int>(wp) && x->hooks[i].target == target) {
                x->hooks.erase(x->hooks.begin() + static_cast<long>(i));
                return 1;
            }
        return 0;
    case DLGX_WANTINIT:
        if (!IsWindow(target)) return 0;
        x->want_init.push_back(target);
        return 1;
    }
    return 0;
}
