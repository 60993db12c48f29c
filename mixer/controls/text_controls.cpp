#include "text_controls.h"
#include "geometry.h"
#include <shellapi.h>
#include <vector>

namespace {
HFONT MakeFont(int height, BYTE pitchAndFamily, const char *face)
{
    LOGFONTA lf = {};
    lf.lfHeight = height;
    lf.lfWeight = FW_NORMAL;
    lf.lfPitchAndFamily = pitchAndFamily;
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(lf.lfFaceName, face ? face : "", LF_FACESIZE);
    return CreateFontIndirectA(&lf);
}
bool IsCtlColor(UINT msg) { return msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC; }
}

/* ---- CEditEx ---- */

CEditEx::CEditEx() : bk_(GetSysColor(COLOR_WINDOW)), text_(GetSysColor(COLOR_WINDOWTEXT))
{
    brush_ = CreateSolidBrush(bk_);
    handlers.Message(WM_CONTEXTMENU, [this](WPARAM, LPARAM lp) {
        if (!contextMenu) return Default();
        HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(contextMenu));
        if (menu) {
            TrackPopupMenu(GetSubMenu(menu, 0), TPM_RIGHTBUTTON, (short)LOWORD(lp), (short)HIWORD(lp), 0, m_hWnd, nullptr);
            DestroyMenu(menu);
        }
        return (LRESULT)0;
    });
    handlers.Message(WM_CHAR, [this](WPARAM ch, LPARAM) {
        if (filter && !filter((UINT)ch)) {
            MessageBeep(0);
            return (LRESULT)0;
        }
        return Default();
    });
}

CEditEx::~CEditEx()
{
    DeleteObject(brush_);
    if (font_) DeleteObject(font_);
}

void CEditEx::SetFont(int height, BYTE pitchAndFamily, const char *face)
{
    HFONT f = MakeFont(height, pitchAndFamily, face);
    if (!f) return;
    if (font_) DeleteObject(font_);
    font_ = f;
    SendMessage(WM_SETFONT, (WPARAM)font_, TRUE);
}

COLORREF CEditEx::SetBkColour(COLORREF c)
{
    COLORREF old = bk_;
    bk_ = c;
    DeleteObject(brush_);
    brush_ = CreateSolidBrush(c);
    Invalidate();
    return old;
}

COLORREF CEditEx::SetTextColour(COLORREF c)
{
    COLORREF old = text_;
    text_ = c;
    Invalidate();
    return old;
}

BOOL CEditEx::OnChildNotify(UINT msg, WPARAM wp, LPARAM, LRESULT *result)
{
    if (!IsCtlColor(msg)) return FALSE;
    SetTextColor((HDC)wp, text_);
    SetBkColor((HDC)wp, bk_);
    *result = (LRESULT)brush_;
    return TRUE;
}

/* ---- CStaticEx ---- */

CStaticEx::CStaticEx() : bk_(GetSysColor(COLOR_BTNFACE)), text_(GetSysColor(COLOR_WINDOWTEXT))
{
    brush_ = CreateSolidBrush(bk_);
    handlers.Message(WM_SETCURSOR, [this](WPARAM, LPARAM) {
        SetCursor(link ? LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(208)) : LoadCursorA(nullptr, (LPCSTR)IDC_ARROW));
        return (LRESULT)TRUE;
    });
}

CStaticEx::~CStaticEx()
{
    if (brush_) DeleteObject(brush_);
    if (font_) DeleteObject(font_);
}

void CStaticEx::SetFont(int height, BYTE pitchAndFamily, const char *face)
{
    HFONT f = MakeFont(height, pitchAndFamily, face);
    if (!f) return;
    if (font_) DeleteObject(font_);
    font_ = f;
    SendMessage(WM_SETFONT, (WPARAM)font_, TRUE);
}

void CStaticEx::RebuildBrush()
{
    if (brush_) DeleteObject(brush_);
    brush_ = CreateSolidBrush(bk_);
}

