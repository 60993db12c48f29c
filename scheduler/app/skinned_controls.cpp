#include "skinned_controls.h"

#include <cstdio>
#include <cstring>

#include "schedule/schedule_words.h"

/* ---- colour label ---- */

ColorLabel::ColorLabel() : text_(GetSysColor(COLOR_WINDOWTEXT))
{
    back_ = CreateSolidBrush(GetSysColor(COLOR_3DFACE));
    back2_ = CreateSolidBrush(GetSysColor(COLOR_3DFACE));
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof logFont_, &logFont_);
    font_ = CreateFontIndirectA(&logFont_);
    handlers.Message(WM_TIMER, [this](WPARAM id, LPARAM) -> LRESULT {
        if (id == kBlinkTimer)
            OnBlinkTimer();
        return 0;
    });
}

ColorLabel::~ColorLabel()
{
    if (m_hWnd)
        KillTimer(m_hWnd, kBlinkTimer);
    DeleteObject(back_);
    DeleteObject(back2_);
    DeleteObject(font_);
}

void ColorLabel::Redraw()
{
    if (!m_hWnd)
        return;
    RedrawWindow(m_hWnd, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    /* A static draws its text on the parent's background: have the parent
     * repaint the label's area too. */
    if (HWND parent = GetParent()) {
        RECT r = GetWindowRect();
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&r), 2);
        RedrawWindow(parent, &r, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
}

void ColorLabel::RebuildFont()
{
    DeleteObject(font_);
    font_ = CreateFontIndirectA(&logFont_);
    if (m_hWnd)
        SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    Redraw();
}

ColorLabel &ColorLabel::SetTextColor(COLORREF c)
{
    text_ = c;
    Redraw();
    return *this;
}

ColorLabel &ColorLabel::SetFontBold(BOOL bold)
{
    logFont_.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    RebuildFont();
    return *this;
}

ColorLabel &ColorLabel::SetFontSize(int size)
{
    logFont_.lfHeight = -size;
    RebuildFont();
    return *this;
}

ColorLabel &ColorLabel::SetFontName(const char *name)
{
    lstrcpynA(logFont_.lfFaceName, name ? name : "", LF_FACESIZE);
    RebuildFont();
    return *this;
}

ColorLabel &ColorLabel::SetBkColor(COLORREF c)
{
    DeleteObject(back_);
    back_ = CreateSolidBrush(c);
    Redraw();
    return *this;
}

ColorLabel &ColorLabel::SetBlinkText(BOOL blink, const char *text)
{
    const std::string t = text ? text : "";
    if (blinking_) {
        blinking_ = false;
        mode_ = 0;
        if (m_hWnd) {
            KillTimer(m_hWnd, kBlinkTimer);
            SetWindowText(t);
        }
        Redraw();
    }
    if (blink) {
        blinkText_ = t;
        phase_ = false;
        blinking_ = true;
        mode_ = 1;
        if (m_hWnd) {
            SetWindowText(t);
            ::SetTimer(m_hWnd, kBlinkTimer, 1000, nullptr);
        }
        Redraw();
    }
    return *this;
}

void ColorLabel::OnBlinkTimer()
{
    const bool was = phase_;
    phase_ = !phase_;
    if (mode_ == 1 && m_hWnd)
        SetWindowText(was ? blinkText_ : std::string());
    Redraw();
}

BOOL ColorLabel::OnChildNotify(UINT msg, WPARAM wp, LPARAM, LRESULT *result)
{
    if (msg != WM_CTLCOLORSTATIC)
        return FALSE;
    HDC dc = reinterpret_cast<HDC>(wp);
    SelectObject(dc, font_);
    ::SetTextColor(dc, text_);
    SetBkMode(dc, TRANSPARENT);
    *result = reinterpret_cast<LRESULT>(mode_ == 2 && !phase_ ? back2_ : back_);
    return TRUE;
}

/* ---- progress bar ---- */

int ProgressPercent(int pos, int low, int high)
{
    const long long span = static_cast<long long>(high) - low;
    if (span <= 0)
        return 0;
    long long p = (static_cast<long long>(pos) - low) * 100 / span;
    return static_cast<int>(p < 0 ? 0 : p > 100 ? 100 : p);
}

int ProgressFill(int pos, int low, int high, int extent)
{
    const long long span = static_cast<long long>(high) - low;
    if (span <= 0 || extent <= 0)
        return 0;
    long long f = (static_cast<long long>(pos) - low) * extent / span;
    return static_cast<int>(f < 0 ? 0 : f > extent ? extent : f);
}

COLORREF LightenColour(COLORREF c, int step)
{
    int ch[3] = {GetRValue(c), GetGValue(c), GetBValue(c)};
    for (int &v : ch)
        if (v + step < 256)
            v += step;
    return RGB(ch[0], ch[1], ch[2]);
}

COLORREF DarkenColour(COLORREF c, int step)
{
    int ch[3] = {GetRValue(c), GetGValue(c), GetBValue(c)};
    for (int &v : ch)
        if (v >= step)
            v -= step;
    return RGB(ch[0], ch[1], ch[2]);
}

COLORREF MidColour(COLORREF a, COLORREF b)
{
    auto m = [](int x, int y) { return x + (y - x) / 2; };
    return RGB(m(GetRValue(a), GetRValue(b)), m(GetGValue(a), GetGValue(b)), m(GetBValue(a), GetBValue(b)));
}

ScheduleProgressBar::ScheduleProgressBar()
{
    shades_[0] = GetSysColor(COLOR_HIGHLIGHT);
    for (int i = 1; i <= 3; ++i)
        shades_[i] = LightenColour(shades_[i - 1], 0x33);
    shades_[4] = DarkenColour(shades_[0], 0x33);
    shades_[5] = DarkenColour(shades_[4], 0x33);
    darkShadow_ = GetSysColor(COLOR_3DDKSHADOW);
    buttonShadow_ = GetSysColor(COLOR_BTNSHADOW);
    mid_ = MidColour(darkShadow_, buttonShadow_);
    const COLORREF penColours[8] = {shades_[0], shades_[1], shades_[2], shades_[4],
                                    shades_[5], darkShadow_, mid_, buttonShadow_};
    for (int i = 0; i < 8; ++i)
        pens_[i] = CreatePen(PS_SOLID, 1, penColours[i]);
    handlers.Message(WM_PAINT, [this](WPARAM, LPARAM) -> LRESULT {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_hWnd, &ps);
        Paint(dc, GetClientRect());
        EndPaint(m_hWnd, &ps);
        return 0;
    });
    handlers.Message(WM_ERASEBKGND, [](WPARAM, LPARAM) -> LRESULT { return 1; });
}

