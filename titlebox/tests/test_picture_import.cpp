// Picture readers of the title page: the header kinds a bitmap may have,
// Targa row orders, and every cut and random damage of both answered with
// an error or a whole picture.
#include <catch2/catch.hpp>

#include <cstdlib>
#include <cstring>

#include "picture_import.h"

using namespace titlebox;

namespace {

void Put16(std::vector<uint8_t> &b, size_t at, uint16_t v) { b[at] = uint8_t(v); b[at + 1] = uint8_t(v >> 8); }
void Put32(std::vector<uint8_t> &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// 1 bit, 10 x 2, with a 12-byte core header and 3-byte colour entries.
std::vector<uint8_t> CoreBmp()
{
    std::vector<uint8_t> b(14 + 12 + 6 + 8, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, uint32_t(b.size()));
    Put32(b, 10, 14 + 12 + 6);
    Put32(b, 14, 12);
    Put16(b, 18, 10);
    Put16(b, 20, 2);
    Put16(b, 22, 1);
    Put16(b, 24, 1);
    const uint8_t table[6] = {0x10, 0x20, 0x30, 0xF0, 0xE0, 0xD0};
    memcpy(&b[26], table, 6);
    b[32] = 0xA0;  // bottom row: 1 0 1 0 0 0 0 0, 0 0
    b[36] = 0xFF;  // top row: all ones
    b[37] = 0xC0;
    return b;
}

// 32 bits, 2 x 2, top-down (negative height).
std::vector<uint8_t> TopDownBmp()
{
    std::vector<uint8_t> b(14 + 40 + 16, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 10, 54);
    Put32(b, 14, 40);
    Put32(b, 18, 2);
    Put32(b, 22, uint32_t(-2));
    Put16(b, 26, 1);
    Put16(b, 28, 32);
    const uint32_t px[4] = {0x11, 0x22, 0x33, 0x44};  // top row first
    memcpy(&b[54], px, 16);
    return b;
}

std::vector<uint8_t> Tga32()
{
    std::vector<uint8_t> b(18, 0);
    b[0] = 3;  // an image ID of 3 bytes
    b[2] = 2;
    Put16(b, 12, 2);
    Put16(b, 14, 2);
    b[16] = 32;
    const uint8_t rest[] = {'i', 'd', '!', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    b.insert(b.end(), rest, rest + sizeof(rest));
    return b;
}

}  // namespace

TEST_CASE("bitmaps: core headers and palettes, top-down rows", "[picture]")
{
    Picture p;
    std::string error;
    REQUIRE(DecodeBitmap(CoreBmp(), &p, &error));
    CHECK(p.width == 10);
    CHECK(p.height == 2);
    CHECK_FALSE(p.perPixelAlpha);
    const uint32_t dark = 0x302010, light = 0xD0E0F0;
    CHECK(p.pixels == std::vector<uint32_t>{light, dark, light, dark, dark, dark, dark, dark, dark, dark,
                                            light, light, light, light, light, light, light, light, light, light});

    REQUIRE(DecodeBitmap(TopDownBmp(), &p, &error));
    // Kept bottom-up: the file's second row comes first; alpha cleared.
    CHECK(p.pixels == std::vector<uint32_t>{0x33, 0x44, 0x11, 0x22});
}

TEST_CASE("Targa: image ID skipped, own alpha kept; wrong kinds refused", "[picture]")
{
    Picture p;
    std::string error;
    REQUIRE(DecodeTarga(Tga32(), &p, &error));
    CHECK(p.perPixelAlpha);
    CHECK(p.pixels == std::vector<uint32_t>{0x04030201, 0x08070605, 0x0C0B0A09, 0x100F0E0D});

    std::vector<uint8_t> rle = Tga32();
    rle[2] = 10;
    std::vector<uint8_t> mapped = Tga32();
    mapped[1] = 1;
    std::vector<uint8_t> zero = Tga32();
    Put16(zero, 12, 0);
    for (const auto &f : {rle, mapped, zero}) {
        CHECK_FALSE(DecodeTarga(f, &p, &error));
        CHECK(error == kWrongImageFormat);
    }
    std::vector<uint8_t> eight = Tga32();
    eight[16] = 8;
    CHECK_FALSE(DecodeTarga(eight, &p, &error));
    CHECK(error == kWrongTargaDepth);
}

TEST_CASE("every cut and random damage gives an error or a whole picture", "[picture][fuzz]")
{
    char env[32];
    const int rounds = GetEnvironmentVariableA("FUZZ_ROUNDS", env, sizeof env) ? atoi(env) : 1500;
    struct Reader {
        std::vector<uint8_t> good;
        bool (*decode)(const std::vector<uint8_t> &, Picture *, std::string *);
    } readers[] = {{CoreBmp(), DecodeBitmap}, {TopDownBmp(), DecodeBitmap}, {Tga32(), DecodeTarga}};
    for (const Reader &r : readers) {
        for (size_t n = 0; n < r.good.size(); ++n) {
            std::vector<uint8_t> cut(r.good.begin(), r.good.begin() + n);
            Picture p;
            std::string error;
            INFO("cut at " << n);
            CHECK_FALSE(r.decode(cut, &p, &error));
            CHECK(error == kWrongImageFormat);
            CHECK(p.pixels.empty());
        }
        srand(7);
        for (int i = 0; i < rounds; ++i) {
            std::vector<uint8_t> f = r.good;
            for (int k = 1 + rand() % 4; k > 0; --k) f[size_t(rand()) % f.size()] = uint8_t(rand());
            Picture p;
            std::string error;
            if (r.decode(f, &p, &error)) {
                REQUIRE(p.width > 0);
                REQUIRE(p.height > 0);
                REQUIRE(p.pixels.size() == size_t(p.width) * p.height);
            } else {
                REQUIRE_FALSE(error.empty());
            }
        }
    }
}
