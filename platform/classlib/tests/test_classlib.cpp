/*
 * The dialog class library without a display: handler tables and
 * reflection, modal dialogs from the test's .rc with data exchange and its
 * messages, the application filter inside the modal loop (accelerators,
 * PreTranslateMessage), the profile, the file-dialog filter syntax and the
 * control host's answer when a control is not installed.
 */
#include <catch2/catch.hpp>
#include <windows.h>
#include <functional>
#include "app.h"
#include "filedlg.h"
#include "dialog.h"
#include "olehost.h"
#include "box_capture.h"

using namespace cl;

namespace {

constexpr UINT IDC_INT = 100, IDC_FLOAT = 101, IDC_UINT = 102, IDC_NAME = 103;
constexpr UINT IDD_FIELDS = 200, IDR_KEYS = 300, ID_KEY_F5 = 40001, ID_KEY_CTRL2 = 40002;
constexpr UINT WM_SCRIPT = WM_APP + 1;

class TestApp : public CWinApp {
public:
    TestApp() : CWinApp("ClassLibTest") {}
    HACCEL keys = nullptr;
    HWND target = nullptr;
    int filtered = 0;
    BOOL ProcessMessageFilter(int code, MSG *msg) override
    {
        ++filtered;
        if (TranslateAcceleratorKey(target, keys, msg)) return TRUE;
        return CWinApp::ProcessMessageFilter(code, msg);
    }
};
TestApp theApp;

/* A dialog whose test script runs inside its own modal loop. */
class FieldsDlg : public CDialog {
public:
    FieldsDlg() : CDialog(IDD_FIELDS)
    {
        handlers.Message(WM_SCRIPT, [this](WPARAM, LPARAM) {
            if (script) script(*this);
            return 0;
        });
        handlers.Command(ID_KEY_F5, [this] { ++f5; });
        handlers.Command(ID_KEY_CTRL2, [this] { ++ctrl2; });
    }
    int i = 7;
    float f = 1.0f;
    unsigned u = 3;
    std::string name = "abc";
    int f5 = 0, ctrl2 = 0, inits = 0;
    bool eatEscape = false;
    std::function<void(FieldsDlg &)> script;

    BOOL OnInitDialog() override
    {
        ++inits;
        CDialog::OnInitDialog();
        theApp.target = m_hWnd;
        PostMessage(WM_SCRIPT);
        return TRUE;
    }
    void DoDataExchange(CDataExchange *dx) override
    {
        DDX_Text(dx, IDC_INT, i);
        DDV_MinMaxInt(dx, i, 0, 120);
        DDX_Text(dx, IDC_FLOAT, f);
        DDV_MinMaxFloat(dx, f, 0.1, 10.0);
        DDX_Text(dx, IDC_UINT, u);
        DDV_MinMaxUInt(dx, u, 0, 100);
        DDX_Text(dx, IDC_NAME, name);
    }
    BOOL PreTranslateMessage(MSG *msg) override
    {
        return eatEscape && msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE;
    }
};

/* Posts the script's next step after the current messages are handled. */
void Then(FieldsDlg &d, std::function<void(FieldsDlg &)> next)
{
    d.script = std::move(next);
    d.PostMessage(WM_SCRIPT);
}

} // namespace

