// The binding tables against the libraries built in this tree (they lie
// beside the test program, which stands in for the effects library's
// module): loading and counting per library, slots filled by name and
// cleared at the last release, missing libraries with empty slots, the
// movie library's second name, the colour picker's stubs, the report, and
// the Win32 helpers the binding rests on.
#include <catch2/catch.hpp>

#include <cstring>
#include <string>
#include <vector>

#include "fxbind.h"
#include "fxrender.h"
#include "fxwin32.h"

namespace {

// Reads and closes the message boxes of this thread once their dialog is
// set up: a task-modal box is activated once before its text is in place,
// so the box is read when its WM_INITDIALOG returns.
struct BoxReader {
    struct Box { std::string text, caption; };
    static std::vector<Box> &Boxes()
    {
        static std::vector<Box> boxes;
        return boxes;
    }
    HHOOK hook;
    BoxReader() : hook(SetWindowsHookExA(WH_CALLWNDPROCRET, Proc, nullptr, GetCurrentThreadId())) { Boxes().clear(); }
    ~BoxReader() { UnhookWindowsHookEx(hook); }
    size_t count() const { return Boxes().size(); }
    const Box &operator[](size_t i) const { return Boxes()[i]; }
    static LRESULT CALLBACK Proc(int code, WPARAM wp, LPARAM lp)
    {
        auto *m = reinterpret_cast<CWPRETSTRUCT *>(lp);
        char cls[32] = {};
        if (code == HC_ACTION && m->message == WM_INITDIALOG && GetClassNameA(m->hwnd, cls, sizeof cls) &&
            !strcmp(cls, "#32770")) {
            char buf[512] = {};
            Box b;
            GetDlgItemTextA(m->hwnd, 0xFFFF, buf, sizeof buf);
            b.text = buf;
            GetWindowTextA(m->hwnd, buf, sizeof buf);
            b.caption = buf;
            Boxes().push_back(b);
            PostMessageA(m->hwnd, WM_COMMAND, IDOK, 0);
        }
        return CallNextHookEx(nullptr, code, wp, lp);
    }
};

HMODULE Self()
{
    return GetModuleHandleA(nullptr);
}

std::string ProgramDir()
{
    char dir[MAX_PATH];
    REQUIRE(GetModuleDirectory(nullptr, dir, MAX_PATH) > 0);
    return dir;
}

std::string Lower(std::string s)
{
    for (char &c : s)
        c = char(tolower((unsigned char)c));
    return s;
}

// The full path of a library beside the program, as the binding stores it.
std::string Beside(const char *file)
{
    return Lower(ProgramDir() + "\\" + file);
}

std::string CurrentDir()
{
    char dir[MAX_PATH];
    REQUIRE(GetCurrentDirectoryA(MAX_PATH, dir) > 0);
    return dir;
}

// Releases whatever a test left bound, the buffered-file library aside.
struct Unbound {
    Unbound() { Reset(); }
    ~Unbound() { Reset(); }
    static void Reset()
    {
        for (int i = 0; i < 8; ++i)
            FreeLibraries(~DWORD(0));
    }
};

int WINAPI CountFormat(FxFormatRecord *, LPARAM user)
{
    ++*reinterpret_cast<int *>(user);
    return 1;
}

bool AllFilled(const void *slots, size_t size)
{
    const void *const *p = static_cast<const void *const *>(slots);
    for (size_t i = 0; i < size / sizeof(void *); ++i)
        if (!p[i])
            return false;
    return true;
}

bool AllEmpty(const void *slots, size_t size)
{
    const void *const *p = static_cast<const void *const *>(slots);
    for (size_t i = 0; i < size / sizeof(void *); ++i)
        if (p[i])
            return false;
    return true;
}

}  // namespace

