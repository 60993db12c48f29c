/* Pointing at a window with the mouse, and routing the background painting
 * of MDI children to their parents. */
#include "internal.h"
#include "tundrix32.h"

namespace {

const char kOldProc[] = "MDICHILDHOOK_OLDWINPROC";

/* The innermost window under a screen point. */
HWND WindowUnder(POINT pt)
{
    HWND w = WindowFromPoint(pt);
    while (w) {
        POINT client = pt;
        ScreenToClient(w, &client);
        HWND child = ChildWindowFromPoint(w, client);
        if (!child || child == w) break;
        w = child;
    }
    return w;
}

struct Picker {
    SELECTWINDOWREQUEST *req;
    HWND self;
    HCURSOR pick, no;
    HWND outlined;
    RECT outline;
};

bool Acceptable(Picker *p, HWND w, POINT pt)
{
    SELECTWINDOWREQUEST *req = p->req;
    if (!w || w == p->self) return false;
    if (req->flags & SELWIN_FILTER) {
        req->last_answer = req->filter ? req->filter(w, 3, req->data) : 0;
        if (req->last_answer & 0x8000) return true;
        if (!req->last_answer) return false;
    }
    if (!(req->flags & SELWIN_HIDDEN) && !IsWindowVisible(w)) return false;
    if (!(req->flags & SELWIN_DISABLED) && !IsWindowEnabled(w)) return false;
    if (!(req->flags & SELWIN_TRANSPARENT)) {
        if (GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_TRANSPARENT) return false;
        /* A disabled window is not asked: it answers no hit test. */
        if (IsWindowEnabled(w) && SendMessageA(w, WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y)) == HTTRANSPARENT)
            return false;
    }
    if (req->flags & SELWIN_THREAD) {
        if (GetWindowThreadProcessId(w, nullptr) != static_cast<DWORD>(req->restriction)) return false;
    } else if (req->restriction) {
        if (!IsDescendant(reinterpret_cast<HWND>(req->restriction), w, !(req->flags & SELWIN_STRICT))) return false;
    }
    return true;
}

void MoveOutline(Picker *p, HWND w)
{
    if (w == p->outlined) return;
    HDC dc = GetDC(nullptr);
    if (p->outlined) OutlineRect(dc, &p->outline); /* drawn with XOR: a second drawing removes it */
    p->outlined = w;
    if (w) {
        GetWindowRect(w, &p->outline);
        OutlineRect(dc, &p->outline);
    }
    ReleaseDC(nullptr, dc);
}

}  // namespace

