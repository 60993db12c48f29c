// Effect model: construction defaults, property lists, the path list and
// keyframe ring, layer references through the graphics-core slots, the
// corner geometry and flat mode, and the growable byte buffer.
#include <catch2/catch.hpp>

#include <cstring>
#include <vector>

#include "fxbuffer.h"
#include "fxmodel.h"

namespace {

// Graphics-core slots that count references per layer.
// Fake layers are the addresses 0x1000 x n; their counts sit in a table.
struct RefTable {
    int counts[8] = {};
    int &operator[](Layer *l) { return counts[uintptr_t(l) / 0x1000 % 8]; }
    void clear() { for (int &c : counts) c = 0; }
} g_refs;
bool g_coreThere = true;
LONG PIXAPI FakeThere() { return g_coreThere ? 1 : 0; }
LONG PIXAPI FakeAddRef(Layer *l) { return ++g_refs[l]; }
LONG PIXAPI FakeDelete(Layer *l) { return --g_refs[l] == 0; }

struct FakeCore {
    FakeCore()
    {
        g_refs.clear();
        g_coreThere = true;
        g_fxGraphics = { FakeThere, FakeAddRef, FakeDelete };
    }
    ~FakeCore() { g_fxGraphics = {}; }
};

Layer *FakeLayer(int n)
{
    return reinterpret_cast<Layer *>(uintptr_t(0x1000 * n));
}

std::vector<std::pair<uintptr_t, uintptr_t>> g_destroyed;
void Destroy(uintptr_t k, uintptr_t v) { g_destroyed.push_back({ k, v }); }
void Destroy2(uintptr_t k, uintptr_t v) { g_destroyed.push_back({ k, v + 1000 }); }

// A ring of n keyframes, frames 1.., each holding 2 frames apart.
FxKeyframe *Ring(FxPath *p, int n)
{
    FxKeyframe *head = p->head;
    for (int i = 2; i <= n; ++i) {
        FxKeyframe *kf = NewKeyframe();
        kf->index = i;
        kf->startFrame = kf->endFrame = 1 + 10 * (i - 1);
        kf->startTime = kf->endTime = kf->startFrame;
        FxKeyframe *last = head->prev;
        last->next = kf;
        kf->prev = last;
        kf->next = head;
        head->prev = kf;
    }
    return head;
}

} // namespace

TEST_CASE("A new keyframe carries the documented defaults", "[model]")
{
    FxKeyframe *d = FxAttributeDefaults();
    d->borderColour = 0x00112233;
    d->softness = 2.5;
    SetDefaultKeyframeSize(0, 100);   // refused: both must be positive
    FxKeyframe *kf = NewKeyframe();
    REQUIRE(kf);
    CHECK(kf->next == kf);
    CHECK(kf->prev == kf);
    CHECK(kf->index == 1);
    CHECK(kf->startFrame == 1);
    CHECK(kf->endFrame == 1);
    CHECK(kf->startTime == 1.0);
    CHECK(kf->width == 640);
    CHECK(kf->height == 480);
    CHECK(kf->position[2] == 1000.0);
    CHECK(kf->savedZ == 1000.0);
    CHECK(kf->orientation.w == 1.0);
    for (SpeedCurve *c : { &kf->positionSpeed, &kf->rotationSpeed, &kf->shapeSpeed }) {
        CHECK(c->speedIn == 50);
        CHECK(c->speedOut == 50);
    }
    CHECK(kf->shapeSegment.count == 15);
    CHECK((kf->positionSegment.flags & SEGMENT_STALE) != 0);
    CHECK(kf->scale[0] == 1.0);
    CHECK(kf->savedScale[2] == 1.0);
    CHECK(kf->mosaic[0] == 1);
    CHECK(kf->mosaic[1] == 1);
    CHECK(kf->shadowFade == 50.0);
    CHECK(kf->monoColour == 0x80000000u);
    CHECK((kf->warpFlags & WARP_NONE) != 0);
    CHECK(kf->borderMode == 1);
    CHECK(kf->borderColour == 0x00112233);
    CHECK(kf->softness == 2.5);
    CHECK(kf->procamp[0] == 1.0);
    CHECK(kf->procamp[1] == 0.0);
    CHECK(kf->procamp[2] == 1.0);
    CHECK(kf->strobeValue == 1);
    CHECK(kf->kerning == 1.0f);
    // Corners of its size.
    CHECK(kf->corners[0][0] == -320);
    CHECK(kf->corners[0][1] == -240);
    CHECK(kf->corners[2][0] == 320);
    CHECK(kf->corners[2][1] == 240);

    SetDefaultKeyframeSize(320, 200);
    FxKeyframe *smallKf = NewKeyframe();
    CHECK(smallKf->width == 320);
    CHECK(smallKf->corners[1][0] == 160);
    SetDefaultKeyframeSize(640, 480);
    FreeKeyframe(smallKf);
    FreeKeyframe(kf);
    d->borderColour = 0;
    d->softness = 0;
}

