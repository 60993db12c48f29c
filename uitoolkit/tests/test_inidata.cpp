/* Dialog data bound to ini files and the registry through IDIALOGDATA. */
#include <catch2/catch.hpp>

#include "dialog_support.h"
#include "tundrix32.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace {

#pragma pack(push, 1)
struct Bound {
    INISTRUCT head;
    double gain;
    char title[32];
    DWORD loop;
    DWORD picks[3];
    DWORD flags;
    DWORD level;
    char *comment;
};
#pragma pack(pop)
static_assert(sizeof(Bound) == 296 + 8 + 32 + 4 + 12 + 4 + 4 + sizeof(char *), "packed members");

HMODULE Self() { return GetModuleHandleA(nullptr); }

std::string TempIni()
{
    char dir[MAX_PATH], name[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    snprintf(name, sizeof name, "%stkinidata%lu.ini", dir, GetCurrentProcessId());
    return name;
}

std::string ReadFileText(const std::string &path)
{
    std::string out;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    char buf[4096];
    DWORD n;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n) out.append(buf, n);
    CloseHandle(h);
    return out;
}

void WriteFileText(const std::string &path, const char *text)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n;
    WriteFile(h, text, static_cast<DWORD>(strlen(text)), &n, nullptr);
    CloseHandle(h);
}

int CALLBACK Count(INIOBJECT *, LPCSTR key, LPCSTR, UINT, UINT, UINT, LPARAM user)
{
    auto *keys = reinterpret_cast<std::vector<std::string> *>(user);
    keys->push_back(key);
    return 1;
}

int CALLBACK StopAtTitle(INIOBJECT *, LPCSTR key, LPCSTR, UINT, UINT, UINT, LPARAM user)
{
    ++*reinterpret_cast<int *>(user);
    return strcmp(key, "Title") != 0;
}

const char kFixture[] =
    "[Setup]\r\n"
    "Gain=2.25\r\n"
    "Title=Show\r\n"
    "Loop=yes\r\n"
    "Picks=2,0,-1\r\n"
    "Flags=0x5\r\n"
    "Level=42\r\n"
    "Comment=hello\r\n";

}  // namespace

TEST_CASE("The description is walked entry by entry", "[inidata]")
{
    std::vector<std::string> keys;
    INIOBJECT *obj = iniCreate(nullptr, nullptr, nullptr, "INIDLG", Self());
    CHECK(iniForEachDialogData(obj, Count, reinterpret_cast<LPARAM>(&keys), FALSE) == 1);
    /* An empty key is the string named by the control id. */
    CHECK(keys == std::vector<std::string>{"Gain", "Title", "Loop", "Picks", "Flags", "Level", "Comment"});
    int calls = 0;
    CHECK(iniForEachDialogData(obj, StopAtTitle, reinterpret_cast<LPARAM>(&calls), TRUE) == 0);
    CHECK(calls == 2);
    iniDestroy(obj);

    SECTION("a cut entry ends the walk")
    {
        keys.clear();
        INIOBJECT *bad = iniCreate(nullptr, nullptr, nullptr, "BADDLG", Self());
        CHECK(iniForEachDialogData(bad, Count, reinterpret_cast<LPARAM>(&keys), FALSE) == 1);
        CHECK(keys == std::vector<std::string>{"Whole"});
        iniDestroy(bad);
    }
    SECTION("a missing description is empty")
    {
        keys.clear();
        INIOBJECT *none = iniCreate(nullptr, nullptr, nullptr, "NODLG", Self());
        CHECK(iniForEachDialogData(none, Count, reinterpret_cast<LPARAM>(&keys), FALSE) == 1);
        CHECK(keys.empty());
        iniDestroy(none);
    }
}

