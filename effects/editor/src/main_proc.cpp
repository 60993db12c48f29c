// The editor procedure (_MainProc): the main window's paint, mouse, keys,
// pop-up menu and its timer, dropped files and menu commands, each handler
// ending in the common update step with the two change masks it set.
#include <windows.h>
#include <shellapi.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "fxclip.h"
#include "fxedit.h"
#include "fxeditor.h"
#include "fxmainview.h"
#include "fxoutput.h"
#include "fxpages.h"
#include "fxprogress.h"
#include "fxregdlg.h"
#include "fxscene.h"
#include "fxview.h"

namespace {

// The interaction state (library-wide: one editor drags at a time).
struct Interaction {
    bool dragging = false;
    bool moved = false;
    POINT last = {0, 0};
    POINT start = {0, 0};
    bool toCentre = false;
    FxKeyframe backup;
    bool timerArmed = false;
    POINT rightPress = {0, 0};
    SIZE dragArea = {0, 0};
    int dragMode = 3;
    int realtime = -1;
    FxPath *prevPath = nullptr;
    FxKeyframe *prevKf = nullptr;
    uint32_t pendingDraw = 0;  // drawing flags for the next paint
    int panelDepth = 0;        // commands handed to the panel
    bool playing = false;
    bool nudging = false;      // an arrow key is held
    int updating = 0;          // inside UpdateEditor
};
Interaction g_ui;
LPARAM g_lastRefresh;

struct Masks {
    uint32_t redraw = 0;
    uint32_t editor = 0;
    bool goRun = false;
    int command = 0;
};

FxInstance *InstanceOf(HWND w)
{
    return reinterpret_cast<FxInstance *>(GetWindowLongPtrA(w, GWLP_USERDATA));
}

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

bool KeyDown(int vk)
{
    return (GetKeyState(vk) & 0x8000) != 0;
}

bool IsLastOfRing(const FxPath *p, const FxKeyframe *k)
{
    return !k->next || k->next == p->head || k->next->index <= k->index;
}

int RingCount(const FxPath *p)
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

bool RealtimeMenu(FxInstance *inst)
{
    if (g_ui.realtime < 0) g_ui.realtime = FxCachedBool(inst, FXC_REALTIME) ? 1 : 0;
    return g_ui.realtime == 1;
}

// The screen position of a keyframe's handle.
POINT HandlePoint(FxInstance *inst, const FxKeyframe *k)
{
    POINT pt = {k->screenPos[0], k->screenPos[1]};
    if (k->flags & 0x80) pt = {k->screenCentre[0], k->screenCentre[1]};
    if (inst->mainWindow) ClientToScreen(inst->mainWindow, &pt);
    return pt;
}

// ---------------------------------------------------------------- commands

int InsertSide(FxInstance *inst)
{
    // -1 before, 1 after, 0 at the current frame.
    const uint32_t d = inst->displayFlags;
    if (d & FXDF_INSERT_AT) return 0;
    if (d & FXDF_INSERT_AFTER) return 1;
    return -1;
}

uint32_t Features(FxInstance *inst)
{
    return FxOptionWord(inst);
}

bool InsertAllowed(FxInstance *inst)
{
    return (Features(inst) & 0x10000000u) != 0;
}

bool SeveralObjects(FxInstance *inst)
{
    return (Features(inst) & 0x2000000u) != 0;
}

int ClipLength(FxInstance *inst)
{
    return inst->hostDuration > 0 ? inst->hostDuration : 0;
}

// Insert a copy of the current keyframe before (3060) or after (3061) it,
// asking about the frames between keyframes when the end would be passed.
bool InsertCopy(FxInstance *inst, HWND w, bool after, Masks &m)
{
    FxEffect *fx = FxCurrentEffect(inst);
    FxPath *p = fx ? fx->current : nullptr;
    FxKeyframe *c = p ? p->current : nullptr;
    if (!c || !InsertAllowed(inst)) return false;
    const bool first = c == p->head;
    const bool last = IsLastOfRing(p, c);
    FxKeyframe *prev = first ? nullptr : c->prev;
    FxKeyframe *next = last ? nullptr : c->next;
    int n;
    // The copy becomes current; the keyframes from the one after the
    // copied keyframe on move by the insert length.
    uint32_t flags = INSERT_CURRENT | INSERT_SHIFT | (after ? INSERT_AFTER : 0);
    if (prev && next) {
        n = ((next->startFrame - prev->endFrame) - (c->endFrame - c->startFrame)) / 2;
        if (after) n += 1;
        flags |= INSERT_SHIFT;
    } else if (prev) {
        n = c->startFrame - prev->endFrame;
        if (c->index == 2) n += 1;
    } else if (next) {
        n = next->startFrame - c->endFrame;
    } else {
        // A lone keyframe: the copy goes to the end of the host's clip, or
        // a second on when the host has no length.
        n = ClipLength(inst) - 1;
        if (n < 1) n = inst->frameRate > 0 ? inst->frameRate : 25;
    }
    if (n < 1) n = 1;
    c->flags &= ~0x300000u;
    const int limit = fx->endFrame > 0 ? fx->endFrame : ClipLength(inst);
    FxKeyframe *lastKf = LastKeyframe(p);
    int answer = -2;
    if (limit > 0 && lastKf && limit - lastKf->endFrame < n) {
        FxGapQuestion q = {n, lastKf->endFrame + n, limit - lastKf->endFrame,
                           (lastKf->index + p->head->startFrame <= limit) ? 1 : 0};
        answer = int(DialogBoxParamA(GetFxInstance(), MAKEINTRESOURCEA(3065), w, GapDlg, reinterpret_cast<LPARAM>(&q)));
        if (answer < 0) return false;
        if (answer == 2) n = limit - lastKf->endFrame > 0 ? limit - lastKf->endFrame : 1;
    }
    if (!InsertKeyframeCopy(p, n, flags)) return false;
    if (answer == 1) {
        FxKeyframe *l = LastKeyframe(p);
        if (l) fx->endFrame = l->endFrame;
    } else if (answer == 3) {
        ScalePathTiming(p, fx->endFrame > 0 ? fx->endFrame : limit, 2);
    }
    m.redraw |= 0x10000840;
    return true;
}

bool InsertAtFrame(FxInstance *inst, Masks &m)
{
    FxEffect *fx = FxCurrentEffect(inst);
    FxPath *p = fx ? fx->current : nullptr;
    if (!p || !InsertAllowed(inst)) return false;
    const int frame = fx->currentFrame;
    if (ClipLength(inst) > 0 && frame > ClipLength(inst)) return false;
    if (fx->endFrame > 0 && frame > fx->endFrame) return false;
    if (!InsertKeyframeAtFrame(p, frame, &p->work, AT_MAKE_CURRENT | AT_NEW)) return false;
    m.redraw |= 0x10000840;
    return true;
}

bool DeleteCurrent(FxInstance *inst, Masks &m)
{
    FxEffect *fx = FxCurrentEffect(inst);
    FxPath *p = fx ? fx->current : nullptr;
    if (!p || !p->current) return false;
    if (RingCount(p) > 1) {
        FxKeyframe *gone = UnlinkCurrentKeyframe(p, inst->hostKind != FX_HOST_EMBEDDED);
        if (gone) FreeKeyframe(gone);
        m.redraw |= 0x50004840;
        m.editor |= 0x1FFFFFF;
        return true;
    }
    if ((SeveralObjects(inst) || (p->pathFlags & 0x100)) && CountPaths(fx->first) > 1) {
        FxPath *slot = p;
        DeletePath(&fx->first, &slot, 0);
        fx->current = slot ? slot : fx->first;
        g_ui.prevPath = nullptr;
        g_ui.prevKf = nullptr;
        m.redraw |= 0x50000002;
        m.editor |= 0x1FFFFFF;
        return true;
    }
    ResetPath(p);
    if (inst->hostKind == FX_HOST_EMBEDDED && inst->hostWindow) PostMessageA(inst->hostWindow, WM_COMMAND, 3057, 0);
    m.redraw |= 0x10002809;
    m.editor |= 0x1FFFFFF;
    return true;
}

bool StepKeyframe(FxInstance *inst, bool forward, Masks &m)
{
    FxEffect *fx = FxCurrentEffect(inst);
    FxPath *p = fx ? fx->current : nullptr;
    FxKeyframe *k = p ? p->current : nullptr;
    if (!k) return false;
    FxKeyframe *to = forward ? k->next : k->prev;
    if (!to || (forward ? to->index <= k->index : to->index >= k->index)) return false;
    p->current = to;
    fx->currentFrame = to->startFrame;
    m.editor |= 0x1000000;
    m.redraw |= 0x40002800;
    return true;
}

bool Play(FxInstance *inst, HWND w, uint32_t extra, Masks &m)
{
    FxEffect *fx = FxCurrentEffect(inst);
    FxEditorState *ed = FxEditorOf(inst);
    if (!fx || !fx->view || !ed) return false;
    // A play command while one plays ("Go!" clicked again, its bar sends
    // the command straight here) stops the render that runs: the render's
    // polling takes this queued "Go!" as its cancel.  Never a second
    // render inside the first.
    if (g_ui.playing) {
        PostMessageA(w, WM_COMMAND, FX_ID_GO, 0);
        return true;
    }
    FxRenderSource s;
    std::memset(&s, 0, sizeof s);
    s.view = fx->view;
    s.first = fx->first;
    s.currentFrame = fx->currentFrame;
    s.length = fx->endFrame ? fx->endFrame : inst->hostDuration;
    s.flagWord = fx->flags;
    s.frameRate = inst->frameRate;
    s.invertFields = (inst->displayFlags & FXDF_INVERT_FIELDS) ? 1 : 0;
    s.instance = inst;
    s.progress = FxEditorRenderProgress();
    s.cancel = FxEditorRenderCancel();
    const uint32_t options = (ed->playWord & (0x4 | 0x8 | 0x10 | 0x100 | 0x200)) | extra;
    g_ui.playing = true;
    // A host that embeds the editor hears of the render before it starts.
    if (inst->hostKind == FX_HOST_EMBEDDED) FxCallHost(inst, FXN_STATE, 7, nullptr);
    const int r = RenderAllFrames(w, &s, options, fx->current, RealtimeMenu(inst));
    g_ui.playing = false;
    AttachViewToWindow(fx->view, w);
    if (r > 0) {
        fx->currentFrame = r;
        m.goRun = true;
        m.editor |= 0x11000000;
        m.redraw |= 0x2011;
    }
    return true;
}

void SetGoOption(FxInstance *inst, uint32_t bit, uint32_t clear)
{
    FxEditorState *ed = FxEditorOf(inst);
    if (!ed) return;
    ed->playWord = (ed->playWord ^ bit) & ~clear;
    if (inst->menu) {
        const struct { int id; uint32_t bit; } rows[] = {
            {3083, 0x4}, {3084, 0x8}, {3085, 0x10}, {3111, 0x100}, {3112, 0x200}};
        for (auto &r : rows)
            CheckMenuItem(inst->menu, r.id, MF_BYCOMMAND | ((ed->playWord & r.bit) ? MF_CHECKED : MF_UNCHECKED));
    }
    SetGoButtons(inst, inst->barDialog);
}

void SetInsertSide(FxInstance *inst, int side)
{
    inst->displayFlags &= ~(FXDF_INSERT_AFTER | FXDF_INSERT_AT);
    if (side == 1) inst->displayFlags |= FXDF_INSERT_AFTER;
    if (side == 0) inst->displayFlags |= FXDF_INSERT_AT;
    SaveViewSetting(inst, FXS_INSERT, side);
    if (inst->menu) {
        CheckMenuItem(inst->menu, 3063, MF_BYCOMMAND | (side == -1 ? MF_CHECKED : MF_UNCHECKED));
        CheckMenuItem(inst->menu, 3064, MF_BYCOMMAND | (side == 1 ? MF_CHECKED : MF_UNCHECKED));
        CheckMenuItem(inst->menu, 3102, MF_BYCOMMAND | (side == 0 ? MF_CHECKED : MF_UNCHECKED));
    }
}

void SetFieldOrder(FxInstance *inst, bool lower)
{
    const uint32_t v = FxViewFlags(inst);
    FxSetViewFlags(inst, lower ? (v | 0x8) : (v & ~0x8u));
    if (lower)
        inst->displayFlags |= FXDF_INVERT_FIELDS;
    else
        inst->displayFlags &= ~FXDF_INVERT_FIELDS;
    SaveViewSetting(inst, FXS_INVERT, lower ? 8 : 0);
    if (inst->menu) {
        CheckMenuItem(inst->menu, 3103, MF_BYCOMMAND | (lower ? MF_CHECKED : MF_UNCHECKED));
        CheckMenuItem(inst->menu, 5000, MF_BYCOMMAND | (lower ? MF_UNCHECKED : MF_CHECKED));
    }
}

// The clipboard's text when it holds a keyframe (tried on a scratch
// keyframe), else false: other content leaves the effect as it is.
bool ClipboardKeyframe(HWND w, std::string *text)
{
    if (!ReadClipboardText(w, text)) return false;
    FxKeyframe *scratch = NewKeyframe();
    if (!scratch) return false;
    const bool ok = ApplyScriptToKeyframe(scratch, text->c_str()) != 0;
    FreeKeyframe(scratch);
    return ok;
}

// Pastes the clipboard's keyframe onto the current keyframe, after the
// insert command when one is given.  The clipboard is read first, so that
// content that is no keyframe inserts nothing.
bool PasteText(FxInstance *inst, HWND w, int insertCommand, Masks &m)
{
    FxEffect *fx = FxCurrentEffect(inst);
    if (!fx) return false;
    std::string text;
    if (!ClipboardKeyframe(w, &text)) return false;
    ++fx->undoSuspended;
    bool ok = true;
    if (insertCommand) ok = SendMessageA(w, WM_COMMAND, insertCommand, 0) != 0;
    bool applied = false;
    FxKeyframe *k = ok ? CurrentKeyframe(inst) : nullptr;
    if (k) applied = ApplyScriptToKeyframe(k, text.c_str()) != 0;
    --fx->undoSuspended;
    if (!applied) return false;
    m.redraw |= 0x50004840;
    m.editor |= 0x1FFFFFF;
    return true;
}

bool AddObject(FxInstance *inst, Masks &m)
{
    FxEffect *fx = FxCurrentEffect(inst);
    if (!fx) return false;
    const bool allowed = inst->hostKind == FX_HOST_KIND_95 ||
                         (SeveralObjects(inst) && (Features(inst) & 0x20000000u));
    if (!allowed) return false;
    FxPath *slot = fx->first;
    if (!AppendNewPath(&slot)) return false;
    if (!fx->first) fx->first = slot;
    FxPath *last = fx->first;
    while (last->next) last = last->next;
    fx->current = last;
    m.redraw |= 0x10000808;
    return true;
}

void ResetAll(FxInstance *inst, Masks &m)
{
    FxEffect *fx = FxCurrentEffect(inst);
    if (!fx) return;
    for (FxPath *p = fx->first; p; p = p->next) ResetPath(p);
    g_ui.prevPath = nullptr;
    g_ui.prevKf = nullptr;
    m.redraw |= 0x10002809;
    if (inst->hostKind == FX_HOST_EMBEDDED && inst->hostWindow) PostMessageA(inst->hostWindow, WM_COMMAND, 3057, 0);
}

// A command that the main window serves itself; false for the others.
bool OwnCommand(FxInstance *inst, HWND w, int id, LPARAM lp, Masks &m, LRESULT *result)
{
    FxEffect *fx = FxCurrentEffect(inst);
    *result = 0;
    switch (id) {
    case 3050:
        // Carried out (1) also when there is no step to take.
        if (inst->hostKind != FX_HOST_EMBEDDED) EditorUndo(inst);
        *result = 1;
        return true;
    case 3051:
        if (inst->hostKind != FX_HOST_EMBEDDED) EditorRedo(inst);
        UpdateUndoControls(&inst->host);
        *result = 1;
        return true;
    case 3052:
    case 3053:
        if (fx) *result = CopyKeyframe(fx, id == 3052 ? 1 : 0);
        return true;
    case 3054:
        *result = PasteText(inst, w, 3055, m);
        return true;
    case 3104:
        *result = PasteText(inst, w, 3062, m);
        return true;
    case 3107:
        *result = PasteText(inst, w, 3106, m);
        return true;
    case 3105:
    case 3108:
        *result = PasteText(inst, w, 0, m);
        return true;
    case 3055:
    case 3106: {
        const int side = InsertSide(inst);
        bool ok;
        if (side == 0 && id == 3055 && !g_ui.dragging)
            ok = InsertAtFrame(inst, m);
        else
            ok = InsertCopy(inst, w, side != -1 || g_ui.dragging, m);
        if (ok) m.command = 3055;
        *result = ok;
        return true;
    }
    case 3060:
    case 3061:
        *result = InsertCopy(inst, w, id == 3061, m);
        return true;
    case 3062:
        *result = InsertAtFrame(inst, m);
        return true;
    case 3056:
        *result = DeleteCurrent(inst, m);
        return true;
    case 3063: SetInsertSide(inst, -1); return true;
    case 3064: SetInsertSide(inst, 1); return true;
    case 3102: SetInsertSide(inst, 0); return true;
    case 3141:
    case 3142:
        *result = StepKeyframe(inst, id == 3141, m);
        return true;
    case 3059:
    case 3109:
    case 3110:
        *result = AddObject(inst, m);
        return true;
    case 3057:
        ResetAll(inst, m);
        return true;
    case 3058:
        m.redraw |= 0x40002010;
        return true;
    case 3081: Play(inst, w, 0, m); return true;
    case 3082: Play(inst, w, 0x2, m); return true;
    case 3086: Play(inst, w, 0x80, m); return true;
    case 3113: Play(inst, w, 0x100, m); return true;
    case 3114: Play(inst, w, 0x200, m); return true;
    case 3083: SetGoOption(inst, 0x4, 0); return true;
    case 3084: SetGoOption(inst, 0x8, 0); return true;
    case 3085: SetGoOption(inst, 0x10, 0); return true;
    case 3111: SetGoOption(inst, 0x100, 0x200); return true;
    case 3112: SetGoOption(inst, 0x200, 0x100); return true;
    case 5000: SetFieldOrder(inst, false); return true;
    case 3103: SetFieldOrder(inst, true); return true;
    case 3133:
    case 3134:
    case 3136:
    case 3137:
        // The bar's frame steps: one frame on or back, the first or last.
        if (fx) {
            const int last = fx->endFrame > 0 ? fx->endFrame : GetEffectLastFrame(fx->first);
            int f = fx->currentFrame;
            if (id == 3133) ++f;
            if (id == 3134) --f;
            if (id == 3136) f = 1;
            if (id == 3137) f = last;
            if (f < 1) f = 1;
            if (last > 0 && f > last) f = last;
            if (f != fx->currentFrame) {
                fx->currentFrame = f;
                m.redraw |= 0x80002000;
                m.editor |= 0x1000000;
            }
        }
        return true;
    case FX_CMD_RENDER:
    case FX_CMD_RENDER_TAKE:
        *result = FxRenderAndTake(inst, w, id);
        if (*result) m.redraw |= 0x40002010;
        return true;
    case 3099:
        if (lp == 0x2D000000 || lp == 0x2A000000) {
            DialogBoxParamA(GetFxInstance(), MAKEINTRESOURCEA(3061), w, CarteRegDlg, reinterpret_cast<LPARAM>(inst));
            // What the dialog left (a card applied, or the paths put back)
            // goes back into the host's store.
            if (FxCurrentEffect(inst)) {
                FxSyncEffectHost(inst);
                SaveEffect(&inst->host, inst->peer ? inst->peer->window : nullptr, FXSV_HOST, nullptr);
            }
            m.redraw |= 0x10002009;
            m.editor |= 0x1FFFFFF;
        }
        return true;
    case 3100:
        return true;
    case 3101:
        SelectDragTool(inst, 9);
        return true;
    default:
        return false;
    }
}

// Commands of the pages and the bar that the page handlers serve.
bool PageCommand(FxInstance *inst, HWND w, int id, LPARAM lp, int code, Masks &m)
{
    FxPageCommand cmd;
    HWND control = reinterpret_cast<HWND>(lp);
    HWND page = control ? GetParent(control) : w;
    double value = 0;
    if (control && IsWindow(control)) {
        char text[64] = "";
        GetWindowTextA(control, text, sizeof text);
        value = std::atof(text);
    }
    FxInitPageCommand(&cmd, inst, page, id, code, value);
    if (!FxPageCommandDispatch(&cmd)) return false;
    if (cmd.tool && cmd.tool != FxCurrentTool(inst)) {
        FxSetCurrentTool(inst, cmd.tool);
        cmd.editor |= FXU_TOOL;
    }
    m.redraw |= cmd.redraw;
    m.editor |= cmd.editor;
    return true;
}

// ---------------------------------------------------------------- the update step

void CommonUpdate(FxInstance *inst, HWND w, Masks &m)
{
    FxEffect *fx = FxCurrentEffect(inst);
    if (!fx) return;
    FxPath *p = fx->current;
    // 1. Keyframe changes.
    if ((m.redraw & 0x7FF0000) && p) {
        const uint32_t noted = NoteKeyframeChange(p, m.redraw & 0x7FF0000);
        m.redraw = (m.redraw & ~0x7FF0000u) | (noted & 0x7FF0000u);
    }
    FxKeyframe *k = p ? p->current : nullptr;
    // 2. The frame follows the keyframe.
    if ((fx->flags & 0x4000) && (fx->flags & 0x8000) && k && fx->currentFrame != k->startFrame) {
        fx->currentFrame = k->startFrame;
        m.redraw |= 0x88002000;
        m.editor |= 0x1000000;
    }
    // 3. The selection.
    if (m.redraw & 0x800) {
        if (k == g_ui.prevKf && p == g_ui.prevPath) {
            m.redraw &= ~0x800u;
        } else {
            if (p != g_ui.prevPath) {
                if (g_ui.prevPath) {
                    bool alive = false;
                    for (FxPath *q = fx->first; q; q = q->next) alive = alive || q == g_ui.prevPath;
                    if (alive) {
                        g_ui.prevPath->pathFlags &= ~1u;
                        if (FxKeyframe *q = g_ui.prevPath->head) do {
                                q->flags &= ~0x1300000u;
                                q = q->next;
                            } while (q && q != g_ui.prevPath->head);
                    }
                }
                if (p) p->pathFlags |= 1u;
                m.redraw |= 0x402;
                if (!(FxViewFlags(inst) & 0x100)) m.redraw |= 0x10;
            }
            if (p && p->head) {
                FxKeyframe *q = p->head;
                do {
                    q->flags = (q->flags & ~0x1300000u) | KF_SELECTED;
                    q = q->next;
                } while (q && q != p->head);
            }
            if (k) k->flags |= 0x1100000;
            // The frame goes with a newly chosen keyframe, so that the
            // editor's refresh (which makes the keyframe at the frame
            // current) keeps it.
            if (k && !KeyframeHoldsFrame(k, fx->currentFrame)) {
                fx->currentFrame = k->startFrame;
                m.editor |= 0x1000000;
            }
            m.editor |= (m.redraw & 0x10000000) ? 0x1FFFFFFu : 0x11FFFFFFu;
        }
    }
    // 4. The edit mark.
    if (k) {
        if (m.redraw & 0x40000000) k->flags &= ~0x200000u;
        if (m.redraw & 0x20000000) k->flags |= 0x200000;
    }
    // 5. The scene.
    if ((m.redraw & 0x7FFF) && IsWindow(w)) {
        g_ui.pendingDraw |= m.redraw & 0x7FFF;
        InvalidateRect(w, nullptr, FALSE);
        UpdateWindow(w);
    }
    // 6. The pointer onto the new keyframe's handle.
    if (m.command == 3055 && (k = CurrentKeyframe(inst)) != nullptr) {
        const POINT pt = HandlePoint(inst, k);
        SetCursorPos(pt.x, pt.y);
    }
    // 7. The editor.  The steps of a drag or a held arrow key make one
    // undo step, taken when the edit ends.
    if (m.redraw & 0x10000000)
        m.editor |= FXU_UNDOABLE;
    else if ((g_ui.dragging || g_ui.nudging) && m.editor)
        m.editor |= FXU_NO_SNAPSHOT;
    g_ui.prevPath = nullptr;
    g_ui.prevKf = nullptr;
    if (inst->hostKind == FX_HOST_EMBEDDED) FxCallHost(inst, FXN_STATE, 0, nullptr);
    // A refresh that the editor update itself sends only draws.
    if (m.editor && g_ui.updating == 0) {
        ++g_ui.updating;
        UpdateEditor(inst, m.editor);
        --g_ui.updating;
    }
    if (m.goRun && IsWindow(w)) {
        SetFocus(w);
        InvalidateRect(w, nullptr, FALSE);
        UpdateWindow(w);
    }
}

void RememberSelection(FxInstance *inst)
{
    g_ui.prevPath = CurrentPath(inst);
    g_ui.prevKf = CurrentKeyframe(inst);
}

// ---------------------------------------------------------------- mouse

void LeftPress(FxInstance *inst, HWND w, int hit, POINT client, Masks &m)
{
    SetFocus(w);
    if (hit == 1) {
        POINT screen = client;
        ClientToScreen(w, &screen);
        g_ui.last = screen;
        g_ui.dragging = true;
        SetCapture(w);
        FxEditorState *ed = FxEditorOf(inst);
        if (ed && ed->toolCursor) SetCursor(ed->toolCursor);
        if (FxKeyframe *k = CurrentKeyframe(inst)) std::memcpy(&g_ui.backup, k, sizeof(FxKeyframe));
    }
    if (hit) {
        m.redraw |= 0x20000803;
        if (FxKeyframe *k = CurrentKeyframe(inst)) k->flags |= 0x1300000;
        g_ui.moved = false;
        g_ui.start = client;
    }
}

void MouseMove(FxInstance *inst, HWND w, POINT client, Masks &m)
{
    if (g_ui.dragging) {
        if (!g_ui.moved) {
            m.redraw |= 0x20000100;
            g_ui.moved = true;
        }
        POINT screen = client;
        ClientToScreen(w, &screen);
        const int dx = screen.x - g_ui.last.x, dy = screen.y - g_ui.last.y;
        if (dx || dy) {
            ApplyDragStep(inst, -1, FxDragAxis() ? FxDragAxis() : g_ui.dragMode, dx, dy, &m.redraw, &m.editor);
            g_ui.last = screen;
        }
        if (g_ui.dragArea.cx <= 0) {
            g_ui.dragArea.cx = GetSystemMetrics(SM_CXSCREEN) - 10;
            g_ui.dragArea.cy = GetSystemMetrics(SM_CYSCREEN) - 10;
        }
        if (g_ui.last.x < 11 || g_ui.last.y < 11 || g_ui.last.x > g_ui.dragArea.cx || g_ui.last.y > g_ui.dragArea.cy) {
            g_ui.dragging = false;
            g_ui.last = {g_ui.dragArea.cx / 2, g_ui.dragArea.cy / 2};
            SetCursorPos(g_ui.last.x, g_ui.last.y);
            g_ui.dragging = true;
        }
        return;
    }
    FxEditorState *ed = FxEditorOf(inst);
    FxEffect *fx = FxCurrentEffect(inst);
    HWND positionPage = nullptr;
    if (ed)
        for (HWND p : ed->pages)
            if (p && IsWindow(p) && GetDlgItem(p, 3733)) positionPage = p;
    if (positionPage && fx && fx->view) {
        POINT v = client;
        WindowToVirtual(fx->view, &v, inst->frameWidth, inst->frameHeight);
        double x = v.x, y = v.y;
        SendDlgItemMessageA(positionPage, 3733, WM_USER + 0x121, 0x900, reinterpret_cast<LPARAM>(&x));
        SendDlgItemMessageA(positionPage, 3735, WM_USER + 0x121, 0x900, reinterpret_cast<LPARAM>(&y));
    }
    SelectDragTool(inst, 0x31);
}

void LeftRelease(FxInstance *inst, HWND w, Masks &m)
{
    if (!g_ui.dragging) return;
    POINT pt = {0, 0};
    FxKeyframe *k = CurrentKeyframe(inst);
    if (g_ui.toCentre) {
        RECT rc;
        GetWindowRect(w, &rc);
        pt = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
        g_ui.toCentre = false;
    } else if (k) {
        // The handle where the drag left it.
        FxEffect *fx = FxCurrentEffect(inst);
        if (fx && fx->view) {
            FxEditContext ctx = {fx->first, fx->current, k, fx->currentFrame};
            UpdateAfterEdit(fx->view, &ctx, 0x1000);
        }
        pt = HandlePoint(inst, k);
    }
    if (FxPath *p = CurrentPath(inst)) p->pathFlags &= ~0x400000u;
    if (k) k->flags &= ~0x200000u;
    g_ui.dragging = false;
    if (k || pt.x || pt.y) SetCursorPos(pt.x, pt.y);
    if (!KeyDown(VK_RBUTTON)) ReleaseCapture();
    m.editor |= 0x4000000;
    m.redraw |= g_ui.moved ? 0x50000510 : 0x40000510;
}

// The view's pop-up menu once the double-click time has passed.
void PopupTimer(FxInstance *inst, HWND w, Masks &m)
{
    if (KeyDown(VK_RBUTTON)) return;
    KillTimer(w, FX_POPUP_TIMER);
    g_ui.timerArmed = false;
    if (KeyDown(VK_LBUTTON) || !(FxOptionWord(inst) & 0x1FFFFF)) {
        SetCapture(w);
        SelectDragTool(inst, VK_RBUTTON);
        return;
    }
    HINSTANCE module = GetFxInstance();
    HMENU bar = LoadMenuA(module, MAKEINTRESOURCEA(RealtimeMenu(inst) ? 4002 : 3002));
    HMENU menu = bar ? GetSubMenu(bar, 0) : nullptr;
    if (!menu) {
        if (bar) DestroyMenu(bar);
        return;
    }
    const int tool = FxCurrentTool(inst);
    const int index = tool >= FX_TOOL_MOVE && tool <= FX_TOOL_SPIN ? tool - FX_TOOL_MOVE : 0;
    char text[256] = "";
    LoadStringA(module, UINT(100 + index), text, sizeof text);
    ModifyMenuA(menu, 1, MF_BYCOMMAND | MF_STRING | MF_ENABLED, 1, text);
    CheckMenuItem(menu, UINT(3120 + index), MF_BYCOMMAND | MF_CHECKED);
    FxEffect *fx = FxCurrentEffect(inst);
    if (PickAtPoint(inst, fx, g_ui.rightPress) != 1)
        for (int id : {1, 3056, 3067, 3052, 3053, 3108}) EnableMenuItem(menu, UINT(id), MF_BYCOMMAND | MF_GRAYED);
    FxPath *p = CurrentPath(inst);
    if (p && fx && FindKeyframeAtFrame(p, fx->currentFrame))
        for (int id : {3062, 3104}) EnableMenuItem(menu, UINT(id), MF_BYCOMMAND | MF_GRAYED);
    std::string clipped;
    const bool clipText = ClipboardKeyframe(w, &clipped);
    if (!clipText)
        for (int id : {3107, 3104, 3108}) EnableMenuItem(menu, UINT(id), MF_BYCOMMAND | MF_GRAYED);
    for (int i = 0; i < 7; ++i)
        if (!((FxOptionWord(inst) >> (3 * i)) & 0x7)) EnableMenuItem(menu, UINT(3120 + i), MF_BYCOMMAND | MF_GRAYED);
    POINT at = g_ui.rightPress;
    ClientToScreen(w, &at);
    const int chosen = int(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, w, nullptr));
    DestroyMenu(bar);
    if (chosen == 1) {
        FxKeyframe *k = CurrentKeyframe(inst);
        if (k) {
            FxKeyframe *mask = NewKeyframe();
            if (mask) {
                std::memset(reinterpret_cast<char *>(&mask->positionTcb), 0,
                            offsetof(FxKeyframe, orientation) - offsetof(FxKeyframe, positionTcb));
                std::memset(mask->position, 0, sizeof mask->position);
                std::memset(&mask->orientation, 0, sizeof mask->orientation);
                const double all = -1;
                switch (index) {
                case 0: for (double &d : mask->position) d = all; break;
                case 1: mask->orientation.w = all; break;
                case 2: for (double &d : mask->offset) d = all; break;
                case 3: for (double &d : mask->extend) d = all; break;
                case 4: for (double &d : mask->skew) d = all; break;
                case 5: for (double &d : mask->twist) d = all; break;
                case 6: for (double &d : mask->scale) d = all; break;
                default: for (int32_t &s : mask->spins) s = -1; break;
                }
                m.editor |= ResetKeyframeAttributesByMask(k, mask);
                FreeKeyframe(mask);
            }
            m.redraw |= 0x40002140;
        }
    } else if (chosen >= 3120 && chosen <= 3127) {
        FxSetCurrentTool(inst, FX_TOOL_MOVE + (chosen - 3120));
        m.editor |= 0x4000000;
    } else if (chosen) {
        SendMessageA(w, WM_COMMAND, WPARAM(chosen), 0);
    }
}

