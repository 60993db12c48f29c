/* DlgX routing, background colour and one-shot initialisation; CCList
 * owner-draw lists: pictures drawn from the strip on pixels, measuring,
 * notifications, callbacks and clean-up. */
#include <catch2/catch.hpp>

#include "internal.h"
#include "dlgx.h"
#include "tundrix32.h"
#include "dialog_support.h"

#include <string>
#include <vector>

namespace {

struct Heard {
    UINT msg;
    WPARAM wp;
    LPARAM lp;
};
std::vector<Heard> g_dialog_heard;

INT_PTR CALLBACK DialogProc(HWND, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_COMMAND: case WM_DRAWITEM: case WM_MEASUREITEM: case WM_HSCROLL: case WM_CTLCOLOREDIT: case WM_CTLCOLORSTATIC:
    case WM_INITDIALOG:
        g_dialog_heard.push_back({msg, wp, lp});
        return msg == WM_INITDIALOG;
    default: return FALSE;
    }
}

/* A window that records what it is sent. */
std::vector<Heard> g_target_heard;
std::vector<HWND> g_target_windows;
LRESULT CALLBACK TargetProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_COMMAND) g_target_windows.push_back(w);
    if (msg == WM_COMMAND || msg == WM_DRAWITEM || msg == WM_HSCROLL || msg == WM_CTLCOLORSTATIC || msg == WM_CTLCOLOREDIT ||
        msg == WM_INITDIALOG) {
        g_target_heard.push_back({msg, wp, lp});
        return 0x55;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

HWND MakeTarget()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = TargetProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "DlgXTestTarget";
    RegisterClassA(&wc);
    return CreateWindowA("DlgXTestTarget", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

LRESULT CALLBACK Answer77(HWND, UINT, WPARAM, LPARAM) { return 77; }

size_t Count(const std::vector<Heard> &v, UINT msg)
{
    size_t n = 0;
    for (const Heard &h : v) n += h.msg == msg;
    return n;
}

void Pump()
{
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
}

struct Fixture {
    HWND dlg, target;
    UINT cmd;
    Fixture()
    {
        g_dialog_heard.clear();
        g_target_heard.clear();
        dlg = CreateDialogParamA(GetModuleHandleA(nullptr), "DLGX_DLG", nullptr, DialogProc, 0);
        target = MakeTarget();
        cmd = DlgXMessage();
        g_dialog_heard.clear();
    }
    ~Fixture()
    {
        DestroyWindow(dlg);
        DestroyWindow(target);
    }
    LRESULT Hook(UINT_PTR id, DWORD_PTR kinds, DLGXCALLBACK cb = nullptr, HWND to = nullptr)
    {
        DLGXHOOKREQUEST r = {id, to ? to : target, kinds, cb};
        return SendMessageA(dlg, cmd, DLGX_ADDHOOK, reinterpret_cast<LPARAM>(&r));
    }
    HWND Item(int id) const { return GetDlgItem(dlg, id); }
};

}  // namespace

TEST_CASE("DlgX routes a child's notifications to the first matching hook", "[dlgx]")
{
    Fixture f;
    REQUIRE(f.dlg);
    const LONG_PTR before = GetWindowLongPtrA(f.dlg, GWLP_WNDPROC);
    REQUIRE(InstallDlgX(f.dlg));
    CHECK(InstallDlgX(f.dlg));   /* once only */
    CHECK(SendMessageA(f.dlg, f.cmd, DLGX_GETOLDPROC, 0) == before);

    CHECK(f.Hook(999, DLGX_KIND_COMMAND) == 0);   /* no such control */
    HWND second = MakeTarget();
    g_target_windows.clear();
    REQUIRE(f.Hook(302, DLGX_KIND_COMMAND) == 1);
    REQUIRE(f.Hook(302, DLGX_KIND_COMMAND, nullptr, second) == 1);
    REQUIRE(f.Hook(300, DLGX_KIND_COMMAND) == 1);
    REQUIRE(f.Hook(304, DLGX_KIND_SCROLL) == 1);
    REQUIRE(f.Hook(305, DLGX_KIND_COLOUR) == 1);
    REQUIRE(f.Hook(303, DLGX_KIND_COLOUR) == 1);
    REQUIRE(f.Hook(308, DLGX_KIND_ITEM | DLGX_KIND_CALLBACK, Answer77) == 1);

    /* The first of two hooks for one control takes the command; the dialog never sees it. */
    CHECK(SendMessageA(f.dlg, WM_COMMAND, MAKEWPARAM(302, BN_CLICKED), reinterpret_cast<LPARAM>(f.Item(302))) == 0x55);
    CHECK(g_target_windows == std::vector<HWND>{f.target});
    CHECK(Count(g_dialog_heard, WM_COMMAND) == 0);

    /* A command-only hook does not see its list's drawing requests. */
    DRAWITEMSTRUCT dis = {};
    dis.CtlType = ODT_LISTBOX;
    dis.CtlID = 300;
    dis.itemID = static_cast<UINT>(-1);
    SendMessageA(f.dlg, WM_DRAWITEM, 300, reinterpret_cast<LPARAM>(&dis));
    CHECK(Count(g_target_heard, WM_DRAWITEM) == 0);
    CHECK(Count(g_dialog_heard, WM_DRAWITEM) == 1);

    /* A callback hook answers for the dialog. */
    dis.CtlID = 308;
    CHECK(SendMessageA(f.dlg, WM_DRAWITEM, 308, reinterpret_cast<LPARAM>(&dis)) == 77);

    /* Scroll messages by their control; the dialog's own bar is not routed. */
    SendMessageA(f.dlg, WM_HSCROLL, SB_LINEDOWN, reinterpret_cast<LPARAM>(f.Item(304)));
    SendMessageA(f.dlg, WM_HSCROLL, SB_LINEDOWN, reinterpret_cast<LPARAM>(f.dlg));
    CHECK(Count(g_target_heard, WM_HSCROLL) == 1);
    CHECK(Count(g_dialog_heard, WM_HSCROLL) == 1);

    /* Colour requests, but never WM_CTLCOLOREDIT. */
    HDC dc = GetDC(f.dlg);
    SendMessageA(f.dlg, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(f.Item(305)));
    SendMessageA(f.dlg, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(f.Item(303)));
    CHECK(Count(g_target_heard, WM_CTLCOLORSTATIC) == 1);
    CHECK(Count(g_target_heard, WM_CTLCOLOREDIT) == 0);
    CHECK(Count(g_dialog_heard, WM_CTLCOLOREDIT) == 1);

    /* Relay reaches the dialog past the hooks; removing takes the first hook. */
    DLGXRELAYREQUEST relay = {0, WM_COMMAND, MAKEWPARAM(302, BN_CLICKED), reinterpret_cast<LPARAM>(f.Item(302))};
    SendMessageA(f.dlg, f.cmd, DLGX_RELAY, reinterpret_cast<LPARAM>(&relay));
    CHECK(Count(g_dialog_heard, WM_COMMAND) == 1);
    CHECK(SendMessageA(f.dlg, f.cmd, DLGX_RELAY, 0) == 0);
    CHECK(SendMessageA(f.dlg, f.cmd, DLGX_REMOVEHOOK, 302) == 1);
    g_target_windows.clear();
    SendMessageA(f.dlg, WM_COMMAND, MAKEWPARAM(302, BN_CLICKED), reinterpret_cast<LPARAM>(f.Item(302)));
    CHECK(g_target_windows == std::vector<HWND>{second});   /* now the second hook has it */
    CHECK(Count(g_dialog_heard, WM_COMMAND) == 1);
    CHECK(SendMessageA(f.dlg, f.cmd, 99, 0) == 0);

    ReleaseDC(f.dlg, dc);
    CHECK(RemoveDlgX(f.dlg));
    CHECK_FALSE(RemoveDlgX(f.dlg));
    CHECK(GetWindowLongPtrA(f.dlg, GWLP_WNDPROC) == before);
    DestroyWindow(second);
}

TEST_CASE("DlgX background colour and one-shot initialisation", "[dlgx]")
{
    Fixture f;
    REQUIRE(InstallDlgX(f.dlg));
    HDC dc = GetDC(f.dlg);
    const LPARAM label = reinterpret_cast<LPARAM>(f.Item(305));
    CHECK(SendMessageA(f.dlg, f.cmd, DLGX_SETBKCOLOR, RGB(10, 20, 30)) == 0);
    LRESULT brush = SendMessageA(f.dlg, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), label);
    CHECK(brush != 0);
    CHECK(GetBkColor(dc) == RGB(10, 20, 30));
    LOGBRUSH lb = {};
    GetObjectA(reinterpret_cast<HBRUSH>(brush), sizeof lb, &lb);
    CHECK(lb.lbColor == RGB(10, 20, 30));
    CHECK(Count(g_dialog_heard, WM_CTLCOLORSTATIC) == 0);
    /* -1 removes it: the dialog answers again. */
    SendMessageA(f.dlg, f.cmd, DLGX_SETBKCOLOR, -1);
    SendMessageA(f.dlg, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), label);
    CHECK(Count(g_dialog_heard, WM_CTLCOLORSTATIC) == 1);
    ReleaseDC(f.dlg, dc);

    /* Init windows hear WM_INITDIALOG in order; fills run once. */
    HWND other = MakeTarget();
    CHECK(SendMessageA(f.dlg, f.cmd, DLGX_ADDINITWINDOW, reinterpret_cast<LPARAM>(f.target)) == 1);
    CHECK(SendMessageA(f.dlg, f.cmd, DLGX_ADDINITWINDOW, reinterpret_cast<LPARAM>(other)) == 1);
    DLGXFILLREQUEST combo = {f.Item(306), 2, MAKELONG(500, 503), 1};
    DLGXFILLREQUEST list = {f.Item(307), 4, MAKELONG(500, 503), 4};
    CHECK(SendMessageA(f.dlg, f.cmd, DLGX_ADDINITFILL, reinterpret_cast<LPARAM>(&combo)) == 1);
    CHECK(SendMessageA(f.dlg, f.cmd, DLGX_ADDINITFILL, reinterpret_cast<LPARAM>(&list)) == 1);
    SendMessageA(f.dlg, WM_INITDIALOG, 7, 8);
    REQUIRE(g_target_heard.size() == 2);
    CHECK(g_target_heard[0].wp == 7);
    CHECK(g_target_heard[0].lp == 8);
    CHECK(Count(g_dialog_heard, WM_INITDIALOG) == 1);
    CHECK(SendMessageA(f.Item(306), CB_GETCOUNT, 0, 0) == 3);   /* 502 is missing */
    CHECK(SendMessageA(f.Item(306), CB_GETCURSEL, 0, 0) == 1);
    CHECK(SendMessageA(f.Item(307), LB_GETCOUNT, 0, 0) == 3);
    CHECK(SendMessageA(f.Item(307), LB_GETCURSEL, 0, 0) == LB_ERR);   /* 4 is not below 4 */
    SendMessageA(f.dlg, WM_INITDIALOG, 7, 8);
    CHECK(g_target_heard.size() == 2);
    CHECK(SendMessageA(f.Item(306), CB_GETCOUNT, 0, 0) == 3);
    DestroyWindow(other);
}

