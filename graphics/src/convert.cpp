// Pixel depth, colour-space and gamma conversions.
#include <cstring>

#include "convert.h"
#include "compose.h"
#include "startup.h"
#include "m32.h"
#include "source_snapshot.h"
#include <wine/debug.h>

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

namespace {

// Curve values already placed in their byte of a pixel; identity until a
// curve is set.
struct GammaWords {
    DWORD red[256], green[256], blue[256];
    GammaWords()
    {
        for (DWORD i = 0; i < 256; i++) {
            red[i] = i << 16;
            green[i] = i << 8;
            blue[i] = i;
        }
    }
};
GammaWords g_gamma;

inline DWORD rotl(DWORD v, unsigned n) { n &= 31; return n ? (v << n) | (v >> (32 - n)) : v; }
inline DWORD rotr(DWORD v, unsigned n) { n &= 31; return n ? (v >> n) | (v << (32 - n)) : v; }
inline LONG clamp(LONG v, LONG lo, LONG hi) { return v < lo ? lo : v > hi ? hi : v; }
inline LONG floor_div(LONG a, LONG b) { LONG q = a / b; return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q; }
inline DWORD P(DWORD j, DWORD k) { return ProductTable[(j << 8) | k]; }

// Rotation that brings a channel's top bit to the top of its byte in the
// 32-bit pixel (base 24 red, 16 green, 8 blue).
unsigned channel_shift(DWORD mask, int base)
{
    if (!mask) return 0;
    int top = 32 - __builtin_clz(mask);
    int s = base - top;
    return (unsigned)(s < 0 ? s + 32 : s);
}

struct Shifts {
    unsigned r, g, b;
    explicit Shifts(const PelFormat *f)
        : r(channel_shift(f->redMask, 24)), g(channel_shift(f->greenMask, 16)), b(channel_shift(f->blueMask, 8)) {}
};

void to32(DWORD *dst, const BYTE *src, const PelFormat *f, LONG count, LONG alphaMode)
{
    const DWORD bpp = f->bytesPerPixel;
    if (bpp < 2 || bpp > 4) return;
    Shifts sh(f);
    for (LONG i = 0; i < count; i++, src += bpp) {
        DWORD v = src[0] | ((DWORD)src[1] << 8);
        if (bpp >= 3) v |= (DWORD)src[2] << 16;
        if (bpp == 4) v |= (DWORD)src[3] << 24;
        DWORD p = rotl(v & f->redMask, sh.r) | rotl(v & f->greenMask, sh.g) | rotl(v & f->blueMask, sh.b);
        if (alphaMode == PEL_ALPHA_ZERO) p &= 0x00FFFFFFu;
        else if (alphaMode == PEL_ALPHA_OPAQUE) p |= 0xFF000000u;
        else p = (p & 0x00FFFFFFu) | (dst[i] & 0xFF000000u);
        dst[i] = p;
    }
}

void from32(const DWORD *src, BYTE *dst, const PelFormat *f, LONG count, DWORD orWord)
{
    const DWORD bpp = f->bytesPerPixel;
    if (bpp < 2 || bpp > 4) return;
    Shifts sh(f);
    for (LONG i = 0; i < count; i++, dst += bpp) {
        DWORD p = src[i];
        DWORD v = (rotr(p, sh.r) & f->redMask) | (rotr(p, sh.g) & f->greenMask) | (rotr(p, sh.b) & f->blueMask);
        dst[0] = (BYTE)v;
        dst[1] = (BYTE)(v >> 8);
        if (bpp >= 3) dst[2] = (BYTE)(v >> 16);
        if (bpp == 4) {
            v |= orWord;
            dst[3] = (BYTE)(v >> 24);
        }
    }
}

// Runs fn(dstRow, srcRow, width) over the rows where destination and source
// overlap, with the source refreshed first and the destination updated last.
// Every pixel depends on its own source pixel only, so the very same window
// converts in place; shifted windows of one layer read from a copy.
template <class Fn>
LONG for_each_row_pair(Layer *destination, Layer *source, Fn fn)
{
    if (!destination || !source) return 0;
    RefreshLayer(source);
    LayerAccess a;
    if (BeginLayerAccess(&a, destination, source)) {
        if (a.secondPtr) {
            SourceSnapshot snap(a.firstPtr, a.firstPitch, a.secondPtr, a.secondPitch, a.width, a.height, true);
            BYTE *d = a.firstPtr;
            const BYTE *s = snap.src;
            if (snap.ok)
                for (LONG y = 0; y < a.height; y++, d += a.firstPitch, s += snap.srcPitch)
                    fn((DWORD *)d, (const DWORD *)s, a.width);
        }
        EndLayerAccess(&a);
    }
    UpdateLayer(destination);
    return 1;
}

// Contrast-like scaling of a distance from 128.
inline LONG scale_distance(LONG d, LONG c)
{
    long long v = c >= 0 ? (long long)d * ((long long)c + 256) / 256 : (long long)d * 256 / (256 - (long long)c);
    if (v > 100000) v = 100000;
    if (v < -100000) v = -100000;
    return (LONG)v;
}

}  // namespace

