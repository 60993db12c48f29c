/* KnobsetWndProc: creation, the input state machine, notifications and the
 * button's messages. */
#include "internal.h"
#include "knobset.h"
#include "propstr.h"

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <cstring>

UINT KnobkitPropAtom();
UINT KnobkitRegisteredMessage();

namespace {

enum : uint32_t {
    ST_CAPTURED = 0x80,
    ST_LDOWN = 0x100,
    ST_LDBL = 0x200,
    ST_MDOWN = 0x400,
    ST_MDBL = 0x800,
    ST_RDOWN = 0x1000,
    ST_RDBL = 0x2000,
    ST_SPACE = 0x4000,
    ST_SHIFT = 0x8000,
    ST_CONTROL = 0x10000,
    ST_PRESSED = 0x20000,
    ST_REPEAT = 0x40000,
    ST_RPRESSED = 0x80000,
    ST_NEAR = 0x100000,
    ST_POLL = 0x800000,
    ST_TABSTOP_GIVEN = 0x10000000,
    ST_ARROWSTEP = 0x20000000,
    ST_SEL_BY_MSG = 0x40000000,
    ST_CREATING = 0x80000000,
};

enum { TIMER_REPEAT_FIRST = 500, TIMER_REPEAT = 501, TIMER_POLL = 502 };

HWND g_mouse_over;  /* the process's current mouse-over button */
WPARAM g_repaint_word;  /* WM_USER+36: a button repaints when this changes */

const uint32_t KNBS_PASSCURSOR = 0x4000000u;   /* WM_SETCURSOR goes to the notification target */
const uint32_t KNBS_HOTTRACK = 0x8000000u;
const uint32_t KNBS_MOVABLE = 0x80000000u;     /* a left drag moves the button */

/* Popups: one at a time in the process. */
HWND g_popup, g_popup_owner;
int g_popup_allow, g_popup_force;
DWORD g_popup_closed;  /* tick of the last close */
enum { TIMER_POPUP = 503, TIMER_POPUP_QUICK = 504 };
const uint32_t ST_POPUP_SUPPRESSED = 0x1000000;

ButtonRecord *Get(HWND hwnd)
{
    return static_cast<ButtonRecord *>(GetPropA(hwnd, MAKEINTATOM(KnobkitPropAtom())));
}

bool IsTwoState(const ButtonRecord *b) { return (b->style & (KNBS_CHECK | KNBS_RADIO)) != 0; }

void Post(ButtonRecord *b, int code)
{
    if (b->style & KNBS_VERBOSE) {
        uint32_t s = b->state;
        if (code >= 18 && code <= 22) {
            if (s & ST_LDOWN) code |= 0x800;
        } else if (s & ST_RDOWN) {
            code |= 0x2000;
        }
        if (s & ST_MDOWN) code |= 0x1000;
        if (s & ST_SHIFT) code |= 0x8000;
        if (s & ST_CONTROL) code |= 0x4000;
    }
    HWND to = b->target ? b->target : GetParent(b->self);
    if (to) PostMessageA(to, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(b->self), code), reinterpret_cast<LPARAM>(b->self));
}

void UncheckGroup(ButtonRecord *b)
{
    HWND parent = GetParent(b->self);
    if (!parent) return;
    HWND w = b->self;
    for (int i = 0; i < 255; ++i) {
        w = GetNextDlgGroupItem(parent, w, FALSE);
        if (!w || w == b->self) break;
        if (SendMessageA(w, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) SendMessageA(w, BM_SETCHECK, 0, 0);
    }
}

void ClosePopup()
{
    if (g_popup) {
        HWND p = g_popup;
        g_popup = nullptr;
        g_popup_owner = nullptr;
        DestroyWindow(p);
        g_popup_closed = GetTickCount();
    }
}

void ShowPopup(ButtonRecord *b)
{
    if (!b->popup_text) return;
    ClosePopup();
    char props[64];
    wsprintfA(props, "0`2`75`%lx`74`%lx", static_cast<unsigned long>(GetSysColor(COLOR_INFOBK)),
              static_cast<unsigned long>(GetSysColor(COLOR_INFOTEXT)));
    POINT pt;
    GetCursorPos(&pt);
    HWND p = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, "Knobset", props,
                             WS_POPUP | KNBS_STATIC | KNBS_BORDER, pt.x, pt.y + 22, 10, 10, b->self, nullptr,
                             reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(b->self, GWLP_HINSTANCE)), nullptr);
    if (!p) return;
    SendMessageA(p, KNBM_SETPROP, 0x171, reinterpret_cast<LPARAM>(b->popup_text));
    NONCLIENTMETRICSA ncm = {};
    ncm.cbSize = sizeof ncm;
    HFONT font = nullptr;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0)) font = CreateFontIndirectA(&ncm.lfStatusFont);
    if (!font) font = CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
    if (font) SendMessageA(p, KNBM_SETPROP, 0x7B | propstr::kGdi | propstr::kOwnTakeHandle, reinterpret_cast<LPARAM>(font));
    SendMessageA(p, KNBM_SIZETOCONTENT, 5, 0x40008);
    ShowWindow(p, SW_SHOWNOACTIVATE);
    g_popup = p;
    g_popup_owner = b->self;
}

void ArmPopup(ButtonRecord *b)
{
    if (!b->popup_text || g_popup_owner == b->self) return;
    bool quick = g_popup || GetTickCount() - g_popup_closed < 400;
    SetTimer(b->self, TIMER_POPUP, quick ? 90 : 900, nullptr);
}

