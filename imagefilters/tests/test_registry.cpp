// Filter registry: the format record layout, discovery of plug-in modules
// and built-in filters, the enumeration exports and the driver's lookups.
#include <catch2/catch.hpp>
#include "fx_helpers.h"
#include "registry.h"
#include "msgbox_capture.h"
#include <algorithm>

using namespace fxt;

namespace {

std::string binDir()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string s(path);
    return s.substr(0, s.find_last_of('\\'));
}

struct Entry { std::string name; uint16_t id; uint16_t sub; };

int WINAPI collect(FormatRecord *r, LPARAM user)
{
    auto *v = (std::vector<Entry> *)user;
    v->push_back({ std::string(r->name, strnlen(r->name, 64)), r->formatId, r->u.write.subFormat });
    return 1;
}

int WINAPI collectFirstOnly(FormatRecord *r, LPARAM user)
{
    collect(r, user);
    return 0;
}

std::string copyName(const std::string &dir, int i)
{
    char name[32];
    wsprintfA(name, "\\W%d.frx", i);
    return dir + name;
}

bool has(const std::vector<Entry> &v, const std::string &name)
{
    return std::any_of(v.begin(), v.end(), [&](const Entry &e) { return e.name == name; });
}

size_t indexOf(const std::vector<Entry> &v, const std::string &name)
{
    for (size_t i = 0; i < v.size(); i++)
        if (v[i].name == name) return i;
    return v.size();
}

// Discovery with the test plug-ins switched to a mode; restores the
// process registry afterwards.
struct PluginMode
{
    explicit PluginMode(const char *mode)
    {
        SetEnvironmentVariableA("FERRIX_TESTFILTER", mode);
        fxDiscoverFolder(binDir().c_str());
    }
    ~PluginMode()
    {
        SetEnvironmentVariableA("FERRIX_TESTFILTER", nullptr);
        fxRegistryReset();
    }
};

}  // namespace

TEST_CASE("format record keeps its byte layout", "[layout]")
{
    std::vector<BYTE> bytes(sizeof(FormatRecord), 0);
    uint32_t form = 0xFF000200;
    memcpy(&bytes[0], &form, 4);
    memcpy(&bytes[4], "BMP, Microsoft", 15);
    bytes[68] = 2;
    bytes[70] = 0x8F;
    bytes[80] = 1;                         // read entry: probe flag
    bytes[96] = 19;                        // option word
    memcpy(&bytes[100], "BMP\0RLE\0DIB\0", 13);
    FormatRecord r;
    memcpy(&r, bytes.data(), sizeof(r));
    CHECK(r.form == FX_RECORD_FORM);
    CHECK(std::string(r.name) == "BMP, Microsoft");
    CHECK(r.formatId == 2);
    CHECK(r.depthMask == 0x8F);
    CHECK(r.u.read.probe == 1);
    CHECK(r.u.read.options == 19);
    CHECK(std::string(r.u.read.extensions + 4) == "RLE");
    // The same bytes as a write entry: option word at 88, sub-format at 92,
    // extensions at 94.
    bytes[88] = 17;
    bytes[92] = 2;
    memcpy(&bytes[94], "RLE\0", 5);
    memcpy(&r, bytes.data(), sizeof(r));
    CHECK(r.u.write.options == 17);
    CHECK(r.u.write.subFormat == 2);
    CHECK(std::string(r.u.write.extensions) == "RLE");
}

TEST_CASE("record helpers copy names and extension lists within bounds", "[registry]")
{
    FormatRecord r;
    memset(&r, 0x55, sizeof(r));
    std::string longName(80, 'N');
    fxFillRecord(&r, longName.c_str(), 7, 0x8F);
    CHECK(std::string(r.name, 64) == std::string(64, 'N'));   // bounded, not terminated
    CHECK(r.formatId == 7);
    CHECK(r.instance == fxModule());
    char field[12];
    memset(field, 0x55, sizeof(field));
    fxSetExtensions(field, sizeof(field), "TIF\0TIFF\0TOOLONG\0");
    CHECK(std::string(field) == "TIF");
    CHECK(std::string(field + 4) == "TIFF");
    CHECK(field[9] == 0);    // the list ends with an empty string
    CHECK(field[10] == 0);
}

