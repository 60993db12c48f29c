// The five compositing tables and the two arithmetics of the over operator,
// checked against computations written independently from the formulas.
#include <catch2/catch.hpp>
#include <cmath>
#include <random>
#include <xmmintrin.h>
#include <vector>
#include "layer_fixture.h"
#include "compose.h"

namespace {

unsigned product_ref(unsigned j, unsigned k)   // round(j*k*256/255), halves down
{
    unsigned n = j * k * 256, q = n / 255, r = n % 255;
    return q + (r >= 128 ? 1 : 0);
}

unsigned blend_q(unsigned a, unsigned b)
{
    if (a + b >= 256) return a;
    if (a + b == 0) return 0;
    return (255 * a + (a + b) / 2) / (a + b);
}

// Straight-alpha over by the operator's own steps, from the formulas alone.
DWORD over_def(DWORD t, DWORD b)
{
    unsigned at = t >> 24, ab = b >> 24;
    if (ab == 0 || at == 255) return t;
    if (at == 0) return b;
    unsigned e = (255 - at) * ab / 255;
    unsigned q = blend_q(at, e), r = 255 - q;
    DWORD out = (at + e) << 24;
    for (int s = 0; s < 24; s += 8) {
        unsigned ct = (t >> s) & 0xFF, cb = (b >> s) & 0xFF;
        out |= ((product_ref(ct, q) + product_ref(cb, r)) / 256) << s;
    }
    return out;
}

// The fast arithmetic, word by word, with the reciprocal from its formula.
DWORD over_fast_def(DWORD t, DWORD b)
{
    int at = t >> 24, ab = b >> 24;
    int p = (at * ab + 255) / 256, e = ab - p, ao = at + e;
    int w = ao == 0 ? 0 : ao < 5 ? 32767 : 131325 / ao;
    DWORD out = 0;
    for (int s = 0; s < 24; s += 8) {
        int x = (((t >> s) & 0xFF) * at + ((b >> s) & 0xFF) * e) / 2;
        int v = (int)(((long long)x * w) >> 16);
        out |= (DWORD)(v < 0 ? 0 : v > 255 ? 255 : v) << s;
    }
    int xa = 255 * ao / 2;
    int va = (int)(((long long)xa * 515) >> 16);
    return out | (DWORD)(va > 255 ? 255 : va) << 24;
}

int channel_diff(DWORD a, DWORD b, int shift)
{
    return std::abs((int)((a >> shift) & 0xFF) - (int)((b >> shift) & 0xFF));
}

const DWORD colour_pairs[][2] = {
    {0x000000, 0xFFFFFF}, {0xFFFFFF, 0x000000}, {0x7F7F7F, 0x303030},
    {0xFF0000, 0x0000FF}, {0x12E456, 0xA90B7C}, {0x010203, 0xFDFEFF},
};


// Random frames of the kinds the packed kernels meet: any alpha, opaque
// bottoms, runs of transparent and opaque tops (whole blocks that take a
// shortcut), weak bottoms (alpha 1..4), and counts that leave a tail.
std::vector<DWORD> random_pixels(std::mt19937 &rng, size_t n, int kind)
{
    std::vector<DWORD> v(n);
    for (size_t i = 0; i < n; ++i) {
        DWORD c = rng() & 0x00FFFFFF, a = rng() & 0xFF;
        switch (kind) {
        case 1: a = 255; break;                                            // opaque
        case 2: a = (i / 37) % 3 == 0 ? 0 : (i / 37) % 3 == 1 ? 255 : a; break;   // runs of 0 and 255
        case 3: a = rng() % 6; break;                                      // weak and empty
        default: break;
        }
        v[i] = a << 24 | c;
    }
    return v;
}

DWORD mixed_def(DWORD t, DWORD b)   // CompositPels with the switch on
{
    signed char a = (signed char)(t >> 24);
    return pm_over_guarded(t, b, a >= 5);
}

struct MMXSwitch {
    LONG saved;
    explicit MMXSwitch(LONG on) : saved(g_useMMX) { g_useMMX = on; }
    ~MMXSwitch() { g_useMMX = saved; }
};

} // namespace

