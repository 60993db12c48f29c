/* Start-up of Knobkit.dll: the "Knobset" and "CCWND" classes, the atoms and
 * the registered message, the shared attach count, and the entry points for
 * dialog editors, the library loader and users checking the version. */
#include "internal.h"
#include "knobset.h"
#include "shared_block.h"

#include <custcntl.h>
#include <cstring>

extern "C" LRESULT CALLBACK KnobsetWndProc(HWND, UINT, WPARAM, LPARAM);
extern "C" BOOL CALLBACK CCStyleDlg(HWND, LPCCSTYLEA);

namespace {

HINSTANCE g_module;
SharedBlock g_shared;
UINT g_message;
ATOM g_prop_atom;

#define ROW(s, m) {s, m, (LPSTR)#s}
CCSTYLEFLAGA g_styles[34] = {
    ROW(KNBS_FLAT, 0xF000), ROW(KNBS_BORDER, 0xF000), ROW(KNBS_SEMIFLAT, 0xF000), ROW(KNBS_BEVELED, 0xF000),
    ROW(KNBS_WINDOWSISH, 0xF000), ROW(KNBS_SHADOW, 0xF000), ROW(KNBS_TECHNOID, 0xF000), ROW(KNBS_SUNKEN, 0xF000),
    ROW(KNBS_RAISED, 0xF000), ROW(KNBS_CHICAGO, 0xF000), ROW(KNBS_OLDWINDOWS, 0xF000), ROW(KNBS_TABLOOK, 0xF000),
    ROW(KNBS_AUTO, 0), ROW(KNBS_CHECK, 0), ROW(KNBS_INITASDEF, 0), ROW(KNBS_SHOWFOCUS, 0),
    ROW(KNBS_RADIO, 0), ROW(KNBS_REPEAT, 0), ROW(KNBS_STAYDOWN, 0), ROW(KNBS_VERBOSE, 0),
    ROW(KNBS_INITSELD, 0), ROW(KNBS_PRESSCLICK, 0), ROW(KNBS_SHOWDEFAULT, 0), ROW(KNBS_STATIC, 0),
    ROW(KNBS_EX_DRAGDROP, 0), ROW(KNBS_EX_TRANSPARENT, 0), ROW(KNBS_EX_CANBEDEF, 0), ROW(KNBS_EX_DRAWMSGS, 0),
    ROW(KNBS_EX_NOFOCUS, 0), ROW(KNBS_EX_CYCLIC, 0), ROW(KNBS_EX_RCLICKS, 0), ROW(KNBS_EX_RPRESSCLICK, 0),
    ROW(KNBS_EX_TABSTYLE, 0), ROW(KNBS_EX_FASTDRAW, 0),
};
#undef ROW

bool Attach(HINSTANCE module)
{
    g_module = module;
    DisableThreadLibraryCalls(module);
    WNDCLASSA wc;
    std::memset(&wc, 0, sizeof wc);
    wc.style = 0x400B;
    wc.lpfnWndProc = KnobsetWndProc;
    wc.cbWndExtra = 12;
    wc.hInstance = module;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    wc.lpszClassName = KNOBSET_CLASS;
    bool ok = RegisterClassA(&wc) != 0;
    g_message = RegisterWindowMessageA("Knobkit-Halvard");
    if (!ok) {
        MessageBoxA(nullptr, "Could not Register Knobset window class", "Err! - Knobset DLL", MB_ICONWARNING);
        return false;
    }
    WNDCLASSA page;
    std::memset(&page, 0, sizeof page);
    page.lpfnWndProc = DefWindowProcA;
    page.cbWndExtra = 4;
    page.hInstance = module;
    page.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    page.lpszClassName = "CCWND";
    RegisterClassA(&page);

    /* The property atom is needed in this process whatever the shared block says. */
    g_prop_atom = GlobalAddAtomA("Knobset-Halvard-32");
    if (g_shared.Open("Knobset-Halvard-32 shared")) {
        g_shared.Lock();
        SharedControlData *d = g_shared.data();
        if (!d->attach_count) {
            lstrcpynA(d->atom_name, "Knobset-Halvard-32", sizeof d->atom_name);
            lstrcpynA(d->class_name, KNOBSET_CLASS, sizeof d->class_name);
            lstrcpynA(d->font_atom_name, "FontAtom for Knobset - Halvard", sizeof d->font_atom_name);
            d->atom = g_prop_atom;
            d->font_atom = GlobalAddAtomA(d->font_atom_name);
        } else {
            /* Global atoms are counted: drop the reference this process just added. */
            GlobalDeleteAtom(g_prop_atom);
            g_prop_atom = d->atom;
        }
        d->message = g_message;
        ++d->attach_count;
        g_shared.Unlock();
    }
    return true;
}

void Detach()
{
    UnregisterClassA(KNOBSET_CLASS, g_module);
    UnregisterClassA("CCWND", g_module);
    if (SharedControlData *d = g_shared.data()) {
        g_shared.Lock();
        if (d->attach_count && --d->attach_count == 0) {
            if (d->atom) GlobalDeleteAtom(d->atom);
            if (d->font_atom) GlobalDeleteAtom(d->font_atom);
            d->atom = d->font_atom = 0;
        }
        g_shared.Unlock();
    }
    g_shared.Close();
}

} // namespace

