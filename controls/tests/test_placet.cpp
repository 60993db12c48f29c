/* The "Placet" positioner in dialogs made from templates: its parts, the
 * update cycle (rounding, clamping, wrapping), notifications and messages. */
#include "placet.h"

#include <catch2/catch.hpp>
#include <commctrl.h>
#include <custcntl.h>
#include <cstring>
#include <string>
#include <vector>
#include <map>

extern "C" BOOL WINAPI CheckVersion(DWORD);
extern "C" BOOL WINAPI PlacetRegister(DWORD);
extern "C" BOOL WINAPI PlacetUnregister(void);
extern "C" UINT WINAPI CustomControlInfoA(LPCCINFOA);

namespace {

std::vector<int> g_codes;  /* notification codes from the positioner 100 */

INT_PTR CALLBACK RecordProc(HWND, UINT msg, WPARAM wp, LPARAM)
{
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && (LOWORD(wp) == 100 || LOWORD(wp) == 300)) g_codes.push_back(HIWORD(wp));
    return FALSE;
}

struct Dialog {
    HWND hwnd;
    explicit Dialog(int id)
    {
        static bool init = [] {
            INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
            return InitCommonControlsEx(&icc);
        }();
        (void)init;
        g_codes.clear();
        hwnd = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), nullptr, RecordProc, 0);
        REQUIRE(hwnd);
    }
    ~Dialog() { DestroyWindow(hwnd); }
    HWND item(int id) const { return GetDlgItem(hwnd, id); }
    HWND pos() const { return item(100); }
    double get(int which) const
    {
        double v = -999;
        SendMessageA(pos(), PLM_GETNUMBER, PLN_DOUBLE | which, reinterpret_cast<LPARAM>(&v));
        return v;
    }
    void set(int which, double v, bool notify = false) const
    {
        SendMessageA(pos(), PLM_SETNUMBER, PLN_DOUBLE | which | (notify ? PLN_NOTIFY : 0), reinterpret_cast<LPARAM>(&v));
    }
    std::string edit() const
    {
        char buf[64] = {0};
        GetWindowTextA(item(101), buf, sizeof buf);
        return buf;
    }
    void command(int part, int code) const
    {
        SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(part, code), reinterpret_cast<LPARAM>(item(part)));
    }
};

} // namespace

TEST_CASE("The library answers version, registration and editor questions", "[placet]")
{
    CHECK(CheckVersion(0x027000A9) == TRUE);
    CHECK(CheckVersion(0x027000AA) == FALSE);
    CHECK(PlacetRegister(0x02700000) == TRUE);
    CHECK(PlacetUnregister() == TRUE);
    CHECK(GlobalFindAtomA("Placet-Halvard-32") != 0);

    CCINFOA untouched;
    std::memset(&untouched, 0x5A, sizeof untouched);
    CHECK(CustomControlInfoA(nullptr) == 1);
    CCINFOA info;
    REQUIRE(CustomControlInfoA(&info) == 1);
    CHECK(std::string(info.szClass) == "Placet");
    CHECK(std::string(info.szDesc) == "Custom Control Positioner V1.0");
    CHECK(info.cxDefault == 20);
    CHECK(info.cyDefault == 8);
    CHECK(info.flStyleDefault == 0x500002A5);
    CHECK(info.cStyleFlags == 0);
}

