/*
 * Projects, the slide show and drops on the running main window over the
 * real engine: a project saved with four clips opens them again with its
 * selections; the slide-show toggle, its dialog (answered in place of its
 * modal loop) and the images on channel 4, stored beside the project and
 * shown again on opening; files dropped on channel windows; the remote
 * guard on every project command.
 */
#define CATCH_CONFIG_RUNNER
#include <catch2/catch.hpp>
#include <windows.h>
#include "box_capture.h"
#include "engine_calls.h"
#include "mixer_app.h"
#include "mixer_dlg.h"
#include "mixer_script.h"
#include "project_test_util.h"
#include "resource.h"
#include "screen_shot.h"
#include "slide_show_dlg.h"

namespace {

CMixerApp theApp;

std::string Clip(int n)
{
    const char *dir = getenv("MIXER_CLIPS");
    std::string unix = std::string(dir ? dir : "mixerclips") + "/channel" + std::to_string(n) + ".avi";
    std::string dos = "Z:" + unix;
    for (char &c : dos)
        if (c == '/') c = '\\';
    return dos;
}

struct MixerRun {
    EngineCalls saved = g_engine;
    CMixerDlg dlg;
    MixerScript script;
    MixerRun()
    {
        theApp.profile.SetRoot("Software\\CorvaneTests\\MixerProject");
        theApp.profile.DeleteAll();
        theApp.m_lpCmdLine = "";
        theApp.Prepare(dlg);
        dlg.startupPictureMs = 0;
        dlg.askWorkSpace = [](int *c) { *c = 0; return true; };
    }
    ~MixerRun()
    {
        g_engine = saved;
        theApp.m_pMainWnd = nullptr;
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
    void Command(UINT id) { dlg.SendMessage(WM_COMMAND, id, 0); }
};

bool CentreNear(HWND wnd, unsigned rgb)
{
    ScreenShot s = ScreenShot::Window(wnd);
    return s.w > 0 && ScreenShot::Near(s.At(s.w / 2, s.h / 2), rgb, 40);
}

} // namespace

TEST_CASE("A saved project opens its clips, selections and pattern again", "[project][window]")
{
    BoxCapture boxes(IDNO);
    TempFolder dir("mixproj");
    const std::string path = dir / "show.kvz";
    MixerRun run;
    CMixerDlg &d = run.dlg;
    int asked = 0;
    bool answer = true;
    d.project.askPath = [&](bool, std::string *p) {
        ++asked;
        *p = path;
        return answer;
    };
    std::string saved;
    run.script.Wait(300)
        .Then("four clips, channel 3 selected, pattern 5", [&] {
            for (int n : {1, 2, 3, 5}) CHECK(d.OpenFileOnChannel(n - 1, Clip(n)));
            CHECK(d.deck.OnSelectChannel(3));
            d.m_nTransition = 5;
            return true;
        })
        .Then("save as", [&] {
            run.Command(ID_SAVE_PROJECT_AS);
            CHECK(asked == 1);
            CHECK(d.project.path == path);
            saved = ReadBytes(path);
            CHECK(saved == ProjectText(path, d.project.Snapshot()));
            std::string base;
            for (char c : dir / "show") {
                base += c;
                if (c == '\\') base += '\\';
            }
            CHECK(saved == "< Corvane ver 1.0 >\r\n0\r\n0\r\n" + base + ".lmf\r\n1," + Clip(1) + "," + Clip(1) +
                               "\r\n2," + Clip(2) + "," + Clip(2) + "\r\n3," + Clip(3) + "," + Clip(3) +
                               "\r\n4,,\r\n5," + Clip(5) + "," + Clip(5) + "\r\n3\r\n1\r\n5\r\n");
            /* Save again: no question while the path is known. */
            run.Command(ID_SAVE_PROJECT);
            CHECK(asked == 1);
            return true;
        })
        .Then("a new project empties the channels", [&] {
            run.Command(ID_NEW_PROJECT);
            for (int n = 1; n <= 5; ++n) CHECK(d.deck.ch[n].open == 0);
            CHECK(d.m_nTransition == 0);
            return true;
        })
        .Then("open it again", [&] {
            run.Command(ID_OPEN_PROJECT);
            CHECK(asked == 2);
            for (int n : {1, 2, 3, 5}) {
                CHECK(d.deck.ch[n].open == 1);
                CHECK(d.deck.ch[n].video == Clip(n));
            }
            CHECK(d.deck.ch[4].open == 0);
            CHECK(d.deck.preview == 3);
            CHECK(d.deck.onAir == 1);
            CHECK(d.m_nTransition == 5);
            CHECK(d.project.loaded == 1);
            return true;
        })
        .Then("a missing clip is reported and the rest opens", [&] {
            std::string text = saved;
            text.replace(text.find("2," + Clip(2)), 2 + Clip(2).size(), "2,Z:\\no\\such.avi");
            WriteBytes(path, text);
            boxes.clear();
            run.Command(ID_OPEN_PROJECT);
            bool reported = false;
            for (const auto &b : boxes.boxes())
                reported = reported || b.text == "Channel 2 source, Video : Z:\\no\\such.avi - Audio : " + Clip(2) +
                                                     ", not opened !!";
            CHECK(reported);
            CHECK(d.deck.ch[2].open == 0);
            CHECK(d.deck.ch[5].open == 1);
            return true;
        })
        .Then("a cancelled question empties the path; remote mode ignores every project command", [&] {
            answer = false;
            run.Command(ID_OPEN_PROJECT);
            CHECK(d.project.path.empty());
            answer = true;
            d.m_bRemoteMode = 1;
            int before = asked;
            for (UINT id : {ID_OPEN_PROJECT, ID_SAVE_PROJECT, ID_SAVE_PROJECT_AS}) run.Command(id);
            d.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_SLIDESHOW, STN_CLICKED), (LPARAM)d.GetDlgItem(IDC_SLIDESHOW));
            CHECK(asked == before);
            CHECK(d.deck.slideShow == 0);
            d.m_bRemoteMode = 0;
            return true;
        });
    run.Run();
}

