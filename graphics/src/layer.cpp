// Layer records: creation, families of clipped layers, virtual layers and
// their actual partners, effective rectangles, accesses and notifications.
#include <windows.h>
#include <wine/debug.h>
#include "m32.h"
#include "layer.h"

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

DWORD g_refreshSlot = TLS_OUT_OF_INDEXES;
DWORD g_updateSlot = TLS_OUT_OF_INDEXES;

static inline void intersect(RECT &r, const RECT &o)
{
    if (o.left > r.left) r.left = o.left;
    if (o.top > r.top) r.top = o.top;
    if (o.right < r.right) r.right = o.right;
    if (o.bottom < r.bottom) r.bottom = o.bottom;
}

static inline bool rect_empty(const RECT &r) { return r.right <= r.left || r.bottom <= r.top; }

// Adds with saturation: a virtual layer spans 0..2147483647, so offsets on
// its coordinates must not wrap.
static inline LONG sat_add(LONG a, LONG b)
{
    LONGLONG s = (LONGLONG)a + b;
    if (s > 0x7FFFFFFFLL) return 0x7FFFFFFF;
    if (s < -0x7FFFFFFFLL - 1) return (LONG)(-0x7FFFFFFFLL - 1);
    return (LONG)s;
}

static void effective_of(const Layer *layer, RECT &r)
{
    r = layer->position;
    for (const Layer *p = layer->parent; p; p = p->parent) intersect(r, p->position);
}

extern "C" LONG layer_compute_effective(Layer *layer)
{
    RECT r;
    effective_of(layer, r);
    Layer *root = layer->root;
    if (root && layer_is_virtual(root)) {
        Layer *actual = root->partner;
        if (!actual) return 0;
        RECT a;
        effective_of(actual, a);
        a.left = sat_add(a.left, root->partnerX);
        a.right = sat_add(a.right, root->partnerX);
        a.top = sat_add(a.top, root->partnerY);
        a.bottom = sat_add(a.bottom, root->partnerY);
        intersect(r, a);
    }
    layer->effective = r;
    if (layer_is_clipped(layer)) {
        layer->width = (LONG)((LONGLONG)r.right - r.left);
        layer->height = (LONG)((LONGLONG)r.bottom - r.top);
    }
    layer->visible.left = r.left - layer->position.left;
    layer->visible.top = r.top - layer->position.top;
    layer->visible.right = r.right - layer->position.left;
    layer->visible.bottom = r.bottom - layer->position.top;
    return 1;
}

