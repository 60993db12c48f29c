// The control on a real display: a page built through its dispatch
// interface, edited with mouse and keyboard messages, its context
// menu drawn by the control; screenshots go to the artefacts folder.
#include <catch2/catch.hpp>

#include <windows.h>
#include <atlbase.h>
#include <atliface.h>
#include <ole2.h>

#include <string>
#include <vector>

#include "Lumicard_h.h"
#include "profile.h"
#include "screen_shot.h"

namespace {

VARIANT I2(short v) { VARIANT x; VariantInit(&x); V_VT(&x) = VT_I2; V_I2(&x) = v; return x; }
VARIANT I4(LONG v) { VARIANT x; VariantInit(&x); V_VT(&x) = VT_I4; V_I4(&x) = v; return x; }

LONG Call(IDispatch *d, DISPID id, std::vector<VARIANT> args = {})
{
    std::vector<VARIANT> rev(args.rbegin(), args.rend());
    DISPPARAMS p = {rev.empty() ? nullptr : rev.data(), nullptr, UINT(rev.size()), 0};
    VARIANT r;
    VariantInit(&r);
    REQUIRE(d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &p, &r, nullptr, nullptr) == S_OK);
    if (V_VT(&r) == VT_EMPTY) return 0;
    VariantChangeType(&r, &r, 0, VT_I4);
    return V_I4(&r);
}

void SetText(IDispatch *d, const char *s)
{
    WCHAR w[256];
    MultiByteToWideChar(CP_ACP, 0, s, -1, w, 256);
    VARIANT v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(w);
    DISPPARAMS p = {&v, nullptr, 1, 0};
    REQUIRE(d->Invoke(63, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr) == S_OK);
    VariantClear(&v);
}

void Pump(DWORD ms)
{
    DWORD end = GetTickCount() + ms;
    do {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        Sleep(10);
    } while (int(end - GetTickCount()) > 0);
}

/* The control hosted in a top-level window on the display, with a clean
 * profile before and after. */
struct HostedPage {
    HWND top = nullptr, wnd = nullptr;
    IUnknown *unk = nullptr;
    IDispatch *d = nullptr;
    HostedPage()
    {
        OleInitialize(nullptr);
        cl::CProfile("Software\\Halvard\\Lumicard10").DeleteAll();
        AtlAxWinInit();
        top = CreateWindowExA(0, "STATIC", "Lumicard", WS_POPUP | WS_VISIBLE, 50, 50, 320, 240, nullptr, nullptr,
                              nullptr, nullptr);
        HWND ax = CreateWindowExA(0, "AtlAxWin", "Lumicard.LumicardCtrl.1", WS_CHILD | WS_VISIBLE, 0, 0, 320, 240,
                                  top, nullptr, nullptr, nullptr);
        REQUIRE(AtlAxGetControl(ax, &unk) == S_OK);
        REQUIRE(unk->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&d)) == S_OK);
        IOleWindow *ow = nullptr;
        REQUIRE(unk->QueryInterface(IID_IOleWindow, reinterpret_cast<void **>(&ow)) == S_OK);
        ow->GetWindow(&wnd);
        ow->Release();
        REQUIRE(wnd);
        SetForegroundWindow(top);
    }
    ~HostedPage()
    {
        if (d) d->Release();
        if (unk) unk->Release();
        DestroyWindow(top);
        cl::CProfile("Software\\Halvard\\Lumicard10").DeleteAll();
        OleUninitialize();
    }
};

}  // namespace

