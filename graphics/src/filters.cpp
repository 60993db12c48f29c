// Layer filters: binomial low pass, sharpening high pass, ring blur,
// weighted vertical blur, mosaic and emboss.
#include <cmath>
#include <cstring>

#include "filters.h"
#include "m32.h"
#include "source_snapshot.h"
#include <wine/debug.h>

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

namespace {

// The window where destination and source overlap.
struct Window {
    BYTE *dst;
    const BYTE *src;
    LONG dstPitch, srcPitch, width, height;
    inline DWORD *drow(LONG y) const { return (DWORD *)(dst + (ptrdiff_t)y * dstPitch); }
    inline const DWORD *srow(LONG y) const { return (const DWORD *)(src + (ptrdiff_t)y * srcPitch); }
};

// Opens the two-layer access and runs fn(window) when the layers overlap.
// Neighbourhood filters would read pixels they have already written when the
// destination shares memory with the source (the same layer given twice,
// for instance); the source window is then read from a copy.
template <class Fn>
LONG with_window(Layer *destination, Layer *source, bool notify, Fn fn)
{
    if (!destination || !source) return 0;
    if (notify) RefreshLayer(source);
    LayerAccess a;
    if (BeginLayerAccess(&a, destination, source)) {
        if (a.secondPtr && a.width > 0 && a.height > 0) {
            Window w{a.firstPtr, a.secondPtr, a.firstPitch, a.secondPitch, a.width, a.height};
            SourceSnapshot snap(a.firstPtr, a.firstPitch, a.secondPtr, a.secondPitch, a.width, a.height, false);
            if (snap.ok) {
                w.src = snap.src;
                w.srcPitch = snap.srcPitch;
                fn(w);
            } else {
                WINE_WARN("no memory to filter %d x %d in place\n", a.width, a.height);
            }
        }
        EndLayerAccess(&a);
    }
    if (notify) UpdateLayer(destination);
    return 1;
}

inline LONG byte_of(DWORD p, int shift) { return (LONG)((p >> shift) & 0xFF); }

// Runs a 3 x 3 kernel with clamp to edge; combine(sum) gives the byte.
template <class Combine>
void kernel3x3(const Window &w, const int k[9], Combine combine)
{
    for (LONG y = 0; y < w.height; y++) {
        const DWORD *rows[3] = {w.srow(y > 0 ? y - 1 : 0), w.srow(y), w.srow(y + 1 < w.height ? y + 1 : y)};
        DWORD *out = w.drow(y);
        for (LONG x = 0; x < w.width; x++) {
            LONG cols[3] = {x > 0 ? x - 1 : 0, x, x + 1 < w.width ? x + 1 : x};
            DWORD result = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                LONG sum = 0;
                for (int j = 0; j < 3; j++)
                    for (int i = 0; i < 3; i++) sum += k[j * 3 + i] * byte_of(rows[j][cols[i]], shift);
                result |= (DWORD)combine(sum) << shift;
            }
            out[x] = result;
        }
    }
}

template <class Combine>
LONG filter3x3(Layer *destination, Layer *source, const int k[9], Combine combine)
{
    return with_window(destination, source, true, [&](const Window &w) {
        if (w.width < 3 || w.height < 3) return;
        kernel3x3(w, k, combine);
    });
}

inline LONG clamp_byte(long long v) { return v < 0 ? 0 : v > 255 ? 255 : (LONG)v; }

}  // namespace

