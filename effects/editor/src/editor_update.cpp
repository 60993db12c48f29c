// The editor's single refresh entry (UpdateEditor), the value commands of
// the attribute panel (PanelCommand), the host's frame notice and the main
// window's procedure.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "fxedit.h"
#include "fxeditor.h"
#include "fxmainview.h"
#include "fxmaths.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

FxPath *CurrentPath(FxInstance *inst)
{
    FxEffect *fx = FxCurrentEffect(inst);
    return fx ? fx->current : nullptr;
}

FxKeyframe *CurrentKeyframe(FxInstance *inst)
{
    FxPath *p = CurrentPath(inst);
    return p ? p->current : nullptr;
}

int KeyframeCount(const FxPath *p)
{
    int n = 0;
    if (p && p->head) {
        const FxKeyframe *k = p->head;
        do {
            ++n;
            k = k->next;
        } while (k && k != p->head);
    }
    return n;
}

int PathCount(const FxEffect *fx)
{
    int n = 0;
    for (const FxPath *p = fx ? fx->first : nullptr; p; p = p->next) ++n;
    return n;
}

bool IsLastKeyframe(const FxPath *p, const FxKeyframe *k)
{
    return !k->next || k->next == p->head;
}

void EnableMenu(FxInstance *inst, int id, bool on)
{
    if (inst->menu) EnableMenuItem(inst->menu, id, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
}

void CheckMenu(FxInstance *inst, int id, bool on)
{
    if (inst->menu) CheckMenuItem(inst->menu, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

void EnableItem(HWND dialog, int id, bool on)
{
    HWND c = dialog ? GetDlgItem(dialog, id) : nullptr;
    if (c) EnableWindow(c, on);
}

void SetItemNumber(HWND dialog, int id, double value)
{
    HWND c = dialog ? GetDlgItem(dialog, id) : nullptr;
    if (!c) return;
    char cls[16] = "";
    GetClassNameA(c, cls, sizeof cls);
    if (std::strncmp(cls, "Placet", 6) == 0) {
        SendMessageA(c, WM_USER + 0x121, 0x900, reinterpret_cast<LPARAM>(&value));
        return;
    }
    char text[32];
    if (value == std::floor(value))
        std::snprintf(text, sizeof text, "%d", int(value));
    else
        std::snprintf(text, sizeof text, "%g", value);
    SetWindowTextA(c, text);
}

// A value control's number: the positioner's read message, else the text.
double ReadValue(HWND control)
{
    if (!control) return 0;
    char cls[16] = "";
    GetClassNameA(control, cls, sizeof cls);
    double d = 0;
    if (std::strncmp(cls, "Placet", 6) == 0) {
        SendMessageA(control, WM_USER + 0x120, 0x900, reinterpret_cast<LPARAM>(&d));
        return d;
    }
    if (lstrcmpiA(cls, "ComboBox") == 0) {
        const LRESULT sel = SendMessageA(control, CB_GETCURSEL, 0, 0);
        return sel < 0 ? -1 : double(SendMessageA(control, CB_GETITEMDATA, sel, 0));
    }
    char text[64] = "";
    GetWindowTextA(control, text, sizeof text);
    return std::strtod(text, nullptr);
}

// The pages that are open, and the bar and tool dialog, for refreshing.
template <typename F>
void ForEachPanel(FxInstance *inst, F f)
{
    FxEditorState *ed = FxEditorOf(inst);
    if (!ed) return;
    if (ed->toolDialog) f(ed->toolDialog);
    for (HWND p : ed->pages)
        if (p && IsWindow(p)) f(p);
}

void Redraw(FxInstance *inst, LPARAM word)
{
    if (inst->mainWindow && IsWindow(inst->mainWindow)) SendMessageA(inst->mainWindow, FXM_REFRESH, 0, word);
}

// Page handlers: the answer's masks (update) and refresh word.
struct Answer {
    uint32_t update = 0;
    uint32_t refresh = 0;
    int tool = 0;
    bool handled = false;
};

Answer PositionPage(FxInstance *inst, int id, double value)
{
    Answer a;
    FxPath *p = CurrentPath(inst);
    FxKeyframe *k = CurrentKeyframe(inst);
    if (!p || !k) return a;
    switch (id) {
    case 3230: case 3235: case 3240:
        k->position[(id - 3230) / 5] = value;
        a = {FXU_POSITION | FXU_SCENE, 0x100, 3073, true};
        break;
    case 3245: case 3250: case 3255:
        k->rotation[(id - 3245) / 5] = double(float(value * kPi / 180.0));
        k->orientation = QuatFromEuler(k->rotation[0], k->rotation[1], k->rotation[2]);
        a = {FXU_ORIENTATION | FXU_SCENE, 0x100, 3074, true};
        break;
    case 3252:
        p->orientToPath = value != 0;
        a = {FXU_ORIENTATION | FXU_SCENE, 0x100, 0, true};
        break;
    case 3260: case 3265: case 3270:
        k->spins[(id - 3260) / 5] = int32_t(value);
        a = {FXU_SPINS | FXU_SCENE, 0x100, 0, true};
        break;
    default:
        break;
    }
    return a;
}

// Whether the keyframe's quadrilateral (its corners in order) is still a
// convex outline: the cross products of consecutive edges, counted outside
// a small band, must not have both signs and must not all lie within it.
bool QuadIsSound(const FxKeyframe *k)
{
    constexpr double kBand = 0.00000001;
    bool plus = false, minus = false;
    for (int i = 0; i < 4; ++i) {
        const double *a = k->corners[i], *b = k->corners[(i + 1) % 4], *c = k->corners[(i + 2) % 4];
        const double cross = (b[0] - a[0]) * (c[1] - b[1]) - (b[1] - a[1]) * (c[0] - b[0]);
        if (cross > kBand) plus = true;
        if (cross < -kBand) minus = true;
    }
    return (plus || minus) && !(plus && minus);
}

Answer PlacementPage(FxInstance *inst, int id, double value)
{
    Answer a;
    FxKeyframe *k = CurrentKeyframe(inst);
    FxEditorState *ed = FxEditorOf(inst);
    if (!k) return a;
    // Extend, skew and twist: the value is tried on the keyframe and kept
    // only while the outline stays sound (untested with option 0x4000000).
    auto shape = [&](double *field, int tool) {
        const double old = *field;
        *field = value;
        UpdateKeyframeCorners(k);
        const bool twisted = k->twist[0] != 0 || k->twist[1] != 0 || k->twist[2] != 0;
        if (!(inst->editorOptions & 0x4000000u) && twisted && !QuadIsSound(k)) {
            *field = old;
            UpdateKeyframeCorners(k);
            a = {FXU_PLACEMENT, 0, tool, true};  // refused: the controls show the kept value
            return;
        }
        a = {FXU_PLACEMENT | FXU_SCENE, 0x45000, tool, true};
    };
    switch (id) {
    case 3520: case 3525: case 3530:
        k->offset[(id - 3520) / 5] = value;
        a = {FXU_PLACEMENT | FXU_SCENE, 0x100, 3075, true};
        break;
    case 3535: case 3540:
        shape(&k->extend[(id - 3535) / 5], 3076);
        break;
    case 3545: case 3550:
        shape(&k->skew[(id - 3545) / 5], 3077);
        break;
    case 3555: case 3560:
        shape(&k->twist[(id - 3555) / 5], 3078);
        break;
    case 3565: case 3570: case 3575:
        // "Modify X and Y together" is checked while the lock flag is clear.
        if (ed && !(ed->lockFlags & 0x2))
            k->scale[0] = k->scale[1] = k->scale[2] = value;
        else
            k->scale[(id - 3565) / 5] = value;
        a = {FXU_PLACEMENT | FXU_SCENE, 0x100, 3079, true};
        break;
    case 3567:
        if (ed) ed->lockFlags ^= 0x2;
        a.handled = true;
        break;
    case 3518:
        if (ed) ed->lockFlags ^= 0x1;
        a = {FXU_PLACEMENT, 0x45000, 0, true};
        break;
    case 3510: case 3511: case 3512: case 3513: {
        // Anchor on a corner: the object stays where it is and turns
        // about that corner.
        const double *c = k->corners[id - 3510];
        for (int i = 0; i < 3; ++i) {
            k->position[i] += k->offset[i];
            k->offset[i] = 0;
        }
        UpdateKeyframeCorners(k);
        for (int i = 0; i < 3; ++i) {
            k->position[i] += c[i];
            k->offset[i] = -c[i];
        }
        UpdateKeyframeCorners(k);
        a = {FXU_PLACEMENT | FXU_POSITION | FXU_SCENE, 0x85100, 0, true};
        break;
    }
    case 3514: case 3515: case 3516: case 3517: {
        // Pivot on the middle of an edge; the position is unchanged.
        const int e = id - 3514;
        for (double &o : k->offset) o = 0;
        UpdateKeyframeCorners(k);
        const double *c1 = k->corners[e], *c2 = k->corners[(e + 1) % 4];
        for (int i = 0; i < 3; ++i) k->offset[i] = -(c1[i] + c2[i]) / 2;
        UpdateKeyframeCorners(k);
        a = {FXU_PLACEMENT | FXU_SCENE, 0x85100, 0, true};
        break;
    }
    default:
        break;
    }
    return a;
}

Answer SplinePage(FxInstance *inst, int id, double value)
{
    Answer a;
    FxKeyframe *k = CurrentKeyframe(inst);
    FxEditorState *ed = FxEditorOf(inst);
    if (!k || !ed) return a;
    if (id >= 3403 && id <= 3405) {
        ed->splineChannel = id - 3403;
        a.handled = true;
        return a;
    }
    FxTcb *tcb[3] = {&k->positionTcb, &k->rotationTcb, &k->shapeTcb};
    SpeedCurve *speed[3] = {&k->positionSpeed, &k->rotationSpeed, &k->shapeSpeed};
    const int c = ed->splineChannel;
    const uint32_t bits = (0x100u | 0x1000u | 0x10000u) << c;
    switch (id) {
    case 3410: tcb[c]->t = value; break;
    case 3420: tcb[c]->c = value; break;
    case 3430: tcb[c]->b = value; break;
    case 3460:
    case 3470: {
        const uint16_t v = uint16_t(value < 0 ? 0 : value > 100 ? 100 : value);
        (id == 3460 ? speed[c]->speedIn : speed[c]->speedOut) = v;
        speed[c]->flags |= 0x2;
        break;
    }
    default: return a;
    }
    a = {FXU_SCENE | FXU_PAGE, bits, 0, true};
    return a;
}

// The controls every page shares: path, keyframe and its timing.
Answer CommonControls(FxInstance *inst, int id, double value)
{
    Answer a;
    FxEffect *fx = FxCurrentEffect(inst);
    if (!fx) return a;
    FxPath *p = fx->current;
    FxKeyframe *k = p ? p->current : nullptr;
    switch (id) {
    case 3144:
        for (FxPath *q = fx->first; q; q = q->next)
            if (q->number == int(value)) {
                fx->current = q;
                if (!q->current) q->current = q->head;
                a = {0x812, 0x4100, 0, true};
                break;
            }
        a.handled = true;
        break;
    case 3150:
        if (p) {
            FxKeyframe *want = FindKeyframeByIndex(p, int(value));
            if (want && want != p->current) {
                p->current = want;
                if ((fx->flags & 0x4000) && (fx->flags & 0x8000)) fx->currentFrame = want->startFrame;
                a = {FXU_KEYFRAME | FXU_FRAMES, 0x4100, 0, true};
            }
        }
        a.handled = true;
        break;
    case 3155:
        if (k) {
            // Only between the neighbours.
            const int lo = (p && k != p->head && k->prev) ? k->prev->startFrame + 1 : 1;
            const int hi = (p && !IsLastKeyframe(p, k)) ? k->next->startFrame - 1 : 60000;
            const int f = int(value);
            if (f >= lo && f <= hi && f != k->startFrame) {
                k->startFrame = f;
                k->startTime = f;
                a = {FXU_FRAMES, 0x4000, 0, true};
            }
        }
        a.handled = true;
        break;
    case 3160:
        if (k && value >= 0) {
            k->delay = int32_t(value);
            a = {FXU_FRAMES, 0x4000, 0, true};
        }
        a.handled = true;
        break;
    case 3170:
        // The frames after the previous keyframe: the transition into this one.
        if (k && p && k != p->head && k->prev && value >= 1 && int(value) != k->startFrame - k->prev->endFrame) {
            SetKeyframeDuration(k, int(value));
            a = {FXU_FRAMES, 0x4100, 0, true};
        }
        a.handled = true;
        break;
    case 3175:
        // The frames before the next keyframe: the transition out of this one.
        if (k && p && !IsLastKeyframe(p, k) && value >= 1 && int(value) != k->next->startFrame - k->endFrame) {
            SetKeyframeDuration(k->next, int(value));
            a = {FXU_FRAMES, 0x4100, 0, true};
        }
        a.handled = true;
        break;
    default:
        break;
    }
    return a;
}

}  // namespace

void FxSetItemNumber(HWND dialog, int id, double value)
{
    SetItemNumber(dialog, id, value);
}

uint32_t FxViewFlags(FxInstance *inst)
{
    FxEffect *fx = FxCurrentEffect(inst);
    return fx && fx->view ? fx->view->flags : inst->viewFlags;
}

void FxSetViewFlags(FxInstance *inst, uint32_t flags)
{
    FxEffect *fx = FxCurrentEffect(inst);
    if (fx && fx->view) fx->view->flags = flags;
    inst->viewFlags = flags;
}

void NotifyHostFrame(FxInstance *inst, int frame)
{
    FxEditorState *ed = FxEditorOf(inst);
    const uint32_t live = FxViewFlags(inst) & 0x400000;
    if (ed && ed->lastFrameSent == frame && ed->lastLiveBit == live) return;
    if (inst->hostKind == FX_HOST_EMBEDDED) {
        FxCallHost(inst, 2223, 1, reinterpret_cast<void *>(intptr_t(frame)));
    } else {
        int32_t f = frame;
        PutHostData(&inst->host, live ? -4 : -3, &f, 4);
        if (!live) {
            FxEffect *fx = FxCurrentEffect(inst);
            const int rate = inst->frameRate > 0 ? inst->frameRate : 25;
            double rec[2] = {double(frame), fx ? double(fx->endFrame) / rate : 0.0};
            PutHostData(&inst->host, -6, rec, 16);
        }
    }
    if (ed) {
        ed->lastFrameSent = frame;
        ed->lastLiveBit = live;
    }
}

void SetGoButtons(FxInstance *inst, HWND toolBar)
{
    FxEditorState *ed = FxEditorOf(inst);
    if (!ed || !toolBar) return;
    const bool enabled = IsWindowEnabled(toolBar) != 0;
    EnableItem(toolBar, 3081, enabled && (ed->playWord & 0x20));
    EnableItem(toolBar, 3086, enabled && (ed->playWord & 0x20));
    EnableItem(toolBar, 3082, enabled && (ed->playWord & 0x40));
    const struct { int id; uint32_t bit; } checks[] = {{3083, 0x4}, {3084, 0x8}, {3085, 0x10}};
    for (auto &c : checks) CheckDlgButton(toolBar, c.id, (ed->playWord & c.bit) ? BST_CHECKED : BST_UNCHECKED);
}

void FillKeyframeControls(HWND page, FxInstance *inst, uint32_t mask, BOOL enable)
{
    FxEffect *fx = FxCurrentEffect(inst);
    FxPath *p = fx ? fx->current : nullptr;
    FxKeyframe *k = p ? p->current : nullptr;
    auto range = [&](int id, int lo, int hi) {
        if (HWND c = GetDlgItem(page, id)) {
            SendMessageA(c, WM_USER + 0x121, 4097, lo);
            SendMessageA(c, WM_USER + 0x121, 4098, hi);
        }
    };
    if (mask & FXU_KEYFRAME) {
        int last = 1;
        if (p && p->head) {
            const FxKeyframe *q = p->head;
            do {
                if (q->index > last) last = q->index;
                q = q->next;
            } while (q && q != p->head);
        }
        range(3150, 1, last);
        SetItemNumber(page, 3150, k ? k->index : 0);
        HWND combo = GetDlgItem(page, 3144);
        if (combo) {
            SendMessageA(combo, CB_RESETCONTENT, 0, 0);
            int sel = -1, i = 0;
            for (FxPath *q = fx ? fx->first : nullptr; q; q = q->next, ++i) {
                char name[80];
                if (q->name[0])
                    lstrcpynA(name, q->name, sizeof name);
                else
                    std::snprintf(name, sizeof name, "Path  %d", q->number);
                const LRESULT at = SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
                if (at >= 0) SendMessageA(combo, CB_SETITEMDATA, at, q->number);
                if (q == p) sel = i;
            }
            SendMessageA(combo, CB_SETCURSEL, sel, 0);
        }
    }
    if ((mask & (FXU_KEYFRAME | FXU_FRAMES)) && k) {
        const bool first = k == p->head || !k->prev;
        range(3155, first ? 1 : k->prev->startFrame + 1, IsLastKeyframe(p, k) ? 60000 : k->next->startFrame - 1);
        SetItemNumber(page, 3155, k->startFrame);
        SetItemNumber(page, 3160, k->delay);
        SetItemNumber(page, 3170, k == p->head || !k->prev ? 1 : k->startFrame - k->prev->endFrame);
        SetItemNumber(page, 3175, IsLastKeyframe(p, k) ? 1 : k->next->startFrame - k->endFrame);
    }
    for (int id : {3144, 3150, 3155, 3160, 3170, 3175}) EnableItem(page, id, enable != 0);
    if (mask & FXU_TOOL) {
        FxEditorState *ed = FxEditorOf(inst);
        for (int id = 3073; id <= 3080; ++id)
            if (GetDlgItem(page, id)) CheckDlgButton(page, id, ed && ed->tool == id ? BST_CHECKED : BST_UNCHECKED);
    }
}

uint32_t UpdateEditor(FxInstance *inst, uint32_t mask)
{
    FxEffect *fx = FxCurrentEffect(inst);
    FxEditorState *ed = FxEditorOf(inst);
    if (!inst || !fx) return 0;
    uint32_t refresh = (mask & FXU_SCENE) ? 0x100 : 0;
    if (ed) ++ed->refreshing;
    FxSyncEffectHost(inst);
    inst->host.toolWindow = ed ? ed->toolDialog : nullptr;

    // 1. Undo snapshots.
    if ((mask & 0xFFFFFF) && !(mask & (FXU_NO_SNAPSHOT | FXU_NO_SNAPSHOT_2)) && !(ed && ed->dragging) &&
        !(FxViewFlags(inst) & 0x8000000))
        mask |= FXU_UNDOABLE;
    if (!fx->undo) PushUndoSnapshot(&inst->host, &fx->undo, &fx->redo, &fx->undoCount);
    if ((mask & FXU_UNDOABLE) && !fx->undoSuspended) {
        if (PushUndoSnapshot(&inst->host, &fx->undo, &fx->redo, &fx->undoCount) == 1) {
            fx->flags |= ((mask & FXU_KEEP_RENDER) ? 0x7u : 0xFu) | 0x10u;
            if (ed) ed->hostTold = 1;
        } else {
            mask = (mask & ~FXU_UNDOABLE) | FXU_NO_SNAPSHOT;
        }
    }
    FxPath *p = fx->current;
    FxKeyframe *k = p ? p->current : nullptr;
    // 2. The frame follows the keyframe.
    if ((mask & 0x3) && (fx->flags & 0x4000) && (fx->flags & 0x8000) && k) {
        fx->currentFrame = k->startFrame;
        mask |= FXU_FRAME;
    }
    // 3. The keyframe at the frame.
    if (mask & FXU_FRAME) {
        FxKeyframe *at = p ? FindKeyframeAtFrame(p, fx->currentFrame) : nullptr;
        if (at) {
            fx->flags |= 0x4000;
            if (!(FxViewFlags(inst) & 0x8400000)) p->current = k = at;
            refresh |= 0x812;
        } else {
            fx->flags &= ~0x4000u;
        }
    }
    // 4. Spin counters: a y spin goes when an x spin is set.
    if ((mask & FXU_SPINS) && k) {
        if (k->spins[0] && k->spins[1]) k->spins[1] = 0;
        ForEachPanel(inst, [&](HWND w) {
            EnableItem(w, 3260, (FxOptionWord(inst) & 0x200) != 0);
            EnableItem(w, 3265, (FxOptionWord(inst) & 0x400) != 0);
            EnableItem(w, 3270, (FxOptionWord(inst) & 0x20) != 0);
        });
    }
    // 5. "Delete Keyframe".
    if (mask & FXU_KEYFRAME) EnableMenu(inst, FXC_DELETE_KEYFRAME, !(KeyframeCount(p) <= 1 && PathCount(fx) <= 1));
    // 6. The tool's cursor and pages.
    if ((mask & FXU_TOOL) && ed) {
        if (ed->toolCursorId != ed->tool) {
            ed->toolCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(ed->tool == 3074 ? IDC_SIZEALL : IDC_CROSS));
            ed->toolCursorId = ed->tool;
        }
        // The position or shape page comes forward when the tool moves
        // between the two groups (the DVE page holds both).
        const bool shape = ed->tool >= 3076 && ed->tool <= 3079;
        const bool wasShape = ed->pagedTool >= 3076 && ed->pagedTool <= 3079;
        if (ed->toolDialog && shape != wasShape && inst->personality != 1 && inst->personality != 7)
            SendMessageA(ed->toolDialog, FXM_TOOL_PAGES, shape ? 1 : 0, 0);
        ed->pagedTool = ed->tool;
    }
    // 7. View settings.
    const uint32_t view = FxViewFlags(inst);
    if (ed && (view & 0xFF0) != ed->lastViewFlags) {
        ed->lastViewFlags = view & 0xFF0;
        // The view's passing marks (sizing, rectangle set, bitmap and
        // disabled marks) are not settings.
        SaveViewSetting(inst, FXS_VIEW, int(view & ~0x0F700000u));
        CheckMenu(inst, 3096, view & 0x10);
        CheckMenu(inst, 3091, view & 0x80);
        CheckMenu(inst, 3093, view & 0x800);
        CheckMenu(inst, 3092, (view & 0x200) && !(view & 0x800));
        CheckMenu(inst, 3094, view & 0x100);
        CheckMenu(inst, 3095, view & 0x400);
    }
    // 10 before 8: the frame never stands beyond the end.
    if ((mask & FXU_FRAMES) && fx->endFrame > 0 && fx->currentFrame > fx->endFrame) {
        fx->currentFrame = fx->endFrame;
        mask |= FXU_FRAME;
    }
    if (fx->currentFrame < 1) fx->currentFrame = 1;
    // 8. The frame controls and the host.
    if (mask & FXU_FRAME) {
        if (inst->barDialog) SetItemNumber(inst->barDialog, FXC_FRAME, fx->currentFrame);
        ForEachPanel(inst, [&](HWND w) { SetItemNumber(w, FXC_FRAME, fx->currentFrame); });
        NotifyHostFrame(inst, fx->currentFrame);
    }
    // 9. Play buttons and items.
    if ((mask & (FXU_FRAME | FXU_FRAMES)) && ed) {
        // Go needs an effect longer than one frame: its end frame, else
        // its last keyframe's.
        const int length = fx->endFrame > 0 ? fx->endFrame : GetEffectLastFrame(fx->first);
        ed->playWord = (ed->playWord & ~0x60u) | (length > 1 ? 0x20u : 0u) | 0x40u;
        EnableMenu(inst, 3081, ed->playWord & 0x20);
        EnableMenu(inst, 3086, ed->playWord & 0x20);
        EnableMenu(inst, 3082, ed->playWord & 0x40);
        CheckMenu(inst, 3083, ed->playWord & 0x4);
        CheckMenu(inst, 3084, ed->playWord & 0x8);
        CheckMenu(inst, 3085, ed->playWord & 0x10);
        SetGoButtons(inst, inst->barDialog);
        if (inst->barDialog) {
            CheckDlgButton(inst->barDialog, 3140, (fx->flags & 0x4000) ? BST_CHECKED : BST_UNCHECKED);
            CheckDlgButton(inst->barDialog, 3143, fx->thumbnailFrame == fx->currentFrame ? BST_CHECKED : BST_UNCHECKED);
            bool before = false, after = false;
            if (p && p->head) {
                const FxKeyframe *q = p->head;
                do {
                    if (q->startFrame < fx->currentFrame) before = true;
                    if (q->startFrame > fx->currentFrame) after = true;
                    q = q->next;
                } while (q && q != p->head);
            }
            EnableItem(inst->barDialog, 3139, before);
            EnableItem(inst->barDialog, 3138, after);
        }
    }
    // 11. Pages.
    if (mask & (FXU_TOOL | 0x3)) {
        const BOOL enable = !(FxOptionWord(inst) & 0x80000000u);
        ForEachPanel(inst, [&](HWND w) { FillKeyframeControls(w, inst, mask, enable); });
    }
    FxRefreshPages(inst, mask);
    // 12. Undo and redo.
    UpdateUndoControls(&inst->host);
    if ((mask & FXU_UNDOABLE) && ed && ed->hostTold) {
        FxCallHost(inst, FXN_CHANGED, 0, nullptr);
        ed->hostTold = 0;
    }
    // 16. The realtime indicator, where meshes and the realtime renderer are.
    if (ed && ed->toolDialog && FxCachedBool(inst, FXC_MESHES) && FxCachedBool(inst, FXC_REALTIME)) {
        const char *text = CheckRealtimeLimit(fx->first) ? "Realtime!" : "Warning!";
        char now[16] = "";
        GetDlgItemTextA(ed->toolDialog, 4400, now, sizeof now);
        if (std::strcmp(now, text) != 0) SetDlgItemTextA(ed->toolDialog, 4400, text);
    }
    if (refresh) Redraw(inst, LPARAM(refresh));
    if (ed) --ed->refreshing;
    return refresh;
}

int PanelCommand(FxInstance *inst, HWND page, int id, HWND control, int code)
{
    FxEditorState *ed = FxEditorOf(inst);
    if (!inst || !FxCurrentEffect(inst)) return 0;
    // Controls filled by the refresh itself tell nothing; an edit counts
    // when it is left, a combo when its choice changes.
    if (ed && ed->refreshing) return 0;
    if (control) {
        char cls[16] = "";
        GetClassNameA(control, cls, sizeof cls);
        if (lstrcmpiA(cls, "Edit") == 0 && code != EN_KILLFOCUS) return 0;
        if (lstrcmpiA(cls, "ComboBox") == 0 && code != CBN_SELCHANGE) return 0;
    }
    const double value = ReadValue(control);
    uint32_t extra = 0;
    // A positioner reports a typed or stepped value (4), a value while it
    // is dragged (5), the start of a drag (9) and its end (8): the drag's
    // values take no snapshot, its end takes one.
    if (code == 9) extra |= FXU_NO_SNAPSHOT_2;
    if (ed) ed->dragging = code == 5 ? 1 : 0;
    Answer a = PositionPage(inst, id, value);
    if (!a.handled) a = PlacementPage(inst, id, value);
    if (!a.handled) a = SplinePage(inst, id, value);
    if (!a.handled) {
        uint32_t update = 0, refresh = 0;
        int tool = 0;
        if (FxPanelPageCommand(inst, page, id, control, code, value, &update, &refresh, &tool))
            a = {update, refresh, tool, true};
    }
    if (!a.handled) a = CommonControls(inst, id, value);
    if (!a.handled) {
        if (inst->mainWindow && IsWindow(inst->mainWindow))
            SendMessageA(inst->mainWindow, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
        if (ed) ed->dragging = 0;
        return 0;
    }
    if (a.tool && ed && ed->tool != a.tool) {
        ed->tool = a.tool;
        a.update |= FXU_TOOL;
    }
    if (a.refresh && inst->mainWindow && IsWindow(inst->mainWindow)) {
        if (a.refresh & 0x8)
            PostMessageA(inst->mainWindow, FXM_REFRESH, 0, a.refresh);
        else
            SendMessageA(inst->mainWindow, FXM_REFRESH, 0, a.refresh);
    }
    if (a.update) UpdateEditor(inst, a.update | extra);
    if (ed) ed->dragging = 0;
    return 1;
}
