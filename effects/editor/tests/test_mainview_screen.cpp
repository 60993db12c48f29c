// The editor's main view on a real display, driven with real mouse and
// key input: the scene drawn (paths, keyframe outlines, safe area), drags
// by the pointer's delta and Esc, tools chosen by the keys held, the
// right button's pop-up menu against its double-click, undo and redo by
// accelerator and by menu, the keyframe commands, Go, and an effect built
// here stored through the host protocol and rendered again after a fresh
// attach.  The host puts the editor's menu on its window, hands its menu
// commands to the editor's bind window and translates the editor's
// accelerators, as a host embedding the editor does.
#include <catch2/catch.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "editor_host.h"
#include "editor_menu_routing.h"
#include "fxedit.h"
#include "fxmainview.h"

using namespace fxtest;

namespace {

// The host of these tests: the editor host with the editor's menu and
// accelerators routed.
struct MenuHost : EditorHost {
    MenuRouting routing;  // undone before the editor host closes
    // Settings the editor writes (view flags, insert side) go to a file of
    // the test's own.
    explicit MenuHost(uint32_t personality = 0, uint32_t hostKind = 0) : EditorHost(personality, hostKind)
    {
        host.iniPath = WriteIni("fxmainview.ini", "[Cubby Test]\r\n");
    }
    bool OpenRouted(const std::function<void(FxInstance *)> &before = nullptr)
    {
        if (!Open(before)) return false;
        const bool routed = routing.Start(frame, Bind(), Inst()->menu, host.lib.accelerators);
        // The view takes the keys.
        Front(frame);
        SetFocus(Main());
        Pump(100);
        return routed && IsWindow(Main());
    }
    HWND Main() { return Inst()->mainWindow; }
    FxPath *Path() { return Effect()->current; }
    // The menu command as the host hands it on (its menu bar's choice).
    void Command(int id) { SendMessageA(frame, WM_COMMAND, WPARAM(id), 0); }
    // The screen point of the current keyframe's handle.
    POINT Handle()
    {
        FxKeyframe *k = Keyframe();
        POINT p = {k->screenPos[0], k->screenPos[1]};
        ClientToScreen(Main(), &p);
        return p;
    }
    void Drag(POINT from, int dx, int dy, bool esc = false)
    {
        MouseTo(from.x, from.y);
        MouseButton(false, true);
        Pump(40);
        MouseTo(from.x + dx, from.y + dy);
        Pump(40);
        if (esc) Key(VK_ESCAPE);
        MouseButton(false, false);
        Pump(60);
    }
    int Keyframes()
    {
        int n = 0;
        FxPath *p = Path();
        FxKeyframe *k = p->head;
        do {
            ++n;
            k = k->next;
        } while (k != p->head);
        return n;
    }
};

// Pixels of a colour (0x00RRGGBB) inside the window's rectangle of a shot
// of `top`.
int CountColour(HWND top, HWND inside, unsigned rgb)
{
    const Shot s = TakeShot(top);
    RECT t, r;
    GetWindowRect(top, &t);
    GetWindowRect(inside, &r);
    int n = 0;
    for (int y = r.top - t.top; y < r.bottom - t.top; ++y)
        for (int x = r.left - t.left; x < r.right - t.left; ++x)
            if (s.At(x, y) == rgb) ++n;
    return n;
}

unsigned Rgb(COLORREF c)
{
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

// The attribute and position bytes of a keyframe (what a drag can change).
std::vector<unsigned char> ModelBytes(const FxKeyframe *k)
{
    const auto *b = reinterpret_cast<const unsigned char *>(k);
    std::vector<unsigned char> v(b + offsetof(FxKeyframe, positionTcb), b + offsetof(FxKeyframe, screenPos));
    return v;
}

// Presses Esc (from a thread of its own, so that it reaches a menu or a
// play loop that holds the test's thread).
void PressEscape()
{
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = VK_ESCAPE;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
}

// Watches for the view's pop-up menu while the editor's thread tracks it,
// and closes it with Esc.  Threads are Wine's own (CreateThread).
struct MenuWatch {
    volatile LONG stop = 0, seen = 0;
    HANDLE thread = nullptr;
    static DWORD WINAPI Run(void *p)
    {
        auto *self = static_cast<MenuWatch *>(p);
        while (!self->stop) {
            HWND m = FindWindowA("#32768", nullptr);
            if (m && IsWindowVisible(m)) {
                InterlockedExchange(&self->seen, 1);
                PressEscape();
                Sleep(100);
            }
            Sleep(10);
        }
        return 0;
    }
    MenuWatch() { thread = CreateThread(nullptr, 0, Run, this, 0, nullptr); }
    ~MenuWatch()
    {
        InterlockedExchange(&stop, 1);
        WaitForSingleObject(thread, 5000);
        CloseHandle(thread);
    }
    bool Seen() const { return seen != 0; }
};

DWORD WINAPI EscapeLater(void *)
{
    Sleep(300);
    PressEscape();
    return 0;
}

}  // namespace

TEST_CASE("The view shows paths, keyframe outlines and the safe area", "[mainview][screen]")
{
    REQUIRE(Library());
    MenuHost e(0);
    REQUIRE(e.OpenRouted());
    // Three keyframes moved apart, so that the path shows.
    Key(VK_INSERT, {VK_CONTROL});
    Key(VK_INSERT, {VK_CONTROL});
    REQUIRE(e.Keyframes() == 3);
    e.Drag(e.Handle(), -60, -40);
    Key(VK_PRIOR);
    e.Drag(e.Handle(), 50, 30);
    e.Command(3091);  // Safe Title Area
    InvalidateRect(e.Main(), nullptr, FALSE);
    Pump(100);
    REQUIRE(FxCurrentEffect(e.Inst())->view);
    CHECK((FxCurrentEffect(e.Inst())->view->flags & 0x80) != 0);
    CHECK_FALSE(e.Shot("editor_mainview_scene.bmp").empty());
    // The background, the safe-area outline and the outlines of selected
    // keyframes are there in their colours.
    CHECK(CountColour(e.frame, e.Main(), 0x606060) > 1000);
    CHECK(CountColour(e.frame, e.Main(), Rgb(0x80C000)) > 100);
    CHECK(CountColour(e.frame, e.Main(), Rgb(0x00FFFF)) > 100);
}

TEST_CASE("A drag moves the keyframe by the pointer's delta; Esc brings it back exactly", "[mainview][screen]")
{
    REQUIRE(Library());
    MenuHost e(0);
    REQUIRE(e.OpenRouted());
    FxKeyframe *k = e.Keyframe();
    REQUIRE(k);
    const double x0 = k->position[0], y0 = k->position[1];

    e.Drag(e.Handle(), 40, 25);
    CHECK(e.Keyframe()->position[0] == Approx(x0 + 40));
    CHECK(e.Keyframe()->position[1] == Approx(y0 + 25));

    // Esc during the drag: every byte of the model as it was at the press.
    const std::vector<unsigned char> before = ModelBytes(e.Keyframe());
    e.Drag(e.Handle(), -70, 33, true);
    CHECK(ModelBytes(e.Keyframe()) == before);

    // With |dx| > 2|dy| only x moves.
    const double x1 = e.Keyframe()->position[0], y1 = e.Keyframe()->position[1];
    e.Drag(e.Handle(), 30, 10);
    CHECK(e.Keyframe()->position[0] == Approx(x1 + 30));
    CHECK(e.Keyframe()->position[1] == Approx(y1));
    // And with |dy| > 2|dx| only y.
    e.Drag(e.Handle(), 5, -20);
    CHECK(e.Keyframe()->position[0] == Approx(x1 + 30));
    CHECK(e.Keyframe()->position[1] == Approx(y1 - 20));
}

TEST_CASE("Alt held selects Rotate: a drag with it turns the keyframe and moves nothing", "[mainview][screen]")
{
    REQUIRE(Library());
    MenuHost e(0);
    REQUIRE(e.OpenRouted());
    const POINT h = e.Handle();
    const Quat q0 = e.Keyframe()->orientation;
    const double x0 = e.Keyframe()->position[0], y0 = e.Keyframe()->position[1];
    INPUT alt = {};
    alt.type = INPUT_KEYBOARD;
    alt.ki.wVk = VK_MENU;
    std::vector<INPUT> down{alt};
    SendInputs(down);
    Pump(60);
    e.Drag(h, 100, 0);
    alt.ki.dwFlags = KEYEVENTF_KEYUP;
    std::vector<INPUT> up{alt};
    SendInputs(up);
    Pump(60);
    // A turn about x of 100 x 0.001 radians.
    const Quat q1 = e.Keyframe()->orientation;
    CHECK(q1.x != Approx(q0.x).margin(1e-6));
    CHECK(std::fabs(2 * std::asin(std::fabs(q1.x))) == Approx(0.1).margin(1e-6));
    CHECK(e.Keyframe()->position[0] == Approx(x0));
    CHECK(e.Keyframe()->position[1] == Approx(y0));
    // Alt released: Move again.
    e.Drag(e.Handle(), 20, 15);
    CHECK(e.Keyframe()->position[0] == Approx(x0 + 20));
    CHECK(e.Keyframe()->orientation.x == Approx(q1.x));
}

TEST_CASE("A right click opens the pop-up menu after the double-click time; a double click toggles the tool", "[mainview][screen]")
{
    REQUIRE(Library());
    MenuHost e(0);
    REQUIRE(e.OpenRouted());
    {
        MenuWatch watch;
        Click(e.Main(), 40, 40, true);
        // Not yet: the menu waits for the double-click time.
        CHECK_FALSE(watch.Seen());
        CHECK(PumpUntil([&] { return watch.Seen(); }, GetDoubleClickTime() + 3000));
    }
    // What a drag does tells the tool: Scale shrinks, Move moves.
    auto drag = [&](double *scale, double *x) {
        e.Drag(e.Handle(), -40, 0);
        *scale = e.Keyframe()->scale[0];
        *x = e.Keyframe()->position[0];
    };
    double s0 = e.Keyframe()->scale[0], x0 = e.Keyframe()->position[0], s1, x1;
    e.Command(3079);  // the Scale tool from the bar
    Pump(50);
    drag(&s1, &x1);
    CHECK(s1 == Approx(s0 - 0.2));
    CHECK(x1 == Approx(x0));
    std::vector<INPUT> clicks;
    for (int i = 0; i < 2; ++i)
        for (DWORD f : {MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP}) {
            INPUT in = {};
            in.type = INPUT_MOUSE;
            in.mi.dwFlags = f;
            clicks.push_back(in);
        }
    MenuWatch watch;
    const POINT p = ScreenPoint(e.Main(), 40, 40);
    // A double click: Move, and no menu.
    MouseTo(p.x, p.y);
    SendInputs(clicks);
    Pump(GetDoubleClickTime() + 300);
    CHECK_FALSE(watch.Seen());
    drag(&s0, &x0);
    CHECK(s0 == Approx(s1));
    CHECK(x0 == Approx(x1 - 40));
    // Another: back to Scale.
    MouseTo(p.x, p.y);
    SendInputs(clicks);
    Pump(GetDoubleClickTime() + 300);
    CHECK_FALSE(watch.Seen());
    drag(&s1, &x1);
    CHECK(s1 == Approx(s0 - 0.2));
    CHECK(x1 == Approx(x0));
}

TEST_CASE("Undo and redo by accelerator and by the Edit menu", "[mainview][screen]")
{
    REQUIRE(Library());
    MenuHost e(0);
    REQUIRE(e.OpenRouted());
    const double x0 = e.Keyframe()->position[0];
    e.Drag(e.Handle(), 40, 30);
    const double x1 = e.Keyframe()->position[0];
    REQUIRE(x1 == Approx(x0 + 40));
    Key('Z', {VK_CONTROL});
    CHECK(e.Keyframe()->position[0] == Approx(x0));
    Key('Z', {VK_CONTROL, VK_SHIFT});
    CHECK(e.Keyframe()->position[0] == Approx(x1));
    // The Edit menu opened from the keyboard: Alt+E, then U for Undo.
    std::vector<INPUT> in;
    auto push = [&](WORD vk, bool up) {
        INPUT i = {};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = vk;
        i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        in.push_back(i);
    };
    push(VK_MENU, false);
    push('E', false);
    push('E', true);
    push(VK_MENU, true);
    push('U', false);
    push('U', true);
    SendInputs(in);
    CHECK(PumpUntil([&] { return e.Keyframe()->position[0] == x0; }, 3000));
}

TEST_CASE("Keyframe commands: insert before, after and at the frame, delete, next and previous", "[mainview][screen]")
{
    REQUIRE(Library());
    MenuHost e(0);
    REQUIRE(e.OpenRouted());
    REQUIRE(e.Keyframes() == 1);
    // After (Ctrl+Ins) twice: three keyframes, the last current.
    Key(VK_INSERT, {VK_CONTROL});
    Key(VK_INSERT, {VK_CONTROL});
    REQUIRE(e.Keyframes() == 3);
    CHECK(e.Keyframe()->index == 3);
    // Next on the last keyframe does nothing (no wrap); previous steps back.
    Key('W', {VK_CONTROL});
    CHECK(e.Keyframe()->index == 3);
    Key('Q', {VK_CONTROL});
    CHECK(e.Keyframe()->index == 2);
    CHECK(e.Effect()->currentFrame == e.Keyframe()->startFrame);
    Key('Q', {VK_CONTROL});
    CHECK(e.Keyframe()->index == 1);
    Key('Q', {VK_CONTROL});
    CHECK(e.Keyframe()->index == 1);
    // Before (Shift+Ins): a new first keyframe becomes current.
    Key(VK_INSERT, {VK_SHIFT});
    CHECK(e.Keyframes() == 4);
    CHECK(e.Keyframe()->index == 1);
    // Delete takes the current keyframe away.
    Key(VK_DELETE);
    CHECK(e.Keyframes() == 3);
    // At the current frame: only where no keyframe stands.
    FxEffect *fx = e.Effect();
    const int last = LastKeyframe(e.Path())->endFrame;
    fx->currentFrame = last + 3;
    Key(VK_INSERT, {VK_MENU});
    CHECK(e.Keyframes() == 4);
    CHECK(e.Keyframe()->startFrame == last + 3);
    Key(VK_INSERT, {VK_MENU});
    CHECK(e.Keyframes() == 4);
    // Page Down and Page Up step without wrapping.
    Key(VK_NEXT);
    CHECK(e.Keyframe()->index == 4);
    Key(VK_HOME);
    CHECK(e.Keyframe()->index == 1);
    Key(VK_PRIOR);
    CHECK(e.Keyframe()->index == 1);
}

TEST_CASE("Go plays the effect and stops; built effects survive the host's store", "[mainview][screen]")
{
    REQUIRE(Library());
    std::vector<uint8_t> stored;
    std::vector<uint32_t> first;
    const int w = 64, h = 48;
    FxFrameFormat format = {};
    format.size = sizeof format;
    format.format = 0x90002004;
    format.width = w;
    format.height = h;
    format.frames = 30;
    format.stride = w * 4;
    auto render = [&](TestHost &host, int frame, std::vector<uint32_t> &out) {
        out.assign(size_t(w) * h, 0x12345678);
        format.position = uint32_t(frame);
        FxRequest r = {};
        r.data = out.data();
        r.marker = 0xFFFF0038;
        r.code = FXD_RENDER_FRAME;
        r.unit = FXM_WIDE;
        r.second = uintptr_t(&format);
        return host.Send(FXN_REQUEST, FXP_TRANSFER, &r);
    };
    auto wireframe = [](TestHost &host, const char *name) {
        const std::string path = BinDir() + "\\" + name;
        FxRequest r = {};
        r.data = const_cast<char *>(path.c_str());
        r.marker = 0xFFFF0038;
        r.code = FXD_WIREFRAME;
        r.unit = FXM_TEXT;
        if (host.Send(FXN_REQUEST, FXP_TRANSFER, &r) != 1) return std::string();
        std::string text;
        HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE) return text;
        char buf[4096];
        DWORD got = 0;
        while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got) text.append(buf, got);
        CloseHandle(f);
        return text;
    };
    std::string dumped;
    {
        MenuHost e(0);
        REQUIRE(e.OpenRouted());
        Key(VK_INSERT, {VK_CONTROL});
        e.Drag(e.Handle(), 80, -30);
        Key(VK_INSERT, {VK_CONTROL});
        e.Drag(e.Handle(), -40, 50);
        REQUIRE(e.Keyframes() == 3);
        const int last = LastKeyframe(e.Path())->endFrame;
        REQUIRE(last > 2);
        // Go (Ctrl+G) from the first frame plays to the end and stops there.
        e.Effect()->currentFrame = 1;
        Key('G', {VK_CONTROL});
        CHECK(e.Effect()->currentFrame == last);
        // Looping plays until Esc.
        HANDLE esc = CreateThread(nullptr, 0, EscapeLater, nullptr, 0, nullptr);
        e.Command(3113);
        WaitForSingleObject(esc, 5000);
        CloseHandle(esc);
        CHECK(e.Effect()->currentFrame >= 1);
        // Stored through the host protocol.
        REQUIRE(e.host.Send(FXN_STORE_EFFECT, 1) == 1);
        stored = e.host.stored;
        REQUIRE(render(e.host, 2, first) == 1);
        dumped = wireframe(e.host, "mainview_before.txt");
    }
    REQUIRE(stored.size() > 112);
    TestHost again("Cubby Test", true);
    again.Number(0);
    again.block = stored;
    REQUIRE(again.Attach() == 1);
    REQUIRE(again.Send(FXN_LOAD_EFFECT, 0) == 1);
    FxEffect *fx = FxCurrentEffect(again.Instance());
    REQUIRE(fx);
    int n = 0;
    for (FxKeyframe *k = fx->first->head;; k = k->next) {
        ++n;
        if (k->next == fx->first->head) break;
    }
    CHECK(n == 3);
    std::vector<uint32_t> second;
    REQUIRE(render(again, 2, second) == 1);
    CHECK(second == first);
    // Frame by frame, the objects stand where they stood before the store.
    CHECK(wireframe(again, "mainview_after.txt") == dumped);
    CHECK(dumped.size() > 100);
    again.Detach();
}

