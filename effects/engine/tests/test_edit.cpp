// Editing: finding keyframes by frame, hit tests, insertion and removal
// (ring order, indices, timing), path deletion, retiming, reversal and
// text-group spacing.
#include <catch2/catch.hpp>

#include <cmath>
#include <cstring>
#include <vector>

#include "fxedit.h"

namespace {

struct Span {
    int start, end;
};

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

    FxKeyframe *Add(int start, int delay, double x = 0)
    {
        return AddTo(p, start, delay, x);
    }
    FxKeyframe *AddTo(FxPath *path, int start, int delay, double x = 0)
    {
        FxKeyframe *kf;
        if (path == p && keys == 0) {
            kf = path->head;
        } else if (path != p && path->head->index == 1 && path->head->startFrame == 0) {
            kf = path->head;
        } else {
            kf = NewKeyframe();
            REQUIRE(kf);
            FxKeyframe *last = path->head->prev;
            last->next = kf;
            kf->prev = last;
            kf->next = path->head;
            path->head->prev = kf;
            kf->index = last->index + 1;
        }
        if (path == p)
            ++keys;
        kf->startFrame = start;
        kf->startTime = start;
        kf->delay = delay;
        kf->endFrame = start + delay;
        kf->endTime = start + delay;
        kf->position[0] = x;
        return kf;
    }
    FxPath *NewPath(int start, int delay)
    {
        FxPath *q = nullptr;
        REQUIRE(AppendNewPath(&q));
        AppendPath(&list, q);
        q->head->startFrame = q->head->endFrame = start;
        q->head->startTime = q->head->endTime = start;
        q->head->endFrame += delay;
        q->head->endTime += delay;
        q->head->delay = delay;
        return q;
    }
};

// The ring as spans from the head, checking links and indices on the way.
std::vector<Span> Spans(FxPath *path)
{
    std::vector<Span> out;
    FxKeyframe *kf = path->head;
    int i = 1;
    do {
        REQUIRE(kf->index == i);
        REQUIRE(kf->next->prev == kf);
        REQUIRE(kf->startTime == Approx(kf->startFrame));
        REQUIRE(kf->endTime == Approx(kf->endFrame));
        REQUIRE(kf->delay == kf->endFrame - kf->startFrame);
        out.push_back({ kf->startFrame, kf->endFrame });
        kf = kf->next;
        ++i;
    } while (kf != path->head);
    return out;
}

bool operator==(const Span &a, const Span &b)
{
    return a.start == b.start && a.end == b.end;
}

std::ostream &operator<<(std::ostream &os, const Span &s)
{
    return os << '[' << s.start << ',' << s.end << ']';
}

} // namespace

TEST_CASE("Keyframes are found by the frames they hold, never inside a transition", "[edit]")
{
    PathFixture f;
    FxKeyframe *a = f.Add(1, 4);
    FxKeyframe *b = f.Add(10, 0);
    FxKeyframe *c = f.Add(20, 5);
    struct {
        int frame;
        FxKeyframe *want;
    } cases[] = { { 1, a }, { 5, a }, { 6, nullptr }, { 9, nullptr }, { 10, b },
                  { 11, nullptr }, { 25, c }, { 26, nullptr }, { 0, nullptr } };
    for (auto &k : cases) {
        INFO("frame " << k.frame);
        CHECK(FindKeyframeAtFrame(f.p, k.frame) == k.want);
    }
    CHECK(KeyframeHoldsFrame(c, 20));
    CHECK(KeyframeHoldsFrame(c, 25));
    CHECK_FALSE(KeyframeHoldsFrame(c, 26));
}