TEST_CASE("discovery finds plug-ins first, then the built-in filters", "[registry][plugin]")
{
    PluginMode on("on");
    std::vector<Entry> readers, writers;
    ferrixEnumReadFormats(collect, (LPARAM)&readers);
    ferrixEnumWriteFormats(collect, (LPARAM)&writers);

    // "EnumReadFormats" wins over "_EnumReadFormats@8"; only the decorated
    // writer name counts.
    CHECK(has(readers, "Test reader"));
    CHECK_FALSE(has(readers, "Test decorated reader"));
    CHECK(has(writers, "Test writer"));
    CHECK(has(writers, "Test write-only writer"));
    CHECK_FALSE(has(writers, "Test undecorated writer"));
    // Plug-in entries come before the built-in ones.
    REQUIRE(has(readers, "Internal"));
    CHECK(indexOf(readers, "Test reader") < indexOf(readers, "Internal"));
    CHECK(indexOf(writers, "Test writer") < indexOf(writers, "Internal"));

    // A module without enumerators is not kept; the others are.
    CHECK(GetModuleHandleA("TestFilterN.frx") == nullptr);
    CHECK(GetModuleHandleA("TestFilter.frx") != nullptr);
    int kept = 0;
    for (const HMODULE *m = fxModuleTable(); *m; m++) kept++;
    CHECK(kept >= 2);

    // The driver's lookups see the plug-in's entries.
    uint16_t id = 0, sub = 9;
    CHECK(fxReaderByExtension("fxt", &id) != nullptr);
    CHECK(id == 200);
    CHECK(fxWriterByExtension("FXT", &id, &sub) != nullptr);
    CHECK(sub == 0);
    CHECK(fxReaderById(200) != nullptr);
    CHECK(fxReaderById(201) == nullptr);
    CHECK(fxWriterById(203) != nullptr);
    CHECK(fxWriterById(202) == nullptr);
}

TEST_CASE("a plug-in reader converts a file end to end", "[registry][plugin][driver]")
{
    PluginMode on("on");
    std::string path = tempFile("fx_plugin.fxt");
    writeFile(path, { 0 });
    ConvertSource s = source();
    setPath(s.path, path);
    HGLOBAL out = nullptr;
    ConvertTarget t = target();
    t.resultDib = &out;
    t.depth = 24;
    REQUIRE(ferrixConvert(&s, &t) == 0);
    CHECK(s.formatId == 200);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 3; x++) CHECK(dibPixel(out, x, y) == (200u << 16 | (uint32_t)(y * 10) << 8 | (uint32_t)(x * 10)));
    GlobalFree(out);
    DeleteFileA(path.c_str());
}

TEST_CASE("a plug-in entry shadows a built-in entry of the same id or extension", "[registry][plugin]")
{
    PluginMode shadow("shadow");
    // Id 18 now opens the plug-in's reader, which refuses with -5.
    ConvertSource s = source();
    s.formatId = FX_ID_USER;
    s.width = 2;
    s.height = 2;
    s.depth = 24;
    CHECK(ferrixConvert(&s, nullptr) == FX_E_FORMAT);
    uint16_t id = 0, sub = 0;
    REQUIRE(fxWriterByExtension("bmp", &id, &sub) != nullptr);
    CHECK(id == FX_ID_USER);
    CHECK(sub == 1);   // the index of the entry within its filter
}

TEST_CASE("a zero from the callback ends only the current filter's entries", "[registry]")
{
    PluginMode shadow("shadow");
    std::vector<Entry> all, first;
    ferrixEnumReadFormats(collect, (LPARAM)&all);
    ferrixEnumReadFormats(collectFirstOnly, (LPARAM)&first);
    // The plug-in has two reader entries: only its first is seen.
    CHECK(has(first, "Test reader"));
    CHECK_FALSE(has(first, "Test shadow reader"));
    CHECK(has(all, "Test shadow reader"));
    // Every later filter still calls back.
    CHECK(has(first, "Internal"));
    std::vector<Entry> w;
    ferrixEnumWriteFormats(collectFirstOnly, (LPARAM)&w);
    CHECK(has(w, "Test write-only writer"));
    CHECK(has(w, "Internal"));
}

TEST_CASE("without plug-in entries the enumeration lists the built-ins only", "[registry]")
{
    fxRegistryReset();
    std::vector<Entry> readers;
    ferrixEnumReadFormats(collect, (LPARAM)&readers);
    CHECK(has(readers, "Internal"));
    CHECK_FALSE(has(readers, "Test reader"));
    // Filters whose enumerators give nothing call back nothing.
    for (auto &e : readers) CHECK_FALSE(e.name.empty());
    CHECK(ferrixEnumReadFormats(nullptr, 0) == 0);
}

