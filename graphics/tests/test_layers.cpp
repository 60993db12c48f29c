// Layer records: creation, reference counts, clipped families, effective
// rectangles, accesses of one and two layers, virtual layers with their
// actual partners, and refresh/update notification.
#include <catch2/catch.hpp>
#include <vector>
#include "layer_fixture.h"
#include "layer.h"

using lf::LayerPtr;

namespace {

int g_destroyed;
LONG PIXAPI count_destroy(Layer *, Layer *other) { ++g_destroyed; return other == NULL; }

int g_begins, g_ends;
Layer *g_lastEnded;
LONG PIXAPI on_begin(Layer *, Layer *other) { ++g_begins; return other == NULL; }
LONG PIXAPI on_end(Layer *, Layer *accessed) { ++g_ends; g_lastEnded = accessed; return 1; }

bool rect_is(const RECT &r, LONG l, LONG t, LONG rr, LONG b)
{
    return r.left == l && r.top == t && r.right == rr && r.bottom == b;
}

} // namespace

TEST_CASE("CreateLayer refuses empty sizes and makes zeroed plain layers")
{
    lf::start();
    const LONG bad[][3] = {{0, 3, 1}, {2, 0, 1}, {2, 3, 0}, {-1, 3, 1}, {2, -5, 1}, {2, 3, -1}, {0x40000000, 0x40000000, 1}};
    for (auto &b : bad) CHECK(CreateLayer(b[0], b[1], b[2]) == NULL);
    CHECK(CreateCompatibleLayer(NULL, 0, 4, 16) == NULL);

    Layer *l = CreateLayer(2, 3, 1);
    REQUIRE(l);
    CHECK(l->pitch == 8);
    CHECK(l->width == 2);
    CHECK(l->height == 3);
    CHECK(l->kind == (LAYER_KIND_PLAIN | LAYER_OWNS_PIXELS));
    CHECK(l->root == l);
    CHECK(l->refCount == 1);
    CHECK(rect_is(l->position, 0, 0, 2, 3));
    CHECK(lf::pixels(l) == std::vector<DWORD>(6, 0));
    CHECK(DeleteLayer(l) == 1);

    Layer *v = CreateVirtualLayer();
    REQUIRE(v);
    CHECK(v->kind == LAYER_KIND_VIRTUAL);
    CHECK(v->pixels == NULL);
    CHECK(rect_is(v->position, 0, 0, 2147483647, 2147483647));
    CHECK(DeleteLayer(v) == 1);
}

TEST_CASE("reference counting: two owners survive one DeleteLayer")
{
    lf::start();
    g_destroyed = 0;
    Layer *l = CreateLayer(3, 1, 1);
    l->destroy = count_destroy;
    CHECK(AddRefCountLayer(l) == 1);
    CHECK(DeleteLayer(l) == 0);
    CHECK(g_destroyed == 0);
    CHECK(SetPelInLayer(l, 2, 0, 0xFF010203) == 1);   // still usable
    CHECK(GetPelInLayer(l, 2, 0) == 0xFF010203);
    CHECK(DeleteLayer(l) == 1);
    CHECK(g_destroyed == 1);
    CHECK(DeleteLayer(NULL) == 0);
    CHECK(AddRefCountLayer(NULL) == 0);
}

TEST_CASE("clipped layers hold their root alive and forward to its pixels")
{
    lf::start();
    g_destroyed = 0;
    Layer *root = CreateLayer(4, 4, 1);
    root->destroy = count_destroy;
    Layer *c = CreateClippedLayer(root);
    REQUIRE(c);
    CHECK(root->refCount == 2);
    CHECK(c->kind == LAYER_KIND_CLIPPED);
    CHECK(root->firstChild == c);
    CHECK(rect_is(c->clip, 0, 0, 4, 4));
    CHECK(AddRefCountLayer(c) == 1);
    CHECK(root->refCount == 3);
    CHECK(DeleteLayer(c) == 0);
    CHECK(root->refCount == 2);

    ClipLayerXYWH(c, 1, 2, 2, 2);
    CHECK(DeleteLayer(root) == 0);            // the child still holds it
    CHECK(g_destroyed == 0);
    CHECK(SetPelInLayer(c, 1, 1, 0xFFABCDEF) == 1);
    CHECK(lf::at(root, 2, 3) == 0xFFABCDEF);  // written through to the root
    CHECK(DeleteLayer(c) == 1);
    CHECK(g_destroyed == 1);                  // the last reference went with the child
}

