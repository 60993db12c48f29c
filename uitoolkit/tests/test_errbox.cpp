/* Error boxes and the assertion report: button sets, captions, defaults,
 * icons, texts and their layout, time-outs, the keys and close box without
 * a cancel button, the debugger output, string ids and error pages in other
 * tabbed dialogs.  Every box is read and closed through a window hook. */
#include <catch2/catch.hpp>

#include "errbox.h"
#include "internal.h"
#include "tabdlg.h"
#include "tundrix32.h"
#include "unmanaged_display.h"

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

std::string Text(HWND w)
{
    char buf[1024] = {};
    if (w) GetWindowTextA(w, buf, sizeof buf);
    return buf;
}

/* What a box showed. */
struct Seen {
    std::string caption, text, icon;
    std::vector<std::string> buttons;
    int focus_id = 0;
    bool edit_scrolls = false;
    bool opened = false;
};

/* Catches each tabbed frame as it is activated and, once it runs, reads it
 * and hands it to the test's action (which presses something). */
class BoxDriver {
public:
    std::function<void(HWND frame)> act;
    /* Runs after what act posted was handled (queued behind it). */
    std::function<void(HWND frame)> then;
    Seen seen;

    void Later(HWND frame) { PostMessageA(helper_, WM_APP + 1, reinterpret_cast<WPARAM>(frame), 0); }
    int boxes = 0;

    BoxDriver()
    {
        self_ = this;
        WNDCLASSA wc = {};
        wc.lpfnWndProc = HelperProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "ErrBoxTestHelper";
        RegisterClassA(&wc);
        helper_ = CreateWindowA("ErrBoxTestHelper", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        hook_ = SetWindowsHookExA(WH_CBT, CbtProc, nullptr, GetCurrentThreadId());
    }
    ~BoxDriver()
    {
        UnhookWindowsHookEx(hook_);
        DestroyWindow(helper_);
        self_ = nullptr;
    }

    static HWND Page(HWND frame)
    {
        auto *d = static_cast<TabDialogDescription *>(GetPropA(frame, TAB_PROP));
        return d ? d->currentPage : nullptr;
    }

private:
    static BoxDriver *self_;
    HWND helper_ = nullptr;
    HHOOK hook_ = nullptr;

    static LRESULT CALLBACK CbtProc(int code, WPARAM wp, LPARAM lp)
    {
        if (code == HCBT_ACTIVATE && self_) {
            HWND w = reinterpret_cast<HWND>(wp);
            if (GetPropA(w, TAB_PROP) && !GetPropA(w, "ErrBoxSeen")) {
                SetPropA(w, "ErrBoxSeen", reinterpret_cast<HANDLE>(1));
                PostMessageA(self_->helper_, WM_APP, wp, 0);
            }
        }
        return CallNextHookEx(nullptr, code, wp, lp);
    }

    static LRESULT CALLBACK HelperProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
    {
        if (msg == WM_APP && self_) {
            HWND frame = reinterpret_cast<HWND>(wp);
            if (!IsWindow(frame)) return 0;
            BoxDriver *s = self_;
            ++s->boxes;
            Seen &k = s->seen;
            k = Seen();
            k.opened = true;
            k.caption = Text(frame);
            for (int id = 1; HWND b = GetDlgItem(frame, id); ++id) k.buttons.push_back(Text(b));
            HWND focus = GetFocus();
            k.focus_id = focus ? GetDlgCtrlID(focus) : 0;
            HWND page = Page(frame);
            HWND edit = page ? GetDlgItem(page, 2) : nullptr;
            k.text = Text(edit);
            k.edit_scrolls = edit && (GetWindowLongA(edit, GWL_STYLE) & WS_VSCROLL);
            if (HWND icon = page ? GetDlgItem(page, 1) : nullptr) {
                /* The icon's Knobset button, centred at the page's left. */
                char cls[32] = {};
                GetClassNameA(icon, cls, sizeof cls);
                RECT r, pr;
                GetWindowRect(icon, &r);
                MapWindowPoints(nullptr, page, reinterpret_cast<POINT *>(&r), 2);
                GetClientRect(page, &pr);
                k.icon = cls;
                /* Laid out for the template's size; the frame then fits the
                 * page to its page frame, a pixel or two larger. */
                if (r.left != GetSystemMetrics(SM_CXICON) || std::abs(r.top - (pr.bottom - GetSystemMetrics(SM_CYICON)) / 2) > 3)
                    k.icon += " misplaced";
            }
            if (s->act) s->act(frame);
            return 0;
        }
        if (msg == WM_APP + 1 && self_) {
            if (self_->then) self_->then(reinterpret_cast<HWND>(wp));
            return 0;
        }
        return DefWindowProcA(w, msg, wp, lp);
    }
};
BoxDriver *BoxDriver::self_;

void Press(HWND frame, int id) { SendWmCommand(frame, nullptr, id, BN_CLICKED); }

std::function<void(HWND)> PressId(int id)
{
    return [id](HWND frame) { Press(frame, id); };
}

void Key(HWND to, UINT msg, WPARAM vk)
{
    PostMessageA(to, msg, vk, 1);
}

std::vector<std::string> g_debug;
void CatchDebug(const char *text) { g_debug.emplace_back(text); }

}  // namespace

