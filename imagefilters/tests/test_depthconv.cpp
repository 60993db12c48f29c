// Row converters between pixel depths.
#include <catch2/catch.hpp>

#include <cstring>
#include <vector>

#include "depthconv.h"

using namespace ferrix;

namespace {

ConverterHead MakeHead(uint8_t alpha = 255)
{
    ConverterHead h;
    std::memset(&h, 0, sizeof h);
    h.alpha = alpha;
    return h;
}

uint32_t Rd32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint32_t Rd16(const uint8_t* p) { return p[0] | (p[1] << 8); }

PlainConverter PlainCell(int mode, int sd, int td)
{
    return fxPlainTable[mode][DepthIndex(sd)][DepthIndex(td)];
}
ResampleConverter ResCell(int mode, int sd, int td)
{
    return fxResampleTable[mode][DepthIndex(sd)][DepthIndex(td)];
}

}  // namespace

TEST_CASE("Depth index, alpha mode and default palette size", "[depthconv]")
{
    const int depths[] = {1, 4, 8, 16, 24, 32};
    for (int i = 0; i < 6; ++i) CHECK(DepthIndex(depths[i]) == i);
    CHECK(DepthIndex(2) == -1);
    CHECK(DepthIndex(0) == -1);

    CHECK(AlphaMode(0) == 0);
    CHECK(AlphaMode(0x20000) == 2);
    CHECK(AlphaMode(0x80000) == 1);
    CHECK(AlphaMode(0xA0000) == 1);

    struct { int depth, given, want; } cases[] = {
        {1, 0, 2}, {2, 0, 16}, {4, 0, 16}, {5, 0, 256}, {8, 0, 256}, {16, 0, 0}, {24, 0, 0}, {8, 17, 17}, {24, 5, 5}};
    for (auto& c : cases) CHECK(DefaultPaletteSize(c.depth, c.given) == c.want);
}

TEST_CASE("Which cells hold converters", "[depthconv]")
{
    for (int mode = 0; mode < 3; ++mode) {
        for (int sd = 3; sd < 6; ++sd)
            for (int td = 0; td < 3; ++td) {
                CHECK(fxPlainTable[mode][sd][td] == nullptr);
                CHECK(fxResampleTable[mode][sd][td] == nullptr);
            }
        // Palette depths never go to a smaller palette depth, and 1 -> 4 is absent.
        CHECK(fxResampleTable[mode][0][1] == nullptr);
        CHECK(fxPlainTable[mode][0][1] == nullptr);
        CHECK(fxResampleTable[mode][0][0] != nullptr);
        CHECK(fxResampleTable[mode][1][1] != nullptr);
        // Resampling same-depth cells exist in every mode.
        for (int d = 0; d < 6; ++d)
            if (d != 0 && d != 1) CHECK(fxResampleTable[mode][d][d] != nullptr);
    }
    // Plain same-depth cells: only 16 -> 16 and 32 -> 32 in modes 1 and 2.
    for (int d = 0; d < 6; ++d) CHECK(fxPlainTable[0][d][d] == nullptr);
    CHECK(fxPlainTable[1][3][3] != nullptr);
    CHECK(fxPlainTable[2][5][5] != nullptr);
    CHECK(fxPlainTable[1][4][4] == nullptr);
}

TEST_CASE("16-bit pixels widen with the flag rule", "[depthconv]")
{
    struct { uint16_t in; int mode; uint8_t alpha; uint32_t want; } cases[] = {
        {0x7FFF, 0, 255, 0xFFFFFFFFu}, {0x8000, 0, 255, 0x00000000u}, {0x0421, 0, 255, 0xFF080808u},
        {0x4000, 0, 255, 0xFF840000u},  // red 16 -> 132
        {0xFFFF, 0, 255, 0x00FFFFFFu},  // flag set: transparent
        {0x7FFF, 1, 0x40, 0x40FFFFFFu}, {0xFFFF, 1, 0x40, 0x40FFFFFFu},  // mode 1: the record's alpha
        {0xFFFF, 2, 0x40, 0x00FFFFFFu}, {0x7FFF, 2, 0x40, 0xFFFFFFFFu},  // plain mode 2: as mode 0
    };
    for (auto& c : cases) {
        INFO("in " << std::hex << c.in << " mode " << c.mode);
        ConverterHead h = MakeHead(c.alpha);
        uint8_t src[2] = {uint8_t(c.in), uint8_t(c.in >> 8)};
        uint8_t dst[8] = {};
        REQUIRE(PlainCell(c.mode, 16, 32)(&h, src, dst, 1) == 3);
        CHECK(Rd32(dst) == c.want);
    }
    // Resampling mode 2 follows mode 1.
    ConverterHead h = MakeHead(0x40);
    uint8_t src[2] = {0xFF, 0xFF}, step[1] = {0};
    uint8_t dst[4] = {};
    REQUIRE(ResCell(2, 16, 32)(&h, src, dst, 1, step) == 1);
    CHECK(Rd32(dst) == 0x40FFFFFFu);
}

