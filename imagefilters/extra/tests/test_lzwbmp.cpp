// Imploded BMP filter and the outside-library readers of the extra filters.
#include <catch2/catch.hpp>

#include "extra.h"
#include "fmt_helpers.h"

extern "C" {
int WINAPI LZWEnumReadFormats(int, FormatRecord*);
int WINAPI LZWEnumWriteFormats(int, FormatRecord*);
int WINAPI JPEGEnumReadFormats(int, FormatRecord*);
int WINAPI VEXAEnumReadFormats(int, FormatRecord*);
int WINAPI PCDEnumReadFormats(int, FormatRecord*);
int WINAPI PCDEnumWriteFormats(int, FormatRecord*);
}

using namespace fmt_test;

namespace {
FxReaderOpen ReaderOpen() { return Entry(LZWEnumReadFormats, 0).u.read.open; }
FxWriterOpen WriterOpen() { return Entry(LZWEnumWriteFormats, 0).u.write.open; }

Bytes Fixture(int w, int h, int depth, uint32_t dataSize, const Bytes& palette, const Bytes& data)
{
    Bytes b;
    Str(b, "BM");
    Le32(b, 54 + uint32_t(palette.size() + data.size()));
    Le32(b, 0);
    Le32(b, 54 + uint32_t(palette.size()));
    Le32(b, 40);
    Le32(b, uint32_t(w));
    Le32(b, uint32_t(h));
    Le16(b, 1);
    Le16(b, uint32_t(depth));
    Le32(b, 99998);
    Le32(b, dataSize);
    Le32(b, 0);
    Le32(b, 0);
    Le32(b, uint32_t(palette.size() / 4));
    Le32(b, 0);
    Append(b, palette);
    Append(b, data);
    return b;
}
}  // namespace

TEST_CASE("extra filter entries in the older record form", "[extra]")
{
    struct {
        FxEnumFormats e;
        const char* letters;
        const char* name;
        int id, depth, probe;
        bool write;
    } cases[] = {{LZWEnumReadFormats, "LZW", "Tarvo Works", 13, 0x82, 1, false},
                 {LZWEnumWriteFormats, "LZW", "Tarvo Works", 13, 0xBF, 0, true},
                 {JPEGEnumReadFormats, "JPG", "Joint Photographics Expert Group", 5, 0x82, 1, false},
                 {VEXAEnumReadFormats, "VEXA", "Tarvo Works", 16, 0x8F, 1, false},
                 {PCDEnumReadFormats, "PCD", "Kodak Photo CD", 8, 0x8A, 0, false}};
    for (auto& k : cases) {
        INFO(k.letters);
        int left = -9;
        FormatRecord r = Entry(k.e, 0, &left);
        CHECK(left == 0);
        CHECK(std::memcmp(&r.form, k.letters, std::strlen(k.letters)) == 0);
        CHECK(std::string(r.name) == k.name);
        CHECK(r.formatId == k.id);
        CHECK(r.depthMask == k.depth);
        CHECK(r.instance == reinterpret_cast<HINSTANCE>(1));
        if (k.write) {
            CHECK(r.u.write.options == 3);
            CHECK(r.u.write.open != nullptr);
        } else {
            CHECK(r.u.read.options == 3);
            CHECK(r.u.read.probe == uint32_t(k.probe));
        }
        CHECK(k.e(1, &r) == -1);
    }
    FormatRecord r;
    CHECK(PCDEnumWriteFormats(0, &r) == -1);
}

TEST_CASE("imploded BMP: hand-made files", "[extra]")
{
    SECTION("stored rows when the data size is the plain size")
    {
        Bytes pal;
        Le32(pal, 0x000000);
        Le32(pal, 0xFF0000);
        Bytes data = {0x80, 0, 0, 0, 0x40, 0, 0, 0};  // 2 rows of 1 bit, 2 pixels
        Decoded d = Decode(ReaderOpen(), Fixture(2, 2, 1, 8, pal, data));
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        CHECK(d.s.rowOrder == 0x300);
        CHECK(d.s.paletteCount == 2);
        REQUIRE(d.palette.size() == 2);
        CHECK(d.palette[1].rgbRed == 0xFF);
        CHECK(d.rows[0][0] == 0x80);
        CHECK(d.rows[1][0] == 0x40);
    }
    SECTION("coded rows: an imploded stream of literals")
    {
        // 4 literal bytes 'A' of a 1x1 24-bit image (one padded row), then the end code
        Bytes data = {0, 4};
        uint32_t bits = 0;
        int n = 0;
        Bytes stream;
        auto put = [&](uint32_t v, int k) {
            bits |= v << n;
            n += k;
            while (n >= 8) {
                stream.push_back(uint8_t(bits));
                bits >>= 8;
                n -= 8;
            }
        };
        for (uint8_t c : {0x11, 0x22, 0x33, 0x00}) {
            put(0, 1);
            put(c, 8);
        }
        put(1, 1);
        put(0, 7);
        put(255, 8);
        if (n) put(0, 8 - n);
        Append(data, stream);
        Decoded d = Decode(ReaderOpen(), Fixture(1, 1, 24, uint32_t(data.size()), {}, data));
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        CHECK(d.rows[0] == Bytes({0x11, 0x22, 0x33, 0x00}));
    }
}

