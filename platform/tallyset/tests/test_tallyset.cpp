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

namespace {

// The window the list buttons ask: it fills cards with a small block of
// its own and records what it is told.
struct Asked {
    int code;
    int number;
    std::string name;
};
std::vector<Asked> g_asked;
uint16_t g_suggest;        // the number it suggests
bool g_refuse;             // it stores nothing
std::string g_typed;       // what the name prompt gets
WPARAM g_confirm = IDYES;  // the delete question's answer
std::string g_question;

LRESULT CALLBACK OwnerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg != TALLY_MSG_REQUEST)
        return DefWindowProcA(w, msg, wp, lp);
    auto *card = reinterpret_cast<TallyCardRecord *>(lp);
    g_asked.push_back({ int(wp), card->number, card->name });
    switch (wp) {
    case TALLY_REQ_NUMBER:
        card->number = g_suggest;
        return 1;
    case TALLY_REQ_STORE: {
        if (g_refuse)
            return 0;
        // The block: "FX" and the card's number.
        uint8_t *b = static_cast<uint8_t *>(GlobalAlloc(0, 3));
        b[0] = 'F';
        b[1] = 'X';
        b[2] = uint8_t(card->number);
        card->block = b;
        card->blockSize = 3;
        return 1;
    }
    case TALLY_REQ_LOAD:
        return card->blockSize == 3 && memcmp(card->block, "FX", 2) == 0 ? 100 + static_cast<uint8_t *>(card->block)[2] : 0;
    }
    return 1;
}

