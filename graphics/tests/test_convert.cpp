// Pixel depth, colour-space and gamma conversions: packed formats by channel
// masks, round trips, gamma curves, 24-bit bitmap rows, YCbCr / YUV / grey
// layers, 4:2:2 buffers, alpha combination, thumbnails and bad arguments.
#include <catch2/catch.hpp>

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <functional>
#include <vector>

#include "compose.h"
#include "convert.h"
#include "image_fixture.h"

using namespace fixture;

namespace {

const PelFormat k565 = {2, 0xF800, 0x07E0, 0x001F};
const PelFormat k555 = {2, 0x7C00, 0x03E0, 0x001F};
const PelFormat k24 = {3, 0xFF0000, 0x00FF00, 0x0000FF};
const PelFormat k32 = {4, 0xFF0000, 0x00FF00, 0x0000FF};
const PelFormat kRGBA = {4, 0x000000FF, 0x0000FF00, 0x00FF0000};   // red in the lowest byte

// Independent scale(x, y): x * y / 255 in 8.8 fixed point, rounded, then cut.
DWORD scale_ref(DWORD x, DWORD y) { return ((x * y * 256 + 127) / 255) >> 8; }

}  // namespace

TEST_CASE("PelDepth_Xto32 places each channel at the top of its byte", "[convert]")
{
    ensure_started();
    struct Case {
        const char *what;
        PelFormat f;
        std::vector<BYTE> src;
        DWORD want;
    };
    const std::vector<Case> cases = {
        {"5-6-5 white", k565, {0xFF, 0xFF}, 0xFFF8FCF8},
        {"5-6-5 red", k565, {0x00, 0xF8}, 0xFFF80000},
        {"5-6-5 green", k565, {0xE0, 0x07}, 0xFF00FC00},
        {"5-6-5 blue", k565, {0x1F, 0x00}, 0xFF0000F8},
        {"5-5-5 white, bit 15 ignored", k555, {0xFF, 0xFF}, 0xFFF8F8F8},
        {"24-bit reads all three bytes", k24, {0x11, 0x22, 0x33}, 0xFF332211},
        {"32-bit plain", k32, {0x11, 0x22, 0x33, 0x44}, 0xFF332211},
        {"32-bit with red in the low byte", kRGBA, {0x11, 0x22, 0x33, 0x44}, 0xFF112233},
        {"red mask at the very top", {4, 0xFF000000, 0, 0}, {0x00, 0x00, 0x00, 0xAA}, 0xFFAA0000},
        {"a zero mask gives a zero channel", {4, 0xFF0000, 0, 0xFF}, {0x11, 0x22, 0x33, 0x44}, 0xFF330011},
    };
    for (const Case &c : cases) {
        INFO(c.what);
        DWORD out = 0x12345678;
        CHECK(PelDepth_Xto32(&out, c.src.data(), &c.f, 1) == 1);
        CHECK(out == c.want);
    }

    // Other pixel sizes convert nothing.
    const PelFormat odd = {1, 0xE0, 0x1C, 0x03};
    BYTE one = 0xFF;
    DWORD out = 0x12345678;
    CHECK(PelDepth_Xto32(&out, &one, &odd, 1) == 1);
    CHECK(out == 0x12345678u);
}

TEST_CASE("PelDepth_Xto32Ex alpha modes", "[convert]")
{
    const BYTE src[2] = {0xFF, 0xFF};
    const struct { LONG mode; DWORD want; } cases[] = {{0, 0x00F8FCF8}, {1, 0xFFF8FCF8}, {2, 0x7FF8FCF8}, {-1, 0x7FF8FCF8}};
    for (auto &c : cases) {
        INFO("mode " << c.mode);
        DWORD out = 0x7F000000;
        CHECK(PelDepth_Xto32Ex(&out, src, &k565, 1, c.mode) == 1);
        CHECK(out == c.want);
    }
}