TEST_CASE("Warp selection from the warp table", "[model]")
{
    FxWarpEntry entries[2] = {};
    entries[0].paramCount = 2;
    entries[0].params[0] = { 1, 0.25, 9 };
    entries[0].params[1] = { 3, 7, 0.75 };
    entries[1].id = GUID{ 0x12345678, 1, 2, { 1, 2, 3, 4, 5, 6, 7, 8 } };
    entries[1].paramCount = 20;   // more than a keyframe holds: 16 used
    for (int i = 0; i < 16; ++i)
        entries[1].params[i] = { 1, double(i), 0 };
    g_fxWarps = { entries, 2 };

    FxKeyframe *kf = NewKeyframe();
    // The reset passes through warp 1 and back, so warp 0's defaults load.
    CHECK(kf->warpNumber == 0);
    CHECK(kf->warpParams[0] == 0.25);
    CHECK(kf->warpParams[1] == 0.75);
    CHECK((kf->warpFlags & 1) == 0);
    CHECK((kf->warpFlags & 2) == 2);
    CHECK((kf->warpFlags & WARP_NONE) != 0);

    CHECK(SetKeyframeFilter(kf, 0, 1) == 0);     // the current warp
    CHECK(SetKeyframeFilter(kf, 2, 1) == 0);     // beyond the table
    CHECK(SetKeyframeFilter(nullptr, 1, 1) == 0);
    CHECK(SetKeyframeFilter(kf, 1, 1) == 1);
    CHECK(IsEqualGUID(kf->warpId, entries[1].id));
    CHECK(kf->warpParams[15] == 15.0);

    // -2 looks the number up from the identifier.
    FxKeyframe *other = NewKeyframe();
    other->warpId = entries[1].id;
    CHECK(SetKeyframeFilter(other, -2, 1) == 1);
    CHECK(other->warpNumber == 1);
    FreeKeyframe(other);
    FreeKeyframe(kf);
    g_fxWarps = {};
}

TEST_CASE("Named properties on keyframes and paths", "[model]")
{
    g_destroyed.clear();
    FxKeyframe *kf = NewKeyframe();
    static const char name[] = "WarpSafeBufferData";
    char same[sizeof name];
    memcpy(same, name, sizeof name);
    uintptr_t k1 = uintptr_t(name), k2 = uintptr_t(same);

    CHECK(kf->props.set(kf, k1, 11, Destroy) == 1);
    CHECK(kf->props.get(kf, k2) == 11);          // strings compare by text
    CHECK(kf->props.set(kf, k2, 12, Destroy2) == 1);
    CHECK(g_destroyed.empty());                  // replaced, not destroyed
    CHECK(kf->props.set(kf, 7, 70, Destroy) == 1);
    CHECK(kf->props.get(kf, 7) == 70);
    CHECK(kf->props.get(kf, 8) == 0);
    CHECK(kf->props.head->key == 7);             // new nodes go to the front
    CHECK(kf->props.remove(kf, k1) == 1);
    REQUIRE(g_destroyed.size() == 1);
    CHECK(g_destroyed[0].first == k1);           // the stored key and the new value
    CHECK(g_destroyed[0].second == 1012);
    CHECK(kf->props.remove(kf, k1) == 0);

    // A smallKf number matches only the same number, never a string by text.
    CHECK(FxPropertyKeysMatch(5, 5));
    CHECK_FALSE(FxPropertyKeysMatch(5, 6));
    CHECK_FALSE(FxPropertyKeysMatch(5, uintptr_t("5")));

    CHECK(kf->props.set(nullptr, 1, 1, nullptr) == 0);
    CHECK(kf->props.get(nullptr, 1) == 0);

    g_destroyed.clear();
    kf->props.set(kf, 9, 90, Destroy);
    FreeKeyframe(kf);                            // frees in list order
    REQUIRE(g_destroyed.size() == 2);
    CHECK(g_destroyed[0].first == 9);
    CHECK(g_destroyed[1].first == 7);

    FxPath *list = nullptr;
    REQUIRE(AppendNewPath(&list));
    g_destroyed.clear();
    CHECK(list->props.set(list, k1, 5, Destroy) == 1);
    CHECK(list->props.get(list, k2) == 5);
    FreeEffect(list);
    CHECK(g_destroyed.size() == 1);
}

