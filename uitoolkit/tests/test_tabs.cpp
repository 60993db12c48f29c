/* Tabbed dialogs: the frame's layout, pages switched by tabs and messages,
 * the scrolling tab row, OK/Cancel and the page veto, keyboard handling by
 * the message hook, accelerators and fonts. */
#include <catch2/catch.hpp>

#include "internal.h"
#include "tabdlg.h"
#include "tundrix32.h"
#include "unmanaged_display.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

void Pump()
{
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
}

/* What a page saw. */
struct PageLog {
    int inits = 0;
    LPARAM init_param = 0;
    int activated = 0, deactivated = 0, query_end = 0, commands = 0;
    WPARAM last_command = 0;
    LRESULT veto = 0;   /* answer to the end query */
    std::vector<std::pair<HWND, HWND>> focus_moves;
    std::vector<WPARAM> all;
};

INT_PTR CALLBACK LogPageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp)
{
    auto *log = reinterpret_cast<PageLog *>(GetWindowLongPtrA(page, GWLP_USERDATA));
    if (msg == WM_INITDIALOG) {
        log = reinterpret_cast<PageLog *>(lp);
        SetWindowLongPtrA(page, GWLP_USERDATA, lp);
        ++log->inits;
        log->init_param = lp;
        return TRUE;
    }
    if (!log) return FALSE;
    switch (msg) {
    case TABN_ACTIVATE: ++log->activated; break;
    case TABN_DEACTIVATE: ++log->deactivated; break;
    case TABN_QUERYEND:
        ++log->query_end;
        SetWindowLongPtrA(page, DWLP_MSGRESULT, log->veto);
        return TRUE;
    case TABN_FOCUSMOVED: log->focus_moves.emplace_back(reinterpret_cast<HWND>(wp), reinterpret_cast<HWND>(lp)); break;
    case WM_COMMAND:
        ++log->commands;
        log->all.push_back(wp);
        log->last_command = wp;
        break;
    default: break;
    }
    return FALSE;
}

/* The frame procedure of the modal tests runs a check once the dialog is up. */
std::function<void(HWND)> g_when_up;
std::vector<UINT> g_frame_commands;

INT_PTR CALLBACK FrameProc(HWND frame, UINT msg, WPARAM wp, LPARAM)
{
    if (msg == WM_INITDIALOG) {
        PostMessageA(frame, WM_APP, 0, 0);
        return FALSE;
    }
    if (msg == WM_APP) {
        auto f = g_when_up;
        g_when_up = nullptr;
        if (f) f(frame);
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wp) >= 600) g_frame_commands.push_back(LOWORD(wp));
    return FALSE;
}

HINSTANCE Self() { return GetModuleHandleA(nullptr); }

/* Position and size are mapped each on its own, as the dialog manager does. */
RECT DialogRect(HWND frame, int x, int y, int cx, int cy)
{
    RECT r = {x, y, cx, cy};
    MapDialogRect(frame, &r);
    return {r.left, r.top, r.left + r.right, r.top + r.bottom};
}

RECT RectIn(HWND child, HWND parent)
{
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&r), 2);
    return r;
}

bool Same(const RECT &a, const RECT &b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Text(HWND w)
{
    char buf[256] = {};
    GetWindowTextA(w, buf, sizeof buf);
    return buf;
}

std::string FaceOf(HWND w)
{
    HFONT f = reinterpret_cast<HFONT>(SendMessageA(w, WM_GETFONT, 0, 0));
    LOGFONTA lf = {};
    if (!f || !GetObjectA(f, sizeof lf, &lf)) return "<none>";
    return lf.lfFaceName;
}

struct Controls {
    Controls() { TundrixLoadControls(); }
    ~Controls() { TundrixReleaseControls(); }
};

/* A description that is destroyed with the test. */
struct Tab {
    HGLOBAL h;
    explicit Tab(HGLOBAL handle) : h(handle) {}
    ~Tab() { tabDestroy(h); }
};

}  // namespace

