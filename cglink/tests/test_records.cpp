// Record questions, bitmaps, the title-file entry and damaged input.
#include <catch2/catch.hpp>

#include <cstdio>
#include <cstring>

#include "qcg_build.h"

using namespace qcgtest;

namespace {

const QcgRecordBlock* B(const Bytes& b) { return reinterpret_cast<const QcgRecordBlock*>(b.data()); }

Crawl Segs()
{
    Crawl c;
    c.segHeight = 24;  // gap 3
    c.defaultRow = 2;
    c.widths = {30, 13};
    c.starts = {1, 5};
    return c;
}

}  // namespace

TEST_CASE("Record questions", "[query]")
{
    const Pixels px = Pattern(12, 5, 1);
    const Bytes image = MakeImage(200, 12, 5, px);
    const Bytes data = {1, 2, 3, 4, 5};
    const Bytes blk = MakeBlock(MakePartA(12, 5, 0, 777, 0, 45), data, "Hello", image);
    char t1[16], t2[16];
    HGLOBAL h = nullptr;
    int w = -1, hh = -1, type = -1, value = -1, frames = -1;
    struct Case {
        int length;
        const char* want;
    } cases[] = {{0, "Hello"}, {3, "He"}, {99, "Hello"}, {0x10000 + 2, "H"}};
    for (const Case& c : cases) {
        std::memset(t1, 'x', sizeof t1);
        std::memset(t2, 'x', sizeof t2);
        // The text has no NUL of its own: the last copied byte becomes one.
        REQUIRE(ExGetRecordData(B(blk), t1, t2, c.length, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) == 1);
        const std::string want = c.length == 0 || c.length == 99 ? "Hell" : c.want;
        CHECK(std::string(t1) == want);
        CHECK(std::string(t2) == want);
    }
    REQUIRE(ExGetRecordData(B(blk), nullptr, nullptr, 0, &h, &w, &hh, &type, &value, &frames) == 1);
    REQUIRE(h);
    CHECK(GlobalSize(h) >= data.size());
    CHECK(std::memcmp(GlobalLock(h), data.data(), data.size()) == 0);
    GlobalUnlock(h);
    GlobalFree(h);
    CHECK((w == 12 && hh == 5 && type == 0 && value == 777 && frames == 45));
    CHECK(GetRecordData(nullptr, t1, t2, 0, nullptr, &w, nullptr, nullptr, nullptr) == 0);

    SECTION("a frame count of 30000 or more reads as 120")
    {
        for (int f : {29999, 30000, 65535}) {
            const Bytes b2 = MakeBlock(MakePartA(12, 5, 0, 0, 0, f), {}, "", image);
            ExGetRecordData(B(b2), nullptr, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr, &frames);
            CHECK(frames == (f > 29999 ? 120 : f));
        }
    }
    SECTION("a crawl's width is the sum of its visible segments; crawl rows are even")
    {
        const Crawl c = Segs();
        const Bytes img = MakeImage(202, 40, 60, Pattern(40, 60, 2), &c);
        const Bytes b2 = MakeBlock(MakePartA(40, 60, 2, 0, 13), {}, "", img);
        ExGetRecordData(B(b2), nullptr, nullptr, 0, nullptr, &w, &hh, &type, nullptr, nullptr);
        CHECK((w == 27 + 10 && hh == 60 && type == 2));
        CHECK(GetCrawlPos(B(b2)) == 12);
        CHECK(GetCrawlPosEx(nullptr, img.data()) == 2);
        const Bytes neg = MakeBlock(MakePartA(40, 60, 2, 0, -3), {}, "", img);
        CHECK(GetCrawlPos(B(neg)) == -4);
    }
}

