/*
 * The engine's reports and the encoding toggle in the mixer window over the
 * real engine: end-of-stream messages injected as the engine posts them
 * (loop, cut to the selection, pause, a transition playing on, other events
 * ignored), the encoding time label, the encoding toggle's texts, button and
 * recording (an old recording moved aside after the question), its
 * failures, the background-music start, and Alt+E opening the skinned
 * Encoding menu.
 */
#define CATCH_CONFIG_RUNNER
#include <catch2/catch.hpp>
#include <windows.h>
#include <memory>
#include "box_capture.h"
#include "test_paths.h"
#include "engine_calls.h"
#include "engine_events.h"
#include "mixer_app.h"
#include "mixer_dlg.h"
#include "mixer_script.h"
#include "resource.h"
#include "screen_shot.h"
#include "wm_settings.h"

namespace {

CMixerApp theApp;

std::string Clip(int n) { return testpaths::ClipPath("MIXER_CLIPS", "mixerclips", "channel" + std::to_string(n) + ".avi"); }

using testpaths::TempPath;

LONGLONG FileSize(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a)) return -1;
    return ((LONGLONG)a.nFileSizeHigh << 32) | a.nFileSizeLow;
}

void WriteFileText(const std::string &path, const std::string &text)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    WriteFile(f, text.data(), (DWORD)text.size(), &n, nullptr);
    CloseHandle(f);
}

/* Engine transport calls, recorded and passed on to the real engine. */
std::vector<std::string> g_calls;
EngineCalls g_real;
int WINAPI RecPlay(WORD c) { g_calls.push_back("MyPlay " + std::to_string(c)); return g_real.MyPlay(c); }
int WINAPI RecStop(WORD c) { g_calls.push_back("MyStop " + std::to_string(c)); return g_real.MyStop(c); }
int WINAPI RecPause(WORD c) { g_calls.push_back("MyPause " + std::to_string(c)); return g_real.MyPause(c); }
int WINAPI RecTrans(int i, double s)
{
    g_calls.push_back(cl::Format("SetTransEffect %d %.1f", i, s));
    return g_real.SetTransEffect(i, s);
}
int WINAPI NoEncoder() { return 0; }

/* The colour in the middle of the lower half of a window (the clip's own colour). */
unsigned LowerColour(HWND w)
{
    ScreenShot s = ScreenShot::Window(w);
    return s.At(s.w / 2, 3 * s.h / 4);
}
const unsigned kBottom[6] = {0, 0xFFFF00, 0x00FFFF, 0xFF00FF, 0xFF8000, 0x808080};

struct Run {
    EngineCalls saved = g_engine;
    CMixerDlg dlg;
    MixerScript script;
    explicit Run()
    {
        theApp.profile.SetRoot("Software\\CorvaneTests\\Events");
        theApp.profile.DeleteAll();
        theApp.m_lpCmdLine = "";
        theApp.Prepare(dlg);
        dlg.startupPictureMs = 0;
        dlg.askWorkSpace = [](int *c) { *c = 0; return true; };
        g_real = g_engine;
        g_engine.MyPlay = RecPlay;
        g_engine.MyStop = RecStop;
        g_engine.MyPause = RecPause;
        g_engine.SetTransEffect = RecTrans;
        g_calls.clear();
    }
    ~Run()
    {
        g_engine = saved;
        theApp.m_pMainWnd = nullptr;
        theApp.profile.DeleteAll();
    }
    void Go()
    {
        script.Start([this] {
            if (dlg.m_hWnd) ::PostMessageA(dlg.m_hWnd, WM_CLOSE, 0, 0);
        });
        dlg.DoModal();
        INFO("step that ran out of time: " << script.Failed());
        CHECK(script.Failed().empty());
        CHECK(script.Finished());
    }
    void Open(int n) { REQUIRE(dlg.OpenFileOnChannel(n - 1, Clip(n))); }
    void Click(UINT id) { dlg.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)dlg.GetDlgItem(id)); }
};

std::string Calls()
{
    std::string s;
    for (const auto &c : g_calls) s += (s.empty() ? "" : "; ") + c;
    return s;
}