TEST_CASE("A positioner from a template drives its edit, scroll bar and buttons", "[placet]")
{
    Dialog d(200);
    /* Initialisation: value = default 20, edit and scroll bar follow, no report. */
    CHECK(d.get(PLN_VALUE) == 20);
    CHECK(d.edit() == "20");
    CHECK(GetScrollPos(d.item(102), SB_CTL) == 2000);
    int lo = -1, hi = -1;
    GetScrollRange(d.item(102), SB_CTL, &lo, &hi);
    CHECK((lo == 0 && hi == 10000));
    CHECK(g_codes.empty());
    CHECK_FALSE(IsWindowEnabled(d.item(105)));  /* at the default */

    SECTION("step buttons and jumps")
    {
        d.command(103, BN_CLICKED);
        CHECK(d.get(PLN_VALUE) == 21);
        CHECK(d.edit() == "21");
        CHECK(g_codes == std::vector<int>{PLN_CHANGED});
        d.command(104, BN_CLICKED);
        d.command(104, BN_CLICKED);
        CHECK(d.get(PLN_VALUE) == 19);
        d.command(103, 0x4000);  /* Control held: to the maximum */
        CHECK(d.get(PLN_VALUE) == 100);
        CHECK(GetScrollPos(d.item(102), SB_CTL) == 10000);
        CHECK_FALSE(IsWindowEnabled(d.item(103)));
        CHECK_FALSE(IsWindowEnabled(d.item(107)));
        CHECK(IsWindowEnabled(d.item(104)));
        d.command(103, BN_CLICKED);  /* clamped: no change, no report */
        CHECK(d.get(PLN_VALUE) == 100);
        d.command(106, BN_CLICKED);
        CHECK(d.get(PLN_VALUE) == 0);
        CHECK_FALSE(IsWindowEnabled(d.item(104)));
        d.command(105, BN_CLICKED);
        CHECK(d.get(PLN_VALUE) == 20);
        CHECK(g_codes.size() == 6);
    }
    SECTION("a held button reports once, when it is released")
    {
        d.command(103, 2);  /* pressed: tracking */
        d.command(103, 5);
        d.command(103, 5);
        CHECK(d.get(PLN_VALUE) == 22);
        CHECK(g_codes.empty());
        d.command(103, 3);
        CHECK(g_codes == std::vector<int>{PLN_CHANGED});
    }
    SECTION("scroll bar messages")
    {
        HWND bar = d.item(102);
        SendMessageA(d.hwnd, WM_HSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), reinterpret_cast<LPARAM>(bar));
        SendMessageA(d.hwnd, WM_HSCROLL, MAKEWPARAM(SB_PAGEDOWN, 0), reinterpret_cast<LPARAM>(bar));
        CHECK(d.get(PLN_VALUE) == 31);
        CHECK(g_codes.empty());  /* tracking until the end-scroll */
        SendMessageA(d.hwnd, WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, 4567), reinterpret_cast<LPARAM>(bar));
        CHECK(d.get(PLN_VALUE) == 46);  /* 45.67 rounded to the step */
        SendMessageA(d.hwnd, WM_HSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), reinterpret_cast<LPARAM>(bar));
        CHECK(g_codes == std::vector<int>{PLN_CHANGED});
        CHECK(GetScrollPos(bar, SB_CTL) == 4600);
        SendMessageA(d.hwnd, WM_HSCROLL, MAKEWPARAM(SB_TOP, 0), reinterpret_cast<LPARAM>(bar));
        CHECK(d.get(PLN_VALUE) == 0);
        SendMessageA(d.hwnd, WM_HSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), reinterpret_cast<LPARAM>(bar));
    }
    SECTION("a double click on the thumb returns to the default")
    {
        HWND bar = d.item(102);
        auto scroll = [&](int code, int pos) {
            SendMessageA(d.hwnd, WM_HSCROLL, MAKEWPARAM(code, pos), reinterpret_cast<LPARAM>(bar));
        };
        scroll(SB_THUMBTRACK, 7000);
        scroll(SB_ENDSCROLL, 0);
        CHECK(d.get(PLN_VALUE) == 70);
        scroll(SB_THUMBTRACK, 7500);  /* the second thumb press within the double-click time */
        scroll(SB_ENDSCROLL, 0);
        CHECK(d.get(PLN_VALUE) == 20);
        CHECK(GetScrollPos(bar, SB_CTL) == 2000);
    }
    SECTION("edit keys and typed text")
    {
        HWND edit = d.item(101);
        SendMessageA(edit, WM_KEYDOWN, VK_UP, 0);
        CHECK(d.get(PLN_VALUE) == 21);
        SendMessageA(edit, WM_KEYDOWN, VK_PRIOR, 0);
        CHECK(d.get(PLN_VALUE) == 31);
        SendMessageA(edit, WM_KEYDOWN, VK_NEXT, 0);
        SendMessageA(edit, WM_KEYDOWN, VK_DOWN, 0);
        CHECK(d.get(PLN_VALUE) == 20);
        SendMessageA(edit, WM_CHAR, 'q', 0);  /* letters are refused */
        CHECK(d.edit() == "20");
        SetWindowTextA(edit, "57.6");
        d.command(101, EN_KILLFOCUS);
        CHECK(d.get(PLN_VALUE) == 58);
        CHECK(d.edit() == "58");
        SetWindowTextA(edit, "250");
        d.command(101, EN_KILLFOCUS);
        CHECK(d.get(PLN_VALUE) == 100);
        SetWindowTextA(edit, "");
        d.command(101, EN_KILLFOCUS);
        CHECK(d.get(PLN_VALUE) == 0);
        SendMessageA(edit, WM_LBUTTONDBLCLK, 0, 0);
        CHECK(d.get(PLN_VALUE) == 20);
    }
    SECTION("minimum equal to maximum disables every part and centres the scroll bar")
    {
        d.set(PLN_MAX, 0);
        for (int id = 101; id <= 107; ++id) CHECK_FALSE(IsWindowEnabled(d.item(id)));
        CHECK(GetScrollPos(d.item(102), SB_CTL) == 5000);
        d.set(PLN_MAX, 100);
        CHECK(IsWindowEnabled(d.item(101)));
    }
    SECTION("disabling the positioner disables its parts")
    {
        EnableWindow(d.pos(), FALSE);
        for (int id = 101; id <= 107; ++id) CHECK_FALSE(IsWindowEnabled(d.item(id)));
        EnableWindow(d.pos(), TRUE);
        CHECK(IsWindowEnabled(d.item(103)));
    }
}

