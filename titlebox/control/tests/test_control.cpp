// The title-box control as its hosts see it: created by ProgID in the
// system's control container window, driven through IDispatch alone (by
// DISPID and by name), its events through a connection point, its settings,
// file commands and registration.
#include <catch2/catch.hpp>

#include <windows.h>
#include <atlbase.h>
#include <atliface.h>
#include <ole2.h>
#include <olectl.h>

#include <string>
#include <vector>

#include "Lumicard_h.h"
#include "msgbox_capture.h"
#include "jpeg_write.h"
#include "profile.h"
#include "qcg_build.h"
#include "title_export.h"
#include "title_file.h"
#include "title_render.h"

using namespace titlebox;
using namespace qcgtest;

namespace {

const char kRoot[] = "Software\\Halvard\\Lumicard10";

// The export files land in the temporary folder: this program takes a
// folder of its own, so a host exporting at the same time cannot mix in.
struct PrivateTemp {
    PrivateTemp()
    {
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        std::string mine = std::string(dir) + "lumicard_test_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(mine.c_str(), nullptr);
        SetEnvironmentVariableA("TMP", mine.c_str());
        SetEnvironmentVariableA("TEMP", mine.c_str());
    }
} privateTemp;

struct Ole {
    Ole() { OleInitialize(nullptr); }
    ~Ole() { OleUninitialize(); }
};

VARIANT I2(short v) { VARIANT x; VariantInit(&x); V_VT(&x) = VT_I2; V_I2(&x) = v; return x; }
VARIANT I4(LONG v) { VARIANT x; VariantInit(&x); V_VT(&x) = VT_I4; V_I4(&x) = v; return x; }
VARIANT R4(float v) { VARIANT x; VariantInit(&x); V_VT(&x) = VT_R4; V_R4(&x) = v; return x; }

struct Bstr {
    BSTR b;
    explicit Bstr(const char *s)
    {
        int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
        b = SysAllocStringLen(nullptr, UINT(n - 1));
        MultiByteToWideChar(CP_ACP, 0, s, -1, b, n);
    }
    ~Bstr() { SysFreeString(b); }
    VARIANT v() const { VARIANT x; VariantInit(&x); V_VT(&x) = VT_BSTR; V_BSTR(&x) = b; return x; }
};

std::string Narrow(BSTR b)
{
    if (!b) return "<null>";
    char buf[512] = {};
    WideCharToMultiByte(CP_ACP, 0, b, -1, buf, sizeof(buf), nullptr, nullptr);
    return buf;
}

// Calls by DISPID with arguments in natural order.
HRESULT Call(IDispatch *d, DISPID id, std::vector<VARIANT> args, VARIANT *out = nullptr)
{
    std::vector<VARIANT> rev(args.rbegin(), args.rend());
    DISPPARAMS p = {rev.empty() ? nullptr : rev.data(), nullptr, UINT(rev.size()), 0};
    VARIANT local;
    VariantInit(&local);
    HRESULT hr = d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &p, out ? out : &local, nullptr,
                           nullptr);
    if (!out) VariantClear(&local);
    return hr;
}

LONG CallI4(IDispatch *d, DISPID id, std::vector<VARIANT> args = {})
{
    VARIANT r;
    VariantInit(&r);
    REQUIRE(Call(d, id, args, &r) == S_OK);
    REQUIRE(SUCCEEDED(VariantChangeType(&r, &r, 0, VT_I4)));
    return V_I4(&r);
}

DISPID IdOf(IDispatch *d, const char *name)
{
    Bstr n(name);
    DISPID id = 0;
    LPOLESTR names[1] = {n.b};
    REQUIRE(d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id) == S_OK);
    return id;
}

// Calls by name, as a script host does.
LONG ByName(IDispatch *d, const char *name, std::vector<VARIANT> args = {})
{
    return CallI4(d, IdOf(d, name), args);
}

IDispatch *NewControl()
{
    CLSID clsid;
    Bstr progId("Lumicard.LumicardCtrl.1");
    REQUIRE(CLSIDFromProgID(progId.b, &clsid) == S_OK);
    REQUIRE(IsEqualCLSID(clsid, CLSID_Lumicard));
    IDispatch *d = nullptr;
    REQUIRE(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void **>(&d)) ==
            S_OK);
    return d;
}

std::string TempFile(const char *name)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + name;
}

// An event sink recording what the control fires.
struct Sink : IDispatch {
    LONG refs = 1;
    std::vector<std::pair<DISPID, std::vector<VARIANT>>> calls;
    STDMETHODIMP QueryInterface(REFIID riid, void **out) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, DIID__DLumicardEvents)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP GetTypeInfoCount(UINT *n) override { *n = 0; return S_OK; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS *p, VARIANT *, EXCEPINFO *, UINT *) override
    {
        std::vector<VARIANT> args;
        for (UINT i = p->cArgs; i-- > 0;) args.push_back(p->rgvarg[i]);
        calls.push_back({id, args});
        return S_OK;
    }
};



// Answers the next file dialog this thread opens with a path (from a
// timer that runs inside the dialog's own message loop).
struct FileDialogAnswer {
    static std::string path, title;
    static int answered;
    static BOOL CALLBACK Find(HWND w, LPARAM lp)
    {
        char cls[32] = {};
        GetClassNameA(w, cls, sizeof(cls));
        if (!strcmp(cls, "#32770") && IsWindowVisible(w)) {
            *reinterpret_cast<HWND *>(lp) = w;
            return FALSE;
        }
        return TRUE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD)
    {
        HWND dlg = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), Find, reinterpret_cast<LPARAM>(&dlg));
        if (!dlg) return;
        KillTimer(nullptr, id);
        char buf[256] = {};
        GetWindowTextA(dlg, buf, sizeof(buf));
        title = buf;
        HWND edit = GetDlgItem(dlg, 0x47c);  // the file name box
        if (!edit) edit = GetDlgItem(dlg, 0x480);
        SetWindowTextA(edit, path.c_str());
        ++answered;
        PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), LPARAM(GetDlgItem(dlg, IDOK)));
    }
    explicit FileDialogAnswer(const std::string &p)
    {
        path = p;
        title.clear();
        answered = 0;
        SetTimer(nullptr, 0, 50, Tick);
    }
};
std::string FileDialogAnswer::path, FileDialogAnswer::title;
int FileDialogAnswer::answered = 0;

