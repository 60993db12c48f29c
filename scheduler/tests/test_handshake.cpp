/*
 * The handshake and the wire between two real processes: this test is the
 * scheduler (a window titled "Tarnell"); handshake_peer.exe plays the mixer
 * (a window titled "Corvane").
 */
#include <catch2/catch.hpp>

#include <functional>

#include "protocol/mixer_link.h"
#include "runlog/run_log.h"
#include "schedule/source_schedule.h"
#include "schedule/title_schedule.h"
#include "scheduler_test_support.h"

using namespace remote;

namespace {

MixerLink *g_link;

LRESULT CALLBACK SchedulerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == kMixerRemoteMessage && g_link)
        return g_link->OnMixerReply(wp, lp);
    return DefWindowProcA(w, msg, wp, lp);
}

/* Pumps this thread's messages until 'done' holds, at most 'ms'. */
bool PumpUntil(const std::function<bool()> &done, DWORD ms = 10000)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > ms)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }
    return true;
}

/* Each scheduler of the test writes its own autolog file. */
std::string FreshLogPath(const std::string &dir)
{
    static int n;
    std::string path = dir + "autolog" + Num(++n) + ".txt";
    DeleteFileA(path.c_str());
    return path;
}

struct Scheduler {
    RecordingPrompt prompt;
    SourceSchedule sources{prompt};
    TitleSchedule titles{prompt};
    std::string dir = TestFolder("handshake");
    RunLog log{prompt, FreshLogPath(dir)};
    HWND window = nullptr;
    MixerLink link;
    std::vector<LRESULT> copyResults;

    explicit Scheduler(bool withSchedule = true) : link(sources, titles, log, prompt, Hooks())
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = SchedulerProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "HandshakeScheduler";
        RegisterClassA(&wc);
        window = CreateWindowA("HandshakeScheduler", kSchedulerWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                               nullptr, nullptr, wc.hInstance, nullptr);
        REQUIRE(window);
        link.SetOwnWindow(window);
        link.SetMixerProgram("handshake_peer.exe");
        g_link = &link;
        /* A loaded schedule keeps the run log from being cleared after replies. */
        if (withSchedule)
            REQUIRE(sources.AddItemFromFields({"2003/03/27", "0001", "10:00:00", "00:00:10", "00:00:00", "IN URL", "s",
                                           "http://h/a", "http://h/a", "Cut", "1.0", "1", "2"}));
    }
    ~Scheduler()
    {
        /* As the scheduler does when its window goes: the mixer ends too. */
        if (link.MixerWindow())
            PostMessageA(link.MixerWindow(), kMixerRemoteMessage, RC_SCHEDULER_CLOSING, 0);
        g_link = nullptr;
        DestroyWindow(window);
    }
    MixerLinkHooks Hooks()
    {
        MixerLinkHooks h;
        h.post = [](HWND to, int code, LPARAM arg) { PostMessageA(to, kMixerRemoteMessage, code, arg); };
        h.sendCopyData = [this](HWND to, HWND from, const COPYDATASTRUCT &cds) {
            DWORD_PTR result = 0;
            SendMessageTimeoutA(to, WM_COPYDATA, reinterpret_cast<WPARAM>(from), reinterpret_cast<LPARAM>(&cds),
                                SMTO_NORMAL, 5000, &result);
            copyResults.push_back(static_cast<LRESULT>(result));
        };
        return h;
    }
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> v;
        for (size_t i = 0; i < log.Count(); ++i)
            v.push_back(log.Line(i).text + " " + log.Line(i).statusText);
        return v;
    }
};

void WaitMixerGone()
{
    PumpUntil([] { return FindWindowA(nullptr, kMixerWindowTitle) == nullptr; }, 10000);
}

} // namespace

