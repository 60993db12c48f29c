/* Tabbed dialogs: a frame dialog built in memory with a row of Knobset tabs,
 * a page frame and push buttons; each page is an ordinary child dialog. */
#include "tundrix32.h"
#include "internal.h"
#include "tabdlg.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

LPSTR HeapCopy(LPCSTR text)
{
    if (!text) return nullptr;
    size_t n = std::strlen(text) + 1;
    auto *copy = static_cast<LPSTR>(HeapAlloc(GetProcessHeap(), 0, n));
    if (copy) std::memcpy(copy, text, n);
    return copy;
}

void HeapRelease(void *p)
{
    if (p) HeapFree(GetProcessHeap(), 0, p);
}

bool IsStringId(LPCSTR p) { return reinterpret_cast<ULONG_PTR>(p) < 0x10000; }

TabPage *PageAt(TabDialogDescription *d, int index)
{
    TabPage *p = d->pages;
    for (int i = 0; p && i < index; ++i) p = p->next;
    return p;
}

/* The template bytes of a page and what to give back afterwards. */
struct PageTemplate {
    const DLGTEMPLATE *bytes = nullptr;
    HGLOBAL locked = nullptr;
    ~PageTemplate()
    {
        if (locked) GlobalUnlock(locked);
    }
};

void ReadPageTemplate(const TabPage *p, PageTemplate *out)
{
    if (p->pageFlags & TABPAGE_HANDLE) {
        HGLOBAL h = reinterpret_cast<HGLOBAL>(const_cast<char *>(p->tmpl));
        out->bytes = static_cast<const DLGTEMPLATE *>(GlobalLock(h));
        if (out->bytes) out->locked = h;
    } else if (p->pageFlags & TABPAGE_POINTER) {
        out->bytes = reinterpret_cast<const DLGTEMPLATE *>(p->tmpl);
    } else {
        HRSRC res = FindResourceA(p->instance, p->tmpl, reinterpret_cast<LPCSTR>(RT_DIALOG));
        HGLOBAL loaded = res ? LoadResource(p->instance, res) : nullptr;
        out->bytes = loaded ? static_cast<const DLGTEMPLATE *>(LockResource(loaded)) : nullptr;
    }
}

/* ---- running dialogs and the keyboard hook ---- */

TabDialogDescription *g_running;
HHOOK g_hook;
/* The message being handled: a call of the hook for that same message is
 * not handled again, while a modal loop opened meanwhile (a box shown by a
 * key's command) still gets its keys. */
const MSG *g_handling;
bool g_composing;

void LinkRunning(TabDialogDescription *d)
{
    d->nextActive = g_running;
    g_running = d;
    if (!g_hook) g_hook = SetWindowsHookExA(WH_GETMESSAGE, TabMessageProc, nullptr, GetCurrentThreadId());
}

void UnlinkRunning(TabDialogDescription *d)
{
    for (TabDialogDescription **p = &g_running; *p; p = &(*p)->nextActive) {
        if (*p == d) {
            *p = d->nextActive;
            break;
        }
    }
    d->nextActive = nullptr;
    if (!g_running && g_hook) {
        UnhookWindowsHookEx(g_hook);
        g_hook = nullptr;
    }
}

/* ---- the tab row ---- */

HWND TabRow(HWND frame) { return GetDlgItem(frame, kTabRowId); }

/* The rectangle of a child in its parent's client coordinates. */
RECT ChildRect(HWND child)
{
    RECT r = {};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT *>(&r), 2);
    return r;
}

void UpdateArrows(TabDialogDescription *d, HWND row)
{
    if (d->pageCount < 1) return;
    RECT client;
    GetClientRect(row, &client);
    HWND first = GetDlgItem(row, kTabFirstTabId), last = GetDlgItem(row, kTabFirstTabId + d->pageCount - 1);
    if (!first || !last) return;
    HWND back = GetDlgItem(d->frame, kTabArrowBackId), fwd = GetDlgItem(d->frame, kTabArrowForwardId);
    if (back) EnableWindow(back, ChildRect(first).left < 0);
    if (fwd) EnableWindow(fwd, ChildRect(last).right > client.right);
}

/* Scrolls the tabs by one towards the end (forward) or the start; false
 * when nothing is hidden on that side. */
