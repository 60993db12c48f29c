// Small helpers for the pixel tests of the scanline sources, resizer,
// conversions and filters: layers made from pixel lists and read back.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "pixmoor.h"
#include "startup.h"

namespace fixture {

// The core linked statically: run its start-up once per program.
struct Startup {
    Startup() { PixmoorProcessAttach(); }
};
static void ensure_started()
{
    static Startup s;
    (void)s;
}

struct LayerDeleter {
    void operator()(Layer *l) const
    {
        if (l) DeleteLayer(l);
    }
};
using LayerPtr = std::unique_ptr<Layer, LayerDeleter>;

static inline LayerPtr make_layer(LONG w, LONG h, const std::vector<DWORD> &pixels = {})
{
    ensure_started();
    Layer *l = CreateLayer(w, h, 1);
    if (l && !pixels.empty()) {
        for (LONG y = 0; y < h; y++)
            for (LONG x = 0; x < w; x++)
                ((DWORD *)(l->pixels + y * l->pitch))[x] = pixels[(size_t)y * w + x];
    }
    return LayerPtr(l);
}

inline LayerPtr filled_layer(LONG w, LONG h, DWORD pixel)
{
    return make_layer(w, h, std::vector<DWORD>((size_t)w * h, pixel));
}

// Pixels of a plain layer (its whole pixel rectangle), row by row.
inline std::vector<DWORD> pixels_of(const Layer *l)
{
    std::vector<DWORD> out;
    for (LONG y = 0; y < l->height; y++)
        for (LONG x = 0; x < l->width; x++) out.push_back(((const DWORD *)(l->pixels + y * l->pitch))[x]);
    return out;
}

inline DWORD pel(const Layer *l, LONG x, LONG y) { return ((const DWORD *)(l->pixels + y * l->pitch))[x]; }

// A clipped window of a layer; the caller deletes it.
inline LayerPtr clip(Layer *parent, LONG x, LONG y, LONG w, LONG h)
{
    Layer *c = CreateClippedLayer(parent);
    if (c) ClipLayerXYWH(c, x, y, w, h);
    return LayerPtr(c);
}

inline DWORD argb(DWORD a, DWORD r, DWORD g, DWORD b) { return (a << 24) | (r << 16) | (g << 8) | b; }

// Deterministic pseudo-random pixels.
inline std::vector<DWORD> noise(size_t n, uint32_t seed)
{
    std::vector<DWORD> v(n);
    uint32_t s = seed ? seed : 1;
    for (auto &p : v) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        p = s;
    }
    return v;
}

}  // namespace fixture
