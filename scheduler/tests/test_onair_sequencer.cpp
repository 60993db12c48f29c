/*
 * The on-air sequencer against a recording mixer: every request the run
 * makes is written into a trace with the clock's time, and the tests
 * compare whole traces.  The clock is the test's own; ticks are delivered
 * the way the window's timers would, once a second to every timer set.
 */
#include <catch2/catch.hpp>

#include <algorithm>
#include <map>

#include "clock/schedule_clock.h"
#include "onair/onair_sequencer.h"
#include "runlog/run_log.h"
#include "schedule/source_schedule.h"
#include "schedule/title_schedule.h"
#include "scheduler_test_support.h"

using namespace remote;
using C = ScheduleClock;

namespace {

class TestClock : public SequencerClock {
public:
    std::string day = "2024/03/10";
    int sec = 0;
    std::string Today() const override { return day; }
    int Now() const override { return sec; }
    void Advance(int s)
    {
        sec += s;
        while (sec >= 86400) {
            sec -= 86400;
            day = NormalizeDate(C::NextDay(day));
        }
    }
};

const char *CodeName(int code)
{
    switch (code) {
    case RC_HELLO: return "HELLO";
    case RC_PAUSE_CHANNEL: return "PAUSE";
    case RC_PLAY_CHANNEL: return "PLAY";
    case RC_TITLE_ON: return "TITLE_ON";
    case RC_TITLE_OFF: return "TITLE_OFF";
    case RC_ENCODE_START: return "ENCODE_START";
    case RC_SWITCH: return "SWITCH";
    case RC_SELECT_CHANNEL: return "SELECT";
    case RC_ENCODE_STOP: return "ENCODE_STOP";
    case RC_SCHEDULE_FINISHED: return "SCHEDULE_FINISHED";
    case RC_SEEK_CHANNEL: return "SEEK";
    case RC_MIXER_OFF: return "MIXER_OFF";
    case RC_ONAIR_START: return "ONAIR_START";
    case RC_TAKE_CONTROL: return "TAKE_CONTROL";
    case RC_HOLD_ON: return "HOLD_ON";
    case RC_HOLD_OFF: return "HOLD_OFF";
    default: return "?";
    }
}

HWND const kMixer = reinterpret_cast<HWND>(0x4100);
HWND const kSelf = reinterpret_cast<HWND>(0x4200);

/* A source schedule item of 'duration' seconds. */
Fields Item(const std::string &date, int number, int start, int duration, const char *transition = "Cut",
            const char *trTime = "1.0", int kind = kKindNetwork, int position = 0)
{
    char num[8], k[4];
    snprintf(num, sizeof num, "%04d", number);
    snprintf(k, sizeof k, "%d", kind);
    std::string v = kind == kKindDevice ? "Cam " + Num(number) : "http://host/clip" + Num(number) + ".wmv";
    return {date, num, C::SecondsToText(start), C::SecondsToText(duration), C::SecondsToText(position),
            kSourceStateWords[kind], "subject", v, v, transition, trTime, "1", k};
}

Fields Title(const std::string &date, int number, int start, int duration)
{
    char num[8];
    snprintf(num, sizeof num, "%04d", number);
    return {date, num, C::SecondsToText(start), C::SecondsToText(duration), kTitleStateWords[0], "t",
            "C:\\titles\\t" + Num(number) + ".cgt"};
}

struct Rig {
    RecordingPrompt prompt;
    SourceSchedule sources{prompt};
    TitleSchedule titles{prompt};
    RunLog log{prompt, TestFolder("onair") + "autolog.txt"};
    ChannelPlan plan;
    TestClock clock;
    std::vector<std::string> trace;
    std::map<int, unsigned> timers;
    std::map<int, std::string> labels;
    std::vector<std::string> informed;
    bool mixerThere = true;
    MixerLink link;
    OnAirSequencer seq;

    Rig()
        : link(sources, titles, log, prompt, LinkHooks()),
          seq(sources, titles, link, log, prompt, plan, clock, View())
    {
        link.SetOwnWindow(kSelf);
        link.SetMixerWindow(kMixer);
        seq.SetProgramFolder("C:\\app\\");
    }

