// Pixel operations on layers: tiny layers with odd sizes and clipped
// windows, expected pixels worked out by hand.
#include <catch2/catch.hpp>
#include <cstdlib>
#include <vector>
#include "layer_fixture.h"
#include "compose.h"

using lf::LayerPtr;
using Px = std::vector<DWORD>;

namespace {

// Refresh and update handlers on a layer that record "r:name" / "u:name".
struct Watched {
    lf::NamedHandler refresh, update;
    Watched(Layer *l, const char *rname, const char *uname, lf::Recorder &rec)
    {
        refresh = {{lf::record_proc, NULL, NULL}, rname, &rec, 1};
        update = {{lf::record_proc, NULL, NULL}, uname, &rec, 1};
        l->refreshHandler = &refresh.h;
        l->updateHandler = &update.h;
    }
};

int g_storeCalls;
LONG g_storeResult;
LONG PIXAPI store_clear(Layer *) { ++g_storeCalls; return g_storeResult; }
LONG PIXAPI store_fill(Layer *, DWORD) { ++g_storeCalls; return g_storeResult; }
LONG PIXAPI store_copy(Layer *, Layer *) { ++g_storeCalls; return g_storeResult; }
const LayerStoreOps g_ops = {NULL, NULL, store_clear, store_fill, store_copy};

} // namespace

TEST_CASE("clear, fill and alpha over whole and clipped windows")
{
    LayerPtr l = lf::filled(3, 3, 0x11223344);
    LayerPtr c = lf::clip(l.get(), 1, 1, 5, 1);    // cut to 2x1 at (1,1)
    CHECK(SetLayer(c.get(), 0xFFABCDEF) == 1);
    CHECK(lf::pixels(l.get()) == Px{0x11223344, 0x11223344, 0x11223344, 0x11223344, 0xFFABCDEF, 0xFFABCDEF,
                                    0x11223344, 0x11223344, 0x11223344});
    CHECK(SetAlphaLayer(l.get(), 0x1FF) == 1);
    CHECK(lf::at(l.get(), 0, 0) == 0xFF223344);
    CHECK(SetAlphaLayer(c.get(), 0x00) == 1);
    CHECK(lf::at(l.get(), 2, 1) == 0x00ABCDEF);
    CHECK(lf::at(l.get(), 0, 1) == 0xFF223344);
    CHECK(ClearLayer(c.get()) == 1);
    CHECK(lf::at(l.get(), 1, 1) == 0);
    CHECK(lf::at(l.get(), 0, 1) == 0xFF223344);
    CHECK(ClearLayer(l.get()) == 1);
    CHECK(lf::pixels(l.get()) == Px(9, 0));

    LayerPtr one = lf::make(1, 1);
    CHECK(SetLayer(one.get(), 0x80808080) == 1);
    CHECK(lf::at(one.get(), 0, 0) == 0x80808080);

    CHECK(ClearLayer(NULL) == 0);
    CHECK(SetLayer(NULL, 1) == 0);
    LayerPtr outside = lf::clip(l.get(), 5, 5, 2, 2);
    CHECK(ClearLayer(outside.get()) == 0);
    CHECK(SetAlphaLayer(NULL, 1) == 1);
}

TEST_CASE("the pixel store's own clear, fill and copy come first")
{
    LayerPtr l = lf::filled(2, 1, 0x01010101), src = lf::filled(2, 1, 0x02020202);
    l->store = &g_ops;
    g_storeCalls = 0;
    g_storeResult = 1;
    CHECK(ClearLayer(l.get()) == 1);
    CHECK(SetLayer(l.get(), 7) == 1);
    CHECK(CopyLayer(l.get(), src.get()) == 1);
    CHECK(g_storeCalls == 3);
    CHECK(lf::at(l.get(), 0, 0) == 0x01010101);    // the store did the work
    g_storeResult = 0;                              // declined: the library's loop
    CHECK(CopyLayer(l.get(), src.get()) == 1);
    CHECK(g_storeCalls == 4);
    CHECK(lf::at(l.get(), 1, 0) == 0x02020202);
    l->store = NULL;
    src->store = &g_ops;                            // the source's store is asked too
    CHECK(CopyLayer(l.get(), src.get()) == 1);
    CHECK(g_storeCalls == 5);
}