TEST_CASE("a page on the screen, moved with the mouse and nudged with the keys", "[display]")
{
    HostedPage page;
    IDispatch *d = page.d;
    HWND wnd = page.wnd;

    // The page: a dark background, a red title on a white box.
    Call(d, 28, {I4(0x402000)});
    Call(d, 13, {I2(20)});
    Call(d, 30, {I4(0x0000FF)});
    Call(d, 9, {I2(100)});  // opaque back box
    SetText(d, "Lumicard");
    Call(d, 76, {I2(20), I2(20)});
    Pump(300);
    ScreenShot before = ScreenShot::Window(wnd);
    before.Save("lumicard_page.bmp");
    CHECK(ScreenShot::Near(before.At(300, 220), 0x002040));  // the background (COLORREF 0x402000)
    CHECK(ScreenShot::Near(before.At(60, 60), 0xFFFFFF, 40));  // inside the white back box

    // Drag the box by 100, 80: the mouse messages in the order a hand makes them.
    PostMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(70, 70));
    for (int i = 1; i <= 5; ++i) PostMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(70 + 20 * i, 70 + 16 * i));
    PostMessageA(wnd, WM_LBUTTONUP, 0, MAKELPARAM(170, 150));
    Pump(300);
    CHECK(Call(d, 77) == 120);
    CHECK(Call(d, 78) == 100);
    for (WPARAM k : {WPARAM(VK_RIGHT), WPARAM(VK_RIGHT), WPARAM(VK_UP)}) PostMessageA(wnd, WM_KEYDOWN, k, 0);
    Pump(300);
    CHECK(Call(d, 77) == 122);
    CHECK(Call(d, 78) == 99);
    ScreenShot after = ScreenShot::Window(wnd);
    after.Save("lumicard_page_moved.bmp");
    CHECK(ScreenShot::Near(after.At(60, 60), 0x002040));    // where the box was: background now
    CHECK(ScreenShot::Near(after.At(170, 150), 0xFFFFFF, 40));  // the box where it went
}

TEST_CASE("the in-place editor on the screen: a new box typed into", "[display][editor]")
{
    HostedPage page;
    IDispatch *d = page.d;
    HWND wnd = page.wnd;
    Call(d, 28, {I4(0x402000)});   // a dark page
    Call(d, 13, {I2(24)});         // new text: 24 points, dark red
    Call(d, 30, {I4(0x000080)});

    // A box drawn with the mouse, then typed into.
    PostMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 40));
    PostMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 90));
    PostMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(270, 120));
    PostMessageA(wnd, WM_LBUTTONUP, 0, MAKELPARAM(270, 120));
    Pump(200);
    HWND editor = GetDlgItem(wnd, 30001);
    REQUIRE(editor);
    REQUIRE(IsWindowVisible(editor));
    for (const char *c = "Lumicard"; *c; ++c) PostMessageA(editor, WM_CHAR, WPARAM(*c), 1);
    Pump(300);
    ScreenShot open = ScreenShot::Window(wnd);
    open.Save("lumicard_editor.bmp");
    CHECK(ScreenShot::Near(open.At(300, 220), 0x002040));  // the page around it
    CHECK(ScreenShot::Near(open.At(260, 110), 0xFFFFFF, 8));  // the editor's white ground
    int ink = 0;
    for (int y = 40; y < 120; ++y)
        for (int x = 30; x < 270; ++x) ink += ScreenShot::Near(open.At(x, y), 0x800000, 60) ? 1 : 0;
    CHECK(ink > 40);  // the typed letters in the text colour

    // A click beside it closes the editor; the page draws the text itself.
    PostMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, 220));
    PostMessageA(wnd, WM_LBUTTONUP, 0, MAKELPARAM(300, 220));
    Pump(300);
    CHECK_FALSE(IsWindowVisible(editor));
    ScreenShot closed = ScreenShot::Window(wnd);
    closed.Save("lumicard_editor_closed.bmp");
    int drawn = 0;
    for (int y = 40; y < 120; ++y)
        for (int x = 30; x < 270; ++x) drawn += ScreenShot::Near(closed.At(x, y), 0x800000, 60) ? 1 : 0;
    CHECK(drawn > 40);
}

namespace {
// Photographs the context menu from a timer inside its own loop, then closes it.
struct MenuShot {
    static ScreenShot shot;
    static int taken;
    static BOOL CALLBACK Find(HWND w, LPARAM lp)
    {
        char cls[16] = {};
        GetClassNameA(w, cls, sizeof(cls));
        if (!strcmp(cls, "#32768") && IsWindowVisible(w)) {
            *reinterpret_cast<HWND *>(lp) = w;
            return FALSE;
        }
        return TRUE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD)
    {
        HWND w = nullptr;
        EnumWindows(Find, reinterpret_cast<LPARAM>(&w));
        if (!w) return;
        KillTimer(nullptr, id);
        Pump(200);
        shot = ScreenShot::Window(w);
        ++taken;
        EndMenu();
    }
};
ScreenShot MenuShot::shot;
int MenuShot::taken = 0;
}  // namespace

