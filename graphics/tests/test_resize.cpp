// Two-pass layer resizer and its line-by-line twin: step tables, area
// averages, linear enlargement, transparency, windows and bad arguments.
#include <catch2/catch.hpp>

#include <cmath>
#include <vector>

#include "image_fixture.h"
#include "resize.h"
#include "scale_source.h"

using namespace fixture;

namespace {

// Plain scalar resampling of one row, written from the rules of a pass
// (step table, alpha-weighted sums, rounding); checks the packed arithmetic.
void reference_row(const DWORD *p, LONG M, LONG N, DWORD *out, LONG outStride)
{
    std::vector<ResampleStep> steps((size_t)N);
    BuildResampleSteps(steps.data(), M, N);
    const double whole = (double)N / M;
    for (LONG i = 0; i < N; i++, out += outStride) {
        if (M == N) {
            *out = p[i];
            continue;
        }
        double a = 0, c[3] = {0, 0, 0};
        auto add = [&](DWORD px, double w) {
            double wa = w * (double)(px >> 24);
            a += wa;
            c[0] += wa * (double)(px & 0xFF);
            c[1] += wa * (double)((px >> 8) & 0xFF);
            c[2] += wa * (double)((px >> 16) & 0xFF);
        };
        add(*p++, steps[i].w0);
        for (LONG k = steps[i].k; k > 0; k--) add(*p++, whole);
        if (steps[i].w1 > 0) add(*p, steps[i].w1);
        if (steps[i].k < 0) p--;
        long alpha = std::lrint(a);
        alpha = alpha < 0 ? 0 : alpha > 255 ? 255 : alpha;
        if (alpha == 0) {
            *out &= 0x00FFFFFF;
            continue;
        }
        DWORD v = (DWORD)alpha << 24;
        for (int ch = 0; ch < 3; ch++) {
            long x = std::lrint(c[ch] * (1.0 / alpha));
            x = x < 0 ? 0 : x > 255 ? 255 : x;
            v |= (DWORD)x << (8 * ch);
        }
        *out = v;
    }
}

std::vector<DWORD> reference_resize(const std::vector<DWORD> &src, LONG sw, LONG sh, LONG dw, LONG dh)
{
    std::vector<DWORD> tmp((size_t)sh * dw, 0), out((size_t)dw * dh, 0);
    for (LONG r = 0; r < sh; r++) reference_row(&src[(size_t)r * sw], sw, dw, &tmp[r], sh);
    for (LONG r = 0; r < dw; r++) reference_row(&tmp[(size_t)r * sh], sh, dh, &out[r], dw);
    return out;
}

std::vector<DWORD> checkerboard(LONG w, LONG h, DWORD c0, DWORD c1)
{
    std::vector<DWORD> v;
    for (LONG y = 0; y < h; y++)
        for (LONG x = 0; x < w; x++) v.push_back(((x + y) & 1) ? c1 : c0);
    return v;
}

}  // namespace

TEST_CASE("resample steps follow the growing and shrinking rules", "[resize]")
{
    struct Case { LONG M, N; std::vector<ResampleStep> steps; };
    const Case cases[] = {
        {4, 2, {{0.5, 0.0, 1}, {0.5, 0.0, 1}}},
        {3, 2, {{2.0 / 3, 1.0 / 3, 0}, {1.0 / 3, 0.0, 1}}},
        {2, 4, {{1.0, 0.0, -1}, {0.75, 0.25, -1}, {0.25, 0.75, 0}, {1.0, 0.0, -1}}},
        {5, 5, {{1.0, 0.0, 0}, {1.0, 0.0, 0}, {1.0, 0.0, 0}, {1.0, 0.0, 0}, {1.0, 0.0, 0}}},
    };
    for (const Case &c : cases) {
        std::vector<ResampleStep> got((size_t)c.N);
        BuildResampleSteps(got.data(), c.M, c.N);
        for (LONG i = 0; i < c.N; i++) {
            INFO(c.M << " -> " << c.N << " output " << i);
            CHECK(got[i].w0 == Approx(c.steps[i].w0));
            CHECK(got[i].w1 == Approx(c.steps[i].w1).margin(1e-12));
            CHECK(got[i].k == c.steps[i].k);
        }
    }
}