TEST_CASE("a plug-in that cannot be loaded is reported once and skipped", "[registry][plugin]")
{
    std::string dir = tempDir() + "fx_broken_frx";
    CreateDirectoryA(dir.c_str(), nullptr);
    writeFile(dir + "\\Broken.frx", { 'n', 'o', 't', ' ', 'a', ' ', 'm', 'o', 'd', 'u', 'l', 'e' });
    char before[MAX_PATH];
    GetCurrentDirectoryA(sizeof(before), before);
    {
        MsgBoxCapture boxes;
        fxDiscoverFolder(dir.c_str());
        std::string seen;
        for (const auto &b : boxes.boxes()) seen += b.caption + ": " + b.text + "\n";
        INFO("boxes shown:\n" << seen);
        REQUIRE(boxes.count() == 1);
        CHECK(boxes.boxes()[0].caption == "Broken.frx");
        // Discovery went on with the built-ins and put the folder back.
        std::vector<Entry> readers;
        ferrixEnumReadFormats(collect, (LPARAM)&readers);
        CHECK(has(readers, "Internal"));
        CHECK(boxes.count() == 1);   // once per discovery
    }
    char after[MAX_PATH];
    GetCurrentDirectoryA(sizeof(after), after);
    CHECK(std::string(before) == after);
    fxRegistryReset();
    DeleteFileA((dir + "\\Broken.frx").c_str());
    RemoveDirectoryA(dir.c_str());
}

TEST_CASE("the tables never grow past their slots", "[registry][plugin]")
{
    // Seventy copies of the write-only module: at most 63 kept.
    std::string dir = tempDir() + "fx_many_frx";
    CreateDirectoryA(dir.c_str(), nullptr);
    std::string src = binDir() + "\\TestFilterW.frx";
    for (int i = 0; i < 70; i++) CopyFileA(src.c_str(), copyName(dir, i).c_str(), FALSE);
    SetEnvironmentVariableA("FERRIX_TESTFILTER", "on");
    {
        MsgBoxCapture boxes;
        fxDiscoverFolder(dir.c_str());
        int writers = 0, modules = 0;
        for (const FxEnumFormats *w = fxWriterTable(); *w; w++) writers++;
        for (const HMODULE *m = fxModuleTable(); *m; m++) modules++;
        CHECK(writers <= FX_TABLE_SLOTS - 1);
        CHECK(modules <= FX_TABLE_SLOTS - 1);
        INFO("boxes " << boxes.count());
        CHECK(writers >= 1);
    }
    SetEnvironmentVariableA("FERRIX_TESTFILTER", nullptr);
    fxRegistryReset();
    for (int i = 0; i < 70; i++) DeleteFileA(copyName(dir, i).c_str());
    RemoveDirectoryA(dir.c_str());
}

TEST_CASE("the library's exports enumerate its built-in filters", "[registry][dll]")
{
    HMODULE lib = LoadLibraryA("Ferrix32.dll");
    REQUIRE(lib);
    auto enumRead = (int(WINAPI *)(FxEnumCallback, LPARAM))GetProcAddress(lib, "ferrixEnumReadFormats");
    auto enumWrite = (int(WINAPI *)(FxEnumCallback, LPARAM))GetProcAddress(lib, "ferrixEnumWriteFormats");
    auto userRead = (FxEnumFormats)GetProcAddress(lib, "USEREnumReadFormats");
    REQUIRE(enumRead);
    REQUIRE(enumWrite);
    REQUIRE(userRead);
    CHECK(GetProcAddress(lib, (LPCSTR)18) == GetProcAddress(lib, "ferrixConvert"));
    std::vector<Entry> readers, writers;
    enumRead(collect, (LPARAM)&readers);
    enumWrite(collect, (LPARAM)&writers);
    CHECK(has(readers, "Internal"));
    CHECK(has(writers, "Internal"));
    // Built-in entries come in the table's order: BMP before the caller rows.
    if (has(readers, "BMP, Microsoft")) CHECK(indexOf(readers, "BMP, Microsoft") < indexOf(readers, "Internal"));
    if (has(writers, "BMP, Microsoft")) CHECK(indexOf(writers, "BMP, Microsoft") < indexOf(writers, "Internal"));
    FormatRecord r;
    CHECK(userRead(0, &r) == 0);
    CHECK(r.instance == lib);
    FreeLibrary(lib);
}
