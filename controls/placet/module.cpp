/* Start-up of Placet.dll: the class, the atom, the registered message, the
 * shared attach count, and the entry points for dialog editors and loaders. */
#include "placet.h"
#include "placet_internal.h"
#include "shared_block.h"
#include "dlgx.h"

#include <commctrl.h>
#include <custcntl.h>
#include <cstring>

extern "C" BOOL CALLBACK CCStyleDlg(HWND, LPCCSTYLEA);

namespace {

const char kAtomName[] = "Placet-Halvard-32";
HINSTANCE g_module;
SharedBlock g_shared;
UINT g_message;
WNDPROC g_edit_proc, g_scroll_proc;   /* per process: the system's procedures differ between processes */

bool Attach(HINSTANCE module)
{
    g_module = module;
    WNDCLASSA wc;
    if (GetClassInfoA(nullptr, "EDIT", &wc)) g_edit_proc = wc.lpfnWndProc;
    if (GetClassInfoA(nullptr, "SCROLLBAR", &wc)) g_scroll_proc = wc.lpfnWndProc;
    DisableThreadLibraryCalls(module);

    std::memset(&wc, 0, sizeof wc);
    wc.style = 0x400B;  /* global class, double clicks, redraw on size */
    wc.lpfnWndProc = PlacetWndProc;
    wc.cbWndExtra = 12;
    wc.hInstance = module;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    wc.lpszClassName = PLACET_CLASS;
    if (!RegisterClassA(&wc)) {
        MessageBoxA(nullptr, "Could not Register Placet Class", "Err! - Placet.DLL", MB_ICONWARNING);
        return false;
    }
    /* The dialog extension's two messages and its atom must all exist. */
    if (!DlgXStartup()) {
        UnregisterClassA(PLACET_CLASS, module);
        return false;
    }
    g_message = RegisterWindowMessageA("Knobkit-Halvard");
    if (g_shared.Open("Placet-Halvard-32 shared")) {
        g_shared.Lock();
        SharedControlData *d = g_shared.data();
        if (!d->attach_count || !d->atom) d->atom = GlobalAddAtomA(kAtomName);
        d->message = g_message;
        ++d->attach_count;
        g_shared.Unlock();
    }
    return true;
}

void Detach()
{
    UnregisterClassA(PLACET_CLASS, g_module);
    if (SharedControlData *d = g_shared.data()) {
        g_shared.Lock();
        if (d->attach_count && --d->attach_count == 0 && d->atom) {
            GlobalDeleteAtom(d->atom);
            d->atom = 0;
        }
        g_shared.Unlock();
    }
    g_shared.Close();
}

} // namespace

UINT PlacetRegisteredMessage() { return g_message; }
WNDPROC PlacetSavedEditProc() { return g_edit_proc; }
WNDPROC PlacetSavedScrollProc() { return g_scroll_proc; }
HINSTANCE PlacetModule() { return g_module; }

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH: return Attach(module) ? TRUE : FALSE;
    case DLL_PROCESS_DETACH: Detach(); break;
    }
    return TRUE;
}

extern "C" BOOL WINAPI CheckVersion(DWORD requested) { return requested < 0x027000AAu ? TRUE : FALSE; }
extern "C" BOOL WINAPI PlacetRegister(DWORD) { return TRUE; }
extern "C" BOOL WINAPI PlacetUnregister(void) { return TRUE; }

extern "C" UINT WINAPI CustomControlInfoA(LPCCINFOA info)
{
    if (!info) return 1;
    std::memset(info, 0, sizeof *info);
    LoadStringA(g_module, 0, info->szClass, sizeof info->szClass);
    LoadStringA(g_module, 1, info->szDesc, sizeof info->szDesc);
    LoadStringA(g_module, 2, info->szTextDefault, sizeof info->szTextDefault);
    info->flOptions = 0;
    info->cxDefault = 20;
    info->cyDefault = 8;
    info->flStyleDefault = 0x500002A5;
    info->flExtStyleDefault = 0;
    info->flCtrlTypeMask = 0;
    info->cStyleFlags = 0;
    info->aStyleFlags = nullptr;
    info->lpfnStyle = CCStyleDlg;
    info->lpfnSizeToText = nullptr;
    return 1;
}
