// Block-transform codec: the prefix code, the transform, hand-made strip
// streams against an independent inverse, round trips, the HKF line
// protocol, both container forms (hand-made buffers and round trips) and
// malformed input.
#include <catch2/catch.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codec.h"
#include "image_fixture.h"

using namespace fixture;

namespace {

std::string bits_of(const RunLevelCode &c)
{
    std::string s;
    for (int i = c.length - 1; i >= 0; --i) s += ((c.code >> i) & 1) ? '1' : '0';
    return s;
}

// Builds byte streams for hand-made fixtures: 16-bit words little-endian,
// bit strings packed most significant bit first and closed with 1-bits.
struct StreamBuilder {
    std::vector<BYTE> bytes;
    void word(unsigned w)
    {
        bytes.push_back((BYTE)w);
        bytes.push_back((BYTE)(w >> 8));
    }
    void bits(const std::string &s)
    {
        std::string all = s;
        while (all.size() % 16) all += '1';
        for (size_t i = 0; i < all.size(); i += 16) word((unsigned)std::stoul(all.substr(i, 16), nullptr, 2));
    }
    void u32(DWORD v)
    {
        for (int i = 0; i < 4; ++i) bytes.push_back((BYTE)(v >> (8 * i)));
    }
};

// The 8-point sequency-ordered Walsh matrix built from its definition: the
// rows of the Sylvester Hadamard matrix sorted by their number of sign
// changes.
struct Walsh {
    int m[8][8];
    Walsh()
    {
        int h[8][8];
        for (int i = 0; i < 8; ++i)
            for (int j = 0; j < 8; ++j) h[i][j] = (__builtin_popcount(i & j) & 1) ? -1 : 1;
        for (int i = 0; i < 8; ++i) {
            int changes = 0;
            for (int j = 1; j < 8; ++j) changes += h[i][j] != h[i][j - 1];
            for (int j = 0; j < 8; ++j) m[changes][j] = h[i][j];
        }
    }
};
const Walsh kWalsh;

// Independent inverse of one 8x8 block: F (row = vertical frequency) to
// W^T F W.
void inverse_block(const int F[8][8], int out[8][8])
{
    int t[8][8] = {};
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c)
            for (int k = 0; k < 8; ++k) t[r][c] += kWalsh.m[k][r] * F[k][c];
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) {
            out[r][c] = 0;
            for (int k = 0; k < 8; ++k) out[r][c] += t[r][k] * kWalsh.m[k][c];
        }
}

std::string hex(DWORD v)
{
    char b[16];
    wsprintfA(b, "%08X", v);
    return b;
}

inline int clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// Luma block of a flat level as the decoder rebuilds it: the DC word, and
// the fixed amounts it adds on anti-diagonals 9 to 13 whatever the level.
void flat_luma_block(int dc, int out[8][8])
{
    int F[8][8] = {};
    F[0][0] = dc;
    const int adds[][3] = { { 2, 7, 1 }, { 4, 5, 1 }, { 6, 3, 1 }, { 3, 6, -1 }, { 5, 4, -1 }, { 7, 2, -1 },
                            { 7, 3, -2 }, { 5, 5, -2 }, { 3, 7, -2 }, { 6, 4, 2 }, { 4, 6, 2 },
                            { 4, 7, 3 }, { 6, 5, 3 }, { 5, 6, -3 }, { 7, 4, -3 },
                            { 7, 5, -4 }, { 5, 7, -4 }, { 6, 6, 4 }, { 7, 6, 5 }, { 6, 7, -5 } };
    for (auto &a : adds) F[a[0]][a[1]] += a[2];
    inverse_block(F, out);
}

// A pixel from the eight-times planes.
DWORD pixel_from(int Y, int a, int b)
{
    return 0xFF000000u | (DWORD)clamp255((Y + a + 3) >> 3) << 16 | (DWORD)clamp255((Y + b + 3) >> 3) << 8 |
           (DWORD)clamp255((3 * Y - (Y + a) - (Y + b) + 3) >> 3);
}

std::vector<DWORD> smooth_image(LONG w, LONG h, DWORD alpha = 255)
{
    std::vector<DWORD> v((size_t)w * h);
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x) {
            DWORD r = (DWORD)(40 + (x * 150) / (w > 1 ? w - 1 : 1));
            DWORD g = (DWORD)(200 - (y * 120) / (h > 1 ? h - 1 : 1));
            DWORD b = (DWORD)(90 + ((x + y) % 7) * 3);
            v[(size_t)y * w + x] = argb(alpha, r, g, b);
        }
    return v;
}

int max_channel_error(const std::vector<DWORD> &a, const std::vector<DWORD> &b)
{
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int s = 0; s < 24; s += 8) worst = (std::max)(worst, std::abs((int)((a[i] >> s) & 0xFF) - (int)((b[i] >> s) & 0xFF)));
    return worst;
}

std::vector<BYTE> encode_strip(const std::vector<DWORD> &px, LONG w, LONG lines)
{
    std::vector<BYTE> out(CODEC_STRIP_LIMIT);
    size_t n = codec_encode_strip(px.data(), w, w, lines, out.data(), out.size());
    out.resize(n);
    return out;
}

}  // namespace

