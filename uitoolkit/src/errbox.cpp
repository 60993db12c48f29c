/* Error boxes: a message formatted printf-style, shown as a one-page tabbed
 * dialog with a read-only text, an icon, localisable push buttons, an
 * optional time-out and caller-supplied buttons; and the assertion report. */
#include "tundrix32.h"
#include "internal.h"
#include "errbox.h"
#include "tabdlg.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const int kPositions = 8;
const size_t kFormatBuffer = 8192;

void DefaultDebugWriter(const char *text) { OutputDebugStringA(text); }
ErrDebugWriter g_debug_writer = DefaultDebugWriter;

/* The standard captions, replaced in order by an "IERRORDATA" resource. */
enum { CAP_OK, CAP_CANCEL, CAP_ABORT, CAP_RETRY, CAP_IGNORE, CAP_YES, CAP_NO, CAP_COUNT };

struct Captions {
    std::string text[CAP_COUNT] = {"OK", "Cancel", "&Abort", "&Retry", "&Ignore", "&Yes", "&No"};
};

/* Reads up to seven NUL-terminated strings, never past the resource. */
bool ReadCaptionResource(HMODULE module, Captions *out)
{
    HRSRC res = FindResourceA(module, "IERRORDATA", "IERRORDATA");
    if (!res) return false;
    HGLOBAL loaded = LoadResource(module, res);
    const char *p = loaded ? static_cast<const char *>(LockResource(loaded)) : nullptr;
    if (!p) return false;
    const char *end = p + SizeofResource(module, res);
    for (int i = 0; i < CAP_COUNT && p < end && *p; ++i) {
        const char *stop = static_cast<const char *>(std::memchr(p, 0, end - p));
        if (!stop) stop = end;
        out->text[i].assign(p, stop);
        p = stop + 1;
    }
    return true;
}

Captions LoadCaptions()
{
    Captions c;
    if (!ReadCaptionResource(GetModuleHandleA(nullptr), &c) && TundrixModule())
        ReadCaptionResource(TundrixModule(), &c);
    return c;
}

struct Button {
    std::string caption;
    bool filled = false;
    int code = 0;
};

void FillSet(Button *b, int set, const Captions &c)
{
    struct Entry {
        int caption, code;
    };
    static const Entry sets[6][3] = {
        {{CAP_OK, IDOK}, {-1, 0}, {-1, 0}},
        {{CAP_OK, IDOK}, {CAP_CANCEL, IDCANCEL}, {-1, 0}},
        {{CAP_ABORT, IDABORT}, {CAP_RETRY, IDRETRY}, {CAP_IGNORE, IDIGNORE}},
        {{CAP_YES, IDYES}, {CAP_NO, IDNO}, {CAP_CANCEL, IDCANCEL}},
        {{CAP_YES, IDYES}, {CAP_NO, IDNO}, {-1, 0}},
        {{CAP_RETRY, IDRETRY}, {CAP_CANCEL, IDCANCEL}, {-1, 0}},
    };
    if (set < 0 || set > 5) return;
    for (int i = 0; i < 3; ++i) {
        if (sets[set][i].caption < 0) break;
        b[i].caption = c.text[sets[set][i].caption];
        b[i].code = sets[set][i].code;
        b[i].filled = true;
    }
}

HINSTANCE StringModule(HINSTANCE given, HWND owner)
{
    if (given) return given;
    if (owner) {
        auto m = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(owner, GWLP_HINSTANCE));
        if (m) return m;
    }
    return GetModuleHandleA(nullptr);
}

bool IsStringId(LPCSTR p) { return reinterpret_cast<ULONG_PTR>(p) < 0x10000; }

/* A text argument: a pointer, or a string id loaded from the module. */
std::string TextArg(LPCSTR p, HINSTANCE module, bool wide)
{
    if (!p) return std::string();
    if (!IsStringId(p)) return p;
    const UINT id = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(p));
    if (wide) {
        WCHAR w[256] = {};
        int n = LoadStringW(module, id, w, 256);
        if (n <= 0) return std::string();
        char a[1024] = {};
        int m = WideCharToMultiByte(CP_ACP, 0, w, n, a, sizeof a - 1, nullptr, nullptr);
        return std::string(a, m > 0 ? m : 0);
    }
    char a[256] = {};
    int n = LoadStringA(module, id, a, sizeof a);
    return std::string(a, n > 0 ? n : 0);
}

