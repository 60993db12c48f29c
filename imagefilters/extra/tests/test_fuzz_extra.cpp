// Fuzz drivers of the extra filters' readers (HKF with the graphics core's
// codec, imploded BMP, JPEG over JPEG32, movie thumbnails over quib, Photo CD
// over PCDLIB32): mutated real files from fixed seeds; no input may crash,
// hang or write past a buffer.
#include <catch2/catch.hpp>

#include "extra.h"
#include "ff_tool.h"
#include "fuzz.h"
#include "pixmoor.h"

extern "C" {
int WINAPI HKFEnumReadFormats(int, FormatRecord*);
int WINAPI HKFEnumWriteFormats(int, FormatRecord*);
int WINAPI LZWEnumReadFormats(int, FormatRecord*);
int WINAPI LZWEnumWriteFormats(int, FormatRecord*);
int WINAPI JPEGEnumReadFormats(int, FormatRecord*);
int WINAPI VEXAEnumReadFormats(int, FormatRecord*);
int WINAPI PCDEnumReadFormats(int, FormatRecord*);
BYTE* PIXAPI EncodeVexaLayer(Layer* layer, BYTE* buffer, LONG size, LONG kind, Layer* previous);
}

using namespace fmt_test;

namespace {

std::vector<Bytes> Rows(int w, int h, int bpp)
{
    std::vector<Bytes> rows;
    for (int y = 0; y < h; ++y) {
        Bytes r(size_t((w * bpp + 31) / 32 * 4), 0);
        for (size_t i = 0; i < r.size(); ++i) r[i] = uint8_t((i / 3 + y * 5) & 0x7F);
        rows.push_back(r);
    }
    return rows;
}

// Readers that open files by name: each mutated input is written to a file.
int RunOnFiles(FxReaderOpen open, const Bytes& seed, int rounds, uint32_t s, const char* name)
{
    fuzz::Rng r(s);
    std::string path = TempPath(name);
    int overruns = 0;
    for (int i = 0; i < rounds; ++i) {
        Bytes b = fuzz::Mutate(seed, r);
        SaveFile(path, b);
        ConvertSource src;
        std::memset(&src, 0, sizeof src);
        src.version = FX_REQUEST_VERSION;
        lstrcpynA(src.path, path.c_str(), sizeof src.path);
        if (open(&src) != 0) {
            if (src.close) src.close(&src);
            continue;
        }
        size_t size = size_t(src.bytesPerRow) * src.height;
        Bytes block(size + 32, 0xA5);
        src.readImage(&src, block.data(), LONG(src.bytesPerRow));
        for (size_t k = size; k < block.size(); ++k)
            if (block[k] != 0xA5) {
                ++overruns;
                break;
            }
        src.close(&src);
    }
    DeleteFileA(path.c_str());
    return overruns;
}

}  // namespace

TEST_CASE("fuzzing the extra filters' readers", "[fuzz][extra]")
{
    const int rounds = fuzz::Rounds(150);
    int rc = -1;
    std::vector<Bytes> hkf = {Encode(Entry(HKFEnumWriteFormats, 0).u.write.open, Target(40, 20, 32), Rows(40, 20, 32), {}, &rc, "fz.hkf")};
    REQUIRE(rc == 0);
    CHECK(fuzz::Run(Entry(HKFEnumReadFormats, 0).u.read.open, hkf, rounds, 21) == 0);
    std::vector<Bytes> lzw = {Encode(Entry(LZWEnumWriteFormats, 0).u.write.open, Target(40, 20, 24), Rows(40, 20, 24), {}, &rc, "fz.lzw")};
    REQUIRE(rc == 0);
    CHECK(fuzz::Run(Entry(LZWEnumReadFormats, 0).u.read.open, lzw, rounds, 22) == 0);

    std::vector<Bytes> jpeg;
    for (const char* o : {"-c:v mjpeg -q:v 4 -pix_fmt yuvj420p", "-c:v mjpeg -q:v 4 -pix_fmt yuvj444p"}) {
        std::string path = ff_tool::Make("fz.jpg", 32, 24, o);
        if (!path.empty()) jpeg.push_back(ff_tool::Load(path)), DeleteFileA(path.c_str());
    }
    REQUIRE(!jpeg.empty());
    CHECK(fuzz::Run(Entry(JPEGEnumReadFormats, 0).u.read.open, jpeg, rounds, 23) == 0);
}

TEST_CASE("fuzzing the readers that open files by name", "[fuzz][extra]")
{
    const int rounds = fuzz::Rounds(40);
    // A movie file with a thumbnail.
    Layer* l = CreateLayer(24, 16, 1);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x) SetPelInLayer(l, x, y, 0xFF000000u | DWORD(x * 9) << 8 | DWORD(y * 12));
    BYTE* c = EncodeVexaLayer(l, nullptr, 0, 2, nullptr);
    DeleteLayer(l);
    REQUIRE(c);
    uint32_t size = c[0] | (c[1] << 8) | (c[2] << 16) | (uint32_t(c[3]) << 24);
    Bytes movie;
    Str(movie, "QUIB");
    Le32(movie, 1);
    Le32(movie, 1);
    Bytes name(32, 0);
    std::memcpy(name.data(), "Thumbnail", 9);
    Append(movie, name);
    Le32(movie, 24);
    Le32(movie, 16);
    Le32(movie, 60);
    Le32(movie, 8 + size);
    movie.insert(movie.end(), c, c + 8 + size);
    M32_free(c);
    CHECK(RunOnFiles(Entry(VEXAEnumReadFormats, 0).u.read.open, movie, rounds, 31, "fz.vexa") == 0);

    // An Image Pac (only its header sectors and Base/16 mutate often: the
    // mutations favour the first 256 bytes and the file's whole length).
    Bytes pac(0x30000 + 768 * 512 * 3 / 2, 0x80);
    std::memcpy(&pac[0x800], "PCD_IPI", 7);
    pac[0xE02] = 1;
    CHECK(RunOnFiles(Entry(PCDEnumReadFormats, 0).u.read.open, pac, rounds / 4 + 1, 32, "fz.pcd") == 0);
}
