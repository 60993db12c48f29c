// Engine utilities: chunked serialization through the buffered-file
// library (byte-exact against hand-made streams, nesting, a block too
// small, a close without an open), value controls as the messages they
// send, choice lists on a real combo box, the dialog wrapper, the missing
// colour picker, and the links to text-effect objects and the realtime
// renderer with small objects of our own.
#include <catch2/catch.hpp>

#include <cstring>
#include <string>
#include <vector>

#include "fxutil.h"

namespace {

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words)
{
    std::vector<uint8_t> out;
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(w >> (8 * i)));
    return out;
}

std::vector<uint8_t> Bytes(int first, int count)
{
    std::vector<uint8_t> out;
    for (int i = 0; i < count; ++i)
        out.push_back(uint8_t(first + i));
    return out;
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Stream {
    uint8_t block[256];
    FxBufferedFile *file;
    Stream(int size = 200)
    {
        memset(block, 0xCD, sizeof block);
        REQUIRE(FxBindStolid() == 1);
        file = OpenMemoryBf(block, size);
        REQUIRE(file);
    }
    void Data(int first, int count)
    {
        std::vector<uint8_t> b = Bytes(first, count);
        REQUIRE(WriteBfBytes(file, b.data(), count) == count);
    }
    std::vector<uint8_t> Close(int *size = nullptr)
    {
        int n = CloseBf(file);
        file = nullptr;
        if (size)
            *size = n;
        return std::vector<uint8_t>(block, block + n);
    }
    ~Stream()
    {
        if (file)
            CloseBf(file);
    }
};

}  // namespace

TEST_CASE("Chunks are written byte for byte", "[chunks]")
{
    SECTION("an ordinary chunk and a tag-1 chunk, then the stream's end")
    {
        Stream s;
        REQUIRE(BeginBfChunk(s.file, 7) == 1);
        s.Data(0, 20);
        REQUIRE(EndBfChunk(s.file, 5) == 1);
        REQUIRE(BeginBfChunk(s.file, 1) == 1);
        s.Data(100, 20);
        REQUIRE(EndBfChunk(s.file, 0) == 1);
        int size = 0;
        std::vector<uint8_t> got = s.Close(&size);
        CHECK(size == 8 + 20 + 8 + 20 + 8 + 8);
        std::vector<uint8_t> want = Words({28, 5}) + Bytes(0, 20) + Words({36, ~36u}) + Bytes(100, 20) +
                                    Words({8, 0}) + Words({0, 0});
        CHECK(got == want);
    }

    SECTION("chunks nest; a tag-1 trailer marks a non-zero closing value with 1")
    {
        Stream s;
        BeginBfChunk(s.file, 2);
        BeginBfChunk(s.file, 1);
        s.Data(9, 4);
        REQUIRE(EndBfChunk(s.file, 77) == 1);
        REQUIRE(EndBfChunk(s.file, 9) == 1);
        std::vector<uint8_t> want = Words({28, 9}) + Words({20, ~20u}) + Bytes(9, 4) + Words({8, 1}) + Words({0, 0});
        CHECK(s.Close() == want);
    }

    SECTION("an empty chunk")
    {
        Stream s;
        BeginBfChunk(s.file, 3);
        EndBfChunk(s.file, 0xABCD);
        CHECK(s.Close() == Words({8, 0xABCD}) + Words({0, 0}));
    }
}