TEST_CASE("Sizing the bind window keeps the bar's height and gives the view the rest", "[mainview][screen]")
{
    REQUIRE(Library());
    MenuHost e(0);
    REQUIRE(e.OpenRouted());
    HWND bar = e.Inst()->barDialog;
    REQUIRE(IsWindow(bar));
    RECT b0;
    GetWindowRect(bar, &b0);
    const int barHeight = b0.bottom - b0.top;
    for (SIZE s : {SIZE{700, 350}, SIZE{420, 300}, SIZE{880, 390}}) {
        MoveWindow(e.Bind(), 0, 0, s.cx, s.cy, TRUE);
        Pump(30);
        RECT m, b;
        GetWindowRect(e.Main(), &m);
        GetWindowRect(bar, &b);
        CHECK(b.bottom - b.top == barHeight);
        CHECK(m.bottom - m.top == s.cy - barHeight);
        CHECK(m.right - m.left == s.cx);
        CHECK(b.top == m.bottom);
    }
    // The view follows its window: the picture outline stays inside it.
    FxView *view = e.Effect()->view;
    REQUIRE(view);
    InvalidateRect(e.Main(), nullptr, FALSE);
    Pump(50);
    RECT c;
    GetClientRect(e.Main(), &c);
    CHECK(view->picture[2].x <= c.right);
    CHECK(view->picture[2].y <= c.bottom);
    CHECK_FALSE(e.Shot("editor_mainview_sized.bmp").empty());
}