/* Ends a popup menu from inside its loop, noting what the window showed then. */
CMixerDlg *g_owner = nullptr;
int g_buttonDuring = -1;
HWND g_menuDuring = nullptr;
void CALLBACK EndMenuLater(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    g_buttonDuring = g_owner->ButtonState(IDC_MENU_FIRST + 4);
    g_menuDuring = g_owner->MenuWindowShown();
    EndMenu();
}

} // namespace

TEST_CASE("End of stream on the real engine: loop, cut to the selection, pause, a transition plays on",
          "[events][eos]")
{
    BoxCapture boxes;
    Run run;
    CMixerDlg &d = run.dlg;
    auto &deck = d.deck;
    auto eos = [&](int index, int event = SOURCE_EVENT_END) {
        g_calls.clear();
        d.SendMessage(WM_ENGINE_SOURCESTATE, (WPARAM)index, event);
    };
    run.script.Wait(300)
        .Then("three clips, channel 1 on air and selected, playing", [&] {
            run.Open(1);
            run.Open(2);
            run.Open(3);
            d.SendMessage(WM_COMMAND, 1009);
            CHECK(deck.onAir == 1);
            CHECK(deck.preview == 1);
            return true;
        })
        .Then("its end loops it", [&] {
            eos(0);
            CHECK(Calls() == "MyStop 0; MyPlay 0");
            CHECK(deck.ch[1].state == CHSTATE_RUNNING);
            return true;
        })
        .Then("other events and channels change nothing", [&] {
            eos(0, 8);
            eos(0, 2);
            eos(5);
            eos(-1);
            d.SendMessage(WM_ENGINE_SOURCESTATE, 0, 5);
            CHECK(g_calls.empty());
            CHECK(deck.ch[1].state == CHSTATE_RUNNING);
            return true;
        })
        .Then("a channel neither on air nor selected stands at its end", [&] {
            d.SendMessage(WM_COMMAND, 1037);   /* play channel 3 */
            eos(2);
            CHECK(Calls() == "MyPause 2");
            CHECK(deck.ch[3].state == CHSTATE_PAUSED);
            return true;
        })
        .Then("with channel 2 selected, the end of channel 1 cuts to it", [&] {
            d.SendMessage(WM_COMMAND, ID_PREVIEW_CH2);
            CHECK(deck.preview == 2);
            eos(0);
            CHECK(Calls() == "SetTransEffect 0 0.1; MyPlay 1; MyStop 0");
            return true;
        })
        .Then("the engine ends the cut: channel 2 is the programme", [&] {
            return deck.onAir == 2 && deck.preview == 1 && !deck.switching;
        })
        .Then("programme picture", [&] { return ScreenShot::Near(LowerColour(d.ProgrammeWindow()), kBottom[2], 40); })
        .Then("during a transition both channels play on", [&] {
            d.switcher.transition = 1;
            d.SetDlgItemText(IDC_TRANS_TIME, "2.0");
            d.OnSwitchCommand();
            CHECK(deck.switching == 1);
            eos(1);
            CHECK(Calls() == "MyPlay 1");
            eos(0);
            CHECK(Calls() == "MyPlay 0");
            eos(2);
            CHECK(g_calls.empty());
            return true;
        })
        .Then("the transition ends", [&] { return deck.onAir == 1 && !deck.switching; })
        .Then("encoding time", [&] {
            /* Shown while recording; a late one after the stop is dropped. */
            const int was = d.m_bEncoding;
            d.m_bEncoding = 1;
            d.SendMessage(WM_ENGINE_ENCODETIME, 0, 3725);
            CHECK(d.GetDlgItemText(IDC_ENCODE_TIME) == "01:02:05");
            d.m_bEncoding = 0;
            d.SendMessage(WM_ENGINE_ENCODETIME, 0, 3726);
            CHECK(d.GetDlgItemText(IDC_ENCODE_TIME) == "01:02:05");
            d.m_bEncoding = was;
            return true;
        });
    run.Go();
    CHECK(boxes.boxes().empty());
}