TEST_CASE("The graphics core is bound by name, counted per use and freed at the last", "[bind]")
{
    Unbound clean;
    REQUIRE(g_fxPixmoorLib.module == nullptr);
    REQUIRE(std::string(g_fxPixmoorLib.name) == "pixmoor.dll");

    SECTION("every slot but the one the core lacks is filled, and works")
    {
        REQUIRE(BindPixmoor(Self()) == 1);
        REQUIRE(g_fxPixmoorLib.module != nullptr);
        REQUIRE(Lower(g_fxPixmoorLib.name) == Beside("pixmoor.dll"));
        const FxGraphicsSlots &g = g_fxGraphics;
        CHECK(g.CheckForPendingException == nullptr);
        FxGraphicsSlots copy = g;
        copy.CheckForPendingException = copy.PixmoorAreYouThere;   // the one gap, checked above
        CHECK(AllFilled(&copy, sizeof copy));

        REQUIRE(g.PixmoorAreYouThere() != 0);
        Layer *layer = g.CreateLayer(8, 4, 1);
        REQUIRE(layer != nullptr);
        CHECK(g.SetLayer(layer, 0xFF102030) != 0);
        LayerAccess access = {};
        REQUIRE(g.BeginLayerAccess(&access, layer, nullptr) != 0);
        g.EndLayerAccess(&access);
        CHECK(g.AddRefCountLayer(layer) == 1);
        CHECK(g.DeleteLayer(layer) == 0);   // one reference left
        CHECK(g.DeleteLayer(layer) == 1);
        FreeLibraries(FXLIB_PIXMOOR);
    }

    SECTION("mask 0x862 bound twice and freed once keeps its libraries with one use")
    {
        const DWORD mask = FXLIB_PIXMOOR | FXLIB_VEXACODEC | FXLIB_MOBRA | FXLIB_STOLID;
        REQUIRE(BindLibraries(Self(), mask) == 1);
        REQUIRE(BindLibraries(Self(), mask) == 1);
        CHECK(g_fxPixmoorLib.useCount == 2);
        REQUIRE(FreeLibraries(mask) == 1);
        CHECK(g_fxPixmoorLib.useCount == 1);
        CHECK(g_fxGraphics.CreateLayer != nullptr);
        CHECK(g_fxStolid.bfWrite != nullptr);

        REQUIRE(FreeLibraries(mask) == 1);
        CHECK(g_fxPixmoorLib.useCount == 0);
        CHECK(g_fxPixmoorLib.module == nullptr);
        CHECK(std::string(g_fxPixmoorLib.name) == "pixmoor.dll");
        CHECK(AllEmpty(&g_fxGraphics, sizeof g_fxGraphics));
        // The buffered-file library stays once bound.
        CHECK(g_fxStolidLib.module != nullptr);
        CHECK(g_fxStolid.bfWrite != nullptr);
        CHECK(g_fxStolidIo.bfSetMem != nullptr);
        CHECK(g_fxStolidIo.bfPopOrigin != nullptr);
    }

    SECTION("two masks that share a library hold two uses of it")
    {
        BindLibraries(Self(), FXLIB_PIXMOOR | FXLIB_FERRIX);
        BindLibraries(Self(), FXLIB_PIXMOOR | FXLIB_TUNDRIX);
        CHECK(g_fxPixmoorLib.useCount == 2);
        CHECK(g_fxFerrixLib.useCount == 1);
        CHECK(g_fxTundrixLib.useCount == 1);
        FreeLibraries(FXLIB_PIXMOOR | FXLIB_FERRIX);
        CHECK(g_fxPixmoorLib.useCount == 1);
        CHECK(g_fxFerrixLib.module == nullptr);
        CHECK(g_fxFerrix.ferrixConvert == nullptr);
        CHECK(g_fxTundrixLib.useCount == 1);
    }
}

TEST_CASE("Releasing what was never bound changes nothing", "[bind]")
{
    Unbound clean;
    BindPixmoor(Self());
    FreeLibraries(FXLIB_TALLYSET | FXLIB_FERRIX | FXLIB_MOBRA | FXLIB_CONTROLS | FXLIB_HUEPIN);
    CHECK(g_fxPixmoorLib.useCount == 1);
    CHECK(g_fxTallysetLib.useCount == 0);
    CHECK(g_fxFerrixLib.useCount == 0);
    CHECK(g_fxKnobkitLib.useCount == 0);
    CHECK(g_fxGimmeAColor == HuepinInitFailed);
    CHECK(std::string(g_fxTallysetLib.name) == "tallyset.dll");
}