    /* std::map's operator[] does not link in winelib programs. */
    template <typename M, typename V> static void Put(M &m, int k, const V &v)
    {
        auto it = m.find(k);
        if (it == m.end())
            m.insert(std::make_pair(k, v));
        else
            it->second = v;
    }
    std::string Label(int id) const
    {
        auto it = labels.find(id);
        return it == labels.end() ? std::string() : it->second;
    }

    std::string Stamp() const { return C::SecondsToText(clock.sec) + " "; }

    MixerLinkHooks LinkHooks()
    {
        MixerLinkHooks h;
        h.post = [this](HWND to, int code, LPARAM arg) {
            std::string line = Stamp() + (to == kSelf ? "self " : to ? "" : "nowhere ") + CodeName(code);
            const int32_t a = Arg(arg);
            switch (code) {
            case RC_PLAY_CHANNEL: case RC_SELECT_CHANNEL: case RC_PAUSE_CHANNEL:
                line += " ch" + Num(UnpackChannel16(arg) + 1) + (UnpackLow12(arg) ? " #" + Num(UnpackLow12(arg)) : "");
                break;
            case RC_SWITCH:
                line += " tr" + Num(UnpackChannel16(arg)) + " " + Num(UnpackLow12(arg)) + "s";
                break;
            case RC_SEEK_CHANNEL:
                line += " ch" + Num(UnpackChannel14(arg) + 1) + " @" + Num(UnpackLow12(arg));
                break;
            case RC_TITLE_ON:
                line += " #" + Num(a);
                break;
            default:
                break;
            }
            trace.push_back(line);
        };
        h.sendCopyData = [this](HWND, HWND, const COPYDATASTRUCT &cds) {
            ParsedDescriptor d;
            REQUIRE(ParseDescriptor(&cds, d));
            if (d.kind == kDescriptorSource)
                trace.push_back(Stamp() + "LOAD ch" + Num(d.upper + 1) + " " + d.video + " #" + Num(d.number));
            else
                trace.push_back(Stamp() + "LOAD_TITLE #" + Num(d.upper) + " " + d.path);
        };
        h.finishSchedule = [this] { seq.FinishSchedule(); };
        h.sourceLoadAnswer = [this](int item, bool loaded) { seq.OnSourceLoadAnswer(item, loaded); };
        h.resetSourceRun = [this] { seq.ResetSourceRun(); };
        h.resetTitleRun = [this] { seq.ResetTitleRun(); };
        return h;
    }

    SequencerView View()
    {
        SequencerView v;
        v.setTimer = [this](int id, unsigned ms) { Put(timers, id, ms); };
        v.killTimer = [this](int id) { timers.erase(id); };
        v.showText = [this](int control, const std::string &text, bool) { Put(labels, control, text); };
        v.findMixer = [this] { return mixerThere ? kMixer : static_cast<HWND>(nullptr); };
        v.inform = [this](const std::string &t) { informed.push_back(t); };
        return v;
    }

    /* Three items from 'start': 20 s Cut, 30 s LeftWipe 2 s, 15 s Dissolve 3 s. */
    void ThreeItems(int start)
    {
        const std::string d = clock.day;
        REQUIRE(sources.AddItemFromFields(Item(d, 1, start, 20)));
        REQUIRE(sources.AddItemFromFields(Item(d, 2, start + 20, 30, "LeftWipe", "2.0")));
        REQUIRE(sources.AddItemFromFields(Item(d, 3, start + 50, 15, "Dissolve", "3.0")));
        seq.EnableOnAirButtons();
    }

    /* One second at a time: the clock moves on, then every timer set fires
     * in id order (as the window's would within that second). */
    void Run(int seconds)
    {
        for (int s = 0; s < seconds; ++s) {
            clock.Advance(1);
            Fire();
        }
    }
    void Fire()
    {
        for (int id : {onair::kCountdownTimer, onair::kSourceTimer, onair::kTitleTimer})
            if (timers.count(id))
                seq.OnScheduleTimer(id);
        DeliverSelfNotices();
    }
    /* The notices posted to the scheduler's own window reach its handler. */
    void DeliverSelfNotices()
    {
        for (size_t i = delivered; i < trace.size(); ++i, ++delivered)
            if (Contains(trace[i], "self SCHEDULE_FINISHED"))
                link.OnMixerReply(RC_SCHEDULE_FINISHED, WindowArg(kSelf));
    }
    size_t delivered = 0;

