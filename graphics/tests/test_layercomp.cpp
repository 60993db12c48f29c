// Layer compositing: which layer is on top, which is written, where the
// opacity enters and when the fast arithmetic may run.  Expected pixels are
// worked out by hand from the table arithmetic.
#include <catch2/catch.hpp>
#include <vector>
#include "layer_fixture.h"
#include "compose.h"
#include "layer.h"

using lf::LayerPtr;
using Px = std::vector<DWORD>;

namespace {

struct MMXSwitch {
    LONG saved;
    explicit MMXSwitch(LONG on) : saved(g_useMMX) { g_useMMX = on; }
    ~MMXSwitch() { g_useMMX = saved; }
};

// A layer whose pixels show up at columns [from, from + n) of another
// layer's coordinates (a clipped window reaching left of its root).
struct Shifted {
    LayerPtr root, view;
    Shifted(LONG from, const Px &px)
    {
        root = lf::make((LONG)px.size(), 1, px);
        view = lf::clip(root.get(), -from, 0, from + (LONG)px.size(), 1);
    }
};

} // namespace

TEST_CASE("over and under: who is written, with the fast arithmetic behind the guard")
{
    lf::start();
    MMXSwitch off(0);
    const Px top = {0xFF102030, 0x00AABBCC, 0x7F7F7F7F, 0x00ABCDEF, 0x80FF0000};
    const Px bottom = {0x80FFFFFF, 0x80445566, 0x30303030, 0x00123456, 0x800000FF};
    const Px over = {0xFF102030, 0x80445566, 0x97727272, 0x00ABCDEF, 0xBFAB0054};

    LayerPtr f = lf::make(5, 1, top), s = lf::make(5, 1, bottom);
    CHECK(CompositOnTopLayer(f.get(), s.get()) == 1);
    CHECK(lf::pixels(f.get()) == over);
    CHECK(lf::pixels(s.get()) == bottom);

    LayerPtr f2 = lf::make(5, 1, top), s2 = lf::make(5, 1, bottom);
    CHECK(CompositOnBottomLayer(f2.get(), s2.get()) == 1);
    CHECK(lf::pixels(s2.get()) == over);
    CHECK(lf::pixels(f2.get()) == top);

    LayerPtr f3 = lf::make(5, 1, top), s3 = lf::make(5, 1, bottom);
    CompositOnTopLayerCorrect(f3.get(), s3.get());
    CompositOnBottomLayerCorrect(lf::make(5, 1, top).get(), s3.get());
    CHECK(lf::pixels(f3.get()) == over);

    SECTION("the fast arithmetic runs where the bottom alpha is at least 5") {
        MMXSwitch on(1);
        LayerPtr a = lf::make(2, 1, {0x20000000, 0x20000000}), b = lf::make(2, 1, {0x08EBEBEB, 0x04EBEBEB});
        CompositOnTopLayer(a.get(), b.get());
        CHECK(lf::at(a.get(), 0, 0) == 0x272A2A2A);
        CHECK(lf::at(a.get(), 1, 0) == CompositPel(0x20000000, 0x04EBEBEB));
        LayerPtr c = lf::make(1, 1, {0x20000000}), d = lf::make(1, 1, {0x08EBEBEB});
        CompositOnTopLayerEx(c.get(), d.get(), 255);      // table only
        CHECK(lf::at(c.get(), 0, 0) == 0x26242424);
    }
    SECTION("layers that do not overlap are left alone") {
        LayerPtr a = lf::make(2, 1, {1, 2});
        Shifted b(3, {0xFF000000});
        CHECK(CompositOnTopLayer(a.get(), b.view.get()) == 1);
        CHECK(lf::pixels(a.get()) == Px{1, 2});
        CHECK(CompositOnTopLayer(NULL, b.view.get()) == 1);
        CHECK(CompositOnBottomLayer(a.get(), NULL) == 1);
    }
}