void WriteBytes(const std::string &path, const std::vector<uint8_t> &b)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    DWORD n = 0;
    WriteFile(h, b.data(), DWORD(b.size()), &n, nullptr);
    CloseHandle(h);
}

// A still CG title: 144-byte header (magic), then one block of kind 0.
std::vector<uint8_t> StillQcg()
{
    std::vector<uint8_t> file(144, 0);
    const uint32_t magic = 0xF7F5AECBu;
    memcpy(file.data(), &magic, 4);
    Pixels px = Pattern(320, 240, 3);
    Bytes blk = MakeBlock(MakePartA(320, 240, 0), Bytes{1, 2, 3}, "clip text", MakeImage(200, 320, 240, px));
    blk[16] = 0;
    file.insert(file.end(), blk.begin(), blk.end());
    return file;
}

// Settings start from their defaults in every test that reads them.
struct CleanSettings {
    CleanSettings() { cl::CProfile(kRoot).DeleteAll(); }
    ~CleanSettings() { cl::CProfile(kRoot).DeleteAll(); }
};

}  // namespace

TEST_CASE("created by ProgID in the control container window and called by DISPID and by name", "[host]")
{
    Ole ole;
    CleanSettings clean;
    AtlAxWinInit();  // FALSE when the class is there already
    HWND top = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr, nullptr,
                               nullptr);
    HWND ax = CreateWindowExA(0, "AtlAxWin", "Lumicard.LumicardCtrl.1", WS_CHILD | WS_VISIBLE, 10, 10, 320, 240, top,
                              nullptr, nullptr, nullptr);
    REQUIRE(ax);
    IUnknown *unk = nullptr;
    REQUIRE(AtlAxGetControl(ax, &unk) == S_OK);
    REQUIRE(unk);
    IDispatch *d = nullptr;
    REQUIRE(unk->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&d)) == S_OK);
    IOleWindow *ow = nullptr;
    REQUIRE(unk->QueryInterface(IID_IOleWindow, reinterpret_cast<void **>(&ow)) == S_OK);
    HWND own = nullptr;
    CHECK(ow->GetWindow(&own) == S_OK);
    CHECK(own);
    CHECK(GetParent(own) == ax);
    ow->Release();

    SECTION("names through the type library give the interface's DISPIDs")
    {
        const struct { const char *name; DISPID id; } names[] = {
            {"LMNew", 1}, {"LMExport", 6}, {"SetTextShadowDepth", 19}, {"SetAsDefault", 26}, {"GetDuration", 33},
            {"GetTextUnderline", 57}, {"KeyDown", 64}, {"ImportCaplift", 85}, {"LMSetWindowExt", 90},
            {"AboutBox", -552}};
        for (const auto &n : names) {
            INFO(n.name);
            CHECK(IdOf(d, n.name) == n.id);
        }
        Bstr bad("NoSuchMethod");
        LPOLESTR nm[1] = {bad.b};
        DISPID id = 0;
        CHECK(d->GetIDsOfNames(IID_NULL, nm, 1, LOCALE_USER_DEFAULT, &id) == DISP_E_UNKNOWNNAME);
        ITypeInfo *ti = nullptr;
        REQUIRE(d->GetTypeInfo(0, LOCALE_USER_DEFAULT, &ti) == S_OK);
        TYPEATTR *ta = nullptr;
        REQUIRE(ti->GetTypeAttr(&ta) == S_OK);
        CHECK(IsEqualIID(ta->guid, DIID__DLumicard));
        CHECK(ta->typekind == TKIND_DISPATCH);
        CHECK(ta->cFuncs == 91);
        ti->ReleaseTypeAttr(ta);
        ti->Release();
    }
    SECTION("the defaults answer with nothing selected; packed depths; argument errors")
    {
        CHECK(CallI4(d, 47) == 16);                   // GetTextFontSize
        CHECK(CallI4(d, 36) == 0xDFDFDF);             // GetLMBackColor
        CHECK(CallI4(d, 54) == 0xC8C8C8);             // GetTextShadowColor
        CHECK(ByName(d, "GetTextBackAlpha") == 50);
        CHECK(uint32_t(ByName(d, "SetTextShadowDepth", {I2(3), I2(-2)})) == 0xFFFE0003u);
        CHECK(uint32_t(CallI4(d, 55)) == 0xFFFE0003u);
        CHECK(CallI4(d, 60) == 3);
        CHECK(CallI4(d, 61) == -2);
        CHECK(CallI4(d, 64, {I4(VK_DELETE), I4(0)}) == 0);  // KeyDown: FALSE
        CHECK(CallI4(d, 11, {I2(1)}) == 0);                  // SetTextBold: 0 with nothing selected...
        CHECK(CallI4(d, 44) != 0);                           // ...but the default is bold now
        CHECK(CallI4(d, 10, {I2(40)}) == 0);                 // SetImageAlpha likewise
        CHECK(CallI4(d, 34) == 40);
        CHECK(CallI4(d, 58) == 0);                           // GetSelected
        VARIANT r;
        VariantInit(&r);
        REQUIRE(Call(d, 62, {}, &r) == S_OK);               // GetText: null
        CHECK(V_VT(&r) == VT_BSTR);
        CHECK(V_BSTR(&r) == nullptr);
        CHECK(Call(d, 19, {I2(1)}) == DISP_E_BADPARAMCOUNT);
        CHECK(Call(d, 12, {}) == DISP_E_BADPARAMCOUNT);
        CHECK(Call(d, 91, {}) == DISP_E_MEMBERNOTFOUND);
        Bstr notNumber("abc");
        CHECK(Call(d, 13, {notNumber.v()}) == DISP_E_TYPEMISMATCH);
        // Strings coerce as automation does: "24" is a size.
        Bstr numeric("24");
        CHECK(CallI4(d, 13, {numeric.v()}) == 24);
    }
    SECTION("a selected object takes the styles; duration, orientation and window extent")
    {
        Bstr text("Line one");
        REQUIRE(Call(d, 63, {text.v()}) == S_OK);  // SetText with nothing selected: a new object
        CHECK(CallI4(d, 58) != 0);
        CHECK(CallI4(d, 59) == 0);                 // a text object
        VARIANT r;
        VariantInit(&r);
        REQUIRE(Call(d, 62, {}, &r) == S_OK);
        CHECK(Narrow(V_BSTR(&r)) == "Line one");
        VariantClear(&r);
        CHECK(CallI4(d, 65) == 100);  // the new object's rectangle (20, 20, 120, 120)
        CHECK(CallI4(d, 77) == 20);
        REQUIRE(Call(d, 76, {I2(50), I2(60)}) == S_OK);
        CHECK(CallI4(d, 77) == 50);
        CHECK(CallI4(d, 78) == 60);
        CHECK(CallI4(d, 65) == 100);
        // GetDuration lifts a short duration to 1.0 and keeps it.
        REQUIRE(Call(d, 67, {R4(0.5f)}) == S_OK);
        VariantInit(&r);
        REQUIRE(Call(d, 33, {}, &r) == S_OK);
        CHECK(V_VT(&r) == VT_R4);
        CHECK(V_R4(&r) == 1.0f);
        // A vertical turn about the top-right corner, and no second turn on the same value.
        REQUIRE(Call(d, 76, {I2(20), I2(20)}) == S_OK);
        CHECK(CallI4(d, 16, {I2(1)}) == 1);
        CHECK(CallI4(d, 77) == 20);    // left = right + top - bottom = 120 + 20 - 120
        CHECK(CallI4(d, 66) == 100);
        CHECK(CallI4(d, 50) == 1);
        CHECK(CallI4(d, 16, {I2(1)}) == 1);
        CHECK(CallI4(d, 77) == 20);
        // Face names longer than a LOGFONT's are cut to 31 characters.
        Bstr longFace("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghij");
        REQUIRE(Call(d, 12, {longFace.v()}) == S_OK);
        VariantInit(&r);
        REQUIRE(Call(d, 46, {}, &r) == S_OK);
        CHECK(Narrow(V_BSTR(&r)) == "ABCDEFGHIJKLMNOPQRSTUVWXYZabcde");
        VariantClear(&r);
        // KeyDown stays FALSE with a selection.
        CHECK(CallI4(d, 64, {I4('A'), I4(0)}) == 0);
    }
    SECTION("a huge or negative SetTextFontSize is drawn, measured and exported bounded by the page")
    {
        // 32767 points would be a 43689-pixel font: each glyph gigabytes.
        // Set as the default, then on the selection; the size is kept as
        // set, the font it draws with is bounded by the page's longer side.
        REQUIRE(CallI4(d, 13, {I2(32767)}) == 32767);
        Bstr text("Wg");
        REQUIRE(Call(d, 63, {text.v()}) == S_OK);
        CHECK(CallI4(d, 47) == 32767);
        const struct { short size, extW, extH; LONG lowest, highest; } cases[] = {
            // A character height of 640 and its leading (unbounded: some 51000).
            {32767, 640, 480, 600, 800},     // the default page: at most 640
            {-32768, 640, 480, 600, 800},    // a cell height, bounded alike
            {32767, 1920, 1080, 1800, 2300}, // the bound follows LMSetWindowExt
            {-200, 1920, 1080, 150, 300},    // a size inside the page is drawn as it is
        };
        for (const auto &c : cases) {
            INFO("size " << c.size << " on " << c.extW << " x " << c.extH);
            REQUIRE(Call(d, 90, {I2(c.extW), I2(c.extH)}) == S_OK);
            REQUIRE(CallI4(d, 13, {I2(c.size)}) == c.size);
            CHECK(CallI4(d, 47) == c.size);
            const LONG height = CallI4(d, 83);  // GetFullHeight: measured with the drawing font
            CHECK(height >= c.lowest);
            CHECK(height <= c.highest);
            // Drawn in the control's window, and exported with a soft
            // shadow (its mask drawn with the scaled font).
            RedrawWindow(own, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            REQUIRE(CallI4(d, 20, {I2(3)}) == 3);
            REQUIRE(Call(d, 6, {}) == S_OK);
            std::vector<uint8_t> exported;
            CHECK(ReadWholeFile(TitleExportPath(EXPORT_PROGRAMME).c_str(), &exported));
            CHECK(exported.size() > 16);
        }
    }
    d->Release();
    unk->Release();
    DestroyWindow(top);
}

