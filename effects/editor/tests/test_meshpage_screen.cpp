// The "3D Effects" page on a real display: the mesh effects of a plug-in
// of the tests (pictureplug.iMFEffect, one square that grows) shown as
// animated picons drawn with OpenGL, a real click opening the effect's
// group of saved effects (kept in the store library's file), and a click
// on a saved effect laying its mesh onto the object with the chosen
// placement.  Mesh support is read once per process: a program of its own.
#include <catch2/catch.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "editor_host.h"
#include "fxmeshsel.h"

using namespace fxtest;

namespace {

const GUID kSquare = {5, 0x4d45, 0x5348, {0x80, 0, 0, 0, 0, 0, 0, 0x42}};

std::string Text(HWND w)
{
    char text[128] = "";
    GetWindowTextA(w, text, sizeof text);
    return text;
}

// The picture's orange face pixels (the face sample of the picons).
int OrangePixels(const Shot &s)
{
    int n = 0;
    for (unsigned p : s.px) {
        const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        n += r > 150 && r > b + 80 && g > b;
    }
    return n;
}

// A saved mesh effect's FX script: two keyframes of the square's warp
// with Amount a0 and a1.
std::string SavedScript(double a0, double a1)
{
    char text[600];
    std::snprintf(text, sizeof text,
                  "Path 1: Keyframe 1.1 { at frame 1 Warp: flags 0, mode 0 guid_data1 5 guid_data2 19781"
                  " guid_data3 21320 guid_data4 128 guid_data5 1107296256, param1 %.2f }"
                  " Keyframe 1.2 { at frame 6 Warp: flags 0, mode 0 guid_data1 5 guid_data2 19781"
                  " guid_data3 21320 guid_data4 128 guid_data5 1107296256, param1 %.2f }",
                  a0, a1);
    return text;
}

typedef int(__cdecl *SetFileProc)(const char *);
typedef int(__cdecl *SetDataProc)(int, int, const char *, const void *, int);

// A store file holding two saved effects of the square (slots 3 and 8).
std::string WriteStore(const std::string &folder)
{
    const std::string path = folder + "\\meshes.reg";
    DeleteFileA(path.c_str());
    HMODULE dll = LoadLibraryA((BinDir() + "tallyset.dll").c_str());
    REQUIRE(dll);
    auto setFile = reinterpret_cast<SetFileProc>(reinterpret_cast<void *>(GetProcAddress(dll, "RegSetFile")));
    auto setData = reinterpret_cast<SetDataProc>(reinterpret_cast<void *>(GetProcAddress(dll, "RegSetData")));
    REQUIRE(setFile);
    REQUIRE(setData);
    REQUIRE(setFile(path.c_str()));
    const struct {
        int slot;
        const char *name;
        double a0, a1;
    } saved[] = {{3, "Grow", 0.05, 0.3}, {8, "Shrink", 0.3, 0.1}};
    for (const auto &s : saved) {
        const std::string text = SavedScript(s.a0, s.a1);
        std::string record(reinterpret_cast<const char *>(&kSquare), 16);
        record += '\0';
        record += text;
        REQUIRE(setData(MESH_STORE_KIND, s.slot, s.name, record.data(), int(record.size())));
    }
    return path;
}

// A folder of its own holding the plug-in, made the current directory
// (the registry scans it when the mesh effects are switched on).
std::string PlugFolder()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "fxmeshpage" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    REQUIRE(CopyFileA((BinDir() + "pictureplug.iMFEffect").c_str(), (folder + "\\pictureplug.iMFEffect").c_str(),
                      FALSE));
    REQUIRE(SetCurrentDirectoryA(folder.c_str()));
    return folder;
}

HWND TabWithCaption(EditorHost &e, const std::string &caption)
{
    for (int id = 260; id < 260 + 32; ++id) {
        HWND t = e.Control(id);
        if (!t) break;
        const std::string text = Text(t);
        const size_t at = text.rfind('`');
        if ((at == std::string::npos ? text : text.substr(at + 1)) == caption) return t;
    }
    return nullptr;
}

bool PiconDrawn(HWND button)
{
    return PumpUntil([&] { return OrangePixels(TakeShot(button)) > 20; }, 8000);
}

std::vector<unsigned> WarpsOf(FxPath *p)
{
    std::vector<unsigned> w;
    FxKeyframe *k = p->head;
    do {
        w.push_back(unsigned(k->warpId.Data1));
        k = k->next;
    } while (k != p->head);
    return w;
}

}  // namespace

