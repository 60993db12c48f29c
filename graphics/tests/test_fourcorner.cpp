// Four-corner mapping: set-up coefficients, simple quads mapped exactly
// (identity, translation, scale), a perspective quad checked against an
// independent homography for every decomposition order, refusals and the
// bounding rectangle.
#include <catch2/catch.hpp>

#include <cmath>
#include <set>
#include <vector>

#include "fourcorner.h"
#include "image_fixture.h"

using namespace fixture;

namespace {

// Homography from the unit square's corners to four points, by solving the
// eight linear equations directly (Gaussian elimination).
struct Homography {
    double m[9];   // x = (m0 u + m1 v + m2) / (m6 u + m7 v + 1), y with m3 m4 m5
    Homography(const double *xs, const double *ys)
    {
        const double us[4] = { 0, 1, 1, 0 }, vs[4] = { 0, 0, 1, 1 };
        double A[8][9] = {};
        for (int i = 0; i < 4; ++i) {
            double u = us[i], v = vs[i];
            double r1[9] = { u, v, 1, 0, 0, 0, -u * xs[i], -v * xs[i], xs[i] };
            double r2[9] = { 0, 0, 0, u, v, 1, -u * ys[i], -v * ys[i], ys[i] };
            for (int k = 0; k < 9; ++k) { A[2 * i][k] = r1[k]; A[2 * i + 1][k] = r2[k]; }
        }
        for (int c = 0; c < 8; ++c) {
            int piv = c;
            for (int r = c + 1; r < 8; ++r) if (std::fabs(A[r][c]) > std::fabs(A[piv][c])) piv = r;
            for (int k = 0; k < 9; ++k) std::swap(A[c][k], A[piv][k]);
            for (int r = 0; r < 8; ++r) {
                if (r == c) continue;
                double f = A[r][c] / A[c][c];
                for (int k = c; k < 9; ++k) A[r][k] -= f * A[c][k];
            }
        }
        for (int i = 0; i < 8; ++i) m[i] = A[i][8] / A[i][i];
        m[8] = 1;
    }
    // Destination point back to (u, v) through the inverse matrix.
    void inverse(double x, double y, double &u, double &v) const
    {
        const double *a = m;
        double inv[9] = {
            a[4] * a[8] - a[5] * a[7], a[2] * a[7] - a[1] * a[8], a[1] * a[5] - a[2] * a[4],
            a[5] * a[6] - a[3] * a[8], a[0] * a[8] - a[2] * a[6], a[2] * a[3] - a[0] * a[5],
            a[3] * a[7] - a[4] * a[6], a[1] * a[6] - a[0] * a[7], a[0] * a[4] - a[1] * a[3],
        };
        double w = inv[6] * x + inv[7] * y + inv[8];
        u = (inv[0] * x + inv[1] * y + inv[2]) / w;
        v = (inv[3] * x + inv[4] * y + inv[5]) / w;
    }
};

const DWORD kQuad[4] = { 0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0x80FFFF00u };
const DWORD kMarker = 0x01020304u;

LayerPtr quadrant_source(LONG w, LONG h)
{
    std::vector<DWORD> px((size_t)w * h);
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x) px[(size_t)y * w + x] = kQuad[(y >= h / 2) * 2 + (x >= w / 2)];
    return make_layer(w, h, px);
}

// Checks every destination pixel whose footprint (grown by a margin) maps
// wholly inside one quadrant or wholly outside the quad.  Returns the
// number of pixels checked.
int check_against_homography(const Layer *dst, LONG w, LONG h, const double *xs, const double *ys)
{
    Homography H(xs, ys);
    int checked = 0;
    const double margin = 1.5;
    for (LONG Y = 0; Y < dst->height; ++Y)
        for (LONG X = 0; X < dst->width; ++X) {
            int cell = -2;
            bool outside = true;
            for (int k = 0; k < 16; ++k) {
                double px = X + 0.5 + (k % 4 / 3.0 - 0.5) * (1 + 2 * margin);
                double py = Y + 0.5 + (k / 4 / 3.0 - 0.5) * (1 + 2 * margin);
                double u, v;
                H.inverse(px, py, u, v);
                bool in = u > 0 && u < 1 && v > 0 && v < 1;
                if (in) outside = false;
                int c = in ? (v * h >= h / 2) * 2 + (u * w >= w / 2) : -1;
                if (cell == -2) cell = c;
                else if (cell != c) cell = -3;
            }
            DWORD got = pel(dst, X, Y);
            if (outside) {
                INFO("outside pixel " << X << "," << Y);
                CHECK(got == kMarker);
                ++checked;
            } else if (cell >= 0) {
                INFO("inside pixel " << X << "," << Y << " quadrant " << cell);
                CHECK(got == kQuad[cell]);
                ++checked;
            }
        }
    return checked;
}

}  // namespace

