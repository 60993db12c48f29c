/*
 * The main window's smaller operator functions over the real engine: the
 * colour correction dialog and its effect on the programme, background
 * music, TV output placed by the monitor list (a stand-in layout or the
 * display's own), the work space, volume and help, and the transition-time
 * field's correction.
 */
#define CATCH_CONFIG_RUNNER
#include <catch2/catch.hpp>
#include "test_paths.h"
#include <windows.h>
#include <commctrl.h>
#include <memory>
#include "box_capture.h"
#include "engine_calls.h"
#include "mixer_app.h"
#include "mixer_dlg.h"
#include "mixer_script.h"
#include "operator_extras.h"
#include "pattern_palette.h"
#include "resource.h"
#include "screen_shot.h"

namespace {

CMixerApp theApp;

std::string Clip(const char *name) { return testpaths::ClipPath("MIXER_CLIPS", "mixerclips", name); }

/* The engine calls of these functions, recorded and passed on to the real engine. */
struct Recorded {
    std::vector<std::string> calls;
    EngineCalls real;
};
Recorded *g_rec = nullptr;

void WINAPI R_SetHSLEffect(int h, int s, int l)
{
    g_rec->calls.push_back(cl::Format("SetHSLEffect %d %d %d", h, s, l));
    g_rec->real.SetHSLEffect(h, s, l);
}
int WINAPI R_SetBackMusic(BOOL on)
{
    g_rec->calls.push_back(cl::Format("SetBackMusic %d", on));
    return g_rec->real.SetBackMusic(on);
}
HANDLE WINAPI R_SetTVOutWnd(HWND w)
{
    g_rec->calls.push_back(cl::Format("SetTVOutWnd %p", (void *)w));
    return g_rec->real.SetTVOutWnd(w);
}
BOOL WINAPI R_StartTVOut()
{
    g_rec->calls.push_back("StartTVOut");
    return g_rec->real.StartTVOut();
}
void *WINAPI R_StopTVOut()
{
    g_rec->calls.push_back("StopTVOut");
    return g_rec->real.StopTVOut();
}

/* One run of the main window over the real engine with the calls above recorded. */
struct ExtrasRun {
    EngineCalls saved = g_engine;
    Recorded rec;
    CMixerDlg dlg;
    MixerScript script;

    ExtrasRun()
    {
        theApp.profile.SetRoot("Software\\CorvaneTests\\MixerExtras");
        theApp.profile.DeleteAll();
        rec.real = g_engine;
        g_rec = &rec;
        g_engine.SetHSLEffect = R_SetHSLEffect;
        g_engine.SetBackMusic = R_SetBackMusic;
        g_engine.SetTVOutWnd = R_SetTVOutWnd;
        g_engine.StartTVOut = R_StartTVOut;
        g_engine.StopTVOut = R_StopTVOut;
        theApp.m_lpCmdLine = "";
        theApp.Prepare(dlg);
        dlg.startupPictureMs = 0;
        dlg.askWorkSpace = [](int *c) { *c = 0; return true; };
    }
    ~ExtrasRun()
    {
        g_engine = saved;
        g_rec = nullptr;
        theApp.m_pMainWnd = nullptr;
        CMonitorList::StandIn().clear();
    }
    void Run()
    {
        script.Start([this] {
            if (dlg.m_hWnd) ::PostMessageA(dlg.m_hWnd, WM_CLOSE, 0, 0);
        });
        dlg.DoModal();
        INFO("script step that ran out of time: " << script.Failed());
        CHECK(script.Failed().empty());
        CHECK(script.Finished());
    }
    int Count(const std::string &prefix) const
    {
        int n = 0;
        for (const auto &c : rec.calls) n += c.compare(0, prefix.size(), prefix) == 0;
        return n;
    }
};

void Click(CMixerDlg &d, UINT id)
{
    d.SendMessage(WM_COMMAND, MAKEWPARAM(id, STN_CLICKED), (LPARAM)d.GetDlgItem(id));
}

bool InRegion(HWND w, int x, int y)
{
    HRGN r = CreateRectRgn(0, 0, 0, 0);
    bool in = GetWindowRgn(w, r) != ERROR && PtInRegion(r, x, y);
    DeleteObject(r);
    return in;
}

bool Bars(HWND wnd, std::string *why)
{
    ScreenShot s = ScreenShot::Window(wnd);
    unsigned red = s.At(s.w / 8, s.h / 4), blue = s.At(5 * s.w / 8, s.h / 4);
    *why = cl::Format("left bar %06x, third bar %06x", red, blue);
    return ScreenShot::Near(red, 0xFF0000, 50) && ScreenShot::Near(blue, 0x0000FF, 50);
}

} // namespace

