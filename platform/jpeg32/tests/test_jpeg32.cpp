// JPEG32.dll, loaded by name as the extra filters load it: baseline files
// written by the ffmpeg tool, progressive, grey and restart-marker files
// written by libjpeg, each decoded and compared with the ffmpeg tool's
// decoding of the same file; row order and stride; damaged and refused
// streams.
#include <catch2/catch.hpp>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ff_tool.h"
#include "jpeg32.h"
#include "jpeg_write.h"

using Bytes = std::vector<uint8_t>;

namespace {

struct Lib {
    HMODULE m = LoadLibraryA("JPEG32.dll");
    decltype(&JPEG_Info) info = m ? reinterpret_cast<decltype(&JPEG_Info)>(GetProcAddress(m, "JPEG_Info")) : nullptr;
    decltype(&JPEG_Decompress) decompress =
        m ? reinterpret_cast<decltype(&JPEG_Decompress)>(GetProcAddress(m, "JPEG_Decompress")) : nullptr;
    ~Lib()
    {
        if (m) FreeLibrary(m);
    }
};

struct Memory {
    const Bytes *data;
    size_t at;
    int calls;
};

int WINAPI ReadMemory(int code, void *source, BYTE *buffer, int length)
{
    Memory *m = static_cast<Memory *>(source);
    ++m->calls;
    if (code != JPEG_CB_READ) return 0;
    size_t n = m->data->size() - m->at;
    if (n > size_t(length)) n = size_t(length);
    std::memcpy(buffer, m->data->data() + m->at, n);
    m->at += n;
    return int(n);
}

struct Picture {
    int rc = 1;
    JpegInfo info = {};
    JpegWork work = {};
    Bytes pixels;  // top row first, tightly packed (3 or 1 bytes per pixel)
    bool guardIntact = true;
};

// Decodes a whole file through the library, bottom-up rows in a padded
// block followed by guard bytes.
Picture Decode(const Lib &lib, const Bytes &file, uint32_t options = 0)
{
    Picture p;
    Memory m = {&file, 0, 0};
    p.rc = lib.info(&m, ReadMemory, &p.info);
    if (p.rc != 0) return p;
    const int bpp = p.info.bitsPerPixel / 8;
    const size_t stride = (size_t(p.info.width) * bpp + 3) & ~size_t(3);
    Bytes block(stride * p.info.height + 64, 0xA5);
    p.work.bytesPerRow = uint32_t(stride);
    p.work.rows = uint32_t(p.info.height);
    p.work.options = options;
    m.at = 0;
    p.rc = lib.decompress(&m, ReadMemory, &p.work, block.data());
    for (size_t i = stride * p.info.height; i < block.size(); ++i)
        if (block[i] != 0xA5) p.guardIntact = false;
    for (int y = 0; y < p.info.height; ++y) {
        int from = (options & JPEG_TOP_DOWN) ? y : p.info.height - 1 - y;
        const uint8_t *row = block.data() + size_t(from) * stride;
        p.pixels.insert(p.pixels.end(), row, row + size_t(p.info.width) * bpp);
    }
    return p;
}

Bytes LoadWin(const std::string &path) { return ff_tool::Load(path); }

std::string SaveTemp(const char *name, const Bytes &data)
{
    std::string path = ff_tool::TempFile(name);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD done = 0;
    WriteFile(h, data.data(), DWORD(data.size()), &done, nullptr);
    CloseHandle(h);
    return path;
}

// Mean and largest difference per sample.
void Compare(const Bytes &a, const Bytes &b, double &mean, int &worst)
{
    mean = 0;
    worst = 0;
    if (a.size() != b.size() || a.empty()) {
        worst = 999;
        return;
    }
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        int d = std::abs(int(a[i]) - int(b[i]));
        sum += d;
        if (d > worst) worst = d;
    }
    mean = sum / double(a.size());
}

// How closely two decodings of one file agree.  Decoders differ in how they
// upsample chroma, which moves single pixels at sharp colour edges a long
// way: luma (from the colours) and the colour of each 16 x 16 cell (one
// coding unit) must agree.
struct Agreement {
    double lumaMean = 0;
    int lumaWorst = 0;
    int cellWorst = 0;
};