TEST_CASE("tables hold the values of their formulas")
{
    lf::start();
    SECTION("ProductTable: rounded j*k/255 in 8.8, symmetric") {
        for (unsigned j = 0; j < 256; ++j)
            for (unsigned k = 0; k < 256; ++k) {
                REQUIRE(ProductTable[(j << 8) | k] == product_ref(j, k));
                REQUIRE(ProductTable[(j << 8) | k] == ProductTable[(k << 8) | j]);
            }
        CHECK(ProductTable[0xFFFF] == 65280);
        CHECK(ProductTable[(128 << 8) | 255] == 32768);
        CHECK(ProductTable[(1 << 8) | 1] == 1);      // 256/255 rounds to 1
    }
    SECTION("ReciprocalTable: zero row, saturated rows 1-4, 131325/i above") {
        CHECK(ReciprocalTable[0][0] == 0);
        CHECK(ReciprocalTable[0][3] == 515);
        for (int i = 1; i <= 4; ++i) {
            CHECK(ReciprocalTable[i][0] == 32767);
            CHECK(ReciprocalTable[i][2] == 32767);
            CHECK(ReciprocalTable[i][3] == 515);
        }
        CHECK(ReciprocalTable[5][1] == 26265);
        CHECK(ReciprocalTable[255][0] == 515);
        for (int i = 5; i < 256; ++i) {
            REQUIRE(ReciprocalTable[i][0] == (SHORT)std::floor(131325.0 / i));
            REQUIRE(ReciprocalTable[i][0] == ReciprocalTable[i][1]);
            REQUIRE(ReciprocalTable[i][1] == ReciprocalTable[i][2]);
            REQUIRE(ReciprocalTable[i][3] == 515);
        }
    }
    SECTION("BlendWeightTable: zero at a+b=0, a and 255-a from 256 up") {
        CHECK(BlendWeightTable[0] == 0);
        for (unsigned a = 0; a < 256; ++a)
            for (unsigned b = 0; b < 256; ++b) {
                WORD w = BlendWeightTable[(a << 8) | b];
                REQUIRE((unsigned)((w >> 8) + (w & 0xFF)) == (a + b == 0 ? 0u : 255u));
                if (a + b >= 256) REQUIRE(w == ((a << 8) | (255 - a)));
                else if (a + b) REQUIRE((w >> 8) == blend_q(a, b));
            }
        CHECK(BlendWeightTable[(100 << 8) | 20] == ((213 << 8) | 42));
        CHECK(BlendWeightTable[(128 << 8) | 128] == ((128 << 8) | 127));
        CHECK(BlendWeightTable[(0 << 8) | 77] == 255);
    }
    SECTION("CoverTable and UnmultiplyTable") {
        for (unsigned a = 0; a < 256; ++a)
            for (unsigned b = 0; b < 256; ++b) {
                REQUIRE(CoverTable[(a << 8) | b] == (unsigned)std::floor((255.0 - a) * b / 255.0 + 1e-9));
                unsigned u = a ? 255 * b / a : 255 * b;
                REQUIRE(UnmultiplyTable[(a << 8) | b] == (u > 255 ? 255 : u));
            }
        CHECK(CoverTable[(0 << 8) | 200] == 200);
        CHECK(CoverTable[(255 << 8) | 200] == 0);
        CHECK(UnmultiplyTable[(0 << 8) | 1] == 255);
        CHECK(UnmultiplyTable[(128 << 8) | 64] == 127);
    }
}

TEST_CASE("table over equals its definition for every alpha pair")
{
    lf::start();
    for (auto &cp : colour_pairs)
        for (DWORD at = 0; at < 256; ++at)
            for (DWORD ab = 0; ab < 256; ++ab) {
                DWORD t = at << 24 | cp[0], b = ab << 24 | cp[1];
                DWORD got = CompositPel(t, b);
                if (got != over_def(t, b)) FAIL(lf::hex(t) << " over " << lf::hex(b) << " gave " << lf::hex(got));
                // and it is the straight-alpha over: alpha aT + aB(255 - aT)/255,
                // colour the average weighted by aT and that bottom share
                if (ab && at != 0 && at != 255) {
                    double e = std::floor((255.0 - at) * ab / 255.0);
                    REQUIRE((got >> 24) == at + (DWORD)e);
                    for (int s = 0; s < 24; s += 8) {
                        double c = (((t >> s) & 0xFF) * at + ((b >> s) & 0xFF) * e) / (at + e);
                        REQUIRE(std::abs((int)((got >> s) & 0xFF) - c) <= 1.5);
                    }
                }
            }
}