TEST_CASE("effective rectangles of clipped layers")
{
    lf::start();
    LayerPtr parent = lf::make(10, 8);
    struct Case { LONG x, y, w, h; RECT eff, vis; bool accessible; };
    const Case cases[] = {
        {2, 3, 4, 2, {2, 3, 6, 5}, {0, 0, 4, 2}, true},
        {-2, -1, 5, 4, {0, 0, 3, 3}, {2, 1, 5, 4}, true},       // cut to the parent
        {8, 6, 5, 5, {8, 6, 10, 8}, {0, 0, 2, 2}, true},
        {12, 0, 3, 3, {12, 0, 10, 3}, {0, 0, -2, 3}, false},   // wholly outside
        {0, 0, 0, 5, {0, 0, 0, 5}, {0, 0, 0, 5}, false},       // zero width
    };
    for (const Case &cs : cases) {
        LayerPtr c = lf::clip(parent.get(), cs.x, cs.y, cs.w, cs.h);
        layer_compute_effective(c.get());
        INFO("clip " << cs.x << "," << cs.y << " " << cs.w << "x" << cs.h);
        CHECK(rect_is(c->effective, cs.eff.left, cs.eff.top, cs.eff.right, cs.eff.bottom));
        CHECK(rect_is(c->visible, cs.vis.left, cs.vis.top, cs.vis.right, cs.vis.bottom));
        CHECK(c->width == cs.eff.right - cs.eff.left);
        LayerAccess a;
        LONG ok = BeginLayerAccess(&a, c.get(), NULL);
        CHECK(ok == (cs.accessible ? 1 : 0));
        if (ok) EndLayerAccess(&a);
    }
}

TEST_CASE("children move with their parent and are cut by every ancestor")
{
    lf::start();
    LayerPtr root = lf::make(20, 20);
    LayerPtr mid = lf::clip(root.get(), 2, 2, 10, 10);
    LayerPtr leaf = lf::clip(mid.get(), 5, 5, 10, 10);   // runs past mid
    layer_compute_effective(leaf.get());
    CHECK(rect_is(leaf->position, 7, 7, 17, 17));
    CHECK(rect_is(leaf->effective, 7, 7, 12, 12));
    ClipLayerXYWH(mid.get(), 4, 1, 10, 10);
    layer_compute_effective(leaf.get());
    CHECK(rect_is(leaf->position, 9, 6, 19, 16));
    CHECK(rect_is(leaf->effective, 9, 6, 14, 11));

    RECT u;
    CHECK(GetUnionRectRef(mid.get(), leaf.get(), &u) == 1);
    CHECK(rect_is(u, 5, 5, 10, 10));
    LayerPtr other = lf::make(5, 5);
    CHECK(GetUnionRectRef(mid.get(), other.get(), &u) == 0);   // different roots
    CHECK(GetUnionRectRef(mid.get(), NULL, &u) == 0);

    RECT r = {1, 1, 2, 2};
    CHECK(ClipLayer(root.get(), &r) == 0);          // not clipped
    CHECK(ClipLayerXYWH(root.get(), 1, 1, 1, 1) == 1);
    CHECK(ClipLayer(mid.get(), NULL) == 0);
}

