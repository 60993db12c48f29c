// Whole conversions through ferrixConvert between the public file formats
// and memory bitmaps: readers and writers chosen by extension, by id and by
// content probe, colour reduction into an 8-bit run-length file, and the
// result codes of bad files.
#include <catch2/catch.hpp>

#include "fmt_helpers.h"
#include "fx_helpers.h"

using namespace fxt;
using fmt_test::Bytes;

namespace {

// A 24-bit BMP file of w x h with pixel(x, y) = 0xRRGGBB (y = 0 the top).
template <class F>
Bytes Bmp24(int w, int h, F pixel)
{
    uint32_t rb = rowBytes(w, 24);
    Bytes b;
    fmt_test::Str(b, "BM");
    fmt_test::Le32(b, 54 + rb * h);
    fmt_test::Le32(b, 0);
    fmt_test::Le32(b, 54);
    fmt_test::Le32(b, 40);
    fmt_test::Le32(b, w);
    fmt_test::Le32(b, h);
    fmt_test::Le16(b, 1);
    fmt_test::Le16(b, 24);
    for (int i = 0; i < 6; ++i) fmt_test::Le32(b, 0);
    for (int y = h - 1; y >= 0; --y) {
        Bytes row(rb, 0);
        for (int x = 0; x < w; ++x) {
            uint32_t c = pixel(x, y);
            row[3 * x] = uint8_t(c);
            row[3 * x + 1] = uint8_t(c >> 8);
            row[3 * x + 2] = uint8_t(c >> 16);
        }
        fmt_test::Append(b, row);
    }
    return b;
}

// A GIF of w x h, 4 colours, coded with clear codes often enough that the
// code width stays at 3 bits.
Bytes Gif(int w, int h, const Bytes& pixels)
{
    Bytes b;
    fmt_test::Str(b, "GIF87a");
    fmt_test::Le16(b, w);
    fmt_test::Le16(b, h);
    fmt_test::Put8(b, 0x81);
    fmt_test::Put8(b, 0);
    fmt_test::Put8(b, 0);
    const uint8_t pal[12] = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    b.insert(b.end(), pal, pal + 12);
    fmt_test::Put8(b, 0x2C);
    fmt_test::Le32(b, 0);
    fmt_test::Le16(b, w);
    fmt_test::Le16(b, h);
    fmt_test::Put8(b, 0);
    fmt_test::Put8(b, 2);
    Bytes codes;
    uint32_t acc = 0;
    int have = 0;
    auto emit = [&](int c) {
        acc |= uint32_t(c) << have;
        have += 3;
        while (have >= 8) {
            codes.push_back(uint8_t(acc));
            acc >>= 8;
            have -= 8;
        }
    };
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (i % 2 == 0) emit(4);  // clear before every pair: the table never grows past 7
        emit(pixels[i]);
    }
    emit(5);
    if (have) codes.push_back(uint8_t(acc));
    for (size_t i = 0; i < codes.size(); i += 255) {
        size_t n = std::min<size_t>(255, codes.size() - i);
        fmt_test::Put8(b, uint32_t(n));
        b.insert(b.end(), codes.begin() + i, codes.begin() + i + n);
    }
    fmt_test::Put8(b, 0);
    fmt_test::Put8(b, 0x3B);
    return b;
}

// The filters are found through the registry; naming their enumerators here
// links their files into this test from the static library.
FxEnumFormats const kLinked[] = {BMPEnumReadFormats, BMPEnumWriteFormats, TGAEnumReadFormats, TGAEnumWriteFormats,
                                 GIFEnumReadFormats, TIFEnumReadFormats, FLCEnumReadFormats, PCXEnumReadFormats,
                                 PICTEnumWriteFormats};

int WINAPI Collect(FormatRecord* r, LPARAM user)
{
    reinterpret_cast<std::vector<std::pair<int, std::string>>*>(user)->push_back({r->formatId, std::string(r->name, strnlen(r->name, 64))});
    return 1;
}

uint32_t Rgb(int x, int y) { return uint32_t((x * 40) << 16 | (y * 60) << 8 | (x * 10 + y)); }

}  // namespace

