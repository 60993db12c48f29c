/*
 * The remote-controlled mode across two processes on the real engine.
 *
 * First case: this process runs the mixer window; remote_peer.exe, a
 * window titled "Tarnell" in a second process, posts each request and sends
 * each descriptor to it and hands the replies it receives back here.  A
 * table gives request -> reply -> effect for every code the mixer knows,
 * codes it ignores (checked by a marker request whose reply must come
 * next), descriptors good and bad, and the transport guard off and on.
 *
 * Second case: Corvane.exe itself started with "TARNELL", driven from a
 * window titled "Tarnell" in this process, ends on RC_SCHEDULER_CLOSING.
 */
#define CATCH_CONFIG_RUNNER
#include <catch2/catch.hpp>
#include "test_paths.h"
#include <windows.h>
#include <functional>
#include <memory>
#include "box_capture.h"
#include "engine_calls.h"
#include "mixer_app.h"
#include "mixer_dlg.h"
#include "mixer_script.h"
#include "pattern_palette.h"
#include "protocol/remote_protocol.h"
#include "remote_peer.h"
#include "resource.h"
#include "wm_settings.h"

using namespace remote;

namespace {

CMixerApp theApp;

std::string Clip(const char *name) { return testpaths::ClipPath("MIXER_CLIPS", "mixerclips", name); }

using testpaths::TempPath;

std::string ProgramDir()
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string dir = exe;
    return dir.substr(0, dir.find_last_of('\\') + 1);
}

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

/* ---- what comes back from the peer ---- */

struct Reply { int code; LPARAM arg; };
constexpr LPARAM kAnyArg = 0x7EADBEEF;
std::vector<Reply> g_replies;
std::vector<LRESULT> g_sent;

