/* The "Knobset" button in a dialog made from a template: states, clicks and
 * notifications, messages, the property model and its face on pixels. */
#include "knobset.h"

#include <catch2/catch.hpp>
#include <custcntl.h>
#include <cstring>
#include <string>
#include <vector>

extern "C" BOOL WINAPI CheckVersion(DWORD);
extern "C" BOOL WINAPI KnobsetRegister(DWORD);
extern "C" BOOL WINAPI KnobsetUnregister(void);
extern "C" UINT WINAPI CustomControlInfoA(LPCCINFOA);
extern "C" BOOL WINAPI REGRegisterYourself(HMODULE);

namespace {

struct Note {
    int id, code;
    bool operator==(const Note &o) const { return id == o.id && code == o.code; }
};
std::vector<Note> g_notes;
HBRUSH g_ctlcolor;

INT_PTR CALLBACK RecordProc(HWND, UINT msg, WPARAM wp, LPARAM)
{
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && LOWORD(wp) >= 10 && LOWORD(wp) < 40) g_notes.push_back({LOWORD(wp), HIWORD(wp)});
    if (msg == WM_CTLCOLORBTN && g_ctlcolor) return reinterpret_cast<INT_PTR>(g_ctlcolor);
    return FALSE;
}

void Pump()
{
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
}

struct Dialog {
    HWND hwnd;
    Dialog()
    {
        g_notes.clear();
        hwnd = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(300), nullptr, RecordProc, 0);
        REQUIRE(hwnd);
        Pump();
        g_notes.clear();
    }
    ~Dialog() { DestroyWindow(hwnd); }
    HWND item(int id) const { return GetDlgItem(hwnd, id); }
    LPARAM centre(int id) const
    {
        RECT r;
        GetClientRect(item(id), &r);
        return MAKELPARAM(r.right / 2, r.bottom / 2);
    }
    void click(int id, WPARAM keys = 0) const
    {
        SendMessageA(item(id), WM_LBUTTONDOWN, MK_LBUTTON | keys, centre(id));
        SendMessageA(item(id), WM_LBUTTONUP, keys, centre(id));
        Pump();
    }
    DWORD state(int id) const { return static_cast<DWORD>(SendMessageA(item(id), KNBM_GETSTATE, 0, 0)); }
};

/* Paints a window's client area into a 32-bit DIB and reads pixels from it. */
struct Capture {
    int w = 0, h = 0;
    std::vector<DWORD> px;
    explicit Capture(HWND wnd)
    {
        RECT r;
        GetClientRect(wnd, &r);
        w = r.right;
        h = r.bottom;
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        void *bits = nullptr;
        HDC dc = CreateCompatibleDC(nullptr);
        HBITMAP bm = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(dc, bm);
        SendMessageA(wnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        GdiFlush();
        px.assign(static_cast<const DWORD *>(bits), static_cast<const DWORD *>(bits) + w * h);
        SelectObject(dc, old);
        DeleteObject(bm);
        DeleteDC(dc);
    }
    COLORREF at(int x, int y) const
    {
        DWORD p = px[static_cast<size_t>(y * w + x)];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    int count(COLORREF c) const
    {
        int n = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) n += at(x, y) == c;
        return n;
    }
};

} // namespace

TEST_CASE("The button library answers version, registration and editor questions", "[knobset]")
{
    CHECK(CheckVersion(0x0241074A) == TRUE);
    CHECK(CheckVersion(0x0241074B) == FALSE);
    CHECK(KnobsetRegister(0x02410000) == TRUE);
    CHECK(KnobsetUnregister() == TRUE);
    CHECK(GlobalFindAtomA("Knobset-Halvard-32") != 0);
    CHECK(GlobalFindAtomA("FontAtom for Knobset - Halvard") != 0);
    WNDCLASSA wc;
    CHECK(GetClassInfoA(GetModuleHandleA("Knobkit.dll"), "CCWND", &wc));

    CHECK(CustomControlInfoA(nullptr) == 1);
    CCINFOA info;
    REQUIRE(CustomControlInfoA(&info) == 1);
    CHECK(std::string(info.szClass) == "Knobset");
    CHECK(std::string(info.szDesc) == "Knobset!!!");
    CHECK(std::string(info.szTextDefault) == "0`2`171`Knobset");
    CHECK(info.flStyleDefault == 0x5000D001);
    CHECK(info.cxDefault == 40);
    CHECK(info.cyDefault == 14);
    REQUIRE(info.cStyleFlags == 24);
    CHECK(std::string(info.aStyleFlags[0].pszStyle) == "KNBS_FLAT");
    CHECK(info.aStyleFlags[11].flStyle == KNBS_TABLOOK);
    CHECK(info.aStyleFlags[11].flStyleMask == 0xF000);
    CHECK(std::string(info.aStyleFlags[23].pszStyle) == "KNBS_STATIC");
}

TEST_CASE("Registration with the library loader", "[knobset]")
{
    typedef const char *(WINAPI * NamesFn)(void);
    typedef int(WINAPI * CallsFn)(void);
    /* A module that exports neither name: nothing to call. */
    CHECK(REGRegisterYourself(GetModuleHandleA(nullptr)) == FALSE);
    CHECK(REGRegisterYourself(nullptr) == FALSE);

    /* Only REGRegisterLibrary: its result comes back unchanged. */
    HMODULE one = LoadLibraryA("regone.dll");
    REQUIRE(one);
    CHECK(REGRegisterYourself(one) == 7);
    CHECK(reinterpret_cast<CallsFn>(GetProcAddress(one, "RegStubCalls"))() == 1);

    /* Both: the library, then the names "Knobset" and "CCWnd". */
    HMODULE both = LoadLibraryA("regboth.dll");
    REQUIRE(both);
    CHECK(REGRegisterYourself(both) == TRUE);
    CHECK(std::string(reinterpret_cast<NamesFn>(GetProcAddress(both, "RegStubNames"))()) == "Knobset,CCWnd");
    FreeLibrary(one);
    FreeLibrary(both);
}