TEST_CASE("a clipped parent deleted before its children leaves them usable")
{
    lf::start();
    LayerPtr root = lf::make(8, 8);
    Layer *mid = CreateClippedLayer(root.get());
    ClipLayerXYWH(mid, 2, 2, 4, 4);
    LayerPtr leaf = lf::clip(mid, 1, 1, 2, 2);
    CHECK(DeleteLayer(mid) == 1);
    CHECK(leaf->parent == root.get());
    CHECK(rect_is(leaf->position, 3, 3, 5, 5));
    CHECK(SetPelInLayer(leaf.get(), 0, 0, 0xFF00FF00) == 1);
    CHECK(lf::at(root.get(), 3, 3) == 0xFF00FF00);
}

TEST_CASE("accesses of one and two layers")
{
    lf::start();
    LayerPtr a = lf::make(6, 5), b = lf::make(3, 2);
    SECTION("one clipped layer: window, base and pointer in root memory") {
        LayerPtr c = lf::clip(a.get(), 1, 2, 3, 2);
        LayerAccess acc;
        REQUIRE(BeginLayerAccess(&acc, c.get(), NULL) == 1);
        CHECK(acc.width == 3);
        CHECK(acc.height == 2);
        CHECK(acc.first == c.get());                 // the caller's own clipped layer
        CHECK(acc.firstBase == a->pixels + 2 * 24 + 4);
        CHECK(acc.firstPtr == acc.firstBase);
        CHECK(acc.firstPitch == 24);
        CHECK(acc.second == NULL);
        CHECK(acc.secondPtr == NULL);
        CHECK(rect_is(acc.secondVisible, 0, 0, 3, 2));
        CHECK(EndLayerAccess(&acc) == 1);
    }
    SECTION("a plain layer gets a temporary clipped layer that ends with the access") {
        LayerAccess acc;
        REQUIRE(BeginLayerAccess(&acc, a.get(), NULL) == 1);
        CHECK(acc.first != a.get());
        CHECK(acc.first->kind == LAYER_KIND_TEMPORARY);
        CHECK(a->refCount == 2);
        CHECK(EndLayerAccess(&acc) == 1);
        CHECK(acc.first == a.get());
        CHECK(a->refCount == 1);
        CHECK(a->firstChild == NULL);
    }
    SECTION("two overlapping layers share the window of their overlap") {
        LayerAccess acc;
        REQUIRE(BeginLayerAccess(&acc, a.get(), b.get()) == 1);
        CHECK(acc.width == 3);
        CHECK(acc.height == 2);
        CHECK(acc.firstPtr == a->pixels);
        CHECK(acc.secondPtr == b->pixels);
        CHECK(acc.secondPitch == 12);
        CHECK(EndLayerAccess(&acc) == 1);
        CHECK(a->refCount == 1);
        CHECK(b->refCount == 1);
    }
    SECTION("a window starting inside a clipped first layer offsets both pointers") {
        LayerPtr c = lf::clip(a.get(), -1, -1, 4, 4);     // visible from (1,1) of its own origin
        LayerAccess acc;
        REQUIRE(BeginLayerAccess(&acc, c.get(), b.get()) == 1);
        CHECK(rect_is(acc.window, 1, 1, 3, 2));
        CHECK(acc.firstPtr == a->pixels);                   // root (0,0) is c's (1,1)
        CHECK(acc.secondPtr == b->pixels + 12 + 4);
        EndLayerAccess(&acc);
    }
    SECTION("a second layer that does not overlap leaves a one-layer window") {
        LayerPtr distant = lf::clip(b.get(), -5, -5, 8, 8);     // b's pixels sit at (5..8, 5..7) of it
        LayerPtr c = lf::clip(a.get(), 0, 0, 4, 4);
        LayerAccess acc;
        REQUIRE(BeginLayerAccess(&acc, c.get(), distant.get()) == 1);
        CHECK(acc.width == 4);
        CHECK(acc.height == 4);
        CHECK(acc.secondBase == NULL);
        CHECK(acc.secondPtr == NULL);
        CHECK(rect_is(acc.secondVisible, 0, 0, 4, 4));
        CHECK(EndLayerAccess(&acc) == 1);
    }
    SECTION("bad arguments fail without side effects") {
        LayerAccess acc;
        CHECK(BeginLayerAccess(NULL, a.get(), NULL) == 0);
        CHECK(BeginLayerAccess(&acc, NULL, NULL) == 0);
        CHECK(EndLayerAccess(NULL) == 0);
        LayerPtr outside = lf::clip(a.get(), 10, 10, 2, 2);
        CHECK(BeginLayerAccess(&acc, outside.get(), NULL) == 0);
        CHECK(a->refCount == 2);                  // only the clipped child's reference
        CHECK(outside->firstChild == NULL);       // no temporary left behind
        CHECK(a->accessCount == 0);
    }
}

