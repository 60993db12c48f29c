// Attribute masks: which fields a mask selects, the masked reset and its
// change bits, copy and compare, and offsets (anchor minus reference)
// applied back onto keyframes.
#include <catch2/catch.hpp>

#include <cmath>
#include <cstring>
#include <memory>

#include "fxedit.h"

namespace {

struct KfDeleter {
    void operator()(FxKeyframe *kf) const { FreeKeyframe(kf); }
};
using KfPtr = std::unique_ptr<FxKeyframe, KfDeleter>;

KfPtr Fresh()
{
    KfPtr kf(NewKeyframe());
    REQUIRE(kf);
    return kf;
}

FxKeyframe ZeroMask()
{
    FxKeyframe m;
    memset(&m, 0, sizeof m);
    return m;
}

// A keyframe moved away from every default.
void Disturb(FxKeyframe *kf)
{
    kf->startFrame = 7;
    kf->startTime = 7;
    kf->delay = 3;
    kf->endFrame = 10;
    kf->endTime = 10;
    kf->width = 100;
    kf->height = 50;
    kf->position[0] = 11;
    kf->position[1] = -12;
    kf->position[2] = 700;
    kf->orientation = QuatFromEuler(0.3, -0.2, 0.9);
    QuatToEuler(kf->rotation, kf->orientation);
    kf->spins[1] = 3;
    kf->offset[0] = 5;
    kf->skew[1] = 0.2;
    kf->scale[0] = 2;
    kf->scale[2] = 0.5;
    kf->positionSpeed.speedIn = 10;
    kf->positionSpeed.speedOut = 90;
    kf->rotationTcb = FxTcb{ 0.5, -0.5, 0.25 };
    kf->mosaic[0] = 8;
    kf->shadowFade = 10;
    kf->fade = 30;
    kf->monoColour = 0x00102030;
    kf->shadowColour = 0x00F0F0F0;
    strcpy(kf->imageName, "logo.tga");
    UpdateKeyframeCorners(kf);
}

} // namespace

TEST_CASE("A delay-only mask resets the delay and pulls the end back", "[masks]")
{
    KfPtr kf = Fresh();
    Disturb(kf.get());
    FxKeyframe m = ZeroMask();
    m.delay = 1;
    CHECK(ResetKeyframeAttributesByMask(kf.get(), &m) == FXA_TIMING);
    CHECK(kf->delay == 0);
    CHECK(kf->endFrame == 7);
    CHECK(kf->endTime == 7.0);
    CHECK(kf->position[0] == 11);   // nothing else moved
    CHECK(kf->fade == 30);
}

TEST_CASE("The full mask resets every group but the start and the size", "[masks]")
{
    KfPtr kf = Fresh();
    Disturb(kf.get());
    uint32_t bits = ResetKeyframeAttributesByMask(kf.get(), nullptr);
    CHECK((bits & FXA_INDEX) == 0);
    for (uint32_t b : { 0x2u, 0x4u, 0x8u, 0x10u, 0x700u, 0x77000u, 0x100000u, 0x200000u, 0x400000u }) {
        INFO("bit " << std::hex << b);
        CHECK((bits & b) == b);
    }
    CHECK(kf->startFrame == 7);
    CHECK(kf->width == 100);
    CHECK(kf->height == 50);
    CHECK(kf->endFrame == 7);
    CHECK(kf->positionSpeed.speedIn == 50);
    CHECK(kf->positionSpeed.speedOut == 50);
    CHECK(kf->position[2] == 1000.0);
    CHECK(kf->scale[0] == 1.0);
    CHECK(kf->scale[2] == 1.0);
    CHECK(kf->offset[0] == 0.0);
    CHECK(kf->mosaic[0] == 1);
    CHECK(kf->shadowFade == 50.0);
    CHECK(kf->monoColour == 0x80000000u);
    CHECK(kf->imageName[0] == 0);
    CHECK(kf->spins[1] == 0);
    CHECK(kf->orientation.w == 1.0);
    CHECK(kf->rotation[2] == 0.0);
    // The corners follow the reset size and shear.
    KfPtr ref = Fresh();
    ref->width = 100;
    ref->height = 50;
    UpdateKeyframeCorners(ref.get());
    for (int c = 0; c < 4; ++c)
        for (int a = 0; a < 3; ++a)
            CHECK(kf->corners[c][a] == Approx(ref->corners[c][a]));
}

