/* Ini and registry objects: choosing the store from the name, values by kind
 * in the registry, ini files byte for byte, the scanner, bad input. */
#include <catch2/catch.hpp>

#include "internal.h"
#include "tundrix32.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct RegValue {
    DWORD type = 0;
    std::string data;
    bool found = false;
};

RegValue Query(HKEY root, const std::string &path, const char *name)
{
    RegValue v;
    HKEY k;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return v;
    char buf[512];
    DWORD size = sizeof buf;
    if (RegQueryValueExA(k, name, nullptr, &v.type, reinterpret_cast<BYTE *>(buf), &size) == ERROR_SUCCESS) {
        v.found = true;
        v.data.assign(buf, size);
    }
    RegCloseKey(k);
    return v;
}

std::string TempFile(const char *name)
{
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    char path[MAX_PATH + 64];
    std::snprintf(path, sizeof path, "%stk%u_%s", dir, static_cast<unsigned>(GetCurrentProcessId()), name);
    return path;
}

int WINAPIV Scan(const char *text, const char *format, ...)
{
    TundrixArgs args;
    TUNDRIX_ARGS_START(args, format);
    int n = TundrixScanArgs(text, format, args);
    TUNDRIX_ARGS_END(args);
    return n;
}

}  // namespace

TEST_CASE("The program key is formed from the program's base name", "[ini]")
{
    CHECK(TundrixFormProgramKey("C:\\apps\\editor.exe") == "Software\\Quillon\\editor");
    CHECK(TundrixFormProgramKey("C:\\apps.v2\\editor") == "Software\\Quillon\\editor");
    CHECK(TundrixFormProgramKey("C:\\a\\my.tool.exe") == "Software\\Quillon\\my.tool");
    CHECK(TundrixFormProgramKey("editor.exe") == "Software\\Quillon\\Unknown App");
    CHECK(TundrixFormProgramKey(nullptr) == "Software\\Quillon\\Unknown App");
}

TEST_CASE("regInit with no name stores under the program key and the section sub-key", "[ini]")
{
    /* The test links the toolkit's code directly: form the key as start-up does. */
    REQUIRE(std::string(TundrixProgramKey()).rfind("Software\\Quillon\\", 0) == 0);
    INIOBJECT *obj = regInit(nullptr, "File Reader");
    REQUIRE(obj);
    REQUIRE(obj->key);
    REQUIRE(regWriteString(obj, nullptr, "LastDir", "C:\\clips"));
    RegValue v = Query(HKEY_CURRENT_USER, std::string(TundrixProgramKey()) + "\\File Reader", "LastDir");
    REQUIRE(v.found);
    CHECK(v.type == REG_SZ);
    CHECK(v.data == std::string("C:\\clips", 9));
    char buf[64];
    CHECK(regReadString(obj, "", "LastDir", "none", buf, sizeof buf) == 8);
    CHECK(std::string(buf) == "C:\\clips");
    CHECK(regReadString(obj, nullptr, "Missing", "none", buf, sizeof buf) == 4);
    CHECK(std::string(buf) == "none");
    RegDeleteKeyA(HKEY_CURRENT_USER, (std::string(TundrixProgramKey()) + "\\File Reader").c_str());
    CHECK(regDone(obj));
    CHECK_FALSE(regDone(nullptr));
}

