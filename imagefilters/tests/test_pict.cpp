// PICT writer: entry, header bytes, row counts, PackBits planes read back by
// a small unpacker of our own, size fix-up and refusals.
#include <catch2/catch.hpp>

#include <algorithm>

#include "ff_tool.h"
#include "fmt_helpers.h"

using namespace fmt_test;

namespace ferrix {
uint32_t PictPackBits(const uint8_t* p, uint32_t n, uint32_t step, uint8_t* out);
}

namespace {

FxWriterOpen WriterOpen() { return Entry(PICTEnumWriteFormats, 0).u.write.open; }

Bytes Row(std::initializer_list<int> v)
{
    Bytes r;
    for (int x : v) r.push_back(uint8_t(x));
    return r;
}

// Reads the packed rows back into 32-bit rows (blue, green, red, alpha).
std::vector<Bytes> Unpack(const Bytes& f, int width, int height, size_t* end)
{
    std::vector<Bytes> rows;
    size_t at = 512 + 150;
    for (int y = 0; y < height; ++y) {
        size_t n;
        if (width * 4 >= 251) {
            n = GetBe16(f, at);
            at += 2;
        } else {
            n = f[at++];
        }
        Bytes planes;
        size_t stop = at + n;
        while (at < stop) {
            uint8_t c = f[at++];
            if (c < 128) {
                planes.insert(planes.end(), f.begin() + at, f.begin() + at + c + 1);
                at += c + 1;
            } else if (c > 128) {
                planes.insert(planes.end(), size_t(257 - c), f[at++]);
            }
        }
        Bytes row(size_t(width) * 4);
        if (planes.size() == row.size())
            for (int x = 0; x < width; ++x) {
                row[4 * x + 3] = planes[x];
                row[4 * x + 2] = planes[width + x];
                row[4 * x + 1] = planes[2 * width + x];
                row[4 * x] = planes[3 * width + x];
            }
        rows.push_back(row);
    }
    *end = at;
    return rows;
}

std::vector<Bytes> Picture(int w, int h)
{
    std::vector<Bytes> rows;
    for (int y = 0; y < h; ++y) {
        Bytes r(size_t(w) * 4);
        for (int x = 0; x < w; ++x) {
            r[4 * x] = uint8_t(x < w / 2 ? 10 : x * 7);
            r[4 * x + 1] = uint8_t(y);
            r[4 * x + 2] = uint8_t(x * 3 + y);
            r[4 * x + 3] = 255;
        }
        rows.push_back(r);
    }
    return rows;
}

}  // namespace

TEST_CASE("PICT entry", "[pict]")
{
    int left = -5;
    FormatRecord r = Entry(PICTEnumWriteFormats, 0, &left);
    CHECK(left == 0);
    CHECK(std::string(r.name) == "PICT, Apple");
    CHECK(r.formatId == 17);
    CHECK(r.depthMask == 0xA0);
    CHECK(r.u.write.options == 19);
    CHECK(r.u.write.subFormat == 0);
    CHECK(std::memcmp(r.u.write.extensions, "PCT\0PICT\0PIC\0\0", 14) == 0);
    CHECK(PICTEnumWriteFormats(1, &r) == -1);
    ConvertTarget t = Target(1, 1, 32);
    REQUIRE(WriterOpen()(&t) == 0);
    CHECK(t.caps == 0x6A0u);
}

TEST_CASE("PICT writer: PackBits", "[pict]")
{
    uint8_t out[64];
    Bytes same(130, 5);
    uint32_t n = ferrix::PictPackBits(same.data(), 130, 1, out);
    CHECK(Bytes(out, out + n) == Row({129, 5, 255, 5}));  // 128, then 2
    Bytes mixed = Row({1, 2, 3, 3, 4});
    n = ferrix::PictPackBits(mixed.data(), 5, 1, out);
    CHECK(Bytes(out, out + n) == Row({1, 1, 2, 255, 3, 0, 4}));
    Bytes strided = Row({7, 0, 7, 0, 8, 0});
    n = ferrix::PictPackBits(strided.data(), 3, 2, out);
    CHECK(Bytes(out, out + n) == Row({255, 7, 0, 8}));
}

