// The editor's side of render progress: the record the progress callback
// reads for an instance (its module, main window, tool bar and frame
// controls), kept current from the instance at every call.
#include <cstdlib>

#include "fxeditor.h"
#include "fxhost.h"
#include "fxprogress.h"

namespace {

// The frame just rendered on the frame fields and the time rows of the bar
// and the open pages.
void ShowFrame(void *context, int frame)
{
    FxInstance *inst = static_cast<FxInstance *>(context);
    auto show = [frame](HWND w) {
        if (!w || !IsWindow(w)) return;
        if (GetDlgItem(w, FXC_FRAME)) SetDlgItemInt(w, FXC_FRAME, UINT(frame > 0 ? frame : 0), FALSE);
        for (int id = 3341; id <= 3344; ++id)
            if (HWND row = GetDlgItem(w, id)) SendMessageA(row, TBR_FRAME, WPARAM(frame), 0);
    };
    show(inst->barDialog);
    if (FxEditorState *ed = FxEditorOf(inst)) {
        show(ed->toolDialog);
        for (HWND p : ed->pages) show(p);
    }
}

FxProgressEditor *EditorOf(void *instance)
{
    FxInstance *inst = static_cast<FxInstance *>(instance);
    if (!inst) return nullptr;
    auto *ed = static_cast<FxProgressEditor *>(inst->progress);
    if (!ed) {
        ed = static_cast<FxProgressEditor *>(std::calloc(1, sizeof(FxProgressEditor)));
        if (!ed) return nullptr;
        inst->progress = ed;
    }
    ed->module = GetFxInstance();
    ed->mainWindow = inst->mainWindow && IsWindow(inst->mainWindow) ? inst->mainWindow : nullptr;
    ed->toolBar = inst->barDialog && IsWindow(inst->barDialog) ? inst->barDialog : nullptr;
    ed->showFrame = ShowFrame;
    ed->context = inst;
    return ed;
}

}  // namespace

FxRenderCallback FxEditorRenderProgress()
{
    g_fxProgressEditor = EditorOf;
    return RenderProgressProc;
}

FxRenderCallback FxEditorRenderCancel()
{
    g_fxProgressEditor = EditorOf;
    return RenderCancelProc;
}

void FxFreeRenderProgress(FxInstance *inst)
{
    auto *ed = inst ? static_cast<FxProgressEditor *>(inst->progress) : nullptr;
    if (!ed) return;
    if (FxProgressState *s = ed->state) {
        if (s->box && IsWindow(s->box)) DestroyWindow(s->box);
        std::free(s);
    }
    std::free(ed);
    inst->progress = nullptr;
}
