/*
 * The remote control, the end-of-stream rules and the small helpers of the
 * engine events without a window: a fake engine records its calls, the
 * replies are recorded instead of posted.  The request table here checks
 * the arithmetic of every code (channels, items, times, positions, replies
 * withheld); test_mixer_remote runs the same requests across two processes
 * on the real engine.
 */
#include <catch2/catch.hpp>
#include <windows.h>
#include <map>
#include "channel_deck.h"
#include "engine_calls.h"
#include "engine_events.h"
#include "mixer_dlg.h"
#include "remote_control.h"

using namespace remote;

namespace {

std::vector<std::string> g_calls;
std::map<std::string, int> g_duration;   /* by video name */
std::map<std::string, BOOL> g_openResult;
std::string g_opened[CHANNELS];

void Log(const std::string &s) { g_calls.push_back(s); }
std::string N(int v) { return std::to_string(v); }

BOOL WINAPI FakeOpen(WORD c, const char *v, const char *a)
{
    Log("OpenSource " + N(c) + " " + v + " " + a);
    BOOL ok = g_openResult.count(v) ? g_openResult[v] : TRUE;
    g_opened[c] = ok ? v : "";
    if (!ok) MessageBoxA(nullptr, (std::string("Video [") + v + "] is not found.").c_str(), nullptr, MB_OK);
    return ok;
}
int WINAPI FakeDuration(int c) { return g_duration.count(g_opened[c]) ? g_duration[g_opened[c]] : 0; }
int WINAPI FakePlay(WORD c) { Log("MyPlay " + N(c)); return 0; }
int WINAPI FakeStop(WORD c) { Log("MyStop " + N(c)); return 0; }
int WINAPI FakePause(WORD c) { Log("MyPause " + N(c)); return 0; }
BOOL WINAPI FakeSelect(WORD c) { Log("SelectChannel " + N(c)); return TRUE; }
int WINAPI FakeSeek(int c, int us) { Log("MySetPosition " + N(c) + " " + N(us)); return 1; }
int WINAPI FakeTrans(int i, double s)
{
    char t[64];
    snprintf(t, sizeof t, "SetTransEffect %d %.1f", i, s);
    Log(t);
    return 0;
}
int WINAPI FakeAuto(BOOL on) { Log("SetAutoTrans " + N(on)); return 0; }

struct View : DeckView, SwitchView {
    std::vector<std::string> messages;
    void SetChannelButtons(int, const int *) override {}
    void ShowChannelTime(int, int) override {}
    void ShowChannelDuration(int, int) override {}
    void SetIndicator(int, int) override {}
    void ShowMessage(const char *t) override { messages.push_back(t); }
    void ShowSlideImage(int) override {}
    void SetSwitchButton(int) override {}
    void SetTBar(int) override {}
    void ShowTransTime(const std::string &) override {}
};

struct Posted { HWND to; int code; LPARAM arg; };

struct Fixture {
    EngineCalls saved = g_engine;
    View view;
    ChannelDeck deck{&view};
    SwitchCore switcher{deck, &view};
    RemoteControl rc{deck, switcher};
    std::vector<Posted> posts;
    std::vector<std::string> hookCalls;
    HWND scheduler = reinterpret_cast<HWND>(0x1234), own = reinterpret_cast<HWND>(0x5678);
    bool titleOn = false;
    bool encoding = false;