TEST_CASE("The transition-time field is corrected on every update", "[extras][time]")
{
    struct Row { const char *typed, *shown; } rows[] = {
        {"12", "10.0"}, {"-1", "0.1"}, {"", ""}, {"abc", "0.1"}, {"-", "0.1"}, {"10.5", "10.0"},
        {"10.0", "10.0"}, {"10", "10"}, {"0", "0"}, {"5.5", "5.5"}, {"0.", "0."}, {"3x", "3x"},
    };
    for (const Row &r : rows) {
        std::string out = r.typed;
        std::string fixed;
        if (CorrectTransTimeField(r.typed, &fixed)) out = fixed;
        INFO("typed \"" << r.typed << "\"");
        CHECK(out == r.shown);
    }

    BoxCapture boxes;
    ExtrasRun run;
    CMixerDlg &d = run.dlg;
    run.script.Then("type into the field", [&] {
        if (!d.EngineStarted()) return false;
        HWND edit = d.GetDlgItem(IDC_TRANS_TIME);
        for (const Row &r : {Row{"12", "10.0"}, Row{"-1", "0.1"}, Row{"", ""}, Row{"2.5", "2.5"}}) {
            ::SetWindowTextA(edit, r.typed);
            INFO("typed \"" << r.typed << "\"");
            CHECK(d.GetDlgItemText(IDC_TRANS_TIME) == r.shown);
        }
        /* Keys typed one by one: "1", "2" makes "12", which reads "10.0". */
        ::SetWindowTextA(edit, "");
        ::SendMessageA(edit, WM_CHAR, '1', 0);
        CHECK(d.GetDlgItemText(IDC_TRANS_TIME) == "1");
        ::SendMessageA(edit, WM_CHAR, '2', 0);
        CHECK(d.GetDlgItemText(IDC_TRANS_TIME) == "10.0");
        return true;
    });
    run.Run();
    CHECK(boxes.texts().empty());
}