TEST_CASE("over shortcuts and worked examples")
{
    lf::start();
    const DWORD anything[] = {0x00000000, 0x00FFFFFF, 0x80123456, 0xFFABCDEF, 0x01FFFFFF};
    for (DWORD b : anything) {
        CHECK(CompositPel(0xFF102030, b) == 0xFF102030);              // opaque top wins
        if (b >> 24) CHECK(CompositPel(0x00102030, b) == b);          // transparent top leaves the bottom
        else CHECK(CompositPel(0x00102030, b) == 0x00102030);         // ... unless the bottom is empty too
        CHECK(CompositPel(0x7F654321, b & 0x00FFFFFF) == 0x7F654321); // empty bottom: top unchanged
    }
    CHECK(CompositPel(0x7F7F7F7F, 0x30303030) == 0x97727272);
    CHECK(CompositPel(0x80FF0000, 0x800000FF) == 0xBFAB0054);
    CHECK(CompositPel(0x20000000, 0x08EBEBEB) == 0x26242424);
    CHECK(pm_over_fast1(0x20000000, 0x08EBEBEB) == 0x272A2A2A);
    CHECK(pm_over_fast1(0x7F7F7F7F, 0x30303030) == 0x97727272);
    CHECK(TestComposit1() == 0x97727272);
}

TEST_CASE("fast arithmetic: the packed path equals its word-by-word definition, near the table")
{
    lf::start();
    const LONG savedAvx2 = g_useAVX2;
    LONG wide = GENERATE(0, 1);       // the SSE2 blocks, and the AVX2 blocks where the processor has them
    g_useAVX2 = wide;
    INFO("AVX2 blocks " << wide);
    std::vector<DWORD> top, bottom;
    for (auto &cp : colour_pairs)
        for (DWORD at = 0; at < 256; ++at)
            for (DWORD ab = 0; ab < 256; ++ab) {
                top.push_back(at << 24 | cp[0]);
                bottom.push_back(ab << 24 | cp[1]);
            }
    std::vector<DWORD> out(top.size());
    CompositPelsMMXOnly(top.data(), bottom.data(), out.data(), (LONG)top.size());
    int worstAlpha = 0, worstColourHigh = 0, worstColourMid = 0;
    for (size_t i = 0; i < top.size(); ++i) {
        if (out[i] != over_fast_def(top[i], bottom[i]) || out[i] != pm_over_fast1(top[i], bottom[i]))
            FAIL(lf::hex(top[i]) << " over " << lf::hex(bottom[i]) << " gave " << lf::hex(out[i]));
        DWORD at = top[i] >> 24, ab = bottom[i] >> 24;
        if (!ab || !at || at == 255) continue;   // the callers' shortcuts
        DWORD table = CompositPel(top[i], bottom[i]);
        worstAlpha = (std::max)(worstAlpha, channel_diff(out[i], table, 24));
        for (int s = 0; s < 24; s += 8) {
            int d = channel_diff(out[i], table, s);
            if ((table >> 24) >= 128) worstColourHigh = (std::max)(worstColourHigh, d);
            else if ((table >> 24) >= 32) worstColourMid = (std::max)(worstColourMid, d);
        }
    }
    CHECK(worstAlpha <= 1);          // e' exceeds e by at most one
    INFO("result alpha >= 128: " << worstColourHigh << ", 32..127: " << worstColourMid);
    CHECK(worstColourHigh <= 3);     // a few steps where the result is not nearly transparent
    CHECK(worstColourMid <= 6);      // growing as the result alpha gets small
    g_useAVX2 = savedAvx2;
}