TEST_CASE("An ini file loads into a structure and is written back", "[inidata]")
{
    std::string path = TempIni();
    WriteFileText(path, kFixture);
    Bound b = {};
    lstrcpyA(b.head.file, path.c_str());
    lstrcpyA(b.head.section, "Setup");
    /* A string member without a count: the old copy is replaced. */
    b.comment = static_cast<char *>(malloc(4));
    strcpy(b.comment, "old");
    REQUIRE(IniToStruct(Self(), "INIDLG", &b.head));
    CHECK(b.gain == 2.25);
    CHECK(std::string(b.title) == "Show");
    CHECK(b.loop == 1); /* "yes" counts as true */
    CHECK(b.picks[0] == 2);
    CHECK(b.picks[1] == 0);
    CHECK(b.picks[2] == 0xFFFFFFFFu);
    CHECK(b.flags == 5);
    CHECK(b.level == 42);
    REQUIRE(b.comment);
    CHECK(std::string(b.comment) == "hello");
    CHECK(std::string(b.head.section) == "Setup");

    b.gain = 0.5;
    memcpy(b.title, "A title longer than thirty-one characters", 31);
    b.title[31] = 0;
    b.loop = 0;
    b.picks[2] = 1;
    b.level = 255;
    REQUIRE(StructToIni(Self(), "INIDLG", &b.head));
    CHECK(ReadFileText(path) ==
          "[Setup]\r\n"
          "Gain=0.5\r\n"
          "Title=A title longer than thirty-one\r\n"
          "Loop=0x0\r\n"
          "Picks=0x2,0x0,0x1\r\n"
          "Flags=0x5\r\n"
          "Level=0xFF\r\n"
          "Comment=hello\r\n");
    Bound again = {};
    lstrcpyA(again.head.file, path.c_str());
    lstrcpyA(again.head.section, "Setup");
    REQUIRE(IniToStruct(Self(), "INIDLG", &again.head));
    CHECK(again.level == 255);
    CHECK(again.picks[2] == 1);
    CHECK(std::string(again.title) == "A title longer than thirty-one");
    free(b.comment);
    free(again.comment);
    DeleteFileA(path.c_str());
}

TEST_CASE("Member declarations of the description", "[inidata]")
{
    /* The standard library's stream names a file in the working folder. */
    std::string path = "tkinidata_members.h";
    FILE *f = fopen(path.c_str(), "wb");
    REQUIRE(f);
    INIOBJECT *obj = iniCreate(nullptr, nullptr, nullptr, "INIDLG", Self());
    CHECK(iniForEachDialogData(obj, IniDataToFileProc, reinterpret_cast<LPARAM>(f), TRUE) == 1);
    iniDestroy(obj);
    fclose(f);
    CHECK(ReadFileText(path) ==
          "\tdouble Gain;\n\tchar Title[32];\n\tlong Loop;\n\tlong Picks[3];\n\tlong Flags;\n\tlong Level;\n"
          "\tLPSTR Comment;\n");
    DeleteFileA(path.c_str());
}

