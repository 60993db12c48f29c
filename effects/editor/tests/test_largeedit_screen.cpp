// The large edit window on a real display: "Edit in Larger Area" of the
// tool dialog, clicked for real, asks the host for a window of its own
// (FXN_GET_WINDOW, kind 2569) and moves the editor's view into it; a
// second click, or closing that window with Alt+F4, docks the view back
// into the host's view area, and the window is gone.
#include <catch2/catch.hpp>

#include <string>

#include "editor_host.h"

using namespace fxtest;

namespace {

LRESULT CALLBACK LargeProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    return DefWindowProcA(w, msg, wp, lp);
}

// The host's side of the large edit window.
struct LargeWindows {
    int asked = 0;
    bool give = true;
    FxWindowQuery last = {};
    std::string key;
    HWND made = nullptr;
    HWND Make()
    {
        static bool registered = false;
        if (!registered) {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = LargeProc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
            wc.lpszClassName = "FxLargeEditTest";
            RegisterClassA(&wc);
            registered = true;
        }
        // Beside the host's bottom area, so that the tool dialog stays in reach.
        made = CreateWindowExA(0, "FxLargeEditTest", "Large edit", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 320, 0,
                               560, 380, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        return made;
    }
};

std::string Text(HWND w)
{
    char text[128] = "";
    GetWindowTextA(w, text, sizeof text);
    return text;
}

bool Fills(HWND child, HWND parent)
{
    RECT c, p;
    GetWindowRect(child, &c);
    GetClientRect(parent, &p);
    return c.right - c.left == p.right && c.bottom - c.top == p.bottom;
}

}  // namespace

TEST_CASE("Edit in Larger Area moves the view into the host's window and back", "[editor][screen][largeedit]")
{
    REQUIRE(Library());
    EditorHost e(2);
    LargeWindows large;
    auto previous = e.host.answer;
    e.host.answer = [&](UINT message, WPARAM wp, void *record, bool &handled) -> INT_PTR {
        if (message == FXN_GET_WINDOW && record &&
            static_cast<const FxPlacementQuery *>(record)->kind == FX_WINDOW_LARGE_EDIT) {
            handled = true;
            ++large.asked;
            large.last = *static_cast<const FxWindowQuery *>(record);
            large.key = large.last.place.key ? large.last.place.key : "";
            return large.give ? INT_PTR(large.Make()) : 0;
        }
        return previous(message, wp, record, handled);
    };
    REQUIRE(e.Open());
    HWND box = e.Control(FXC_LARGE_EDIT);
    REQUIRE(box);
    CHECK(Text(box) == "Edit in Larger Area");
    HWND view = e.Bind();
    REQUIRE(GetParent(view) == e.view);

    // A host that gives no window: nothing moves and the box stays clear.
    large.give = false;
    Click(box);
    REQUIRE(PumpUntil([&] { return large.asked == 1; }));
    CHECK(large.key == "MorvixBigEditDlg");
    CHECK(large.last.x == 50);
    CHECK(large.last.y == 430);
    CHECK(large.last.sizeWords[0] == 8);
    CHECK(large.last.sizeWords[1] == 6);
    CHECK(large.last.style == 0x10000000u);
    CHECK(IsDlgButtonChecked(GetParent(box), FXC_LARGE_EDIT) == BST_UNCHECKED);
    CHECK(GetParent(view) == e.view);

    // The host's window: the view fills it.
    large.give = true;
    Click(box);
    REQUIRE(PumpUntil([&] { return large.made && GetParent(view) == large.made; }));
    CHECK(IsWindowVisible(large.made));
    CHECK(Fills(view, large.made));
    CHECK(IsDlgButtonChecked(GetParent(box), FXC_LARGE_EDIT) == BST_CHECKED);
    SaveShot(large.made, "editor_large_edit.bmp");
    // Sizing the window sizes the view with it.
    SetWindowPos(large.made, nullptr, 0, 0, 520, 360, SWP_NOMOVE | SWP_NOZORDER);
    Pump(100);
    CHECK(Fills(view, large.made));

    // A second click docks it back; the window goes.
    HWND first = large.made;
    Front(e.frame);
    Click(box);
    REQUIRE(PumpUntil([&] { return GetParent(view) == e.view; }));
    CHECK_FALSE(IsWindow(first));
    CHECK(Fills(view, e.view));
    CHECK(IsDlgButtonChecked(GetParent(box), FXC_LARGE_EDIT) == BST_UNCHECKED);

    // Closing the window with the keyboard docks the view instead of
    // taking it down with the window.
    Click(box);
    REQUIRE(PumpUntil([&] { return large.made != first && GetParent(view) == large.made; }));
    HWND second = large.made;
    REQUIRE(Front(second));
    Key(VK_F4, {VK_MENU});
    REQUIRE(PumpUntil([&] { return !IsWindow(second); }));
    CHECK(IsWindow(view));
    CHECK(GetParent(view) == e.view);
    CHECK(IsDlgButtonChecked(GetParent(box), FXC_LARGE_EDIT) == BST_UNCHECKED);

    // The editor closed while the view is in the window: the window goes too.
    Front(e.frame);
    Click(box);
    REQUIRE(PumpUntil([&] { return large.made != second && GetParent(view) == large.made; }));
    HWND third = large.made;
    e.host.Send(FXN_CLOSE);
    Pump(50);
    CHECK_FALSE(IsWindow(third));
    CHECK_FALSE(IsWindow(view));
}