void StopTimers(ButtonRecord *b)
{
    KillTimer(b->self, TIMER_REPEAT_FIRST);
    KillTimer(b->self, TIMER_REPEAT);
}

void Cancel(ButtonRecord *b)
{
    StopTimers(b);
    KillTimer(b->self, TIMER_POLL);
    KillTimer(b->self, TIMER_POPUP);
    if (g_popup_owner == b->self) ClosePopup();
    if (GetCapture() == b->self) ReleaseCapture();
    b->state &= ~0x3FFFC0u;
    if (g_mouse_over == b->self) g_mouse_over = nullptr;
    bool keep = (b->style & KNBS_STAYDOWN) && (b->state & KNBST_CHECKED);
    if (!keep && !(b->state & ST_SEL_BY_MSG)) b->state &= ~KNBST_SELECTED;
    InvalidateRect(b->self, nullptr, FALSE);
}

uint32_t Apply(uint32_t state, unsigned op, uint32_t mask)
{
    switch (op & 7) {
    case 4: return mask;
    case 5: return state | mask;
    case 6: return state & ~mask;
    case 7: return state ^ mask;
    }
    return state;
}

/* A checked tab grows over its neighbours (left and top by 2, right by 2,
 * bottom by 1) and draws over them; unchecked it shrinks back. */
void TabGrow(ButtonRecord *b, bool grow)
{
    HWND parent = GetParent(b->self);
    RECT r;
    GetWindowRect(b->self, &r);
    if (parent) MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&r), 2);
    RECT before = r;
    LONG ws = GetWindowLongA(b->self, GWL_STYLE), ex = GetWindowLongA(b->self, GWL_EXSTYLE);
    if (grow) {
        r.left -= 2;
        r.top -= 2;
        r.right += 2;
        r.bottom += 1;
        b->tab_clip = (ws & WS_CLIPSIBLINGS) != 0;
        b->tab_transparent = (ex & WS_EX_TRANSPARENT) != 0;
        SetWindowLongA(b->self, GWL_STYLE, ws & ~WS_CLIPSIBLINGS);
        SetWindowLongA(b->self, GWL_EXSTYLE, ex | WS_EX_TRANSPARENT);
    } else {
        r.left += 2;
        r.top += 2;
        r.right -= 2;
        r.bottom -= 1;
        if (b->tab_clip) SetWindowLongA(b->self, GWL_STYLE, ws | WS_CLIPSIBLINGS);
        if (!b->tab_transparent) SetWindowLongA(b->self, GWL_EXSTYLE, ex & ~WS_EX_TRANSPARENT);
    }
    SetWindowPos(b->self, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT both;
    UnionRect(&both, &before, &r);
    if (parent) InvalidateRect(parent, &both, TRUE);
}

/* Where a sibling covers this button's corners: 1 top-left, 2 top-right,
 * 4 bottom-left, 8 bottom-right. A neighbour touches an edge (within one
 * pixel) and overlaps along it. */
uint32_t CoveredCorners(HWND self)
{
    HWND parent = GetParent(self);
    if (!parent) return 0;
    RECT me;
    GetWindowRect(self, &me);
    uint32_t corners = 0;
    for (HWND w = GetWindow(parent, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (w == self || !IsWindowVisible(w)) continue;
        RECT n;
        GetWindowRect(w, &n);
        if (n.right - n.left <= 2 || n.bottom - n.top <= 2) continue;
        char cls[32] = {};
        GetClassNameA(w, cls, sizeof cls);
        if (!lstrcmpiA(cls, "Knobset")) {
            if (SendMessageA(w, KNBM_STYLEOP, 0, 0) & KNBS_HOTTRACK) continue;
        } else if (!lstrcmpiA(cls, "Button")) {
            LONG ws = GetWindowLongA(w, GWL_STYLE);
            LONG type = ws & BS_TYPEMASK;
            if (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON && !(ws & BS_PUSHLIKE)) continue;
        } else if (!lstrcmpiA(cls, "Placet") || !lstrcmpiA(cls, "Static") || !lstrcmpiA(cls, "#32770")) {
            continue;
        }
        const bool rows = n.top < me.bottom && n.bottom > me.top;     /* overlap up and down */
        const bool columns = n.left < me.right && n.right > me.left;  /* overlap across */
        if (rows && std::abs(n.right - me.left) <= 1) {
            if (n.top <= me.top) corners |= 1;
            if (n.bottom >= me.bottom) corners |= 4;
        }
        if (rows && std::abs(n.left - me.right) <= 1) {
            if (n.top <= me.top) corners |= 2;
            if (n.bottom >= me.bottom) corners |= 8;
        }
        if (columns && std::abs(n.bottom - me.top) <= 1) {
            if (n.left <= me.left) corners |= 1;
            if (n.right >= me.right) corners |= 2;
        }
        if (columns && std::abs(n.top - me.bottom) <= 1) {
            if (n.left <= me.left) corners |= 4;
            if (n.right >= me.right) corners |= 8;
        }
    }
    return corners;
}

void UpdateCorners(ButtonRecord *b)
{
    uint32_t corners = CoveredCorners(b->self);
    if (corners == b->face[0].corners && corners == b->face[1].corners && corners == b->face[2].corners) return;
    for (StateRecord &f : b->face) f.corners = corners;
    InvalidateRect(b->self, nullptr, FALSE);
}

RECT RectInParent(HWND w)
{
    RECT r;
    GetWindowRect(w, &r);
    if (HWND parent = GetParent(w)) MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&r), 2);
    return r;
}

/* The move loop of a movable button: the left button drags it (with Control
 * held it is sized instead) until it is released; a right-button release
 * puts it back. Notifies 25 at the start, 26 for each move, 28 when put
 * back and 27 at the end. Losing the capture ends the move too. */
