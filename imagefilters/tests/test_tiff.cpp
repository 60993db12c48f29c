// TIFF reader: entry, hand-made files in both byte orders, every accepted
// layout and compression, and bad input.
#include <catch2/catch.hpp>

#include <map>

#include "fmt_helpers.h"

using namespace fmt_test;

namespace ferrix {
int TiffDecodeLzw(const uint8_t* in, uint32_t inLen, uint8_t* out, uint32_t size);
}

namespace {

FxReaderOpen ReaderOpen() { return Entry(TIFEnumReadFormats, 0).u.read.open; }

struct Tag {
    uint16_t tag, type;
    std::vector<uint32_t> values;
};

// Header, the strips, then the directory and the arrays that do not fit in
// an entry.  StripOffsets (273) and StripByteCounts (279) are added here.
Bytes BuildTiff(bool big, std::vector<Tag> tags, const std::vector<Bytes>& strips, bool counts = true)
{
    auto p16 = [big](Bytes& b, uint32_t v) { big ? Be16(b, v) : Le16(b, v); };
    auto p32 = [big](Bytes& b, uint32_t v) { big ? Be32(b, v) : Le32(b, v); };
    Bytes b;
    Str(b, big ? "MM" : "II");
    p16(b, 42);
    p32(b, 0);  // directory offset, fixed below
    std::vector<uint32_t> offs, lens;
    for (auto& s : strips) {
        offs.push_back(uint32_t(b.size()));
        lens.push_back(uint32_t(s.size()));
        Append(b, s);
    }
    tags.push_back({273, 4, offs});
    if (counts) tags.push_back({279, 4, lens});
    std::sort(tags.begin(), tags.end(), [](const Tag& a, const Tag& c) { return a.tag < c.tag; });
    if (b.size() & 1) Put8(b, 0);
    uint32_t dir = uint32_t(b.size());
    Bytes d;
    p16(d, uint32_t(tags.size()));
    uint32_t extra = dir + 2 + 12 * uint32_t(tags.size()) + 4;
    Bytes more;
    for (auto& t : tags) {
        uint32_t size = t.type == 3 ? 2 : t.type == 1 ? 1 : 4;
        p16(d, t.tag);
        p16(d, t.type);
        p32(d, uint32_t(t.values.size()));
        Bytes v;
        for (uint32_t x : t.values) size == 2 ? p16(v, x) : size == 1 ? Put8(v, x) : p32(v, x);
        if (v.size() <= 4) {
            while (v.size() < 4) Put8(v, 0);
            Append(d, v);
        } else {
            p32(d, extra + uint32_t(more.size()));
            Append(more, v);
        }
    }
    p32(d, 0);
    Append(b, d);
    Append(b, more);
    Bytes at;
    p32(at, dir);
    std::copy(at.begin(), at.end(), b.begin() + 4);
    return b;
}

std::vector<Tag> Basic(uint32_t w, uint32_t h, uint32_t bits, uint32_t photometric, uint32_t samples = 1,
                       uint32_t compression = 1)
{
    std::vector<Tag> t = {{256, 4, {w}}, {257, 3, {h}}, {259, 3, {compression}}, {262, 3, {photometric}},
                          {282, 5, {72, 1}}, {296, 3, {2}}};
    if (samples == 1) t.push_back({258, 3, {bits}});
    else t.push_back({258, 3, std::vector<uint32_t>(samples, bits)});
    t.push_back({277, 3, {samples}});
    return t;
}

// TIFF-flavoured LZW: most significant bit first, widths growing one code early.
Bytes Lzw(const Bytes& data)
{
    Bytes out;
    uint32_t acc = 0;
    int have = 0, width = 9, next = 258;
    auto emit = [&](int code) {
        acc = (acc << width) | uint32_t(code);
        have += width;
        while (have >= 8) {
            out.push_back(uint8_t(acc >> (have - 8)));
            have -= 8;
        }
    };
    std::map<std::pair<int, int>, int> table;
    emit(256);
    int cur = -1;
    for (uint8_t c : data) {
        if (cur < 0) {
            cur = c;
            continue;
        }
        auto it = table.find({cur, c});
        if (it != table.end()) {
            cur = it->second;
            continue;
        }
        emit(cur);
        if (next + 1 >= (1 << width) && width < 12) ++width;
        if (next < 4093) {
            table[{cur, c}] = next++;
        } else {
            emit(256);
            table.clear();
            next = 258;
            width = 9;
        }
        cur = c;
    }
    if (cur >= 0) {
        emit(cur);
        if (next + 1 >= (1 << width) && width < 12) ++width;
    }
    emit(257);
    if (have) out.push_back(uint8_t(acc << (8 - have)));
    return out;
}

Bytes Row(std::initializer_list<int> v)
{
    Bytes r;
    for (int x : v) r.push_back(uint8_t(x));
    return r;
}

}  // namespace

