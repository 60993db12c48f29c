// Corner drags and matrix routines against hand-worked numbers: stretched
// and moved quads, refused quads put back, the view's delta conversion,
// and the 4 x 4 / 3 x 4 helpers of the realtime export.
#include <catch2/catch.hpp>

#include <cstring>

#include "fxcorners.h"
#include "fxmatrix.h"

namespace {

// A 100 x 80 keyframe at the origin and its copy from the drag's start.
struct Drag {
    FxKeyframe *kf = NewKeyframe();
    FxKeyframe *saved = NewKeyframe();
    FxCornerDrag d = {};
    Drag()
    {
        REQUIRE(kf);
        REQUIRE(saved);
        SetKeyframeSize(kf, 100, 80);
        kf->position[0] = kf->position[1] = 0;
        Save();
        d.kf = kf;
        d.saved = saved;
    }
    void Save()
    {
        CopyKeyframe(saved, kf);
        saved->next = saved->prev = saved;
    }
    ~Drag()
    {
        FreeKeyframe(kf);
        FreeKeyframe(saved);
        g_fxGraphics.TestFourCorner = nullptr;
    }
    void CheckCorners(const double expect[4][2])
    {
        for (int i = 0; i < 4; ++i) {
            INFO("corner " << i);
            CHECK(kf->corners[i][0] == Approx(expect[i][0]));
            CHECK(kf->corners[i][1] == Approx(expect[i][1]));
        }
    }
};

LONG PIXAPI RefuseAll(RECT *, const double *, const double *)
{
    return 0;
}

} // namespace

TEST_CASE("Stretching corners and edges", "[corners]")
{
    Drag t;
    SECTION("a corner follows the mouse")
    {
        t.d.handle = HANDLE_TR;
        REQUIRE(DragStretchCorners(&t.d, POINT{ 10, -5 }) == 1);
        const double e[4][2] = { { -50, -40 }, { 60, -45 }, { 50, 40 }, { -50, 40 } };
        t.CheckCorners(e);
    }
    SECTION("an edge moves across itself only")
    {
        t.d.handle = HANDLE_RIGHT;
        REQUIRE(DragStretchCorners(&t.d, POINT{ 20, 99 }) == 1);
        const double e[4][2] = { { -50, -40 }, { 70, -40 }, { 70, 40 }, { -50, 40 } };
        t.CheckCorners(e);
    }
    SECTION("a corner dragged across the opposite edge leaves the keyframe as it was")
    {
        t.d.handle = HANDLE_TR;
        REQUIRE(DragStretchCorners(&t.d, POINT{ 5, 5 }) == 1);   // a first, valid step
        t.d.handle = HANDLE_BR;
        CHECK(DragStretchCorners(&t.d, POINT{ -150, -100 }) == 0);
        const double e[4][2] = { { -50, -40 }, { 50, -40 }, { 50, 40 }, { -50, 40 } };
        t.CheckCorners(e);   // back to the drag's start
    }
    SECTION("the mouse delta goes through the view's scale")
    {
        FxView v;
        std::memset(&v, 0, sizeof v);
        v.scaleX = v.scaleY = 2;
        v.virtualWidth = v.virtualHeight = 100;
        v.picture[0] = POINT{ 10, 10 };
        t.d.view = &v;
        t.d.handle = HANDLE_BL;
        REQUIRE(DragStretchCorners(&t.d, POINT{ 10, -6 }) == 1);
        CHECK(t.kf->corners[HANDLE_BL][0] == -45);
        CHECK(t.kf->corners[HANDLE_BL][1] == 37);
    }
    SECTION("the graphics core's four-corner test is honoured")
    {
        g_fxGraphics.TestFourCorner = RefuseAll;
        t.d.handle = HANDLE_TL;
        CHECK(DragStretchCorners(&t.d, POINT{ 1, 1 }) == 0);
        CHECK(t.kf->corners[0][0] == -50);
    }
    SECTION("no keyframe or no handle")
    {
        FxCornerDrag none = {};
        CHECK(DragStretchCorners(&none, POINT{ 1, 1 }) == 0);
        CHECK(DragStretchCorners(nullptr, POINT{ 1, 1 }) == 0);
        t.d.handle = 8;
        CHECK(DragStretchCorners(&t.d, POINT{ 1, 1 }) == 0);
        CHECK(DragMoveCorners(nullptr, POINT{ 1, 1 }, DRAG_AXIS_X) == 0);
    }
}