TEST_CASE("the guarded array takes shortcuts, then the fast arithmetic from bottom alpha 5, in place too")
{
    lf::start();
    const LONG savedAvx2 = g_useAVX2;
    g_useAVX2 = GENERATE(0, 1);
    std::vector<DWORD> top, bottom;
    for (auto &cp : colour_pairs)
        for (DWORD at = 0; at < 256; ++at)
            for (DWORD ab = 0; ab < 256; ab += (ab < 8 ? 1 : 3)) {
                top.push_back(at << 24 | cp[0]);
                bottom.push_back(ab << 24 | cp[1]);
            }
    // Runs of identical shortcut pixels too, so that whole blocks skip.
    for (int i = 0; i < 9; ++i) { top.push_back(0xFF123456); bottom.push_back(0x80FFFFFF); }
    for (int i = 0; i < 9; ++i) { top.push_back(0x00123456); bottom.push_back(0x80FFFFFF); }
    std::vector<DWORD> out(top.size()), inplace = bottom;
    pm_over_guarded_array(top.data(), bottom.data(), out.data(), (LONG)top.size());
    pm_over_guarded_array(top.data(), inplace.data(), inplace.data(), (LONG)top.size());
    for (size_t i = 0; i < top.size(); ++i) {
        DWORD expect = pm_over_guarded(top[i], bottom[i], (bottom[i] >> 24) >= 5);
        if (out[i] != expect || inplace[i] != expect)
            FAIL(lf::hex(top[i]) << " over " << lf::hex(bottom[i]) << " gave " << lf::hex(out[i]));
    }
    g_useAVX2 = savedAvx2;
}

TEST_CASE("pixel-array exports")
{
    lf::start();
    SECTION("CompositPels takes the fast arithmetic only for top alpha 5..127 when switched on") {
        const DWORD top[] = {0xC8336699, 0x20000000, 0x04336699, 0x80336699};
        const DWORD bottom[] = {0x90C0A080, 0x08EBEBEB, 0x90C0A080, 0x90C0A080};
        DWORD out[4];
        {
            MMXSwitch on(1);
            CompositPels(top, bottom, out, 4);
            CHECK(out[0] == CompositPel(top[0], bottom[0]));
            CHECK(out[1] == pm_over_fast1(top[1], bottom[1]));
            CHECK(out[1] != CompositPel(top[1], bottom[1]));
            CHECK(out[2] == CompositPel(top[2], bottom[2]));
            CHECK(out[3] == CompositPel(top[3], bottom[3]));
        }
        {
            // Every alpha pair, in blocks: each pixel by its own top alpha.
            MMXSwitch on(1);
            std::vector<DWORD> t, b;
            for (DWORD at = 0; at < 256; ++at)
                for (DWORD ab = 0; ab < 256; ab += 5) { t.push_back(at << 24 | 0x3399CC); b.push_back(ab << 24 | 0xC08040); }
            std::vector<DWORD> o(t.size());
            CompositPels(t.data(), b.data(), o.data(), (LONG)t.size());
            for (size_t i = 0; i < t.size(); ++i) {
                signed char a = (signed char)(t[i] >> 24);
                REQUIRE(o[i] == pm_over_guarded(t[i], b[i], a >= 5));
            }
        }
        {
            MMXSwitch off(0);
            CompositPels(top, bottom, out, 4);
            for (int i = 0; i < 4; ++i) CHECK(out[i] == CompositPel(top[i], bottom[i]));
        }
        MMXSwitch on(1);
        CompositPelsNonMMX(top, bottom, out, 4);
        CHECK(out[1] == CompositPel(top[1], bottom[1]));
    }
    SECTION("CompositPelsMMXOnly writes exactly count pixels, in place too") {
        for (LONG n : {0, 1, 3, 5, 6}) {
            std::vector<DWORD> t(8, 0x80FF0000), b(8, 0x800000FF), d(8, 0xDEADBEEF);
            CompositPelsMMXOnly(t.data(), b.data(), d.data(), n);
            for (LONG i = 0; i < 8; ++i) CHECK(d[i] == (i < n ? pm_over_fast1(0x80FF0000, 0x800000FF) : 0xDEADBEEF));
        }
        DWORD zero[1] = {0};
        CompositPelsMMXOnly(zero, zero, zero, 1);
        CHECK(zero[0] == 0);
        DWORD same[3] = {0x40102030, 0x80405060, 0x00000000};
        DWORD bot[3] = {0x80FFFFFF, 0x80FFFFFF, 0x80FFFFFF};
        CompositPelsMMXOnly(same, bot, same, 3);
        CHECK(same[0] == pm_over_fast1(0x40102030, 0x80FFFFFF));
        CHECK(same[2] == pm_over_fast1(0, 0x80FFFFFF));
    }
    SECTION("CompositOnTop, CompositOnBottom and CompositAgainstBlack write where they say") {
        DWORD t[2] = {0x7F7F7F7F, 0x00000000}, b[2] = {0x30303030, 0x80102030};
        CompositOnTop(t, b, 2);
        CHECK(t[0] == 0x97727272);
        CHECK(t[1] == 0x80102030);
        CHECK(b[0] == 0x30303030);
        DWORD t2[1] = {0xFF00FF00}, b2[1] = {0x80FFFFFF};
        CompositOnBottom(t2, b2, 1);
        CHECK(b2[0] == 0xFF00FF00);
        CHECK(t2[0] == 0xFF00FF00);
        DWORD flat[3] = {0x80FFFFFF, 0x00FFFFFF, 0xFF123456};
        CompositAgainstBlack(flat, 3);
        CHECK(flat[0] == 0xFF808080);
        CHECK(flat[1] == 0xFF000000);
        CHECK(flat[2] == 0xFF123456);
        DWORD keep[1] = {0x12345678};
        CompositOnTop(keep, keep, 0);
        CompositAgainstBlack(keep, 0);
        CHECK(keep[0] == 0x12345678);
    }
    SECTION("ClockCompositThreePels lays the top over a half-strength shadow, then over the destination") {
        struct Case { DWORD top, shadow, dst, expect; const char *why; };
        const Case cases[] = {
            {0x00000000, 0x00000000, 0xFF123456, 0xFF123456, "no top, no shadow: unchanged"},
            {0x80102030, 0x02000000, 0x00000000, 0x80102030, "weak shadow ignored, empty destination takes the top"},
            {0xFF102030, 0xFF000000, 0xFFFFFFFF, 0xFF102030, "opaque top ends the pixel"},
            {0x00000000, 0xC8000000, 0x00000000, 0x64000000, "shadow alone: black at half its alpha"},
            {0x00000000, 0xFF000000, 0xFFFFFFFF, 0xFF808080, "half-strength black over white"},
        };
        for (const Case &c : cases) {
            DWORD t = c.top, s = c.shadow, d = c.dst;
            ClockCompositThreePels(&t, &s, &d, 1);
            INFO(c.why);
            CHECK(lf::hex(d) == lf::hex(c.expect));
        }
        DWORD t = 0x80FF0000, s = 0x40FFFFFF, d = 0x80FFFFFF;
        ClockCompositThreePels(&t, &s, &d, 1);
        CHECK(d == CompositPel(CompositPel(0x80FF0000, 0x20000000), 0x80FFFFFF));
    }
}