TEST_CASE("Bitmaps of stills, rolls and crawls", "[bitmap]")
{
    SECTION("a still: header and rows top first")
    {
        const Pixels px = Pattern(9, 7, 4);
        const Bytes blk = MakeBlock(MakePartA(9, 7, 0), {}, "", MakeImage(200, 9, 7, px));
        int w = 0, h = 0;
        BITMAPINFOHEADER* bi = GetBitmapData(B(blk), &w, &h);
        REQUIRE(bi);
        CHECK((bi->biSize == 40 && bi->biWidth == 9 && bi->biHeight == 7 && bi->biPlanes == 1 &&
               bi->biBitCount == 32 && bi->biCompression == 0 && bi->biSizeImage == 0));
        CHECK((w == 9 && h == 7));
        CHECK(GlobalSize(bi) >= 40 + 9 * 7 * 4 + 4);
        CHECK(std::memcmp(bi + 1, px.data(), px.size() * 4) == 0);
        FreeBitmapData(bi);
    }
    SECTION("a crawl: the visible segment parts side by side from the default row")
    {
        const Crawl c = Segs();
        const Pixels px = Pattern(40, 60, 8);
        const Bytes blk = MakeBlock(MakePartA(40, 60, 2), {}, "", MakeImage(202, 40, 60, px, &c));
        int w = 0, h = 0;
        BITMAPINFOHEADER* bi = GetBitmapData(B(blk), &w, &h);
        REQUIRE(bi);
        REQUIRE((w == 37 && h == 60));
        const uint32_t* out = reinterpret_cast<const uint32_t*>(bi + 1);
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 37; ++x) {
                uint32_t want = 0;
                if (y >= 2 && y < 26) {
                    const int seg = x < 27 ? 0 : 1, sx = seg ? c.starts[1] + x - 27 : c.starts[0] + x;
                    want = px[size_t(2 + seg * 24 + (y - 2)) * 40 + sx];
                }
                INFO(x << "," << y);
                REQUIRE(out[y * 37 + x] == want);
            }
        FreeBitmapData(bi);
    }
    SECTION("another kind gives null and leaves the outputs")
    {
        const Bytes blk = MakeBlock(MakePartA(9, 7, 0), {}, "", MakeImage(203, 9, 7, Pattern(9, 7, 4)));
        int w = 5, h = 6;
        CHECK(GetBitmapData(B(blk), &w, &h) == nullptr);
        CHECK((w == 5 && h == 6));
    }
}

TEST_CASE("Damaged blocks are refused without reading past them", "[bad]")
{
    const Pixels px = Pattern(16, 8, 3);
    const Bytes good = MakeBlock(MakePartA(16, 8, 0), {}, "txt", MakeImage(200, 16, 8, px));
    std::vector<uint32_t> buf(16 * 8);
    REQUIRE(GetRenderedData(B(good), buf.data(), 16, 8, 0, 0, nullptr) == 1);

    SECTION("wrong header length, sizes past the end, cut blocks")
    {
        Bytes b = good;
        b[0] = 31;
        CHECK(GetRenderedData(B(b), buf.data(), 16, 8, 0, 0, nullptr) == 0);
        for (size_t field : {12u, 20u, 24u, 28u}) {
            Bytes c = good;
            c[field + 3] = 0x40;  // a size of about a gigabyte
            GuardedCopy g(c);
            CHECK(GetRenderedData(reinterpret_cast<const QcgRecordBlock*>(g.data), buf.data(), 16, 8, 0, 0, nullptr) == 0);
            CHECK(ExGetRecordData(reinterpret_cast<const QcgRecordBlock*>(g.data), nullptr, nullptr, 0, nullptr,
                                  nullptr, nullptr, nullptr, nullptr, nullptr) == 0);
            CHECK(GetBitmapData(reinterpret_cast<const QcgRecordBlock*>(g.data), nullptr, nullptr) == nullptr);
        }
        for (size_t cut : {size_t(0), size_t(20), size_t(40), good.size() - 1}) {
            GuardedCopy g(Bytes(good.begin(), good.begin() + cut));
            CHECK(GetRenderedData(reinterpret_cast<const QcgRecordBlock*>(g.data), buf.data(), 16, 8, 0, 0, nullptr) == 0);
            CHECK(GetCrawlPos(reinterpret_cast<const QcgRecordBlock*>(g.data)) == 0);
        }
    }
    SECTION("a crawl whose segment table lies outside the image part")
    {
        Crawl c = Segs();
        Bytes img = MakeImage(202, 40, 60, Pattern(40, 60, 2), &c);
        img[14] = 0xF0;  // table offset far past the end
        const Bytes blk = MakeBlock(MakePartA(40, 60, 2), {}, "", img);
        CHECK(GetRenderedData(B(blk), buf.data(), 16, 8, 0, 0, nullptr) == 0);
        CHECK(GetBitmapData(B(blk), nullptr, nullptr) == nullptr);
    }
    SECTION("a buffer that cannot hold width x height pixels, a zero width, no block")
    {
        GuardedCopy tiny(Bytes(16 * 4 * 4));
        CHECK(GetRenderedData(B(good), tiny.data, 16, 8, 0, 0, nullptr) == 0);
        CHECK(GetRenderedData(B(good), buf.data(), 0, 8, 0, 0, nullptr) == 0);
        CHECK(GetRenderedData(nullptr, buf.data(), 16, 8, 0, 0, nullptr) == 0);
        CHECK(QCGGetRenderedData(0, good.data() + 32, good.data() + 64 + 3, buf.data(), 0, 8, 0, 0, 0, B(good)) == 0);
    }
}

