/*
 * The mixer's main window on a (virtual) display over the real engine:
 * start-up order, size, region and skin, five generated clips in five
 * channel windows and the on-air channel in the programme window, the
 * source dialog with its file filters, time labels from the engine's
 * reports, keys through real input inside the modal loop, bad sources, the
 * remote-controlled mode and the small start-up windows.  Screenshots go to
 * the artefacts folder.
 */
#define CATCH_CONFIG_RUNNER
#include <catch2/catch.hpp>
#include <windows.h>
#include "box_capture.h"
#include "dialogs.h"
#include "engine_calls.h"
#include "mixer_app.h"
#include "mixer_dlg.h"
#include "mixer_script.h"
#include "resource.h"
#include "operator_ids.h"
#include "screen_shot.h"

namespace {

CMixerApp theApp;

const unsigned kBottom[CHANNELS + 1] = {0, 0xFFFF00, 0x00FFFF, 0xFF00FF, 0xFF8000, 0x808080};

std::string Clip(const char *name)
{
    const char *dir = getenv("MIXER_CLIPS");
    std::string unix = std::string(dir ? dir : "mixerclips") + "/" + name;
    std::string dos = "Z:" + unix;
    for (char &c : dos)
        if (c == '/') c = '\\';
    return dos;
}

std::vector<std::string> ReadLines(const std::string &path)
{
    std::vector<std::string> lines;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return lines;
    std::string all;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof(buf), &got, nullptr) && got) all.append(buf, got);
    CloseHandle(f);
    std::string line;
    for (char c : all) {
        if (c == '\r') continue;
        if (c == '\n') { lines.push_back(line); line.clear(); }
        else line += c;
    }
    return lines;
}

/* One run of the main window with an engine-call trace. */
struct MixerRun {
    EngineCalls saved = g_engine;
    std::string trace;
    int workSpaceAsked = 0;
    int workSpaceChoice = 0;
    CMixerDlg dlg;
    MixerScript script;
    bool closeAtEnd = true;

    explicit MixerRun(const char *commandLine = "")
    {
        theApp.profile.SetRoot("Software\\CorvaneTests\\Mixer");
        theApp.profile.DeleteAll();
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        trace = std::string(dir) + "mixer_trace.txt";
        DeleteFileA(trace.c_str());
        TraceEngineCalls(trace.c_str());
        theApp.m_lpCmdLine = commandLine;
        theApp.Prepare(dlg);
        dlg.startupPictureMs = 0;
        dlg.askWorkSpace = [this](int *c) { ++workSpaceAsked; *c = workSpaceChoice; return true; };
    }
    ~MixerRun()
    {
        g_engine = saved;
        theApp.m_pMainWnd = nullptr;
    }
    INT_PTR Run()
    {
        /* Keys typed in an earlier run that its window did not take are not for this one. */
        MSG m;
        while (PeekMessageA(&m, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
        }
        script.Start([this] {
            if (closeAtEnd && dlg.m_hWnd) ::PostMessageA(dlg.m_hWnd, WM_CLOSE, 0, 0);
        });
        INT_PTR r = dlg.DoModal();
        INFO("script step that ran out of time: " << script.Failed());
        CHECK(script.Failed().empty());
        CHECK(script.Finished());
        return r;
    }
    std::vector<std::string> Calls() const { return ReadLines(trace); }
};

/* The channel window's picture shows the clip of channel k (bars on top, its colour below). */
bool ShowsClip(HWND wnd, int k, std::string *why = nullptr)
{
    ScreenShot s = ScreenShot::Window(wnd);
    struct P { int x, y; unsigned c; };
    int w = s.w, h = s.h;
    const P points[] = {{w / 8, h / 4, 0xFF0000}, {3 * w / 8, h / 4, 0x00FF00}, {5 * w / 8, h / 4, 0x0000FF},
                        {7 * w / 8, h / 4, 0xFFFFFF}, {w / 2, 3 * h / 4, kBottom[k]}};
    for (const auto &p : points) {
        if (!ScreenShot::Near(s.At(p.x, p.y), p.c, 40)) {
            if (why) *why = cl::Format("(%d,%d) is %06x, not %06x", p.x, p.y, s.At(p.x, p.y), p.c);
            return false;
        }
    }
    return true;
}

/* Ends a popup menu from its own loop, noting its button's state then. */
CMixerDlg *g_menuOwner = nullptr;
int g_menuButtonDuring = -1;
void CALLBACK EndMenuLater(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    g_menuButtonDuring = g_menuOwner->ButtonState(IDC_MENU_FIRST + 1);
    EndMenu();
}

bool InRegion(HWND wnd, int x, int y)
{
    HRGN r = CreateRectRgn(0, 0, 0, 0);
    bool in = GetWindowRgn(wnd, r) != ERROR && PtInRegion(r, x, y);
    DeleteObject(r);
    return in;
}

} // namespace