    std::vector<std::string> Take()
    {
        std::vector<std::string> t;
        t.swap(trace);
        delivered = 0;
        return t;
    }
    std::vector<int> States() const
    {
        std::vector<int> v;
        for (size_t i = 0; i < sources.Count(); ++i)
            v.push_back(sources.Item(i).state);
        return v;
    }
    bool LogHas(const std::string &text) const
    {
        for (size_t i = 0; i < log.Count(); ++i)
            if (Contains(log.Line(i).text, text))
                return true;
        return false;
    }
};

using Trace = std::vector<std::string>;

/* The whole three-item run as planned, started at 10:00:00 for 10:01:00. */
const Trace kThreeItemRun = {
    "10:00:00 ONAIR_START",
    "10:00:00 LOAD ch1 http://host/clip1.wmv #1",
    "10:00:00 SEEK ch1 @0",
    "10:01:00 SELECT ch1",
    "10:01:00 PLAY ch1 #1",
    "10:01:00 ENCODE_START",
    "10:01:15 LOAD ch2 http://host/clip2.wmv #2",
    "10:01:15 SEEK ch2 @0",
    "10:01:15 SELECT ch2 #2",
    "10:01:18 SWITCH tr1 2s",
    "10:01:18 PLAY ch2 #2",
    "10:01:45 LOAD ch3 http://host/clip3.wmv #3",
    "10:01:45 SEEK ch3 @0",
    "10:01:45 SELECT ch3 #3",
    "10:01:47 SWITCH tr19 3s",
    "10:01:47 PLAY ch3 #3",
    "10:02:05 self SCHEDULE_FINISHED",
    "10:02:05 ENCODE_STOP",
    "10:02:05 MIXER_OFF",
    "10:02:05 TITLE_OFF",
};

} // namespace

TEST_CASE("a three-item run sends each request at its moment and ends the schedule", "[onair]")
{
    Rig r;
    r.clock.sec = 10 * 3600;
    r.ThreeItems(10 * 3600 + 60);
    r.seq.ToggleOnAir();
    REQUIRE(r.seq.OnAir());
    CHECK(r.timers.count(onair::kSourceTimer) == 1);
    CHECK(r.timers.at(onair::kCountdownTimer) == 100u);
    CHECK(r.States() == std::vector<int>{kStateReady, kStateInUrl, kStateInUrl});

    r.Run(59);
    CHECK(r.trace.size() == 3u);
    r.Run(1);
    CHECK(r.States() == std::vector<int>{kStateOnAir, kStateInUrl, kStateInUrl});
    CHECK(r.Label(onair::kCountLabel) == "00:00:20");
    CHECK(r.Label(onair::kNumberLabel) == "0001");

    r.Run(18); /* item 2 switches in 2 s before its start */
    CHECK(r.States() == std::vector<int>{kStateDone, kStateOnAir, kStateInUrl});
    CHECK(r.seq.CurrentItem() == 1);
    r.Run(4); /* and takes over once its transition is through */
    CHECK(r.seq.CurrentItem() == 2);
    CHECK(r.seq.LastStarted() == 2);
    CHECK(r.Label(onair::kCountLabel) == "00:00:28");

    r.Run(58);
    CHECK(r.Take() == kThreeItemRun);
    CHECK(r.States() == std::vector<int>{kStateDone, kStateDone, kStateDone});
    CHECK_FALSE(r.seq.OnAir());
    CHECK(r.timers.count(onair::kSourceTimer) == 0);
    CHECK(r.timers.count(onair::kClockTimer) == 1);
    CHECK(r.informed == std::vector<std::string>{"Successfully Scheduled."});
    CHECK(r.LogHas("Schedulling The end"));
    CHECK(r.prompt.warnings.empty());
}

