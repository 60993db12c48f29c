/*
 * The skinned controls without a display: colour conversions, scroll-bar
 * and slider geometry with zero spans, "..." fitting, and the controls'
 * behaviour through their messages (check-box list notifications, scroll
 * messages, button pictures and tips, the edit's character filter, the
 * link's failure text, the opacity dialog's range, the folder browser).
 */
#include <catch2/catch.hpp>
#include <windows.h>
#include <cmath>
#include "app.h"
#include "box_capture.h"
#include "buttons.h"
#include "colour_value.h"
#include "folder_dialogs.h"
#include "geometry.h"
#include "notify_slider.h"
#include "scrollbar.h"
#include "text_controls.h"

namespace {

cl::CWinApp theApp("ControlsTest");

/* A parent that records what its children tell it. */
struct Recorder : cl::CWnd {
    std::vector<std::string> seen;
    Recorder()
    {
        for (UINT m : {WM_LIST_DBLCLK_CHECK, WM_LIST_CHECK_TOGGLED}) {
            handlers.Message(m, [this, m](WPARAM w, LPARAM) {
                seen.push_back(std::to_string(m) + " " + std::to_string(w));
                return (LRESULT)0;
            });
        }
        handlers.Message(WM_HSCROLL, [this](WPARAM w, LPARAM) {
            seen.push_back("h " + std::to_string(LOWORD(w)) + " " + std::to_string(HIWORD(w)));
            return (LRESULT)0;
        });
    }
    bool Make()
    {
        return CreateEx(0, "STATIC", "", WS_POPUP | WS_CLIPCHILDREN, RECT{0, 0, 500, 400}, nullptr, 0) != FALSE;
    }
};

/* Types a value into the opacity dialog once it is up, then presses OK
 * (and Cancel after a refused value). */
std::string g_opacityValue;
void CALLBACK OpacityTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND dlgWnd = FindWindowA(nullptr, "Object Opacity Setting");
    if (!dlgWnd) return;
    KillTimer(nullptr, id);
    char buf[16] = {};
    GetDlgItemTextA(dlgWnd, 1070, buf, sizeof(buf));
    CHECK(std::string(buf) == "40");
    SetDlgItemTextA(dlgWnd, 1070, g_opacityValue.c_str());
    SendMessageA(dlgWnd, WM_COMMAND, IDOK, 0);
    if (g_opacityValue == "101") PostMessageA(dlgWnd, WM_COMMAND, IDCANCEL, 0);
}

} // namespace

TEST_CASE("Colour value: RGB to HLS and back", "[controls][colour]")
{
    struct Row { COLORREF rgb; float h, l, s; };
    const Row rows[] = {
        {RGB(255, 0, 0), 0, 0.5f, 1},
        {RGB(0, 255, 0), 120, 0.5f, 1},
        {RGB(0, 0, 255), 240, 0.5f, 1},
        {RGB(255, 255, 0), 60, 0.5f, 1},
        {RGB(255, 0, 255), 300, 0.5f, 1},
        {RGB(128, 128, 128), 0, 128 / 255.0f, 0},
        {RGB(255, 255, 255), 0, 1, 0},
        {RGB(0, 0, 0), 0, 0, 0},
        {RGB(255, 128, 128), 0, 383 / 510.0f, 1},   /* s = 127 / (510 - 383) */
    };
    for (const auto &r : rows) {
        INFO("colour " << std::hex << r.rgb);
        CColourValue c(r.rgb);
        CHECK(c.GetHue() == Approx(r.h).margin(1e-4));
        CHECK(c.GetLuminance() == Approx(r.l).margin(1e-4));
        CHECK(c.GetSaturation() == Approx(r.s).margin(1e-4));
    }
    CColourValue g;
    g.SetHLS(120, 0.5f, 1);
    CHECK(g.GetRGB() == RGB(0, 255, 0));
    /* Grey from HLS: every channel truncates luminance x 255. */
    g.SetHLS(200, 0.5f, 0);
    CHECK(g.GetRGB() == RGB(127, 127, 127));
    /* Each side is converted lazily and stays until the other side is set. */
    CColourValue lazy;
    lazy.SetRGB(255, 0, 0);
    CHECK(lazy.GetRed() == 255);
    lazy.SetHLS(240, 0.5f, 1);
    CHECK(lazy.GetRGB() == RGB(0, 0, 255));
    CHECK(lazy.GetHue() == 240);
}

