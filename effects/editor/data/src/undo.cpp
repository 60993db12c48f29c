// Undo snapshots: the whole effect as script text, newest first.  A push of
// an unchanged effect is dropped; a long list is cut to its newest part.
#include <cstdlib>
#include <cstring>

#include "fxdata.h"

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
    node->next = *undo;
    *undo = node;
    ++*count;
    FreeUndoList(redo);
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
