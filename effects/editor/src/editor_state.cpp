// The editor's state commands: view settings written to the host's
// section, undo and redo steps, menu clean-up and adaptation, the tool bar
// layout and the task-modal window marks; and the main window's commands.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <vector>

#include "fxeditor.h"
#include "fxmainview.h"

namespace {

const char kModalProp[] = "Halvard- enumTaskModalProp";

const char *Section(FxInstance *inst)
{
    return inst->own ? inst->own->name : "";
}

void DeleteItem(HMENU menu, int id)
{
    if (menu) DeleteMenu(menu, UINT(id), MF_BYCOMMAND);
}

bool HasItem(HMENU menu, int id)
{
    return menu && GetMenuState(menu, UINT(id), MF_BYCOMMAND) != UINT(-1);
}

// Inserts `id` with `text` before `before` unless it is there.
void InsertBefore(HMENU menu, int before, int id, const char *text)
{
    if (!menu || HasItem(menu, id)) return;
    InsertMenuA(menu, UINT(before), MF_BYCOMMAND | MF_STRING, UINT_PTR(id), text);
}

}  // namespace

int SaveViewSetting(FxInstance *inst, int which, int value)
{
    if (!inst) return 0;
    enum Form { INSERT, HEX, BOOLEAN, NUMBER };
    static const struct { int which; const char *key; Form form; } kSettings[] = {
        { FXS_INSERT, "DefaultInsert", INSERT }, { FXS_VIEW, "ViewSettings", HEX },
        { FXS_INVERT, "InvertFields", BOOLEAN }, { FXS_CROP, "CropMode", NUMBER },
        { FXS_WARP_DELAY, "WarpDelay", BOOLEAN }, { FXS_SOFT, "SoftBorder", NUMBER },
        { FXS_MESHABLE, "Meshable", BOOLEAN },
    };
    const auto *setting = std::find_if(std::begin(kSettings), std::end(kSettings),
                                       [which](const auto &s) { return s.which == which; });
    if (setting == std::end(kSettings)) return 0;
    char text[32];
    const char *out = text;
    switch (setting->form) {
    case INSERT: out = value == -1 ? "Before" : value ? "After" : "At"; break;
    case HEX: std::snprintf(text, sizeof text, "0x%08x", unsigned(value)); break;
    case BOOLEAN: out = value ? "TRUE" : "FALSE"; break;
    case NUMBER: std::snprintf(text, sizeof text, "%d", value); break;
    }
    const char *key = setting->key;
    const char *file = inst->iniPath[0] ? inst->iniPath : "quillon.ini";
    return WritePrivateProfileStringA(Section(inst), key, out, file) ? 1 : 0;
}

namespace {

// After a step: marks cleared, the main window refreshed, the undo and
// redo controls brought in line.
int AfterStep(FxInstance *inst, int done)
{
    if (!done) return 0;
    FxEffect *fx = FxCurrentEffect(inst);
    if (fx && fx->first && !fx->current) fx->current = fx->first;
    if (inst->mainWindow && IsWindow(inst->mainWindow)) SendMessageA(inst->mainWindow, FXM_REFRESH, 0, 0x2803);
    UpdateEditor(inst, 0x3 | FXU_FRAME | FXU_NO_SNAPSHOT);
    return 1;
}

}  // namespace

int EditorUndo(FxInstance *inst)
{
    FxEffect *fx = FxCurrentEffect(inst);
    if (!fx) return 0;
    FxSyncEffectHost(inst);
    return AfterStep(inst, StepUndo(&inst->host, &fx->undo, &fx->redo, 0));
}

int EditorRedo(FxInstance *inst)
{
    FxEffect *fx = FxCurrentEffect(inst);
    if (!fx) return 0;
    FxSyncEffectHost(inst);
    return AfterStep(inst, StepUndo(&inst->host, &fx->redo, &fx->undo, 1));
}

int CleanMenu(HMENU menu)
{
    if (!menu) return -1;
    // Pop-ups first; an emptied pop-up goes.
    for (int i = GetMenuItemCount(menu) - 1; i >= 0; --i) {
        HMENU sub = GetSubMenu(menu, i);
        if (sub && CleanMenu(sub) == -1) DeleteMenu(menu, UINT(i), MF_BYPOSITION);
    }
    auto isSeparator = [menu](int i) {
        MENUITEMINFOA mi;
        std::memset(&mi, 0, sizeof mi);
        mi.cbSize = sizeof mi;
        mi.fMask = MIIM_FTYPE;
        return GetMenuItemInfoA(menu, UINT(i), TRUE, &mi) && (mi.fType & MFT_SEPARATOR);
    };
    bool previousWasSeparator = true;  // a separator first goes
    for (int i = 0; i < GetMenuItemCount(menu);) {
        const bool sep = isSeparator(i);
        if (sep && previousWasSeparator) {
            DeleteMenu(menu, UINT(i), MF_BYPOSITION);
            continue;
        }
        previousWasSeparator = sep;
        ++i;
    }
    int n = GetMenuItemCount(menu);
    while (n > 0 && isSeparator(n - 1)) DeleteMenu(menu, UINT(--n), MF_BYPOSITION);
    return GetMenuItemCount(menu) > 0 ? 1 : -1;
}

