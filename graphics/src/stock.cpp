// The process-wide stock-layer store: layers under integer ids, owned by the
// store, and the checkerboard default background.  One critical section
// guards both.
#include <windows.h>
#include <wine/debug.h>
#include <map>
#include "m32.h"
#include "layer.h"
#include "access.h"

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

namespace {

struct StockLayerStore {
    CRITICAL_SECTION lock;
    std::map<LONG, Layer *> layers;
    Layer *background = nullptr;
};

StockLayerStore *s_store;

// 16 by 16, squares of 8: lighter top-left and bottom-right.
DWORD s_checker[256];

struct Locked {
    explicit Locked(StockLayerStore *s) : s(s) { EnterCriticalSection(&s->lock); }
    ~Locked() { LeaveCriticalSection(&s->lock); }
    StockLayerStore *s;
};

// A fresh plain copy of the layer's window, or null.
Layer *copy_of(Layer *layer)
{
    LONG w, h;
    {
        Access acc(layer);
        if (!acc.ok || acc.width() <= 0 || acc.height() <= 0) return nullptr;
        w = acc.width();
        h = acc.height();
    }
    Layer *copy = CreateLayer(w, h, 1);
    if (copy) CopyLayer(copy, layer);
    return copy;
}

bool same_width_windows(Layer *stored, Layer *layer)
{
    Access a(stored), b(layer);
    return a.ok && b.ok && a.width() == b.width() && b.width() > 0 && b.height() > 0;
}

} // namespace

void pixmoor_stock_create(void)
{
    if (s_store) return;
    s_store = new StockLayerStore;
    InitializeCriticalSection(&s_store->lock);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            s_checker[y * 16 + x] = ((x < 8) == (y < 8)) ? 0xFF7C7C7Cu : 0xFF6C6C6Cu;
    s_store->background = CreateCompatibleLayer(s_checker, 16, 16, 64);

    static const DWORD colours[5] = { 0xFF000000u, 0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu };
    if (Layer *row = CreateLayer(256, 1, 1)) {
        for (int i = 0; i < 5; ++i) {
            SetLayer(row, colours[i]);
            SetStockLayer(2 + i, row);
        }
        DeleteLayer(row);
    }
    if (Layer *sq = CreateLayer(16, 16, 1)) {
        SetLayer(sq, 0xFF000000u);
        SetPelInLayer(sq, 0, 0, 0xFF0000FFu);
        SetStockLayer(7, sq);
        DeleteLayer(sq);
    }
}

void pixmoor_stock_destroy(void)
{
    if (!s_store) return;
    {
        Locked guard(s_store);
        DeleteLayer(s_store->background);
        s_store->background = nullptr;
        for (auto &e : s_store->layers) DeleteLayer(e.second);
        s_store->layers.clear();
    }
    DeleteCriticalSection(&s_store->lock);
    delete s_store;
    s_store = nullptr;
}

extern "C" {

Layer *PIXAPI GetDefaultBackground(void)
{
    if (!s_store) return NULL;
    Locked guard(s_store);
    return s_store->background;
}

Layer *PIXAPI GetStockLayer(LONG id)
{
    if (!s_store) return NULL;
    Locked guard(s_store);
    auto it = s_store->layers.find(id);
    if (it != s_store->layers.end() && it->second) return it->second;
    it = s_store->layers.find(0);
    if (it != s_store->layers.end() && it->second) return it->second;
    return s_store->background;
}

LONG PIXAPI ExistsStockLayer(LONG id)
{
    if (!s_store) return 0;
    Locked guard(s_store);
    auto it = s_store->layers.find(id);
    return it != s_store->layers.end() && it->second ? 1 : 0;
}

void PIXAPI SetStockLayer(LONG id, Layer *layer)
{
    WINE_TRACE("(%d, %p)\n", (int)id, layer);
    if (!s_store) return;
    Locked guard(s_store);
    auto it = s_store->layers.find(id);
    Layer *stored = it != s_store->layers.end() ? it->second : NULL;
    if (!layer) {
        if (it != s_store->layers.end()) {
            DeleteLayer(stored);
            s_store->layers.erase(it);
        }
    } else if (stored && same_width_windows(stored, layer)) {
        CopyLayer(stored, layer);
    } else {
        Layer *copy = copy_of(layer);
        if (stored) DeleteLayer(stored);
        if (copy) s_store->layers[id] = copy;
        else if (it != s_store->layers.end()) s_store->layers.erase(it);
    }
    if ((DWORD)id <= 7) UpdateAllZellviews();
}

} // extern "C"
