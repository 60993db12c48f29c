// Buffered stream and the buffered-file calls over it: names refused,
// windows, seeks, short reads at the end, memory that grows or does not,
// delete and free at close.
#include <catch2/catch.hpp>
#include "fx_helpers.h"
#include "bufile.h"

using namespace fxt;

namespace {

std::vector<BYTE> counting(size_t n)
{
    std::vector<BYTE> v(n);
    for (size_t i = 0; i < n; i++) v[i] = (BYTE)(i * 7 + i / 256);
    return v;
}

}  // namespace

TEST_CASE("open by name refuses device and wildcard names", "[bstream]")
{
    std::string longName = tempDir() + std::string(128, 'a') + ".bin";
    const char *bad[] = { "", "con", "CON.txt", "C:\\dir\\Con.dat", "a*.bmp", "a?.bmp", "a;b.bmp" };
    for (const char *n : bad) {
        INFO(n);
        CHECK(bsOpenName(n, BS_CREATE) == nullptr);
    }
    CHECK(bsOpenName(nullptr, 0) == nullptr);
    CHECK(bsOpenName(longName.c_str(), BS_CREATE) == nullptr);
    CHECK(bsOpenName("C:\\no\\such\\folder\\x.bin", 0) == nullptr);
    // "console.bmp" and "icon.bmp" are ordinary names.
    std::string ok = tempFile("icon.bin");
    BufferedStream *s = bsOpenName(ok.c_str(), BS_CREATE);
    REQUIRE(s);
    bsClose(s);
    DeleteFileA(ok.c_str());
}

TEST_CASE("file streams read through their window", "[bstream]")
{
    auto data = counting(150000);   // larger than one buffer
    std::string path = tempFile("fx_stream.bin");
    writeFile(path, data);
    BufferedStream *s = bfOpenFile(path.c_str(), 0);
    REQUIRE(s);
    CHECK(bfFileLength(s) == 150000);

    SECTION("reads across buffer refills give the file's bytes")
    {
        std::vector<BYTE> got(150000);
        LONG done = 0;
        const LONG pieces[] = { 1, 3, 63999, 2, 70000, 5000 };
        for (LONG n : pieces) { REQUIRE(bfRead(s, got.data() + done, n) == n); done += n; }
        LONG rest = 150000 - done;
        CHECK(bfRead(s, got.data() + done, rest + 100) == rest);   // short at the end
        CHECK(got == data);
        CHECK((s->flags & BS_END) != 0);
        CHECK(bfRead(s, got.data(), 10) == 0);
        CHECK(bfGetc(s) == -1);
        CHECK(bfGetw(s) == -1);
        CHECK(bsReadByte(s) == 0xFF);
        CHECK(bsRead16(s) == 255);
    }
    SECTION("seeks inside the window keep the buffered bytes")
    {
        BYTE b[16];
        REQUIRE(bfRead(s, b, 16) == 16);
        uint64_t filePos = s->filePos;
        CHECK(bfSeek(s, 4, 0) == 4);
        CHECK(s->filePos == filePos);   // nothing read from the file again
        CHECK(bfGetc(s) == data[4]);
        CHECK(bfSeek(s, 10, 1) == 15);
        CHECK(bfGetc(s) == data[15]);
        CHECK(bfSeek(s, -2, 2) == 149998);
        CHECK(bfGetw(s) == (data[149998] | data[149999] << 8));
        CHECK(bfSeek(s, -500, 0) == 0);   // a negative target becomes 0
        CHECK(bfGetc(s) == data[0]);
        CHECK(bfSeek(s, 200000, 0) == 200000);
        CHECK((s->flags & BS_END) != 0);
        CHECK(bfSeek(s, 1, 0) == 1);
        CHECK((s->flags & BS_END) == 0);
    }
    SECTION("the window hands out bytes in place")
    {
        BYTE *w = bfBuffer(s, nullptr, 100);
        REQUIRE(w);
        CHECK(memcmp(w, data.data(), 100) == 0);
        // 40 bytes used: the next window starts after them.
        BYTE *w2 = bfBuffer(s, w + 40, 64000);
        REQUIRE(w2);
        CHECK(memcmp(w2, data.data() + 40, 64000) == 0);
        CHECK(bfTell(s) == 40);
        // More than the file holds: none.
        CHECK(bfSeek(s, 149990, 0) == 149990);
        CHECK(bfBuffer(s, nullptr, 11) == nullptr);
        CHECK(bfBuffer(s, nullptr, 10) != nullptr);
    }
    SECTION("an origin makes a position offset 0")
    {
        bfSetOrigin(s, 1000);
        CHECK(bfTell(s) == -1000);
        CHECK(bfSeek(s, 0, 0) == 0);
        CHECK(bfGetc(s) == data[1000]);
        CHECK(bfFileLength(s) == 149000);
        bfSetOrigin(s, 10);
        CHECK(bfSeek(s, 0, 0) == 0);
        CHECK(bfGetc(s) == data[1010]);
    }
    SECTION("large reads bypass the window")
    {
        std::vector<BYTE> got(120000);
        CHECK(bsReadLarge(s, got.data(), 120000) == 120000);
        CHECK(memcmp(got.data(), data.data(), 120000) == 0);
    }
    bfDestroy(s);
    DeleteFileA(path.c_str());
}

