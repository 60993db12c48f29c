// The editor's tool dialog on a real display: a host that answers the
// window request with its own windows gets the bind window in its view
// area and the tool dialog in its bottom area, with the tabbed pages of the
// node's personality; values typed into the pages' positioners reach the
// current keyframe and the undo list.  Screenshots are kept as artefacts.
#include <catch2/catch.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "editor_host.h"

using namespace fxtest;

namespace {

// The tabs of the tool dialog's tabbed frame, left to right (none when
// the frame has a single page or none).
std::vector<HWND> Tabs(EditorHost &e)
{
    std::vector<HWND> tabs;
    for (int id = 260; id < 260 + 32; ++id) {
        HWND t = e.Control(id);
        if (!t) break;
        tabs.push_back(t);
    }
    return tabs;
}

std::string Text(HWND w)
{
    char text[128] = "";
    GetWindowTextA(w, text, sizeof text);
    return text;
}

// The caption of a tab: its property string ends with the caption.
std::string TabCaption(HWND tab)
{
    const std::string t = Text(tab);
    const size_t at = t.rfind('`');
    return at == std::string::npos ? t : t.substr(at + 1);
}

// The page window that holds control `id`, when it is shown.
HWND PageWith(EditorHost &e, int id)
{
    HWND c = e.Control(id);
    return c ? GetParent(c) : nullptr;
}

// Types `text` into the edit `edit` with real keys and leaves it by a click
// on `other`.
void TypeInto(HWND edit, const char *text, HWND other)
{
    Click(edit);
    Key(VK_END);
    Key(VK_HOME, {VK_SHIFT});
    Type(text);
    Click(other);
}

}  // namespace

TEST_CASE("A host that answers the window request gets the editor in its own windows", "[editor][screen]")
{
    REQUIRE(Library());
    EditorHost e(1);
    REQUIRE(e.Open());
    CHECK(e.windowRequests >= 2);
    CHECK(GetParent(e.Bind()) == e.view);
    REQUIRE(IsWindow(e.Tool()));
    CHECK(IsChild(e.bottom, e.Tool()));
    CHECK(IsWindowVisible(e.Tool()));
    // A host whose renderer does not do real time gets no realtime mark.
    if (HWND mark = e.Control(4400)) CHECK(Text(mark).empty());
}

TEST_CASE("The tool dialog is a tabbed frame with the pages of the personality", "[editor][screen][pages]")
{
    REQUIRE(Library());
    struct Case {
        uint32_t personality;
        bool warpView;  // the view flag word's mode bits say 2
        std::vector<std::string> captions;
        int shown;      // the page shown first
        int control;    // a control of that page
        const char *shot;
    };
    const Case cases[] = {
        {1, false, {"DVE", "Filter", "Video", "Spline", "Templates"}, 1, 3617, "editor_tools_dve.bmp"},
        {2, false, {"Position", "Shape", "Attributes", "Spline", "Templates"}, 2, 3612, "editor_tools_morvix.bmp"},
        {6, true, {"Position", "Shape", "Attributes", "Warp", "Spline", "Time", "Templates"}, 3, 9003,
         "editor_tools_morvix_warp.bmp"},
        {0, false, {"Position", "Shape", "Filter", "Spline", "Time", "Templates", "Character"}, 0, 3230,
         "editor_tools_animation.bmp"},
    };
    for (const Case &c : cases) {
        DYNAMIC_SECTION("personality " << c.personality)
        {
            EditorHost e(c.personality);
            REQUIRE(e.Open([&](FxInstance *inst) {
                if (c.warpView) FxSetViewFlags(inst, (FxViewFlags(inst) & ~0x3u) | 0x2);
            }));
            REQUIRE(IsWindow(e.Tool()));
            // The frame's own controls stand above the pages.
            CHECK(e.Control(3150));
            CHECK(e.Control(3144));
            const std::vector<HWND> tabs = Tabs(e);
            std::vector<std::string> captions;
            for (HWND t : tabs) captions.push_back(TabCaption(t));
            CHECK(captions == c.captions);
            HWND page = PageWith(e, c.control);
            REQUIRE(page);
            CHECK(IsWindowVisible(page));
            // The page shown first is the personality's initial tab.
            REQUIRE(size_t(c.shown) < tabs.size());
            CHECK(IsDlgButtonChecked(GetParent(tabs[size_t(c.shown)]), GetDlgCtrlID(tabs[size_t(c.shown)])) ==
                  BST_CHECKED);
            CHECK_FALSE(e.Shot(c.shot).empty());
            // A real click on every tab brings its page forward.
            for (size_t i = 0; i < tabs.size(); ++i) {
                Click(tabs[i]);
                char name[64];
                std::snprintf(name, sizeof name, "editor_tools_p%u_tab%zu.bmp", c.personality, i);
                e.Shot(name);
            }
        }
    }
}