TEST_CASE("prefix code: canonical codes of the run/level symbols", "[codec]")
{
    ensure_started();
    const RunLevelCode *t = codec_code_table();
    REQUIRE(t);
    struct Case { int symbol; const char *bits; } cases[] = {
        { 0x00, "1010" }, { 0x01, "00" }, { 0x02, "01" }, { 0x03, "100" }, { 0x11, "1100" },
        { 0xF0, "11111111001" }, { 0xE1, "111111111000000" }, { 0xF1, "111111111000001" },
        { 0x09, "1111111110000100" }, { 0xFA, "1111111111111111" },
    };
    for (auto &c : cases) {
        INFO("symbol " << std::hex << c.symbol);
        CHECK(bits_of(t[c.symbol]) == c.bits);
    }
    // 162 symbols: every run 0..15 with sizes 1..10, EOB and ZRL; nothing else.
    int count = 0;
    for (int s = 0; s < 256; ++s) {
        bool expected = s == 0x00 || s == 0xF0 || ((s & 15) >= 1 && (s & 15) <= 10);
        CHECK((t[s].length != 0) == expected);
        count += t[s].length != 0;
    }
    CHECK(count == 162);
    // No code is a prefix of another.
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b) {
            if (a == b || !t[a].length || !t[b].length || t[a].length > t[b].length) continue;
            if ((t[b].code >> (t[b].length - t[a].length)) == t[a].code) FAIL("prefix clash " << a << " " << b);
        }
}

TEST_CASE("transform: sequency-ordered Walsh-Hadamard, its own inverse up to 8", "[codec]")
{
    ensure_started();
    for (int k = 0; k < 8; ++k) {
        int v[8] = {};
        v[k] = 1;
        codec_wht8(v, 1);
        for (int j = 0; j < 8; ++j) CHECK(v[j] == kWalsh.m[j][k]);
    }
    int v[8] = { 3, -7, 12, 0, 255, -255, 9, 1 }, orig[8];
    std::memcpy(orig, v, sizeof v);
    codec_wht8(v, 1);
    codec_wht8(v, 1);
    for (int j = 0; j < 8; ++j) CHECK(v[j] == 8 * orig[j]);
    // Zig-zag order starts (0,0) (0,1) (1,0) (2,0) (1,1) (0,2) (0,3) (1,2) and ends (7,7).
    const BYTE *zz = codec_zigzag();
    const BYTE start[] = { 0, 1, 8, 16, 9, 2, 3, 10 };
    for (int k = 0; k < 8; ++k) CHECK(zz[k] == start[k]);
    CHECK(zz[63] == 63);
}

TEST_CASE("strip stream: hand-made bytes of a uniform grey line", "[codec]")
{
    ensure_started();
    // One line, one pixel: padded to 16 x 16.  Luma 128 everywhere gives DC
    // 1024 in both luma blocks of each luma segment, colour DC 0, and each
    // block's AC is a lone EOB (1010).
    const std::vector<BYTE> expected = {
        0x00, 0x04, 0x00, 0x04, 0xFF, 0xAA,   // luma rows 0-7: DC, DC, 1010 1010 + 1s
        0x00, 0x04, 0x00, 0x04, 0xFF, 0xAA,   // luma rows 8-15
        0x00, 0x00, 0xFF, 0xAF,               // colour A: DC, 1010 + 1s
        0x00, 0x00, 0xFF, 0xAF,               // colour B
    };
    std::vector<DWORD> grey = { 0xFF808080u };
    CHECK(encode_strip(grey, 1, 1) == expected);

    // DC rounding: red 200, green 100, blue 50 gives luma 117, colour A 83
    // and colour B -17; block sums 64 times those, then (d + 4) >> 3 and
    // (d - 4) >> 3 (arithmetic) for negative d.
    auto c = encode_strip({ argb(255, 200, 100, 50) }, 1, 1);
    REQUIRE(c.size() == 20);
    auto dc = [&](size_t at) { return (short)(c[at] | c[at + 1] << 8); };
    CHECK(dc(0) == (117 * 64 + 4) >> 3);
    CHECK(dc(12) == (83 * 64 + 4) >> 3);
    CHECK(dc(16) == -137);

    // Decoded: grey again, up to the ripple of the decoder's fixed luma
    // amounts (at most 34 / 8 steps).
    std::vector<DWORD> out(16 * 16, 0);
    REQUIRE(codec_decode_strip(expected.data(), expected.size(), 1, out.data(), 16) == expected.size());
    int Y[8][8];
    flat_luma_block(1024, Y);
    for (int r = 0; r < 16; ++r) {
        DWORD p = out[(size_t)r * 16];
        CHECK(hex(p) == hex(pixel_from(Y[r & 7][0], 0, 0)));
        CHECK((p & 0xFF) == ((p >> 8) & 0xFF));
        CHECK((p & 0xFF) == ((p >> 16) & 0xFF));
        CHECK(std::abs((int)(p & 0xFF) - 128) <= 4);
    }
}

