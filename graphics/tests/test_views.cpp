// Views without a screen: the device pixels of each painted band are
// recorded on a synthetic 32-bit display (device pixel 0x00RRGGBB).  Fit and
// zoom painting, field modes, alpha display, scrolling and its limits, point
// mapping, repaint on layer updates, overlay rectangles, sprites, the view
// table, and colour probes.
#include <catch2/catch.hpp>
#include <vector>
#include "view_fixture.h"
#include "compose.h"
#include "startup.h"

using lf::LayerPtr;

namespace {

struct ViewPtr {
    Zellview *v;
    explicit ViewPtr(Zellview *view) : v(view) {}
    ~ViewPtr() { DeleteZellview(v); }
};

// 4 x 3 layer of distinct opaque colours, one transparent pixel at (3, 2).
LayerPtr sample()
{
    std::vector<DWORD> px;
    for (DWORD i = 0; i < 12; ++i) px.push_back(0xFF000000u | (i * 0x101010u + 0x050000u));
    px[11] = 0x00123456;
    return lf::make(4, 3, px);
}

DWORD dev(DWORD p) { return p & 0xFFFFFF; }

} // namespace

TEST_CASE("A view shows its layer 1:1 in plain and alpha display")
{
    vf::use_32bit_display();
    LayerPtr l = sample();
    vf::Window w(4, 3);
    REQUIRE(w.h);
    LONG lw = 0, lh = 0;
    ViewPtr view(CreateZellviewLayer(l.get(), &lw, &lh, 0));
    REQUIRE(view.v);
    CHECK((lw == 4 && lh == 3));
    CHECK(GetInputLayerZellview(view.v) == l.get());
    REQUIRE(AttachWindowZellview(view.v, w.h) == 1);
    CHECK((view.v->displayWidth == 4 && view.v->displayHeight == 3));
    vf::Watch watch(view.v);

    SECTION("plain: every pixel's colour, alpha ignored")
    {
        REQUIRE(UpdateZellview(view.v, nullptr) == 1);
        for (LONG y = 0; y < 3; ++y)
            for (LONG x = 0; x < 4; ++x) CHECK(watch.canvas.at(x, y) == dev(lf::at(l.get(), x, y)));
    }
    SECTION("alpha display lays the layer over the checkerboard by its alpha")
    {
        AlphaDisplayZellview(view.v, 1);
        UpdateZellview(view.v, nullptr);
        CHECK(watch.canvas.at(0, 0) == dev(lf::at(l.get(), 0, 0)));
        CHECK(watch.canvas.at(3, 2) == 0x7C7C7C);   // transparent: the background shows
    }
    SECTION("a rectangle paints only its part; one outside the display paints nothing")
    {
        RECT r = { 1, 1, 3, 2 };
        UpdateZellview(view.v, &r);
        REQUIRE(watch.canvas.bands.size() == 1);
        CHECK(watch.canvas.at(1, 1) == dev(lf::at(l.get(), 1, 1)));
        CHECK(watch.canvas.at(0, 0) == 0xDEADBEEF);
        RECT out = { 10, 10, 20, 20 };
        watch.reset();
        UpdateZellview(view.v, &out);
        CHECK(watch.canvas.bands.empty());
    }
    SECTION("field modes show every other row twice")
    {
        LayerPtr rows = lf::make(1, 4, { 0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004 });
        ViewPtr fv(CreateZellviewLayer(rows.get(), nullptr, nullptr, 0));
        vf::Window fw(1, 4);
        AttachWindowZellview(fv.v, fw.h);
        vf::Watch fwatch(fv.v);
        struct Case { LONG mode; std::vector<DWORD> shown; };
        const Case cases[] = { { 0, { 1, 2, 3, 4 } }, { 1, { 1, 1, 3, 3 } }, { 2, { 2, 2, 4, 4 } }, { 7, { 1, 2, 3, 4 } } };
        for (const Case &c : cases) {
            INFO("mode " << c.mode);
            SetFieldModeZellview(fv.v, c.mode);
            fwatch.reset();
            UpdateZellview(fv.v, nullptr);
            std::vector<DWORD> got;
            for (LONG y = 0; y < 4; ++y) got.push_back(fwatch.canvas.at(0, y));
            CHECK(got == c.shown);
        }
    }
}