TEST_CASE("The X positioner writes the keyframe and takes one undo snapshot; an unchanged text takes none",
          "[editor][screen][positioner]")
{
    REQUIRE(Library());
    EditorHost e(2);
    REQUIRE(e.Open());
    // The Position page is the first tab.
    const std::vector<HWND> tabs = Tabs(e);
    REQUIRE(tabs.size() >= 2);
    Click(tabs[0]);
    HWND x = e.Control(3231), y = e.Control(3236);
    REQUIRE(x);
    REQUIRE(y);
    CHECK(GetDlgItem(GetParent(x), 3230) != nullptr);
    FxKeyframe *k = e.Keyframe();
    REQUIRE(k);
    FxEffect *fx = e.Effect();
    REQUIRE(fx);
    const int before = fx->undoCount;
    const double y0 = k->position[1];

    TypeInto(x, "120", y);
    CHECK(PumpUntil([&] { return k->position[0] == 120.0; }, 5000));
    CHECK(k->position[1] == y0);
    CHECK(fx->undoCount == before + 1);
    CHECK(Text(x) == "120");
    e.Shot("editor_position_x120.bmp");

    // The same text again: no change, no snapshot.
    TypeInto(x, "120", y);
    Pump(200);
    CHECK(k->position[0] == 120.0);
    CHECK(fx->undoCount == before + 1);

    // A step button ("+") is a change of its own.
    Click(e.Control(3233));
    CHECK(PumpUntil([&] { return k->position[0] == 121.0; }, 5000));
    CHECK(fx->undoCount == before + 2);
}

TEST_CASE("The time page's rows: a click selects a path, a drag moves it by the frames dragged", "[editor][screen][time]")
{
    REQUIRE(Library());
    EditorHost e(0);
    e.script = "Path 1: Keyframe 1.1 { at frame 1 } Keyframe 1.2 { at frame 30 } "
               "Path 2: Keyframe 2.1 { at frame 4 } Keyframe 2.2 { at frame 20 }";
    REQUIRE(e.Open());
    FxEffect *fx = e.Effect();
    REQUIRE(fx);
    REQUIRE(fx->first);
    REQUIRE(fx->first->next);
    FxPath *one = fx->first, *two = fx->first->next;
    HWND timeTab = nullptr;
    for (HWND t : Tabs(e))
        if (TabCaption(t) == "Time") timeTab = t;
    REQUIRE(timeTab);
    Click(timeTab);
    HWND row1 = e.Control(3341), row2 = e.Control(3342);
    REQUIRE(row1);
    REQUIRE(row2);
    // The rows name their paths (a path without a name: "Path", two blanks, its number).
    CHECK(Text(row2) == "Path  2");
    RECT r1, r2;
    GetWindowRect(row1, &r1);
    GetWindowRect(row2, &r2);
    CHECK(r2.top == r1.bottom);  // stacked under the first

    Click(row2, 20, 4);
    CHECK(PumpUntil([&] { return fx->current == two; }, 3000));

    const int start = one->head->startFrame;
    const int undo = fx->undoCount;
    // Press on the first row, drag 40 pixels right (a pixel a frame at this zoom), release.
    const POINT from = ScreenPoint(row1, 20, 4);
    MouseTo(from.x, from.y);
    MouseButton(false, true);
    Pump(30);
    for (int dx = 10; dx <= 40; dx += 10) MouseTo(from.x + dx, from.y);
    MouseButton(false, false);
    CHECK(PumpUntil([&] { return one->head->startFrame == start + 40; }, 3000));
    CHECK(one->head->next->startFrame == 30 + 40);
    CHECK(two->head->startFrame == 4);
    CHECK(fx->undoCount == undo + 1);
    e.Shot("editor_time_rows.bmp");
}