TEST_CASE("PelDepth_32toX writes only the pixel's bytes", "[convert]")
{
    const DWORD px[2] = {0xFF332211, 0x80FFFFFF};
    BYTE out[8];
    memset(out, 0xEE, sizeof(out));
    CHECK(PelDepth_32toX(px, out, &k24, 2) == 1);
    const BYTE want24[8] = {0x11, 0x22, 0x33, 0xFF, 0xFF, 0xFF, 0xEE, 0xEE};
    CHECK(memcmp(out, want24, 8) == 0);

    memset(out, 0xEE, sizeof(out));
    CHECK(PelDepth_32toX(px, out, &k565, 2) == 1);
    const WORD p0 = (0x33 >> 3) << 11 | (0x22 >> 2) << 5 | (0x11 >> 3);
    CHECK(out[0] == (BYTE)p0);
    CHECK(out[1] == (BYTE)(p0 >> 8));
    CHECK(out[2] == 0xFF);
    CHECK(out[3] == 0xFF);
    CHECK(out[4] == 0xEE);

    DWORD swapped;
    CHECK(PelDepth_32toX(px, (BYTE *)&swapped, &kRGBA, 1) == 1);
    CHECK(swapped == 0x00112233u);
}

TEST_CASE("depth round trips", "[convert]")
{
    auto px = noise(257, 7);
    SECTION("32 -> 24 -> 32 with opaque alpha is lossless")
    {
        std::vector<BYTE> packed(px.size() * 3);
        std::vector<DWORD> back(px.size());
        REQUIRE(PelDepth_32toX(px.data(), packed.data(), &k24, (LONG)px.size()) == 1);
        REQUIRE(PelDepth_Xto32(back.data(), packed.data(), &k24, (LONG)px.size()) == 1);
        for (size_t i = 0; i < px.size(); i++) {
            INFO(i);
            CHECK(back[i] == (px[i] | 0xFF000000u));
        }
    }
    SECTION("32 -> 5-6-5 -> 32 keeps the top bits of each channel")
    {
        std::vector<BYTE> packed(px.size() * 2);
        std::vector<DWORD> back(px.size());
        REQUIRE(PelDepth_32toX(px.data(), packed.data(), &k565, (LONG)px.size()) == 1);
        REQUIRE(PelDepth_Xto32(back.data(), packed.data(), &k565, (LONG)px.size()) == 1);
        for (size_t i = 0; i < px.size(); i++) CHECK(back[i] == ((px[i] & 0x00F8FCF8u) | 0xFF000000u));
    }
    SECTION("32-bit formats with swapped channels round trip")
    {
        std::vector<DWORD> packed(px.size()), back(px.size());
        REQUIRE(PelDepth_32toX(px.data(), (BYTE *)packed.data(), &kRGBA, (LONG)px.size()) == 1);
        REQUIRE(PelDepth_Xto32Ex(back.data(), (const BYTE *)packed.data(), &kRGBA, (LONG)px.size(), 0) == 1);
        for (size_t i = 0; i < px.size(); i++) CHECK(back[i] == (px[i] & 0x00FFFFFFu));
    }
}