TEST_CASE("Fit mode scales the layer to the window")
{
    vf::use_32bit_display();
    LayerPtr l = lf::make(2, 2, { 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF });
    vf::Window w(4, 4);
    ViewPtr view(CreateZellviewLayer(l.get(), nullptr, nullptr, 1));   // banded
    REQUIRE(view.v);
    AttachWindowZellview(view.v, w.h);
    vf::Watch watch(view.v);
    UpdateZellview(view.v, nullptr);
    // Enlarging by two repeats each pixel in a 2 x 2 block.
    const DWORD expect[4][4] = { { 0xFF0000, 0xFF0000, 0x00FF00, 0x00FF00 }, { 0xFF0000, 0xFF0000, 0x00FF00, 0x00FF00 },
                                 { 0x0000FF, 0x0000FF, 0xFFFFFF, 0xFFFFFF }, { 0x0000FF, 0x0000FF, 0xFFFFFF, 0xFFFFFF } };
    for (LONG y = 0; y < 4; ++y)
        for (LONG x = 0; x < 4; ++x) {
            INFO(x << "," << y);
            CHECK(watch.canvas.at(x, y) == expect[y][x]);
        }

    SECTION("points, rectangles and sizes map by the display-to-layer ratio")
    {
        LONG x = 2, y = 2;
        ToZellviewPoint(view.v, &x, &y);
        CHECK((x == 4 && y == 4));   // the layer's corner is the display's corner
        x = 3, y = 1;
        FromZellviewPoint(view.v, &x, &y);
        CHECK((x == 1 && y == 0));
        RECT r = { 0, 1, 1, 2 };
        ToZellviewRect(view.v, &r);
        CHECK((r.left == 0 && r.top == 2 && r.right == 2 && r.bottom == 4));
        LONG sw = 1, sh = 2;
        ToZellviewSize(view.v, &sw, &sh);
        CHECK((sw == 2 && sh == 4));
        FromZellviewSize(view.v, &sw, &sh);
        CHECK((sw == 1 && sh == 2));
        LONG mw = 0, mh = 0;
        GetMaxSizeZellview(view.v, &mw, &mh);
        CHECK((mw == 4096 && mh == 4096));
    }
}

