// HKF filter: block-transform strips in a BMP container.  Round trips through
// the writer and the reader, the file layout against strips coded directly
// with the graphics core's scanlines, stored rows, the plain fallback and
// damaged files.
#include <catch2/catch.hpp>

#include <cstdlib>

#include "extra.h"
#include "fmt_helpers.h"

extern "C" {
int WINAPI HKFEnumReadFormats(int, FormatRecord*);
int WINAPI HKFEnumWriteFormats(int, FormatRecord*);
int WINAPI LZWEnumReadFormats(int, FormatRecord*);
struct HkfState {
    LONG result, second;
};
HkfState* WINAPI BeginHKFEncodeScanline(LONG width, LONG height);
LONG WINAPI HKFEncodeScanline(BYTE* output, const DWORD* line, HkfState* state);
LONG WINAPI EndHKFEncodeScanline(HkfState* state);
}

using namespace fmt_test;

namespace {

FxReaderOpen ReaderOpen() { return Entry(HKFEnumReadFormats, 0).u.read.open; }
FxWriterOpen WriterOpen() { return Entry(HKFEnumWriteFormats, 0).u.write.open; }

// 32-bit rows (file order) of flat 32 x 16 tiles, each its own colour: the
// codec keeps flat blocks within a step or two.
std::vector<Bytes> Tiles(int w, int h)
{
    std::vector<Bytes> rows;
    for (int y = 0; y < h; ++y) {
        Bytes r(size_t(w) * 4);
        for (int x = 0; x < w; ++x) {
            int tx = x / 32, ty = y / 16;
            r[4 * x] = uint8_t(40 + (tx * 37) % 180);
            r[4 * x + 1] = uint8_t(60 + (ty * 53 + tx * 11) % 150);
            r[4 * x + 2] = uint8_t(30 + (tx * 7 + ty * 29) % 200);
            r[4 * x + 3] = 255;
        }
        rows.push_back(r);
    }
    return rows;
}

int MaxError(const std::vector<Bytes>& a, const std::vector<Bytes>& b)
{
    int worst = 0;
    for (size_t y = 0; y < a.size() && y < b.size(); ++y)
        for (size_t i = 0; i < a[y].size() && i < b[y].size(); ++i)
            if (i % 4 != 3 && std::abs(int(a[y][i]) - int(b[y][i])) > worst) worst = std::abs(int(a[y][i]) - int(b[y][i]));
    return worst;
}

Bytes Header(int w, int h, uint32_t dataSize)
{
    Bytes b;
    Str(b, "BM");
    Le32(b, 54 + dataSize);
    Le32(b, 0);
    Le32(b, 54);
    Le32(b, 40);
    Le32(b, uint32_t(w));
    Le32(b, uint32_t(h));
    Le16(b, 1);
    Le16(b, 24);
    Le32(b, 99995);
    Le32(b, dataSize);
    Append(b, Bytes(16, 0));
    return b;
}

}  // namespace

TEST_CASE("HKF entries", "[hkf]")
{
    for (FxEnumFormats e : {HKFEnumReadFormats, HKFEnumWriteFormats}) {
        int left = -9;
        FormatRecord r = Entry(e, 0, &left);
        CHECK(left == 0);
        CHECK(std::memcmp(&r.form, "HKF", 4) == 0);
        CHECK(std::string(r.name) == "Tarvo Works");
        CHECK(r.formatId == 3);
        CHECK(r.depthMask == 0xA0);
        CHECK(e(1, &r) == -1);
    }
    ConvertTarget t = Target(4, 4, 0);
    REQUIRE(WriterOpen()(&t) == 0);
    CHECK(t.caps == 0x103A0u);
    CHECK(t.formatId == 3);
    t.close(&t);
}

TEST_CASE("HKF round trips: strips of 1024 pixels, each line at its column", "[hkf]")
{
    struct { int w, h; } cases[] = {{1500, 20}, {64, 16}, {17, 9}, {1024, 33}, {2049, 3}};
    for (auto& c : cases) {
        INFO(c.w << " x " << c.h);
        auto rows = Tiles(c.w, c.h);
        int rc = -1;
        Bytes file = Encode(WriterOpen(), Target(c.w, c.h, 32), rows, {}, &rc, "hkf_rt.tmp");
        REQUIRE(rc == 0);
        CHECK(GetLe16(file, 28) == 24u);
        CHECK(GetLe32(file, 30) == 99995u);
        const uint32_t stored = GetLe32(file, 34);
        CHECK(stored < uint32_t(c.w) * c.h * 4);
        CHECK(file.size() == 54 + stored);
        CHECK(GetLe32(file, 2) == file.size());
        Decoded d = Decode(ReaderOpen(), file);
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        CHECK_FALSE(d.overrun);
        CHECK(d.s.depth == 32);
        CHECK(d.s.bytesPerRow == uint32_t(c.w) * 4);
        CHECK(d.s.rowOrder == 0x300);
        CHECK(d.s.formatId == 3);
        // Flat tiles come back within the codec's rounding of the colour planes.
        CHECK(MaxError(d.rows, rows) <= 8);
    }
}