namespace {

const COLORREF kCells[4] = {RGB(200, 0, 0), RGB(0, 200, 0), RGB(200, 200, 0), RGB(0, 200, 200)};
const COLORREF kKey = RGB(0, 0, 255);

/* A 64 x 16 strip: four cells of their own colour, each with a 4 x 4 key
 * square at its top-left corner. */
HBITMAP MakeStrip()
{
    HDC screen = GetDC(nullptr);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 64, 16);
    HDC mem = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(mem, bmp);
    for (int c = 0; c < 4; ++c) {
        RECT r = {c * 16, 0, c * 16 + 16, 16};
        HBRUSH b = CreateSolidBrush(kCells[c]);
        FillRect(mem, &r, b);
        DeleteObject(b);
        RECT k = {c * 16, 0, c * 16 + 4, 4};
        HBRUSH kb = CreateSolidBrush(kKey);
        FillRect(mem, &k, kb);
        DeleteObject(kb);
    }
    SelectObject(mem, old);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return bmp;
}

/* A 32-bit canvas to draw items into. */
struct Canvas {
    HDC dc;
    HBITMAP bmp;
    HGDIOBJ old;
    DWORD *bits = nullptr;
    int w, h;
    Canvas(int width, int height) : w(width), h(height)
    {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        void *p = nullptr;
        bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<DWORD *>(p);
        dc = CreateCompatibleDC(nullptr);
        old = SelectObject(dc, bmp);
        for (int i = 0; i < w * h; ++i) bits[i] = 0x123456;
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bmp);
    }
    COLORREF At(int x, int y) const
    {
        DWORD v = bits[y * w + x];
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
};

