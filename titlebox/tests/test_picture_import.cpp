// Picture readers of the title page: the header kinds a bitmap may have,
// Targa row orders, and every cut and random damage of both answered with
// an error or a whole picture.
#include <catch2/catch.hpp>

#include <cstdlib>
#include <cmath>
#include <cstring>
#include <algorithm>
#include <map>

#include "jpeg_write.h"
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

// LZW as a GIF writer packs it: codes grow a bit when the next code would
// not fit, a clear code when the table is full.
std::vector<uint8_t> Lzw(const std::vector<uint8_t> &idx, int minSize)
{
    std::vector<uint8_t> out;
    uint32_t acc = 0;
    int bits = 0, size = minSize + 1;
    auto emit = [&](int code) {
        acc |= uint32_t(code) << bits;
        bits += size;
        while (bits >= 8) {
            out.push_back(uint8_t(acc));
            acc >>= 8;
            bits -= 8;
        }
    };
    const int clear = 1 << minSize, end = clear + 1;
    std::map<std::pair<int, int>, int> dict;
    int next = end + 1;
    emit(clear);
    int prefix = idx[0];
    for (size_t i = 1; i < idx.size(); ++i) {
        auto it = dict.find({prefix, idx[i]});
        if (it != dict.end()) {
            prefix = it->second;
            continue;
        }
        emit(prefix);
        if (next < 4096) {
            dict[{prefix, idx[i]}] = next++;
            if (next - 1 == (1 << size) && size < 12) ++size;
        } else {
            emit(clear);
            dict.clear();
            next = end + 1;
            size = minSize + 1;
        }
        prefix = idx[i];
    }
    emit(prefix);
    emit(end);
    if (bits) out.push_back(uint8_t(acc));
    return out;
}

// A GIF89a of w x h indices (rows in stream order) with a 16-colour table,
// global or local, and a graphic control extension when transparent >= 0.
std::vector<uint8_t> MakeGif(int w, int h, const std::vector<uint8_t> &idx, int transparent, bool local,
                             bool interlaced)
{
    std::vector<uint8_t> b = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0};
    Put16(b, 6, uint16_t(w));
    Put16(b, 8, uint16_t(h));
    std::vector<uint8_t> table;
    for (int i = 0; i < 16; ++i) table.insert(table.end(), {uint8_t(i * 16), uint8_t(255 - i), uint8_t(i)});
    if (!local) {
        b[10] = 0x83;
        b.insert(b.end(), table.begin(), table.end());
    }
    b.insert(b.end(), {'!', 0xFE, 3, 'h', 'i', '!', 0});  // a comment, skipped
    if (transparent >= 0) b.insert(b.end(), {'!', 0xF9, 4, 1, 0, 0, uint8_t(transparent), 0});
    std::vector<uint8_t> desc = {',', 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put16(desc, 5, uint16_t(w));
    Put16(desc, 7, uint16_t(h));
    desc[9] = uint8_t((local ? 0x83 : 0) | (interlaced ? 0x40 : 0));
    b.insert(b.end(), desc.begin(), desc.end());
    if (local) b.insert(b.end(), table.begin(), table.end());
    b.push_back(4);
    const std::vector<uint8_t> data = Lzw(idx, 4);
    for (size_t at = 0; at < data.size(); at += 255) {
        const size_t n = std::min<size_t>(255, data.size() - at);
        b.push_back(uint8_t(n));
        b.insert(b.end(), data.begin() + at, data.begin() + at + n);
    }
    b.push_back(0);
    b.push_back(';');
    return b;
}

uint32_t GifColour(int i) { return uint32_t(i) | uint32_t(255 - i) << 8 | uint32_t(i * 16) << 16; }

std::vector<uint8_t> GifIndices(int w, int h)
{
    std::vector<uint8_t> idx(size_t(w) * h);
    srand(3);
    // Runs and noise, so the table grows past several code sizes.
    for (size_t i = 0; i < idx.size(); ++i) idx[i] = uint8_t((i / 7) % 3 == 0 ? rand() % 16 : (i / 5) % 16);
    return idx;
}

}  // namespace

TEST_CASE("GIF: the code stream decoded, tables, interlace and transparency", "[picture][gif]")
{
    const int w = 61, h = 67;
    const std::vector<uint8_t> idx = GifIndices(w, h);
    for (bool local : {false, true})
        for (bool interlaced : {false, true}) {
            INFO("local " << local << " interlaced " << interlaced);
            Picture p;
            std::string error;
            REQUIRE(DecodeGif(MakeGif(w, h, idx, interlaced ? 5 : -1, local, interlaced), &p, &error));
            REQUIRE(p.width == w);
            REQUIRE(p.height == h);
            // Stream row r is picture row y; the buffer is bottom-up.
            std::vector<int> rowOf;
            if (interlaced) {
                for (int start : {0, 4, 2, 1})
                    for (int y = start; y < h; y += start == 0 || start == 4 ? 8 : start == 2 ? 4 : 2) rowOf.push_back(y);
            } else {
                for (int y = 0; y < h; ++y) rowOf.push_back(y);
            }
            bool same = true;
            for (int r = 0; r < h; ++r)
                for (int x = 0; x < w; ++x)
                    same = same && p.pixels[size_t(h - 1 - rowOf[r]) * w + x] == GifColour(idx[size_t(r) * w + x]);
            CHECK(same);
            CHECK(p.colourKeyed == interlaced);
            if (interlaced) CHECK(p.keyColour == RGB(5 * 16, 250, 5));
        }
}