    Fixture()
    {
        g_engine.OpenSource = FakeOpen;
        g_engine.MyGetDuration = FakeDuration;
        g_engine.MyPlay = FakePlay;
        g_engine.MyStop = FakeStop;
        g_engine.MyPause = FakePause;
        g_engine.SelectChannel = FakeSelect;
        g_engine.MySetPosition = FakeSeek;
        g_engine.SetTransEffect = FakeTrans;
        g_engine.SetAutoTrans = FakeAuto;
        g_calls.clear();
        g_duration.clear();
        g_openResult.clear();
        rc.OnEngineStarted();
        rc.hooks.post = [this](HWND to, int code, LPARAM arg) { posts.push_back({to, code, arg}); };
        rc.hooks.findScheduler = [this] { return scheduler; };
        rc.hooks.ownWindow = [this] { return own; };
        rc.hooks.resetMixer = [this] { hookCalls.push_back("reset"); deck.Reset(); rc.OnEngineStarted(); };
        rc.hooks.setEncoding = [this](bool start) {
            hookCalls.push_back(start ? "encode start" : "encode stop");
            encoding = start;
            return true;
        };
        rc.hooks.titleIsOn = [this] { return titleOn; };
        rc.hooks.toggleTitle = [this] { hookCalls.push_back("toggle title"); titleOn = !titleOn; };
        rc.hooks.reapplyTitle = [this] { hookCalls.push_back("apply title"); };
        rc.hooks.openTitle = [this](const std::string &p) { hookCalls.push_back("title " + p); return true; };
        rc.hooks.closeMixer = [this] { hookCalls.push_back("close"); };
        rc.hooks.showWindow = [this](int cmd) { hookCalls.push_back("show " + N(cmd)); };
    }
    ~Fixture() { g_engine = saved; }

    /* Opens files on channels 1..count through descriptors. */
    void Load(int count)
    {
        for (int n = 1; n <= count; ++n) {
            std::string name = "C:\\clips\\ch" + N(n) + ".avi";
            g_duration[name] = 30;
            REQUIRE(Copy(n - 1, 0, name + "," + name + ",0000") == 1);
        }
        g_calls.clear();
        posts.clear();
    }
    LRESULT Copy(int upper, int kind, const std::string &text, DWORD cb = 0)
    {
        std::vector<char> buf(cb ? cb : 260, '\0');
        memcpy(buf.data(), text.data(), (std::min)(text.size(), buf.size()));
        COPYDATASTRUCT cds = {DescriptorData(upper, kind), static_cast<DWORD>(buf.size()), buf.data()};
        return rc.OnCopyData(nullptr, &cds);
    }
    std::string Calls() const
    {
        std::string s;
        for (const auto &c : g_calls) s += (s.empty() ? "" : "; ") + c;
        return s;
    }
};

} // namespace