TEST_CASE("A drag in many steps and a held arrow key are one undo step each; Shift nudges ten times as far", "[mainview][screen]")
{
    REQUIRE(Library());
    MenuHost e(0);
    REQUIRE(e.OpenRouted());
    const double x0 = e.Keyframe()->position[0], y0 = e.Keyframe()->position[1];
    const POINT h = e.Handle();
    MouseTo(h.x, h.y);
    MouseButton(false, true);
    Pump(40);
    for (int i = 1; i <= 4; ++i) {
        MouseTo(h.x + 10 * i, h.y + 5 * i);
        Pump(30);
    }
    MouseButton(false, false);
    Pump(60);
    REQUIRE(e.Keyframe()->position[0] == Approx(x0 + 40));
    REQUIRE(e.Keyframe()->position[1] == Approx(y0 + 20));
    Key('Z', {VK_CONTROL});
    CHECK(e.Keyframe()->position[0] == Approx(x0));
    CHECK(e.Keyframe()->position[1] == Approx(y0));

    // Right held (a press and an auto-repeat), then released: one step.
    SetFocus(e.Main());
    std::vector<INPUT> in;
    for (DWORD f : {DWORD(0), DWORD(0), DWORD(KEYEVENTF_KEYUP)}) {
        INPUT i = {};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = VK_RIGHT;
        i.ki.dwFlags = f;
        in.push_back(i);
    }
    SendInputs(in);
    Pump(60);
    const double moved = e.Keyframe()->position[0] - x0;
    CHECK(moved > 0);
    CHECK(e.Keyframe()->position[1] == Approx(y0));
    Key('Z', {VK_CONTROL});
    CHECK(e.Keyframe()->position[0] == Approx(x0));

    // One press moves by the press's step; with Shift ten times that.
    Key(VK_LEFT);
    const double one = x0 - e.Keyframe()->position[0];
    CHECK(one > 0);
    Key(VK_LEFT, {VK_SHIFT});
    CHECK(x0 - e.Keyframe()->position[0] == Approx(one + 10 * one));
}

