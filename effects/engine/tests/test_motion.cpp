// Motion: the keyframe chosen for a frame time, still transitions without
// overshoot, speed parameters, spins, orientation (short way, orient to
// path), the interpolation of every other attribute, the projection into a
// view and the warp buffer property.
#include <catch2/catch.hpp>

#include <cmath>

#include "fxeval.h"

namespace {

struct PathFixture {
    FxPath *list = nullptr;
    FxPath *p = nullptr;
    int keys = 0;
    PathFixture()
    {
        REQUIRE(AppendNewPath(&list));
        p = list;
    }
    ~PathFixture() { FreeEffect(list); }

    // Appends a keyframe held from `start` for `delay` frames at (x, y, z).
    FxKeyframe *Add(int start, int delay, double x, double y = 0, double z = 1000)
    {
        FxKeyframe *kf = keys == 0 ? p->head : NewKeyframe();
        REQUIRE(kf);
        if (keys > 0) {
            FxKeyframe *last = p->head->prev;
            last->next = kf;
            kf->prev = last;
            kf->next = p->head;
            p->head->prev = kf;
        }
        kf->index = ++keys;
        kf->startFrame = start;
        kf->startTime = start;
        kf->delay = delay;
        kf->endFrame = start + delay;
        kf->endTime = start + delay;
        kf->position[0] = x;
        kf->position[1] = y;
        kf->position[2] = z;
        return kf;
    }

    FxKeyframe &Eval(double t, FxView *view = nullptr)
    {
        REQUIRE(EvaluatePathAtTime(view, p, t, 0) == 1);
        return p->work;
    }
};

FxView PlainView()
{
    FxView v{};
    v.width = 720;
    v.height = 576;
    v.virtualWidth = 720;
    v.virtualHeight = 576;
    v.scaleX = v.scaleY = 1;
    v.originX = 360;
    v.originY = 288;
    v.distance = 1000;
    return v;
}

bool SameRotation(const Quat &a, const Quat &b, double tol = 1e-9)
{
    double d = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
    return fabs(fabs(d) - 1) < tol;
}

} // namespace

TEST_CASE("The keyframe whose transition covers a time is chosen", "[motion]")
{
    PathFixture f;
    FxKeyframe *a = f.Add(1, 4, 0), *b = f.Add(11, 2, 100), *c = f.Add(21, 0, 200);
    const struct { double t; FxKeyframe *want; } cases[] = {
        { 0, a }, { 5, a }, { 5.5, a }, { 10.9, a }, { 11, a }, { 13, a },
        { 13.01, b }, { 20, b }, { 21, b }, { 40, b },
    };
    for (auto &c2 : cases) {
        INFO("t " << c2.t);
        CHECK(ChooseKeyframe(f.p, c2.t) == c2.want);
    }

    // Values: the hold shows the keyframe, the frame after its end has
    // started the transition, past the last start the last one shows.
    CHECK(f.Eval(5).position[0] == 0);
    CHECK(f.Eval(6).position[0] > 0);
    CHECK(f.Eval(12).position[0] == Approx(100).margin(1e-9));
    CHECK(f.Eval(21).position[0] == Approx(200).margin(1e-9));
    CHECK(f.Eval(99).position[0] == Approx(200).margin(1e-9));
    FxKeyframe &w = f.Eval(7.25);
    CHECK(w.startTime == 7.25);
    CHECK(w.endFrame == 7);
    CHECK(w.secondFlags & KF2_FRACTIONAL);
    CHECK(w.flags & KF_WORK);
    (void)c;
}

TEST_CASE("A lone keyframe shows its own values at every time", "[motion]")
{
    PathFixture f;
    FxKeyframe *a = f.Add(1, 0, 12, -7, 900);
    a->fade = 30;
    for (double t : { -5.0, 1.0, 1.5, 100.0 }) {
        FxKeyframe &w = f.Eval(t);
        CHECK(w.position[0] == Approx(12).margin(1e-12));
        CHECK(w.position[1] == Approx(-7).margin(1e-12));
        CHECK(w.position[2] == Approx(900).margin(1e-12));
        CHECK(w.fade == 30);
        CHECK(w.scale[0] == Approx(1));
    }
}