void AdaptEditorMenu(FxInstance *inst)
{
    if (!inst) return;
    LayoutToolBar(inst);
    HMENU menu = inst->menu;
    if (!menu) return;
    const uint32_t o = FxOptionWord(inst);
    if (!(o & (1u << 28))) {
        for (int id : {3055, 3081, 3083, 3084, 3085, 3096, 3090}) DeleteItem(menu, id);
        if (!(o & (1u << 29))) DeleteItem(menu, 3056);
    }
    if (o & (1u << 29)) {
        if (o & (1u << 28)) InsertBefore(menu, 3084, 3083, "Selected &Object &Only");
        if (o & (1u << 25))
            InsertBefore(menu, 3057, 3059, "Add &Object");
        else
            DeleteItem(menu, 3059);
    } else {
        for (int id : {3083, 3059, 3047}) DeleteItem(menu, id);
    }
    EnableMenuItem(menu, 3051, MF_BYCOMMAND | MF_GRAYED);
    if (!FxCachedBool(inst, FXC_MESHES)) {
        DeleteItem(menu, 3109);
        DeleteItem(menu, 3110);
    }
    if (inst->hostKind != FX_HOST_KIND_PLAIN)
        for (int id : {3087, 3090, 3098, 3089, 3088}) DeleteItem(menu, id);
    const int p = inst->personality;
    if (p == 1 || p == 2 || p == 5 || p == 7) {
        DeleteItem(menu, 3103);
        DeleteItem(menu, 5000);
    }
    CleanMenu(menu);
    if (inst->hostWindow && IsWindow(inst->hostWindow) && GetMenu(inst->hostWindow) == menu)
        DrawMenuBar(inst->hostWindow);
}

void LayoutToolBar(FxInstance *inst)
{
    HWND bar = inst ? inst->barDialog : nullptr;
    if (!bar || !IsWindow(bar)) return;
    const uint32_t o = FxOptionWord(inst);
    if (!((o & (1u << 28)) && !(o & (1u << 31)))) {
        // The bar under the view, the view over the window.
        if (inst->mainWindow && IsWindow(inst->mainWindow) && inst->bindWindow) {
            RECT rc, br;
            GetClientRect(inst->bindWindow, &rc);
            GetWindowRect(bar, &br);
            const int h = br.bottom - br.top;
            MoveWindow(inst->mainWindow, 0, 0, rc.right, rc.bottom - h - 10 > 0 ? rc.bottom - h - 10 : 0, TRUE);
            MoveWindow(bar, 0, rc.bottom - h, rc.right, h, TRUE);
        }
        return;
    }
    std::vector<HWND> kids;
    for (HWND c = GetWindow(bar, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) kids.push_back(c);
    if (kids.empty()) return;
    auto priority = [](int id) {
        switch (id) {
        case 3138: case 3139: return 1;
        case 3086: return 2;
        case 3082: return 3;
        case 3137: case 3136: return 4;
        case 3133: case 3134: return 5;
        case 3140: case 3143: return 6;
        case 3132: return 20;
        default: return 1000;
        }
    };
    RECT bar_rc;
    GetClientRect(bar, &bar_rc);
    auto place = [&](int level) {
        // Left half from the first child, right half from the last; the
        // last child fills the strip between.
        int left = 0, right = bar_rc.right;
        const size_t half = kids.size() / 2;
        bool lastWasSeparator = false;
        for (size_t i = 0; i + 1 < kids.size(); ++i) {
            HWND c = kids[i];
            const int id = GetDlgCtrlID(c);
            bool hide = priority(id) < level || (id == 3083 && !(o & (1u << 29)));
            if (id == 65535) {
                if (lastWasSeparator) hide = true;
                if (!hide) lastWasSeparator = true;
            } else if (!hide) {
                lastWasSeparator = false;
            }
            ShowWindow(c, hide ? SW_HIDE : SW_SHOWNA);
            if (hide) continue;
            RECT r;
            GetWindowRect(c, &r);
            const int w = r.right - r.left;
            if (i < half) {
                SetWindowPos(c, nullptr, left, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
                left += w;
            } else {
                right -= w;
                SetWindowPos(c, nullptr, right, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
        }
        HWND last = kids.back();
        RECT r;
        GetWindowRect(last, &r);
        SetWindowPos(last, nullptr, left, 0, right - left > 0 ? right - left : 0, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return right - left;
    };
    for (int level = 0; level <= 10; ++level)
        if (place(level) >= 100) break;
}

BOOL CALLBACK TaskModalEnumProc(HWND window, LPARAM restore)
{
    const INT_PTR mark = reinterpret_cast<INT_PTR>(GetPropA(window, kModalProp));
    if (!restore) {
        SetPropA(window, kModalProp, reinterpret_cast<HANDLE>(INT_PTR(IsWindowEnabled(window) ? 1 : 2)));
        EnableWindow(window, FALSE);
    } else if (mark == 1) {
        RemovePropA(window, kModalProp);
        EnableWindow(window, TRUE);
    } else if (mark > 1) {
        SetPropA(window, kModalProp, reinterpret_cast<HANDLE>(mark - 1));
    }
    return TRUE;
}

// A command for the main window from the host: the editor procedure's own
// handling (its answer), also while the editor is closed.
int FxMainCommand(FxInstance *inst, WPARAM wparam, LPARAM lparam)
{
    return int(MainProc(inst, inst ? inst->mainWindow : nullptr, WM_COMMAND, wparam, lparam));
}