TEST_CASE("A modal tabbed dialog switches pages and ends with the push button's id", "[tabs]")
{
    PageLog a, b;
    Tab t(tabCreate(nullptr, Self(), "Settings", FrameProc, 0, 0, 0, "OK", "Cancel", nullptr));
    REQUIRE(tabAddTemplate(t.h, "Edits", Self(), "PAGE_EDITS", LogPageProc, reinterpret_cast<LPARAM>(&a), 0));
    REQUIRE(tabAddTemplate(t.h, MAKEINTRESOURCEA(300), Self(), "PAGE_CHECKS", LogPageProc, reinterpret_cast<LPARAM>(&b), 0));

    bool ran = false;
    g_when_up = [&](HWND frame) {
        ran = true;
        CHECK(Text(frame) == "Settings");
        HWND row = GetDlgItem(frame, 259);
        CHECK(row);
        if (!row) return;
        HWND tab0 = GetDlgItem(row, 260), tab1 = GetDlgItem(row, 261);
        CHECK(tab0);
        if (!tab0) return;
        CHECK(tab1);
        if (!tab1) return;
        /* A caption or a string id loaded from the page's module. */
        CHECK(Text(tab0) == "Edits");
        CHECK(Text(tab1) == "Numbered");
        CHECK(RectIn(tab1, row).left > RectIn(tab0, row).left);
        CHECK(Text(GetDlgItem(frame, 1)) == "OK");
        CHECK(Text(GetDlgItem(frame, 2)) == "Cancel");

        CHECK(tabGetWindowIndex(t.h) == 0);
        HWND p0 = tabGetWindow(t.h, 0);
        CHECK(p0);
        if (!p0) return;
        CHECK(tabGetWindow(t.h, 1) == nullptr);   /* made when first shown */
        CHECK(tabGetWindow(t.h, 2) == nullptr);
        CHECK(tabGetWindow(t.h, -1) == nullptr);
        CHECK(IsWindowVisible(p0));
        CHECK(a.init_param == reinterpret_cast<LPARAM>(&a));
        CHECK(GetPropA(p0, TAB_PROP) != nullptr);

        /* The page sits in the page frame, two pixels in on every side. */
        RECT pf = RectIn(GetDlgItem(frame, 256), frame), pr = RectIn(p0, frame);
        CHECK(pr.left == pf.left + 2);
        CHECK(pr.top == pf.top + 2);
        CHECK(pr.right == pf.right - 2);
        CHECK(pr.bottom == pf.bottom - 2);

        /* A click on the second tab, as the tab reports it. */
        SendWmCommand(frame, tab1, 0, 0);
        HWND p1 = tabGetWindow(t.h, 1);
        CHECK(p1);
        if (!p1) return;
        CHECK(tabGetWindowIndex(t.h) == 1);
        CHECK(IsWindowVisible(p1));
        CHECK_FALSE(IsWindowVisible(p0));
        CHECK(a.deactivated == 1);
        CHECK(b.activated == 1);
        CHECK(SendMessageA(tab1, BM_GETCHECK, 0, 0) == 1);

        /* Back by message; an index outside the pages is ignored. */
        SendMessageA(frame, TABM_SHOWPAGE, 0, 0);
        CHECK(tabGetWindowIndex(t.h) == 0);
        SendMessageA(frame, TABM_SHOWPAGE, 2, 0);
        CHECK(tabGetWindowIndex(t.h) == 0);
        CHECK(a.activated == 2);

        /* Disabling a page disables its tab and its window. */
        SendMessageA(frame, TABM_ENABLEPAGE, 1, FALSE);
        CHECK_FALSE(IsWindowEnabled(tab1));
        CHECK_FALSE(IsWindowEnabled(p1));
        SendMessageA(frame, TABM_ENABLEPAGE, 1, TRUE);
        CHECK(IsWindowEnabled(tab1));

        SendWmCommand(frame, GetDlgItem(frame, IDOK), 0, BN_CLICKED);
    };
    INT_PTR r = tabDialogBox(t.h);
    CHECK(ran);
    CHECK(r == IDOK);
    CHECK(a.query_end == 1);
    CHECK(b.query_end == 1);
    /* Every created page hears the button and is destroyed. */
    CHECK(a.commands == 1);
    CHECK(LOWORD(a.last_command) == IDOK);
    CHECK(b.commands == 1);
    CHECK(tabGetWindow(t.h, 0) == nullptr);
}