extern "C" {

LONG PIXAPI LowPassLayer(Layer *destination, Layer *source)
{
    WINE_TRACE("(%p, %p)\n", destination, source);
    static const int k[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
    return filter3x3(destination, source, k, [](LONG s) { return s / 16; });
}

LONG PIXAPI HighPassLayer(Layer *destination, Layer *source)
{
    WINE_TRACE("(%p, %p)\n", destination, source);
    static const int k[9] = {1, -2, 1, -2, 5, -2, 1, -2, 1};
    return filter3x3(destination, source, k, [](LONG s) { return clamp_byte(s); });
}

LONG PIXAPI DonutBlurLayer(Layer *destination, Layer *source)
{
    WINE_TRACE("(%p, %p)\n", destination, source);
    static const int k[9] = {1, 1, 1, 1, 0, 1, 1, 1, 1};
    return filter3x3(destination, source, k, [](LONG s) { return s / 8; });
}

LONG PIXAPI VerticalBlurLayer(Layer *destination, Layer *source, DWORD w0, DWORD w1, DWORD w2, DWORD w3, DWORD w4)
{
    WINE_TRACE("(%p, %p, %u, %u, %u, %u, %u)\n", destination, source, w0, w1, w2, w3, w4);
    const unsigned long long wt[5] = {w0, w1, w2, w3, w4};
    // 64-bit sums: five weights of up to 2^32 - 1 times 255 do not fit 32 bits.
    const unsigned long long total = wt[0] + wt[1] + wt[2] + wt[3] + wt[4];
    return with_window(destination, source, false, [&](const Window &w) {
        if (total == 0 || w.height < 5) return;
        for (LONG r = 0; r + 5 <= w.height; r++) {
            const DWORD *p[5] = {w.srow(r), w.srow(r + 1), w.srow(r + 2), w.srow(r + 3), w.srow(r + 4)};
            DWORD *out = w.drow(r + 2);
            for (LONG x = 0; x < w.width; x++) {
                DWORD result = 0;
                for (int shift = 0; shift < 32; shift += 8) {
                    unsigned long long sum = 0;
                    for (int i = 0; i < 5; i++) sum += wt[i] * (unsigned long long)byte_of(p[i][x], shift);
                    result |= (DWORD)(sum / total) << shift;
                }
                out[x] = result;
            }
        }
    });
}

LONG PIXAPI MosaicLayer(Layer *destination, Layer *source, LONG cw, LONG ch)
{
    WINE_TRACE("(%p, %p, %d, %d)\n", destination, source, cw, ch);
    return with_window(destination, source, true, [&](const Window &w) {
        if (cw < 1 || ch < 1) return;
        for (LONG top = 0; top < w.height; top += ch) {
            LONG h = ch < w.height - top ? ch : w.height - top;
            for (LONG left = 0; left < w.width; left += cw) {
                LONG wd = cw < w.width - left ? cw : w.width - left;
                unsigned long long sum[4] = {0, 0, 0, 0};
                for (LONG y = 0; y < h; y++) {
                    const DWORD *s = w.srow(top + y) + left;
                    for (LONG x = 0; x < wd; x++)
                        for (int c = 0; c < 4; c++) sum[c] += byte_of(s[x], c * 8);
                }
                unsigned long long n = (unsigned long long)wd * (unsigned long long)h;
                DWORD cell = 0;
                for (int c = 0; c < 4; c++) cell |= (DWORD)(sum[c] / n) << (c * 8);
                for (LONG y = 0; y < h; y++) {
                    DWORD *d = w.drow(top + y) + left;
                    for (LONG x = 0; x < wd; x++) d[x] = cell;
                }
            }
        }
    });
}

LONG PIXAPI EmbossLayer(Layer *destination, Layer *source, LONG azimuth, LONG elevation, LONG depth)
{
    WINE_TRACE("(%p, %p, %d, %d, %d)\n", destination, source, azimuth, elevation, depth);
    const double rad = 3.14159265358979323846 / 180.0;
    const double az = azimuth * rad, el = elevation * rad;
    const long long Lx = std::llround(255.0 * std::cos(az) * std::cos(el));
    const long long Ly = std::llround(255.0 * std::sin(az) * std::cos(el));
    const long long Lz = std::llround(255.0 * std::sin(el));
    return with_window(destination, source, true, [&](const Window &w) {
        if (depth < 1) return;
        const double Nz = 1530.0 / depth;
        const double Nz2 = (double)std::llround(Nz * Nz);
        const long long NzLz = std::llround(Nz * 255.0 * std::sin(el));
        const DWORD flat = (DWORD)clamp_byte(Lz);
        for (LONG y = 0; y < w.height; y++) {
            const DWORD *up = w.srow(y > 0 ? y - 1 : 0);
            const DWORD *mid = w.srow(y);
            const DWORD *dn = w.srow(y + 1 < w.height ? y + 1 : y);
            DWORD *out = w.drow(y);
            for (LONG x = 0; x < w.width; x++) {
                LONG l = x > 0 ? x - 1 : 0, r = x + 1 < w.width ? x + 1 : x;
                long long ul = byte_of(up[l], 8), u = byte_of(up[x], 8), ur = byte_of(up[r], 8);
                long long ml = byte_of(mid[l], 8), mr = byte_of(mid[r], 8);
                long long dl = byte_of(dn[l], 8), d = byte_of(dn[x], 8), dr = byte_of(dn[r], 8);
                long long Nx = (ul + ml + dl) - (ur + mr + dr);
                long long Ny = (dl + d + dr) - (ul + u + ur);
                DWORD v;
                if (Nx == 0 && Ny == 0) {
                    v = flat;
                } else {
                    long long dot = Lx * Nx + Ly * Ny + NzLz;
                    if (dot < 0) v = 0;
                    else v = (DWORD)clamp_byte(std::llround((double)dot / std::sqrt((double)(Nx * Nx + Ny * Ny) + Nz2)));
                }
                out[x] = (out[x] & 0xFFFF00FFu) | (v << 8);
            }
        }
    });
}

}  // extern "C"