void MoveLoop(ButtonRecord *b)
{
    HWND w = b->self;
    Post(b, KNBN_MOVESTART);
    const RECT start = RectInParent(w);
    RECT wr;
    GetWindowRect(w, &wr);
    POINT last;
    GetCursorPos(&last);
    POINT kept = {std::max(wr.left, std::min(last.x, wr.right - 1)), std::max(wr.top, std::min(last.y, wr.bottom - 1))};
    if (kept.x != last.x || kept.y != last.y) {
        SetCursorPos(kept.x, kept.y);
        last = kept;
    }
    SetCapture(w);
    HCURSOR old_cursor = SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32516)));  /* up arrow */
    for (;;) {
        if (GetCapture() != w || !IsWindow(w)) break;
        MSG m;
        BOOL got = GetMessageA(&m, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0) PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        if (m.message < WM_MOUSEFIRST || m.message > WM_MOUSELAST) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
            continue;
        }
        if (m.message == WM_RBUTTONUP) {
            SetWindowPos(w, nullptr, start.left, start.top, start.right - start.left, start.bottom - start.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            Post(b, KNBN_MOVED);
            Post(b, KNBN_MOVECANCEL);
            break;
        }
        if (m.message == WM_LBUTTONUP) break;
        if (!(m.wParam & MK_LBUTTON)) continue;
        const int dx = m.pt.x - last.x, dy = m.pt.y - last.y;
        if (!dx && !dy) continue;
        last = m.pt;
        RECT r = RectInParent(w);
        if (m.wParam & MK_CONTROL)
            SetWindowPos(w, nullptr, 0, 0, std::max<LONG>(2, r.right - r.left + dx), std::max<LONG>(2, r.bottom - r.top + dy),
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        else
            SetWindowPos(w, nullptr, r.left + dx, r.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        Post(b, KNBN_MOVED);
    }
    if (IsWindow(w) && GetCapture() == w) ReleaseCapture();
    SetCursor(old_cursor);
    Post(b, KNBN_MOVEEND);
}

} // namespace

