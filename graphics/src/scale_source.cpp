// Scale scanline engine: resamples an image one output line at a time from
// source lines that the caller hands in as it produces them.  Reduction is an
// area average (box filter over the exact span an output sample covers),
// enlargement a linear interpolation; colours are averaged premultiplied by
// their alpha so that transparent pixels lend no colour.
#include <cmath>
#include <cstring>

#include "scale_source.h"
#include "m32.h"
#include <wine/debug.h>

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

namespace {

// 1/i for i = 1..255 (entry 0 unused).
struct Reciprocals {
    double v[256];
    Reciprocals()
    {
        v[0] = 0.0;
        for (int i = 1; i < 256; i++) v[i] = 1.0 / i;
    }
};
const Reciprocals kRecip;

inline LONG clamp_byte(long v) { return v < 0 ? 0 : v > 255 ? 255 : (LONG)v; }

// Number of source samples an entry names: first, middle ones, and the last
// one when it has weight.
inline LONG samples_named(const AxisContribution &e)
{
    if (e.middle < 0) return 1;
    return e.middle + 1 + (e.lastWeight > 0.0 ? 1 : 0);
}

// Accumulator of one output pixel.
struct Accum {
    double a = 0, b = 0, g = 0, r = 0, used = 0;
    DWORD last = 0;
    inline void add(DWORD p, double w)
    {
        double wa = w * (double)(p >> 24);
        a += wa;
        b += wa * (double)(p & 0xFF);
        g += wa * (double)((p >> 8) & 0xFF);
        r += wa * (double)((p >> 16) & 0xFF);
        used += w;
        last = p;
    }
    // The last pixel visited takes whatever weight is left over.
    inline DWORD finish() const
    {
        double rest = (1.0 - used) * (double)(last >> 24);
        long alpha = clamp_byte(std::lrint(a + rest));
        if (alpha == 0) return 0;
        double k = kRecip.v[alpha];
        long ob = clamp_byte(std::lrint((b + (double)(last & 0xFF) * rest) * k));
        long og = clamp_byte(std::lrint((g + (double)((last >> 8) & 0xFF) * rest) * k));
        long orr = clamp_byte(std::lrint((r + (double)((last >> 16) & 0xFF) * rest) * k));
        return ((DWORD)alpha << 24) | ((DWORD)orr << 16) | ((DWORD)og << 8) | (DWORD)ob;
    }
};

// Writes one output line from rowCount source rows (first, middles, last).
void write_line(const ScaleScanlineState *s, DWORD *dst, const DWORD *const *rows, LONG rowCount)
{
    const AxisContribution *h = s->axes->horizontal;
    const AxisContribution &v = s->axes->vertical[1 + s->currentLine];
    const double vMid = s->axes->vertical[0].firstWeight;
    const double hMid = h[0].firstWeight;

    // Row weights in visiting order.
    LONG named = samples_named(v);
    if (named > rowCount) named = rowCount;
    double rowWeightLocal[8];
    double *rowWeight = named <= 8 ? rowWeightLocal : new double[named];
    for (LONG i = 0; i < named; i++) {
        if (i == 0) rowWeight[i] = v.firstWeight;
        else if (v.middle >= 0 && i <= v.middle) rowWeight[i] = vMid;
        else rowWeight[i] = v.lastWeight;
    }

    LONG col = 0;
    for (LONG j = 0; j < s->firstColumn; j++) col += h[1 + j].advance;

    for (LONG j = 0; j < s->pixelsPerLine; j++) {
        const AxisContribution &e = h[1 + s->firstColumn + j];
        LONG cols = samples_named(e);
        Accum acc;
        for (LONG i = 0; i < named; i++) {
            const DWORD *row = rows[i] + col;
            double rw = rowWeight[i];
            acc.add(row[0], rw * e.firstWeight);
            LONG c = 1;
            if (e.middle > 0) {
                double w = rw * hMid;
                for (; c <= e.middle; c++) acc.add(row[c], w);
            }
            if (c < cols) acc.add(row[c], rw * e.lastWeight);
        }
        dst[j] = acc.finish();
        col += e.advance;
    }
    if (rowWeight != rowWeightLocal) delete[] rowWeight;
}

// Common tail of a call that wrote an output line.
void after_write(ScaleScanlineState *s, const AxisContribution &v)
{
    s->outputReady = 1;
    s->held -= v.advance;
    if (s->held < 0) {
        s->held += 1;
        s->inputWanted = 1;
    }
    if (s->ringSize > 0) s->ringStart = (s->ringStart + v.advance) % s->ringSize;
    s->currentLine++;
    if (s->currentLine >= s->dstHeight) s->inputWanted = 0;
}

}  // namespace

