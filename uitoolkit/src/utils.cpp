/* Small window, dialog-item, string, cursor and file helpers. */
#include "tundrix32.h"
#include "internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int LoadStringsInto(HWND box, UINT first, UINT last, int selection, UINT add, UINT select)
{
    if (!box || last < first) return 0;
    HINSTANCE module = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(box, GWLP_HINSTANCE));
    SendMessageA(box, WM_SETREDRAW, FALSE, 0);
    int added = 0;
    for (UINT id = first; id <= last; ++id) {
        char text[256];
        if (LoadStringA(module, id, text, sizeof text) > 0) {
            SendMessageA(box, add, 0, reinterpret_cast<LPARAM>(text));
            ++added;
        }
        if (id == 0xFFFFFFFFu) break;
    }
    if (selection < static_cast<int>(last - first + 1)) SendMessageA(box, select, selection, 0);
    SendMessageA(box, WM_SETREDRAW, TRUE, 0);
    return added;
}

/* A wait-cursor counter and the cursor it keeps. */
struct WaitCounter {
    int count;
    HCURSOR kept;
};
WaitCounter g_begin_wait, g_wait, g_halvard_wait;

int CountedWait(WaitCounter *c, BOOL on)
{
    if (on) {
        if (c->count == 0) {
            HCURSOR previous = SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)));
            if (!previous) return 0;
            c->kept = previous;
        }
        ShowCursor(TRUE);
        return ++c->count;
    }
    if (c->count > 0) {
        if (--c->count == 0) SetCursor(c->kept);
        ShowCursor(FALSE);   /* every counted show is taken back */
    }
    return c->count;
}

SIZE TextSize(HDC dc, const std::string &s)
{
    SIZE sz = {0, 0};
    GetTextExtentPoint32A(dc, s.c_str(), static_cast<int>(s.size()), &sz);
    return sz;
}

std::string ModuleFileName(HMODULE module)
{
    char buf[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(module, buf, sizeof buf);
    if (!n || n >= sizeof buf) return std::string();
    return buf;
}

size_t DirEnd(const std::string &path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? 0 : slash + 1;
}

}  // namespace

extern "C" int WINAPI LoadStringsIntoCB(HWND combo, UINT first, UINT last, int selection)
{
    return LoadStringsInto(combo, first, last, selection, CB_ADDSTRING, CB_SETCURSEL);
}

extern "C" int WINAPI LoadStringsIntoLB(HWND list, UINT first, UINT last, int selection)
{
    return LoadStringsInto(list, first, last, selection, LB_ADDSTRING, LB_SETCURSEL);
}

extern "C" int __cdecl SetDlgItemPrintf(HWND dlg, int id, LPCSTR format, ...)
{
    if (!format) return -1;
    TundrixArgs args;
    TUNDRIX_ARGS_START(args, format);
    std::string text;
    bool ok = true;
    try {
        text = TundrixFormat(format, args);
    } catch (...) {
        ok = false;   /* out of memory */
    }
    TUNDRIX_ARGS_END(args);
    if (!ok) return -1;
    SetDlgItemTextA(dlg, id, text.c_str());
    return static_cast<int>(text.size());
}

extern "C" BOOL WINAPI SetDlgItemLong(HWND dlg, int id, LONG value, BOOL is_signed)
{
    char text[16];
    if (is_signed) std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    else std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(value));
    return SetDlgItemTextA(dlg, id, text);
}

std::string TundrixGroupDigits(LONG value)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%d", static_cast<int>(value));
    /* The sign stays in front: only the digits are grouped. */
    const char *d = digits[0] == '-' ? digits + 1 : digits;
    std::string out = d == digits ? "" : "-";
    size_t n = std::strlen(d);
    for (size_t i = 0; i < n; ++i) {
        if (i && (n - i) % 3 == 0) out += ',';
        out += d[i];
    }
    return out;
}

extern "C" BOOL WINAPI SetDlgItemNum(HWND dlg, int id, LONG value)
{
    return SetDlgItemTextA(dlg, id, TundrixGroupDigits(value).c_str());
}

extern "C" double WINAPI GetDlgItemDouble(HWND dlg, int id)
{
    char text[41] = {};
    GetDlgItemTextA(dlg, id, text, sizeof text);
    return std::strtod(text, nullptr);
}

extern "C" DWORD WINAPI GetCheckMask(HWND dlg, int first, int count)
{
    if (count <= 0) count = 1;
    if (count > 32) count = 32;
    DWORD mask = 0;
    for (int i = 0; i < count; ++i)
        if (IsDlgButtonChecked(dlg, first + i) == BST_CHECKED) mask |= 1u << i;
    return mask;
}