TEST_CASE("Colour correction: dialog 312 hands its offsets to the engine on OK only", "[extras][hsl]")
{
    BoxCapture boxes;
    ExtrasRun run;
    CMixerDlg &d = run.dlg;
    CHslEffectDlg *hsl = nullptr;
    HWND hslWnd = nullptr;
    int opened = 0;
    d.hslDialogScript = [&](CHslEffectDlg &h) {
        hsl = &h;
        hslWnd = h.m_hWnd;
        ++opened;
    };
    auto open = [&] {
        hsl = nullptr;
        d.PostMessage(WM_COMMAND, ID_HSL_EFFECT);
        return true;
    };
    auto closed = [&] { return !IsWindow(hslWnd); };
    auto field = [&](int i) { return hsl->GetDlgItemText(GetDlgCtrlID(hsl->Field(i))); };
    auto pos = [&](int i) { return (int)SendMessageA(hsl->Slider(i), TBM_GETPOS, 0, 0); };
    auto moveSlider = [&](int i, int p) {
        SendMessageA(hsl->Slider(i), TBM_SETPOS, TRUE, p);
        hsl->SendMessage(WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, p), (LPARAM)hsl->Slider(i));
    };
    std::string why;

    run.script.Then("channel 1 on air", [&] {
        if (!d.EngineStarted()) return false;
        REQUIRE(d.OpenFileOnChannel(0, Clip("channel1.avi")));
        REQUIRE(d.deck.onAir == 1);
        d.deck.OnPlay(1);
        return true;
    })
        .Then("the programme shows the clip's bars", [&] { return Bars(d.ProgrammeWindow(), &why); })
        .Then("open the dialog", open)
        .Then("its skin, outline, layout and starting values", [&] {
            if (!hsl) return false;
            RECT r = hsl->GetWindowRect();
            CHECK(r.right - r.left == 300);
            CHECK(r.bottom - r.top == 200);
            CHECK(InRegion(hslWnd, 150, 100));
            CHECK(InRegion(hslWnd, 0, 9));
            CHECK_FALSE(InRegion(hslWnd, 0, 0));
            CHECK_FALSE(InRegion(hslWnd, 299, 199));
            RECT s = {};
            GetWindowRect(hsl->Slider(0), &s);
            CHECK(s.left - r.left == 28);
            CHECK(s.top - r.top == 58);
            CHECK(s.right - s.left == 212);
            GetWindowRect(hsl->Field(2), &s);
            CHECK(s.left - r.left == 251);
            CHECK(s.top - r.top == 132);
            const int maxima[3] = {360, 200, 200};
            for (int i = 0; i < 3; ++i) {
                CHECK(SendMessageA(hsl->Slider(i), TBM_GETRANGEMIN, 0, 0) == 0);
                CHECK(SendMessageA(hsl->Slider(i), TBM_GETRANGEMAX, 0, 0) == maxima[i]);
                CHECK(field(i) == "0");
                CHECK(pos(i) == maxima[i] / 2);
            }
            ScreenShot::Window(hslWnd).Save("mixer_hsl_dialog.bmp");
            return true;
        })
        .Then("hue slider to 0 shows -180; a field moves its slider; nothing sent yet", [&] {
            moveSlider(0, 0);
            CHECK(field(0) == "-180");
            moveSlider(2, 130);
            CHECK(field(2) == "30");
            hsl->SetDlgItemText(IDC_HSL_SAT_EDIT, "50");
            CHECK(pos(1) == 150);
            hsl->SetDlgItemText(IDC_HSL_SAT_EDIT, "-");   /* typing: the slider stays */
            CHECK(pos(1) == 150);
            hsl->SetDlgItemText(IDC_HSL_SAT_EDIT, "50");
            CHECK(run.Count("SetHSLEffect") == 0);
            hsl->SendMessage(WM_COMMAND, IDOK);
            return true;
        })
        .Then("OK: hue, saturation, lightness in that order", [&] {
            if (!closed()) return false;
            REQUIRE(run.Count("SetHSLEffect") == 1);
            CHECK(run.rec.calls.back() == "SetHSLEffect -180 50 30");
            CHECK(d.m_nHue == -180);
            CHECK(d.m_nSaturation == 50);
            CHECK(d.m_nLightness == 30);
            return true;
        })
        .Then("the programme's red bar turns away from red", [&] {
            ScreenShot s = ScreenShot::Window(d.ProgrammeWindow());
            unsigned c = s.At(s.w / 8, s.h / 4);
            why = cl::Format("left bar %06x", c);
            return ScreenShot::G(c) > ScreenShot::R(c) && ScreenShot::B(c) > ScreenShot::R(c);
        })
        .Then("screenshot", [&] {
            ScreenShot::Window(d.m_hWnd).Save("mixer_hsl_programme.bmp");
            return true;
        })
        .Then("open again", open)
        .Then("the dialog starts from the stored offsets; Reset, then Cancel sends nothing", [&] {
            if (!hsl) return false;
            CHECK(field(0) == "-180");
            CHECK(field(1) == "50");
            CHECK(field(2) == "30");
            CHECK(pos(0) == 0);
            hsl->SendMessage(WM_COMMAND, IDC_HSL_RESET);
            for (int i = 0; i < 3; ++i) CHECK(field(i) == "0");
            CHECK(pos(0) == 180);
            CHECK(pos(1) == 100);
            hsl->SendMessage(WM_COMMAND, IDCANCEL);
            return true;
        })
        .Then("Cancel changed nothing", [&] {
            if (!closed()) return false;
            CHECK(run.Count("SetHSLEffect") == 1);
            CHECK(d.m_nHue == -180);
            return true;
        })
        .Then("open a third time", open)
        .Then("out-of-range values are refused by the range check", [&] {
            if (!hsl) return false;
            hsl->SetDlgItemText(IDC_HSL_HUE_EDIT, "200");
            hsl->SendMessage(WM_COMMAND, IDOK);
            CHECK(IsWindow(hslWnd));
            hsl->SetDlgItemText(IDC_HSL_HUE_EDIT, "0");
            hsl->SetDlgItemText(IDC_HSL_LIGHT_EDIT, "-101");
            hsl->SendMessage(WM_COMMAND, IDOK);
            CHECK(IsWindow(hslWnd));
            hsl->SetDlgItemText(IDC_HSL_LIGHT_EDIT, "-100");
            hsl->SendMessage(WM_COMMAND, IDOK);
            return true;
        })
        .Then("the corrected values go through", [&] {
            if (!closed()) return false;
            CHECK(run.rec.calls.back() == "SetHSLEffect 0 50 -100");
            /* The engine keeps its offsets from one start to the next: leave it neutral. */
            run.rec.real.SetHSLEffect(0, 0, 0);
            return true;
        });
    run.Run();
    INFO(why);
    CHECK(opened == 3);
    std::vector<std::string> expect = {"Please enter an integer between -180 and 180.",
                                       "Please enter an integer between -100 and 100."};
    CHECK(boxes.texts() == expect);
}

