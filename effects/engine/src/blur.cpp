// Recursive Gaussian blur of a 32-bit layer (colour weighted by alpha).
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "fxblur.h"

namespace {

struct Reciprocals {
    double v[256];
    Reciprocals()
    {
        v[0] = 0;
        for (int i = 1; i < 256; ++i)
            v[i] = 1.0 / i;
    }
};
const Reciprocals g_reciprocals;
// 1 / i for i = 1..255, to divide by a blurred alpha.
const double *const ReciprocalTable = g_reciprocals.v;

struct Coeffs {
    double n[5], m[5], d[5], dc[5], b[5], bm[5];
    double steadyF, steadyB;   // each pass's output for a constant input of 1
    explicit Coeffs(double sigma)
    {
        GaussCoefficients(n, m, d, dc, b, bm, sigma);
        double sd = 1 + d[1] + d[2] + d[3] + d[4];
        steadyF = (n[0] + n[1] + n[2] + n[3]) / sd;
        steadyB = (m[1] + m[2] + m[3] + m[4]) / sd;
    }
};

// Filters `len` values spaced `stride` doubles apart (4 channels each)
// in place; `fwd` and `bwd` are scratch lines of len x 4 doubles.
void FilterLine(double *data, int len, int stride, const Coeffs &c, double *fwd, double *bwd)
{
    for (int ch = 0; ch < 4; ++ch) {
        auto x = [&](int i) { return data[i * stride + ch]; };
        // Causal pass: the history before the line is the first value's
        // steady state.
        double x0 = x(0);
        double xp[4] = { x0, x0, x0, x0 };       // x[i-1], x[i-2], ...
        double yp[4];
        for (int k = 0; k < 4; ++k)
            yp[k] = c.steadyF * x0;
        for (int i = 0; i < len; ++i) {
            double xi = x(i);
            double y = c.n[0] * xi + c.n[1] * xp[0] + c.n[2] * xp[1] + c.n[3] * xp[2] -
                       (c.d[1] * yp[0] + c.d[2] * yp[1] + c.d[3] * yp[2] + c.d[4] * yp[3]);
            xp[3] = xp[2], xp[2] = xp[1], xp[1] = xp[0], xp[0] = xi;
            yp[3] = yp[2], yp[2] = yp[1], yp[1] = yp[0], yp[0] = y;
            fwd[i * 4 + ch] = y;
        }
        // Anti-causal pass from the other end.
        double xl = x(len - 1);
        double xn[4] = { xl, xl, xl, xl };       // x[i+1], x[i+2], ...
        double yn[4];
        for (int k = 0; k < 4; ++k)
            yn[k] = c.steadyB * xl;
        for (int i = len - 1; i >= 0; --i) {
            double y = c.m[1] * xn[0] + c.m[2] * xn[1] + c.m[3] * xn[2] + c.m[4] * xn[3] -
                       (c.d[1] * yn[0] + c.d[2] * yn[1] + c.d[3] * yn[2] + c.d[4] * yn[3]);
            xn[3] = xn[2], xn[2] = xn[1], xn[1] = xn[0], xn[0] = x(i);
            yn[3] = yn[2], yn[2] = yn[1], yn[1] = yn[0], yn[0] = y;
            bwd[i * 4 + ch] = y;
        }
    }
    for (int i = 0; i < len; ++i)
        for (int ch = 0; ch < 4; ++ch)
            data[i * stride + ch] = fwd[i * 4 + ch] + bwd[i * 4 + ch];
}

}  // namespace

void GaussCoefficients(double n[5], double m[5], double d[5], double dCopy[5], double b[5], double bm[5],
                       double s)
{
    const double k = 1.0 / (std::sqrt(2 * M_PI) * s);
    const double a0 = 1.6803 * k, a1 = 3.735 * k, c0 = -0.6803 * k, c1 = -0.2598 * k;
    const double b0 = 1.783 / s, b1 = 1.723 / s, w0 = 0.6318 / s, w1 = 1.997 / s;
    const double eb0 = std::exp(-b0), eb1 = std::exp(-b1);
    n[0] = a0 + c0;
    n[1] = eb1 * (c1 * std::sin(w1) - (c0 + 2 * a0) * std::cos(w1)) +
           eb0 * (a1 * std::sin(w0) - (2 * c0 + a0) * std::cos(w0));
    n[2] = 2 * std::exp(-b0 - b1) *
               ((a0 + c0) * std::cos(w1) * std::cos(w0) - a1 * std::cos(w1) * std::sin(w0) -
                c1 * std::cos(w0) * std::sin(w1)) +
           c0 * std::exp(-2 * b0) + a0 * std::exp(-2 * b1);
    n[3] = std::exp(-b1 - 2 * b0) * (c1 * std::sin(w1) - c0 * std::cos(w1)) +
           std::exp(-b0 - 2 * b1) * (a1 * std::sin(w0) - a0 * std::cos(w0));
    n[4] = 0;
    d[0] = 0;
    d[1] = -2 * eb1 * std::cos(w1) - 2 * eb0 * std::cos(w0);
    d[2] = 4 * std::cos(w1) * std::cos(w0) * std::exp(-b0 - b1) + std::exp(-2 * b1) + std::exp(-2 * b0);
    d[3] = -2 * std::cos(w0) * std::exp(-b0 - 2 * b1) - 2 * std::cos(w1) * std::exp(-b1 - 2 * b0);
    d[4] = std::exp(-2 * b0 - 2 * b1);
    m[0] = 0;
    for (int i = 1; i <= 4; ++i)
        m[i] = n[i] - n[0] * d[i];
    double sn = n[0] + n[1] + n[2] + n[3], sm = m[1] + m[2] + m[3] + m[4];
    double sd = 1 + d[1] + d[2] + d[3] + d[4];
    for (int i = 0; i <= 4; ++i) {
        dCopy[i] = d[i];
        b[i] = sn / sd * d[i];
        bm[i] = sm / sd * d[i];
    }
}

