/*
 * The channel rules without a window: transport button tuples and engine
 * calls, the at-most-two-playing-files rule with its start order, the
 * slide-show and background-music exceptions, the remote guard, opening
 * sources (selection, kinds, failures) and position reports.  The engine is
 * a fake table that records calls; the view records what it is told.
 */
#include <catch2/catch.hpp>
#include <windows.h>
#include <map>
#include "channel_deck.h"
#include "engine_calls.h"
#include "mixer_app.h"
#include "mixer_dlg.h"

namespace {

std::vector<std::string> g_calls;
std::map<std::string, BOOL> g_openResult;   /* by video name; default TRUE */
std::map<std::string, int> g_duration;      /* by video name */
std::string g_lastOpened[CHANNELS];

void Log(const std::string &s) { g_calls.push_back(s); }

BOOL WINAPI FakeOpen(WORD c, const char *v, const char *a)
{
    Log("OpenSource " + std::to_string(c) + " " + v + " " + a);
    auto it = g_openResult.find(v);
    BOOL ok = it == g_openResult.end() ? TRUE : it->second;
    g_lastOpened[c] = ok ? v : "";
    return ok;
}
int WINAPI FakeDuration(int c) { return g_duration.count(g_lastOpened[c]) ? g_duration[g_lastOpened[c]] : 0; }
int WINAPI FakePlay(WORD c) { Log("MyPlay " + std::to_string(c)); return 0; }
int WINAPI FakeStop(WORD c) { Log("MyStop " + std::to_string(c)); return 0; }
int WINAPI FakePause(WORD c) { Log("MyPause " + std::to_string(c)); return 0; }
int WINAPI FakeRewind(WORD c) { Log("MyRewind " + std::to_string(c)); return 0; }
int WINAPI FakeForward(WORD c) { Log("MyFastForward " + std::to_string(c)); return 0; }
BOOL WINAPI FakeSelect(WORD c) { Log("SelectChannel " + std::to_string(c)); return TRUE; }

struct FakeEngine {
    EngineCalls saved = g_engine;
    FakeEngine()
    {
        g_engine.OpenSource = FakeOpen;
        g_engine.MyGetDuration = FakeDuration;
        g_engine.MyPlay = FakePlay;
        g_engine.MyStop = FakeStop;
        g_engine.MyPause = FakePause;
        g_engine.MyRewind = FakeRewind;
        g_engine.MyFastForward = FakeForward;
        g_engine.SelectChannel = FakeSelect;
        g_calls.clear();
        g_openResult.clear();
        g_duration.clear();
    }
    ~FakeEngine() { g_engine = saved; }
};

struct View : DeckView {
    std::string buttons[CHANNELS + 1];    /* last tuple per channel, "111011" */
    std::vector<std::string> log;         /* every tuple, "n:tuple" */
    std::string time[CHANNELS + 1], duration[CHANNELS + 1];
    int indicator[CHANNELS + 1] = {};
    std::vector<std::string> messages;
    std::vector<int> slides;
    void SetChannelButtons(int n, const int s[6]) override
    {
        std::string t;
        for (int k = 0; k < 6; ++k) t += char('0' + s[k]);
        buttons[n] = t;
        log.push_back(std::to_string(n) + ":" + t);
    }
    void ShowChannelTime(int n, int s) override { time[n] = TimeSpanText(s); }
    void ShowChannelDuration(int n, int s) override { duration[n] = TimeSpanText(s); }
    void SetIndicator(int n, int s) override { indicator[n] = s; }
    void ShowMessage(const char *t) override { messages.push_back(t); }
    void ShowSlideImage(int p) override { slides.push_back(p); }
};

/* A deck with file channels 1..5 open, paused at their first frame. */
struct Fixture {
    FakeEngine engine;
    View view;
    ChannelDeck deck{&view};
    Fixture(int files = 5)
    {
        for (int n = 1; n <= files; ++n) {
            std::string name = "C:\\clips\\ch" + std::to_string(n) + ".avi";
            g_duration[name] = 10;
            REQUIRE(deck.OpenOnChannel(n, name, name));
        }
        g_calls.clear();
        view.log.clear();
    }
    std::string Order() const
    {
        std::string s;
        for (int v : deck.startOrder) s += char('0' + v);
        return s;
    }
};

} // namespace