extern "C" void WINAPI SetCheckMask(HWND dlg, int first, int count, DWORD mask)
{
    if (count <= 0) count = 1;
    if (count > 32) count = 32;
    for (int i = 0; i < count; ++i) CheckDlgButton(dlg, first + i, (mask >> i) & 1 ? BST_CHECKED : BST_UNCHECKED);
}

extern "C" void WINAPI SetRadioIndex(HWND dlg, int first, int count, int index)
{
    for (int i = 0; i < count; ++i) CheckDlgButton(dlg, first + i, i == index ? BST_CHECKED : BST_UNCHECKED);
}

extern "C" int WINAPI GetRadioIndex(HWND dlg, int first, int count)
{
    if (count <= 0) count = 1;
    for (int i = 0; i < count; ++i)
        if (IsDlgButtonChecked(dlg, first + i) == BST_CHECKED) return i;
    return -1;
}

extern "C" LPSTR WINAPI DupWindowText(HWND window)
{
    if (!window) return nullptr;
    int n = GetWindowTextLengthA(window);
    if (n <= 0) return nullptr;
    auto *text = static_cast<char *>(HeapAlloc(GetProcessHeap(), 0, n + 1));
    if (!text) return nullptr;
    if (GetWindowTextA(window, text, n + 1) <= 0) {
        HeapFree(GetProcessHeap(), 0, text);
        return nullptr;
    }
    return text;
}

extern "C" LPSTR WINAPI SqueezeText(HWND window, LPSTR out, LPCSTR text, int limit, char separator)
{
    if (!out) return out;
    if (!text) {
        *out = 0;
        return out;
    }
    std::string copy = text;
    if (separator == '\\')
        for (char &c : copy)
            if (c == '/') c = '\\';
    HDC dc = nullptr;
    HGDIOBJ old_font = nullptr;
    if (window) {
        dc = GetDC(window);
        if (HFONT f = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0))) old_font = SelectObject(dc, f);
    }
    auto width = [&](const std::string &s) { return dc ? static_cast<int>(TextSize(dc, s).cx) : static_cast<int>(s.size()); };
    bool fits = dc ? width(copy) < limit : static_cast<int>(copy.size()) <= limit;
    std::string result;
    if (fits) {
        result = copy;
    } else {
        size_t sep = copy.rfind(separator);
        std::string tail = "...", head;
        if (sep != std::string::npos) {
            tail += copy.substr(sep);
            head = copy.substr(0, sep);
        } else {
            head = copy;
        }
        int available = limit - width(tail);
        if (available <= 0) {
            result = tail;
        } else if (dc) {
            size_t take;
            if (width(head) < available) {
                take = head.size();
            } else {
                size_t low = 0, high = head.size();
                while (high - low > 1) {
                    size_t mid = (low + high) / 2;
                    if (width(head.substr(0, mid)) <= available) low = mid;
                    else high = mid;
                }
                take = low;
            }
            result = head.substr(0, take) + tail;
        } else {
            result = head.substr(0, static_cast<size_t>(available - 1) < head.size() ? available - 1 : head.size()) + tail;
        }
        /* The output never grows past the text it came from: callers size
         * their buffers by the text. */
        if (result.size() > copy.size()) result = copy;
    }
    if (dc) {
        if (old_font) SelectObject(dc, old_font);
        ReleaseDC(window, dc);
    }
    std::memcpy(out, result.c_str(), result.size() + 1);
    return out;
}

namespace {
HWND CommandTarget(HWND window, HWND *control, int *id)
{
    if (!*control && *id) *control = GetDlgItem(window, *id);
    if (!*id && *control) *id = static_cast<int>(GetWindowLongPtrA(*control, GWLP_ID));
    return window;
}
}  // namespace

extern "C" LRESULT WINAPI SendWmCommand(HWND window, HWND control, int id, UINT code)
{
    CommandTarget(window, &control, &id);
    return SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
}

extern "C" BOOL WINAPI PostWmCommand(HWND window, HWND control, int id, UINT code)
{
    CommandTarget(window, &control, &id);
    return PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
}

extern "C" int *WINAPI UnpackScrollMsg(HWND window, UINT msg, WPARAM wp, LPARAM lp, int *position, int *code,
                                      HWND *scroll_window, int *bar, int *control_id)
{
    HWND control = reinterpret_cast<HWND>(lp);
    HWND target;
    int kind, id = 0;
    if (control) {
        target = control;
        kind = SB_CTL;
        id = static_cast<int>(GetWindowLongPtrA(control, GWLP_ID));
    } else {
        target = window;
        kind = msg == WM_HSCROLL ? SB_HORZ : SB_VERT;
    }
    int c = LOWORD(wp);
    int pos = (c == SB_THUMBPOSITION || c == SB_THUMBTRACK) ? HIWORD(wp) : GetScrollPos(target, kind);
    if (position) *position = pos;
    if (code) *code = c;
    if (scroll_window) *scroll_window = target;
    if (bar) *bar = kind;
    if (control_id) *control_id = id;
    return code;
}