TEST_CASE("Every request code: its action and the reply it posts, with the argument as received", "[remote]")
{
    struct Row {
        int code;
        LPARAM arg;
        int reply;          /* 0: no reply */
        LPARAM replyArg;
        std::string calls;  /* engine calls */
        std::string hooks;  /* window hooks */
    };
    /* Channels 1 and 2 hold files (paused), channel 1 on air and selected. */
    const std::vector<Row> rows = {
        {RC_PAUSE_CHANNEL, 1 << 16, RC_PAUSE_CHANNEL_DONE, 1 << 16, "MyPause 1", ""},
        {RC_PLAY_CHANNEL, (1 << 16) | 7, RC_PLAY_CHANNEL_DONE, (1 << 16) | 7, "MyPlay 1", ""},
        /* Only the first play request after a start plays. */
        {RC_PLAY_CHANNEL, (0 << 16) | 8, RC_PLAY_CHANNEL_DONE, 8, "", ""},
        {RC_PLAY_CHANNEL_NOW, (0 << 16) | 8, RC_PLAY_CHANNEL_NOW_DONE, 8, "MyPlay 0", ""},
        {RC_SELECT_CHANNEL, (1 << 16) | 9, RC_SELECT_CHANNEL_DONE, (1 << 16) | 9, "SelectChannel 1", ""},
        /* Channel numbers outside 0..4 skip the action, not the reply. */
        {RC_PAUSE_CHANNEL, 5 << 16, RC_PAUSE_CHANNEL_DONE, 5 << 16, "", ""},
        {RC_PLAY_CHANNEL_NOW, -(1 << 16), RC_PLAY_CHANNEL_NOW_DONE, -(1 << 16), "", ""},
        {RC_SELECT_CHANNEL, 7 << 16, RC_SELECT_CHANNEL_DONE, 7 << 16, "", ""},
        /* 0 s is 0.1 s; 25 s is clamped to 10; a cut is always 0.1 s. */
        {RC_SWITCH, (3 << 16) | 0, RC_SWITCH_DONE, 3 << 16, "SetAutoTrans 1; SetTransEffect 3 0.1", ""},
        {RC_SWITCH, (3 << 16) | 25, RC_SWITCH_DONE, (3 << 16) | 25, "", ""},   /* still running: refused */
        {RC_SEEK_CHANNEL, (1 << 14) | 90, RC_SEEK_CHANNEL_DONE, (1 << 14) | 90, "MySetPosition 1 90000000", ""},
        {RC_SEEK_CHANNEL, (6 << 14) | 5, RC_SEEK_CHANNEL_DONE, (6 << 14) | 5, "", ""},
        {RC_TITLE_ON, 4, RC_TITLE_ON_DONE, 4, "", "toggle title"},
        {RC_TITLE_ON, 5, RC_TITLE_ON_DONE, 5, "", "apply title"},
        {RC_TITLE_OFF, 0, RC_TITLE_OFF_DONE, 0, "", "toggle title"},
        {RC_TITLE_OFF, 0, RC_TITLE_OFF_DONE, 0, "", ""},
        {RC_ENCODE_START, 0, RC_ENCODE_START_DONE, 0, "", "encode start"},
        {RC_ENCODE_STOP, 0, RC_ENCODE_STOP_DONE, 0, "", "encode stop"},
        {RC_ONAIR_START, 77, RC_ONAIR_START_DONE, 0, "", ""},
        {RC_HOLD_ON, 0, 0, 0, "", ""},
        {RC_HOLD_OFF, 0, 0, 0, "", ""},
        {RC_MINIMIZE, 0, 0, 0, "", "show " + N(SW_MINIMIZE)},
        {RC_MAXIMIZE, 0, 0, 0, "", "show " + N(SW_MAXIMIZE)},
        /* Codes outside the list are ignored without a reply. */
        {3000, 1, 0, 0, "", ""},
        {3003, 1, 0, 0, "", ""},
        {RC_HELLO_ACK, 1, 0, 0, "", ""},
        {3093, 1, 0, 0, "", ""},
        {RC_MIXER_OFF, 3, RC_MIXER_OFF_DONE, 0, "", "reset"},
        {RC_SCHEDULER_CLOSING, 0, 0, 0, "", "close"},
    };
    Fixture f;
    f.deck.remoteMode = 1;
    f.Load(2);
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row &r = rows[i];
        INFO("row " << i << ": code " << r.code << " arg " << r.arg);
        g_calls.clear();
        f.posts.clear();
        f.hookCalls.clear();
        CHECK(f.rc.OnRemoteCommand(r.code, r.arg) == -1);
        CHECK(f.Calls() == r.calls);
        std::string hooks;
        for (const auto &h : f.hookCalls) hooks += (hooks.empty() ? "" : "; ") + h;
        CHECK(hooks == r.hooks);
        if (r.reply) {
            REQUIRE(f.posts.size() == 1);
            CHECK(f.posts[0].to == f.scheduler);
            CHECK(f.posts[0].code == r.reply);
            CHECK(f.posts[0].arg == r.replyArg);
        } else {
            CHECK(f.posts.empty());
        }
        /* The remote command flag is down again after each request. */
        CHECK(f.deck.remoteCommand == 0);
        if (r.code == RC_SWITCH && (r.arg & 0xFFF) == 0) CHECK(f.switcher.transTime == Approx(0.1));
        if (r.code == RC_HOLD_ON) CHECK(f.rc.hold == 1);
        if (r.code == RC_HOLD_OFF) CHECK(f.rc.hold == 0);
    }
    CHECK(f.rc.playRequests == 1);   /* the reset started the engine again */
}