TEST_CASE("Slide show: the toggle, the dialog's list on channel 4, stepping, and the list kept with the project",
          "[project][slideshow][window]")
{
    BoxCapture boxes(IDNO);
    TempFolder dir("mixslides");
    const std::string red = dir / "red.bmp", blue = dir / "blue.bmp", path = dir / "slides.kvz";
    REQUIRE(WriteBitmap(red, 320, 240, 0xFF0000));
    REQUIRE(WriteBitmap(blue, 320, 240, 0x0000FF));
    MixerRun run;
    CMixerDlg &d = run.dlg;
    d.project.askPath = [&](bool, std::string *p) {
        *p = path;
        return true;
    };
    std::vector<std::vector<std::string>> dialogsSaw;
    d.project.runSlideShow = [&](CSlideShowDlg &s) {
        dialogsSaw.push_back(s.images);
        if (s.images.empty()) {
            /* The first time for real: the two pictures dropped on the
             * dialog's list reach the mixer only with OK. */
            REQUIRE(s.Create(d.m_hWnd));
            s.List().SendMessage(WM_DROPFILES, (WPARAM)MakeDrop({blue, red}));
            CHECK(s.GetDlgItemText(1148) == "2");
            CHECK(d.deck.imageCount == 0);
            CHECK(d.project.images.empty());
            s.SendMessage(WM_COMMAND, 1143);
            CHECK(s.m_hWnd == nullptr);
            CHECK(s.images == std::vector<std::string>{red, blue});
            return (INT_PTR)IDOK;
        }
        s.slideShowOn = true;
        return (INT_PTR)IDOK;
    };
    run.script.Wait(300)
        .Then("the toggle", [&] {
            d.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_SLIDESHOW, STN_CLICKED), (LPARAM)d.GetDlgItem(IDC_SLIDESHOW));
            CHECK(d.deck.slideShow == 1);
            CHECK(d.ButtonState(IDC_SLIDESHOW) == 0);
            return true;
        })
        .Then("channel 4's open button runs the dialog; OK shows the first image", [&] {
            d.OnOpenButton(4);
            REQUIRE(dialogsSaw.size() == 1);
            CHECK(dialogsSaw[0].empty());
            CHECK(d.deck.imageCount == 2);
            CHECK(d.deck.ch[4].open == 1);
            CHECK(d.deck.ch[4].video == red);
            CHECK(d.deck.ch[4].kind == SOURCE_FILE);
            CHECK(d.deck.preview == 4);
            CHECK(d.deck.onAir == 4);    /* the first source goes on air too */
            return true;
        })
        .Then("the red picture", [&] { return CentreNear(d.ChannelWindow(4), 0xFF0000); })
        .Then("fast forward steps to the next image", [&] {
            d.deck.OnFastForward(4);
            CHECK(d.deck.imagePosition == 1);
            CHECK(d.deck.ch[4].video == blue);
            return true;
        })
        .Then("the blue picture", [&] { return CentreNear(d.ChannelWindow(4), 0x0000FF); })
        .Then("saving stores the list beside the project", [&] {
            ScreenShot::Window(d.m_hWnd).Save("mixer_slide_show.bmp");
            run.Command(ID_SAVE_PROJECT);
            CHECK(ReadBytes(dir / "slides.dat") == "Saffrel ImageList File\r\n" + red + "\r\n" + blue + "\r\n");
            std::string text = ReadBytes(path);
            CHECK(text.find("\r\n1\r\n0\r\n") == std::string("< Corvane ver 1.0 >").size());
            CHECK(text.find(".dat\r\n5,,\r\n4\r\n4\r\n") != std::string::npos);
            return true;
        })
        .Then("new project: the toggle goes up and the list is gone", [&] {
            run.Command(ID_NEW_PROJECT);
            CHECK(d.deck.slideShow == 0);
            CHECK(d.deck.imageCount == 0);
            CHECK(d.ButtonState(IDC_SLIDESHOW) == 1);
            return true;
        })
        .Then("opening shows the dialog on the stored list, then the show", [&] {
            run.Command(ID_OPEN_PROJECT);
            REQUIRE(dialogsSaw.size() == 2);
            CHECK(dialogsSaw[1] == std::vector<std::string>{red, blue});
            CHECK(d.deck.slideShow == 1);
            CHECK(d.ButtonState(IDC_SLIDESHOW) == 0);
            CHECK(d.deck.ch[4].video == red);
            CHECK(d.project.loaded == 1);
            return true;
        })
        .Then("the red picture again", [&] { return CentreNear(d.ChannelWindow(4), 0xFF0000); });
    run.Run();
    CHECK(boxes.boxes().empty());
}