TEST_CASE("Transport commands: button tuples before and after, engine calls and states", "[core][transport]")
{
    struct Row { const char *command; std::vector<std::string> tuples; const char *call; int state; };
    const Row rows[] = {
        {"rewind", {"2:011111", "2:111011"}, "MyRewind 1", CHSTATE_RUNNING},
        {"forward", {"2:111101", "2:111011"}, "MyFastForward 1", CHSTATE_RUNNING},
        {"stop", {"2:101111"}, "MyStop 1", CHSTATE_STOPPED},
        {"pause", {"2:110111"}, "MyPause 1", CHSTATE_PAUSED},
        {"play", {"2:111011"}, "MyPlay 1", CHSTATE_RUNNING},
    };
    for (const auto &r : rows) {
        INFO(r.command);
        Fixture f;
        std::string cmd = r.command;
        f.view.time[2] = "x";
        if (cmd == "rewind") f.deck.OnRewind(2);
        if (cmd == "forward") f.deck.OnFastForward(2);
        if (cmd == "stop") f.deck.OnStop(2);
        if (cmd == "pause") f.deck.OnPause(2);
        if (cmd == "play") f.deck.OnPlay(2);
        CHECK(f.view.log == r.tuples);
        CHECK(g_calls == std::vector<std::string>{r.call});
        CHECK(f.deck.ch[2].state == r.state);
        CHECK(f.view.time[2] == (cmd == "stop" ? "00:00:00" : "x"));
    }
}

TEST_CASE("At most two file channels play: a third pauses the last started one that is not on air", "[core][order]")
{
    {
        Fixture f;
        CHECK(f.deck.onAir == 1);
        f.deck.OnPlay(1);
        f.deck.OnPlay(2);
        CHECK(f.Order() == "20000");
        g_calls.clear();
        f.deck.OnPlay(3);
        CHECK(g_calls == std::vector<std::string>{"MyPause 1", "MyPlay 2"});
        CHECK(f.deck.ch[1].state == CHSTATE_RUNNING);
        CHECK(f.deck.ch[2].state == CHSTATE_PAUSED);
        CHECK(f.deck.ch[3].state == CHSTATE_RUNNING);
        CHECK(f.Order() == "30000");
        CHECK(f.view.buttons[2] == "110111");
    }
}

TEST_CASE("Start order upkeep: stops and pauses forget, the on-air channel is never kept, five slots", "[core][order]")
{
    Fixture f;
    struct Step { char cmd; int n; const char *order; const char *running; };
    const Step steps[] = {
        {'p', 2, "20000", "2"},
        {'p', 3, "23000", "23"},
        {'p', 4, "24000", "24"},   /* three files: 3, the last started, is paused */
        {'s', 2, "40000", "4"},
        {'p', 1, "40000", "14"},   /* on air: plays, never enters the order */
        {'p', 5, "50000", "15"},   /* 1, 4, 5 running files: 4 paused */
        {'u', 5, "00000", "1"},
        {'p', 3, "30000", "13"},
        {'r', 2, "30000", "123"},  /* rewind leaves a channel running without the upkeep */
        {'f', 4, "30000", "1234"},
        {'p', 5, "50000", "1245"}, /* four running: 3 is the last started and goes */
    };
    for (const auto &s : steps) {
        if (s.cmd == 'p') f.deck.OnPlay(s.n);
        if (s.cmd == 's') f.deck.OnStop(s.n);
        if (s.cmd == 'u') f.deck.OnPause(s.n);
        if (s.cmd == 'r') f.deck.OnRewind(s.n);
        if (s.cmd == 'f') f.deck.OnFastForward(s.n);
        std::string running;
        for (int n = 1; n <= CHANNELS; ++n)
            if (f.deck.ch[n].state == CHSTATE_RUNNING) running += char('0' + n);
        INFO("after " << s.cmd << s.n);
        CHECK(f.Order() == s.order);
        CHECK(running == s.running);
    }
    /* Full slots: the newcomer replaces the first. */
    f.deck.startOrder[0] = 1; f.deck.startOrder[1] = 2; f.deck.startOrder[2] = 3;
    f.deck.startOrder[3] = 4; f.deck.startOrder[4] = 5;
    f.deck.onAir = 0;
    for (int n = 1; n <= CHANNELS; ++n) f.deck.ch[n].state = CHSTATE_PAUSED;
    f.deck.ch[2].state = CHSTATE_RUNNING;
    f.deck.ch[2].kind = SOURCE_DV_DEVICE;   /* not a file: not counted */
    f.deck.LimitPlayingChannels(2);
    CHECK(f.Order() == "13452");
}

