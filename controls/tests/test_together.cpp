/* Both libraries in one dialog, shown on a display: the positioner drives
 * repeating "Knobset" step buttons, and the painted window is checked and
 * kept as a screenshot (controls_together.bmp in the artefacts folder). */
#include "placet.h"
#include "knobset.h"
#include "screen_shot.h"

#include <catch2/catch.hpp>
#include <cstdio>
#include <vector>


namespace {

std::vector<int> g_codes;

INT_PTR CALLBACK Proc(HWND, UINT msg, WPARAM wp, LPARAM)
{
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && LOWORD(wp) == 100) g_codes.push_back(HIWORD(wp));
    return FALSE;
}

void Pump()
{
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
}

double Value(HWND pos)
{
    double v = -1;
    SendMessageA(pos, PLM_GETNUMBER, PLN_DOUBLE | PLN_VALUE, reinterpret_cast<LPARAM>(&v));
    return v;
}

} // namespace

TEST_CASE("A positioner with Knobset step buttons", "[together]")
{
    REQUIRE(LoadLibraryA("Placet.dll"));
    REQUIRE(LoadLibraryA("Knobkit.dll"));
    g_codes.clear();
    HWND dlg = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(400), nullptr, Proc, 0);
    REQUIRE(dlg);
    Pump();
    HWND pos = GetDlgItem(dlg, 100), plus = GetDlgItem(dlg, 103), minus = GetDlgItem(dlg, 104);
    CHECK(Value(pos) == 10);

    /* Live messages make the repeating step buttons verbose. */
    CHECK(SendMessageA(plus, KNBM_STYLEOP, 3, KNBS_VERBOSE) == 1);
    CHECK(SendMessageA(minus, KNBM_STYLEOP, 3, KNBS_VERBOSE) == 1);

    /* Auto-align stacks them at the edit's right edge. */
    RECT re, rp, rm;
    GetWindowRect(GetDlgItem(dlg, 101), &re);
    GetWindowRect(plus, &rp);
    GetWindowRect(minus, &rm);
    CHECK(rp.left == re.right);
    CHECK(rp.top == re.top);
    CHECK(rm.top == rp.bottom);
    CHECK(rm.bottom == re.bottom);

    RECT rc;
    GetClientRect(plus, &rc);
    LPARAM centre = MAKELPARAM(rc.right / 2, rc.bottom / 2);
    SECTION("a click steps once and reports the change after the release")
    {
        SendMessageA(plus, WM_LBUTTONDOWN, MK_LBUTTON, centre);
        SendMessageA(plus, WM_LBUTTONUP, 0, centre);
        Pump();
        CHECK(Value(pos) == 11);
        CHECK(GetScrollPos(GetDlgItem(dlg, 102), SB_CTL) == 2200);
        CHECK(g_codes == std::vector<int>{PLN_TRACKBEGIN, PLN_TRACKCHANGE, PLN_TRACKEND});
    }
    SECTION("Control+click on ++ jumps to the maximum")
    {
        SendMessageA(plus, WM_KEYDOWN, VK_CONTROL, 0);
        SendMessageA(plus, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, centre);
        SendMessageA(plus, WM_LBUTTONUP, MK_CONTROL, centre);
        SendMessageA(plus, WM_KEYUP, VK_CONTROL, 0);
        Pump();
        CHECK(Value(pos) == 50);
        CHECK_FALSE(IsWindowEnabled(plus));
        CHECK(IsWindowEnabled(minus));
    }
    SECTION("holding -- repeats until released")
    {
        SendMessageA(minus, WM_LBUTTONDOWN, MK_LBUTTON, centre);
        DWORD start = GetTickCount();
        while (Value(pos) > 6 && GetTickCount() - start < 5000) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            Pump();
        }
        SendMessageA(minus, WM_LBUTTONUP, 0, centre);
        Pump();
        CHECK(Value(pos) <= 6);
        double after = Value(pos);
        Sleep(150);
        Pump();
        CHECK(Value(pos) == after);
        CHECK(g_codes.front() == PLN_TRACKBEGIN);
        CHECK(g_codes.back() == PLN_TRACKEND);
    }
    SECTION("the shown dialog paints the faces")
    {
        ShowWindow(dlg, SW_SHOW);
        UpdateWindow(dlg);
        RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        Pump();
        HWND reset = GetDlgItem(dlg, 110);
        RECT r;
        GetClientRect(dlg, &r);
        HDC wdc = GetDC(dlg);
        const ScreenShot shot = ScreenShot::From(wdc, 0, 0, r.right, r.bottom);
        ReleaseDC(dlg, wdc);
        /* The yellow face of "Reset" and the grey of the step buttons. */
        RECT rr;
        GetWindowRect(reset, &rr);
        MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT *>(&rr), 2);
        COLORREF face = shot.Ref(rr.left + 4, rr.top + (rr.bottom - rr.top) / 2);
        GetWindowRect(plus, &rp);
        MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT *>(&rp), 2);
        COLORREF step = shot.Ref(rp.left + 2, rp.top + 1);
        shot.Save("controls_together.bmp");
        CHECK(face == RGB(0, 255, 255));  /* 0x00FFFF as COLORREF: yellow is 0x00FFFF in BGR order */
        CHECK(step == RGB(0xC0, 0xC0, 0xC0));
    }
    DestroyWindow(dlg);
}