TEST_CASE("A Spin drag below 100 changes nothing; 100 adds one turn", "[mainview][screen]")
{
    REQUIRE(Library());
    MenuHost e(0);
    REQUIRE(e.OpenRouted());
    e.Command(3080);  // the Spins tool from the bar
    Pump(50);
    const int32_t before = e.Keyframe()->spins[0];
    const std::vector<unsigned char> model = ModelBytes(e.Keyframe());
    e.Drag(e.Handle(), 99, 0);
    CHECK(ModelBytes(e.Keyframe()) == model);
    e.Drag(e.Handle(), 100, 0);
    CHECK(e.Keyframe()->spins[0] == before + 1);
    e.Drag(e.Handle(), -100, 0);
    CHECK(e.Keyframe()->spins[0] == before);
}

TEST_CASE("The render items say whether the effect must be rendered again", "[mainview][screen]")
{
    REQUIRE(Library());
    MenuHost e(0, 0x2C910000);
    REQUIRE(e.OpenRouted());
    HMENU menu = e.Inst()->menu;
    REQUIRE(GetMenuState(menu, 3087, MF_BYCOMMAND) != UINT(-1));
    auto text = [&](int id) {
        char t[128] = "";
        GetMenuStringA(menu, UINT(id), t, sizeof t, MF_BYCOMMAND);
        return std::string(t);
    };
    e.Effect()->flags |= 0x8;
    SendMessageA(e.frame, WM_INITMENU, WPARAM(menu), 0);
    CHECK(text(3087) == "&Render Animation");
    CHECK(text(3090) == "Render && &Take Animation\tNumPad Enter");
    e.Effect()->flags &= ~0x8u;
    SendMessageA(e.frame, WM_INITMENU, WPARAM(menu), 0);
    CHECK(text(3087) == "Force Re-&Render");
    CHECK(text(3090) == "&Take Animation\tNumPad Enter");
}