extern "C" {

Layer *PIXAPI CreateCompatibleLayer(void *pixels, LONG width, LONG height, LONG pitch)
{
    WINE_TRACE("(%p, %d, %d, %d)\n", pixels, (int)width, (int)height, (int)pitch);
    if (width <= 0 || height <= 0) return NULL;
    Layer *l = m32_new<Layer>();
    if (!l) return NULL;
    l->pixels = (BYTE *)pixels;
    l->width = width;
    l->height = height;
    l->pitch = pitch;
    l->refCount = 1;
    l->kind = LAYER_KIND_PLAIN;
    l->root = l;
    l->position.right = width;
    l->position.bottom = height;
    return l;
}

Layer *PIXAPI CreateLayer(LONG width, LONG height, LONG count)
{
    WINE_TRACE("(%d, %d, %d)\n", (int)width, (int)height, (int)count);
    if (width <= 0 || height <= 0 || count <= 0) return NULL;
    ULONGLONG bytes = (ULONGLONG)width * (ULONGLONG)height * (ULONGLONG)count * 4u;
    if (bytes > 0x7FFFFFFFu || (ULONGLONG)width * 4u > 0x7FFFFFFFu) return NULL;
    void *pixels = M32_alloc((DWORD)bytes);
    if (!pixels) return NULL;
    Layer *l = CreateCompatibleLayer(pixels, width, height, width * 4);
    if (!l) {
        M32_free(pixels);
        return NULL;
    }
    l->kind = LAYER_KIND_PLAIN | LAYER_OWNS_PIXELS;
    return l;
}

Layer *PIXAPI CreateVirtualLayer(void)
{
    WINE_TRACE("()\n");
    Layer *l = m32_new<Layer>();
    if (!l) return NULL;
    l->kind = LAYER_KIND_VIRTUAL;
    l->width = l->height = LAYER_VIRTUAL_EXTENT;
    l->position.right = l->position.bottom = LAYER_VIRTUAL_EXTENT;
    l->refCount = 1;
    l->root = l;
    return l;
}

Layer *PIXAPI CreateClippedLayer(Layer *parent)
{
    WINE_TRACE("(%p)\n", parent);
    if (!parent || !parent->root) return NULL;
    Layer *l = m32_new<Layer>();
    if (!l) return NULL;
    l->pixels = parent->pixels;
    l->width = parent->width;
    l->height = parent->height;
    l->pitch = parent->pitch;
    l->root = parent->root;
    l->position = parent->position;
    l->kind = LAYER_KIND_CLIPPED;
    l->refCount = 1;
    l->clip.right = parent->width;
    l->clip.bottom = parent->height;
    l->root->refCount++;
    l->parent = parent;
    l->nextSibling = parent->firstChild;
    if (parent->firstChild) parent->firstChild->prevSibling = l;
    parent->firstChild = l;
    return l;
}

static void apply_clip(Layer *l)
{
    const Layer *p = l->parent;
    const RECT &c = l->clip;
    l->position.left = sat_add(p->position.left, c.left);
    l->position.top = sat_add(p->position.top, c.top);
    l->position.right = sat_add(l->position.left, (LONG)((LONGLONG)c.right - c.left));
    l->position.bottom = sat_add(l->position.top, (LONG)((LONGLONG)c.bottom - c.top));
    for (Layer *ch = l->firstChild; ch; ch = ch->nextSibling)
        if (layer_is_clipped(ch) && ch->parent == l) apply_clip(ch);
}

LONG PIXAPI ClipLayer(Layer *layer, const RECT *rect)
{
    WINE_TRACE("(%p, %p)\n", layer, rect);
    if (!layer || !rect || !layer_is_clipped(layer) || !layer->parent) return 0;
    layer->clip = *rect;
    apply_clip(layer);
    return 1;
}

LONG PIXAPI ClipLayerXYWH(Layer *layer, LONG x, LONG y, LONG w, LONG h)
{
    WINE_TRACE("(%p, %d, %d, %d, %d)\n", layer, (int)x, (int)y, (int)w, (int)h);
    RECT r = { x, y, sat_add(x, w), sat_add(y, h) };
    ClipLayer(layer, &r);
    return 1;
}

Layer *PIXAPI ClipToAlphaLayerEx(Layer *layer, LONG *x, LONG *y, LONG *w, LONG *h)
{
    WINE_TRACE("(%p, %p, %p, %p, %p)\n", layer, x, y, w, h);
    Layer *c = CreateClippedLayer(layer);
    if (!c) return NULL;
    ClipToAlphaLayer(c);
    if (x) *x = c->clip.left;
    if (y) *y = c->clip.top;
    if (w) *w = c->clip.right - c->clip.left;
    if (h) *h = c->clip.bottom - c->clip.top;
    return c;
}

LONG PIXAPI AddRefCountLayer(Layer *layer)
{
    WINE_TRACE("(%p)\n", layer);
    if (!layer) return 0;
    layer->refCount++;
    if ((layer->kind & 2u) && layer->parent && layer->parent->root) layer->parent->root->refCount++;
    return 1;
}

LONG PIXAPI DeleteLayer(Layer *layer)
{
    WINE_TRACE("(%p)\n", layer);
    if (!layer) return 0;
    if (--layer->refCount > 0) {
        if ((layer->kind & 2u) && layer->parent) DeleteLayer(layer->parent->root);
        return 0;
    }
    if (layer->destroy) layer->destroy(layer, NULL);
    if (layer_is_virtual(layer)) DetachActualLayer(layer);
    if (layer->partner) DetachActualLayer(layer->partner);

    Layer *parent = layer->parent;
    if (layer->prevSibling) layer->prevSibling->nextSibling = layer->nextSibling;
    else if (parent && parent->firstChild == layer) parent->firstChild = layer->nextSibling;
    if (layer->nextSibling) layer->nextSibling->prevSibling = layer->prevSibling;

    // Children still alive are hung on this layer's parent so that they never
    // point at a freed record; they keep their position.  Without a parent
    // (a root cannot die while clipped children hold it) they stay unlinked.
    for (Layer *ch = layer->firstChild; ch;) {
        Layer *next = ch->nextSibling;
        ch->prevSibling = NULL;
        ch->nextSibling = NULL;
        ch->parent = parent;
        if (parent) {
            ch->clip.left = ch->position.left - parent->position.left;
            ch->clip.top = ch->position.top - parent->position.top;
            ch->clip.right = ch->clip.left + (ch->position.right - ch->position.left);
            ch->clip.bottom = ch->clip.top + (ch->position.bottom - ch->position.top);
            ch->nextSibling = parent->firstChild;
            if (parent->firstChild) parent->firstChild->prevSibling = ch;
            parent->firstChild = ch;
        }
        ch = next;
    }

    Layer *root = layer->root;
    bool releaseRoot = (layer->kind & 2u) && parent && root && root != layer;
    layer->parent = layer->root = layer->prevSibling = layer->nextSibling = layer->firstChild = NULL;
    if ((layer->kind & LAYER_OWNS_PIXELS) && layer->pixels) M32_free(layer->pixels);
    ZeroMemory(layer, sizeof(*layer));
    M32_free(layer);
    if (releaseRoot) DeleteLayer(root);
    return 1;
}

LONG PIXAPI GetUnionRectRef(Layer *a, Layer *b, RECT *out)
{
    WINE_TRACE("(%p, %p, %p)\n", a, b, out);
    if (!a || !b || !out || !a->root || a->root != b->root) return 0;
    RECT r = a->position;
    intersect(r, b->position);
    out->left = r.left - a->position.left;
    out->top = r.top - a->position.top;
    out->right = r.right - a->position.left;
    out->bottom = r.bottom - a->position.top;
    return 1;
}

// ---- Notifications ----------------------------------------------------

static LONG slot_on(DWORD slot)
{
    if (slot == TLS_OUT_OF_INDEXES) return 0;
    return TlsGetValue(slot) != NULL;
}

static LONG notify(Layer *layer, DWORD slot, bool refresh)
{
    if (!layer || !slot_on(slot)) return 0;
    for (Layer *l = layer; l; l = l->parent) {
        LayerHandler *h = refresh ? l->refreshHandler : l->updateHandler;
        if (!h) continue;
        if (!h->proc) return 1;
        return h->proc(layer, h) ? 1 : 0;
    }
    return 0;
}

LONG PIXAPI RefreshLayer(Layer *layer) { return notify(layer, g_refreshSlot, true); }
LONG PIXAPI UpdateLayer(Layer *layer) { return notify(layer, g_updateSlot, false); }

LONG PIXAPI RefreshEnable(LONG value)
{
    if (g_refreshSlot == TLS_OUT_OF_INDEXES) return 0;
    return TlsSetValue(g_refreshSlot, (void *)(INT_PTR)(value != 0));
}

LONG PIXAPI UpdateEnable(LONG value)
{
    if (g_updateSlot == TLS_OUT_OF_INDEXES) return 0;
    return TlsSetValue(g_updateSlot, (void *)(INT_PTR)(value != 0));
}

LONG PIXAPI RefreshLayerEx(Layer *layer)
{
    WINE_TRACE("(%p)\n", layer);
    RefreshEnable(1);
    UpdateEnable(0);
    LONG r = RefreshLayer(layer);
    RefreshEnable(0);
    UpdateEnable(0);
    return r;
}

LONG PIXAPI UpdateLayerEx(Layer *layer)
{
    WINE_TRACE("(%p)\n", layer);
    RefreshEnable(0);
    UpdateEnable(1);
    LONG r = UpdateLayer(layer);
    RefreshEnable(0);
    UpdateEnable(0);
    return r;
}

// ---- Virtual and actual partners -------------------------------------

// A refresh on one side may notify the other side, whose handler would
// notify back; one forwarding at a time per thread breaks that ring.
static thread_local int t_forwarding;

// The flag is reached through a System V function: inside the core's
// WINAPI (ms_abi) functions GCC keeps live values in rsi/rdi across the
// System V __tls_get_addr call, which clobbers them.
static __attribute__((noinline, sysv_abi)) int *forwarding_flag() { return &t_forwarding; }

static LONG forward(Layer *from, Layer *to, Layer *notified, LONG dx, LONG dy)
{
    int &t_forwarding = *forwarding_flag();
    if (t_forwarding) return 1;
    RECT r;
    if (!GetUnionRectRef(from, notified, &r)) return 0;
    OffsetRect(&r, dx, dy);
    Layer *c = CreateClippedLayer(to);
    if (!c) return 0;
    ClipLayer(c, &r);
    t_forwarding = 1;
    RefreshLayer(c);
    UpdateLayer(c);
    t_forwarding = 0;
    DeleteLayer(c);
    return 1;
}

static LONG PIXAPI forward_to_actual(Layer *notified, LayerHandler *h)
{
    WINE_TRACE("(%p, %p)\n", notified, h);
    Layer *virt = h->first, *actual = h->second;
    if (!virt || !actual) return 0;
    return forward(virt, actual, notified, -virt->partnerX, -virt->partnerY);
}

static LONG PIXAPI forward_to_virtual(Layer *notified, LayerHandler *h)
{
    WINE_TRACE("(%p, %p)\n", notified, h);
    Layer *virt = h->first, *actual = h->second;
    if (!virt || !actual) return 0;
    return forward(actual, virt, notified, virt->partnerX, virt->partnerY);
}

static bool is_forwarder(const LayerHandler *h)
{
    return h && (h->proc == forward_to_actual || h->proc == forward_to_virtual);
}

static void drop_forwarders(Layer *l)
{
    if (!l) return;
    if (is_forwarder(l->refreshHandler)) { M32_free(l->refreshHandler); l->refreshHandler = NULL; }
    if (is_forwarder(l->updateHandler)) { M32_free(l->updateHandler); l->updateHandler = NULL; }
}

LONG PIXAPI DetachActualLayer(Layer *virt)
{
    WINE_TRACE("(%p)\n", virt);
    if (!virt || !layer_is_virtual(virt) || !virt->partner) return 0;
    Layer *actual = virt->partner;
    drop_forwarders(virt);
    drop_forwarders(actual);
    actual->partner = NULL;
    virt->partner = NULL;
    return 1;
}

static void replace_handler(LayerHandler *&slot, LayerHandler *h)
{
    if (slot && slot != h) M32_free(slot);
    slot = h;
}

LONG PIXAPI AttachActualLayer(Layer *virt, Layer *actual, LONG direction)
{
    WINE_TRACE("(%p, %p, %d)\n", virt, actual, (int)direction);
    if (!virt) return 0;
    DetachActualLayer(virt);
    if (!actual || !layer_is_virtual(virt) || layer_is_virtual(actual)) return 0;
    if (actual->partner) DetachActualLayer(actual->partner);

    LayerHandler *a = m32_new<LayerHandler>();
    LayerHandler *b = m32_new<LayerHandler>();
    if (!a || !b) {
        M32_free(a);
        M32_free(b);
        return 0;
    }
    virt->partner = actual;
    actual->partner = virt;
    a->proc = forward_to_actual; a->first = virt; a->second = actual;
    b->proc = forward_to_virtual; b->first = virt; b->second = actual;
    if (direction) {
        replace_handler(virt->refreshHandler, a);
        replace_handler(actual->updateHandler, b);
    } else {
        replace_handler(virt->updateHandler, a);
        replace_handler(actual->refreshHandler, b);
    }
    return 1;
}

// ---- Accesses ----------------------------------------------------------

static void count_access(Layer *root)
{
    if (root->accessCount == 0 && root->beginAccess) root->beginAccess(root, NULL);
    root->accessCount++;
}

static LONG release_access(Layer *root, Layer *accessed)
{
    if (!root) return 0;
    if (root->accessCount != 0 && --root->accessCount == 0 && root->endAccess)
        return root->endAccess(root, accessed) ? 1 : 0;
    return 1;
}

// Resolves a virtual root to its partner's root and moves (x, y) into the
// partner root's coordinates.  Null when the partner is missing.
static Layer *resolve_root(Layer *root, LONG &x, LONG &y)
{
    if (!layer_is_virtual(root)) return root;
    Layer *p = root->partner;
    if (!p) return NULL;
    x += p->position.left - root->partnerX;
    y += p->position.top - root->partnerY;
    return p->root;
}

static Layer *make_temporary(Layer *layer)
{
    Layer *t = CreateClippedLayer(layer);
    if (t) t->kind = LAYER_KIND_TEMPORARY;
    return t;
}

LONG PIXAPI BeginLayerAccess(LayerAccess *acc, Layer *layer, Layer *second)
{
    WINE_TRACE("(%p, %p, %p)\n", acc, layer, second);
    if (!acc) return 0;
    ZeroMemory(acc, sizeof(*acc));
    acc->first = layer;
    acc->second = second;
    if (!layer || !layer->root) return 0;

    // Everything counted or made so far is undone on failure, so that a failed
    // access leaves no count, no temporary and no unpaired callback behind.
    // A virtual root and the actual root behind it are both counted, so the
    // callbacks of each run once per outermost access.
    Layer *root1 = layer->root, *root2 = NULL, *temp1 = NULL, *temp2 = NULL, *mem1 = NULL, *mem2 = NULL;
    count_access(root1);

    LONG x = layer->position.left, y = layer->position.top;
    Layer *mem = resolve_root(root1, x, y);
    if (mem && mem != root1) count_access(mem1 = mem);
    if (!mem || !mem->pixels) goto fail;
    acc->firstBase = mem->pixels + (INT_PTR)y * mem->pitch + (INT_PTR)x * 4;
    acc->firstPitch = mem->pitch;
    if (!layer_is_clipped(layer)) {
        temp1 = make_temporary(layer);
        if (!temp1) goto fail;
        acc->first = temp1;
    }
    if (!layer_compute_effective(acc->first) || rect_empty(acc->first->visible)) goto fail;
    acc->firstVisible = acc->first->visible;
    acc->secondVisible = acc->firstVisible;

    if (second) {
        if (!second->root) goto fail;
        root2 = second->root;
        count_access(root2);
        LONG x2 = second->position.left, y2 = second->position.top;
        Layer *m2 = resolve_root(root2, x2, y2);
        if (m2 && m2 != root2) count_access(mem2 = m2);
        if (m2 && m2->pixels) {
            Layer *s = second;
            if (!layer_is_clipped(second)) {
                temp2 = make_temporary(second);
                if (!temp2) goto fail;
                s = temp2;
                acc->second = temp2;
            }
            if (layer_compute_effective(s)) {
                acc->secondBase = m2->pixels + (INT_PTR)y2 * m2->pitch + (INT_PTR)x2 * 4;
                acc->secondPitch = m2->pitch;
                acc->secondVisible = s->visible;
            }
        }
    }

    acc->window = acc->firstVisible;
    intersect(acc->window, acc->secondVisible);
    if (!acc->secondBase || rect_empty(acc->window)) {
        acc->window = acc->firstVisible;
        acc->secondVisible = acc->firstVisible;
        acc->secondBase = NULL;
        acc->secondPtr = NULL;
    }
    acc->width = acc->window.right - acc->window.left;
    acc->height = acc->window.bottom - acc->window.top;
    acc->firstPtr = acc->firstBase + (INT_PTR)acc->window.top * acc->firstPitch + (INT_PTR)acc->window.left * 4;
    if (acc->secondBase)
        acc->secondPtr = acc->secondBase + (INT_PTR)acc->window.top * acc->secondPitch + (INT_PTR)acc->window.left * 4;
    return 1;

fail:
    WINE_TRACE("no access on %p (second %p)\n", layer, second);
    if (temp2) DeleteLayer(temp2);
    if (mem2) release_access(mem2, second);
    if (root2) release_access(root2, second);
    if (temp1) DeleteLayer(temp1);
    if (mem1) release_access(mem1, layer);
    release_access(root1, layer);
    ZeroMemory(acc, sizeof(*acc));
    return 0;
}

// The access is released on the roots it was counted on by
// BeginLayerAccess: the caller's layer's own root and, for a virtual root,
// the actual root behind it.
static LONG end_one(Layer *&field)
{
    Layer *l = field;
    if (l && l->kind == LAYER_KIND_TEMPORARY) {
        field = l->parent;
        DeleteLayer(l);
        l = field;
    }
    if (!l || !l->root) return 0;
    LONG ok = release_access(l->root, l);
    Layer *root = l->root;
    if (layer_is_virtual(root) && root->partner && root->partner->root && root->partner->root != root)
        ok = release_access(root->partner->root, l) && ok;
    return ok;
}

LONG PIXAPI EndLayerAccess(LayerAccess *acc)
{
    WINE_TRACE("(%p)\n", acc);
    if (!acc || !acc->first) return 0;
    LONG ok = end_one(acc->first);
    if (acc->second) ok = end_one(acc->second) && ok;
    return ok;
}

} // extern "C"