/* One state operation: the heart of the button's input handling. */
uint32_t KnobStateOp(ButtonRecord *b, unsigned op, uint32_t mask, bool programmatic)
{
    uint32_t old = b->state;
    switch (op & 7) {
    case 0: return old;
    case 1: return old & mask;
    case 2: return (old & mask) != 0;
    case 3: return (old & mask) == mask;
    }
    uint32_t s = Apply(old, op, mask);
    if (programmatic) s = (old & ~0x1000005u) | (s & 0x1000005u);
    if (!IsTwoState(b) && (s & KNBST_CHECKED)) {
        s &= ~KNBST_CHECKED;
        s |= KNBST_SELECTED | (programmatic ? ST_SEL_BY_MSG : 0);
    }
    if (programmatic && (mask & KNBST_SELECTED) && !(s & KNBST_SELECTED)) s &= ~ST_SEL_BY_MSG;
    if (programmatic && (mask & KNBST_SELECTED) && (s & KNBST_SELECTED)) s |= ST_SEL_BY_MSG;

    bool click = false, rclick = false, drag = false, rdrag = false;
    bool over = (s & KNBST_MOUSEOVER) != 0;
    if (!(s & KNBST_DISABLED) && !(b->style & KNBS_STATIC)) {
        bool left_press = (s & ST_SPACE) || ((s & ST_LDOWN) && over);
        if (left_press && !(s & ST_PRESSED) && ((s ^ old) & (ST_SPACE | ST_LDOWN))) {
            s |= ST_PRESSED | KNBST_SELECTED;
            if (b->style & KNBS_REPEAT) s |= ST_REPEAT;
            if (b->style & KNBS_PRESSCLICK) s &= ~(ST_LDOWN | ST_SPACE);
        }
        if (s & ST_PRESSED) {
            if (!(s & (ST_LDOWN | ST_SPACE))) {
                /* Released: a click when the mouse (or the space key) ended over the button. */
                bool by_space = (old & ST_SPACE) && !(s & ST_SPACE);
                click = over || by_space || (b->style & KNBS_PRESSCLICK);
                s &= ~ST_PRESSED;
            } else if (s & ST_LDOWN) {
                /* The face follows the mouse while the left button is held. */
                if (over) s |= KNBST_SELECTED;
                else if (!(s & ST_SEL_BY_MSG)) s &= ~KNBST_SELECTED;
                if ((b->style & (KNBS_EX_DRAGDROP | KNBS_MOVABLE)) && !(s & ST_NEAR) && (old & ST_NEAR)) drag = true;
            }
        }
        if (b->style & KNBS_EX_RCLICKS) {
            if ((s & ST_RDOWN) && over && !(s & ST_RPRESSED) && ((s ^ old) & ST_RDOWN)) {
                s |= ST_RPRESSED | KNBST_SELECTED;
                if (b->style & KNBS_EX_RPRESSCLICK) s &= ~ST_RDOWN;
            }
            if ((s & ST_RPRESSED) && !(s & ST_RDOWN)) {
                rclick = over || (b->style & KNBS_EX_RPRESSCLICK);
                s &= ~ST_RPRESSED;
            } else if ((s & ST_RPRESSED) && (b->style & KNBS_EX_DRAGDROP) && !(s & ST_NEAR) && (old & ST_NEAR)) {
                rdrag = true;
            }
        }
    }
    if ((old & (ST_PRESSED | ST_RPRESSED)) && !(s & (ST_PRESSED | ST_RPRESSED)) && !(s & ST_SEL_BY_MSG))
        s &= ~KNBST_SELECTED;

    if (click && (b->style & KNBS_AUTO) && IsTwoState(b)) {
        if (b->style & KNBS_CHECK) {
            if ((b->style & KNBS_RADIO) && b->version < 2) s |= KNBST_CHECKED;
            else s ^= KNBST_CHECKED;
        } else {
            s |= KNBST_CHECKED;
        }
    }
    if ((op & 0x20) && ((s ^ old) & KNBST_CHECKED) && !click) click = true;
    if ((b->style & KNBS_STAYDOWN) && IsTwoState(b)) {
        if (s & KNBST_CHECKED) s |= KNBST_SELECTED;
        else if (!(s & (ST_PRESSED | ST_RPRESSED)) && !(s & ST_SEL_BY_MSG)) s &= ~KNBST_SELECTED;
    }
    b->state = s;

    if ((s & KNBST_CHECKED) && !(old & KNBST_CHECKED) && (b->style & KNBS_RADIO) && !(s & ST_CREATING))
        UncheckGroup(b);
    if ((b->style & KNBS_EX_TABSTYLE) && ((s ^ old) & KNBST_CHECKED) && b->self) TabGrow(b, (s & KNBST_CHECKED) != 0);

    if (op & 0x20) {
        bool verbose = (b->style & KNBS_VERBOSE) != 0;
        if (verbose && (s & KNBST_SELECTED) && !(old & KNBST_SELECTED)) {
            bool right_only = (s & ST_RPRESSED) && !(s & (ST_LDOWN | ST_MDOWN));
            Post(b, right_only ? KNBN_RPRESSED : KNBN_PRESSED);
        }
        if (verbose && (s & KNBST_DISABLED) && !(old & KNBST_DISABLED)) Post(b, KNBN_DISABLED);
        if (verbose && (old & ST_LDBL) && !(s & ST_LDBL) && click) Post(b, KNBN_DBLCLK);
        if (verbose && (old & ST_RDBL) && !(s & ST_RDBL)) Post(b, KNBN_RDBLCLK);
        if (click) Post(b, KNBN_CLICKED);
        if (rclick) Post(b, KNBN_RCLICKED);
        if (verbose && !(s & KNBST_SELECTED) && (old & KNBST_SELECTED)) Post(b, rclick ? KNBN_RRELEASED : KNBN_RELEASED);
    }
    /* Drags come from mouse moves, whose operation carries no notify bit:
     * they are reported all the same. */
    if (drag && (b->style & KNBS_EX_DRAGDROP)) Post(b, KNBN_DRAG);
    if (rdrag) Post(b, KNBN_RDRAG);

    if (!click && !drag && !rclick && !rdrag) {
        if ((s & (ST_PRESSED | ST_RPRESSED)) && !(old & (ST_PRESSED | ST_RPRESSED))) {
            if (!(b->style & KNBS_EX_NOFOCUS) && GetFocus() != b->self) SetFocus(b->self);
            if (GetCapture() != b->self && (s & (ST_LDOWN | ST_RDOWN))) SetCapture(b->self);
            if (s & ST_REPEAT) SetTimer(b->self, TIMER_REPEAT_FIRST, 400, nullptr);
        }
    } else if (!(s & (ST_PRESSED | ST_RPRESSED))) {
        StopTimers(b);
        if (GetCapture() == b->self) ReleaseCapture();
        b->state &= ~(ST_REPEAT | ST_NEAR);
    }
    if (!(b->state & (ST_PRESSED | ST_RPRESSED)) && (old & (ST_PRESSED | ST_RPRESSED))) {
        StopTimers(b);
        if (GetCapture() == b->self && !(b->state & (ST_LDOWN | ST_RDOWN | ST_MDOWN))) ReleaseCapture();
        b->state &= ~ST_REPEAT;
    }

    /* Radio buttons carry the tab stop while checked and focused. */
    if ((b->style & KNBS_RADIO) && b->self) {
        LONG ws = GetWindowLongA(b->self, GWL_STYLE);
        if ((b->state & KNBST_CHECKED) && (b->state & KNBST_FOCUS) && !(ws & WS_TABSTOP)) {
            SetWindowLongA(b->self, GWL_STYLE, ws | WS_TABSTOP);
            b->state |= ST_TABSTOP_GIVEN;
        } else if (!(b->state & KNBST_CHECKED) && (b->state & ST_TABSTOP_GIVEN)) {
            SetWindowLongA(b->self, GWL_STYLE, ws & ~WS_TABSTOP);
            b->state &= ~ST_TABSTOP_GIVEN;
        }
    }

    if (((op & 0x10) || (op & 0x40)) && b->self) {
        uint32_t watch = 0x1F | 0x91FF80 | ((b->style & 0x8000000) ? 0x40 : 0);
        if (((b->state ^ old) & watch) || (op & 0x40)) InvalidateRect(b->self, nullptr, FALSE);
    }
    /* A drag ends the press; a movable button then follows the mouse. */
    if ((drag || rdrag) && b->self) {
        Cancel(b);
        if (drag && (b->style & KNBS_MOVABLE)) MoveLoop(b);
    }
    return b->state;
}