TEST_CASE("Zoom mode magnifies, scrolls and keeps its offsets in range")
{
    vf::use_32bit_display();
    std::vector<DWORD> px;
    for (DWORD i = 0; i < 30 * 30; ++i) px.push_back(0xFF000000u | i);
    LayerPtr l = lf::make(30, 30, px);
    vf::Window w(40, 40);
    ViewPtr view(CreateZellviewLayer(l.get(), nullptr, nullptr, 0));
    REQUIRE(view.v);
    AttachWindowZellview(view.v, w.h);

    SECTION("the zoom is clamped to 0..8")
    {
        struct Case { LONG in, zoom; };
        for (const Case &c : { Case{ 12, 8 }, Case{ -1, 0 }, Case{ 3, 3 }, Case{ 0, 0 } }) {
            SetZoomfactorZellview(view.v, c.in);
            CHECK(GetZoomfactorZellview(view.v) == c.zoom);
        }
    }
    SECTION("scroll bars take their room and set the largest offsets")
    {
        SetZoomfactorZellview(view.v, 2);
        const LONG cx = GetSystemMetrics(SM_CXVSCROLL), cy = GetSystemMetrics(SM_CYHSCROLL);
        CHECK(view.v->hScrollShown == 1);
        CHECK(view.v->vScrollShown == 1);
        CHECK(view.v->displayWidth == 40 - cx);
        CHECK(view.v->displayHeight == 40 - cy);
        CHECK(view.v->maxX == 30 - (40 - cx) / 2);
        LONG mw = 0, mh = 0;
        GetMaxSizeZellview(view.v, &mw, &mh);
        CHECK((mw == 60 && mh == 60));
    }
    SECTION("scroll messages move by lines and pages, never past 0 or the maximum")
    {
        NoScrollBarZellview(view.v, 1);
        SetZoomfactorZellview(view.v, 2);   // 20 x 20 layer pixels shown: maximum 10
        REQUIRE(view.v->maxX == 10);
        struct Step { LONG message, code, x, y; };
        const Step steps[] = {
            { WM_HSCROLL, SB_LINEUP, 0, 0 },    { WM_HSCROLL, SB_LINEDOWN, 1, 0 }, { WM_HSCROLL, SB_PAGEDOWN, 10, 0 },
            { WM_HSCROLL, SB_LINEDOWN, 10, 0 }, { WM_HSCROLL, SB_PAGEUP, 0, 0 },   { WM_VSCROLL, SB_PAGEDOWN, 0, 10 },
            { WM_VSCROLL, SB_LINEUP, 0, 9 },    { WM_HSCROLL, MAKELONG(SB_THUMBTRACK, 7), 7, 9 },
            { WM_VSCROLL, MAKELONG(SB_THUMBTRACK, 99), 7, 10 },
        };
        for (const Step &s : steps) {
            INFO(s.message << " " << s.code);
            ScrollMessageZellview(view.v, s.message, s.code);
            LONG x = -1, y = -1;
            GetOffsetZellview(view.v, &x, &y);
            CHECK((x == s.x && y == s.y));
        }
        CHECK(ScrollMessageZellview(view.v, WM_PAINT, 0) == 0);
    }
    SECTION("what zoom 2 paints, from the offset on")
    {
        NoScrollBarZellview(view.v, 1);
        SetZoomfactorZellview(view.v, 2);
        ScrollZellview(view.v, 3, 4);
        vf::Watch watch(view.v);
        UpdateZellview(view.v, nullptr);
        for (LONG y = 0; y < 40; y += 7)
            for (LONG x = 0; x < 40; x += 5) {
                INFO(x << "," << y);
                CHECK(watch.canvas.at(x, y) == (DWORD)((y / 2 + 4) * 30 + x / 2 + 3));
            }
        // A rectangle that starts inside a magnified pixel still paints it.
        watch.reset();
        RECT r = { 3, 3, 5, 5 };
        UpdateZellview(view.v, &r);
        REQUIRE(watch.canvas.bands.size() == 1);
        CHECK(watch.canvas.bands[0].left == 2);
        CHECK(watch.canvas.bands[0].top == 2);
        CHECK(watch.canvas.at(3, 3) == (DWORD)((1 + 4) * 30 + 1 + 3));
        // Points map through the offsets.
        LONG px = 5, py = 6;
        ToZellviewPoint(view.v, &px, &py);
        CHECK((px == 4 && py == 4));
        FromZellviewPoint(view.v, &px, &py);
        CHECK((px == 5 && py == 6));
    }
    SECTION("scrolling to a point keeps it 16 pixels inside the shown area")
    {
        NoScrollBarZellview(view.v, 1);
        SetZoomfactorZellview(view.v, 1);   // the whole 30 x 30 layer fits: nothing to scroll
        CHECK(ScrollToPointZellview(view.v, 29, 29) == 1);
        LONG x, y;
        GetOffsetZellview(view.v, &x, &y);
        CHECK((x == 0 && y == 0));
        SetZoomfactorZellview(view.v, 0);
        CHECK(ScrollToPointZellview(view.v, 1, 1) == 0);   // fit mode: no scrolling
    }
    SECTION("SetOffsetZellview clamps to the layer")
    {
        SetOffsetZellview(view.v, -5, 99);
        LONG x, y;
        GetOffsetZellview(view.v, &x, &y);
        CHECK((x == 0 && y == 29));
    }
}

