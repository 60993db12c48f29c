// The tool dialog's pages: every page keeps the instance in its user data,
// registers in its slot of the editor state, hands its commands to the
// attribute panel (PanelCommand) and lets UpdateEditor fill its controls.
// Also the tool dialog frame (_MorvixDlg) and the two drawn views: the
// speed view of the spline page and the shape preview.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "fxedit.h"
#include "fxeditor.h"
#include "fxmeshsel.h"
#include "fxmodel.h"
#include "fxpages.h"

namespace {

FxInstance *InstanceOf(HWND w)
{
    return reinterpret_cast<FxInstance *>(GetWindowLongPtrA(w, GWLP_USERDATA));
}

void Enable(HWND page, int id, bool on)
{
    if (HWND c = GetDlgItem(page, id)) EnableWindow(c, on);
}

void Show(HWND page, int id, bool on)
{
    if (HWND c = GetDlgItem(page, id)) ShowWindow(c, on ? SW_SHOW : SW_HIDE);
}

// Three feature bits of a tool group (0 Position, 3 Orientation, 6 Offset,
// 9 Extend, 12 Skew, 15 Twist, 18 Scale).
bool AnyBit(const FxInstance *inst, int first)
{
    return (inst->features >> first) & 0x7;
}

void Register(FxInstance *inst, HWND w, int slot)
{
    FxEditorState *ed = FxEditorOf(inst);
    if (ed && slot >= 0 && slot < FXP_COUNT) ed->pages[slot] = w;
}

void Unregister(HWND w, int slot)
{
    FxInstance *inst = InstanceOf(w);
    FxEditorState *ed = inst ? FxEditorOf(inst) : nullptr;
    if (ed && slot >= 0 && slot < FXP_COUNT && ed->pages[slot] == w) ed->pages[slot] = nullptr;
}

// Group buttons (the tools' buttons) report a right click to their page as
// notification 18, which offers the group's attribute menu.
const char kGroupProcProp[] = "TarvoFX:GroupButtonProc";

LRESULT CALLBACK GroupButtonProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    auto old = reinterpret_cast<WNDPROC>(GetPropA(w, kGroupProcProp));
    if (msg == WM_RBUTTONUP) {
        SendMessageA(GetParent(w), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(w), FXN_CONTEXT), reinterpret_cast<LPARAM>(w));
        return 0;
    }
    if (msg == WM_NCDESTROY && old) {
        SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        RemovePropA(w, kGroupProcProp);
    }
    return old ? CallWindowProcA(old, w, msg, wp, lp) : DefWindowProcA(w, msg, wp, lp);
}

void HookGroupButtons(HWND page)
{
    for (int id = 3073; id <= 3080; ++id) {
        HWND b = GetDlgItem(page, id);
        if (!b || GetPropA(b, kGroupProcProp)) continue;
        SetPropA(b, kGroupProcProp, reinterpret_cast<HANDLE>(GetWindowLongPtrA(b, GWLP_WNDPROC)));
        SetWindowLongPtrA(b, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GroupButtonProc));
    }
}

// The steps every attribute page takes at WM_INITDIALOG.
void CommonInit(HWND w, FxInstance *inst, int slot)
{
    SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(inst));
    HookGroupButtons(w);
    const bool timing = !(inst->features & 0x80000000u);
    Enable(w, 3160, timing);
    Enable(w, 3155, timing);
    Enable(w, 3144, (inst->features & 0x20000000u) != 0);
    if (HWND prv = GetDlgItem(w, 3170)) {
        // The frames a new keyframe keeps from its neighbour.
        SendMessageA(prv, WM_USER + 0x121, 4099, 30);
    }
    Register(inst, w, slot);
}

// Hands the focus back to the editor's main window (pages are child
// windows: the keys belong to the view).
void FocusToMain(HWND w, FxInstance *inst)
{
    if ((GetWindowLongA(w, GWL_STYLE) & WS_CHILD) && inst->mainWindow && IsWindow(inst->mainWindow) &&
        IsWindowVisible(inst->mainWindow))
        SetFocus(inst->mainWindow);
}

typedef void (*PageInit)(HWND w, FxInstance *inst);

