/*
 * The programme window's pixels during switches, in the running main window
 * over the real engine: a left wipe held at 40 % by the T-bar (the new
 * channel left of the edge, the old one right of it), and a picture-in-
 * picture (the inset's picture inside its third of the width and height at
 * the top right, the main channel all around it).  Each clip's lower half is
 * its channel's colour (1 yellow, 2 cyan, 3 magenta) under four bars (red,
 * green, blue, white).  Screenshots go to the artefacts folder.
 */
#define CATCH_CONFIG_RUNNER
#include <catch2/catch.hpp>
#include "test_paths.h"
#include <windows.h>
#include <commctrl.h>
#include "box_capture.h"
#include "engine_calls.h"
#include "mixer_app.h"
#include "mixer_dlg.h"
#include "mixer_script.h"
#include "resource.h"
#include "screen_shot.h"
#include <string>
#include <vector>

namespace {

CMixerApp theApp;

std::string Clip(const char *name) { return testpaths::ClipPath("MIXER_CLIPS", "mixerclips", name); }

void Command(CMixerDlg &d, UINT id)
{
    d.SendMessage(WM_COMMAND, MAKEWPARAM(id, 0), (LPARAM)d.GetDlgItem(id));
}

/* The T-bar dragged to pos: the slider moves and reports it, as under the mouse. */
void DragTBar(CMixerDlg &d, int pos)
{
    d.SetTBar(pos);
    d.SendMessage(WM_VSCROLL, MAKEWPARAM(TB_THUMBTRACK, pos), (LPARAM)d.GetDlgItem(IDC_TBAR));
}

/* The T-bar let go where it is. */
void ReleaseTBar(CMixerDlg &d)
{
    NMHDR n = {};
    n.hwndFrom = d.GetDlgItem(IDC_TBAR);
    n.idFrom = IDC_TBAR;
    n.code = NM_RELEASEDCAPTURE;
    d.SendMessage(WM_NOTIFY, IDC_TBAR, (LPARAM)&n);
}

constexpr unsigned kYellow = 0xFFFF00, kCyan = 0x00FFFF, kMagenta = 0xFF00FF, kWhite = 0xFFFFFF, kBlue = 0x0000FF;

/* A place in the programme window, in fractions of its size, and the
 * colour expected there. */
struct Spot {
    double fx, fy;
    unsigned colour;
    const char *what;
};

/* Whether every spot shows its colour; the misses, for the report. */
bool Shows(const ScreenShot &s, const std::vector<Spot> &spots, std::string *misses)
{
    misses->clear();
    for (const Spot &p : spots) {
        const int x = (int)(p.fx * s.w), y = (int)(p.fy * s.h);
        const unsigned c = s.At(x, y) & 0xFFFFFF;
        if (!ScreenShot::Near(c, p.colour, 48))
            *misses += cl::Format("(%d,%d) is %06x, not %s; ", x, y, c, p.what);
    }
    return misses->empty();
}

} // namespace

