// Layers over Windows bitmaps: the DIB layer's row order and pitch, the
// ready-made bitmaps (alpha 0, background choice), and drawing a layer into
// a device context.
#include <catch2/catch.hpp>
#include <vector>
#include "view_fixture.h"

using lf::LayerPtr;

namespace {

// The 32-bit pixels of a bitmap, top row first.
std::vector<DWORD> bits_of(HBITMAP bmp, LONG w, LONG h)
{
    std::vector<DWORD> px((size_t)w * h);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC dc = GetDC(NULL);
    int rows = GetDIBits(dc, bmp, 0, (UINT)h, px.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(NULL, dc);
    REQUIRE(rows == h);
    return px;
}

} // namespace

TEST_CASE("A DIB layer's row 0 is the bitmap's top row")
{
    lf::start();
    HBITMAP bmp = NULL;
    Layer *l = nullptr;
    REQUIRE(CreateDIBLayer(&bmp, &l, 5, 3) == 1);
    REQUIRE(bmp);
    REQUIRE(l);
    CHECK(l->pitch == 20);
    CHECK(l->width == 5);
    CHECK(l->height == 3);
    CHECK((l->kind & LAYER_OWNS_PIXELS) == 0);   // the bitmap owns the bits
    SetPelInLayer(l, 0, 0, 0x11223344);
    SetPelInLayer(l, 4, 2, 0x55667788);
    std::vector<DWORD> px = bits_of(bmp, 5, 3);
    CHECK(px[0] == 0x11223344);
    CHECK(px[14] == 0x55667788);
    DeleteLayer(l);
    DeleteObject(bmp);

    HBITMAP b2 = NULL;
    Layer *l2 = nullptr;
    CHECK(CreateDIBLayer(nullptr, &l2, 5, 3) == 0);
    CHECK(CreateDIBLayer(&b2, nullptr, 5, 3) == 0);
    CHECK(CreateDIBLayer(&b2, &l2, 0, 3) == 0);
    CHECK(CreateDIBLayer(&b2, &l2, 5, -3) == 0);
    CHECK(b2 == NULL);
    CHECK(l2 == nullptr);
}

TEST_CASE("Bitmaps of a layer scaled over a background")
{
    lf::start();
    SECTION("a 100 by 50 layer at 50 by 25: every pixel has alpha 0")
    {
        LayerPtr l = lf::filled(100, 50, 0xFF336699);
        HBITMAP bmp = CreateBitmapLayer(l.get(), 50, 25);
        REQUIRE(bmp);
        std::vector<DWORD> px = bits_of(bmp, 50, 25);
        for (DWORD p : px) REQUIRE((p >> 24) == 0);
        CHECK((px[0] & 0xFFFFFF) == 0x336699);
        DeleteObject(bmp);
    }
    SECTION("the plain bitmap lays the layer over black")
    {
        LayerPtr clear = lf::filled(16, 16, 0x00FFFFFF);
        HBITMAP bmp = CreateBitmapLayer(clear.get(), 16, 16);
        REQUIRE(bmp);
        std::vector<DWORD> px = bits_of(bmp, 16, 16);
        CHECK(px[0] == 0);
        CHECK(px[255] == 0);
        DeleteObject(bmp);
    }
    SECTION("a null background is the checkerboard; a given one is used")
    {
        LayerPtr clear = lf::filled(16, 16, 0x00000000);
        for (HBITMAP bmp : { CreateBitmapLayerBackground(clear.get(), 16, 16, nullptr), CreateBitmapLayerEx(clear.get(), 16, 16) }) {
            REQUIRE(bmp);
            std::vector<DWORD> px = bits_of(bmp, 16, 16);
            CHECK(px[0] == 0x7C7C7C);       // lighter square top-left
            CHECK(px[8] == 0x6C6C6C);       // darker one beside it
            CHECK(px[8 * 16 + 8] == 0x7C7C7C);
            DeleteObject(bmp);
        }
        LayerPtr red = lf::filled(4, 4, 0xFFFF0000);
        HBITMAP bmp = CreateBitmapLayerBackground(clear.get(), 16, 16, red.get());
        REQUIRE(bmp);
        CHECK(bits_of(bmp, 16, 16)[37] == 0xFF0000);
        DeleteObject(bmp);
    }
    SECTION("bad arguments")
    {
        LayerPtr l = lf::make(4, 4);
        CHECK(CreateBitmapLayer(nullptr, 4, 4) == NULL);
        CHECK(CreateBitmapLayer(l.get(), 0, 4) == NULL);
        CHECK(CreateBitmapLayerBackground(nullptr, 4, 4, nullptr) == NULL);
        CHECK(CreateBitmapLayerEx(l.get(), 4, -1) == NULL);
    }
}

TEST_CASE("DisplayLayerHDC draws the layer's bitmap at the context's origin")
{
    lf::start();
    HBITMAP target = NULL;
    Layer *t = nullptr;
    REQUIRE(CreateDIBLayer(&target, &t, 6, 4) == 1);
    SetLayer(t, 0xFF010203);
    HDC mem = CreateCompatibleDC(NULL);
    HGDIOBJ old = SelectObject(mem, target);
    LayerPtr l = lf::filled(3, 2, 0xFF00FF00);
    CHECK(DisplayLayerHDC(mem, l.get(), 3, 2) == 1);
    GdiFlush();
    CHECK(lf::at(t, 0, 0) == 0x0000FF00);   // copied with alpha 0
    CHECK(lf::at(t, 2, 1) == 0x0000FF00);
    CHECK(lf::at(t, 3, 0) == 0xFF010203);   // outside the drawn size: untouched
    CHECK(lf::at(t, 0, 2) == 0xFF010203);
    CHECK(DisplayLayerHDC(NULL, l.get(), 3, 2) == 0);
    CHECK(DisplayLayerHDC(mem, nullptr, 3, 2) == 0);
    CHECK(DisplayLayerHWND(NULL, l.get(), 3, 2) == 0);
    SelectObject(mem, old);
    DeleteDC(mem);
    DeleteLayer(t);
    DeleteObject(target);
}