TEST_CASE("Paths form a numbered list, keyframes a ring", "[model]")
{
    FxPath *list = nullptr;
    REQUIRE(AppendNewPath(&list));
    FxPath *first = list;
    CHECK(first->number == 1);
    CHECK(first->head == first->current);
    CHECK(first->head->next == first->head);
    CHECK(first->work.startFrame == -1);
    CHECK((first->work.flags & KF_WORK) != 0);
    CHECK(first->head->flags == 0);

    FxPath *slot = first;
    REQUIRE(AppendNewPath(&slot));
    REQUIRE(AppendNewPath(&slot));
    CHECK(slot->number == 3);
    CHECK(slot->prev->number == 2);
    CHECK(first->next == slot->prev);
    CHECK(CountPaths(first) == 3);

    Ring(first, 4);
    CHECK(FindKeyframeByIndex(first, 3)->startFrame == 21);
    CHECK(FindKeyframeByIndex(first, 5) == nullptr);
    CHECK(FindKeyframeByIndex(nullptr, 1) == nullptr);
    CHECK(LastKeyframe(first)->index == 4);
    CHECK(LastKeyframe(slot) == slot->head);
    CHECK(GetEffectLastFrame(first) == 31);
    CHECK(GetEffectLastTime(first) == 31.0);
    CHECK(GetMaxKeyframeCount(first) == 4);

    SetPathFlags(first, 0x100);
    int n = 0;
    for (FxKeyframe *k = first->head;; k = k->next) {
        CHECK((k->flags & 0x100) != 0);
        ++n;
        if (k->next->index <= k->index)
            break;
    }
    CHECK(n == 4);
    CHECK((first->work.flags & 0x100) != 0);
    first->head->secondFlags = 0xFF;
    ClearPathFlags(first, 0x0F);
    CHECK(first->head->secondFlags == 0xF0);

    FxPath *extra = static_cast<FxPath *>(calloc(1, sizeof(FxPath)));
    AppendPath(&first, extra);
    CHECK(slot->next == extra);
    CHECK(CountPaths(first) == 4);
    slot->next = nullptr;
    free(extra);
    FreeEffect(first);
}

TEST_CASE("Keyframes keep one reference on each of their layers", "[model][layers]")
{
    FakeCore core;
    FxPath *list = nullptr;
    REQUIRE(AppendNewPath(&list));
    Ring(list, 3);
    Layer *shared = FakeLayer(1), *own = FakeLayer(2);
    g_refs[shared] = 1;                      // the path's own reference
    list->image.layers[0] = shared;
    list->imageId = 0x0203;
    AttachPathImageToAll(list);
    CHECK(g_refs[shared] == 4);
    CHECK(list->head->next->identifier == 0x0203);

    // A keyframe with its own layer copied into the work keyframe: both
    // layers gain a reference, the owned buffer is not shared.
    FxKeyframe *kf = list->head->next;
    kf->ownLayer = own;
    g_refs[own] = 1;
    kf->ownedBuffer = malloc(16);
    kf->bufferFlags = 1;
    kf->pixels = malloc(32);
    kf->secondFlags = 0xFF;
    list->work.secondFlags = 0x53;
    CopyKeyframe(&list->work, kf);
    CHECK(g_refs[shared] == 5);
    CHECK(g_refs[own] == 2);
    CHECK(list->work.ownedBuffer == nullptr);
    CHECK((list->work.bufferFlags & 1) == 0);
    CHECK(list->work.pixels == kf->pixels);
    CHECK(list->work.secondFlags == 0x01);   // its own, bits 1, 4, 6 cleared
    CHECK(list->work.next == &list->work);              // the ring links stay

    // Copying over a keyframe inside a ring keeps the ring intact.
    FxKeyframe *third = FindKeyframeByIndex(list, 3);
    CopyKeyframe(third, list->head);
    CHECK(third->next == list->head);
    CHECK(third->prev == kf);
    CHECK(third->index == 1);   // the index is copied: renumbering is the caller's
    third->index = 3;

    // Without the graphics core the fields are cleared but nothing released.
    g_coreThere = false;
    FxKeyframe *lone = NewKeyframe();
    CopyKeyframe(lone, kf);
    ReleaseKeyframeLayers(lone);
    CHECK(lone->pathLayer == nullptr);
    CHECK(g_refs[shared] == 6);
    FreeKeyframe(lone);
    g_coreThere = true;
    g_refs[shared] -= 1;
    g_refs[own] -= 1;

    FreeEffect(list);
    CHECK(g_refs[shared] == 0);
    CHECK(g_refs[own] == 0);
}

