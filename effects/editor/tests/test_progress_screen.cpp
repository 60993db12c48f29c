// Render progress on a real display, through the editor a host opens: a
// looping Go holds "Go!" pressed and stops at a real click on it, and a
// movie export shows its progress box and stops at a click on its Cancel
// button.  While a render runs the host's own posted messages still reach
// its window; input meant for other windows waits for no one.  A helper
// thread watches the render and gives the real input, since the render
// holds the test's thread.
#include <catch2/catch.hpp>

#include <cstring>
#include <string>

#include "editor_host.h"
#include "fxprogress.h"

using namespace fxtest;

namespace {

constexpr UINT kHostPost = WM_APP + 17;
volatile LONG g_hostPosts;
WNDPROC g_frameProc;

LRESULT CALLBACK FrameRecorder(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == kHostPost) InterlockedIncrement(&g_hostPosts);
    return CallWindowProcA(g_frameProc, w, msg, wp, lp);
}

// The host's window counts its own posted message.
struct Recorded {
    HWND frame;
    explicit Recorded(HWND f) : frame(f)
    {
        g_hostPosts = 0;
        g_frameProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(frame, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FrameRecorder)));
    }
    ~Recorded() { SetWindowLongPtrA(frame, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_frameProc)); }
};

void PressKey(WORD vk)
{
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
}

// A left click at the middle of w, from any thread.
void ClickFromThread(HWND w)
{
    RECT r;
    GetWindowRect(w, &r);
    const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    INPUT in[3] = {};
    for (INPUT &i : in) i.type = INPUT_MOUSE;
    in[0].mi.dx = LONG((x * 65535LL + (sw - 1) / 2) / (sw - 1));
    in[0].mi.dy = LONG((y * 65535LL + (sh - 1) / 2) / (sh - 1));
    in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(1, &in[0], sizeof(INPUT));
    Sleep(50);
    SendInput(1, &in[1], sizeof(INPUT));
    Sleep(50);
    SendInput(1, &in[2], sizeof(INPUT));
}

bool WaitFor(const std::function<bool()> &pred, DWORD ms = 10000)
{
    const DWORD end = GetTickCount() + ms;
    while (!pred()) {
        if (int(GetTickCount() - end) > 0) return false;
        Sleep(10);
    }
    return true;
}

// What the helper saw while the render held the test's thread.
struct Watch {
    HWND frame = nullptr;        // the host's window
    HWND go = nullptr;           // "Go!" of the editor's bar
    DWORD thread = 0;            // the test's thread
    volatile LONG done = 0;      // the render has returned
    bool pressed = false;        // "Go!" read as pressed during the render
    bool hostPostArrived = false;
    bool boxSeen = false;
    std::string boxText;
    bool clicked = false;
    bool fallback = false;       // the click did not stop it: Esc was pressed
    HANDLE handle = nullptr;

    void Start(LPTHREAD_START_ROUTINE run) { handle = CreateThread(nullptr, 0, run, this, 0, nullptr); }
    void Finish()
    {
        InterlockedExchange(&done, 1);
        WaitForSingleObject(handle, 20000);
        CloseHandle(handle);
    }
    // The click must end the render; else Esc ends it so the test goes on.
    void AwaitEnd()
    {
        if (!WaitFor([this] { return done != 0; }, 10000)) {
            fallback = true;
            while (!done) {
                PressKey(VK_ESCAPE);
                Sleep(200);
            }
        }
    }
    // The host posts to its own window; it must arrive while the render runs.
    void HostPost()
    {
        const LONG before = g_hostPosts;
        PostMessageA(frame, kHostPost, 0, 0);
        hostPostArrived = WaitFor([&] { return g_hostPosts > before; }, 5000) && !done;
    }
};

DWORD WINAPI StopGo(void *p)
{
    auto *w = static_cast<Watch *>(p);
    DWORD_PTR state = 0;
    w->pressed = WaitFor([&] {
        return SendMessageTimeoutA(w->go, BM_GETCHECK, 0, 0, SMTO_NORMAL, 1000, &state) && state == BST_CHECKED;
    });
    if (w->pressed) w->HostPost();
    ClickFromThread(w->go);
    w->clicked = true;
    w->AwaitEnd();
    return 0;
}

struct FindBox {
    HWND box = nullptr;
    static BOOL CALLBACK Visit(HWND h, LPARAM lp)
    {
        if (IsWindowVisible(h) && GetDlgItem(h, FX_ID_PROGRESS_TEXT) && GetDlgItem(h, FX_ID_GO)) {
            reinterpret_cast<FindBox *>(lp)->box = h;
            return FALSE;
        }
        return TRUE;
    }
};

