// Page editing with the mouse and keyboard inside a hosted control: the
// mouse messages are queued in the order a user's hand makes them, and the
// control's tracking loops read them as they would read real input.
#include <catch2/catch.hpp>

#include <windows.h>
#include <atlbase.h>
#include <atliface.h>
#include <ole2.h>
#include <richedit.h>

#include <string>
#include <vector>

#include "Lumicard_h.h"
#include "lumicard_ctrl.h"
#include "msgbox_capture.h"
#include "profile.h"
#include "title_file.h"

using namespace titlebox;

namespace {

VARIANT I2(short v) { VARIANT x; VariantInit(&x); V_VT(&x) = VT_I2; V_I2(&x) = v; return x; }

LONG Get(IDispatch *d, DISPID id, std::vector<VARIANT> args = {})
{
    std::vector<VARIANT> rev(args.rbegin(), args.rend());
    DISPPARAMS p = {rev.empty() ? nullptr : rev.data(), nullptr, UINT(rev.size()), 0};
    VARIANT r;
    VariantInit(&r);
    REQUIRE(d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &p, &r, nullptr, nullptr) == S_OK);
    if (V_VT(&r) == VT_EMPTY) return 0;
    REQUIRE(SUCCEEDED(VariantChangeType(&r, &r, 0, VT_I4)));
    return V_I4(&r);
}

void SetText(IDispatch *d, const char *s)
{
    WCHAR w[256];
    MultiByteToWideChar(CP_ACP, 0, s, -1, w, 256);
    VARIANT v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(w);
    DISPPARAMS p = {&v, nullptr, 1, 0};
    REQUIRE(d->Invoke(63, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr) == S_OK);
    VariantClear(&v);
}

struct Sink : IDispatch {
    int selChanges = 0;
    STDMETHODIMP QueryInterface(REFIID riid, void **out) override
    {
        *out = this;
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT *n) override { *n = 0; return S_OK; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS *, VARIANT *, EXCEPINFO *, UINT *) override
    {
        if (id == 29) ++selChanges;
        return S_OK;
    }
};

// A control hosted in the system's container window, its window and its events.
struct Hosted {
    HWND top = nullptr, ax = nullptr, wnd = nullptr;
    IDispatch *d = nullptr;
    IConnectionPoint *cp = nullptr;
    DWORD cookie = 0;
    Sink sink;

    Hosted()
    {
        OleInitialize(nullptr);

        AtlAxWinInit();
        top = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 320, nullptr, nullptr,
                              nullptr, nullptr);
        ax = CreateWindowExA(0, "AtlAxWin", "Lumicard.LumicardCtrl.1", WS_CHILD | WS_VISIBLE, 0, 0, 320, 240, top,
                             nullptr, nullptr, nullptr);
        IUnknown *unk = nullptr;
        REQUIRE(AtlAxGetControl(ax, &unk) == S_OK);
        REQUIRE(unk->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&d)) == S_OK);
        IOleWindow *ow = nullptr;
        REQUIRE(unk->QueryInterface(IID_IOleWindow, reinterpret_cast<void **>(&ow)) == S_OK);
        ow->GetWindow(&wnd);
        ow->Release();
        IConnectionPointContainer *cpc = nullptr;
        REQUIRE(unk->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void **>(&cpc)) == S_OK);
        REQUIRE(cpc->FindConnectionPoint(DIID__DLumicardEvents, &cp) == S_OK);
        REQUIRE(cp->Advise(&sink, &cookie) == S_OK);
        cpc->Release();
        unk->Release();
        REQUIRE(wnd);
    }
    ~Hosted()
    {
        cp->Unadvise(cookie);
        cp->Release();
        d->Release();
        DestroyWindow(top);

        OleUninitialize();
    }
    void Pump()
    {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }
    static LPARAM At(int x, int y) { return MAKELPARAM(x, y); }
    // Press at a, move through the points, release at the last.
    void Drag(POINT a, std::vector<POINT> path, UINT down = WM_LBUTTONDOWN)
    {
        PostMessageA(wnd, down, MK_LBUTTON, At(a.x, a.y));
        for (POINT p : path) PostMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, At(p.x, p.y));
        POINT end = path.empty() ? a : path.back();
        PostMessageA(wnd, WM_LBUTTONUP, 0, At(end.x, end.y));
        Pump();
    }
    void Click(int x, int y) { Drag({x, y}, {}); }
    void Key(UINT vk)
    {
        PostMessageA(wnd, WM_KEYDOWN, vk, 0);
        Pump();
    }
    void Command(UINT id) { SendMessageA(wnd, WM_COMMAND, id, 0); }
    RECT SelRect()
    {
        LONG x = Get(d, 77), y = Get(d, 78);
        return {x, y, x + Get(d, 65), y + Get(d, 66)};
    }
    // The page as saved: texts and rectangles in list order.
    TitleObjectList Saved()
    {
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        std::string path = std::string(dir) + "lumicard_edit.lmf";
        WCHAR w[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, w, MAX_PATH);
        VARIANT v;
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = SysAllocString(w);
        DISPPARAMS p = {&v, nullptr, 1, 0};
        REQUIRE(d->Invoke(89, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr) == S_OK);
        VariantClear(&v);
        TitleObjectList page;
        REQUIRE(OpenTitleFile(path.c_str(), TitleDefaults(), PageScale(), &page) == TITLE_LOADED);
        DeleteFileA(path.c_str());
        return page;
    }
};