TEST_CASE("opacity variants and the punch-through mask")
{
    lf::start();
    MMXSwitch off(0);
    const Px top = {0xFF00FF00, 0x80FF0000, 0x00000000};
    const Px bottom = {0xFF0000FF, 0x800000FF, 0xC0102030};

    LayerPtr f = lf::make(3, 1, top), s = lf::make(3, 1, bottom);
    CompositOnTopLayerEx(f.get(), s.get(), 0);
    CHECK(lf::pixels(f.get()) == Px{0xFF00FF00, 0x80FF0000, 0x00000000});   // scaled second is empty

    LayerPtr b1 = lf::make(3, 1, bottom), b2 = lf::make(3, 1, bottom);
    CompositOnBottomLayerEx(lf::make(3, 1, top).get(), b1.get(), 255);
    CompositOnBottomLayer(lf::make(3, 1, top).get(), b2.get());
    CHECK(lf::pixels(b1.get()) == lf::pixels(b2.get()));

    LayerPtr half = lf::make(3, 1, bottom);
    CompositOnBottomLayerEx(lf::make(3, 1, top).get(), half.get(), 128);
    CHECK(lf::at(half.get(), 0, 0) == 0xFF00807F);      // 0x8000FF00 over opaque blue
    CHECK(lf::at(half.get(), 2, 0) == 0xC0102030);      // transparent top leaves the bottom

    LayerPtr ontop = lf::make(1, 1, {0x00000000});
    CompositOnTopLayerEx(ontop.get(), lf::make(1, 1, {0xFF0000FF}).get(), 128);
    CHECK(lf::at(ontop.get(), 0, 0) == 0x800000FF);     // empty first: the scaled second shows

    LayerPtr l = lf::make(4, 1, {0xFF123456, 0xFF123456, 0x10ABCDEF, 0x80FFFFFF});
    LayerPtr m = lf::make(4, 1, {0xFF000000, 0x40000000, 0x40000000, 0x00000000});
    CHECK(PunchThruLayer(l.get(), m.get()) == 1);
    CHECK(lf::pixels(l.get()) == Px{0x00123456, 0xBF123456, 0x10ABCDEF, 0x80FFFFFF});

    lf::Recorder rec;
    lf::NamedHandler fr = {{lf::record_proc, 0, 0}, "r:first", &rec, 1}, fu = {{lf::record_proc, 0, 0}, "u:first", &rec, 1};
    lf::NamedHandler sr = {{lf::record_proc, 0, 0}, "r:second", &rec, 1}, su = {{lf::record_proc, 0, 0}, "u:second", &rec, 1};
    LayerPtr a = lf::make(1, 1), b = lf::make(1, 1);
    a->refreshHandler = &fr.h; a->updateHandler = &fu.h;
    b->refreshHandler = &sr.h; b->updateHandler = &su.h;
    {
        lf::Notify on;
        CompositOnTopLayerEx(a.get(), b.get(), 9);
        CompositOnBottomLayerEx(a.get(), b.get(), 9);
        CompositOnTopLayer(a.get(), b.get());
    }
    CHECK(rec.calls == std::vector<std::string>{"r:second", "r:first", "u:first", "r:second", "r:first", "u:second",
                                                "r:second", "u:first"});
    a->refreshHandler = a->updateHandler = b->refreshHandler = b->updateHandler = NULL;
}

