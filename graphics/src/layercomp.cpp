// Layer-level compositing: one layer over or under another, with and
// without an opacity, outputs of two or three layers, masks and the paint
// engine's composite, mixer, selection, cut and paste.
#include <windows.h>
#include <wine/debug.h>
#include <climits>
#include <new>
#include "m32.h"
#include "layer.h"
#include "compose.h"
#include "access.h"

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

namespace {

inline DWORD with_alpha(DWORD p, DWORD a) { return (p & 0x00FFFFFFu) | (a << 24); }

// A scratch row for the operations that lay a modified copy of a row (alpha
// scaled by an opacity, a pale backing) through the packed over.  When it
// cannot be had, the callers take their pixel-by-pixel loop instead.
struct ScratchRow {
    DWORD *p = nullptr;
    LONG size = 0;
    ScratchRow() = default;
    explicit ScratchRow(LONG n) { get(n); }
    ~ScratchRow() { if (p) M32_free(p); }
    // At least n pixels, or null.  Rows of one walk all have one width, so
    // this allocates once per call.
    DWORD *get(LONG n)
    {
        if (n <= 0) return nullptr;
        if (size < n) {
            if (p) M32_free(p);
            p = (DWORD *)M32_alloc((DWORD)n * sizeof(DWORD));
            size = p ? n : 0;
        }
        return p;
    }
    ScratchRow(const ScratchRow &) = delete;
    ScratchRow &operator=(const ScratchRow &) = delete;
};

// Copy of a row with each alpha a replaced by scale(opacity, a).
inline void scale_alpha_row(const DWORD *src, DWORD *dst, LONG w, DWORD op)
{
    const WORD *pt = ProductTable + (op << 8);
    for (LONG x = 0; x < w; ++x) dst[x] = with_alpha(src[x], (DWORD)pt[src[x] >> 24] >> 8);
}

// The common frame of the two-layer operations: open (first, second),
// refresh, walk the overlap row by row with rule(F row, S row, width),
// update, end.
template <class Rule>
LONG two_layer(Layer *first, Layer *second, Layer *refresh1, Layer *refresh2, Layer *updated, Rule rule)
{
    Access acc(first, second);
    if (!acc.ok) return 1;
    if (refresh1) RefreshLayer(refresh1);
    if (refresh2) RefreshLayer(refresh2);
    if (!acc.has_second()) return 1;
    for (LONG y = 0; y < acc.height(); ++y) rule(acc.row1(y), acc.row2(y), acc.width());
    UpdateLayer(updated);
    return 1;
}

} // namespace