// ---------------------------------------------------------------- keys

void ShowAbout(FxInstance *inst, HWND w)
{
    char self[MAX_PATH] = "", exe[MAX_PATH] = "", version[32] = "0.0.0.0";
    GetModuleFileNameA(GetFxInstance(), self, sizeof self);
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(self, &ignored);
    if (size) {
        char *data = new char[size];
        VS_FIXEDFILEINFO *info = nullptr;
        UINT len = 0;
        if (GetFileVersionInfoA(self, 0, size, data) && VerQueryValueA(data, "\\", reinterpret_cast<void **>(&info), &len) && info)
            std::snprintf(version, sizeof version, "%d.%d.%d.%d", int(HIWORD(info->dwFileVersionMS)),
                          int(LOWORD(info->dwFileVersionMS)), int(HIWORD(info->dwFileVersionLS)),
                          int(LOWORD(info->dwFileVersionLS)));
        delete[] data;
    }
    const char *regFile = reinterpret_cast<const char *>(FxCallHost(inst, FXN_GET_FILE, 1, nullptr));
    if (!regFile) regFile = "";
    char text[2048];
    std::snprintf(text, sizeof text, "Quillon FX:\n\nfile: %s\nversion: %s\n\nExe: %s\n\nRegFile = %s\nIniFile = %s\n\n",
                  self, version, exe, regFile, inst->iniPath);
    if (g_fxTundrix.iErrMessageBox)
        g_fxTundrix.iErrMessageBox(w, text, "Quillon FX", MB_OK | MB_ICONINFORMATION);
    else
        MessageBoxA(w, text, "Quillon FX", MB_OK | MB_ICONINFORMATION);
    if (GetKeyState(VK_CAPITAL) & 1) {
        INPUT in[2] = {};
        in[0].type = in[1].type = INPUT_KEYBOARD;
        in[0].ki.wVk = in[1].ki.wVk = VK_CAPITAL;
        in[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, in, sizeof(INPUT));
    }
}