TEST_CASE("output of two layers, and the two layers laid under a destination")
{
    lf::start();
    MMXSwitch off(0);
    LayerPtr top = lf::make(2, 1, {0xFF0000FF, 0x00000000});
    LayerPtr bottom = lf::make(2, 1, {0x80FF0000, 0x80FF0000});
    LayerPtr out = lf::filled(3, 1, 0x12345678);
    CHECK(CompositOnOutputLayer(top.get(), bottom.get(), out.get()) == 1);
    CHECK(lf::pixels(out.get()) == Px{0xFF0000FF, 0x80FF0000, 0x12345678});

    Shifted away(5, {0xFFFFFFFF});
    LayerPtr out2 = lf::filled(2, 1, 7);
    CompositOnOutputLayerCorrect(away.view.get(), bottom.get(), out2.get());   // no top: copy of the bottom
    CHECK(lf::pixels(out2.get()) == Px{0x80FF0000, 0x80FF0000});
    LayerPtr out3 = lf::filled(2, 1, 7);
    CompositOnOutputLayer(top.get(), NULL, out3.get());                        // no bottom: copy of the top
    CHECK(lf::pixels(out3.get()) == Px{0xFF0000FF, 0x00000000});
    CHECK(CompositOnOutputLayer(NULL, NULL, NULL) == 1);

    // A bottom smaller than the top is read only where it has pixels.
    LayerPtr wide = lf::filled(3, 1, 0x80FFFFFF), narrow = lf::make(1, 1, {0xFF000000});
    LayerPtr out4 = lf::filled(3, 1, 5);
    CompositOnOutputLayer(wide.get(), narrow.get(), out4.get());
    CHECK(lf::pixels(out4.get()) == Px{0xFF808080, 5, 5});

    // Destination stays in front; first covers columns 0-1, second 2-3.
    LayerPtr dst = lf::make(4, 1, {0x00000000, 0x80FFFFFF, 0xFF000000, 0x00000000});
    LayerPtr first = lf::make(2, 1, {0xFF112233, 0xFF000000});
    Shifted second(2, {0x80445566, 0xFF778899});
    CHECK(TwoLayerComposit(dst.get(), first.get(), second.view.get()) == 1);
    CHECK(lf::pixels(dst.get()) == Px{0xFF112233, 0xFF808080, 0xFF000000, 0xFF778899});

    LayerPtr both = lf::make(3, 1);
    Shifted s2(1, {0xFF0000FF, 0xFF0000FF});
    TwoLayerComposit(both.get(), lf::make(2, 1, {0x80FF0000, 0x80FF0000}).get(), s2.view.get());
    CHECK(lf::pixels(both.get()) == Px{0x80FF0000, 0xFF80007F, 0xFF0000FF});

    // Disjoint windows with a gap: the gap is not touched.
    LayerPtr gap = lf::filled(5, 1, 0x01010101);
    Shifted s3(4, {0xFF00FF00});
    TwoLayerComposit(gap.get(), lf::make(1, 1, {0xFF0000FF}).get(), s3.view.get());
    CHECK(lf::pixels(gap.get()) == Px{CompositPel(0x01010101, 0xFF0000FF), 0x01010101, 0x01010101, 0x01010101,
                                      CompositPel(0x01010101, 0xFF00FF00)});
    CHECK(TwoLayerComposit(gap.get(), NULL, NULL) == 1);
}

TEST_CASE("three layers into a destination")
{
    lf::start();
    MMXSwitch off(0);
    LayerPtr dst = lf::filled(2, 1, 0x55555555);
    LayerPtr bottom = lf::filled(2, 1, 0xFF0000FF), middle = lf::filled(2, 1, 0xFF00FF00);
    LayerPtr top = lf::make(2, 1, {0x00000000, 0xFFFF0000});
    CHECK(ThreeLayerComposit(dst.get(), bottom.get(), middle.get(), top.get(), 128) == 1);
    CHECK(lf::pixels(dst.get()) == Px{0xFF00807F, 0xFFFF0000});

    LayerPtr d2 = lf::filled(2, 2, 9), tall = lf::filled(2, 2, 0xFFFFFFFF);
    CHECK(ThreeLayerComposit(d2.get(), bottom.get(), middle.get(), tall.get(), 255) == 1);   // sizes differ
    CHECK(lf::pixels(d2.get()) == Px(4, 9));
    Shifted away(4, {0xFFFFFFFF, 0xFFFFFFFF});
    CHECK(ThreeLayerComposit(dst.get(), bottom.get(), middle.get(), away.view.get(), 255) == 0);
    CHECK(ThreeLayerComposit(NULL, bottom.get(), middle.get(), top.get(), 255) == 0);
}