extern "C" {

LONG PIXAPI CompositOnTopLayer(Layer *first, Layer *second)
{
    WINE_TRACE("(%p, %p)\n", first, second);
    const bool mmx = g_useMMX != 0;
    return two_layer(first, second, second, NULL, first, [mmx](DWORD *f, const DWORD *s, LONG w) {
        if (mmx) pm_over_guarded_array(f, s, f, w);
        else pm_over_table_array(f, s, f, w);
    });
}

LONG PIXAPI CompositOnTopLayerCorrect(Layer *first, Layer *second) { return CompositOnTopLayer(first, second); }

LONG PIXAPI CompositOnBottomLayer(Layer *first, Layer *second)
{
    WINE_TRACE("(%p, %p)\n", first, second);
    const bool mmx = g_useMMX != 0;
    return two_layer(first, second, second, NULL, second, [mmx](const DWORD *f, DWORD *s, LONG w) {
        if (mmx) pm_over_guarded_array(f, s, s, w);
        else pm_over_table_array(f, s, s, w);
    });
}

LONG PIXAPI CompositOnBottomLayerCorrect(Layer *first, Layer *second) { return CompositOnBottomLayer(first, second); }

LONG PIXAPI CompositOnTopLayerEx(Layer *first, Layer *second, LONG opacity)
{
    WINE_TRACE("(%p, %p, %d)\n", first, second, (int)opacity);
    DWORD op = opacity & 0xFF;
    ScratchRow tmp;
    return two_layer(first, second, second, first, first, [op, &tmp](DWORD *f, const DWORD *s, LONG w) {
        DWORD *row;
        if (op == 255) pm_over_table_array(f, s, f, w);      // scale(255, a) = a
        else if ((row = tmp.get(w)) != nullptr) {
            scale_alpha_row(s, row, w, op);
            pm_over_table_array(f, row, f, w);
        } else {
            for (LONG x = 0; x < w; ++x) f[x] = pm_over(f[x], with_alpha(s[x], pm_scale(op, s[x] >> 24)));
        }
    });
}

LONG PIXAPI CompositOnBottomLayerEx(Layer *first, Layer *second, LONG opacity)
{
    WINE_TRACE("(%p, %p, %d)\n", first, second, (int)opacity);
    DWORD op = opacity & 0xFF;
    ScratchRow tmp;
    return two_layer(first, second, second, first, second, [op, &tmp](const DWORD *f, DWORD *s, LONG w) {
        DWORD *row;
        if (op == 255) pm_over_table_array(f, s, s, w);
        else if ((row = tmp.get(w)) != nullptr) {
            scale_alpha_row(f, row, w, op);
            pm_over_table_array(row, s, s, w);
        } else {
            for (LONG x = 0; x < w; ++x) s[x] = pm_over(with_alpha(f[x], pm_scale(op, f[x] >> 24)), s[x]);
        }
    });
}

LONG PIXAPI PunchThruLayer(Layer *layer, Layer *mask)
{
    WINE_TRACE("(%p, %p)\n", layer, mask);
    return two_layer(layer, mask, mask, layer, layer, [](DWORD *f, const DWORD *s, LONG w) {
        for (LONG x = 0; x < w; ++x) {
            DWORD af = f[x] >> 24, lim = 255 - (s[x] >> 24);
            if (af > lim) f[x] = with_alpha(f[x], lim);
        }
    });
}

// Top over bottom into the output, over the window where all three meet (so
// that the bottom is read at the same place as the top).
LONG PIXAPI CompositOnOutputLayer(Layer *top, Layer *bottom, Layer *output)
{
    WINE_TRACE("(%p, %p, %p)\n", top, bottom, output);
    Access at(output, top);
    Access ab(output, bottom);
    if (top) RefreshLayer(top);
    if (bottom) RefreshLayer(bottom);
    if (!at.has_second()) {
        if (bottom) CopyLayer(output, bottom);
    } else if (!ab.has_second()) {
        if (top) CopyLayer(output, top);
    } else {
        Access *both[2] = { &at, &ab };
        CommonWindow cw;
        if (cw.build(both, 2)) {
            const bool mmx = g_useMMX != 0;
            for (LONG y = 0; y < cw.height; ++y) {
                DWORD *o = cw.row_first(y);
                const DWORD *t = cw.row_second(0, y), *b = cw.row_second(1, y);
                if (mmx) pm_over_guarded_array(t, b, o, cw.width);
                else pm_over_table_array(t, b, o, cw.width);
            }
        }
    }
    if (output) UpdateLayer(output);
    return 1;   // ab ends before at (reverse order of construction)
}

LONG PIXAPI CompositOnOutputLayerCorrect(Layer *top, Layer *bottom, Layer *output)
{
    WINE_TRACE("(%p, %p, %p)\n", top, bottom, output);
    return CompositOnOutputLayer(top, bottom, output);
}

// The destination stays in front; the first layer is laid under it, the
// second under both.  Rows of the bounding rectangle of the two windows are
// cut into runs by coverage.
LONG PIXAPI TwoLayerComposit(Layer *dst, Layer *first, Layer *second)
{
    WINE_TRACE("(%p, %p, %p)\n", dst, first, second);
    Access a1(dst, first);
    Access a2(dst, second);
    if (first) RefreshLayer(first);
    if (second) RefreshLayer(second);
    bool p1 = a1.has_second(), p2 = a2.has_second();
    if (!p1 && !p2) {
        if (a1.ok || a2.ok) UpdateLayer(dst);
        return 1;
    }
    const RECT w1 = a1.a.window, w2 = a2.a.window;
    RECT box;
    if (p1 && p2) {
        box.left = w1.left < w2.left ? w1.left : w2.left;
        box.top = w1.top < w2.top ? w1.top : w2.top;
        box.right = w1.right > w2.right ? w1.right : w2.right;
        box.bottom = w1.bottom > w2.bottom ? w1.bottom : w2.bottom;
    } else {
        box = p1 ? w1 : w2;
    }
    LONG *runs = (LONG *)M32_alloc(32 * sizeof(LONG));
    if (!runs) return 1;
    const LayerAccess &A = a1.a, &B = a2.a;
    BYTE *dbase = p1 ? A.firstBase : B.firstBase;
    LONG dpitch = p1 ? A.firstPitch : B.firstPitch;
    for (LONG y = box.top; y < box.bottom; ++y) {
        LONG mask = 0;
        if (p1 && y >= w1.top && y < w1.bottom) mask |= 1;
        if (p2 && y >= w2.top && y < w2.bottom) mask |= 2;
        layer_overlap_runs(w1.left, w1.right, w2.left, w2.right, mask, runs);
        DWORD *d = (DWORD *)(dbase + (INT_PTR)y * dpitch);
        const DWORD *f = p1 ? (const DWORD *)(A.secondBase + (INT_PTR)y * A.secondPitch) : NULL;
        const DWORD *s = p2 ? (const DWORD *)(B.secondBase + (INT_PTR)y * B.secondPitch) : NULL;
        // Runs start at the first covered column of this row.
        LONG x = 0x7FFFFFFF;
        if (mask & 1) x = w1.left;
        if ((mask & 2) && w2.left < x) x = w2.left;
        // Both: (D over first) over second, one pass after the other.
        for (LONG *r = runs; r[0]; r += 2) {
            LONG n = r[0], cov = r[1];
            if (cov & 1) pm_over_table_array(d + x, f + x, d + x, n);
            if (cov & 2) pm_over_table_array(d + x, s + x, d + x, n);
            x += n;
        }
    }
    M32_free(runs);
    UpdateLayer(dst);
    return 1;
}

LONG PIXAPI ThreeLayerComposit(Layer *dst, Layer *bottom, Layer *middle, Layer *top, LONG opacity)
{
    WINE_TRACE("(%p, %p, %p, %p, %d)\n", dst, bottom, middle, top, (int)opacity);
    Access at(dst, top), am(dst, middle), ab(dst, bottom);
    if (!at.ok || !am.ok || !ab.ok) return 0;
    if (at.width() != am.width() || at.width() != ab.width() || at.height() != am.height() ||
        at.height() != ab.height())
        return 1;
    if (!at.has_second() || !am.has_second() || !ab.has_second()) return 0;
    const DWORD op = opacity & 0xFF;
    const bool mmx = g_useMMX != 0;
    ScratchRow tmp(at.width());
    for (LONG y = 0; y < at.height(); ++y) {
        DWORD *d = at.row1(y);
        const DWORD *t = at.row2(y), *m = am.row2(y), *b = ab.row2(y);
        const LONG w = at.width();
        if (tmp.p) {
            // The guarded array is exactly "fast where the bottom alpha is at
            // least 5, after the shortcuts".
            scale_alpha_row(m, tmp.p, w, op);
            if (mmx) {
                pm_over_guarded_array(t, tmp.p, tmp.p, w);
                pm_over_guarded_array(tmp.p, b, d, w);
            } else {
                pm_over_table_array(t, tmp.p, tmp.p, w);
                pm_over_table_array(tmp.p, b, d, w);
            }
            continue;
        }
        for (LONG x = 0; x < w; ++x) {
            DWORD mm = with_alpha(m[x], pm_scale(op, m[x] >> 24));
            DWORD tm = pm_over_guarded(t[x], mm, mmx && (mm >> 24) >= 5);
            d[x] = pm_over_guarded(tm, b[x], mmx && (b[x] >> 24) >= 5);
        }
    }
    return 1;
}

LONG PIXAPI CompositMany(Layer *dst, const CompositManyEntry *list, LONG count)
{
    WINE_TRACE("(%p, %p, %d)\n", dst, list, (int)count);
    if (!dst || !list || count <= 0) return 0;
    LONG i = 0;
    while (i < count && (!list[i].layer || (list[i].opacity & 0xFF) == 0)) ++i;
    if (i == count) {
        ClearLayer(dst);
        return 1;
    }
    DWORD baseOp = list[i].opacity & 0xFF;
    if (baseOp == 255) CopyLayer(dst, list[i].layer);
    else CopyWithOpacityLayer(dst, list[i].layer, (LONG)baseOp);
    ++i;

    struct Item { LayerAccess a; DWORD op; };
    LONG n = 0;
    Item *items = (Item *)M32_alloc((DWORD)(sizeof(Item) * (count - i + 1)));
    if (!items) return 1;
    for (; i < count; ++i) {
        DWORD op = list[i].opacity & 0xFF;
        if (!list[i].layer || !op) continue;
        if (BeginLayerAccess(&items[n].a, list[i].layer, NULL)) items[n++].op = op;
    }
    {
        Access da(dst);
        ScratchRow tmp;
        DWORD *row = da.ok ? tmp.get(da.width()) : nullptr;
        if (da.ok && row) {
            // Entry by entry over a whole row: each pixel still receives the
            // entries in list order, and pixels do not depend on each other.
            for (LONG y = 0; y < da.height(); ++y) {
                DWORD *d = da.row1(y);
                for (LONG k = 0; k < n; ++k) {
                    const LayerAccess &e = items[k].a;
                    if (y >= e.height) continue;
                    const LONG w = e.width < da.width() ? e.width : da.width();
                    const DWORD *src = (const DWORD *)(e.firstPtr + (INT_PTR)y * e.firstPitch);
                    const DWORD op = items[k].op;
                    if (op == 255) {        // a * 255 / 255 = a
                        pm_over_table_array(src, d, d, w);
                        continue;
                    }
                    for (LONG x = 0; x < w; ++x) row[x] = with_alpha(src[x], (src[x] >> 24) * op / 255);
                    pm_over_table_array(row, d, d, w);
                }
            }
        } else if (da.ok) {
            for (LONG y = 0; y < da.height(); ++y) {
                DWORD *d = da.row1(y);
                for (LONG x = 0; x < da.width(); ++x)
                    for (LONG k = 0; k < n; ++k) {
                        const LayerAccess &e = items[k].a;
                        // A layer smaller than the destination adds only where it has pixels.
                        if (x >= e.width || y >= e.height) continue;
                        DWORD p = ((const DWORD *)(e.firstPtr + (INT_PTR)y * e.firstPitch))[x];
                        DWORD a = (p >> 24) * items[k].op / 255;
                        d[x] = CompositPel(with_alpha(p, a), d[x]);
                    }
            }
        }
    }
    for (LONG k = n - 1; k >= 0; --k) EndLayerAccess(&items[k].a);
    M32_free(items);
    return 1;
}

} // extern "C"