TEST_CASE("layers to and from packed buffers", "[convert]")
{
    // 3 x 2 window; the 16-bit buffer rows are 8 bytes apart (2 bytes padding).
    auto l = filled_layer(3, 2, 0x11111111);
    std::vector<WORD> buf = {0xF800, 0x07E0, 0x001F, 0xAAAA, 0xFFFF, 0x0000, 0x8410, 0xBBBB};
    REQUIRE(XtoLayer(l.get(), (const BYTE *)buf.data(), &k565, 8) == 1);
    const std::vector<DWORD> want = {0xFFF80000, 0xFF00FC00, 0xFF0000F8, 0xFFF8FCF8, 0xFF000000, 0xFF808080};
    CHECK(pixels_of(l.get()) == want);

    REQUIRE(XtoLayerEx(l.get(), (const BYTE *)buf.data(), &k565, 8, 2) == 1);
    CHECK(pixels_of(l.get()) == want);   // alpha kept (already 0xFF)

    std::vector<WORD> back(8, 0xCCCC);
    REQUIRE(LayertoX((BYTE *)back.data(), &k565, 8, l.get()) == 1);
    for (int i : {0, 1, 2, 4, 5, 6}) CHECK(back[i] == buf[i]);
    CHECK(back[3] == 0xCCCC);
    CHECK(back[7] == 0xCCCC);

    // 4-byte formats get an opaque top byte.
    auto t = make_layer(2, 1, {0x00102030, 0x80405060});
    DWORD out4[2] = {0, 0};
    REQUIRE(LayertoX((BYTE *)out4, &k32, 8, t.get()) == 1);
    CHECK(out4[0] == 0xFF102030u);
    CHECK(out4[1] == 0xFF405060u);

    CHECK(XtoLayer(l.get(), nullptr, &k565, 8) == 0);
    CHECK(XtoLayer(l.get(), (const BYTE *)buf.data(), nullptr, 8) == 0);
    CHECK(XtoLayer(nullptr, (const BYTE *)buf.data(), &k565, 8) == 0);
    CHECK(LayertoX(nullptr, &k565, 8, l.get()) == 0);
    CHECK(LayertoX((BYTE *)back.data(), nullptr, 8, l.get()) == 0);
    CHECK(LayertoX((BYTE *)back.data(), &k565, 8, nullptr) == 0);
    DWORD d = 0;
    CHECK(PelDepth_Xto32(nullptr, (const BYTE *)buf.data(), &k565, 1) == 0);
    CHECK(PelDepth_Xto32(&d, nullptr, &k565, 1) == 0);
    CHECK(PelDepth_Xto32(&d, (const BYTE *)buf.data(), nullptr, 1) == 0);
    CHECK(PelDepth_32toX(nullptr, (BYTE *)&d, &k565, 1) == 0);
    CHECK(PelDepth_32toX(&d, nullptr, &k565, 1) == 0);
}

TEST_CASE("gamma curves", "[convert]")
{
    ensure_started();
    // Until curves are set, correction is the identity.
    auto px = noise(64, 3);
    for (DWORD p : px) CHECK(GammaCorrectPEL(p) == p);

    CHECK(SetGammaTable(nullptr) == 0);

    BYTE curves[768];
    for (int i = 0; i < 256; i++) {
        curves[i] = (BYTE)(255 - i);   // red inverted
        curves[256 + i] = (BYTE)i;     // green identity
        curves[512 + i] = 7;           // blue constant
    }
    REQUIRE(SetGammaTable(curves) == 1);
    CHECK(GammaCorrectPEL(0x80102030) == 0x80EF2007u);
    for (int i = 0; i < 256; i++) {
        CHECK(g_workRed[i] == g_displayRed[255 - i]);
        CHECK(g_workGreen[i] == g_displayGreen[i]);
        CHECK(g_workBlue[i] == g_displayBlue[7]);
    }
    std::vector<DWORD> arr = {0xFF000000, 0x00FFFFFF, 0x12345678};
    CHECK(GammaCorrectPELs(arr.data(), 3) == 1);
    CHECK(arr == std::vector<DWORD>{0xFFFF0007, 0x0000FF07, 0x12CB5607});
    CHECK(GammaCorrectPELs(nullptr, 3) == 0);

    // Gamma 1.0: identity curves give every pixel back.
    for (int i = 0; i < 768; i++) curves[i] = (BYTE)(i & 0xFF);
    REQUIRE(SetGammaTable(curves) == 1);
    std::vector<DWORD> copy = px;
    CHECK(GammaCorrectPELs(copy.data(), (LONG)copy.size()) == 1);
    CHECK(copy == px);
    for (int i = 0; i < 256; i++) CHECK(g_workRed[i] == g_displayRed[i]);
}

TEST_CASE("IP_32BITto24BMP flattens onto black into padded rows", "[convert]")
{
    ensure_started();
    // Width 5: 15 bytes of pixels, rows of 16.
    std::vector<DWORD> px = {0xFF102030, 0x80FF8040, 0x00FFFFFF, 0xFFFFFFFF, 0x40C0C0C0,
                             0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004, 0xFF000005};
    BYTE *buf = IP_32BITto24BMP(px.data(), nullptr, 5, 2);
    REQUIRE(buf);
    std::vector<BYTE> want;
    for (int y = 0; y < 2; y++) {
        for (int x = 0; x < 5; x++) {
            DWORD p = px[y * 5 + x], a = p >> 24;
            want.push_back((BYTE)scale_ref(a, p & 0xFF));
            want.push_back((BYTE)scale_ref(a, (p >> 8) & 0xFF));
            want.push_back((BYTE)scale_ref(a, (p >> 16) & 0xFF));
        }
        want.push_back(0);
    }
    CHECK(std::vector<BYTE>(buf, buf + 32) == want);
    CHECK(buf[0] == 0x30);
    CHECK(buf[3] == 0x20);   // 0x40 at half strength
    M32_free(buf);

    std::vector<BYTE> mine(32, 0xEE);
    CHECK(IP_32BITto24BMP(px.data(), mine.data(), 5, 2) == mine.data());
    CHECK(mine == want);

    CHECK(IP_32BITto24BMP(nullptr, nullptr, 5, 2) == nullptr);
    CHECK(IP_32BITto24BMP(px.data(), nullptr, 0, 2) == nullptr);
    CHECK(IP_32BITto24BMP(px.data(), nullptr, 5, -1) == nullptr);
}