TEST_CASE("packed kernels equal the word-by-word definitions on random frames, in place too")
{
    lf::start();
    const LONG savedAvx2 = g_useAVX2;
    LONG wide = GENERATE(0, 1);       // the SSE2 blocks, and the AVX2 blocks where the processor has them
    g_useAVX2 = wide;
    INFO("AVX2 blocks " << wide);
    MMXSwitch on(1);
    std::mt19937 rng(20261210);
    struct Kind { int top, bottom; } kinds[] = {{0, 0}, {0, 1}, {2, 1}, {2, 0}, {0, 3}, {2, 3}};
    for (const Kind &k : kinds)
        for (size_t n : {(size_t)1, (size_t)7, (size_t)15, (size_t)17, (size_t)4099}) {
            INFO("top kind " << k.top << ", bottom kind " << k.bottom << ", " << n << " pixels");
            std::vector<DWORD> t = random_pixels(rng, n, k.top), b = random_pixels(rng, n, k.bottom), d(n);
            struct Op {
                const char *name;
                void (*run)(const DWORD *, const DWORD *, DWORD *, LONG);
                DWORD (*def)(DWORD, DWORD);
            } ops[] = {
                {"fast", pm_over_fast_array, over_fast_def},
                {"table", pm_over_table_array, over_def},
                {"guarded", pm_over_guarded_array, [](DWORD x, DWORD y) { return pm_over_guarded(x, y, (y >> 24) >= 5); }},
                {"CompositPels", [](const DWORD *x, const DWORD *y, DWORD *z, LONG c) { CompositPels(x, y, z, c); }, mixed_def},
            };
            for (const Op &op : ops) {
                INFO(op.name);
                std::vector<DWORD> onTop = t, onBottom = b;
                op.run(t.data(), b.data(), d.data(), (LONG)n);
                op.run(onTop.data(), b.data(), onTop.data(), (LONG)n);
                op.run(t.data(), onBottom.data(), onBottom.data(), (LONG)n);
                for (size_t i = 0; i < n; ++i) {
                    DWORD expect = op.def(t[i], b[i]);
                    if (d[i] != expect || onTop[i] != expect || onBottom[i] != expect)
                        FAIL("pixel " << i << ": " << lf::hex(t[i]) << " over " << lf::hex(b[i]) << " gave " << lf::hex(d[i])
                                      << " / in place " << lf::hex(onTop[i]) << ", " << lf::hex(onBottom[i])
                                      << ", expected " << lf::hex(expect));
                }
            }
        }
    g_useAVX2 = savedAvx2;
}