ScheduleProgressBar::~ScheduleProgressBar()
{
    for (HPEN p : pens_)
        DeleteObject(p);
}

void ScheduleProgressBar::SetRange(int low, int high)
{
    low_ = low;
    high_ = high;
    percent_ = 0;
    pos_ = 0;
    text_ = "0 %";
    if (m_hWnd) {
        SendMessage(PBM_SETRANGE, 0, MAKELPARAM(low & 0xFFFF, high & 0xFFFF));
        Invalidate(FALSE);
    }
}

void ScheduleProgressBar::SetPos(int pos)
{
    pos_ = pos;
    percent_ = ProgressPercent(pos, low_, high_);
    if (showText_) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%d %%", percent_);
        text_ = buf;
    }
    if (m_hWnd) {
        SendMessage(PBM_SETPOS, static_cast<WPARAM>(pos));
        Invalidate(FALSE);
    }
}

void ScheduleProgressBar::Paint(HDC dc, const RECT &rc)
{
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    if (w <= 0 || h <= 0)
        return;
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bmp = CreateCompatibleBitmap(dc, w, h);
    HGDIOBJ oldBmp = SelectObject(mem, bmp);
    RECT all = {0, 0, w, h};
    HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    FillRect(mem, &all, face);
    DeleteObject(face);
    HBRUSH trough = CreateSolidBrush(kTroughColour);
    FillRect(mem, &all, trough);
    DeleteObject(trough);

    const int pos = m_hWnd ? static_cast<int>(SendMessage(PBM_GETPOS)) : pos_;
    const bool vertical = m_hWnd && (GetStyle() & PBS_VERTICAL);
    const int len = ProgressFill(pos, low_, high_, vertical ? h : w);
    if (len > 0) {
        RECT bar = vertical ? RECT{0, h - len, w, h} : RECT{0, 0, len, h};
        HBRUSH fill = CreateSolidBrush(shades_[0]);
        FillRect(mem, &bar, fill);
        DeleteObject(fill);
        auto line = [&](int pen, int x0, int y0, int x1, int y1) {
            HGDIOBJ old = SelectObject(mem, pens_[pen]);
            MoveToEx(mem, x0, y0, nullptr);
            LineTo(mem, x1, y1);
            SelectObject(mem, old);
        };
        const int l = bar.left, t = bar.top, r = bar.right - 1, b = bar.bottom - 1;
        if (!vertical) {
            line(3, l, t, r, t);             /* outer frame, dark */
            line(4, l, b, r, b);
            line(1, l, t + 1, r, t + 1);     /* inner light line */
            line(0, l, t + 2, r, t + 2);     /* base lines two inside */
            line(0, l, b - 2, r, b - 2);
            line(6, r, t, r, b + 1);         /* right-hand shadow */
            if (r + 1 < w)
                line(7, r + 1, t, r + 1, b + 1);
        } else {
            line(3, l, t, l, b);
            line(4, r, t, r, b);
            line(1, l + 1, t, l + 1, b);
            line(0, l + 2, t, l + 2, b);
            line(0, r - 2, t, r - 2, b);
            line(6, l, t, r + 1, t);
            if (t > 0)
                line(7, l, t - 1, r + 1, t - 1);
        }
        SetPixel(mem, l, t, shades_[3]);
        SetPixel(mem, r, b, shades_[5]);
        SetPixel(mem, r, t, darkShadow_);
    }
    if (showText_ && !text_.empty()) {
        SetBkMode(mem, TRANSPARENT);
        ::SetTextColor(mem, kTextColour);
        HGDIOBJ oldFont = SelectObject(mem, m_hWnd ? reinterpret_cast<HFONT>(SendMessage(WM_GETFONT))
                                                   : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
        DrawTextA(mem, text_.c_str(), -1, &all, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SelectObject(mem, oldFont);
    }
    BitBlt(dc, rc.left, rc.top, w, h, mem, 0, 0, SRCCOPY);
    SelectObject(mem, oldBmp);
    DeleteObject(bmp);
    DeleteDC(mem);
}

/* ---- main window outline ---- */

const POINT kMainRegion[kMainRegionPoints] = {
    {0, 9}, {1, 9}, {1, 6}, {2, 6}, {2, 5}, {3, 5}, {3, 3}, {5, 3}, {5, 2}, {6, 2}, {6, 1}, {9, 1}, {9, 0},
    {1006, 0}, {1006, 1}, {1009, 1}, {1009, 2}, {1010, 2}, {1010, 3}, {1012, 3}, {1012, 5}, {1013, 5},
    {1013, 6}, {1014, 6}, {1014, 9}, {1015, 9}, {1015, 757}, {1014, 757}, {1014, 760}, {1013, 760},
    {1013, 762}, {1012, 762}, {1012, 763}, {1011, 763}, {1011, 764}, {1010, 764}, {1010, 765}, {1009, 765},
    {1009, 766}, {1006, 766}, {1006, 767}, {8, 767}, {8, 766}, {6, 766}, {6, 765}, {4, 765}, {4, 764},
    {3, 764}, {3, 762}, {2, 762}, {2, 761}, {1, 761}, {1, 758}, {0, 758},
};

HRGN CreateMainWindowRegion()
{
    return CreatePolygonRgn(kMainRegion, kMainRegionPoints, ALTERNATE);
}

void SteppedRegionPoints(int w, int h, POINT (&pt)[kSteppedRegionPoints])
{
    /* The top-left corner, from the left edge to the top edge. */
    static const POINT corner[13] = {{0, 9}, {1, 9}, {1, 6}, {2, 6}, {2, 5}, {3, 5}, {3, 3},
                                     {5, 3}, {5, 2}, {6, 2}, {6, 1}, {9, 1}, {9, 0}};
    const int r = w - 1, b = h - 1;
    for (int i = 0; i < 13; ++i) {
        pt[i] = corner[i];
        pt[13 + i] = {r - corner[12 - i].x, corner[12 - i].y};       /* top right, top to right */
        pt[26 + i] = {r - corner[i].x, b - corner[i].y};             /* bottom right, right to bottom */
        pt[39 + i] = {corner[12 - i].x, b - corner[12 - i].y};       /* bottom left, bottom to left */
    }
}

HRGN CreateSteppedRegion(int w, int h)
{
    POINT pt[kSteppedRegionPoints];
    SteppedRegionPoints(w, h, pt);
    return CreatePolygonRgn(pt, kSteppedRegionPoints, ALTERNATE);
}

void KeepSkinnedFrame(cl::HandlerTable &handlers, const cl::CWnd &wnd, const HBITMAP &skin, int w, int h)
{
    handlers.Message(WM_SIZE, [&wnd, w, h](WPARAM, LPARAM) -> LRESULT {
        RECT r = wnd.GetWindowRect();
        if (r.right - r.left != w || r.bottom - r.top != h)
            ::SetWindowPos(wnd.m_hWnd, nullptr, r.left, r.top, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    });
    handlers.Message(WM_ERASEBKGND, [&skin, w, h](WPARAM wp, LPARAM) -> LRESULT {
        HDC dc = reinterpret_cast<HDC>(wp);
        HDC mem = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(mem, skin);
        BitBlt(dc, 0, 0, w, h, mem, 0, 0, SRCCOPY);
        SelectObject(mem, old);
        DeleteDC(mem);
        return 1;
    });
}

PictureCell::PictureCell()
{
    handlers.Message(WM_PAINT, [this](WPARAM, LPARAM) -> LRESULT {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_hWnd, &ps);
        Paint(dc);
        EndPaint(m_hWnd, &ps);
        return 0;
    });
    handlers.Message(WM_LBUTTONDOWN, [this](WPARAM, LPARAM) -> LRESULT {
        HWND to = ::GetWindow(m_hWnd, GW_OWNER);
        if (!to)
            to = ::GetParent(m_hWnd);
        if (to)
            ::SendMessageA(to, kPictureClicked, static_cast<WPARAM>(::GetDlgCtrlID(m_hWnd)), 0);
        return 0;
    });
}

PictureCell::~PictureCell()
{
    if (bitmap_)
        DeleteObject(bitmap_);
}

bool PictureCell::RegisterCellClass()
{
    WNDCLASSA wc = {};
    if (GetClassInfoA(GetModuleHandleA(nullptr), kClassName, &wc))
        return true;
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_3DFACE + 1));
    wc.lpszClassName = kClassName;
    return ::RegisterClassA(&wc) != 0;
}

