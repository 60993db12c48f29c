// Layouts: which path composes a region, the stacking order, entry alpha and
// highlight, punch-through, the auxiliary output, offsets and hit tests,
// observers of the output, and bad arguments.  Expected pixels are built
// from the over operator step by step in the order the layout works.
#include <catch2/catch.hpp>
#include <vector>
#include "layer_fixture.h"
#include "compose.h"
#include "layer.h"

using lf::LayerPtr;

namespace {

const DWORD SENTINEL = 0x12345678;
const DWORD BLUE = 0xFF0000FF, RED = 0xFFFF0000, GREEN50 = 0x8000FF00, WHITE = 0xFFFFFFFF;

// opacity applied to the layer's alpha, as the entry composite does
DWORD faded(DWORD p, DWORD alpha) { return (pm_scale(alpha, p >> 24) << 24) | (p & 0xFFFFFF); }

struct LayoutPtr {
    Layout *l;
    LayoutPtr() : l(CreateLayout()) {}
    ~LayoutPtr() { DeleteLayout(l); }
};

// A 4 x 2 output over an opaque blue background; the foreground has one
// opaque white pixel at (0, 0) and is clear elsewhere.
struct Scene {
    LayerPtr out = lf::filled(4, 2, SENTINEL);
    LayerPtr bg = lf::filled(4, 2, BLUE);
    LayerPtr fg = lf::make(4, 2, { WHITE });
    LayoutPtr layout;
    Scene()
    {
        REQUIRE(layout.l);
        REQUIRE(AttachBackgroundLayout(layout.l, bg.get()) == 1);
        REQUIRE(AttachForegroundLayout(layout.l, fg.get()) == 1);
        REQUIRE(AttachOutputLayout(layout.l, out.get()) == 1);
    }
    void reset_output() { SetLayer(out.get(), SENTINEL); }
};

// Per-pixel stack: entries top first, then foreground and background laid
// under them.
DWORD stacked(const std::vector<DWORD> &entries, DWORD fg, DWORD bg)
{
    DWORD d = 0;
    for (DWORD e : entries) d = pm_over(d, e);
    return pm_over(pm_over(d, fg), bg);
}

} // namespace

TEST_CASE("A layout without layers composes foreground over background on refresh")
{
    Scene s;
    lf::Notify on;
    CHECK(RefreshLayer(s.out.get()) == 1);
    CHECK(lf::pixels(s.out.get()) == std::vector<DWORD>{ WHITE, BLUE, BLUE, BLUE, BLUE, BLUE, BLUE, BLUE });

    SECTION("a refresh of part of the output recomposes only that part")
    {
        s.reset_output();
        LayerPtr part = lf::clip(s.out.get(), 1, 1, 2, 1);
        CHECK(RefreshLayer(part.get()) == 1);
        CHECK(lf::pixels(s.out.get()) ==
              std::vector<DWORD>{ SENTINEL, SENTINEL, SENTINEL, SENTINEL, SENTINEL, BLUE, BLUE, SENTINEL });
    }
    SECTION("nothing happens on a thread whose switches are off")
    {
        s.reset_output();
        RefreshEnable(0);
        UpdateEnable(0);
        CHECK(RefreshLayer(s.out.get()) == 0);
        CHECK(lf::at(s.out.get(), 1, 1) == SENTINEL);
    }
}

