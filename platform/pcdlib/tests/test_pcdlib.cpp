// PCDLIB32.dll, loaded by name and called by ordinal as the extra filters do:
// a hand-made Image Pac (information sector, the three base resolutions in
// their sectors) decoded at each resolution and orientation, the Base image
// against the ffmpeg tool's decoding of the same file, and damaged files.
#include <catch2/catch.hpp>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ff_tool.h"
#include "pcdlib.h"

using Bytes = std::vector<uint8_t>;

namespace {

struct Lib {
    HMODULE m = LoadLibraryA("PCDLIB32.dll");
    template <class F> F At(int ordinal) const
    {
        return m ? reinterpret_cast<F>(GetProcAddress(m, MAKEINTRESOURCEA(ordinal))) : nullptr;
    }
    decltype(&PcdOpen) open = At<decltype(&PcdOpen)>(5);
    decltype(&PcdClose) close = At<decltype(&PcdClose)>(6);
    decltype(&PcdGetResolutions) resolutions = At<decltype(&PcdGetResolutions)>(14);
    decltype(&PcdGetOrientation) orientation = At<decltype(&PcdGetOrientation)>(79);
    decltype(&PcdSetResolution) setResolution = At<decltype(&PcdSetResolution)>(28);
    decltype(&PcdSetProgress) setProgress = At<decltype(&PcdSetProgress)>(4);
    decltype(&PcdGetRect) rect = At<decltype(&PcdGetRect)>(16);
    decltype(&PcdGetFormat) format = At<decltype(&PcdGetFormat)>(29);
    decltype(&PcdReadImage) read = At<decltype(&PcdReadImage)>(2);
    ~Lib()
    {
        if (m) FreeLibrary(m);
    }
};

struct Level {
    int w, h;
    uint32_t offset;
};
const Level kLevels[3] = {{192, 128, 0x2000}, {384, 256, 0xB800}, {768, 512, 0x30000}};

// Stored values of the hand-made picture at each level.
uint8_t LumaAt(int level, int x, int y) { return uint8_t((x * 3 + y * (level + 1)) & 255); }
uint8_t C1At(int level, int cx, int cy) { return uint8_t(120 + (cx + cy * 2 + level * 7) % 80); }
uint8_t C2At(int level, int cx, int cy) { return uint8_t(110 + (cx * 2 + cy + level * 3) % 60); }

Bytes MakePac(int orientation)
{
    Bytes b(0x30000 + 768 * 512 * 3 / 2, 0);
    std::memcpy(&b[0x800], "PCD_IPI", 7);
    b[0xE02] = uint8_t(orientation);
    for (int lv = 0; lv < 3; ++lv) {
        const Level &l = kLevels[lv];
        size_t at = l.offset;
        for (int y = 0; y < l.h; y += 2) {
            for (int dy = 0; dy < 2; ++dy)
                for (int x = 0; x < l.w; ++x) b[at++] = LumaAt(lv, x, y + dy);
            for (int x = 0; x < l.w / 2; ++x) b[at++] = C1At(lv, x, y / 2);
            for (int x = 0; x < l.w / 2; ++x) b[at++] = C2At(lv, x, y / 2);
        }
    }
    return b;
}

// Kodak's PhotoYCC to RGB, as published: blue, green, red.
void Expected(int y, int c1, int c2, uint8_t *bgr)
{
    auto clamp = [](double v) { return uint8_t(v <= 0 ? 0 : v >= 255 ? 255 : std::floor(v + 0.5)); };
    double l = 1.3584 * y, a = 2.2179 * (c1 - 156), b = 1.8215 * (c2 - 137);
    bgr[0] = clamp(l + a);
    bgr[1] = clamp(l - 0.194 * a - 0.509 * b);
    bgr[2] = clamp(l + b);
}

std::string Save(const char *name, const Bytes &data)
{
    std::string path = ff_tool::TempFile(name);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD done = 0;
    WriteFile(h, data.data(), DWORD(data.size()), &done, nullptr);
    CloseHandle(h);
    return path;
}

int WorstAgainstStored(const Bytes &out, int stride, int level, int orientation)
{
    const Level &l = kLevels[level];
    int worst = 0;
    for (int y = 0; y < l.h; ++y)
        for (int x = 0; x < l.w; ++x) {
            int ox = x, oy = y;
            if (orientation == 1) ox = l.h - 1 - y, oy = x;
            if (orientation == 2) ox = l.w - 1 - x, oy = l.h - 1 - y;
            if (orientation == 3) ox = y, oy = l.w - 1 - x;
            uint8_t want[3];
            Expected(LumaAt(level, x, y), C1At(level, x / 2, y / 2), C2At(level, x / 2, y / 2), want);
            const uint8_t *got = &out[size_t(oy) * stride + size_t(ox) * 3];
            for (int c = 0; c < 3; ++c) { int d = std::abs(int(got[c]) - int(want[c])); if (d > worst) worst = d; }
        }
    return worst;
}

void WINAPI CountProgress(int code, LONG value, void *user)
{
    if (code == 1) *static_cast<LONG *>(user) = value;
}

}  // namespace