TEST_CASE("Switch times and transitions from the packed argument", "[remote]")
{
    struct Row { LPARAM arg; std::string calls; double time; };
    const std::vector<Row> rows = {
        {(5 << 16) | 0, "SetAutoTrans 1; SetTransEffect 5 0.1", 0.1},
        {(5 << 16) | 25, "SetAutoTrans 1; SetTransEffect 5 10.0", 10.0},
        {(5 << 16) | 3, "SetAutoTrans 1; SetTransEffect 5 3.0", 3.0},
        {(0 << 16) | 5, "SetAutoTrans 1; SetTransEffect 0 0.1", 5.0},   /* a cut keeps the time, runs 0.1 s */
        {(44 << 16) | 2, "", 1.0},                                     /* no such pattern: no switch */
        {-(1 << 16) | 2, "", 1.0},
    };
    for (const auto &r : rows) {
        INFO("arg " << std::hex << r.arg);
        Fixture f;
        f.deck.remoteMode = 1;
        f.Load(2);
        f.rc.OnRemoteCommand(RC_SELECT_CHANNEL, 1 << 16);
        g_calls.clear();
        f.posts.clear();
        f.rc.OnRemoteCommand(RC_SWITCH, r.arg);
        CHECK(f.Calls() == r.calls);
        CHECK(f.switcher.transTime == Approx(r.time));
        REQUIRE(f.posts.size() == 1);
        CHECK(f.posts[0].code == RC_SWITCH_DONE);
        CHECK(f.posts[0].arg == r.arg);
    }
}

