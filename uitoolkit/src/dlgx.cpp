/* DlgX: a subclass of a dialog that routes the notifications Windows sends
 * to the dialog about a child (owner-draw requests, commands, scroll and
 * colour messages) to a registered target, runs one-shot work at
 * WM_INITDIALOG and paints a background colour.
 *
 * Tundrix32 and Placet.dll both carry this code. Both find a dialog's state
 * through the same global atom and use the same record, so a dialog that
 * both libraries extend is subclassed once: the second install only counts.
 * Placet's copy is built with DLGX_NOTIFY_ON_INIT and marks the dialogs it
 * extends; whichever copy subclassed a marked dialog then announces its
 * WM_INITDIALOG with "dlgX-Notify-Halvard". */
#include "tundrix32.h"
#include "internal.h"
#include "dlgx.h"

#include <cstring>

namespace {

struct DlgXHook {
    DlgXHook *next;
    UINT_PTR id;
    HWND target;
    DWORD_PTR kinds;
    DLGXCALLBACK callback;
};

struct DlgXInitWindow {
    DlgXInitWindow *next;
    HWND window;
};

struct DlgXFillEntry {
    DlgXFillEntry *next;
    HWND control;
    DWORD_PTR kind;
    DWORD_PTR range;   /* first id (low 16 bits), last id (high 16 bits) */
    DWORD_PTR selection;
};

struct DlgXState {
    WNDPROC previousProc;
    DWORD_PTR useCount;   /* installs on this dialog */
    DWORD_PTR marks;      /* kNotifyInit */
    COLORREF backColour;   /* kDlgXNoColour: none */
    HBRUSH backBrush;
    DlgXFillEntry *fillList;
    DlgXHook *hookList;
    DlgXInitWindow *initList;
};

const COLORREF kDlgXNoColour = 0x80000000;
const DWORD_PTR kNotifyInit = 0x1;

UINT g_message;
UINT g_notify;
ATOM g_atom;

/* The messages and the atom, once per module; the atom is added to the
 * global table only when no module of this process added it yet. */
bool Register()
{
    if (!g_message) g_message = RegisterWindowMessageA("dlgX-Halvard");
    if (!g_notify) g_notify = RegisterWindowMessageA("dlgX-Notify-Halvard");
    if (!g_atom) g_atom = GlobalFindAtomA("dlgX-Halvard");
    if (!g_atom) g_atom = GlobalAddAtomA("dlgX-Halvard");
    return g_message && g_notify && g_atom;
}

DlgXState *StateOf(HWND dlg)
{
    return g_atom && dlg ? static_cast<DlgXState *>(GetPropA(dlg, MAKEINTATOM(g_atom))) : nullptr;
}

template <typename T> void FreeList(T *&head)
{
    while (head) {
        T *next = head->next;
        LocalFree(head);
        head = next;
    }
}

template <typename T> T *NewNode()
{
    return static_cast<T *>(LocalAlloc(LPTR, sizeof(T)));
}

template <typename T> void Append(T *&head, T *node)
{
    T **p = &head;
    while (*p) p = &(*p)->next;
    *p = node;
}

void Fill(const DlgXFillEntry *e)
{
    const bool combo = e->kind == 2;
    const UINT add = combo ? CB_ADDSTRING : LB_ADDSTRING, select = combo ? CB_SETCURSEL : LB_SETCURSEL;
    const UINT first = LOWORD(e->range), last = HIWORD(e->range);
    HINSTANCE module = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(e->control, GWLP_HINSTANCE));
    SendMessageA(e->control, WM_SETREDRAW, FALSE, 0);
    for (UINT id = first; id <= last; ++id) {
        char text[128];
        if (LoadStringA(module, id, text, sizeof text) > 0) SendMessageA(e->control, add, 0, reinterpret_cast<LPARAM>(text));
    }
    if (last >= first && static_cast<int>(e->selection) < static_cast<int>(last - first + 1))
        SendMessageA(e->control, select, e->selection, 0);
    SendMessageA(e->control, WM_SETREDRAW, TRUE, 0);
}