TEST_CASE("events reach a connection point: exported, exported as preview", "[events]")
{
    Ole ole;
    CleanSettings clean;
    IDispatch *d = NewControl();
    IConnectionPointContainer *cpc = nullptr;
    REQUIRE(d->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void **>(&cpc)) == S_OK);
    IConnectionPoint *cp = nullptr;
    CHECK(cpc->FindConnectionPoint(IID_IPropertyNotifySink, &cp) == CONNECT_E_NOCONNECTION);
    REQUIRE(cpc->FindConnectionPoint(DIID__DLumicardEvents, &cp) == S_OK);
    IProvideClassInfo2 *pci = nullptr;
    REQUIRE(d->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void **>(&pci)) == S_OK);
    GUID src = {};
    CHECK(pci->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &src) == S_OK);
    CHECK(IsEqualIID(src, DIID__DLumicardEvents));
    pci->Release();

    Sink sink;
    DWORD cookie = 0;
    REQUIRE(cp->Advise(&sink, &cookie) == S_OK);
    Bstr text("Event");
    REQUIRE(Call(d, 63, {text.v()}) == S_OK);
    REQUIRE(Call(d, 6, {}) == S_OK);                 // LMExport
    CHECK(CallI4(d, 86) != 0);                       // LMSaveAsPreview answers TRUE
    REQUIRE(sink.calls.size() == 2);
    CHECK(sink.calls[0].first == 28);
    REQUIRE(sink.calls[0].second.size() == 1);
    CHECK(V_VT(&sink.calls[0].second[0]) == VT_BOOL);
    CHECK(V_BOOL(&sink.calls[0].second[0]) == VARIANT_TRUE);
    CHECK(sink.calls[1].first == 30);
    CHECK(V_BOOL(&sink.calls[1].second[0]) == VARIANT_TRUE);
    // Style calls fire nothing.
    CHECK(CallI4(d, 30, {I4(0x123456)}) == 0x123456);
    CHECK(sink.calls.size() == 2);
    // Frozen events are not delivered; after unadvising nothing reaches the sink.
    IOleControl *oc = nullptr;
    REQUIRE(d->QueryInterface(IID_IOleControl, reinterpret_cast<void **>(&oc)) == S_OK);
    oc->FreezeEvents(TRUE);
    REQUIRE(Call(d, 6, {}) == S_OK);
    CHECK(sink.calls.size() == 2);
    oc->FreezeEvents(FALSE);
    oc->Release();
    CHECK(cp->Unadvise(cookie) == S_OK);
    CHECK(cp->Unadvise(cookie) == CONNECT_E_NOCONNECTION);
    REQUIRE(Call(d, 6, {}) == S_OK);
    CHECK(sink.calls.size() == 2);
    CHECK(sink.refs == 1);
    cp->Release();
    cpc->Release();
    d->Release();
}