HINSTANCE KnobkitModule() { return g_module; }
UINT KnobkitPropAtom() { return g_prop_atom; }
UINT KnobkitRegisteredMessage() { return g_message; }

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH: return Attach(module) ? TRUE : FALSE;
    case DLL_PROCESS_DETACH: Detach(); break;
    }
    return TRUE;
}

extern "C" BOOL WINAPI CheckVersion(DWORD requested) { return requested < 0x0241074Bu ? TRUE : FALSE; }
extern "C" BOOL WINAPI KnobsetRegister(DWORD) { return TRUE; }
extern "C" BOOL WINAPI KnobsetUnregister(void) { return TRUE; }

extern "C" UINT WINAPI CustomControlInfoA(LPCCINFOA info)
{
    if (!info) return 1;
    std::memset(info, 0, sizeof *info);
    lstrcpynA(info->szClass, KNOBSET_CLASS, sizeof info->szClass);
    lstrcpynA(info->szDesc, "Knobset!!!", sizeof info->szDesc);
    lstrcpynA(info->szTextDefault, "0`2`171`Knobset", sizeof info->szTextDefault);
    info->cxDefault = 40;
    info->cyDefault = 14;
    info->flStyleDefault = 0x5000D001;
    info->cStyleFlags = 24;
    info->aStyleFlags = g_styles;
    info->lpfnStyle = CCStyleDlg;
    info->lpfnSizeToText = nullptr;
    return 1;
}

typedef BOOL(WINAPI *RegisterLibraryFn)(HMODULE, DWORD);
typedef BOOL(WINAPI *RegisterNamedFn)(LPCSTR, HMODULE, DWORD);

extern "C" BOOL WINAPI REGRegisterYourself(HMODULE loader)
{
    if (!loader) return FALSE;
    auto reg = reinterpret_cast<RegisterLibraryFn>(GetProcAddress(loader, "REGRegisterLibrary"));
    auto named = reinterpret_cast<RegisterNamedFn>(GetProcAddress(loader, "REGRegisterNamedLibrary"));
    BOOL first = reg ? reg(g_module, KNOBKIT_VERSION) : FALSE;
    if (!named) return first;
    if (!first) return FALSE;
    BOOL a = named(KNOBSET_CLASS, g_module, KNOBKIT_VERSION);
    BOOL b = named("CCWnd", g_module, KNOBKIT_VERSION);
    return a && b ? TRUE : FALSE;
}

namespace {
const char kHookProp[] = "Knobset parent hook prop - Halvard";
}

/* A dialog subclass a host may install itself: keeps the replaced procedure
 * in a property and tells every "Knobset" child to recompute its corners
 * when the dialog initialises. */
extern "C" LRESULT CALLBACK KnobsetParentHook(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    WNDPROC previous = reinterpret_cast<WNDPROC>(GetPropA(hwnd, kHookProp));
    LRESULT r = previous ? CallWindowProcA(previous, hwnd, msg, wp, lp) : DefWindowProcA(hwnd, msg, wp, lp);
    if (msg == WM_INITDIALOG)
        for (HWND c = GetWindow(hwnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            char cls[16];
            if (GetClassNameA(c, cls, sizeof cls) && !lstrcmpiA(cls, KNOBSET_CLASS)) SendMessageA(c, WM_USER + 110, 0, 0);
        }
    if (msg == WM_NCDESTROY) RemovePropA(hwnd, kHookProp);
    return r;
}