TEST_CASE("OK is refused while a page objects; Cancel never asks", "[tabs]")
{
    PageLog a;
    a.veto = 1;
    Tab t(tabCreate(nullptr, Self(), nullptr, FrameProc, 0, 0, 0, "OK", "Cancel", "Third", nullptr));
    REQUIRE(tabAddTemplate(t.h, "Only", Self(), "PAGE_EDITS", LogPageProc, reinterpret_cast<LPARAM>(&a), 0));
    bool still_open = false;
    g_when_up = [&](HWND frame) {
        SendWmCommand(frame, GetDlgItem(frame, IDOK), 0, BN_CLICKED);
        still_open = IsWindow(frame) && tabGetWindow(t.h, 0) != nullptr;
        SendWmCommand(frame, GetDlgItem(frame, IDCANCEL), 0, BN_CLICKED);
    };
    CHECK(tabDialogBox(t.h) == IDCANCEL);
    CHECK(still_open);
    CHECK(a.query_end == 1);
    CHECK(a.commands == 1);

    /* The same description runs again; the third caption answers 3. */
    a = PageLog();
    g_when_up = [&](HWND frame) { SendWmCommand(frame, GetDlgItem(frame, 3), 0, BN_CLICKED); };
    CHECK(tabDialogBox(t.h) == 3);
    CHECK(a.query_end == 0);
}

TEST_CASE("The frame's size and buttons follow the description", "[tabs]")
{
    Controls c;
    struct Case {
        const char *name;
        DWORD flags;
        int pages;
        bool buttons;
    };
    const Case cases[] = {
        {"two pages, buttons", TABF_MODELESS, 2, true},
        {"one page, no buttons", TABF_MODELESS, 1, false},
        {"one page, tabs forced", TABF_MODELESS | TABF_ALWAYSTABS, 1, true},
        {"buttons on the left", TABF_MODELESS | TABF_BUTTONSLEFT, 2, true},
        {"fixed layout", TABF_MODELESS | TABF_FIXEDLAYOUT, 1, true},
    };
    for (const Case &k : cases) {
        SECTION(k.name) {
            Tab t(k.buttons ? tabCreate(nullptr, Self(), "F", nullptr, 0, 1, k.flags, "A", "B", nullptr)
                            : tabCreate(nullptr, Self(), "F", nullptr, 0, 0, k.flags, nullptr));
            for (int i = 0; i < k.pages; ++i) tabAddTemplate(t.h, "P", Self(), "PAGE_EDITS", nullptr, 0, 0);
            HWND frame = reinterpret_cast<HWND>(tabDialogBox(t.h));
            REQUIRE(IsWindow(frame));
            const int m = 5, cx = 160, cy = 90;
            const bool tabs = k.pages >= 2 || (k.flags & TABF_ALWAYSTABS);
            int w, h, fx, fy;
            if (k.flags & TABF_FIXEDLAYOUT) {
                w = cx + 2 * m + 54;
                h = cy + 3 * (m + 6);
                fx = 2 * m + 50;
                fy = m;
            } else {
                const int t_ = tabs ? 12 : 0;
                w = cx + 2 * m + 4;
                h = cy + 4 + t_ + (k.buttons ? 14 + 3 * m : 2 * m);
                fx = m;
                fy = m + t_;
            }
            RECT client;
            GetClientRect(frame, &client);
            RECT want = DialogRect(frame, 0, 0, w, h);
            CHECK(client.right == want.right);
            CHECK(client.bottom == want.bottom);
            CHECK(Same(RectIn(GetDlgItem(frame, 256), frame), DialogRect(frame, fx, fy, cx + 4, cy + 4)));
            CHECK((GetDlgItem(frame, 259) != nullptr) == tabs);
            if (k.buttons) {
                const int start = (k.flags & TABF_BUTTONSLEFT) ? m : w - 2 * (m + 50);
                CHECK(Same(RectIn(GetDlgItem(frame, 1), frame), DialogRect(frame, start, h - m - 14, 50, 14)));
                CHECK(Same(RectIn(GetDlgItem(frame, 2), frame), DialogRect(frame, start + m + 50, h - m - 14, 50, 14)));
                /* The second caption is the default (index 1) and has the focus. */
                CHECK(GetFocus() == GetDlgItem(frame, 2));
            } else {
                CHECK(GetDlgItem(frame, 1) == nullptr);
            }
            if (k.flags & TABF_ALWAYSTABS) CHECK(GetDlgItem(GetDlgItem(frame, 259), 260) != nullptr);
            CHECK(GetDlgItem(frame, 257) == nullptr);   /* the tabs fit: no arrows */
            /* A modeless frame ignores the push buttons. */
            if (k.buttons) {
                SendWmCommand(frame, GetDlgItem(frame, 1), 0, BN_CLICKED);
                CHECK(IsWindow(tabGetWindow(t.h, 0)));
            }
        }
    }
}