TEST_CASE("Filter and video pages: real clicks and keys reach the keyframe's filter fields", "[editor][screen][filter]")
{
    REQUIRE(Library());
    EditorHost e(1);
    REQUIRE(e.Open());
    FxKeyframe *k = e.Keyframe();
    REQUIRE(k);
    // The DVE personality opens on its Filter page.
    HWND all = e.Control(3677), left = e.Control(3666), size = e.Control(3621);
    REQUIRE(all);
    REQUIRE(left);
    REQUIRE(size);
    Click(all);
    CHECK(IsDlgButtonChecked(GetParent(all), 3677) == BST_CHECKED);
    // "Modify all edges together" checks the four edge links.
    for (int id : {3647, 3652, 3637, 3682}) CHECK(IsDlgButtonChecked(GetParent(all), id) == BST_CHECKED);
    TypeInto(left, "12", size);
    CHECK(PumpUntil([&] { return k->crop[0] == 12.0; }, 3000));
    for (int i = 0; i < 4; ++i) CHECK(k->crop[i] == 12.0);
    // The refresh shows the margins with their limits: 100 less the opposite one.
    for (int id : {3666, 3671, 3676, 3681}) CHECK(Text(e.Control(id)) == "12.0");

    HWND videoTab = nullptr;
    for (HWND t : Tabs(e))
        if (TabCaption(t) == "Video") videoTab = t;
    REQUIRE(videoTab);
    Click(videoTab);
    HWND odd = e.Control(3806), even = e.Control(3807);
    REQUIRE(odd);
    REQUIRE(even);
    Click(odd);
    CHECK(PumpUntil([&] { return k->strobeFlags == 1u; }, 3000));
    Click(even);
    CHECK(PumpUntil([&] { return k->strobeFlags == 2u; }, 3000));
    HWND negate = e.Control(3800);
    REQUIRE(negate);
    Click(negate);
    CHECK(PumpUntil([&] { return (k->monoFlags & 0x1) != 0; }, 3000));
    e.Shot("editor_video_page.bmp");
}

TEST_CASE("Spline page: the channel radios pick the curve that the tension positioner writes", "[editor][screen][spline]")
{
    REQUIRE(Library());
    EditorHost e(2);
    e.script = "Path 1: Keyframe 1.1 { at frame 1 } Keyframe 1.2 { at frame 30 }";
    REQUIRE(e.Open());
    FxKeyframe *k = e.Keyframe();
    REQUIRE(k);
    HWND splineTab = nullptr;
    for (HWND t : Tabs(e))
        if (TabCaption(t) == "Spline") splineTab = t;
    REQUIRE(splineTab);
    Click(splineTab);
    HWND rotation = e.Control(3404), tension = e.Control(3411), bias = e.Control(3431);
    REQUIRE(rotation);
    REQUIRE(tension);
    REQUIRE(bias);
    CHECK(IsDlgButtonChecked(GetParent(rotation), 3403) == BST_CHECKED);
    Click(rotation);
    TypeInto(tension, "0.5", bias);
    CHECK(PumpUntil([&] { return k->rotationTcb.t == 0.5; }, 3000));
    CHECK(k->positionTcb.t == 0.0);
    // The speed view is drawn white, with the speed table's lines.
    HWND view = e.Control(3450);
    REQUIRE(view);
    UpdateWindow(view);
    const Shot s = TakeShot(view);
    REQUIRE(s.w > 4);
    int white = 0, drawnRight = 0;
    for (int y = 2; y < s.h - 2; ++y)
        for (int x = 2; x < s.w - 2; ++x) {
            const unsigned px = s.At(x, y);
            if (px == 0xFFFFFF) ++white;
            else if (x >= s.w / 2) ++drawnRight;
        }
    CHECK(white > (s.w - 4) * (s.h - 4) / 2);
    // The first keyframe has a following one: its table's lines stand in the right half.
    CHECK(drawnRight > 0);
    e.Shot("editor_spline_page.bmp");
}