TEST_CASE("Background music toggles only while every channel is empty", "[extras][music]")
{
    BoxCapture boxes;
    ExtrasRun run;
    CMixerDlg &d = run.dlg;
    run.script.Then("on and off with empty channels", [&] {
        if (!d.EngineStarted()) return false;
        CHECK(d.ButtonState(IDC_BACKMUSIC) == 1);
        run.rec.calls.clear();
        Click(d, IDC_BACKMUSIC);
        CHECK(d.deck.backgroundMusic == 1);
        CHECK(d.ButtonState(IDC_BACKMUSIC) == 0);
        Click(d, IDC_BACKMUSIC);
        CHECK(d.deck.backgroundMusic == 0);
        CHECK(d.ButtonState(IDC_BACKMUSIC) == 1);
        CHECK(run.rec.calls == std::vector<std::string>{"SetBackMusic 1", "SetBackMusic 0"});
        Click(d, IDC_BACKMUSIC);
        return true;
    })
        .Then("the remote guard", [&] {
            d.m_bRemoteMode = 1;
            Click(d, IDC_BACKMUSIC);
            CHECK(d.deck.backgroundMusic == 1);
            d.m_bRemoteCommand = 1;   /* a request running changes nothing */
            Click(d, IDC_BACKMUSIC);
            CHECK(d.deck.backgroundMusic == 1);
            d.m_bRemoteMode = d.m_bRemoteCommand = 0;
            CHECK(boxes.texts().empty());
            return true;
        })
        .Then("a source on a channel: the message, and nothing changes", [&] {
            REQUIRE(d.OpenFileOnChannel(2, Clip("channel3.avi")));
            size_t calls = run.rec.calls.size();
            Click(d, IDC_BACKMUSIC);
            CHECK(d.deck.backgroundMusic == 1);
            CHECK(d.ButtonState(IDC_BACKMUSIC) == 0);
            CHECK(run.rec.calls.size() == calls);
            return true;
        });
    run.Run();
    CHECK(boxes.texts() == std::vector<std::string>{"Backround Music mode must be enabled first."});
}

