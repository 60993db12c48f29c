// Image import into core layers through the image filters (files made here
// byte by byte), with bad files and missing libraries.
#include "render_fixture.h"

#include <cstdio>
#include <string>

#include "fxmedia.h"

namespace {

typedef std::vector<unsigned char> Bytes;

void Put16(Bytes &b, unsigned v)
{
    b.push_back(v & 0xFF);
    b.push_back(v >> 8 & 0xFF);
}
void Put32(Bytes &b, unsigned v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// The picture of the import tests, top row first (0xAARRGGBB).
const DWORD kPicture[2][3] = {
    { 0xFFFF0000, 0xFF00FF00, 0xFF0000FF },
    { 0xFFFFFFFF, 0xFF000000, 0xFF102030 },
};

// A 24-bit bottom-up BMP file of the picture (rows padded to 4 bytes).
Bytes Bmp24()
{
    Bytes b = { 'B', 'M' };
    const unsigned rowBytes = 12, size = 54 + rowBytes * 2;
    Put32(b, size);
    Put32(b, 0);
    Put32(b, 54);
    Put32(b, 40);
    Put32(b, 3);
    Put32(b, 2);
    Put16(b, 1);
    Put16(b, 24);
    for (int i = 0; i < 6; ++i)
        Put32(b, i == 1 ? rowBytes * 2 : 0);
    for (int y = 1; y >= 0; --y) {
        for (int x = 0; x < 3; ++x) {
            DWORD c = kPicture[y][x];
            b.push_back(c & 0xFF);
            b.push_back(c >> 8 & 0xFF);
            b.push_back(c >> 16 & 0xFF);
        }
        for (int pad = 9; pad < 12; ++pad)
            b.push_back(0);
    }
    return b;
}

// A 24-bit uncompressed Targa file of the picture, stored from the top.
Bytes Tga24()
{
    Bytes b = { 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0 };
    Put16(b, 3);
    Put16(b, 2);
    b.push_back(24);
    b.push_back(0x20);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            DWORD c = kPicture[y][x];
            b.push_back(c & 0xFF);
            b.push_back(c >> 8 & 0xFF);
            b.push_back(c >> 16 & 0xFF);
        }
    return b;
}

std::string TempName(const char *stem)
{
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    char name[MAX_PATH];
    snprintf(name, sizeof name, "%.200sfxmedia_%u_%s", tmp, unsigned(GetCurrentProcessId()), stem);
    return name;
}

// A file of the given bytes, deleted with the object.
struct TempFile {
    std::string path;
    TempFile(const char *stem, const Bytes &bytes) : path(TempName(stem))
    {
        HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        REQUIRE(f != INVALID_HANDLE_VALUE);
        DWORD written = 0;
        if (!bytes.empty())
            WriteFile(f, bytes.data(), DWORD(bytes.size()), &written, nullptr);
        CloseHandle(f);
        REQUIRE(written == bytes.size());
    }
    ~TempFile() { DeleteFileA(path.c_str()); }
};

// The image filters, loaded by name as the library binds them.
struct Filters {
    HMODULE module = LoadLibraryA("Ferrix32.dll");
    Filters()
    {
        REQUIRE(module);
        g_fxFerrix.ferrixConvert =
            reinterpret_cast<decltype(g_fxFerrix.ferrixConvert)>(GetProcAddress(module, "ferrixConvert"));
        REQUIRE(g_fxFerrix.ferrixConvert);
    }
    ~Filters() { g_fxFerrix = {}; }
};

// Counts the layers the engine makes and deletes through its slots.
int g_made, g_deleted;
Layer *PIXAPI CountingCreate(LONG w, LONG h, LONG n)
{
    ++g_made;
    return CreateLayer(w, h, n);
}
LONG PIXAPI CountingDelete(Layer *layer)
{
    ++g_deleted;
    return DeleteLayer(layer);
}

} // namespace

TEST_CASE("Image files imported into layers", "[media][import]")
{
    Core core;
    Filters filters;
    struct Case {
        const char *stem;
        Bytes bytes;
    } cases[] = { { "pic.bmp", Bmp24() }, { "pic.tga", Tga24() } };
    for (const Case &c : cases) {
        DYNAMIC_SECTION(c.stem)
        {
            TempFile file(c.stem, c.bytes);
            FxImageRequest request = { file.path.c_str() };
            FxImageRecord image = { -1, -1, nullptr };
            REQUIRE(LoadImageLayer(&request, &image) == 1);
            REQUIRE(image.layer);
            CHECK(image.width == 3);
            CHECK(image.height == 2);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x) {
                    INFO("pixel " << x << ", " << y);
                    CHECK(GetPelInLayer(image.layer, x, y) == kPicture[y][x]);   // opaque
                }
            DeleteLayer(image.layer);
        }
    }
}

TEST_CASE("Image import refuses what it cannot read", "[media][import][errors]")
{
    Core core;
    Filters filters;
    g_made = g_deleted = 0;
    g_fxGraphics.CreateLayer = CountingCreate;
    g_fxGraphics.DeleteLayer = CountingDelete;

    Bytes cut = Bmp24();
    cut.resize(60);   // the header promises two rows
    Bytes huge = Bmp24();
    huge[18] = 0xFF;  // width 0xFF03
    huge[19] = 0xFF;
    Bytes wrongMagic = Bmp24();
    wrongMagic[0] = 'X';
    const char *text = "this is not a picture\r\n";
    struct Case {
        const char *what;
        Bytes bytes;
    } cases[] = {
        { "empty.bmp", {} },
        { "cut.bmp", cut },
        { "huge.bmp", huge },
        { "magic.bmp", wrongMagic },
        { "text.bmp", Bytes(text, text + strlen(text)) },
    };
    for (const Case &c : cases) {
        DYNAMIC_SECTION(c.what)
        {
            TempFile file(c.what, c.bytes);
            FxImageRequest request = { file.path.c_str() };
            FxImageRecord image = { 7, 7, reinterpret_cast<Layer *>(1) };
            CHECK(LoadImageLayer(&request, &image) == 0);
            CHECK(image.width == 0);
            CHECK(image.height == 0);
            CHECK(image.layer == nullptr);
            CHECK(g_made == g_deleted);   // a layer made for a failed read is deleted
        }
    }
    SECTION("a missing file, no name, no request")
    {
        std::string missing = TempName("missing.bmp");
        FxImageRequest request = { missing.c_str() };
        FxImageRecord image = {};
        CHECK(LoadImageLayer(&request, &image) == 0);
        FxImageRequest none = { nullptr };
        CHECK(LoadImageLayer(&none, &image) == 0);
        FxImageRequest empty = { "" };
        CHECK(LoadImageLayer(&empty, &image) == 0);
        CHECK(LoadImageLayer(nullptr, &image) == 0);
        CHECK(LoadImageLayer(&request, nullptr) == 0);
        CHECK(image.layer == nullptr);
        CHECK(g_made == 0);
    }
}

TEST_CASE("Image import without the filters or the core", "[media][import][errors]")
{
    TempFile file("unbound.bmp", Bmp24());
    FxImageRequest request = { file.path.c_str() };
    FxImageRecord image = {};
    SECTION("no image filters")
    {
        Core core;
        CHECK(LoadImageLayer(&request, &image) == 0);
    }
    SECTION("no graphics core")
    {
        Filters filters;
        CHECK(LoadImageLayer(&request, &image) == 0);
    }
    CHECK(image.layer == nullptr);
}