TEST_CASE("The public format filters in registry order", "[fileconvert]")
{
    FormatRecord untouched;
    std::memset(&untouched, 0x5A, sizeof untouched);
    for (FxEnumFormats e : kLinked) {
        FormatRecord r = untouched;
        CHECK(e(-1, &r) == -1);
        CHECK(e(3, &r) == -1);
        CHECK(std::memcmp(&r, &untouched, sizeof r) == 0);
    }
    std::vector<std::pair<int, std::string>> readers, writers;
    ferrixEnumReadFormats(Collect, reinterpret_cast<LPARAM>(&readers));
    ferrixEnumWriteFormats(Collect, reinterpret_cast<LPARAM>(&writers));
    std::vector<int> readIds, writeIds;
    for (auto& r : readers)
        if (r.first != 4 && r.first != 18 && r.first < 100) readIds.push_back(r.first);
    for (auto& w : writers)
        if (w.first != 4 && w.first != 18 && w.first < 100) writeIds.push_back(w.first);
    // BMP, TGA, GIF, TIFF, FLC, PCX readers; BMP (three entries), TGA, PICT writers.
    CHECK(readIds == std::vector<int>({2, 14, 6, 7, 10, 5}));
    CHECK(writeIds == std::vector<int>({2, 2, 2, 14, 17}));
}

TEST_CASE("BMP file to memory bitmap and back to a BMP file", "[fileconvert]")
{
    std::string in = tempFile("fc_in.bmp"), out = tempFile("fc_out.bmp");
    fmt_test::SaveFile(in, Bmp24(5, 3, Rgb));
    ConvertSource s = source();
    setPath(s.path, in);
    HGLOBAL dib = nullptr;
    ConvertTarget t = target();
    t.resultDib = &dib;
    REQUIRE(ferrixConvert(&s, &t) == 0);
    CHECK(s.formatId == 2);
    CHECK(dibHeader(dib).biBitCount == 24);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) CHECK(dibPixel(dib, x, y) == Rgb(x, y));

    ConvertSource m = source();
    m.hDib = dib;
    ConvertTarget f = target();
    setPath(f.path, out);
    REQUIRE(ferrixConvert(&m, &f) == 0);
    CHECK(f.formatId == 2);
    Bytes a = fmt_test::LoadFile(in), b = fmt_test::LoadFile(out);
    REQUIRE(a.size() == b.size());
    CHECK(Bytes(a.begin() + 54, a.end()) == Bytes(b.begin() + 54, b.end()));
    CHECK(fmt_test::GetLe32(b, 34) == rowBytes(5, 24) * 3);
    GlobalFree(dib);
    DeleteFileA(in.c_str());
    DeleteFileA(out.c_str());
}

TEST_CASE("Memory bitmap to Targa files and back", "[fileconvert]")
{
    HGLOBAL dib = makeDib(7, 4, 32, [](int x, int y) { return 0x80000000u | Rgb(x, y); });
    struct { const char* name; uint16_t options; uint8_t type; } cases[] = {{"fc_plain.tga", 0, 2}, {"fc_rle.tga", 0x8000, 10}};
    for (auto& c : cases) {
        INFO(c.name);
        std::string path = tempFile(c.name);
        ConvertSource s = source();
        s.hDib = dib;
        ConvertTarget t = target();
        setPath(t.path, path);
        t.options = c.options;
        REQUIRE(ferrixConvert(&s, &t) == 0);
        CHECK(t.formatId == 14);
        Bytes file = fmt_test::LoadFile(path);
        REQUIRE(file.size() > 18);
        CHECK(file[2] == c.type);
        CHECK(file[16] == 32);

        ConvertSource r = source();
        setPath(r.path, path);
        HGLOBAL back = nullptr;
        ConvertTarget m = target();
        m.resultDib = &back;
        m.depth = 32;
        REQUIRE(ferrixConvert(&r, &m) == 0);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 7; ++x) CHECK(dibPixel(back, x, y) == (0x80000000u | Rgb(x, y)));
        GlobalFree(back);
        DeleteFileA(path.c_str());
    }
    GlobalFree(dib);
}