TEST_CASE("TV output goes to the second monitor of the monitor list", "[extras][tvout]")
{
    struct Layout {
        const char *name;
        std::vector<RECT> monitors;
        int chosen;
        bool onScreen;   /* inside the virtual display: its pixels are checked */
    } layouts[] = {
        {"second monitor to the right", {{0, 0, 400, 300}, {420, 310, 740, 550}}, 1, true},
        {"the second enumerated monitor is the primary", {{380, 200, 700, 440}, {0, 0, 360, 190}}, 0, true},
        {"three monitors, the second to the left", {{0, 0, 400, 300}, {-320, 0, 0, 240}, {400, 0, 800, 600}}, 1,
         false},
    };
    for (const Layout &l : layouts) {
        DYNAMIC_SECTION(l.name)
        {
            BoxCapture boxes;
            ExtrasRun run;
            CMixerDlg &d = run.dlg;
            CMonitorList::StandIn() = l.monitors;
            HWND tv = nullptr, video = nullptr;
            std::string why;
            run.script.Then("channel 1 on air, TV out on", [&] {
                if (!d.EngineStarted()) return false;
                REQUIRE(d.OpenFileOnChannel(0, Clip("channel1.avi")));
                d.deck.OnPlay(1);
                run.rec.calls.clear();
                Click(d, IDC_TVOUT);
                REQUIRE(d.m_pTvOutDlg);
                tv = d.m_pTvOutDlg->m_hWnd;
                video = d.m_pTvOutDlg->VideoArea();
                CHECK(d.m_bTvOut == 1);
                CHECK(d.ButtonState(IDC_TVOUT) == 0);
                RECT want = l.monitors[l.chosen], got = {}, area = {}, client = {};
                GetWindowRect(tv, &got);
                CHECK(EqualRect(&got, &want));
                GetWindowRect(video, &area);
                GetClientRect(tv, &client);
                MapWindowPoints(tv, nullptr, (POINT *)&client, 2);
                CHECK(EqualRect(&area, &client));
                CHECK(IsWindowVisible(tv));
                CHECK(GetWindow(tv, GW_OWNER) == d.m_hWnd);
                std::vector<std::string> expect = {cl::Format("SetTVOutWnd %p", (void *)video), "StartTVOut"};
                CHECK(run.rec.calls == expect);
                return true;
            })
                .Then("the TV-out window shows the programme", [&] {
                    return !l.onScreen || Bars(video, &why);
                })
                .Then("Esc and Enter do not close it; it follows its size", [&] {
                    SendMessageA(tv, WM_COMMAND, IDCANCEL, 0);
                    SendMessageA(tv, WM_COMMAND, IDOK, 0);
                    CHECK(IsWindow(tv));
                    MoveWindow(tv, 10, 10, 200, 150, TRUE);
                    RECT area = {};
                    GetClientRect(video, &area);
                    RECT client = {};
                    GetClientRect(tv, &client);
                    CHECK(EqualRect(&area, &client));
                    if (l.onScreen) ScreenShot::Window(tv).Save("mixer_tvout.bmp");
                    return true;
                })
                .Then("off: engine stopped, window gone", [&] {
                    Click(d, IDC_TVOUT);
                    CHECK(d.m_bTvOut == 0);
                    CHECK(d.m_pTvOutDlg == nullptr);
                    CHECK_FALSE(IsWindow(tv));
                    CHECK(d.ButtonState(IDC_TVOUT) == 1);
                    CHECK(run.rec.calls.back() == "StopTVOut");
                    return true;
                })
                .Then("on again makes a new window", [&] {
                    Click(d, IDC_TVOUT);
                    REQUIRE(d.m_pTvOutDlg);
                    tv = d.m_pTvOutDlg->m_hWnd;
                    CHECK(IsWindow(tv));
                    CHECK(run.Count("StartTVOut") == 2);
                    return true;
                })
                .Then("New Project turns TV out wholly off", [&] {
                    d.SendMessage(WM_COMMAND, ID_NEW_PROJECT);
                    CHECK(d.m_bTvOut == 0);
                    CHECK(d.m_pTvOutDlg == nullptr);
                    CHECK_FALSE(IsWindow(tv));
                    CHECK(d.ButtonState(IDC_TVOUT) == 1);
                    CHECK(run.rec.calls.back() == "StopTVOut");
                    SetForegroundWindow(d.m_hWnd);
                    MouseClick(d.GetDlgItem(IDC_TVOUT));
                    return true;
                })
                .Then("one click on the button turns it on again", [&] {
                    if (!d.m_pTvOutDlg) return false;
                    tv = d.m_pTvOutDlg->m_hWnd;
                    CHECK(d.m_bTvOut == 1);
                    CHECK(IsWindow(tv));
                    CHECK(d.ButtonState(IDC_TVOUT) == 0);
                    CHECK(run.Count("StartTVOut") == 3);
                    return true;
                }, 5000);
            run.Run();
            /* Closing the mixer with TV output on takes the TV-out window with it. */
            CHECK_FALSE(IsWindow(tv));
            CHECK(d.m_pTvOutDlg == nullptr);
            INFO(why);
            CHECK(boxes.texts().empty());
        }
    }

    SECTION("one monitor: the message, the button stays off")
    {
        BoxCapture boxes;
        ExtrasRun run;
        CMixerDlg &d = run.dlg;
        CMonitorList::StandIn() = {{0, 0, 1024, 768}};
        run.script.Then("switch on", [&] {
            if (!d.EngineStarted()) return false;
            Click(d, IDC_TVOUT);
            CHECK(d.m_bTvOut == 0);
            CHECK(d.m_pTvOutDlg == nullptr);
            CHECK(d.ButtonState(IDC_TVOUT) == 1);
            CHECK(run.Count("StartTVOut") == 0);
            return true;
        });
        run.Run();
        CHECK(boxes.texts() == std::vector<std::string>{"There is no secondary monitor !!"});
    }
}