TEST_CASE("begin and end callbacks run once per outermost access")
{
    lf::start();
    LayerPtr a = lf::make(4, 4);
    a->beginAccess = on_begin;
    a->endAccess = on_end;
    g_begins = g_ends = 0;
    LayerAccess outer, inner;
    REQUIRE(BeginLayerAccess(&outer, a.get(), NULL));
    REQUIRE(BeginLayerAccess(&inner, a.get(), a.get()));
    CHECK(g_begins == 1);
    CHECK(a->accessCount == 3);
    CHECK(EndLayerAccess(&inner) == 1);
    CHECK(g_ends == 0);
    CHECK(EndLayerAccess(&outer) == 1);
    CHECK(g_ends == 1);
    CHECK(g_lastEnded == a.get());
    CHECK(a->accessCount == 0);

    // A failed access pairs its callbacks too.
    LayerPtr outside = lf::clip(a.get(), 9, 9, 1, 1);
    g_begins = g_ends = 0;
    CHECK(BeginLayerAccess(&outer, outside.get(), NULL) == 0);
    CHECK(g_begins == 1);
    CHECK(g_ends == 1);
    CHECK(a->accessCount == 0);
}

TEST_CASE("an access through a virtual layer runs the callbacks of both roots once")
{
    lf::start();
    static int vb, ve, ab, ae;
    struct CB {
        static LONG PIXAPI vbegin(Layer *, Layer *) { ++vb; return 1; }
        static LONG PIXAPI vend(Layer *, Layer *) { ++ve; return 1; }
        static LONG PIXAPI abegin(Layer *, Layer *) { ++ab; return 1; }
        static LONG PIXAPI aend(Layer *, Layer *) { ++ae; return 1; }
    };
    vb = ve = ab = ae = 0;
    Layer *v = CreateVirtualLayer();
    LayerPtr actual = lf::filled(4, 4, 0xFF0000FF);
    v->beginAccess = CB::vbegin; v->endAccess = CB::vend;
    actual->beginAccess = CB::abegin; actual->endAccess = CB::aend;
    REQUIRE(AttachActualLayer(v, actual.get(), 1));
    LayerPtr vc = lf::clip(v, 0, 0, 4, 4);
    LayerPtr dst = lf::make(4, 4);
    CHECK(CopyLayer(dst.get(), vc.get()) == 1);
    CHECK(lf::at(dst.get(), 3, 3) == 0xFF0000FF);
    CHECK((vb == 1 && ve == 1 && ab == 1 && ae == 1));
    CHECK(v->accessCount == 0);
    CHECK(actual->accessCount == 0);
    // Nested: the outer access holds both; the inner adds no callbacks.
    LayerAccess outer;
    REQUIRE(BeginLayerAccess(&outer, vc.get(), NULL));
    CompositOnTopLayer(vc.get(), dst.get());
    CHECK((vb == 2 && ab == 2 && ve == 1 && ae == 1));
    CHECK(EndLayerAccess(&outer) == 1);
    CHECK((ve == 2 && ae == 2));
    // A failed access through the virtual layer pairs them too.
    LayerPtr off = lf::clip(v, 50, 50, 2, 2);
    LayerAccess acc;
    CHECK(BeginLayerAccess(&acc, off.get(), NULL) == 0);
    CHECK((vb == 3 && ve == 3 && ab == 3 && ae == 3));
    vc.reset();
    off.reset();
    DeleteLayer(v);
}