TEST_CASE("The other libraries built here fill their slots by name", "[bind]")
{
    Unbound clean;
    BindLibraries(Self(), FXLIB_TALLYSET | FXLIB_TUNDRIX | FXLIB_FERRIX | FXLIB_CONTROLS);

    SECTION("image filters: both entries, and the write formats enumerate")
    {
        REQUIRE(g_fxFerrixLib.module != nullptr);
        REQUIRE(AllFilled(&g_fxFerrix, sizeof g_fxFerrix));
        int count = 0;
        g_fxFerrix.ferrixEnumWriteFormats(CountFormat, reinterpret_cast<LPARAM>(&count));
        CHECK(count > 0);
    }

    SECTION("UI toolkit: the entries it has are bound; strings go through it")
    {
        REQUIRE(g_fxTundrixLib.module != nullptr);
        CHECK(g_fxTundrix.HackDialogBoxParam != nullptr);
        CHECK(g_fxTundrix.iLoadString != nullptr);
        CHECK(g_fxTundrix.LoadStringsIntoCB != nullptr);
        CHECK(g_fxTundrix.tabCreate != nullptr);
        CHECK(g_fxTundrix.iErrMessageBox != nullptr);
        // A string of the common dialogs, through the toolkit and without it.
        HMODULE comdlg = LoadLibraryA("comdlg32.dll");
        char direct[256] = {}, through[256] = {};
        int n = LoadStringA(comdlg, 352, direct, sizeof direct);
        CHECK(FxLoadString(comdlg, 352, through, sizeof through) == n);
        CHECK(std::string(through) == direct);
        FreeLibraries(FXLIB_TUNDRIX);
        memset(through, 0, sizeof through);
        CHECK(FxLoadString(comdlg, 352, through, sizeof through) == n);
        CHECK(std::string(through) == direct);
    }

    SECTION("store: entries by their first name, the file name by its second")
    {
        REQUIRE(g_fxTallysetLib.module != nullptr);
        CHECK(g_fxTallyset.RegSetFile != nullptr);
        CHECK(g_fxTallyset.RegGetFile != nullptr);
        CHECK(g_fxTallyset.RegGetData != nullptr);
        CHECK(g_fxTallyset.RegEnumData != nullptr);
        CHECK(Lower(g_fxTallysetLib.name) == Beside("tallyset.dll"));
    }

    SECTION("custom controls: both libraries, their classes while bound")
    {
        REQUIRE(g_fxKnobkitLib.module != nullptr);
        REQUIRE(g_fxPlacetLib.module != nullptr);
        WNDCLASSA wc;
        CHECK(GetClassInfoA(g_fxKnobkitLib.module, "Knobset", &wc));
        CHECK(BindCustomControls(Self()) == 2);
        CHECK(g_fxPlacetLib.useCount == 2);
        FreeLibraries(FXLIB_CONTROLS);
        CHECK(g_fxKnobkitLib.module != nullptr);
        CHECK(g_fxPlacetLib.useCount == 1);
        FreeLibraries(FXLIB_CONTROLS);
        CHECK(g_fxKnobkitLib.module == nullptr);
        CHECK(g_fxPlacetLib.module == nullptr);
        CHECK(std::string(g_fxPlacetLib.name) == "Placet.dll");
    }
}

TEST_CASE("Libraries that cannot be found keep empty slots and show nothing", "[bind]")
{
    Unbound clean;
    BoxReader boxes;
    CHECK(BindSpanrule(Self()) == 0);
    CHECK(BindHuepin(Self()) == 0);
    CHECK(std::string(g_fxSpanruleLib.name) == "spanrule.dll");
    CHECK(boxes.count() == 0);
    // The colour picker is never empty: it says why there is no picker.
    REQUIRE(g_fxGimmeAColor == HuepinInitFailed);
    COLORREF colour = RGB(1, 2, 3);
    CHECK(g_fxGimmeAColor(nullptr, &colour, "x", 0, 0) == 0);
    CHECK(colour == RGB(1, 2, 3));
    REQUIRE(boxes.count() == 1);
    CHECK(boxes[0].text == "HuepinInit() was called, but failed");
    CHECK(boxes[0].caption == "Quillon FX");
}

TEST_CASE("The animation-data library fills every slot while held", "[bind]")
{
    Unbound clean;
    REQUIRE(BindMobra(Self()) == 1);
    CHECK(g_fxMobra.mobraOpen);
    CHECK(g_fxMobra.mobraCast);
    CHECK(g_fxMobra.mobraGetInfo);
    CHECK(g_fxMobra.mobraGetBox);
    CHECK(g_fxMobra.mobraGetBmp);
    CHECK(g_fxMobra.mobraGetPts);
    CHECK(g_fxMobra.mobraGetName);
    FreeLibraries(FXLIB_MOBRA);
    CHECK(AllEmpty(&g_fxMobra, sizeof g_fxMobra));
    CHECK(std::string(g_fxMobraLib.name) == "mobra.dll");
}

