// Keyframes through the system clipboard, driven in the editor with real
// keys: copy from the Edit menu opened from the keyboard, cut and the
// pastes by accelerator.  The clipboard holds the keyframe as plain text
// (CF_TEXT) and nothing else; content that is not a keyframe's text is
// pasted by no command.  The host puts the editor's menu on its window,
// hands its commands to the bind window and translates the editor's
// accelerators, as a host embedding the editor does.
#include <catch2/catch.hpp>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "editor_host.h"
#include "editor_menu_routing.h"
#include "fxedit.h"

using namespace fxtest;

namespace {

struct ClipHost : EditorHost {
    MenuRouting routing;  // undone before the editor host closes
    ClipHost() : EditorHost(0) { host.iniPath = WriteIni("fxclipboard.ini", "[Cubby Test]\r\n"); }
    bool OpenRouted()
    {
        if (!Open()) return false;
        const bool routed = routing.Start(frame, Bind(), Inst()->menu, host.lib.accelerators);
        Front(frame);
        SetFocus(Main());
        Pump(100);
        return routed && IsWindow(Main());
    }
    HWND Main() { return Inst()->mainWindow; }
    int Keyframes()
    {
        int n = 0;
        FxKeyframe *h = Effect()->current->head, *k = h;
        do {
            ++n;
            k = k->next;
        } while (k != h);
        return n;
    }
    // The whole effect as FX script text (what any change would show in).
    std::string Text()
    {
        char *t = nullptr;
        KeyframeToScript(Keyframe(), &t);
        std::string s = t ? t : "";
        free(t);
        return s + "|" + std::to_string(Keyframes()) + "|" + std::to_string(Keyframe()->index);
    }
    // Moves the current keyframe with a real drag of its handle.
    void Drag(int dx, int dy)
    {
        FxKeyframe *k = Keyframe();
        POINT p = {k->screenPos[0], k->screenPos[1]};
        ClientToScreen(Main(), &p);
        MouseTo(p.x, p.y);
        MouseButton(false, true);
        Pump(40);
        MouseTo(p.x + dx, p.y + dy);
        Pump(40);
        MouseButton(false, false);
        Pump(60);
    }
};

// The clipboard's CF_TEXT, "" when there is none.
std::string ClipText()
{
    std::string s;
    if (!OpenClipboard(nullptr)) return s;
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
        if (const char *p = static_cast<const char *>(GlobalLock(h))) {
            s = p;
            GlobalUnlock(h);
        }
    }
    CloseClipboard();
    return s;
}

// True when the clipboard's text is one keyframe at (x, y); the text is
// read back through the keyframe reader into a scratch keyframe.
bool ClipAt(double x, double y)
{
    const std::string t = ClipText();
    FxKeyframe *k = NewKeyframe();
    const bool ok = k && !t.empty() && ApplyScriptToKeyframe(k, t.c_str()) && k->position[0] == Approx(x) &&
                    k->position[1] == Approx(y);
    if (k) FreeKeyframe(k);
    return ok;
}

// Puts a memory block of the given format (bytes as given) on the clipboard.
void PutClip(UINT format, const std::string &bytes)
{
    REQUIRE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL m = GlobalAlloc(GMEM_MOVEABLE, bytes.size() + 1);
    char *p = static_cast<char *>(GlobalLock(m));
    memcpy(p, bytes.data(), bytes.size());
    p[bytes.size()] = 0;
    GlobalUnlock(m);
    SetClipboardData(format, m);
    CloseClipboard();
}

// Alt+E opens the Edit menu; then the item's mnemonic.
void EditMenu(WORD item)
{
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
    push(item, false);
    push(item, true);
    SendInputs(in);
}

}  // namespace

TEST_CASE("Copy, cut and paste carry the keyframe as text through the clipboard", "[clipboard][screen]")
{
    REQUIRE(Library());
    ClipHost e;
    REQUIRE(e.OpenRouted());
    PutClip(CF_TEXT, "nothing yet");
    e.Drag(50, 30);
    const double x0 = e.Keyframe()->position[0], y0 = e.Keyframe()->position[1];

    SECTION("copy from the Edit menu leaves the keyframe; paste inserts one like it")
    {
        EditMenu('C');
        REQUIRE(PumpUntil([&] { return ClipAt(x0, y0); }, 3000));
        CHECK(e.Keyframes() == 1);

        // The keyframe moves away; Ctrl+V puts a new keyframe with the
        // copied values beside it.
        e.Drag(-90, -40);
        REQUIRE(e.Keyframe()->position[0] == Approx(x0 - 90));
        Key('V', {VK_CONTROL});
        CHECK(e.Keyframes() == 2);
        CHECK(e.Keyframe()->position[0] == Approx(x0));
        CHECK(e.Keyframe()->position[1] == Approx(y0));

        // Paste Attributes (Ctrl+Shift+V) lays the values onto the current
        // keyframe without a new one.
        Key(VK_PRIOR);
        const int index = e.Keyframe()->index;
        Key('V', {VK_CONTROL, VK_SHIFT});
        CHECK(e.Keyframes() == 2);
        CHECK(e.Keyframe()->index == index);
        CHECK(e.Keyframe()->position[0] == Approx(x0));
        CHECK(e.Keyframe()->position[1] == Approx(y0));
        e.Shot("editor_clipboard_paste.bmp");
    }
    SECTION("cut copies the keyframe's text and then deletes it")
    {
        Key(VK_INSERT, {VK_CONTROL});
        e.Drag(-80, 20);
        REQUIRE(e.Keyframes() == 2);
        REQUIRE(e.Keyframe()->position[0] == Approx(x0 - 80));
        Key('X', {VK_CONTROL});
        CHECK(ClipAt(x0 - 80, y0));  // the drag moved x alone
        CHECK(e.Keyframes() == 1);
        CHECK(e.Keyframe()->position[0] == Approx(x0));
        // And it comes back with Ctrl+V.
        Key('V', {VK_CONTROL});
        CHECK(e.Keyframes() == 2);
        CHECK(e.Keyframe()->position[0] == Approx(x0 - 80));
    }
}

TEST_CASE("Content that is not a keyframe's text is pasted by no command", "[clipboard][screen]")
{
    REQUIRE(Library());
    ClipHost e;
    REQUIRE(e.OpenRouted());
    Key(VK_INSERT, {VK_CONTROL});
    e.Drag(40, 25);
    REQUIRE(e.Keyframes() == 2);
    const std::string before = e.Text();
    const UINT own = RegisterClipboardFormatA("Corvex keyframe");
    struct Case {
        const char *what;
        UINT format;
        std::string bytes;
    } cases[] = {
        {"a format of its own", own, "KEYFRAME position 1 2 3"},
        {"a picture format", CF_DIB, std::string(64, '\x11')},
        {"text that is no keyframe", CF_TEXT, "hello, editor"},
        {"empty text", CF_TEXT, ""},
    };
    for (const Case &c : cases) {
        INFO(c.what);
        PutClip(c.format, c.bytes);
        Key('V', {VK_CONTROL});                // paste (insert)
        Key('V', {VK_CONTROL, VK_SHIFT});      // paste attributes
        Key('V', {VK_CONTROL, VK_MENU});       // paste at the frame
        EditMenu('P');
        Pump(100);
        CHECK(e.Text() == before);
        CHECK(e.Keyframes() == 2);
    }
}
