/*
 * Switching without a window: the switch command with its time limits, the
 * time steps, the T-bar (mapping, drag, release), the end of a
 * picture-in-picture and the role swap at the end of a transition.  The
 * engine is a fake table that records every call as one trace line.
 */
#include <catch2/catch.hpp>
#include <windows.h>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>
#include "channel_deck.h"
#include "engine_calls.h"
#include "switch_core.h"

namespace {

std::vector<std::string> g_calls;

void Log(const std::string &s) { g_calls.push_back(s); }
int WINAPI FakePlay(WORD c) { Log("MyPlay " + std::to_string(c)); return 0; }
int WINAPI FakePause(WORD c) { Log("MyPause " + std::to_string(c)); return 0; }
BOOL WINAPI FakeSelect(WORD c) { Log("SelectChannel " + std::to_string(c)); return TRUE; }
int WINAPI FakeEffect(int i, double s)
{
    char t[64];
    snprintf(t, sizeof t, "SetTransEffect %d %.1f", i, s);
    Log(t);
    return 1;
}
int WINAPI FakeAuto(BOOL on) { Log("SetAutoTrans " + std::to_string(on)); return 1; }
int WINAPI FakePosition(int p) { Log("SetTransPosition " + std::to_string(p)); return 1; }

std::string Trace()
{
    std::string t;
    for (auto &c : g_calls) t += (t.empty() ? "" : "|") + c;
    g_calls.clear();
    return t;
}

struct Views : DeckView, SwitchView {
    int indicator[CHANNELS + 1] = {};
    int switchButton = 0;
    std::vector<int> tbar;
    std::string timeText;
    void SetChannelButtons(int, const int[6]) override {}
    void ShowChannelTime(int, int) override {}
    void ShowChannelDuration(int, int) override {}
    void SetIndicator(int n, int s) override { indicator[n] = s; }
    void ShowMessage(const char *) override {}
    void ShowSlideImage(int) override {}
    void SetSwitchButton(int on) override { switchButton = on; }
    void SetTBar(int pos) override { tbar.push_back(pos); }
    void ShowTransTime(const std::string &t) override { timeText = t; }
};

/* Three file channels standing paused; channel 1 on air and playing,
 * channel 2 selected. */
struct Fixture {
    EngineCalls saved = g_engine;
    Views views;
    ChannelDeck deck{&views};
    SwitchCore sw{deck, &views};
    Fixture()
    {
        g_engine.MyPlay = FakePlay;
        g_engine.MyPause = FakePause;
        g_engine.SelectChannel = FakeSelect;
        g_engine.SetTransEffect = FakeEffect;
        g_engine.SetAutoTrans = FakeAuto;
        g_engine.SetTransPosition = FakePosition;
        for (int n = 1; n <= 3; ++n) {
            deck.ch[n].open = 1;
            deck.ch[n].kind = SOURCE_FILE;
            deck.ch[n].duration = 30;
            deck.ch[n].state = CHSTATE_PAUSED;
        }
        deck.ch[1].state = CHSTATE_RUNNING;
        deck.onAir = 1;
        deck.startOrder[0] = 1;
        deck.startOrder[1] = 2;
        deck.startOrder[2] = 3;
        deck.OnSelectChannel(2);
        g_calls.clear();
    }
    ~Fixture() { g_engine = saved; }
};

const double NaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

TEST_CASE("The time steps stay within 0.1..10 on the half seconds", "[switch][time]")
{
    struct Row { double edit; bool plus; double want; const char *text; };
    const Row rows[] = {
        {10.0, true, 10.0, "10.0"}, {0.1, false, 0.1, "0.1"}, {0.1, true, 0.5, "0.5"},
        {0.5, false, 0.1, "0.1"},   {1.0, false, 0.5, "0.5"}, {1.0, true, 1.5, "1.5"},
        {9.5, true, 10.0, "10.0"},  {9.7, true, 10.0, "10.0"}, {0.3, false, 0.1, "0.1"},
        /* What the edit's correction makes of typed values. */
        {25.0, false, 9.5, "9.5"},  {-3.0, true, 0.5, "0.5"}, {NaN, true, 0.5, "0.5"},
        {NaN, false, 0.1, "0.1"},
    };
    for (const Row &r : rows) {
        Fixture f;
        double got = r.plus ? f.sw.OnTransTimePlus(r.edit) : f.sw.OnTransTimeMinus(r.edit);
        INFO("edit " << r.edit << (r.plus ? " plus" : " minus"));
        CHECK(got == Approx(r.want));
        CHECK(f.sw.transTime == Approx(r.want));
        CHECK(f.views.timeText == r.text);
        CHECK(g_calls.empty());
    }

    SECTION("the buttons do nothing in the remote-controlled mode")
    {
        Fixture f;
        f.deck.remoteMode = 1;
        f.views.timeText = "x";
        CHECK(f.sw.OnTransTimePlus(2.0) == Approx(1.0));
        CHECK(f.sw.OnTransTimeMinus(2.0) == Approx(1.0));
        CHECK(f.views.timeText == "x");
    }
}

TEST_CASE("Switch: the engine calls for each transition and time", "[switch]")
{
    struct Row { int transition; double edit; const char *shown; const char *trace; };
    const Row rows[] = {
        /* A cut runs 0.1 s whatever the edit says. */
        {0, 5.0, "5.0", "SetAutoTrans 1|SetTransEffect 0 0.1|MyPlay 1"},
        {0, 0.1, "0.1", "SetAutoTrans 1|SetTransEffect 0 0.1|MyPlay 1"},
        {3, 5.0, "5.0", "SetAutoTrans 1|SetTransEffect 3 5.0|MyPlay 1"},
        {3, 0.0, "0.1", "SetAutoTrans 1|SetTransEffect 3 0.1|MyPlay 1"},
        {3, 0.05, "0.1", "SetAutoTrans 1|SetTransEffect 3 0.1|MyPlay 1"},
        {3, 25.0, "10.0", "SetAutoTrans 1|SetTransEffect 3 10.0|MyPlay 1"},
        {3, -1.0, "0.1", "SetAutoTrans 1|SetTransEffect 3 0.1|MyPlay 1"},
        {3, NaN, "0.1", "SetAutoTrans 1|SetTransEffect 3 0.1|MyPlay 1"},
        {36, 2.0, "2.0", "SetAutoTrans 1|SetTransEffect 36 2.0|MyPlay 1"},
        {43, 10.0, "10.0", "SetAutoTrans 1|SetTransEffect 43 10.0|MyPlay 1"},
    };
    for (const Row &r : rows) {
        Fixture f;
        f.sw.transition = r.transition;
        f.sw.OnSwitch(r.edit);
        INFO("transition " << r.transition << " edit " << r.edit);
        CHECK(Trace() == r.trace);
        CHECK(f.views.timeText == r.shown);
        CHECK(f.deck.switching == 1);
        CHECK(f.views.switchButton == 1);
        /* The new programme channel leaves the start order; the others move up. */
        CHECK(f.deck.startOrder[0] == 1);
        CHECK(f.deck.startOrder[1] == 3);
        CHECK(f.deck.startOrder[2] == 0);
    }
}

TEST_CASE("Switch: refused without a selection, on air, while running or remote", "[switch]")
{
    Fixture f;
    SECTION("nothing selected")
    {
        f.deck.preview = -1;
        f.sw.OnSwitch(1.0);
    }
    SECTION("the selection is already on air")
    {
        f.deck.preview = 1;
        f.sw.OnSwitch(1.0);
    }
    SECTION("a transition runs")
    {
        f.sw.transition = 3;
        f.sw.OnSwitch(1.0);
        Trace();
        f.sw.OnSwitch(1.0);
    }
    SECTION("the remote-controlled mode")
    {
        f.deck.remoteMode = 1;
        f.sw.OnSwitch(1.0);
        CHECK(f.deck.switching == 0);
    }
    CHECK(Trace().empty());
}

TEST_CASE("The remote side's switch does not play the channel", "[switch][remote]")
{
    Fixture f;
    f.deck.remoteMode = 1;
    f.sw.transition = 5;
    f.sw.StartSwitch(2.0);
    CHECK(Trace() == "SetAutoTrans 1|SetTransEffect 5 2.0");
    CHECK(f.deck.startOrder[1] == 2);   /* the order is the remote side's */

    SECTION("the end swaps the roles as a remote command")
    {
        f.sw.OnTransitionProgress(100);
        /* Channel 1 is paused although the operator's buttons are guarded. */
        CHECK(Trace() == "MyPause 0|SelectChannel 0");
        CHECK(f.deck.onAir == 2);
        CHECK(f.deck.preview == 1);
        CHECK(f.deck.remoteCommand == 0);
    }
    SECTION("its picture-in-picture end swaps at the end too")
    {
        Fixture g;
        g.deck.remoteMode = 1;
        g.sw.transition = 36;
        g.sw.StartSwitch(1.0);
        g.sw.OnTransitionProgress(30);
        g_calls.clear();
        g.sw.StartSwitch(1.0);
        CHECK(Trace() == "SetAutoTrans 1|SetTransEffect 0 0.1");
        CHECK(g.sw.afterPipEnd == 0);
        g.sw.OnTransitionProgress(100);
        CHECK(Trace() == "MyPause 0|SelectChannel 0");
        CHECK(g.deck.onAir == 2);
    }
}

TEST_CASE("A completed switch swaps the roles of the two channels", "[switch][finish]")
{
    Fixture f;
    f.sw.transition = 3;
    f.sw.OnSwitch(1.0);
    Trace();

    /* Selection is refused while the transition runs. */
    CHECK_FALSE(f.deck.OnSelectChannel(3));
    f.sw.OnTransitionProgress(10);
    f.sw.OnTransitionProgress(90);
    CHECK(Trace().empty());
    CHECK(f.deck.onAir == 1);

    f.sw.OnTransitionProgress(100);
    CHECK(Trace() == "MyPause 0|SelectChannel 0");
    CHECK(f.deck.onAir == 2);
    CHECK(f.deck.preview == 1);
    CHECK(f.deck.switching == 0);
    CHECK(f.deck.ch[1].state == CHSTATE_PAUSED);
    CHECK(f.deck.ch[2].state == CHSTATE_RUNNING);
    CHECK(f.views.indicator[1] == 0);   /* selected */
    CHECK(f.views.indicator[2] == 2);   /* on air */
    CHECK(f.views.indicator[3] == 1);
    CHECK(f.views.switchButton == 0);
    REQUIRE_FALSE(f.views.tbar.empty());
    CHECK(f.views.tbar.back() == 0);

    SECTION("and switches back the other way")
    {
        f.sw.OnSwitch(1.0);
        f.sw.OnTransitionProgress(100);
        CHECK(Trace() == "SetAutoTrans 1|SetTransEffect 3 1.0|MyPlay 0|MyPause 1|SelectChannel 1");
        CHECK(f.deck.onAir == 1);
        CHECK(f.deck.preview == 2);
    }
    SECTION("with nothing on air before, nothing is selected after")
    {
        Fixture g;
        g.deck.onAir = 0;
        g.sw.OnSwitch(1.0);
        g.sw.OnTransitionProgress(100);
        CHECK(Trace() == "SetAutoTrans 1|SetTransEffect 0 0.1|MyPlay 1");
        CHECK(g.deck.onAir == 2);
        CHECK(g.deck.preview == -1);
        CHECK(g.views.indicator[2] == 2);
        CHECK(g.views.indicator[1] == 1);
    }
}

TEST_CASE("A picture-in-picture ends by the switch or the T-bar at 0", "[switch][pip]")
{
    Fixture f;
    f.sw.transition = 38;

    SECTION("by the switch")
    {
        f.sw.OnSwitch(3.0);
        CHECK(Trace() == "SetAutoTrans 1|SetTransEffect 38 3.0|MyPlay 1");
        f.sw.OnTransitionProgress(30);   /* the engine holds the layout */
        CHECK(Trace().empty());
        f.sw.OnSwitch(3.0);
    }
    SECTION("by the T-bar: up to the top, held, back to 0")
    {
        for (int pos = 1; pos <= 10; ++pos) f.sw.OnTBarScroll(pos);
        CHECK(Trace() == "SetAutoTrans 0|SetTransEffect 38 1.0|MyPlay 1|SetTransPosition 1|SetTransPosition 1|"
                         "SetTransPosition 2|SetTransPosition 2|SetTransPosition 3|SetTransPosition 3|"
                         "SetTransPosition 4|SetTransPosition 4|SetTransPosition 5|SetTransPosition 5");
        f.sw.OnTBarRelease(10);
        CHECK(Trace() == "SetAutoTrans 0");
        CHECK(f.views.tbar.empty());   /* the bar stays at the top */
        CHECK(f.deck.switching == 1);
        for (int pos = 9; pos >= 0; --pos) f.sw.OnTBarScroll(pos);
        CHECK(g_calls.size() == 10);
        CHECK(g_calls.back() == "SetTransPosition 0");
        g_calls.clear();
        f.sw.OnTBarRelease(0);
    }
    CHECK(Trace() == "SetAutoTrans 1|SetTransEffect 0 0.1");
    CHECK(f.sw.afterPipEnd == 1);
    CHECK(f.deck.switching == 0);
    CHECK(f.views.switchButton == 0);

    /* The end of the cut pauses the inner channel; the roles stay. */
    f.sw.OnTransitionProgress(100);
    CHECK(Trace() == "MyPause 1");
    CHECK(f.deck.onAir == 1);
    CHECK(f.deck.preview == 2);
    CHECK(f.sw.afterPipEnd == 0);
    CHECK(f.deck.ch[2].state == CHSTATE_PAUSED);
}

TEST_CASE("T-bar positions map to engine positions", "[switch][tbar]")
{
    const int plain[11] = {0, 2, 2, 4, 4, 6, 6, 8, 8, 9, 9};
    const int pip[11] = {0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5};
    for (int pos = 0; pos <= 10; ++pos) {
        INFO("position " << pos);
        CHECK(SwitchCore::TBarToEngine(pos, false) == plain[pos]);
        CHECK(SwitchCore::TBarToEngine(pos, true) == pip[pos]);
    }
    CHECK(SwitchCore::TBarToEngine(-4, false) == 0);
    CHECK(SwitchCore::TBarToEngine(14, false) == 9);
    CHECK(SwitchCore::TBarToEngine(14, true) == 5);
}

TEST_CASE("T-bar drag follows every position and completes only on release", "[switch][tbar]")
{
    Fixture f;
    f.sw.transition = 12;
    for (int pos = 1; pos <= 10; ++pos) f.sw.OnTBarScroll(pos);
    CHECK(Trace() == "SetAutoTrans 0|SetTransEffect 12 1.0|MyPlay 1|SetTransPosition 2|SetTransPosition 2|"
                     "SetTransPosition 4|SetTransPosition 4|SetTransPosition 6|SetTransPosition 6|"
                     "SetTransPosition 8|SetTransPosition 8|SetTransPosition 9|SetTransPosition 9");
    CHECK(f.deck.switching == 1);
    CHECK(f.deck.onAir == 1);

    SECTION("a release below the top leaves the transition where it is")
    {
        f.sw.OnTBarRelease(5);
        CHECK(Trace().empty());
        CHECK(f.deck.switching == 1);
        f.sw.OnTBarScroll(3);   /* and the bar goes on from there */
        CHECK(Trace() == "SetTransPosition 4");
    }
    SECTION("the release at the top hands the rest to the engine")
    {
        f.sw.OnTBarRelease(10);
        CHECK(Trace() == "SetAutoTrans 1");
        CHECK(f.views.tbar == std::vector<int>{0});
        CHECK(f.deck.switching == 0);
        CHECK(f.sw.tbarDone == 1);
        CHECK(f.views.switchButton == 0);
        /* The bar does not restart the running rest. */
        f.sw.OnTBarScroll(4);
        CHECK(Trace().empty());
        f.sw.OnTransitionProgress(100);
        CHECK(Trace() == "MyPause 0|SelectChannel 0");
        CHECK(f.deck.onAir == 2);
        CHECK(f.deck.preview == 1);
        /* The next drag starts at its first event. */
        f.sw.OnTBarScroll(2);
        CHECK(Trace() == "SetAutoTrans 0|SetTransEffect 12 1.0|MyPlay 0|SetTransPosition 2");
    }
    SECTION("the switch command does not interrupt a drag")
    {
        f.sw.OnSwitch(1.0);
        CHECK(Trace().empty());
    }
}

TEST_CASE("T-bar does nothing with the selection on air or during a switch", "[switch][tbar]")
{
    Fixture f;
    SECTION("selection on air: scroll ignored, release at the top puts the bar back")
    {
        f.deck.preview = 1;
        f.sw.OnTBarScroll(4);
        f.sw.OnTBarRelease(10);
        CHECK(Trace().empty());
        CHECK(f.views.tbar == std::vector<int>{0});
    }
    SECTION("a running switch is not restarted by the bar")
    {
        f.sw.transition = 3;
        f.sw.OnSwitch(2.0);
        Trace();
        f.sw.OnTBarScroll(6);
        f.sw.OnTBarRelease(10);
        CHECK(Trace().empty());
        CHECK(f.deck.switching == 1);
    }
    SECTION("remote-controlled mode ignores the release")
    {
        f.deck.remoteMode = 1;
        f.sw.OnTBarRelease(10);
        CHECK(f.views.tbar.empty());
    }
}