TEST_CASE("Clicks, check and radio buttons and their notifications", "[knobset]")
{
    Dialog d;
    SECTION("a push button clicks on release over it, not after moving off")
    {
        d.click(10);
        CHECK(g_notes == std::vector<Note>{{10, KNBN_CLICKED}});
        CHECK_FALSE(d.state(10) & KNBST_SELECTED);
        g_notes.clear();
        HWND b = d.item(10);
        SendMessageA(b, WM_LBUTTONDOWN, MK_LBUTTON, d.centre(10));
        CHECK(d.state(10) & KNBST_SELECTED);
        SendMessageA(b, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(500, 500));
        CHECK_FALSE(d.state(10) & KNBST_SELECTED);
        SendMessageA(b, WM_LBUTTONUP, 0, MAKELPARAM(500, 500));
        Pump();
        CHECK(g_notes.empty());
        SendMessageA(b, WM_LBUTTONDOWN, MK_LBUTTON, d.centre(10));
        SendMessageA(b, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(500, 500));
        SendMessageA(b, WM_MOUSEMOVE, MK_LBUTTON, d.centre(10));
        SendMessageA(b, WM_LBUTTONUP, 0, d.centre(10));
        Pump();
        CHECK(g_notes == std::vector<Note>{{10, KNBN_CLICKED}});
        /* BM_CLICK on a plain push button does nothing. */
        g_notes.clear();
        SendMessageA(b, BM_CLICK, 0, 0);
        Pump();
        CHECK(g_notes.empty());
        CHECK(SendMessageA(b, WM_GETDLGCODE, 0, 0) & DLGC_BUTTON);
    }
    SECTION("an auto check button toggles; verbose codes carry Shift")
    {
        d.click(11);
        CHECK(SendMessageA(d.item(11), BM_GETCHECK, 0, 0) == 1);
        CHECK(g_notes == std::vector<Note>{{11, KNBN_PRESSED}, {11, KNBN_CLICKED}, {11, KNBN_RELEASED}});
        g_notes.clear();
        SendMessageA(d.item(11), WM_KEYDOWN, VK_SHIFT, 0);
        d.click(11);
        CHECK(SendMessageA(d.item(11), BM_GETCHECK, 0, 0) == 0);
        CHECK(g_notes == std::vector<Note>{{11, KNBN_PRESSED | 0x8000}, {11, 0x8000}, {11, KNBN_RELEASED | 0x8000}});
        SendMessageA(d.item(11), WM_KEYUP, VK_SHIFT, 0);
        /* Window style shows the standard type to dialog managers. */
        CHECK((GetWindowLongA(d.item(11), GWL_STYLE) & 0xFF) == 3);
    }
    SECTION("auto radio buttons uncheck the rest of their group")
    {
        d.click(12);
        CHECK(SendMessageA(d.item(12), BM_GETCHECK, 0, 0) == 1);
        d.click(14);
        CHECK(SendMessageA(d.item(12), BM_GETCHECK, 0, 0) == 0);
        CHECK(SendMessageA(d.item(14), BM_GETCHECK, 0, 0) == 1);
        SendMessageA(d.item(13), BM_CLICK, 0, 0);
        CHECK(SendMessageA(d.item(13), BM_GETCHECK, 0, 0) == 1);
        CHECK(SendMessageA(d.item(14), BM_GETCHECK, 0, 0) == 0);
        CHECK(SendMessageA(d.item(13), WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON);
        CHECK((GetWindowLongA(d.item(13), GWL_STYLE) & 0xFF) == 9);
        /* BM_SETCHECK is programmatic: it sets the bit without a click. */
        Pump();
        g_notes.clear();
        SendMessageA(d.item(12), BM_SETCHECK, 1, 0);
        CHECK(SendMessageA(d.item(12), BM_GETCHECK, 0, 0) == 1);
        Pump();
        CHECK(g_notes.empty());
    }
    SECTION("a press-click button clicks on the press")
    {
        SendMessageA(d.item(15), WM_LBUTTONDOWN, MK_LBUTTON, d.centre(15));
        Pump();
        CHECK(g_notes == std::vector<Note>{{15, KNBN_CLICKED}});
        SendMessageA(d.item(15), WM_LBUTTONUP, 0, d.centre(15));
        Pump();
        CHECK(g_notes.size() == 1);
    }
    SECTION("a repeating button posts clicks while held")
    {
        SendMessageA(d.item(16), WM_LBUTTONDOWN, MK_LBUTTON, d.centre(16));
        DWORD start = GetTickCount();
        while (g_notes.size() < 3 && GetTickCount() - start < 5000) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            Pump();
        }
        CHECK(g_notes.size() >= 3);
        SendMessageA(d.item(16), WM_LBUTTONUP, 0, d.centre(16));
        Pump();
        size_t n = g_notes.size();
        Sleep(200);
        Pump();
        CHECK(g_notes.size() == n);  /* no repeats after the release */
    }
    SECTION("a static button takes no input")
    {
        CHECK(SendMessageA(d.item(17), WM_NCHITTEST, 0, 0) == HTTRANSPARENT);
        SetFocus(d.item(17));
        CHECK(GetFocus() != d.item(17));
        d.click(17);
        CHECK(g_notes.empty());
        CHECK(SendMessageA(d.item(17), WM_GETDLGCODE, 0, 0) & DLGC_STATIC);
    }
    SECTION("space clicks a focused button")
    {
        SendMessageA(d.item(10), WM_KEYDOWN, VK_SPACE, 0);
        CHECK(d.state(10) & KNBST_SELECTED);
        SendMessageA(d.item(10), WM_KEYUP, VK_SPACE, 0);
        Pump();
        CHECK(g_notes == std::vector<Note>{{10, KNBN_CLICKED}});
    }
}

