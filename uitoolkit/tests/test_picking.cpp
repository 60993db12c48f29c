/* Window picking with synthetic mouse input, and the texture hooks. */
#include <catch2/catch.hpp>

#include "dialog_support.h"
#include "unmanaged_display.h"
#include "tundrix32.h"

namespace {

/* A visible target with an enabled, a disabled, a hidden and a transparent
 * child, side by side. */
struct Targets {
    HWND top, enabled, disabled, hidden, transparent;
    Targets()
    {
        top = CreateWindowExA(0, "STATIC", "target", WS_POPUP | WS_VISIBLE, 200, 200, 400, 100, nullptr, nullptr,
                              nullptr, nullptr);
        enabled = Child(0, WS_VISIBLE);
        disabled = Child(100, WS_VISIBLE | WS_DISABLED);
        hidden = Child(200, 0);
        transparent = CreateWindowExA(WS_EX_TRANSPARENT, "BUTTON", "t", WS_CHILD | WS_VISIBLE, 300, 0, 80, 50, top,
                                      nullptr, nullptr, nullptr);
    }
    HWND Child(int x, DWORD style)
    {
        return CreateWindowExA(0, "BUTTON", "b", WS_CHILD | style, x, 0, 80, 50, top, nullptr, nullptr, nullptr);
    }
    ~Targets() { DestroyWindow(top); }
};

/* Queues a pointer move to the middle of a window's first 80 x 50 pixels
 * of top (in top's client coordinates), then the given messages. */
void Move(HWND top, int x, UINT msg = WM_MOUSEMOVE)
{
    PostMessageA(top, msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(x + 40, 25));
}

LRESULT CALLBACK Filter(HWND w, int code, LPARAM data)
{
    auto *want = reinterpret_cast<HWND *>(data);
    if (code != 3) return 0;
    return w == *want ? 0x8001 : 1;
}

struct Counter {
    static int erases;
    static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
    {
        if (msg == WM_ERASEBKGND || msg == 25) {
            ++erases;
            return 77;
        }
        return DefWindowProcA(w, msg, wp, lp);
    }
};
int Counter::erases;

}  // namespace