TEST_CASE("Handler table: messages, commands by id, code and range, notifications", "[classlib]")
{
    struct Host : CWnd {
        std::vector<std::string> seen;
        Host()
        {
            handlers.Message(WM_APP, [this](WPARAM w, LPARAM) { seen.push_back("app " + std::to_string(w)); return 5; });
            handlers.Command(10, [this] { seen.push_back("cmd 10"); });
            handlers.CommandCode(11, EN_CHANGE, [this] { seen.push_back("change 11"); });
            handlers.CommandRange(20, 24, [this](UINT id) { seen.push_back("range " + std::to_string(id)); });
            handlers.Notify(30, NM_CLICK, [this](NMHDR *) { seen.push_back("notify 30"); return 9; });
        }
    } host;
    REQUIRE(host.CreateEx(0, "STATIC", "", WS_POPUP, RECT{0, 0, 50, 50}, nullptr, 0));
    CHECK(host.SendMessage(WM_APP, 3) == 5);
    host.SendMessage(WM_COMMAND, MAKEWPARAM(10, 0));          /* menu / click */
    host.SendMessage(WM_COMMAND, MAKEWPARAM(10, 1));          /* accelerator */
    host.SendMessage(WM_COMMAND, MAKEWPARAM(10, EN_CHANGE));  /* another code: not a click */
    host.SendMessage(WM_COMMAND, MAKEWPARAM(11, EN_CHANGE));
    host.SendMessage(WM_COMMAND, MAKEWPARAM(11, 0));
    host.SendMessage(WM_COMMAND, MAKEWPARAM(19, 0));
    host.SendMessage(WM_COMMAND, MAKEWPARAM(22, 0));
    host.SendMessage(WM_COMMAND, MAKEWPARAM(24, 1));
    NMHDR nm = {nullptr, 30, (UINT)NM_CLICK};
    CHECK(host.SendMessage(WM_NOTIFY, 30, (LPARAM)&nm) == 9);
    NMHDR other = {nullptr, 31, (UINT)NM_CLICK};
    host.SendMessage(WM_NOTIFY, 31, (LPARAM)&other);
    CHECK(host.seen == std::vector<std::string>{"app 3", "cmd 10", "cmd 10", "change 11", "range 22", "range 24",
                                                "notify 30"});
    /* Unhandled messages reach the window's own procedure. */
    host.SetWindowText("text");
    CHECK(host.GetWindowText() == "text");
    CHECK(CWnd::FromHandle(host.m_hWnd) == &host);
    HWND w = host.m_hWnd;
    host.DestroyWindow();
    CHECK(host.m_hWnd == nullptr);
    CHECK(!IsWindow(w));
}

TEST_CASE("A parent's messages about a child go to the child's object first", "[classlib]")
{
    struct Child : CWnd {
        HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
        int clicks = 0;
        ~Child() override { DeleteObject(brush); }
        BOOL OnChildNotify(UINT msg, WPARAM wp, LPARAM, LRESULT *r) override
        {
            if (msg == WM_CTLCOLORSTATIC) { *r = (LRESULT)brush; return TRUE; }
            if (msg == WM_COMMAND && HIWORD(wp) == STN_CLICKED) ++clicks;
            return FALSE;   /* the parent still sees the click */
        }
    } child;
    struct Parent : CWnd {
        int clicks = 0;
        Parent() { handlers.Command(77, [this] { ++clicks; }); }
    } parent;
    REQUIRE(parent.CreateEx(0, "STATIC", "", WS_POPUP, RECT{0, 0, 100, 100}, nullptr, 0));
    REQUIRE(child.CreateEx(0, "STATIC", "x", WS_CHILD | SS_NOTIFY, RECT{0, 0, 10, 10}, parent.m_hWnd, 77));
    HDC dc = GetDC(child.m_hWnd);
    CHECK(parent.SendMessage(WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)child.m_hWnd) == (LRESULT)child.brush);
    ReleaseDC(child.m_hWnd, dc);
    parent.SendMessage(WM_COMMAND, MAKEWPARAM(77, STN_CLICKED), (LPARAM)child.m_hWnd);
    CHECK(child.clicks == 1);
    CHECK(parent.clicks == 1);
    child.DestroyWindow();
    parent.DestroyWindow();
}