TEST_CASE("GIF to BMP, and a GIF found by content probe", "[fileconvert]")
{
    Bytes px = {0, 1, 2, 3, 3, 2, 1, 0, 1, 1, 2, 2};
    std::string gif = tempFile("fc_in.gif"), bmp = tempFile("fc_gif.bmp"), bare = tempFile("fc_noext");
    fmt_test::SaveFile(gif, Gif(4, 3, px));
    fmt_test::SaveFile(bare, Gif(4, 3, px));

    ConvertSource s = source();
    setPath(s.path, gif);
    ConvertTarget t = target();
    setPath(t.path, bmp);
    REQUIRE(ferrixConvert(&s, &t) == 0);
    Bytes file = fmt_test::LoadFile(bmp);
    REQUIRE(file.size() > 54);
    CHECK(fmt_test::GetLe16(file, 28) == 8u);
    // The BMP holds the GIF's indices bottom-up, and its palette.
    uint32_t off = fmt_test::GetLe32(file, 10);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) CHECK(file[off + (2 - y) * 4 + x] == px[y * 4 + x]);
    CHECK(file[54 + 4 * 1 + 2] == 255);  // entry 1 red

    // A path without an extension is probed; the GIF reader recognises it.
    ConvertSource p = source();
    setPath(p.path, bare);
    REQUIRE(ferrixConvert(&p, nullptr) == 0);
    CHECK(p.formatId == 6);
    CHECK(p.width == 4);
    CHECK(p.height == 3);
    DeleteFileA(gif.c_str());
    DeleteFileA(bmp.c_str());
    DeleteFileA(bare.c_str());
}

TEST_CASE("A deep image into the 8-bit run-length BMP entry", "[fileconvert]")
{
    // The RLE entry takes 8 bits only: a 24-bit source is colour-reduced
    // in two stages, then coded with RLE8.
    std::string in = tempFile("fc_deep.bmp"), out = tempFile("fc_deep.rle");
    uint32_t colours[3] = {0x103050, 0x806040, 0x20F010};
    fmt_test::SaveFile(in, Bmp24(40, 6, [&](int x, int) { return colours[(x / 10) % 3]; }));
    ConvertSource s = source();
    setPath(s.path, in);
    ConvertTarget t = target();
    setPath(t.path, out);
    REQUIRE(ferrixConvert(&s, &t) == 0);
    CHECK(t.subFormat == 1);
    Bytes file = fmt_test::LoadFile(out);
    REQUIRE(file.size() > 54);
    CHECK(fmt_test::GetLe32(file, 30) == 1u);  // RLE8
    CHECK(fmt_test::GetLe16(file, 28) == 8u);
    CHECK(fmt_test::GetLe32(file, 2) == file.size());
    CHECK(file.size() < 54 + 1024 + 40 * 6);

    ConvertSource r = source();
    setPath(r.path, out);
    HGLOBAL back = nullptr;
    ConvertTarget m = target();
    m.resultDib = &back;
    m.depth = 24;
    REQUIRE(ferrixConvert(&r, &m) == 0);
    auto widen = [](uint32_t c) {
        uint32_t v = 0;
        for (int k = 0; k < 3; ++k) {
            uint32_t c5 = ((c >> (8 * k)) & 255) >> 3;
            v |= (c5 * 8 + c5 / 4) << (8 * k);
        }
        return v;
    };
    for (int x = 0; x < 40; x += 3) CHECK(dibPixel(back, x, 2) == widen(colours[(x / 10) % 3]));
    GlobalFree(back);
    DeleteFileA(in.c_str());
    DeleteFileA(out.c_str());
}

