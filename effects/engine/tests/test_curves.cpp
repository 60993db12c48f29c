// Curve maths: Euler/quaternion conversions checked as rotations, slerp
// rules, the orientation curve through its keys, HSL colour blending, TCB
// segments against hand-worked coefficients, the stepper and speed curves
// against a floating-point B-spline.
#include <catch2/catch.hpp>

#include <cmath>
#include <cstring>
#include <vector>

#include "fxmaths.h"

namespace {

Quat AxisQuat(double angle, int axis)
{
    Quat q{ cos(angle / 2), 0, 0, 0 };
    (axis == 0 ? q.x : axis == 1 ? q.y : q.z) = sin(angle / 2);
    return q;
}

// Same rotation: q1 = +-q2.
bool SameRotation(const Quat &a, const Quat &b, double tol = 1e-6)
{
    double d = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
    return fabs(fabs(d) - 1) < tol;
}

double Norm(const Quat &q)
{
    return sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
}

} // namespace

TEST_CASE("Euler angles and quaternions describe the same rotations", "[quat]")
{
    SECTION("zero angles are the identity and back")
    {
        Quat q = QuatFromEuler(0, 0, 0);
        CHECK(q.w == 1.0);
        CHECK(q.x == 0.0);
        CHECK(q.y == 0.0);
        CHECK(q.z == 0.0);
        double a[3] = { 0, 0, 0 };
        QuatToEuler(a, q);
        CHECK(a[0] == 0.0);
        CHECK(a[1] == 0.0);
        CHECK(a[2] == 0.0);
    }

    SECTION("the product order is z * y * x")
    {
        const double cases[][3] = { { 0.3, -0.7, 1.1 }, { -2.0, 0.4, 2.9 }, { 1.5, 1.2, -0.2 } };
        for (auto &c : cases) {
            Quat want = QuatMultiply(QuatMultiply(AxisQuat(c[2], 2), AxisQuat(c[1], 1)), AxisQuat(c[0], 0));
            Quat got = QuatFromEuler(c[0], c[1], c[2]);
            CHECK(got.w == Approx(want.w).margin(1e-12));
            CHECK(got.x == Approx(want.x).margin(1e-12));
            CHECK(got.y == Approx(want.y).margin(1e-12));
            CHECK(got.z == Approx(want.z).margin(1e-12));
        }
    }

    SECTION("angles inside the principal range come back unchanged")
    {
        const double cases[][3] = { { 0.3, -0.7, 1.1 }, { -2.0, 0.4, 1.2 }, { 1.5, 1.2, -0.2 }, { 3.0, 0.1, 0.5 } };
        for (auto &c : cases) {
            double a[3] = { 0, 0, 0 };
            QuatToEuler(a, QuatFromEuler(c[0], c[1], c[2]));
            CHECK(a[0] == Approx(c[0]).margin(1e-9));
            CHECK(a[1] == Approx(c[1]).margin(1e-9));
            CHECK(a[2] == Approx(c[2]).margin(1e-9));
        }
    }

    SECTION("any orientation and any previous angles give an equivalent triple within [-pi, pi]")
    {
        uint32_t seed = 12345;
        auto rnd = [&] { seed = seed * 1664525u + 1013904223u; return (seed >> 8) / double(1 << 24); };
        for (int i = 0; i < 400; ++i) {
            Quat q{ rnd() - 0.5, rnd() - 0.5, rnd() - 0.5, rnd() - 0.5 };
            double n = Norm(q);
            q = Quat{ q.w / n, q.x / n, q.y / n, q.z / n };
            double a[3] = { (rnd() - 0.5) * 8, (rnd() - 0.5) * 8, (rnd() - 0.5) * 8 };
            QuatToEuler(a, q);
            INFO("sample " << i);
            CHECK(SameRotation(QuatFromEuler(a[0], a[1], a[2]), q, 1e-6));
            for (double v : a) {
                CHECK(v <= FX_PI + 1e-6);
                CHECK(v > -FX_PI + 1e-6);
            }
        }
    }

    SECTION("a half turn comes out as +pi, never -pi")
    {
        for (double old : { 0.0, -3.1, 3.1 }) {
            double a[3] = { old, 0, 0 };
            QuatToEuler(a, AxisQuat(FX_PI, 0));
            CHECK(a[0] == Approx(FX_PI).margin(1e-6));
            double b[3] = { 0, 0, old };
            QuatToEuler(b, QuatFromEuler(0, 0, -3.14159265358979));
            CHECK(b[2] == Approx(FX_PI).margin(1e-6));
        }
    }
}

