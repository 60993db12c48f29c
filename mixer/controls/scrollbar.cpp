#include "scrollbar.h"
#include "colour_value.h"
#include "geometry.h"

CXScrollBar::CXScrollBar()
{
    handlers.Message(WM_PAINT, [this](WPARAM, LPARAM) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_hWnd, &ps);
        Compose(dc);
        EndPaint(m_hWnd, &ps);
        return (LRESULT)0;
    });
    handlers.Message(WM_ERASEBKGND, [](WPARAM, LPARAM) { return (LRESULT)TRUE; });
    handlers.Message(WM_SETCURSOR, [this](WPARAM, LPARAM) {
        SetCursor(m_bThumbHover && hand_ ? hand_ : LoadCursorA(nullptr, (LPCSTR)IDC_ARROW));
        return (LRESULT)TRUE;
    });
    auto point = [](LPARAM lp) { return POINT{(short)LOWORD(lp), (short)HIWORD(lp)}; };
    handlers.Message(WM_LBUTTONDOWN, [this, point](WPARAM, LPARAM lp) { OnLButtonDown(point(lp)); return (LRESULT)0; });
    handlers.Message(WM_MOUSEMOVE, [this, point](WPARAM, LPARAM lp) { OnMouseMove(point(lp)); return (LRESULT)0; });
    handlers.Message(WM_LBUTTONUP, [this, point](WPARAM, LPARAM lp) { OnLButtonUp(point(lp)); return (LRESULT)0; });
    handlers.Message(WM_TIMER, [this](WPARAM id, LPARAM) { OnTimer((UINT)id); return (LRESULT)0; });
}

CXScrollBar::~CXScrollBar()
{
    if (hand_ && handOwned_) DestroyCursor(hand_);
}

BOOL CXScrollBar::CreateFromStatic(DWORD style, HWND parent, UINT staticId, UINT id)
{
    HWND placeholder = ::GetDlgItem(parent, staticId);
    if (!placeholder) return FALSE;
    RECT rc;
    ::GetWindowRect(placeholder, &rc);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&rc), 2);
    ::ShowWindow(placeholder, SW_HIDE);
    hand_ = LoadCursorA(nullptr, (LPCSTR)IDC_HAND);
    if (!hand_) {
        char path[MAX_PATH];
        GetWindowsDirectoryA(path, MAX_PATH);
        lstrcatA(path, "\\winhlp32.exe");
        if (HMODULE m = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
            if (HCURSOR c = LoadCursorA(m, MAKEINTRESOURCEA(106))) {
                hand_ = CopyCursor(c);
                handOwned_ = true;
            }
            FreeLibrary(m);
        }
    }
    m_parent = parent;
    m_bHorizontal = (style & SBS_VERT) ? 0 : 1;
    if (!CreateEx(0, "STATIC", "", style | WS_CHILD | SS_NOTIFY, rc, parent, id)) return FALSE;
    CMaskedBitmap thumb;
    if (thumb.LoadBitmap(m_bHorizontal ? 387 : 392)) {
        m_nBitmapWidth = thumb.GetWidth();
        m_nBitmapHeight = thumb.GetHeight();
    }
    ::GetClientRect(m_hWnd, &m_rectClient);
    return TRUE;
}

int CXScrollBar::Length() const
{
    RECT rc;
    ::GetClientRect(m_hWnd, &rc);
    return m_bHorizontal ? rc.right : rc.bottom;
}

void CXScrollBar::SendScroll(WPARAM code)
{
    if (m_parent && IsWindow(m_parent))
        ::SendMessageA(m_parent, m_bHorizontal ? WM_HSCROLL : WM_VSCROLL, code, (LPARAM)m_hWnd);
}

void CXScrollBar::SetScrollPos(int pos)
{
    if (pos < 0) pos = 0;
    if (pos > m_nRange) pos = m_nRange;
    m_nPos = pos;
    UpdateThumbPosition();
}

void CXScrollBar::UpdateThumbPosition()
{
    if (!m_hWnd) return;
    Thumb() = skin::ThumbFromPosition(m_nPos, Length(), Piece(), m_nRange);
    Invalidate(FALSE);
}