TEST_CASE("Segments, still transitions and speeds", "[motion]")
{
    PathFixture f;
    f.Add(1, 0, 0);
    FxKeyframe *b = f.Add(11, 0, 100);
    f.Add(21, 0, 200);
    f.Add(31, 0, 300);

    SECTION("evenly spaced collinear keys move at constant speed with neutral speeds")
    {
        for (double t : { 11.0, 13.5, 16.0, 20.0 })
            CHECK(f.Eval(t).position[0] == Approx(100 + (t - 11) * 10).margin(1e-9));
        CHECK(SpeedParam(b, FX_CH_POSITION, 11) == 0.0);
        CHECK(SpeedParam(b, FX_CH_POSITION, 16) == 0.5);
        CHECK(SpeedParam(b, FX_CH_POSITION, 21) == 1.0);
        CHECK(b->positionSpeed.duration == 10);
    }

    SECTION("two keys at the same place stay exactly still between them")
    {
        b->next->position[0] = 100;   // keys 2 and 3 both at 100, neighbours elsewhere
        RefreshPath(f.p);
        for (double t = 11; t <= 21; t += 0.5)
            CHECK(f.Eval(t).position[0] == Approx(100).margin(1e-12));
        // The stored triples are not changed by the replacement.
        CHECK(b->positionTcb.b == 0);
    }

    SECTION("speed out 0 starts slowly, speed 100 fast")
    {
        b->positionSpeed.speedOut = 0;
        RefreshPath(f.p);
        double slow = f.Eval(13).position[0] - 100;
        b->positionSpeed.speedOut = 100;
        RefreshPath(f.p);
        double fast = f.Eval(13).position[0] - 100;
        CHECK(slow < 20);
        CHECK(fast > 20);
        CHECK(f.Eval(21).position[0] == Approx(200).margin(1e-9));
    }

    SECTION("a changed position marks the segments around it stale")
    {
        RefreshPath(f.p);
        FxKeyframe *c = b->next;
        f.p->current = c;
        uint32_t r = NoteKeyframeChange(f.p, FXC_POSITION | (FXC_SPEED_INTO << FX_CH_SHAPE));
        CHECK(r == (FXC_POSITION | (FXC_SPEED_INTO << FX_CH_SHAPE) | FXC_REBUILT_SPEED));
        for (FxKeyframe *k : { f.p->head, b, c, c->next })
            CHECK((k->positionSegment.flags & SEGMENT_STALE) != 0);
        CHECK((b->rotationSegment.flags & SEGMENT_STALE) == 0);
        // The evaluator rebuilds the stale segment it uses.
        c->position[0] = 250;
        CHECK(f.Eval(21).position[0] == Approx(250).margin(1e-9));
    }
}

TEST_CASE("Spins are made on the transition into their keyframe", "[motion]")
{
    PathFixture f;
    f.Add(1, 0, 0);
    FxKeyframe *b = f.Add(11, 0, 0);
    f.Add(21, 0, 0);
    b->spins[0] = 2;
    RefreshPath(f.p);
    double at1 = f.Eval(1).spinAngles[0];
    double at11 = f.Eval(11).spinAngles[0];
    double at21 = f.Eval(21).spinAngles[0];
    CHECK(at11 - at1 == Approx(2 * FX_SPIN));
    CHECK(at21 == Approx(at11));
    double mid = f.Eval(6).spinAngles[0];
    CHECK(mid > at1);
    CHECK(mid < at11);
    // The composed orientation after whole turns is the orientation again.
    CHECK(SameRotation(f.Eval(11).composedQuat, Quat{ 1, 0, 0, 0 }, 1e-9));
}