COLORREF CStaticEx::SetBkColour(COLORREF c)
{
    COLORREF old = bk_;
    bk_ = c;
    RebuildBrush();
    Invalidate();
    return old;
}

COLORREF CStaticEx::SetTextColour(COLORREF c)
{
    COLORREF old = text_;
    text_ = c;
    Invalidate();
    return old;
}

void CStaticEx::OnClicked()
{
    if (toggleWindow) ::ShowWindow(toggleWindow, ::IsWindowVisible(toggleWindow) ? SW_HIDE : SW_SHOW);
    if (companion) companion->RebuildBrush();
    if (!target.empty()) {
        HINSTANCE r = ShellExecuteA(nullptr, "open", target.c_str(), nullptr, nullptr, 1);
        if ((INT_PTR)r <= 32) {
            MessageBeep(0);
            MessageBoxA(GetParent(), ("Unable to open " + target + ".").c_str(), "", MB_OK | MB_ICONINFORMATION);
        } else {
            visited = true;
            Invalidate();
        }
    }
    if (notifyMessage && notifyWindow) ::SendMessageA(notifyWindow, notifyMessage, notifyWParam, 0);
}

BOOL CStaticEx::OnChildNotify(UINT msg, WPARAM wp, LPARAM, LRESULT *result)
{
    if (IsCtlColor(msg)) {
        if (!target.empty()) {
            ModifyStyle(0, SS_NOTIFY);
            SetTextColor((HDC)wp, visited ? visitedColour_ : text_);
        } else {
            SetTextColor((HDC)wp, text_);
        }
        SetBkColor((HDC)wp, bk_);
        *result = (LRESULT)brush_;
        return TRUE;
    }
    if (msg == WM_COMMAND && HIWORD(wp) == STN_CLICKED) OnClicked();
    return FALSE;
}

/* ---- CListCtrlEx ---- */

CListCtrlEx::CListCtrlEx()
    : text_(GetSysColor(COLOR_WINDOWTEXT)), textBk_(GetSysColor(COLOR_WINDOW)), bk_(GetSysColor(COLOR_WINDOW))
{
    auto point = [](LPARAM lp) { return POINT{(short)LOWORD(lp), (short)HIWORD(lp)}; };
    handlers.Message(WM_LBUTTONDOWN, [this, point](WPARAM, LPARAM lp) { OnLButtonDown(point(lp)); return (LRESULT)0; });
    handlers.Message(WM_LBUTTONDBLCLK, [this, point](WPARAM, LPARAM lp) { OnLButtonDblClk(point(lp)); return (LRESULT)0; });
    handlers.Message(LVM_SETIMAGELIST, [this](WPARAM which, LPARAM lp) {
        if (which == LVSIL_STATE) {
            int w = 0, h = 0;
            stateWidth_ = (lp && ImageList_GetImageCount((HIMAGELIST)lp) > 0 && ImageList_GetIconSize((HIMAGELIST)lp, &w, &h)) ? w : 0;
        }
        return Default();
    });
    handlers.Message(LVM_SETTEXTCOLOR, [this](WPARAM, LPARAM c) { text_ = (COLORREF)c; return Default(); });
    handlers.Message(LVM_SETTEXTBKCOLOR, [this](WPARAM, LPARAM c) { textBk_ = (COLORREF)c; return Default(); });
    handlers.Message(LVM_SETBKCOLOR, [this](WPARAM, LPARAM c) { bk_ = (COLORREF)c; return Default(); });
    handlers.Message(WM_SIZE, [this](WPARAM, LPARAM lp) { clientWidth_ = LOWORD(lp); return Default(); });
    handlers.Message(WM_SETFOCUS, [this](WPARAM, LPARAM) { Invalidate(FALSE); return Default(); });
    handlers.Message(WM_KILLFOCUS, [this](WPARAM, LPARAM) { Invalidate(FALSE); return Default(); });
}

CListCtrlEx::~CListCtrlEx()
{
    if (state_) ImageList_Destroy(state_);
}