TEST_CASE("a late tick catches up on every trigger it missed, in order", "[onair]")
{
    Rig r;
    r.clock.sec = 10 * 3600;
    r.ThreeItems(10 * 3600 + 60);
    r.seq.ToggleOnAir();
    r.Take();

    SECTION("one tick 13 s late across a whole hand-over")
    {
        r.Run(70);                 /* 10:01:10: item 1 on air */
        r.clock.Advance(13);       /* the window was busy: 10:01:23 */
        r.Fire();
        const Trace t = r.Take();
        const Trace want = {
            "10:01:00 SELECT ch1",
            "10:01:00 PLAY ch1 #1",
            "10:01:00 ENCODE_START",
            "10:01:23 LOAD ch2 http://host/clip2.wmv #2",
            "10:01:23 SEEK ch2 @0",
            "10:01:23 SELECT ch2 #2",
            "10:01:23 SWITCH tr1 2s",
            "10:01:23 PLAY ch2 #2",
        };
        CHECK(t == want);
        CHECK(r.seq.CurrentItem() == 2);
        CHECK(r.LogHas("LOAD 0002 : late by 8 s"));
        CHECK(r.LogHas("SWITCH 0002 : late by 5 s"));
        /* The rest of the run goes on as planned. */
        r.Run(60);
        const Trace rest = r.Take();
        REQUIRE(rest.size() == 9u);
        CHECK(rest[0] == "10:01:45 LOAD ch3 http://host/clip3.wmv #3");
        CHECK(rest[6] == "10:02:05 ENCODE_STOP");
    }
    SECTION("a skipped second fires the trigger at the next tick")
    {
        r.Run(59);
        r.clock.Advance(2); /* 10:00:59 -> 10:01:01, 10:01:00 never ticked */
        r.Fire();
        const Trace t = r.Take();
        CHECK(t == Trace{"10:01:01 SELECT ch1", "10:01:01 PLAY ch1 #1", "10:01:01 ENCODE_START"});
        CHECK_FALSE(r.LogHas("late by"));
    }
    SECTION("a tick after the whole schedule runs it through to its end")
    {
        r.clock.Advance(200);
        r.Fire();
        Trace t = r.Take();
        REQUIRE(t.size() == kThreeItemRun.size() - 3);
        CHECK(t.back() == "10:03:20 TITLE_OFF");
        CHECK(r.States() == std::vector<int>{kStateDone, kStateDone, kStateDone});
        CHECK_FALSE(r.seq.OnAir());
    }
}

TEST_CASE("a run across midnight fires on the next day's date", "[onair]")
{
    Rig r;
    r.clock.day = "2024/12/31";
    r.clock.sec = 86400 - 30;
    const std::string d = r.clock.day;
    REQUIRE(r.sources.AddItemFromFields(Item(d, 1, 86400 - 20, 15)));
    REQUIRE(r.sources.AddItemFromFields(Item(d, 2, 86400 - 5, 20, "FadeIn", "4.0")));
    r.seq.EnableOnAirButtons();
    REQUIRE(r.sources.Item(1).date == "2024/12/31");
    r.seq.ToggleOnAir();
    REQUIRE(r.seq.OnAir());
    r.Run(60);
    const Trace want = {
        "23:59:30 ONAIR_START",
        "23:59:30 LOAD ch1 http://host/clip1.wmv #1",
        "23:59:30 SEEK ch1 @0",
        "23:59:40 SELECT ch1",
        "23:59:40 PLAY ch1 #1",
        "23:59:40 ENCODE_START",
        "23:59:50 LOAD ch2 http://host/clip2.wmv #2",
        "23:59:50 SEEK ch2 @0",
        "23:59:50 SELECT ch2 #2",
        "23:59:51 SWITCH tr18 4s",
        "23:59:51 PLAY ch2 #2",
        "00:00:15 self SCHEDULE_FINISHED",
        "00:00:15 ENCODE_STOP",
        "00:00:15 MIXER_OFF",
        "00:00:15 TITLE_OFF",
    };
    CHECK(r.Take() == want);
    CHECK(r.clock.day == "2025/01/01");
}

