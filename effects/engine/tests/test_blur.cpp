// The blur kernel on real layers: the coefficients' unit gain, growth of
// the layer with the image centred, spreading and symmetry, alpha
// weighting, the small-sigma floor and missing inputs.
#include <catch2/catch.hpp>

#include <cmath>
#include <cstring>

#include "fxblur.h"
#include "pixmoor.h"

namespace {

struct Core {
    Core()
    {
        g_fxGraphics.PixmoorAreYouThere = nullptr;
        g_fxGraphics.AddRefCountLayer = AddRefCountLayer;
        g_fxGraphics.DeleteLayer = DeleteLayer;
        g_fxGraphics.CreateLayer = CreateLayer;
        g_fxGraphics.CreateClippedLayer = CreateClippedLayer;
        g_fxGraphics.ClipLayerXYWH = ClipLayerXYWH;
        g_fxGraphics.CopyLayer = CopyLayer;
        g_fxGraphics.BeginLayerAccess = BeginLayerAccess;
        g_fxGraphics.EndLayerAccess = EndLayerAccess;
    }
    ~Core() { g_fxGraphics = {}; }
};

Layer *Filled(int w, int h, DWORD pixel)
{
    Layer *l = CreateLayer(w, h, 1);
    REQUIRE(l);
    SetLayer(l, pixel);
    return l;
}

int Alpha(Layer *l, int x, int y)
{
    return int(GetPelInLayer(l, x, y) >> 24);
}

} // namespace

TEST_CASE("Both passes together have unit gain", "[blur]")
{
    for (double s : { 0.5, 1.0, 2.0, 5.0, 20.0 }) {
        double n[5], m[5], d[5], dc[5], b[5], bm[5];
        GaussCoefficients(n, m, d, dc, b, bm, s);
        double gain = (n[0] + n[1] + n[2] + n[3] + m[1] + m[2] + m[3] + m[4]) / (1 + d[1] + d[2] + d[3] + d[4]);
        INFO("sigma " << s);
        // The published constants fit the Gaussian to within a few per cent.
        CHECK(gain == Approx(1.0).epsilon(0.02));
        for (int i = 1; i <= 4; ++i) {
            CHECK(m[i] == Approx(n[i] - n[0] * d[i]));
            CHECK(dc[i] == d[i]);
        }
    }
}

TEST_CASE("The layer grows by twice the rounded sigma on each side, image centred", "[blur]")
{
    Core core;
    Layer *l = Filled(10, 10, 0xFF204080);
    REQUIRE(BlurLayer(&l, 2, 2) == 1);
    CHECK(l->width == 18);
    CHECK(l->height == 18);
    // The middle of the square stays nearly opaque (a 10-pixel square at
    // sigma 2 keeps about 0.988 squared of its weight there) and keeps its
    // colour; the edge softens symmetrically and spreads into the border.
    CHECK(Alpha(l, 9, 9) >= 245);
    CHECK((GetPelInLayer(l, 9, 9) & 0xFFFFFF) == 0x204080u);
    CHECK(Alpha(l, 4, 9) > 60);
    CHECK(Alpha(l, 4, 9) < 200);
    CHECK(Alpha(l, 1, 9) > 0);
    CHECK(Alpha(l, 1, 9) < Alpha(l, 4, 9));
    for (int k = 0; k < 9; ++k) {
        CHECK(Alpha(l, k, 9) == Alpha(l, 17 - k, 9));
        CHECK(Alpha(l, 9, k) == Alpha(l, 9, 17 - k));
    }
    // Colour is weighted by alpha: the soft edge keeps the square's colour.
    CHECK((GetPelInLayer(l, 3, 9) & 0xFFFFFF) == 0x204080u);
    DeleteLayer(l);
}

TEST_CASE("Sigma below 0.5 blurs like 0.5", "[blur]")
{
    Core core;
    Layer *a = Filled(6, 6, 0xFFFFFFFF), *b = Filled(6, 6, 0xFFFFFFFF);
    REQUIRE(BlurLayer(&a, 0.2, 0.2) == 1);
    REQUIRE(BlurLayer(&b, 0.5, 0.5) == 1);
    REQUIRE(a->width == b->width);
    CHECK(a->width == 10);   // border 2 x trunc(0.5 + 0.5)
    for (int y = 0; y < a->height; ++y)
        for (int x = 0; x < a->width; ++x)
            CHECK(GetPelInLayer(a, x, y) == GetPelInLayer(b, x, y));
    DeleteLayer(a);
    DeleteLayer(b);
}

TEST_CASE("A transparent layer stays transparent with its colour bytes", "[blur]")
{
    Core core;
    Layer *l = Filled(8, 8, 0x00FF0000);
    REQUIRE(BlurLayer(&l, 1.5, 0) == 1);
    CHECK(l->width == 16);   // 2 x trunc(1.5 + 0.5) on each side
    CHECK(l->height == 8);
    CHECK(GetPelInLayer(l, 8, 4) == 0x00FF0000u);
    CHECK(GetPelInLayer(l, 0, 4) == 0u);
    DeleteLayer(l);
}

TEST_CASE("A zero sigma leaves its direction alone", "[blur]")
{
    Core core;
    Layer *l = Filled(6, 6, 0xFF336699);
    REQUIRE(BlurLayer(&l, 0, 2) == 1);
    CHECK(l->width == 6);   // no border across, 4 above and below
    CHECK(l->height == 14);
    // Rows are not filtered: every column is blurred alike, and the
    // colour stays where alpha is.
    for (int x = 0; x < 6; ++x) {
        CHECK(GetPelInLayer(l, x, 7) == GetPelInLayer(l, 0, 7));
        CHECK(Alpha(l, x, 1) == Alpha(l, 0, 1));
    }
    CHECK(Alpha(l, 0, 7) > 200);
    CHECK((GetPelInLayer(l, 0, 2) & 0xFFFFFF) == 0x336699u);
    DeleteLayer(l);
}

TEST_CASE("Without a layer or a bound core nothing happens", "[blur]")
{
    Layer *l = nullptr;
    CHECK(BlurLayer(&l, 2, 2) == 0);
    CHECK(BlurLayer(nullptr, 2, 2) == 0);
    Layer *real = Filled(4, 4, 0xFFFFFFFF);
    Layer *before = real;
    CHECK(BlurLayer(&real, 2, 2) == 0);   // no graphics core bound
    CHECK(real == before);
    CHECK(real->width == 4);
    DeleteLayer(real);
}