HWND ProgressBox(DWORD thread)
{
    FindBox f;
    EnumThreadWindows(thread, FindBox::Visit, reinterpret_cast<LPARAM>(&f));
    return f.box;
}

DWORD WINAPI CancelBox(void *p)
{
    auto *w = static_cast<Watch *>(p);
    HWND box = nullptr;
    char text[128] = "";
    w->boxSeen = WaitFor([&] {
        box = ProgressBox(w->thread);
        if (!box) return false;
        // The count shows once the first frame is done.
        text[0] = 0;
        GetWindowTextA(GetDlgItem(box, FX_ID_PROGRESS_TEXT), text, sizeof text);
        return std::strstr(text, " of ") != nullptr;
    });
    w->boxText = text;
    if (w->boxSeen) {
        w->HostPost();
        SaveShot(TakeShot(box), "progress_box.bmp");
        ClickFromThread(GetDlgItem(box, FX_ID_GO));
        w->clicked = true;
    }
    w->AwaitEnd();
    return 0;
}

FxRequest Request(uint32_t code, uint32_t unit, void *data, uintptr_t second)
{
    FxRequest r = {};
    r.data = data;
    r.marker = FXR_MARKER;
    r.code = code;
    r.unit = unit;
    r.second = second;
    return r;
}

}  // namespace

TEST_CASE("A looping Go stops at a click on the pressed Go! button; the host's posts arrive meanwhile",
          "[progress][screen]")
{
    REQUIRE(Library());
    EditorHost e(0);
    e.host.iniPath = WriteIni("fxprogress.ini", "[Cubby Test]\r\n");
    REQUIRE(e.Open());
    // Two keyframes more, so that the effect runs over several frames.
    SendMessageA(e.Bind(), WM_COMMAND, 3061, 0);
    SendMessageA(e.Bind(), WM_COMMAND, 3061, 0);
    HWND go = GetDlgItem(e.Inst()->barDialog, FX_ID_GO);
    REQUIRE(go);
    REQUIRE(IsWindowEnabled(go));
    CHECK(SendMessageA(go, BM_GETCHECK, 0, 0) == BST_UNCHECKED);
    Recorded rec(e.frame);
    Watch w;
    w.frame = e.frame;
    w.go = go;
    w.thread = GetCurrentThreadId();
    w.Start(StopGo);
    // Loop play: runs until something stops it.
    SendMessageA(e.Bind(), WM_COMMAND, 3113, 0);
    w.Finish();
    CHECK(w.pressed);
    CHECK(w.hostPostArrived);
    CHECK(w.clicked);
    CHECK_FALSE(w.fallback);
    // Released again, and the editor still answers.
    CHECK(SendMessageA(go, BM_GETCHECK, 0, 0) == BST_UNCHECKED);
    CHECK(e.Effect()->currentFrame >= 1);
    e.Shot("progress_go_after.bmp");
}

TEST_CASE("A movie export shows the progress box and stops at a click on its Cancel button", "[progress][screen]")
{
    REQUIRE(Library());
    EditorHost e(1);
    e.host.iniPath = WriteIni("fxprogress.ini", "[Cubby Test]\r\n");
    REQUIRE(e.Open());
    std::vector<uint32_t> px(16 * 16, 0xFF2040E0);
    FxRequest img = Request(FXD_OBJECT_IMAGE, FXM_MEMORY, px.data(), (16u << 16) | 16u);
    REQUIRE(e.host.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &img) == 1);
    e.Inst()->frameWidth = 16;
    e.Inst()->frameHeight = 16;
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    const std::string movie = std::string(dir) + "fxprogress_" + std::to_string(GetCurrentProcessId()) + ".vexa";
    DeleteFileA(movie.c_str());
    Recorded rec(e.frame);
    Watch w;
    w.frame = e.frame;
    w.thread = GetCurrentThreadId();
    w.Start(CancelBox);
    // Frames 1 to 65535: far more than the helper lets it render.
    FxRequest r = Request(FXD_MOVIE, FXM_FILE, const_cast<char *>(movie.c_str()), (0xFFFFu << 16) | 1u);
    const INT_PTR answer = e.host.Send(FXN_REQUEST, FXP_TRANSFER, &r);
    w.Finish();
    INFO(w.boxText);
    CHECK(w.boxSeen);
    // Fields are counted: the export renders field steps.
    CHECK(w.boxText.rfind("Field ", 0) == 0);
    CHECK(w.hostPostArrived);
    CHECK(w.clicked);
    CHECK_FALSE(w.fallback);
    // A cancelled export answers no movie, and the box is gone.
    CHECK(answer == 0);
    CHECK(ProgressBox(GetCurrentThreadId()) == nullptr);
    DeleteFileA(movie.c_str());
}