TEST_CASE("A frame over an extended page template takes that page's size", "[tabs]")
{
    Controls c;
    Tab t(tabCreate(nullptr, Self(), "Ex", nullptr, 0, 0, TABF_MODELESS, nullptr));
    tabAddTemplate(t.h, "P", Self(), "PAGE_EX", nullptr, 0, 0);
    HWND frame = reinterpret_cast<HWND>(tabDialogBox(t.h));
    REQUIRE(IsWindow(frame));
    const int m = 5, cx = 120, cy = 70;
    RECT client;
    GetClientRect(frame, &client);
    RECT want = DialogRect(frame, 0, 0, cx + 2 * m + 4, cy + 4 + 2 * m);
    CHECK(client.right == want.right);
    CHECK(client.bottom == want.bottom);
    CHECK(Same(RectIn(GetDlgItem(frame, 256), frame), DialogRect(frame, m, m, cx + 4, cy + 4)));
}

TEST_CASE("A tab row wider than the frame scrolls with its arrows", "[tabs]")
{
    Controls c;
    Tab t(tabCreate(nullptr, Self(), "Many", nullptr, 0, 0, TABF_MODELESS, "OK", nullptr));
    const int pages = 9;
    for (int i = 0; i < pages; ++i)
        tabAddTemplate(t.h, "A rather long caption", Self(), "PAGE_EDITS", nullptr, 0, 0);
    HWND frame = reinterpret_cast<HWND>(tabDialogBox(t.h));
    REQUIRE(IsWindow(frame));
    HWND row = GetDlgItem(frame, 259), fwd = GetDlgItem(frame, 257), back = GetDlgItem(frame, 258);
    REQUIRE(row);
    REQUIRE(fwd);
    REQUIRE(back);
    RECT rc;
    GetClientRect(row, &rc);
    RECT pf = RectIn(GetDlgItem(frame, 256), frame);
    CHECK(rc.right < pf.right - pf.left);   /* narrowed for the arrows */
    CHECK(IsWindowEnabled(fwd));
    CHECK_FALSE(IsWindowEnabled(back));

    /* One step forward puts the second tab where the first was. */
    HWND first = GetDlgItem(row, 260), second = GetDlgItem(row, 261);
    const int first_left = RectIn(first, row).left, second_left = RectIn(second, row).left;
    SendWmCommand(frame, fwd, 0, 0);
    CHECK(RectIn(second, row).left == first_left);
    CHECK(RectIn(first, row).left < 0);
    CHECK(IsWindowEnabled(back));
    SendWmCommand(frame, back, 0, 0);
    CHECK(RectIn(second, row).left == second_left);
    CHECK(RectIn(first, row).left == first_left);
    CHECK_FALSE(IsWindowEnabled(back));
    SendWmCommand(frame, back, 0, 0);   /* nothing hidden at the start */
    CHECK(RectIn(first, row).left == first_left);

    /* Showing the last page brings its tab into the row. */
    SendMessageA(frame, TABM_SHOWPAGE, pages - 1, TRUE);
    HWND last = GetDlgItem(row, 260 + pages - 1);
    CHECK(RectIn(last, row).right <= rc.right);
    CHECK_FALSE(IsWindowEnabled(fwd));
    CHECK(IsWindowEnabled(back));
    CHECK(GetFocus() == last);
    CHECK(tabGetWindowIndex(t.h) == pages - 1);
}

