// Bad arguments across the exports: null layers and records, empty and
// negative sizes, rectangles outside the layer.  Each call answers with
// its documented result and touches nothing.
#include <catch2/catch.hpp>
#include <functional>
#include <vector>
#include "layer_fixture.h"

using lf::LayerPtr;

TEST_CASE("null layers and records give the documented result")
{
    lf::start();
    LayerPtr l = lf::filled(3, 3, 0xFF445566);
    Layer *L = l.get();
    LayerAccess acc;
    RECT r = {0, 0, 1, 1};
    LONG rb = 0;
    struct Case { const char *call; std::function<LONG_PTR()> run; LONG_PTR expect; };
    const std::vector<Case> cases = {
        {"CreateClippedLayer(null)", [] { return (LONG_PTR)CreateClippedLayer(NULL); }, 0},
        {"ClipLayer(null)", [&] { return (LONG_PTR)ClipLayer(NULL, &r); }, 0},
        {"ClipToAlphaLayerEx(null)", [] { return (LONG_PTR)ClipToAlphaLayerEx(NULL, NULL, NULL, NULL, NULL); }, 0},
        {"AddRefCountLayer(null)", [] { return (LONG_PTR)AddRefCountLayer(NULL); }, 0},
        {"DeleteLayer(null)", [] { return (LONG_PTR)DeleteLayer(NULL); }, 0},
        {"AttachActualLayer(null, l)", [&] { return (LONG_PTR)AttachActualLayer(NULL, L, 1); }, 0},
        {"AttachActualLayer(plain, l)", [&] { return (LONG_PTR)AttachActualLayer(L, L, 1); }, 0},
        {"DetachActualLayer(null)", [] { return (LONG_PTR)DetachActualLayer(NULL); }, 0},
        {"GetUnionRectRef(l, l, null)", [&] { return (LONG_PTR)GetUnionRectRef(L, L, NULL); }, 0},
        {"BeginLayerAccess(&acc, null)", [&] { return (LONG_PTR)BeginLayerAccess(&acc, NULL, L); }, 0},
        {"EndLayerAccess(null)", [] { return (LONG_PTR)EndLayerAccess(NULL); }, 0},
        {"RefreshLayer(null)", [] { return (LONG_PTR)RefreshLayer(NULL); }, 0},
        {"UpdateLayerEx(null)", [] { return (LONG_PTR)UpdateLayerEx(NULL); }, 0},
        {"ClearLayer(null)", [] { return (LONG_PTR)ClearLayer(NULL); }, 0},
        {"SetLayer(null)", [] { return (LONG_PTR)SetLayer(NULL, 1); }, 0},
        {"GetPelInLayer(null)", [] { return (LONG_PTR)GetPelInLayer(NULL, 0, 0); }, 0},
        {"SetPelInLayer(null)", [] { return (LONG_PTR)SetPelInLayer(NULL, 0, 0, 1); }, 0},
        {"CopyLayer(l, null)", [&] { return (LONG_PTR)CopyLayer(L, NULL); }, 0},
        {"CenterLayer(null, l)", [&] { return (LONG_PTR)CenterLayer(NULL, L); }, 0},
        {"HostCopyLayer(null)", [&] { return (LONG_PTR)HostCopyLayer(NULL, NULL, &r, 2, &rb); }, 0},
        {"HostPasteLayer(l, rect null)", [&] { return (LONG_PTR)HostPasteLayer(L, NULL, NULL, 2, &rb); }, 0},
        {"CompositMany(null)", [] { return (LONG_PTR)CompositMany(NULL, NULL, 1); }, 0},
        {"ThreeLayerComposit(l, null...)", [&] { return (LONG_PTR)ThreeLayerComposit(L, NULL, NULL, NULL, 255); }, 0},
        // Operations that draw nothing on a missing layer and still answer 1.
        {"SetAlphaLayer(null)", [] { return (LONG_PTR)SetAlphaLayer(NULL, 1); }, 1},
        {"CopyWithOpacityLayer(l, null)", [&] { return (LONG_PTR)CopyWithOpacityLayer(L, NULL, 9); }, 1},
        {"SwapLayer(null, l)", [&] { return (LONG_PTR)SwapLayer(NULL, L); }, 1},
        {"BlackBackground(l, null)", [&] { return (LONG_PTR)BlackBackground(L, NULL); }, 1},
        {"VMPBackground(null, l)", [&] { return (LONG_PTR)VMPBackground(NULL, L); }, 1},
        {"ReverseCompositLayer(null)", [] { return (LONG_PTR)ReverseCompositLayer(NULL); }, 1},
        {"FlipVertLayer(null)", [] { return (LONG_PTR)FlipVertLayer(NULL); }, 1},
        {"InterlaceLayer(l, null, l)", [&] { return (LONG_PTR)InterlaceLayer(L, NULL, L); }, 1},
        {"ClipToAlphaLayer(null)", [] { return (LONG_PTR)ClipToAlphaLayer(NULL); }, 1},
        {"TestMMXLayer(null)", [] { return (LONG_PTR)TestMMXLayer(NULL, NULL, 1); }, 1},
        {"CompositOnTopLayer(l, null)", [&] { return (LONG_PTR)CompositOnTopLayer(L, NULL); }, 1},
        {"CompositOnBottomLayerEx(null, l)", [&] { return (LONG_PTR)CompositOnBottomLayerEx(NULL, L, 9); }, 1},
        {"PunchThruLayer(l, null)", [&] { return (LONG_PTR)PunchThruLayer(L, NULL); }, 1},
        {"CompositOnOutputLayer(null, null, l)", [&] { return (LONG_PTR)CompositOnOutputLayer(NULL, NULL, L); }, 1},
        {"TwoLayerComposit(null, l, l)", [&] { return (LONG_PTR)TwoLayerComposit(NULL, L, L); }, 1},
        {"PaintEngineMixerLayer(l, null...)", [&] { return (LONG_PTR)PaintEngineMixerLayer(L, NULL, NULL, NULL, 1); }, 1},
        {"PaintEnginePasteLayer(null...)", [] { return (LONG_PTR)PaintEnginePasteLayer(NULL, NULL, NULL, 50); }, 1},
        {"FieldInterpolateLayer(null)", [] { return (LONG_PTR)FieldInterpolateLayer(NULL, 1); }, 1},
        {"FieldAdaptiveLayer(null)", [] { return (LONG_PTR)FieldAdaptiveLayer(NULL, 0); }, 1},
        {"CompositPel on null arrays", [] { return (LONG_PTR)CompositPels(NULL, NULL, NULL, 4); }, 0},
        {"CompositPelsMMXOnly on null arrays", [] { return (LONG_PTR)CompositPelsMMXOnly(NULL, NULL, NULL, 4); }, 0},
        {"ClockCompositThreePels on null arrays", [] { return (LONG_PTR)ClockCompositThreePels(NULL, NULL, NULL, 4); }, 0},
    };
    for (const Case &c : cases) {
        INFO(c.call);
        CHECK(c.run() == c.expect);
    }
    CHECK(lf::pixels(L) == std::vector<DWORD>(9, 0xFF445566));
    CHECK(L->refCount == 1);
    CHECK(L->accessCount == 0);
    CHECK(L->firstChild == NULL);
}

