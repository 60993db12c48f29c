// Views: virtual sizes by aspect, fitting into a client area with margins
// and aspect, the outlines, repeated sizing, window-to-virtual mapping and
// the core layer's life.
#include <catch2/catch.hpp>

#include "fxview.h"

namespace {

int g_deleted = 0;
int g_there = 1;
int g_linkCommands = 0, g_linkDestroyed = 0;
Layer g_fakeLayer;

Layer *PIXAPI FakeCreate(LONG, LONG, LONG)
{
    return &g_fakeLayer;
}
LONG PIXAPI FakeDelete(Layer *)
{
    ++g_deleted;
    return 1;
}
LONG PIXAPI FakeThere()
{
    return g_there;
}
int __cdecl LinkCommand(FxRendererLink *, int code, void *)
{
    if (code == 2)
        ++g_linkCommands;
    return 1;
}
void __cdecl LinkDestroy(FxRendererLink *)
{
    ++g_linkDestroyed;
}

struct Descriptor {
    int32_t d[13] = {};
    Descriptor(int w, int h, int ax, int ay)
    {
        d[VD_FRAME_W] = w;
        d[VD_FRAME_H] = h;
        d[VD_ASPECT_X] = ax;
        d[VD_ASPECT_Y] = ay;
        d[VD_SAFE_L] = 10;
        d[VD_SAFE_T] = 10;
        d[VD_SAFE_R] = 90;
        d[VD_SAFE_B] = 90;
    }
};

} // namespace

TEST_CASE("The virtual space follows the aspect", "[view]")
{
    struct {
        int w, h, ax, ay, vw, vh;
    } cases[] = { { 720, 486, 4, 3, 1200, 900 }, { 1920, 1080, 16, 9, 1600, 900 }, { 500, 500, 1, 1, 1000, 1000 },
                  { 352, 288, 0, 0, 352, 288 }, { 0, 0, 0, 0, 640, 480 }, { 720, 0, 5, 4, 640, 480 } };
    for (auto &c : cases) {
        Descriptor d(c.w, c.h, c.ax, c.ay);
        FxView *v = CreateView(d.d, nullptr, VIEW_NO_LAYER, nullptr, nullptr, nullptr);
        REQUIRE(v);
        INFO(c.w << "x" << c.h << " aspect " << c.ax << ":" << c.ay);
        CHECK(v->virtualWidth == c.vw);
        CHECK(v->virtualHeight == c.vh);
        CHECK(v->distance == 1000.0);
        CHECK(v->coreLayer == nullptr);
        DestroyView(v);
    }
}

TEST_CASE("A view fits its picture into the client area", "[view]")
{
    Descriptor d(720, 486, 4, 3);
    SIZE client = { 400, 300 };
    FxView *v = CreateView(d.d, nullptr, 0xFFFFFFFFu & ~VIEW_NO_LAYER, nullptr, &client, nullptr);
    REQUIRE(v);
    CHECK(v->flags == (VIEW_CREATE_MASK | VIEW_RECT_SET));
    CHECK(v->width == 400);
    CHECK(v->originX == 200);
    CHECK(v->originY == 150);
    // Margins 20 and 15: usable 380 x 285, which is already 4:3.
    CHECK(v->scaleX == Approx(380.0 / 1200));
    CHECK(v->scaleY == Approx(380.0 / 1200));
    CHECK(v->picture[0].x == 10);
    CHECK(v->picture[0].y == 8);     // 150 - 142.5 rounds away from zero
    CHECK(v->picture[2].x == 390);
    CHECK(v->picture[2].y == 293);
    CHECK(v->picture[4].x == v->picture[0].x);
    CHECK(v->picture[4].y == v->picture[0].y);
    CHECK(v->blit[0] == 10);
    CHECK(v->blit[2] == 380);
    CHECK(v->blit[3] == 285);
    // Title-safe at 10% and 90% of the virtual size.
    CHECK(v->safeArea[0].x == 10 + 38);
    CHECK(v->safeArea[2].x == 10 + 342);
    CHECK(v->safeArea[2].y == 8 + 257);

    // The same size again changes nothing; the picture's corner maps to 0, 0.
    v->scaleX = 99;
    CHECK(SetViewRect(v, &client) == 1);
    CHECK(v->scaleX == 99);
    v->scaleX = 380.0 / 1200;
    POINT p = v->picture[0];
    WindowToVirtual(v, &p, 720, 486);
    CHECK(p.x == 0);
    CHECK(p.y == 0);
    p = v->picture[2];
    WindowToVirtual(v, &p, 720, 486);
    CHECK(p.x == 720);
    CHECK(p.y == 486);

    // A wide window: the height limits, the width follows the aspect.
    SIZE wide = { 1000, 300 };
    CHECK(SetViewRect(v, &wide) == 1);
    CHECK(v->scaleY == Approx(285.0 / 900));
    CHECK(v->scaleX == Approx(v->scaleY));
    CHECK(SetViewRect(nullptr, &wide) == 0);
    DestroyView(v);
}

TEST_CASE("The core layer lives with the view while the core is there", "[view]")
{
    g_fxGraphics.CreateLayer = FakeCreate;
    g_fxGraphics.DeleteLayer = FakeDelete;
    g_fxGraphics.PixmoorAreYouThere = FakeThere;
    Descriptor d(720, 576, 4, 3);
    FxRendererLink link = { LinkCommand, LinkDestroy };

    FxView *v = CreateView(d.d, nullptr, 0, nullptr, nullptr, nullptr);
    REQUIRE(v);
    CHECK(v->coreLayer == &g_fakeLayer);
    v->link = &link;
    g_deleted = 0;
    DestroyView(v);
    CHECK(g_deleted == 1);
    CHECK(g_linkCommands == 1);
    CHECK(g_linkDestroyed == 1);

    v = CreateView(d.d, nullptr, 0, nullptr, nullptr, nullptr);
    REQUIRE(v);
    g_there = 0;   // the core has gone: the layer is abandoned, not deleted
    g_deleted = 0;
    DestroyView(v);
    CHECK(g_deleted == 0);
    g_there = 1;
    g_fxGraphics = {};
}