int BlurLayer(Layer **handle, double sx, double sy)
{
    const FxGraphicsSlots &g = g_fxGraphics;
    if (!handle || !*handle || !g.CreateLayer || !g.CreateClippedLayer || !g.ClipLayerXYWH || !g.CopyLayer ||
        !g.DeleteLayer || !g.BeginLayerAccess || !g.EndLayerAccess)
        return 0;
    if (sx > 0 && sx < 0.5)
        sx = 0.5;
    if (sy > 0 && sy < 0.5)
        sy = 0.5;
    Layer *old = *handle;
    LONG w = old->width, h = old->height;
    int rx = sx > 0 ? 2 * int(sx + 0.5) : 0, ry = sy > 0 ? 2 * int(sy + 0.5) : 0;
    LONG nw = w + 2 * rx, nh = h + 2 * ry;
    Layer *grown = g.CreateLayer(nw, nh, 1);
    if (!grown)
        return 0;
    Layer *window = g.CreateClippedLayer(grown);
    if (!window) {
        g.DeleteLayer(grown);
        return 0;
    }
    g.ClipLayerXYWH(window, rx, ry, w, h);
    g.CopyLayer(window, old);
    g.DeleteLayer(window);
    g.DeleteLayer(old);
    *handle = grown;

    if (sx <= 0 && sy <= 0)
        return 1;
    LayerAccess acc;
    memset(&acc, 0, sizeof acc);
    if (!g.BeginLayerAccess(&acc, grown, nullptr))
        return 0;
    size_t count = size_t(nw) * size_t(nh);
    int line = nw > nh ? nw : nh;
    double *img = static_cast<double *>(malloc(count * 4 * sizeof(double)));
    double *fwd = static_cast<double *>(malloc(size_t(line) * 4 * sizeof(double)));
    double *bwd = static_cast<double *>(malloc(size_t(line) * 4 * sizeof(double)));
    int ok = img && fwd && bwd;
    if (ok) {
        // Colour weighted by alpha, so that transparent pixels lend no colour.
        for (LONG y = 0; y < nh; ++y) {
            const BYTE *row = acc.firstPtr + y * acc.firstPitch;
            for (LONG x = 0; x < nw; ++x) {
                const BYTE *p = row + x * 4;
                double *o = img + (size_t(y) * nw + x) * 4;
                double a = p[3];
                o[0] = p[0] * a;
                o[1] = p[1] * a;
                o[2] = p[2] * a;
                o[3] = a;
            }
        }
        if (sx > 0) {
            Coeffs c(sx);
            for (LONG y = 0; y < nh; ++y)
                FilterLine(img + size_t(y) * nw * 4, nw, 4, c, fwd, bwd);
        }
        if (sy > 0) {
            Coeffs c(sy);
            for (LONG x = 0; x < nw; ++x)
                FilterLine(img + size_t(x) * 4, nh, nw * 4, c, fwd, bwd);
        }
        for (LONG y = 0; y < nh; ++y) {
            BYTE *row = acc.firstPtr + y * acc.firstPitch;
            for (LONG x = 0; x < nw; ++x) {
                BYTE *p = row + x * 4;
                const double *v = img + (size_t(y) * nw + x) * 4;
                long a = std::lround(v[3]);
                a = a < 0 ? 0 : a > 255 ? 255 : a;
                if (a > 0) {
                    for (int ch = 0; ch < 3; ++ch) {
                        long c = std::lround(v[ch] * ReciprocalTable[a]);
                        p[ch] = BYTE(c < 0 ? 0 : c > 255 ? 255 : c);
                    }
                }
                p[3] = BYTE(a);
            }
        }
    }
    free(img);
    free(fwd);
    free(bwd);
    g.EndLayerAccess(&acc);
    return ok;
}