void CXScrollBar::PositionFromThumbPlace()
{
    Thumb() = skin::ClampThumb(Thumb(), Length(), Piece());
    m_nPos = skin::PositionFromThumb(Thumb(), Length(), Piece(), m_nRange);
}

void CXScrollBar::ScrollLeft()
{
    if (m_nPos > 0) --m_nPos;
    SendScroll(SB_LINELEFT);
    UpdateThumbPosition();
}

void CXScrollBar::ScrollRight()
{
    if (m_nPos < m_nRange) ++m_nPos;
    SendScroll(SB_LINERIGHT);
    UpdateThumbPosition();
}

void CXScrollBar::OnLButtonDown(POINT pt)
{
    SetCapture(m_hWnd);
    int along = m_bHorizontal ? pt.x : pt.y, w = Length(), b = Piece();
    if (PtInRect(&m_rectThumb, pt)) {
        m_bMouseDown = 1;
    } else if (along < b) {
        (m_bHorizontal ? m_bMouseDownArrowLeft : m_bMouseDownArrowUp) = 1;
        SetTimer(m_hWnd, 2, 150, nullptr);
    } else if (along >= w - b) {
        (m_bHorizontal ? m_bMouseDownArrowRight : m_bMouseDownArrowDown) = 1;
        SetTimer(m_hWnd, 2, 150, nullptr);
    } else {
        Thumb() = along - b / 2;
        PositionFromThumbPlace();
        Invalidate(FALSE);
        SendScroll(MAKEWPARAM(SB_THUMBTRACK, m_nPos));
    }
}

void CXScrollBar::OnMouseMove(POINT pt)
{
    int old = m_bThumbHover;
    m_bThumbHover = PtInRect(&m_rectThumb, pt) ? 1 : 0;
    if (m_bMouseDown) {
        m_bDragging = 1;
        Thumb() = (m_bHorizontal ? pt.x : pt.y) - Piece() / 2;
        PositionFromThumbPlace();
        SendScroll(MAKEWPARAM(SB_THUMBTRACK, m_nPos));
        Invalidate(FALSE);
    }
    if (old != m_bThumbHover) {
        Invalidate(FALSE);
        SetTimer(m_hWnd, 3, 50, nullptr);
    }
}

void CXScrollBar::OnLButtonUp(POINT pt)
{
    KillTimer(m_hWnd, 1);
    ReleaseCapture();
    int along = m_bHorizontal ? pt.x : pt.y, w = Length(), b = Piece();
    if (along < b && (m_bMouseDownArrowLeft || m_bMouseDownArrowUp)) ScrollLeft();
    else if (along >= w - b && (m_bMouseDownArrowRight || m_bMouseDownArrowDown)) ScrollRight();
    else if (PtInRect(&m_rectThumb, pt)) {
        m_bThumbHover = 1;
        Invalidate(FALSE);
        SetTimer(m_hWnd, 3, 50, nullptr);
    }
    m_bMouseDownArrowLeft = m_bMouseDownArrowRight = m_bMouseDownArrowUp = m_bMouseDownArrowDown = 0;
    m_bMouseDown = m_bDragging = 0;
}

void CXScrollBar::OnTimer(UINT id)
{
    if (id == 2) {
        KillTimer(m_hWnd, 2);
        if (m_bMouseDownArrowLeft || m_bMouseDownArrowRight || m_bMouseDownArrowUp || m_bMouseDownArrowDown)
            SetTimer(m_hWnd, 1, 100, nullptr);
    } else if (id == 1) {
        if (m_bMouseDownArrowLeft || m_bMouseDownArrowUp) ScrollLeft();
        if (m_bMouseDownArrowRight || m_bMouseDownArrowDown) ScrollRight();
    } else if (id == 3) {
        POINT pt;
        GetCursorPos(&pt);
        ScreenToClient(m_hWnd, &pt);
        if (!PtInRect(&m_rectThumb, pt)) {
            m_bThumbHover = 0;
            KillTimer(m_hWnd, 3);
            SetCursor(LoadCursorA(nullptr, (LPCSTR)IDC_ARROW));
            Invalidate(FALSE);
        }
    }
}

