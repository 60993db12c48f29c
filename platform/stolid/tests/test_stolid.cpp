// The buffered-file library as its callers bind it (by name): memory files
// on a caller's block and on their own memory, the in-line read window,
// origins, opened files and the end-of-file flag.
#include <catch2/catch.hpp>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "stolid.h"

namespace {

struct Stolid {
    HMODULE dll = LoadLibraryA("stolid.dll");
    template <class F> F Get(const char *name) { return reinterpret_cast<F>(GetProcAddress(dll, name)); }
    decltype(&bfOpenFile) open = Get<decltype(&bfOpenFile)>("bfOpenFile");
    decltype(&bfSetMem) setMem = Get<decltype(&bfSetMem)>("bfSetMem");
    decltype(&bfWrite) write = Get<decltype(&bfWrite)>("bfWrite");
    decltype(&bfRead) read = Get<decltype(&bfRead)>("bfRead");
    decltype(&bfSeek) seek = Get<decltype(&bfSeek)>("bfSeek");
    decltype(&bfPushOrigin) push = Get<decltype(&bfPushOrigin)>("bfPushOrigin");
    decltype(&bfPopOrigin) pop = Get<decltype(&bfPopOrigin)>("bfPopOrigin");
    decltype(&bfDestroy) destroy = Get<decltype(&bfDestroy)>("bfDestroy");
    decltype(&_bfGetc) getc = Get<decltype(&_bfGetc)>("_bfGetc");
};

// Reads like the script reader does: the window first, then _bfGetc.
std::string ReadInLine(Stolid &s, BfFile *f)
{
    std::string out;
    for (;;) {
        if (f->left) {
            --f->left;
            out += char(*f->readPtr++);
            continue;
        }
        if (f->flags & BF_EOF)
            break;
        int c = s.getc(f);
        if (c < 0)
            break;
        out += char(c);
    }
    return out;
}

} // namespace

TEST_CASE("Buffered files over memory", "[stolid]")
{
    Stolid s;
    REQUIRE(s.dll);
    REQUIRE(s.getc);

    SECTION("a caller's block takes what fits, never more")
    {
        unsigned char block[24];
        memset(block, 0xAA, sizeof block);
        BfFile *f = s.setMem(block, 16, 0, 4);
        REQUIRE(f);
        CHECK((f->flags & BF_MODE_MASK) == BF_WRITE);
        CHECK(s.write(f, "0123456789", 10) == 10);
        CHECK(s.write(f, "abcdefghij", 10) == 6);
        CHECK(memcmp(block, "0123456789abcdef", 16) == 0);
        CHECK(block[16] == 0xAA);
        CHECK(s.seek(f, 0, 2) == 16);
        CHECK(s.seek(f, 100, 0) == 16);
        CHECK(s.seek(f, -5, 1) == 11);
        char back[8] = {};
        CHECK(s.read(f, back, 8) == 5);
        CHECK(std::string(back, 5) == "bcdef");
        CHECK(f->flags & BF_EOF);
        s.destroy(f);
    }

    SECTION("its own memory grows; the in-line window follows the position")
    {
        BfFile *f = s.setMem(nullptr, 0, 0, 4);
        REQUIRE(f);
        std::string data;
        for (int i = 0; i < 5000; ++i)
            data += char('A' + i % 26);
        for (size_t at = 0; at < data.size(); at += 700)
            CHECK(s.write(f, data.data() + at, int(std::min<size_t>(700, data.size() - at))) > 0);
        CHECK(s.seek(f, 0, 2) == 5000);
        CHECK(s.seek(f, 0, 0) == 0);
        CHECK(f->left == 5000);
        CHECK(ReadInLine(s, f) == data);
        CHECK(s.getc(f) == -1);
        CHECK(s.seek(f, 4998, 0) == 4998);
        CHECK((f->flags & BF_EOF) == 0);
        CHECK(s.getc(f) == data[4998]);
        CHECK(f->left == 1);
        s.destroy(f);
    }

    SECTION("origins make positions relative; a pop with none fails")
    {
        BfFile *f = s.setMem(nullptr, 64, 0, 4);
        REQUIRE(f);
        uint32_t head[2] = { 0, 7 };
        s.write(f, head, 8);
        CHECK(s.push(f, s.seek(f, 0, 1)) == 1);
        s.write(f, "chunk", 5);
        CHECK(s.seek(f, 0, 1) == 5);
        CHECK(s.seek(f, 0, 0) == 0);
        CHECK(s.seek(f, -3, 0) == 0);      // never before the origin
        CHECK(s.pop(f) == 1);
        CHECK(s.seek(f, 0, 1) == 8);
        CHECK(s.pop(f) == 0);
        for (int i = 0; i < 32; ++i)
            CHECK(s.push(f, 0) == 1);
        CHECK(s.push(f, 0) == 0);
        s.destroy(f);
    }

    SECTION("a block handed over for reading holds its data")
    {
        char text[] = "Keyframe { x 5 }";
        BfFile *f = s.setMem(text, int(strlen(text)), 0, 0);
        REQUIRE(f);
        CHECK(ReadInLine(s, f) == text);
        s.destroy(f);
        CHECK(s.setMem(text, -1, 0, 0) == nullptr);
        CHECK(s.write(nullptr, "x", 1) == 0);
        s.destroy(nullptr);
    }
}

TEST_CASE("Opened files are read whole", "[stolid]")
{
    Stolid s;
    REQUIRE(s.dll);
    char name[MAX_PATH];
    GetTempPathA(MAX_PATH, name);
    strcat(name, "stolid_test.bin");
    std::string data(3000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = char(i * 7);
    HANDLE h = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    DWORD done;
    WriteFile(h, data.data(), DWORD(data.size()), &done, nullptr);
    CloseHandle(h);

    BfFile *f = s.open(name);
    REQUIRE(f);
    CHECK(ReadInLine(s, f) == data);
    CHECK(f->flags & BF_EOF);
    CHECK(s.write(f, "x", 1) == 1);   // its memory grows like any own block
    s.destroy(f);
    DeleteFileA(name);
    CHECK(s.open(name) == nullptr);
    CHECK(s.open(nullptr) == nullptr);
}