// The shared body of the attribute pages.
INT_PTR PageProc(HWND w, UINT msg, WPARAM wp, LPARAM lp, int slot, uint32_t firstMask, PageInit init)
{
    switch (msg) {
    case WM_INITDIALOG: {
        auto *inst = reinterpret_cast<FxInstance *>(lp);
        if (!inst) return FALSE;
        CommonInit(w, inst, slot);
        if (init) init(w, inst);
        FocusToMain(w, inst);
        UpdateEditor(inst, firstMask);
        return FALSE;
    }
    case WM_SHOWWINDOW:
        if (wp)
            if (FxInstance *inst = InstanceOf(w)) UpdateEditor(inst, 0x15FFFFFF);
        return FALSE;
    case WM_COMMAND:
        if (FxInstance *inst = InstanceOf(w)) {
            PanelCommand(inst, w, LOWORD(wp), reinterpret_cast<HWND>(lp), HIWORD(wp));
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        Unregister(w, slot);
        return FALSE;
    default:
        return FALSE;
    }
}

// ---------------------------------------------------------------- page set-ups

void PositionInit(HWND w, FxInstance *inst)
{
    Enable(w, 3245, inst->features & 0x8);
    Enable(w, 3250, inst->features & 0x10);
    Enable(w, 3255, inst->features & 0x20);
}

// The combined DVE page serves as the position, shape and time pages that
// are not open.
void AnyInit(HWND w, FxInstance *inst)
{
    FxEditorState *ed = FxEditorOf(inst);
    if (!ed) return;
    for (int slot : {FXP_POSITION, FXP_SHAPE, FXP_TIME})
        if (!ed->pages[slot] || !IsWindow(ed->pages[slot])) ed->pages[slot] = w;
}

void ShapeInit(HWND w, FxInstance *inst)
{
    Enable(w, 3545, inst->features & (1u << 12));
    Enable(w, 3550, inst->features & (1u << 13));
    Enable(w, 3555, inst->features & (1u << 15));
    Enable(w, 3560, inst->features & (1u << 16));
    const bool skew = AnyBit(inst, 12), twist = AnyBit(inst, 15), orient = AnyBit(inst, 3);
    Enable(w, 3077, skew);
    Enable(w, 3124, skew);
    Enable(w, 3078, twist);
    Enable(w, 3125, twist);
    Enable(w, 3074, orient);
    Enable(w, 3121, orient);
    if (HWND view = GetDlgItem(w, 3506)) {
        SetWindowLongPtrA(view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ShapeViewProc));
        // A zeroed view record naming the instance.
        static unsigned char record[296];
        std::memset(record, 0, sizeof record);
        std::memcpy(record, &inst, sizeof inst);
        SendMessageA(view, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(record));
    }
}

void FilterInit(HWND w, FxInstance *inst)
{
    const char *section = inst->own ? inst->own->name : "";
    static const struct {
        int id;
        const char *key;
    } crops[] = {{3675, "CropLeft"}, {3680, "CropRight"}, {3665, "CropTop"}, {3670, "CropBottom"}};
    for (const auto &c : crops) {
        char text[32] = "";
        GetPrivateProfileStringA(section, c.key, "0", text, sizeof text, inst->iniPath);
        char *end = nullptr;
        float v = std::strtof(text, &end);
        if (end == text || !std::isfinite(v)) v = 0;
        if (HWND ctl = GetDlgItem(w, c.id)) {
            LPARAM bits = 0;
            std::memcpy(&bits, &v, sizeof v);
            SendMessageA(ctl, WM_USER + 0x121, 6147, bits);
        }
    }
    if (HWND soft = GetDlgItem(w, 3600)) SendMessageA(soft, WM_USER + 0x121, 4099, FxReadSetting(inst, FXS_SOFT));
    if (inst->personality == 2) Show(w, 3655, true);
    const bool embedded = inst->hostKind == FX_HOST_EMBEDDED;
    Show(w, 3808, embedded);
    Show(w, 3809, embedded);
    if (inst->hostKind == 0x2C920000u && FxGetHostData(inst, -2) < 4)
        for (int id : {3657, 3662, 3655, 3660}) Show(w, id, false);
    if (HWND combo = GetDlgItem(w, 3737)) {
        // The blend modes, each with its index as item data.
        HINSTANCE module = GetFxInstance();
        SendMessageA(combo, CB_RESETCONTENT, 0, 0);
        for (UINT id = 140; id <= 151; ++id) {
                char text[64] = "";
                LoadStringA(module, id, text, sizeof text);
                const LRESULT at = SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
                if (at >= 0) SendMessageA(combo, CB_SETITEMDATA, at, id - 140);
            }
    }
}