TEST_CASE("a page scripted through IDispatch alone exports what the model writes", "[script]")
{
    Ole ole;
    CleanSettings clean;
    const std::string textFile = TempFile("lumicard_script.txt");
    {
        HANDLE h = CreateFileA(textFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        REQUIRE(h != INVALID_HANDLE_VALUE);
        DWORD n;
        WriteFile(h, "Second\r\nline", 12, &n, nullptr);
        CloseHandle(h);
    }
    IDispatch *d = NewControl();
    // The mixer's order: style defaults first, then objects, then the export.
    Bstr face("Courier New");
    REQUIRE(Call(d, 12, {face.v()}) == S_OK);
    REQUIRE(CallI4(d, 13, {I2(28)}) == 28);
    REQUIRE(CallI4(d, 30, {I4(0x00FF00)}) == 0x00FF00);
    Bstr first("First title");
    REQUIRE(Call(d, 63, {first.v()}) == S_OK);
    REQUIRE(Call(d, 76, {I2(30), I2(40)}) == S_OK);
    REQUIRE(CallI4(d, 20, {I2(2)}) == 2);         // solid shadow
    REQUIRE(CallI4(d, 23, {I2(1)}) == 1);         // border
    REQUIRE(CallI4(d, 27, {I4(0x0000FF)}) == 0xFF);
    REQUIRE(CallI4(d, 25, {I2(1)}) == 1);         // motion
    REQUIRE(CallI4(d, 68, {I4(-100)}) == -100);
    REQUIRE(CallI4(d, 70, {I4(200)}) == 200);
    REQUIRE(Call(d, 67, {R4(3.0f)}) == S_OK);
    Bstr path(textFile.c_str());
    REQUIRE(Call(d, 87, {path.v()}) == S_OK);     // LMOpenDirectlyText
    REQUIRE(CallI4(d, 8, {I2(1)}) == 1);          // centred
    REQUIRE(CallI4(d, 22, {I2(0)}) == 0);         // no back box
    REQUIRE(Call(d, 6, {}) == S_OK);              // LMExport

    std::vector<uint8_t> exported;
    REQUIRE(ReadWholeFile(TitleExportPath(EXPORT_PROGRAMME).c_str(), &exported));

    // The same page made through the model.
    TitleDefaults defs;
    defs.faceName = "Courier New";
    defs.fontSize = 28;
    defs.textColour = 0x00FF00;
    PageScale scale;
    TitleObjectList page;
    auto add = [&](const char *text, RECT r) {
        auto o = std::make_unique<TitleObject>(defs, scale);
        o->text = text;
        o->tracker.reset(new RectTracker);
        o->tracker->rect = r;
        FitTextBox(*o);   // a new text's box holds it whole
        page.push_back(std::move(o));
        return page.back().get();
    };
    TitleObject *a = add("First title", {30, 40, 130, 140});
    a->shadowType = 2;
    a->border = 1;
    a->borderColour = 0xFF;
    a->motion = 1;
    a->beginX = -100;
    a->endX = 200;
    a->duration = 3.0f;
    TitleObject *b = add("Second\nline", {20, 20, 120, 120});
    b->alignment = 1;
    b->textBack = 0;
    const std::vector<uint8_t> expected = BuildTitleExport(page);
    CHECK(exported.size() == expected.size());
    CHECK(exported == expected);

    // The title file the control saves reads back as the same page.
    const std::string lmf = TempFile("lumicard_script.lmf");
    Bstr lmfPath(lmf.c_str());
    REQUIRE(Call(d, 89, {lmfPath.v()}) == S_OK);
    std::vector<uint8_t> saved;
    REQUIRE(ReadWholeFile(lmf.c_str(), &saved));
    for (auto &o : page) o->selected = 0;
    b->selected = 1;
    CHECK(saved == StoreTitleFile(page));
    d->Release();
    DeleteFileA(textFile.c_str());
    DeleteFileA(lmf.c_str());
}

TEST_CASE("file commands: the save prompt, unknown extensions, open and new", "[files]")
{
    Ole ole;
    CleanSettings clean;
    IDispatch *d = NewControl();
    const std::string lmf = TempFile("lumicard_files.lmf");
    Bstr lmfPath(lmf.c_str());
    Bstr text("Keep me");
    REQUIRE(Call(d, 63, {text.v()}) == S_OK);
    {
        // A changed page: Cancel (what the capture answers a Yes/No/Cancel box) keeps everything.
        MsgBoxCapture boxes;
        REQUIRE(Call(d, 1, {}) == S_OK);  // LMNew
        REQUIRE(boxes.count() == 1);
        CHECK(boxes.texts()[0] == "Save changes to Untitled.LMF?");
        CHECK(CallI4(d, 58) != 0);
        REQUIRE(Call(d, 88, {lmfPath.v()}) == S_OK);  // LMOpenDirectlyLMF asks too
        CHECK(boxes.count() == 2);
        CHECK(CallI4(d, 58) != 0);
    }
    REQUIRE(Call(d, 89, {lmfPath.v()}) == S_OK);  // saved: no longer changed
    {
        MsgBoxCapture boxes;
        REQUIRE(Call(d, 88, {lmfPath.v()}) == S_OK);
        CHECK(boxes.count() == 0);
        CHECK(CallI4(d, 58) == 0);  // no selection after an open
        // The page came back: selecting is the editor's, but the export holds the object.
        REQUIRE(Call(d, 6, {}) == S_OK);
        std::vector<uint8_t> lme;
        REQUIRE(ReadWholeFile(TitleExportPath(EXPORT_PROGRAMME).c_str(), &lme));
        REQUIRE(lme.size() >= 16);
        CHECK(reinterpret_cast<const TitleExportHeader *>(lme.data())->count == 1);
    }
    {
        // LMOpenDirectly of another extension: its text, and an empty page.
        MsgBoxCapture boxes;
        const std::string txt = TempFile("lumicard_files.txt");
        CopyFileA(lmf.c_str(), txt.c_str(), FALSE);
        Bstr txtPath(txt.c_str());
        REQUIRE(Call(d, 7, {txtPath.v()}) == S_OK);
        REQUIRE(boxes.count() == 1);
        CHECK(boxes.texts()[0] == "This's unknown file format!");
        REQUIRE(Call(d, 6, {}) == S_OK);
        std::vector<uint8_t> lme;
        REQUIRE(ReadWholeFile(TitleExportPath(EXPORT_PROGRAMME).c_str(), &lme));
        CHECK(reinterpret_cast<const TitleExportHeader *>(lme.data())->count == 0);
        DeleteFileA(txt.c_str());
    }
    {
        // A text file that cannot be opened adds nothing and asks nothing.
        MsgBoxCapture boxes;
        Bstr missing("C:\\no\\such\\file.txt");
        REQUIRE(Call(d, 87, {missing.v()}) == S_OK);
        CHECK(CallI4(d, 58) == 0);
        REQUIRE(Call(d, 1, {}) == S_OK);  // unchanged page: LMNew asks nothing
        CHECK(boxes.count() == 0);
    }
    d->Release();
    DeleteFileA(lmf.c_str());
}

TEST_CASE("the Settings section gives the defaults and SetAsDefault writes them", "[settings]")
{
    Ole ole;
    CleanSettings clean;
    cl::CProfile p(kRoot);
    p.WriteInt("Settings", "FontSize", 30);
    p.WriteString("Settings", "FaceName", "Tahoma");
    p.WriteString("Settings", "Duration", "7.9 seconds");
    p.WriteInt("Settings", "BackColor", 0x102030);
    IDispatch *d = NewControl();
    CHECK(CallI4(d, 47) == 30);
    CHECK(CallI4(d, 36) == 0x102030);
    VARIANT r;
    VariantInit(&r);
    REQUIRE(Call(d, 33, {}, &r) == S_OK);
    CHECK(V_R4(&r) == 7.0f);  // the leading integer
    VariantInit(&r);
    REQUIRE(Call(d, 46, {}, &r) == S_OK);
    CHECK(Narrow(V_BSTR(&r)) == "Tahoma");
    VariantClear(&r);

    // Nothing selected: SetAsDefault writes nothing.
    REQUIRE(Call(d, 26, {}) == S_OK);
    CHECK(p.GetInt("Settings", "TextColor", -1) == -1);

    Bstr text("Styled");
    REQUIRE(Call(d, 63, {text.v()}) == S_OK);
    REQUIRE(CallI4(d, 30, {I4(0x0A0B0C)}) == 0x0A0B0C);
    REQUIRE(CallI4(d, 11, {I2(1)}) == 1);
    REQUIRE(CallI4(d, 8, {I2(2)}) == 2);
    REQUIRE(Call(d, 26, {}) == S_OK);
    CHECK(p.GetInt("Settings", "TextColor", -1) == 0x0A0B0C);
    CHECK(p.GetInt("Settings", "FontBold", -1) == 1);
    CHECK(p.GetInt("Settings", "Alignment", -1) == 2);
    CHECK(p.GetInt("Settings", "FontSize", -1) == 30);
    CHECK(p.GetString("Settings", "FaceName", "") == "Tahoma");
    CHECK(p.GetString("Settings", "Duration", "") == "7.000000");
    CHECK(p.GetInt("Settings", "Motion", -1) == 0);
    // Background and scroll are not the style's.
    CHECK(p.GetInt("Settings", "BackColor", -1) == 0x102030);
    CHECK(p.GetInt("Settings", "Scroll", -1) == -1);
    d->Release();

    // A new control starts from what was written.
    IDispatch *next = NewControl();
    CHECK(CallI4(next, 45) == 0x0A0B0C);
    CHECK(CallI4(next, 44) != 0);
    next->Release();
}

TEST_CASE("persistence through a stream and the property page", "[persist]")
{
    Ole ole;
    IDispatch *d = NewControl();
    IPersistStreamInit *ps = nullptr;
    REQUIRE(d->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void **>(&ps)) == S_OK);
    CHECK(ps->InitNew() == S_OK);
    IOleObject *oo = nullptr;
    REQUIRE(d->QueryInterface(IID_IOleObject, reinterpret_cast<void **>(&oo)) == S_OK);
    SIZEL ext = {12345, 6789};
    CHECK(oo->SetExtent(DVASPECT_CONTENT, &ext) == S_OK);
    IStream *st = nullptr;
    REQUIRE(CreateStreamOnHGlobal(nullptr, TRUE, &st) == S_OK);
    CHECK(ps->Save(st, TRUE) == S_OK);
    LARGE_INTEGER zero = {};
    st->Seek(zero, STREAM_SEEK_SET, nullptr);

    IDispatch *d2 = NewControl();
    IPersistStreamInit *ps2 = nullptr;
    REQUIRE(d2->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void **>(&ps2)) == S_OK);
    CHECK(ps2->Load(st) == S_OK);
    IOleObject *oo2 = nullptr;
    REQUIRE(d2->QueryInterface(IID_IOleObject, reinterpret_cast<void **>(&oo2)) == S_OK);
    SIZEL got = {};
    CHECK(oo2->GetExtent(DVASPECT_CONTENT, &got) == S_OK);
    CHECK(got.cx == 12345);
    CHECK(got.cy == 6789);
    // A stream that is not ours is refused.
    IStream *junk = nullptr;
    REQUIRE(CreateStreamOnHGlobal(nullptr, TRUE, &junk) == S_OK);
    junk->Write("garbage-bytes-here", 18, nullptr);
    junk->Seek(zero, STREAM_SEEK_SET, nullptr);
    CHECK(FAILED(ps2->Load(junk)));
    junk->Release();
    st->Release();
    oo2->Release();
    ps2->Release();
    d2->Release();
    oo->Release();
    ps->Release();
    d->Release();

    IPropertyPage *page = nullptr;
    REQUIRE(CoCreateInstance(CLSID_LumicardPropPage, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                             reinterpret_cast<void **>(&page)) == S_OK);
    PROPPAGEINFO info = {};
    REQUIRE(page->GetPageInfo(&info) == S_OK);
    CHECK(Narrow(reinterpret_cast<BSTR>(info.pszTitle)) == "General");
    CoTaskMemFree(info.pszTitle);
    page->Release();
}