TEST_CASE("strip stream: hand-made AC levels decode as the independent inverse says", "[codec]")
{
    ensure_started();
    // Width 16: two luma blocks per luma segment, one colour block.  Luma is
    // flat 128.  Colour A carries +3 at (0,1) (code 01, bits 11), then after
    // twenty zeros (ZRL, then run 4 size 2 with bits 01) -3 at zig-zag
    // position 22.  Colour B carries -1 at (1,0): run 1 size 1 (1100) bit 0.
    const RunLevelCode *t = codec_code_table();
    REQUIRE(t);
    const BYTE *zz = codec_zigzag();
    StreamBuilder s;
    for (int seg = 0; seg < 2; ++seg) {
        s.word(1024);
        s.word(1024);
        s.bits("10101010");
    }
    s.word(0);
    s.bits("01" "11" + bits_of(t[0xF0]) + bits_of(t[0x42]) + "01" + "1010");
    s.word(0);
    s.bits(bits_of(t[0x11]) + "0" + "1010");

    int FA[8][8] = {}, FB[8][8] = {};
    FA[0][1] = 3 * 2;                         // colour step d + 1 = 2
    FA[zz[22] >> 3][zz[22] & 7] = -3 * ((zz[22] >> 3) + (zz[22] & 7) + 1);   // bits 01: -(1 + 2)
    FB[1][0] = -1 * 2;
    int A[8][8], B[8][8], Yb[8][8];
    inverse_block(FA, A);
    inverse_block(FB, B);
    flat_luma_block(1024, Yb);

    std::vector<DWORD> out(16 * 16, 0);
    REQUIRE(codec_decode_strip(s.bytes.data(), s.bytes.size(), 16, out.data(), 16) == s.bytes.size());
    for (int r = 0; r < 16; ++r)
        for (int x = 0; x < 16; ++x) {
            DWORD want = pixel_from(Yb[r & 7][x & 7], A[r >> 1][x >> 1], B[r >> 1][x >> 1]);
            INFO("row " << r << " column " << x);
            CHECK(hex(out[(size_t)r * 16 + x]) == hex(want));
        }
}

TEST_CASE("strip stream: level bits and zero runs as the encoder writes them", "[codec]")
{
    ensure_started();
    // Colour A of a 16-wide strip: columns 0-7 red-heavy, 8-15 green-heavy,
    // which puts levels into the colour blocks; the decoded picture must
    // come back close and the stream must re-decode to the same length.
    std::vector<DWORD> px(16 * 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) px[(size_t)y * 16 + x] = x < 8 ? argb(255, 220, 60, 40) : argb(255, 40, 200, 90);
    auto stream = encode_strip(px, 16, 16);
    REQUIRE(!stream.empty());
    std::vector<DWORD> out(16 * 16);
    REQUIRE(codec_decode_strip(stream.data(), stream.size(), 16, out.data(), 16) == stream.size());
    CHECK(max_channel_error(px, out) <= 12);
}

TEST_CASE("strip stream: sizes, padding and round trips", "[codec]")
{
    ensure_started();
    struct Case { LONG w, lines; size_t uniformBytes; } cases[] = {
        { 1, 1, 20 }, { 17, 3, 32 }, { 16, 16, 20 }, { 33, 7, 48 }, { 1024, 16, 0 },
    };
    for (auto &c : cases) {
        INFO("width " << c.w << " lines " << c.lines);
        // Uniform: every block is its DC and one EOB.  Four luma blocks and
        // two colour blocks at width 17.
        std::vector<DWORD> flat((size_t)c.w * c.lines, argb(255, 200, 100, 50));
        auto s = encode_strip(flat, c.w, c.lines);
        LONG cb = (c.w + 15) / 16, lb = 2 * cb;
        size_t want = 2 * (2 * lb + ((4 * lb + 15) / 16) * 2) + 2 * (2 * cb + ((4 * cb + 15) / 16) * 2);
        CHECK(s.size() == want);
        if (c.uniformBytes) CHECK(s.size() == c.uniformBytes);
        std::vector<DWORD> out((size_t)c.w * 16);
        REQUIRE(codec_decode_strip(s.data(), s.size(), c.w, out.data(), c.w) == s.size());
        out.resize(flat.size());
        CHECK(max_channel_error(flat, out) <= 5);

        auto img = smooth_image(c.w, c.lines);
        auto s2 = encode_strip(img, c.w, c.lines);
        REQUIRE(!s2.empty());
        std::vector<DWORD> back((size_t)c.w * 16);
        REQUIRE(codec_decode_strip(s2.data(), s2.size(), c.w, back.data(), c.w) == s2.size());
        back.resize(img.size());
        CHECK(max_channel_error(img, back) <= 24);
        for (DWORD p : back) CHECK((p >> 24) == 255u);
    }
}