TEST_CASE("PhotoYCC conversion of a few hand-checked values", "[pcdlib]")
{
    struct { int y, c1, c2; uint8_t b, g, r; } cases[] = {
        {128, 156, 137, 174, 174, 174},  // neutral grey: 1.3584 x 128
        {0, 206, 137, 111, 0, 0},        // blue: 2.2179 x 50
        {100, 156, 187, 136, 89, 227},   // red: 1.3584 x 100 + 1.8215 x 50; green less 0.509 x 91.1
        {255, 255, 255, 255, 194, 255},  // blue and red clipped
    };
    for (auto &c : cases) {
        uint8_t bgr[3];
        Expected(c.y, c.c1, c.c2, bgr);
        CHECK(int(bgr[0]) == c.b);
        CHECK(int(bgr[1]) == c.g);
        CHECK(int(bgr[2]) == c.r);
    }
}

TEST_CASE("PCDLIB32 decodes the base resolutions of an Image Pac", "[pcdlib]")
{
    Lib lib;
    REQUIRE(lib.open);
    REQUIRE(lib.read);
    for (int orientation : {0, 1, 2, 3}) {
        INFO("orientation " << orientation);
        std::string path = Save("pac.pcd", MakePac(orientation));
        PcdImage *img = nullptr;
        REQUIRE(lib.open(path.c_str(), &img) == 0);
        REQUIRE(img);
        int count = 0, code = 0, format = 0;
        CHECK(lib.resolutions(img, &count) == 0);
        CHECK(count == 3);
        CHECK(lib.orientation(img, &code) == 0);
        static const int codes[4] = {1, 4, 6, 7};
        CHECK(code == codes[orientation]);
        CHECK(lib.format(img, &format) == 0);
        CHECK(format == 11);
        for (int res : {1, 2, 3, 4, 5}) {
            INFO("resolution " << res);
            int level = res > 3 ? 2 : res - 1;
            REQUIRE(lib.setResolution(img, res) == 0);
            int16_t r[4];
            REQUIRE(lib.rect(img, r) == 0);
            const bool turned = orientation == 1 || orientation == 3;
            const int w = turned ? kLevels[level].h : kLevels[level].w, h = turned ? kLevels[level].w : kLevels[level].h;
            CHECK(r[2] - r[0] == w);
            CHECK(r[3] - r[1] == h);
            if (res == 4 || (orientation != 0 && res != 1)) continue;  // keep the run short
            const int stride = (w * 3 + 3) & ~3;
            Bytes out(size_t(stride) * h + 32, 0xA5);
            LONG rows = 0;
            lib.setProgress(img, CountProgress, &rows);
            REQUIRE(lib.read(img, out.data(), stride) == 0);
            CHECK(rows == kLevels[level].h);
            CHECK(WorstAgainstStored(out, stride, level, orientation) <= 1);
            CHECK(out[size_t(stride) * h] == 0xA5);
            CHECK(out.back() == 0xA5);
        }
        CHECK(lib.setResolution(img, 0) != 0);
        CHECK(lib.setResolution(img, 6) != 0);
        CHECK(lib.close(img) == 0);
        DeleteFileA(path.c_str());
    }
}