TEST_CASE("virtual layers reach the pixels of their attached actual layer")
{
    lf::start();
    Layer *v = CreateVirtualLayer();
    LayerPtr actual = lf::make(4, 4);
    LayerPtr vc = lf::clip(v, 11, 21, 2, 2);
    LayerAccess acc;
    CHECK(BeginLayerAccess(&acc, v, NULL) == 0);          // no partner yet
    CHECK(BeginLayerAccess(&acc, vc.get(), NULL) == 0);
    CHECK(v->accessCount == 0);

    CHECK(AttachActualLayer(v, actual.get(), 1) == 1);
    CHECK(v->partner == actual.get());
    CHECK(actual->partner == v);
    v->partnerX = 10;
    v->partnerY = 20;
    REQUIRE(BeginLayerAccess(&acc, vc.get(), NULL) == 1);
    CHECK(acc.width == 2);
    CHECK(acc.height == 2);
    CHECK(acc.firstPtr == actual->pixels + 1 * 16 + 1 * 4);
    CHECK(EndLayerAccess(&acc) == 1);
    CHECK(SetPelInLayer(vc.get(), 1, 1, 0xFF112233) == 1);
    CHECK(lf::at(actual.get(), 2, 2) == 0xFF112233);

    // Partly past the actual layer: cut to it.
    LayerPtr edge = lf::clip(v, 13, 23, 5, 5);
    REQUIRE(BeginLayerAccess(&acc, edge.get(), NULL) == 1);
    CHECK(acc.width == 1);
    CHECK(acc.height == 1);
    CHECK(acc.firstPtr == actual->pixels + 3 * 16 + 3 * 4);
    EndLayerAccess(&acc);

    CHECK(AttachActualLayer(v, actual.get(), 1) == 1);     // re-attach replaces cleanly
    CHECK(AttachActualLayer(actual.get(), v, 1) == 0);     // wrong way round
    CHECK(AttachActualLayer(NULL, actual.get(), 1) == 0);
    CHECK(DetachActualLayer(v) == 1);
    CHECK(v->refreshHandler == NULL);
    CHECK(actual->updateHandler == NULL);
    CHECK(DetachActualLayer(v) == 0);
    CHECK(DetachActualLayer(actual.get()) == 0);
    CHECK(BeginLayerAccess(&acc, vc.get(), NULL) == 0);

    CHECK(AttachActualLayer(v, actual.get(), 0) == 1);
    CHECK(v->updateHandler != NULL);
    CHECK(actual->refreshHandler != NULL);
    vc.reset();
    edge.reset();
    CHECK(DeleteLayer(v) == 1);                            // detaches its partner
    CHECK(actual->partner == NULL);
    CHECK(actual->refreshHandler == NULL);
}