LRESULT Command(HWND dlg, DlgXState *s, WPARAM wp, LPARAM lp)
{
    switch (wp) {
    case DLGX_ADDHOOK: {
        const auto *r = reinterpret_cast<const DLGXHOOKREQUEST *>(lp);
        if (!r || !GetDlgItem(dlg, static_cast<int>(r->id))) return 0;
        DlgXHook *h = NewNode<DlgXHook>();
        if (!h) return 0;
        h->id = r->id & 0xFFFF;
        h->target = r->target;
        h->kinds = r->kinds;
        h->callback = r->callback;
        Append(s->hookList, h);
        return 1;
    }
    case DLGX_REMOVEHOOK:
        for (DlgXHook **p = &s->hookList; *p; p = &(*p)->next) {
            if ((*p)->id == (lp & 0xFFFF)) {
                DlgXHook *dead = *p;
                *p = dead->next;
                LocalFree(dead);
                return 1;
            }
        }
        return 0;
    case DLGX_ADDINITWINDOW: {
        if (!lp) return 0;
        DlgXInitWindow *w = NewNode<DlgXInitWindow>();
        if (!w) return 0;
        w->window = reinterpret_cast<HWND>(lp);
        Append(s->initList, w);
        return 1;
    }
    case DLGX_ADDINITFILL: {
        const auto *r = reinterpret_cast<const DLGXFILLREQUEST *>(lp);
        if (!r || !r->control) return 0;
        DlgXFillEntry *f = NewNode<DlgXFillEntry>();
        if (!f) return 0;
        f->control = r->control;
        f->kind = r->kind;
        f->range = r->range;
        f->selection = r->selection;
        Append(s->fillList, f);
        return 1;
    }
    case DLGX_SETBKCOLOR:
        if (s->backBrush) DeleteObject(s->backBrush);
        s->backBrush = nullptr;
        s->backColour = kDlgXNoColour;
        if (static_cast<LONG>(lp) >= 0) {
            s->backColour = static_cast<COLORREF>(lp);
            s->backBrush = CreateSolidBrush(s->backColour);
        }
        return 0;
    case DLGX_RELAY: {
        /* Past the hooks: a hooked control relays its own messages here. */
        const auto *r = reinterpret_cast<const DLGXRELAYREQUEST *>(lp);
        if (!r) return 0;
        if (s->backColour != kDlgXNoColour && (r->message == WM_CTLCOLORMSGBOX || r->message == WM_CTLCOLORBTN ||
                                               r->message == WM_CTLCOLORDLG || r->message == WM_CTLCOLORSTATIC)) {
            SetBkColor(reinterpret_cast<HDC>(r->wp), s->backColour);
            return reinterpret_cast<LRESULT>(s->backBrush);
        }
        return CallWindowProcA(s->previousProc, dlg, r->message, r->wp, r->lp);
    }
    case DLGX_GETOLDPROC: return reinterpret_cast<LRESULT>(s->previousProc);
    default: return 0;
    }
}

int ControlIdOf(LPARAM lp) { return lp ? GetDlgCtrlID(reinterpret_cast<HWND>(lp)) : 0; }

}  // namespace

UINT DlgXMessage()
{
    Register();
    return g_message;
}

UINT DlgXNotifyMessage()
{
    Register();
    return g_notify;
}

BOOL DlgXStartup() { return Register() ? TRUE : FALSE; }

int DlgXUseCount(HWND dlg)
{
    DlgXState *s = StateOf(dlg);
    return s ? static_cast<int>(s->useCount) : 0;
}

extern "C" BOOL WINAPI InstallDlgX(HWND dlg)
{
    if (!dlg || !IsWindow(dlg) || !Register()) return FALSE;
#ifdef DLGX_NOTIFY_ON_INIT
    const DWORD_PTR marks = kNotifyInit;
#else
    const DWORD_PTR marks = 0;
#endif
    if (DlgXState *s = StateOf(dlg)) {
        ++s->useCount;
        s->marks |= marks;
        return TRUE;
    }
    auto *s = static_cast<DlgXState *>(LocalAlloc(LPTR, sizeof(DlgXState)));
    if (!s) return FALSE;
    s->backColour = kDlgXNoColour;
    s->useCount = 1;
    s->marks = marks;
    if (!SetPropA(dlg, MAKEINTATOM(g_atom), s)) {
        LocalFree(s);
        return FALSE;
    }
    s->previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(dlg, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DlgXProc)));
    if (!s->previousProc) {
        RemovePropA(dlg, MAKEINTATOM(g_atom));
        LocalFree(s);
        return FALSE;
    }
    return TRUE;
}