TEST_CASE("Orientation follows the curve the short way, or the path", "[motion][orientation]")
{
    PathFixture f;
    FxKeyframe *a = f.Add(1, 0, 0), *b = f.Add(11, 0, 0), *c = f.Add(21, 0, 0);
    a->orientation = QuatFromEuler(0, 0, 0.2);
    b->orientation = QuatFromEuler(0, 0, 0.8);
    Quat q = b->orientation;
    c->orientation = Quat{ -q.w, -q.x, -q.y, -q.z };   // the same rotation, negated
    for (FxKeyframe *k : { a, b, c })
        k->rotationTcb.c = 1;                           // plain spherical midpoints
    RefreshPath(f.p);
    CHECK(c->orientation.w == Approx(q.w));           // flipped back
    CHECK(SameRotation(f.Eval(6).orientation, QuatFromEuler(0, 0, 0.5)));
    for (double t : { 12.0, 16.0, 20.0 })
        CHECK(SameRotation(f.Eval(t).orientation, q));
    double angles[3] = { 0, 0, 0 };
    QuatToEuler(angles, f.Eval(6).composedQuat);
    CHECK(angles[2] == Approx(0.5));

    SECTION("orient to path keeps the base orientation along a straight line")
    {
        a->position[0] = 0;
        b->position[0] = 100;
        c->position[0] = 200;
        f.p->orientToPath = 1;
        RefreshPath(f.p);
        for (double t : { 3.0, 11.0, 17.0 })
            CHECK(SameRotation(f.Eval(t).orientation, a->orientation));
        // A turn of the motion turns the object about the normal.
        c->position[0] = 100;
        c->position[1] = 100;
        RefreshPath(f.p);
        Quat turned = f.Eval(16).orientation;
        CHECK_FALSE(SameRotation(turned, a->orientation, 1e-6));
    }
}

TEST_CASE("Other attributes interpolate, round or hold as their channel says", "[motion]")
{
    PathFixture f;
    FxKeyframe *a = f.Add(1, 0, 0), *b = f.Add(11, 0, 0);
    a->fade = 0;            b->fade = 99;
    a->mosaic[0] = 1;       b->mosaic[0] = 4;
    a->blur[1] = 2;         b->blur[1] = 6;
    a->skew[0] = 0.1;       b->skew[0] = 0.3;
    a->offset[0] = 5;       b->offset[0] = 50;
    a->twist[1] = 0.2;      b->twist[1] = 0.4;
    a->attributeMode = 3;   b->attributeMode = 7;
    a->kerning = 1;         b->kerning = 2;
    a->borderColour = 0x800000FF;   b->borderColour = 0x00FF0000;   // top bit: held
    a->shadowColour = 0x0000FF;     b->shadowColour = 0xFF0000;
    a->warpFlags = 0x2;     // parameter 1 held
    a->warpParams[0] = 0;   b->warpParams[0] = 10;
    a->warpParams[1] = 3;   b->warpParams[1] = 9;
    a->scale[0] = 1;        b->scale[0] = 3;
    RefreshPath(f.p);

    FxKeyframe &w = f.Eval(6);   // u = 0.5 everywhere with neutral speeds
    CHECK(w.fade == 49);                      // 49.5, fraction dropped
    CHECK(w.mosaic[0] == 3);                  // 2.5 rounded
    CHECK(w.blur[1] == 4);
    CHECK(w.skew[0] == Approx(0.2));
    CHECK(w.offset[0] == 5);                  // held
    CHECK(w.twist[1] == 0.2);                 // held
    CHECK(w.attributeMode == 3);              // held
    CHECK(w.kerning == 1.5f);
    CHECK(w.borderColour == 0x800000FF);
    CHECK(w.shadowColour == 0x00FF00);        // through green
    CHECK(w.warpParams[0] == 5);
    CHECK(w.warpParams[1] == 3);
    CHECK(w.scale[0] > 1);
    CHECK(w.scale[0] < 3);
}

namespace {

int g_made = 0, g_deleted = 0;

struct CountedBuffer : ByteBuffer {
    ~CountedBuffer() override { ++g_deleted; }
};

ByteBuffer *MakeBuffer(const GUID &, const double *params, double w, double, ByteBuffer *existing)
{
    if (existing)
        return existing;
    ++g_made;
    CountedBuffer *b = new CountedBuffer;
    b->Reserve(uint32_t(w) + uint32_t(params[0]));
    return b;
}

} // namespace

