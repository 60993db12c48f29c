/*
 * Titles and the pattern palette without a window: the programme title's
 * hand-off, the style defaults, the palette's pages, selection and favourite
 * slots with the profile, the drag text, and the title file list over a
 * folder made for the test.
 */
#define CATCH_CONFIG_MAIN
#include <catch2/catch.hpp>
#include <windows.h>
#include "pattern_palette.h"
#include "title_files.h"
#include "title_panel.h"
#include <cstring>
#include <string>
#include <vector>

namespace {

struct SwitchRecorder : TitleSwitchView {
    std::vector<std::string> log;
    void ExportTitle() override { log.push_back("export"); }
    void ApplyTitle(BOOL on) override { log.push_back(on ? "apply on" : "apply off"); }
    void ShowTitleSwitch(int on) override { log.push_back(on ? "switch on" : "switch off"); }
};

using Log = std::vector<std::string>;

} // namespace

TEST_CASE("the programme title goes on only after the export is reported done", "[titles][switch]")
{
    int titleOn = 0;
    SwitchRecorder r;
    TitleSwitch s(titleOn, r);

    SECTION("on: export first, the engine loads the title when OnExported(TRUE) comes")
    {
        s.Toggle();
        CHECK(r.log == Log{"switch on", "export"});
        CHECK(titleOn == 1);
        CHECK(s.applyPending == 1);
        s.OnExported(TRUE);
        CHECK(r.log == Log{"switch on", "export", "apply on", "switch on"});
        CHECK(s.applyPending == 0);
        /* A late second report applies nothing more. */
        s.OnExported(TRUE);
        CHECK(r.log.size() == 4);
        s.Toggle();
        CHECK(r.log == Log{"switch on", "export", "apply on", "switch on", "apply off", "switch off"});
        CHECK(titleOn == 0);
    }
    SECTION("a failed export leaves the switch on and the engine without a title")
    {
        s.Toggle();
        s.OnExported(FALSE);
        CHECK(r.log == Log{"switch on", "export"});
        CHECK(titleOn == 1);
    }
    SECTION("an export report with the title off applies nothing")
    {
        s.OnExported(TRUE);
        s.Apply();   /* the apply button while off only exports */
        s.OnExported(TRUE);
        CHECK(r.log == Log{"export"});
    }
    SECTION("apply while on re-exports and re-applies")
    {
        s.Toggle();
        s.OnExported(TRUE);
        r.log.clear();
        s.Apply();
        s.OnExported(TRUE);
        CHECK(r.log == Log{"export", "apply on", "switch on"});
    }
}

TEST_CASE("the title style's defaults", "[titles][style]")
{
    TitleStyle s = DefaultTitleStyle();
    /* "ＭＳ ゴシック" as code page 932 bytes. */
    const unsigned char face[] = {0x82, 0x6C, 0x82, 0x72, 0x20, 0x83, 0x53, 0x83, 0x56, 0x83, 0x62, 0x83, 0x4E};
    REQUIRE(s.face.size() == sizeof face);
    CHECK(memcmp(s.face.data(), face, sizeof face) == 0);
    CHECK(s.size == 14);
    CHECK((s.bold | s.italic | s.underline | s.outline | s.orientation | s.alignment | s.shadowType | s.back) == 0);
    CHECK(s.outWidth == 1);
    CHECK(s.lineSpace == 100);
    CHECK(s.shadowX == 3);
    CHECK(s.shadowY == 3);
    CHECK(s.textColour == 0x000000);
    CHECK(s.outColour == 0xFFFFFF);
    CHECK(s.shadowColour == 0x7F7F7F);
    CHECK(s.backColour == 0xFFFFFF);
    CHECK(s.backAlpha == 50);
    /* The face reaches the control as the Japanese name. */
    BSTR b = TextToBstr(s.face, kStyleCodePage);
    const WCHAR expected[] = {0xFF2D, 0xFF33, 0x20, 0x30B4, 0x30B7, 0x30C3, 0x30AF};
    REQUIRE(SysStringLen(b) == 7);
    CHECK(memcmp(b, expected, sizeof expected) == 0);
    CHECK(BstrToText(b, kStyleCodePage) == s.face);
    SysFreeString(b);
}

namespace {

struct PaletteFixture {
    cl::CProfile profile{"Software\\CorvaneTests\\Palette"};
    PatternPalette p;
    std::vector<int> pages;
    std::vector<std::pair<int, int>> selects;
    PaletteFixture(bool clear = true)
    {
        if (clear) profile.DeleteAll();
        p.profile = &profile;
        p.onPage = [this](int page) { pages.push_back(page); };
        p.onSelect = [this](int a, int b) { selects.push_back({a, b}); };
        p.Setup(44);
        p.LoadFavourites();
    }
    int Stored(int slot) const { return profile.GetInt("FavoritePatterns", cl::Format("Pattern_%d", slot).c_str(), -99); }
};

} // namespace

