// quib.dll, loaded by name as the extra filters load it: movie files made
// here from layers coded by the graphics core, read back within the codec's
// tolerance; names, several layers, and damaged files.
#include <catch2/catch.hpp>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "quib.h"

extern "C" BYTE *PIXAPI EncodeVexaLayer(Layer *layer, BYTE *buffer, LONG size, LONG kind, Layer *previous);

using Bytes = std::vector<uint8_t>;

namespace {

struct Lib {
    HMODULE m = LoadLibraryA("quib.dll");
    decltype(&quibOpen) open = m ? reinterpret_cast<decltype(&quibOpen)>(GetProcAddress(m, "_quibOpen@12")) : nullptr;
    decltype(&quibReadLayer) read =
        m ? reinterpret_cast<decltype(&quibReadLayer)>(GetProcAddress(m, "_quibReadLayer@20")) : nullptr;
    decltype(&quibClose) close = m ? reinterpret_cast<decltype(&quibClose)>(GetProcAddress(m, "_quibClose@4")) : nullptr;
    ~Lib()
    {
        if (m) FreeLibrary(m);
    }
};

DWORD Colour(int x, int y) { return 0xFF000000u | DWORD((x / 16) * 40 % 256) << 16 | DWORD((y / 16) * 60 % 256) << 8 | 0x50; }

Layer *Picture(int w, int h)
{
    Layer *l = CreateLayer(w, h, 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) SetPelInLayer(l, x, y, Colour(x, y));
    return l;
}

// The container of a layer, coded as tiles with alpha spans.
Bytes Container(Layer *l)
{
    BYTE *c = EncodeVexaLayer(l, nullptr, 0, 2, nullptr);
    if (!c) return Bytes();
    uint32_t size = c[0] | (c[1] << 8) | (c[2] << 16) | (uint32_t(c[3]) << 24);
    Bytes out(c, c + 8 + size);
    M32_free(c);
    return out;
}

void Le32(Bytes &b, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

struct Item {
    const char *name;
    int w, h;
    Bytes container;
};

Bytes MovieFile(const std::vector<Item> &items)
{
    Bytes b = {'Q', 'U', 'I', 'B'};
    Le32(b, 1);
    Le32(b, uint32_t(items.size()));
    uint32_t at = uint32_t(12 + 48 * items.size());
    for (auto &i : items) {
        char name[32] = {};
        strncpy(name, i.name, 31);
        b.insert(b.end(), name, name + 32);
        Le32(b, uint32_t(i.w));
        Le32(b, uint32_t(i.h));
        Le32(b, at);
        Le32(b, uint32_t(i.container.size()));
        at += uint32_t(i.container.size());
    }
    for (auto &i : items) b.insert(b.end(), i.container.begin(), i.container.end());
    return b;
}

std::string Save(const char *name, const Bytes &data)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    char pid[16];
    wsprintfA(pid, "q%lu_", GetCurrentProcessId());
    std::string path = std::string(dir) + pid + name;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD done = 0;
    WriteFile(h, data.data(), DWORD(data.size()), &done, nullptr);
    CloseHandle(h);
    return path;
}

int WorstDifference(Layer *a, int w, int h)
{
    int worst = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            DWORD p = GetPelInLayer(a, x, y), q = Colour(x, y);
            for (int s = 0; s < 24; s += 8) {
                int d = std::abs(int((p >> s) & 255) - int((q >> s) & 255));
                if (d > worst) worst = d;
            }
        }
    return worst;
}

}  // namespace

TEST_CASE("quib reads the named layers of a movie file", "[quib]")
{
    Lib lib;
    REQUIRE(lib.open);
    REQUIRE(lib.read);
    REQUIRE(lib.close);
    Layer *thumb = Picture(80, 60), *frame = Picture(33, 17);
    Bytes file = MovieFile({{"Frame", 33, 17, Container(frame)}, {"Thumbnail", 80, 60, Container(thumb)}});
    std::string path = Save("movie.vexa", file);
    QuibFile *q = lib.open(0, path.c_str(), 0);
    REQUIRE(q);
    SECTION("the thumbnail comes back within the codec's rounding")
    {
        Layer *l = lib.read(q, 0, "Thumbnail", 0, 0);
        REQUIRE(l);
        CHECK(l->width == 80);
        CHECK(l->height == 60);
        CHECK(WorstDifference(l, 80, 60) <= 8);
        CHECK((GetPelInLayer(l, 5, 5) >> 24) == 0xFF);
        DeleteLayer(l);
        Layer *f = lib.read(q, 0, "frame", 0, 0);  // names compare without regard to case
        REQUIRE(f);
        CHECK(f->width == 33);
        CHECK(WorstDifference(f, 33, 17) <= 8);
        DeleteLayer(f);
    }
    SECTION("missing layers and bad arguments")
    {
        CHECK(lib.read(q, 0, "Poster", 0, 0) == nullptr);
        CHECK(lib.read(q, 1, "Thumbnail", 0, 0) == nullptr);
        CHECK(lib.read(q, 0, nullptr, 0, 0) == nullptr);
        CHECK(lib.read(nullptr, 0, "Thumbnail", 0, 0) == nullptr);
    }
    CHECK(lib.close(q) == 1);
    CHECK(lib.close(nullptr) == 0);
    DeleteFileA(path.c_str());
    DeleteLayer(thumb);
    DeleteLayer(frame);
}

TEST_CASE("quib refuses damaged movie files", "[quib]")
{
    Lib lib;
    REQUIRE(lib.open);
    Layer *thumb = Picture(40, 20);
    Bytes c = Container(thumb);
    Bytes good = MovieFile({{"Thumbnail", 40, 20, c}});
    auto with32 = [&](size_t at, uint32_t v) {
        Bytes b = good;
        for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
        return b;
    };
    struct {
        const char *what;
        Bytes data;
        bool opens;
    } cases[] = {
        {"empty", Bytes(), false},
        {"wrong magic", [&] { Bytes b = good; b[0] = 'X'; return b; }(), false},
        {"version 2", with32(4, 2), false},
        {"directory past the end", with32(8, 40), false},
        {"too many layers", with32(8, 100000), false},
        {"container past the end", with32(12 + 44, 100000), true},
        {"container offset past the end", with32(12 + 40, 0xFFFFFFF0u), true},
        {"container size word too large", with32(60, 0x7FFFFFFF), true},
        {"size words that disagree", with32(64, 0), true},
        {"huge width", with32(12 + 32, 100000), true},
        {"zero height", with32(12 + 36, 0), true},
        {"cut short", Bytes(good.begin(), good.end() - 20), true},
    };
    for (auto &k : cases) {
        INFO(k.what);
        std::string path = Save("bad.vexa", k.data);
        QuibFile *q = lib.open(0, path.c_str(), 0);
        CHECK((q != nullptr) == k.opens);
        if (q) {
            CHECK(lib.read(q, 0, "Thumbnail", 0, 0) == nullptr);
            lib.close(q);
        }
        DeleteFileA(path.c_str());
    }
    CHECK(lib.open(0, "C:\\no\\such\\movie.vexa", 0) == nullptr);
    CHECK(lib.open(0, nullptr, 0) == nullptr);
    DeleteLayer(thumb);
}
