// Effect-wide editing: group resets and their check, duplication, single
// keyframes as script text, spin links, path matching, clip length, the
// realtime limit and stored-path application.
#include <catch2/catch.hpp>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "fxedit.h"

namespace {

// An effect built from (start, delay, x) triples per path.
struct Effect {
    FxPath *list = nullptr;
    ~Effect() { FreeEffect(list); }
    FxPath *Path(std::initializer_list<std::initializer_list<double>> keys)
    {
        FxPath *p = nullptr;
        REQUIRE(AppendNewPath(&p));
        AppendPath(&list, p);
        bool firstKey = true;
        int index = 0;
        for (auto &k : keys) {
            auto it = k.begin();
            int start = int(it[0]), delay = int(it[1]);
            FxKeyframe *kf = firstKey ? p->head : NewKeyframe();
            REQUIRE(kf);
            if (!firstKey) {
                FxKeyframe *last = p->head->prev;
                kf->prev = last;
                kf->next = p->head;
                last->next = kf;
                p->head->prev = kf;
            }
            firstKey = false;
            kf->index = ++index;
            kf->startFrame = start;
            kf->startTime = start;
            kf->delay = delay;
            kf->endFrame = start + delay;
            kf->endTime = start + delay;
            kf->position[0] = k.size() > 2 ? it[2] : 0;
        }
        p->current = p->head;
        return p;
    }
};

std::vector<int> Starts(FxPath *p)
{
    std::vector<int> out;
    FxKeyframe *kf = p->head;
    int i = 1;
    do {
        REQUIRE(kf->index == i++);
        REQUIRE(kf->next->prev == kf);
        out.push_back(kf->startFrame);
        kf = kf->next;
    } while (kf != p->head);
    return out;
}

std::vector<double> Xs(FxPath *p)
{
    std::vector<double> out;
    FxKeyframe *kf = p->head;
    do {
        out.push_back(kf->position[0]);
        kf = kf->next;
    } while (kf != p->head);
    return out;
}

} // namespace

TEST_CASE("Group resets keep the groups whose bits are set", "[effectedit]")
{
    Effect e;
    FxPath *p = e.Path({ { 1, 0, 10 }, { 10, 0, 20 } });
    FxPath *q = e.Path({ { 1, 0, 30 } });
    for (FxPath *path : { p, q }) {
        FxKeyframe *kf = path->head;
        kf->position[2] = 600;
        kf->scale[0] = 3;
        kf->skew[1] = 0.5;
        kf->rotation[2] = 0.4;
        kf->spins[2] = 2;
    }
    CHECK(EffectAttributesAreDefault(e.list, 0) == 0);

    SECTION("a whole-effect reset keeping x, y and z")
    {
        FxPath *slot = e.list;
        CHECK(ResetEffectAttributes(&slot, 0x7, 1) == 1);
        e.list = slot;
        CHECK(CountPaths(e.list) == 1);   // the other paths went
        CHECK(e.list == q);
        CHECK(q->head->position[0] == 30);
        CHECK(q->head->position[2] == 600);
        CHECK(q->head->scale[0] == 1.0);
        CHECK(q->head->skew[1] == 0.0);
        CHECK(q->head->spins[2] == 0);
        CHECK(EffectAttributesAreDefault(e.list, 0x7) == 1);
        CHECK(EffectAttributesAreDefault(e.list, 0) == 0);
    }
    SECTION("keeping the keyframes, the paths and the scale, but not a scale above 1")
    {
        FxPath *slot = p;
        uint32_t keep = KEEP_KEYFRAMES | KEEP_PATHS | (0x7u << 18);
        CHECK(ResetEffectAttributes(&slot, keep, 1) == 1);
        CHECK(CountPaths(e.list) == 2);
        CHECK(Starts(p) == std::vector<int>{ 1, 10 });
        CHECK(p->head->scale[0] == 1.0);     // bit 24 was clear
        CHECK(p->head->position[0] == 0);   // default x
        CHECK(EffectAttributesAreDefault(e.list, keep) == 1);
    }
}

TEST_CASE("A duplicated effect is equal and independent", "[effectedit]")
{
    Effect e;
    FxPath *p = e.Path({ { 1, 2, 10 }, { 10, 0, 20 }, { 30, 5, -5 } });
    e.Path({ { 4, 0, 7 } });
    p->head->next->fade = 60;
    p->number = 3;
    p->current = p->head->next;
    FxPath *copy = DuplicateEffect(e.list);
    REQUIRE(copy);
    CHECK(CountPaths(copy) == 2);
    CHECK(copy->number == 3);
    CHECK(Starts(copy) == Starts(p));
    CHECK(LastKeyframe(copy)->endFrame == 35);
    CHECK(copy->current == copy->head->next);
    for (FxKeyframe *a = p->head, *b = copy->head;; a = a->next, b = b->next) {
        CHECK(CompareKeyframeAttributes(a, b, nullptr) == 1);
        CHECK(a != b);
        if (a->next == p->head)
            break;
    }
    copy->head->next->fade = 0;
    CHECK(p->head->next->fade == 60);
    FreeEffect(copy);
}

