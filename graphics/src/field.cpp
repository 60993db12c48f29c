// Field operations: a layer's window seen as an interlaced frame of even
// and odd rows; one field is rebuilt from the other in place.
#include <windows.h>
#include <wine/debug.h>
#include "layer.h"
#include "access.h"

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

static inline DWORD half_sum(DWORD a, DWORD b)
{
    return ((a >> 1) & 0x7F7F7F7Fu) + ((b >> 1) & 0x7F7F7F7Fu);
}

static inline DWORD quarter_mix(DWORD a, DWORD b)   // 3 * (a / 4) + b / 4, per byte
{
    DWORD qa = (a >> 2) & 0x3F3F3F3Fu, qb = (b >> 2) & 0x3F3F3F3Fu;
    return qa * 3 + qb;   // at most 252 per byte: no carries
}

static inline DWORD brightness(DWORD p) { return ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF); }

extern "C" {

LONG PIXAPI FieldAverageLayer(Layer *layer, LONG field)
{
    WINE_TRACE("(%p, %d)\n", layer, (int)field);
    Access acc(layer);
    if (!acc.ok) return 1;
    for (LONG k = 0; k < acc.height() / 2; ++k) {
        DWORD *even = acc.row1(2 * k), *odd = acc.row1(2 * k + 1);
        DWORD *out = field == 0 ? odd : even;
        for (LONG x = 0; x < acc.width(); ++x) out[x] = half_sum(even[x], odd[x]) | 0x01000000u;
    }
    UpdateLayer(layer);
    return 1;
}

LONG PIXAPI FieldRepeatLayer(Layer *layer, LONG field)
{
    WINE_TRACE("(%p, %d)\n", layer, (int)field);
    Access acc(layer);
    if (!acc.ok) return 1;
    for (LONG k = 0; k < acc.height() / 2; ++k) {
        DWORD *even = acc.row1(2 * k), *odd = acc.row1(2 * k + 1);
        if (field == 0) CopyMemory(odd, even, (SIZE_T)acc.width() * 4);
        else CopyMemory(even, odd, (SIZE_T)acc.width() * 4);
    }
    UpdateLayer(layer);
    return 1;
}

LONG PIXAPI FieldInterpolateLayer(Layer *layer, LONG field)
{
    WINE_TRACE("(%p, %d)\n", layer, (int)field);
    Access acc(layer);
    if (!acc.ok) return 1;
    LONG n = acc.height() / 2 - 1, b0 = field == 1 ? 0 : 1;
    for (LONG k = 0; k < n; ++k) {
        LONG u = b0 + 2 * k;
        DWORD *ru = acc.row1(u), *ru1 = acc.row1(u + 1), *rl = acc.row1(u + 2);
        for (LONG x = 0; x < acc.width(); ++x) {
            DWORD a = ru[x], b = rl[x];
            ru[x] = quarter_mix(a, b) | 0x03000000u;
            ru1[x] = quarter_mix(b, a) | 0x03000000u;
        }
    }
    UpdateLayer(layer);
    return 1;
}

LONG PIXAPI FieldAdaptiveLayer(Layer *layer, LONG field)
{
    WINE_TRACE("(%p, %d)\n", layer, (int)field);
    Access acc(layer);
    if (!acc.ok) return 1;
    LONG n = acc.height() / 2 - 1;
    for (LONG k = 0; k < n; ++k) {
        LONG t = (field == 0 ? 1 : 2) + 2 * k;
        const DWORD *up = acc.row1(t - 1), *dn = acc.row1(t + 1);
        DWORD *tg = acc.row1(t);
        for (LONG x = 0; x < acc.width(); ++x) {
            DWORD s = brightness(tg[x]), s1 = brightness(up[x]), s2 = brightness(dn[x]);
            if (s > s1 && s > s2) tg[x] = s1 >= s2 ? up[x] : dn[x];
            else if (s < s1 && s < s2) tg[x] = s1 <= s2 ? up[x] : dn[x];
        }
    }
    UpdateLayer(layer);
    return 1;
}

} // extern "C"
