// Four-corner projective mapping: corners land on corners, the affine case
// is recognised, folded quads are refused, and mapping is consistent with
// the matrix algebra.
#include <catch2/catch.hpp>

#include "fxprojective.h"

namespace {

const Quad kUnit = { { 0, 1, 1, 0 }, { 0, 0, 1, 1 } };

void CheckCornersMap(const ProjectiveMatrix &m, const Quad &from, const Quad &to)
{
    for (int k = 0; k < 4; ++k) {
        double x = from.x[k], y = from.y[k];
        REQUIRE(MapPointDouble(&x, &y, &m) == 1);
        INFO("corner " << k);
        CHECK(x == Approx(to.x[k]).margin(1e-9));
        CHECK(y == Approx(to.y[k]).margin(1e-9));
    }
}

} // namespace

TEST_CASE("The unit square maps onto parallelograms and general quads", "[projective]")
{
    ProjectiveMatrix m;
    SECTION("a parallelogram is affine")
    {
        Quad par = { { 10, 30, 40, 20 }, { 5, 5, 25, 25 } };
        CHECK(SquareToQuad(&par, &m) == 1);
        CHECK(m.kind == PM_AFFINE);
        CHECK(m.m[6] == 0);
        CHECK(m.m[7] == 0);
        CheckCornersMap(m, kUnit, par);
    }
    SECTION("a trapezoid is projective")
    {
        Quad trap = { { 0, 2, 1, 0 }, { 0, 0, 1, 1 } };
        CHECK(SquareToQuad(&trap, &m) == 1);
        CHECK(m.kind == PM_PROJECTIVE);
        CheckCornersMap(m, kUnit, trap);
        // The square's centre goes where the diagonals cross, not to the
        // average of the corners.
        double x = 0.5, y = 0.5;
        MapPointDouble(&x, &y, &m);
        CHECK(x == Approx(2.0 / 3));
        CHECK(y == Approx(2.0 / 3));
    }
    SECTION("a crossed quad is refused, the matrix still filled")
    {
        Quad bow = { { 0, 1, 0, 1 }, { 0, 0, 1, 1 } };
        CHECK(SquareToQuad(&bow, &m) == 0);
        CHECK(m.m[7] == Approx(-2));
        Quad flat = { { 0, 0, 0, 0 }, { 0, 0, 0, 1 } };
        CHECK(SquareToQuad(&flat, &m) == 0);
    }
}

TEST_CASE("Quad to quad maps corner onto corner", "[projective]")
{
    Quad a = { { 100, 300, 280, 90 }, { 50, 70, 260, 240 } };
    Quad b = { { -20, 400, 350, 10 }, { 0, 30, 300, 200 } };
    ProjectiveMatrix m;
    REQUIRE(QuadToQuad(&a, &b, &m) == 1);
    CheckCornersMap(m, a, b);
    REQUIRE(QuadToQuad(&a, &a, &m) == 1);
    CheckCornersMap(m, a, a);
    CHECK(m.kind == PM_PROJECTIVE);

    // Both affine: the product stays affine.
    Quad p1 = { { 0, 10, 10, 0 }, { 0, 0, 10, 10 } };
    Quad p2 = { { 5, 25, 30, 10 }, { 5, 5, 15, 15 } };
    REQUIRE(QuadToQuad(&p1, &p2, &m) == 1);
    CHECK(m.kind == PM_AFFINE);
    CheckCornersMap(m, p1, p2);
}

TEST_CASE("Adjoint, product and integer mapping", "[projective]")
{
    ProjectiveMatrix m, adj, prod;
    Quad q = { { 0, 2, 1, 0 }, { 0, 0, 1, 1 } };
    SquareToQuad(&q, &m);
    AdjointMatrix(&m, &adj);
    MultiplyMatrix(&m, &adj, &prod);
    // M x adj(M) is det(M) times the identity.
    double det = prod.m[0];
    CHECK(det != 0);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            CHECK(prod.m[r * 3 + c] == Approx(r == c ? det : 0).margin(1e-12));

    // Integer points round to nearest, ties to even.
    ProjectiveMatrix half = { PM_AFFINE, 0, { 1, 0, 0.5, 0, 1, -0.5, 0, 0, 1 } };
    IntPoint pts[] = { { 0, 0 }, { 1, 1 }, { 2, 3 } };
    IntPoint want[] = { { 0, 0 }, { 2, 0 }, { 2, 2 } };
    for (int k = 0; k < 3; ++k) {
        MapPointInt(&pts[k], &half);
        CHECK(pts[k].x == want[k].x);
        CHECK(pts[k].y == want[k].y);
    }
}