TEST_CASE("GIF: damaged files end with their message", "[picture][gif]")
{
    const std::vector<uint8_t> good = MakeGif(9, 4, GifIndices(9, 4), 2, false, false);
    auto with = [&](size_t at, uint8_t v) {
        std::vector<uint8_t> f = good;
        f[at] = v;
        return f;
    };
    const size_t image = 13 + 48 + 7 + 8;  // the image descriptor
    std::vector<uint8_t> noTable = good;
    noTable[10] = 0;
    noTable.erase(noTable.begin() + 13, noTable.begin() + 13 + 48);
    const struct {
        std::vector<uint8_t> file;
        const char *message;
    } cases[] = {
        {std::vector<uint8_t>(good.begin(), good.begin() + 4), "Error reading GIF Magic"},
        {with(0, 'J'), "is not a valid .GIF file"},
        {with(4, '8'), "Error, Bad GIF Version number"},
        {std::vector<uint8_t>(good.begin(), good.begin() + 10), "Error, failed to GIF read screen descriptor.\nGiving up"},
        {std::vector<uint8_t>(good.begin(), good.begin() + 40), "Error reading GIF file\nGIFScreen Colormap\nGiving up"},
        {std::vector<uint8_t>(good.begin(), good.begin() + 66), "Error on extension read.\nGiving up"},
        {std::vector<uint8_t>(good.begin(), good.begin() + image + 5), "Error on dimension read\nGiving up"},
        {with(image + 5, 0), "Error on dimension read\nGiving up"},
        {noTable, "Error reading GIF colormap\nGiving up"},
        {with(image + 9, 0x83), "Error reading GIF file\nLocalColorMap\nGiving up"},
        {std::vector<uint8_t>(good.begin(), good.begin() + image + 14), "Unexpected EOF in GIF.\nGiving up"},
        {with(image, ';'), "Unexpected EOF in GIF.\nGiving up"},
        {with(image, 'x'), "is not a valid .GIF file"},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        INFO("case " << i);
        Picture p;
        std::string error;
        CHECK_FALSE(DecodeGif(cases[i].file, &p, &error));
        CHECK(error == cases[i].message);
        CHECK(p.pixels.empty());
    }
}

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
    } readers[] = {{CoreBmp(), DecodeBitmap}, {TopDownBmp(), DecodeBitmap}, {Tga32(), DecodeTarga},
                   {MakeGif(9, 4, GifIndices(9, 4), 2, false, true), DecodeGif}};
    for (const Reader &r : readers) {
        Picture whole;
        std::string error;
        REQUIRE(r.decode(r.good, &whole, &error));
        for (size_t n = 0; n < r.good.size(); ++n) {
            std::vector<uint8_t> cut(r.good.begin(), r.good.begin() + n);
            Picture p;
            INFO("cut at " << n);
            // A GIF cut after its last code block still holds the whole picture.
            if (r.decode(cut, &p, &error)) {
                CHECK(r.decode == DecodeGif);
                CHECK(p.pixels == whole.pixels);
            } else {
                CHECK(!error.empty());
                CHECK(p.pixels.empty());
            }
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

TEST_CASE("JPEG: colour and grey pictures bottom-up, damaged ones refused; kinds by extension", "[picture][jpeg]")
{
    // 16 x 16: the top half red, the bottom half blue (flat 8 x 8 blocks
    // come back within a few levels).
    std::vector<unsigned char> rgb(16 * 16 * 3);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            unsigned char *p = &rgb[(y * 16 + x) * 3];
            p[0] = y < 8 ? 250 : 0;
            p[2] = y < 8 ? 0 : 250;
        }
    const std::vector<unsigned char> colour = JpegTestWrite(rgb.data(), 16, 16, 3, 95, false, 0);
    auto roughly = [](uint32_t v, int b, int g, int r) {
        return std::abs(int(v & 0xFF) - b) <= 8 && std::abs(int(v >> 8 & 0xFF) - g) <= 8 &&
               std::abs(int(v >> 16 & 0xFF) - r) <= 8 && (v >> 24) == 0;
    };
    Picture p;
    std::string error;
    REQUIRE(DecodeJpeg(std::vector<uint8_t>(colour.begin(), colour.end()), &p, &error));
    REQUIRE(p.width == 16);
    REQUIRE(p.height == 16);
    CHECK(roughly(p.pixels[0], 250, 0, 0));          // bottom row first: blue
    CHECK(roughly(p.pixels[15 * 16 + 5], 0, 0, 250));  // top row: red

    std::vector<unsigned char> grey(8 * 8, 100);
    const std::vector<unsigned char> g = JpegTestWrite(grey.data(), 8, 8, 1, 95, false, 0);
    REQUIRE(DecodeJpeg(std::vector<uint8_t>(g.begin(), g.end()), &p, &error));
    CHECK(roughly(p.pixels[10], 100, 100, 100));

    std::vector<uint8_t> cut(colour.begin(), colour.begin() + colour.size() / 2);
    std::vector<uint8_t> magic(colour.begin(), colour.end());
    magic[0] = 'B';
    for (const auto &f : {cut, magic, std::vector<uint8_t>()}) {
        CHECK_FALSE(DecodeJpeg(f, &p, &error));
        CHECK(error == kWrongImageFormat);
    }

    const struct { const char *path; PictureKind kind; } kinds[] = {
        {"a.bmp", PICTURE_BMP}, {"A.BMP", PICTURE_BMP}, {"x.Tga", PICTURE_TGA}, {"x.gif", PICTURE_GIF},
        {"x.JPG", PICTURE_JPEG}, {"x.jpeg", PICTURE_JPEG}, {"x.png", PICTURE_UNKNOWN}, {"bm", PICTURE_UNKNOWN},
        {"", PICTURE_UNKNOWN}};
    for (const auto &k : kinds) CHECK(PictureKindOf(k.path) == k.kind);
}