TEST_CASE("Memory bitmap to a PICT file", "[fileconvert]")
{
    HGLOBAL dib = makeDib(10, 5, 24, [](int x, int y) { return Rgb(x, y); });
    std::string path = tempFile("fc_out.pct");
    ConvertSource s = source();
    s.hDib = dib;
    ConvertTarget t = target();
    setPath(t.path, path);
    REQUIRE(ferrixConvert(&s, &t) == 0);
    CHECK(t.formatId == 17);
    CHECK(t.depth == 32);
    Bytes file = fmt_test::LoadFile(path);
    REQUIRE(file.size() > 512 + 150);
    CHECK(fmt_test::GetBe16(file, 512) == file.size() - 512);
    CHECK(fmt_test::GetBe16(file, 512 + 6) == 5u);
    CHECK(fmt_test::GetBe16(file, file.size() - 2) == 0x00FFu);
    GlobalFree(dib);
    DeleteFileA(path.c_str());
}

TEST_CASE("Bad files through the driver", "[fileconvert]")
{
    Bytes good = Bmp24(3, 2, Rgb);
    Bytes truncated(good.begin(), good.end() - 5);
    Bytes wrongMagic = good;
    wrongMagic[0] = 'X';
    struct { const char* name; Bytes data; uint32_t flags; int rc; uint16_t id; } cases[] = {
        {"fc_trunc.bmp", truncated, 0, FX_E_READ, 0},
        {"fc_magic.bmp", wrongMagic, 0, FX_E_FORMAT, 0},
        {"fc_isgif.bmp", Gif(2, 1, {1, 2}), 0x80000000u, 0, 6},  // the probe finds the GIF reader
        {"fc_unknown.xyz", good, 0, FX_E_NOFILTER, 0},
    };
    for (auto& c : cases) {
        INFO(c.name);
        std::string path = tempFile(c.name);
        fmt_test::SaveFile(path, c.data);
        ConvertSource s = source();
        s.flags = c.flags;
        setPath(s.path, path);
        HGLOBAL dib = nullptr;
        ConvertTarget t = target();
        t.resultDib = &dib;
        CHECK(ferrixConvert(&s, &t) == c.rc);
        if (c.rc == 0) CHECK(s.formatId == c.id);
        if (dib) GlobalFree(dib);
        DeleteFileA(path.c_str());
    }
}

TEST_CASE("Top-down files into memory bitmaps: TIFF, PCX, FLC and Targa", "[fileconvert]")
{
    // Each file is 3 x 2 at 8 bits with rows 0 = {1, 2, 3}, 1 = {4, 5, 6}.
    Bytes tiff;
    fmt_test::Str(tiff, "II");
    fmt_test::Le16(tiff, 42);
    fmt_test::Le32(tiff, 16);
    fmt_test::Append(tiff, Bytes{1, 2, 3, 4, 5, 6, 0, 0});
    const uint32_t tags[][3] = {{256, 3, 3}, {257, 3, 2}, {258, 3, 8}, {262, 3, 1}, {273, 4, 8}, {279, 4, 6}};
    fmt_test::Le16(tiff, 6);
    for (auto& tg : tags) {
        fmt_test::Le16(tiff, tg[0]);
        fmt_test::Le16(tiff, tg[1]);
        fmt_test::Le32(tiff, 1);
        fmt_test::Le32(tiff, tg[2]);
    }
    fmt_test::Le32(tiff, 0);

    Bytes pcx(128, 0);
    pcx[0] = 10;
    pcx[1] = 5;
    pcx[2] = 1;
    pcx[3] = 8;
    pcx[8] = 2;
    pcx[10] = 1;
    pcx[65] = 1;
    pcx[66] = 4;
    fmt_test::Append(pcx, Bytes{1, 2, 3, 0, 4, 5, 6, 0});

    Bytes flc(128, 0);
    flc[4] = 0x12;
    flc[5] = 0xAF;
    flc[8] = 3;
    flc[10] = 2;
    flc[80] = 128;
    fmt_test::Le32(flc, 16 + 6 + 6);
    fmt_test::Le16(flc, 0xF1FA);
    fmt_test::Le16(flc, 1);
    fmt_test::Append(flc, Bytes(8, 0));
    fmt_test::Le32(flc, 6 + 6);
    fmt_test::Le16(flc, 16);
    fmt_test::Append(flc, Bytes{1, 2, 3, 4, 5, 6});

    Bytes tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 8, 0x20};
    fmt_test::Append(tga, Bytes{1, 2, 3, 4, 5, 6});

    struct { const char* name; Bytes* data; uint16_t id; } cases[] = {
        {"fc_td.tif", &tiff, 7}, {"fc_td.pcx", &pcx, 5}, {"fc_td.flc", &flc, 10}, {"fc_td.tga", &tga, 14}};
    for (auto& c : cases) {
        INFO(c.name);
        std::string path = tempFile(c.name);
        fmt_test::SaveFile(path, *c.data);
        ConvertSource s = source();
        setPath(s.path, path);
        HGLOBAL dib = nullptr;
        ConvertTarget t = target();
        t.resultDib = &dib;
        t.depth = 8;
        REQUIRE(ferrixConvert(&s, &t) == 0);
        CHECK(s.formatId == c.id);
        CHECK(dibHeader(dib).biBitCount == 8);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) CHECK(dibPixel(dib, x, y) == uint32_t(1 + x + 3 * y));
        GlobalFree(dib);
        DeleteFileA(path.c_str());
    }
}