TEST_CASE("Hello, take control and where replies go", "[remote]")
{
    Fixture f;
    SECTION("hello with no window turns remote mode on and posts nothing")
    {
        f.scheduler = nullptr;
        f.rc.OnRemoteCommand(RC_HELLO, 0);
        CHECK(f.deck.remoteMode == 1);
        CHECK(f.posts.empty());
    }
    SECTION("hello with a window answers it with the mixer's window")
    {
        /* A real window, so the handle kept stays valid. */
        HWND peer = CreateWindowA("STATIC", "peer", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        f.rc.OnRemoteCommand(RC_HELLO, WindowArg(peer));
        REQUIRE(f.posts.size() == 1);
        CHECK(f.posts[0].to == peer);
        CHECK(f.posts[0].code == RC_HELLO_ACK);
        CHECK(ArgWindow(f.posts[0].arg) == f.own);
        CHECK(f.rc.SchedulerWindow() == peer);
        /* Once that window is gone, a reply goes to the window found by title. */
        DestroyWindow(peer);
        f.rc.OnRemoteCommand(RC_ONAIR_START, 0);
        REQUIRE(f.posts.size() == 2);
        CHECK(f.posts[1].to == f.scheduler);
    }
    SECTION("take control: remote mode and the command flag stay on")
    {
        f.rc.OnRemoteCommand(RC_TAKE_CONTROL, 0);
        CHECK(f.deck.remoteMode == 1);
        CHECK(f.deck.remoteCommand == 1);
        CHECK(f.posts.empty());
    }
    SECTION("operator mode: requests act without raising the flag")
    {
        f.Load(1);
        f.rc.OnRemoteCommand(RC_PLAY_CHANNEL_NOW, 0);
        CHECK(f.deck.ch[1].state == CHSTATE_RUNNING);
        CHECK(f.deck.remoteMode == 0);
    }
}

TEST_CASE("Source descriptors: loads, replies, kinds and refusals", "[remote][descriptor]")
{
    Fixture f;
    f.deck.remoteMode = 1;
    g_duration["C:\\a.avi"] = 12;

    SECTION("a file with item 0007 on channel 1: paused, selected, answered with the item")
    {
        CHECK(f.Copy(1, 0, "C:\\a.avi,C:\\a.avi,0007") == 1);
        CHECK(f.Calls() == "OpenSource 1 C:\\a.avi C:\\a.avi; MyPause 1; SelectChannel 1");
        REQUIRE(f.posts.size() == 1);
        CHECK(f.posts[0].code == RC_SOURCE_LOADED_ITEM);
        CHECK(f.posts[0].arg == 0x10007);
        const auto &c = f.deck.ch[2];
        CHECK(c.open == 1);
        CHECK(c.kind == SOURCE_FILE);
        CHECK(c.duration == 12);
        CHECK(c.state == CHSTATE_PAUSED);
        CHECK(c.audio == "C:\\a.avi");
        CHECK(f.deck.preview == 2);
        CHECK(f.deck.onAir == 2);
        /* Item 0000 answers RC_SOURCE_LOADED with the channel alone; a
         * second source leaves the selection as it is. */
        f.posts.clear();
        CHECK(f.Copy(3, 0, "C:\\a.avi,C:\\a.avi,0000") == 1);
        REQUIRE(f.posts.size() == 1);
        CHECK(f.posts[0].code == RC_SOURCE_LOADED);
        CHECK(f.posts[0].arg == 3);
        CHECK(f.deck.preview == 2);
    }
    SECTION("devices: kind by name, played when they have no duration")
    {
        /* A live source runs by itself: the transport has nothing to do on it. */
        struct Row { std::string video; int kind; int duration; std::string call; };
        for (const auto &r : std::vector<Row>{{"dev:Studio Cam", SOURCE_DEVICE, 0, "SelectChannel 0"},
                                              {"dev:DV Deck", SOURCE_DV_DEVICE, 0, "SelectChannel 0"},
                                              {"dev:DV Deck", SOURCE_DV_DEVICE, 3600, "MyPause 0"}}) {
            INFO(r.video << " " << r.duration);
            Fixture d;
            g_duration[r.video] = r.duration;
            CHECK(d.Copy(0, 0, r.video + ",dev:Mic,0002") == 1);
            CHECK(d.deck.ch[1].kind == r.kind);
            CHECK(g_calls.at(1) == r.call);
        }
    }
    SECTION("refused descriptors answer RC_SOURCE_FAILED and open nothing")
    {
        struct Row { const char *what; int upper; std::string text; DWORD cb; LPARAM arg; };
        const std::string longName(300, 'x');
        const std::vector<Row> rows = {
            {"two fields", 1, "C:\\a.avi,0007", 0, 1 << 16},
            {"one field", 2, "C:\\a.avi", 0, 2 << 16},
            {"empty", 2, "", 0, 2 << 16},
            {"four fields", 1, "C:\\a.avi,C:\\a.avi,0007,9", 0, 1 << 16},
            {"no item digits", 1, "C:\\a.avi,C:\\a.avi,7", 0, 1 << 16},
            {"unterminated within cbData", 1, "C:\\a.avi,C:\\a.avi,0007", 22, 1 << 16},
            {"cbData cuts the text", 1, "C:\\a.avi,C:\\a.avi,0007", 10, 1 << 16},
            {"oversized, no zero in 260 bytes", 1, longName + ",b,0001", 400, 1 << 16},
            {"channel 5", 5, "C:\\a.avi,C:\\a.avi,0007", 0, 5 << 16},
            {"channel -1", -1, "C:\\a.avi,C:\\a.avi,0007", 0, static_cast<LPARAM>(static_cast<int32_t>(0xFFFF0000))},
        };
        for (const auto &r : rows) {
            INFO(r.what);
            f.posts.clear();
            g_calls.clear();
            CHECK(f.Copy(r.upper, 0, r.text, r.cb) == 0);
            CHECK(g_calls.empty());
            REQUIRE(f.posts.size() == 1);
            CHECK(f.posts[0].code == RC_SOURCE_FAILED);
            CHECK(f.posts[0].arg == r.arg);
        }
        /* No data at all. */
        f.posts.clear();
        COPYDATASTRUCT none = {DescriptorData(1, 0), 0, nullptr};
        CHECK(f.rc.OnCopyData(nullptr, &none) == 0);
        COPYDATASTRUCT nulldata = {DescriptorData(1, 0), 260, nullptr};
        CHECK(f.rc.OnCopyData(nullptr, &nulldata) == 0);
        CHECK(f.posts.size() == 2);
        for (int n = 1; n <= CHANNELS; ++n) CHECK(f.deck.ch[n].open == 0);
    }
    SECTION("a source the engine cannot open: the channel is emptied, the box closed, a failure reply")
    {
        CHECK(f.Copy(0, 0, "C:\\a.avi,C:\\a.avi,0001") == 1);
        g_openResult["C:\\gone.avi"] = FALSE;
        f.posts.clear();
        CHECK(f.Copy(0, 0, "C:\\gone.avi,C:\\gone.avi,0004") == 0);
        CHECK(f.deck.ch[1].open == 0);
        CHECK(f.deck.onAir == 0);
        CHECK(f.deck.preview == -1);
        REQUIRE(f.posts.size() == 1);
        CHECK(f.posts[0].code == RC_SOURCE_FAILED);
        CHECK(f.posts[0].arg == 4);
        CHECK(f.rc.quietTexts == std::vector<std::string>{"Video [C:\\gone.avi] is not found."});
    }
    SECTION("titles: the path goes to the title box, answered with the title item")
    {
        CHECK(f.Copy(12, 1, "C:\\titles\\news.lme") == 1);
        CHECK(f.hookCalls == std::vector<std::string>{"title C:\\titles\\news.lme"});
        REQUIRE(f.posts.size() == 1);
        CHECK(f.posts[0].code == RC_TITLE_LOADED);
        CHECK(f.posts[0].arg == 12);
        f.rc.hooks.openTitle = [](const std::string &) { return false; };
        CHECK(f.Copy(13, 5, "C:\\titles\\missing.lme") == 0);
        CHECK(f.posts.back().code == RC_TITLE_FAILED);
        CHECK(f.posts.back().arg == 13);
        CHECK(f.Copy(14, 1, "") == 0);
        CHECK(f.posts.back().code == RC_TITLE_FAILED);
    }
}

TEST_CASE("SplitSourceDescriptor", "[remote][descriptor]")
{
    struct Row { std::string text; bool ok; std::string video, audio; int number; };
    for (const auto &r : std::vector<Row>{
             {"C:\\a.avi,C:\\b.wav,0007", true, "C:\\a.avi", "C:\\b.wav", 7},
             {"dev:Cam,dev:Mic,0123", true, "dev:Cam", "dev:Mic", 123},
             {"a,b,12345", true, "a", "b", 2345},   /* the last four characters */
             {",,0000", true, "", "", 0},
             {"a,b,", false, "", "", 0},
             {"a,b", false, "", "", 0},
             {"a,b,c,0001", false, "", "", 0},
             {"a,b,00x1", false, "", "", 0},
         }) {
        INFO(r.text);
        std::string v = "-", a = "-";
        int n = -1;
        CHECK(SplitSourceDescriptor(r.text, &v, &a, &n) == r.ok);
        if (r.ok) {
            CHECK(v == r.video);
            CHECK(a == r.audio);
            CHECK(n == r.number);
        }
    }
}

TEST_CASE("End of stream: loop, cut to the selection, pause, transitions, remote mode", "[events]")
{
    struct Row {
        const char *what;
        int onAir, preview, switching, remote, music;
        int index;
        std::string calls;
        int stateAfter;   /* of the ended channel */
        int previewAfter;
    };
    const std::vector<Row> rows = {
        {"on air and selected: loops", 1, 1, 0, 0, 0, 0, "MyStop 0; MyPlay 0", CHSTATE_RUNNING, 1},
        {"on air, 2 selected: 0.1 s cut, then stops", 1, 2, 0, 0, 0, 0,
         "SetAutoTrans 1; SetTransEffect 0 0.1; MyPlay 1; MyStop 0", CHSTATE_STOPPED, 2},
        {"neither: pauses", 1, 2, 0, 0, 0, 2, "MyPause 2", CHSTATE_PAUSED, 2},
        {"on air, nothing selected: pauses", 1, -1, 0, 0, 0, 0, "MyPause 0", CHSTATE_PAUSED, -1},
        {"transition: on air plays on", 1, 2, 1, 0, 0, 0, "MyPlay 0", CHSTATE_RUNNING, 2},
        {"transition: selection plays on", 1, 2, 1, 0, 0, 1, "MyPlay 1", CHSTATE_RUNNING, 2},
        {"transition: others nothing", 1, 2, 1, 0, 0, 2, "", CHSTATE_PAUSED, 2},
        {"music on channel 5 loops", 1, 2, 0, 0, 1, 4, "MyPlay 4", 0, 2},
        {"remote: pauses, selection kept", 1, 2, 0, 1, 0, 0, "MyPause 0", CHSTATE_PAUSED, 2},
        {"remote, no selection (-1): the programme becomes it", 1, -1, 0, 1, 0, 0, "MyPause 0", CHSTATE_PAUSED, 1},
        {"index 5: nothing", 1, 1, 0, 0, 0, 5, "", -1, 1},
        {"index -1: nothing", 1, 1, 0, 0, 0, -1, "", -1, 1},
    };
    for (const auto &r : rows) {
        INFO(r.what);
        Fixture f;
        f.Load(4);
        f.deck.ch[5].open = 1;   /* the music channel has no transport */
        f.deck.onAir = r.onAir;
        f.deck.preview = r.preview;
        f.deck.switching = r.switching;
        f.deck.remoteMode = r.remote;
        f.deck.backgroundMusic = r.music;
        g_calls.clear();
        HandleEndOfStream(f.deck, f.switcher, r.index);
        CHECK(f.Calls() == r.calls);
        if (r.stateAfter > 0) CHECK(f.deck.ch[r.index + 1].state == r.stateAfter);
        CHECK(f.deck.preview == r.previewAfter);
        CHECK(f.deck.remoteCommand == 0);
    }
}

TEST_CASE("Alt+letter menus and numbered recording names", "[events]")
{
    const std::pair<int, int> letters[] = {{'P', 0}, {'p', 0}, {'C', 1}, {'c', 1}, {'F', 2}, {'f', 2}, {'T', 3},
                                           {'t', 3}, {'E', 4}, {'e', 4}, {'H', 5}, {'h', 5}, {'X', -1}, {'1', -1},
                                           {0, -1}};
    for (auto l : letters) CHECK(MenuOfLetter(l.first) == l.second);

    struct Row { std::string path; int n; std::string name; };
    for (const auto &r : std::vector<Row>{{"C:\\rec\\show.wmv", 1, "C:\\rec\\show001.wmv"},
                                          {"C:\\rec\\show.wmv", 10, "C:\\rec\\show010.wmv"},
                                          {"C:\\rec\\show.wmv", 100, "C:\\rec\\show100.wmv"},
                                          {"C:\\rec\\show.wmv", 1000, "C:\\rec\\show1000.wmv"},
                                          {"C:\\rec.d\\show", 2, "C:\\rec.d\\show002"},
                                          {"show.final.wmv", 3, "show.final003.wmv"}})
        CHECK(NumberedRecordingName(r.path, r.n) == r.name);
}

TEST_CASE("CountProcessesNamed counts running programs by file name, in any case", "[events]")
{
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string name = exe;
    name = name.substr(name.find_last_of("\\/") + 1);
    std::string upper = name;
    for (char &c : upper) c = (char)toupper((unsigned char)c);
    const int count = CountProcessesNamed(name.c_str());
    CHECK(count >= 1);
    CHECK(CountProcessesNamed(upper.c_str()) == count);
    CHECK(CountProcessesNamed(("x" + name).c_str()) == 0);
    CHECK(CountProcessesNamed(name.substr(1).c_str()) == 0);
    CHECK(CountProcessesNamed("") == 0);
}
