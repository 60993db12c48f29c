// BMP filter: entries, hand-made files of every coding, round trips, the
// RLE8 coder, the "bmp32" switch and bad input.
#include <catch2/catch.hpp>

#include "fmt_helpers.h"

using namespace fmt_test;

namespace ferrix {
uint32_t BmpCodeRle8(const uint8_t* p, uint32_t n, uint8_t* out);
}

namespace {

FxReaderOpen ReaderOpen()
{
    return Entry(BMPEnumReadFormats, 0).u.read.open;
}
FxWriterOpen WriterOpen(int sub)
{
    return Entry(BMPEnumWriteFormats, sub).u.write.open;
}

// A BMP with an info header: width, height (negative = top-down), depth,
// compression, palette entries (4 bytes each) and the pixel bytes.
Bytes MakeBmp(int32_t w, int32_t h, int depth, uint32_t compression, const std::vector<uint32_t>& palette,
              const Bytes& pixels, uint32_t clrUsed = 0xFFFFFFFF)
{
    Bytes b;
    uint32_t off = 54 + 4 * uint32_t(palette.size());
    Str(b, "BM");
    Le32(b, off + uint32_t(pixels.size()));
    Le32(b, 0);
    Le32(b, off);
    Le32(b, 40);
    Le32(b, uint32_t(w));
    Le32(b, uint32_t(h));
    Le16(b, 1);
    Le16(b, uint32_t(depth));
    Le32(b, compression);
    Le32(b, uint32_t(pixels.size()));
    Le32(b, 2835);
    Le32(b, 2835);
    Le32(b, clrUsed == 0xFFFFFFFF ? uint32_t(palette.size()) : clrUsed);
    Le32(b, 0);
    for (uint32_t c : palette) Le32(b, c);
    Append(b, pixels);
    return b;
}

Bytes Row(std::initializer_list<int> v)
{
    Bytes r;
    for (int x : v) r.push_back(uint8_t(x));
    return r;
}

void SetBmp32(int how)  // 0 absent, 1 DWORD 0, 2 empty string, 3 eight bytes
{
    HKEY key;
    REQUIRE(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Quillon", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) == ERROR_SUCCESS);
    RegDeleteValueA(key, "bmp32");
    DWORD zero = 0;
    uint8_t eight[8] = {};
    if (how == 1) RegSetValueExA(key, "bmp32", 0, REG_DWORD, reinterpret_cast<BYTE*>(&zero), 4);
    if (how == 2) RegSetValueExA(key, "bmp32", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
    if (how == 3) RegSetValueExA(key, "bmp32", 0, REG_BINARY, eight, 8);
    RegCloseKey(key);
}

}  // namespace

TEST_CASE("BMP entries", "[bmp]")
{
    int left = 0;
    FormatRecord r = Entry(BMPEnumReadFormats, 0, &left);
    CHECK(left == 0);
    CHECK(std::string(r.name) == "BMP, Microsoft");
    CHECK(r.formatId == 2);
    CHECK(r.depthMask == 0x8F);
    CHECK(r.u.read.probe != 0);
    CHECK(r.u.read.options == 19);
    CHECK(std::memcmp(r.u.read.extensions, "BMP\0RLE\0DIB\0\0", 13) == 0);
    CHECK(BMPEnumReadFormats(1, &r) == -1);

    struct { int index, left; const char* name; uint16_t mask; uint32_t options; } w[] = {
        {0, 2, "BMP, Microsoft", 0x8F, 19}, {1, 1, "RLE, Microsoft", 0x88, 19}, {2, 0, "RLE, Microsoft", 0xBA, 17}};
    for (auto& e : w) {
        FormatRecord x = Entry(BMPEnumWriteFormats, e.index, &left);
        CHECK(left == e.left);
        CHECK(std::string(x.name) == e.name);
        CHECK(x.depthMask == e.mask);
        CHECK(x.u.write.options == e.options);
        CHECK(x.u.write.subFormat == e.index);
        CHECK(x.formatId == 2);
    }
    CHECK(BMPEnumWriteFormats(3, &r) == -1);
    CHECK(BMPEnumWriteFormats(-1, &r) == -1);
}

TEST_CASE("BMP reader: hand-made plain files", "[bmp]")
{
    SECTION("8-bit, 3 x 2, four palette entries")
    {
        Bytes px = Row({1, 2, 3, 0, 3, 2, 1, 0});
        Decoded d = Decode(ReaderOpen(), MakeBmp(3, 2, 8, 0, {0x000000, 0xFF0000, 0x00FF00, 0x0000FF}, px));
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        CHECK(d.s.width == 3);
        CHECK(d.s.height == 2);
        CHECK(d.s.depth == 8);
        CHECK(d.s.bytesPerRow == 4);
        CHECK(d.s.rowOrder == 0x300);
        CHECK(d.s.formatId == 2);
        CHECK(d.s.paletteCount == 4);
        REQUIRE(d.palette.size() == 4);
        CHECK(d.palette[1].rgbRed == 0xFF);
        CHECK(d.palette[3].rgbBlue == 0xFF);
        CHECK(d.rows[0] == Row({1, 2, 3, 0}));
        CHECK(d.rows[1] == Row({3, 2, 1, 0}));
    }
    SECTION("a negative height is a top-down bitmap")
    {
        Decoded d = Decode(ReaderOpen(), MakeBmp(1, -2, 24, 0, {}, Row({1, 2, 3, 0, 4, 5, 6, 0})));
        REQUIRE(d.openRc == 0);
        CHECK(d.s.height == 2);
        CHECK(d.s.rowOrder == 0x600);
        CHECK(d.rows[1] == Row({4, 5, 6, 0}));
    }
    SECTION("a deep image with a colour table and no pixel offset skips the table")
    {
        Bytes b = MakeBmp(1, 1, 24, 0, {0x111111, 0x222222}, Row({7, 8, 9, 0}), 2);
        b[10] = b[11] = b[12] = b[13] = 0;  // bfOffBits 0
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.rc == 0);
        CHECK(d.s.paletteCount == 0);
        CHECK(d.rows[0] == Row({7, 8, 9, 0}));
    }
    SECTION("a core-header file with 256 colours reads 768 palette bytes")
    {
        Bytes b;
        Str(b, "BM");
        Le32(b, 0);
        Le32(b, 0);
        Le32(b, 14 + 12 + 768);
        Le32(b, 12);
        Le16(b, 2);
        Le16(b, 1);
        Le16(b, 1);
        Le16(b, 8);
        for (int i = 0; i < 256; ++i) {
            Put8(b, i);
            Put8(b, 255 - i);
            Put8(b, 7);
        }
        Append(b, Row({200, 255, 0, 0}));
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        REQUIRE(d.palette.size() == 256);
        CHECK(d.palette[200].rgbBlue == 200);
        CHECK(d.palette[200].rgbGreen == 55);
        CHECK(d.palette[255].rgbRed == 7);
        CHECK(d.rows[0] == Row({200, 255, 0, 0}));
    }
}

TEST_CASE("BMP reader: run-length codings", "[bmp]")
{
    SECTION("RLE8: runs, padded absolute stretch, end of line, delta, a run over the row end, end of image")
    {
        // 4 x 4.  Row 0: run 2 x 7, absolute 3 (9, 8, 7) + pad -> width 4 reached after 2 of them,
        // the third lies past the row's end and is dropped.  Row 1: run 3 x 5.  EOL.  Row 2: delta
        // (1, 1) -> row 3 from column 1: run 2 x 4, EOI.
        Bytes px = Row({2, 7, 0, 3, 9, 8, 7, 0, 3, 5, 0, 0, 0, 2, 1, 1, 2, 4, 0, 1});
        Decoded d = Decode(ReaderOpen(), MakeBmp(4, 4, 8, 1, {0, 0xFFFFFF}, px, 2));
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        CHECK(d.rows[0] == Row({7, 7, 9, 8}));
        CHECK(d.rows[1] == Row({5, 5, 5, 0}));
        CHECK(d.rows[2] == Row({0, 0, 0, 0}));  // skipped by the delta: not written
        CHECK(d.rows[3] == Row({0, 4, 4, 0}));
    }
    SECTION("published runs and stretches covering the row's padding end at the row's end")
    {
        // Widths not a multiple of 4: writers code runs over the padded width.  What lies past
        // the last pixel is dropped and the next row starts with the next command; two
        // independent decoders read these files the same way.
        struct {
            const char* what;
            int depth;
            uint32_t compression;
            Bytes px;
            Bytes row0, row1;
        } cases[] = {
            {"RLE8 run of 4 on 3 pixels, end of line", 8, 1, Row({4, 7, 0, 0, 3, 5, 0, 0, 0, 1}),
             Row({7, 7, 7, 0}), Row({5, 5, 5, 0})},
            {"RLE8 run of 4 on 3 pixels, no end of line", 8, 1, Row({4, 7, 3, 5, 0, 1}), Row({7, 7, 7, 0}),
             Row({5, 5, 5, 0})},
            {"RLE8 absolute stretch of 4 on 3 pixels", 8, 1, Row({0, 4, 1, 2, 3, 4, 0, 0, 3, 9, 0, 1}),
             Row({1, 2, 3, 0}), Row({9, 9, 9, 0})},
            {"RLE8 absolute stretch of 5 with its pad byte", 8, 1, Row({0, 5, 1, 2, 3, 4, 5, 0, 3, 9, 0, 1}),
             Row({1, 2, 3, 0}), Row({9, 9, 9, 0})},
            {"RLE4 run of 4 nibbles on 3 pixels", 4, 2, Row({4, 0x12, 0, 0, 3, 0x34, 0, 1}),
             Row({0x12, 0x10, 0, 0}), Row({0x34, 0x30, 0, 0})},
            {"RLE4 absolute stretch of 6 nibbles on 3 pixels", 4, 2,
             Row({0, 6, 0x12, 0x34, 0x56, 0, 3, 0x77, 0, 1}), Row({0x12, 0x30, 0, 0}), Row({0x77, 0x70, 0, 0})},
        };
        for (auto& c : cases) {
            INFO(c.what);
            Decoded d = Decode(ReaderOpen(), MakeBmp(3, 2, c.depth, c.compression,
                                                     std::vector<uint32_t>(c.depth == 8 ? 256 : 16, 0), c.px));
            REQUIRE(d.openRc == 0);
            CHECK(d.rc == 0);
            REQUIRE(d.rows.size() == 2);
            CHECK(d.rows[0] == c.row0);
            CHECK(d.rows[1] == c.row1);
        }
    }
    SECTION("RLE8 without padding (99999) and byte runs (99996)")
    {
        Bytes nopad = Row({0, 3, 1, 2, 3, 1, 9, 0, 0});
        Decoded d = Decode(ReaderOpen(), MakeBmp(4, 1, 8, 99999, {0}, nopad, 1));
        REQUIRE(d.rc == 0);
        CHECK(d.rows[0] == Row({1, 2, 3, 9}));
        Bytes runs = Row({0, 2, 2, 6, 0, 3, 1, 2, 3, 0, 1});  // escape 2 ignored
        d = Decode(ReaderOpen(), MakeBmp(5, 1, 8, 99996, {0}, runs, 1));
        REQUIRE(d.rc == 0);
        CHECK(d.rows[0] == Row({6, 6, 1, 2, 3, 0, 0, 0}));
    }
    SECTION("RLE4: nibble runs alternate, absolute nibbles pad to words")
    {
        // 6 x 1: run 3 of 0x12 -> 1 2 1; absolute 3 nibbles (0x34, 0x50) + pad; EOI.
        Bytes px = Row({3, 0x12, 0, 3, 0x34, 0x50, 0, 1});
        Decoded d = Decode(ReaderOpen(), MakeBmp(6, 1, 4, 2, std::vector<uint32_t>(16, 0), px));
        REQUIRE(d.rc == 0);
        CHECK(d.rows[0] == Row({0x12, 0x13, 0x45, 0}));
    }
    SECTION("RLE4 data as 1-bit pixels")
    {
        // 8 x 1: run 4 of 0x10 -> 1 0 1 0; absolute 4 nibbles 0x0F 0x00 -> 0 1 0 0.
        Bytes px = Row({4, 0x10, 0, 4, 0x0F, 0x00, 0, 0});
        Decoded d = Decode(ReaderOpen(), MakeBmp(8, 1, 1, 2, {0, 0xFFFFFF}, px));
        REQUIRE(d.rc == 0);
        CHECK(d.rows[0][0] == 0xA4);
    }
    SECTION("planar 24-bit run-length rows interleave blue, green, red")
    {
        // 2 x 1: blue 1 1, green 2 3 (absolute stretch needs 3: use runs), red 9 9.
        Bytes px = Row({2, 1, 1, 2, 1, 3, 2, 9, 0, 0});
        Decoded d = Decode(ReaderOpen(), MakeBmp(2, 1, 24, 1, {}, px, 0));
        REQUIRE(d.rc == 0);
        CHECK(d.rows[0] == Row({1, 2, 9, 1, 3, 9, 0, 0}));
        // An escape inside the row is refused.
        Bytes bad = Row({2, 1, 0, 0, 2, 9});
        d = Decode(ReaderOpen(), MakeBmp(2, 1, 24, 1, {}, bad, 0));
        CHECK(d.rc == FX_E_FORMAT);
    }
    SECTION("pixel runs in 3-byte units (99997)")
    {
        Bytes px;
        Append(px, Row({2, 0, 0, 10, 20, 30}));            // run of 2
        Append(px, Row({0, 0, 0, 3, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));  // 3 literal pixels
        Append(px, Row({0, 0, 0, 1, 0, 0}));               // end of image
        Decoded d = Decode(ReaderOpen(), MakeBmp(5, 1, 24, 99997, {}, px, 0));
        REQUIRE(d.rc == 0);
        CHECK(d.rows[0] == Row({10, 20, 30, 10, 20, 30, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}));
    }
}

TEST_CASE("BMP writer: RLE8 row coding", "[bmp]")
{
    uint8_t out[1024];
    Bytes same(300, 0x42);
    uint32_t n = ferrix::BmpCodeRle8(same.data(), 300, out);
    CHECK(Bytes(out, out + n) == Row({255, 0x42, 45, 0x42, 0, 0}));
    Bytes mixed = Row({1, 2, 3, 4, 4, 5, 6});
    n = ferrix::BmpCodeRle8(mixed.data(), 7, out);
    CHECK(Bytes(out, out + n) == Row({0, 3, 1, 2, 3, 0, 2, 4, 1, 5, 1, 6, 0, 0}));
}

TEST_CASE("BMP round trips", "[bmp]")
{
    SetBmp32(1);
    struct { int sub, depth, width; } cases[] = {{0, 1, 13}, {0, 4, 5}, {0, 8, 7}, {0, 24, 3},
                                                 {0, 32, 2}, {2, 16, 5}, {1, 8, 300}, {1, 8, 9}};
    for (auto& c : cases) {
        INFO("sub " << c.sub << " depth " << c.depth << " width " << c.width);
        const int h = 3;
        uint32_t bpr = (uint32_t(c.width) * c.depth + 31) / 32 * 4;
        std::vector<Bytes> rows;
        for (int y = 0; y < h; ++y) {
            Bytes r(bpr, 0);
            uint32_t used = (uint32_t(c.width) * c.depth + 7) / 8;
            for (uint32_t i = 0; i < used; ++i) r[i] = uint8_t((i * 7 + y * 3) / (c.sub == 1 ? 5 : 1));
            if (c.depth < 8 && (c.width * c.depth) % 8)  // unused low bits stay 0
                r[used - 1] &= uint8_t(0xFF << (8 - (c.width * c.depth) % 8));
            rows.push_back(r);
        }
        std::vector<RGBQUAD> pal;
        if (c.depth <= 8)
            for (int i = 0; i < (1 << c.depth); ++i) pal.push_back(RGBQUAD{uint8_t(i), uint8_t(i * 3), 9, 0});
        int rc = -1;
        Bytes file = Encode(WriterOpen(c.sub), Target(c.width, h, c.depth, uint16_t(c.sub)), rows, pal, &rc);
        REQUIRE(rc == 0);
        CHECK(GetLe32(file, 2) == file.size());
        CHECK(GetLe32(file, 30) == (c.sub == 1 ? 1u : 0u));
        Decoded d = Decode(ReaderOpen(), file);
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        CHECK(d.s.depth == c.depth);
        CHECK(d.rows == rows);
        if (c.depth <= 8) {
            REQUIRE(d.palette.size() == pal.size());
            CHECK(std::memcmp(d.palette.data(), pal.data(), pal.size() * 4) == 0);
        }
    }
    SetBmp32(0);
}

TEST_CASE("BMP writer: header bytes and the file-less DIB form", "[bmp]")
{
    std::vector<Bytes> rows = {Row({1, 2, 3, 0})};
    ConvertTarget t = Target(1, 1, 24);
    int rc = -1;
    Bytes f = Encode(WriterOpen(0), t, rows, {}, &rc);
    REQUIRE(rc == 0);
    REQUIRE(f.size() == 58u);
    CHECK(f[0] == 'B');
    CHECK(f[1] == 'M');
    CHECK(GetLe32(f, 10) == 54u);
    CHECK(GetLe32(f, 14) == 40u);
    CHECK(GetLe16(f, 26) == 1u);
    CHECK(GetLe32(f, 34) == 4u);
    t.writerState = 2;  // a DIB without file header
    Bytes dib = Encode(WriterOpen(0), t, rows, {}, &rc);
    REQUIRE(rc == 0);
    CHECK(dib.size() == 44u);
    CHECK(GetLe32(dib, 0) == 40u);
    // An RLE DIB gets biSizeImage = length - 40 - 4 x palette at offset 20.
    ConvertTarget r = Target(4, 1, 8, 1);
    r.writerState = 2;
    Bytes rle = Encode(WriterOpen(1), r, {Row({5, 5, 5, 5})}, {RGBQUAD{1, 2, 3, 0}, RGBQUAD{4, 5, 6, 0}}, &rc);
    REQUIRE(rc == 0);
    CHECK(GetLe32(rle, 20) == rle.size() - 40 - 8);
    CHECK(GetLe32(rle, 32) == 2u);
}

TEST_CASE("BMP writer: the bmp32 value switches 32-bit output on", "[bmp]")
{
    struct { int how; uint32_t caps; } cases[] = {{0, 0x38F}, {1, 0x3AF}, {2, 0x3AF}, {3, 0x38F}};
    for (auto& c : cases) {
        SetBmp32(c.how);
        ConvertTarget t = Target(1, 1, 0);
        REQUIRE(WriterOpen(0)(&t) == 0);
        CHECK(t.caps == c.caps);
        t.close(&t);
    }
    SetBmp32(0);
    struct { int sub; uint32_t caps; } subs[] = {{1, 0x388}, {2, 0x39A}};
    for (auto& c : subs) {
        ConvertTarget t = Target(1, 1, 0, uint16_t(c.sub));
        REQUIRE(WriterOpen(c.sub)(&t) == 0);
        CHECK(t.caps == c.caps);
        t.close(&t);
    }
}

TEST_CASE("BMP reader: bad input", "[bmp]")
{
    Bytes good = MakeBmp(2, 2, 8, 0, {0, 0xFFFFFF}, Row({0, 1, 0, 0, 1, 0, 0, 0}));
    auto with = [&](size_t at, uint32_t v) {
        Bytes b = good;
        b[at] = uint8_t(v);
        b[at + 1] = uint8_t(v >> 8);
        b[at + 2] = uint8_t(v >> 16);
        b[at + 3] = uint8_t(v >> 24);
        return b;
    };
    struct { const char* what; Bytes data; int openRc; } cases[] = {
        {"one byte", Row({'B'}), FX_E_READ},
        {"short file header", Bytes(good.begin(), good.begin() + 10), FX_E_READ},
        {"short info header", Bytes(good.begin(), good.begin() + 30), FX_E_READ},
        {"wrong magic", with(0, 0x4D41 | (good[2] << 16) | (good[3] << 24)), FX_E_FORMAT},
        {"header size 64", with(14, 64), FX_E_FORMAT},
        // V4 and V5 headers: the header rule knows the core and info sizes only.
        {"header size 108 (V4)", with(14, 108), FX_E_FORMAT},
        {"header size 124 (V5)", with(14, 124), FX_E_FORMAT},
        {"bit fields", with(30, 3), FX_E_UNSUPPORTED},
        {"RLE4 on 8 bits", with(30, 2), FX_E_UNSUPPORTED},
        {"title-image rows", with(30, 0x564949), FX_E_UNSUPPORTED},
        {"depth 2", with(28, 2 | (0 << 16)), FX_E_UNSUPPORTED},
        {"width too large", with(18, 70000), FX_E_UNSUPPORTED},
        {"width zero", with(18, 0), FX_E_UNSUPPORTED},
        {"height of minus 2^31", with(22, 0x80000000u), FX_E_UNSUPPORTED},
    };
    for (auto& c : cases) {
        INFO(c.what);
        Decoded d = Decode(ReaderOpen(), c.data);
        CHECK(d.openRc == c.openRc);
    }
    SECTION("truncated palette fails the prepare step, truncated pixels the row read")
    {
        Decoded d = Decode(ReaderOpen(), Bytes(good.begin(), good.begin() + 58));
        REQUIRE(d.openRc == 0);
        CHECK(d.rc == FX_E_READ);
        CHECK(d.s.priv == nullptr);
        d = Decode(ReaderOpen(), Bytes(good.begin(), good.end() - 2));
        REQUIRE(d.openRc == 0);
        CHECK(d.rc == FX_E_READ);
    }
    SECTION("truncated run-length data")
    {
        Decoded d = Decode(ReaderOpen(), MakeBmp(8, 2, 8, 1, {0}, Row({3, 1, 0, 5, 1, 2}), 1));
        REQUIRE(d.openRc == 0);
        CHECK(d.rc == FX_E_READ);
    }
    SECTION("a huge palette count is held to the depth")
    {
        Decoded d = Decode(ReaderOpen(), MakeBmp(2, 1, 1, 0, {0, 0xFFFFFF}, Row({0x40, 0, 0, 0}), 100000));
        REQUIRE(d.openRc == 0);
        CHECK(d.s.paletteCount == 2);
    }
    SECTION("a delta in 1-bit run-length data is refused, never written past the row")
    {
        Decoded d = Decode(ReaderOpen(), MakeBmp(8, 2, 1, 2, {0, 0xFFFFFF}, Row({0, 2, 5, 0, 0, 1})));
        REQUIRE(d.openRc == 0);
        CHECK(d.rc == FX_E_UNSUPPORTED);
    }
    SECTION("runs longer than the image stop at its last row")
    {
        // 2 x 2 with runs of 255: each ends at its row's end, nothing is written past them.
        Decoded d = Decode(ReaderOpen(), MakeBmp(2, 2, 8, 1, {0}, Row({255, 3, 255, 4}), 1));
        REQUIRE(d.openRc == 0);
        CHECK(d.rc == 0);
        CHECK(d.overrun == false);
        CHECK(d.rows[0] == Row({3, 3, 0, 0}));
        CHECK(d.rows[1] == Row({4, 4, 0, 0}));
        // Byte runs of our own coding carry over to the next row.
        d = Decode(ReaderOpen(), MakeBmp(2, 2, 8, 99996, {0}, Row({255, 3}), 1));
        REQUIRE(d.openRc == 0);
        CHECK(d.rc == 0);
        CHECK(d.rows[1] == Row({3, 3, 0, 0}));
    }
}