TEST_CASE("Pages made at start, fonts and bad handles", "[tabs]")
{
    Controls c;
    SECTION("flag 0x100 makes every page but those marked 0x800") {
        PageLog a, b, d;
        Tab t(tabCreate(nullptr, Self(), "All", nullptr, 0, 0, TABF_MODELESS | TABF_CREATEALL, nullptr));
        tabAddTemplate(t.h, "a", Self(), "PAGE_EDITS", LogPageProc, reinterpret_cast<LPARAM>(&a), 0);
        tabAddTemplate(t.h, "b", Self(), "PAGE_CHECKS", LogPageProc, reinterpret_cast<LPARAM>(&b), 0);
        tabAddTemplate(t.h, "c", Self(), "PAGE_CHECKS", LogPageProc, reinterpret_cast<LPARAM>(&d), TABPAGE_NOPRECREATE);
        tabSetInitialTab(t.h, 1);
        HWND frame = reinterpret_cast<HWND>(tabDialogBox(t.h));
        REQUIRE(frame);
        CHECK(tabGetWindow(t.h, 0) != nullptr);
        CHECK(tabGetWindow(t.h, 1) != nullptr);
        CHECK(tabGetWindow(t.h, 2) == nullptr);
        CHECK(tabGetWindowIndex(t.h) == 1);
        CHECK(GetFocus() == GetDlgItem(GetDlgItem(frame, 259), 261));
        CHECK(a.inits == 1);
        CHECK(d.inits == 0);
    }
    SECTION("the frame takes the first page's font, tabSetFont overrides it, 0x200 passes it to pages") {
        Tab t(tabCreate(nullptr, Self(), "Font", nullptr, 0, 0, TABF_MODELESS, nullptr));
        tabAddTemplate(t.h, "a", Self(), "PAGE_EDITS", nullptr, 0, 0);
        HWND frame = reinterpret_cast<HWND>(tabDialogBox(t.h));
        CHECK(FaceOf(frame) == "Tahoma");
        tabDestroy(t.h);

        t.h = tabCreate(nullptr, Self(), "Font", nullptr, 0, 0, TABF_MODELESS | TABF_PAGEFONT, nullptr);
        tabAddTemplate(t.h, "a", Self(), "PAGE_EDITS", nullptr, 0, 0);
        tabSetFont(t.h, "Courier New", 10);
        frame = reinterpret_cast<HWND>(tabDialogBox(t.h));
        CHECK(FaceOf(frame) == "Courier New");
        CHECK(FaceOf(tabGetWindow(t.h, 0)) == "Courier New");
    }
    SECTION("a missing template leaves the default size and no page window") {
        Tab t(tabCreate(nullptr, Self(), "Missing", nullptr, 0, 0, TABF_MODELESS, nullptr));
        tabAddTemplate(t.h, "a", Self(), "NO_SUCH_PAGE", nullptr, 0, 0);
        HWND frame = reinterpret_cast<HWND>(tabDialogBox(t.h));
        REQUIRE(frame);
        CHECK(Same(RectIn(GetDlgItem(frame, 256), frame), DialogRect(frame, 5, 5, 154, 104)));
        CHECK(tabGetWindow(t.h, 0) == nullptr);
    }
    SECTION("a handle that cannot be locked") {
        CHECK(tabDialogBox(nullptr) == -1);
        CHECK(tabGetWindowIndex(nullptr) == 0);
        CHECK(tabGetWindow(nullptr, 0) == nullptr);
        CHECK_FALSE(tabAddTemplate(nullptr, "a", Self(), "PAGE_EDITS", nullptr, 0, 0));
    }
    SECTION("pages past the table are refused; captions past it are dropped") {
        Tab t(tabCreate(nullptr, Self(), "Full", nullptr, 0, 0, 0, "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11",
                        "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22", "23", "24", "25", "26", "27",
                        "28", "29", "30", "31", "32", "33", "34", nullptr));
        for (int i = 0; i < 32; ++i) CHECK(tabAddTemplate(t.h, "p", Self(), "PAGE_EDITS", nullptr, 0, 0));
        CHECK_FALSE(tabAddTemplate(t.h, "p", Self(), "PAGE_EDITS", nullptr, 0, 0));
        TabDialogDescription *d = TabLock(t.h);
        REQUIRE(d);
        CHECK(d->buttonCount == 32);
        CHECK(std::string(d->buttonCaption[31]) == "32");
        CHECK(d->previousIndex == -1);
        CHECK(d->margin == 5);
        TabUnlock(t.h);
    }
}