BOOL CListCtrlEx::Create(DWORD style, const RECT &rc, HWND parent, UINT id)
{
    parent_ = parent;
    style = (style & ~LVS_SMALLICON) | LVS_REPORT | LVS_OWNERDRAWFIXED;
    if (!CreateEx(0, WC_LISTVIEWA, "", style | WS_CHILD, rc, parent, id)) return FALSE;
    ownerDraw_ = true;
    RECT cr;
    ::GetClientRect(m_hWnd, &cr);
    clientWidth_ = cr.right;
    state_ = ImageList_LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(130), 16, 1, RGB(255, 0, 0), IMAGE_BITMAP, 0);
    if (state_) SendMessage(LVM_SETIMAGELIST, LVSIL_STATE, (LPARAM)state_);
    return TRUE;
}

bool CListCtrlEx::IsChecked(int item) const
{
    return ((UINT)::SendMessageA(m_hWnd, LVM_GETITEMSTATE, item, LVIS_STATEIMAGEMASK) & 0xF000) == 0x2000;
}

void CListCtrlEx::SetCheck(int item, bool checked)
{
    LVITEMA it = {};
    it.stateMask = LVIS_STATEIMAGEMASK;
    it.state = checked ? 0x2000 : 0x1000;
    ::SendMessageA(m_hWnd, LVM_SETITEMSTATE, item, (LPARAM)&it);
}

int CListCtrlEx::ToggleCheck(int item)
{
    if (IsChecked(item)) {
        SetCheck(item, false);
        return 1;
    }
    SetCheck(item, true);
    return 0;
}

void CListCtrlEx::UncheckAll()
{
    int n = (int)SendMessage(LVM_GETITEMCOUNT);
    for (int i = 0; i < n; ++i) SetCheck(i, false);
}

void CListCtrlEx::OnLButtonDown(POINT pt)
{
    LVHITTESTINFO hit = {};
    hit.pt = pt;
    int item = (int)SendMessage(LVM_SUBITEMHITTEST, 0, (LPARAM)&hit);
    clicked_ = item;
    bool onBox = item >= 0 && (hit.flags & LVHT_ONITEMSTATEICON);
    if (item >= 0 && !onBox && ownerDraw_) {
        RECT icon = {};
        icon.left = LVIR_ICON;
        SendMessage(LVM_GETITEMRECT, item, (LPARAM)&icon);
        onBox = pt.x < icon.left;
    }
    if (onBox) {
        ToggleCheck(item);
        ::SendMessageA(parent_ ? parent_ : GetParent(), WM_LIST_CHECK_TOGGLED, (WPARAM)(item & 0xFFFF), 0);
        return;
    }
    Default();
}

void CListCtrlEx::OnLButtonDblClk(POINT pt)
{
    LVHITTESTINFO hit = {};
    hit.pt = pt;
    int item = (int)SendMessage(LVM_SUBITEMHITTEST, 0, (LPARAM)&hit);
    if (item >= 0) {
        if (!IsChecked(item)) SetCheck(item, true);
        ::SendMessageA(parent_ ? parent_ : GetParent(), WM_LIST_DBLCLK_CHECK, (WPARAM)(item & 0xFFFF), 0);
        return;
    }
    Default();
}