TEST_CASE("Numbers are rounded to the step, formatted and passed by type", "[placet]")
{
    Dialog d(200);
    d.set(PLN_STEP, 0.5);
    d.set(PLN_VALUE, 0.74);
    CHECK(d.get(PLN_VALUE) == 0.5);
    d.set(PLN_VALUE, 0.75);
    CHECK(d.get(PLN_VALUE) == 1.0);
    CHECK(g_codes.empty());  /* set without the notify bit */
    d.set(PLN_VALUE, 3, true);
    CHECK(g_codes == std::vector<int>{PLN_CHANGED});

    d.set(PLN_STEP, 1e-20);
    CHECK(d.get(PLN_STEP) == 2.220446e-16);
    d.set(PLN_STEP, -1e-20);
    CHECK(d.get(PLN_STEP) == -2.220446e-16);
    d.set(PLN_STEP, 0.1);
    /* Through a property string a tiny step is ignored. */
    SendMessageA(d.pos(), PLM_SETPROP, 0x180, reinterpret_cast<LPARAM>("1e-20"));
    CHECK(d.get(PLN_STEP) == 0.1);

    SendMessageA(d.pos(), PLM_SETFORMAT, 0, reinterpret_cast<LPARAM>("%d"));
    d.set(PLN_VALUE, 2.7);
    CHECK(d.edit() == "2");
    SendMessageA(d.pos(), PLM_SETFORMAT, 0, reinterpret_cast<LPARAM>("%.2f dB"));
    CHECK(d.edit() == "2.70 dB");
    /* Formats that would read or write through the value are refused. */
    SendMessageA(d.pos(), PLM_SETFORMAT, 0, reinterpret_cast<LPARAM>("%s"));
    SendMessageA(d.pos(), PLM_SETFORMAT, 0, reinterpret_cast<LPARAM>("%n"));
    SendMessageA(d.pos(), PLM_SETFORMAT, 0, reinterpret_cast<LPARAM>("%f %f"));
    CHECK(d.edit() == "2.70 dB");

    /* Typed reads and writes (integers truncate toward zero). */
    d.set(PLN_MIN, -100);
    d.set(PLN_VALUE, -7.9);
    CHECK(SendMessageA(d.pos(), PLM_GETNUMBER, PLN_INT32 | PLN_BYVALUE, 0) == -7);
    int16_t i16 = 0;
    SendMessageA(d.pos(), PLM_GETNUMBER, PLN_INT16, reinterpret_cast<LPARAM>(&i16));
    CHECK(i16 == -7);
    float f = 0;
    SendMessageA(d.pos(), PLM_GETNUMBER, PLN_FLOAT, reinterpret_cast<LPARAM>(&f));
    CHECK(f == Approx(-7.9f));
    CHECK(SendMessageA(d.pos(), PLM_GETNUMBER, PLN_DOUBLE | PLN_BYVALUE, 0) == 0);  /* refused */
    CHECK(SendMessageA(d.pos(), PLM_GETNUMBER, PLN_DOUBLE | 7, reinterpret_cast<LPARAM>(&f)) == 0);
    SendMessageA(d.pos(), PLM_SETNUMBER, PLN_INT32 | PLN_BYVALUE | PLN_VALUE, 42);
    CHECK(d.get(PLN_VALUE) == Approx(42));
    SendMessageA(d.pos(), PLM_SETNUMBER, PLN_DOUBLE | PLN_BYVALUE | PLN_VALUE, 5);  /* refused */
    CHECK(d.get(PLN_VALUE) == Approx(42));

    double all[] = {10, -50, 50, 0, 5};
    SendMessageA(d.pos(), PLM_SETNUMBERS, 0x1F, reinterpret_cast<LPARAM>(all));
    CHECK(d.get(PLN_MIN) == -50);
    CHECK(d.get(PLN_MAX) == 50);
    CHECK(d.get(PLN_VALUE) == 10);
    CHECK(GetScrollPos(d.item(102), SB_CTL) == 6000);
}