TEST_CASE("The message hook moves the focus, presses buttons and offers keys to accelerators", "[tabs]")
{
    Controls c;
    PageLog a;
    Tab t(tabCreate(nullptr, Self(), "Keys", FrameProc, 0, 0, TABF_MODELESS, "OK", "Cancel", nullptr));
    tabAddTemplate(t.h, "a", Self(), "PAGE_EDITS", LogPageProc, reinterpret_cast<LPARAM>(&a), 0);
    tabAddTemplate(t.h, "b", Self(), "PAGE_CHECKS", nullptr, 0, 0);
    HWND frame = reinterpret_cast<HWND>(tabDialogBox(t.h));
    REQUIRE(frame);
    Pump();
    HWND page = tabGetWindow(t.h, 0);
    HWND e1 = GetDlgItem(page, 101), e2 = GetDlgItem(page, 102), go = GetDlgItem(page, 103), e3 = GetDlgItem(page, 105);
    auto key = [](HWND to, UINT msg, WPARAM vk, LPARAM extra = 0) {
        PostMessageA(to, msg, vk, 1 | extra);
        Pump();
    };

    SECTION("Tab and Shift+Tab walk the tab stops through the nested page") {
        SetFocus(e1);
        key(e1, WM_KEYDOWN, VK_TAB);
        CHECK(GetFocus() == e2);
        key(e2, WM_KEYDOWN, VK_TAB);
        CHECK(GetFocus() == go);
        BYTE state[256] = {};
        GetKeyboardState(state);
        state[VK_SHIFT] = 0x80;
        SetKeyboardState(state);
        key(go, WM_KEYDOWN, VK_TAB);
        state[VK_SHIFT] = 0;
        SetKeyboardState(state);
        CHECK(GetFocus() == e2);
        /* The page heard the focus moves. */
        REQUIRE(a.focus_moves.size() >= 2);
        CHECK(a.focus_moves.back().second == e2);
        /* The edit took the focus with its whole text selected. */
        SetWindowTextA(e3, "abc");
        SetFocus(e2);
        key(e2, WM_KEYDOWN, VK_TAB);
        key(go, WM_KEYDOWN, VK_TAB);
        CHECK(GetFocus() == e3);
        DWORD from = 0, to = 0;
        SendMessageA(e3, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
        CHECK(from == 0);
        CHECK(to == 3);
    }
    SECTION("Alt+letter jumps to the labelled control; a mnemonic on a push button presses it") {
        SetFocus(e1);
        key(e1, WM_SYSKEYDOWN, 'N');
        CHECK(GetFocus() == e3);   /* the control after the "&Name:" label */
        a.all.clear();
        key(e3, WM_SYSKEYDOWN, 'G');
        CHECK(GetFocus() == go);
        CHECK(std::count(a.all.begin(), a.all.end(), MAKEWPARAM(103, BN_CLICKED)) == 1);
    }
    SECTION("arrows move within a group and wrap") {
        SendMessageA(frame, TABM_SHOWPAGE, 1, 0);
        HWND p2 = tabGetWindow(t.h, 1);
        HWND ra = GetDlgItem(p2, 202), rb = GetDlgItem(p2, 203), rc = GetDlgItem(p2, 204);
        SetFocus(ra);
        key(ra, WM_KEYDOWN, VK_DOWN);
        CHECK(GetFocus() == rb);
        key(rb, WM_KEYDOWN, VK_DOWN);
        CHECK(GetFocus() == rc);
        key(rc, WM_KEYDOWN, VK_DOWN);
        CHECK(GetFocus() == ra);
        key(ra, WM_KEYDOWN, VK_UP);
        CHECK(GetFocus() == rc);
    }
    SECTION("keypad Enter reaches the tables as VK_F24; the main Enter stays Enter") {
        HACCEL table = LoadAcceleratorsA(Self(), "KEYS");
        REQUIRE(table);
        SendMessageA(frame, TABM_SETACCEL, reinterpret_cast<WPARAM>(table), 0);
        g_frame_commands.clear();
        SetFocus(e1);
        key(e1, WM_KEYDOWN, VK_RETURN, 1 << 24);
        key(e1, WM_KEYDOWN, VK_RETURN);
        REQUIRE(g_frame_commands.size() == 2);
        CHECK(g_frame_commands[0] == 601);
        CHECK(g_frame_commands[1] == 602);
        /* A page's own table comes first. */
        SendMessageA(page, TABM_SETACCEL, reinterpret_cast<WPARAM>(table), reinterpret_cast<LPARAM>(page));
        a.commands = 0;
        g_frame_commands.clear();
        key(e1, WM_KEYDOWN, VK_RETURN);
        CHECK(a.commands == 1);
        CHECK(LOWORD(a.last_command) == 602);
        CHECK(g_frame_commands.empty());
        SendMessageA(frame, TABM_SETACCEL, 0, 0);
        SendMessageA(page, TABM_SETACCEL, 0, 0);
        DestroyAcceleratorTable(table);
    }
}

TEST_CASE("Enter presses the default button and Escape cancels a modal dialog", "[tabs]")
{
    PageLog a;
    Tab t(tabCreate(nullptr, Self(), "Keys", FrameProc, 0, 1, 0, "Apply", "Close", "Cancel", nullptr));
    tabAddTemplate(t.h, "a", Self(), "PAGE_CHECKS", LogPageProc, reinterpret_cast<LPARAM>(&a), 0);
    g_when_up = [](HWND) {
        HWND f = GetFocus();
        PostMessageA(f, WM_KEYDOWN, VK_RETURN, 1);
    };
    CHECK(tabDialogBox(t.h) == 2);
    g_when_up = [](HWND) { PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1); };
    CHECK(tabDialogBox(t.h) == IDCANCEL);
}