TEST_CASE("Handshake and requests between two processes", "[handshake]")
{
    WaitMixerGone();
    REQUIRE(FindWindowA(nullptr, kMixerWindowTitle) == nullptr);
    Scheduler s;

    SECTION("no mixer and none to start: the log says FAIL")
    {
        s.link.SetMixerProgram("no_such_mixer.exe");
        CHECK(s.link.ConnectMixer() == 0);
        CHECK(s.link.MixerWindow() == nullptr);
        CHECK(s.Lines() == std::vector<std::string>{"Corvane is operating. FAIL"});
    }

    SECTION("the scheduler starts the mixer, sends no hello, and drives it")
    {
        std::string cmd;
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string folder(self);
        folder = folder.substr(0, folder.rfind('\\') + 1);

        CHECK(s.link.ConnectMixer() == 0);
        HWND mixer = s.link.MixerWindow();
        REQUIRE(mixer != nullptr);
        CHECK(mixer == FindWindowA(nullptr, kMixerWindowTitle));
        DWORD pid = 0;
        GetWindowThreadProcessId(mixer, &pid);
        CHECK(pid != GetCurrentProcessId());
        CHECK(s.Lines() == std::vector<std::string>{"Corvane is operating. SUCCESS"});

        /* Requests and their replies, through the real queues. */
        REQUIRE(s.link.PlayChannel(3, 4095));
        REQUIRE(s.link.SeekChannel(3, 75));
        REQUIRE(PumpUntil([&] { return s.log.Count() == 3; }));
        CHECK(s.log.Line(1).text == "PLAY AS 4095 : Ch03 : Corvane Channel On");
        CHECK(s.log.Line(2).text == "AS Ch 03 : Ready to playback at the start position");
        CHECK(s.link.CurrentSourceItem() == 4095);

        /* Descriptors: a full-length source, an item 0 source, a title. */
        std::string video(259 - 14, 'v');
        REQUIRE(s.link.SendSource(2, video, "C:\\a.wav", 0, false));
        REQUIRE(s.link.SendTitle(12, "C:\\titles\\news.lmf"));
        REQUIRE(s.link.SendSource(5, "Camera", "Mic", 9, true));
        CHECK(s.copyResults == std::vector<LRESULT>{LRESULT(1 + video.size() + 8), LRESULT(1 + 18), LRESULT(1 + 10 + 7)});
        REQUIRE(PumpUntil([&] { return s.log.Count() == 6; }));
        CHECK(s.log.Line(3).text == "AS 0000 : Ch02 : Picture tuning");
        CHECK(s.log.Line(4).text == "CG 0012 : Stand By");
        CHECK(s.log.Line(5).text == "AS 0009 : Ch05 : Picture tuning");

        /* What the mixer's reader refuses arrives as a refusal, not a crash. */
        char noZero[260];
        memset(noZero, 'x', sizeof noZero);
        COPYDATASTRUCT bad = {0, sizeof noZero, noZero};
        CHECK(SendMessageA(mixer, WM_COPYDATA, reinterpret_cast<WPARAM>(s.window), reinterpret_cast<LPARAM>(&bad)) == 0);
        COPYDATASTRUCT shortOne = {0, 3, noZero};
        CHECK(SendMessageA(mixer, WM_COPYDATA, reinterpret_cast<WPARAM>(s.window), reinterpret_cast<LPARAM>(&shortOne)) == 0);

        SECTION("a second scheduler finds it running and says hello")
        {
            Scheduler second;
            /* Two windows titled "Tarnell" now: the peer keeps the handle of the hello. */
            second.link.Start();
            REQUIRE(PumpUntil([&] { return second.log.Count() == 2; }));
            CHECK(second.Lines() == std::vector<std::string>{"Corvane is operating. SUCCESS",
                                                               "Corvane ready to get the signal. SUCCESS"});
            CHECK(second.link.MixerWindow() == mixer);
            /* Closing: the mixer says it has exited; No forgets it. */
            second.link.Plain(RC_SCHEDULER_CLOSING);
            REQUIRE(PumpUntil([&] { return second.link.MixerWindow() == nullptr; }));
            CHECK(second.prompt.questions == std::vector<std::string>{"Corvane is exited. Will you exit Tarnell?     "});
            CHECK(second.sources.Empty());
            WaitMixerGone();
        }
        SECTION("closing ends the mixer")
        {
            s.link.Plain(RC_SCHEDULER_CLOSING);
            REQUIRE(PumpUntil([&] { return s.link.MixerWindow() == nullptr; }));
            WaitMixerGone();
            CHECK(FindWindowA(nullptr, kMixerWindowTitle) == nullptr);
        }
    }
}

TEST_CASE("A mixer that announces itself is greeted", "[handshake]")
{
    WaitMixerGone();
    REQUIRE(FindWindowA(nullptr, kMixerWindowTitle) == nullptr);
    Scheduler s(false);
    REQUIRE(LaunchProgram("handshake_peer.exe", "ANNOUNCE") == 1);
    /* announce -> hello -> hello ack; with no source schedule the log is then
     * cleared, its lines kept in the file. */
    REQUIRE(PumpUntil([&] { return Contains(ReadBytes(s.log.AutoLogPath()), "Corvane ready to get the signal."); }));
    REQUIRE(s.link.MixerWindow() != nullptr);
    CHECK(s.link.MixerWindow() == FindWindowA(nullptr, kMixerWindowTitle));
    CHECK(s.log.Count() == 0);
    s.link.Plain(RC_SCHEDULER_CLOSING);
    WaitMixerGone();
    CHECK(FindWindowA(nullptr, kMixerWindowTitle) == nullptr);
}

TEST_CASE("LaunchProgram builds the quoted command line from the program's folder", "[handshake]")
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string folder(self);
    folder = folder.substr(0, folder.rfind('\\') + 1);
    std::string cmd;
    CHECK(LaunchProgram("no_such_mixer.exe", "TARNELL", &cmd) == 0);
    CHECK(cmd == "\"" + folder + "no_such_mixer.exe\" TARNELL");
    CHECK(LaunchProgram("C:\\nowhere\\x.exe", nullptr, &cmd) == 0);
    CHECK(cmd == "\"C:\\nowhere\\x.exe\"");
}
