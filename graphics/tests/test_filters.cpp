// Layer filters: tables of small cases worked out by hand (odd sizes, edges
// and corners under clamp-to-edge, one-pixel layers), and bad arguments.
#include <catch2/catch.hpp>

#include <functional>
#include <vector>

#include "filters.h"
#include "image_fixture.h"

using namespace fixture;

namespace {

const DWORD kUntouched = 0xEEEEEEEE;

// Pixels with the same value in all four bytes, so every byte of the
// expected result is the same hand-worked number.
std::vector<DWORD> grey(const std::vector<int> &v)
{
    std::vector<DWORD> out;
    for (int g : v) out.push_back(g < 0 ? kUntouched : (DWORD)g * 0x01010101u);
    return out;
}

using Filter = std::function<LONG(Layer *, Layer *)>;

struct Case {
    const char *what;
    LONG w, h;
    std::vector<int> src;
    std::vector<int> want;   // -1: pixel left as it was
};

void run_cases(const Filter &f, const std::vector<Case> &cases)
{
    for (const Case &c : cases) {
        INFO(c.what);
        auto src = make_layer(c.w, c.h, grey(c.src));
        auto dst = filled_layer(c.w, c.h, kUntouched);
        CHECK(f(dst.get(), src.get()) == 1);
        CHECK(pixels_of(dst.get()) == grey(c.want));
    }
}

std::vector<int> ramp(int n, int step)
{
    std::vector<int> v;
    for (int i = 0; i < n; i++) v.push_back(i * step);
    return v;
}

}  // namespace

TEST_CASE("LowPassLayer", "[filters]")
{
    run_cases(LowPassLayer, {
        {"flat stays flat", 3, 3, std::vector<int>(9, 64), std::vector<int>(9, 64)},
        {"a lone white pixel spreads 63 / 31 / 15", 5, 5,
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0, 0, 0, 0, 15, 31, 15, 0, 0, 31, 63, 31, 0, 0, 15, 31, 15, 0, 0, 0, 0, 0, 0}},
        {"a white corner folds the missing weights onto itself", 3, 3,
         {255, 0, 0, 0, 0, 0, 0, 0, 0},
         {143, 47, 0, 47, 15, 0, 0, 0, 0}},
        {"small steps truncate", 3, 3,
         {100, 100, 100, 100, 110, 100, 100, 100, 100},
         {100, 101, 100, 101, 102, 101, 100, 101, 100}},
        {"a window narrower than 3 is left alone", 2, 3, {1, 2, 3, 4, 5, 6}, std::vector<int>(6, -1)},
        {"a one-pixel layer is left alone", 1, 1, {200}, {-1}},
    });
}

TEST_CASE("HighPassLayer", "[filters]")
{
    run_cases(HighPassLayer, {
        {"flat stays flat", 3, 5, std::vector<int>(15, 77), std::vector<int>(15, 77)},
        {"a bump is sharpened", 5, 3,
         {100, 100, 100, 100, 100, 100, 100, 110, 100, 100, 100, 100, 100, 100, 100},
         // The top and bottom rows see the bump through a corner weight.
         {100, 110, 80, 110, 100, 100, 80, 150, 80, 100, 100, 110, 80, 110, 100}},
        {"results clamp to 0..255", 3, 3,
         {0, 0, 0, 0, 200, 0, 0, 0, 0},
         {200, 0, 200, 0, 255, 0, 200, 0, 200}},
        {"a window shorter than 3 is left alone", 4, 2, std::vector<int>(8, 9), std::vector<int>(8, -1)},
    });
}

TEST_CASE("DonutBlurLayer", "[filters]")
{
    run_cases(DonutBlurLayer, {
        {"flat stays flat", 3, 3, std::vector<int>(9, 250), std::vector<int>(9, 250)},
        {"the centre is not used", 3, 3, {0, 0, 0, 0, 255, 0, 0, 0, 0}, {31, 31, 31, 31, 0, 31, 31, 31, 31}},
        // Corner (0,0): 3 x 8 + 2 x 16 + 2 x 24 + 40 = 144, / 8 = 18.
        {"a corner counts itself three times", 3, 3,
         {8, 16, 0, 24, 40, 0, 0, 0, 0},
         {18, 12, 9, 12, 6, 7, 11, 8, 5}},
        {"a one-pixel layer is left alone", 1, 1, {3}, {-1}},
    });
}

