// The animation-data library as the effects library binds it (by name):
// records in memory and in files, a hand-made record byte for byte, and
// damaged records refused before any handle is given.
#include <catch2/catch.hpp>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "mobra_build.h"

namespace {

struct Mobra {
    HMODULE dll = LoadLibraryA("mobra.dll");
    template <class F> F Get(const char *name) { return reinterpret_cast<F>(GetProcAddress(dll, name)); }
    decltype(&mobraOpen) open = Get<decltype(&mobraOpen)>("mobraOpen");
    decltype(&mobraCast) cast = Get<decltype(&mobraCast)>("mobraCast");
    decltype(&mobraGetInfo) info = Get<decltype(&mobraGetInfo)>("mobraGetInfo");
    decltype(&mobraGetBox) box = Get<decltype(&mobraGetBox)>("mobraGetBox");
    decltype(&mobraGetBmp) bmp = Get<decltype(&mobraGetBmp)>("mobraGetBmp");
    decltype(&mobraGetPts) pts = Get<decltype(&mobraGetPts)>("mobraGetPts");
    decltype(&mobraGetName) name = Get<decltype(&mobraGetName)>("mobraGetName");
};

void Put32(std::vector<uint8_t> &b, size_t at, uint32_t v)
{
    std::memcpy(b.data() + at, &v, 4);
}

// One object of 2 x 1 pixels with two outline points, written by hand.
std::vector<uint8_t> HandMade()
{
    std::vector<uint8_t> b(32 + 128 + 8 + 16, 0);
    const uint32_t head[8] = {0x52424F4D, uint32_t(b.size()), 1, 720, 576, 7, 0x10, 0};
    std::memcpy(b.data(), head, sizeof head);
    const int32_t box[13] = {0, 24, 2, 0, 100, 50, 2, 1, 0, 0, 2, 11, 12};
    std::memcpy(b.data() + 32, box, sizeof box);
    Put32(b, 32 + 52, 160);  // pixels
    Put32(b, 32 + 56, 168);  // points
    std::memcpy(b.data() + 32 + 64, "logo", 4);
    Put32(b, 160, 0xFF0000FF);
    Put32(b, 164, 0xFF00FF00);
    const int32_t pts[4] = {0, 0, 2, 1};
    std::memcpy(b.data() + 168, pts, sizeof pts);
    return b;
}

}  // namespace

TEST_CASE("Records are read object by object, from memory and from files", "[mobra]")
{
    Mobra m;
    REQUIRE(m.dll);
    REQUIRE(m.cast);
    std::vector<uint8_t> rec = HandMade();

    // The writer makes the hand-made bytes.
    MobraSource src;
    src.box = {0, 24, 2, 0, 100, 50, 2, 1, 0, 0, 2, 11, 12};
    src.name = "logo";
    src.pixels = {0xFF0000FF, 0xFF00FF00};
    src.points = {0, 0, 2, 1};
    std::vector<uint8_t> written = MobraWrite(720, 576, 7, {src});
    written[24] = 0x10;  // the flags word the writer leaves 0
    CHECK(written == rec);

    for (int from = 0; from < 2; ++from) {
        LONG_PTR h = 0;
        if (from == 0) {
            h = m.cast(LONG_PTR(rec.data()), LONG_PTR(rec.size()));
            CHECK(m.cast(LONG_PTR(rec.data()), 0) == h);  // sized by its header
        } else {
            char dir[MAX_PATH], path[MAX_PATH];
            GetTempPathA(MAX_PATH, dir);
            GetTempFileNameA(dir, "mob", 0, path);
            HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            DWORD put = 0;
            WriteFile(f, rec.data(), DWORD(rec.size()), &put, nullptr);
            CloseHandle(f);
            h = m.open(path);
            CHECK(m.open(path) == h);  // the same file, the same handle
            DeleteFileA(path);
        }
        INFO("from " << from);
        REQUIRE(h);
        MobraInfo info = {};
        REQUIRE(m.info(h, &info) == 1);
        CHECK(info.count == 1);
        CHECK(info.width == 720);
        CHECK(info.height == 576);
        CHECK(info.number == 7);
        CHECK(info.flags == 0x10u);
        MobraBox box = {};
        REQUIRE(m.box(h, 0, &box) == 1);
        CHECK(box.end == 24);
        CHECK(box.x == 100);
        CHECK(box.y == 50);
        CHECK(box.points == 2);
        CHECK(box.word2 == 12);
        uint32_t px[2] = {};
        REQUIRE(m.bmp(h, 0, px) == 1);
        CHECK(px[0] == 0xFF0000FFu);
        CHECK(px[1] == 0xFF00FF00u);
        int32_t pts[4] = {};
        REQUIRE(m.pts(h, 0, pts) == 1);
        CHECK(pts[2] == 2);
        char name[64];
        REQUIRE(m.name(h, 0, name) == 1);
        CHECK(std::string(name) == "logo");
        CHECK(m.box(h, 1, &box) == 0);
        CHECK(m.box(h, -1, &box) == 0);
    }
    CHECK(m.open("no such record.mob") == 0);
}

TEST_CASE("Damaged records get no handle", "[mobra]")
{
    Mobra m;
    REQUIRE(m.cast);
    struct Case {
        const char *what;
        size_t at;
        uint32_t value;
        size_t size;  // bytes offered (0: the whole record)
    };
    const Case cases[] = {
        {"wrong magic", 0, 0x12345678, 0},
        {"size beyond the bytes offered", 4, 100000, 0},
        {"truncated", 0, 0x52424F4D, 100},
        {"huge count", 8, 0x7FFFFFFF, 0},
        {"table past the size", 8, 2, 0},
        {"pixels past the end", 32 + 52, 180, 0},
        {"huge picture", 32 + 24, 0x40000000, 0},
        {"negative width", 32 + 24, 0xFFFFFFFF, 0},
        {"points past the end", 32 + 40, 1000, 0},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> rec = HandMade();
        Put32(rec, c.at, c.value);
        INFO(c.what);
        CHECK(m.cast(LONG_PTR(rec.data()), LONG_PTR(c.size ? c.size : rec.size())) == 0);
    }
    // A header-sized record that claims more than the readable memory.
    void *page = VirtualAlloc(nullptr, 8192, MEM_RESERVE, PAGE_NOACCESS);
    REQUIRE(page);
    REQUIRE(VirtualAlloc(page, 4096, MEM_COMMIT, PAGE_READWRITE) == page);
    std::vector<uint8_t> rec = HandMade();
    uint8_t *at = static_cast<uint8_t *>(page) + 4096 - 32;
    std::memcpy(at, rec.data(), 32);
    CHECK(m.cast(LONG_PTR(at), 0) == 0);
    VirtualFree(page, 0, MEM_RELEASE);
    CHECK(m.cast(0, 0) == 0);
}
