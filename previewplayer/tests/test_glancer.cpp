/*
 * Glancer.dll loaded as the scheduler loads it, its exports taken by
 * ordinal, playing clips made by tests/make_clips.sh through the system's
 * graph manager and our FFmpeg filters.
 */
#define NOMINMAX
#include <catch2/catch.hpp>

#include <windows.h>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

struct Glancer {
    HMODULE dll = nullptr;
    void(WINAPI *MyStop)();
    void(WINAPI *MyRun)();
    void(WINAPI *MyPause)();
    int(WINAPI *SetMyPosition)(int);
    int(WINAPI *GetMyVideoDuration)();
    HWND(WINAPI *SetMyVideoWindows)(HWND);
    int(WINAPI *MyFileOpen)(const char *);
    void(WINAPI *MyReleaseAll)();
    HRESULT(WINAPI *GetMyVideoSize)(int *, int *);
    int(WINAPI *GetMyPosition)();
    void(WINAPI *MyRewind)(int);
    void(WINAPI *MyForward)(int);

    template <typename F> void Bind(F &f, int ordinal, const char *name)
    {
        FARPROC byOrdinal = GetProcAddress(dll, MAKEINTRESOURCEA(ordinal));
        FARPROC byName = GetProcAddress(dll, name);
        INFO(name);
        REQUIRE(byOrdinal != nullptr);
        CHECK(byOrdinal == byName);
        f = reinterpret_cast<F>(byOrdinal);
    }
    Glancer()
    {
        dll = LoadLibraryA("Glancer.dll");
        REQUIRE(dll != nullptr);
        Bind(MyStop, 1, "MyStop");
        Bind(MyRun, 2, "MyRun");
        Bind(MyPause, 3, "MyPause");
        Bind(SetMyPosition, 4, "SetMyPosition");
        Bind(GetMyVideoDuration, 5, "GetMyVideoDuration");
        Bind(SetMyVideoWindows, 6, "SetMyVideoWindows");
        Bind(MyFileOpen, 7, "MyFileOpen");
        Bind(MyReleaseAll, 8, "MyReleaseAll");
        Bind(GetMyVideoSize, 9, "GetMyVideoSize");
        Bind(GetMyPosition, 10, "GetMyPosition");
        Bind(MyRewind, 11, "MyRewind");
        Bind(MyForward, 12, "MyForward");
    }
};

std::string Clip(const char *name)
{
    const char *dir = std::getenv("GLANCER_CLIPS");
    std::string p = std::string("Z:") + (dir ? dir : "/tmp/glancerclips") + "/" + name;
    for (auto &c : p)
        if (c == '/')
            c = '\\';
    return p;
}

void Pump()
{
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
}

/* Waits (pumping messages) until 'done' holds, at most 'ms'. */
bool WaitFor(const std::function<bool()> &done, DWORD ms = 10000)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > ms)
            return false;
        Pump();
        Sleep(20);
    }
    return true;
}

HWND OwnerWindow()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "GlancerTestOwner";
    RegisterClassA(&wc);
    HWND w = CreateWindowA("GlancerTestOwner", "preview", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 160,
                           nullptr, nullptr, wc.hInstance, nullptr);
    REQUIRE(w);
    return w;
}

} // namespace