TEST_CASE("A wrapping positioner with a trackbar and live messages", "[placet]")
{
    Dialog d(201);
    CHECK(d.get(PLN_VALUE) == 5);
    HWND bar = d.item(102);
    CHECK(SendMessageA(bar, TBM_GETRANGEMAX, 0, 0) == 10000);
    CHECK(SendMessageA(bar, TBM_GETPOS, 0, 0) == 5000);

    d.set(PLN_VALUE, 12);
    CHECK(d.get(PLN_VALUE) == 1);  /* period 11 */
    d.set(PLN_VALUE, -1);
    CHECK(d.get(PLN_VALUE) == 10);
    d.command(103, BN_CLICKED);
    CHECK(d.get(PLN_VALUE) == 0);  /* ++ from the maximum wraps to the minimum */

    g_codes.clear();
    d.command(103, 2);  /* pressed: tracking begins */
    d.command(103, 5);
    d.command(103, 5);
    d.command(103, 3);
    CHECK(d.get(PLN_VALUE) == 2);
    CHECK(g_codes == std::vector<int>{PLN_TRACKBEGIN, PLN_TRACKCHANGE, PLN_TRACKCHANGE, PLN_TRACKEND});
}

TEST_CASE("Property strings and labels of the positioner", "[placet]")
{
    Dialog d(202);
    HWND p = d.item(300);
    char buf[64];
    CHECK(GetWindowTextA(p, buf, sizeof buf) == 6);
    CHECK(std::string(buf) == "Volume");
    CHECK(SendMessageA(p, KNBM_GETPROPSTRINGLEN, 0, 0) == 0);  /* template text is not stored */
    CHECK(SendMessageA(p, KNBM_GETPROPSTRING, sizeof buf, reinterpret_cast<LPARAM>(buf)) == 0);
    CHECK(buf[0] == 0);

    const char *text = "0`1`171`Gain`150`-10`160`10";
    CHECK(SendMessageA(p, KNBM_SETPROPSTRING, 0, reinterpret_cast<LPARAM>(text)) == 1);
    CHECK(SendMessageA(p, KNBM_GETPROPSTRINGLEN, 0, 0) == static_cast<LRESULT>(std::strlen(text)));
    CHECK(SendMessageA(p, KNBM_GETPROPSTRING, 5, reinterpret_cast<LPARAM>(buf)) == 4);
    CHECK(std::string(buf) == "0`1`");
    CHECK(SendMessageA(p, KNBM_GETPROPSTRING, 0, reinterpret_cast<LPARAM>(buf)) == 0);
    CHECK(SendMessageA(p, KNBM_GETPROPSTRING, 5, 0) == 0);
    CHECK(SendMessageA(p, KNBM_SETPROPSTRING, 0, 0) == 0);
    GetWindowTextA(p, buf, sizeof buf);
    CHECK(std::string(buf) == "Gain");
    double v = 0;
    SendMessageA(p, PLM_GETNUMBER, PLN_DOUBLE | PLN_MIN, reinterpret_cast<LPARAM>(&v));
    CHECK(v == -10);

    /* WM_SETTEXT with a label changes only the label; with pairs it applies them. */
    SetWindowTextA(p, "Pan");
    GetWindowTextA(p, buf, sizeof buf);
    CHECK(std::string(buf) == "Pan");
    CHECK(SendMessageA(p, KNBM_GETPROPSTRINGLEN, 0, 0) == static_cast<LRESULT>(std::strlen(text)));
    SetWindowTextA(p, "0`1`160`50`171`Level");
    SendMessageA(p, PLM_GETNUMBER, PLN_DOUBLE | PLN_MAX, reinterpret_cast<LPARAM>(&v));
    CHECK(v == 50);
    SendMessageA(p, PLM_GETNUMBER, PLN_DOUBLE | PLN_MIN, reinterpret_cast<LPARAM>(&v));
    CHECK(v == 0);  /* reset before applying */
    CHECK(GetWindowTextLengthA(p) == 5);

    /* A refused pair fails the whole apply but the others still take effect. */
    CHECK(SendMessageA(p, KNBM_SETPROPSTRING, 0, reinterpret_cast<LPARAM>("0`1`90`1`160`20")) == 0);
    SendMessageA(p, PLM_GETNUMBER, PLN_DOUBLE | PLN_MAX, reinterpret_cast<LPARAM>(&v));
    CHECK(v == 20);
    CHECK(SendMessageA(p, KNBM_SETPROPSTRING, 0, reinterpret_cast<LPARAM>("0`1`150`abc")) == 0);
}