TEST_CASE("The colour picker slot after the last release warns of its use", "[bind]")
{
    Unbound clean;
    BoxReader boxes;
    // A picker library held once (any library serves as its module here).
    g_fxHuepinLib.module = LoadLibraryA("stolid.dll");
    REQUIRE(g_fxHuepinLib.module);
    g_fxHuepinLib.useCount = 1;
    FreeLibraries(FXLIB_HUEPIN);
    CHECK(g_fxHuepinLib.module == nullptr);
    REQUIRE(g_fxGimmeAColor == HuepinAfterDone);
    CHECK(g_fxGimmeAColor(nullptr, nullptr, nullptr, 0, 0) == 0);
    REQUIRE(boxes.count() == 1);
    CHECK(boxes[0].text == "using Huepin after calling HuepinDone()");
    // Asked for again and still missing: the picker was never set up.
    CHECK(BindHuepin(Self()) == 0);
    CHECK(g_fxGimmeAColor == HuepinInitFailed);
}

TEST_CASE("The movie encoder binds its encoding calls only", "[bind]")
{
    Unbound clean;
    REQUIRE(BindVexacodec(Self()) == 1);
    CHECK(Lower(g_fxVexacodecLib.name) == Beside("vexacodec.dll"));
    CHECK(g_fxVexacodec.EncodeStart != nullptr);
    CHECK(g_fxVexacodec.EncodeGetLayer != nullptr);
    CHECK(g_fxVexacodec.EncodeFrame != nullptr);
    CHECK(g_fxVexacodec.EncodeEnd != nullptr);
    CHECK(g_fxVexacodec.EncodeThumbnail != nullptr);
    CHECK(g_fxVexacodec.ChangeThumbnail == nullptr);   // not offered by this encoder
    CHECK(g_fxVexacodec.GetFrame == nullptr);          // no movie library bound before it
    FreeLibraries(FXLIB_VEXACODEC);
    CHECK(AllEmpty(&g_fxVexacodec, sizeof g_fxVexacodec));
    CHECK(std::string(g_fxVexacodecLib.name) == "vexacodec.dll");
}

TEST_CASE("The movie library is bound by its first name, else its second", "[bind]")
{
    Unbound clean;
    REQUIRE(BindVexa(Self()) == 1);
    // The movie library built here is "vexa.dll" (it writes movies); the
    // reading library "quib.dll" is taken only when that one is missing.
    const bool first = GetFileAttributesA(Beside("vexa.dll").c_str()) != INVALID_FILE_ATTRIBUTES;
    const std::string bound = Beside(first ? "vexa.dll" : "quib.dll");
    CHECK(Lower(g_fxVexaLib.name) == bound);
    CHECK(g_fxVexa.quibClose != nullptr);
    CHECK((g_fxVexa.quibCreate != nullptr) == first);
    CHECK((g_fxVexa.EncodeStart != nullptr) == first);

    char report[4096];
    int n = FormatLibraryReport(report, sizeof report);
    CHECK(n == int(strlen(report)));
    CHECK(Lower(report).find("vexa = " + bound + "\n") != std::string::npos);

    SECTION("after the release the plain first name is back")
    {
        FreeLibraries(FXLIB_VEXA);
        CHECK(std::string(g_fxVexaLib.name) == "vexa.dll");
        FormatLibraryReport(report, sizeof report);
        CHECK(std::string(report).find("Vexa = vexa.dll\n") != std::string::npos);
    }

    SECTION("the encoder's frame readers never outlive the movie library")
    {
        // Taken from the movie library while both are bound (the movie
        // library built here has no frame readers, so the slot is set by hand).
        g_fxVexacodec.GetFrame = reinterpret_cast<decltype(g_fxVexacodec.GetFrame)>(g_fxVexa.quibClose);
        FreeLibraries(FXLIB_VEXA);
        CHECK(g_fxVexacodec.GetFrame == nullptr);
    }
}