bool ScrollRow(TabDialogDescription *d, bool forward)
{
    HWND row = TabRow(d->frame);
    if (!row || d->pageCount < 2) return false;
    RECT client;
    GetClientRect(row, &client);
    int first_visible = -1;
    for (int i = 0; i < d->pageCount; ++i) {
        HWND tab = GetDlgItem(row, kTabFirstTabId + i);
        if (tab && ChildRect(tab).left >= 0) {
            first_visible = i;
            break;
        }
    }
    if (first_visible < 0) return false;
    int dx = 0;
    if (forward) {
        HWND last = GetDlgItem(row, kTabFirstTabId + d->pageCount - 1);
        if (first_visible + 1 >= d->pageCount || !last || ChildRect(last).right <= client.right) return false;
        HWND a = GetDlgItem(row, kTabFirstTabId + first_visible), b = GetDlgItem(row, kTabFirstTabId + first_visible + 1);
        dx = -(ChildRect(b).left - ChildRect(a).left);
    } else {
        HWND first = GetDlgItem(row, kTabFirstTabId);
        if (first_visible == 0 || !first || ChildRect(first).left >= 0) return false;
        HWND a = GetDlgItem(row, kTabFirstTabId + first_visible), b = GetDlgItem(row, kTabFirstTabId + first_visible - 1);
        dx = ChildRect(a).left - ChildRect(b).left;
    }
    if (dx == 0) return false;
    ScrollWindowEx(row, dx, 0, nullptr, nullptr, nullptr, nullptr, SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
    UpdateArrows(d, row);
    return true;
}

void BuildTabRow(TabDialogDescription *d)
{
    HWND frame = d->frame;
    HWND page_frame = GetDlgItem(frame, kTabPageFrameId);
    if (!page_frame) return;
    RECT unit = {d->margin, d->margin, 32, 11};
    MapDialogRect(frame, &unit);
    const int w = unit.right, h = unit.bottom;
    RECT fr = ChildRect(page_frame);
    HINSTANCE inst = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(frame, GWLP_HINSTANCE));
    /* Knobkit registers "CCWnd" as a class of its own module. */
    HWND row = nullptr;
    for (HINSTANCE owner_module : {inst, GetModuleHandleA("Knobkit.dll")}) {
        row = CreateWindowExA(0x20, "CCWnd", "", 0x52000000, fr.left, fr.top - h - 2, fr.right - fr.left, h + 4, frame,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTabRowId)), owner_module, nullptr);
        if (row || !owner_module) break;
    }
    if (!row) return;
    SetWindowLongPtrA(row, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CCWndScrollProc));
    WPARAM font = SendMessageA(frame, WM_GETFONT, 0, 0);
    int x = 2;
    TabPage *p = d->pages;
    for (int i = 0; i < d->pageCount && p; ++i, p = p->next) {
        char text[300];
        if (IsStringId(p->caption))
            std::snprintf(text, sizeof text, "0`23`E0`120`71`%x", static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(p->caption)));
        else
            std::snprintf(text, sizeof text, "0`23`E0`120`171`%s", p->caption);
        DWORD style = i == 0 ? 0x54024019 : 0x54004019;
        HWND tab = CreateWindowExA(0, "Knobset", text, style, x, 2, w, h, row,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTabFirstTabId + i)), inst, nullptr);
        if (!tab) continue;
        SendMessageA(tab, WM_SETFONT, font, FALSE);
        SendMessageA(tab, WM_USER + 28, 0xD0D, 0xA000F);
        SendMessageA(tab, WM_USER + 25, 0, reinterpret_cast<LPARAM>(frame));
        x = ChildRect(tab).right + 1;
    }
    CreateWindowExA(0, "Knobset", "", 0x54006800, 0, h + 2, x, 4, row,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTabLineId)), inst, nullptr);
    const int row_width = fr.right - fr.left;
    if (x > row_width) {
        const int narrowed = row_width - 2 * (w / 3);
        SetWindowPos(row, nullptr, 0, 0, narrowed, h + 4, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        /* The two arrows sit in the strip the row gave up, over the page
         * frame's top-right corner. */
        const int s = 3 * h / 4;
        const int y = fr.top - s - 2;
        CreateWindowExA(0, "Knobset", "0`24`472`3", 0x58006021, fr.right - 2 * s, y, s, s, frame,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTabArrowBackId)), inst, nullptr);
        CreateWindowExA(0, "Knobset", "0`24`472`4", 0x50006021, fr.right - s, y, s, s, frame,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTabArrowForwardId)), inst, nullptr);
        UpdateArrows(d, row);
    }
}

/* ---- pages ---- */