std::vector<WPARAM> g_sel_changes;
LRESULT CALLBACK SelHandled(CCLISTSTATE *, HWND, WPARAM wp)
{
    g_sel_changes.push_back(wp);
    return 1;
}
LRESULT CALLBACK AddAnswers42(CCLISTSTATE *, HWND, LPARAM) { return 42; }

}  // namespace

TEST_CASE("CCList draws each item's picture cell, indent and text on pixels", "[cclist]")
{
    Fixture f;
    HWND list = f.Item(300);
    HBITMAP strip = MakeStrip();
    CCLISTSTATE *s = CCListCtor(list, strip, 16, 16);
    REQUIRE(s);
    CHECK(s->columns == 4);
    CHECK(s->rows == 1);
    CHECK(s->isCombo == FALSE);
    CHECK(s->controlId == 300);
    CHECK(s->keyColour == 0xFF0000);
    CHECK(s->dialogProc != nullptr);

    CHECK(LBInsertODItem(list, -1, "Fourth", 0x02000005, 3, 0, 0, FALSE) == 0);
    CHECK(LBInsertODItem(list, -1, "Indented", 0, 1, 0, 2, FALSE) == 1);
    CHECK(LBInsertODItem(list, 0, "First", 0, 0, 0, 0, FALSE) == 0);
    CHECK(SendMessageA(list, LB_GETITEMDATA, 1, 0) == 0x52000003);
    CHECK(SendMessageA(list, LB_GETITEMDATA, 2, 0) == 0x00020001);

    auto draw = [&](UINT item, UINT state, Canvas &c) {
        DRAWITEMSTRUCT d = {};
        d.CtlType = ODT_LISTBOX;
        d.CtlID = 300;
        d.itemID = item;
        d.itemAction = ODA_DRAWENTIRE;
        d.itemState = state;
        d.hwndItem = list;
        d.hDC = c.dc;
        d.rcItem = {0, 0, c.w, 18};
        d.itemData = static_cast<ULONG_PTR>(SendMessageA(list, LB_GETITEMDATA, item, 0));
        return SendMessageA(f.dlg, WM_DRAWITEM, 300, reinterpret_cast<LPARAM>(&d));
    };
    {
        Canvas c(160, 18);
        CHECK(draw(1, 0, c) == TRUE);
        CHECK(c.At(4 + 8, 1 + 8) == kCells[3]);   /* column 3: the fourth picture */
        CHECK(c.At(4 + 1, 1 + 1) == s->backColour);   /* key pixels show the background */
        CHECK(c.At(150, 10) == s->backColour);   /* the row is filled opaque */
        CHECK(c.At(2, 10) == s->backColour);
    }
    {
        Canvas c(160, 18);
        draw(2, 0, c);
        /* Indent 2: the picture starts 8 pixels further right. */
        CHECK(c.At(4 + 8 + 1, 1 + 8) == kCells[1]);
        CHECK(c.At(4 + 1, 1 + 8) == s->backColour);
        CHECK(c.At(12 + 15, 1 + 8) == kCells[1]);
        CHECK(c.At(12 + 16, 1 + 8) == s->backColour);
    }
    {
        Canvas c(160, 18);
        draw(0, ODS_SELECTED, c);
        CHECK(c.At(4 + 8, 1 + 8) == kCells[0]);
        CHECK(c.At(4 + 1, 1 + 1) == s->selBackColour);
        CHECK(c.At(150, 10) == s->selBackColour);
    }
    CHECK(Count(g_dialog_heard, WM_DRAWITEM) == 0);

    /* Measuring: at least 16 pixels. */
    MEASUREITEMSTRUCT m = {};
    m.CtlType = ODT_LISTBOX;
    m.CtlID = 300;
    SendMessageA(f.dlg, WM_MEASUREITEM, 300, reinterpret_cast<LPARAM>(&m));
    CHECK(m.itemHeight >= 16);

    /* The list paints itself through the same path. */
    {
        Canvas c(200, 100);
        RECT r;
        SendMessageA(list, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&r));
        SendMessageA(list, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(c.dc), PRF_CLIENT);
        CHECK(c.At(r.left + 4 + 8, r.top + 1 + 8) == kCells[3]);
    }

    /* Destroying the list deletes the strip and stops the routing. */
    DestroyWindow(list);
    CHECK(GetObjectType(strip) == 0);
    DRAWITEMSTRUCT d = {};
    d.CtlID = 300;
    d.itemID = static_cast<UINT>(-1);
    g_dialog_heard.clear();
    SendMessageA(f.dlg, WM_DRAWITEM, 300, reinterpret_cast<LPARAM>(&d));
    CHECK(Count(g_dialog_heard, WM_DRAWITEM) == 1);
}

