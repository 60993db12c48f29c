#include "buttons.h"
#include "gdi_objects.h"

HWND CreateToolTip(HWND control, int maxWidth, int delay)
{
    HWND tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, 0x80000081, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, control, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!tip) return nullptr;
    SendMessageA(tip, TTM_SETMAXTIPWIDTH, 0, maxWidth);
    SendMessageA(tip, TTM_SETDELAYTIME, TTDT_AUTOMATIC, delay);
    return tip;
}

void AddTool(HWND tip, HWND control, const char *text)
{
    if (!tip) return;
    TOOLINFOA ti = {};
    ti.cbSize = sizeof(ti);
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = GetParent(control);
    ti.uId = (UINT_PTR)control;
    ti.lpszText = const_cast<char *>(text ? text : "");
    SendMessageA(tip, TTM_DELTOOLA, 0, (LPARAM)&ti);
    SendMessageA(tip, TTM_ADDTOOLA, 0, (LPARAM)&ti);
}

static void RelayToTip(HWND tip, MSG *msg)
{
    if (tip) SendMessageA(tip, TTM_RELAYEVENT, 0, (LPARAM)msg);
}

/* ---- CRegionButton ---- */

CRegionButton::CRegionButton()
{
    arrow_ = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    no_ = LoadCursorA(nullptr, (LPCSTR)IDC_NO);
    handlers.Message(WM_MOUSEMOVE, [this](WPARAM, LPARAM lp) {
        POINT pt = {(short)LOWORD(lp), (short)HIWORD(lp)};
        if (InRegion(pt)) SetCursor(disabled_ ? no_ : arrow_);
        if (enabled_) {
            state_ = 2;
            Redraw();
            TRACKMOUSEEVENT t = {sizeof(t), TME_LEAVE, m_hWnd, 0};
            TrackMouseEvent(&t);
        }
        return Default();
    });
    handlers.Message(WM_LBUTTONDOWN, [this](WPARAM, LPARAM) {
        if (enabled_) {
            state_ = 1;
            Redraw();
        }
        return Default();
    });
    handlers.Message(WM_MOUSELEAVE, [this](WPARAM, LPARAM) {
        state_ = 0;
        Redraw();
        return Default();
    });
    handlers.Message(WM_ERASEBKGND, [](WPARAM, LPARAM) { return (LRESULT)0; });
}

CRegionButton::~CRegionButton()
{
    for (HBITMAP &b : pictures_) {
        if (b && b != pictures_[0]) DeleteObject(b);
    }
    if (pictures_[0]) DeleteObject(pictures_[0]);
    if (region_) DeleteObject(region_);
    if (tip_ && IsWindow(tip_)) ::DestroyWindow(tip_);
}

void CRegionButton::PreSubclassWindow()
{
    RECT rc;
    ::GetClientRect(m_hWnd, &rc);
    region_ = CreateRectRgnIndirect(&rc);
    ModifyStyle(0, BS_OWNERDRAW);
    tip_ = CreateToolTip(m_hWnd, 260, 200);
    char text[256] = {};
    UINT id = (UINT)::GetDlgCtrlID(m_hWnd);
    if (id && LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof(text)) > 0 && text[0]) {
        AddTool(tip_, m_hWnd, text);
        ::SendMessageA(tip_, TTM_ACTIVATE, TRUE, 0);
        tipActive_ = true;
    } else if (tip_) {
        ::SendMessageA(tip_, TTM_ACTIVATE, FALSE, 0);
    }
}

