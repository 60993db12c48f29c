#include <catch2/catch.hpp>
#include "hsl_pixel.h"
#include <climits>
#include <vector>

TEST_CASE("hue +120 turns pure red into green (254: L is 127, so m2 is 254)") {
    const uint8_t red[3] = {0, 0, 255};
    uint8_t out[3];
    hsl::ShiftPixelReference(red, out, {120, 0, 0});
    CHECK(out[0] == 0);
    CHECK(out[1] == 254);
    CHECK(out[2] == 0);
}

// Pixels are blue, green, red.  Expected values follow the integer formulas
// by hand (truncating division, tie order red before green before blue).
TEST_CASE("pixel transform edge cases, reference and fast path alike") {
    struct Case {
        uint8_t in[3];
        hsl::Offsets o;
        uint8_t out[3];
        const char* what;
    };
    const Case cases[] = {
        {{100, 100, 100}, {90, 0, 0}, {100, 100, 100}, "grey under a hue offset stays"},
        {{100, 100, 100}, {0, 0, 50}, {150, 150, 150}, "grey moves by the lightness offset"},
        {{230, 230, 230}, {0, 0, 50}, {255, 255, 255}, "lightness clamps at 255"},
        {{20, 20, 20}, {0, 0, -50}, {0, 0, 0}, "lightness clamps at 0"},
        {{0, 0, 0}, {0, 0, -1}, {0, 0, 0}, "black darker is black"},
        {{255, 255, 255}, {0, 0, 1}, {255, 255, 255}, "white lighter is white"},
        {{0, 0, 255}, {120, 0, 0}, {0, 254, 0}, "red +120 is green (254)"},
        {{0, 0, 255}, {180, 0, 0}, {254, 254, 0}, "red +180 is cyan"},
        {{0, 0, 255}, {-180, 0, 0}, {254, 254, 0}, "red -180 equals +180"},
        {{100, 120, 140}, {0, -100, 0}, {120, 120, 120}, "saturation -100 on S<=100 gives grey of L"},
        {{0, 0, 255}, {0, -100, 0}, {50, 50, 204}, "saturation -100 on S=256 keeps colour"},
        {{0, 255, 255}, {0, 0, 1}, {0, 255, 255}, "red/green tie counts as red"},
        {{255, 255, 0}, {0, 0, 1}, {255, 255, 0}, "green/blue tie counts as green"},
        {{255, 0, 255}, {0, 0, -1}, {252, 0, 252}, "magenta a step darker"},
        {{10, 200, 90}, {-90, 20, -10}, {2, 17, 188}, "mixed offsets"},
        {{250, 3, 128}, {359, -7, 4}, {250, 10, 126}, "hue 359 wraps once"},
        {{64, 32, 200}, {-360, 0, 0}, {63, 33, 199}, "a full turn back"},
        {{64, 32, 200}, {360, 0, 0}, {63, 33, 199}, "a full turn on"},
        {{12, 34, 56}, {45, INT_MAX, 0}, {0, 68, 51}, "huge saturation offset clamps without overflow"},
        {{12, 34, 56}, {0, 0, INT_MIN}, {0, 0, 0}, "huge negative lightness offset clamps"},
        {{200, 100, 50}, {1000, 0, 0}, {51, 51, 51}, "hue beyond a turn: angles clamp as the formulas give"},
        {{200, 100, 50}, {-1000, 0, 0}, {0, 0, 199}, "hue far below"},
    };
    for (const Case& c : cases) {
        INFO(c.what);
        uint8_t ref[3], fast[3];
        hsl::ShiftPixelReference(c.in, ref, c.o);
        hsl::ShiftPixels(c.in, fast, 1, c.o);
        for (hsl::Kernel k : {hsl::Kernel::Scalar, hsl::Kernel::Sse41, hsl::Kernel::Avx2}) {
            uint8_t px[3];
            if (!hsl::ShiftPixelsWith(k, c.in, px, 1, c.o)) continue;
            INFO("kernel " << hsl::KernelName(k));
            CHECK((px[0] == c.out[0] && px[1] == c.out[1] && px[2] == c.out[2]));
        }
        CHECK(ref[0] == c.out[0]);
        CHECK(ref[1] == c.out[1]);
        CHECK(ref[2] == c.out[2]);
        CHECK(fast[0] == c.out[0]);
        CHECK(fast[1] == c.out[1]);
        CHECK(fast[2] == c.out[2]);
    }
}

TEST_CASE("fast path (each kernel) equals the reference over all 2^24 colours") {
    static std::vector<uint8_t> all;
    if (all.empty()) {
        all.resize(3u << 24);
        for (uint32_t v = 0; v < (1u << 24); ++v) {
            all[3 * v] = (uint8_t)v;
            all[3 * v + 1] = (uint8_t)(v >> 8);
            all[3 * v + 2] = (uint8_t)(v >> 16);
        }
    }
    std::vector<uint8_t> ref(all.size()), fast(all.size());
    const hsl::Offsets triples[] = {
        {120, 0, 0}, {-180, 50, -30}, {37, -100, 20}, {359, 100, 100}, {-360, -5, 7}, {5, 300, -300}, {0, 0, 1},
    };
    for (const hsl::Offsets& o : triples) {
        INFO("offsets " << o.hue << " " << o.saturation << " " << o.lightness);
        hsl::ShiftPixelsReference(all.data(), ref.data(), 1u << 24, o);
        for (hsl::Kernel k : {hsl::Kernel::Scalar, hsl::Kernel::Sse41, hsl::Kernel::Avx2}) {
            INFO("kernel " << hsl::KernelName(k));
            if (!hsl::ShiftPixelsWith(k, all.data(), fast.data(), 1u << 24, o)) {
                WARN("kernel " << hsl::KernelName(k) << " not available on this processor");
                continue;
            }
            size_t bad = 0, first = 0;
            for (size_t i = 0; i < ref.size(); ++i)
                if (ref[i] != fast[i] && bad++ == 0) first = i / 3;
            INFO("first differing colour " << first);
            CHECK(bad == 0);
        }
    }
}

TEST_CASE("in place: output may be the input buffer") {
    uint8_t px[6] = {0, 0, 255, 100, 120, 140};
    hsl::ShiftPixels(px, px, 2, {120, 0, 0});
    CHECK(px[0] == 0);
    CHECK(px[1] == 254);
    CHECK(px[2] == 0);
    uint8_t one[3] = {100, 120, 140}, want[3];
    hsl::ShiftPixelReference(one, want, {120, 0, 0});
    CHECK(px[3] == want[0]);
    CHECK(px[4] == want[1]);
    CHECK(px[5] == want[2]);
}