HWND CreatePage(TabDialogDescription *d, int index)
{
    TabPage *p = PageAt(d, index);
    if (!p) return nullptr;
    HWND page = nullptr;
    const LPARAM param = reinterpret_cast<LPARAM>(p);
    if ((d->flags & TABF_PAGEFONT) && d->fontFace && d->fontSize) {
        page = reinterpret_cast<HWND>(HackDialogBoxParam(p->instance, p->tmpl, d->frame, TabDlgProc, param, 0,
                                                         static_cast<WORD>(d->fontSize), d->fontFace,
                                                         (p->pageFlags & (TABPAGE_HANDLE | TABPAGE_POINTER)) | 0x10));
        if (reinterpret_cast<INT_PTR>(page) == -1) page = nullptr;
    } else if (p->pageFlags & (TABPAGE_HANDLE | TABPAGE_POINTER)) {
        PageTemplate t;
        ReadPageTemplate(p, &t);
        if (t.bytes) page = CreateDialogIndirectParamA(p->instance, t.bytes, d->frame, TabDlgProc, param);
    } else {
        page = iCreateDialogParam(p->instance, p->tmpl, d->frame, TabDlgProc, param);
    }
    if (!page) return nullptr;
    if (HWND pf = GetDlgItem(d->frame, kTabPageFrameId)) {
        RECT r = ChildRect(pf);
        SetWindowPos(page, nullptr, r.left + 2, r.top + 2, r.right - r.left - 4, r.bottom - r.top - 4,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    d->pageWindow[index] = page;
    return page;
}

bool IsWin9xMe()
{
    OSVERSIONINFOA v = {};
    v.dwOSVersionInfoSize = sizeof v;
    return GetVersionExA(&v) && v.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && v.dwMinorVersion != 0;
}

void ShowPage(TabDialogDescription *d, int index, bool focus)
{
    if (index < 0 || index >= d->pageCount) return;
    HWND row = TabRow(d->frame);
    HWND tab = row ? GetDlgItem(row, kTabFirstTabId + index) : nullptr;
    if (tab) {
        RECT client;
        GetClientRect(row, &client);
        for (int guard = 0; guard < kTabMaxPages && ChildRect(tab).right > client.right; ++guard)
            if (!ScrollRow(d, true)) break;
        SendMessageA(tab, WM_USER + 11, 21, 1);
    }
    HWND page = d->pageWindow[index] ? d->pageWindow[index] : CreatePage(d, index);
    HWND old = d->currentPage;
    const int old_index = d->currentIndex;
    if (old && old != page) {
        ShowWindow(old, SW_HIDE);
        SendMessageA(old, TABN_DEACTIVATE, reinterpret_cast<WPARAM>(old), reinterpret_cast<LPARAM>(page));
    }
    if (page) {
        ShowWindow(page, SW_SHOW);
        SendMessageA(page, TABN_ACTIVATE, reinterpret_cast<WPARAM>(old), reinterpret_cast<LPARAM>(page));
    }
    if (old && old != page && IsWin9xMe() && !(d->flags & (TABF_CREATEALL | TABF_KEEPPAGES))) {
        TabPage *op = old_index >= 0 ? PageAt(d, old_index) : nullptr;
        if (op && !(op->pageFlags & TABPAGE_KEEP) && d->pageWindow[old_index] == old) {
            d->pageWindow[old_index] = nullptr;
            DestroyWindow(old);
        }
    }
    d->previousIndex = old ? old_index : -1;
    d->currentIndex = index;
    d->currentPage = page;
    if (focus && tab) SetFocus(tab);
}

void EnablePage(TabDialogDescription *d, int index, BOOL enable)
{
    if (index < 0 || index >= d->pageCount) return;
    if (HWND row = TabRow(d->frame))
        if (HWND tab = GetDlgItem(row, kTabFirstTabId + index)) EnableWindow(tab, enable);
    if (d->pageWindow[index]) EnableWindow(d->pageWindow[index], enable);
}

/* A push button ends a modal run; OK and Yes first ask every page. */
void PushButton(TabDialogDescription *d, WPARAM wp, LPARAM lp)
{
    const int id = LOWORD(wp);
    if (id == IDOK || id == IDYES) {
        for (int i = 0; i < d->pageCount; ++i)
            if (d->pageWindow[i] && SendMessageA(d->pageWindow[i], TABN_QUERYEND, wp, lp)) return;
    }
    for (int i = 0; i < d->pageCount; ++i) {
        HWND page = d->pageWindow[i];
        if (!page) continue;
        SendMessageA(page, WM_COMMAND, wp, lp);
        d->pageWindow[i] = nullptr;
        DestroyWindow(page);
    }
    d->currentPage = nullptr;
    d->ended = 1;
    d->result = static_cast<WORD>(id);
    /* Wakes the modal loop even when the press came from a sent message. */
    PostMessageA(d->frame, WM_NULL, 0, 0);
}

LRESULT ToParent(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    HWND parent = GetParent(w);
    return parent ? SendMessageA(parent, msg, wp, lp) : 0;
}

LRESULT MouseToParent(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    HWND parent = GetParent(w);
    if (!parent) return 0;
    POINT pt = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    MapWindowPoints(w, parent, &pt, 1);
    return SendMessageA(parent, msg, wp, MAKELPARAM(pt.x, pt.y));
}

bool IsMouseMessage(UINT msg)
{
    return msg == WM_MOUSEMOVE || msg == WM_LBUTTONDOWN || msg == WM_LBUTTONUP || msg == WM_RBUTTONDOWN ||
           msg == WM_RBUTTONUP;
}

bool IsColourMessage(UINT msg) { return (msg >= 0x132 && msg <= 0x136) || msg == 0x138; }

/* Dialog procedure answers: colour messages return the brush directly,
 * everything else through DWLP_MSGRESULT. */
INT_PTR Answer(HWND w, UINT msg, LRESULT result)
{
    if (IsColourMessage(msg)) return result;
    if (!result) return FALSE;
    SetWindowLongPtrA(w, DWLP_MSGRESULT, result);
    return TRUE;
}

/* Keypad Enter is offered to a table as VK_F24 so that it can be told from
 * the main Enter key. */
int Translate(HWND target, HACCEL table, MSG *m)
{
    if (!table || !m) return 0;
    const WPARAM key = m->wParam;
    const bool keypad = (m->message == WM_KEYDOWN || m->message == WM_KEYUP) && key == VK_RETURN && (m->lParam & (1 << 24));
    if (keypad) m->wParam = VK_F24;
    int r = TranslateAcceleratorA(target, table, m);
    m->wParam = key;
    return r;
}

bool IsKeypadEnter(const MSG *m)
{
    return m && (m->message == WM_KEYDOWN || m->message == WM_KEYUP) && m->wParam == VK_RETURN && (m->lParam & (1 << 24));
}

}  // namespace

TabDialogDescription *TabLock(HGLOBAL handle)
{
    return handle ? static_cast<TabDialogDescription *>(GlobalLock(handle)) : nullptr;
}

void TabUnlock(HGLOBAL handle)
{
    if (handle) GlobalUnlock(handle);
}

HGLOBAL TabCreateList(HWND owner, HINSTANCE instance, LPCSTR caption, DLGPROC proc, LPARAM param, int default_button,
                      DWORD flags, const LPCSTR *captions, int count)
{
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(TabDialogDescription));
    if (!h) return nullptr;
    TabDialogDescription *d = TabLock(h);
    if (!d) return h;
    d->flags = flags;
    d->defaultButton = default_button;
    d->owner = owner;
    d->instance = instance ? instance
                           : (owner ? reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(owner, GWLP_HINSTANCE)) : nullptr);
    d->caption = HeapCopy(caption);
    d->dialogProc = proc;
    d->dialogParam = param;
    d->margin = (flags & TABF_CHILD) ? 0 : 5;
    d->previousIndex = -1;
    d->currentIndex = -1;
    d->handle = h;
    /* Captions past the fixed table are dropped. */
    for (int i = 0; i < count && captions[i] && d->buttonCount < kTabMaxButtons; ++i)
        d->buttonCaption[d->buttonCount++] = HeapCopy(captions[i]);
    TabUnlock(h);
    return h;
}