TEST_CASE("set-up: affine parallelograms and projective coefficients", "[fourcorner]")
{
    FourCornerState s;
    const double px[4] = { 10, 30, 35, 15 }, py[4] = { 5, 5, 20, 20 };   // parallelogram
    REQUIRE(fourcorner_setup(&s, px, py, 8, 8) == 1);
    CHECK(s.affine == 1);
    CHECK(s.g == 0.0);
    CHECK(s.h == 0.0);
    CHECK(s.originX == 10);
    CHECK(s.originY == 5);
    CHECK(s.boundWidth == 26);
    CHECK(s.boundHeight == 16);

    const double qx[4] = { 2.4, 40, 33, 6 }, qy[4] = { 1.6, 8, 30, 22 };
    REQUIRE(fourcorner_setup(&s, qx, qy, 8, 8) == 1);
    CHECK(s.affine == 0);
    CHECK(s.originX == 2);
    CHECK(s.originY == 2);
    // The mapping takes the unit square's corners to the shifted corners.
    const double us[4] = { 0, 1, 1, 0 }, vs[4] = { 0, 0, 1, 1 };
    for (int i = 0; i < 4; ++i) {
        double w = s.g * us[i] + s.h * vs[i] + 1;
        CHECK((s.a * us[i] + s.b * vs[i] + s.c) / w == Approx(qx[i] - 2).margin(1e-9));
        CHECK((s.d * us[i] + s.e * vs[i] + s.f) / w == Approx(qy[i] - 2).margin(1e-9));
    }
}

TEST_CASE("mapping: identity, translation, scale and clipping are exact", "[fourcorner]")
{
    const LONG w = 5, h = 3;
    auto px = noise((size_t)w * h, 7);
    for (auto &p : px) p |= 0x01000000u;   // never fully transparent
    auto src = make_layer(w, h, px);
    struct Case { const char *name; double x[4], y[4]; LONG dw, dh, ox, oy, scale; } cases[] = {
        { "identity", { 0, 5, 5, 0 }, { 0, 0, 3, 3 }, 5, 3, 0, 0, 1 },
        { "translation", { 2, 7, 7, 2 }, { 1, 1, 4, 4 }, 9, 6, 2, 1, 1 },
        { "scale by 2", { 0, 10, 10, 0 }, { 0, 0, 6, 6 }, 10, 6, 0, 0, 2 },
        { "partly off the destination", { -2, 3, 3, -2 }, { -1, -1, 2, 2 }, 4, 4, -2, -1, 1 },
    };
    for (auto &c : cases) {
        INFO(c.name);
        auto dst = filled_layer(c.dw, c.dh, kMarker);
        REQUIRE(FourCornerMapLayer(dst.get(), src.get(), c.x, c.y) == 1);
        for (LONG y = 0; y < c.dh; ++y)
            for (LONG x = 0; x < c.dw; ++x) {
                LONG sx = (x - c.ox), sy = (y - c.oy);
                bool in = sx >= 0 && sy >= 0 && sx < w * c.scale && sy < h * c.scale;
                DWORD want = in ? px[(size_t)(sy / c.scale) * w + sx / c.scale] : kMarker;
                INFO(x << "," << y);
                CHECK(pel(dst.get(), x, y) == want);
            }
    }
    // A fully transparent source pixel leaves the destination's pixel.
    auto holed = make_layer(2, 1, { 0, 0xFF112233u });
    auto dst = filled_layer(2, 1, kMarker);
    const double x[4] = { 0, 2, 2, 0 }, y[4] = { 0, 0, 1, 1 };
    REQUIRE(FourCornerMapLayer(dst.get(), holed.get(), x, y) == 1);
    CHECK(pel(dst.get(), 0, 0) == kMarker);
    CHECK(pel(dst.get(), 1, 0) == 0xFF112233u);
}

TEST_CASE("mapping: halving averages pairs, one-pixel layers", "[fourcorner]")
{
    auto src = make_layer(4, 1, { argb(255, 100, 0, 0), argb(255, 200, 0, 0), argb(255, 0, 0, 0), argb(255, 0, 0, 50) });
    auto dst = filled_layer(2, 1, kMarker);
    const double x[4] = { 0, 2, 2, 0 }, y[4] = { 0, 0, 1, 1 };
    REQUIRE(FourCornerMapLayer(dst.get(), src.get(), x, y) == 1);
    CHECK(pel(dst.get(), 0, 0) == argb(255, 150, 0, 0));
    CHECK(pel(dst.get(), 1, 0) == argb(255, 0, 0, 25));

    auto one = make_layer(1, 1, { 0xFFABCDEFu });
    auto big = filled_layer(3, 3, kMarker);
    const double sx[4] = { 0, 3, 3, 0 }, sy[4] = { 0, 0, 3, 3 };
    REQUIRE(FourCornerMapLayer(big.get(), one.get(), sx, sy) == 1);
    for (DWORD p : pixels_of(big.get())) CHECK(p == 0xFFABCDEFu);
}