TEST_CASE("A bound dialog loads from the registry and stores on OK", "[inidata]")
{
    OwnerWindow owner;
    const std::string key = std::string(TundrixProgramKey()) + "\\IniDlgTest";
    RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
    INIOBJECT *seed = iniCreate("", "IniDlgTest", nullptr, nullptr, nullptr);
    SetIniData(seed, "Picks", "2,0,-1");
    SetIniData(seed, "Gain", "1.25");
    SetIniDataEx(seed, "Flags", INIKIND_MASK, "0x6", 4);
    iniDestroy(seed);

    Bound b = {};
    lstrcpyA(b.head.section, "IniDlgTest");
    HWND dlg = reinterpret_cast<HWND>(iniDialogBoxEx(Self(), "INIDLG", owner.hwnd, nullptr, 0, 1, &b.head));
    REQUIRE(dlg);
    /* Lists filled from their LISTBOXDATA resources. */
    CHECK(SendDlgItemMessageA(dlg, 300, LB_GETCOUNT, 0, 0) == 4);
    CHECK(SendDlgItemMessageA(dlg, 301, LB_GETCOUNT, 0, 0) == 3);
    CHECK(SendDlgItemMessageA(dlg, 302, LB_GETITEMDATA, 1, 0) == 0x20);
    /* Values from the registry, defaults for the rest. */
    CHECK(SendDlgItemMessageA(dlg, 300, LB_GETCURSEL, 0, 0) == 2);
    CHECK(SendDlgItemMessageA(dlg, 301, LB_GETCURSEL, 0, 0) == 0);
    CHECK(SendDlgItemMessageA(dlg, 302, LB_GETCURSEL, 0, 0) == -1);
    CHECK(WindowText(GetDlgItem(dlg, 100)) == "1.25");
    CHECK(WindowText(GetDlgItem(dlg, 101)) == "none");
    CHECK(WindowText(GetDlgItem(dlg, 102)) == "hi");
    CHECK(IsDlgButtonChecked(dlg, 210) == BST_UNCHECKED);
    CHECK(IsDlgButtonChecked(dlg, 211) == BST_CHECKED);
    CHECK(IsDlgButtonChecked(dlg, 212) == BST_CHECKED);
    CHECK(GetScrollPos(GetDlgItem(dlg, 400), SB_CTL) == 0); /* no range set: position stays 0 */

    SendDlgItemMessageA(dlg, 300, LB_SETCURSEL, 1, 0);
    SendDlgItemMessageA(dlg, 302, LB_SETCURSEL, 2, 0);
    CheckDlgButton(dlg, 200, BST_CHECKED);
    CheckDlgButton(dlg, 211, BST_UNCHECKED);
    SetDlgItemTextA(dlg, 101, "Evening");

    SECTION("the controls copy into the structure and back")
    {
        REQUIRE(DialogToStruct(dlg, &b.head));
        CHECK(b.picks[0] == 1);
        CHECK(b.picks[2] == 2);
        CHECK(b.loop == 1);
        CHECK(b.flags == 4);
        CHECK(std::string(b.title) == "Evening");
        b.picks[1] = 2;
        strcpy(b.title, "Night");
        REQUIRE(StructToDialog(dlg, &b.head));
        CHECK(SendDlgItemMessageA(dlg, 301, LB_GETCURSEL, 0, 0) == 2);
        CHECK(WindowText(GetDlgItem(dlg, 101)) == "Night");
        free(b.comment);
        b.comment = nullptr;
        DestroyWindow(dlg);
    }
    SECTION("OK stores every control")
    {
        SendMessageA(dlg, WM_COMMAND, IDOK, 0);
        CHECK_FALSE(IsWindow(dlg));
        INIOBJECT *check = iniCreate("", "IniDlgTest", nullptr, nullptr, nullptr);
        char buf[64] = {};
        GetIniData(check, "Picks", "", buf, sizeof buf);
        CHECK(std::string(buf) == "1,0,2");
        GetIniData(check, "Title", "", buf, sizeof buf);
        CHECK(std::string(buf) == "Evening");
        iniDestroy(check);
        HKEY k;
        REQUIRE(RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &k) == ERROR_SUCCESS);
        DWORD type = 0, value = 0, size = sizeof value;
        CHECK(RegQueryValueExA(k, "Flags", nullptr, &type, reinterpret_cast<BYTE *>(&value), &size) == ERROR_SUCCESS);
        CHECK(type == REG_DWORD);
        CHECK(value == 4);
        size = sizeof value;
        RegQueryValueExA(k, "Loop", nullptr, &type, reinterpret_cast<BYTE *>(&value), &size);
        CHECK(type == REG_DWORD);
        CHECK(value == 1);
        RegCloseKey(k);
        /* The structure is loaded from what was stored. */
        CHECK(b.picks[0] == 1);
        CHECK(std::string(b.title) == "Evening");
        free(b.comment);
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
}

