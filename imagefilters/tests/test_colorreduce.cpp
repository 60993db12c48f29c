// Colour reduction to a 256-colour palette.
#include <catch2/catch.hpp>

#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "colorreduce.h"

using namespace ferrix;

namespace {

struct Image {
    int width, height, depth;
    std::vector<uint8_t> rows;  // packed, bytesPerRow apart
    uint32_t bpr;
    int next = 0;
};

Image* g_img = nullptr;

LONG_PTR WINAPI SkipRow(ConvertSource*)
{
    return reinterpret_cast<LONG_PTR>(g_img->rows.data() + size_t(g_img->next++) * g_img->bpr);
}
int WINAPI ReadRow(ConvertSource*, BYTE* row)
{
    std::memcpy(row, g_img->rows.data() + size_t(g_img->next++) * g_img->bpr, g_img->bpr);
    return 0;
}
int WINAPI BeginRows(ConvertSource*)
{
    g_img->next = 0;
    return 0;
}

int WINAPI ThreeEntryPalette(ConvertSource*, RGBQUAD* e, int count)
{
    std::memset(e, 0, sizeof(RGBQUAD) * count);
    e[2].rgbRed = 0x88;  // index 2 is the last (third) pixel
    return count;
}

ConvertSource SourceOver(Image& img, bool viaSkip = true)
{
    ConvertSource s;
    std::memset(&s, 0, sizeof s);
    s.width = uint16_t(img.width);
    s.height = uint16_t(img.height);
    s.depth = uint16_t(img.depth);
    s.bytesPerRow = img.bpr;
    s.beginRows = BeginRows;
    if (viaSkip) s.skipRow = SkipRow;
    else s.readRow = ReadRow;
    g_img = &img;
    return s;
}

Image Image24(int w, int h, uint32_t (*colour)(int x, int y))
{
    Image img{w, h, 24, {}, uint32_t((w * 24 + 31) / 32 * 4)};
    img.rows.assign(size_t(img.bpr) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t c = colour(x, y);
            uint8_t* p = &img.rows[size_t(y) * img.bpr + 3 * x];
            p[0] = uint8_t(c);
            p[1] = uint8_t(c >> 8);
            p[2] = uint8_t(c >> 16);
        }
    return img;
}

// Runs the three reducer steps; returns the palette.
std::vector<RGBQUAD> Reduce(Image& img)
{
    ConvertSource s = SourceOver(img);
    REQUIRE(fxReduceHistogram(&s) == 0);
    std::vector<RGBQUAD> pal(256);
    REQUIRE(fxReduceBuildPalette(pal.data()) == 0);
    fxReduceBuildInverseMap();
    return pal;
}

uint8_t MapPixel24(uint32_t bgr)
{
    uint8_t px[3] = {uint8_t(bgr), uint8_t(bgr >> 8), uint8_t(bgr >> 16)}, out = 0xEE;
    FxConverter rec;
    std::memset(&rec, 0, sizeof rec);
    fxReducePlainTable[3](&rec, px, &out, 1);
    return out;
}

int CellOf24(int b, int g, int r) { return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3); }

uint8_t Widen(uint8_t c8) { return uint8_t((c8 >> 3) * 8 + (c8 >> 3) / 4); }

}  // namespace