TEST_CASE("refresh and update handlers: per-thread switches, nearest handler only")
{
    lf::start();
    LayerPtr root = lf::make(8, 8);
    LayerPtr mid = lf::clip(root.get(), 1, 1, 6, 6);
    LayerPtr leaf = lf::clip(mid.get(), 1, 1, 2, 2);
    lf::Recorder rec;
    lf::NamedHandler rootH = {{lf::record_proc, NULL, NULL}, "root", &rec, 1};
    lf::NamedHandler midH = {{lf::record_proc, NULL, NULL}, "mid", &rec, 1};
    lf::NamedHandler updH = {{lf::record_proc, NULL, NULL}, "update", &rec, 0};
    root->refreshHandler = &rootH.h;
    mid->refreshHandler = &midH.h;
    root->updateHandler = &updH.h;

    CHECK(RefreshLayer(leaf.get()) == 0);      // switch off: nothing called
    CHECK(rec.calls.empty());
    {
        lf::Notify on;
        CHECK(RefreshLayer(leaf.get()) == 1);
        CHECK(rec.calls == std::vector<std::string>{"mid"});
        CHECK(rec.layers[0] == leaf.get());
        CHECK(UpdateLayer(leaf.get()) == 0);   // the handler said no
        CHECK(rec.calls.back() == "update");
        mid->refreshHandler = NULL;
        CHECK(RefreshLayer(leaf.get()) == 1);
        CHECK(rec.calls.back() == "root");
        rootH.h.proc = NULL;                   // a handler without function accepts
        size_t n = rec.calls.size();
        CHECK(RefreshLayer(leaf.get()) == 1);
        CHECK(rec.calls.size() == n);
        rootH.h.proc = lf::record_proc;
        CHECK(RefreshLayer(NULL) == 0);
    }
    rec.calls.clear();
    CHECK(RefreshLayerEx(leaf.get()) == 1);
    CHECK(UpdateLayerEx(leaf.get()) == 0);
    CHECK(rec.calls == std::vector<std::string>{"root", "update"});
    CHECK(RefreshLayer(leaf.get()) == 0);      // both off afterwards
    CHECK(UpdateLayer(leaf.get()) == 0);

    // The switches belong to the thread.
    lf::Notify on;
    struct Probe { static DWORD WINAPI run(void *p) { return (DWORD)RefreshLayer((Layer *)p); } };
    HANDLE t = CreateThread(NULL, 0, Probe::run, leaf.get(), 0, NULL);
    REQUIRE(t);
    WaitForSingleObject(t, 5000);
    DWORD code = 99;
    GetExitCodeThread(t, &code);
    CloseHandle(t);
    CHECK(code == 0);
    root->refreshHandler = root->updateHandler = NULL;
}

TEST_CASE("attached partners forward notifications, and the ring between them stops")
{
    lf::start();
    Layer *v = CreateVirtualLayer();
    LayerPtr actual = lf::make(10, 10);
    lf::Recorder rec;
    // Handlers the core may free when it replaces them are heap blocks.
    lf::NamedHandler *seen = (lf::NamedHandler *)M32_alloc(sizeof(lf::NamedHandler));
    *seen = {{lf::record_proc, NULL, NULL}, "actual refresh", &rec, 1};
    REQUIRE(AttachActualLayer(v, actual.get(), 1) == 1);
    actual->refreshHandler = &seen->h;
    v->partnerX = 100;
    v->partnerY = 50;
    LayerPtr vc = lf::clip(v, 103, 52, 4, 3);
    {
        lf::Notify on;
        CHECK(RefreshLayer(vc.get()) == 1);
    }
    REQUIRE(rec.calls.size() == 1);
    // The actual side was notified for the same place in its own coordinates.
    CHECK(rect_is(rec.positions[0], 3, 2, 7, 5));
    CHECK(actual->firstChild == NULL);        // the forwarding layer is gone
    actual->refreshHandler = NULL;
    M32_free(seen);
    vc.reset();
    DeleteLayer(v);
}