TEST_CASE("Modal dialog exchange: values in and out, range and number messages keep it open", "[classlib]")
{
    BoxCapture boxes;
    FieldsDlg dlg;
    dlg.script = [](FieldsDlg &d) {
        /* The members were written into the controls before the script. */
        CHECK(d.GetDlgItemText(IDC_INT) == "7");
        CHECK(d.GetDlgItemText(IDC_FLOAT) == "1");
        CHECK(d.GetDlgItemText(IDC_UINT) == "3");
        CHECK(d.GetDlgItemText(IDC_NAME) == "abc");
        d.SetDlgItemText(IDC_INT, "121");
        d.SendMessage(WM_COMMAND, IDOK);
        Then(d, [](FieldsDlg &d) {
            CHECK(d.IsModalRunning());
            CHECK(GetFocus() == d.GetDlgItem(IDC_INT));
            d.SetDlgItemText(IDC_INT, " 120 ");
            d.SetDlgItemText(IDC_FLOAT, "ten");
            d.SendMessage(WM_COMMAND, IDOK);
            Then(d, [](FieldsDlg &d) {
                d.SetDlgItemText(IDC_FLOAT, "10.5");
                d.SendMessage(WM_COMMAND, IDOK);
                Then(d, [](FieldsDlg &d) {
                    d.SetDlgItemText(IDC_FLOAT, "2.5");
                    d.SetDlgItemText(IDC_UINT, "-1");
                    d.SendMessage(WM_COMMAND, IDOK);
                    Then(d, [](FieldsDlg &d) {
                        d.SetDlgItemText(IDC_UINT, "101");
                        d.SendMessage(WM_COMMAND, IDOK);
                        Then(d, [](FieldsDlg &d) {
                            d.SetDlgItemText(IDC_UINT, "100");
                            d.SetDlgItemText(IDC_NAME, "new name");
                            d.SendMessage(WM_COMMAND, IDOK);
                        });
                    });
                });
            });
        });
    };
    CHECK(dlg.DoModal() == IDOK);
    CHECK(dlg.i == 120);
    CHECK(dlg.f == 2.5f);
    CHECK(dlg.u == 100);
    CHECK(dlg.name == "new name");
    CHECK(boxes.texts() == std::vector<std::string>{"Please enter an integer between 0 and 120.",
                                                    "Please enter a number.",
                                                    "Please enter a number between 0.1 and 10.",
                                                    "Please enter an integer.",
                                                    "Please enter an integer between 0 and 100."});
    for (const auto &b : boxes.boxes()) CHECK(b.caption == "ClassLibTest");
    CHECK(dlg.m_hWnd == nullptr);
}

TEST_CASE("Cancel (the close box) ends without reading the fields", "[classlib]")
{
    BoxCapture boxes;
    FieldsDlg dlg;
    dlg.script = [](FieldsDlg &d) {
        d.SetDlgItemText(IDC_INT, "55");
        d.SendMessage(WM_CLOSE);   /* the close box is Cancel */
    };
    CHECK(dlg.DoModal() == IDCANCEL);
    CHECK(dlg.i == 7);
    CHECK(boxes.boxes().empty());
}

TEST_CASE("The application filter sees the modal loop's messages: accelerators and pre-translation", "[classlib]")
{
    BoxCapture boxes;
    theApp.keys = LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_KEYS));
    REQUIRE(theApp.keys);
    FieldsDlg dlg;
    dlg.eatEscape = true;
    int before = theApp.filtered;
    dlg.script = [](FieldsDlg &d) {
        HWND edit = d.GetDlgItem(IDC_NAME);
        /* Keys are posted to a control, as typing would deliver them. */
        PostMessageA(edit, WM_KEYDOWN, VK_F5, 0);
        Then(d, [edit](FieldsDlg &d) {
            CHECK(d.f5 == 1);
            BYTE keys[256];
            GetKeyboardState(keys);
            keys[VK_CONTROL] = 0x80;
            SetKeyboardState(keys);
            PostMessageA(edit, WM_KEYDOWN, '2', 0);
            Then(d, [edit](FieldsDlg &d) {
            BYTE keys[256];
            GetKeyboardState(keys);
            keys[VK_CONTROL] = 0;
            SetKeyboardState(keys);
            CHECK(d.f5 == 1);
            CHECK(d.ctrl2 == 1);
            /* Escape is consumed by the dialog's PreTranslateMessage: no Cancel. */
            PostMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0);
            Then(d, [](FieldsDlg &d) {
                CHECK(d.IsModalRunning());
                d.eatEscape = false;
                PostMessageA(d.GetDlgItem(IDC_NAME), WM_KEYDOWN, VK_ESCAPE, 0);
            });
            });
        });
    };
    CHECK(dlg.DoModal() == IDCANCEL);
    CHECK(theApp.filtered > before);
    CHECK(dlg.f5 == 1);
    theApp.keys = nullptr;
}