namespace {

void Stretch(HDC dc, UINT id, int x, int y, int w, int h, int srcX = 0, int srcY = 0, int srcW = -1, int srcH = -1)
{
    CMaskedBitmap bmp;
    if (!bmp.LoadBitmap(id)) return;
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, bmp.Handle());
    StretchBlt(dc, x, y, w, h, mem, srcX, srcY, srcW < 0 ? bmp.GetWidth() : srcW, srcH < 0 ? bmp.GetHeight() : srcH,
               SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
}

} // namespace

void CXScrollBar::Compose(HDC target)
{
    RECT rc;
    ::GetClientRect(m_hWnd, &rc);
    HDC dc = CreateCompatibleDC(target);
    HBITMAP bmp = CreateCompatibleBitmap(target, rc.right, rc.bottom);
    HGDIOBJ old = SelectObject(dc, bmp);
    HBRUSH bg = CreateSolidBrush(7755084);
    FillRect(dc, &rc, bg);
    DeleteObject(bg);

    bool h = m_bHorizontal != 0;
    int w = h ? rc.right : rc.bottom, across = h ? rc.bottom : rc.right, b = Piece();
    int thumb = skin::ClampThumb(Thumb(), w, b);
    int mid = thumb + b / 2;
    /* Arrows. */
    if (h) {
        Stretch(dc, m_bEnabled ? 385 : 393, 0, 0, b, across);
    } else {
        Stretch(dc, 383, 0, 0, across, b);
    }
    /* Channel: untinted from the thumb's middle to the far arrow. */
    if (h) Stretch(dc, 384, mid, 0, w - b - mid, across, 0, 0, 1, -1);
    else Stretch(dc, 389, 0, mid, across, w - b - mid, 0, 0, -1, 1);
    if (m_bChannelColor && m_bThumbColor) {
        CColourValue c(m_crThumbColor);
        c.SetHLS(c.GetHue(), c.GetLuminance(), c.GetSaturation() / 2);
        float hue = c.GetHue(), sat = c.GetSaturation();
        const float lum[3] = {0.92f, 0.87f, 0.80f};
        for (int i = 0; i < across; ++i) {
            CColourValue t;
            t.SetHLS(hue, lum[i < 2 ? i : 2], sat);
            HBRUSH br = CreateSolidBrush(t.GetRGB());
            RECT line = h ? RECT{b, i, mid, i + 1} : RECT{i, b, i + 1, mid};
            FillRect(dc, &line, br);
            DeleteObject(br);
        }
    }
    /* Thumb with its marker pixels replaced. */
    if (m_nRange == 0) {
        m_rectThumb = {-1, -1, -1, -1};
    } else {
        CMaskedBitmap tb;
        UINT id = h ? (m_bThumbColor ? 387 : 388) : (m_bThumbColor ? 392 : 390);
        if (tb.LoadBitmap(id)) {
            int tw = tb.GetWidth(), th = tb.GetHeight();
            int tx = h ? thumb : 0, ty = h ? 0 : thumb;
            HDC mem = CreateCompatibleDC(dc);
            HGDIOBJ o = SelectObject(mem, tb.Handle());
            for (int y = 0; y < th; ++y) {
                for (int x = 0; x < tw; ++x) {
                    COLORREF p = GetPixel(mem, x, y);
                    /* GetPixel answers COLORREF (0x00BBGGRR): the markers are 0x0X0000 as RGB(0, 0, X). */
                    COLORREF out = p;
                    if (p == RGB(0, 0, 1)) out = m_bThumbColor ? (m_bThumbHover ? m_crHoverColor : m_crThumbColor) : p;
                    else if (p == RGB(0, 0, 2)) out = m_bThumbGripper ? 0x5B5B5B : (h ? (y > 0 ? GetPixel(dc, tx + x, ty + y - 1) : p) : (x > 0 ? GetPixel(dc, tx + x - 1, ty + y) : p));
                    else if (p == RGB(0, 0, 3)) out = h ? GetPixel(dc, b, y) : GetPixel(dc, x, b);
                    else if (p == RGB(0, 0, 4)) out = h ? GetPixel(dc, w - b - 1, y) : GetPixel(dc, x, w - b - 1);
                    SetPixel(dc, tx + x, ty + y, out);
                }
            }
            SelectObject(mem, o);
            DeleteDC(mem);
            m_rectThumb = h ? RECT{thumb, 0, thumb + b, across} : RECT{0, thumb, across, thumb + b};
        }
    }
    if (h) Stretch(dc, m_bEnabled ? 386 : 393, w - b, 0, b, across);
    else Stretch(dc, 391, 0, w - b, across, b);
    BitBlt(target, 0, 0, rc.right, rc.bottom, dc, 0, 0, SRCCOPY);
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
}