BOOL CRegionButton::SetBitmaps(UINT idle, UINT pressed, UINT hover, UINT disabled)
{
    HINSTANCE inst = GetModuleHandleA(nullptr);
    for (HBITMAP &b : pictures_) {
        if (b && b != pictures_[0]) DeleteObject(b);
    }
    if (pictures_[0]) DeleteObject(pictures_[0]);
    for (HBITMAP &b : pictures_) b = nullptr;
    UINT ids[4] = {idle, pressed ? pressed : idle, hover ? hover : idle, disabled ? disabled : idle};
    pictures_[0] = (HBITMAP)LoadImageA(inst, MAKEINTRESOURCEA(idle), IMAGE_BITMAP, 0, 0, 0);
    for (int i = 1; i < 4; ++i) {
        pictures_[i] = ids[i] == idle ? nullptr : (HBITMAP)LoadImageA(inst, MAKEINTRESOURCEA(ids[i]), IMAGE_BITMAP, 0, 0, 0);
        if (!pictures_[i]) pictures_[i] = pictures_[0];
    }
    if (m_hWnd && pictures_[0]) {
        BITMAP bm = {};
        GetObjectA(pictures_[0], sizeof(bm), &bm);
        SetWindowPos(m_hWnd, nullptr, 0, 0, bm.bmWidth, bm.bmHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return pictures_[0] != nullptr;
}

void CRegionButton::SetToolTip(const char *text)
{
    if (!tip_) return;
    if (text) {
        ::SendMessageA(tip_, TTM_ACTIVATE, TRUE, 0);
        AddTool(tip_, m_hWnd, text);
        tipActive_ = true;
    } else {
        ::SendMessageA(tip_, TTM_ACTIVATE, FALSE, 0);
        tipActive_ = false;
    }
}

void CRegionButton::EnableButton(BOOL enable)
{
    state_ = enable ? 0 : 3;
    disabled_ = !enable;
    if (tip_) ::SendMessageA(tip_, TTM_ACTIVATE, enable, 0);
    tipActive_ = enable && tipActive_;
    enabled_ = enable != FALSE;
    Redraw();
}

void CRegionButton::SetState(int n)
{
    if (n < 0 || n > 3) return;
    state_ = n;
    Redraw();
}

bool CRegionButton::InRegion(POINT pt) const
{
    return region_ && PtInRegion(region_, pt.x, pt.y);
}

void CRegionButton::DrawState(HDC dc)
{
    RECT rc;
    ::GetClientRect(m_hWnd, &rc);
    DrawPicture(dc, pictures_[state_], rc, false);
}

void CRegionButton::Redraw()
{
    if (!m_hWnd) return;
    HDC dc = GetDC(m_hWnd);
    DrawState(dc);
    ReleaseDC(m_hWnd, dc);
}

BOOL CRegionButton::PreTranslateMessage(MSG *msg)
{
    RelayToTip(tip_, msg);
    return FALSE;
}

BOOL CRegionButton::OnChildNotify(UINT msg, WPARAM, LPARAM lp, LRESULT *result)
{
    if (msg != WM_DRAWITEM) return FALSE;
    auto *di = reinterpret_cast<DRAWITEMSTRUCT *>(lp);
    DrawPicture(di->hDC, pictures_[state_], di->rcItem, false);
    *result = TRUE;
    return TRUE;
}

/* ---- CHoverButton ---- */

CHoverButton::CHoverButton()
{
    arrow_ = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    no_ = LoadCursorA(nullptr, (LPCSTR)IDC_NO);
    region_ = CreateRectRgn(0, 0, 0, 0);
    handlers.Message(WM_TIMER, [this](WPARAM id, LPARAM) {
        if (id == 1) LeaveTest();
        return Default();
    });
}

CHoverButton::~CHoverButton()
{
    DeleteObject(region_);
    if (tip_ && IsWindow(tip_)) ::DestroyWindow(tip_);
}

void CHoverButton::Setup(HBITMAP state1, HBITMAP state0, HBITMAP state2, int initial, HRGN clip)
{
    pictures_[1] = state1;
    pictures_[0] = state0;
    pictures_[2] = state2;
    state_ = initial;
    if (initial >= 0 && initial <= 2) SendMessage(STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)pictures_[initial]);
    RECT rc;
    ::GetClientRect(m_hWnd, &rc);
    SetRectRgn(region_, rc.left, rc.top, rc.right, rc.bottom);
    if (clip) CombineRgn(region_, region_, clip, RGN_AND);
    if (!tip_) tip_ = CreateToolTip(m_hWnd, 150, 100);
}

void CHoverButton::SetToolTip(const char *text)
{
    if (!tip_) tip_ = CreateToolTip(m_hWnd, 150, 100);
    if (!tip_) return;
    ::SendMessageA(tip_, TTM_ACTIVATE, TRUE, 0);
    AddTool(tip_, m_hWnd, text);
}

void CHoverButton::SetState(int n)
{
    state_ = n;
    if (n >= 0 && n <= 2) SendMessage(STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)pictures_[n]);
}

void CHoverButton::LeaveTest()
{
    POINT pt;
    GetCursorPos(&pt);
    ScreenToClient(m_hWnd, &pt);
    if (!PtInRegion(region_, pt.x, pt.y)) {
        SendMessage(STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)pictures_[0]);
        state_ = 0;
        KillTimer(m_hWnd, 1);
    }
}

BOOL CHoverButton::PreTranslateMessage(MSG *msg)
{
    RelayToTip(tip_, msg);
    return FALSE;
}
