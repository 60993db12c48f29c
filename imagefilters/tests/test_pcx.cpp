// PCX reader: entry, hand-made files of every layout, palettes and bad input.
#include <catch2/catch.hpp>

#include "fmt_helpers.h"

using namespace fmt_test;

namespace {

FxReaderOpen ReaderOpen() { return Entry(PCXEnumReadFormats, 0).u.read.open; }

Bytes Header(int version, int bits, int planes, int w, int h, int bpl, int paletteType = 1, int encoding = 1,
             int maker = 10)
{
    Bytes b(128, 0);
    b[0] = uint8_t(maker);
    b[1] = uint8_t(version);
    b[2] = uint8_t(encoding);
    b[3] = uint8_t(bits);
    b[4] = 2;  // xmin 2
    b[6] = 1;  // ymin 1
    b[8] = uint8_t(2 + w - 1);
    b[9] = uint8_t((2 + w - 1) >> 8);
    b[10] = uint8_t(1 + h - 1);
    b[11] = uint8_t((1 + h - 1) >> 8);
    for (int i = 0; i < 48; ++i) b[16 + i] = uint8_t(i * 5);
    b[65] = uint8_t(planes);
    b[66] = uint8_t(bpl);
    b[67] = uint8_t(bpl >> 8);
    b[68] = uint8_t(paletteType);
    return b;
}

Bytes Row(std::initializer_list<int> v)
{
    Bytes r;
    for (int x : v) r.push_back(uint8_t(x));
    return r;
}

}  // namespace

TEST_CASE("PCX entry", "[pcx]")
{
    int left = -5;
    FormatRecord r = Entry(PCXEnumReadFormats, 0, &left);
    CHECK(left == 0);
    CHECK(std::string(r.name) == "PC Paintbrush");
    CHECK(r.formatId == 5);
    CHECK(r.depthMask == 0x8F);
    CHECK(r.u.read.probe != 0);
    CHECK(std::memcmp(r.u.read.extensions, "PCX\0\0", 5) == 0);
    CHECK(PCXEnumReadFormats(1, &r) == -1);
}