TEST_CASE("Layers are stacked top first, under them the foreground, then the background")
{
    Scene s;
    LayerPtr a = lf::filled(2, 1, RED);       // placed at (1, 0)
    LayerPtr b = lf::filled(2, 2, GREEN50);   // placed at (2, 0)
    lf::Notify on;

    REQUIRE(AddLayerLayout(s.layout.l, a.get(), 1) == 1);
    REQUIRE(SetLayerOffsetLayout(s.layout.l, a.get(), 1, 0) == 1);
    REQUIRE(AddLayerLayout(s.layout.l, b.get(), 0) == 1);   // appended: under a
    REQUIRE(SetLayerOffsetLayout(s.layout.l, b.get(), 2, 0) == 1);
    CHECK(GetLayerCountLayout(s.layout.l) == 2);
    REQUIRE(GetLayerLayout(s.layout.l, 0));
    CHECK(GetLayerLayout(s.layout.l, 0)->partner == a.get());
    CHECK(GetLayerLayout(s.layout.l, 1)->partner == b.get());
    CHECK(GetLayerLayout(s.layout.l, 2) == nullptr);
    CHECK(GetLayerLayout(s.layout.l, -1) == nullptr);
    CHECK(lf::at(s.out.get(), 0, 0) == SENTINEL);   // adding composes nothing

    SECTION("an update of one layer recomposes exactly its area")
    {
        CHECK(UpdateLayer(a.get()) == 1);
        const DWORD x = SENTINEL;
        CHECK(lf::pixels(s.out.get()) == std::vector<DWORD>{ x, stacked({ RED }, 0, BLUE),
                                                             stacked({ RED, GREEN50 }, 0, BLUE), x, x, x, x, x });
    }
    SECTION("a refresh of the whole output takes the layered path")
    {
        CHECK(RefreshLayer(s.out.get()) == 1);
        CHECK(lf::pixels(s.out.get()) ==
              std::vector<DWORD>{ stacked({}, WHITE, BLUE), stacked({ RED }, 0, BLUE), stacked({ RED, GREEN50 }, 0, BLUE),
                                  stacked({ GREEN50 }, 0, BLUE), BLUE, BLUE, stacked({ GREEN50 }, 0, BLUE),
                                  stacked({ GREEN50 }, 0, BLUE) });
        CHECK(lf::at(s.out.get(), 2, 0) == RED);   // the opaque top layer wins
    }
    SECTION("the entry alpha fades a layer; 0 removes it")
    {
        CHECK(GetAlphaLayerLayout(s.layout.l, a.get()) == 255);
        REQUIRE(SetAlphaLayerLayout(s.layout.l, a.get(), 100) == 1);   // recomposes a's area
        CHECK(GetAlphaLayerLayout(s.layout.l, a.get()) == 100);
        CHECK(lf::at(s.out.get(), 1, 0) == stacked({ faded(RED, 100) }, 0, BLUE));
        CHECK(lf::at(s.out.get(), 2, 0) == stacked({ faded(RED, 100), GREEN50 }, 0, BLUE));
        REQUIRE(SetAlphaLayerLayout(s.layout.l, a.get(), 0) == 1);
        CHECK(lf::at(s.out.get(), 1, 0) == BLUE);
        CHECK(lf::at(s.out.get(), 2, 0) == stacked({ GREEN50 }, 0, BLUE));
    }
    SECTION("a highlighted layer is laid over pale white; the same flag again does nothing")
    {
        REQUIRE(HighlightLayerLayout(s.layout.l, b.get(), 1) == 1);
        const DWORD pale = pm_over(GREEN50, 0x80FFFFFF);
        CHECK(lf::at(s.out.get(), 3, 1) == stacked({ pale }, 0, BLUE));
        CHECK(lf::at(s.out.get(), 2, 0) == stacked({ RED, pale }, 0, BLUE));
        s.reset_output();
        REQUIRE(HighlightLayerLayout(s.layout.l, b.get(), 1) == 1);
        CHECK(lf::at(s.out.get(), 3, 1) == SENTINEL);
        REQUIRE(HighlightLayerLayout(s.layout.l, b.get(), 0) == 1);
        CHECK(lf::at(s.out.get(), 3, 1) == stacked({ GREEN50 }, 0, BLUE));
    }
    SECTION("a punch-through layer clears alpha where it is opaque and keeps the colour")
    {
        LayerPtr mask = lf::make(1, 1, { 0xFF000000 });
        REQUIRE(AddPunchThruLayout(s.layout.l, mask.get()) == 1);
        REQUIRE(SetPunchThruOffsetLayout(s.layout.l, mask.get(), 1, 0) == 1);
        LONG x = -1, y = -1;
        CHECK(GetPunchThruOffsetLayout(s.layout.l, mask.get(), &x, &y) == 1);
        CHECK((x == 1 && y == 0));
        CHECK(GetPunchThruCountLayout(s.layout.l) == 1);
        CHECK(GetPunchThruLayout(s.layout.l, 0)->partner == mask.get());
        CHECK(RefreshLayer(s.out.get()) == 1);
        CHECK(lf::at(s.out.get(), 1, 0) == (RED & 0x00FFFFFF));
        CHECK(lf::at(s.out.get(), 2, 0) == RED);
        // An update of the mask recomposes its area too.
        s.reset_output();
        CHECK(UpdateLayer(mask.get()) == 1);
        CHECK(lf::at(s.out.get(), 1, 0) == (RED & 0x00FFFFFF));
        CHECK(lf::at(s.out.get(), 2, 0) == SENTINEL);
        CHECK(DeletePunchThruLayout(s.layout.l, mask.get()) == 1);
        CHECK(GetPunchThruCountLayout(s.layout.l) == 0);
        CHECK(mask->partner == nullptr);
    }
    SECTION("the auxiliary output receives a copy of each recomposed region")
    {
        LayerPtr aux = lf::filled(4, 2, SENTINEL);
        REQUIRE(AttachAuxOutLayout(s.layout.l, aux.get()) == 1);
        CHECK(UpdateLayer(b.get()) == 1);
        CHECK(lf::at(aux.get(), 2, 0) == lf::at(s.out.get(), 2, 0));
        CHECK(lf::at(aux.get(), 3, 1) == stacked({ GREEN50 }, 0, BLUE));
        CHECK(lf::at(aux.get(), 1, 0) == SENTINEL);
    }
    SECTION("an update of the background recomposes with the layered path")
    {
        SetLayer(s.bg.get(), 0xFF00FF00);   // itself an update of the whole background
        CHECK(lf::at(s.out.get(), 0, 1) == 0xFF00FF00);
        s.reset_output();
        LayerPtr corner = lf::clip(s.bg.get(), 3, 1, 1, 1);
        CHECK(UpdateLayer(corner.get()) == 1);
        CHECK(lf::at(s.out.get(), 3, 1) == stacked({ GREEN50 }, 0, 0xFF00FF00));
        CHECK(lf::at(s.out.get(), 2, 1) == SENTINEL);
    }
    SECTION("deleting a layer detaches it and recomposition leaves it out")
    {
        CHECK(DeleteLayerLayout(s.layout.l, a.get()) == 1);
        CHECK(a->partner == nullptr);
        CHECK(a->updateHandler == nullptr);
        CHECK(GetLayerCountLayout(s.layout.l) == 1);
        CHECK(DeleteLayerLayout(s.layout.l, a.get()) == 0);
        CHECK(UpdateLayer(a.get()) == 0);   // nobody listens any more
        CHECK(RefreshLayer(s.out.get()) == 1);
        CHECK(lf::at(s.out.get(), 1, 0) == BLUE);
    }
}