TEST_CASE("The warp buffer property follows the warp and the fade", "[motion][warp]")
{
    g_made = g_deleted = 0;
    g_fxMakeWarpBuffer = MakeBuffer;
    {
        PathFixture f;
        FxKeyframe *a = f.Add(1, 0, 0);
        uintptr_t key = uintptr_t(FX_WARP_PROPERTY);
        f.Eval(1);
        CHECK(f.p->props.get(f.p, key) == 0);     // no warp
        a->warpFlags &= ~WARP_NONE;
        f.Eval(1);
        CHECK(f.p->props.get(f.p, key) != 0);
        f.Eval(2);
        CHECK(g_made == 1);                       // kept and reused
        a->fade = 100;
        f.Eval(1);
        CHECK(f.p->props.get(f.p, key) == 0);
        CHECK(g_deleted == 1);
        a->fade = 0;
        f.Eval(1);
        CHECK(g_made == 2);
    }
    CHECK(g_deleted == 2);                        // freed with the path
    g_fxMakeWarpBuffer = nullptr;
}

TEST_CASE("Projection into a view", "[motion][projection]")
{
    PathFixture f;
    FxKeyframe *a = f.Add(1, 0, 10.5, -20.5, 1000);
    SetKeyframeSize(a, 100, 50);
    FxView v = PlainView();

    SECTION("without perspective: scaled, rounded half away from zero, plus the origin")
    {
        v.scaleX = 2;
        ProjectKeyframe(&v, f.p, a, 0);
        CHECK(a->screenPos[0] == 21 + 360);
        CHECK(a->screenPos[1] == -21 + 288);
        CHECK(a->screenCorners[0][0] == 2 * (-50 + 10.5) + 360);
        CHECK(a->screenCorners[2][1] == FxRound(25 - 20.5) + 288);
        CHECK(a->screenBounds[0] == 360 + 21 - 100);
        CHECK(a->screenBounds[2] == 200);
        CHECK((a->secondFlags & 0x80) != 0);
    }

    SECTION("with perspective: the distance over z scales; z at 0 gives a huge factor, clamped")
    {
        v.flags |= VIEW_PERSPECTIVE;
        a->position[2] = 2000;
        ProjectKeyframe(&v, f.p, a, 0);
        CHECK(a->screenPos[0] == FxRound(10.5 * 0.5 + 360));
        CHECK(a->normCorners[1][0] == Approx((50 + 10.5) * 0.5 / 720));
        a->position[2] = 0.00001;
        for (auto &c : a->corners)
            c[2] = 0;
        ProjectKeyframe(&v, f.p, a, 0);
        CHECK(a->screenPos[0] == 32767);
        CHECK(a->screenPos[1] == -32768);
        CHECK(a->screenCentre[0] == 719);        // limited to the view
        CHECK(a->screenCentre[1] == 1);
        CHECK(a->screenBounds[0] >= 0);
        CHECK(a->screenBounds[0] + a->screenBounds[2] <= 720);
    }

    SECTION("a quarter turn about z swaps the corners' extents")
    {
        a->orientation = QuatFromEuler(0, 0, FX_PI / 2);
        a->position[0] = a->position[1] = 0;
        ProjectKeyframe(&v, f.p, a, 0);
        CHECK(a->screenCorners[0][0] == 360 + 25);
        CHECK(a->screenCorners[0][1] == 288 - 50);
    }

    SECTION("the evaluator projects the work keyframe")
    {
        FxKeyframe &w = f.Eval(1, &v);
        CHECK(w.screenPos[0] == FxRound(10.5) + 360);
    }
}