extern "C" BOOL WINAPI RemoveDlgX(HWND dlg)
{
    DlgXState *s = StateOf(dlg);
    if (!s) return FALSE;
    FreeList(s->hookList);
    FreeList(s->initList);
    FreeList(s->fillList);
    if (s->backBrush) DeleteObject(s->backBrush);
    SetWindowLongPtrA(dlg, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(s->previousProc));
    RemovePropA(dlg, MAKEINTATOM(g_atom));
    LocalFree(s);
    return TRUE;
}

extern "C" LRESULT CALLBACK DlgXProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    DlgXState *s = StateOf(dlg);
    if (!s) return DefWindowProcA(dlg, msg, wp, lp);
    if (msg == g_message) return Command(dlg, s, wp, lp);

    int id = -1;
    DWORD kind = 0;
    switch (msg) {
    case WM_DRAWITEM: case WM_MEASUREITEM: case WM_DELETEITEM: case WM_COMPAREITEM:
        id = static_cast<int>(wp);
        kind = DLGX_KIND_ITEM;
        break;
    case WM_COMMAND:
        id = LOWORD(wp);
        kind = DLGX_KIND_COMMAND;
        break;
    case WM_HSCROLL: case WM_VSCROLL:
        if (reinterpret_cast<HWND>(lp) != dlg && lp) {
            id = ControlIdOf(lp);
            kind = DLGX_KIND_SCROLL;
        }
        break;
    case WM_CTLCOLORMSGBOX: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN: case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC:
        id = ControlIdOf(lp);
        kind = DLGX_KIND_COLOUR;
        break;
    default: break;
    }
    if (kind) {
        for (DlgXHook *h = s->hookList; h; h = h->next) {
            if (static_cast<int>(h->id) != (id & 0xFFFF) || !(h->kinds & kind)) continue;
            if ((h->kinds & DLGX_KIND_CALLBACK) && h->callback) return h->callback(h->target, msg, wp, lp);
            return SendMessageA(h->target, msg, wp, lp);
        }
        if (kind == DLGX_KIND_COLOUR && s->backColour != kDlgXNoColour &&
            (msg == WM_CTLCOLORMSGBOX || msg == WM_CTLCOLORBTN || msg == WM_CTLCOLORDLG || msg == WM_CTLCOLORSTATIC)) {
            SetBkColor(reinterpret_cast<HDC>(wp), s->backColour);
            return reinterpret_cast<LRESULT>(s->backBrush);
        }
    }
    if (msg == WM_INITDIALOG) {
        while (DlgXInitWindow *w = s->initList) {
            s->initList = w->next;
            SendMessageA(w->window, WM_INITDIALOG, wp, lp);
            LocalFree(w);
        }
        while (DlgXFillEntry *f = s->fillList) {
            s->fillList = f->next;
            Fill(f);
            LocalFree(f);
        }
        /* An init window may have removed the extension. */
        if (!(s = StateOf(dlg))) return CallWindowProcA(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(dlg, GWLP_WNDPROC)), dlg, msg, wp, lp);
        if (s->marks & kNotifyInit) {
            SendMessageA(dlg, g_notify, 1, 0);
            if (!(s = StateOf(dlg))) return CallWindowProcA(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(dlg, GWLP_WNDPROC)), dlg, msg, wp, lp);
        }
    }
    if (msg == WM_NCDESTROY) {
        WNDPROC previous = s->previousProc;
        RemoveDlgX(dlg);
        return previous ? CallWindowProcA(previous, dlg, msg, wp, lp) : DefWindowProcA(dlg, msg, wp, lp);
    }
    return CallWindowProcA(s->previousProc, dlg, msg, wp, lp);
}