TEST_CASE("Scroll-bar geometry: clamps, round trips and zero spans", "[controls][scroll]")
{
    /* w 340, b 25: the thumb moves over 25..290, 265 pixels for the range. */
    struct Row { int thumb, w, b, range, pos; };
    const Row fromThumb[] = {
        {25, 340, 25, 100, 0}, {290, 340, 25, 100, 100}, {400, 340, 25, 100, 100}, {-30, 340, 25, 100, 0},
        {157, 340, 25, 100, 50}, {30, 340, 25, 1000, 19},
        {25, 75, 25, 100, 0},    /* w - 3b = 0: no division */
        {10, 60, 25, 100, 0},    /* narrower than the three pieces */
        {150, 340, 25, 0, 0},    /* range 0 */
    };
    for (const auto &r : fromThumb) {
        INFO("thumb " << r.thumb << " w " << r.w << " range " << r.range);
        CHECK(skin::PositionFromThumb(r.thumb, r.w, r.b, r.range) == r.pos);
    }
    const Row fromPos[] = {
        {25, 340, 25, 100, 0}, {290, 340, 25, 100, 100}, {158, 340, 25, 100, 50}, {290, 340, 25, 100, 500},
        {25, 340, 25, 0, 7}, {25, 75, 25, 100, 50},
    };
    for (const auto &r : fromPos) {
        INFO("pos " << r.pos << " w " << r.w << " range " << r.range);
        CHECK(skin::ThumbFromPosition(r.pos, r.w, r.b, r.range) == r.thumb);
    }
    /* Every position survives the way to the thumb and back; the thumb never overlaps an arrow. */
    for (int range : {1, 7, 100, 265, 1000}) {
        for (int pos = 0; pos <= range; pos += range > 50 ? 13 : 1) {
            int t = skin::ThumbFromPosition(pos, 340, 25, range);
            CHECK(t >= 25);
            CHECK(t + 25 <= 340 - 25);
            if (range <= 265) CHECK(skin::PositionFromThumb(t, 340, 25, range) == pos);
        }
    }
}

TEST_CASE("Bitmap slider thumb at minimum, maximum and on an empty range", "[controls][slider]")
{
    struct Row { int extent, thumb, pos, min, max, expect; };
    const Row vertical[] = {
        {88, 10, 0, 0, 10, 5},      /* at the minimum: half the thumb's height from the top */
        {88, 10, 10, 0, 10, 70},    /* (78 / 10) x 10 with the division first */
        {88, 10, 5, 0, 10, 35},
        {88, 10, 3, 3, 3, 5},       /* min = max: no division */
        {88, 10, 4, 3, 3, 5},
    };
    for (const auto &r : vertical) {
        INFO("vertical pos " << r.pos);
        CHECK(skin::SliderThumbY(r.extent, r.thumb, r.pos, r.min, r.max) == r.expect);
    }
    const Row horizontal[] = {
        {70, 8, 1, 1, 120, 0}, {70, 8, 120, 1, 120, 60}, {70, 8, 60, 1, 120, 30},
        {70, 0, 5, 5, 5, 0},        /* zero denominator */
    };
    for (const auto &r : horizontal) {
        INFO("horizontal pos " << r.pos);
        CHECK(skin::SliderThumbX(r.extent, r.thumb, r.pos, r.min, r.max) == r.expect);
    }
}

TEST_CASE("Text fitting with \"...\"", "[controls][fit]")
{
    auto extent = [](const std::string &s) { return s == "..." ? 9 : 7 * (int)s.size(); };
    struct Row { const char *text; int width; int offset; const char *shown; };
    const Row rows[] = {
        {"abcdef", 42, 0, "abcdef"},      /* fits exactly */
        {"abcdef", 41, 0, "abcd..."},     /* 28 + 9 = 37 */
        {"abcdef", 41, 6, "abc..."},      /* offset counts */
        {"abcdef", 5, 0, "a..."},         /* at least one character stays */
        {"", 0, 0, ""},
    };
    for (const auto &r : rows) {
        INFO(r.text << " in " << r.width);
        CHECK(skin::FitText(r.text, r.width, r.offset, extent) == r.shown);
    }
}