/* Every line feed gets a carriage return before it (once). */
std::string WithCrLf(const std::string &s)
{
    std::string out;
    out.reserve(s.size() + 16);
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r')) out += '\r';
        out += s[i];
    }
    return out;
}

/* The frame's parameter: whether there is a cancel button (its id) and the
 * time-out. */
struct FrameParam {
    int cancelId;
    UINT timeout;
};

int Run(HWND owner, DWORD type, TundrixArgs args, bool wide)
{
    Captions captions = LoadCaptions();
    Button buttons[kPositions];
    for (int i = 0; i < kPositions; ++i) buttons[i].code = 1 << (20 + i);
    const int set = type & 0xF;
    FillSet(buttons, set, captions);
    int def = (type >> 8) & 0xF;
    if (!def && set == 2) def = 1;

    UINT timeout = 0;
    HINSTANCE instance = nullptr;
    LPCSTR caption_arg = nullptr;
    if (type & 0x20000000) timeout = __builtin_va_arg(args, UINT);
    if (type & 0x40000000) instance = __builtin_va_arg(args, HINSTANCE);
    if (type & 0x10000000) caption_arg = __builtin_va_arg(args, LPCSTR);
    HINSTANCE strings = StringModule(instance, owner);
    for (int i = 0; i < kPositions; ++i) {
        if (!(type & (1u << (20 + i)))) continue;
        LPCSTR c = __builtin_va_arg(args, LPCSTR);
        buttons[i].caption = TextArg(c, strings, wide);
        buttons[i].filled = true;
    }
    LPCSTR format_arg = __builtin_va_arg(args, LPCSTR);
    std::string format = TextArg(format_arg, strings, wide);
    std::string text;
    try {
        text = TundrixFormat(format.c_str(), args);
    } catch (...) {
        return -1;
    }
    /* The text is kept to the size of the formatting buffer. */
    if (text.size() > kFormatBuffer - 1) text.resize(kFormatBuffer - 1);
    text = WithCrLf(text);

    if (type & 0x80000000u) {
        g_debug_writer(text.c_str());
        return -1;
    }

    /* The buttons of the filled positions, up to the first empty one. */
    LPCSTR list[kPositions];
    int count = 0;
    FrameParam param = {0, timeout};
    for (int i = 0; i < kPositions && buttons[i].filled; ++i) {
        list[count++] = buttons[i].caption.c_str();
        if (buttons[i].code == IDCANCEL && !param.cancelId) param.cancelId = i + 1;
    }
    const std::string caption = caption_arg ? TextArg(caption_arg, strings, wide) : std::string();
    HINSTANCE owner_module = owner ? reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(owner, GWLP_HINSTANCE)) : nullptr;
    const DWORD flags = param.cancelId ? TABF_RAISEDFRAME : (TABF_RAISEDFRAME | TABF_NOSYSMENU);
    HGLOBAL tab = TabCreateList(owner, owner_module, caption.c_str(), ErrTabHookProc, reinterpret_cast<LPARAM>(&param),
                                def, flags, list, count);
    if (!tab) return -1;
    int result = -1;
    if (tabAddErrTemplate(tab, "", nullptr, 0, type & 0xF0, text.c_str()) == TRUE) {
        INT_PTR id = tabDialogBox(tab);
        if (id >= 1 && id <= count) result = buttons[id - 1].code;
    }
    tabDestroy(tab);
    return result;
}

void ReleaseErrPage(TabPageOwned *self);

/* The page record and its template belong to the description: a dialog run
 * again finds them. */
struct OwnedErrPage {
    TabPageOwned base;
    ErrPageRecord record;
};

void ReleaseErrPage(TabPageOwned *self)
{
    auto *o = reinterpret_cast<OwnedErrPage *>(self);
    if (o->record.tmpl) GlobalFree(o->record.tmpl);
    HeapFree(GetProcessHeap(), 0, o);
}

