/* A tabbed dialog on a real display: the page stays visible over the page
 * frame after either of them repaints; the picture is kept as
 * "uitoolkit_tabs.bmp" in the artefacts folder. */
#include <catch2/catch.hpp>

#include "internal.h"
#include "tundrix32.h"
#include "screen_shot.h"
#include "unmanaged_display.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

void Pump()
{
    MSG m;
    for (int i = 0; i < 20; ++i) {
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        Sleep(20);
    }
}

}  // namespace

TEST_CASE("The page shows over the page frame on a real display", "[tabs][display]")
{
    TundrixLoadControls();
    HINSTANCE self = GetModuleHandleA(nullptr);
    HGLOBAL t = tabCreate(nullptr, self, "On screen", nullptr, 0, 0, TABF_MODELESS, "OK", "Cancel", nullptr);
    tabAddTemplate(t, "First", self, "PAGE_EDITS", nullptr, 0, 0);
    tabAddTemplate(t, "Second", self, "PAGE_CHECKS", nullptr, 0, 0);
    HWND frame = reinterpret_cast<HWND>(tabDialogBox(t));
    REQUIRE(frame);
    HWND page = tabGetWindow(t, 0);
    REQUIRE(page);
    HWND edit = GetDlgItem(page, 101);
    SetWindowTextA(edit, "");
    SetForegroundWindow(frame);
    Pump();

    RECT er;
    GetWindowRect(edit, &er);
    MapWindowPoints(nullptr, frame, reinterpret_cast<POINT *>(&er), 2);
    const int ex = (er.left + er.right) / 2 + 10, ey = (er.top + er.bottom) / 2;
    RECT pr;
    GetWindowRect(page, &pr);
    MapWindowPoints(nullptr, frame, reinterpret_cast<POINT *>(&pr), 2);
    /* A point of the page away from its controls. */
    const int px = pr.right - 6, py = pr.bottom - 6;

    const ScreenShot first = ScreenShot::Client(frame);
    first.Save("uitoolkit_tabs.bmp");
    CHECK(first.Ref(ex, ey) == GetSysColor(COLOR_WINDOW));

    /* The page frame repaints alone: the page stays in front. */
    RedrawWindow(GetDlgItem(frame, 256), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    Pump();
    const ScreenShot again = ScreenShot::Client(frame);
    CHECK(again.Ref(ex, ey) == GetSysColor(COLOR_WINDOW));
    CHECK(again.Ref(px, py) == first.Ref(px, py));

    tabDestroy(t);
    TundrixReleaseControls();
}

