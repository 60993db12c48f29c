// The editor inside a host's window: a host loads Tarvofx.dll, opens the
// editor in a window of its own, drives value and menu commands through
// messages, checks the effect, the undo steps and the settings file, and
// closes the editor again.  The state commands that need no windows are
// called on the library linked into the test.
#include <catch2/catch.hpp>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fxeditor.h"
#include "fxhost_host.h"
#include "msgbox_capture.h"

using namespace fxtest;

namespace {

HWND MakeHostWindow()
{
    return CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 640, 480, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
}

std::string ClassOf(HWND w)
{
    char name[64] = "";
    GetClassNameA(w, name, sizeof name);
    return name;
}

std::string ReadAll(const std::string &path)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) return "";
    std::string out;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
    CloseHandle(f);
    return out;
}

BOOL CALLBACK CountOne(HWND, LPARAM p)
{
    ++*reinterpret_cast<int *>(p);
    return TRUE;
}

int CountThreadWindows()
{
    int n = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountOne, reinterpret_cast<LPARAM>(&n));
    return n;
}

// A host with the library loaded by file name, attached, with an effect
// and an editor opened in `window`.
// FXN_COMMAND as a host sends it: {command id, lParam}.
INT_PTR Command(fxtest::TestHost &host, uintptr_t id)
{
    uintptr_t record[2] = {id, 0};
    return host.Send(FXN_COMMAND, 0, record);
}

struct EditorHost {
    TestHost host;
    HWND window = nullptr;
    HWND toolParent = nullptr;
    explicit EditorHost(uint32_t personality = 1, const std::string &ini = "")
        : host("Cubby Test", true)
    {
        host.Number(personality);
        if (!ini.empty()) host.iniPath = ini;
        window = MakeHostWindow();
        toolParent = MakeHostWindow();
        host.self.node.window = toolParent;
    }
    ~EditorHost()
    {
        host.Send(FXN_CLOSE);
        host.Detach();
        DestroyWindow(window);
        DestroyWindow(toolParent);
    }
    bool Open()
    {
        if (host.Attach() != 1) return false;
        host.Send(FXN_LOAD_EFFECT, WPARAM(-1));
        HWND parent = window;
        return host.Send(FXN_PREPARE_EDITOR, 0, &parent) == 1;
    }
    FxInstance *Inst() { return host.Instance(); }
    FxKeyframe *Keyframe()
    {
        FxEffect *fx = FxCurrentEffect(Inst());
        return fx && fx->current ? fx->current->current : nullptr;
    }
    // A value typed into an edit and handed to the tool dialog as its
    // control's notification.
    void Value(int id, const char *text)
    {
        HWND edit = CreateWindowExA(0, "EDIT", text, WS_CHILD, 0, 0, 10, 10, window, nullptr, nullptr, nullptr);
        SendMessageA(host.lib.toolWindow, WM_COMMAND, MAKEWPARAM(id, EN_KILLFOCUS), reinterpret_cast<LPARAM>(edit));
        DestroyWindow(edit);
    }
};

}  // namespace

