// The pop-up menu object and the icon tint.
#include "fxmenu.h"

#include <cstring>
#include <string>

const char TMENU_PROPERTY[] = "TMENU_WNDPROP - Halvard";

LRESULT TMenu::OnMessage(UINT message, WPARAM wp, LPARAM lp, BOOL *handled)
{
    return callback ? callback(this, message, wp, lp, handled) : 0;
}

LRESULT TMenu::OnInitMenuPopup(WPARAM, LPARAM, BOOL *)
{
    return 0;
}

LRESULT TMenu::Unused()
{
    return 0;
}

LRESULT TMenu::OnMenuSelect(WPARAM, LPARAM, BOOL *)
{
    return 0;
}

TMenu::~TMenu()
{
    if (menu)
        DestroyMenu(menu);
}

namespace {

// A copy of a pop-up menu, sub-menus included.
HMENU CopyPopup(HMENU source)
{
    HMENU copy = CreatePopupMenu();
    if (!copy)
        return nullptr;
    int n = GetMenuItemCount(source);
    for (int i = 0; i < n; ++i) {
        char text[256] = {};
        MENUITEMINFOA mi = {};
        mi.cbSize = sizeof mi;
        mi.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_DATA | MIIM_STRING;
        mi.dwTypeData = text;
        mi.cch = sizeof text;
        if (!GetMenuItemInfoA(source, UINT(i), TRUE, &mi))
            continue;
        if (mi.hSubMenu)
            mi.hSubMenu = CopyPopup(mi.hSubMenu);
        mi.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_DATA;
        if (!(mi.fType & MFT_SEPARATOR))
            mi.fMask |= MIIM_STRING;
        mi.dwTypeData = text;
        InsertMenuItemA(copy, UINT(i), TRUE, &mi);
    }
    return copy;
}

HMENU MenuFromText(LPCSTR source, char separator)
{
    char loaded[256];
    if (IS_INTRESOURCE(source)) {
        if (!LoadStringA(GetModuleHandleA(nullptr), UINT(LOWORD(source)), loaded, sizeof loaded))
            return nullptr;
        source = loaded;
    }
    if (!source)
        return nullptr;
    HMENU m = CreatePopupMenu();
    UINT id = 1;
    std::string text(source);
    size_t start = 0;
    for (;;) {
        size_t end = separator ? text.find(separator, start) : std::string::npos;
        std::string piece = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (piece.empty())
            AppendMenuA(m, MF_SEPARATOR, 0, nullptr);
        else
            AppendMenuA(m, MF_STRING, id++, piece.substr(0, 255).c_str());
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return m;
}

LRESULT CALLBACK TrackedProc(HWND w, UINT message, WPARAM wp, LPARAM lp)
{
    auto *m = static_cast<TMenu *>(GetPropA(w, TMENU_PROPERTY));
    if (!m)
        return DefWindowProcA(w, message, wp, lp);
    BOOL handled = FALSE;
    LRESULT r = m->OnMessage(message, wp, lp, &handled);
    if (!handled) {
        if (message == WM_INITMENUPOPUP)
            r = m->OnInitMenuPopup(wp, lp, &handled);
        else if (message == WM_MENUSELECT)
            r = m->OnMenuSelect(wp, lp, &handled);
    }
    if (handled)
        return r;
    return m->previous ? CallWindowProcA(m->previous, w, message, wp, lp) : DefWindowProcA(w, message, wp, lp);
}

}  // namespace

TMenu *CreateTMenu(int kind, LPCSTR source, LONG_PTR data, HWND owner)
{
    HMENU menu = nullptr;
    switch (kind) {
    case 0: {
        HMODULE module = data ? reinterpret_cast<HMODULE>(data) : GetModuleHandleA(nullptr);
        HMENU loaded = LoadMenuA(module, source);
        if (!loaded)
            return nullptr;
        HMENU first = GetSubMenu(loaded, 0);
        menu = first ? CopyPopup(first) : nullptr;
        DestroyMenu(loaded);
        break;
    }
    case 1:
        menu = MenuFromText(source, char(data & 0xFF));
        break;
    case 2:
        menu = reinterpret_cast<HMENU>(data);
        break;
    default:
        return nullptr;
    }
    if (!menu)
        return nullptr;
    TMenu *m = new TMenu();
    m->menu = menu;
    m->owner = owner;
    return m;
}

UINT TrackTMenu(TMenu *m, UINT flags, HWND window)
{
    if (!m || !m->menu)
        return 0;
    if (!window)
        window = m->owner;
    POINT at;
    GetCursorPos(&at);
    at.x += m->x;
    at.y += m->y;

    if (window) {
        SetPropA(window, TMENU_PROPERTY, m);
        m->previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TrackedProc)));
        BOOL r = TrackPopupMenu(m->menu, flags, at.x, at.y, 0, window, nullptr);
        if (!r)
            m->lastError = GetLastError();
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m->previous));
        m->previous = nullptr;
        RemovePropA(window, TMENU_PROPERTY);
        return UINT(r);
    }

    // No one to send the command to: a hidden window takes it.
    HWND hidden = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    if (!hidden) {
        m->lastError = GetLastError();
        return 0;
    }
    SetPropA(hidden, TMENU_PROPERTY, m);
    m->previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hidden, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TrackedProc)));
    UINT command = 0;
    if (!TrackPopupMenu(m->menu, flags & ~UINT(TPM_RETURNCMD), at.x, at.y, 0, hidden, nullptr))
        m->lastError = GetLastError();
    MSG msg;
    while (PeekMessageA(&msg, hidden, 0, 0, PM_REMOVE))
        if (msg.message == WM_COMMAND)
            command = UINT(LOWORD(msg.wParam));
    SetWindowLongPtrA(hidden, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m->previous));
    m->previous = nullptr;
    RemovePropA(hidden, TMENU_PROPERTY);
    DestroyWindow(hidden);
    return command;
}