TEST_CASE("strip stream: bad input is refused without reading past the end", "[codec][bad]")
{
    ensure_started();
    auto img = smooth_image(40, 16);
    auto s = encode_strip(img, 40, 16);
    REQUIRE(s.size() > 40);
    std::vector<DWORD> out(40 * 16);
    // Every truncation: the stream is refused (a copy in an exact-size heap
    // block, so a read past it would be caught by the heap).
    for (size_t n = 0; n < s.size(); ++n) {
        std::vector<BYTE> cut(s.begin(), s.begin() + n);
        CHECK(codec_decode_strip(cut.data(), cut.size(), 40, out.data(), 40) == 0);
    }
    // Arguments.
    CHECK(codec_decode_strip(nullptr, 10, 40, out.data(), 40) == 0);
    CHECK(codec_decode_strip(s.data(), s.size(), 0, out.data(), 40) == 0);
    CHECK(codec_decode_strip(s.data(), s.size(), 1025, out.data(), 40) == 0);
    CHECK(codec_encode_strip(img.data(), 40, 40, 17, std::vector<BYTE>(65536).data(), 65536) == 0);
    CHECK(codec_encode_strip(img.data(), 40, 40, 0, std::vector<BYTE>(65536).data(), 65536) == 0);

    // A run that passes the 63rd coefficient: run 15 size 1 five times.
    const RunLevelCode *t = codec_code_table();
    StreamBuilder b;
    b.word(0);
    std::string bits;
    for (int i = 0; i < 5; ++i) bits += bits_of(t[0xF1]) + "1";
    b.bits(bits + "1010");
    CHECK(codec_decode_strip(b.bytes.data(), b.bytes.size(), 1, out.data(), 1) == 0);
    // Four runs of sixteen zeros pass the 63rd coefficient too.
    StreamBuilder g;
    g.word(0);
    g.bits(bits_of(t[0xF0]) + bits_of(t[0xF0]) + bits_of(t[0xF0]) + bits_of(t[0xF0]) + "1010");
    CHECK(codec_decode_strip(g.bytes.data(), g.bytes.size(), 1, out.data(), 1) == 0);
    // A stream that does not fit its output is refused without writing past
    // the capacity.
    std::vector<BYTE> tight(64, 0xEE);
    CHECK(codec_encode_strip(img.data(), 40, 40, 16, tight.data(), 30) == 0);
    for (size_t i = 30; i < tight.size(); ++i) CHECK(tight[i] == 0xEE);
    // Random bytes never crash: either refused or a length within the input.
    std::vector<DWORD> wide(1024 * 16);
    for (uint32_t seed = 1; seed < 200; ++seed) {
        auto junk = noise(64 + seed * 7, seed);
        std::vector<BYTE> bytes((BYTE *)junk.data(), (BYTE *)junk.data() + junk.size() * 4);
        LONG w = 1 + (LONG)(seed * 37 % 1024);
        size_t r = codec_decode_strip(bytes.data(), bytes.size(), w, wide.data(), w);
        CHECK(r <= bytes.size());
    }
}

TEST_CASE("HKF scanlines: line protocol of encoding and decoding", "[codec][hkf]")
{
    ensure_started();
    const LONG w = 21, h = 35;   // strips of 16, 16 and 3 lines
    auto img = smooth_image(w, h);
    HkfScanlineState *e = BeginHKFEncodeScanline(w, h);
    REQUIRE(e);
    CHECK(e->lumaBlocks == 4);
    CHECK(e->colourBlocks == 2);
    CHECK(e->lineBytes == w * 4);
    std::vector<BYTE> file, out(CODEC_STRIP_LIMIT);
    std::vector<LONG> stripEnds;
    for (LONG y = 0; y < h; ++y) {
        REQUIRE(HKFEncodeScanline(out.data(), &img[(size_t)y * w], e) == 1);
        CHECK(e->second == 1);
        if (e->result) {
            stripEnds.push_back(y + 1);
            file.insert(file.end(), out.begin(), out.begin() + e->result);
        }
    }
    CHECK(stripEnds == std::vector<LONG>{ 16, 32, 35 });
    CHECK(HKFEncodeScanline(out.data(), &img[0], e) == 0);   // all lines taken
    CHECK(EndHKFEncodeScanline(e) == 1);

    HkfScanlineState *d = BeginHKFDecodeScanline(w, h);
    REQUIRE(d);
    std::vector<DWORD> back((size_t)w * h);
    size_t at = 0;
    std::vector<LONG> consumedAt;
    for (LONG y = 0; y < h; ++y) {
        REQUIRE(HKFDecodeScanline(&back[(size_t)y * w], file.data() + at, d) == 1);
        CHECK(d->result == 1);
        if (d->second) {
            consumedAt.push_back(y);
            at += (size_t)d->second;
        }
    }
    CHECK(consumedAt == std::vector<LONG>{ 0, 16, 32 });
    CHECK(at == file.size());
    CHECK(HKFDecodeScanline(&back[0], file.data(), d) == 0);
    CHECK(EndHKFDecodeScanline(d) == 1);
    CHECK(max_channel_error(img, back) <= 24);

    // Begin refuses sizes the work area cannot hold; null arguments.
    CHECK(BeginHKFEncodeScanline(0, 5) == nullptr);
    CHECK(BeginHKFEncodeScanline(5, 0) == nullptr);
    CHECK(BeginHKFEncodeScanline(1025, 5) == nullptr);
    CHECK(BeginHKFDecodeScanline(-1, 5) == nullptr);
    CHECK(EndHKFEncodeScanline(nullptr) == 0);
    CHECK(EndHKFDecodeScanline(nullptr) == 0);
    HkfScanlineState *z = BeginHKFEncodeScanline(4, 4);
    CHECK(HKFEncodeScanline(nullptr, &img[0], z) == 0);
    CHECK(HKFEncodeScanline(out.data(), nullptr, z) == 0);
    CHECK(HKFEncodeScanline(out.data(), &img[0], nullptr) == 0);
    EndHKFEncodeScanline(z);
}