namespace {

struct StyleDlgScript {
    std::map<int, std::string> seen;   /* field texts at opening */
    bool wrap = false, live = false, center = false;
    std::vector<int> parts_selected;
    std::map<int, std::string> type;   /* texts typed before OK */
    bool cancel = false;
    HWND handled = nullptr;
};
StyleDlgScript *g_script;
HHOOK g_hook;

LRESULT CALLBACK StyleHook(int code, WPARAM wp, LPARAM lp)
{
    if (code == HCBT_ACTIVATE && g_script) {
        HWND dlg = reinterpret_cast<HWND>(wp);
        char title[64] = {0};
        GetWindowTextA(dlg, title, sizeof title);
        if (std::string(title) == "Placet: Edit" && g_script->handled != dlg) {
            g_script->handled = dlg;
            for (int id : {116, 118, 350, 351, 352, 353, 354}) {
                char buf[256] = {0};
                GetDlgItemTextA(dlg, id, buf, sizeof buf);
                g_script->seen[id] = buf;
            }
            g_script->wrap = IsDlgButtonChecked(dlg, 321) == BST_CHECKED;
            g_script->live = IsDlgButtonChecked(dlg, 303) == BST_CHECKED;
            g_script->center = IsDlgButtonChecked(dlg, 323) == BST_CHECKED;
            HWND list = GetDlgItem(dlg, 101);
            for (int i = 0; i < 7; ++i)
                if (SendMessageA(list, LB_GETSEL, i, 0) > 0) g_script->parts_selected.push_back(i);
            for (auto &t : g_script->type) SetDlgItemTextA(dlg, t.first, t.second.c_str());
            if (!g_script->cancel) {
                /* Turn wrapping on and drop every part but the edit. */
                SendDlgItemMessageA(dlg, 321, BM_CLICK, 0, 0);
                SendMessageA(list, LB_SETSEL, FALSE, -1);
                SendMessageA(list, LB_SETSEL, TRUE, 0);
            }
            PostMessageA(dlg, WM_COMMAND, g_script->cancel ? IDCANCEL : IDOK, 0);
        }
    }
    return CallNextHookEx(g_hook, code, wp, lp);
}

BOOL RunStyleDialog(CCSTYLEA &style, StyleDlgScript &script)
{
    CCINFOA info;
    CustomControlInfoA(&info);
    REQUIRE(info.lpfnStyle);
    g_script = &script;
    g_hook = SetWindowsHookExA(WH_CBT, StyleHook, nullptr, GetCurrentThreadId());
    BOOL r = info.lpfnStyle(nullptr, &style);
    UnhookWindowsHookEx(g_hook);
    g_script = nullptr;
    return r;
}

} // namespace