TEST_CASE("Motion curves, frame ticks and dirty rectangles for the editor", "[motion][editor]")
{
    PathFixture f;
    f.Add(1, 0, -300, 0);
    FxKeyframe *b = f.Add(11, 0, -200, 0), *c = f.Add(21, 0, -100, 0);
    FxKeyframe *d = f.Add(61, 0, 0, 0);
    FxView v = PlainView();
    RefreshPath(f.p);

    SECTION("the curve: 64 of 65 steps towards the successor, bounds grown and clipped")
    {
        ProjectPathCurve(&v, b);
        CHECK(b->secondFlags & KF2_CURVE);
        for (int i = 0; i < 64; ++i) {
            CHECK(b->curvePoints[i][0] == FxRound(-200 + 100.0 * (i + 1) / 65) + 360);
            CHECK(b->curvePoints[i][1] == 288);
        }
        CHECK(b->curveBounds[0] == b->curvePoints[0][0] - 2);
        CHECK(b->curveBounds[2] == b->curvePoints[63][0] + 5 - b->curveBounds[0]);
        CHECK(b->curveBounds[3] == 7);
        ProjectPathCurve(&v, d);                 // the last keyframe has none
        CHECK((d->secondFlags & KF2_CURVE) == 0);
        v.originX = 0;                           // off the left edge: clipped at 0
        ProjectPathCurve(&v, f.p->head);
        CHECK(f.p->head->curveBounds[0] == 0);
        CHECK(f.p->head->curveBounds[2] == 0);
    }

    SECTION("frame ticks: one point per frame, the buffer in steps of 16")
    {
        ProjectFrameTicks(&v, b);
        CHECK(b->tickCount == 10);
        CHECK(b->tickCapacity == 16);
        auto *pts = static_cast<int32_t(*)[2]>(b->ownedBuffer);
        for (int i = 0; i < 10; ++i)
            CHECK(pts[i][0] == FxRound(-200 + 10.0 * i) + 360);
        ProjectFrameTicks(&v, c);
        CHECK(c->tickCount == 40);
        CHECK(c->tickCapacity == 48);
        ProjectKeyframe(&v, f.p, d, 0);
        ProjectFrameTicks(&v, d);
        CHECK(d->tickCount == 1);
        CHECK(static_cast<int32_t *>(d->ownedBuffer)[0] == d->screenPos[0]);
        CHECK(d->secondFlags & KF2_TICKS);
    }

    SECTION("a recompute projects every keyframe and re-derives its angles")
    {
        c->orientation = QuatFromEuler(0.25, 0, 0);
        c->rotation[0] = 9;
        c->spinAngles[1] = 4;
        FxEditContext ctx{ f.list, f.p, c, 16 };
        uint32_t r = UpdateAfterEdit(&v, &ctx, 64);
        CHECK(r == (64 | 0x2000));
        CHECK(c->rotation[0] == Approx(0.25));
        CHECK(c->spinAngles[1] == 0);
        for (FxKeyframe *k : { f.p->head, b, c })
            CHECK((k->secondFlags & (KF2_CURVE | KF2_TICKS)) == (KF2_CURVE | KF2_TICKS));
        CHECK(f.p->work.startTime == 16);        // every path evaluated at the frame
        CHECK(f.p->work.position[0] == Approx(-150));
    }

    SECTION("dirty rectangles gather as a union")
    {
        const int32_t r1[4] = { 10, 20, 30, 40 }, r2[4] = { 5, 50, 10, 30 };
        AddDirtyRect(&v, r1);
        CHECK(v.flags & VIEW_DIRTY_VALID);
        CHECK(v.dirty[0] == 10);
        AddDirtyRect(&v, r2);
        CHECK(v.dirty[0] == 5);
        CHECK(v.dirty[1] == 20);
        CHECK(v.dirty[2] == 35);
        CHECK(v.dirty[3] == 60);

        FxView w = PlainView();
        CHECK(CollectDirty(&w, f.list, f.p, b, 0x10) == 0x10);
        CHECK(w.flags & VIEW_GATHERING);
        CHECK(w.dirty[2] == 720);
        CHECK(w.dirty[3] == 576);

        FxView k = PlainView();
        ProjectKeyframe(&k, f.p, b, 0);
        CollectDirty(&k, f.list, f.p, b, 0x1000);
        CHECK(k.dirty[0] == std::min(b->screenBounds[0], b->screenCentre[0] - 12));
        CHECK(k.dirty[1] == std::min(b->screenBounds[1], b->screenCentre[1] - 12));
    }
}