TEST_CASE("Insertion at a frame places, numbers and times the keyframe", "[edit]")
{
    PathFixture f;
    f.Add(5, 2);
    f.Add(20, 0);

    SECTION("a held frame is refused and nothing changes")
    {
        FxKeyframe *kf = NewKeyframe();
        CHECK(InsertKeyframeAtFrame(f.p, 6, kf, 0) == 0);
        CHECK(InsertKeyframeAtFrame(f.p, -1, kf, 0) == 0);
        FreeKeyframe(kf);
        CHECK(Spans(f.p) == std::vector<Span>{ { 5, 7 }, { 20, 20 } });
    }
    SECTION("before the head it becomes the head with index 1")
    {
        FxKeyframe *kf = NewKeyframe();
        kf->endTime = 3.0;   // a hold of 2 frames
        REQUIRE(InsertKeyframeAtFrame(f.p, 2, kf, AT_MAKE_CURRENT) == 1);
        CHECK(f.p->head == kf);
        CHECK(f.p->current == kf);
        CHECK(Spans(f.p) == std::vector<Span>{ { 2, 4 }, { 5, 7 }, { 20, 20 } });
    }
    SECTION("between keyframes, and after the last one")
    {
        FxKeyframe *mid = NewKeyframe();
        REQUIRE(InsertKeyframeAtFrame(f.p, 12, mid, 0) == 1);
        FxKeyframe *end = NewKeyframe();
        REQUIRE(InsertKeyframeAtFrame(f.p, 30, end, 0) == 1);
        CHECK(Spans(f.p) == std::vector<Span>{ { 5, 7 }, { 12, 12 }, { 20, 20 }, { 30, 30 } });
        CHECK(f.p->head->prev == end);
    }
    SECTION("flag 1 only takes frames between the head's end and the last start")
    {
        FxKeyframe proto;
        memset(&proto, 0, sizeof proto);
        FxKeyframe *src = NewKeyframe();
        src->position[0] = 77;
        src->fade = 40;
        CHECK(InsertKeyframeAtFrame(f.p, 30, src, AT_BETWEEN | AT_NEW) == 0);
        CHECK(InsertKeyframeAtFrame(f.p, 7, src, AT_BETWEEN | AT_NEW) == 0);
        REQUIRE(InsertKeyframeAtFrame(f.p, 8, src, AT_BETWEEN | AT_NEW) == 1);
        FxKeyframe *made = f.p->head->next;
        CHECK(made != src);   // flag 4 links a new keyframe with src's attributes
        CHECK(made->position[0] == 77);
        CHECK(made->fade == 40);
        CHECK(Spans(f.p) == std::vector<Span>{ { 5, 7 }, { 8, 8 }, { 20, 20 } });
        FreeKeyframe(src);
    }
}

TEST_CASE("A keyframe copy goes before or after the current one", "[edit]")
{
    PathFixture f;
    FxKeyframe *a = f.Add(1, 3, 10);
    FxKeyframe *b = f.Add(10, 0, 20);
    f.Add(20, 0, 30);
    a->spins[0] = 2;

    SECTION("after, current, with the followers moved")
    {
        f.p->current = a;
        REQUIRE(InsertKeyframeCopy(f.p, 5, INSERT_AFTER | INSERT_SHIFT) == 1);
        FxKeyframe *copy = a->next;
        CHECK(copy != b);
        CHECK(f.p->current == copy);
        CHECK(copy->position[0] == 10);
        CHECK(copy->spins[0] == 2);
        CHECK(a->spins[0] == 0);
        CHECK(Spans(f.p) == std::vector<Span>{ { 1, 1 }, { 6, 9 }, { 16, 16 }, { 26, 26 } });
    }
    SECTION("before the head: the copy becomes the head")
    {
        f.p->current = a;
        REQUIRE(InsertKeyframeCopy(f.p, 0, 0) == 1);
        CHECK(f.p->head == a->prev);
        CHECK(f.p->current == a);
        CHECK(f.p->head->index == 1);
        CHECK(a->index == 2);
        CHECK(a->delay == 0);
        CHECK(a->endFrame == a->startFrame);
    }
}

TEST_CASE("Unlinking the current keyframe keeps the ring numbered", "[edit]")
{
    PathFixture f;
    SECTION("the only keyframe stays")
    {
        f.Add(1, 0);
        CHECK(UnlinkCurrentKeyframe(f.p, 1) == nullptr);
        CHECK(f.p->head->next == f.p->head);
    }
    SECTION("a middle keyframe: its predecessor becomes current")
    {
        FxKeyframe *a = f.Add(1, 0);
        FxKeyframe *b = f.Add(5, 0);
        f.Add(9, 0);
        f.p->current = b;
        FxKeyframe *gone = UnlinkCurrentKeyframe(f.p, 1);
        CHECK(gone == b);
        FreeKeyframe(gone);
        CHECK(f.p->current == a);
        CHECK(Spans(f.p) == std::vector<Span>{ { 1, 1 }, { 9, 9 } });
    }
    SECTION("the head, moved back")
    {
        FxKeyframe *a = f.Add(1, 2);
        FxKeyframe *b = f.Add(5, 0);
        f.Add(9, 1);
        f.p->current = a;
        FreeKeyframe(UnlinkCurrentKeyframe(f.p, 1));
        CHECK(f.p->head == b);
        CHECK(f.p->current == b);
        CHECK(Spans(f.p) == std::vector<Span>{ { 1, 1 }, { 5, 6 } });
    }
}