TEST_CASE("the palette has four pages of twelve for 44 patterns", "[palette][pages]")
{
    PaletteFixture f;
    CHECK(f.p.PageCount() == 4);
    struct { int n, pages; } counts[] = {{0, 0}, {1, 1}, {12, 1}, {13, 2}, {24, 2}, {44, 4}, {48, 4}, {49, 5}};
    for (auto c : counts) {
        PatternPalette q;
        q.Setup(c.n);
        INFO(c.n << " patterns");
        CHECK(q.PageCount() == c.pages);
    }
    f.p.ShowPage(3);
    for (int i = 0; i < 44; ++i) {
        INFO("pattern " << i);
        CHECK(f.p.Visible(i) == (i >= 36));
    }
    f.p.PageDown();
    CHECK(f.p.Page() == 3);   /* DOWN on the last page stays */
    f.p.PageUp();
    CHECK(f.p.Page() == 2);
    f.p.PageZero();
    CHECK(f.p.Page() == 0);
    f.p.PageUp();
    CHECK(f.p.Page() == 0);
    f.p.ShowPage(9);
    CHECK(f.p.Page() == 3);
}

TEST_CASE("selecting from the menu makes the pattern current and shows its page", "[palette][select]")
{
    PaletteFixture f;
    f.p.OnMenu(30);
    CHECK(f.p.Current() == 30);
    CHECK(f.p.Page() == 2);
    CHECK(f.selects.back() == std::make_pair(0, 30));
    f.p.OnMenu(44);   /* past the patterns: nothing */
    f.p.OnMenu(-1);
    CHECK(f.p.Current() == 30);
    /* A thumbnail's message selects by its id. */
    f.p.OnThumbMessage(IDC_PATTERN_FIRST + 7, 7);
    CHECK(f.p.Current() == 7);
    CHECK(f.selects.back() == std::make_pair(30, 7));
}

TEST_CASE("favourite slots: drops, clicks, double clicks and the profile", "[palette][favourites]")
{
    {
        PaletteFixture f;
        for (int k = 0; k < 5; ++k) CHECK(f.p.SlotPattern(k) == -1);
        /* Pattern 7 onto slot 3. */
        CHECK(f.p.DropOnSlot(2, 7));
        CHECK(f.p.SlotPattern(2) == 7);
        CHECK(f.p.SlotLit(2));
        CHECK(f.Stored(3) == 7);
        /* Pattern 7 onto slot 5 afterwards changes nothing. */
        CHECK_FALSE(f.p.DropOnSlot(4, 7));
        CHECK(f.p.SlotPattern(4) == -1);
        CHECK(f.Stored(5) == -99);
        /* Slot 2 holding 25, clicked: 25 current, slot 2 alone lit, page 2. */
        CHECK(f.p.DropOnSlot(1, 25));
        f.p.OnSlotMessage(IDC_FAVOURITE_FIRST + 1, 25);
        CHECK(f.p.Current() == 25);
        CHECK(f.p.Page() == 2);
        for (int k = 0; k < 5; ++k) CHECK(f.p.SlotLit(k) == (k == 1));
        /* The thumbnail message lights the slots holding its pattern. */
        f.p.OnThumbMessage(IDC_PATTERN_FIRST + 7, 7);
        for (int k = 0; k < 5; ++k) CHECK(f.p.SlotLit(k) == (k == 2));
        /* Out-of-range drops are refused. */
        CHECK_FALSE(f.p.DropOnSlot(0, 44));
        CHECK_FALSE(f.p.DropOnSlot(0, -1));
        CHECK_FALSE(f.p.DropOnSlot(5, 3));
    }
    {
        /* A restart reads the slots back. */
        PaletteFixture f(false);
        CHECK(f.p.SlotPattern(2) == 7);
        CHECK(f.p.SlotPattern(1) == 25);
        CHECK(f.p.SlotPattern(0) == -1);
        /* Double-clicking slot 3 empties it and stores -1. */
        f.p.ClearSlot(2);
        CHECK(f.p.SlotPattern(2) == -1);
        CHECK(f.Stored(3) == -1);
        /* Clicking the empty slot does nothing; a message with -1 neither. */
        int before = f.p.Current();
        size_t pages = f.pages.size();
        f.p.OnSlotMessage(IDC_FAVOURITE_FIRST + 2, 7);
        f.p.OnSlotMessage(IDC_FAVOURITE_FIRST + 1, -1);
        CHECK(f.p.Current() == before);
        CHECK(f.pages.size() == pages);
    }
    {
        /* Stored indexes the engine does not have stay empty. */
        cl::CProfile profile{"Software\\CorvaneTests\\Palette"};
        profile.WriteInt("FavoritePatterns", "Pattern_4", 44);
        profile.WriteInt("FavoritePatterns", "Pattern_5", 43);
        PaletteFixture f(false);
        CHECK(f.p.SlotPattern(3) == -1);
        CHECK(f.p.SlotPattern(4) == 43);
        f.profile.DeleteAll();
    }
}

