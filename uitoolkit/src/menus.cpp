/* Pop-up menu helpers and the tracked menu, which shows a pop-up at the
 * cursor and returns the chosen command even with no window to receive it. */
#include "tundrix32.h"
#include "internal.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string TextOrString(LPCSTR text)
{
    if (!text) return std::string();
    if (IS_INTRESOURCE(text)) {
        char buf[256] = {};
        LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(reinterpret_cast<ULONG_PTR>(text)), buf, sizeof buf);
        return buf;
    }
    return text;
}

UINT HighestId(HMENU menu)
{
    UINT highest = 0;
    int n = GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i) {
        UINT id = GetMenuItemID(menu, i);
        if (id != 0xFFFFFFFFu && id > highest) highest = id;
    }
    return highest;
}

bool IsSeparator(HMENU menu, int pos)
{
    MENUITEMINFOA mii = {};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_FTYPE | MIIM_SUBMENU;
    return GetMenuItemInfoA(menu, pos, TRUE, &mii) && (mii.fType & MFT_SEPARATOR) && !mii.hSubMenu;
}

}  // namespace

extern "C" HMENU __cdecl DupPopupMenu(HMENU menu)
{
    if (!menu) return nullptr;
    HMENU copy = CreatePopupMenu();
    if (!copy) return nullptr;
    int n = GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i) {
        char text[257] = {};
        MENUITEMINFOA mii = {};
        mii.cbSize = sizeof mii;
        mii.fMask = 0x1EF;   /* state, id, sub-menu, check marks, data, string, bitmap, type */
        mii.dwTypeData = text;
        mii.cch = 256;
        if (!GetMenuItemInfoA(menu, i, TRUE, &mii)) continue;
        if (mii.hSubMenu) mii.hSubMenu = DupPopupMenu(mii.hSubMenu);
        mii.dwTypeData = text;
        mii.cch = static_cast<UINT>(std::strlen(text));
        InsertMenuItemA(copy, i, TRUE, &mii);
    }
    return copy;
}

extern "C" BOOL __cdecl InsertDonorMenu(HMENU menu, UINT before, HMENU donor, UINT command)
{
    char text[33] = {};
    if (!menu || !donor || GetMenuStringA(donor, command, text, sizeof text, MF_BYCOMMAND) <= 0) return FALSE;
    return InsertMenuA(menu, before, MF_BYCOMMAND | MF_STRING, command, text);
}

extern "C" int __cdecl CleanupMenu(HMENU menu)
{
    if (!menu) return 0;
    int examined = 0;
    int i = 0;
    while (i < GetMenuItemCount(menu)) {
        ++examined;
        HMENU sub = GetSubMenu(menu, i);
        if (sub) {
            CleanupMenu(sub);
            if (GetMenuItemCount(sub) == 0) {
                DeleteMenu(menu, i, MF_BYPOSITION);
                continue;
            }
        } else if (IsSeparator(menu, i) && (i == 0 || IsSeparator(menu, i - 1))) {
            DeleteMenu(menu, i, MF_BYPOSITION);
            continue;
        }
        ++i;
    }
    int n;
    while ((n = GetMenuItemCount(menu)) > 0 && IsSeparator(menu, n - 1)) DeleteMenu(menu, n - 1, MF_BYPOSITION);
    return examined;
}