TEST_CASE("Delay, duration and shifts move the later keyframes with them", "[edit]")
{
    PathFixture f;
    FxKeyframe *a = f.Add(1, 2);
    FxKeyframe *b = f.Add(10, 0);
    f.Add(20, 3);

    SetKeyframeDelay(b, 4);
    CHECK(Spans(f.p) == std::vector<Span>{ { 1, 3 }, { 10, 14 }, { 24, 27 } });
    SetKeyframeDelay(b, -3);   // a negative delay is 0
    CHECK(Spans(f.p) == std::vector<Span>{ { 1, 3 }, { 10, 10 }, { 20, 23 } });

    SetKeyframeDuration(b, 0);   // a one-frame transition
    CHECK(Spans(f.p) == std::vector<Span>{ { 1, 3 }, { 4, 4 }, { 14, 17 } });
    SetKeyframeDuration(a, 9);   // the head has no transition into it
    CHECK(Spans(f.p) == std::vector<Span>{ { 1, 3 }, { 4, 4 }, { 14, 17 } });

    ShiftPathFrames(f.p, 5);
    CHECK(Spans(f.p) == std::vector<Span>{ { 6, 8 }, { 9, 9 }, { 19, 22 } });
    ShiftPathFrames(f.p, -100);   // the head never goes before frame 1
    CHECK(Spans(f.p) == std::vector<Span>{ { 1, 3 }, { 4, 4 }, { 14, 17 } });
}

TEST_CASE("Scaling path and effect timing keeps starts after ends", "[edit]")
{
    PathFixture f;
    f.Add(1, 0);
    f.Add(11, 0);
    f.Add(21, 0);

    SECTION("stretching the end")
    {
        SetPathLength(f.p, 41);
        CHECK(Spans(f.p) == std::vector<Span>{ { 1, 1 }, { 21, 21 }, { 41, 41 } });
    }
    SECTION("moving the start, the end stays")
    {
        ScalePathTiming(f.p, 10, 1);
        CHECK(Spans(f.p) == std::vector<Span>{ { 11, 11 }, { 16, 16 }, { 21, 21 } });
        ScalePathTiming(f.p, -50, 1);   // raised so the start stays at frame 1
        CHECK(Spans(f.p) == std::vector<Span>{ { 1, 1 }, { 11, 11 }, { 21, 21 } });
    }
    SECTION("a path without extent is left alone")
    {
        PathFixture g;
        g.Add(4, 0);
        ScalePathTiming(g.p, 10, 2);
        ScalePathTiming(g.p, 10, 1);
        CHECK(Spans(g.p) == std::vector<Span>{ { 4, 4 } });
    }
    SECTION("squeezing an effect keeps one frame between starts")
    {
        ScaleEffectTimes(f.list, 0.01);
        CHECK(f.p->head->startFrame == 1);
        CHECK(f.p->head->next->startFrame == 2);
        CHECK(f.p->head->next->next->startFrame == 3);
        ScaleEffectLength(f.list, 61);
        CHECK(LastKeyframe(f.p)->endFrame == 61);
    }
}

TEST_CASE("Deleting a path keeps the effect starting at frame 1", "[edit]")
{
    PathFixture f;
    f.Add(1, 0);
    FxPath *second = f.NewPath(5, 2);
    FxPath *third = f.NewPath(9, 0);

    FxPath *slot = second;
    CHECK(DeletePath(&f.list, &slot, 0) == 1);
    CHECK(slot == third);
    CHECK(CountPaths(f.list) == 2);

    slot = f.list;   // the head path: the list follows
    CHECK(DeletePath(&f.list, &slot, 0) == 1);
    f.p = f.list;
    CHECK(f.list == third);
    CHECK(third->head->startFrame == 1);   // moved from 9 back to 1

    CHECK(DeletePath(&f.list, &slot, 0) == 0);   // the last path needs flag 1
    CHECK(f.list == third);
    FxPath *empty = nullptr;
    CHECK(DeletePath(&f.list, &empty, 1) == 0);
}

