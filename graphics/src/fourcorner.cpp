// Four-corner (perspective) mapping of a layer in two one-dimensional
// passes.  Each pass resamples lines by area coverage: every source pixel
// covers the span its two edges map to, and each destination pixel takes the
// covered parts weighted by alpha, so shrinking averages and enlarging
// repeats.
#include <windows.h>
#include <wine/debug.h>
#include <math.h>
#include <string.h>
#include <vector>

#include "access.h"
#include "fourcorner.h"
#include "m32.h"

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

namespace {

const LONG kMaxBound = 32768;

// A line of pixels in memory: first pixel and the byte step between pixels.
struct Line {
    BYTE *p;
    ptrdiff_t step;
    LONG n;
    DWORD &at(LONG i) const { return *(DWORD *)(p + (ptrdiff_t)i * step); }
};

// Where the writes of a pass go: destination pixel k of a line, or nothing
// when it lies outside.
struct Target {
    BYTE *base;        // pixel (0, 0) of the target's coordinate space
    LONG pitch;
    RECT bounds;       // pixels that may be written
    bool column;       // lines run down (true) or across
    LONG cross;        // the line's column (or row), target coordinates
    LONG start;        // target coordinate of the line's pixel 0

    DWORD *pixel(LONG k) const
    {
        LONG x = column ? cross : start + k, y = column ? start + k : cross;
        if (x < bounds.left || x >= bounds.right || y < bounds.top || y >= bounds.bottom) return nullptr;
        return (DWORD *)(base + (ptrdiff_t)y * pitch + (ptrdiff_t)x * 4);
    }
};

// Resamples one line: source sample i covers [m(i/n), m((i+1)/n)) with
// m(s) = (A s + B) / (C s + D), in pixels of a target line of `length`.
void resample(const Line &src, double A, double B, double C, double D, LONG length, const Target &t,
              std::vector<double> &acc)
{
    acc.assign((size_t)length * 4, 0.0);
    auto map = [&](double s) { return (A * s + B) / (C * s + D); };
    double prev = map(0.0);
    bool any = false;
    for (LONG i = 0; i < src.n; ++i) {
        double next = map((double)(i + 1) / src.n);
        DWORD p = src.at(i);
        double lo = prev < next ? prev : next, hi = prev < next ? next : prev;
        prev = next;
        DWORD alpha = p >> 24;
        if (!alpha || !std::isfinite(lo) || !std::isfinite(hi) || hi <= 0.0 || lo >= length) continue;
        LONG k0 = lo < 0 ? 0 : (LONG)floor(lo);
        LONG k1 = hi > length ? length : (LONG)ceil(hi);
        for (LONG k = k0; k < k1; ++k) {
            double cover = (hi < k + 1 ? hi : k + 1) - (lo > k ? lo : k);
            if (cover <= 0) continue;
            double wa = cover * alpha;
            double *a = &acc[(size_t)k * 4];
            a[0] += wa;
            a[1] += wa * (p & 0xFF);
            a[2] += wa * ((p >> 8) & 0xFF);
            a[3] += wa * ((p >> 16) & 0xFF);
            any = true;
        }
    }
    if (!any) return;
    for (LONG k = 0; k < length; ++k) {
        const double *a = &acc[(size_t)k * 4];
        long alpha = lrint(a[0]);
        if (alpha > 255) alpha = 255;
        if (alpha <= 0) continue;   // fully transparent: the target keeps its pixel
        DWORD out = (DWORD)alpha << 24;
        for (int ch = 0; ch < 3; ++ch) {
            long c = lrint(a[1 + ch] / a[0]);
            if (c > 255) c = 255;
            if (c < 0) c = 0;
            out |= (DWORD)c << (8 * ch);
        }
        if (DWORD *d = t.pixel(k)) *d = out;
    }
}

// Projective coefficients as triples over (s, t, 1): first-pass output
// coordinate alpha, the other output coordinate beta, common denominator
// gamma, with s the first pass's line coordinate.
struct Triples {
    double al[3], be[3], ga[3];
};

Triples triples_of(const FourCornerState *s)
{
    const double X[3] = { s->a, s->b, s->c }, Y[3] = { s->d, s->e, s->f }, G[3] = { s->g, s->h, 1.0 };
    Triples t;
    // Orders 1 and 3 run the first pass along u, 2 and 4 along v; orders 1
    // and 4 produce x first, 2 and 3 y.
    bool alongV = s->order == 2 || s->order == 4;
    bool xFirst = s->order == 1 || s->order == 4;
    const double *first = xFirst ? X : Y, *other = xFirst ? Y : X;
    for (int i = 0; i < 3; ++i) {
        int k = alongV && i < 2 ? 1 - i : i;
        t.al[i] = first[k];
        t.be[i] = other[k];
        t.ga[i] = G[k];
    }
    return t;
}

// Second pass at first-pass coordinate p: the other coordinate as a
// function of t, (A t + B) / (C t + D).  From alpha(s, t) = p gamma(s, t):
// s = -((al1 - p ga1) t + (al2 - p ga2)) / (al0 - p ga0).
void second_pass(const Triples &T, double p, double &A, double &B, double &C, double &D)
{
    double k = T.al[0] - p * T.ga[0], m1 = T.al[1] - p * T.ga[1], m2 = T.al[2] - p * T.ga[2];
    A = k * T.be[1] - T.be[0] * m1;
    B = k * T.be[2] - T.be[0] * m2;
    C = k * T.ga[1] - T.ga[0] * m1;
    D = k * T.ga[2] - T.ga[0] * m2;
}

LONG detail(const FourCornerState *s, int order)
{
    const double *x = s->x, *y = s->y;
    double v;
    switch (order) {
    case 1: v = (fabs(x[3] - x[2]) + fabs(x[1] - x[0])) * s->srcHeight; break;
    case 2: v = (fabs(y[2] - y[1]) + fabs(y[3] - y[0])) * s->srcWidth; break;
    case 3: v = (fabs(y[3] - y[2]) + fabs(y[1] - y[0])) * s->srcHeight; break;
    default: v = (fabs(x[2] - x[1]) + fabs(x[3] - x[0])) * s->srcWidth; break;
    }
    return (LONG)lrint(v > 2e9 ? 2e9 : v);
}

}  // namespace