TEST_CASE("A file dropped on the view is loaded into the effect", "[mainview][screen]")
{
    REQUIRE(Library());
    MenuHost e(0);
    REQUIRE(e.OpenRouted());
    const std::string name = BinDir() + "fxmainview_drop.txt";
    const char script[] = "Path 1: Keyframe 1.1 { at frame 1 } Path 2: Keyframe 2.1 { at frame 4 }";
    HANDLE f = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(f != INVALID_HANDLE_VALUE);
    DWORD put = 0;
    WriteFile(f, script, DWORD(sizeof script - 1), &put, nullptr);
    CloseHandle(f);
    // What the shell hands a window that accepts files: a DROPFILES block
    // with the names after it, double-NUL terminated.
    struct Drop {
        DWORD offset;
        POINT pt;
        BOOL nonClient, wide;
    };
    const size_t bytes = sizeof(Drop) + name.size() + 2;
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    REQUIRE(g);
    auto *d = static_cast<Drop *>(GlobalLock(g));
    d->offset = sizeof(Drop);
    std::memcpy(reinterpret_cast<char *>(d) + sizeof(Drop), name.c_str(), name.size());
    GlobalUnlock(g);
    REQUIRE(CountPaths(e.Effect()->first) == 1);
    SendMessageA(e.Main(), WM_DROPFILES, WPARAM(g), 0);
    CHECK(CountPaths(e.Effect()->first) == 2);
    DeleteFileA(name.c_str());
}

