/* The button's style dialog on a display: every attribute edited through
 * its own editor (colour bars, hatch combos, alignment pads, offsets, font
 * positioners, Int/Ext, text or string id), applied per state, the value
 * lists kept together, and OK writing everything, popup and status texts
 * included, into the property string; Cancel changes nothing. Each editor
 * page is kept as knobset_style_*.bmp. */
#include "knobset.h"
#include "../../uitoolkit/tests/unmanaged_display.h"
#include "screen_shot.h"

#include <catch2/catch.hpp>

#include <custcntl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

std::function<void(HWND)> g_script;
HWND g_seen;
HHOOK g_hook;

LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp)
{
    if (code == HCBT_ACTIVATE) {
        HWND w = reinterpret_cast<HWND>(wp);
        char title[64] = {0};
        GetWindowTextA(w, title, sizeof title);
        if (std::string(title) == "Knobset Styles" && g_seen != w) {
            g_seen = w;
            PostMessageA(w, WM_APP + 7, 0, 0);
        }
    }
    return CallNextHookEx(g_hook, code, wp, lp);
}

/* The script runs once the dialog is up, from its own queue. */
LRESULT CALLBACK Watch(int code, WPARAM wp, LPARAM lp)
{
    auto *m = reinterpret_cast<MSG *>(lp);
    const bool ours = code == HC_ACTION && wp == PM_REMOVE && m->hwnd == g_seen && g_script;
    /* A modal dialog is shown once its queue runs dry: the script waits for
     * that on a timer of the dialog. */
    if (ours && m->message == WM_APP + 7) SetTimer(m->hwnd, 77, 30, nullptr);
    if (ours && m->message == WM_TIMER && m->wParam == 77 && IsWindowVisible(m->hwnd)) {
        KillTimer(m->hwnd, 77);
        auto f = g_script;
        g_script = nullptr;
        f(m->hwnd);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

BOOL Run(CCSTYLEA &style, std::function<void(HWND)> script)
{
    REQUIRE(LoadLibraryA("Placet.dll"));
    HMODULE knobkit = LoadLibraryA("Knobkit.dll");
    REQUIRE(knobkit);
    auto info_fn = reinterpret_cast<UINT(WINAPI *)(LPCCINFOA)>(GetProcAddress(knobkit, "CustomControlInfoA"));
    CCINFOA info;
    info_fn(&info);
    g_script = std::move(script);
    g_seen = nullptr;
    g_hook = SetWindowsHookExA(WH_CBT, Hook, nullptr, GetCurrentThreadId());
    HHOOK watch = SetWindowsHookExA(WH_GETMESSAGE, Watch, nullptr, GetCurrentThreadId());
    BOOL r = info.lpfnStyle(nullptr, &style);
    UnhookWindowsHookEx(watch);
    UnhookWindowsHookEx(g_hook);
    return r;
}

void Attribute(HWND dlg, int index)
{
    SendDlgItemMessageA(dlg, 101, LB_SETCURSEL, index, 0);
    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(101, LBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(dlg, 101)));
}

void States(HWND dlg, bool up, bool seld, bool gray)
{
    CheckDlgButton(dlg, 102, up ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dlg, 103, seld ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dlg, 104, gray ? BST_CHECKED : BST_UNCHECKED);
}

void Click(HWND dlg, int id)
{
    HWND b = GetDlgItem(dlg, id);
    if (SendMessageA(b, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) {
        /* A radio of a group: the others go off, as a click does. */
        HWND first = b;
        while (!(GetWindowLongA(first, GWL_STYLE) & WS_GROUP)) first = GetWindow(first, GW_HWNDPREV);
        CheckRadioButton(dlg, GetDlgCtrlID(first), id, id);
        for (HWND w = GetWindow(b, GW_HWNDNEXT); w && !(GetWindowLongA(w, GWL_STYLE) & WS_GROUP); w = GetWindow(w, GW_HWNDNEXT))
            CheckDlgButton(dlg, GetDlgCtrlID(w), BST_UNCHECKED);
        CheckDlgButton(dlg, id, BST_CHECKED);
    } else {
        CheckDlgButton(dlg, id, IsDlgButtonChecked(dlg, id) == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
    }
    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(b));
}

void Apply(HWND dlg) { SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(111, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dlg, 111))); }