Agreement Agree(const Bytes &a, const Bytes &b, int w, int h, int components)
{
    Agreement g;
    if (a.size() != b.size() || a.size() != size_t(w) * h * components) {
        g.lumaMean = g.lumaWorst = g.cellWorst = 999;
        return g;
    }
    auto luma = [&](const Bytes &p, size_t i) {
        const uint8_t *q = &p[i * components];
        return components == 1 ? int(q[0]) : (q[0] * 29 + q[1] * 150 + q[2] * 77 + 128) >> 8;
    };
    double sum = 0;
    for (size_t i = 0; i < size_t(w) * h; ++i) {
        int d = std::abs(luma(a, i) - luma(b, i));
        sum += d;
        if (d > g.lumaWorst) g.lumaWorst = d;
    }
    g.lumaMean = sum / (double(w) * h);
    for (int cy = 0; cy < h; cy += 16)
        for (int cx = 0; cx < w; cx += 16)
            for (int c = 0; c < components; ++c) {
                long sa = 0, sb = 0, n = 0;
                for (int y = cy; y < cy + 16 && y < h; ++y)
                    for (int x = cx; x < cx + 16 && x < w; ++x, ++n) {
                        sa += a[(size_t(y) * w + x) * components + c];
                        sb += b[(size_t(y) * w + x) * components + c];
                    }
                int d = int(std::labs(sa - sb) / n);
                if (n >= 64 && d > g.cellWorst) g.cellWorst = d;  // cells cut to a sliver say little
            }
    return g;
}

// A picture with smooth areas, edges and some detail, top row first.
Bytes Scene(int w, int h, int components)
{
    Bytes px(size_t(w) * h * components);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < components; ++c) {
                int v = (x * 255 / (w > 1 ? w - 1 : 1) * (c + 1) / 3 + y * 3) & 0xFF;
                if ((x / 8 + y / 8) % 3 == 0) v = 255 - v;
                px[(size_t(y) * w + x) * components + c] = uint8_t(v);
            }
    return px;
}

}  // namespace

TEST_CASE("JPEG32 decodes files written by the ffmpeg tool as the tool does", "[jpeg32][ffmpeg]")
{
    Lib lib;
    REQUIRE(lib.info);
    REQUIRE(lib.decompress);
    struct {
        int w, h;
        const char *pixFmt;
    } cases[] = {{64, 48, "yuvj420p"}, {17, 9, "yuvj420p"}, {33, 20, "yuvj422p"}, {40, 24, "yuvj444p"}, {1, 1, "yuvj444p"}};
    for (auto &c : cases) {
        INFO(c.w << " x " << c.h << " " << c.pixFmt);
        std::string path =
            ff_tool::Make("base.jpg", c.w, c.h, std::string("-c:v mjpeg -q:v 2 -pix_fmt ") + c.pixFmt);
        REQUIRE(!path.empty());
        Bytes file = LoadWin(path);
        Bytes ref = ff_tool::Decode(path, "bgr24");
        DeleteFileA(path.c_str());
        Picture p = Decode(lib, file);
        REQUIRE(p.rc == 0);
        CHECK(p.info.width == c.w);
        CHECK(p.info.height == c.h);
        CHECK(p.info.bitsPerPixel == 24);
        CHECK((p.info.flags & JPEG_PROGRESSIVE) == 0);
        CHECK(p.guardIntact);
        Agreement g = Agree(p.pixels, ref, c.w, c.h, 3);
        CHECK(g.lumaMean < 1.5);
        CHECK(g.lumaWorst <= 24);
        CHECK(g.cellWorst <= 16);
    }
}

TEST_CASE("JPEG32: progressive, grey and restart markers", "[jpeg32][ffmpeg]")
{
    Lib lib;
    REQUIRE(lib.info);
    struct {
        const char *what;
        int w, h, components;
        bool progressive;
        int restartRows;
    } cases[] = {{"progressive colour", 48, 40, 3, true, 0},
                 {"progressive grey", 31, 17, 1, true, 0},
                 {"baseline grey", 16, 16, 1, false, 0},
                 {"restart markers every MCU row", 50, 35, 3, false, 1},
                 {"progressive with restart markers", 45, 30, 3, true, 2}};
    for (auto &c : cases) {
        INFO(c.what);
        Bytes px = Scene(c.w, c.h, c.components);
        Bytes file = JpegTestWrite(px.data(), c.w, c.h, c.components, 90, c.progressive, c.restartRows);
        Picture p = Decode(lib, file);
        REQUIRE(p.rc == 0);
        CHECK(p.info.components == c.components);
        CHECK(p.info.bitsPerPixel == (c.components == 1 ? 8 : 24));
        CHECK(((p.info.flags & JPEG_PROGRESSIVE) != 0) == c.progressive);
        CHECK(((p.work.flags & JPEG_RESTARTS) != 0) == (c.restartRows > 0));
        if (c.progressive) CHECK(p.work.scans > 1);
        CHECK(p.work.rowsDone == uint32_t(c.h));
        CHECK(p.work.warnings == 0);
        CHECK(p.guardIntact);
        std::string path = SaveTemp("libjpeg.jpg", file);
        Bytes ref = ff_tool::Decode(path, c.components == 1 ? "gray" : "bgr24");
        DeleteFileA(path.c_str());
        Agreement g = Agree(p.pixels, ref, c.w, c.h, c.components);
        CHECK(g.lumaMean < 1.5);
        CHECK(g.lumaWorst <= 24);
        CHECK(g.cellWorst <= 16);
        // And close to the picture that was coded.
        if (c.components == 1) {
            double mean;
            int worst;
            Compare(p.pixels, px, mean, worst);
            CHECK(mean < 4.0);
        }
    }
}