TEST_CASE("The positioner's style dialog", "[placet][styledlg]")
{
    CCSTYLEA style = {};
    style.flStyle = WS_CHILD | WS_VISIBLE | PLCS_LIVEMSGS;
    SECTION("an empty text opens with the defaults; OK writes styles and a property string")
    {
        StyleDlgScript script;
        script.type[118] = "Gain";
        script.type[352] = "";  /* an empty field is left out */
        REQUIRE(RunStyleDialog(style, script) == TRUE);
        CHECK(script.seen[350] == "0");
        CHECK(script.seen[352] == "100");
        CHECK(script.seen[351] == "0");
        CHECK(script.seen[354] == "1");
        CHECK(script.seen[353] == "%.0f");
        CHECK(script.seen[116] == "");
        CHECK(script.live);
        CHECK_FALSE(script.wrap);
        CHECK(script.center);
        CHECK(script.parts_selected.size() == 7);
        CHECK(style.flStyle == (WS_CHILD | WS_VISIBLE | PLCS_LIVEMSGS | PLCS_WRAP));
        CHECK(std::string(style.szText) == "0`270`140`%.0f`150`0`170`0`180`1`30`1`171`Gain`77`0");
    }
    SECTION("an existing text fills the fields; Cancel changes nothing")
    {
        std::strcpy(style.szText, "0`270`E0`3`150`-5`160`5`171`Pan`77`1`30`3");
        StyleDlgScript script;
        script.cancel = true;
        CHECK(RunStyleDialog(style, script) == FALSE);
        CHECK(script.seen[350] == "-5");
        CHECK(script.seen[352] == "5");
        CHECK(script.seen[118] == "Pan");
        CHECK_FALSE(script.center);
        CHECK(script.parts_selected == std::vector<int>{0, 1});
        CHECK(std::string(style.szText) == "0`270`E0`3`150`-5`160`5`171`Pan`77`1`30`3");
    }
    SECTION("the high style word from the text survives a rebuild")
    {
        std::strcpy(style.szText, "0`270`E0`3`171`X");
        StyleDlgScript script;
        REQUIRE(RunStyleDialog(style, script) == TRUE);
        CHECK(std::string(style.szText).rfind("0`270`E0`3`", 0) == 0);
        CHECK((style.flExtStyle >> 16) == 3);
    }
}