std::string Text(HWND dlg, int id)
{
    char buf[256] = {0};
    GetDlgItemTextA(dlg, id, buf, sizeof buf);
    return buf;
}

void SaveWindow(HWND w, const std::string &name)
{
    /* Bounded wait until the dialog is on the screen (its face is not black). */
    for (int i = 0; i < 100; ++i) {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_ERASE);
        GdiFlush();
        RECT cr;
        GetClientRect(w, &cr);
        POINT corners[2] = {{4, 4}, {cr.right - 8, cr.bottom - 8}};
        bool shown = IsWindowVisible(w) != 0;
        HDC screen = GetDC(nullptr);
        for (POINT p : corners) {
            ClientToScreen(w, &p);
            COLORREF c = GetPixel(screen, p.x, p.y);
            shown = shown && c != 0 && c != CLR_INVALID;
        }
        ReleaseDC(nullptr, screen);
        if (shown && !GetQueueStatus(QS_PAINT)) break;
        Sleep(20);
    }
    ScreenShot::Window(w).Save(name);
}

}  // namespace

TEST_CASE("The style dialog edits every attribute and OK writes them", "[knobstyle]")
{
    CCSTYLEA style = {};
    style.flStyle = WS_CHILD | WS_VISIBLE | KNBS_CHICAGO;
    std::strcpy(style.szText, "0`241`1D0`Old hint`171`Play");
    std::vector<std::string> values;
    bool positioners = false, swatch_shown = false;
    long lists[3] = {0, 0, 0}, tops[3] = {-1, -1, -1};
    std::string popup_shown;
    BOOL ok = Run(style, [&](HWND dlg) {
        popup_shown = Text(dlg, 123);
        char cls[16] = {0};
        GetClassNameA(GetDlgItem(dlg, 16700), cls, sizeof cls);
        positioners = std::string(cls) == "Placet";

        /* Text: a string-table number for the Gray state only. */
        Attribute(dlg, 0);
        SaveWindow(dlg, "knobset_style_text.bmp");
        States(dlg, false, false, true);
        Click(dlg, 49411);
        SetDlgItemTextA(dlg, 16641, "2A");
        Apply(dlg);
        States(dlg, true, true, true);
        /* Bitmap from this library. */
        Attribute(dlg, 1);
        Click(dlg, 513);
        SetDlgItemTextA(dlg, 16641, "5646");
        Apply(dlg);
        /* Brush: the built-in pattern 3 from the hatch names. */
        Attribute(dlg, 2);
        SendDlgItemMessageA(dlg, 16897, CB_SETCURSEL, 3, 0);
        SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(16897, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(dlg, 16897)));
        values.push_back(Text(dlg, 16641));
        Apply(dlg);
        /* Text colour by the red, green and blue edits and a scroll. */
        Attribute(dlg, 3);
        SetDlgItemTextA(dlg, 2052, "200");
        SetDlgItemTextA(dlg, 2053, "16");
        SetDlgItemTextA(dlg, 2054, "32");
        SendMessageA(dlg, WM_HSCROLL, SB_LINERIGHT, reinterpret_cast<LPARAM>(GetDlgItem(dlg, 2051)));
        values.push_back(Text(dlg, 16641));
        swatch_shown = (GetWindowLongA(GetDlgItem(dlg, 2055), GWL_STYLE) & WS_VISIBLE) != 0;
        SendDlgItemMessageA(dlg, 17409, CB_SETCURSEL, 4, 0);
        SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(17409, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(dlg, 17409)));
        SaveWindow(dlg, "knobset_style_colour.bmp");
        Apply(dlg);
        /* Background colour of the Sel'd state. */
        Attribute(dlg, 6);
        States(dlg, false, true, false);
        SetDlgItemTextA(dlg, 2052, "0");
        SetDlgItemTextA(dlg, 2053, "128");
        SetDlgItemTextA(dlg, 2054, "255");
        Apply(dlg);
        States(dlg, true, true, true);
        /* Second background colour: split 64 from the left. */
        Attribute(dlg, 7);
        SetDlgItemTextA(dlg, 2052, "255");
        SetDlgItemTextA(dlg, 2053, "255");
        SetDlgItemTextA(dlg, 2054, "0");
        SetDlgItemTextA(dlg, 34827, "64");
        Click(dlg, 34828);
        values.push_back(Text(dlg, 16641));
        Apply(dlg);
        /* Text position: top left, 3 right and 2 up in pixels, as a pair,
         * 12 characters a line, turned. */
        Attribute(dlg, 8);
        Click(dlg, 4096 + 5);
        SetDlgItemTextA(dlg, 4107, "3");
        SetDlgItemTextA(dlg, 4108, "-2");
        Click(dlg, 4109);
        Click(dlg, 4113);
        SetDlgItemTextA(dlg, 4114, "12");
        Click(dlg, 4115);
        values.push_back(Text(dlg, 16641));
        SaveWindow(dlg, "knobset_style_position.bmp");
        Apply(dlg);
        /* Bitmap position: bottom right, relative to the text. */
        Attribute(dlg, 9);
        Click(dlg, 8192 + 10);
        SetDlgItemTextA(dlg, 4107, "0");
        SetDlgItemTextA(dlg, 4108, "0");
        Click(dlg, 4110);
        Click(dlg, 8208);
        values.push_back(Text(dlg, 16641));
        Apply(dlg);
        /* Font: face, 12 points through the positioner, weight 600, bold
         * and italic. */
        Attribute(dlg, 10);
        SetDlgItemTextA(dlg, 16651, "Arial");
        /* The positioners report their changes to the dialog. */
        SendDlgItemMessageA(dlg, 16700, WM_USER + 289, 0x1020, 12);
        SendDlgItemMessageA(dlg, 16720, WM_USER + 289, 0x1020, 600);
        Click(dlg, 16672);
        Click(dlg, 16673);
        values.push_back(Text(dlg, 16641));
        SaveWindow(dlg, "knobset_style_font.bmp");
        Apply(dlg);

        /* The value lists hold a row per pair and scroll together. */
        for (int i = 0; i < 3; ++i) lists[i] = static_cast<long>(SendDlgItemMessageA(dlg, 108 + i, LB_GETCOUNT, 0, 0));
        SendDlgItemMessageA(dlg, 110, WM_VSCROLL, SB_BOTTOM, 0);
        for (int i = 0; i < 3; ++i) tops[i] = static_cast<long>(SendDlgItemMessageA(dlg, 108 + i, LB_GETTOPINDEX, 0, 0));

        SetDlgItemTextA(dlg, 124, "Shown below");
        PostMessageA(dlg, WM_COMMAND, IDOK, 0);
    });
    REQUIRE(ok == TRUE);
    CHECK(popup_shown == "Old hint");
    CHECK(positioners);
    CHECK(swatch_shown);
    CHECK(values == std::vector<std::string>{"3", "2110C8", "C000FFFF", "CDFE035", "20000A", "258090C Arial"});
    CHECK(lists[0] == 11);
    CHECK(lists[1] == lists[0]);
    CHECK(lists[2] == lists[0]);
    CHECK(tops[2] > 0);
    CHECK(tops[0] == tops[2]);
    CHECK(tops[1] == tops[2]);
    CHECK(std::string(style.szText) ==
          "0`241`131`Play`41`2A`472`5646`273`3`74`2110C8`25`FF8000`7F`C000FFFF`77`CDFE035`78`20000A"
          "`17B`258090C Arial`1D0`Old hint`1C0`Shown below");
    CHECK((style.flStyle & 0xF000) == KNBS_CHICAGO);
}

TEST_CASE("Cancel in the style dialog changes nothing", "[knobstyle]")
{
    CCSTYLEA style = {};
    style.flStyle = WS_CHILD | WS_VISIBLE | KNBS_CHICAGO;
    std::strcpy(style.szText, "0`241`171`Play`1D0`Hint");
    const CCSTYLEA before = style;
    BOOL ok = Run(style, [](HWND dlg) {
        Attribute(dlg, 3);
        SetDlgItemTextA(dlg, 2052, "255");
        Apply(dlg);
        CheckDlgButton(dlg, 204, BST_CHECKED);
        SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(204, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dlg, 204)));
        SetDlgItemTextA(dlg, 123, "Other");
        PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
    });
    CHECK(ok == FALSE);
    CHECK(std::memcmp(&style, &before, sizeof style) == 0);
}