TEST_CASE("Observers of the output hear about recomposed regions")
{
    Scene s;
    LayerPtr a = lf::filled(1, 1, RED);
    REQUIRE(AddLayerLayout(s.layout.l, a.get(), 1) == 1);
    REQUIRE(SetLayerOffsetLayout(s.layout.l, a.get(), 2, 1) == 1);
    lf::Recorder rec;
    lf::NamedHandler *watch = (lf::NamedHandler *)M32_alloc(sizeof(lf::NamedHandler));
    *watch = { { lf::record_proc, NULL, NULL }, "output update", &rec, 1 };
    s.out->updateHandler = &watch->h;
    {
        lf::Notify on;
        CHECK(UpdateLayer(a.get()) == 1);
    }
    REQUIRE(rec.calls.size() == 1);
    CHECK(rec.positions[0].left == 2);
    CHECK(rec.positions[0].top == 1);
    CHECK(rec.positions[0].right == 3);
    CHECK(rec.positions[0].bottom == 2);
    CHECK(lf::at(s.out.get(), 2, 1) == RED);
    s.out->updateHandler = NULL;
    M32_free(watch);
}

TEST_CASE("Offsets and hit tests of layout layers")
{
    lf::start();
    LayoutPtr layout;
    LayerPtr a = lf::make(3, 2), b = lf::make(2, 2), v(CreateVirtualLayer());
    REQUIRE(AddLayerLayout(layout.l, a.get(), 1) == 1);
    REQUIRE(AddLayerLayout(layout.l, b.get(), 1) == 1);   // b on top
    REQUIRE(SetLayerOffsetLayout(layout.l, a.get(), 10, 20) == 1);
    REQUIRE(SetLayerOffsetLayout(layout.l, b.get(), 11, 21) == 1);
    LONG x = 0, y = 0;
    CHECK(GetLayerOffsetLayout(layout.l, a.get(), &x, &y) == 1);
    CHECK((x == 10 && y == 20));

    struct Hit { LONG x, y; Layer *expect; };
    const Hit hits[] = {
        { 10, 20, a.get() }, { 13, 20, a.get() }, { 10, 22, a.get() },   // right and bottom edges included
        { 11, 21, b.get() }, { 13, 23, b.get() },   // b is on top where both are
        { 9, 20, nullptr }, { 14, 22, nullptr }, { 10, 19, nullptr }, { 12, 24, nullptr },
    };
    for (const Hit &h : hits) {
        INFO(h.x << "," << h.y);
        CHECK(GetLayerFromPointLayout(layout.l, h.x, h.y) == h.expect);
    }

    SECTION("lookups of layers that are not in the layout, and null arguments")
    {
        LayerPtr stranger = lf::make(1, 1);
        x = y = 77;
        CHECK(GetLayerOffsetLayout(layout.l, stranger.get(), &x, &y) == 0);
        CHECK(GetLayerOffsetLayout(layout.l, a.get(), &x, nullptr) == 0);
        CHECK(x == 10);   // x is written before y is looked at
        CHECK(GetLayerOffsetLayout(layout.l, a.get(), nullptr, &y) == 0);
        CHECK(SetLayerOffsetLayout(layout.l, stranger.get(), 1, 1) == 0);
        CHECK(HighlightLayerLayout(layout.l, stranger.get(), 1) == 0);
        CHECK(SetAlphaLayerLayout(layout.l, stranger.get(), 1) == 0);
        CHECK(GetAlphaLayerLayout(layout.l, stranger.get()) == 0);
        CHECK(DeleteLayerLayout(layout.l, stranger.get()) == 0);
        CHECK(DeletePunchThruLayout(layout.l, a.get()) == 0);   // a is a layer, not a punch-through
        CHECK(AddLayerLayout(layout.l, v.get(), 1) == 0);       // virtual layers are refused
        CHECK(AddPunchThruLayout(layout.l, v.get()) == 0);
        CHECK(AddLayerLayout(layout.l, nullptr, 1) == 0);
        CHECK(AddLayerLayout(nullptr, a.get(), 1) == 0);
        CHECK(GetLayerCountLayout(layout.l) == 2);
        CHECK(GetLayerCountLayout(nullptr) == 0);
        CHECK(GetLayerLayout(nullptr, 0) == nullptr);
        CHECK(GetLayerFromPointLayout(nullptr, 0, 0) == nullptr);
        CHECK(AttachBackgroundLayout(nullptr, a.get()) == 0);
        CHECK(AttachForegroundLayout(nullptr, a.get()) == 0);
        CHECK(AttachOutputLayout(nullptr, a.get()) == 0);
        CHECK(AttachAuxOutLayout(nullptr, a.get()) == 0);
        CHECK(DeleteLayout(nullptr) == 0);
        CHECK(GetPunchThruCountLayout(nullptr) == 0);
        CHECK(GetPunchThruLayout(layout.l, 0) == nullptr);
    }
}