extern "C" HGLOBAL __cdecl tabCreate(HWND owner, HINSTANCE instance, LPCSTR caption, DLGPROC proc, LPARAM param,
                                     int default_button, DWORD flags, ...)
{
    LPCSTR captions[kTabMaxButtons];
    int count = 0;
    TundrixArgs args;
    TUNDRIX_ARGS_START(args, flags);
    for (;;) {
        LPCSTR text = __builtin_va_arg(args, LPCSTR);
        if (!text) break;
        if (count < kTabMaxButtons) captions[count++] = text;
    }
    TUNDRIX_ARGS_END(args);
    return TabCreateList(owner, instance, caption, proc, param, default_button, flags, captions, count);
}

extern "C" BOOL WINAPI tabAddTemplateEx(HGLOBAL tab, LPCSTR caption, LPARAM extra, HINSTANCE instance, LPCSTR tmpl,
                                        DLGPROC proc, LPARAM param, DWORD page_flags)
{
    TabDialogDescription *d = TabLock(tab);
    if (!d) return FALSE;
    int count = 0;
    TabPage **tail = &d->pages;
    while (*tail) {
        tail = &(*tail)->next;
        ++count;
    }
    /* The page windows live in a fixed table: a page past it is refused. */
    if (count >= kTabMaxPages) {
        TabUnlock(tab);
        return FALSE;
    }
    auto *p = static_cast<TabPage *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TabPage)));
    if (!p) {
        TabUnlock(tab);
        return FALSE;
    }
    p->pageFlags = page_flags;
    p->caption = IsStringId(caption) ? const_cast<LPSTR>(caption) : HeapCopy(caption);
    p->instance = instance;
    p->tmpl = tmpl;
    p->pageProc = proc;
    p->pageParam = param;
    p->extra = extra;
    *tail = p;
    TabUnlock(tab);
    return TRUE;
}

extern "C" BOOL WINAPI tabAddTemplate(HGLOBAL tab, LPCSTR caption, HINSTANCE instance, LPCSTR tmpl, DLGPROC proc,
                                      LPARAM param, DWORD page_flags)
{
    return tabAddTemplateEx(tab, caption, 0, instance, tmpl, proc, param, page_flags);
}

extern "C" void WINAPI tabSetFont(HGLOBAL tab, LPCSTR face, int point_size)
{
    if (GetSystemMetrics(SM_DBCSENABLED)) return;
    TabDialogDescription *d = TabLock(tab);
    if (!d) return;
    HeapRelease(d->fontFace);
    d->fontFace = HeapCopy(face);
    d->fontSize = point_size & 0xFFFF;
    TabUnlock(tab);
}

extern "C" void WINAPI tabSetInitialTab(HGLOBAL tab, int index)
{
    TabDialogDescription *d = TabLock(tab);
    if (!d) return;
    d->initialTab = index;
    TabUnlock(tab);
}

extern "C" void WINAPI tabSetTexture(HGLOBAL, LPARAM, LPARAM) {}

extern "C" HWND WINAPI tabGetWindow(HGLOBAL tab, int index)
{
    TabDialogDescription *d = TabLock(tab);
    if (!d) return nullptr;
    HWND w = index >= 0 && index < d->pageCount ? d->pageWindow[index] : nullptr;
    TabUnlock(tab);
    return w;
}

extern "C" int WINAPI tabGetWindowIndex(HGLOBAL tab)
{
    TabDialogDescription *d = TabLock(tab);
    if (!d) return 0;
    int i = d->currentIndex;
    TabUnlock(tab);
    return i;
}

extern "C" HWND WINAPI iCreateDialogParam(HINSTANCE instance, LPCSTR tmpl, HWND owner, DLGPROC proc, LPARAM param)
{
    return CreateDialogParamA(instance, tmpl, owner, proc, param);
}

extern "C" void WINAPI tabDestroy(HGLOBAL tab)
{
    TabDialogDescription *d = TabLock(tab);
    if (!d) return;
    if (d->frame && IsWindow(d->frame)) DestroyWindow(d->frame);
    d->frame = nullptr;
    HeapRelease(d->caption);
    for (int i = 0; i < d->buttonCount; ++i) HeapRelease(d->buttonCaption[i]);
    HeapRelease(d->fontFace);
    for (TabPage *p = d->pages; p;) {
        TabPage *next = p->next;
        if (!IsStringId(p->caption)) HeapRelease(p->caption);
        if (auto *owned = reinterpret_cast<TabPageOwned *>(p->reserved)) owned->release(owned);
        HeapRelease(p);
        p = next;
    }
    TabUnlock(tab);
    GlobalFree(tab);
}