LRESULT CALLBACK ListenerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == kPeerReply) {
        g_replies.push_back({(int)wp, lp});
        return 0;
    }
    if (msg == kPeerSent) {
        g_sent.push_back((LRESULT)wp);
        return 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

HWND MakeWindow(const char *cls, const char *title, WNDPROC proc, HWND parent)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = cls;
    RegisterClassA(&wc);
    return CreateWindowA(cls, title, parent ? 0 : WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, parent, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

/* ---- engine seeks, recorded and passed on ---- */

std::vector<std::string> g_seeks;
int(WINAPI *g_realSeek)(int, int);
int WINAPI RecordSeek(int c, int us)
{
    g_seeks.push_back(std::to_string(c) + " " + std::to_string(us));
    return g_realSeek(c, us);
}

struct Peer {
    PROCESS_INFORMATION pi = {};
    HWND wnd = nullptr;
    bool Start(HWND listener, HWND mixer)
    {
        std::string cmd = "\"" + ProgramDir() + "remote_peer.exe\" " +
                          cl::Format("%llx %llx", (unsigned long long)(UINT_PTR)listener,
                                     (unsigned long long)(UINT_PTR)mixer);
        STARTUPINFOA si = {sizeof si};
        return CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != FALSE;
    }
    bool Found()
    {
        if (!wnd) wnd = FindWindowA("RemotePeer", kSchedulerWindowTitle);
        return wnd != nullptr;
    }
    void Post(int code, LPARAM arg) { PostMessageA(wnd, kPeerPost, (WPARAM)code, arg); }
    /* The descriptor goes out from the peer with exactly these bytes. */
    void Descriptor(ULONG_PTR dwData, const std::vector<char> &bytes)
    {
        std::vector<char> buf(sizeof(PeerDescriptor) + bytes.size());
        PeerDescriptor head = {dwData, (uint32_t)bytes.size()};
        memcpy(buf.data(), &head, sizeof head);
        if (!bytes.empty()) memcpy(buf.data() + sizeof head, bytes.data(), bytes.size());
        COPYDATASTRUCT cds = {kPeerForward, (DWORD)buf.size(), buf.data()};
        SendMessageA(wnd, WM_COPYDATA, 0, (LPARAM)&cds);
    }
    /* A 260-byte buffer holding the text, as the scheduler sends it. */
    void Text(int upper, int kind, const std::string &text)
    {
        std::vector<char> b(260, '\0');
        memcpy(b.data(), text.data(), (std::min<size_t>)(text.size(), 260));
        Descriptor(DescriptorData(upper, kind), b);
    }
    ~Peer()
    {
        if (wnd) PostMessageA(wnd, WM_CLOSE, 0, 0);
        if (pi.hProcess) {
            WaitForSingleObject(pi.hProcess, 10000);
            CloseHandle(pi.hProcess);
            CloseHandle(pi.hThread);
        }
    }
};

} // namespace

TEST_CASE("Every request from another process is answered at the window titled \"Tarnell\", with its effect",
          "[remote]")
{
    BoxCapture boxes;
    theApp.profile.SetRoot("Software\\CorvaneTests\\Remote");
    theApp.profile.DeleteAll();
    const std::string show = TempPath("remote_show.wmv"), aside = TempPath("remote_show001.wmv");
    DeleteFileA(show.c_str());
    DeleteFileA(aside.c_str());
    WriteFileText(show, "last night's show");
    theApp.profile.WriteString(kWmSection, "ArchivingFileName", show);
    theApp.profile.WriteInt(kWmSection, "WM8ProfileIndex", 9);

    EngineCalls saved = g_engine;
    g_realSeek = g_engine.MySetPosition;
    g_engine.MySetPosition = RecordSeek;
    g_seeks.clear();
    g_replies.clear();
    g_sent.clear();

    CMixerDlg dlg;
    theApp.m_lpCmdLine = "";
    theApp.Prepare(dlg);
    dlg.startupPictureMs = 0;
    dlg.askWorkSpace = [](int *c) { *c = 0; return true; };
    HWND listener = MakeWindow("RemoteListener", "listener", ListenerProc, HWND_MESSAGE);
    REQUIRE(listener);
    Peer peer;
    MixerScript script;
    auto &deck = dlg.deck;
    const std::string clip1 = Clip("channel1.avi"), clip2 = Clip("channel2.avi");

    /* One request (or descriptor) and its awaited reply, then its effect
     * (retried until it holds, for what the engine finishes later). */
    auto exchange = [&](const std::string &what, std::function<void()> send, int code, LPARAM arg,
                        std::function<bool()> effect = nullptr, LRESULT sent = -2) {
        auto before = std::make_shared<size_t>(0), sentBefore = std::make_shared<size_t>(0);
        script.Then(what + ": request", [&, send, before, sentBefore] {
            *before = g_replies.size();
            *sentBefore = g_sent.size();
            send();
            return true;
        });
        script.Then(what + ": reply", [&, what, code, arg, before, sentBefore, sent] {
            if (g_replies.size() <= *before) return false;
            if (sent != -2 && g_sent.size() <= *sentBefore) return false;
            INFO(what);
            CHECK(g_replies.size() == *before + 1);
            CHECK(g_replies[*before].code == code);
            if (arg != kAnyArg) CHECK(g_replies[*before].arg == arg);
            if (sent != -2) CHECK(g_sent[*sentBefore] == sent);
            return true;
        });
        if (effect) script.Then(what + ": effect", effect);
    };
    /* A request that has no reply: the marker sent after it answers first. */
    auto silent = [&](const std::string &what, int code, LPARAM arg, std::function<bool()> effect = nullptr) {
        exchange(what, [&, code, arg] {
            peer.Post(code, arg);
            peer.Post(RC_ONAIR_START, 0);
        }, RC_ONAIR_START_DONE, 0, effect);
    };
    auto post = [&](int code, LPARAM arg) { return [&, code, arg] { peer.Post(code, arg); }; };

    script.Wait(300)
        .Then("start the peer", [&] { return peer.Start(listener, dlg.m_hWnd); })
        .Then("its window", [&] { return peer.Found(); });

    /* Guard off: the operator's mode takes descriptors and its own buttons. */
    exchange("descriptor, item 0007, channel 1", [&] { peer.Text(0, 0, clip1 + "," + clip1 + ",0007"); },
             RC_SOURCE_LOADED_ITEM, 7, [&] {
                 CHECK(deck.ch[1].open == 1);
                 CHECK(deck.ch[1].kind == SOURCE_FILE);
                 CHECK(deck.ch[1].duration == 30);
                 CHECK(deck.ch[1].state == CHSTATE_PAUSED);
                 CHECK(deck.preview == 1);
                 CHECK(deck.onAir == 1);
                 CHECK(dlg.GetDlgItemText(1023) == "00:00:30");
                 CHECK(deck.remoteMode == 0);
                 dlg.SendMessage(WM_COMMAND, 1009);   /* the operator's play button */
                 CHECK(deck.ch[1].state == CHSTATE_RUNNING);
                 dlg.SendMessage(WM_COMMAND, 1011);   /* and pause */
                 CHECK(deck.ch[1].state == CHSTATE_PAUSED);
                 return true;
             }, 1);
    exchange("hello", [&] { PostMessageA(peer.wnd, kPeerHello, 0, 0); }, RC_HELLO_ACK, kAnyArg, nullptr);
    script.Then("hello answered with the mixer's window", [&] {
        CHECK(ArgWindow(g_replies.back().arg) == dlg.m_hWnd);
        CHECK(deck.remoteMode == 1);
        CHECK(dlg.remote.SchedulerWindow() == peer.wnd);
        return true;
    });
    exchange("descriptor, item 0000, channel 2", [&] { peer.Text(1, 0, clip2 + "," + clip2 + ",0000"); },
             RC_SOURCE_LOADED, 1, [&] {
                 CHECK(deck.ch[2].state == CHSTATE_PAUSED);
                 CHECK(deck.preview == 1);
                 /* Guard on: the operator's buttons do nothing now. */
                 dlg.SendMessage(WM_COMMAND, 1009);
                 dlg.SendMessage(WM_COMMAND, 1015);
                 CHECK(deck.ch[1].state == CHSTATE_PAUSED);
                 CHECK(deck.ch[2].state == CHSTATE_PAUSED);
                 return true;
             }, 1);
    /* The remote handlers run the same commands. */
    exchange("pause 1", post(RC_PAUSE_CHANNEL, 0), RC_PAUSE_CHANNEL_DONE, 0,
             [&] { return deck.ch[1].state == CHSTATE_PAUSED; });
    exchange("play 1, the first play request", post(RC_PLAY_CHANNEL, 7), RC_PLAY_CHANNEL_DONE, 7,
             [&] { return deck.ch[1].state == CHSTATE_RUNNING; });
    exchange("play 2, a second play request", post(RC_PLAY_CHANNEL, 0x10008), RC_PLAY_CHANNEL_DONE, 0x10008, [&] {
        CHECK(deck.ch[2].state == CHSTATE_PAUSED);
        return true;
    });
    exchange("play 2 now", post(RC_PLAY_CHANNEL_NOW, 0x10008), RC_PLAY_CHANNEL_NOW_DONE, 0x10008,
             [&] { return deck.ch[2].state == CHSTATE_RUNNING; });
    exchange("select 2", post(RC_SELECT_CHANNEL, 0x10000), RC_SELECT_CHANNEL_DONE, 0x10000,
             [&] { return deck.preview == 2; });
    exchange("switch, cut of 0 s", post(RC_SWITCH, 0), RC_SWITCH_DONE, 0,
             [&] { return deck.onAir == 2 && deck.preview == 1 && !deck.switching; });
    exchange("switch, pattern 1 in 2 s", post(RC_SWITCH, 0x10002), RC_SWITCH_DONE, 0x10002, [&] {
        CHECK(dlg.switcher.transTime == Approx(2.0));
        CHECK(dlg.switcher.transition == 1);
        return true;
    });
    script.Then("the engine ends the wipe", [&] { return deck.onAir == 1 && deck.preview == 2 && !deck.switching; });
    exchange("seek 2 to 3 s", post(RC_SEEK_CHANNEL, (1 << 14) | 3), RC_SEEK_CHANNEL_DONE, (1 << 14) | 3, [&] {
        CHECK(g_seeks == std::vector<std::string>{"1 3000000"});
        return true;
    });
    exchange("encode start", post(RC_ENCODE_START, 0), RC_ENCODE_START_DONE, 0, [&] {
        CHECK(dlg.m_bEncoding == 1);
        CHECK(dlg.EncodingMenuText() == "Stop Encoding(&S)");
        CHECK(dlg.ButtonState(IDC_ENCODING) == 0);
        /* The last recording moved aside by itself, no question asked. */
        CHECK(FileSize(aside) == 17);
        return true;
    });
    script.Wait(1500);
    exchange("encode start while encoding", post(RC_ENCODE_START, 0), RC_ENCODE_START_DONE, 0, [&] {
        CHECK(dlg.m_bEncoding == 1);
        return true;
    });
    exchange("encode stop", post(RC_ENCODE_STOP, 0), RC_ENCODE_STOP_DONE, 0, [&] {
        CHECK(dlg.m_bEncoding == 0);
        CHECK(dlg.EncodingMenuText() == "Start Encoding(&S)");
        CHECK(dlg.GetDlgItemText(IDC_ENCODE_TIME) == "00:00:00");
        return true;
    });
    script.Then("the recording is written", [&] { return FileSize(show) > 10000; });
    exchange("encode stop while stopped", post(RC_ENCODE_STOP, 0), RC_ENCODE_STOP_DONE, 0, [&] {
        CHECK(dlg.m_bEncoding == 0);
        return true;
    });
    exchange("title on", post(RC_TITLE_ON, 3), RC_TITLE_ON_DONE, 3);
    exchange("title off", post(RC_TITLE_OFF, 0), RC_TITLE_OFF_DONE, 0);
    exchange("on air start", post(RC_ONAIR_START, 5), RC_ONAIR_START_DONE, 0);
    silent("hold on", RC_HOLD_ON, 0, [&] { return dlg.remote.hold == 1; });
    silent("hold off", RC_HOLD_OFF, 0, [&] { return dlg.remote.hold == 0; });
    silent("minimise", RC_MINIMIZE, 0, [&] { return IsIconic(dlg.m_hWnd) != FALSE; });
    silent("maximise", RC_MAXIMIZE, 0, [&] { return !IsIconic(dlg.m_hWnd); });
    for (int code : {2999, 3000, 3002, 3003, 3050, 3093, 4000}) silent("ignored " + std::to_string(code), code, 0x10001);

    /* Descriptors the mixer refuses: a failure reply, nothing opened, no box. */
    struct Bad { const char *what; ULONG_PTR data; std::vector<char> bytes; LPARAM arg; };
    auto bytes = [](const std::string &s, size_t size) {
        std::vector<char> b(size, '\0');
        memcpy(b.data(), s.data(), (std::min)(s.size(), size));
        return b;
    };
    const std::string good = clip1 + "," + clip1 + ",0009";
    std::vector<Bad> bad = {
        {"two fields", DescriptorData(2, 0), bytes(clip1 + ",0009", 260), 2 << 16},
        {"four fields", DescriptorData(2, 0), bytes(good + ",x", 260), 2 << 16},
        {"unterminated", DescriptorData(2, 0), bytes(good, good.size()), 2 << 16},
        {"oversized", DescriptorData(2, 0), bytes(std::string(300, 'a') + ",b,0001", 4096), 2 << 16},
        {"empty", DescriptorData(2, 0), {}, 2 << 16},
        {"channel 6", DescriptorData(5, 0), bytes(good, 260), 5 << 16},
        {"a file that is not there", DescriptorData(2, 0), bytes("C:\\nowhere\\gone.avi,C:\\nowhere\\gone.avi,0011", 260),
         (2 << 16) | 11},
    };
    for (const auto &b : bad) {
        exchange(std::string("refused: ") + b.what, [&, b] { peer.Descriptor(b.data, b.bytes); }, RC_SOURCE_FAILED,
                 b.arg, [&] {
                     CHECK(deck.ch[3].open == 0);
                     CHECK(deck.onAir == 1);
                     return true;
                 }, 0);
    }
    script.Then("the engine's warning was closed, not shown", [&] {
        CHECK(dlg.remote.quietTexts.size() == 1);
        CHECK(boxes.boxes().empty());
        return true;
    });
    exchange("title file that is not there", [&] { peer.Text(5, 1, "C:\\nowhere\\title.lme"); }, RC_TITLE_FAILED, 5,
             nullptr, 0);
    silent("take control", RC_TAKE_CONTROL, 0, [&] { return deck.remoteCommand == 1; });
    exchange("mixer off", post(RC_MIXER_OFF, 0), RC_MIXER_OFF_DONE, 0, [&] {
        for (int n = 1; n <= CHANNELS; ++n) CHECK(deck.ch[n].open == 0);
        CHECK(deck.preview == -1);
        CHECK(dlg.remote.playRequests == 1);
        CHECK(dlg.EngineStarted());
        return true;
    });
    exchange("encode start with no source: a failure reply, no box", post(RC_ENCODE_START, 0),
             RC_ENCODE_START_FAILED, 0, [&] {
                 CHECK(dlg.m_bEncoding == 0);
                 CHECK(boxes.boxes().empty());
                 return true;
             });
    exchange("descriptor of a capture device, channel 4",
             [&] { peer.Text(3, 0, "dev:Test Pattern Camera,dev:Tone Microphone,0004"); }, RC_SOURCE_LOADED_ITEM,
             (3 << 16) | 4, [&] {
                 CHECK(deck.ch[4].open == 1);
                 CHECK(deck.ch[4].kind == SOURCE_DEVICE);
                 CHECK(deck.ch[4].video == "dev:Test Pattern Camera");
                 CHECK(deck.ch[4].audio == "dev:Tone Microphone");
                 CHECK(deck.preview == 4);
                 CHECK(deck.onAir == 4);
                 return true;
             }, 1);
    script.Then("the scheduler closes", [&] {
        peer.Post(RC_SCHEDULER_CLOSING, 0);
        return true;
    });
    script.Start(nullptr);
    INT_PTR result = dlg.DoModal();
    INFO("step that ran out of time: " << script.Failed());
    CHECK(script.Failed().empty());
    CHECK(script.Finished());
    CHECK(result == IDCANCEL);
    CHECK(boxes.boxes().empty());
    g_engine = saved;
    theApp.m_pMainWnd = nullptr;
    DestroyWindow(listener);
    DeleteFileA(show.c_str());
    DeleteFileA(aside.c_str());
    theApp.profile.DeleteAll();
}

namespace {
/* Counts the dialogs made on this thread once armed and closes each at once, so a command that should have done nothing but
 * opens a dialog is seen and does not stop the test. */
int g_dialogs = 0;
std::string g_dialogTexts;
HHOOK g_dialogHook = nullptr;
bool g_armed = false;
std::vector<HWND> g_made;
LRESULT CALLBACK DialogCounter(int code, WPARAM wp, LPARAM lp)
{
    HWND w = (HWND)wp;
    char cls[16] = {};
    if (code == HCBT_CREATEWND && g_armed) {
        GetClassNameA(w, cls, sizeof cls);
        if (!strcmp(cls, "#32770")) g_made.push_back(w);
    }
    if (code == HCBT_ACTIVATE && !GetPropA(w, "GuardTestSeen")) {
        bool made = false;
        for (HWND m : g_made) made = made || m == w;
        if (made) {
            SetPropA(w, "GuardTestSeen", (HANDLE)1);
            ++g_dialogs;
            char title[128] = {};
            GetWindowTextA(w, title, sizeof title);
            g_dialogTexts += std::string("[") + title + "]";
            PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
        }
    }
    return CallNextHookEx(g_dialogHook, code, wp, lp);
}

/* What an operator's command could change. */
std::string Snapshot(CMixerDlg &d)
{
    std::string s;
    for (int n = 1; n <= CHANNELS; ++n) s += cl::Format("%d%d ", d.deck.ch[n].open, d.deck.ch[n].state);
    s += cl::Format("p%d a%d sw%d enc%d show%d music%d title%d page%d t%s tr%d modal%d", d.deck.preview,
                    d.deck.onAir, d.deck.switching, d.deck.encoding, d.deck.slideShow, d.deck.backgroundMusic,
                    d.m_bTitleOn, d.palette.Page(), d.GetDlgItemText(IDC_TRANS_TIME).c_str(), d.switcher.transition,
                    d.IsModalRunning() ? 1 : 0);
    return s;
}
} // namespace

TEST_CASE("Remote guards: in the remote mode the operator's commands do nothing; selection has no guard",
          "[remote][guards]")
{
    BoxCapture boxes;
    theApp.profile.SetRoot("Software\\CorvaneTests\\RemoteGuards");
    theApp.profile.DeleteAll();
    CMixerDlg dlg;
    theApp.m_lpCmdLine = "TARNELL";
    theApp.Prepare(dlg);
    REQUIRE(dlg.m_bRemoteMode == 1);
    dlg.startupPictureMs = 0;
    int fileChoices = 0;
    dlg.chooseFile = [&](const char *, const char *, std::string *) { ++fileChoices; return false; };
    g_dialogs = 0;
    g_made.clear();
    g_armed = false;
    g_dialogHook = SetWindowsHookExA(WH_CBT, DialogCounter, nullptr, GetCurrentThreadId());
    MixerScript script;
    /* The guarded commands: title panel, title files, palette pages,
     * projects, slide show, music, exit, About, title motion, switch,
     * transition time, encoding; and every transport button of channel 1. */
    const std::vector<UINT> guarded = {
        IDC_TITLE_NEW, IDC_TITLE_OPEN, IDC_TITLE_SAVE, IDC_TITLE_IMAGE, IDC_TITLE_ALPHA, IDC_TITLE_MOTIONFILE,
        IDC_TITLE_PREVIEW, IDC_FOLDER_BUTTON, IDC_PAGE_DOWN, ID_NEW_PROJECT, ID_OPEN_PROJECT, ID_SAVE_PROJECT,
        ID_SAVE_PROJECT_AS, IDC_SLIDESHOW, IDC_BACKMUSIC, ID_EXIT, IDC_EXIT, ID_ABOUT, IDC_MOTION_NONE + 1,
        IDC_MOTION_NONE + 4, IDC_SWITCH, ID_SWITCHOVER, IDC_TIME_MINUS, IDC_TIME_PLUS, IDC_ENCODING,
        ID_START_ENCODING, 1006, 1008, 1011, 1009, 1010, 1012, ID_OPEN_CH3};
    script.Wait(300)
        .Then("two sources, loaded as the scheduler would", [&] {
            dlg.m_bRemoteCommand = 1;
            REQUIRE(dlg.OpenFileOnChannel(0, Clip("channel1.avi")));
            REQUIRE(dlg.OpenFileOnChannel(1, Clip("channel2.avi")));
            dlg.m_bRemoteCommand = 0;
            return true;
        })
        .Then("select channel 2: no guard", [&] {
            g_armed = true;
            dlg.SendMessage(WM_COMMAND, ID_PREVIEW_CH2);
            CHECK(dlg.deck.preview == 2);
            return true;
        });
    for (UINT id : guarded) {
        script.Then("guarded " + std::to_string(id), [&, id] {
            INFO("command " << id << " dialogs " << g_dialogTexts);
            std::string before = Snapshot(dlg);
            HWND control = dlg.GetDlgItem(id);
            dlg.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)control);
            CHECK(Snapshot(dlg) == before);
            CHECK(g_dialogs == 0);
            CHECK(fileChoices == 0);
            CHECK(boxes.boxes().empty());
            return true;
        });
    }
    script.Then("the T-bar's release", [&] {
        std::string before = Snapshot(dlg);
        HWND bar = dlg.GetDlgItem(IDC_TBAR);
        NMHDR nm = {bar, IDC_TBAR, (UINT)NM_RELEASEDCAPTURE};
        dlg.SendMessage(WM_NOTIFY, IDC_TBAR, (LPARAM)&nm);
        CHECK(Snapshot(dlg) == before);
        return true;
    });
    script.Then("the scheduler's own request still acts", [&] {
        dlg.SendMessage(kMixerRemoteMessage, RC_PLAY_CHANNEL_NOW, 1 << 16);
        CHECK(dlg.deck.ch[2].state == CHSTATE_RUNNING);
        CHECK(dlg.m_bRemoteCommand == 0);
        return true;
    });
    script.Start([&] {
        if (dlg.m_hWnd) dlg.EndDialog(IDCANCEL);
    });
    dlg.DoModal();
    UnhookWindowsHookEx(g_dialogHook);
    g_armed = false;
    INFO("step that ran out of time: " << script.Failed());
    CHECK(script.Failed().empty());
    CHECK(script.Finished());
    CHECK(g_dialogs == 0);
    theApp.m_pMainWnd = nullptr;
    theApp.profile.DeleteAll();
}

