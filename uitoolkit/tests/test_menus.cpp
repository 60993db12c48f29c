/* Pop-up menu helpers and the tracked menu. */
#include <catch2/catch.hpp>

#include "tundrix32.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

/* The items of a menu as text: "Text(id)", "-" for separators, "[Text]" for sub-menus. */
std::vector<std::string> Items(HMENU menu)
{
    std::vector<std::string> out;
    int n = GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i) {
        char text[64] = {};
        MENUITEMINFOA mii = {};
        mii.cbSize = sizeof mii;
        mii.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        mii.dwTypeData = text;
        mii.cch = sizeof text;
        GetMenuItemInfoA(menu, i, TRUE, &mii);
        if (mii.fType & MFT_SEPARATOR) out.push_back("-");
        else if (mii.hSubMenu) out.push_back(std::string("[") + text + "]");
        else {
            char id[16];
            std::snprintf(id, sizeof id, "(%u)", mii.wID);
            out.push_back(text + std::string(id));
        }
    }
    return out;
}

using V = std::vector<std::string>;

}  // namespace

TEST_CASE("Pop-up menus from separated text", "[menus]")
{
    HMENU m = PopupMenuFromText("Open|Save||Close", '|');
    REQUIRE(m);
    CHECK(Items(m) == V{"Open(1)", "Save(2)", "-", "Close(3)"});
    DestroyMenu(m);
    m = PopupMenuFromText(MAKEINTRESOURCEA(20), '|');
    CHECK(Items(m) == V{"Cut(1)", "Copy(2)", "-", "Paste(3)"});
    DestroyMenu(m);
    std::string longer(300, 'x');
    m = PopupMenuFromText(longer.c_str(), '|');
    char text[400] = {};
    GetMenuStringA(m, 1, text, sizeof text, MF_BYCOMMAND);
    CHECK(std::string(text).size() == 255);
    DestroyMenu(m);
}

