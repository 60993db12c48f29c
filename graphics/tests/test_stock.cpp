// The stock-layer store: layers present after load, fallbacks, copy-in
// versus replacement, removal, view repaints and use from two threads.
#include <catch2/catch.hpp>
#include <vector>
#include "layer_fixture.h"

using lf::LayerPtr;
using Px = std::vector<DWORD>;

namespace {
int g_repaints;
void count_repaint(void *ctx) { ++*(int *)ctx; }
}

TEST_CASE("stock layers present after load, and the checkerboard fallback")
{
    lf::start();
    struct Case { LONG id; LONG w, h; DWORD pixel; };
    const Case cases[] = {
        {2, 256, 1, 0xFF000000}, {3, 256, 1, 0xFFFF0000}, {4, 256, 1, 0xFF00FF00},
        {5, 256, 1, 0xFF0000FF}, {6, 256, 1, 0xFFFFFFFF}, {7, 16, 16, 0xFF000000},
    };
    for (const Case &c : cases) {
        INFO("id " << c.id);
        REQUIRE(ExistsStockLayer(c.id) == 1);
        Layer *l = GetStockLayer(c.id);
        REQUIRE(l);
        CHECK(l->width == c.w);
        CHECK(l->height == c.h);
        CHECK(GetPelInLayer(l, c.w - 1, c.h - 1) == c.pixel);
        CHECK(GetPelInLayer(l, c.w / 2, 0) == c.pixel);
    }
    CHECK(GetPelInLayer(GetStockLayer(7), 0, 0) == 0xFF0000FF);
    CHECK(ExistsStockLayer(0) == 0);
    CHECK(ExistsStockLayer(1) == 0);

    Layer *bg = GetDefaultBackground();
    REQUIRE(bg);
    CHECK(GetStockLayer(42) == bg);
    struct P { LONG x, y; DWORD v; };
    const P checker[] = {{0, 0, 0xFF7C7C7C}, {7, 7, 0xFF7C7C7C}, {8, 0, 0xFF6C6C6C}, {0, 8, 0xFF6C6C6C},
                         {8, 8, 0xFF7C7C7C}, {15, 15, 0xFF7C7C7C}, {15, 0, 0xFF6C6C6C}};
    for (const P &p : checker) CHECK(GetPelInLayer(bg, p.x, p.y) == p.v);
    CHECK(bg->pitch == 64);
    CHECK((bg->kind & LAYER_OWNS_PIXELS) == 0);
}

TEST_CASE("SetStockLayer copies in place or replaces, and removes")
{
    lf::start();
    SECTION("id 0 becomes the fallback, as a copy") {
        LayerPtr l = lf::filled(3, 2, 0xFF123456);
        SetStockLayer(0, l.get());
        Layer *got = GetStockLayer(42);
        CHECK(got != l.get());
        CHECK(lf::pixels(got) == Px(6, 0xFF123456));
        SetStockLayer(0, NULL);
        CHECK(GetStockLayer(42) == GetDefaultBackground());
    }
    SECTION("same window width: the stored layer keeps its identity and size") {
        Layer *stored = GetStockLayer(2);
        LayerPtr red = lf::filled(256, 1, 0xFFFF0000);
        SetStockLayer(2, red.get());
        CHECK(GetStockLayer(2) == stored);
        CHECK(GetPelInLayer(stored, 100, 0) == 0xFFFF0000);
        LayerPtr tall = lf::filled(256, 4, 0xFF00FF00);
        SetStockLayer(2, tall.get());
        CHECK(GetStockLayer(2) == stored);
        CHECK(stored->height == 1);
        CHECK(GetPelInLayer(stored, 0, 0) == 0xFF00FF00);
        LayerPtr square = lf::filled(10, 10, 0xFF0000FF);
        SetStockLayer(2, square.get());
        Layer *now = GetStockLayer(2);
        CHECK(now->width == 10);
        CHECK(now->height == 10);
        CHECK(GetPelInLayer(now, 9, 9) == 0xFF0000FF);
        LayerPtr black = lf::filled(256, 1, 0xFF000000);
        SetStockLayer(2, black.get());             // back as it was
    }
    SECTION("a null layer removes the id; removing an absent id is harmless") {
        LayerPtr l = lf::make(2, 2);
        SetStockLayer(9, l.get());
        CHECK(ExistsStockLayer(9) == 1);
        SetStockLayer(9, NULL);
        CHECK(ExistsStockLayer(9) == 0);
        SetStockLayer(9, NULL);
        CHECK(ExistsStockLayer(9) == 0);
        LayerPtr outside = lf::clip(l.get(), 5, 5, 1, 1);
        SetStockLayer(10, outside.get());          // nothing to copy: nothing stored
        CHECK(ExistsStockLayer(10) == 0);
    }
    SECTION("ids 0 to 7 repaint every view, others do not") {
        REQUIRE(RegisterViewSlot(count_repaint, &g_repaints) == 1);
        LayerPtr l = lf::make(1, 1);
        struct Case { LONG id; int repaints; };
        const Case cases[] = {{0, 1}, {7, 1}, {8, 0}, {-1, 0}, {1000, 0}};
        for (const Case &c : cases) {
            g_repaints = 0;
            SetStockLayer(c.id, l.get());
            SetStockLayer(c.id, NULL);
            CHECK(g_repaints == 2 * c.repaints);
        }
        CHECK(UnregisterViewSlot(count_repaint, &g_repaints) == 1);
        g_repaints = 0;
        CHECK(UpdateAllZellviews() == 1);
        CHECK(g_repaints == 0);
    }
}

TEST_CASE("the store serialises two threads replacing and reading one id")
{
    lf::start();
    struct Worker {
        static DWORD WINAPI run(void *p)
        {
            DWORD colour = (DWORD)(ULONG_PTR)p;
            Layer *l = CreateLayer(8, 8, 1);
            SetLayer(l, colour);
            for (int i = 0; i < 300; ++i) {
                SetStockLayer(20, i % 3 ? l : NULL);
                GetStockLayer(20);
                ExistsStockLayer(20);
            }
            DeleteLayer(l);
            return 0;
        }
    };
    HANDLE t[2];
    t[0] = CreateThread(NULL, 0, Worker::run, (void *)(ULONG_PTR)0xFF111111, 0, NULL);
    t[1] = CreateThread(NULL, 0, Worker::run, (void *)(ULONG_PTR)0xFF222222, 0, NULL);
    REQUIRE(WaitForMultipleObjects(2, t, TRUE, 20000) == WAIT_OBJECT_0);
    CloseHandle(t[0]);
    CloseHandle(t[1]);
    SetStockLayer(20, NULL);
    CHECK(ExistsStockLayer(20) == 0);
}