TEST_CASE("colour-space conversions of layers", "[convert]")
{
    struct Case {
        const char *what;
        LONG (PIXAPI *op)(Layer *, Layer *);
        DWORD in, want;
    };
    const Case cases[] = {
        // Studio-range YCbCr: (alpha, Cr', Y', Cb').
        {"YCbCr of red", RGBtoYCBCRLayer, 0xFFFF0000, 0xFFEF515B},
        {"YCbCr of green", RGBtoYCBCRLayer, 0xFF00FF00, 0xFF239037},
        {"YCbCr of blue", RGBtoYCBCRLayer, 0x400000FF, 0x406E28EF},
        {"YCbCr of white", RGBtoYCBCRLayer, 0xFFFFFFFF, 0xFF80EB80},
        {"YCbCr of black", RGBtoYCBCRLayer, 0x00000000, 0x00801080},
        // Simple YUV: (alpha, V, Y, U).
        {"YUV of white", RGBtoYUVLayer, 0xFFFFFFFF, 0xFF82FF81},
        {"YUV of black", RGBtoYUVLayer, 0x7F000000, 0x7F800080},
        {"YUV of red", RGBtoYUVLayer, 0xFFFF0000, 0xFFFF4D33},
        {"RGB of a neutral grey", YUVtoRGBLayer, 0xFF806480, 0xFF646364},
        {"RGB of Y 0 neutral", YUVtoRGBLayer, 0xFF800080, 0xFF000000},
        {"RGB clamps red and blue", YUVtoRGBLayer, 0xFFFFFFFF, 0xFFFFA5FF},
        {"grey of YUV", YUVtoGRAYLayer, 0x12AB34CD, 0x12343434},
        {"grey of red", RGBtoGRAYLayer, 0x80FF0000, 0x804D4D4D},
        {"grey of white", RGBtoGRAYLayer, 0xFFFFFFFF, 0xFFFFFFFF},
    };
    for (const Case &c : cases) {
        INFO(c.what);
        auto src = filled_layer(3, 1, c.in);
        auto dst = filled_layer(3, 1, 0x11111111);
        CHECK(c.op(dst.get(), src.get()) == 1);
        CHECK(pixels_of(dst.get()) == std::vector<DWORD>(3, c.want));
        CHECK(c.op(nullptr, src.get()) == 0);
        CHECK(c.op(dst.get(), nullptr) == 0);
    }
}

TEST_CASE("YUV to RGB: neutral chroma gives green one below Y", "[convert]")
{
    std::vector<DWORD> px;
    for (DWORD y = 0; y < 256; y++) px.push_back(0xFF800080u | (y << 8));
    auto src = make_layer(256, 1, px);
    auto dst = make_layer(256, 1);
    REQUIRE(YUVtoRGBLayer(dst.get(), src.get()) == 1);
    for (DWORD y = 1; y < 256; y++) {
        INFO("Y " << y);
        DWORD p = pel(dst.get(), y, 0);
        CHECK(((p >> 16) & 0xFF) == y);
        CHECK(((p >> 8) & 0xFF) == y - 1);
        CHECK((p & 0xFF) == y);
    }
}