TEST_CASE("An object without an outline of its own shows the default one, crossed in the alternate style", "[mainview][screen]")
{
    REQUIRE(Library());
    auto colourAt = [](POINT p) {
        HDC screen = GetDC(nullptr);
        const COLORREF c = GetPixel(screen, p.x, p.y);
        ReleaseDC(nullptr, screen);
        return c;
    };
    const COLORREF background = RGB(0x60, 0x60, 0x60);
    MenuHost e(0);
    REQUIRE(e.OpenRouted());
    // A disabled editor is drawn in the alternate style (one pen): its
    // default outline crosses the object through its centre.
    for (const bool alternate : {false, true, false}) {
        CAPTURE(alternate);
        EnableWindow(e.Main(), alternate ? FALSE : TRUE);
        UpdateWindow(e.Main());
        Pump(100);
        REQUIRE(e.Effect()->view);
        CHECK(((e.Effect()->view->flags & 0x100000) != 0) == alternate);
        // A point on the vertical centre line, a quarter down the object.
        FxKeyframe *k = e.Keyframe();
        POINT p = {LONG((k->screenCorners[0][0] + k->screenCorners[2][0]) / 2),
                   LONG(k->screenCorners[0][1] + (k->screenCorners[2][1] - k->screenCorners[0][1]) / 4)};
        ClientToScreen(e.Main(), &p);
        if (alternate) {
            CHECK_FALSE(e.Shot("editor_mainview_default_outline.bmp").empty());
            CHECK(colourAt(p) != background);
        } else {
            CHECK(colourAt(p) == background);
        }
        // Beside the line the background shows.
        CHECK(colourAt(POINT{p.x + 4, p.y}) == background);
    }
}