TEST_CASE("The library report names each library, full paths only while bound", "[bind]")
{
    Unbound clean;
    char report[4096];
    FormatLibraryReport(report, sizeof report);
    CHECK(std::string(report) ==
          "Pixmoor = pixmoor.dll\nTundrix = tundrix32.dll\nFerrix = ferrix32.dll\nVexa = vexa.dll\n"
          "Mobra = mobra.dll\nSpanrule = spanrule.dll\nHuepin = huepin.dll\nPlacet = Placet.dll\n"
          "Knobset = Knobkit.dll\nTemplates = tallyset.dll\n");

    BindLibraries(Self(), FXLIB_PIXMOOR | FXLIB_CONTROLS);
    FormatLibraryReport(report, sizeof report);
    std::string r = Lower(report);
    CHECK(r.find("pixmoor = " + Beside("pixmoor.dll") + "\n") == 0);
    CHECK(r.find("placet = " + Beside("placet.dll") + "\n") != std::string::npos);
    CHECK(r.find("knobset = " + Beside("knobkit.dll") + "\n") != std::string::npos);
    CHECK(r.find("tundrix = tundrix32.dll\n") != std::string::npos);

    // A short buffer is cut, never overrun.
    char tiny[24];
    memset(tiny, 'x', sizeof tiny);
    CHECK(FormatLibraryReport(tiny, 16) == 15);
    CHECK(tiny[15] == 0);
    CHECK(tiny[16] == 'x');
    CHECK(FormatLibraryReport(nullptr, 100) == 0);
}

TEST_CASE("Buffered-file binding by first use", "[bind]")
{
    REQUIRE(FxBindStolid() == 1);
    FxStolidSlots saved = g_fxStolid;
    g_fxStolid = {};
    // Slots cleared by hand are taken again from the module bound before.
    REQUIRE(FxBindStolid() == 1);
    CHECK(g_fxStolid.bfGetc == saved.bfGetc);
    FreeLibraries(FXLIB_STOLID);
    CHECK(g_fxStolid.bfGetc != nullptr);
}

// ---------------------------------------------------------------- Win32 helpers