TEST_CASE("ResizeLayer: hand-worked rows and blocks", "[resize]")
{
    const DWORD black = argb(255, 0, 0, 0);
    struct Case {
        const char *what;
        LONG sw, sh, dw, dh;
        std::vector<DWORD> src, want;
    };
    const std::vector<Case> cases = {
        {"halving a row averages pairs", 4, 1, 2, 1,
         {argb(255, 0, 0, 0), argb(255, 0, 100, 0), argb(255, 0, 200, 0), argb(255, 0, 250, 0)},
         {argb(255, 0, 50, 0), argb(255, 0, 225, 0)}},
        {"doubling a row copies the ends and blends between", 2, 1, 4, 1,
         {black, argb(255, 200, 40, 0)},
         {black, argb(255, 50, 10, 0), argb(255, 150, 30, 0), argb(255, 200, 40, 0)}},
        {"a one-pixel checkerboard halves to the average", 4, 4, 2, 2,
         checkerboard(4, 4, black, argb(255, 200, 100, 50)),
         std::vector<DWORD>(4, argb(255, 100, 50, 25))},
        {"a column grows by the same rule", 1, 2, 1, 4,
         {black, argb(255, 0, 0, 200)},
         {black, argb(255, 0, 0, 50), argb(255, 0, 0, 150), argb(255, 0, 0, 200)}},
        {"one pixel grows to a flat block", 1, 1, 3, 2,
         {argb(77, 1, 2, 3)}, std::vector<DWORD>(6, argb(77, 1, 2, 3))},
        {"a block shrinks to one pixel of the mean", 3, 3, 1, 1,
         {argb(255, 9, 0, 0), argb(255, 18, 0, 0), argb(255, 27, 0, 0), argb(255, 36, 0, 0), argb(255, 45, 0, 0),
          argb(255, 54, 0, 0), argb(255, 63, 0, 0), argb(255, 72, 0, 0), argb(255, 81, 0, 0)},
         {argb(255, 45, 0, 0)}},
        {"colours are weighted by alpha", 2, 1, 1, 1,
         {argb(255, 0, 0, 200), argb(85, 0, 0, 40)},
         {argb(170, 0, 0, 160)}},
    };
    for (const Case &c : cases) {
        INFO(c.what);
        auto src = make_layer(c.sw, c.sh, c.src);
        auto dst = make_layer(c.dw, c.dh);
        REQUIRE(ResizeLayer(dst.get(), src.get()) == 1);
        CHECK(pixels_of(dst.get()) == c.want);
        // The line-by-line path agrees on these exact cases.
        auto dst2 = make_layer(c.dw, c.dh);
        REQUIRE(ResizeLayerCorrect(dst2.get(), src.get()) == 1);
        CHECK(pixels_of(dst2.get()) == c.want);
    }
}

TEST_CASE("ResizeLayer: transparent areas keep the destination's colour bytes", "[resize]")
{
    auto src = make_layer(4, 4, std::vector<DWORD>(16, 0x00FFFFFF));
    auto dst = filled_layer(2, 2, 0xFF123456);
    REQUIRE(ResizeLayer(dst.get(), src.get()) == 1);
    CHECK(pixels_of(dst.get()) == std::vector<DWORD>(4, 0x00123456));
    // The line path writes transparent pixels as 0 in all four bytes.
    auto dst2 = filled_layer(2, 2, 0xFF123456);
    REQUIRE(ResizeLayerCorrect(dst2.get(), src.get()) == 1);
    CHECK(pixels_of(dst2.get()) == std::vector<DWORD>(4, 0));
}

