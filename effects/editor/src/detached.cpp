// The editor in a window of its own: the large edit window the host makes
// for it (the check box "Edit in Larger Area", 3778, of the tool dialog),
// and docking back into the host's view area.
#include <cstring>

#include "fxeditor.h"

namespace {

const char kLargeProp[] = "FX large edit window procedure";

// The large edit window's own close docks the editor: the window would
// otherwise take the editor's windows down with it.
LRESULT CALLBACK LargeProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    auto old = reinterpret_cast<WNDPROC>(GetPropA(w, kLargeProp));
    if (msg == WM_CLOSE) {
        auto *inst = reinterpret_cast<FxInstance *>(GetPropA(w, "FX large edit instance"));
        if (inst && FxEditorOf(inst)) {
            DockEditorWindow(inst);
            return 0;
        }
    }
    if (msg == WM_SIZE) {
        // The view fills the window.
        for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            if (GetPropA(w, "FX large edit view") == c) MoveWindow(c, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
    }
    return old ? CallWindowProcA(old, w, msg, wp, lp) : DefWindowProcA(w, msg, wp, lp);
}

void Fit(HWND view, HWND parent)
{
    RECT rc;
    GetClientRect(parent, &rc);
    MoveWindow(view, 0, 0, rc.right, rc.bottom, TRUE);
}

void CheckLarge(FxEditorState *ed)
{
    if (ed->toolDialog && IsWindow(ed->toolDialog))
        CheckDlgButton(ed->toolDialog, FXC_LARGE_EDIT, ed->largeEdit ? BST_CHECKED : BST_UNCHECKED);
}

}  // namespace

HWND OpenEditorWindow(FxInstance *inst, HWND owner)
{
    FxEditorState *ed = inst ? FxEditorOf(inst) : nullptr;
    HWND view = inst ? inst->bindWindow : nullptr;
    if (!ed || !view || !IsWindow(view) || ed->largeEdit) return nullptr;
    FxWindowQuery q;
    std::memset(&q, 0, sizeof q);
    q.place.iniFile = inst->iniPath;
    q.place.key = "MorvixBigEditDlg";
    q.place.hostValue = ed->hostValue;
    q.place.kind = FX_WINDOW_LARGE_EDIT;
    q.hostWindow = inst->peer ? inst->peer->window : nullptr;
    q.owner = owner;
    q.x = 50;
    q.y = 430;
    q.sizeWords[0] = 8;
    q.sizeWords[1] = 6;
    q.style = 0x10000000;
    HWND large = reinterpret_cast<HWND>(FxCallHost(inst, FXN_GET_WINDOW, 0, &q));
    if (!large || !IsWindow(large) || large == GetParent(view)) return nullptr;
    ed->viewHome = GetParent(view);
    ed->largeWindow = large;
    ed->largeEdit = 1;
    SetPropA(large, "FX large edit instance", inst);
    SetPropA(large, "FX large edit view", view);
    SetPropA(large, kLargeProp,
             reinterpret_cast<HANDLE>(SetWindowLongPtrA(large, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LargeProc))));
    SetParent(view, large);
    Fit(view, large);
    ShowWindow(large, SW_SHOW);
    UpdateWindow(large);
    CheckLarge(ed);
    return large;
}

void DockEditorWindow(FxInstance *inst)
{
    FxEditorState *ed = inst ? FxEditorOf(inst) : nullptr;
    if (!ed || !ed->largeEdit) return;
    HWND large = ed->largeWindow, view = inst->bindWindow;
    ed->largeEdit = 0;
    ed->largeWindow = nullptr;
    if (view && IsWindow(view) && ed->viewHome && IsWindow(ed->viewHome)) {
        SetParent(view, ed->viewHome);
        Fit(view, ed->viewHome);
    }
    ed->viewHome = nullptr;
    if (large && IsWindow(large)) {
        if (auto old = reinterpret_cast<LONG_PTR>(GetPropA(large, kLargeProp)))
            SetWindowLongPtrA(large, GWLP_WNDPROC, old);
        RemovePropA(large, kLargeProp);
        RemovePropA(large, "FX large edit instance");
        RemovePropA(large, "FX large edit view");
        SetMenu(large, nullptr);
        DestroyWindow(large);
    }
    CheckLarge(ed);
}