TEST_CASE("The library's exports: tabbed dialogs, error boxes, DlgX and lists through Tundrix32.dll", "[tabs][dll]")
{
    HMODULE tk = LoadLibraryA("Tundrix32.dll");
    REQUIRE(tk);
    typedef HGLOBAL(__cdecl * CreateFn)(HWND, HINSTANCE, LPCSTR, DLGPROC, LPARAM, int, DWORD, ...);
    typedef BOOL(WINAPI * AddFn)(HGLOBAL, LPCSTR, HINSTANCE, LPCSTR, DLGPROC, LPARAM, DWORD);
    typedef INT_PTR(WINAPI * RunFn)(HGLOBAL);
    typedef void(WINAPI * DestroyFn)(HGLOBAL);
    typedef HWND(WINAPI * WindowFn)(HGLOBAL, int);
    typedef int(__cdecl * ErrFn)(HWND, DWORD, ...);
    auto create = reinterpret_cast<CreateFn>(GetProcAddress(tk, "tabCreate"));
    auto add = reinterpret_cast<AddFn>(GetProcAddress(tk, "tabAddTemplate"));
    auto run = reinterpret_cast<RunFn>(GetProcAddress(tk, "tabDialogBox"));
    auto destroy = reinterpret_cast<DestroyFn>(GetProcAddress(tk, "tabDestroy"));
    auto window = reinterpret_cast<WindowFn>(GetProcAddress(tk, "tabGetWindow"));
    auto err = reinterpret_cast<ErrFn>(GetProcAddress(tk, "iErrMessage"));
    REQUIRE(create);
    REQUIRE(add);
    REQUIRE(run);
    REQUIRE(destroy);
    REQUIRE(window);
    REQUIRE(err);
    for (const char *name : {"tabAddTemplateEx", "tabSetFont", "tabSetInitialTab", "tabSetTexture", "tabGetWindowIndex",
                             "iCreateDialogParam", "TabbedDlgProc", "TabDlgProc", "TabMessageProc", "CCWndScrollProc",
                             "iErrMessageW", "iErrMessageBox", "_iassert", "tabAddErrTemplate", "ErrDlgProc",
                             "ErrTabHookProc", "InstallDlgX", "RemoveDlgX", "DlgXProc", "CCListCtor", "LBInsertODItem",
                             "CCListWndProc", "CCListParentWndProc", "CCListCallWindowProc"})
        CHECK(GetProcAddress(tk, name) != nullptr);

    /* The variable argument lists cross the library boundary intact. */
    HGLOBAL t = create(nullptr, Self(), "Through the library", nullptr, 0, 2, TABF_MODELESS, "One", "Two", "Three", nullptr);
    REQUIRE(t);
    CHECK(add(t, "Page", Self(), "PAGE_EDITS", nullptr, 0, 0));
    HWND frame = reinterpret_cast<HWND>(run(t));
    REQUIRE(IsWindow(frame));
    CHECK(Text(GetDlgItem(frame, 1)) == "One");
    CHECK(Text(GetDlgItem(frame, 3)) == "Three");
    CHECK(GetDlgItem(frame, 4) == nullptr);
    CHECK(GetFocus() == GetDlgItem(frame, 3));
    CHECK(window(t, 0) != nullptr);
    destroy(t);
    CHECK_FALSE(IsWindow(frame));
    CHECK(err(nullptr, 0x80000000u, "%s %d", "quiet", 1) == -1);
    FreeLibrary(tk);
}