TEST_CASE("Chunk calls refuse what they cannot do", "[chunks]")
{
    SECTION("a close with no chunk open fails and writes nothing")
    {
        Stream s;
        s.Data(1, 4);
        CHECK(EndBfChunk(s.file, 1) == 0);
        CHECK(s.Close() == Bytes(1, 4) + Words({0, 0}));
    }

    SECTION("a block too small is never written past")
    {
        Stream s(24);
        BeginBfChunk(s.file, 1);
        s.file && WriteBfBytes(s.file, "0123456789abcdefghijklmnop", 26);
        EndBfChunk(s.file, 1);
        int size = 0;
        s.Close(&size);
        CHECK(size <= 24);
        for (int i = 24; i < 256; ++i)
            REQUIRE(s.block[i] == 0xCD);
    }

    SECTION("a header that does not fit opens no chunk")
    {
        Stream s(6);
        CHECK(BeginBfChunk(s.file, 3) == 0);
        CHECK(EndBfChunk(s.file, 1) == 0);
        int size = 0;
        s.Close(&size);
        CHECK(size <= 6);
        for (int i = 6; i < 256; ++i)
            REQUIRE(s.block[i] == 0xCD);
    }

    SECTION("missing arguments")
    {
        CHECK(CloseBf(nullptr) == 0);
        CHECK(BeginBfChunk(nullptr, 1) == 0);
        CHECK(EndBfChunk(nullptr, 1) == 0);
        Stream s;
        CHECK(WriteBfBytes(s.file, nullptr, 4) == 0);
        CHECK(WriteBfBytes(s.file, "x", 0) == 0);
        CHECK(WriteBfBytes(nullptr, "x", 1) == 0);
    }
}

// ---------------------------------------------------------------- controls

namespace {

struct Sent {
    UINT message;
    WPARAM wp;
    LPARAM lp;
    std::vector<int32_t> range;
    std::string text;
};
std::vector<Sent> g_sent;

LRESULT CALLBACK RecorderProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m >= WM_USER || m == WM_SETTEXT) {
        Sent s = {m, wp, lp, {}, {}};
        if (m == WM_USER + 292 && wp == 31)
            s.range.assign(reinterpret_cast<const int32_t *>(lp), reinterpret_cast<const int32_t *>(lp) + 8);
        if (m == WM_SETTEXT)
            s.text = reinterpret_cast<const char *>(lp);
        g_sent.push_back(s);
    }
    return DefWindowProcA(w, m, wp, lp);
}

HWND Recorder()
{
    static ATOM atom = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = RecorderProc;
        wc.lpszClassName = "FxUtilRecorder";
        wc.hInstance = GetModuleHandleA(nullptr);
        return RegisterClassA(&wc);
    }();
    REQUIRE(atom);
    HWND w = CreateWindowA("FxUtilRecorder", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, GetModuleHandleA(nullptr),
                           nullptr);
    REQUIRE(w);
    g_sent.clear();
    return w;
}

}  // namespace

TEST_CASE("A value control gets range, value, label and mode", "[controls]")
{
    HWND w = Recorder();
    FxParamDescriptor d = {0, 12.0, "Depth", {-50, 50, 100, 1, 2, 3, 4, 5}};

    SECTION("the descriptor's range")
    {
        REQUIRE(SetValueControl(w, 12, &d, 1) == 1);
        REQUIRE(g_sent.size() == 4);
        CHECK(g_sent[0].message == WM_USER + 292);
        CHECK(g_sent[0].range == std::vector<int32_t>{-50, 50, 100, 1, 2, 3, 4, 5});
        CHECK((g_sent[1].message == WM_USER + 291 && g_sent[1].lp == 12));
        CHECK((g_sent[2].message == WM_SETTEXT && g_sent[2].text == "Depth"));
        CHECK((g_sent[3].message == WM_USER + 258 && g_sent[3].wp == 6 && g_sent[3].lp == 4096));
    }

    SECTION("a given pair in place of the range's ends; the percentage mode")
    {
        d.flags = FXPARAM_PERCENT;
        REQUIRE(SetValueControl(w, -3, &d, 0, 0, 10) == 1);
        REQUIRE(g_sent.size() == 5);
        CHECK(g_sent[0].range == std::vector<int32_t>{0, 10, 100, 1, 2, 3, 4, 5});
        CHECK(g_sent[1].lp == -3);
        CHECK((g_sent[4].message == WM_USER + 258 && g_sent[4].wp == 5 && g_sent[4].lp == 4096));
    }

    SECTION("nothing to set up")
    {
        CHECK(SetValueControl(nullptr, 1, &d, 1) == 0);
        CHECK(SetValueControl(w, 1, nullptr, 1) == 0);
        CHECK(g_sent.empty());
    }
    DestroyWindow(w);
}