// ---- Overlap helpers for blending one access into another -------------

extern "C" LONG layer_overlap_window(const LayerAccess *a, const LayerAccess *b,
                                     LONG *width, LONG *height,
                                     BYTE **a1, BYTE **a2, BYTE **b2)
{
    RECT w = a->window;
    intersect(w, b->window);
    if (rect_empty(w)) return 0;
    *width = w.right - w.left;
    *height = w.bottom - w.top;
    *a1 = a->firstBase ? a->firstBase + (INT_PTR)w.top * a->firstPitch + (INT_PTR)w.left * 4 : NULL;
    *a2 = a->secondBase ? a->secondBase + (INT_PTR)w.top * a->secondPitch + (INT_PTR)w.left * 4 : NULL;
    *b2 = b->secondBase ? b->secondBase + (INT_PTR)w.top * b->secondPitch + (INT_PTR)w.left * 4 : NULL;
    return 1;
}

extern "C" LONG layer_overlap_runs(LONG s1, LONG e1, LONG s2, LONG e2, LONG mask, LONG *out)
{
    // Cut points of the two spans, in order; each piece between two cuts is
    // classed by which spans cover it.
    bool p1 = (mask & 1) && e1 > s1, p2 = (mask & 2) && e2 > s2;
    LONG cuts[4];
    int n = 0;
    if (p1) { cuts[n++] = s1; cuts[n++] = e1; }
    if (p2) { cuts[n++] = s2; cuts[n++] = e2; }
    for (int i = 1; i < n; ++i)
        for (int j = i; j > 0 && cuts[j - 1] > cuts[j]; --j) { LONG t = cuts[j]; cuts[j] = cuts[j - 1]; cuts[j - 1] = t; }
    int runs = 0;
    for (int i = 0; i + 1 < n; ++i) {
        LONG a = cuts[i], b = cuts[i + 1];
        if (b <= a) continue;
        LONG cov = 0;
        if (p1 && a >= s1 && b <= e1) cov |= 1;
        if (p2 && a >= s2 && b <= e2) cov |= 2;
        if (runs && out[2 * runs - 1] == cov) out[2 * runs - 2] += b - a;
        else { out[2 * runs] = b - a; out[2 * runs + 1] = cov; ++runs; }
    }
    out[2 * runs] = 0;
    out[2 * runs + 1] = 0;
    return runs;
}

extern "C" LONG layer_scale_rect(RECT *rect, LONG mulX, LONG divX, LONG mulY, LONG divY)
{
    if (!rect || !mulX || !divX || !mulY || !divY) return 0;
    auto lo = [](LONG v, LONG m, LONG d) { return (LONG)(((LONGLONG)v * m) / d); };
    auto hi = [](LONG v, LONG m, LONG d) {
        LONGLONG p = (LONGLONG)v * m;
        return (LONG)(p / d + (p % d ? 1 : 0));
    };
    rect->left = lo(rect->left, mulX, divX);
    rect->top = lo(rect->top, mulY, divY);
    rect->right = hi(rect->right, mulX, divX);
    rect->bottom = hi(rect->bottom, mulY, divY);
    return 1;
}