extern "C" INT_PTR WINAPI tabDialogBox(HGLOBAL tab)
{
    TabDialogDescription *d = TabLock(tab);
    if (!d) return -1;
    const bool controls = TundrixLoadControls() != 0;
    d->pageCount = 0;
    for (TabPage *p = d->pages; p && d->pageCount < kTabMaxPages; p = p->next) ++d->pageCount;
    for (HWND &w : d->pageWindow) w = nullptr;
    d->ended = 0;
    d->result = 0;
    d->currentPage = nullptr;
    d->currentIndex = -1;
    d->lastFocus = nullptr;
    const bool tabs = d->pageCount >= 2 || (d->flags & TABF_ALWAYSTABS);
    const int m = d->margin;

    /* Font and page size from the description or the first page. */
    char face[LF_FACESIZE + 1] = "MS Sans Serif";
    WORD points = 8;
    int cx = 150, cy = 100;
    if (d->pages) {
        PageTemplate t;
        ReadPageTemplate(d->pages, &t);
        if (t.bytes) {
            /* An extended template (version 1, signature 0xFFFF) keeps its
             * size at byte offsets 22 and 24, the plain one at 14 and 16. */
            const WORD *words = reinterpret_cast<const WORD *>(t.bytes);
            const bool ex = words[0] == 1 && words[1] == 0xFFFF;
            cx = reinterpret_cast<const short *>(t.bytes)[ex ? 11 : 7];
            cy = reinterpret_cast<const short *>(t.bytes)[ex ? 12 : 8];
            WORD size = 0;
            char read[LF_FACESIZE + 1];
            if (TemplateReadFont(t.bytes, &size, read, sizeof read)) {
                points = size;
                lstrcpynA(face, read, sizeof face);
            }
        }
    }
    if (d->fontFace && d->fontSize) {
        lstrcpynA(face, d->fontFace, sizeof face);
        points = static_cast<WORD>(d->fontSize);
    }

    DWORD style, ex_style = 0;
    int width, height, fx, fy;
    if (d->flags & TABF_FIXEDLAYOUT) {
        style = 0x90C80080;
        width = cx + 2 * m + 54;
        height = cy + 3 * (m + 6);
        fx = 2 * m + 50;
        fy = m;
    } else {
        if (d->flags & TABF_CHILD) style = 0x50000000;
        else style = 0x90C00080 | ((d->flags & TABF_NOSYSMENU) ? 0 : WS_SYSMENU);
        if ((d->flags & TABF_MODELESS) && (d->flags & TABF_TOOLWINDOW)) ex_style = WS_EX_TOOLWINDOW;
        const int t = tabs ? 12 : 0;
        const bool b = d->buttonCount > 0;
        width = cx + 2 * m + 4;
        height = cy + 4 + t + (b ? 14 + 3 * m : 2 * m);
        fx = m;
        fy = m + t;
    }
    HGLOBAL tmpl = TemplateStart(style, 0, 0, static_cast<short>(width), static_cast<short>(height), nullptr, nullptr,
                                 d->caption, points, face, ex_style);
    tmpl = TemplateAddItem(tmpl, kTabPageFrameId, (d->flags & TABF_RAISEDFRAME) ? 0x54008800 : 0x54006800,
                           static_cast<short>(fx), static_cast<short>(fy), static_cast<short>(cx + 4),
                           static_cast<short>(cy + 4), "Knobset", "0`23`E0`4");
    const int start = (d->flags & TABF_BUTTONSLEFT) ? m : width - d->buttonCount * (m + 50);
    for (int i = 0; i < d->buttonCount; ++i) {
        DWORD bs = 0x50016000 | (i == d->defaultButton ? 1 : 0) | (i == 0 ? WS_GROUP : 0);
        tmpl = TemplateAddItem(tmpl, static_cast<WORD>(i + 1), bs, static_cast<short>(start + i * (m + 50)),
                               static_cast<short>(height - m - 14), 50, 14, "Knobset", d->buttonCaption[i]);
    }
    tmpl = TemplateFinish(tmpl);
    const DLGTEMPLATE *bytes = tmpl ? static_cast<const DLGTEMPLATE *>(GlobalLock(tmpl)) : nullptr;
    HWND focus_before = GetFocus();
    HWND frame = bytes ? CreateDialogIndirectParamA(d->instance, bytes, d->owner, TabbedDlgProc,
                                                    reinterpret_cast<LPARAM>(tab))
                       : nullptr;
    if (bytes) GlobalUnlock(tmpl);
    if (tmpl) GlobalFree(tmpl);
    if (!frame) {
        if (controls) TundrixReleaseControls();
        const bool modeless = (d->flags & TABF_MODELESS) != 0;
        TabUnlock(tab);
        return modeless ? 0 : -1;
    }
    LinkRunning(d);
    if (d->flags & TABF_MODELESS) {
        /* The frame's Knobset windows need the libraries until it is gone. */
        d->keepsControls = controls;
        TabUnlock(tab);
        return reinterpret_cast<INT_PTR>(frame);
    }

    HWND root = d->owner ? GetAncestor(d->owner, GA_ROOT) : nullptr;
    if (root) EnableWindow(root, FALSE);
    MSG msg;
    while (!d->ended && IsWindow(frame)) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == -1) break;
        if (!got) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (root) EnableWindow(root, TRUE);
    if (focus_before && IsWindow(focus_before)) SetFocus(focus_before);
    if (IsWindow(frame)) DestroyWindow(frame);
    d->frame = nullptr;
    const INT_PTR result = d->ended ? d->result : -1;
    if (controls) TundrixReleaseControls();
    TabUnlock(tab);
    return result;
}