TEST_CASE("packed table arithmetic equals its definition for every alpha pair and every colour byte")
{
    lf::start();
    const LONG savedAvx2 = g_useAVX2;
    LONG wide = GENERATE(0, 1);
    g_useAVX2 = wide;
    INFO("AVX2 blocks " << wide);
    // Each alpha pair with colours that walk every byte value on each side,
    // so that each blend weight meets many colour bytes.
    std::vector<DWORD> top, bottom;
    for (DWORD at = 0; at < 256; ++at)
        for (DWORD ab = 0; ab < 256; ++ab)
            for (DWORD k = 0; k < 4; ++k) {
                DWORD c1 = (at * 7 + ab * 3 + k * 64) & 0xFF, c2 = (ab * 5 + at + k * 97) & 0xFF;
                top.push_back(at << 24 | c1 << 16 | (255 - c1) << 8 | c2);
                bottom.push_back(ab << 24 | c2 << 16 | c1 << 8 | (255 - c2));
            }
    std::vector<DWORD> out(top.size());
    CompositPelsNonMMX(top.data(), bottom.data(), out.data(), (LONG)top.size());
    for (size_t i = 0; i < top.size(); ++i)
        if (out[i] != over_def(top[i], bottom[i]))
            FAIL(lf::hex(top[i]) << " over " << lf::hex(bottom[i]) << " gave " << lf::hex(out[i]));
    g_useAVX2 = savedAvx2;
}

TEST_CASE("the packed kernels raise no floating-point exception, for hosts that unmask them")
{
    lf::start();
    const LONG savedAvx2 = g_useAVX2;
    g_useAVX2 = GENERATE(0, 1);
    std::vector<DWORD> top, bottom;
    for (DWORD at = 0; at < 256; ++at)
        for (DWORD ab = 0; ab < 256; ab += 3) {
            top.push_back(at << 24 | 0x123456);
            bottom.push_back(ab << 24 | 0xFEDCBA);
        }
    std::vector<DWORD> out(top.size());
    const unsigned csr = _mm_getcsr();
    _mm_setcsr(csr & ~(unsigned)(_MM_MASK_DIV_ZERO | _MM_MASK_INVALID | _MM_MASK_OVERFLOW));
    _mm_setcsr(_mm_getcsr() & ~(unsigned)_MM_EXCEPT_MASK);      // clear the sticky flags
    const LONG n = (LONG)top.size();
    pm_over_fast_array(top.data(), bottom.data(), out.data(), n);
    pm_over_table_array(top.data(), bottom.data(), out.data(), n);
    pm_over_guarded_array(top.data(), bottom.data(), out.data(), n);
    {
        MMXSwitch on(1);
        CompositPels(top.data(), bottom.data(), out.data(), n);
    }
    const unsigned flags = _mm_getcsr() & (_MM_EXCEPT_DIV_ZERO | _MM_EXCEPT_INVALID | _MM_EXCEPT_OVERFLOW);
    _mm_setcsr(csr);
    CHECK(flags == 0);
    g_useAVX2 = savedAvx2;
}