TEST_CASE("TIFF entry", "[tiff]")
{
    int left = -5;
    FormatRecord r = Entry(TIFEnumReadFormats, 0, &left);
    CHECK(left == 0);
    CHECK(std::string(r.name) == "TIFF Aldus/Microsoft");
    CHECK(r.formatId == 7);
    CHECK(r.depthMask == 0xAA);
    CHECK(r.u.read.probe != 0);
    CHECK(std::memcmp(r.u.read.extensions, "TIF\0TIFF\0\0", 10) == 0);
    CHECK(TIFEnumReadFormats(1, &r) == -1);
}

TEST_CASE("TIFF reader: grey, palette and byte orders", "[tiff]")
{
    SECTION("8-bit grey, little- and big-endian twins read the same")
    {
        Bytes px = Row({0, 50, 100, 150, 200, 250});
        Decoded le = Decode(ReaderOpen(), BuildTiff(false, Basic(3, 2, 8, 1), {px}));
        Decoded be = Decode(ReaderOpen(), BuildTiff(true, Basic(3, 2, 8, 1), {px}));
        REQUIRE(le.openRc == 0);
        REQUIRE(le.rc == 0);
        REQUIRE(be.rc == 0);
        CHECK(le.s.width == 3);
        CHECK(le.s.depth == 8);
        CHECK(le.s.bytesPerRow == 4);
        CHECK(le.s.rowOrder == 0x600);
        CHECK(le.s.paletteCount == 256);
        CHECK(le.rows[0] == Row({0, 50, 100, 0}));
        CHECK(le.rows[1] == Row({150, 200, 250, 0}));
        CHECK(le.rows == be.rows);
        CHECK(le.palette[128].rgbGreen == 128);
        CHECK(std::memcmp(le.palette.data(), be.palette.data(), 256 * 4) == 0);
    }
    SECTION("4-bit grey gets the ramp 0, 17, ..., 255 and one byte per pixel")
    {
        Decoded d = Decode(ReaderOpen(), BuildTiff(true, Basic(3, 1, 4, 1), {Row({0x1F, 0x80})}));
        REQUIRE(d.rc == 0);
        CHECK(d.s.paletteCount == 16);
        CHECK(d.rows[0] == Row({1, 15, 8, 0}));
        REQUIRE(d.palette.size() == 16);
        for (int i = 0; i < 16; ++i) CHECK(d.palette[i].rgbRed == 17 * i);
    }
    SECTION("1-bit: black then white; white-is-zero data gets the turned ramp")
    {
        Decoded d = Decode(ReaderOpen(), BuildTiff(false, Basic(10, 1, 1, 1), {Row({0xA0, 0x40})}));
        REQUIRE(d.rc == 0);
        CHECK(d.rows[0] == Row({1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0}));
        CHECK((d.palette[0].rgbRed == 0 && d.palette[1].rgbRed == 255));
        d = Decode(ReaderOpen(), BuildTiff(false, Basic(10, 1, 1, 0), {Row({0xA0, 0x40})}));
        CHECK((d.palette[0].rgbRed == 255 && d.palette[1].rgbRed == 0));
    }
    SECTION("palette colour from ColorMap high bytes")
    {
        auto tags = Basic(2, 1, 2, 3);
        tags.push_back({320, 3, {0x1100, 0x2200, 0x3300, 0x4400, 0x5500, 0x6600, 0x7700, 0x8800, 0x99FF, 0xAA00, 0xBB00, 0xCC00}});
        Decoded d = Decode(ReaderOpen(), BuildTiff(false, tags, {Row({0x1C})}));
        REQUIRE(d.rc == 0);
        CHECK(d.s.paletteCount == 4);
        CHECK(d.rows[0] == Row({0, 1, 0, 0}));
        CHECK((d.palette[0].rgbRed == 0x11 && d.palette[0].rgbGreen == 0x55 && d.palette[0].rgbBlue == 0x99));
        CHECK((d.palette[3].rgbRed == 0x44 && d.palette[3].rgbBlue == 0xCC));
    }
}

