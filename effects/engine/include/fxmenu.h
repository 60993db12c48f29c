// The pop-up menu object of the effects library: a menu tracked at the
// cursor that returns the chosen command, also when no window is there to
// receive it, and the icon tint used by the editor's tool buttons.
// User-interface thread only.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// Called for every message of the window a menu is tracked on; sets
// *handled to stop the default handling.
typedef LRESULT (*TMenuCallback)(class TMenu *menu, UINT message, WPARAM wp, LPARAM lp, BOOL *handled);

class TMenu {
public:
    virtual LRESULT OnMessage(UINT message, WPARAM wp, LPARAM lp, BOOL *handled);
    virtual LRESULT OnInitMenuPopup(WPARAM wp, LPARAM lp, BOOL *handled);
    virtual LRESULT Unused();
    virtual LRESULT OnMenuSelect(WPARAM wp, LPARAM lp, BOOL *handled);
    virtual ~TMenu();

    HMENU menu = nullptr;
    HWND owner = nullptr;
    DWORD lastError = 0;
    LONG x = 0, y = 0;              // added to the cursor position
    TMenuCallback callback = nullptr;
    WNDPROC previous = nullptr;     // the tracked window's own procedure
};

// The window property that holds the tracking object.
extern const char TMENU_PROPERTY[];   // "TMENU_WNDPROP - Halvard"

// kind 0: the first pop-up of menu resource `source` in `module` (the
// program when null), copied; kind 1: a menu from the text `source`, cut
// at the character in the low byte of `data` (items 1, 2, 3 ...; an empty
// piece is a separator); kind 2: `data` is the menu handle to adopt.
TMenu *CreateTMenu(int kind, LPCSTR source, LONG_PTR data, HWND owner);
// Tracks at the cursor plus the offsets: the chosen command, or 0.
UINT TrackTMenu(TMenu *menu, UINT flags = TPM_RIGHTBUTTON, HWND window = nullptr);
int EnableTMenuItem(TMenu *menu, UINT id, int state, int byPosition);
int CheckTMenuItem(TMenu *menu, UINT id, int checked, int byPosition);
int InsertTMenuItem(TMenu *menu, UINT before, UINT flags, UINT_PTR id, LPCSTR text);
int DeleteTMenuItem(TMenu *menu, UINT id, int byPosition);
LONG SetTMenuOffset(TMenu *menu, LONG x, LONG y);
void DestroyTMenu(TMenu *menu);

// A new icon of the system icon size: the icon's mask drawn in `colour`.
// The caller destroys it; the source icon stays.
HICON TintIcon(HICON icon, COLORREF colour);
