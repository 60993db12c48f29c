// The store as its callers bind it (by name): entries kept by kind and
// number, card records with their effect block, enumeration in number
// order, the list fill, the store file (a hand-made fixture, a round trip
// through reloading) and files that are not stores.
#include <catch2/catch.hpp>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "tallyset.h"

namespace {

struct Tallyset {
    HMODULE dll = LoadLibraryA("tallyset.dll");
    template <class F> F Get(const char *n) { return reinterpret_cast<F>(GetProcAddress(dll, n)); }
    decltype(&RegSetFile) setFile = Get<decltype(&RegSetFile)>("RegSetFile");
    decltype(&RegGetFile) getFile = Get<decltype(&RegGetFile)>("RegGetFile");
    decltype(&RegSetData) set = Get<decltype(&RegSetData)>("RegSetData");
    decltype(&RegGetData) get = Get<decltype(&RegGetData)>("RegGetData");
    decltype(&RegFreeData) release = Get<decltype(&RegFreeData)>("RegFreeData");
    decltype(&RegEnumData) enumerate = Get<decltype(&RegEnumData)>("RegEnumData");
    decltype(&RegFillLBEx) fill = Get<decltype(&RegFillLBEx)>("RegFillLBEx");
};

std::string TempName(const char *leaf)
{
    char name[MAX_PATH];
    GetTempPathA(MAX_PATH, name);
    return std::string(name) + leaf;
}

void WriteBytes(const std::string &name, const std::vector<uint8_t> &bytes)
{
    HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    DWORD done;
    WriteFile(h, bytes.data(), DWORD(bytes.size()), &done, nullptr);
    CloseHandle(h);
}

// A card record as its callers lay it out: type word 6 at byte 4, card
// number at 10, block size at 12, block address at 16, name after it.
struct Card {
    uint32_t zero;
    uint32_t type;
    uint16_t pad;
    uint16_t number;
    uint32_t blockSize;
    const void *block;
    char name[32];
};

int __cdecl Collect(int kind, int number, void *ctx)
{
    auto *v = static_cast<std::vector<int> *>(ctx);
    v->push_back(kind * 100000 + number);
    return v->size() < 3;
}

} // namespace

TEST_CASE("Entries are kept, handed out and stored in the store's file", "[tallyset]")
{
    Tallyset t;
    REQUIRE(t.dll);
    std::string file = TempName("tallyset_test.tly");
    DeleteFileA(file.c_str());
    REQUIRE(t.setFile(file.c_str()) == 1);   // a new store
    CHECK(std::string(t.getFile()) == file);

    std::string mesh = std::string(16, 'G') + '\1' + "Keyframe { x 5 }";
    CHECK(t.set(15, 42, "Ripple", mesh.data(), int(mesh.size())) == 1);
    CHECK(t.set(15, 7, std::string(200, 'n').c_str(), "abc", 3) == 1);
    CHECK(t.set(15, 9000, "last", "z", 1) == 1);
    CHECK(t.set(2, 1, "other kind", "q", 1) == 1);
    CHECK(t.set(15, 1, "bad", nullptr, 4) == 0);

    const char text[] = "Keyframe 1.1 { x 12 }";
    Card card{ 0, 6, 0, 31, sizeof text, text, "My card" };
    CHECK(t.set(11, 31, "My card", &card, sizeof card) == 1);

    auto check = [&] {
        char name[80];
        int len = 0;
        void *r = t.get(15, 42, name, &len);
        REQUIRE(r);
        CHECK(std::string(name) == "Ripple");
        CHECK(len == int(mesh.size()));
        CHECK(memcmp(r, mesh.data(), mesh.size()) == 0);
        t.release(r);
        r = t.get(15, 7, name, &len);
        REQUIRE(r);
        CHECK(strlen(name) == 79);          // names are cut to 79 characters
        t.release(r);
        CHECK(t.get(15, 8, name, &len) == nullptr);

        Card *c = static_cast<Card *>(t.get(11, 31, name, &len));
        REQUIRE(c);
        CHECK(c->number == 31);
        CHECK(c->block != text);            // its own copy of the block
        CHECK(memcmp(c->block, text, sizeof text) == 0);
        t.release(c);

        std::vector<int> seen;
        CHECK(t.enumerate(15, 0, 9999, Collect, &seen) == 3);
        CHECK(seen == std::vector<int>{ 1500007, 1500042, 1509000 });
        seen.clear();
        CHECK(t.enumerate(15, 8, 100, Collect, &seen) == 1);
        CHECK(seen == std::vector<int>{ 1500042 });
    };
    check();

    // Reloading the file gives the same entries.
    REQUIRE(t.setFile("") == 1);
    CHECK(t.get(15, 42, nullptr, nullptr) == nullptr);
    REQUIRE(t.setFile(file.c_str()) == 1);
    check();

    SECTION("the list fill shows numbers and names, the number as item data")
    {
        HWND list = CreateWindowA("LISTBOX", "", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr, nullptr, nullptr);
        REQUIRE(list);
        CHECK(t.fill(list, 15, 0x8004, 0, nullptr, nullptr) == 3);
        char item[128] = {};
        SendMessageA(list, LB_GETTEXT, 1, LPARAM(item));
        CHECK(std::string(item) == "   42 Ripple");
        CHECK(SendMessageA(list, LB_GETITEMDATA, 2, 0) == 9000);
        DestroyWindow(list);
        HWND combo = CreateWindowA("COMBOBOX", "", WS_POPUP | CBS_DROPDOWNLIST, 0, 0, 200, 200, nullptr, nullptr,
                                   nullptr, nullptr);
        REQUIRE(combo);
        CHECK(t.fill(combo, 2, 0x8005, 0, nullptr, nullptr) == 1);
        CHECK(SendMessageA(combo, CB_GETCOUNT, 0, 0) == 1);
        DestroyWindow(combo);
    }
    t.setFile("");
    DeleteFileA(file.c_str());
}