TEST_CASE("A plain name is a sub-key of the program key; its values are stored by kind", "[ini]")
{
    INIOBJECT *obj = iniCreate("Kinds", "Sec", nullptr, nullptr, nullptr);
    REQUIRE(obj);
    std::string path = std::string(TundrixProgramKey()) + "\\Kinds";
    CHECK(std::string(obj->file) == path);
    struct Row { int kind; const char *text; DWORD type; std::string stored; const char *read_back; };
    const Row rows[] = {
        {INIKIND_DOUBLE, "2.5", REG_SZ, std::string("2.5", 4), "2.5"},
        {INIKIND_LONG, "12", REG_DWORD, std::string("\x0c\0\0\0", 4), "12"},
        {INIKIND_STRING, "abc", REG_SZ, std::string("abc", 4), "abc"},
        {INIKIND_BOOL, "1", REG_DWORD, std::string("\x01\0\0\0", 4), "1"},
        {INIKIND_MASK, "0x80000001", REG_DWORD, std::string("\x01\0\0\x80", 4), "-2147483647"},
        {INIKIND_INDEX, "017", REG_DWORD, std::string("\x0f\0\0\0", 4), "15"},
        {INIKIND_ITEMDATA | 0x30, "7", REG_DWORD, std::string("\x07\0\0\0", 4), "7"},
    };
    for (const Row &r : rows) {
        INFO("kind " << r.kind << " text " << r.text);
        REQUIRE(SetIniDataEx(obj, "v", r.kind, r.text, static_cast<int>(std::strlen(r.text) + 1)));
        RegValue v = Query(HKEY_CURRENT_USER, path + "\\Sec", "v");
        REQUIRE(v.found);
        CHECK(v.type == r.type);
        CHECK(v.data == r.stored);
        char buf[32];
        CHECK(GetIniDataEx(obj, "v", "", r.kind, buf, sizeof buf) == static_cast<int>(std::strlen(r.read_back)));
        CHECK(std::string(buf) == r.read_back);
    }
    /* Other kinds are raw data of the given length. */
    const char raw[] = "one\0two\0";
    REQUIRE(SetIniDataEx(obj, "raw", 9, raw, sizeof raw));
    RegValue v = Query(HKEY_CURRENT_USER, path + "\\Sec", "raw");
    CHECK(v.type == REG_MULTI_SZ);
    CHECK(v.data == std::string(raw, sizeof raw));

    CHECK(regWriteInt(obj, nullptr, "n", -42));
    CHECK(Query(HKEY_CURRENT_USER, path + "\\Sec", "n").type == REG_DWORD);
    CHECK(regReadInt(obj, nullptr, "n", 5) == -42);
    CHECK(regWriteString(obj, nullptr, "hex", "0x10"));
    CHECK(regReadInt(obj, nullptr, "hex", 5) == 16);
    CHECK(regReadInt(obj, nullptr, "absent", 5) == 5);

    /* A section that does not exist reads from the object's own key. */
    iniSetSection(obj, nullptr);
    REQUIRE(SetIniData(obj, "top", "level"));
    iniSetSection(obj, "NoSuchSection");
    char buf[32];
    CHECK(GetIniData(obj, "top", "", buf, sizeof buf) == 5);
    CHECK(std::string(buf) == "level");

    iniDestroy(obj);
    RegDeleteKeyA(HKEY_CURRENT_USER, (path + "\\Sec").c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
}

TEST_CASE("Registry paths pick their root by prefix, in any case", "[ini]")
{
    struct Row { const char *name; HKEY root; const char *sub; };
    const Row rows[] = {
        {"\\Registry\\Machine\\Software\\TundrixTest", HKEY_LOCAL_MACHINE, "Software\\TundrixTest"},
        {"\\registry\\USER\\Software\\TundrixTest", HKEY_CURRENT_USER, "Software\\TundrixTest"},
        {"\\Registry\\Root\\TundrixTest", HKEY_CLASSES_ROOT, "TundrixTest"},
        {"\\Registry\\TundrixTest2", HKEY_CLASSES_ROOT, "TundrixTest2"},
    };
    for (const Row &r : rows) {
        INFO(r.name);
        INIOBJECT *obj = iniCreate(r.name, nullptr, nullptr, nullptr, nullptr);
        REQUIRE(obj);
        REQUIRE(obj->key);
        CHECK(std::string(obj->file) == r.name);
        REQUIRE(SetIniData(obj, "probe", "here"));
        RegValue v = Query(r.root, r.sub, "probe");
        CHECK(v.found);
        CHECK(v.data == std::string("here", 5));
        iniDestroy(obj);
        RegDeleteKeyA(r.root, r.sub);
    }
}

TEST_CASE("Ini names: program directory, Windows directory, full paths; the file byte for byte", "[ini]")
{
    INIOBJECT *obj = iniCreate("tundrix_probe.ini", "S", nullptr, nullptr, nullptr);
    REQUIRE(obj);
    CHECK_FALSE(obj->key);
    CHECK(std::string(obj->file) == TundrixProgramDir() + "tundrix_probe.ini");

    iniSetFile(obj, "\\WINDOWS\\setup.ini");
    CHECK_FALSE(obj->key);
    CHECK(std::string(obj->file) == "setup.ini");

    std::string file = TempFile("probe.ini");
    /* A hand-made file: CR LF lines, a section, two keys. */
    const char fixture[] = "[Reader]\r\nPath=C:\\clips\\a.avi\r\nCount=0x1f\r\n";
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    DWORD n;
    WriteFile(h, fixture, sizeof fixture - 1, &n, nullptr);
    CloseHandle(h);

    REQUIRE(iniSetFile(obj, file.c_str()));
    CHECK_FALSE(obj->key);
    char buf[64];
    CHECK(regReadString(obj, "Reader", "Path", "", buf, sizeof buf) == 14);
    CHECK(std::string(buf) == "C:\\clips\\a.avi");
    CHECK(regReadInt(obj, nullptr, "Count", 0) == 31);
    CHECK(regReadInt(obj, nullptr, "Nope", -3) == -3);

    REQUIRE(regWriteInt(obj, nullptr, "Count", 7));
    REQUIRE(regWriteString(obj, "Other", "On", "TRUE"));
    iniDestroy(obj);

    h = CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    char content[256] = {};
    ReadFile(h, content, sizeof content - 1, &n, nullptr);
    CloseHandle(h);
    CHECK(std::string(content, n) == "[Reader]\r\nPath=C:\\clips\\a.avi\r\nCount=7\r\n[Other]\r\nOn=TRUE\r\n");
    DeleteFileA(file.c_str());
}

TEST_CASE("Null objects, no store and small buffers are handled without harm", "[ini]")
{
    char buf[16];
    CHECK(GetIniData(nullptr, "k", "dflt", buf, sizeof buf) == 4);
    CHECK(std::string(buf) == "dflt");
    CHECK_FALSE(SetIniData(nullptr, "k", "v"));
    CHECK_FALSE(iniSetFile(nullptr, "x"));
    CHECK(regReadInt(nullptr, nullptr, "k", 9) == 9);
    CHECK_FALSE(regWriteInt(nullptr, nullptr, "k", 1));
    CHECK(regPrintf(nullptr, nullptr, "k", "%d", 1) == 0);
    int i = 0;
    CHECK(regScanf(nullptr, nullptr, "k", "5", "%d", &i) == 0);
    CHECK(regEnum(nullptr, "x") == 0);
    iniDestroy(nullptr);

    /* A key that cannot be made leaves the object without a store. */
    std::string bad = "\\Registry\\User\\Software\\" + std::string(300, 'k');
    INIOBJECT *obj = iniCreate(bad.c_str(), nullptr, nullptr, nullptr, nullptr);
    REQUIRE(obj);
    CHECK_FALSE(obj->key);
    CHECK_FALSE(obj->file);
    CHECK(GetIniData(obj, "k", "dflt", buf, sizeof buf) == 4);
    CHECK_FALSE(SetIniData(obj, "k", "v"));
    iniDestroy(obj);

    /* A value longer than the buffer is cut, terminated, and nothing past it written. */
    obj = regInit("Small", nullptr);
    REQUIRE(obj);
    REQUIRE(SetIniData(obj, "long", "0123456789abcdefghijklmnop"));
    char guarded[12];
    std::memset(guarded, 'Z', sizeof guarded);
    CHECK(GetIniData(obj, "long", "", guarded, 8) == 7);
    CHECK(std::string(guarded) == "0123456");
    CHECK(guarded[8] == 'Z');
    CHECK(GetIniData(obj, "long", "", guarded, 0) == 0);
    iniDestroy(obj);
    RegDeleteKeyA(HKEY_CURRENT_USER, (std::string(TundrixProgramKey()) + "\\Small").c_str());
}

TEST_CASE("regPrintf and regScanf round trip through the store", "[ini]")
{
    INIOBJECT *obj = regInit("Printf", "S");
    REQUIRE(obj);
    CHECK(regPrintf(obj, nullptr, "geom", "%d,%d %s %x", -12, 480, "wide", 0xbeef) == 17);
    int a = 0, b = 0;
    unsigned x = 0;
    char word[16] = {};
    CHECK(regScanf(obj, nullptr, "geom", "", "%d,%d %s %x", &a, &b, word, &x) == 4);
    CHECK(a == -12);
    CHECK(b == 480);
    CHECK(std::string(word) == "wide");
    CHECK(x == 0xbeef);
    CHECK(regScanf(obj, nullptr, "missing", "3 4", "%d %d", &a, &b) == 2);
    CHECK(a == 3);
    CHECK(regScanf(obj, nullptr, "missing", "", "%d", &a) == 0);
    std::string big(400, 'x');
    CHECK(regPrintf(obj, nullptr, "big", "%s", big.c_str()) == 256);
    char buf[512];
    CHECK(GetIniData(obj, "big", "", buf, sizeof buf) == 256);
    CHECK(regPrintf(obj, nullptr, "empty", "%s", "") == 0);
    CHECK(GetIniData(obj, "empty", "none", buf, sizeof buf) == 4);
    iniDestroy(obj);
    std::string path = std::string(TundrixProgramKey()) + "\\Printf";
    RegDeleteKeyA(HKEY_CURRENT_USER, (path + "\\S").c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
}

TEST_CASE("The scanner follows scanf's conventions", "[ini][scan]")
{
    int i = 0, j = 0;
    long l = 0;
    short h = 0;
    unsigned u = 0;
    float f = 0;
    double d = 0;
    char s[32] = {}, c[4] = {};

    CHECK(Scan("  42   -7", "%d %d", &i, &j) == 2);
    CHECK((i == 42 && j == -7));
    CHECK(Scan("0x1F 017 777", "%x %o %D", &i, &j, &l) == 3);
    CHECK((i == 31 && j == 15 && l == 777));
    CHECK(Scan("17", "%O", &l) == 1);
    CHECK(l == 15);
    CHECK(Scan("ff", "%X", &u) == 1);
    CHECK(u == 255);
    CHECK(Scan("70000", "%hd", &h) == 1);
    CHECK(h == static_cast<short>(70000));
    CHECK(Scan("123456", "%3d%d", &i, &j) == 2);
    CHECK((i == 123 && j == 456));
    CHECK(Scan("1.5e2 -0.25", "%f %lf", &f, &d) == 2);
    CHECK(f == 150.0f);
    CHECK(d == -0.25);
    CHECK(Scan("name=value;", "name=%[^;];", s) == 1);
    CHECK(std::string(s) == "value");
    CHECK(Scan("abc123", "%[a-c]%d", s, &i) == 2);
    CHECK(std::string(s) == "abc");
    CHECK(i == 123);
    CHECK(Scan("xyz", "%2c", c) == 1);
    CHECK(std::string(c, 2) == "xy");
    CHECK(Scan("50%", "%d%%", &i) == 1);
    CHECK(Scan("hello world", "%4s", s) == 1);
    CHECK(std::string(s) == "hell");
    /* A mismatch stops the scan with what was assigned so far. */
    CHECK(Scan("1 x 3", "%d %d %d", &i, &j, &l) == 1);
    CHECK(Scan("", "%d", &i) == 0);
    CHECK(Scan("9", "%q", &i) == 0);
    /* Digits beyond the base end the field. */
    CHECK(Scan("789", "%o", &i) == 1);
    CHECK(i == 7);
}
