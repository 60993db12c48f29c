// Every reader against damaged copies of a valid file: bytes changed at
// random places (seeded, so each run is the same) and files cut short.  A
// reader must answer with 0 or one of its result codes, and never write
// past the row, image or palette buffer it was handed.
#include <catch2/catch.hpp>

#include <algorithm>

#include "fmt_helpers.h"

using namespace fmt_test;

namespace {

struct Lcg {
    uint32_t s;
    uint32_t Next()
    {
        s = s * 1664525u + 1013904223u;
        return s >> 8;
    }
};

Bytes Row(std::initializer_list<int> v)
{
    Bytes r;
    for (int x : v) r.push_back(uint8_t(x));
    return r;
}

Bytes ValidBmpRle()
{
    std::vector<Bytes> rows;
    for (int y = 0; y < 6; ++y) {
        Bytes r(12);
        for (int x = 0; x < 12; ++x) r[x] = uint8_t(x < 5 ? y : x * 3);
        rows.push_back(r);
    }
    std::vector<RGBQUAD> pal(256);
    int rc;
    return Encode(Entry(BMPEnumWriteFormats, 1).u.write.open, Target(12, 6, 8, 1), rows, pal, &rc, "bb.rle");
}

Bytes ValidTgaRle()
{
    std::vector<Bytes> rows;
    for (int y = 0; y < 5; ++y) {
        Bytes r(9 * 3);
        for (size_t i = 0; i < r.size(); ++i) r[i] = uint8_t(i < 9 ? 7 : i * y);
        rows.push_back(r);
    }
    ConvertTarget t = Target(9, 5, 24);
    t.options = 0x8000;
    int rc;
    return Encode(Entry(TGAEnumWriteFormats, 0).u.write.open, t, rows, {}, &rc, "bb.tga");
}

Bytes ValidGif()
{
    Bytes b;
    Str(b, "GIF89a");
    Le16(b, 6);
    Le16(b, 4);
    Append(b, Row({0x81, 0, 0, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255}));
    Append(b, Row({0x21, 0xF9, 4, 0, 0, 0, 0, 0}));
    Append(b, Row({0x2C, 0, 0, 0, 0, 6, 0, 4, 0, 0x40, 2}));
    // 3-bit codes: a clear before every pair of literal codes, so the table never widens.
    Bytes codes;
    uint32_t acc = 0;
    int have = 0;
    auto emit = [&](int c) {
        acc |= uint32_t(c) << have;
        have += 3;
        while (have >= 8) {
            codes.push_back(uint8_t(acc));
            acc >>= 8;
            have -= 8;
        }
    };
    for (int i = 0; i < 24; ++i) {
        if (i % 2 == 0) emit(4);
        emit((i * 5 / 3) & 3);
    }
    emit(5);
    if (have) codes.push_back(uint8_t(acc));
    Put8(b, uint32_t(codes.size()));
    Append(b, codes);
    Put8(b, 0);
    Put8(b, 0x3B);
    return b;
}

Bytes ValidTiff()
{
    // Little-endian 4 x 3 grey, PackBits, one strip at offset 8.
    Bytes strip = Row({0xFD, 5, 1, 1, 2, 0xFE, 9, 3, 1, 2, 3, 4});
    Bytes b;
    Str(b, "II");
    Le16(b, 42);
    Le32(b, 8 + uint32_t(strip.size()));
    Append(b, strip);
    const uint32_t tags[][3] = {{256, 3, 4}, {257, 3, 3}, {258, 3, 8}, {259, 3, 32773}, {262, 3, 1},
                                {273, 4, 8}, {277, 3, 1}, {278, 3, 3}, {279, 4, uint32_t(strip.size())}};
    Le16(b, 9);
    for (auto& t : tags) {
        Le16(b, t[0]);
        Le16(b, t[1]);
        Le32(b, 1);
        Le32(b, t[2]);
    }
    Le32(b, 0);
    return b;
}

Bytes ValidPcx()
{
    Bytes b(128, 0);
    b[0] = 10;
    b[1] = 5;
    b[2] = 1;
    b[3] = 1;
    b[8] = 9;  // xmax: 10 pixels
    b[10] = 2; // ymax: 3 rows
    b[65] = 4;
    b[66] = 2;
    for (int y = 0; y < 3; ++y)
        for (int p = 0; p < 4; ++p) Append(b, Row({0xC2, 0x5A + p}));
    return b;
}

Bytes ValidFlc()
{
    Bytes b(128, 0);
    b[4] = 0x12;
    b[5] = 0xAF;
    b[8] = 6;
    b[10] = 3;
    b[80] = 128;
    Bytes colours = Row({1, 0, 0, 2, 10, 20, 30, 40, 50, 60});
    Bytes runs = Row({2, 3, 1, 0xFD, 4, 5, 6, 1, 6, 2, 2, 0xFB, 1, 2, 3, 4, 5, 1, 9});
    auto chunk = [](uint16_t type, const Bytes& d) {
        Bytes c;
        Le32(c, uint32_t(6 + d.size()));
        Le16(c, type);
        Append(c, d);
        return c;
    };
    Bytes body = chunk(4, colours);
    Append(body, chunk(15, runs));
    Bytes frame;
    Le32(frame, uint32_t(16 + body.size()));
    Le16(frame, 0xF1FA);
    Le16(frame, 2);
    Append(frame, Bytes(8, 0));
    Append(frame, body);
    Append(b, frame);
    return b;
}

}  // namespace

