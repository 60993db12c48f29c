// Thumbnails of path lists for the template and card dialogs.
#include "fxdata.h"
#include "fxview.h"

HBITMAP RenderPathThumbnail(FxEffectHost *host, FxPath *list, int width, int height, int frame)
{
    if (!list || !list->head || width <= 0 || height <= 0 || width > 4096 || height > 4096)
        return nullptr;
    FxEffect *e = host ? host->effect : nullptr;
    FxView *current = e ? e->view : nullptr;
    uint32_t flags = 0x548u | (current ? current->flags & 0x82u : 0u) | (host ? host->fieldOption & 1u : 0u);
    SIZE client = { width, height };
    // Making a view sets the default keyframe size; a picture must not.
    double keyWidth, keyHeight;
    GetDefaultKeyframeSize(&keyWidth, &keyHeight);
    FxView *v = CreateView(current ? current->descriptor : nullptr, current ? current->styleTable : nullptr,
                           flags | VIEW_NO_LAYER, nullptr, &client, nullptr);
    SetDefaultKeyframeSize(keyWidth, keyHeight);
    if (!v)
        return nullptr;

    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    if (!bitmap || !dc) {
        if (bitmap)
            DeleteObject(bitmap);
        if (dc)
            DeleteDC(dc);
        DestroyView(v);
        return nullptr;
    }
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all = { 0, 0, width, height };
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));

    FxKeyframe *head = list->head;
    FxKeyframe *marked = list->current ? list->current : head;
    const uint32_t headWas = head->flags & FXK_THUMB_MARK;
    const uint32_t markedWas = marked->flags & FXK_THUMB_MARK;
    if (markedWas) {
        marked->flags &= ~FXK_THUMB_MARK;
        head->flags |= FXK_THUMB_MARK;
    }
    if (frame > 0 && current)
        v->link = current->link;
    for (FxPath *p = list; p; p = p->next)
        EvaluatePathAtTime(v, p, frame > 0 ? frame : 1, 0);
    v->dc = dc;
    if (host && host->hooks.drawScene)
        host->hooks.drawScene(host, v, list, frame);
    v->dc = nullptr;
    // The link is only lent: the temporary view must not tell it to go.
    v->link = nullptr;
    head->flags = (head->flags & ~FXK_THUMB_MARK) | headWas;
    marked->flags |= markedWas;

    SelectObject(dc, old);
    DeleteDC(dc);
    DestroyView(v);
    return bitmap;
}