TEST_CASE("Messages of the button", "[knobset]")
{
    Dialog d;
    HWND b = d.item(10);
    CHECK(SendMessageA(b, KNBM_GETVERSION, 1, 0) == 2);
    CHECK(SendMessageA(b, KNBM_GETVERSION, 2, 0) == KNOBKIT_VERSION);
    CHECK(SendMessageA(b, KNBM_GETVERSION, 3, 0) == 0);
    SendMessageA(b, KNBM_SETPROP, 0, 0x241);
    CHECK(SendMessageA(b, KNBM_GETVERSION, 1, 0) == 0x02410000);

    /* Style operations keep the look and report the new flags. */
    CHECK(SendMessageA(b, KNBM_STYLEOP, 5, KNBS_VERBOSE) & KNBS_VERBOSE);
    CHECK(SendMessageA(b, KNBM_STYLEOP, 3, KNBS_VERBOSE) == 1);
    SendMessageA(b, KNBM_STYLEOP, 6, KNBS_VERBOSE);
    CHECK(SendMessageA(b, KNBM_STYLEOP, 2, KNBS_VERBOSE) == 0);

    /* BM_SETSTATE selects programmatically; BM_SETSTYLE 1 makes it the default. */
    SendMessageA(b, BM_SETSTATE, 1, 0);
    CHECK(SendMessageA(b, BM_GETSTATE, 0, 0) & KNBST_SELECTED);
    SendMessageA(b, BM_SETSTATE, 0, 0);
    CHECK_FALSE(SendMessageA(b, BM_GETSTATE, 0, 0) & KNBST_SELECTED);
    SendMessageA(b, BM_SETSTYLE, 1, 0);
    CHECK(SendMessageA(b, BM_GETSTATE, 0, 0) & KNBST_DEFAULT);
    CHECK(SendMessageA(b, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON);

    /* The notification target. */
    CHECK(SendMessageA(b, KNBM_SETTARGET, 11, 0) == 1);
    uintptr_t v = 0;
    CHECK(SendMessageA(b, KNBM_GETPROP, 0xB0, reinterpret_cast<LPARAM>(&v)) == 1);
    CHECK(reinterpret_cast<HWND>(v) == d.item(11));
    CHECK(SendMessageA(b, KNBM_SETTARGET, 0, 0) == 1);

    /* Property strings: stored only by KNBM_SETPROPSTRING. */
    char buf[32];
    CHECK(SendMessageA(b, KNBM_GETPROPSTRINGLEN, 0, 0) == 0);
    CHECK(SendMessageA(b, KNBM_SETPROPSTRING, 0, reinterpret_cast<LPARAM>("0`2`171`Knobset")) == 1);
    CHECK(SendMessageA(b, KNBM_GETPROPSTRINGLEN, 0, 0) == 15);
    CHECK(SendMessageA(b, KNBM_GETPROPSTRING, 5, reinterpret_cast<LPARAM>(buf)) == 4);
    CHECK(std::string(buf) == "0`2`");
    CHECK(SendMessageA(b, KNBM_SETPROPSTRING, 0, 0) == 0);
    GetWindowTextA(b, buf, sizeof buf);
    CHECK(std::string(buf) == "Knobset");
    SetWindowTextA(b, "Stop");
    GetWindowTextA(b, buf, sizeof buf);
    CHECK(std::string(buf) == "Stop");
    CHECK(SendMessageA(b, KNBM_GETPROPSTRINGLEN, 0, 0) == 15);
    /* "0`2`171" applies the version only: the faces are reset, the text is gone. */
    CHECK(SendMessageA(b, KNBM_APPLYPROPS, 0, reinterpret_cast<LPARAM>("0`2`171")) == 1);
    CHECK(GetWindowTextLengthA(b) == 0);
    /* Refused attributes fail the apply; the rest still take effect. */
    CHECK(SendMessageA(b, KNBM_APPLYPROPS, 0, reinterpret_cast<LPARAM>("0`2`7A`1`171`Ok")) == 0);
    GetWindowTextA(b, buf, sizeof buf);
    CHECK(std::string(buf) == "Ok");
    CHECK(SendMessageA(b, KNBM_APPLYPROPS, 0, 0) == 0);
    CHECK(SendMessageA(b, KNBM_APPLYPROPS, 0, reinterpret_cast<LPARAM>("")) == 0);
}

TEST_CASE("The property model reads, resets and shares face attributes", "[knobset]")
{
    Dialog d;
    HWND b = d.item(18);
    uintptr_t v = 0;
    /* "alone" in every state; the pressed face is white on grey. */
    CHECK(SendMessageA(b, KNBM_GETPROP, 0x75, reinterpret_cast<LPARAM>(&v)) == 0);  /* only Sel'd has a colour */
    CHECK(SendMessageA(b, KNBM_GETPROP, 0x24, reinterpret_cast<LPARAM>(&v)) == 1);
    CHECK(v == 0xFFFFFF);
    CHECK(SendMessageA(b, KNBM_GETPROP, 0x25, reinterpret_cast<LPARAM>(&v)) == 1);
    CHECK(v == 0x808080);
    CHECK(SendMessageA(b, KNBM_GETPROP, 0x71, reinterpret_cast<LPARAM>(&v)) == 1);
    CHECK(std::string(reinterpret_cast<const char *>(v)) == "alone");

    SendMessageA(b, KNBM_SETPROP, 0x14, 0x0000FF);
    SendMessageA(b, KNBM_SETPROP, 0x44, 0x00FF00);
    CHECK(SendMessageA(b, KNBM_GETPROP, 0x74, reinterpret_cast<LPARAM>(&v)) == 0);  /* states disagree */
    CHECK(SendMessageA(b, KNBM_GETPROP, 0x14, reinterpret_cast<LPARAM>(&v)) == 1);
    CHECK(v == 0x0000FF);

    /* A bitmap of the library in all states; resetting "Up" keeps the others. */
    CHECK(SendMessageA(b, KNBM_APPLYPROPS, 0, reinterpret_cast<LPARAM>("0`2`472`5646")) == 1);
    uintptr_t up = 0, sel = 0;
    CHECK(SendMessageA(b, KNBM_GETPROP, 0x12, reinterpret_cast<LPARAM>(&up)) == 1);
    BITMAP bm;
    REQUIRE(GetObjectA(reinterpret_cast<HBITMAP>(up), sizeof bm, &bm));
    CHECK(bm.bmWidth == 16);
    SendMessageA(b, KNBM_RESETPROP, 0x12, 0);
    CHECK(SendMessageA(b, KNBM_GETPROP, 0x12, reinterpret_cast<LPARAM>(&v)) == 0);
    CHECK(SendMessageA(b, KNBM_GETPROP, 0x22, reinterpret_cast<LPARAM>(&sel)) == 1);
    CHECK(GetObjectA(reinterpret_cast<HBITMAP>(sel), sizeof bm, &bm));  /* still alive */

    /* A bitmap that cannot be loaded falls back to the library's picture 32000. */
    CHECK(SendMessageA(b, KNBM_APPLYPROPS, 0, reinterpret_cast<LPARAM>("0`2`472`7777")) == 1);
    CHECK(SendMessageA(b, KNBM_GETPROP, 0x72, reinterpret_cast<LPARAM>(&v)) == 1);

    /* Built-in brush pattern 3 in all states. */
    CHECK(SendMessageA(b, KNBM_APPLYPROPS, 0, reinterpret_cast<LPARAM>("0`2`273`3")) == 1);
    CHECK(SendMessageA(b, KNBM_GETPROP, 0x73, reinterpret_cast<LPARAM>(&v)) == 1);

    /* Control-level codes: readable style words, unknown codes refused. */
    CHECK(SendMessageA(b, KNBM_GETPROP, 0xF0, reinterpret_cast<LPARAM>(&v)) == 1);
    CHECK((v & KNBS_LOOKMASK) == KNBS_FLAT);
    CHECK(SendMessageA(b, KNBM_SETPROP, 0x90, 1) == 0);
    CHECK(SendMessageA(b, KNBM_SETPROP, 0x7A, 1) == 0);
}

TEST_CASE("Faces on pixels", "[knobset]")
{
    Dialog d;
    HWND b = d.item(18);
    SECTION("background colour, pressed colours and bevel pens")
    {
        Capture up(b);
        CHECK(up.count(RGB(0x80, 0x80, 0x80)) == 0);  /* the grey belongs to the pressed face */
        SendMessageA(b, BM_SETSTATE, 1, 0);
        Capture sel(b);
        CHECK(sel.at(2, 2) == RGB(0x80, 0x80, 0x80));
        CHECK(sel.count(RGB(255, 255, 255)) > 0);  /* white text */
        SendMessageA(b, BM_SETSTATE, 0, 0);

        SendMessageA(b, KNBM_STYLEOP, 4, KNBS_RAISED);
        SendMessageA(b, KNBM_APPLYPROPS, 0, reinterpret_cast<LPARAM>("0`2`75`C0C0C0"));
        Capture bev(b);
        CHECK(bev.at(0, 0) == RGB(0xFF, 0xFF, 0xFF));
        CHECK(bev.at(bev.w - 1, bev.h - 1) == RGB(0x7F, 0x7F, 0x7F));
        CHECK(bev.at(bev.w / 2, bev.h / 2) == RGB(0xC0, 0xC0, 0xC0));
    }
    SECTION("an uncoloured face takes the dialog's WM_CTLCOLORBTN brush")
    {
        SendMessageA(b, KNBM_APPLYPROPS, 0, reinterpret_cast<LPARAM>("0`2`"));
        g_ctlcolor = CreateSolidBrush(RGB(0, 0, 255));
        Capture c(b);
        DeleteObject(g_ctlcolor);
        g_ctlcolor = nullptr;
        CHECK(c.at(c.w / 2, c.h / 2) == RGB(0, 0, 255));
    }
    SECTION("a grid bitmap shows its chosen cell")
    {
        /* Cell (column 1, row 0) of a 2 x 2 grid: green. */
        SendMessageA(b, KNBM_APPLYPROPS, 0, reinterpret_cast<LPARAM>("0`2`75`0`472`11105646"));
        Capture c(b);
        CHECK(c.at(c.w / 2, c.h / 2) == RGB(0, 255, 0));
        CHECK(c.count(RGB(255, 0, 0)) == 0);
    }
    SECTION("a disabled uncoloured face shows grey or dithered text")
    {
        SendMessageA(b, KNBM_APPLYPROPS, 0, reinterpret_cast<LPARAM>("0`2`171`MMMM"));
        EnableWindow(b, FALSE);
        Capture c(b);
        COLORREF grey = GetSysColor(COLOR_GRAYTEXT);
        bool dither = grey == 0 || grey == GetSysColor(COLOR_BTNFACE);
        CHECK(c.count(dither ? GetSysColor(COLOR_BTNSHADOW) : grey) > 0);
        CHECK(c.count(GetSysColor(COLOR_BTNTEXT)) == 0);
        EnableWindow(b, TRUE);
    }
    SECTION("the beveled look moves its content 2 pixels when pressed")
    {
        SendMessageA(b, KNBM_STYLEOP, 4, KNBS_BEVELED);
        SendMessageA(b, KNBM_APPLYPROPS, 0, reinterpret_cast<LPARAM>("0`2`171`I`74`FF`75`FFFFFF"));
        auto first_red = [](const Capture &c) {
            for (int x = 0; x < c.w; ++x)
                for (int y = 0; y < c.h; ++y)
                    if (GetRValue(c.at(x, y)) == 255 && GetGValue(c.at(x, y)) < 200) return POINT{x, y};  /* text may be smoothed */
            return POINT{-1, -1};
        };
        POINT a = first_red(Capture(b));
        SendMessageA(b, BM_SETSTATE, 1, 0);
        POINT p = first_red(Capture(b));
        REQUIRE(a.x >= 0);
        CHECK(p.x - a.x == 2);
        CHECK(p.y - a.y == 2);
    }
}

namespace {

struct KnobStyleScript {
    bool windowsish = false;
    std::vector<std::string> asked;
    int answer = IDNO;
    HWND handled = nullptr;
};
KnobStyleScript *g_kscript;
HHOOK g_khook;

LRESULT CALLBACK KnobStyleHook(int code, WPARAM wp, LPARAM lp)
{
    if (code == HCBT_ACTIVATE && g_kscript) {
        HWND w = reinterpret_cast<HWND>(wp);
        char title[64] = {0};
        GetWindowTextA(w, title, sizeof title);
        if (std::string(title) == "Knobset Styles" && g_kscript->handled != w) {
            g_kscript->handled = w;
            g_kscript->windowsish = IsDlgButtonChecked(w, 234) == BST_CHECKED;
            /* Change the text colour of all states, then press OK without Apply. */
            SendDlgItemMessageA(w, 101, LB_SETCURSEL, 3, 0);
            SetDlgItemTextA(w, 16641, "FF");
            PostMessageA(w, WM_COMMAND, IDOK, 0);
        } else if (std::string(title) == "Knobset" && !GetPropA(w, "seen")) {
            SetPropA(w, "seen", reinterpret_cast<HANDLE>(1));
            char text[256] = {0};
            GetDlgItemTextA(w, 0xFFFF, text, sizeof text);
            g_kscript->asked.push_back(text);
            PostMessageA(w, WM_COMMAND, g_kscript->answer, 0);
        }
    }
    return CallNextHookEx(g_khook, code, wp, lp);
}

void CALLBACK EndStyleDialog(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    if (g_kscript && g_kscript->handled) PostMessageA(g_kscript->handled, WM_COMMAND, IDCANCEL, 0);
}

BOOL RunKnobStyle(CCSTYLEA &style, KnobStyleScript &script)
{
    CCINFOA info;
    CustomControlInfoA(&info);
    REQUIRE(info.lpfnStyle);
    g_kscript = &script;
    g_khook = SetWindowsHookExA(WH_CBT, KnobStyleHook, nullptr, GetCurrentThreadId());
    BOOL r = info.lpfnStyle(nullptr, &style);
    UnhookWindowsHookEx(g_khook);
    g_kscript = nullptr;
    return r;
}

} // namespace

TEST_CASE("The button's style dialog", "[knobset][styledlg]")
{
    CCSTYLEA style = {};
    style.flStyle = WS_CHILD | WS_VISIBLE | KNBS_AUTO;
    std::strcpy(style.szText, "Play");
    KnobStyleScript script;
    SECTION("an unapplied change is asked about; No discards it")
    {
        script.answer = IDNO;
        REQUIRE(RunKnobStyle(style, script) == TRUE);
        CHECK(script.windowsish);
        CHECK(script.asked == std::vector<std::string>{"Apply before exiting?"});
        CHECK(style.flStyle == (WS_CHILD | WS_VISIBLE | KNBS_WINDOWSISH | KNBS_AUTO));
        CHECK(std::string(style.szText) == "0`241`171`Play");
    }
    SECTION("Yes applies it to the checked states")
    {
        script.answer = IDYES;
        REQUIRE(RunKnobStyle(style, script) == TRUE);
        CHECK(std::string(style.szText) == "0`241`171`Play`74`FF");
    }
    SECTION("Cancel in the question stays in the dialog")
    {
        script.answer = IDCANCEL;
        /* The dialog stays open after the question: end it from a timer. */
        UINT_PTR t = SetTimer(nullptr, 0, 300, EndStyleDialog);
        CHECK(RunKnobStyle(style, script) == FALSE);
        KillTimer(nullptr, t);
        CHECK(script.asked.size() == 1);
        CHECK(std::string(style.szText) == "Play");
    }
}

TEST_CASE("Second process: load, use and unload the library", "[.child]")
{
    /* Run by the test below in its own process; the mutex is held until the
     * process ends (after the library's detach), which the parent waits for. */
    HANDLE alive = OpenMutexA(SYNCHRONIZE, FALSE, "Knobkit test child alive");
    HANDLE started = OpenEventA(EVENT_MODIFY_STATE, FALSE, "Knobkit test child started");
    if (alive) WaitForSingleObject(alive, 10000);
    if (started) SetEvent(started);
    REQUIRE(GlobalFindAtomA("Knobset-Halvard-32") != 0);
    HWND b = CreateWindowA("Knobset", "0`2`171`Child", WS_POPUP, 0, 0, 40, 20, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(b);
    char buf[16];
    GetWindowTextA(b, buf, sizeof buf);
    CHECK(std::string(buf) == "Child");
    DestroyWindow(b);
}

TEST_CASE("Another process loading and unloading the library keeps its atoms here", "[knobset]")
{
    char exe[MAX_PATH];
    REQUIRE(GetModuleFileNameA(nullptr, exe, MAX_PATH));
    std::string cmd = std::string("\"") + exe + "\" [child]";
    /* The child takes the mutex, says so, and abandons the mutex when it ends
     * (after the library's detach). */
    HANDLE alive = CreateMutexA(nullptr, FALSE, "Knobkit test child alive");
    HANDLE started = CreateEventA(nullptr, TRUE, FALSE, "Knobkit test child started");
    REQUIRE(alive);
    REQUIRE(started);
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    REQUIRE(CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    if (pi.hThread) CloseHandle(pi.hThread);
    if (pi.hProcess) CloseHandle(pi.hProcess);
    REQUIRE(WaitForSingleObject(started, 60000) == WAIT_OBJECT_0);
    DWORD w = WaitForSingleObject(alive, 60000);
    CHECK((w == WAIT_ABANDONED || w == WAIT_OBJECT_0));
    CloseHandle(started);
    ReleaseMutex(alive);
    CloseHandle(alive);
    CHECK(GlobalFindAtomA("Knobset-Halvard-32") != 0);
    CHECK(GlobalFindAtomA("FontAtom for Knobset - Halvard") != 0);
    /* Buttons here still find their records under the atom. */
    HWND b = CreateWindowA("Knobset", "0`2`171`Here", WS_POPUP, 0, 0, 40, 20, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(b);
    CHECK(SendMessageA(b, KNBM_GETVERSION, 1, 0) == 2);
    CHECK(GetWindowTextLengthA(b) == 4);
    DestroyWindow(b);
}

TEST_CASE("Copying properties between buttons and the shared default font", "[knobset]")
{
    Dialog d;
    HWND from = d.item(18), to = d.item(10);
    SendMessageA(from, KNBM_SETPROP, 0x273, 2);  /* pattern brush 2 in all states */
    uintptr_t v = 0;
    SECTION("by messages, with the default list: colours and brushes, not texts")
    {
        CHECK(SendMessageA(from, WM_USER + 30, reinterpret_cast<WPARAM>(to), 0) == 1);
        CHECK(SendMessageA(to, KNBM_GETPROP, 0x25, reinterpret_cast<LPARAM>(&v)) == 1);
        CHECK(v == 0x808080);
        CHECK(SendMessageA(to, KNBM_GETPROP, 0x24, reinterpret_cast<LPARAM>(&v)) == 1);
        CHECK(v == 0xFFFFFF);
        uintptr_t a = 0, b = 0;
        CHECK(SendMessageA(to, KNBM_GETPROP, 0x13, reinterpret_cast<LPARAM>(&a)) == 1);
        CHECK(SendMessageA(from, KNBM_GETPROP, 0x13, reinterpret_cast<LPARAM>(&b)) == 1);
        CHECK(a != b);  /* a copy of the brush, not the same handle */
        CHECK(SendMessageA(to, KNBM_GETPROP, 0xF0, reinterpret_cast<LPARAM>(&v)) == 1);
        CHECK((v & KNBS_LOOKMASK) == KNBS_FLAT);
        char buf[16];
        GetWindowTextA(to, buf, sizeof buf);
        CHECK(std::string(buf) == "Play");
    }
    SECTION("directly, with a list of codes")
    {
        CHECK(SendMessageA(from, WM_USER + 31, reinterpret_cast<WPARAM>(to), reinterpret_cast<LPARAM>("25`71")) == 1);
        CHECK(SendMessageA(to, KNBM_GETPROP, 0x25, reinterpret_cast<LPARAM>(&v)) == 1);
        CHECK(v == 0x808080);
        char buf[16];
        GetWindowTextA(to, buf, sizeof buf);
        CHECK(std::string(buf) == "alone");
        CHECK(SendMessageA(from, WM_USER + 31, reinterpret_cast<WPARAM>(d.hwnd), 0) == 0);  /* not a button */
    }
    SECTION("font descriptions may start from the shared default font")
    {
        LOGFONTA lf = {};
        lf.lfHeight = -20;
        lstrcpyA(lf.lfFaceName, "Courier New");
        HFONT base = CreateFontIndirectA(&lf);
        CHECK(SendMessageA(from, KNBM_SETDEFFONT, 1, reinterpret_cast<LPARAM>(base)) == 0);
        CHECK(SendMessageA(from, KNBM_SETDEFFONT, 0, reinterpret_cast<LPARAM>(base)) == 1);
        DeleteObject(base);
        CHECK(SendMessageA(from, KNBM_APPLYPROPS, 0, reinterpret_cast<LPARAM>("0`2`17B`2C08 Arial")) == 1);
        CHECK(SendMessageA(from, KNBM_GETPROP, 0x1B, reinterpret_cast<LPARAM>(&v)) == 1);
        LOGFONTA got = {};
        REQUIRE(GetObjectA(reinterpret_cast<HFONT>(v), sizeof got, &got));
        CHECK(std::string(got.lfFaceName) == "Courier New");
        CHECK(got.lfWeight == FW_BOLD);
        CHECK(got.lfUnderline);
        CHECK(SendMessageA(from, KNBM_SETDEFFONT, 0, 0) == 1);
        CHECK(SendMessageA(from, KNBM_APPLYPROPS, 0, reinterpret_cast<LPARAM>("0`2`17B`2008 Arial")) == 1);
        CHECK(SendMessageA(from, KNBM_GETPROP, 0x1B, reinterpret_cast<LPARAM>(&v)) == 1);
        REQUIRE(GetObjectA(reinterpret_cast<HFONT>(v), sizeof got, &got));
        CHECK(std::string(got.lfFaceName) == "Arial");
    }
}

TEST_CASE("Popups show the popup text in a topmost window of their own", "[knobset]")
{
    Dialog d;
    HWND b = d.item(10);
    SendMessageA(b, KNBM_SETPROP, 0x1D0, reinterpret_cast<LPARAM>("Starts the clip"));
    SendMessageA(b, WM_USER + 27, 1, 0);
    HWND popup = nullptr;
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
        char cls[16] = {0}, text[64] = {0};
        GetClassNameA(w, cls, sizeof cls);
        GetWindowTextA(w, text, sizeof text);
        if (!lstrcmpiA(cls, "Knobset") && std::string(text) == "Starts the clip") popup = w;
    }
    REQUIRE(popup);
    CHECK(GetWindowLongA(popup, GWL_EXSTYLE) & WS_EX_TOPMOST);
    CHECK(SendMessageA(popup, WM_NCHITTEST, 0, 0) == HTTRANSPARENT);
    RECT r;
    GetWindowRect(popup, &r);
    CHECK(r.right - r.left > 20);  /* sized to its text */
    SendMessageA(b, WM_USER + 27, 0, 0);
    CHECK_FALSE(IsWindow(popup));
    /* A press closes it too. */
    SendMessageA(b, WM_USER + 27, 1, 0);
    SendMessageA(b, WM_LBUTTONDOWN, MK_LBUTTON, d.centre(10));
    SendMessageA(b, WM_LBUTTONUP, 0, d.centre(10));
    Pump();
    int popups = 0;
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
        char text[64] = {0};
        GetWindowTextA(w, text, sizeof text);
        popups += std::string(text) == "Starts the clip";
    }
    CHECK(popups == 0);
}

TEST_CASE("A checked tab grows over its neighbours and shrinks back", "[knobset]")
{
    HWND parent = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(parent);
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | KNBS_TABLOOK | KNBS_RADIO | KNBS_AUTO;
    HWND a = CreateWindowExA(0, "Knobset", "0`2`171`One`E0`100", style | WS_GROUP, 10, 10, 40, 20, parent,
                             reinterpret_cast<HMENU>(1), nullptr, nullptr);
    HWND b = CreateWindowExA(0, "Knobset", "0`2`171`Two`E0`100", style, 50, 10, 40, 20, parent,
                             reinterpret_cast<HMENU>(2), nullptr, nullptr);
    REQUIRE((a && b));
    auto rect = [&](HWND w) {
        RECT r;
        GetWindowRect(w, &r);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&r), 2);
        return r;
    };
    SendMessageA(a, BM_CLICK, 0, 0);
    RECT r = rect(a);
    CHECK((r.left == 8 && r.top == 8 && r.right == 52 && r.bottom == 31));
    CHECK_FALSE(GetWindowLongA(a, GWL_STYLE) & WS_CLIPSIBLINGS);
    CHECK(GetWindowLongA(a, GWL_EXSTYLE) & WS_EX_TRANSPARENT);
    SendMessageA(b, BM_CLICK, 0, 0);  /* the other tab of the group: the first shrinks back */
    r = rect(a);
    CHECK((r.left == 10 && r.top == 10 && r.right == 50 && r.bottom == 30));
    CHECK(GetWindowLongA(a, GWL_STYLE) & WS_CLIPSIBLINGS);
    CHECK_FALSE(GetWindowLongA(a, GWL_EXSTYLE) & WS_EX_TRANSPARENT);
    r = rect(b);
    CHECK((r.left == 48 && r.right == 92));
    DestroyWindow(parent);
}