TEST_CASE("The keyframe clipboard carries state, not resources", "[model][layers]")
{
    FakeCore core;
    FxKeyframe *a = NewKeyframe(), *b = NewKeyframe();
    a->position[0] = 42;
    a->ownLayer = FakeLayer(3);
    g_refs[a->ownLayer] = 1;
    a->ownedBuffer = malloc(8);
    a->props.set(a, 5, 6, nullptr);
    b->ownedBuffer = malloc(8);
    void *bBuffer = b->ownedBuffer;
    CopyKeyframeToClipboard(a);
    PasteKeyframeFromClipboard(b);
    CHECK(b->position[0] == 42);
    CHECK(b->next == a->next);                 // links come over; the caller re-links
    b->next = b->prev = b;
    CHECK(b->ownLayer == nullptr);
    CHECK(b->ownedBuffer == bBuffer);
    CHECK(b->props.get(b, 5) == 0);
    FreeKeyframe(b);
    FreeKeyframe(a);                           // nothing freed or released twice
    CHECK(g_refs[FakeLayer(3)] == 0);
}

TEST_CASE("Corners follow size, shear and offset", "[model][geometry]")
{
    FxKeyframe *kf = NewKeyframe();
    SECTION("size and rectangles")
    {
        kf->corners[0][2] = 7;
        CHECK(SetKeyframeSize(kf, 100, 50) == 1);
        CHECK(kf->corners[0][0] == -50);
        CHECK(kf->corners[0][1] == -25);
        CHECK(kf->corners[3][0] == -50);
        CHECK(kf->corners[3][1] == 25);
        CHECK(kf->corners[0][2] == 7);          // z untouched
        InitKeyframeRect(kf, 10, 20, 100, 50);
        CHECK(kf->position[0] == 60);
        CHECK(kf->position[1] == 45);
        CHECK(kf->defaultX == 60);
        InitKeyframeRectEx(kf, 10, 20, 100, 50, 5, -5);
        CHECK(kf->corners[0][0] == -45);
        CHECK(kf->corners[0][1] == -30);
        double x, y, w, h;
        GetCornerBounds(kf, &x, &y, &w, &h);
        CHECK(x == -45);
        CHECK(y == -30);
        CHECK(w == 100);
        CHECK(h == 50);

        kf->orientation = QuatFromEuler(0.1, 0, 0);
        kf->skew[0] = 0.3;
        InitKeyframeFromRect(kf, 0, 0, 40, 30);
        CHECK(kf->skew[0] == 0);
        CHECK(kf->orientation.x == 0);
        CHECK(kf->position[2] == 1000.0);
        CHECK(kf->corners[1][0] == 20);
        SIZE sz{ 8, 6 };
        InitKeyframeFromSize(kf, &sz);
        CHECK(kf->position[0] == 4);
        CHECK(kf->corners[2][1] == 3);
    }

    SECTION("each shear term moves the corners as documented")
    {
        SetKeyframeSize(kf, 100, 50);
        kf->twist[0] = 0.1;
        kf->offset[2] = 9;
        UpdateKeyframeCorners(kf);
        CHECK(kf->corners[0][0] == Approx(-60));
        CHECK(kf->corners[1][0] == Approx(60));
        CHECK(kf->corners[2][0] == Approx(40));
        CHECK(kf->corners[3][0] == Approx(-40));
        CHECK(kf->corners[3][2] == 9);
        kf->twist[0] = 0;
        kf->extend[1] = 0.2;
        UpdateKeyframeCorners(kf);
        CHECK(kf->corners[0][1] == Approx(-35));
        CHECK(kf->corners[1][1] == Approx(-35));
        CHECK(kf->corners[2][1] == Approx(35));
        CHECK(kf->corners[3][1] == Approx(35));
    }

    SECTION("shear terms recovered from the corners reproduce them")
    {
        const double cases[][6] = { { 0.1, 0.2, -0.05, 0.3, -0.1, 0.04 },
                                    { 0, 0, 0.25, 0, 0, -0.2 },
                                    { -0.3, 0.1, 0, 0.05, 0.15, 0.2 } };
        for (auto &c : cases) {
            SetKeyframeSize(kf, 120, 80);
            kf->extend[0] = c[0]; kf->skew[0] = c[1]; kf->twist[0] = c[2];
            kf->extend[1] = c[3]; kf->skew[1] = c[4]; kf->twist[1] = c[5];
            UpdateKeyframeCorners(kf);
            double before[4][3];
            memcpy(before, kf->corners, sizeof before);
            for (int i = 0; i < 2; ++i)
                kf->extend[i] = kf->skew[i] = kf->twist[i] = 0;
            ShearFromCorners(kf);
            CHECK(kf->extend[0] == Approx(c[0]).margin(1e-12));
            CHECK(kf->skew[0] == Approx(c[1]).margin(1e-12));
            CHECK(kf->twist[0] == Approx(c[2]).margin(1e-12));
            CHECK(kf->extend[1] == Approx(c[3]).margin(1e-12));
            CHECK(kf->skew[1] == Approx(c[4]).margin(1e-12));
            CHECK(kf->twist[1] == Approx(c[5]).margin(1e-12));
            UpdateKeyframeCorners(kf);
            for (int i = 0; i < 4; ++i)
                for (int j = 0; j < 2; ++j)
                    CHECK(kf->corners[i][j] == Approx(before[i][j]));
        }
        // A zero size leaves its axis alone instead of dividing by zero.
        SetKeyframeSize(kf, 0, 80);
        kf->skew[0] = 0.5;
        ShearFromCorners(kf);
        CHECK(kf->skew[0] == 0.5);
    }

    SECTION("flat mode saves and restores scale and z exactly")
    {
        kf->scale[0] = 1.25; kf->scale[1] = 0.5; kf->scale[2] = 3;
        kf->position[2] = 1234.5;
        CHECK(ToggleKeyframeFlat(kf, 1) == 0);
        CHECK(kf->flags & KF_FLAT);
        CHECK(kf->scale[1] == 0);
        CHECK(kf->position[2] == 5000.0);
        CHECK(CheckKeyframeFlat(kf, 1) == 1);
        CHECK(ToggleKeyframeFlat(kf, 1) == 1);
        CHECK((kf->flags & KF_FLAT) == 0);
        CHECK(kf->scale[0] == 1.25);
        CHECK(kf->scale[2] == 3);
        CHECK(kf->position[2] == 1234.5);

        // A flat keyframe whose scale was changed since is no longer flat:
        // the toggle enters flat mode again.
        ToggleKeyframeFlat(kf, 0);
        CHECK(kf->position[2] == 1234.5);
        kf->scale[0] = 0.1;
        CHECK(CheckKeyframeFlat(kf, 0) == 0);
        CHECK((kf->flags & KF_FLAT) == 0);
        kf->flags |= KF_FLAT;
        CHECK(ToggleKeyframeFlat(kf, 0) == 0);
        CHECK(kf->savedScale[0] == 0.1);
        CHECK(kf->flags & KF_FLAT);
    }
    FreeKeyframe(kf);
}