TEST_CASE("Palette indices past the palette come out black", "[fileconvert]")
{
    // An 8-bit BMP with two colours whose pixels use indices 1, 200 and 255.
    Bytes bmp;
    fmt_test::Str(bmp, "BM");
    fmt_test::Le32(bmp, 54 + 8 + 4);
    fmt_test::Le32(bmp, 0);
    fmt_test::Le32(bmp, 54 + 8);
    fmt_test::Le32(bmp, 40);
    fmt_test::Le32(bmp, 3);
    fmt_test::Le32(bmp, 1);
    fmt_test::Le16(bmp, 1);
    fmt_test::Le16(bmp, 8);
    fmt_test::Le32(bmp, 0);
    fmt_test::Le32(bmp, 4);
    fmt_test::Le32(bmp, 0);
    fmt_test::Le32(bmp, 0);
    fmt_test::Le32(bmp, 2);
    fmt_test::Le32(bmp, 0);
    fmt_test::Le32(bmp, 0x000000);
    fmt_test::Le32(bmp, 0x336699);
    fmt_test::Append(bmp, Bytes{1, 200, 255, 0});
    // A GIF with a two-colour table whose pixels use indices 1 and 3.
    Bytes gif;
    fmt_test::Str(gif, "GIF89a");
    fmt_test::Le16(gif, 2);
    fmt_test::Le16(gif, 1);
    fmt_test::Append(gif, Bytes{0x80, 0, 0, 0, 0, 0, 0x33, 0x66, 0x99});
    fmt_test::Append(gif, Bytes{0x2C, 0, 0, 0, 0, 2, 0, 1, 0, 0, 2});
    // 3-bit codes: clear (4), 1, 3, end (5)
    fmt_test::Append(gif, Bytes{2, 0xCC, 0x0A, 0, 0x3B});
    fmt_test::Decoded raw = fmt_test::Decode(fmt_test::Entry(GIFEnumReadFormats, 0).u.read.open, gif);
    REQUIRE(raw.rc == 0);
    CHECK(raw.rows[0][0] == 1);
    CHECK(raw.rows[0][1] == 3);  // past the two-colour table
    struct { const char* name; Bytes* data; int width; uint32_t want[3]; } cases[] = {
        {"fc_pal.bmp", &bmp, 3, {0x336699, 0, 0}}, {"fc_pal.gif", &gif, 2, {0x336699, 0, 0}}};
    for (auto& c : cases) {
        INFO(c.name);
        std::string path = tempFile(c.name);
        fmt_test::SaveFile(path, *c.data);
        ConvertSource s = source();
        setPath(s.path, path);
        HGLOBAL dib = nullptr;
        ConvertTarget t = target();
        t.resultDib = &dib;
        t.depth = 24;
        REQUIRE(ferrixConvert(&s, &t) == 0);
        for (int x = 0; x < c.width; ++x) CHECK(dibPixel(dib, x, 0) == c.want[x]);
        GlobalFree(dib);
        DeleteFileA(path.c_str());
    }
}