TEST_CASE("Deleting a layout lets go of every attached layer")
{
    lf::start();
    LayerPtr out = lf::make(2, 2), bg = lf::make(2, 2), fg = lf::make(2, 2), a = lf::make(1, 1), m = lf::make(1, 1);
    Layout *layout = CreateLayout();
    REQUIRE(layout);
    AttachOutputLayout(layout, out.get());
    AttachBackgroundLayout(layout, bg.get());
    AttachForegroundLayout(layout, fg.get());
    AddLayerLayout(layout, a.get(), 1);
    AddPunchThruLayout(layout, m.get());
    CHECK(out->partner != nullptr);
    CHECK(out->refreshHandler != nullptr);
    CHECK(DeleteLayout(layout) == 1);
    for (Layer *l : { out.get(), bg.get(), fg.get(), a.get(), m.get() }) {
        CHECK(l->partner == nullptr);
        CHECK(l->refreshHandler == nullptr);
        CHECK(l->updateHandler == nullptr);
    }
    lf::Notify on;
    CHECK(RefreshLayer(out.get()) == 0);
    CHECK(UpdateLayer(a.get()) == 0);
}

TEST_CASE("The notification helpers drive a layout without looping")
{
    Scene s;
    LayerPtr a = lf::filled(1, 1, RED);
    REQUIRE(AddLayerLayout(s.layout.l, a.get(), 1) == 1);
    // A refresh with updates off (RefreshLayerEx): the compositing steps
    // refresh the region they write, which must not start over.
    CHECK(RefreshLayerEx(s.out.get()) == 1);
    CHECK(lf::at(s.out.get(), 0, 0) == RED);
    CHECK(lf::at(s.out.get(), 1, 0) == BLUE);
    // An update with refreshes off (UpdateLayerEx) recomposes the layer's area.
    s.reset_output();
    SetPelInLayer(a.get(), 0, 0, 0xFF00FF00);
    CHECK(UpdateLayerEx(a.get()) == 1);
    CHECK(lf::at(s.out.get(), 0, 0) == 0xFF00FF00);
    CHECK(lf::at(s.out.get(), 1, 0) == SENTINEL);
}