TEST_CASE("Title files are rendered by name", "[file]")
{
    const Pixels px = Pattern(16, 8, 6);
    const Bytes blk = MakeBlock(MakePartA(16, 8, 0), {9, 9}, "text", MakeImage(200, 16, 8, px));
    auto write = [](const char* name, const Bytes& b) {
        HANDLE f = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD put = 0;
        WriteFile(f, b.data(), DWORD(b.size()), &put, nullptr);
        CloseHandle(f);
    };
    Bytes file(144, 0);
    const uint32_t magic = 0xF7F5AECBu;
    std::memcpy(file.data(), &magic, 4);
    file.insert(file.end(), blk.begin(), blk.end());
    char dir[MAX_PATH], name[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "qcg", 0, name);
    std::vector<uint32_t> buf(16 * 8, 0);
    write(name, file);
    REQUIRE(GetQCGRenderedData(0, name, buf.data(), 16, 8, 0, 0, nullptr) == 1);
    std::vector<uint32_t> direct(16 * 8, 0);
    GetRenderedData(B(blk), direct.data(), 16, 8, 0, 0, nullptr);
    std::vector<uint32_t> cleared(16 * 8, 0);
    REQUIRE(GetQCGRenderedData(QCG_RENDER_BLEND, name, cleared.data(), 16, 8, 0, 0, nullptr) == 1);
    CHECK(cleared == direct);

    SECTION("wrong magic, cut files and oversized parts give 0")
    {
        Bytes bad = file;
        bad[0] ^= 1;
        write(name, bad);
        CHECK(GetQCGRenderedData(0, name, buf.data(), 16, 8, 0, 0, nullptr) == 0);
        for (size_t cut : {size_t(100), size_t(150), file.size() - 1}) {
            write(name, Bytes(file.begin(), file.begin() + cut));
            CHECK(GetQCGRenderedData(0, name, buf.data(), 16, 8, 0, 0, nullptr) == 0);
        }
        bad = file;
        bad[144 + 28 + 3] = 0x7F;  // image size ~2 GB
        write(name, bad);
        CHECK(GetQCGRenderedData(0, name, buf.data(), 16, 8, 0, 0, nullptr) == 0);
        CHECK(GetQCGRenderedData(0, "Z:\\no\\such\\file.qcg", buf.data(), 16, 8, 0, 0, nullptr) == 0);
    }
    DeleteFileA(name);
}

TEST_CASE("Mutated blocks never crash the renderer", "[fuzz]")
{
    // A still, a roll and a crawl, mutated byte by byte; each input sits at
    // the end of readable memory.  FUZZ_ROUNDS raises the count by hand.
    const Crawl c = Segs();
    const std::vector<Bytes> seeds = {
        MakeBlock(MakePartA(24, 16, 0), {}, "a", MakeImage(200, 24, 16, Pattern(24, 16, 1))),
        MakeBlock(MakePartA(24, 16, 1), {}, "b", MakeImage(201, 24, 40, Pattern(24, 40, 2))),
        MakeBlock(MakePartA(40, 30, 2, 0, 4), {}, "c", MakeImage(202, 40, 60, Pattern(40, 60, 3), &c)),
    };
    char env[32] = {};
    const int rounds = GetEnvironmentVariableA("FUZZ_ROUNDS", env, sizeof env) ? atoi(env) : 3000;
    uint32_t s = 12345;
    auto rnd = [&] { return s = s * 1664525u + 1013904223u, s >> 8; };
    std::vector<uint32_t> buf(40 * 30);
    int rendered = 0;
    for (int i = 0; i < rounds; ++i) {
        Bytes b = seeds[i % 3];
        const int edits = 1 + rnd() % 4;
        for (int e = 0; e < edits; ++e) {
            const size_t at = rnd() % b.size();
            switch (rnd() % 3) {
            case 0: b[at] = uint8_t(rnd()); break;
            case 1: b[at] ^= uint8_t(1u << (rnd() % 8)); break;
            default: b.resize(at + 1); break;
            }
        }
        GuardedCopy g(b);
        const DWORD flags = (rnd() % 2) ? QCG_RENDER_FIELD_EVEN | QCG_RENDER_KEEP_FRACTION : 0;
        const int w = 20 + rnd() % 20, h = 10 + rnd() % 20;
        rendered += GetRenderedData(reinterpret_cast<const QcgRecordBlock*>(g.data), buf.data(), w, h,
                                    int(rnd() % 120), 100, &flags);
        int ow, oh;
        if (BITMAPINFOHEADER* bi = GetBitmapData(reinterpret_cast<const QcgRecordBlock*>(g.data), &ow, &oh))
            FreeBitmapData(bi);
        ExGetRecordData(reinterpret_cast<const QcgRecordBlock*>(g.data), nullptr, nullptr, 0, nullptr, &ow, &oh,
                        nullptr, nullptr, nullptr);
    }
    CHECK(rendered > 0);
}