TEST_CASE("Spherical interpolation", "[quat]")
{
    Quat q = QuatFromEuler(0.4, -0.3, 1.0);
    SECTION("a quaternion with itself stays put")
    {
        for (double t : { 0.0, 0.3, 1.0 }) {
            Quat r = QuatSlerp(q, q, t);
            CHECK(r.w == Approx(q.w));
            CHECK(r.x == Approx(q.x));
            CHECK(r.y == Approx(q.y));
            CHECK(r.z == Approx(q.z));
        }
    }
    SECTION("with its opposite the conjugate and linear weights are used")
    {
        Quat m{ -q.w, -q.x, -q.y, -q.z };
        Quat r = QuatSlerp(q, m, 0.25);
        Quat c = QuatConjugate(q);
        CHECK(r.w == Approx(0.75 * c.w + 0.25 * m.w));
        CHECK(r.x == Approx(0.75 * c.x + 0.25 * m.x));
        CHECK(r.y == Approx(0.75 * c.y + 0.25 * m.y));
        CHECK(r.z == Approx(0.75 * c.z + 0.25 * m.z));
    }
    SECTION("halfway between two turns about z is the half turn")
    {
        Quat r = QuatSlerp(AxisQuat(0.2, 2), AxisQuat(1.4, 2), 0.5);
        CHECK(SameRotation(r, AxisQuat(0.8, 2), 1e-12));
        CHECK(Norm(r) == Approx(1.0));
        Quat s = QuatSlerp(AxisQuat(0.2, 2), AxisQuat(1.4, 2), 0.0);
        CHECK(s.z == Approx(sin(0.1)));
    }
}

namespace {

struct Keys {
    std::vector<QuatSample> s;
};

void FillKey(void *ctx, int key, QuatSample *out)
{
    *out = static_cast<Keys *>(ctx)->s.at(size_t(key - 1));
}

} // namespace