TEST_CASE("The display's own monitor list", "[extras][tvout]")
{
    CMonitorList::StandIn().clear();
    CMonitorList list;
    list.Build();
    REQUIRE(CMonitorList::SystemCount() >= 1);
    REQUIRE(list.monitors.size() == (size_t)CMonitorList::SystemCount());
    int primaries = 0;
    for (const auto &m : list.monitors) {
        RECT r = m.FullRect();
        CHECK(r.right > r.left);
        CHECK(r.bottom > r.top);
        CHECK(m.Handle() != nullptr);
        primaries += m.IsPrimary();
    }
    CHECK(primaries == 1);
    if (list.monitors.size() == 1) CHECK(list.TvOutIndex() == -1);
}

TEST_CASE("Master volume and help", "[extras][help]")
{
    BoxCapture boxes;
    ExtrasRun run;
    CMixerDlg &d = run.dlg;
    std::vector<std::string> started;
    d.startProgram = [&](const char *line) { started.push_back(line); };
    HWND help[2] = {};
    run.script.Then("master volume", [&] {
        if (!d.EngineStarted()) return false;
        d.SendMessage(WM_COMMAND, ID_MASTER_VOLUME);
        CHECK(started == std::vector<std::string>{"sndvol32.exe -r -d0"});
        return true;
    })
        .Then("no help file next to the program", [&] {
            CHECK(GetFileAttributesA(CMixerDlg::HelpFilePath().c_str()) == INVALID_FILE_ATTRIBUTES);
            CHECK(CMixerDlg::HelpFilePath().size() > 12);
            CHECK(CMixerDlg::HelpFilePath().substr(CMixerDlg::HelpFilePath().size() - 12) == "\\Corvane.chm");
            d.SendMessage(WM_COMMAND, ID_HELP_TOPICS);
            CHECK(boxes.texts() == std::vector<std::string>{"Help file not found."});
            return true;
        })
        .Then("an open help window (either title) is brought back instead", [&] {
            static const WCHAR korean[] = {'S', 'a', 'f', 'f', 'r', 'e', 'l', ' ', 0xB3C4, 0xC6C0, 0xB9D0, 0};
            help[0] = CreateWindowExW(0, (const WCHAR *)u"Static", korean, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                      nullptr, nullptr, nullptr, nullptr);
            help[1] = CreateWindowExA(0, "Static", "Saffrel Help", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                      nullptr, nullptr, nullptr);
            for (HWND h : help) {
                ShowWindow(h, SW_SHOWMINIMIZED);
                REQUIRE(IsIconic(h));
                d.SendMessage(WM_COMMAND, ID_HELP_TOPICS);
                CHECK_FALSE(IsIconic(h));
                DestroyWindow(h);
            }
            CHECK(boxes.texts().size() == 1);
            return true;
        });
    run.Run();
}