/* The edit grows a scroll bar when its lines do not fit. */
void LayOut(HWND page)
{
    RECT client;
    GetClientRect(page, &client);
    const int W = client.right, H = client.bottom;
    const int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
    HWND icon = GetDlgItem(page, 1);
    if (icon) SetWindowPos(icon, nullptr, cx, (H - cy) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    const int x = W / 6 + (icon ? 2 * cx : 0), y = H / 6;
    const int w = W - W / 6 - x, h = H - 2 * (H / 6);
    HWND edit = GetDlgItem(page, 2);
    if (!edit) return;
    SetWindowPos(edit, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(edit, WM_GETFONT, 0, 0));
    int line = 13;
    if (font) {
        HDC dc = GetDC(edit);
        HGDIOBJ old = SelectObject(dc, font);
        TEXTMETRICA tm = {};
        if (GetTextMetricsA(dc, &tm)) line = tm.tmHeight;
        SelectObject(dc, old);
        ReleaseDC(edit, dc);
    }
    const int lines = static_cast<int>(SendMessageA(edit, EM_GETLINECOUNT, 0, 0));
    if (lines * line >= h) {
        std::string text(32768, '\0');
        int n = GetWindowTextA(edit, &text[0], 32768);
        text.resize(n > 0 ? n : 0);
        DWORD style = static_cast<DWORD>(GetWindowLongA(edit, GWL_STYLE)) | WS_VSCROLL;
        HINSTANCE inst = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(edit, GWLP_HINSTANCE));
        DestroyWindow(edit);
        HWND e = CreateWindowExA(0, "Edit", text.c_str(), style, x, y, w, h, page, reinterpret_cast<HMENU>(2), inst, nullptr);
        if (e) SendMessageA(e, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    } else {
        SetWindowPos(edit, nullptr, x, y + (h - lines * line) / 2, w, lines * line, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

}  // namespace

ErrDebugWriter ErrSetDebugWriter(ErrDebugWriter writer)
{
    ErrDebugWriter old = g_debug_writer;
    g_debug_writer = writer ? writer : DefaultDebugWriter;
    return old;
}

extern "C" int __cdecl iErrMessage(HWND owner, DWORD type, ...)
{
    TundrixArgs args;
    TUNDRIX_ARGS_START(args, type);
    int r = Run(owner, type, args, false);
    TUNDRIX_ARGS_END(args);
    return r;
}

extern "C" int __cdecl iErrMessageW(HWND owner, DWORD type, ...)
{
    TundrixArgs args;
    TUNDRIX_ARGS_START(args, type);
    int r = Run(owner, type, args, true);
    TUNDRIX_ARGS_END(args);
    return r;
}

namespace {
/* Same convention as the exports, for the argument list reader. */
int __cdecl ErrMessageLiteral(HWND owner, DWORD type, ...)
{
    TundrixArgs args;
    TUNDRIX_ARGS_START(args, type);
    int r = Run(owner, type, args, false);
    TUNDRIX_ARGS_END(args);
    return r;
}
}  // namespace

extern "C" int WINAPI iErrMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    /* The text is the format of a call without arguments: "%%" shows as
     * "%", and a conversion that would read an argument is shown as written
     * instead of reading one that was never passed.  Only the button, icon
     * and default bits of a MessageBox type are taken: its higher bits would
     * otherwise ask for arguments as well. */
    std::string shown;
    for (const char *p = text ? text : ""; *p; ++p) {
        shown += *p;
        if (p[0] == '%' && p[1] == '%') ++p;
    }
    return ErrMessageLiteral(owner, (type & 0xFFF) | 0x10000000, caption ? caption : "", "%s", shown.c_str());
}

extern "C" int WINAPI _iassert(LPCSTR expression, LPCSTR file, int line)
{
    int r = iErrMessage(nullptr, 0x10200012, "Assertion Failed", "&Breakpoint", "In %s on line %d\n\nExpression:\n%s",
                        file ? file : "", line, expression ? expression : "");
    if (r == IDABORT) std::abort();
    return r == IDRETRY ? 1 : 0;
}

extern "C" int WINAPI tabAddErrTemplate(HGLOBAL tab, LPCSTR caption, DLGPROC proc, LPARAM param, DWORD type, LPCSTR text)
{
    TabDialogDescription *d = TabLock(tab);
    if (!d) return -1;
    const int buttons = d->buttonCount;
    std::string face = GetSystemMetrics(SM_DBCSENABLED) ? "" : "Myriad Web";
    int points = 8;
    if (d->fontFace && d->fontSize) {
        face = d->fontFace;
        points = d->fontSize;
    }
    HINSTANCE instance = d->instance;
    TabUnlock(tab);

    auto *owned = static_cast<OwnedErrPage *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(OwnedErrPage)));
    if (!owned) return -1;
    owned->base.release = ReleaseErrPage;
    owned->record.proc = proc;
    owned->record.param = param;

    const int width = buttons * 55 > 200 ? buttons * 55 : 200, height = 65;
    const int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
    HGLOBAL t = TemplateStart(WS_CHILD, 0, 0, static_cast<short>(width), height, nullptr, nullptr, nullptr,
                              static_cast<WORD>(points), face.c_str(), 0);
    const int icon_bits = type & 0xF0;
    const int icons[] = {0, 32513, 32514, 32515, 32516};
    const int icon = icon_bits >= 0x10 && icon_bits <= 0x40 ? icons[icon_bits >> 4] : 0;
    if (icon) {
        char prop[32];
        wsprintfA(prop, "0`23`A72`%X", icon);
        t = TemplateAddItem(t, 1, 0x50009800, 5, static_cast<short>((65 - cy) / 2), static_cast<short>(cx),
                            static_cast<short>(cy), "Knobset", prop);
    }
    const int x = icon ? 2 * cx + 10 : 10;
    t = TemplateAddItem(t, 2, 0x50000844, static_cast<short>(x), 10, static_cast<short>(width - x - 20), 43, "Edit",
                        text ? text : "");
    t = TemplateFinish(t);
    if (!t) {
        HeapFree(GetProcessHeap(), 0, owned);
        return -1;
    }
    owned->record.tmpl = t;
    BOOL added = tabAddTemplate(tab, caption, instance, reinterpret_cast<LPCSTR>(t), ErrDlgProc,
                                reinterpret_cast<LPARAM>(&owned->record), TABPAGE_HANDLE);
    if (!added) {
        ReleaseErrPage(&owned->base);
        return FALSE;
    }
    if ((d = TabLock(tab))) {
        TabPage *p = d->pages;
        while (p && p->next) p = p->next;
        if (p) p->reserved = reinterpret_cast<DWORD_PTR>(&owned->base);
        TabUnlock(tab);
    }
    return added;
}