TEST_CASE("Alpha rules of the direct-colour cells", "[depthconv]")
{
    // 32 -> 16 flag rules, by mode and family.
    struct { int mode; bool res; uint32_t px; uint8_t alpha; uint16_t want; } to16[] = {
        {0, false, 0x7FFFFFFFu, 255, 0xFFFF}, {0, false, 0x80FFFFFFu, 255, 0x7FFF},
        {0, true, 0x7F000000u, 255, 0x8000}, {0, true, 0x80000000u, 255, 0x0000},
        {1, false, 0x00FFFFFFu, 200, 0x7FFF}, {1, false, 0xFFFFFFFFu, 100, 0xFFFF},
        {2, false, 0x80FFFFFFu, 0, 0xFFFF}, {2, false, 0x7FFFFFFFu, 0, 0x7FFF},
        {2, true, 0x80FFFFFFu, 0, 0xFFFF}, {2, true, 0x80FFFFFFu, 200, 0x7FFF},
    };
    for (auto& c : to16) {
        INFO("mode " << c.mode << " res " << c.res << " px " << std::hex << c.px);
        ConverterHead h = MakeHead(c.alpha);
        uint8_t src[4] = {uint8_t(c.px), uint8_t(c.px >> 8), uint8_t(c.px >> 16), uint8_t(c.px >> 24)};
        uint8_t dst[2] = {}, step[1] = {0};
        if (c.res) ResCell(c.mode, 32, 16)(&h, src, dst, 1, step);
        else PlainCell(c.mode, 32, 16)(&h, src, dst, 1);
        CHECK(Rd16(dst) == c.want);
    }

    // 32 -> 32: mode 1 replaces alpha, plain mode 2 inverts it, resampling mode 2 replaces.
    ConverterHead h = MakeHead(0x33);
    uint8_t src[4] = {1, 2, 3, 0x10}, dst[4] = {}, step[1] = {0};
    PlainCell(1, 32, 32)(&h, src, dst, 1);
    CHECK(Rd32(dst) == 0x33030201u);
    PlainCell(2, 32, 32)(&h, src, dst, 1);
    CHECK(Rd32(dst) == 0xEF030201u);
    ResCell(2, 32, 32)(&h, src, dst, 1, step);
    CHECK(Rd32(dst) == 0x33030201u);
    ResCell(0, 32, 32)(&h, src, dst, 1, step);
    CHECK(Rd32(dst) == 0x10030201u);

    // 16 -> 16: mode 1 flag from the alpha byte, plain mode 2 flag inverted.
    uint8_t s16[2] = {0x34, 0x12}, d16[2] = {};
    ConverterHead lo = MakeHead(10), hi = MakeHead(200);
    PlainCell(1, 16, 16)(&lo, s16, d16, 1);
    CHECK(Rd16(d16) == 0x9234);
    PlainCell(1, 16, 16)(&hi, s16, d16, 1);
    CHECK(Rd16(d16) == 0x1234);
    PlainCell(2, 16, 16)(&hi, s16, d16, 1);
    CHECK(Rd16(d16) == 0x9234);

    // 24 -> 32 takes the alpha byte in every mode; 24 -> 16 and 32 -> 24 pack and drop.
    uint8_t s24[3] = {0xFF, 0x80, 0x08};
    for (int mode = 0; mode < 3; ++mode) {
        PlainCell(mode, 24, 32)(&h, s24, dst, 1);
        CHECK(Rd32(dst) == 0x330880FFu);
        PlainCell(mode, 24, 16)(&h, s24, d16, 1);
        CHECK(Rd16(d16) == ((1 << 10) | (16 << 5) | 31));
    }
    uint8_t s32[4] = {9, 8, 7, 6}, d24[3] = {};
    PlainCell(0, 32, 24)(&h, s32, d24, 1);
    CHECK((d24[0] == 9 && d24[1] == 8 && d24[2] == 7));
}