TEST_CASE("The main window goes back to (0, 0) and 1016 by 769 when resized", "[extras][size]")
{
    ExtrasRun run;
    CMixerDlg &d = run.dlg;
    run.script.Then("resize", [&] {
        if (!d.EngineStarted()) return false;
        for (RECT r : {RECT{40, 30, 840, 630}, RECT{100, 100, 1200, 900}}) {
            MoveWindow(d.m_hWnd, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
            RECT now = d.GetWindowRect();
            CHECK(now.left == 0);
            CHECK(now.top == 0);
            CHECK(now.right == 1016);
            CHECK(now.bottom == 769);
        }
        return true;
    });
    run.Run();
}

TEST_CASE("The work-space question at start: 720 x 480 reaches the engine and the title area", "[extras][workspace]")
{
    BoxCapture boxes;
    ExtrasRun run;
    CMixerDlg &d = run.dlg;
    d.askWorkSpace = nullptr;   /* the real dialog */
    run.script.Then("the dialog asks; 640 x 480 shows the note; 720 x 480 is taken", [&] {
        HWND ws = FindWindowA(nullptr, "Set Work Space");
        if (!ws) return false;
        HWND list = GetDlgItem(ws, IDC_WS_SIZE);
        CHECK(SendMessageA(list, CB_GETCURSEL, 0, 0) == 0);
        char item[32] = {};
        SendMessageA(list, CB_GETLBTEXT, 2, (LPARAM)item);
        CHECK(std::string(item) == "720 x 480");
        for (int at : {1, 2}) {
            SendMessageA(list, CB_SETCURSEL, at, 0);
            SendMessageA(ws, WM_COMMAND, MAKEWPARAM(IDC_WS_SIZE, CBN_SELCHANGE), (LPARAM)list);
            char note[96] = {};
            GetDlgItemTextA(ws, IDC_WS_NOTE, note, sizeof note);
            CHECK(std::string(note) == (at == 1 ? "This setting will require heavy system performance." : ""));
        }
        SendMessageA(ws, WM_COMMAND, IDOK, 0);
        return true;
    })
        .Then("the size", [&] {
            if (!d.EngineStarted()) return false;
            CHECK(d.m_nSurfaceWidth == 720);
            CHECK(d.m_nSurfaceHeight == 480);
            RECT r = {};
            GetWindowRect(d.GetDlgItem(IDC_TITLEBOX), &r);
            MapWindowPoints(nullptr, d.m_hWnd, (POINT *)&r, 2);
            CHECK(r.left == 418);
            CHECK(r.top == 285);
            CHECK(r.bottom - r.top == 213);
            return true;
        });
    run.Run();
    CHECK(boxes.texts().empty());
}

TEST_CASE("A pattern picked in the Transition Effect menu is the one the switch plays", "[extras][pattern]")
{
    BoxCapture boxes;
    ExtrasRun run;
    CMixerDlg &d = run.dlg;
    run.script.Then("pick and switch", [&] {
        if (!d.EngineStarted()) return false;
        for (int pattern : {1, 20, 37, 0}) {
            d.SendMessage(WM_COMMAND, ID_PATTERN_FIRST + pattern);
            CHECK(d.m_nTransition == pattern);
            CHECK(d.switcher.transition == pattern);
        }
        return true;
    });
    run.Run();
}

int main(int argc, char *argv[])
{
    return Catch::Session().run(argc, argv);
}
