// Quaternions, the orientation curve and HSL colour blending.
#include "fxmaths.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

Quat QuatFromEuler(double x, double y, double z)
{
    double cx = cos(x / 2), sx = sin(x / 2);
    double cy = cos(y / 2), sy = sin(y / 2);
    double cz = cos(z / 2), sz = sin(z / 2);
    Quat q;
    q.w = cx * cy * cz + sx * sy * sz;
    q.x = sx * cy * cz - cx * sy * sz;
    q.y = cx * sy * cz + sx * cy * sz;
    q.z = cx * cy * sz - sx * sy * cz;
    return q;
}

namespace {

double Alternative(double v)
{
    return v >= 0 ? v - FX_TWO_PI : v + FX_TWO_PI;
}

double SnapMinusPi(double v)
{
    return fabs(v + FX_PI) < FX_ANGLE_SNAP ? v + FX_TWO_PI : v;
}

// Of v and its turn-shifted alternative, the one nearer to `old`.
double Nearest(double v, double old)
{
    double alt = Alternative(v);
    if (fabs(alt - old) < fabs(v - old))
        v = alt;
    return SnapMinusPi(v);
}

// Of v and its alternative, the one of smaller magnitude.
double Smallest(double v)
{
    double alt = Alternative(v);
    if (fabs(alt) < fabs(v))
        v = alt;
    return SnapMinusPi(v);
}

} // namespace

void QuatToEuler(double angles[3], const Quat &q)
{
    double w = q.w, x = q.x, y = q.y, z = q.z;
    double den = 1 - 2 * (y * y + z * z);
    double Z = atan2(2 * (w * z + x * y), den);
    double Y = atan2(cos(Z) * 2 * (w * y - x * z), den);
    if (Z < -FX_HALF_PI || Z > FX_HALF_PI)
        Y += Y < 0 ? FX_PI : -FX_PI;
    double X = atan2(2 * (w * x + y * z), 1 - 2 * (x * x + y * y));

    X = Nearest(X, angles[0]);
    Y = Nearest(Y, angles[1]);
    Z = Nearest(Z, angles[2]);
    if (fabs(X - angles[0]) > FX_HALF_PI && fabs(Z - angles[2]) > FX_HALF_PI) {
        X += FX_PI;
        Y = FX_PI - Y;
        Z += FX_PI;
    }
    angles[0] = Smallest(X);
    angles[1] = Smallest(Y);
    angles[2] = Smallest(Z);
}

Quat QuatConjugate(const Quat &q)
{
    return Quat{ q.w, -q.x, -q.y, -q.z };
}

Quat QuatMultiply(const Quat &a, const Quat &b)
{
    Quat r;
    r.w = a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z;
    r.x = a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y;
    r.y = a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x;
    r.z = a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w;
    return r;
}

Quat QuatSlerp(const Quat &q0in, const Quat &q1, double t)
{
    Quat q0 = q0in;
    double d = q0.w * q1.w + q0.x * q1.x + q0.y * q1.y + q0.z * q1.z;
    double k0, k1;
    if (d + 1 < FX_QUAT_EPS) {
        q0 = QuatConjugate(q0);
        k0 = 1 - t;
        k1 = t;
    } else if (1 - d < FX_QUAT_EPS) {
        k0 = 1 - t;
        k1 = t;
    } else {
        // Rounding can put d a hair beyond 1 in magnitude.
        double W = acos(d > 1 ? 1 : d < -1 ? -1 : d);
        double s = sin(W);
        k0 = sin((1 - t) * W) / s;
        k1 = sin(t * W) / s;
    }
    return Quat{ k0 * q0.w + k1 * q1.w, k0 * q0.x + k1 * q1.x, k0 * q0.y + k1 * q1.y,
                 k0 * q0.z + k1 * q1.z };
}

// ---------------------------------------------------------------- orientation curve

namespace {

QuatSample Midpoint(const QuatSample &ll, const QuatSample &l, const QuatSample &r,
                    const QuatSample &rr)
{
    QuatSample m;
    m.smooth = (l.smooth + r.smooth) / 2;
    // Spherical midpoints: the slerp rules also cover the nearly equal and
    // nearly opposite pairs, where a plain sin(W/2)/sin(W) scale would
    // double the length or divide by almost zero.
    Quat a = QuatSlerp(l.q, r.q, 0.5);
    Quat b = QuatSlerp(ll.q, rr.q, 0.5);
    m.q = QuatSlerp(b, a, 1 + (1 - m.smooth) * 0.125);
    return m;
}

void Subdivide(QuatCurve *c)
{
    QuatSample *s = c->samples;
    int last = c->last;
    for (int spacing = QUAT_CURVE_STRIDE; spacing >= 2; spacing /= 2) {
        int half = spacing / 2;
        for (int l = 0; l + spacing <= last; l += spacing) {
            int r = l + spacing;
            int ll = l - spacing < 0 ? 0 : l - spacing;
            int rr = r + spacing > last ? last : r + spacing;
            s[l + half] = Midpoint(s[ll], s[l], s[r], s[rr]);
        }
    }
}

} // namespace