TEST_CASE("imploded BMP round trips and the plain fallback", "[extra]")
{
    struct {
        int w, h, depth;
        bool noisy;
    } cases[] = {{37, 20, 8, false}, {64, 9, 24, false}, {50, 30, 24, true}, {170, 20, 1, false}, {33, 4, 32, false}};
    for (auto& k : cases) {
        INFO(k.w << "x" << k.h << " depth " << k.depth << (k.noisy ? " noisy" : ""));
        uint32_t bpr = uint32_t((k.w * k.depth + 31) / 32 * 4);
        std::vector<Bytes> rows;
        uint32_t v = 99;
        for (int y = 0; y < k.h; ++y) {
            Bytes r(bpr, 0);
            for (uint32_t i = 0; i < uint32_t(k.w * k.depth / 8); ++i) {
                v = v * 1103515245u + 12345u;
                r[i] = k.noisy ? uint8_t(v >> 24) : uint8_t((i / 7 + y) & 0x3F);
            }
            rows.push_back(r);
        }
        std::vector<RGBQUAD> pal;
        if (k.depth <= 8)
            for (int i = 0; i < (k.depth == 1 ? 2 : 256); ++i) pal.push_back(RGBQUAD{BYTE(i), BYTE(255 - i), 7, 0});
        int rc = -1;
        Bytes file = Encode(WriterOpen(), Target(k.w, k.h, k.depth), rows, pal, &rc, "lzw_rt.tmp");
        REQUIRE(rc == 0);
        CHECK(GetLe32(file, 30) == 99998);
        uint32_t stored = GetLe32(file, 34);
        if (k.noisy) CHECK(stored == bpr * uint32_t(k.h));  // coding did not pay: plain rows
        else CHECK(stored < bpr * uint32_t(k.h));
        CHECK(file.size() == 54 + 4 * pal.size() + stored);
        Decoded d = Decode(ReaderOpen(), file);
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        CHECK_FALSE(d.overrun);
        CHECK(d.rows == rows);
        if (!pal.empty()) CHECK(d.palette.size() == pal.size());
    }
}

TEST_CASE("imploded BMP: bad input and missing outside libraries", "[extra]")
{
    Bytes rows(4 * 3, 0x55);
    Bytes good = Fixture(3, 3, 8, 12, Bytes(), rows);
    Bytes coded = Fixture(4, 4, 8, 20, Bytes(), Bytes{0, 6, 1, 2, 3, 4, 5});  // cut-off stream
    Bytes magic = good;
    magic[0] = 'X';
    Bytes other = good;
    other[30] = 0x9D;  // 99997
    other[31] = 0x86;
    struct {
        const char* what;
        Bytes data;
        int openRc, rc;
    } cases[] = {{"short file header", Bytes(good.begin(), good.begin() + 10), FX_E_READ, 0},
                 {"short info header", Bytes(good.begin(), good.begin() + 40), FX_E_READ, 0},
                 {"wrong magic", magic, FX_E_FORMAT, 0},
                 {"other compression", other, FX_E_FORMAT, 0},
                 {"truncated stored rows", Bytes(good.begin(), good.end() - 1), 0, FX_E_READ},
                 {"cut-off coded rows", coded, 0, FX_E_READ}};
    for (auto& k : cases) {
        INFO(k.what);
        Decoded d = Decode(ReaderOpen(), k.data);
        CHECK(d.openRc == k.openRc);
        CHECK(d.rc == k.rc);
        CHECK_FALSE(d.overrun);
    }
    // A BMP handed to the readers over outside libraries: JPEG32 says it is
    // not a JPEG; Quib and PCDLIB32 open files by name, and a memory source
    // has none.
    struct {
        FxEnumFormats e;
        int rc;
    } outside[] = {{JPEGEnumReadFormats, FX_E_FORMAT}, {VEXAEnumReadFormats, FX_E_READ}, {PCDEnumReadFormats, FX_E_OPEN}};
    for (auto& o : outside) CHECK(Decode(Entry(o.e, 0).u.read.open, good).openRc == o.rc);
}