TEST_CASE("loop mode restarts the round 8 s before the last item ends", "[onair]")
{
    Rig r;
    r.clock.sec = 10 * 3600;
    r.ThreeItems(10 * 3600 + 60);
    r.seq.ToggleOnAir();
    r.seq.SetLoopMode(true);
    r.Run(100); /* 10:01:40 */
    r.Take();
    r.Run(45);  /* the last item ends at 10:02:05 */
    const Trace t = r.Take();
    const Trace want = {
        "10:01:45 LOAD ch3 http://host/clip3.wmv #3",
        "10:01:45 SEEK ch3 @0",
        "10:01:45 SELECT ch3 #3",
        "10:01:47 SWITCH tr19 3s",
        "10:01:47 PLAY ch3 #3",
        /* 10:02:05 - 8 s: item 1 re-timed to now + 8 s and loaded */
        "10:01:57 LOAD ch1 http://host/clip1.wmv #1",
        "10:01:57 SEEK ch1 @0",
        /* the first item of a loop round switches in; no second recording */
        "10:02:05 SELECT ch1",
        "10:02:05 SWITCH tr0 1s",
        "10:02:20 LOAD ch2 http://host/clip2.wmv #2",
        "10:02:20 SEEK ch2 @0",
        "10:02:20 SELECT ch2 #2",
        "10:02:23 SWITCH tr1 2s",
        "10:02:23 PLAY ch2 #2",
    };
    CHECK(t == want);
    CHECK(r.seq.Looped());
    CHECK(r.sources.Item(0).start == 10 * 3600 + 125);
    CHECK(r.seq.OnAir());

    /* Stop: the recording of the first round is stopped once. */
    r.prompt.answers = {true};
    r.seq.ToggleOnAir();
    CHECK(r.Take() == Trace{"10:02:25 ENCODE_STOP", "10:02:25 MIXER_OFF"});
    CHECK_FALSE(r.seq.OnAir());
    CHECK_FALSE(r.seq.LoopMode());
    CHECK_FALSE(r.seq.Looped());
    CHECK_FALSE(r.plan.built);
}

TEST_CASE("a single item runs without next-item triggers and ends at its end", "[onair]")
{
    Rig r;
    r.clock.sec = 3600;
    REQUIRE(r.sources.AddItemFromFields(Item(r.clock.day, 1, 3600 + 10, 12)));
    r.seq.EnableOnAirButtons();
    r.seq.ToggleOnAir();
    r.Run(30);
    const Trace want = {
        "01:00:00 ONAIR_START", "01:00:00 LOAD ch1 http://host/clip1.wmv #1", "01:00:00 SEEK ch1 @0",
        "01:00:10 SELECT ch1", "01:00:10 PLAY ch1 #1", "01:00:10 ENCODE_START",
        "01:00:22 self SCHEDULE_FINISHED", "01:00:22 ENCODE_STOP", "01:00:22 MIXER_OFF", "01:00:22 TITLE_OFF",
    };
    CHECK(r.Take() == want);
}

TEST_CASE("stop asks first and stops only a recording the run started", "[onair]")
{
    Rig r;
    r.clock.sec = 10 * 3600;
    r.ThreeItems(10 * 3600 + 60);
    r.seq.ToggleOnAir();
    r.Take();

    SECTION("No leaves the run as it is")
    {
        r.Run(30);
        r.prompt.answers = {false};
        r.seq.ToggleOnAir();
        CHECK(r.prompt.questions == std::vector<std::string>{"On-air. Stop this program?     "});
        CHECK(r.seq.OnAir());
        CHECK(r.Take().empty());
    }
    SECTION("before the first item went on air: no recording to stop")
    {
        r.Run(30);
        r.prompt.answers = {true};
        r.seq.ToggleOnAir();
        CHECK(r.Take() == Trace{"10:00:30 MIXER_OFF"});
        CHECK_FALSE(r.seq.OnAir());
        CHECK(r.timers.count(onair::kSourceTimer) == 0);
        CHECK(r.timers.count(onair::kClockTimer) == 1);
        CHECK(r.Label(onair::kCountLabel) == "00:00:00");
        CHECK(r.Label(onair::kNumberLabel) == "0000");
        r.Run(120); /* no timer, nothing more */
        CHECK(r.Take().empty());
    }
    SECTION("while recording")
    {
        r.Run(65);
        r.Take();
        r.prompt.answers = {true};
        r.seq.ToggleOnAir();
        CHECK(r.Take() == Trace{"10:01:05 ENCODE_STOP", "10:01:05 MIXER_OFF"});
        CHECK_FALSE(r.seq.Recording());
    }
}