void WarpInit(HWND w, FxInstance *)
{
    if (HWND sel = GetDlgItem(w, 9000)) {
        const int count = g_fxWarps.count > 0 ? g_fxWarps.count : 1;
        SendMessageA(sel, WM_USER + 0x121, 4098, count - 1);
    }
    SetPropA(w, "Halvard's warp select prop", reinterpret_cast<HANDLE>(intptr_t(-1)));
}

void SplineInit(HWND w, FxInstance *inst)
{
    FxEditorState *ed = FxEditorOf(inst);
    const int channel = ed ? ed->splineChannel : 0;
    if (HWND list = GetDlgItem(w, 3409)) {
        for (UINT id : {108u, 109u, 112u}) {
            char text[32] = "";
            LoadStringA(GetFxInstance(), id, text, sizeof text);
            SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        }
        SendMessageA(list, LB_SETCURSEL, channel, 0);
    } else {
        CheckRadioButton(w, 3403, 3405, 3403 + channel);
    }
    if (HWND view = GetDlgItem(w, 3450)) {
        SetWindowLongPtrA(view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SpeedViewProc));
        SendMessageA(view, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(inst));
    }
}

// The four time-bar rows stacked under the first, the vertical scroller
// four rows high beside them and the horizontal one under them.
void StackTimeRows(HWND w)
{
    HWND first = GetDlgItem(w, 3341);
    if (!first) return;
    RECT r;
    GetWindowRect(first, &r);
    MapWindowPoints(nullptr, w, reinterpret_cast<POINT *>(&r), 2);
    const int h = r.bottom - r.top;
    for (int i = 0; i < 4; ++i) {
        const int y = r.top + i * h;
        if (HWND row = GetDlgItem(w, 3341 + i)) SetWindowPos(row, nullptr, r.left, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        for (int base : {3321, 3326, 3351})
            if (HWND b = GetDlgItem(w, base + i)) {
                RECT br;
                GetWindowRect(b, &br);
                MapWindowPoints(nullptr, w, reinterpret_cast<POINT *>(&br), 2);
                SetWindowPos(b, nullptr, br.left, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            }
    }
    if (HWND v = GetDlgItem(w, 3337)) {
        RECT vr;
        GetWindowRect(v, &vr);
        MoveWindow(v, r.right + 2, r.top, vr.right - vr.left, 4 * h, TRUE);
    }
    if (HWND hz = GetDlgItem(w, 3332)) {
        RECT hr;
        GetWindowRect(hz, &hr);
        MoveWindow(hz, r.left, r.top + 4 * h, r.right - r.left, hr.bottom - hr.top, TRUE);
    }
}

void TimeInit(HWND w, FxInstance *inst)
{
    StackTimeRows(w);
    if (inst->hostKind == 0x2C910000u || FxGetHostData(inst, -5) == 13) Show(w, 3360, false);
    Show(w, 4300, false);
}

void ToolsInit(HWND w, FxInstance *inst)
{
    const bool position = AnyBit(inst, 0), orient = AnyBit(inst, 3);
    Enable(w, 3077, AnyBit(inst, 12));
    Enable(w, 3078, AnyBit(inst, 15));
    Enable(w, 3074, orient);
    Enable(w, 3065, position || orient);
    Enable(w, 3066, true);
    Enable(w, 3067, (inst->features & 0x1FFFFF) != 0);
    const bool fit = position && (AnyBit(inst, 9) || AnyBit(inst, 18) || (inst->features & (1u << 21)));
    Enable(w, 3069, fit);
    Enable(w, 3070, fit && (inst->features & 0x30000000u));
    Enable(w, 3071, (inst->features & 0x10000000u) != 0);
    Enable(w, 3072, (inst->features & 0x30000000u) == 0x30000000u);
}

// A time-bar notification from row `row` (WM_HSCROLL).
void TimeRowNotice(HWND w, FxInstance *inst, HWND row, WPARAM wp)
{
    FxEffect *fx = FxCurrentEffect(inst);
    if (!fx) return;
    const int index = GetDlgCtrlID(row) - 3341;
    if (index < 0 || index > 3) return;
    const int code = LOWORD(wp);
    const int amount = short(HIWORD(wp));
    // The row's path: the scroller's position plus the row (the frame's
    // rows start at the current path).
    int first = 0;
    if (HWND sc = GetDlgItem(w, 3335)) first = int(SendMessageA(sc, WM_USER + 0x120, 0x1000, 0));
    FxPath *path = fx->first;
    for (int i = 0; path && i < first + index; ++i) path = path->next;
    if (!path) return;
    auto refresh = [&](LPARAM word) {
        if (inst->mainWindow && IsWindow(inst->mainWindow)) SendMessageA(inst->mainWindow, FXM_REFRESH, 0, word);
    };
    if (code == 8) {
        refresh(0x50000402);
        fx->flags |= 0x8000;
        UpdateEditor(inst, FXU_FRAMES | FXU_FRAME);
        return;
    }
    if ((code >= 9 && code <= 11 && amount == 0) || code == 12) {
        fx->current = path;
        if (!path->current) path->current = path->head;
        refresh(code == 12 ? 0x802 : 0x802 | 0x20000402);
        UpdateEditor(inst, 0x812 | FXU_NO_SNAPSHOT);
        return;
    }
    if (code >= 9 && code <= 11) {
        if (code == 9)
            ShiftPathFrames(path, amount);
        else
            ScalePathTiming(path, amount, code == 10 ? 1 : 2);
        if (fx->flags & 0x4000) UpdateEditor(inst, FXU_FRAMES | FXU_KEYFRAME | 0x10);
        refresh(0x402 | 0x2000);
    }
}

// The bold font of the frame's keyframe number, shared by every frame.
HFONT g_boldFont;
int g_boldUsers;

}  // namespace

HWND FxPageWindow(FxInstance *inst, int slot)
{
    FxEditorState *ed = inst ? FxEditorOf(inst) : nullptr;
    if (!ed || slot < 0 || slot >= FXP_COUNT) return nullptr;
    HWND w = ed->pages[slot];
    return w && IsWindow(w) ? w : nullptr;
}

// ---------------------------------------------------------------- exported pages

extern "C" INT_PTR WINAPI XYZDlg(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    return PageProc(w, msg, wp, lp, FXP_POSITION, 0x15FFFFFF, PositionInit);
}

extern "C" INT_PTR WINAPI AnyDlg(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_DESTROY) {
        FxInstance *inst = InstanceOf(w);
        FxEditorState *ed = inst ? FxEditorOf(inst) : nullptr;
        if (ed)
            for (int slot : {FXP_POSITION, FXP_SHAPE, FXP_TIME})
                if (ed->pages[slot] == w) ed->pages[slot] = nullptr;
        return FALSE;
    }
    return PageProc(w, msg, wp, lp, -1, 0x15FFFFFF, AnyInit);
}