TEST_CASE("Modeless dialog lives until destroyed; ending one inside OnInitDialog returns its code", "[classlib]")
{
    FieldsDlg modeless;
    REQUIRE(modeless.Create());
    CHECK(modeless.inits == 1);
    CHECK(IsWindow(modeless.m_hWnd));
    CHECK(modeless.GetDlgItemText(IDC_NAME) == "abc");
    modeless.DestroyWindow();
    CHECK(modeless.m_hWnd == nullptr);

    struct Quitting : FieldsDlg {
        BOOL OnInitDialog() override { FieldsDlg::OnInitDialog(); EndDialog(IDABORT); return TRUE; }
    } quitting;
    CHECK(quitting.DoModal() == IDABORT);

    CDialog missing(9999);
    CHECK(missing.DoModal() == -1);
}

TEST_CASE("Profile: defaults, round trips and a missing section", "[classlib]")
{
    CProfile p("Software\\CorvaneTests\\ClassLib");
    p.DeleteAll();
    CHECK(p.GetInt("Corvane", "Missing", 42) == 42);
    CHECK(p.GetString("Corvane", "QuickOpenFolder", "C:\\") == "C:\\");
    CHECK(p.WriteInt("EncodingOption", "ProfileVersion", 3));
    CHECK(p.WriteInt("EncodingOption", "Negative", -5));
    CHECK(p.WriteString("Corvane", "QuickOpenFolder", "D:\\titles\\"));
    CHECK(p.WriteString("EncodingOption\\WindowsMedia", "Empty", ""));
    CHECK(p.GetInt("EncodingOption", "ProfileVersion", 0) == 3);
    CHECK(p.GetInt("EncodingOption", "Negative", 0) == -5);
    CHECK(p.GetString("Corvane", "QuickOpenFolder", "") == "D:\\titles\\");
    CHECK(p.GetString("EncodingOption\\WindowsMedia", "Empty", "x") == "");
    /* A text value read as a number gives the default. */
    CHECK(p.GetInt("Corvane", "QuickOpenFolder", 11) == 11);
    CHECK(p.DeleteAll());
    CHECK(p.GetInt("EncodingOption", "ProfileVersion", 0) == 0);
}

TEST_CASE("File dialog filters: the bar syntax, closing bars and blanks", "[classlib]")
{
    const std::string media =
        "All Media Files(*.avi;*.mpg;*.mpeg;*.dat;*.wmv;*.asf;*.vob;*.bmp;*.gif;*.jpg;)|*.avi;*.mpg;*.mpeg;*.dat;"
        "*.wmv;*.asf;*.vob;*.bmp;*.gif;*.jpg;*.mp3;*.wav;*.wma|AVI Files(*.avi)|*.avi|MPEG 1 Files(*.mpg;*.mpeg)|"
        "*.mpg;*.mpeg|Video CD data(*.dat)|*.dat|WMV Files(*.wmv;*.asf)|*.wmv;*.asf|VOB Files(*.vob)|*.vob;*.vob|"
        "Still Image Files(*.bmp;*.gif;*.jpg)|*.bmp;*.gif;*.jpg |Audio File(*.mp3;*.wav;*.wma)|*.mp3;*.wav;*.wma ||";
    auto pairs = FilterPairs(media);
    REQUIRE(pairs.size() == 8);
    CHECK(pairs[0].second == "*.avi;*.mpg;*.mpeg;*.dat;*.wmv;*.asf;*.vob;*.bmp;*.gif;*.jpg;*.mp3;*.wav;*.wma");
    CHECK(pairs[7] == std::make_pair(std::string("Audio File(*.mp3;*.wav;*.wma)"), std::string("*.mp3;*.wav;*.wma ")));

    struct Row { const char *filter; std::string system; };
    const Row rows[] = {
        {"A|*.a||", std::string("A\0*.a\0\0", 7)},
        {"A|*.a|B|*.b", std::string("A\0*.a\0B\0*.b\0\0", 13)},
        {"A|*.a|B", std::string("A\0*.a\0\0", 7)},      /* a part without its pattern is dropped */
        {"", std::string()},
        {"||", std::string()},
    };
    for (const auto &r : rows) {
        INFO(r.filter);
        CHECK(ConvertFilter(r.filter) == r.system);
    }

    /* One file asked: the system record never allows several. */
    CFileDialog single(true, nullptr, nullptr, 0, media.c_str(), nullptr);
    single.SetTitle("Get Media File Name");
    const OPENFILENAMEA &ofn = single.Ofn();
    CHECK(!(ofn.Flags & OFN_ALLOWMULTISELECT));
    CHECK((ofn.Flags & OFN_FILEMUSTEXIST));
    CHECK(std::string(ofn.lpstrTitle) == "Get Media File Name");
    CHECK(ofn.nMaxFile == MAX_PATH);
    CFileDialog many(true, nullptr, nullptr, OFN_ALLOWMULTISELECT, "Images|*.bmp||", nullptr);
    CHECK((many.Ofn().Flags & OFN_ALLOWMULTISELECT));
}

