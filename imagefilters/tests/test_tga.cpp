// Targa filter: entries, hand-made files, the packet coder, round trips and
// bad input.
#include <catch2/catch.hpp>

#include "fmt_helpers.h"

using namespace fmt_test;

namespace ferrix {
uint32_t TgaCodeRow(const uint8_t* p, uint32_t n, uint32_t pb, uint8_t* out);
}

namespace {

FxReaderOpen ReaderOpen() { return Entry(TGAEnumReadFormats, 0).u.read.open; }
FxWriterOpen WriterOpen() { return Entry(TGAEnumWriteFormats, 0).u.write.open; }

Bytes Header(int type, int w, int h, int depth, int desc = 0, int mapType = 0, int mapLen = 0, int mapSize = 0,
             int idLen = 0)
{
    Bytes b;
    Put8(b, idLen);
    Put8(b, mapType);
    Put8(b, type);
    Le16(b, 0);
    Le16(b, mapLen);
    Put8(b, mapSize);
    Le16(b, 3);
    Le16(b, 4);
    Le16(b, w);
    Le16(b, h);
    Put8(b, depth);
    Put8(b, desc);
    return b;
}

Bytes Row(std::initializer_list<int> v)
{
    Bytes r;
    for (int x : v) r.push_back(uint8_t(x));
    return r;
}

}  // namespace

TEST_CASE("Targa entries", "[tga]")
{
    int left = -5;
    FormatRecord r = Entry(TGAEnumReadFormats, 0, &left);
    CHECK(left == 0);
    CHECK(std::string(r.name) == "TGA, Truevision");
    CHECK(r.formatId == 14);
    CHECK(r.depthMask == 0xB2);
    CHECK(r.u.read.probe == 0);
    CHECK(r.u.read.options == 19);
    CHECK(std::memcmp(r.u.read.extensions, "TGA\0VST\0PIX\0WIN\0\0", 17) == 0);
    FormatRecord w = Entry(TGAEnumWriteFormats, 0, &left);
    CHECK(left == 0);
    CHECK(std::memcmp(w.u.write.extensions, "TGA\0\0", 5) == 0);
    CHECK(TGAEnumReadFormats(1, &r) == -1);
    CHECK(TGAEnumWriteFormats(1, &r) == -1);
}

TEST_CASE("Targa reader: hand-made files", "[tga]")
{
    SECTION("colour-mapped with an id field and a 16-bit colour map")
    {
        Bytes b = Header(1, 3, 1, 8, 0x20, 1, 2, 16, 2);
        Append(b, Row({'h', 'i'}));
        Le16(b, 0x7C00);  // red
        Le16(b, 0x001F);  // blue
        Append(b, Row({1, 0, 1}));
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        CHECK(d.s.rowOrder == 0x600);
        CHECK(d.s.paletteCount == 2);
        CHECK(d.s.bytesPerRow == 3);
        REQUIRE(d.palette.size() == 2);
        CHECK((d.palette[0].rgbRed == 255 && d.palette[0].rgbBlue == 0));
        CHECK((d.palette[1].rgbBlue == 255 && d.palette[1].rgbRed == 0));
        CHECK(d.rows[0] == Row({1, 0, 1}));
    }
    SECTION("run-length true colour carries a packet over the row end")
    {
        // 2 x 2 at 24 bits: run of 3 (1,2,3), then raw 1 (9,8,7).
        Bytes b = Header(10, 2, 2, 24);
        Append(b, Row({0x82, 1, 2, 3, 0x00, 9, 8, 7}));
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.rc == 0);
        CHECK(d.s.rowOrder == 0x300);
        CHECK(d.rows[0] == Row({1, 2, 3, 1, 2, 3}));
        CHECK(d.rows[1] == Row({1, 2, 3, 9, 8, 7}));
    }
    SECTION("run-length colour-mapped with a 24-bit map")
    {
        Bytes b = Header(9, 4, 1, 8, 0, 1, 1, 24);
        Append(b, Row({10, 20, 30}));
        Append(b, Row({0x83, 0}));
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.rc == 0);
        CHECK(d.rows[0] == Row({0, 0, 0, 0}));
        CHECK(d.palette[0].rgbGreen == 20);
    }
    SECTION("a width of 4096 is read")
    {
        Bytes b = Header(2, 4096, 1, 16);
        Append(b, Bytes(8192, 0x11));
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.openRc == 0);
        CHECK(d.rc == 0);
        CHECK(d.rows[0].size() == 8192u);
    }
}