namespace {
std::vector<POINT> g_parent_clicks;
LRESULT CALLBACK ParentProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_LBUTTONDOWN) g_parent_clicks.push_back({static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))});
    return DefWindowProcA(w, msg, wp, lp);
}
}  // namespace

TEST_CASE("Frame styles by flag; a child frame hands its mouse to the parent", "[tabs]")
{
    Controls c;
    struct Case {
        DWORD flags;
        bool sysmenu, toolwindow, raised;
    };
    const Case cases[] = {
        {TABF_MODELESS, true, false, false},
        {TABF_MODELESS | TABF_NOSYSMENU, false, false, false},
        {TABF_MODELESS | TABF_TOOLWINDOW, true, true, false},
        {TABF_TOOLWINDOW | TABF_RAISEDFRAME | TABF_MODELESS | TABF_NOSYSMENU, false, true, true},
    };
    for (const Case &k : cases) {
        Tab t(tabCreate(nullptr, Self(), "S", nullptr, 0, 0, k.flags, "OK", nullptr));
        tabAddTemplate(t.h, "a", Self(), "PAGE_EDITS", nullptr, 0, 0);
        HWND frame = reinterpret_cast<HWND>(tabDialogBox(t.h));
        REQUIRE(frame);
        const DWORD style = static_cast<DWORD>(GetWindowLongA(frame, GWL_STYLE));
        CHECK(((style & WS_SYSMENU) != 0) == k.sysmenu);
        CHECK((style & WS_CAPTION) == WS_CAPTION);
        CHECK(((GetWindowLongA(frame, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0) == k.toolwindow);
        const DWORD pf = static_cast<DWORD>(GetWindowLongA(GetDlgItem(frame, 256), GWL_STYLE));
        CHECK((pf & 0xFFFF) == (k.raised ? 0x8800u : 0x6800u));
    }

    /* A child frame: no margin, placed at the parent's origin, and its
     * clicks reach the parent in the parent's coordinates. */
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = Self();
    wc.lpszClassName = "TabTestParent";
    RegisterClassA(&wc);
    HWND parent = CreateWindowA("TabTestParent", "P", WS_OVERLAPPEDWINDOW, 0, 0, 500, 400, nullptr, nullptr, Self(), nullptr);
    REQUIRE(parent);
    Tab t(tabCreate(parent, Self(), nullptr, nullptr, 0, 0, TABF_CHILD | TABF_MODELESS, nullptr));
    tabAddTemplate(t.h, "a", Self(), "PAGE_EDITS", nullptr, 0, 0);
    TabDialogDescription *d = TabLock(t.h);
    REQUIRE(d);
    CHECK(d->margin == 0);
    TabUnlock(t.h);
    HWND frame = reinterpret_cast<HWND>(tabDialogBox(t.h));
    REQUIRE(frame);
    CHECK(GetParent(frame) == parent);
    CHECK((GetWindowLongA(frame, GWL_STYLE) & WS_CHILD) != 0);
    SetWindowPos(frame, nullptr, 30, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    CHECK(Same(RectIn(GetDlgItem(frame, 256), frame), DialogRect(frame, 0, 0, 164, 94)));
    g_parent_clicks.clear();
    SendMessageA(frame, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 6));
    /* A click on the page goes to the frame and then to the parent. */
    SendMessageA(tabGetWindow(t.h, 0), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 1));
    REQUIRE(g_parent_clicks.size() == 2);
    CHECK(g_parent_clicks[0].x == 35);
    CHECK(g_parent_clicks[0].y == 26);
    RECT pr = RectIn(tabGetWindow(t.h, 0), parent);
    CHECK(g_parent_clicks[1].x == pr.left + 1);
    CHECK(g_parent_clicks[1].y == pr.top + 1);
    tabDestroy(t.h);
    t.h = nullptr;
    DestroyWindow(parent);
}