TEST_CASE("Random property strings never break a button or a positioner", "[knobset][fuzz]")
{
    HWND parent = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    HWND b = CreateWindowA("Knobset", "x", WS_CHILD | WS_VISIBLE, 0, 0, 60, 20, parent, nullptr, nullptr, nullptr);
    REQUIRE(b);
    HMODULE placet = LoadLibraryA("Placet.dll");
    HWND p = placet ? CreateWindowA("Placet", "x", WS_CHILD | WS_VISIBLE, 0, 30, 60, 20, parent, nullptr, nullptr, nullptr)
                    : nullptr;
    const char alphabet[] = "0123456789ABCDEFabcdef````   %sdnf.-+xyz\x82\xff";
    unsigned seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    int rounds = 400;
    if (const char *env = getenv("CONTROLS_FUZZ_ROUNDS")) rounds = atoi(env);
    char text[80];
    for (int i = 0; i < rounds; ++i) {
        size_t n = next() % (sizeof text - 1);
        for (size_t k = 0; k < n; ++k) text[k] = alphabet[next() % (sizeof alphabet - 1)];
        text[n] = 0;
        SendMessageA(b, KNBM_SETPROPSTRING, 0, reinterpret_cast<LPARAM>(text));
        SendMessageA(b, WM_PRINTCLIENT, 0, 0);
        HDC dc = GetDC(b);
        SendMessageA(b, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), 0);
        ReleaseDC(b, dc);
        char back[80];
        CHECK(SendMessageA(b, KNBM_GETPROPSTRING, sizeof back, reinterpret_cast<LPARAM>(back)) == static_cast<LRESULT>(n));
        if (p) {
            SendMessageA(p, KNBM_SETPROPSTRING, 0, reinterpret_cast<LPARAM>(text));
            SetWindowTextA(p, text);
            UpdateWindow(p);
        }
    }
    CHECK(IsWindow(b));
    DestroyWindow(parent);
}