TEST_CASE("Palette sources write their working palette entries", "[depthconv]")
{
    ConverterHead h = MakeHead();
    for (int i = 0; i < 256; ++i) h.palette[i] = 0xFF000000u | (uint32_t(i) << 16) | (uint32_t(255 - i));
    SECTION("8 -> 32 and 8 -> 24")
    {
        uint8_t src[3] = {0, 7, 255};
        uint8_t dst[12] = {};
        PlainCell(0, 8, 32)(&h, src, dst, 3);
        CHECK(Rd32(dst + 4) == h.palette[7]);
        CHECK(Rd32(dst + 8) == h.palette[255]);
        PlainCell(0, 8, 24)(&h, src, dst, 3);
        CHECK(dst[3] == 248);
        CHECK(dst[5] == 7);
    }
    SECTION("4 -> 16 takes the low half of each entry")
    {
        uint8_t src[2] = {0x1F, 0x20};
        uint8_t dst[8] = {};
        PlainCell(0, 4, 16)(&h, src, dst, 3);
        CHECK(Rd16(dst + 0) == (h.palette[1] & 0xFFFF));
        CHECK(Rd16(dst + 2) == (h.palette[15] & 0xFFFF));
        CHECK(Rd16(dst + 4) == (h.palette[2] & 0xFFFF));
    }
    SECTION("1-bit plain converters count the segment bits and start at the bit phase")
    {
        h.segmentBits = 4;
        h.startPhase = 3;  // first pixel from mask 0x10
        uint8_t src[2] = {0x10, 0x00};
        uint8_t dst[8];
        std::memset(dst, 0xEE, sizeof dst);
        PlainCell(0, 1, 8)(&h, src, dst, 99);  // count argument ignored
        CHECK(dst[0] == 1);
        CHECK(dst[1] == 0);
        CHECK(dst[3] == 0);
        CHECK(dst[4] == 0xEE);
    }
}

TEST_CASE("Packed targets: bit and nibble order", "[depthconv]")
{
    ConverterHead h = MakeHead();
    SECTION("1 -> 1 of 10 pixels writes 2 bytes, the second with 2 top bits")
    {
        uint8_t src[2] = {0xA5, 0xC0};
        uint8_t dst[3] = {0, 0x77, 0x55};
        std::vector<uint8_t> steps(10, 1);
        steps[0] = 0;
        REQUIRE(ResCell(0, 1, 1)(&h, src, dst, 10, steps.data()) == 1);
        CHECK(dst[0] == 0xA5);
        CHECK(dst[1] == 0xC0);
        CHECK(dst[2] == 0x55);
    }
    SECTION("4 -> 4 with an odd count leaves the last low nibble 0")
    {
        uint8_t src[2] = {0x12, 0x3F};
        uint8_t dst[3] = {0xEE, 0xEE, 0xEE};
        uint8_t steps[3] = {0, 1, 1};
        ResCell(0, 4, 4)(&h, src, dst, 3, steps);
        CHECK(dst[0] == 0x12);
        CHECK(dst[1] == 0x30);
        CHECK(dst[2] == 0xEE);
    }
    SECTION("4-bit resampling starts at the low nibble with a start phase")
    {
        h.startPhase = 4;
        uint8_t src[2] = {0x12, 0x34};
        uint8_t dst[3] = {};
        uint8_t steps[3] = {0, 1, 1};
        ResCell(0, 4, 8)(&h, src, dst, 3, steps);
        CHECK(dst[0] == 2);
        CHECK(dst[1] == 3);
        CHECK(dst[2] == 4);
    }
    SECTION("plain 4 -> 8 of an odd count")
    {
        uint8_t src[2] = {0xAB, 0xC0};
        uint8_t dst[4] = {0, 0, 0, 0xEE};
        PlainCell(0, 4, 8)(&h, src, dst, 3);
        CHECK(dst[0] == 0xA);
        CHECK(dst[1] == 0xB);
        CHECK(dst[2] == 0xC);
        CHECK(dst[3] == 0xEE);
    }
}