TEST_CASE("VerticalBlurLayer", "[filters]")
{
    struct VCase {
        const char *what;
        DWORD w[5];
        LONG width, height;
        std::vector<int> src, want;
    };
    const std::vector<VCase> cases = {
        {"equal weights average five rows into the middle one", {1, 1, 1, 1, 1}, 1, 7,
         ramp(7, 10), {-1, -1, 20, 30, 40, -1, -1}},
        {"a centre-only weight copies the middle rows", {0, 0, 3, 0, 0}, 2, 5,
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {-1, -1, -1, -1, 5, 6, -1, -1, -1, -1}},
        {"uneven weights truncate", {1, 2, 3, 4, 5}, 1, 5, {255, 0, 0, 0, 0}, {-1, -1, 17, -1, -1}},
        {"the largest weights do not overflow", {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}, 1, 5,
         std::vector<int>(5, 200), {-1, -1, 200, -1, -1}},
        {"all weights 0 do nothing", {0, 0, 0, 0, 0}, 1, 5, std::vector<int>(5, 9), std::vector<int>(5, -1)},
        {"fewer than five rows do nothing", {1, 1, 1, 1, 1}, 3, 4, std::vector<int>(12, 9), std::vector<int>(12, -1)},
    };
    for (const VCase &c : cases) {
        INFO(c.what);
        auto src = make_layer(c.width, c.height, grey(c.src));
        auto dst = filled_layer(c.width, c.height, kUntouched);
        CHECK(VerticalBlurLayer(dst.get(), src.get(), c.w[0], c.w[1], c.w[2], c.w[3], c.w[4]) == 1);
        CHECK(pixels_of(dst.get()) == grey(c.want));
    }
}

TEST_CASE("MosaicLayer", "[filters]")
{
    SECTION("a 10 x 10 window in 4 x 4 cells gives cells of 4, 4 and 2")
    {
        std::vector<int> v;
        for (int y = 0; y < 10; y++)
            for (int x = 0; x < 10; x++) v.push_back(x + 10 * y);
        auto src = make_layer(10, 10, grey(v));
        auto dst = filled_layer(10, 10, kUntouched);
        REQUIRE(MosaicLayer(dst.get(), src.get(), 4, 4) == 1);
        // Cell means: columns 1.5, 5.5, 8.5; rows 15, 55, 85.
        const int rowPart[3] = {15, 55, 85}, colPart2[3] = {3, 11, 17};   // colPart2: twice the column part
        for (int y = 0; y < 10; y++)
            for (int x = 0; x < 10; x++) {
                int cx = x < 4 ? 0 : x < 8 ? 1 : 2, cy = y < 4 ? 0 : y < 8 ? 1 : 2;
                int want = (colPart2[cx] + 2 * rowPart[cy]) / 2;
                INFO(x << "," << y);
                CHECK(pel(dst.get(), x, y) == (DWORD)want * 0x01010101u);
            }
    }
    const DWORD a = 0x10203040, b = 0x30405060;
    struct MCase {
        const char *what;
        LONG w, h, cw, ch;
        std::vector<DWORD> src, want;
    };
    const std::vector<MCase> cases = {
        {"bytes are averaged separately", 2, 1, 2, 1, {a, b}, {0x20304050, 0x20304050}},
        {"a cell larger than the window covers it all", 3, 1, 5, 5, {0, 0, 0x03030303}, std::vector<DWORD>(3, 0x01010101)},
        {"1 x 1 cells copy", 3, 1, 1, 1, {a, b, a}, {a, b, a}},
        {"a one-pixel layer copies", 1, 1, 2, 2, {b}, {b}},
        {"cell width 0 does nothing", 2, 1, 0, 1, {a, b}, {kUntouched, kUntouched}},
        {"negative cell height does nothing", 2, 1, 1, -1, {a, b}, {kUntouched, kUntouched}},
    };
    for (const MCase &c : cases) {
        INFO(c.what);
        auto src = make_layer(c.w, c.h, c.src);
        auto dst = filled_layer(c.w, c.h, kUntouched);
        CHECK(MosaicLayer(dst.get(), src.get(), c.cw, c.ch) == 1);
        CHECK(pixels_of(dst.get()) == c.want);
    }
}

