/* Internal: scoped layer accesses for the pixel loops.  An Access opens in
 * its constructor and ends in its destructor, so every path of an operation
 * ends what it opened. */
#ifndef PIXMOOR_ACCESS_H
#define PIXMOOR_ACCESS_H

#include <windows.h>
#include "pixmoor.h"

struct Access {
    LayerAccess a;
    bool ok;
    explicit Access(Layer *layer, Layer *second = nullptr) : a() { ok = layer && BeginLayerAccess(&a, layer, second) != 0; }
    ~Access() { if (ok) EndLayerAccess(&a); }
    Access(const Access &) = delete;
    Access &operator=(const Access &) = delete;

    bool has_second() const { return ok && a.secondPtr; }
    LONG width() const { return a.width; }
    LONG height() const { return a.height; }
    DWORD *row1(LONG y) const { return (DWORD *)(a.firstPtr + (INT_PTR)y * a.firstPitch); }
    DWORD *row2(LONG y) const { return (DWORD *)(a.secondPtr + (INT_PTR)y * a.secondPitch); }
};

/* The window common to several accesses that share their first layer:
 * the intersection of their windows, with row pointers of the first layer
 * and of each access's second layer at its top-left. */
struct CommonWindow {
    LONG width = 0, height = 0;
    BYTE *first = nullptr;
    LONG firstPitch = 0;
    BYTE *second[4] = {};
    LONG secondPitch[4] = {};

    /* false when any access lacks its second layer or the window is empty */
    bool build(Access *const *acc, int n)
    {
        if (n < 1 || n > 4) return false;
        RECT w = acc[0]->a.window;
        for (int i = 0; i < n; ++i) {
            if (!acc[i]->has_second()) return false;
            const RECT &o = acc[i]->a.window;
            if (o.left > w.left) w.left = o.left;
            if (o.top > w.top) w.top = o.top;
            if (o.right < w.right) w.right = o.right;
            if (o.bottom < w.bottom) w.bottom = o.bottom;
        }
        if (w.right <= w.left || w.bottom <= w.top) return false;
        width = w.right - w.left;
        height = w.bottom - w.top;
        const LayerAccess &f = acc[0]->a;
        first = f.firstBase + (INT_PTR)w.top * f.firstPitch + (INT_PTR)w.left * 4;
        firstPitch = f.firstPitch;
        for (int i = 0; i < n; ++i) {
            const LayerAccess &s = acc[i]->a;
            second[i] = s.secondBase + (INT_PTR)w.top * s.secondPitch + (INT_PTR)w.left * 4;
            secondPitch[i] = s.secondPitch;
        }
        return true;
    }
    DWORD *row_first(LONG y) const { return (DWORD *)(first + (INT_PTR)y * firstPitch); }
    DWORD *row_second(int i, LONG y) const { return (DWORD *)(second[i] + (INT_PTR)y * secondPitch[i]); }
};

#endif