TEST_CASE("The programme window mid-wipe and with a picture-in-picture inset", "[window][switch][programme]")
{
    BoxCapture boxes(IDNO);
    EngineCalls saved = g_engine;
    theApp.profile.SetRoot("Software\\CorvaneTests\\Programme");
    theApp.profile.DeleteAll();
    theApp.m_lpCmdLine = "";
    CMixerDlg d;
    theApp.Prepare(d);
    d.startupPictureMs = 0;
    d.askWorkSpace = [](int *c) { *c = 0; return true; };   /* 320 x 240 */
    MixerScript script;
    std::string misses, lastMisses;
    /* Polls the programme window until the spots show (the painter draws on
     * its own thread); the last misses stay for the report. */
    auto until = [&](const std::vector<Spot> &spots, const char *shot) {
        return [&, spots, shot] {
            ScreenShot s = ScreenShot::Window(d.ProgrammeWindow());
            if (!Shows(s, spots, &misses)) {
                lastMisses = misses;
                return false;
            }
            lastMisses.clear();
            if (shot) ScreenShot::Window(d.m_hWnd).Save(shot);
            return true;
        };
    };
    script.Wait(200)
        .Then("channel 1 on air, channels 2 and 3 open", [&] {
            CHECK(d.OpenFileOnChannel(0, Clip("channel1.avi")));
            CHECK(d.OpenFileOnChannel(1, Clip("channel2.avi")));
            CHECK(d.OpenFileOnChannel(2, Clip("channel3.avi")));
            CHECK(d.deck.onAir == 1);
            return true;
        })
        .Then("the programme shows channel 1", until({{0.5, 0.75, kYellow, "channel 1"}}, nullptr))
        .Then("channel 2 in preview, a left wipe, the T-bar held at 4 of 10", [&] {
            d.deck.OnSelectChannel(2);
            CHECK(d.deck.preview == 2);
            Command(d, ID_PATTERN_FIRST + 1);
            CHECK(d.switcher.transition == 1);
            DragTBar(d, 2);
            DragTBar(d, 4);
            CHECK(d.TBarPos() == 4);
            CHECK(d.deck.switching == 1);
            return true;
        })
        /* The edge at 40 % of the width with its soft band: channel 2 well
         * left of it, channel 1 well right of it, in both halves of the
         * picture. */
        .Then("mid-wipe: channel 2 left of the edge, channel 1 right of it",
              until({{0.1, 0.75, kCyan, "channel 2 (left, lower half)"},
                     {0.25, 0.75, kCyan, "channel 2 (left of the edge)"},
                     {0.6, 0.75, kYellow, "channel 1 (right of the edge)"},
                     {0.9, 0.75, kYellow, "channel 1 (right, lower half)"},
                     {0.05, 0.25, 0xFF0000, "channel 2's red bar"},
                     {0.95, 0.25, kWhite, "channel 1's white bar"}},
                    "mixer_programme_mid_wipe.bmp"))
        .Then("the T-bar released at the top finishes the wipe", [&] {
            DragTBar(d, TBAR_TOP);
            ReleaseTBar(d);
            return true;
        })
        .Then("channel 2 on air", [&] { return d.deck.onAir == 2 && !d.deck.switching; })
        .Then("the programme shows channel 2 across", until({{0.1, 0.75, kCyan, "channel 2"},
                                                           {0.9, 0.75, kCyan, "channel 2"}}, nullptr))
        .Then("channel 3 in preview, picture-in-picture at the top right, switched", [&] {
            d.deck.OnSelectChannel(3);
            CHECK(d.deck.preview == 3);
            Command(d, ID_PATTERN_FIRST + 37);
            CHECK(d.switcher.transition == 37);
            Command(d, IDC_SWITCH);
            return true;
        })
        /* The inset: channel 3 at a third of its size in the top right
         * third (its magenta half below its bars); channel 2 all around:
         * its blue bar left of the inset, its white bar under it, its cyan
         * half below. */
        .Then("the inset holds channel 3, channel 2 around it",
              until({{5.0 / 6, 0.25, kMagenta, "the inset's lower half (channel 3)"},
                     {0.6, 0.15, kBlue, "channel 2's blue bar left of the inset"},
                     {5.0 / 6, 0.42, kWhite, "channel 2's white bar under the inset"},
                     {0.5, 0.75, kCyan, "channel 2's lower half"},
                     {0.1, 0.75, kCyan, "channel 2's lower half"}},
                    "mixer_programme_pip.bmp"))
        .Then("the inset stays while the picture-in-picture is held", [&] {
            CHECK(d.deck.switching == 1);
            CHECK(d.deck.onAir == 2);
            return true;
        })
        .Then("the switch ends it", [&] {
            Command(d, IDC_SWITCH);
            return true;
        })
        .Then("channel 2 stays on air without the inset",
              until({{5.0 / 6, 0.25, kWhite, "channel 2's white bar where the inset was"},
                     {0.5, 0.75, kCyan, "channel 2"}},
                    nullptr))
        .Then("channel 2 on air, the switch idle", [&] { return d.deck.onAir == 2 && !d.deck.switching; })
        .Then("close", [&] {
            d.OnExit();
            return true;
        });
    script.Start([&] {
        if (d.m_hWnd) ::PostMessageA(d.m_hWnd, WM_CLOSE, 0, 0);
    });
    d.DoModal();
    INFO("script step that ran out of time: " << script.Failed() << " " << lastMisses);
    CHECK(script.Failed().empty());
    CHECK(script.Finished());
    g_engine = saved;
    theApp.m_pMainWnd = nullptr;
}

/* As the other window tests: the result is handed over at once (see test_mixer_window). */
int main(int argc, char *argv[])
{
    int result = Catch::Session().run(argc, argv);
    fflush(stdout);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), (UINT)result);
    return result;
}