TEST_CASE("CompositMany lays a list of layers with opacities")
{
    lf::start();
    LayerPtr a = lf::filled(2, 2, 0xFF0000FF), b = lf::filled(2, 2, 0xFF00FF00), dst = lf::filled(2, 2, 7);
    CompositManyEntry one[] = {{NULL, 255}, {b.get(), 0}, {a.get(), 255}};
    CHECK(CompositMany(dst.get(), one, 3) == 1);
    CHECK(lf::pixels(dst.get()) == lf::pixels(a.get()));

    CompositManyEntry two[] = {{a.get(), 255}, {b.get(), 128}, {NULL, 99}};
    CHECK(CompositMany(dst.get(), two, 3) == 1);
    CHECK(lf::pixels(dst.get()) == Px(4, 0xFF00807F));

    CompositManyEntry base[] = {{b.get(), 128}};
    CompositMany(dst.get(), base, 1);
    CHECK(lf::pixels(dst.get()) == Px(4, 0x8000FF00));   // base copied with its opacity

    CompositManyEntry none[] = {{a.get(), 0}, {NULL, 255}};
    CompositMany(dst.get(), none, 2);
    CHECK(lf::pixels(dst.get()) == Px(4, 0));

    // A layer smaller than the destination adds only where it has pixels.
    LayerPtr dot = lf::make(1, 1, {0xFFFF0000});
    CompositManyEntry partial[] = {{a.get(), 255}, {dot.get(), 255}};
    CompositMany(dst.get(), partial, 2);
    CHECK(lf::pixels(dst.get()) == Px{0xFFFF0000, 0xFF0000FF, 0xFF0000FF, 0xFF0000FF});
    CHECK(a->accessCount == 0);
    CHECK(dot->accessCount == 0);

    CHECK(CompositMany(NULL, two, 2) == 0);
    CHECK(CompositMany(dst.get(), NULL, 2) == 0);
    CHECK(CompositMany(dst.get(), two, 0) == 0);
}

TEST_CASE("paint engine: composite, mixer, selection, cut and paste")
{
    lf::start();
    SECTION("composite, then clear the paint and the selection's alpha") {
        LayerPtr dst = lf::make(2, 1), paint = lf::make(2, 1, {0x80FF0000, 0x00000000});
        LayerPtr canvas = lf::filled(2, 1, 0xFF0000FF), sel = lf::filled(2, 1, 0xFF808080);
        CHECK(PaintEngineCompositLayer(dst.get(), paint.get(), canvas.get(), sel.get(), 1) == 1);
        CHECK(lf::pixels(dst.get()) == Px{0xFF80007F, 0xFF0000FF});
        CHECK(lf::pixels(paint.get()) == Px{0, 0});
        CHECK(lf::pixels(sel.get()) == Px{0x00808080, 0x00808080});
        CHECK(PaintEngineCompositLayer(dst.get(), paint.get(), NULL, sel.get(), 1) == 1);
    }
    SECTION("mixer by the selection's alpha, alpha included") {
        LayerPtr dst = lf::make(3, 1), paint = lf::filled(3, 1, 0x80FF0000), canvas = lf::filled(3, 1, 0xFF0000FF);
        LayerPtr sel = lf::make(3, 1, {0xFF000000, 0x00000000, 0x80000000});
        CHECK(PaintEngineMixerLayer(dst.get(), paint.get(), canvas.get(), sel.get(), 0) == 1);
        CHECK(lf::pixels(dst.get()) == Px{0x80FF0000, 0xFF0000FF, 0xBF80007F});
        CHECK(lf::at(paint.get(), 0, 0) == 0x80FF0000);
    }
    SECTION("selection and cut read the selection's red byte") {
        LayerPtr dst = lf::make(2, 1), src = lf::filled(2, 1, 0xFF112233), sel = lf::make(2, 1, {0x00800000, 0x00FF0000});
        CHECK(PaintEngineSelectionLayer(dst.get(), src.get(), sel.get()) == 1);
        CHECK(lf::pixels(dst.get()) == Px{0x80112233, 0xFF112233});
        CHECK(lf::at(src.get(), 0, 0) == 0xFF112233);
        CHECK(PaintEngineCutLayer(dst.get(), src.get(), sel.get()) == 1);
        CHECK(lf::pixels(dst.get()) == Px{0x80112233, 0xFF112233});
        CHECK(lf::pixels(src.get()) == Px{0x7F112233, 0x00112233});
    }
    SECTION("paste with a percentage") {
        struct Case { LONG percent; DWORD expect; };
        const Case cases[] = {{100, 0xFF00FF00}, {50, 0xFF007F80}, {0, 0xFF0000FF}, {250, 0xFF00FF00}};
        for (const Case &c : cases) {
            LayerPtr clip = lf::filled(1, 1, 0xFF00FF00), target = lf::filled(1, 1, 0xFF0000FF);
            LayerPtr sel = lf::filled(1, 1, 0x00FF0000);
            CHECK(PaintEnginePasteLayer(clip.get(), target.get(), sel.get(), c.percent) == 1);
            CHECK(lf::hex(lf::at(target.get(), 0, 0)) == lf::hex(c.expect));
        }
    }
    SECTION("the pale-backed under-composite of the layouts") {
        LayerPtr dst = lf::make(2, 1, {0x00000000, 0xFF102030}), src = lf::make(2, 1, {0x00000000, 0xFF000000});
        CHECK(CompositUnderPaleLayer(dst.get(), src.get()) == 1);
        CHECK(lf::pixels(dst.get()) == Px{0x80FFFFFF, 0xFF102030});
    }
}

