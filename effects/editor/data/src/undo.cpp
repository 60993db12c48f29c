// Undo snapshots: the whole effect as script text, newest first.  A push of
// an unchanged effect is dropped; a long list is cut to its newest part.
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "fxdata.h"
#include "fxdata_internal.h"
#include "fxedit.h"

namespace {

void Where(FxEffect *e, int32_t *pathNumber, int32_t *keyIndex)
{
    *pathNumber = 0;
    *keyIndex = -1;
    int n = 1;
    for (FxPath *p = e->first; p; p = p->next, ++n) {
        if (p != e->current)
            continue;
        *pathNumber = n;
        int i = 0;
        for (FxKeyframe *kf = p->head; kf; ++i) {
            if (kf == p->current) {
                *keyIndex = i;
                break;
            }
            kf = kf->next != p->head ? kf->next : nullptr;
        }
        break;
    }
}

}  // namespace

void FreeUndoList(FxUndoNode **list)
{
    if (!list)
        return;
    FxUndoNode *n = *list;
    *list = nullptr;
    while (n) {
        FxUndoNode *next = n->next;
        free(n);
        n = next;
    }
}

int PushUndoSnapshot(FxEffectHost *host, FxUndoNode **undo, FxUndoNode **redo, int32_t *count)
{
    FxEffect *e = host ? host->effect : nullptr;
    if (!e || !e->first || !undo || !redo || !count)
        return -1;
    int length = WriteFxScript(nullptr, e->first, nullptr, FXW_COUNT);
    if (length <= 0)
        return -1;
    size_t size = sizeof(FxUndoNode) + size_t(length) + 1;
    FxUndoNode *node = static_cast<FxUndoNode *>(malloc(size));
    if (!node)
        return -1;
    node->next = nullptr;
    node->text = reinterpret_cast<char *>(node + 1);
    if (WriteFxScript(node->text, e->first, nullptr, FXW_BUFFER) != length) {
        free(node);
        return -1;
    }
    node->text[length] = 0;
    node->length = uint32_t(length) + 1;
    Where(e, &node->pathNumber, &node->keyIndex);

    if (*undo && (*undo)->length == node->length && !memcmp((*undo)->text, node->text, node->length)) {
        free(node);
        return 0;
    }
    if (*count >= FX_UNDO_LIMIT) {
        // Keep the newest part; the count follows what is really left.
        FxUndoNode *keep = *undo;
        int kept = 1;
        while (keep && kept < FX_UNDO_KEEP) {
            keep = keep->next;
            ++kept;
        }
        if (keep) {
            FreeUndoList(&keep->next);
            *count = FX_UNDO_KEEP;
        }
    }
    const bool changed = *undo != nullptr;
    node->next = *undo;
    *undo = node;
    ++*count;
    FreeUndoList(redo);
    // A snapshot that differs from an earlier one is a change since the
    // effect was loaded or stored: a new time stamp, later than the one it
    // had, so that a block stored from it never looks like the one already
    // loaded.  The first snapshot (taken at load) keeps the loaded stamp.
    if (changed) {
        const uint32_t now = uint32_t(time(nullptr));
        e->timeStamp = e->timeStamp == 0xFFFFFFFFu || now > e->timeStamp ? now : e->timeStamp + 1;
    }
    UpdateUndoControls(host);
    return 1;
}

void UpdateUndoControls(FxEffectHost *host)
{
    FxEffect *e = host ? host->effect : nullptr;
    if (!e)
        return;
    bool canUndo = e->undo && e->undo->next;
    bool canRedo = e->redo != nullptr;
    if (host->menu && IsMenu(host->menu)) {
        EnableMenuItem(host->menu, FX_ID_UNDO, MF_BYCOMMAND | (canUndo ? MF_ENABLED : MF_GRAYED));
        EnableMenuItem(host->menu, FX_ID_REDO, MF_BYCOMMAND | (canRedo ? MF_ENABLED : MF_GRAYED));
    }
    if (host->toolWindow && IsWindow(host->toolWindow)) {
        if (HWND b = GetDlgItem(host->toolWindow, FX_ID_UNDO))
            EnableWindow(b, canUndo);
        if (HWND b = GetDlgItem(host->toolWindow, FX_ID_REDO))
            EnableWindow(b, canRedo);
    }
}