TEST_CASE("The orientation curve passes through its keys", "[quat][curve]")
{
    CHECK(BuildQuatCurve(nullptr, 3, nullptr, nullptr) == nullptr);

    SECTION("rotations about one axis: smoothing 1 is the plain slerp, 0 overshoots only at the ends")
    {
        for (double smooth : { 0.0, 1.0 }) {
            Keys k;
            for (int i = 0; i < 4; ++i)
                k.s.push_back(QuatSample{ AxisQuat(i * 0.6, 2), smooth });
            QuatCurve *c = BuildQuatCurve(nullptr, 4, FillKey, &k);
            REQUIRE(c);
            CHECK(c->last == 48);
            CHECK(c->stride == 16);
            CHECK((c->flags & 1) == 1);
            INFO("smooth " << smooth);
            if (smooth == 1.0) {
                for (int key = 1; key <= 3; ++key)
                    for (double t : { 0.0, 0.25, 0.5, 0.8 })
                        CHECK(SameRotation(EvalQuatCurve(c, key, t), AxisQuat((key - 1 + t) * 0.6, 2), 1e-9));
            } else {
                // First pass at the start: the midpoint of keys 1 and 2 is
                // pushed an eighth away from the midpoint of keys 1 and 3
                // (the first key stands in for the missing one before it).
                CHECK(SameRotation(c->samples[8].q, AxisQuat(0.6 + 1.125 * (0.3 - 0.6), 2), 1e-12));
                // Inside, both midpoints agree and nothing overshoots.
                CHECK(SameRotation(c->samples[24].q, AxisQuat(0.9, 2), 1e-12));
                for (int i = 0; i <= c->last; ++i) {
                    CHECK(c->samples[i].q.x == Approx(0).margin(1e-12));
                    CHECK(c->samples[i].q.y == Approx(0).margin(1e-12));
                }
            }
            for (int key = 1; key <= 4; ++key)
                CHECK(SameRotation(EvalQuatCurve(c, key, 0), AxisQuat((key - 1) * 0.6, 2), 1e-12));
            FreeBufferRecord(c);
        }
    }

    SECTION("smoothing 0 bends the curve, smoothing 1 keeps spherical midpoints")
    {
        Keys k;
        k.s = { { AxisQuat(0, 0), 0 }, { AxisQuat(1.0, 0), 0 }, { QuatMultiply(AxisQuat(1.0, 1), AxisQuat(1.0, 0)), 0 } };
        QuatCurve *c = BuildQuatCurve(nullptr, 3, FillKey, &k);
        REQUIRE(c);
        for (int i = 0; i <= c->last; i += 16)
            CHECK(SameRotation(c->samples[i].q, k.s[size_t(i / 16)].q, 1e-12));
        Quat mid = EvalQuatCurve(c, 1, 0.5);
        Quat plain = QuatSlerp(k.s[0].q, k.s[1].q, 0.5);
        CHECK_FALSE(SameRotation(mid, plain, 1e-9));
        CHECK(Norm(mid) == Approx(1.0).margin(0.02));

        for (auto &s : k.s)
            s.smooth = 1;
        QuatCurve *c2 = BuildQuatCurve(c, 3, FillKey, &k);
        CHECK(c2 == c);
        CHECK(SameRotation(EvalQuatCurve(c, 1, 0.5), plain, 1e-12));
        FreeBufferRecord(c);
    }

    SECTION("a replaced key is re-derived before evaluation, as a fresh build would")
    {
        Keys k;
        for (int i = 0; i < 5; ++i)
            k.s.push_back(QuatSample{ QuatFromEuler(i * 0.3, i * -0.2, i * 0.1), 0 });
        QuatCurve *c = BuildQuatCurve(nullptr, 5, FillKey, &k);
        REQUIRE(c);
        QuatSample changed{ QuatFromEuler(0.2, 0.9, -0.4), 0.25 };
        SetQuatCurveKey(c, changed, 3);
        CHECK((c->flags & QUAT_CURVE_REBUILD) != 0);
        SetQuatCurveKey(c, changed, 9);   // beyond the curve: ignored
        k.s[2] = changed;
        QuatCurve *fresh = BuildQuatCurve(nullptr, 5, FillKey, &k);
        REQUIRE(fresh);
        for (int key = 1; key <= 4; ++key)
            for (double t : { 0.1, 0.5, 0.9 }) {
                Quat a = EvalQuatCurve(c, key, t), b = EvalQuatCurve(fresh, key, t);
                CHECK(a.w == Approx(b.w).margin(1e-12));
                CHECK(a.x == Approx(b.x).margin(1e-12));
                CHECK(a.y == Approx(b.y).margin(1e-12));
                CHECK(a.z == Approx(b.z).margin(1e-12));
            }
        CHECK((c->flags & QUAT_CURVE_REBUILD) == 0);

        // A smaller count reallocates the samples.
        QuatCurve *same = BuildQuatCurve(c, 2, FillKey, &k);
        CHECK(same == c);
        CHECK(c->last == 16);
        FreeBufferRecord(c);
        FreeBufferRecord(fresh);
    }

    SECTION("a lone key gives its own orientation everywhere")
    {
        Keys k;
        k.s.push_back(QuatSample{ QuatFromEuler(0.5, 0.5, 0.5), 0 });
        QuatCurve *c = BuildQuatCurve(nullptr, 1, FillKey, &k);
        REQUIRE(c);
        CHECK(c->last == 0);
        CHECK(SameRotation(EvalQuatCurve(c, 1, 0.7), k.s[0].q, 1e-12));
        CHECK(SameRotation(EvalQuatCurve(c, -3, 0.7), k.s[0].q, 1e-12));
        FreeBufferRecord(c);
    }
}

