/* Dialog data bound to ini files and the registry through IDIALOGDATA. */
#include <catch2/catch.hpp>

#include "dialog_support.h"
#include "tundrix32.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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