TEST_CASE("The 3D Effects page shows animated picons and applies a saved mesh effect", "[editor][screen][mesh]")
{
    REQUIRE(Library());
    const std::string folder = PlugFolder();
    EditorHost e(0);
    e.host.iniPath = WriteIni("meshpage.ini", "[Cubby Test]\r\nFXRDoesMeshes=TRUE\r\nFXRDoesRealtime=FALSE\r\n");
    e.host.regPath = WriteStore(folder);
    e.script = "Path 1: Keyframe 1.1 { at frame 1 } Keyframe 1.2 { at frame 10 }"
               " Path 2: Keyframe 2.1 { at frame 1 } Keyframe 2.2 { at frame 10 }";
    REQUIRE(e.Open());
    HWND tab = TabWithCaption(e, "3D Effects");
    REQUIRE(tab);
    Click(tab);
    HWND first = nullptr;
    REQUIRE(PumpUntil([&] { return (first = e.Control(MESH_PICON_FIRST)) != nullptr; }));
    HWND page = GetParent(first);
    CHECK(Text(GetDlgItem(page, MESH_TITLE)) == "3D Mesh Effects");
    // The list of groups hides the options.
    CHECK_FALSE(IsWindowVisible(GetDlgItem(page, MESH_BACK)));
    CHECK_FALSE(IsWindowVisible(GetDlgItem(page, MESH_OVER)));

    // The plug-in's effect is drawn on the first picon; the rest are empty.
    REQUIRE(PiconDrawn(first));
    CHECK(OrangePixels(TakeShot(GetDlgItem(page, MESH_PICON_FIRST + 1))) == 0);
    // It grows and shrinks between its presets: the picture changes.
    const int area = OrangePixels(TakeShot(first));
    CHECK(PumpUntil([&] { return std::abs(OrangePixels(TakeShot(first)) - area) > 30; }, 8000));
    SaveShot(e.frame, "editor_mesh_picons.bmp");

    // A real click on the picon opens the effect's saved effects.
    Click(first);
    REQUIRE(PumpUntil([&] { return Text(GetDlgItem(page, MESH_TITLE)) == "Square Wave"; }));
    CHECK(IsWindowVisible(GetDlgItem(page, MESH_BACK)));
    CHECK(IsDlgButtonChecked(page, MESH_END) == BST_CHECKED);
    CHECK(IsDlgButtonChecked(page, MESH_ANIMATE) == BST_CHECKED);
    REQUIRE(PiconDrawn(GetDlgItem(page, MESH_PICON_FIRST + 1)));
    CHECK(OrangePixels(TakeShot(GetDlgItem(page, MESH_PICON_FIRST + 2))) == 0);
    SaveShot(e.frame, "editor_mesh_saved.bmp");

    FxEffect *fx = e.Effect();
    REQUIRE(fx);
    REQUIRE(fx->current);
    FxPath *object = fx->current;
    FxPath *other = object == fx->first ? fx->first->next : fx->first;
    REQUIRE(other);

    SECTION("Over: the saved mesh lies on the object's own keyframes, with one undo step")
    {
        Click(GetDlgItem(page, MESH_OVER));
        CHECK(IsDlgButtonChecked(page, MESH_OVER) == BST_CHECKED);
        const int undo = fx->undoCount;
        Click(GetDlgItem(page, MESH_PICON_FIRST + 1));   // "Shrink"
        REQUIRE(PumpUntil([&] { return WarpsOf(object) == std::vector<unsigned>{5, 5}; }));
        CHECK(object->head->warpParams[0] == Approx(0.3));
        CHECK(object->head->next->warpParams[0] == Approx(0.1));
        CHECK(WarpsOf(other) == std::vector<unsigned>{0, 0});
        CHECK(fx->undoCount == undo + 1);
        // Undo takes the mesh off again.
        CHECK(EditorUndo(e.Inst()));
        CHECK(PumpUntil([&] {
            FxEffect *now = e.Effect();
            return now && now->current && WarpsOf(now->current) == std::vector<unsigned>{0, 0};
        }));
    }
    SECTION("Apply All at the end: every object gets the mesh keyframes after its path")
    {
        Click(GetDlgItem(page, MESH_APPLY_ALL));
        CHECK(IsDlgButtonChecked(page, MESH_APPLY_ALL) == BST_CHECKED);
        CHECK(IsWindowEnabled(GetDlgItem(page, MESH_STAGGER)));
        Click(GetDlgItem(page, MESH_PICON_FIRST));   // "Grow"
        REQUIRE(PumpUntil([&] { return WarpsOf(fx->first).size() == 4; }));
        for (FxPath *p = fx->first; p; p = p->next) {
            CHECK(WarpsOf(p) == std::vector<unsigned>{0, 0, 5, 5});
            CHECK(p->head->next->next->warpParams[0] == Approx(0.05));
            CHECK(p->head->next->next->startFrame > p->head->next->startFrame);
        }
    }
    SECTION("Go Back returns to the list of mesh effects")
    {
        Click(GetDlgItem(page, MESH_BACK));
        CHECK(PumpUntil([&] { return Text(GetDlgItem(page, MESH_TITLE)) == "3D Mesh Effects"; }));
        CHECK_FALSE(IsWindowVisible(GetDlgItem(page, MESH_BACK)));
        CHECK(PiconDrawn(first));
        CHECK(WarpsOf(object) == std::vector<unsigned>{0, 0});
    }
    SetCurrentDirectoryA(BinDir().c_str());
}