TEST_CASE("Start-up: engine calls in order, 1016x769 shaped window with its skin; exit with nothing open", "[window]")
{
    BoxCapture boxes;
    MixerRun run;
    run.workSpaceChoice = 2;
    CMixerDlg &d = run.dlg;
    run.script.Wait(800).Then("look", [&] {
        RECT wr = d.GetWindowRect();
        CHECK(wr.left == 0);
        CHECK(wr.top == 0);
        CHECK(wr.right - wr.left == 1016);
        CHECK(wr.bottom - wr.top == 769);
        CHECK((d.GetStyle() & WS_CAPTION) == 0);
        CHECK(d.GetWindowText() == "Corvane");
        CHECK(FindWindowA(nullptr, "Corvane") == d.m_hWnd);
        /* The 45-point outline: corners cut, the body and the edges inside. */
        struct Pt { int x, y; bool in; };
        for (const auto &p : std::vector<Pt>{{0, 0, false}, {1015, 0, false}, {0, 768, false}, {1015, 768, false},
                                             {2, 2, false}, {10, 5, true}, {508, 384, true}, {1012, 10, true},
                                             {5, 760, true}, {1013, 765, false}, {3, 766, false}, {1000, 767, true}}) {
            INFO(p.x << "," << p.y);
            CHECK(InRegion(d.m_hWnd, p.x, p.y) == p.in);
        }
        /* Work space 720 x 480: the title area is 320 x 213 at y 285. */
        RECT tb = d.TitleBox().GetWindowRect();
        CHECK(tb.left == 418);
        CHECK(tb.top == 285);
        CHECK(tb.right - tb.left == 320);
        CHECK(tb.bottom - tb.top == 213);
        /* Five channel windows and the programme window where the layout puts them. */
        const int xs[5] = {36, 232, 428, 624, 819};
        for (int n = 1; n <= 5; ++n) {
            RECT r;
            GetWindowRect(d.ChannelWindow(n), &r);
            CHECK(r.left == xs[n - 1]);
            CHECK(r.top == 63);
            CHECK(r.right - r.left == 160);
            CHECK(r.bottom - r.top == 120);
        }
        RECT p;
        GetWindowRect(d.ProgrammeWindow(), &p);
        CHECK(p.left == 42);
        CHECK(p.top == 272);
        CHECK(p.right - p.left == 320);
        ScreenShot shot = ScreenShot::Window(d.m_hWnd);
        shot.Save("mixer_start.bmp");
        /* Outside the region the screen behind shows, inside the skin. */
        CHECK(!ScreenShot::Near(shot.At(1, 1), 0x30343E, 6));
        CHECK(ScreenShot::Near(shot.At(10, 30), 0x30343E, 6));       /* panel */
        CHECK(ScreenShot::Near(shot.At(300, 230), 0x30343E, 6));
        CHECK(ScreenShot::Near(shot.At(700, 1), 0x464C5C, 12));   /* the lighter title band */
        CHECK(d.GetDlgItemText(1023) == "00:00:00");
        CHECK(d.GetDlgItemText(IDC_TRANS_TIME) == "1.0");
        CHECK(d.EngineStarted());
        return true;
    }).Then("exit", [&] {
        d.OnExit();   /* nothing open: no question */
        return true;
    });
    run.Run();
    CHECK(boxes.boxes().empty());
    CHECK(run.workSpaceAsked == 1);
    const std::vector<std::string> expected = {
        "SetVideoSurfaceSize", "InitEngine", "SetMainVideoWnd", "SetPrevVideoWnd", "SetPrevVideoWnd",
        "SetPrevVideoWnd", "SetPrevVideoWnd", "SetPrevVideoWnd", "SetMainVideoSize", "SetPreviewVideoSize",
        "StopTVOut", "GetDeviceLists", "GetWM9ConfigNumbers", "ReleaseDeviceLists", "ReleaseEngine"};
    CHECK(run.Calls() == expected);
    CHECK(theApp.profile.GetInt("EncodingOption", "ProfileVersion", -1) == 0);
    CHECK(theApp.profile.GetString("Corvane", "QuickOpenFolder", "") == "C:\\");
}

