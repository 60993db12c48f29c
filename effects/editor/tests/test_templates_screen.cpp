// The "Templates" page on a real display, through the editor a host opens,
// over the store library itself (bin/tallyset.dll, the host's registry
// file): an FX script file dropped on the page becomes template 1 named by
// the file ("    1 Sweep"), is previewed, and applied to the current path
// by a click on "Apply"; "Add..." stores the current effect under a typed
// name and "Delete..." removes it again, the store read back each time.
// The drop is the shell's WM_DROPFILES block (no drag source can be driven
// under Xvfb); everything else is real clicks and keys.  Screenshots are
// kept as artefacts.
#include <catch2/catch.hpp>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "editor_host.h"
#include "fxclip.h"
#include "fxedit.h"
#include "fxregdlg.h"
#include "modal_answer.h"
#include "tallyset.h"

using namespace fxtest;

namespace {

std::string Text(HWND w)
{
    char text[128] = "";
    GetWindowTextA(w, text, sizeof text);
    return text;
}

// The tab whose caption (the end of its property string) is `caption`.
HWND Tab(EditorHost &e, const char *caption)
{
    for (int id = 260; id < 260 + 32; ++id) {
        HWND t = e.Control(id);
        if (!t) break;
        const std::string s = Text(t);
        const size_t at = s.rfind('`');
        if ((at == std::string::npos ? s : s.substr(at + 1)) == caption) return t;
    }
    return nullptr;
}

std::vector<std::string> Items(HWND list)
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

int Keyframes(FxPath *p)
{
    if (!p || !p->head) return 0;
    int n = 0;
    FxKeyframe *k = p->head;
    do {
        ++n;
        k = k->next;
    } while (k && k != p->head);
    return n;
}

struct Store {
    HMODULE dll = LoadLibraryA((BinDir() + "\\tallyset.dll").c_str());
    std::string file;
    template <class F> F Get(const char *n) { return reinterpret_cast<F>(GetProcAddress(dll, n)); }
    decltype(&RegGetData) getData = Get<decltype(&RegGetData)>("RegGetData");
    decltype(&RegFreeData) freeData = Get<decltype(&RegFreeData)>("RegFreeData");
    Store()
    {
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        file = std::string(dir) + "fxtemplates_" + std::to_string(GetCurrentProcessId()) + ".tly";
        DeleteFileA(file.c_str());
    }
    ~Store()
    {
        if (auto setFile = Get<decltype(&RegSetFile)>("RegSetFile")) setFile("");
        DeleteFileA(file.c_str());
        if (dll) FreeLibrary(dll);
    }
    // Entry `number` of kind 2: its name and its paths' keyframes (-1 none).
    int Entry(int number, std::string *name)
    {
        char n[80] = "";
        int length = 0;
        auto *rec = static_cast<FxCardRecord *>(getData(2, number, n, &length));
        if (!rec) return -1;
        FxPath *p = PathsFromBlock(rec->block, rec->blockSize);
        const int k = p ? Keyframes(p) : 0;
        if (p) FreeEffect(p);
        freeData(rec);
        *name = n;
        return k;
    }
};

// The shell's drop block for one file.
HGLOBAL DropOf(const std::string &name)
{
    struct Drop {
        DWORD offset;
        POINT pt;
        BOOL nonClient, wide;
    };
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(Drop) + name.size() + 2);
    auto *d = static_cast<Drop *>(GlobalLock(g));
    d->offset = sizeof(Drop);
    std::memcpy(reinterpret_cast<char *>(d) + sizeof(Drop), name.c_str(), name.size());
    GlobalUnlock(g);
    return g;
}

// An FX script file of a path with three keyframes, written by a host of
// the library linked into the test.
std::string WriteSweep()
{
    TestHost other;
    REQUIRE(other.Attach() == 1);
    FxEffect *o = FxCurrentEffect(other.Instance());
    REQUIRE(o->first);
    REQUIRE(InsertKeyframeCopy(o->first, 10, INSERT_CURRENT | INSERT_AFTER));
    REQUIRE(InsertKeyframeCopy(o->first, 10, INSERT_CURRENT | INSERT_AFTER));
    REQUIRE(Keyframes(o->first) == 3);
    o->first->head->position[0] = -200;
    o->first->head->next->position[0] = 0;
    o->first->head->next->next->position[0] = 200;
    FxSyncEffectHost(other.Instance());
    uint32_t size = 0;
    FxEffectBlock *b = FxMakeBlock(&other.Instance()->host, o, 0, &size);
    REQUIRE(b);
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    const std::string name = std::string(dir) + "Sweep.fx";
    HANDLE f = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(f != INVALID_HANDLE_VALUE);
    const char *text = FxBlockText(b);
    DWORD put = 0;
    WriteFile(f, text, DWORD(std::strlen(text)), &put, nullptr);
    CloseHandle(f);
    std::free(b);
    other.Detach();
    return name;
}

}  // namespace