extern "C" {

LONG fourcorner_setup(FourCornerState *s, const double *xs, const double *ys, LONG width, LONG height)
{
    if (!s || !xs || !ys || width < 1 || height < 1) return 0;
    memset(s, 0, sizeof *s);
    s->srcWidth = width;
    s->srcHeight = height;
    double minX = xs[0], minY = ys[0];
    for (int i = 0; i < 4; ++i) {
        if (!std::isfinite(xs[i]) || !std::isfinite(ys[i]) || fabs(xs[i]) > 1e7 || fabs(ys[i]) > 1e7) return 0;
        if (xs[i] < minX) minX = xs[i];
        if (ys[i] < minY) minY = ys[i];
    }
    s->originX = (LONG)lrint(minX);
    s->originY = (LONG)lrint(minY);
    double maxX = -1e300, maxY = -1e300;
    for (int i = 0; i < 4; ++i) {
        s->x[i] = xs[i] - s->originX;
        s->y[i] = ys[i] - s->originY;
        if (s->x[i] > maxX) maxX = s->x[i];
        if (s->y[i] > maxY) maxY = s->y[i];
    }
    s->boundWidth = (LONG)lrint(maxX + 1.0);
    s->boundHeight = (LONG)lrint(maxY + 1.0);
    if (s->boundWidth < 1 || s->boundHeight < 1 || s->boundWidth > kMaxBound || s->boundHeight > kMaxBound) return 0;

    const double *x = s->x, *y = s->y;
    double sx = x[0] - x[1] + x[2] - x[3], sy = y[0] - y[1] + y[2] - y[3];
    if (sx == 0.0 && sy == 0.0) {
        s->a = x[1] - x[0]; s->b = x[3] - x[0]; s->c = x[0];
        s->d = y[1] - y[0]; s->e = y[3] - y[0]; s->f = y[0];
        s->g = s->h = 0.0;
        s->affine = 1;
    } else {
        double dx1 = x[1] - x[2], dx2 = x[3] - x[2], dy1 = y[1] - y[2], dy2 = y[3] - y[2];
        double den = dx1 * dy2 - dy1 * dx2;
        if (den == 0.0) return 0;   // three corners in a line: no mapping
        s->g = (sx * dy2 - sy * dx2) / den;
        s->h = (dx1 * sy - dy1 * sx) / den;
        s->a = x[1] - x[0] + s->g * x[1]; s->b = x[3] - x[0] + s->h * x[3]; s->c = x[0];
        s->d = y[1] - y[0] + s->g * y[1]; s->e = y[3] - y[0] + s->h * y[3]; s->f = y[0];
        if (s->g <= -1.0 || s->h <= -1.0 || s->g + s->h <= -1.0) return 0;
    }
    return 1;
}

LONG fourcorner_choose(FourCornerState *s)
{
    LONG best = 0, bestDetail = -1;
    for (int o = 1; o <= 4; ++o) {
        LONG v = (s->abandoned & (1 << (o - 1))) ? 0 : detail(s, o);
        if (!(s->abandoned & (1 << (o - 1))) && v > bestDetail) {
            best = o;
            bestDetail = v;
        }
    }
    if (!best) return 0;
    s->order = best;
    switch (best) {
    case 1: s->midWidth = s->boundWidth; s->midHeight = s->srcHeight; break;
    case 2: s->midWidth = s->srcWidth; s->midHeight = s->boundHeight; break;
    case 3: s->midWidth = s->srcHeight; s->midHeight = s->boundHeight; break;
    default: s->midWidth = s->boundWidth; s->midHeight = s->srcWidth; break;
    }
    Triples t = triples_of(s);
    const double p[8] = { 0, t.al[0], t.al[1], t.al[2], 0, t.ga[0], t.ga[1], t.ga[2] };
    memcpy(s->pass, p, sizeof p);
    return best;
}

LONG fourcorner_folds(const FourCornerState *s)
{
    const double *p = s->pass;
    double a0 = p[3] / p[7], a1 = (p[3] + p[1]) / (p[7] + p[5]);
    double b0 = (p[3] + p[2]) / (p[7] + p[6]), b1 = (p[3] + p[2] + p[1] + p[0]) / (p[7] + p[6] + p[5] + p[4]);
    bool downFirst = a1 < a0, downLast = b1 < b0;
    return downFirst != downLast;
}

LONG PIXAPI TestFourCorner(RECT *rect, const double *xs, const double *ys)
{
    WINE_TRACE("(%p, %p, %p)\n", rect, xs, ys);
    FourCornerState s;
    if (!fourcorner_setup(&s, xs, ys, 8, 256)) return 0;
    while (s.abandoned != 15) {
        if (!fourcorner_choose(&s)) break;
        if (!fourcorner_folds(&s)) {
            if (rect) SetRect(rect, s.originX, s.originY, s.originX + s.boundWidth, s.originY + s.boundHeight);
            return 1;
        }
        s.abandoned |= 1 << (s.order - 1);
    }
    return 0;
}

LONG PIXAPI FourCornerMapLayer(Layer *destination, Layer *source, const double *xs, const double *ys)
{
    WINE_TRACE("(%p, %p, %p, %p)\n", destination, source, xs, ys);
    return fourcorner_map(destination, source, xs, ys, 0);
}

LONG fourcorner_map(Layer *destination, Layer *source, const double *xs, const double *ys, LONG excluded)
{
    if (!source || !destination) return 0;
    RefreshLayer(source);
    LONG result = 0;
    {
        Access src(source);
        if (!src.ok) return 0;
        auto *s = m32_new<FourCornerState>();
        if (!s) return 0;
        if (fourcorner_setup(s, xs, ys, src.width(), src.height())) {
            s->abandoned = excluded & 15;
            Access dst(destination);
            while (dst.ok && s->abandoned != 15 && fourcorner_choose(s)) {
                if (fourcorner_folds(s)) {
                    s->abandoned |= 1 << (s->order - 1);
                    continue;
                }
                Layer *mid = CreateLayer(s->midWidth, s->midHeight, 1);
                if (!mid) break;
                const Triples T = triples_of(s);
                std::vector<double> acc;
                bool alongV = s->order == 2 || s->order == 4;
                // First pass: source rows (along u) or columns (along v).
                LONG lines = alongV ? s->srcWidth : s->srcHeight;
                LONG n = alongV ? s->srcHeight : s->srcWidth;
                // Orders 1 and 2 keep the source's line as the
                // intermediate's row/column; 3 and 4 turn it across.
                bool midColumns = s->order == 2 || s->order == 3;
                LONG midLen = midColumns ? s->midHeight : s->midWidth;
                Target mt{ mid->pixels, mid->pitch, { 0, 0, mid->width, mid->height }, midColumns, 0, 0 };
                for (LONG j = 0; j < lines; ++j) {
                    double t = (j + 0.5) / lines;
                    Line line{ src.a.firstPtr + (alongV ? (ptrdiff_t)j * 4 : (ptrdiff_t)j * src.a.firstPitch),
                               alongV ? src.a.firstPitch : 4, n };
                    mt.cross = j;
                    resample(line, T.al[0], T.al[1] * t + T.al[2], T.ga[0], T.ga[1] * t + T.ga[2], midLen, mt, acc);
                }
                // Second pass: across the intermediate, each line at its
                // first-pass coordinate p, along the remaining parameter.
                LONG lines2 = midColumns ? s->midHeight : s->midWidth;
                LONG n2 = midColumns ? s->midWidth : s->midHeight;
                bool xFirst = s->order == 1 || s->order == 4;
                LONG dstLen = xFirst ? s->boundHeight : s->boundWidth;
                Target dt{ dst.a.firstBase, dst.a.firstPitch, dst.a.firstVisible, xFirst, 0, 0 };
                for (LONG j = 0; j < lines2; ++j) {
                    double A, B, C, D;
                    second_pass(T, j + 0.5, A, B, C, D);
                    Line line{ mid->pixels + (midColumns ? (ptrdiff_t)j * mid->pitch : (ptrdiff_t)j * 4),
                               midColumns ? 4 : mid->pitch, n2 };
                    dt.cross = (xFirst ? s->originX : s->originY) + j;
                    dt.start = xFirst ? s->originY : s->originX;
                    resample(line, A, B, C, D, dstLen, dt, acc);
                }
                DeleteLayer(mid);
                s->abandoned = 15;
                result = 1;
            }
        }
        M32_free(s);
    }
    UpdateLayer(destination);
    return result;
}

}  // extern "C"