TEST_CASE("Store files: a hand-made fixture and files that are not stores", "[tallyset]")
{
    Tallyset t;
    REQUIRE(t.dll);
    std::string file = TempName("tallyset_fixture.tly");
    const std::vector<uint8_t> good = {
        'T', 'A', 'L', 'Y', 1, 0, 0, 0, 1, 0, 0, 0,   // version 1, one entry
        15, 0, 0, 0, 3, 0, 0, 0,                      // kind 15, number 3
        2, 0, 0, 0, 'H', 'i',                         // name "Hi"
        4, 0, 0, 0, 0, 0, 0, 0,                       // record of 4 bytes, no block
        'd', 'a', 't', 'a',
    };
    WriteBytes(file, good);
    REQUIRE(t.setFile(file.c_str()) == 1);
    char name[80];
    int len = 0;
    void *r = t.get(15, 3, name, &len);
    REQUIRE(r);
    CHECK(std::string(name) == "Hi");
    CHECK(len == 4);
    CHECK(memcmp(r, "data", 4) == 0);
    t.release(r);

    // Bad magic, a cut file, oversized counts and names, trailing bytes.
    std::vector<std::vector<uint8_t>> bad;
    bad.push_back(good);
    bad.back()[0] = 'X';
    bad.push_back(std::vector<uint8_t>(good.begin(), good.end() - 1));
    bad.push_back(good);
    bad.back()[8] = 0xFF;
    bad.back()[10] = 0xFF;
    bad.push_back(good);
    bad.back()[20] = 80;
    bad.push_back(good);
    bad.back()[26] = 0xFF;
    bad.back()[29] = 0x7F;
    bad.push_back(good);
    bad.back().push_back(0);
    bad.push_back(good);
    bad.back()[30] = 1;                             // a block on a record that is no card
    for (size_t i = 0; i < bad.size(); ++i) {
        INFO("case " << i);
        WriteBytes(file, bad[i]);
        CHECK(t.setFile(file.c_str()) == 0);
        CHECK(t.get(15, 3, name, &len) == nullptr);
        // A file that is not a store is never written over.
        CHECK(t.set(15, 4, "x", "y", 1) == 1);
        HANDLE h = CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        REQUIRE(h != INVALID_HANDLE_VALUE);
        CHECK(GetFileSize(h, nullptr) == bad[i].size());
        CloseHandle(h);
    }
    t.setFile("");
    DeleteFileA(file.c_str());
}