TEST_CASE("YUV and back: colours whose U and V differ come back where they were", "[convert]")
{
    // Saturated enough that U and V lie far apart (and on either side of
    // 128), not so much that the forward conversion clamps them.
    const DWORD colours[] = {0xFFC83C28, 0xFF28A05A, 0xFF3246C8, 0xFFB4AA1E, 0x80963CB4, 0xFF50B4B4};
    std::vector<DWORD> px(std::begin(colours), std::end(colours));
    const LONG n = (LONG)px.size();
    auto rgb = make_layer(n, 1, px);
    auto yuv = make_layer(n, 1);
    auto back = make_layer(n, 1);
    REQUIRE(RGBtoYUVLayer(yuv.get(), rgb.get()) == 1);
    REQUIRE(YUVtoRGBLayer(back.get(), yuv.get()) == 1);
    for (LONG i = 0; i < n; i++) {
        const DWORD in = colours[i], mid = pel(yuv.get(), i, 0), out = pel(back.get(), i, 0);
        INFO(std::hex << "colour " << in << " via " << mid << " back " << out);
        const int v = (mid >> 16) & 0xFF, u = mid & 0xFF;
        CHECK(std::abs(v - u) > 24);
        CHECK((out >> 24) == (in >> 24));
        for (int shift : {16, 8, 0}) {
            INFO("channel at bit " << shift);
            CHECK(std::abs((int)((out >> shift) & 0xFF) - (int)((in >> shift) & 0xFF)) <= 3);
        }
    }
}

TEST_CASE("YCbCr of every grey follows the range maps", "[convert]")
{
    std::vector<DWORD> px;
    for (DWORD i = 0; i < 256; i++) px.push_back(0xFF000000u | i * 0x010101u);
    auto src = make_layer(256, 1, px);
    auto dst = make_layer(256, 1);
    REQUIRE(RGBtoYCBCRLayer(dst.get(), src.get()) == 1);
    for (DWORD i = 0; i < 256; i++) {
        // The three luma weights add to 65536, so Y is the grey itself.
        DWORD p = pel(dst.get(), i, 0);
        INFO("grey " << i);
        CHECK(((p >> 8) & 0xFF) == 16 + 219 * i / 255);
        CHECK(((p >> 16) & 0xFF) == 128);
        CHECK((p & 0xFF) == 128);
    }
}

TEST_CASE("brightness, contrast and tint on YUV layers", "[convert]")
{
    struct Case {
        const char *what;
        DWORD in;
        LONG a, b, c;   // luminance: brightness, contrast; tint: V offset, U offset, saturation
        bool tint;
        DWORD want;
    };
    // The destination starts as 0x11223344: luminance writes only green,
    // tint only red and blue.
    const Case cases[] = {
        {"contrast -256 halves the distance above", 0xFF00E400, 0, -256, 0, false, 0x1122B244},
        {"contrast -256 halves the distance below", 0xFF001C00, 0, -256, 0, false, 0x11224E44},
        {"brightness adds", 0xFF00E400, 10, -256, 0, false, 0x1122BC44},
        {"contrast 256 doubles and clamps", 0xFF00C800, 0, 256, 0, false, 0x1122FF44},
        {"contrast 0 with brightness clamps low", 0xFF000500, -10, 0, 0, false, 0x11220044},
        {"truncation toward zero", 0xFF008100, 0, -1, 0, false, 0x11228044},
        {"tint offsets", 0xFF808080, 5, -6, 0, true, 0x1185337A},
        {"saturation -256 halves chroma", 0xFFC80040, 0, 0, -256, true, 0x11A43360},
        {"saturation clamps", 0xFFC80040, 0, 0, 1024, true, 0x11FF3300},
    };
    for (const Case &c : cases) {
        INFO(c.what);
        auto src = filled_layer(2, 2, c.in);
        auto dst = filled_layer(2, 2, 0x11223344);
        if (c.tint) CHECK(TintLayer(dst.get(), src.get(), c.a, c.b, c.c) == 1);
        else CHECK(LuminanceLayer(dst.get(), src.get(), c.a, c.b) == 1);
        CHECK(pixels_of(dst.get()) == std::vector<DWORD>(4, c.want));
    }
    auto l = filled_layer(1, 1, 0);
    CHECK(LuminanceLayer(nullptr, l.get(), 0, 0) == 0);
    CHECK(TintLayer(l.get(), nullptr, 0, 0, 0) == 0);
    // Extreme contrast does not overflow.
    auto src = filled_layer(1, 1, 0xFF00FF00);
    CHECK(LuminanceLayer(l.get(), src.get(), 0, 0x7FFFFFFF) == 1);
    CHECK(pel(l.get(), 0, 0) == 0x0000FF00u);
    CHECK(LuminanceLayer(l.get(), src.get(), 0x7FFFFFFF, (LONG)0x80000000) == 1);
    CHECK(pel(l.get(), 0, 0) == 0x0000FF00u);
}