TEST_CASE("Copy and compare follow the mask", "[masks]")
{
    KfPtr src = Fresh(), dst = Fresh();
    Disturb(src.get());
    dst->startFrame = 2;
    dst->startTime = 2;
    dst->delay = 1;
    dst->endFrame = 3;
    dst->endTime = 3;

    SECTION("the full mask copies everything it selects and the copies compare equal")
    {
        CopyKeyframeAttributes(dst.get(), src.get(), nullptr);
        CHECK(CompareKeyframeAttributes(dst.get(), src.get(), nullptr) == 1);
        CHECK(dst->startFrame == 2);          // the start is not selected
        CHECK(dst->delay == 3);               // the delay is; the end follows it
        CHECK(dst->endFrame == 5);
        CHECK(dst->width != src->width);      // the size is not in the full mask
        CHECK(strcmp(dst->imageName, "logo.tga") == 0);
    }
    SECTION("a start-frame copy keeps the destination's own delay")
    {
        FxKeyframe m = ZeroMask();
        m.startFrame = 1;
        CopyKeyframeAttributes(dst.get(), src.get(), &m);
        CHECK(dst->startFrame == 7);
        CHECK(dst->endFrame == 8);
        CHECK(dst->endTime == 8.0);
        CHECK(dst->position[0] == 0);
    }
    SECTION("a difference outside the mask is not seen")
    {
        FxKeyframe m = ZeroMask();
        m.fade = 1;
        dst->fade = src->fade;
        CHECK(CompareKeyframeAttributes(dst.get(), src.get(), &m) == 1);
        dst->fade += 1;
        CHECK(CompareKeyframeAttributes(dst.get(), src.get(), &m) == 0);
    }
}

TEST_CASE("Orientations compare by rotation within single precision, not by sign", "[masks]")
{
    KfPtr a = Fresh(), b = Fresh();
    a->orientation = QuatFromEuler(0.4, 0.1, -0.7);
    FxKeyframe m = ZeroMask();
    m.orientation.z = 1;
    b->orientation = a->orientation;
    b->orientation.x += 0.00001;
    CHECK(CompareKeyframeAttributes(a.get(), b.get(), &m) == 1);
    const Quat &q = a->orientation;
    b->orientation = Quat{ -q.w, -q.x, -q.y, -q.z };
    CHECK(CompareKeyframeAttributes(a.get(), b.get(), &m) == 0);
}

TEST_CASE("Offsets made from anchor and reference rebuild the anchor", "[masks]")
{
    KfPtr anchor = Fresh(), reference = Fresh(), out = Fresh();
    Disturb(anchor.get());
    reference->position[0] = -4;
    reference->width = 80;
    reference->skew[1] = 0.05;
    reference->scale[0] = 1.5;
    reference->orientation = QuatFromEuler(-0.5, 0.2, 0.1);
    reference->shadowColour = 0x00203040;
    FxKeyframe record = ZeroMask();
    FxKeyframe m;
    MakeFullAttributeMask(&m);
    m.width = m.height = 1;
    MakeKeyframeOffsets(&record, anchor.get(), reference.get(), &m);
    ApplyKeyframeOffsets(out.get(), reference.get(), &record, &m);
    for (int i = 0; i < 3; ++i) {
        CHECK(out->position[i] == Approx(anchor->position[i]));
        CHECK(out->scale[i] == Approx(anchor->scale[i]));
        CHECK(out->skew[i] == Approx(anchor->skew[i]));
        CHECK(out->offset[i] == Approx(anchor->offset[i]));
    }
    CHECK(out->width == Approx(anchor->width));
    CHECK(out->height == Approx(anchor->height));
    double dot = out->orientation.w * anchor->orientation.w + out->orientation.x * anchor->orientation.x +
                 out->orientation.y * anchor->orientation.y + out->orientation.z * anchor->orientation.z;
    CHECK(std::fabs(dot) == Approx(1.0));
    for (int c = 0; c < 4; ++c)
        for (int a = 0; a < 3; ++a)
            CHECK(out->corners[c][a] == Approx(anchor->corners[c][a]));
    CHECK(out->spins[1] == 3);
    CHECK(out->fade == 30);
    CHECK(out->positionSpeed.speedIn == 10);
    // Colours: the difference is limited at 0 per channel.
    CHECK(record.shadowColour == 0x00D0C0B0u);
}

