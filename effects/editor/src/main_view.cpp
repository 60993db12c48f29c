// The view the editor draws the scene into, its style table, and the pens
// and brush an instance keeps from attach to detach.
#include <map>

#include "fxeditor.h"
#include "fxmainview.h"
#include "fxscene.h"
#include "fxview.h"

namespace {

std::map<FxInstance *, FxSceneStyle *> g_styles;

// The editor's pens: colours of the scene settings (their defaults), the
// brush the view's background.
constexpr COLORREF kPenColours[FX_PENS] = {
    0xC0C0C0, 0x008000, 0x606060, 0x0000F8, 0x80C000, 0xFFFFFF, 0xC0C0C0,
    0x00FFFF, 0x808080, 0x000000, 0xFFFFFF, 0xC0C0C0, 0x00FFFF};
constexpr COLORREF kBackground = 0x606060;

}  // namespace

uint32_t FxOptionWord(const FxInstance *inst)
{
    return inst ? inst->features : 0;
}

void FxMakeAttachPens(FxInstance *inst)
{
    if (!inst) return;
    for (int i = 0; i < FX_PENS; ++i)
        if (!inst->pens[i]) inst->pens[i] = CreatePen(PS_SOLID, 1, kPenColours[i]);
    if (!inst->brush) inst->brush = CreateSolidBrush(kBackground);
}

void FxFreeAttachPens(FxInstance *inst)
{
    if (!inst) return;
    for (HPEN &p : inst->pens)
        if (p) {
            DeleteObject(p);
            p = nullptr;
        }
    if (inst->brush) {
        DeleteObject(inst->brush);
        inst->brush = nullptr;
    }
}

void *FxSceneStyleOf(FxInstance *inst)
{
    if (!inst) return nullptr;
    FxSceneStyle *&slot = g_styles[inst];
    if (!slot) slot = MakeSceneStyle(nullptr, 1);
    return slot;
}

void FxFreeSceneStyle(FxInstance *inst)
{
    auto it = g_styles.find(inst);
    if (it == g_styles.end()) return;
    FreeSceneStyle(it->second);
    g_styles.erase(it);
}

FxView *FxEnsureEditorView(FxInstance *inst, HWND window)
{
    FxEffect *fx = FxCurrentEffect(inst);
    if (!fx) return nullptr;
    if (!fx->view) {
        int32_t d[13] = {};
        d[0] = inst->frameWidth > 0 ? inst->frameWidth : 720;
        d[1] = inst->frameHeight > 0 ? inst->frameHeight : 576;
        d[4] = inst->aspectX;
        d[5] = inst->aspectY;
        // The title-safe area: a tenth of the frame in from each side.
        d[6] = 10;
        d[7] = 10;
        d[8] = 90;
        d[9] = 90;
        fx->view = CreateView(d, FxSceneStyleOf(inst), inst->viewFlags | VIEW_NO_LAYER, nullptr, nullptr, nullptr);
        if (!fx->view) return nullptr;
        fx->view->flags = (inst->viewFlags & VIEW_CREATE_MASK) | (fx->view->flags & VIEW_RECT_SET);
    }
    if (!fx->view->styleTable) fx->view->styleTable = FxSceneStyleOf(inst);
    if (window && fx->view->window != window) {
        AttachViewToWindow(fx->view, window);
        RecomputeEffect(fx->view, fx->first);
    }
    return fx->view;
}