TEST_CASE("CG clips come in through their dialog: one clip a page, damaged ones add nothing", "[clip]")
{
    Ole ole;
    CleanSettings clean;
    IDispatch *d = NewControl();
    IConnectionPointContainer *cpc = nullptr;
    REQUIRE(d->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void **>(&cpc)) == S_OK);
    IConnectionPoint *cp = nullptr;
    REQUIRE(cpc->FindConnectionPoint(DIID__DLumicardEvents, &cp) == S_OK);
    Sink sink;
    DWORD cookie = 0;
    REQUIRE(cp->Advise(&sink, &cookie) == S_OK);

    const std::string qcg = TempFile("lumicard_clip.qcg");
    const std::string cga = TempFile("lumicard_clip.cga");
    DeleteFileA(cga.c_str());
    WriteBytes(qcg, StillQcg());
    {
        FileDialogAnswer answer(qcg);
        REQUIRE(Call(d, 85, {}) == S_OK);  // ImportCaplift
        REQUIRE(FileDialogAnswer::answered == 1);
    }
    CHECK(CallI4(d, 59) == 2);  // the clip is selected
    VARIANT r;
    VariantInit(&r);
    REQUIRE(Call(d, 62, {}, &r) == S_OK);
    CHECK(V_BSTR(&r) == nullptr);  // not a text
    CHECK(GetFileAttributesA(cga.c_str()) != INVALID_FILE_ATTRIBUTES);  // the clip file beside the title
    REQUIRE(sink.calls.size() == 1);
    CHECK(sink.calls[0].first == 29);  // OnSelChange
    CHECK(cl::CProfile(kRoot).GetString("Settings", "CGAImportPath", "") + "\\lumicard_clip.qcg" == qcg);

    // The .cga itself, imported again, replaces the page's clip.
    {
        FileDialogAnswer answer(cga);
        REQUIRE(Call(d, 85, {}) == S_OK);
    }
    CHECK(CallI4(d, 59) == 2);
    CHECK(sink.calls.size() == 2);
    const std::string lmf = TempFile("lumicard_clip.lmf");
    Bstr lmfPath(lmf.c_str());
    REQUIRE(Call(d, 89, {lmfPath.v()}) == S_OK);
    TitleObjectList page;
    REQUIRE(OpenTitleFile(lmf.c_str(), TitleDefaults(), PageScale(), &page) == TITLE_LOADED);
    REQUIRE(page.size() == 1);
    CHECK(page[0]->type == 2);
    CHECK(page[0]->text == cga);

    // A damaged clip file adds nothing and leaves the selection.
    const std::string bad = TempFile("lumicard_bad.cga");
    WriteBytes(bad, std::vector<uint8_t>(30, 0x41));
    {
        MsgBoxCapture boxes;
        FileDialogAnswer answer(bad);
        REQUIRE(Call(d, 85, {}) == S_OK);
    }
    CHECK(sink.calls.size() == 2);
    REQUIRE(Call(d, 89, {lmfPath.v()}) == S_OK);
    page.clear();
    REQUIRE(OpenTitleFile(lmf.c_str(), TitleDefaults(), PageScale(), &page) == TITLE_LOADED);
    REQUIRE(page.size() == 1);
    CHECK(page[0]->text == cga);

    cp->Unadvise(cookie);
    cp->Release();
    cpc->Release();
    d->Release();
    for (const std::string &f : {qcg, cga, bad, lmf}) DeleteFileA(f.c_str());
}