TEST_CASE("Pixmoor.dll exports the layout, view, strip and bitmap functions by name")
{
    HMODULE dll = LoadLibraryA("Pixmoor.dll");
    REQUIRE(dll);
    const char *names[] = {
        "CreateLayout", "DeleteLayout", "AttachBackgroundLayout", "AttachForegroundLayout", "AttachOutputLayout",
        "AttachAuxOutLayout", "AddLayerLayout", "DeleteLayerLayout", "GetLayerCountLayout", "GetLayerLayout",
        "GetLayerOffsetLayout", "SetLayerOffsetLayout", "HighlightLayerLayout", "SetAlphaLayerLayout",
        "GetAlphaLayerLayout", "GetLayerFromPointLayout", "AddPunchThruLayout", "DeletePunchThruLayout",
        "GetPunchThruCountLayout", "GetPunchThruLayout", "GetPunchThruOffsetLayout", "SetPunchThruOffsetLayout",
        "CreateDIBLayer", "CreateBitmapLayer", "CreateBitmapLayerBackground", "CreateBitmapLayerEx",
        "CreateZellview", "CreateZellviewLayer", "DeleteZellview", "AttachWindowZellview", "GetInputLayerZellview",
        "RefreshEnableZellview", "UpdateEnableZellview", "AlphaDisplayZellview", "BitmapEnableZellview",
        "NoScrollBarZellview", "SetFieldModeZellview", "SetZoomfactorZellview", "GetZoomfactorZellview",
        "SetOffsetZellview", "GetOffsetZellview", "GetMaxSizeZellview", "SetZellviewBackgroundID", "UpdateZellview",
        "UpdateAllZellviews", "ScrollZellview", "ScrollMessageZellview", "ScrollToPointZellview", "ToZellviewPoint",
        "FromZellviewPoint", "ToZellviewRect", "FromZellviewRect", "ToZellviewSize", "FromZellviewSize",
        "AddRectangleZellview", "EditRectangleZellview", "AttrRectangleZellview", "ColorRectangleZellview",
        "UpdateRectangleZellview", "AddSpriteZellview", "RefreshZellviewSprite", "ResizeAllSprites",
        "EditZellviewSprite", "AttrZellviewSprite", "DeleteZellviewSprite", "DisplayLayerHDC", "DisplayLayerHWND",
        "SetBackgroundBitmap", "SetBackgroundBitmapEx", "GetChrominanceZellview", "GetLuminanceZellview",
        "CreateZellscroll", "DeleteZellscroll", "AddLayerToZellscroll", "GetNumLayerZellscroll",
        "GetLayerFromPointZellscroll", "SelectLayerFromPointZellscroll", "UpdateZellscroll", "ScrollZellscroll",
        "GetNumFrameBuffers", "ParseFrameBufferParams", "DeleteFrameBufferParams", "EnableFrameBuffer",
        "EnableFrameBufferEx", "DisableFrameBuffer", "GetBoardCaps", "EnableRemoteControl", "DisableRemoteControl",
        "SDRCreateFrameBuffer", "SDRDeleteFrameBuffer",
    };
    for (const char *n : names) {
        INFO(n);
        CHECK(GetProcAddress(dll, n) != NULL);
    }
}