TEST_CASE("Colours through hue, saturation and lightness", "[colour]")
{
    struct Case { int r, g, b; double h, l, s; } cases[] = {
        { 255, 0, 0, 0, 50, 100 },   { 0, 255, 0, 120, 50, 100 }, { 0, 0, 255, 240, 50, 100 },
        { 255, 0, 255, 300, 50, 100 }, { 128, 128, 128, 0, 128 / 2.55, 0 }, { 255, 255, 255, 0, 100, 0 },
        { 0, 0, 0, 0, 0, 0 },        { 255, 128, 128, 0, 383 / 5.1, 100 },
    };
    for (auto &c : cases) {
        double h, l, s;
        RgbToHsl(c.r, c.g, c.b, &h, &l, &s);
        INFO(c.r << "," << c.g << "," << c.b);
        CHECK(h == Approx(c.h).margin(1e-9));
        CHECK(l == Approx(c.l).margin(1e-9));
        CHECK(s == Approx(c.s).margin(1e-9));
    }

    uint32_t out = 0xDEADBEEF;
    BlendColourHsl(&out, 0x0000FF, 0xFF0000, 0.5);   // red to blue
    CHECK(out == 0x00FF00);                          // through green, not magenta
    BlendColourHsl(&out, 0x0000FF, 0xFF0000, 0.0);
    CHECK(out == 0x0000FF);
    BlendColourHsl(&out, 0xFF0000FF, 0x00FF0000, 1.0);   // alpha is dropped
    CHECK(out == 0xFF0000);

    // The ends come back within the truncation of one step.
    for (uint32_t c : { 0x123456u, 0x808080u, 0xF0E0D0u, 0x0A50C8u }) {
        BlendColourHsl(&out, c, 0x00FF00, 0.0);
        for (int sh = 0; sh < 24; sh += 8)
            CHECK(std::abs(int((out >> sh) & 0xFF) - int((c >> sh) & 0xFF)) <= 1);
    }
}

TEST_CASE("TCB spline segments", "[spline]")
{
    const FxTcb zero{ 0, 0, 0 };

    SECTION("hand-worked Catmull-Rom coefficients and the end points")
    {
        SplineSegment seg;
        seg.flags = SEGMENT_STALE | 1;
        BuildTcbSegment(&seg, { 0, 0, 0 }, { 0, 1, 2 }, { 1, 1, 2 }, { 1, 1, 5 }, zero, zero);
        CHECK(seg.flags == 1);
        CHECK(seg.a[0].x == 0);
        CHECK(seg.a[1].x == 0.5);
        CHECK(seg.a[2].x == 1.5);
        CHECK(seg.a[3].x == -1.0);
        // y: a still channel whose outer neighbours differ still moves by tangents.
        CHECK(seg.a[1].y == 0.5);
        Vec3 v, d;
        EvalSegment(&seg, &v, 0.5, &d);
        CHECK(v.x == 0.5);
        CHECK(d.x == Approx(0.5 + 1.5 - 0.75));
    }

    SECTION("collinear equally spaced points give a straight line at constant speed")
    {
        SplineSegment seg{};
        BuildTcbSegment(&seg, { -10, 0, 5 }, { 0, 2, 5 }, { 10, 4, 5 }, { 20, 6, 5 }, zero, zero);
        for (int i = 2; i < 4; ++i) {
            CHECK(seg.a[i].x == Approx(0).margin(1e-12));
            CHECK(seg.a[i].y == Approx(0).margin(1e-12));
        }
        for (double t : { 0.0, 0.3, 1.0 }) {
            Vec3 v, d;
            EvalSegment(&seg, &v, t, &d);
            CHECK(v.x == Approx(10 * t).margin(1e-12));
            CHECK(d.x == Approx(10));
            CHECK(d.y == Approx(2));
        }
    }

    SECTION("tension 1 leaves no tangents; any triples still meet both ends")
    {
        const FxTcb full{ 1, 0, 0 };
        SplineSegment seg{};
        BuildTcbSegment(&seg, { 5, 1, 0 }, { 0, 0, 0 }, { 3, 4, 1 }, { 9, 9, 9 }, full, full);
        CHECK(seg.a[1].x == 0);
        Vec3 d;
        Vec3 v;
        EvalSegment(&seg, &v, 1, &d);
        CHECK(d.x == Approx(0).margin(1e-12));

        const FxTcb odd1{ 0.3, -0.5, 0.7 }, odd2{ -0.2, 0.9, -1 };
        BuildTcbSegment(&seg, { 5, 1, 0 }, { 1, 2, 3 }, { 3, 4, 1 }, { 9, 9, 9 }, odd1, odd2);
        EvalSegment(&seg, &v, 0, nullptr);
        CHECK(v.x == Approx(1));
        CHECK(v.z == Approx(3));
        EvalSegment(&seg, &v, 1, nullptr);
        CHECK(v.x == Approx(3));
        CHECK(v.y == Approx(4));
        CHECK(v.z == Approx(1));
    }

    SECTION("the n-channel segment agrees with the 3-vector one")
    {
        const FxTcb k1{ 0.1, 0.2, -0.3 }, k2{ 0, -0.4, 0.5 };
        double p[4][FX_SHAPE_VALUES];
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < FX_SHAPE_VALUES; ++i)
                p[j][i] = (i + 1) * (j * j - 2 * j) + i;
        SplineSegmentN n{};
        n.count = FX_SHAPE_VALUES;
        n.flags = SEGMENT_STALE;
        BuildTcbSegmentN(&n, p[0], p[1], p[2], p[3], k1, k2);
        CHECK(n.flags == 0);
        SplineSegment s{};
        BuildTcbSegment(&s, { p[0][0], p[0][7], p[0][14] }, { p[1][0], p[1][7], p[1][14] },
                        { p[2][0], p[2][7], p[2][14] }, { p[3][0], p[3][7], p[3][14] }, k1, k2);
        double out[FX_SHAPE_VALUES];
        Vec3 v;
        for (double t : { 0.0, 0.4, 1.0 }) {
            EvalSegmentN(&n, out, t);
            EvalSegment(&s, &v, t, nullptr);
            CHECK(out[0] == Approx(v.x));
            CHECK(out[7] == Approx(v.y));
            CHECK(out[14] == Approx(v.z));
        }
    }

    SECTION("a count outside the coefficient array only clears the stale bit")
    {
        for (int count : { 0, -1, 16, 1000 }) {
            SplineSegmentN n;
            memset(&n, 0x55, sizeof n);
            n.count = count;
            n.flags = SEGMENT_STALE;
            double p[FX_SHAPE_VALUES] = {};
            BuildTcbSegmentN(&n, p, p, p, p, zero, zero);
            CHECK(n.flags == 0);
            CHECK(n.a[0][0] != 0.0);   // untouched
        }
    }
}