TEST_CASE("PCX reader: hand-made files", "[pcx]")
{
    SECTION("8 bits, one plane, with the trailing 256-colour palette")
    {
        Bytes b = Header(5, 8, 1, 5, 2, 6);
        // Row 0: run of 3 x 0xC5 (a literal above 0xBF coded as a run), 1, 2, pad 0.
        Append(b, Row({0xC3, 0xC5, 1, 2, 0}));
        // Row 1: 0xC1 0x00 gives one 0 byte; then a run of 5 x 7.
        Append(b, Row({0xC1, 0x00, 0xC5, 7}));
        Put8(b, 12);
        for (int i = 0; i < 256; ++i) {
            Put8(b, i);
            Put8(b, 0);
            Put8(b, 255 - i);
        }
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        CHECK(d.s.width == 5);
        CHECK(d.s.height == 2);
        CHECK(d.s.depth == 8);
        CHECK(d.s.rowOrder == 0x600);
        CHECK(d.s.bytesPerRow == 8);
        CHECK(d.s.paletteCount == 256);
        CHECK(d.rows[0] == Row({0xC5, 0xC5, 0xC5, 1, 2, 0, 0, 0}));
        CHECK(d.rows[1] == Row({0, 7, 7, 7, 7, 7, 0, 0}));
        REQUIRE(d.palette.size() == 256);
        CHECK((d.palette[9].rgbRed == 9 && d.palette[9].rgbBlue == 246));
    }
    SECTION("8 bits without the 12 marker has no palette of its own")
    {
        Bytes b = Header(5, 8, 1, 4, 1, 4);
        Append(b, Row({1, 2, 3, 4}));
        Append(b, Bytes(800, 0));
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.openRc == 0);
        CHECK(d.s.paletteCount == 0);
        CHECK(d.rows[0] == Row({1, 2, 3, 4}));
    }
    SECTION("three planes interleave red, green and blue lines")
    {
        Bytes b = Header(5, 8, 3, 2, 1, 2);
        Append(b, Row({10, 11, 20, 21, 30, 31}));
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.rc == 0);
        CHECK(d.s.depth == 24);
        CHECK(d.s.paletteCount == 0);
        CHECK(d.rows[0] == Row({30, 20, 10, 31, 21, 11, 0, 0}));
    }
    SECTION("four bit planes combine into nibbles, plane 0 the lowest bit, header palette")
    {
        Bytes b = Header(5, 1, 4, 3, 1, 1);
        Append(b, Row({0x80, 0x40, 0x20, 0xC1, 0xE0}));  // pixel 0: 1+8, pixel 1: 2+8, pixel 2: 4+8
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.rc == 0);
        CHECK(d.s.depth == 4);
        CHECK(d.s.paletteCount == 16);
        CHECK(d.rows[0] == Row({0x9A, 0xC0, 0, 0}));
        REQUIRE(d.palette.size() == 16);
        CHECK(d.palette[1].rgbRed == 15);
        CHECK(d.palette[1].rgbGreen == 20);
        CHECK(d.palette[1].rgbBlue == 25);
    }
    SECTION("one bit, one plane, with a grey palette type")
    {
        Bytes b = Header(3, 1, 1, 10, 1, 2);
        Append(b, Row({0xA5, 0xC1, 0xC0}));
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.rc == 0);
        CHECK(d.s.depth == 1);
        CHECK(d.s.paletteCount == 2);
        CHECK(d.rows[0] == Row({0xA5, 0xC0, 0, 0}));
        CHECK(d.palette[1].rgbRed == 255);
    }
    SECTION("a line length larger than the row never writes past the row")
    {
        Bytes b = Header(5, 8, 1, 2, 1, 300);
        Append(b, Row({0xFF, 9, 0xFF, 9, 0xFF, 9, 0xFF, 9, 0xC4, 9}));  // 63 * 4 + 4 + ... = 256
        Append(b, Bytes(44, 9));
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.rc == 0);
        CHECK(d.rows[0] == Row({9, 9, 9, 9}));
    }
}

TEST_CASE("PCX reader: bad input", "[pcx]")
{
    struct { const char* what; Bytes data; int openRc, rc; } cases[] = {
        {"short header", Bytes(100, 10), FX_E_READ, 0},
        {"maker 9", Header(5, 8, 1, 2, 2, 2, 1, 1, 9), FX_E_FORMAT, 0},
        {"version 2", Header(2, 8, 1, 2, 2, 2), FX_E_UNSUPPORTED, 0},
        {"version 4", Header(4, 8, 1, 2, 2, 2), FX_E_UNSUPPORTED, 0},
        {"encoding 0", Header(5, 8, 1, 2, 2, 2, 1, 0), FX_E_UNSUPPORTED, 0},
        {"2 bits x 1 plane", Header(5, 2, 1, 2, 2, 2), FX_E_UNSUPPORTED, 0},
        {"8 bits x 4 planes", Header(5, 8, 4, 2, 2, 2), FX_E_UNSUPPORTED, 0},
        {"zero line length", Header(5, 8, 1, 2, 2, 0), FX_E_UNSUPPORTED, 0},
        {"truncated data", [] { Bytes b = Header(5, 8, 1, 4, 2, 4); Append(b, Row({0xC9})); return b; }(), 0, FX_E_READ},
    };
    for (auto& c : cases) {
        INFO(c.what);
        Decoded d = Decode(ReaderOpen(), c.data);
        CHECK(d.openRc == c.openRc);
        if (d.openRc == 0) CHECK(d.rc == c.rc);
    }
    SECTION("xmax below xmin")
    {
        Bytes b = Header(5, 8, 1, 2, 2, 2);
        b[8] = 0;
        b[9] = 0;
        CHECK(Decode(ReaderOpen(), b).openRc == FX_E_UNSUPPORTED);
    }
}