namespace {

void Put16(std::vector<uint8_t> &b, size_t at, uint16_t v) { b[at] = uint8_t(v); b[at + 1] = uint8_t(v >> 8); }
void Put32(std::vector<uint8_t> &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// A Windows bitmap: 14-byte file header, 40-byte info header, colour table,
// rows bottom-up padded to 4 bytes.  rows[y] holds the bottom-up row y.
std::vector<uint8_t> MakeBmp(int w, int h, int bits, const std::vector<uint32_t> &table,
                             const std::vector<std::vector<uint8_t>> &rows)
{
    const size_t stride = (size_t(w) * bits + 31) / 32 * 4;
    const size_t off = 14 + 40 + table.size() * 4;
    std::vector<uint8_t> b(off + stride * h, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, uint32_t(b.size()));
    Put32(b, 10, uint32_t(off));
    Put32(b, 14, 40);
    Put32(b, 18, uint32_t(w));
    Put32(b, 22, uint32_t(h));
    Put16(b, 26, 1);
    Put16(b, 28, uint16_t(bits));
    Put32(b, 46, uint32_t(table.size()));
    for (size_t i = 0; i < table.size(); ++i) Put32(b, 54 + i * 4, table[i]);
    for (int y = 0; y < h && y < int(rows.size()); ++y)
        std::copy(rows[y].begin(), rows[y].end(), b.begin() + off + y * stride);
    return b;
}

// An uncompressed true-colour Targa: 18-byte header, then the pixels.
std::vector<uint8_t> MakeTga(int w, int h, int bits, const std::vector<uint8_t> &pixels, uint8_t descriptor = 0)
{
    std::vector<uint8_t> b(18, 0);
    b[2] = 2;
    Put16(b, 12, uint16_t(w));
    Put16(b, 14, uint16_t(h));
    b[16] = uint8_t(bits);
    b[17] = descriptor;
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

// The message boxes seen (the hook also sees the file dialog itself).
std::vector<std::string> Messages(const MsgBoxCapture &boxes)
{
    std::vector<std::string> t;
    for (const auto &b : boxes.boxes())
        if (b.caption != "Import Image File...") t.push_back(b.text);
    return t;
}

// The page as the control saves it.
TitleObjectList SavedPage(IDispatch *d, const std::string &lmf)
{
    Bstr path(lmf.c_str());
    REQUIRE(Call(d, 89, {path.v()}) == S_OK);
    TitleObjectList page;
    REQUIRE(OpenTitleFile(lmf.c_str(), TitleDefaults(), PageScale(), &page) == TITLE_LOADED);
    return page;
}

}  // namespace

TEST_CASE("pictures come in through their dialog: bitmaps, Targa, GIF and JPEG files, damaged ones refused", "[image]")
{
    Ole ole;
    CleanSettings clean;
    IDispatch *d = NewControl();
    const std::string lmf = TempFile("lumicard_image.lmf");
    std::vector<std::string> files;
    auto import = [&](const char *name, const std::vector<uint8_t> &bytes) {
        const std::string f = TempFile(name);
        files.push_back(f);
        WriteBytes(f, bytes);
        FileDialogAnswer answer(f);
        REQUIRE(Call(d, 5, {}) == S_OK);  // LMImportImage
        REQUIRE(FileDialogAnswer::answered == 1);
        CHECK(FileDialogAnswer::title == "Import Image File...");
    };

    // 24 bits, 3 x 2: rows bottom-up, each padded to 12 bytes.
    const std::vector<uint8_t> bmp24 = MakeBmp(3, 2, 24, {}, {
        {0x01, 0x02, 0x03, 0x11, 0x12, 0x13, 0x21, 0x22, 0x23},
        {0x31, 0x32, 0x33, 0x41, 0x42, 0x43, 0x51, 0x52, 0x53}});
    {
        MsgBoxCapture boxes;
        import("lumicard_pic24.bmp", bmp24);
        CHECK(Messages(boxes).empty());
    }
    CHECK(CallI4(d, 59) == 1);  // the picture is selected
    CHECK(cl::CProfile(kRoot).GetString("Settings", "ImageImportPath", "") + "\\lumicard_pic24.bmp" == files.back());
    {
        TitleObjectList page = SavedPage(d, lmf);
        REQUIRE(page.size() == 1);
        const TitleObject &o = *page[0];
        CHECK(o.type == TITLE_IMAGE);
        CHECK(o.alphaMode == ALPHA_OPACITY);
        CHECK(o.picture.bmWidth == 3);
        CHECK(o.picture.bmHeight == 2);
        CHECK(o.picture.bmWidthBytes == 12);
        CHECK(o.picture.bmBitsPixel == 32);
        CHECK(o.pixels == std::vector<uint32_t>{0x030201, 0x131211, 0x232221, 0x333231, 0x434241, 0x535251});
        REQUIRE(o.tracker);
        // Width and height over the page factors (2.0), rounded.
        CHECK(o.tracker->rect.left == 10);
        CHECK(o.tracker->rect.top == 10);
        CHECK(o.tracker->rect.right == 12);
        CHECK(o.tracker->rect.bottom == 11);
    }

    // 8 bits with a palette, 320 x 240, name in upper case: the rectangle is
    // (10, 10, 170, 130) and each pixel takes its palette entry.
    {
        std::vector<std::vector<uint8_t>> rows(240, std::vector<uint8_t>(320, 0));
        for (int x = 0; x < 320; ++x) rows[0][x] = uint8_t(x & 1);
        import("lumicard_pal8.BMP", MakeBmp(320, 240, 8, {0x00102030, 0x00A0B0C0}, rows));
        TitleObjectList page = SavedPage(d, lmf);
        REQUIRE(page.size() == 2);
        const TitleObject &o = *page[1];
        CHECK(o.picture.bmWidth == 320);
        CHECK(o.picture.bmHeight == 240);
        CHECK(o.pixels[0] == 0x102030);
        CHECK(o.pixels[1] == 0xA0B0C0);
        CHECK(o.pixels[320] == 0x102030);
        CHECK((o.tracker->rect.left == 10 && o.tracker->rect.top == 10));
        CHECK((o.tracker->rect.right == 170 && o.tracker->rect.bottom == 130));
    }

    // Targa, 24 and 32 bits, bottom row first; a top-left origin flips.
    {
        import("lumicard_pic24.tga", MakeTga(2, 2, 24, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
        import("lumicard_pic32.TGA", MakeTga(2, 1, 32, {1, 2, 3, 0x80, 4, 5, 6, 0xFF}));
        import("lumicard_top.tga", MakeTga(1, 2, 24, {1, 2, 3, 4, 5, 6}, 0x20));
        TitleObjectList page = SavedPage(d, lmf);
        REQUIRE(page.size() == 5);
        CHECK(page[2]->alphaMode == ALPHA_OPACITY);
        CHECK(page[2]->hasTransparency == 0);
        CHECK(page[2]->pixels == std::vector<uint32_t>{0x030201, 0x060504, 0x090807, 0x0C0B0A});
        CHECK(page[3]->alphaMode == ALPHA_PER_PIXEL);
        CHECK(page[3]->hasTransparency == 1);
        CHECK(page[3]->pixels == std::vector<uint32_t>{0x80030201, 0xFF060504});
        CHECK(page[4]->pixels == std::vector<uint32_t>{0x060504, 0x030201});
    }

    // GIF: always colour-keyed; the transparent index gives the key colour.
    // 2 x 1, four colours, each code after a clear code (3 bits each).
    auto gif = [](bool transparent) {
        std::vector<uint8_t> b = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 1, 0, 0x81, 0, 0,
                                  0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 255, 0};
        if (transparent) b.insert(b.end(), {'!', 0xF9, 4, 1, 0, 0, 2, 0});
        b.insert(b.end(), {',', 0, 0, 0, 0, 2, 0, 1, 0, 0, 2, 2, 0x0C, 0x55, 0, ';'});
        return b;
    };
    {
        import("lumicard_key.gif", gif(true));
        import("lumicard_plain.GIF", gif(false));
        TitleObjectList page = SavedPage(d, lmf);
        REQUIRE(page.size() == 7);
        CHECK(page[5]->alphaMode == ALPHA_COLOUR_KEY);
        CHECK(page[5]->hasTransparency == 1);
        CHECK(page[5]->transparentColour == RGB(0, 0, 255));
        CHECK(page[5]->pixels == std::vector<uint32_t>{0xFF0000, 0x0000FF});
        CHECK(page[6]->alphaMode == ALPHA_COLOUR_KEY);
        CHECK(page[6]->hasTransparency == 0);
    }
    // JPEG, named in upper case: grey 8 x 8 at level 120.
    {
        std::vector<unsigned char> grey(64, 120);
        const std::vector<unsigned char> jpg = JpegTestWrite(grey.data(), 8, 8, 1, 95, false, 0);
        import("lumicard_grey.JPG", std::vector<uint8_t>(jpg.begin(), jpg.end()));
        TitleObjectList page = SavedPage(d, lmf);
        REQUIRE(page.size() == 8);
        CHECK(page[7]->alphaMode == ALPHA_OPACITY);
        CHECK(page[7]->picture.bmWidth == 8);
        const uint32_t v = page[7]->pixels[9];
        CHECK(((v & 0xFF) == (v >> 8 & 0xFF) && (v & 0xFF) == (v >> 16 & 0xFF)));
        CHECK(std::abs(int(v & 0xFF) - 120) <= 4);
    }
    std::vector<uint8_t> badGif = gif(false);
    badGif[4] = '8';
    const std::vector<uint8_t> plainGif = gif(false);

    // Damaged, oversized, wrong-magic and unknown pictures: the message, and
    // nothing added.
    std::vector<uint8_t> cut = bmp24;
    cut.resize(cut.size() - 5);
    std::vector<uint8_t> magic = bmp24;
    magic[0] = 'X';
    std::vector<uint8_t> huge = bmp24;
    Put32(huge, 18, 100000);
    Put32(huge, 22, 100000);
    std::vector<uint8_t> negativeWidth = bmp24;
    Put32(negativeWidth, 18, uint32_t(-3));
    std::vector<uint8_t> shortHeader(20, 0);
    shortHeader[0] = 'B';
    shortHeader[1] = 'M';
    std::vector<uint8_t> bigHeader = bmp24;
    Put32(bigHeader, 14, 0x7FFFFFF0);
    const char *wrong = "This is a wrong image format.";
    const char *depth = "This's NOT 24 bits or 32 bits Targa-Format!";
    const struct {
        const char *name;
        std::vector<uint8_t> bytes;
        const char *message;
    } bad[] = {
        {"lumicard_cut.bmp", cut, wrong},
        {"lumicard_magic.bmp", magic, wrong},
        {"lumicard_huge.bmp", huge, wrong},
        {"lumicard_negw.bmp", negativeWidth, wrong},
        {"lumicard_short.bmp", shortHeader, wrong},
        {"lumicard_bighdr.bmp", bigHeader, wrong},
        {"lumicard_empty.bmp", {}, wrong},
        {"lumicard_cut.tga", MakeTga(2, 2, 24, {1, 2, 3, 4, 5, 6, 7, 8, 9}), wrong},
        {"lumicard_huge.tga", MakeTga(60000, 60000, 32, {1, 2, 3, 4}), wrong},
        {"lumicard_16.tga", MakeTga(2, 1, 16, {1, 2, 3, 4}), depth},
        {"lumicard_head.tga", std::vector<uint8_t>(10, 2), wrong},
        {"lumicard_pic.png", bmp24, wrong},
        {"lumicard_cut.jpeg", std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F'}, wrong},
        {"lumicard_bad.gif", badGif, "Error, Bad GIF Version number"},
        {"lumicard_cut.gif", std::vector<uint8_t>(plainGif.begin(), plainGif.begin() + 20),
         "Error reading GIF file\nGIFScreen Colormap\nGiving up"},
    };
    for (const auto &b : bad) {
        INFO(b.name);
        MsgBoxCapture boxes;
        import(b.name, b.bytes);
        CHECK(Messages(boxes) == std::vector<std::string>{b.message});
        CHECK(SavedPage(d, lmf).size() == 8);
    }
    CHECK(CallI4(d, 59) == 0);  // an unknown picture clears the selection

    d->Release();
    files.push_back(lmf);
    for (const std::string &f : files) DeleteFileA(f.c_str());
}

TEST_CASE("the about box is the module's dialog 1 and closes on OK", "[about]")
{
    Ole ole;
    IDispatch *d = NewControl();
    {
        MsgBoxCapture boxes;
        REQUIRE(Call(d, DISPID_ABOUTBOX, {}) == S_OK);
        REQUIRE(boxes.count() == 1);
        CHECK(boxes.boxes()[0].caption == "About Lumicard Control");
        CHECK(boxes.boxes()[0].text == "Lumicard ActiveX Control, Version 1.0");
    }
    d->Release();
}