TEST_CASE("Keyframes go out as script text and come back at a frame", "[effectedit]")
{
    Effect e;
    FxPath *src = e.Path({ { 1, 0, 10 }, { 12, 3, 44 } });
    FxKeyframe *kf = src->head->next;
    kf->fade = 25;
    kf->position[1] = -7;
    kf->orientation = QuatFromEuler(0.2, 0, 0);
    QuatToEuler(kf->rotation, kf->orientation);

    int slot = 2;
    char *text = nullptr;
    REQUIRE(CopyKeyframeAsScript(src, &slot, &text) > 0);
    CHECK(slot == 12);
    REQUIRE(text);

    FxPath *dst = e.Path({ { 1, 0 }, { 20, 0 } });
    REQUIRE(PasteKeyframeAtFrame(dst, 8, text) == 1);
    FxKeyframe *pasted = dst->head->next;
    CHECK(pasted->startFrame == 8);
    CHECK(Starts(dst) == std::vector<int>{ 1, 8, 20 });
    CHECK(pasted->fade == 25);
    CHECK(pasted->position[0] == Approx(44));
    CHECK(pasted->position[1] == Approx(-7));

    // Pasting onto a held frame changes that keyframe in place.
    REQUIRE(PasteKeyframeAtFrame(dst, 20, text) == 1);
    CHECK(Starts(dst) == std::vector<int>{ 1, 8, 20 });
    CHECK(dst->head->prev->fade == 25);
    free(text);

    int missing = 9;
    CHECK(CopyKeyframeAsScript(src, &missing, &text) == 0);
    CHECK(missing == 9);
    // Text that does not parse leaves the keyframe alone and inserts nothing.
    CHECK(ApplyScriptToKeyframe(pasted, "this is not a script") == 0);
    CHECK(pasted->fade == 25);
    CHECK(PasteKeyframeAtFrame(dst, 15, "garbage") == 0);
    CHECK(Starts(dst) == std::vector<int>{ 1, 8, 20 });
}

TEST_CASE("Spin links join neighbours turning about x and y", "[effectedit]")
{
    Effect e;
    FxPath *p = e.Path({ { 1, 0 }, { 5, 0 }, { 9, 0 }, { 13, 0 }, { 17, 0 } });
    FxKeyframe *k2 = p->head->next, *k3 = k2->next, *k5 = p->head->prev;
    k2->spins[0] = 1;
    k3->spins[1] = 2;
    k5->rotationTcb.c = 0.5;   // the user's own continuity, no spins
    CHECK(SyncPathSpins(p) == 0);
    CHECK((k2->flags & KF_SPIN_LINKED));
    CHECK((k3->flags & KF_SPIN_LINKED));
    CHECK(k2->rotationTcb.c == -1.0);
    CHECK(k3->rotationTcb.c == -1.0);
    CHECK_FALSE((p->head->flags & KF_SPIN_LINKED));

    k3->spins[1] = 0;
    CHECK(SyncPathSpins(p) == 1);
    CHECK_FALSE((k2->flags & KF_SPIN_LINKED));
    CHECK(k2->rotationTcb.c == 0.0);
    CHECK(k3->rotationTcb.c == 0.0);
    CHECK(k5->rotationTcb.c == 0.5);
}

TEST_CASE("Path matching moves images to the new paths of the same identifier", "[effectedit]")
{
    Effect olds, news;
    FxPath *o1 = olds.Path({ { 1, 0 } });
    FxPath *o2 = olds.Path({ { 1, 0 } });
    o1->imageId = 0x0101;
    o2->imageId = 0x0102;
    o2->image.width = 64;
    FxPath *n1 = news.Path({ { 1, 0 } });
    FxPath *n2 = news.Path({ { 1, 0 } });
    n1->imageId = 0x0102;
    n2->imageId = 0x0105;
    MatchPathsById(olds.list, news.list);
    CHECK(n1->image.width == 64);
    CHECK(o2->image.width == 0);
    CHECK_FALSE((o2->pathFlags & PATH_UNMATCHED));
    CHECK((o1->pathFlags & PATH_UNMATCHED));
    CHECK(n2->image.width == 0);
}

