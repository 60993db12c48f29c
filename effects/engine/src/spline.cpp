// Tension/continuity/bias segments, the segment stepper and speed curves.
#include "fxmaths.h"

#include <cmath>

namespace {

// Outgoing tangent weights at the first key and incoming at the second.
struct TangentWeights {
    double in0, in1;     // D1 = in0 (P1 - P0) + in1 (P2 - P1)
    double out0, out1;   // D2 = out0 (P2 - P1) + out1 (P3 - P2)
};

TangentWeights Weights(const FxTcb &k1, const FxTcb &k2)
{
    TangentWeights w;
    w.in0 = (1 - k1.t) * (1 + k1.c) * (1 + k1.b) / 2;
    w.in1 = (1 - k1.t) * (1 - k1.c) * (1 - k1.b) / 2;
    w.out0 = (1 - k2.t) * (1 - k2.c) * (1 + k2.b) / 2;
    w.out1 = (1 - k2.t) * (1 + k2.c) * (1 - k2.b) / 2;
    return w;
}

void Coefficients(const TangentWeights &w, double p0, double p1, double p2, double p3, double a[4])
{
    double d1 = w.in0 * (p1 - p0) + w.in1 * (p2 - p1);
    double d2 = w.out0 * (p2 - p1) + w.out1 * (p3 - p2);
    a[0] = p1;
    a[1] = d1;
    a[2] = 3 * (p2 - p1) - 2 * d1 - d2;
    a[3] = 2 * (p1 - p2) + d1 + d2;
}

} // namespace

void BuildTcbSegment(SplineSegment *seg, const Vec3 &p0, const Vec3 &p1, const Vec3 &p2,
                     const Vec3 &p3, const FxTcb &tcb1, const FxTcb &tcb2)
{
    TangentWeights w = Weights(tcb1, tcb2);
    double a[4];
    Coefficients(w, p0.x, p1.x, p2.x, p3.x, a);
    for (int i = 0; i < 4; ++i)
        seg->a[i].x = a[i];
    Coefficients(w, p0.y, p1.y, p2.y, p3.y, a);
    for (int i = 0; i < 4; ++i)
        seg->a[i].y = a[i];
    Coefficients(w, p0.z, p1.z, p2.z, p3.z, a);
    for (int i = 0; i < 4; ++i)
        seg->a[i].z = a[i];
    seg->flags &= ~SEGMENT_STALE;
}

void EvalSegment(const SplineSegment *seg, Vec3 *out, double t, Vec3 *derivative)
{
    const Vec3 *a = seg->a;
    out->x = ((a[3].x * t + a[2].x) * t + a[1].x) * t + a[0].x;
    out->y = ((a[3].y * t + a[2].y) * t + a[1].y) * t + a[0].y;
    out->z = ((a[3].z * t + a[2].z) * t + a[1].z) * t + a[0].z;
    if (derivative) {
        derivative->x = (3 * a[3].x * t + 2 * a[2].x) * t + a[1].x;
        derivative->y = (3 * a[3].y * t + 2 * a[2].y) * t + a[1].y;
        derivative->z = (3 * a[3].z * t + 2 * a[2].z) * t + a[1].z;
    }
}

void BuildTcbSegmentN(SplineSegmentN *seg, const double *p0, const double *p1, const double *p2,
                      const double *p3, const FxTcb &tcb1, const FxTcb &tcb2)
{
    // The count is a record field: never trust it beyond the coefficient array.
    int n = seg->count;
    if (n >= 1 && n <= FX_SHAPE_VALUES) {
        TangentWeights w = Weights(tcb1, tcb2);
        for (int i = 0; i < n; ++i)
            Coefficients(w, p0[i], p1[i], p2[i], p3[i], seg->a[i]);
    }
    seg->flags &= ~SEGMENT_STALE;
}

void EvalSegmentN(const SplineSegmentN *seg, double *out, double t)
{
    int n = seg->count;
    if (n > FX_SHAPE_VALUES)
        n = FX_SHAPE_VALUES;
    for (int i = 0; i < n; ++i) {
        const double *a = seg->a[i];
        out[i] = ((a[3] * t + a[2]) * t + a[1]) * t + a[0];
    }
}

void StartSegmentStepper(SegmentStepper *st, const Vec3 &p0, const Vec3 &p1, const Vec3 &p2,
                         const Vec3 &p3, const FxTcb &tcb1, const FxTcb &tcb2, int steps)
{
    if (steps == 0)
        return;
    SplineSegment seg = {};
    BuildTcbSegment(&seg, p0, p1, p2, p3, tcb1, tcb2);
    double h = 1.0 / steps, h2 = h * h, h3 = h2 * h;
    auto axis = [&](double a1, double a2, double a3, double &d1, double &d2, double &d3) {
        d1 = a1 * h + a2 * h2 + a3 * h3;
        d2 = 2 * a2 * h2 + 6 * a3 * h3;
        d3 = 6 * a3 * h3;
    };
    axis(seg.a[1].x, seg.a[2].x, seg.a[3].x, st->d1.x, st->d2.x, st->d3.x);
    axis(seg.a[1].y, seg.a[2].y, seg.a[3].y, st->d1.y, st->d2.y, st->d3.y);
    axis(seg.a[1].z, seg.a[2].z, seg.a[3].z, st->d1.z, st->d2.z, st->d3.z);
    st->flags &= ~SEGMENT_STALE;
}