extern "C" INT_PTR CALLBACK ErrDlgProc(HWND page, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITDIALOG) {
        auto *r = reinterpret_cast<ErrPageRecord *>(lp);
        if (!r) return -1;
        SetPropA(page, ERR_PROP, r);
        LayOut(page);
        if (!r->proc) return 1;
        r->proc(page, WM_INITDIALOG, wp, r->param);
        return r->proc(page, WM_USER + 2, 0, 0);
    }
    auto *r = static_cast<ErrPageRecord *>(GetPropA(page, ERR_PROP));
    if (msg == WM_NCDESTROY) {
        RemovePropA(page, ERR_PROP);
        return r && r->proc ? r->proc(page, msg, wp, lp) : FALSE;
    }
    if (r && r->proc) {
        INT_PTR a = r->proc(page, msg, wp, lp);
        if (a) return a;
    }
    return msg == WM_COMMAND && LOWORD(wp) == IDCANCEL ? 1 : 0;
}

extern "C" INT_PTR CALLBACK ErrTabHookProc(HWND frame, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITDIALOG) {
        auto *p = reinterpret_cast<FrameParam *>(lp);
        if (!p) return FALSE;
        if (p->timeout) SetTimer(frame, 0, p->timeout, nullptr);
        SetPropA(frame, ERR_PROP, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(p->cancelId)));
        return FALSE;
    }
    const int cancel = static_cast<int>(reinterpret_cast<INT_PTR>(GetPropA(frame, ERR_PROP)));
    switch (msg) {
    case WM_TIMER:
        KillTimer(frame, 0);
        SendWmCommand(frame, nullptr, IDOK, BN_CLICKED);
        return TRUE;
    case WM_GETDLGCODE:
        if (cancel) return FALSE;
        SetWindowLongPtrA(frame, DWLP_MSGRESULT, static_cast<LONG>(0x80000000u));
        return TRUE;
    case WM_SYSCOMMAND:
        return (wp & 0xFFF0) == SC_CLOSE && !cancel;
    case WM_CLOSE:
        /* The close box and Alt+F4 press the cancel button, whatever its
         * position; without one they do nothing. */
        if (cancel) SendWmCommand(frame, nullptr, cancel, BN_CLICKED);
        return TRUE;
    case WM_COMMAND:
        /* Escape arrives as IDCANCEL without a control. */
        if (LOWORD(wp) == IDCANCEL && !lp) {
            if (cancel && cancel != IDCANCEL) {
                SendWmCommand(frame, nullptr, cancel, BN_CLICKED);
                return TRUE;
            }
            return !cancel;
        }
        return FALSE;
    case WM_KEYDOWN: case WM_CHAR: case WM_SYSKEYDOWN: case WM_SYSCHAR: return TRUE;
    case WM_DESTROY:
    case WM_NCDESTROY: RemovePropA(frame, ERR_PROP); return FALSE;
    default: return FALSE;
    }
}