void KeyPress(FxInstance *inst, HWND w, int vk, LPARAM lp, Masks &m)
{
    FxEffect *fx = FxCurrentEffect(inst);
    if (vk == VK_ESCAPE) {
        if (g_ui.dragging) {
            if (FxKeyframe *k = CurrentKeyframe(inst)) {
                // Everything but the projection's own buffer comes back.
                void *owned = k->ownedBuffer;
                const int32_t count = k->tickCount, capacity = k->tickCapacity;
                std::memcpy(k, &g_ui.backup, sizeof(FxKeyframe));
                k->ownedBuffer = owned;
                k->tickCount = count;
                k->tickCapacity = capacity;
            }
            g_ui.moved = false;
            m.redraw |= 0xD5100;
            m.editor |= 0x20000C;
        }
        return;
    }
    RememberSelection(inst);
    if ((vk == VK_PRIOR && KeyDown(VK_CAPITAL)) ||
        (inst->hostKind == FX_HOST_EMBEDDED && KeyDown(VK_CAPITAL) && KeyDown(VK_SHIFT) && KeyDown(VK_CONTROL) &&
         KeyDown(VK_MENU))) {
        ShowAbout(inst, w);
        return;
    }
    FxPath *p = fx ? fx->current : nullptr;
    FxKeyframe *k = p ? p->current : nullptr;
    const bool ctrl = KeyDown(VK_CONTROL);
    if (!g_ui.dragging && fx && (vk == VK_PRIOR || vk == VK_NEXT || vk == VK_HOME || vk == VK_END)) {
        if (ctrl) {
            FxPath *to = p;
            if (vk == VK_PRIOR && p && p->prev) to = p->prev;
            if (vk == VK_NEXT && p && p->next) to = p->next;
            if (vk == VK_HOME) to = fx->first;
            if (vk == VK_END)
                for (to = fx->first; to && to->next; to = to->next) {}
            if (to) {
                fx->current = to;
                if (!to->current) to->current = to->head;
            }
        } else if (k) {
            FxKeyframe *to = k;
            if (vk == VK_PRIOR && k->prev && k->prev->index < k->index) to = k->prev;
            if (vk == VK_NEXT && k->next && k->next->index > k->index) to = k->next;
            if (vk == VK_HOME) to = p->head;
            if (vk == VK_END) to = LastKeyframe(p);
            if (to) p->current = to;
        }
        m.redraw |= 0x802;
        return;
    }
    if (vk == VK_LEFT || vk == VK_RIGHT || vk == VK_UP || vk == VK_DOWN) {
        int step = int(LOWORD(lp)) + 1;
        if (step < 2) step = 1;
        if (KeyDown(VK_SHIFT)) step *= 10;
        int dx = 0, dy = 0;
        if (vk == VK_LEFT) dx = -step;
        if (vk == VK_RIGHT) dx = step;
        if (vk == VK_UP) dy = -step;
        if (vk == VK_DOWN) dy = step;
        if (!(lp & (1 << 30))) m.redraw |= 0x20000100;
        g_ui.nudging = true;
        // Shift only multiplies the step: the chosen tool nudges.
        int tool = FxCurrentTool(inst);
        FxEditorState *ed = FxEditorOf(inst);
        if (tool == FX_NO_TOOL && ed && KeyDown(VK_SHIFT) && !KeyDown(VK_CONTROL) && !KeyDown(VK_MENU)) tool = ed->tool;
        ApplyDragStep(inst, tool, FxDragAxis() ? FxDragAxis() : g_ui.dragMode, dx, dy, &m.redraw, &m.editor);
        if (g_ui.dragging) g_ui.moved = true;
    }
}