TEST_CASE("Clip length changes shift or scale the effect", "[effectedit]")
{
    Effect e;
    FxPath *p = e.Path({ { 1, 0 }, { 11, 0 }, { 21, 0 } });
    CHECK(SetEffectClipLength(e.list, 0, 21, 21) == 0);
    CHECK(SetEffectClipLength(e.list, 0, 21, 0) == 0);
    SECTION("mode 0 scales to the new length")
    {
        CHECK(SetEffectClipLength(e.list, 0, 0, 41) == 1);
        CHECK(Starts(p) == std::vector<int>{ 1, 21, 41 });
    }
    SECTION("mode 2 shifts by the change")
    {
        CHECK(SetEffectClipLength(e.list, 2, 21, 25) == 1);
        CHECK(Starts(p) == std::vector<int>{ 5, 15, 25 });
    }
    SECTION("mode 3 on an effect starting later shifts it when it still fits")
    {
        ShiftEffectFrames(e.list, 9);   // frames 10..30
        CHECK(SetEffectClipLength(e.list, 3, 30, 28) == 1);
        CHECK(Starts(p) == std::vector<int>{ 8, 18, 28 });
    }
}

namespace {
int CostFromFirstParam(const GUID &, const double params[16], double, double)
{
    return int(params[0]);
}
} // namespace

TEST_CASE("The realtime limit adds the costs of paths playing together", "[effectedit]")
{
    Effect e;
    for (int i = 0; i < 5; ++i)
        e.Path({ { 1, 0 }, { 20, 0 } });
    CHECK(CheckRealtimeLimit(e.list) == 1);   // 5 x 40
    for (int i = 0; i < 35; ++i)
        e.Path({ { 1, 0 }, { 20, 0 } });
    CHECK(CheckRealtimeLimit(e.list) == 0);   // 40 x 40 = 1600

    Effect w;
    FxPath *p = w.Path({ { 1, 0 }, { 20, 0 } });
    FxPath *later = w.Path({ { 30, 0 }, { 40, 0 } });
    (void)later;
    for (FxKeyframe *kf : { p->head, p->head->next })
        kf->warpFlags &= ~WARP_NONE;
    g_fxMeshEffectCost = CostFromFirstParam;
    p->head->warpParams[0] = p->head->next->warpParams[0] = 1460;
    CHECK(PathRealtimeCost(p, 1, 20) == 1460);
    CHECK(CheckRealtimeLimit(w.list) == 1);   // the later path plays alone
    FxPath *with = w.Path({ { 5, 0 }, { 10, 0 } });
    (void)with;
    CHECK(CheckRealtimeLimit(w.list) == 1);   // 1460 + 40 = 1500
    p->head->warpParams[0] = p->head->next->warpParams[0] = 1461;
    CHECK(CheckRealtimeLimit(w.list) == 0);   // 1501
    g_fxMeshEffectCost = nullptr;
}

TEST_CASE("Stored paths are laid onto targets", "[effectedit]")
{
    Effect e, stored;
    FxPath *target = e.Path({ { 1, 0, 100 }, { 20, 5, 200 } });
    FxPath *s = stored.Path({ { 1, 0, 0 }, { 11, 0, 50 } });
    (void)s;
    FxApplyOptions o{};
    o.count = 1;

    SECTION("after: the stored motion starts at the end of the target's last keyframe, which goes")
    {
        o.flags = APPLY_AFTER;
        CHECK(ApplyStoredPath(e.list, target, stored.list, &o, nullptr) == 0);
        CHECK(Starts(target) == std::vector<int>{ 1, 25, 35 });
        CHECK(Xs(target) == std::vector<double>{ 100, 0, 50 });
    }
    SECTION("overwrite, relative: the motion moves so that its last keyframe sits on the anchor")
    {
        o.flags = APPLY_OVERWRITE;
        o.relative = 1;
        target->head->position[0] = 100;
        ApplyStoredPath(e.list, target, stored.list, &o, nullptr);
        // The overwrite resets the target first: its anchor is at default x 0.
        CHECK(Starts(target) == std::vector<int>{ 1, 11 });
        CHECK(Xs(target) == std::vector<double>{ -50, 0 });
        CHECK(CompareKeyframeAttributes(&target->work, target->current, nullptr) == 1);
    }
    SECTION("every path, one stored path in turn, a stagger per round")
    {
        FxPath *second = e.Path({ { 1, 0, 5 } });
        o.flags = APPLY_ALL | APPLY_OVERWRITE | APPLY_STEP | APPLY_CYCLE;
        o.stagger = 4;
        ApplyStoredPath(e.list, target, stored.list, &o, nullptr);
        CHECK(Starts(target) == std::vector<int>{ 1, 11 });
        CHECK(Starts(second) == std::vector<int>{ 5, 15 });
        CHECK(g_fxWarpInMasks == 1);
    }
    SECTION("reversed")
    {
        o.flags = APPLY_OVERWRITE | APPLY_REVERSE;
        ApplyStoredPath(e.list, target, stored.list, &o, nullptr);
        CHECK(Starts(target) == std::vector<int>{ 1, 11 });
        CHECK(Xs(target) == std::vector<double>{ 50, 0 });
    }
    SECTION("nothing without a target count")
    {
        o.count = 0;
        ApplyStoredPath(e.list, target, stored.list, &o, nullptr);
        CHECK(Starts(target) == std::vector<int>{ 1, 20 });
    }
}