namespace {

void Mouse(ButtonRecord *b, LPARAM lp, bool moving)
{
    RECT rc;
    GetClientRect(b->self, &rc);
    POINT pt = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    bool inside = PtInRect(&rc, pt) != 0;
    uint32_t s = b->state;
    if (inside) {
        s |= KNBST_MOUSEOVER;
        if (moving && (s & ST_NEAR) && (std::abs(pt.x - b->anchor.x) > 10 || std::abs(pt.y - b->anchor.y) > 10))
            s &= ~ST_NEAR;
    } else {
        s &= ~(KNBST_MOUSEOVER | ST_NEAR);
    }
    if (s != b->state) KnobStateOp(b, 0x34, s, false);
    if (inside && g_mouse_over != b->self) {
        g_mouse_over = b->self;
        SetTimer(b->self, TIMER_POLL, 250, nullptr);
        ArmPopup(b);
    }
    if (!inside) {
        KillTimer(b->self, TIMER_POPUP);
        if (g_popup_owner == b->self) ClosePopup();
    }
}

void Press(ButtonRecord *b, LPARAM lp, unsigned op, uint32_t bits)
{
    KillTimer(b->self, TIMER_POPUP);
    ClosePopup();
    Mouse(b, lp, false);
    if (op == 0x35 && (bits & (ST_LDOWN | ST_RDOWN))) {
        b->anchor = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        b->state |= ST_NEAR;
    }
    KnobStateOp(b, op, bits, false);
}

void ApplyWindowStyle(ButtonRecord *b)
{
    LONG ws = GetWindowLongA(b->self, GWL_STYLE);
    if (b->version >= 0x02410000) {
        LONG type = 0;
        if (b->style & KNBS_STATIC) type = 7;
        else if (b->style & KNBS_RADIO) type = (b->style & KNBS_AUTO) ? 9 : 4;
        else if (b->style & KNBS_CHECK) type = (b->style & KNBS_AUTO) ? 3 : 2;
        else if (b->state & KNBST_DEFAULT) type = 1;
        ws = (ws & ~0xFF) | type;
    } else {
        ws = static_cast<LONG>((static_cast<DWORD>(ws) & 0xFFFF0000u) | (b->style & 0xFFFF));
    }
    SetWindowLongA(b->self, GWL_STYLE, ws);
}

LRESULT DlgCode(ButtonRecord *b)
{
    if (b->style & KNBS_STATIC) {
        LRESULT c = DLGC_STATIC;
        if ((b->style & KNBS_RADIO) && b->version >= 35) c |= DLGC_RADIOBUTTON;
        return c;
    }
    LRESULT c = DLGC_BUTTON;
    if ((b->style & KNBS_CHECK) && b->version < 2) return c;
    if (b->state & KNBST_DEFAULT) c |= DLGC_DEFPUSHBUTTON;
    else if (b->style & KNBS_EX_CANBEDEF) c |= DLGC_UNDEFPUSHBUTTON;
    if (b->style & KNBS_EX_NOFOCUS) c = (c & ~DLGC_BUTTON) | DLGC_STATIC;
    if (b->style & KNBS_RADIO) c |= DLGC_RADIOBUTTON;
    return c;
}

void Destroy(ButtonRecord *b)
{
    KnobResetFaces(b, true);
    std::free(b->popup_text);
    std::free(b->status_text);
    std::free(b->stored);
    std::free(b);
}

LRESULT CopyStored(ButtonRecord *b, WPARAM size, LPARAM lp)
{
    char *buf = reinterpret_cast<char *>(lp);
    if (!buf || !size || IsBadWritePtr(buf, size)) return 0;
    if (!b->stored) {
        buf[0] = 0;
        return 0;
    }
    size_t n = std::strlen(b->stored);
    if (n > size - 1) n = size - 1;
    std::memcpy(buf, b->stored, n);
    buf[n] = 0;
    return static_cast<LRESULT>(n);
}

void SizeToContent(ButtonRecord *b, WPARAM flags, LPARAM margins)
{
    const StateRecord &f = b->face[KnobFaceIndex(b)];
    HDC dc = GetDC(b->self);
    HGDIOBJ old = SelectObject(dc, f.font ? f.font : GetStockObject(DEFAULT_GUI_FONT));
    SIZE sz = {0, 0};
    if (f.text) GetTextExtentPoint32A(dc, f.text, static_cast<int>(std::strlen(f.text)), &sz);
    SelectObject(dc, old);
    ReleaseDC(b->self, dc);
    if (f.text_pos & 0x800000) std::swap(sz.cx, sz.cy);
    int w = sz.cx + LOWORD(margins), h = sz.cy + HIWORD(margins);
    RECT wr;
    GetWindowRect(b->self, &wr);
    HWND parent = GetParent(b->self);
    if (parent) MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&wr), 2);
    if ((flags & 0x303) == 0x303) w = wr.right - wr.left;
    if ((flags & 0xC0C) == 0xC0C) h = wr.bottom - wr.top;
    if (w <= 0 || h <= 0) return;
    int x = (flags & 0x2) ? wr.right - w : wr.left;
    int y = (flags & 0x8) ? wr.bottom - h : wr.top;
    RECT area;
    if (parent) GetClientRect(parent, &area);
    else SetRect(&area, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    if (!(flags & 0x100) && x + w > area.right) x = area.right - w;
    if (!(flags & 0x400) && y + h > area.bottom) y = area.bottom - h;
    if (!(flags & 0x200) && x < 0) x = 0;
    if (!(flags & 0x800) && y < 0) y = 0;
    MoveWindow(b->self, x, y, w, h, (flags & 0x1000) != 0);
}

} // namespace