TEST_CASE("The segment stepper walks the segment in N steps", "[spline]")
{
    const FxTcb k1{ 0.2, 0.1, -0.3 }, k2{ -0.1, 0, 0.4 };
    Vec3 p0{ -3, 7, 100 }, p1{ 0, 0, 1000 }, p2{ 120, -40, 900 }, p3{ 150, 10, 1200 };
    SplineSegment seg{};
    BuildTcbSegment(&seg, p0, p1, p2, p3, k1, k2);
    for (int n : { 1, 7, 64 }) {
        SegmentStepper st{};
        st.flags = SEGMENT_STALE;
        StartSegmentStepper(&st, p0, p1, p2, p3, k1, k2, n);
        CHECK(st.flags == 0);
        Vec3 pt = p1;
        for (int i = 1; i <= n; ++i) {
            StepSegment(&st, &pt);
            Vec3 want;
            EvalSegment(&seg, &want, double(i) / n, nullptr);
            CHECK(pt.x == Approx(want.x).margin(1e-9));
            CHECK(pt.y == Approx(want.y).margin(1e-9));
            CHECK(pt.z == Approx(want.z).margin(1e-9));
        }
        CHECK(pt.x == Approx(p2.x).margin(1e-9));
    }
    SegmentStepper st;
    memset(&st, 0x11, sizeof st);
    SegmentStepper before = st;
    StartSegmentStepper(&st, p0, p1, p2, p3, k1, k2, 0);
    CHECK(memcmp(&st, &before, sizeof st) == 0);
}