TEST_CASE("CCList notifications, callbacks and a list without pictures", "[cclist]")
{
    Fixture f;
    SECTION("a combo box selection reaches the dialog twice, the second time later with code 0x400") {
        HWND combo = f.Item(301);
        CCLISTSTATE *s = CCListCtor(combo, nullptr, 16, 16);
        REQUIRE(s);
        CHECK(s->isCombo);
        LBInsertODItem(combo, -1, "a", 0, 0, 0, 0, TRUE);
        SendMessageA(f.dlg, WM_COMMAND, MAKEWPARAM(301, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
        REQUIRE(g_dialog_heard.size() == 1);
        CHECK(HIWORD(g_dialog_heard[0].wp) == CBN_SELCHANGE);
        Pump();
        REQUIRE(g_dialog_heard.size() == 2);
        CHECK(g_dialog_heard[1].wp == MAKEWPARAM(301, 0x400));
        /* A callback that handles it keeps it from the dialog. */
        s->onSelChange = SelHandled;
        g_dialog_heard.clear();
        g_sel_changes.clear();
        SendMessageA(f.dlg, WM_COMMAND, MAKEWPARAM(301, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
        CHECK(g_sel_changes.size() == 1);
        CHECK(g_dialog_heard.empty());
        Pump();
        CHECK(g_dialog_heard.size() == 1);
    }
    SECTION("a control message callback replaces the control's handling; the original stays reachable") {
        HWND list = f.Item(308);
        CCLISTSTATE *s = CCListCtor(list, nullptr, 0, 0);
        REQUIRE(s);
        s->onAdd = AddAnswers42;
        CHECK(SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("x")) == 42);
        CHECK(SendMessageA(list, LB_GETCOUNT, 0, 0) == 0);
        CHECK(CCListCallWindowProc(s, list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("plain")) == 0);
        CHECK(SendMessageA(list, LB_GETCOUNT, 0, 0) == 1);
        CHECK(GetWindowLongPtrA(list, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(CCListWndProc));
        /* The list answers the dialog's WM_INITDIALOG with 1. */
        CHECK(SendMessageA(list, WM_INITDIALOG, 0, 0) == 1);

        /* Without a bitmap the text is drawn opaque from left + 4. */
        Canvas c(120, 18);
        DRAWITEMSTRUCT d = {};
        d.CtlType = ODT_LISTBOX;
        d.CtlID = 308;
        d.itemID = 0;
        d.itemAction = ODA_DRAWENTIRE;
        d.hwndItem = list;
        d.hDC = c.dc;
        d.rcItem = {0, 0, 120, 18};
        SendMessageA(f.dlg, WM_DRAWITEM, 308, reinterpret_cast<LPARAM>(&d));
        CHECK(c.At(110, 2) == s->backColour);
        bool ink = false;
        for (int x = 4; x < 40; ++x)
            for (int y = 0; y < 18; ++y) ink = ink || c.At(x, y) == s->textColour;
        CHECK(ink);
        for (int y = 0; y < 18; ++y) CHECK(c.At(2, y) == s->backColour);
    }
}

namespace {

/* The dialog procedure of the positioner dialogs: its own scroll-bar brush,
 * and a count of the extension's announcements. */
HBRUSH g_scroll_brush;
int g_notified;

INT_PTR CALLBACK PlacetDialogProc(HWND, UINT msg, WPARAM wp, LPARAM)
{
    if (msg == DlgXNotifyMessage()) {
        if (wp == 1) ++g_notified;
        return TRUE;
    }
    if (msg == WM_CTLCOLORSCROLLBAR) return reinterpret_cast<INT_PTR>(g_scroll_brush);
    return msg == WM_INITDIALOG;
}

LONG PositionerValue(HWND dlg) { return static_cast<LONG>(SendDlgItemMessageA(dlg, 400, WM_USER + 288, 0x1600, 0)); }

/* The positioner follows its parts and answers their colour messages with
 * the dialog's own colours. */
void CheckPositionerParts(HWND dlg, UINT cmd)
{
    CHECK(PositionerValue(dlg) == 20);
    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(403, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dlg, 403)));
    CHECK(PositionerValue(dlg) == 21);
    HDC dc = GetDC(dlg);
    CHECK(SendMessageA(dlg, WM_CTLCOLORSCROLLBAR, reinterpret_cast<WPARAM>(dc),
                       reinterpret_cast<LPARAM>(GetDlgItem(dlg, 402))) == reinterpret_cast<LRESULT>(g_scroll_brush));
    SendMessageA(dlg, cmd, DLGX_SETBKCOLOR, RGB(40, 50, 60));
    LRESULT brush = SendMessageA(dlg, WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(GetDlgItem(dlg, 405)));
    LOGBRUSH lb = {};
    CHECK(GetObjectA(reinterpret_cast<HBRUSH>(brush), sizeof lb, &lb) == sizeof lb);
    CHECK(lb.lbColor == RGB(40, 50, 60));
    CHECK(GetBkColor(dc) == RGB(40, 50, 60));
    ReleaseDC(dlg, dc);
}

}  // namespace

TEST_CASE("A positioner and the toolkit share one extension on a dialog", "[dlgx]")
{
    ControlsLoaded controls;
    REQUIRE(controls.ok);
    HMODULE placet = GetModuleHandleA("Placet.dll");
    REQUIRE(placet);
    const LONG_PTR placet_proc = reinterpret_cast<LONG_PTR>(GetProcAddress(placet, "DlgXProc"));
    REQUIRE(placet_proc);
    REQUIRE(placet_proc != reinterpret_cast<LONG_PTR>(DlgXProc));
    g_scroll_brush = CreateSolidBrush(RGB(1, 2, 3));
    const UINT cmd = DlgXMessage();

    SECTION("the positioner extends the dialog first")
    {
        g_notified = 0;
        HWND dlg = CreateDialogParamA(GetModuleHandleA(nullptr), "DLGX_PLACET", nullptr, PlacetDialogProc, 0);
        REQUIRE(dlg);
        CHECK(g_notified == 1);
        CHECK(GetWindowLongPtrA(dlg, GWLP_WNDPROC) == placet_proc);
        const LRESULT under = SendMessageA(dlg, cmd, DLGX_GETOLDPROC, 0);
        CHECK(InstallDlgX(dlg));
        CHECK(GetWindowLongPtrA(dlg, GWLP_WNDPROC) == placet_proc);   /* not subclassed again */
        CHECK(SendMessageA(dlg, cmd, DLGX_GETOLDPROC, 0) == under);
        CHECK(DlgXUseCount(dlg) == 2);
        CheckPositionerParts(dlg, cmd);
        DestroyWindow(dlg);
    }
    SECTION("the toolkit extends the dialog first")
    {
        g_notified = 0;
        HWND dlg = CreateDialogParamA(GetModuleHandleA(nullptr), "DLGX_PARTS", nullptr, PlacetDialogProc, 0);
        REQUIRE(dlg);
        REQUIRE(InstallDlgX(dlg));
        const LONG_PTR ours = GetWindowLongPtrA(dlg, GWLP_WNDPROC);
        CHECK(ours == reinterpret_cast<LONG_PTR>(DlgXProc));
        HWND positioner = CreateWindowExA(0, "Placet", "0`1`150`0`160`100`170`20`180`1", WS_CHILD | WS_VISIBLE, 0, 0,
                                          40, 12, dlg, reinterpret_cast<HMENU>(400), GetModuleHandleA(nullptr), nullptr);
        REQUIRE(positioner);
        CHECK(GetWindowLongPtrA(dlg, GWLP_WNDPROC) == ours);
        CHECK(DlgXUseCount(dlg) == 2);
        /* The dialog initialises: the toolkit's copy forwards it to the
         * positioner and, for Placet, announces it. */
        SendMessageA(dlg, WM_INITDIALOG, 0, 0);
        CHECK(g_notified == 1);
        CheckPositionerParts(dlg, cmd);
        /* A positioner that goes takes its hooks, not the extension. */
        DestroyWindow(positioner);
        CHECK(GetWindowLongPtrA(dlg, GWLP_WNDPROC) == ours);
        CHECK(SendMessageA(dlg, WM_CTLCOLORSCROLLBAR, 0, reinterpret_cast<LPARAM>(GetDlgItem(dlg, 402))) ==
              reinterpret_cast<LRESULT>(g_scroll_brush));
        DestroyWindow(dlg);
    }
    DeleteObject(g_scroll_brush);
}