TEST_CASE("The encoding toggle: its texts, button and recording; an old recording asked about and moved aside",
          "[events][encoding]")
{
    BoxCapture boxes(IDNO);
    Run run;
    CMixerDlg &d = run.dlg;
    const std::string show = TempPath("events_show.wmv"), aside1 = TempPath("events_show001.wmv"),
                      aside2 = TempPath("events_show002.wmv");
    for (const auto &f : {show, aside1, aside2}) DeleteFileA(f.c_str());
    WriteFileText(show, "an older show");
    theApp.profile.WriteString(kWmSection, "ArchivingFileName", show);
    theApp.profile.WriteInt(kWmSection, "WM8ProfileIndex", 9);
    std::string initialText, timeAtStop;
    run.script.Wait(300)
        .Then("no source: the message, nothing changes", [&] {
            initialText = d.EncodingMenuText();
            run.Click(IDC_ENCODING);
            CHECK(boxes.texts() == std::vector<std::string>{"You must open media source first !!"});
            CHECK(d.m_bEncoding == 0);
            CHECK(d.EncodingMenuText() == initialText);
            CHECK(d.ButtonState(IDC_ENCODING) == 1);
            boxes.clear();
            return true;
        })
        .Then("start: the old recording is asked about (No) and moved aside", [&] {
            run.Open(1);
            run.Click(IDC_ENCODING);
            REQUIRE(boxes.boxes().size() == 1);
            CHECK(boxes.boxes()[0].text ==
                  "The file name you selected already exists.\nWould you like to overwrite this file?");
            CHECK(boxes.boxes()[0].caption == "Question");
            CHECK(FileSize(aside1) == 13);
            CHECK(d.m_bEncoding == 1);
            CHECK(d.EncodingMenuText() == "Stop Encoding(&S)");
            CHECK(d.ButtonState(IDC_ENCODING) == 0);
            /* The programme runs while it is recorded. */
            CHECK(d.deck.ch[1].state == CHSTATE_RUNNING);
            boxes.clear();
            return true;
        })
        .Wait(1500)
        .Then("the engine counts the encoding time", [&] { return d.GetDlgItemText(IDC_ENCODE_TIME) != "00:00:00"; })
        .Then("the programme cannot be stopped while it is recorded", [&] {
            d.SendMessage(WM_COMMAND, 1008);
            CHECK(d.deck.ch[1].state == CHSTATE_RUNNING);
            return true;
        })
        .Then("stop: texts back, the recording written", [&] {
            d.SendMessage(WM_COMMAND, ID_START_ENCODING);   /* the menu's item */
            CHECK(d.m_bEncoding == 0);
            CHECK(d.EncodingMenuText() == "Start Encoding(&S)");
            CHECK(d.ButtonState(IDC_ENCODING) == 1);
            CHECK(d.GetDlgItemText(IDC_ENCODE_TIME) == "00:00:00");
            CHECK(FileSize(show) > 10000);
            CHECK(boxes.boxes().empty());
            timeAtStop = d.GetDlgItemText(1022);   /* channel 1's time */
            return true;
        })
        .Then("the programme plays on after the stop: its time label runs on", [&] {
            CHECK(d.deck.ch[1].state == CHSTATE_RUNNING);
            const std::string now = d.GetDlgItemText(1022);
            return now != "00:00:00" && now > timeAtStop;
        }, 8000)
        .Then("start again, answered Yes: the recording is overwritten", [&] {
            boxes.answer(IDYES);
            run.Click(IDC_ENCODING);
            CHECK(boxes.boxes().size() == 1);
            CHECK(d.m_bEncoding == 1);
            CHECK(FileSize(aside2) == -1);
            run.Click(IDC_ENCODING);
            CHECK(d.m_bEncoding == 0);
            boxes.clear();
            return true;
        })
        .Then("an encoder that does not start", [&] {
            g_engine.EncoderStart = NoEncoder;
            DeleteFileA(show.c_str());
            run.Click(IDC_ENCODING);
            CHECK(boxes.texts() == std::vector<std::string>{"Start Encoding error!!"});
            CHECK(d.m_bEncoding == 0);
            CHECK(d.EncodingMenuText() == "Start Encoding(&S)");
            CHECK(d.ButtonState(IDC_ENCODING) == 1);
            g_engine.EncoderStart = g_real.EncoderStart;
            boxes.clear();
            return true;
        })
        .Then("the operator's command does nothing in the remote mode", [&] {
            d.m_bRemoteMode = 1;
            run.Click(IDC_ENCODING);
            d.SendMessage(WM_COMMAND, ID_START_ENCODING);
            CHECK(d.m_bEncoding == 0);
            CHECK(boxes.boxes().empty());
            /* ... and the scheduler's start moves the old recording aside itself. */
            WriteFileText(show, "remote");
            CHECK(d.SetEncoding(true));
            CHECK(boxes.boxes().empty());
            CHECK(FileSize(aside2) == 6);
            CHECK(d.SetEncoding(false));
            CHECK(d.m_bEncoding == 0);
            d.m_bRemoteMode = 0;
            return true;
        })
        .Then("a new project while recording: the toggle is off again", [&] {
            DeleteFileA(show.c_str());
            run.Click(IDC_ENCODING);
            REQUIRE(d.m_bEncoding == 1);
            d.NewProject();
            CHECK(d.m_bEncoding == 0);
            CHECK(d.EncodingMenuText() == "Start Encoding(&S)");
            CHECK(d.ButtonState(IDC_ENCODING) == 1);
            CHECK(d.GetDlgItemText(IDC_ENCODE_TIME) == "00:00:00");
            return true;
        });
    run.Go();
    for (const auto &f : {show, aside1, aside2}) DeleteFileA(f.c_str());
}