TEST_CASE("Check-box list: clicks on the box toggle and notify 6026, double clicks check and notify 6024",
          "[controls][list]")
{
    Recorder parent;
    REQUIRE(parent.Make());
    CListCtrlEx list;
    REQUIRE(list.Create(WS_VISIBLE | LVS_SHOWSELALWAYS, RECT{0, 0, 300, 200}, parent.m_hWnd, 1131));
    CHECK((list.GetStyle() & LVS_TYPEMASK) == LVS_REPORT);
    CHECK((list.GetStyle() & LVS_OWNERDRAWFIXED));
    CHECK(list.StateImageWidth() == 16);
    LVCOLUMNA col = {};
    col.mask = LVCF_WIDTH | LVCF_TEXT;
    col.cx = 200;
    col.pszText = const_cast<char *>("Name");
    list.SendMessage(LVM_INSERTCOLUMNA, 0, (LPARAM)&col);
    for (int i = 0; i < 3; ++i) {
        LVITEMA it = {};
        it.mask = LVIF_TEXT;
        it.iItem = i;
        it.pszText = const_cast<char *>(i == 0 ? "VBR 1" : "CBR");
        list.SendMessage(LVM_INSERTITEMA, 0, (LPARAM)&it);
        list.SetCheck(i, false);
    }
    RECT r1 = {};
    r1.left = LVIR_BOUNDS;
    list.SendMessage(LVM_GETITEMRECT, 1, (LPARAM)&r1);
    int y1 = (r1.top + r1.bottom) / 2;
    /* On the state image: toggles and notifies. */
    list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r1.left + 6, y1));
    CHECK(list.IsChecked(1));
    list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r1.left + 6, y1));
    CHECK(!list.IsChecked(1));
    CHECK(list.LastClicked() == 1);
    /* On the text: selects, no toggle. */
    list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r1.left + 120, y1));
    list.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(r1.left + 120, y1));
    CHECK(!list.IsChecked(1));
    /* Double click: checked first when it was not, then 6024. */
    RECT r2 = {};
    r2.left = LVIR_BOUNDS;
    list.SendMessage(LVM_GETITEMRECT, 2, (LPARAM)&r2);
    list.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(r2.left + 120, (r2.top + r2.bottom) / 2));
    CHECK(list.IsChecked(2));
    list.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(r2.left + 120, (r2.top + r2.bottom) / 2));
    CHECK(list.IsChecked(2));
    CHECK(parent.seen == std::vector<std::string>{"6026 1", "6026 1", "6024 2", "6024 2"});
    CHECK(list.ToggleCheck(0) == 0);
    CHECK(list.ToggleCheck(0) == 1);
    list.SetCheck(1, true);
    list.UncheckAll();
    for (int i = 0; i < 3; ++i) CHECK(!list.IsChecked(i));
    list.DestroyWindow();
    parent.DestroyWindow();
}

TEST_CASE("Notifying slider: 107 after a key, a left press and every move with the left button held",
          "[controls][slider]")
{
    struct Parent : Recorder {
        int moved = 0;
        Parent()
        {
            handlers.Message(WM_SLIDER_MOVED, [this](WPARAM w, LPARAM l) {
                CHECK(w == 0);
                CHECK(l == 0);
                ++moved;
                return (LRESULT)0;
            });
        }
    } parent;
    REQUIRE(parent.Make());
    HWND bar = CreateWindowExA(0, TRACKBAR_CLASSA, "", WS_CHILD | WS_VISIBLE | TBS_HORZ, 10, 10, 200, 30,
                               parent.m_hWnd, (HMENU)1248, nullptr, nullptr);
    REQUIRE(bar);
    ::SendMessageA(bar, TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
    CNotifySlider slider;
    REQUIRE(slider.SubclassWindow(bar));
    RECT thumb = {};
    slider.SendMessage(TBM_GETTHUMBRECT, 0, (LPARAM)&thumb);
    int y = (thumb.top + thumb.bottom) / 2, x = (thumb.left + thumb.right) / 2;

    slider.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(x + 5, y));
    CHECK(parent.moved == 0);
    slider.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    CHECK(parent.moved == 1);
    for (int k = 1; k <= 5; ++k) slider.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x + 20 * k, y));
    CHECK(parent.moved == 6);
    /* The trackbar's own handling ran first: the thumb followed the drag. */
    CHECK(slider.SendMessage(TBM_GETPOS) > 0);
    slider.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(x + 100, y));
    slider.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(x + 120, y));
    CHECK(parent.moved == 6);
    LRESULT before = slider.SendMessage(TBM_GETPOS);
    slider.SendMessage(WM_KEYDOWN, VK_RIGHT, 0);
    CHECK(parent.moved == 7);
    CHECK(slider.SendMessage(TBM_GETPOS) == before + 1);
    slider.UnsubclassWindow();
    DestroyWindow(bar);
    parent.DestroyWindow();
}