TEST_CASE("Reversing mirrors timing, moves spins and swaps speeds; twice restores", "[edit]")
{
    PathFixture f;
    FxKeyframe *a = f.Add(1, 2, 0);
    FxKeyframe *b = f.Add(10, 0, 50);
    FxKeyframe *c = f.Add(20, 4, 100);
    b->spins[0] = 2;
    a->positionTcb.b = 0.25;
    a->positionSpeed.speedOut = 80;
    a->positionSpeed.speedIn = 30;
    RefreshPath(f.p);

    ReversePath(f.p);
    CHECK(f.p->head == c);
    CHECK(Spans(f.p) == std::vector<Span>{ { 1, 5 }, { 15, 15 }, { 22, 24 } });
    CHECK(c->next == b);
    CHECK(b->next == a);
    // The turns into b are now made on the transition into a (from b).
    CHECK(a->spins[0] == -2);
    CHECK(b->spins[0] == 0);
    CHECK(a->positionTcb.b == -0.25);
    CHECK(a->positionSpeed.speedIn == 80);
    CHECK(a->positionSpeed.speedOut == 30);
    // The object goes the other way: at the first frame it is where c was.
    FxView view{};
    REQUIRE(EvaluatePathAtTime(&view, f.p, 1, 0));
    CHECK(f.p->work.position[0] == Approx(100));

    ReversePath(f.p);
    CHECK(f.p->head == a);
    CHECK(Spans(f.p) == std::vector<Span>{ { 1, 3 }, { 10, 10 }, { 20, 24 } });
    CHECK(b->spins[0] == 2);
    CHECK(a->spins[0] == 0);
    CHECK(a->positionTcb.b == 0.25);
    CHECK(a->positionSpeed.speedOut == 80);
}

TEST_CASE("Hit tests pick the nearest centre and make it current", "[edit]")
{
    PathFixture f;
    FxKeyframe *a = f.Add(1, 0);
    FxKeyframe *b = f.Add(5, 0);
    auto place = [](FxKeyframe *kf, int cx, int cy, int half) {
        kf->screenCentre[0] = cx;
        kf->screenCentre[1] = cy;
        double xs[4] = { double(cx - half), double(cx + half), double(cx + half), double(cx - half) };
        double ys[4] = { double(cy - half), double(cy - half), double(cy + half), double(cy + half) };
        for (int i = 0; i < 4; ++i) {
            kf->screenCorners[i][0] = xs[i];
            kf->screenCorners[i][1] = ys[i];
        }
    };
    place(a, 100, 100, 50);
    place(b, 130, 100, 50);
    f.p->work.screenCentre[0] = f.p->work.screenCentre[1] = -1000;

    CHECK(PointInKeyframe(a, POINT{ 149, 149 }));
    CHECK_FALSE(PointInKeyframe(a, POINT{ 151, 100 }));
    CHECK(PointInKeyframe(b, POINT{ 136, 106 }));   // within 10 pixels of the centre

    FxPath *slot = nullptr;
    f.p->current = a;
    CHECK(HitTestPaths(POINT{ 125, 100 }, f.list, &slot, HIT_KEYFRAMES) == FX_HIT_KEYFRAME);
    CHECK(slot == f.p);
    CHECK(f.p->current == b);
    CHECK(HitTestPaths(POINT{ 90, 100 }, f.list, &slot, HIT_KEYFRAMES) == FX_HIT_KEYFRAME);
    CHECK(f.p->current == a);

    a->flags |= KF_HIT_SKIP;
    CHECK(HitTestPaths(POINT{ 90, 100 }, f.list, &slot, HIT_KEYFRAMES) == FX_HIT_KEYFRAME);
    CHECK(f.p->current == b);
    CHECK(HitTestPaths(POINT{ 500, 500 }, f.list, &slot, HIT_KEYFRAMES | HIT_WORK) == FX_HIT_NONE);
    f.p->pathFlags |= PATH_HIDDEN;
    CHECK(HitTestPaths(POINT{ 130, 100 }, f.list, &slot, HIT_KEYFRAMES) == FX_HIT_NONE);
}

TEST_CASE("Text-group spacing reads back what was set", "[edit]")
{
    PathFixture f;
    f.p->imageId = 0x0300;
    f.Add(1, 0);
    std::vector<FxPath *> group{ f.p };
    for (int i = 1; i < 4; ++i) {
        FxPath *q = f.NewPath(1, 0);
        q->imageId = 0x0300 | i;
        group.push_back(q);
    }
    for (FxPath *q : group) {
        q->current = q->head;
        q->head->position[0] = q->head->defaultX = 10.0 * (q->imageId & 0xFF);
    }
    CHECK(GetKernAmount(group[2]) == 0);
    SetKernAmount(group[2], 4.0);
    CHECK(group[0]->head->position[0] == Approx(0 - 6.0));
    CHECK(group[3]->head->position[0] == Approx(30 + 6.0));
    CHECK(GetKernAmount(group[1]) == Approx(4.0));
    SetKernAmount(group[1], 0.00004);   // below the tolerance: nothing moves
    CHECK(group[0]->head->position[0] == Approx(-6.0));
}