extern "C" LRESULT CALLBACK KnobsetWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    ButtonRecord *b = Get(hwnd);
    if (msg == WM_NCCREATE) {
        b = static_cast<ButtonRecord *>(std::calloc(1, sizeof(ButtonRecord)));
        if (b) {
            b->self = hwnd;
            b->version = 1;
            KnobResetFaces(b, true);
            if (!SetPropA(hwnd, MAKEINTATOM(KnobkitPropAtom()), b)) {
                std::free(b);
                b = nullptr;
            }
        }
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
    if (!b) return DefWindowProcA(hwnd, msg, wp, lp);

    switch (msg) {
    case WM_CREATE: {
        const CREATESTRUCTA *cs = reinterpret_cast<const CREATESTRUCTA *>(lp);
        b->state |= ST_CREATING;
        b->target = GetParent(hwnd);
        b->style = cs->style & 0xFFFF;
        if (cs->style & WS_DISABLED) b->state |= KNBST_DISABLED;
        if (!(cs->style & WS_VISIBLE)) b->state |= KNBST_HIDDEN;
        KnobResetFaces(b, false);
        if (cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) KnobApplyString(b, cs->lpszName);
        if (b->style & KNBS_INITSELD) {
            b->state |= IsTwoState(b) ? KNBST_CHECKED : (KNBST_SELECTED | ST_SEL_BY_MSG);
            if ((b->style & KNBS_STAYDOWN) && IsTwoState(b)) b->state |= KNBST_SELECTED;
            b->style &= ~KNBS_INITSELD;
        }
        if (b->style & KNBS_INITASDEF) b->state |= KNBST_DEFAULT;
        if ((b->style & KNBS_LOOKMASK) == KNBS_WINDOWSISH) b->style = (b->style & ~KNBS_LOOKMASK) | KNBS_CHICAGO;
        ApplyWindowStyle(b);
        if (b->style & KNBS_EX_TRANSPARENT)
            SetWindowLongA(hwnd, GWL_EXSTYLE, GetWindowLongA(hwnd, GWL_EXSTYLE) | WS_EX_TRANSPARENT);
        b->state &= ~ST_CREATING;
        PostMessageA(hwnd, WM_USER + 110, 0, 0);
        return 0;
    }
    case WM_NCDESTROY:
        if (g_mouse_over == hwnd) g_mouse_over = nullptr;
        if (g_popup == hwnd) g_popup = g_popup_owner = nullptr;
        if (g_popup_owner == hwnd) ClosePopup();
        RemovePropA(hwnd, MAKEINTATOM(KnobkitPropAtom()));
        Destroy(b);
        return DefWindowProcA(hwnd, msg, wp, lp);
    case WM_DESTROY:
    case WM_CANCELMODE:
        Cancel(b);
        return 0;

    case WM_LBUTTONDOWN: Press(b, lp, 0x35, ST_LDOWN); return 0;
    case WM_LBUTTONUP: Mouse(b, lp, false); KnobStateOp(b, 0x36, ST_LDOWN | ST_LDBL, false); return 0;
    case WM_LBUTTONDBLCLK: Press(b, lp, 0x35, ST_LDOWN | ST_LDBL); return 0;
    case WM_MBUTTONDOWN: Press(b, lp, 0x35, ST_MDOWN); return 0;
    case WM_MBUTTONUP: KnobStateOp(b, 0x36, ST_MDOWN | ST_MDBL, false); return 0;
    case WM_MBUTTONDBLCLK: Press(b, lp, 0x35, ST_MDOWN | ST_MDBL); return 0;
    case WM_RBUTTONDOWN: Press(b, lp, 0x35, ST_RDOWN); return 0;
    case WM_RBUTTONUP: Mouse(b, lp, false); KnobStateOp(b, 0x36, ST_RDOWN | ST_RDBL, false); return 0;
    case WM_RBUTTONDBLCLK: Press(b, lp, 0x35, ST_RDOWN | ST_RDBL); return 0;
    case WM_MOUSEMOVE: Mouse(b, lp, true); return 0;
    case WM_KEYDOWN:
        if (lp & 0x40000000) {
            if ((wp == VK_LEFT || wp == VK_RIGHT || wp == VK_UP || wp == VK_DOWN) &&
                (b->style & KNBS_RADIO) && (b->style & KNBS_EX_CYCLIC) && !(b->state & ST_ARROWSTEP))
                KnobStateOp(b, 0x35, KNBST_CHECKED, false);
            return 0;
        }
        if (wp == VK_SHIFT) KnobStateOp(b, 0x35, ST_SHIFT, false);
        else if (wp == VK_CONTROL) KnobStateOp(b, 0x35, ST_CONTROL, false);
        else if (wp == VK_SPACE) KnobStateOp(b, 0x35, ST_SPACE, false);
        return 0;
    case WM_KEYUP:
        if (wp == VK_SHIFT) KnobStateOp(b, 0x36, ST_SHIFT, false);
        else if (wp == VK_CONTROL) KnobStateOp(b, 0x36, ST_CONTROL, false);
        else if (wp == VK_SPACE) KnobStateOp(b, 0x36, ST_SPACE, false);
        else if ((wp == VK_LEFT || wp == VK_RIGHT || wp == VK_UP || wp == VK_DOWN) &&
                 (b->style & KNBS_RADIO) && (b->style & KNBS_EX_CYCLIC) && !(b->state & ST_ARROWSTEP))
            KnobStateOp(b, 0x35, KNBST_CHECKED, false);
        return 0;
    case WM_SETFOCUS:
        if (b->style & (KNBS_STATIC | KNBS_EX_NOFOCUS)) {
            SetFocus(nullptr);
            return 0;
        }
        KnobStateOp(b, 0x35, KNBST_FOCUS, false);
        return 0;
    case WM_KILLFOCUS:
        b->state &= ~(ST_ARROWSTEP | ST_SHIFT | ST_CONTROL | ST_SPACE);
        KnobStateOp(b, 0x36, KNBST_FOCUS, false);
        return 0;
    case WM_ENABLE: KnobStateOp(b, wp ? 0x36 : 0x35, KNBST_DISABLED, false); return 0;
    case WM_SHOWWINDOW: KnobStateOp(b, wp ? 0x26 : 0x25, KNBST_HIDDEN, false); return DefWindowProcA(hwnd, msg, wp, lp);
    case WM_TIMER:
        if (wp == TIMER_REPEAT_FIRST) {
            KillTimer(hwnd, TIMER_REPEAT_FIRST);
            SetTimer(hwnd, TIMER_REPEAT, 50, nullptr);
        } else if (wp == TIMER_REPEAT) {
            if ((b->state & ST_REPEAT) && (b->state & KNBST_MOUSEOVER || b->state & ST_SPACE)) Post(b, KNBN_CLICKED);
        } else if (wp == TIMER_POPUP) {
            KillTimer(hwnd, TIMER_POPUP);
            POINT pt;
            GetCursorPos(&pt);
            HWND active = GetActiveWindow();
            bool suppressed = (b->state & ST_POPUP_SUPPRESSED) && g_popup_force <= 0;
            bool foreign = active && GetWindowThreadProcessId(active, nullptr) != GetCurrentThreadId();
            if (g_popup_allow >= 0 && !suppressed && !foreign && WindowFromPoint(pt) == hwnd) ShowPopup(b);
        } else if (wp == TIMER_POLL) {
            POINT pt;
            GetCursorPos(&pt);
            if (WindowFromPoint(pt) != hwnd && !(b->state & (ST_PRESSED | ST_RPRESSED))) {
                KillTimer(hwnd, TIMER_POLL);
                if (g_mouse_over == hwnd) g_mouse_over = nullptr;
                if (b->state & KNBST_MOUSEOVER) KnobStateOp(b, 0x16, KNBST_MOUSEOVER, false);
            }
        }
        return 0;

    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        KnobPaint(b, dc, true);
        EndPaint(hwnd, &ps);
        if (b->style & KNBS_EX_DRAWMSGS) Post(b, KNBN_PAINTED);
        return 0;
    }
    case WM_PRINTCLIENT: KnobPaint(b, reinterpret_cast<HDC>(wp), false); return 0;
    case WM_ERASEBKGND: return 0;
    case WM_SETTEXT:
    case KNBM_APPLYPROPS: {
        BOOL ok = KnobApplyString(b, reinterpret_cast<const char *>(lp));
        InvalidateRect(hwnd, nullptr, FALSE);
        return ok;
    }
    case WM_GETTEXT: {
        char *buf = reinterpret_cast<char *>(lp);
        if (!buf || !wp) return 0;
        const char *t = b->face[KnobFaceIndex(b)].text;
        lstrcpynA(buf, t ? t : "", static_cast<int>(wp));
        return static_cast<LRESULT>(std::strlen(buf));
    }
    case WM_GETTEXTLENGTH: {
        const char *t = b->face[KnobFaceIndex(b)].text;
        return t ? static_cast<LRESULT>(std::strlen(t)) : 0;
    }
    case WM_SETFONT:
        for (StateRecord &f : b->face)
            if (!f.font_by_property) {
                f.font = reinterpret_cast<HFONT>(wp);
                f.font_owned = false;
            }
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(b->face[KnobFaceIndex(b)].font);
    case WM_SIZE: InvalidateRect(hwnd, nullptr, FALSE); return 0;
    case WM_GETMINMAXINFO: reinterpret_cast<MINMAXINFO *>(lp)->ptMinTrackSize = {2, 2}; return 0;
    case WM_NCHITTEST:
        if (b->style & KNBS_STATIC) return HTTRANSPARENT;
        break;
    case WM_NCLBUTTONDBLCLK: return 0;
    case WM_GETDLGCODE: return DlgCode(b);
    case WM_COMMAND: {
        HWND from = reinterpret_cast<HWND>(lp);
        ButtonRecord *other = from && from != hwnd ? Get(from) : nullptr;
        if (other && other->target == hwnd) {
            uint32_t s = static_cast<uint32_t>(SendMessageA(from, KNBM_STATEOP, 0, 0));
            s = (s & ~KNBST_CHECKED) | (b->state & KNBST_CHECKED);
            unsigned code = HIWORD(wp) & 0xFF;
            KnobStateOp(b, code == 0 || code == 5 ? 0x74 : 0x54, s, true);
        }
        return 0;
    }

    case KNBM_GETCHECK: case BM_GETCHECK: return b->state & KNBST_CHECKED;
    case WM_USER + 1: case BM_SETCHECK:
        KnobStateOp(b, wp ? 0x15 : 0x16, KNBST_CHECKED, true);
        return 0;
    case KNBM_GETSTATE: case BM_GETSTATE: return b->state;
    case WM_USER + 3: case BM_SETSTATE:
        KnobStateOp(b, wp ? 0x15 : 0x16, KNBST_SELECTED, true);
        return 0;
    case WM_USER + 4: case BM_SETSTYLE:
        if (wp == 1) b->state |= KNBST_DEFAULT;
        else if (wp == 0) b->state &= ~KNBST_DEFAULT;
        else b->style = (b->style & 0xFFFF0000u) | (wp & 0xFFFF);
        if (LOWORD(lp)) InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case KNBM_STATEOP: return KnobStateOp(b, static_cast<unsigned>(wp), static_cast<uint32_t>(lp), true);
    case KNBM_STYLEOP: {
        unsigned op = static_cast<unsigned>(wp);
        uint32_t mask = static_cast<uint32_t>(lp), old = b->style;
        switch (op & 7) {
        case 0: return old;
        case 1: return old & mask;
        case 2: return (old & mask) != 0;
        case 3: return (old & mask) == mask;
        }
        /* A replacing value without the movable bit keeps it. */
        b->style = (op & 7) == 4 ? (mask | (old & KNBS_MOVABLE)) : Apply(old, op, mask);
        if ((op & 0x10) && b->style != old) InvalidateRect(hwnd, nullptr, FALSE);
        return b->style;
    }
    case KNBM_SETPROP: {
        BOOL ok = KnobSetProperty(b, static_cast<uint32_t>(wp), static_cast<uintptr_t>(lp), false);
        if (ok && (wp & 0xF)) InvalidateRect(hwnd, nullptr, FALSE);
        return ok;
    }
    case KNBM_RESETPROP: KnobResetProperty(b, static_cast<uint32_t>(wp)); InvalidateRect(hwnd, nullptr, FALSE); return 0;
    case KNBM_GETPROP: {
        uintptr_t v = 0;
        if (!lp || !KnobGetProperty(b, static_cast<uint32_t>(wp), &v)) return 0;
        *reinterpret_cast<uintptr_t *>(lp) = v;
        return 1;
    }
    case KNBM_GETCONTENTRECT:
    case KNBM_CONTENTSIZE: {
        RECT *r = reinterpret_cast<RECT *>(lp);
        if (!r) return 0;
        KnobContentRect(b, r);
        if (msg == KNBM_CONTENTSIZE) {
            r->right -= r->left;
            r->bottom -= r->top;
        }
        return 1;
    }
    case KNBM_GETVERSION: return wp == 1 ? b->version : wp == 2 ? KNOBKIT_VERSION : 0;
    case KNBM_SETTARGET: {
        HWND w = reinterpret_cast<HWND>(lp);
        if (!IsWindow(w)) w = wp ? GetDlgItem(GetParent(hwnd), static_cast<int>(wp)) : GetParent(hwnd);
        if (!w) return 0;
        b->target = w;
        return 1;
    }
    case KNBM_SIZETOCONTENT: SizeToContent(b, wp, lp); return 0;
    case KNBM_GETPROPSTRING: return CopyStored(b, wp, lp);
    case KNBM_GETPROPSTRINGLEN: return b->stored ? static_cast<LRESULT>(std::strlen(b->stored)) : 0;
    case KNBM_SETPROPSTRING: {
        const char *text = reinterpret_cast<const char *>(lp);
        if (!text) return 0;
        std::free(b->stored);
        b->stored = propstr::Duplicate(text);
        BOOL ok = KnobApplyString(b, text);
        InvalidateRect(hwnd, nullptr, FALSE);
        return ok;
    }
    case KNBM_CLICK: case BM_CLICK:
        if (b->style & KNBS_CHECK) KnobStateOp(b, 0x37, KNBST_CHECKED, false);
        else if (b->style & KNBS_RADIO) KnobStateOp(b, 0x35, KNBST_CHECKED, false);
        return 0;
    case WM_USER + 110: UpdateCorners(b); return 0;
    case WM_MOVE: UpdateCorners(b); return 0;
    case WM_USER + 36:
        if (wp != g_repaint_word) {
            g_repaint_word = wp;
            b->paint_key = 0;
            RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        }
        return 0;
    case WM_SETCURSOR:
        if (b->style & KNBS_PASSCURSOR) {
            HWND to = b->target ? b->target : GetParent(hwnd);
            if (to && to != hwnd) {
                LRESULT r = SendMessageA(to, WM_SETCURSOR, wp, lp);
                if (r) return r;
            }
        }
        break;
    case WM_USER + 26: return KnobAnimate(b, wp, lp);
    case WM_USER + 27: {
        bool count = (lp & 0x8000) != 0;
        switch (wp) {
        case 0: if (g_popup_owner == hwnd) ClosePopup(); if (count) --g_popup_allow; break;
        case 1: if (count) ++g_popup_allow; ShowPopup(b); break;
        case 2: b->state |= ST_POPUP_SUPPRESSED; if (count) --g_popup_force; break;
        case 3: b->state &= ~ST_POPUP_SUPPRESSED; if (count) ++g_popup_force; break;
        }
        return 0;
    }
    case WM_USER + 30:
    case WM_USER + 31: {
        HWND to = reinterpret_cast<HWND>(wp);
        if (!IsWindow(to) || to == hwnd) return 0;
        ButtonRecord *other = msg == WM_USER + 31 ? Get(to) : nullptr;
        if (msg == WM_USER + 31 && !other) return 0;
        KnobCopyProperties(b, to, other, reinterpret_cast<const char *>(lp));
        return 1;
    }
    case KNBM_SETDEFFONT: return KnobSetDefaultFont(wp, reinterpret_cast<HFONT>(lp)) ? 1 : 0;
    }
    if (msg >= 0xC000 && msg <= 0xFFFF) {
        struct {
            NMHDR hdr;
            UINT msg;
            WPARAM wp;
            LPARAM lp;
        } note = {{hwnd, static_cast<UINT_PTR>(GetDlgCtrlID(hwnd)), 23}, msg, wp, lp};
        HWND to = b->target ? b->target : GetParent(hwnd);
        return to ? SendMessageA(to, WM_NOTIFY, note.hdr.idFrom, reinterpret_cast<LPARAM>(&note)) : 0;
    }
    if (msg >= WM_USER && msg < 0x8000) return 0;
    return DefWindowProcA(hwnd, msg, wp, lp);
}
