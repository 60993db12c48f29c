// Fuzz drivers of the image filters' readers (BMP, GIF, TIFF, Targa, PCX,
// FLC, title images): seeds written by the ffmpeg tool and by our writers,
// mutated from fixed seeds; no input may crash, hang or write past a buffer.
#include <catch2/catch.hpp>

#include "ff_tool.h"
#include "fuzz.h"

using namespace fmt_test;

namespace {

std::vector<Bytes> ToolSeeds(const char* name, std::initializer_list<const char*> options)
{
    std::vector<Bytes> seeds;
    for (const char* o : options) {
        std::string path = ff_tool::Make(name, 13, 7, o);
        if (path.empty()) continue;
        seeds.push_back(ff_tool::Load(path));
        DeleteFileA(path.c_str());
    }
    return seeds;
}

FxReaderOpen Reader(FxEnumFormats e) { return Entry(e, 0).u.read.open; }

}  // namespace

TEST_CASE("fuzzing the readers of outside files", "[fuzz]")
{
    const int rounds = fuzz::Rounds(150);
    struct {
        const char* what;
        FxEnumFormats e;
        std::vector<Bytes> seeds;
    } readers[] = {
        {"BMP", BMPEnumReadFormats, ToolSeeds("f.bmp", {"-pix_fmt bgr24", "-pix_fmt pal8", "-pix_fmt monob"})},
        {"GIF", GIFEnumReadFormats, ToolSeeds("f.gif", {"-pix_fmt pal8", "-pix_fmt gray"})},
        {"TIFF", TIFEnumReadFormats,
         ToolSeeds("f.tif", {"-pix_fmt rgb24 -compression_algo lzw", "-pix_fmt pal8 -compression_algo packbits",
                             "-pix_fmt monob -compression_algo raw"})},
        {"Targa", TGAEnumReadFormats, ToolSeeds("f.tga", {"-pix_fmt bgr24 -rle 1", "-pix_fmt pal8 -rle 1"})},
        {"PCX", PCXEnumReadFormats, ToolSeeds("f.pcx", {"-pix_fmt rgb24", "-pix_fmt pal8", "-pix_fmt monob"})},
    };
    // Run-length BMP seeds from our own writer (the tool writes none).
    {
        std::vector<Bytes> rows;
        for (int y = 0; y < 7; ++y) {
            Bytes r(16, 0);
            for (int x = 0; x < 13; ++x) r[x] = uint8_t(x < 5 ? 3 : x * y);
            rows.push_back(r);
        }
        std::vector<RGBQUAD> pal(256, RGBQUAD{1, 2, 3, 0});
        int rc = -1;
        Bytes rle = Encode(Entry(BMPEnumWriteFormats, 1).u.write.open, Target(13, 7, 8, 1), rows, pal, &rc, "fz.rle");
        if (rc == 0) readers[0].seeds.push_back(rle);
    }
    uint32_t seed = 1;
    for (auto& r : readers) {
        INFO(r.what);
        REQUIRE(!r.seeds.empty());
        CHECK(fuzz::Run(Reader(r.e), r.seeds, rounds, seed++) == 0);
    }
}

TEST_CASE("fuzzing the title-image and FLC readers", "[fuzz]")
{
    const int rounds = fuzz::Rounds(150);
    std::vector<Bytes> vii;
    std::vector<Bytes> rows;
    for (int y = 0; y < 6; ++y) {
        Bytes r;
        for (int x = 0; x < 9; ++x) Le32(r, 0xFF000000u | uint32_t((x * 40) << 16) | uint32_t(y * 30));
        rows.push_back(r);
    }
    for (uint16_t sub : {0, 1, 2}) {
        int rc = -1;
        Bytes f = Encode(Entry(VIIEnumWriteFormats, sub).u.write.open, Target(9, 6, 32, sub), rows, {}, &rc, "fz.vii");
        if (rc == 0) vii.push_back(f);
    }
    REQUIRE(!vii.empty());
    CHECK(fuzz::Run(Entry(VIIEnumReadFormats, 0).u.read.open, vii, rounds, 11) == 0);

    // An FLC of a palette chunk and byte runs, an FLI of a literal chunk.
    auto flic = [](uint16_t type, std::initializer_list<std::pair<uint16_t, Bytes>> chunks) {
        Bytes f(128, 0);
        f[4] = uint8_t(type), f[5] = uint8_t(type >> 8), f[8] = 4, f[10] = 3, f[80] = 128;
        Bytes body;
        for (auto& c : chunks) {
            Le32(body, uint32_t(6 + c.second.size()));
            Le16(body, c.first);
            Append(body, c.second);
        }
        Le32(f, uint32_t(16 + body.size()));
        Le16(f, 0xF1FA);
        Le16(f, uint32_t(chunks.size()));
        Append(f, Bytes(8, 0));
        Append(f, body);
        return f;
    };
    std::vector<Bytes> flc = {
        flic(0xAF12, {{4, Bytes({1, 0, 0, 2, 255, 0, 0, 0, 255, 0})}, {15, Bytes({1, 4, 1, 1, 2, 0xFC, 1, 2, 3, 4, 1, 4, 0})}}),
        flic(0xAF11, {{11, Bytes({1, 0, 0, 1, 63, 0, 0})}, {16, Bytes(12, 7)}}),
    };
    CHECK(fuzz::Run(Entry(FLCEnumReadFormats, 0).u.read.open, flc, rounds, 12) == 0);
}