TEST_CASE("the on-air button refuses what it cannot run", "[onair]")
{
    Rig r;
    r.clock.sec = 10 * 3600;

    SECTION("an empty schedule: nothing at all")
    {
        r.seq.ToggleOnAir();
        CHECK(r.Take().empty());
        CHECK(r.prompt.warnings.empty());
    }
    SECTION("no mixer window")
    {
        r.ThreeItems(10 * 3600 + 60);
        r.mixerThere = false;
        r.seq.ToggleOnAir();
        CHECK(r.prompt.warnings == std::vector<std::string>{"Corvane is not operated.     "});
        CHECK_FALSE(r.seq.OnAir());
        CHECK(r.Take().empty());
    }
    SECTION("a first item starting 7 s or less from now is out of date")
    {
        r.ThreeItems(10 * 3600 + 7);
        r.seq.ToggleOnAir();
        CHECK(r.prompt.warnings ==
              std::vector<std::string>{"This schedule is out of date. Turn on User define mode !!"});
        CHECK(r.States() == std::vector<int>{kStateDone, kStateDone, kStateDone});
        CHECK_FALSE(r.seq.OnAir());
        CHECK(r.Take().empty());
    }
    SECTION("8 s ahead starts")
    {
        r.ThreeItems(10 * 3600 + 8);
        r.seq.ToggleOnAir();
        CHECK(r.seq.OnAir());
        CHECK(r.prompt.warnings.empty());
    }
    SECTION("more than three capture-device channels")
    {
        const std::string d = r.clock.day;
        for (int i = 1; i <= 4; ++i)
            REQUIRE(r.sources.AddItemFromFields(Item(d, i, 10 * 3600 + 60 * i, 60, "Cut", "1.0", kKindDevice)));
        r.seq.EnableOnAirButtons();
        r.seq.ToggleOnAir();
        CHECK(r.prompt.warnings == std::vector<std::string>{"Device Channel Overflow"});
        CHECK_FALSE(r.seq.OnAir());
        CHECK(r.plan.deviceCount == 0);
        CHECK(r.Take().empty());
    }
}

TEST_CASE("on-air now re-times the first item to 8 s ahead and starts with it", "[onair]")
{
    Rig r;
    r.clock.sec = 10 * 3600;
    r.ThreeItems(9 * 3600); /* an hour in the past */
    r.seq.OnAirNowButton();
    REQUIRE(r.seq.OnAir());
    CHECK(r.sources.Item(0).start == 10 * 3600 + 8);
    CHECK(r.sources.Item(1).start == 10 * 3600 + 28);
    r.Run(8);
    const Trace want = {
        "10:00:00 TAKE_CONTROL",
        "10:00:00 ONAIR_START",
        "10:00:00 LOAD ch1 http://host/clip1.wmv #1",
        "10:00:00 SEEK ch1 @0",
        "10:00:08 SELECT ch1",
        "10:00:08 PLAY ch1 #1",
        "10:00:08 ENCODE_START",
    };
    CHECK(r.Take() == want);

    SECTION("a video path reading ERROR is refused")
    {
        Rig e;
        e.clock.sec = 10 * 3600;
        Fields f = Item(e.clock.day, 1, 9 * 3600, 20);
        f[7] = "ERROR";
        REQUIRE(e.sources.AddItemFromFields(f));
        e.seq.EnableOnAirButtons();
        e.seq.OnAirNowButton();
        CHECK(e.prompt.warnings == std::vector<std::string>{"File Path ERROR"});
        CHECK_FALSE(e.seq.OnAir());
        CHECK(e.Take() == Trace{"10:00:00 TAKE_CONTROL"});
    }
}

