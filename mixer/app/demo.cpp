/*
 * corvane_demo.exe: a short scripted show on the mixer.
 *
 *   corvane_demo.exe [--out FOLDER] [--stay] CLIPS
 *
 * Opens channel1.avi .. channel5.avi of CLIPS on channels 1..5, lays a title
 * over the programme, records the programme to FOLDER\corvane_demo.wmv while
 * it switches through the channels with different patterns (a wipe, a cross
 * dissolve, a picture-in-picture, a page peel and a cut), writes a
 * screenshot of the window to FOLDER\corvane_demo.bmp and ends (--stay: the
 * mixer stays up for the operator afterwards).  The exit code is 0 only when
 * every channel showed a picture, every switch took its channel on air, the
 * recording holds data and the screenshot was written.
 *
 * FOLDER (default: the current folder) and CLIPS may be Unix paths.  The
 * work space is 320 by 240 without asking; the settings live under a key of
 * their own, so the operator's settings are left alone.
 */
#include "mixer_app.h"
#include "mixer_dlg.h"
#include "pattern_palette.h"
#include "quiet_boxes.h"
#include "resource.h"
#include "screen_shot.h"
#include "wm_settings.h"
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

class DemoApp : public CMixerApp {
public:
    BOOL InitInstance() override;
    int result = 1;
};
DemoApp theApp;

/* A Unix or DOS folder as a DOS folder ending in a backslash. */
std::string DosFolder(std::string p)
{
    if (!p.empty() && p[0] == '/') p = "Z:" + p;
    for (char &c : p)
        if (c == '/') c = '\\';
    if (!p.empty() && p.back() != '\\') p += '\\';
    return p;
}

/* A folder made whole against the current folder (a relative folder given on
 * the command line means the caller's folder, whatever the mixer does later). */
std::string WholeFolder(const std::string &dos)
{
    char full[MAX_PATH] = {};
    DWORD n = GetFullPathNameA(dos.c_str(), MAX_PATH, full, nullptr);
    if (!n || n >= MAX_PATH) return dos;
    std::string f = full;
    if (!f.empty() && f.back() != '\\') f += '\\';
    return f;
}

/* A folder as the host's file functions take it (the screenshot is written with them). */
std::string HostFolder(std::string p)
{
    if (p.size() >= 2 && (p[1] == ':') && (p[0] == 'Z' || p[0] == 'z')) p = p.substr(2);
    for (char &c : p)
        if (c == '\\') c = '/';
    if (!p.empty() && p.back() != '/') p += '/';
    return p;
}