TEST_CASE("EmbossLayer shades the green byte", "[filters]")
{
    // Source: left column dark, the rest bright, in the green byte only; the
    // other bytes carry noise that must not matter.
    std::vector<DWORD> edge;
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 3; x++) edge.push_back((x == 0 ? 0u : 0xFF00u) | 0x5A0077u);
    // Top row dark, the rest bright.
    std::vector<DWORD> hedge;
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 3; x++) hedge.push_back(y == 0 ? 0u : 0xFF00u);

    struct ECase {
        const char *what;
        std::vector<DWORD> src;
        LONG w, h, az, el, depth;
        std::vector<int> row;   // expected green of each column (all rows alike) or, with h 1, of each pixel
    };
    // Elevation 45: Lx = round(255 cos az cos 45), Lz = 180.  Depth 1:
    // Nz = 1530, Nz^2 = 2340900, NzLz = 275878.  Beside the edge Nx = -765:
    // azimuth 0 gives (180 x -765 + 275878) / sqrt(765^2 + 2340900) = 81,
    // azimuth 180 gives 242.  Depth 100: Nz^2 = 234, NzLz = 2759: a negative
    // product gives 0, azimuth 180 gives 184.
    const std::vector<ECase> cases = {
        {"lit from the dark side", edge, 3, 3, 0, 45, 1, {81, 81, 180}},
        {"lit from the bright side", edge, 3, 3, 180, 45, 1, {242, 242, 180}},
        {"a deep relief goes black in shadow", edge, 3, 3, 0, 45, 100, {0, 0, 180}},
        {"a deep relief in the light", edge, 3, 3, 180, 45, 100, {184, 184, 180}},
        {"flat at elevation 90 is white", std::vector<DWORD>(6, 0x1234), 3, 2, 10, 90, 3, {255, 255, 255}},
        {"flat at elevation 0 is black", std::vector<DWORD>(6, 0x1234), 3, 2, 10, 0, 3, {0, 0, 0}},
        {"a one-pixel layer is flat", {0xFF00}, 1, 1, 0, 45, 1, {180}},
    };
    for (const ECase &c : cases) {
        INFO(c.what);
        auto src = make_layer(c.w, c.h, c.src);
        auto dst = filled_layer(c.w, c.h, 0xA1B2C3D4);
        CHECK(EmbossLayer(dst.get(), src.get(), c.az, c.el, c.depth) == 1);
        for (LONG y = 0; y < c.h; y++)
            for (LONG x = 0; x < c.w; x++) {
                INFO(x << "," << y);
                CHECK(pel(dst.get(), x, y) == (0xA1B200D4u | (DWORD)c.row[x] << 8));
            }
    }
    SECTION("a horizontal edge lit from below")
    {
        auto src = make_layer(3, 3, hedge);
        auto dst = filled_layer(3, 3, 0);
        REQUIRE(EmbossLayer(dst.get(), src.get(), 90, 45, 1) == 1);
        for (LONG x = 0; x < 3; x++) {
            CHECK(pel(dst.get(), x, 0) == 242u << 8);
            CHECK(pel(dst.get(), x, 1) == 242u << 8);
            CHECK(pel(dst.get(), x, 2) == 180u << 8);
        }
    }
    SECTION("depth 0 does nothing")
    {
        auto src = make_layer(3, 3, edge);
        auto dst = filled_layer(3, 3, kUntouched);
        CHECK(EmbossLayer(dst.get(), src.get(), 0, 45, 0) == 1);
        CHECK(pixels_of(dst.get()) == std::vector<DWORD>(9, kUntouched));
    }
}