TEST_CASE("Each button set shows its captions and answers its codes", "[errbox]")
{
    BoxDriver box;
    struct Case {
        DWORD set;
        std::vector<std::string> captions;
        std::vector<int> codes;
        int default_id;
    };
    /* "Okay" and "Stop" come from the program's IERRORDATA resource. */
    const Case cases[] = {
        {0, {"Okay"}, {IDOK}, 1},
        {1, {"Okay", "Stop"}, {IDOK, IDCANCEL}, 1},
        {2, {"&Abort", "&Retry", "&Ignore"}, {IDABORT, IDRETRY, IDIGNORE}, 2},
        {3, {"&Yes", "&No", "Stop"}, {IDYES, IDNO, IDCANCEL}, 1},
        {4, {"&Yes", "&No"}, {IDYES, IDNO}, 1},
        {5, {"&Retry", "Stop"}, {IDRETRY, IDCANCEL}, 1},
    };
    for (const Case &k : cases) {
        for (size_t i = 0; i < k.codes.size(); ++i) {
            box.act = PressId(static_cast<int>(i) + 1);
            CHECK(iErrMessage(nullptr, k.set, "Set %u", k.set) == k.codes[i]);
            CHECK(box.seen.buttons == k.captions);
            CHECK(box.seen.focus_id == k.default_id);
            char want[16];
            wsprintfA(want, "Set %u", k.set);
            CHECK(box.seen.text == want);
            CHECK(box.seen.caption.empty());
        }
    }
    /* Default bits pick the third button; set 6 has no standard buttons
     * and takes custom ones. */
    box.act = PressId(3);
    CHECK(iErrMessage(nullptr, 0x203, "x") == IDCANCEL);
    CHECK(box.seen.focus_id == 3);
    box.act = PressId(2);
    CHECK(iErrMessage(nullptr, 6 | ERRM_CUSTOM(0) | ERRM_CUSTOM(1), "One", "Two", "x") == 0x200000);
    CHECK(box.seen.buttons == std::vector<std::string>{"One", "Two"});
}

TEST_CASE("Arguments: caption, custom captions, icons, string ids, CR LF", "[errbox]")
{
    BoxDriver box;
    SECTION("a custom caption at a filled position keeps that position's code") {
        box.act = PressId(2);
        CHECK(iErrMessage(nullptr, 0x12 | ERRM_CAPTION | ERRM_CUSTOM(1), "Careful", "&Again", "line one\nline two") == IDRETRY);
        CHECK(box.seen.caption == "Careful");
        CHECK(box.seen.buttons == std::vector<std::string>{"&Abort", "&Again", "&Ignore"});
        CHECK(box.seen.text == "line one\r\nline two");
        CHECK(box.seen.icon == "Knobset");
    }
    SECTION("a custom button after the set, ended at the first empty position") {
        box.act = PressId(3);
        CHECK(iErrMessage(nullptr, 1 | ERRM_CUSTOM(2) | ERRM_CUSTOM(4), "Third", "Fifth", "%s-%d", "a", 7) == 0x400000);
        CHECK(box.seen.buttons == std::vector<std::string>{"Okay", "Stop", "Third"});
        CHECK(box.seen.text == "a-7");
    }
    SECTION("icons by their bits; other values show none") {
        const std::pair<DWORD, std::string> icons[] = {
            {0x10, "Knobset"}, {0x20, "Knobset"}, {0x30, "Knobset"}, {0x40, "Knobset"}, {0x50, ""}};
        box.act = PressId(1);
        for (const auto &i : icons) {
            iErrMessage(nullptr, i.first, "icon");
            CHECK(box.seen.icon == i.second);
        }
    }
    SECTION("string ids from the instance argument, as narrow and wide strings") {
        HINSTANCE self = GetModuleHandleA(nullptr);
        box.act = PressId(1);
        const DWORD type = ERRM_INSTANCE | ERRM_CAPTION | ERRM_CUSTOM(0);
        CHECK(iErrMessage(nullptr, type, self, MAKEINTRESOURCEA(401), MAKEINTRESOURCEA(402), MAKEINTRESOURCEA(400), 12) ==
              IDOK);
        CHECK(box.seen.caption == "Titled");
        CHECK(box.seen.buttons == std::vector<std::string>{"&Later"});
        CHECK(box.seen.text == "From the table: 12");
        CHECK(iErrMessageW(nullptr, type, self, MAKEINTRESOURCEA(401), MAKEINTRESOURCEA(402), MAKEINTRESOURCEA(400), 13) ==
              IDOK);
        CHECK(box.seen.text == "From the table: 13");
    }
    SECTION("a text longer than the box gets a scrolling edit") {
        std::string many;
        for (int i = 0; i < 40; ++i) many += "line\n";
        box.act = PressId(1);
        iErrMessage(nullptr, 0, "%s", many.c_str());
        CHECK(box.seen.edit_scrolls);
        CHECK(box.seen.text.size() == many.size() + 40);
        iErrMessage(nullptr, 0, "short");
        CHECK_FALSE(box.seen.edit_scrolls);
    }
}

