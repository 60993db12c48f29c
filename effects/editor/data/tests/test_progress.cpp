// Render progress: the pressed "Go!" button or the progress box with its
// counts, and the polling between frames (Esc, Enter, the cancel button,
// "Go!" pressed again; input and the editor's own commands dropped,
// every other message handled).
#include <catch2/catch.hpp>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "fxdata.h"
#include "fxprogress.h"
#include "fxedit.h"
#include "fxview.h"

namespace {

std::vector<int> g_frames;
void RecordFrame(void *, int frame) { g_frames.push_back(frame); }

// The messages that reached a window procedure.
std::vector<std::pair<HWND, UINT>> g_seen;
LRESULT CALLBACK Seen(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_USER + 5 || msg == WM_COMMAND || msg == WM_TIMER || msg == WM_LBUTTONDOWN || msg == WM_KEYDOWN)
        g_seen.emplace_back(w, msg);
    return DefWindowProcA(w, msg, wp, lp);
}

BOOL CALLBACK CountOne(HWND, LPARAM lp)
{
    ++*reinterpret_cast<int *>(lp);
    return TRUE;
}
int ThreadWindows()
{
    int n = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountOne, reinterpret_cast<LPARAM>(&n));
    return n;
}

void Drain()
{
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        ;
}

struct Editor {
    HWND main, toolBar, go;
    FxProgressEditor ed{};
    FxProgressJob job{};
    Editor()
    {
        main = CreateWindowA("STATIC", "main", 0, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
        toolBar = CreateWindowA("STATIC", "bar", 0, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
        go = CreateWindowA("BUTTON", "Go!", WS_CHILD | BS_AUTOCHECKBOX | BS_PUSHLIKE, 0, 0, 20, 20, toolBar,
                           HMENU(INT_PTR(FX_ID_GO)), nullptr, nullptr);
        ed.mainWindow = main;
        ed.toolBar = toolBar;
        ed.showFrame = RecordFrame;
        job.current = 3;
        job.total = 10;
        job.frame = 17;
        g_frames.clear();
        Drain();
    }
    ~Editor()
    {
        RenderProgressStep(&ed, 2, &job);
        DestroyWindow(toolBar);
        DestroyWindow(main);
        Drain();
    }
    int Step(int step) { return RenderProgressStep(&ed, step, &job); }
};

}  // namespace

TEST_CASE("without a box the Go! button shows the render as pressed", "[progress]")
{
    Editor e;
    int before = ThreadWindows();
    REQUIRE(e.Step(1) == 1);
    CHECK(ThreadWindows() == before);
    REQUIRE(e.ed.state);
    CHECK(e.ed.state->box == nullptr);
    CHECK(SendMessageA(e.go, BM_GETCHECK, 0, 0) == BST_CHECKED);
    CHECK(e.Step(0) == 1);
    CHECK(e.Step(5) == 1);
    CHECK(g_frames == std::vector<int>{ 17, 17 });
    CHECK(e.Step(3) == 1);
    CHECK(e.Step(2) == 1);
    CHECK(e.ed.state == nullptr);
    CHECK(SendMessageA(e.go, BM_GETCHECK, 0, 0) == BST_UNCHECKED);

    // A render that never ended leaves its box; the next start removes it.
    e.job.flags = FXP_SHOW_BOX;
    REQUIRE(e.Step(1) == 1);
    HWND left = e.ed.state->box;
    REQUIRE(e.Step(1) == 1);
    CHECK(!IsWindow(left));
    CHECK(IsWindow(e.ed.state->box));
    CHECK(e.Step(2) == 1);
    e.job.flags = 0;

    // No button and no box: nothing can cancel, the render is refused.
    e.ed.toolBar = nullptr;
    CHECK(e.Step(1) == 0);
    CHECK(e.ed.state == nullptr);
}

TEST_CASE("the progress box counts in the job's unit", "[progress]")
{
    Editor e;
    struct Case { uint32_t flags; const char *text; } cases[] = {
        { FXP_SHOW_BOX, "Frame 3 of 10" },
        { FXP_SHOW_BOX | 0x4, "Step 3 of 10" },
        { FXP_SHOW_BOX | 0x2, "Field 3 of 10" },
        { FXP_SHOW_BOX | 0x8000 | 0x4, "Field 3 of 10" },
    };
    for (const Case &c : cases) {
        CAPTURE(c.flags);
        e.job.flags = c.flags;
        REQUIRE(e.Step(1) == 1);
        HWND box = e.ed.state->box;
        REQUIRE(IsWindow(box));
        CHECK(e.ed.state->cancel == GetDlgItem(box, FX_ID_GO));
        CHECK(SendMessageA(e.go, BM_GETCHECK, 0, 0) == BST_UNCHECKED);
        CHECK(e.Step(0) == 1);
        char text[64] = "";
        GetDlgItemTextA(box, FX_ID_PROGRESS_TEXT, text, sizeof text);
        CHECK(std::string(text) == c.text);
        CHECK(e.Step(2) == 1);
        CHECK(!IsWindow(box));
    }
}

TEST_CASE("pending messages: what cancels and what is dropped", "[progress]")
{
    Editor e;
    SECTION("Esc and Enter cancel after the current frame")
    {
        for (WPARAM key : { WPARAM(VK_ESCAPE), WPARAM(VK_RETURN) }) {
            REQUIRE(e.Step(1) == 1);
            PostMessageA(e.main, WM_KEYDOWN, key, 0);
            CHECK(e.Step(0) == 0);
            CHECK(e.Step(2) == 1);
        }
    }
    SECTION("the box's cancel button cancels")
    {
        e.job.flags = FXP_SHOW_BOX;
        REQUIRE(e.Step(1) == 1);
        HWND box = e.ed.state->box;
        SendMessageA(box, WM_COMMAND, MAKEWPARAM(FX_ID_GO, BN_CLICKED), LPARAM(e.ed.state->cancel));
        CHECK(e.Step(0) == 0);
    }
    SECTION("Go! pressed again stops the render")
    {
        REQUIRE(e.Step(1) == 1);
        PostMessageA(e.main, WM_COMMAND, FX_ID_GO, 0);
        CHECK(e.Step(0) == 0);
    }
    SECTION("other messages are taken one per frame: input and the editor's commands dropped, the rest handled")
    {
        REQUIRE(e.Step(1) == 1);
        HWND other = CreateWindowA("BUTTON", "other", 0, 0, 0, 20, 20, nullptr, nullptr, nullptr, nullptr);
        g_seen.clear();
        SetWindowLongPtrA(other, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Seen));
        SetWindowLongPtrA(e.main, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Seen));
        PostMessageA(e.main, WM_USER + 5, 0, 0);
        PostMessageA(e.main, WM_KEYDOWN, 'A', 0);
        PostMessageA(e.main, WM_COMMAND, 3082, 0);
        PostMessageA(other, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        PostMessageA(other, WM_COMMAND, 3082, 0);
        PostMessageA(other, WM_TIMER, 7, 0);
        for (int i = 0; i < 6; ++i)
            CHECK(e.Step(0) == 1);
        MSG m;
        CHECK(!PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
        const std::vector<std::pair<HWND, UINT>> want = {
            {e.main, WM_USER + 5}, {other, WM_COMMAND}, {other, WM_TIMER}};
        CHECK(g_seen == want);
        DestroyWindow(other);
    }
    SECTION("a quit ends the render and stays queued for the thread's loop")
    {
        REQUIRE(e.Step(1) == 1);
        PostQuitMessage(3);
        CHECK(e.Step(0) == 0);
        MSG m;
        REQUIRE(PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        CHECK(m.wParam == 3);
    }
    SECTION("the cancel-only callback")
    {
        CHECK(RenderCancelStep(&e.job) == 1);
        PostMessageA(e.main, WM_USER, 0, 0);
        CHECK(RenderCancelStep(&e.job) == 1);
        PostMessageA(e.main, WM_KEYDOWN, VK_ESCAPE, 0);
        CHECK(RenderCancelStep(&e.job) == 0);
    }
}

namespace {

std::vector<int> g_rendered;
HWND g_keyWindow;
int g_escAfter;
FxProgressEditor *g_editor;

int CountFrames(int step, FxRenderJob *job)
{
    if (step == RS_FRAME) {
        int frame = FxRound(job->frameTime);
        if (g_rendered.empty() || g_rendered.back() != frame)
            g_rendered.push_back(frame);
        if (frame == g_escAfter)
            PostMessageA(g_keyWindow, WM_KEYDOWN, VK_ESCAPE, 0);
    }
    return 1;
}

FxProgressEditor *EditorOf(void *) { return g_editor; }

// A ten-frame effect in a view without a picture: the renderer walks its
// steps and calls back, nothing is drawn.
struct Render {
    Editor e;
    FxEffect *effect = nullptr;
    FxView *view = nullptr;
    Render()
    {
        int32_t d[13] = {};
        d[0] = 32;
        d[1] = 24;
        SIZE client = { 32, 24 };
        view = CreateView(d, nullptr, VIEW_NO_LAYER, nullptr, &client, nullptr);
        REQUIRE(view);
        effect = NewEffect(nullptr, 0);
        REQUIRE(effect);
        FxKeyframe *last = NewKeyframe();
        REQUIRE(InsertKeyframeAtFrame(effect->first, 10, last, 0));
        g_rendered.clear();
        g_keyWindow = e.main;
        g_escAfter = -1;
        g_editor = &e.ed;
        g_fxProgressEditor = EditorOf;
    }
    ~Render()
    {
        g_fxProgressEditor = nullptr;
        DeleteEffect(effect);
        DestroyView(view);
    }
    int Run(FxRenderCallback progress)
    {
        FxRenderJob j;
        memset(&j, 0, sizeof j);
        j.width = 32;
        j.height = 24;
        j.progress = progress;
        j.object = CountFrames;
        return RenderFrames(view, effect->first, nullptr, &j);
    }
};

}  // namespace

TEST_CASE("Esc during a render ends it after the current frame", "[progress][render]")
{
    Render r;
    SECTION("uninterrupted")
    {
        CHECK(r.Run(RenderProgressProc) == 0);
        CHECK(g_rendered.size() == 10);
        CHECK(r.e.ed.state == nullptr);
        CHECK(SendMessageA(r.e.go, BM_GETCHECK, 0, 0) == BST_UNCHECKED);
        CHECK(g_frames.size() >= 10);
    }
    SECTION("the progress callback")
    {
        g_escAfter = 3;
        CHECK(r.Run(RenderProgressProc) == -1);
        CHECK(g_rendered == std::vector<int>{ 1, 2, 3 });
        CHECK(r.e.ed.state == nullptr);   // step 2 ran: the button is released
        CHECK(SendMessageA(r.e.go, BM_GETCHECK, 0, 0) == BST_UNCHECKED);
    }
    SECTION("the cancel callback")
    {
        g_escAfter = 5;
        CHECK(r.Run(RenderCancelProc) == -1);
        CHECK(g_rendered == std::vector<int>{ 1, 2, 3, 4, 5 });
    }
    SECTION("no editor record: the progress callback still polls")
    {
        g_fxProgressEditor = nullptr;
        g_escAfter = 2;
        CHECK(r.Run(RenderProgressProc) == -1);
        CHECK(g_rendered == std::vector<int>{ 1, 2 });
    }
}

TEST_CASE("the job fields the progress reads", "[progress]")
{
    FxRenderJob j;
    memset(&j, 0, sizeof j);
    j.flags = 0x8202;
    j.currentIndex = 4;
    j.toIndex = 12;
    j.frameTime = 6.6;
    j.window = HWND(INT_PTR(0x1234));
    FxProgressJob p = FxProgressJobOf(&j);
    CHECK(p.flags == 0x8202);
    CHECK(p.current == 4);
    CHECK(p.total == 12);
    CHECK(p.frame == 7);
    CHECK(p.target == j.window);
    CHECK(RenderProgressProc(0, nullptr) == 1);
    CHECK(RenderCancelProc(0, nullptr) == 1);
}