TEST_CASE("Templates page: a dropped file becomes a template that is previewed and applied; Add and Delete",
          "[templates][screen]")
{
    REQUIRE(Library());
    const std::string sweep = WriteSweep();
    Store store;
    REQUIRE(store.dll);
    EditorHost e(0);
    e.host.regPath = store.file;
    REQUIRE(e.Open());
    REQUIRE(GetModuleHandleA("tallyset.dll") == store.dll);

    HWND tab = Tab(e, "Templates");
    REQUIRE(tab);
    Click(tab);
    REQUIRE(PumpUntil([&] { return e.Control(3740) != nullptr; }, 3000));
    HWND list = e.Control(3740);
    HWND page = GetParent(list);
    CHECK(Items(list).empty());
    CHECK(IsDlgButtonChecked(page, 3742) == BST_CHECKED);
    CHECK(IsDlgButtonChecked(page, 3747) == BST_CHECKED);
    CHECK_FALSE(IsWindowEnabled(GetDlgItem(page, 3744)));

    // The drop: template 1 named by the file, selected, previewed.
    SendMessageA(page, WM_DROPFILES, WPARAM(DropOf(sweep)), 0);
    CHECK(Items(list) == std::vector<std::string>{"    1 Sweep"});
    CHECK(SendMessageA(list, LB_GETCURSEL, 0, 0) == 0);
    std::string name;
    CHECK(store.Entry(1, &name) == 3);
    CHECK(name == "Sweep");
    HWND preview = GetDlgItem(page, 3749);
    CHECK(SendMessageA(preview, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0);
    UpdateWindow(page);
    Pump(100);
    const Shot pic = TakeShot(preview);
    // The picture inside the frame: the template's keyframes drawn on black.
    int lit = 0;
    for (int y = 3; y < pic.h - 3; ++y)
        for (int x = 3; x < pic.w - 3; ++x)
            if (pic.At(x, y) != 0) ++lit;
    CHECK(lit > 50);
    e.Shot("templates_dropped.bmp");

    // "Reverse" lays the template from the other end.
    Click(GetDlgItem(page, 3746));
    CHECK(IsDlgButtonChecked(page, 3748) == BST_CHECKED);
    Click(GetDlgItem(page, 3746));
    CHECK(IsDlgButtonChecked(page, 3747) == BST_CHECKED);

    // Apply: the current path takes the template's three keyframes.
    REQUIRE(Keyframes(e.Effect()->current) == 1);
    Click(GetDlgItem(page, 3752));
    CHECK(Keyframes(e.Effect()->current) == 3);
    e.Shot("templates_applied.bmp");

    // Add...: the store asks for a name, typed; the effect is stored as 2.
    HWND prompt = Answer(TALLY_ID_NAME, [&] { Click(GetDlgItem(page, 2000)); }, [&](HWND dlg) {
        Click(GetDlgItem(dlg, TALLY_ID_NAME));
        Type("Mine");
        Click(GetDlgItem(dlg, IDOK));
    });
    REQUIRE(prompt);
    CHECK(Items(list) == std::vector<std::string>{"    1 Sweep", "    2 Mine"});
    CHECK(store.Entry(2, &name) == 3);
    CHECK(name == "Mine");

    // Delete... of the selected entry, confirmed with a click on "Yes".
    RECT r = {};
    SendMessageA(list, LB_GETITEMRECT, 1, LPARAM(&r));
    Click(list, r.left + 10, (r.top + r.bottom) / 2);
    REQUIRE(SendMessageA(list, LB_GETCURSEL, 0, 0) == 1);
    HWND box = Answer(IDYES, [&] { Click(GetDlgItem(page, 2003)); }, [&](HWND dlg) { Click(GetDlgItem(dlg, IDYES)); });
    REQUIRE(box);
    CHECK(Items(list) == std::vector<std::string>{"    1 Sweep"});
    CHECK(store.Entry(2, &name) == -1);
    CHECK(store.Entry(1, &name) == 3);
    DeleteFileA(sweep.c_str());
}

TEST_CASE("Templates page: dropped files that are no effect add nothing", "[templates][screen]")
{
    REQUIRE(Library());
    Store store;
    EditorHost e(0);
    e.host.regPath = store.file;
    REQUIRE(e.Open());
    HWND tab = Tab(e, "Templates");
    REQUIRE(tab);
    Click(tab);
    REQUIRE(PumpUntil([&] { return e.Control(3740) != nullptr; }, 3000));
    HWND list = e.Control(3740);
    HWND page = GetParent(list);
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    const std::string bad = std::string(dir) + "fxtemplates_bad.fx";
    struct Case {
        const char *what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"binary", std::string("\x00\x01\x02garbage", 10)},
        {"not a script", "hello world"},
    };
    for (const Case &c : cases) {
        INFO(c.what);
        HANDLE f = CreateFileA(bad.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        REQUIRE(f != INVALID_HANDLE_VALUE);
        DWORD put = 0;
        if (!c.bytes.empty()) WriteFile(f, c.bytes.data(), DWORD(c.bytes.size()), &put, nullptr);
        CloseHandle(f);
        SendMessageA(page, WM_DROPFILES, WPARAM(DropOf(bad)), 0);
        CHECK(Items(list).empty());
    }
    SendMessageA(page, WM_DROPFILES, WPARAM(DropOf(std::string(dir) + "fxtemplates_missing.fx")), 0);
    CHECK(Items(list).empty());
    std::string name;
    CHECK(store.Entry(1, &name) == -1);
    DeleteFileA(bad.c_str());
}
