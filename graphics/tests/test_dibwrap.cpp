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

namespace {

// A bottom-up BMP of the given rows (file order), with headers as written.
void write_bmp(const char *path, LONG w, LONG h, int bpp, const std::vector<BYTE> &rows, size_t keep = (size_t)-1)
{
    std::vector<BYTE> f(54, 0);
    f[0] = 'B';
    f[1] = 'M';
    DWORD off = 54;
    memcpy(&f[10], &off, 4);
    BITMAPINFOHEADER bi = {};
    bi.biSize = 40;
    bi.biWidth = w;
    bi.biHeight = h;
    bi.biPlanes = 1;
    bi.biBitCount = (WORD)bpp;
    memcpy(&f[14], &bi, 40);
    f.insert(f.end(), rows.begin(), rows.end());
    if (keep < f.size()) f.resize(keep);
    HANDLE fh = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    REQUIRE(fh != INVALID_HANDLE_VALUE);
    DWORD put = 0;
    WriteFile(fh, f.data(), (DWORD)f.size(), &put, NULL);
    CloseHandle(fh);
}

struct LayerOut {
    Layer *l;
    explicit LayerOut(Layer *layer) : l(layer) {}
    ~LayerOut() { DeleteLayer(l); }
};

} // namespace

TEST_CASE("The test pictures are read from their fixed paths")
{
    lf::start();
    CreateDirectoryA("c:\\bitmaps", NULL);
    DeleteFileA("c:\\bitmaps\\flower.bmp");
    DeleteFileA("c:\\bitmaps\\backtest.bmp");
    DeleteFileA("c:\\bitmaps\\foretest.bmp");

    SECTION("missing files: zeroed layers of the fixed sizes, no text image")
    {
        LayerOut f(CreateFlower()), s(CreateSuperGenius());
        REQUIRE(f.l);
        REQUIRE(s.l);
        CHECK((f.l->width == 768 && f.l->height == 512));
        CHECK((s.l->width == 720 && s.l->height == 486));
        CHECK(lf::at(f.l, 767, 511) == 0);
        CHECK(CreateTextImage() == nullptr);
    }
    SECTION("the flower: 24-bit rows, bottom row first, made opaque")
    {
        std::vector<BYTE> rows((size_t)768 * 3 * 512, 0);
        rows[0] = 1, rows[1] = 2, rows[2] = 3;                           // file row 0 = bottom row
        size_t top = (size_t)511 * 768 * 3;
        rows[top + 3] = 9, rows[top + 4] = 8, rows[top + 5] = 7;         // top row, pixel 1
        write_bmp("c:\\bitmaps\\flower.bmp", 768, 512, 24, rows);
        LayerOut f(CreateFlower());
        REQUIRE(f.l);
        CHECK(lf::at(f.l, 0, 511) == 0xFF030201);
        CHECK(lf::at(f.l, 1, 0) == 0xFF070809);
        CHECK(lf::at(f.l, 5, 5) == 0xFF000000);
        DeleteFileA("c:\\bitmaps\\flower.bmp");
    }
    SECTION("the text image: its own size, alpha kept; bad headers refused")
    {
        std::vector<BYTE> rows = { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12,      // bottom row
                                   13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24 };
        write_bmp("c:\\bitmaps\\foretest.bmp", 3, 2, 32, rows);
        {
            LayerOut t(CreateTextImage());
            REQUIRE(t.l);
            CHECK((t.l->width == 3 && t.l->height == 2));
            CHECK(lf::at(t.l, 0, 0) == 0x100F0E0D);
            CHECK(lf::at(t.l, 2, 1) == 0x0C0B0A09);
        }
        // A truncated file keeps the rows it has (the top one is missing).
        write_bmp("c:\\bitmaps\\foretest.bmp", 3, 2, 32, rows, 54 + 12 + 5);
        {
            LayerOut t(CreateTextImage());
            REQUIRE(t.l);
            CHECK(lf::at(t.l, 0, 1) == 0x04030201);
            CHECK(lf::at(t.l, 0, 0) == 0);
        }
        struct Bad { LONG w, h; int bpp; };
        for (const Bad &b : { Bad{ 3, 2, 24 }, Bad{ 0, 2, 32 }, Bad{ 3, -2, 32 }, Bad{ 100000, 100000, 32 } }) {
            INFO(b.w << "x" << b.h << " " << b.bpp);
            write_bmp("c:\\bitmaps\\foretest.bmp", b.w, b.h, b.bpp, rows);
            CHECK(CreateTextImage() == nullptr);
        }
        write_bmp("c:\\bitmaps\\foretest.bmp", 3, 2, 32, rows, 20);   // not even the headers
        CHECK(CreateTextImage() == nullptr);
        DeleteFileA("c:\\bitmaps\\foretest.bmp");
    }
}