TEST_CASE("stand-by holds the run on the colour bars and resumes with the kept time", "[onair]")
{
    Rig r;
    r.clock.sec = 10 * 3600;
    r.ThreeItems(10 * 3600 + 60);
    r.seq.ToggleOnAir();
    r.Run(65); /* item 1 on air since 10:01:00, 15 s left */
    r.link.OnMixerReply(RC_PLAY_CHANNEL_DONE, (0 << 16) | 1);
    r.Take();

    r.seq.ToggleSourceStandBy();
    REQUIRE(r.seq.SourceStandBy());
    const Trace hold = {
        "10:01:05 PAUSE ch1",
        "10:01:05 HOLD_ON",
        "10:01:05 LOAD ch2 C:\\app\\ColorBar\\ColorBar.bmp #2",
        "10:01:05 SELECT ch2",
        "10:01:05 SWITCH tr0 1s",
    };
    CHECK(r.Take() == hold);
    CHECK(r.Label(onair::kNumberLabel) == "HOLD");
    CHECK(r.timers.count(onair::kSourceTimer) == 0);
    CHECK(r.seq.SourceRemaining() == 15);

    r.Run(100); /* held: nothing happens, the clock goes on */
    CHECK(r.Take().empty());

    r.seq.ToggleSourceStandBy(); /* 10:02:45 */
    CHECK_FALSE(r.seq.SourceStandBy());
    CHECK(r.Take() == Trace{"10:02:45 SELECT ch1", "10:02:45 SWITCH tr0 1s", "10:02:45 HOLD_OFF"});
    CHECK(r.Label(onair::kCountLabel) == "00:00:15");
    CHECK(r.Label(onair::kNumberLabel) == "0001");
    /* Item 2 now starts when item 1's kept time is over. */
    CHECK(r.sources.Item(1).start == 10 * 3600 + 180);
    CHECK(r.sources.Item(2).start == 10 * 3600 + 210);

    r.Run(20);
    const Trace resumed = {
        "10:02:55 LOAD ch2 http://host/clip2.wmv #2",
        "10:02:55 SEEK ch2 @0",
        "10:02:55 SELECT ch2 #2",
        "10:02:58 SWITCH tr1 2s",
        "10:02:58 PLAY ch2 #2",
    };
    /* The first item's start lies before the hold: it is not played again. */
    CHECK(r.Take() == resumed);
}

TEST_CASE("the title run loads ahead, shows and takes off each title", "[onair]")
{
    Rig r;
    r.clock.sec = 10 * 3600;
    r.ThreeItems(10 * 3600 + 60);
    const std::string d = r.clock.day;
    REQUIRE(r.titles.AddItemFromFields(Title(d, 1, 10 * 3600 + 65, 10)));
    REQUIRE(r.titles.AddItemFromFields(Title(d, 2, 10 * 3600 + 90, 5)));
    r.seq.ToggleOnAir();
    REQUIRE(r.seq.TitleRunOn());
    r.Run(100);
    Trace t = r.Take();
    Trace titles;
    for (const auto &line : t)
        if (Contains(line, "TITLE"))
            titles.push_back(line);
    const Trace want = {
        "10:00:00 TITLE_OFF",
        "10:00:00 LOAD_TITLE #1 C:\\titles\\t1.cgt",
        "10:01:05 TITLE_ON #1",
        "10:01:12 LOAD_TITLE #2 C:\\titles\\t2.cgt",
        "10:01:15 TITLE_OFF",
        "10:01:30 TITLE_ON #2",
        "10:01:35 TITLE_OFF",
    };
    CHECK(titles == want);
    CHECK(r.timers.count(onair::kTitleTimer) == 0);
    CHECK(r.Label(onair::kTitleNumberLabel) == "0000");
    CHECK(r.titles.Item(0).state == kTitleDone);
    CHECK(r.titles.Item(1).state == kTitleDone);
}

TEST_CASE("timer ids other than the four do nothing; the clock shows date, time and weekday", "[onair]")
{
    Rig r;
    r.clock.day = "2024/03/10"; /* a Sunday */
    r.clock.sec = 13 * 3600 + 4 * 60 + 5;
    r.seq.OnScheduleTimer(4002);
    CHECK(r.labels.empty());
    r.seq.OnScheduleTimer(onair::kClockTimer);
    CHECK(r.Label(onair::kDateLabel) == "2024/03/10");
    CHECK(r.Label(onair::kTimeLabel) == "13:04:05");
    char day[48] = "";
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDAYNAME7, day, sizeof day);
    CHECK(r.Label(onair::kWeekLabel) == std::string(" ") + day + " ");
}