TEST_CASE("FiestatoLayer decodes 4:2:2 pairs", "[convert]")
{
    // Layer 3 wide: one pair per row, the odd last column is left alone.
    auto l = filled_layer(3, 3, 0x12345678);
    const BYTE buf[] = {
        235, 240, 235, 128, 0xEE, 0xEE,   // bright, strongly blue
        16, 128, 235, 128, 0xEE, 0xEE,    // black then white
        0, 0, 255, 255, 0xEE, 0xEE,       // clamps both ways
    };
    REQUIRE(FiestatoLayer(l.get(), buf, 6) == 1);
    auto rgb = [](LONG y, LONG u, LONG v) {
        auto fl = [](LONG a) { return a >= 0 ? a / 128 : -((-a + 127) / 128); };
        auto cl = [](LONG a) { return a < 0 ? 0 : a > 255 ? 255 : a; };
        return 0xFF000000u | (DWORD)cl(fl(149 * y + 204 * v - 28416)) << 16 |
               (DWORD)cl(fl(149 * y - 50 * u - 104 * v + 17406)) << 8 | (DWORD)cl(fl(149 * y + 258 * u - 35328));
    };
    CHECK((pel(l.get(), 0, 0) & 0xFF) == 255u);
    CHECK(pel(l.get(), 0, 0) == rgb(235, 240, 128));
    CHECK(pel(l.get(), 1, 0) == rgb(235, 240, 128));
    CHECK(pel(l.get(), 0, 1) == 0xFF000000u);
    CHECK(pel(l.get(), 1, 1) == 0xFFFFFFFFu);
    CHECK(pel(l.get(), 0, 2) == rgb(0, 0, 255));
    CHECK(pel(l.get(), 1, 2) == rgb(255, 0, 255));
    for (LONG y = 0; y < 3; y++) CHECK(pel(l.get(), 2, y) == 0x12345678u);
    CHECK(FiestatoLayer(l.get(), nullptr, 6) == 0);
    CHECK(FiestatoLayer(nullptr, buf, 6) == 0);
}

TEST_CASE("OneFishCombineLayer takes colour from one layer and alpha from another", "[convert]")
{
    auto colour = make_layer(3, 2, {0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004, 0xFF000005, 0xFF000006});
    auto alphaBig = make_layer(3, 2, {0x000000AA, 0xFFFFFF00, 0x12345699, 0, 0, 0});
    auto alpha = clip(alphaBig.get(), 0, 0, 3, 1);   // first row only
    auto dst = filled_layer(3, 2, 0);
    REQUIRE(OneFishCombineLayer(dst.get(), alpha.get(), colour.get()) == 1);
    const std::vector<DWORD> want = {0xAA000001, 0x00000002, 0x99000003, 0xFF000004, 0xFF000005, 0xFF000006};
    CHECK(pixels_of(dst.get()) == want);
    CHECK(OneFishCombineLayer(nullptr, alpha.get(), colour.get()) == 0);
    CHECK(OneFishCombineLayer(dst.get(), nullptr, colour.get()) == 0);
    CHECK(OneFishCombineLayer(dst.get(), alpha.get(), nullptr) == 0);
}