namespace {

struct TempDir {
    std::string path;
    TempDir()
    {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        char name[MAX_PATH];
        GetTempFileNameA(base, "fxb", 0, name);
        DeleteFileA(name);
        CreateDirectoryA(name, nullptr);
        path = name;
    }
    ~TempDir()
    {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((path + "\\*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do
                DeleteFileA((path + "\\" + fd.cFileName).c_str());
            while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryA(path.c_str());
    }
    std::string File(const char *name, const char *text) const
    {
        std::string p = path + "\\" + name;
        HANDLE h = CreateFileA(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        REQUIRE(h != INVALID_HANDLE_VALUE);
        DWORD n = 0;
        WriteFile(h, text, DWORD(strlen(text)), &n, nullptr);
        CloseHandle(h);
        return p;
    }
};

struct InDirectory {
    std::string saved;
    explicit InDirectory(const std::string &dir) : saved(CurrentDir()) { REQUIRE(SetCurrentDirectoryA(dir.c_str())); }
    ~InDirectory() { SetCurrentDirectoryA(saved.c_str()); }
};

}  // namespace

TEST_CASE("Libraries load from the module's directory first", "[bind][win32]")
{
    TempDir temp;
    // A broken copy where the search path would look first.
    temp.File("pixmoor.dll", "not a library");
    InDirectory in(temp.path);

    SECTION("a plain name finds the copy beside the module; the directory is kept")
    {
        char name[MAX_PATH] = "pixmoor.dll";
        HMODULE dll = LoadLibraryFromModuleDir(name, Self(), 1);
        REQUIRE(dll != nullptr);
        CHECK(GetProcAddress(dll, "CreateLayer") != nullptr);
        CHECK(Lower(name) == Beside("pixmoor.dll"));
        CHECK(Lower(CurrentDir()) == Lower(temp.path));
        FreeLibrary(dll);
    }

    SECTION("an absolute name is loaded as it is; without the flag the name stays")
    {
        std::string full = ProgramDir() + "\\stolid.dll";
        char name[MAX_PATH];
        lstrcpynA(name, full.c_str(), MAX_PATH);
        HMODULE dll = LoadLibraryFromModuleDir(name, Self(), 0);
        REQUIRE(dll != nullptr);
        CHECK(std::string(name) == full);
        CHECK(Lower(CurrentDir()) == Lower(temp.path));
        FreeLibrary(dll);
    }

    SECTION("a library that is nowhere gives null and leaves name and directory")
    {
        char name[MAX_PATH] = "nosuchfxlibrary.dll";
        CHECK(LoadLibraryFromModuleDir(name, Self(), 1) == nullptr);
        CHECK(std::string(name) == "nosuchfxlibrary.dll");
        CHECK(Lower(CurrentDir()) == Lower(temp.path));
        CHECK(LoadLibraryFromModuleDir(nullptr, Self(), 1) == nullptr);
    }
}

TEST_CASE("Module directory, file probes and deletion", "[win32]")
{
    char path[MAX_PATH];
    DWORD full = GetModuleFileNameA(nullptr, path, MAX_PATH);
    char dir[MAX_PATH];
    REQUIRE(GetModuleDirectory(nullptr, dir, MAX_PATH) == full);
    size_t len = strlen(dir);
    CHECK(len > 0);
    CHECK(dir[len - 1] != '\\');
    CHECK(std::string(path).compare(0, len + 1, std::string(dir) + "\\") == 0);
    // A buffer too tiny for the directory gets nothing, not half a path.
    char tiny[4] = "abc";
    CHECK(GetModuleDirectory(nullptr, tiny, sizeof tiny) == 0);

    TempDir temp;
    std::string file = temp.File("probe.txt", "x");
    std::string missing = temp.path + "\\missing.txt";
    struct Case { const char *name; int mode; int result; };
    const Case cases[] = {
        {file.c_str(), 0, 0}, {file.c_str(), 2, 0},     {file.c_str(), 4, 0},     {file.c_str(), 6, 0},
        {file.c_str(), 1, -1}, {file.c_str(), 8, -1},   {missing.c_str(), 0, -1}, {missing.c_str(), 4, -1},
        {"", 0, -1},          {nullptr, 0, -1},
    };
    for (const Case &c : cases) {
        INFO((c.name ? c.name : "(null)") << " mode " << c.mode);
        CHECK(ProbeFile(c.name, c.mode) == c.result);
    }
    // A file open elsewhere without write sharing cannot be written.
    HANDLE h = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    CHECK(ProbeFile(file.c_str(), 2) == -1);
    CHECK(ProbeFile(file.c_str(), 0) == 0);
    CloseHandle(h);

    CHECK(DeleteFileByName(file.c_str()) == 0);
    CHECK(ProbeFile(file.c_str(), 0) == -1);
    CHECK(DeleteFileByName(file.c_str()) == -1);
    CHECK(DeleteFileByName("") == -1);
    CHECK(DeleteFileByName(nullptr) == -1);
}

TEST_CASE("The wait cursor is counted", "[win32]")
{
    HCURSOR arrow = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    HCURSOR wait = LoadCursorA(nullptr, (LPCSTR)IDC_WAIT);
    SetCursor(arrow);
    CHECK(WaitCursor(1) == 1);
    CHECK(GetCursor() == wait);
    CHECK(WaitCursor(1) == 2);
    CHECK(WaitCursor(0) == 1);
    CHECK(GetCursor() == wait);
    CHECK(WaitCursor(0) == 0);
    CHECK(GetCursor() == arrow);
    // Off at zero does nothing.
    SetCursor(wait);
    CHECK(WaitCursor(0) == 0);
    CHECK(GetCursor() == wait);
    SetCursor(arrow);
}

TEST_CASE("The last child in z-order", "[win32]")
{
    HWND parent = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(parent);
    CHECK(LastChildWindow(parent) == nullptr);
    HWND a = CreateWindowA("STATIC", "a", WS_CHILD, 0, 0, 5, 5, parent, nullptr, nullptr, nullptr);
    HWND b = CreateWindowA("STATIC", "b", WS_CHILD, 0, 0, 5, 5, parent, nullptr, nullptr, nullptr);
    REQUIRE((a && b));
    SetWindowPos(a, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    CHECK(LastChildWindow(parent) == a);
    SetWindowPos(b, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    CHECK(LastChildWindow(parent) == b);
    CHECK(LastChildWindow(nullptr) == nullptr);
    DestroyWindow(parent);
}

TEST_CASE("The library instance is what its entry keeps", "[win32]")
{
    HINSTANCE before = GetFxInstance();
    SetFxInstance(Self());
    CHECK(GetFxInstance() == Self());
    SetFxInstance(before);
}