void CListCtrlEx::DrawItem(const DRAWITEMSTRUCT *di)
{
    HDC dc = di->hDC;
    int item = (int)di->itemID;
    char text[260] = {};
    LVITEMA it = {};
    it.mask = LVIF_TEXT | LVIF_STATE | LVIF_IMAGE;
    it.iItem = item;
    it.pszText = text;
    it.cchTextMax = sizeof(text);
    it.stateMask = 0xFFFF;
    SendMessage(LVM_GETITEMA, 0, (LPARAM)&it);
    bool focus = GetFocus() == m_hWnd;
    bool selected = (it.state & LVIS_SELECTED) != 0;
    RECT row = di->rcItem;
    COLORREF fg = text_;
    if (selected && focus) {
        FillRect(dc, &row, GetSysColorBrush(COLOR_HIGHLIGHT));
        fg = GetSysColor(COLOR_HIGHLIGHTTEXT);
    } else {
        HBRUSH br = CreateSolidBrush(textBk_);
        FillRect(dc, &row, br);
        DeleteObject(br);
    }
    int x = row.left;
    if (state_) {
        int s = (it.state & 0xF000) >> 12;
        if (s > 0) ImageList_Draw(state_, s, dc, x, row.top + (row.bottom - row.top - 16) / 2, ILD_TRANSPARENT);
        x += stateWidth_;
    }
    HIMAGELIST smallImages = (HIMAGELIST)SendMessage(LVM_GETIMAGELIST, LVSIL_SMALL);
    if (smallImages) {
        ImageList_Draw(smallImages, it.iImage, dc, x, row.top, ILD_TRANSPARENT | (it.state & 0xF00));
        x += 16;
    }
    SetTextColor(dc, fg);
    SetBkMode(dc, TRANSPARENT);
    LVCOLUMNA col = {};
    col.mask = LVCF_WIDTH | LVCF_FMT;
    int colLeft = row.left;
    for (int c = 0; SendMessage(LVM_GETCOLUMNA, c, (LPARAM)&col); ++c) {
        char sub[260] = {};
        LVITEMA si = {};
        si.iSubItem = c;
        si.pszText = sub;
        si.cchTextMax = sizeof(sub);
        SendMessage(LVM_GETITEMTEXTA, item, (LPARAM)&si);
        int left = c == 0 ? x + 2 : colLeft + 6;
        int width = colLeft + col.cx - left - 2;
        std::string shown = skin::FitText(sub, width, 0, [dc](const std::string &s) {
            SIZE sz = {};
            GetTextExtentPoint32A(dc, s.c_str(), (int)s.size(), &sz);
            return (int)sz.cx;
        });
        RECT cell = {left, row.top, left + width, row.bottom};
        UINT align = (col.fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_RIGHT ? DT_RIGHT
                     : (col.fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_CENTER ? DT_CENTER : DT_LEFT;
        DrawTextA(dc, shown.c_str(), -1, &cell, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | align);
        colLeft += col.cx;
        col.mask = LVCF_WIDTH | LVCF_FMT;
    }
    if ((it.state & LVIS_FOCUSED) && focus) DrawFocusRect(dc, &row);
}

BOOL CListCtrlEx::OnChildNotify(UINT msg, WPARAM, LPARAM lp, LRESULT *result)
{
    if (msg != WM_DRAWITEM) return FALSE;
    DrawItem(reinterpret_cast<const DRAWITEMSTRUCT *>(lp));
    *result = TRUE;
    return TRUE;
}

/* ---- CLinkLabel ---- */

CLinkLabel::CLinkLabel()
{
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof(lf_), &lf_);
    handlers.Message(WM_PAINT, [this](WPARAM, LPARAM) {
        if (defaultPainting) return Default();
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_hWnd, &ps);
        Paint(dc);
        EndPaint(m_hWnd, &ps);
        return (LRESULT)0;
    });
    handlers.Message(WM_ERASEBKGND, [](WPARAM, LPARAM) { return (LRESULT)TRUE; });
    handlers.Message(WM_SETTEXT, [this](WPARAM, LPARAM lp) {
        if (selfText_) return Default();
        text_ = lp ? (const char *)lp : "";
        Invalidate();
        return (LRESULT)TRUE;
    });
    handlers.Message(WM_GETTEXT, [this](WPARAM n, LPARAM lp) {
        if (selfText_ || !n || !lp) return Default();
        lstrcpynA((char *)lp, text_.c_str(), (int)n);
        return (LRESULT)lstrlenA((char *)lp);
    });
    handlers.Message(WM_GETTEXTLENGTH, [this](WPARAM, LPARAM) { return (LRESULT)text_.size(); });
    handlers.Message(WM_LBUTTONDOWN, [this](WPARAM, LPARAM) {
        if (isLink) ShellExecuteA(nullptr, "open", text_.c_str(), nullptr, nullptr, 1);
        return Default();
    });
    handlers.Message(WM_MOUSEMOVE, [this](WPARAM, LPARAM) {
        if (!inside_) {
            inside_ = true;
            TRACKMOUSEEVENT t = {sizeof(t), TME_HOVER | TME_LEAVE, m_hWnd, 50};
            TrackMouseEvent(&t);
        }
        return Default();
    });
    handlers.Message(WM_MOUSEHOVER, [this](WPARAM, LPARAM) {
        if (hoverColouring) {
            saved_ = current_;
            current_ = hoverColour;
            Invalidate();
        }
        return Default();
    });
    handlers.Message(WM_MOUSELEAVE, [this](WPARAM, LPARAM) {
        TRACKMOUSEEVENT t = {sizeof(t), TME_HOVER | TME_LEAVE, m_hWnd, 50};
        TrackMouseEvent(&t);
        inside_ = false;
        if (hoverColouring) {
            current_ = saved_;
            Invalidate();
        }
        return Default();
    });
    handlers.Message(WM_TIMER, [this](WPARAM id, LPARAM) {
        if (id == 1) { flashState_ = !flashState_; Invalidate(); }
        if (id == 2) { bkState_ = !bkState_; Invalidate(); }
        return Default();
    });
    handlers.Message(WM_ENABLE, [this](WPARAM, LPARAM) {
        SendMessage(WM_SETREDRAW, FALSE);
        LRESULT r = Default();
        SendMessage(WM_SETREDRAW, TRUE);
        Invalidate();
        return r;
    });
    handlers.Message(WM_SETCURSOR, [this](WPARAM, LPARAM) {
        if (!cursor) return Default();
        SetCursor(cursor);
        return (LRESULT)TRUE;
    });
}