extern "C" {

LONG PIXAPI SetGammaTable(const BYTE *curves)
{
    WINE_TRACE("(%p)\n", curves);
    if (!curves) return 0;
    const BYTE *r = curves, *g = curves + 256, *b = curves + 512;
    for (DWORD i = 0; i < 256; i++) {
        g_gamma.red[i] = (DWORD)r[i] << 16;
        g_gamma.green[i] = (DWORD)g[i] << 8;
        g_gamma.blue[i] = b[i];
        g_workRed[i] = g_displayRed[r[i]];
        g_workGreen[i] = g_displayGreen[g[i]];
        g_workBlue[i] = g_displayBlue[b[i]];
    }
    UpdateAllZellviews();
    return 1;
}

DWORD PIXAPI GammaCorrectPEL(DWORD p)
{
    return (p & 0xFF000000u) | g_gamma.red[(p >> 16) & 0xFF] | g_gamma.green[(p >> 8) & 0xFF] | g_gamma.blue[p & 0xFF];
}

LONG PIXAPI GammaCorrectPELs(DWORD *pixels, LONG count)
{
    if (!pixels || count < 1) return 0;
    for (LONG i = 0; i < count; i++) pixels[i] = GammaCorrectPEL(pixels[i]);
    return 1;
}

BYTE *PIXAPI IP_32BITto24BMP(const DWORD *pixels, BYTE *buffer, LONG width, LONG height)
{
    WINE_TRACE("(%p, %p, %d, %d)\n", pixels, buffer, width, height);
    if (!pixels || width < 1 || height < 1) return nullptr;
    unsigned long long rowBytes = ((unsigned long long)width * 3 + 3) & ~3ULL;
    if (rowBytes * (unsigned long long)height > 0x7FFFFFFFULL) return nullptr;
    if (!buffer) {
        buffer = (BYTE *)M32_alloc((DWORD)(rowBytes * height));
        if (!buffer) return nullptr;
    }
    for (LONG y = 0; y < height; y++) {
        const DWORD *s = pixels + (size_t)y * width;
        BYTE *d = buffer + (size_t)y * rowBytes;
        for (LONG x = 0; x < width; x++) {
            DWORD p = s[x], a = p >> 24;
            *d++ = (BYTE)pm_scale(a, p & 0xFF);
            *d++ = (BYTE)pm_scale(a, (p >> 8) & 0xFF);
            *d++ = (BYTE)pm_scale(a, (p >> 16) & 0xFF);
        }
        for (unsigned long long pad = (unsigned long long)width * 3; pad < rowBytes; pad++) *d++ = 0;
    }
    return buffer;
}

LONG PIXAPI PelDepth_Xto32Ex(DWORD *dst, const BYTE *src, const PelFormat *f, LONG count, LONG alphaMode)
{
    if (!dst || !src || !f) return 0;
    to32(dst, src, f, count, alphaMode);
    return 1;
}

LONG PIXAPI PelDepth_Xto32(DWORD *dst, const BYTE *src, const PelFormat *f, LONG count)
{
    return PelDepth_Xto32Ex(dst, src, f, count, PEL_ALPHA_OPAQUE);
}

LONG PIXAPI PelDepth_32toX(const DWORD *src, BYTE *dst, const PelFormat *f, LONG count)
{
    if (!dst || !src || !f) return 0;
    from32(src, dst, f, count, 0);
    return 1;
}

LONG PIXAPI XtoLayerEx(Layer *layer, const BYTE *buffer, const PelFormat *f, LONG pitch, LONG alphaMode)
{
    WINE_TRACE("(%p, %p, %p, %d, %d)\n", layer, buffer, f, pitch, alphaMode);
    if (!layer || !buffer || !f) return 0;
    LayerAccess a;
    if (BeginLayerAccess(&a, layer, nullptr)) {
        BYTE *d = a.firstPtr;
        for (LONG y = 0; y < a.height; y++, d += a.firstPitch, buffer += pitch)
            to32((DWORD *)d, buffer, f, a.width, alphaMode);
        EndLayerAccess(&a);
    }
    UpdateLayer(layer);
    return 1;
}

LONG PIXAPI XtoLayer(Layer *layer, const BYTE *buffer, const PelFormat *f, LONG pitch)
{
    return XtoLayerEx(layer, buffer, f, pitch, PEL_ALPHA_OPAQUE);
}

LONG PIXAPI LayertoX(BYTE *buffer, const PelFormat *f, LONG pitch, Layer *layer)
{
    WINE_TRACE("(%p, %p, %d, %p)\n", buffer, f, pitch, layer);
    if (!layer || !buffer || !f) return 0;
    LayerAccess a;
    if (BeginLayerAccess(&a, layer, nullptr)) {
        const BYTE *s = a.firstPtr;
        for (LONG y = 0; y < a.height; y++, s += a.firstPitch, buffer += pitch)
            from32((const DWORD *)s, buffer, f, a.width, 0xFF000000u);
        EndLayerAccess(&a);
    }
    UpdateLayer(layer);
    return 1;
}

LONG PIXAPI RGBtoYCBCRLayer(Layer *destination, Layer *source)
{
    return for_each_row_pair(destination, source, [](DWORD *d, const DWORD *s, LONG n) {
        for (LONG x = 0; x < n; x++) {
            DWORD p = s[x], r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            LONG y = (g_ycbcrRed[r].y + g_ycbcrGreen[g].y + g_ycbcrBlue[b].y + 32768) >> 16;
            LONG cb = (g_ycbcrRed[r].cb + g_ycbcrGreen[g].cb + g_ycbcrBlue[b].cb + 0x808000) >> 16;
            LONG cr = (g_ycbcrRed[r].cr + g_ycbcrGreen[g].cr + g_ycbcrBlue[b].cr + 0x808000) >> 16;
            y = clamp(y, 0, 255);
            cb = clamp(cb, 0, 255);
            cr = clamp(cr, 0, 255);
            d[x] = (p & 0xFF000000u) | ((DWORD)g_chromaRange[cr] << 16) | ((DWORD)g_lumaRange[y] << 8) |
                   (DWORD)g_chromaRange[cb];
        }
    });
}

LONG PIXAPI RGBtoYUVLayer(Layer *destination, Layer *source)
{
    return for_each_row_pair(destination, source, [](DWORD *d, const DWORD *s, LONG n) {
        for (LONG x = 0; x < n; x++) {
            DWORD p = s[x], r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            LONG y = (LONG)(P(77, r) + P(149, g) + P(29, b)) >> 8;
            LONG v = clamp((LONG)P(180, r) - (LONG)P(149, g) - (LONG)P(29, b) + 32768, 0, 65535) >> 8;
            LONG u = clamp((LONG)P(227, b) - (LONG)P(149, g) - (LONG)P(77, r) + 32768, 0, 65535) >> 8;
            d[x] = (p & 0xFF000000u) | ((DWORD)v << 16) | ((DWORD)y << 8) | (DWORD)u;
        }
    });
}

LONG PIXAPI YUVtoRGBLayer(Layer *destination, Layer *source)
{
    return for_each_row_pair(destination, source, [](DWORD *d, const DWORD *s, LONG n) {
        for (LONG x = 0; x < n; x++) {
            DWORD p = s[x];
            LONG v = (p >> 16) & 0xFF, y = (p >> 8) & 0xFF, u = p & 0xFF;
            LONG r = clamp(y + v - 128, 0, 255);
            LONG b = clamp(y + u - 128, 0, 255);
            LONG g = clamp(256 * y - (LONG)P(130, v) - (LONG)P(50, u) + 23040, 0, 65535) >> 8;
            d[x] = (p & 0xFF000000u) | ((DWORD)r << 16) | ((DWORD)g << 8) | (DWORD)b;
        }
    });
}

LONG PIXAPI YUVtoGRAYLayer(Layer *destination, Layer *source)
{
    return for_each_row_pair(destination, source, [](DWORD *d, const DWORD *s, LONG n) {
        for (LONG x = 0; x < n; x++) {
            DWORD p = s[x], y = (p >> 8) & 0xFF;
            d[x] = (p & 0xFF000000u) | (y * 0x010101u);
        }
    });
}

LONG PIXAPI RGBtoGRAYLayer(Layer *destination, Layer *source)
{
    return for_each_row_pair(destination, source, [](DWORD *d, const DWORD *s, LONG n) {
        for (LONG x = 0; x < n; x++) {
            DWORD p = s[x], r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            DWORD y = (P(77, r) + P(149, g) + P(29, b)) >> 8;
            d[x] = (p & 0xFF000000u) | (y * 0x010101u);
        }
    });
}

LONG PIXAPI LuminanceLayer(Layer *destination, Layer *source, LONG brightness, LONG contrast)
{
    WINE_TRACE("(%p, %p, %d, %d)\n", destination, source, brightness, contrast);
    return for_each_row_pair(destination, source, [=](DWORD *d, const DWORD *s, LONG n) {
        for (LONG x = 0; x < n; x++) {
            LONG y = (s[x] >> 8) & 0xFF;
            long long v = (long long)scale_distance(y - 128, contrast) + 128 + brightness;
            DWORD out = (DWORD)(v < 0 ? 0 : v > 255 ? 255 : v);
            d[x] = (d[x] & 0xFFFF00FFu) | (out << 8);
        }
    });
}

LONG PIXAPI TintLayer(Layer *destination, Layer *source, LONG vOffset, LONG uOffset, LONG saturation)
{
    WINE_TRACE("(%p, %p, %d, %d, %d)\n", destination, source, vOffset, uOffset, saturation);
    return for_each_row_pair(destination, source, [=](DWORD *d, const DWORD *s, LONG n) {
        for (LONG x = 0; x < n; x++) {
            LONG v = (s[x] >> 16) & 0xFF, u = s[x] & 0xFF;
            long long nv = (long long)scale_distance(v - 128, saturation) + 128 + vOffset;
            long long nu = (long long)scale_distance(u - 128, saturation) + 128 + uOffset;
            DWORD ov = (DWORD)(nv < 0 ? 0 : nv > 255 ? 255 : nv);
            DWORD ou = (DWORD)(nu < 0 ? 0 : nu > 255 ? 255 : nu);
            d[x] = (d[x] & 0xFF00FF00u) | (ov << 16) | ou;
        }
    });
}

LONG PIXAPI FiestatoLayer(Layer *layer, const BYTE *buffer, LONG pitch)
{
    WINE_TRACE("(%p, %p, %d)\n", layer, buffer, pitch);
    if (!layer || !buffer) return 0;
    LayerAccess a;
    if (BeginLayerAccess(&a, layer, nullptr)) {
        BYTE *row = a.firstPtr;
        for (LONG y = 0; y < a.height; y++, row += a.firstPitch, buffer += pitch) {
            DWORD *d = (DWORD *)row;
            const BYTE *s = buffer;
            for (LONG i = 0; i < a.width / 2; i++, s += 4) {
                LONG u = s[1], v = s[3];
                for (int k = 0; k < 2; k++) {
                    LONG Y = s[k * 2];
                    LONG r = clamp(floor_div(149 * Y + 204 * v - 28416, 128), 0, 255);
                    LONG g = clamp(floor_div(149 * Y - 50 * u - 104 * v + 17406, 128), 0, 255);
                    LONG b = clamp(floor_div(149 * Y + 258 * u - 35328, 128), 0, 255);
                    d[2 * i + k] = 0xFF000000u | ((DWORD)r << 16) | ((DWORD)g << 8) | (DWORD)b;
                }
            }
        }
        EndLayerAccess(&a);
    }
    UpdateLayer(layer);
    return 1;
}

LONG PIXAPI OneFishCombineLayer(Layer *destination, Layer *alphaSource, Layer *colourSource)
{
    WINE_TRACE("(%p, %p, %p)\n", destination, alphaSource, colourSource);
    if (!destination || !alphaSource || !colourSource) return 0;
    CopyLayer(destination, colourSource);
    LayerAccess a;
    if (BeginLayerAccess(&a, destination, alphaSource)) {
        if (a.secondPtr) {
            BYTE *d = a.firstPtr;
            const BYTE *s = a.secondPtr;
            for (LONG y = 0; y < a.height; y++, d += a.firstPitch, s += a.secondPitch) {
                DWORD *dp = (DWORD *)d;
                const DWORD *sp = (const DWORD *)s;
                for (LONG x = 0; x < a.width; x++) dp[x] = (dp[x] & 0x00FFFFFFu) | ((sp[x] & 0xFF) << 24);
            }
        }
        EndLayerAccess(&a);
    }
    return 1;
}

LONG PIXAPI ThumbLayer(Layer *destination, Layer *source)
{
    WINE_TRACE("(%p, %p)\n", destination, source);
    if (!destination || !source) return 0;
    RefreshLayer(source);
    LayerAccess sa, da;
    if (BeginLayerAccess(&sa, source, nullptr)) {
        if (BeginLayerAccess(&da, destination, nullptr)) {
            const DWORD sw = (DWORD)sa.width, sh = (DWORD)sa.height;
            const DWORD dw = (DWORD)da.width, dh = (DWORD)da.height;
            const DWORD hInt = sw / dw, vInt = sh / dh;
            const DWORD hFrac = (DWORD)(((unsigned long long)(sw % dw) << 32) / dw);
            const DWORD vFrac = (DWORD)(((unsigned long long)(sh % dh) << 32) / dh);
            DWORD sy = vInt / 2, vAcc = 0;
            BYTE *drow = da.firstPtr;
            for (DWORD y = 0; y < dh; y++, drow += da.firstPitch) {
                const DWORD *srow = (const DWORD *)(sa.firstPtr + (ptrdiff_t)(sy < sh ? sy : sh - 1) * sa.firstPitch);
                DWORD *d = (DWORD *)drow;
                DWORD sx = hInt / 2, hAcc = 0;
                for (DWORD x = 0; x < dw; x++) {
                    d[x] = srow[sx < sw ? sx : sw - 1];
                    DWORD before = hAcc;
                    hAcc += hFrac;
                    sx += hInt + (hAcc < before ? 1 : 0);
                }
                DWORD before = vAcc;
                vAcc += vFrac;
                sy += vInt + (vAcc < before ? 1 : 0);
            }
            EndLayerAccess(&da);
        }
        EndLayerAccess(&sa);
    }
    UpdateLayer(destination);
    return 1;
}

}  // extern "C"