TEST_CASE("Stop of the on-air channel while encoding, channels without transport, background music", "[core][guards]")
{
    Fixture f;
    f.deck.encoding = 1;
    f.deck.OnStop(1);
    CHECK(g_calls.empty());
    f.deck.OnStop(2);
    CHECK(g_calls == std::vector<std::string>{"MyStop 1"});
    f.deck.encoding = 0;
    g_calls.clear();
    f.view.log.clear();

    f.deck.ch[3].kind = SOURCE_DEVICE;
    f.deck.ch[4].kind = SOURCE_DV_DEVICE;
    f.deck.ch[4].duration = 0;
    f.deck.backgroundMusic = 1;
    for (int n : {3, 4, 5}) {
        f.deck.OnPlay(n);
        f.deck.OnPause(n);
        f.deck.OnStop(n);
        f.deck.OnRewind(n);
        f.deck.OnFastForward(n);
    }
    CHECK(g_calls.empty());
    CHECK(f.view.log.empty());
    f.deck.ch[4].duration = 60;   /* a DV tape has transport */
    f.deck.OnPlay(4);
    CHECK(g_calls == std::vector<std::string>{"MyPlay 3"});
    /* A channel without a source. */
    Fixture empty(0);
    empty.deck.OnPlay(2);
    CHECK(g_calls.empty());
}

TEST_CASE("Remote guard: operator commands do nothing, remote commands act, on every button", "[core][guards]")
{
    Fixture f;
    f.deck.remoteMode = 1;
    for (int n = 1; n <= CHANNELS; ++n) {
        f.deck.OnPlay(n);
        f.deck.OnPause(n);
        f.deck.OnStop(n);
        f.deck.OnRewind(n);
        f.deck.OnFastForward(n);
        CHECK(!f.deck.MayOpen(n));
    }
    CHECK(g_calls.empty());
    f.deck.remoteCommand = 1;
    f.deck.OnPlay(2);
    f.deck.OnPlay(3);
    f.deck.OnPlay(4);
    /* No start-order upkeep in the remote-controlled mode: the scheduler decides. */
    CHECK(g_calls == std::vector<std::string>{"MyPlay 1", "MyPlay 2", "MyPlay 3"});
    CHECK(f.Order() == "00000");
    f.deck.OnPause(4);
    f.deck.OnStop(4);
    f.deck.OnFastForward(4);
    CHECK(g_calls.size() == 6);
    CHECK(f.deck.MayOpen(2));
}

TEST_CASE("Slide show on channel 4: image steps wrap, a switch in progress is reported", "[core][slides]")
{
    Fixture f(3);   /* channel 4 has no source: the steps still work */
    f.deck.slideShow = 1;
    f.deck.imageCount = 3;
    f.deck.imagePosition = 2;
    f.deck.OnFastForward(4);
    f.deck.OnFastForward(4);
    f.deck.OnRewind(4);
    f.deck.OnRewind(4);
    CHECK(f.view.slides == std::vector<int>{0, 1, 0, 2});
    f.deck.OnStop(4);
    f.deck.OnPause(4);
    CHECK(g_calls.empty());
    f.deck.switching = 1;
    f.deck.onAir = 4;
    f.deck.OnRewind(4);
    CHECK(f.view.messages == std::vector<std::string>{"Switching is not end."});
    CHECK(f.deck.imagePosition == 2);
    /* Play on channel 4 works but leaves its buttons. */
    f.deck.switching = 0;
    f.deck.onAir = 1;
    f.deck.ch[4].open = 1;
    f.view.log.clear();
    f.deck.OnPlay(4);
    CHECK(g_calls == std::vector<std::string>{"MyPlay 3"});
    CHECK(f.view.log.empty());
}