TEST_CASE("Five clips in five channel windows, the programme shows the on-air channel; keys in the modal loop",
          "[window][sources]")
{
    BoxCapture boxes(IDNO);
    MixerRun run;
    CMixerDlg &d = run.dlg;
    std::vector<std::string> filters;
    int dialogs = 0;
    d.chooseFile = [&](const char *title, const char *filter, std::string *path) {
        CHECK(std::string(title) == "Get Media File Name");
        filters.push_back(filter);
        *path = Clip("channel2.avi");
        return true;
    };
    d.sourceDialogScript = [&](CSourceSelectDlg &s) {
        ++dialogs;
        HWND video = s.GetDlgItem(IDC_SRC_VIDEO), audio = s.GetDlgItem(IDC_SRC_AUDIO);
        if (s.channel != 2) {      /* the dialog of a key test: cancelled */
            s.EndDialog(IDCANCEL);
            return;
        }
        /* The audio list's file choice has its own, shorter filter. */
        int alast = (int)SendMessageA(audio, CB_GETCOUNT, 0, 0) - 1;
        SendMessageA(audio, CB_SETCURSEL, alast, 0);
        s.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_SRC_AUDIO, CBN_SELCHANGE), (LPARAM)audio);
        int last = (int)SendMessageA(video, CB_GETCOUNT, 0, 0) - 1;
        char text[64] = {};
        SendMessageA(video, CB_GETLBTEXT, last, (LPARAM)text);
        CHECK(std::string(text) == "File Source...");
        SendMessageA(video, CB_SETCURSEL, last, 0);
        s.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_SRC_VIDEO, CBN_SELCHANGE), (LPARAM)video);
        CHECK(s.videoName == Clip("channel2.avi"));
        CHECK(s.audioName == Clip("channel2.avi"));
        /* The dialog keeps its size and its 52-point outline. */
        RECT r = s.GetWindowRect();
        CHECK(r.right - r.left == 277);
        CHECK(r.bottom - r.top == 177);
        CHECK(InRegion(s.m_hWnd, 138, 88));
        CHECK(!InRegion(s.m_hWnd, 0, 0));
        s.SendMessage(WM_COMMAND, IDOK);
    };
    run.script.Wait(500)
        .Then("open channel 2 through its dialog", [&] {
            d.OpenChannelSource(2);
            CHECK(dialogs == 1);
            CHECK(d.deck.ch[2].open == 1);
            CHECK(d.deck.preview == 2);
            CHECK(d.deck.onAir == 2);
            CHECK(d.GetDlgItemText(1025) == "00:00:30");
            CHECK(d.ButtonState(1017) == 0);     /* paused at its first frame */
            return true;
        })
        .Then("open the others", [&] {
            for (int n : {1, 3, 4, 5}) {
                std::string clip = Clip(cl::Format("channel%d.avi", n).c_str());
                CHECK(d.OpenFileOnChannel(n - 1, clip));
                CHECK(d.deck.ch[n].video == clip);
                CHECK(d.deck.ch[n].audio == clip);
            }
            CHECK(d.deck.preview == 2);
            CHECK(d.deck.onAir == 2);
            d.SendMessage(WM_COMMAND, 1015);      /* play channel 2 */
            return true;
        })
        .Then("pictures", [&] {
            for (int n = 1; n <= 5; ++n)
                if (!ShowsClip(d.ChannelWindow(n), n)) return false;
            return ShowsClip(d.ProgrammeWindow(), 2);
        })
        .Then("running time from the engine's reports", [&] {
            return d.GetDlgItemText(1024) != "00:00:00";
        })
        .Then("screenshot", [&] {
            ScreenShot::Window(d.m_hWnd).Save("mixer_five_channels.bmp");
            for (int n = 1; n <= 5; ++n) {
                std::string why;
                INFO("channel " << n);
                CHECK(ShowsClip(d.ChannelWindow(n), n, &why));
                INFO(why);
            }
            return true;
        })
        .Then("keys", [&] {
            SetForegroundWindow(d.m_hWnd);
            SetFocus(d.GetDlgItem(IDC_TRANS_TIME));
            Keys({VK_CONTROL}, '3');
            return true;
        })
        .Then("Ctrl+3 selects channel 3", [&] { return d.deck.preview == 3; })
        .Then("Shift+Space switches with a cut even with 5.0 in the time edit", [&] {
            d.SetDlgItemText(IDC_TRANS_TIME, "5.0");
            SetFocus(d.GetDlgItem(IDC_TRANS_TIME));
            Keys({VK_SHIFT}, VK_SPACE);
            return true;
        })
        .Then("the engine's end swaps the roles", [&] {
            return d.deck.onAir == 3 && d.deck.preview == 2 && !d.deck.switching;
        })
        .Then("the cut ran with the edit untouched", [&] {
            CHECK(d.GetDlgItemText(IDC_TRANS_TIME) == "5.0");
            CHECK(d.deck.ch[2].state == CHSTATE_PAUSED);
            CHECK(d.deck.ch[3].state == CHSTATE_RUNNING);
            return true;
        })
        .Then("the + and - buttons step the time edit by half seconds", [&] {
            HWND plus = d.GetDlgItem(IDC_TIME_PLUS), minus = d.GetDlgItem(IDC_TIME_MINUS);
            d.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_TIME_PLUS, BN_CLICKED), (LPARAM)plus);
            CHECK(d.GetDlgItemText(IDC_TRANS_TIME) == "5.5");
            for (int k = 0; k < 2; ++k)
                d.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_TIME_MINUS, BN_CLICKED), (LPARAM)minus);
            CHECK(d.GetDlgItemText(IDC_TRANS_TIME) == "4.5");
            d.SetDlgItemText(IDC_TRANS_TIME, "0.1");
            d.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_TIME_PLUS, BN_CLICKED), (LPARAM)plus);
            CHECK(d.GetDlgItemText(IDC_TRANS_TIME) == "0.5");
            CHECK(d.switcher.transTime == Approx(0.5));
            return true;
        })
        .Then("the T-bar drags channel 2 in and lets go at the top", [&] {
            HWND bar = d.GetDlgItem(IDC_TBAR);
            for (int pos : {3, 10}) {
                SendMessageA(bar, TBM_SETPOS, TRUE, pos);
                d.SendMessage(WM_VSCROLL, MAKEWPARAM(TB_THUMBTRACK, pos), (LPARAM)bar);
                /* The drag runs the transition by hand: lit button, no swap yet. */
                CHECK(d.deck.switching == 1);
                CHECK(d.ButtonState(IDC_SWITCH) == 0);
                CHECK(d.deck.onAir == 3);
            }
            NMHDR nm = {bar, IDC_TBAR, (UINT)NM_RELEASEDCAPTURE};
            d.SendMessage(WM_NOTIFY, IDC_TBAR, (LPARAM)&nm);
            /* Let go at the top: the engine runs the rest, the bar goes home. */
            CHECK(d.switcher.tbarDone == 1);
            CHECK(d.ButtonState(IDC_SWITCH) == 1);
            CHECK(SendMessageA(bar, TBM_GETPOS, 0, 0) == 0);
            return true;
        })
        .Then("the engine's end of the T-bar's transition swaps the roles", [&] {
            return d.deck.onAir == 2 && d.deck.preview == 3 && !d.deck.switching;
        })
        .Then("Alt+1 opens channel 1's source dialog", [&] {
            Keys({VK_MENU}, '1');
            return true;
        })
        .Then("dialog seen", [&] { return dialogs == 2; })
        .Then("Ctrl+U, Esc and Enter change nothing", [&] {
            Keys({VK_CONTROL}, 'U');
            Keys({}, VK_ESCAPE);
            Keys({}, VK_RETURN);
            return true;
        })
        .Wait(300)
        .Then("still open", [&] {
            CHECK(d.IsModalRunning());
            CHECK(boxes.boxes().empty());
            CHECK(d.deck.preview == 3);   /* the selection after the T-bar's switch */
            Keys({VK_MENU}, VK_F4);   /* Exit asks; the answer is No */
            return true;
        })
        .Then("the question", [&] { return boxes.boxes().size() == 1; })
        .Then("answered No", [&] {
            CHECK(boxes.boxes()[0].text == "Do you want to quit ?");
            CHECK(boxes.boxes()[0].caption == "Question");
            CHECK(d.IsModalRunning());
            boxes.answer(IDYES);
            Keys({VK_MENU}, VK_F4);
            return true;
        });
    run.closeAtEnd = false;   /* the keys close it */
    run.Run();
    CHECK(boxes.boxes().size() == 2);
    REQUIRE(filters.size() == 2);
    CHECK(filters[0] == kVideoAudioFilter);
    CHECK(filters[1] == kVideoFilter);
    /* Offered is what the engine opens on such a channel: QuickTime movies,
     * and audio files only for channel 5's background music. */
    for (const char *f : {kVideoFilter, kVideoAudioFilter, kMediaFilter}) {
        INFO(f);
        CHECK(std::string(f).find("*.mov") != std::string::npos);
    }
    for (const char *f : {kVideoFilter, kVideoAudioFilter}) {
        INFO(f);
        CHECK(std::string(f).find("*.mp3") == std::string::npos);
    }
}