TEST_CASE("Colour offsets saturate at 255 and clear alpha", "[masks]")
{
    KfPtr src = Fresh(), out = Fresh();
    src->borderColour = 0xFF80F0C0u;
    FxKeyframe record = ZeroMask(), m = ZeroMask();
    record.borderColour = 0x00204020u;
    m.borderColour = 1;
    ApplyKeyframeOffsets(out.get(), src.get(), &record, &m);
    CHECK(out->borderColour == 0x00A0FFE0u);
}

TEST_CASE("Warp fields copy only between keyframes of the same warp", "[masks]")
{
    static const GUID idA = { 0x11111111, 1, 1, { 1, 2, 3, 4, 5, 6, 7, 8 } };
    static const GUID idB = { 0x22222222, 2, 2, { 1, 2, 3, 4, 5, 6, 7, 8 } };
    FxWarpEntry entries[2] = {};
    entries[0].id = idA;
    entries[0].paramCount = 2;
    entries[0].params[0] = { 1, 0.5, 0 };
    entries[0].params[1] = { 0, 0, 3.0 };
    entries[1].id = idB;
    entries[1].paramCount = 1;
    entries[1].params[0] = { 1, 9.0, 0 };
    FxWarpTable saved = g_fxWarps;
    g_fxWarps = FxWarpTable{ entries, 2 };
    int savedSwitch = g_fxWarpInMasks;
    g_fxWarpInMasks = 1;

    KfPtr src = Fresh(), dst = Fresh();
    src->warpId = idA;
    src->warpNumber = 0;
    src->warpParams[0] = 0.75;
    src->warpFlags = 0x3;
    FxKeyframe m;
    CHECK(MakeFullAttributeMask(&m) == 0x01010101u);

    SECTION("the same warp: parameters and flags come over")
    {
        CopyKeyframeAttributes(dst.get(), src.get(), &m);
        CHECK(dst->warpNumber == 0);
        CHECK(dst->warpParams[0] == 0.75);
        CHECK(dst->warpFlags == 0x3);
    }
    SECTION("a source whose identifier names a warp not in the table copies no parameters")
    {
        src->warpId = GUID{};
        dst->warpId = idB;
        dst->warpNumber = -1;
        SetKeyframeFilter(dst.get(), 1, 0);
        uint32_t flags = dst->warpFlags;
        CopyKeyframeAttributes(dst.get(), src.get(), &m);
        CHECK(src->warpNumber == -1);   // looked up again from the identifier
        CHECK(dst->warpNumber == 1);
        CHECK(dst->warpParams[0] == 9.0);
        CHECK(dst->warpFlags == flags);
    }
    SECTION("without the switch the full mask leaves the warp alone")
    {
        g_fxWarpInMasks = 0;
        CHECK(MakeFullAttributeMask(&m) == 0);
        CHECK(m.warpNumber == 0);
        CHECK(m.warpParams[0] == 0.0);
        CHECK(m.fade != 0);
    }
    g_fxWarpInMasks = savedSwitch;
    g_fxWarps = saved;
}