bool Same(const RECT &a, const RECT &b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

TEST_CASE("rubber band, select, move, resize by handle, nudge and delete", "[mouse]")
{
    Hosted h;
    // A band of 9 x 40 makes nothing; one of 50 x 40 makes a text box, selected.
    h.Drag({10, 10}, {{15, 30}, {19, 50}});
    CHECK(Get(h.d, 58) == 0);
    CHECK(h.sink.selChanges == 0);
    h.Drag({60, 50}, {{30, 30}, {10, 10}});  // drawn up and to the left
    REQUIRE(Get(h.d, 58) != 0);
    CHECK(Same(h.SelRect(), {10, 10, 60, 50}));
    CHECK(h.sink.selChanges == 1);
    h.Drag({100, 100}, {{150, 140}});
    CHECK(Same(h.SelRect(), {100, 100, 150, 140}));
    SetText(h.d, "second");

    // A click on the first selects it; a drag from inside moves it.
    h.Click(20, 20);
    CHECK(Same(h.SelRect(), {10, 10, 60, 50}));
    h.Drag({30, 30}, {{35, 40}, {45, 50}});
    CHECK(Same(h.SelRect(), {25, 30, 75, 70}));
    SetText(h.d, "first");
    // The bottom-right handle lies just outside the corner.
    h.Drag({77, 72}, {{97, 82}});
    CHECK(Same(h.SelRect(), {25, 30, 95, 80}));
    // The left handle cannot make it narrower than 5.
    h.Drag({22, 55}, {{200, 55}});
    CHECK(Same(h.SelRect(), {90, 30, 95, 80}));
    // Escape leaves the rectangle where it was.
    PostMessageA(h.wnd, WM_LBUTTONDOWN, MK_LBUTTON, Hosted::At(92, 50));
    PostMessageA(h.wnd, WM_MOUSEMOVE, MK_LBUTTON, Hosted::At(150, 150));
    PostMessageA(h.wnd, WM_KEYDOWN, VK_ESCAPE, 0);
    h.Pump();
    CHECK(Same(h.SelRect(), {90, 30, 95, 80}));

    // A release that never arrives: the next move without the button ends the drag.
    PostMessageA(h.wnd, WM_LBUTTONDOWN, MK_LBUTTON, Hosted::At(92, 50));
    PostMessageA(h.wnd, WM_MOUSEMOVE, MK_LBUTTON, Hosted::At(102, 50));
    PostMessageA(h.wnd, WM_MOUSEMOVE, 0, Hosted::At(112, 50));
    h.Pump();
    CHECK(Same(h.SelRect(), {110, 30, 115, 80}));
    h.Drag({112, 50}, {{102, 50}, {92, 50}});
    CHECK(Same(h.SelRect(), {90, 30, 95, 80}));

    // Arrow keys nudge by one pixel.
    h.Key(VK_RIGHT);
    h.Key(VK_DOWN);
    h.Key(VK_DOWN);
    h.Key(VK_LEFT);
    h.Key(VK_LEFT);
    h.Key(VK_UP);
    CHECK(Same(h.SelRect(), {89, 31, 94, 81}));

    // A click on empty space clears the selection.
    h.Click(300, 220);
    CHECK(Get(h.d, 58) == 0);
    h.Key(VK_DELETE);  // nothing selected: nothing happens
    CHECK(h.Saved().size() == 2);

    // Right button: selects what is under it.
    PostMessageA(h.wnd, WM_RBUTTONDOWN, MK_RBUTTON, Hosted::At(120, 120));
    h.Pump();
    REQUIRE(Get(h.d, 58) != 0);
    CHECK(Same(h.SelRect(), {100, 100, 150, 140}));
    h.Key(VK_DELETE);
    CHECK(Get(h.d, 58) == 0);
    TitleObjectList page = h.Saved();
    REQUIRE(page.size() == 1);
    CHECK(page[0]->text == "first");
}

TEST_CASE("overlapping objects: the one nearer the head of the list is hit", "[mouse]")
{
    Hosted h;
    h.Drag({10, 10}, {{110, 110}});
    SetText(h.d, "head");
    h.Drag({200, 200}, {{220, 220}});
    SetText(h.d, "away");
    // The second object is moved over the first.
    h.Drag({210, 210}, {{60, 60}});
    CHECK(Same(h.SelRect(), {50, 50, 70, 70}));
    h.Click(300, 10);  // clear
    h.Click(60, 60);
    VARIANT r;
    VariantInit(&r);
    DISPPARAMS none = {};
    REQUIRE(h.d->Invoke(62, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &r, nullptr, nullptr) == S_OK);
    char text[32] = {};
    WideCharToMultiByte(CP_ACP, 0, V_BSTR(&r), -1, text, sizeof(text), nullptr, nullptr);
    CHECK(std::string(text) == "head");
    VariantClear(&r);
}

TEST_CASE("the internal clipboard pastes at growing offsets; reorder commands", "[clipboard]")
{
    Hosted h;
    h.Command(lumicard::ID_LM_PASTE);  // empty clipboard: nothing
    CHECK(h.Saved().empty());
    h.Drag({20, 20}, {{70, 60}});
    SetText(h.d, "A");
    h.Command(lumicard::ID_LM_COPY);
    for (int i = 1; i <= 3; ++i) {
        h.Command(lumicard::ID_LM_PASTE);
        INFO("paste " << i);
        CHECK(Same(h.SelRect(), {20 + 10 * i, 20 + 10 * i, 70 + 10 * i, 60 + 10 * i}));
    }
    TitleObjectList page = h.Saved();
    REQUIRE(page.size() == 4);
    for (auto &o : page) CHECK(o->text == "A");

    // Cut removes; a paste after it starts at the first offset again.
    SetText(h.d, "D");  // the last paste
    h.Command(lumicard::ID_LM_CUT);
    CHECK(Get(h.d, 58) == 0);
    CHECK(h.Saved().size() == 3);
    h.Command(lumicard::ID_LM_PASTE);
    CHECK(Same(h.SelRect(), {60, 60, 110, 100}));

    // Name the four A, B, C, D in list order.
    auto order = [&]() {
        std::string s;
        for (auto &o : h.Saved()) s += o->text;
        return s;
    };
    h.Click(22, 22);
    SetText(h.d, "A");
    CHECK(order() == "AAAD");
    // Select each by the part only it covers (its bottom-right corner).
    h.Click(300, 220);
    h.Click(78, 68);
    SetText(h.d, "B");
    h.Click(300, 220);
    h.Click(88, 78);
    SetText(h.d, "C");
    CHECK(order() == "ABCD");

    h.Click(300, 220);
    h.Click(22, 22);  // A
    h.Command(lumicard::ID_LM_SEND_BACKWARD);  // already first
    CHECK(order() == "ABCD");
    h.Command(lumicard::ID_LM_BRING_FORWARD);
    CHECK(order() == "BACD");
    h.Command(lumicard::ID_LM_BRING_TO_FRONT);
    CHECK(order() == "BCDA");
    h.Command(lumicard::ID_LM_BRING_FORWARD);  // already last
    CHECK(order() == "BCDA");
    h.Command(lumicard::ID_LM_SEND_TO_BACK);
    CHECK(order() == "ABCD");
    h.Command(lumicard::ID_LM_DELETE);
    CHECK(order() == "BCD");
    h.Command(lumicard::ID_LM_BRING_TO_FRONT);  // nothing selected
    CHECK(order() == "BCD");
}

namespace {
// Reads the popup that shows (from a timer inside the menu's own loop), then closes it.
struct MenuReader {
    static std::vector<std::string> texts;
    static std::vector<bool> ownerDrawn, greyed;
    static int seen;
    static BOOL CALLBACK Find(HWND w, LPARAM lp)
    {
        char cls[16] = {};
        GetClassNameA(w, cls, sizeof(cls));
        if (!strcmp(cls, "#32768") && IsWindowVisible(w)) {
            *reinterpret_cast<HWND *>(lp) = w;
            return FALSE;
        }
        return TRUE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD)
    {
        HWND w = nullptr;
        EnumWindows(Find, reinterpret_cast<LPARAM>(&w));
        if (!w) return;
        KillTimer(nullptr, id);
        HMENU m = reinterpret_cast<HMENU>(SendMessageA(w, 0x01E1 /* MN_GETHMENU */, 0, 0));
        for (int i = 0; m && i < GetMenuItemCount(m); ++i) {
            MENUITEMINFOA mii = {sizeof(mii)};
            mii.fMask = MIIM_FTYPE | MIIM_DATA | MIIM_STATE;
            GetMenuItemInfoA(m, UINT(i), TRUE, &mii);
            const auto *data = reinterpret_cast<const lumicard::MenuItemData *>(mii.dwItemData);
            texts.push_back(data ? (data->separator ? std::string("-") : data->text) : std::string("?"));
            ownerDrawn.push_back((mii.fType & MFT_OWNERDRAW) != 0);
            greyed.push_back((mii.fState & MFS_GRAYED) != 0);
        }
        ++seen;
        EndMenu();
    }
    MenuReader()
    {
        texts.clear();
        ownerDrawn.clear();
        greyed.clear();
        seen = 0;
        SetTimer(nullptr, 0, 50, Tick);
    }
};
std::vector<std::string> MenuReader::texts;
std::vector<bool> MenuReader::ownerDrawn, MenuReader::greyed;
int MenuReader::seen = 0;
}  // namespace

TEST_CASE("the context menu: the page popup without a selection, the object popup with one", "[menu]")
{
    Hosted h;
    POINT at = {40, 40};
    ClientToScreen(h.wnd, &at);
    {
        MenuReader menu;
        SendMessageA(h.wnd, WM_CONTEXTMENU, WPARAM(h.wnd), MAKELPARAM(at.x, at.y));
        REQUIRE(MenuReader::seen == 1);
        CHECK(MenuReader::texts == std::vector<std::string>{" &Paste", "-", " &New", " &Open", " &Save", "-",
                                                             " &Import", " &Export", "-", " &Background Color"});
        for (bool o : MenuReader::ownerDrawn) CHECK(o);
        CHECK(MenuReader::greyed[0]);  // nothing to paste yet
    }
    h.Drag({20, 20}, {{80, 70}});
    h.Command(lumicard::ID_LM_COPY);
    {
        MenuReader menu;
        SendMessageA(h.wnd, WM_CONTEXTMENU, WPARAM(h.wnd), MAKELPARAM(at.x, at.y));
        REQUIRE(MenuReader::seen == 1);
        CHECK(MenuReader::texts == std::vector<std::string>{" Cu&t", " &Copy", " &Paste", " &Delete", "-",
                                                             " Bring to Fron&t", " Send to Bac&k", " Bring &Forward",
                                                             " Send &Backward", "-", " Set as De&fault"});
        CHECK_FALSE(MenuReader::greyed[2]);
    }
}

namespace {
HWND Editor(const Hosted &h) { return GetDlgItem(h.wnd, lumicard::kEditorId); }

bool EditorOpen(const Hosted &h)
{
    HWND e = Editor(h);
    return e && IsWindowVisible(e);
}

std::string EditorText(const Hosted &h)
{
    char buf[256] = {};
    GetWindowTextA(Editor(h), buf, sizeof(buf));
    return buf;
}

// The editor's rectangle in the control's client coordinates.
RECT EditorRect(const Hosted &h)
{
    RECT r;
    GetWindowRect(Editor(h), &r);
    MapWindowPoints(nullptr, h.wnd, reinterpret_cast<POINT *>(&r), 2);
    return r;
}

void Type(Hosted &h, const char *s)
{
    // Return is a key of its own; the rest are characters.
    for (; *s; ++s)
        if (*s == '\r') PostMessageA(Editor(h), WM_KEYDOWN, VK_RETURN, 1);
        else PostMessageA(Editor(h), WM_CHAR, WPARAM(static_cast<unsigned char>(*s)), 1);
    h.Pump();
}

void DoubleClick(Hosted &h, int x, int y)
{
    PostMessageA(h.wnd, WM_LBUTTONDOWN, MK_LBUTTON, Hosted::At(x, y));
    PostMessageA(h.wnd, WM_LBUTTONUP, 0, Hosted::At(x, y));
    PostMessageA(h.wnd, WM_LBUTTONDBLCLK, MK_LBUTTON, Hosted::At(x, y));
    PostMessageA(h.wnd, WM_LBUTTONUP, 0, Hosted::At(x, y));
    h.Pump();
}

std::string SelectedText(Hosted &h)
{
    VARIANT r;
    VariantInit(&r);
    DISPPARAMS none = {};
    REQUIRE(h.d->Invoke(62, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &r, nullptr, nullptr) == S_OK);
    char text[256] = {};
    if (V_VT(&r) == VT_BSTR && V_BSTR(&r))
        WideCharToMultiByte(CP_ACP, 0, V_BSTR(&r), -1, text, sizeof(text), nullptr, nullptr);
    VariantClear(&r);
    return text;
}

// The whole text's character and paragraph format as the editor holds it.
CHARFORMAT2A EditorChars(const Hosted &h)
{
    CHARFORMAT2A cf = {};
    cf.cbSize = sizeof(cf);
    SendMessageA(Editor(h), EM_SETSEL, 0, -1);
    SendMessageA(Editor(h), EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
    return cf;
}
PARAFORMAT2 EditorPara(const Hosted &h)
{
    PARAFORMAT2 pf = {};
    pf.cbSize = sizeof(pf);
    SendMessageA(Editor(h), EM_SETSEL, 0, -1);
    SendMessageA(Editor(h), EM_GETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&pf));
    return pf;
}
}  // namespace

TEST_CASE("the in-place editor: a new box is typed into, its text taken back by the next click", "[editor]")
{
    Hosted h;
    REQUIRE(Editor(h));
    CHECK_FALSE(EditorOpen(h));
    h.Drag({20, 20}, {{120, 80}});
    REQUIRE(EditorOpen(h));
    CHECK(Same(EditorRect(h), {20, 20, 120, 80}));
    CHECK(EditorText(h).empty());
    // The empty box follows its bottom-right handle, the editor 5 pixels inside it.
    h.Drag({122, 82}, {{142, 102}});
    CHECK(Same(h.SelRect(), {20, 20, 140, 100}));
    REQUIRE(EditorOpen(h));
    CHECK(Same(EditorRect(h), {25, 25, 135, 95}));

    Type(h, "Hello");
    CHECK(EditorText(h) == "Hello");
    // Reading the selection takes the text and leaves the editor open.
    CHECK(SelectedText(h) == "Hello");
    CHECK(EditorOpen(h));
    h.Click(300, 220);
    CHECK_FALSE(EditorOpen(h));
    CHECK(Get(h.d, 58) == 0);
    TitleObjectList page = h.Saved();
    REQUIRE(page.size() == 1);
    CHECK(page[0]->text == "Hello");

    // Right button: a box closed with text keeps it, one closed empty goes away.
    h.Drag({150, 120}, {{250, 180}});
    REQUIRE(EditorOpen(h));
    Type(h, "World");
    PostMessageA(h.wnd, WM_RBUTTONDOWN, MK_RBUTTON, Hosted::At(300, 10));
    h.Pump();
    CHECK_FALSE(EditorOpen(h));
    h.Drag({150, 190}, {{250, 230}});
    REQUIRE(EditorOpen(h));
    PostMessageA(h.wnd, WM_RBUTTONDOWN, MK_RBUTTON, Hosted::At(300, 10));
    h.Pump();
    CHECK_FALSE(EditorOpen(h));
    page = h.Saved();
    REQUIRE(page.size() == 2);
    CHECK(page[0]->text == "Hello");
    CHECK(page[1]->text == "World");
}

TEST_CASE("the in-place editor: a double-click opens it on a text, Escape is swallowed", "[editor]")
{
    Hosted h;
    h.Drag({20, 20}, {{200, 80}});
    SetText(h.d, "abcdef");
    CHECK_FALSE(EditorOpen(h));
    // Only on the selected text object.
    DoubleClick(h, 250, 150);
    CHECK_FALSE(EditorOpen(h));
    h.Click(30, 30);
    DoubleClick(h, 22, 30);
    REQUIRE(EditorOpen(h));
    CHECK(EditorText(h) == "abcdef");
    CHECK(Same(EditorRect(h), {20, 20, 200, 80}));
    DWORD from = 0, to = 0;
    SendMessageA(Editor(h), EM_GETSEL, WPARAM(&from), LPARAM(&to));
    CHECK(from == 0);  // the caret where the click was: before the first letter
    h.Click(300, 220);
    h.Click(30, 30);
    DoubleClick(h, 190, 30);
    REQUIRE(EditorOpen(h));
    SendMessageA(Editor(h), EM_GETSEL, WPARAM(&from), LPARAM(&to));
    CHECK(from == 6);  // right of the text: after the last letter

    PostMessageA(Editor(h), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(Editor(h), WM_CHAR, 27, 0x00010001);
    PostMessageA(Editor(h), WM_KEYUP, VK_ESCAPE, 0xC0010001);
    h.Pump();
    CHECK(EditorOpen(h));
    CHECK(EditorText(h) == "abcdef");

    Type(h, "!");
    // The context menu takes the text back before it shows.
    POINT at = {300, 200};
    ClientToScreen(h.wnd, &at);
    {
        MenuReader menu;
        SendMessageA(h.wnd, WM_CONTEXTMENU, WPARAM(h.wnd), MAKELPARAM(at.x, at.y));
        CHECK(MenuReader::seen == 1);
    }
    CHECK_FALSE(EditorOpen(h));
    CHECK(SelectedText(h) == "abcdef!");
}

TEST_CASE("the in-place editor follows the style methods of its object", "[editor]")
{
    Hosted h;
    h.Drag({20, 20}, {{200, 100}});
    Type(h, "Styled");
    REQUIRE(EditorOpen(h));

    struct Spacing { short percent; LONG twentieths; };
    for (Spacing s : {Spacing{150, 30}, Spacing{0, 0}, Spacing{100, 20}, Spacing{250, 50}}) {
        INFO("line spacing " << s.percent);
        Get(h.d, 15, {I2(s.percent)});
        PARAFORMAT2 pf = EditorPara(h);
        CHECK(pf.bLineSpacingRule == 5);
        CHECK(pf.dyLineSpacing == s.twentieths);
    }
    Get(h.d, 11, {I2(1)});
    Get(h.d, 14, {I2(1)});
    CHECK((EditorChars(h).dwEffects & (CFE_BOLD | CFE_ITALIC)) == (CFE_BOLD | CFE_ITALIC));
    Get(h.d, 11, {I2(0)});
    CHECK((EditorChars(h).dwEffects & CFE_BOLD) == 0);
    Get(h.d, 21, {I2(1)});
    CHECK((EditorChars(h).dwEffects & CFE_UNDERLINE) != 0);
    VARIANT colour;
    VariantInit(&colour);
    V_VT(&colour) = VT_I4;
    V_I4(&colour) = 0x0000C0;
    Get(h.d, 30, {colour});
    CHARFORMAT2A cf = EditorChars(h);
    CHECK(cf.crTextColor == 0x0000C0);
    CHECK((cf.dwEffects & CFE_AUTOCOLOR) == 0);
    Get(h.d, 8, {I2(1)});
    CHECK(EditorPara(h).wAlignment == PFA_CENTER);
    Get(h.d, 8, {I2(2)});
    CHECK(EditorPara(h).wAlignment == PFA_RIGHT);
    Get(h.d, 8, {I2(7)});
    CHECK(EditorPara(h).wAlignment == PFA_LEFT);
    // Still open, still the typed text.
    CHECK(EditorOpen(h));
    CHECK(EditorText(h) == "Styled");
    h.Click(300, 220);
    TitleObjectList page = h.Saved();
    REQUIRE(page.size() == 1);
    CHECK(page[0]->text == "Styled");
    CHECK(page[0]->lineSpacing == 250);
    CHECK(page[0]->font.lfItalic);
}

TEST_CASE("text the editor shows but nobody types keeps its own bytes", "[editor]")
{
    Hosted h;
    // A new text from a method opens the editor on it.
    SetText(h.d, "line one\nline two");
    REQUIRE(EditorOpen(h));
    TitleObjectList page = h.Saved();
    REQUIRE(page.size() == 1);
    CHECK(page[0]->text == "line one\nline two");
    // A Delete while it is open removes the object and closes the editor.
    SetFocus(h.wnd);
    h.Key(VK_DELETE);
    CHECK_FALSE(EditorOpen(h));
    CHECK(h.Saved().empty());
}

TEST_CASE("the menu drawer: pictures from bitmap 202 in the toolbar's order, drawn beside their items", "[menu]")
{
    Hosted h;  // loads the module
    HMODULE module = GetModuleHandleA("Lumicard.ocx");
    REQUIRE(module);
    HINSTANCE saved = cl::OleModule::instance;
    cl::OleModule::instance = module;
    {
        lumicard::MenuDrawer drawer;
        CHECK(drawer.PictureCount() == 17);
        struct Pic { UINT command; int picture; };
        for (Pic p : {Pic{lumicard::ID_LM_NEW, 0}, Pic{lumicard::ID_LM_CUT, 3}, Pic{lumicard::ID_LM_DELETE, 6},
                      Pic{lumicard::ID_LM_BACKGROUND, 11}, Pic{lumicard::ID_LM_SEND_BACKWARD, 16},
                      Pic{lumicard::ID_LM_PREFERENCE, -1}, Pic{0, -1}}) {
            INFO("command " << p.command);
            CHECK(drawer.PictureOf(p.command) == p.picture);
        }

        // An item drawn into a bitmap: the picture in the left column, the
        // label after it; a selected one on the highlight colour.
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP bmp = CreateCompatibleBitmap(screen, 160, 22);
        ReleaseDC(nullptr, screen);
        HGDIOBJ old = SelectObject(dc, bmp);
        lumicard::MenuItemData del;
        del.text = " &Delete\tDel.";
        del.command = lumicard::ID_LM_DELETE;
        DRAWITEMSTRUCT di = {};
        di.CtlType = ODT_MENU;
        di.hDC = dc;
        di.rcItem = {0, 0, 160, 22};
        di.itemData = reinterpret_cast<ULONG_PTR>(&del);
        auto count = [&](COLORREF c, int x0, int x1) {
            int n = 0;
            for (int y = 0; y < 22; ++y)
                for (int x = x0; x < x1; ++x) n += GetPixel(dc, x, y) == c ? 1 : 0;
            return n;
        };
        drawer.Draw(&di);
        CHECK(count(RGB(0xC0, 0, 0), 0, 20) > 20);   // the red cross of Delete
        CHECK(count(RGB(0xC0, 0, 0), 20, 160) == 0);
        CHECK(count(GetSysColor(COLOR_MENUTEXT), 24, 160) > 10);  // the label
        di.itemState = ODS_SELECTED;
        drawer.Draw(&di);
        CHECK(count(RGB(0xC0, 0, 0), 0, 20) > 20);
        CHECK(count(GetSysColor(COLOR_HIGHLIGHT), 20, 160) > 1000);
        // No picture: Preference.
        lumicard::MenuItemData pref;
        pref.text = " Pre&ference";
        pref.command = lumicard::ID_LM_PREFERENCE;
        di.itemData = reinterpret_cast<ULONG_PTR>(&pref);
        di.itemState = 0;
        drawer.Draw(&di);
        CHECK(count(GetSysColor(COLOR_MENU), 0, 20) == 20 * 22);
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
    }
    cl::OleModule::instance = saved;
}

TEST_CASE("lines typed into the editor come back as lines of the text", "[editor]")
{
    Hosted h;
    h.Drag({20, 20}, {{200, 120}});
    REQUIRE(EditorOpen(h));
    Type(h, "ab\rcd");
    h.Click(300, 220);
    TitleObjectList page = h.Saved();
    REQUIRE(page.size() == 1);
    CHECK(page[0]->text == "ab\r\ncd");
}

namespace {
int dialogCancels = 0;
INT_PTR CALLBACK HostDialogProc(HWND, UINT msg, WPARAM wp, LPARAM)
{
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && LOWORD(wp) == IDCANCEL) {
        ++dialogCancels;
        return TRUE;
    }
    return FALSE;
}
}  // namespace

TEST_CASE("Escape in the editor does not cancel the dialog the control sits in", "[editor]")
{
    OleInitialize(nullptr);
    AtlAxWinInit();
    // An empty dialog template; the control is placed in it afterwards.
    struct {
        DLGTEMPLATE t;
        WORD menu, cls, title;
    } tmpl = {};
    tmpl.t.style = WS_POPUP | WS_VISIBLE | DS_MODALFRAME;
    tmpl.t.cx = 240;
    tmpl.t.cy = 180;
    HWND dlg = CreateDialogIndirectParamA(nullptr, &tmpl.t, nullptr, HostDialogProc, 0);
    REQUIRE(dlg);
    HWND ax = CreateWindowExA(0, "AtlAxWin", "Lumicard.LumicardCtrl.1", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0,
                              320, 240, dlg, nullptr, nullptr, nullptr);
    IUnknown *unk = nullptr;
    REQUIRE(AtlAxGetControl(ax, &unk) == S_OK);
    IOleWindow *ow = nullptr;
    REQUIRE(unk->QueryInterface(IID_IOleWindow, reinterpret_cast<void **>(&ow)) == S_OK);
    HWND wnd = nullptr;
    ow->GetWindow(&wnd);
    ow->Release();
    unk->Release();
    // The dialog's own loop: every message offered to IsDialogMessage first.
    auto pump = [&]() {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (IsDialogMessageA(dlg, &m)) continue;
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    };
    PostMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
    PostMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(120, 80));
    PostMessageA(wnd, WM_LBUTTONUP, 0, MAKELPARAM(120, 80));
    pump();
    HWND editor = GetDlgItem(wnd, lumicard::kEditorId);
    REQUIRE(editor);
    REQUIRE(IsWindowVisible(editor));
    PostMessageA(editor, WM_CHAR, 'x', 1);
    pump();
    dialogCancels = 0;
    PostMessageA(editor, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    pump();
    CHECK(dialogCancels == 0);
    CHECK(IsWindowVisible(editor));
    char text[16] = {};
    GetWindowTextA(editor, text, sizeof(text));
    CHECK(std::string(text) == "x");
    DestroyWindow(dlg);
    OleUninitialize();
}