TEST_CASE("TIFF reader: RGB strips and compressions", "[tiff]")
{
    SECTION("LZW with horizontal differencing in strips of one row")
    {
        const int w = 40, h = 3;
        std::vector<Bytes> strips;
        std::vector<Bytes> want;
        for (int y = 0; y < h; ++y) {
            Bytes raw, diff;
            for (int x = 0; x < w; ++x) Append(raw, Row({x * 3 + y, 100, 255 - x}));
            diff = raw;
            for (int i = int(raw.size()) - 1; i >= 3; --i) diff[i] = uint8_t(raw[i] - raw[i - 3]);
            strips.push_back(Lzw(diff));
            Bytes bgr(size_t(w) * 3);
            for (int x = 0; x < w; ++x) {
                bgr[3 * x] = raw[3 * x + 2];
                bgr[3 * x + 1] = raw[3 * x + 1];
                bgr[3 * x + 2] = raw[3 * x];
            }
            want.push_back(bgr);
        }
        auto tags = Basic(w, h, 8, 2, 3, 5);
        tags.push_back({278, 3, {1}});
        tags.push_back({317, 3, {2}});
        Decoded d = Decode(ReaderOpen(), BuildTiff(true, tags, strips));
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        CHECK(d.s.depth == 24);
        CHECK(d.s.paletteCount == 0);
        CHECK(d.rows == want);
    }
    SECTION("a long LZW strip passes every code width and a table reset")
    {
        Bytes data(20000);
        for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t((i * i / 97) ^ (i / 13));
        Bytes packed = Lzw(data), out(data.size());
        REQUIRE(ferrix::TiffDecodeLzw(packed.data(), uint32_t(packed.size()), out.data(), uint32_t(out.size())) == 0);
        CHECK(out == data);
    }
    SECTION("PackBits RGBA: runs, literals and the no-op byte")
    {
        // 3 pixels RGBA: literal 4 (1,2,3,4), no-op, run 4 of 9, literal 4 (5,6,7,8)
        Bytes strip = Row({3, 1, 2, 3, 4, 128, 0xFD, 9, 3, 5, 6, 7, 8});
        Decoded d = Decode(ReaderOpen(), BuildTiff(false, Basic(3, 1, 8, 2, 4, 32773), {strip}));
        REQUIRE(d.rc == 0);
        CHECK(d.s.depth == 32);
        CHECK(d.rows[0] == Row({3, 2, 1, 4, 9, 9, 9, 9, 7, 6, 5, 8}));
    }
}

TEST_CASE("TIFF reader: bad input", "[tiff]")
{
    Bytes grey = BuildTiff(false, Basic(2, 2, 8, 1), {Row({1, 2, 3, 4})});
    auto planar = Basic(2, 1, 8, 2, 3);
    planar.push_back({284, 3, {2}});
    struct { const char* what; Bytes data; int openRc, rc; } cases[] = {
        {"short header", Bytes(grey.begin(), grey.begin() + 6), FX_E_READ, 0},
        {"bad byte order", [&] { Bytes b = grey; b[0] = 'X'; return b; }(), FX_E_FORMAT, 0},
        {"version 43", [&] { Bytes b = grey; b[2] = 43; return b; }(), FX_E_FORMAT, 0},
        {"directory past the end", [&] { Bytes b = grey; b[4] = 0xF0; b[5] = 0xFF; return b; }(), FX_E_READ, 0},
        // Layouts the reader does not take are unsupported, not a read error.
        {"separate planes", BuildTiff(false, planar, {Bytes(6, 0)}), FX_E_UNSUPPORTED, 0},
        {"tiles", [] {
             auto t = Basic(16, 16, 8, 1);
             t.push_back({322, 3, {16}});
             t.push_back({323, 3, {16}});
             t.push_back({324, 4, {8}});
             t.push_back({325, 4, {256}});
             return BuildTiff(false, t, {Bytes(256, 0)});
         }(), FX_E_UNSUPPORTED, 0},
        {"CMYK", BuildTiff(false, Basic(2, 1, 8, 5, 4), {Bytes(8, 0)}), FX_E_UNSUPPORTED, 0},
        {"16-bit grey", BuildTiff(false, Basic(2, 1, 16, 1), {Bytes(4, 0)}), FX_E_UNSUPPORTED, 0},
        {"RGB of 16-bit samples", BuildTiff(false, Basic(2, 1, 16, 2, 3), {Bytes(12, 0)}), FX_E_UNSUPPORTED, 0},
        {"width 70000", BuildTiff(false, Basic(70000, 1, 8, 1), {Bytes(4, 0)}), FX_E_UNSUPPORTED, 0},
        {"JPEG strips", BuildTiff(false, Basic(2, 2, 8, 1, 1, 7), {Bytes(4, 0)}), 0, FX_E_UNSUPPORTED},
        {"strip past the end", [] {
             auto t = Basic(2, 2, 8, 1);
             t.push_back({279, 4, {100000}});
             return BuildTiff(false, t, {Bytes(4, 1)}, false);
         }(), 0, FX_E_READ},
        // clear, literal 1, then code 300 with only 258 defined
        {"corrupt LZW", BuildTiff(false, Basic(2, 2, 8, 1, 1, 5), {Row({0x80, 0x00, 0x65, 0x80})}), 0, FX_E_FORMAT},
        {"no strip offsets in range", [] {
             auto t = Basic(2, 2, 8, 1);
             t.push_back({278, 3, {1}});
             return BuildTiff(false, t, {Bytes(2, 1)});  // two strips needed, one given
         }(), 0, FX_E_READ},
    };
    for (auto& c : cases) {
        INFO(c.what);
        Decoded d = Decode(ReaderOpen(), c.data);
        CHECK(d.openRc == c.openRc);
        if (d.openRc == 0) CHECK(d.rc == c.rc);
    }
    SECTION("an empty strip leaves zeros")
    {
        Decoded d = Decode(ReaderOpen(), BuildTiff(false, Basic(2, 2, 8, 1), {Bytes(0)}));
        CHECK(d.rc == 0);  // an empty strip leaves zeros
        CHECK(d.rows[0] == Row({0, 0, 0, 0}));
    }
}