/* ---- CBitmapSlider ---- */

CBitmapSlider::CBitmapSlider()
{
    handlers.Message(WM_PAINT, [this](WPARAM, LPARAM) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_hWnd, &ps);
        Paint(dc);
        EndPaint(m_hWnd, &ps);
        return (LRESULT)0;
    });
    handlers.Message(WM_ERASEBKGND, [](WPARAM, LPARAM) { return (LRESULT)TRUE; });
    handlers.Message(WM_LBUTTONDOWN, [this](WPARAM, LPARAM) { dragging_ = true; Invalidate(FALSE); return Default(); });
    handlers.Message(WM_LBUTTONUP, [this](WPARAM, LPARAM) { dragging_ = false; Invalidate(FALSE); return Default(); });
    handlers.Message(WM_MOUSEMOVE, [this](WPARAM, LPARAM lp) {
        if (dragging_) Invalidate(FALSE);
        RECT tr = {};
        SendMessage(TBM_GETTHUMBRECT, 0, (LPARAM)&tr);
        POINT pt = {(short)LOWORD(lp), (short)HIWORD(lp)};
        if (PtInRect(&tr, pt) && thumbCursor_) SetCursor(thumbCursor_);
        return Default();
    });
    handlers.Message(WM_KEYDOWN, [this](WPARAM, LPARAM) { Invalidate(FALSE); return Default(); });
    handlers.Message(WM_KEYUP, [this](WPARAM, LPARAM) { Invalidate(FALSE); return Default(); });
    handlers.Message(WM_SETCURSOR, [this](WPARAM, LPARAM) {
        if (cursor_) SetCursor(cursor_);
        return Default();
    });
}

void CBitmapSlider::SetBitmaps(UINT channel, UINT thumb, UINT cursor)
{
    HINSTANCE inst = GetModuleHandleA(nullptr);
    thumbCursor_ = LoadCursorA(inst, MAKEINTRESOURCEA(cursor));
    cursor_ = LoadCursorA(inst, MAKEINTRESOURCEA(337));
    channel_.LoadBitmap(channel);
    thumb_.LoadBitmap(thumb);
}

void CBitmapSlider::SetRange(int min, int max, BOOL redraw)
{
    SendMessage(TBM_SETRANGEMIN, FALSE, min);
    SendMessage(TBM_SETRANGEMAX, FALSE, max);
    SendMessage(TBM_SETPOS, redraw, min);
}

BOOL CBitmapSlider::PreTranslateMessage(MSG *msg)
{
    return msg->message == WM_MOUSEWHEEL;
}

POINT CBitmapSlider::ThumbPlace()
{
    RECT rc;
    ::GetClientRect(m_hWnd, &rc);
    int pos = (int)SendMessage(TBM_GETPOS), mn = (int)SendMessage(TBM_GETRANGEMIN), mx = (int)SendMessage(TBM_GETRANGEMAX);
    if (GetStyle() & TBS_VERT) return POINT{0, skin::SliderThumbY(rc.bottom, thumb_.GetHeight(), pos, mn, mx)};
    return POINT{skin::SliderThumbX(rc.right, thumb_.GetWidth(), pos, mn, mx), 0};
}

void CBitmapSlider::Paint(HDC dc)
{
    RECT rc;
    ::GetClientRect(m_hWnd, &rc);
    CMemoryDC mem(dc, rc);
    FillRect(mem, &rc, (HBRUSH)GetStockObject(BLACK_BRUSH));
    channel_.Draw(mem, 0, 0);
    POINT p = ThumbPlace();
    thumb_.DrawTransparent(mem, p.x, p.y);
}