TEST_CASE("Background music: starting to record leaves channel 5 for the first source of 1-4", "[events][encoding]")
{
    BoxCapture boxes;
    Run run;
    CMixerDlg &d = run.dlg;
    const std::string out = TempPath("events_music.wmv");
    theApp.profile.WriteString(kWmSection, "ArchivingFileName", out);
    theApp.profile.WriteInt(kWmSection, "WM8ProfileIndex", 9);
    run.script.Wait(300)
        .Then("channel 5 on air, sources on 2 and 3", [&] {
            run.Open(5);
            run.Open(2);
            run.Open(3);
            d.SendMessage(WM_COMMAND, 1079);   /* play channel 5 */
            CHECK(d.deck.onAir == 5);
            d.deck.backgroundMusic = 1;
            g_calls.clear();
            run.Click(IDC_ENCODING);
            CHECK(d.m_bEncoding == 1);
            CHECK(d.deck.onAir == 2);
            CHECK(d.deck.preview == 2);
            /* The cut, and the music kept playing. */
            CHECK(g_calls.size() >= 2);
            CHECK(g_calls[0] == "SetTransEffect 0 0.1");
            CHECK(g_calls[1] == "MyPlay 4");
            return true;
        })
        .Then("the programme shows channel 2", [&] {
            return ScreenShot::Near(LowerColour(d.ProgrammeWindow()), kBottom[2], 40);
        })
        .Then("stop", [&] {
            run.Click(IDC_ENCODING);
            CHECK(d.m_bEncoding == 0);
            d.deck.backgroundMusic = 0;
            return true;
        });
    run.Go();
    CHECK(boxes.boxes().empty());
    DeleteFileA(out.c_str());
}

TEST_CASE("Alt+E opens the Encoding menu under its button, which rises when the menu closes", "[events][menu]")
{
    BoxCapture boxes;
    Run run;
    CMixerDlg &d = run.dlg;
    g_owner = &d;
    g_buttonDuring = -1;
    g_menuDuring = nullptr;
    run.script.Wait(300)
        .Then("Alt+E", [&] {
            SetForegroundWindow(d.m_hWnd);
            SetFocus(d.GetDlgItem(IDC_TRANS_TIME));
            SetTimer(nullptr, 0, 400, EndMenuLater);
            Keys({VK_MENU}, 'E');
            return true;
        })
        .Then("the menu was open with its button down", [&] { return g_menuDuring != nullptr; })
        .Then("and the button is up again", [&] {
            CHECK(g_buttonDuring == 0);
            CHECK(d.ButtonState(IDC_MENU_FIRST + 4) == 1);
            CHECK(d.MenuWindowShown() == nullptr);
            return true;
        });
    run.Go();
    CHECK(boxes.boxes().empty());
}

int main(int argc, char *argv[])
{
    int result = Catch::Session().run(argc, argv);
    fflush(stdout);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), (UINT)result);
    return result;
}