TEST_CASE("PICT writer: header, rows and size", "[pict]")
{
    struct { int w, h; } cases[] = {{62, 3}, {63, 2}, {5, 1}};
    for (auto& c : cases) {
        INFO("width " << c.w);
        auto rows = Picture(c.w, c.h);
        int rc = -1;
        Bytes f = Encode(WriterOpen(), Target(c.w, c.h, 32), rows, {}, &rc);
        REQUIRE(rc == 0);
        REQUIRE(f.size() > 512 + 150);
        CHECK(std::count(f.begin(), f.begin() + 512, 0) == 512);  // the preamble
        const size_t H = 512;
        CHECK(GetBe16(f, H) == ((f.size() - 512) & 0xFFFF));
        CHECK(GetBe16(f, H + 6) == uint32_t(c.h));
        CHECK(GetBe16(f, H + 8) == uint32_t(c.w));
        CHECK(GetBe16(f, H + 10) == 0x0011u);
        CHECK(GetBe16(f, H + 12) == 0x02FFu);
        CHECK(GetBe16(f, H + 14) == 0x0C00u);
        CHECK(GetBe16(f, H + 16) == 0xFFFEu);
        CHECK(GetBe16(f, H + 20) == 72u);
        CHECK(GetBe16(f, H + 40) == 0x00A1u);
        CHECK(GetBe16(f, H + 42) == 498u);
        CHECK(GetBe16(f, H + 44) == 22u);
        CHECK(std::memcmp(&f[H + 46], "8BIM", 4) == 0);
        CHECK(GetBe16(f, H + 56) == uint32_t(c.h));
        CHECK(GetBe16(f, H + 68) == 1u);
        CHECK(GetBe16(f, H + 70) == 10u);
        CHECK(GetBe16(f, H + 80) == 0x009Au);
        CHECK(GetBe16(f, H + 84) == 0x00FFu);
        CHECK(GetBe16(f, H + 86) == (uint32_t(c.w) * 4 | 0x8000));
        CHECK(GetBe16(f, H + 98) == 4u);
        CHECK(GetBe16(f, H + 112) == 16u);
        CHECK(GetBe16(f, H + 114) == 32u);
        CHECK(GetBe16(f, H + 116) == 4u);
        CHECK(GetBe16(f, H + 118) == 8u);
        CHECK(GetBe16(f, H + 146) == uint32_t(c.w));
        CHECK(GetBe16(f, H + 148) == 64u);
        size_t end = 0;
        CHECK(Unpack(f, c.w, c.h, &end) == rows);
        // Packed rows of odd total length get one pad byte before the end opcode.
        size_t packed = end - (512 + 150);
        CHECK(f.size() == end + (packed & 1) + 2);
        CHECK(GetBe16(f, f.size() - 2) == 0x00FFu);
    }
    SECTION("62 pixels use one-byte row counts, 63 two-byte counts")
    {
        int rc;
        Bytes a = Encode(WriterOpen(), Target(62, 1, 32), Picture(62, 1), {}, &rc);
        Bytes b = Encode(WriterOpen(), Target(63, 1, 32), Picture(63, 1), {}, &rc);
        size_t endA = 0, endB = 0;
        Unpack(a, 62, 1, &endA);
        Unpack(b, 63, 1, &endB);
        CHECK(a[662] == endA - 663);
        CHECK(GetBe16(b, 662) == endB - 664);
    }
    SECTION("a picture above 65535 bytes stores its size modulo 65536")
    {
        const int w = 400, h = 60;
        std::vector<Bytes> rows;
        for (int y = 0; y < h; ++y) {
            Bytes r(size_t(w) * 4);
            for (size_t i = 0; i < r.size(); ++i) r[i] = uint8_t(i * 31 + y * 7);
            rows.push_back(r);
        }
        int rc = -1;
        Bytes f = Encode(WriterOpen(), Target(w, h, 32), rows, {}, &rc);
        REQUIRE(rc == 0);
        REQUIRE(f.size() - 512 > 65535u);
        CHECK(GetBe16(f, 512) == ((f.size() - 512) % 65536));
    }
}

TEST_CASE("PICT writer: rows shorter than 8 bytes are stored unpacked", "[pict]")
{
    // One pixel per row is 4 row bytes: no byte count, no packing.
    auto rows = Picture(1, 3);
    int rc = -1;
    Bytes f = Encode(WriterOpen(), Target(1, 3, 32), rows, {}, &rc);
    REQUIRE(rc == 0);
    REQUIRE(f.size() == 512 + 150 + 3 * 4 + 2);
    for (int y = 0; y < 3; ++y) {
        INFO("row " << y);
        const uint8_t* p = &f[512 + 150 + 4 * y];
        CHECK(Bytes(p, p + 4) == Bytes({rows[y][3], rows[y][2], rows[y][1], rows[y][0]}));
    }
    CHECK(GetBe16(f, f.size() - 2) == 0x00FFu);
}

TEST_CASE("PICT writer: the ffmpeg tool reads our pictures back", "[pict][ffmpeg]")
{
    // The tool reads only rows of more than 250 bytes (two-byte counts): narrower pictures are
    // checked by their bytes above.
    struct { int w, h; } cases[] = {{63, 4}, {70, 3}, {300, 2}};
    for (auto& c : cases) {
        INFO(c.w << " x " << c.h);
        std::vector<Bytes> rows;
        for (int y = 0; y < c.h; ++y) {
            Bytes r(size_t(c.w) * 4);
            for (int x = 0; x < c.w; ++x) {
                r[4 * x] = uint8_t(40 + 9 * x);
                r[4 * x + 1] = uint8_t(200 - 13 * y);
                r[4 * x + 2] = uint8_t((x + y) & 1 ? 250 : 3);
                r[4 * x + 3] = 255;
            }
            rows.push_back(r);
        }
        int rc = -1;
        Bytes f = Encode(WriterOpen(), Target(c.w, c.h, 32), rows, {}, &rc);
        REQUIRE(rc == 0);
        std::string path = ff_tool::TempFile("pict.pct");
        REQUIRE(SaveFile(path, f));
        Bytes px = ff_tool::Decode(path, "bgr24", "qdraw_pipe");
        DeleteFileA(path.c_str());
        REQUIRE(px.size() == size_t(c.w) * c.h * 3);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                const uint8_t* q = &px[(size_t(y) * c.w + x) * 3];
                const uint8_t* r = &rows[y][4 * x];
                INFO("pixel " << x << ", " << y);
                CHECK((q[0] == r[0] && q[1] == r[1] && q[2] == r[2]));
            }
    }
}

TEST_CASE("PICT writer: refusals", "[pict]")
{
    struct { int w, h, depth; } cases[] = {{4, 4, 24}, {4096, 1, 32}, {1, 40000, 32}};
    for (auto& c : cases) {
        INFO(c.w << " x " << c.h << " at " << c.depth);
        int rc = 0;
        Encode(WriterOpen(), Target(c.w, c.h, c.depth), {}, {}, &rc);
        CHECK(rc == FX_E_UNSUPPORTED);
    }
}