// Answers the store's name prompt and delete question as they come up.
LRESULT CALLBACK AnswerHook(int code, WPARAM wp, LPARAM lp)
{
    if (code == HCBT_ACTIVATE) {
        HWND w = HWND(wp);
        if (GetDlgItem(w, TALLY_ID_NAME)) {
            SetDlgItemTextA(w, TALLY_ID_NAME, g_typed.c_str());
            PostMessageA(w, WM_COMMAND, g_typed == "<cancel>" ? IDCANCEL : IDOK, 0);
        } else if (GetDlgItem(w, IDYES)) {
            char text[256] = "";
            GetDlgItemTextA(w, 0xFFFF, text, sizeof text);
            g_question = text;
            PostMessageA(w, WM_COMMAND, g_confirm, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

struct Buttons {
    Tallyset t;
    decltype(&RegBtnAdd) add = t.Get<decltype(&RegBtnAdd)>("RegBtnAdd");
    decltype(&RegBtnUpdate) update = t.Get<decltype(&RegBtnUpdate)>("RegBtnUpdate");
    decltype(&RegBtnRename) rename = t.Get<decltype(&RegBtnRename)>("RegBtnRename");
    decltype(&RegBtnDelete) remove = t.Get<decltype(&RegBtnDelete)>("RegBtnDelete");
    decltype(&RegBtnLoad) load = t.Get<decltype(&RegBtnLoad)>("RegBtnLoad");
    decltype(&RegGetStrKey) key = t.Get<decltype(&RegGetStrKey)>("RegGetStrKey");
    std::string file = TempName("tally_buttons.tly");
    HWND owner, list;
    TallyButtonRecord rec;
    HHOOK hook;
    Buttons()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = OwnerProc;
        wc.lpszClassName = "TallyOwner";
        RegisterClassA(&wc);
        owner = CreateWindowA("TallyOwner", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
        list = CreateWindowA("LISTBOX", "", WS_CHILD | LBS_NOTIFY, 0, 0, 200, 100, owner, nullptr, nullptr, nullptr);
        rec = { owner, 2 };
        DeleteFileA(file.c_str());
        REQUIRE(t.setFile(file.c_str()) == 1);
        hook = SetWindowsHookExA(WH_CBT, AnswerHook, nullptr, GetCurrentThreadId());
        g_asked.clear();
        g_suggest = 0;
        g_refuse = false;
        g_confirm = IDYES;
    }
    ~Buttons()
    {
        UnhookWindowsHookEx(hook);
        DestroyWindow(owner);
        t.setFile("");
        DeleteFileA(file.c_str());
    }
    std::vector<std::string> Items()
    {
        std::vector<std::string> v;
        const int n = int(SendMessageA(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            char text[128] = "";
            SendMessageA(list, LB_GETTEXT, i, LPARAM(text));
            v.push_back(text);
        }
        return v;
    }
    std::string Selection()
    {
        const LRESULT at = SendMessageA(list, LB_GETCURSEL, 0, 0);
        char text[128] = "";
        if (at >= 0) SendMessageA(list, LB_GETTEXT, at, LPARAM(text));
        return text;
    }
    std::vector<uint8_t> FileBytes()
    {
        std::vector<uint8_t> v;
        HANDLE h = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return v;
        v.resize(GetFileSize(h, nullptr));
        DWORD got = 0;
        ReadFile(h, v.data(), DWORD(v.size()), &got, nullptr);
        CloseHandle(h);
        return v;
    }
};

void Put(std::vector<uint8_t> &v, uint32_t x)
{
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

// The bytes one card entry takes in the file: its record with the name in
// it (the block address is whatever it was) and its 3-byte block.
void CardEntry(std::vector<uint8_t> &v, int kind, int number, const std::string &name, const uint8_t *record)
{
    Put(v, uint32_t(kind));
    Put(v, uint32_t(number));
    Put(v, uint32_t(name.size()));
    v.insert(v.end(), name.begin(), name.end());
    Put(v, uint32_t(sizeof(TallyCardRecord)));
    Put(v, 3);
    std::vector<uint8_t> r(sizeof(TallyCardRecord), 0);
    r[4] = 6;
    r[10] = uint8_t(number);
    r[12] = 3;
    memcpy(r.data() + 16, record + 16, 8);
    memcpy(r.data() + 24, name.data(), name.size());
    v.insert(v.end(), r.begin(), r.end());
    v.push_back('F');
    v.push_back('X');
    v.push_back(uint8_t(number));
}

}  // namespace

TEST_CASE("List buttons: a card added, updated, renamed and deleted; the file holds exactly that", "[tallyset][buttons]")
{
    Buttons b;
    REQUIRE(b.add);
    REQUIRE(b.key);
    // Add: the owner's suggestion when free, else one past the highest.
    g_suggest = 7;
    g_typed = "Sweep";
    CHECK(b.add(b.owner, b.list, 0, &b.rec) == 1);
    g_typed = "Tilt";
    CHECK(b.add(b.owner, b.list, 0, &b.rec) == 1);
    CHECK(b.Items() == std::vector<std::string>{"    7 Sweep", "    8 Tilt"});
    CHECK(b.Selection() == "    8 Tilt");
    // What the owner was asked and told, in order.
    REQUIRE(g_asked.size() == 6);
    CHECK(g_asked[0].code == TALLY_REQ_NUMBER);
    CHECK((g_asked[1].code == TALLY_REQ_STORE && g_asked[1].number == 7 && g_asked[1].name == "Sweep"));
    CHECK((g_asked[2].code == TALLY_REQ_STORED && g_asked[2].number == 7));
    CHECK((g_asked[4].code == TALLY_REQ_STORE && g_asked[4].number == 8 && g_asked[4].name == "Tilt"));
    // Load hands the selected card to the owner.
    CHECK(b.load(b.owner, b.list, &b.rec, 0x30000) == 108);
    // Rename the first: the list, the key and the card's own name follow.
    SendMessageA(b.list, LB_SETCURSEL, 0, 0);
    g_asked.clear();
    g_typed = "Swoop";
    CHECK(b.rename(b.owner, b.list, 0, &b.rec) == 1);
    CHECK(b.Items() == std::vector<std::string>{"    7 Swoop", "    8 Tilt"});
    REQUIRE(g_asked.size() == 1);
    CHECK((g_asked[0].code == TALLY_REQ_RENAMED && g_asked[0].number == 7 && g_asked[0].name == "Swoop"));
    char key[32];
    CHECK(b.key(2, 7, LONG_PTR(key), sizeof key) == 11);
    CHECK(std::string(key) == "    7 Swoop");
    int length = 0;
    char name[80];
    auto *card = static_cast<TallyCardRecord *>(b.t.get(2, 7, name, &length));
    REQUIRE(card);
    CHECK(std::string(card->name) == "Swoop");
    b.t.release(card);
    // Update stores the owner's card again under the same number and name.
    g_asked.clear();
    CHECK(b.update(b.owner, b.list, 0, &b.rec) == 1);
    CHECK(g_asked.size() == 2);
    // Delete the second, after its question.
    SendMessageA(b.list, LB_SETCURSEL, 1, 0);
    CHECK(b.remove(b.owner, b.list, 0, &b.rec) == 1);
    CHECK(g_question == "Delete 8 Tilt?");
    CHECK(b.Items() == std::vector<std::string>{"    7 Swoop"});
    CHECK(b.key(2, 8, LONG_PTR(key), sizeof key) == 0);

    // The file, byte for byte: one entry, the renamed card.
    const std::vector<uint8_t> bytes = b.FileBytes();
    REQUIRE(bytes.size() > 40);
    std::vector<uint8_t> want = {'T', 'A', 'L', 'Y'};
    Put(want, 1);
    Put(want, 1);
    CardEntry(want, 2, 7, "Swoop", bytes.data() + 12 + 12 + 5 + 8);
    CHECK(bytes == want);
    // And read back through a reload.
    REQUIRE(b.t.setFile(b.file.c_str()) == 1);
    card = static_cast<TallyCardRecord *>(b.t.get(2, 7, name, &length));
    REQUIRE(card);
    CHECK(std::string(name) == "Swoop");
    CHECK((card->blockSize == 3 && memcmp(card->block, "FX\x07", 3) == 0));
    b.t.release(card);
}

TEST_CASE("List buttons: nothing selected, cancelled, refused or a bad record changes nothing", "[tallyset][buttons]")
{
    Buttons b;
    g_typed = "Only";
    REQUIRE(b.add(b.owner, b.list, 0, &b.rec) == 1);
    const std::vector<uint8_t> before = b.FileBytes();
    SendMessageA(b.list, LB_SETCURSEL, WPARAM(-1), 0);
    CHECK(b.update(b.owner, b.list, 0, &b.rec) == 0);
    CHECK(b.rename(b.owner, b.list, 0, &b.rec) == 0);
    CHECK(b.remove(b.owner, b.list, 0, &b.rec) == 0);
    CHECK(b.load(b.owner, b.list, &b.rec, 0x30000) == 0);
    SendMessageA(b.list, LB_SETCURSEL, 0, 0);
    // A cancelled prompt, a blank name, a refused card, a "No".
    g_typed = "<cancel>";
    CHECK(b.add(b.owner, b.list, 0, &b.rec) == 0);
    CHECK(b.rename(b.owner, b.list, 0, &b.rec) == 0);
    g_refuse = true;
    g_typed = "Other";
    CHECK(b.add(b.owner, b.list, 0, &b.rec) == 0);
    CHECK(b.update(b.owner, b.list, 0, &b.rec) == 0);
    g_refuse = false;
    g_confirm = IDNO;
    CHECK(b.remove(b.owner, b.list, 0, &b.rec) == 0);
    // No record, or one for a window that is gone.
    CHECK(b.add(b.owner, b.list, 0, nullptr) == 0);
    TallyButtonRecord gone = {HWND(0x1234), 2};
    CHECK(b.remove(b.owner, b.list, 0, &gone) == 0);
    CHECK(b.FileBytes() == before);
    CHECK(b.Items() == std::vector<std::string>{"    1 Only"});
    // The key: absent entries, no buffer, no room.
    char key[8];
    CHECK(b.key(2, 1, LONG_PTR(key), sizeof key) == 0);
    CHECK(b.key(2, 1, 0, 64) == 0);
    CHECK(b.key(3, 1, LONG_PTR(key), sizeof key) == 0);
    // A plain entry (not a card) is not loaded as one.
    const char plain[] = "plain data";
    REQUIRE(b.t.set(2, 5, "Plain", plain, sizeof plain) == 1);
    b.t.fill(b.list, 2, 0x8004, 0, nullptr, nullptr);
    SendMessageA(b.list, LB_SETCURSEL, 1, 0);
    CHECK(b.load(b.owner, b.list, &b.rec, 0x30000) == 0);
}