TEST_CASE("Bad sources give the engine's texts and an empty channel; the mixer goes on", "[window][sources]")
{
    BoxCapture boxes;
    MixerRun run;
    CMixerDlg &d = run.dlg;
    std::string typed;
    d.sourceDialogScript = [&](CSourceSelectDlg &s) {
        /* Typed into the video list's edit, nothing selected. */
        SetWindowTextA(s.GetDlgItem(IDC_SRC_VIDEO), typed.c_str());
        s.SendMessage(WM_COMMAND, IDOK);
    };
    const std::vector<std::string> sources = {Clip("missing.avi"), Clip("damaged.avi"), Clip("text.avi"),
                                              "dev:No Such Camera"};
    std::vector<std::vector<std::string>> texts;
    run.script.Wait(300).Then("open a good clip first", [&] {
        CHECK(d.OpenFileOnChannel(0, Clip("channel1.avi")));
        return true;
    });
    for (const auto &src : sources) {
        run.script.Then("bad " + src, [&, src] {
            boxes.clear();
            typed = src;
            d.OpenChannelSource(3);
            texts.push_back(boxes.texts());
            CHECK(d.deck.ch[3].open == 0);
            CHECK(d.deck.ch[3].video.empty());
            CHECK(d.GetDlgItemText(1057) == "00:00:00");
            CHECK(d.ButtonState(1044) == 1);
            /* The good channel plays on. */
            CHECK(d.deck.ch[1].open == 1);
            CHECK(d.deck.onAir == 1);
            return true;
        });
    }
    run.script.Then("picture still there", [&] { return ShowsClip(d.ChannelWindow(1), 1); })
        .Then("close", [&] {
            boxes.clear();
            boxes.answer(IDYES);
            d.OnExit();
            return true;
        });
    run.Run();
    REQUIRE(texts.size() == 4);
    for (size_t i = 0; i < texts.size(); ++i) {
        INFO(sources[i]);
        CHECK(texts[i].size() == 1);
    }
    CHECK(texts[3] == std::vector<std::string>{"Video [No Such Camera] is not found."});
}