TEST_CASE("coverage runs of two spans and rectangle scaling")
{
    struct Case { LONG s1, e1, s2, e2, mask; std::vector<LONG> runs; };
    const Case cases[] = {
        {0, 4, 2, 6, 3, {2, 1, 2, 3, 2, 2, 0, 0}},
        {0, 2, 5, 6, 3, {2, 1, 3, 0, 1, 2, 0, 0}},     // gap between disjoint spans
        {1, 3, 1, 3, 3, {2, 3, 0, 0}},
        {0, 4, 2, 6, 1, {4, 1, 0, 0}},                 // second absent on this row
        {0, 4, 2, 6, 2, {4, 2, 0, 0}},
        {0, 4, 2, 6, 0, {0, 0}},
        {3, 9, 0, 5, 3, {3, 2, 2, 3, 4, 1, 0, 0}},
    };
    for (const Case &c : cases) {
        LONG out[16];
        LONG n = layer_overlap_runs(c.s1, c.e1, c.s2, c.e2, c.mask, out);
        CHECK(std::vector<LONG>(out, out + 2 * n + 2) == c.runs);
    }
    struct S { RECT in; LONG mx, dx, my, dy; RECT out; LONG ok; };
    const S scales[] = {
        {{1, 1, 3, 3}, 1, 2, 1, 2, {0, 0, 2, 2}, 1},
        {{3, 5, 7, 9}, 2, 3, 3, 4, {2, 3, 5, 7}, 1},
        {{0, 0, 10, 10}, 0, 1, 1, 1, {0, 0, 10, 10}, 0},
    };
    for (const S &s : scales) {
        RECT r = s.in;
        CHECK(layer_scale_rect(&r, s.mx, s.dx, s.my, s.dy) == s.ok);
        CHECK(rect_is(r, s.out.left, s.out.top, s.out.right, s.out.bottom));
    }
    CHECK(layer_scale_rect(NULL, 1, 1, 1, 1) == 0);
}

TEST_CASE("overlap window of two accesses on one destination")
{
    lf::start();
    LayerPtr dst = lf::make(6, 4), a = lf::make(4, 4), b = lf::make(6, 2);
    LayerPtr bc = lf::clip(b.get(), -2, -1, 8, 3);    // b's pixels at (2..7, 1..2) of its own origin
    LayerAccess x, y;
    REQUIRE(BeginLayerAccess(&x, dst.get(), a.get()));
    REQUIRE(BeginLayerAccess(&y, dst.get(), bc.get()));
    LONG w = 0, h = 0;
    BYTE *p1 = NULL, *p2 = NULL, *p3 = NULL;
    CHECK(layer_overlap_window(&x, &y, &w, &h, &p1, &p2, &p3) == 1);
    CHECK((w == 2 && h == 2));                        // columns 2-3, rows 1-2
    CHECK(p1 == dst->pixels + 1 * 24 + 2 * 4);
    CHECK(p2 == a->pixels + 1 * 16 + 2 * 4);
    CHECK(p3 == b->pixels);
    EndLayerAccess(&y);
    LayerPtr far2 = lf::clip(b.get(), -5, 0, 6, 2);   // only column 5 of its origin
    REQUIRE(BeginLayerAccess(&y, dst.get(), far2.get()));
    CHECK(layer_overlap_window(&x, &y, &w, &h, &p1, &p2, &p3) == 0);   // columns 0-3 and 5 do not meet
    EndLayerAccess(&y);
    EndLayerAccess(&x);
}

TEST_CASE("ClipToAlphaLayerEx shrinks a new clipped layer to the visible pixels")
{
    LayerPtr l = lf::make(6, 5);
    SetPelInLayer(l.get(), 2, 1, 0x01000000);
    SetPelInLayer(l.get(), 4, 3, 0xFF000000);
    LONG x = -1, y = -1, w = -1, h = -1;
    LayerPtr c(ClipToAlphaLayerEx(l.get(), &x, &y, &w, &h));
    REQUIRE(c);
    CHECK((x == 2 && y == 1 && w == 3 && h == 3));
    CHECK(GetPelInLayer(c.get(), 0, 0) == 0x01000000);
    LayerPtr empty = lf::make(3, 3);
    LayerPtr c2(ClipToAlphaLayerEx(empty.get(), &x, &y, NULL, NULL));
    REQUIRE(c2);
    CHECK((x == 0 && y == 0));
    CHECK(rect_is(c2->clip, 0, 0, 3, 3));
    CHECK(ClipToAlphaLayerEx(NULL, &x, &y, &w, &h) == NULL);
}