CLinkLabel::~CLinkLabel()
{
    if (font_) DeleteObject(font_);
    if (bitmap_) DeleteObject(bitmap_);
}

void CLinkLabel::PreSubclassWindow()
{
    LONG_PTR s = GetWindowLongPtrA(m_hWnd, GWL_STYLE);
    SetWindowLongPtrA(m_hWnd, GWL_STYLE, s | SS_NOTIFY);
    if ((s & SS_TYPEMASK) == SS_CENTER) textStyle = (textStyle & ~7u) | 2;
    else if ((s & SS_TYPEMASK) == SS_RIGHT) textStyle = (textStyle & ~7u) | 4;
    if (s & SS_CENTERIMAGE) textStyle = (textStyle & ~56u) | 16;
    char buf[1024] = {};
    ::GetWindowTextA(m_hWnd, buf, sizeof(buf));
    text_ = buf;
    RebuildFont();
}

int CLinkLabel::HorizontalAlign() const
{
    return (textStyle & 1) ? 0 : (textStyle & 2) ? 1 : (textStyle & 4) ? 2 : 0;
}

int CLinkLabel::VerticalAlign() const
{
    return (textStyle & 8) ? 0 : (textStyle & 16) ? 1 : (textStyle & 32) ? 2 : 0;
}

void CLinkLabel::RebuildFont()
{
    if (font_) DeleteObject(font_);
    font_ = CreateFontIndirectA(&lf_);
}

void CLinkLabel::SetText(const std::string &text)
{
    text_ = text;
    Invalidate();
}

void CLinkLabel::SetTextColour(COLORREF c)
{
    textColour_ = current_ = c;
    systemText = 0;
    Invalidate();
}

void CLinkLabel::SetFontName(const char *face)
{
    lstrcpynA(lf_.lfFaceName, face, LF_FACESIZE);
    RebuildFont();
    Invalidate();
}

void CLinkLabel::SetFontSize(int height)
{
    lf_.lfHeight = height;
    RebuildFont();
    Invalidate();
}

void CLinkLabel::SetBitmap(int id)
{
    if (bitmap_) DeleteObject(bitmap_);
    bitmap_ = id < 0 ? nullptr : (HBITMAP)LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, 0);
    Invalidate();
}