TEST_CASE("Without a cancel button Escape, Alt+F4 and the close box do nothing", "[errbox]")
{
    BoxDriver box;
    bool open_after = false;
    box.act = [&](HWND frame) {
        Key(GetFocus(), WM_KEYDOWN, VK_ESCAPE);
        Key(GetFocus(), WM_SYSKEYDOWN, VK_F4);
        PostMessageA(frame, WM_SYSCOMMAND, SC_CLOSE, 0);
        PostMessageA(frame, WM_CLOSE, 0, 0);
        box.Later(frame);
    };
    /* Still open once those were handled: then No. */
    box.then = [&](HWND frame) {
        open_after = IsWindow(frame) && IsWindowVisible(frame);
        Press(frame, 2);
    };
    CHECK(iErrMessage(nullptr, MB_YESNO, "Sure?") == IDNO);
    CHECK(open_after);
    box.then = nullptr;

    /* With Yes, No, Cancel: Escape and the close box both mean Cancel (the
     * third button), not the button with id 2. */
    box.act = [](HWND frame) { Key(GetFocus(), WM_KEYDOWN, VK_ESCAPE); (void)frame; };
    CHECK(iErrMessage(nullptr, MB_YESNOCANCEL, "Save?") == IDCANCEL);
    box.act = [](HWND frame) { PostMessageA(frame, WM_SYSCOMMAND, SC_CLOSE, 0); };
    CHECK(iErrMessage(nullptr, MB_YESNOCANCEL, "Save?") == IDCANCEL);
    /* Enter presses the default button. */
    box.act = [](HWND) { Key(GetFocus(), WM_KEYDOWN, VK_RETURN); };
    CHECK(iErrMessage(nullptr, MB_YESNOCANCEL | MB_DEFBUTTON2, "Save?") == IDNO);
}

TEST_CASE("A time-out presses OK even when there is a Cancel button", "[errbox]")
{
    BoxDriver box;
    box.act = nullptr;
    CHECK(iErrMessage(nullptr, MB_OKCANCEL | ERRM_TIMEOUT, 30u, "Going in a moment") == IDOK);
    CHECK(box.boxes == 1);
}

TEST_CASE("Debugger output, iErrMessageBox and the assertion report", "[errbox]")
{
    BoxDriver box;
    SECTION("bit 31 writes the text with CR LF and shows nothing") {
        g_debug.clear();
        ErrDebugWriter old = ErrSetDebugWriter(CatchDebug);
        CHECK(iErrMessage(nullptr, ERRM_DEBUGOUT | MB_OK, "a\nb %d\r\nc", 5) == -1);
        ErrSetDebugWriter(old);
        REQUIRE(g_debug.size() == 1);
        CHECK(g_debug[0] == "a\r\nb 5\r\nc");
        CHECK(box.boxes == 0);
    }
    SECTION("iErrMessageBox: %% shows as %, conversions without arguments as written; higher MessageBox bits ignored") {
        box.act = PressId(2);
        CHECK(iErrMessageBox(nullptr, "100%% done, 5% d %s %", "Progress", MB_OKCANCEL | MB_ICONINFORMATION | MB_TOPMOST |
                                                                      MB_RTLREADING | MB_SERVICE_NOTIFICATION) == IDCANCEL);
        CHECK(box.seen.text == "100% done, 5% d %s %");
        CHECK(box.seen.caption == "Progress");
        CHECK(box.seen.buttons == std::vector<std::string>{"Okay", "Stop"});
        CHECK(box.seen.icon == "Knobset");
    }
    SECTION("the assertion report: Breakpoint answers 1, Ignore 0") {
        box.act = PressId(2);
        CHECK(_iassert("x > 0", "calc.cpp", 42) == 1);
        CHECK(box.seen.caption == "Assertion Failed");
        CHECK(box.seen.buttons == std::vector<std::string>{"&Abort", "&Breakpoint", "&Ignore"});
        CHECK(box.seen.text == "In calc.cpp on line 42\r\n\r\nExpression:\r\nx > 0");
        CHECK(box.seen.focus_id == 2);
        CHECK(box.seen.icon == "Knobset");
        box.act = PressId(3);
        CHECK(_iassert("x > 0", "calc.cpp", 42) == 0);
    }
}

