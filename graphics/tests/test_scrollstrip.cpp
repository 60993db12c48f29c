// Scroll strip: band geometry, the selection lines, thumbnails in device
// pixels, hit tests, scrolling limits and layer references, on a synthetic
// 32-bit display (device pixel 0x00RRGGBB).
#include <catch2/catch.hpp>
#include <vector>
#include "view_fixture.h"

using lf::LayerPtr;

namespace {

const DWORD GREY = 0x808080, YELLOW = 0xFFFF00;

struct StripPtr {
    Zellscroll *s;
    explicit StripPtr(HWND w) : s(CreateZellscroll(w)) {}
    ~StripPtr() { DeleteZellscroll(s); }
};

DWORD strip_px(const Zellscroll *s, LONG x, LONG row) { return ((const DWORD *)(s->strip + (size_t)row * s->rowSize))[x]; }

bool row_is(const Zellscroll *s, LONG row, DWORD v)
{
    for (LONG x = 0; x < s->width; ++x)
        if (strip_px(s, x, row) != v) return false;
    return true;
}

} // namespace

TEST_CASE("A strip of 4:3 bands with selection lines")
{
    vf::use_32bit_display();
    vf::Window w(320, 600);
    REQUIRE(w.h);
    StripPtr strip(w.h);
    REQUIRE(strip.s);
    CHECK(strip.s->bandHeight == 240);
    CHECK(strip.s->rowSize == 320 * 4);
    CHECK(strip.s->selected == -1);
    LayerPtr red = lf::filled(64, 48, 0xFFFF0000), green = lf::filled(32, 32, 0xFF00FF00),
             clear = lf::filled(16, 16, 0x00000000);
    CHECK(AddLayerToZellscroll(strip.s, red.get()) == 1);
    CHECK(AddLayerToZellscroll(strip.s, green.get()) == 2);
    CHECK(AddLayerToZellscroll(strip.s, clear.get()) == 3);
    CHECK(GetNumLayerZellscroll(strip.s) == 3);
    CHECK(strip.s->totalHeight == 720);
    CHECK(red->refCount == 2);   // the strip holds a reference

    // The newest band is selected: yellow edges; the others grey.
    CHECK(strip.s->selected == 2);
    CHECK(row_is(strip.s, 480, YELLOW));   // the third band starts at row 480
    CHECK(row_is(strip.s, 719, YELLOW));
    CHECK(row_is(strip.s, 479, GREY));
    CHECK(row_is(strip.s, 0, GREY));
    CHECK(row_is(strip.s, 240, GREY));
    // Thumbnails: each layer scaled over black, a transparent one black with
    // the blue 16-pixel grid dots.
    CHECK(strip_px(strip.s, 100, 100) == 0xFF0000);
    CHECK(strip_px(strip.s, 5, 240 + 120) == 0x00FF00);
    CHECK(strip_px(strip.s, 25, 480 + 20) == 0x000000);
    CHECK(strip_px(strip.s, 5, 480 + 5) == 0x0000FF);   // source pixel (0, 0) is a grid dot

    SECTION("hit tests and selection by point")
    {
        struct Hit { LONG y; Layer *layer; };
        for (const Hit &h : { Hit{ 0, red.get() }, Hit{ 239, red.get() }, Hit{ 240, green.get() },
                              Hit{ 719, clear.get() }, Hit{ 720, nullptr }, Hit{ -1, nullptr } }) {
            INFO(h.y);
            CHECK(GetLayerFromPointZellscroll(strip.s, h.y) == h.layer);
        }
        CHECK(SelectLayerFromPointZellscroll(strip.s, 250) == 1);
        CHECK(row_is(strip.s, 240, YELLOW));
        CHECK(row_is(strip.s, 479, YELLOW));
        CHECK(row_is(strip.s, 480, GREY));
        CHECK(SelectLayerFromPointZellscroll(strip.s, 800) == 3);   // below the last band: nothing
        CHECK(strip.s->selected == 1);
    }
    SECTION("scrolling stops at both ends")
    {
        struct Step { LONG dy, moved, offset; };
        const Step steps[] = { { -5, 0, 0 }, { 0, 0, 0 }, { 500, 120, 120 }, { 10, 0, 120 }, { -20, -20, 100 }, { -1000, -100, 0 } };
        for (const Step &s : steps) {
            INFO(s.dy);
            CHECK(ScrollZellscroll(strip.s, s.dy) == s.moved);
            CHECK(strip.s->scrollOffset == s.offset);
        }
        ScrollZellscroll(strip.s, 120);
        CHECK(GetLayerFromPointZellscroll(strip.s, 0) == red.get());       // row 120 of the strip
        CHECK(GetLayerFromPointZellscroll(strip.s, 130) == green.get());   // row 250
        CHECK(UpdateZellscroll(strip.s, nullptr) == 1);
    }
}

TEST_CASE("Scroll strip edge cases")
{
    vf::use_32bit_display();
    SECTION("a strip shorter than its window scrolls nowhere")
    {
        vf::Window w(64, 400);
        StripPtr strip(w.h);
        REQUIRE(strip.s);
        CHECK(strip.s->bandHeight == 48);
        LayerPtr l = lf::filled(4, 3, 0xFF0000FF);
        CHECK(AddLayerToZellscroll(strip.s, l.get()) == 1);
        CHECK(ScrollZellscroll(strip.s, 10) <= 0);
        CHECK(strip.s->scrollOffset == 0);
        RECT r = { 0, 0, 64, 400 };
        CHECK(UpdateZellscroll(strip.s, &r) == 1);
    }
    SECTION("null strips and layers, and layers with nothing to show")
    {
        vf::Window w(64, 64);
        StripPtr strip(w.h);
        REQUIRE(strip.s);
        LayerPtr l = lf::make(4, 4);
        LayerPtr outside = lf::clip(l.get(), 10, 10, 2, 2);
        CHECK(AddLayerToZellscroll(nullptr, l.get()) == -1);
        CHECK(AddLayerToZellscroll(strip.s, nullptr) == -1);
        CHECK(AddLayerToZellscroll(strip.s, outside.get()) == -1);
        CHECK(GetNumLayerZellscroll(strip.s) == 0);
        CHECK(GetNumLayerZellscroll(nullptr) == 0);
        CHECK(GetLayerFromPointZellscroll(nullptr, 0) == nullptr);
        CHECK(SelectLayerFromPointZellscroll(strip.s, 0) == 0);
        CHECK(ScrollZellscroll(nullptr, 5) == 0);
        CHECK(UpdateZellscroll(nullptr, nullptr) == 0);
        CHECK(DeleteZellscroll(nullptr) == 1);
        CHECK(CreateZellscroll(NULL) == nullptr);
        CHECK(l->refCount == 2);   // the clipped child's hold only
    }
    SECTION("deleting the strip lets go of its layers")
    {
        vf::Window w(64, 64);
        Zellscroll *s = CreateZellscroll(w.h);
        REQUIRE(s);
        LayerPtr l = lf::filled(8, 8, 0xFFFFFFFF);
        AddLayerToZellscroll(s, l.get());
        AddLayerToZellscroll(s, l.get());
        CHECK(l->refCount == 3);
        CHECK(DeleteZellscroll(s) == 1);
        CHECK(l->refCount == 1);
    }
}