TEST_CASE("Picking a window with the mouse", "[picking]")
{
    Targets t;
    MSG drop;
    while (PeekMessageA(&drop, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&drop);
    struct Row { const char *name; int x; DWORD flags; int want; } rows[] = {
        {"an enabled child", 0, 0, 1},
        {"a disabled child is refused", 100, 0, 0},
        {"a disabled child with its flag", 100, SELWIN_DISABLED, 2},
        {"a hidden child is refused", 200, 0, 0},
        {"a hidden child with its flag", 200, SELWIN_HIDDEN, 3},
        {"a transparent child is refused", 300, 0, 0},
        {"a transparent child with its flag", 300, SELWIN_TRANSPARENT, 4},
    };
    for (const Row &r : rows) {
        INFO(r.name);
        Move(t.top, r.x);
        Move(t.top, r.x, WM_LBUTTONUP);
        HWND got = SelectWindow(nullptr, nullptr, nullptr, r.flags, nullptr, 0, 0);
        HWND kids[] = {nullptr, t.enabled, t.disabled, t.hidden, t.transparent};
        CHECK(got == kids[r.want]);
        CHECK(GetCapture() == nullptr);
    }
}

TEST_CASE("Picking keeps the last acceptable window and ends on its button", "[picking]")
{
    Targets t;
    SELECTWINDOWREQUEST req = {};
    SECTION("the right button does not end a pick started without buttons")
    {
        Move(t.top, 0);
        Move(t.top, 100);
        PostMessageA(t.top, WM_RBUTTONUP, 0, MAKELPARAM(140, 25));
        Move(t.top, 100, WM_LBUTTONUP);
        CHECK(SelectWindowEx(&req) == t.enabled);
        CHECK(req.chosen == t.enabled);
    }
    SECTION("Escape cancels")
    {
        Move(t.top, 0);
        PostMessageA(t.top, WM_KEYDOWN, VK_ESCAPE, 0);
        Move(t.top, 0, WM_LBUTTONUP);
        CHECK(SelectWindowEx(&req) == nullptr);
        CHECK(req.chosen == nullptr);
        PumpMessages();
    }
}

TEST_CASE("Picking restrictions", "[picking]")
{
    Targets t;
    OwnerWindow other;
    SetWindowPos(other.hwnd, HWND_BOTTOM, 700, 500, 50, 50, SWP_NOACTIVATE);
    SELECTWINDOWREQUEST req = {};
    SECTION("windows of another thread are refused")
    {
        req.flags = SELWIN_THREAD;
        req.restriction = GetCurrentThreadId() + 1;
        Move(t.top, 0);
        Move(t.top, 0, WM_LBUTTONUP);
        CHECK(SelectWindowEx(&req) == nullptr);
        req.restriction = GetCurrentThreadId();
        Move(t.top, 0);
        Move(t.top, 0, WM_LBUTTONUP);
        CHECK(SelectWindowEx(&req) == t.enabled);
    }
    SECTION("descendants of a window")
    {
        req.restriction = reinterpret_cast<ULONG_PTR>(other.hwnd);
        Move(t.top, 0);
        Move(t.top, 0, WM_LBUTTONUP);
        CHECK(SelectWindowEx(&req) == nullptr);
        req.restriction = reinterpret_cast<ULONG_PTR>(t.top);
        Move(t.top, 0);
        Move(t.top, 0, WM_LBUTTONUP);
        CHECK(SelectWindowEx(&req) == t.enabled);
    }
    SECTION("the filter accepts at once")
    {
        HWND want = t.disabled;
        req.flags = SELWIN_FILTER;
        req.filter = Filter;
        req.data = reinterpret_cast<LPARAM>(&want);
        Move(t.top, 100);
        Move(t.top, 100, WM_LBUTTONUP);
        CHECK(SelectWindowEx(&req) == t.disabled);
        CHECK(req.last_answer == 0x8001);
        /* A plain nonzero answer leaves the other tests to decide. */
        Move(t.top, 0);
        Move(t.top, 0, WM_LBUTTONUP);
        CHECK(SelectWindowEx(&req) == t.enabled);
        CHECK(req.last_answer == 1);
    }
}

TEST_CASE("Texture hooks route background painting to the parent", "[picking]")
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Counter::Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TkTextureFrame";
    RegisterClassA(&wc);
    HWND frame = CreateWindowExA(0, "TkTextureFrame", "", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    CLIENTCREATESTRUCT ccs = {};
    HWND client = CreateWindowExA(0, "MDIClient", "", WS_CHILD, 0, 0, 100, 100, frame, nullptr, nullptr, &ccs);
    HWND a = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, frame, nullptr, nullptr, nullptr);
    HWND b = CreateWindowExA(0, "EDIT", "", WS_CHILD, 0, 0, 10, 10, frame, nullptr, nullptr, nullptr);
    REQUIRE(client);
    LONG_PTR a_proc = GetWindowLongPtrA(a, GWLP_WNDPROC);
    LONG_PTR client_proc = GetWindowLongPtrA(client, GWLP_WNDPROC);

    CHECK(SetMDIFrameTextureHook(frame));
    CHECK(SetMDIFrameTextureHook(frame));
    CHECK(GetWindowLongPtrA(a, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(TextureHookWinproc));
    CHECK(reinterpret_cast<LONG_PTR>(GetPropA(a, "MDICHILDHOOK_OLDWINPROC")) == a_proc);
    CHECK(GetWindowLongPtrA(client, GWLP_WNDPROC) == client_proc);

    Counter::erases = 0;
    HDC dc = GetDC(a);
    CHECK(SendMessageA(a, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 77);
    CHECK(SendMessageA(b, 25, reinterpret_cast<WPARAM>(dc), 0) == 77);
    ReleaseDC(a, dc);
    CHECK(Counter::erases == 2);
    SetWindowTextA(b, "still an edit");
    CHECK(WindowText(b) == "still an edit");

    CHECK(RemoveMDIAllHooks(frame));
    CHECK(GetWindowLongPtrA(a, GWLP_WNDPROC) == a_proc);
    CHECK(RemoveMDITextureHook(a) == FALSE);
    CHECK(RemoveMDIAllHooks(nullptr) == FALSE);
    CHECK(SetTextureHook(nullptr, nullptr) == FALSE);
    DestroyWindow(frame);
}