extern "C" INT_PTR CALLBACK TabbedDlgProc(HWND frame, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITDIALOG) {
        HGLOBAL h = reinterpret_cast<HGLOBAL>(lp);
        TabDialogDescription *d = TabLock(h);
        if (!d) return FALSE;
        SetPropA(frame, TAB_PROP, d);
        d->frame = frame;
        if (!(d->flags & TABF_CHILD)) CenterWindow(frame, nullptr);
        if (d->dialogProc) d->dialogProc(frame, WM_INITDIALOG, wp, d->dialogParam);
        if (d->pageCount >= 2 || (d->flags & TABF_ALWAYSTABS)) BuildTabRow(d);
        if (d->flags & TABF_CREATEALL) {
            TabPage *p = d->pages;
            for (int i = 0; i < d->pageCount && p; ++i, p = p->next)
                if (!(p->pageFlags & TABPAGE_NOPRECREATE) && !d->pageWindow[i]) CreatePage(d, i);
        }
        /* An initial tab outside the pages shows the first one. */
        int first = d->initialTab >= 0 && d->initialTab < d->pageCount ? d->initialTab : 0;
        ShowPage(d, first, true);
        ShowWindow(frame, SW_SHOW);
        if (d->buttonCount > 0) {
            HWND def = GetDlgItem(frame, d->defaultButton + 1);
            if (def) {
                for (int i = 0; i < d->buttonCount; ++i)
                    if (HWND b = GetDlgItem(frame, i + 1)) SendMessageA(b, BM_SETSTYLE, b == def ? 1 : 0, TRUE);
                SetFocus(def);
            }
        }
        d->lastFocus = GetFocus();
        return FALSE;
    }
    auto *d = static_cast<TabDialogDescription *>(GetPropA(frame, TAB_PROP));
    if (!d) return FALSE;
    switch (msg) {
    case WM_DESTROY: {
        UnlinkRunning(d);
        if (d->dialogProc) d->dialogProc(frame, msg, wp, lp);
        RemovePropA(frame, TAB_PROP);
        d->frame = nullptr;
        d->currentPage = nullptr;
        for (HWND &w : d->pageWindow) w = nullptr;
        const bool release = d->keepsControls != 0;
        d->keepsControls = 0;
        TabUnlock(d->handle);
        if (release) TundrixReleaseControls();
        return FALSE;
    }
    case TABM_SHOWPAGE: ShowPage(d, static_cast<int>(wp), lp != 0); break;
    case TABM_ENABLEPAGE: EnablePage(d, static_cast<int>(wp), static_cast<BOOL>(lp)); break;
    default: break;
    }
    if (d->dialogProc) {
        INT_PTR r = d->dialogProc(frame, msg, wp, lp);
        if (r) return r;
    }
    switch (msg) {
    case TABM_SHOWPAGE:
    case TABM_ENABLEPAGE: return TRUE;
    case TABM_TRANSLATE: {
        if (!d->accelTable) return FALSE;
        int r = Translate(d->accelTarget ? d->accelTarget : frame, d->accelTable, reinterpret_cast<MSG *>(lp));
        return Answer(frame, msg, r);
    }
    case TABM_SETACCEL:
        d->accelTable = reinterpret_cast<HACCEL>(wp);
        d->accelTarget = reinterpret_cast<HWND>(lp);
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wp), code = HIWORD(wp);
        if (code != 0 && code != 1) return FALSE;
        if (id == kTabArrowForwardId || id == kTabArrowBackId) {
            ScrollRow(d, id == kTabArrowForwardId);
            return TRUE;
        }
        if (id >= kTabFirstTabId && id < kTabFirstTabId + d->pageCount) {
            ShowPage(d, id - kTabFirstTabId, false);
            return TRUE;
        }
        if (id >= 1 && id <= 7) {
            if (!(d->flags & TABF_MODELESS)) PushButton(d, wp, lp);
            return TRUE;
        }
        return FALSE;
    }
    case WM_ERASEBKGND: return GetParent(frame) ? Answer(frame, msg, ToParent(frame, msg, wp, lp)) : FALSE;
    default: break;
    }
    if (IsColourMessage(msg)) return GetParent(frame) ? ToParent(frame, msg, wp, lp) : FALSE;
    if ((d->flags & TABF_CHILD) && IsMouseMessage(msg)) return Answer(frame, msg, MouseToParent(frame, msg, wp, lp));
    return FALSE;
}

extern "C" INT_PTR CALLBACK TabDlgProc(HWND page, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITDIALOG) {
        auto *p = reinterpret_cast<TabPage *>(lp);
        if (!p) return FALSE;
        SetPropA(page, TAB_PROP, p);
        if (p->pageProc) p->pageProc(page, WM_INITDIALOG, wp, p->pageParam);
        return FALSE;
    }
    auto *p = static_cast<TabPage *>(GetPropA(page, TAB_PROP));
    if (!p) return FALSE;
    LRESULT own = 0;
    bool handled = false;
    switch (msg) {
    case DM_GETDEFID: own = 0; handled = true; break;
    case DM_SETDEFID: own = 1; handled = true; break;
    case WM_ERASEBKGND: own = ToParent(page, msg, wp, lp); handled = true; break;
    case TABM_SETACCEL:
        p->accelTable = reinterpret_cast<HACCEL>(wp);
        p->accelTarget = reinterpret_cast<HWND>(lp);
        own = 1;
        handled = true;
        break;
    case TABM_TRANSLATE: {
        MSG *m = reinterpret_cast<MSG *>(lp);
        own = Translate(p->accelTarget ? p->accelTarget : page, p->accelTable, m);
        if (!own && IsKeypadEnter(m)) own = SendMessageA(GetParent(page), TABM_TRANSLATE, wp, lp);
        handled = true;
        break;
    }
    case WM_DESTROY: {
        INT_PTR r = p->pageProc ? p->pageProc(page, msg, wp, lp) : FALSE;
        RemovePropA(page, TAB_PROP);
        return r;
    }
    default:
        if (IsColourMessage(msg)) {
            own = ToParent(page, msg, wp, lp);
            handled = true;
        } else if (IsMouseMessage(msg)) {
            own = MouseToParent(page, msg, wp, lp);
            handled = true;
        }
        break;
    }
    if (p->pageProc) {
        INT_PTR r = p->pageProc(page, msg, wp, lp);
        if (r) return r;
    }
    if (!handled) return FALSE;
    if (msg == DM_GETDEFID) {
        SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
        return TRUE;
    }
    return Answer(page, msg, own);
}