TEST_CASE("ThumbLayer point-samples from the middle of each step", "[convert]")
{
    std::vector<DWORD> px(16);
    for (DWORD i = 0; i < 16; i++) px[i] = 0xFF000000u | i;
    struct Case { LONG sw, sh, dw, dh; std::vector<DWORD> idx; };
    const Case cases[] = {
        {4, 4, 2, 2, {5, 7, 13, 15}},
        {3, 1, 2, 1, {0, 1}},
        {2, 1, 4, 1, {0, 0, 1, 1}},
        {4, 4, 1, 1, {10}},
        {1, 1, 3, 2, {0, 0, 0, 0, 0, 0}},
        {4, 3, 4, 3, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
    };
    for (const Case &c : cases) {
        INFO(c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh);
        auto src = make_layer(c.sw, c.sh, std::vector<DWORD>(px.begin(), px.begin() + c.sw * c.sh));
        auto dst = make_layer(c.dw, c.dh);
        REQUIRE(ThumbLayer(dst.get(), src.get()) == 1);
        std::vector<DWORD> want;
        for (DWORD i : c.idx) want.push_back(0xFF000000u | i);
        CHECK(pixels_of(dst.get()) == want);
    }
    auto l = filled_layer(2, 2, 0);
    CHECK(ThumbLayer(nullptr, l.get()) == 0);
    CHECK(ThumbLayer(l.get(), nullptr) == 0);
    auto outside = clip(l.get(), 5, 5, 1, 1);
    CHECK(ThumbLayer(outside.get(), l.get()) == 1);
}

TEST_CASE("two-layer conversions touch only the overlap", "[convert]")
{
    auto src = filled_layer(4, 4, 0xFFFFFFFF);
    auto dstBig = filled_layer(4, 4, 0x01010101);
    auto dst = clip(dstBig.get(), 1, 1, 2, 2);
    REQUIRE(RGBtoGRAYLayer(dst.get(), src.get()) == 1);
    for (LONG y = 0; y < 4; y++)
        for (LONG x = 0; x < 4; x++) {
            bool in = x >= 1 && x < 3 && y >= 1 && y < 3;
            CHECK(pel(dstBig.get(), x, y) == (in ? 0xFFFFFFFFu : 0x01010101u));
        }
    auto away = clip(src.get(), 10, 10, 2, 2);
    CHECK(RGBtoYUVLayer(dstBig.get(), away.get()) == 1);
    CHECK(pel(dstBig.get(), 0, 0) == 0x01010101u);
}

TEST_CASE("conversions in place and between shifted windows of one layer", "[convert]")
{
    const std::vector<std::pair<const char *, std::function<LONG(Layer *, Layer *)>>> all = {
        {"YCbCr", RGBtoYCBCRLayer},
        {"YUV", RGBtoYUVLayer},
        {"RGB", YUVtoRGBLayer},
        {"grey of YUV", YUVtoGRAYLayer},
        {"grey", RGBtoGRAYLayer},
        {"luminance", [](Layer *d, Layer *s) { return LuminanceLayer(d, s, 7, -40); }},
        {"tint", [](Layer *d, Layer *s) { return TintLayer(d, s, 3, -9, 100); }},
    };
    const LONG W = 5, H = 4;
    auto px = noise((size_t)W * H, 21);
    for (auto &[name, f] : all) {
        INFO(name);
        auto src = make_layer(W, H, px);
        auto ref = make_layer(W, H, px);
        REQUIRE(f(ref.get(), src.get()) == 1);
        auto same = make_layer(W, H, px);
        REQUIRE(f(same.get(), same.get()) == 1);
        CHECK(pixels_of(same.get()) == pixels_of(ref.get()));

        // Destination one pixel down and right of the source in one store.
        auto store = filled_layer(W + 1, H + 1, 0x5A5A5A5A);
        for (LONG y = 0; y < H; y++)
            for (LONG x = 0; x < W; x++) ((DWORD *)(store->pixels + y * store->pitch))[x] = px[y * W + x];
        std::vector<DWORD> shifted;
        for (LONG y = 0; y < H; y++)
            for (LONG x = 0; x < W; x++) shifted.push_back(pel(store.get(), x + 1, y + 1));
        auto ref2 = make_layer(W, H, shifted);
        REQUIRE(f(ref2.get(), src.get()) == 1);
        auto from = clip(store.get(), 0, 0, W, H);
        auto to = clip(store.get(), 1, 1, W, H);
        REQUIRE(f(to.get(), from.get()) == 1);
        std::vector<DWORD> got;
        for (LONG y = 0; y < H; y++)
            for (LONG x = 0; x < W; x++) got.push_back(pel(store.get(), x + 1, y + 1));
        CHECK(got == pixels_of(ref2.get()));
    }
}
