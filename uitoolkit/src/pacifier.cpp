/* Pacifiers: small modeless progress dialogs with a status line, a bar and
 * an optional Cancel button, polled for cancellation between steps. */
#include "internal.h"
#include "tundrix32.h"
#include "dialogs.h"

#include <cstdio>
#include <new>

namespace {

const ATOM kPacifierProp = 3; /* integer atom naming the dialog's property */
const UINT kSetProp = WM_USER + 14;

struct Pacifier {
    virtual void CancelRequested() { cancelled = TRUE; }
    virtual ~Pacifier() = default;

    HWND dialog = nullptr;
    int last = -1;     /* last drawn percentage, -1 before the first drawing */
    int position = 0;
    int step = 1;
    int range = 0;     /* 0: positions are percentages */
    BOOL count_mode = FALSE;
    BOOL cancelled = FALSE;
};

Pacifier *FromHandle(PACIFIER handle) { return reinterpret_cast<Pacifier *>(handle); }

int Percentage(const Pacifier *p)
{
    long long pct = p->range ? static_cast<long long>(p->position) * 100 / p->range : p->position;
    if (pct < 0) pct = 0;
    if (pct > 100) pct = 100;
    return static_cast<int>(pct);
}

void DrawBar(Pacifier *p, int pct)
{
    HWND bar = GetDlgItem(p->dialog, PACIFIER_BAR);
    if (bar) {
        SendMessageA(bar, WM_SETREDRAW, FALSE, 0);
        DWORD value = 0x808080u | (static_cast<DWORD>((pct * 127 / 100) | 0x80) << 24);
        SendMessageA(bar, kSetProp, 0x7F, static_cast<LPARAM>(value));
        char text[32];
        if (p->count_mode) snprintf(text, sizeof text, "%d", p->position);
        else snprintf(text, sizeof text, "%d%%", pct);
        SetWindowTextA(bar, text);
        SendMessageA(bar, WM_SETREDRAW, TRUE, 0);
    }
    p->last = pct;
    RedrawWindow(p->dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void Update(Pacifier *p)
{
    int pct = Percentage(p);
    bool due = p->last < 0 || pct - p->last >= p->step || p->last - pct >= p->step || (pct == 0 && p->last != 0) ||
               (pct == 100 && p->last != 100);
    if (due) DrawBar(p, pct);
}

INT_PTR CALLBACK PacifierProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    Pacifier *p = static_cast<Pacifier *>(GetPropA(dlg, MAKEINTATOM(kPacifierProp)));
    switch (msg) {
    case WM_INITDIALOG:
        SetPropA(dlg, MAKEINTATOM(kPacifierProp), reinterpret_cast<HANDLE>(lp));
        CenterWindow(dlg, GetParent(dlg));
        return TRUE;
    case WM_COMMAND:
        if (p && LOWORD(wp) == IDCANCEL) p->CancelRequested();
        return TRUE;
    case WM_DESTROY:
        RemovePropA(dlg, MAKEINTATOM(kPacifierProp));
        return FALSE;
    case WM_ERASEBKGND:
    case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC: {
        /* The owner paints the background (a textured parent shows through). */
        HWND parent = GetParent(dlg);
        if (!parent) return FALSE;
        LRESULT r = SendMessageA(parent, msg, wp, lp);
        if (msg == WM_ERASEBKGND) {
            SetWindowLongPtrA(dlg, DWLP_MSGRESULT, r);
            return r != 0;
        }
        return static_cast<INT_PTR>(r);
    }
    default:
        if (msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST && GetParent(dlg)) {
            SendMessageA(GetParent(dlg), msg, wp, lp);
            return TRUE;
        }
        return FALSE;
    }
}

/* Looks at the pending input of one window (and its children): the first
 * click, command or key press decides; other input is dropped. */
bool PollWindow(Pacifier *p, HWND window, bool *decided)
{
    MSG msg;
    static const UINT ranges[][2] = {{WM_KEYFIRST, WM_KEYLAST}, {WM_MOUSEFIRST, WM_MOUSELAST}, {WM_COMMAND, WM_COMMAND}};
    for (const auto &r : ranges) {
        while (PeekMessageA(&msg, window, r[0], r[1], PM_REMOVE)) {
            if (msg.message == WM_LBUTTONDOWN) {
                HWND cancel = GetDlgItem(p->dialog, IDCANCEL);
                if (cancel && msg.hwnd == cancel) {
                    SendMessageA(cancel, WM_LBUTTONDOWN, msg.wParam, msg.lParam);
                    SendMessageA(cancel, WM_LBUTTONUP, msg.wParam, msg.lParam);
                    p->cancelled = TRUE;
                }
                *decided = true;
                return true;
            }
            if (msg.message == WM_COMMAND) {
                if (LOWORD(msg.wParam) == IDCANCEL) p->cancelled = TRUE;
                *decided = true;
                return true;
            }
            if (msg.message == WM_KEYDOWN) {
                if (msg.wParam == VK_ESCAPE) p->cancelled = TRUE;
                *decided = true;
                return true;
            }
        }
    }
    return false;
}

}  // namespace

extern "C" {

PACIFIER __cdecl iPacifierInitEx(HWND owner, HINSTANCE module, UINT template_id, int range, void *cancel)
{
    if (!owner) return nullptr;
    Pacifier *p = new (std::nothrow) Pacifier;
    if (!p) return nullptr;
    if (!module) module = TundrixResources();
    if (!template_id) template_id = cancel ? PACIFIER_CANCEL_TEMPLATE : PACIFIER_TEMPLATE;
    p->range = range;
    p->dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(template_id), owner, PacifierProc,
                                   reinterpret_cast<LPARAM>(p));
    if (!p->dialog) {
        delete p;
        return nullptr;
    }
    ShowWindow(p->dialog, SW_SHOWNA);
    return reinterpret_cast<PACIFIER>(p);
}

PACIFIER __cdecl iPacifierInit(HWND owner, int range, BOOL with_cancel)
{
    if (!owner) return nullptr;
    return iPacifierInitEx(owner, nullptr, with_cancel ? PACIFIER_CANCEL_TEMPLATE : PACIFIER_TEMPLATE, range, nullptr);
}

void __cdecl iPacifierClose(PACIFIER handle)
{
    Pacifier *p = FromHandle(handle);
    if (!p) return;
    if (p->dialog) DestroyWindow(p->dialog);
    delete p;
}

void __cdecl iPacifierSetPos(PACIFIER handle, int position)
{
    Pacifier *p = FromHandle(handle);
    if (!p) return;
    p->position = position;
    Update(p);
}

void __cdecl iPacifierSetRange(PACIFIER handle, int low, int high)
{
    Pacifier *p = FromHandle(handle);
    if (!p) return;
    p->range = high - low + 1;
    p->position = 0;
    p->step = 2;
    DrawBar(p, 0);
}

void __cdecl iPacifierSetIncr(PACIFIER handle, int step)
{
    Pacifier *p = FromHandle(handle);
    if (!p) return;
    if (step == -1) {
        if (p->range >= 10000) step = 1;
        else if (p->range >= 5000) step = 2;
        else if (p->range >= 1000) step = 5;
        else step = 10;
    }
    p->step = step < 1 ? 1 : step;
}

void __cdecl iPacifierSetStatusText(PACIFIER handle, LPCSTR text)
{
    Pacifier *p = FromHandle(handle);
    if (!p) return;
    HWND status = GetDlgItem(p->dialog, PACIFIER_STATUS);
    SetWindowTextA(status, text ? text : "");
    RedrawWindow(status, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void __cdecl iPacifierSetCaption(PACIFIER handle, LPCSTR text)
{
    Pacifier *p = FromHandle(handle);
    if (p) SetWindowTextA(p->dialog, text ? text : "");
}

BOOL __cdecl iPacifierCheckCancel(PACIFIER handle)
{
    Pacifier *p = FromHandle(handle);
    if (!p) return FALSE;
    bool decided = false;
    if (!PollWindow(p, p->dialog, &decided)) {
        HWND parent = GetParent(p->dialog);
        if (parent) PollWindow(p, parent, &decided);
    }
    return p->cancelled ? 1 : 0;
}

}  // extern "C"