TEST_CASE("with load answers required, an item the mixer did not load is skipped and logged", "[onair][ack]")
{
    Rig r;
    r.seq.SetLoadAcknowledgement(true);
    r.clock.sec = 10 * 3600;
    r.ThreeItems(10 * 3600 + 60);
    auto answer = [&](int channel, int item) {
        LPARAM a = 0;
        REQUIRE(PackChannelItem(channel, item, a));
        r.link.OnMixerReply(RC_SOURCE_LOADED_ITEM, a);
    };
    r.seq.ToggleOnAir();
    answer(1, 1);

    SECTION("no answer before the switch moment: the item on air stays, the next one follows")
    {
        r.Run(200);
        const Trace want = {
            "10:00:00 ONAIR_START",
            "10:00:00 LOAD ch1 http://host/clip1.wmv #1",
            "10:00:00 SEEK ch1 @0",
            "10:01:00 SELECT ch1",
            "10:01:00 PLAY ch1 #1",
            "10:01:00 ENCODE_START",
            "10:01:15 LOAD ch2 http://host/clip2.wmv #2",
            "10:01:15 SEEK ch2 @0",
            "10:01:15 SELECT ch2 #2",
            /* item 2 is not switched to; item 3 had no answer either */
            "10:01:45 LOAD ch3 http://host/clip3.wmv #3",
            "10:01:45 SEEK ch3 @0",
            "10:01:45 SELECT ch3 #3",
            "10:02:05 self SCHEDULE_FINISHED",
            "10:02:05 ENCODE_STOP",
            "10:02:05 MIXER_OFF",
            "10:02:05 TITLE_OFF",
        };
        CHECK(r.Take() == want);
        CHECK(r.LogHas("AS 0002 : no answer to the load, skipped"));
        CHECK(r.LogHas("AS 0003 : no answer to the load, skipped"));
        CHECK(r.States() == std::vector<int>{kStateDone, kStateDone, kStateDone});
    }
    SECTION("an answer in time lets the item on air; one after its switch moment does not")
    {
        r.Run(75);  /* 10:01:15: item 2 loads */
        answer(2, 2);
        r.Run(30);  /* 10:01:45: item 3 loads, its answer comes only after 10:01:47 */
        r.Run(3);
        answer(3, 3);
        r.Run(30);
        const Trace t = r.Take();
        CHECK(std::count(t.begin(), t.end(), std::string("10:01:18 SWITCH tr1 2s")) == 1);
        CHECK(std::count(t.begin(), t.end(), std::string("10:01:18 PLAY ch2 #2")) == 1);
        for (const std::string &line : t)
            CHECK_FALSE(Contains(line, "PLAY ch3"));
        CHECK(r.LogHas("AS 0003 : Ch03 : Picture tuning"));
        CHECK(r.LogHas("AS 0003 : no answer to the load, skipped"));
        CHECK_FALSE(r.LogHas("AS 0002 : no answer"));
    }
    SECTION("a load the mixer refused is skipped at once")
    {
        r.Run(75);
        LPARAM a = 0;
        REQUIRE(PackChannelItem(2, 2, a));
        r.link.OnMixerReply(RC_SOURCE_FAILED, a);
        r.Run(10);
        for (const std::string &line : r.Take())
            CHECK_FALSE(Contains(line, "PLAY ch2"));
        CHECK(r.LogHas("AS 0002 : Corvane could not load it, skipped"));
        CHECK(r.States()[0] == kStateOnAir);
    }
    SECTION("a first item that did not load: the recording still starts")
    {
        Rig q;
        q.seq.SetLoadAcknowledgement(true);
        q.clock.sec = 10 * 3600;
        q.ThreeItems(10 * 3600 + 60);
        q.seq.ToggleOnAir();
        q.Run(60);
        const Trace t = q.Take();
        CHECK(t.back() == "10:01:00 ENCODE_START");
        for (const std::string &line : t)
            CHECK_FALSE(Contains(line, "PLAY"));
        CHECK(q.LogHas("AS 0001 : no answer to the load, skipped"));
    }
}