TEST_CASE("The growable byte buffer", "[buffer]")
{
    ByteBuffer b;
    CHECK(b.Data() == nullptr);
    CHECK(b.Capacity() == 0);
    uint8_t *p = b.Reserve(10);
    REQUIRE(p);
    CHECK(b.Capacity() == 15);
    CHECK(b.Take4() == p);
    CHECK(b.Take(3) == p + 4);
    CHECK(b.Used() == 7);
    CHECK(b.Reserve(12) == p);          // fits: same block, cursor back
    CHECK(b.Used() == 0);
    b.Reserve(16);
    CHECK(b.Capacity() == 24);

    b.Take(5);
    uint8_t *q = b.ResizeExact(24);     // same size: block and cursor kept
    CHECK(b.Used() == 5);
    CHECK(q == b.Data());
    b.ResizeExact(7);
    CHECK(b.Capacity() == 7);
    CHECK(b.Used() == 0);

    // A huge request either gets its block or leaves an empty buffer, never
    // a capacity the block does not have.
    ByteBuffer big;
    big.Reserve(8);
    uint8_t *h = big.Reserve(0xF0000000u);
    if (h)
        CHECK(big.Capacity() >= 0xF0000000u);
    else
        CHECK(big.Capacity() == 0);
    big.ResizeExact(8);
    CHECK(big.Capacity() == 8);

    ByteBuffer *heap = new ByteBuffer;
    heap->Reserve(100);
    delete heap;                        // virtual destructor frees the block
}