TEST_CASE("filters work in the overlap window and refuse missing layers", "[filters]")
{
    // Source is a 3 x 3 window inside a bigger layer: clamp-to-edge reads
    // stop at the window, not at the bigger layer's pixels around it.
    std::vector<int> big(25, 255);
    for (int y = 1; y < 4; y++)
        for (int x = 1; x < 4; x++) big[y * 5 + x] = 64;
    auto bigSrc = make_layer(5, 5, grey(big));
    auto window = clip(bigSrc.get(), 1, 1, 3, 3);
    auto dst = filled_layer(3, 3, kUntouched);
    CHECK(LowPassLayer(dst.get(), window.get()) == 1);
    CHECK(pixels_of(dst.get()) == grey(std::vector<int>(9, 64)));

    auto l = filled_layer(3, 3, 0);
    const std::vector<std::pair<const char *, std::function<LONG(Layer *, Layer *)>>> all = {
        {"low", LowPassLayer},
        {"high", HighPassLayer},
        {"donut", DonutBlurLayer},
        {"vertical", [](Layer *d, Layer *s) { return VerticalBlurLayer(d, s, 1, 1, 1, 1, 1); }},
        {"mosaic", [](Layer *d, Layer *s) { return MosaicLayer(d, s, 2, 2); }},
        {"emboss", [](Layer *d, Layer *s) { return EmbossLayer(d, s, 0, 45, 1); }},
    };
    auto away = clip(l.get(), 7, 7, 2, 2);
    for (auto &[name, f] : all) {
        INFO(name);
        CHECK(f(nullptr, l.get()) == 0);
        CHECK(f(l.get(), nullptr) == 0);
        CHECK(f(nullptr, nullptr) == 0);
        // No overlap: nothing to do, still success.
        auto d = filled_layer(3, 3, kUntouched);
        CHECK(f(d.get(), away.get()) == 1);
        CHECK(pixels_of(d.get()) == std::vector<DWORD>(9, kUntouched));
    }
}

TEST_CASE("filters give the same picture in place and on shifted windows of one layer", "[filters]")
{
    const std::vector<std::pair<const char *, std::function<LONG(Layer *, Layer *)>>> all = {
        {"low", LowPassLayer},
        {"high", HighPassLayer},
        {"donut", DonutBlurLayer},
        {"vertical", [](Layer *d, Layer *s) { return VerticalBlurLayer(d, s, 1, 4, 6, 4, 1); }},
        {"mosaic", [](Layer *d, Layer *s) { return MosaicLayer(d, s, 3, 2); }},
        {"emboss", [](Layer *d, Layer *s) { return EmbossLayer(d, s, 30, 40, 2); }},
    };
    const LONG W = 7, H = 6;
    auto px = noise((size_t)W * H, 11);
    for (auto &[name, f] : all) {
        INFO(name);
        // Reference: separate source and destination.
        auto src = make_layer(W, H, px);
        auto ref = make_layer(W, H, px);
        REQUIRE(f(ref.get(), src.get()) == 1);

        // The same layer as source and destination.
        auto same = make_layer(W, H, px);
        REQUIRE(f(same.get(), same.get()) == 1);
        CHECK(pixels_of(same.get()) == pixels_of(ref.get()));

        // Two windows of one store, the destination one pixel down and right.
        // The reference destination starts with what the shifted window
        // holds, so bytes a filter leaves alone compare too.
        auto store = filled_layer(W + 1, H + 1, 0);
        for (LONG y = 0; y < H; y++)
            for (LONG x = 0; x < W; x++) ((DWORD *)(store->pixels + y * store->pitch))[x] = px[y * W + x];
        std::vector<DWORD> shifted;
        for (LONG y = 0; y < H; y++)
            for (LONG x = 0; x < W; x++) shifted.push_back(pel(store.get(), x + 1, y + 1));
        auto ref2 = make_layer(W, H, shifted);
        REQUIRE(f(ref2.get(), src.get()) == 1);
        auto from = clip(store.get(), 0, 0, W, H);
        auto to = clip(store.get(), 1, 1, W, H);
        REQUIRE(f(to.get(), from.get()) == 1);
        std::vector<DWORD> got;
        for (LONG y = 0; y < H; y++)
            for (LONG x = 0; x < W; x++) got.push_back(pel(store.get(), x + 1, y + 1));
        CHECK(got == pixels_of(ref2.get()));
    }
}