TEST_CASE("single pixels: inside, at the edges and outside")
{
    LayerPtr l = lf::make(3, 2, {1, 2, 3, 4, 5, 6});
    struct Case { LONG x, y; DWORD get; LONG set; };
    const Case cases[] = {{0, 0, 1, 1}, {2, 1, 6, 1}, {3, 0, 0, 0}, {0, 2, 0, 0}, {-1, 0, 0, 0}, {0, -1, 0, 0}};
    for (const Case &c : cases) {
        INFO(c.x << "," << c.y);
        CHECK(GetPelInLayer(l.get(), c.x, c.y) == c.get);
    }
    lf::Recorder rec;
    Watched w(l.get(), "r", "u", rec);
    lf::Notify on;
    for (const Case &c : cases) CHECK(SetPelInLayer(l.get(), c.x, c.y, 9) == c.set);
    CHECK(rec.calls == std::vector<std::string>{"u", "u"});   // only the two writes notified
    rec.calls.clear();
    CHECK(GetPelInLayer(l.get(), 1, 1) == 5);
    CHECK(rec.calls == std::vector<std::string>{"r"});
    CHECK(GetPelInLayer(NULL, 0, 0) == 0);
    CHECK(SetPelInLayer(NULL, 0, 0, 1) == 0);
    l->refreshHandler = l->updateHandler = NULL;
}

TEST_CASE("copies over the overlap of two layers")
{
    LayerPtr dst = lf::filled(3, 2, 0xAAAAAAAA);
    LayerPtr src = lf::make(2, 3, {1, 2, 3, 4, 5, 6});
    CHECK(CopyLayer(dst.get(), src.get()) == 1);
    CHECK(lf::pixels(dst.get()) == Px{1, 2, 0xAAAAAAAA, 3, 4, 0xAAAAAAAA});

    LayerPtr d2 = lf::filled(2, 2, 0), s2 = lf::make(2, 1, {0x80FF0000, 0xFF00FF00});
    CHECK(CopyWithOpacityLayer(d2.get(), s2.get(), 128) == 1);
    CHECK(lf::pixels(d2.get()) == Px{0x40FF0000, 0x8000FF00, 0, 0});
    CHECK(CopyWithOpacityLayer(d2.get(), s2.get(), 0) == 1);
    CHECK(lf::at(d2.get(), 1, 0) == 0x0000FF00);

    CHECK(CopyLayer(NULL, src.get()) == 0);
    CHECK(CopyLayer(dst.get(), NULL) == 0);
    LayerPtr distant = lf::clip(src.get(), -9, -9, 10, 10);   // src pixels only at (9,9)+
    LayerPtr dclip = lf::clip(dst.get(), 0, 0, 3, 2);
    CHECK(CopyLayer(dclip.get(), distant.get()) == 1);         // no overlap: nothing
    CHECK(lf::at(dst.get(), 0, 0) == 1);
}

TEST_CASE("swap, flips and the notification order of two-layer operations")
{
    LayerPtr a = lf::make(3, 2, {1, 2, 3, 4, 5, 6}), b = lf::make(2, 2, {7, 8, 9, 10});
    lf::Recorder rec;
    Watched wa(a.get(), "r:a", "u:a", rec), wb(b.get(), "r:b", "u:b", rec);
    {
        lf::Notify on;
        CHECK(SwapLayer(a.get(), b.get()) == 1);
    }
    CHECK(rec.calls == std::vector<std::string>{"r:b", "r:a", "u:b", "u:a"});
    CHECK(lf::pixels(a.get()) == Px{7, 8, 3, 9, 10, 6});
    CHECK(lf::pixels(b.get()) == Px{1, 2, 4, 5});

    rec.calls.clear();
    {
        lf::Notify on;
        CHECK(FlipHorzLayer(a.get()) == 1);
        CHECK(FlipVertLayer(a.get()) == 1);
    }
    CHECK(lf::pixels(a.get()) == Px{6, 10, 9, 3, 8, 7});
    CHECK(rec.calls == std::vector<std::string>{"r:a", "u:a", "r:a", "u:a"});
    a->refreshHandler = a->updateHandler = b->refreshHandler = b->updateHandler = NULL;

    LayerPtr odd = lf::make(2, 3, {1, 2, 3, 4, 5, 6});
    FlipVertLayer(odd.get());
    CHECK(lf::pixels(odd.get()) == Px{5, 6, 3, 4, 1, 2});
    LayerPtr col = lf::make(1, 3, {1, 2, 3});
    lf::Recorder r2;
    Watched wc(col.get(), "r", "u", r2);
    {
        lf::Notify on;
        FlipHorzLayer(col.get());    // one pixel wide: unchanged, not updated
    }
    CHECK(lf::pixels(col.get()) == Px{1, 2, 3});
    CHECK(r2.calls == std::vector<std::string>{"r"});
    col->refreshHandler = col->updateHandler = NULL;
    CHECK(FlipHorzLayer(NULL) == 1);
    CHECK(SwapLayer(NULL, b.get()) == 1);
}