void PictureCell::SetBitmap(HBITMAP bitmap)
{
    if (bitmap_ && bitmap_ != bitmap)
        DeleteObject(bitmap_);
    bitmap_ = bitmap;
    if (m_hWnd)
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void PictureCell::SetSelected(BOOL selected)
{
    selected_ = selected != FALSE;
    if (m_hWnd) {
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
        ::UpdateWindow(m_hWnd);
    }
}

void PictureCell::Paint(HDC dc)
{
    RECT rc;
    ::GetClientRect(m_hWnd, &rc);
    if (selected_) {
        HPEN pen = CreatePen(PS_SOLID, 3, kFrameColour);
        HGDIOBJ oldPen = SelectObject(dc, pen);
        HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, 0, 0, 40, 40);
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
        DeleteObject(pen);
        InflateRect(&rc, -2, -2);
    }
    if (!bitmap_)
        return;
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, bitmap_);
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, mem, 0, 0, 40, 40, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
}

void DrawBitmap(HDC dc, HBITMAP bitmap, int left, int top, int right, int bottom, BOOL stretch)
{
    if (!dc || !bitmap || right <= left || bottom <= top)
        return;
    BITMAP info = {};
    if (!GetObjectA(bitmap, sizeof info, &info))
        return;
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, bitmap);
    if (stretch) {
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchBlt(dc, left, top, right - left, bottom - top, mem, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    } else {
        const int w = info.bmWidth < right - left ? info.bmWidth : right - left;
        const int h = info.bmHeight < bottom - top ? info.bmHeight : bottom - top;
        BitBlt(dc, left, top, w, h, mem, 0, 0, SRCCOPY);
    }
    SelectObject(mem, old);
    DeleteDC(mem);
}