TEST_CASE("Files dropped on the channel windows open there", "[project][drop][window]")
{
    BoxCapture boxes(IDNO);
    MixerRun run;
    CMixerDlg &d = run.dlg;
    run.script.Wait(300)
        .Then("one clip on channel 3", [&] {
            HWND w = d.ChannelWindow(3);
            CHECK((GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_ACCEPTFILES));
            ::SendMessageA(w, WM_DROPFILES, (WPARAM)MakeDrop({Clip(3)}), 0);
            CHECK(d.deck.ch[3].open == 1);
            CHECK(d.deck.ch[3].video == Clip(3));
            return true;
        })
        .Then("two clips on channel 2 open nothing", [&] {
            ::SendMessageA(d.ChannelWindow(2), WM_DROPFILES, (WPARAM)MakeDrop({Clip(1), Clip(2)}), 0);
            CHECK(d.deck.ch[2].open == 0);
            REQUIRE(boxes.boxes().size() == 1);
            CHECK(boxes.boxes()[0].text == "please, select only one movie File");
            return true;
        });
    run.Run();
}

TEST_CASE("Image list dialog on the screen: the selected clip paused in its preview area", "[slideshow][window]")
{
    BoxCapture boxes;
    TempFolder dir("slidescreen");
    const std::string clip = dir / "green.avi";
    REQUIRE(WriteRawAvi(clip, 64, 48, 2, 0x00FF00));
    CSlideShowDlg dlg(nullptr, {clip, dir / "other.jpg"});
    REQUIRE(dlg.Create(nullptr));
    dlg.ShowWindow(SW_SHOW);
    LVITEMA sel = {};
    sel.stateMask = sel.state = LVIS_SELECTED;
    ::SendMessageA(dlg.GetDlgItem(1146), LVM_SETITEMSTATE, 0, (LPARAM)&sel);
    dlg.SendMessage(WM_SLIDE_PREVIEW);
    CHECK(dlg.debugLines.empty());
    HWND area = dlg.GetDlgItem(1153);
    CHECK((GetWindowLongA(area, GWL_STYLE) & WS_CLIPCHILDREN));
    bool green = false;
    for (DWORD until = GetTickCount() + 10000; !green && (int)(GetTickCount() - until) < 0;) {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
        green = CentreNear(area, 0x00FF00);
        if (!green) Sleep(50);
    }
    ScreenShot::Window(dlg.m_hWnd).Save("slide_show_dialog.bmp");
    CHECK(green);
    CHECK(dlg.GetDlgItemText(1156) == " 64 x 48");
    dlg.DestroyWindow();
    CHECK(boxes.boxes().empty());
}

/* After the engine has run in this process Wine does not let it end by
 * itself, so the result is handed over at once. */
int main(int argc, char *argv[])
{
    int result = Catch::Session().run(argc, argv);
    fflush(stdout);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), (UINT)result);
    return result;
}