TEST_CASE("Layer updates repaint the affected area only while enabled")
{
    vf::use_32bit_display();
    LayerPtr l = lf::filled(8, 8, 0xFF101010);
    vf::Window w(16, 16);
    ViewPtr view(CreateZellviewLayer(l.get(), nullptr, nullptr, 0));
    AttachWindowZellview(view.v, w.h);   // fit mode, twice the layer
    vf::Watch watch(view.v);
    LayerPtr child = lf::clip(l.get(), 2, 3, 1, 2);
    lf::Notify on;

    CHECK(UpdateLayer(child.get()) == 1);   // flag off: nothing painted
    CHECK(watch.canvas.bands.empty());
    UpdateEnableZellview(view.v, 1);
    CHECK(UpdateLayer(child.get()) == 1);
    REQUIRE(watch.canvas.bands.size() == 1);
    const RECT &b = watch.canvas.bands[0];
    CHECK((b.left == 4 && b.top == 6 && b.right == 6 && b.bottom == 10));
    CHECK(watch.canvas.at(5, 9) == 0x101010);

    SECTION("refresh on paint asks the layer first")
    {
        lf::Recorder rec;
        lf::NamedHandler *h = (lf::NamedHandler *)M32_alloc(sizeof(lf::NamedHandler));
        *h = { { lf::record_proc, NULL, NULL }, "refresh", &rec, 1 };
        l->refreshHandler = &h->h;
        RefreshEnableZellview(view.v, 1);
        UpdateZellview(view.v, nullptr);
        CHECK(rec.calls.size() == 1);
        l->refreshHandler = NULL;
        M32_free(h);
    }
}

TEST_CASE("Overlay rectangles are drawn into each band")
{
    vf::use_32bit_display();
    LayerPtr l = lf::filled(6, 6, 0xFF000000);
    vf::Window w(6, 6);
    ViewPtr view(CreateZellviewLayer(l.get(), nullptr, nullptr, 0));
    AttachWindowZellview(view.v, w.h);
    vf::Watch watch(view.v);
    const RECT r = { 1, 1, 4, 3 };
    const DWORD C = 0x00F0A050;

    struct Case { LONG kind; std::vector<POINT> on, off; DWORD value; };
    const DWORD half = ((C & g_displayMask) + 0) / 2;
    const Case cases[] = {
        { ZVR_FILLED, { { 1, 1 }, { 3, 2 } }, { { 0, 0 }, { 4, 1 }, { 1, 3 } }, C },
        { ZVR_FILLED | ZVR_HALF, { { 1, 1 }, { 3, 2 } }, { { 0, 0 } }, half },
        { ZVR_FRAME, { { 1, 1 }, { 3, 1 }, { 1, 2 }, { 3, 2 } }, { { 2, 3 }, { 0, 0 } }, C },
        { ZVR_OUTSIDE, { { 0, 0 }, { 5, 5 }, { 0, 2 }, { 4, 2 } }, { { 1, 1 }, { 3, 2 } }, C },
        { ZVR_GRID, { { 0, 0 }, { 2, 5 }, { 5, 4 } }, { { 1, 1 }, { 3, 3 } }, C },
    };
    for (const Case &c : cases) {
        INFO("kind " << c.kind);
        RECT rr = r;
        if (c.kind == ZVR_GRID) rr = { 2, 0, 0, 0 };   // spacing 2, no dashes
        LONG i = AddRectangleZellview(view.v, &rr, C, c.kind);
        REQUIRE(i == 0);
        watch.reset();
        UpdateZellview(view.v, nullptr);
        for (POINT p : c.on) CHECK(watch.canvas.at(p.x, p.y) == c.value);
        for (POINT p : c.off) CHECK(watch.canvas.at(p.x, p.y) == 0);
        AttrRectangleZellview(view.v, i, 0);   // frees the entry
    }

    SECTION("the dirty area is repainted once, and the table grows past 64 entries")
    {
        RECT one = { 2, 2, 3, 3 };
        for (LONG k = 0; k < 70; ++k) CHECK(AddRectangleZellview(view.v, &one, C, ZVR_FILLED) == k);
        watch.reset();
        CHECK(UpdateRectangleZellview(view.v) == 1);
        CHECK(watch.canvas.bands.size() == 1);
        CHECK(watch.canvas.at(2, 2) == C);
        watch.reset();
        UpdateRectangleZellview(view.v);
        CHECK(watch.canvas.bands.empty());
        RECT moved = { 4, 4, 5, 5 };
        CHECK(EditRectangleZellview(view.v, 69, &moved) == 1);
        CHECK(ColorRectangleZellview(view.v, 69, 0x000000FF) == 1);
        CHECK(EditRectangleZellview(view.v, 70, &moved) == 0);
        CHECK(AddRectangleZellview(nullptr, &one, C, 1) == -1);
    }
}

