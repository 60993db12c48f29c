#include <catch2/catch.hpp>
#include "hsl_pixel.h"

TEST_CASE("hue +120 turns pure red into green (254: L is 127, so m2 is 254)") {
    const uint8_t red[3] = {0, 0, 255};
    uint8_t out[3];
    hsl::ShiftPixelReference(red, out, {120, 0, 0});
    CHECK(out[0] == 0);
    CHECK(out[1] == 254);
    CHECK(out[2] == 0);
}