TEST_CASE("JPEG32: row order and the caller's stride", "[jpeg32]")
{
    Lib lib;
    REQUIRE(lib.info);
    Bytes px = Scene(10, 6, 3);
    Bytes file = JpegTestWrite(px.data(), 10, 6, 3, 95, false, 0);
    Picture up = Decode(lib, file), down = Decode(lib, file, JPEG_TOP_DOWN);
    REQUIRE(up.rc == 0);
    REQUIRE(down.rc == 0);
    CHECK(up.pixels == down.pixels);  // the same picture, stored either way up
    // A wider stride leaves the bytes between rows alone.
    Memory m = {&file, 0, 0};
    JpegWork w = {};
    w.bytesPerRow = 40;
    w.rows = 6;
    Bytes block(40 * 6, 0x77);
    REQUIRE(lib.decompress(&m, ReadMemory, &w, block.data()) == 0);
    for (int y = 0; y < 6; ++y) {
        CHECK(block[size_t(y) * 40 + 30] == 0x77);
        CHECK(block[size_t(y) * 40 + 39] == 0x77);
        CHECK(std::memcmp(&block[size_t(5 - y) * 40], &up.pixels[size_t(y) * 30], 30) == 0);
    }
}

TEST_CASE("JPEG32: damaged and refused streams", "[jpeg32]")
{
    Lib lib;
    REQUIRE(lib.info);
    Bytes px = Scene(40, 32, 3);
    Bytes good = JpegTestWrite(px.data(), 40, 32, 3, 90, false, 0);
    Bytes cmykPx = Scene(8, 8, 4);
    Bytes cmyk = JpegTestWrite(cmykPx.data(), 8, 8, 4, 90, false, 0);
    struct {
        const char *what;
        Bytes data;
        int rc;
    } cases[] = {
        {"nothing", Bytes(), -5},
        {"not a JPEG", Bytes(100, 0x42), -5},
        {"PNG signature", Bytes({0x89, 'P', 'N', 'G', 13, 10, 26, 10}), -5},
        {"header only", Bytes(good.begin(), good.begin() + 200), -7},
        {"cut in the middle", Bytes(good.begin(), good.begin() + good.size() / 2), -7},
        {"CMYK", cmyk, -6},
        {"garbage after the header", [&] { Bytes b = good; for (size_t i = 700; i < b.size() - 2; ++i) b[i] = uint8_t(i * 7); return b; }(), 0},
    };
    for (auto &c : cases) {
        INFO(c.what);
        Picture p = Decode(lib, c.data);
        if (c.rc == 0) CHECK((p.rc == 0 || p.rc == -7));  // damage inside the data: decoded or refused, never a crash
        else CHECK(p.rc == c.rc);
        CHECK(p.guardIntact);
    }
    SECTION("a block too small for the picture is refused before a row is written")
    {
        Memory m = {&good, 0, 0};
        JpegWork w = {};
        w.bytesPerRow = 120;
        w.rows = 31;
        Bytes block(120 * 31, 0x5A);
        CHECK(lib.decompress(&m, ReadMemory, &w, block.data()) == -6);
        CHECK(block == Bytes(120 * 31, 0x5A));
        m.at = 0;
        w.bytesPerRow = 116;
        w.rows = 32;
        CHECK(lib.decompress(&m, ReadMemory, &w, block.data()) == -6);
    }
    SECTION("bad arguments")
    {
        JpegInfo info;
        JpegWork w = {};
        Memory m = {&good, 0, 0};
        CHECK(lib.info(&m, nullptr, &info) == -5);
        CHECK(lib.info(&m, ReadMemory, nullptr) == -5);
        CHECK(lib.decompress(&m, ReadMemory, &w, nullptr) == -5);
    }
}