TEST_CASE("Sprites are drawn where their alpha is at least 128")
{
    vf::use_32bit_display();
    LayerPtr l = lf::filled(4, 4, 0xFF000000);
    vf::Window w(4, 4);
    ViewPtr view(CreateZellviewLayer(l.get(), nullptr, nullptr, 0));
    AttachWindowZellview(view.v, w.h);
    vf::Watch watch(view.v);
    LayerPtr sprite = lf::make(2, 1, { 0xFFFF0000, 0x7F00FF00 });
    LONG i = AddSpriteZellview(view.v, sprite.get(), 1, 2, 1, 0);
    REQUIRE(i == 0);
    UpdateZellview(view.v, nullptr);
    CHECK(watch.canvas.at(1, 2) == 0xFF0000);
    CHECK(watch.canvas.at(2, 2) == 0);   // alpha 127: not drawn
    CHECK(AttrZellviewSprite(view.v, i, 0) == 1);
    watch.reset();
    UpdateZellview(view.v, nullptr);
    CHECK(watch.canvas.at(1, 2) == 0);
    CHECK(AttrZellviewSprite(view.v, i, 1) == 1);
    CHECK(EditZellviewSprite(view.v, i, 0, 0) == 1);
    watch.reset();
    UpdateZellview(view.v, nullptr);
    CHECK(watch.canvas.at(0, 0) == 0xFF0000);
    CHECK(DeleteZellviewSprite(view.v, i) == 1);
    CHECK(DeleteZellviewSprite(view.v, i) == 0);
    CHECK(AddSpriteZellview(view.v, nullptr, 0, 0, 1, 0) == -1);
    CHECK(AddSpriteZellview(nullptr, sprite.get(), 0, 0, 1, 0) == -1);
}