void StepSegment(SegmentStepper *st, Vec3 *p)
{
    p->x += st->d1.x;
    p->y += st->d1.y;
    p->z += st->d1.z;
    st->d1.x += st->d2.x;
    st->d1.y += st->d2.y;
    st->d1.z += st->d2.z;
    st->d2.x += st->d3.x;
    st->d2.y += st->d3.y;
    st->d2.z += st->d3.z;
}

// ---------------------------------------------------------------- speed curves

const uint8_t CosTable100[101] = {
    100, 100, 100, 100, 100, 100, 100, 99, 99, 99, 99, 99, 98, 98, 98, 97, 97, 96, 96, 96,
    95, 95, 94, 94, 93, 92, 92, 91, 90, 90, 89, 88, 88, 87, 86, 85, 84, 84, 83, 82,
    81, 80, 79, 78, 77, 76, 75, 74, 73, 72, 71, 70, 68, 67, 66, 65, 64, 63, 61, 60,
    59, 58, 56, 55, 54, 52, 51, 50, 48, 47, 45, 44, 43, 41, 40, 38, 37, 35, 34, 32,
    31, 29, 28, 26, 25, 23, 22, 20, 19, 17, 16, 14, 13, 11, 9, 8, 6, 5, 3, 2,
    0
};

namespace {

struct IPoint {
    int x, y;
};

int Mid(int p, int q)
{
    return (p + q + 1) >> 1;
}

// 16 points of the quadratic arc from p0 to p2 with control b, after p0,
// by forward differences with 8 fraction bits (step 1/16).
void Arc(IPoint p0, IPoint b, IPoint p2, IPoint *out)
{
    int ax = p0.x << 8, ay = p0.y << 8;
    int qx = p0.x - 2 * b.x + p2.x, qy = p0.y - 2 * b.y + p2.y;
    int d1x = 32 * (b.x - p0.x) + qx, d1y = 32 * (b.y - p0.y) + qy;
    int d2x = 2 * qx, d2y = 2 * qy;
    for (int i = 0; i < 16; ++i) {
        ax += d1x;
        ay += d1y;
        d1x += d2x;
        d1y += d2y;
        out[i].x = (ax + 128) >> 8;
        out[i].y = (ay + 128) >> 8;
    }
}

int Speed(uint16_t s)
{
    return s > 100 ? 100 : s;
}

} // namespace

void BuildSpeedCurve(SpeedCurve *curve, const SpeedCurve *startKey, const SpeedCurve *endKey)
{
    curve->flags &= ~SPEED_STALE;
    // Speeds come from stored keyframes; the table has 101 entries.
    int sOut = Speed(startKey->speedOut), sIn = Speed(endKey->speedIn);
    if (sOut == 50 && sIn == 50) {
        curve->flags |= SPEED_LINEAR;
        return;
    }
    curve->flags &= ~SPEED_LINEAR;

    IPoint A{ 0, 0 };
    IPoint B{ 5 * CosTable100[sOut], 5 * CosTable100[100 - sOut] };
    IPoint C{ 1024 - 5 * CosTable100[sIn], 1024 - 5 * CosTable100[100 - sIn] };
    IPoint D{ 1024, 1024 };
    IPoint ab{ Mid(A.x, B.x), Mid(A.y, B.y) };
    IPoint bc{ Mid(B.x, C.x), Mid(B.y, C.y) };
    IPoint cd{ Mid(C.x, D.x), Mid(C.y, D.y) };
    IPoint pts[32];
    Arc(ab, B, bc, pts);
    Arc(bc, C, cd, pts + 16);

    int j = 0;
    for (int k = 1; k <= 64; ++k) {
        int x = 16 * k, y;
        while (j < 32 && pts[j].x < x)
            ++j;
        if (x >= 1024)
            y = 1024;
        else if (j == 0)
            y = pts[0].x > 0 ? pts[0].y * x / pts[0].x : pts[0].y;
        else if (j == 32)
            y = pts[31].y + (1024 - pts[31].y) * (x - pts[31].x) / (1024 - pts[31].x);
        else if (pts[j].x == x)
            y = pts[j].y;
        else    // pts[j - 1].x < x < pts[j].x
            y = pts[j - 1].y + (pts[j].y - pts[j - 1].y) * (x - pts[j - 1].x) / (pts[j].x - pts[j - 1].x);
        curve->table[k - 1] = uint16_t(y < 0 ? 0 : y > 1024 ? 1024 : y);
    }
}

double EvalSpeedCurve(const SpeedCurve *curve, double time)
{
    double d = curve->duration;
    // A transition of no length is complete at once.
    if (!(d > 0))
        return time >= 0 ? 1.0 : 0.0;
    if (curve->flags & SPEED_LINEAR) {
        double u = time / d;
        return u < 0 ? 0.0 : u >= 1 ? 1.0 : u;
    }
    double x = 64 * time / d;
    if (!(x >= 0))
        return 0.0;
    if (x >= 64)
        return 1.0;
    int k = int(x);
    if (k == 0)
        return (curve->table[0] * int(1024 * time / d) / 16) * 0.0009765625;
    double y0 = curve->table[k - 1], y1 = curve->table[k];
    return (y0 + (y1 - y0) * (x - k)) * 0.0009765625;
}
