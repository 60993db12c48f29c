// FLC / FLI reader: entry, hand-made animations with every image chunk,
// colour chunks across frames, and bad input.
#include <catch2/catch.hpp>

#include <array>

#include "fmt_helpers.h"

using namespace fmt_test;

namespace {

FxReaderOpen ReaderOpen() { return Entry(FLCEnumReadFormats, 0).u.read.open; }

Bytes FileHeader(uint16_t type, int w, int h, uint32_t firstFrame = 128)
{
    Bytes b(128, 0);
    b[4] = uint8_t(type);
    b[5] = uint8_t(type >> 8);
    b[8] = uint8_t(w);
    b[9] = uint8_t(w >> 8);
    b[10] = uint8_t(h);
    b[11] = uint8_t(h >> 8);
    b[80] = uint8_t(firstFrame);
    b[81] = uint8_t(firstFrame >> 8);
    return b;
}

Bytes Chunk(uint16_t type, const Bytes& data)
{
    Bytes b;
    Le32(b, uint32_t(6 + data.size()));
    Le16(b, type);
    Append(b, data);
    return b;
}

Bytes Frame(const std::vector<Bytes>& chunks, uint16_t magic = 0xF1FA)
{
    Bytes body;
    for (auto& c : chunks) Append(body, c);
    Bytes b;
    Le32(b, uint32_t(16 + body.size()));
    Le16(b, magic);
    Le16(b, uint32_t(chunks.size()));
    Append(b, Bytes(8, 0));
    Append(b, body);
    return b;
}

Bytes Row(std::initializer_list<int> v)
{
    Bytes r;
    for (int x : v) r.push_back(uint8_t(x));
    return r;
}

// One colour packet: skip, copy, then copy x (r, g, b).
Bytes Colours(int skip, const std::vector<std::array<int, 3>>& rgb)
{
    Bytes b;
    Le16(b, 1);
    Put8(b, skip);
    Put8(b, rgb.size() == 256 ? 0 : uint32_t(rgb.size()));
    for (auto& c : rgb)
        for (int k = 0; k < 3; ++k) Put8(b, c[k]);
    return b;
}

}  // namespace

TEST_CASE("FLC entry", "[flc]")
{
    int left = -5;
    FormatRecord r = Entry(FLCEnumReadFormats, 0, &left);
    CHECK(left == 0);
    CHECK(std::string(r.name) == "Autodesk Animations");
    CHECK(r.formatId == 10);
    CHECK(r.depthMask == 0x88);
    CHECK(r.u.read.options == 33);
    CHECK(r.u.read.probe != 0);
    CHECK(std::memcmp(r.u.read.extensions, "FLC\0FLI\0\0", 9) == 0);
    CHECK(FLCEnumReadFormats(1, &r) == -1);
}

