/* The button under real mouse input on a display of its own: the movable
 * mode's move loop and its notifications, left and right drags, WM_SETCURSOR
 * handed to the notification target, and tab-look neighbours drawing joined
 * corners (checked on screen pixels, kept as knobset_tabs.bmp). The mouse
 * is driven by SendInput from a second thread, since the move loop holds the
 * window's thread while the button is dragged. */
#include "knobset.h"
#include "../../uitoolkit/tests/unmanaged_display.h"
#include "screen_shot.h"

#include <catch2/catch.hpp>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

const COLORREF kParentColour = RGB(0, 128, 0);
HBRUSH g_parent_brush;
std::vector<int> g_codes;        /* notification codes of the parent, in order */
std::atomic<int> g_last_code{-1};
std::atomic<int> g_cursor_asks{0};

LRESULT CALLBACK ParentProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_COMMAND:
        if (LOWORD(wp) == 10) {
            g_codes.push_back(HIWORD(wp));
            g_last_code = HIWORD(wp);
        }
        return 0;
    case WM_CTLCOLORBTN:
        SetBkColor(reinterpret_cast<HDC>(wp), kParentColour);
        return reinterpret_cast<LRESULT>(g_parent_brush);
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(w, &r);
        FillRect(reinterpret_cast<HDC>(wp), &r, g_parent_brush);
        return 1;
    }
    }
    return DefWindowProcA(w, msg, wp, lp);
}