TEST_CASE("flattening onto black and onto the blue-dotted grid, and undoing it")
{
    LayerPtr src = lf::make(3, 1, {0x80FFFFFF, 0x00123456, 0xFF102030});
    LayerPtr dst = lf::make(3, 1);
    BlackBackground(dst.get(), src.get());
    CHECK(lf::pixels(dst.get()) == Px{0xFF808080, 0xFF000000, 0xFF102030});

    LayerPtr grid = lf::make(18, 17), empty = lf::make(18, 17);
    VMPBackground(grid.get(), empty.get());
    for (LONG y = 0; y < 17; ++y)
        for (LONG x = 0; x < 18; ++x) {
            bool dot = x % 16 == 0 && y % 16 == 0;
            REQUIRE(lf::at(grid.get(), x, y) == (dot ? 0xFF0000FFu : 0xFF000000u));
        }
    LayerPtr half = lf::filled(2, 1, 0x80FFFFFF), out = lf::make(2, 1);
    VMPBackground(out.get(), half.get());
    CHECK(lf::pixels(out.get()) == Px{0xFF8080FF, 0xFF808080});

    // Premultiplied colours come back to within the rounding of the flattening.
    for (DWORD a = 8; a < 256; a += 7)
        for (DWORD c = 0; c < 256; c += 17) {
            DWORD flat = (a << 24) | (pm_scale(c, a) << 16) | (pm_scale(c, a) << 8) | pm_scale(c, a);
            LayerPtr l = lf::make(1, 1, {flat});
            ReverseCompositLayer(l.get());
            DWORD back = lf::at(l.get(), 0, 0);
            REQUIRE((back >> 24) == a);
            REQUIRE(std::abs((int)(back & 0xFF) - (int)c) <= (int)(255 / a) + 1);
        }
    LayerPtr zero = lf::make(1, 1, {0x00000001});
    ReverseCompositLayer(zero.get());
    CHECK(lf::at(zero.get(), 0, 0) == 0x000000FF);
}

TEST_CASE("interlace, centre and shrink to alpha")
{
    LayerPtr dst = lf::filled(3, 5, 0xDD), even = lf::filled(3, 5, 0xEE), odd = lf::filled(2, 4, 0x0D);
    CHECK(InterlaceLayer(dst.get(), even.get(), odd.get()) == 1);
    CHECK(lf::pixels(dst.get()) == Px{0xEE, 0xEE, 0xDD, 0x0D, 0x0D, 0xDD, 0xEE, 0xEE, 0xDD, 0x0D, 0x0D, 0xDD,
                                      0xDD, 0xDD, 0xDD});

    struct Case { LONG dw, sw; Px expect; };
    const Case cases[] = {
        {7, 10, {2, 3, 4, 5, 6, 7, 8}},                       // source columns 1..7
        {10, 7, {0, 1, 2, 3, 4, 5, 6, 7, 0, 0}},              // placed at column 1 (floor(3/2))
        {4, 4, {1, 2, 3, 4}},
        {1, 4, {2}},
    };
    for (const Case &c : cases) {
        LayerPtr d = lf::make(c.dw, 1);
        Px s;
        for (LONG i = 0; i < c.sw; ++i) s.push_back((DWORD)i + 1);
        LayerPtr src = lf::make(c.sw, 1, s);
        CHECK(CenterLayer(d.get(), src.get()) == 1);
        CHECK(lf::pixels(d.get()) == c.expect);
        CHECK(d->firstChild == NULL);
    }
    // Vertically too: a 1x3 column into a 1x5 one lands on row 1.
    LayerPtr tall = lf::make(1, 5), col = lf::make(1, 3, {7, 8, 9});
    CenterLayer(tall.get(), col.get());
    CHECK(lf::pixels(tall.get()) == Px{0, 7, 8, 9, 0});
    CHECK(CenterLayer(NULL, col.get()) == 0);

    LayerPtr l = lf::make(5, 4);
    LayerPtr c = lf::clip(l.get(), 1, 0, 4, 4);
    CHECK(ClipToAlphaLayer(c.get()) == 1);                // nothing visible: unchanged
    CHECK((c->clip.left == 1 && c->clip.right == 5));
    SetPelInLayer(l.get(), 2, 1, 0x01000000);
    SetPelInLayer(l.get(), 3, 2, 0x02000000);
    CHECK(ClipToAlphaLayer(c.get()) == 1);
    CHECK((c->clip.left == 2 && c->clip.top == 1 && c->clip.right == 4 && c->clip.bottom == 3));
}