TEST_CASE("Control host: a class that is not registered leaves a labelled area and no control", "[classlib]")
{
    theApp.AfxEnableControlContainer();
    CWnd parent;
    REQUIRE(parent.CreateEx(0, "STATIC", "", WS_POPUP, RECT{0, 0, 400, 300}, nullptr, 0));
    CLSID nowhere;
    CLSIDFromString(L"{0BADC0DE-1111-2222-3333-444455556666}", &nowhere);
    COleControlHost host;
    CHECK(!host.Create(nowhere, RECT{10, 10, 330, 250}, parent.m_hWnd, 1125, "Title box is not installed"));
    REQUIRE(host.m_hWnd);
    CHECK(GetDlgItem(parent.m_hWnd, 1125) == host.m_hWnd);
    CHECK(host.GetWindowText() == "Title box is not installed");
    CHECK(!host.HasControl());
    CHECK(host.CallMethod(1) == E_NOINTERFACE);
    CHECK(host.ConnectEvents(IID_IDispatch, nullptr) == E_NOINTERFACE);
    parent.DestroyWindow();
}

TEST_CASE("Event sink: answers for its events interface and hands each call on by DISPID", "[classlib][ole]")
{
    /* {45D3C6F3-F1FE-427D-9C78-A77AD9AFA02F}: an events interface of a control. */
    const IID events = {0x45D3C6F3, 0xF1FE, 0x427D, {0x9C, 0x78, 0xA7, 0x7A, 0xD9, 0xAF, 0xA0, 0x2F}};
    std::vector<std::pair<DISPID, int>> calls;
    IDispatch *sink = CreateEventSink(events, [&](DISPID id, DISPPARAMS *p) {
        int arg = p && p->cArgs ? V_I4(&p->rgvarg[0]) : -1;
        calls.emplace_back(id, arg);
    });
    IUnknown *asEvents = nullptr;
    REQUIRE(sink->QueryInterface(events, reinterpret_cast<void **>(&asEvents)) == S_OK);
    IUnknown *other = nullptr;
    CHECK(sink->QueryInterface(IID_IOleObject, reinterpret_cast<void **>(&other)) == E_NOINTERFACE);
    CHECK(other == nullptr);
    VARIANT arg;
    V_VT(&arg) = VT_I4;
    V_I4(&arg) = 1;
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    VARIANT result;
    CHECK(sink->Invoke(28, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr) == S_OK);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    CHECK(sink->Invoke(29, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr) == S_OK);
    CHECK(calls == std::vector<std::pair<DISPID, int>>{{28, 1}, {29, -1}});
    CHECK(asEvents->Release() == 1);
    CHECK(sink->Release() == 0);
}