TEST_CASE("Opening sources: selection, kinds, first frame or play, failures leave an empty channel", "[core][sources]")
{
    FakeEngine engine;
    View view;
    ChannelDeck deck(&view);
    g_duration["C:\\a.avi"] = 65;
    /* Nothing selected: the channel becomes preview and programme, paused at its first frame. */
    REQUIRE(deck.OpenOnChannel(2, "C:\\a.avi", "C:\\a.avi"));
    CHECK(g_calls == std::vector<std::string>{"OpenSource 1 C:\\a.avi C:\\a.avi", "MyPause 1", "SelectChannel 1"});
    CHECK(deck.preview == 2);
    CHECK(deck.onAir == 2);
    CHECK(deck.ch[2].kind == SOURCE_FILE);
    CHECK(view.duration[2] == "00:01:05");
    CHECK(view.time[2] == "00:00:00");
    CHECK(view.indicator[2] == 2);
    CHECK(view.buttons[2] == "110111");
    /* A second source: played (no duration), the preview is selected again. */
    g_calls.clear();
    REQUIRE(deck.OpenOnChannel(3, "C:\\still.bmp", "C:\\still.bmp"));
    CHECK(g_calls == std::vector<std::string>{"OpenSource 2 C:\\still.bmp C:\\still.bmp", "MyPlay 2", "SelectChannel 1"});
    CHECK(deck.preview == 2);
    /* A live device: no transport from the mixer at all. */
    g_calls.clear();
    REQUIRE(deck.OpenOnChannel(4, "dev:Camera", "dev:Microphone"));
    CHECK(deck.ch[4].kind == SOURCE_DEVICE);
    CHECK(g_calls == std::vector<std::string>{"OpenSource 3 dev:Camera dev:Microphone", "SelectChannel 1"});
    /* A DV device with a tape length stands paused. */
    g_calls.clear();
    g_duration["dev:Microsoft DV Camera and VCR"] = 3600;
    REQUIRE(deck.OpenOnChannel(5, "dev:Microsoft DV Camera and VCR", ""));
    CHECK(deck.ch[5].kind == SOURCE_DV_DEVICE);
    CHECK(g_calls == std::vector<std::string>{"OpenSource 4 dev:Microsoft DV Camera and VCR ", "MyPause 4", "SelectChannel 1"});
    /* A failed open on the preview and programme channel: the engine dropped the old
     * source, so the channel is emptied and nothing plays it any more. */
    g_calls.clear();
    g_openResult["C:\\broken.avi"] = FALSE;
    deck.startOrder[0] = 2;
    CHECK(!deck.OpenOnChannel(2, "C:\\broken.avi", "C:\\broken.avi"));
    CHECK(deck.ch[2].open == 0);
    CHECK(deck.ch[2].video.empty());
    CHECK(deck.preview == -1);
    CHECK(deck.onAir == 0);
    CHECK(deck.startOrder[0] == 0);
    CHECK(view.duration[2] == "00:00:00");
    CHECK(view.buttons[2] == "111111");
    deck.OnPlay(2);
    CHECK(g_calls == std::vector<std::string>{"OpenSource 1 C:\\broken.avi C:\\broken.avi"});
}

TEST_CASE("Names, command line and positions", "[core]")
{
    struct Kind { const char *name; int kind; };
    for (const auto &k : std::vector<Kind>{{"C:\\a.avi", SOURCE_FILE}, {"dev:USB Camera", SOURCE_DEVICE},
                                           {"dev:Microsoft DV Camera and VCR", SOURCE_DV_DEVICE},
                                           {"dev:Microsoft DV Camera and VCR (1)", SOURCE_DV_DEVICE}, {"C:\\DV\\a.avi", SOURCE_FILE},
                                           {"", SOURCE_FILE}}) {
        INFO(k.name);
        CHECK(KindOfSource(k.name) == k.kind);
    }
    struct Line { const char *line; bool remote; };
    for (const auto &l : std::vector<Line>{{"TARNELL", true}, {"tarnell", false}, {" TARNELL", false},
                                           {"TARNELL ", false}, {"TARNELL X", false}, {"", false}}) {
        INFO("[" << l.line << "]");
        CHECK(IsRemoteCommandLine(l.line) == l.remote);
    }
    CHECK(TimeSpanText(0) == "00:00:00");
    CHECK(TimeSpanText(3661) == "01:01:01");
    CHECK(TimeSpanText(-5) == "00:00:00");

    FakeEngine engine;
    View view;
    ChannelDeck deck(&view);
    deck.skipNextPosition = 1;
    deck.OnPosition(1, 5);
    CHECK(view.time[2].empty());
    deck.OnPosition(1, 7);
    CHECK(view.time[2] == "00:00:07");
    deck.OnPosition(7, 9);
    deck.OnPosition(-1, 9);
}