TEST_CASE("The view table, bad arguments and the input layer's ownership")
{
    vf::use_32bit_display();
    SECTION("64 views at most; a freed slot is taken again")
    {
        std::vector<Zellview *> views;
        for (int i = 0; i < 80; ++i)
            if (Zellview *v = CreateZellview(2, 2, 1)) views.push_back(v);
        CHECK(views.size() == 64);
        CHECK(CreateZellview(2, 2, 1) == nullptr);
        DeleteZellview(views.back());
        views.pop_back();
        Zellview *again = CreateZellview(2, 2, 1);
        CHECK(again != nullptr);
        if (again) views.push_back(again);
        for (Zellview *v : views) DeleteZellview(v);
    }
    SECTION("sizes, a missing display format and nulls")
    {
        CHECK(CreateZellview(0, 5, 0) == nullptr);
        CHECK(CreateZellview(5, -1, 0) == nullptr);
        CHECK(CreateZellviewLayer(nullptr, nullptr, nullptr, 0) == nullptr);
        LONG mode = g_displayMode;
        g_displayMode = 0;
        CHECK(CreateZellview(4, 4, 0) == nullptr);
        g_displayMode = mode;
        CHECK(DeleteZellview(nullptr) == 0);
        CHECK(UpdateZellview(nullptr, nullptr) == 0);
        CHECK(AttachWindowZellview(nullptr, NULL) == 0);
        CHECK(GetZoomfactorZellview(nullptr) == 0);
        CHECK(GetChrominanceZellview(nullptr, 0, 0) == 0);
        CHECK(ScrollZellview(nullptr, 1, 1) == 0);
        LONG x = 1, y = 1;
        CHECK(ToZellviewPoint(nullptr, &x, &y) == 0);
        CHECK(UpdateAllZellviews() == 1);
    }
    SECTION("a view over a caller's layer leaves the layer and its own handler alone")
    {
        LayerPtr l = lf::make(3, 3);
        LayerHandler *own = (LayerHandler *)M32_alloc(sizeof(LayerHandler));
        l->updateHandler = own;
        Zellview *v = CreateZellviewLayer(l.get(), nullptr, nullptr, 0);
        REQUIRE(v);
        CHECK(l->updateHandler != own);
        CHECK(DeleteZellview(v) == 1);
        CHECK(l->refCount == 1);
        CHECK(l->updateHandler == own);
        l->updateHandler = nullptr;
        M32_free(own);
    }
}

TEST_CASE("Colour probes of a view's layer")
{
    vf::use_32bit_display();
    LayerPtr l = lf::make(3, 1, { 0x80102030, 0x00FFFFFF, 0xFFFFFFFF });
    ViewPtr view(CreateZellviewLayer(l.get(), nullptr, nullptr, 0));
    CHECK(GetChrominanceZellview(view.v, 0, 0) == 0xFF102030);
    CHECK(GetChrominanceZellview(view.v, 1, 0) == 0xFF000000);   // transparent: black
    auto grey = [](DWORD c) {
        auto term = [](DWORD j, DWORD k) { return (DWORD)((j * k * 256 * 2 + 255) / (2 * 255)); };
        DWORD l = (term(77, (c >> 16) & 0xFF) + term(149, (c >> 8) & 0xFF) + term(29, c & 0xFF)) >> 8;
        return 0xFF000000u + l * 0x010101u;
    };
    CHECK(GetLuminanceZellview(view.v, 0, 0) == grey(0x102030));
    CHECK(GetLuminanceZellview(view.v, 2, 0) == 0xFFFFFFFF);
    CHECK(GetLuminanceZellview(view.v, 1, 0) == 0xFF000000);
}

TEST_CASE("A banded view paints in 64 KB bands with overlays cut at band edges")
{
    vf::use_32bit_display();
    std::vector<DWORD> px;
    for (DWORD y = 0; y < 100; ++y)
        for (DWORD x = 0; x < 300; ++x) px.push_back(0xFF000000u | y << 8 | (x & 0xFF));
    LayerPtr l = lf::make(300, 100, px);
    vf::Window w(300, 100);
    ViewPtr view(CreateZellviewLayer(l.get(), nullptr, nullptr, 1));
    REQUIRE(view.v);
    AttachWindowZellview(view.v, w.h);
    vf::Watch watch(view.v);
    RECT across = { 10, 50, 20, 60 };   // 65536 / 1200 = 54 rows per band
    REQUIRE(AddRectangleZellview(view.v, &across, 0x00FFFFFF, ZVR_FRAME) == 0);
    UpdateZellview(view.v, nullptr);
    REQUIRE(watch.canvas.bands.size() == 2);
    CHECK(watch.canvas.bands[0].bottom == 54);
    CHECK(watch.canvas.bands[1].top == 54);
    CHECK(watch.canvas.bands[1].bottom == 100);
    for (LONG y : { 0L, 53L, 54L, 99L })
        for (LONG x : { 0L, 150L, 299L }) {
            if (y >= 50 && y < 60 && x >= 10 && x < 20) continue;
            INFO(x << "," << y);
            CHECK(watch.canvas.at(x, y) == ((DWORD)y << 8 | (DWORD)(x & 0xFF)));
        }
    // The frame is whole on both sides of the band edge.
    for (LONG y = 50; y < 60; ++y) {
        CHECK(watch.canvas.at(10, y) == 0xFFFFFF);
        CHECK(watch.canvas.at(19, y) == 0xFFFFFF);
    }
    CHECK(watch.canvas.at(15, 50) == 0xFFFFFF);
    CHECK(watch.canvas.at(15, 59) == 0xFFFFFF);
    CHECK(watch.canvas.at(15, 55) == (55u << 8 | 15u));
}