LRESULT CALLBACK TargetProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_SETCURSOR) {
        ++g_cursor_asks;
        return TRUE;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

void Register(const char *name, WNDPROC proc)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

void Pump()
{
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
}

/* Handles messages until pred() holds or ms pass. */
bool PumpUntil(const std::function<bool()> &pred, DWORD ms = 10000)
{
    const DWORD end = GetTickCount() + ms;
    for (;;) {
        Pump();
        if (pred()) return true;
        if (static_cast<LONG>(GetTickCount() - end) >= 0) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

/* Waits on another thread (no messages of its own to handle). */
bool WaitFor(const std::function<bool()> &pred, DWORD ms = 10000)
{
    const DWORD end = GetTickCount() + ms;
    while (!pred()) {
        if (static_cast<LONG>(GetTickCount() - end) >= 0) return false;
        Sleep(10);
    }
    return true;
}

void MouseTo(POINT p)
{
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    INPUT i = {};
    i.type = INPUT_MOUSE;
    i.mi.dx = static_cast<LONG>((p.x * 65535LL + (w - 1) / 2) / (w - 1));
    i.mi.dy = static_cast<LONG>((p.y * 65535LL + (h - 1) / 2) / (h - 1));
    i.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &i, sizeof i);
    WaitFor([&] {
        POINT c;
        GetCursorPos(&c);
        return c.x == p.x && c.y == p.y;
    }, 3000);
}

void Buttons(DWORD flags)
{
    INPUT i = {};
    i.type = INPUT_MOUSE;
    i.mi.dwFlags = flags;
    SendInput(1, &i, sizeof i);
}

POINT Centre(HWND w)
{
    RECT r;
    GetWindowRect(w, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

POINT Offset(POINT p, int dx, int dy) { return {p.x + dx, p.y + dy}; }

RECT InParent(HWND w)
{
    RECT r;
    GetWindowRect(w, &r);
    MapWindowPoints(nullptr, GetParent(w), reinterpret_cast<POINT *>(&r), 2);
    return r;
}

DWORD State(HWND b) { return static_cast<DWORD>(SendMessageA(b, KNBM_GETSTATE, 0, 0)); }

/* A shown parent with the button 10 on it. */
struct Stage {
    HWND parent, button;
    explicit Stage(DWORD style, const char *text = "0`23`171`Move",
                   const std::function<void(HWND)> &more = nullptr)
    {
        REQUIRE(LoadLibraryA("Knobkit.dll"));
        if (!g_parent_brush) g_parent_brush = CreateSolidBrush(kParentColour);
        Register("KnobMoveParent", ParentProc);
        parent = CreateWindowExA(WS_EX_TOPMOST, "KnobMoveParent", "", WS_POPUP | WS_VISIBLE, 60, 60, 420, 260, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
        button = CreateWindowExA(0, "Knobset", text, WS_CHILD | WS_VISIBLE | style, 100, 80, 90, 40, parent,
                                 reinterpret_cast<HMENU>(10), GetModuleHandleA(nullptr), nullptr);
        if (more) more(parent);
        SetForegroundWindow(parent);
        UpdateWindow(parent);
        Pump();
        g_codes.clear();
        g_last_code = -1;
    }
    ~Stage()
    {
        DestroyWindow(parent);
        Pump();
    }
};

/* Runs input on a second thread while this one handles messages. */
struct InputThread {
    std::function<void()> work;
    std::atomic<bool> done{false};
    HANDLE thread;
    static DWORD WINAPI Run(void *self)
    {
        auto *t = static_cast<InputThread *>(self);
        t->work();
        t->done = true;
        return 0;
    }
    explicit InputThread(std::function<void()> f) : work(std::move(f))
    {
        thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~InputThread()
    {
        if (!thread) return;
        WaitForSingleObject(thread, 20000);
        CloseHandle(thread);
    }
};

bool Contains(const std::vector<int> &v, int code) { return std::find(v.begin(), v.end(), code) != v.end(); }

std::string Codes(const std::vector<int> &v)
{
    std::string s;
    for (int c : v) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%d ", c);
        s += buf;
    }
    return s;
}

/* The codes without the repeats of 26, which come once per move. */
std::vector<int> Squeezed(const std::vector<int> &v)
{
    std::vector<int> out;
    for (int c : v)
        if (out.empty() || c != 26 || out.back() != 26) out.push_back(c);
    return out;
}

/* The screen's pixel at client point (x, y) of w, given a bounded time to
 * become the one expected (the X server draws after the window does). */
COLORREF ScreenPixel(HWND w, int x, int y, COLORREF expected)
{
    POINT p = {x, y};
    ClientToScreen(w, &p);
    COLORREF c = CLR_INVALID;
    for (int i = 0; i < 100; ++i) {
        Pump();
        GdiFlush();
        HDC screen = GetDC(nullptr);
        c = GetPixel(screen, p.x, p.y);
        ReleaseDC(nullptr, screen);
        if (c == expected) break;
        Sleep(20);
    }
    return c;
}

}  // namespace

TEST_CASE("A movable button follows a left drag and reports the move", "[knobmove]")
{
    Stage st(KNBS_CHICAGO);
    REQUIRE(SendMessageA(st.button, KNBM_STYLEOP, 5, 0x80000000) & 0x80000000);
    /* A replacing style without the movable bit keeps it. */
    REQUIRE(SendMessageA(st.button, KNBM_STYLEOP, 4, KNBS_CHICAGO) == static_cast<LRESULT>(0x80000000u | KNBS_CHICAGO));
    const RECT before = InParent(st.button);
    const POINT centre = Centre(st.button);

    SECTION("released: the button stays where it was dragged")
    {
        InputThread input([&] {
            MouseTo(centre);
            Buttons(MOUSEEVENTF_LEFTDOWN);
            WaitFor([&] { return (State(st.button) & 0x100) != 0; });
            MouseTo(Offset(centre, 14, 0));   /* past the press point: the move starts */
            WaitFor([&] { return g_last_code == 25; });
            for (int step = 1; step <= 4; ++step) MouseTo(Offset(centre, 14 + 10 * step, 8 * step));
            WaitFor([&] { return InParent(st.button).left == before.left + 40; });
            Buttons(MOUSEEVENTF_LEFTUP);
        });
        CHECK(PumpUntil([&] { return input.done && Contains(g_codes, 27); }));
        INFO("codes " << Codes(g_codes));
        CHECK(Squeezed(g_codes) == std::vector<int>{25, 26, 27});
        const RECT after = InParent(st.button);
        CHECK(after.left == before.left + 40);
        CHECK(after.top == before.top + 32);
        CHECK(after.right - after.left == before.right - before.left);
        CHECK_FALSE(Contains(g_codes, 0));   /* a move is no click */
        CHECK(GetCapture() == nullptr);
    }
    SECTION("a right-button release puts it back")
    {
        InputThread input([&] {
            MouseTo(centre);
            Buttons(MOUSEEVENTF_LEFTDOWN);
            WaitFor([&] { return (State(st.button) & 0x100) != 0; });
            MouseTo(Offset(centre, 14, 0));
            WaitFor([&] { return g_last_code == 25; });
            MouseTo(Offset(centre, 44, 20));
            WaitFor([&] { return InParent(st.button).left != before.left; });
            Buttons(MOUSEEVENTF_RIGHTDOWN);
            Buttons(MOUSEEVENTF_RIGHTUP);
            WaitFor([&] { return g_last_code == 27; });
            Buttons(MOUSEEVENTF_LEFTUP);
        });
        CHECK(PumpUntil([&] { return input.done && Contains(g_codes, 27); }));
        PumpUntil([] { return false; }, 200);   /* the late left-button release */
        INFO("codes " << Codes(g_codes));
        CHECK(Squeezed(g_codes) == std::vector<int>{25, 26, 28, 27});
        const RECT after = InParent(st.button);
        CHECK(after.left == before.left);
        CHECK(after.top == before.top);
        CHECK_FALSE(Contains(g_codes, 0));
    }
    SECTION("with Control held the drag sizes the button")
    {
        InputThread input([&] {
            MouseTo(centre);
            Buttons(MOUSEEVENTF_LEFTDOWN);
            WaitFor([&] { return (State(st.button) & 0x100) != 0; });
            MouseTo(Offset(centre, 14, 0));
            WaitFor([&] { return g_last_code == 25; });
            INPUT k = {};
            k.type = INPUT_KEYBOARD;
            k.ki.wVk = VK_CONTROL;
            SendInput(1, &k, sizeof k);
            MouseTo(Offset(centre, 34, 10));
            WaitFor([&] { return InParent(st.button).right != before.right; });
            Buttons(MOUSEEVENTF_LEFTUP);
            k.ki.dwFlags = KEYEVENTF_KEYUP;
            SendInput(1, &k, sizeof k);
        });
        CHECK(PumpUntil([&] { return input.done && Contains(g_codes, 27); }));
        const RECT after = InParent(st.button);
        CHECK(after.left == before.left);
        CHECK(after.right == before.right + 20);
        CHECK(after.bottom == before.bottom + 10);
    }
}

TEST_CASE("Left and right drags are reported", "[knobmove]")
{
    struct Case {
        DWORD down, up;
        int code;
    } cases[] = {
        {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, KNBN_DRAG},
        {MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, KNBN_RDRAG},
    };
    for (const Case &c : cases) {
        Stage st(KNBS_CHICAGO);
        SendMessageA(st.button, KNBM_STYLEOP, 5, KNBS_EX_DRAGDROP | KNBS_EX_RCLICKS);
        const RECT before = InParent(st.button);
        const POINT centre = Centre(st.button);
        InputThread input([&] {
            MouseTo(centre);
            Buttons(c.down);
            WaitFor([&] { return (State(st.button) & 0x1100) != 0; });
            MouseTo(Offset(centre, 20, 6));
            WaitFor([&] { return g_last_code == c.code; });
            Buttons(c.up);
        });
        CHECK(PumpUntil([&] { return input.done && Contains(g_codes, c.code); }));
        PumpUntil([] { return false; }, 200);
        INFO("codes " << Codes(g_codes));
        CHECK(Contains(g_codes, c.code));
        /* The drag ends the press: no click follows the release, and a
         * button that is not movable stays put. */
        CHECK_FALSE(Contains(g_codes, KNBN_CLICKED));
        CHECK_FALSE(Contains(g_codes, KNBN_RCLICKED));
        CHECK_FALSE(Contains(g_codes, 25));
        CHECK(InParent(st.button).left == before.left);
    }
}

TEST_CASE("WM_SETCURSOR goes on to the notification target with style 0x4000000", "[knobmove]")
{
    Register("KnobMoveTarget", TargetProc);
    for (bool pass : {false, true}) {
        Stage st(KNBS_CHICAGO | WS_CLIPSIBLINGS);
        HWND target = CreateWindowExA(0, "KnobMoveTarget", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
        SendMessageA(st.button, KNBM_SETTARGET, 0, reinterpret_cast<LPARAM>(target));
        if (pass) SendMessageA(st.button, KNBM_STYLEOP, 5, 0x4000000);
        g_cursor_asks = 0;
        const POINT centre = Centre(st.button);
        MouseTo(Offset(centre, -60, -60));
        Pump();
        MouseTo(centre);
        MouseTo(Offset(centre, 3, 2));
        PumpUntil([&] { return g_cursor_asks > 0; }, pass ? 5000 : 300);
        if (pass) CHECK(g_cursor_asks > 0);
        else CHECK(g_cursor_asks == 0);
        DestroyWindow(target);
    }
}

TEST_CASE("Tab-look neighbours join their corners", "[knobmove]")
{
    /* Three tabs made together, as a dialog makes its controls. */
    HWND two = nullptr, lone = nullptr;
    Stage st(KNBS_TABLOOK, "0`23`171`One", [&](HWND parent) {
        two = CreateWindowExA(0, "Knobset", "0`23`171`Two", WS_CHILD | WS_VISIBLE | KNBS_TABLOOK, 190, 80, 90, 40, parent,
                              reinterpret_cast<HMENU>(11), GetModuleHandleA(nullptr), nullptr);
        lone = CreateWindowExA(0, "Knobset", "0`23`171`Lone", WS_CHILD | WS_VISIBLE | KNBS_TABLOOK, 100, 180, 90, 40,
                               parent, reinterpret_cast<HMENU>(12), GetModuleHandleA(nullptr), nullptr);
    });
    /* The corners come with the message each button posts itself. */
    PumpUntil([] { return false; }, 300);
    RedrawWindow(st.parent, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump();

    const COLORREF hi = GetSysColor(COLOR_BTNHIGHLIGHT), sh = GetSysColor(COLOR_BTNSHADOW);
    const int w = 90;
    /* The first tab's right corner joins the second; its left one is cut. */
    CHECK(ScreenPixel(st.button, 0, 0, kParentColour) == kParentColour);
    CHECK(ScreenPixel(st.button, w - 1, 0, sh) == sh);   /* the shadow edge runs up to the top */
    CHECK(ScreenPixel(st.button, 1, 0, hi) == hi);
    /* The second tab's left corner joins the first; its right one is cut. */
    CHECK(ScreenPixel(two, 0, 0, hi) == hi);
    CHECK(ScreenPixel(two, w - 1, 0, kParentColour) == kParentColour);
    CHECK(ScreenPixel(two, w - 1, 1, sh) == sh);
    /* A tab alone has both corners cut. */
    CHECK(ScreenPixel(lone, 0, 0, kParentColour) == kParentColour);
    CHECK(ScreenPixel(lone, w - 1, 0, kParentColour) == kParentColour);
    ScreenShot::Window(st.parent).Save("knobset_tabs.bmp");

    /* Moved away, the second tab works its corners out again; the first
     * does so when asked. */
    SetWindowPos(two, nullptr, 300, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SendMessageA(st.button, WM_USER + 110, 0, 0);
    RedrawWindow(st.parent, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump();
    CHECK(ScreenPixel(two, 0, 0, kParentColour) == kParentColour);
    CHECK(ScreenPixel(st.button, w - 1, 0, kParentColour) == kParentColour);
}

TEST_CASE("WM_USER+36 repaints once for each new word", "[knobmove]")
{
    Stage st(KNBS_CHICAGO);
    SendMessageA(st.button, KNBM_STYLEOP, 5, KNBS_EX_DRAWMSGS);
    PumpUntil([] { return false; }, 100);
    const struct {
        WPARAM word;
        bool paints;
    } steps[] = {{7, true}, {7, false}, {8, true}, {0, true}};
    for (const auto &s : steps) {
        Pump();
        g_codes.clear();
        CHECK(SendMessageA(st.button, WM_USER + 36, s.word, 0) == 0);
        /* The repaint comes at once, within the message: only the
         * notifications it posted are taken, not paints the display may
         * still owe the window. */
        MSG m;
        while (PeekMessageA(&m, st.parent, WM_COMMAND, WM_COMMAND, PM_REMOVE)) DispatchMessageA(&m);
        CHECK(Contains(g_codes, KNBN_PAINTED) == s.paints);
    }
}