extern "C" LRESULT CALLBACK CCWndScrollProc(HWND row, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_PAINT: {
        ValidateRect(row, nullptr);
        for (HWND c = GetWindow(row, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) InvalidateRect(c, nullptr, FALSE);
        return 0;
    }
    case WM_ERASEBKGND: return ToParent(row, msg, wp, lp);
    default: break;
    }
    if (IsMouseMessage(msg)) return MouseToParent(row, msg, wp, lp);
    return DefWindowProcA(row, msg, wp, lp);
}

/* ---- keyboard navigation ---- */

namespace {

LRESULT DlgCode(HWND w, const MSG *m)
{
    return w ? SendMessageA(w, WM_GETDLGCODE, m ? m->wParam : 0, reinterpret_cast<LPARAM>(m)) : 0;
}

bool Usable(HWND w)
{
    return IsWindowVisible(w) && IsWindowEnabled(w);
}

bool IsTabStop(HWND w) { return (GetWindowLongA(w, GWL_STYLE) & WS_TABSTOP) != 0; }

void CollectTabStops(HWND parent, HWND *list, int *count, int max)
{
    for (HWND c = GetWindow(parent, GW_CHILD); c && *count < max; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!Usable(c)) continue;
        if (IsTabStop(c)) list[(*count)++] = c;
        CollectTabStops(c, list, count, max);
    }
}

bool IsKnobset(HWND w)
{
    char cls[16] = {};
    GetClassNameA(w, cls, sizeof cls);
    return !lstrcmpiA(cls, "Knobset");
}

bool IsPushButton(HWND w)
{
    LRESULT code = DlgCode(w, nullptr);
    if (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) return true;
    /* A Knobset push button answers a plain button code; check and radio
     * variants carry their own style bits. */
    return IsKnobset(w) && (code & DLGC_BUTTON) && !(code & DLGC_RADIOBUTTON) && !(GetWindowLongA(w, GWL_STYLE) & 0x12);
}

void Click(HWND button)
{
    if (!button) return;
    SendMessageA(button, BM_SETSTATE, TRUE, 0);
    Sleep(10);
    SendMessageA(button, BM_SETSTATE, FALSE, 0);
    SendWmCommand(GetParent(button), button, 0, BN_CLICKED);
}

HWND DefaultButton(TabDialogDescription *d)
{
    LRESULT def = SendMessageA(d->frame, DM_GETDEFID, 0, 0);
    HWND b = HIWORD(def) == DC_HASDEFID ? GetDlgItem(d->frame, LOWORD(def)) : nullptr;
    if (!b && d->buttonCount > 0) b = GetDlgItem(d->frame, d->defaultButton + 1);
    return b;
}

void MoveFocus(TabDialogDescription *d, HWND to)
{
    SetFocus(to);
    HWND look = IsPushButton(to) ? to : GetDlgItem(d->frame, d->defaultButton + 1);
    for (int i = 0; i < d->buttonCount; ++i)
        if (HWND b = GetDlgItem(d->frame, i + 1)) SendMessageA(b, BM_SETSTYLE, b == look ? 1 : 0, TRUE);
    if (to != look && IsPushButton(to)) SendMessageA(to, BM_SETSTYLE, 1, TRUE);
    if (DlgCode(to, nullptr) & DLGC_HASSETSEL) SendMessageA(to, EM_SETSEL, 0, -1);
}

bool TabKey(TabDialogDescription *d, HWND focus, bool backward)
{
    HWND list[512];
    int count = 0;
    CollectTabStops(d->frame, list, &count, 512);
    if (!count) return false;
    int at = -1;
    for (int i = 0; i < count; ++i)
        if (list[i] == focus || IsChild(list[i], focus)) at = i;
    int next = at < 0 ? (backward ? count - 1 : 0) : (at + (backward ? count - 1 : 1)) % count;
    MoveFocus(d, list[next]);
    return true;
}

bool ArrowKey(TabDialogDescription *d, HWND focus, bool forward)
{
    if (!focus || GetParent(focus) == nullptr) return false;
    /* The group: from the nearest WS_GROUP at or before the focus to the
     * next WS_GROUP after it. */
    HWND parent = GetParent(focus);
    HWND group[256];
    int count = 0, at = -1;
    bool in_group = false;
    for (HWND c = GetWindow(parent, GW_CHILD); c && count < 256; c = GetWindow(c, GW_HWNDNEXT)) {
        const bool starts = (GetWindowLongA(c, GWL_STYLE) & WS_GROUP) != 0;
        if (starts) {
            if (at >= 0) break;
            count = 0;
        }
        in_group = true;
        if (c == focus) at = count;
        group[count++] = c;
    }
    if (!in_group || at < 0 || count < 2) return false;
    for (int step = 1; step < count; ++step) {
        HWND c = group[(at + (forward ? step : count - step)) % count];
        if (!Usable(c)) continue;
        if (DlgCode(c, nullptr) & DLGC_STATIC) continue;
        MoveFocus(d, c);
        return true;
    }
    return false;
}