TEST_CASE("Content rectangle, size to content and mirrored states", "[knobset]")
{
    Dialog d;
    HWND b = d.item(18);
    RECT client, content;
    GetClientRect(b, &client);
    struct Row {
        DWORD look;
        bool pressed;
        int inset;
    } rows[] = {{KNBS_FLAT, false, 0}, {KNBS_BEVELED, false, 3}, {KNBS_BEVELED, true, 2},
                {KNBS_RAISED, false, 1}, {KNBS_SUNKEN, true, 1}, {KNBS_BORDER, false, 1}};
    for (const Row &r : rows) {
        INFO(std::hex << r.look << " pressed " << r.pressed);
        SendMessageA(b, KNBM_STYLEOP, 4, r.look);
        SendMessageA(b, BM_SETSTATE, r.pressed, 0);
        REQUIRE(SendMessageA(b, KNBM_GETCONTENTRECT, 0, reinterpret_cast<LPARAM>(&content)) == 1);
        CHECK(content.left == r.inset);
        CHECK(content.bottom == client.bottom - r.inset);
        SendMessageA(b, KNBM_CONTENTSIZE, 0, reinterpret_cast<LPARAM>(&content));
        CHECK(content.right == client.right - 2 * r.inset);
    }
    SendMessageA(b, BM_SETSTATE, 0, 0);

    /* Size to the text plus margins; a kept width leaves the width alone. */
    HDC dc = GetDC(b);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(b, WM_GETFONT, 0, 0)));
    SIZE ext;
    GetTextExtentPoint32A(dc, "alone", 5, &ext);
    SelectObject(dc, old);
    ReleaseDC(b, dc);
    SendMessageA(b, KNBM_SIZETOCONTENT, 0, MAKELPARAM(10, 6));
    GetClientRect(b, &client);
    CHECK(client.right == ext.cx + 10);
    CHECK(client.bottom == ext.cy + 6);
    SendMessageA(b, KNBM_SIZETOCONTENT, 0x303, MAKELPARAM(40, 20));
    GetClientRect(b, &client);
    CHECK(client.right == ext.cx + 10);
    CHECK(client.bottom == ext.cy + 20);

    /* A button that names another as its target mirrors its state there. */
    HWND mirror = d.item(15);
    SendMessageA(d.item(10), KNBM_SETTARGET, 0, reinterpret_cast<LPARAM>(mirror));
    SendMessageA(d.item(10), WM_LBUTTONDOWN, MK_LBUTTON, d.centre(10));
    SendMessageA(mirror, WM_COMMAND, MAKEWPARAM(10, 2), reinterpret_cast<LPARAM>(d.item(10)));
    CHECK(d.state(15) & KNBST_SELECTED);
    SendMessageA(d.item(10), WM_LBUTTONUP, 0, d.centre(10));
    SendMessageA(mirror, WM_COMMAND, MAKEWPARAM(10, 0), reinterpret_cast<LPARAM>(d.item(10)));
    CHECK_FALSE(d.state(15) & KNBST_SELECTED);
    Pump();
}