TEST_CASE("Choice lists fill a combo box and map values and indices", "[controls]")
{
    static const FxChoicePair pairs[] = {{10, "ten"}, {20, "twenty"}, {-5, "minus five"}};
    static const char *const strings[] = {"a", "b", "c", "d"};
    const FxChoiceList pairList = {FXCHOICE_PAIRS, 3, pairs, 0, nullptr};
    const FxChoiceList stringList = {FXCHOICE_STRINGS, 4, strings, 0, nullptr};

    HWND combo = CreateWindowA("COMBOBOX", "", WS_POPUP | CBS_DROPDOWNLIST, 0, 0, 100, 100, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    REQUIRE(combo);
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("left over"));

    struct Case { const FxChoiceList *list; double current; int selected; };
    const Case cases[] = {
        {&pairList, 20, 1}, {&pairList, -5, 2}, {&pairList, 7, 0},   // a value not listed: the first
        {&stringList, 3, 3}, {&stringList, 0, 0},
    };
    for (const Case &c : cases) {
        INFO("kind " << c.list->kind << " value " << c.current);
        REQUIRE(FillChoiceList(combo, c.current, c.list) == 1);
        CHECK(SendMessageA(combo, CB_GETCOUNT, 0, 0) == c.list->count);
        CHECK(SendMessageA(combo, CB_GETCURSEL, 0, 0) == c.selected);
    }
    char text[32] = {};
    FillChoiceList(combo, 10, &pairList);
    SendMessageA(combo, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(text));
    CHECK(std::string(text) == "minus five");
    DestroyWindow(combo);

    CHECK(GetChoiceIndex(&pairList, -5) == 2);
    CHECK(GetChoiceIndex(&pairList, 11) == 3);   // none: the count
    CHECK(GetChoiceIndex(&stringList, 2.9) == 2);
    CHECK(GetChoiceValue(&pairList, 1) == 20.0);
    CHECK(GetChoiceValue(&stringList, 3) == 3.0);
    for (int outside : {-1, 3})
        CHECK(GetChoiceValue(&pairList, outside) == 0.0);
    CHECK(GetChoiceValue(&stringList, 4) == 0.0);
    CHECK(GetChoiceValue(nullptr, 0) == 0.0);
}