extern "C" {

HWND WINAPI SelectWindowEx(SELECTWINDOWREQUEST *req)
{
    if (!req) return nullptr;
    req->chosen = nullptr;
    Picker p = {};
    p.req = req;
    p.pick = req->pick_cursor;
    if (!p.pick && !(req->flags & SELWIN_KEEPCURSOR)) p.pick = LoadCursorA(nullptr, MAKEINTRESOURCEA(32516));
    p.no = req->no_cursor;
    if (!p.no && !(req->flags & SELWIN_NONOCURSOR)) p.no = LoadCursorA(nullptr, MAKEINTRESOURCEA(32648));
    p.self = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, req->owner, nullptr, nullptr, nullptr);
    if (!p.self) {
        if ((req->flags & SELWIN_REPORTFAIL) && req->filter) req->filter(nullptr, 0, req->data);
        return nullptr;
    }
    /* The button that ends picking: the left one, unless only the right one
     * is held as picking starts. */
    bool right = (GetAsyncKeyState(VK_RBUTTON) & 0x8000) && !(GetAsyncKeyState(VK_LBUTTON) & 0x8000);
    UINT end_message = right ? WM_RBUTTONUP : WM_LBUTTONUP;
    HCURSOR old_cursor = GetCursor();
    SetCapture(p.self);
    HWND accepted = nullptr;
    bool done = false, cancelled = false;
    MSG msg;
    while (!done && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
            if (msg.wParam == VK_ESCAPE) cancelled = done = true;
            continue;
        }
        if (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST) {
            POINT pt = {static_cast<short>(LOWORD(msg.lParam)), static_cast<short>(HIWORD(msg.lParam))};
            if (msg.hwnd) ClientToScreen(msg.hwnd, &pt);
            HWND under = WindowUnder(pt);
            if (Acceptable(&p, under, pt)) {
                accepted = under;
                MoveOutline(&p, under);
                if (p.pick) SetCursor(p.pick);
            } else {
                MoveOutline(&p, nullptr);
                if (p.no) SetCursor(p.no);
            }
            if (msg.message == end_message) done = true;
            continue;
        }
        if (msg.message == WM_CANCELMODE || (msg.message == WM_CAPTURECHANGED && msg.hwnd == p.self)) {
            cancelled = done = true;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    MoveOutline(&p, nullptr);
    if (GetCapture() == p.self) ReleaseCapture();
    SetCursor(old_cursor);
    DestroyWindow(p.self);
    req->chosen = cancelled ? nullptr : accepted;
    return req->chosen;
}

HWND WINAPI SelectWindow(HWND owner, HCURSOR pick_cursor, HCURSOR no_cursor, DWORD flags,
                         LRESULT (CALLBACK *filter)(HWND, int, LPARAM), LPARAM data, ULONG_PTR restriction)
{
    SELECTWINDOWREQUEST req = {};
    req.owner = owner;
    req.pick_cursor = pick_cursor;
    req.no_cursor = no_cursor;
    req.flags = flags;
    req.filter = filter;
    req.data = data;
    req.restriction = restriction;
    return SelectWindowEx(&req);
}

LRESULT CALLBACK TextureHookWinproc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    WNDPROC old = reinterpret_cast<WNDPROC>(GetPropA(w, kOldProc));
    if ((msg == WM_ERASEBKGND || msg == 25) && GetParent(w)) return SendMessageA(GetParent(w), msg, wp, lp);
    if (!old) return DefWindowProcA(w, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        RemovePropA(w, kOldProc);
    }
    return CallWindowProcA(old, w, msg, wp, lp);
}

BOOL WINAPI SetTextureHook(HWND parent, WNDENUMPROC proc)
{
    if (!parent) return FALSE;
    if (proc) EnumChildWindows(parent, proc, 0);
    return TRUE;
}

static bool IsMdiClient(HWND w)
{
    char cls[32] = {};
    GetClassNameA(w, cls, sizeof cls);
    return !lstrcmpiA(cls, "MDIClient");
}

static BOOL CALLBACK HookChild(HWND w, LPARAM)
{
    if (IsMdiClient(w) || GetPropA(w, kOldProc)) return TRUE;
    LONG_PTR old = GetWindowLongPtrA(w, GWLP_WNDPROC);
    if (old == reinterpret_cast<LONG_PTR>(TextureHookWinproc)) return TRUE;
    SetPropA(w, kOldProc, reinterpret_cast<HANDLE>(old));
    SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TextureHookWinproc));
    return TRUE;
}

BOOL WINAPI SetMDIFrameTextureHook(HWND frame) { return SetTextureHook(frame, HookChild); }

BOOL WINAPI RemoveMDITextureHook(HWND w)
{
    WNDPROC old = reinterpret_cast<WNDPROC>(GetPropA(w, kOldProc));
    if (!old) return FALSE;
    SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
    RemovePropA(w, kOldProc);
    return TRUE;
}

static BOOL CALLBACK UnhookChild(HWND w, LPARAM)
{
    if (!IsMdiClient(w)) RemoveMDITextureHook(w);
    return TRUE;
}

BOOL WINAPI RemoveMDIAllHooks(HWND frame)
{
    if (!frame) return FALSE;
    EnumChildWindows(frame, UnhookChild, 0);
    return TRUE;
}

}  // extern "C"