extern "C" HMENU __cdecl PopupMenuFromText(LPCSTR text, char separator)
{
    std::string all = TextOrString(text);
    HMENU menu = CreatePopupMenu();
    if (!menu) return nullptr;
    UINT next = 1;
    size_t start = 0;
    for (;;) {
        size_t end = all.find(separator, start);
        std::string piece = all.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (piece.size() > 255) piece.resize(255);
        if (piece.empty()) AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        else AppendMenuA(menu, MF_STRING, next++, piece.c_str());
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return menu;
}

extern "C" UINT __cdecl AddToMenu(HMENU menu, LPCSTR text, UINT command, int position, UINT flags)
{
    if (!menu) return 0;
    if (!command) command = HighestId(menu) + 1;
    if (!text) return InsertMenuA(menu, position, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr) ? command : 0;
    std::string s = TextOrString(text);
    if (flags & MF_POPUP) {
        HMENU sub = CreatePopupMenu();
        if (!sub) return 0;
        if (!InsertMenuA(menu, position, MF_BYPOSITION | MF_STRING | flags, reinterpret_cast<UINT_PTR>(sub), s.c_str())) {
            DestroyMenu(sub);
            return 0;
        }
        /* The new sub-menu's index in the menu. */
        int n = GetMenuItemCount(menu);
        for (int i = 0; i < n; ++i)
            if (GetSubMenu(menu, i) == sub) return static_cast<UINT>(i);
        return 0;
    }
    return InsertMenuA(menu, position, MF_BYPOSITION | MF_STRING | flags, command, s.c_str()) ? command : 0;
}

extern "C" BOOL __cdecl tmenuLoad(TRACKEDMENU *obj, int kind, LPCSTR name, LONG_PTR extra)
{
    if (!obj) return FALSE;
    HMENU menu = nullptr;
    switch (kind) {
    case 0: {
        HMODULE module = extra ? reinterpret_cast<HMODULE>(extra) : GetModuleHandleA(nullptr);
        if (HMENU bar = LoadMenuA(module, name)) {
            menu = DupPopupMenu(GetSubMenu(bar, 0));
            DestroyMenu(bar);
        }
        break;
    }
    case 1: menu = PopupMenuFromText(name, static_cast<char>(extra & 0xFF)); break;
    case 2: menu = reinterpret_cast<HMENU>(extra); break;
    default: break;
    }
    if (obj->menu && obj->menu != menu) DestroyMenu(obj->menu);
    obj->menu = menu;
    return obj->menu != nullptr;
}

extern "C" TRACKEDMENU *__cdecl tmenuNew(int kind, LPCSTR name, LONG_PTR extra, HWND owner)
{
    auto *obj = static_cast<TRACKEDMENU *>(std::calloc(1, sizeof(TRACKEDMENU)));
    if (!obj) return nullptr;
    obj->owner = owner;
    tmenuLoad(obj, kind, name, extra);
    return obj;
}

extern "C" void __cdecl tmenuDelete(TRACKEDMENU *obj)
{
    if (!obj) return;
    if (obj->menu) DestroyMenu(obj->menu);
    std::free(obj);
}

extern "C" UINT __cdecl tmenuTrack(TRACKEDMENU *obj, UINT flags, const RECT *rect)
{
    if (!obj || !obj->menu) return 0;
    if (!flags) flags = TPM_RIGHTBUTTON;
    DWORD pos = GetMessagePos();
    int x = static_cast<short>(LOWORD(pos)) + obj->x_offset;
    int y = static_cast<short>(HIWORD(pos)) + obj->y_offset;
    if (obj->owner) {
        BOOL r = TrackPopupMenu(obj->menu, flags, x, y, 0, obj->owner, rect);
        if (!r) obj->last_error = GetLastError();
        return LOWORD(r);
    }
    HWND hidden = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (!hidden) {
        obj->last_error = GetLastError();
        return 0;
    }
    BOOL r = TrackPopupMenu(obj->menu, flags, x, y, 0, hidden, rect);
    if (!r) obj->last_error = GetLastError();
    UINT result = (flags & TPM_RETURNCMD) ? LOWORD(r) : 0;
    MSG msg;
    while (PeekMessageA(&msg, hidden, 0, 0, PM_REMOVE))
        if (msg.message == WM_COMMAND) result = LOWORD(msg.wParam);
    DestroyWindow(hidden);
    return result;
}

extern "C" int __cdecl tmenuEnable(TRACKEDMENU *obj, UINT item, int state, UINT flags)
{
    if (!obj || !obj->menu) return -1;
    UINT how = state == -1 ? MF_DISABLED : state ? MF_ENABLED : MF_GRAYED;
    return EnableMenuItem(obj->menu, item, how | flags);
}

extern "C" int __cdecl tmenuCheck(TRACKEDMENU *obj, UINT item, BOOL checked, UINT flags)
{
    if (!obj || !obj->menu) return -1;
    return static_cast<int>(CheckMenuItem(obj->menu, item, (checked ? MF_CHECKED : MF_UNCHECKED) | flags));
}

extern "C" UINT __cdecl tmenuAdd(TRACKEDMENU *obj, LPCSTR text, UINT command, int position, UINT flags)
{
    return obj ? AddToMenu(obj->menu, text, command, position, flags) : 0;
}

extern "C" int __cdecl tmenuRemove(TRACKEDMENU *obj, UINT item, UINT flags)
{
    if (!obj || !obj->menu) return -1;
    return DeleteMenu(obj->menu, item, flags);
}

extern "C" void __cdecl tmenuSetWnd(TRACKEDMENU *obj, HWND owner)
{
    if (obj) obj->owner = owner;
}

extern "C" ULONGLONG __cdecl tmenuSetOffset(TRACKEDMENU *obj, int x, int y)
{
    if (!obj) return 0;
    ULONGLONG old = static_cast<ULONGLONG>(static_cast<UINT>(obj->x_offset)) |
                    (static_cast<ULONGLONG>(static_cast<UINT>(obj->y_offset)) << 32);
    obj->x_offset = x;
    obj->y_offset = y;
    return old;
}

extern "C" int __cdecl DoTrackMenu(int kind, LPCSTR name, LONG_PTR extra, HWND owner)
{
    TRACKEDMENU *obj = tmenuNew(kind, name, extra, owner);
    if (!obj || !obj->menu) {
        if (obj) {
            if (kind == 2) obj->menu = nullptr;   /* an adopted menu that was null */
            tmenuDelete(obj);
        }
        return -1;
    }
    int r = static_cast<int>(tmenuTrack(obj, TPM_RIGHTBUTTON, nullptr));
    tmenuDelete(obj);
    return r;
}