extern "C" INT_PTR WINAPI ShapeDlg(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_DESTROY)
        if (HWND view = GetDlgItem(w, 3506)) {
            DestroyWindow(view);
        }
    return PageProc(w, msg, wp, lp, FXP_SHAPE, 0x200000, ShapeInit);
}

extern "C" INT_PTR WINAPI FilterDlg(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    return PageProc(w, msg, wp, lp, FXP_FILTER, 0x15FFFFFF, FilterInit);
}

extern "C" INT_PTR WINAPI Filter2Dlg(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    return PageProc(w, msg, wp, lp, FXP_FILTER2, 0x15FFFFFF, nullptr);
}

extern "C" INT_PTR WINAPI WarpDlg(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_DESTROY) RemovePropA(w, "Halvard's warp select prop");
    return PageProc(w, msg, wp, lp, FXP_WARP, 0x15FFFFFF, WarpInit);
}

// ---------------------------------------------------------------- the 3D mesh page

namespace {

const char kMeshSelectorProp[] = "FX mesh selector";

MeshSelector *SelectorOf(HWND w)
{
    return static_cast<MeshSelector *>(GetPropA(w, kMeshSelectorProp));
}

void MeshInit(HWND w, FxInstance *inst)
{
    MeshSelector *s = MeshSelectCreate(w, FxCachedBool(inst, FXC_MESH_IDS) != 0);
    if (!s) return;
    SetPropA(w, kMeshSelectorProp, s);
    MeshSelectRefresh(s);
}

// The page's own controls; false for the controls the panel serves.
bool MeshCommand(HWND w, FxInstance *inst, int id, int code)
{
    MeshSelector *s = SelectorOf(w);
    if (!s) return false;
    const bool checked = IsDlgButtonChecked(w, id) == BST_CHECKED;
    if (id >= MESH_PICON_FIRST && id < MESH_PICON_FIRST + MESH_PICON_COUNT) {
        if (code != 0) return true;
        FxEffect *fx = FxCurrentEffect(inst);
        const bool inGroup = !MeshSelectIsEmpty(s);
        if (MeshSelectApply(s, id - MESH_PICON_FIRST, fx ? fx->current : nullptr, fx ? fx->first : nullptr) &&
            inGroup)
            UpdateEditor(inst, FXU_KEYFRAME | FXU_FRAMES | FXU_PAGE | FXU_SCENE);
        return true;
    }
    switch (id) {
    case MESH_BACK:
        MeshSelectGoBack(s);
        return true;
    case MESH_APPLY_ALL:
        MeshSelectSetApplyAll(s, checked);
        return true;
    case MESH_REVERSE:
        MeshSelectSetReverse(s, checked);
        return true;
    case MESH_ANIMATE:
        MeshSelectSetAnimate(s, checked);
        return true;
    case MESH_START:
    case MESH_OVER:
    case MESH_END:
        if (checked) MeshSelectSetPlacement(s, id - MESH_START);
        return true;
    case MESH_APPLY_OPTIONS:
        return true;
    default:
        return false;
    }
}

}  // namespace

