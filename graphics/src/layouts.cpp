// Layouts: a background, a stack of layers, a foreground and punch-through
// layers composed into the caller's output layer.  Everything is virtual
// layers attached to the caller's layers; the layout's two handlers
// recompose exactly the rectangle that a refresh or an update names.
#include <windows.h>
#include <wine/debug.h>
#include <initializer_list>
#include "m32.h"
#include "layer.h"

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

namespace {

// The handler records the layout hangs on its virtual layers: the core
// reads the function and hands the record back.
struct LayoutHandler {
    LayerHandlerProc proc;
    Layout *layout;
    LONG busy;        // output record: a region is being composed
};

LONG PIXAPI output_handler(Layer *refreshed, LayerHandler *h);

Layout *layout_of(LayerHandler *h) { return reinterpret_cast<LayoutHandler *>(h)->layout; }

struct Temp {
    Layer *l = nullptr;
    Temp(Layer *of, const RECT &r)
    {
        if (of && (l = CreateClippedLayer(of))) ClipLayer(l, &r);
    }
    ~Temp()
    {
        if (l) DeleteLayer(l);
    }
    Temp(const Temp &) = delete;
    Temp &operator=(const Temp &) = delete;
};

LayoutEntry *find(LayoutEntry *head, Layer *layer)
{
    if (!layer) return nullptr;
    for (LayoutEntry *e = head; e; e = e->next)
        if (e->layer && e->layer->partner == layer) return e;
    return nullptr;
}

LONG count(const LayoutEntry *head)
{
    LONG n = 0;
    for (; head; head = head->next) ++n;
    return n;
}

Layer *at(LayoutEntry *head, LONG index)
{
    if (index < 0) return nullptr;
    for (; head; head = head->next)
        if (index-- == 0) return head->layer;
    return nullptr;
}

// Tells observers of the caller's output layer about a recomposed region.
// Going straight to the attached output layer (rather than through the
// output virtual layer's forwarder) keeps the news from being swallowed
// when the composition itself runs inside a forwarded notification.
void tell_output_observers(Layout *layout, Layer *region, const RECT &r)
{
    Layer *out = layout->output;
    Layer *actual = out ? out->partner : nullptr;
    if (!actual) {
        UpdateLayer(region);
        return;
    }
    RECT a = r;
    OffsetRect(&a, -out->partnerX, -out->partnerY);
    Temp c(actual, a);
    if (c.l) UpdateLayer(c.l);
}

// Composes one rectangle of output coordinates.  entryPath forces the
// layered path (clear, layers, then foreground and background under them)
// even without layer entries.
void compose(Layout *layout, const RECT &r, bool entryPath)
{
    if (r.right <= r.left || r.bottom <= r.top) return;
    // The compositing steps refresh the region they write, which is the
    // output virtual layer: its own refresh handler must not start this
    // composition again inside itself.
    LayoutHandler *self = layout->output ? reinterpret_cast<LayoutHandler *>(layout->output->refreshHandler) : nullptr;
    if (self && self->proc != output_handler) self = nullptr;
    if (self && self->busy) return;
    Temp region(layout->output, r);
    if (!region.l) return;
    if (self) self->busy = 1;
    WINE_TRACE("layout %p region (%d,%d)-(%d,%d)\n", layout, (int)r.left, (int)r.top, (int)r.right, (int)r.bottom);

    // The steps below must not notify anybody: updates off until the end.
    void *savedUpdate = g_updateSlot != TLS_OUT_OF_INDEXES ? TlsGetValue(g_updateSlot) : nullptr;
    UpdateEnable(0);

    if (layout->first || entryPath) {
        ClearLayer(region.l);
        for (LayoutEntry *e = layout->first; e; e = e->next) {
            Temp c(e->layer, r);
            if (!c.l) continue;
            if (e->highlight) CompositUnderPaleLayer(region.l, c.l);
            else CompositOnTopLayerEx(region.l, c.l, e->alpha);
        }
        Temp fg(layout->foreground, r), bg(layout->background, r);
        if (fg.l && bg.l) TwoLayerComposit(region.l, fg.l, bg.l);
    } else {
        Temp fg(layout->foreground, r), bg(layout->background, r);
        if (fg.l && bg.l) CompositOnOutputLayer(fg.l, bg.l, region.l);
    }
    for (LayoutEntry *p = layout->firstPunch; p; p = p->next) {
        Temp c(p->layer, r);
        if (c.l) PunchThruLayer(region.l, c.l);
    }

    if (g_updateSlot != TLS_OUT_OF_INDEXES) TlsSetValue(g_updateSlot, savedUpdate);
    tell_output_observers(layout, region.l, r);

    if (layout->auxOutput) {
        Temp aux(layout->auxOutput, r);
        if (aux.l) CopyLayer(aux.l, region.l);
    }
    if (self) self->busy = 0;
}

// Refresh of the output: recompose what the refreshed layer covers.
LONG PIXAPI output_handler(Layer *refreshed, LayerHandler *h)
{
    Layout *layout = layout_of(h);
    if (!layout || !layout->output || !layout->background) return 0;
    RECT r;
    if (!GetUnionRectRef(layout->output, refreshed, &r)) return 0;
    compose(layout, r, false);
    return 1;
}

// Update of the background, the foreground, a layer or a punch-through
// layer: recompose what the changed layer covers.
LONG PIXAPI change_handler(Layer *changed, LayerHandler *h)
{
    Layout *layout = layout_of(h);
    if (!layout) return 0;
    RECT r;
    bool found = (layout->foreground && GetUnionRectRef(layout->foreground, changed, &r)) ||
                 (layout->background && GetUnionRectRef(layout->background, changed, &r));
    for (LayoutEntry *e = layout->first; !found && e; e = e->next)
        found = GetUnionRectRef(e->layer, changed, &r) != 0;
    for (LayoutEntry *e = layout->firstPunch; !found && e; e = e->next)
        found = GetUnionRectRef(e->layer, changed, &r) != 0;
    if (!found) return 0;
    compose(layout, r, true);
    return 1;
}

LayerHandler *change_record(Layout *layout) { return layout->background ? layout->background->updateHandler : nullptr; }

// A virtual layer with the layout's change handler, attached to layer.
Layer *attached_virtual(Layout *layout, Layer *layer)
{
    LayerHandler *change = change_record(layout);
    if (!change) return nullptr;
    Layer *v = CreateVirtualLayer();
    if (!v) return nullptr;
    v->updateHandler = change;
    if (!AttachActualLayer(v, layer, 1)) {
        v->updateHandler = nullptr;
        DeleteLayer(v);
        return nullptr;
    }
    return v;
}

void release_entry(LayoutEntry *&head, LayoutEntry *e)
{
    if (e->prev) e->prev->next = e->next;
    else head = e->next;
    if (e->next) e->next->prev = e->prev;
    if (e->layer) {
        e->layer->updateHandler = nullptr;   // the shared record is the layout's
        DeleteLayer(e->layer);
    }
    M32_free(e);
}

LONG add_entry(Layout *layout, LayoutEntry *&head, Layer *layer, bool onTop)
{
    if (!layout || !layer || layer_is_virtual(layer)) return 0;
    LayoutEntry *e = m32_new<LayoutEntry>();
    if (!e) return 0;
    e->layer = attached_virtual(layout, layer);
    if (!e->layer) {
        M32_free(e);
        return 0;
    }
    e->alpha = 255;
    if (onTop || !head) {
        e->next = head;
        if (head) head->prev = e;
        head = e;
    } else {
        LayoutEntry *tail = head;
        while (tail->next) tail = tail->next;
        tail->next = e;
        e->prev = tail;
    }
    return 1;
}

LONG get_offset(LayoutEntry *head, Layer *layer, LONG *x, LONG *y)
{
    LayoutEntry *e = find(head, layer);
    if (!e || !x) return 0;
    *x = e->layer->partnerX;
    if (!y) return 0;
    *y = e->layer->partnerY;
    return 1;
}

LONG set_offset(LayoutEntry *head, Layer *layer, LONG x, LONG y)
{
    LayoutEntry *e = find(head, layer);
    if (!e) return 0;
    e->layer->partnerX = x;
    e->layer->partnerY = y;
    return 1;
}

} // namespace