TEST_CASE("the drag text carries the pattern before the first dot", "[palette][drag]")
{
    CHECK(PatternDragText(7, 508) == "7.508");
    struct { const char *text; size_t size; int pattern; } rows[] = {
        {"7.508", 6, 7}, {"43.544", 7, 43}, {"0.501", 6, 0}, {"12", 3, 12}, {".501", 5, -1}, {"", 1, -1},
        {"x7.5", 5, -1}, {"99999999999.1", 14, -1}, {"7.508", 1, 7}, {"17", 1, 1},
    };
    for (auto r : rows) {
        INFO(r.text << " size " << r.size);
        CHECK(PatternFromDragText(r.text, r.size) == r.pattern);
    }
    CHECK(PatternFromDragText(nullptr, 4) == -1);
}

namespace {

/* A folder of title files and others, removed afterwards. */
struct TitleFolder {
    std::string root;
    TitleFolder()
    {
        char tmp[MAX_PATH];
        GetTempPathA(MAX_PATH, tmp);
        root = std::string(tmp) + cl::Format("titlelist%lu", GetCurrentProcessId());
        CreateDirectoryA(root.c_str(), nullptr);
    }
    ~TitleFolder() { Remove(root); }
    void File(const std::string &name, DWORD attributes = FILE_ATTRIBUTE_NORMAL)
    {
        std::string p = root + "\\" + name;
        HANDLE h = CreateFileA(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(h);
        SetFileAttributesA(p.c_str(), attributes);
    }
    void Dir(const std::string &name, DWORD attributes = 0)
    {
        std::string p = root + "\\" + name;
        CreateDirectoryA(p.c_str(), nullptr);
        if (attributes) SetFileAttributesA(p.c_str(), attributes | FILE_ATTRIBUTE_DIRECTORY);
    }
    static void Remove(const std::string &dir)
    {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::string n = fd.cFileName;
                if (n == "." || n == "..") continue;
                std::string p = dir + "\\" + n;
                SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Remove(p);
                else DeleteFileA(p.c_str());
            } while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryA(dir.c_str());
    }
};

std::vector<std::string> Names(const std::vector<TitleFolderEntry> &entries, bool folders)
{
    std::vector<std::string> out;
    for (const auto &e : entries)
        if (e.folder == folders) out.push_back(e.name);
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST_CASE("the title file list: folders by their directory bit, title files by extension", "[filelist]")
{
    TitleFolder f;
    f.File("plain.lmf", FILE_ATTRIBUTE_NORMAL);
    f.File("readonly.lmf", FILE_ATTRIBUTE_READONLY);
    f.File("archived.LMF", FILE_ATTRIBUTE_ARCHIVE);
    f.File("hidden.lmf", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    f.File("notes.txt", FILE_ATTRIBUTE_ARCHIVE);
    f.File("title.lmf.bak", FILE_ATTRIBUTE_ARCHIVE);
    f.File("xlmf", FILE_ATTRIBUTE_ARCHIVE);
    f.File("ronly", FILE_ATTRIBUTE_READONLY);   /* read-only is not a folder */
    f.Dir("sub");
    f.Dir("locked", FILE_ATTRIBUTE_READONLY);
    f.Dir("folder.lmf");

    auto entries = ListTitleFolder(f.root);
    CHECK(Names(entries, true) == std::vector<std::string>{"..", "folder.lmf", "locked", "sub"});
    auto files = Names(entries, false);
    /* Hidden files may or may not be listed by the system; the rest must be exact. */
    files.erase(std::remove(files.begin(), files.end(), std::string("hidden.lmf")), files.end());
    CHECK(files == std::vector<std::string>{"archived.LMF", "plain.lmf", "readonly.lmf"});
    /* ".." heads the list; folders come before files. */
    REQUIRE(!entries.empty());
    CHECK(entries[0].name == "..");
    bool seenFile = false;
    for (const auto &e : entries) {
        if (!e.folder) seenFile = true;
        else CHECK_FALSE(seenFile);
    }
    /* A folder that does not exist lists nothing. */
    CHECK(ListTitleFolder(f.root + "\\missing").empty());
}

TEST_CASE("the title file list's folder steps and column", "[filelist][navigation]")
{
    struct { const char *folder, *up; } ups[] = {
        {"C:\\a\\b", "C:\\a"}, {"C:\\a", "C:\\"}, {"C:\\", "C:\\"}, {"c:\\x\\", "c:\\"}, {"D:", "D:\\"},
    };
    for (auto u : ups) {
        INFO(u.folder);
        CHECK(TitleFolderUp(u.folder) == u.up);
    }
    CHECK(TitleFolderInto("c:\\", "titles") == "c:\\titles");
    CHECK(TitleFolderInto("c:\\titles", "today") == "c:\\titles\\today");
    CHECK(TitleListColumnWidth(9) == 296);
    CHECK(TitleListColumnWidth(10) == 280);
}
