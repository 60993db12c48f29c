// Render progress: the pressed "Go!" button or the progress box with its
// counts, and the polling between frames (Esc, Enter, the cancel button,
// "Go!" pressed again, other messages dropped).
#include <catch2/catch.hpp>

#include <string>
#include <vector>

#include "fxprogress.h"

namespace {

std::vector<int> g_frames;
void RecordFrame(void *, int frame) { g_frames.push_back(frame); }

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
    SECTION("other messages are taken one per frame and dropped")
    {
        REQUIRE(e.Step(1) == 1);
        PostMessageA(e.main, WM_USER + 5, 0, 0);
        PostMessageA(e.main, WM_KEYDOWN, 'A', 0);
        PostMessageA(e.main, WM_COMMAND, 3082, 0);
        CHECK(e.Step(0) == 1);
        CHECK(e.Step(0) == 1);
        CHECK(e.Step(0) == 1);
        MSG m;
        CHECK(!PeekMessageA(&m, e.main, 0, 0, PM_NOREMOVE));
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