TEST_CASE("rectangles outside the layer reach no pixel")
{
    lf::start();
    LayerPtr l = lf::filled(4, 4, 0x11111111);
    struct Case { LONG x, y, w, h; };
    const Case outside[] = {{4, 0, 2, 2}, {0, 4, 2, 2}, {-3, 0, 3, 4}, {0, -9, 4, 9}, {1, 1, 0, 2}, {1, 1, 2, -2}};
    for (const Case &c : outside) {
        INFO(c.x << "," << c.y << " " << c.w << "x" << c.h);
        LayerPtr cl = lf::clip(l.get(), c.x, c.y, c.w, c.h);
        CHECK(ClearLayer(cl.get()) == 0);
        CHECK(SetPelInLayer(cl.get(), 0, 0, 0) == 0);
        CHECK(GetPelInLayer(cl.get(), 0, 0) == 0);
        CHECK(CopyLayer(cl.get(), l.get()) == 0);
        CHECK(CompositOnTopLayer(cl.get(), l.get()) == 1);
        CHECK(FieldAverageLayer(cl.get(), 0) == 1);
        LONG rb = 0;
        RECT r = {c.x, c.y, c.x + c.w, c.y + c.h};
        CHECK(HostCopyLayer(cl.get(), NULL, &r, 2, &rb) == NULL);
    }
    CHECK(lf::pixels(l.get()) == std::vector<DWORD>(16, 0x11111111));
    CHECK(l->refCount == 1);
    CHECK(l->accessCount == 0);
}