TEST_CASE("Skinned scroll bar: channel click, arrow release, bounds and an empty range", "[controls][scroll]")
{
    Recorder parent;
    REQUIRE(parent.Make());
    HWND placeholder = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 20, 30, 340, 10, parent.m_hWnd,
                                       (HMENU)1033, nullptr, nullptr);
    REQUIRE(placeholder);
    CXScrollBar bar;
    REQUIRE(bar.CreateFromStatic(WS_VISIBLE, parent.m_hWnd, 1033, 2033));
    CHECK(!IsWindowVisible(placeholder));
    RECT wr = bar.GetWindowRect();
    MapWindowPoints(nullptr, parent.m_hWnd, (POINT *)&wr, 2);
    CHECK(wr.left == 20);
    CHECK(wr.top == 30);
    CHECK(bar.m_nBitmapWidth == 25);
    CHECK(bar.m_nBitmapHeight == 12);
    CHECK(bar.m_rectClient.right == 340);
    bar.SetScrollRange(100);
    bar.SetScrollPos(0);
    /* A click on the channel centres the thumb on the point. */
    bar.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(170, 5));
    bar.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(170, 5));
    CHECK(bar.m_nThumbLeft == 158);
    CHECK(bar.m_nPos == 50);
    /* A press and release on an arrow: exactly one step, sent on release. */
    bar.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    CHECK(parent.seen.size() == 1);
    bar.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    CHECK(bar.m_nPos == 49);
    bar.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(335, 5));
    bar.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(335, 5));
    CHECK(bar.m_nPos == 50);
    CHECK(parent.seen == std::vector<std::string>{"h 5 50", "h 0 0", "h 1 0"});
    /* The ends hold. */
    bar.SetScrollPos(100);
    bar.ScrollRight();
    CHECK(bar.m_nPos == 100);
    bar.SetScrollPos(-5);
    bar.ScrollLeft();
    CHECK(bar.m_nPos == 0);
    /* Painting with a range of 0 draws no thumb. */
    bar.SetScrollRange(0);
    HDC dc = GetDC(bar.m_hWnd);
    bar.Compose(dc);
    ReleaseDC(bar.m_hWnd, dc);
    CHECK(bar.m_rectThumb.left == -1);
    CHECK(bar.m_rectThumb.bottom == -1);
    bar.SetScrollRange(10);
    dc = GetDC(bar.m_hWnd);
    bar.Compose(dc);
    ReleaseDC(bar.m_hWnd, dc);
    CHECK(bar.m_rectThumb.left == 25);
    CHECK(bar.m_rectThumb.right == 50);
    parent.DestroyWindow();
}

TEST_CASE("Region button: one picture for every state, disabled look, tips from the string table", "[controls][button]")
{
    Recorder parent;
    REQUIRE(parent.Make());
    HWND b1 = CreateWindowExA(0, "BUTTON", "", WS_CHILD | WS_VISIBLE, 10, 10, 40, 40, parent.m_hWnd, (HMENU)501,
                              nullptr, nullptr);
    HWND b2 = CreateWindowExA(0, "BUTTON", "", WS_CHILD | WS_VISIBLE, 60, 10, 40, 40, parent.m_hWnd, (HMENU)502,
                              nullptr, nullptr);
    CRegionButton tipped, plain;
    REQUIRE(tipped.SubclassWindow(b1));
    REQUIRE(plain.SubclassWindow(b2));
    CHECK((tipped.GetStyle() & BS_OWNERDRAW) == BS_OWNERDRAW);
    CHECK(tipped.ToolTipActive());
    CHECK(!plain.ToolTipActive());
    CHECK(plain.SetBitmaps(171));
    for (int s = 1; s < 4; ++s) CHECK(plain.Picture(s) == plain.Picture(0));
    RECT rc = plain.GetClientRect();
    CHECK(rc.right == 9);
    CHECK(rc.bottom == 9);
    CHECK(tipped.SetBitmaps(171, 172, 0, 9999));   /* a disabled picture that does not load */
    CHECK(tipped.Picture(1) != tipped.Picture(0));
    CHECK(tipped.Picture(2) == tipped.Picture(0));
    CHECK(tipped.Picture(3) == tipped.Picture(0));
    CHECK(!plain.SetBitmaps(9999));
    /* Hover and press pictures only while enabled. */
    tipped.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    CHECK(tipped.GetState() == 2);
    tipped.SendMessage(WM_MOUSELEAVE);
    CHECK(tipped.GetState() == 0);
    tipped.EnableButton(FALSE);
    CHECK(tipped.GetState() == 3);
    CHECK(tipped.IsDisabled());
    tipped.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    CHECK(tipped.GetState() == 3);
    tipped.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    CHECK(tipped.GetState() == 3);
    tipped.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    tipped.EnableButton(TRUE);
    CHECK(tipped.GetState() == 0);
    tipped.SetState(2);
    CHECK(tipped.GetState() == 2);
    tipped.SetState(4);
    CHECK(tipped.GetState() == 2);
    parent.DestroyWindow();
}