TEST_CASE("Cleaning up separators and empty sub-menus", "[menus]")
{
    HMENU m = CreatePopupMenu();
    AppendMenuA(m, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(m, MF_STRING, 1, "A");
    AppendMenuA(m, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(m, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(m, MF_STRING, 2, "B");
    AppendMenuA(m, MF_SEPARATOR, 0, nullptr);
    CleanupMenu(m);
    CHECK(Items(m) == V{"A(1)", "-", "B(2)"});

    /* A sub-menu holding only separators empties and goes; so does the
     * separator it leaves doubled. */
    HMENU sub = CreatePopupMenu();
    AppendMenuA(sub, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(sub, MF_SEPARATOR, 0, nullptr);
    InsertMenuA(m, 1, MF_BYPOSITION | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub), "Empty");
    InsertMenuA(m, 1, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    CHECK(Items(m) == V{"A(1)", "-", "[Empty]", "-", "B(2)"});
    CleanupMenu(m);
    CHECK(Items(m) == V{"A(1)", "-", "B(2)"});
    CHECK(CleanupMenu(nullptr) == 0);
    DestroyMenu(m);
}

TEST_CASE("Copying menus and items, adding items", "[menus]")
{
    HMENU bar = LoadMenuA(GetModuleHandleA(nullptr), "TESTMENU");
    REQUIRE(bar);
    HMENU src = GetSubMenu(bar, 0);
    SetMenuItemBitmaps(src, 101, MF_BYCOMMAND, nullptr, nullptr);
    HMENU copy = DupPopupMenu(src);
    REQUIRE(copy);
    CHECK(copy != src);
    CHECK(Items(copy) == V{"Undo(101)", "-", "[More]", "Redo(102)"});
    CHECK((GetMenuState(copy, 102, MF_BYCOMMAND) & MF_GRAYED) != 0);
    HMENU more = GetSubMenu(copy, 2);
    REQUIRE(more);
    CHECK(more != GetSubMenu(src, 2));
    CHECK(Items(more) == V{"Deep(201)"});
    CHECK((GetMenuState(more, 201, MF_BYCOMMAND) & MF_CHECKED) != 0);
    CHECK(DupPopupMenu(nullptr) == nullptr);

    HMENU m = CreatePopupMenu();
    CHECK(AddToMenu(m, "First", 0, -1, 0) == 1);
    CHECK(AddToMenu(m, "Ten", 10, -1, 0) == 10);
    CHECK(AddToMenu(m, "Next", 0, -1, 0) == 11);
    CHECK(AddToMenu(m, MAKEINTRESOURCEA(21), 0, 0, 0) == 12);
    CHECK(AddToMenu(m, nullptr, 0, 1, 0) != 0);
    CHECK(AddToMenu(m, "Sub", 0, -1, MF_POPUP) == 5);
    CHECK(Items(m) == V{"From the table(12)", "-", "First(1)", "Ten(10)", "Next(11)", "[Sub]"});
    CHECK(AddToMenu(nullptr, "x", 1, 0, 0) == 0);

    CHECK(InsertDonorMenu(m, 10, copy, 102));
    CHECK(Items(m) == V{"From the table(12)", "-", "First(1)", "Redo(102)", "Ten(10)", "Next(11)", "[Sub]"});
    CHECK_FALSE(InsertDonorMenu(m, 10, copy, 999));
    DestroyMenu(m);
    DestroyMenu(copy);
    DestroyMenu(bar);
}

TEST_CASE("The tracked menu object", "[menus]")
{
    TRACKEDMENU *t = tmenuNew(1, "One|Two|Three", '|', nullptr);
    REQUIRE(t);
    REQUIRE(t->menu);
    CHECK(tmenuEnable(t, 2, 0, MF_BYCOMMAND) == MF_ENABLED);
    CHECK((GetMenuState(t->menu, 2, MF_BYCOMMAND) & MF_GRAYED) != 0);
    tmenuEnable(t, 2, -1, MF_BYCOMMAND);
    CHECK((GetMenuState(t->menu, 2, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)) == MF_DISABLED);
    tmenuEnable(t, 2, 5, MF_BYCOMMAND);
    CHECK((GetMenuState(t->menu, 2, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)) == 0);
    tmenuCheck(t, 3, TRUE, MF_BYCOMMAND);
    CHECK((GetMenuState(t->menu, 3, MF_BYCOMMAND) & MF_CHECKED) != 0);
    CHECK(tmenuAdd(t, "Four", 0, -1, 0) == 4);
    CHECK(tmenuRemove(t, 1, MF_BYCOMMAND));
    CHECK(Items(t->menu) == V{"Two(2)", "Three(3)", "Four(4)"});

    CHECK(tmenuSetOffset(t, 5, -7) == 0);
    ULONGLONG old = tmenuSetOffset(t, 1, 2);
    CHECK(static_cast<int>(old & 0xFFFFFFFF) == 5);
    CHECK(static_cast<int>(old >> 32) == -7);

    /* Kind 0: the first pop-up of a menu resource, duplicated. */
    CHECK(tmenuLoad(t, 0, "TESTMENU", 0));
    CHECK(Items(t->menu) == V{"Undo(101)", "-", "[More]", "Redo(102)"});
    CHECK_FALSE(tmenuLoad(t, 0, "NOSUCHMENU", 0));
    CHECK(tmenuEnable(t, 1, 1, 0) == -1);
    CHECK(tmenuCheck(t, 1, 1, 0) == -1);
    CHECK(tmenuRemove(t, 1, 0) == -1);
    CHECK(tmenuTrack(t, 0, nullptr) == 0);
    HMENU adopt = CreatePopupMenu();
    CHECK(tmenuLoad(t, 2, nullptr, reinterpret_cast<LONG_PTR>(adopt)));
    CHECK(t->menu == adopt);
    tmenuDelete(t);
    CHECK_FALSE(IsMenu(adopt));

    CHECK(DoTrackMenu(0, "NOSUCHMENU", 0, nullptr) == -1);
}

TEST_CASE("Tracking without an owner returns the chosen command", "[menus]")
{
    TRACKEDMENU *t = tmenuNew(1, "One|Two|Three", '|', nullptr);
    REQUIRE(t);
    /* The keys wait in the queue: the menu's loop takes them once it is open. */
    PostMessageA(nullptr, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(nullptr, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(nullptr, WM_KEYDOWN, VK_RETURN, 0);
    UINT chosen = tmenuTrack(t, 0, nullptr);
    CHECK(chosen == 2);
    tmenuDelete(t);
}