TEST_CASE("HKF file layout: strips left to right, 16-line streams first file row first", "[hkf]")
{
    const int w = 1500, h = 20;
    auto rows = Tiles(w, h);
    // Two different halves of the picture must not trade places.
    for (int y = 0; y < h; ++y)
        for (int x = 1024; x < w; ++x) rows[y][4 * x + 2] = 250;
    int rc = -1;
    Bytes file = Encode(WriterOpen(), Target(w, h, 32), rows, {}, &rc, "hkf_layout.tmp");
    REQUIRE(rc == 0);
    Bytes expected;
    std::vector<BYTE> out(65536);
    for (int x0 : {0, 1024}) {
        int sw = x0 ? w - 1024 : 1024;
        HkfState* st = BeginHKFEncodeScanline(sw, h);
        REQUIRE(st);
        for (int y = 0; y < h; ++y) {
            REQUIRE(HKFEncodeScanline(out.data(), reinterpret_cast<const DWORD*>(&rows[y][4 * x0]), st) == 1);
            if (st->result > 0) expected.insert(expected.end(), out.begin(), out.begin() + st->result);
        }
        EndHKFEncodeScanline(st);
    }
    CHECK(Bytes(file.begin() + 54, file.end()) == expected);
    Decoded d = Decode(ReaderOpen(), file);
    REQUIRE(d.rc == 0);
    CHECK(d.rows[5][4 * 1100 + 2] >= 246);
    CHECK(d.rows[5][4 * 1000 + 2] < 240);
}

TEST_CASE("HKF stored rows and the plain fallback", "[hkf]")
{
    SECTION("a data size of height x width x 4 is read as plain 32-bit rows")
    {
        Bytes px = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        Bytes file = Header(2, 2, 16);
        Append(file, px);
        Decoded d = Decode(ReaderOpen(), file);
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        CHECK(d.rows[0] == Bytes(px.begin(), px.begin() + 8));
        CHECK(d.rows[1] == Bytes(px.begin() + 8, px.end()));
    }
    SECTION("a writer whose coded data is larger stores the plain rows and their size")
    {
        std::vector<Bytes> rows = {Bytes({9, 8, 7, 255})};
        int rc = -1;
        Bytes file = Encode(WriterOpen(), Target(1, 1, 32), rows, {}, &rc, "hkf_plain.tmp");
        REQUIRE(rc == 0);
        CHECK(GetLe32(file, 34) == 4u);
        CHECK(file.size() == 58u);
        Decoded d = Decode(ReaderOpen(), file);
        REQUIRE(d.rc == 0);
        CHECK(d.rows[0] == rows[0]);
    }
    SECTION("the writer takes 32-bit rows only")
    {
        int rc = 0;
        Encode(WriterOpen(), Target(4, 4, 24), {}, {}, &rc, "hkf_24.tmp");
        CHECK(rc == FX_E_UNSUPPORTED);
    }
}

TEST_CASE("HKF reader: bad input", "[hkf]")
{
    auto rows = Tiles(40, 20);
    int rc = -1;
    Bytes good = Encode(WriterOpen(), Target(40, 20, 32), rows, {}, &rc, "hkf_bad.tmp");
    REQUIRE(rc == 0);
    struct {
        const char* what;
        Bytes data;
        int openRc, rc;
    } cases[] = {
        {"short file header", Bytes(good.begin(), good.begin() + 10), FX_E_READ, 0},
        {"wrong magic", [&] { Bytes b = good; b[1] = 'X'; return b; }(), FX_E_FORMAT, 0},
        {"header size 108", [&] { Bytes b = good; b[14] = 108; return b; }(), FX_E_FORMAT, 0},
        {"other compression", [&] { Bytes b = good; b[30] = 1; b[31] = b[32] = 0; return b; }(), FX_E_FORMAT, 0},
        {"cut in the first strip", Bytes(good.begin(), good.begin() + 70), 0, FX_E_READ},
        {"second strip missing", Bytes(good.begin(), good.begin() + 54 + (good.size() - 54) / 2), 0, FX_E_READ},
        {"zeroed strips", [&] { Bytes b = good; std::fill(b.begin() + 54, b.end(), 0); return b; }(), 0, FX_E_READ},
        {"huge width", [&] { Bytes b = good; b[20] = 1; return b; }(), FX_E_UNSUPPORTED, 0},
    };
    for (auto& k : cases) {
        INFO(k.what);
        Decoded d = Decode(ReaderOpen(), k.data);
        CHECK(d.openRc == k.openRc);
        if (d.openRc == 0) CHECK(d.rc == k.rc);
        CHECK_FALSE(d.overrun);
    }
    SECTION("the imploded entry reads an HKF file the same way")
    {
        Decoded a = Decode(ReaderOpen(), good), b = Decode(Entry(LZWEnumReadFormats, 0).u.read.open, good);
        REQUIRE(b.rc == 0);
        CHECK(a.rows == b.rows);
    }
}