extern "C" {

Layout *PIXAPI CreateLayout(void)
{
    WINE_TRACE("()\n");
    Layout *layout = m32_new<Layout>();
    if (!layout) return nullptr;
    LayoutHandler *out = m32_new<LayoutHandler>(), *change = m32_new<LayoutHandler>();
    layout->output = CreateVirtualLayer();
    layout->background = CreateVirtualLayer();
    layout->foreground = CreateVirtualLayer();
    if (!out || !change || !layout->output || !layout->background || !layout->foreground) {
        M32_free(out);
        M32_free(change);
        if (layout->output) DeleteLayer(layout->output);
        if (layout->background) DeleteLayer(layout->background);
        if (layout->foreground) DeleteLayer(layout->foreground);
        M32_free(layout);
        return nullptr;
    }
    *out = { output_handler, layout, 0 };
    *change = { change_handler, layout, 0 };
    layout->output->refreshHandler = reinterpret_cast<LayerHandler *>(out);
    layout->background->updateHandler = reinterpret_cast<LayerHandler *>(change);
    layout->foreground->updateHandler = reinterpret_cast<LayerHandler *>(change);
    return layout;
}

LONG PIXAPI DeleteLayout(Layout *layout)
{
    WINE_TRACE("(%p)\n", layout);
    if (!layout) return 0;
    LayerHandler *change = change_record(layout);
    LayerHandler *out = layout->output ? layout->output->refreshHandler : nullptr;
    while (layout->first) release_entry(layout->first, layout->first);
    while (layout->firstPunch) release_entry(layout->firstPunch, layout->firstPunch);
    for (Layer *v : { layout->output, layout->background, layout->foreground }) {
        if (!v) continue;
        if (v->updateHandler == change) v->updateHandler = nullptr;
        if (v->refreshHandler == out) v->refreshHandler = nullptr;
        DeleteLayer(v);   // detaches the caller's layer
    }
    M32_free(change);
    M32_free(out);
    M32_free(layout);
    return 1;
}

LONG PIXAPI AttachBackgroundLayout(Layout *layout, Layer *layer)
{
    WINE_TRACE("(%p, %p)\n", layout, layer);
    if (!layout || !layout->background) return 0;
    AttachActualLayer(layout->background, layer, 1);
    return 1;
}

LONG PIXAPI AttachForegroundLayout(Layout *layout, Layer *layer)
{
    WINE_TRACE("(%p, %p)\n", layout, layer);
    if (!layout || !layout->foreground) return 0;
    AttachActualLayer(layout->foreground, layer, 1);
    return 1;
}

LONG PIXAPI AttachOutputLayout(Layout *layout, Layer *layer)
{
    WINE_TRACE("(%p, %p)\n", layout, layer);
    if (!layout || !layout->output) return 0;
    AttachActualLayer(layout->output, layer, 0);
    return 1;
}

LONG PIXAPI AttachAuxOutLayout(Layout *layout, Layer *layer)
{
    WINE_TRACE("(%p, %p)\n", layout, layer);
    if (!layout) return 0;
    layout->auxOutput = layer;
    return 1;
}

LONG PIXAPI AddLayerLayout(Layout *layout, Layer *layer, LONG onTop)
{
    WINE_TRACE("(%p, %p, %d)\n", layout, layer, (int)onTop);
    return layout ? add_entry(layout, layout->first, layer, onTop != 0) : 0;
}

LONG PIXAPI DeleteLayerLayout(Layout *layout, Layer *layer)
{
    WINE_TRACE("(%p, %p)\n", layout, layer);
    LayoutEntry *e = layout ? find(layout->first, layer) : nullptr;
    if (!e) return 0;
    release_entry(layout->first, e);
    return 1;
}

LONG PIXAPI GetLayerCountLayout(Layout *layout) { return layout ? count(layout->first) : 0; }

Layer *PIXAPI GetLayerLayout(Layout *layout, LONG index) { return layout ? at(layout->first, index) : nullptr; }

LONG PIXAPI GetLayerOffsetLayout(Layout *layout, Layer *layer, LONG *x, LONG *y)
{
    return layout ? get_offset(layout->first, layer, x, y) : 0;
}

LONG PIXAPI SetLayerOffsetLayout(Layout *layout, Layer *layer, LONG x, LONG y)
{
    WINE_TRACE("(%p, %p, %d, %d)\n", layout, layer, (int)x, (int)y);
    return layout ? set_offset(layout->first, layer, x, y) : 0;
}

LONG PIXAPI HighlightLayerLayout(Layout *layout, Layer *layer, LONG flag)
{
    WINE_TRACE("(%p, %p, %d)\n", layout, layer, (int)flag);
    LayoutEntry *e = layout ? find(layout->first, layer) : nullptr;
    if (!e) return 0;
    LONG value = flag ? 1 : 0;
    if (e->highlight != value) {
        e->highlight = value;
        UpdateLayer(layer);
    }
    return 1;
}

LONG PIXAPI SetAlphaLayerLayout(Layout *layout, Layer *layer, LONG alpha)
{
    WINE_TRACE("(%p, %p, %d)\n", layout, layer, (int)alpha);
    LayoutEntry *e = layout ? find(layout->first, layer) : nullptr;
    if (!e) return 0;
    e->alpha = alpha;
    UpdateLayer(layer);
    return 1;
}

LONG PIXAPI GetAlphaLayerLayout(Layout *layout, Layer *layer)
{
    LayoutEntry *e = layout ? find(layout->first, layer) : nullptr;
    return e ? e->alpha : 0;
}

Layer *PIXAPI GetLayerFromPointLayout(Layout *layout, LONG x, LONG y)
{
    if (!layout) return nullptr;
    for (LayoutEntry *e = layout->first; e; e = e->next) {
        Layer *actual = e->layer->partner;
        if (!actual || !layer_compute_effective(actual)) continue;
        RECT r = actual->effective;
        OffsetRect(&r, e->layer->partnerX, e->layer->partnerY);
        if (x >= r.left && x <= r.right && y >= r.top && y <= r.bottom) return actual;
    }
    return nullptr;
}

LONG PIXAPI AddPunchThruLayout(Layout *layout, Layer *layer)
{
    WINE_TRACE("(%p, %p)\n", layout, layer);
    return layout ? add_entry(layout, layout->firstPunch, layer, true) : 0;
}

LONG PIXAPI DeletePunchThruLayout(Layout *layout, Layer *layer)
{
    WINE_TRACE("(%p, %p)\n", layout, layer);
    LayoutEntry *e = layout ? find(layout->firstPunch, layer) : nullptr;
    if (!e) return 0;
    release_entry(layout->firstPunch, e);
    return 1;
}

LONG PIXAPI GetPunchThruCountLayout(Layout *layout) { return layout ? count(layout->firstPunch) : 0; }

Layer *PIXAPI GetPunchThruLayout(Layout *layout, LONG index) { return layout ? at(layout->firstPunch, index) : nullptr; }

LONG PIXAPI GetPunchThruOffsetLayout(Layout *layout, Layer *layer, LONG *x, LONG *y)
{
    return layout ? get_offset(layout->firstPunch, layer, x, y) : 0;
}

LONG PIXAPI SetPunchThruOffsetLayout(Layout *layout, Layer *layer, LONG x, LONG y)
{
    return layout ? set_offset(layout->firstPunch, layer, x, y) : 0;
}

} // extern "C"