namespace {

INT_PTR CALLBACK EndAtOnce(HWND w, UINT m, WPARAM, LPARAM lp)
{
    if (m == WM_INITDIALOG) {
        if (lp == 1)
            EndDialog(w, 42);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

TEST_CASE("The dialog wrapper is modeless with option 16, else modal", "[controls]")
{
    // The wrapper takes a dialog resource: the common dialogs' file dialog
    // template serves, run with a procedure of ours.
    HMODULE comdlg = LoadLibraryA("comdlg32.dll");
    REQUIRE(comdlg);
    LPCSTR templ = "OPEN_FILE";
    if (!FindResourceA(comdlg, templ, (LPCSTR)RT_DIALOG))
        templ = MAKEINTRESOURCEA(1536);
    if (!FindResourceA(comdlg, templ, (LPCSTR)RT_DIALOG)) {
        WARN("no dialog template to run");
        return;
    }
    INT_PTR modeless = CreateDialogEx(comdlg, templ, nullptr, EndAtOnce, 0, FXDLG_MODELESS);
    HWND w = reinterpret_cast<HWND>(modeless);
    REQUIRE(IsWindow(w));
    DestroyWindow(w);
    CHECK(CreateDialogEx(comdlg, templ, nullptr, EndAtOnce, 1, 0) == 42);
}

TEST_CASE("The missing colour picker says so and picks nothing", "[controls]")
{
    struct Reader {
        static LRESULT CALLBACK Proc(int code, WPARAM wp, LPARAM lp)
        {
            auto *m = reinterpret_cast<CWPRETSTRUCT *>(lp);
            if (code == HC_ACTION && m->message == WM_INITDIALOG) {
                char buf[256] = {};
                GetDlgItemTextA(m->hwnd, 0xFFFF, buf, sizeof buf);
                Seen() = buf;
                GetWindowTextA(m->hwnd, buf, sizeof buf);
                Seen() += std::string("|") + buf;
                PostMessageA(m->hwnd, WM_COMMAND, IDOK, 0);
            }
            return CallNextHookEx(nullptr, code, wp, lp);
        }
        static std::string &Seen()
        {
            static std::string s;
            return s;
        }
    };
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, Reader::Proc, nullptr, GetCurrentThreadId());
    COLORREF c = RGB(9, 8, 7);
    CHECK(ColourPickerMissing(nullptr, &c, "t", 0, 0) == 0);
    UnhookWindowsHookEx(hook);
    CHECK(c == RGB(9, 8, 7));
    CHECK(Reader::Seen() == "FX did not call HuepinInit()|Quillon FX");
}

// ---------------------------------------------------------------- links

TEST_CASE("Text-effect sessions", "[links]")
{
    CHECK(TextEffectGuid(nullptr, 3) == nullptr);
    CHECK(TextEffectGetObject(nullptr, nullptr) == nullptr);
    FxTextEffects *s = TextEffectsOpen();
    REQUIRE(s);
    const GUID *g = TextEffectGuid(s, 17);
    REQUIRE(g);
    CHECK(g->Data1 == 17);
    CHECK(TextEffectGuid(s, 5)->Data1 == 5);
    CHECK(TextEffectKey(s) == 1);

    struct Obj {
        static LONG_PTR WINAPI Panel(FxTextEffectObject *) { return 66; }
        static LONG_PTR WINAPI Refresh(FxTextEffectObject *) { return 88; }
    };
    FxTextEffectObject::Ops ops = {};
    ops.GetPanel = Obj::Panel;
    ops.Refresh = Obj::Refresh;
    FxTextEffectObject o = {&ops};
    CHECK(TextEffectGetPanel(s, &o) == 66);
    CHECK(TextEffectRefresh(s, &o) == 88);
    CHECK(TextEffectGetPanel(nullptr, &o) == 0);
    CHECK(TextEffectRefresh(s, nullptr) == 0);
    ReleaseAuxObject(&o);
    TextEffectsClose(s);
}

namespace {

// A realtime renderer link: answers for the renderer and the value
// interface and records the operations called on it.
struct Link : IUnknown {
    FxRealtimeRenderer renderer;
    FxRealtimeValue value;
    bool answersRenderer = true;
    std::vector<std::pair<int, void *>> calls;   // (operation, argument); -1 the value hand-over
    LONG refs = 1;

    static Link *From(FxRealtimeRenderer *r) { return reinterpret_cast<Link *>(reinterpret_cast<char *>(r) - offsetof(Link, renderer)); }
    static Link *From(FxRealtimeValue *v) { return reinterpret_cast<Link *>(reinterpret_cast<char *>(v) - offsetof(Link, value)); }

    template <int N>
    static LONG_PTR WINAPI Op(FxRealtimeRenderer *r, void *arg)
    {
        From(r)->calls.push_back({N, arg});
        return 100 + N;
    }
    static HRESULT WINAPI RQuery(FxRealtimeRenderer *, REFIID, void **) { return E_NOTIMPL; }
    static ULONG WINAPI RAddRef(FxRealtimeRenderer *r) { return ++From(r)->refs; }
    static ULONG WINAPI RRelease(FxRealtimeRenderer *r) { return --From(r)->refs; }
    static HRESULT WINAPI VQuery(FxRealtimeValue *, REFIID, void **) { return E_NOTIMPL; }
    static ULONG WINAPI VAddRef(FxRealtimeValue *v) { return ++From(v)->refs; }
    static ULONG WINAPI VRelease(FxRealtimeValue *v) { return --From(v)->refs; }
    static LONG_PTR WINAPI SetValue(FxRealtimeValue *v, void *arg)
    {
        From(v)->calls.push_back({-1, arg});
        return 0;
    }

    Link()
    {
        static const FxRealtimeRenderer::Ops rops = {
            RQuery, RAddRef, RRelease, {Op<3>, Op<4>, Op<5>, Op<6>, Op<7>, Op<8>, Op<9>, Op<10>}};
        static const FxRealtimeValue::Ops vops = {VQuery, VAddRef, VRelease, SetValue};
        renderer.ops = &rops;
        value.ops = &vops;
    }
    virtual ~Link() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override
    {
        *out = nullptr;
        if (IsEqualIID(iid, IID_FxRealtimeRenderer) && answersRenderer)
            *out = &renderer;
        else if (IsEqualIID(iid, IID_FxRealtimeValue))
            *out = &value;
        else
            return E_NOINTERFACE;
        ++refs;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

}  // namespace

TEST_CASE("Realtime renderer commands call their operations", "[links]")
{
    struct Case { int command; int op; bool handsValue; };
    const Case cases[] = {{0, 4, true}, {1, 3, false}, {2, 5, false}, {5, 6, true}, {9, 7, true}, {11, 8, true}};
    for (const Case &c : cases) {
        INFO("command " << c.command);
        Link link;
        CHECK(RendererCommand(c.command, &link) == 100 + c.op);
        std::vector<std::pair<int, void *>> want;
        if (c.handsValue)
            want.push_back({-1, static_cast<IUnknown *>(&link)});
        want.push_back({c.op, static_cast<IUnknown *>(&link)});
        CHECK(link.calls == want);
        CHECK(link.refs == 1);   // every interface taken is given back
    }
    Link link;
    for (int other : {3, 4, 6, 7, 8, 10, 12, -1})
        CHECK(RendererCommand(other, &link) == 0);
    CHECK(link.calls.empty());
    link.answersRenderer = false;
    CHECK(RendererCommand(1, &link) == 1);
    CHECK(RendererCommand(1, nullptr) == 1);

    link.answersRenderer = true;
    int path = 0;
    CHECK(RendererAddPath(&link, &path) == 109);
    CHECK(RendererRemovePath(&link, &path) == 110);
    CHECK(link.calls == std::vector<std::pair<int, void *>>{{9, &path}, {10, &path}});
    CHECK(RendererAddPath(nullptr, &path) == 0);
    CHECK(link.refs == 1);
    link.AddRef();
    ReleaseInterface(&link);
    CHECK(link.refs == 1);
    ReleaseInterface(nullptr);
}

TEST_CASE("Text-effect objects come from the text-effects library", "[links]")
{
    // The library of the tests hands out objects for the numbers 1 to 9.
    FxTextEffectObject *o = reinterpret_cast<FxTextEffectObject *>(1);
    GUID none = {};
    CHECK(LoadScriptelObject(&none, &o) == 8);
    CHECK(o == nullptr);
    CHECK(LoadScriptelObject(nullptr, &o) == 8);

    FxTextEffects *s = TextEffectsOpen();
    REQUIRE(s);
    FxTextEffectObject *seven = TextEffectGetObject(s, TextEffectGuid(s, 7));
    REQUIRE(seven);
    CHECK(TextEffectGetPanel(s, seven) == 7);
    CHECK(TextEffectRefresh(s, seven) == 1);
    CHECK(TextEffectRefresh(s, seven) == 2);
    REQUIRE(LoadScriptelObject(TextEffectGuid(s, 7), &o) == 0);
    CHECK(o == seven);
    CHECK(TextEffectGetObject(s, TextEffectGuid(s, 12)) == nullptr);
    CHECK(TextEffectGetObject(nullptr, TextEffectGuid(s, 7)) == nullptr);
    TextEffectsClose(s);
}