TEST_CASE("Shape page: the preview draws the keyframe's outline and its scale button zooms it", "[editor][screen][shape]")
{
    REQUIRE(Library());
    EditorHost e(2);
    REQUIRE(e.Open());
    HWND shapeTab = nullptr;
    for (HWND t : Tabs(e))
        if (TabCaption(t) == "Shape") shapeTab = t;
    REQUIRE(shapeTab);
    Click(shapeTab);
    HWND view = e.Control(3506), plus = e.Control(3503);
    REQUIRE(view);
    REQUIRE(plus);
    // The width of the green outline in the preview.
    auto outlineWidth = [&]() {
        RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        Pump(50);
        const Shot s = TakeShot(view);
        int lo = s.w, hi = -1;
        for (int y = 0; y < s.h; ++y)
            for (int x = 0; x < s.w; ++x) {
                const unsigned px = s.At(x, y);
                if (((px >> 8) & 0xFF) > 200 && ((px >> 16) & 0xFF) < 60) {
                    if (x < lo) lo = x;
                    if (x > hi) hi = x;
                }
            }
        return hi - lo;
    };
    const int before = outlineWidth();
    CHECK(before > 4);
    Click(plus);
    const int after = outlineWidth();
    CHECK(after > before);
    e.Shot("editor_shape_page.bmp");
}

namespace {

// Waits (on a thread of its own, since the menu holds the test's thread)
// for a pop-up menu, reads its items and chooses `choose` with a real
// click on it, or closes it with Esc (choose 0 or an item not there).
struct PopupChooser {
    int choose;
    volatile LONG done = 0;
    HANDLE thread = nullptr;
    std::vector<int> ids;            // the items, top to bottom (separators 0)
    std::vector<UINT> states;
    std::string resetText;
    static DWORD WINAPI Run(void *p)
    {
        auto *self = static_cast<PopupChooser *>(p);
        for (int tries = 0; tries < 1000 && !self->done; ++tries) {
            HWND m = FindWindowA("#32768", nullptr);
            if (!m || !IsWindowVisible(m)) {
                Sleep(10);
                continue;
            }
            Sleep(100);
            HMENU menu = reinterpret_cast<HMENU>(SendMessageA(m, 0x01E1 /* MN_GETHMENU */, 0, 0));
            RECT at = {};
            bool found = false;
            const int n = menu ? GetMenuItemCount(menu) : 0;
            for (int i = 0; i < n; ++i) {
                const int id = int(GetMenuItemID(menu, i));
                self->ids.push_back(id);
                self->states.push_back(GetMenuState(menu, UINT(i), MF_BYPOSITION));
                if (id == 3057) {
                    char text[128] = "";
                    GetMenuStringA(menu, UINT(i), text, sizeof text, MF_BYPOSITION);
                    self->resetText = text;
                }
                if (id == self->choose && GetMenuItemRect(nullptr, menu, UINT(i), &at)) found = true;
            }
            if (found) {
                MouseTo((at.left + at.right) / 2, (at.top + at.bottom) / 2);
                Sleep(100);
                MouseButton(false, true);
                Sleep(50);
                MouseButton(false, false);
            } else {
                INPUT in[2] = {};
                in[0].type = in[1].type = INPUT_KEYBOARD;
                in[0].ki.wVk = in[1].ki.wVk = VK_ESCAPE;
                in[1].ki.dwFlags = KEYEVENTF_KEYUP;
                SendInput(2, in, sizeof(INPUT));
            }
            InterlockedExchange(&self->done, 1);
        }
        return 0;
    }
    explicit PopupChooser(int id) : choose(id) { thread = CreateThread(nullptr, 0, Run, this, 0, nullptr); }
    ~PopupChooser()
    {
        InterlockedExchange(&done, 1);
        WaitForSingleObject(thread, 15000);
        CloseHandle(thread);
    }
    bool Has(int id) const
    {
        for (int i : ids)
            if (i == id) return true;
        return false;
    }
    bool Grayed(int id) const
    {
        for (size_t i = 0; i < ids.size(); ++i)
            if (ids[i] == id) return (states[i] & (MF_GRAYED | MF_DISABLED)) != 0;
        return false;
    }
};

}  // namespace