bool HasMnemonic(HWND w, char key)
{
    char text[256] = {};
    GetWindowTextA(w, text, sizeof text);
    for (const char *p = text; *p; ++p) {
        if (*p != '&') continue;
        if (p[1] == '&') {
            ++p;
            continue;
        }
        return std::toupper(static_cast<unsigned char>(p[1])) == static_cast<unsigned char>(key);
    }
    return false;
}

HWND FindMnemonic(HWND parent, char key, bool *after_label)
{
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!Usable(c)) continue;
        LRESULT code = DlgCode(c, nullptr);
        const bool is_static = (code & DLGC_STATIC) != 0;
        if ((code & (DLGC_BUTTON | DLGC_RADIOBUTTON | DLGC_STATIC)) && (IsTabStop(c) || is_static)) {
            const bool label = is_static && !(GetWindowLongA(c, GWL_STYLE) & SS_NOPREFIX);
            if ((label || !is_static) && HasMnemonic(c, key)) {
                if (!label) return c;
                *after_label = true;
                for (HWND n = GetWindow(c, GW_HWNDNEXT); n; n = GetWindow(n, GW_HWNDNEXT))
                    if (Usable(n) && IsTabStop(n)) return n;
                return nullptr;
            }
        }
        if (HWND found = FindMnemonic(c, key, after_label)) return found;
    }
    return nullptr;
}

bool Navigate(TabDialogDescription *d, MSG *m)
{
    if (m->message != WM_KEYDOWN && m->message != WM_SYSKEYDOWN) return false;
    HWND focus = GetFocus();
    const LRESULT code = DlgCode(focus, m);
    const WPARAM key = m->wParam;
    if (m->message == WM_KEYDOWN) {
        switch (key) {
        case VK_TAB:
            if (code & DLGC_WANTTAB) return false;
            return TabKey(d, focus, GetKeyState(VK_SHIFT) < 0);
        case VK_RETURN:
            if (code & DLGC_WANTALLKEYS) return false;
            Click((code & DLGC_DEFPUSHBUTTON) ? focus : DefaultButton(d));
            return true;
        case VK_ESCAPE:
            if (static_cast<LONG>(SendMessageA(d->frame, WM_GETDLGCODE, 0, 0)) < 0) return true;
            /* Escape cancels: the frame hears IDCANCEL without a control. */
            if (GetDlgItem(d->frame, IDCANCEL)) {
                SendMessageA(d->frame, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                return true;
            }
            return false;
        case VK_LEFT: case VK_UP: case VK_RIGHT: case VK_DOWN:
            if (code & (DLGC_WANTARROWS | DLGC_WANTCHARS)) return false;
            return ArrowKey(d, focus, key == VK_RIGHT || key == VK_DOWN);
        default: break;
        }
        /* Plain keys are mnemonics only where the focus does not type. */
        if (code & (DLGC_WANTCHARS | DLGC_WANTALLKEYS)) return false;
    }
    if (!((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))) return false;
    bool after_label = false;
    HWND target = FindMnemonic(d->frame, static_cast<char>(key), &after_label);
    if (!target) return false;
    MoveFocus(d, target);
    if (IsPushButton(target)) Click(target);
    return true;
}

bool Offer(HWND w, MSG *m) { return w && SendMessageA(w, TABM_TRANSLATE, m->message, reinterpret_cast<LPARAM>(m)) != 0; }

bool HandleKey(TabDialogDescription *d, MSG *m)
{
    if (m->message < 0x100 || m->message > 0x111 || !d->frame || !d->currentPage) return false;
    HWND target = m->hwnd;
    bool handled = false;
    if (target == d->frame) {
        handled = Offer(d->frame, m) || Navigate(d, m);
    } else if (target && IsChild(d->frame, target)) {
        HWND page = d->currentPage;
        HWND row = TabRow(d->frame);
        if (target == page || IsChild(page, target)) handled = Offer(page, m) || Offer(d->frame, m);
        if (!handled && row && (target == row || IsChild(row, target))) handled = Offer(page, m) || Offer(d->frame, m);
        if (!handled) handled = Navigate(d, m);
    } else {
        return false;
    }
    if (d->frame) {
        HWND now = GetFocus();
        if (now != d->lastFocus) {
            if (d->currentPage)
                SendMessageA(d->currentPage, TABN_FOCUSMOVED, reinterpret_cast<WPARAM>(d->lastFocus),
                             reinterpret_cast<LPARAM>(now));
            d->lastFocus = now;
        }
    }
    return handled;
}

}  // namespace

extern "C" LRESULT CALLBACK TabMessageProc(int code, WPARAM wp, LPARAM lp)
{
    MSG *m = reinterpret_cast<MSG *>(lp);
    if (code == HC_ACTION && m) {
        if (m->message == WM_IME_STARTCOMPOSITION) g_composing = true;
        else if (m->message == WM_IME_ENDCOMPOSITION) g_composing = false;
        if (wp == PM_REMOVE && m != g_handling && !g_composing && m->message >= 0x100 && m->message <= 0x111) {
            const MSG *outer = g_handling;
            g_handling = m;
            for (TabDialogDescription *d = g_running; d; d = d->nextActive) {
                if (HandleKey(d, m)) {
                    m->message = WM_NULL;
                    break;
                }
            }
            g_handling = outer;
        }
    }
    return CallNextHookEx(g_hook, code, wp, lp);
}