TEST_CASE("PCDLIB32's Base image agrees with the ffmpeg tool's decoding", "[pcdlib][ffmpeg]")
{
    Lib lib;
    REQUIRE(lib.open);
    std::string path = Save("pac_ff.pcd", MakePac(0));
    // The tool gives the Image Pac's planes: luma as stored, chroma moved to
    // be centred on 128 (C1 - 28, C2 - 9).
    Bytes yuv = ff_tool::Decode(path, "yuv420p", "photocd_pipe");
    PcdImage *img = nullptr;
    REQUIRE(lib.open(path.c_str(), &img) == 0);
    REQUIRE(lib.setResolution(img, 3) == 0);
    const int w = 768, h = 512, stride = w * 3;
    Bytes out(size_t(stride) * h);
    REQUIRE(lib.read(img, out.data(), stride) == 0);
    lib.close(img);
    DeleteFileA(path.c_str());
    REQUIRE(yuv.size() == size_t(w) * h * 3 / 2);
    const uint8_t *Y = yuv.data(), *U = Y + w * h, *V = U + w * h / 4;
    int worst = 0;
    for (int y = 0; y < h; y += 3)
        for (int x = 0; x < w; x += 5) {
            uint8_t want[3];
            Expected(Y[y * w + x], U[(y / 2) * (w / 2) + x / 2] + 28, V[(y / 2) * (w / 2) + x / 2] + 9, want);
            for (int c = 0; c < 3; ++c) { int d = std::abs(int(out[size_t(y) * stride + x * 3 + c]) - int(want[c])); if (d > worst) worst = d; }
        }
    CHECK(worst <= 1);
}

TEST_CASE("PCDLIB32 refuses what is not an Image Pac and damaged ones", "[pcdlib]")
{
    Lib lib;
    REQUIRE(lib.open);
    PcdImage *img = reinterpret_cast<PcdImage *>(1);
    CHECK(lib.open("C:\\no\\such\\image.pcd", &img) == PCD_E_OPEN);
    CHECK(img == nullptr);
    CHECK(lib.open(nullptr, &img) == PCD_E_OPEN);
    Bytes pac = MakePac(0);
    Bytes noSig = pac;
    noSig[0x801] = 'X';
    std::string path = Save("nosig.pcd", noSig);
    CHECK(lib.open(path.c_str(), &img) == PCD_E_OPEN);
    std::string tiny = Save("tiny.pcd", Bytes(0x900, 0));
    CHECK(lib.open(tiny.c_str(), &img) == PCD_E_OPEN);
    // Cut inside Base: the small resolutions still read, Base does not.
    std::string cut = Save("cut.pcd", Bytes(pac.begin(), pac.begin() + 0x40000));
    REQUIRE(lib.open(cut.c_str(), &img) == 0);
    Bytes out(384 * 3 * 256);
    REQUIRE(lib.setResolution(img, 2) == 0);
    CHECK(lib.read(img, out.data(), 384 * 3) == 0);
    REQUIRE(lib.setResolution(img, 3) == 0);
    Bytes big(768 * 3 * 512);
    CHECK(lib.read(img, big.data(), 768 * 3) == PCD_E_READ);
    CHECK(lib.read(img, big.data(), 100) == PCD_E_ARG);  // rows shorter than the picture
    lib.close(img);
    for (auto &p : {path, tiny, cut}) DeleteFileA(p.c_str());
}