TEST_CASE("The Hilbert walk covers the cube one axis step at a time", "[colorreduce]")
{
    struct Trace {
        std::vector<int> cells;
    } t;
    WalkHilbert([](int x, int y, int z, void* u) { static_cast<Trace*>(u)->cells.push_back((x << 10) | (y << 5) | z); },
                &t);
    REQUIRE(t.cells.size() == 32768u);
    CHECK(std::set<int>(t.cells.begin(), t.cells.end()).size() == 32768u);
    const int first[12][3] = {{0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {0, 1, 0}, {1, 1, 0}, {1, 1, 1},
                              {1, 0, 1}, {1, 0, 0}, {2, 0, 0}, {2, 0, 1}, {3, 0, 1}, {3, 0, 0}};
    for (int i = 0; i < 12; ++i) CHECK(t.cells[i] == ((first[i][0] << 10) | (first[i][1] << 5) | first[i][2]));
    CHECK(t.cells.back() == (31 << 10));
    int bad = 0;
    for (size_t i = 1; i < t.cells.size(); ++i) {
        int a = t.cells[i - 1], b = t.cells[i];
        int d = std::abs((a >> 10) - (b >> 10)) + std::abs(((a >> 5) & 31) - ((b >> 5) & 31)) + std::abs((a & 31) - (b & 31));
        if (d != 1) ++bad;
    }
    CHECK(bad == 0);
}

TEST_CASE("Few colours are kept exactly after the reserved entries", "[colorreduce]")
{
    SECTION("one colour that is not reserved gives exactly entry 20")
    {
        Image img = Image24(7, 5, [](int, int) { return 0x123456u; });
        auto pal = Reduce(img);
        CHECK(ReduceEntryCount() == 21);
        CHECK(pal[20].rgbRed == Widen(0x12));
        CHECK(pal[20].rgbGreen == Widen(0x34));
        CHECK(pal[20].rgbBlue == Widen(0x56));
        CHECK(pal[21].rgbRed == 0);
        CHECK(MapPixel24(0x123456u) == 20);
        // The reserved colours come first, in their fixed order.
        CHECK((pal[0].rgbRed == 0 && pal[0].rgbGreen == 0 && pal[0].rgbBlue == 0));
        CHECK((pal[9].rgbBlue == 240 && pal[9].rgbGreen == 202 && pal[9].rgbRed == 166));
        CHECK((pal[19].rgbBlue == 255 && pal[19].rgbGreen == 255 && pal[19].rgbRed == 255));
        fxReduceRelease();
    }
    SECTION("pure white maps to entry 19 and adds nothing")
    {
        Image img = Image24(4, 4, [](int, int) { return 0xFFFFFFu; });
        Reduce(img);
        CHECK(ReduceEntryCount() == 20);
        CHECK(MapPixel24(0xFFFFFFu) == 19);
        fxReduceRelease();
    }
    SECTION("236 distinct colours each keep an entry of their own")
    {
        // Colour k: green (k % 32) * 8, red (k / 32) * 8 + 8, blue 0x40 (no reserved cell).
        auto colour = [](int k) { return uint32_t(((k % 32) * 8) << 8 | ((k / 32) * 8 + 8) << 16 | 0x40); };
        Image img = Image24(236, 2, [](int x, int) { return uint32_t(((x % 32) * 8) << 8 | ((x / 32) * 8 + 8) << 16 | 0x40); });
        auto pal = Reduce(img);
        CHECK(ReduceEntryCount() == 256);
        std::set<int> seen;
        for (int k = 0; k < 236; ++k) {
            uint32_t c = colour(k);
            uint8_t i = MapPixel24(c);
            INFO("k " << k << " index " << int(i));
            REQUIRE(i >= 20);
            seen.insert(i);
            CHECK(pal[i].rgbGreen == Widen(uint8_t(c >> 8)));
            CHECK(pal[i].rgbRed == Widen(uint8_t(c >> 16)));
            CHECK(pal[i].rgbBlue == Widen(0x40));
        }
        CHECK(seen.size() == 236u);
        fxReduceRelease();
    }
}

TEST_CASE("Many colours: at most 256 entries and every pixel near its entry", "[colorreduce]")
{
    // Every RGB555 cell once (32768 pixels), plus a heavy red area.
    Image img = Image24(256, 160, [](int x, int y) -> uint32_t {
        if (y >= 128) return 0xC01010u;  // frequent: gets an entry of its own
        int c = y * 256 + x;
        return uint32_t(((c & 31) << 3) | (((c >> 5) & 31) << 11) | (((c >> 10) & 31) << 19));
    });
    auto pal = Reduce(img);
    int n = ReduceEntryCount();
    CHECK(n <= 256);
    CHECK(n > 200);
    uint8_t heavy = MapPixel24(0xC01010u);
    CHECK(pal[heavy].rgbRed == Widen(0xC0));
    CHECK(pal[heavy].rgbGreen == Widen(0x10));
    // The inverse map gives each colour its nearest entry: no pixel is far off.
    int worst = 0;
    for (int c = 0; c < 32768; c += 7) {
        uint32_t bgr = uint32_t(((c & 31) << 3) | (((c >> 5) & 31) << 11) | (((c >> 10) & 31) << 19));
        uint8_t i = MapPixel24(bgr);
        REQUIRE(i < n);
        int db = int(pal[i].rgbBlue) - int(bgr & 255), dg = int(pal[i].rgbGreen) - int((bgr >> 8) & 255),
            dr = int(pal[i].rgbRed) - int(bgr >> 16);
        worst = (std::max)(worst, db * db + dg * dg + dr * dr);
    }
    CHECK(worst < 3 * 48 * 48);
    // 16- and 32-bit converters look up the same map.
    FxConverter rec;
    std::memset(&rec, 0, sizeof rec);
    const uint16_t v16 = 0x8000 | (24 << 10) | (2 << 5) | 2;  // flag set: ignored
    uint8_t px16[2] = {uint8_t(v16), uint8_t(v16 >> 8)};
    uint8_t out = 0;
    fxReducePlainTable[2](&rec, px16, &out, 1);
    CHECK(out == heavy);
    uint8_t px32[8] = {0, 0, 0, 0, 0x10, 0x10, 0xC0, 0x00}, steps[1] = {1};
    fxReduceResampleTable[4](&rec, px32, &out, 1, steps);
    CHECK(out == heavy);
    fxReduceRelease();
}

TEST_CASE("Histogram pass over palette sources and readers without a skip routine", "[colorreduce]")
{
    SECTION("a 4-bit source of odd width counts its last pixel through its palette")
    {
        Image img{3, 1, 4, {0x01, 0x20, 0, 0}, 4};
        ConvertSource s = SourceOver(img);
        s.paletteCount = 3;
        s.getPalette = ThreeEntryPalette;
        REQUIRE(fxReduceHistogram(&s) == 0);
        CHECK(ReduceHistogram()[(0x88 >> 3) << 10] == 1);
        CHECK(ReduceHistogram()[0] == 2);
        fxReduceRelease();
    }
    SECTION("rows are read through the row routine when there is no skip routine")
    {
        Image img = Image24(3, 2, [](int, int) { return 0x808080u; });
        ConvertSource s = SourceOver(img, false);
        REQUIRE(fxReduceHistogram(&s) == 0);
        CHECK(ReduceHistogram()[CellOf24(0x80, 0x80, 0x80)] == 6);
        fxReduceRelease();
    }
    SECTION("a reader that can hand over no row is refused")
    {
        Image img = Image24(3, 2, [](int, int) { return 0u; });
        ConvertSource s = SourceOver(img);
        s.skipRow = nullptr;
        CHECK(fxReduceHistogram(&s) == FX_E_READ);
        fxReduceRelease();
    }
}