TEST_CASE("FLC reader: hand-made animations", "[flc]")
{
    SECTION("a first frame of colours only is followed to the next frame's byte runs")
    {
        Bytes b = FileHeader(0xAF12, 5, 2, 128);
        Append(b, Frame({Chunk(4, Colours(2, {{10, 20, 30}, {255, 0, 1}})), Chunk(18, Bytes(10, 7))}));
        // Row 0: run 3 x 2, literal 2 (3, 2).  Row 1: run 9 x 1 (cut at the row end).
        Append(b, Frame({Chunk(15, Row({2, 3, 2, 0xFE, 3, 2, 1, 9, 1}))}));
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        CHECK(d.s.formatId == 10);
        CHECK(d.s.depth == 8);
        CHECK(d.s.bytesPerRow == 8);
        CHECK(d.s.rowOrder == 0x600);
        CHECK(d.rows[0] == Row({2, 2, 2, 3, 2, 0, 0, 0}));
        CHECK(d.rows[1] == Row({1, 1, 1, 1, 1, 0, 0, 0}));
        REQUIRE(d.palette.size() == 256);
        CHECK((d.palette[2].rgbRed == 10 && d.palette[2].rgbGreen == 20 && d.palette[2].rgbBlue == 30));
        CHECK(d.palette[3].rgbRed == 255);
    }
    SECTION("an FLI file reports 11; 64-level colours widen, 63 becoming 255")
    {
        Bytes b = FileHeader(0xAF11, 4, 3);
        // Byte delta: first line 1, one line: 1 packet: skip 1, copy 2 (5, 6).
        Bytes delta = Row({1, 0, 1, 0, 1, 1, 2, 5, 6});
        Append(b, Frame({Chunk(11, Colours(0, {{63, 32, 1}})), Chunk(12, delta)}));
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.rc == 0);
        CHECK(d.s.formatId == 11);
        CHECK(d.palette[0].rgbRed == 255);
        CHECK(d.palette[0].rgbGreen == 130);
        CHECK(d.palette[0].rgbBlue == 4);
        CHECK(d.rows[0] == Row({0, 0, 0, 0}));
        CHECK(d.rows[1] == Row({0, 5, 6, 0}));
        CHECK(d.rows[2] == Row({0, 0, 0, 0}));
    }
    SECTION("word delta: line skips, a last byte, copied and repeated words")
    {
        Bytes b = FileHeader(0xAF12, 5, 3);
        Bytes wd;
        Le16(wd, 2);       // two lines with data
        Le16(wd, 0xFFFF);  // skip one line
        Le16(wd, 0x8009);  // last byte 9
        Le16(wd, 1);       // one packet: skip 0, copy 1 word (1, 2)
        Append(wd, Row({0, 1, 1, 2}));
        Le16(wd, 1);       // one packet: skip 1, repeat 2 words of (7, 8)
        Append(wd, Row({1, 0xFE, 7, 8}));
        Append(b, Frame({Chunk(7, wd)}));
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.rc == 0);
        CHECK(d.rows[0] == Row({0, 0, 0, 0, 0, 0, 0, 0}));
        CHECK(d.rows[1] == Row({1, 2, 0, 0, 9, 0, 0, 0}));
        CHECK(d.rows[2] == Row({0, 7, 8, 7, 8, 0, 0, 0}));
    }
    SECTION("literal and black chunks")
    {
        Bytes b = FileHeader(0xAF12, 3, 2);
        Append(b, Frame({Chunk(16, Row({1, 2, 3, 4, 5, 6}))}));
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.rc == 0);
        CHECK(d.rows[1] == Row({4, 5, 6, 0}));
        Bytes k = FileHeader(0xAF12, 3, 2);
        Append(k, Frame({Chunk(13, Bytes())}));
        d = Decode(ReaderOpen(), k);
        REQUIRE(d.rc == 0);
        CHECK(d.rows[0] == Row({0, 0, 0, 0}));
    }
}

TEST_CASE("FLC reader: bad input", "[flc]")
{
    Bytes good = FileHeader(0xAF12, 2, 2);
    Append(good, Frame({Chunk(16, Row({1, 2, 3, 4}))}));
    struct { const char* what; Bytes data; int openRc, rc; } cases[] = {
        {"short header", Bytes(good.begin(), good.begin() + 100), FX_E_READ, 0},
        {"wrong type", FileHeader(0xAF13, 2, 2), FX_E_FORMAT, 0},
        {"zero size", FileHeader(0xAF12, 0, 2), FX_E_UNSUPPORTED, 0},
        {"wrong frame magic", [] { Bytes b = FileHeader(0xAF12, 2, 2); Append(b, Frame({}, 0xF100)); return b; }(), 0, FX_E_FORMAT},
        {"no frame", FileHeader(0xAF12, 2, 2), 0, FX_E_READ},
        {"short chunk header", Bytes(good.begin(), good.begin() + 128 + 16 + 3), 0, FX_E_READ},
        {"short literal rows", Bytes(good.begin(), good.end() - 2), 0, FX_E_READ},
        {"chunk of size 0", [] {
             Bytes b = FileHeader(0xAF12, 2, 2);
             Bytes f = Frame({Chunk(18, Bytes())});
             f[16] = f[17] = f[18] = f[19] = 0;
             Append(b, f);
             return b;
         }(), 0, FX_E_FORMAT},
        {"only colour frames", [] {
             Bytes b = FileHeader(0xAF12, 2, 2);
             Append(b, Frame({Chunk(4, Colours(0, {{1, 2, 3}}))}));
             Append(b, Frame({}));
             return b;
         }(), 0, FX_E_READ},
        {"colour chunk cut short", [] {
             Bytes b = FileHeader(0xAF12, 2, 2);
             Bytes c = Colours(0, {{1, 2, 3}});
             c.resize(c.size() - 2);
             Append(b, Frame({Chunk(4, c)}));
             return b;
         }(), 0, FX_E_READ},
    };
    for (auto& c : cases) {
        INFO(c.what);
        Decoded d = Decode(ReaderOpen(), c.data);
        CHECK(d.openRc == c.openRc);
        if (d.openRc == 0) CHECK(d.rc == c.rc);
    }
}