std::vector<std::string> Words(const std::string &line)
{
    std::vector<std::string> w;
    std::string cur;
    bool quoted = false;
    for (char c : line) {
        if (c == '"') { quoted = !quoted; continue; }
        if (c == ' ' && !quoted) {
            if (!cur.empty()) w.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) w.push_back(cur);
    return w;
}

/* A window shows something other than the engine's empty grey. */
bool HasPicture(HWND wnd)
{
    ScreenShot s = ScreenShot::Window(wnd);
    unsigned a = s.At(s.w / 8, s.h / 4), b = s.At(s.w / 2, 3 * s.h / 4);
    return !ScreenShot::Near(a, b, 10) || ScreenShot::R(a) > 200;
}

void Say(const std::string &line)
{
    printf("demo: %s\n", line.c_str());
    fflush(stdout);
}

/* A failure that ends the show: also on the error output. */
void SayError(const std::string &line)
{
    Say(line);
    fprintf(stderr, "demo: %s\n", line.c_str());
    fflush(stderr);
}

/* The steps of the show, run one after another from a thread timer; a step
 * answers true when done and is asked again (every 100 ms) until then. */
struct Step {
    const char *name;
    std::function<bool()> run;
    DWORD bound;
};

struct Demo {
    CMixerDlg *dlg = nullptr;
    std::string clips, outDos, outHost;
    bool stay = false;
    std::vector<Step> steps;
    size_t at = 0;
    DWORD stepStart = 0, waitUntil = 0;
    bool busy = false;
    /* A step that cannot go on ends the show at once. */
    bool abort = false;
    int failures = 0;
    /* Nobody watches the show: a box the mixer or the engine opens is
     * closed at once and its text becomes the show's failure. */
    std::unique_ptr<QuietBoxes> quiet;
    int *result = nullptr;
};
Demo g_demo;

std::string Clip(int n) { return g_demo.clips + cl::Format("channel%d.avi", n); }
std::string RecordingPath() { return g_demo.outDos + "corvane_demo.wmv"; }

void Finish()
{
    Demo &d = g_demo;
    *d.result = d.failures ? 1 : 0;
    Say(d.failures ? cl::Format("%d step(s) failed", d.failures) : std::string("done"));
    if (!d.stay) {
        d.dlg->deck.remoteMode = 0;
        d.dlg->PostMessage(WM_CLOSE);
    }
}

void CALLBACK DemoTick(HWND, UINT, UINT_PTR id, DWORD)
{
    Demo &d = g_demo;
    CMixerDlg &m = *d.dlg;
    /* Wait for the start-up to finish: the engine runs and the window's own loop is up. */
    if (d.busy || !m.m_hWnd || !m.EngineStarted() || !m.IsModalRunning()) return;
    if (d.at >= d.steps.size()) return;
    d.busy = true;
    Step &s = d.steps[d.at];
    if (!d.stepStart) d.stepStart = GetTickCount();
    bool done = s.run();
    if (d.abort) {
        KillTimer(nullptr, id);
        d.at = d.steps.size();
        Finish();
        d.busy = false;
        return;
    }
    if (done || GetTickCount() - d.stepStart > s.bound) {
        if (!done) {
            ++d.failures;
            Say(std::string("step ran out of time: ") + s.name);
        }
        ++d.at;
        d.stepStart = 0;
        if (d.at >= d.steps.size()) {
            KillTimer(nullptr, id);
            Finish();
        }
    }
    d.busy = false;
}

/* Waits ms from the first call. */
std::function<bool()> Pause(DWORD ms)
{
    return [ms] {
        Demo &d = g_demo;
        if (!d.waitUntil) d.waitUntil = GetTickCount() + ms;
        if ((int)(GetTickCount() - d.waitUntil) < 0) return false;
        d.waitUntil = 0;
        return true;
    };
}

/* Selects channel n and switches it on air with a pattern. */
std::function<bool()> SwitchTo(int n, int pattern, double seconds, const char *what)
{
    return [=] {
        CMixerDlg &m = *g_demo.dlg;
        if (m.deck.switching) return false;
        m.deck.OnSelectChannel(n);
        /* The pattern as the operator picks it: the Transition Effect menu's entry. */
        m.SendMessage(WM_COMMAND, ID_PATTERN_FIRST + pattern);
        if (m.switcher.transition != pattern) {
            Say(cl::Format("pattern %d was not taken", pattern));
            ++g_demo.failures;
        }
        m.ShowTransTime(cl::Format("%2.1f", seconds));
        m.switcher.OnSwitch(seconds);
        Say(cl::Format("switch to channel %d: %s", n, what));
        return true;
    };
}

/* The last switch has ended with channel n on air. */
std::function<bool()> OnAir(int n)
{
    return [n] {
        CMixerDlg &m = *g_demo.dlg;
        return !m.deck.switching && m.deck.onAir == n;
    };
}

/* A text title made in the title-box control and switched onto the
 * programme with the title switch (the control exports it; once it reports
 * the export, the engine lays it over the programme). */
bool MakeTitle()
{
    CMixerDlg &m = *g_demo.dlg;
    CLumicard &box = m.TitleBox();
    if (!box.HasControl()) {
        Say("the title-box control is not installed: no title");
        return false;
    }
    char dir[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, dir);
    std::string text = std::string(dir) + "corvane_demo_title.txt";
    HANDLE f = CreateFileA(text.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    /* The text box of a new text object is 100 pixels wide: two short lines fit. */
    static const char kTitle[] = "CORVANE\r\nLIVE";
    DWORD wrote = 0;
    WriteFile(f, kTitle, sizeof kTitle - 1, &wrote, nullptr);
    CloseHandle(f);

    box.SetTextFontSize(14);
    box.SetTextBold(1);
    box.SetTextColor(RGB(255, 230, 0));
    box.LMOpenDirectlyText(text);
    DeleteFileA(text.c_str());
    VARIANT pos[2];
    V_VT(&pos[0]) = V_VT(&pos[1]) = VT_I2;
    V_I2(&pos[0]) = 40;   /* x, y on the 320 by 240 page */
    V_I2(&pos[1]) = 150;
    VARIANT r;
    VariantInit(&r);
    box.Invoke(76, DISPATCH_METHOD, pos, 2, &r);   /* SetObjPosition */
    VariantClear(&r);
    m.SendMessage(WM_COMMAND, IDC_TITLE_ONOFF);
    return true;
}

void BuildShow()
{
    Demo &d = g_demo;
    auto fail = [&d](const char *why) {
        ++d.failures;
        Say(why);
    };
    d.steps = {
        {"open five clips", [] {
             Demo &d = g_demo;
             CMixerDlg &m = *d.dlg;
             if (!d.quiet) d.quiet.reset(new QuietBoxes);
             for (int n = 1; n <= CHANNELS; ++n) {
                 size_t boxes = d.quiet->Texts().size();
                 if (m.OpenFileOnChannel(n - 1, Clip(n))) continue;
                 std::string why = d.quiet->Texts().size() > boxes ? d.quiet->Texts()[boxes] : "refused";
                 for (char &c : why)
                     if (c == '\r' || c == '\n') c = ' ';
                 SayError(cl::Format("channel %d did not open %s: %s", n, Clip(n).c_str(), why.c_str()));
                 ++d.failures;
                 d.abort = true;
                 return true;
             }
             m.deck.OnPlay(1);
             m.deck.OnPlay(2);
             Say("five clips on their channels, channel 1 on air");
             return true;
         }, 20000},
        {"pictures", Pause(2500), 10000},
        {"every channel shows its clip", [fail] {
             CMixerDlg &m = *g_demo.dlg;
             for (int n = 1; n <= CHANNELS; ++n)
                 if (!HasPicture(m.ChannelWindow(n))) fail(cl::Format("channel %d shows no picture", n).c_str());
             return true;
         }, 5000},
        {"title", [] { return MakeTitle(); }, 10000},
        {"title on air", [] {
             if (!g_demo.dlg->m_bTitleOn) return false;
             Say("title on air");
             return true;
         }, 10000},
        {"recording", [] {
             CMixerDlg &m = *g_demo.dlg;
             if (!m.SetEncoding(true)) return false;
             Say("recording " + RecordingPath());
             return true;
         }, 15000},
        {"recording runs", Pause(1500), 10000},
        {"left wipe", SwitchTo(2, 1, 1.0, "Left Wipe, 1.0 s"), 10000},
        {"channel 2 on air", OnAir(2), 10000},
        {"hold", Pause(1500), 10000},
        {"cross dissolve", SwitchTo(3, 20, 1.5, "Cross Dissolve, 1.5 s"), 10000},
        {"channel 3 on air", OnAir(3), 10000},
        {"hold", Pause(1500), 10000},
        {"picture-in-picture", SwitchTo(4, 37, 1.0, "PIP Right Top AB: channel 4 inset over channel 3"), 10000},
        {"hold", Pause(2000), 10000},
        {"the programme shows channel 3 with channel 4's inset and the title", [fail] {
             CMixerDlg &m = *g_demo.dlg;
             ScreenShot p = ScreenShot::Window(m.ProgrammeWindow());
             /* 320 by 240: channel 3's magenta below, channel 4's inset at the top right
              * (green bar over channel 3's white, its orange half), the title's
              * translucent box over the magenta at the bottom left with yellow letters. */
             struct Spot { int x, y; unsigned colour; const char *what; } spots[] = {
                 {240, 180, 0xFF00FF, "channel 3"}, {265, 20, 0x00FF00, "the inset's bars"},
                 {300, 60, 0xFF8000, "the inset's orange"}, {100, 225, 0xFF80FF, "the title's box"},
             };
             for (const Spot &s : spots)
                 if (!ScreenShot::Near(p.At(s.x, s.y), s.colour, 40))
                     fail(cl::Format("programme at (%d,%d) is %06x: not %s", s.x, s.y, p.At(s.x, s.y), s.what).c_str());
             int yellow = 0;
             for (int y = 150; y < 200; ++y)
                 for (int x = 40; x < 140; ++x) yellow += ScreenShot::Near(p.At(x, y), 0xFFE600, 60);
             if (yellow < 50) fail("the title's letters are not on the programme");
             return true;
         }, 5000},
        {"screenshot", [] {
             Demo &d = g_demo;
             std::string path = ScreenShot::Window(d.dlg->m_hWnd).SaveAs(d.outHost + "corvane_demo.bmp");
             if (path.empty()) return false;
             Say("screenshot " + path);
             return true;
         }, 5000},
        {"end the picture-in-picture", [] {
             CMixerDlg &m = *g_demo.dlg;
             m.switcher.OnSwitch(0.1);
             Say("picture-in-picture ended");
             return true;
         }, 5000},
        {"channel 3 stays on air", OnAir(3), 10000},
        {"hold", Pause(1000), 10000},
        {"page peel", SwitchTo(5, 34, 2.0, "Page Peel, 2.0 s"), 10000},
        {"channel 5 on air", OnAir(5), 10000},
        {"hold", Pause(1500), 10000},
        {"cut", SwitchTo(1, 0, 0.1, "Cut"), 10000},
        {"channel 1 on air", OnAir(1), 10000},
        {"the programme shows channel 1", [fail] {
             ScreenShot p = ScreenShot::Window(g_demo.dlg->ProgrammeWindow());
             if (!ScreenShot::Near(p.At(240, 180), 0xFFFF00, 40))
                 fail(cl::Format("programme at (240,180) is %06x: not channel 1", p.At(240, 180)).c_str());
             return true;
         }, 5000},
        {"hold", Pause(1500), 10000},
        {"stop recording", [] {
             CMixerDlg &m = *g_demo.dlg;
             return m.SetEncoding(false);
         }, 15000},
        {"the recording holds the show", [fail] {
             WIN32_FILE_ATTRIBUTE_DATA a = {};
             if (!GetFileAttributesExA(RecordingPath().c_str(), GetFileExInfoStandard, &a) ||
                 (a.nFileSizeLow == 0 && a.nFileSizeHigh == 0)) {
                 fail("no recording");
                 return true;
             }
             Say(cl::Format("recorded %u bytes", (unsigned)a.nFileSizeLow));
             return true;
         }, 5000},
    };
}

BOOL DemoApp::InitInstance()
{
    auto words = Words(m_lpCmdLine);
    std::string out = ".", clips;
    bool stay = false;
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i] == "--out" && i + 1 < words.size()) out = words[++i];
        else if (words[i] == "--stay") stay = true;
        else clips = words[i];
    }
    if (clips.empty()) {
        SayError("usage: corvane_demo.exe [--out FOLDER] [--stay] CLIPS");
        result = 2;
        return FALSE;
    }
    Demo &d = g_demo;
    d.clips = WholeFolder(DosFolder(clips));
    d.outDos = WholeFolder(DosFolder(out));
    d.outHost = HostFolder(d.outDos);
    /* Every clip is there before the mixer starts: a show that cannot run
     * says which file it misses and ends. */
    for (int n = 1; n <= CHANNELS; ++n)
        if (GetFileAttributesA(Clip(n).c_str()) == INVALID_FILE_ATTRIBUTES) {
            SayError("clip not found: " + Clip(n));
            result = 1;
            return FALSE;
        }
    CreateDirectoryA(d.outDos.c_str(), nullptr);
    d.stay = stay;
    d.result = &result;

    /* Settings of the demonstration's own: Windows Media to the demo's file,
     * with the profile a first recording gets (the options dialog's chosen line). */
    profile.SetRoot("Software\\CorvaneDemo\\Corvane");
    profile.DeleteAll();
    profile.WriteString(kWmSection, "ArchivingFileName", RecordingPath());
    profile.WriteString(kWmSection, "Title", "Corvane demo");
    profile.WriteInt(kWmSection, "ArchiveToFile", 1);
    /* A recording of an earlier run is replaced, never moved aside. */
    DeleteFileA(RecordingPath().c_str());

    CMixerDlg dlg;
    m_lpCmdLine.clear();
    Prepare(dlg);
    dlg.askWorkSpace = [](int *c) { *c = 0; return true; };
    dlg.startupPictureMs = 0;
    d.dlg = &dlg;
    BuildShow();
    SetTimer(nullptr, 0, 100, DemoTick);
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int)
{
    theApp.RunApp(instance, cmdLine);
    /* The engine was released with the window; end here with the demonstration's result. */
    TerminateProcess(GetCurrentProcess(), (UINT)theApp.result);
    return theApp.result;
}
