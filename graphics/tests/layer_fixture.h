// Helpers for the layer tests: the statically linked core started once,
// layers made from pixel lists and read back, and handler recorders.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pixmoor.h"
#include "startup.h"

namespace lf {

[[maybe_unused]] static void start()
{
    static bool once = (PixmoorProcessAttach(), true);
    (void)once;
}

struct Deleter {
    void operator()(Layer *l) const { if (l) DeleteLayer(l); }
};
using LayerPtr = std::unique_ptr<Layer, Deleter>;

// A w x h layer holding the given pixels row by row (missing ones 0).
inline LayerPtr make(LONG w, LONG h, const std::vector<DWORD> &px = {})
{
    start();
    Layer *l = CreateLayer(w, h, 1);
    if (l)
        for (size_t i = 0; i < px.size() && i < (size_t)(w * h); ++i)
            ((DWORD *)(l->pixels + (i / w) * l->pitch))[i % w] = px[i];
    return LayerPtr(l);
}

inline LayerPtr filled(LONG w, LONG h, DWORD v)
{
    return make(w, h, std::vector<DWORD>((size_t)(w * h), v));
}

// Pixels of a plain layer's whole memory, row by row.
inline std::vector<DWORD> pixels(const Layer *l)
{
    std::vector<DWORD> v;
    for (LONG y = 0; y < l->height; ++y)
        for (LONG x = 0; x < l->width; ++x) v.push_back(((const DWORD *)(l->pixels + y * l->pitch))[x]);
    return v;
}

inline DWORD at(const Layer *l, LONG x, LONG y) { return ((const DWORD *)(l->pixels + y * l->pitch))[x]; }

// A clipped child of parent at (x, y, w, h), owned by the caller.
inline LayerPtr clip(Layer *parent, LONG x, LONG y, LONG w, LONG h)
{
    Layer *c = CreateClippedLayer(parent);
    if (c) ClipLayerXYWH(c, x, y, w, h);
    return LayerPtr(c);
}

// Records handler calls as "name:layer" strings.
struct Recorder {
    std::vector<std::string> calls;
    std::vector<Layer *> layers;
    std::vector<RECT> positions;   // the notified layer's position at the call
};

struct NamedHandler {
    LayerHandler h;   // first member: the core sees a LayerHandler
    const char *name;
    Recorder *rec;
    LONG result;
};

inline LONG PIXAPI record_proc(Layer *layer, LayerHandler *h)
{
    NamedHandler *n = reinterpret_cast<NamedHandler *>(h);
    n->rec->calls.push_back(n->name);
    n->rec->layers.push_back(layer);
    n->rec->positions.push_back(layer->position);
    return n->result;
}

// Both notification switches of this thread on for a scope.
struct Notify {
    Notify() { RefreshEnable(1); UpdateEnable(1); }
    ~Notify() { RefreshEnable(0); UpdateEnable(0); }
};

// Pixel words as hex for readable failures.
inline std::string hex(DWORD v)
{
    char b[16];
    wsprintfA(b, "%08X", v);
    return b;
}

} // namespace lf