extern "C" int WINAPI BeginWaitCursor(void) { return CountedWait(&g_begin_wait, TRUE); }
extern "C" int WINAPI EndWaitCursor(void) { return CountedWait(&g_begin_wait, FALSE); }
extern "C" int WINAPI WaitCursor(BOOL on) { return CountedWait(&g_wait, on); }
extern "C" int WINAPI HalvardWaitCursor(BOOL on) { return CountedWait(&g_halvard_wait, on); }

extern "C" BOOL WINAPI CenterWindow(HWND window, HWND reference)
{
    if (!window) return FALSE;
    if (!reference) reference = GetWindow(window, GW_OWNER);
    RECT ref, me;
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    if (reference) GetWindowRect(reference, &ref);
    else SetRect(&ref, 0, 0, sw, sh);
    GetWindowRect(window, &me);
    int w = me.right - me.left, h = me.bottom - me.top;
    int x = ref.left + ((ref.right - ref.left) - w) / 2;
    int y = ref.top + ((ref.bottom - ref.top) - h) / 2;
    if (x + w > sw) x = sw - w;
    if (y + h > sh) y = sh - h;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    /* A child is placed in its parent's client coordinates. */
    if (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) {
        POINT pt = {x, y};
        ScreenToClient(GetParent(window), &pt);
        x = pt.x;
        y = pt.y;
    }
    return SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

extern "C" BOOL WINAPI SizeClient(HWND window, int width, int height)
{
    if (!window) return FALSE;
    RECT r = {0, 0, width, height};
    AdjustWindowRectEx(&r, GetWindowLongA(window, GWL_STYLE), GetMenu(window) != nullptr,
                       GetWindowLongA(window, GWL_EXSTYLE));
    SetWindowPos(window, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return TRUE;
}

extern "C" BOOL WINAPI SizeToChild(HWND window, HWND child)
{
    if (!window && !child) return FALSE;
    if (!window) window = GetParent(child);
    if (!child) child = GetWindow(window, GW_CHILD);
    if (!window || !child) return FALSE;
    RECT r;
    GetWindowRect(child, &r);
    SizeClient(window, r.right - r.left, r.bottom - r.top);
    SetWindowPos(child, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return TRUE;
}

extern "C" HWND WINAPI GetLastChild(HWND window)
{
    HWND first = window ? GetWindow(window, GW_CHILD) : nullptr;
    return first ? GetWindow(first, GW_HWNDLAST) : nullptr;
}

extern "C" BOOL WINAPI IsDescendant(HWND ancestor, HWND window, BOOL any)
{
    if (!window) return FALSE;
    if (!ancestor) return TRUE;
    HWND w = window;
    while (w && w != ancestor) w = GetParent(w);
    if (!w) return FALSE;
    if (any) return TRUE;
    return (GetWindowLongA(ancestor, GWL_STYLE) & WS_CHILD) ? TRUE : FALSE;
}

extern "C" void WINAPI OutlineRect(HDC dc, const RECT *rect)
{
    if (!rect) return;
    HDC use = dc ? dc : GetDC(nullptr);
    if (!use) return;
    int old_rop = SetROP2(use, R2_XORPEN);
    HPEN pen = CreatePen(PS_SOLID, 5, RGB(255, 255, 255));
    HGDIOBJ old_pen = SelectObject(use, pen);
    HGDIOBJ old_brush = SelectObject(use, GetStockObject(HOLLOW_BRUSH));
    Rectangle(use, rect->left, rect->top, rect->right, rect->bottom);
    SelectObject(use, old_brush);
    SelectObject(use, old_pen);
    DeleteObject(pen);
    SetROP2(use, old_rop);
    if (!dc) ReleaseDC(nullptr, use);
}

extern "C" void WINAPI OutlineWindow(HWND window)
{
    RECT r;
    if (GetWindowRect(window ? window : GetDesktopWindow(), &r)) OutlineRect(nullptr, &r);
}

extern "C" void WINAPI IndicateWhichWindow(HWND window)
{
    OutlineWindow(window);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 1000) Sleep(10);
    OutlineWindow(window);
}

extern "C" HPALETTE WINAPI GetSystemPalette(void)
{
    struct {
        WORD version, count;
        PALETTEENTRY entries[256];
    } pal = {0x300, 256, {}};
    HDC dc = GetDC(nullptr);
    if (!dc) return nullptr;
    GetSystemPaletteEntries(dc, 0, 256, pal.entries);
    ReleaseDC(nullptr, dc);
    return CreatePalette(reinterpret_cast<LOGPALETTE *>(&pal));
}

extern "C" HFILE WINAPI _lunlink(LPCSTR name)
{
    if (!name || !*name) return HFILE_ERROR;
    OFSTRUCT of = {};
    return OpenFile(name, &of, OF_DELETE);
}

extern "C" int WINAPI _laccess(LPCSTR name, int mode)
{
    UINT how;
    switch (mode) {
    case 0: how = OF_EXIST; break;
    case 2: how = OF_WRITE; break;
    case 4: how = OF_READ; break;
    case 6: how = OF_READWRITE; break;
    default: return -1;
    }
    if (!name || !*name) return -1;
    OFSTRUCT of = {};
    HFILE f = OpenFile(name, &of, how);
    if (f == HFILE_ERROR) return -1;
    if (how != OF_EXIST) _lclose(f);
    return 0;
}

extern "C" LONG WINAPI _lfilelength(HFILE file)
{
    LONG here = _llseek(file, 0, FILE_CURRENT);
    if (here == HFILE_ERROR) return HFILE_ERROR;
    LONG length = _llseek(file, 0, FILE_END);
    _llseek(file, here, FILE_BEGIN);
    return length;
}

extern "C" BOOL WINAPI MakeTemp(LPSTR name, char placeholder)
{
    if (!name || !*name) return FALSE;
    int len = static_cast<int>(std::strlen(name));
    int places[32], count = 0;   /* rightmost first */
    for (int i = len - 1; i >= 1 && count < 32; --i)
        if (name[i] == placeholder) {
            places[count++] = i;
            name[i] = '0';
        }
    for (;;) {
        if (_laccess(name, 0) != 0) return TRUE;
        int k = 0;
        for (; k < count; ++k) {
            char &c = name[places[k]];
            if (c == '9') { c = 'a'; break; }
            if (c != 'z') { ++c; break; }
            c = '0';   /* carry to the next placeholder on the left */
        }
        if (k == count) return FALSE;
    }
}

extern "C" int WINAPI GetModuleDir(HMODULE module, LPSTR buffer, int size)
{
    if (!buffer || size <= 0) return 0;
    std::string full = ModuleFileName(module);
    if (full.empty()) return 0;
    std::string dir = full.substr(0, DirEnd(full));
    if (dir.size() >= static_cast<size_t>(size)) return 0;
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return static_cast<int>(full.size());
}

extern "C" int WINAPI PrependExeDir(HMODULE module, LPSTR name, BOOL force)
{
    if (!name) return 0;
    std::string given = name;
    size_t dir_end = given.find_last_of("\\/:");
    if (dir_end != std::string::npos && !force) return 0;
    std::string full = ModuleFileName(module);
    if (full.empty()) return 0;
    std::string result = full.substr(0, DirEnd(full)) + (dir_end == std::string::npos ? given : given.substr(dir_end + 1));
    if (result.size() >= MAX_PATH) return 0;   /* callers hand in MAX_PATH buffers */
    std::memcpy(name, result.c_str(), result.size() + 1);
    return static_cast<int>(full.size());
}

extern "C" HMODULE WINAPI CHDIRLoadLibrary(LPSTR name, HMODULE module, BOOL copy_back)
{
    if (!name || !*name) return nullptr;
    char kept[MAX_PATH] = {};
    DWORD kept_len = GetCurrentDirectoryA(sizeof kept, kept);
    bool have_kept = kept_len && kept_len < sizeof kept;
    char full[MAX_PATH] = {};
    char *file_part = nullptr;
    GetFullPathNameA(name, sizeof full, full, &file_part);
    if (lstrcmpiA(full, name) != 0) {
        /* A relative name: it is taken from the module's directory. */
        std::string mod = ModuleFileName(module);
        if (!mod.empty()) SetCurrentDirectoryA(mod.substr(0, DirEnd(mod)).c_str());
        GetFullPathNameA(name, sizeof full, full, &file_part);
    }
    std::string path = full;
    HMODULE m = nullptr;
    if (DirEnd(path)) {
        SetCurrentDirectoryA(path.substr(0, DirEnd(path)).c_str());
        m = LoadLibraryA(path.c_str());
    }
    if (!m) {
        std::string base = path.substr(DirEnd(path));
        char found[MAX_PATH] = {};
        char *part = nullptr;
        DWORD n = SearchPathA(nullptr, base.c_str(), nullptr, sizeof found, found, &part);
        if (n && n < sizeof found) {
            path = found;
            SetCurrentDirectoryA(path.substr(0, DirEnd(path)).c_str());
            m = LoadLibraryA(path.c_str());
        }
        if (!m) {
            if (have_kept) SetCurrentDirectoryA(kept);
            return LoadLibraryA(name);
        }
    }
    if (copy_back && path.size() < MAX_PATH) std::memcpy(name, path.c_str(), path.size() + 1);
    if (have_kept) SetCurrentDirectoryA(kept);
    return m;
}

extern "C" void WINAPI hey(void) {}