TEST_CASE("HKF scanlines: a strip that ends at the end of readable memory decodes", "[codec][hkf]")
{
    ensure_started();
    // The line decoder has no input length: it must read no byte past the
    // strip.  The strip is placed flush against an inaccessible page.
    for (LONG w : { 1, 13, 64, 300 }) {
        INFO("width " << w);
        auto img = smooth_image(w, 16);
        auto strip = encode_strip(img, w, 16);
        REQUIRE(!strip.empty());
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        size_t page = si.dwPageSize, span = ((strip.size() + page - 1) / page) * page;
        BYTE *mem = (BYTE *)VirtualAlloc(nullptr, span + page, MEM_RESERVE, PAGE_NOACCESS);
        REQUIRE(mem);
        REQUIRE(VirtualAlloc(mem, span, MEM_COMMIT, PAGE_READWRITE));
        BYTE *at = mem + span - strip.size();
        std::memcpy(at, strip.data(), strip.size());
        HkfScanlineState *d = BeginHKFDecodeScanline(w, 16);
        std::vector<DWORD> line((size_t)w);
        CHECK(HKFDecodeScanline(line.data(), at, d) == 1);
        CHECK(d->second == (LONG)strip.size());
        EndHKFDecodeScanline(d);
        VirtualFree(mem, 0, MEM_RELEASE);
    }
}

TEST_CASE("HKF scanlines: malformed input is refused", "[codec][hkf][bad]")
{
    ensure_started();
    HkfScanlineState *d = BeginHKFDecodeScanline(8, 8);
    std::vector<BYTE> junk(CODEC_STRIP_LIMIT, 0xFF);   // all ones: codes past the 63rd coefficient
    std::vector<DWORD> line(8);
    CHECK(HKFDecodeScanline(line.data(), junk.data(), d) == 0);
    EndHKFDecodeScanline(d);
}

// ---- containers ------------------------------------------------------------

namespace {

struct Container {
    StreamBuilder b;
    Container() { b.u32(0); b.u32(0); }
    std::vector<BYTE> done()
    {
        DWORD s = (DWORD)b.bytes.size() - 8;
        std::vector<BYTE> v = b.bytes;
        for (int i = 0; i < 4; ++i) {
            v[i] = (BYTE)(s >> (8 * i));
            v[4 + i] = (BYTE)(~s >> (8 * i));
        }
        return v;
    }
};

void free_m32(BYTE *p) { M32_free(p); }
using M32Buffer = std::unique_ptr<BYTE, decltype(&free_m32)>;

const DWORD kMarkerPixel = 0x5A5A5A5Au;

DWORD container_size(const BYTE *p) { return p[0] | p[1] << 8 | p[2] << 16 | (DWORD)p[3] << 24; }

}  // namespace

