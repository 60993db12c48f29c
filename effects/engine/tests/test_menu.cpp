// The pop-up menu object: menus from text, adopted and loaded, item
// calls, offsets, tracking on a hidden window (dismissed and chosen, by
// keys the menu loop reads) and on an owner (routing of its messages to
// the object), and the icon tint.
#include <catch2/catch.hpp>

#include <string>
#include <vector>

#include "fxmenu.h"

namespace {

std::string ItemText(HMENU m, int pos)
{
    char text[64] = {};
    GetMenuStringA(m, UINT(pos), text, sizeof text, MF_BYPOSITION);
    return text;
}

// Keys the menu loop will read once it runs: a timer posts them.
std::vector<WPARAM> g_keys;
bool g_end;
void CALLBACK PressKeys(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    if (g_end) {
        EndMenu();
        return;
    }
    HWND target = GetFocus() ? GetFocus() : GetActiveWindow();
    for (WPARAM k : g_keys) {
        PostMessageA(target, WM_KEYDOWN, k, 0);
        PostMessageA(target, WM_KEYUP, k, 0xC0000000);
    }
}

UINT TrackWith(TMenu *m, std::vector<WPARAM> keys, bool end, HWND window = nullptr)
{
    g_keys = keys;
    g_end = end;
    SetTimer(nullptr, 0, 10, PressKeys);
    return TrackTMenu(m, TPM_RIGHTBUTTON, window);
}

std::vector<UINT> g_seen;
LRESULT Watch(TMenu *, UINT message, WPARAM, LPARAM, BOOL *)
{
    g_seen.push_back(message);
    return 0;
}

}  // namespace

TEST_CASE("Menus from text, adopted, or loaded", "[menu]")
{
    TMenu *m = CreateTMenu(1, "Cut|Copy||Paste", '|', nullptr);
    REQUIRE(m);
    REQUIRE(GetMenuItemCount(m->menu) == 4);
    CHECK(ItemText(m->menu, 0) == "Cut");
    CHECK(GetMenuItemID(m->menu, 1) == 2);
    CHECK((GetMenuState(m->menu, 2, MF_BYPOSITION) & MF_SEPARATOR) != 0);
    CHECK(GetMenuItemID(m->menu, 3) == 3);
    CHECK(ItemText(m->menu, 3) == "Paste");

    SECTION("item calls")
    {
        CHECK(EnableTMenuItem(m, 2, 0, 0) == MF_ENABLED);
        CHECK(EnableTMenuItem(m, 2, -1, 0) == MF_GRAYED);
        CHECK((GetMenuState(m->menu, 2, MF_BYCOMMAND) & MF_DISABLED) != 0);
        CHECK(EnableTMenuItem(m, 99, 1, 0) == -1);
        CHECK(CheckTMenuItem(m, 0, 1, 1) == MF_UNCHECKED);
        CHECK((GetMenuState(m->menu, 1, MF_BYCOMMAND) & MF_CHECKED) != 0);
        CHECK(InsertTMenuItem(m, 0, MF_BYPOSITION | MF_STRING, 50, "First") != 0);
        CHECK(ItemText(m->menu, 0) == "First");
        CHECK(DeleteTMenuItem(m, 50, 0) != 0);
        CHECK(GetMenuItemCount(m->menu) == 4);
        CHECK(SetTMenuOffset(m, 3, -2) == 0);
        CHECK(SetTMenuOffset(m, 0, 0) == LONG(3 | (0xFFFE << 16)));
    }

    SECTION("calls without an object or menu")
    {
        CHECK(EnableTMenuItem(nullptr, 1, 1, 0) == -1);
        CHECK(CheckTMenuItem(nullptr, 1, 1, 0) == -1);
        CHECK(InsertTMenuItem(nullptr, 1, 0, 1, "x") == -1);
        CHECK(DeleteTMenuItem(nullptr, 1, 0) == -1);
        CHECK(TrackTMenu(nullptr) == 0);
    }
    DestroyTMenu(m);

    HMENU own = CreatePopupMenu();
    AppendMenuA(own, MF_STRING, 7, "Seven");
    TMenu *adopted = CreateTMenu(2, nullptr, reinterpret_cast<LONG_PTR>(own), nullptr);
    REQUIRE(adopted);
    CHECK(adopted->menu == own);
    DestroyTMenu(adopted);
    CHECK_FALSE(IsMenu(own));

    CHECK(CreateTMenu(0, "NOSUCHMENU", 0, nullptr) == nullptr);
    CHECK(CreateTMenu(2, nullptr, 0, nullptr) == nullptr);
    CHECK(CreateTMenu(5, "x", 0, nullptr) == nullptr);
}

TEST_CASE("Tracking without an owner returns the command", "[menu]")
{
    TMenu *m = CreateTMenu(1, "One|Two|Three", '|', nullptr);
    REQUIRE(m);
    SECTION("dismissed: 0") { CHECK(TrackWith(m, {}, true) == 0); }
    SECTION("chosen with the keys")
    {
        CHECK(TrackWith(m, {VK_DOWN, VK_DOWN, VK_RETURN}, false) == 2);
    }
    // Nothing of the hidden window is left behind.
    MSG msg;
    CHECK_FALSE(PeekMessageA(&msg, nullptr, WM_COMMAND, WM_COMMAND, PM_NOREMOVE));
    DestroyTMenu(m);
}

TEST_CASE("Tracking on an owner routes its messages to the object", "[menu]")
{
    HWND owner = CreateWindowA("STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(owner);
    LONG_PTR proc = GetWindowLongPtrA(owner, GWLP_WNDPROC);
    TMenu *m = CreateTMenu(1, "A|B", '|', owner);
    REQUIRE(m);
    m->callback = Watch;
    g_seen.clear();
    TrackWith(m, {}, true);
    bool sawInit = false;
    for (UINT message : g_seen)
        sawInit = sawInit || message == WM_INITMENUPOPUP;
    CHECK(sawInit);
    CHECK(GetWindowLongPtrA(owner, GWLP_WNDPROC) == proc);
    CHECK(GetPropA(owner, TMENU_PROPERTY) == nullptr);
    DestroyTMenu(m);
    DestroyWindow(owner);
}

TEST_CASE("A tinted icon takes the colour in the icon's shape", "[menu]")
{
    HICON source = LoadIconA(nullptr, (LPCSTR)IDI_APPLICATION);
    REQUIRE(source);
    const COLORREF colour = RGB(200, 30, 60);
    HICON tinted = TintIcon(source, colour);
    REQUIRE(tinted);
    ICONINFO info = {};
    REQUIRE(GetIconInfo(tinted, &info));
    REQUIRE(info.hbmColor);
    int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
    HDC dc = CreateCompatibleDC(nullptr), mdc = CreateCompatibleDC(nullptr);
    HGDIOBJ o = SelectObject(dc, info.hbmColor), om = SelectObject(mdc, info.hbmMask);
    int inside = 0, wrong = 0;
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x) {
            bool shape = GetPixel(mdc, x, y) == RGB(0, 0, 0);
            COLORREF c = GetPixel(dc, x, y);
            if (shape) {
                ++inside;
                wrong += c != colour;
            } else {
                wrong += c != RGB(0, 0, 0);
            }
        }
    SelectObject(dc, o);
    SelectObject(mdc, om);
    DeleteDC(dc);
    DeleteDC(mdc);
    CHECK(inside > 0);
    CHECK(wrong == 0);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(tinted);
    CHECK(TintIcon(nullptr, colour) == nullptr);
}