BitmapStatic::BitmapStatic()
{
    handlers.Message(WM_PAINT, [this](WPARAM, LPARAM) -> LRESULT {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_hWnd, &ps);
        const RECT r = GetClientRect();
        DrawBitmap(dc, Shown(), r.left, r.top, r.right, r.bottom, FALSE);
        EndPaint(m_hWnd, &ps);
        return 0;
    });
}

void BitmapStatic::SetBitmaps(HBITMAP first, HBITMAP second)
{
    bitmaps_[0] = first;
    bitmaps_[1] = second;
    if (m_hWnd)
        RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void BitmapStatic::SelectSecond(BOOL second)
{
    second_ = second != FALSE;
    if (m_hWnd)
        RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

ThreeStateButton::ThreeStateButton()
    : plainCursor_(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW))),
      latchedCursor_(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_NO)))
{
    handlers.Message(WM_LBUTTONDOWN, [this](WPARAM, LPARAM lp) -> LRESULT {
        if (!disabled_ && !latched_ && InRegion(lp))
            ShowFace(2);
        return Default();
    });
    handlers.Message(WM_LBUTTONUP, [this](WPARAM, LPARAM) -> LRESULT {
        const LRESULT r = Default();
        if (!disabled_ && !latched_)
            ShowFace(1);
        return r;
    });
    handlers.Message(WM_MOUSEMOVE, [this](WPARAM, LPARAM) -> LRESULT {
        TRACKMOUSEEVENT t = {sizeof t, TME_LEAVE, m_hWnd, 0};
        TrackMouseEvent(&t);
        if (!disabled_ && (!latched_ || hoverWhileLatched_) && face_ != 2)
            ShowFace(1);
        return Default();
    });
    handlers.Message(WM_MOUSELEAVE, [this](WPARAM, LPARAM) -> LRESULT {
        if (!disabled_ && (!latched_ || hoverWhileLatched_))
            ShowFace(0);
        return Default();
    });
    handlers.Message(WM_SETCURSOR, [this](WPARAM, LPARAM) -> LRESULT {
        POINT pt;
        GetCursorPos(&pt);
        ScreenToClient(m_hWnd, &pt);
        if (region_ && PtInRegion(region_, pt.x, pt.y)) {
            SetCursor(latched_ ? latchedCursor_ : plainCursor_);
            return TRUE;
        }
        return Default();
    });
}