bool IsToolKey(int vk)
{
    return vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU || vk == VK_TAB || vk == VK_SPACE || vk == '1' ||
           vk == '2' || vk == '3';
}

// ---------------------------------------------------------------- paint

void Paint(FxInstance *inst, HWND w)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    FxEffect *fx = FxCurrentEffect(inst);
    FxView *view = FxEnsureEditorView(inst, w);
    if (dc && fx && view) {
        AttachViewToWindow(view, w);
        RECT rc;
        GetClientRect(w, &rc);
        // The background of the view; the scene is drawn over it.
        if (!(view->memDc && (view->flags & VIEW_MEMORY) && view->coreLayer))
            FillRect(dc, &rc, inst->brush ? inst->brush : static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
        if (IsWindowEnabled(w))
            view->flags &= ~VIEW_SINGLE_PEN;
        else
            view->flags |= VIEW_SINGLE_PEN;
        view->dc = dc;
        FxEditContext ctx = {fx->first, fx->current, fx->current ? fx->current->current : nullptr,
                             fx->currentFrame > 0 ? fx->currentFrame : 1};
        const uint32_t flags = 0x11 | SD_PICTURE | SD_EVERY_PATH | (g_ui.pendingDraw & 0x7FFF);
        g_ui.pendingDraw = 0;
        DrawScene(view, &ctx, flags);
        view->dc = nullptr;
    }
    EndPaint(w, &ps);
}

}  // namespace