TEST_CASE("Edit filter, link failure text and the opacity range", "[controls][text]")
{
    BoxCapture boxes;
    Recorder parent;
    REQUIRE(parent.Make());
    CEditEx edit;
    REQUIRE(edit.CreateEx(0, "EDIT", "", WS_CHILD | WS_VISIBLE, RECT{0, 0, 100, 20}, parent.m_hWnd, 10));
    edit.filter = [](UINT ch) { return !(ch >= '0' && ch <= '9'); };
    for (char c : std::string("a1b2"))
        edit.SendMessage(WM_CHAR, (WPARAM)c, 1);
    CHECK(edit.GetWindowText() == "ab");
    CHECK(edit.SetBkColour(RGB(0, 0, 0)) == GetSysColor(COLOR_WINDOW));
    CHECK(edit.SetTextColour(RGB(0, 255, 0)) == GetSysColor(COLOR_WINDOWTEXT));

    CStaticEx link;
    REQUIRE(link.CreateEx(0, "STATIC", "link", WS_CHILD | WS_VISIBLE | SS_NOTIFY, RECT{0, 30, 100, 50},
                          parent.m_hWnd, 11));
    link.target = "C:\\no such folder\\nothing here.xyz";
    parent.SendMessage(WM_COMMAND, MAKEWPARAM(11, STN_CLICKED), (LPARAM)link.m_hWnd);
    CHECK(boxes.texts() == std::vector<std::string>{"Unable to open C:\\no such folder\\nothing here.xyz."});
    CHECK(!link.visited);

    /* The opacity dialog: 101 refused with the range message, 0 and 100 accepted. */
    for (const char *value : {"101", "100", "0"}) {
        boxes.clear();
        COpacityDlg dlg;
        dlg.m_nOpacity = 40;
        std::string v = value;
        g_opacityValue = v;
        UINT_PTR timer = SetTimer(nullptr, 0, 10, OpacityTimer);
        INT_PTR r = dlg.DoModal();
        KillTimer(nullptr, timer);
        if (v == "101") {
            CHECK(r == IDCANCEL);
            CHECK(boxes.texts() == std::vector<std::string>{"Please enter an integer between 0 and 100."});
        } else {
            CHECK(r == IDOK);
            CHECK(boxes.texts().empty());
            CHECK(dlg.m_nOpacity == (unsigned)atoi(value));
        }
    }
    parent.DestroyWindow();
}

TEST_CASE("Folder browser: cancel keeps the previous path; the title is fixed while it is open", "[controls][folder]")
{
    struct Probe : CFolderDialog {
        std::string titleSeen;
        void OnInitialized() override
        {
            CFolderDialog::OnInitialized();
            SetTitle("changed while open");
            titleSeen = Title();
            PostMessageA(DialogWindow(), WM_COMMAND, IDCANCEL, 0);
        }
    } probe;
    probe.SetTitle("Choose");
    probe.SetFlags(BIF_RETURNONLYFSDIRS);
    probe.SetStartFolder("C:\\windows");
    CHECK(!probe.DoModal());
    CHECK(probe.titleSeen == "Choose");
    CHECK(probe.GetPath().empty());
    CHECK(probe.DialogWindow() == nullptr);
    probe.SetTitle("after");
    CHECK(probe.Title() == "after");
}