TEST_CASE("Preview player", "[glancer]")
{
    CoInitialize(nullptr);
    Glancer g;
    HWND owner = OwnerWindow();

    SECTION("closed: duration -1, position 0, size 0 x 0 with a failure, transport does nothing")
    {
        CHECK(g.GetMyVideoDuration() == -1);
        CHECK(g.GetMyPosition() == 0);
        int w = 77, h = 77;
        CHECK(FAILED(g.GetMyVideoSize(&w, &h)));
        CHECK((w == 0 && h == 0));
        g.MyRun();
        g.MyPause();
        g.MyStop();
        g.MyRewind(5);
        g.MyForward(5);
        CHECK(g.SetMyPosition(3) == 0);
        CHECK(g.GetMyVideoDuration() == -1);
        CHECK(g.SetMyVideoWindows(nullptr) == nullptr);
    }

    SECTION("missing and damaged files leave the player closed")
    {
        CHECK(g.SetMyVideoWindows(owner) == owner);
        for (const char *bad : {"absent.avi", "text.avi", "empty.avi", "noise.avi"}) {
            INFO(bad);
            CHECK(g.MyFileOpen(Clip(bad).c_str()) == 0);
            CHECK(g.GetMyVideoDuration() == -1);
            CHECK(g.GetMyPosition() == 0);
        }
        CHECK(g.MyFileOpen(nullptr) == 0);
        CHECK(g.MyFileOpen(("C:\\" + std::string(400, 'x') + ".avi").c_str()) == 0);
        /* A good open after a failed one works, and a failed one closes it. */
        REQUIRE(g.MyFileOpen(Clip("twelve.avi").c_str()) == 1);
        CHECK(g.GetMyVideoDuration() == 12);
        CHECK(g.MyFileOpen(Clip("text.avi").c_str()) == 0);
        CHECK(g.GetMyVideoDuration() == -1);
    }

    SECTION("a 12 s clip: size, positions, clamping and transport")
    {
        g.SetMyVideoWindows(owner);
        REQUIRE(g.MyFileOpen(Clip("twelve.avi").c_str()) == 1);
        CHECK(g.GetMyVideoDuration() == 12);
        CHECK(g.GetMyPosition() == 0);
        int w = 0, h = 0;
        CHECK(g.GetMyVideoSize(&w, &h) == S_OK);
        CHECK((w == 160 && h == 120));

        /* The video shows inside the owner, over its whole client area. */
        HWND child = GetWindow(owner, GW_CHILD);
        REQUIRE(child != nullptr);
        CHECK(IsWindowVisible(child));
        RECT oc, cc;
        GetClientRect(owner, &oc);
        GetClientRect(child, &cc);
        CHECK(cc.right == oc.right);
        CHECK(cc.bottom == oc.bottom);

        CHECK(g.SetMyPosition(5) == 1);
        CHECK(g.GetMyPosition() == 5);
        CHECK(g.SetMyPosition(13) == 0);
        CHECK(g.SetMyPosition(-1) == 0);
        CHECK(g.GetMyPosition() == 5);
        CHECK(g.SetMyPosition(12) == 1);
        CHECK(g.GetMyPosition() == 12);

        g.SetMyPosition(3);
        g.MyRewind(5);
        CHECK(g.GetMyPosition() == 0);
        g.MyForward(4);
        CHECK(g.GetMyPosition() == 4);
        g.MyForward(100);
        CHECK(g.GetMyPosition() == 12);
        CHECK(g.GetMyVideoDuration() == 12);

        g.MyStop();
        CHECK(g.GetMyPosition() == 1);
        /* Forward on a stopped player leaves it paused at the new place. */
        g.MyForward(2);
        CHECK(g.GetMyPosition() == 3);

        g.SetMyPosition(0);
        g.MyRun();
        CHECK(WaitFor([&] { return g.GetMyPosition() >= 1; }));
        /* Paused, the position stands where it was put. */
        g.MyPause();
        CHECK(g.SetMyPosition(2) == 1);
        Sleep(1300);
        Pump();
        CHECK(g.GetMyPosition() == 2);
        /* Rewind while running keeps it running. */
        g.MyRun();
        g.MyRewind(1);
        CHECK(WaitFor([&] { return g.GetMyPosition() >= 2; }));

        g.MyReleaseAll();
        CHECK(g.GetMyVideoDuration() == -1);
        CHECK(FAILED(g.GetMyVideoSize(&w, &h)));
        CHECK((w == 0 && h == 0));
        CHECK(GetWindow(owner, GW_CHILD) == nullptr);
    }

    SECTION("stop on a medium shorter than a second does not seek")
    {
        g.SetMyVideoWindows(owner);
        REQUIRE(g.MyFileOpen(Clip("half.avi").c_str()) == 1);
        CHECK(g.GetMyVideoDuration() == 0);
        g.MyStop();
        CHECK(g.GetMyPosition() == 0);
        g.MyForward(1);
        CHECK(g.GetMyPosition() == 0);
    }

    SECTION("hours away: 10,000 s reached exactly both ways")
    {
        g.SetMyVideoWindows(owner);
        REQUIRE(g.MyFileOpen(Clip("long.avi").c_str()) == 1);
        CHECK(g.GetMyVideoDuration() == 10000);
        g.MyForward(9999);
        CHECK(g.GetMyPosition() == 9999);
        g.MyRewind(9000);
        CHECK(g.GetMyPosition() == 999);
        CHECK(g.SetMyPosition(10000) == 1);
        CHECK(g.GetMyPosition() == 10000);
        CHECK(g.SetMyPosition(10001) == 0);
    }

    SECTION("no owner window: the duration is measured without showing anything")
    {
        REQUIRE(g.MyFileOpen(Clip("twelve.avi").c_str()) == 1);
        CHECK(g.GetMyVideoDuration() == 12);
        g.MyReleaseAll();
    }

    SECTION("ANSI paths reach the graph as UTF-16")
    {
        const char16_t name16[] = u"clip_\u00e9t\u00e9.avi";
        char ansi[64];
        BOOL lossy = FALSE;
        int n = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(name16), -1, ansi, sizeof ansi, nullptr, &lossy);
        if (!n || lossy) {
            WARN("the ANSI code page cannot write the name; skipped");
        } else {
            char tmp[MAX_PATH];
            GetTempPathA(MAX_PATH, tmp);
            std::string path = std::string(tmp) + ansi;
            REQUIRE(CopyFileA(Clip("twelve.avi").c_str(), path.c_str(), FALSE));
            g.SetMyVideoWindows(owner);
            CHECK(g.MyFileOpen(path.c_str()) == 1);
            CHECK(g.GetMyVideoDuration() == 12);
            g.MyReleaseAll();
            DeleteFileA(path.c_str());
        }
    }

    g.MyReleaseAll();
    DestroyWindow(owner);
    FreeLibrary(g.dll);
    CoUninitialize();
}