TEST_CASE("container: hand-made directory of spans, literals, alpha and a skipped entry", "[codec][vexa]")
{
    ensure_started();
    const DWORD X = 0x11223344u, Y = 0x55667788u;
    Container c;
    // Directory at 8: skipped, runs (at 60), literals, alpha, end.
    c.b.u32(VEXA_SKIP); c.b.u32(0); c.b.u32(0);
    c.b.u32(VEXA_RUNS); c.b.u32(68); c.b.u32(3);
    c.b.u32(VEXA_LITERALS); c.b.u32(0); c.b.u32(1);   // offset patched below
    c.b.u32(VEXA_ALPHA); c.b.u32(0); c.b.u32(2);
    c.b.u32(0); c.b.u32(0); c.b.u32(0);
    REQUIRE(c.b.bytes.size() == 68);
    auto patch = [&](size_t at, DWORD v) { for (int i = 0; i < 4; ++i) c.b.bytes[at + i] = (BYTE)(v >> (8 * i)); };
    // runs: (line 0, col 1, 2 px of X); (1 line down, col 1 + 2 = 3, 1 px, reuse X); (1 down, col 3 - 4 = -1, 3 px of Y)
    c.b.u32(vexa_span(2, 0, 1, 0)); c.b.u32(X);
    c.b.u32(vexa_span(1, 1, 2, 1));
    c.b.u32(vexa_span(3, 1, -4, 0)); c.b.u32(Y);
    patch(36, (DWORD)c.b.bytes.size());
    // literals: line 3, col 0: three pixels
    c.b.u32(vexa_span(3, 3, 0, 0)); c.b.u32(0xFF000001u); c.b.u32(0xFF000002u); c.b.u32(0xFF000003u);
    patch(48, (DWORD)c.b.bytes.size());
    // alpha: line 3 col 0 two pixels from bytes (0x40, 0x80); line 3 col 2 one pixel cleared
    c.b.u32(vexa_span(2, 3, 0, 1));
    c.b.u32(vexa_span(1, 0, 2, 0));
    c.b.bytes.push_back(0x40);
    c.b.bytes.push_back(0x80);
    auto buf = c.done();

    auto l = filled_layer(4, 5, 0xFFABCDEFu);
    const DWORD B = 0xFFABCDEFu;
    CHECK(DecodeVexaLayer(l.get(), buf.data()) == 1);
    std::vector<DWORD> want = {
        B, X, X, B,
        B, B, B, X,
        Y, Y, B, B,   // column -1 skipped: Y at 0 and 1
        0x40000001u, 0x80000002u, 0x00000003u, B,
        B, B, B, B,
    };
    for (size_t i = 0; i < want.size(); ++i) {
        INFO("pixel " << i);
        CHECK(hex(pixels_of(l.get())[i]) == hex(want[i]));
    }
    // The same buffer with a header whose words do not complement: nothing drawn.
    auto bad = buf;
    bad[4] ^= 1;
    auto l2 = filled_layer(4, 5, B);
    CHECK(DecodeVexaLayer(l2.get(), bad.data()) == 1);
    for (DWORD p : pixels_of(l2.get())) CHECK(p == B);
    CHECK(vexa_decode(l2.get(), bad.data(), bad.size(), -1) == 0);
}

TEST_CASE("container: field decoding halves the layer", "[codec][vexa]")
{
    ensure_started();
    Container c;
    c.b.u32(VEXA_RUNS); c.b.u32(28); c.b.u32(1);
    c.b.u32(0); c.b.u32(0);
    c.b.u32(vexa_span(2, 1, 0, 0)); c.b.u32(0xFF0000FFu);   // field line 1
    auto buf = c.done();
    for (LONG field = 0; field < 2; ++field) {
        auto l = filled_layer(2, 5, 0);
        CHECK(DecodeVexa2Layer(l.get(), buf.data(), 1, field) == 1);
        LONG line = 2 * 1 + field;
        for (LONG y = 0; y < 5; ++y) CHECK(pel(l.get(), 0, y) == (y == line ? 0xFF0000FFu : 0u));
    }
    auto l = filled_layer(2, 5, 0);
    CHECK(DecodeVexa2Layer(l.get(), buf.data(), 0, 1) == 1);
    CHECK(pel(l.get(), 1, 1) == 0xFF0000FFu);
}

TEST_CASE("container: difference kinds round-trip exactly onto the previous frame", "[codec][vexa]")
{
    ensure_started();
    const LONG w = 37, h = 9;
    auto prevPx = noise((size_t)w * h, 5);
    auto curPx = prevPx;
    // Changes: a run of equal pixels, a literal stretch, a lone pixel and a
    // full row of one colour.
    for (LONG x = 3; x < 20; ++x) curPx[2 * w + x] = 0x80FF0000u;
    for (LONG x = 25; x < 29; ++x) curPx[2 * w + x] = 0x01020300u + (DWORD)x;
    curPx[5 * w + 36] = 0x12345678u;
    for (LONG x = 0; x < w; ++x) curPx[8 * w + x] = 0xFF00FF00u;
    auto prev = make_layer(w, h, prevPx);
    auto cur = make_layer(w, h, curPx);
    for (LONG kind : { 1, 3, 4 }) {
        INFO("kind " << kind);
        BYTE *raw = EncodeVexaLayer(cur.get(), nullptr, 0, kind, prev.get());
        REQUIRE(raw);
        M32Buffer buf(raw, free_m32);
        auto target = make_layer(w, h, prevPx);
        if (kind == 4) CHECK(ZozoreDecodeVexaLayerEx(target.get(), raw, 0) == 1);
        else CHECK(DecodeVexaLayer(target.get(), raw) == 1);
        CHECK(pixels_of(target.get()) == curPx);
        // Only the differences are there: far smaller than the layer.
        CHECK(container_size(raw) < (DWORD)(w * h));
    }
    // Kind 5 leaves the first line out.
    auto cur5 = curPx;
    cur5[0] = 0x0BADF00Du;
    auto l5 = make_layer(w, h, cur5);
    BYTE *raw = EncodeVexaLayer(l5.get(), nullptr, 0, 5, prev.get());
    REQUIRE(raw);
    M32Buffer buf5(raw, free_m32);
    auto target = make_layer(w, h, prevPx);
    CHECK(ZozoreDecodeVexaLayerEx(target.get(), raw, 0) == 1);
    CHECK(pel(target.get(), 0, 0) == prevPx[0]);
    CHECK(pixels_of(target.get())[2 * w + 5] == 0x80FF0000u);
    // Without a previous frame every pixel is coded.
    raw = EncodeVexaLayer(cur.get(), nullptr, 0, 3, nullptr);
    REQUIRE(raw);
    M32Buffer all(raw, free_m32);
    auto blank = make_layer(w, h);
    DecodeVexaLayer(blank.get(), raw);
    CHECK(pixels_of(blank.get()) == curPx);
}