TEST_CASE("empty and truncated files", "[bstream]")
{
    std::string path = tempFile("fx_empty.bin");
    writeFile(path, {});
    BufferedStream *s = bfOpenFile(path.c_str(), 0);
    REQUIRE(s);
    BYTE b[4];
    CHECK(bfFileLength(s) == 0);
    CHECK(bfRead(s, b, 4) == 0);
    CHECK(bfBuffer(s, nullptr, 1) == nullptr);
    CHECK(bfGetc(s) == -1);
    bfDestroy(s);
    writeFile(path, { 1, 2, 3 });
    s = bfOpenFile(path.c_str(), 0);
    CHECK(bfRead(s, b, 4) == 3);
    CHECK(bfGetw(s) == -1);
    bfDestroy(s);
    DeleteFileA(path.c_str());
}

TEST_CASE("writing files: replace, append, delete at close", "[bstream]")
{
    std::string path = tempFile("fx_write.bin");
    BufferedStream *s = bfOpenFile(path.c_str(), 4);
    REQUIRE(s);
    CHECK(bfWrite(s, "abcdef", 6) == 6);
    CHECK(bfFileLength(s) == 6);
    bfDestroy(s);
    s = bfOpenFile(path.c_str(), 8);
    REQUIRE(s);
    CHECK(bfWrite(s, "gh", 2) == 2);
    bfDestroy(s);
    auto bytes = readFile(path);
    CHECK(std::string(bytes.begin(), bytes.end()) == "abcdefgh");
    s = bfOpenFile(path.c_str(), 4);
    CHECK(bfWrite(s, "xy", 2) == 2);
    s->flags |= BS_DELETE;
    bfDestroy(s);
    CHECK_FALSE(fileExists(path));
}

TEST_CASE("memory streams", "[bstream]")
{
    SECTION("a growing block is shrunk to the written length at close")
    {
        BufferedStream *s = bfSetMemHandle(nullptr, 0, 0, 64);
        REQUIRE(s);
        auto data = counting(200000);
        CHECK(bfWrite(s, data.data(), 100) == 100);
        CHECK(bfWrite(s, data.data() + 100, 199900) == 199900);
        CHECK(s->capacity >= 200000);
        CHECK(bfFileLength(s) == 200000);
        HGLOBAL h = bfMemHandle(s);
        bfDestroy(s);
        REQUIRE(h);
        CHECK(GlobalSize(h) >= 200000);
        CHECK(GlobalSize(h) < 200000 + 65535);
        BYTE *p = (BYTE *)GlobalLock(h);
        CHECK(memcmp(p, data.data(), 200000) == 0);
        GlobalUnlock(h);
        GlobalFree(h);
    }
    SECTION("a fixed block takes what fits and reports a short write")
    {
        HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 16);
        BufferedStream *s = bfSetMemHandle(h, 0, 16, 0);
        REQUIRE(s);
        CHECK(bfWrite(s, "0123456789", 10) == 10);
        CHECK(bfWrite(s, "0123456789", 10) == 6);
        CHECK((s->flags & BS_END) != 0);
        bfDestroy(s);
        CHECK(GlobalSize(h) >= 16);   // the caller's block stays
        GlobalFree(h);
    }
    SECTION("a stream over caller memory reads only its length")
    {
        BYTE data[8] = { 1, 2, 3, 4, 5, 6, 7, 8 };
        BufferedStream *s = bfSetMem(data, 5, 5, 0);
        REQUIRE(s);
        BYTE out[8] = {};
        CHECK(bfRead(s, out, 8) == 5);
        CHECK(out[4] == 5);
        CHECK(out[5] == 0);
        CHECK(bfSeek(s, 2, 0) == 2);
        BYTE *w = bfBuffer(s, nullptr, 3);
        REQUIRE(w);
        CHECK(w[0] == 3);
        CHECK(bfBuffer(s, nullptr, 4) == nullptr);
        bfDestroy(s);
        CHECK(bfSetMem(nullptr, 5, 5, 0) == nullptr);
        CHECK(bsOpenBuffer(data, 0, 0) == nullptr);
    }
    SECTION("free at close and truncate")
    {
        BufferedStream *s = bsOpenMemory(nullptr, 100, BS_CREATE | BS_FREEMEM);
        REQUIRE(s);
        CHECK(bsWrite(s, "abcdef", 6) == 6);
        bsSeek(s, 3, 0);
        bsTruncate(s);
        CHECK(bsLength(s) == 3);
        bsClose(s);   // frees the block it made
    }
    SECTION("chunk sizes are clamped")
    {
        BufferedStream *s = bsOpenMemory(nullptr, 10, 0);
        bsSetChunk(s, 1);
        CHECK(s->chunk == 512);
        bsClose(s);
    }
}