TEST_CASE("host channel buffers: sizes, channel order and round trip")
{
    LayerPtr l = lf::make(4, 3, {0x11AABBCC, 0x22DDEEFF, 0x33010203, 0x44040506,
                                 0x55070809, 0x660A0B0C, 0x770D0E0F, 0x88101112,
                                 0x99131415, 0xAA161718, 0xBB191A1B, 0xCC1C1D1E});
    LayerPtr c(CreateClippedLayer(l.get()));
    RECT r = {1, 1, 4, 3};    // 3 x 2 from (1,1)
    LONG rowBytes = 0;
    BYTE *buf = (BYTE *)HostCopyLayer(c.get(), NULL, &r, 0x0002, &rowBytes);
    REQUIRE(buf);
    CHECK(rowBytes == 12);                      // 9 rounded up
    CHECK(*(DWORD *)buf == 12 * 2 + 4);
    CHECK(std::vector<BYTE>(buf + 4, buf + 13) == std::vector<BYTE>{0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12});
    CHECK(buf[4 + 12] == 0x16);                  // second row starts after the padding

    // Green only: one byte a pixel; pasted back into another layer.
    BYTE *g = (BYTE *)HostCopyLayer(c.get(), NULL, &r, 0x0101, &rowBytes);
    REQUIRE(g);
    CHECK(rowBytes == 4);
    CHECK(std::vector<BYTE>(g + 4, g + 7) == std::vector<BYTE>{0x0B, 0x0E, 0x11});
    LayerPtr target = lf::filled(4, 3, 0xFF000000);
    LayerPtr tc(CreateClippedLayer(target.get()));
    CHECK(HostPasteLayer(tc.get(), g, &r, 0x0101, &rowBytes) == g);
    CHECK(lf::at(target.get(), 1, 1) == 0xFF000B00);
    CHECK(lf::at(target.get(), 3, 2) == 0xFF001D00);
    CHECK(lf::at(target.get(), 0, 0) == 0xFF000000);

    // A buffer that is too tiny is replaced by one of the right size.
    BYTE *tiny = (BYTE *)M32_alloc(8);
    *(DWORD *)tiny = 8;
    BYTE *big = (BYTE *)HostCopyLayer(c.get(), tiny, &r, 0x0002, &rowBytes);
    REQUIRE(big);
    CHECK(*(DWORD *)big == 28);
    // A rectangle reaching past the layer fills only the part that exists.
    RECT past = {3, 2, 6, 4};
    BYTE *p = (BYTE *)HostCopyLayer(c.get(), NULL, &past, 0x0000, &rowBytes);
    REQUIRE(p);
    CHECK(rowBytes == 4);
    CHECK(std::vector<BYTE>(p + 4, p + 12) == std::vector<BYTE>{0x1C, 0, 0, 0, 0, 0, 0, 0});
    // Unknown format: a buffer, nothing copied.
    BYTE *u = (BYTE *)HostCopyLayer(c.get(), NULL, &r, 0x0200, &rowBytes);
    CHECK(u != NULL);
    CHECK(HostCopyLayer(NULL, NULL, &r, 0x0002, &rowBytes) == NULL);
    CHECK(HostCopyLayer(c.get(), NULL, NULL, 0x0002, &rowBytes) == NULL);
    for (BYTE *b : {buf, g, big, p, u}) M32_free(b);
}

TEST_CASE("TestMMXLayer blends neighbouring pixels in pairs")
{
    LayerPtr a = lf::make(3, 1, {0x00000000, 0xFFFFFFFF, 0x10203040}), b = lf::make(3, 1);
    CHECK(TestMMXLayer(a.get(), b.get(), 64) == 1);
    CHECK(lf::pixels(b.get()) == Px{0xBFBFBFBF, 0x3F3F3F3F, 0x10203040});
}