TEST_CASE("Face animation runs its tracks and restores the face", "[knobset]")
{
    Dialog d;
    HWND b = d.item(18);
    /* No bitmap and no text speed: nothing to do. */
    DWORD t = GetTickCount();
    CHECK(SendMessageA(b, WM_USER + 26, 0x1, 0) == 0);
    /* A 2 x 2 grid at 15 cells a second takes at least 4 * 1000 / 15 ms. */
    SendMessageA(b, KNBM_APPLYPROPS, 0, reinterpret_cast<LPARAM>("0`2`75`0`472`11105646"));
    t = GetTickCount();
    CHECK(SendMessageA(b, WM_USER + 26, 0, 0xF0000) == 0);
    CHECK(GetTickCount() - t >= 266);
    /* Afterwards the face shows its own cell again (green). */
    Capture c(b);
    CHECK(c.at(c.w / 2, c.h / 2) == RGB(0, 255, 0));
    /* A text moving from left to right at 15 pixels a second, on a narrow face. */
    SendMessageA(b, KNBM_APPLYPROPS, 0, reinterpret_cast<LPARAM>("0`2`171`i"));
    SetWindowPos(b, nullptr, 0, 0, 12, 16, SWP_NOMOVE | SWP_NOZORDER);
    t = GetTickCount();
    CHECK(SendMessageA(b, WM_USER + 26, 0x1, 0xF) == 0);
    CHECK(GetTickCount() - t < 5000);
}