TEST_CASE("the context menu on the screen: items with their pictures", "[display][menu]")
{
    HostedPage page;
    IDispatch *d = page.d;
    HWND wnd = page.wnd;
    SetText(d, "Menu");  // a selection: the object popup
    Pump(100);

    MenuShot::taken = 0;
    SetTimer(nullptr, 0, 100, MenuShot::Tick);
    POINT at = {60, 60};
    ClientToScreen(wnd, &at);
    SendMessageA(wnd, WM_CONTEXTMENU, WPARAM(wnd), MAKELPARAM(at.x, at.y));
    REQUIRE(MenuShot::taken == 1);
    MenuShot::shot.Save("lumicard_menu.bmp");
    // The cross of Delete and the blue squares of the arrangement commands
    // lie in the picture column; the labels to the right.
    int red = 0, blue = 0;
    for (int y = 0; y < MenuShot::shot.h; ++y)
        for (int x = 0; x < 24; ++x) {
            red += ScreenShot::Near(MenuShot::shot.At(x, y), 0xC00000, 10) ? 1 : 0;
            blue += ScreenShot::Near(MenuShot::shot.At(x, y), 0x0000FF, 10) ? 1 : 0;
        }
    CHECK(red > 20);
    CHECK(blue > 100);
}

TEST_CASE("editing on the screen: resize by a handle, copy and paste, reorder, delete", "[display][mouse]")
{
    HostedPage page;
    IDispatch *d = page.d;
    HWND wnd = page.wnd;
    Call(d, 28, {I4(0x402000)});  // a dark page; new boxes opaque white
    Call(d, 9, {I2(100)});
    auto drag = [&](POINT a, POINT b) {
        PostMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(a.x, a.y));
        PostMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM((a.x + b.x) / 2, (a.y + b.y) / 2));
        PostMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(b.x, b.y));
        PostMessageA(wnd, WM_LBUTTONUP, 0, MAKELPARAM(b.x, b.y));
        Pump(150);
    };
    auto command = [&](UINT id) {
        SendMessageA(wnd, WM_COMMAND, id, 0);
        Pump(150);
    };
    auto selRect = [&]() {
        const LONG x = Call(d, 77), y = Call(d, 78);
        return RECT{x, y, x + Call(d, 65), y + Call(d, 66)};
    };
    auto same = [](RECT a, RECT b) { return EqualRect(&a, &b) != FALSE; };

    // A box drawn, typed into and left; then picked and resized by its corner.
    drag({20, 20}, {80, 60});
    HWND editor = GetDlgItem(wnd, 30001);
    REQUIRE(editor);
    PostMessageA(editor, WM_CHAR, 'A', 1);
    drag({300, 220}, {300, 220});
    drag({30, 30}, {30, 30});
    REQUIRE(Call(d, 58) != 0);
    drag({82, 62}, {122, 92});
    CHECK(same(selRect(), {20, 20, 120, 90}));

    // Two pastes, 10 and 20 pixels off; the last one gets a yellow box.
    command(32808);
    command(32809);
    command(32809);
    CHECK(same(selRect(), {40, 40, 140, 110}));
    Call(d, 29, {I4(0x00FFFF)});
    Pump(200);
    ScreenShot pasted = ScreenShot::Window(wnd);
    pasted.Save("lumicard_edit_pasted.bmp");
    CHECK(ScreenShot::Near(pasted.At(100, 80), 0xFFFF00, 40));  // the yellow one is on top
    CHECK(ScreenShot::Near(pasted.At(25, 85), 0xFFFFFF, 40));   // only the first covers this
    CHECK(ScreenShot::Near(pasted.At(200, 200), 0x002040));

    // Sent to the back, it shows only where no other box covers it.
    command(32811);
    Pump(200);
    ScreenShot back = ScreenShot::Window(wnd);
    back.Save("lumicard_edit_back.bmp");
    CHECK(ScreenShot::Near(back.At(100, 80), 0xFFFFFF, 40));
    CHECK(ScreenShot::Near(back.At(135, 105), 0xFFFF00, 40));

    // Delete takes it away.
    PostMessageA(wnd, WM_KEYDOWN, VK_DELETE, 0);
    Pump(200);
    CHECK(Call(d, 58) == 0);
    ScreenShot deleted = ScreenShot::Window(wnd);
    CHECK(ScreenShot::Near(deleted.At(135, 105), 0x002040));
    CHECK(ScreenShot::Near(deleted.At(100, 80), 0xFFFFFF, 40));
}