namespace {

// Random pixels with every kind of alpha the over meets: runs of 0 and 255
// (whole packed blocks that take a shortcut), weak ones, anything.
Px random_px(unsigned seed, size_t n)
{
    Px v(n);
    unsigned s = seed;
    for (size_t i = 0; i < n; ++i) {
        s = s * 1664525u + 1013904223u;
        DWORD a = s >> 24;
        switch ((i / 19 + seed) % 4) {
        case 0: a = 0; break;
        case 1: a = 255; break;
        case 2: a &= 7; break;
        default: break;
        }
        s = s * 1664525u + 1013904223u;
        v[i] = a << 24 | (s >> 8);
    }
    return v;
}

DWORD scaled(DWORD p, DWORD op) { return (p & 0x00FFFFFFu) | (pm_scale(op, p >> 24) << 24); }

} // namespace

TEST_CASE("layer operations on wide random layers give the per-pixel rules exactly")
{
    lf::start();
    const LONG W = 41, H = 3;          // blocks of 8 and 16 and a tail on every row
    const size_t N = (size_t)W * H;
    const Px A = random_px(1, N), B = random_px(2, N), C = random_px(3, N);
    const LONG savedAvx2 = g_useAVX2;
    g_useAVX2 = GENERATE(0, 1);
    const LONG mmx = GENERATE(0, 1);
    MMXSwitch sw(mmx);
    INFO("AVX2 blocks " << g_useAVX2 << ", MMX switch " << mmx);
    auto guarded = [mmx](DWORD t, DWORD b) { return pm_over_guarded(t, b, mmx && (b >> 24) >= 5); };

    SECTION("on top and on bottom") {
        LayerPtr f = lf::make(W, H, A), s = lf::make(W, H, B);
        CompositOnTopLayer(f.get(), s.get());
        LayerPtr f2 = lf::make(W, H, A), s2 = lf::make(W, H, B);
        CompositOnBottomLayer(f2.get(), s2.get());
        const Px got = lf::pixels(f.get()), got2 = lf::pixels(s2.get());
        for (size_t i = 0; i < N; ++i) {
            REQUIRE(lf::hex(got[i]) == lf::hex(guarded(A[i], B[i])));
            REQUIRE(lf::hex(got2[i]) == lf::hex(guarded(A[i], B[i])));
        }
    }
    SECTION("with an opacity, table arithmetic whatever the switch") {
        for (LONG op : {0, 1, 100, 128, 254, 255}) {
            INFO("opacity " << op);
            LayerPtr f = lf::make(W, H, A), s = lf::make(W, H, B);
            CompositOnTopLayerEx(f.get(), s.get(), op);
            LayerPtr f2 = lf::make(W, H, A), s2 = lf::make(W, H, B);
            CompositOnBottomLayerEx(f2.get(), s2.get(), op);
            const Px got = lf::pixels(f.get()), got2 = lf::pixels(s2.get());
            for (size_t i = 0; i < N; ++i) {
                REQUIRE(lf::hex(got[i]) == lf::hex(pm_over(A[i], scaled(B[i], (DWORD)op))));
                REQUIRE(lf::hex(got2[i]) == lf::hex(pm_over(scaled(A[i], (DWORD)op), B[i])));
            }
        }
    }
    SECTION("three layers, the output of two, and two laid under a destination") {
        LayerPtr d = lf::make(W, H), t = lf::make(W, H, A), m = lf::make(W, H, B), b = lf::make(W, H, C);
        REQUIRE(ThreeLayerComposit(d.get(), b.get(), m.get(), t.get(), 200) == 1);
        Px got = lf::pixels(d.get());
        for (size_t i = 0; i < N; ++i)
            REQUIRE(lf::hex(got[i]) == lf::hex(guarded(guarded(A[i], scaled(B[i], 200)), C[i])));

        LayerPtr o = lf::make(W, H);
        CompositOnOutputLayer(t.get(), m.get(), o.get());
        got = lf::pixels(o.get());
        for (size_t i = 0; i < N; ++i) REQUIRE(lf::hex(got[i]) == lf::hex(guarded(A[i], B[i])));

        LayerPtr dst = lf::make(W, H, C);
        TwoLayerComposit(dst.get(), t.get(), m.get());
        got = lf::pixels(dst.get());
        for (size_t i = 0; i < N; ++i) REQUIRE(lf::hex(got[i]) == lf::hex(pm_over(pm_over(C[i], A[i]), B[i])));

        LayerPtr pd = lf::make(W, H, C);
        CompositUnderPaleLayer(pd.get(), t.get());
        got = lf::pixels(pd.get());
        for (size_t i = 0; i < N; ++i) REQUIRE(lf::hex(got[i]) == lf::hex(pm_over(C[i], pm_over(A[i], 0x80FFFFFFu))));
    }
    SECTION("CompositMany lays each entry with its opacity, a smaller layer only where it has pixels") {
        LayerPtr d = lf::make(W, H), a = lf::make(W, H, A), b = lf::make(W, H, B);
        const Px part = random_px(4, (size_t)(W - 9) * (H - 1));
        LayerPtr c = lf::make(W - 9, H - 1, part);
        CompositManyEntry list[] = {{a.get(), 255}, {b.get(), 180}, {NULL, 90}, {c.get(), 255}, {a.get(), 77}};
        REQUIRE(CompositMany(d.get(), list, 5) == 1);
        const Px got = lf::pixels(d.get());
        for (LONG y = 0; y < H; ++y)
            for (LONG x = 0; x < W; ++x) {
                size_t i = (size_t)y * W + x;
                DWORD v = A[i];
                v = CompositPel((B[i] & 0x00FFFFFFu) | ((B[i] >> 24) * 180 / 255) << 24, v);
                if (x < W - 9 && y < H - 1) v = CompositPel(part[(size_t)y * (W - 9) + x], v);
                v = CompositPel((A[i] & 0x00FFFFFFu) | ((A[i] >> 24) * 77 / 255) << 24, v);
                REQUIRE(lf::hex(got[i]) == lf::hex(v));
            }
    }
    SECTION("paint engine composite and paste") {
        LayerPtr d = lf::make(W, H), p = lf::make(W, H, A), c = lf::make(W, H, B), s = lf::make(W, H, C);
        PaintEngineCompositLayer(d.get(), p.get(), c.get(), s.get(), 0);
        Px got = lf::pixels(d.get());
        for (size_t i = 0; i < N; ++i) REQUIRE(lf::hex(got[i]) == lf::hex(pm_over(A[i], B[i])));

        LayerPtr clip = lf::make(W, H, A), target = lf::make(W, H, B), sel = lf::make(W, H, C);
        PaintEnginePasteLayer(clip.get(), target.get(), sel.get(), 73);
        got = lf::pixels(target.get());
        const DWORD op = 73 * 255 / 100;
        for (size_t i = 0; i < N; ++i) {
            DWORD a = pm_scale(op, pm_scale((C[i] >> 16) & 0xFF, A[i] >> 24));
            REQUIRE(lf::hex(got[i]) == lf::hex(pm_over((A[i] & 0x00FFFFFFu) | a << 24, B[i])));
        }
    }
    g_useAVX2 = savedAvx2;
}