TEST_CASE("Moving the quad with the keyframe's position", "[corners]")
{
    Drag t;
    const struct {
        int axes;
        double dx, dy;
    } cases[] = { { DRAG_AXIS_X, 7, 0 }, { DRAG_AXIS_Y, 0, 9 }, { DRAG_AXIS_X | DRAG_AXIS_Y, 7, 9 } };
    for (auto &c : cases) {
        INFO("axes " << c.axes);
        SetKeyframeSize(t.kf, 100, 80);
        t.kf->position[0] = t.kf->position[1] = 0;
        REQUIRE(DragMoveCorners(&t.d, POINT{ 7, 9 }, c.axes) == 1);
        const double e[4][2] = { { -50 + c.dx, -40 + c.dy }, { 50 + c.dx, -40 + c.dy }, { 50 + c.dx, 40 + c.dy },
                                 { -50 + c.dx, 40 + c.dy } };
        t.CheckCorners(e);
        CHECK(t.kf->position[0] == c.dx);
        CHECK(t.kf->position[1] == c.dy);
    }
    g_fxGraphics.TestFourCorner = RefuseAll;
    CHECK(DragMoveCorners(&t.d, POINT{ 3, 3 }, DRAG_AXIS_X) == 0);
    CHECK(t.kf->position[0] == 0);   // the saved copy's position
}

TEST_CASE("Convexity of quads", "[corners]")
{
    const struct {
        double x[4], y[4];
        int convex;
    } quads[] = {
        { { 0, 1, 1, 0 }, { 0, 0, 1, 1 }, 1 },
        { { 0, 0, 1, 1 }, { 0, 1, 1, 0 }, 1 },            // the other winding
        { { 0, 1, 0.2, 0 }, { 0, 0, 0.2, 1 }, 0 },        // a dent
        { { 0, 1, 0, 1 }, { 0, 0, 1, 1 }, 0 },            // crossed
        { { 0, 1, 2, 0 }, { 0, 0, 0, 1 }, 0 },            // three in a line
    };
    for (auto &q : quads)
        CHECK(IsConvexQuad(q.x, q.y) == q.convex);
}

TEST_CASE("Matrix routines", "[matrix]")
{
    double m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = i + 1;
    ScaleMatrixAxes(m, 1, 0, 2);
    const double scaled[16] = { 1, 2, 3, 4, 5, 6, 7, 8, 18, 20, 22, 24, 13, 14, 15, 16 };
    CHECK(std::memcmp(m, scaled, sizeof m) == 0);

    double a[12];
    for (int i = 0; i < 12; ++i)
        a[i] = i + 1;
    ScaleAffineAxes(a, 2, 0, 3);
    const double affine[12] = { 2, 4, 6, 4, 5, 6, 21, 24, 27, 10, 11, 12 };
    CHECK(std::memcmp(a, affine, sizeof a) == 0);

    // Scale by (2, 3, 4), then a translation applied before it: the origin
    // goes to (1, 1, 1) x scale.
    double t[16] = { 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1 };
    ScaleMatrixAxes(t, 2, 3, 4);
    TranslateMatrix(t, 1, 1, 1);
    const double row3[4] = { 2, 3, 4, 1 };
    CHECK(std::memcmp(t + 12, row3, sizeof row3) == 0);

    double q[16];
    BuildQuadMatrix(q, 2, 0, 5, 0, 3, 7, 0.00004, 0.00004);
    // (1, 1) -> (7, 10); the tiny perspective terms are dropped.
    double x = 1 * q[0] + 1 * q[4] + q[12], y = 1 * q[1] + 1 * q[5] + q[13], w = q[3] + q[7] + q[15];
    CHECK(x == 7);
    CHECK(y == 10);
    CHECK(w == 1);
    CHECK(q[10] == 1);
    BuildQuadMatrix(q, 1, 0, 0, 0, 1, 0, 0.00004, 0.5);
    CHECK(q[3] == 0.00004);
    CHECK(q[7] == 0.5);

    double p5[5], p4[4];
    MakePlane(p5, 1, -2, 3, 0, 5);
    MakePlane4(p4, 1, 2, -3, 4);
    const double e5[5] = { -1, 2, -3, 0, -5 }, e4[4] = { -1, -2, 3, -4 };
    for (int i = 0; i < 5; ++i)
        CHECK(p5[i] == e5[i]);
    for (int i = 0; i < 4; ++i)
        CHECK(p4[i] == e4[i]);
}