TEST_CASE("TARNELL: remote-controlled mode asks no work space and ignores the operator", "[window][remote]")
{
    BoxCapture boxes;
    MixerRun run("TARNELL");
    CMixerDlg &d = run.dlg;
    CHECK(d.m_bRemoteMode == 1);
    run.script.Wait(300).Then("operator", [&] {
        CHECK(d.OpenFileOnChannel(1, Clip("channel2.avi")) == false);
        d.m_bRemoteCommand = 1;
        CHECK(d.OpenFileOnChannel(1, Clip("channel2.avi")));
        d.m_bRemoteCommand = 0;
        d.SendMessage(WM_COMMAND, 1015);     /* the operator's play button */
        CHECK(d.deck.ch[2].state == CHSTATE_PAUSED);
        d.OnExit();
        d.OnAbout();
        CHECK(d.IsModalRunning());
        CHECK(boxes.boxes().empty());
        return true;
    });
    run.Run();
    CHECK(run.workSpaceAsked == 0);
}

TEST_CASE("Start-up picture closes by itself after 2 s or at once on a click; About keeps 470x272", "[window][small]")
{
    DWORD t0 = GetTickCount();
    CPopupMessageDlg picture(nullptr);
    picture.DoModal();
    CHECK(GetTickCount() - t0 >= 1900);

    CPopupMessageDlg clicked(nullptr);
    clicked.autoCloseMs = 0;
    MixerScript s;
    s.Then("click", [&] {
        if (!clicked.m_hWnd) return false;
        RECT r = clicked.GetClientRect();
        CHECK(r.right == 470);
        CHECK(r.bottom == 272);
        clicked.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_STARTUP_PICTURE, STN_CLICKED),
                            (LPARAM)clicked.GetDlgItem(IDC_STARTUP_PICTURE));
        return true;
    });
    s.Start(nullptr);
    clicked.DoModal();
    CHECK(s.Finished());

    CWorkSpaceDlg ws(nullptr);
    MixerScript w;
    w.Then("choose 640 x 480", [&] {
        if (!ws.m_hWnd) return false;
        HWND list = ws.GetDlgItem(IDC_WS_SIZE);
        CHECK(ws.GetWindowText() == "Set Work Space");
        CHECK(::SendMessageA(list, CB_GETCOUNT, 0, 0) == 3);
        CHECK(::SendMessageA(list, CB_GETCURSEL, 0, 0) == 0);
        CHECK(ws.GetDlgItemText(IDC_WS_NOTE).empty());
        ::SendMessageA(list, CB_SETCURSEL, 1, 0);
        ws.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_WS_SIZE, CBN_SELCHANGE), (LPARAM)list);
        CHECK(ws.GetDlgItemText(IDC_WS_NOTE) == "This setting will require heavy system performance.");
        ws.SendMessage(WM_COMMAND, IDOK);
        return true;
    });
    w.Start(nullptr);
    CHECK(ws.DoModal() == IDOK);
    CHECK(ws.choice == 1);

    CAboutDlg about(nullptr);
    MixerScript a;
    a.Then("about", [&] {
        if (!about.m_hWnd) return false;
        RECT r = about.GetClientRect();
        CHECK(r.right == 470);
        CHECK(r.bottom == 272);
        CHECK(about.GetWindowText() == "About");
        about.MoveWindow(0, 0, 200, 100);
        r = about.GetClientRect();
        CHECK(r.right == 470);
        CHECK(r.bottom == 272);
        about.EndDialog(IDOK);
        return true;
    });
    a.Start(nullptr);
    about.DoModal();
    CHECK(a.Finished());
}