namespace {

// The paint-engine frame: accesses (destination, X) for each named layer,
// walked over the window all of them share.
template <int N, class Rule>
LONG paint_op(Layer *dst, Layer *const (&layers)[N], bool refresh, bool update, Rule rule)
{
    Access *acc[N];
    alignas(Access) unsigned char store[N][sizeof(Access)];
    for (int i = 0; i < N; ++i) acc[i] = new (store[i]) Access(dst, layers[i]);
    if (refresh)
        for (int i = 0; i < N; ++i) if (layers[i]) RefreshLayer(layers[i]);
    CommonWindow cw;
    if (cw.build(acc, N)) {
        for (LONG y = 0; y < cw.height; ++y) {
            DWORD *rows[N];
            for (int i = 0; i < N; ++i) rows[i] = cw.row_second(i, y);
            rule(cw.row_first(y), rows, cw.width);
        }
        if (update) UpdateLayer(dst);
    }
    for (int i = N - 1; i >= 0; --i) acc[i]->~Access();
    return 1;
}

} // namespace

extern "C" {

LONG PIXAPI PaintEngineCompositLayer(Layer *dst, Layer *paint, Layer *canvas, Layer *sel, LONG clear)
{
    WINE_TRACE("(%p, %p, %p, %p, %d)\n", dst, paint, canvas, sel, (int)clear);
    Layer *const ls[3] = { paint, canvas, sel };
    return paint_op(dst, ls, true, true, [clear](DWORD *d, DWORD *const *r, LONG w) {
        pm_over_table_array(r[0], r[1], d, w);
        if (clear == 1)
            for (LONG x = 0; x < w; ++x) {
                r[0][x] = 0;
                r[2][x] &= 0x00FFFFFFu;
            }
    });
}

LONG PIXAPI PaintEngineMixerLayer(Layer *dst, Layer *paint, Layer *canvas, Layer *sel, LONG clear)
{
    WINE_TRACE("(%p, %p, %p, %p, %d)\n", dst, paint, canvas, sel, (int)clear);
    Layer *const ls[3] = { paint, canvas, sel };
    return paint_op(dst, ls, true, true, [clear](DWORD *d, DWORD *const *r, LONG w) {
        for (LONG x = 0; x < w; ++x) {
            DWORD p = r[0][x], c = r[1][x], s = r[2][x] >> 24, out;
            if (s == 255) out = p;
            else if (s == 0) out = c;
            else {
                out = 0;
                for (int k = 0; k < 32; k += 8) out |= pm_mix((p >> k) & 0xFF, (c >> k) & 0xFF, s) << k;
            }
            d[x] = out;
            if (clear == 1) {
                r[0][x] = 0;
                r[2][x] &= 0x00FFFFFFu;
            }
        }
    });
}

LONG PIXAPI PaintEngineSelectionLayer(Layer *dst, Layer *src, Layer *sel)
{
    WINE_TRACE("(%p, %p, %p)\n", dst, src, sel);
    Layer *const ls[2] = { src, sel };
    return paint_op(dst, ls, false, false, [](DWORD *d, DWORD *const *r, LONG w) {
        for (LONG x = 0; x < w; ++x) {
            DWORD s = r[0][x];
            d[x] = with_alpha(s, pm_scale(s >> 24, (r[1][x] >> 16) & 0xFF));
        }
    });
}

LONG PIXAPI PaintEngineCutLayer(Layer *dst, Layer *src, Layer *sel)
{
    WINE_TRACE("(%p, %p, %p)\n", dst, src, sel);
    Layer *const ls[2] = { src, sel };
    return paint_op(dst, ls, false, false, [](DWORD *d, DWORD *const *r, LONG w) {
        for (LONG x = 0; x < w; ++x) {
            DWORD s = r[0][x], a = s >> 24, m = pm_scale(a, (r[1][x] >> 16) & 0xFF);
            d[x] = with_alpha(s, m);
            r[0][x] = with_alpha(s, a > m ? a - m : 0);
        }
    });
}

LONG PIXAPI PaintEnginePasteLayer(Layer *clip, Layer *target, Layer *sel, LONG percent)
{
    WINE_TRACE("(%p, %p, %p, %d)\n", clip, target, sel, (int)percent);
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    DWORD op = (DWORD)percent * 255 / 100;
    Layer *const ls[2] = { clip, sel };
    ScratchRow tmp;
    return paint_op(target, ls, false, false, [op, &tmp](DWORD *t, DWORD *const *r, LONG w) {
        DWORD *row = tmp.get(w);
        for (LONG x = 0; x < w; ++x) {
            DWORD c = r[0][x];
            DWORD a = pm_scale(op, pm_scale((r[1][x] >> 16) & 0xFF, c >> 24));
            if (row) row[x] = with_alpha(c, a);
            else t[x] = pm_over(with_alpha(c, a), t[x]);
        }
        if (row) pm_over_table_array(row, t, t, w);
    });
}

} // extern "C"

LONG CompositUnderPaleLayer(Layer *dst, Layer *src)
{
    ScratchRow tmp, pale;
    return two_layer(dst, src, src, NULL, dst, [&tmp, &pale](DWORD *d, const DWORD *s, LONG w) {
        DWORD *row = tmp.get(w), *white = pale.size >= w ? pale.p : pale.get(w);
        if (row && white) {
            if (white[0] != 0x80FFFFFFu)
                for (LONG x = 0; x < w; ++x) white[x] = 0x80FFFFFFu;
            pm_over_table_array(s, white, row, w);
            pm_over_table_array(d, row, d, w);
        } else {
            for (LONG x = 0; x < w; ++x) d[x] = pm_over(d[x], pm_over(s[x], 0x80FFFFFFu));
        }
    });
}