std::string CLinkLabel::Shown() const
{
    std::string t;
    if (textFlash && flashState_) return t;
    if (verticalText) {
        for (size_t i = 0; i < text_.size(); ++i) {
            if (i) t += '\n';
            t += text_[i];
        }
    } else {
        t = text_;
    }
    for (char &c : t) {
        if (lowerCase) c = (char)(UINT_PTR)CharLowerA((LPSTR)(UINT_PTR)(BYTE)c);
        else if (upperCase) c = (char)(UINT_PTR)CharUpperA((LPSTR)(UINT_PTR)(BYTE)c);
    }
    return t;
}

void CLinkLabel::Paint(HDC dc)
{
    RECT rc;
    ::GetClientRect(m_hWnd, &rc);
    COLORREF bk = systemBackground ? GetSysColor(COLOR_BTNFACE) : bkColour;
    if (bkFlash && bkState_) bk = systemBackground ? (bkColour >> 1) : GetSysColor(COLOR_BTNFACE);
    HBRUSH br = CreateSolidBrush(bk);
    FillRect(dc, &rc, br);
    DeleteObject(br);
    if (bitmap_) {
        BITMAP bm = {};
        GetObjectA(bitmap_, sizeof(bm), &bm);
        HDC mem = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(mem, bitmap_);
        if (stretchBitmap) {
            StretchBlt(dc, 0, 0, rc.right, rc.bottom, mem, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
        } else {
            int x = (rc.right - bm.bmWidth) / 2, y = (rc.bottom - bm.bmHeight) / 2;
            if (x < 0) x = -x / 2;
            if (y < 0) y = -y / 2;
            BitBlt(dc, x, y, rc.right - x, rc.bottom - y, mem, 0, 0, SRCCOPY);
        }
        SelectObject(mem, old);
        DeleteDC(mem);
    }
    COLORREF fg = systemText ? GetSysColor(COLOR_WINDOWTEXT) : current_;
    std::string text = Shown();
    HGDIOBJ oldFont = SelectObject(dc, font_);
    SetBkMode(dc, TRANSPARENT);
    bool multi = text.find('\n') != std::string::npos;
    if (bitmap_ && angle == 0 && (!multi || VerticalAlign() == 0)) {
        SetTextColor(dc, fg);
        UINT h = HorizontalAlign() == 1 ? DT_CENTER : HorizontalAlign() == 2 ? DT_RIGHT : DT_LEFT;
        UINT v = multi ? 0 : (DT_SINGLELINE | (VerticalAlign() == 1 ? DT_VCENTER : VerticalAlign() == 2 ? DT_BOTTOM : 0));
        DrawTextA(dc, text.c_str(), -1, &rc, h | v);
    } else {
        Render(dc, rc, text, bk, fg);
    }
    SelectObject(dc, oldFont);
}

void CLinkLabel::Render(HDC dc, const RECT &client, const std::string &text, COLORREF bk, COLORREF fg)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        if (nl > start) lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    TEXTMETRICA tm = {};
    GetTextMetricsA(dc, &tm);
    int lineH = tm.tmHeight, boxW = 0;
    for (const auto &l : lines) {
        SIZE sz = {};
        GetTextExtentPoint32A(dc, l.c_str(), (int)l.size(), &sz);
        if (sz.cx > boxW) boxW = sz.cx;
    }
    int boxH = lineH * (int)lines.size();
    int side = boxW > boxH ? boxW : boxH;
    if (side <= 0) return;
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bmp = CreateCompatibleBitmap(dc, side, side);
    HDC rot = CreateCompatibleDC(dc);
    HBITMAP rbmp = CreateCompatibleBitmap(dc, side, side);
    if (!mem || !bmp || !rot || !rbmp) {
        if (mem) DeleteDC(mem);
        if (rot) DeleteDC(rot);
        if (bmp) DeleteObject(bmp);
        if (rbmp) DeleteObject(rbmp);
        return;
    }
    HGDIOBJ o1 = SelectObject(mem, bmp), o2 = SelectObject(rot, rbmp);
    HGDIOBJ of = SelectObject(mem, GetCurrentObject(dc, OBJ_FONT));
    HBRUSH br = CreateSolidBrush(bk);
    RECT all = {0, 0, side, side};
    FillRect(mem, &all, br);
    FillRect(rot, &all, br);
    DeleteObject(br);
    SetBkMode(mem, TRANSPARENT);
    UINT h = HorizontalAlign() == 1 ? DT_CENTER : HorizontalAlign() == 2 ? DT_RIGHT : DT_LEFT;
    bool disabled = (GetStyle() & WS_DISABLED) != 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        RECT r = {0, (int)i * lineH, boxW, (int)(i + 1) * lineH};
        if (disabled) {
            RECT s = {r.left + 1, r.top + 1, r.right + 1, r.bottom + 1};
            SetTextColor(mem, GetSysColor(COLOR_BTNHIGHLIGHT));
            DrawTextA(mem, lines[i].c_str(), -1, &s, DT_SINGLELINE | DT_VCENTER | h);
            SetTextColor(mem, GetSysColor(COLOR_BTNSHADOW));
        } else {
            SetTextColor(mem, fg);
        }
        DrawTextA(mem, lines[i].c_str(), -1, &r, DT_SINGLELINE | DT_VCENTER | h);
    }
    int a = ((angle % 360) + 360) % 360;
    HDC src = mem;
    if (a == 90 || a == 180 || a == 270) {
        /* Turned pixel by pixel: Wine's parallelogram blit loses the colours of a memory bitmap. */
        for (int y = 0; y < boxH; ++y) {
            for (int x = 0; x < boxW; ++x) {
                COLORREF c = GetPixel(mem, x, y);
                if (a == 90) SetPixel(rot, boxH - 1 - y, x, c);
                else if (a == 180) SetPixel(rot, boxW - 1 - x, boxH - 1 - y, c);
                else SetPixel(rot, y, boxW - 1 - x, c);
            }
        }
        src = rot;
        if (a != 180) std::swap(boxW, boxH);
    }
    int cw = client.right, ch = client.bottom;
    int w = boxW < cw ? boxW : cw, hh = boxH < ch ? boxH : ch;
    int x = HorizontalAlign() == 1 ? (cw - w) / 2 : HorizontalAlign() == 2 ? cw - w : 0;
    int y = VerticalAlign() == 1 ? (ch - hh) / 2 : VerticalAlign() == 2 ? ch - hh : 0;
    BitBlt(dc, x, y, w, hh, src, 0, 0, SRCCOPY);
    if (etchedLine) {
        if (a == 90 || a == 270) {
            int lx = HorizontalAlign() == 0 ? boxW / 2 : HorizontalAlign() == 1 ? cw / 2 : cw - boxW / 2;
            auto line = [&](int y0, int y1) { RECT r = {lx, y0, lx + 2, y1}; if (y1 > y0) DrawEdge(dc, &r, EDGE_ETCHED, BF_LEFT); };
            if (VerticalAlign() == 0) line(boxH + 6, ch - 6);
            else if (VerticalAlign() == 2) line(6, ch - boxH - 6);
            else { line(6, ch / 2 - boxH / 2 - 6); line(ch / 2 + boxH / 2 + 6, ch - 6); }
        } else {
            int ly = VerticalAlign() == 0 ? boxH / 2 : VerticalAlign() == 1 ? ch / 2 : ch - boxH / 2;
            auto line = [&](int x0, int x1) { RECT r = {x0, ly, x1, ly + 2}; if (x1 > x0) DrawEdge(dc, &r, EDGE_ETCHED, BF_TOP); };
            if (HorizontalAlign() == 0) line(boxW + 6, cw - 6);
            else if (HorizontalAlign() == 2) line(6, cw - boxW - 6);
            else { line(6, cw / 2 - boxW / 2 - 6); line(cw / 2 + boxW / 2 + 6, cw - 6); }
        }
    }
    SelectObject(mem, of);
    SelectObject(mem, o1);
    SelectObject(rot, o2);
    DeleteObject(bmp);
    DeleteObject(rbmp);
    DeleteDC(mem);
    DeleteDC(rot);
}