namespace {

// Yes/No/Cancel boxes of the thread: answered with g_templateAnswer, their
// texts kept.
int g_templateAnswer = IDNO;
std::vector<std::string> g_templateBoxes;

LRESULT CALLBACK TemplateBoxHook(int code, WPARAM wp, LPARAM lp)
{
    if (code == HCBT_ACTIVATE && GetDlgItem(HWND(wp), IDYES)) {
        char text[512] = "";
        GetDlgItemTextA(HWND(wp), 0xFFFF, text, sizeof text);
        g_templateBoxes.push_back(text);
        PostMessageA(HWND(wp), WM_COMMAND, WPARAM(g_templateAnswer), 0);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

int PathsIn(const std::string &text)
{
    int n = 0;
    for (size_t at = text.find("Path "); at != std::string::npos; at = text.find("Path ", at + 1)) ++n;
    return n;
}

}  // namespace

TEST_CASE("Template records of the host's type reach the effect through message 1312", "[mainview][screen][templates]")
{
    REQUIRE(Library());
    MenuHost e(0);
    e.script = "Path 1: Keyframe 1.1 { at frame 1 } Path 2: Keyframe 2.1 { at frame 4 }";
    REQUIRE(e.OpenRouted());
    FxEffect *fx = e.Effect();
    REQUIRE(CountPaths(fx->first) == 2);
    fx->current = fx->first->next;
    const uint32_t type = 8;   // the data type of this personality's blocks
    HHOOK hook = SetWindowsHookExA(WH_CBT, TemplateBoxHook, nullptr, GetCurrentThreadId());
    REQUIRE(hook);
    g_templateBoxes.clear();

    // Code 1: the question decides which paths go; Cancel stores nothing.
    struct Row {
        int answer;
        LRESULT result;
        int paths;
    };
    FxCardRecord kept[2] = {};
    for (const Row &r : {Row{IDCANCEL, 0, 0}, Row{IDYES, 1, 1}, Row{IDNO, 1, 2}}) {
        CAPTURE(r.answer);
        g_templateAnswer = r.answer;
        FxCardRecord rec = {};
        rec.type = type;
        CHECK(SendMessageA(e.Main(), FXM_TEMPLATE, 1, LPARAM(&rec)) == r.result);
        CHECK(rec.type == type);
        if (!r.paths) {
            CHECK(rec.block == nullptr);
            continue;
        }
        REQUIRE(rec.block);
        REQUIRE(FxCheckBlock(rec.block, rec.blockSize) == 0);
        CHECK(PathsIn(FxBlockText(rec.block)) == r.paths);
        kept[r.paths - 1] = rec;
    }
    REQUIRE(g_templateBoxes.size() == 3);
    CHECK(g_templateBoxes[0] == "Add Template\n\nInclude selected path only?.\n\n(Choose \"No\" to include all paths.)");
    // The effect keeps both paths and its current one.
    CHECK(CountPaths(e.Effect()->first) == 2);
    CHECK(e.Effect()->current == e.Effect()->first->next);

    // Code 2 loads a record: one path, then both (every path of the
    // record, none dropped).
    CHECK(SendMessageA(e.Main(), FXM_TEMPLATE, 2, LPARAM(&kept[0])) == 1);
    CHECK(CountPaths(e.Effect()->first) == 1);
    CHECK(SendMessageA(e.Main(), FXM_TEMPLATE, 2, LPARAM(&kept[1])) == 1);
    CHECK(CountPaths(e.Effect()->first) == 2);

    // Codes 5 and 4: the record's number and name become the effect's.
    FxCardRecord named = {};
    named.type = type;
    named.cardNumber = 12;
    lstrcpynA(named.name, "Swirl", sizeof named.name);
    e.Effect()->flags &= ~FXE_UNSTORED;
    CHECK(SendMessageA(e.Main(), FXM_TEMPLATE, 5, LPARAM(&named)) == 1);
    CHECK(e.Effect()->header.cardId == 12);
    CHECK(std::string(e.Effect()->header.description) == "Swirl");
    CHECK((e.Effect()->flags & FXE_UNSTORED) != 0);
    CHECK((e.Effect()->flags & (FXE_UNCARDED | FXE_UNSAVED)) == 0);
    FxCardRecord ask = {};
    ask.type = type;
    CHECK(SendMessageA(e.Main(), FXM_TEMPLATE, 4, LPARAM(&ask)) == 1);
    CHECK(ask.cardNumber == 12);

    // Another type, an unknown code or no record: nothing, no question.
    g_templateBoxes.clear();
    FxCardRecord other = {};
    other.type = 6;
    CHECK(SendMessageA(e.Main(), FXM_TEMPLATE, 1, LPARAM(&other)) == 0);
    CHECK(other.block == nullptr);
    CHECK(SendMessageA(e.Main(), FXM_TEMPLATE, 3, LPARAM(&ask)) == 0);
    CHECK(SendMessageA(e.Main(), FXM_TEMPLATE, 1, 0) == 0);
    CHECK(g_templateBoxes.empty());
    CHECK(CountPaths(e.Effect()->first) == 2);

    UnhookWindowsHookEx(hook);
    for (FxCardRecord &r : kept)
        if (r.block) GlobalFree(r.block);
}