TEST_CASE("container: the kind 1 layout puts fills and literals in two chunks", "[codec][vexa]")
{
    ensure_started();
    auto prev = make_layer(8, 1);
    auto cur = make_layer(8, 1, { 0, 7, 7, 7, 7, 1, 2, 0 });
    BYTE *raw = EncodeVexaLayer(cur.get(), nullptr, 0, 1, prev.get());
    REQUIRE(raw);
    M32Buffer buf(raw, free_m32);
    StreamBuilder want;
    want.u32(VEXA_RUNS); want.u32(40); want.u32(1);
    want.u32(VEXA_LITERALS); want.u32(48); want.u32(1);
    want.u32(0); want.u32(0);
    want.u32(vexa_span(4, 0, 1, 0)); want.u32(7);
    want.u32(vexa_span(2, 0, 5, 0)); want.u32(1); want.u32(2);
    DWORD s = container_size(raw);
    CHECK(s == want.bytes.size());
    CHECK(container_size(raw + 4) == ~s);
    CHECK(std::vector<BYTE>(raw + 8, raw + 8 + s) == want.bytes);
}

TEST_CASE("container: kind 2 tiles and alpha spans; wide layers; growing a given buffer", "[codec][vexa]")
{
    ensure_started();
    struct Case { LONG w, h; } cases[] = { { 1, 1 }, { 19, 21 }, { 1030, 17 } };
    for (auto &c : cases) {
        INFO(c.w << " x " << c.h);
        auto px = smooth_image(c.w, c.h);
        for (size_t i = 0; i < px.size(); ++i) {
            DWORD a = i % 5 == 0 ? 0 : i % 5 == 1 ? 0x7F : 255;
            px[i] = (px[i] & 0xFFFFFF) | a << 24;
        }
        auto l = make_layer(c.w, c.h, px);
        BYTE *given = (BYTE *)M32_alloc(64);
        BYTE *raw = EncodeVexaLayer(l.get(), given, 64, 2, nullptr);
        REQUIRE(raw);
        M32Buffer buf(raw, free_m32);
        auto out = make_layer(c.w, c.h);
        CHECK(DecodeVexaLayer(out.get(), raw) == 1);
        auto back = pixels_of(out.get());
        for (size_t i = 0; i < px.size(); ++i) REQUIRE((back[i] >> 24) == (px[i] >> 24));
        // Colour is coded whatever the alpha, so it comes back close too.
        CHECK(max_channel_error(px, back) <= 24);
    }
}

TEST_CASE("container: record form with field rows and skipped records", "[codec][vexa]")
{
    ensure_started();
    Container c;
    c.b.u32(8); c.b.u32(VEXA_REC_KIND4);
    c.b.u32(12); c.b.u32(0x12345678u); c.b.u32(0xDEAD);   // unknown: skipped
    // 2 x 4 rows at (1, 0)
    c.b.u32(16 + 8 + 2 * 4 * 4); c.b.u32(VEXA_REC_FIELD21);
    c.b.u32(2); c.b.u32(4); c.b.u32(1); c.b.u32(0);
    for (DWORD r = 0; r < 4; ++r) { c.b.u32(0xA0 + r); c.b.u32(0xB0 + r); }
    c.b.u32(8 + 4 + 4 + 4); c.b.u32(VEXA_REC_SPANS13); c.b.u32(1);
    c.b.u32(vexa_span(1, 3, 0, 1)); c.b.u32(0xCC);
    c.b.u32(8); c.b.u32(0);
    auto buf = c.done();
    for (LONG field = 0; field < 2; ++field) {
        auto l = filled_layer(3, 4, 1);
        CHECK(ZozoreDecodeVexaLayerEx(l.get(), buf.data(), field) == 1);
        for (LONG r = 0; r < 4; ++r) {
            bool drawn = (r & 1) == field;
            CHECK(pel(l.get(), 1, r) == (drawn ? 0xA0u + r : 1u));
            CHECK(pel(l.get(), 2, r) == (drawn ? 0xB0u + r : 1u));
        }
        CHECK(pel(l.get(), 0, 3) == 0xCCu);
    }
}