TEST_CASE("A sprite that scales with the view follows the zoom")
{
    vf::use_32bit_display();
    LayerPtr l = lf::filled(8, 8, 0xFF000000);
    vf::Window w(16, 16);
    ViewPtr view(CreateZellviewLayer(l.get(), nullptr, nullptr, 0));
    AttachWindowZellview(view.v, w.h);
    NoScrollBarZellview(view.v, 1);
    SetZoomfactorZellview(view.v, 2);
    LayerPtr sprite = lf::filled(1, 1, 0xFF0000FF);
    LONG fixed = AddSpriteZellview(view.v, sprite.get(), 1, 1, 1, 0);
    LONG scaled = AddSpriteZellview(view.v, sprite.get(), 4, 4, 1, 1);
    REQUIRE((fixed == 0 && scaled == 1));
    vf::Watch watch(view.v);
    UpdateZellview(view.v, nullptr);
    CHECK(watch.canvas.at(2, 2) == 0x0000FF);
    CHECK(watch.canvas.at(3, 3) == 0);          // the fixed one stays one pixel
    CHECK(watch.canvas.at(8, 8) == 0x0000FF);
    CHECK(watch.canvas.at(9, 9) == 0x0000FF);   // the scaled one is 2 x 2
    CHECK(watch.canvas.at(10, 10) == 0);
    SetZoomfactorZellview(view.v, 3);
    watch.reset();
    UpdateZellview(view.v, nullptr);
    CHECK(watch.canvas.at(14, 14) == 0x0000FF);   // 3 x 3 from (12, 12)
    CHECK(watch.canvas.at(15, 15) == 0);
    CHECK(RefreshZellviewSprite(view.v, scaled) == 1);
    CHECK(RefreshZellviewSprite(view.v, 5) == 0);
}

TEST_CASE("An input layer partly outside its parent paints only what it reaches")
{
    vf::use_32bit_display();
    LayerPtr parent = lf::make(3, 3, { 0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004, 0xFF000005, 0xFF000006,
                                       0xFF000007, 0xFF000008, 0xFF000009 });
    LayerPtr input = lf::clip(parent.get(), -1, -1, 3, 3);   // reaches parent (0..1, 0..1)
    LONG lw = 0, lh = 0;
    ViewPtr view(CreateZellviewLayer(input.get(), &lw, &lh, 0));
    REQUIRE(view.v);
    CHECK((lw == 2 && lh == 2));
    struct Case { int window, zoom; };
    for (const Case &c : { Case{ 2, 0 }, Case{ 5, 0 }, Case{ 6, 3 } }) {
        INFO(c.window << " zoom " << c.zoom);
        vf::Window w(c.window, c.window);
        AttachWindowZellview(view.v, w.h);
        NoScrollBarZellview(view.v, 1);
        SetZoomfactorZellview(view.v, c.zoom);
        vf::Watch watch(view.v);
        CHECK(UpdateZellview(view.v, nullptr) == 1);
        if (c.window == 2) CHECK(watch.canvas.at(1, 1) == 1);   // the layer's (1, 1) is the parent's (0, 0)
        AttachWindowZellview(view.v, NULL);
    }
}