namespace {

const char kMixFixture[] =
    "[Mix]\r\n"
    "Level=37\r\n"
    "Gain=2.5\r\n"
    "Colour=green\r\n"
    "Size=1\r\n";

LONG PlacetLong(HWND dlg, int id) { return static_cast<LONG>(SendDlgItemMessageA(dlg, id, WM_USER + 288, 0x1600, 0)); }

double PlacetDouble(HWND dlg, int id)
{
    double v = -1;
    SendDlgItemMessageA(dlg, id, WM_USER + 288, 0x900, reinterpret_cast<LPARAM>(&v));
    return v;
}

std::string ListText(HWND dlg, int id, int index)
{
    char buf[64] = {};
    SendDlgItemMessageA(dlg, id, LB_GETTEXT, index, reinterpret_cast<LPARAM>(buf));
    return buf;
}

/* The structure that the dialog's description fills after OK. */
#pragma pack(push, 1)
struct Mix {
    INISTRUCT head;
    DWORD level;
    double gain;
    char *colour;
    DWORD size;
};
#pragma pack(pop)

struct MixFile {
    std::string path = TempIni();
    Mix data = {};
    INISTRUCT &head = data.head;
    MixFile()
    {
        WriteFileText(path, kMixFixture);
        lstrcpyA(head.file, path.c_str());
        lstrcpyA(head.section, "Mix");
    }
    ~MixFile()
    {
        free(data.colour);
        DeleteFileA(path.c_str());
    }
};

/* A control that takes DLGINIT data (records of message 0x1234): it keeps
 * each block's two words and text as it receives them. */
struct DlgInitProbe {
    struct Block { LONG one, all; const char *data; };
    static std::vector<std::string> &Got()
    {
        static std::vector<std::string> got;
        return got;
    }
    static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
    {
        if (msg == WM_USER + 1) {
            const auto *b = reinterpret_cast<const Block *>(lp);
            char words[32];
            snprintf(words, sizeof words, "%ld %ld ", static_cast<long>(b->one), static_cast<long>(b->all));
            Got().push_back(words + std::string(b->data));
            return 1;
        }
        return DefWindowProcA(w, msg, wp, lp);
    }
    DlgInitProbe()
    {
        Got().clear();
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "DlgInitProbe";
        RegisterClassA(&wc);
    }
    ~DlgInitProbe() { UnregisterClassA("DlgInitProbe", GetModuleHandleA(nullptr)); }
};

/* The frame procedure of the modal tabbed dialog runs a check once it is up. */
std::function<void(HWND)> g_when_up;

INT_PTR CALLBACK FrameUp(HWND frame, UINT msg, WPARAM, LPARAM)
{
    if (msg == WM_INITDIALOG) {
        PostMessageA(frame, WM_APP, 0, 0);
        return FALSE;
    }
    if (msg == WM_APP) {
        auto f = g_when_up;
        g_when_up = nullptr;
        if (f) f(frame);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

TEST_CASE("Positioners, lists from DLGINIT and an ini file", "[inidata]")
{
    ControlsLoaded controls;
    REQUIRE(controls.ok);
    OwnerWindow owner;
    MixFile mix;
    DlgInitProbe probe;
    HWND dlg = reinterpret_cast<HWND>(iniDialogBoxEx(Self(), "MIXDLG", owner.hwnd, nullptr, 0, 1, &mix.head));
    REQUIRE(dlg);

    /* The records filled the lists; nothing past the end record, nothing for
     * an unknown message or a missing control. */
    REQUIRE(SendDlgItemMessageA(dlg, 520, LB_GETCOUNT, 0, 0) == 3);
    CHECK(ListText(dlg, 520, 0) == "red");
    CHECK(ListText(dlg, 520, 2) == "blue");
    CHECK(SendDlgItemMessageA(dlg, 530, CB_GETCOUNT, 0, 0) == 2);
    CHECK(SendDlgItemMessageA(dlg, 540, LB_GETCOUNT, 0, 0) == 0);
    /* Records of 0x1234 hand their data to the control as WM_USER+1 with
     * {1, -1, text}, a text whose NUL the record lacks ended all the same. */
    CHECK(DlgInitProbe::Got() == std::vector<std::string>{"1 -1 Speed=120", "1 -1 Mode"});

    /* Values from the file: the positioners by value, their labels kept. */
    CHECK(PlacetLong(dlg, 500) == 37);
    CHECK(PlacetDouble(dlg, 510) == 2.5);
    CHECK(WindowText(GetDlgItem(dlg, 500)) == "Level");
    CHECK(WindowText(GetDlgItem(dlg, 501)) == "37");
    CHECK(WindowText(GetDlgItem(dlg, 511)) == "2.5");
    CHECK(SendDlgItemMessageA(dlg, 520, LB_GETCURSEL, 0, 0) == 1);
    CHECK(SendDlgItemMessageA(dlg, 530, CB_GETCURSEL, 0, 0) == 1);

    SECTION("OK writes the values back as numbers")
    {
        SendDlgItemMessageA(dlg, 500, WM_USER + 289, 0x1000, 64);
        double gain = 7.5;
        SendDlgItemMessageA(dlg, 510, WM_USER + 289, 0x900, reinterpret_cast<LPARAM>(&gain));
        SendDlgItemMessageA(dlg, 520, LB_SETCURSEL, 2, 0);
        SendDlgItemMessageA(dlg, 530, CB_SETCURSEL, 0, 0);
        SendMessageA(dlg, WM_COMMAND, IDOK, 0);
        CHECK_FALSE(IsWindow(dlg));
        CHECK(ReadFileText(mix.path) ==
              "[Mix]\r\n"
              "Level=64\r\n"
              "Gain=7.5\r\n"
              "Colour=blue\r\n"
              "Size=0\r\n");
        /* The structure is loaded from what was stored. */
        CHECK(mix.data.level == 64);
        CHECK(mix.data.gain == 7.5);
        REQUIRE(mix.data.colour);
        CHECK(std::string(mix.data.colour) == "blue");
        CHECK(mix.data.size == 0);
    }
    SECTION("Cancel writes nothing")
    {
        SendDlgItemMessageA(dlg, 500, WM_USER + 289, 0x1000, 64);
        SendDlgItemMessageA(dlg, 520, LB_SETCURSEL, 0, 0);
        SendMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
        CHECK_FALSE(IsWindow(dlg));
        CHECK(ReadFileText(mix.path) == kMixFixture);
    }
}

TEST_CASE("An ini-bound page of a tabbed dialog", "[inidata]")
{
    ControlsLoaded controls;
    REQUIRE(controls.ok);
    MixFile mix;
    struct Run {
        WORD button;
        const char *expected;
    } runs[] = {
        {IDCANCEL, kMixFixture},
        {IDOK, "[Mix]\r\nLevel=90\r\nGain=0.5\r\nColour=red\r\nSize=1\r\n"},
    };
    for (const Run &run : runs) {
        HGLOBAL tab = tabCreate(nullptr, Self(), "Settings", FrameUp, 0, 0, 0, "OK", "Cancel", nullptr);
        REQUIRE(tab);
        REQUIRE(tabAddIniTemplate(tab, "Mix", Self(), "MIXPAGE", nullptr, 0, 0, &mix.head) == TRUE);
        bool ran = false;
        g_when_up = [&](HWND frame) {
            ran = true;
            HWND page = tabGetWindow(tab, 0);
            REQUIRE(page);
            CHECK(PlacetLong(page, 500) == 37);
            CHECK(PlacetDouble(page, 510) == 2.5);
            CHECK(SendDlgItemMessageA(page, 520, LB_GETCOUNT, 0, 0) == 3);
            CHECK(SendDlgItemMessageA(page, 520, LB_GETCURSEL, 0, 0) == 1);
            SendDlgItemMessageA(page, 500, WM_USER + 289, 0x1000, 90);
            double gain = 0.5;
            SendDlgItemMessageA(page, 510, WM_USER + 289, 0x900, reinterpret_cast<LPARAM>(&gain));
            SendDlgItemMessageA(page, 520, LB_SETCURSEL, 0, 0);
            SendWmCommand(frame, GetDlgItem(frame, run.button), 0, BN_CLICKED);
        };
        CHECK(tabDialogBox(tab) == run.button);
        CHECK(ran);
        CHECK(mix.data.level == (run.button == IDOK ? 90u : 0u));
        tabDestroy(tab);
        CHECK(ReadFileText(mix.path) == run.expected);
    }
}