TEST_CASE("container: malformed buffers stop decoding without writing out of bounds", "[codec][vexa][bad]")
{
    ensure_started();
    auto l = filled_layer(5, 5, 7);
    SECTION("record shorter than its own header, too long, past the end")
    {
        for (DWORD len : { 0u, 4u, 0x8000001u, 64u }) {
            Container c;
            c.b.u32(len); c.b.u32(VEXA_REC_SPANS); c.b.u32(0);
            auto buf = c.done();
            CHECK(vexa_decode_records(l.get(), buf.data(), buf.size(), 0) == 0);
        }
        Container c;   // no end record
        c.b.u32(8); c.b.u32(VEXA_REC_SKIP);
        auto buf = c.done();
        CHECK(vexa_decode_records(l.get(), buf.data(), buf.size(), 0) == 0);
        CHECK(ZozoreDecodeVexaLayer(l.get(), buf.data()) == 1);
    }
    SECTION("field rows larger than their record")
    {
        Container c;
        c.b.u32(24); c.b.u32(VEXA_REC_FIELD22);
        c.b.u32(0x40000000u); c.b.u32(4); c.b.u32(0); c.b.u32(0);
        c.b.u32(8); c.b.u32(0);
        auto buf = c.done();
        CHECK(vexa_decode_records(l.get(), buf.data(), buf.size(), 0) == 0);
    }
    SECTION("chunk items past the end, oversized and truncated tiles")
    {
        auto tileStream = encode_strip(smooth_image(4, 4), 4, 4);
        struct Case { const char *name; DWORD type; DWORD count; std::vector<DWORD> words; bool addTile; } cases[] = {
            { "literal span longer than the data", VEXA_LITERALS, 1, { vexa_span(100, 0, 0, 0), 1, 2 }, false },
            { "run without its pixel", VEXA_RUNS, 2, { vexa_span(1, 0, 0, 0) }, false },
            { "alpha bytes missing", VEXA_ALPHA, 1, { vexa_span(9, 0, 0, 1) }, false },
            { "tile wider than a strip", VEXA_TILES, 1, { 0, 0, 2000, 4, 0 }, false },
            { "tile taller than a strip", VEXA_TILES, 1, { 0, 0, 4, 17, 0 }, false },
            { "tile length past the end", VEXA_TILES, 1, { 0, 0, 4, 4, 100000 }, false },
            { "tile stream cut short", VEXA_TILES, 1, { 0, 0, 4, 4, 0 }, true },
        };
        for (auto &k : cases) {
            INFO(k.name);
            Container c;
            c.b.u32(k.type); c.b.u32(28); c.b.u32(k.count);
            c.b.u32(0); c.b.u32(0);
            for (DWORD w : k.words) c.b.u32(w);
            if (k.addTile) {
                size_t lenAt = c.b.bytes.size() - 4;
                DWORD n = (DWORD)tileStream.size() - 3;
                for (int i = 0; i < 4; ++i) c.b.bytes[lenAt + i] = (BYTE)(n >> (8 * i));
                c.b.bytes.insert(c.b.bytes.end(), tileStream.begin(), tileStream.begin() + n);
            }
            auto buf = c.done();
            std::vector<BYTE> exact(buf);   // a heap block of exactly the container
            CHECK(vexa_decode(l.get(), exact.data(), exact.size(), -1) == 0);
            CHECK(DecodeVexaLayer(l.get(), exact.data()) == 1);
        }
    }
    SECTION("a directory that runs off the buffer, and bad arguments")
    {
        Container c;
        c.b.u32(VEXA_SKIP); c.b.u32(0);
        auto buf = c.done();
        CHECK(vexa_decode(l.get(), buf.data(), buf.size(), -1) == 0);
        CHECK(vexa_decode(l.get(), buf.data(), 7, -1) == 0);
        CHECK(DecodeVexaLayer(nullptr, buf.data()) == 0);
        CHECK(DecodeVexaLayer(l.get(), nullptr) == 0);
        CHECK(EncodeVexaLayer(nullptr, nullptr, 0, 1, nullptr) == nullptr);
        CHECK(EncodeVexaLayer(l.get(), nullptr, 0, 0, nullptr) == nullptr);
        CHECK(EncodeVexaLayer(l.get(), nullptr, 0, 6, nullptr) == nullptr);
    }
    for (DWORD p : pixels_of(l.get())) CHECK(p == 7u);
}

TEST_CASE("container: clipped layers code and draw in their own coordinates", "[codec][vexa]")
{
    ensure_started();
    auto px = noise(6 * 4, 21);
    auto whole = make_layer(6, 4, px);
    auto part = clip(whole.get(), 2, 1, 3, 2);
    for (LONG kind : { 2, 3 }) {
        INFO("kind " << kind);
        BYTE *raw = EncodeVexaLayer(part.get(), nullptr, 0, kind, nullptr);
        REQUIRE(raw);
        M32Buffer buf(raw, free_m32);
        auto target = filled_layer(6, 4, kMarkerPixel);
        auto window = clip(target.get(), 2, 1, 3, 2);
        CHECK(DecodeVexaLayer(window.get(), raw) == 1);
        for (LONG y = 0; y < 4; ++y)
            for (LONG x = 0; x < 6; ++x) {
                bool in = x >= 2 && x < 5 && y >= 1 && y < 3;
                DWORD got = pel(target.get(), x, y);
                INFO(x << "," << y);
                if (!in) CHECK(got == kMarkerPixel);
                else if (kind == 3) CHECK(got == px[(size_t)y * 6 + x]);
                else CHECK((got >> 24) == (px[(size_t)y * 6 + x] >> 24));
            }
    }
}