QuatCurve *BuildQuatCurve(QuatCurve *curve, int keys, QuatSampleFn fill, void *ctx)
{
    if (!fill || keys < 1 || keys > (1 << 24))
        return nullptr;
    bool made = false;
    if (!curve) {
        curve = static_cast<QuatCurve *>(calloc(1, sizeof(QuatCurve)));
        if (!curve)
            return nullptr;
        curve->flags = 1;
        curve->stride = QUAT_CURVE_STRIDE;
        curve->last = -1;
        made = true;
    }
    int last = (keys - 1) * QUAT_CURVE_STRIDE;
    if (!curve->samples || curve->last != last) {
        QuatSample *s = static_cast<QuatSample *>(calloc(size_t(last) + 1, sizeof(QuatSample)));
        if (!s) {
            if (made)
                free(curve);
            return nullptr;
        }
        free(curve->samples);
        curve->samples = s;
        curve->last = last;
    }
    curve->stride = QUAT_CURVE_STRIDE;
    for (int k = 1; k <= keys; ++k)
        fill(ctx, k, &curve->samples[(k - 1) * QUAT_CURVE_STRIDE]);
    Subdivide(curve);
    curve->flags &= ~QUAT_CURVE_REBUILD;
    return curve;
}

void SetQuatCurveKey(QuatCurve *curve, const QuatSample &sample, int key)
{
    if (!curve || !curve->samples || key < 1)
        return;
    int at = (key - 1) * QUAT_CURVE_STRIDE;
    if (at > curve->last)
        return;
    curve->samples[at] = sample;
    curve->flags |= QUAT_CURVE_REBUILD;
}

Quat EvalQuatCurve(QuatCurve *curve, int key, double t)
{
    if (!curve || !curve->samples)
        return Quat{ 1, 0, 0, 0 };
    if (curve->flags & QUAT_CURVE_REBUILD) {
        // Every sample is re-derived from its final neighbours, as a full
        // build does; the window near the position is part of that.
        Subdivide(curve);
        curve->flags &= ~QUAT_CURVE_REBUILD;
    }
    double p = (key - 1 + t) * QUAT_CURVE_STRIDE;
    if (!(p > 0))
        p = 0;
    if (p >= curve->last)
        return curve->samples[curve->last].q;
    int i = int(p);
    return QuatSlerp(curve->samples[i].q, curve->samples[i + 1].q, p - i);
}

void FreeBufferRecord(QuatCurve *curve)
{
    if (!curve)
        return;
    free(curve->samples);
    free(curve);
}

// ---------------------------------------------------------------- colour

void RgbToHsl(int red, int green, int blue, double *hue, double *lightness, double *saturation)
{
    double r = red / 255.0, g = green / 255.0, b = blue / 255.0;
    double mx = r > g ? (r > b ? r : b) : (g > b ? g : b);
    double mn = r < g ? (r < b ? r : b) : (g < b ? g : b);
    double L = (mx + mn) / 2, S = 0, H = 0;
    double span = mx - mn;
    if (span >= FX_GREY_EPS) {
        S = L < 0.5 ? span / (mx + mn) : span / (2 - mx - mn);
        if (r == mx)
            H = (g - b) / span;
        else if (g == mx)
            H = 2 + (b - r) / span;
        else
            H = 4 + (r - g) / span;
        H *= 60;
        if (H < 0)
            H += 360;
    }
    *hue = H;
    *lightness = L * 100;
    *saturation = S * 100;
}

namespace {

double Channel(double m1, double m2, double h)
{
    if (h < 0)
        h += 360;
    if (h >= 360)
        h -= 360;
    if (h < 60)
        return m1 + (m2 - m1) * h * 0.016666666666666666;
    if (h < 180)
        return m2;
    if (h < 240)
        return m1 + (m2 - m1) * (240 - h) * 0.016666666666666666;
    return m1;
}

} // namespace

void BlendColourHsl(uint32_t *out, uint32_t c1, uint32_t c2, double t)
{
    double h1, l1, s1, h2, l2, s2;
    RgbToHsl(c1 & 0xFF, (c1 >> 8) & 0xFF, (c1 >> 16) & 0xFF, &h1, &l1, &s1);
    RgbToHsl(c2 & 0xFF, (c2 >> 8) & 0xFF, (c2 >> 16) & 0xFF, &h2, &l2, &s2);
    double H = h1 + (h2 - h1) * t;
    double L = l1 + (l2 - l1) * t;
    double S = s1 + (s2 - s1) * t;
    if (H < 0)
        H += 360;
    else if (H >= 360)
        H -= 360;
    L = (L < 0 ? 0 : L > 100 ? 100 : L) / 100;
    S = (S < 0 ? 0 : S > 100 ? 100 : S) / 100;
    double m2 = L < 0.5 ? (S + 1) * L : L + S - L * S;
    double m1 = 2 * L - m2;
    uint32_t r = uint32_t(Channel(m1, m2, H + 120) * 255);
    uint32_t g = uint32_t(Channel(m1, m2, H) * 255);
    uint32_t b = uint32_t(Channel(m1, m2, H - 120) * 255);
    *out = (r & 0xFF) | (g & 0xFF) << 8 | (b & 0xFF) << 16;
}