TEST_CASE("The editor opens inside the host's window with its bar, main window and tool dialog", "[editor][setup]")
{
    REQUIRE(Library());
    const int before = CountThreadWindows();
    {
        EditorHost e(1);
        REQUIRE(e.Open());
        FxInstance *inst = e.Inst();
        REQUIRE(inst);
        HWND bind = e.host.lib.window;
        REQUIRE(IsWindow(bind));
        CHECK(ClassOf(bind) == "TarvoDVE:BIND");
        CHECK(GetParent(bind) == e.window);
        CHECK((GetWindowLongA(bind, GWL_STYLE) & (WS_CHILD | WS_CLIPCHILDREN)) == (WS_CHILD | WS_CLIPCHILDREN));
        CHECK(GetWindowLongPtrA(bind, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(inst));
        CHECK(inst->bindWindow == bind);

        // The bar under the main window, together the bind window's area.
        REQUIRE(IsWindow(inst->mainWindow));
        REQUIRE(IsWindow(inst->barDialog));
        CHECK(ClassOf(inst->mainWindow) == "TarvoFX:MAIN");
        CHECK(GetParent(inst->mainWindow) == bind);
        CHECK(GetParent(inst->barDialog) == bind);
        CHECK(GetWindowLongPtrA(inst->mainWindow, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(inst));
        RECT host, main, bar;
        GetClientRect(e.window, &host);
        GetWindowRect(inst->mainWindow, &main);
        GetWindowRect(inst->barDialog, &bar);
        CHECK(main.right - main.left == host.right);
        // The DVE personality lays its bar out in a row (option bit 28):
        // the bar under the view, the view over the rest.
        CHECK((main.bottom - main.top) + (bar.bottom - bar.top) == host.bottom);
        CHECK(bar.top == main.bottom);
        for (int id : {3081, 3086, 3082, 3130, 3136, 3137, 3138, 3139, 3140, 3143}) CHECK(GetDlgItem(inst->barDialog, id));
        char go[16] = "";
        GetDlgItemTextA(inst->barDialog, 3081, go, sizeof go);
        CHECK(std::string(go) == "Go!");

        // The tool dialog in the host's window, the page offered.
        HWND tools = e.host.lib.toolWindow;
        REQUIRE(IsWindow(tools));
        CHECK(IsChild(e.toolParent, tools));
        REQUIRE(e.host.Count(FXN_ADD_PAGE) == 1);
        // The frame shows the current frame.
        CHECK(GetDlgItemInt(inst->barDialog, 3130, nullptr, FALSE) == 1);

        // A second open of the same node keeps the windows.
        HWND parent = e.window;
        CHECK(e.host.Send(FXN_PREPARE_EDITOR, 0, &parent) == 1);
        CHECK(e.host.lib.window == bind);

        CHECK(e.host.Send(FXN_CLOSE) == 1);
        CHECK_FALSE(IsWindow(bind));
        CHECK_FALSE(IsWindow(tools));
        CHECK(inst->mainWindow == nullptr);
        CHECK(inst->barDialog == nullptr);
        CHECK(e.host.lib.window == nullptr);
        CHECK(e.host.lib.toolWindow == nullptr);
        // Detach after close works.
        CHECK(e.host.Detach() == 1);
    }
    // No window of the editor is left behind.
    CHECK(CountThreadWindows() == before);
}

TEST_CASE("Two editors share the main class; the last close gives it back", "[editor][setup]")
{
    REQUIRE(Library());
    WNDCLASSA wc;
    {
        EditorHost a(1), b(2);
        REQUIRE(a.Open());
        REQUIRE(b.Open());
        CHECK(GetClassInfoA(Library(), "TarvoFX:MAIN", &wc));
        CHECK(ClassOf(b.host.lib.window) == "TarvoWishkit:BIND");
        CHECK(a.Inst()->mainWindow != b.Inst()->mainWindow);
        a.host.Send(FXN_CLOSE);
        CHECK(GetClassInfoA(Library(), "TarvoFX:MAIN", &wc));
        CHECK(IsWindow(b.Inst()->mainWindow));
        b.host.Send(FXN_CLOSE);
        CHECK_FALSE(GetClassInfoA(Library(), "TarvoFX:MAIN", &wc));
    }
    // Detach with the editor still open closes it.
    {
        EditorHost c(1);
        REQUIRE(c.Open());
        HWND bind = c.host.lib.window;
        CHECK(c.host.Detach() == 1);
        CHECK_FALSE(IsWindow(bind));
    }
    CHECK_FALSE(GetClassInfoA(Library(), "TarvoFX:MAIN", &wc));
}

TEST_CASE("A host that embeds the editor gets the pad's plus and minus", "[editor][setup]")
{
    REQUIRE(Library());
    for (uint32_t kind : {0u, 0x2C930000u}) {
        TestHost host("Cubby Test", true);
        host.Number(1, kind);
        REQUIRE(host.Attach() == 1);
        // No placement answered: no editor, but the node has its keys.
        CHECK(host.Send(FXN_CREATE_EDITOR) == 0);
        REQUIRE(host.lib.accelerators);
        ACCEL rows[64];
        const int n = CopyAcceleratorTableA(host.lib.accelerators, rows, 64);
        int add = 0, sub = 0;
        for (int i = 0; i < n; ++i) {
            if (rows[i].cmd == 3141 && rows[i].key == VK_ADD && (rows[i].fVirt & FVIRTKEY)) ++add;
            if (rows[i].cmd == 3142 && rows[i].key == VK_SUBTRACT && (rows[i].fVirt & FVIRTKEY)) ++sub;
        }
        CHECK(add == (kind ? 1 : 0));
        CHECK(sub == (kind ? 1 : 0));
        host.Send(FXN_CLOSE);
        host.Detach();
    }
}

TEST_CASE("A window that cannot be made is reported and nothing is left", "[editor][setup]")
{
    REQUIRE(Library());
    TestHost host("Cubby Test", true);
    host.Number(1);
    REQUIRE(host.Attach() == 1);
    MsgBoxCapture boxes;
    HWND gone = MakeHostWindow();
    DestroyWindow(gone);
    HWND parent = gone;
    CHECK(host.Send(FXN_PREPARE_EDITOR, 0, &parent) == 0);
    REQUIRE(boxes.count() == 1);
    CHECK(boxes.boxes()[0].caption == "DVE");
    CHECK(host.lib.window == nullptr);
    CHECK(host.Instance()->mainWindow == nullptr);
    CHECK(host.Detach() == 1);
}

TEST_CASE("Value commands change the keyframe; undo and redo step through them", "[editor][values]")
{
    REQUIRE(Library());
    const std::string ini = WriteIni("fxeditor_values.ini", "[Cubby Test]\r\n");
    EditorHost e(1, ini);
    REQUIRE(e.Open());
    FxKeyframe *k = e.Keyframe();
    REQUIRE(k);
    const double x0 = k->position[0];

    e.Value(3230, "12");
    CHECK(e.Keyframe()->position[0] == Approx(12));
    e.Value(3245, "90");
    CHECK(e.Keyframe()->rotation[0] == Approx(3.14159265 / 2).epsilon(1e-6));
    CHECK(FxCurrentEffect(e.Inst())->flags & 0x10);  // changed
    CHECK(e.host.Count(FXN_CHANGED) >= 1);

    // Undo goes back one change at a time through the menu command.
    CHECK(Command(e.host, FX_ID_UNDO) == 1);
    CHECK(e.Keyframe()->rotation[0] == Approx(0).margin(1e-9));
    CHECK(e.Keyframe()->position[0] == Approx(12));
    SendMessageA(e.Inst()->mainWindow, WM_COMMAND, FX_ID_UNDO, 0);
    CHECK(e.Keyframe()->position[0] == Approx(x0));
    // Nothing more to undo: the effect stays.
    SendMessageA(e.Inst()->mainWindow, WM_COMMAND, FX_ID_UNDO, 0);
    CHECK(e.Keyframe()->position[0] == Approx(x0));
    // Redo twice, the third finds nothing.
    Command(e.host, FX_ID_REDO);
    CHECK(e.Keyframe()->position[0] == Approx(12));
    Command(e.host, FX_ID_REDO);
    CHECK(e.Keyframe()->rotation[0] == Approx(3.14159265 / 2).epsilon(1e-6));
    Command(e.host, FX_ID_REDO);
    CHECK(e.Keyframe()->rotation[0] == Approx(3.14159265 / 2).epsilon(1e-6));

    // A new change after an undo drops the redo list.
    Command(e.host, FX_ID_UNDO);
    e.Value(3235, "-4");
    CHECK(e.Keyframe()->position[1] == Approx(-4));
    Command(e.host, FX_ID_REDO);
    CHECK(e.Keyframe()->rotation[0] == Approx(0).margin(1e-9));

    // The same value again is no new step.
    const int32_t count = FxCurrentEffect(e.Inst())->undoCount;
    e.Value(3235, "-4");
    CHECK(FxCurrentEffect(e.Inst())->undoCount == count);

    // An id the panel does not know goes to the main window: undo.
    e.Value(FX_ID_UNDO, "");
    CHECK(e.Keyframe()->position[1] == Approx(0).margin(1e-9));
}

TEST_CASE("Keyframe start frames stay between the neighbours", "[editor][values]")
{
    REQUIRE(Library());
    EditorHost e(1);
    REQUIRE(e.Open());
    FxKeyframe *k = e.Keyframe();
    REQUIRE(k);
    const int start = k->startFrame;
    // A single keyframe: from 1 up to 60000.
    e.Value(3155, "0");
    CHECK(e.Keyframe()->startFrame == start);
    e.Value(3155, "60001");
    CHECK(e.Keyframe()->startFrame == start);
    e.Value(3155, "40");
    CHECK(e.Keyframe()->startFrame == 40);
    e.Value(3160, "7");
    CHECK(e.Keyframe()->delay == 7);
    // The keyframe positioners show it in their edits.
    HWND tools = e.host.lib.toolWindow;
    CHECK(GetDlgItemInt(tools, 3156, nullptr, FALSE) == 40);
    CHECK(GetDlgItemInt(tools, 3161, nullptr, FALSE) == 7);
}

TEST_CASE("View flags reach the settings file when they change", "[editor][settings]")
{
    REQUIRE(Library());
    const std::string ini = WriteIni("fxeditor_view.ini", "[Cubby Test]\r\nOther=1\r\n");
    EditorHost e(1, ini);
    REQUIRE(e.Open());
    const std::string opened = ReadAll(ini);
    CHECK(opened.find("ViewSettings") == std::string::npos);
    e.Inst()->viewFlags ^= 0x10;
    if (FxCurrentEffect(e.Inst())->view) FxCurrentEffect(e.Inst())->view->flags ^= 0x10;
    e.Value(3230, "3");
    const uint32_t flags = e.Inst()->viewFlags;
    char expected[128];
    std::snprintf(expected, sizeof expected, "[Cubby Test]\r\nOther=1\r\nViewSettings=0x%08x\r\n", flags);
    CHECK(ReadAll(ini) == expected);
}

TEST_CASE("SaveViewSetting writes each key in its own form", "[editor][settings]")
{
    const std::string ini = WriteIni("fxeditor_keys.ini", "");
    TestHost host("Cubby Test");
    host.iniPath = ini;
    REQUIRE(host.Attach() == 1);
    FxInstance *inst = host.Instance();
    lstrcpynA(inst->iniPath, ini.c_str(), sizeof inst->iniPath);
    struct Row {
        int which, value;
        const char *key, *text;
    } rows[] = {
        {1, -1, "DefaultInsert", "Before"}, {1, 5, "DefaultInsert", "After"},  {1, 0, "DefaultInsert", "At"},
        {2, 0x1234, "ViewSettings", "0x00001234"}, {2, -1, "ViewSettings", "0xffffffff"},
        {4, 1, "InvertFields", "TRUE"},     {4, 0, "InvertFields", "FALSE"},   {9, -3, "CropMode", "-3"},
        {10, 2, "WarpDelay", "TRUE"},       {11, 40, "SoftBorder", "40"},      {12, 0, "Meshable", "FALSE"},
    };
    for (const Row &r : rows) {
        CAPTURE(r.which, r.value);
        CHECK(SaveViewSetting(inst, r.which, r.value) == 1);
        char got[64] = "";
        GetPrivateProfileStringA("Cubby Test", r.key, "", got, sizeof got, ini.c_str());
        CHECK(std::string(got) == r.text);
    }
    const std::string before = ReadAll(ini);
    for (int which : {3, 5, 6, 7, 8, 13, 0, -1}) CHECK(SaveViewSetting(inst, which, 1) == 0);
    CHECK(ReadAll(ini) == before);
    // Byte-exact: one key per line in the host's section.
    CHECK(before ==
          "[Cubby Test]\r\nDefaultInsert=At\r\nViewSettings=0xffffffff\r\nInvertFields=FALSE\r\nCropMode=-3\r\n"
          "WarpDelay=TRUE\r\nSoftBorder=40\r\nMeshable=FALSE\r\n");
    host.Detach();
}

TEST_CASE("CleanMenu removes stray separators and empty pop-ups", "[editor][menus]")
{
    HMENU bar = CreateMenu();
    HMENU edit = CreatePopupMenu();
    AppendMenuA(edit, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(edit, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(bar, MF_POPUP, UINT_PTR(edit), "Edit");
    HMENU view = CreatePopupMenu();
    AppendMenuA(view, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(view, MF_STRING, 1, "a");
    AppendMenuA(view, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(view, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(view, MF_STRING, 2, "b");
    AppendMenuA(view, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(bar, MF_POPUP, UINT_PTR(view), "View");
    CHECK(CleanMenu(bar) == 1);
    REQUIRE(GetMenuItemCount(bar) == 1);
    char name[16] = "";
    GetMenuStringA(bar, 0, name, sizeof name, MF_BYPOSITION);
    CHECK(std::string(name) == "View");
    HMENU left = GetSubMenu(bar, 0);
    REQUIRE(GetMenuItemCount(left) == 3);
    CHECK(GetMenuItemID(left, 0) == 1);
    CHECK((GetMenuState(left, 1, MF_BYPOSITION) & MF_SEPARATOR) != 0);
    CHECK(GetMenuItemID(left, 2) == 2);
    HMENU empty = CreatePopupMenu();
    CHECK(CleanMenu(empty) == -1);
    DestroyMenu(empty);
    DestroyMenu(bar);
}

TEST_CASE("Task-modal marks disable windows and bring back only those that were enabled", "[editor][menus]")
{
    HWND on = MakeHostWindow(), off = MakeHostWindow();
    EnableWindow(off, FALSE);
    TaskModalEnumProc(on, 0);
    TaskModalEnumProc(off, 0);
    CHECK_FALSE(IsWindowEnabled(on));
    // Nested: a second dialog marks the now disabled window again.
    TaskModalEnumProc(on, 0);
    TaskModalEnumProc(on, 1);
    CHECK_FALSE(IsWindowEnabled(on));
    TaskModalEnumProc(on, 1);
    CHECK(IsWindowEnabled(on));
    CHECK_FALSE(GetPropA(on, "Halvard- enumTaskModalProp"));
    TaskModalEnumProc(off, 1);
    CHECK_FALSE(IsWindowEnabled(off));
    DestroyWindow(on);
    DestroyWindow(off);
}