TEST_CASE("A right click on a tool button offers its group's attribute menu", "[editor][screen][attr]")
{
    REQUIRE(Library());
    EditorHost e(2);
    e.script = "Path 1: Keyframe 1.1 { at frame 1 } Keyframe 1.2 { at frame 30 } Keyframe 1.3 { at frame 50 }";
    // Three keyframes at x 100, 200, 300; the third is current.
    REQUIRE(e.Open([](FxInstance *inst) {
        FxEffect *fx = FxCurrentEffect(inst);
        FxPath *p = fx->current;
        FxKeyframe *k = p->head;
        for (int i = 0; i < 3; ++i, k = k->next) {
            k->position[0] = 100.0 * (i + 1);
            k->scale[0] = 1.0 + i;
        }
        p->current = p->head->prev;
        fx->currentFrame = 50;
    }));
    const std::vector<HWND> tabs = Tabs(e);
    REQUIRE(!tabs.empty());
    Click(tabs[0]);
    HWND position = e.Control(3073);
    REQUIRE(position);
    FxEffect *fx = e.Effect();
    FxPath *p = fx->current;
    FxKeyframe *k1 = p->head, *k2 = k1->next, *k3 = k2->next;
    REQUIRE(p->current == k3);
    const int undo = fx->undoCount;
    {
        PopupChooser menu(3004);   // "Apply to all Previous"
        Click(position, -1, -1, true);
        CHECK(PumpUntil([&] { return menu.done != 0; }, 15000));
        Pump(200);
        // Cut, copy, paste and the defaults are not offered; the reset
        // names the group; nothing follows the last keyframe.
        CHECK(menu.resetText == "Reset Position");
        CHECK_FALSE(menu.Has(3052));
        CHECK_FALSE(menu.Has(3000));
        CHECK_FALSE(menu.Grayed(3002));
        CHECK(menu.Grayed(3003));
        CHECK_FALSE(menu.Grayed(3004));
    }
    CHECK(PumpUntil([&] { return k1->position[0] == 300.0 && k2->position[0] == 300.0; }, 5000));
    // Only the group: the scale stays; one undo step.
    CHECK(k1->scale[0] == 1.0);
    CHECK(k2->scale[0] == 2.0);
    CHECK(fx->undoCount == undo + 1);
    e.Shot("editor_attr_menu_applied.bmp");

    // On the first keyframe "Apply to all Previous" is not offered; the
    // Scale group's "Apply to all Forward" copies its scale onward.
    p->current = k1;
    fx->currentFrame = 1;
    UpdateEditor(e.Inst(), 0x1FFFFFF);
    Click(tabs[0]);
    HWND scale = e.Control(3079);
    if (!scale) {
        // The Scale button lives on the Shape page of this personality.
        for (HWND t : tabs) {
            Click(t);
            if ((scale = e.Control(3079))) break;
        }
    }
    REQUIRE(scale);
    {
        PopupChooser menu(3003);
        Click(scale, -1, -1, true);
        CHECK(PumpUntil([&] { return menu.done != 0; }, 15000));
        Pump(200);
        CHECK(menu.resetText == "Reset Scale");
        CHECK(menu.Grayed(3004));
        CHECK_FALSE(menu.Grayed(3003));
    }
    CHECK(PumpUntil([&] { return k2->scale[0] == 1.0 && k3->scale[0] == 1.0; }, 5000));
    CHECK(k2->position[0] == 300.0);
}