namespace {

// The ease curve's table by floating point: the uniform quadratic B-spline
// of A, B, C, D sampled finely and read at x = 16 k.
std::vector<double> ReferenceTable(int sOut, int sIn)
{
    auto c = [](int i) { return std::floor(100 * cos(i * 3.14159265358979 / 200) + 0.5); };
    double P[4][2] = { { 0, 0 }, { 5 * c(sOut), 5 * c(100 - sOut) },
                       { 1024 - 5 * c(sIn), 1024 - 5 * c(100 - sIn) }, { 1024, 1024 } };
    std::vector<std::pair<double, double>> pts;
    for (int arc = 0; arc < 2; ++arc) {
        double *a = P[arc], *b = P[arc + 1], *cc = P[arc + 2];
        for (int i = 0; i <= 4000; ++i) {
            double s = i / 4000.0;
            double m0x = (a[0] + b[0]) / 2, m0y = (a[1] + b[1]) / 2;
            double m1x = (b[0] + cc[0]) / 2, m1y = (b[1] + cc[1]) / 2;
            pts.push_back({ (1 - s) * (1 - s) * m0x + 2 * s * (1 - s) * b[0] + s * s * m1x,
                            (1 - s) * (1 - s) * m0y + 2 * s * (1 - s) * b[1] + s * s * m1y });
        }
    }
    std::vector<double> t;
    for (int k = 1; k <= 64; ++k) {
        double x = 16 * k, y = 1024;
        if (x >= 1024) {
            t.push_back(1024);
            continue;
        }
        size_t j = 0;
        while (j < pts.size() && pts[j].first < x)
            ++j;
        if (j == 0)
            y = pts[0].first > 0 ? pts[0].second * x / pts[0].first : pts[0].second;
        else if (j < pts.size())
            y = pts[j - 1].second;
        else
            y = pts.back().second + (1024 - pts.back().second) * (x - pts.back().first) / (1024 - pts.back().first);
        t.push_back(y);
    }
    return t;
}

SpeedCurve Curve(int out, int in, int duration)
{
    SpeedCurve c{};
    c.flags = SPEED_STALE;
    c.speedOut = uint16_t(out);
    c.speedIn = uint16_t(in);
    c.duration = duration;
    SpeedCurve end{};
    end.speedIn = uint16_t(in);
    BuildSpeedCurve(&c, &c, &end);
    return c;
}

} // namespace

TEST_CASE("Speed curves ease the progress of a transition", "[speed]")
{
    SECTION("the cosine table")
    {
        for (int i = 0; i <= 100; ++i)
            CHECK(CosTable100[i] == int(std::floor(100 * cos(i * 3.14159265358979 / 200) + 0.5)));
    }

    SECTION("neutral speeds are linear")
    {
        SpeedCurve c = Curve(50, 50, 20);
        CHECK(c.flags == SPEED_LINEAR);
        CHECK(EvalSpeedCurve(&c, 10) == 0.5);
        CHECK(EvalSpeedCurve(&c, -1) == 0.0);
        CHECK(EvalSpeedCurve(&c, 25) == 1.0);
        c = Curve(50, 49, 20);
        CHECK(c.flags == 0);
    }

    SECTION("tables follow the B-spline of the four control points")
    {
        const int pairs[][2] = { { 0, 0 }, { 100, 100 }, { 0, 100 }, { 100, 0 }, { 25, 80 }, { 50, 0 }, { 73, 50 } };
        for (auto &p : pairs) {
            SpeedCurve c = Curve(p[0], p[1], 30);
            std::vector<double> ref = ReferenceTable(p[0], p[1]);
            INFO("out " << p[0] << " in " << p[1]);
            for (int k = 0; k < 64; ++k) {
                CHECK(std::abs(c.table[k] - ref[size_t(k)]) <= 4);
                if (k)
                    CHECK(c.table[k] >= c.table[k - 1]);
            }
            CHECK(c.table[63] == 1024);
            CHECK(EvalSpeedCurve(&c, 0) == 0.0);
            CHECK(EvalSpeedCurve(&c, 30) == 1.0);
            double prev = 0;
            for (int i = 1; i <= 60; ++i) {
                double u = EvalSpeedCurve(&c, i * 0.5);
                CHECK(u >= prev);
                prev = u;
            }
        }
    }

    SECTION("speed out 0 starts slowly, 100 starts fast")
    {
        SpeedCurve slow = Curve(0, 50, 40), fast = Curve(100, 50, 40);
        CHECK(EvalSpeedCurve(&slow, 4) < 0.05);
        CHECK(EvalSpeedCurve(&fast, 4) > 0.2);
        // The first sixty-fourth scales the first entry in whole numbers.
        double u = EvalSpeedCurve(&fast, 0.3125);   // x = 8 of 1024
        CHECK(u == (fast.table[0] * 8 / 16) * 0.0009765625);
    }

    SECTION("speeds beyond 100 count as 100; a transition of no length is complete")
    {
        SpeedCurve a = Curve(100, 30, 10), b = Curve(250, 30, 10);
        CHECK(memcmp(a.table, b.table, sizeof a.table) == 0);
        SpeedCurve z = Curve(0, 0, 0);
        CHECK(EvalSpeedCurve(&z, 0) == 1.0);
        CHECK(EvalSpeedCurve(&z, -1) == 0.0);
        SpeedCurve zl = Curve(50, 50, 0);
        CHECK(EvalSpeedCurve(&zl, 0) == 1.0);
    }
}