int EnableTMenuItem(TMenu *m, UINT id, int state, int byPosition)
{
    if (!m || !m->menu)
        return -1;
    UINT how = state == -1 ? MF_DISABLED : state == 0 ? MF_GRAYED : MF_ENABLED;
    return EnableMenuItem(m->menu, id, how | (byPosition ? MF_BYPOSITION : MF_BYCOMMAND));
}

int CheckTMenuItem(TMenu *m, UINT id, int checked, int byPosition)
{
    if (!m || !m->menu)
        return -1;
    return int(CheckMenuItem(m->menu, id, (checked ? MF_CHECKED : MF_UNCHECKED) |
                                              (byPosition ? MF_BYPOSITION : MF_BYCOMMAND)));
}

int InsertTMenuItem(TMenu *m, UINT before, UINT flags, UINT_PTR id, LPCSTR text)
{
    if (!m || !m->menu)
        return -1;
    return InsertMenuA(m->menu, before, flags, id, text);
}

int DeleteTMenuItem(TMenu *m, UINT id, int byPosition)
{
    if (!m || !m->menu)
        return -1;
    return DeleteMenu(m->menu, id, byPosition ? MF_BYPOSITION : MF_BYCOMMAND);
}

LONG SetTMenuOffset(TMenu *m, LONG x, LONG y)
{
    if (!m)
        return 0;
    LONG old = LONG((m->x & 0xFFFF) | (m->y << 16));
    m->x = x;
    m->y = y;
    return old;
}

void DestroyTMenu(TMenu *m)
{
    delete m;
}

HICON TintIcon(HICON icon, COLORREF colour)
{
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info))
        return nullptr;
    int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
    HBITMAP mask = info.hbmMask;
    HBITMAP ownMask = nullptr;
    if (!info.hbmColor) {
        // A monochrome icon keeps mask and image in one double-height
        // bitmap: take the upper half as the mask.
        BITMAP bm = {};
        GetObjectA(info.hbmMask, sizeof bm, &bm);
        ownMask = CreateBitmap(bm.bmWidth, bm.bmHeight / 2, 1, 1, nullptr);
        HDC a = CreateCompatibleDC(nullptr), b = CreateCompatibleDC(nullptr);
        HGDIOBJ oa = SelectObject(a, info.hbmMask), ob = SelectObject(b, ownMask);
        BitBlt(b, 0, 0, bm.bmWidth, bm.bmHeight / 2, a, 0, 0, SRCCOPY);
        SelectObject(a, oa);
        SelectObject(b, ob);
        DeleteDC(a);
        DeleteDC(b);
        mask = ownMask;
    }
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HDC maskDc = CreateCompatibleDC(screen);
    HBITMAP image = CreateCompatibleBitmap(screen, cx, cy);
    HBITMAP newMask = CreateBitmap(cx, cy, 1, 1, nullptr);
    HGDIOBJ oldImage = SelectObject(dc, image);
    HGDIOBJ oldMaskSel = SelectObject(maskDc, mask);
    RECT all = {0, 0, cx, cy};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    // Where the mask is clear (the icon's shape) the brush colour goes in,
    // elsewhere the background stays: ((D xor P) and S) xor P.
    HBRUSH brush = CreateSolidBrush(colour);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    BitBlt(dc, 0, 0, cx, cy, maskDc, 0, 0, 0xB8074A);
    SelectObject(dc, oldBrush);
    DeleteObject(brush);
    SelectObject(dc, oldImage);
    // The new icon's mask is the old one.
    HDC nm = CreateCompatibleDC(screen);
    HGDIOBJ oldNm = SelectObject(nm, newMask);
    BitBlt(nm, 0, 0, cx, cy, maskDc, 0, 0, SRCCOPY);
    SelectObject(nm, oldNm);
    DeleteDC(nm);
    SelectObject(maskDc, oldMaskSel);
    DeleteDC(maskDc);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);

    ICONINFO made = {TRUE, 0, 0, newMask, image};
    HICON tinted = CreateIconIndirect(&made);
    DeleteObject(image);
    DeleteObject(newMask);
    if (ownMask)
        DeleteObject(ownMask);
    DeleteObject(info.hbmMask);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    return tinted;
}