TEST_CASE("Resampling takes the step before each pixel", "[depthconv]")
{
    ConverterHead h = MakeHead();
    uint32_t src[8];
    for (int i = 0; i < 8; ++i) src[i] = 0x01010101u * uint32_t(i + 1);
    uint32_t dst[8] = {};
    SECTION("0, 1, 1, 1 copies the first four pixels")
    {
        uint8_t steps[4] = {0, 1, 1, 1};
        ResCell(0, 32, 32)(&h, reinterpret_cast<uint8_t*>(src), reinterpret_cast<uint8_t*>(dst), 4, steps);
        for (int i = 0; i < 4; ++i) CHECK(dst[i] == src[i]);
    }
    SECTION("a halving list and an enlarging list")
    {
        uint8_t half[4] = {0, 2, 2, 2};
        ResCell(0, 32, 32)(&h, reinterpret_cast<uint8_t*>(src), reinterpret_cast<uint8_t*>(dst), 4, half);
        CHECK(dst[0] == src[0]);
        CHECK(dst[3] == src[6]);
        uint8_t dbl[8] = {0, 0, 1, 0, 1, 0, 1, 0};
        uint8_t s8[4] = {10, 20, 30, 40}, d8[8] = {};
        ResCell(0, 8, 8)(&h, s8, d8, 8, dbl);
        const uint8_t want[8] = {10, 10, 20, 20, 30, 30, 40, 40};
        CHECK(std::memcmp(d8, want, 8) == 0);
    }
    SECTION("a 1-bit source walks its mask from the start phase")
    {
        h.startPhase = 3;
        uint8_t s1[2] = {0x10, 0x01};
        uint8_t d8[2] = {};
        uint8_t steps[2] = {0, 4};  // bit 3, then bit 7 of the first byte
        ResCell(0, 1, 8)(&h, s1, d8, 2, steps);
        CHECK(d8[0] == 1);
        CHECK(d8[1] == 0);
        uint8_t steps2[2] = {0, 12};  // bit 3 + 12 = bit 15: mask 0x01 of the second byte
        ResCell(0, 1, 8)(&h, s1, d8, 2, steps2);
        CHECK(d8[1] == 1);
    }
}

TEST_CASE("A count below 1 writes nothing", "[depthconv]")
{
    ConverterHead h = MakeHead();
    uint8_t src[16] = {0xFF, 0xFF, 0xFF, 0xFF};
    uint8_t dst[16];
    std::memset(dst, 0xEE, sizeof dst);
    uint8_t steps[1] = {0};
    for (int count : {0, -3}) {
        CHECK(PlainCell(0, 24, 32)(&h, src, dst, count) == 3);
        CHECK(ResCell(0, 1, 1)(&h, src, dst, count, steps) == 1);
        CHECK(fxPlainGreyTable[4](&h, src, dst, count) == 3);
    }
    for (uint8_t b : dst) CHECK(b == 0xEE);
}

TEST_CASE("8-bit extractors: grey and alpha", "[depthconv]")
{
    ConverterHead h = MakeHead(0x5A);
    uint8_t d[4] = {};
    uint8_t white16[2] = {0xFF, 0x7F}, white24[3] = {255, 255, 255}, px32[4] = {255, 0, 0, 0x81};
    fxPlainGreyTable[2](&h, white16, d, 1);
    CHECK(d[0] == 255);
    fxPlainGreyTable[3](&h, white24, d, 1);
    CHECK(d[0] == 255);
    fxPlainGreyTable[4](&h, px32, d, 1);
    CHECK(d[0] == 28 * 255 / 256);
    uint8_t red24[3] = {0, 0, 255};
    fxPlainGreyTable[3](&h, red24, d, 1);
    CHECK(d[0] == 77 * 255 / 256);

    fxPlainAlphaTable[2](&h, white16, d, 1);
    CHECK(d[0] == 255);
    uint8_t trans16[2] = {0x00, 0x80};
    fxPlainAlphaTable[2](&h, trans16, d, 1);
    CHECK(d[0] == 0);
    fxPlainAlphaTable[3](&h, white24, d, 1);
    CHECK(d[0] == 0x5A);
    fxPlainAlphaTable[4](&h, px32, d, 1);
    CHECK(d[0] == 0x81);

    uint8_t two32[8] = {0, 0, 0, 1, 0, 0, 0, 2}, steps[2] = {1, 0};
    fxResampleAlphaTable[4](&h, two32, d, 2, steps);
    CHECK(d[0] == 2);
    CHECK(d[1] == 2);
    CHECK(fxPlainGreyTable[0] == nullptr);
    CHECK(fxResampleGreyTable[1] == nullptr);
}