extern "C" INT_PTR WINAPI ThreeDMeshDlg(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_COMMAND:
        if (FxInstance *inst = InstanceOf(w))
            if (MeshCommand(w, inst, LOWORD(wp), HIWORD(wp))) return TRUE;
        break;
    case WM_VSCROLL:
        if (MeshSelector *s = SelectorOf(w)) {
            if (reinterpret_cast<HWND>(lp) != GetDlgItem(w, MESH_ROW_SCROLL)) break;
            int lo = 0, hi = 0;
            GetScrollRange(reinterpret_cast<HWND>(lp), SB_CTL, &lo, &hi);
            int row = s->row;
            switch (LOWORD(wp)) {
            case SB_LINEUP: case SB_PAGEUP: --row; break;
            case SB_LINEDOWN: case SB_PAGEDOWN: ++row; break;
            case SB_THUMBTRACK: case SB_THUMBPOSITION: row = HIWORD(wp); break;
            case SB_TOP: row = lo; break;
            case SB_BOTTOM: row = hi; break;
            default: return TRUE;
            }
            MeshSelectSetRow(s, row < lo ? lo : row > hi ? hi : row);
            return TRUE;
        }
        break;
    case WM_SHOWWINDOW:
        // Hidden pages draw no picons.
        if (MeshSelector *s = SelectorOf(w)) {
            if (wp)
                MeshSelectResumePicons(s);
            else
                MeshSelectPausePicons(s);
        }
        break;
    case WM_DESTROY:
        MeshSelectDestroy(SelectorOf(w));
        RemovePropA(w, kMeshSelectorProp);
        break;
    default:
        break;
    }
    return PageProc(w, msg, wp, lp, FXP_MESH, 0x15FFFFFF, MeshInit);
}

extern "C" INT_PTR WINAPI CharDlg(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITDIALOG) SetPropA(w, "Halvard's warp select prop", reinterpret_cast<HANDLE>(intptr_t(-1)));
    if (msg == WM_DESTROY) RemovePropA(w, "Halvard's warp select prop");
    return PageProc(w, msg, wp, lp, FXP_CHAR, 0x15FFFFFF, nullptr);
}

extern "C" INT_PTR WINAPI SplineDlg(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    return PageProc(w, msg, wp, lp, FXP_SPLINE, 0x15FFFFFF, SplineInit);
}