namespace {

// Cuts the effect's list to the shape of `model` (its path count and each
// path's keyframe count): reading a text into a list only reuses and adds,
// so whatever the text no longer holds is removed here.
void TrimTo(FxEffect *e, FxPath *model)
{
    FxPath *p = e->first, *m = model, *lastKept = nullptr;
    for (; p && m; p = p->next, m = m->next) {
        lastKept = p;
        int want = 0;
        for (FxKeyframe *k = m->head; k; k = k->next != m->head ? k->next : nullptr)
            ++want;
        FxKeyframe *keep = p->head;
        for (int i = 1; keep && i < want && keep->next != p->head; ++i)
            keep = keep->next;
        if (!keep || keep->next == p->head)
            continue;
        FxKeyframe *k = keep->next;
        keep->next = p->head;
        p->head->prev = keep;
        while (k != p->head) {
            FxKeyframe *next = k->next;
            if (p->current == k)
                p->current = p->head;
            FreeKeyframe(k);
            k = next;
        }
        RenumberRing(p);
    }
    if (!lastKept)
        return;
    FxPath *extra = lastKept->next;
    lastKept->next = nullptr;
    while (extra) {
        FxPath *next = extra->next;
        if (e->current == extra)
            e->current = e->first;
        FreePath(extra);
        extra = next;
    }
}

int ApplySnapshot(FxEffectHost *host, FxEffect *e, const FxUndoNode *node)
{
    // The text is read on its own first: a snapshot that cannot be read
    // leaves the effect as it is.
    FxPath *model = nullptr;
    if (!AppendNewPath(&model))
        return 0;
    if (!parsefx(node->text, model, nullptr, FXS_MEMORY)) {
        FreeEffect(model);
        return 0;
    }
    for (FxPath *p = e->first; p; p = p->next)
        ReleasePathResources(p);
    int ok = ParseInto(host, e, node->text, FXS_MEMORY, 0);
    if (ok)
        TrimTo(e, model);
    FreeEffect(model);
    if (!ok)
        return 0;
    if (host->hooks.fitRange)
        host->hooks.fitRange(host, e);
    if (host->hooks.addAnimationObjects)
        host->hooks.addAnimationObjects(host, e, nullptr, 16);
    if (e->animationRecord >= e->renderTimeStamp || int32_t(e->timeStamp) >= e->renderTimeStamp)
        e->flags |= FXE_RENDER_STALE;
    else
        e->flags &= ~FXE_RENDER_STALE;
    // The effect now differs from what was written or stored.
    e->flags |= FXE_UNWRITTEN | FXE_UNCARDED | FXE_UNSTORED | FXE_UNSAVED;

    if (node->pathNumber > 0) {
        FxPath *p = e->first;
        for (int n = 1; p && n < node->pathNumber; ++n)
            p = p->next;
        if (p) {
            e->current = p;
            FxKeyframe *k = p->head;
            for (int i = 0; k && i < node->keyIndex; ++i)
                k = k->next != p->head ? k->next : nullptr;
            p->current = k ? k : p->head;
        }
    }
    if (e->view) {
        RecomputeEffect(e->view, e->first);
    } else {
        FxView scratch{};
        scratch.virtualWidth = scratch.virtualHeight = 1;
        scratch.scaleX = scratch.scaleY = 1;
        RecomputeEffect(&scratch, e->first);
    }
    return 1;
}

}  // namespace

int StepUndo(FxEffectHost *host, FxUndoNode **from, FxUndoNode **to, int applyMoved)
{
    FxEffect *e = host ? host->effect : nullptr;
    if (!e || !from || !to || !*from)
        return 0;
    const bool undoing = from == &e->undo;
    if (undoing && !(*from)->next)
        return 0;
    FxUndoNode *moved = *from;
    const FxUndoNode *apply = applyMoved ? moved : moved->next;
    if (!apply || !ApplySnapshot(host, e, apply))
        return 0;
    *from = moved->next;
    moved->next = *to;
    *to = moved;
    if (from == &e->undo)
        --e->undoCount;
    else if (to == &e->undo)
        ++e->undoCount;
    if (host->personality != 4 && host->mainWindow)
        PostMessageA(host->mainWindow, FX_MSG_REFRESH, FX_REFRESH_LOADED, 0);
    UpdateUndoControls(host);
    return 1;
}

int FxNoteUndoableChange(FxEffectHost *host, uint32_t mask)
{
    FxEffect *e = host ? host->effect : nullptr;
    if (!e)
        return -1;
    const bool undoable = (mask & FX_MASK_UNDOABLE) != 0;
    if (undoable)
        e->flags |= FXE_UNWRITTEN | FXE_UNCARDED | FXE_UNSTORED | FXE_UNSAVED |
                    ((mask & FX_MASK_KEEP_RENDER) ? 0u : uint32_t(FXE_RENDER_STALE));
    if ((!undoable && e->undo) || e->undoSuspended)
        return -1;
    return PushUndoSnapshot(host, &e->undo, &e->redo, &e->undoCount);
}