TEST_CASE("Readers survive damaged files", "[badbytes]")
{
    struct Format {
        const char* name;
        FxReaderOpen open;
        Bytes valid;
    };
    std::vector<Format> formats = {
        {"BMP RLE8", Entry(BMPEnumReadFormats, 0).u.read.open, ValidBmpRle()},
        {"Targa RLE", Entry(TGAEnumReadFormats, 0).u.read.open, ValidTgaRle()},
        {"GIF", Entry(GIFEnumReadFormats, 0).u.read.open, ValidGif()},
        {"TIFF", Entry(TIFEnumReadFormats, 0).u.read.open, ValidTiff()},
        {"PCX", Entry(PCXEnumReadFormats, 0).u.read.open, ValidPcx()},
        {"FLC", Entry(FLCEnumReadFormats, 0).u.read.open, ValidFlc()},
    };
    const int codes[] = {0, FX_E_FORMAT, FX_E_UNSUPPORTED, FX_E_READ, FX_E_MEMORY};
    auto known = [&](int rc) { return std::find(std::begin(codes), std::end(codes), rc) != std::end(codes); };
    for (auto& f : formats) {
        INFO(f.name);
        Decoded clean = Decode(f.open, f.valid);
        REQUIRE(clean.openRc == 0);
        REQUIRE(clean.rc == 0);
        REQUIRE_FALSE(clean.overrun);
        Lcg rng{12345};
        int overruns = 0, unknown = 0;
        for (int i = 0; i < 400; ++i) {
            Bytes b = f.valid;
            if (i % 5 == 4) {
                b.resize(1 + rng.Next() % (b.size() - 1));  // cut short
            } else {
                int n = 1 + int(rng.Next() % 4);
                for (int k = 0; k < n; ++k) b[rng.Next() % b.size()] = uint8_t(rng.Next());
            }
            Decoded d = Decode(f.open, b, 1u << 20);
            if (d.overrun) ++overruns;
            if (!known(d.openRc) || !known(d.rc)) ++unknown;
        }
        CHECK(overruns == 0);
        CHECK(unknown == 0);
    }
}

TEST_CASE("Damaged files through whole conversions", "[badbytes]")
{
    struct Format {
        const char* name;  // the extension chooses the reader
        Bytes valid;
    };
    std::vector<Format> formats = {{"bb_conv.rle", ValidBmpRle()}, {"bb_conv.tga", ValidTgaRle()},
                                   {"bb_conv.gif", ValidGif()},    {"bb_conv.tif", ValidTiff()},
                                   {"bb_conv.pcx", ValidPcx()},    {"bb_conv.flc", ValidFlc()}};
    const int codes[] = {0, FX_E_FORMAT, FX_E_UNSUPPORTED, FX_E_READ, FX_E_MEMORY};
    auto known = [&](int rc) { return std::find(std::begin(codes), std::end(codes), rc) != std::end(codes); };
    for (auto& f : formats) {
        INFO(f.name);
        std::string path = TempPath(f.name);
        Lcg rng{777};
        int unknown = 0, converted = 0;
        for (int i = 0; i < 60; ++i) {
            Bytes b = f.valid;
            if (i % 4 == 3) {
                b.resize(1 + rng.Next() % (b.size() - 1));
            } else {
                int n = 1 + int(rng.Next() % 3);
                for (int k = 0; k < n; ++k) b[rng.Next() % b.size()] = uint8_t(rng.Next());
            }
            REQUIRE(SaveFile(path, b));
            ConvertSource s;
            std::memset(&s, 0, sizeof s);
            s.version = FX_REQUEST_VERSION;
            std::strncpy(s.path, path.c_str(), sizeof s.path - 1);
            int rc = ferrixConvert(&s, nullptr);  // geometry first: skip damaged sizes that are huge
            if (rc == 0 && uint32_t(s.width) * s.height > (1u << 20)) continue;
            HGLOBAL dib = nullptr;
            ConvertTarget t;
            std::memset(&t, 0, sizeof t);
            t.version = FX_REQUEST_VERSION;
            t.resultDib = &dib;
            ConvertSource s2;
            std::memset(&s2, 0, sizeof s2);
            s2.version = FX_REQUEST_VERSION;
            std::strncpy(s2.path, path.c_str(), sizeof s2.path - 1);
            rc = ferrixConvert(&s2, &t);
            if (rc == 0) ++converted;
            if (!known(rc)) ++unknown;
            if (dib) GlobalFree(dib);
        }
        CHECK(unknown == 0);
        CHECK(converted > 0);
        DeleteFileA(path.c_str());
    }
}