TEST_CASE("ResizeLayer: packed arithmetic equals the scalar rules", "[resize]")
{
    const LONG narrow = GENERATE(0, 1);
    INFO("two lanes only " << narrow);
    ResizeNarrowLanesOnly(narrow);
    const LONG sizes[][4] = {{13, 7, 5, 3}, {5, 3, 13, 7}, {13, 3, 5, 7}, {3, 13, 7, 5}, {1, 9, 4, 2},
                             {16, 16, 16, 15}, {17, 1, 6, 1}, {64, 36, 24, 19}};
    for (auto &s : sizes) {
        INFO(s[0] << "x" << s[1] << " -> " << s[2] << "x" << s[3]);
        auto px = noise((size_t)s[0] * s[1], (uint32_t)(s[0] * 7 + s[1] * 131 + s[2]));
        // Some fully transparent and fully opaque pixels too.
        for (size_t i = 0; i < px.size(); i += 5) px[i] &= 0x00FFFFFF;
        for (size_t i = 2; i < px.size(); i += 7) px[i] |= 0xFF000000;
        auto src = make_layer(s[0], s[1], px);
        auto dst = make_layer(s[2], s[3]);
        REQUIRE(ResizeLayer(dst.get(), src.get()) == 1);
        CHECK(pixels_of(dst.get()) == reference_resize(px, s[0], s[1], s[2], s[3]));
    }
    ResizeNarrowLanesOnly(0);
}

TEST_CASE("ResizeLayer: windows, same size and bad arguments", "[resize]")
{
    SECTION("only the destination's window is written")
    {
        auto big = filled_layer(6, 5, 0xAAAAAAAA);
        auto win = clip(big.get(), 1, 2, 2, 2);
        auto src = filled_layer(4, 4, 0xFF102030);
        REQUIRE(ResizeLayer(win.get(), src.get()) == 1);
        for (LONG y = 0; y < 5; y++)
            for (LONG x = 0; x < 6; x++) {
                bool inside = x >= 1 && x < 3 && y >= 2 && y < 4;
                INFO(x << "," << y);
                CHECK(pel(big.get(), x, y) == (inside ? 0xFF102030u : 0xAAAAAAAAu));
            }
    }
    SECTION("the same window size is a copy")
    {
        auto px = noise(12, 5);
        auto src = make_layer(4, 3, px);
        auto dst = make_layer(4, 3);
        REQUIRE(ResizeLayer(dst.get(), src.get()) == 1);
        CHECK(pixels_of(dst.get()) == px);
    }
    SECTION("missing layers fail; empty windows draw nothing")
    {
        auto src = filled_layer(4, 4, 0xFF000000);
        auto dst = filled_layer(2, 2, 0x01020304);
        CHECK(ResizeLayer(nullptr, src.get()) == 0);
        CHECK(ResizeLayer(dst.get(), nullptr) == 0);
        CHECK(ResizeLayerCorrect(nullptr, src.get()) == 0);
        CHECK(ResizeLayerCorrect(dst.get(), nullptr) == 0);
        auto outside = clip(src.get(), 9, 9, 3, 3);
        CHECK(ResizeLayer(dst.get(), outside.get()) == 1);
        CHECK(ResizeLayerCorrect(dst.get(), outside.get()) == 0);
        CHECK(pixels_of(dst.get()) == std::vector<DWORD>(4, 0x01020304));
    }
}

TEST_CASE("ResizeLayerCorrect within one pixel store goes through a temporary", "[resize]")
{
    // Left half: a 4 x 4 checkerboard; the right half receives it halved.
    auto store = filled_layer(6, 4, 0xFF000000);
    auto left = clip(store.get(), 0, 0, 4, 4);
    auto right = clip(store.get(), 4, 0, 2, 2);
    auto board = checkerboard(4, 4, argb(255, 0, 0, 0), argb(255, 200, 100, 50));
    for (LONG y = 0; y < 4; y++)
        for (LONG x = 0; x < 4; x++) ((DWORD *)(store->pixels + y * store->pitch))[x] = board[y * 4 + x];
    CHECK(ResizeLayerCorrect(right.get(), left.get()) == 0);
    CHECK(pel(store.get(), 4, 0) == argb(255, 100, 50, 25));
    CHECK(pel(store.get(), 5, 1) == argb(255, 100, 50, 25));
    CHECK(pel(store.get(), 4, 2) == 0xFF000000u);
}