TEST_CASE("mapping: a perspective quad matches an independent homography, in every order", "[fourcorner]")
{
    const double qx[4] = { 6, 52, 44, 3 }, qy[4] = { 4, 12, 50, 40 };
    {
        auto src = quadrant_source(32, 32);
        auto dst = filled_layer(60, 60, kMarker);
        REQUIRE(FourCornerMapLayer(dst.get(), src.get(), qx, qy) == 1);
        CHECK(check_against_homography(dst.get(), 32, 32, qx, qy) > 2000);
    }
    // The same quad turned and mirrored in the plane (the eight symmetries
    // of the square), from a wide and from a tall source: each decomposition
    // order gets chosen for some of them.
    std::set<LONG> orders;
    const LONG sizes[2][2] = { { 32, 16 }, { 16, 32 } };
    for (auto &size : sizes) {
        auto src = quadrant_source(size[0], size[1]);
        for (int sym = 0; sym < 8; ++sym) {
            double tx[4], ty[4];
            for (int i = 0; i < 4; ++i) {
                double x = qx[i] - 30, y = qy[i] - 30;
                if (sym & 4) std::swap(x, y);
                if (sym & 1) x = -x;
                if (sym & 2) y = -y;
                tx[i] = x + 30;
                ty[i] = y + 30;
            }
            INFO("source " << size[0] << " x " << size[1] << ", symmetry " << sym);
            FourCornerState s;
            REQUIRE(fourcorner_setup(&s, tx, ty, size[0], size[1]));
            LONG order = fourcorner_choose(&s);
            REQUIRE(!fourcorner_folds(&s));
            orders.insert(order);
            auto d = filled_layer(60, 60, kMarker);
            REQUIRE(FourCornerMapLayer(d.get(), src.get(), tx, ty) == 1);
            CHECK(check_against_homography(d.get(), size[0], size[1], tx, ty) > 1500);
        }
    }
    CHECK(orders == std::set<LONG>{ 1, 2, 3, 4 });
}

TEST_CASE("refusals, folds and the bounding rectangle", "[fourcorner][bad]")
{
    RECT r = {};
    const double qx[4] = { 6.4, 52, 44, 3 }, qy[4] = { 4, 12, 50.6, 40 };
    CHECK(TestFourCorner(&r, qx, qy) == 1);
    CHECK(r.left == 3);
    CHECK(r.top == 4);
    CHECK(r.right == 3 + 50);     // round(52 - 3 + 1)
    CHECK(r.bottom == 4 + 48);    // round(50.6 - 4 + 1)

    // A dart (one corner inside the triangle of the others): g <= -1.
    const double dx[4] = { 0, 10, 1, 0 }, dy[4] = { 0, 0, 1, 10 };
    FourCornerState s;
    CHECK(fourcorner_setup(&s, dx, dy, 8, 8) == 0);
    CHECK(TestFourCorner(&r, dx, dy) == 0);
    auto src = filled_layer(4, 4, 0xFFFFFFFFu);
    auto dst = filled_layer(12, 12, kMarker);
    CHECK(FourCornerMapLayer(dst.get(), src.get(), dx, dy) == 0);
    for (DWORD p : pixels_of(dst.get())) CHECK(p == kMarker);

    // Degenerate and absurd corners are refused rather than divided by zero
    // or allocated.
    const double lx[4] = { 0, 5, 10, 0 }, ly[4] = { 0, 5, 10, 0 };
    CHECK(TestFourCorner(&r, lx, ly) == 0);
    const double hx[4] = { 0, 1e6, 1e6, 0 }, hy[4] = { 0, 0, 1e6, 1e6 };
    CHECK(TestFourCorner(&r, hx, hy) == 0);
    const double nx[4] = { 0, NAN, 4, 0 }, ny[4] = { 0, 0, 4, 4 };
    CHECK(TestFourCorner(&r, nx, ny) == 0);

    // A quad whose top and bottom edges run opposite ways folds in order 1.
    const double bx[4] = { 0, 10, 0, 10 }, by[4] = { 0, 2, 12, 10 };
    if (fourcorner_setup(&s, bx, by, 8, 8)) {
        s.abandoned = 14;
        REQUIRE(fourcorner_choose(&s) == 1);
        CHECK(fourcorner_folds(&s) == 1);
    }

    CHECK(FourCornerMapLayer(nullptr, src.get(), qx, qy) == 0);
    CHECK(FourCornerMapLayer(dst.get(), nullptr, qx, qy) == 0);
    CHECK(FourCornerMapLayer(dst.get(), src.get(), nullptr, qy) == 0);
}