// ---------------------------------------------------------------- the procedure

extern "C" LRESULT WINAPI MainProc(FxInstance *inst, HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (inst && inst->mainWindow && IsWindow(inst->mainWindow)) w = inst->mainWindow;
    if (msg == WM_CREATE) {
        auto *cs = reinterpret_cast<CREATESTRUCTA *>(lp);
        FxInstance *made = inst ? inst : static_cast<FxInstance *>(cs->lpCreateParams);
        if (!made) return DefWindowProcA(w, msg, wp, lp);
        SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(made));
        made->mainWindow = w;
        if (FxView *view = FxEnsureEditorView(made, w)) AttachViewToWindow(view, w);
        DragAcceptFiles(w, TRUE);
        // The keys held choose from the editor's tool from now on.
        if (FxEditorState *ed = FxEditorOf(made)) FxSetCurrentTool(made, ed->tool);
        return 0;
    }
    if (!inst) inst = InstanceOf(w);
    if (!inst) return DefWindowProcA(w, msg, wp, lp);
    Masks m;
    LRESULT result = 0;
    bool answered = false;
    FxEffect *fx = FxCurrentEffect(inst);
    POINT client = {short(LOWORD(lp)), short(HIWORD(lp))};
    switch (msg) {
    case WM_DESTROY:
        if (inst->mainWindow == w) {
            inst->mainWindow = nullptr;
            inst->host.mainWindow = nullptr;
        }
        if (fx && fx->view && fx->view->window == w) {
            fx->view->window = nullptr;
            fx->view->dc = nullptr;
        }
        if (g_ui.timerArmed) KillTimer(w, FX_POPUP_TIMER);
        g_ui.timerArmed = g_ui.dragging = false;
        return 0;
    case WM_ENABLE:
        if (wp) {
            inst->flags &= ~0x20u;
            FxSetViewFlags(inst, FxViewFlags(inst) & ~VIEW_SINGLE_PEN);
        } else {
            inst->flags |= 0x20;
            FxSetViewFlags(inst, FxViewFlags(inst) | VIEW_SINGLE_PEN);
        }
        InvalidateRect(w, nullptr, FALSE);
        return 0;
    case WM_PAINT:
        Paint(inst, w);
        return 0;
    case WM_ERASEBKGND:
        return GetParent(w) ? SendMessageA(GetParent(w), msg, wp, lp) : 0;
    case WM_SHOWWINDOW:
        return DefWindowProcA(w, msg, wp, lp);
    case WM_SETCURSOR: {
        if (LOWORD(lp) != HTCLIENT) return DefWindowProcA(w, msg, wp, lp);
        FxEditorState *ed = FxEditorOf(inst);
        const int tool = FxCurrentTool(inst);
        if (ed && tool >= FX_TOOL_MOVE && tool <= FX_TOOL_SPIN && ed->toolCursor) {
            SetCursor(ed->toolCursor);
        } else {
            if (tool == FX_NO_TOOL) SelectDragTool(inst, 0);
            SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
        }
        return 1;
    }
    case WM_GETDLGCODE:
        return 4;
    case WM_ENTERSIZEMOVE:
        FxSetViewFlags(inst, FxViewFlags(inst) | 0x1000000);
        return 0;
    case WM_EXITSIZEMOVE:
        FxSetViewFlags(inst, FxViewFlags(inst) & ~0x1000000u);
        m.redraw |= 0x40000001;
        break;
    case WM_DROPFILES: {
        HDROP drop = reinterpret_cast<HDROP>(wp);
        const UINT n = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < n; ++i) {
            char name[MAX_PATH + 1] = "";
            if (DragQueryFileA(drop, i, name, MAX_PATH)) {
                FxSyncEffectHost(inst);
                LoadEffect(&inst->host, w, FXL_FILE, name);
            }
        }
        DragFinish(drop);
        m.redraw |= 0x10002009;
        m.editor |= 0x1FFFFFF | FXU_NO_SNAPSHOT;
        break;
    }
    case FXM_REFRESH:
        g_lastRefresh = lp;
        RememberSelection(inst);
        m.redraw |= uint32_t(lp);
        answered = true;  // a notice: answered 0
        break;
    case FXM_LEFT_PRESS:
        RememberSelection(inst);
        LeftPress(inst, w, int(wp), client, m);
        break;
    case FXM_PEER_NOTIFY:
        if (inst->hostKind == FX_HOST_EMBEDDED) FxCallHost(inst, FXN_STATE, wp, reinterpret_cast<void *>(lp));
        return 0;
    case FXM_REPAINT:
        InvalidateRect(w, nullptr, FALSE);
        UpdateWindow(w);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        RememberSelection(inst);
        LeftPress(inst, w, PickAtPoint(inst, fx, client), client, m);
        break;
    case WM_MOUSEMOVE:
        MouseMove(inst, w, client, m);
        break;
    case WM_LBUTTONUP:
        LeftRelease(inst, w, m);
        break;
    case WM_RBUTTONDOWN:
        if (!KeyDown(VK_LBUTTON) && !g_ui.timerArmed) {
            g_ui.rightPress = client;
            g_ui.timerArmed = true;
            SetTimer(w, FX_POPUP_TIMER, GetDoubleClickTime(), nullptr);
        }
        SetCapture(w);
        SelectDragTool(inst, VK_RBUTTON);
        break;
    case WM_RBUTTONDBLCLK: {
        KillTimer(w, FX_POPUP_TIMER);
        g_ui.timerArmed = false;
        FxEditorState *ed = FxEditorOf(inst);
        if (ed && (FxOptionWord(inst) & 0x7)) {
            static int previous = 0;
            if (ed->tool != FX_TOOL_MOVE || !previous) {
                previous = ed->tool;
                FxSetCurrentTool(inst, FX_TOOL_MOVE);
            } else {
                FxSetCurrentTool(inst, previous);
                previous = 0;
            }
            m.editor |= 0x4000000;
        }
        SelectDragTool(inst, VK_RBUTTON);
        break;
    }
    case WM_RBUTTONUP:
        if (!KeyDown(VK_LBUTTON)) ReleaseCapture();
        SelectDragTool(inst, VK_RBUTTON);
        break;
    case WM_TIMER:
        if (wp != FX_POPUP_TIMER) return DefWindowProcA(w, msg, wp, lp);
        PopupTimer(inst, w, m);
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
        const int vk = int(wp);
        const bool down = msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN;
        if (IsToolKey(vk)) {
            SelectDragTool(inst, vk);
            return 0;
        }
        if (!down) {
            if (!g_ui.dragging && (vk == VK_LEFT || vk == VK_RIGHT || vk == VK_UP || vk == VK_DOWN)) {
                m.redraw |= 0x50000500;
                g_ui.nudging = false;
            }
            else
                return DefWindowProcA(w, msg, wp, lp);
            break;
        }
        KeyPress(inst, w, vk, lp, m);
        if (!m.redraw && !m.editor && msg == WM_SYSKEYDOWN) return DefWindowProcA(w, msg, wp, lp);
        break;
    }
    case FXM_TEMPLATE:
        result = FxTemplateTransfer(inst, w, wp, reinterpret_cast<FxCardRecord *>(lp));
        if (result && (wp == 2 || wp == 5 || wp == 6)) {
            m.redraw |= wp == 2 ? 0x10002809 : 0x10;
            m.editor |= wp == 2 ? (0x1FFFFFF | FXU_NO_SNAPSHOT) : 0x4000000;
        }
        answered = true;
        break;
    case WM_INITMENU: {
        HMENU menu = reinterpret_cast<HMENU>(wp);
        if (inst->hostKind == FX_HOST_EMBEDDED) FxCallHost(inst, FXN_STATE, 0, nullptr);
        // The render and take items say whether the effect must be
        // rendered again.
        if (inst->hostKind == FX_HOST_KIND_PLAIN && fx) {
            const bool stale = (fx->flags & FXE_RENDER_STALE) != 0;
            const struct { int id; UINT text; } rows[] = {{3087, stale ? 92u : 93u}, {3090, stale ? 91u : 90u}};
            for (auto &r : rows) {
                char text[128] = "";
                if (GetMenuState(menu, UINT(r.id), MF_BYCOMMAND) != UINT(-1) &&
                    LoadStringA(GetFxInstance(), r.text, text, sizeof text))
                    ModifyMenuA(menu, UINT(r.id), MF_BYCOMMAND | MF_STRING, UINT_PTR(r.id), text);
            }
        }
        const int side = InsertSide(inst);
        CheckMenuItem(menu, 3063, MF_BYCOMMAND | (side == -1 ? MF_CHECKED : MF_UNCHECKED));
        CheckMenuItem(menu, 3064, MF_BYCOMMAND | (side == 1 ? MF_CHECKED : MF_UNCHECKED));
        CheckMenuItem(menu, 3102, MF_BYCOMMAND | (side == 0 ? MF_CHECKED : MF_UNCHECKED));
        const bool lower = (FxViewFlags(inst) & 0x8) != 0;
        CheckMenuItem(menu, 3103, MF_BYCOMMAND | (lower ? MF_CHECKED : MF_UNCHECKED));
        CheckMenuItem(menu, 5000, MF_BYCOMMAND | (lower ? MF_UNCHECKED : MF_CHECKED));
        FxPath *p = CurrentPath(inst);
        FxKeyframe *k = CurrentKeyframe(inst);
        if (p && k && fx) {
            const bool atFrame = FindKeyframeAtFrame(p, fx->currentFrame) != nullptr;
            const bool text = IsClipboardFormatAvailable(CF_TEXT) != 0;
            EnableMenuItem(menu, 3104, MF_BYCOMMAND | (text && !atFrame ? MF_ENABLED : MF_GRAYED));
            EnableMenuItem(menu, 3054, MF_BYCOMMAND | (text ? MF_ENABLED : MF_GRAYED));
            EnableMenuItem(menu, 3105, MF_BYCOMMAND | (text ? MF_ENABLED : MF_GRAYED));
            EnableMenuItem(menu, 3141, MF_BYCOMMAND | (k->next && k->next->index > k->index ? MF_ENABLED : MF_GRAYED));
            EnableMenuItem(menu, 3142, MF_BYCOMMAND | (k->prev && k->prev->index < k->index ? MF_ENABLED : MF_GRAYED));
            EnableMenuItem(menu, 3050, MF_BYCOMMAND | (fx->undo && fx->undo->next ? MF_ENABLED : MF_GRAYED));
            EnableMenuItem(menu, 3051, MF_BYCOMMAND | (fx->redo ? MF_ENABLED : MF_GRAYED));
        }
        return 0;
    }
    case WM_COMMAND: {
        const int id = LOWORD(wp);
        if (inst->hostKind == FX_HOST_EMBEDDED) result = FxCallHost(inst, FXN_STATE, wp, reinterpret_cast<void *>(lp));
        RememberSelection(inst);
        if (OwnCommand(inst, w, id, lp, m, &result)) {
            answered = true;
        } else if (PageCommand(inst, w, id, lp, HIWORD(wp), m)) {
        } else if (g_ui.panelDepth == 0) {
            // The attribute panel's value commands; what it does not know
            // comes back here and ends.
            ++g_ui.panelDepth;
            result = PanelCommand(inst, w, id, reinterpret_cast<HWND>(lp), HIWORD(wp));
            --g_ui.panelDepth;
            answered = true;
        }
        break;
    }
    default:
        return DefWindowProcA(w, msg, wp, lp);
    }
    const bool changed = m.redraw || m.editor;
    CommonUpdate(inst, w, m);
    if (answered) return result;
    return changed ? 1 : 0;
}

extern "C" LRESULT WINAPI MainWndProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    return MainProc(nullptr, w, msg, wp, lp);
}

LPARAM FxLastRefreshWord()
{
    return g_lastRefresh;
}

bool FxMainDragging()
{
    return g_ui.dragging;
}