extern "C" {

void BuildAxisContributions(AxisContribution *t, LONG S, LONG D)
{
    memset(t, 0, sizeof(*t) * (size_t)(D + 1));
    if (S >= D) {
        // c counts in units where a source sample is D long and an output
        // sample S long; it is what the last sample lends to the next output.
        t[0].firstWeight = (double)D / (double)S;
        long long c = 0;
        for (LONG i = 1; i <= D; i++) {
            AxisContribution &e = t[i];
            e.firstWeight = (double)(D - c) / (double)S;
            long long m = (S + c - D) / D;
            e.middle = (LONG)m;
            e.advance = (LONG)(m + 1);
            c = S + c - (long long)D * (m + 1);
            e.lastWeight = (double)c / (double)S;
        }
    } else {
        // Half a sample of centring; the last source sample is held at the end.
        t[0].firstWeight = 0.0;
        long long b = (S - D) / 2;
        LONG steps = 0;
        for (LONG i = 1; i <= D; i++) {
            AxisContribution &e = t[i];
            if (b <= 0 || steps >= S - 1) {
                e.middle = -1;
                e.firstWeight = 1.0;
                e.lastWeight = 0.0;
            } else {
                e.middle = 0;
                e.firstWeight = (double)(D - b) / (double)D;
                e.lastWeight = (double)b / (double)D;
            }
            b += S;
            if (b >= D) {
                b -= D;
                e.advance = 1;
                steps++;
            } else {
                e.advance = 0;
            }
        }
    }
}

ScaleScanlineState *PIXAPI BeginScaleScanline(LONG sw, LONG sh, LONG dw, LONG dh)
{
    WINE_TRACE("(%d, %d, %d, %d)\n", sw, sh, dw, dh);
    if (sw < 1 || sh < 1 || dw < 1 || dh < 1) return nullptr;
    // Every block must be addressable with a 32-bit byte count.
    const unsigned long long limit = 0x7FFFFFFF;
    if ((unsigned long long)sw * 4 > limit || ((unsigned long long)dw + 1) * sizeof(AxisContribution) > limit ||
        ((unsigned long long)dh + 1) * sizeof(AxisContribution) > limit)
        return nullptr;

    ScaleScanlineState *s = m32_new<ScaleScanlineState>();
    if (!s) return nullptr;
    s->axes = m32_new<ScaleAxes>();
    if (!s->axes) {
        EndScaleScanline(s);
        return nullptr;
    }
    ScaleAxes *ax = s->axes;
    ax->srcWidth = sw;
    ax->srcHeight = sh;
    ax->dstWidth = dw;
    ax->dstHeight = dh;
    ax->horizontal = (AxisContribution *)M32_alloc(sizeof(AxisContribution) * ((DWORD)dw + 1));
    ax->vertical = (AxisContribution *)M32_alloc(sizeof(AxisContribution) * ((DWORD)dh + 1));
    if (!ax->horizontal || !ax->vertical) {
        EndScaleScanline(s);
        return nullptr;
    }
    BuildAxisContributions(ax->horizontal, sw, dw);
    BuildAxisContributions(ax->vertical, sh, dh);

    LONG maxMiddle = 0;
    for (LONG i = 1; i <= dh; i++)
        if (ax->vertical[i].middle > maxMiddle) maxMiddle = ax->vertical[i].middle;
    if (((unsigned long long)maxMiddle + 3) * sizeof(DWORD *) > limit ||
        ((unsigned long long)maxMiddle + 2) * (unsigned long long)sw * 4 > limit) {
        EndScaleScanline(s);
        return nullptr;
    }

    s->ringSize = maxMiddle + 2;
    s->lineBytes = sw * 4;
    s->ring = (DWORD **)M32_alloc(sizeof(DWORD *) * (DWORD)s->ringSize);
    s->rows = (const DWORD **)M32_alloc(sizeof(DWORD *) * (DWORD)(maxMiddle + 3));
    if (!s->ring || !s->rows) {
        EndScaleScanline(s);
        return nullptr;
    }
    for (LONG i = 0; i < s->ringSize; i++) {
        s->ring[i] = (DWORD *)M32_alloc((DWORD)s->lineBytes);
        if (!s->ring[i]) {
            EndScaleScanline(s);
            return nullptr;
        }
    }
    s->dstHeight = dh;
    s->dstWidth = dw;
    s->pixelsPerLine = dw;
    s->firstColumn = 0;
    s->currentLine = 0;
    s->valid = 1;
    return s;
}

LONG PIXAPI OffsetScaleScanline(ScaleScanlineState *s, LONG x, LONG y, LONG n)
{
    WINE_TRACE("(%p, %d, %d, %d)\n", s, x, y, n);
    if (!s || !s->valid) return 0;
    if (x < 0 || y < 0 || n < 0 || x > s->dstWidth || n > s->dstWidth - x || y > s->dstHeight) return 0;
    s->firstColumn = x;
    s->currentLine = y;
    s->pixelsPerLine = n;
    s->held = 0;
    s->ringStart = 0;
    return 1;
}

DWORD *PIXAPI GetBufferScaleScanline(ScaleScanlineState *s)
{
    if (!s || !s->valid || s->ringSize < 1) return nullptr;
    LONG held = s->held < 0 ? 0 : s->held;
    return s->ring[(s->ringStart + held) % s->ringSize];
}

LONG PIXAPI ScaleScanline(DWORD *dst, const DWORD *src, ScaleScanlineState *s)
{
    if (!s || !s->valid) return 0;
    s->outputReady = 0;
    s->inputWanted = 0;
    if (s->currentLine >= s->dstHeight || s->currentLine < 0) return 1;
    if (!dst) {
        WINE_WARN("null output line\n");
        return 0;
    }

    const AxisContribution &v = s->axes->vertical[1 + s->currentLine];
    const LONG E = v.middle;
    const bool lastLine = s->currentLine == s->dstHeight - 1;
    LONG H = s->held;

    if (src) {
        if (H >= E + 1 || (lastLine && H == E)) {
            LONG n = 0;
            for (LONG i = 0; i < H && n < s->ringSize; i++)
                s->rows[n++] = s->ring[(s->ringStart + i) % s->ringSize];
            s->rows[n++] = src;
            write_line(s, dst, s->rows, n);
            after_write(s, v);
        } else {
            if (H >= s->ringSize) return 1;  // cannot happen with a well-formed table
            DWORD *slot = s->ring[(s->ringStart + H) % s->ringSize];
            if (slot != src) memcpy(slot, src, (size_t)s->lineBytes);
            s->held = H + 1;
            s->inputWanted = 1;
        }
    } else {
        // The caller filled the buffer GetBufferScaleScanline handed out.
        LONG named = samples_named(v);
        if (H + 1 >= named || H + 1 >= s->ringSize) {
            LONG n = 0;
            for (LONG i = 0; i <= H && n < s->ringSize; i++)
                s->rows[n++] = s->ring[(s->ringStart + i) % s->ringSize];
            write_line(s, dst, s->rows, n);
            after_write(s, v);
        } else {
            s->held = H + 1;
            s->inputWanted = 1;
        }
    }
    return 1;
}

LONG PIXAPI EndScaleScanline(ScaleScanlineState *s)
{
    WINE_TRACE("(%p)\n", s);
    if (!s) return 0;
    s->valid = 0;
    if (s->axes) {
        M32_free(s->axes->horizontal);
        M32_free(s->axes->vertical);
        M32_free(s->axes);
    }
    if (s->ring) {
        for (LONG i = 0; i < s->ringSize; i++) M32_free(s->ring[i]);
        M32_free(s->ring);
    }
    M32_free(s->rows);
    M32_free(s);
    return 1;
}

LONG PIXAPI ConvertRectangleScaleScanline(ScaleScanlineState *s, RECT *rect)
{
    if (!s || !s->axes || !rect) return 0;
    const ScaleAxes *ax = s->axes;
    auto sum = [](const AxisContribution *t, LONG D, LONG count) {
        if (count < 0) count = 0;
        if (count > D) count = D;
        LONG total = 0;
        for (LONG i = 1; i <= count; i++) total += t[i].advance;
        return total;
    };
    rect->left = sum(ax->horizontal, ax->dstWidth, rect->left);
    rect->right = sum(ax->horizontal, ax->dstWidth, rect->right) + 1;
    rect->top = sum(ax->vertical, ax->dstHeight, rect->top);
    rect->bottom = sum(ax->vertical, ax->dstHeight, rect->bottom) + 1;
    return 1;
}

}  // extern "C"