extern "C" INT_PTR WINAPI TimeDlg(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_HSCROLL && lp) {
        FxInstance *inst = InstanceOf(w);
        const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lp));
        if (inst && id >= 3341 && id <= 3344) {
            TimeRowNotice(w, inst, reinterpret_cast<HWND>(lp), wp);
            return TRUE;
        }
        return FALSE;
    }
    return PageProc(w, msg, wp, lp, FXP_TIME, 0x15FFFFFF, TimeInit);
}

extern "C" INT_PTR WINAPI KeyingDlg(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_COMMAND) {
        HWND button = reinterpret_cast<HWND>(lp);
        if (button) {
            const LRESULT v = SendMessageA(button, WM_USER + 0x10, 0x4072, 0);
            if (v) {
                unsigned char zero[16] = {};
                SendMessageA(button, WM_USER + 0x20, 0, reinterpret_cast<LPARAM>(zero));
                SendMessageA(button, WM_USER + 0x0E, 0x5172, v);
            }
        }
    }
    return PageProc(w, msg, wp, lp, FXP_KEYING, 0x15FFFFFF, nullptr);
}

extern "C" INT_PTR WINAPI ToolsDlg(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    return PageProc(w, msg, wp, lp, FXP_TOOLS, FXU_TOOL, ToolsInit);
}

// ---------------------------------------------------------------- tool dialog frame