ThreeStateButton::~ThreeStateButton()
{
    if (region_)
        DeleteObject(region_);
}

void ThreeStateButton::PreSubclassWindow()
{
    RECT r;
    ::GetClientRect(m_hWnd, &r);
    region_ = CreateRectRgn(r.left, r.top, r.right, r.bottom);
}

bool ThreeStateButton::InRegion(LPARAM lp) const
{
    return region_ && PtInRegion(region_, static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
}

void ThreeStateButton::SetBitmaps(HBITMAP plain, HBITMAP hover, HBITMAP pressed)
{
    faces_[0] = plain;
    faces_[1] = hover;
    faces_[2] = pressed;
    if (m_hWnd) {
        /* The region follows the control's size when it is placed. */
        RECT r;
        ::GetClientRect(m_hWnd, &r);
        if (region_)
            DeleteObject(region_);
        region_ = CreateRectRgn(r.left, r.top, r.right, r.bottom);
        Invalidate(FALSE);
    }
}

void ThreeStateButton::SetDisabled(BOOL disabled)
{
    disabled_ = disabled != FALSE;
}

void ThreeStateButton::SetLatched(BOOL latched, BOOL hoverWhileLatched)
{
    latched_ = latched != FALSE;
    hoverWhileLatched_ = hoverWhileLatched != FALSE;
}

void ThreeStateButton::ShowFace(int face)
{
    if (face == face_)
        return;
    face_ = face;
    if (m_hWnd)
        RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

BOOL ThreeStateButton::OnChildNotify(UINT msg, WPARAM, LPARAM lp, LRESULT *result)
{
    if (msg != WM_DRAWITEM)
        return FALSE;
    const auto *di = reinterpret_cast<DRAWITEMSTRUCT *>(lp);
    DrawBitmap(di->hDC, faces_[face_], di->rcItem.left, di->rcItem.top, di->rcItem.right, di->rcItem.bottom, TRUE);
    *result = TRUE;
    return TRUE;
}

void PlaceControls(HWND dialog, const ControlPlace *places, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const ControlPlace &p = places[i];
        HWND c = GetDlgItem(dialog, static_cast<int>(p.id));
        if (!c)
            continue;
        RECT r;
        ::GetWindowRect(c, &r);
        ::SetWindowPos(c, nullptr, p.x, p.y, p.w, p.h ? p.h : r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

std::string ProgramFolder()
{
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return std::string();
    const char *slash = std::strrchr(path, '\\');
    return slash ? std::string(path, static_cast<size_t>(slash - path) + 1) : std::string();
}

HBITMAP LoadPictureBitmap(const char *relativeName)
{
    const std::string folder = ProgramFolder();
    if (folder.empty())
        return nullptr;
    const char *name = relativeName;
    if (name[0] == '.' && name[1] == '\\')
        name += 2;
    const std::string path = folder + name;
    if (path.size() >= MAX_PATH)
        return nullptr;
    return static_cast<HBITMAP>(
        LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
}

void LoadTransitionPictures(HWND list)
{
    if (!list || ::SendMessageA(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0))
        return;
    HIMAGELIST images = ImageList_Create(20, 20, ILC_COLOR8 | ILC_MASK, kTransitionCount, 4);
    if (!images)
        return;
    for (int i = 0; i < kTransitionCount; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, ".\\STransition\\%s.bmp", kTransitionNames[i]);
        HBITMAP picture = LoadPictureBitmap(name);
        if (!picture) {
            HDC screen = GetDC(nullptr);
            picture = CreateCompatibleBitmap(screen, 20, 20);
            ReleaseDC(nullptr, screen);
        }
        ImageList_AddMasked(images, picture, 0);
        DeleteObject(picture);
    }
    ::SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
    ::SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_SUBITEMIMAGES, LVS_EX_SUBITEMIMAGES);
}

void ShowTransitionPictures(HWND list, int column)
{
    const int rows = static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int r = 0; r < rows; ++r) {
        char text[64] = {};
        LVITEMA it = {};
        it.iSubItem = column;
        it.pszText = text;
        it.cchTextMax = sizeof text;
        ::SendMessageA(list, LVM_GETITEMTEXTA, r, reinterpret_cast<LPARAM>(&it));
        it.mask = LVIF_IMAGE;
        it.iItem = r;
        it.iImage = FindScheduleWord(text, WordTable::Transitions);
        if (it.iImage < 0)
            it.iImage = I_IMAGENONE;
        ::SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&it));
    }
}