TEST_CASE("A capture device through the source dialog: live, without transport, listed for one channel only",
          "[window][sources][device]")
{
    BoxCapture boxes;
    MixerRun run;
    CMixerDlg &d = run.dlg;
    std::vector<std::string> videoLists[CHANNELS + 1];
    d.sourceDialogScript = [&](CSourceSelectDlg &s) {
        HWND video = s.GetDlgItem(IDC_SRC_VIDEO), audio = s.GetDlgItem(IDC_SRC_AUDIO);
        int count = (int)SendMessageA(video, CB_GETCOUNT, 0, 0);
        for (int i = 0; i < count; ++i) {
            char text[256] = {};
            SendMessageA(video, CB_GETLBTEXT, i, (LPARAM)text);
            videoLists[s.channel].push_back(text);
        }
        if (s.channel != 3) {
            s.EndDialog(IDCANCEL);
            return;
        }
        int cam = (int)SendMessageA(video, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM) "Test Pattern Camera");
        int mic = (int)SendMessageA(audio, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM) "Tone Microphone");
        REQUIRE(cam >= 0);
        SendMessageA(video, CB_SETCURSEL, cam, 0);
        s.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_SRC_VIDEO, CBN_SELCHANGE), (LPARAM)video);
        if (mic >= 0) {
            SendMessageA(audio, CB_SETCURSEL, mic, 0);
            s.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_SRC_AUDIO, CBN_SELCHANGE), (LPARAM)audio);
        }
        CHECK(s.deviceChosen);
        s.SendMessage(WM_COMMAND, IDOK);
    };
    run.script.Wait(300)
        .Then("open the camera on channel 3", [&] {
            d.OpenChannelSource(3);
            CHECK(d.deck.ch[3].open == 1);
            CHECK(d.deck.ch[3].video == "dev:Test Pattern Camera");
            CHECK(d.deck.ch[3].kind == SOURCE_DEVICE);
            CHECK(d.deck.preview == 3);
            CHECK(d.deck.onAir == 3);
            return true;
        })
        .Then("a live picture", [&] {
            ScreenShot a = ScreenShot::Window(d.ChannelWindow(3));
            Sleep(300);
            ScreenShot b = ScreenShot::Window(d.ChannelWindow(3));
            return a.px != b.px;   /* the bars move */
        })
        .Then("no transport, and not offered to channel 4", [&] {
            d.SendMessage(WM_COMMAND, 1037);   /* play */
            d.SendMessage(WM_COMMAND, 1029);   /* stop */
            CHECK(d.deck.ch[3].state == 0);
            d.OpenChannelSource(4);
            for (const auto &name : videoLists[4]) CHECK(name != "Test Pattern Camera");
            CHECK(videoLists[4].back() == "File Source...");
            CHECK(videoLists[3].back() == "File Source...");
            ScreenShot::Window(d.m_hWnd).Save("mixer_camera.bmp");
            return true;
        })
        .Then("values of the window", [&] {
            d.SetDlgItemText(IDC_TRANS_TIME, "2.5");
            d.SetDlgItemText(IDC_MOTION_VALUE, "121");
            CHECK(!d.UpdateData(TRUE));
            CHECK(boxes.texts() == std::vector<std::string>{"Please enter an integer between 0 and 120."});
            CHECK(d.m_fTransTime == 2.5f);
            d.SetDlgItemText(IDC_MOTION_VALUE, "120");
            CHECK(d.UpdateData(TRUE));
            CHECK(d.m_nMotionDuration == 120);
            boxes.clear();
            return true;
        })
        .Then("a skinned menu", [&] {
            /* The pull-down opens at its button, which stays down until the menu ends. */
            g_menuOwner = &d;
            g_menuButtonDuring = -1;
            SetTimer(nullptr, 0, 300, EndMenuLater);
            d.OnMenuButton(1);
            CHECK(g_menuButtonDuring == 0);
            CHECK(d.ButtonState(IDC_MENU_FIRST + 1) == 1);
            return true;
        })
        .Then("new project", [&] {
            d.NewProject();
            for (UINT id : {1022, 1023, 1024, 1025, 1056, 1057, 1073, 1074, 1082, 1083, 1026})
                CHECK(d.GetDlgItemText(id) == "00:00:00");
            CHECK(d.GetDlgItemText(IDC_TRANS_TIME) == "1.0");
            CHECK(d.deck.ch[3].open == 0);
            CHECK(d.deck.preview == -1);
            /* The first position report after it is not shown. */
            d.SendMessage(WM_ENGINE_POSITION, 0, 42);
            CHECK(d.GetDlgItemText(1022) == "00:00:00");
            d.SendMessage(WM_ENGINE_POSITION, 0, 43);
            CHECK(d.GetDlgItemText(1022) == "00:00:43");
            d.OnExit();
            return true;
        });
    run.Run();
    CHECK(boxes.boxes().empty());
    CHECK(run.workSpaceAsked == 2);   /* start and new project */
}

/* This program's own main: after the engine has run in this process, Wine does
 * not let the process end by itself (it is killed at exit, losing the result),
 * so the result is handed over at once. */
int main(int argc, char *argv[])
{
    int result = Catch::Session().run(argc, argv);
    fflush(stdout);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), (UINT)result);
    return result;
}