extern "C" INT_PTR WINAPI MorvixDlg(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG: {
        auto *inst = reinterpret_cast<FxInstance *>(lp);
        if (!inst) return FALSE;
        CommonInit(w, inst, -1);
        if (FxEditorState *ed = FxEditorOf(inst)) ed->toolDialog = w;
        StackTimeRows(w);
        if (inst->hostKind == FX_HOST_EMBEDDED) {
            HWND button = GetDlgItem(w, 3360), row = GetDlgItem(w, 3341);
            if (button) {
                RECT b;
                GetWindowRect(button, &b);
                ShowWindow(button, SW_HIDE);
                if (row) {
                    RECT r;
                    GetWindowRect(row, &r);
                    SetWindowPos(row, nullptr, 0, 0, (b.right > r.right ? b.right : r.right) - r.left,
                                 r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
                }
            }
        }
        if (HWND edit = GetDlgItem(w, 3151)) {
            if (!g_boldFont) {
                LOGFONTA lf = {};
                HFONT f = reinterpret_cast<HFONT>(SendMessageA(edit, WM_GETFONT, 0, 0));
                if (!f) f = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
                GetObjectA(f, sizeof lf, &lf);
                lf.lfHeight = lf.lfHeight * 3 / 2;
                if (lf.lfWeight < FW_BOLD) lf.lfWeight = FW_BOLD;
                g_boldFont = CreateFontIndirectA(&lf);
            }
            ++g_boldUsers;
            SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(g_boldFont), FALSE);
        }
        return FALSE;
    }
    case WM_COMMAND:
        if (FxInstance *inst = InstanceOf(w)) {
            if (LOWORD(wp) == FXC_LARGE_EDIT) {
                FxEditorState *ed = FxEditorOf(inst);
                if (ed && ed->largeEdit)
                    DockEditorWindow(inst);
                else if (!OpenEditorWindow(inst, w))
                    CheckDlgButton(w, FXC_LARGE_EDIT, BST_UNCHECKED);
                return TRUE;
            }
            PanelCommand(inst, w, LOWORD(wp), reinterpret_cast<HWND>(lp), HIWORD(wp));
            return TRUE;
        }
        return FALSE;
    case FXM_TOOL_PAGES: {
        // The tabbed frame shows the position (0) or shape (1) page.
        FxInstance *inst = InstanceOf(w);
        FxEditorState *ed = inst ? FxEditorOf(inst) : nullptr;
        if (ed && ed->tabFrame && IsWindow(ed->tabFrame)) SendMessageA(ed->tabFrame, FXM_TOOL_PAGES, wp, 0);
        return TRUE;
    }
    case WM_CTLCOLORSTATIC:
        // The realtime indicator: green when the effect plays in real time, red when not.
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lp)) == 4400) {
            char text[16] = "";
            GetWindowTextA(reinterpret_cast<HWND>(lp), text, sizeof text);
            HDC dc = reinterpret_cast<HDC>(wp);
            SetTextColor(dc, std::strcmp(text, "Realtime!") == 0 ? RGB(0, 0xFF, 0) : RGB(0xFF, 0, 0));
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        }
        [[fallthrough]];
    case WM_ERASEBKGND:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR: {
        // To the window under the panel's pages, unless that is this frame
        // or lies inside it.
        FxInstance *inst = InstanceOf(w);
        FxEditorState *ed = inst ? FxEditorOf(inst) : nullptr;
        HWND first = nullptr;
        if (ed)
            for (HWND p : ed->pages)
                if (p && IsWindow(p)) {
                    first = p;
                    break;
                }
        HWND target = first ? GetParent(first) : nullptr;
        if (target && target != w && !IsChild(w, target)) {
            const LRESULT r = SendMessageA(target, msg, wp, lp);
            SetWindowLongPtrA(w, DWLP_MSGRESULT, r);
            return r != 0;
        }
        return FALSE;
    }
    case WM_HSCROLL:
        if (lp) {
            FxInstance *inst = InstanceOf(w);
            const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lp));
            if (inst && id >= 3341 && id <= 3344) {
                TimeRowNotice(w, inst, reinterpret_cast<HWND>(lp), wp);
                return TRUE;
            }
        }
        return FALSE;
    case WM_DESTROY: {
        FxInstance *inst = InstanceOf(w);
        FxEditorState *ed = inst ? FxEditorOf(inst) : nullptr;
        if (ed && ed->toolDialog == w) ed->toolDialog = nullptr;
        if (ed && ed->tabFrame && IsChild(w, ed->tabFrame)) ed->tabFrame = nullptr;
        if (inst && inst->host.toolWindow == w) inst->host.toolWindow = nullptr;
        if (GetDlgItem(w, 3151) && g_boldUsers > 0 && --g_boldUsers == 0 && g_boldFont) {
            DeleteObject(g_boldFont);
            g_boldFont = nullptr;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

// ---------------------------------------------------------------- speed view

extern "C" LRESULT WINAPI SpeedViewProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(w, GWLP_USERDATA, lp);
        return TRUE;
    case FXM_REFRESH:
        RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        RECT rc;
        GetClientRect(w, &rc);
        FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        auto *inst = reinterpret_cast<FxInstance *>(GetWindowLongPtrA(w, GWLP_USERDATA));
        FxEffect *fx = inst ? FxCurrentEffect(inst) : nullptr;
        FxPath *p = fx ? fx->current : nullptr;
        FxKeyframe *k = p ? p->current : nullptr;
        FxEditorState *ed = inst ? FxEditorOf(inst) : nullptr;
        if (k) {
            const int channel = ed ? ed->splineChannel : 0;
            HPEN pen = inst->pens[4] ? inst->pens[4] : static_cast<HPEN>(GetStockObject(BLACK_PEN));
            HGDIOBJ old = SelectObject(dc, pen);
            const int half = rc.right / 2;
            auto table = [&](FxKeyframe *kf) -> const SpeedCurve * {
                return channel == 1 ? &kf->rotationSpeed : channel == 2 ? &kf->shapeSpeed : &kf->positionSpeed;
            };
            auto draw = [&](const SpeedCurve *c, int offset) {
                for (int i = 0; i < 32; ++i) {
                    const int x = offset + int(long(c->table[i]) * rc.right / 2 / 1024);
                    MoveToEx(dc, x, 0, nullptr);
                    LineTo(dc, x, rc.bottom);
                }
            };
            if (k != p->head && k->prev && k->prev->index < k->index) draw(table(k->prev), 0);
            if (k->next && k->next->index > k->index) draw(table(k), half);
            SelectObject(dc, old);
        }
        EndPaint(w, &ps);
        return 0;
    }
    default:
        return DefWindowProcA(w, msg, wp, lp);
    }
}

// ---------------------------------------------------------------- shape preview