TEST_CASE("Targa reader: bad input", "[tga]")
{
    struct { const char* what; Bytes data; int openRc, rc; } cases[] = {
        {"short header", Bytes(10, 0), FX_E_READ, 0},
        {"grey type 3", Header(3, 2, 2, 8), FX_E_UNSUPPORTED, 0},
        {"run-length grey type 11", Header(11, 2, 2, 8), FX_E_UNSUPPORTED, 0},
        {"type 9 at 16 bits", Header(9, 2, 2, 16), FX_E_UNSUPPORTED, 0},
        {"type 10 at 8 bits", Header(10, 2, 2, 8), FX_E_UNSUPPORTED, 0},
        {"depth 15", Header(2, 2, 2, 15), FX_E_UNSUPPORTED, 0},
        {"width 4097", Header(2, 4097, 1, 24), FX_E_UNSUPPORTED, 0},
        {"width 0", Header(2, 0, 1, 24), FX_E_UNSUPPORTED, 0},
        {"short rows", [] { Bytes b = Header(2, 4, 2, 24); Append(b, Bytes(15, 1)); return b; }(), 0, FX_E_READ},
        {"short packets", [] { Bytes b = Header(10, 4, 2, 24); Append(b, Row({0x7F, 1, 2})); return b; }(), 0, FX_E_READ},
        {"short colour map", Header(1, 4, 2, 8, 0, 1, 200, 24), 0, FX_E_READ},
    };
    for (auto& c : cases) {
        INFO(c.what);
        Decoded d = Decode(ReaderOpen(), c.data);
        CHECK(d.openRc == c.openRc);
        if (d.openRc == 0) CHECK(d.rc == c.rc);
    }
}

TEST_CASE("Targa writer: packets", "[tga]")
{
    Bytes row;
    for (int i = 0; i < 200; ++i) Append(row, Row({1, 2, 3}));
    Bytes out(1024);
    uint32_t n = ferrix::TgaCodeRow(row.data(), 200, 3, out.data());
    CHECK(Bytes(out.begin(), out.begin() + n) == Row({0xFF, 1, 2, 3, 0xC7, 1, 2, 3}));
    Bytes mixed = Row({1, 0, 2, 0, 2, 0, 3, 0});  // 16-bit: 1, 2, 2, 3
    n = ferrix::TgaCodeRow(mixed.data(), 4, 2, out.data());
    CHECK(Bytes(out.begin(), out.begin() + n) == Row({0x00, 1, 0, 0x81, 2, 0, 0x00, 3, 0}));
}

TEST_CASE("Targa round trips", "[tga]")
{
    struct { int depth; bool rle; uint16_t order; } cases[] = {
        {16, false, 0x100}, {24, false, 0x400}, {32, false, 0x100}, {16, true, 0x100}, {24, true, 0x400}, {32, true, 0x100}};
    for (auto& c : cases) {
        INFO("depth " << c.depth << " rle " << c.rle);
        const int w = 300, h = 3, pb = c.depth / 8;
        std::vector<Bytes> rows;
        for (int y = 0; y < h; ++y) {
            Bytes r(size_t(w) * pb);
            for (int i = 0; i < w * pb; ++i) r[i] = uint8_t(i < 150 ? y * 5 : (i * 13 + y) & 255);
            rows.push_back(r);
        }
        ConvertTarget t = Target(w, h, c.depth);
        t.options = c.rle ? 0x8000 : 0;
        t.rowOrder = c.order;
        t.originX = 7;
        int rc = -1;
        Bytes file = Encode(WriterOpen(), t, rows, {}, &rc);
        REQUIRE(rc == 0);
        CHECK(file[2] == (c.rle ? 10 : 2));
        CHECK(file[7] == 15);
        CHECK(GetLe16(file, 8) == 7u);
        CHECK(file[17] == (c.order == 0x400 ? 0x20 : 0));
        if (c.rle) CHECK(file.size() < 18 + size_t(w) * pb * h);
        else CHECK(file.size() == 18 + size_t(w) * pb * h);
        Decoded d = Decode(ReaderOpen(), file);
        REQUIRE(d.rc == 0);
        CHECK(d.s.depth == c.depth);
        CHECK(d.rows == rows);
    }
    SECTION("the writer's capability word and a wide compressed row")
    {
        ConvertTarget t = Target(5000, 1, 32);
        REQUIRE(WriterOpen()(&t) == 0);
        CHECK(t.caps == 0x87B2u);
        t.close(&t);
        t = Target(5000, 1, 32);
        t.options = 0x8000;
        Bytes wide(5000 * 4);
        for (size_t i = 0; i < wide.size(); ++i) wide[i] = uint8_t(i * 7);
        int rc = -1;
        Bytes file = Encode(WriterOpen(), t, {wide}, {}, &rc);
        REQUIRE(rc == 0);
        CHECK(file.size() == 18 + 5000 * 4 + 40);
    }
}