namespace {
int g_page_inits, g_page_user2;
INT_PTR CALLBACK CallerPageProc(HWND, UINT msg, WPARAM, LPARAM lp)
{
    if (msg == WM_INITDIALOG) {
        g_page_inits += static_cast<int>(lp);
        return TRUE;
    }
    if (msg == WM_USER + 2) {
        ++g_page_user2;
        return 1;
    }
    return FALSE;
}
}  // namespace

TEST_CASE("Error pages in another tabbed dialog, run twice", "[errbox]")
{
    BoxDriver box;
    HGLOBAL t = tabCreate(nullptr, GetModuleHandleA(nullptr), "Two pages", nullptr, 0, 0, 0, "OK", "Cancel", nullptr);
    REQUIRE(tabAddTemplate(t, "Plain", GetModuleHandleA(nullptr), "PAGE_PLAIN", nullptr, 0, 0));
    REQUIRE(tabAddErrTemplate(t, "Problem", CallerPageProc, 5, MB_ICONEXCLAMATION, "Something went wrong") == TRUE);
    g_page_inits = g_page_user2 = 0;
    std::string page_text;
    box.act = [&](HWND frame) {
        SendMessageA(frame, TABM_SHOWPAGE, 1, 0);
        HWND page = BoxDriver::Page(frame);
        page_text = Text(GetDlgItem(page, 2));
        CHECK(GetPropA(page, ERR_PROP) != nullptr);
        Press(frame, IDOK);
    };
    CHECK(tabDialogBox(t) == IDOK);
    CHECK(page_text == "Something went wrong");
    page_text.clear();
    CHECK(tabDialogBox(t) == IDOK);
    CHECK(page_text == "Something went wrong");
    CHECK(g_page_inits == 10);
    CHECK(g_page_user2 == 2);
    tabDestroy(t);
    CHECK(tabAddErrTemplate(nullptr, "x", nullptr, 0, 0, "x") == -1);
}

namespace {
int g_nested_result;
INT_PTR CALLBACK AsksAgainProc(HWND page, UINT msg, WPARAM wp, LPARAM)
{
    if (msg == WM_COMMAND && wp == MAKEWPARAM(102, BN_CLICKED)) {
        HWND frame = GetParent(page);
        /* The time-out only ends the box if its keys were not heard. */
        g_nested_result = iErrMessage(frame, MB_OKCANCEL | ERRM_TIMEOUT, 3000u, "Nested");
        Press(frame, IDCANCEL);
        return TRUE;
    }
    return msg == WM_INITDIALOG;
}
}  // namespace

TEST_CASE("A box opened by a key's command still answers its own keys", "[errbox]")
{
    BoxDriver box;
    box.act = [](HWND frame) {
        if (Text(frame) == "Outer") Key(GetFocus(), WM_SYSKEYDOWN, 'G');
        else Key(GetFocus(), WM_KEYDOWN, VK_ESCAPE);
    };
    HGLOBAL t = tabCreate(nullptr, GetModuleHandleA(nullptr), "Outer", nullptr, 0, 0, 0, "OK", "Cancel", nullptr);
    REQUIRE(tabAddTemplate(t, "Plain", GetModuleHandleA(nullptr), "PAGE_PLAIN", AsksAgainProc, 0, 0));
    g_nested_result = 0;
    CHECK(tabDialogBox(t) == IDCANCEL);
    CHECK(g_nested_result == IDCANCEL);
    CHECK(box.boxes == 2);
    tabDestroy(t);
}