namespace {
std::vector<Reply> g_direct;
LRESULT CALLBACK SchedulerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == kMixerRemoteMessage) {
        g_direct.push_back({(int)wp, lp});
        return -1;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

template <class Pred> bool PumpUntil(Pred p, DWORD ms)
{
    DWORD end = GetTickCount() + ms;
    while (!p()) {
        if ((int)(GetTickCount() - end) > 0) return false;
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
        Sleep(20);
    }
    return true;
}
} // namespace

TEST_CASE("Corvane.exe started with TARNELL answers the window titled \"Tarnell\" and ends with the scheduler",
          "[remote][program]")
{
    HWND self = MakeWindow("SchedulerStandIn", kSchedulerWindowTitle, SchedulerProc, nullptr);
    REQUIRE(self);
    g_direct.clear();
    std::string cmd = "\"" + ProgramDir() + "Corvane.exe\" TARNELL";
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    REQUIRE(CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, ProgramDir().c_str(), &si, &pi));
    HWND mixer = nullptr;
    /* The window has its title once it has started its engine. */
    CHECK(PumpUntil([&] { return (mixer = FindWindowA(nullptr, kMixerWindowTitle)) != nullptr; }, 60000));
    if (mixer) {
        const std::string clip = Clip("channel3.avi");
        SourceDescriptorBuffer buf;
        REQUIRE(FillDescriptor(buf, clip + "," + clip + ",0003"));
        COPYDATASTRUCT cds = {DescriptorData(2, 0), sizeof buf, buf.text};
        CHECK(SendMessageA(mixer, WM_COPYDATA, (WPARAM)self, (LPARAM)&cds) == 1);
        CHECK(PumpUntil([] { return !g_direct.empty(); }, 10000));
        PostMessageA(mixer, kMixerRemoteMessage, RC_PLAY_CHANNEL, (2 << 16) | 3);
        CHECK(PumpUntil([] { return g_direct.size() >= 2; }, 10000));
        REQUIRE(g_direct.size() == 2);
        CHECK(g_direct[0].code == RC_SOURCE_LOADED_ITEM);
        CHECK(g_direct[0].arg == ((2 << 16) | 3));
        CHECK(g_direct[1].code == RC_PLAY_CHANNEL_DONE);
        CHECK(g_direct[1].arg == ((2 << 16) | 3));
        PostMessageA(mixer, kMixerRemoteMessage, RC_SCHEDULER_CLOSING, 0);
        CHECK(PumpUntil([&] { return !IsWindow(mixer); }, 20000));
    }
    /* The program may run in a child of the process started (its launcher):
     * it is gone when no process of its name is left. */
    CHECK(PumpUntil([] { return CountProcessesNamed("Corvane.exe") == 0; }, 20000));
    if (CountProcessesNamed("Corvane.exe")) TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    DestroyWindow(self);
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