namespace {

struct ShapeView {
    uint32_t options;
    FxKeyframe *shown;   // the scratch keyframe, or the current one (option 0x10)
    FxInstance *inst;
    bool scratch;
    POINT last;
    bool dragging;
};

FxKeyframe *CurrentKeyframeOf(FxInstance *inst)
{
    FxEffect *fx = inst ? FxCurrentEffect(inst) : nullptr;
    return fx && fx->current ? fx->current->current : nullptr;
}

// The shown keyframe's outline: its corners after extend, skew and twist,
// scaled to the preview.
void PaintShape(HWND w, HDC dc, ShapeView *s)
{
    RECT rc;
    GetClientRect(w, &rc);
    FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    FxKeyframe *k = s->shown;
    if (!k) return;
    // The outline at scale 1 takes a fifth of the preview; the preview's
    // scale (objViewScale) zooms it.
    double span = 1;
    for (int i = 0; i < 4; ++i)
        for (int a = 0; a < 2; ++a) span = std::fmax(span, std::fabs(k->corners[i][a]));
    const double fit = 0.2 * std::fmin(rc.right, rc.bottom) / span;
    POINT pts[5];
    for (int i = 0; i < 4; ++i) {
        pts[i].x = rc.right / 2 + int(k->corners[i][0] * k->scale[0] * fit);
        pts[i].y = rc.bottom / 2 + int(k->corners[i][1] * k->scale[1] * fit);
    }
    pts[4] = pts[0];
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 255, 0));
    HGDIOBJ old = SelectObject(dc, pen);
    Polyline(dc, pts, 5);
    SelectObject(dc, old);
    DeleteObject(pen);
}

void CopyShape(FxKeyframe *dst, const FxKeyframe *src, bool withBlock)
{
    for (int a = 0; a < 3; ++a) {
        dst->extend[a] = src->extend[a];
        dst->skew[a] = src->skew[a];
        dst->twist[a] = src->twist[a];
        if (withBlock) dst->offset[a] = src->offset[a];
    }
    dst->width = src->width;
    dst->height = src->height;
    UpdateKeyframeCorners(dst);
}

}  // namespace

extern "C" LRESULT WINAPI ShapeViewProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    auto *s = reinterpret_cast<ShapeView *>(GetWindowLongPtrA(w, GWLP_USERDATA));
    switch (msg) {
    case WM_INITDIALOG: {
        FxInstance *inst = nullptr;
        if (lp) std::memcpy(&inst, reinterpret_cast<const void *>(lp), sizeof inst);
        auto *state = new ShapeView();
        state->options = uint32_t(wp);
        state->inst = inst;
        if (wp & 0x10) {
            state->shown = CurrentKeyframeOf(inst);
        } else {
            state->shown = NewKeyframe();
            state->scratch = state->shown != nullptr;
            if (state->shown) {
                state->shown->scale[0] = state->shown->scale[1] = state->shown->scale[2] = 1.0;
                if (FxKeyframe *cur = CurrentKeyframeOf(inst)) CopyShape(state->shown, cur, (wp & 0x2) != 0);
            }
        }
        if (!inst || !state->shown) {
            delete state;
            PostMessageA(w, WM_CLOSE, 0, 0);
            return 0;
        }
        state->shown->flags |= 0x1100000;
        SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
        return 1;
    }
    case FXM_REFRESH:
        if (s && s->scratch)
            if (FxKeyframe *cur = CurrentKeyframeOf(s->inst)) CopyShape(s->shown, cur, (s->options & 0x2) != 0);
        InvalidateRect(w, nullptr, TRUE);
        return 0;
    case WM_COMMAND:
        if (s && s->scratch && LOWORD(wp) == 3500 && lp) {
            double v = 1;
            SendMessageA(reinterpret_cast<HWND>(lp), WM_USER + 0x120, 0x900, reinterpret_cast<LPARAM>(&v));
            s->shown->scale[0] = s->shown->scale[1] = s->shown->scale[2] = v;
            InvalidateRect(w, nullptr, TRUE);
        }
        return 0;
    case WM_ERASEBKGND: {
        RECT rc;
        GetClientRect(w, &rc);
        FillRect(reinterpret_cast<HDC>(wp), &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        return 1;
    }
    case WM_GETDLGCODE:
        return 4;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        if (s) PaintShape(w, dc, s);
        EndPaint(w, &ps);
        return 0;
    }
    case WM_CLOSE:
        return 0;
    case WM_DESTROY:
        if (s) {
            if (s->scratch) FreeKeyframe(s->shown);
            delete s;
            SetWindowLongPtrA(w, GWLP_USERDATA, 0);
        }
        SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcA));
        return 0;
    default:
        return DefWindowProcA(w, msg, wp, lp);
    }
}
